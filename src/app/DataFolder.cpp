// The data folder lookup: the working directory, the build tree's `data`
// beside the executable, then the installed `../share/paper-weather`.
#include "app/DataFolder.h"

#include "platform/Platform.h"

namespace {

std::string startedIn; // the working directory before enterDataFolder moved it

// `dir` is "" (the working directory) or ends in '/'.
bool holdsData(const std::string& dir) {
    return platform::fileExists(dir + "demosong.mp3") || platform::fileExists(dir + "Textures/cola.jpg");
}

} // namespace

std::string dataFolder(const std::string& executableDir) {
    if (holdsData("") || executableDir.empty()) return "";
    const std::string candidates[] = {
        executableDir + "/data",
        executableDir + "/../share/" DEMO_PROGRAM_NAME,
    };
    for (const std::string& dir : candidates)
        if (holdsData(dir + "/")) return dir;
    return "";
}

std::string dataFolderInUse() {
    const std::string track = platform::absolutePath("demosong.mp3");
    return track.substr(0, track.rfind('/'));
}

std::string startFolder() { return startedIn; }

bool enterDataFolder(const std::string& executableDir) {
    startedIn = platform::absolutePath(".");
    if (startedIn.size() > 2) startedIn.resize(startedIn.size() - 2); // without "/."
    const std::string dir = dataFolder(executableDir);
    if (!dir.empty()) platform::changeDirectory(dir);
    return holdsData("");
}
