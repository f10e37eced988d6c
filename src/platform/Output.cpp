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
#include <ctime>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/random.h>
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

namespace {

// The partial file being written, for the stop signal's handler: a second
// stop signal removes it before the process ends at once (a folder's is left).
struct PartialFile {
    int dir = -1;
    char name[NAME_MAX + 1] = {};
};
PartialFile partialFile;
volatile std::sig_atomic_t partialFileNamed = 0;

// A symbolic link we may follow: our own or root's (as the kernel's
// protected-symlinks rule has it for sticky folders, here in every folder:
// a link another user planted must not steer what we overwrite).
bool trustedLink(const struct stat& link) { return link.st_uid == geteuid() || link.st_uid == 0; }

// Six random letters and digits for a partial name.
std::string uniqueTag() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        const uint64_t mix = static_cast<uint64_t>(getpid()) * 2654435761u ^ static_cast<uint64_t>(clock());
        for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(mix >> (i * 8));
    }
    std::string tag(sizeof bytes, 'x');
    for (size_t i = 0; i < sizeof bytes; ++i) tag[i] = letters[bytes[i] % (sizeof letters - 1)];
    return tag;
}

} // namespace

bool OutputFile::check(const std::string& path, std::string* error, bool folder) {
    std::string target;
    unsigned mode = 0;
    return resolve(path, folder, &target, &mode, error);
}

bool OutputFile::resolve(const std::string& given, bool folder, std::string* resolved, unsigned* newMode,
                         std::string* error) {
    // What may stand under the target's name: a regular file, or for a
    // folder an empty folder.
    auto acceptable = [&](const struct stat& st) { return folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode); };
    const std::string wanted = folder ? "an empty folder" : "a regular file";
    auto refuse = [&](const std::string& why) {
        *error = why;
        return false;
    };
    // A folder's name may end in slashes ("frames//%05d.png").
    std::string path = given;
    while (folder && path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string name = splitPath(path).second;
    if (folder && (name.empty() || name == "." || name == ".."))
        return refuse("cannot write '" + given + "': not a folder of its own (the stills need one, such as frames/)");
    // Symbolic links are followed one by one, each checked (a chain can hop
    // through another user's link).
    std::string target = path;
    mode_t mode = 0;
    struct stat st;
    int hops = 0;
    while (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (!trustedLink(st))
            return refuse("'" + path + "' is a symbolic link of another user (uid " + std::to_string(st.st_uid) +
                          "), not followed; left as it is");
        if (++hops > 40) return refuse("cannot write '" + path + "': " + errnoText(ELOOP));
        std::string to(PATH_MAX, '\0');
        const ssize_t n = readlink(target.c_str(), &to[0], to.size());
        if (n <= 0 || n >= static_cast<ssize_t>(to.size()))
            return refuse("cannot write '" + path + "': " + errnoText(n < 0 ? errno : ENAMETOOLONG));
        to.resize(static_cast<size_t>(n));
        const std::string dir = splitPath(target).first;
        target = to[0] == '/' ? to : (dir == "/" ? "" : dir) + "/" + to;
    }
    if (target != path && lstat(target.c_str(), &st) != 0)
        return refuse("'" + path + "' is a symbolic link that leads nowhere (" + errnoText(errno) + "); left as it is");
    if (lstat(target.c_str(), &st) == 0) {
        if (!acceptable(st))
            return refuse("'" + path + "' " + (target != path ? "leads to " : "is ") + kindOfFile(st.st_mode) +
                          ", not " + wanted + "; left as it is");
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
    } else if (splitPath(target).second.empty()) {
        return refuse("cannot write '" + path + "': not a file name");
    } else {
        // A new file needs a folder we may write in: found out now, not once
        // the data has loaded.
        if (access(splitPath(target).first.c_str(), W_OK | X_OK) != 0)
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
    auto refuse = [&](int e) {
        *error = "cannot write '" + path + "': " + errnoText(e);
        discard();
        return false;
    };
    // Everything from here on is relative to the target's folder, opened
    // once: a name swapped in that folder (by another user who may write
    // there) cannot send our writes elsewhere.
    const auto [targetDir, targetBase] = splitPath(target);
    dir_ = ::open(targetDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_ < 0) return refuse(errno);
    // The partial file lives beside the file it replaces (the same file
    // system, so the rename is atomic); its name is shortened to fit.
    long nameMax = fpathconf(dir_, _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const size_t extra = sizeof kUniqueTemplate - 1 + sizeof kPartialSuffix - 1;
    const std::string stem = targetBase.substr(0, std::min(targetBase.size(), static_cast<size_t>(nameMax) - extra));
    // Made new (never an existing name), readable and writable by us alone
    // until it is committed.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const std::string name = stem + "." + uniqueTag() + kPartialSuffix;
        if (folder) {
            if (mkdirat(dir_, name.c_str(), 0700) != 0) {
                if (errno == EEXIST) continue;
                return refuse(errno);
            }
            partialName_ = name;
            fd_ = openat(dir_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat st;
            // Between the two calls another user could have put a folder of
            // theirs under the name: ours only.
            if (fd_ < 0 || fstat(fd_, &st) != 0 || st.st_uid != geteuid()) return refuse(fd_ < 0 ? errno : EPERM);
        } else {
            fd_ = openat(dir_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0 && errno == EEXIST) continue;
            if (fd_ < 0) return refuse(errno);
            partialName_ = name;
            partialFileNamed = 0;
            partialFile.dir = dir_;
            std::snprintf(partialFile.name, sizeof partialFile.name, "%s", name.c_str());
            partialFileNamed = 1;
        }
    }
    if (fd_ < 0) return refuse(EEXIST);
    target_ = target;
    targetName_ = targetBase;
    folder_ = folder;
    mode_ = mode;
    return true;
}

std::string OutputFile::partialPath() const {
    // Our own descriptor's link under /proc: it leads to the file we made
    // whatever its name becomes, for us and for the encoder we start.
    return fd_ < 0 ? std::string() : "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd_);
}

bool OutputFile::commit(std::string* error) {
    if (fd_ < 0) {
        *error = "nothing to write";
        return false;
    }
    // The name must still be the file we wrote: had it been swapped, the
    // rename would put another's file in the target's place.
    struct stat ours, named;
    if (fstat(fd_, &ours) != 0 || fstatat(dir_, partialName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        ours.st_dev != named.st_dev || ours.st_ino != named.st_ino) {
        *error = "cannot write '" + target_ + "': its partial file " + partialName_ +
                 " was moved or replaced while it was written";
        discard();
        return false;
    }
    fchmod(fd_, mode_);
    if (renameat(dir_, partialName_.c_str(), dir_, targetName_.c_str()) != 0) {
        *error = "cannot write '" + target_ + "': " + errnoText(errno);
        discard();
        return false;
    }
    partialName_.clear();
    discard();
    return true;
}

void OutputFile::discard() {
    if (partialFileNamed && partialFile.dir == dir_ && dir_ >= 0) partialFileNamed = 0;
    if (!partialName_.empty() && folder_ && fd_ >= 0) {
        // Only what was written into it: files, no folders.
        const int copy = dup(fd_);
        if (DIR* d = copy >= 0 ? fdopendir(copy) : nullptr) {
            while (const dirent* e = readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    unlinkat(dirfd(d), e->d_name, 0);
            closedir(d);
        } else if (copy >= 0) {
            close(copy);
        }
        unlinkat(dir_, partialName_.c_str(), AT_REMOVEDIR);
    } else if (!partialName_.empty()) {
        unlinkat(dir_, partialName_.c_str(), 0);
    }
    partialName_.clear();
    if (fd_ >= 0) close(fd_);
    if (dir_ >= 0) close(dir_);
    fd_ = dir_ = -1;
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
    // What it prints goes to an unnamed file in memory (a pipe could fill up
    // while we are busy writing frames, and both sides would wait for ever;
    // a file in TMPDIR depends on a folder that may be missing, read-only
    // or full). Without it the program is not started: what it prints is
    // what its failures are told by.
    if (errors_ >= 0 && (ftruncate(errors_, 0) != 0 || lseek(errors_, 0, SEEK_SET) != 0)) {
        close(errors_);
        errors_ = -1;
    }
    if (errors_ < 0) errors_ = memfd_create(DEMO_PROGRAM_NAME "-messages", MFD_CLOEXEC);
    if (errors_ < 0) {
        *error = "cannot keep what it prints: " + errnoText(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
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
    stopSignalSet(&stops);
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
        dup2(errors_, 1); // all it prints; it never touches the terminal
        dup2(errors_, 2);
        // It starts with the default actions (we ignore SIGPIPE; SIGXFSZ
        // stays ignored, so that a file-size limit is its "File too large")
        // and nothing blocked.
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &dfl, nullptr);
        for (int s = 1; s < NSIG; ++s)
            if (sigismember(&stops, s) == 1) sigaction(s, &dfl, nullptr);
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
// The signals whose default action ends the process and that come from
// outside (a user, a terminal, a limit, a service manager), besides the
// real-time ones: each ends the run in order like SIGTERM. Faults of our
// own (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS) keep
// their default action.
struct StopSignal {
    int number;
    const char* name;
};
const StopSignal kStopSignals[] = {
    {SIGINT, "SIGINT"},       {SIGTERM, "SIGTERM"},     {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"},
    {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"},     {SIGALRM, "SIGALRM"}, {SIGVTALRM, "SIGVTALRM"},
    {SIGPROF, "SIGPROF"},     {SIGXCPU, "SIGXCPU"},     {SIGPOLL, "SIGPOLL"}, {SIGPWR, "SIGPWR"},
    {SIGSTKFLT, "SIGSTKFLT"},
};

volatile std::sig_atomic_t stopReceived = 0;
volatile std::sig_atomic_t exitAtOnce = 0;
const char* volatile exitOutcome = nullptr; // said after the signal's name, or nothing
pid_t ownPid = 0;                           // the process whose handler speaks

void append(char* line, size_t* n, size_t size, const char* text) {
    for (const char* c = text; *c && *n + 2 < size; ++c) line[(*n)++] = *c;
}

// Ends the process now with its one line (`again`: after a second stop
// signal). Only async-signal-safe calls: write() and _exit().
void endAtOnce(int signal, bool again) {
    char line[160] = DEMO_PROGRAM_NAME ": stopped by ";
    size_t n = std::strlen(line);
    append(line, &n, sizeof line, signalName(signal));
    if (again) append(line, &n, sizeof line, " (a second stop signal: ended at once)");
    if (const char* outcome = exitOutcome) {
        append(line, &n, sizeof line, "; ");
        append(line, &n, sizeof line, outcome);
    }
    line[n++] = '\n';
    ssize_t ignored = ::write(2, line, n);
    (void)ignored;
    _exit(128 + signal);
}

void onStop(int signal) {
    // A child forked while we end at once (SDL's message box) gets the stop
    // signals of a Ctrl-C too: it ends without a word (the line is ours).
    if (getpid() != ownPid) _exit(128 + signal);
    // A second stop signal while the first is still being acted on: the
    // program is stuck somewhere that never looks (a GL driver waiting for
    // good), so it ends at once, its partial file removed.
    const bool again = stopReceived != 0;
    stopReceived = signal;
    if (again) {
        if (partialFileNamed) unlinkat(partialFile.dir, partialFile.name, 0);
        endAtOnce(signal, true);
    }
    if (exitAtOnce) endAtOnce(signal, false);
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

} // namespace

void stopSignalSet(sigset_t* set) {
    sigemptyset(set);
    for (const StopSignal& s : kStopSignals) sigaddset(set, s.number);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(set, s);
}

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
    stopSignalSet(&stops);
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&stops, s) == 1) sigaction(s, &sa, nullptr);
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit (RLIMIT_FSIZE) makes the write fail with EFBIG, said
    // as "File too large" like a full disk, instead of killing us mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
}

int stopSignal() { return stopReceived; }

bool exitOnStopSignal(bool on, const char* outcome) {
    const bool was = exitAtOnce;
    // Turned on again without an outcome (a box during start-up), the one
    // said so far stays.
    if (!on || outcome) exitOutcome = on ? outcome : nullptr;
    exitAtOnce = on;
    // One that came just before is acted on now.
    if (on && stopReceived) endAtOnce(stopReceived, false);
    return was;
}

const char* signalName(int signal) {
    for (const StopSignal& s : kStopSignals)
        if (s.number == signal) return s.name;
    return signal >= SIGRTMIN && signal <= SIGRTMAX ? "a real-time signal" : "a signal";
}

} // namespace platform
