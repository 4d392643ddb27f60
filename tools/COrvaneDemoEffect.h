#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <string>

class NiTriShape;

// The demo data's effect file "DemoEffect.fx": the technique
// DEMO_EFFECT_NAME, a tinted see-through pane drawn by the fixed-function
// pipeline (no programs), which the effect library loads from "models" at
// start. False (with the reason on standard error) when the file cannot be
// written.
[[nodiscard]] bool WriteDemoEffect(const std::string& kFolder);

inline constexpr const char* DEMO_EFFECT_FILE = "DemoEffect.fx";
inline constexpr const char* DEMO_EFFECT_NAME = "OrvaneDemoGlass";
// The file's second technique: assembly vertex and pixel programs that draw
// a geometry in DEMO_PROGRAM_EFFECT_COLOUR (0xRRGGBB), transformed by the
// "WorldViewProj" parameter.
inline constexpr const char* DEMO_PROGRAM_EFFECT_NAME = "OrvaneDemoSignal";
inline constexpr std::uint32_t DEMO_PROGRAM_EFFECT_COLOUR = 0x33CCFFu;
// The pane's colour as 0xAARRGGBB: the texture factor its one stage
// modulates the vertex colour (white) by, its alpha the blend's source alpha.
inline constexpr std::uint32_t DEMO_EFFECT_TINT = 0x8040A0FFu;

// The pane of the demo scene drawn with the effect: a square of side
// DEMO_GLASS_SIDE facing up (+z), centred on DEMO_GLASS_CENTRE, away from
// the places the scene's tests look at.
inline constexpr float DEMO_GLASS_SIDE = 1.5f;
inline const NiVec3 DEMO_GLASS_CENTRE{3.0f, 2.0f, 0.3f};
[[nodiscard]] NiTriShape* MakeDemoGlass();
