// The sync points: the moments, in ms of music time, on which the first four
// scenes on the timeline cut and flash, and on which the soundtrack puts its
// accents. The one list of them: the program's sync table (Timeline.h), the
// music generator (tools/musicgen) and the tests read it from here, so the
// picture's flashes and the music's hits cannot drift apart.
//
// Plain C++ with no includes: the music generator builds it without the
// program's libraries.
#pragma once

// Ascending, in ms; as a list for initialising arrays of any element type.
#define DEMO_SYNC_POINTS_MS                                                                                           \
    50, 740, 1920, 2620, 3800, 4500, 5650, 6360, 7500, 8200, 9370, 10070, 11200, 11930, 13100, 13800, 14800, 18700, \
        22380, 26060, 29600, 33250, 37000, 40650, 45000, 45900, 46800, 47750, 48700, 49650, 50550, 51450, 52400,    \
        53330, 54280, 55200, 56130, 57080, 58000, 58930

inline constexpr int kSyncPointsMs[] = {DEMO_SYNC_POINTS_MS};
constexpr int kSyncPointCount = sizeof kSyncPointsMs / sizeof kSyncPointsMs[0];
