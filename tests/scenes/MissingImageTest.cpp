// Start-up with one image missing: the problem names the file with its
// folder, start-up goes on, the slot holds an empty texture, frames render.
#include "app/CApplication.h"
#include "app/Engine.h"
#include "app/Startup.h"
#include "app/Timeline.h"
#include "image/Texture.h"
#include "support/GLContext.h"

#include <GL/gl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>


namespace {

namespace fs = std::filesystem;

TEST(MissingImageTest, StartUpGoesOnWithAnEmptySlot) {
    ASSERT_TRUE(testgl::ensureContext());
    const fs::path dir = fs::path(testgl::tmpDir()) / "missing-image";
    fs::remove_all(dir);
    fs::create_directories(dir / "Textures");
    for (const auto& e : fs::directory_iterator(fs::path(testgl::dataDir()) / "Textures"))
        if (e.path().filename() != "noise.jpg") fs::copy_file(e.path(), dir / "Textures" / e.path().filename());
    ASSERT_EQ(chdir(dir.c_str()), 0);

    // Collect what start-up prints on stderr.
    const std::string errPath = (dir / "stderr.txt").string();
    fflush(stderr);
    const int saved = dup(2);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    musicFile = nullptr;
    useFixedStepClock(nullptr);
    CApplication app;
    app.precalc();
    fflush(stderr);
    dup2(saved, 2);
    close(err);
    std::ifstream f(errPath);
    std::stringstream text;
    text << f.rdbuf();
    // Start-up gathers it (the caller shows it: one box live, a refusal
    // headless) and says nothing itself; the other images load without a word.
    EXPECT_EQ(text.str(), "");
    EXPECT_EQ(startupProblems(), std::vector<std::string>{"File Textures/noise.jpg not found!"});

    // The slot still has its own id, after cola and the four LEDs and the rest.
    EXPECT_EQ(engine->textures[kSlotNoise], 12u);
    engine->textureManager->bind(engine->textures[kSlotNoise]);
    GLint w = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 0);
    engine->textureManager->bind(engine->textures[kSlotCola]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 256);

    setFixedStepPosition(5000);
    app.run();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
