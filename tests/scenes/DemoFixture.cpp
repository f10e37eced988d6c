// Starts the demo once for the whole test process (see DemoFixture.h).
#include "scenes/DemoFixture.h"

#include "app/Engine.h"
#include "app/Timeline.h"
#include "image/Texture.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <unistd.h>


namespace demotest {

StartState startState;
bool started = false;
CApplication app;

namespace {

class StartDemo : public ::testing::Environment {
public:
    void SetUp() override {
        if (!testgl::ensureContext()) return;
        if (chdir(testgl::dataDir().c_str()) != 0) {
            ADD_FAILURE() << "no data folder at " << testgl::dataDir();
            return;
        }
        musicFile = nullptr;
        useFixedStepClock(nullptr);
        app.precalc();
        StartState& s = startState;
        s.depthTest = glIsEnabled(GL_DEPTH_TEST);
        s.lighting = glIsEnabled(GL_LIGHTING);
        s.blend = glIsEnabled(GL_BLEND);
        s.lineSmooth = glIsEnabled(GL_LINE_SMOOTH);
        glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
        glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
        glGetIntegerv(GL_LINE_SMOOTH_HINT, &s.lineSmoothHint);
        glGetDoublev(GL_PROJECTION_MATRIX, s.projection);
        glGetIntegerv(GL_VIEWPORT, s.viewport);
        started = true;
    }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new StartDemo);

} // namespace

void renderAt(double ms, double stepMs) {
    setFixedStepPosition(ms);
    skip = static_cast<float>(stepMs / 50.0);
    app.run();
}

unsigned solidTexture(std::array<unsigned char, 4> rgba) {
    const unsigned index = engine->textureManager->empty(4, GL_NEAREST);
    engine->textureManager->bind(index);
    std::vector<unsigned char> texels;
    for (int i = 0; i < 16; ++i) texels.insert(texels.end(), rgba.begin(), rgba.end());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return index;
}

Frame::Frame() : rgb_(platform::kDesignWidth * platform::kDesignHeight * 3) {
    platform::readFrame(rgb_.data());
}

std::array<int, 3> Frame::at(int x, int y) const {
    const unsigned char* p = &rgb_[(static_cast<size_t>(y) * platform::kDesignWidth + x) * 3];
    return {p[0], p[1], p[2]};
}

double Frame::differenceTo(const Frame& other) const {
    double sum = 0;
    for (size_t i = 0; i < rgb_.size(); ++i) sum += std::abs(rgb_[i] - other.rgb_[i]);
    return sum / rgb_.size();
}

double Frame::psnrTo(const Frame& other) const {
    double squared = 0;
    for (size_t i = 0; i < rgb_.size(); ++i) {
        const double d = rgb_[i] - other.rgb_[i];
        squared += d * d;
    }
    return squared == 0 ? 1e9 : 10 * std::log10(255.0 * 255.0 * rgb_.size() / squared);
}

int Frame::largestDifferenceTo(const Frame& other) const {
    int largest = 0;
    for (size_t i = 0; i < rgb_.size(); ++i) largest = std::max(largest, std::abs(rgb_[i] - other.rgb_[i]));
    return largest;
}

double Frame::shareNear(std::array<int, 3> rgb, int tolerance) const {
    long near = 0, all = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            if (x >= 896 && y >= 640) continue;
            const auto p = at(x, y);
            ++all;
            near += std::abs(p[0] - rgb[0]) <= tolerance && std::abs(p[1] - rgb[1]) <= tolerance &&
                    std::abs(p[2] - rgb[2]) <= tolerance;
        }
    return static_cast<double>(near) / all;
}

} // namespace demotest
