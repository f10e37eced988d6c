// Data files opened without blocking, read in steps that look at the stop
// signals, and the memory room of the process (see Files.h).
#include "platform/Files.h"

#include "platform/Output.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

const char* kindOfFile(unsigned mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

FileFault DataFile::open(const std::string& path) {
    close();
    kind_ = "";
    // O_NONBLOCK: a FIFO without a writer would otherwise hold open() for good.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        const int e = errno;
        // A socket cannot be opened at all: say what it is.
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            kind_ = kindOfFile(st.st_mode);
            return fault_ = FileFault::NotRegular;
        }
        if (e == ENOENT || e == ENOTDIR) return fault_ = FileFault::Missing;
        // There but not ours to open (no read permission, too many open files).
        kind_ = std::strerror(e);
        return fault_ = FileFault::Unreadable;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        close();
        return fault_ = FileFault::Missing;
    }
    if (!S_ISREG(st.st_mode)) {
        kind_ = kindOfFile(st.st_mode);
        close();
        return fault_ = FileFault::NotRegular;
    }
    size_ = st.st_size;
    return fault_ = FileFault::None;
}

void DataFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

int64_t DataFile::readAt(void* to, size_t n, int64_t offset) {
    char* p = static_cast<char*>(to);
    size_t got = 0;
    while (got < n) {
        if (stopSignal()) {
            fault_ = FileFault::Stopped;
            return -1;
        }
        const size_t step = std::min(n - got, kReadStep);
        const ssize_t r = pread(fd_, p + got, step, static_cast<off_t>(offset + static_cast<int64_t>(got)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            fault_ = FileFault::Unreadable;
            return -1;
        }
        if (r == 0) break; // the end of the file
        got += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(got);
}

std::string faultText(FileFault fault, const char* kind) {
    switch (fault) {
    case FileFault::None: return "";
    case FileFault::Missing: return "it is missing";
    case FileFault::NotRegular: return std::string("it is ") + kind + ", not a regular file";
    case FileFault::Unreadable: return *kind ? kind : "it cannot be read";
    case FileFault::Stopped: return "stopped while reading it";
    }
    return "";
}

int64_t fileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

namespace {
std::string noted;
bool startNoted = false;

// The working folder's absolute name, or "" with errno set when it has none
// (removed) or a longer one than paths can have.
std::string workingFolder() {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return "";
    if (cwd[0] != '/') { // "(unreachable)/...": outside our root
        errno = ENOENT;
        return "";
    }
    return cwd;
}
} // namespace

void noteStartFolder() {
    if (startNoted) return;
    noted = workingFolder();
    startNoted = true;
}

const std::string& startFolder() {
    noteStartFolder();
    return noted;
}

bool makeAbsolute(std::string* path, std::string* error) {
    if (path->empty() || (*path)[0] == '/') return true;
    const std::string folder = workingFolder();
    if (folder.empty()) {
        // Kept relative, it would be written wherever the program goes next
        // (its data folder).
        *error = "cannot write '" + *path + "': the working folder has no name to write into (" +
                 std::strerror(errno) + "); give the output as an absolute path";
        return false;
    }
    *path = folder + "/" + *path;
    return true;
}

namespace {

// Field `index` (0: the address space, 5: data + stack) of /proc/self/statm, in bytes.
uint64_t statmBytes(int index) {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long long v[7] = {};
    const int n = std::fscanf(f, "%llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                              &v[6]);
    std::fclose(f);
    return n > index ? v[index] * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// MemAvailable + SwapFree in bytes; UINT64_MAX when /proc/meminfo says nothing.
uint64_t freeMemoryBytes() {
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return UINT64_MAX;
    char line[256];
    uint64_t sum = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1 || std::sscanf(line, "SwapFree: %llu kB", &kb) == 1) {
            sum += kb * 1024;
            found = true;
        }
    }
    std::fclose(f);
    return found ? sum : UINT64_MAX;
}

} // namespace

MemoryRoom memoryRoom(uint64_t virtualBytes, uint64_t residentBytes) {
    MemoryRoom room;
    // Each room against what it counts; the first that is too small is named.
    auto consider = [&](uint64_t available, uint64_t needed, const char* what) {
        if (!room.fits) return;
        room.fits = needed <= available;
        if (!room.fits || room.limitedBy.empty() || available < room.availableBytes) {
            room.availableBytes = available;
            room.neededBytes = needed;
            room.limitedBy = what;
        }
    };
    rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const uint64_t used = statmBytes(0);
        consider(limit.rlim_cur > used ? limit.rlim_cur - used : 0, virtualBytes, "RLIMIT_AS");
    }
    if (getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const uint64_t used = statmBytes(5);
        consider(limit.rlim_cur > used ? limit.rlim_cur - used : 0, virtualBytes, "RLIMIT_DATA");
    }
    consider(freeMemoryBytes(), residentBytes, "MemAvailable + SwapFree");
    return room;
}

} // namespace platform
