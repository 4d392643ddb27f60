#pragma once

#include <string>

// The demo level "levels/demo01.nif" (Z up): "SkyBox" (a box seen from
// inside with a sky texture), "collide" (64 x 64 ground and two boxes),
// "splines" (one route node moved by a transform controller) and
// "objects" (two crate placeholders and a "spawn" one the framework
// declines), plus the empty save folder "maps".
[[nodiscard]] bool WriteDemoLevel(const std::string& kFolder);

inline constexpr const char* DEMO_LEVEL_FILE = "levels/demo01.nif";
