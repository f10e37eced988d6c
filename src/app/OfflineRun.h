// The pieces the headless modes share: the fixed-step frame, the lines that
// refuse or report a stop, and the frames a plan shows. Each mode (still,
// capture, benchmark) lives in a file of its own; Offline.cpp runs them.
#pragma once

#include "app/Offline.h"

#include <chrono>
#include <string>

class CApplication;
namespace platform {
class OutputFile;
}

namespace offline {


inline double msOf(long n, double stepMs) { return static_cast<double>(n) * stepMs; }

// One frame at music time `ms` with the step `stepMs` since the previous one.
// Once a stop signal has come it draws nothing: the loop around it ends at its
// next check of the signal.
void renderFrame(CApplication& app, double ms, double stepMs);

// Frames a plan shows (for the progress bar): to the end, the demo's last
// frame is the first one past 200000 ms.
long shownFrames(const FramePlan& p);

// A run's progress on stderr: a bar redrawn in place on a terminal; in a log
// (stderr not a terminal) a plain line once the first frame is done (start-up
// is over) and at every tenth of the way.
class Progress {
  public:
    explicit Progress(long total);
    void update(long done, bool final = false);

  private:
    long total_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool animated_;
    int lastTenth_ = 0;
    long lastDone_ = -1;
};

// One line on stderr; returns `status`.
int fail(const std::string& message, int status);
// An allocation for the frame (width x height) failed: one line, status 1.
int outOfMemory(double bytes);
// After a stop signal: one line, and the shell's status for the signal.
int stopped(const char* outcome);

// Before anything loads: the capture's output (a file, or the folder of PNG
// stills) checked, and ffmpeg asked for its encoders. Once everything has
// loaded: the encoders the capture's format (--capture's name) needs looked
// up in its answer. Each 0, or the exit status after one line that says what
// is missing.
int checkCapture(const Options& o);
int checkEncoders(const Options& o);
// Once everything has loaded: the capture's partial file or folder made.
bool openCapture(const Options& o, platform::OutputFile& output, std::string* error);

// The modes, each after start-up has loaded everything.
int runStill(CApplication& app, const Options& o, platform::OutputFile& output);
int runCapture(CApplication& app, const Options& o, platform::OutputFile& output);
int runBenchmark(CApplication& app, const Options& o);

} // namespace offline
