// File output of the image generator: JPEG (libjpeg) and PNG (libpng).
#include "imageio.h"

#include <csetjmp>
#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace gen {

namespace {

uint8_t quantise(float v, float dither) {
  float s = clamp01(v) * 255.f + dither;
  return uint8_t(std::clamp(int(std::floor(s + 0.5f)), 0, 255));
}

// Ordered 4 x 4 Bayer dither in (-0.5, 0.5) of one step: fixed, so every run
// writes the same bytes.
float bayer(int x, int y) {
  static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return (m[y & 3][x & 3] + 0.5f) / 16.f - 0.5f;
}

// libjpeg reports fatal errors through error_exit; jump back and throw.
struct ErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};
void onError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorMgr*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

struct File {
  std::FILE* f;
  File(const std::string& path, const char* mode) : f(std::fopen(path.c_str(), mode)) {
    if (!f) throw std::runtime_error("cannot open " + path);
  }
  ~File() {
    if (f) std::fclose(f);
  }
};

}  // namespace

Bytes toBytes(const Picture& p) {
  Bytes b{p.w, p.h, 3, std::vector<uint8_t>(size_t(p.w) * p.h * 3)};
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const Rgb& c = p.at(x, y);
      float d = bayer(x, y);
      uint8_t* o = &b.data[(size_t(y) * p.w + x) * 3];
      o[0] = quantise(c.r, d);
      o[1] = quantise(c.g, d);
      o[2] = quantise(c.b, d);
    }
  return b;
}

Bytes toBytes(const Plane& m) {
  Bytes b{m.w, m.h, 1, std::vector<uint8_t>(size_t(m.w) * m.h)};
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) b.data[size_t(y) * m.w + x] = quantise(m.at(x, y), bayer(x, y));
  return b;
}

void writeJpeg(const std::string& path, const Bytes& img, Chroma chroma) {
  jpeg_compress_struct c;
  ErrorMgr err;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&c);
    std::free(buffer);
    throw std::runtime_error(path + ": " + err.message);
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(img.w);
  c.image_height = JDIMENSION(img.h);
  c.input_components = img.comps;
  c.in_color_space = img.comps == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, img.comps == 3 ? JCS_YCbCr : JCS_GRAYSCALE);
  // Quality 90: edges of type and line art do not ring visibly.
  jpeg_set_quality(&c, 90, TRUE);
  // Everything that could vary is pinned: the standard Huffman tables, the
  // exact integer DCT, one sequential Huffman scan, no restart markers.
  c.optimize_coding = FALSE;
  c.arith_code = FALSE;
  c.dct_method = JDCT_ISLOW;
  c.restart_interval = 0;
  c.restart_in_rows = 0;
  c.smoothing_factor = 0;
  c.write_JFIF_header = TRUE;
  c.density_unit = 0;
  c.X_density = 1;
  c.Y_density = 1;
  // Sampling: luminance 2 x 2 over chroma 1 x 1 for 4:2:0, all 1 x 1 for
  // 4:4:4 and for grey (a single component is always 1 x 1).
  int s = (img.comps == 3 && chroma == Chroma::k420) ? 2 : 1;
  c.comp_info[0].h_samp_factor = s;
  c.comp_info[0].v_samp_factor = s;
  for (int i = 1; i < c.num_components; ++i) {
    c.comp_info[i].h_samp_factor = 1;
    c.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&img.data[size_t(c.next_scanline) * img.w * img.comps]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  try {
    File f(path, "wb");
    if (std::fwrite(buffer, 1, size, f.f) != size) throw std::runtime_error("cannot write " + path);
  } catch (...) {
    std::free(buffer);
    throw;
  }
  std::free(buffer);
}

Bytes readJpeg(const std::string& path) {
  File f(path, "rb");
  jpeg_decompress_struct d;
  ErrorMgr err;
  d.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&d);
    throw std::runtime_error(path + ": " + err.message);
  }
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f.f);
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  Bytes b{int(d.output_width), int(d.output_height), d.output_components, {}};
  b.data.resize(size_t(b.w) * b.h * b.comps);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &b.data[size_t(d.output_scanline) * b.w * b.comps];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return b;
}

void writePng(const std::string& path, const Bytes& rgb) {
  if (rgb.comps != 3 && rgb.comps != 4) throw std::runtime_error("PNG needs RGB or RGBA: " + path);
  File f(path, "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot write " + path);
  }
  png_init_io(png, f.f);
  png_set_IHDR(png, info, png_uint_32(rgb.w), png_uint_32(rgb.h), 8,
               rgb.comps == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < rgb.h; ++y) png_write_row(png, &rgb.data[size_t(y) * rgb.w * rgb.comps]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace gen
