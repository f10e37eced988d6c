// The worst frames: the 99th and 95th percentiles and the slowest frame that
// --stats prints per scene (frame times given here, no clock), with the
// spread and the render scales, and --stats-plot's picture of them; and the
// benchmark's table of each scene's slowest frame and its music time.
#include "app/DemoProcess.h"
#include "app/Live.h"
#include "scenes/SceneTable.h"
#include "support/GLContext.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// What --stats prints of `stats`.
std::string printed(const live::FrameStats& stats) {
    char text[2048] = {};
    std::FILE* out = fmemopen(text, sizeof text - 1, "w");
    stats.print(out);
    std::fclose(out);
    return text;
}

TEST(FrameStatsTest, PercentilesAreNearestRankToATenthOfAMillisecond) {
    live::FrameStats stats;
    const int scene = stretchScene(2);
    for (int i = 0; i < 97; ++i) stats.add(scene, 10);
    stats.add(scene, 25);
    stats.add(scene, 40);
    stats.add(scene, 60, 31250);
    // Of 100 frames, the 95th is 10 ms and the 99th 40 ms (within the
    // histogram's bin above); 100 % is the slowest itself.
    EXPECT_NEAR(stats.percentileMs(scene, 0.95), 10, live::FrameStats::kBinMs + 1e-9);
    EXPECT_NEAR(stats.percentileMs(scene, 0.99), 40, live::FrameStats::kBinMs + 1e-9);
    EXPECT_DOUBLE_EQ(stats.percentileMs(scene, 1.0), 60);
    EXPECT_EQ(stats.percentileMs(stretchScene(3), 0.99), 0); // no frame yet
    // Frames beyond the histogram's range count at the slowest one's time.
    const int slow = stretchScene(4);
    for (int i = 0; i < 10; ++i) stats.add(slow, 300 + i, 30000 + i);
    stats.add(slow, 309, 30500); // as slow, later: the first one stays named
    EXPECT_DOUBLE_EQ(stats.percentileMs(slow, 0.99), 309);

    std::istringstream lines(printed(stats));
    std::string header, line;
    std::getline(lines, header);
    EXPECT_NE(header.find("slowest fps  p95 fps  p99 fps  slowest at (ms)"), std::string::npos) << header;
    std::getline(lines, line);
    std::istringstream fields(line);
    int number = 0;
    double from = 0, to = 0, frames = 0, mean = 0, slowest = 0, p95 = 0, p99 = 0, at = 0;
    std::string dash;
    fields >> number >> from >> dash >> to >> frames >> mean >> slowest >> p95 >> p99 >> at;
    EXPECT_EQ(number, scene + 1);
    EXPECT_EQ(frames, 100);
    EXPECT_NEAR(slowest, 1000.0 / 60, 0.05);
    EXPECT_NEAR(p95, 1000.0 / 10, 1.1);
    EXPECT_NEAR(p99, 1000.0 / 40, 0.15);
    EXPECT_EQ(at, 31250);
    std::getline(lines, line);
    fields = std::istringstream(line);
    fields >> number >> from >> dash >> to >> frames >> mean >> slowest >> p95 >> p99 >> at;
    EXPECT_EQ(at, 30009) << line;
}

// Beside each scene's rates: the spread of its frame times (standard
// deviation) and the render scale its pictures were drawn at, mean and lowest.
TEST(FrameStatsTest, EachSceneGivesItsSpreadAndItsMeanAndLowestRenderScale) {
    live::FrameStats stats;
    const int scene = stretchScene(6);
    stats.add(scene, 10, 104000, 1.0);
    stats.add(scene, 30, 104020, 0.7);
    stats.add(scene, 10, 104040, 0.85);
    stats.add(scene, 30, 104060, 0.85);
    EXPECT_NEAR(stats.deviationMs(scene), 10, 1e-9);
    EXPECT_NEAR(stats.meanScale(scene), 0.85, 1e-9);
    std::istringstream lines(printed(stats));
    std::string header, line;
    std::getline(lines, header);
    EXPECT_NE(header.find("slowest at (ms)  sd (ms)  mean scale  lowest scale"), std::string::npos) << header;
    std::getline(lines, line);
    std::istringstream fields(line);
    std::string skipped;
    for (int i = 0; i < 10; ++i) fields >> skipped;
    double spread = 0, mean = 0, lowest = 0;
    fields >> spread >> mean >> lowest;
    EXPECT_EQ(spread, 10.0) << line;
    EXPECT_EQ(mean, 0.85) << line;
    EXPECT_EQ(lowest, 0.7) << line;
}

// --stats-plot's picture of a run from 10 to 12 s: the bars rise highest over
// the slow frame's moment, the scale's trace falls lowest over the lowered
// frame's, and the 33.3 ms line stands twice as high above the panel's foot
// as the 16.7 ms one. A run with no frame timed writes nothing.
TEST(FrameStatsTest, ThePlotShowsTheSlowFrameAndTheLowScaleWhereTheyWere) {
    live::FrameStats stats;
    std::string why;
    const std::string path = testgl::tmpDir() + "/stats-plot.png";
    EXPECT_FALSE(live::writeStatsPlot(stats, path, &why));
    EXPECT_EQ(why, "no frame was timed");
    const int scene = stretchScene(0);
    for (double ms = 10000; ms < 12000; ms += 20)
        stats.add(scene, ms == 10500 ? 50 : 10, ms, ms == 11500 ? 0.7 : 1.0);
    ASSERT_TRUE(live::writeStatsPlot(stats, path, &why)) << why;
    const std::vector<unsigned char> rgb = decodePng(path);
    const int w = 1200, h = 480;
    ASSERT_EQ(rgb.size(), static_cast<size_t>(w) * h * 3);
    auto colour = [&](int x, int y) {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    auto blue = [](std::array<int, 3> c) { return c[2] > 120 && c[0] < 100; };
    auto dark = [](std::array<int, 3> c) { return c[0] < 60 && c[1] < 60 && c[2] < 60; };
    // Per column: the top of its bar, and the lowest dark pixel of the lower half (the trace).
    int tallestX = -1, tallestTop = h, lowestX = -1, lowestRow = -1, barFoot = -1;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            if (blue(colour(x, y)) && y < tallestTop) tallestTop = y, tallestX = x;
            if (blue(colour(x, y))) barFoot = std::max(barFoot, y);
            if (y > h * 3 / 4 && dark(colour(x, y)) && y > lowestRow) lowestRow = y, lowestX = x;
        }
    // 10.5 s is a quarter of the way along the run, 11.5 s three quarters.
    EXPECT_NEAR(tallestX, w / 4.0, w * 0.04);
    EXPECT_NEAR(lowestX, w * 3 / 4.0, w * 0.04);
    // The two lines: rows where most of the width is green, or orange.
    int row60 = -1, row30 = -1;
    for (int y = 0; y < h / 2 + 100; ++y) {
        int green = 0, orange = 0;
        for (int x = 0; x < w; ++x) {
            const auto c = colour(x, y);
            green += c[1] > 120 && c[0] < 100 && c[2] < 100;
            orange += c[0] > 200 && c[1] > 100 && c[1] < 180 && c[2] < 60;
        }
        if (green > w / 2) row60 = y;
        if (orange > w / 2) row30 = y;
    }
    ASSERT_GT(row60, 0);
    ASSERT_GT(row30, 0);
    EXPECT_NEAR(barFoot - row30, 2.0 * (barFoot - row60), 3);
    EXPECT_FALSE(live::writeStatsPlot(stats, "/nonexistent-folder/plot.png", &why));
    EXPECT_FALSE(why.empty());
}

// A table after the main one (whose first fourteen lines stay as they were):
// per scene its 99th percentile and slowest frame, the slowest frame's music
// time inside the scene's stretch, and the whole run's worst.
TEST(BenchmarkWorstFramesTest, NameEachScenesSlowestFrameInsideItsStretch) {
    const RunResult r = runDemo({"--benchmark", "--fps", "10", "--from", "29000", "--to", "30500", "--silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    bool inTable = false;
    int rows = 0, wholes = 0;
    while (std::getline(lines, line)) {
        if (line.find("slowest at (ms)") != std::string::npos) {
            inTable = true;
            continue;
        }
        if (!inTable || line.empty()) continue;
        std::istringstream fields(line);
        std::string label;
        double p99 = 0, slowest = 0, at = 0;
        fields >> label >> p99 >> slowest >> at;
        if (label == "whole") {
            ++wholes;
            EXPECT_GE(at, 29000);
            EXPECT_LE(at, 30500);
            inTable = false;
            continue;
        }
        const int place = timelinePlace(std::stoi(label));
        ASSERT_GE(place, 0) << line;
        EXPECT_LE(p99, slowest) << line;
        EXPECT_GE(at, std::max(29000.0f, stretchStartMs(place))) << line;
        EXPECT_LT(at, stretchEndMs(place)) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 2) << r.out; // Scenes 1 and 4
    EXPECT_EQ(wholes, 1) << r.out;
}

} // namespace
