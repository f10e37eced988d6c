// The texture files the demo loads: every file of every slot exists, is a
// sequential baseline JPEG with one or three components (checked on the
// markers themselves, since the demo's decoder reads nothing else), decodes
// cleanly with libjpeg, and every mask has its image's size. Then the
// properties the scenes depend on: cloud masks that never reach the edge,
// tiles that repeat without seams, a talking head whose halves meet,
// corner ornaments that fade out before their far edges. Last, the
// generator writes the same bytes on a second run.
#include "app/SlotImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

std::string textureDir() {
  const char* d = std::getenv("DEMO_DATA_DIR");
  return std::string(d ? d : "data") + "/Textures";
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- marker walk ------------------------------------------------------------------
struct Header {
  std::string error;  // empty when the walk reached EOI without surprises
  int frames = 0;     // SOF markers of any kind
  int frameMarker = -1;
  int precision = 0, width = 0, height = 0, components = 0;
  int h[4] = {}, v[4] = {}, id[4] = {};
  int scans = 0, scanComponents = 0, ss = -1, se = -1, ah = -1, al = -1;
  bool restart = false, arithmetic = false, wideQuant = false, badTable = false;
};

Header walkMarkers(const std::vector<uint8_t>& b) {
  Header hd;
  size_t p = 0;
  auto word = [&](size_t at) { return at + 1 < b.size() ? (b[at] << 8) | b[at + 1] : -1; };
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) {
    hd.error = "no SOI";
    return hd;
  }
  p = 2;
  while (true) {
    if (p + 1 >= b.size()) {
      hd.error = "ends before EOI";
      return hd;
    }
    if (b[p] != 0xFF) {
      hd.error = "expected a marker";
      return hd;
    }
    while (p < b.size() && b[p] == 0xFF) ++p;  // fill bytes
    int code = b[p++];
    if (code == 0xD9) return hd;  // EOI
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
    int len = word(p);
    if (len < 2 || p + size_t(len) > b.size()) {
      hd.error = "bad segment length";
      return hd;
    }
    const uint8_t* s = &b[p + 2];
    bool sof = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
    if (sof) {
      ++hd.frames;
      hd.frameMarker = code;
      hd.precision = s[0];
      hd.height = (s[1] << 8) | s[2];
      hd.width = (s[3] << 8) | s[4];
      hd.components = s[5];
      if (len != 8 + 3 * hd.components) hd.error = "frame header length does not match its components";
      for (int c = 0; c < hd.components && c < 4; ++c) {
        hd.id[c] = s[6 + 3 * c];
        hd.h[c] = s[7 + 3 * c] >> 4;
        hd.v[c] = s[7 + 3 * c] & 15;
      }
    } else if (code == 0xCC) {
      hd.arithmetic = true;
    } else if (code == 0xDD) {
      hd.restart = true;
    } else if (code == 0xDB) {
      for (int r = 0; r < len - 2;) {
        int pq = s[r] >> 4, tq = s[r] & 15;
        if (pq != 0) hd.wideQuant = true;
        if (tq > 3) hd.badTable = true;
        r += 1 + 64 * (pq ? 2 : 1);
      }
    } else if (code == 0xC4) {
      for (int r = 0; r < len - 2;) {
        int tc = s[r] >> 4, th = s[r] & 15, count = 0;
        if (tc > 1 || th > 1) hd.badTable = true;  // baseline: two tables per class
        for (int i = 1; i <= 16; ++i) count += s[r + i];
        r += 17 + count;
      }
    } else if (code == 0xDA) {
      ++hd.scans;
      int n = s[0];
      hd.scanComponents = n;
      hd.ss = s[1 + 2 * n];
      hd.se = s[2 + 2 * n];
      hd.ah = s[3 + 2 * n] >> 4;
      hd.al = s[3 + 2 * n] & 15;
      // Skip the entropy-coded data: up to the next marker that is not a
      // stuffed zero or a restart marker.
      p += size_t(len);
      while (p + 1 < b.size() && !(b[p] == 0xFF && b[p + 1] != 0 && !(b[p + 1] >= 0xD0 && b[p + 1] <= 0xD7))) ++p;
      continue;
    }
    p += size_t(len);
  }
}

// ---- libjpeg decoding ----------------------------------------------------------------
struct Decoded {
  bool ok = false;
  std::string error;
  int warnings = 0;
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> px;
  int at(int x, int y, int c = 0) const { return px[(size_t(y) * width + x) * components + c]; }
  // Brightness as the demo turns a mask into alpha: (R + G + B) / 3.
  int alpha(int x, int y) const {
    if (components == 1) return at(x, y);
    return (at(x, y, 0) + at(x, y, 1) + at(x, y, 2)) / 3;
  }
};

struct ErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int warnings;
};

Decoded decode(const std::string& path) {
  Decoded d;
  std::vector<uint8_t> bytes = readBytes(path);
  if (bytes.empty()) {
    d.error = "empty or missing";
    return d;
  }
  jpeg_decompress_struct c;
  ErrorMgr err;
  err.warnings = 0;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr ci) { std::longjmp(reinterpret_cast<ErrorMgr*>(ci->err)->jump, 1); };
  err.pub.emit_message = [](j_common_ptr ci, int level) {
    if (level < 0) ++reinterpret_cast<ErrorMgr*>(ci->err)->warnings;
  };
  if (setjmp(err.jump)) {
    char msg[JMSG_LENGTH_MAX];
    (*c.err->format_message)(reinterpret_cast<j_common_ptr>(&c), msg);
    d.error = msg;
    jpeg_destroy_decompress(&c);
    return d;
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, bytes.data(), (unsigned long)bytes.size());
  jpeg_read_header(&c, TRUE);
  jpeg_start_decompress(&c);
  d.width = int(c.output_width);
  d.height = int(c.output_height);
  d.components = c.output_components;
  d.px.resize(size_t(d.width) * d.height * d.components);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = &d.px[size_t(c.output_scanline) * d.width * d.components];
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  d.warnings = err.warnings;
  d.ok = true;
  return d;
}

Decoded load(const std::string& name) {
  Decoded d = decode(textureDir() + "/" + name);
  EXPECT_TRUE(d.ok) << name << ": " << d.error;
  return d;
}

// ---- format ----------------------------------------------------------------------------
TEST(TextureFiles, EveryFileIsSequentialBaselineWithOneOrThreeComponents) {
  ASSERT_EQ(slotImageFiles().size(), 56u);
  for (const std::string& name : slotImageFiles()) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = readBytes(textureDir() + "/" + name);
    ASSERT_FALSE(bytes.empty()) << "missing";
    Header h = walkMarkers(bytes);
    EXPECT_EQ(h.error, "");
    EXPECT_EQ(h.frames, 1);
    EXPECT_EQ(h.frameMarker, 0xC0) << "not a baseline frame (SOF0)";
    EXPECT_EQ(h.precision, 8);
    EXPECT_TRUE(h.components == 1 || h.components == 3) << h.components << " components";
    EXPECT_GT(h.width, 0);
    EXPECT_GT(h.height, 0);
    // One interleaved scan over all components, the full spectrum at once.
    EXPECT_EQ(h.scans, 1);
    EXPECT_EQ(h.scanComponents, h.components);
    EXPECT_EQ(h.ss, 0);
    EXPECT_EQ(h.se, 63);
    EXPECT_EQ(h.ah, 0);
    EXPECT_EQ(h.al, 0);
    EXPECT_FALSE(h.arithmetic);
    EXPECT_FALSE(h.restart) << "restart markers";
    EXPECT_FALSE(h.wideQuant) << "16-bit quantisation tables";
    EXPECT_FALSE(h.badTable);
    if (h.components == 1) {
      // The decoder steps through a grey image in 8 x 8 blocks only when its
      // sampling factors are 1 x 1.
      EXPECT_EQ(h.h[0], 1);
      EXPECT_EQ(h.v[0], 1);
    } else if (h.components == 3) {
      EXPECT_TRUE((h.h[0] == 1 && h.v[0] == 1) || (h.h[0] == 2 && h.v[0] == 2)) << h.h[0] << "x" << h.v[0];
      for (int c = 1; c < 3; ++c) {
        EXPECT_EQ(h.h[c], 1);
        EXPECT_EQ(h.v[c], 1);
      }
    }
  }
}

TEST(TextureFiles, ColourFilesUseBothChromaLayoutsAndMasksAreGrey) {
  int subsampled = 0, full = 0;
  std::set<std::string> masks;
  for (const SlotImage& s : kSlotImages)
    if (s.mask && std::string(s.mask) != s.image) masks.insert(s.mask);
  for (const std::string& name : slotImageFiles()) {
    Header h = walkMarkers(readBytes(textureDir() + "/" + name));
    if (h.components == 3) (h.h[0] == 2 ? subsampled : full)++;
    if (masks.count(name)) {
      EXPECT_EQ(h.components, 1) << name;
    }
  }
  // Both decoder paths are used by the real run.
  EXPECT_GT(subsampled, 0);
  EXPECT_GT(full, 0);
}

TEST(TextureFiles, LibjpegDecodesEveryFileWithoutWarnings) {
  for (const std::string& name : slotImageFiles()) {
    SCOPED_TRACE(name);
    Decoded d = load(name);
    if (!d.ok) continue;
    Header h = walkMarkers(readBytes(textureDir() + "/" + name));
    EXPECT_EQ(d.warnings, 0);
    EXPECT_EQ(d.width, h.width);
    EXPECT_EQ(d.height, h.height);
  }
}

TEST(TextureFiles, EveryMaskHasItsImagesSize) {
  for (const SlotImage& s : kSlotImages) {
    if (!s.mask) continue;
    SCOPED_TRACE(s.image);
    Header img = walkMarkers(readBytes(textureDir() + "/" + s.image));
    Header mask = walkMarkers(readBytes(textureDir() + "/" + s.mask));
    EXPECT_EQ(img.width, mask.width);
    EXPECT_EQ(img.height, mask.height);
  }
}

// ---- what the scenes rely on -------------------------------------------------------------
TEST(TextureFiles, CloudMasksFadeToZeroBeforeTheEdge) {
  // Cloud squares are stacked 35 deep and spin: any alpha at a square's
  // border would draw its outline.
  for (const char* name : {"cloudmask2.jpg", "cloud3mask.jpg"}) {
    SCOPED_TRACE(name);
    Decoded m = load(name);
    if (!m.ok) continue;
    int worst = 0, peak = 0;
    const int band = m.width / 10;
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) {
        bool edge = x < band || y < band || x >= m.width - band || y >= m.height - band;
        int& keep = edge ? worst : peak;
        keep = std::max(keep, m.alpha(x, y));
      }
    EXPECT_LE(worst, 2);
    EXPECT_GE(peak, 200) << "the cloud itself should be dense somewhere";
  }
}

TEST(TextureFiles, CloudTunnelMaskHasAClearMiddle) {
  // The cloud tunnel's layers just in front of the eye fill the screen: the
  // tunnel's far end shows through their clear middle, and only their ring
  // is drawn.
  Decoded m = load("cloud3mask.jpg");
  if (!m.ok) return;
  int worst = 0, ring = 0;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      const double r = 2 * std::hypot((x + 0.5) / m.width - 0.5, (y + 0.5) / m.height - 0.5);
      if (r < 0.4) worst = std::max(worst, m.alpha(x, y));
      else if (r < 0.8) ring = std::max(ring, m.alpha(x, y));
    }
  EXPECT_LE(worst, 2);
  EXPECT_GE(ring, 200);
}

// Mean absolute step across the wrap edge against the mean step between
// neighbouring columns (or rows) inside: a seam shows as a far larger step.
void expectTiles(const Decoded& d, bool across, const char* name) {
  SCOPED_TRACE(name);
  auto step = [&](int a, int b) {
    double sum = 0;
    int n = across ? d.height : d.width;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < d.components; ++c)
        sum += across ? std::abs(d.at(a, i, c) - d.at(b, i, c)) : std::abs(d.at(i, a, c) - d.at(i, b, c));
    return sum / (n * d.components);
  };
  int size = across ? d.width : d.height;
  double inside = 0;
  for (int i = 1; i < size; ++i) inside += step(i - 1, i);
  inside /= size - 1;
  EXPECT_LE(step(size - 1, 0), inside * 1.6 + 3) << "inside " << inside;
}

TEST(TextureFiles, RepeatedTexturesTileWithoutSeams) {
  for (const char* name : {"noise.jpg", "net.jpg", "redtex.jpg"}) {
    Decoded d = load(name);
    if (!d.ok) continue;
    expectTiles(d, true, name);
    expectTiles(d, false, name);
  }
  // The sphere's skin only wraps around its longitude.
  Decoded skin = load("colainter.jpg");
  if (skin.ok) expectTiles(skin, true, "colainter.jpg");
}

TEST(TextureFiles, TalkingHeadHalvesMeetAtTheMouth) {
  Decoded top = load("man1.jpg"), topMask = load("man1mask.jpg");
  Decoded bottom = load("man2.jpg"), bottomMask = load("man2mask.jpg");
  if (!top.ok || !topMask.ok || !bottom.ok || !bottomMask.ok) return;
  // The upper half's last row sits on the lower half's first row.
  int yTop = top.height - 1, covered = 0;
  double maskStep = 0, colourStep = 0;
  int both = 0;
  for (int x = 0; x < top.width; ++x) {
    int a = topMask.alpha(x, yTop), b = bottomMask.alpha(x, 0);
    maskStep += std::abs(a - b);
    if (a > 128) ++covered;
    if (a > 200 && b > 200) {
      ++both;
      for (int c = 0; c < 3; ++c) colourStep += std::abs(top.at(x, yTop, c) - bottom.at(x, 0, c));
    }
  }
  EXPECT_LE(maskStep / top.width, 6.0);
  EXPECT_GE(covered, top.width / 3) << "the cut should run through the face";
  ASSERT_GT(both, 0);
  EXPECT_LE(colourStep / (both * 3), 24.0);
  // Above the crown and beside the head the upper half is clear.
  EXPECT_LE(topMask.alpha(top.width / 2, 0), 8);
  EXPECT_LE(topMask.alpha(0, top.height / 2), 8);
}

TEST(TextureFiles, CornerOrnamentsFadeOutBeforeTheirFarEdges) {
  // Drawn into a screen corner through their own brightness: the edges that
  // face the middle of the screen must be dark, or a hard line shows.
  struct Case {
    const char* name;
    bool flipped;  // shown with its first row at the bottom
  };
  for (Case c : {Case{"flowers.jpg", false}, Case{"flowers2.jpg", false}, Case{"dust.jpg", false},
                 Case{"trash.jpg", true}}) {
    SCOPED_TRACE(c.name);
    Decoded d = load(c.name);
    if (!d.ok) continue;
    int worst = 0;
    for (int i = 0; i < d.width; ++i) {
      worst = std::max(worst, d.alpha(d.width - 1, i));  // right edge
      worst = std::max(worst, d.alpha(i, c.flipped ? 0 : d.height - 1));  // edge at the screen's bottom side
    }
    EXPECT_LE(worst, 10);
  }
}

TEST(TextureFiles, LogoMaskLeavesTheCornersClear) {
  Decoded m = load("colamask.jpg");
  if (!m.ok) return;
  for (int x : {0, m.width - 1})
    for (int y : {0, m.height - 1}) EXPECT_LE(m.alpha(x, y), 4) << x << "," << y;
  EXPECT_GE(m.alpha(m.width / 2, m.height / 2), 250);
}

TEST(TextureFiles, EndingMeetsTheWhiteScreenAroundIt) {
  Decoded d = load("ending.jpg");
  if (!d.ok) return;
  double sum = 0;
  int n = 0;
  for (int i = 0; i < d.width; ++i)
    for (int y : {0, d.height - 1}) {
      sum += d.alpha(i, y) + d.alpha(y == 0 ? 0 : d.width - 1, i);
      n += 2;
    }
  EXPECT_GE(sum / n, 235.0);
}

// ---- determinism -----------------------------------------------------------------------------
#ifdef IMAGEGEN_PATH
TEST(TextureFiles, GeneratorWritesTheSameBytesOnEveryRun) {
  const char* tmp = std::getenv("DEMO_TEST_TMP");
  fs::path dir = fs::path(tmp ? tmp : "/tmp") / "imagegen-rerun";
  fs::remove_all(dir);
  std::string cmd = std::string("\"") + IMAGEGEN_PATH + "\" \"" + dir.string() + "\" > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::set<std::string> written;
  for (const auto& e : fs::directory_iterator(dir)) written.insert(e.path().filename().string());
  EXPECT_EQ(written, slotImageFiles());
  for (const std::string& name : slotImageFiles()) {
    std::vector<uint8_t> again = readBytes((dir / name).string());
    std::vector<uint8_t> built = readBytes(textureDir() + "/" + name);
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_TRUE(again == built) << name << " differs between runs";
  }
  fs::remove_all(dir);
}
#endif

}  // namespace
