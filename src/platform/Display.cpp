// SDL2 window, OpenGL context and the offscreen 1024 x 768 framebuffer that
// stands in for the back buffer. Fullscreen uses the desktop's resolution
// (no mode change, so nothing needs restoring if the process dies); the
// picture is scaled to fit and letterboxed when it is presented.
#include "platform/GLExt.h"
#include "platform/Platform.h"

#include <SDL2/SDL.h>

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
};
DisplayState state;

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

bool makeFrameBuffer(std::string* error) {
    FboApi& gl = state.gl;
    if (!loadFboApi(&gl)) {
        *error = "OpenGL has no framebuffer objects";
        return false;
    }
    gl.genRenderbuffers(1, &state.colour);
    gl.bindRenderbuffer(GL_RENDERBUFFER, state.colour);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGB8, kFrameWidth, kFrameHeight);
    gl.genRenderbuffers(1, &state.depth);
    gl.bindRenderbuffer(GL_RENDERBUFFER, state.depth);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kFrameWidth, kFrameHeight);
    gl.genFramebuffers(1, &state.fbo);
    gl.bindFramebuffer(GL_FRAMEBUFFER, state.fbo);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, state.colour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, state.depth);
    if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        *error = "the 1024 x 768 offscreen framebuffer is incomplete";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, kFrameWidth, kFrameHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}

} // namespace

bool openDisplay(const DisplayOptions& options, std::string* error) {
    if (state.window) return true;
    chooseRasteriserThreads();
    if (options.headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    // Without a Wayland session go straight to X11 (probing Wayland prints noise).
    else if (!SDL_getenv("SDL_VIDEODRIVER") && !SDL_getenv("WAYLAND_DISPLAY"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = std::string("cannot open a display: ") + SDL_GetError();
        return false;
    }
    // With no screen SDL falls back to its offscreen driver by itself; a live
    // run wants a real screen unless that driver was asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
    if (!options.headless && driver && !hasScreen() && !(wanted && std::strcmp(wanted, driver) == 0)) {
        *error = "cannot open a display: no screen found (is DISPLAY set?)";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    Uint32 flags = SDL_WINDOW_OPENGL;
    if (options.headless) flags |= SDL_WINDOW_HIDDEN;
    else if (!options.windowed) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    // Fullscreen is made at the desktop's size from the start, so that the
    // window covers the screen even where no window manager honours the
    // fullscreen request.
    int width = kFrameWidth, height = kFrameHeight;
    SDL_DisplayMode desktop;
    if ((flags & SDL_WINDOW_FULLSCREEN_DESKTOP) && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        width = desktop.w;
        height = desktop.h;
    }
    state.window = SDL_CreateWindow("Demo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!state.window) {
        *error = std::string("cannot create the window: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    state.context = SDL_GL_CreateContext(state.window);
    if (!state.context) {
        *error = std::string("cannot create an OpenGL context: ") + SDL_GetError();
        closeDisplay();
        return false;
    }
    state.headless = options.headless;
    if (!makeFrameBuffer(error)) {
        closeDisplay();
        return false;
    }
    arb::loadEntryPoints();
    if (!options.headless) {
        SDL_ShowCursor(SDL_DISABLE);
        SDL_GL_SetSwapInterval(1);
        SDL_RaiseWindow(state.window);
    }
    return true;
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

void present() {
    if (!state.context) return;
    if (!state.headless) {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(state.window, &w, &h);
        // Largest 4:3 rectangle that fits, centred; the rest stays black.
        int outW = w, outH = w * kFrameHeight / kFrameWidth;
        if (outH > h) {
            outH = h;
            outW = h * kFrameWidth / kFrameHeight;
        }
        const int x0 = (w - outW) / 2, y0 = (h - outH) / 2;
        state.gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        state.gl.bindFramebuffer(GL_READ_FRAMEBUFFER, state.fbo);
        glDrawBuffer(GL_BACK);
        // The scissor box or mask a scene leaves behind must not clip the letterbox clear.
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        state.gl.blitFramebuffer(0, 0, kFrameWidth, kFrameHeight, x0, y0, x0 + outW, y0 + outH,
                                 GL_COLOR_BUFFER_BIT, outW == kFrameWidth ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(state.window);
        state.gl.bindFramebuffer(GL_FRAMEBUFFER, state.fbo);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
    }
}

void readFrame(unsigned char* rgb) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    // GL's rows run bottom-up; flip so the first row is the top of the picture.
    const int stride = kFrameWidth * 3;
    unsigned char tmp[kFrameWidth * 3];
    for (int y = 0; y < kFrameHeight / 2; ++y) {
        unsigned char* a = rgb + y * stride;
        unsigned char* b = rgb + (kFrameHeight - 1 - y) * stride;
        std::memcpy(tmp, a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, tmp, stride);
    }
}

unsigned frameBufferObject() { return state.fbo; }

void* glProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

namespace {

Event keyEvent(SDL_Keycode key) {
    switch (key) {
    case SDLK_ESCAPE: return Event::Escape;
    case SDLK_SPACE: return Event::Space;
    case SDLK_LEFT: return Event::Left;
    case SDLK_RIGHT: return Event::Right;
    case SDLK_PAGEUP:
    case SDLK_UP: return Event::Previous;
    case SDLK_PAGEDOWN:
    case SDLK_DOWN: return Event::Next;
    case SDLK_HOME: return Event::Home;
    default: return Event::OtherKey;
    }
}

} // namespace

void setWindowTitle(const char* title) {
    if (state.window) SDL_SetWindowTitle(state.window, title);
}

void sleepMs(unsigned ms) { SDL_Delay(ms); }

bool pollEvent(Event* event) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    SDL_Event e;
    if (!SDL_PollEvent(&e)) return false;
    switch (e.type) {
    case SDL_KEYDOWN: *event = keyEvent(e.key.keysym.sym); break;
    case SDL_KEYUP: *event = Event::KeyUp; break;
    case SDL_QUIT: *event = Event::Quit; break;
    case SDL_WINDOWEVENT:
        *event = e.window.event == SDL_WINDOWEVENT_CLOSE ? Event::Quit : Event::Other;
        break;
    default: *event = Event::Other; break;
    }
    return true;
}

} // namespace platform
