// The plot of a live run's frames (--stats-plot, Live.h): drawn pixel by
// pixel into an RGB picture and written as a PNG through the platform. Two
// panels over the music time the run covered: above, each column's slowest
// frame as a bar from 0 to 60 ms, with lines at 16.7 and 33.3 ms; below, the
// lowest render scale as a trace from 0.5 to 1, with lines at 1 and 0.6. The
// scenes' starts are grey lines with their numbers on top. Numbers only, in
// a 3 x 5 pixel font: what the lines mean is said in --help and the manual.
#include "app/Live.h"

#include "app/RenderScale.h"
#include "app/Timeline.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace live {

namespace {

constexpr int kWidth = 1200, kHeight = 480;
constexpr int kLeft = 44, kRight = kWidth - 10;     // the panels' columns
constexpr int kTimeTop = 24, kTimeBottom = 330;     // frame times: 60 ms at the top, 0 at the bottom
constexpr int kScaleTop = 350, kScaleBottom = 466;  // render scales: 1 a little below the top, 0.5 at the bottom
constexpr double kTimeRangeMs = 60;
constexpr double kScaleLow = 0.5, kScaleHigh = 1.02;

struct Rgb {
    unsigned char r, g, b;
};
constexpr Rgb kBackground{255, 255, 255}, kAxis{150, 150, 150}, kScene{215, 215, 215}, kBar{40, 80, 170},
    kOver{200, 30, 30}, kLine60{40, 160, 60}, kLine30{230, 140, 20}, kTrace{20, 20, 20};

// The digits and the point, 3 x 5, a row a 3-bit number (the left pixel the high bit).
constexpr unsigned char kGlyphs[11][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {0, 0, 0, 0, 2},
};

class Canvas {
public:
    Canvas() : rgb_(static_cast<size_t>(kWidth) * kHeight * 3) {
        fill(0, 0, kWidth, kHeight, kBackground);
    }
    void set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
        unsigned char* p = &rgb_[(static_cast<size_t>(y) * kWidth + x) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void fill(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y, c);
    }
    // `text` (digits and points) with its top left at (x, y), each font pixel 2 x 2.
    void write(int x, int y, const char* text, Rgb c) {
        for (; *text; ++text, x += 8) {
            const int g = *text == '.' ? 10 : *text - '0';
            if (g < 0 || g > 10) continue;
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (kGlyphs[g][row] & (4 >> col)) fill(x + 2 * col, y + 2 * row, x + 2 * col + 2, y + 2 * row + 2, c);
        }
    }
    const unsigned char* data() const { return rgb_.data(); }

private:
    std::vector<unsigned char> rgb_;
};

int rowOfMs(double ms) {
    const double f = std::clamp(ms / kTimeRangeMs, 0.0, 1.0);
    return kTimeBottom - static_cast<int>(std::lround(f * (kTimeBottom - kTimeTop)));
}

int rowOfScale(double scale) {
    const double f = std::clamp((scale - kScaleLow) / (kScaleHigh - kScaleLow), 0.0, 1.0);
    return kScaleBottom - static_cast<int>(std::lround(f * (kScaleBottom - kScaleTop)));
}

} // namespace

bool writeStatsPlot(const FrameStats& stats, const std::string& path, std::string* error) {
    // The steps the run showed, first to last.
    int first = -1, last = -1;
    for (int i = 0; i < FrameStats::kSteps; ++i)
        if (stats.step(i).lowestScale > 0) {
            if (first < 0) first = i;
            last = i;
        }
    if (first < 0) {
        *error = "no frame was timed";
        return false;
    }
    const int steps = last - first + 1;
    auto stepOfColumn = [&](int x) { return first + (x - kLeft) * steps / (kRight - kLeft); };
    auto columnOfMs = [&](double ms) {
        return kLeft + static_cast<int>(std::lround((ms / FrameStats::kStepMs - first) * (kRight - kLeft) / steps));
    };
    Canvas c;
    // The scenes' starts inside the run, numbered; the number of the one
    // playing at the run's start at its left edge.
    c.write(kLeft + 3, 4, std::to_string(sceneForTime(static_cast<float>(first * FrameStats::kStepMs), 0) + 1).c_str(),
            kAxis);
    for (int i = 0; i < kSceneCount; ++i) {
        const int x = columnOfMs(stretchStartMs(i));
        if (x <= kLeft || x >= kRight) continue;
        c.fill(x, kTimeTop - 2, x + 1, kScaleBottom, kScene);
        const int number = stretchScene(i) + 1;
        c.write(x + 3, 4, std::to_string(number).c_str(), kAxis);
    }
    // What each column of the run showed: its slowest frame and lowest scale.
    int previousRow = -1;
    for (int x = kLeft; x < kRight; ++x) {
        float slowest = 0, lowest = 0;
        for (int s = stepOfColumn(x); s < std::max(stepOfColumn(x + 1), stepOfColumn(x) + 1) && s <= last; ++s) {
            slowest = std::max(slowest, stats.step(s).slowestMs);
            if (stats.step(s).lowestScale > 0)
                lowest = lowest > 0 ? std::min(lowest, stats.step(s).lowestScale) : stats.step(s).lowestScale;
        }
        if (slowest > 0) c.fill(x, rowOfMs(slowest), x + 1, kTimeBottom, slowest > kTimeRangeMs ? kOver : kBar);
        if (lowest <= 0) {
            previousRow = -1;
            continue;
        }
        const int row = rowOfScale(lowest);
        const int from = previousRow < 0 ? row : std::min(row, previousRow), to = previousRow < 0 ? row : std::max(row, previousRow);
        c.fill(x, from, x + 1, to + 2, kTrace);
        previousRow = row;
    }
    // The lines over the bars: 60 and 30 fps, the scale's top and floor, the axes.
    c.fill(kLeft, rowOfMs(1000.0 / 60), kRight, rowOfMs(1000.0 / 60) + 1, kLine60);
    c.fill(kLeft, rowOfMs(1000.0 / 30), kRight, rowOfMs(1000.0 / 30) + 1, kLine30);
    c.write(4, rowOfMs(1000.0 / 60) - 5, "16.7", kLine60);
    c.write(4, rowOfMs(1000.0 / 30) - 5, "33.3", kLine30);
    c.fill(kLeft, kTimeBottom, kRight, kTimeBottom + 1, kAxis);
    c.fill(kLeft, rowOfScale(1), kRight, rowOfScale(1) + 1, kAxis);
    c.fill(kLeft, rowOfScale(RenderScale::kFloor), kRight, rowOfScale(RenderScale::kFloor) + 1, kAxis);
    c.write(20, rowOfScale(1) - 5, "1", kAxis);
    char floor[8];
    std::snprintf(floor, sizeof floor, "%.1f", RenderScale::kFloor);
    c.write(12, rowOfScale(RenderScale::kFloor) - 5, floor, kAxis);
    return platform::writePng(path.c_str(), c.data(), kWidth, kHeight, error);
}

} // namespace live
