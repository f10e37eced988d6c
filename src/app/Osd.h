// On-screen display (OSD): where the viewer is in the demo, drawn over the
// presented picture in a window or fullscreen, never into the picture itself
// (stills, captures and benchmarks never see it).
//
// This part is what the OSD shows and where: when it shows and how opaque it
// is (from the time given by the caller, the app's monotonic ms, so tests
// run on a clock of their own), its lines of text, the band along the bottom
// of the picture with its progress bar, scene ticks and time marker in window
// pixels, and the music time a click on the bar stands for; a short notice
// after the first line (the volume, the loop), and whether the key list
// shows. It knows nothing of GL or fonts: OsdDraw.h draws what it lays out
// (and lays out the key list, whose columns follow the font).
#pragma once

#include "app/Timeline.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

namespace live {
class FrameStats;
}

namespace osd {

constexpr uint64_t kShowMs = 2000;        // a seek, scene jump or resume shows the OSD this long,
constexpr uint64_t kFadeMs = 300;         // then it fades out over this
constexpr uint64_t kPointerShowMs = 2000; // the pointer hides after this long without moving

// The short name of scene index `scene` (0 is Scene 1), as in the README's table.
const char* sceneName(int scene);

// The music time `ms` in whole milliseconds, cut (as the display and a saved
// picture's name give it).
long wholeMs(double ms);

// The first line: "Scene 4 · cloud tunnel   0:37.2 / 3:20", and "   paused"
// while paused, "   muted" while muted (UTF-8). The time is cut, not
// rounded, to tenths of a second; paused (a step of the 30 fps grid is
// 33 ms), to the millisecond: "0:37.233".
void placeLine(int scene, double ms, bool paused, bool muted, char* out, std::size_t size);
// The second line: "58.8 fps · 17.0 ms · scene mean 57.1 fps · scale 0.85"
// (the smoothed recent frame rate and time, the mean rate of the scene so
// far, left out until one of its frames has been timed, and the render scale
// of the last frame).
void statsLine(const live::FrameStats& stats, int scene, char* out, std::size_t size);

// Where everything goes, in window pixels (y down).
struct Layout {
    platform::PixelRect band;      // the whole band: drawn over, and where a click seeks
    platform::PixelRect bar;       // the progress bar's track, 0 ms at its left edge, the end at its right
    // The band in two: the rows of the text, and the bar's row below them.
    platform::PixelRect textArea, barArea;
    int fontPx = 0;                       // the font's size (pixels per em)
    int textX = 0;                        // where the lines start
    int placeBaseline = 0;                // baseline of the first line
    int statsBaseline = 0;                // baseline of the second (when it shows)
    int tickX[kSceneCount] = {};          // the scene starts on the bar
    int markerX = 0;                      // the current time on the bar
    int tickHeight = 0, markerHeight = 0; // both centred on the bar
    int tickWidth = 0, markerWidth = 0;
};

// The font size for a picture `pictureHeight` pixels high.
int fontPixels(int pictureHeight);
// The band along the bottom of `picture` at music time `ms`, with one line of
// text or two (`withStats`).
Layout layoutFor(const platform::PixelRect& picture, double ms, bool withStats);
// The x of music time `ms` on the bar, and the music time at x (clamped to
// the bar's ends: 0 to kDemoEndMs).
int xOfTime(const platform::PixelRect& bar, double ms);
double timeAtX(const platform::PixelRect& bar, int x);

// Everything one drawing of the OSD needs.
struct View {
    Layout layout;
    float opacity = 0;   // the band: 1 shown, falling to 0 as it fades (0: not drawn)
    bool help = false;   // the key list (live::kKeyUses) over the picture
    char place[128] = ""; // the first line, and a notice after it
    char stats[96] = ""; // the second line, empty when it is off
};

// The OSD's state. Every call that depends on time takes the time now (ms).
class Osd {
public:
    // A seek or scene jump: shows the OSD for kShowMs, then it fades.
    void seeked(uint64_t nowMs);
    // Paused, it shows as long as the pause lasts; a resume shows it for kShowMs.
    void pausedChanged(bool paused, uint64_t nowMs);
    // The o key: hides the OSD if it shows now, shows it if not, and keeps it
    // so until the next press. A press that asks for what the pause and the
    // seeks would show anyway hands the OSD back to them.
    void toggle(uint64_t nowMs);
    // What a key just did ("volume 70 %", "loop on"): shown after the first
    // line for as long as the OSD shows for it (kShowMs, then the fade). A
    // seek or another notice takes its place.
    void notice(const char* text, uint64_t nowMs);
    // The m key: the first line says "muted" as long as it lasts.
    void setMuted(bool muted) { muted_ = muted; }
    // The key list (? and F1), shown until showHelp(false).
    void showHelp(bool shown) { helpShown_ = shown; }
    bool helpShown() const { return helpShown_; }
    // The i key: the second line on or off.
    void toggleStats() { statsShown_ = !statsShown_; }
    bool statsShown() const { return statsShown_; }
    // How opaque the OSD is at `nowMs`: 0 hidden, 1 shown, between while it fades.
    float opacity(uint64_t nowMs) const;

    // The pointer shows after it moves, and hides once it has been still for kPointerShowMs.
    void pointerMoved(uint64_t nowMs);
    bool pointerShown(uint64_t nowMs) const { return pointerMoved_ && nowMs < pointerUntil_; }

    // The OSD over `picture` at this moment, or null when neither the band
    // nor the key list shows (then nothing is drawn). `stats` may be null (no second line). The view is
    // kept: a click is mapped onto the band that was last drawn.
    const View* view(const platform::PixelRect& picture, uint64_t nowMs, int scene, double ms,
                     const live::FrameStats* stats);
    // The music time a click at window pixel (x, y) seeks to, or -1 when the
    // OSD is hidden or the click is outside its band.
    double clickTarget(int x, int y, uint64_t nowMs) const;
    // The music time at window column `x` along the bar last drawn, held to
    // the bar's ends (a drag that runs past them); -1 before any is drawn.
    double barTime(int x) const;

private:
    enum class Forced { No, Shown, Hidden }; // what o asked for
    float automaticOpacity(uint64_t nowMs) const;

    Forced forced_ = Forced::No;
    bool paused_ = false;
    bool muted_ = false;
    bool timed_ = false;        // a seek or resume has set shownUntil_
    uint64_t shownUntil_ = 0;   // shown until then, then fading (ms)
    bool statsShown_ = false;   // the second line (i)
    bool pointerMoved_ = false; // the pointer has moved since start-up
    uint64_t pointerUntil_ = 0; // the pointer shows until then (ms)
    char notice_[48] = "";      // after the first line until noticeUntil_ (ms)
    uint64_t noticeUntil_ = 0;
    bool helpShown_ = false;    // the key list
    bool drawn_ = false;        // view_'s band is on screen
    View view_;                 // the last view laid out
};

} // namespace osd
