// The memory a run needs for its frame size: see FrameMemory.h.
#include "app/FrameMemory.h"

#include "platform/Files.h"
#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>

namespace {

// What a run at a frame size takes, measured with /usr/bin/time and ulimit -v
// on Mesa's llvmpipe (4 rasteriser threads): start-up (GL, LLVM, textures,
// scenes) touches about 130 MB and reserves about 1 GB of address space
// (thread stacks and arenas); each pixel of the frame then costs the
// framebuffer's colour and depth (8 bytes) and what the mode reads back:
// 11 bytes measured for a still (one RGB copy and Mesa's own), 24 for a
// capture (two pixel buffer objects and three frames queued for ffmpeg).
// Rounded up, as an estimate should be.
constexpr double kStartUpResidentBytes = 160.0 * (1 << 20);
constexpr double kStartUpVirtualBytes = 1024.0 * (1 << 20);

double bytesPerPixel(Mode mode) {
    switch (mode) {
    case Mode::Frame: return 16;
    case Mode::Capture: return 28;
    case Mode::Benchmark:
    case Mode::Live: return 12;
    }
    return 28;
}

} // namespace

std::string frameMemoryRefusal(const Options& o) {
    const int width = o.width ? o.width : platform::kDefaultFrameWidth;
    const int height = o.height ? o.height : platform::kDefaultFrameHeight;
    const double frameBytes = bytesPerPixel(o.mode) * width * height;
    const platform::MemoryRoom room = platform::memoryRoom(static_cast<uint64_t>(kStartUpVirtualBytes + frameBytes),
                                                           static_cast<uint64_t>(kStartUpResidentBytes + frameBytes));
    if (room.fits) return "";
    char text[256];
    std::snprintf(text, sizeof text,
                  "a %d x %d frame needs about %.0f MB (%.0f bytes a pixel and start-up), more than %s leaves "
                  "(%.0f MB)",
                  width, height, room.neededBytes / double(1 << 20), bytesPerPixel(o.mode), room.limitedBy.c_str(),
                  room.availableBytes / double(1 << 20));
    return text;
}

