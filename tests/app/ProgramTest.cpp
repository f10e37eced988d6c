// The real demo executable, started as a user would: options, a headless
// run that quits cleanly, and a machine with no display.
#include "app/DemoProcess.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramTest, HelpPrintsUsageAndSucceeds) {
    const RunResult r = runDemo({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: demo"), std::string::npos);
}

TEST(ProgramTest, UnknownOptionGivesOneLineAndStatusTwo) {
    const RunResult r = runDemo({"--fullscreen-please"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "demo: unknown option '--fullscreen-please' (or a missing value); see demo --help\n");
    EXPECT_EQ(r.out, "");
}

TEST(ProgramTest, NoDisplayExitsOneWithOneClearLine) {
    const RunResult r = runDemo({"--silent"}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("demo: cannot open a display"), std::string::npos) << r.err;
}

TEST(ProgramTest, HeadlessRunPlaysFramesAndQuitsCleanlyOnInterrupt) {
    // The test environment selects SDL's offscreen driver: a real GL context, no screen.
    const RunResult r = runDemo({"--window", "--silent"}, {}, 2500);
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace

namespace {

TEST(ProgramTest, HelpListsTheKeysAndNewOptionsAreCheckedLikeTheOthers) {
    const RunResult help = runDemo({"--help"});
    EXPECT_NE(help.out.find("Space pauses"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--stats"), std::string::npos);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--stats", "--benchmark"}, "--stats goes with playing live"},
        {{"--passes"}, "--passes goes with --benchmark"},
        {{"--frame", "100", "--benchmark", "--out", "x.png"}, "choose one of --capture, --frame and --benchmark"},
        {{"--from", "5000", "--to", "4000"}, "--to must be later than --from"},
        {{"--from", "20x"}, "--from needs a music time from 0 to 200000 ms, not '20x'"},
        {{"--window", "stray", "--silent"}, "unknown option 'stray'"},
        {{"--capture", "x.mp4", "--crf", "52"}, "--crf needs a whole number from 0 to 51, not '52'"},
        {{"--capture", "x.mp4", "--crf", "17.5"}, "--crf needs a whole number from 0 to 51, not '17.5'"},
        {{"--capture", "x.mp4", "--preset", "quick"},
         "--preset needs one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, "
         "placebo, not 'quick'"},
        {{"--benchmark", "--crf", "20"}, "--crf and --preset go with --capture"},
        {{"--preset", "fast"}, "--crf and --preset go with --capture"},
    };
    for (const auto& [args, line] : cases) {
        const RunResult r = runDemo(args);
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_EQ(r.err, "demo: " + line + "; see demo --help\n");
    }
}

} // namespace
