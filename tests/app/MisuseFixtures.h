// What the misuse tests share: scratch folders, a copy of the program with
// its data beside it (a build tree of its own, so that a fault that writes
// into the data folder hits a copy), the demo's still to compare with, and
// running as another user.
#pragma once

#include "app/DemoProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace misuse {

namespace fs = std::filesystem;

// A new empty folder of the test's own.
inline std::string freshDir(const std::string& name) {
    const fs::path dir = fs::path(testgl::tmpDir()) / ("misuse-" + name);
    std::system(("rm -rf '" + dir.string() + "'").c_str()); // also trees deeper than PATH_MAX
    fs::create_directories(dir);
    return dir.string();
}

inline std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline void writeText(const std::string& path, const std::string& text, bool executable = false) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    if (executable) fs::permissions(path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

// PROGRAM/bin/paper-weather with PROGRAM/bin/data/{demosong.mp3,Textures}:
// copies, made once per test binary.
struct Copy {
    std::string exe, data;
};
inline const Copy& programCopy() {
    static Copy copy;
    if (copy.exe.empty()) {
        const fs::path root = fs::path(freshDir("program"));
        fs::create_directories(root / "bin" / "data");
        fs::copy_file(DEMO_EXE, root / "bin" / DEMO_PROGRAM_NAME);
        fs::copy(testgl::dataDir(), root / "bin" / "data", fs::copy_options::recursive);
        copy.exe = (root / "bin" / DEMO_PROGRAM_NAME).string();
        copy.data = (root / "bin" / "data").string();
    }
    return copy;
}

// The child gives up root for `nobody` (uid and gid 65534).
inline void becomeNobody() {
    setgroups(0, nullptr);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
}

inline int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

} // namespace misuse
