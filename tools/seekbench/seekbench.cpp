// seekbench: what navigation costs on this machine.
//
// 1. A sweep of live seeks: the application started as live play starts it
//    (its data, its scenes, the silent clock on SDL's offscreen driver), then
//    a seek to each target as a key or a click asks for one: the timeline
//    replayed to it and its picture drawn, to the end of its rasterisation.
//    The targets are spread over the whole timeline, plus the deepest moment
//    of every scene (the last 30 fps grid frame before its end). Prints each
//    target's time, then the median and the worst.
// 2. The whole `--frame` process (start-up included) at the deepest moment of
//    every scene, and the time a `--capture --from` there takes to report its
//    first frame.
//
// Usage: seekbench [--data DIR] [--program PATH] [--targets N]
// Relies on: the program's own library (start-up, replay, seek), the built
// program for the process timings, Mesa. Deliberately does not: play sound.
#include "app/CApplication.h"
#include "app/Live.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/Platform.h"

#include <GL/gl.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>


namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// The last grid frame of the seek grid before `endMs`.
double deepestBefore(double endMs) {
    const double step = 1000.0 / kStillFps;
    return (std::ceil(endMs / step - 1e-9) - 1) * step;
}

// Runs `args` (the program first) with stdout and stderr to /dev/null;
// returns the wall time, or -1 if it failed. With `untilLine`, the time until
// that text appears on stderr (the process is then ended).
double timeProcess(const std::vector<std::string>& args, const char* untilLine = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 2);
        const int null = open("/dev/null", 1);
        dup2(null, 1);
        close(fds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string err;
    double seen = -1;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
        err.append(buffer, static_cast<size_t>(n));
        if (untilLine && seen < 0 && err.find(untilLine) != std::string::npos) {
            seen = msSince(t0);
            kill(pid, SIGTERM);
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (untilLine) return seen;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? msSince(t0) : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::string data = std::getenv("DEMO_DATA_DIR") ? std::getenv("DEMO_DATA_DIR") : "data";
    std::string program = DEMO_PROGRAM_PATH;
    int spread = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--data")) data = argv[i + 1];
        if (!std::strcmp(argv[i], "--program")) program = argv[i + 1];
        if (!std::strcmp(argv[i], "--targets")) spread = std::max(1, std::atoi(argv[i + 1]));
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (chdir(data.c_str()) != 0) {
        std::fprintf(stderr, "seekbench: no data folder at %s\n", data.c_str());
        return 2;
    }
    musicFile = nullptr; // the silent clock: what a seek costs, not the sound
    CApplication app;
    platform::DisplayOptions display;
    display.headless = true;
    if (app.init(display) != 0) return 1;
    app.precalc();

    // The targets: evenly over the timeline, and each scene's deepest moment.
    std::vector<double> targets;
    for (int i = 0; i < spread; ++i) targets.push_back(std::round(kDemoEndMs * (i + 0.5) / spread));
    for (int i = 0; i < kSceneCount; ++i) targets.push_back(deepestBefore(stretchEndMs(i)));
    std::sort(targets.begin(), targets.end());

    std::printf("live seeks (replay and the picture there, silent clock, %d x %d)\n", platform::frameWidth(),
                platform::frameHeight());
    std::printf("  target ms  scene   seek ms\n");
    std::vector<double> times;
    for (double ms : targets) {
        glFinish();
        const auto t0 = Clock::now();
        live::seek(app, ms, true);
        glFinish();
        const double t = msSince(t0);
        times.push_back(t);
        std::printf("  %9.1f  %5d  %8.1f\n", ms, currentScene + 1, t);
    }
    std::printf("seeks: %zu, median %.1f ms, worst %.1f ms (target 100 ms)\n\n", times.size(), median(times),
                *std::max_element(times.begin(), times.end()));
    app.deinit();

    std::printf("whole processes at each scene's deepest whole-ms grid moment (%s)\n", program.c_str());
    std::printf("  scene  moment ms  --frame ms  --capture --from: first frame ms\n");
    double worstFrame = 0, worstCapture = 0;
    const std::string out = "/tmp/seekbench-" + std::to_string(getpid());
    for (int i = 0; i < kSceneCount; ++i) {
        // A whole-ms moment on the grid: the last multiple of 100 ms before the end.
        const long moment = static_cast<long>(std::ceil(stretchEndMs(i) / 100.0) - 1) * 100;
        const double still = timeProcess({program, "--frame", std::to_string(moment), "--out", out + ".png"});
        const double capture = timeProcess({program, "--capture", out + ".mp4", "--from", std::to_string(moment),
                                            "--to", std::to_string(moment + 50)},
                                           "1/");
        worstFrame = std::max(worstFrame, still);
        worstCapture = std::max(worstCapture, capture);
        std::printf("  %5d  %9ld  %10.0f  %10.0f\n", stretchScene(i) + 1, moment, still, capture);
    }
    std::printf("worst --frame %.0f ms (target 500), worst capture start %.0f ms (target 500)\n", worstFrame,
                worstCapture);
    unlink((out + ".png").c_str());
    unlink((out + ".mp4").c_str());
    return 0;
}
