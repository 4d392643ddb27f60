#pragma once

#include <string>

// The demo data's binary shader: "DemoShader.nsb" holding the shader
// DEMO_SHADER_NAME (a lit, textured material in one pass with a fixed-function
// fallback), written with the engine's own writer into the folder. False
// (with the reason on standard error) when the file cannot be written.
[[nodiscard]] bool WriteDemoShader(const std::string& kFolder);

inline constexpr const char* DEMO_SHADER_NAME = "OrvaneDemoMaterial";

// The programs of its first implementation, written beside it: the vertex
// program transforms by "WorldViewProjTranspose" (c0-c3) and hands on the
// "Tint" (c4) and the base map's coordinates; the pixel program warms the
// texel x tint by DEMO_MATERIAL_WARMTH, so what they draw tells itself
// apart from the fixed-function fallback.
inline constexpr const char* DEMO_MATERIAL_VERTEX_FILE = "DemoMaterial.vsh";
inline constexpr const char* DEMO_MATERIAL_PIXEL_FILE = "DemoMaterial.psh";
inline constexpr float DEMO_MATERIAL_WARMTH[3] = {1.0f, 0.55f, 0.2f};
inline constexpr const char* DEMO_MATERIAL_VERTEX_PROGRAM = "; The demo material: transformed, tinted, textured.\n"
                                                            "vs_1_1\n"
                                                            "dcl_position v0\n"
                                                            "dcl_normal v3\n"
                                                            "dcl_texcoord v7\n"
                                                            "m4x4 oPos, v0, c0\n"
                                                            "mov oD0, c4\n"
                                                            "mov oT0, v7\n";
inline constexpr const char* DEMO_MATERIAL_PIXEL_PROGRAM = "; The texel times the tint, warmed.\n"
                                                           "ps_1_1\n"
                                                           "def c0, 1.0f, 0.55f, 0.2f, 1.0f\n"
                                                           "tex t0\n"
                                                           "mul r0, t0, v0\n"
                                                           "mul r0, r0, c0\n";

// The demo data's shader description "DemoFixedFunction.nsf": the shader
// DEMO_DESCRIBED_SHADER_NAME, a fixed-function material the shader start-up
// compiles into a binary shader beside it. False (with the reason on
// standard error) when the file cannot be written.
[[nodiscard]] bool WriteDemoShaderDescription(const std::string& kFolder);

inline constexpr const char* DEMO_DESCRIBED_SHADER_NAME = "OrvaneDemoFixedFunction";
