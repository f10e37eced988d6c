// Runs the real demo executable in a child process, as a user would, and
// collects its exit status and output.
#pragma once

#include "support/GLContext.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;


struct RunResult {
    int status = -1; // exit status, or -1 if it did not exit normally
    std::string err; // what it printed on stderr
    std::string out; // what it printed on stdout
};

inline std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs the demo with `args`; `unset` names environment variables to remove,
// `set` gives variables to set. With interruptAfterMs > 0 the process gets
// SIGINT after that long.
inline RunResult runDemo(const std::vector<std::string>& args, const std::vector<std::string>& unset = {},
                         int interruptAfterMs = 0,
                         const std::vector<std::pair<std::string, std::string>>& set = {}) {
    const std::string errPath = testgl::tmpDir() + "/demo-stderr-" + std::to_string(getpid()) + ".txt";
    const std::string outPath = testgl::tmpDir() + "/demo-stdout-" + std::to_string(getpid()) + ".txt";
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& name : unset) unsetenv(name.c_str());
        for (const auto& kv : set) setenv(kv.first.c_str(), kv.second.c_str(), 1);
        // Started in the data folder, as a user runs it (a sanitizer build has
        // no data folder of its own beside the executable).
        if (chdir(testgl::dataDir().c_str()) != 0) _exit(126);
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
