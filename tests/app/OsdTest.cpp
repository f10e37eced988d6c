// The on-screen display's state, text and layout, without GL: when it shows
// on a given clock, what its lines say, where the band and bar go, and the
// time a click stands for.
#include "app/Osd.h"
#include "app/Live.h"
#include "app/Timeline.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string place(int scene, double ms, bool paused, bool muted = false) {
    char line[96];
    osd::placeLine(scene, ms, paused, muted, line, sizeof line);
    return line;
}

TEST(OsdTextTest, NamesTheSceneTheTimeInTenthsAndThePause) {
    EXPECT_EQ(place(3, 37250, false), "Scene 4 \u00b7 cloud tunnel   0:37.2 / 3:20");
    // Paused, to the millisecond (a grid frame's time a hair under its own is still it).
    EXPECT_EQ(place(1, 0, true), "Scene 2 \u00b7 LED wall   0:00.000 / 3:20   paused");
    EXPECT_EQ(place(3, 600 * (1000.0 / 30), true), "Scene 4 \u00b7 cloud tunnel   0:20.000 / 3:20   paused");
    EXPECT_EQ(place(3, 601 * (1000.0 / 30), true), "Scene 4 \u00b7 cloud tunnel   0:20.033 / 3:20   paused");
    // Muted, whatever else the line says.
    EXPECT_EQ(place(3, 37250, false, true), "Scene 4 \u00b7 cloud tunnel   0:37.2 / 3:20   muted");
    EXPECT_EQ(place(3, 37250, true, true), "Scene 4 \u00b7 cloud tunnel   0:37.250 / 3:20   paused   muted");
    EXPECT_EQ(place(9, 59999.9, false),
              "Scene 10 \u00b7 crumbling road   0:59.9 / 3:20"); // cut, never 0:60.0
    EXPECT_EQ(place(11, 200000, false), "Scene 12 \u00b7 ending image   3:20.0 / 3:20");
    EXPECT_EQ(place(10, 179999, true), "Scene 11 \u00b7 hexagonal columns   2:59.999 / 3:20   paused");
    char tiny[8]; // a short buffer is cut, never overrun
    osd::placeLine(3, 37250, true, true, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "Scene 4");
}

TEST(OsdTextTest, EveryStretchOfTheScheduleHasItsSceneName) {
    for (int i = 0; i < kSceneCount; ++i)
        EXPECT_STREQ(osd::sceneName(stretchScene(i)), kScenes[i].name) << i;
    EXPECT_STREQ(osd::sceneName(-1), "?");
    EXPECT_STREQ(osd::sceneName(kSceneCount), "?");
}

TEST(OsdTextTest, TheSecondLineGivesTheRecentRateTheScenesMeanAndTheScale) {
    live::FrameStats stats;
    char line[96];
    osd::statsLine(stats, 3, line, sizeof line);
    EXPECT_STREQ(line, "no frame timed yet");
    stats.add(3, 20);
    stats.add(3, 30); // smoothed: 20 + (30 - 20) / 10 = 21 ms; the scene's mean 25 ms
    stats.add(5, 21);
    osd::statsLine(stats, 3, line, sizeof line);
    EXPECT_STREQ(line, "47.6 fps \u00b7 21.0 ms \u00b7 scene mean 40.0 fps \u00b7 scale 1.00");
    osd::statsLine(stats, 7, line, sizeof line); // a scene none of whose frames was timed: no mean
    EXPECT_STREQ(line, "47.6 fps \u00b7 21.0 ms \u00b7 scale 1.00");
    stats.add(5, 21, 0, 0.85); // the last frame's render scale
    osd::statsLine(stats, 7, line, sizeof line);
    EXPECT_STREQ(line, "47.6 fps \u00b7 21.0 ms \u00b7 scale 0.85");
}

TEST(OsdStateTest, HiddenUntilASeekThenShownTwoSecondsAndFadingOverAThird) {
    osd::Osd o;
    EXPECT_EQ(o.opacity(0), 0.0f);
    EXPECT_EQ(o.opacity(5000), 0.0f);
    o.seeked(10000);
    EXPECT_EQ(o.opacity(10000), 1.0f);
    EXPECT_EQ(o.opacity(11999), 1.0f);
    EXPECT_EQ(o.opacity(12000), 1.0f);
    EXPECT_FLOAT_EQ(o.opacity(12150), 0.5f);
    EXPECT_FLOAT_EQ(o.opacity(12270), 0.1f);
    EXPECT_EQ(o.opacity(12300), 0.0f);
    o.seeked(12100); // a seek during the fade shows it fully again
    EXPECT_EQ(o.opacity(12200), 1.0f);
    EXPECT_EQ(o.opacity(14400), 0.0f);
}

TEST(OsdStateTest, ShownAsLongAsPausedAndTwoSecondsAfterTheResume) {
    osd::Osd o;
    o.pausedChanged(true, 1000);
    EXPECT_EQ(o.opacity(1000), 1.0f);
    EXPECT_EQ(o.opacity(1000 + 3600000), 1.0f);
    o.pausedChanged(false, 50000);
    EXPECT_EQ(o.opacity(51999), 1.0f);
    EXPECT_FLOAT_EQ(o.opacity(52150), 0.5f);
    EXPECT_EQ(o.opacity(52300), 0.0f);
}

// Paused at once after start-up, before any frame has picked the scene: the
// display names the scene that owns 0 ms (Scene 2), not the index the
// program starts with (Scene 1's).
TEST(OsdStateTest, PausedBeforeAnyFrameItNamesTheSceneThatOwnsTheMoment) {
    osd::Osd o;
    o.pausedChanged(true, 1000);
    const platform::PixelRect picture{0, 0, 1024, 768};
    const osd::View* v = o.view(picture, 1000, 0, 0.0, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v->place).rfind("Scene 2 \u00b7 LED wall   0:00.0", 0), 0u) << v->place;
}

TEST(OsdStateTest, OTogglesWhatShowsAndKeepsItUntilPressedAgain) {
    osd::Osd o;
    o.toggle(1000); // playing, hidden: shown for good
    EXPECT_EQ(o.opacity(1000), 1.0f);
    EXPECT_EQ(o.opacity(900000), 1.0f);
    o.toggle(900000); // hidden again: back to showing after seeks
    EXPECT_EQ(o.opacity(900000), 0.0f);
    o.seeked(900100);
    EXPECT_EQ(o.opacity(900100), 1.0f);

    o.pausedChanged(true, 1000000);
    o.toggle(1000100); // paused, shown: hidden even while paused
    EXPECT_EQ(o.opacity(1000100), 0.0f);
    o.seeked(1000200); // and through seeks and the resume
    EXPECT_EQ(o.opacity(1000200), 0.0f);
    o.toggle(1000300); // shown again: what the pause shows anyway
    EXPECT_EQ(o.opacity(1000300), 1.0f);
    o.pausedChanged(false, 1000400);
    EXPECT_EQ(o.opacity(1002399), 1.0f);
    EXPECT_EQ(o.opacity(1002700), 0.0f);

    o.seeked(2000000); // during the fade, o hides it at once
    o.toggle(2002100);
    EXPECT_EQ(o.opacity(2002100), 0.0f);
    EXPECT_EQ(o.opacity(2002200), 0.0f);
}

TEST(OsdStateTest, ThePointerShowsForTwoSecondsAfterItMoves) {
    osd::Osd o;
    EXPECT_FALSE(o.pointerShown(0));
    o.pointerMoved(5000);
    EXPECT_TRUE(o.pointerShown(5000));
    EXPECT_TRUE(o.pointerShown(6999));
    EXPECT_FALSE(o.pointerShown(7000));
}

TEST(OsdLayoutTest, ABandAlongTheBottomOfThePictureWithTheBarAcrossIt) {
    const platform::PixelRect picture{0, 0, 1024, 768};
    const osd::Layout l = osd::layoutFor(picture, 0, false);
    EXPECT_EQ(l.fontPx, 22);
    EXPECT_EQ(l.band.x, 0);
    EXPECT_EQ(l.band.w, 1024);
    EXPECT_EQ(l.band.y + l.band.h, 768);
    EXPECT_LT(l.band.h, 768 / 8); // a band, not a panel
    EXPECT_EQ(l.bar.x, 22);
    EXPECT_EQ(l.bar.x + l.bar.w, 1024 - 22);
    EXPECT_GE(l.bar.h, 2);
    EXPECT_TRUE(l.band.contains(l.bar.x, l.bar.y - l.markerHeight / 2));
    EXPECT_LT(l.placeBaseline, l.bar.y);
    // The band in two: the text's rows above the bar's row, nothing left over.
    EXPECT_EQ(l.textArea.y, l.band.y);
    EXPECT_EQ(l.textArea.y + l.textArea.h, l.barArea.y);
    EXPECT_EQ(l.barArea.y + l.barArea.h, 768);
    EXPECT_EQ(l.textArea.w, 1024);
    EXPECT_EQ(l.barArea.w, 1024);
    EXPECT_LT(l.placeBaseline + l.fontPx / 4, l.barArea.y); // descenders stay above the bar's row
    EXPECT_LE(l.barArea.y, l.bar.y - (l.markerHeight - l.bar.h) / 2);
    // Ticks at the scene starts: the first at 0 ms, 29600 ms at 14.8 % of the bar.
    EXPECT_EQ(l.tickX[0], l.bar.x);
    EXPECT_EQ(l.tickX[2], l.bar.x + static_cast<int>(0.148 * l.bar.w));
    for (int i = 1; i < kSceneCount; ++i)
        EXPECT_LT(l.tickX[i - 1], l.tickX[i]);
    EXPECT_EQ(osd::layoutFor(picture, 100000, false).markerX, l.bar.x + l.bar.w / 2);
    EXPECT_EQ(osd::layoutFor(picture, 250000, false).markerX, l.bar.x + l.bar.w);
    // The second line makes the band taller, upward.
    const osd::Layout two = osd::layoutFor(picture, 0, true);
    EXPECT_EQ(two.band.y + two.band.h, 768);
    EXPECT_LT(two.band.y, l.band.y);
    EXPECT_GT(two.statsBaseline, two.placeBaseline);
    EXPECT_LT(two.statsBaseline, two.bar.y);
}

TEST(OsdLayoutTest, FollowsTheLetterboxedPictureAndItsSize) {
    // Fullscreen 1920 x 1080: the picture is 1440 x 1080 between black bars.
    const platform::PixelRect picture{240, 0, 1440, 1080};
    const osd::Layout l = osd::layoutFor(picture, 0, false);
    EXPECT_EQ(l.fontPx, 31);
    EXPECT_EQ(l.band.x, 240);
    EXPECT_EQ(l.band.w, 1440);
    EXPECT_EQ(l.band.y + l.band.h, 1080);
    EXPECT_EQ(l.bar.x, 240 + 31);
    // A small window: the letters stay readable.
    EXPECT_EQ(osd::layoutFor({0, 20, 320, 240}, 0, false).fontPx, 9);
    // A window wider than 4:3 with the picture centred and a gap above it.
    const osd::Layout wide = osd::layoutFor({100, 50, 800, 600}, 0, false);
    EXPECT_EQ(wide.band.y + wide.band.h, 650);
}

TEST(OsdLayoutTest, AnXOnTheBarStandsForTheTimeThatDrawsThere) {
    const platform::PixelRect bar{23, 700, 978, 3};
    EXPECT_EQ(osd::timeAtX(bar, 23), 0.0);
    EXPECT_EQ(osd::timeAtX(bar, 23 + 489), 100000.0);
    EXPECT_EQ(osd::timeAtX(bar, 23 + 978), 200000.0);
    EXPECT_EQ(osd::timeAtX(bar, 0), 0.0);         // left of the bar: the start
    EXPECT_EQ(osd::timeAtX(bar, 1023), 200000.0); // right of it: the end
    for (double ms : {0.0, 14800.0, 37250.0, 123456.0, 199999.0}) {
        const int x = osd::xOfTime(bar, ms);
        EXPECT_LE(osd::timeAtX(bar, x), ms);
        EXPECT_GT(osd::timeAtX(bar, x + 1), ms); // within one pixel's worth (about 204 ms)
    }
    EXPECT_EQ(osd::timeAtX({0, 0, 0, 0}, 5), 0.0); // no bar, no division by zero
}

TEST(OsdLayoutTest, AClickSeeksOnlyInsideTheBandThatShows) {
    osd::Osd o;
    const platform::PixelRect picture{0, 0, 1024, 768};
    EXPECT_EQ(o.clickTarget(512, 760, 0), -1.0); // never drawn
    EXPECT_EQ(o.view(picture, 0, 0, 0, nullptr), nullptr);
    o.pausedChanged(true, 100);
    const osd::View* v = o.view(picture, 100, 3, 37250, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->opacity, 1.0f);
    EXPECT_STREQ(v->stats, "");
    const osd::Layout& l = v->layout;
    const int mid = l.bar.x + l.bar.w / 2;
    EXPECT_EQ(o.clickTarget(mid, l.band.y, 100), 100000.0);
    EXPECT_EQ(o.clickTarget(mid, 767, 100), 100000.0);
    EXPECT_EQ(o.clickTarget(mid, l.band.y - 1, 100), -1.0); // above the band
    EXPECT_EQ(o.clickTarget(mid, 768, 100), -1.0);          // below the picture
    o.toggle(200);                                          // hidden by o
    EXPECT_EQ(o.clickTarget(mid, 767, 200), -1.0);
    // The second line shows only when asked for and when there are figures.
    o.toggle(300);
    o.toggleStats();
    live::FrameStats stats;
    stats.add(3, 20);
    EXPECT_STREQ(o.view(picture, 300, 3, 37250, nullptr)->stats, "");
    EXPECT_STRNE(o.view(picture, 300, 3, 37250, &stats)->stats, "");
}

} // namespace
