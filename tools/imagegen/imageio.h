// File output of the image generator: baseline JPEG through libjpeg (the
// demo's own decoder reads only sequential baseline files) and PNG through
// libpng for the contact sheet and the desktop icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "draw.h"

namespace gen {

// 8-bit pixels as stored in a file: 1 (grey) or 3 (RGB) bytes per pixel.
struct Bytes {
  int w = 0, h = 0, comps = 0;
  std::vector<uint8_t> data;
};

// Float planes to bytes, with a tiny fixed dither (under half a step) so
// that slow fog gradients do not band.
Bytes toBytes(const Picture& p);
Bytes toBytes(const Plane& m);

enum class Chroma { k444, k420 };

// Writes a baseline sequential JPEG, quality 90, fixed Huffman tables,
// colour as YCbCr with the given chroma sampling, grey as one component.
// Throws std::runtime_error on failure.
void writeJpeg(const std::string& path, const Bytes& img, Chroma chroma = Chroma::k444);
// Reads a JPEG back (for the contact sheet), as RGB or grey bytes.
Bytes readJpeg(const std::string& path);
// Writes an 8-bit RGB (comps 3) or RGBA (comps 4) PNG.
void writePng(const std::string& path, const Bytes& rgb);

}  // namespace gen
