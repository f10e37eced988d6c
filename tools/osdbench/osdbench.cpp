// osdbench: what the on-screen display adds to a frame. The OSD (band, bar,
// ticks, marker and its text, with and without the frame-rate line) is drawn
// over a picture in framebuffers the size of a 1024 x 768 window and of a
// 1920 x 1080 fullscreen (where the picture is 1440 x 1080), and the whole
// present() of a 1024 x 768 window is timed with the OSD hidden and shown.
//
// Relies on: the platform layer's window on SDL's offscreen driver (set here
// when no driver is named), Mesa, Google Benchmark. Every timed step ends
// with glFinish so that the rasterizer's work is counted, and real time is
// reported because Mesa's software rasterizer works on threads of its own.
// Deliberately does not: run a scene; the picture under the OSD is a flat
// colour (blending costs the same over any picture).
#include "app/Live.h"
#include "app/Osd.h"
#include "app/OsdDraw.h"
#include "platform/Platform.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

osd::Renderer renderer;
osd::Osd shownOsd; // paused: shown
osd::Osd hiddenOsd; // never seeked: hidden
osd::Osd* presentedOsd = nullptr;

// A framebuffer of its own at a window's size, standing in for the window's.
struct Target {
    GLuint fbo = 0, colour = 0;
};

Target makeTarget(int w, int h) {
    Target t;
    glGenRenderbuffers(1, &t.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, t.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenFramebuffers(1, &t.fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t.colour);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClearColor(0.5f, 0.2f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    return t;
}

// The OSD over a window of w x h (args), the picture letterboxed in it.
void BM_OsdDraw(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const bool withStats = state.range(2) != 0;
    const Target t = makeTarget(w, h);
    platform::Presentation where;
    where.windowWidth = w;
    where.windowHeight = h;
    const int pw = std::min(w, h * 4 / 3), ph = pw * 3 / 4;
    where.picture = {(w - pw) / 2, (h - ph) / 2, pw, ph};
    live::FrameStats stats;
    stats.add(3, 16.7);
    if (shownOsd.statsShown() != withStats) shownOsd.toggleStats();
    glFinish();
    double ms = 40000;
    for (auto _ : state) {
        ms += 16.7; // a new time each frame: new text, a moved marker
        const osd::View* view = shownOsd.view(where.picture, 0, 3, ms, &stats);
        renderer.draw(*view, where);
        glFinish();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, platform::frameBufferObject());
    glDeleteFramebuffers(1, &t.fbo);
    glDeleteRenderbuffers(1, &t.colour);
}
BENCHMARK(BM_OsdDraw)
    ->Args({1024, 768, 0})
    ->Args({1024, 768, 1})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()->UseRealTime();

// What the overlay does each present while the OSD is hidden: ask whether
// there is anything to draw (no GL call follows).
void BM_OsdHidden(benchmark::State& state) {
    const platform::PixelRect picture{0, 0, 1024, 768};
    for (auto _ : state) benchmark::DoNotOptimize(hiddenOsd.view(picture, 0, 3, 40000, nullptr));
}
BENCHMARK(BM_OsdHidden);

// What a glFinish costs with nothing to draw: the floor under the figures above.
void BM_FinishAlone(benchmark::State& state) {
    glFinish();
    for (auto _ : state) glFinish();
}
BENCHMARK(BM_FinishAlone)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

void overlay(const platform::Presentation& where, void*) {
    if (const osd::View* view = presentedOsd->view(where.picture, 0, 3, 40000, nullptr)) renderer.draw(*view, where);
}

// The whole present of a 1024 x 768 window (a scaled copy, the overlay, the
// swap), the OSD hidden (arg 0) or shown (arg 1).
void BM_Present(benchmark::State& state) {
    presentedOsd = state.range(0) ? &shownOsd : &hiddenOsd;
    if (shownOsd.statsShown()) shownOsd.toggleStats();
    glFinish();
    for (auto _ : state) {
        platform::present();
        glFinish();
    }
}
BENCHMARK(BM_Present)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // a window nobody sees, presented all the same
    platform::DisplayOptions options;
    options.windowed = true;
    std::string error;
    if (platform::openDisplay(options, &error) != platform::DisplayStatus::Open) {
        std::fprintf(stderr, "osdbench: %s\n", error.c_str());
        return 1;
    }
    if (!renderer.open()) return 1;
    shownOsd.pausedChanged(true, 0);
    platform::setOverlay(overlay, nullptr);
    benchmark::RunSpecifiedBenchmarks();
    renderer.release();
    platform::closeDisplay();
    return 0;
}
