// The same stills on Mesa's two software rasterisers, llvmpipe and softpipe
// (GALLIUM_DRIVER), through the real executable: code that leans on one
// rasteriser's rounding, on uninitialised memory or on undefined GL results
// shows up as a picture that differs between them. Every scene is rendered
// at least once, and twice where it changes its look or runs long (Scene
// 10's road and head, Scene 8's cell and cloud tunnels, Scene 5's thirty
// seconds). Softpipe is 2 to 3.5 times slower than llvmpipe, so the stills
// are few and their unshown catch-up runs on a 10 fps step.
#include "app/DemoProcess.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

// Agreement required between the two rasterisers' stills (PSNR, dB). Below
// 50 dB the test says where, so that a new difference can be looked at.
constexpr double kRequiredDb = 45.0;
constexpr double kNotedDb = 50.0;

// The moments, in timeline order: what shows, and the music time in ms.
struct Moment {
    const char* what;
    long ms;
};
constexpr Moment kMoments[] = {
    {"Scene 2, LED wall", 7000},
    {"Scene 1, checkerboard", 22000},
    {"Scene 4, cloud tunnel", 37000},
    {"Scene 6, spinning rings", 52000},
    {"Scene 10, crumbling road", 65000},
    {"Scene 10, talking head", 84000},
    {"Scene 7, boiling blob", 96000},
    {"Scene 8, cell tunnel", 108000},
    {"Scene 8, cloud tunnel", 115000},
    {"Scene 5, lumpy sphere", 125000},
    {"Scene 5, late", 140000},
    {"Scene 9, grass field", 156000},
    {"Scene 3, light-tile road", 171000},
    {"Scene 11, hexagonal columns", 186000},
    {"Scene 12, ending image", 197000},
};

// The still at `ms` rendered with `driver`, decoded (empty on failure).
std::vector<unsigned char> still(const char* driver, long ms) {
    const std::string out = testgl::tmpDir() + "/rasteriser-" + driver + "-" + std::to_string(ms) + ".png";
    const RunResult r = runDemo({"--frame", std::to_string(ms), "--fps", "10", "--out", out}, {}, 0,
                                {{"GALLIUM_DRIVER", driver}});
    EXPECT_EQ(r.status, 0) << driver << " at " << ms << " ms: " << r.err;
    std::vector<unsigned char> rgb = decodePng(out);
    // Kept only when asked for, to look at a difference.
    if (!std::getenv("DEMO_KEEP_STILLS")) std::remove(out.c_str());
    return rgb;
}

double psnr(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.size());
    return mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 1e9;
}

TEST(RasteriserTest, SoftpipeAndLlvmpipeStillsAgreeInEveryScene) {
    const size_t bytes = static_cast<size_t>(platform::kDesignWidth) * platform::kDesignHeight * 3;
    for (const Moment& m : kMoments) {
        const std::vector<unsigned char> llvm = still("llvmpipe", m.ms), soft = still("softpipe", m.ms);
        ASSERT_EQ(llvm.size(), bytes) << m.what;
        ASSERT_EQ(soft.size(), bytes) << m.what;
        const double db = psnr(llvm, soft);
        // One line per still, for the record.
        std::printf("%-28s %6ld ms  %6.1f dB%s\n", m.what, m.ms, db, db < kNotedDb ? "  (below 50 dB)" : "");
        EXPECT_GE(db, kRequiredDb) << m.what << " at " << m.ms << " ms";
    }
}

} // namespace
