// Start-up of the real executable with images missing or damaged: live,
// every image and every mask that is missing is named as a single image
// always was, each damaged file says what is wrong with it, and the demo
// plays on; the headless tools refuse with one line and render nothing.
#include "app/DemoProcess.h"
#include "app/SlotImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> dataImages() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(testgl::dataDir()) / "Textures"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A data folder with the demo's images but those in `leaveOut`, and the track
// (which also tells the demo that this is its data folder).
std::string dataFolder(const std::string& name, const std::set<std::string>& leaveOut) {
    const fs::path dir = fs::path(testgl::tmpDir()) / ("images-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir / "Textures");
    for (const std::string& image : dataImages())
        if (!leaveOut.count(image))
            fs::copy_file(fs::path(testgl::dataDir()) / "Textures" / image, dir / "Textures" / image);
    fs::create_symlink(fs::path(testgl::dataDir()) / "demosong.mp3", dir / "demosong.mp3");
    return dir.string();
}

// Start-up and a moment of live play in `dir` (offscreen: no message box),
// which goes on without what is missing.
RunResult startUp(const std::string& dir) {
    RunOptions o;
    o.dir = dir;
    const RunResult r = runDemo({"--window", "--silent", "--to", "200"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
}

int count(const std::string& text, const std::string& line) {
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

// Live, each line names the data folder it was looked for in.
std::string notFound(const std::string& image, const std::string& dir) {
    return DEMO_PROGRAM_NAME ": File Textures/" + image + " not found! in " + dir + "\n";
}

TEST(StartupImagesTest, EveryMissingFileIsNamed) {
    const std::vector<std::string> all = dataImages();
    ASSERT_EQ(all.size(), 56u);
    const std::string dir = dataFolder("none", {all.begin(), all.end()});
    const RunResult r = startUp(dir);
    for (const std::string& image : all) EXPECT_GE(count(r.err, notFound(image, dir)), 1) << image << "\n" << r.err;
}

// Each member of a pair missing while the other one is there.
TEST(StartupImagesTest, EachMissingMemberOfAPairIsNamed) {
    std::set<std::string> images, masks;
    for (const SlotImage& p : kSlotImages)
        if (p.mask && std::string(p.image) != p.mask) {
            images.insert(p.image);
            masks.insert(p.mask);
        }
    for (const std::set<std::string>* missing : {&images, &masks}) {
        const std::string dir = dataFolder(missing == &images ? "pair-images" : "pair-masks", *missing);
        const RunResult r = startUp(dir);
        for (const std::string& image : dataImages()) {
            const bool gone = missing->count(image) > 0;
            EXPECT_EQ(count(r.err, notFound(image, dir)), gone ? 1 : 0) << image << "\n" << r.err;
        }
    }
    // The files that are image and mask at once.
    std::set<std::string> both;
    for (const SlotImage& p : kSlotImages)
        if (p.mask && std::string(p.image) == p.mask) both.insert(p.image);
    ASSERT_EQ(both.size(), 4u);
    const std::string dir = dataFolder("pair-both", both);
    const RunResult r = startUp(dir);
    for (const std::string& image : both) EXPECT_EQ(count(r.err, notFound(image, dir)), 1) << image << "\n" << r.err;
}

// Damaged files: a single image of random bytes, an empty pair image, a mask
// cut short in its picture data, an image cut short in its headers, a
// progressive single image. Each is named with the reason.
TEST(StartupImagesTest, DamagedFilesAreNamed) {
    const std::string dir = dataFolder("damaged", {});
    const fs::path textures = fs::path(dir) / "Textures";
    auto bytes = [&](const std::string& name) { return slurp((textures / name).string()); };
    auto put = [&](const std::string& name, const std::string& content) {
        std::ofstream((textures / name).string(), std::ios::binary | std::ios::trunc) << content;
    };
    std::string noise(5000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    put("led1.jpg", noise);
    put("bubble.jpg", "");
    const std::string mask = bytes("layer2mask.jpg");
    put("layer2mask.jpg", mask.substr(0, mask.size() / 2));
    put("greet1.jpg", bytes("greet1.jpg").substr(0, 40));
    std::string progressive = bytes("noise.jpg");
    const size_t sof = progressive.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    progressive[sof + 1] = '\xC2';
    put("noise.jpg", progressive);

    const RunResult r = startUp(dir);
    const std::string expected[] = {
        "File Textures/led1.jpg cannot be decoded: it is not a JPEG image!",
        "File Textures/bubble.jpg cannot be decoded: it is empty!",
        "File Textures/layer2mask.jpg is cut short: the picture is black from where its data ends!",
        "File Textures/greet1.jpg cannot be decoded: it is cut short in its headers!",
        "File Textures/noise.jpg cannot be decoded: progressive JPEG is not supported (only baseline)!",
    };
    for (const std::string& line : expected)
        EXPECT_EQ(count(r.err, DEMO_PROGRAM_NAME ": " + line + " in " + dir + "\n"), 1) << line << r.err;
    EXPECT_EQ(count(r.err, ": File "), 5) << r.err; // and nothing about the others
}

// Without its data a still, a capture or a benchmark is not the demo's
// picture: one line naming the first missing file and how many more, status
// 2, nothing written.
TEST(StartupImagesTest, HeadlessToolsRefuseWithoutTheirData) {
    const std::vector<std::string> all = dataImages();
    const std::string none = dataFolder("headless-none", {all.begin(), all.end()});
    const std::string one = dataFolder("headless-one", {"noise.jpg"});
    const std::string damaged = dataFolder("headless-damaged", {});
    std::ofstream((fs::path(damaged) / "Textures" / "led2.jpg").string(), std::ios::trunc) << "not a picture";
    const std::pair<std::string, std::string> cases[] = {
        {none, DEMO_PROGRAM_NAME ": File Textures/cola.jpg not found! (and 55 more files missing or damaged) in " + none +
                   "; nothing rendered\n"},
        {one, DEMO_PROGRAM_NAME ": File Textures/noise.jpg not found! in " + one + "; nothing rendered\n"},
        {damaged, DEMO_PROGRAM_NAME ": File Textures/led2.jpg cannot be decoded: it is not a JPEG image! in " + damaged +
                      "; nothing rendered\n"},
    };
    for (const auto& [dir, line] : cases) {
        RunOptions o;
        o.dir = dir;
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--frame", "100", "--out", dir + "/still.png", "--silent"},
              std::vector<std::string>{"--capture", dir + "/video.mp4", "--to", "500", "--silent"},
              std::vector<std::string>{"--benchmark", "--to", "500", "--silent"}}) {
            const RunResult r = runDemo(args, o);
            EXPECT_EQ(r.status, 2) << args[0];
            EXPECT_EQ(r.err, line) << args[0];
            EXPECT_EQ(r.out, "") << args[0];
        }
        EXPECT_FALSE(fs::exists(dir + "/still.png"));
        EXPECT_FALSE(fs::exists(dir + "/video.mp4"));
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();
    }
}

// The track is data too: missing, another kind of audio, or too short for
// the stretch rendered is refused headless; live, a short track is named and
// the demo plays on.
TEST(StartupImagesTest, TrackThatCannotCoverTheStretchIsRefused) {
    const std::string dir = dataFolder("track", {});
    const fs::path track = fs::path(dir) / "demosong.mp3";
    const std::string whole = slurp((fs::path(testgl::dataDir()) / "demosong.mp3").string());
    auto put = [&](const std::string& bytes) {
        fs::remove(track);
        std::ofstream(track.string(), std::ios::binary) << bytes;
    };
    RunOptions o;
    o.dir = dir;
    auto still = [&](const std::string& ms) {
        return runDemo({"--frame", ms, "--out", dir + "/still.png"}, o);
    };

    // About 125 s of the 205 s (192 kbit/s): a still at 100 s is fine, one at 150 s is not.
    put(whole.substr(0, 3000000));
    RunResult r = still("100000");
    EXPECT_EQ(r.status, 0) << r.err;
    fs::remove(dir + "/still.png");
    r = still("150000");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": File demosong.mp3 holds 125.0 s of music, short of the 150.0 s needed in " + dir +
                         "; nothing rendered (--silent renders without it)\n");
    r = runDemo({"--benchmark", "--from", "120000", "--to", "130000", "--fps", "10"}, o);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("short of the 129.9 s needed"), std::string::npos) << r.err;
    // Live: named once on stderr, and the demo plays on.
    r = runDemo({"--window", "--from", "1000", "--to", "1300"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(DEMO_PROGRAM_NAME ": File demosong.mp3 holds 125.0 s of music, short of the 200.0 s needed in " + dir +
                         "; the demo "
                         "runs on silently after it\n"),
              std::string::npos)
        << r.err;

    // Not an MP3: WAV data under the track's name, raw samples.
    put("RIFF" + std::string(4000, '\x11'));
    r = still("100");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": File demosong.mp3 is not an MP3 (it holds RIFF data) in " + dir +
                         "; nothing rendered (--silent renders "
                     "without it)\n");
    put(std::string(4000, '\x11'));
    r = still("100");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not an MP3 (no MPEG audio frame at its start)"), std::string::npos) << r.err;
    // Missing.
    fs::remove(track);
    r = still("100");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": File demosong.mp3 not found! in " + dir +
                         "; nothing rendered (--silent renders without it)\n");
    EXPECT_FALSE(fs::exists(dir + "/still.png"));
}

} // namespace
