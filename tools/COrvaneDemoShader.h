#pragma once

#include <string>

// The demo data's binary shader: "DemoShader.nsb" holding the shader
// DEMO_SHADER_NAME (a lit, textured material in one pass with a fixed-function
// fallback), written with the engine's own writer into the folder, its
// program files into the program folder (the same one when none is given).
// The game looks for program files by their bare names in its working
// folder, so its data keeps them at the top. False (with the reason on
// standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoShader(const std::string& kFolder, const std::string& kProgramFolder = {});

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

// The demo data's high-level material "DemoHighLevel.nsb": the shader
// DEMO_HLSL_SHADER_NAME, whose one pass names the vertex and pixel entry
// points of DEMO_HLSL_PROGRAM_FILE (written into the program folder, as
// for WriteDemoShader), with a fixed-function fallback for a device without
// programs. False (with the reason on standard error) when a file cannot be
// written.
[[nodiscard]] bool WriteDemoHlslShader(const std::string& kFolder, const std::string& kProgramFolder = {});

inline constexpr const char* DEMO_HLSL_SHADER_NAME = "OrvaneDemoHighLevel";
inline constexpr const char* DEMO_HLSL_PROGRAM_FILE = "DemoHighLevel.hlsl";
// The colour the pass gives the pixel program's "Glow" by name: faces
// turned along x show it whole, the others at DEMO_HLSL_SIDE_SHADE of it.
inline constexpr float DEMO_HLSL_GLOW[3] = {0.6f, 0.2f, 0.9f};
inline constexpr float DEMO_HLSL_SIDE_SHADE = 0.6f;
inline constexpr const char* DEMO_HLSL_PROGRAM =
    "// The demo's high-level material: the engine's transform by name, and a\n"
    "// glow shaded by how far each face turns along x.\n"
    "float4x4 WorldViewProj;\n"
    "float4 Glow;\n"
    "\n"
    "struct VertexOut\n"
    "{\n"
    "    float4 Position : POSITION;\n"
    "    float3 Normal : TEXCOORD0;\n"
    "};\n"
    "\n"
    "VertexOut DemoVertex(float4 kPosition : POSITION, float3 kNormal : NORMAL)\n"
    "{\n"
    "    VertexOut kOut;\n"
    "    kOut.Position = mul(kPosition, WorldViewProj);\n"
    "    kOut.Normal = kNormal;\n"
    "    return kOut;\n"
    "}\n"
    "\n"
    "float4 DemoPixel(float3 kNormal : TEXCOORD0) : COLOR\n"
    "{\n"
    "    float fShade = lerp(0.6, 1.0, saturate(abs(normalize(kNormal).x)));\n"
    "    return float4(Glow.rgb * fShade, 1.0);\n"
    "}\n";
