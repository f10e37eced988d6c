// geombench: what the largest mesh costs. A 64-segment sphere (4225
// vertices, 8192 triangles) is built and its normals computed, then drawn
// with each render mode into the 1024 x 768 offscreen framebuffer.
//
// Relies on: the platform layer's headless GL context (SDL offscreen driver,
// Mesa), Google Benchmark.
// Deliberately does not: measure presenting or the glow passes. Each draw
// ends with glFinish so that the rasterizer's work is counted, and real time
// is reported because Mesa's software rasterizer works on threads of its own.
#include "geometry/mesh.h"
#include "platform/GLExt.h"
#include "platform/Platform.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

Mesh* sphere = nullptr;
GLuint textures[2];

void BM_SphereBuildAndNormals(benchmark::State& state) {
    for (auto _ : state) {
        Mesh m;
        m.makeSphere(1.0f, 64);
        m.createNormals();
        benchmark::DoNotOptimize(m.vertexNormals);
    }
}
BENCHMARK(BM_SphereBuildAndNormals)->Unit(benchmark::kMicrosecond);

void BM_SphereNormals(benchmark::State& state) {
    for (auto _ : state) {
        sphere->createNormals();
        benchmark::DoNotOptimize(sphere->vertexNormals);
    }
}
BENCHMARK(BM_SphereNormals)->Unit(benchmark::kMicrosecond);

// The picture: a sphere of radius 1 seen from 2.6 units with a 45 degree
// lens, filling most of the frame; no depth test, so every fragment is drawn.
void setUpView() {
    glViewport(0, 0, platform::kDesignWidth, platform::kDesignHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, 1024.0 / 768.0, 0.5, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0.5, 2.6, 0, 0, 0, 0, 1, 0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glColor3f(1, 1, 1);
}

void setTexturing(int units) {
    for (int u = 1; u >= 0; --u) {
        arb::glActiveTextureARB(GL_TEXTURE0_ARB + u);
        if (u < units) {
            glBindTexture(GL_TEXTURE_2D, textures[u]);
            glEnable(GL_TEXTURE_2D);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
    }
}

void drawSeparatePairs() {
    // One glBegin/glEnd pair per triangle, for comparison with srender.
    const Mesh& m = *sphere;
    for (unsigned f = 0; f < m.faceAmount; ++f) {
        glBegin(GL_TRIANGLES);
        for (unsigned k = 3 * f; k < 3 * f + 3; ++k) glVertex3fv(&m.vertices[m.faces[k]].x);
        glEnd();
    }
}

template <typename Draw> void runDraw(benchmark::State& state, int textureUnits, Draw draw) {
    setUpView();
    setTexturing(textureUnits);
    draw(); // warm up the driver's state
    glFinish();
    for (auto _ : state) {
        draw();
        glFinish();
    }
    setTexturing(0);
    if (glGetError() != GL_NO_ERROR) state.SkipWithError("GL error");
}

void BM_srender(benchmark::State& s) { runDraw(s, 0, [] { sphere->srender(); }); }
void BM_srender_pairPerTriangle(benchmark::State& s) { runDraw(s, 0, drawSeparatePairs); }
void BM_trender(benchmark::State& s) { runDraw(s, 1, [] { sphere->trender(); }); }
void BM_frender(benchmark::State& s) { runDraw(s, 2, [] { sphere->frender(); }); }
void BM_wfrender(benchmark::State& s) { runDraw(s, 0, [] { sphere->wfrender(); }); }
void BM_wrender(benchmark::State& s) { runDraw(s, 0, [] { sphere->wrender(); }); }
void BM_prender(benchmark::State& s) { runDraw(s, 0, [] { sphere->prender(); }); }
void BM_render(benchmark::State& s) {
    // The fresh material: lit, textured triangles and a red line per face normal.
    glEnable(GL_LIGHT0);
    runDraw(s, 1, [] { sphere->render(); });
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
}
BENCHMARK(BM_srender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_srender_pairPerTriangle)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_trender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_frender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_wfrender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_wrender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_prender)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_render)->Unit(benchmark::kMicrosecond)->UseRealTime();

void makeTextures() {
    // A 256 x 256 gradient with mipmaps-free linear filtering: the cost of a
    // typical scene texture lookup.
    std::vector<unsigned char> pixels(256 * 256 * 3);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            unsigned char* p = &pixels[3 * (y * 256 + x)];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y);
            p[2] = static_cast<unsigned char>(x ^ y);
        }
    glGenTextures(2, textures);
    for (GLuint t : textures) {
        glBindTexture(GL_TEXTURE_2D, t);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    platform::DisplayOptions options;
    options.headless = true;
    std::string error;
    if (platform::openDisplay(options, &error) != platform::DisplayStatus::Open) {
        std::fprintf(stderr, "geombench: no GL context: %s\n", error.c_str());
        return 1;
    }
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    makeTextures();
    sphere = new Mesh();
    sphere->makeSphere(1.0f, 64);
    sphere->createNormals();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete sphere;
    platform::closeDisplay();
    return 0;
}
