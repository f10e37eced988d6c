// musicgen: composes the demo's soundtrack and writes it as an MP3.
//   musicgen OUTPUT.mp3 [--seconds N] [--quiet]
// --seconds renders only the first N seconds (a quick determinism check);
// --quiet turns off the progress bar on stderr. Relies on song.h for the
// music and encoder.h (libmp3lame) for the file. No clock, no randomness
// beyond fixed seeds: every run writes the same bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <unistd.h>

#include "encoder.h"
#include "song.h"

namespace {

// A one-line progress bar, redrawn only when the shown percentage changes;
// in a log (stderr not a terminal) a plain line per stage and tenth instead.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled), animated_(isatty(fileno(stderr)) == 1) {}
  void show(const char* stage, float fraction) {
    if (!enabled_) return;
    int pct = static_cast<int>(fraction * 100.0f + 0.5f);
    if (!animated_) {
      if (stage == stage_ && pct / 10 == last_ / 10) return;
      last_ = pct;
      stage_ = stage;
      std::fprintf(stderr, "musicgen: %s %3d%%\n", stage, pct / 10 * 10);
      return;
    }
    if (pct == last_ && stage == stage_) return;
    last_ = pct;
    stage_ = stage;
    const int width = 40;
    int filled = pct * width / 100;
    std::fprintf(stderr, "\rmusicgen [%.*s%*s] %3d%% %-8s", filled, "########################################",
                 width - filled, "", pct, stage);
    std::fflush(stderr);
  }
  void done() {
    if (enabled_ && animated_) std::fprintf(stderr, "\n");
  }

 private:
  bool enabled_;
  bool animated_;
  int last_ = -1;
  const char* stage_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  double seconds = 0;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (argv[i][0] != '-' && out.empty()) {
      out = argv[i];
    } else {
      out.clear();
      break;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: musicgen OUTPUT.mp3 [--seconds N] [--quiet]\n");
    return 2;
  }
#if defined(__SSE__)
  // Decaying filters and reverb tails would otherwise crawl through denormals.
  _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero
#endif

  ProgressBar bar(!quiet);
  // Synthesis and mixing take about half the time, encoding the other half.
  musicgen::Stereo pcm = musicgen::renderSong(seconds, [&](float f) { bar.show("render", 0.5f * f); });
  std::string error;
  bool ok = musicgen::encodeMp3(pcm, out, [&](float f) { bar.show("encode", 0.5f + 0.5f * f); }, error);
  bar.done();
  if (!ok) {
    std::fprintf(stderr, "musicgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
