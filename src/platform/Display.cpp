// SDL2 window, OpenGL context and the offscreen framebuffer that stands in
// for the back buffer: the frame, 1024 x 768 unless another size is asked
// for, or, live on a hardware renderer, the window's drawable size. The 4:3
// picture is centred in it with black bars on the rest. Fullscreen uses the
// desktop's resolution (no mode change, so nothing needs restoring if the
// process dies; setFullscreen switches to a window and back while running,
// and places the window itself where no window manager would); the window
// may be resized. The picture is scaled to fit the size the window really
// has (read from the X server, after every change and size event) and
// letterboxed when it is presented, and an overlay (the on-screen display)
// may then draw over it in window pixels. On request, OpenGL's debug output (KHR_debug) or
// glGetError after each frame reports every GL error on stderr.
#include "platform/GLExt.h"
#include "platform/Platform.h"
#include "platform/Scratch.h"
#include "platform/X11Window.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace arb {
PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB = nullptr;
PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;

void loadEntryPoints() {
    glMultiTexCoord2fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(SDL_GL_GetProcAddress("glMultiTexCoord2fARB"));
    glActiveTextureARB =
        reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(SDL_GL_GetProcAddress("glActiveTextureARB"));
}
} // namespace arb

namespace platform {
namespace {

// Framebuffer-object entry points, looked up once (core since GL 3.0).
struct FboApi {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
};

struct DisplayState {
    SDL_Window* window = nullptr;     // the window (hidden under the offscreen driver)
    SDL_GLContext context = nullptr;  // the one OpenGL context
    bool headless = false;            // no presenting: frames stay in the framebuffer
    FboApi gl{};                      // framebuffer-object entry points
    GLuint fbo = 0;                   // stands in for the back buffer
    GLuint colour = 0, depth = 0;     // its RGB8 and 24-bit depth renderbuffers
    Overlay overlay = nullptr;        // drawn over the presented picture (the OSD)
    void* overlayUser = nullptr;
    int width = 0, height = 0;        // its size in pixels
    int windowWidth = 0, windowHeight = 0; // the window's drawable as it really is, pixels
    int windowedWidth = kDefaultFrameWidth, windowedHeight = kDefaultFrameHeight; // a window's first size: the default frame
    x11::Geometry windowed;           // where the window was before fullscreen (placed by hand)
    bool onX11 = false;               // an X11 window: its size is read from the X server
    int maxWidth = 0, maxHeight = 0;  // the largest frame this OpenGL renders
    bool followWindow = false;        // the frame is resized with the window's drawable
    bool windowedBefore = false;      // the window has been a window (it has a size of its own to go back to)
    bool finishFirst = false;         // the frame is finished before it is presented
    bool checkErrors = false;         // glGetError after each frame (--gl-debug without KHR_debug)
    double renderScale = 1;           // the picture drawn at this share of its place, each way
};
DisplayState state;

// A resizable window's least size: the on-screen display's text still fits.
constexpr int kMinWindowWidth = 320, kMinWindowHeight = 240;

// The window's drawable size as it really is: from the X server for an X11
// window (SDL reports the size it asked for, also when no window manager
// carried out a fullscreen request), else from SDL.
void readWindowSize() {
    x11::Geometry g;
    state.onX11 = x11::windowGeometry(state.window, &g);
    if (state.onX11) {
        state.windowWidth = g.width;
        state.windowHeight = g.height;
    } else {
        SDL_GL_GetDrawableSize(state.window, &state.windowWidth, &state.windowHeight);
    }
}

template <typename T> bool lookUp(T* fn, const char* name) {
    *fn = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *fn != nullptr;
}

bool loadFboApi(FboApi* a) {
    return lookUp(&a->genFramebuffers, "glGenFramebuffers") &&
           lookUp(&a->deleteFramebuffers, "glDeleteFramebuffers") &&
           lookUp(&a->bindFramebuffer, "glBindFramebuffer") &&
           lookUp(&a->framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           lookUp(&a->checkFramebufferStatus, "glCheckFramebufferStatus") &&
           lookUp(&a->genRenderbuffers, "glGenRenderbuffers") &&
           lookUp(&a->deleteRenderbuffers, "glDeleteRenderbuffers") &&
           lookUp(&a->bindRenderbuffer, "glBindRenderbuffer") &&
           lookUp(&a->renderbufferStorage, "glRenderbufferStorage") &&
           lookUp(&a->blitFramebuffer, "glBlitFramebuffer");
}

// A framebuffer of `width` x `height` with its two renderbuffers, bound for
// drawing and reading; false (and nothing left made) if it is incomplete.
bool makeFrameBuffer(int width, int height, GLuint* fbo, GLuint* colour, GLuint* depth) {
    FboApi& gl = state.gl;
    gl.genRenderbuffers(1, colour);
    gl.bindRenderbuffer(GL_RENDERBUFFER, *colour);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    gl.genRenderbuffers(1, depth);
    gl.bindRenderbuffer(GL_RENDERBUFFER, *depth);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.genFramebuffers(1, fbo);
    gl.bindFramebuffer(GL_FRAMEBUFFER, *fbo);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *colour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, *depth);
    if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
        gl.deleteFramebuffers(1, fbo);
        gl.deleteRenderbuffers(1, colour);
        gl.deleteRenderbuffers(1, depth);
        *fbo = *colour = *depth = 0;
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return true;
}

// The largest frame this OpenGL renders: a renderbuffer, a texture (the
// frame's regions are copied into textures) and a viewport must all hold it.
void readLimits() {
    GLint texture = 0, renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    state.maxWidth = std::min({texture, renderbuffer, viewport[0]});
    state.maxHeight = std::min({texture, renderbuffer, viewport[1]});
}

// Chooses the frame's size and makes it; the status says what went wrong.
DisplayStatus openFrame(const DisplayOptions& options, std::string* error) {
    if (!loadFboApi(&state.gl)) {
        *error = "OpenGL has no framebuffer objects";
        return DisplayStatus::Failed;
    }
    readLimits();
    // Mesa's software rasteriser, asked to present a frame it is still
    // drawing, now and then stalls for 100 to 400 ms (the cloud-square tunnel
    // did several times a run); with the frame finished first it never did.
    const bool software = softwareRenderer(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    state.finishFirst = software;
    int width = kDefaultFrameWidth, height = kDefaultFrameHeight;
    if (options.width > 0 && options.height > 0) {
        width = options.width;
        height = options.height;
        if (width > state.maxWidth || height > state.maxHeight) {
            *error = "a " + std::to_string(width) + " x " + std::to_string(height) +
                     " frame is larger than this OpenGL renders (at most " + std::to_string(state.maxWidth) +
                     " x " + std::to_string(state.maxHeight) + ")";
            return DisplayStatus::SizeRefused;
        }
    } else if (!options.headless && (!software || options.followWindow)) {
        state.followWindow = true;
        width = std::clamp(state.windowWidth, 4, state.maxWidth);
        height = std::clamp(state.windowHeight, 3, state.maxHeight);
    }
    if (!makeFrameBuffer(width, height, &state.fbo, &state.colour, &state.depth)) {
        *error = "the " + std::to_string(width) + " x " + std::to_string(height) +
                 " offscreen framebuffer is incomplete";
        return DisplayStatus::Failed;
    }
    state.width = width;
    state.height = height;
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return DisplayStatus::Open;
}

const char* glErrorName(GLenum error) {
    switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "an unknown GL error";
    }
}

void APIENTRY printDebugMessage(GLenum, GLenum type, GLuint id, GLenum severity, GLsizei, const GLchar* message,
                                const void*) {
    const char* kind = type == GL_DEBUG_TYPE_ERROR ? "error" : "message";
    const char* level = severity == GL_DEBUG_SEVERITY_HIGH     ? "high"
                        : severity == GL_DEBUG_SEVERITY_MEDIUM ? "medium"
                        : severity == GL_DEBUG_SEVERITY_LOW    ? "low"
                                                               : "notification";
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": GL debug %s (%s, id %u): %s\n", kind, level, id, printable(message).c_str());
}

// Turns on synchronous debug output where the context offers KHR_debug (each
// message printed from inside the call that caused it), or else glGetError
// after each frame; says which on stderr.
void startGlDebug() {
    auto callback = reinterpret_cast<PFNGLDEBUGMESSAGECALLBACKPROC>(SDL_GL_GetProcAddress("glDebugMessageCallback"));
    if (SDL_GL_ExtensionSupported("GL_KHR_debug") && callback) {
        callback(printDebugMessage, nullptr);
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": GL debug output on (KHR_debug, synchronous): %s\n",
                     reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        return;
    }
    state.checkErrors = true;
    std::fprintf(stderr, DEMO_PROGRAM_NAME ": this OpenGL has no KHR_debug; falling back to glGetError after each frame\n");
}

} // namespace

void reportGlErrors() {
    if (!state.checkErrors) return;
    for (GLenum error; (error = glGetError()) != GL_NO_ERROR;)
        std::fprintf(stderr, DEMO_PROGRAM_NAME ": GL error %s (0x%04x) in the frame\n", glErrorName(error), error);
}

DisplayStatus openDisplay(const DisplayOptions& options, std::string* error) {
    if (state.window) return DisplayStatus::Open;
    chooseRasteriserThreads();
    keepFreedMemory();
    if (options.headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    // Without a Wayland session go straight to X11 (probing Wayland prints noise).
    else if (!SDL_getenv("SDL_VIDEODRIVER") && !SDL_getenv("WAYLAND_DISPLAY"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = std::string("cannot open a display: ") + SDL_GetError();
        return DisplayStatus::NoScreen;
    }
    // With no screen SDL falls back to its offscreen driver by itself; a live
    // run wants a real screen unless that driver was asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
    if (!options.headless && driver && !hasScreen() && !(wanted && std::strcmp(wanted, driver) == 0)) {
        *error = "cannot open a display: no screen found (is DISPLAY set?)";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return DisplayStatus::NoScreen;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, options.glDebug ? SDL_GL_CONTEXT_DEBUG_FLAG : 0);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    if (options.headless) flags |= SDL_WINDOW_HIDDEN;
    else if (!options.windowed) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    // Fullscreen is made at the desktop's size from the start, so that the
    // window covers the screen even where no window manager honours the
    // fullscreen request.
    if (options.windowWidth > 0 && options.windowHeight > 0) {
        state.windowedWidth = options.windowWidth;
        state.windowedHeight = options.windowHeight;
    }
    int width = state.windowedWidth, height = state.windowedHeight;
    SDL_DisplayMode desktop;
    if ((flags & SDL_WINDOW_FULLSCREEN_DESKTOP) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        width = desktop.w;
        height = desktop.h;
    }
    state.window = SDL_CreateWindow(DEMO_DISPLAY_NAME, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!state.window) {
        *error = std::string("cannot create the window: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return DisplayStatus::Failed;
    }
    state.context = SDL_GL_CreateContext(state.window);
    if (!state.context) {
        *error = std::string("cannot create an OpenGL context: ") + SDL_GetError();
        closeDisplay();
        return DisplayStatus::Failed;
    }
    state.headless = options.headless;
    // Never above the window's first size (--window 200x150 stays so).
    SDL_SetWindowMinimumSize(state.window, std::min(kMinWindowWidth, state.windowedWidth),
                             std::min(kMinWindowHeight, state.windowedHeight));
    readWindowSize();
    state.windowedBefore = !(flags & SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (options.glDebug) startGlDebug();
    // The frame's size is checked against the context's limits before
    // anything is drawn.
    if (const DisplayStatus status = openFrame(options, error); status != DisplayStatus::Open) {
        closeDisplay();
        return status;
    }
    arb::loadEntryPoints();
    if (!options.headless) {
        SDL_ShowCursor(SDL_DISABLE);
        SDL_GL_SetSwapInterval(1);
        SDL_RaiseWindow(state.window);
    }
    return DisplayStatus::Open;
}

void closeDisplay() {
    if (state.context) {
        if (state.fbo) {
            state.gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
            state.gl.deleteFramebuffers(1, &state.fbo);
            state.gl.deleteRenderbuffers(1, &state.colour);
            state.gl.deleteRenderbuffers(1, &state.depth);
        }
        SDL_GL_MakeCurrent(state.window, nullptr);
        SDL_GL_DeleteContext(state.context);
    }
    if (state.window) {
        SDL_DestroyWindow(state.window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    state = DisplayState{};
}

bool displayOpen() { return state.context != nullptr; }

bool hasScreen() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

Presentation presentation() {
    Presentation p;
    if (!state.window) return p;
    p.windowWidth = state.windowWidth;
    p.windowHeight = state.windowHeight;
    // GL counts rows from the bottom; the presentation's rectangle from the top.
    const Rect to = fitPicture(p.windowWidth, p.windowHeight);
    p.picture = {to.x, p.windowHeight - to.y - to.height, to.width, to.height};
    return p;
}

Rect fitPicture(int width, int height) {
    int w = width, h = width * kDesignHeight / kDesignWidth;
    if (h > height) {
        h = height;
        w = height * kDesignWidth / kDesignHeight;
    }
    return {(width - w) / 2, (height - h) / 2, w, h};
}

bool softwareRenderer(const char* renderer) {
    return renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
}

int frameWidth() { return state.width; }

int frameHeight() { return state.height; }

Rect pictureRect() {
    const Rect place = fitPicture(state.width, state.height);
    if (state.renderScale >= 1) return place;
    return {place.x, place.y, std::max(1, static_cast<int>(std::lround(place.width * state.renderScale))),
            std::max(1, static_cast<int>(std::lround(place.height * state.renderScale)))};
}

void setRenderScale(double scale) { state.renderScale = scale > 0 ? std::min(scale, 1.0) : 1.0; }

double renderScale() { return state.renderScale; }

void finishFrame() {
    if (state.finishFirst) glFinish();
}

double refreshIntervalMs() {
    SDL_DisplayMode mode;
    const int display = state.window ? SDL_GetWindowDisplayIndex(state.window) : -1;
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return 1000.0 / mode.refresh_rate;
    return 1000.0 / 60;
}

bool resizeFrame(int width, int height) {
    if (!state.fbo || (width == state.width && height == state.height)) return state.fbo != 0;
    if (width < 1 || height < 1 || width > state.maxWidth || height > state.maxHeight) return false;
    GLuint fbo = 0, colour = 0, depth = 0;
    if (!makeFrameBuffer(width, height, &fbo, &colour, &depth)) {
        state.gl.bindFramebuffer(GL_FRAMEBUFFER, state.fbo);
        return false;
    }
    // The picture so far, scaled into the new frame's picture; bars black.
    const Rect from = pictureRect(), to = fitPicture(width, height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    state.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.fbo);
    state.gl.blitFramebuffer(from.x, from.y, from.x + from.width, from.y + from.height, to.x, to.y,
                             to.x + to.width, to.y + to.height, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    state.gl.deleteFramebuffers(1, &state.fbo);
    state.gl.deleteRenderbuffers(1, &state.colour);
    state.gl.deleteRenderbuffers(1, &state.depth);
    state.fbo = fbo;
    state.colour = colour;
    state.depth = depth;
    state.width = width;
    state.height = height;
    state.renderScale = 1; // the picture carried over fills its place
    state.gl.bindFramebuffer(GL_FRAMEBUFFER, fbo);
    return true;
}

Rect placePicture() {
    const Rect picture = pictureRect();
    glViewport(picture.x, picture.y, picture.width, picture.height);
    return picture;
}

void clearBars() {
    const Rect p = pictureRect();
    if ((p.width == state.width && p.height == state.height) || glIsEnabled(GL_SCISSOR_TEST)) return;
    // Left and right of a wide frame's picture, below and above a tall one's.
    const Rect bars[4] = {{0, 0, p.x, state.height},
                          {p.x + p.width, 0, state.width - p.x - p.width, state.height},
                          {0, 0, state.width, p.y},
                          {0, p.y + p.height, state.width, state.height - p.y - p.height}};
    // Every scene sets its clear colour before it clears, but the bars leave
    // the one it set as they found it.
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glClearColor(0, 0, 0, 1);
    glEnable(GL_SCISSOR_TEST);
    for (const Rect& b : bars) {
        if (b.width <= 0 || b.height <= 0) continue;
        glScissor(b.x, b.y, b.width, b.height);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
}

void present() {
    if (!state.context) return;
    reportGlErrors();
    if (!state.headless) {
        finishFrame(); // nothing left to finish when the live frame did already
        const Presentation where = presentation();
        // The picture into the largest 4:3 rectangle of the window, centred;
        // the rest stays black. A frame that follows the window is copied 1:1;
        // a picture drawn at a render scale below 1 is scaled up with the rest.
        const Rect from = pictureRect(), to = fitPicture(where.windowWidth, where.windowHeight);
        state.gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        state.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.fbo);
        glDrawBuffer(GL_BACK);
        // The scissor box or mask a scene leaves behind must not clip the letterbox clear.
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        // The bars black; a picture that fills the window leaves none (the
        // clear cost a software rasteriser 0.3 ms a frame).
        glClearColor(0, 0, 0, 1);
        if (to.width < where.windowWidth || to.height < where.windowHeight)
            glClear(GL_COLOR_BUFFER_BIT);
        const bool oneToOne = to.width == from.width && to.height == from.height;
        state.gl.blitFramebuffer(from.x, from.y, from.x + from.width, from.y + from.height, to.x, to.y,
                                 to.x + to.width, to.y + to.height, GL_COLOR_BUFFER_BIT,
                                 oneToOne ? GL_NEAREST : GL_LINEAR);
        if (state.overlay) {
            state.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
            state.overlay(where, state.overlayUser);
        }
        SDL_GL_SwapWindow(state.window);
        state.gl.bindFramebuffer(GL_FRAMEBUFFER, state.fbo);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
    }
}

void setOverlay(Overlay draw, void* user) {
    state.overlay = draw;
    state.overlayUser = user;
}

void showPointer(bool shown) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void readFrame(unsigned char* rgb) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, state.width, state.height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    // GL's rows run bottom-up; flip so the first row is the top of the picture.
    const size_t stride = static_cast<size_t>(state.width) * 3;
    for (int y = 0; y < state.height / 2; ++y) {
        unsigned char* a = rgb + y * stride;
        std::swap_ranges(a, a + stride, rgb + (state.height - 1 - y) * stride);
    }
}

unsigned frameBufferObject() { return state.fbo; }

void* glProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

namespace {

Event keyEvent(const SDL_KeyboardEvent& key) {
    // Ctrl with + (or =, or keypad +) and - (or keypad -): the audio delay.
    if (key.keysym.mod & KMOD_CTRL) {
        const SDL_Keycode k = key.keysym.sym;
        if (k == SDLK_PLUS || k == SDLK_EQUALS || k == SDLK_KP_PLUS) return Event::SoundLater;
        if (k == SDLK_MINUS || k == SDLK_KP_MINUS) return Event::SoundEarlier;
    }
    Event::Kind kind = Event::OtherKey;
    switch (key.keysym.sym) {
    case SDLK_ESCAPE:
    case SDLK_q: kind = Event::Escape; break;
    case SDLK_SPACE: kind = Event::Space; break;
    case SDLK_LEFT: kind = Event::Left; break;
    case SDLK_RIGHT: kind = Event::Right; break;
    case SDLK_PAGEUP:
    case SDLK_UP: kind = Event::Previous; break;
    case SDLK_PAGEDOWN:
    case SDLK_DOWN: kind = Event::Next; break;
    case SDLK_HOME: kind = Event::Home; break;
    case SDLK_o: kind = Event::ToggleOsd; break;
    case SDLK_i: kind = Event::ToggleInfo; break;
    case SDLK_f:
    case SDLK_F11: kind = Event::ToggleFullscreen; break;
    case SDLK_m: kind = Event::ToggleMute; break;
    case SDLK_9: kind = Event::VolumeDown; break;
    case SDLK_0: kind = Event::VolumeUp; break;
    case SDLK_l: kind = Event::ToggleLoop; break;
    case SDLK_s: kind = Event::SavePicture; break;
    case SDLK_PERIOD: kind = Event::StepForward; break;
    case SDLK_COMMA: kind = Event::StepBack; break;
    case SDLK_F1:
    case SDLK_QUESTION: kind = Event::KeyHelp; break;
    case SDLK_SLASH:
        if (key.keysym.mod & KMOD_SHIFT) kind = Event::KeyHelp;
        break;
    default: break;
    }
    // A toggle held down would flip back and forth with the key's repeat (and
    // a held s write a file a frame).
    const bool toggle = kind == Event::ToggleFullscreen || kind == Event::ToggleMute ||
                        kind == Event::ToggleLoop || kind == Event::KeyHelp || kind == Event::SavePicture;
    return key.repeat && toggle ? Event(Event::Other) : Event(kind);
}

// The window's size has changed, or may have: the presentation takes the
// size the window really has, and a frame that follows the window takes it
// too (a minimised window keeps the frame it had).
void windowResized() {
    readWindowSize();
    if (!state.followWindow) return;
    const int w = state.windowWidth, h = state.windowHeight;
    if (w >= 4 && h >= 3) resizeFrame(std::min(w, state.maxWidth), std::min(h, state.maxHeight));
}

// The pointer's position in drawable pixels (SDL gives window points; they
// differ only on a high-density screen).
Event pointerEvent(Event::Kind kind, int x, int y) {
    int w = 0, h = 0;
    SDL_GetWindowSize(state.window, &w, &h);
    const int pw = state.windowWidth, ph = state.windowHeight;
    // X11 has no high-density scaling: its pointer is in the window's pixels
    // (which SDL's window size may not be yet after a change).
    if (!state.onX11 && w > 0 && h > 0 && (w != pw || h != ph)) {
        x = static_cast<int>(static_cast<long>(x) * pw / w);
        y = static_cast<int>(static_cast<long>(y) * ph / h);
    }
    return Event(kind, x, y);
}

} // namespace

void setFullscreen(bool on) {
    if (!state.window || on == fullscreen()) return;
    // Where no window manager runs, nobody acts on SDL's request (the window
    // would keep its size while SDL reports the desktop's): the window is
    // placed by hand, over the whole display and back where it was.
    const bool byHand = state.onX11 && !x11::windowManagerRuns(state.window);
    SDL_Rect bounds{0, 0, 0, 0};
    SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(state.window), 0), &bounds);
    if (on && byHand) x11::windowGeometry(state.window, &state.windowed);
    SDL_SetWindowFullscreen(state.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!on && !state.windowedBefore) {
        // Started fullscreen, the window's own size is the desktop's: a
        // window of its first size instead (the design's), centred.
        SDL_SetWindowSize(state.window, state.windowedWidth, state.windowedHeight);
        SDL_SetWindowPosition(state.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        state.windowed = {bounds.x + (bounds.w - state.windowedWidth) / 2,
                          bounds.y + (bounds.h - state.windowedHeight) / 2, state.windowedWidth,
                          state.windowedHeight};
    }
    if (byHand) x11::placeWindow(state.window, on ? x11::Geometry{bounds.x, bounds.y, bounds.w, bounds.h} : state.windowed);
    state.windowedBefore = true;
    windowResized();
}

bool fullscreen() {
    return state.window && (SDL_GetWindowFlags(state.window) & SDL_WINDOW_FULLSCREEN) != 0;
}

void setWindowTitle(const char* title) {
    if (state.window) SDL_SetWindowTitle(state.window, title);
}

void sleepMs(unsigned ms) { SDL_Delay(ms); }

bool pollEvent(Event* event) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    SDL_Event e;
    if (!SDL_PollEvent(&e)) return false;
    switch (e.type) {
    case SDL_KEYDOWN: *event = keyEvent(e.key); break;
    case SDL_KEYUP: *event = Event::KeyUp; break;
    case SDL_QUIT: *event = Event::Quit; break;
    case SDL_WINDOWEVENT:
        *event = e.window.event == SDL_WINDOWEVENT_CLOSE ? Event::Quit : Event::Other;
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_RESIZED)
            windowResized();
        break;
    case SDL_MOUSEBUTTONDOWN:
        *event = e.button.button == SDL_BUTTON_LEFT ? pointerEvent(Event::Click, e.button.x, e.button.y)
                                                    : Event(Event::Other);
        break;
    case SDL_MOUSEBUTTONUP:
        *event = e.button.button == SDL_BUTTON_LEFT ? pointerEvent(Event::Release, e.button.x, e.button.y)
                                                    : Event(Event::Other);
        break;
    case SDL_MOUSEMOTION: *event = pointerEvent(Event::PointerMoved, e.motion.x, e.motion.y); break;
    default: *event = Event::Other; break;
    }
    return true;
}

// ---- a framebuffer for measurements ------------------------------------------------

bool ScratchFramebuffer::open(int width, int height) {
    close();
    if (!state.fbo) return false;
    const bool made = makeFrameBuffer(width, height, &fbo_, &colour_, &depth_);
    unbind();
    return made;
}

void ScratchFramebuffer::bind() {
    state.gl.bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
}

void ScratchFramebuffer::unbind() {
    state.gl.bindFramebuffer(GL_FRAMEBUFFER, state.fbo);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void ScratchFramebuffer::close() {
    if (!state.fbo) return; // the context is gone, and its objects with it
    if (fbo_) state.gl.deleteFramebuffers(1, &fbo_);
    if (colour_) state.gl.deleteRenderbuffers(1, &colour_);
    if (depth_) state.gl.deleteRenderbuffers(1, &depth_);
    fbo_ = colour_ = depth_ = 0;
}

} // namespace platform
