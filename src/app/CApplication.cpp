// Window, main loop and shutdown.
//
// The loop never sleeps: each turn handles one waiting event or draws one
// frame, so all waiting events are handled before the next frame. Escape, a
// quit request and closing the window end the demo; other keys do nothing.
#include "app/CApplication.h"

#include "app/Offline.h"
#include "app/Options.h"
#include "app/Timeline.h"
#include "platform/Sound.h"

#include <GL/gl.h>

#include <cstdio>
#include <string>

bool done = false;
float skip = 0.0f;

bool CApplication::init(const platform::DisplayOptions& display) {
    previousFrameTime = kUnmeasured;
    std::string error;
    if (!platform::openDisplay(display, &error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return false;
    }
    currentFrameTime = 0;
    // The window shows black while start-up loads.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    platform::present();
    return true;
}

void CApplication::turn() {
    platform::Event event;
    if (platform::pollEvent(&event)) {
        // A turn that handled an event draws no frame.
        if (event == platform::Event::Escape || event == platform::Event::Quit) done = true;
        return;
    }
    frame();
}

void CApplication::frame() {
    if (previousFrameTime == kUnmeasured) previousFrameTime = timeGetTime();
    currentFrameTime = timeGetTime();
    // Signed difference: no lower bound, a stall of 2.5 s or more gives 50.
    skip = static_cast<float>(static_cast<int64_t>(currentFrameTime - previousFrameTime)) / 50.0f;
    if (skip > 50.0f) skip = 50.0f;
    previousFrameTime = currentFrameTime;
    if (drawFrame) {
        drawFrame();
        return;
    }
    run();
    platform::present();
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
    case ParseResult::Help: std::fputs(usageText(), stdout); return 0;
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
    if (!app.init(display)) return 1;
    app.precalc();
    app.execute();
    platform::soundStop();
    app.deinit();
    return 0;
}
