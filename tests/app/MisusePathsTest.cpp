// Outputs and programs found through paths a user (or another user) can
// bend: a working folder without a name, a partial file swapped for a
// symbolic link, a link planted by another user, the current folder as the
// stills' folder, an empty PATH entry. Through the real executable; a copy
// of it with its own data stands in where a fault would write into the data.
#include "app/MisuseFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace {

using namespace misuse;

// A relative output is relative to where the program was started; when that
// folder has no name (removed, or deeper than PATH_MAX), the output is
// refused, never written into the data folder the program moves to.
TEST(MisusePaths, ARelativeOutputNeedsAWorkingFolderWithAName) {
    const Copy& copy = programCopy();
    const std::string track = slurp(copy.data + "/demosong.mp3");
    const std::string removed = freshDir("removed-cwd"), deep = freshDir("deep-cwd");
    const std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {removed, [removed] { rmdir(removed.c_str()); }},
        {deep,
         [] {
             const std::string step(200, 'd'); // 25 of them: 5025 characters
             for (int i = 0; i < 25; ++i)
                 if (mkdir(step.c_str(), 0755) != 0 || chdir(step.c_str()) != 0) _exit(124);
         }},
    };
    for (const auto& [dir, inChild] : ways) {
        RunOptions o;
        o.program = copy.exe;
        o.dir = dir;
        o.inChild = inChild;
        const RunResult r = runDemo({"--frame", "1000", "--out", "demosong.mp3", "--fps", "1"}, o);
        EXPECT_EQ(r.status, 2) << dir << ": " << r.err;
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find("the working folder has no name"), std::string::npos) << r.err;
        EXPECT_TRUE(slurp(copy.data + "/demosong.mp3") == track) << "the data folder's track was replaced";
        EXPECT_EQ(namesIn(copy.data), (std::vector<std::string>{"Textures", "demosong.mp3"}));
    }
}

// Another user who may write in the output's folder swaps the partial file
// for a link to a file of their choosing while the encoder runs: the encoder
// still writes our file, the victim is untouched, and the swapped name is
// not committed. The partial names have the one documented form.
TEST(MisusePaths, APartialFileSwappedForALinkIsNeverWrittenThrough) {
    const std::string dir = freshDir("swap"), bin = freshDir("swap-bin");
    const std::string victim = freshDir("swap-victim") + "/victim";
    writeText(victim, "precious");
    const char* path = std::getenv("PATH");
    const std::string searched = path ? path : "/usr/bin:/bin";
    writeText(bin + "/ffmpeg",
              "#!/bin/sh\n"
              "[ \"$2\" = -encoders ] && PATH='" + searched + "' exec ffmpeg \"$@\"\n"
              "ls -A '" + dir + "' > '" + bin + "/listing'\n"
              "for f in '" + dir + "'/*.partial; do rm -rf \"$f\"; ln -s '" + victim + "' \"$f\"; done\n"
              "PATH='" + searched + "' exec ffmpeg \"$@\"\n",
              true);
    RunOptions o;
    o.set = {{"PATH", bin + ":" + searched}};
    const RunResult r = runDemo({"--capture", dir + "/clip.mp4", "--to", "300", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(slurp(victim), "precious");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("was moved or replaced while it was written"), std::string::npos) << r.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{}) << "nothing committed, nothing left";
    EXPECT_TRUE(std::regex_match(slurp(bin + "/listing"), std::regex("clip\\.mp4\\.[A-Za-z0-9]{6}\\.partial\n")))
        << slurp(bin + "/listing");

    // The stills' folder: FOLDER.XXXXXX.partial too.
    const std::string stills = freshDir("swap-stills");
    writeText(bin + "/ffmpeg",
              "#!/bin/sh\n"
              "[ \"$2\" = -encoders ] || ls -A '" + stills + "' > '" + bin + "/listing'\n"
              "PATH='" + searched + "' exec ffmpeg \"$@\"\n",
              true);
    const RunResult s = runDemo({"--capture", stills + "/frames/%05d.png", "--to", "200", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_TRUE(std::regex_match(slurp(bin + "/listing"), std::regex("frames\\.[A-Za-z0-9]{6}\\.partial\n")))
        << slurp(bin + "/listing");
    EXPECT_EQ(namesIn(stills), std::vector<std::string>{"frames"});
}

// A symbolic link of another user is not followed (as the kernel's
// protected-symlinks rule has it); our own links still are (OutputTest).
TEST(MisusePaths, ALinkOfAnotherUserIsNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
    const std::string dir = freshDir("foreign-link");
    writeText(dir + "/victim.png", "precious");
    fs::create_symlink("victim.png", dir + "/still.png");
    ASSERT_EQ(lchown((dir + "/still.png").c_str(), 65534, 65534), 0);
    const RunResult r = runDemo({"--frame", "100", "--out", dir + "/still.png", "--fps", "1"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, DEMO_PROGRAM_NAME ": '" + dir +
                         "/still.png' is a symbolic link of another user (uid 65534), not followed; left as it is\n");
    EXPECT_EQ(slurp(dir + "/victim.png"), "precious");
    EXPECT_TRUE(fs::is_symlink(dir + "/still.png"));
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"still.png", "victim.png"}));
}

// The stills need a folder of their own: the current folder (or one above
// it, or the root) is refused before anything renders; a folder named with
// slashes at its end is that folder.
TEST(MisusePaths, TheStillsFolderIsAFolderOfItsOwn) {
    const std::string dir = freshDir("stills-folder");
    RunOptions o;
    o.program = programCopy().exe; // it finds its data from anywhere
    o.dir = dir;
    for (const std::string name : {"./%05d.png", "../%05d.png", "/%05d.png", "sub/./%05d.png"}) {
        const RunResult r = runDemo({"--capture", name, "--to", "200", "--fps", "10", "--silent"}, o);
        EXPECT_EQ(r.status, 2) << name << ": " << r.err;
        EXPECT_EQ(lines(r.err), 1) << r.err; // before anything rendered
        EXPECT_NE(r.err.find("not a folder of its own"), std::string::npos) << r.err;
    }
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{});
    const RunResult r = runDemo({"--capture", "newd//%05d.png", "--to", "200", "--fps", "10"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"newd"});
    const std::vector<std::string> names = namesIn(dir + "/newd");
    EXPECT_EQ(std::count(names.begin(), names.end(), "newd.wav"), 1) << ::testing::PrintToString(names);
    EXPECT_GE(names.size(), 2u);
}

// PATH's relative entries (an empty one is ".") are the caller's folder:
// an ffmpeg in the data folder the program moves to is never run, one in
// the folder it was started in is.
TEST(MisusePaths, AnEmptyPathEntryIsTheCallersFolderNotTheDataFolder) {
    const Copy& copy = programCopy();
    const std::string caller = freshDir("path-caller");
    writeText(copy.data + "/ffmpeg", "#!/bin/sh\n: > '" + caller + "/data-folder-ffmpeg-ran'\nexit 1\n", true);
    RunOptions o;
    o.program = copy.exe;
    o.dir = caller;
    o.set = {{"PATH", "/nonexistent:"}};
    const RunResult r = runDemo({"--capture", caller + "/clip.mp4", "--to", "200", "--fps", "10", "--silent"}, o);
    fs::remove(copy.data + "/ffmpeg");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("needs ffmpeg"), std::string::npos) << r.err;
    EXPECT_EQ(namesIn(caller), std::vector<std::string>{});

    writeText(caller + "/ffmpeg", "#!/bin/sh\n: > '" + caller + "/../path-caller-ffmpeg-ran'\nexec /usr/bin/ffmpeg \"$@\"\n",
              true);
    const RunResult ok = runDemo({"--capture", caller + "/clip.mp4", "--to", "200", "--fps", "10", "--silent"}, o);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(fs::exists(caller + "/../path-caller-ffmpeg-ran"));
    fs::remove(caller + "/../path-caller-ffmpeg-ran");
}

} // namespace
