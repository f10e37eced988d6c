// TrackReader: incremental MP3 decoding with libmpg123 into interleaved float
// frames, sample-exact seeking, and the spectrum window at a track position.
//
// mpg123 is set up once per file: float output, gapless (the encoder's delay
// and padding are removed, so frame 0 is the first frame of the music),
// quiet (its own messages would break our one-line reports), and an unlimited
// resync search so that a damaged stretch anywhere is skipped up to the next
// intact frame; the search is bounded by the file's end, so it cannot hang.
// The output format is fixed to the first frame's rate and channel count.
#include "platform/TrackReader.h"

#include "platform/Spectrum.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

// mpg123_init is a no-op in recent libmpg123 but required by older ones, and
// there it is not thread-safe.
void initDecoderLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

// A read gives up after this many decoder errors in a row without any output:
// the stream cannot go on (I/O error, a format it cannot follow).
constexpr int kErrorsInRowToGiveUp = 8;

} // namespace

TrackReader::~TrackReader() { close(); }

void TrackReader::close() {
    if (handle_) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
    }
    handle_ = nullptr;
    rate_ = channels_ = 0;
    position_ = 0;
    ended_ = false;
    scanned_ = false;
    damaged_ = 0;
}

bool TrackReader::open(const char* path, std::string* error) {
    close();
    path_ = path ? path : "";
    auto fail = [&](const std::string& why) {
        if (error) *error = "cannot play \"" + path_ + "\": " + why;
        close();
        return false;
    };
    if (!path) return fail("no file name");
    initDecoderLibrary();
    int err = MPG123_OK;
    handle_ = mpg123_new(nullptr, &err);
    if (!handle_) return fail(mpg123_plain_strerror(err));
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0);
    // Any rate and channel count, but always 32-bit float.
    mpg123_format_none(handle_);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);

    if (std::FILE* probe = std::fopen(path, "rb")) {
        std::fclose(probe);
    } else {
        return fail("the file is missing or unreadable");
    }
    if (mpg123_open(handle_, path) != MPG123_OK) return fail(mpg123_strerror(handle_));
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK)
        return fail(std::string("no MPEG audio in it (") + mpg123_strerror(handle_) + ")");
    if (encoding != MPG123_ENC_FLOAT_32 || channels < 1 || channels > 2 || rate <= 0)
        return fail("unsupported sample format");
    // From here on only this format; a later frame in another one ends the track.
    mpg123_format_none(handle_);
    mpg123_format(handle_, rate, channels, MPG123_ENC_FLOAT_32);
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    position_ = 0;
    ended_ = false;
    return true;
}

int TrackReader::read(float* out, int maxFrames) {
    if (!handle_ || ended_ || maxFrames <= 0) return 0;
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    const size_t wanted = frameBytes * static_cast<size_t>(maxFrames);
    unsigned char* bytes = reinterpret_cast<unsigned char*>(out);
    size_t got = 0;
    int errorsInRow = 0;
    while (got < wanted) {
        size_t done = 0;
        const int result = mpg123_read(handle_, bytes + got, wanted - got, &done);
        got += done;
        if (done > 0) errorsInRow = 0;
        if (result == MPG123_DONE) {
            ended_ = true;
            break;
        }
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            if (done == 0 && ++errorsInRow >= kErrorsInRowToGiveUp) { // no progress at all
                ended_ = true;
                break;
            }
            continue;
        }
        // MPG123_ERR and the like: a stretch it could not decode. Go on after
        // it unless the decoder keeps failing without output.
        ++damaged_;
        if (++errorsInRow >= kErrorsInRowToGiveUp) {
            ended_ = true;
            break;
        }
    }
    const int frames = static_cast<int>(got / frameBytes);
    position_ += frames;
    return frames;
}

bool TrackReader::seek(int64_t frame) {
    if (!handle_ || frame < 0) return false;
    const off_t reached = mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
    if (reached < 0) return false;
    position_ = reached;
    ended_ = false;
    return reached == frame;
}

int64_t TrackReader::lengthFrames() {
    if (!handle_) return -1;
    // mpg123_length trusts a length tag, else estimates from the file size;
    // one scan makes it exact (mpg123 keeps the read position).
    if (!scanned_) {
        mpg123_scan(handle_);
        scanned_ = true;
    }
    const off_t length = mpg123_length(handle_);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

int64_t TrackReader::frameAtMs(double ms) const {
    return static_cast<int64_t>(std::floor(ms * rate_ / 1000.0));
}

void TrackReader::monoWindowBefore(int64_t frame, float* mono) {
    std::fill(mono, mono + kSpectrumWindow, 0.0f);
    if (!handle_) return;
    const int64_t start = frame - kSpectrumWindow;
    const int64_t first = std::max<int64_t>(start, 0); // earlier frames are silence
    if (frame <= 0) return;
    // Read forward when the window lies a little ahead (the common case of a
    // tool stepping through the track); seek otherwise.
    const int64_t gap = first - position_;
    if (gap < 0 || gap > rate_ || (ended_ && gap != 0)) {
        if (!seek(first)) return; // past the end: silence
    }
    scratch_.resize(static_cast<size_t>(kSpectrumWindow) * channels_);
    while (position_ < first) {
        const int step = static_cast<int>(std::min<int64_t>(first - position_, kSpectrumWindow));
        if (read(scratch_.data(), step) < step) return; // past the end: silence
    }
    const int want = static_cast<int>(frame - first);
    const int got = read(scratch_.data(), want);
    mixToMono(scratch_.data(), got, channels_, mono + (first - start));
}

void TrackReader::spectrumAt(int64_t frame, float* out) {
    float mono[kSpectrumWindow];
    monoWindowBefore(frame, mono);
    computeSpectrum(mono, out);
}

} // namespace platform
