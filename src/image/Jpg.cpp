// Baseline JPEG decoder (see Jpg.h for what it accepts and refuses).
//
// The scan decoder (decompressScan) is written for speed but gives, pixel for
// pixel, the result of the bit-at-a-time description:
//   - byte stuffing and markers: a pre-pass turns the entropy-coded bytes into
//     the sequence of data bytes jpeg_read_bit would fetch (0xFF 0x00 -> 0xFF;
//     0xFF... marker -> the byte after the marker code; RSTn codes noted as
//     "DC predictors reset when this data byte's first bit is read");
//   - Huffman codes: a 9-bit lookup table, then for lengths 10..16 an O(1) test
//     that matches exactly the entries the linear search would compare at that
//     length (codes stored in 16 bits, as built); no match after 16 bits gives
//     the 16-bit value as symbol;
//   - the inverse DCT: the same operations in the same order on four lanes at
//     once (SSE single precision, no fused multiply-add); a block without AC
//     coefficients has all 64 outputs equal to its DC input, so it is filled
//     directly;
//   - restart intervals: the bit reader is realigned to the next data byte
//     after every restart_interval MCUs (counted across MCU rows), where the
//     encoder padded the last byte with one-bits and wrote an RSTn marker; the
//     literal reference decoder does the same;
//   - pixels: each MCU row is decoded into per-component planes, then
//     replicated (nearest neighbour) and colour-converted into RGBA.
#include "image/Jpg.h"

#include "platform/Files.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#define JPG_SSE2 1
#else
#define JPG_SSE2 0
#endif

jpeg_file_t jpeg_file_s;
int jpeg_max_dimension = 8192;

namespace {

// Raster position n -> zigzag index.
const int jpeg_zigzag[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                             3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                             10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                             21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};

const float aanscale[8] = {1.0f, 1.3870399f, 1.306563f, 1.1758755f, 1.0f, 0.785695f, 0.5411961f, 0.27589938f};

// Zigzag index -> raster position, and the two scale factors of that position.
struct ZigzagTables {
    int natural[64];
    float scaleJ[64]; // aanscale[column]
    float scaleI[64]; // aanscale[row]
    ZigzagTables() {
        for (int n = 0; n < 64; ++n) {
            const int z = jpeg_zigzag[n];
            natural[z] = n;
            scaleJ[z] = aanscale[n % 8];
            scaleI[z] = aanscale[n / 8];
        }
    }
};
const ZigzagTables zz;

// Float to int toward zero, with the argument clamped first so that no input
// is out of range (the clamp bounds are far outside anything that matters:
// samples and colours are clamped to 0..255 afterwards).
constexpr float kClampF = 1048576.0f;
inline int toIntClamped(float f) {
    if (!(f > -kClampF)) f = -kClampF;
    if (f > kClampF) f = kClampF;
    return static_cast<int>(f);
}

inline int clampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Output sample from an IDCT value (8 x the sample, centred on 0).
inline unsigned char sampleFromIdct(float f) { return static_cast<unsigned char>(clampByte((toIntClamped(f) >> 3) + 128)); }

// The DC predictor is kept within +-2^24 (exact in a float); a real file stays
// within +-2^11.
constexpr int kDcLimit = 1 << 24;
inline int clampDc(int64_t v) {
    return static_cast<int>(v < -kDcLimit ? -kDcLimit : (v > kDcLimit ? kDcLimit : v));
}

// One 1-D pass of the AAN inverse DCT, in the order of its description.
template <class T>
inline void idct1d(T& d0, T& d1, T& d2, T& d3, T& d4, T& d5, T& d6, T& d7, const T& k1414, const T& k1847,
                   const T& k1082, const T& k2613) {
    // Even part.
    T t10 = d0 + d4;
    T t11 = d0 - d4;
    T t13 = d2 + d6;
    T t12 = (d2 - d6) * k1414 - t13;
    T e0 = t10 + t13;
    T e3 = t10 - t13;
    T e1 = t11 + t12;
    T e2 = t11 - t12;
    // Odd part.
    T z13 = d5 + d3;
    T z10 = d5 - d3;
    T z11 = d1 + d7;
    T z12 = d1 - d7;
    T o7 = z11 + z13;
    T u11 = (z11 - z13) * k1414;
    T z5 = (z10 + z12) * k1847;
    T u10 = k1082 * z12 - z5;
    T u12 = z5 - k2613 * z10;
    T o6 = u12 - o7;
    T o5 = u11 - o6;
    T o4 = u10 + o5;
    d0 = e0 + o7;
    d7 = e0 - o7;
    d1 = e1 + o6;
    d6 = e1 - o6;
    d2 = e2 + o5;
    d5 = e2 - o5;
    d4 = e3 + o4;
    d3 = e3 - o4;
}

#if JPG_SSE2
struct V4 {
    __m128 v;
};
inline V4 operator+(V4 a, V4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline V4 operator-(V4 a, V4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline V4 operator*(V4 a, V4 b) { return {_mm_mul_ps(a.v, b.v)}; }

inline void idct1dV(V4* d) {
    const V4 k1414{_mm_set1_ps(1.4142135f)}, k1847{_mm_set1_ps(1.847759f)}, k1082{_mm_set1_ps(1.0823922f)},
        k2613{_mm_set1_ps(2.613126f)};
    idct1d(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], k1414, k1847, k1082, k2613);
}

inline void transpose4(V4& a, V4& b, V4& c, V4& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }

// Two rows of four-lane IDCT output (left and right halves) to 16 bytes.
inline __m128i rowsToBytes(V4 aL, V4 aH, V4 bL, V4 bH) {
    const __m128 lo = _mm_set1_ps(-kClampF), hi = _mm_set1_ps(kClampF);
    const __m128i bias = _mm_set1_epi32(128);
    auto cvt = [&](V4 x) {
        __m128 c = _mm_min_ps(_mm_max_ps(x.v, lo), hi);
        return _mm_add_epi32(_mm_srai_epi32(_mm_cvttps_epi32(c), 3), bias);
    };
    __m128i a = _mm_packs_epi32(cvt(aL), cvt(aH));
    __m128i b = _mm_packs_epi32(cvt(bL), cvt(bH));
    return _mm_packus_epi16(a, b);
}
#endif

// Inverse DCT of `coef` (raster order, 16-byte aligned) into 8 x 8 samples at
// `out` with row stride `stride`; `coef` is left all zero.
void idctToBytes(float* coef, unsigned char* out, int stride) {
#if JPG_SSE2
    V4 L[8], H[8];
    const __m128 zero = _mm_setzero_ps();
    for (int r = 0; r < 8; ++r) {
        L[r].v = _mm_load_ps(coef + 8 * r);
        H[r].v = _mm_load_ps(coef + 8 * r + 4);
        _mm_store_ps(coef + 8 * r, zero);
        _mm_store_ps(coef + 8 * r + 4, zero);
    }
    // Columns: each lane is one column.
    idct1dV(L);
    idct1dV(H);
    // Rows 0..3 and 4..7: transpose so that each lane is one row.
    V4 A[8] = {L[0], L[1], L[2], L[3], H[0], H[1], H[2], H[3]};
    V4 B[8] = {L[4], L[5], L[6], L[7], H[4], H[5], H[6], H[7]};
    transpose4(A[0], A[1], A[2], A[3]);
    transpose4(A[4], A[5], A[6], A[7]);
    transpose4(B[0], B[1], B[2], B[3]);
    transpose4(B[4], B[5], B[6], B[7]);
    idct1dV(A);
    idct1dV(B);
    transpose4(A[0], A[1], A[2], A[3]);
    transpose4(A[4], A[5], A[6], A[7]);
    transpose4(B[0], B[1], B[2], B[3]);
    transpose4(B[4], B[5], B[6], B[7]);
    // Now A[k] (k < 4) is row k columns 0..3, A[4 + k] row k columns 4..7.
    __m128i r01 = rowsToBytes(A[0], A[4], A[1], A[5]);
    __m128i r23 = rowsToBytes(A[2], A[6], A[3], A[7]);
    __m128i r45 = rowsToBytes(B[0], B[4], B[1], B[5]);
    __m128i r67 = rowsToBytes(B[2], B[6], B[3], B[7]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 0 * stride), r01);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 1 * stride), _mm_srli_si128(r01, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * stride), r23);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * stride), _mm_srli_si128(r23, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * stride), r45);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 5 * stride), _mm_srli_si128(r45, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 6 * stride), r67);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 7 * stride), _mm_srli_si128(r67, 8));
#else
    jpeg_idct(coef);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) out[i * stride + j] = sampleFromIdct(coef[8 * i + j]);
    std::memset(coef, 0, 64 * sizeof(float));
#endif
}

// ---- entropy-coded data ------------------------------------------------------

constexpr size_t kPad = 640; // zero bytes after the data: one block reads at most 248 bytes

// The data bytes jpeg_read_bit would fetch, from `pos` on, with the indices of
// the data bytes whose fetch met an RSTn marker. The sequence ends where a
// fetch would run past the end of the file.
struct EntropyData {
    std::unique_ptr<unsigned char[]> bytes;
    size_t count = 0;
    std::vector<int64_t> resets;
};

void destuff(const unsigned char* in, size_t size, size_t pos, EntropyData* e) {
    const size_t avail = pos < size ? size - pos : 0;
    e->bytes.reset(new unsigned char[avail + kPad]);
    unsigned char* out = e->bytes.get();
    size_t o = 0, i = pos;
    while (i < size) {
        const void* ff = std::memchr(in + i, 0xFF, size - i);
        const size_t chunk = ff ? static_cast<size_t>(static_cast<const unsigned char*>(ff) - (in + i)) : size - i;
        std::memcpy(out + o, in + i, chunk);
        o += chunk;
        i += chunk;
        if (!ff) break;
        ++i; // the 0xFF
        unsigned char b = 0xFF;
        while (b == 0xFF) {
            if (i >= size) goto done;
            b = in[i++];
        }
        if (b == 0x00) {
            out[o++] = 0xFF;
            continue;
        }
        if (i >= size) goto done; // the data byte after a marker code is missing
        if (b >= 0xD0 && b <= 0xD7) e->resets.push_back(static_cast<int64_t>(o));
        out[o++] = in[i++];
    }
done:
    std::memset(out + o, 0, kPad);
    e->count = o;
}

struct BitReader {
    const unsigned char* base;
    const unsigned char* p;
    uint64_t acc = 0; // next bits, most significant first
    int nbits = 0;    // how many of them are guaranteed loaded

    inline void refill() {
        uint64_t w;
        std::memcpy(&w, p, 8);
        w = __builtin_bswap64(w);
        acc |= w >> nbits;
        p += (63 - nbits) >> 3;
        nbits |= 56;
    }
    inline int64_t consumed() const { return static_cast<int64_t>(p - base) * 8 - nbits; }
    inline unsigned take(int n) { // 1 <= n <= 31, nbits >= n
        const unsigned v = static_cast<unsigned>(acc >> (64 - n));
        acc <<= n;
        nbits -= n;
        return v;
    }
};

inline int extend(unsigned v, int n) { // n >= 1
    return (v >> (n - 1)) ? static_cast<int>(v) : static_cast<int>(v) - ((1 << n) - 1);
}

// Lengths above the lookup table: O(1) per length.
int slowSymbol(const jpeg_huffman_table_t& t, uint64_t bits, int* length) {
    for (int len = kJpegLutBits + 1; len <= 16; ++len) {
        const unsigned code = static_cast<unsigned>(bits >> (64 - len));
        const unsigned d = (code - static_cast<unsigned>(t.first_code[len])) & 0xFFFFu;
        if (d < t.counts[len - 1]) {
            *length = len;
            return t.symbols[t.first_index[len] + static_cast<int>(d)];
        }
    }
    *length = 16;
    return static_cast<int>(bits >> 48);
}

inline int decodeSymbol(BitReader& br, const jpeg_huffman_table_t& t) {
    if (br.nbits < 32) br.refill();
    const unsigned e = t.lut[br.acc >> (64 - kJpegLutBits)];
    int len, sym;
    if (e) {
        len = static_cast<int>(e >> 8);
        sym = static_cast<int>(e & 0xFF);
    } else {
        sym = slowSymbol(t, br.acc, &len);
    }
    br.acc <<= len;
    br.nbits -= len;
    return sym;
}

// ---- scan decoding -------------------------------------------------------------

struct ComponentState {
    const jpeg_huffman_table_t* dc;
    const jpeg_huffman_table_t* ac;
    float quant[64]; // zigzag order, as floats
    int hc, vc;      // sampling factors
    int hf, vf;      // replication factors
    int stride;      // plane row length
    std::vector<unsigned char> plane; // one MCU row: 8 * vc rows
    unsigned char init;               // value of a sample never decoded
};

struct alignas(16) Coef {
    float v[64];
};

class ScanDecoder {
public:
    explicit ScanDecoder(bool convert) : convert_(convert) {}
    void run();

private:
    bool decodeBlock(int c, unsigned char* out, int stride);
    void applyResets(int64_t consumed) {
        while (nextReset_ < consumed) {
            jpeg_file_s.dc_pred[0] = jpeg_file_s.dc_pred[1] = jpeg_file_s.dc_pred[2] = 0;
            ++resetIndex_;
            nextReset_ = resetIndex_ < data_.resets.size() ? data_.resets[resetIndex_] * 8 : INT64_MAX;
        }
    }
    void fillBlock(int c, int mx, int bx, int by) {
        ComponentState& cs = comp_[c];
        unsigned char* out = cs.plane.data() + static_cast<size_t>(by * 8) * cs.stride + (mx * cs.hc + bx) * 8;
        for (int i = 0; i < 8; ++i) std::memset(out + i * cs.stride, cs.init, 8);
    }
    void emitRows(int y0, int rows);
    void emitGeneral(int y0, int rows);

    bool convert_;
    int n_ = 0;
    ComponentState comp_[3];
    int mcuW_ = 0, mcuH_ = 0, mcusX_ = 0, mcusY_ = 0;
    EntropyData data_;
    BitReader br_{};
    int64_t endBits_ = 0;
    int64_t nextReset_ = INT64_MAX;
    size_t resetIndex_ = 0;
    Coef coef_{};
};

bool ScanDecoder::decodeBlock(int c, unsigned char* out, int stride) {
    ComponentState& cs = comp_[c];
    BitReader& br = br_;
    // DC.
    const int s = decodeSymbol(br, *cs.dc) & 0x0F;
    int diff = 0;
    if (s) diff = extend(br.take(s), s);
    if (nextReset_ < br.consumed()) applyResets(br.consumed());
    const int dc = clampDc(static_cast<int64_t>(diff) + jpeg_file_s.dc_pred[c]);
    jpeg_file_s.dc_pred[c] = dc;
    float* coef = coef_.v;
    coef[0] = ((cs.quant[0] * static_cast<float>(dc)) * aanscale[0]) * aanscale[0];
    // AC.
    bool hasAc = false;
    int k = 1;
    const jpeg_huffman_table_t& act = *cs.ac;
    while (k <= 63) {
        if (br.nbits < 32) br.refill();
        const int f = act.fastac[br.acc >> (64 - kJpegLutBits)];
        if (f) { // code and value bits within the lookahead
            k += (f >> 5) & 15;
            if (k > 63) { // the run passes the block's end: its value bits are not read
                const int len = (f >> 9) & 15;
                br.acc <<= len;
                br.nbits -= len;
                break;
            }
            const int total = f & 31;
            br.acc <<= total;
            br.nbits -= total;
            coef[zz.natural[k]] = ((cs.quant[k] * static_cast<float>(f >> 16)) * zz.scaleJ[k]) * zz.scaleI[k];
            hasAc = true;
            ++k;
            continue;
        }
        const int sym = decodeSymbol(br, act);
        if (sym == 0) break;
        const int run = sym >> 4;
        const int size = sym & 0x0F;
        k += run;
        if (k > 63) break;
        if (size) {
            const int v = extend(br.take(size), size);
            coef[zz.natural[k]] = ((cs.quant[k] * static_cast<float>(v)) * zz.scaleJ[k]) * zz.scaleI[k];
            hasAc = true;
        }
        ++k;
    }
    const int64_t used = br.consumed();
    if (nextReset_ < used) applyResets(used);
    if (used > endBits_) { // the block needed a bit past the end of the file
        std::memset(coef, 0, sizeof coef_.v);
        return false;
    }
    if (!hasAc) {
        // All 64 outputs of the IDCT equal the DC input.
        const unsigned char v = sampleFromIdct(coef[0]);
        coef[0] = 0.0f;
        for (int i = 0; i < 8; ++i) std::memset(out + i * stride, v, 8);
    } else {
        idctToBytes(coef, out, stride);
    }
    return true;
}

void ScanDecoder::run() {
    jpeg_file_t& J = jpeg_file_s;
    n_ = J.num_components;
    const int h0 = J.components[0].h_samp, v0 = J.components[0].v_samp;
    mcuW_ = 8 * h0;
    mcuH_ = 8 * v0;
    mcusX_ = (J.width + mcuW_ - 1) / mcuW_;
    mcusY_ = (J.height + mcuH_ - 1) / mcuH_;
    for (int c = 0; c < n_; ++c) {
        const jpeg_component_t& jc = J.components[c];
        ComponentState& cs = comp_[c];
        cs.dc = &J.dc_tables[jc.dc_table];
        cs.ac = &J.ac_tables[jc.ac_table];
        for (int k = 0; k < 64; ++k) cs.quant[k] = static_cast<float>(J.quant_tables[jc.quant_table][k]);
        cs.hc = jc.h_samp;
        cs.vc = jc.v_samp;
        cs.hf = c == 0 ? 1 : h0 / jc.h_samp;
        cs.vf = c == 0 ? 1 : v0 / jc.v_samp;
        cs.stride = mcusX_ * 8 * cs.hc + 32;
        cs.init = c == 0 ? 0 : 128;
        cs.plane.assign(static_cast<size_t>(cs.stride) * 8 * cs.vc, cs.init);
    }

    destuff(J.data, J.size, J.pos, &data_);
    br_.base = br_.p = data_.bytes.get();
    endBits_ = static_cast<int64_t>(data_.count) * 8;
    resetIndex_ = 0;
    nextReset_ = data_.resets.empty() ? INT64_MAX : data_.resets[0] * 8;
    J.dc_pred[0] = J.dc_pred[1] = J.dc_pred[2] = 0;

    // With a DRI segment the encoder ends every restart interval (every
    // restart_interval MCUs, counted on across MCU rows) by padding its last byte
    // with one-bits and writing an RSTn marker. Realign to the next data byte
    // there, so that the padding is never read as data; the marker itself was
    // taken out by destuff and resets the DC predictors through applyResets.
    const int interval = J.restart_interval;
    int leftInInterval = interval; // MCUs before the next realignment

    bool stopped = false;
    for (int my = 0; my < mcusY_; ++my) {
        if (!stopped) {
            for (int mx = 0; mx < mcusX_ && !stopped; ++mx) {
                if (interval > 0) {
                    if (leftInInterval == 0) {
                        br_.refill();
                        const int r = static_cast<int>(br_.consumed() & 7);
                        if (r) {
                            br_.acc <<= (8 - r);
                            br_.nbits -= 8 - r;
                        }
                        leftInInterval = interval;
                    }
                    --leftInInterval;
                }
                for (int c = 0; c < n_ && !stopped; ++c) {
                    ComponentState& cs = comp_[c];
                    for (int by = 0; by < cs.vc && !stopped; ++by) {
                        for (int bx = 0; bx < cs.hc; ++bx) {
                            unsigned char* out = cs.plane.data() + static_cast<size_t>(by * 8) * cs.stride +
                                                 (mx * cs.hc + bx) * 8;
                            if (!decodeBlock(c, out, cs.stride)) {
                                // This block and all later ones of the row stay undecoded.
                                stopped = true;
                                for (int mx2 = mx; mx2 < mcusX_; ++mx2)
                                    for (int c2 = (mx2 == mx ? c : 0); c2 < n_; ++c2)
                                        for (int by2 = 0; by2 < comp_[c2].vc; ++by2)
                                            for (int bx2 = 0; bx2 < comp_[c2].hc; ++bx2)
                                                if (mx2 > mx || c2 > c || by2 * comp_[c2].hc + bx2 >= by * cs.hc + bx)
                                                    fillBlock(c2, mx2, bx2, by2);
                                break;
                            }
                        }
                    }
                }
            }
        }
        const int y0 = my * mcuH_;
        emitRows(y0, std::min(mcuH_, J.height - y0));
        if (stopped) {
            J.fault = jpg::Fault::CutShortScan;
            // Fill the remaining rows once: their planes hold only initial values.
            for (int c = 0; c < n_; ++c) std::fill(comp_[c].plane.begin(), comp_[c].plane.end(), comp_[c].init);
            for (int my2 = my + 1; my2 < mcusY_; ++my2) {
                const int y2 = my2 * mcuH_;
                emitRows(y2, std::min(mcuH_, J.height - y2));
            }
            break;
        }
    }
}

// ---- pixels ----------------------------------------------------------------------

inline void yccToRgba(int y, int cbByte, int crByte, unsigned char* o) {
    const int Y = y, Cb = cbByte - 128, Cr = crByte - 128;
    o[0] = static_cast<unsigned char>(clampByte(toIntClamped(Y + 1.402f * Cr)));
    o[1] = static_cast<unsigned char>(clampByte(toIntClamped(Y - 0.34414f * Cb - 0.71414f * Cr)));
    o[2] = static_cast<unsigned char>(clampByte(toIntClamped(Y + 1.772f * Cb)));
    o[3] = 255;
}

#if JPG_SSE2
// 16 pixels: Y, Cb, Cr bytes to RGBA.
inline void ycc16(__m128i y, __m128i cb, __m128i cr, unsigned char* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c128 = _mm_set1_epi32(128);
    const __m128 k1402 = _mm_set1_ps(1.402f), k0344 = _mm_set1_ps(0.34414f), k0714 = _mm_set1_ps(0.71414f),
                 k1772 = _mm_set1_ps(1.772f);
    __m128i R16[2], G16[2], B16[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i y16 = half ? _mm_unpackhi_epi8(y, zero) : _mm_unpacklo_epi8(y, zero);
        const __m128i b16 = half ? _mm_unpackhi_epi8(cb, zero) : _mm_unpacklo_epi8(cb, zero);
        const __m128i r16 = half ? _mm_unpackhi_epi8(cr, zero) : _mm_unpacklo_epi8(cr, zero);
        __m128i R32[2], G32[2], B32[2];
        for (int q = 0; q < 2; ++q) {
            const __m128i y32 = q ? _mm_unpackhi_epi16(y16, zero) : _mm_unpacklo_epi16(y16, zero);
            const __m128i b32 = _mm_sub_epi32(q ? _mm_unpackhi_epi16(b16, zero) : _mm_unpacklo_epi16(b16, zero), c128);
            const __m128i r32 = _mm_sub_epi32(q ? _mm_unpackhi_epi16(r16, zero) : _mm_unpacklo_epi16(r16, zero), c128);
            const __m128 Y = _mm_cvtepi32_ps(y32), Cb = _mm_cvtepi32_ps(b32), Cr = _mm_cvtepi32_ps(r32);
            R32[q] = _mm_cvttps_epi32(_mm_add_ps(Y, _mm_mul_ps(k1402, Cr)));
            G32[q] = _mm_cvttps_epi32(_mm_sub_ps(_mm_sub_ps(Y, _mm_mul_ps(k0344, Cb)), _mm_mul_ps(k0714, Cr)));
            B32[q] = _mm_cvttps_epi32(_mm_add_ps(Y, _mm_mul_ps(k1772, Cb)));
        }
        R16[half] = _mm_packs_epi32(R32[0], R32[1]);
        G16[half] = _mm_packs_epi32(G32[0], G32[1]);
        B16[half] = _mm_packs_epi32(B32[0], B32[1]);
    }
    const __m128i R = _mm_packus_epi16(R16[0], R16[1]);
    const __m128i G = _mm_packus_epi16(G16[0], G16[1]);
    const __m128i B = _mm_packus_epi16(B16[0], B16[1]);
    const __m128i A = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i rgL = _mm_unpacklo_epi8(R, G), rgH = _mm_unpackhi_epi8(R, G);
    const __m128i baL = _mm_unpacklo_epi8(B, A), baH = _mm_unpackhi_epi8(B, A);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 0), _mm_unpacklo_epi16(rgL, baL));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(rgL, baL));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi16(rgH, baH));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi16(rgH, baH));
}

inline __m128i loadChroma16(const unsigned char* p, int hf) {
    if (hf == 1) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i h = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi8(h, h);
}

// 16 gray pixels to RGBA.
inline void gray16(__m128i y, unsigned char* out) {
    const __m128i A = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i yyL = _mm_unpacklo_epi8(y, y), yyH = _mm_unpackhi_epi8(y, y);
    const __m128i yaL = _mm_unpacklo_epi8(y, A), yaH = _mm_unpackhi_epi8(y, A);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 0), _mm_unpacklo_epi16(yyL, yaL));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(yyL, yaL));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_unpacklo_epi16(yyH, yaH));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_unpackhi_epi16(yyH, yaH));
}
#endif

// Rows y0 .. y0 + rows - 1 of the image from the planes of one MCU row.
void ScanDecoder::emitRows(int y0, int rows) {
    jpeg_file_t& J = jpeg_file_s;
    const int width = J.width;
    if (!convert_ || n_ != 1) {
        bool simple = convert_ && n_ == 3;
        for (int c = 1; c < n_ && simple; ++c) {
            const ComponentState& cs = comp_[c];
            simple = (cs.hf == 1 || cs.hf == 2) && (cs.vf == 1 || cs.vf == 2) && cs.hc * cs.hf == comp_[0].hc &&
                     cs.vc * cs.vf == comp_[0].vc;
        }
        if (!simple) {
            emitGeneral(y0, rows);
            return;
        }
    }
    for (int yr = 0; yr < rows; ++yr) {
        unsigned char* dst = J.pixels + (static_cast<size_t>(y0 + yr) * width) * 4;
        const unsigned char* py = comp_[0].plane.data() + static_cast<size_t>(yr) * comp_[0].stride;
        int x = 0;
        if (n_ == 1) {
#if JPG_SSE2
            for (; x + 16 <= width; x += 16)
                gray16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(py + x)), dst + x * 4);
#endif
            for (; x < width; ++x) {
                unsigned char* o = dst + x * 4;
                o[0] = o[1] = o[2] = py[x];
                o[3] = 255;
            }
        } else {
            const ComponentState& b = comp_[1];
            const ComponentState& r = comp_[2];
            const unsigned char* pb = b.plane.data() + static_cast<size_t>(yr / b.vf) * b.stride;
            const unsigned char* pr = r.plane.data() + static_cast<size_t>(yr / r.vf) * r.stride;
#if JPG_SSE2
            for (; x + 16 <= width; x += 16)
                ycc16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(py + x)), loadChroma16(pb + x / b.hf, b.hf),
                      loadChroma16(pr + x / r.hf, r.hf), dst + x * 4);
#endif
            for (; x < width; ++x) yccToRgba(py[x], pb[x / b.hf], pr[x / r.hf], dst + x * 4);
        }
    }
}

// Any sampling factors, with or without conversion: each pixel byte c is the
// sample of component c that covers the pixel, or the undecoded value.
void ScanDecoder::emitGeneral(int y0, int rows) {
    jpeg_file_t& J = jpeg_file_s;
    const int width = J.width;
    unsigned char v[3] = {0, 128, 128};
    for (int yr = 0; yr < rows; ++yr) {
        unsigned char* dst = J.pixels + (static_cast<size_t>(y0 + yr) * width) * 4;
        for (int x = 0; x < width; ++x) {
            const int mx = x / mcuW_, xo = x - mx * mcuW_;
            for (int c = 0; c < n_; ++c) {
                const ComponentState& cs = comp_[c];
                const int sc = xo / cs.hf, sr = yr / cs.vf;
                v[c] = (sc < 8 * cs.hc && sr < 8 * cs.vc)
                           ? cs.plane[static_cast<size_t>(sr) * cs.stride + mx * 8 * cs.hc + sc]
                           : cs.init;
            }
            unsigned char* o = dst + x * 4;
            if (!convert_) {
                o[0] = v[0];
                o[1] = n_ == 3 ? v[1] : 128;
                o[2] = n_ == 3 ? v[2] : 128;
                o[3] = 0;
            } else if (n_ == 3) {
                yccToRgba(v[0], v[1], v[2], o);
            } else {
                o[0] = o[1] = o[2] = v[0];
                o[3] = 255;
            }
        }
    }
}

void decompressScan(bool convert) {
    ScanDecoder* d = new ScanDecoder(convert);
    d->run();
    delete d;
}

} // namespace

// ---- the named steps ---------------------------------------------------------------

int jpeg_read_byte() {
    jpeg_file_t& J = jpeg_file_s;
    J.bit_pos = 0;
    if (J.pos < J.size)
        J.cur_byte = J.data[J.pos++];
    else
        J.eof = 1;
    return J.cur_byte;
}

int jpeg_read_word() {
    const int hi = jpeg_read_byte();
    return (hi << 8) | jpeg_read_byte();
}

int jpeg_read_bit() {
    jpeg_file_t& J = jpeg_file_s;
    if (J.bit_pos == 0) {
        jpeg_read_byte();
        if (J.cur_byte == 0xFF) {
            do {
                jpeg_read_byte();
            } while (J.cur_byte == 0xFF && !J.eof);
            if (J.cur_byte >= 0xD0 && J.cur_byte <= 0xD7) J.dc_pred[0] = J.dc_pred[1] = J.dc_pred[2] = 0;
            if (J.cur_byte == 0x00)
                J.cur_byte = 0xFF;
            else
                jpeg_read_byte();
        }
    }
    const int bit = (J.cur_byte >> (7 - J.bit_pos)) & 1;
    J.bit_pos = (J.bit_pos + 1) & 7;
    return bit;
}

int jpeg_read_bits(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | jpeg_read_bit();
    return v;
}

int jpeg_bit2int(int n, int v) {
    if (n == 0) return 0;
    return (v >> (n - 1)) & 1 ? v : v - ((1 << n) - 1);
}

int jpeg_huffmancode(jpeg_huffman_table_t* t) {
    unsigned code = 0;
    for (int len = 1; len <= 16; ++len) {
        code = (code << 1) | static_cast<unsigned>(jpeg_read_bit());
        const unsigned d = (code - static_cast<unsigned>(t->first_code[len])) & 0xFFFFu;
        if (d < t->counts[len - 1]) return t->symbols[t->first_index[len] + static_cast<int>(d)];
    }
    return static_cast<int>(code);
}

void jpeg_build_huffman(jpeg_huffman_table_t* t) {
    std::memset(t->code_lengths, 0, sizeof t->code_lengths);
    std::memset(t->codes, 0, sizeof t->codes);
    int code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        t->first_code[len] = code;
        t->first_index[len] = k;
        for (int i = 0; i < t->counts[len - 1] && k < 256; ++i) {
            t->code_lengths[k] = static_cast<unsigned char>(len);
            t->codes[k] = static_cast<unsigned short>(code);
            ++code;
            ++k;
        }
        code <<= 1;
    }
    t->num_codes = k;
    for (unsigned pattern = 0; pattern < (1u << kJpegLutBits); ++pattern) {
        unsigned short e = 0;
        for (int len = 1; len <= kJpegLutBits; ++len) {
            const unsigned c = pattern >> (kJpegLutBits - len);
            const unsigned d = (c - static_cast<unsigned>(t->first_code[len])) & 0xFFFFu;
            if (d < t->counts[len - 1]) {
                e = static_cast<unsigned short>((len << 8) | t->symbols[t->first_index[len] + static_cast<int>(d)]);
                break;
            }
        }
        t->lut[pattern] = e;
        int fast = 0;
        if (e) {
            const int len = e >> 8, sym = e & 0xFF, run = sym >> 4, size = sym & 0x0F;
            if (size >= 1 && len + size <= kJpegLutBits) {
                const unsigned v = (pattern >> (kJpegLutBits - len - size)) & ((1u << size) - 1);
                const int value = extend(v, size);
                fast = static_cast<int>(static_cast<unsigned>(value) << 16) | (len << 9) | (run << 5) | (len + size);
            }
        }
        t->fastac[pattern] = fast;
    }
}

int jpeg_huffman_lookup(const jpeg_huffman_table_t* t, unsigned bits16, int* length) {
    const uint64_t bits = static_cast<uint64_t>(bits16 & 0xFFFFu) << 48;
    const unsigned e = t->lut[bits >> (64 - kJpegLutBits)];
    if (e) {
        *length = static_cast<int>(e >> 8);
        return static_cast<int>(e & 0xFF);
    }
    return slowSymbol(*t, bits, length);
}

void jpeg_idct(float* b) {
    const float k1414 = 1.4142135f, k1847 = 1.847759f, k1082 = 1.0823922f, k2613 = 2.613126f;
    for (int c = 0; c < 8; ++c)
        idct1d(b[c], b[c + 8], b[c + 16], b[c + 24], b[c + 32], b[c + 40], b[c + 48], b[c + 56], k1414, k1847, k1082,
               k2613);
    for (int r = 0; r < 8; ++r) {
        float* d = b + 8 * r;
        idct1d(d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], k1414, k1847, k1082, k2613);
    }
}

namespace {

int cutShort();

// A refusal of jpeg_readmarkers: result 0, with the reason noted. After a
// read past the end, what looks wrong was never in the file: it is cut short.
__attribute__((format(printf, 2, 3))) int refuse(jpg::Fault fault, const char* why, ...) {
    if (jpeg_file_s.eof && fault != jpg::Fault::CutShort) return cutShort();
    jpeg_file_s.fault = fault;
    va_list args;
    va_start(args, why);
    std::vsnprintf(jpeg_file_s.why, sizeof jpeg_file_s.why, why, args);
    va_end(args);
    return 0;
}

int cutShort() { return refuse(jpg::Fault::CutShort, "it is cut short in its headers"); }

// The kind of JPEG a frame marker other than SOF0 starts.
const char* frameKind(int marker) {
    switch (marker) {
    case 0xC1: return "extended sequential";
    case 0xC2: return "progressive";
    case 0xC3: return "lossless";
    case 0xC5: case 0xC6: case 0xC7: return "hierarchical";
    default: return "arithmetic-coded";
    }
}

} // namespace

int jpeg_readmarkers() {
    jpeg_file_t& J = jpeg_file_s;
    for (;;) {
        const int ff = jpeg_read_byte();
        if (J.eof) return cutShort();
        if (ff != 0xFF) return refuse(jpg::Fault::Damaged, "its headers are damaged (no marker where one belongs)");
        const int marker = jpeg_read_byte();
        if (J.eof) return cutShort();
        if (marker == 0xD8) continue; // SOI
        if (marker == 0xD9) // EOI before the scan
            return refuse(jpg::Fault::Damaged, "it ends before its picture data");
        const int L = jpeg_read_word();
        if (J.eof) return cutShort();
        if (L < 2) return refuse(jpg::Fault::Damaged, "its headers are damaged (a segment shorter than its length)");
        int R = L - 2;
        if (marker == 0xC0) { // SOF0
            J.precision = jpeg_read_byte();
            J.height = jpeg_read_word();
            J.width = jpeg_read_word();
            J.num_components = jpeg_read_byte();
            if (J.eof) return cutShort();
            if (L != 3 * J.num_components + 8) return refuse(jpg::Fault::Damaged, "its frame header is damaged");
            if (J.num_components != 1 && J.num_components != 3)
                return refuse(jpg::Fault::Unsupported, "%d colour components are not supported (only 1 or 3)",
                              J.num_components);
            if (J.width < 1 || J.height < 1 || J.width > jpeg_max_dimension || J.height > jpeg_max_dimension)
                return refuse(jpg::Fault::Unsupported, "a picture of %d x %d is not supported (1 to %d each way)",
                              J.width, J.height, jpeg_max_dimension);
            for (int c = 0; c < J.num_components; ++c) {
                jpeg_component_t& jc = J.components[c];
                jc.id = jpeg_read_byte();
                const int f = jpeg_read_byte();
                jc.h_samp = f >> 4;
                jc.v_samp = f & 0x0F;
                jc.quant_table = jpeg_read_byte();
                if (jc.h_samp < 1 || jc.h_samp > 4 || jc.v_samp < 1 || jc.v_samp > 4)
                    return refuse(jpg::Fault::Unsupported, "sampling factors %d x %d are not supported (1 to 4)",
                                  jc.h_samp, jc.v_samp);
                if (jc.quant_table > 3) return refuse(jpg::Fault::Damaged, "its frame header is damaged");
                if (c > 0 && (jc.h_samp > J.components[0].h_samp || jc.v_samp > J.components[0].v_samp))
                    return refuse(jpg::Fault::Unsupported, "colour sampled finer than brightness is not supported");
            }
            if (J.eof) return cutShort();
        } else if ((marker >= 0xC1 && marker <= 0xC3) || (marker >= 0xC5 && marker <= 0xCB) ||
                   (marker >= 0xCD && marker <= 0xCF)) {
            return refuse(jpg::Fault::Unsupported, "%s JPEG is not supported (only baseline)", frameKind(marker));
        } else if (marker == 0xC4) { // DHT
            while (R > 0) {
                if (R < 17) return refuse(jpg::Fault::Damaged, "its Huffman table is damaged");
                const int T = jpeg_read_byte();
                if ((T & 0x0F) > 3) return refuse(jpg::Fault::Damaged, "its Huffman table is damaged");
                jpeg_huffman_table_t& t = (T & 0x10) ? J.ac_tables[T & 0x0F] : J.dc_tables[T & 0x0F];
                int total = 0;
                for (int i = 0; i < 16; ++i) {
                    t.counts[i] = static_cast<unsigned char>(jpeg_read_byte());
                    total += t.counts[i];
                }
                if (total > 256 || R < 17 + total) return refuse(jpg::Fault::Damaged, "its Huffman table is damaged");
                for (int i = 0; i < total; ++i) t.symbols[i] = static_cast<unsigned char>(jpeg_read_byte());
                if (J.eof) return cutShort();
                jpeg_build_huffman(&t);
                R -= 17 + total;
            }
        } else if (marker == 0xDB) { // DQT
            while (R > 0) {
                const int T = jpeg_read_byte();
                const int prec = T >> 4, num = T & 0x0F;
                const int need = prec == 0 ? 65 : 129;
                if (num > 3 || R < need) return refuse(jpg::Fault::Damaged, "its quantisation table is damaged");
                for (int i = 0; i < 64; ++i) J.quant_tables[num][i] = prec == 0 ? jpeg_read_byte() : jpeg_read_word();
                if (J.eof) return cutShort();
                R -= need;
            }
        } else if (marker == 0xDD) { // DRI
            if (R < 2) return refuse(jpg::Fault::Damaged, "its restart interval is damaged");
            J.restart_interval = jpeg_read_word();
            if (J.eof) return cutShort();
        } else if (marker == 0xDA) { // SOS
            const int n = jpeg_read_byte();
            if (J.eof) return cutShort();
            if (R < 1 + 2 * n + 3) return refuse(jpg::Fault::Damaged, "its scan header is damaged");
            for (int i = 0; i < n; ++i) {
                const int id = jpeg_read_byte();
                const int T = jpeg_read_byte();
                if ((T >> 4) > 3 || (T & 0x0F) > 3) return refuse(jpg::Fault::Damaged, "its scan header is damaged");
                for (int c = 0; c < J.num_components; ++c) {
                    if (J.components[c].id == id) {
                        J.components[c].dc_table = T >> 4;
                        J.components[c].ac_table = T & 0x0F;
                    }
                }
            }
            J.scan_start = jpeg_read_byte();
            J.scan_end = jpeg_read_byte();
            const int a = jpeg_read_byte();
            J.approx_high = a >> 4;
            J.approx_low = a & 0x0F;
            if (J.eof) return cutShort();
            if (J.num_components == 0) // no frame header before the scan
                return refuse(jpg::Fault::Damaged, "its scan comes before its frame header");
            return 1;
        } else { // APPn, COM and everything else: skip
            if (static_cast<size_t>(R) > J.size - J.pos) return cutShort();
            J.pos += static_cast<size_t>(R);
        }
    }
}

void jpeg_decompress() { decompressScan(false); }

void jpeg_ycbcr2rgb() {
    jpeg_file_t& J = jpeg_file_s;
    const size_t n = static_cast<size_t>(J.width) * J.height;
    for (size_t i = 0; i < n; ++i) {
        unsigned char* p = J.pixels + i * 4;
        yccToRgba(p[0], p[1], p[2], p);
    }
}

void jpeg_gray2rgb() {
    jpeg_file_t& J = jpeg_file_s;
    const size_t n = static_cast<size_t>(J.width) * J.height;
    for (size_t i = 0; i < n; ++i) {
        unsigned char* p = J.pixels + i * 4;
        p[1] = p[2] = p[0];
        p[3] = 255;
    }
}

// ---- whole-file entry points ----------------------------------------------------------

namespace jpg {

namespace {
// The most pixels a file may claim per byte of its length. A complete
// baseline picture spends at least 2 bits on each 8 x 8 block of its
// brightness (a 1-bit DC code and a 1-bit end of block), so a byte holds at
// most 256 pixels; a file that claims 4 times that can only be cut short
// or forged, and is refused. The demo's images hold under 30 a byte; a
// 2.3 KB file may claim at most 2.4 million pixels (9 MB decoded), and only
// a file of 64 KB or more the largest picture (8192 x 8192).
constexpr uint64_t kMaxPixelsPerByte = 256 * 4;

int decodeBytes(const unsigned char* data, size_t size, Image* out, FILE* file, Problem* problem) {
    *out = Image();
    std::memset(&jpeg_file_s, 0, sizeof jpeg_file_s);
    jpeg_file_t& J = jpeg_file_s;
    J.file = file;
    J.data = data;
    J.size = size;
    Problem found;
    if (!jpeg_readmarkers()) {
        // What a reader would call it first: no bytes, or not a JPEG at all.
        if (size == 0)
            found = {Fault::Empty, "it is empty"};
        else if (size < 2 || data[0] != 0xFF || data[1] != 0xD8)
            found = {Fault::NotJpeg, "it is not a JPEG image"};
        else
            found = {J.fault, J.why};
        if (problem) *problem = found;
        return 0;
    }
    // A picture larger than its file could ever describe is refused before
    // its memory is taken (a 2 KB file claiming 8192 x 8192 would cost 256 MB).
    if (static_cast<uint64_t>(J.width) * J.height > kMaxPixelsPerByte * static_cast<uint64_t>(size)) {
        char why[128];
        std::snprintf(why, sizeof why, "its %zu bytes are far too few for the %d x %d picture it claims", size,
                      J.width, J.height);
        if (problem) *problem = {Fault::TooLarge, why};
        return 0;
    }
    const size_t bytes = static_cast<size_t>(J.width) * J.height * 4;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[bytes]);
    if (!pixels) {
        char why[96];
        std::snprintf(why, sizeof why, "not enough memory for its %d x %d pixels", J.width, J.height);
        if (problem) *problem = {Fault::TooLarge, why};
        return 0;
    }
    J.pixels = pixels.get();
    decompressScan(true); // decodes and converts (gray or YCbCr to RGB, alpha 255)
    J.pixels = nullptr;
    if (J.fault == Fault::CutShortScan) found = {Fault::CutShortScan, "it is cut short in its picture data"};
    if (problem) *problem = found;
    out->width = J.width;
    out->height = J.height;
    out->components = J.num_components;
    out->rgba = std::move(pixels);
    return 1;
}
} // namespace

namespace {

// The head of a file looked at before the rest is read.
constexpr size_t kHeadBytes = 1 << 20;

// The frame header (any SOFn) in `data`: width, height, component count and
// where it is. False if none is found in those bytes.
bool findFrameHeader(const unsigned char* data, size_t size, int* width, int* height, int* components,
                     size_t* at) {
    size_t pos = 2; // after the start-of-image marker
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF) return false;
        const int marker = data[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        const size_t length = static_cast<size_t>(data[pos + 2]) << 8 | data[pos + 3];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (pos + 10 > size) return false;
            *height = data[pos + 5] << 8 | data[pos + 6];
            *width = data[pos + 7] << 8 | data[pos + 8];
            *components = data[pos + 9];
            *at = pos;
            return true;
        }
        if (marker == 0xDA || length < 2) return false; // a scan before any frame, or a broken length
        pos += 2 + length;
    }
    return false;
}

// The most bytes a baseline JPEG of width x height x components can take:
// its headers up to the frame header, every 8 x 8 block of every component
// at full resolution (MCUs of up to 4 x 4 blocks, so sides rounded up to 32
// pixels) at its worst (a 16-bit code and 11 value bits for the DC, 16 + 10
// for each of the 63 ACs: 209 bytes, doubled for byte stuffing), and 1 MB
// for what may follow (tables, markers, trailing bytes).
uint64_t largestJpegBytes(int width, int height, int components, size_t headers) {
    const uint64_t blocks = static_cast<uint64_t>((width + 31) / 32 * 4) * static_cast<uint64_t>((height + 31) / 32 * 4);
    return headers + blocks * static_cast<uint64_t>(components) * 420 + kHeadBytes;
}

} // namespace

bool readFile(const char* path, std::unique_ptr<unsigned char[]>* bytes, size_t* size, Problem* problem) {
    platform::DataFile file;
    auto refuse = [&](Fault fault, const std::string& why) {
        if (problem) *problem = {fault, why};
        return false;
    };
    if (const platform::FileFault fault = file.open(path); fault != platform::FileFault::None)
        return fault == platform::FileFault::Missing ? refuse(Fault::Missing, "it cannot be opened")
                                                     : refuse(Fault::Unreadable, platform::faultText(fault, file.kind()));
    // The head first: a file larger than any image of its frame header's
    // size (or than kHeadBytes without a frame header) is refused before the
    // rest is read; so is one whose length does not fit in memory's counting.
    const uint64_t length = static_cast<uint64_t>(file.size());
    if (length > SIZE_MAX / 2) return refuse(Fault::TooLarge, "it is larger than this system can hold");
    size_t want = static_cast<size_t>(std::min<uint64_t>(length, kHeadBytes));
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[want ? want : 1]);
    if (!data) return refuse(Fault::TooLarge, "not enough memory to read it");
    int64_t got = file.readAt(data.get(), want, 0);
    if (got < 0) return refuse(Fault::Unreadable, platform::faultText(file.fault()));
    if (length > want && got == static_cast<int64_t>(want) && want >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        int width = 0, height = 0, components = 0;
        size_t at = 0;
        char why[160];
        const double mb = static_cast<double>(length) / (1 << 20);
        if (!findFrameHeader(data.get(), want, &width, &height, &components, &at)) {
            std::snprintf(why, sizeof why, "it is %.1f MB with no frame header in its first %zu MB", mb,
                          kHeadBytes >> 20);
            return refuse(Fault::TooLarge, why);
        }
        const uint64_t largest = largestJpegBytes(width, height, components, at);
        if (length > largest) {
            std::snprintf(why, sizeof why, "it is %.1f MB, more than a %d x %d JPEG can take (%.1f MB)", mb, width,
                          height, static_cast<double>(largest) / (1 << 20));
            return refuse(Fault::TooLarge, why);
        }
        // Within that bound (at most the decoder's largest image): the rest.
        std::unique_ptr<unsigned char[]> whole(new (std::nothrow) unsigned char[static_cast<size_t>(length)]);
        if (!whole) return refuse(Fault::TooLarge, "not enough memory to read it");
        std::memcpy(whole.get(), data.get(), want);
        const int64_t rest = file.readAt(whole.get() + want, static_cast<size_t>(length) - want,
                                         static_cast<int64_t>(want));
        if (rest < 0) return refuse(Fault::Unreadable, platform::faultText(file.fault()));
        got += rest;
        data = std::move(whole);
    }
    // A file larger than kHeadBytes that is no JPEG at all: its head says so.
    *bytes = std::move(data);
    *size = static_cast<size_t>(got);
    return true;
}

int decodeMemory(const unsigned char* data, size_t size, Image* out, Problem* problem) {
    return decodeBytes(data, size, out, nullptr, problem);
}

int decodeFile(const char* path, Image* out, Problem* problem) {
    *out = Image();
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
    if (!readFile(path, &bytes, &size, problem)) return 0;
    return decodeBytes(bytes.get(), size, out, nullptr, problem);
}

int decodeMasked(const char* imagePath, const char* maskPath, Image* out, Problem* imageProblem,
                 Problem* maskProblem) {
    *out = Image();
    Problem maskFound, imageFound;
    Image mask;
    const int maskDecoded = decodeFile(maskPath, &mask, &maskFound);
    const size_t n = static_cast<size_t>(mask.width) * mask.height;
    std::unique_ptr<unsigned char[]> alpha(new unsigned char[n ? n : 1]);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* p = mask.rgba.get() + i * 4;
        alpha[i] = static_cast<unsigned char>((p[0] + p[1] + p[2]) / 3);
    }
    const int mw = mask.width, mh = mask.height;
    mask = Image();
    // The image is looked at even when the mask failed, so that its own problem is known too.
    Image image;
    const int imageDecoded = decodeFile(imagePath, &image, &imageFound);
    if (maskDecoded && imageDecoded && (image.width != mw || image.height != mh)) { // no out-of-bounds read
        char why[160];
        std::snprintf(why, sizeof why, "it is %d x %d, its image %s %d x %d", mw, mh, imagePath, image.width,
                      image.height);
        maskFound = {Fault::SizeMismatch, why};
    }
    if (imageProblem) *imageProblem = imageFound;
    if (maskProblem) *maskProblem = maskFound;
    if (!maskDecoded || !imageDecoded || maskFound.fault == Fault::SizeMismatch) return 0;
    for (size_t i = 0; i < n; ++i) image.rgba[i * 4 + 3] = alpha[i];
    *out = std::move(image);
    return 1;
}

std::string message(const char* path, const Problem& problem) {
    const std::string file = std::string("File ") + path;
    switch (problem.fault) {
    case Fault::None: return "";
    case Fault::Missing: return file + " not found!";
    case Fault::CutShortScan: return file + " is cut short: the picture is black from where its data ends!";
    case Fault::SizeMismatch: return file + " cannot be a mask: " + problem.why + "!";
    case Fault::Unreadable:
    case Fault::TooLarge: return file + " cannot be read: " + problem.why + "!";
    default: return file + " cannot be decoded: " + problem.why + "!";
    }
}

} // namespace jpg
