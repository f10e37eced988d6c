// The live controls through the real program: the demo started with its
// music on SDL's dummy audio driver, keys pushed into SDL's queue and
// handled by the main loop's turns, as a viewer's keys are.
#include "app/CApplication.h"
#include "app/DemoProcess.h"
#include "app/Live.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/Sound.h"
#include "platform/SoundClock.h"
#include "support/GLContext.h"
#include "support/SdlEvents.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>


namespace {

CApplication app;
bool started = false;

class StartLive : public ::testing::Environment {
public:
    void SetUp() override {
        if (!testgl::ensureContext()) return;
        if (chdir(testgl::dataDir().c_str()) != 0) return;
        musicFile = kTrackFile;
        app.precalc(); // starts the music at 0
        started = platform::soundHasTrack();
    }
    void TearDown() override { platform::soundStop(); }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new StartLive);

using testsdl::pushKey;


// The music runs in real time, so how far it got after a key depends on how
// long the turns took: bounds come from that measured time, not from a fixed
// number of ms (a busy machine only widens them). The clock may lead what
// is audible by up to its snap distance.
class Stopwatch {
public:
    Stopwatch() : start_(platform::monotonicMs()) {}
    double ms() const { return static_cast<double>(platform::monotonicMs() - start_); }

private:
    uint64_t start_;
};
constexpr double kLeadMs = platform::SoundClock::kSnapMs;

// Turns of the main loop for about `ms` of wall time.
void play(int ms) {
    const uint64_t end = platform::monotonicMs() + static_cast<uint64_t>(ms);
    while (platform::monotonicMs() < end && !done) app.turn();
}

class LiveControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!started) GTEST_SKIP() << "the demo did not start with its music";
        done = false;
        if (app.paused) app.setPaused(false);
    }
};

TEST_F(LiveControlsTest, PauseHoldsPictureAndMusicAndResumeGoesOnFromThere) {
    play(200);
    pushKey(SDLK_SPACE);
    app.turn();
    ASSERT_TRUE(app.paused);
    const float heldMs = demoMS;
    const uint32_t heldSound = platform::soundPositionMs();
    EXPECT_EQ(heldSound, static_cast<uint32_t>(heldMs)); // the music holds at the picture
    play(300);
    EXPECT_EQ(demoMS, heldMs);
    EXPECT_EQ(platform::soundPositionMs(), heldSound);
    pushKey(SDLK_SPACE);
    const Stopwatch resumed;
    app.turn(); // resumes
    app.turn(); // a frame
    EXPECT_FALSE(app.paused);
    EXPECT_GE(demoMS, heldMs);
    EXPECT_LE(demoMS, heldMs + resumed.ms() + kLeadMs);
}

TEST_F(LiveControlsTest, SeeksClampAtTheStartAndEndTheDemoPastItsEnd) {
    live::seek(app, 3000);
    pushKey(SDLK_LEFT); // 5 s back from 3 s: the start
    const Stopwatch back;
    app.turn();
    app.turn();
    EXPECT_LE(demoMS, back.ms() + kLeadMs);
    // The music went back to the start with the picture, not 5 s before 3 s
    // (which an unsigned position would wrap to near 2^32 ms).
    EXPECT_LE(platform::soundPositionMs(), static_cast<uint32_t>(back.ms() + kLeadMs));
    pushKey(SDLK_RIGHT);
    const Stopwatch forward;
    app.turn();
    app.turn();
    EXPECT_GE(demoMS, 5000);
    EXPECT_LE(demoMS, 5000 + forward.ms() + kLeadMs);
    live::seek(app, 197000);
    pushKey(SDLK_RIGHT); // 202 s: past the end
    app.turn();
    EXPECT_TRUE(done);
}

TEST_F(LiveControlsTest, SceneJumpsLandOnTheFirstFrameOfTheNextAndPreviousScene) {
    live::seek(app, 16000); // in the checkerboard (14800 - 29600)
    app.turn();
    pushKey(SDLK_PAGEDOWN);
    Stopwatch jump;
    app.turn();
    app.turn();
    EXPECT_GE(demoMS, 29600);
    EXPECT_LE(demoMS, 29600 + jump.ms() + kLeadMs);
    EXPECT_EQ(currentScene, 3); // Scene 4 opens at 29600
    pushKey(SDLK_UP); // Up is Page Up: the scene before the one playing
    jump = Stopwatch();
    app.turn();
    app.turn();
    EXPECT_GE(demoMS, 14800);
    EXPECT_LE(demoMS, 14800 + jump.ms() + kLeadMs);
    EXPECT_EQ(currentScene, 0);
    pushKey(SDLK_HOME);
    jump = Stopwatch();
    app.turn();
    app.turn();
    EXPECT_LE(demoMS, jump.ms() + kLeadMs);
    EXPECT_EQ(currentScene, 1);
}

// A burst of seek keys (a held arrow repeats, with key releases between)
// becomes one seek to where they add up, handled in one turn.
TEST_F(LiveControlsTest, SeekKeysWaitingInTheQueueBecomeOneSeek) {
    live::seek(app, 20000);
    for (int i = 0; i < 5; ++i) {
        pushKey(SDLK_RIGHT);
        pushKey(SDLK_RIGHT, false);
    }
    pushKey(SDLK_LEFT);
    pushKey(SDLK_PAGEDOWN); // from 40 s (Scene 4): Scene 6 at 44700
    const Stopwatch burst;
    app.turn(); // the whole burst
    platform::Event left;
    EXPECT_FALSE(platform::pollEvent(&left)) << "events left in the queue";
    app.turn(); // a frame
    EXPECT_GE(demoMS, 44700);
    EXPECT_LE(demoMS, 44700 + burst.ms() + kLeadMs);
    EXPECT_EQ(currentScene, 5);
}

// Escape behind a burst of seeks ends the demo before any catch-up is played.
TEST_F(LiveControlsTest, EscapeBehindSeeksEndsTheDemoWithoutSeeking) {
    live::seek(app, 20000);
    app.turn();
    const float before = demoMS;
    for (int i = 0; i < 20; ++i) pushKey(SDLK_RIGHT);
    pushKey(SDLK_ESCAPE);
    app.turn();
    EXPECT_TRUE(done);
    EXPECT_EQ(demoMS, before); // no seek was played
    for (platform::Event left; platform::pollEvent(&left);) {
    }
}

// The picture the executable writes at `ms` (a still, or for a moment off
// whole milliseconds a frame of a PNG capture on the same grid), as RGB bytes.
std::vector<unsigned char> stillAt(double ms) {
    const std::string dir = testgl::tmpDir() + "/live-still";
    std::filesystem::remove_all(dir);
    const long grid = std::lround(ms * kStillFps / 1000.0);
    const bool whole = std::fabs(ms - std::round(ms)) < 1e-6;
    const std::string out = whole ? dir + ".png" : dir + "/" + std::to_string(grid) + ".png";
    const RunResult r = whole
                            ? runDemo({"--frame", std::to_string(std::lround(ms)), "--silent", "--out", out})
                            : runDemo({"--capture", dir + "/%d.png", "--fps", "30", "--from",
                                       std::to_string(static_cast<long>(ms)), "--to",
                                       std::to_string(static_cast<long>(ms) + 1), "--silent"});
    EXPECT_EQ(r.status, 0) << r.err;
    return decodePng(out);
}

// A seek shows at once exactly the still at its moment, deep into every
// scene longer than 8 s (2 s before its end, 5 s before, and half-way), and
// at the last frame of the 30 fps grid before the end: every moving state,
// the rand() sequence and the GL state the scenes before leave behind are
// replayed, whatever was played before. Exactly but for one effect of Mesa's
// that the live frames played before (as many as the wall clock allowed)
// bring in: it gathers glBegin/glEnd vertices in one buffer filled across
// frames, and where a long strip is split depends on every vertex sent
// before, so llvmpipe may round a few edge pixels of a moment differently
// (168 pixels of one moment in a slow sanitizer run). A piece of state not
// replayed changes far more of the picture, and most moments stay exact.
TEST_F(LiveControlsTest, ASeekShowsTheStillAtItsMomentDeepInEveryScene) {
    std::vector<double> moments;
    for (int i = 0; i < kSceneCount; ++i) {
        const double start = stretchStartMs(i), end = stretchEndMs(i);
        if (end - start <= 8000)
            continue;
        for (double ms : {end - 2000, end - 5000, std::round((start + end) / 200) * 100})
            moments.push_back(ms);
    }
    moments.push_back(5999 * 1000.0 / kStillFps);
    live::seek(app, 27000); // something played before: every moving state restarts
    play(100);
    std::vector<unsigned char> frame(1024 * 768 * 3);
    size_t exact = 0;
    for (double ms : moments) {
        live::seek(app, ms, true);
        platform::readFrame(frame.data());
        const std::vector<unsigned char> still = stillAt(ms);
        ASSERT_EQ(frame.size(), still.size());
        long differing = 0;
        for (size_t i = 0; i < frame.size(); i += 3)
            differing += frame[i] != still[i] || frame[i + 1] != still[i + 1] || frame[i + 2] != still[i + 2];
        EXPECT_LT(differing, 400) << "at " << ms << " ms"; // 0.05 % of the picture
        exact += differing == 0;
    }
    EXPECT_GE(exact, moments.size() * 3 / 4);
}

// '.' and ',' step along the 30 fps grid of the stills, pausing if the demo
// plays: each picture is exactly the still there, forth and back.
TEST_F(LiveControlsTest, FrameStepsShowTheStillsOfTheGridAndPause) {
    play(100);
    pushKey(SDLK_PERIOD);
    app.turn();
    EXPECT_TRUE(app.paused);
    app.seekAndShow(7000);
    std::vector<unsigned char> frame(1024 * 768 * 3);
    auto differing = [&](double ms) {
        platform::readFrame(frame.data());
        const std::vector<unsigned char> still = stillAt(ms);
        long n = 0;
        for (size_t i = 0; i + 2 < std::min(frame.size(), still.size()); i += 3)
            n += frame[i] != still[i] || frame[i + 1] != still[i + 1] || frame[i + 2] != still[i + 2];
        return frame.size() == still.size() ? n : -1;
    };
    for (int i = 0; i < 3; ++i) {
        pushKey(SDLK_PERIOD);
        app.turn();
    }
    EXPECT_NEAR(demoMS, 7100, 0.01);
    EXPECT_EQ(differing(7100), 0);
    pushKey(SDLK_COMMA);
    app.turn();
    EXPECT_NEAR(demoMS, 7066.667, 0.01);
    EXPECT_EQ(differing(7066 + 2.0 / 3), 0);
    for (int i = 0; i < 2; ++i) {
        pushKey(SDLK_COMMA);
        app.turn();
    }
    EXPECT_NEAR(demoMS, 7000, 0.01);
    EXPECT_EQ(differing(7000), 0);
    EXPECT_TRUE(app.paused);
}

TEST(LiveProgramTest, PlaysFromAndToAGivenTimeAndReportsFrameRatesPerScene) {
    const RunResult r = runDemo({"--window", "--from", "14000", "--to", "15500", "--stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Scene 2 until 14800, then Scene 1: a line for each, no other scene,
    // each with the part of its stretch that played (Scene 1's up to where
    // its last counted frame ended, by 15500).
    EXPECT_NE(r.err.find("mean fps"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n    2   14000 -  14800"), std::string::npos) << r.err;
    const size_t one = r.err.find("\n    1   14800 -  15");
    ASSERT_NE(one, std::string::npos) << r.err;
    EXPECT_LE(std::stoi(r.err.substr(one + 18, 6)), 15500) << r.err;
    EXPECT_EQ(r.err.find("\n    4   29600"), std::string::npos) << r.err;
}

} // namespace
