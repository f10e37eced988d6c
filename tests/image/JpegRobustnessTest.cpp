// Input outside the supported set: every truncation of small valid files,
// corrupted headers and data, and each settled refusal. The fast decoder must
// agree with the literal reference on every one (and, under the sanitizer
// build, make no out-of-bounds access).
#include "image/Jpg.h"
#include "image/JpegTestUtil.h"
#include "image/ReferenceJpeg.h"

#include <gtest/gtest.h>

// GCC 12 reports false -Warray-bounds / -Wstringop-overread inside std::vector::insert here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif

#include <cstring>
#include <functional>
#include <random>

using jpegtest::Bytes;

namespace {

int fastResult(const Bytes& b, jpg::Image* image = nullptr, jpg::Problem* problem = nullptr) {
    jpg::Image local;
    return jpg::decodeMemory(b.data(), b.size(), image ? image : &local, problem);
}

::testing::AssertionResult agrees(const Bytes& b) {
    jpg::Image f;
    const int ok = fastResult(b, &f);
    refjpg::Result r = refjpg::decode(b.data(), b.size());
    if (ok != r.ok) return ::testing::AssertionFailure() << "result " << ok << " vs reference " << r.ok;
    if (!ok) return ::testing::AssertionSuccess();
    if (f.width != r.width || f.height != r.height) return ::testing::AssertionFailure() << "size";
    if (std::memcmp(f.rgba.get(), r.rgba.data(), r.rgba.size()) != 0)
        return ::testing::AssertionFailure() << "pixels differ";
    return ::testing::AssertionSuccess();
}

jpegtest::EncodeOptions opts(int comps, int h, int v, int restartRows = 0) {
    jpegtest::EncodeOptions o;
    o.components = comps;
    o.hSamp = h;
    o.vSamp = v;
    o.restartRows = restartRows;
    return o;
}

Bytes small(int comps, int h, int v, int restartRows = 0, int w = 40, int ht = 24) {
    return jpegtest::encode(jpegtest::makePicture(w, ht, comps, 5), w, ht, opts(comps, h, v, restartRows));
}

} // namespace

TEST(Robustness, EveryTruncation) {
    for (const Bytes& file : {small(3, 2, 2), small(1, 1, 1), small(3, 2, 1, 1), small(3, 1, 1, 1, 17, 9)}) {
        const size_t scan = jpegtest::scanStart(file);
        ASSERT_GT(scan, 0u);
        jpg::Image whole;
        jpg::Problem none;
        ASSERT_EQ(fastResult(file, &whole, &none), 1);
        ASSERT_EQ(none.fault, jpg::Fault::None);
        bool someCutInScan = false;
        for (size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
            ASSERT_TRUE(agrees(cut)) << "length " << n;
            // Headers cut short are refused; a cut inside the data still decodes.
            jpg::Image image;
            jpg::Problem problem;
            ASSERT_EQ(fastResult(cut, &image, &problem), n >= scan ? 1 : 0) << "length " << n;
            if (n == 0) {
                ASSERT_EQ(problem.fault, jpg::Fault::Empty);
            } else if (n == 1) {
                ASSERT_EQ(problem.fault, jpg::Fault::NotJpeg); // one byte is not yet a JPEG marker
            } else if (n < scan) {
                ASSERT_EQ(problem.fault, jpg::Fault::CutShort) << "length " << n;
                ASSERT_EQ(problem.why, "it is cut short in its headers");
            } else {
                // Said exactly when the picture lost something (a cut that
                // only drops the end marker loses nothing).
                const size_t bytes = static_cast<size_t>(whole.width) * whole.height * 4;
                const bool lost = std::memcmp(image.rgba.get(), whole.rgba.get(), bytes) != 0;
                ASSERT_EQ(problem.fault, lost ? jpg::Fault::CutShortScan : jpg::Fault::None) << "length " << n;
                someCutInScan |= lost;
            }
        }
        EXPECT_TRUE(someCutInScan);
    }
}

TEST(Robustness, TruncatedDataLeavesTheRestBlack) {
    const Bytes file = small(3, 2, 2, 0, 64, 64);
    const size_t scan = jpegtest::scanStart(file);
    const Bytes cut(file.begin(), file.begin() + static_cast<long>(scan + (file.size() - scan) / 3));
    jpg::Image full, part;
    ASSERT_EQ(fastResult(file, &full), 1);
    ASSERT_EQ(fastResult(cut, &part), 1);
    // The top rows agree with the full decode; the last rows are black.
    EXPECT_EQ(0, std::memcmp(full.rgba.get(), part.rgba.get(), 64 * 4 * 8));
    for (int x = 0; x < 64; ++x) {
        const unsigned char* p = part.rgba.get() + (63 * 64 + x) * 4;
        EXPECT_EQ(p[0] + p[1] + p[2], 0);
        EXPECT_EQ(p[3], 255);
    }
}

TEST(Robustness, FileEndingInsideRunsOfFF) {
    const Bytes file = small(3, 2, 2);
    const size_t scan = jpegtest::scanStart(file);
    for (size_t keep : {scan, scan + 1, scan + 10}) {
        for (const Bytes& tail : {Bytes{0xFF}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{0xFF, 0xD0}, Bytes{0xFF, 0xD9},
                                  Bytes{0xFF, 0xD3, 0xFF}, Bytes(5000, 0xFF)}) {
            Bytes b(file.begin(), file.begin() + static_cast<long>(keep));
            b.insert(b.end(), tail.begin(), tail.end());
            EXPECT_EQ(fastResult(b), 1);
            EXPECT_TRUE(agrees(b));
        }
    }
    // The whole scan replaced by 0xFF bytes.
    Bytes b(file.begin(), file.begin() + static_cast<long>(scan));
    b.insert(b.end(), 100000, 0xFF);
    EXPECT_TRUE(agrees(b));
}

TEST(Robustness, CorruptedHeaderBytes) {
    for (const Bytes& file : {small(3, 2, 2, 1), small(1, 1, 1)}) {
        const size_t scan = jpegtest::scanStart(file);
        for (size_t i = 0; i < scan; ++i) {
            for (int v : {0x00, 0x01, 0x03, 0x04, 0x11, 0x44, 0x7F, 0xC0, 0xFF, (file[i] + 1) & 0xFF, file[i] ^ 0x80}) {
                Bytes b = file;
                b[i] = static_cast<unsigned char>(v);
                ASSERT_TRUE(agrees(b)) << "offset " << i << " value " << v;
            }
        }
    }
}

TEST(Robustness, CorruptedEntropyData) {
    std::mt19937 rng(11);
    for (const Bytes& file : {small(3, 2, 2, 1), small(3, 1, 1), small(1, 1, 1, 1)}) {
        const size_t scan = jpegtest::scanStart(file);
        for (int round = 0; round < 300; ++round) {
            Bytes b = file;
            const int flips = 1 + round % 8;
            for (int f = 0; f < flips; ++f) {
                const size_t at = scan + rng() % (b.size() - scan);
                if (round % 5 == 0)
                    b[at] = 0xFF; // markers and runs of 0xFF
                else
                    b[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
            }
            ASSERT_TRUE(agrees(b)) << "round " << round;
        }
    }
}

// ---- the settled refusals -----------------------------------------------------------

namespace {
struct Patch {
    const char* what;
    std::function<void(Bytes&)> apply;
    jpg::Fault fault;      // what the decoder calls it
    const char* words;     // and a part of its reason
};

void setWord(Bytes& b, size_t at, int v) {
    b[at] = static_cast<unsigned char>(v >> 8);
    b[at + 1] = static_cast<unsigned char>(v & 0xFF);
}

Bytes segment(int marker, const Bytes& body) {
    Bytes s = {0xFF, static_cast<unsigned char>(marker), static_cast<unsigned char>((body.size() + 2) >> 8),
               static_cast<unsigned char>((body.size() + 2) & 0xFF)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

void insertBefore(Bytes& b, int marker, const Bytes& seg) {
    const size_t at = jpegtest::findMarker(b, marker);
    b.insert(b.begin() + static_cast<long>(at), seg.begin(), seg.end());
}
} // namespace

TEST(Robustness, SettledRefusals) {
    const Bytes color = small(3, 2, 2);
    const Bytes gray = small(1, 1, 1);
    ASSERT_EQ(fastResult(color), 1);
    ASSERT_EQ(fastResult(gray), 1);
    const size_t sof = jpegtest::findMarker(color, 0xC0);
    const size_t sofGray = jpegtest::findMarker(gray, 0xC0);
    const std::vector<std::pair<Bytes, Patch>> cases = {
        {color, {"width 0", [&](Bytes& b) { setWord(b, sof + 7, 0); },
                 jpg::Fault::Unsupported, "a picture of 0 x 24 is not supported"}},
        {color, {"height 0", [&](Bytes& b) { setWord(b, sof + 5, 0); },
                 jpg::Fault::Unsupported, "a picture of 40 x 0"}},
        {color, {"width 8193", [&](Bytes& b) { setWord(b, sof + 7, 8193); },
                 jpg::Fault::Unsupported, "8193"}},
        {color, {"height 65535", [&](Bytes& b) { setWord(b, sof + 5, 65535); },
                 jpg::Fault::Unsupported, "65535"}},
        {gray, {"2 components", [&](Bytes& b) {
                    b[sofGray + 9] = 2;
                    setWord(b, sofGray + 2, 3 * 2 + 8);
                    Bytes extra = {2, 0x11, 0};
                    b.insert(b.begin() + static_cast<long>(sofGray + 13), extra.begin(), extra.end());
                }, jpg::Fault::Unsupported, "2 colour components are not supported"}},
        {gray, {"4 components", [&](Bytes& b) {
                    b[sofGray + 9] = 4;
                    setWord(b, sofGray + 2, 3 * 4 + 8);
                    Bytes extra = {2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0};
                    b.insert(b.begin() + static_cast<long>(sofGray + 13), extra.begin(), extra.end());
                }, jpg::Fault::Unsupported, "4 colour components"}},
        {color, {"SOF length off", [&](Bytes& b) { setWord(b, sof + 2, 18); },
                 jpg::Fault::Damaged, "frame header"}},
        {color, {"h_samp 0", [&](Bytes& b) { b[sof + 11] = 0x02; },
                 jpg::Fault::Unsupported, "sampling factors 0 x 2"}},
        {color, {"v_samp 5", [&](Bytes& b) { b[sof + 11] = 0x25; },
                 jpg::Fault::Unsupported, "sampling factors 2 x 5"}},
        {color, {"chroma above luma", [&](Bytes& b) { b[sof + 14] = 0x31; },
                 jpg::Fault::Unsupported, "colour sampled finer"}},
        {color, {"chroma taller than luma", [&](Bytes& b) {
                     b[sof + 11] = 0x21;
                     b[sof + 14] = 0x12;
                 }, jpg::Fault::Unsupported, "colour sampled finer"}},
        {color, {"quant table 4", [&](Bytes& b) { b[sof + 12] = 4; }, jpg::Fault::Damaged, "frame header"}},
        {color, {"DHT table 4", [&](Bytes& b) { b[jpegtest::findMarker(b, 0xC4) + 4] = 0x14; },
                 jpg::Fault::Damaged, "Huffman table"}},
        {color, {"DHT 257 codes", [&](Bytes& b) {
                     Bytes body = {0x00, 0, 0, 0, 0, 0, 0, 0, 200, 57, 0, 0, 0, 0, 0, 0, 0};
                     body.insert(body.end(), 257, 0);
                     insertBefore(b, 0xDA, segment(0xC4, body));
                 }, jpg::Fault::Damaged, "Huffman table"}},
        {color, {"DHT shorter than its symbols", [&](Bytes& b) {
                     Bytes body = {0x00, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
                     insertBefore(b, 0xDA, segment(0xC4, body));
                 }, jpg::Fault::Damaged, "Huffman table"}},
        {color, {"DHT shorter than its counts", [&](Bytes& b) {
                     insertBefore(b, 0xDA, segment(0xC4, Bytes{0x00, 0, 1, 0}));
                 }, jpg::Fault::Damaged, "Huffman table"}},
        {color, {"DQT table 4", [&](Bytes& b) { b[jpegtest::findMarker(b, 0xDB) + 4] = 0x04; },
                 jpg::Fault::Damaged, "quantisation table"}},
        {color, {"DQT shorter than its table", [&](Bytes& b) {
                     Bytes body(40, 1);
                     body[0] = 0x01;
                     insertBefore(b, 0xDA, segment(0xDB, body));
                 }, jpg::Fault::Damaged, "quantisation table"}},
        {color, {"DQT 16-bit shorter than its table", [&](Bytes& b) {
                     Bytes body(65, 1);
                     body[0] = 0x11;
                     insertBefore(b, 0xDA, segment(0xDB, body));
                 }, jpg::Fault::Damaged, "quantisation table"}},
        {color, {"DRI too short", [&](Bytes& b) { insertBefore(b, 0xDA, segment(0xDD, Bytes{0})); },
                 jpg::Fault::Damaged, "restart interval"}},
        {color, {"segment length 1", [&](Bytes& b) { insertBefore(b, 0xDA, Bytes{0xFF, 0xFE, 0x00, 0x01}); },
                 jpg::Fault::Damaged, "segment shorter"}},
        {color, {"APP length past the end", [&](Bytes& b) { insertBefore(b, 0xDA, Bytes{0xFF, 0xE3, 0xFF, 0xF0}); },
                 jpg::Fault::CutShort, "cut short in its headers"}},
        {color, {"SOS table 4", [&](Bytes& b) { b[jpegtest::findMarker(b, 0xDA) + 6] = 0x40; },
                 jpg::Fault::Damaged, "scan header"}},
        {color, {"SOS AC table 5", [&](Bytes& b) { b[jpegtest::findMarker(b, 0xDA) + 6] = 0x05; },
                 jpg::Fault::Damaged, "scan header"}},
        {color, {"SOS shorter than its components", [&](Bytes& b) { setWord(b, jpegtest::findMarker(b, 0xDA) + 2, 8); },
                 jpg::Fault::Damaged, "scan header"}},
        {color, {"SOS before SOF", [&](Bytes& b) {
                     const size_t s = jpegtest::findMarker(b, 0xC0);
                     const size_t len = static_cast<size_t>(b[s + 2]) << 8 | b[s + 3];
                     b.erase(b.begin() + static_cast<long>(s), b.begin() + static_cast<long>(s + 2 + len));
                 }, jpg::Fault::Damaged, "before its frame header"}},
        {color, {"SOF1", [&](Bytes& b) { b[sof + 1] = 0xC1; },
                 jpg::Fault::Unsupported, "extended sequential JPEG is not supported (only baseline)"}},
        {color, {"SOF2", [&](Bytes& b) { b[sof + 1] = 0xC2; },
                 jpg::Fault::Unsupported, "progressive JPEG is not supported"}},
        {color, {"SOF3", [&](Bytes& b) { b[sof + 1] = 0xC3; }, jpg::Fault::Unsupported, "lossless JPEG"}},
        {color, {"SOF9", [&](Bytes& b) { b[sof + 1] = 0xC9; },
                 jpg::Fault::Unsupported, "arithmetic-coded JPEG"}},
        {color, {"EOI before the scan", [&](Bytes& b) { insertBefore(b, 0xDA, Bytes{0xFF, 0xD9}); },
                 jpg::Fault::Damaged, "ends before its picture data"}},
        {color, {"no 0xFF before a marker", [&](Bytes& b) { b[sof] = 0xFE; },
                 jpg::Fault::Damaged, "no marker where one belongs"}},
        {color, {"empty file", [&](Bytes& b) { b.clear(); }, jpg::Fault::Empty, "it is empty"}},
    };
    for (const auto& c : cases) {
        Bytes b = c.first;
        c.second.apply(b);
        jpg::Problem problem;
        EXPECT_EQ(fastResult(b, nullptr, &problem), 0) << c.second.what;
        EXPECT_TRUE(agrees(b)) << c.second.what;
        EXPECT_EQ(problem.fault, c.second.fault) << c.second.what << ": " << problem.why;
        EXPECT_NE(problem.why.find(c.second.words), std::string::npos) << c.second.what << ": " << problem.why;
    }
    // Accepted: APPn, COM, SOI and RSTn-coded segments before the scan, a DRI of 0,
    // a 16-bit DQT table with small values.
    Bytes ok = color;
    insertBefore(ok, 0xC0, segment(0xD3, Bytes{1, 2, 3}));
    insertBefore(ok, 0xDA, segment(0xDD, Bytes{0, 0}));
    insertBefore(ok, 0xDA, Bytes{0xFF, 0xD8});
    EXPECT_EQ(fastResult(ok), 1);
    EXPECT_TRUE(agrees(ok));
}

// Files that are no JPEG at all: said so, whatever they hold.
TEST(Robustness, OtherFilesAreNotJpeg) {
    std::mt19937 rng(5);
    std::vector<Bytes> files = {Bytes{0xFF}, Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
                                Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, Bytes{0xFF, 0xD9, 0xFF, 0xD8}};
    for (int round = 0; round < 50; ++round) {
        Bytes b(1 + rng() % 4000);
        for (unsigned char& c : b) c = static_cast<unsigned char>(rng());
        if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xD8) b[1] = 0; // random bytes that start like a JPEG are rarer still
        files.push_back(b);
    }
    for (const Bytes& b : files) {
        jpg::Problem problem;
        EXPECT_EQ(fastResult(b, nullptr, &problem), 0);
        EXPECT_EQ(problem.fault, jpg::Fault::NotJpeg) << b.size();
        EXPECT_EQ(problem.why, "it is not a JPEG image");
    }
}

// Weird but accepted sampling factors (3 x 1 luma with 2 x 1 chroma, 4 x 4
// with 1 x 1) decode like the reference: samples a chroma component does not
// cover stay at the undecoded value.
TEST(Robustness, OddSamplingFactorsAgreeWithReference) {
    for (int f : {0x31, 0x44, 0x43, 0x24}) {
        for (int chroma : {0x11, 0x21, 0x12}) {
            Bytes b = small(3, 1, 1, 0, 50, 30);
            const size_t sof = jpegtest::findMarker(b, 0xC0);
            b[sof + 11] = static_cast<unsigned char>(f);
            b[sof + 14] = static_cast<unsigned char>(chroma);
            if ((chroma >> 4) > (f >> 4) || (chroma & 15) > (f & 15)) continue;
            EXPECT_EQ(fastResult(b), 1);
            EXPECT_TRUE(agrees(b)) << std::hex << f << " " << chroma;
        }
    }
    // Gray with 2 x 2 sampling: MCUs of 16 x 16 with four blocks.
    Bytes g = small(1, 1, 1, 0, 50, 30);
    g[jpegtest::findMarker(g, 0xC0) + 11] = 0x22;
    EXPECT_TRUE(agrees(g));
}

// The largest accepted frame, with almost no data: decodes (black) without
// reading past the end; one more pixel in either direction is refused. Its
// file must be long enough to claim that many pixels (1024 a byte): a short
// one is refused before the 256 MB of pixels are taken.
TEST(Robustness, LargestFrameWithTruncatedData) {
    Bytes b = small(3, 2, 2);
    const size_t sof = jpegtest::findMarker(b, 0xC0);
    setWord(b, sof + 5, 8192);
    setWord(b, sof + 7, 8192);
    jpg::Problem problem;
    EXPECT_EQ(fastResult(b, nullptr, &problem), 0);
    EXPECT_EQ(problem.fault, jpg::Fault::TooLarge) << problem.why;
    b.resize(8192 * 8192 / 1024, 0); // after its end-of-image marker
    jpg::Image image;
    ASSERT_EQ(fastResult(b, &image), 1);
    EXPECT_EQ(image.width, 8192);
    EXPECT_EQ(image.height, 8192);
    const unsigned char* last = image.rgba.get() + (static_cast<size_t>(8192) * 8192 - 1) * 4;
    EXPECT_EQ(last[0] + last[1] + last[2], 0);
    EXPECT_EQ(last[3], 255);
    setWord(b, sof + 7, 8193);
    EXPECT_EQ(fastResult(b), 0);
}
