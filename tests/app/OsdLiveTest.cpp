// The on-screen display through the real program: a window on SDL's
// offscreen driver (presenting, so the OSD draws over the presented picture),
// the demo started silent, keys and clicks pushed into SDL's queue and
// handled by the main loop's turns, the OSD's clock a test clock. The
// presented image is read back from the window's framebuffer before the swap.
#include "app/CApplication.h"
#include "app/Live.h"
#include "app/Osd.h"
#include "app/Timeline.h"
#include "platform/Sound.h"
#include "support/GLContext.h"
#include "support/SdlEvents.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>


namespace {

CApplication app;
live::FrameStats frameStats;
bool started = false;

uint64_t fakeNow = 1000000;
uint64_t fakeClock() {
    return fakeNow;
}

// The last presented image, RGB, first row at the top.
std::vector<unsigned char> presented;
int presentedW = 0, presentedH = 0;

void overlayAndReadBack(const platform::Presentation& where, void* user) {
    static_cast<CApplication*>(user)->overlay(where);
    presentedW = where.windowWidth;
    presentedH = where.windowHeight;
    std::vector<unsigned char> bottomUp(static_cast<size_t>(presentedW) * presentedH * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, presentedW, presentedH, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    presented.resize(bottomUp.size());
    const size_t stride = static_cast<size_t>(presentedW) * 3;
    for (int y = 0; y < presentedH; ++y)
        std::memcpy(&presented[y * stride], &bottomUp[(presentedH - 1 - y) * stride], stride);
}

class StartWindowed : public ::testing::Environment {
  public:
    void SetUp() override {
        if (chdir(testgl::dataDir().c_str()) != 0)
            return;
        platform::DisplayOptions display;
        display.windowed = true; // a 1024 x 768 window: presented one to one
        if (app.init(display) != 0)
            return;
        platform::setOverlay(overlayAndReadBack, &app);
        app.timeGetTime = fakeClock;
        app.stats = &frameStats;
        app.renderScale.fix(1); // every picture whole, whatever the frames cost here
        musicFile = nullptr; // the silent clock: a paused picture holds exactly
        app.precalc();
        started = true;
    }
    void TearDown() override {
        if (started)
            app.deinit();
    }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new StartWindowed);

using testsdl::pushKey;

void pushMouse(Uint32 type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = x;
        e.button.y = y;
    }
    SDL_PushEvent(&e);
}

// A click: the left button down and up at (x, y).
void click(int x, int y) {
    pushMouse(SDL_MOUSEBUTTONDOWN, x, y);
    pushMouse(SDL_MOUSEBUTTONUP, x, y);
}

// Handles everything waiting, then presents once more.
void settle() {
    for (int i = 0; i < 64 && SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0;
         ++i)
        app.turn();
    platform::present();
}

std::vector<unsigned char> picture() {
    std::vector<unsigned char> rgb(platform::kDesignWidth * platform::kDesignHeight * 3);
    platform::readFrame(rgb.data());
    return rgb;
}

// The rows and columns where two images of the window's size differ.
struct Difference {
    long pixels = 0;
    platform::PixelRect box; // their bounding box (empty when none)
};
Difference differ(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    Difference d;
    int x0 = presentedW, y0 = presentedH, x1 = -1, y1 = -1;
    for (int y = 0; y < presentedH; ++y)
        for (int x = 0; x < presentedW; ++x) {
            const size_t i = (static_cast<size_t>(y) * presentedW + x) * 3;
            if (a[i] == b[i] && a[i + 1] == b[i + 1] && a[i + 2] == b[i + 2])
                continue;
            ++d.pixels;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    if (d.pixels)
        d.box = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return d;
}

bool inside(const platform::PixelRect& box, const platform::PixelRect& area) {
    return box.x >= area.x && box.y >= area.y && box.x + box.w <= area.x + area.w &&
           box.y + box.h <= area.y + area.h;
}

osd::Layout shownLayout(bool withStats = false) {
    return osd::layoutFor(platform::presentation().picture, demoMS, withStats);
}

class OsdLiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(started) << "the demo did not start in a window";
        done = false;
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        fakeNow += 100000; // whatever an earlier test showed has faded
        if (app.osd.statsShown())
            app.osd.toggleStats();
        if (!app.paused) {
            pushKey(SDLK_SPACE);
            settle();
        }
        ASSERT_TRUE(app.paused);
        live::seek(app, 40000);
        app.run();
        settle();
        ASSERT_EQ(presentedW, platform::kDesignWidth);
        ASSERT_EQ(presentedH, platform::kDesignHeight);
    }
};

TEST_F(OsdLiveTest, PausedTheBandIsDrawnOverThePictureAndOHidesAndShowsIt) {
    const std::vector<unsigned char> shown = presented, pic = picture();
    const Difference d = differ(shown, pic);
    ASSERT_GT(d.pixels, 1000) << "the OSD shows while paused";
    const osd::Layout l = shownLayout();
    EXPECT_TRUE(inside(d.box, l.band)) << "changed pixels reach outside the band";
    EXPECT_EQ(l.band.y + l.band.h, presentedH); // along the bottom of the picture
    EXPECT_GE(d.box.w, l.bar.w);                // the bar spans the picture

    pushKey(SDLK_o);
    settle();
    EXPECT_EQ(differ(presented, pic).pixels, 0) << "hidden, the screen shows exactly the picture";
    fakeNow += 60000; // hidden even while the pause lasts
    settle();
    EXPECT_EQ(differ(presented, pic).pixels, 0);

    pushKey(SDLK_o);
    settle();
    EXPECT_EQ(differ(presented, shown).pixels, 0) << "shown again, exactly as before";
}

TEST_F(OsdLiveTest, ItsLineNamesTheSceneAndTheMusicTime) {
    pushKey(SDLK_HOME);
    settle();
    const osd::View* v =
        app.osd.view(platform::presentation().picture, fakeNow, currentScene, demoMS, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v->place, "Scene 2 \u00b7 LED wall   0:00.000 / 3:20   paused");
    pushKey(SDLK_PAGEDOWN);
    pushKey(SDLK_PAGEDOWN);
    settle();
    v = app.osd.view(platform::presentation().picture, fakeNow, currentScene, demoMS, nullptr);
    EXPECT_STREQ(v->place, "Scene 4 \u00b7 cloud tunnel   0:29.600 / 3:20   paused");

    // The drawn label: text is lighter than the band's darkened picture; it
    // starts at the layout's pen and is as wide as the glyphs' advances.
    const std::vector<unsigned char> pic = picture();
    const osd::Layout& l = v->layout;
    const int width = app.osdRenderer.textWidth(v->place);
    ASSERT_GT(width, 10 * l.fontPx); // some forty glyphs, none missing from the atlas
    int x0 = presentedW, x1 = -1, y0 = presentedH, y1 = -1;
    // Where the text's backing is: up to a little past the line's end.
    for (int y = l.textArea.y; y < l.textArea.y + l.textArea.h; ++y)
        for (int x = l.textArea.x; x < l.textX + width + l.fontPx; ++x) {
            const size_t i = (static_cast<size_t>(y) * presentedW + x) * 3;
            bool lit = false;
            for (int c = 0; c < 3; ++c)
                lit |= presented[i + c] > pic[i + c] * 0.45 + 12;
            if (!lit)
                continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    EXPECT_GE(x0, l.textX);
    EXPECT_LE(x0, l.textX + l.fontPx / 4); // 'S' sits a side bearing in
    EXPECT_LE(x1, l.textX + width);
    EXPECT_GE(x1, l.textX + width - l.fontPx / 4); // 'd' ends a side bearing short
    EXPECT_GE(y0, l.placeBaseline - l.fontPx);     // capitals up to about 0.73 em
    EXPECT_LE(y0, l.placeBaseline - l.fontPx / 2);
    EXPECT_GE(y1, l.placeBaseline); // 'p' descends below the baseline
    EXPECT_LE(y1, l.placeBaseline + l.fontPx / 3);
}

TEST_F(OsdLiveTest, AClickOnTheBandSeeksToTheTimeUnderThePointer) {
    const osd::Layout l = shownLayout();
    const int x = l.bar.x + l.bar.w * 3 / 5;
    const double wanted = (x - l.bar.x) * 200000.0 / l.bar.w; // about 120 s: Scene 5's stretch
    click(x, l.band.y + 2); // anywhere in the band's height
    settle();
    EXPECT_NEAR(demoMS, wanted, 1.0);
    EXPECT_EQ(currentScene, 4);

    // Above the band, or with the OSD hidden, a click does nothing.
    click(l.bar.x, l.band.y - 1);
    settle();
    EXPECT_NEAR(demoMS, wanted, 1.0);
    pushKey(SDLK_o);
    click(l.bar.x, l.bar.y);
    settle();
    EXPECT_NEAR(demoMS, wanted, 1.0);
    pushKey(SDLK_o);
    settle(); // a click lands on what is drawn
    // The bar's ends are the demo's start and end.
    click(l.bar.x - 5, l.bar.y);
    settle();
    EXPECT_EQ(demoMS, 0.0f);
    EXPECT_FALSE(done);
}

// Dragging along the bar scrubs: the picture follows the pointer's newest
// place, the music is silent while the button is held, and goes on from
// where it is released.
TEST_F(OsdLiveTest, DraggingAlongTheBarScrubsAndTheMusicGoesOnFromTheRelease) {
    pushKey(SDLK_SPACE);
    settle();
    ASSERT_FALSE(app.paused);
    const osd::Layout l = shownLayout();
    auto timeAt = [&](int x) { return (x - l.bar.x) * 200000.0 / l.bar.w; };
    const int x0 = l.bar.x + l.bar.w / 10, x1 = l.bar.x + l.bar.w / 4, x2 = l.bar.x + l.bar.w * 2 / 5;
    pushMouse(SDL_MOUSEBUTTONDOWN, x0, l.bar.y);
    settle();
    EXPECT_TRUE(app.scrubbing);
    EXPECT_TRUE(platform::soundPaused());
    EXPECT_NEAR(demoMS, timeAt(x0), 1.0);
    // Two moves queued while that picture was drawn: one seek, to the newer.
    pushMouse(SDL_MOUSEMOTION, x1, l.bar.y);
    pushMouse(SDL_MOUSEMOTION, x2, l.bar.y - 40); // off the bar's height: its column still counts
    settle();
    EXPECT_NEAR(demoMS, timeAt(x2), 1.0);
    const std::vector<unsigned char> held = picture();
    fakeNow += 500;
    app.turn(); // held: no frame is drawn while the button is down
    EXPECT_TRUE(held == picture());
    EXPECT_TRUE(platform::soundPaused());
    pushMouse(SDL_MOUSEBUTTONUP, x2, l.bar.y);
    settle();
    EXPECT_FALSE(app.scrubbing);
    EXPECT_FALSE(platform::soundPaused());
    fakeNow += 50;
    app.turn(); // playing again, from the release
    EXPECT_GE(demoMS, timeAt(x2) - 1.0);
    EXPECT_LT(demoMS, timeAt(x2) + 1000.0);
}

TEST_F(OsdLiveTest, AfterAResumeItShowsForTwoSecondsThenFadesOut) {
    pushKey(SDLK_SPACE);
    settle(); // resumed at fakeNow: this present is a frame of the playing demo
    ASSERT_FALSE(app.paused);
    const uint64_t resumed = fakeNow;
    const osd::Layout l = shownLayout();
    for (uint64_t after : {0, 1000, 1999}) {
        fakeNow = resumed + after;
        app.turn(); // one frame, drawn and presented
        const Difference d = differ(presented, picture());
        EXPECT_GT(d.pixels, 1000) << after << " ms after the resume";
        EXPECT_TRUE(inside(d.box, l.band));
    }
    fakeNow = resumed + 2150; // halfway through the fade: fainter, still there
    app.turn();
    EXPECT_GT(differ(presented, picture()).pixels, 1000);
    fakeNow = resumed + 2300;
    app.turn();
    EXPECT_EQ(differ(presented, picture()).pixels, 0) << "faded out";
    // o shows it while playing, until o again.
    pushKey(SDLK_o);
    app.turn();
    fakeNow += 30000;
    app.turn();
    EXPECT_GT(differ(presented, picture()).pixels, 1000);
    pushKey(SDLK_o);
    app.turn();
    app.turn();
    EXPECT_EQ(differ(presented, picture()).pixels, 0);
}

TEST_F(OsdLiveTest, ISwitchesTheFrameRateLineOnAndOff) {
    // Three frames played 40 ms apart (the first starts the count), then paused.
    frameStats = live::FrameStats{};
    pushKey(SDLK_SPACE);
    settle();
    for (int i = 0; i < 3; ++i, fakeNow += 40)
        app.turn();
    pushKey(SDLK_SPACE);
    settle();
    const std::vector<unsigned char> oneLine = presented;
    pushKey(SDLK_i);
    settle();
    const osd::Layout one = shownLayout(false), two = shownLayout(true);
    ASSERT_LT(two.band.y, one.band.y);
    const Difference d = differ(presented, picture());
    EXPECT_TRUE(inside(d.box, two.band));
    EXPECT_LT(d.box.y, one.band.y); // the band grew upward by the second line
    const osd::View* v =
        app.osd.view(platform::presentation().picture, fakeNow, currentScene, demoMS, &frameStats);
    EXPECT_STREQ(v->stats, "25.0 fps \u00b7 40.0 ms \u00b7 scene mean 25.0 fps \u00b7 scale 1.00");
    pushKey(SDLK_i);
    settle();
    EXPECT_EQ(differ(presented, oneLine).pixels, 0);
}

TEST_F(OsdLiveTest, ThePointerShowsWhenItMovesAndHidesWhenStill) {
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    pushMouse(SDL_MOUSEMOTION, 100, 100);
    settle();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    fakeNow += 1999;
    settle();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    fakeNow += 1;
    settle();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(OsdLiveTest, WithoutItsFontTheOsdSaysSoAndDrawsNoText) {
    osd::Renderer renderer;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(renderer.open("/nonexistent/DejaVuSans.ttf"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot open the font /nonexistent/DejaVuSans.ttf"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    renderer.prepare(23);
    EXPECT_EQ(renderer.atlasPixels(), 0);
    EXPECT_EQ(renderer.textWidth("Scene 4"), 0);
}

} // namespace

namespace {

// The atlas is made again for each new size: the window changed size.
TEST(OsdAtlasTest, FollowsTheFontSizeAndSkipsWhatItDoesNotHold) {
    ASSERT_TRUE(started) << "the demo did not start in a window";
    osd::Renderer renderer;
    ASSERT_TRUE(renderer.open());
    const char* line = "Scene 11 \u00b7 hexagonal columns   2:59.9 / 3:20   paused";
    renderer.prepare(12);
    EXPECT_EQ(renderer.atlasPixels(), 12);
    const int small = renderer.textWidth(line);
    for (int px : {24, 48, 96}) {
        renderer.prepare(px);
        EXPECT_EQ(renderer.atlasPixels(), px);
        // Hinted advances round per glyph: close to proportional, not exactly.
        EXPECT_NEAR(renderer.textWidth(line), small * px / 12.0, small * px / 12.0 * 0.1) << px;
    }
    EXPECT_GT(renderer.textWidth("\u00b7"), 0);
    EXPECT_EQ(renderer.textWidth("\u00e9\u2014\U0001F600"), 0); // not in the atlas: skipped
    EXPECT_EQ(renderer.textWidth("a\xC2"), renderer.textWidth("a")); // cut short: nothing read past the end
    EXPECT_EQ(renderer.textWidth("a\x80\xBF"), renderer.textWidth("a")); // stray continuation bytes
    renderer.release();
    EXPECT_EQ(renderer.atlasPixels(), 0);
}

} // namespace

namespace {

// f and F11 switch fullscreen and back: the held picture and the music time
// stay, and what is presented follows the window's new size at once (here a
// 16:9 window letterboxes the picture; the offscreen driver's screen is
// 1024 x 768 and shows it one to one).
TEST_F(OsdLiveTest, FAndF11SwitchFullscreenKeepingThePictureAndTheTime) {
    pushKey(SDLK_o); // the band hidden: the screen is the picture alone
    settle();
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    SDL_SetWindowSize(window, 800, 450);
    settle();
    ASSERT_EQ(presentedW, 800);
    const std::vector<unsigned char> pic = picture();
    const float ms = demoMS;
    EXPECT_EQ(platform::presentation().picture.x, 100); // 600 x 450 in the middle
    pushKey(SDLK_f);
    settle();
    EXPECT_TRUE(platform::fullscreen());
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(presentedW, 1024);
    EXPECT_EQ(presentedH, 768);
    EXPECT_EQ(differ(presented, pic).pixels, 0);
    pushKey(SDLK_f, false);
    pushKey(SDLK_F11);
    settle();
    EXPECT_FALSE(platform::fullscreen());
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(picture(), pic);
    EXPECT_EQ(demoMS, ms);
    EXPECT_TRUE(app.paused);
    SDL_SetWindowSize(window, 1024, 768);
    pushKey(SDLK_o);
    settle();
}

// The key list over the picture with ? (Shift+/) or F1; the next key only
// hides it, Escape too; q then quits as Escape does.
TEST_F(OsdLiveTest, QuestionMarkAndF1ShowTheKeyListUntilAnyKeyAndQQuits) {
    const std::vector<unsigned char> band = presented;
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_SLASH;
    e.key.keysym.mod = KMOD_LSHIFT;
    SDL_PushEvent(&e);
    settle();
    ASSERT_TRUE(app.osd.helpShown());
    const Difference d = differ(presented, band);
    EXPECT_GT(d.pixels, 20000); // a panel of fourteen lines
    EXPECT_LT(d.box.y, presentedH / 3);
    EXPECT_GT(d.box.y + d.box.h, presentedH * 2 / 3);
    const float ms = demoMS;
    pushKey(SDLK_RIGHT); // hides the list, seeks nowhere
    settle();
    EXPECT_FALSE(app.osd.helpShown());
    EXPECT_EQ(demoMS, ms);
    EXPECT_EQ(differ(presented, band).pixels, 0);
    pushKey(SDLK_F1);
    settle();
    EXPECT_TRUE(app.osd.helpShown());
    pushKey(SDLK_ESCAPE);
    settle();
    EXPECT_FALSE(app.osd.helpShown());
    EXPECT_FALSE(done);
    pushKey(SDLK_q);
    settle();
    EXPECT_TRUE(done);
}

// m, 9 and 0 say the volume on the first line; past either end nothing
// happens. l says the loop.
TEST_F(OsdLiveTest, VolumeMuteAndLoopKeysAreSaidOnTheFirstLine) {
    auto line = [] {
        const osd::View* v = app.osd.view(platform::presentation().picture, fakeNow, currentScene, demoMS, nullptr);
        return std::string(v ? v->place : "");
    };
    const std::string place = "Scene 4 \u00b7 cloud tunnel   0:40.000 / 3:20   paused";
    ASSERT_EQ(app.volumePercent, 100);
    pushKey(SDLK_0); // already at 100 %
    settle();
    EXPECT_EQ(line(), place);
    pushKey(SDLK_9);
    pushKey(SDLK_9);
    settle();
    EXPECT_EQ(line(), place + "   volume 80 %");
    pushKey(SDLK_m);
    settle();
    // The mute stays said after its notice, until unmuted.
    EXPECT_EQ(line(), place + "   muted   volume 80 %");
    fakeNow += osd::kShowMs + osd::kFadeMs;
    EXPECT_EQ(line(), place + "   muted");
    EXPECT_TRUE(app.muted);
    for (int i = 0; i < 12; ++i) pushKey(SDLK_9);
    settle();
    EXPECT_EQ(app.volumePercent, 0);
    pushKey(SDLK_m);
    pushKey(SDLK_0);
    settle();
    EXPECT_EQ(line(), place + "   volume 10 %");
    pushKey(SDLK_l);
    settle();
    EXPECT_TRUE(app.loop);
    EXPECT_EQ(line(), place + "   loop on");
    SDL_Event repeat{}; // a held l repeats: no flipping back and forth
    repeat.type = SDL_KEYDOWN;
    repeat.key.keysym.sym = SDLK_l;
    repeat.key.repeat = 1;
    SDL_PushEvent(&repeat);
    settle();
    EXPECT_TRUE(app.loop);
    pushKey(SDLK_l);
    settle();
    EXPECT_FALSE(app.loop);
    fakeNow += osd::kShowMs + osd::kFadeMs; // the notice goes with the shown time
    EXPECT_EQ(line(), place);
    while (app.volumePercent < 100) {
        pushKey(SDLK_0);
        settle();
    }
}

} // namespace
