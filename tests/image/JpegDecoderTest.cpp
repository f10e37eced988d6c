// The decoder against libjpeg-turbo (PSNR) and against the literal reference
// (bit for bit), the edge cases of the decoder's description, the refusals of
// unsupported input, truncations and corruptions.
#include "image/Jpg.h"
#include "image/JpegTestUtil.h"
#include "image/ReferenceJpeg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

using jpegtest::Bytes;

namespace {

struct Decoded {
    int ok = 0;
    jpg::Image image;
};

Decoded fast(const Bytes& b) {
    Decoded d;
    d.ok = jpg::decodeMemory(b.data(), b.size(), &d.image);
    return d;
}

// Fast and reference decodes agree exactly (result, size, every byte).
::testing::AssertionResult sameAsReference(const Bytes& b) {
    Decoded f = fast(b);
    refjpg::Result r = refjpg::decode(b.data(), b.size());
    if (f.ok != r.ok) return ::testing::AssertionFailure() << "result " << f.ok << " vs reference " << r.ok;
    if (!f.ok) return ::testing::AssertionSuccess();
    if (f.image.width != r.width || f.image.height != r.height)
        return ::testing::AssertionFailure() << "size differs";
    const size_t n = static_cast<size_t>(r.width) * r.height * 4;
    for (size_t i = 0; i < n; ++i)
        if (f.image.rgba[i] != r.rgba[i])
            return ::testing::AssertionFailure()
                   << "byte " << i << " (pixel " << (i / 4) % r.width << "," << (i / 4) / r.width << " channel "
                   << i % 4 << "): " << int(f.image.rgba[i]) << " vs reference " << int(r.rgba[i]);
    return ::testing::AssertionSuccess();
}

double psnrAgainstLibjpeg(const Bytes& b, const jpg::Image& image) {
    int w = 0, h = 0;
    std::vector<unsigned char> lib = jpegtest::libjpegDecode(b, &w, &h);
    EXPECT_EQ(w, image.width);
    EXPECT_EQ(h, image.height);
    if (lib.empty() || w != image.width || h != image.height) return 0;
    return jpegtest::psnrRgba(lib.data(), image.rgba.get(), static_cast<size_t>(w) * h);
}

Bytes encodePicture(int w, int h, const jpegtest::EncodeOptions& o, unsigned seed = 1) {
    return jpegtest::encode(jpegtest::makePicture(w, h, o.components, seed), w, h, o);
}

} // namespace

// ---- every image: PSNR against libjpeg-turbo, bit-exact against the reference ----

struct ImageCase {
    const char* name;
    int width, height;
    jpegtest::EncodeOptions options;
    int transform; // 0 none, 1 extra segments, 2 16-bit DQT, 3 SOF1 -> SOF0
};

class DecoderImages : public ::testing::TestWithParam<ImageCase> {};

TEST_P(DecoderImages, MatchesLibjpegAndReference) {
    const ImageCase& c = GetParam();
    Bytes file = encodePicture(c.width, c.height, c.options);
    ASSERT_FALSE(file.empty());
    if (c.transform == 1) file = jpegtest::withExtraSegments(file);
    if (c.transform == 2) file = jpegtest::with16BitQuant(file);
    if (c.transform == 3) file = jpegtest::sof1AsSof0(file);
    Decoded d = fast(file);
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(d.image.width, c.width);
    EXPECT_EQ(d.image.height, c.height);
    EXPECT_EQ(d.image.components, c.options.components);
    for (size_t i = 0; i < static_cast<size_t>(c.width) * c.height; ++i) ASSERT_EQ(d.image.rgba[i * 4 + 3], 255);
    const double psnr = psnrAgainstLibjpeg(file, d.image);
    std::printf("[ %s ] %dx%d PSNR %.2f dB\n", c.name, c.width, c.height, psnr);
    EXPECT_GE(psnr, 40.0);
    EXPECT_TRUE(sameAsReference(file));
}

namespace {
jpegtest::EncodeOptions opts(int comps, int h, int v, int quality = 90) {
    jpegtest::EncodeOptions o;
    o.components = comps;
    o.hSamp = h;
    o.vSamp = v;
    o.quality = quality;
    return o;
}
jpegtest::EncodeOptions with(jpegtest::EncodeOptions o, int ri, int rows, bool optimize, bool big = false) {
    o.restartInterval = ri;
    o.restartRows = rows;
    o.optimize = optimize;
    o.bigQuant = big;
    return o;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    All, DecoderImages,
    ::testing::Values(
        ImageCase{"gray", 64, 48, opts(1, 1, 1), 0}, ImageCase{"gray_100x75", 100, 75, opts(1, 1, 1), 0},
        ImageCase{"gray_33x17", 33, 17, opts(1, 1, 1), 0}, ImageCase{"444_100x75", 100, 75, opts(3, 1, 1), 0},
        ImageCase{"422_100x75", 100, 75, opts(3, 2, 1), 0}, ImageCase{"420_100x75", 100, 75, opts(3, 2, 2), 0},
        ImageCase{"444_33x17", 33, 17, opts(3, 1, 1), 0}, ImageCase{"422_33x17", 33, 17, opts(3, 2, 1), 0},
        ImageCase{"420_33x17", 33, 17, opts(3, 2, 2), 0}, ImageCase{"440_40x30", 40, 30, opts(3, 1, 2), 0},
        ImageCase{"411_70x20", 70, 20, opts(3, 4, 1), 0}, ImageCase{"420_1x1", 1, 1, opts(3, 2, 2), 0},
        ImageCase{"420_q100", 96, 64, opts(3, 2, 2, 100), 0}, ImageCase{"444_q100", 64, 40, opts(3, 1, 1, 100), 0},
        ImageCase{"420_q30", 100, 75, opts(3, 2, 2, 30), 0},
        ImageCase{"420_optimized", 100, 75, with(opts(3, 2, 2), 0, 0, true), 0},
        ImageCase{"gray_optimized", 33, 17, with(opts(1, 1, 1), 0, 0, true), 0},
        ImageCase{"420_restart_row", 100, 75, with(opts(3, 2, 2), 0, 1, false), 0},
        ImageCase{"444_restart_row", 100, 75, with(opts(3, 1, 1), 0, 1, false), 0},
        ImageCase{"gray_restart_row", 100, 75, with(opts(1, 1, 1), 0, 1, false), 0},
        ImageCase{"422_restart_row_opt", 33, 17, with(opts(3, 2, 1), 0, 1, true), 0},
        // Restart every 3 MCUs where a row is 3 MCUs wide.
        ImageCase{"420_restart_3mcu_48", 48, 40, with(opts(3, 2, 2), 3, 0, false), 0},
        ImageCase{"444_restart_3mcu_24", 24, 33, with(opts(3, 1, 1), 3, 0, false), 0},
        ImageCase{"420_16bit_quant", 100, 75, with(opts(3, 2, 2), 0, 0, false, true), 3},
        ImageCase{"gray_16bit_quant", 33, 17, with(opts(1, 1, 1), 0, 0, false, true), 3},
        ImageCase{"420_16bit_words", 100, 75, opts(3, 2, 2), 2},
        ImageCase{"420_extra_segments", 100, 75, opts(3, 2, 2), 1},
        ImageCase{"gray_extra_segments", 33, 17, opts(1, 1, 1), 1},
        ImageCase{"420_large", 1024, 768, opts(3, 2, 2), 0}, ImageCase{"444_large", 640, 480, opts(3, 1, 1), 0}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.name); });

// ---- restart intervals of any length -------------------------------------------------

// The encoder ends every restart interval (every `restart_interval` MCUs, counted
// across MCU rows) on a byte boundary, padding with one-bits, and writes an RSTn
// marker there. Intervals of 1, 3 and 5 MCUs and of one MCU row, on 100 x 75
// (7 MCUs a row in 4:2:0, 13 in 4:4:4 and gray) and 33 x 17 (3 and 5), so most
// intervals end in the middle of a row; plus an interval longer than a row and
// one longer than the whole image.
struct RestartCase {
    const char* layout; // "420", "444", "gray"
    int width, height;
    int interval;       // in MCUs; 0: one MCU row (restart_in_rows = 1)
};

class DecoderRestarts : public ::testing::TestWithParam<RestartCase> {};

namespace {
jpegtest::EncodeOptions layoutOptions(const std::string& layout) {
    if (layout == "420") return opts(3, 2, 2);
    if (layout == "444") return opts(3, 1, 1);
    return opts(1, 1, 1);
}
std::string restartName(const RestartCase& c) {
    return std::string(c.layout) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
           (c.interval ? std::to_string(c.interval) + "mcu" : std::string("row"));
}
std::vector<RestartCase> restartCases() {
    std::vector<RestartCase> cases;
    for (const char* layout : {"420", "444", "gray"})
        for (const auto& size : {std::make_pair(100, 75), std::make_pair(33, 17)})
            for (int interval : {1, 3, 5, 0}) cases.push_back({layout, size.first, size.second, interval});
    cases.push_back({"420", 100, 75, 11}); // longer than a row of 7 MCUs: intervals span row ends
    cases.push_back({"444", 33, 17, 40});  // longer than the 15 MCUs of the image: no marker at all
    return cases;
}
} // namespace

TEST_P(DecoderRestarts, MatchLibjpegAndReference) {
    const RestartCase& c = GetParam();
    const Bytes file =
        encodePicture(c.width, c.height, with(layoutOptions(c.layout), c.interval, c.interval ? 0 : 1, false));
    ASSERT_FALSE(file.empty());
    ASSERT_NE(jpegtest::findMarker(file, 0xDD), 0u); // the file carries a DRI segment
    Decoded d = fast(file);
    ASSERT_EQ(d.ok, 1);
    const double psnr = psnrAgainstLibjpeg(file, d.image);
    std::printf("[ restart %s ] PSNR against libjpeg-turbo %.2f dB\n", restartName(c).c_str(), psnr);
    EXPECT_GE(psnr, 40.0);
    EXPECT_TRUE(sameAsReference(file));
    // Restarts do not change the coefficients: the pixels are those of the same
    // picture encoded without a restart interval.
    Decoded plain = fast(encodePicture(c.width, c.height, layoutOptions(c.layout)));
    ASSERT_EQ(plain.ok, 1);
    EXPECT_EQ(0, std::memcmp(plain.image.rgba.get(), d.image.rgba.get(), static_cast<size_t>(c.width) * c.height * 4));
}

INSTANTIATE_TEST_SUITE_P(All, DecoderRestarts, ::testing::ValuesIn(restartCases()),
                         [](const ::testing::TestParamInfo<RestartCase>& info) { return restartName(info.param); });

// Cut short anywhere, or with flipped bits in the scan, a file whose intervals do
// not line up with the rows still decodes exactly like the reference (the
// realignment points do not depend on the markers being there).
TEST(Decoder, RestartIntervalTruncatedOrCorruptAgreesWithReference) {
    const Bytes file = encodePicture(40, 24, with(opts(3, 1, 1), 3, 0, false)); // 5 x 3 MCUs, interval 3
    const size_t scan = jpegtest::scanStart(file);
    ASSERT_GT(scan, 0u);
    for (size_t n = scan; n <= file.size(); ++n) {
        const Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
        ASSERT_TRUE(sameAsReference(cut)) << "length " << n;
    }
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        Bytes b = file;
        for (int f = 0; f < 1 + round % 4; ++f) {
            const size_t at = scan + rng() % (b.size() - 2 - scan);
            if (round % 3 == 0)
                b[at] = 0xFF;
            else
                b[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
        }
        ASSERT_TRUE(sameAsReference(b)) << "round " << round;
    }
}

TEST(Decoder, SixteenBitWordsDecodeLikeEightBitTable) {
    const Bytes file = encodePicture(100, 75, opts(3, 2, 2));
    const Bytes words = jpegtest::with16BitQuant(file);
    ASSERT_NE(file.size(), words.size());
    Decoded a = fast(file), b = fast(words);
    ASSERT_EQ(a.ok, 1);
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(0, std::memcmp(a.image.rgba.get(), b.image.rgba.get(), 100 * 75 * 4));
}

TEST(Decoder, ExtraSegmentsChangeNothing) {
    const Bytes file = encodePicture(33, 17, opts(3, 2, 1));
    Decoded a = fast(file), b = fast(jpegtest::withExtraSegments(file));
    ASSERT_EQ(a.ok, 1);
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(0, std::memcmp(a.image.rgba.get(), b.image.rgba.get(), 33 * 17 * 4));
}

// ---- the named steps ---------------------------------------------------------------

TEST(Decoder, NamedStepsGiveTheSamePixels) {
    for (int comps : {1, 3}) {
        const Bytes file = encodePicture(57, 41, opts(comps, comps == 3 ? 2 : 1, comps == 3 ? 2 : 1));
        Decoded d = fast(file);
        ASSERT_EQ(d.ok, 1);
        std::memset(&jpeg_file_s, 0, sizeof jpeg_file_s);
        jpeg_file_s.data = file.data();
        jpeg_file_s.size = file.size();
        ASSERT_EQ(jpeg_readmarkers(), 1);
        std::vector<unsigned char> pixels(57 * 41 * 4);
        jpeg_file_s.pixels = pixels.data();
        jpeg_decompress();
        if (comps == 3) {
            // Before conversion: chroma samples cover 2 x 2 squares.
            for (int y = 0; y < 40; y += 2)
                for (int x = 0; x < 56; x += 2)
                    for (int c = 1; c < 3; ++c) {
                        const unsigned char v = pixels[(y * 57 + x) * 4 + c];
                        ASSERT_EQ(v, pixels[(y * 57 + x + 1) * 4 + c]);
                        ASSERT_EQ(v, pixels[((y + 1) * 57 + x) * 4 + c]);
                        ASSERT_EQ(v, pixels[((y + 1) * 57 + x + 1) * 4 + c]);
                    }
            jpeg_ycbcr2rgb();
        } else {
            jpeg_gray2rgb();
        }
        EXPECT_EQ(0, std::memcmp(pixels.data(), d.image.rgba.get(), pixels.size())) << comps;
    }
}

TEST(Decoder, FourTwoTwoChromaCoversTwoByOne) {
    const Bytes file = encodePicture(48, 16, opts(3, 2, 1));
    std::memset(&jpeg_file_s, 0, sizeof jpeg_file_s);
    jpeg_file_s.data = file.data();
    jpeg_file_s.size = file.size();
    ASSERT_EQ(jpeg_readmarkers(), 1);
    EXPECT_EQ(jpeg_file_s.components[0].h_samp, 2); // 16 x 8 MCUs
    EXPECT_EQ(jpeg_file_s.components[0].v_samp, 1);
    std::vector<unsigned char> pixels(48 * 16 * 4);
    jpeg_file_s.pixels = pixels.data();
    jpeg_decompress();
    bool rowsDiffer = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 48; x += 2)
            for (int c = 1; c < 3; ++c) {
                ASSERT_EQ(pixels[(y * 48 + x) * 4 + c], pixels[(y * 48 + x + 1) * 4 + c]);
                if (y % 2 == 0 && pixels[(y * 48 + x) * 4 + c] != pixels[((y + 1) * 48 + x) * 4 + c]) rowsDiffer = true;
            }
    EXPECT_TRUE(rowsDiffer); // vertical resolution is full
}

TEST(Decoder, Bit2Int) {
    EXPECT_EQ(jpeg_bit2int(0, 0), 0);
    EXPECT_EQ(jpeg_bit2int(1, 0), -1);
    EXPECT_EQ(jpeg_bit2int(1, 1), 1);
    EXPECT_EQ(jpeg_bit2int(3, 0), -7);
    EXPECT_EQ(jpeg_bit2int(3, 3), -4);
    EXPECT_EQ(jpeg_bit2int(3, 4), 4);
    EXPECT_EQ(jpeg_bit2int(3, 7), 7);
    EXPECT_EQ(jpeg_bit2int(11, 0), -2047);
    EXPECT_EQ(jpeg_bit2int(15, 0x7FFF), 0x7FFF);
    for (int n = 1; n <= 15; ++n)
        for (int v = 0; v < (1 << n); v += 1 + (v >> 3)) {
            const int expected = (v & (1 << (n - 1))) ? v : -(v ^ ((1 << n) - 1));
            ASSERT_EQ(jpeg_bit2int(n, v), expected);
        }
}

TEST(Decoder, InverseDctMatchesReferenceBitForBit) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        float a[64], b[64];
        const int scale = round % 4 == 0 ? 100000 : (round % 4 == 1 ? 2000 : 50);
        std::uniform_int_distribution<int> dist(-scale, scale);
        for (int i = 0; i < 64; ++i) a[i] = b[i] = (round % 3 == 0 && i > 10) ? 0.0f : dist(rng) * 0.37f;
        jpeg_idct(a);
        refjpg::idct(b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << round;
    }
}

// ---- Huffman: the lookup gives the search's answer for every bit pattern ----------

namespace {
void checkTable(const unsigned char counts[16], const unsigned char* symbols, const char* what) {
    jpeg_huffman_table_t fastTable;
    std::memset(&fastTable, 0, sizeof fastTable);
    refjpg::HuffTable ref;
    std::memset(&ref, 0, sizeof ref);
    int total = 0;
    for (int i = 0; i < 16; ++i) total += counts[i];
    std::memcpy(fastTable.counts, counts, 16);
    std::memcpy(ref.counts, counts, 16);
    std::memcpy(fastTable.symbols, symbols, static_cast<size_t>(total));
    std::memcpy(ref.symbols, symbols, static_cast<size_t>(total));
    jpeg_build_huffman(&fastTable);
    refjpg::buildCodes(&ref);
    ASSERT_EQ(0, std::memcmp(fastTable.codes, ref.codes, sizeof ref.codes)) << what;
    ASSERT_EQ(0, std::memcmp(fastTable.code_lengths, ref.code_lengths, sizeof ref.code_lengths)) << what;
    for (unsigned bits = 0; bits < 65536; ++bits) {
        int lenFast = 0, lenRef = 0;
        const int a = jpeg_huffman_lookup(&fastTable, bits, &lenFast);
        const int b = refjpg::search(ref, bits, &lenRef);
        ASSERT_EQ(a, b) << what << " bits " << bits;
        ASSERT_EQ(lenFast, lenRef) << what << " bits " << bits;
    }
}

// The DHT tables of a file.
std::vector<std::pair<std::vector<unsigned char>, std::vector<unsigned char>>> tablesOf(const Bytes& b) {
    std::vector<std::pair<std::vector<unsigned char>, std::vector<unsigned char>>> out;
    size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF && b[i + 1] != 0xDA) {
        const size_t len = static_cast<size_t>(b[i + 2]) << 8 | b[i + 3];
        if (b[i + 1] == 0xC4) {
            size_t p = i + 4;
            while (p < i + 2 + len) {
                std::vector<unsigned char> counts(b.begin() + static_cast<long>(p + 1), b.begin() + static_cast<long>(p + 17));
                int total = 0;
                for (unsigned char c : counts) total += c;
                std::vector<unsigned char> syms(b.begin() + static_cast<long>(p + 17),
                                                b.begin() + static_cast<long>(p + 17 + total));
                out.emplace_back(counts, syms);
                p += 17 + total;
            }
        }
        i += 2 + len;
    }
    return out;
}
} // namespace

TEST(Huffman, StandardAndOptimisedTablesEveryPattern) {
    int n = 0;
    for (bool optimize : {false, true}) {
        const Bytes file = encodePicture(64, 64, with(opts(3, 2, 2), 0, 0, optimize));
        for (auto& t : tablesOf(file)) {
            checkTable(t.first.data(), t.second.data(), optimize ? "optimised" : "standard");
            ++n;
        }
    }
    EXPECT_EQ(n, 8);
}

TEST(Huffman, OddTablesEveryPattern) {
    unsigned char symbols[256];
    for (int i = 0; i < 256; ++i) symbols[i] = static_cast<unsigned char>((i * 37 + 11) & 0xFF);
    std::vector<std::vector<unsigned char>> tables = {
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},            // no codes at all
        {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},            // more codes than one bit holds
        {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},            // complete at length 1
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200},          // all 16 bits long
        {0, 0, 0, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0, 0, 0},          // overflowing the code space at 9
        {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},            // one code per length
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {10, 20, 30, 40, 50, 60, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0},     // 256 codes, wildly overfull
        {0, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16}, // codes beyond 16 bits, truncated
    };
    std::mt19937 rng(3);
    for (int r = 0; r < 12; ++r) {
        std::vector<unsigned char> c(16, 0);
        int left = 256;
        for (int i = 0; i < 16; ++i) {
            const int v = std::min(left, static_cast<int>(rng() % (i < 8 ? 6 : 40)));
            c[i] = static_cast<unsigned char>(v);
            left -= v;
        }
        tables.push_back(c);
    }
    for (size_t i = 0; i < tables.size(); ++i) checkTable(tables[i].data(), symbols, ("odd " + std::to_string(i)).c_str());
}

// ---- edge cases of the description ----------------------------------------------------

TEST(Decoder, GrayFileGivesEqualRgbAndOpaqueAlpha) {
    const Bytes file = encodePicture(40, 24, opts(1, 1, 1));
    Decoded d = fast(file);
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(d.image.components, 1);
    bool varied = false;
    for (int i = 0; i < 40 * 24; ++i) {
        const unsigned char* p = d.image.rgba.get() + i * 4;
        ASSERT_EQ(p[0], p[1]);
        ASSERT_EQ(p[0], p[2]);
        ASSERT_EQ(p[3], 255);
        if (p[0] != d.image.rgba[0]) varied = true;
    }
    EXPECT_TRUE(varied);
}

TEST(Decoder, ClipsTo100x75) {
    for (int h : {1, 2}) {
        const Bytes file = encodePicture(100, 75, opts(3, h, h));
        Decoded d = fast(file);
        ASSERT_EQ(d.ok, 1);
        EXPECT_EQ(d.image.width, 100);
        EXPECT_EQ(d.image.height, 75);
        EXPECT_GE(psnrAgainstLibjpeg(file, d.image), 40.0);
    }
}

TEST(Decoder, ProgressiveIsRefused) {
    jpegtest::EncodeOptions o = opts(3, 2, 2);
    o.progressive = true;
    const Bytes file = encodePicture(64, 48, o);
    ASSERT_NE(jpegtest::findMarker(file, 0xC2), 0u);
    EXPECT_EQ(fast(file).ok, 0);
    EXPECT_TRUE(sameAsReference(file));
}

TEST(Decoder, MissingFile) {
    jpg::Image image;
    jpg::Problem problem, imageProblem, maskProblem;
    EXPECT_EQ(jpg::decodeFile("no/such/file.jpg", &image, &problem), 0);
    EXPECT_EQ(problem.fault, jpg::Fault::Missing);
    EXPECT_EQ(jpg::decodeMasked("no/such/file.jpg", "no/such/mask.jpg", &image, &imageProblem, &maskProblem), 0);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::Missing);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::Missing);
}

// The one line for each kind of problem: a missing file as it always was,
// the others the same "File %s" with the reason.
TEST(Decoder, MessagesNameTheFileAndTheReason) {
    const char* path = "Textures/led1.jpg";
    EXPECT_EQ(jpg::message(path, {jpg::Fault::None, ""}), "");
    EXPECT_EQ(jpg::message(path, {jpg::Fault::Missing, "it cannot be opened"}), "File Textures/led1.jpg not found!");
    EXPECT_EQ(jpg::message(path, {jpg::Fault::NotJpeg, "it is not a JPEG image"}),
              "File Textures/led1.jpg cannot be decoded: it is not a JPEG image!");
    EXPECT_EQ(jpg::message(path, {jpg::Fault::CutShortScan, "it is cut short in its picture data"}),
              "File Textures/led1.jpg is cut short: the picture is black from where its data ends!");
    EXPECT_EQ(jpg::message(path, {jpg::Fault::SizeMismatch, "it is 8 x 8, its image a.jpg 16 x 16"}),
              "File Textures/led1.jpg cannot be a mask: it is 8 x 8, its image a.jpg 16 x 16!");
}

namespace {
// Flat 8 x 8 blocks of exact Y, Cb, Cr bytes (quality 100, 4:4:4, YCbCr input:
// the DC coefficient carries them exactly, no AC).
Bytes flatYcc(const std::vector<std::array<int, 3>>& blocks) {
    const int w = 8 * static_cast<int>(blocks.size()), h = 8;
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) px[(y * w + x) * 3 + c] = static_cast<unsigned char>(blocks[x / 8][c]);
    jpegtest::EncodeOptions o = opts(3, 1, 1, 100);
    o.yccInput = true;
    return jpegtest::encode(px, w, h, o);
}

int clampTo255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
} // namespace

TEST(Decoder, MaskPixelsGiveAlpha0And255And20) {
    // Y, Cb, Cr bytes that convert to exactly (10, 20, 31).
    std::array<int, 3> ycc{-1, -1, -1};
    for (int Y = 0; Y < 256 && ycc[0] < 0; ++Y)
        for (int cb = 0; cb < 256 && ycc[0] < 0; ++cb)
            for (int cr = 0; cr < 256; ++cr) {
                const int Cb = cb - 128, Cr = cr - 128;
                if (clampTo255((int)(Y + 1.402f * Cr)) == 10 && clampTo255((int)(Y - 0.34414f * Cb - 0.71414f * Cr)) == 20 &&
                    clampTo255((int)(Y + 1.772f * Cb)) == 31) {
                    ycc = {Y, cb, cr};
                    break;
                }
            }
    ASSERT_GE(ycc[0], 0);
    const std::string dir = std::getenv("DEMO_TEST_TMP") ? std::getenv("DEMO_TEST_TMP") : "/tmp";
    const Bytes mask = flatYcc({{0, 128, 128}, {255, 128, 128}, ycc});
    Decoded m = fast(mask);
    ASSERT_EQ(m.ok, 1);
    const int expectRgb[3][3] = {{0, 0, 0}, {255, 255, 255}, {10, 20, 31}};
    for (int b = 0; b < 3; ++b)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(m.image.rgba[(b * 8 + 3 * 24 + 2) * 4 + c], expectRgb[b][c]) << b;
    ASSERT_TRUE(jpegtest::writeFile(dir + "/alpha_mask.jpg", mask));
    ASSERT_TRUE(jpegtest::writeFile(dir + "/alpha_image.jpg", encodePicture(24, 8, opts(3, 2, 1))));
    jpg::Image out;
    ASSERT_EQ(jpg::decodeMasked((dir + "/alpha_image.jpg").c_str(), (dir + "/alpha_mask.jpg").c_str(), &out), 1);
    const int expectAlpha[3] = {0, 255, 20};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(out.rgba[(y * 24 + x) * 4 + 3], expectAlpha[x / 8]) << x << "," << y;
}

// The mask's alpha is the integer mean of its R, G, B.
TEST(Decoder, MaskAlphaIsIntegerMeanOfRgb) {
    const std::string dir = std::getenv("DEMO_TEST_TMP") ? std::getenv("DEMO_TEST_TMP") : "/tmp";
    const Bytes image = encodePicture(48, 16, opts(3, 2, 2));
    const Bytes mask = encodePicture(48, 16, opts(3, 1, 1), 9);
    ASSERT_TRUE(jpegtest::writeFile(dir + "/mask_image.jpg", image));
    ASSERT_TRUE(jpegtest::writeFile(dir + "/mask_mask.jpg", mask));
    jpg::Image out;
    ASSERT_EQ(jpg::decodeMasked((dir + "/mask_image.jpg").c_str(), (dir + "/mask_mask.jpg").c_str(), &out), 1);
    Decoded im = fast(image), mk = fast(mask);
    for (int i = 0; i < 48 * 16; ++i) {
        const unsigned char* m = mk.image.rgba.get() + i * 4;
        ASSERT_EQ(out.rgba[i * 4 + 3], (m[0] + m[1] + m[2]) / 3);
        for (int c = 0; c < 3; ++c) ASSERT_EQ(out.rgba[i * 4 + c], im.image.rgba[i * 4 + c]);
    }
    // Size mismatch: refused, the mask's problem.
    const Bytes other = encodePicture(40, 16, opts(3, 1, 1));
    ASSERT_TRUE(jpegtest::writeFile(dir + "/mask_other.jpg", other));
    jpg::Problem imageProblem, maskProblem;
    auto masked = [&](const std::string& image, const std::string& mask) {
        imageProblem = maskProblem = jpg::Problem{jpg::Fault::Damaged, "not set"};
        return jpg::decodeMasked((dir + "/" + image).c_str(), (dir + "/" + mask).c_str(), &out, &imageProblem,
                                 &maskProblem);
    };
    EXPECT_EQ(masked("mask_image.jpg", "mask_other.jpg"), 0);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::None);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::SizeMismatch);
    EXPECT_EQ(maskProblem.why, "it is 40 x 16, its image " + dir + "/mask_image.jpg 48 x 16");
    EXPECT_EQ(masked("mask_other.jpg", "mask_image.jpg"), 0);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::SizeMismatch);
    // Missing image or mask: refused, and each file's own problem is known
    // whatever the other one's.
    EXPECT_EQ(masked("nothere.jpg", "mask_mask.jpg"), 0);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::Missing);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::None);
    EXPECT_EQ(masked("mask_image.jpg", "nothere.jpg"), 0);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::None);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::Missing);
    EXPECT_EQ(masked("nothere.jpg", "nothere2.jpg"), 0);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::Missing);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::Missing);
    // A mask cut short in its data is used as far as it goes, and said.
    const size_t scan = jpegtest::scanStart(mask);
    ASSERT_TRUE(jpegtest::writeFile(dir + "/mask_cut.jpg", Bytes(mask.begin(), mask.begin() + (scan + mask.size()) / 2)));
    EXPECT_EQ(masked("mask_image.jpg", "mask_cut.jpg"), 1);
    EXPECT_EQ(imageProblem.fault, jpg::Fault::None);
    EXPECT_EQ(maskProblem.fault, jpg::Fault::CutShortScan);
}
