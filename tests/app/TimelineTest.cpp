// The music clock's sync functions and the scene schedule, at the exact
// edges where an off-by-one or a wrong comparison would show.
#include "app/Timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override { syncCount = countSyncs(); }
    void at(float ms) { demoMS = ms; }
};

// The program's sync table is the shared list (SyncPoints.h), ascending and
// closed by the terminator, which countSyncs stops at.
TEST_F(TimelineTest, SyncTableIsTheSharedListBeforeTheTerminator) {
    ASSERT_EQ(countSyncs(), kSyncPointCount);
    for (int i = 0; i < kSyncPointCount; ++i) {
        EXPECT_EQ(syncs[i], kSyncPointsMs[i]) << i;
        if (i > 0) {
            EXPECT_LT(syncs[i - 1], syncs[i]) << i;
        }
    }
    EXPECT_EQ(syncs[kSyncPointCount], kSyncTerminator);
}

// Each stretch owns its first millisecond; the float just below it belongs to
// the stretch before (at exactly 14800 ms the checkerboard, index 0, runs).
TEST_F(TimelineTest, ScheduleBoundariesBelongToTheLaterScene) {
    for (int i = 0; i < kSceneCount; ++i) {
        const float start = stretchStartMs(i), last = std::nextafter(stretchEndMs(i), 0.0f);
        EXPECT_EQ(sceneForTime(start, -1), stretchScene(i)) << "at " << start << " ms";
        EXPECT_EQ(sceneForTime(last, -1), stretchScene(i)) << "at " << last << " ms";
        if (i > 0) {
            EXPECT_EQ(sceneForTime(std::nextafter(start, 0.0f), -1), stretchScene(i - 1)) << "below " << start;
        }
    }
    EXPECT_EQ(sceneForTime(14800, -1), 0);
    EXPECT_EQ(sceneForTime(14799.99f, -1), 1);
}

TEST_F(TimelineTest, FromTheEndOnTheSceneKeepsItsValue) {
    EXPECT_EQ(sceneForTime(200000, 11), 11);
    EXPECT_EQ(sceneForTime(200001, 11), 11);
    EXPECT_EQ(sceneForTime(250000, 7), 7);
}

// The scene table is what the schedule, the display, the replay and the
// benchmark read: scenes numbered 1 up, each number once, stretches that tile
// the timeline from 0 to the end without a gap, every scene with its
// functions and a name of its own, and what the warm-up reads inside its
// stretch.
TEST(SceneTableTest, ScenesTileTheTimeline) {
    std::set<int> numbers;
    std::set<std::string> names;
    EXPECT_EQ(stretchStartMs(0), 0);
    for (int i = 0; i < kSceneCount; ++i) {
        const SceneEntry& s = kScenes[i];
        EXPECT_TRUE(s.number >= 1 && s.number <= kSceneCount) << "scene " << s.number;
        EXPECT_TRUE(numbers.insert(s.number).second) << "scene " << s.number << " twice";
        EXPECT_LT(stretchStartMs(i), stretchEndMs(i)) << "scene " << s.number;
        if (i + 1 < kSceneCount) {
            EXPECT_EQ(stretchEndMs(i), kScenes[i + 1].startMs);
        }
        EXPECT_TRUE(s.init && s.draw) << "scene " << s.number;
        EXPECT_TRUE(names.insert(s.name).second) << s.name;
        EXPECT_EQ(sceneStartMs(s.number), s.startMs);
        EXPECT_EQ(sceneForTime(s.startMs, -1), s.number - 1);
        EXPECT_GE(s.segments, 1) << "scene " << s.number;
        for (float ms : s.warmUpMs) {
            if (ms) {
                EXPECT_TRUE(ms > stretchStartMs(i) && ms < stretchEndMs(i)) << ms << " ms, scene " << s.number;
            }
        }
    }
    EXPECT_EQ(stretchEndMs(kSceneCount - 1), kDemoEndMs);
}

TEST_F(TimelineTest, FirstSyncPointIsPassedOnlyStrictlyAfterIt) {
    at(50);
    EXPECT_EQ(getSync(), 0);
    EXPECT_FLOAT_EQ(getSyncFloat(), 0.0f);
    at(50.5f);
    EXPECT_EQ(getSync(), 0);
    EXPECT_NEAR(getSyncFloat(), 0.999f, 1e-6);
}

TEST_F(TimelineTest, PulseRestartsJustAfterTheSecondSyncPoint) {
    at(740);
    EXPECT_EQ(getSync(), 0);
    EXPECT_FLOAT_EQ(getSyncFloat(), 0.0f); // 690 ms after the first point
    at(740.25f);
    EXPECT_EQ(getSync(), 1);
    EXPECT_NEAR(getSyncFloat(), 1.0f, 1e-3);
    at(990);
    EXPECT_NEAR(getSyncFloat(), 0.5f, 1e-6);
    at(1240);
    EXPECT_FLOAT_EQ(getSyncFloat(), 0.0f); // -500 is not inside the open interval
}

TEST_F(TimelineTest, AfterTheLastSyncPointThePulseStaysOff) {
    at(59430.5f);
    EXPECT_EQ(getSync(), 39);
    EXPECT_FLOAT_EQ(getSyncFloat(), 0.0f);
    at(150000);
    EXPECT_EQ(getSync(), 39);
    EXPECT_FLOAT_EQ(getSyncFloat(), 0.0f);
    EXPECT_FLOAT_EQ(getTimeSinceSync(), 150000.0f - 58930.0f);
}

TEST_F(TimelineTest, TimeSinceSyncIsNegativeBeforeTheFirstPoint) {
    at(0);
    EXPECT_FLOAT_EQ(getTimeSinceSync(), -50.0f);
    at(49);
    EXPECT_FLOAT_EQ(getTimeSinceSync(), -1.0f);
    at(18700);
    EXPECT_EQ(getSync(), 16); // 18700 itself is not yet passed
    EXPECT_FLOAT_EQ(getTimeSinceSync(), 3900.0f);
}

} // namespace
