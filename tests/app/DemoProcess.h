// Runs the real demo executable in a child process, as a user would, and
// collects its exit status and output.
#pragma once

#include "support/GLContext.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

struct RunResult {
    int status = -1;  // exit status, or -1 if it did not exit normally
    int signal = 0;   // the signal that killed it, if one did
    double seconds = 0; // from start to exit
    std::string err;  // what it printed on stderr
    std::string out;  // what it printed on stdout
};

// The pixels of a PNG the demo wrote, as RGB bytes with the first row at the
// top, decoded by ffmpeg (empty if it could not be read), after the ffmpeg
// video filter `filter` if one is given (a crop, a scale).
inline std::vector<unsigned char> decodePng(const std::string& path, const std::string& filter = "") {
    std::vector<unsigned char> rgb;
    const std::string vf = filter.empty() ? "" : " -vf '" + filter + "'";
    FILE* p = popen(("ffmpeg -v error -i '" + path + "'" + vf + " -f rawvideo -pix_fmt rgb24 -").c_str(), "r");
    if (!p) return rgb;
    unsigned char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) rgb.insert(rgb.end(), buf, buf + n);
    pclose(p);
    return rgb;
}

inline std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// How to run it. By default: started in the data folder, the environment as
// the test has it, no signal.
struct RunOptions {
    std::vector<std::string> unset;                         // environment variables to remove
    std::vector<std::pair<std::string, std::string>> set;   // and to set
    std::string dir;                                        // working directory ("": the data folder)
    // A signal sent once `when` (polled every 10 ms with what the demo has
    // printed so far on stderr and stdout) says so, or, without `when`, after
    // signalAfterMs. Nothing is sent if it exits first.
    int signal = 0;
    int signalAfterMs = 0;
    std::function<bool(const std::string& err, const std::string& out)> when;
    // The signal is sent at once, held back by the demo's blocked signal mask
    // until the demo takes it (a signal that comes before the first frame).
    bool signalPending = false;
    long fileSizeLimit = 0; // bytes (RLIMIT_FSIZE, SIGXFSZ ignored: writes past it fail as on a full disk)
    long addressSpaceLimit = 0; // bytes (RLIMIT_AS: a machine with less memory)
    std::string program;          // the executable ("": the build's)
    // Run in the child just before the program starts, in its working
    // directory (limits, another user, a folder removed under it).
    std::function<void()> inChild;
};

inline RunResult runDemo(const std::vector<std::string>& args, const RunOptions& o) {
    static int runs = 0;
    const std::string stem = testgl::tmpDir() + "/" DEMO_PROGRAM_NAME "-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
    const std::string errPath = stem + "-stderr.txt", outPath = stem + "-stdout.txt";
    const auto start = std::chrono::steady_clock::now();
    // A pending signal is blocked before the fork, so that the child has it
    // blocked from its first instruction on.
    sigset_t pending, saved;
    sigemptyset(&pending);
    if (o.signalPending) sigaddset(&pending, o.signal);
    pthread_sigmask(SIG_BLOCK, &pending, &saved);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& name : o.unset) unsetenv(name.c_str());
        for (const auto& kv : o.set) setenv(kv.first.c_str(), kv.second.c_str(), 1);
        // Started in the data folder, as a user runs it (a sanitizer build has
        // no data folder of its own beside the executable).
        if (chdir((o.dir.empty() ? testgl::dataDir() : o.dir).c_str()) != 0) _exit(126);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        dup2(out, 1);
        if (o.fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(o.fileSizeLimit), static_cast<rlim_t>(o.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (o.addressSpaceLimit > 0) {
            const rlimit limit{static_cast<rlim_t>(o.addressSpaceLimit), static_cast<rlim_t>(o.addressSpaceLimit)};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (o.inChild) o.inChild();
        const char* exe = o.program.empty() ? DEMO_EXE : o.program.c_str();
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execve(exe, argv.data(), environ);
        _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    int wstatus = 0;
    bool exited = false;
    if (o.signal && o.signalPending) {
        kill(pid, o.signal);
    } else if (o.signal) {
        for (int waited = 0;; waited += 10) {
            if (waitpid(pid, &wstatus, WNOHANG) == pid) {
                exited = true;
                break;
            }
            if (o.when ? o.when(slurp(errPath), slurp(outPath)) : waited >= o.signalAfterMs) {
                kill(pid, o.signal);
                break;
            }
            usleep(10000);
        }
    }
    if (!exited) waitpid(pid, &wstatus, 0);
    RunResult r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    r.err = slurp(errPath);
    r.out = slurp(outPath);
    std::remove(errPath.c_str());
    std::remove(outPath.c_str());
    return r;
}

// Runs the demo with `args`; `unset` names environment variables to remove,
// `set` gives variables to set. With interruptAfterMs > 0 the process gets
// SIGINT after that long.
inline RunResult runDemo(const std::vector<std::string>& args, const std::vector<std::string>& unset = {},
                         int interruptAfterMs = 0,
                         const std::vector<std::pair<std::string, std::string>>& set = {}) {
    RunOptions o;
    o.unset = unset;
    o.set = set;
    if (interruptAfterMs > 0) {
        o.signal = SIGINT;
        o.signalAfterMs = interruptAfterMs;
    }
    return runDemo(args, o);
}
