// The capture: the frames of a stretch on the fixed step, piped as raw RGB
// into ffmpeg with the track's stretch beside them, in the format the
// output's name tells (Options.h): an MP4, MKV or MOV file, or numbered PNG
// stills with a WAV file in a folder of their own. The output takes its name
// only once it is whole; ffmpeg's encoders for it are checked before
// anything renders.
#include "app/OfflineRun.h"

#include "app/CApplication.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/Files.h"
#include "platform/FrameStream.h"
#include "platform/Output.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace offline {

namespace {

// What a format asks of ffmpeg's encoders, and how messages name it.
struct Encoders {
    const char* video;
    const char* audio;
    const char* what;
};
Encoders encodersOf(CaptureFormat format) {
    switch (format) {
    case CaptureFormat::Mp4: break;
    case CaptureFormat::Mkv: return {"ffv1", "flac", "an .mkv capture"};
    case CaptureFormat::Mov: return {"prores_ks", "pcm_s16le", "a .mov capture"};
    case CaptureFormat::PngSequence: return {"png", "pcm_s16le", "a capture of PNG stills"};
    }
    return {"libx264", "aac", "an .mp4 capture"};
}

// A sequence's folder (its name's part before the last slash) and file pattern.
std::string sequenceFolder(const std::string& name) { return name.substr(0, name.rfind('/')); }
std::string sequencePattern(const std::string& name) { return name.substr(name.rfind('/') + 1); }

// The file name `pattern` (checked by captureFormatOf: one %d, %5d or %05d,
// other % doubled) gives frame `n`, as ffmpeg's image2 muxer writes it.
std::string frameFileName(const std::string& pattern, long n) {
    std::string name;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
        } else if (pattern[i + 1] == '%') {
            name += '%';
            ++i;
        } else {
            const size_t d = pattern.find('d', i);
            const int width = d > i + 1 ? std::atoi(pattern.c_str() + i + 1) : 0;
            char number[32];
            std::snprintf(number, sizeof number, "%0*ld", width, n);
            name += number;
            i = d;
        }
    }
    return name;
}

// The pictures of the video formats in Y'CbCr: converted with the BT.709
// matrix to the limited range, and tagged so (primaries, transfer, matrix and
// range) in the stream, which is what players assume of HD video and what
// they then decode exactly. Untagged, players guess BT.709 at HD sizes and
// BT.601 below, and shift the reds of one of them.
// The frames carry the tags too (setparams): ProRes writes them from there.
const std::vector<std::string> kBt709 = {
    "-vf", "scale=out_color_matrix=bt709:out_range=tv,"
           "setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv",
    "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"};

// The encoder's command line: raw RGB frames on its standard input, the
// track's stretch beside them, into `target` (the partial file, or for PNG
// stills the partial folder) in the options' format. The sequence's frames
// are numbered by their place on the step grid from `firstFrame`.
std::vector<std::string> ffmpegArguments(const Options& o, double fromMs, double durationS,
                                         const std::string& target, bool withAudio, long firstFrame) {
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
                                 kTrackFile});
    const std::string duration = number("%.6f", durationS);
    switch (o.format) {
    case CaptureFormat::Mp4:
        // The High profile: x264's fastest presets leave out the 8 x 8
        // transform and fall back to Constrained Baseline, which some sites
        // re-encode; the transform is cheap beside the rendering.
        args.insert(args.end(), {"-map", "0:v", "-c:v", "libx264", "-preset", o.preset, "-crf",
                                 std::to_string(o.crf), "-pix_fmt", "yuv420p", "-profile:v", "high",
                                 "-x264-params", "8x8dct=1"});
        args.insert(args.end(), kBt709.begin(), kBt709.end());
        if (withAudio) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
        args.insert(args.end(), {"-t", duration, "-movflags", "+faststart", "-f", "mp4", target});
        break;
    case CaptureFormat::Mkv:
        // FFV1 keeps RGB as it is (bgr0 holds every rgb24 value): each
        // decoded frame is the still.
        args.insert(args.end(), {"-map", "0:v", "-c:v", "ffv1", "-level", "3", "-pix_fmt", "bgr0"});
        if (withAudio) args.insert(args.end(), {"-map", "1:a", "-c:a", "flac"});
        args.insert(args.end(), {"-t", duration, "-f", "matroska", target});
        break;
    case CaptureFormat::Mov:
        // ProRes 422 HQ (profile 3), 10 bits; "apl0" as Apple's own encoder
        // says, which some editors look for.
        args.insert(args.end(), {"-map", "0:v", "-c:v", "prores_ks", "-profile:v", "3", "-vendor", "apl0",
                                 "-pix_fmt", "yuv422p10le"});
        args.insert(args.end(), kBt709.begin(), kBt709.end());
        if (withAudio) args.insert(args.end(), {"-map", "1:a", "-c:a", "pcm_s16le"});
        args.insert(args.end(), {"-t", duration, "-f", "mov", target});
        break;
    case CaptureFormat::PngSequence: {
        // image2 reads % in the whole path: the folder's own are doubled.
        std::string folder;
        for (const char c : target) folder += c == '%' ? std::string("%%") : std::string(1, c);
        args.insert(args.end(), {"-map", "0:v", "-c:v", "png", "-pix_fmt", "rgb24", "-start_number",
                                 std::to_string(firstFrame), "-t", duration, "-f", "image2",
                                 folder + "/" + sequencePattern(o.output)});
        if (withAudio)
            args.insert(args.end(), {"-map", "1:a", "-c:a", "pcm_s16le", "-t", duration, "-f", "wav",
                                     target + "/" + sequencePattern(sequenceFolder(o.output)) + ".wav"});
        break;
    }
    }
    return args;
}

// " (ffmpeg: LINE)" when ffmpeg said something, else "".
std::string ffmpegSaid(const platform::PipedProcess& ffmpeg) {
    const std::string line = ffmpeg.lastErrorLine();
    return line.empty() ? "" : " (ffmpeg: " + line + ")";
}

// "" when `path` holds a video stream that ffprobe reads, else why not.
std::string unreadableVideo(const std::string& path) {
    if (platform::fileSize(path) <= 0) return "the file is empty";
    if (!platform::findProgram("ffprobe")) return ""; // nothing more to ask
    platform::PipedProcess probe;
    std::string error;
    if (!probe.start({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_type",
                      "-of", "csv=p=0", path},
                     &error))
        return "ffprobe, which checks it, cannot be started: " + error;
    // A probe that failed or hung says nothing about the video: its own cause is named.
    if (!probe.finish())
        return probe.stalled() ? "ffprobe, which checks it, did not answer in " + std::to_string(probe.stallMs / 1000) +
                                     " s"
                               : "ffprobe, which checks it, failed" +
                                     (probe.lastErrorLine().empty() ? "" : ": " + probe.lastErrorLine());
    if (probe.lastErrorLine() != "video") return "ffprobe finds no video stream in it";
    return "";
}

// "" when the stills from `first` to `last` and, with the track, the WAV
// file are in `folder`, else what is missing.
std::string missingStills(const Options& o, const std::string& folder, long first, long last, bool withAudio) {
    for (const long n : {first, last}) {
        const std::string name = frameFileName(sequencePattern(o.output), n);
        if (platform::fileSize(folder + "/" + name) <= 0) return "no " + name;
    }
    const std::string wav = sequencePattern(sequenceFolder(o.output)) + ".wav";
    if (withAudio && platform::fileSize(folder + "/" + wav) <= 0) return "no " + wav;
    return "";
}

} // namespace

namespace {
// ffmpeg listing its encoders, started before the data loads and read after:
// the tenth of a second it takes overlaps the loading.
platform::PipedProcess encoderList;
std::string encoderListError;
} // namespace

int checkCapture(const Options& o) {
    std::string error;
    const bool sequence = o.format == CaptureFormat::PngSequence;
    if (!platform::OutputFile::check(sequence ? sequenceFolder(o.output) : o.output, &error, sequence))
        return fail(error, 2);
    encoderListError.clear();
    encoderList.start({"ffmpeg", "-hide_banner", "-encoders"}, &encoderListError);
    return 0;
}

int checkEncoders(const Options& o) {
    const Encoders needs = encodersOf(o.format);
    if (!encoderListError.empty() || !encoderList.finish())
        return fail("ffmpeg does not list its encoders" +
                        (encoderListError.empty() ? ffmpegSaid(encoderList) : ": " + encoderListError) +
                        "; nothing rendered",
                    2);
    // One encoder a line after the legend: six flag letters, then its name.
    std::istringstream listed(encoderList.printed());
    std::vector<std::string> names;
    for (std::string line, flags, name; std::getline(listed, line);) {
        std::istringstream words(line);
        if (words >> flags >> name && flags.size() == 6) names.push_back(name);
    }
    auto has = [&](const char* encoder) { return std::find(names.begin(), names.end(), encoder) != names.end(); };
    for (const char* encoder : {needs.video, o.silent ? nullptr : needs.audio})
        if (encoder && !has(encoder))
            return fail(std::string("this ffmpeg has no ") + encoder + " encoder, which " + needs.what +
                            " needs; nothing rendered",
                        2);
    return 0;
}

bool openCapture(const Options& o, platform::OutputFile& output, std::string* error) {
    const bool sequence = o.format == CaptureFormat::PngSequence;
    return output.open(sequence ? sequenceFolder(o.output) : o.output, error, sequence);
}

int runCapture(CApplication& app, const Options& o, platform::OutputFile& output) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    const long total = shownFrames(p);
    const double durationS = static_cast<double>(total) / o.stepFps();
    const bool withAudio = !o.silent;
    // The frames' memory first (its size is the user's): when it cannot be
    // had, no ffmpeg was started and nothing is left.
    const int width = platform::frameWidth(), height = platform::frameHeight();
    const size_t frameBytes = static_cast<size_t>(width) * height * 3;
    platform::PipedProcess ffmpeg;
    platform::FrameWriter writer(ffmpeg, frameBytes);
    if (!writer.ready()) return outOfMemory(3.0 * static_cast<double>(frameBytes));
    // ffmpeg writes the partial file beside the target; the finished file
    // takes the target's name.
    std::string error;
    if (!ffmpeg.start(ffmpegArguments(o, msOf(p.first, p.stepMs), durationS, output.partialPath(), withAudio,
                                      p.first),
                      &error))
        return fail("cannot start ffmpeg: " + error, 1);

    replayUnshown(app, msOf(p.first, p.stepMs), p.stepMs);
    // Frame n is read back while frame n + 1 renders, and the encoder's pipe
    // is fed from a thread of its own while rendering goes on.
    platform::FrameReadback readback;
    if (!readback.start(width, height)) {
        ffmpeg.abort();
        return fail("cannot read frames back: the GL has no pixel buffer objects; no video written", 1);
    }
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
    const std::string why = o.format == CaptureFormat::PngSequence
                                ? missingStills(o, output.partialPath(), p.first, p.first + shown - 1, withAudio)
                                : unreadableVideo(output.partialPath());
    if (!why.empty()) return fail("ffmpeg ended without a readable video (" + why + "); no video written", 1);
    if (!output.commit(&error)) return fail(error + "; no video written", 1);
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": %ld frames (%.2f s) written to %s\n", shown, durationS,
                 platform::printable(o.output).c_str());
    if (o.format == CaptureFormat::PngSequence && withAudio)
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": the track's stretch written to %s/%s.wav\n",
                     platform::printable(sequenceFolder(o.output)).c_str(),
                     platform::printable(sequencePattern(sequenceFolder(o.output))).c_str());
    return 0;
}

} // namespace offline
