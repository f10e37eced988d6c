// Window, main loop and shutdown.
//
// The loop never sleeps while playing: each turn handles one waiting event or
// draws one frame, so all waiting events are handled before the next frame.
// Escape, a quit request and closing the window end the demo; Space, the
// arrows, Page Up / Down and Home are the live controls (Live.h); other keys
// do nothing. While paused, the held frame is shown again every 10 ms.
#include "app/CApplication.h"

#include "app/Live.h"
#include "app/Offline.h"
#include "app/Options.h"
#include "app/Timeline.h"
#include "platform/Sound.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>

bool done = false;
float skip = 0.0f;

int CApplication::init(const platform::DisplayOptions& display) {
    previousFrameTime = kUnmeasured;
    std::string error;
    if (const platform::DisplayStatus status = platform::openDisplay(display, &error);
        status != platform::DisplayStatus::Open) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return status == platform::DisplayStatus::SizeRefused ? 2 : 1;
    }
    currentFrameTime = 0;
    // The window shows black while start-up loads.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    platform::present();
    return 0;
}

void CApplication::turn() {
    platform::Event event;
    if (platform::pollEvent(&event)) {
        handle(event); // a turn that handled an event draws no frame
        return;
    }
    if (paused) {
        // The held frame stays on screen; the window stays responsive.
        platform::present();
        platform::sleepMs(10);
        return;
    }
    frame();
}

void CApplication::handle(platform::Event event) {
    switch (event) {
    case platform::Event::Escape:
    case platform::Event::Quit: done = true; return;
    case platform::Event::Space: setPaused(!paused); return;
    default: break;
    }
    const double target = live::seekTarget(event, demoMS);
    if (target < 0) return; // every other key does nothing
    live::seek(*this, stopAtMs >= 0 ? std::min(target, stopAtMs) : target);
    lastScene = -1;
    titleUntil = platform::monotonicMs() + 3000;
    if (paused && !done) {
        // Paused, the new place shows at once and stays.
        run();
        platform::present();
        showPlace();
    }
}

void CApplication::setPaused(bool on) {
    if (on == paused) return;
    paused = on;
    platform::soundPause(on);
    // The music holds at the picture on screen, so both go on from there.
    if (on) platform::soundSeek(static_cast<uint32_t>(std::max(demoMS, 0.0f)));
    // The pause is no frame time: the next frame starts afresh.
    previousFrameTime = kUnmeasured;
    lastScene = -1;
    titleUntil = on ? 0 : platform::monotonicMs() + 3000;
    showPlace();
}

void CApplication::showPlace() {
    if (placeInTitle) live::showPlace(currentScene, demoMS, paused);
}

void CApplication::frame() {
    if (previousFrameTime == kUnmeasured) previousFrameTime = timeGetTime();
    currentFrameTime = timeGetTime();
    // Signed difference: no lower bound, a stall of 2.5 s or more gives 50.
    const int64_t interval = static_cast<int64_t>(currentFrameTime - previousFrameTime);
    skip = static_cast<float>(interval) / 50.0f;
    if (skip > 50.0f) skip = 50.0f;
    previousFrameTime = currentFrameTime;
    // The previous frame lasted until this one started.
    if (stats && lastScene >= 0) stats->add(lastScene, static_cast<double>(interval));
    if (drawFrame) {
        drawFrame();
        return;
    }
    run();
    platform::present();
    lastScene = currentScene;
    if (stopAtMs >= 0 && demoMS >= stopAtMs) done = true;
    if (titleUntil) {
        if (platform::monotonicMs() < titleUntil) {
            showPlace();
        } else {
            titleUntil = 0;
            platform::setWindowTitle("Demo");
        }
    }
}

void CApplication::execute() {
    done = false;
    while (!done) turn();
}

void CApplication::deinit() { platform::closeDisplay(); }

namespace {

// Runs from anywhere: if the working directory has neither the track nor the
// images but the data folder beside the executable has, work from there.
bool holdsData(const std::string& dir) {
    return platform::fileExists(dir + "demosong.mp3") || platform::fileExists(dir + "Textures/cola.jpg");
}

void findDataFolder() {
    if (holdsData("")) return;
    const std::string data = platform::executableDir() + "/data";
    if (holdsData(data + "/")) platform::changeDirectory(data);
}

} // namespace

extern const char* musicFile; // main.cpp: the track InitFMOD starts

int demoMain(int argc, char** argv) {
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, &options, &error)) {
    case ParseResult::Help: std::fputs(usageText().c_str(), stdout); return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "demo: %s; see demo --help\n", error.c_str());
        return 2;
    case ParseResult::Run: break;
    }
    // Output names are the user's, relative to where the demo was started.
    if (!options.output.empty()) options.output = platform::absolutePath(options.output);
    findDataFolder();
    if (options.silent) musicFile = nullptr;
    if (options.mode != Mode::Live) return runOffline(options);

    CApplication app;
    platform::DisplayOptions display;
    display.windowed = options.windowed;
    display.width = options.width;
    display.height = options.height;
    if (const int status = app.init(display)) return status;
    app.placeInTitle = options.windowed;
    if (options.toGiven) app.stopAtMs = options.toMs;
    live::FrameStats stats;
    if (options.stats) app.stats = &stats;
    app.precalc();
    if (options.fromMs > 0) live::seek(app, options.fromMs);
    app.execute();
    platform::soundStop();
    app.deinit();
    if (options.stats) stats.print(stderr);
    return 0;
}
