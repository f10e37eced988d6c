// Clock, error message and PNG writing.
#include "platform/Platform.h"
#include "platform/Files.h"
#include "platform/Output.h"

#include <SDL2/SDL.h>
#include <malloc.h>
#include <png.h>

#include <cstdio>
#include <ctime>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <vector>

namespace platform {

namespace {

// How many threads (up to `wanted`) the process can have at once besides
// its own, found by making them: a process limit (RLIMIT_NPROC, counted
// over all of the user's processes and threads) is known only that way.
// Each waits on a pipe until all are counted, then ends.
int threadsThatCanBeMade(int wanted) {
    int gate[2];
    if (pipe2(gate, O_CLOEXEC) != 0) return 0;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64 * 1024); // they only wait
    std::vector<pthread_t> made;
    for (int i = 0; i < wanted; ++i) {
        pthread_t t;
        if (pthread_create(&t, &attr, [](void* fd) -> void* {
                char c;
                while (read(*static_cast<int*>(fd), &c, 1) < 0 && errno == EINTR) {}
                return nullptr;
            }, &gate[0]) != 0)
            break;
        made.push_back(t);
    }
    pthread_attr_destroy(&attr);
    close(gate[1]); // every waiting read now returns 0
    for (const pthread_t t : made) pthread_join(t, nullptr);
    close(gate[0]);
    return static_cast<int>(made.size());
}

} // namespace

void chooseRasteriserThreads() {
    // Mesa's software rasteriser starts one thread per core. Twice as many
    // keep the cores busy while the thread that issues the GL calls takes
    // one of them: measured on two cores over the whole demo, 4 threads give
    // the same pixels and the same mean frame, and the scenes with the most
    // GL calls (9, 11, 7, 4) 10 to 25 % lower 95th percentiles. A value the
    // user set is kept; Mesa takes at most 16.
    const char* given = std::getenv("LP_NUM_THREADS");
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const int wanted = given ? std::max(0, std::atoi(given))
                             : static_cast<int>(cores < 1 ? 2 : cores * 2 > 16 ? 16 : cores * 2);
    // llvmpipe waits for good on a rasteriser thread it could not make (a
    // process limit): it makes as many again for its compute pool, and the
    // program needs a few more (the sound, the encoder's writer, the encoder
    // and ffprobe as processes, Mesa's shader cache). What cannot all be
    // made is lowered to what can, 0 (rasterising on the calling thread)
    // when not even one pair fits.
    constexpr int kOtherThreads = 6;
    const int needed = 2 * std::min(wanted, 16) + kOtherThreads;
    const int canMake = threadsThatCanBeMade(needed);
    const int threads = canMake >= needed ? wanted : std::max(0, (canMake - kOtherThreads) / 2);
    if (given && threads == wanted) return;
    if (given)
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": LP_NUM_THREADS=%s lowered to %d: only %d more threads can be made (RLIMIT_NPROC)\n",
                     printable(given).c_str(), threads, canMake);
    setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
}

void keepFreedMemory() {
    // The software rasteriser allocates and frees megabytes a frame (its
    // bins, vertex buffers, blit scratch). With malloc's defaults the heap's
    // freed top goes back to the kernel and the next frame takes it again a
    // page fault at a time: live on two cores that was some 60 faults a
    // frame, and the busiest scenes' 99th-percentile frames 10 % slower.
    // Blocks up to 32 MB come from the heap, and up to 256 MB of freed heap
    // is kept; the peak resident size stays the same.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

uint64_t monotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

namespace {
// Start-up's problems while they are gathered (see gatherErrors).
bool gathering = false;
std::vector<std::string> gathered;

// A modal box: while it is up, a stop signal ends the process at once (the
// box's own event loop would never look at it), and the child SDL forks to
// show it ends with us.
void messageBox(const char* caption, const std::string& text) {
    if (!hasScreen()) return;
    const bool was = exitOnStopSignal(true);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text.c_str(), nullptr);
    exitOnStopSignal(was);
}
} // namespace

void showError(const char* caption, const char* text) {
    if (gathering) {
        gathered.push_back(text);
        return;
    }
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", printable(text).c_str());
    std::fflush(stderr);
    messageBox(caption, text);
}

void gatherErrors(bool on) {
    gathering = on;
    if (on) gathered.clear();
}

std::vector<std::string> gatheredErrors() { return gathered; }

void showErrors(const char* caption, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", printable(lines[i]).c_str());
        if (i < kErrorBoxLines) text += printable(lines[i]) + "\n";
    }
    std::fflush(stderr);
    if (lines.size() > kErrorBoxLines)
        text += "... and " + std::to_string(lines.size() - kErrorBoxLines) + " more (all of them on stderr)\n";
    messageBox(caption, text);
}

std::string printable(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += hex[u >> 4];
                out += hex[u & 15];
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string executableDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

bool changeDirectory(const std::string& dir) { return chdir(dir.c_str()) == 0; }

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

std::string programPath(const char* name) {
    if (std::strchr(name, '/')) return access(name, X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        // A relative entry (an empty one is ".") is the caller's folder, not
        // the data folder we work in; skipped when that folder has no name.
        std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        if (dir[0] != '/') dir = startFolder().empty() ? "" : startFolder() + "/" + dir;
        const std::string candidate = dir + "/" + name;
        struct stat st;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0 && stat(candidate.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            return candidate;
        start = end + 1;
    }
    return "";
}

bool findProgram(const char* name) { return !programPath(name).empty(); }

namespace {
// libpng reports a failed write through this (instead of printing it and
// aborting): the reason is kept and control returns to the setjmp.
struct PngError {
    int savedErrno = 0;
    std::string text;
};
void onPngError(png_structp png, png_const_charp message) {
    PngError* e = static_cast<PngError*>(png_get_error_ptr(png));
    e->savedErrno = errno;
    e->text = message;
    png_longjmp(png, 1);
}
void onPngWarning(png_structp, png_const_charp) {}
} // namespace

bool writePng(const char* path, const unsigned char* rgb, int width, int height, std::string* error) {
    std::string why;
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    PngError pngError;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool encoded = false; // set after the last call that can return through longjmp
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, 3);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * width * 3));
        png_write_end(png, nullptr);
        encoded = true;
    } else {
        why = pngError.savedErrno ? std::strerror(pngError.savedErrno) : pngError.text;
    }
    bool ok = encoded;
    png_destroy_write_struct(&png, &info);
    // A full disk may only show when the buffered bytes reach it.
    if (ok && (std::fflush(f) != 0 || (fsync(fileno(f)) != 0 && errno != EINVAL))) {
        ok = false;
        why = std::strerror(errno);
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        std::remove(path);
        if (error) *error = why.empty() ? "cannot encode the picture" : why;
    }
    return ok;
}

} // namespace platform
