// Literal transcription (see ReferenceJpeg.h). Deliberately simple: one bit at
// a time, a linear Huffman search, every block through the full IDCT.
#include "image/ReferenceJpeg.h"

#include <cstring>

namespace refjpg {

namespace {

const int jpeg_zigzag[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                             3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                             10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                             21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
const float aanscale[8] = {1.0f, 1.3870399f, 1.306563f, 1.1758755f, 1.0f, 0.785695f, 0.5411961f, 0.27589938f};

struct Component {
    int id, h_samp, v_samp, quant_table, dc_table, ac_table;
};

struct State {
    const unsigned char* data;
    size_t size, pos;
    bool eof;
    int maxDimension;
    int width, height, num_components, restart_interval;
    Component components[3];
    HuffTable ac_tables[4], dc_tables[4];
    int quant_tables[4][64];
    int dc_pred[3];
    int bit_pos;
    unsigned char cur_byte;
    unsigned char* pixels;
};

// Same settlement as the decoder: float to int toward zero after clamping.
int toInt(float f) {
    if (!(f > -1048576.0f)) f = -1048576.0f;
    if (f > 1048576.0f) f = 1048576.0f;
    return (int)f;
}
int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int read_byte(State& s) {
    s.bit_pos = 0;
    if (s.pos < s.size)
        s.cur_byte = s.data[s.pos++];
    else
        s.eof = true;
    return s.cur_byte;
}

int read_word(State& s) {
    int hi = read_byte(s);
    int lo = read_byte(s);
    return hi * 256 + lo;
}

int read_bit(State& s) {
    if (s.bit_pos == 0) {
        read_byte(s);
        if (s.cur_byte == 0xFF) {
            read_byte(s);
            while (s.cur_byte == 0xFF && !s.eof) read_byte(s);
            if (s.cur_byte >= 0xD0 && s.cur_byte <= 0xD7) {
                s.dc_pred[0] = 0;
                s.dc_pred[1] = 0;
                s.dc_pred[2] = 0;
            }
            if (s.cur_byte == 0x00)
                s.cur_byte = 0xFF;
            else
                read_byte(s);
        }
    }
    int bit = (s.cur_byte >> (7 - s.bit_pos)) & 1;
    s.bit_pos = s.bit_pos + 1;
    if (s.bit_pos == 8) s.bit_pos = 0;
    return bit;
}

int read_bits(State& s, int n) {
    int v = 0;
    for (int i = 0; i < n; i++) v = v * 2 + read_bit(s);
    return v;
}

int bit2int(int n, int v) {
    if (n == 0) return 0;
    if (v & (1 << (n - 1))) return v;
    return -(v ^ ((1 << n) - 1));
}

template <class ReadBit>
int huffmancode(const HuffTable& t, ReadBit readBit, int* used) {
    int code = 0;
    int k = 0;
    for (int len = 1; len <= 16; len++) {
        code = code * 2 + readBit();
        while (k < t.num_codes && t.code_lengths[k] <= len) {
            if (t.codes[k] == code) {
                *used = len;
                return t.symbols[k];
            }
            k++;
        }
    }
    *used = 16;
    return code;
}

bool readmarkers(State& s) {
    for (;;) {
        if (read_byte(s) != 0xFF || s.eof) return false;
        int marker = read_byte(s);
        if (s.eof) return false;
        if (marker == 0xD8) continue;
        int L = read_word(s);
        if (s.eof || L < 2) return false;
        int R = L - 2;
        if (marker == 0xC0) {
            read_byte(s); // precision
            s.height = read_word(s);
            s.width = read_word(s);
            s.num_components = read_byte(s);
            if (s.eof) return false;
            if (L != 3 * s.num_components + 8) return false;
            if (s.num_components != 1 && s.num_components != 3) return false;
            if (s.width == 0 || s.height == 0 || s.width > s.maxDimension || s.height > s.maxDimension) return false;
            for (int c = 0; c < s.num_components; c++) {
                s.components[c].id = read_byte(s);
                int f = read_byte(s);
                s.components[c].h_samp = f >> 4;
                s.components[c].v_samp = f & 15;
                s.components[c].quant_table = read_byte(s);
                if (s.components[c].h_samp < 1 || s.components[c].h_samp > 4) return false;
                if (s.components[c].v_samp < 1 || s.components[c].v_samp > 4) return false;
                if (s.components[c].quant_table > 3) return false;
                if (c > 0 && s.components[c].h_samp > s.components[0].h_samp) return false;
                if (c > 0 && s.components[c].v_samp > s.components[0].v_samp) return false;
            }
            if (s.eof) return false;
        } else if ((marker >= 0xC1 && marker <= 0xC3) || (marker >= 0xC5 && marker <= 0xCB) ||
                   (marker >= 0xCD && marker <= 0xCF)) {
            return false;
        } else if (marker == 0xC4) {
            while (R > 0) {
                if (R < 17) return false;
                int T = read_byte(s);
                if ((T & 15) > 3) return false;
                HuffTable& t = (T & 0x10) ? s.ac_tables[T & 15] : s.dc_tables[T & 15];
                int total = 0;
                for (int i = 0; i < 16; i++) {
                    t.counts[i] = (unsigned char)read_byte(s);
                    total += t.counts[i];
                }
                if (total > 256 || R < 17 + total) return false;
                for (int i = 0; i < total; i++) t.symbols[i] = (unsigned char)read_byte(s);
                if (s.eof) return false;
                buildCodes(&t);
                R -= 17 + total;
            }
        } else if (marker == 0xDB) {
            while (R > 0) {
                int T = read_byte(s);
                int num = T & 15;
                int need = (T >> 4) == 0 ? 65 : 129;
                if (num > 3 || R < need) return false;
                for (int i = 0; i < 64; i++) s.quant_tables[num][i] = (T >> 4) == 0 ? read_byte(s) : read_word(s);
                if (s.eof) return false;
                R -= need;
            }
        } else if (marker == 0xDD) {
            if (R < 2) return false;
            s.restart_interval = read_word(s);
            if (s.eof) return false;
        } else if (marker == 0xDA) {
            int n = read_byte(s);
            if (s.eof || R < 1 + 2 * n + 3) return false;
            for (int i = 0; i < n; i++) {
                int id = read_byte(s);
                int T = read_byte(s);
                if ((T >> 4) > 3 || (T & 15) > 3) return false;
                for (int c = 0; c < s.num_components; c++) {
                    if (s.components[c].id == id) {
                        s.components[c].dc_table = T >> 4;
                        s.components[c].ac_table = T & 15;
                    }
                }
            }
            read_byte(s);
            read_byte(s);
            read_byte(s);
            if (s.eof) return false;
            if (s.num_components == 0) return false;
            return true;
        } else if (marker == 0xD9) {
            return false;
        } else {
            for (int i = 0; i < R; i++) {
                read_byte(s);
                if (s.eof) return false;
            }
        }
    }
}

// Returns false when the data ran out (decoding stops there).
bool decompress(State& s) {
    static float vector[64];
    static float dct[64];
    int hf[3] = {1, 1, 1}, vf[3] = {1, 1, 1};
    if (s.num_components == 3) {
        for (int c = 1; c < 3; c++) {
            hf[c] = s.components[0].h_samp / s.components[c].h_samp;
            vf[c] = s.components[0].v_samp / s.components[c].v_samp;
        }
    }
    s.dc_pred[0] = s.dc_pred[1] = s.dc_pred[2] = 0;
    int mcu = 0; // MCUs begun so far, counted across rows
    for (int y = 0; y < s.height; y += 8 * s.components[0].v_samp) {
        for (int x = 0; x < s.width; x += 8 * s.components[0].h_samp) {
            // The encoder pads the last byte before each RSTn marker with
            // one-bits: every restart_interval MCUs, start again on a fresh byte.
            if (s.restart_interval > 0 && mcu % s.restart_interval == 0) s.bit_pos = 0;
            mcu++;
            for (int c = 0; c < s.num_components; c++) {
                Component& comp = s.components[c];
                for (int by = 0; by < comp.v_samp; by++) {
                    for (int bx = 0; bx < comp.h_samp; bx++) {
                        auto bit = [&s]() { return read_bit(s); };
                        int used;
                        int sz = huffmancode(s.dc_tables[comp.dc_table], bit, &used) & 0x0F;
                        long long sum = (long long)bit2int(sz, read_bits(s, sz)) + s.dc_pred[c];
                        if (sum > (1 << 24)) sum = 1 << 24;
                        if (sum < -(1 << 24)) sum = -(1 << 24);
                        vector[0] = (float)sum;
                        s.dc_pred[c] = (int)vector[0];
                        int k = 1;
                        while (k <= 63) {
                            int sym = huffmancode(s.ac_tables[comp.ac_table], bit, &used);
                            if (sym == 0) {
                                for (; k <= 63; k++) vector[k] = 0;
                                break;
                            }
                            int run = sym >> 4;
                            int size = sym & 0x0F;
                            bool ended = false;
                            for (int r = 0; r < run; r++) {
                                if (k > 63) {
                                    ended = true;
                                    break;
                                }
                                vector[k] = 0;
                                k++;
                            }
                            if (ended || k > 63) break;
                            vector[k] = (float)bit2int(size, read_bits(s, size));
                            k++;
                        }
                        if (s.eof) return false; // this block needed bits past the end
                        for (int n = 0; n < 64; n++) {
                            int i = n / 8, j = n % 8;
                            int z = jpeg_zigzag[n];
                            dct[n] = s.quant_tables[comp.quant_table][z] * vector[z] * aanscale[j] * aanscale[i];
                        }
                        idct(dct);
                        for (int i = 0; i < 8; i++) {
                            for (int j = 0; j < 8; j++) {
                                int v = clamp255((toInt(dct[8 * i + j]) >> 3) + 128);
                                for (int a = 0; a < vf[c]; a++) {
                                    for (int b = 0; b < hf[c]; b++) {
                                        int px = x + (8 * bx + j) * hf[c] + b;
                                        int py = y + (8 * by + i) * vf[c] + a;
                                        if (px < s.width && py < s.height)
                                            s.pixels[((size_t)py * s.width + px) * 4 + c] = (unsigned char)v;
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    return true;
}

void ycbcr2rgb(State& s) {
    for (size_t i = 0; i < (size_t)s.width * s.height; i++) {
        unsigned char* p = s.pixels + i * 4;
        int Y = p[0];
        int Cb = p[1] - 128;
        int Cr = p[2] - 128;
        int R = toInt(Y + 1.402f * Cr);
        int G = toInt(Y - 0.34414f * Cb - 0.71414f * Cr);
        int B = toInt(Y + 1.772f * Cb);
        p[0] = (unsigned char)clamp255(R);
        p[1] = (unsigned char)clamp255(G);
        p[2] = (unsigned char)clamp255(B);
        p[3] = 255;
    }
}

void gray2rgb(State& s) {
    for (size_t i = 0; i < (size_t)s.width * s.height; i++) {
        unsigned char* p = s.pixels + i * 4;
        p[1] = p[0];
        p[2] = p[0];
        p[3] = 255;
    }
}

} // namespace

void buildCodes(HuffTable* t) {
    std::memset(t->code_lengths, 0, sizeof t->code_lengths);
    std::memset(t->codes, 0, sizeof t->codes);
    int code = 0, k = 0;
    for (int length = 1; length <= 16; length++) {
        for (int i = 0; i < t->counts[length - 1]; i++) {
            t->code_lengths[k] = (unsigned char)length;
            t->codes[k] = (unsigned short)code;
            code++;
            k++;
        }
        code *= 2;
    }
    t->num_codes = k;
}

int search(const HuffTable& t, unsigned bits16, int* used) {
    int pos = 15;
    auto bit = [&]() { return (int)((bits16 >> pos--) & 1); };
    return huffmancode(t, bit, used);
}

void idct(float* b) {
    for (int pass = 0; pass < 2; pass++) {
        for (int line = 0; line < 8; line++) {
            // pass 0: column `line`; pass 1: row `line`
            float* d[8];
            for (int m = 0; m < 8; m++) d[m] = pass == 0 ? &b[line + 8 * m] : &b[8 * line + m];
            float d0 = *d[0], d1 = *d[1], d2 = *d[2], d3 = *d[3], d4 = *d[4], d5 = *d[5], d6 = *d[6], d7 = *d[7];
            float t10 = d0 + d4;
            float t11 = d0 - d4;
            float t13 = d2 + d6;
            float t12 = (d2 - d6) * 1.4142135f - t13;
            float e0 = t10 + t13;
            float e3 = t10 - t13;
            float e1 = t11 + t12;
            float e2 = t11 - t12;
            float z13 = d5 + d3;
            float z10 = d5 - d3;
            float z11 = d1 + d7;
            float z12 = d1 - d7;
            float o7 = z11 + z13;
            float u11 = (z11 - z13) * 1.4142135f;
            float z5 = (z10 + z12) * 1.847759f;
            float u10 = 1.0823922f * z12 - z5;
            float u12 = z5 - 2.613126f * z10;
            float o6 = u12 - o7;
            float o5 = u11 - o6;
            float o4 = u10 + o5;
            *d[0] = e0 + o7;
            *d[7] = e0 - o7;
            *d[1] = e1 + o6;
            *d[6] = e1 - o6;
            *d[2] = e2 + o5;
            *d[5] = e2 - o5;
            *d[4] = e3 + o4;
            *d[3] = e3 - o4;
        }
    }
}

Result decode(const unsigned char* data, size_t size, int maxDimension) {
    Result r;
    State* s = new State();
    std::memset(s, 0, sizeof *s);
    s->data = data;
    s->size = size;
    s->maxDimension = maxDimension;
    if (!readmarkers(*s)) {
        delete s;
        return r;
    }
    r.rgba.resize((size_t)s->width * s->height * 4);
    for (size_t i = 0; i < (size_t)s->width * s->height; i++) {
        r.rgba[i * 4 + 0] = 0; // never-decoded samples: Y 0, Cb and Cr 128
        r.rgba[i * 4 + 1] = 128;
        r.rgba[i * 4 + 2] = 128;
        r.rgba[i * 4 + 3] = 0;
    }
    s->pixels = r.rgba.data();
    decompress(*s);
    if (s->num_components == 1) gray2rgb(*s);
    if (s->num_components == 3) ycbcr2rgb(*s);
    r.ok = 1;
    r.width = s->width;
    r.height = s->height;
    r.components = s->num_components;
    delete s;
    return r;
}

} // namespace refjpg
