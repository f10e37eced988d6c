// The sound layer as the demo uses it, playing real MP3 files through SDL's
// dummy audio driver in real time (the tests' environment sets
// SDL_AUDIODRIVER=dummy): the position's rate, smoothness and life after the
// track's end, the spectrum of what is playing at that position, the
// fallbacks for unplayable files, and stopping.
#include "platform/Sound.h"
#include "platform/SoundFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

using namespace platform;

namespace {

double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

float loudest(const float* bands) { return *std::max_element(bands, bands + kSpectrumBands); }

// One demo frame, as CApplication::run reads the sound.
struct Frame {
    double wall;
    uint32_t pos;
    float bands[kSpectrumBands];
};
Frame frame(double startWall) {
    Frame f;
    soundUpdate();
    soundSpectrum(f.bands);
    f.pos = soundPositionMs();
    f.wall = wallMs() - startWall;
    return f;
}

class SoundPlayback : public ::testing::Test {
protected:
    void TearDown() override { soundStop(); }
};

} // namespace

TEST_F(SoundPlayback, PositionRunsInRealTimeSmoothlyAndOnPastTheTracksEnd) {
    const std::string& track = fixtures::onsetTrack(); // 1 s silence, 1 s tone
    testing::internal::CaptureStderr();
    const double start = wallMs();
    soundStart(track.c_str());
    std::vector<Frame> frames;
    while (wallMs() - start < 2700.0) {
        frames.push_back(frame(start));
        sleepMs(4);
    }
    const std::vector<std::string> lines = linesOf(testing::internal::GetCapturedStderr());

    const SoundStatus status = soundStatus();
    EXPECT_TRUE(soundHasTrack());
    EXPECT_EQ(status.driver, "dummy");
    EXPECT_EQ(status.rate, fixtures::kRate);
    EXPECT_EQ(status.channels, 2);
    EXPECT_GE(status.firstCallbackMs, 0.0);
    EXPECT_LT(status.firstCallbackMs, 50.0) << "first sound later than 50 ms after the play call";
    EXPECT_TRUE(status.trackEnded);
    EXPECT_EQ(status.framesDecoded, fixtures::kOnsetFrames);
    EXPECT_GT(status.framesHanded, status.framesDecoded) << "silence after the end is played too";
    // One line says it plays silently, one that the track ended; nothing else.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("dummy"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("ended"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(track), std::string::npos) << lines[1];

    // Never backwards; each frame advances by about the time that passed
    // (the dummy driver's periods are 23 ms: no such steps). Frames for which
    // this thread slept much longer than asked (a busy machine) say nothing.
    for (size_t i = 1; i < frames.size(); ++i) {
        ASSERT_GE(frames[i].pos, frames[i - 1].pos) << "backwards at " << frames[i].wall << " ms";
        if (frames[i].wall > 100.0 && frames[i].wall - frames[i - 1].wall < 15.0) {
            EXPECT_NEAR(double(frames[i].pos) - frames[i - 1].pos, frames[i].wall - frames[i - 1].wall, 10.0)
                << "a step at " << frames[i].wall << " ms";
        }
    }
    // Real-time rate within 5 %, during the track and after its end.
    auto rateBetween = [&](double from, double to) {
        const Frame* a = nullptr;
        const Frame* b = nullptr;
        for (const Frame& f : frames) {
            if (!a && f.wall >= from) a = &f;
            if (f.wall <= to) b = &f;
        }
        return (double(b->pos) - a->pos) / (b->wall - a->wall);
    };
    const double rate = rateBetween(200.0, 1900.0);
    EXPECT_NEAR(rate, 1.0, 0.05);
    EXPECT_NEAR(rateBetween(2150.0, 2700.0), 1.0, 0.05);
    // The dummy driver starts playing with its first callback and then plays
    // at its own pace (a little slower than the wall clock when the machine
    // is busy, as under sanitizers): what it has played at wall time t is
    // rate * (t - first callback). The position keeps within 30 ms of that.
    for (const Frame& f : frames) {
        if (f.wall > status.firstCallbackMs + 20.0) {
            EXPECT_NEAR(double(f.pos), rate * (f.wall - status.firstCallbackMs), 30.0) << "off what is audible";
        }
    }
    EXPECT_GT(frames.back().pos, 2500u) << "the position stopped at the track's end";

    // The spectrum is that of the sound at the position: silence, then the
    // tone at full scale in its band from 1000 ms, then silence after 2000 ms.
    const int tone = fixtures::kToneBand;
    const Frame* onset = nullptr;
    for (const Frame& f : frames) {
        if (f.pos < 980) {
            EXPECT_LT(loudest(f.bands), 0.01f) << "at " << f.pos << " ms";
        }
        if (f.pos > 1010 && f.pos < 1990) {
            EXPECT_NEAR(f.bands[tone], 1.0f, 0.05f) << "at " << f.pos << " ms";
            EXPECT_LT(std::max(f.bands[tone - 1], f.bands[tone + 1]), 0.05f) << "at " << f.pos << " ms";
        }
        if (f.pos > 2020) {
            EXPECT_LT(loudest(f.bands), 0.01f) << "at " << f.pos << " ms";
        }
        if (!onset && f.bands[tone] > 0.5f) onset = &f;
    }
    ASSERT_NE(onset, nullptr);
    EXPECT_NEAR(onset->pos, 1000.0, 15.0) << "spectrum and position disagree";
}

TEST_F(SoundPlayback, SpectrumOfAMonoTrackAtItsOwnRateAndOfSilence) {
    soundStart(fixtures::monoTrack().c_str()); // band 20 at 32 kHz
    sleepMs(400);
    float bands[kSpectrumBands];
    soundSpectrum(bands);
    EXPECT_EQ(soundStatus().rate, 32000);
    EXPECT_EQ(soundStatus().channels, 1);
    EXPECT_NEAR(bands[20], 1.0f, 0.05f);
    bands[20] = 0.0f;
    EXPECT_LT(loudest(bands), 0.05f);

    soundStart(fixtures::silentTrack().c_str());
    EXPECT_TRUE(soundHasTrack());
    for (int i = 0; i < 8; ++i) {
        sleepMs(50);
        soundSpectrum(bands);
        EXPECT_LT(loudest(bands), 0.005f);
    }
}

TEST_F(SoundPlayback, UnplayableTracksFallBackToTheSilentClockWithOneLine) {
    const std::string missing = fixtures::writeFile("sound_absent.mp3", "") + ".not-there";
    const std::string garbage =
        fixtures::writeFile("sound_garbage.mp3", std::string(5000, '#') + " no MPEG audio in here\n");
    const std::string empty = fixtures::writeFile("sound_empty.mp3", "");
    for (const std::string& path : {missing, garbage, empty}) {
        testing::internal::CaptureStderr();
        soundStart(path.c_str());
        const std::vector<std::string> lines = linesOf(testing::internal::GetCapturedStderr());
        EXPECT_FALSE(soundHasTrack()) << path;
        ASSERT_EQ(lines.size(), 1u) << path;
        EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
        // The clock runs in real time; the spectrum is all zeros.
        const uint32_t first = soundPositionMs();
        sleepMs(60);
        soundUpdate();
        const uint32_t later = soundPositionMs();
        EXPECT_GE(later - first, 50u) << path;
        EXPECT_LT(later - first, 200u) << path;
        float bands[kSpectrumBands];
        std::fill(bands, bands + kSpectrumBands, 9.0f);
        soundSpectrum(bands);
        EXPECT_EQ(loudest(bands), 0.0f);
        soundStop();
    }
    // No track asked for (--silent): the same clock, without a word.
    testing::internal::CaptureStderr();
    soundStart(nullptr);
    sleepMs(30);
    EXPECT_GE(soundPositionMs(), 25u);
    EXPECT_FALSE(soundHasTrack());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(SoundPlayback, TruncatedAndDamagedTracksPlayWhatTheyHoldAndGoOn) {
    // The first 30 % of the file: its silence part, cut inside a frame.
    const std::string truncated = fixtures::truncatedCopy(fixtures::onsetTrack(), "sound_truncated.mp3", 0.3);
    soundStart(truncated.c_str());
    ASSERT_TRUE(soundHasTrack());
    const double start = wallMs();
    uint32_t previous = 0;
    while (wallMs() - start < 1000.0) {
        soundUpdate();
        const uint32_t pos = soundPositionMs();
        ASSERT_GE(pos, previous);
        previous = pos;
        sleepMs(10);
    }
    const SoundStatus status = soundStatus();
    EXPECT_TRUE(status.trackEnded);
    EXPECT_GT(status.framesDecoded, 0.2 * fixtures::kOnsetFrames);
    EXPECT_LT(status.framesDecoded, 0.4 * fixtures::kOnsetFrames);
    EXPECT_GT(previous, 850u) << "the clock stopped with the track";

    const std::string damaged = fixtures::damagedCopy(fixtures::onsetTrack(), "sound_damaged.mp3");
    soundStart(damaged.c_str());
    ASSERT_TRUE(soundHasTrack());
    sleepMs(300);
    soundUpdate();
    EXPECT_GT(soundPositionMs(), 200u);
}

TEST_F(SoundPlayback, StopFreezesThePositionAndReleasesEverything) {
    soundStart(fixtures::onsetTrack().c_str());
    sleepMs(150);
    soundStop();
    const uint32_t stopped = soundPositionMs();
    EXPECT_GT(stopped, 100u);
    EXPECT_FALSE(soundHasTrack());
    EXPECT_EQ(soundStatus().driver, "");
    sleepMs(50);
    EXPECT_EQ(soundPositionMs(), stopped);
    float bands[kSpectrumBands];
    soundSpectrum(bands);
    EXPECT_EQ(loudest(bands), 0.0f);
    soundUpdate();
    soundStop(); // twice: harmless

    // A new start plays from 0 ms again, on a freshly opened device.
    soundStart(fixtures::onsetTrack().c_str());
    EXPECT_TRUE(soundHasTrack());
    EXPECT_LT(soundPositionMs(), 50u);
    sleepMs(100);
    EXPECT_GT(soundPositionMs(), 50u);
}

// Seeking lands the position exactly on the new place, forwards and back, and
// the spectrum follows what is played from there (the onset track's tone
// starts at 1000 ms).
TEST_F(SoundPlayback, SeekPlaysOnFromTheNewPlaceWithItsSpectrum) {
    soundStart(fixtures::onsetTrack().c_str());
    sleepMs(100);
    soundSeek(1500);
    const uint32_t landed = soundPositionMs();
    EXPECT_GE(landed, 1500u);
    EXPECT_LT(landed, 1520u);
    sleepMs(150);
    soundUpdate();
    const uint32_t later = soundPositionMs();
    EXPECT_GE(later, 1500u + 100);
    EXPECT_LT(later, 1500u + 230);
    float bands[kSpectrumBands];
    soundSpectrum(bands);
    EXPECT_GT(bands[fixtures::kToneBand], 0.5f) << "the tone plays after a seek into it";

    soundSeek(200); // back into the silence
    EXPECT_LT(soundPositionMs(), 220u);
    sleepMs(150);
    soundSpectrum(bands);
    EXPECT_LT(loudest(bands), 0.01f);
    EXPECT_GE(soundPositionMs(), 300u);

    soundSeek(5000); // past the end: silence, the clock runs on
    sleepMs(100);
    EXPECT_GE(soundPositionMs(), 5050u);
    soundSpectrum(bands);
    EXPECT_EQ(loudest(bands), 0.0f);
}

// Pause holds the position still; resuming goes on from exactly there, on
// the track and on the silent clock alike.
TEST_F(SoundPlayback, PauseHoldsThePositionAndResumeGoesOnFromIt) {
    for (const char* track : {fixtures::onsetTrack().c_str(), static_cast<const char*>(nullptr)}) {
        soundStart(track);
        sleepMs(200);
        soundPause(true);
        EXPECT_TRUE(soundPaused());
        const uint32_t held = soundPositionMs();
        EXPECT_GT(held, 150u);
        sleepMs(200);
        EXPECT_EQ(soundPositionMs(), held);
        soundSeek(800); // a seek while paused moves the held place
        EXPECT_EQ(soundPositionMs(), 800u);
        soundPause(false);
        EXPECT_FALSE(soundPaused());
        EXPECT_GE(soundPositionMs(), 800u);
        sleepMs(150);
        const uint32_t resumed = soundPositionMs();
        EXPECT_GE(resumed, 800u + 100);
        EXPECT_LT(resumed, 800u + 230);
        soundStop();
    }
}
