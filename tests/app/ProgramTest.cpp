// The real demo executable, started as a user would: options, a headless
// run that quits cleanly, and a machine with no display.
#include "app/DemoProcess.h"
#include "app/Live.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(ProgramTest, HelpPrintsUsageAndSucceeds) {
    const RunResult r = runDemo({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: " DEMO_PROGRAM_NAME), std::string::npos);
}

TEST(ProgramTest, UnknownOptionGivesOneLineAndStatusTwo) {
    const RunResult r = runDemo({"--fullscreen-please"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": unknown option '--fullscreen-please' (or a missing value); see " DEMO_PROGRAM_NAME " --help\n");
    EXPECT_EQ(r.out, "");
}

TEST(ProgramTest, NoDisplayExitsOneWithOneClearLine) {
    const RunResult r = runDemo({"--silent"}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": cannot open a display"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--capture, --frame and --benchmark render headless"), std::string::npos) << r.err;
}

// Live, SIGINT, SIGTERM and SIGHUP (a closed terminal) end the demo in
// order: one line, and the shell's status for the signal.
TEST(ProgramTest, LiveRunEndsOnEachStopSignalWithOneLineAndItsStatus) {
    // The test environment selects SDL's offscreen driver: a real GL context, no screen.
    const std::pair<int, const char*> signals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [signal, name] : signals) {
        RunOptions o;
        o.signal = signal;
        // Once it plays: start-up has said nothing by then, so wait a moment.
        o.signalAfterMs = 1500;
        const RunResult r = runDemo({"--window", "--silent"}, o);
        EXPECT_EQ(r.signal, 0) << name;
        EXPECT_EQ(r.status, 128 + signal) << name << "\n" << r.err;
        EXPECT_EQ(r.err, std::string(DEMO_PROGRAM_NAME ": stopped by ") + name + "\n");
    }
}

// A start at the very end shows the last picture and ends by itself (a
// safety SIGTERM after a minute would show as status 143).
TEST(ProgramTest, LiveStartAtTheEndEndsAtOnce) {
    for (const char* from : {"200000", "199990"}) {
        RunOptions o;
        o.signal = SIGTERM;
        o.signalAfterMs = 60000;
        const RunResult r = runDemo({"--window", "--silent", "--from", from}, o);
        EXPECT_EQ(r.status, 0) << from << "\n" << r.err;
        EXPECT_EQ(r.err, "") << from;
    }
}

} // namespace

namespace {

TEST(ProgramTest, HelpListsTheKeysAndNewOptionsAreCheckedLikeTheOthers) {
    const RunResult help = runDemo({"--help"});
    for (int i = 0; i < live::kKeyUseCount; ++i) {
        EXPECT_NE(help.out.find(std::string("  ") + live::kKeyUses[i].keys + " "), std::string::npos) << help.out;
        EXPECT_NE(help.out.find(std::string(" ") + live::kKeyUses[i].does + "\n"), std::string::npos) << help.out;
    }
    EXPECT_NE(help.out.find("--stats"), std::string::npos);
    EXPECT_NE(help.out.find("--loop"), std::string::npos);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--stats", "--benchmark"}, "--stats goes with playing live"},
        {{"--passes"}, "--passes goes with --benchmark"},
        {{"--frame", "100", "--benchmark", "--out", "x.png"}, "choose one of --capture, --frame and --benchmark"},
        {{"--from", "5000", "--to", "4000"}, "--to must be later than --from"},
        {{"--from", "20x"}, "--from needs a music time from 0 to 200000 ms, as ms (74800), m:ss.d (1:14.8) or seconds (74.8s); not '20x'"},
        {{"--silent", "stray", "--window"}, "unknown option 'stray'"},
        {{"--window", "stray", "--silent"},
         "--window needs WIDTHxHEIGHT in pixels, at least 4x3, such as 1280x720; not 'stray'"},
        {{"--capture", "x.mp4", "--crf", "52"}, "--crf needs a whole number from 0 to 51, not '52'"},
        {{"--capture", "x.mp4", "--crf", "17.5"}, "--crf needs a whole number from 0 to 51, not '17.5'"},
        {{"--capture", "x.mp4", "--preset", "quick"},
         "--preset needs one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, "
         "placebo, not 'quick'"},
        {{"--benchmark", "--crf", "20"}, "--crf goes with --capture"},
        {{"--preset", "fast"}, "--preset goes with --capture"},
        {{"--loop", "--capture", "x.mp4"}, "--loop goes with playing live"},
        {{"--capture", "x.mkv", "--crf", "0"}, "--crf goes with an .mp4 --capture (H.264)"},
        {{"--capture", "x.avi"}, "--capture writes .mp4, .mkv, .mov or numbered PNG stills (frames/%05d.png), not 'x.avi'"},
        {{"--capture", "frames/still.png"},
         "--capture of PNG stills needs one %d-style frame number in the file name, such as frames/%05d.png; "
         "not 'frames/still.png'"},
        {{"--capture", "frames/%d-%d.png"},
         "--capture of PNG stills needs one %d-style frame number in the file name, such as frames/%05d.png; "
         "not 'frames/%d-%d.png'"},
        {{"--capture", "%05d.png"},
         "--capture of PNG stills writes into a folder of its own, such as frames/%05d.png; not '%05d.png'"},
        {{"--capture", "x.mov", "--size", "641x480"}, "a .mov --capture needs an even width (ProRes 4:2:2), not --size 641x480"},
    };
    for (const auto& [args, line] : cases) {
        const RunResult r = runDemo(args);
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": " + line + "; see " DEMO_PROGRAM_NAME " --help\n");
    }
}

} // namespace
