// Frames on their way from the renderer to the video encoder, without
// stalling the renderer: FrameReadback copies a finished frame out of GL
// through two pixel buffer objects (frame n is collected while frame n + 1
// renders), and FrameWriter hands full frames to a thread of its own that
// writes them into the encoder's pipe while rendering goes on. Both keep
// their memory from start to end: nothing is allocated per frame.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class PipedProcess;

// Reads the current framebuffer back asynchronously. One GL context, the
// thread that renders.
class FrameReadback {
  public:
    FrameReadback() = default;
    ~FrameReadback() { stop(); }
    FrameReadback(const FrameReadback&) = delete;
    FrameReadback& operator=(const FrameReadback&) = delete;

    // Makes the two buffers for frames of width x height RGB pixels. False
    // when the GL has no pixel buffer objects.
    bool start(int width, int height);
    // Starts the copy of the frame just drawn; the renderer goes on at once.
    // Up to two copies may be under way.
    void request();
    // The oldest copy under way, waited for and written as width x height x 3
    // bytes of RGB, first row at the top. False if no copy was under way.
    bool collect(unsigned char* rgb);
    // Releases the buffers (copies under way are dropped).
    void stop();

  private:
    int width_ = 0, height_ = 0;
    unsigned buffers_[2] = {0, 0};
    long requested_ = 0, collected_ = 0; // copies started and collected
};

// Writes frames of a fixed size into a piped process from a thread of its
// own, through a ring of `slots` frame buffers. The buffers follow from the
// frame size the user gave: when they cannot all be had, ready() is false and
// nothing runs (no exception).
class FrameWriter {
  public:
    FrameWriter(PipedProcess& out, size_t frameBytes, int slots = 3);
    // The buffers were allocated and the thread runs.
    bool ready() const { return thread_.joinable(); }
    ~FrameWriter() { finish(); }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // The next buffer to fill, once the writer has written what it held;
    // nullptr when a write has failed (the process stopped reading).
    unsigned char* next();
    // The buffer from next() is full: queue it for writing.
    void submit();
    // Writes what is queued and ends the thread. True if every frame was
    // written whole.
    bool finish();

  private:
    void run();

    PipedProcess& out_;
    size_t frameBytes_;
    std::vector<std::unique_ptr<unsigned char[]>> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    long queued_ = 0, written_ = 0; // frames submitted, frames written
    bool closing_ = false, failed_ = false;
    std::thread thread_;
};

} // namespace platform
