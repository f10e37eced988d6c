// Baseline (SOF0) JPEG decoder: GL-free, no SDL. Turns one file (or a byte
// buffer) into width x height RGBA pixels, alpha 255.
//
// The decoder state is one global record, jpeg_file_s, cleared before every
// decode; the named functions below act on it. The scan decoder is a fast
// equivalent of the bit-at-a-time description it follows: a lookup table for
// Huffman codes of up to kJpegLutBits bits, an O(1) check per length for longer
// ones, a pre-pass that removes byte stuffing and notes where RSTn markers
// reset the DC predictors, an SSE inverse DCT with the same operations in the
// same order, all in single precision. tests/image/ReferenceJpeg.cpp holds a
// literal transcription; the tests compare the two bit for bit.
//
// Restart intervals: with a DRI segment, the bit reader is realigned to a byte
// boundary after every restart_interval MCUs, counted on across MCU rows (the
// encoder pads the last byte of each interval with one-bits and writes an RSTn
// marker there), whether or not the marker is actually found, and nowhere
// else; meeting an RSTn marker resets the DC predictors. So any interval decodes correctly, not only one of exactly one
// MCU row.
//
// Input outside the supported set, settled here (all refused with result 0):
// frame sizes 0 or above jpeg_max_dimension (8192), or of more pixels than
// 1024 for each byte of the file (4 times what the smallest complete
// baseline picture needs: 2 bits a block; refused as TooLarge before any
// pixel memory is taken); component counts other
// than 1 and 3; sampling factors outside 1..4, or larger than component 0's;
// table numbers above 3; a DHT whose counts add up to more than 256; a segment
// length shorter than its content (or than its own two bytes); a scan before a
// frame header; the file ending anywhere in the headers. A file that ends
// inside the entropy-coded data decodes up to the last block that was complete:
// the block that needs a bit past the end and all later blocks stay undecoded
// (Y 0, Cb and Cr 128: black), result 1. Every refusal, and a file cut short
// in its data, is told apart (jpg::Problem) so that it can be reported with
// the file's name. Corrupt entropy-coded data decodes to whatever the bits
// give. Out-of-range intermediate values are clamped before
// every float-to-int conversion (no undefined behaviour, and no change for
// any real 8-bit file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

constexpr int kJpegLutBits = 9;

// One Huffman table: the DHT lists and the canonical codes built from them,
// plus the lookup structures the fast decoder derives from those codes.
struct jpeg_huffman_table_t {
    unsigned char counts[16];       // codes of length 1..16 (BITS)
    unsigned char symbols[256];     // symbol values in code order (HUFFVAL)
    unsigned char code_lengths[256];
    unsigned short codes[256];      // k-th code, stored in 16 bits as built
    // Derived (not in the file): number of codes, and per length L (1..16) the
    // code value the canonical build reached at L (before truncation to 16 bits)
    // and the index of L's first entry.
    int num_codes;
    int first_code[17];
    int first_index[17];
    // Entry for the next kJpegLutBits bits: (length << 8) | symbol, 0 when no
    // code of at most kJpegLutBits bits matches.
    unsigned short lut[1 << kJpegLutBits];
    // AC entry for the next kJpegLutBits bits when a code and its value bits
    // both fit in them (symbol with size >= 1): value << 16 | code length << 9 |
    // run << 5 | code length + size; 0 otherwise.
    int fastac[1 << kJpegLutBits];
};

namespace jpg {
// Why a file was not decoded, or was decoded only in part.
enum class Fault {
    None = 0,
    Missing,      // it cannot be opened or read
    Empty,        // it holds no bytes
    NotJpeg,      // it does not begin with a JPEG start-of-image marker
    Unsupported,  // a kind of JPEG this decoder does not read
    Damaged,      // its headers contradict themselves
    CutShort,     // it ends inside its headers: nothing decoded
    CutShortScan, // it ends inside the picture data: decoded up to there (result 1)
    SizeMismatch, // a mask whose size is not its image's
    Unreadable,   // not a regular file (a FIFO, a device, ...), or a read failed
    TooLarge,     // larger than any image of its size can be: refused unread
};
} // namespace jpg

struct jpeg_component_t {
    int id;
    int h_samp;
    int v_samp;
    int quant_table;
    int dc_table; // from the scan header
    int ac_table;
};

struct jpeg_file_t {
    FILE* file;             // the open file while loading from a path
    int width;
    int height;
    unsigned char* pixels;  // width * height * 4 bytes, owned by the caller
    int precision;          // stored, not used
    int num_components;
    int restart_interval;
    jpeg_component_t components[3];
    jpeg_huffman_table_t ac_tables[4];
    jpeg_huffman_table_t dc_tables[4];
    int quant_tables[4][64]; // zigzag order
    int scan_start, scan_end, approx_high, approx_low; // stored, not used
    int dc_pred[3];
    int bit_pos;
    unsigned char cur_byte;
    // The bytes being decoded (the whole file) and the read position.
    const unsigned char* data;
    size_t size;
    size_t pos;
    int eof; // a read went past the end
    // Why jpeg_readmarkers refused the file, or that the scan ran past the
    // end; `why` says it in words ("progressive JPEG is not supported").
    jpg::Fault fault;
    char why[96];
};

extern jpeg_file_t jpeg_file_s;
// Largest accepted width and height (the fuzzer lowers it to keep runs fast).
extern int jpeg_max_dimension;

// The named steps. They act on jpeg_file_s.
int jpeg_read_byte();          // next byte into cur_byte, bit_pos = 0; past the end: cur_byte unchanged, eof set
int jpeg_read_word();          // two bytes, most significant first
int jpeg_read_bit();           // next entropy-coded bit (0xFF / RSTn handling)
int jpeg_read_bits(int n);     // n bits, first read most significant; 0 for n = 0
int jpeg_bit2int(int n, int v);           // EXTEND
int jpeg_huffmancode(jpeg_huffman_table_t* table); // one symbol, through jpeg_read_bit
void jpeg_idct(float* block);  // inverse DCT of 64 floats in place (8x the samples)
int jpeg_readmarkers();        // 1 at the start of the scan, 0 refused (fault and why say why)
void jpeg_decompress();        // the scan into pixels: Y / gray, Cb, Cr in bytes 0, 1, 2
void jpeg_ycbcr2rgb();         // pixels in place, alpha 255
void jpeg_gray2rgb();

// Builds a table's codes and lookup structures from counts and symbols
// (counts must add up to at most 256).
void jpeg_build_huffman(jpeg_huffman_table_t* table);
// The symbol for the 16 bits `bits16` (the next bit in bit 15): what the
// bit-at-a-time search returns, and in *length the bits it consumed (16 with
// the 16-bit value itself as symbol when no code matches).
int jpeg_huffman_lookup(const jpeg_huffman_table_t* table, unsigned bits16, int* length);

namespace jpg {

struct Image {
    int width = 0;
    int height = 0;
    int components = 0; // 1 or 3: what the file held
    std::unique_ptr<unsigned char[]> rgba; // width * height * 4
};

// What went wrong with one file: the fault and, for a refusal, the reason in
// words ("it is not a JPEG image", "progressive JPEG is not supported ...").
struct Problem {
    Fault fault = Fault::None;
    std::string why;
};

// 1 decoded, 0 refused. On 0, *out is left empty. *problem (if given) says
// why it was refused, or that a file cut short in its picture data was
// decoded only up to where it ends (result 1, Fault::CutShortScan).
int decodeMemory(const unsigned char* data, size_t size, Image* out, Problem* problem = nullptr);
// As decodeMemory, of the file readFile reads; its refusals as readFile's.
int decodeFile(const char* path, Image* out, Problem* problem = nullptr);
// An image with a second file as alpha mask: alpha = (R + G + B) / 3 of the
// mask. 0 when either file is missing or refused, or their sizes differ. Both
// files are always looked at, so that each one's problem is known: it goes
// to *imageProblem and *maskProblem (if given); a size that differs is the
// mask's problem.
int decodeMasked(const char* imagePath, const char* maskPath, Image* out, Problem* imageProblem = nullptr,
                 Problem* maskProblem = nullptr);

// The one line that reports `problem` of the file at `path`: "File %s not
// found!" for a missing file, as always; the same "File %s ..." with the
// reason for the others. "" for no problem.
std::string message(const char* path, const Problem& problem);

// Reads a whole file: a regular file only, opened without blocking, its
// head (1 MB) first; a file larger than any JPEG of the size its frame
// header gives (or one of over 1 MB without a frame header there) is refused
// without reading the rest. False with *problem (if given) saying why:
// Missing, Unreadable or TooLarge.
bool readFile(const char* path, std::unique_ptr<unsigned char[]>* bytes, size_t* size, Problem* problem = nullptr);

} // namespace jpg
