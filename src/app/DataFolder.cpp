// The data folder lookup: the working directory, the build tree's `data`
// beside the executable, then the installed `../share/paper-weather`.
#include "app/DataFolder.h"

#include "app/Timeline.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

// `dir` is "" (the working directory) or ends in '/'.
bool holdsData(const std::string& dir) {
    return platform::fileExists(dir + kTrackFile) || platform::fileExists(dir + "Textures/cola.jpg");
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
    const std::string track = platform::absolutePath(kTrackFile);
    return track.substr(0, track.rfind('/'));
}

bool enterDataFolder(const std::string& executableDir) {
    // Where we were started is noted first (PATH's relative entries are there).
    platform::noteStartFolder();
    const std::string dir = dataFolder(executableDir);
    if (!dir.empty()) platform::changeDirectory(dir);
    return holdsData("");
}
