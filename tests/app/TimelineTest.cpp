// The music clock's sync functions and the scene schedule, at the exact
// edges where an off-by-one or a wrong comparison would show.
#include "app/Timeline.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override { syncCount = countSyncs(); }
    void at(float ms) { demoMS = ms; }
};

TEST_F(TimelineTest, SyncTableHasFortyPointsBeforeTheTerminator) {
    EXPECT_EQ(countSyncs(), 40);
    EXPECT_EQ(syncs[39], 58930);
    EXPECT_EQ(syncs[40], kSyncTerminator);
}

TEST_F(TimelineTest, ScheduleBoundariesBelongToTheLaterScene) {
    struct Case {
        float ms;
        int scene;
    };
    const Case cases[] = {
        {0, 1},          {14799.99f, 1},  {14800, 0},  {29599, 0},  {29600, 3},  {44700, 5},
        {59599, 5},      {59600, 9},      {89300, 6},  {104000, 7}, {119000, 4}, {148800, 8},
        {163700, 2},     {178500, 10},    {193699, 10}, {193700, 11}, {199999, 11},
    };
    for (const Case& c : cases) EXPECT_EQ(sceneForTime(c.ms, -1), c.scene) << "at " << c.ms << " ms";
}

TEST_F(TimelineTest, FromTheEndOnTheSceneKeepsItsValue) {
    EXPECT_EQ(sceneForTime(200000, 11), 11);
    EXPECT_EQ(sceneForTime(200001, 11), 11);
    EXPECT_EQ(sceneForTime(250000, 7), 7);
}

// The scene table is what the schedule, the display, the replay and the
// benchmark read: twelve scenes, each number once, stretches that tile the
// timeline from 0 to the end without a gap, every scene with its functions
// and a name of its own.
TEST(SceneTableTest, TwelveScenesTileTheTimeline) {
    ASSERT_EQ(kSceneCount, 12);
    bool seen[13] = {};
    std::set<std::string> names;
    EXPECT_EQ(stretchStartMs(0), 0);
    for (int i = 0; i < kSceneCount; ++i) {
        const SceneEntry& s = kScenes[i];
        ASSERT_GE(s.number, 1);
        ASSERT_LE(s.number, 12);
        EXPECT_FALSE(seen[s.number]) << "scene " << s.number << " twice";
        seen[s.number] = true;
        EXPECT_LT(stretchStartMs(i), stretchEndMs(i)) << "scene " << s.number;
        if (i + 1 < kSceneCount) {
            EXPECT_EQ(stretchEndMs(i), kScenes[i + 1].startMs);
        }
        EXPECT_TRUE(s.init && s.draw) << "scene " << s.number;
        EXPECT_TRUE(names.insert(s.name).second) << s.name;
        EXPECT_EQ(sceneStartMs(s.number), s.startMs);
        EXPECT_EQ(sceneForTime(s.startMs, -1), s.number - 1);
    }
    EXPECT_EQ(stretchEndMs(kSceneCount - 1), kDemoEndMs);
    EXPECT_EQ(sceneStartMs(2), 0);
    EXPECT_EQ(sceneEndMs(2), 14800);
    EXPECT_EQ(sceneStartMs(10), 59600);
    EXPECT_EQ(sceneEndMs(12), 200000);
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
