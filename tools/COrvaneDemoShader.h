#pragma once

#include <string>

// The demo data's binary shader: "DemoShader.nsb" holding the shader
// DEMO_SHADER_NAME (a lit, textured material in one pass with a fixed-function
// fallback), written with the engine's own writer into the folder. False
// (with the reason on standard error) when the file cannot be written.
[[nodiscard]] bool WriteDemoShader(const std::string& kFolder);

inline constexpr const char* DEMO_SHADER_NAME = "OrvaneDemoMaterial";

// The demo data's shader description "DemoFixedFunction.nsf": the shader
// DEMO_DESCRIBED_SHADER_NAME, a fixed-function material the shader start-up
// compiles into a binary shader beside it. False (with the reason on
// standard error) when the file cannot be written.
[[nodiscard]] bool WriteDemoShaderDescription(const std::string& kFolder);

inline constexpr const char* DEMO_DESCRIBED_SHADER_NAME = "OrvaneDemoFixedFunction";
