// The capture: the frames of a stretch on the fixed step, piped as raw RGB
// into ffmpeg with the track's stretch beside them, into an MP4 that takes
// the output's name only once it is whole.
#include "app/OfflineRun.h"

#include "app/CApplication.h"
#include "app/Replay.h"
#include "platform/FrameStream.h"
#include "platform/Output.h"
#include "platform/Platform.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace offline {

namespace {

// The capture's progress on stderr: a bar redrawn in place on a terminal;
// in a log (stderr not a terminal) a plain line at every tenth of the way.
class Progress {
public:
    explicit Progress(long total)
        : total_(total), start_(std::chrono::steady_clock::now()), animated_(platform::isTerminal(stderr)) {}
    void update(long done, bool final = false) {
        const auto now = std::chrono::steady_clock::now();
        const double share = total_ > 0 ? static_cast<double>(done) / total_ : 1.0;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double left = done > 0 ? elapsed * (total_ - done) / done : 0.0;
        const int leftS = static_cast<int>(left);
        if (!animated_) {
            const int tenth = static_cast<int>(share * 10.0);
            if (tenth <= lastTenth_ && !(final && done != lastDone_)) return;
            lastTenth_ = tenth;
            lastDone_ = done;
            std::fprintf(stderr, DEMO_PROGRAM_NAME ": %ld/%ld frames (%.0f%%), %d:%02d left\n", done, total_, share * 100.0,
                         leftS / 60, leftS % 60);
            return;
        }
        if (!final && now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const int width = 30, filled = std::min(width, static_cast<int>(share * width));
        std::fprintf(stderr, "\r[%s%s] %ld/%ld frames %5.1f%% %d:%02d left ", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), done, total_, share * 100.0, leftS / 60, leftS % 60);
        if (final) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    long total_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool animated_;
    int lastTenth_ = 0;
    long lastDone_ = -1;
};

// The encoder's command line: raw RGB frames on its standard input, the
// track's stretch beside them, H.264 + AAC into `target`.
std::vector<std::string> ffmpegArguments(const Options& o, double fromMs, double durationS,
                                         const std::string& target, bool withAudio) {
    auto number = [](const char* format, double v) {
        char text[64];
        std::snprintf(text, sizeof text, format, v);
        return std::string(text);
    };
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-s", std::to_string(platform::frameWidth()) + "x" +
                                               std::to_string(platform::frameHeight()),
                                     "-framerate", std::to_string(o.stepFps()), "-i", "-"};
    if (withAudio)
        args.insert(args.end(), {"-ss", number("%.3f", fromMs / 1000.0), "-t", number("%.3f", durationS), "-i",
                                 kMusicFile});
    args.insert(args.end(), {"-map", "0:v", "-c:v", "libx264", "-preset", o.preset, "-crf", std::to_string(o.crf),
                             "-pix_fmt", "yuv420p"});
    if (withAudio) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
    args.insert(args.end(), {"-t", number("%.6f", durationS), "-movflags", "+faststart", "-f", "mp4", target});
    return args;
}

// " (ffmpeg: LINE)" when ffmpeg said something, else "".
std::string ffmpegSaid(const platform::PipedProcess& ffmpeg) {
    const std::string line = ffmpeg.lastErrorLine();
    return line.empty() ? "" : " (ffmpeg: " + line + ")";
}

// "" when `path` holds a video stream that ffprobe reads, else why not.
std::string unreadableVideo(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || st.st_size == 0) return "the file is empty";
    if (!platform::findProgram("ffprobe")) return ""; // nothing more to ask
    platform::PipedProcess probe;
    std::string error;
    if (!probe.start({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_type",
                      "-of", "csv=p=0", path},
                     &error))
        return "";
    const bool ok = probe.finish();
    if (!ok || probe.lastErrorLine() != "video") return "ffprobe finds no video stream in it";
    return "";
}

} // namespace

int runCapture(CApplication& app, const Options& o, platform::OutputFile& output) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    const long total = shownFrames(p);
    const double durationS = static_cast<double>(total) / o.stepFps();
    const bool withAudio = !o.silent;
    // ffmpeg writes the partial file beside the target; the finished file
    // takes the target's name.
    platform::PipedProcess ffmpeg;
    std::string error;
    if (!ffmpeg.start(ffmpegArguments(o, msOf(p.first, p.stepMs), durationS, output.partialPath(), withAudio),
                      &error))
        return fail("cannot start ffmpeg: " + error, 1);

    replayUnshown(app, msOf(p.first, p.stepMs), p.stepMs);
    // Frame n is read back while frame n + 1 renders, and the encoder's pipe
    // is fed from a thread of its own while rendering goes on.
    const int width = platform::frameWidth(), height = platform::frameHeight();
    platform::FrameReadback readback;
    if (!readback.start(width, height)) {
        ffmpeg.abort();
        return fail("cannot read frames back: the GL has no pixel buffer objects; no video written", 1);
    }
    platform::FrameWriter writer(ffmpeg, static_cast<size_t>(width) * height * 3);
    Progress progress(total);
    long shown = 0;
    // Hands the oldest frame read back to the writer; false once the encoder
    // stopped reading.
    auto pass = [&] {
        unsigned char* slot = writer.next();
        if (!slot) return false;
        if (readback.collect(slot)) {
            writer.submit();
            progress.update(++shown);
        }
        return true;
    };
    bool written = true;
    for (long n = p.first; (p.last < 0 || n <= p.last) && !platform::stopSignal(); ++n) {
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        if (platform::stopSignal()) break;
        readback.request();
        if (n > p.first && !(written = pass())) break;
        if (p.last < 0 && done) break; // the first frame past the end is the last
    }
    if (written && !platform::stopSignal()) written = pass();
    written = writer.finish() && written;
    progress.update(shown, true);
    if (platform::stopSignal()) return stopped("no video written");
    const int waitS = ffmpeg.stallMs / 1000;
    if (!written) {
        const bool stalled = ffmpeg.stalled();
        ffmpeg.abort();
        if (stalled)
            return fail("ffmpeg took no frame for " + std::to_string(waitS) + " s; ended it" + ffmpegSaid(ffmpeg) +
                            "; no video written",
                        1);
        return fail("ffmpeg stopped reading frames" + ffmpegSaid(ffmpeg) + "; no video written", 1);
    }
    if (!ffmpeg.finish()) {
        if (platform::stopSignal()) return stopped("no video written");
        if (ffmpeg.stalled())
            return fail("ffmpeg had not finished " + std::to_string(waitS) + " s after the last frame; ended it" +
                            ffmpegSaid(ffmpeg) + "; no video written",
                        1);
        return fail("ffmpeg failed" + ffmpegSaid(ffmpeg) + "; no video written", 1);
    }
    // An encoder that says it succeeded must also have written a video.
    if (const std::string why = unreadableVideo(output.partialPath()); !why.empty())
        return fail("ffmpeg ended without a readable video (" + why + "); no video written", 1);
    if (!output.commit(&error)) return fail(error + "; no video written", 1);
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": %ld frames (%.2f s) written to %s\n", shown, durationS, o.output.c_str());
    return 0;
}

} // namespace offline
