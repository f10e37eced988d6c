// Whether the track can carry the demo: see TrackCheck.h.
#include "app/TrackCheck.h"

#include "app/Timeline.h"
#include "platform/Files.h"
#include "platform/Platform.h"
#include "platform/TrackReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string trackShortfall(const char* path, double untilMs) {
    const std::string file = std::string("File ") + path;
    platform::DataFile track;
    switch (const platform::FileFault fault = track.open(path)) {
    case platform::FileFault::None: break;
    case platform::FileFault::Missing: return file + " not found!";
    default: return file + " cannot be read: " + platform::faultText(fault, track.kind()) + "!";
    }
    // An MP3 starts with an ID3 tag or an MPEG frame's sync bits. mpg123
    // searches any file for frames, and finds some in noise or PCM data.
    unsigned char head[4] = {};
    const int64_t got = track.readAt(head, sizeof head, 0);
    const size_t n = got > 0 ? static_cast<size_t>(got) : 0;
    track.close();
    const bool tagged = n >= 3 && std::memcmp(head, "ID3", 3) == 0;
    const bool framed = n >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (!tagged && !framed) {
        std::string kind = "no MPEG audio frame at its start";
        for (const char* other : {"RIFF", "fLaC", "OggS", "FORM"})
            if (n == 4 && std::memcmp(head, other, 4) == 0) kind = std::string("it holds ") + other + " data";
        return file + " is not an MP3 (" + kind + ")";
    }
    platform::TrackReader reader;
    std::string error;
    if (!reader.open(path, &error)) return error;
    const int64_t frames = reader.lengthFrames();
    const double ms = frames > 0 ? frames * 1000.0 / reader.rate() : 0.0;
    if (ms + 0.5 < std::min<double>(untilMs, kDemoEndMs)) {
        char text[64];
        std::snprintf(text, sizeof text, " holds %.1f s of music, short of the %.1f s needed", ms / 1000.0,
                      std::min<double>(untilMs, kDemoEndMs) / 1000.0);
        return file + text;
    }
    return "";
}

