// Command-line options. None is needed to play the demo.
#pragma once

#include <string>

struct Options {
    bool windowed = false; // --window: a 1024 x 768 window instead of fullscreen
    bool silent = false;   // --silent: no track at all
};

enum class ParseResult { Run, Help, Error };

// Parses argv into *options; on Error, *error says what was wrong.
ParseResult parseOptions(int argc, char** argv, Options* options, std::string* error);
const char* usageText();
