// Command-line parsing (CLI11) and validation, in one place. CLI11 reads the
// words and writes --help; the values are checked here, so every mistake
// gives the same kind of one line: what is wrong, with the value given.
#include "app/Options.h"

#include "app/Timeline.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>

namespace {

// A number of milliseconds in 0 ... 200000.
bool parseMs(const std::string& text, double* ms) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < 0 || v > kDemoEndMs) return false;
    *ms = v;
    return true;
}

bool parseFps(const std::string& text, int* fps) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || v < 1 || v > 240) return false;
    *fps = static_cast<int>(v);
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

// The words as given, before their values are checked.
struct Words {
    bool window = false, silent = false, benchmark = false, stats = false, passes = false;
    std::string capture, out, frame, from, to, fps, crf, preset;
};

// Everything the program takes, as CLI11 knows it (and prints for --help).
void describe(CLI::App& app, Words& w) {
    app.description("Plays the demo fullscreen.");
    app.set_help_flag("-h,--help", "show this text");
    app.add_flag("--window", w.window, "play in a 1024 x 768 window");
    app.add_flag("--silent", w.silent, "no music track (silent clock, zero spectrum)");
    app.add_option("--from", w.from, "start at this music time (ms)")->type_name("MS");
    app.add_option("--to", w.to, "end at this music time (ms)")->type_name("MS");
    app.add_flag("--stats", w.stats, "when the demo ends, frame rates per scene on stderr");
    auto* tools = "Headless tools (no window, no audio device; fixed-step clock)";
    app.add_option("--capture", w.capture, "render every frame into an H.264 + AAC video (needs ffmpeg)")
        ->type_name("FILE.mp4")
        ->group(tools);
    app.add_option("--frame", w.frame,
                   "the picture at music time MS, into --out; the demo up to it\n"
                   "plays unshown first, on the --fps step (default 30)")
        ->type_name("MS")
        ->group(tools);
    const Options defaults;
    app.add_option("--crf", w.crf,
                   "with --capture: H.264 quality, 0 (lossless) to 51 (default " + std::to_string(defaults.crf) + ")")
        ->type_name("N")
        ->group(tools);
    app.add_option("--preset", w.preset,
                   "with --capture: the encoder's speed preset (default " + defaults.preset + "), one of\n" +
                       presetList())
        ->type_name("NAME")
        ->group(tools);
    app.add_option("--out", w.out, "where --frame writes its PNG")->type_name("FILE.png")->group(tools);
    app.add_flag("--benchmark", w.benchmark, "render as fast as possible, print ms per frame per scene")->group(tools);
    app.add_flag("--passes", w.passes,
                 "with --benchmark: also the time of each pass of a frame\n"
                 "(each pass waits for the rasteriser: frames get slower)")
        ->group(tools);
    app.add_option("--fps", w.fps, "frames per second of the fixed step, 1 to 240 (default 60)")
        ->type_name("N")
        ->group(tools);
    app.footer("Keys while playing: Escape quits, Space pauses and resumes, Left / Right seek 5 s,\n"
               "Page Up / Page Down (or Up / Down) jump to the previous / next scene, Home goes back\n"
               "to the start.");
}

// The first word CLI11 did not take (an unknown option, or a stray value).
std::string firstExtra(const CLI::App& app) {
    const std::vector<std::string> rest = app.remaining();
    return rest.empty() ? std::string() : rest.front();
}

ParseResult fail(std::string* error, const std::string& what) {
    *error = what;
    return ParseResult::Error;
}

} // namespace

std::string usageText() {
    CLI::App app("", "demo");
    Words w;
    describe(app, w);
    return app.help();
}

ParseResult parseOptions(int argc, char** argv, Options* o, std::string* error) {
    CLI::App app("", "demo");
    Words w;
    describe(app, w);
    app.allow_extras(); // unknown words are reported below, in our words
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return ParseResult::Help;
    } catch (const CLI::ParseError& e) {
        return fail(error, e.what());
    }
    if (const std::string extra = firstExtra(app); !extra.empty()) {
        // An unknown word at the very end may also be an option whose value is missing.
        const bool last = argc > 1 && extra == argv[argc - 1];
        return fail(error, "unknown option '" + extra + "'" + (last ? " (or a missing value)" : ""));
    }

    const int modes = !w.capture.empty() + !w.frame.empty() + w.benchmark;
    if (modes > 1) return fail(error, "choose one of --capture, --frame and --benchmark");
    if (app.count("--capture")) o->mode = Mode::Capture;
    if (app.count("--frame")) o->mode = Mode::Frame;
    if (w.benchmark) o->mode = Mode::Benchmark;
    o->windowed = w.window;
    o->silent = w.silent;
    o->stats = w.stats;
    o->passes = w.passes;
    o->output = o->mode == Mode::Capture ? w.capture : w.out;

    if (app.count("--frame") && !parseMs(w.frame, &o->frameMs))
        return fail(error, "--frame needs a music time from 0 to 200000 ms, not '" + w.frame + "'");
    if (app.count("--from") && !parseMs(w.from, &o->fromMs))
        return fail(error, "--from needs a music time from 0 to 200000 ms, not '" + w.from + "'");
    if (app.count("--to") && !parseMs(w.to, &o->toMs))
        return fail(error, "--to needs a music time from 0 to 200000 ms, not '" + w.to + "'");
    o->toGiven = app.count("--to") > 0;
    if (app.count("--fps") && !parseFps(w.fps, &o->fps))
        return fail(error, "--fps needs a whole number from 1 to 240, not '" + w.fps + "'");

    if (app.count("--crf")) {
        char* end = nullptr;
        const long v = std::strtol(w.crf.c_str(), &end, 10);
        if (end == w.crf.c_str() || *end != '\0' || v < 0 || v > 51)
            return fail(error, "--crf needs a whole number from 0 to 51, not '" + w.crf + "'");
        o->crf = static_cast<int>(v);
    }
    if (app.count("--preset") && !knownPreset(w.preset))
        return fail(error, "--preset needs one of " + presetList() + ", not '" + w.preset + "'");
    if (app.count("--preset")) o->preset = w.preset;
    if ((app.count("--crf") || app.count("--preset")) && o->mode != Mode::Capture)
        return fail(error, "--crf and --preset go with --capture");

    const bool outGiven = app.count("--out") > 0;
    if (o->mode == Mode::Frame && !outGiven) return fail(error, "--frame needs --out FILE.png");
    if (o->mode != Mode::Frame && outGiven) return fail(error, "--out goes with --frame");
    if ((app.count("--from") || o->toGiven) && o->mode == Mode::Frame)
        return fail(error, "--from and --to go with playing, --capture or --benchmark");
    if (o->stats && o->mode != Mode::Live) return fail(error, "--stats goes with playing live");
    if (o->passes && o->mode != Mode::Benchmark) return fail(error, "--passes goes with --benchmark");
    if (o->toGiven && o->toMs <= o->fromMs) return fail(error, "--to must be later than --from");
    if (o->mode == Mode::Capture && o->output.empty()) return fail(error, "--capture needs a file name");
    return ParseResult::Run;
}
