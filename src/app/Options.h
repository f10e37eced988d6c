// Command-line options. None is needed to play the demo; the rest drive the
// headless tools (capture, still frames, benchmark) on the fixed-step clock.
#pragma once

#include "app/Replay.h"

#include <string>

enum class Mode {
    Live,      // play the demo (the default)
    Capture,   // --capture FILE: every frame piped to ffmpeg with the track
    Frame,     // --frame MS --out FILE.png: one picture
    Benchmark, // --benchmark: render as fast as possible, print timings per scene
};

// What --capture writes, told by the output's name.
enum class CaptureFormat {
    Mp4,         // .mp4 (or no extension): H.264 + AAC
    Mkv,         // .mkv: lossless FFV1 in RGB + FLAC, for editing
    Mov,         // .mov: ProRes 422 HQ + PCM, for editors that want it
    PngSequence, // DIR/NAME%05d.png: numbered PNG stills, and DIR/DIR.wav
};

struct Options {
    Mode mode = Mode::Live;
    bool windowed = false;  // --window: a window instead of fullscreen
    int windowWidth = 0, windowHeight = 0; // --window WxH: its first size (0 x 0: 1024 x 768)
    bool silent = false;    // --silent: no track at all (zero spectrum, no sound)
    bool passes = false;    // --passes: the benchmark also times each pass of a frame
    bool stats = false;     // --stats: frame rates per scene on stderr when the demo ends
    std::string statsPlot;  // --stats-plot FILE.png: the run's frame times and scales as a picture
    bool loop = false;      // --loop: at the end the demo starts again (at --from)
    std::string output;     // --capture FILE or --out FILE
    CaptureFormat format = CaptureFormat::Mp4; // by --capture's name
    int fps = 0;            // --fps N (0: the mode's default)
    double fromMs = 0;      // --from MS
    double toMs = 0;        // --to MS (0 with toGiven false: the end of the demo)
    bool toGiven = false;
    double frameMs = 0;     // --frame MS
    // --size WxH: the frame's size in pixels, the 4:3 picture centred in it
    // (0 x 0: 1024 x 768; live, the window's size on a hardware renderer).
    int width = 0, height = 0;
    bool nativeSize = false; // --size native: live, the window's drawable size whatever the renderer
    bool glDebug = false;    // --gl-debug: OpenGL's debug output (or glGetError) reported on stderr
    int audioDelayMs = 0;    // --audio-delay MS: positive delays the sound, negative the picture
    double renderScale = 0;  // --render-scale: 0 automatic (auto), else live frames fixed at 0.6 ... 1
    // The capture's H.264 encoder (x264): quality (0 lossless ... 51) and
    // speed preset, passed to ffmpeg as they are. By default the fastest
    // preset, one step finer than crf 17: on two cores the encoder then
    // takes about a tenth of the rendering's CPU time (medium, crf 17: as
    // much again as the rendering) for the same PSNR against the stills;
    // the files are about 1.8 times as large.
    int crf = 16;                     // --crf N
    std::string preset = "ultrafast"; // --preset NAME

    // Frames per second the fixed step runs at: --fps, or 60 (capture and
    // benchmark) or 30 (the catch-up of --frame).
    int stepFps() const { return fps ? fps : (mode == Mode::Frame ? kStillFps : 60); }
};

enum class ParseResult { Run, Help, Version, Error };

// Parses argv into *options; on Error, *error says what was wrong.
ParseResult parseOptions(int argc, char** argv, Options* options, std::string* error);
// The format a capture named `name` is written in; false, with why in one
// line, for a name that says none (an unknown extension, a PNG name without
// one %d-style number, a sequence without a folder of its own).
bool captureFormatOf(const std::string& name, CaptureFormat* format, std::string* why);
// The --help text (generated from the options CLI11 knows).
std::string usageText();
// The --version line: the installed program's name and the project's version.
std::string versionText();
