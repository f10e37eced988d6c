// What the headless tools do to their outputs and when things go wrong,
// through the real executable: targets that are not regular files, a full
// disk, an encoder that fails or stalls, SIGINT and SIGTERM, a stretch that
// holds no frame.
#include "app/DemoProcess.h"
#include "platform/Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

namespace {

namespace fs = std::filesystem;

// A new empty folder of the test's own.
std::string freshDir(const std::string& name) {
    const fs::path dir = fs::path(testgl::tmpDir()) / ("output-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// A stand-in for ffmpeg: a shell script in a folder put first on PATH. Asked
// for its encoders (before a capture renders), it hands over to the real one.
std::pair<std::string, std::string> fakeFfmpeg(const std::string& dir, const std::string& body) {
    const std::string bin = dir + "/bin";
    fs::create_directories(bin);
    const char* path = std::getenv("PATH");
    const std::string searched = path ? path : "/usr/bin:/bin";
    writeText(bin + "/ffmpeg", "#!/bin/sh\n"
                               "[ \"$2\" = -encoders ] && PATH='" + searched + "' exec ffmpeg \"$@\"\n" + body);
    fs::permissions(bin + "/ffmpeg", fs::perms::owner_all);
    return {"PATH", bin + ":" + searched};
}

// The process whose pid a stand-in wrote into `pidFile` is gone (ended and
// reaped), not left running.
void expectProcessGone(const std::string& pidFile) {
    const pid_t pid = std::atoi(slurp(pidFile).c_str());
    ASSERT_GT(pid, 0) << pidFile;
    EXPECT_EQ(kill(pid, 0), -1) << "left running";
    EXPECT_EQ(errno, ESRCH);
}

TEST(OutputTest, TargetsThatAreNotRegularFilesAreRefusedAndLeftAsTheyAre) {
    const std::string dir = freshDir("special");
    fs::create_directory(dir + "/folder");
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/socket", dir.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    fs::create_symlink(dir + "/nowhere", dir + "/dangling");
    fs::create_symlink(dir + "/fifo", dir + "/to-fifo");
    fs::create_symlink(dir + "/folder", dir + "/to-folder");
    std::vector<std::string> targets = {"folder", "fifo", "socket", "dangling", "to-fifo", "to-folder"};
    // A device node like /dev/null, where we may make one (as root).
    if (mknod((dir + "/device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) targets.push_back("device");
    const std::vector<std::string> before = namesIn(dir);

    for (const std::string& name : targets) {
        const std::string path = dir + "/" + name;
        struct stat was;
        ASSERT_EQ(lstat(path.c_str(), &was), 0);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--frame", "100", "--out", path, "--fps", "1"},
              std::vector<std::string>{"--capture", path, "--to", "1000", "--fps", "1"}}) {
            const RunResult r = runDemo(args);
            EXPECT_EQ(r.status, 2) << name << " " << args[0] << ": " << r.err;
            EXPECT_EQ(lines(r.err), 1) << r.err; // one line, nothing rendered
            EXPECT_NE(r.err.find("'" + path + "'"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("left as it is"), std::string::npos) << r.err;
            struct stat now;
            ASSERT_EQ(lstat(path.c_str(), &now), 0) << name;
            EXPECT_EQ(now.st_mode, was.st_mode) << name;
            EXPECT_EQ(now.st_ino, was.st_ino) << name;
        }
    }
    EXPECT_EQ(namesIn(dir), before); // and nothing was made beside them
    close(sock);
}

// A symbolic link to a regular file: the file it leads to gets the picture,
// the link stays as it was.
TEST(OutputTest, LinkToARegularFileIsFollowed) {
    const std::string dir = freshDir("link");
    writeText(dir + "/real.png", "old");
    fs::create_symlink("real.png", dir + "/link.png");
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/link.png", "--fps", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir + "/link.png"));
    EXPECT_EQ(fs::read_symlink(dir + "/link.png"), "real.png");
    EXPECT_EQ(slurp(dir + "/real.png").compare(1, 3, "PNG"), 0);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"link.png", "real.png"}));
}

// The longest name a folder takes still has room for the partial file beside
// it (its name is shortened); a longer one is refused before anything is done.
TEST(OutputTest, LongestNameIsWrittenLongerOneRefused) {
    const std::string dir = freshDir("long-name");
    const std::string longest = std::string(251, 'a') + ".mp4", tooLong = "b" + longest;
    const RunResult r = runDemo({"--capture", dir + "/" + longest, "--to", "200", "--fps", "10", "--silent"});
    EXPECT_EQ(r.status, 0) << r.err;
    const RunResult refused = runDemo({"--capture", dir + "/" + tooLong, "--to", "200", "--fps", "10"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, DEMO_PROGRAM_NAME ": cannot write '" + dir + "/" + tooLong + "': File name too long\n");
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{longest});
}

// A write that fails (the disk is full) says so in one line, exits 1 and
// leaves neither a partial file nor a damaged target: the old file stays.
TEST(OutputTest, FailedWriteLeavesTheOldFileAndNothingElse) {
    const std::string dir = freshDir("full");
    writeText(dir + "/still.png", "the previous still");
    RunOptions o;
    o.fileSizeLimit = 4096;
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/still.png", "--fps", "1"}, o);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": cannot write '" + dir + "/still.png': File too large; no picture written"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(dir + "/still.png"), "the previous still");
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"still.png"});
}

// ffmpeg that gives up after two frames: no SIGPIPE, one line with its own
// last words, status 1, no file.
TEST(OutputTest, EncoderThatStopsReadingIsReported) {
    const std::string dir = freshDir("encoder-quits");
    RunOptions o;
    o.set = {fakeFfmpeg(dir, "head -c 5000000 >/dev/null\n"
                             "echo 'something first' >&2\n"
                             "echo 'out.mp4: No space left on device' >&2\n"
                             "exit 1\n")};
    const std::string video = dir + "/video.mp4";
    const RunResult r = runDemo({"--capture", video, "--to", "2000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.signal, 0) << "killed by signal " << r.signal;
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": ffmpeg stopped reading frames (ffmpeg: out.mp4: No space left on device); "
                         "no video written\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"bin"});
}

// ffmpeg that takes every frame but fails at the end: its status counts.
TEST(OutputTest, EncoderThatFailsAtTheEndIsReported) {
    const std::string dir = freshDir("encoder-fails");
    RunOptions o;
    o.set = {fakeFfmpeg(dir, "cat >/dev/null\necho 'Error writing trailer' >&2\nexit 1\n")};
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "300", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": ffmpeg failed (ffmpeg: Error writing trailer); no video written\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"bin"});
}

// The real ffmpeg on a full disk.
TEST(OutputTest, FullDiskDuringACaptureLeavesNoFile) {
    const std::string dir = freshDir("capture-full");
    RunOptions o;
    o.fileSizeLimit = 20000;
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "1000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.signal, 0) << "killed by signal " << r.signal;
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": ffmpeg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no video written"), std::string::npos) << r.err;
    EXPECT_TRUE(namesIn(dir).empty());
}

// Ctrl-C in the middle of a capture: it stops after the frame, removes the
// partial file, ends ffmpeg and exits 130.
TEST(OutputTest, InterruptedCaptureLeavesNoFile) {
    const std::string dir = freshDir("capture-interrupted");
    RunOptions o;
    o.signal = SIGINT;
    o.when = [](const std::string& err, const std::string&) { return err.find("/100 frames") != std::string::npos; };
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "10000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGINT; no video written\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("100/100 frames"), std::string::npos); // it did not run on to the end
    EXPECT_TRUE(namesIn(dir).empty());
}

// SIGTERM while ffmpeg hangs and takes no frames: the demo is not stuck in
// its write, and ends and reaps ffmpeg before it exits 143.
TEST(OutputTest, TerminatedCaptureEndsAStalledEncoder) {
    const std::string dir = freshDir("encoder-stalls");
    const std::string pidFile = dir + "/ffmpeg.pid";
    RunOptions o;
    o.set = {fakeFfmpeg(dir, "echo $$ > '" + pidFile + "'\nexec sleep 60\n")};
    o.signal = SIGTERM;
    o.when = [&](const std::string&, const std::string&) { return fs::exists(pidFile) && fs::file_size(pidFile) > 0; };
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "2000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGTERM; no video written\n"), std::string::npos) << r.err;
    expectProcessGone(pidFile);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"bin", "ffmpeg.pid"}));
}

// A benchmark stopped early prints the figures of the frames it rendered:
// signalled once its progress says the first frame is done.
TEST(OutputTest, InterruptedBenchmarkPrintsWhatItMeasured) {
    RunOptions o;
    o.signal = SIGINT;
    o.when = [](const std::string& err, const std::string&) {
        return err.find(DEMO_PROGRAM_NAME ": 1/2002 frames") != std::string::npos;
    };
    const RunResult r = runDemo({"--benchmark", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGINT"), std::string::npos) << r.err;
    const size_t total = r.out.find("\ntotal ");
    ASSERT_NE(total, std::string::npos) << r.out;
    long from = -1, to = -1, frames = -1;
    ASSERT_EQ(std::sscanf(r.out.c_str() + total, "\ntotal %ld - %ld %ld", &from, &to, &frames), 3) << r.out;
    EXPECT_GT(frames, 0) << r.out;
    EXPECT_LT(frames, 2000) << r.out; // the whole demo at 10 fps is 2002 frames
    EXPECT_EQ(to, frames * 100); // the stretch the frames cover, to where the last one's step ends
}

// A signal that comes before the still is rendered: no picture, status 143.
TEST(OutputTest, StillStopsOnASignal) {
    const std::string dir = freshDir("still-stopped");
    RunOptions o;
    o.signal = SIGTERM;
    o.signalPending = true;
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/still.png", "--fps", "1"}, o);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGTERM; no picture written\n"), std::string::npos) << r.err;
    EXPECT_TRUE(namesIn(dir).empty());
}

// A benchmark stopped before its first frame prints no table of nothing (no
// "total 0 - -17"): one line says nothing was measured.
TEST(OutputTest, BenchmarkStoppedBeforeItsFirstFrameSaysNothingWasMeasured) {
    RunOptions o;
    o.signal = SIGTERM;
    o.signalPending = true;
    const RunResult r = runDemo({"--benchmark", "--silent"}, o);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGTERM; nothing measured\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("total"), std::string::npos) << r.out;
}

// --from 100 --to 900 at 1 fps holds no frame (frames are at 0, 1000, ...).
TEST(OutputTest, StretchWithoutAFrameIsRefused) {
    const std::string dir = freshDir("no-frame");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--capture", dir + "/video.mp4", "--from", "100", "--to", "900", "--fps", "1"},
          std::vector<std::string>{"--benchmark", "--from", "100", "--to", "900", "--fps", "1"}}) {
        const RunResult r = runDemo(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": --from 100 --to 900 holds no frame at 1 fps\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(namesIn(dir).empty());
    // One frame in the stretch is enough.
    const RunResult r = runDemo({"--benchmark", "--from", "100", "--to", "1001", "--fps", "1", "--silent"});
    EXPECT_EQ(r.status, 0) << r.err;
}

// A closed terminal (SIGHUP) in the middle of a capture: handled as Ctrl-C
// is, with the shell's status 129, ffmpeg ended and waited for, no file.
TEST(OutputTest, HangUpDuringACaptureLeavesNoFileAndNoEncoder) {
    const std::string dir = freshDir("capture-hangup");
    const std::string pidFile = dir + "/ffmpeg.pid";
    RunOptions o;
    o.set = {fakeFfmpeg(dir, "echo $$ > '" + pidFile + "'\nexec cat >/dev/null\n")};
    o.signal = SIGHUP;
    o.when = [](const std::string& err, const std::string&) { return err.find("/100 frames") != std::string::npos; };
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "10000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 129) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": stopped by SIGHUP; no video written\n"), std::string::npos) << r.err;
    expectProcessGone(pidFile);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"bin", "ffmpeg.pid"}));

    // A still and a benchmark likewise: no partial file, the figures so far.
    const std::string stillDir = freshDir("still-hangup");
    RunOptions pending;
    pending.signal = SIGHUP;
    pending.signalPending = true;
    const RunResult still = runDemo({"--frame", "100", "--out", stillDir + "/still.png", "--fps", "1"}, pending);
    EXPECT_EQ(still.status, 129) << still.err;
    EXPECT_TRUE(namesIn(stillDir).empty());
    RunOptions later;
    later.signal = SIGHUP;
    later.when = [](const std::string&, const std::string& out) { return out.find("start-up") != std::string::npos; };
    const RunResult bench = runDemo({"--benchmark", "--fps", "10", "--silent"}, later);
    EXPECT_EQ(bench.status, 129) << bench.err;
    EXPECT_NE(bench.out.find("\ntotal "), std::string::npos) << bench.out;
}

// Progress in a log (stderr is a file here): plain lines, no carriage
// returns, one when the first frame is done, then at most one a tenth of the way.
TEST(OutputTest, ProgressInALogIsPlainLines) {
    const std::string dir = freshDir("progress");
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "2000", "--fps", "10", "--silent"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": 1/20 frames (5%)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": 2/20 frames (10%)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": 20/20 frames (100%)"), std::string::npos) << r.err;
    EXPECT_LE(lines(r.err), 12) << r.err;
}

// The encoder's process on its own, with a short wait: one that takes no
// input, and one that never ends after its input closed, count as stalled
// and are ended (not left running).
TEST(OutputTest, StalledEncoderIsEndedAfterItsWait) {
    const std::string dir = freshDir("stall-unit");
    const std::string pidFile = dir + "/pid";
    std::vector<char> frame(1 << 20, 'x');
    for (const bool reads : {false, true}) {
        platform::PipedProcess p;
        p.stallMs = 300;
        std::string error;
        const std::string body = reads ? "cat >/dev/null; exec sleep 60" : "exec sleep 60";
        ASSERT_TRUE(p.start({"sh", "-c", "echo $$ > '" + pidFile + "'; " + body}, &error)) << error;
        bool written = true;
        for (int i = 0; i < 4 && written; ++i) written = p.write(frame.data(), frame.size());
        EXPECT_EQ(written, reads);
        if (reads) {
            EXPECT_FALSE(p.finish());
        }
        EXPECT_TRUE(p.stalled()) << reads;
        p.abort();
        expectProcessGone(pidFile);
    }
    // One that just takes its time within the wait is not stalled.
    platform::PipedProcess slow;
    slow.stallMs = 5000;
    std::string error;
    ASSERT_TRUE(slow.start({"sh", "-c", "sleep 0.3; cat >/dev/null"}, &error));
    EXPECT_TRUE(slow.write(frame.data(), frame.size()));
    EXPECT_TRUE(slow.finish());
    EXPECT_FALSE(slow.stalled());
}

// An encoder that exits 0 but writes nothing, or something that is no
// video, is a failure: status 1, and the old file of that name stays.
TEST(OutputTest, EncoderThatWritesNoVideoIsAFailure) {
    for (const char* body : {"cat >/dev/null\nexit 0\n",
                             "cat >/dev/null\nfor a; do last=$a; done\necho 'not a video' > \"$last\"\nexit 0\n"}) {
        const std::string dir = freshDir("encoder-empty");
        const std::string video = dir + "/video.mp4";
        writeText(video, "the old video");
        RunOptions o;
        o.set = {fakeFfmpeg(dir, body)};
        const RunResult r = runDemo({"--capture", video, "--to", "300", "--fps", "10", "--silent"}, o);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": ffmpeg ended without a readable video"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("; no video written\n"), std::string::npos) << r.err;
        EXPECT_EQ(slurp(video), "the old video");
        EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"bin", "video.mp4"}));
    }
}

// While a modal message box is up its own loop runs, not ours: a stop signal
// then ends the process at once, with the same line and status.
TEST(OutputTest, StopSignalEndsTheProcessAtOnceWhileABoxIsUp) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string errPath = testgl::tmpDir() + "/box-signal.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            platform::catchStopSignals();
            platform::exitOnStopSignal(true); // as while the box is shown
            kill(getpid(), signal);
            pause(); // a box's loop that never looks at the signal
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(slurp(errPath), std::string(DEMO_PROGRAM_NAME ": stopped by ") + platform::signalName(signal) + "\n");
    }
}

} // namespace
