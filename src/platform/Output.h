// What the headless tools need from the operating system besides the display:
// output files that replace their target only when complete, the video
// encoder as a child process fed through a pipe, and the stop signals.
#pragma once

#include <sys/types.h>

#include <csignal>

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// A file that takes the place of its target only when it is complete. It is
// written under a temporary name beside the target ("NAME.XXXXXX.partial",
// created new, so nothing else is ever overwritten) and renamed over the
// target by commit(). Until then the target is untouched; if commit() is not
// reached, the partial file is removed (by discard() or the destructor).
// The partial file is written through the descriptor that created it and
// renamed within the target's folder as opened once: another user who may
// write in that folder can move or swap names there, but never make us
// write into a file of theirs choosing (a swapped partial name is refused at
// commit()).
//
// The target must be absent or a regular file. Anything else that exists
// under its name (a directory, device, FIFO or socket, a symbolic link that
// leads nowhere or to one of those) is refused and left as it is. A symbolic
// link to a regular file is followed when it is our own or root's (every
// link of a chain): the file it leads to is replaced, the link stays. A link
// of another user is refused.
//
// A folder (a numbered image sequence and what goes with it) is made the same
// way: a new folder "NAME.XXXXXX.partial" beside the target, renamed over it
// by commit(), removed with all it holds otherwise. Its target must be
// absent or an empty folder (a link to one is followed), and a folder of its
// own: not ".", ".." or "/".
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks the target as open() does, creating nothing: so that a refusal
    // comes before the work, and the partial file only after it has loaded.
    static bool check(const std::string& target, std::string* error, bool folder = false);
    // Checks the target and creates the empty partial file. False with one
    // line in *error when the target is refused or nothing can be created
    // beside it.
    bool open(const std::string& target, std::string* error, bool folder = false);
    // Where to write: /proc/PID/fd/N, our descriptor of the partial file (or
    // folder), which leads to it whatever happens to its name; a child
    // process (the encoder) can open it too.
    std::string partialPath() const;
    // The file that is replaced (a symbolic link followed).
    const std::string& target() const { return target_; }
    // Renames the partial file over the target. False with *error if that
    // failed; the partial file is then removed.
    bool commit(std::string* error);
    // Removes the partial file (nothing if committed or never opened).
    void discard();

private:
    static bool resolve(const std::string& path, bool folder, std::string* target, unsigned* mode, std::string* error);
    std::string target_, targetName_, partialName_;
    int dir_ = -1; // the target's folder
    int fd_ = -1;  // the partial file (or folder)
    unsigned mode_ = 0;
    bool folder_ = false;
};

// A program started with a pipe to its standard input, in a process group of
// its own (a Ctrl-C at the terminal reaches only us; we decide what happens to
// it). It ends when we end, even by SIGKILL (Linux's parent-death signal).
// What it prints is kept in memory, not shown.
class PipedProcess {
public:
    PipedProcess() = default;
    ~PipedProcess();
    PipedProcess(const PipedProcess&) = delete;
    PipedProcess& operator=(const PipedProcess&) = delete;

    // Starts argv[0] (looked up on PATH). False with *error if it could not be started.
    bool start(const std::vector<std::string>& argv, std::string* error);
    // Writes all `size` bytes, waiting while the pipe is full. False when the
    // program stopped reading (it has exited), took nothing for stallMs
    // (stalled() then says so; it is left running for abort()), or a stop
    // signal came.
    bool write(const void* data, size_t size);
    // Closes its input and waits for it to end. True if it exited with
    // status 0; false if it failed, did not end within stallMs (stalled();
    // it is then ended as by abort()), or a stop signal came while waiting
    // (ended as well).
    bool finish();
    // How long the program may take no input, or linger after its input
    // closed, before it counts as stalled (ms).
    int stallMs = 30000;
    bool stalled() const { return stalled_; }
    // Ends it at once (SIGTERM, SIGKILL if it lingers) and waits for it.
    // Nothing if it is not running.
    void abort();
    // The last non-empty line it printed ("" if none).
    std::string lastErrorLine() const;
    // Everything it printed, up to the first `limit` bytes.
    std::string printed(size_t limit = 1 << 20) const;

private:
    void closeInput();
    bool waitForExit(int* status, int timeoutMs);

    pid_t pid_ = -1;
    bool stalled_ = false;
    int input_ = -1;  // our end of the pipe to its standard input
    int errors_ = -1; // an unnamed file that holds what it printed
};

// From here on the stop signals, SIGINT, SIGTERM, SIGHUP (a closed
// terminal) and every other signal that would end the process from outside
// (SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, the real-time ones, ...;
// stopSignalSet()), only note that they came (stopSignal()), so that the
// program can stop after the current frame, clean up and exit; a write to a
// pipe whose reader is gone fails (EPIPE) instead of killing the process with
// SIGPIPE, and a write past the file-size limit fails (EFBIG, "File too
// large") instead of killing it with SIGXFSZ. Call before the display is
// opened (SDL then leaves the signals alone).
void catchStopSignals();
// The stop signals as a set (to block them around a fork).
void stopSignalSet(sigset_t* set);
// The stop signal that came (the latest), or 0.
int stopSignal();
// While on (start-up, which has nothing to clean up yet and whose steps,
// such as a modal message box's own loop, never look at stopSignal()), a
// stop signal ends the process at once with one line on stderr, "stopped by
// SIGTERM" followed by "; " and `outcome` if given, and the shell's status
// for it (128 + the signal). A child forked meanwhile (SDL's message box)
// ends with the process. Returns whether it was on before (to put back).
bool exitOnStopSignal(bool on, const char* outcome = nullptr);
// "SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT", ...
const char* signalName(int signal);

} // namespace platform
