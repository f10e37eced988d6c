// The s key: see Snapshot.h.
#include "app/Snapshot.h"

#include "app/CApplication.h"
#include "app/Osd.h"
#include "app/Timeline.h"
#include "platform/Files.h"
#include "platform/Output.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace live {

std::string pictureFileName(double ms) {
    const long whole = osd::wholeMs(ms);
    char name[64];
    std::snprintf(name, sizeof name, DEMO_PROGRAM_NAME "-%02ld%02ld.%03ld.png", whole / 60000, whole / 1000 % 60,
                  whole % 1000);
    return name;
}

void savePicture(CApplication& app) {
    // Paused, the held picture may be a live frame between the stills' grid
    // frames: the still at the millisecond the name gives takes its place.
    if (app.paused) app.seekAndShow(static_cast<double>(osd::wholeMs(demoMS)));
    const std::string name = pictureFileName(demoMS);
    const char* pictures = std::getenv("XDG_PICTURES_DIR");
    const std::string folder = pictures && *pictures && platform::folderExists(pictures) ? pictures : platform::startFolder();
    const std::string path = folder + "/" + name;
    auto say = [&](const std::string& line, const std::string& notice) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", platform::printable(line).c_str());
        app.osd.notice(notice.c_str(), app.timeGetTime());
    };
    const size_t bytes = static_cast<size_t>(platform::frameWidth()) * platform::frameHeight() * 3;
    std::unique_ptr<unsigned char[]> rgb(new (std::nothrow) unsigned char[bytes]);
    platform::OutputFile output;
    std::string error;
    if (!rgb) error = "out of memory";
    // A start folder that has no name (removed since) is no place to write.
    if (folder.empty()) error = "the folder it was started in is gone";
    if (error.empty() && output.open(path, &error)) {
        platform::readFrame(rgb.get());
        if (platform::writePng(output.partialPath().c_str(), rgb.get(), platform::frameWidth(),
                               platform::frameHeight(), &error) &&
            output.commit(&error)) {
            say("picture at " + std::to_string(osd::wholeMs(demoMS)) + " ms written to " + path, "saved " + name);
            return;
        }
    }
    say("cannot save the picture as " + path + ": " + error, "picture not saved");
}

} // namespace live
