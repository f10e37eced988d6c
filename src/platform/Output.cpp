// Output files, the encoder's child process and the stop signals of the
// headless tools.
#include "platform/Output.h"

#include "platform/Files.h"
#include "platform/Platform.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

std::string errnoText(int e) { return std::strerror(e); }

// Folder and name of a path ("." for a bare name).
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

constexpr char kPartialSuffix[] = ".partial";
constexpr char kUniqueTemplate[] = ".XXXXXX";

} // namespace

// ---- OutputFile -------------------------------------------------------------------------

bool OutputFile::check(const std::string& path, std::string* error, bool folder) {
    std::string target;
    unsigned mode = 0;
    return resolve(path, folder, &target, &mode, error);
}

bool OutputFile::resolve(const std::string& path, bool folder, std::string* resolved, unsigned* newMode,
                         std::string* error) {
    // What may stand under the target's name: a regular file, or for a
    // folder an empty folder.
    auto acceptable = [&](const struct stat& st) { return folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode); };
    const std::string wanted = folder ? "an empty folder" : "a regular file";
    auto refuse = [&](const std::string& why) {
        *error = why;
        return false;
    };
    std::string target = path;
    mode_t mode = 0;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            struct stat to;
            if (stat(path.c_str(), &to) != 0)
                return refuse("'" + path + "' is a symbolic link that leads nowhere (" + errnoText(errno) +
                              "); left as it is");
            if (!acceptable(to))
                return refuse("'" + path + "' leads to " + kindOfFile(to.st_mode) + ", not " + wanted +
                              "; left as it is");
            char* real = realpath(path.c_str(), nullptr);
            if (!real) return refuse("cannot write '" + path + "': " + errnoText(errno));
            target = real;
            std::free(real);
            st = to;
        } else if (!acceptable(st)) {
            return refuse("'" + path + "' is " + std::string(kindOfFile(st.st_mode)) + ", not " + wanted +
                          "; left as it is");
        }
        if (folder) {
            DIR* d = opendir(target.c_str());
            if (!d) return refuse("cannot write '" + path + "': " + errnoText(errno));
            int entries = 0;
            while (const dirent* e = readdir(d))
                entries += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
            closedir(d);
            if (entries) return refuse("'" + path + "' is a folder that holds files, not " + wanted + "; left as it is");
        }
        if (access(target.c_str(), W_OK) != 0) return refuse("cannot write '" + path + "': " + errnoText(errno));
        mode = st.st_mode & 0777; // the new file keeps the old one's permissions
    } else if (errno != ENOENT) {
        return refuse("cannot write '" + path + "': " + errnoText(errno));
    } else if (splitPath(path).second.empty()) {
        return refuse("cannot write '" + path + "': not a file name");
    } else {
        // A new file needs a folder we may write in: found out now, not once
        // the data has loaded.
        if (access(splitPath(path).first.c_str(), W_OK | X_OK) != 0)
            return refuse("cannot write '" + path + "': " + errnoText(errno));
        const mode_t mask = umask(0);
        umask(mask);
        mode = (folder ? 0777 : 0666) & ~mask;
    }

    const auto [targetDir, targetBase] = splitPath(target);
    long nameMax = pathconf(targetDir.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    if (static_cast<long>(targetBase.size()) > nameMax || target.size() >= PATH_MAX)
        return refuse("cannot write '" + path + "': " + errnoText(ENAMETOOLONG));
    *resolved = target;
    *newMode = mode;
    return true;
}

bool OutputFile::open(const std::string& path, std::string* error, bool folder) {
    discard();
    std::string target;
    unsigned mode = 0;
    if (!resolve(path, folder, &target, &mode, error)) return false;
    // The partial file lives beside the file it replaces (the same file
    // system, so the rename is atomic); its name is shortened to fit.
    const auto [targetDir, targetBase] = splitPath(target);
    long nameMax = pathconf(targetDir.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const size_t extra = sizeof kUniqueTemplate - 1 + sizeof kPartialSuffix - 1;
    const size_t keep = std::min(targetBase.size(), static_cast<size_t>(nameMax) - extra);
    const std::string stem = (targetDir == "/" ? "" : targetDir) + "/" + targetBase.substr(0, keep);
    if (folder) {
        // mkdtemp wants the Xs last.
        std::string name = stem + kPartialSuffix + kUniqueTemplate;
        if (!mkdtemp(&name[0])) {
            *error = "cannot write '" + path + "': " + errnoText(errno);
            return false;
        }
        chmod(name.c_str(), mode);
        partial_ = name;
    } else {
        std::string name = stem + kUniqueTemplate + kPartialSuffix;
        const int fd = mkostemps(&name[0], sizeof kPartialSuffix - 1, O_CLOEXEC);
        if (fd < 0) {
            *error = "cannot write '" + path + "': " + errnoText(errno);
            return false;
        }
        fchmod(fd, mode);
        close(fd);
        partial_ = name;
    }
    target_ = target;
    folder_ = folder;
    return true;
}

bool OutputFile::commit(std::string* error) {
    if (partial_.empty()) {
        *error = "nothing to write";
        return false;
    }
    if (std::rename(partial_.c_str(), target_.c_str()) != 0) {
        *error = "cannot write '" + target_ + "': " + errnoText(errno);
        discard();
        return false;
    }
    partial_.clear();
    return true;
}

void OutputFile::discard() {
    if (!partial_.empty() && folder_) {
        // Only what was written into it: files, no folders.
        if (DIR* d = opendir(partial_.c_str())) {
            while (const dirent* e = readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    unlinkat(dirfd(d), e->d_name, 0);
            closedir(d);
        }
        rmdir(partial_.c_str());
    } else if (!partial_.empty()) {
        unlink(partial_.c_str());
    }
    partial_.clear();
}

// ---- PipedProcess ---------------------------------------------------------------------

bool PipedProcess::start(const std::vector<std::string>& argv, std::string* error) {
    abort();
    if (argv.empty()) {
        *error = "no program";
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = errnoText(errno);
        return false;
    }
    // What it prints goes to an unnamed file (a pipe could fill up while we
    // are busy writing frames, and both sides would wait for ever).
    if (errors_ < 0) {
        const char* tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/" DEMO_PROGRAM_NAME "-errors-XXXXXX";
        errors_ = mkostemp(&name[0], O_CLOEXEC);
        if (errors_ >= 0) unlink(name.c_str());
    } else if (ftruncate(errors_, 0) != 0 || lseek(errors_, 0, SEEK_SET) != 0) {
        close(errors_);
        errors_ = -1;
    }

    const std::string program = programPath(argv[0].c_str());
    if (program.empty()) {
        close(fds[0]);
        close(fds[1]);
        *error = errnoText(ENOENT);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // Everything the child needs is made before the fork: between fork and
    // exec only async-signal-safe calls (other threads may hold locks). The
    // stop signals stay blocked across the fork, so that our handler never
    // runs in the child.
    sigset_t stops, saved;
    sigemptyset(&stops);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, s);
    pthread_sigmask(SIG_BLOCK, &stops, &saved);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        // It ends when we do, however we end (SIGKILL included): the kernel
        // sends it SIGKILL when our thread that forked it exits. Had we ended
        // already before this, our parent would be another process by now.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(fds[0], 0);
        if (errors_ >= 0) { // all it prints; it never touches the terminal
            dup2(errors_, 1);
            dup2(errors_, 2);
        }
        // It starts with the default actions (we ignore SIGPIPE) and nothing blocked.
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        for (const int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaction(s, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(program.c_str(), args.data(), environ);
        _exit(127);
    }
    const int forkErrno = errno;
    if (pid > 0) setpgid(pid, pid); // whichever of the two comes first
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        *error = errnoText(forkErrno);
        return false;
    }
    pid_ = pid;
    stalled_ = false;
    input_ = fds[1];
    // Writes never block: write() polls, so that a stop signal is noticed
    // even while the program does not read.
    fcntl(input_, F_SETFL, fcntl(input_, F_GETFL) | O_NONBLOCK);
    return true;
}

bool PipedProcess::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    // Time without progress, counted in the poll's own steps (no clock: a
    // step is at least its 100 ms, so a busy machine only waits longer).
    int waitedMs = 0;
    while (size > 0) {
        if (input_ < 0 || stopSignal()) return false;
        const ssize_t n = ::write(input_, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            waitedMs = 0;
        } else if (n < 0 && errno == EAGAIN) {
            if (waitedMs >= stallMs) {
                stalled_ = true;
                return false;
            }
            pollfd pfd{input_, POLLOUT, 0};
            poll(&pfd, 1, 100);
            waitedMs += 100;
        } else if (n < 0 && errno != EINTR) {
            return false; // EPIPE: nobody reads any more
        }
    }
    return true;
}

void PipedProcess::closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

// Reaps the program if it ends within timeoutMs (< 0: waits for ever).
bool PipedProcess::waitForExit(int* status, int timeoutMs) {
    for (int waited = 0;; waited += 10) {
        const pid_t r = waitpid(pid_, status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) {
            if (r < 0) *status = -1;
            pid_ = -1;
            return true;
        }
        if (timeoutMs >= 0 && waited >= timeoutMs) return false;
        usleep(10000);
    }
}

bool PipedProcess::finish() {
    if (pid_ < 0) return false;
    closeInput();
    int status = -1;
    for (int waitedMs = 0; !waitForExit(&status, 100); waitedMs += 100) {
        if (waitedMs >= stallMs) stalled_ = true;
        if (stopSignal() || stalled_) {
            abort();
            return false;
        }
    }
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void PipedProcess::abort() {
    closeInput();
    if (pid_ < 0) return;
    int status;
    kill(-pid_, SIGTERM);
    if (waitForExit(&status, 2000)) return;
    kill(-pid_, SIGKILL);
    waitForExit(&status, -1);
}

std::string PipedProcess::lastErrorLine() const {
    if (errors_ < 0) return "";
    struct stat st;
    if (fstat(errors_, &st) != 0 || st.st_size == 0) return "";
    char buf[4096];
    const off_t from = st.st_size > static_cast<off_t>(sizeof buf) ? st.st_size - static_cast<off_t>(sizeof buf) : 0;
    const ssize_t n = pread(errors_, buf, sizeof buf, from);
    if (n <= 0) return "";
    std::string text(buf, static_cast<size_t>(n));
    // The last line with something on it, without its end-of-line and trailing blanks.
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t start = text.find_last_of("\r\n", end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end - start + 1);
}

std::string PipedProcess::printed(size_t limit) const {
    std::string text;
    if (errors_ < 0) return text;
    char buf[65536];
    for (off_t at = 0; text.size() < limit;) {
        const ssize_t n = pread(errors_, buf, std::min(sizeof buf, limit - text.size()), at);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        at += n;
    }
    return text;
}

PipedProcess::~PipedProcess() {
    abort();
    if (errors_ >= 0) close(errors_);
}

// ---- stop signals ---------------------------------------------------------------------

namespace {
volatile std::sig_atomic_t stopReceived = 0;
volatile std::sig_atomic_t exitAtOnce = 0;
const char* volatile exitOutcome = nullptr; // said after the signal's name, or nothing
pid_t ownPid = 0;                           // the process whose handler speaks

void append(char* line, size_t* n, size_t size, const char* text) {
    for (const char* c = text; *c && *n + 2 < size; ++c) line[(*n)++] = *c;
}

// Only async-signal-safe calls: write() and _exit().
void onStop(int signal) {
    // A child forked while we end at once (SDL's message box) gets the stop
    // signals of a Ctrl-C too: it ends without a word (the line is ours).
    if (getpid() != ownPid) _exit(128 + signal);
    stopReceived = signal;
    if (!exitAtOnce) return;
    char line[160] = DEMO_PROGRAM_NAME ": stopped by ";
    size_t n = std::strlen(line);
    append(line, &n, sizeof line, signalName(signal));
    if (const char* outcome = exitOutcome) {
        append(line, &n, sizeof line, "; ");
        append(line, &n, sizeof line, outcome);
    }
    line[n++] = '\n';
    ssize_t ignored = ::write(2, line, n);
    (void)ignored;
    _exit(128 + signal);
}

// In the child of a fork made while we would end at once (SDL forks one to
// show its message box): it ends when we end, however we end, and it does
// not stay behind holding the window and our stdout and stderr. Had we ended
// before the prctl, its parent is no longer us.
void inForkedChild() {
    if (!exitAtOnce) return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != ownPid) _exit(128 + SIGKILL);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
} // namespace

void catchStopSignals() {
    // SDL would otherwise turn the two signals into a quit event when video
    // starts (only if no handler is set: ours is, but the hint says it plainly).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    ownPid = getpid();
    static bool forkHandled = false;
    if (!forkHandled) pthread_atfork(nullptr, nullptr, inForkedChild);
    forkHandled = true;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // file reads elsewhere (the track, the images) go on undisturbed
    // Started with them blocked, we would never see them: one that is already
    // pending is taken now.
    sigset_t stops;
    sigemptyset(&stops);
    for (const int s : kStopSignals) {
        sigaction(s, &sa, nullptr);
        sigaddset(&stops, s);
    }
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int stopSignal() { return stopReceived; }

bool exitOnStopSignal(bool on, const char* outcome) {
    const bool was = exitAtOnce;
    // Turned on again without an outcome (a box during start-up), the one
    // said so far stays.
    if (!on || outcome) exitOutcome = on ? outcome : nullptr;
    exitAtOnce = on;
    // One that came just before is acted on now.
    if (on && stopReceived) onStop(stopReceived);
    return was;
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

} // namespace platform
