// Command-line parsing and validation, in one place.
#include "app/Options.h"

#include "app/Timeline.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

const char* usageText() {
    return "Usage: demo [options]\n"
           "Plays the demo fullscreen; Escape quits.\n"
           "  --window              play in a 1024 x 768 window\n"
           "  --silent              no music track (silent clock, zero spectrum)\n"
           "  --from MS --to MS     play only this stretch of music time\n"
           "  --stats               when the demo ends, frame rates per scene on stderr\n"
           "  --help                show this text\n"
           "Keys while playing: Escape quits, Space pauses and resumes, Left / Right seek\n"
           "5 s, Page Up / Page Down (or Up / Down) jump to the previous / next scene,\n"
           "Home goes back to the start.\n"
           "Headless tools (no window, no audio device; fixed-step clock):\n"
           "  --capture FILE.mp4    render every frame into an H.264 + AAC video (needs ffmpeg)\n"
           "  --frame MS --out FILE.png\n"
           "                        the picture at music time MS; the scene that owns MS is\n"
           "                        run from its start on the --fps step (default 30) first\n"
           "  --benchmark           render as fast as possible, print ms per frame per scene\n"
           "  --passes              with --benchmark: also the time of each pass of a frame\n"
           "                        (each pass waits for the rasteriser: frames get slower)\n"
           "  --fps N               frames per second of the fixed step, 1 to 240 (default 60)\n"
           "  --from MS --to MS     only this stretch of music time\n";
}

namespace {

// A number of milliseconds in 0 ... 200000.
bool parseMs(const char* text, double* ms) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < 0 || v > kDemoEndMs) return false;
    *ms = v;
    return true;
}

bool parseFps(const char* text, int* fps) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 240) return false;
    *fps = static_cast<int>(v);
    return true;
}

} // namespace

ParseResult parseOptions(int argc, char** argv, Options* o, std::string* error) {
    bool fromGiven = false, outGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() { return argv[++i]; };
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) return ParseResult::Help;
        if (std::strcmp(a, "--window") == 0) {
            o->windowed = true;
        } else if (std::strcmp(a, "--silent") == 0) {
            o->silent = true;
        } else if (std::strcmp(a, "--benchmark") == 0) {
            o->mode = Mode::Benchmark;
        } else if (std::strcmp(a, "--stats") == 0) {
            o->stats = true;
        } else if (std::strcmp(a, "--passes") == 0) {
            o->passes = true;
        } else if (std::strcmp(a, "--capture") == 0 && hasValue) {
            o->mode = Mode::Capture;
            o->output = value();
        } else if (std::strcmp(a, "--out") == 0 && hasValue) {
            o->output = value();
            outGiven = true;
        } else if (std::strcmp(a, "--frame") == 0 && hasValue) {
            o->mode = Mode::Frame;
            if (!parseMs(value(), &o->frameMs)) {
                *error = std::string("--frame needs a music time from 0 to 200000 ms, not '") + argv[i] + "'";
                return ParseResult::Error;
            }
        } else if ((std::strcmp(a, "--from") == 0 || std::strcmp(a, "--to") == 0) && hasValue) {
            const bool from = a[2] == 'f';
            if (!parseMs(value(), from ? &o->fromMs : &o->toMs)) {
                *error = std::string(a) + " needs a music time from 0 to 200000 ms, not '" + argv[i] + "'";
                return ParseResult::Error;
            }
            (from ? fromGiven : o->toGiven) = true;
        } else if (std::strcmp(a, "--fps") == 0 && hasValue) {
            if (!parseFps(value(), &o->fps)) {
                *error = std::string("--fps needs a whole number from 1 to 240, not '") + argv[i] + "'";
                return ParseResult::Error;
            }
        } else {
            *error = std::string("unknown option '") + a + "'" + (hasValue ? "" : " (or a missing value)");
            return ParseResult::Error;
        }
    }
    if (o->mode == Mode::Frame && !outGiven) {
        *error = "--frame needs --out FILE.png";
        return ParseResult::Error;
    }
    if (o->mode != Mode::Frame && outGiven) {
        *error = "--out goes with --frame";
        return ParseResult::Error;
    }
    if ((fromGiven || o->toGiven) && o->mode == Mode::Frame) {
        *error = "--from and --to go with playing, --capture or --benchmark";
        return ParseResult::Error;
    }
    if (o->stats && o->mode != Mode::Live) {
        *error = "--stats goes with playing live";
        return ParseResult::Error;
    }
    if (o->passes && o->mode != Mode::Benchmark) {
        *error = "--passes goes with --benchmark";
        return ParseResult::Error;
    }
    if (o->toGiven && o->toMs <= o->fromMs) {
        *error = "--to must be later than --from";
        return ParseResult::Error;
    }
    if (o->mode == Mode::Capture && o->output.empty()) {
        *error = "--capture needs a file name";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}
