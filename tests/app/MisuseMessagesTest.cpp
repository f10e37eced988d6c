// Messages and arguments: every line starts with the program's name and
// names what it is about (a data file with its folder, a file where a folder
// should be, a file that may not be read), and every number an option takes
// follows one rule, as does an empty argument.
#include "app/MisuseFixtures.h"
#include "app/Options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace misuse;

// Parses `args` (without the program name): the error, or "" when it runs.
std::string refusal(std::vector<std::string> args, Options* out = nullptr) {
    args.insert(args.begin(), DEMO_PROGRAM_NAME);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Options o;
    std::string error;
    const ParseResult r = parseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error);
    if (out) *out = o;
    return r == ParseResult::Error ? error : "";
}

// Digits only, leading zeros as many as given, a minus only where negative
// values exist; no spaces or plus signs anywhere. An empty word is no option.
TEST(MisuseMessages, EveryNumberFollowsOneRuleAndAnEmptyArgumentIsRefused) {
    Options o;
    EXPECT_EQ(refusal({"--frame", "0000074800", "--out", "x.png"}, &o), "");
    EXPECT_EQ(o.frameMs, 74800);
    EXPECT_EQ(refusal({"--frame", "00:05.5", "--out", "x.png"}, &o), "");
    EXPECT_EQ(o.frameMs, 5500);
    EXPECT_EQ(refusal({"--benchmark", "--fps", "0030", "--size", "01024x0768"}, &o), "");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.width, 1024);
    EXPECT_EQ(refusal({"--capture", "x.mp4", "--crf", "007"}, &o), "");
    EXPECT_EQ(o.crf, 7);
    EXPECT_EQ(refusal({"--audio-delay", "-0050"}, &o), "");
    EXPECT_EQ(o.audioDelayMs, -50);
    const std::vector<std::vector<std::string>> refused = {
        {"--benchmark", "--fps", " 30"},     {"--benchmark", "--fps", "+30"},    {"--benchmark", "--fps", "30 "},
        {"--benchmark", "--from", " 5"},     {"--capture", "x.mp4", "--crf", " 5"}, {"--capture", "x.mp4", "--crf", "+5"},
        {"--audio-delay", " 5"},             {"--audio-delay", "+5"},            {"--benchmark", "--size", " 640x480"},
        {"--benchmark", "--size", "+640x480"}, {"--benchmark", "--fps", "-0"},
    };
    for (const std::vector<std::string>& args : refused)
        EXPECT_NE(refusal(args), "") << ::testing::PrintToString(args);
    EXPECT_EQ(refusal({""}), "an empty argument ('') is no option");
    EXPECT_EQ(refusal({"--window", ""}), "an empty argument ('') is no option");
}

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
