#pragma once

#include <string>

// Writes the small data set the game runs in when no game folder is given:
// "setup.xml" and "data.xml" through the framework's own tag-tree writer,
// the "models" folder with the animated demo model, its animations and the
// binary shader the shader start-up loads, and the user interface's cursor,
// panel, rows and fonts. False (with the reason on standard error) when a
// file or folder cannot be made.
[[nodiscard]] bool BuildDemoData(const std::string& kFolder);
