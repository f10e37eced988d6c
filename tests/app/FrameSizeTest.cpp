// Frame sizes through the real executable: a still at twice the design size,
// halved, against the design-size still in every scene; a wide and a tall
// still's black bars and centred picture; a Full HD capture; the sizes that
// are refused. And where the picture sits in a frame.
#include "app/DemoProcess.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

namespace {

std::string tmp(const std::string& name) {
    return testgl::tmpDir() + "/" + name;
}

bool exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // first row at the top
    int at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
    bool black(int x, int y) const { return at(x, y, 0) == 0 && at(x, y, 1) == 0 && at(x, y, 2) == 0; }
};

// A rectangle of an image, y from the top.
struct Region {
    int x, y, width, height;
};

// The still at `ms` (with --size `size` unless it is empty), rendered once
// per test process. The unshown catch-up runs on a 10 fps step, a third of
// the default's frames: the stills compared are all made on it.
std::string stillFile(long ms, const std::string& size) {
    static std::map<std::string, std::string> made;
    const std::string key = std::to_string(ms) + "-" + (size.empty() ? "default" : size);
    if (made.count(key))
        return made[key];
    const std::string out = tmp("size-" + key + ".png");
    std::vector<std::string> args = {"--frame", std::to_string(ms), "--fps", "10", "--out", out};
    if (!size.empty())
        args.insert(args.end(), {"--size", size});
    const RunResult r = runDemo(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return made[key] = out;
}

// The still decoded, after the ffmpeg filter `filter` if one is given.
Image still(long ms, const std::string& size, int width, int height, const std::string& filter = "") {
    Image image;
    image.rgb = decodePng(stillFile(ms, size), filter);
    if (image.rgb.size() != static_cast<size_t>(width) * height * 3) {
        ADD_FAILURE() << "still at " << ms << " ms, size '" << size << "': " << image.rgb.size() << " bytes";
        image.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    }
    image.width = width;
    image.height = height;
    return image;
}

// Each 2 x 2 block averaged, rounded: a box filter to half the size.
Image halve(const Image& big) {
    Image small;
    small.width = big.width / 2;
    small.height = big.height / 2;
    small.rgb.resize(static_cast<size_t>(small.width) * small.height * 3);
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sum = big.at(2 * x, 2 * y, c) + big.at(2 * x + 1, 2 * y, c) +
                                big.at(2 * x, 2 * y + 1, c) + big.at(2 * x + 1, 2 * y + 1, c);
                small.rgb[(static_cast<size_t>(y) * small.width + x) * 3 + c] =
                    static_cast<unsigned char>((sum + 2) / 4);
            }
    return small;
}

// PSNR (dB) of `b` shifted by (dx, dy) against `a` over region `r` of `a`;
// 99 for identical pixels.
double psnr(const Image& a, const Image& b, Region r, int dx = 0, int dy = 0) {
    double squares = 0;
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = a.at(x, y, c) - b.at(x + dx, y + dy, c);
                squares += d * d;
            }
    const double mse = squares / (3.0 * r.width * r.height);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(FrameSizeTest, PictureIsTheLargestCentredFourByThreeRectangle) {
    auto same = [](platform::Rect r, platform::Rect e) {
        return r.x == e.x && r.y == e.y && r.width == e.width && r.height == e.height;
    };
    EXPECT_TRUE(same(platform::fitPicture(1024, 768), {0, 0, 1024, 768}));
    EXPECT_TRUE(same(platform::fitPicture(1920, 1080), {240, 0, 1440, 1080}));
    EXPECT_TRUE(same(platform::fitPicture(3840, 2160), {480, 0, 2880, 2160}));
    EXPECT_TRUE(same(platform::fitPicture(2048, 1536), {0, 0, 2048, 1536}));
    // Taller than 4:3: bars below and above; odd sizes round down, the
    // bottom bar takes the smaller half.
    EXPECT_TRUE(same(platform::fitPicture(801, 1001), {0, 200, 801, 600}));
    EXPECT_TRUE(same(platform::fitPicture(4, 3), {0, 0, 4, 3}));
    EXPECT_TRUE(platform::softwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(platform::softwareRenderer("softpipe"));
    EXPECT_FALSE(platform::softwareRenderer("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)"));
    EXPECT_FALSE(platform::softwareRenderer(nullptr));
}

// One moment in each scene, with the image it lays in a corner (in 1024 x
// 768 units, y down; none where the width is 0). No flash covers the logo.
struct Moment {
    int scene;
    long ms;
    Region corner;
};
const Moment kMoments[] = {
    {2, 8000, {0, 0, 512, 512}},     {1, 22000, {0, 0, 256, 256}},   {4, 37000, {0, 0, 512, 512}},
    {6, 52000, {0, 0, 512, 512}},    {10, 75000, {0, 0, 512, 512}},  {7, 96000, {0, 0, 256, 256}},
    {8, 106000, {768, 0, 256, 256}}, {5, 134000, {0, 0, 0, 0}},      {9, 156000, {0, 0, 512, 512}},
    {3, 171000, {768, 0, 256, 256}}, {11, 186000, {0, 0, 256, 256}}, {12, 197000, {0, 0, 0, 0}},
};

// Whether `b` matches `a` over `r` best unshifted: no shift of up to 2
// pixels either way gives a higher PSNR. The region is kept 2 pixels
// inside the picture.
bool bestUnshifted(const Image& a, const Image& b, Region r) {
    r.x = std::max(r.x, 2);
    r.y = std::max(r.y, 2);
    r.width = std::min(r.width, a.width - 2 - r.x);
    r.height = std::min(r.height, a.height - 2 - r.y);
    const double here = psnr(a, b, r);
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (psnr(a, b, r, dx, dy) > here)
                return false;
    return true;
}

// Twice the size in both directions, box-filtered back: the same picture,
// with sharper edges (and lines whose smoothing differs), so close but not
// identical; the logo and the corner images land exactly where they were.
TEST(FrameSizeTest, DoubleSizeStillHalvedMatchesTheDesignSizeStillInEveryScene) {
    const Region logo = {896, 640, 128, 128};
    for (const Moment& m : kMoments) {
        const Image design = still(m.ms, "", 1024, 768);
        const Image halved = halve(still(m.ms, "2048x1536", 2048, 1536));
        const double whole = psnr(design, halved, {0, 0, 1024, 768});
        const double logoDb = psnr(design, halved, logo);
        std::printf("scene %2d at %6ld ms: 2048 x 1536 halved against 1024 x 768: %.2f dB (logo %.2f dB",
                    m.scene, m.ms, whole, logoDb);
        EXPECT_GE(whole, 25.0) << "scene " << m.scene << " at " << m.ms << " ms";
        EXPECT_GE(logoDb, 25.0) << "scene " << m.scene;
        EXPECT_TRUE(bestUnshifted(design, halved, logo)) << "logo, scene " << m.scene;
        if (m.corner.width > 0) {
            const double cornerDb = psnr(design, halved, m.corner);
            std::printf(", corner image %.2f dB", cornerDb);
            EXPECT_GE(cornerDb, 25.0) << "scene " << m.scene;
            EXPECT_TRUE(bestUnshifted(design, halved, m.corner)) << "corner image, scene " << m.scene;
        }
        std::printf(")\n");
    }
}

// Pixels of `image` outside `picture` that are not pure black.
long litOutside(const Image& image, Region picture) {
    long lit = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const bool inside = x >= picture.x && x < picture.x + picture.width && y >= picture.y &&
                                y < picture.y + picture.height;
            lit += !inside && !image.black(x, y);
        }
    return lit;
}

TEST(FrameSizeTest, WideStillHasPureBlackBarsAndTheCentredPicture) {
    // A white sky reaches both sides of the picture.
    const Image wide = still(22000, "1920x1080", 1920, 1080);
    EXPECT_EQ(litOutside(wide, {240, 0, 1440, 1080}), 0);
    EXPECT_FALSE(wide.black(240, 10));
    EXPECT_FALSE(wide.black(1679, 10));
    // The 1440 x 1080 between the bars is the design-size picture, larger.
    const Image picture =
        still(22000, "1920x1080", 1024, 768, "crop=1440:1080:240:0,scale=1024:768:flags=area");
    const double db = psnr(still(22000, "", 1024, 768), picture, {0, 0, 1024, 768});
    std::printf("1920 x 1080 picture scaled to 1024 x 768 against the 1024 x 768 still: %.2f dB\n", db);
    EXPECT_GE(db, 25.0);
}

TEST(FrameSizeTest, TallOddSizedStillHasBarsBelowAndAbove) {
    // 801 x 1001: a 801 x 600 picture, 201 rows of bar above it, 200 below.
    const Image tall = still(186000, "801x1001", 801, 1001);
    EXPECT_EQ(litOutside(tall, {0, 201, 801, 600}), 0);
    int litInFirstRow = 0, litInLastRow = 0;
    for (int x = 0; x < 801; ++x) {
        litInFirstRow += !tall.black(x, 201);
        litInLastRow += !tall.black(x, 800);
    }
    EXPECT_GT(litInFirstRow, 400);
    EXPECT_GT(litInLastRow, 400);
}

TEST(FrameSizeTest, DesignSizeAskedForIsTheDefaultByteForByte) {
    EXPECT_EQ(slurp(stillFile(52000, "1024x768")), slurp(stillFile(52000, "")));
}

TEST(FrameSizeTest, FullHdCaptureIsAFullHdVideoWithBlackBars) {
    const std::string video = tmp("size-1080.mp4");
    std::remove(video.c_str());
    const RunResult r = runDemo({"--capture", video, "--size", "1920x1080", "--from", "22000", "--to",
                                 "22300", "--fps", "10", "--silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    FILE* p = popen(("ffprobe -v error -count_frames -show_entries stream=width,height,nb_read_frames "
                     "-of default=nw=1 '" +
                     video + "'")
                        .c_str(),
                    "r");
    ASSERT_NE(p, nullptr);
    char text[256] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, p);
    pclose(p);
    const std::string probe(text, n);
    EXPECT_NE(probe.find("width=1920"), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=1080"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=3"), std::string::npos) << probe;
    // Through H.264 the bars stay black (within the codec's rounding) and
    // the picture's white sky reaches them.
    const Image frame = [&] {
        Image i;
        i.width = 1920;
        i.height = 1080;
        i.rgb = decodePng(video, "select=eq(n\\,0)");
        i.rgb.resize(1920u * 1080 * 3);
        return i;
    }();
    for (int y = 0; y < 1080; y += 7) {
        EXPECT_LE(frame.at(100, y, 0) + frame.at(100, y, 1) + frame.at(100, y, 2), 12) << "row " << y;
        EXPECT_LE(frame.at(1800, y, 0) + frame.at(1800, y, 1) + frame.at(1800, y, 2), 12) << "row " << y;
    }
    EXPECT_GE(frame.at(1660, 20, 0) + frame.at(1660, 20, 1) + frame.at(1660, 20, 2), 600);
    std::remove(video.c_str());
}

// What ffprobe says of the first video stream's `entries`, one "key=value" a line.
std::string probeVideo(const std::string& path, const std::string& entries) {
    FILE* p = popen(("ffprobe -v error -select_streams v:0 -show_entries stream=" + entries +
                     " -of default=nw=1 '" + path + "'")
                        .c_str(),
                    "r");
    std::string text;
    if (!p) return text;
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
    return text;
}

TEST(FrameSizeTest, VideoCapturesAreTaggedBt709AndFullHdMp4DecodesCloseToTheStill) {
    const std::string tags = "color_range=tv\ncolor_space=bt709\ncolor_transfer=bt709\ncolor_primaries=bt709\n";
    // Full HD H.264, High profile: decoded as its tags say, the first frame
    // within 38 dB of the still at its time (a BT.601 picture decoded as
    // BT.709, as players take HD video, comes out near 33 dB).
    const std::string mp4 = tmp("colour-1080.mp4");
    std::remove(mp4.c_str());
    RunResult r = runDemo({"--capture", mp4, "--size", "1920x1080", "--from", "22000", "--to", "22200", "--fps",
                           "10", "--silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probeVideo(mp4, "profile,color_range,color_space,color_transfer,color_primaries"),
              "profile=High\n" + tags);
    const std::vector<unsigned char> decoded = decodePng(mp4, "select=eq(n\\,0)");
    const Image expected = still(22000, "1920x1080", 1920, 1080);
    ASSERT_EQ(decoded.size(), expected.rgb.size());
    double squares = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const double d = static_cast<double>(decoded[i]) - expected.rgb[i];
        squares += d * d;
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / std::max(squares / decoded.size(), 1e-12));
    EXPECT_GE(psnr, 38.0);
    // At the design size too (untagged, players would take it for BT.601),
    // and ProRes.
    const std::string small = tmp("colour-768.mp4"), mov = tmp("colour.mov");
    for (const std::string& video : {small, mov}) {
        std::remove(video.c_str());
        r = runDemo({"--capture", video, "--from", "22000", "--to", "22100", "--fps", "10", "--silent"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(probeVideo(video, "color_range,color_space,color_transfer,color_primaries"), tags) << video;
        std::remove(video.c_str());
    }
    std::remove(mp4.c_str());
}

TEST(FrameSizeTest, BadSizesGiveOneLineAndStatusTwoBeforeAnythingIsRendered) {
    const std::string png = tmp("size-refused.png"), mp4 = tmp("size-refused.mp4");
    std::remove(png.c_str());
    std::remove(mp4.c_str());
    const std::vector<std::string> badEverywhere = {
        "1920",        "0x768",      "1920x0",       "-1920x1080",  "1920x-1080", "+1920x1080",
        "1920x1080x2", "1920 x1080", "1920X1080",    "abcx768",     "x",          "",
        "3x3",         "4x2",        "99999999x768", "1920x1080.5",
    };
    std::vector<std::vector<std::string>> cases;
    for (const std::string& size : badEverywhere)
        cases.push_back({"--frame", "100", "--out", png, "--size", size});
    // Odd sizes are fine for a still but not for H.264 in yuv420p.
    cases.push_back({"--capture", mp4, "--to", "100", "--size", "1921x1080"});
    cases.push_back({"--capture", mp4, "--to", "100", "--size", "1920x1081"});
    // Larger than this OpenGL renders: refused once the context is open,
    // before start-up draws anything, in every mode.
    cases.push_back({"--frame", "100", "--out", png, "--size", "40000x768"});
    cases.push_back({"--capture", mp4, "--to", "100", "--size", "1024x40000"});
    cases.push_back({"--benchmark", "--to", "100", "--size", "40000x40000"});
    cases.push_back({"--size", "40000x768", "--silent"});
    for (const auto& args : cases) {
        const RunResult r = runDemo(args);
        const std::string given = args.back() == "--silent" ? args[1] : args.back();
        EXPECT_EQ(r.status, 2) << args[0] << " --size " << given << ": " << r.err;
        EXPECT_EQ(r.err.rfind(DEMO_PROGRAM_NAME ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err; // one line
        EXPECT_EQ(r.out, "") << r.out;
    }
    EXPECT_FALSE(exists(png));
    EXPECT_FALSE(exists(mp4));
}

} // namespace
