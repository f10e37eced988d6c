// Differential libFuzzer entry: the fast decoder against the literal reference
// (tests/image/ReferenceJpeg.cpp) on frames of at most 256 x 256 pixels. Any
// difference in result or in a single byte aborts.
#include "image/Jpg.h"
#include "image/ReferenceJpeg.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    jpeg_max_dimension = 256; // the reference is slow
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpg::Image image;
    const int ok = jpg::decodeMemory(data, size, &image);
    refjpg::Result r = refjpg::decode(data, size, 256);
    if (ok != r.ok) std::abort();
    if (ok) {
        if (r.width != image.width || r.height != image.height) std::abort();
        if (std::memcmp(image.rgba.get(), r.rgba.data(), r.rgba.size()) != 0) std::abort();
    }
    return 0;
}
