#pragma once

#include <string>

// The user-interface part of the demo data, under the data folder: the
// cursor picture, a panel with its hot-area and placement maps and two
// button overlays, a row of numbered images, the bitmap font "fonts/demo.txt"
// with its image, and the engine font "fonts/demo.nff". False (with the
// reason on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoInterface(const std::string& kFolder);
