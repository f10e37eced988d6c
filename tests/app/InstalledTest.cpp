// What an installed program relies on: it finds its data from where its
// executable lies, whatever the working directory (real folders built in the
// scratch folder: an installed prefix, a build tree, folders without data),
// and it tells its name and version.
#include "app/DataFolder.h"

#include "DemoProcess.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string cwd() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? buf : "";
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A scratch tree, removed afterwards; the working directory is put back.
class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        startDir_ = cwd();
        root_ = fs::path(testgl::tmpDir()) / ("datafolder-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "elsewhere");
        // An installed prefix: P/bin and P/share/paper-weather.
        prefix_ = root_ / "prefix";
        fs::create_directories(prefix_ / "bin");
        writeFile(installedData() / "demosong.mp3", "track");
        writeFile(installedData() / "Textures" / "cola.jpg", "logo");
    }
    void TearDown() override {
        ASSERT_EQ(chdir(startDir_.c_str()), 0);
        fs::remove_all(root_);
    }
    fs::path installedData() const { return prefix_ / "share" / DEMO_PROGRAM_NAME; }
    std::string bin() const { return (prefix_ / "bin").string(); }
    void enter(const fs::path& dir) { ASSERT_EQ(chdir(dir.c_str()), 0) << dir; }
    static bool same(const fs::path& a, const fs::path& b) { return fs::equivalent(a, b); }

    std::string startDir_;
    fs::path root_, prefix_;
};

TEST_F(DataFolderTest, InstalledProgramFindsShareBesideItsBinFromAnyWorkingDirectory) {
    for (const fs::path& dir : {root_ / "elsewhere", fs::path("/"), prefix_, prefix_ / "bin", root_}) {
        enter(dir);
        const std::string found = dataFolder(bin());
        EXPECT_EQ(found, bin() + "/../share/" DEMO_PROGRAM_NAME) << "from " << dir;
        EXPECT_TRUE(same(found, installedData()));
    }
    // Going there: the files open by the relative names the program uses.
    enter(root_ / "elsewhere");
    EXPECT_TRUE(enterDataFolder(bin()));
    EXPECT_TRUE(same(cwd(), installedData()));
    EXPECT_EQ(slurp("demosong.mp3"), "track");
    EXPECT_EQ(slurp("Textures/cola.jpg"), "logo");
}

TEST_F(DataFolderTest, AWorkingDirectoryWithTheDataComesFirst) {
    // The track alone, or the images alone, make a data folder.
    writeFile(root_ / "own" / "demosong.mp3", "own track");
    writeFile(root_ / "images" / "Textures" / "cola.jpg", "own logo");
    for (const fs::path& dir : {root_ / "own", root_ / "images", installedData()}) {
        enter(dir);
        EXPECT_EQ(dataFolder(bin()), "") << dir;
        EXPECT_TRUE(enterDataFolder(bin()));
        EXPECT_TRUE(same(cwd(), dir));
    }
}

TEST_F(DataFolderTest, TheBuildTreesDataBesideTheExecutableComesBeforeAnInstalledOne) {
    // build/paper-weather with build/data, inside a prefix that also has share/.
    writeFile(prefix_ / "bin" / "data" / "Textures" / "cola.jpg", "build logo");
    enter(root_ / "elsewhere");
    EXPECT_EQ(dataFolder(bin()), bin() + "/data");
    EXPECT_TRUE(enterDataFolder(bin()));
    EXPECT_EQ(slurp("Textures/cola.jpg"), "build logo");
}

TEST_F(DataFolderTest, WithoutDataAnywhereTheProgramStaysWhereItWasStarted) {
    const fs::path lone = root_ / "lone";
    fs::create_directories(lone / "bin");
    // Folders of the right names do not count without the files in them, nor
    // does a folder where the track should be.
    fs::create_directories(lone / "bin" / "data" / "Textures");
    fs::create_directories(lone / "share" / DEMO_PROGRAM_NAME / "demosong.mp3");
    fs::create_directories(lone / "share" / DEMO_PROGRAM_NAME / "Textures");
    enter(root_ / "elsewhere");
    for (const std::string& exeDir : {(lone / "bin").string(), std::string()}) {
        EXPECT_EQ(dataFolder(exeDir), "") << exeDir;
        EXPECT_FALSE(enterDataFolder(exeDir));
        EXPECT_TRUE(same(cwd(), root_ / "elsewhere"));
    }
}

TEST(VersionTest, PrintsTheInstalledNameAndTheProjectVersionAndSucceeds) {
    const RunResult r = runDemo({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(DEMO_PROGRAM_NAME " ") + DEMO_VERSION + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(runDemo({"--help"}).out.find("--version"), std::string::npos);
}

} // namespace
