// Command-line parsing (CLI11) and validation, in one place. CLI11 reads the
// words and writes --help; the values are checked here, so every mistake
// gives the same kind of one line: what is wrong, with the value given.
#include "app/Options.h"

#include "app/Live.h"
#include "app/RenderScale.h"
#include "app/Timeline.h"
#include "platform/Platform.h"
#include "platform/Sound.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

// A music time in 0 ... 200000 ms, in exactly one of three forms: whole
// milliseconds ("74800"), minutes and seconds ("1:14.8", the seconds as two
// digits 00 to 59 with any decimals), or seconds ("74.8s", "5s"). Digits
// only besides ':', '.' and 's': no sign, no spaces, no exponent, no hex. A
// value that is no whole millisecond ("1:14.8005") is refused, not rounded.
bool parseMs(const std::string& text, double* ms) {
    size_t i = 0;
    // Digits from i on as a number (leading zeros any number of them, at most
    // 9 more: no overflow); false if none.
    auto digits = [&](long long* value, size_t* count) {
        *value = 0;
        *count = 0;
        size_t significant = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++*count) {
            significant += significant > 0 || text[i] != '0';
            if (significant <= 9) *value = *value * 10 + (text[i] - '0');
        }
        return *count > 0 && significant <= 9;
    };
    // A fraction of a second after a '.' at i, as whole ms; false if it has
    // no digit or is finer than a millisecond.
    auto fraction = [&](long long* ms) {
        *ms = 0;
        if (i >= text.size() || text[i] != '.') return true;
        ++i;
        size_t n = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++n) {
            const int d = text[i] - '0';
            if (n < 3) *ms += d * (n == 0 ? 100 : n == 1 ? 10 : 1);
            else if (d != 0) return false;
        }
        return n > 0;
    };
    long long first = 0, extra = 0, value = 0;
    size_t count = 0;
    if (!digits(&first, &count)) return false;
    if (i == text.size()) {
        value = first; // whole milliseconds
    } else if (text[i] == ':') {
        ++i;
        long long seconds = 0;
        if (!digits(&seconds, &count) || count != 2 || seconds > 59 || !fraction(&extra) || i != text.size())
            return false;
        value = first * 60000 + seconds * 1000 + extra;
    } else {
        if (!fraction(&extra) || i + 1 != text.size() || text[i] != 's') return false;
        value = first * 1000 + extra;
    }
    if (value > kDemoEndMs) return false;
    *ms = static_cast<double>(value);
    return true;
}

// A whole number from min to max, the one rule for every number an option
// takes (as for the music times): digits only, with leading zeros as many as
// given, and a minus sign only where the range has negative numbers; no plus
// sign, spaces, exponent or hex.
bool parseWhole(const std::string& text, long min, long max, int* out) {
    size_t i = 0;
    const bool negative = min < 0 && !text.empty() && text[0] == '-';
    if (negative) ++i;
    if (i == text.size()) return false;
    long v = 0;
    size_t significant = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        significant += significant > 0 || text[i] != '0';
        if (significant > 9) return false; // beyond any range here
        v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    if (v < min || v > max) return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseFps(const std::string& text, int* fps) { return parseWhole(text, 1, 240, fps); }

// One side of a frame size: at most 1000000 (this OpenGL's own limit,
// checked once its context is open, is far lower).
bool parseSide(const std::string& text, int* side) { return parseWhole(text, 0, 1000000, side); }

// A frame size "WxH" in pixels, at least 4 x 3 (so that the 4:3 picture in
// it is not empty).
bool parseSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !parseSide(text.substr(0, x), &w) || !parseSide(text.substr(x + 1), &h) ||
        w < 4 || h < 3)
        return false;
    *width = w;
    *height = h;
    return true;
}

// A render scale: "auto" (0), or a decimal number from the floor to 1
// ("0.75", "1"): digits and one point only.
bool parseRenderScale(const std::string& text, double* scale) {
    if (text == "auto") {
        *scale = 0;
        return true;
    }
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.front() == '.' || text.back() == '.' || text.find('.') != text.rfind('.'))
        return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (v < live::RenderScale::kFloor - 1e-9 || v > 1) return false;
    *scale = v;
    return true;
}

// x264's speed presets, fastest first, and them as a list for messages.
constexpr const char* kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                    "medium",    "slow",      "slower",   "veryslow", "placebo"};

bool knownPreset(const std::string& name) {
    for (const char* p : kPresets)
        if (name == p) return true;
    return false;
}

std::string presetList() {
    std::string list;
    for (const char* p : kPresets) list += std::string(list.empty() ? "" : ", ") + p;
    return list;
}

// The extension of a name's last part, lower case, with its dot ("" for none).
std::string extensionOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// A sequence's file name holds its number as ffmpeg's image2 muxer takes it:
// exactly one %d, %5d or %05d (zero-padded to that width either way); any
// other % only as %%.
bool oneFrameNumber(const std::string& file) {
    int numbers = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '%') continue;
        size_t j = i + 1;
        if (j < file.size() && file[j] == '%') {
            i = j;
            continue;
        }
        while (j < file.size() && j - i <= 2 && std::isdigit(static_cast<unsigned char>(file[j]))) ++j;
        if (j >= file.size() || file[j] != 'd') return false;
        ++numbers;
        i = j;
    }
    return numbers == 1;
}

// The words as given, before their values are checked.
struct Words {
    bool silent = false, benchmark = false, stats = false, passes = false, loop = false,
         glDebug = false;
    std::string capture, out, frame, from, to, fps, size, crf, preset, audioDelay, windowSize, renderScale,
        statsPlot;
};

// Everything the program takes, as CLI11 knows it (and prints for --help).
void describe(CLI::App& app, Words& w) {
    app.description(DEMO_DISPLAY_NAME ", a real-time audiovisual demo: plays fullscreen unless told otherwise.");
    app.set_help_flag("-h,--help", "show this text");
    app.set_version_flag("--version", versionText(), "print the program's name and version");
    app.add_option("--window", w.windowSize,
                   "play in a window, W x H pixels (default 1024x768); it may be\n"
                   "resized, the picture letterboxed in it")
        ->expected(0, 1)
        ->type_name("[WxH]");
    app.add_flag("--silent", w.silent, "no music track (silent clock, zero spectrum)");
    app.add_option("--from", w.from,
                   "start at this music time: ms (74800), m:ss.d (1:14.8) or\n"
                   "seconds (74.8s), 0 to 200000 ms; so are --to and --frame")
        ->type_name("TIME");
    app.add_option("--to", w.to, "end at this music time (as --from)")->type_name("TIME");
    app.add_flag("--stats", w.stats, "when the demo ends, frame rates per scene on stderr");
    app.add_option("--stats-plot", w.statsPlot,
                   "when the demo ends, write its frames as a picture: the slowest\n"
                   "frame time and the lowest render scale against the music time,\n"
                   "the scenes' starts, lines at 16.7 and 33.3 ms and at scales 1\n"
                   "and 0.6")
        ->type_name("FILE.png");
    app.add_flag("--loop", w.loop, "at the end start again (at --from), for as long as it runs");
    app.add_option("--size", w.size,
                   "frames of W x H pixels, the 4:3 picture as large as fits,\n"
                   "centred, black bars on the rest; default 1024x768 (playing on\n"
                   "a graphics card: the window's size); with the tools below too\n"
                   "(a capture needs even numbers); native: playing, the window's\n"
                   "size whatever the renderer")
        ->type_name("WxH|native");
    const std::string maxDelay = std::to_string(platform::kMaxAudioDelayMs);
    app.add_option("--audio-delay", w.audioDelay,
                   "playing: delay the sound by MS against the picture, -" + maxDelay + " to\n" + maxDelay +
                       " (negative delays the picture, as for Bluetooth headphones)")
        ->type_name("MS");
    app.add_option("--render-scale", w.renderScale,
                   "playing: the share of the picture's size live frames are drawn\n"
                   "at, scaled up to the window: auto (the default) lowers it, to 0.6\n"
                   "at the least, where frames would miss the display's refresh and\n"
                   "back to 1 as soon as they fit; 1 draws every pixel (the frame\n"
                   "rate drops instead); 0.6 to 1 fixes it. A paused, stepped or\n"
                   "sought picture is always drawn whole")
        ->type_name("auto|S");
    app.add_flag("--gl-debug", w.glDebug,
                 "report OpenGL's debug messages (KHR_debug, synchronous) or, without\n"
                 "it, glGetError after each frame, one line each on stderr");
    auto* tools = "Headless tools (no window, no audio device; fixed-step clock)";
    app.add_option("--capture", w.capture,
                   "render every frame into a video with the track (needs ffmpeg),\n"
                   "by the name: .mp4 H.264 + AAC, .mkv lossless FFV1 (RGB) + FLAC,\n"
                   ".mov ProRes 422 HQ + PCM; DIR/%05d.png numbered PNG stills,\n"
                   "numbered by frame (n / fps s), and the track as DIR/DIR.wav")
        ->type_name("FILE")
        ->group(tools);
    app.add_option("--frame", w.frame,
                   "the picture at music time TIME (as --from), into --out; the\n"
                   "demo up to it plays unshown first, on the --fps step (default 30)")
        ->type_name("TIME")
        ->group(tools);
    const Options defaults;
    app.add_option("--crf", w.crf,
                   "with an .mp4 --capture: H.264 quality, 0 (lossless) to 51 (default " +
                       std::to_string(defaults.crf) + ")")
        ->type_name("N")
        ->group(tools);
    app.add_option("--preset", w.preset,
                   "with an .mp4 --capture: x264's speed preset (default " + defaults.preset + "), one of\n" +
                       presetList())
        ->type_name("NAME")
        ->group(tools);
    app.add_option("--out", w.out, "where --frame writes its PNG")->type_name("FILE.png")->group(tools);
    app.add_flag("--benchmark", w.benchmark, "render as fast as possible, print ms per frame per scene")->group(tools);
    app.add_flag("--passes", w.passes,
                 "with --benchmark: also the time of each pass of a frame\n"
                 "(each pass waits for the rasteriser: frames get slower)")
        ->group(tools);
    app.add_option("--fps", w.fps,
                   "frames per second of the fixed step, 1 to 240 (default 60 for\n"
                   "--capture and --benchmark, 30 for --frame)")
        ->type_name("N")
        ->group(tools);
    // The keys from their one table, in two columns.
    std::string keys = "Keys while playing:\n";
    for (int i = 0; i < live::kKeyUseCount; ++i) {
        const std::string k = live::kKeyUses[i].keys;
        keys += "  " + k + std::string(k.size() < 20 ? 20 - k.size() : 1, ' ') + live::kKeyUses[i].does + "\n";
    }
    app.footer(keys + "The on-screen display (scene, music time, progress bar) shows while paused and\n"
                      "for 2 s after a seek, a resume or a volume or loop key.");
}



ParseResult fail(std::string* error, const std::string& what) {
    *error = what;
    return ParseResult::Error;
}

// 'value' for a message: quoted, control characters escaped.
std::string shownValue(const std::string& value) { return "'" + platform::printable(value) + "'"; }

// The modes an option does something in, and what the refusal says. An
// option given in any other mode is refused rather than silently ignored.
struct ModeRule {
    const char* option;
    bool live, capture, frame, benchmark;
    const char* goesWith;
};
constexpr ModeRule kModeRules[] = {
    {"--window", true, false, false, false, "playing live (the headless tools open no window)"},
    {"--stats", true, false, false, false, "playing live"},
    {"--stats-plot", true, false, false, false, "playing live"},
    {"--loop", true, false, false, false, "playing live"},
    {"--audio-delay", true, false, false, false, "playing live (the headless tools play no sound)"},
    {"--render-scale", true, false, false, false, "playing live (the headless tools draw every pixel)"},
    {"--from", true, true, false, true, "playing, --capture or --benchmark"},
    {"--to", true, true, false, true, "playing, --capture or --benchmark"},
    {"--fps", false, true, true, true, "--capture, --frame or --benchmark (live, frames follow the display)"},
    {"--out", false, false, true, false, "--frame"},
    {"--passes", false, false, false, true, "--benchmark"},
    {"--crf", false, true, false, false, "--capture"},
    {"--preset", false, true, false, false, "--capture"},
};

// The refusal of a music time, with the forms it may take.
std::string badTime(const char* option, const std::string& value) {
    return std::string(option) + " needs a music time from 0 to 200000 ms, as ms (74800), m:ss.d (1:14.8) or " +
           "seconds (74.8s); not " + shownValue(value);
}

bool appliesIn(const ModeRule& r, Mode m) {
    switch (m) {
    case Mode::Live: return r.live;
    case Mode::Capture: return r.capture;
    case Mode::Frame: return r.frame;
    case Mode::Benchmark: return r.benchmark;
    }
    return false;
}

} // namespace

bool captureFormatOf(const std::string& name, CaptureFormat* format, std::string* why) {
    const std::string ext = extensionOf(name);
    const size_t slash = name.rfind('/');
    if (ext.empty() || ext == ".mp4") {
        *format = CaptureFormat::Mp4;
    } else if (ext == ".mkv") {
        *format = CaptureFormat::Mkv;
    } else if (ext == ".mov") {
        *format = CaptureFormat::Mov;
    } else if (ext == ".png") {
        if (!oneFrameNumber(slash == std::string::npos ? name : name.substr(slash + 1))) {
            *why = "--capture of PNG stills needs one %d-style frame number in the file name, such as "
                   "frames/%05d.png; not " + shownValue(name);
            return false;
        }
        if (slash == std::string::npos) {
            *why = "--capture of PNG stills writes into a folder of its own, such as frames/%05d.png; not " +
                   shownValue(name);
            return false;
        }
        *format = CaptureFormat::PngSequence;
    } else {
        *why = "--capture writes .mp4, .mkv, .mov or numbered PNG stills (frames/%05d.png), not " +
               shownValue(name);
        return false;
    }
    return true;
}

std::string versionText() { return DEMO_PROGRAM_NAME " " DEMO_VERSION "\n"; }

std::string usageText() {
    CLI::App app("", DEMO_PROGRAM_NAME);
    Words w;
    describe(app, w);
    return app.help();
}

ParseResult parseOptions(int argc, char** argv, Options* o, std::string* error) {
    CLI::App app("", DEMO_PROGRAM_NAME);
    Words w;
    describe(app, w);
    app.allow_extras(); // unknown words are reported below, in our words
    // An option whose value may be left out (--window) would take an empty
    // word after it as no value: that word is refused as any stray one is.
    for (int i = 2; i < argc; ++i) {
        const CLI::Option* before = *argv[i] ? nullptr : app.get_option_no_throw(argv[i - 1]);
        if (before && before->get_expected_min() < 1 && before->get_expected_max() >= 1)
            return fail(error, "an empty argument ('') is no option");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return ParseResult::Help;
    } catch (const CLI::CallForVersion&) {
        return ParseResult::Version;
    } catch (const CLI::ParseError& e) {
        return fail(error, e.what());
    }
    // An option's value is never another option: "--capture --silent" lacks
    // the file name rather than naming a video "--silent".
    for (const CLI::Option* opt : app.get_options()) {
        if (opt->get_expected_min() < 1 || opt->count() == 0) continue;
        for (const std::string& value : opt->results())
            if (value.rfind("--", 0) == 0)
                return fail(error, opt->get_name() + " needs a value, not the option " + shownValue(value));
    }

    // The first word CLI11 did not take (an unknown option, a stray value, an
    // empty word: none of them is ignored).
    if (const std::vector<std::string> rest = app.remaining(); !rest.empty()) {
        const std::string& extra = rest.front();
        if (extra.empty()) return fail(error, "an empty argument ('') is no option");
        // An unknown word at the very end may also be an option whose value is missing.
        const bool last = argc > 1 && extra == argv[argc - 1];
        return fail(error, "unknown option " + shownValue(extra) + (last ? " (or a missing value)" : ""));
    }

    const int modes = !w.capture.empty() + !w.frame.empty() + w.benchmark;
    if (modes > 1) return fail(error, "choose one of --capture, --frame and --benchmark");
    if (app.count("--capture")) o->mode = Mode::Capture;
    if (app.count("--frame")) o->mode = Mode::Frame;
    if (w.benchmark) o->mode = Mode::Benchmark;
    o->windowed = app.count("--window") > 0;
    if (!w.windowSize.empty() && !parseSize(w.windowSize, &o->windowWidth, &o->windowHeight))
        return fail(error, "--window needs WIDTHxHEIGHT in pixels, at least 4x3, such as 1280x720; not " +
                               shownValue(w.windowSize));
    o->silent = w.silent;
    o->stats = w.stats;
    o->loop = w.loop;
    o->passes = w.passes;
    o->glDebug = w.glDebug;
    o->output = o->mode == Mode::Capture ? w.capture : w.out;

    if (app.count("--frame") && !parseMs(w.frame, &o->frameMs)) return fail(error, badTime("--frame", w.frame));
    if (app.count("--from") && !parseMs(w.from, &o->fromMs)) return fail(error, badTime("--from", w.from));
    if (app.count("--to") && !parseMs(w.to, &o->toMs)) return fail(error, badTime("--to", w.to));
    o->toGiven = app.count("--to") > 0;
    if (app.count("--fps") && !parseFps(w.fps, &o->fps))
        return fail(error, "--fps needs a whole number from 1 to 240, not " + shownValue(w.fps));
    o->nativeSize = w.size == "native";
    if (app.count("--size") && !o->nativeSize && !parseSize(w.size, &o->width, &o->height))
        return fail(error, "--size needs WIDTHxHEIGHT in pixels, at least 4x3, such as 1920x1080, or native; not " +
                               shownValue(w.size));
    if (app.count("--audio-delay")) {
        const std::string maxDelay = std::to_string(platform::kMaxAudioDelayMs);
        if (!parseWhole(w.audioDelay, -platform::kMaxAudioDelayMs, platform::kMaxAudioDelayMs, &o->audioDelayMs))
            return fail(error, "--audio-delay needs a whole number of ms from -" + maxDelay + " to " + maxDelay +
                                   ", not " + shownValue(w.audioDelay));
    }

    o->statsPlot = w.statsPlot;
    if (app.count("--stats-plot") && extensionOf(w.statsPlot) != ".png")
        return fail(error, "--stats-plot writes a PNG picture: FILE.png, not " + shownValue(w.statsPlot));
    if (app.count("--render-scale") && !parseRenderScale(w.renderScale, &o->renderScale))
        return fail(error, "--render-scale needs auto or a scale from 0.6 to 1 (such as 0.8), not " +
                               shownValue(w.renderScale));

    if (app.count("--crf") && !parseWhole(w.crf, 0, 51, &o->crf))
        return fail(error, "--crf needs a whole number from 0 to 51, not " + shownValue(w.crf));
    if (app.count("--preset") && !knownPreset(w.preset))
        return fail(error, "--preset needs one of " + presetList() + ", not " + shownValue(w.preset));
    if (app.count("--preset")) o->preset = w.preset;

    if (o->mode == Mode::Frame && !app.count("--out")) return fail(error, "--frame needs --out FILE.png");
    for (const ModeRule& r : kModeRules)
        if (app.count(r.option) && !appliesIn(r, o->mode))
            return fail(error, std::string(r.option) + " goes with " + r.goesWith);
    if (o->nativeSize && o->mode != Mode::Live)
        return fail(error, "--size native goes with playing live (the headless tools have no window to follow)");
    if (o->toGiven && o->toMs <= o->fromMs) return fail(error, "--to must be later than --from");
    if (o->mode == Mode::Capture && o->output.empty()) return fail(error, "--capture needs a file name");
    if (o->mode == Mode::Capture && !captureFormatOf(o->output, &o->format, error)) return ParseResult::Error;
    if (o->format == CaptureFormat::PngSequence) {
        // "frames//%05d.png" is "frames/%05d.png": the folder's name without
        // the slashes that end it.
        size_t slash = o->output.rfind('/');
        while (slash > 0 && o->output[slash - 1] == '/') o->output.erase(--slash, 1);
    }
    const bool mp4 = o->format == CaptureFormat::Mp4;
    if (o->mode == Mode::Capture && !mp4 && (app.count("--crf") || app.count("--preset")))
        return fail(error, std::string(app.count("--crf") ? "--crf" : "--preset") + " goes with an .mp4 --capture (H.264)");
    if (o->mode == Mode::Capture && mp4 && (o->width % 2 || o->height % 2))
        return fail(error, "--capture needs an even width and height (H.264 in yuv420p), not --size " + w.size);
    if (o->mode == Mode::Capture && o->format == CaptureFormat::Mov && o->width % 2)
        return fail(error, "a .mov --capture needs an even width (ProRes 4:2:2), not --size " + w.size);
    return ParseResult::Run;
}
