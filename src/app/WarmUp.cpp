// The warm-up: see WarmUp.h.
//
// It walks the timeline on a 60 Hz grid as play goes, advancing every scene's
// moving state, and draws (scissored to one pixel) every cut, as the last
// frame of one scene and the first of the next, and the moments the scene
// table gives each scene. Measured on this machine's llvmpipe (Mesa 22.3)
// with its shader cache off, the frames at the cuts made 20 to 380 ms of
// shaders each the first time; with the cache (~/.cache/mesa_shader_cache, or MESA_SHADER_CACHE_DIR)
// filled by an earlier run, 6 to 40 ms. The whole warm-up then takes about
// 2 s the first time (the frame at 0 alone 0.4 s, the cut into the tunnel
// 0.5 s) and 0.2 to 0.3 s afterwards.
#include "app/WarmUp.h"

#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Replay.h"
#include "app/Timeline.h"
#include "platform/GLExt.h"
#include "platform/Platform.h"
#include "platform/Spectrum.h"
#include "scenes/SceneTable.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

bool asked = false;        // live play asked for the warm-up
uint64_t askedBudgetMs = 0; // and gave it this budget (0: none)

// The last warm-up: its budget, the frames it drew (none before the first
// warm-up: every warm-up draws at least one) and the time it took, ms.
struct {
    bool cutShort = false;
    uint64_t budgetMs = 0, tookMs = 0;
    int drawn = 0;
} last;

// The grid the warm-up walks: live frames at 60 Hz, ms.
constexpr double kStepMs = 1000.0 / 60;

// What the warm-up draws: every cut as play meets it (the last frame of the
// scene before and the first of the next, the first scene's after start-up),
// the first frame of each later segment of a scene in segments, and each
// scene's own warm-up moments (the scene table's).
constexpr int countDrawn() {
    int n = 2 * kSceneCount - 1;
    for (const SceneEntry& s : kScenes) {
        n += s.segments - 1;
        for (float ms : s.warmUpMs) n += ms > 0;
    }
    return n;
}
constexpr int kDrawnCount = countDrawn();

// Texture units whose texture matrix a frame may change (the layer stack
// composes four layers on four units).
constexpr int kTextureUnits = 4;

// The grid frame at or after `ms`.
long gridFrame(double ms) { return static_cast<long>(std::ceil(ms / kStepMs - 1e-9)); }

// The grid frames the warm-up draws, in timeline order: from 89300 ms on the
// overlays draw with the texture environment the blob leaves, so they must
// meet it here as they will in play.
std::array<long, kDrawnCount> drawnFrames() {
    std::array<long, kDrawnCount> all{};
    int k = 0;
    for (int i = 0; i < kSceneCount; ++i) {
        if (i > 0) all[k++] = gridFrame(stretchStartMs(i)) - 1;
        all[k++] = gridFrame(stretchStartMs(i));
        const float from = stretchStartMs(i), segment = (stretchEndMs(i) - from) / kScenes[i].segments;
        for (int s = 1; s < kScenes[i].segments; ++s) all[k++] = gridFrame(from + s * segment);
        for (float ms : kScenes[i].warmUpMs)
            if (ms > 0) all[k++] = gridFrame(ms);
    }
    std::sort(all.begin(), all.end());
    return all;
}

// The matrices a frame sets: projection, modelview and each unit's texture
// matrix, kept as values and loaded back (the active unit and the matrix mode
// come back with the attributes).
struct Matrices {
    GLfloat projection[16], modelview[16], texture[kTextureUnits][16];
    int units;

    explicit Matrices(int unitCount) : units(unitCount) {
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        GLint active = GL_TEXTURE0_ARB;
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
        for (int u = 0; u < units; ++u) {
            arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
            glGetFloatv(GL_TEXTURE_MATRIX, texture[u]);
        }
        arb::glActiveTextureARB(static_cast<GLenum>(active)); // the frames start on the unit start-up left
    }
    void load() const {
        glMatrixMode(GL_PROJECTION);
        loadOne(projection);
        glMatrixMode(GL_MODELVIEW);
        loadOne(modelview);
        glMatrixMode(GL_TEXTURE);
        for (int u = 0; u < units; ++u) {
            arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
            loadOne(texture[u]);
        }
    }
    // The identity as an identity (as start-up left it), anything else as values.
    static void loadOne(const GLfloat* m) {
        static constexpr GLfloat kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        if (std::equal(m, m + 16, kIdentity))
            glLoadIdentity();
        else
            glLoadMatrixf(m);
    }
};

} // namespace

void warmUpBeforeMusic(bool on, uint64_t budgetMs) {
    asked = on;
    askedBudgetMs = budgetMs;
}

uint64_t warmUpBeforeMusicBudget() { return askedBudgetMs; }

bool warmUpBeforeMusicAsked() { return asked; }

int warmUpFrames() { return kDrawnCount; }

std::string lastWarmUpSummary() {
    if (last.drawn == 0) return {};
    std::string text = "warm-up before the music: " + std::to_string(last.drawn) + " of " +
                       std::to_string(kDrawnCount) + " moments in " + std::to_string(last.tookMs) + " ms";
    if (last.cutShort)
        text += ", cut short by its " + std::to_string(last.budgetMs) +
                " ms budget: play met the moments left for the first time (their shaders made then)";
    return text;
}

int warmUp(CApplication& app, uint64_t budgetMs, uint64_t (*clock)()) {
    if (!clock) clock = platform::monotonicMs;
    const uint64_t started = clock();
    uint64_t slowestMs = 0; // the slowest moment drawn so far
    // The program's own state a frame writes: the clock's readings, the
    // spectrum, the scene and the quit flag.
    const float savedDemoMs = demoMS, savedSkip = skip;
    const int savedScene = currentScene;
    const bool savedDone = done;
    float savedSpectrum[platform::kSpectrumBands];
    std::copy(frequencies, frequencies + platform::kSpectrumBands, savedSpectrum);
    const bool live = !fixedStepClock();

    // Every piece of GL state the frames set (the active texture unit and the
    // matrix mode with it).
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    units = std::min<GLint>(units, kTextureUnits);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    const Matrices matrices(units);

    if (live) useFixedStepClock(nullptr);
    // The grid walked from 0 as play goes, every scene's moving state
    // advanced between the frames drawn (zPos, the cloud stack, particles), so
    // each drawn frame sets up what play's frame there sets up. A frame's
    // cost is known when the walker asks about the next one.
    const std::array<long, kDrawnCount> drawn = drawnFrames();
    size_t next = 0;
    int drawnCount = 0;
    uint64_t drawnAt = 0; // when the last drawn frame started, ms
    walkGrid(app, drawn.back() + 1, kStepMs, [&](long n) {
        if (budgetMs && drawnCount > 0 && drawn[next - 1] == n - 1) {
            // The shaders are made as the draws are set up, in this thread.
            const uint64_t now = clock();
            slowestMs = std::max(slowestMs, now - drawnAt);
            if (now - started + slowestMs > budgetMs) return GridStep::Stop;
        }
        if (n != drawn[next]) return GridStep::Advance;
        while (next < drawn.size() && drawn[next] == n) ++next;
        ++drawnCount;
        if (budgetMs) drawnAt = clock();
        return GridStep::Draw;
    });
    if (live) useLiveClock();

    // The frame black, as the window showed it while loading.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    restartTimeline();
    matrices.load();
    glPopClientAttrib();
    glPopAttrib();
    // The line width as start-up leaves it (the GL's is back with the
    // attributes; the design width the next set-up scales is the engine's).
    setLineWidth(1);

    demoMS = savedDemoMs;
    skip = savedSkip;
    currentScene = savedScene;
    done = savedDone;
    std::copy(savedSpectrum, savedSpectrum + platform::kSpectrumBands, frequencies);
    last.budgetMs = budgetMs;
    last.cutShort = next < drawn.size(); // the budget stopped it
    last.drawn = drawnCount;
    last.tookMs = clock() - started;
    return drawnCount;
}
