#pragma once

#include <string>

// Writes the small data set the game runs in when no game folder is given:
// "setup.xml", "data.xml" and an empty "models" folder, all through the
// framework's own tag-tree writer. False (with the reason on standard
// error) when a file or folder cannot be made.
[[nodiscard]] bool BuildDemoData(const std::string& kFolder);
