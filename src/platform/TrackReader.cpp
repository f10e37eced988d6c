// TrackReader: incremental MP3 decoding with libmpg123 into interleaved float
// frames, sample-exact seeking, and the spectrum window at a track position.
//
// mpg123 is set up once per file: float output, gapless (the encoder's delay
// and padding are removed, so frame 0 is the first frame of the music),
// quiet (its own messages would break our one-line reports), and an unlimited
// resync search so that a damaged stretch anywhere is skipped up to the next
// intact frame; the search is bounded by the file's end, so it cannot hang.
// The output format is fixed to the first frame's rate and channel count.
// mpg123 reads through our own callbacks, which end the file where the
// header walk of open() stopped.
#include "platform/TrackReader.h"

#include "platform/Output.h"
#include "platform/Platform.h"

#include "platform/Spectrum.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

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

// One MPEG audio frame as its 4-byte header describes it.
struct FrameHeader {
    int bytes = 0;   // the whole frame, header included
    int samples = 0; // frames of PCM it decodes to
    int rate = 0;    // frames per second
    int layer = 0;   // 1, 2 or 3
};

// The MPEG-1, 2 or 2.5 audio frame header in the 4 bytes at `h`; false for
// anything else (free-format frames and reserved values included).
bool parseHeader(const unsigned char* h, FrameHeader* f) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const int version = (h[1] >> 3) & 3;     // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
    const int layer = 4 - ((h[1] >> 1) & 3); // 4: reserved
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    // kbit/s by [MPEG-1 or not][layer - 1][index].
    static const short kKbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int bitrate = kKbps[mpeg1 ? 0 : 1][layer - 1][bitrateIndex] * 1000;
    f->rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    f->layer = layer;
    if (layer == 1) {
        f->bytes = (12 * bitrate / f->rate + padding) * 4;
        f->samples = 384;
    } else if (layer == 2 || mpeg1) {
        f->bytes = 144 * bitrate / f->rate + padding;
        f->samples = 1152;
    } else {
        f->bytes = 72 * bitrate / f->rate + padding;
        f->samples = 576;
    }
    return true;
}

// A window of the file, read in large steps (never a byte per system call).
class Window {
public:
    explicit Window(DataFile& file) : file_(file), bytes_(64 * 1024) {}
    // The `n` bytes at `pos`, or nullptr past the end of the file or when a
    // read failed (failed() then) or a stop signal came.
    const unsigned char* at(int64_t pos, size_t n) {
        if (pos >= start_ && pos + static_cast<int64_t>(n) <= start_ + static_cast<int64_t>(length_))
            return bytes_.data() + (pos - start_);
        if (failed_ || pos >= file_.size()) return nullptr;
        const int64_t got = file_.readAt(bytes_.data(), bytes_.size(), pos);
        if (got < 0) {
            failed_ = true;
            return nullptr;
        }
        start_ = pos;
        length_ = static_cast<size_t>(got);
        return length_ >= n ? bytes_.data() : nullptr;
    }
    bool failed() const { return failed_; }

private:
    DataFile& file_;
    std::vector<unsigned char> bytes_;
    int64_t start_ = 0;
    size_t length_ = 0;
    bool failed_ = false;
};

// The first frame in [from, from + kSearchBytes) that a frame of the same
// kind follows (or the end of the file): noise passes for a header now and
// then, twice in a row hardly ever. -1 if none.
int64_t findFrame(Window& w, int64_t from, int64_t fileSize, FrameHeader* found) {
    const int64_t limit = std::min(fileSize, from + kSearchBytes);
    for (int64_t pos = from; pos < limit; ++pos) {
        const unsigned char* p = w.at(pos, 4);
        if (!p) return -1;
        FrameHeader f, next;
        if (!parseHeader(p, &f)) continue;
        const int64_t after = pos + f.bytes;
        if (after >= fileSize) {
            *found = f;
            return pos;
        }
        const unsigned char* q = w.at(after, 4);
        if (q && parseHeader(q, &next) && next.rate == f.rate && next.layer == f.layer) {
            *found = f;
            return pos;
        }
        if (w.failed()) return -1;
    }
    return -1;
}

// Where the audio that matters ends, in bytes: the end of the frame that
// completes kLookMs, of the last frame before a damaged stretch longer than
// kSearchBytes, or of the file. -1 when no audio is found; *why says so.
int64_t audioEnd(DataFile& file, std::string* why) {
    Window w(file);
    const int64_t size = file.size();
    int64_t pos = 0;
    // An ID3v2 tag (pictures and all) is stepped over unread: its size is
    // four 7-bit bytes, plus 10 for the header and 10 for a footer.
    if (const unsigned char* tag = w.at(0, 10); tag && std::memcmp(tag, "ID3", 3) == 0)
        pos = 10 + ((tag[6] & 0x7F) << 21 | (tag[7] & 0x7F) << 14 | (tag[8] & 0x7F) << 7 | (tag[9] & 0x7F)) +
              ((tag[5] & 0x10) ? 10 : 0);
    FrameHeader first;
    pos = findFrame(w, pos, size, &first);
    if (pos < 0) {
        if (w.failed()) *why = faultText(file.fault());
        else *why = size > kSearchBytes ? "no MPEG audio in its first " + std::to_string(kSearchBytes >> 20) + " MB"
                                        : "no MPEG audio in it";
        return -1;
    }
    const int64_t wanted = static_cast<int64_t>(kLookMs * first.rate / 1000.0);
    int64_t frames = 0;
    while (pos < size && frames < wanted) {
        FrameHeader f;
        const unsigned char* p = w.at(pos, 4);
        if (p && parseHeader(p, &f) && f.rate == first.rate && f.layer == first.layer) {
            frames += f.samples;
            pos = std::min(size, pos + f.bytes); // a last frame cut short is mpg123's to read
            continue;
        }
        if (w.failed()) break;
        // A damaged stretch: the audio goes on after it, if it is short.
        const int64_t next = findFrame(w, pos + 1, size, &f);
        if (next < 0) break;
        pos = next;
    }
    if (w.failed()) {
        *why = faultText(file.fault());
        return -1;
    }
    return pos;
}

// mpg123's reads and seeks, within the stretch open() chose.
mpg123_ssize_t readSource(void* handle, void* to, size_t n) {
    auto* s = static_cast<TrackReader::Source*>(handle);
    const int64_t left = std::max<int64_t>(0, s->end - s->offset);
    const int64_t got = s->file.readAt(to, static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(n))),
                                       s->offset);
    if (got < 0) return -1;
    s->offset += got;
    return static_cast<mpg123_ssize_t>(got);
}

off_t seekSource(void* handle, off_t offset, int whence) {
    auto* s = static_cast<TrackReader::Source*>(handle);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->offset : s->end;
    const int64_t to = base + offset;
    if (to < 0) return -1;
    s->offset = to;
    return static_cast<off_t>(to);
}

} // namespace

TrackReader::~TrackReader() { close(); }

void TrackReader::close() {
    if (handle_) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
    }
    handle_ = nullptr;
    source_.file.close();
    source_.end = source_.offset = 0;
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

    switch (const FileFault fault = source_.file.open(path)) {
    case FileFault::None: break;
    case FileFault::Missing: return fail("the file is missing or unreadable");
    default: return fail(faultText(fault, source_.file.kind()));
    }
    std::string why;
    source_.end = audioEnd(source_.file, &why);
    if (source_.end < 0) return fail(why);
    source_.offset = 0;
    if (mpg123_replace_reader_handle(handle_, readSource, seekSource, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle_, &source_) != MPG123_OK)
        return fail(mpg123_strerror(handle_));
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
