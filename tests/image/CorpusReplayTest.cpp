// Replays the fuzzer's seed corpus and every crash it ever found through the
// decoder (and the literal reference, which must agree).
#include "image/Jpg.h"
#include "image/ReferenceJpeg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#ifndef DEMO_FUZZ_DIR
#define DEMO_FUZZ_DIR "fuzz"
#endif

namespace {
std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    return out;
}
} // namespace

TEST(CorpusReplay, SeedsAndCrashes) {
    const std::vector<std::string> seeds = filesIn(std::string(DEMO_FUZZ_DIR) + "/corpus");
    const std::vector<std::string> crashes = filesIn(std::string(DEMO_FUZZ_DIR) + "/crashes");
    EXPECT_GE(seeds.size(), 5u);
    int decoded = 0;
    std::vector<std::string> all = seeds;
    all.insert(all.end(), crashes.begin(), crashes.end());
    for (const std::string& path : all) {
        std::unique_ptr<unsigned char[]> bytes;
        size_t size = 0;
        ASSERT_TRUE(jpg::readFile(path.c_str(), &bytes, &size)) << path;
        jpg::Image image;
        const int ok = jpg::decodeMemory(bytes.get(), size, &image);
        decoded += ok;
        if (size < 200000) {
            refjpg::Result r = refjpg::decode(bytes.get(), size);
            ASSERT_EQ(ok, r.ok) << path;
            if (ok) {
                ASSERT_EQ(0, std::memcmp(image.rgba.get(), r.rgba.data(), r.rgba.size())) << path;
            }
        }
    }
    std::printf("replayed %zu seeds and %zu crash files, %d decoded\n", seeds.size(), crashes.size(), decoded);
}
