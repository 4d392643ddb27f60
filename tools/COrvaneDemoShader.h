#pragma once

#include <string>

// The demo data's binary shader: "DemoShader.nsb" holding the shader
// DEMO_SHADER_NAME (a lit, textured material in one pass with a fixed-function
// fallback), written with the engine's own writer into the folder. False
// (with the reason on standard error) when the file cannot be written.
[[nodiscard]] bool WriteDemoShader(const std::string& kFolder);

inline constexpr const char* DEMO_SHADER_NAME = "OrvaneDemoMaterial";
