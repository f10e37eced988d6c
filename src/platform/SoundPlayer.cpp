// SoundPlayer: the SDL device, the audio callback that decodes into it, and
// the position and spectrum read from what the callback handed over. Threads
// and sharing are described in SoundPlayer.h.
#include "platform/SoundPlayer.h"

#include "platform/Platform.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

namespace platform {
namespace {

int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t threadCpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Smallest power of two of at least `ms` milliseconds at `rate`.
int periodFor(int rate, double ms) {
    int frames = 64;
    while (frames < rate * ms / 1000.0) frames *= 2;
    return frames;
}

// ALSA reports a machine without a sound card with a screenful of its own
// lines while SDL probes for a device. Our one line already says why there is
// no sound, so ALSA's printouts are muted for the probe and restored after.
// (libasound is loaded the way SDL loads it; absent, there is nothing to mute.)
class AlsaQuiet {
public:
    AlsaQuiet() {
        lib_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (lib_) setHandler_ = reinterpret_cast<SetHandler>(dlsym(lib_, "snd_lib_error_set_handler"));
        if (setHandler_) setHandler_(&mute);
    }
    ~AlsaQuiet() {
        if (setHandler_) setHandler_(nullptr); // ALSA's default handler again
        if (lib_) dlclose(lib_);
    }
    AlsaQuiet(const AlsaQuiet&) = delete;
    AlsaQuiet& operator=(const AlsaQuiet&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void mute(const char*, int, const char*, int, const char*, ...) {}
    void* lib_ = nullptr;
    SetHandler setHandler_ = nullptr;
};

} // namespace

bool SoundPlayer::start(const char* path) {
    startNs_ = steadyNs();
    // Named in messages with its folder (the data folder in use).
    path_ = path ? absolutePath(path) : "";
    std::string error;
    if (!reader_.open(path, &error)) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s; the demo runs silently on the clock\n", error.c_str());
        return false;
    }
    rate_ = reader_.rate();
    channels_ = reader_.channels();
    if (!openDevice()) {
        reader_.close();
        return false;
    }
    // The ring must reach back from the newest frame handed over past
    // everything still queued, the clock's largest lead (SoundClock::kSnapMs)
    // and one window; twice that, rounded to a power of two, for slack.
    const double need = (queuedPeriods_ + 1.0) * periodFrames_ + kSpectrumWindow +
                        rate_ * SoundClock::kSnapMs / 1000.0;
    size_t size = 1024;
    while (size < 2 * need) size *= 2;
    mono_.assign(static_cast<size_t>(std::max(periodFrames_, 256)), 0.0f);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        history_.assign(size, 0.0f);
    }
    SDL_PauseAudioDevice(device_, 0); // the first callback follows at once
    return true;
}

bool SoundPlayer::openDevice() {
    // Only when SDL may probe ALSA (no driver named, or ALSA named).
    const char* named = SDL_GetHint(SDL_HINT_AUDIODRIVER);
    std::optional<AlsaQuiet> quiet;
    if (!named || !*named || std::strstr(named, "alsa")) quiet.emplace();
    std::string why;
    if (tryOpenDevice(&why)) {
        if (driver_ == "dummy")
            std::fprintf(stderr, DEMO_PROGRAM_NAME ": SDL's dummy audio driver: \"%s\" plays silently\n", path_.c_str());
        return true;
    }
    // No device: the dummy driver plays in real time and silently.
    SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
    std::string dummyWhy;
    const bool ok = tryOpenDevice(&dummyWhy);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (ok) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": no audio device (%s); \"%s\" plays silently on SDL's dummy driver\n",
                     why.c_str(), path_.c_str());
        return true;
    }
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": no audio device (%s; dummy driver: %s); the demo runs silently on the clock\n",
                 why.c_str(), dummyWhy.c_str());
    return false;
}

bool SoundPlayer::tryOpenDevice(std::string* why) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *why = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    driver_ = driver ? driver : "";
    const bool dummy = driver_ == "dummy";
    // The dummy driver paces itself by sleeping whole milliseconds per
    // period; a period of 20 ms or more keeps that rounding under 2 %. Real
    // devices get ~10 ms periods: the position model below can be off by
    // about one period, so short periods keep it close to what is audible.
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(channels_);
    want.samples = static_cast<Uint16>(periodFor(rate_, dummy ? 20.0 : 10.0));
    want.callback = &SoundPlayer::audioCallback;
    want.userdata = this;
    SDL_AudioSpec got{};
    // No changes allowed: SDL converts (and resamples) only if the hardware insists.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    if (!device_) {
        *why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    periodFrames_ = got.samples;
    // A real device asks for the next period while the previous one is still
    // queued in it; the dummy driver consumes each period at once and sleeps
    // for its duration.
    queuedPeriods_ = dummy ? 1 : 2;
    return true;
}

void SDLCALL SoundPlayer::audioCallback(void* self, Uint8* stream, int len) {
    SoundPlayer* player = static_cast<SoundPlayer*>(self);
    const int frameBytes = static_cast<int>(sizeof(float)) * player->channels_;
    player->fill(reinterpret_cast<float*>(stream), len / frameBytes);
}

void SoundPlayer::fill(float* out, int frames) {
    const int64_t entryNs = steadyNs();
    const int64_t cpuStart = threadCpuNs();
    int64_t none = -1;
    firstCallbackNs_.compare_exchange_strong(none, entryNs, std::memory_order_relaxed);

    int decoded = 0;
    if (!trackEnded_.load(std::memory_order_relaxed)) {
        decoded = reader_.read(out, frames);
        if (decoded < frames) trackEnded_.store(true, std::memory_order_relaxed);
        framesDecoded_.fetch_add(decoded, std::memory_order_relaxed);
        damaged_.store(reader_.damagedStretches(), std::memory_order_relaxed);
    }
    std::fill(out + static_cast<size_t>(decoded) * channels_, out + static_cast<size_t>(frames) * channels_,
              0.0f);

    // The mono mix is made outside the lock; SDL hands over one period per
    // call, but any length is taken, a scratch buffer's worth at a time.
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, static_cast<int>(mono_.size()));
        mixToMono(out + static_cast<size_t>(done) * channels_, n, channels_, mono_.data());
        std::lock_guard<std::mutex> lock(mutex_);
        const int64_t mask = static_cast<int64_t>(history_.size()) - 1;
        for (int i = 0; i < n; ++i) history_[static_cast<size_t>((handed_ + i) & mask)] = mono_[i];
        handed_ += n;
        anchorNs_ = entryNs;
        done += n;
    }
    // The volume: only what is heard, not the history the spectrum reads.
    const float gain = gain_.load(std::memory_order_relaxed);
    if (gain != 1.0f)
        for (float *sample = out, *end = out + static_cast<size_t>(frames) * channels_; sample < end; ++sample)
            *sample *= gain;
    callbackCpuNs_.fetch_add(threadCpuNs() - cpuStart, std::memory_order_relaxed);
}

void SoundPlayer::update() {
    if (!endReported_ && trackEnded_.load(std::memory_order_relaxed)) {
        endReported_ = true;
        const double ms = 1000.0 * static_cast<double>(framesDecoded_.load()) / rate_;
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": \"%s\" ended at %.0f ms; the clock runs on in silence\n", path_.c_str(),
                     ms);
    }
    if (!damageReported_ && damaged_.load(std::memory_order_relaxed) > 0) {
        damageReported_ = true;
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": \"%s\" has damaged frames; skipped them\n", path_.c_str());
    }
}

void SoundPlayer::seek(double ms) {
    if (!device_) return;
    const int64_t frame = std::max<int64_t>(0, std::llround(ms * rate_ / 1000.0));
    SDL_LockAudioDevice(device_); // the callback is not running while this is held
    // A place past the end plays silence, as after a track's natural end.
    const bool inside = reader_.seek(frame);
    trackEnded_.store(!inside, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // What the device still holds plays out as if it were the new place's
        // start: the position starts exactly at `ms`.
        handed_ = frame + static_cast<int64_t>(queuedPeriods_) * periodFrames_;
        anchorNs_ = steadyNs();
        std::fill(history_.begin(), history_.end(), 0.0f);
    }
    SDL_UnlockAudioDevice(device_);
    clock_.reset();
    if (paused_) pausedAtMs_ = std::max(ms, 0.0);
}

void SoundPlayer::pause(bool paused) {
    if (!device_ || paused == paused_) return;
    if (paused) {
        pausedAtMs_ = positionMs();
        SDL_PauseAudioDevice(device_, 1);
        paused_ = true;
    } else {
        paused_ = false;
        seek(pausedAtMs_);
        SDL_PauseAudioDevice(device_, 0);
    }
}

double SoundPlayer::positionMs() {
    if (paused_) return pausedAtMs_;
    int64_t handed, anchorNs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handed = handed_;
        anchorNs = anchorNs_;
    }
    const int64_t now = steadyNs();
    double frame = 0.0;
    if (handed > 0) {
        const double queued = static_cast<double>(queuedPeriods_) * periodFrames_;
        const double sinceCallback = static_cast<double>(now - anchorNs) * 1e-9 * rate_;
        frame = std::clamp(static_cast<double>(handed) - queued + sinceCallback, 0.0, static_cast<double>(handed));
    }
    return clock_.track(frame * 1000.0 / rate_, static_cast<double>(now) * 1e-6);
}

void SoundPlayer::spectrum(float* out) {
    const int64_t cpuStart = threadCpuNs();
    const int64_t heard = static_cast<int64_t>(std::floor(positionMs() * rate_ / 1000.0));
    float mono[kSpectrumWindow];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int64_t size = static_cast<int64_t>(history_.size());
        // The clock may lead what was handed over by a few ms; the ring
        // holds only its last `size` frames.
        const int64_t end = std::max(std::min(heard, handed_), handed_ - size + kSpectrumWindow);
        for (int i = 0; i < kSpectrumWindow; ++i) {
            const int64_t frame = end - kSpectrumWindow + i;
            mono[i] = frame < 0 ? 0.0f : history_[static_cast<size_t>(frame & (size - 1))];
        }
    }
    computeSpectrum(mono, out);
    spectrumCpuNs_ += threadCpuNs() - cpuStart;
}

void SoundPlayer::stop() {
    if (device_) {
        SDL_CloseAudioDevice(device_); // joins the audio thread
        device_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    reader_.close();
}

SoundStatus SoundPlayer::status() {
    SoundStatus s;
    s.track = true;
    s.driver = driver_;
    s.rate = rate_;
    s.channels = channels_;
    s.periodFrames = periodFrames_;
    s.queuedPeriods = queuedPeriods_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s.framesHanded = handed_;
    }
    s.framesDecoded = framesDecoded_.load();
    s.trackEnded = trackEnded_.load();
    s.damagedStretches = damaged_.load();
    const int64_t first = firstCallbackNs_.load();
    s.firstCallbackMs = first < 0 ? -1.0 : static_cast<double>(first - startNs_) * 1e-6;
    s.callbackCpuMs = static_cast<double>(callbackCpuNs_.load()) * 1e-6;
    s.spectrumCpuMs = static_cast<double>(spectrumCpuNs_) * 1e-6;
    return s;
}

} // namespace platform
