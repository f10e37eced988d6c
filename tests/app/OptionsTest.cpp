// Command-line checks in process: every option that does nothing in the
// chosen mode is refused, a missing value never swallows the next option,
// and what a message echoes stays on one line.
#include "app/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses `args` (without the program name); the error, or "" when it runs.
std::string refusal(std::vector<std::string> args, Options* out = nullptr) {
    args.insert(args.begin(), "demo");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Options o;
    std::string error;
    const ParseResult r = parseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error);
    if (out) *out = o;
    return r == ParseResult::Error ? error : "";
}

TEST(OptionsTest, OptionsThatDoNothingInTheModeAreRefused) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--window", "--capture", "x.mp4"}, "--window goes with playing live (the headless tools open no window)"},
        {{"--window", "--frame", "100", "--out", "x.png"}, "--window goes with playing live (the headless tools open no window)"},
        {{"--benchmark", "--window"}, "--window goes with playing live (the headless tools open no window)"},
        {{"--stats", "--capture", "x.mp4"}, "--stats goes with playing live"},
        {{"--fps", "30"}, "--fps goes with --capture, --frame or --benchmark (live, frames follow the display)"},
        {{"--window", "--fps", "30"}, "--fps goes with --capture, --frame or --benchmark (live, frames follow the display)"},
        {{"--out", "x.png"}, "--out goes with --frame"},
        {{"--benchmark", "--out", "x.png"}, "--out goes with --frame"},
        {{"--capture", "x.mp4", "--passes"}, "--passes goes with --benchmark"},
        {{"--frame", "100", "--out", "x.png", "--from", "50"}, "--from goes with playing, --capture or --benchmark"},
        {{"--frame", "100", "--out", "x.png", "--to", "500"}, "--to goes with playing, --capture or --benchmark"},
        {{"--capture", "x.mp4", "--audio-delay", "100"}, "--audio-delay goes with playing live (the headless tools play no sound)"},
        {{"--benchmark", "--size", "native"}, "--size native goes with playing live (the headless tools have no window to follow)"},
        {{"--frame", "100", "--out", "x.png", "--render-scale", "0.8"}, "--render-scale goes with playing live (the headless tools draw every pixel)"},
        {{"--benchmark", "--stats-plot", "x.png"}, "--stats-plot goes with playing live"},
        {{"--stats-plot", "x.jpg"}, "--stats-plot writes a PNG picture: FILE.png, not 'x.jpg'"},
    };
    for (const auto& [args, line] : cases) EXPECT_EQ(refusal(args), line) << args[0] << " " << args[1];

    // What each mode does take.
    Options o;
    EXPECT_EQ(refusal({"--window", "--silent", "--from", "100", "--to", "900", "--stats", "--loop"}, &o), "");
    EXPECT_EQ(o.mode, Mode::Live);
    EXPECT_TRUE(o.loop);
    EXPECT_EQ(refusal({"--capture", "x.mp4", "--silent", "--from", "100", "--to", "900", "--fps", "25"}, &o), "");
    EXPECT_EQ(o.mode, Mode::Capture);
    EXPECT_EQ(refusal({"--frame", "100", "--out", "x.png", "--fps", "25", "--silent"}, &o), "");
    EXPECT_EQ(o.mode, Mode::Frame);
    EXPECT_EQ(refusal({"--benchmark", "--passes", "--from", "100", "--to", "900", "--fps", "25"}, &o), "");
    EXPECT_EQ(o.mode, Mode::Benchmark);
    EXPECT_EQ(refusal({"--frame", "100", "--out", "x.png", "--gl-debug"}, &o), "");
    EXPECT_TRUE(o.glDebug);
}

TEST(OptionsTest, TheRenderScaleIsAutoOrADecimalFromItsFloorToOne) {
    Options o;
    EXPECT_EQ(refusal({}, &o), "");
    EXPECT_EQ(o.renderScale, 0); // automatic unless told
    for (const auto& [text, scale] : std::vector<std::pair<const char*, double>>{
             {"auto", 0}, {"1", 1}, {"1.0", 1}, {"0.6", 0.6}, {"0.75", 0.75}}) {
        EXPECT_EQ(refusal({"--render-scale", text}, &o), "") << text;
        EXPECT_EQ(o.renderScale, scale) << text;
    }
    for (const char* text : {"0.5", "1.01", "0", "2", "", "Auto", "-0.8", ".8", "0.8.", "0.8.1", "8e-1", " 0.8", "nan"})
        EXPECT_EQ(refusal({"--render-scale", text}),
                  "--render-scale needs auto or a scale from 0.6 to 1 (such as 0.8), not '" + std::string(text) + "'")
            << text;
}

TEST(OptionsTest, TheAudioDelayIsAWholeNumberOfMsWithinASecondEitherWay) {
    Options o;
    for (const char* ms : {"-1000", "-200", "0", "35", "1000"}) {
        EXPECT_EQ(refusal({"--audio-delay", ms}, &o), "") << ms;
        EXPECT_EQ(o.audioDelayMs, std::stoi(ms));
    }
    for (const char* ms : {"-1001", "1001", "12.5", "", "1e2", "99999999999999999999"})
        EXPECT_EQ(refusal({"--audio-delay", ms}),
                  "--audio-delay needs a whole number of ms from -1000 to 1000, not '" + std::string(ms) + "'")
            << ms;
    EXPECT_EQ(refusal({"--window", "--size", "native"}, &o), "");
    EXPECT_TRUE(o.nativeSize);
    EXPECT_EQ(o.width, 0);
    EXPECT_NE(refusal({"--size", "Native"}), "");
}

TEST(OptionsTest, FrameRateDefaultsPerModeAreSaidInTheHelp) {
    Options o;
    ASSERT_EQ(refusal({"--frame", "100", "--out", "x.png"}, &o), "");
    EXPECT_EQ(o.stepFps(), 30);
    ASSERT_EQ(refusal({"--capture", "x.mp4"}, &o), "");
    EXPECT_EQ(o.stepFps(), 60);
    ASSERT_EQ(refusal({"--benchmark"}, &o), "");
    EXPECT_EQ(o.stepFps(), 60);
    const std::string help = usageText();
    EXPECT_NE(help.find("default 60 for\n"), std::string::npos) << help;
    EXPECT_NE(help.find("--capture and --benchmark, 30 for --frame"), std::string::npos) << help;
}

TEST(OptionsTest, AMissingValueNeverSwallowsTheNextOption) {
    EXPECT_EQ(refusal({"--capture", "--silent", "--to", "100"}), "--capture needs a value, not the option '--silent'");
    EXPECT_EQ(refusal({"--capture", "--benchmark"}), "--capture needs a value, not the option '--benchmark'");
    EXPECT_EQ(refusal({"--frame", "100", "--out", "--silent"}), "--out needs a value, not the option '--silent'");
    EXPECT_EQ(refusal({"--frame", "--out", "x.png"}), "--frame needs a value, not the option '--out'");
    // A file whose name starts with dashes is still reachable through a path.
    Options o;
    EXPECT_EQ(refusal({"--capture", "./--silent"}, &o), "");
    EXPECT_EQ(o.output, "./--silent");
}

TEST(OptionsTest, ControlCharactersInValuesAreShownEscaped) {
    EXPECT_EQ(refusal({"--from", "12\n34"}), "--from needs a music time from 0 to 200000 ms, as ms (74800), m:ss.d (1:14.8) or seconds (74.8s); not '12\\n34'");
    EXPECT_EQ(refusal({"--fps", "3\x1b[31m"}), "--fps needs a whole number from 1 to 240, not '3\\x1b[31m'");
    EXPECT_EQ(refusal({"--silent", "stray\tword"}), "unknown option 'stray\\tword' (or a missing value)");
    EXPECT_EQ(refusal({"--window", "stray\tword"}),
              "--window needs WIDTHxHEIGHT in pixels, at least 4x3, such as 1280x720; not 'stray\\tword'");
}

// Music times take exactly three forms: whole ms, m:ss(.d...) with two
// second digits, and seconds with an "s"; a value that is no whole ms, or
// anything that only strtod would take, is refused.
TEST(OptionsTest, MusicTimesAcceptExactlyTheDocumentedForms) {
    const std::pair<const char*, double> accepted[] = {
        {"1234", 1234},   {"0", 0},        {"200000", 200000}, {"1:14.8", 74800}, {"1:14.8000", 74800},
        {"0:05", 5000},   {"3:20", 200000}, {"74.8s", 74800},  {"5s", 5000},       {"0.001s", 1},
        {"00000000000000000001", 1}, // leading zeros, as many as given (as in every number)
    };
    for (const auto& [text, ms] : accepted) {
        Options o;
        EXPECT_EQ(refusal({"--frame", text, "--out", "x.png"}, &o), "") << text;
        EXPECT_EQ(o.frameMs, ms) << text;
    }
    for (const char* text : {"0x10", "1e3", " 10", "10 ", "1.5", "1000.5", "-5", "+5", "", "1:14.8005", "1:60",
                             "1:5", "1:5.0", ":05", "1:", "74.8", ".5s", "5.s", "5S", "0.0005s", "200001", "3:20.001",
                             "inf", "nan", "1:14.8s", "00000000000000200001", "12345678901"}) {
        for (const char* option : {"--frame", "--from", "--to"}) {
            const std::vector<std::string> args =
                std::string(option) == "--frame" ? std::vector<std::string>{option, text, "--out", "x.png"}
                                                 : std::vector<std::string>{option, text};
            const std::string why = refusal(args);
            EXPECT_EQ(why.rfind(std::string(option) + " needs a music time from 0 to 200000 ms", 0), 0u)
                << option << " '" << text << "': " << why;
        }
    }
}

// Digits only, leading zeros as many as given, a minus only where negative
// values exist; no spaces or plus signs anywhere. An empty word is no option.
TEST(OptionsTest, EveryNumberFollowsOneRuleAndAnEmptyArgumentIsRefused) {
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

} // namespace
