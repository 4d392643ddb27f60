#include "tools/COrvaneDemoEffect.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiShader.h"

#include <cstdio>
#include <fstream>

namespace
{
// A technique of assembly programs: the world-view-projection as the
// vertex program's c0-c3 (its columns, as m4x4 takes them), one colour.
std::string ProgramTechnique()
{
    char acColour[96];
    std::snprintf(acColour, sizeof(acColour), "def c0, %.4ff, %.4ff, %.4ff, 1.0f",
                  double((DEMO_PROGRAM_EFFECT_COLOUR >> 16) & 0xFF) / 255.0,
                  double((DEMO_PROGRAM_EFFECT_COLOUR >> 8) & 0xFF) / 255.0,
                  double(DEMO_PROGRAM_EFFECT_COLOUR & 0xFF) / 255.0);
    return std::string("\n// The demo level's signal post: drawn by programs.\n"
                       "float4x4 WorldViewProj : WorldViewProj;\n"
                       "technique ") +
           DEMO_PROGRAM_EFFECT_NAME +
           "\n"
           "<\n"
           "    string description = \"Signal post of the demo level\";\n"
           "    int implementation = 0;\n"
           ">\n"
           "{\n"
           "    pass Signal\n"
           "    {\n"
           "        VertexShaderConstant4[0] = <WorldViewProj>;\n"
           "        VertexShader = asm {\n"
           "            vs_1_1\n"
           "            dcl_position v0\n"
           "            m4x4 oPos, v0, c0\n"
           "        };\n"
           "        PixelShader = asm {\n"
           "            ps_1_1\n"
           "            " +
           acColour +
           "\n"
           "            mov r0, c0\n"
           "        };\n"
           "    }\n"
           "}\n";
}

// The glass: fixed-function states only. Unlit: the stage's diffuse input is the vertex
// colour (white without one), so the pane shows the tint blended over what
// lies under it.
std::string EffectText()
{
    char acTint[16];
    std::snprintf(acTint, sizeof(acTint), "0x%08X", DEMO_EFFECT_TINT);
    return std::string("// The demo data's glass pane: a tinted, see-through square.\n"
                       "technique ") +
           DEMO_EFFECT_NAME +
           "\n"
           "<\n"
           "    string description = \"Tinted glass of the demo scene\";\n"
           "    int implementation = 0;\n"
           ">\n"
           "{\n"
           "    pass Glass\n"
           "    {\n"
           "        Lighting = false;\n"
           "        AlphaBlendEnable = true;\n"
           "        SrcBlend = SrcAlpha;\n"
           "        DestBlend = InvSrcAlpha;\n"
           "        ZWriteEnable = false;\n"
           "        TextureFactor = " +
           acTint +
           ";\n"
           "        ColorOp[0] = Modulate;\n"
           "        ColorArg1[0] = TFactor;\n"
           "        ColorArg2[0] = Diffuse;\n"
           "        AlphaOp[0] = SelectArg1;\n"
           "        AlphaArg1[0] = TFactor;\n"
           "        ColorOp[1] = Disable;\n"
           "        AlphaOp[1] = Disable;\n"
           "    }\n"
           "}\n" +
           ProgramTechnique();
}
} // namespace

bool WriteDemoEffect(const std::string& kFolder)
{
    const std::string kPath = kFolder + "/" + DEMO_EFFECT_FILE;
    std::ofstream kOut(kPath, std::ios::binary);
    if (!(kOut << EffectText()) || !kOut.flush())
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}

NiTriShape* MakeDemoGlass()
{
    const float h = DEMO_GLASS_SIDE * 0.5f;
    auto* pkVerts = new NiVec3[4]{{-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0}};
    auto* pkNormals = new NiVec3[4]{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    auto* pkGlass = new NiTriShape(4, pkVerts, pkNormals, nullptr, nullptr, 0, 0, 2, pusTris);
    pkGlass->SetName("Glass");
    pkGlass->SetTranslate(DEMO_GLASS_CENTRE);
    // Drawn after the opaque objects; without the effect the default
    // shader blends the material's colour much the same way.
    auto* pkAlpha = new NiAlphaProperty;
    pkAlpha->SetAlphaBlending(true);
    pkAlpha->SetSrcBlendMode(NiAlphaProperty::ALPHA_SRCALPHA);
    pkAlpha->SetDestBlendMode(NiAlphaProperty::ALPHA_INVSRCALPHA);
    pkGlass->AttachProperty(pkAlpha);
    auto* pkMaterial = new NiMaterialProperty;
    const NiColorRGB kTint{float((DEMO_EFFECT_TINT >> 16) & 0xFF) / 255.0f, float((DEMO_EFFECT_TINT >> 8) & 0xFF) / 255.0f,
                           float(DEMO_EFFECT_TINT & 0xFF) / 255.0f};
    pkMaterial->SetDiffuseColor(kTint);
    pkMaterial->SetAmbientColor(kTint);
    pkMaterial->SetAlpha(float(DEMO_EFFECT_TINT >> 24) / 255.0f);
    pkGlass->AttachProperty(pkMaterial);
    pkGlass->SetShader(new NiShader(DEMO_EFFECT_NAME, 0));
    return pkGlass;
}
