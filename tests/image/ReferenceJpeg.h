// A plain, literal transcription of the baseline decoder's description: the
// bit-at-a-time bit reader and Huffman search, the block decoder writing
// straight into the RGBA buffer, the float AAN inverse DCT, the colour
// conversions. Slow on purpose; the tests check the fast decoder against it
// bit for bit. It applies the same settlements of unsupported input and the
// same restart rule (realign to a byte after every restart_interval MCUs) as
// the real decoder (see src/image/Jpg.h).
#pragma once

#include <cstddef>
#include <vector>

namespace refjpg {

struct Result {
    int ok = 0; // 1 decoded, 0 refused
    int width = 0, height = 0, components = 0;
    std::vector<unsigned char> rgba;
};

// maxDimension: the largest accepted width and height (the decoder's default).
Result decode(const unsigned char* data, size_t size, int maxDimension = 8192);

struct HuffTable {
    unsigned char counts[16];
    unsigned char symbols[256];
    unsigned char code_lengths[256];
    unsigned short codes[256];
    int num_codes;
};
// Canonical codes built exactly as described.
void buildCodes(HuffTable* t);
// The bit-at-a-time search over the 16 bits `bits16` (next bit in bit 15):
// returns the symbol and in *used the number of bits read.
int search(const HuffTable& t, unsigned bits16, int* used);
// The inverse DCT, as described, in place.
void idct(float* block);

} // namespace refjpg
