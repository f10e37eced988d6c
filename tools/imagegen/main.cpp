// imagegen: draws the demo's 56 texture images and writes them as baseline
// JPEG files into a folder; optionally writes a contact sheet (PNG) showing
// every slot's image beside its mask and as it is laid over a scene, and the
// installed program's icon (the logo with its mask as alpha, PNG).
//
//   imagegen OUT_DIR [--contact-sheet FILE.png] [--icon FILE.png]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

#include "app/SlotImages.h"
#include "images.h"

namespace gen {
namespace {

class FileSink : public Sink {
 public:
  explicit FileSink(std::string dir) : dir_(std::move(dir)) {}
  void colour(const std::string& name, const Picture& p, Chroma chroma) override {
    write(name, toBytes(p), chroma, chroma == Chroma::k420 ? "YCbCr 4:2:0" : "YCbCr 4:4:4");
  }
  void grey(const std::string& name, const Plane& m) override { write(name, toBytes(m), Chroma::k444, "grey"); }
  const std::map<std::string, std::string>& kinds() const { return kinds_; }

 private:
  void write(const std::string& name, const Bytes& b, Chroma chroma, const char* kind) {
    if (kinds_.count(name)) throw std::runtime_error("drawn twice: " + name);
    writeJpeg(dir_ + "/" + name, b, chroma);
    kinds_[name] = kind;
  }
  std::string dir_;
  std::map<std::string, std::string> kinds_;
};

// ---- contact sheet ---------------------------------------------------------------
const int kThumb = 150, kGap = 10, kLabel = 34;
const int kCellW = 3 * kThumb + 4 * kGap, kCellH = kThumb + kLabel + kGap;

// Area-average resize of a decoded file to fit a kThumb square (aspect kept).
Picture thumbnail(const Bytes& b) {
  float scale = float(kThumb) / float(std::max(b.w, b.h));
  int tw = std::max(1, int(b.w * scale + 0.5f)), th = std::max(1, int(b.h * scale + 0.5f));
  Picture t(tw, th);
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < tw; ++x) {
      int x0 = x * b.w / tw, x1 = std::max(x0 + 1, (x + 1) * b.w / tw);
      int y0 = y * b.h / th, y1 = std::max(y0 + 1, (y + 1) * b.h / th);
      Rgb sum;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const uint8_t* q = &b.data[(size_t(sy) * b.w + sx) * b.comps];
          Rgb c = b.comps == 3 ? Rgb{q[0] / 255.f, q[1] / 255.f, q[2] / 255.f} : grey(q[0] / 255.f);
          sum = sum + c;
        }
      t.at(x, y) = sum * (1.f / float((x1 - x0) * (y1 - y0)));
    }
  return t;
}

void blit(Picture& dst, const Picture& src, int ox, int oy) {
  for (int y = 0; y < src.h; ++y)
    for (int x = 0; x < src.w; ++x)
      if (ox + x >= 0 && oy + y >= 0 && ox + x < dst.w && oy + y < dst.h) dst.at(ox + x, oy + y) = src.at(x, y);
}

void writeContactSheet(const std::string& dir, const std::string& path, const Fonts& fonts,
                       const std::map<std::string, std::string>& kinds) {
  const int cols = 3, rows = (int(std::size(kSlotImages)) + cols - 1) / cols, header = 70;
  Picture sheet(cols * kCellW, header + rows * kCellH, grey(0.2f));
  Plane text(sheet.w, sheet.h);
  fonts.bold.draw(text, "Texture images: image | mask | over fog and black", 26, 20, 44);
  for (size_t i = 0; i < std::size(kSlotImages); ++i) {
    const SlotImage& s = kSlotImages[i];
    int ox = int(i % cols) * kCellW, oy = header + int(i / cols) * kCellH;
    Bytes img = readJpeg(dir + "/" + s.image);
    Bytes mask = s.mask ? readJpeg(dir + "/" + s.mask) : Bytes{};
    Picture ti = thumbnail(img);
    blit(sheet, ti, ox + kGap, oy + kLabel);
    Picture tm;
    if (s.mask) {
      tm = thumbnail(mask);
      blit(sheet, tm, ox + 2 * kGap + kThumb, oy + kLabel);
    }
    // Composite: left half over white fog, right half over black, the way the
    // scenes lay it (the ink grunge is shown the way up it appears).
    Picture comp(ti.w, ti.h);
    for (int y = 0; y < ti.h; ++y)
      for (int x = 0; x < ti.w; ++x) {
        Rgb back = x < ti.w / 2 ? grey(0.96f) : grey(0.02f);
        const Rgb& m = s.mask ? tm.at(x, y) : Rgb{1, 1, 1};
        float a = (m.r + m.g + m.b) / 3;
        comp.at(x, y) = mix(back, ti.at(x, y), a);
      }
    if (std::strcmp(s.image, "trash.jpg") == 0) flipVertical(comp);
    blit(sheet, comp, ox + 3 * kGap + 2 * kThumb, oy + kLabel);
    char label[160];
    std::snprintf(label, sizeof label, "%d  %s%s%s  %dx%d %s", kFirstImageSlot + int(i), s.image,
                  s.mask ? " + " : "", s.mask ? s.mask : "", img.w, img.h,
                  kinds.count(s.image) ? kinds.at(s.image).c_str() : "");
    fonts.regular.draw(text, label, 13, float(ox + kGap), float(oy + kLabel - 10));
  }
  paintPlane(sheet, grey(0.92f), text);
  writePng(path, toBytes(sheet));
}

// ---- desktop icon -----------------------------------------------------------------
// The logo as the installed program's 256 x 256 icon: cola.jpg's colours with
// colamask.jpg as alpha, read back from the very files the demo loads.
void writeIcon(const std::string& dir, const std::string& path) {
  const int kSize = 256;
  Bytes logo = readJpeg(dir + "/cola.jpg"), mask = readJpeg(dir + "/colamask.jpg");
  if (logo.w != kSize || logo.h != kSize || logo.comps != 3 || mask.w != kSize || mask.h != kSize || mask.comps != 1)
    throw std::runtime_error("the logo is not a 256 x 256 colour image with a grey mask of that size");
  Bytes icon{kSize, kSize, 4, std::vector<uint8_t>(size_t(kSize) * kSize * 4)};
  for (size_t i = 0; i < size_t(kSize) * kSize; ++i) {
    std::copy_n(&logo.data[i * 3], 3, &icon.data[i * 4]);
    icon.data[i * 4 + 3] = mask.data[i];
  }
  writePng(path, icon);
}

int run(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: imagegen OUT_DIR [--contact-sheet FILE.png] [--icon FILE.png]\n");
    return 2;
  }
  std::string dir = argv[1], sheet, icon;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--contact-sheet") == 0 && i + 1 < argc) {
      sheet = argv[++i];
    } else if (std::strcmp(argv[i], "--icon") == 0 && i + 1 < argc) {
      icon = argv[++i];
    } else {
      std::fprintf(stderr, "imagegen: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  std::filesystem::create_directories(dir);
  auto start = std::chrono::steady_clock::now();
  Fonts fonts;
  FileSink sink(dir);
  drawLogo(sink, fonts);
  drawLeds(sink);
  drawBubble(sink);
  drawClouds(sink);
  drawSpeculars(sink);
  drawSkin(sink);
  drawStatic(sink);
  drawFlowers(sink);
  drawButterfly(sink);
  drawFlourish(sink);
  drawWheel(sink);
  drawBlossom(sink);
  drawRedTexture(sink);
  drawFilm(sink);
  drawTrash(sink);
  drawNet(sink);
  drawDust(sink);
  drawShouts(sink, fonts);
  drawHead(sink);
  drawGreetings(sink, fonts);
  drawOrnament(sink);
  drawEnding(sink, fonts);
  // Every slot's files must have been drawn, and nothing else.
  const std::set<std::string> names = slotImageFiles();
  const size_t expected = names.size();
  for (const std::string& n : names)
    if (!sink.kinds().count(n)) throw std::runtime_error("not drawn: " + n);
  if (sink.kinds().size() != expected) throw std::runtime_error("drew a file that no slot uses");
  if (!sheet.empty()) writeContactSheet(dir, sheet, fonts, sink.kinds());
  if (!icon.empty()) writeIcon(dir, icon);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("imagegen: %zu files in %s (%.0f ms)\n", expected, dir.c_str(), ms);
  return 0;
}

}  // namespace
}  // namespace gen

int main(int argc, char** argv) {
  try {
    return gen::run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imagegen: %s\n", e.what());
    return 1;
  }
}
