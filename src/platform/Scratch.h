// A framebuffer of its own for measurements that must leave the picture
// alone: drawing goes there between bind() and unbind(), and the picture's
// framebuffer is the target again afterwards. Made in FrameStream.cpp, with
// the other GL objects of the headless tools.
#pragma once

namespace platform {

class ScratchFramebuffer {
  public:
    ScratchFramebuffer() = default;
    ~ScratchFramebuffer() { close(); }
    ScratchFramebuffer(const ScratchFramebuffer&) = delete;
    ScratchFramebuffer& operator=(const ScratchFramebuffer&) = delete;

    // An RGB8 colour buffer of width x height pixels, no depth. False if the
    // GL could not make it.
    bool open(int width, int height);
    void bind();
    // Back to the picture's framebuffer (draw and read).
    void unbind();
    void close();

  private:
    unsigned fbo_ = 0, colour_ = 0;
};

} // namespace platform
