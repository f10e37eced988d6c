// The demo's own images, when the build has generated them (DEMO_DATA_DIR):
// each decodes, matches libjpeg-turbo (PSNR >= 40 dB) and the literal
// reference bit for bit. Skipped when the images are not there.
#include "image/JpegTestUtil.h"
#include "image/Jpg.h"
#include "image/ReferenceJpeg.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

TEST(DemoImages, DecodeLikeLibjpegAndTheReference) {
    const char* env = std::getenv("DEMO_DATA_DIR");
    const std::string dir = std::string(env ? env : "data") + "/Textures";
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".jpg") names.push_back(n);
        }
        closedir(d);
    }
    if (names.empty()) GTEST_SKIP() << "no images under " << dir;
    std::sort(names.begin(), names.end());
    double worst = 99;
    for (const std::string& n : names) {
        std::unique_ptr<unsigned char[]> bytes;
        size_t size = 0;
        ASSERT_TRUE(jpg::readFile((dir + "/" + n).c_str(), &bytes, &size)) << n;
        const jpegtest::Bytes file(bytes.get(), bytes.get() + size);
        jpg::Image image;
        ASSERT_EQ(jpg::decodeMemory(file.data(), file.size(), &image), 1) << n;
        refjpg::Result r = refjpg::decode(file.data(), file.size());
        ASSERT_EQ(r.ok, 1) << n;
        ASSERT_EQ(0, std::memcmp(image.rgba.get(), r.rgba.data(), r.rgba.size())) << n;
        int w = 0, h = 0;
        const std::vector<unsigned char> lib = jpegtest::libjpegDecode(file, &w, &h);
        ASSERT_EQ(w, image.width) << n;
        ASSERT_EQ(h, image.height) << n;
        const double psnr = jpegtest::psnrRgba(lib.data(), image.rgba.get(), static_cast<size_t>(w) * h);
        EXPECT_GE(psnr, 40.0) << n;
        worst = std::min(worst, psnr);
    }
    std::printf("%zu demo images: bit-exact with the reference, lowest PSNR against libjpeg-turbo %.2f dB\n",
                names.size(), worst);
}
