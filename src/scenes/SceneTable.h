// The scene table: the one list of the twelve scenes, in timeline order.
//
// Each row names a scene by its source file's number (Scene1.cpp ...
// Scene10.cpp, scene11.cpp, scene12.cpp, as the README's scene table numbers
// them), gives the start of its stretch of the timeline (it runs to the next
// row's start, the last to the end of the demo), its short name, its
// functions and what the replay and the warm-up need to know of it. The
// schedule, the scene jumps, the frame statistics, the benchmark's rows, the
// on-screen display, the replay, the warm-up and the tests all read it;
// scenes read their own start and end from it. A new scene is a row here, its
// source file and its functions in Scenes.h: docs/adding-a-scene.md lists
// the rest.
//
// A scene's index (currentScene, the update function's 0-based place in file
// order) is its number - 1.
#pragma once

#include "scenes/Scenes.h"

constexpr float kDemoEndMs = 200000.0f; // the timeline's end, ms

// The most moments of its own a scene gives the warm-up.
constexpr int kMaxWarmUpMoments = 5;

struct SceneEntry {
    int number;       // the source file's number, 1..12
    float startMs;    // where its stretch of the timeline starts, ms
    const char* name; // short name, as the on-screen display shows it
    void (*init)();   // start-up: its curves, meshes and tables
    // What a frame moves that outlives it (the state later frames and later
    // scenes read), without drawing; null where a frame is a pure function of
    // the music time. Every frame calls it first.
    void (*advance)();
    void (*draw)(); // then the frame's pictures, moving nothing that outlives it
    // That state back as start-up left it; null where there is none.
    void (*reset)();
    // Whether its frames leave GL state that later scenes draw with (the
    // texture environment the blob and the sphere room set for good): a
    // replay then draws its last frame instead of only advancing it.
    bool leavesGlState;
    // Equal parts of its stretch that each open on images of their own,
    // first used there (the sphere room's greetings and camera paths); 1
    // where the stretch is one piece.
    int segments;
    // Moments inside it, ms, whose GL state combinations no earlier frame
    // meets (found with Mesa's shader cache off, on 30 and 60 fps grids over
    // the whole demo), for the warm-up to draw before the music; 0: no more.
    float warmUpMs[kMaxWarmUpMoments];
    // Its frames' mean cost at 1024 x 768 in layers (one blended quad over
    // the whole picture), as `--benchmark --fps 5` over the whole demo gives
    // it: what live play's render scale expects of its moments.
    double costLayers;
};

inline constexpr SceneEntry kScenes[] = {
    {2, 0, "LED wall", scene2init, scene2advance, scene2draw, scene2reset, false, 1, {}, 4.6},
    {1, 14800, "checkerboard", scene1init, nullptr, scene1draw, nullptr, false, 1, {}, 4.0},
    {4, 29600, "cloud tunnel", scene4init, scene4advance, scene4draw, scene4reset, false, 1, {}, 6.9},
    {6, 44700, "spinning rings", scene6init, nullptr, scene6draw, nullptr, false, 1,
     {45283.3f}, 7.1}, // warm-up: its first sync point
    {10, 59600, "crumbling road", scene10init, scene10advance, scene10draw, scene10reset, false, 1, {}, 5.7},
    {7, 89300, "boiling blob", scene7init, scene7advance, scene7draw, scene7reset, true, 1,
     {92366.7f, 95716.7f}, 5.7}, // warm-up: the flower swarm
    {8, 104000, "cell tunnel", scene8init, scene8advance, scene8draw, scene8reset, false, 1,
     {111433.3f, 111500, 111600, 111866.7f, 112633.3f}, 6.9}, // warm-up: the cloud layers coming into view
    {5, 119000, "lumpy sphere", scene5init, scene5advance, scene5draw, scene5reset, true, 8, {133150}, 7.1},
    {9, 148800, "grass field", scene9init, nullptr, scene9draw, nullptr, false, 1,
     {152933.3f, 154333.3f, 157266.7f, 158700, 160550}, 7.8}, // warm-up: they came at other moments from run to run: all here
    {3, 163700, "light-tile road", scene3init, nullptr, scene3draw, nullptr, false, 1, {}, 5.1},
    {11, 178500, "hexagonal columns", scene11init, scene11advance, scene11draw, scene11reset, false, 1, {}, 6.4},
    {12, 193700, "ending image", scene12init, nullptr, scene12draw, nullptr, false, 1, {}, 2.6},
};
constexpr int kSceneCount = sizeof kScenes / sizeof kScenes[0];

// The place of scene `number` on the timeline (its row), or -1.
constexpr int timelinePlace(int number) {
    for (int i = 0; i < kSceneCount; ++i)
        if (kScenes[i].number == number)
            return i;
    return -1;
}

// Row `number`'s entry; scene `number` must exist.
constexpr const SceneEntry& sceneNumbered(int number) {
    return kScenes[timelinePlace(number)];
}

// The stretch at timeline place i (0 .. kSceneCount - 1): the scene index
// that owns it, its start and its end (the next start, or the demo's end), ms.
constexpr int stretchScene(int i) {
    return kScenes[i].number - 1;
}
constexpr float stretchStartMs(int i) {
    return kScenes[i].startMs;
}
constexpr float stretchEndMs(int i) {
    return i + 1 < kSceneCount ? kScenes[i + 1].startMs : kDemoEndMs;
}

// Scene `number`'s stretch: its start and end, ms.
constexpr float sceneStartMs(int number) {
    return stretchStartMs(timelinePlace(number));
}
constexpr float sceneEndMs(int number) {
    return stretchEndMs(timelinePlace(number));
}
