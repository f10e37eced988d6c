// Start-up's report: what it could not load.
#pragma once

#include <string>
#include <vector>

// What the last start-up could not load (files missing or damaged), one
// message each ("File Textures/noise.jpg not found!"), in loading order.
const std::vector<std::string>& startupProblems();
