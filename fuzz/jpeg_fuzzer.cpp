// libFuzzer entry: one input is one file's bytes. The decoder must not crash,
// hang, read or write out of bounds, or hit undefined behaviour; a decoded
// image must be exactly width x height RGBA with alpha 255.
#include "image/Jpg.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Keep single inputs fast: a hostile header may ask for 8192 x 8192.
    jpeg_max_dimension = 2048;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpg::Image image;
    if (jpg::decodeMemory(data, size, &image)) {
        if (image.width < 1 || image.height < 1 || (image.components != 1 && image.components != 3)) std::abort();
        const size_t n = static_cast<size_t>(image.width) * image.height;
        for (size_t i = 0; i < n; i += 97)
            if (image.rgba[i * 4 + 3] != 255) std::abort();
    }
    return 0;
}
