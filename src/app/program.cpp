// The demo executable: options, start-up, the main loop and shutdown, or one
// of the headless modes (Offline.h).
#include "app/CApplication.h"
#include "app/DataFolder.h"
#include "app/FrameMemory.h"
#include "app/Live.h"
#include "app/Offline.h"
#include "app/Options.h"
#include "app/Timeline.h"
#include "app/TrackCheck.h"
#include "app/WarmUp.h"
#include "platform/Files.h"
#include "platform/Output.h"
#include "platform/Platform.h"
#include "platform/Sound.h"

#include <cstdio>
#include <string>

namespace {

// The whole program: returns the exit status.
int demoMain(int argc, char** argv) {
    // From here on SIGINT, SIGTERM and SIGHUP end the program in order: after
    // the frame in hand, with its output cleaned up, one line and 128 + the signal.
    platform::catchStopSignals();
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, &options, &error)) {
    case ParseResult::Help: std::fputs(usageText().c_str(), stdout); return 0;
    case ParseResult::Version: std::fputs(versionText().c_str(), stdout); return 0;
    case ParseResult::Error:
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s; see " DEMO_PROGRAM_NAME " --help\n", platform::printable(error).c_str());
        return 2;
    case ParseResult::Run: break;
    }
    // Output names are the user's, relative to where the demo was started.
    if (!platform::makeAbsolute(&options.output, &error))
        return std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", platform::printable(error).c_str()), 2;
    if (!platform::makeAbsolute(&options.statsPlot, &error))
        return std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", platform::printable(error).c_str()), 2;
    enterDataFolder(platform::executableDir());
    if (options.silent) musicFile = nullptr;
    if (options.mode != Mode::Live) return runOffline(options);

    // Start-up has nothing to clean up: a stop signal during it (a track or
    // image being read, a scene set up, the box listing missing files) ends
    // the program at once.
    platform::exitOnStopSignal(true);
    if (options.width) {
        if (const std::string refusal = frameMemoryRefusal(options); !refusal.empty()) {
            std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s\n", refusal.c_str());
            return 2;
        }
    }
    CApplication app;
    platform::DisplayOptions display;
    display.windowed = options.windowed;
    display.windowWidth = options.windowWidth;
    display.windowHeight = options.windowHeight;
    display.width = options.width;
    display.height = options.height;
    display.followWindow = options.nativeSize;
    display.glDebug = options.glDebug;
    if (const int status = app.init(display)) return status;
    platform::soundSetDelayMs(options.audioDelayMs);
    app.placeInTitle = options.windowed;
    if (options.toGiven) app.stopAtMs = options.toMs;
    app.loop = options.loop;
    app.renderScale.fix(options.renderScale);
    app.loopFromMs = options.fromMs;
    live::FrameStats stats; // printed with --stats, shown by the OSD's second line
    app.stats = &stats;
    if (musicFile) {
        // A track too short for the demo plays what it holds; the clock runs on.
        const std::string shortfall = trackShortfall(musicFile, kDemoEndMs);
        if (!shortfall.empty())
            std::fprintf(stderr, DEMO_PROGRAM_NAME ": %s in %s; the demo runs on silently after it\n",
                         platform::printable(shortfall).c_str(), platform::printable(dataFolderInUse()).c_str());
    }
    warmUpBeforeMusic(true, kWarmUpBudgetMs);
    app.precalc();
    platform::exitOnStopSignal(false);
    if (options.fromMs > 0) live::seek(app, options.fromMs);
    if (!platform::stopSignal()) app.execute();
    platform::soundStop();
    app.deinit();
    if (options.stats) {
        stats.print(stderr, options.fromMs, options.toGiven ? options.toMs : kDemoEndMs);
        if (const std::string warmUp = lastWarmUpSummary(); !warmUp.empty())
            std::fprintf(stderr, "%s\n", warmUp.c_str());
    }
    int status = 0;
    if (!options.statsPlot.empty()) {
        if (std::string why; !live::writeStatsPlot(stats, options.statsPlot, &why)) {
            std::fprintf(stderr, DEMO_PROGRAM_NAME ": cannot write the plot %s: %s\n",
                         platform::printable(options.statsPlot).c_str(), platform::printable(why).c_str());
            status = 1;
        }
    }
    if (const int signal = platform::stopSignal()) {
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": stopped by %s\n", platform::signalName(signal));
        return 128 + signal;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) { return demoMain(argc, argv); }
