// The s key: the picture on screen saved as a PNG, as video players'
// screenshot key does.
#pragma once

#include <string>

class CApplication;

namespace live {

// The file name for the picture at music time `ms`:
// DEMO_PROGRAM_NAME "-MMSS.mmm.png" ("paper-weather-0020.033.png").
std::string pictureFileName(double ms);

// Writes the picture on screen (the frame, without the on-screen display)
// as pictureFileName(demoMS) in $XDG_PICTURES_DIR when that names a folder,
// else in the folder the program was started in, and names the file on the
// on-screen display and on stderr (or says why nothing was written).
// Paused (or stepped), the picture is first drawn again as the still at the
// millisecond the name gives: the file is exactly what --frame there writes.
void savePicture(CApplication& app);

} // namespace live
