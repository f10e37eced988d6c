// The fullscreen toggle on a real X server with no window manager (a kiosk's
// screen): Xvfb at 1920 x 1080, the demo started in its window as a user
// would, keys sent to it through the X server, and the screen read back from
// the X server. Going fullscreen, the window must cover the screen with the
// whole picture letterboxed in it (not the window's corner of a picture laid
// out for the screen); going back, the window and its picture as before.
#include "app/DemoProcess.h"
#include "support/Xvfb.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

using testx::kScreenHeight;
using testx::kScreenWidth;
using testx::demoWindow;
using testx::sendKey;
using testx::Shot;
using testx::shoot;

// The mean colour of each of 16 x 12 blocks of a rectangle of the shot,
// over its top three quarters (the on-screen display's band is drawn along
// the bottom at a size of its own).
std::vector<double> blockMeans(const Shot& s, int x0, int y0, int w, int h) {
    std::vector<double> means;
    for (int by = 0; by < 9; ++by)
        for (int bx = 0; bx < 16; ++bx)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                long n = 0;
                for (int y = y0 + by * h / 12; y < y0 + (by + 1) * h / 12; ++y)
                    for (int x = x0 + bx * w / 16; x < x0 + (bx + 1) * w / 16; ++x, ++n) sum += s.at(x, y)[c];
                means.push_back(n ? sum / n : 0);
            }
    return means;
}

double largestDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double most = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) most = std::max(most, std::fabs(a[i] - b[i]));
    return a.size() == b.size() ? most : 1e9;
}

} // namespace

TEST(FullscreenX11, TogglesWithoutAWindowManagerAndBack) {
    testx::Xvfb x;
    if (x.display() == nullptr) GTEST_SKIP() << "no Xvfb (the xvfb package)";
    ::Display* d = x.display();

    // A step-by-step script, run between the polls of the running demo.
    enum Step { Shown, Paused, Full, Back, Quitting } step = Shown;
    Shot window, screen, windowAgain;
    XWindowAttributes before{}, full{}, after{};
    Shot last;
    int same = 0, polls = 0;
    ::Window w = 0;
    // The window's (or the screen's) picture has stopped changing: three
    // shots 100 ms apart alike.
    auto settled = [&](::Window from, int width, int height) {
        Shot s = shoot(d, from, width, height);
        same = !s.rgb.empty() && s.rgb == last.rgb ? same + 1 : 0;
        last = std::move(s);
        return same >= 2;
    };
    RunOptions o;
    o.unset = {"SDL_VIDEODRIVER"};
    o.set = {{"DISPLAY", x.name()}};
    o.signal = SIGTERM; // only if the script gives up
    o.when = [&](const std::string&, const std::string&) {
        if (++polls % 10 != 0) return false; // every 100 ms
        if (polls > 18000) return true;      // 3 minutes: something is wrong
        XWindowAttributes a{};
        switch (step) {
        case Shown:
            // Playing: a picture that is not black, then paused.
            w = demoWindow(d);
            if (!w || !XGetWindowAttributes(d, w, &a)) return false;
            last = shoot(d, w, a.width, a.height);
            for (size_t i = 0; i < last.rgb.size(); i += 3 * 97)
                if (last.rgb[i] + last.rgb[i + 1] + last.rgb[i + 2] > 60) {
                    sendKey(d, w, XK_space);
                    step = Paused;
                    break;
                }
            return false;
        case Paused:
            XGetWindowAttributes(d, w, &before);
            if (!settled(w, before.width, before.height)) return false;
            window = last;
            sendKey(d, w, XK_f);
            step = Full;
            return false;
        case Full:
            XGetWindowAttributes(d, w, &full);
            if (full.width != kScreenWidth || !settled(DefaultRootWindow(d), kScreenWidth, kScreenHeight))
                return polls > 6000; // the window never covered the screen
            screen = last;
            sendKey(d, w, XK_f);
            step = Back;
            return false;
        case Back:
            XGetWindowAttributes(d, w, &after);
            if (after.width == kScreenWidth || !settled(w, after.width, after.height)) return polls > 6000;
            windowAgain = last;
            sendKey(d, w, XK_Escape);
            step = Quitting;
            return false;
        case Quitting: return false;
        }
        return false;
    };
    const RunResult r = runDemo({"--window", "--silent", "--from", "20000"}, o);
    ASSERT_EQ(step, Quitting) << "stopped at step " << step << "; stderr:\n" << r.err;
    EXPECT_EQ(r.status, 0) << r.err;

    EXPECT_EQ(before.width, 1024);
    EXPECT_EQ(before.height, 768);
    // Fullscreen: the whole screen, the picture 1440 x 1080 in the middle,
    // black bars beside it, and the picture the window showed, scaled.
    EXPECT_EQ(full.x, 0);
    EXPECT_EQ(full.y, 0);
    EXPECT_EQ(full.height, kScreenHeight);
    ASSERT_EQ(screen.width, kScreenWidth);
    int brightestBar = 0;
    for (int y = 0; y < kScreenHeight; y += 7)
        for (const int x : {0, 100, 239, 1680, 1800, 1919})
            for (const int c : screen.at(x, y)) brightestBar = std::max(brightestBar, c);
    EXPECT_LE(brightestBar, 8) << "the bars beside the picture are not black";
    const std::vector<double> shown = blockMeans(window, 0, 0, 1024, 768);
    EXPECT_LT(largestDifference(blockMeans(screen, 240, 0, 1440, 1080), shown), 12.0)
        << "fullscreen shows another picture than the window did (cropped or shifted)";
    // Back: the window as it was, the same picture in it.
    EXPECT_EQ(after.width, 1024);
    EXPECT_EQ(after.height, 768);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_LT(largestDifference(blockMeans(windowAgain, 0, 0, 1024, 768), shown), 2.0);
}
