#include "image/JpegTestUtil.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace jpegtest {

std::vector<unsigned char> makePicture(int width, int height, int components, unsigned seed) {
    std::vector<unsigned char> p(static_cast<size_t>(width) * height * components);
    unsigned state = seed * 2654435761u + 12345u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = static_cast<int>((state >> 16) % 9) - 4;
            const float fx = static_cast<float>(x) / static_cast<float>(width > 1 ? width - 1 : 1);
            const float fy = static_cast<float>(y) / static_cast<float>(height > 1 ? height - 1 : 1);
            const float dx = fx - 0.6f, dy = fy - 0.4f;
            const float ring = 0.5f + 0.5f * std::sin(std::sqrt(dx * dx + dy * dy) * 40.0f);
            const bool box = x > width / 5 && x < width / 2 && y > height / 3 && y < (2 * height) / 3;
            int v[3];
            v[0] = static_cast<int>(255.0f * fx * 0.6f + 90.0f * ring) + noise + (box ? 60 : 0);
            v[1] = static_cast<int>(255.0f * fy * 0.7f + 60.0f * ring) + noise - (box ? 50 : 0);
            v[2] = static_cast<int>(200.0f * (1.0f - fx) * fy + 50.0f * ring) + noise + (box ? 20 : 0);
            for (int c = 0; c < components; ++c) {
                const int w = components == 1 ? (v[0] + v[1] + v[2]) / 3 : v[c];
                p[(static_cast<size_t>(y) * width + x) * components + c] =
                    static_cast<unsigned char>(w < 0 ? 0 : (w > 255 ? 255 : w));
            }
        }
    }
    return p;
}

namespace {
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void onError(j_common_ptr cinfo) {
    ErrorManager* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    longjmp(e->jump, 1);
}
void quiet(j_common_ptr, int) {}
} // namespace

Bytes encode(const std::vector<unsigned char>& pixels, int width, int height, const EncodeOptions& o) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = o.components;
    cinfo.in_color_space = o.components == 1 ? JCS_GRAYSCALE : (o.yccInput ? JCS_YCbCr : JCS_RGB);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    if (o.bigQuant) {
        // Low frequencies fine, high frequencies coarse with entries above 255.
        unsigned int table[64];
        for (int i = 0; i < 64; ++i) table[i] = i < 6 ? 2 + i : 260 + 3 * i;
        jpeg_add_quant_table(&cinfo, 0, table, 100, FALSE);
        jpeg_add_quant_table(&cinfo, 1, table, 100, FALSE);
    }
    if (o.components == 3) {
        cinfo.comp_info[0].h_samp_factor = o.hSamp;
        cinfo.comp_info[0].v_samp_factor = o.vSamp;
        cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
        cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    cinfo.restart_interval = static_cast<unsigned>(o.restartInterval);
    cinfo.restart_in_rows = o.restartRows;
    cinfo.optimize_coding = o.optimize ? TRUE : FALSE;
    if (o.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const int stride = width * o.components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes result(out, out + outSize);
    std::free(out);
    return result;
}

std::vector<unsigned char> libjpegDecode(const Bytes& file, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = quiet;
    std::vector<unsigned char> rgba;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    rgba.resize(static_cast<size_t>(*width) * *height * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgba.data() + static_cast<size_t>(cinfo.output_scanline) * *width * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rgba;
}

double psnrRgba(const unsigned char* a, const unsigned char* b, size_t pixels) {
    double se = 0;
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c) {
            const double d = static_cast<double>(a[i * 4 + c]) - b[i * 4 + c];
            se += d * d;
        }
    if (se == 0) return 99.0;
    const double mse = se / (static_cast<double>(pixels) * 3);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

namespace {
// Calls f(offset, marker, segmentLength) for every header segment up to SOS.
template <class F>
void forEachSegment(const Bytes& file, F f) {
    size_t i = 2; // after SOI
    while (i + 4 <= file.size() && file[i] == 0xFF) {
        const int marker = file[i + 1];
        const size_t len = static_cast<size_t>(file[i + 2]) << 8 | file[i + 3];
        f(i, marker, len);
        if (marker == 0xDA) break;
        i += 2 + len;
    }
}
} // namespace

Bytes withExtraSegments(const Bytes& file) {
    Bytes out(file.begin(), file.begin() + 2);
    int n = 0;
    size_t copied = 2;
    forEachSegment(file, [&](size_t off, int, size_t) {
        out.insert(out.end(), file.begin() + static_cast<long>(copied), file.begin() + static_cast<long>(off));
        copied = off;
        static const int kinds[3] = {0xE1, 0xFE, 0xEF};
        const int kind = kinds[n % 3];
        const std::string text = "odd place " + std::to_string(n++);
        const size_t len = text.size() + 2;
        out.push_back(0xFF);
        out.push_back(static_cast<unsigned char>(kind));
        out.push_back(static_cast<unsigned char>(len >> 8));
        out.push_back(static_cast<unsigned char>(len & 0xFF));
        out.insert(out.end(), text.begin(), text.end());
    });
    out.insert(out.end(), file.begin() + static_cast<long>(copied), file.end());
    return out;
}

Bytes with16BitQuant(const Bytes& file) {
    Bytes out(file.begin(), file.begin() + 2);
    size_t copied = 2;
    forEachSegment(file, [&](size_t off, int marker, size_t len) {
        if (marker != 0xDB) return;
        out.insert(out.end(), file.begin() + static_cast<long>(copied), file.begin() + static_cast<long>(off));
        copied = off + 2 + len;
        Bytes body;
        size_t p = off + 4;
        while (p < off + 2 + len) {
            const int t = file[p];
            if ((t >> 4) == 0) {
                body.push_back(static_cast<unsigned char>(0x10 | (t & 0x0F)));
                for (int i = 0; i < 64; ++i) {
                    body.push_back(0);
                    body.push_back(file[p + 1 + i]);
                }
                p += 65;
            } else {
                body.insert(body.end(), file.begin() + static_cast<long>(p), file.begin() + static_cast<long>(p + 129));
                p += 129;
            }
        }
        const size_t newLen = body.size() + 2;
        out.push_back(0xFF);
        out.push_back(0xDB);
        out.push_back(static_cast<unsigned char>(newLen >> 8));
        out.push_back(static_cast<unsigned char>(newLen & 0xFF));
        out.insert(out.end(), body.begin(), body.end());
    });
    out.insert(out.end(), file.begin() + static_cast<long>(copied), file.end());
    return out;
}

Bytes sof1AsSof0(const Bytes& file) {
    Bytes out = file;
    forEachSegment(file, [&](size_t off, int marker, size_t) {
        if (marker == 0xC1) out[off + 1] = 0xC0;
    });
    return out;
}

size_t scanStart(const Bytes& file) {
    size_t start = 0;
    forEachSegment(file, [&](size_t off, int marker, size_t len) {
        if (marker == 0xDA) start = off + 2 + len;
    });
    return start;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty file is written as nothing at all (fwrite takes no null buffer).
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

size_t findMarker(const Bytes& b, int marker) {
    size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF) {
        if (b[i + 1] == marker) return i;
        if (b[i + 1] == 0xDA) break;
        i += 2 + (static_cast<size_t>(b[i + 2]) << 8 | b[i + 3]);
    }
    return 0;
}

} // namespace jpegtest
