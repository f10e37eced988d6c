// The texture manager through a real GL context: index order, the name cache,
// file name endings, filters, wrap modes, uploads read back from GL, the
// missing-file message.
#include "image/JpegTestUtil.h"
#include "image/Jpg.h"
#include "image/Texture.h"
#include "support/GLContext.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A folder with Textures/ holding the test images; the working directory is
// switched to it for the duration of each test.
class TextureTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) return;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir_ = cwd;
        dir_ = testgl::tmpDir() + "/texture_test";
        mkdir(dir_.c_str(), 0755);
        mkdir((dir_ + "/Textures").c_str(), 0755);
        jpegtest::EncodeOptions o;
        o.hSamp = o.vSamp = 2;
        write("cola.jpg", jpegtest::encode(jpegtest::makePicture(64, 32, 3, 1), 64, 32, o));
        write("Cola.jpg", jpegtest::encode(jpegtest::makePicture(64, 32, 3, 2), 64, 32, o));
        write("colamask.jpg", jpegtest::encode(jpegtest::makePicture(64, 32, 3, 3), 64, 32, o));
        write("odd.jpg", jpegtest::encode(jpegtest::makePicture(33, 17, 3, 4), 33, 17, o));
        write("upper.JPG", jpegtest::encode(jpegtest::makePicture(16, 16, 3, 5), 16, 16, o));
        write("mixed.jPg", jpegtest::encode(jpegtest::makePicture(16, 16, 3, 6), 16, 16, o));
        write("thing.png", jpegtest::encode(jpegtest::makePicture(16, 16, 3, 7), 16, 16, o));
        jpegtest::EncodeOptions p = o;
        p.progressive = true;
        write("progressive.jpg", jpegtest::encode(jpegtest::makePicture(16, 16, 3, 8), 16, 16, p));
        ASSERT_TRUE(platform::changeDirectory(dir_));
        tex_.reset(new Texture());
        // The glow's three render targets come first, as at start-up.
        for (unsigned i = 0; i < 3; ++i) ASSERT_EQ(tex_->empty(128, GL_LINEAR), i);
    }
    void TearDown() override {
        if (!oldDir_.empty()) platform::changeDirectory(oldDir_);
    }
    void write(const char* name, const jpegtest::Bytes& b) {
        ASSERT_TRUE(jpegtest::writeFile(dir_ + "/Textures/" + name, b));
    }
    static GLint param(GLenum p) {
        GLint v = -1;
        glGetTexParameteriv(GL_TEXTURE_2D, p, &v);
        return v;
    }
    static GLint level(int lvl, GLenum p) {
        GLint v = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, lvl, p, &v);
        return v;
    }
    static std::vector<unsigned char> readRgba(int w, int h) {
        std::vector<unsigned char> out(static_cast<size_t>(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    }
    jpg::Image decoded(const char* name) {
        jpg::Image img;
        EXPECT_EQ(jpg::decodeFile((std::string("Textures/") + name).c_str(), &img, nullptr), 1);
        return img;
    }
    std::string oldDir_, dir_;
    std::unique_ptr<Texture> tex_;
};

} // namespace

TEST_F(TextureTest, RenderTargetsFirstThenFilesInOrder) {
    EXPECT_EQ(tex_->count, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(tex_->names[i], 0u);
        EXPECT_STREQ(tex_->fileNames[i], "");
        glBindTexture(GL_TEXTURE_2D, tex_->names[i]);
        EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 128);
        EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_CLAMP);
        EXPECT_EQ(param(GL_TEXTURE_WRAP_T), GL_CLAMP);
        EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
        EXPECT_EQ(param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    }
    EXPECT_EQ(tex_->load("cola.jpg", GL_LINEAR), 3u);
    EXPECT_EQ(tex_->load("odd.jpg", GL_LINEAR), 4u);
    EXPECT_STREQ(tex_->fileNames[3], "cola.jpg");
    // Render targets of sizes whose RGB rows need padding.
    EXPECT_EQ(tex_->empty(5, GL_LINEAR), 5u);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 5);
    EXPECT_EQ(tex_->empty(7, kMipmapFilter), 6u);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_STREQ(tex_->fileNames[5], "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, NameCacheReturnsTheSameIndexWithoutANewObject) {
    const unsigned a = tex_->load("cola.jpg", GL_LINEAR);
    const unsigned countAfter = tex_->count;
    const GLuint name = tex_->names[a];
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(tex_->load("cola.jpg", kMipmapFilter), a);
    EXPECT_EQ(tex_->loadClamped("cola.jpg", GL_NEAREST), a);
    EXPECT_EQ(tex_->count, countAfter);
    EXPECT_EQ(tex_->names[a], name);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0); // no GL call on a cache hit
    glBindTexture(GL_TEXTURE_2D, name);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR); // the later filters were not applied
    EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_REPEAT);
}

TEST_F(TextureTest, NamesAreCaseSensitive) {
    const unsigned a = tex_->load("cola.jpg", GL_LINEAR);
    const unsigned b = tex_->load("Cola.jpg", GL_LINEAR);
    EXPECT_NE(a, b);
    EXPECT_EQ(tex_->load("Cola.jpg", GL_LINEAR), b);
    EXPECT_EQ(tex_->load("cola.jpg", GL_LINEAR), a);
}

TEST_F(TextureTest, UploadedPixelsReadBack) {
    const unsigned a = tex_->load("odd.jpg", GL_LINEAR);
    tex_->bind(a);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 33);
    EXPECT_EQ(level(0, GL_TEXTURE_HEIGHT), 17);
    const GLint fmt = level(0, GL_TEXTURE_INTERNAL_FORMAT);
    EXPECT_TRUE(fmt == GL_RGB || fmt == GL_RGB8 || fmt == 3) << fmt;
    EXPECT_EQ(level(1, GL_TEXTURE_WIDTH), 0); // a single level
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_T), GL_REPEAT);
    const std::vector<unsigned char> got = readRgba(33, 17);
    jpg::Image img = decoded("odd.jpg");
    for (int i = 0; i < 33 * 17; ++i) {
        for (int c = 0; c < 3; ++c) ASSERT_EQ(got[i * 4 + c], img.rgba[i * 4 + c]) << i;
        ASSERT_EQ(got[i * 4 + 3], 255); // no alpha stored
    }
}

TEST_F(TextureTest, ClampedWrapModes) {
    const unsigned a = tex_->loadClamped("cola.jpg", GL_LINEAR);
    tex_->bind(a);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 64);
}

TEST_F(TextureTest, MipmapFilterBuildsAChain) {
    const unsigned a = tex_->load("cola.jpg", kMipmapFilter);
    tex_->bind(a);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 64);
    EXPECT_EQ(level(1, GL_TEXTURE_WIDTH), 32);
    EXPECT_EQ(level(6, GL_TEXTURE_WIDTH), 1);
    const std::vector<unsigned char> got = readRgba(64, 32);
    jpg::Image img = decoded("cola.jpg");
    for (int i = 0; i < 64 * 32; ++i)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(got[i * 4 + c], img.rgba[i * 4 + c]) << i;
    // A mipmapped render target.
    const unsigned t = tex_->empty(64, kMipmapFilter);
    tex_->bind(t);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(level(1, GL_TEXTURE_WIDTH), 32);
}

TEST_F(TextureTest, EndingsJpgInAnyCaseAreDecodedOthersGetNoImage) {
    const unsigned u = tex_->load("upper.JPG", GL_LINEAR);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 16);
    const unsigned m = tex_->load("mixed.jPg", GL_LINEAR);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 16);
    const unsigned before = tex_->count;
    const unsigned p = tex_->load("thing.png", GL_LINEAR);
    EXPECT_EQ(p, before);
    EXPECT_EQ(tex_->count, before + 1);
    tex_->bind(p);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 0); // no image
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_NE(u, m);
    EXPECT_EQ(tex_->load("thing.png", GL_LINEAR), p);
}

TEST_F(TextureTest, MaskedLoadIsRgba8WithMaskBrightness) {
    const unsigned a = tex_->load("cola.jpg", "colamask.jpg", GL_LINEAR);
    tex_->bind(a);
    EXPECT_EQ(level(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
    const std::vector<unsigned char> got = readRgba(64, 32);
    jpg::Image img = decoded("cola.jpg"), mask = decoded("colamask.jpg");
    for (int i = 0; i < 64 * 32; ++i) {
        for (int c = 0; c < 3; ++c) ASSERT_EQ(got[i * 4 + c], img.rgba[i * 4 + c]);
        const unsigned char* mp = mask.rgba.get() + i * 4;
        ASSERT_EQ(got[i * 4 + 3], (mp[0] + mp[1] + mp[2]) / 3);
    }
    // Only the image name is cached: a later plain load gives the masked texture.
    EXPECT_EQ(tex_->load("cola.jpg", GL_LINEAR), a);
    // The same file as image and mask: alpha is its own brightness. (A power
    // of two: gluBuild2DMipmaps rescales other sizes.)
    const unsigned self = tex_->load("Cola.jpg", "Cola.jpg", kMipmapFilter);
    tex_->bind(self);
    EXPECT_EQ(level(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
    EXPECT_EQ(level(1, GL_TEXTURE_WIDTH), 32);
    const std::vector<unsigned char> s = readRgba(64, 32);
    for (int i = 0; i < 64 * 32; ++i) ASSERT_EQ(s[i * 4 + 3], (s[i * 4] + s[i * 4 + 1] + s[i * 4 + 2]) / 3);
}

TEST_F(TextureTest, MissingSingleImageShowsTheMessageAndGoesOn) {
    ::testing::internal::CaptureStderr();
    const unsigned a = tex_->load("missing.jpg", GL_LINEAR);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(DEMO_PROGRAM_NAME ": File Textures/missing.jpg not found!"), std::string::npos) << err;
    EXPECT_EQ(a, 3u);
    tex_->bind(a);
    EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    // Asked again: the same index, no retry, no message.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tex_->load("missing.jpg", GL_LINEAR), a);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Every file of an image-and-mask pair that is missing is named, in the same
// words as a single image, and each missing file once; nothing is uploaded.
TEST_F(TextureTest, MissingImageOrMaskOfAPairIsNamed) {
    ::testing::internal::CaptureStderr();
    const unsigned b = tex_->load("cola.jpg", "nomask.jpg", GL_LINEAR);
    const unsigned c = tex_->load("nothere.jpg", "colamask.jpg", GL_LINEAR);
    const unsigned d = tex_->load("neither.jpg", "nor.jpg", GL_LINEAR);
    const unsigned e = tex_->load("gone.jpg", "gone.jpg", GL_LINEAR);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              DEMO_PROGRAM_NAME ": File Textures/nomask.jpg not found!\n"
              DEMO_PROGRAM_NAME ": File Textures/nothere.jpg not found!\n"
              DEMO_PROGRAM_NAME ": File Textures/neither.jpg not found!\n"
              DEMO_PROGRAM_NAME ": File Textures/nor.jpg not found!\n"
              DEMO_PROGRAM_NAME ": File Textures/gone.jpg not found!\n");
    EXPECT_EQ(b, 3u);
    EXPECT_EQ(e, 6u);
    for (unsigned i : {b, c, d, e}) {
        tex_->bind(i);
        EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), 0) << i;
    }
}

// A file that is there but cannot be decoded says one line with its name and
// why; start-up goes on. One cut short in its picture data keeps what was
// decoded (the upload happens) and says so too.
TEST_F(TextureTest, DamagedFilesAreNamedWithTheReason) {
    const jpegtest::Bytes good = jpegtest::encode(jpegtest::makePicture(64, 32, 3, 9), 64, 32, {});
    const size_t scan = jpegtest::scanStart(good);
    jpegtest::Bytes noise(3000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 7919u >> 3);
    write("empty.jpg", {});
    write("noise.jpg", noise);
    write("headers.jpg", jpegtest::Bytes(good.begin(), good.begin() + static_cast<long>(scan / 2)));
    write("data.jpg", jpegtest::Bytes(good.begin(), good.begin() + static_cast<long>((scan + good.size()) / 2)));
    write("small.jpg", jpegtest::encode(jpegtest::makePicture(32, 32, 3, 9), 32, 32, {}));
    struct Case {
        const char* image;
        const char* mask; // nullptr: a single image
        const char* line;
        int width;        // of the upload (0: none)
    };
    const Case cases[] = {
        {"empty.jpg", nullptr, DEMO_PROGRAM_NAME ": File Textures/empty.jpg cannot be decoded: it is empty!", 0},
        {"noise.jpg", nullptr, DEMO_PROGRAM_NAME ": File Textures/noise.jpg cannot be decoded: it is not a JPEG image!", 0},
        {"progressive.jpg", nullptr,
         DEMO_PROGRAM_NAME ": File Textures/progressive.jpg cannot be decoded: progressive JPEG is not supported (only baseline)!",
         0},
        {"headers.jpg", nullptr, DEMO_PROGRAM_NAME ": File Textures/headers.jpg cannot be decoded: it is cut short in its headers!",
         0},
        {"data.jpg", nullptr,
         DEMO_PROGRAM_NAME ": File Textures/data.jpg is cut short: the picture is black from where its data ends!", 64},
        {"cola.jpg", "empty.jpg", DEMO_PROGRAM_NAME ": File Textures/empty.jpg cannot be decoded: it is empty!", 0},
        {"noise.jpg", "colamask.jpg", DEMO_PROGRAM_NAME ": File Textures/noise.jpg cannot be decoded: it is not a JPEG image!", 0},
        {"cola.jpg", "data.jpg",
         DEMO_PROGRAM_NAME ": File Textures/data.jpg is cut short: the picture is black from where its data ends!", 64},
        {"cola.jpg", "small.jpg",
         DEMO_PROGRAM_NAME ": File Textures/small.jpg cannot be a mask: it is 32 x 32, its image Textures/cola.jpg 64 x 32!", 0},
    };
    // Live a file cut short is shown as far as it decoded; headless (where a
    // damaged image stops the run) nothing of it is uploaded.
    for (const bool live : {true, false}) {
        for (const Case& c : cases) {
            tex_->uploadDamaged = live;
            ::testing::internal::CaptureStderr();
            const unsigned i = c.mask ? tex_->load(c.image, c.mask, GL_LINEAR) : tex_->load(c.image, GL_LINEAR);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(c.line) + "\n");
            tex_->bind(i);
            EXPECT_EQ(level(0, GL_TEXTURE_WIDTH), live ? c.width : 0) << c.image;
            // A texture manager caches by the image's name: a fresh one for the next case.
            tex_.reset(new Texture());
        }
    }
}

TEST_F(TextureTest, RampBindAndUnbind) {
    const unsigned before = tex_->count;
    tex_->load1D();
    EXPECT_EQ(tex_->index1D, static_cast<int>(before));
    EXPECT_EQ(tex_->count, before + 1);
    tex_->bind1D();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_1D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), tex_->names[before]);
    float texels[32 * 3];
    glGetTexImage(GL_TEXTURE_1D, 0, GL_RGB, GL_FLOAT, texels);
    for (int i = 0; i < 32; ++i) {
        const float e = i < 4 ? 0.2f : (i < 14 ? 0.5f : 1.0f);
        EXPECT_NEAR(texels[i * 3], e, 0.01f) << i;
    }
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    tex_->bind(0);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), tex_->names[0]);
    tex_->unbind();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    tex_->unbind();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
