// Signals and limits a run can meet: every signal that would end it from
// outside, a file-size limit, an unusable TMPDIR and few open files, a
// process limit, an image that claims far more pixels than its file holds.
// Through the real executable, each limit set in the child alone.
#include "app/MisuseFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

using namespace misuse;

bool holdsPartial(const std::string& dir) {
    for (const std::string& name : namesIn(dir))
        if (name.find(".partial") != std::string::npos) return true;
    return false;
}

// SIGQUIT, SIGUSR1 and the like stop a still or a capture as SIGTERM does:
// the partial output removed, one line, 128 + the signal. Each is sent once
// the partial file exists (the run is then past start-up).
TEST(MisuseLimits, EveryTerminatingSignalStopsLikeSigterm) {
    struct Case {
        int signal;
        const char* name;
        std::vector<std::string> args;
        const char* outcome;
    };
    const std::string dir = freshDir("signals");
    const Case cases[] = {
        {SIGQUIT, "SIGQUIT", {"--frame", "199000", "--out", dir + "/still.png"}, "no picture written"},
        {SIGUSR1, "SIGUSR1", {"--capture", dir + "/clip.mp4", "--fps", "10", "--silent"}, "no video written"},
        {SIGALRM, "SIGALRM", {"--capture", dir + "/frames/%05d.png", "--fps", "10", "--silent"}, "no video written"},
    };
    for (const Case& c : cases) {
        RunOptions o;
        o.signal = c.signal;
        o.when = [&](const std::string&, const std::string&) { return holdsPartial(dir); };
        const RunResult r = runDemo(c.args, o);
        EXPECT_EQ(r.status, 128 + c.signal) << c.name << ": " << r.err;
        EXPECT_EQ(r.signal, 0) << c.name;
        const std::string line = DEMO_PROGRAM_NAME ": stopped by " + std::string(c.name) + "; " + c.outcome + "\n";
        EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
        EXPECT_EQ(namesIn(dir), std::vector<std::string>{}) << c.name;
    }
}

// The program runDemo started (our only child).
pid_t demoChild() {
    for (const auto& e : fs::directory_iterator("/proc")) {
        std::istringstream stat(slurp(e.path().string() + "/stat"));
        std::string pid, name, state, parent;
        if (stat >> pid >> name >> state >> parent && std::atoi(parent.c_str()) == getpid()) return std::atoi(pid.c_str());
    }
    return 0;
}

// A second stop signal while the first is being acted on (here both come
// at once: the process is held with SIGSTOP meanwhile) ends the program at
// once, as one stuck where it never looks must end, its partial file removed.
TEST(MisuseLimits, ASecondStopSignalEndsAtOnce) {
    const std::string dir = freshDir("second-signal");
    RunOptions o;
    o.signal = SIGCONT; // sent by `when` itself, with the others
    o.when = [&](const std::string&, const std::string&) {
        if (!holdsPartial(dir)) return false;
        const pid_t pid = demoChild();
        kill(pid, SIGSTOP);
        kill(pid, SIGTERM);
        kill(pid, SIGQUIT);
        return true; // runDemo now sends SIGCONT
    };
    const RunResult r = runDemo({"--frame", "199000", "--out", dir + "/still.png"}, o);
    // The kernel hands the two over in an order of its own: either is the second.
    const bool quitLast = r.status == 128 + SIGQUIT;
    EXPECT_TRUE(quitLast || r.status == 128 + SIGTERM) << r.status << ": " << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by " + std::string(quitLast ? "SIGQUIT" : "SIGTERM") +
                         " (a second stop signal: ended at once)\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{});
}

// A file-size limit with SIGXFSZ at its default action: the write fails as
// on a full disk ("File too large", status 1) instead of the kernel killing
// the program with a partial file left.
TEST(MisuseLimits, AFileSizeLimitFailsTheWrite) {
    const std::string dir = freshDir("file-size");
    writeText(dir + "/still.png", "the previous still");
    RunOptions o;
    o.inChild = [] {
        signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/still.png", "--fps", "1"}, o);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(dir + "/still.png"), "the previous still");
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"still.png"});
}

// ffmpeg's messages do not depend on TMPDIR: a missing one changes nothing
// (no encoder list on stdout, no false "no libx264"). With few open files a
// capture succeeds or names that cause, never "no video stream".
TEST(MisuseLimits, AnUnusableTmpdirOrFewOpenFilesAreNamedAsThemselves) {
    const std::string dir = freshDir("tmpdir");
    RunOptions o;
    o.set = {{"TMPDIR", dir + "/missing"}};
    const RunResult r = runDemo({"--capture", dir + "/clip.mp4", "--to", "200", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks need files of their own (UBSan's type
    // checks fail without them), so so few cannot be tried under them.
    GTEST_SKIP() << "few open files cannot be tried under the sanitizers";
#endif
    for (const rlim_t files : {7, 8, 9, 10}) {
        RunOptions few;
        few.inChild = [files] {
            const rlimit limit{files, files};
            setrlimit(RLIMIT_NOFILE, &limit);
        };
        const RunResult f = runDemo({"--capture", dir + "/few.mp4", "--to", "200", "--fps", "10", "--silent"}, few);
        if (f.status != 0) {
            EXPECT_NE(f.err.find("Too many open files"), std::string::npos) << files << ": " << f.err;
        }
        EXPECT_EQ(f.err.find("no video stream"), std::string::npos) << files << ": " << f.err;
    }
}

// Under a process limit (as a user it binds: root is exempt) the software
// rasteriser gets only the threads that can be made, down to none, and the
// still is the same picture.
TEST(MisuseLimits, AProcessLimitLowersTheRasteriserThreads) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    const std::string dir = freshDir("nproc");
    chmod(dir.c_str(), 0777);
    const RunResult plain = runDemo({"--frame", "20000", "--out", dir + "/plain.png"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const rlim_t processes : {1, 4}) {
        RunOptions o;
        o.set = {{"MESA_SHADER_CACHE_DISABLE", "true"}};
        o.inChild = [processes] {
            becomeNobody();
            const rlimit limit{processes, processes};
            setrlimit(RLIMIT_NPROC, &limit);
        };
        // A guard, not a measure: a run that hangs is ended and fails.
        o.signal = SIGKILL;
        o.signalAfterMs = 600000;
        const std::string out = dir + "/limited-" + std::to_string(processes) + ".png";
        const RunResult r = runDemo({"--frame", "20000", "--out", out}, o);
        EXPECT_EQ(r.status, 0) << processes << ": " << r.err;
        EXPECT_TRUE(slurp(out) == slurp(dir + "/plain.png")) << processes;
    }
}

// A file that claims a picture far larger than its bytes could hold (2 KB
// claiming 8192 x 8192) is refused before its 256 MB are taken.
TEST(MisuseLimits, AnImageClaimingMorePixelsThanItsFileHoldsIsRefused) {
    const std::string dir = freshDir("forged-size");
    fs::copy(testgl::dataDir(), dir, fs::copy_options::recursive);
    std::string bytes = slurp(dir + "/Textures/blank.jpg");
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (const size_t at : {sof + 5, sof + 7}) bytes.replace(at, 2, "\x20\x00", 2); // 8192
    writeText(dir + "/Textures/blank.jpg", bytes);
    RunOptions o;
    o.dir = dir;
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/still.png", "--fps", "1"}, o);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": File Textures/blank.jpg cannot be read: its " + std::to_string(bytes.size()) +
                         " bytes are far too few for the 8192 x 8192 picture it claims! in " + dir +
                         "; nothing rendered\n");
}

} // namespace
