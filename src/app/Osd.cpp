// On-screen display: state, text and layout (see Osd.h).
#include "app/Osd.h"

#include "app/Live.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace osd {

namespace {

// "m:ss.t", tenths cut (59.96 s is 0:59.9, never 0:60.0); to the
// millisecond "m:ss.mmm".
void formatTime(double ms, bool toTheMs, char* out, std::size_t size) {
    if (toTheMs) {
        const long whole = wholeMs(ms);
        std::snprintf(out, size, "%ld:%02ld.%03ld", whole / 60000, whole / 1000 % 60, whole % 1000);
        return;
    }
    const long tenths = static_cast<long>(std::floor(std::max(ms, 0.0) / 100.0));
    std::snprintf(out, size, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
}

} // namespace

const char* sceneName(int scene) {
    return scene >= 0 && scene < kSceneCount ? sceneNumbered(scene + 1).name : "?";
}

long wholeMs(double ms) {
    // A grid frame's time comes out a hair under its millisecond now and
    // then (20000 as 19999.99999): that is still 20000.
    return static_cast<long>(std::floor(std::max(ms, 0.0) + 1e-3));
}

void placeLine(int scene, double ms, bool paused, bool muted, char* out, std::size_t size) {
    char now[32];
    formatTime(ms, paused, now, sizeof now);
    const long endS = static_cast<long>(kDemoEndMs / 1000);
    // U+00B7 MIDDLE DOT between the number and the name.
    std::snprintf(out, size, "Scene %d \u00b7 %s   %s / %ld:%02ld%s%s", scene + 1, sceneName(scene), now,
                  endS / 60, endS % 60, paused ? "   paused" : "", muted ? "   muted" : "");
}

void statsLine(const live::FrameStats& stats, int scene, char* out, std::size_t size) {
    const double recent = stats.recentMs(), mean = stats.meanMs(scene);
    if (recent <= 0) {
        std::snprintf(out, size, "no frame timed yet");
        return;
    }
    // The scene's mean only once one of its frames has been timed (not
    // right after a seek into it).
    if (mean <= 0) {
        std::snprintf(out, size, "%.1f fps \u00b7 %.1f ms \u00b7 scale %.2f", 1000.0 / recent, recent,
                      stats.recentScale());
        return;
    }
    std::snprintf(out, size, "%.1f fps \u00b7 %.1f ms \u00b7 scene mean %.1f fps \u00b7 scale %.2f", 1000.0 / recent,
                  recent, 1000.0 / mean, stats.recentScale());
}

int fontPixels(int pictureHeight) {
    // 22 px on a 768-line picture, 31 on 1080; never too small to read, and
    // bounded so that the glyph atlas stays small.
    return std::clamp(static_cast<int>(std::lround(pictureHeight / 35.0)), 9, 96);
}

int xOfTime(const platform::PixelRect& bar, double ms) {
    const double f = std::clamp(ms / kDemoEndMs, 0.0, 1.0);
    return bar.x + static_cast<int>(std::floor(f * bar.w));
}

double timeAtX(const platform::PixelRect& bar, int x) {
    if (bar.w <= 0)
        return 0;
    const double f = std::clamp(static_cast<double>(x - bar.x) / bar.w, 0.0, 1.0);
    return f * kDemoEndMs;
}

Layout layoutFor(const platform::PixelRect& picture, double ms, bool withStats) {
    Layout l;
    const int px = fontPixels(picture.h);
    l.fontPx = px;
    // From the top of the band: padding, the lines (DejaVu's ascent is about
    // 0.93 em, a line 1.2 em), a half padding, the bar's row (as high as the
    // marker), padding. Kept tight: every pixel of the band is blended, which
    // is most of what the OSD costs a software rasteriser.
    const int pad = px * 2 / 5;
    const int lineHeight = static_cast<int>(std::lround(px * 1.2));
    const int ascent = static_cast<int>(std::lround(px * 0.93));
    const int barHeight = std::max(2, px / 6);
    l.markerWidth = std::max(2, px / 5);
    l.markerHeight = barHeight + 2 * std::max(2, px / 5);
    l.tickWidth = std::max(1, px / 12);
    l.tickHeight = barHeight + 2 * std::max(1, px / 8);
    const int lines = withStats ? 2 : 1;
    const int bandHeight = std::min(picture.h, pad + lines * lineHeight + pad / 2 + l.markerHeight + pad);
    l.band = {picture.x, picture.y + picture.h - bandHeight, picture.w, bandHeight};
    const int margin = px; // bar and text keep off the picture's sides
    l.textX = picture.x + margin;
    l.placeBaseline = l.band.y + pad + ascent;
    l.statsBaseline = l.placeBaseline + lineHeight;
    const int barRow = l.band.y + pad + lines * lineHeight + pad / 2;
    // The lines' rows down to half the gap above the bar's row; the bar's row and what is below.
    const int split = barRow - pad / 4;
    l.textArea = {l.band.x, l.band.y, l.band.w, split - l.band.y};
    l.barArea = {l.band.x, split, l.band.w, l.band.y + l.band.h - split};
    l.bar = {picture.x + margin, barRow + (l.markerHeight - barHeight) / 2,
             std::max(0, picture.w - 2 * margin), barHeight};
    for (int i = 0; i < kSceneCount; ++i)
        l.tickX[i] = xOfTime(l.bar, stretchStartMs(i));
    l.markerX = xOfTime(l.bar, ms);
    return l;
}

void Osd::seeked(uint64_t nowMs) {
    timed_ = true;
    shownUntil_ = nowMs + kShowMs;
    noticeUntil_ = 0;
}

void Osd::notice(const char* text, uint64_t nowMs) {
    seeked(nowMs);
    std::snprintf(notice_, sizeof notice_, "%s", text);
    noticeUntil_ = shownUntil_ + kFadeMs;
}

void Osd::pausedChanged(bool paused, uint64_t nowMs) {
    paused_ = paused;
    if (!paused)
        seeked(nowMs); // a resume shows where the demo goes on
}

void Osd::toggle(uint64_t nowMs) {
    const bool wantShown = opacity(nowMs) <= 0;
    forced_ = Forced::No;
    if ((automaticOpacity(nowMs) > 0) != wantShown)
        forced_ = wantShown ? Forced::Shown : Forced::Hidden;
}

float Osd::automaticOpacity(uint64_t nowMs) const {
    if (paused_)
        return 1;
    if (!timed_ || nowMs >= shownUntil_ + kFadeMs)
        return 0;
    if (nowMs < shownUntil_)
        return 1;
    return 1.0f - static_cast<float>(nowMs - shownUntil_) / kFadeMs;
}

float Osd::opacity(uint64_t nowMs) const {
    switch (forced_) {
    case Forced::Shown: return 1;
    case Forced::Hidden: return 0;
    case Forced::No: break;
    }
    return automaticOpacity(nowMs);
}

void Osd::pointerMoved(uint64_t nowMs) {
    pointerMoved_ = true;
    pointerUntil_ = nowMs + kPointerShowMs;
}

const View* Osd::view(const platform::PixelRect& picture, uint64_t nowMs, int scene, double ms,
                      const live::FrameStats* stats) {
    view_.opacity = opacity(nowMs);
    view_.help = helpShown_;
    drawn_ = view_.opacity > 0;
    if (!drawn_)
        return helpShown_ ? &view_ : nullptr;
    const bool withStats = statsShown_ && stats;
    view_.layout = layoutFor(picture, ms, withStats);
    // The scene that owns the moment shown, also before its first frame has
    // run (paused at once after start-up, 0 ms is Scene 2's).
    scene = sceneForTime(static_cast<float>(ms), scene);
    placeLine(scene, ms, paused_, muted_, view_.place, sizeof view_.place);
    if (nowMs < noticeUntil_) {
        const std::size_t used = std::strlen(view_.place);
        std::snprintf(view_.place + used, sizeof view_.place - used, "   %s", notice_);
    }
    if (withStats)
        statsLine(*stats, scene, view_.stats, sizeof view_.stats);
    else
        view_.stats[0] = '\0';
    return &view_;
}

double Osd::barTime(int x) const {
    return view_.layout.bar.w > 0 ? timeAtX(view_.layout.bar, x) : -1;
}

double Osd::clickTarget(int x, int y, uint64_t nowMs) const {
    if (!drawn_ || opacity(nowMs) <= 0 || !view_.layout.band.contains(x, y))
        return -1;
    return timeAtX(view_.layout.bar, x);
}

} // namespace osd
