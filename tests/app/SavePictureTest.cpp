// The s key on the real program in a window on Xvfb: paused at a moment of
// the live clock, and then stepped to a frame of the stills' grid, each file
// it writes is exactly the still --frame writes at the millisecond its name
// gives.
#include "app/DemoProcess.h"
#include "support/Xvfb.h"

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

// The window's picture as the X server has it.
testx::Shot windowShot(::Display* d, ::Window w) {
    XWindowAttributes a;
    return w && XGetWindowAttributes(d, w, &a) ? testx::shoot(d, w, a.width, a.height) : testx::Shot();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

} // namespace

TEST(SavePictureKey, WritesExactlyTheStillPausedAndStepped) {
    testx::Xvfb x;
    if (x.display() == nullptr) GTEST_SKIP() << "no Xvfb (the xvfb package)";
    ::Display* d = x.display();
    const std::string folder = testgl::tmpDir() + "/pictures-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);

    enum Step { Playing, Saved, Stepping, Quitting, Quit } step = Playing;
    ::Window w = 0;
    testx::Shot before, last;
    int same = 0, polls = 0;
    RunOptions o;
    o.unset = {"SDL_VIDEODRIVER"};
    o.set = {{"DISPLAY", x.name()}, {"XDG_PICTURES_DIR", folder}};
    o.signal = SIGTERM; // only if the script gives up
    o.when = [&](const std::string& err, const std::string&) {
        if (++polls % 10 != 0) return false; // every 100 ms
        if (polls > 18000) return true;      // 3 minutes: something is wrong
        switch (step) {
        case Playing: {
            // A picture that is not black: pause there and save it.
            w = testx::demoWindow(d);
            const testx::Shot shown = windowShot(d, w);
            bool lit = false;
            for (size_t i = 0; i < shown.rgb.size() && !lit; i += 97) lit = shown.rgb[i] > 40;
            if (!lit) return false;
            testx::sendKey(d, w, XK_space);
            testx::sendKey(d, w, XK_s);
            step = Saved;
            return false;
        }
        case Saved:
            // Then a step to the next grid frame, once its picture shows, saved too.
            if (count(err, " written to ") < 1) return false;
            before = windowShot(d, w);
            testx::sendKey(d, w, XK_period);
            step = Stepping;
            return false;
        case Stepping: {
            testx::Shot now = windowShot(d, w);
            same = now.rgb != before.rgb && now.rgb == last.rgb ? same + 1 : 0;
            last = std::move(now);
            if (same < 2) return false;
            testx::sendKey(d, w, XK_s);
            step = Quitting;
            return false;
        }
        case Quitting:
            if (count(err, " written to ") < 2) return false;
            testx::sendKey(d, w, XK_Escape);
            step = Quit;
            return false;
        case Quit: return false;
        }
        return false;
    };
    const RunResult r = runDemo({"--window", "--silent", "--from", "20000"}, o);
    ASSERT_EQ(step, Quit) << "stopped at step " << step << "; stderr:\n" << r.err;
    EXPECT_EQ(r.status, 0) << r.err;

    // "picture at 20345 ms written to FOLDER/paper-weather-0020.345.png"
    const std::regex said("picture at ([0-9]+) ms written to (.*/" DEMO_PROGRAM_NAME "-([0-9]{4})\\.([0-9]{3})\\.png)");
    std::vector<long> times;
    for (std::sregex_iterator m(r.err.begin(), r.err.end(), said), end; m != end; ++m) {
        const long ms = std::stol((*m)[1]);
        const std::string path = (*m)[2];
        times.push_back(ms);
        EXPECT_EQ(path, folder + "/" DEMO_PROGRAM_NAME "-" + (*m)[3].str() + "." + (*m)[4].str() + ".png");
        EXPECT_EQ(std::stol((*m)[3]) / 100 * 60000 + std::stol((*m)[3]) % 100 * 1000 + std::stol((*m)[4]), ms);
        const std::string still = folder + "/still.png";
        const RunResult s = runDemo({"--frame", std::to_string(ms), "--out", still});
        ASSERT_EQ(s.status, 0) << s.err;
        const std::string saved = slurp(path);
        EXPECT_FALSE(saved.empty());
        EXPECT_TRUE(saved == slurp(still)) << "the picture saved at " << ms << " ms is not the still there";
        std::remove(still.c_str());
        std::remove(path.c_str());
    }
    ASSERT_EQ(times.size(), 2u) << r.err;
    // The step went to the next frame of the 30 fps grid (the first picture
    // was saved at a time within a millisecond of a grid frame, or after one).
    const long frame = static_cast<long>((times[0] + 1) * 30 / 1000) + 1;
    EXPECT_EQ(times[1], frame * 1000 / 30);
    rmdir(folder.c_str());
}
