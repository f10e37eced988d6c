// Window, main loop and shutdown.
//
// The loop never sleeps while playing: each turn handles one waiting event or
// draws one frame, so all waiting events are handled before the next frame.
// Escape, a quit request and closing the window end the demo; Space, the
// arrows, Page Up / Down and Home are the live controls (Live.h); o, i and a
// click on its bar work the on-screen display (Osd.h); Ctrl + / - step the
// audio delay (Sound.h); other keys do nothing. While paused, the held frame is shown again every 10 ms.
#include "app/CApplication.h"

#include "app/DataFolder.h"
#include "app/Live.h"
#include "app/Offline.h"
#include "app/TrackCheck.h"
#include "app/Options.h"
#include "app/Timeline.h"
#include "platform/Output.h"
#include "platform/Sound.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <string>

bool done = false;
float skip = 0.0f;

namespace {
// The most a frame's lead may be, ms (a stall is no frame time to predict).
constexpr double kMaxPresentLeadMs = 50;
} // namespace

int CApplication::init(const platform::DisplayOptions& display) {
    previousFrameTime = kUnmeasured;
    std::string error;
    if (const platform::DisplayStatus status = platform::openDisplay(display, &error);
        status != platform::DisplayStatus::Open) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return status == platform::DisplayStatus::SizeRefused ? 2 : 1;
    }
    currentFrameTime = 0;
    if (!display.headless) {
        osdRenderer.open();
        osdRenderer.prepare(osd::fontPixels(platform::presentation().picture.h));
        platform::setOverlay([](const platform::Presentation& where, void* app) {
            static_cast<CApplication*>(app)->overlay(where);
        }, this);
    }
    // The window shows black while start-up loads.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    platform::present();
    return 0;
}

void CApplication::turn() {
    // SIGINT, SIGTERM or SIGHUP: the demo ends as by Escape (the caller says why).
    if (platform::stopSignal()) {
        done = true;
        return;
    }
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
    case platform::Event::ToggleOsd: osd.toggle(timeGetTime()); return;
    case platform::Event::ToggleInfo: osd.toggleStats(); return;
    case platform::Event::PointerMoved: osd.pointerMoved(timeGetTime()); return;
    case platform::Event::SoundLater:
    case platform::Event::SoundEarlier:
        platform::soundSetDelayMs(platform::soundDelayMs() + (event == platform::Event::SoundLater ? 10 : -10));
        osd.delayChanged(platform::soundDelayMs(), timeGetTime());
        return;
    default: break;
    }
    // A seek: a key's step from the music time now, or a click on the bar's time.
    auto targetOf = [this](platform::Event e, double fromMs) {
        return e == platform::Event::Click ? osd.clickTarget(e.x, e.y, timeGetTime())
                                           : live::seekTarget(e, fromMs);
    };
    double target = targetOf(event, demoMS);
    if (target < 0) return; // every other key does nothing
    // Seek keys waiting behind this one add up to one seek (a held arrow key
    // repeats), and an Escape or quit among them ends the demo before any
    // catch-up is played. Other events are handled as they come.
    for (platform::Event next; platform::pollEvent(&next);) {
        if (next == platform::Event::Escape || next == platform::Event::Quit) {
            done = true;
            return;
        }
        const double then = targetOf(next, target);
        if (then >= 0)
            target = then;
        else
            handle(next);
    }
    live::seek(*this, stopAtMs >= 0 ? std::min(target, stopAtMs) : target);
    lastScene = -1;
    titleUntil = platform::monotonicMs() + 3000;
    osd.seeked(timeGetTime());
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
    // The music holds at the picture on screen, so both go on from there (no
    // lead while paused: the music time is exactly the picture's).
    if (on) presentLeadMs = 0;
    platform::soundSetLeadMs(0);
    if (on) platform::soundSeek(static_cast<uint32_t>(std::max(demoMS, 0.0f)));
    // The pause is no frame time: the next frame starts afresh.
    previousFrameTime = kUnmeasured;
    lastScene = -1;
    titleUntil = on ? 0 : platform::monotonicMs() + 3000;
    osd.pausedChanged(on, timeGetTime());
    showPlace();
}

void CApplication::overlay(const platform::Presentation& where) {
    const uint64_t now = timeGetTime();
    if (osd.pointerShown(now) != pointerShown) {
        pointerShown = !pointerShown;
        platform::showPointer(pointerShown);
    }
    if (const osd::View* view = osd.view(where.picture, now, currentScene, demoMS, stats))
        osdRenderer.draw(*view, where);
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
    // A frame is on screen about one frame interval after it reads the clock
    // (rendered, then shown at the next refresh): the picture reads the music
    // that will be heard then. Measured through PulseAudio against mpv
    // (scripts/measure-sync.sh, software GL under Xvfb): 46 ms late without
    // this at 28 fps; with it 11 ms at 34 fps, 23 and 31 ms at 26 and 24 fps
    // on a machine loaded by other builds (the frame then reaches the screen
    // later than one interval after reading the clock).
    if (interval > 0) presentLeadMs += (std::min<double>(interval, kMaxPresentLeadMs) - presentLeadMs) * 0.1;
    platform::soundSetLeadMs(paused ? 0.0 : presentLeadMs);
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

void CApplication::deinit() {
    platform::setOverlay(nullptr, nullptr);
    osdRenderer.release();
    platform::closeDisplay();
}

extern const char* musicFile; // Timeline.cpp: the track InitFMOD starts

int demoMain(int argc, char** argv) {
    // From here on SIGINT, SIGTERM and SIGHUP end the program in order: after
    // the frame in hand, with its output cleaned up, one line and 128 + the signal.
    platform::catchStopSignals();
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, &options, &error)) {
    case ParseResult::Help: std::fputs(usageText().c_str(), stdout); return 0;
    case ParseResult::Version: std::fputs(versionText().c_str(), stdout); return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "demo: %s; see demo --help\n", platform::printable(error).c_str());
        return 2;
    case ParseResult::Run: break;
    }
    // Output names are the user's, relative to where the demo was started.
    if (!options.output.empty()) options.output = platform::absolutePath(options.output);
    enterDataFolder(platform::executableDir());
    if (options.silent) musicFile = nullptr;
    if (options.mode != Mode::Live) return runOffline(options);

    CApplication app;
    platform::DisplayOptions display;
    display.windowed = options.windowed;
    display.width = options.width;
    display.height = options.height;
    display.followWindow = options.nativeSize;
    display.glDebug = options.glDebug;
    if (const int status = app.init(display)) return status;
    platform::soundSetDelayMs(options.audioDelayMs);
    app.placeInTitle = options.windowed;
    if (options.toGiven) app.stopAtMs = options.toMs;
    live::FrameStats stats; // printed with --stats, shown by the OSD's second line
    app.stats = &stats;
    if (musicFile) {
        // A track too short for the demo plays what it holds; the clock runs on.
        const std::string shortfall = trackShortfall(musicFile, kDemoEndMs);
        if (!shortfall.empty())
            std::fprintf(stderr, "demo: %s; the demo runs on silently after it\n", shortfall.c_str());
    }
    app.precalc();
    if (options.fromMs > 0) live::seek(app, options.fromMs);
    if (!platform::stopSignal()) app.execute();
    platform::soundStop();
    app.deinit();
    if (options.stats) stats.print(stderr);
    if (const int signal = platform::stopSignal()) {
        std::fprintf(stderr, "demo: stopped by %s\n", platform::signalName(signal));
        return 128 + signal;
    }
    return 0;
}
