// The measuring framebuffer (see Scratch.h).
#include "platform/Scratch.h"

#include "platform/Platform.h"

#include <SDL2/SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace platform {
namespace {

struct FboApi {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
};
FboApi gl;

template <typename T> bool lookUp(T* fn, const char* name) {
    *fn = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *fn != nullptr;
}

bool loadFboApi() {
    return lookUp(&gl.genFramebuffers, "glGenFramebuffers") &&
           lookUp(&gl.deleteFramebuffers, "glDeleteFramebuffers") &&
           lookUp(&gl.bindFramebuffer, "glBindFramebuffer") &&
           lookUp(&gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           lookUp(&gl.checkFramebufferStatus, "glCheckFramebufferStatus") &&
           lookUp(&gl.genRenderbuffers, "glGenRenderbuffers") &&
           lookUp(&gl.deleteRenderbuffers, "glDeleteRenderbuffers") &&
           lookUp(&gl.bindRenderbuffer, "glBindRenderbuffer") &&
           lookUp(&gl.renderbufferStorage, "glRenderbufferStorage");
}

} // namespace

bool ScratchFramebuffer::open(int width, int height) {
    close();
    if (!gl.genFramebuffers && !loadFboApi()) return false;
    gl.genRenderbuffers(1, &colour_);
    gl.bindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    gl.genFramebuffers(1, &fbo_);
    gl.bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    const bool complete = gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    unbind();
    if (!complete) close();
    return complete;
}

void ScratchFramebuffer::bind() {
    gl.bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
}

void ScratchFramebuffer::unbind() {
    gl.bindFramebuffer(GL_FRAMEBUFFER, frameBufferObject());
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void ScratchFramebuffer::close() {
    if (fbo_) gl.deleteFramebuffers(1, &fbo_);
    if (colour_) gl.deleteRenderbuffers(1, &colour_);
    fbo_ = colour_ = 0;
}

} // namespace platform
