// The memory a run needs for its frame size, checked before anything loads,
// by the live demo and the headless modes alike.
#pragma once

#include "app/Options.h"

#include <string>

// "" when a run of `options` at its frame size fits in the memory this
// process can get (platform::memoryRoom, against a measured estimate: start-up
// and bytes a pixel per mode); else one line that says what it needs and
// which limit is short. Checked before anything loads.
std::string frameMemoryRefusal(const Options& options);

