// TrackReader: an MP3 track decoded incrementally by libmpg123, without any
// audio device or GL. The live sound layer plays through one (from its audio
// callback); offline tools use their own to read the decoded PCM in chunks or
// to compute the spectrum heard at any track position, by the same code as
// the live path (computeSpectrum in Spectrum.h).
//
// Glossary: a sample is one value of one channel; a frame is one sample of
// every channel at one instant; positions and lengths count frames from the
// start of the track (after the encoder's delay, which gapless decoding
// removes). PCM is 32-bit float, interleaved, nominally within [-1, 1].
//
// Memory stays bounded: only mpg123's own frame buffers, never the whole
// track. Damaged stretches inside a file are skipped (mpg123 searches for the
// next intact frame); a read never hangs and a stream that cannot go on simply
// ends.
//
// Time stays bounded too. The file must be a regular file (Files.h). Before
// mpg123 sees it, open() walks its MPEG frame headers (no decoding): at most
// kSearchBytes are read in search of audio (at the start, after an ID3 tag,
// and after a damaged stretch, where the audio is taken to end), and the walk
// stops once kLookMs of music are counted. mpg123 is then given the file only
// up to where the walk ended, so that nothing (a scan, a resync, a seek) ever
// reads past it: a track that runs on into gigabytes of zeros, or hours of
// music, costs no more than the demo's length of frames.
//
// Threads: one reader is used by one thread at a time; separate readers are
// independent. Deliberately not done: resampling, channel changes in the
// middle of a track (a frame in another format ends the track), writing.
#pragma once

#include "platform/Files.h"
#include "platform/Spectrum.h"

#include <cstdint>
#include <string>
#include <vector>

struct mpg123_handle_struct;

namespace platform {

// How far into a track anything looks: the demo's 200 s and a margin, so
// that everything up to the demo's end decodes as from the whole file.
constexpr double kLookMs = 202000;
// How many bytes may be read without finding an MPEG audio frame.
constexpr int64_t kSearchBytes = 1 << 20;

class TrackReader {
public:
    TrackReader() = default;
    ~TrackReader();
    TrackReader(const TrackReader&) = delete;
    TrackReader& operator=(const TrackReader&) = delete;

    // Opens `path` and walks its frame headers (see above). False if the file
    // is missing, not a regular file, cannot be read or holds no MPEG audio;
    // *error (if given) then gets a one-line reason that names the file.
    bool open(const char* path, std::string* error = nullptr);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    int rate() const { return rate_; }         // frames per second
    int channels() const { return channels_; } // 1 or 2

    // Decodes up to `maxFrames` frames into `out` (maxFrames * channels()
    // floats), continuing where the last read or seek left off. Returns the
    // frames written: fewer than asked only at the end of the track, 0 after it.
    int read(float* out, int maxFrames);
    // Frame that the next read returns.
    int64_t tell() const { return position_; }
    // Moves to `frame` exactly. False if the track cannot seek there (past its
    // end, or not seekable); the read position is then unspecified.
    bool seek(int64_t frame);
    // True once a read has reached the end of the track (or could not go on).
    bool ended() const { return ended_; }
    // Length of the track in frames, up to where open() stopped looking
    // (kLookMs): the first call scans that stretch once (headers only). -1
    // if unknown.
    int64_t lengthFrames();
    // Damaged stretches skipped so far (decoder errors it went on after).
    int damagedStretches() const { return damaged_; }

    // Frame that is playing at `ms` milliseconds from the start.
    int64_t frameAtMs(double ms) const;
    // The mono mix of the kSpectrumWindow frames just before `frame` (frames
    // before the start or past the end read as silence) into `mono`.
    // Moves the read position: use a separate reader for sequential reads.
    void monoWindowBefore(int64_t frame, float* mono);
    // The 64-band spectrum heard at `frame`: computeSpectrum of that window.
    void spectrumAt(int64_t frame, float* out);

    // The file as mpg123 reads it: cut off where open() stopped looking.
    struct Source {
        DataFile file;
        int64_t end = 0;    // bytes
        int64_t offset = 0; // mpg123's read position (bytes)
    };

private:
    mpg123_handle_struct* handle_ = nullptr;
    Source source_;
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    int64_t position_ = 0;
    bool ended_ = false;
    bool scanned_ = false;
    int damaged_ = 0;
    std::vector<float> scratch_; // decoded frames for monoWindowBefore
};

} // namespace platform
