// Test helpers: test pictures, encoding and decoding with libjpeg-turbo, byte
// surgery on JPEG files (extra segments, 16-bit quantisation tables), PSNR.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jpegtest {

using Bytes = std::vector<unsigned char>;

// A picture with gradients, rings, edges and some noise: RGB, or gray when
// components == 1.
std::vector<unsigned char> makePicture(int width, int height, int components, unsigned seed = 1);

struct EncodeOptions {
    int components = 3;      // 1 (gray) or 3 (YCbCr)
    int hSamp = 1, vSamp = 1; // component 0's sampling factors (chroma 1 x 1)
    int quality = 90;
    int restartInterval = 0; // in MCUs
    int restartRows = 0;     // in MCU rows
    bool optimize = false;   // optimised Huffman tables
    bool progressive = false;
    bool bigQuant = false;   // quantisation tables with entries above 255 (16-bit)
    bool yccInput = false;   // the pixels are already Y, Cb, Cr
};

// Encodes the picture (RGB or gray, as makePicture gives) with libjpeg-turbo.
Bytes encode(const std::vector<unsigned char>& pixels, int width, int height, const EncodeOptions& options);

// libjpeg-turbo's own decode: float IDCT, no fancy upsampling, RGBA. Empty on failure.
std::vector<unsigned char> libjpegDecode(const Bytes& file, int* width, int* height);

// PSNR over R, G, B of two RGBA buffers of the same size.
double psnrRgba(const unsigned char* a, const unsigned char* b, size_t pixels);

// Inserts a COM or APPn segment before every header segment (after SOI, up to
// and including the SOS), alternating APP1, COM, APP15, ...
Bytes withExtraSegments(const Bytes& file);
// Rewrites every 8-bit DQT table as a 16-bit one with the same values.
Bytes with16BitQuant(const Bytes& file);
// Changes a SOF1 marker into SOF0 (same format for Huffman, 8-bit data).
Bytes sof1AsSof0(const Bytes& file);

// Offset of the first byte after the SOS header; 0 if there is none.
size_t scanStart(const Bytes& file);

bool writeFile(const std::string& path, const Bytes& bytes);

// Offset of the first segment with this marker (at its 0xFF) before the
// scan, or 0.
size_t findMarker(const Bytes& b, int marker);

} // namespace jpegtest
