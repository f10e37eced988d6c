// Whether the track can carry the demo: live play warns with it, the
// headless modes refuse to render without it.
#pragma once

#include <string>

// "" when the track at `path` is an MP3 that plays up to `untilMs` (at most
// the end of the demo); else one line that names the file and says what is wrong: missing, not a regular file, not an MP3, no audio
// found within the bounded look of TrackReader::open, or how much music it
// holds. Never reads more than that bounded look.
std::string trackShortfall(const char* path, double untilMs);
