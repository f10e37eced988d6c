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

    // RGB8 colour and 24-bit depth of width x height pixels, as the frame
    // has. False if the GL could not make it.
    bool open(int width, int height);
    void bind();
    // Back to the picture's framebuffer (draw and read).
    void unbind();
    void close();

  private:
    unsigned fbo_ = 0, colour_ = 0, depth_ = 0;
};

} // namespace platform
