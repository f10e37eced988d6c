// Command-line parsing, in one place.
#include "app/Options.h"

#include <cstring>

const char* usageText() {
    return "Usage: demo [options]\n"
           "Plays the demo fullscreen; Escape quits.\n"
           "  --window    play in a 1024 x 768 window\n"
           "  --silent    play without the music track (silent clock)\n"
           "  --help      show this text\n";
}

ParseResult parseOptions(int argc, char** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) return ParseResult::Help;
        if (std::strcmp(a, "--window") == 0) {
            options->windowed = true;
        } else if (std::strcmp(a, "--silent") == 0) {
            options->silent = true;
        } else {
            *error = std::string("unknown option '") + a + "'";
            return ParseResult::Error;
        }
    }
    return ParseResult::Run;
}
