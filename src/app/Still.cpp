// The still: one frame at --frame's moment, exactly as a run from 0 on the
// --fps grid shows it, written as a PNG.
#include "app/OfflineRun.h"

#include "app/Replay.h"
#include "platform/Output.h"
#include "platform/Platform.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace offline {

int runStill(CApplication& app, const Options& o, platform::OutputFile& output) {
    showMoment(app, o.frameMs, 1000.0 / o.stepFps());
    if (platform::stopSignal()) return stopped("no picture written");
    platform::reportGlErrors();
    const size_t bytes = static_cast<size_t>(platform::frameWidth()) * platform::frameHeight() * 3;
    std::unique_ptr<unsigned char[]> rgb(new (std::nothrow) unsigned char[bytes]);
    if (!rgb) return outOfMemory(static_cast<double>(bytes));
    platform::readFrame(rgb.get());
    std::string error;
    if (!platform::writePng(output.partialPath().c_str(), rgb.get(), platform::frameWidth(),
                            platform::frameHeight(), &error))
        return fail("cannot write '" + o.output + "': " + error + "; no picture written", 1);
    if (!output.commit(&error)) return fail(error + "; no picture written", 1);
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": frame at %.0f ms written to %s\n", o.frameMs, platform::printable(o.output).c_str());
    return 0;
}

} // namespace offline
