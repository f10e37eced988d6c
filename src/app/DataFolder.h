// Where the program finds its data (demosong.mp3 and Textures/), wherever it
// was built or installed. The scenes open their files by relative name, so
// the program works from inside that folder.
//
// The places, in this order:
//   1. the working directory, when it holds the data (the build tree's data
//      folder, or any folder a user starts it in);
//   2. `data` beside the executable: the build tree (build/paper-weather, build/data);
//   3. `../share/paper-weather` beside the executable's folder: an installed
//      program (P/bin/paper-weather, P/share/paper-weather) under any prefix P,
//      also one unpacked from the package into any folder (the name is the
//      build's DEMO_PROGRAM_NAME).
// A folder holds the data when it has the track or the first image; a folder
// with neither is passed over, and with no folder found the program starts
// where it is and says which files are missing.
#pragma once

#include <string>

// The folder to work from for an executable in `executableDir` (absolute;
// "" when unknown): "" for the working directory (place 1, or none found),
// else place 2 or 3 as a path built on `executableDir`.
std::string dataFolder(const std::string& executableDir);

// The data folder in use (the working directory, absolute), for messages
// about data files: a stray track in the working directory overrides the
// installed data, and the user must be able to see which folder was taken.
std::string dataFolderInUse();

// Moves the working directory to dataFolder(executableDir) when that is
// another folder. True when the working directory then holds the data.
bool enterDataFolder(const std::string& executableDir);

