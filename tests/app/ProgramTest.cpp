// The real demo executable, started as a user would: options, a headless
// run that quits cleanly, and a machine with no display.
#include "support/GLContext.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct RunResult {
    int status = -1; // exit status, or -1 if it did not exit normally
    std::string err; // what it printed on stderr
    std::string out; // what it printed on stdout
};

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs the demo with `args`; `unset` names environment variables to remove.
// With interruptAfterMs > 0 the process gets SIGINT after that long.
RunResult runDemo(const std::vector<std::string>& args, const std::vector<std::string>& unset = {},
                  int interruptAfterMs = 0) {
    const std::string errPath = testgl::tmpDir() + "/demo-stderr.txt";
    const std::string outPath = testgl::tmpDir() + "/demo-stdout.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& name : unset) unsetenv(name.c_str());
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        dup2(out, 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(DEMO_EXE));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execve(DEMO_EXE, argv.data(), environ);
        _exit(127);
    }
    if (interruptAfterMs > 0) {
        usleep(static_cast<useconds_t>(interruptAfterMs) * 1000);
        kill(pid, SIGINT);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.err = slurp(errPath);
    r.out = slurp(outPath);
    return r;
}

TEST(ProgramTest, HelpPrintsUsageAndSucceeds) {
    const RunResult r = runDemo({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: demo"), std::string::npos);
}

TEST(ProgramTest, UnknownOptionGivesUsageAndStatusTwo) {
    const RunResult r = runDemo({"--fullscreen-please"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option '--fullscreen-please'"), std::string::npos);
    EXPECT_NE(r.err.find("Usage: demo"), std::string::npos);
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
