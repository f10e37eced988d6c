// Engine: texture manager, slots, glow and the two projection set-ups.
#include "app/Engine.h"

#include "fx/FramePasses.h"
#include "fx/Glow.h"
#include "geometry/mesh.h"
#include "image/AlphaSupport.h"
#include "image/Texture.h"
#include "platform/Platform.h"

#include <GL/gl.h>
#include <GL/glu.h>

Engine* engine = nullptr;

namespace {

float lineWidth = 1;   // design pixels, as last set (GL starts at 1)
float designScale = 1; // frame pixels per design pixel in the set-up in use

// Whether a w x h set-up draws into the picture (the design size) rather
// than at the frame's lower-left corner (the glow source).
bool isPicture(float w, float h) {
    return w == platform::kDesignWidth && h == platform::kDesignHeight;
}

// The viewport of a w x h set-up (see Engine.h), and the line scale with it.
// At the design frame size the scale stays 1 and no line width is set here.
void setViewport(float w, float h) {
    float scale = 1;
    if (isPicture(w, h)) scale = static_cast<float>(platform::placePicture().height) / h;
    else
        glViewport(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
    if (scale == designScale) return;
    designScale = scale;
    glLineWidth(lineWidth * scale);
}

// The wrap mode of the bound texture, both ways.
void setEdgeWrap(GLint mode) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, mode);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, mode);
}

} // namespace

void setLineWidth(float designPixels) {
    lineWidth = designPixels;
    glLineWidth(designPixels * designScale);
}

Engine::Engine() {}

void Engine::init() {
    textureManager = new Texture();
    glow = new Glow();
    // The glow's three 128 x 128 work textures are the first the manager makes.
    glow->Init(textureManager, GL_LINEAR);
}

void Engine::ortho(float w, float h) {
    markFramePass(FramePass::Overlays);
    releaseGlowCorner();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    setViewport(w, h);
}

void Engine::perspective(float w, float h) {
    // A corner set-up starts the glow source, the design-size one the picture.
    const bool corner = !isPicture(w, h);
    markFramePass(corner ? FramePass::GlowSource : FramePass::Picture);
    if (corner)
        keepToGlowCorner();
    else
        releaseGlowCorner();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Aspect 1.25 even for the square glow viewport: the glow source is the
    // same picture squeezed into 128 x 128.
    gluPerspective(45, 1.25, 0.5, 500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    setViewport(w, h);
}

void Engine::perspectiveIntoPicture() {
    perspective(platform::kDesignWidth, platform::kDesignHeight);
}

void Engine::perspectiveIntoGlowCorner() {
    perspective(kGlowSourceSize, kGlowSourceSize);
}

void Engine::orthoIntoPicture() {
    ortho(platform::kDesignWidth, platform::kDesignHeight);
}

void Engine::render() {
    for (Mesh* m : meshes) m->render();
}

const std::vector<ImagePiece>& imagePieces(int slot) {
    // Per texture (tests put other textures into the slots), on first use.
    static std::vector<ImagePiece> pieces[512];
    static bool measured[512] = {};
    if (slot < 0 || slot >= kSlotCount || engine->textures[slot] >= 512) return wholeImage();
    const unsigned texture = engine->textures[slot];
    if (!measured[texture]) {
        engine->textureManager->bind(texture);
        pieces[texture] = boundTexturePieces();
        measured[texture] = true;
    }
    return pieces[texture];
}

void drawImagePieces(const std::vector<ImagePiece>& pieces, const double origin[3], const double du[3],
                     const double dv[3]) {
    auto corner = [&](float s, float t) {
        glTexCoord2f(s, t);
        glVertex3d(origin[0] + s * du[0] + t * dv[0], origin[1] + s * du[1] + t * dv[1],
                   origin[2] + s * du[2] + t * dv[2]);
    };
    glBegin(GL_QUADS);
    for (const ImagePiece& p : pieces) {
        corner(p.top0, p.t0);
        corner(p.top1, p.t0);
        corner(p.bottom1, p.t1);
        corner(p.bottom0, p.t1);
    }
    glEnd();
}

void drawOverlay(int slot, float r, float g, float b, float a, double x0, double y0, double x1, double y1,
                 bool firstRowAtBottom) {
    engine->orthoIntoPicture();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    engine->textureManager->bind(engine->textures[slot]);
    // Each image covers as many design pixels as it has texels, so at the
    // design size every pixel centre is a texel centre. Magnified, the
    // quad's edge pixels would blend in the image's opposite edge (the
    // images repeat, for their other uses), so the edge is clamped meanwhile.
    const bool magnified = designScale > 1;
    if (magnified) setEdgeWrap(GL_CLAMP_TO_EDGE);
    glColor4f(r, g, b, a);
    if (skipInvisibleWork) {
        // Only texels of non-zero alpha show: the image's pieces.
        const double origin[3] = {x0, firstRowAtBottom ? y1 : y0, 0};
        const double du[3] = {x1 - x0, 0, 0};
        const double dv[3] = {0, firstRowAtBottom ? y0 - y1 : y1 - y0, 0};
        drawImagePieces(imagePieces(slot), origin, du, dv);
    } else {
        const float top = firstRowAtBottom ? 1.0f : 0.0f, bottom = 1.0f - top;
        glBegin(GL_QUADS);
        glTexCoord2f(0, top);
        glVertex2d(x0, y0);
        glTexCoord2f(1, top);
        glVertex2d(x1, y0);
        glTexCoord2f(1, bottom);
        glVertex2d(x1, y1);
        glTexCoord2f(0, bottom);
        glVertex2d(x0, y1);
        glEnd();
    }
    if (magnified) setEdgeWrap(GL_REPEAT);
}

void Engine::prepareScene() {}

void Engine::deinitializeScene() {}
