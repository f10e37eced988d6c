// GL errors, looked for the way a stricter driver would refuse them: Mesa
// reports each one with MESA_DEBUG=1 ("Mesa: User error: GL_INVALID_ENUM in
// glEnable(0x1234)"), and --gl-debug prints KHR_debug's messages. The live
// path runs in a window of SDL's offscreen driver with the frame following
// the window (--size native, as on a graphics card) in the debug mode: paused,
// the OSD with its second line, a seek, a resize, the audio-delay keys, play.
// The headless path is the whole timeline through the real executable at a
// low frame rate.
#include "app/CApplication.h"
#include "app/DemoProcess.h"
#include "app/Live.h"
#include "app/Osd.h"
#include "app/Timeline.h"
#include "platform/Sound.h"
#include "support/GLContext.h"
#include "support/SdlEvents.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>


namespace {

CApplication app;
live::FrameStats frameStats;
bool started = false;
std::string startErr; // what opening the display printed

uint64_t fakeNow = 1000000;
uint64_t fakeClock() { return fakeNow; }

// The last presented window, RGB, bottom row first (GL's order).
std::vector<unsigned char> presented;
void overlayAndReadBack(const platform::Presentation& where, void* user) {
    static_cast<CApplication*>(user)->overlay(where);
    presented.resize(static_cast<size_t>(where.windowWidth) * where.windowHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, where.windowWidth, where.windowHeight, GL_RGB, GL_UNSIGNED_BYTE, presented.data());
}

class StartNative : public ::testing::Environment {
public:
    void SetUp() override {
        // Before the GL is opened: Mesa reads it once. The demo processes
        // started below inherit it.
        setenv("MESA_DEBUG", "1", 1);
        if (chdir(testgl::dataDir().c_str()) != 0) return;
        platform::DisplayOptions display;
        display.windowed = true;
        display.followWindow = true;
        display.glDebug = true;
        testing::internal::CaptureStderr();
        const int status = app.init(display);
        startErr = testing::internal::GetCapturedStderr();
        if (status != 0) return;
        platform::setOverlay(overlayAndReadBack, &app);
        app.timeGetTime = fakeClock;
        app.stats = &frameStats;
        musicFile = nullptr; // the silent clock
        app.precalc();
        started = true;
    }
    void TearDown() override {
        if (started) app.deinit();
    }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new StartNative);

using testsdl::pushKey;

// Handles everything waiting, then presents once more.
void settle() {
    for (int i = 0; i < 64 && SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0; ++i)
        app.turn();
    platform::present();
}

// The lines of `err` that report a GL error or a debug message.
std::string glComplaints(const std::string& err) {
    std::string found;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        const std::string line = err.substr(start, end - start);
        if (line.find("Mesa: User error") != std::string::npos || line.find("GL_INVALID") != std::string::npos ||
            line.find("GL debug error") != std::string::npos || line.find("GL debug message") != std::string::npos ||
            line.find("GL error") != std::string::npos)
            found += line + "\n";
        start = end + 1;
    }
    return found;
}

TEST(GlCheckTest, BothReportersCatchAGlErrorAtOnce) {
    ASSERT_TRUE(started) << startErr;
    EXPECT_NE(startErr.find(DEMO_PROGRAM_NAME ": GL debug output on (KHR_debug, synchronous)"), std::string::npos) << startErr;
    testing::internal::CaptureStderr();
    glEnable(0x1234);
    const std::string err = testing::internal::GetCapturedStderr();
    glGetError();
    EXPECT_NE(err.find("Mesa: User error: GL_INVALID_ENUM"), std::string::npos) << err;
    EXPECT_NE(err.find(DEMO_PROGRAM_NAME ": GL debug error (high"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
}

TEST(GlCheckTest, LiveAtTheWindowsSizeWithTheOsdAndTheDelayKeysRaisesNoGlError) {
    ASSERT_TRUE(started) << startErr;
    testing::internal::CaptureStderr();
    // Paused with both lines of the OSD, then a seek.
    pushKey(SDLK_SPACE);
    pushKey(SDLK_i);
    settle();
    pushKey(SDLK_RIGHT);
    settle();
    ASSERT_TRUE(app.paused);
    EXPECT_NEAR(demoMS, 5000, 1);

    // The window shrinks to 800 x 450: the frame follows, the 600 x 450
    // picture centred in it with bars, the OSD laid out on that picture.
    SDL_SetWindowSize(SDL_GL_GetCurrentWindow(), 800, 450);
    settle();
    app.run();
    settle();
    EXPECT_EQ(platform::frameWidth(), 800);
    EXPECT_EQ(platform::frameHeight(), 450);
    const platform::Rect picture = platform::pictureRect();
    EXPECT_EQ(picture.x, 100);
    EXPECT_EQ(picture.width, 600);
    EXPECT_EQ(picture.height, 450);
    std::vector<unsigned char> frame(800 * 450 * 3);
    platform::readFrame(frame.data());
    long litBars = 0, litPicture = 0;
    for (int y = 0; y < 450; ++y)
        for (int x = 0; x < 800; ++x) {
            const unsigned char* p = &frame[(static_cast<size_t>(y) * 800 + x) * 3];
            (x >= 100 && x < 700 ? litPicture : litBars) += p[0] || p[1] || p[2];
        }
    EXPECT_EQ(litBars, 0);
    EXPECT_GT(litPicture, 600 * 450 / 2);
    const platform::Presentation where = platform::presentation();
    EXPECT_EQ(where.windowWidth, 800);
    EXPECT_EQ(where.picture.x, 100);
    EXPECT_EQ(where.picture.w, 600);
    const osd::Layout l = osd::layoutFor(where.picture, demoMS, true);
    EXPECT_EQ(l.fontPx, osd::fontPixels(450));
    EXPECT_EQ(l.band.y + l.band.h, 450);
    // The presented window (read bottom-up) differs from the frame, which is
    // presented one to one, only inside the band.
    ASSERT_EQ(presented.size(), frame.size());
    long outside = 0, inside = 0;
    for (int y = 0; y < 450; ++y)
        for (int x = 0; x < 800; ++x) {
            const unsigned char* a = &presented[(static_cast<size_t>(449 - y) * 800 + x) * 3];
            const unsigned char* b = &frame[(static_cast<size_t>(y) * 800 + x) * 3];
            const bool differs = a[0] != b[0] || a[1] != b[1] || a[2] != b[2];
            (l.band.contains(x, y) ? inside : outside) += differs;
        }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, 1000);

    // Ctrl + + and Ctrl + - (main and keypad keys) step the audio delay by
    // 10 ms: the clock the picture reads moves with it, and the OSD says so.
    platform::soundSetDelayMs(0);
    const uint32_t before = platform::soundPositionMs();
    for (SDL_Keycode key : {SDLK_PLUS, SDLK_EQUALS, SDLK_KP_PLUS}) pushKey(key, true, KMOD_LCTRL);
    pushKey(SDLK_KP_MINUS, true, KMOD_RCTRL);
    pushKey(SDLK_PLUS); // without Ctrl: nothing
    settle();
    EXPECT_EQ(platform::soundDelayMs(), 20);
    EXPECT_EQ(platform::soundPositionMs(), before + 20);
    const osd::View* v = app.osd.view(where.picture, fakeNow, currentScene, demoMS, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_NE(std::string(v->place).find("   paused   audio delay +20 ms"), std::string::npos) << v->place;
    pushKey(SDLK_MINUS, true, KMOD_LCTRL);
    pushKey(SDLK_MINUS, true, KMOD_LCTRL);
    pushKey(SDLK_MINUS, true, KMOD_LCTRL);
    settle();
    EXPECT_EQ(platform::soundDelayMs(), -10);
    v = app.osd.view(where.picture, fakeNow, currentScene, demoMS, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_NE(std::string(v->place).find("audio delay -10 ms"), std::string::npos) << v->place;
    fakeNow += osd::kShowMs + osd::kFadeMs; // then the line is the place alone again (paused, it shows)
    settle();
    v = app.osd.view(where.picture, fakeNow, currentScene, demoMS, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v->place).find("audio delay"), std::string::npos) << v->place;
    // Held at its bounds.
    platform::soundSetDelayMs(995);
    pushKey(SDLK_PLUS, true, KMOD_LCTRL);
    settle();
    EXPECT_EQ(platform::soundDelayMs(), platform::kMaxAudioDelayMs);
    platform::soundSetDelayMs(0);

    // Playing on at the new size, through a scene cut, then a resize back.
    pushKey(SDLK_SPACE);
    pushKey(SDLK_PAGEDOWN);
    settle();
    for (int i = 0; i < 20; ++i, fakeNow += 50) app.turn();
    SDL_SetWindowSize(SDL_GL_GetCurrentWindow(), 1024, 768);
    for (int i = 0; i < 5; ++i, fakeNow += 50) app.turn();
    EXPECT_EQ(platform::frameWidth(), 1024);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(glComplaints(err), "") << err;
}

TEST(GlCheckTest, TheWholeTimelineHeadlessRaisesNoGlError) {
    const RunResult r = runDemo({"--benchmark", "--fps", "4", "--gl-debug"}, {}, 0, {{"MESA_DEBUG", "1"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("GL debug output on"), std::string::npos) << r.err;
    EXPECT_EQ(glComplaints(r.err), "") << r.err;
}

TEST(GlCheckTest, WithoutKhrDebugTheDebugModeFallsBackToGlGetError) {
    const std::string out = testgl::tmpDir() + "/gl-check-fallback.png";
    const RunResult r = runDemo({"--frame", "3000", "--out", out, "--gl-debug"}, {}, 0,
                                {{"MESA_EXTENSION_OVERRIDE", "-GL_KHR_debug"}});
    std::remove(out.c_str());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": this OpenGL has no KHR_debug; falling back to glGetError after each frame"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("GL error"), std::string::npos) << r.err;
}

} // namespace
