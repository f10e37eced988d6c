// Data files read without ever blocking, and the memory the system can give.
//
// A data file (the track, an image) must be a regular file: a FIFO, a
// device, a directory or a socket under its name is refused at once, by
// name, as a missing file is. The check is made on the open file itself
// (opened with O_NONBLOCK, so that opening a FIFO with no writer returns at
// once), so nothing can swap the file between the check and the reading.
// Long reads go in steps of kReadStep bytes and stop when a stop signal has
// come (SIGINT, SIGTERM, SIGHUP; Output.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class FileFault {
    None,
    Missing,    // no such file, or it cannot be opened
    NotRegular, // a directory, device, FIFO or socket (kind() says which)
    Unreadable, // it cannot be opened (no permission; kind() says why), or a read failed
    Stopped,    // a stop signal came during a read
};

// One data file, open for reading.
class DataFile {
public:
    DataFile() = default;
    ~DataFile() { close(); }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // FileFault::None when `path` is a regular file, now open.
    FileFault open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // Its length in bytes (when open).
    int64_t size() const { return size_; }
    // For NotRegular: "a FIFO", "a directory", "a character device", ...;
    // for Unreadable from open(): why ("Permission denied").
    const char* kind() const { return kind_; }
    // Reads `n` bytes at `offset` into `to` (fewer only at the end of the
    // file). The count read, or -1 with fault() saying why.
    int64_t readAt(void* to, size_t n, int64_t offset);
    FileFault fault() const { return fault_; }

private:
    int fd_ = -1;
    int64_t size_ = 0;
    const char* kind_ = "";
    FileFault fault_ = FileFault::None;
};

// A refusal's reason in words: "it is missing", "it is a FIFO, not a regular
// file", "it cannot be read" (or the reason given as `kind`: "Permission
// denied"), "stopped while reading it".
std::string faultText(FileFault fault, const char* kind = "");

// "a directory", "a FIFO", "a regular file", ... for a file's st_mode.
const char* kindOfFile(unsigned mode);

// The size in bytes of the regular file at `path`; -1 when it is missing or
// not a regular file.
int64_t fileSize(const std::string& path);

// The folder the program was started in ("" when it has no name: removed,
// or deeper than PATH_MAX), noted once before the program moves into its
// data folder (noteStartFolder; else at the first call): a relative entry of
// PATH (an empty one is ".") means a folder of the caller's, never of the
// data folder.
void noteStartFolder();
const std::string& startFolder();

// Makes a relative output name absolute against the working folder. False,
// with one line in *error, when the working folder has no name (removed,
// or deeper than PATH_MAX): kept relative, the name would be written in the
// data folder the program moves to.
bool makeAbsolute(std::string* path, std::string* error);

// Bytes read between two looks at the stop signals (a step takes well under
// a second on any disk).
constexpr size_t kReadStep = 1 << 20;

// Whether work that adds `virtualBytes` to the address space and touches
// `residentBytes` of it fits in what this process can still get: the room
// left under RLIMIT_AS (against the address space in use, /proc/self/statm)
// and under RLIMIT_DATA (against the data in use) for the first, and
// MemAvailable + SwapFree of /proc/meminfo for the second.
struct MemoryRoom {
    bool fits = true;
    uint64_t neededBytes = 0;    // against the tightest room: virtualBytes or residentBytes
    uint64_t availableBytes = 0; // that room
    std::string limitedBy;       // "RLIMIT_AS", "RLIMIT_DATA" or "MemAvailable + SwapFree"
};
MemoryRoom memoryRoom(uint64_t virtualBytes, uint64_t residentBytes);

} // namespace platform
