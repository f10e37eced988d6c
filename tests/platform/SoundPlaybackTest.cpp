// The sound layer as the demo uses it, playing real MP3 files through SDL's
// dummy audio driver in real time (the tests' environment sets
// SDL_AUDIODRIVER=dummy): the position following what the device plays and
// running on after the track's end, the spectrum of what is playing at that
// position, the fallbacks for unplayable files, seeking, pausing and
// stopping. Bounds come from the frames handed to the device or from time
// measured around the calls, never from a fixed number of ms, so that a busy
// machine cannot fail them (the smoothing itself is tested against an
// injected clock in SoundClockTest).
#include "platform/Sound.h"
#include "platform/SoundClock.h"
#include "platform/SoundFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

using namespace platform;

namespace {

// Milliseconds on the monotonic clock, for the silent clock (which runs on
// it) and for guards against a run that never gets anywhere.
double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Waits until `reached` holds, polling as a demo frame would; false after a
// minute (only a broken sound layer takes that long: a busy machine may
// starve the audio thread for a while, never for ever).
template <class Condition>
bool waitUntil(Condition reached) {
    const double giveUp = wallMs() + 60000.0;
    while (!reached()) {
        if (wallMs() > giveUp) return false;
        soundUpdate();
        sleepMs(4);
    }
    return true;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

float loudest(const float* bands) { return *std::max_element(bands, bands + kSpectrumBands); }

// One demo frame, as CApplication::run reads the sound, between two readings
// of the frames handed to the device; the spectrum is of a position between
// posBefore and pos.
struct Frame {
    int64_t handedBefore, handedAfter;
    uint32_t posBefore, pos;
    float bands[kSpectrumBands];
};
Frame frame() {
    Frame f;
    f.handedBefore = soundStatus().framesHanded;
    soundUpdate();
    f.posBefore = soundPositionMs();
    soundSpectrum(f.bands);
    f.pos = soundPositionMs();
    f.handedAfter = soundStatus().framesHanded;
    return f;
}

// The position follows what the device plays, whatever the machine's load:
// never past what has been handed to it, never further behind than what is
// still queued in it; the clock may lead or lag that by its snap distance.
// Frame counts, not the wall clock, make the bounds.
void expectFollowsTheDevice(const Frame& f, const SoundStatus& s) {
    const double msPerFrame = 1000.0 / s.rate;
    const double queuedMs = static_cast<double>(s.queuedPeriods) * s.periodFrames * msPerFrame;
    const double lead = SoundClock::kSnapMs + 1.0; // and a ms of rounding
    EXPECT_LE(f.pos, f.handedAfter * msPerFrame + lead) << "ahead of what the device was given";
    EXPECT_GE(f.pos, f.handedBefore * msPerFrame - queuedMs - lead) << "behind what is audible";
}

class SoundPlayback : public ::testing::Test {
protected:
    void TearDown() override { soundStop(); }
};

} // namespace

TEST_F(SoundPlayback, PositionFollowsThePlayedAudioAndRunsOnPastTheTracksEnd) {
    const std::string& track = fixtures::onsetTrack(); // 1 s silence, 1 s tone
    testing::internal::CaptureStderr();
    soundStart(track.c_str());
    std::vector<Frame> frames;
    const double giveUp = wallMs() + 60000.0;
    while ((frames.empty() || frames.back().pos < 2700) && wallMs() < giveUp) {
        frames.push_back(frame());
        sleepMs(4);
    }
    const std::vector<std::string> lines = linesOf(testing::internal::GetCapturedStderr());
    ASSERT_GE(frames.back().pos, 2700u) << "the position stopped at " << frames.back().pos << " ms";

    const SoundStatus status = soundStatus();
    EXPECT_TRUE(soundHasTrack());
    EXPECT_EQ(status.driver, "dummy");
    EXPECT_EQ(status.rate, fixtures::kRate);
    EXPECT_EQ(status.channels, 2);
    EXPECT_GE(status.firstCallbackMs, 0.0);
    EXPECT_GE(status.queuedPeriods, 1);
    EXPECT_TRUE(status.trackEnded);
    EXPECT_EQ(status.framesDecoded, fixtures::kOnsetFrames);
    EXPECT_GT(status.framesHanded, status.framesDecoded) << "silence after the end is played too";
    // One line says it plays silently, one that the track ended; nothing else.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("dummy"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("ended"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(track), std::string::npos) << lines[1];

    // Never backwards, and always with what the device plays: during the
    // track and after its end alike.
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i > 0) {
            ASSERT_GE(frames[i].posBefore, frames[i - 1].pos) << "backwards at frame " << i;
        }
        expectFollowsTheDevice(frames[i], status);
    }

    // The spectrum is that of the sound at the position: silence, then the
    // tone at full scale in its band from 1000 ms, then silence after 2000 ms.
    const int tone = fixtures::kToneBand;
    const Frame* onset = nullptr;
    for (const Frame& f : frames) {
        if (f.pos < 980) {
            EXPECT_LT(loudest(f.bands), 0.01f) << "at " << f.pos << " ms";
        }
        if (f.posBefore > 1010 && f.pos < 1990) {
            EXPECT_NEAR(f.bands[tone], 1.0f, 0.05f) << "at " << f.pos << " ms";
            EXPECT_LT(std::max(f.bands[tone - 1], f.bands[tone + 1]), 0.05f) << "at " << f.pos << " ms";
        }
        if (f.posBefore > 2020) {
            EXPECT_LT(loudest(f.bands), 0.01f) << "at " << f.pos << " ms";
        }
        if (!onset && f.bands[tone] > 0.5f) onset = &f;
    }
    ASSERT_NE(onset, nullptr);
    EXPECT_LE(onset->posBefore, 1015u) << "spectrum and position disagree";
    EXPECT_GE(onset->pos, 985u) << "spectrum and position disagree";
}

TEST_F(SoundPlayback, SpectrumOfAMonoTrackAtItsOwnRateAndOfSilence) {
    soundStart(fixtures::monoTrack().c_str()); // band 20 at 32 kHz
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 300; }));
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
        // The clock runs on the monotonic clock; the spectrum is all zeros.
        const double before = wallMs();
        const uint32_t first = soundPositionMs();
        sleepMs(60);
        soundUpdate();
        const uint32_t later = soundPositionMs();
        const double elapsed = wallMs() - before;
        EXPECT_GE(later - first, 59u) << path;
        EXPECT_LE(later - first, elapsed + 1.0) << path;
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
    uint32_t previous = 0;
    ASSERT_TRUE(waitUntil([&] {
        const uint32_t pos = soundPositionMs();
        EXPECT_GE(pos, previous);
        previous = pos;
        return soundStatus().trackEnded && pos > 850;
    })) << "the clock stopped with the track at " << previous << " ms";
    const SoundStatus status = soundStatus();
    EXPECT_TRUE(status.trackEnded);
    EXPECT_GT(status.framesDecoded, 0.2 * fixtures::kOnsetFrames);
    EXPECT_LT(status.framesDecoded, 0.4 * fixtures::kOnsetFrames);

    const std::string damaged = fixtures::damagedCopy(fixtures::onsetTrack(), "sound_damaged.mp3");
    soundStart(damaged.c_str());
    ASSERT_TRUE(soundHasTrack());
    EXPECT_TRUE(waitUntil([] { return soundPositionMs() > 200u; }));
}

TEST_F(SoundPlayback, StopFreezesThePositionAndReleasesEverything) {
    soundStart(fixtures::onsetTrack().c_str());
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() > 100u; }));
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
    const Frame first = frame();
    expectFollowsTheDevice(first, soundStatus());
    EXPECT_TRUE(waitUntil([] { return soundPositionMs() > 50u; }));
}

// Seeking lands the position exactly on the new place, forwards and back, and
// the spectrum follows what is played from there (the onset track's tone
// starts at 1000 ms). What the device still holds plays out as the new
// place's start, so a position read right after a seek is within that much
// of it.
TEST_F(SoundPlayback, SeekPlaysOnFromTheNewPlaceWithItsSpectrum) {
    soundStart(fixtures::onsetTrack().c_str());
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() > 100u; }));
    const SoundStatus s = soundStatus();
    const double queuedMs = 1000.0 * s.queuedPeriods * s.periodFrames / s.rate;
    soundSeek(1500);
    const uint32_t landed = soundPositionMs();
    EXPECT_GE(landed, 1500u);
    EXPECT_LE(landed, 1500 + queuedMs + 1);
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 1650u; }));
    expectFollowsTheDevice(frame(), s);
    float bands[kSpectrumBands];
    soundSpectrum(bands);
    EXPECT_GT(bands[fixtures::kToneBand], 0.5f) << "the tone plays after a seek into it";

    soundSeek(200); // back into the silence
    const uint32_t back = soundPositionMs();
    EXPECT_GE(back, 200u);
    EXPECT_LE(back, 200 + queuedMs + 1);
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 300u; }));
    soundSpectrum(bands);
    EXPECT_LT(loudest(bands), 0.01f);

    soundSeek(5000); // past the end: silence, the clock runs on
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 5050u; }));
    soundSpectrum(bands);
    EXPECT_EQ(loudest(bands), 0.0f);
}

// Pause holds the position still; resuming goes on from exactly there, on
// the track and on the silent clock alike.
TEST_F(SoundPlayback, PauseHoldsThePositionAndResumeGoesOnFromIt) {
    for (const char* track : {fixtures::onsetTrack().c_str(), static_cast<const char*>(nullptr)}) {
        soundStart(track);
        ASSERT_TRUE(waitUntil([] { return soundPositionMs() > 150u; }));
        soundPause(true);
        EXPECT_TRUE(soundPaused());
        const uint32_t held = soundPositionMs();
        EXPECT_GT(held, 150u);
        sleepMs(200);
        EXPECT_EQ(soundPositionMs(), held);
        soundSeek(800); // a seek while paused moves the held place
        EXPECT_EQ(soundPositionMs(), 800u);
        const double before = wallMs();
        soundPause(false);
        EXPECT_FALSE(soundPaused());
        const uint32_t resumed = soundPositionMs();
        const double elapsed = wallMs() - before;
        EXPECT_GE(resumed, 800u);
        // The track: at most what the device still holds ahead; the silent
        // clock: the time that passed.
        const SoundStatus s = soundStatus();
        const double ahead = track ? 1000.0 * s.queuedPeriods * s.periodFrames / s.rate : elapsed;
        EXPECT_LE(resumed, 800 + ahead + 1);
        ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 900u; }));
        soundStop();
    }
}

// The volume scales what the device is given, and muted it is given silence,
// while the position runs on and the spectrum still shows what plays (the
// picture follows it). SDL's disk driver writes what it is given into a
// file; what was written between two settings is read back from it (a
// period or two either side of each change may still be the old one).
TEST_F(SoundPlayback, VolumeScalesWhatIsPlayedAndMuteSilencesItWhileThePositionRunsOn) {
    const std::string written = fixtures::writeFile("disk-audio.raw", "");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", written.c_str(), 1);
    soundStart(fixtures::onsetTrack().c_str());
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const SoundStatus s = soundStatus();
    ASSERT_EQ(s.driver, "disk");
    const auto bytesWritten = [&] { return static_cast<long>(fixtures::readFile(written).size()); };
    const long frameBytes = 4L * s.channels, margin = 2L * s.periodFrames * frameBytes;
    soundSeek(1000); // the tone, at full scale
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 1150u; }));
    const long full = bytesWritten();
    soundSetGain(0.125f);
    ASSERT_TRUE(waitUntil([] { return soundPositionMs() >= 1350u; }));
    const long half = bytesWritten();
    soundSetGain(0.0f);
    const uint32_t mutedAt = soundPositionMs();
    ASSERT_TRUE(waitUntil([&] { return soundPositionMs() >= mutedAt + 200u; })) << "muted, the position runs on";
    float bands[kSpectrumBands];
    soundSpectrum(bands);
    EXPECT_GT(bands[fixtures::kToneBand], 0.5f) << "muted, the spectrum is of what plays";
    const long muted = bytesWritten();
    soundSetGain(1.0f);
    ASSERT_TRUE(waitUntil([&] { return bytesWritten() >= muted + 2 * margin; }));
    soundStop();

    const std::string pcm = fixtures::readFile(written);
    const auto peak = [&](long from, long to) {
        float most = 0;
        for (long at = from; at + 4 <= to; at += 4) {
            float v;
            std::memcpy(&v, pcm.data() + at, 4);
            most = std::max(most, std::fabs(v));
        }
        return most;
    };
    ASSERT_GT(half - full, 2 * margin);
    ASSERT_GT(muted - half, 2 * margin);
    EXPECT_GT(peak(full - margin, full), 0.9f);
    EXPECT_NEAR(peak(full + margin, half), 0.125f, 0.02f);
    EXPECT_EQ(peak(half + margin, muted), 0.0f);
    EXPECT_GT(peak(muted + margin, static_cast<long>(pcm.size())), 0.9f);
}
