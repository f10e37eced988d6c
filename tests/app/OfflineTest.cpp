// The headless tools: still frames, capture and their bad arguments, through
// the real executable; and the frame grid they share.
#include "app/DemoProcess.h"
#include "app/Offline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::string tmp(const std::string& name) { return testgl::tmpDir() + "/" + name; }

bool exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// Width and height from a PNG's IHDR chunk.
std::pair<int, int> pngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

TEST(FramePlanTest, GridFramesFromTheStartToStrictlyBeforeTheEnd) {
    const FramePlan p = planFrames(10, 20000, 21000, true);
    EXPECT_DOUBLE_EQ(p.stepMs, 100.0);
    EXPECT_EQ(p.first, 200);
    EXPECT_EQ(p.last, 209); // frames strictly before --to
}

TEST(FramePlanTest, StartOffTheGridRoundsUpAndWholeRunsHaveNoLast) {
    const FramePlan p = planFrames(60, 1000.5, 0, false);
    EXPECT_EQ(p.first, 61); // 1016.7 ms, the first grid frame at or after 1000.5
    EXPECT_EQ(p.last, -1);
    EXPECT_EQ(planFrames(60, 14800, 0, false).first, 888); // 14800 ms exactly on the grid
}

TEST(OfflineTest, TheSameFrameRendersIdenticallyTwice) {
    const std::string a = tmp("frame-a.png"), b = tmp("frame-b.png");
    const RunResult ra = runDemo({"--frame", "2500", "--out", a, "--fps", "10"});
    ASSERT_EQ(ra.status, 0) << ra.err;
    const RunResult rb = runDemo({"--frame", "2500", "--out", b, "--fps", "10"});
    ASSERT_EQ(rb.status, 0) << rb.err;
    const std::string bytesA = slurp(a), bytesB = slurp(b);
    EXPECT_EQ(pngSize(bytesA), std::make_pair(1024, 768));
    EXPECT_EQ(bytesA, bytesB);
}

TEST(OfflineTest, BadArgumentsGiveOneLineAndStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--frame", "200001", "--out", tmp("x.png")},
        {"--frame", "-1", "--out", tmp("x.png")},
        {"--frame", "abc", "--out", tmp("x.png")},
        {"--frame", "100"},
        {"--benchmark", "--fps", "0"},
        {"--benchmark", "--fps", "241"},
        {"--benchmark", "--from", "5000", "--to", "4000"},
        {"--capture", tmp("x.mp4"), "--to", "300000"},
    };
    for (const auto& args : cases) {
        const RunResult r = runDemo(args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(r.err.rfind(DEMO_PROGRAM_NAME ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err; // one line
    }
    EXPECT_FALSE(exists(tmp("x.png")));
}

TEST(OfflineTest, UnwritableOutputIsRefusedWithoutAFile) {
    const RunResult r = runDemo({"--frame", "100", "--out", "/nonexistent-dir/x.png"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write '/nonexistent-dir/x.png'"), std::string::npos) << r.err;
}

TEST(OfflineTest, CaptureWithoutFfmpegIsRefused) {
    const std::string out = tmp("no-ffmpeg.mp4");
    const RunResult r = runDemo({"--capture", out, "--to", "100"}, {}, 0, {{"PATH", "/nonexistent"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("needs ffmpeg"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(out));
}

// Runs a command and returns what it printed.
std::string capture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

TEST(OfflineTest, ShortCaptureIsAPlayableVideoWhoseFramesMatchStills) {
    const std::string video = tmp("clip.mp4");
    std::remove(video.c_str());
    const RunResult r = runDemo({"--capture", video, "--from", "1000", "--to", "2000", "--fps", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(exists(video));
    const std::string probe = capture("ffprobe -v error -count_frames -show_entries "
                                      "stream=codec_type,codec_name,nb_read_frames,width,height,pix_fmt "
                                      "-show_entries format=duration -of default=nw=1 '" + video + "'");
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    EXPECT_NE(probe.find("pix_fmt=yuv420p"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=1024"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=5"), std::string::npos) << probe;
    if (exists(testgl::dataDir() + "/demosong.mp3")) {
        EXPECT_NE(probe.find("codec_type=audio"), std::string::npos) << probe;
    }

    // Frame 3 of the clip is music time 1600 ms: decode it and compare with the
    // still put through the same 4:2:0 chroma subsampling.
    const std::string still = tmp("still-1600.png"), decoded = tmp("clip-frame3.png");
    const std::string still420 = tmp("still-1600-420.png"), neighbour = tmp("clip-frame2.png");
    ASSERT_EQ(runDemo({"--frame", "1600", "--out", still, "--fps", "5"}).status, 0);
    capture("ffmpeg -v error -y -i '" + still + "' -vf format=yuv420p,format=rgb24 '" + still420 + "'");
    capture("ffmpeg -v error -y -i '" + video + "' -vf 'select=eq(n\\,3)' -frames:v 1 '" + decoded + "'");
    capture("ffmpeg -v error -y -i '" + video + "' -vf 'select=eq(n\\,2)' -frames:v 1 '" + neighbour + "'");
    auto psnr = [&](const std::string& a, const std::string& b) {
        const std::string out =
            capture("ffmpeg -hide_banner -nostats -i '" + a + "' -i '" + b + "' -lavfi psnr -f null - 2>&1");
        const size_t at = out.find("average:");
        return at == std::string::npos ? -1.0 : std::atof(out.c_str() + at + 8);
    };
    const double same = psnr(decoded, still420), other = psnr(neighbour, still420);
    EXPECT_GT(same, 35.0); // lossy H.264 at crf 17 of the same picture
    EXPECT_GT(same, other + 5.0); // and clearly not the frame before it
}

} // namespace

namespace {

// x264 writes its settings into the stream it makes: --crf and --preset
// reach the encoder as given (ultrafast is the preset without CABAC).
TEST(OfflineTest, CrfAndPresetReachTheEncoder) {
    const std::string video = tmp("clip-crf.mp4");
    std::remove(video.c_str());
    const RunResult r = runDemo(
        {"--capture", video, "--from", "1000", "--to", "1600", "--fps", "5", "--crf", "40", "--preset", "ultrafast"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = capture("cat '" + video + "'");
    EXPECT_NE(bytes.find("crf=40.0"), std::string::npos);
    EXPECT_NE(bytes.find("cabac=0"), std::string::npos);
    std::remove(video.c_str());
}

} // namespace

namespace {

// The frame `n` of a video (or a PNG), as RGB bytes.
std::vector<unsigned char> decodedFrame(const std::string& video, int n) {
    const std::string rgb = capture("ffmpeg -v error -i '" + video + "' -vf 'select=eq(n\\," + std::to_string(n) +
                                    ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    return std::vector<unsigned char>(rgb.begin(), rgb.end());
}

double psnr(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    double squared = 0;
    for (size_t i = 0; i < a.size(); ++i) squared += (a[i] - b[i]) * (a[i] - b[i]);
    return squared == 0 ? 1e9 : 10 * std::log10(255.0 * 255.0 * a.size() / squared);
}

// Every format a capture's name asks for, probed as an editor's tools see
// it, and its frames at two moments against the stills there: FFV1 and the
// PNG stills the same pixels, ProRes and H.264 close to them (and clearly
// not the frame before). The stills are numbered by their frame on the grid
// (1000 ms at 5 fps is frame 5); the track's stretch lies beside them.
TEST(OfflineTest, EachCaptureFormatIsWrittenWholeAndItsFramesAreTheStills) {
    const std::vector<int> moments = {1200, 1800}; // frames 1 and 4 of the clip
    std::vector<std::string> stills;
    for (const int ms : moments) {
        stills.push_back(tmp("format-still-" + std::to_string(ms) + ".png"));
        ASSERT_EQ(runDemo({"--frame", std::to_string(ms), "--out", stills.back(), "--fps", "5"}).status, 0);
    }
    struct Case {
        std::string name, video, audio, pixels;
        bool exact;
        double minPsnr;
    };
    const std::string folder = tmp("format-frames");
    std::filesystem::remove_all(folder);
    const std::vector<Case> cases = {
        {tmp("format.mp4"), "h264", "aac", "yuv420p", false, 35},  // crf 16 ultrafast
        {tmp("format.mkv"), "ffv1", "flac", "bgr0", true, 0},
        {tmp("format.mov"), "prores", "pcm_s16le", "yuv422p10le", false, 36}, // 37.3 and 38.3 dB here
        {folder + "/%05d.png", "png", "pcm_s16le", "rgb24", true, 0},
    };
    const bool withTrack = exists(testgl::dataDir() + "/demosong.mp3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = runDemo({"--capture", c.name, "--from", "1000", "--to", "2000", "--fps", "5"});
        ASSERT_EQ(r.status, 0) << r.err;
        const bool sequence = c.video == "png";
        // The stills 00005.png to 00009.png, the sequence as ffmpeg reads it.
        const std::string video = sequence ? folder + "/%05d.png" : c.name;
        const std::string videoProbe =
            capture("ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,pix_fmt,nb_read_frames "
                    "-of default=nw=1 " + (sequence ? "-start_number 5 " : std::string()) + "'" + video + "'");
        EXPECT_NE(videoProbe.find("codec_name=" + c.video), std::string::npos) << videoProbe;
        EXPECT_NE(videoProbe.find("pix_fmt=" + c.pixels), std::string::npos) << videoProbe;
        EXPECT_NE(videoProbe.find("nb_read_frames=5"), std::string::npos) << videoProbe;
        const std::string audioFile = sequence ? folder + "/format-frames.wav" : c.name;
        if (withTrack) {
            const std::string audioProbe =
                capture("ffprobe -v error -show_entries stream=codec_type,codec_name -of default=nw=1 '" +
                        audioFile + "'");
            EXPECT_NE(audioProbe.find("codec_name=" + c.audio + "\ncodec_type=audio"), std::string::npos)
                << audioProbe;
        }
        if (sequence) {
            EXPECT_TRUE(exists(folder + "/00005.png") && exists(folder + "/00009.png") &&
                        !exists(folder + "/00010.png"));
        }
        for (size_t i = 0; i < moments.size(); ++i) {
            const int n = moments[i] == 1200 ? 1 : 4;
            const std::vector<unsigned char> frame =
                sequence ? decodePng(folder + "/0000" + std::to_string(5 + n) + ".png") : decodedFrame(video, n);
            if (c.exact) {
                EXPECT_TRUE(frame == decodePng(stills[i])) << "frame " << n;
            } else {
                // Against the still put through the same chroma subsampling.
                const std::vector<unsigned char> still = decodePng(stills[i], "format=" + c.pixels + ",format=rgb24");
                const double same = psnr(frame, still);
                EXPECT_GT(same, c.minPsnr) << "frame " << n;
                EXPECT_GT(same, psnr(decodedFrame(video, n - 1), still) + 5.0) << "frame " << n;
            }
        }
    }
}

// A format the installed ffmpeg cannot write is refused before anything
// renders (here an ffmpeg built without FFV1), and a sequence's folder that
// already holds files is left as it is; neither leaves anything behind.
TEST(OfflineTest, AMissingEncoderOrAFullFolderIsRefusedBeforeRendering) {
    const std::string dir = tmp("no-ffv1");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/bin");
    const char* path = std::getenv("PATH");
    const std::string searched = path ? path : "/usr/bin:/bin";
    {
        std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\nPATH='" << searched
                                           << "' ffmpeg \"$@\" | grep -v ' ffv1 '\n";
    }
    std::filesystem::permissions(dir + "/bin/ffmpeg", std::filesystem::perms::owner_all);
    const RunResult r = runDemo({"--capture", dir + "/out.mkv", "--to", "1000"}, {}, 0,
                                {{"PATH", dir + "/bin:" + searched}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": this ffmpeg has no ffv1 encoder, which an .mkv capture needs; nothing rendered\n");
    EXPECT_FALSE(exists(dir + "/out.mkv"));

    std::ofstream(dir + "/bin/keep.txt") << "mine";
    const RunResult full = runDemo({"--capture", dir + "/bin/%03d.png", "--to", "1000"});
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("is a folder that holds files, not an empty folder; left as it is"), std::string::npos)
        << full.err;
    EXPECT_EQ(slurp(dir + "/bin/keep.txt"), "mine");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.path().filename() != "bin";
    EXPECT_EQ(entries, 0u) << "nothing made beside it";
}

} // namespace
