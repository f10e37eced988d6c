// Engine: the renderer state every scene shares through the global `engine`:
// the texture manager, the texture slots filled at start-up, the Glow, and
// the two projection set-ups.
#pragma once

#include "app/SlotImages.h"

#include <vector>

struct ImagePiece;
class Mesh;
class Texture;
class Glow;

// Texture slots filled at start-up (slot 4 is the one Model::render binds),
// then one for each image of the list, in its order.
enum TextureSlot {
    kSlotModel = 4,
    kSlotBeforeImages = kFirstImageSlot - 1,
#define DEMO_SLOT_NAME(name, image, mask) kSlot##name,
    DEMO_SLOT_IMAGES(DEMO_SLOT_NAME)
#undef DEMO_SLOT_NAME
};
// The slots the scenes were drawn against.
static_assert(kSlotCola == 5 && kSlotButterfly == 16 && kSlotDust == 26 && kSlotGreet1 == 31 &&
              kSlotLayer2 == 39 && kSlotEnding == 40);
constexpr int kSlotCount = 64;

class Engine {
public:
    std::vector<Mesh*> meshes;        // drawn by render(); nothing adds to it
    Texture* textureManager = nullptr; // the one texture manager
    unsigned textures[kSlotCount] = {}; // texture index per slot
    Glow* glow = nullptr;              // the post-process passes

    Engine();
    void init();
    // The viewport of both set-ups: 1024 x 768 (the design size) is the
    // picture, wherever and however large the frame holds it; any other
    // size (the 128 x 128 glow source) is that many pixels at the frame's
    // lower-left corner. Scenes name the place with the calls below.
    // 2D, y down, w x h units; depth test, culling, lighting and fog off.
    void ortho(float w, float h);
    // 3D: 45 degrees, aspect 1.25 whatever the viewport, near 0.5, far 500.
    void perspective(float w, float h);
    // The 3D set-up drawing into the picture: perspective(1024, 768).
    void perspectiveIntoPicture();
    // The 3D set-up drawing into the glow source, the 128 x 128 corner:
    // perspective(128, 128).
    void perspectiveIntoGlowCorner();
    // The 2D set-up over the picture, in design pixels: ortho(1024, 768).
    void orthoIntoPicture();
    void render();
    void prepareScene();
    void deinitializeScene();
};

extern Engine* engine;

// glLineWidth in design pixels: the picture draws its lines wider in
// proportion to its height (2 design pixels are 2.8 pixels in a 1080-line
// picture); the 128 x 128 glow source draws them as given.
void setLineWidth(float designPixels);

// An image overlay: the 1024 x 768 ortho set-up, alpha blending, the image of
// texture slot `slot` tinted by (r, g, b, a) over the screen rectangle
// (x0, y0)-(x1, y1) (y down), its first row at the top, or at the bottom when
// `firstRowAtBottom`. The logo and the scenes' corner silhouettes.
void drawOverlay(int slot, float r, float g, float b, float a, double x0, double y0, double x1, double y1,
                 bool firstRowAtBottom = false);

// The pieces of slot `slot`'s image outside which it samples alpha 0 (see
// AlphaSupport.h), read back once per texture on first use.
const std::vector<ImagePiece>& imagePieces(int slot);

// The image pieces of a quad on which texture coordinate (s, t) lies at
// origin + s du + t dv, each with its own texture coordinates.
void drawImagePieces(const std::vector<ImagePiece>& pieces, const double origin[3], const double du[3],
                     const double dv[3]);
