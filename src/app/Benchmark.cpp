// The frame benchmark: every frame of a stretch on the fixed step, timed to
// the end of its rasterisation, with figures per scene in ms and in layers
// (a yardstick measured while the scene ran).
#include "app/LayerClock.h"
#include "app/OfflineRun.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "fx/FramePasses.h"
#include "fx/Glow.h"
#include "platform/Output.h"
#include "platform/Platform.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The frame time `share` (0.95, 0.99) of the frames keep within: nearest rank.
double percentile(std::vector<double> v, double share) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(share * v.size() - 1e-9)) - 1)];
}

double percentile95(const std::vector<double>& v) { return percentile(v, 0.95); }

double mean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return v.empty() ? 0 : s / v.size();
}

// The yardstick for frame costs on this machine: full-screen textured quads
// blended over a 1024 x 768 picture, as a glow pass lays them, timed to the
// end of their rasterisation; ms per quad, the mean of `rounds` rounds of ten.
double layerMs(int rounds) {
    double sum = 0;
    for (int round = 0; round < rounds; ++round) {
        glFinish();
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) engine->glow->RenderBlur(engine->textureManager, 0.1f);
        glFinish();
        sum += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    return sum / (10.0 * rounds);
}

} // namespace

namespace offline {

int runBenchmark(CApplication& app, const Options& o) {
    const FramePlan p = planFrames(o.stepFps(), o.fromMs, o.toMs, o.toGiven);
    replayUnshown(app, msOf(p.first, p.stepMs), p.stepMs);
    std::vector<double> perScene[kSceneCount], all;
    all.reserve(static_cast<size_t>(shownFrames(p)));
    for (auto& v : perScene) v.reserve(all.capacity());
    // Pass times per scene, summed over its frames (ms on the GL timeline).
    double passes[kSceneCount][kFramePasses] = {};
    // Layers measured while each scene ran: their sum and count.
    double layerSum[kSceneCount] = {};
    int layerCount[kSceneCount] = {};
    // Music time of each scene's first and last frame rendered.
    double firstMs[kSceneCount], lastMs[kSceneCount];
    std::fill(firstMs, firstMs + kSceneCount, -1.0);
    // Each scene's slowest frame: its music time, and the layer measured
    // nearest after it (the frame's cost against the machine's load then).
    double slowestMs[kSceneCount] = {}, slowestAtMs[kSceneCount] = {}, slowestLayer[kSceneCount] = {};
    bool layerAfterSlowest[kSceneCount] = {};
    LayerClock clock;
    const bool clocked = clock.open();
    Progress progress(shownFrames(p));
    const bool timed = o.passes;
    enableFramePasses(timed);
    for (long n = p.first, sinceLayer = 0; (p.last < 0 || n <= p.last) && !platform::stopSignal(); ++n) {
        const auto t0 = std::chrono::steady_clock::now();
        renderFrame(app, msOf(n, p.stepMs), p.stepMs);
        glFinish(); // the software rasteriser's work is part of the frame
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        endFramePasses(passes[currentScene]);
        if (perScene[currentScene].empty()) firstMs[currentScene] = msOf(n, p.stepMs);
        lastMs[currentScene] = msOf(n, p.stepMs);
        if (ms > slowestMs[currentScene]) {
            slowestMs[currentScene] = ms;
            slowestAtMs[currentScene] = msOf(n, p.stepMs);
            layerAfterSlowest[currentScene] = true;
        }
        perScene[currentScene].push_back(ms);
        all.push_back(ms);
        progress.update(static_cast<long>(all.size())); // outside the frame's time
        // Ten layers after every 15th frame and after a scene's first: about
        // 3 % more work, outside the frames' times and the passes.
        if (clocked && (perScene[currentScene].size() == 1 || ++sinceLayer == 15)) {
            sinceLayer = 0;
            enableFramePasses(false);
            const double measured = clock.measure();
            layerSum[currentScene] += measured;
            ++layerCount[currentScene];
            if (layerAfterSlowest[currentScene]) {
                slowestLayer[currentScene] = measured;
                layerAfterSlowest[currentScene] = false;
            }
            enableFramePasses(timed);
        }
        if (p.last < 0 && done) break;
    }
    enableFramePasses(false);
    progress.update(static_cast<long>(all.size()), true);
    // The whole run's yardstick right after the frames, on the same 1024 x 768
    // layer as the scenes' (whatever --size the frames had); a run stopped by
    // a signal prints its figures in ms only.
    double layer = 0;
    if (!platform::stopSignal()) {
        if (clocked) {
            for (int i = 0; i < 10; ++i) layer += clock.measure() / 10;
        } else {
            layer = layerMs(10);
        }
    }
    auto inLayers = [](double ms, double layer) {
        char text[16];
        if (layer > 0) std::snprintf(text, sizeof text, "%8.2f", ms / layer);
        else std::snprintf(text, sizeof text, "%8s", "-");
        return std::string(text);
    };
    // A layer's ms, or "-" where none was measured (a run stopped early).
    auto layerCell = [](double layer) {
        char text[16];
        if (layer > 0) std::snprintf(text, sizeof text, "%8.2f", layer);
        else std::snprintf(text, sizeof text, "%8s", "-");
        return std::string(text);
    };
    // The music time the frames of [first, last] cover: from the first to
    // where the last one's step ends, within `endMs` (a stretch's end, --to,
    // the demo's end).
    auto covered = [&](double firstMs, double lastMs, double endMs) {
        return std::pair<double, double>(firstMs, std::min({lastMs + p.stepMs, endMs, double(kDemoEndMs)}));
    };
    const double runEndMs = o.toGiven ? o.toMs : kDemoEndMs;
    std::printf("scene  music time (ms)      frames   mean ms   p95 ms  layer ms  mean layers  p95 layers\n");
    for (int i = 0; i < kSceneCount; ++i) {
        const int s = stretchScene(i);
        if (perScene[s].empty()) continue;
        const double m = mean(perScene[s]), p95 = percentile95(perScene[s]);
        const double sceneLayer = layerCount[s] > 0 && layer > 0 ? layerSum[s] / layerCount[s] : 0.0;
        const auto [from, to] = covered(std::max<double>(stretchStartMs(i), firstMs[s]), lastMs[s],
                                        std::min<double>(stretchEndMs(i), runEndMs));
        std::printf("%5d  %6.0f - %6.0f  %10zu  %8.2f  %7.2f  %s     %s    %s\n", s + 1, from, to,
                    perScene[s].size(), m, p95, layerCell(sceneLayer).c_str(), inLayers(m, sceneLayer).c_str(),
                    inLayers(p95, sceneLayer).c_str());
    }
    if (timed) {
        std::printf("\nmean ms per frame of each pass (CPU clock between glFinish brackets)\nscene");
        for (int k = 0; k < kFramePasses; ++k) std::printf(" %11s", framePassName(static_cast<FramePass>(k)));
        std::printf("\n");
        for (int i = 0; i < kSceneCount; ++i) {
            const int s = stretchScene(i);
            if (perScene[s].empty()) continue;
            std::printf("%5d", s + 1);
            for (int k = 0; k < kFramePasses; ++k) std::printf(" %11.2f", passes[s][k] / perScene[s].size());
            std::printf("\n");
        }
    }
    double total = 0;
    for (double x : all) total += x;
    if (all.empty()) {
        std::printf("total  nothing measured: stopped before the first frame at %.0f ms\n", msOf(p.first, p.stepMs));
    } else {
        const auto [from, to] = covered(msOf(p.first, p.stepMs),
                                        msOf(p.first + static_cast<long>(all.size()) - 1, p.stepMs), runEndMs);
        std::printf("total  %6.0f - %6.0f  %10zu  %8.2f  %7.2f  %s     %s    %s   (%.1f s, %.1f fps)\n", from, to,
                    all.size(), mean(all), percentile95(all), layerCell(layer).c_str(),
                    inLayers(mean(all), layer).c_str(), inLayers(percentile95(all), layer).c_str(), total / 1000.0,
                    all.size() * 1000.0 / total);
    }
    if (!all.empty()) {
        // The worst frames, after the table the scripts read: the 99th
        // percentile and the slowest frame with its music time; in layers, the
        // slowest against the layer measured next after it.
        std::printf("\nscene   p99 ms  slowest ms  slowest at (ms)  p99 layers  slowest layers\n");
        int worst = -1;
        for (int i = 0; i < kSceneCount; ++i) {
            const int s = stretchScene(i);
            if (perScene[s].empty()) continue;
            if (worst < 0 || slowestMs[s] > slowestMs[worst]) worst = s;
            const double sceneLayer = layerCount[s] > 0 && layer > 0 ? layerSum[s] / layerCount[s] : 0.0;
            if (slowestLayer[s] <= 0 || layer <= 0) slowestLayer[s] = sceneLayer;
            const double p99 = percentile(perScene[s], 0.99);
            std::printf("%5d  %7.2f  %10.2f  %15.1f    %s        %s\n", s + 1, p99, slowestMs[s], slowestAtMs[s],
                        inLayers(p99, sceneLayer).c_str(), inLayers(slowestMs[s], slowestLayer[s]).c_str());
        }
        const double p99 = percentile(all, 0.99);
        std::printf("whole  %7.2f  %10.2f  %15.1f    %s        %s\n", p99, slowestMs[worst], slowestAtMs[worst],
                    inLayers(p99, layer).c_str(), inLayers(slowestMs[worst], slowestLayer[worst]).c_str());
    }
    if (platform::stopSignal()) {
        std::fflush(stdout);
        return stopped(all.empty() ? "nothing measured"
                                   : "the figures are of the frames rendered before it; the layer was not measured");
    }
    std::printf("layer: one blended full-screen textured quad over a 1024 x 768 picture, in this run: a scene's "
                "mean of ten after its first frame and every 15th; the total's, 10 x 10 after the frames (%.2f ms)\n",
                layer);
    return 0;
}

} // namespace offline

bool LayerClock::open() {
    return scratch_.open(platform::kDesignWidth, platform::kDesignHeight);
}

double LayerClock::measure() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    scratch_.bind();
    const double ms = layerMs(1);
    scratch_.unbind();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return ms;
}

