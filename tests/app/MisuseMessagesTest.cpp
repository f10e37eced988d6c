// Messages: every line starts with the program's name and names what it is
// about (a data file with its folder, a file where a folder should be, a file
// that may not be read). The arguments' one rule for numbers and empty words
// is in OptionsTest.
#include "app/MisuseFixtures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace misuse;

// Live, with the track playing on the dummy driver and an image missing:
// every line starts with the program's name, and the missing file's line
// names the data folder.
TEST(MisuseMessages, EveryLineStartsWithTheProgramsName) {
    const std::string dir = freshDir("live-lines");
    fs::copy(testgl::dataDir(), dir, fs::copy_options::recursive);
    fs::remove(dir + "/Textures/noise.jpg");
    RunOptions o;
    o.dir = dir;
    const RunResult r = runDemo({"--window", "--to", "200"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream err(r.err);
    int count = 0;
    for (std::string line; std::getline(err, line); ++count)
        EXPECT_EQ(line.rfind(DEMO_PROGRAM_NAME ": ", 0), 0u) << line;
    EXPECT_GE(count, 2) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": File Textures/noise.jpg not found! in " + dir + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(dir + "/demosong.mp3"), std::string::npos) << "the track's lines name its folder\n" << r.err;
}

// A file where the stills' folder should be is called a file; a data file
// that may not be read is not called missing.
TEST(MisuseMessages, FilesAreCalledWhatTheyAre) {
    const std::string dir = freshDir("kinds");
    writeText(dir + "/afile", "");
    const RunResult r = runDemo({"--capture", dir + "/afile/%05d.png", "--to", "200", "--fps", "10"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": '" + dir + "/afile' is a regular file, not an empty folder; left as it is\n");

    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as a user whom permissions bind";
    const std::string data = freshDir("unreadable");
    fs::copy(testgl::dataDir(), data, fs::copy_options::recursive);
    chmod(data.c_str(), 0777);
    chmod((data + "/Textures/noise.jpg").c_str(), 0);
    RunOptions o;
    o.dir = data;
    o.set = {{"MESA_SHADER_CACHE_DISABLE", "true"}};
    o.inChild = becomeNobody;
    const RunResult u = runDemo({"--frame", "100", "--out", data + "/still.png", "--fps", "1"}, o);
    EXPECT_EQ(u.status, 2);
    EXPECT_EQ(u.err, DEMO_PROGRAM_NAME ": File Textures/noise.jpg cannot be read: Permission denied! in " + data +
                         "; nothing rendered\n");
}

} // namespace
