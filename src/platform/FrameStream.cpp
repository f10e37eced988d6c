// Asynchronous readback through pixel buffer objects and the encoder's
// writer thread (see FrameStream.h).
#include "platform/FrameStream.h"

#include "platform/Output.h"
#include "platform/Platform.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <cstring>
#include <new>

namespace platform {
namespace {

// Buffer-object entry points, looked up once (core since GL 1.5).
struct ObjectApi {
    PFNGLGENBUFFERSPROC genBuffers = nullptr;
    PFNGLDELETEBUFFERSPROC deleteBuffers = nullptr;
    PFNGLBINDBUFFERPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAPROC bufferData = nullptr;
    PFNGLMAPBUFFERPROC mapBuffer = nullptr;
    PFNGLUNMAPBUFFERPROC unmapBuffer = nullptr;
};

template <typename T> bool lookUp(T* fn, const char* name) {
    *fn = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *fn != nullptr;
}

ObjectApi gl;
bool loaded = false;

bool loadObjectApi() {
    if (!loaded)
        loaded = lookUp(&gl.genBuffers, "glGenBuffers") && lookUp(&gl.deleteBuffers, "glDeleteBuffers") &&
                 lookUp(&gl.bindBuffer, "glBindBuffer") && lookUp(&gl.bufferData, "glBufferData") &&
                 lookUp(&gl.mapBuffer, "glMapBuffer") && lookUp(&gl.unmapBuffer, "glUnmapBuffer");
    return loaded;
}

} // namespace

bool FrameReadback::start(int width, int height) {
    stop();
    if (!loadObjectApi())
        return false;
    width_ = width;
    height_ = height;
    gl.genBuffers(2, buffers_);
    for (unsigned b : buffers_) {
        gl.bindBuffer(GL_PIXEL_PACK_BUFFER, b);
        gl.bufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(width) * height * 3, nullptr,
                      GL_STREAM_READ);
    }
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    requested_ = collected_ = 0;
    return true;
}

void FrameReadback::request() {
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[requested_ % 2]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // Into the buffer object: the offset 0 stands for the pointer.
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++requested_;
}

bool FrameReadback::collect(unsigned char* rgb) {
    if (collected_ == requested_)
        return false;
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[collected_ % 2]);
    const auto* pixels = static_cast<const unsigned char*>(gl.mapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
    const size_t stride = static_cast<size_t>(width_) * 3;
    // GL's rows run bottom-up; the picture's first row is its top.
    if (pixels)
        for (int y = 0; y < height_; ++y)
            std::memcpy(rgb + y * stride, pixels + (height_ - 1 - y) * stride, stride);
    else
        std::memset(rgb, 0, stride * height_);
    gl.unmapBuffer(GL_PIXEL_PACK_BUFFER);
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++collected_;
    return true;
}

void FrameReadback::stop() {
    if (buffers_[0] != 0)
        gl.deleteBuffers(2, buffers_);
    buffers_[0] = buffers_[1] = 0;
    requested_ = collected_ = 0;
}

FrameWriter::FrameWriter(PipedProcess& out, size_t frameBytes, int slots) : out_(out), frameBytes_(frameBytes) {
    for (int i = 0; i < slots; ++i) {
        slots_.emplace_back(new (std::nothrow) unsigned char[frameBytes ? frameBytes : 1]);
        if (!slots_.back()) {
            slots_.clear(); // released now, not when the capture ends
            failed_ = true; // next() gives nothing, finish() says so
            return;
        }
    }
    thread_ = std::thread(&FrameWriter::run, this);
}

unsigned char* FrameWriter::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    // The slot after the queued ones must have been written.
    changed_.wait(lock, [this] { return failed_ || queued_ - written_ < static_cast<long>(slots_.size()); });
    if (failed_)
        return nullptr;
    return slots_[static_cast<size_t>(queued_) % slots_.size()].get();
}

void FrameWriter::submit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++queued_;
    }
    changed_.notify_all();
}

bool FrameWriter::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    return !failed_;
}

void FrameWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || queued_ > written_; });
        if (queued_ == written_ || failed_)
            return; // closing with nothing left
        const unsigned char* frame = slots_[static_cast<size_t>(written_) % slots_.size()].get();
        lock.unlock();
        const bool ok = out_.write(frame, frameBytes_);
        lock.lock();
        if (!ok)
            failed_ = true;
        else
            ++written_;
        changed_.notify_all();
        if (failed_)
            return;
    }
}

} // namespace platform
