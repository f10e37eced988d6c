// jpegcheck IN.jpg OUT.png
//
// Decodes IN.jpg with the demo's own decoder and writes its pixels (RGB; the
// alpha is always 255) as OUT.png. Prints one line with the result, the size
// and the component count. Exit status 0 when the file decoded, 1 when it was
// refused (or could not be read), 2 on wrong usage or when the PNG could not
// be written.
#include "image/Jpg.h"
#include "platform/Platform.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jpegcheck IN.jpg OUT.png\n");
        return 2;
    }
    jpg::Image image;
    jpg::Problem problem;
    if (!jpg::decodeFile(argv[1], &image, &problem)) {
        std::printf("%s: refused: %s\n", argv[1], problem.why.c_str());
        return 1;
    }
    if (problem.fault != jpg::Fault::None) std::printf("%s: %s\n", argv[1], problem.why.c_str());
    std::vector<unsigned char> rgb(static_cast<size_t>(image.width) * image.height * 3);
    for (size_t i = 0; i < static_cast<size_t>(image.width) * image.height; ++i)
        for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = image.rgba[i * 4 + c];
    std::printf("%s: decoded %dx%d, %d component%s\n", argv[1], image.width, image.height, image.components,
                image.components == 1 ? "" : "s");
    if (!platform::writePng(argv[2], rgb.data(), image.width, image.height)) {
        std::fprintf(stderr, "jpegcheck: cannot write %s\n", argv[2]);
        return 2;
    }
    return 0;
}
