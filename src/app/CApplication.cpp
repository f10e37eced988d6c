// Window, main loop and shutdown.
//
// The loop never sleeps while playing: each turn handles one waiting event or
// draws one frame, so all waiting events are handled before the next frame.
// Escape, q, a quit request and closing the window end the demo (or, with
// the loop on, the end starts it again); the keys of live::kKeyUses are the
// live controls (Live.h); o, i, ?, F1 and a click on its bar work the
// on-screen display (Osd.h); Ctrl + / - step the audio delay (Sound.h);
// other keys do nothing. While paused, the held frame is shown again every
// 10 ms. Live frames draw the picture at the render scale (RenderScale.h);
// a held picture, a seek's and a step's are drawn at full size.
#include "app/CApplication.h"

#include "app/Live.h"
#include "app/Snapshot.h"
#include "app/Timeline.h"
#include "platform/Output.h"
#include "platform/Sound.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

bool done = false;
float skip = 0.0f;

namespace {

// A key going down (not a release, the pointer or the window).
bool keyPress(platform::Event event) {
    switch (event) {
    case platform::Event::KeyUp:
    case platform::Event::Quit:
    case platform::Event::Other:
    case platform::Event::Click:
    case platform::Event::Release:
    case platform::Event::PointerMoved: return false;
    default: return true;
    }
}

// The most a frame's lead may be, ms (a stall is no frame time to predict).
constexpr double kMaxPresentLeadMs = 50;
} // namespace

int CApplication::init(const platform::DisplayOptions& display) {
    previousFrameTime = kUnmeasured;
    std::string error;
    if (const platform::DisplayStatus status = platform::openDisplay(display, &error);
        status != platform::DisplayStatus::Open) {
        // Without a screen the headless modes still work.
        const char* hint = status == platform::DisplayStatus::NoScreen
                               ? "; without one, --capture, --frame and --benchmark render headless"
                               : "";
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s%s\n", error.c_str(), hint);
        return status == platform::DisplayStatus::SizeRefused ? 2 : 1;
    }
    currentFrameTime = 0;
    renderScale.setIntervalMs(platform::refreshIntervalMs());
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
    if (paused || scrubbing) {
        // The held frame stays on screen; the window stays responsive.
        platform::present();
        platform::sleepMs(10);
        return;
    }
    frame();
}

void CApplication::handle(platform::Event event) {
    // Escape too only closes the list: a viewer closes what they opened.
    if (osd.helpShown() && keyPress(event)) {
        osd.showHelp(false);
        return;
    }
    switch (event) {
    case platform::Event::Escape:
    case platform::Event::Quit: done = true; return;
    case platform::Event::Space: setPaused(!paused); return;
    case platform::Event::ToggleOsd: osd.toggle(timeGetTime()); return;
    case platform::Event::ToggleInfo: osd.toggleStats(); return;
    case platform::Event::PointerMoved:
        osd.pointerMoved(timeGetTime());
        if (scrubbing) drag(event.x, false);
        return;
    case platform::Event::Release:
        if (scrubbing) drag(event.x, true);
        return;
    case platform::Event::ToggleFullscreen:
        platform::setFullscreen(!platform::fullscreen());
        renderScale.setIntervalMs(platform::refreshIntervalMs()); // the window may be on another display now
        return;
    case platform::Event::KeyHelp: osd.showHelp(true); return;
    case platform::Event::SavePicture: live::savePicture(*this); return;
    case platform::Event::ToggleLoop:
        loop = !loop;
        osd.notice(loop ? "loop on" : "loop off", timeGetTime());
        return;
    case platform::Event::ToggleMute:
        muted = !muted;
        volumeChanged();
        return;
    case platform::Event::VolumeDown:
    case platform::Event::VolumeUp: {
        const int step = event == platform::Event::VolumeUp ? live::kVolumeStep : -live::kVolumeStep;
        const int next = std::clamp(volumePercent + step, 0, live::kVolumeMax);
        if (next == volumePercent) return; // at its end: nothing happens
        volumePercent = next;
        volumeChanged();
        return;
    }
    case platform::Event::SoundLater:
    case platform::Event::SoundEarlier: {
        platform::soundSetDelayMs(platform::soundDelayMs() + (event == platform::Event::SoundLater ? 10 : -10));
        char text[32];
        std::snprintf(text, sizeof text, "audio delay %+d ms", platform::soundDelayMs());
        osd.notice(text, timeGetTime());
        return;
    }
    default: break;
    }
    // A seek: a key's step from the music time now, or a click on the bar's time.
    auto targetOf = [this](platform::Event e, double fromMs) {
        switch (e) {
        case platform::Event::Click: return osd.clickTarget(e.x, e.y, timeGetTime());
        case platform::Event::StepForward: return live::stepTarget(fromMs, 1);
        case platform::Event::StepBack: return live::stepTarget(fromMs, -1);
        default: return live::seekTarget(e, fromMs);
        }
    };
    // A frame step pauses (the picture holds on the frame stepped to).
    if ((event == platform::Event::StepForward || event == platform::Event::StepBack) && !paused) setPaused(true);
    double target = targetOf(event, demoMS);
    if (target < 0) return; // every other key does nothing
    // A press on the bar starts a drag: the music is silent until the button
    // is released, and the picture follows the pointer.
    if (event == platform::Event::Click) {
        scrubbing = true;
        platform::soundPause(true);
        seekAndShow(target);
        return;
    }
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
    // Looping, a seek to the end or past it starts again.
    if (loop && target >= (stopAtMs >= 0 ? stopAtMs : kDemoEndMs)) target = loopFromMs;
    seekAndShow(stopAtMs >= 0 ? std::min(target, stopAtMs) : target);
}

void CApplication::drag(int x, bool released) {
    // Pointer motion that queued up while the last picture was drawn: only
    // the newest place counts, so the picture keeps up with the pointer.
    for (platform::Event next; !released && platform::pollEvent(&next);) {
        if (next == platform::Event::PointerMoved || next == platform::Event::Release) {
            x = next.x;
            released = next == platform::Event::Release;
            osd.pointerMoved(timeGetTime());
        } else if (next == platform::Event::Escape || next == platform::Event::Quit) {
            done = true;
            return;
        }
    }
    if (const double ms = osd.barTime(x); ms >= 0 && ms != placeMs) seekAndShow(ms);
    if (!released) return;
    // Released: the music goes on from the picture (still paused if it was).
    scrubbing = false;
    platform::soundPause(paused);
}

void CApplication::seekAndShow(double ms) {
    placeMs = ms;
    live::seek(*this, ms, true);
    lastScale = 1;
    lastScene = -1;
    titleUntil = platform::monotonicMs() + 3000;
    osd.seeked(timeGetTime());
    if (done) return;
    // The new place shows at once (and stays while paused); the next frame's
    // step counts from it.
    platform::present();
    previousFrameTime = timeGetTime();
    showPlace();
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
    // A held picture has every pixel: the frame on screen, drawn smaller,
    // is drawn again at full size (exactly what a scale of 1 would have drawn).
    if (on && lastScale < 1) {
        redraw();
        lastScale = 1;
    }
    // The pause is no frame time: the next frame starts afresh.
    previousFrameTime = kUnmeasured;
    lastScene = -1;
    titleUntil = on ? 0 : platform::monotonicMs() + 3000;
    osd.pausedChanged(on, timeGetTime());
    showPlace();
}

void CApplication::volumeChanged() {
    platform::soundSetGain(live::volumeGain(volumePercent, muted));
    char text[40];
    std::snprintf(text, sizeof text, "volume %d %%", volumePercent);
    osd.setMuted(muted);
    osd.notice(text, timeGetTime());
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
    // The scene that owns the moment, also before its first frame has run.
    if (placeInTitle) live::showPlace(sceneForTime(demoMS, currentScene), demoMS, paused);
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
    // The previous frame (still demoMS's) lasted until this one started.
    if (stats && lastScene >= 0) stats->add(lastScene, static_cast<double>(interval), demoMS, lastScale);
    if (drawFrame) {
        drawFrame();
        return;
    }
    // The picture at the scale chosen for the moment it will show (about an
    // interval after the last one); what its drawing cost, to the end of its
    // rasterisation, goes into the next choice.
    const double scale = renderScale.choose(demoMS + static_cast<double>(std::max<int64_t>(interval, 0)));
    platform::setRenderScale(scale);
    const auto start = std::chrono::steady_clock::now();
    run();
    platform::finishFrame();
    renderScale.measured(demoMS, scale,
                         std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    lastScale = scale;
    platform::present();
    // Whatever draws next draws whole unless it is a live frame (a held
    // picture is drawn again first: setPaused).
    platform::setRenderScale(1);
    placeMs = -1;
    lastScene = currentScene;
    if (stopAtMs >= 0 && demoMS >= stopAtMs) done = true;
    if (done && loop) {
        // The last frame was shown; every scene starts again as from start-up.
        live::seek(*this, loopFromMs);
        lastScene = -1;
    }
    if (titleUntil) {
        if (platform::monotonicMs() < titleUntil) {
            showPlace();
        } else {
            titleUntil = 0;
            platform::setWindowTitle(DEMO_DISPLAY_NAME);
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
