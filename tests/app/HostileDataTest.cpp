// The real executable against hostile data and a hostile system: data files
// that are FIFOs, devices or endless, a machine short of memory, a SIGKILL
// mid-capture, a Ctrl-C to the whole process group while a box's child is
// up. Nothing may hang, and nothing the program started may outlive it.
#include "app/DemoProcess.h"
#include "platform/FrameStream.h"
#include "platform/Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A data folder of links to the demo's files; `change` then replaces some.
std::string linkedData(const std::string& name) {
    const fs::path dir = fs::path(testgl::tmpDir()) / ("hostile-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir / "Textures");
    for (const auto& e : fs::directory_iterator(fs::path(testgl::dataDir()) / "Textures"))
        fs::create_symlink(e.path(), dir / "Textures" / e.path().filename());
    fs::copy_file(fs::path(testgl::dataDir()) / "demosong.mp3", dir / "demosong.mp3");
    return dir.string();
}

// A copy of the data file `relative` that runs on into `bytes` of zeros (sparse).
void endless(const std::string& dir, const std::string& relative, uintmax_t bytes) {
    const fs::path path = fs::path(dir) / relative;
    fs::remove(path);
    fs::copy_file(fs::path(testgl::dataDir()) / relative, path);
    fs::resize_file(path, bytes);
}

bool partialLeft(const std::string& dir) {
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().string().find(".partial") != std::string::npos) return true;
    return false;
}

// A process that is still there and not a zombie waiting to be reaped.
bool running(pid_t pid) {
    if (kill(pid, 0) != 0) return false;
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Whether `pid` is gone after at most `waits` looks 10 ms apart.
bool goneSoon(pid_t pid, int waits = 500) {
    for (int i = 0; i < waits && running(pid); ++i) usleep(10000);
    return !running(pid);
}

// Kills a run that hangs (the fault these tests look for) instead of
// waiting for it for ever.
RunOptions guarded(const std::string& dir) {
    RunOptions o;
    o.dir = dir;
    o.signal = SIGKILL;
    o.signalAfterMs = 60000;
    return o;
}

// Data files that are no regular files, and files that run on for 2 GB: each
// refused at once by name with its reason, nothing left behind; a track that
// is real music followed by zeros is read only as far as the demo needs.
TEST(HostileDataTest, SpecialAndEndlessDataFilesAreRefusedAtOnce) {
    struct Case {
        const char* name;
        void (*change)(const std::string& dir);
        const char* says; // in the one line, after "File "
    };
    const Case cases[] = {
        {"fifo-image", [](const std::string& d) { fs::remove(d + "/Textures/noise.jpg"); mkfifo((d + "/Textures/noise.jpg").c_str(), 0644); },
         "Textures/noise.jpg cannot be read: it is a FIFO, not a regular file!"},
        {"device-image", [](const std::string& d) { fs::remove(d + "/Textures/noise.jpg"); fs::create_symlink("/dev/zero", d + "/Textures/noise.jpg"); },
         "Textures/noise.jpg cannot be read: it is a character device, not a regular file!"},
        {"huge-image", [](const std::string& d) { endless(d, "Textures/noise.jpg", uintmax_t(2) << 30); },
         "Textures/noise.jpg cannot be read: it is 2048.0 MB, more than a 256 x 256 JPEG can take"},
        {"zero-image", [](const std::string& d) { fs::remove(d + "/Textures/noise.jpg"); std::ofstream(d + "/Textures/noise.jpg"); fs::resize_file(d + "/Textures/noise.jpg", uintmax_t(2) << 30); },
         "Textures/noise.jpg cannot be decoded: it is not a JPEG image!"},
        {"fifo-track", [](const std::string& d) { fs::remove(d + "/demosong.mp3"); mkfifo((d + "/demosong.mp3").c_str(), 0644); },
         "demosong.mp3 cannot be read: it is a FIFO, not a regular file!"},
        {"device-track", [](const std::string& d) { fs::remove(d + "/demosong.mp3"); fs::create_symlink("/dev/zero", d + "/demosong.mp3"); },
         "demosong.mp3 cannot be read: it is a character device, not a regular file!"},
    };
    for (const Case& c : cases) {
        const std::string dir = linkedData(c.name);
        c.change(dir);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--frame", "100", "--fps", "1", "--out", dir + "/still.png"},
              std::vector<std::string>{"--capture", dir + "/video.mp4", "--to", "300", "--fps", "10"}}) {
            const RunResult r = runDemo(args, guarded(dir));
            EXPECT_EQ(r.status, 2) << c.name << " " << args[0] << ": " << r.err;
            EXPECT_EQ(r.err.rfind(std::string(DEMO_PROGRAM_NAME ": File ") + c.says, 0), 0u) << c.name << ": " << r.err;
            EXPECT_NE(r.err.find(" in " + dir + "; nothing rendered"), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
        EXPECT_FALSE(partialLeft(dir)) << c.name;
        EXPECT_FALSE(fs::exists(dir + "/still.png"));
        fs::remove_all(dir);
    }
    // The whole track followed by 2 GB of zeros: enough music, the still is made.
    const std::string dir = linkedData("endless-track");
    endless(dir, "demosong.mp3", uintmax_t(2) << 30);
    const RunResult r = runDemo({"--frame", "100", "--fps", "1", "--out", dir + "/still.png"}, guarded(dir));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir + "/still.png"));
    // Live it plays: no hang on the main thread.
    const RunResult live = runDemo({"--window", "--from", "1000", "--to", "1300"}, guarded(dir));
    EXPECT_EQ(live.status, 0) << live.err;
    fs::remove_all(dir);
}

// With a damaged track and without the images, the refusal names the track
// first and counts every fault, and says in which folder it looked. (An
// empty track keeps this folder the data folder: one with neither the track
// nor the images is passed over for the build's own data.)
TEST(HostileDataTest, TheTracksRefusalCountsEveryFault) {
    const std::string dir = fs::path(testgl::tmpDir()) / "hostile-nothing";
    fs::remove_all(dir);
    fs::create_directories(dir + "/Textures");
    std::ofstream(dir + "/demosong.mp3") << "";
    RunOptions o = guarded(dir);
    const RunResult r = runDemo({"--frame", "100", "--fps", "1", "--out", dir + "/still.png"}, o);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind(DEMO_PROGRAM_NAME ": File demosong.mp3 ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(" (and 56 more files missing or damaged) in " + dir +
                         "; nothing rendered (--silent renders without it)\n"),
              std::string::npos)
        << r.err;
}

// Memory: a frame larger than the system can give is refused before
// anything loads (status 2, no partial file, no ffmpeg); a writer whose
// buffers cannot be had says so instead of throwing.
TEST(HostileDataTest, AFrameLargerThanMemoryIsRefusedBeforeRendering) {
    platform::PipedProcess nobody;
    platform::FrameWriter writer(nobody, SIZE_MAX / 4);
    EXPECT_FALSE(writer.ready());
    EXPECT_EQ(writer.next(), nullptr);
    EXPECT_FALSE(writer.finish());
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow
    // memory, so a program built with it cannot start under RLIMIT_AS.
    GTEST_SKIP() << "the address-space limit cannot be tried under AddressSanitizer";
#endif
    const std::string dir = fs::path(testgl::tmpDir()) / "hostile-memory";
    fs::remove_all(dir);
    fs::create_directories(dir);
    RunOptions o = guarded("");
    o.addressSpaceLimit = 3L << 30;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frame", "100", "--fps", "1", "--size", "16384x12288", "--out", dir + "/a.png"},
          std::vector<std::string>{"--capture", dir + "/a.mp4", "--to", "100", "--size", "16384x12288", "--silent"}}) {
        const RunResult r = runDemo(args, o);
        EXPECT_EQ(r.signal, 0) << args[0];
        EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find("frame needs about"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("RLIMIT_AS"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir));
}

// Nothing the program started outlives it: ffmpeg ends with a capture killed
// by SIGKILL (the partial file stays, as documented); the child a message
// box forks (a stand-in here) ends when a Ctrl-C to the whole process group
// ends the program, which says "stopped" once.
TEST(HostileDataTest, ChildrenEndWithTheProgram) {
    const std::string dir = fs::path(testgl::tmpDir()) / "hostile-children";
    fs::remove_all(dir);
    fs::create_directories(dir + "/bin");
    const std::string pidFile = dir + "/child.pid";
    std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\necho $$ > '" << pidFile << "'\nexec sleep 60\n";
    fs::permissions(dir + "/bin/ffmpeg", fs::perms::owner_all);
    RunOptions o;
    const char* path = std::getenv("PATH");
    o.set = {{"PATH", dir + "/bin:" + (path ? path : "/usr/bin:/bin")}};
    o.signal = SIGKILL;
    o.when = [&](const std::string&, const std::string&) { return fs::exists(pidFile) && fs::file_size(pidFile) > 0; };
    const RunResult r = runDemo({"--capture", dir + "/video.mp4", "--to", "2000", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(r.signal, SIGKILL);
    const pid_t ffmpeg = std::atoi(slurp(pidFile).c_str());
    ASSERT_GT(ffmpeg, 0);
    EXPECT_TRUE(goneSoon(ffmpeg)) << "ffmpeg outlived the program";
    if (running(ffmpeg)) kill(ffmpeg, SIGKILL);

    // The box's child: forked while a stop signal ends the program at once.
    fs::remove(pidFile);
    const std::string errPath = dir + "/stderr.txt";
    const pid_t program = fork();
    if (program == 0) {
        setpgid(0, 0);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        platform::catchStopSignals();
        platform::exitOnStopSignal(true);
        if (fork() == 0) { // SDL's box
            std::ofstream(pidFile) << getpid();
            for (;;) pause();
        }
        for (;;) pause();
    }
    setpgid(program, program);
    for (int i = 0; i < 500 && !(fs::exists(pidFile) && fs::file_size(pidFile) > 0); ++i) usleep(10000);
    const pid_t box = std::atoi(slurp(pidFile).c_str());
    ASSERT_GT(box, 0);
    kill(-program, SIGINT); // Ctrl-C: the whole group
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(slurp(errPath), DEMO_PROGRAM_NAME ": stopped by SIGINT\n");
    EXPECT_TRUE(goneSoon(box)) << "the box's child outlived the program";
    if (running(box)) kill(box, SIGKILL);
}

// What the success lines and a benchmark with --to print: names escaped, the
// stretch rendered.
TEST(HostileDataTest, ReportsShowWhatWasDone) {
    const std::string dir = fs::path(testgl::tmpDir()) / "hostile-reports";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string evil = dir + "/evil\x1b[2J\nfake: line.png";
    const RunResult still = runDemo({"--frame", "100", "--fps", "1", "--out", evil, "--silent"});
    EXPECT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(still.err, DEMO_PROGRAM_NAME ": frame at 100 ms written to " + dir + "/evil\\x1b[2J\\nfake: line.png\n");
    const RunResult bench = runDemo({"--benchmark", "--to", "3000", "--fps", "10", "--silent"});
    EXPECT_EQ(bench.status, 0) << bench.err;
    EXPECT_NE(bench.out.find("\n    2       0 -   3000          30 "), std::string::npos) << bench.out;
    EXPECT_NE(bench.out.find("\ntotal       0 -   3000          30 "), std::string::npos) << bench.out;
    fs::remove_all(dir);
}

} // namespace
