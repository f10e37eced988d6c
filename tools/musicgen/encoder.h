// MP3 encoding of the finished stereo mix with libmp3lame: 44.1 kHz,
// constant 192 kbit/s, every encoder setting fixed so the bytes depend only
// on the samples (no ID3 tag, hence no date).
#pragma once

#include <functional>
#include <string>

#include "dsp.h"

namespace musicgen {

// Writes the MP3 to `path` (through a temporary file renamed at the end, so an
// interrupted run leaves no half file behind). Returns false with a message
// in `error` on failure.
bool encodeMp3(const Stereo& pcm, const std::string& path, const std::function<void(float)>& progress,
               std::string& error);

}  // namespace musicgen
