#include "tools/COrvaneDemoShader.h"

#include "engine/shaders/nsb/NSBShader.h"
#include "platform/os/OsFiles.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
// The binary file keeps the description language's numbers: its own state
// numbers, and for the values index forms that the loader turns into the
// device's (the device's number less one for ops and cull modes; argument
// indices in the language's CURRENT, DIFFUSE, ..., TEXTURE order).
// Sampler states are the engine's numbers (ADDRESSU = 0).
constexpr std::uint32_t RS_ZENABLE = 73;
constexpr std::uint32_t RS_CULLMODE = 77;
constexpr std::uint32_t ZB_TRUE = 1;
constexpr std::uint32_t CULL_CCW = 2;
constexpr std::uint32_t TSS_COLOROP = 0;
constexpr std::uint32_t TSS_COLORARG1 = 2;
constexpr std::uint32_t TSS_COLORARG2 = 3;
constexpr std::uint32_t TOP_MODULATE = 3;
constexpr std::uint32_t TA_DIFFUSE = 1;
constexpr std::uint32_t TA_TEXTURE = 5;
constexpr std::uint32_t SAMP_MINFILTER = 5;
constexpr std::uint32_t TEXF_LINEAR = 2;
constexpr std::uint32_t BASE_MAP_SELECTOR = 0x10200000;
// Vertex shader 1.1 and pixel shader 1.1 version tokens.
constexpr std::uint32_t VS_1_1 = 0xFFFE0101;
constexpr std::uint32_t PS_1_1 = 0xFFFF0101;
constexpr std::uint32_t VS_2_0 = 0xFFFE0200;
constexpr std::uint32_t PS_2_0 = 0xFFFF0200;

void AddPass(NSBImplementation& kImplementation)
{
    NSBPass* pkPass = kImplementation.GetPass(0, true);
    pkPass->SetName("Lit");
    pkPass->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_CCW, true);
    NSBTextureStage* pkStage = pkPass->GetStage(0, true);
    pkStage->SetName("Base");
    // The stage samples the geometry's base map with its coordinate set.
    pkStage->SetTextureFlags(BASE_MAP_SELECTOR);
    NSBStateGroup* pkStates = pkStage->GetTextureStageGroup();
    pkStates->SetState(TSS_COLOROP, TOP_MODULATE, false);
    pkStates->SetState(TSS_COLORARG1, TA_TEXTURE, false);
    pkStates->SetState(TSS_COLORARG2, TA_DIFFUSE, false);
    pkStage->GetSamplerStageGroup()->SetState(SAMP_MINFILTER, TEXF_LINEAR, false);
}
// The program files beside the shader, as authors write them.
bool WriteText(const std::string& kPath, const char* pcText)
{
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    const std::size_t uiLength = std::strlen(pcText);
    const bool bOk = pkFile != nullptr && std::fwrite(pcText, 1, uiLength, pkFile) == uiLength;
    if (pkFile != nullptr && std::fclose(pkFile) != 0)
        return false;
    if (!bOk)
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
    return bOk;
}
} // namespace

bool WriteDemoShader(const std::string& kFolder, const std::string& kProgramFolder)
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName(DEMO_SHADER_NAME);
    spShader->SetDescription("Lit, textured material of the demo data");

    NSBAttributeDescPtr spTint = new NSBAttributeDesc;
    spTint->SetName("Tint");
    const float afWhite[3] = {1.0f, 1.0f, 1.0f};
    const float afBlack[3] = {0.0f, 0.0f, 0.0f};
    spTint->SetValue_Color(afWhite);
    spTint->SetRange_Color(afBlack, afWhite);
    spTint->SetRanged(true);
    spShader->GetAttributeTable().AddAttribDesc(spTint);

    // Position, normal and one texture-coordinate set in one stream.
    NSBPackingDef* pkPacking = spShader->GetPackingDef("PosNormUV", true);
    pkPacking->AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 3, NSBPackingDef::INPUT_NORMAL, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 7, NSBPackingDef::INPUT_TEXCOORD0, 1, 0, NSBPackingDef::USAGE_NONE, 0);

    NSBImplementation* pkPrograms = spShader->AddImplementation("Programs", true, 0);
    pkPrograms->SetDesc("Vertex and pixel programs");
    pkPrograms->SetPackingDef("PosNormUV");
    NSBRequirements* pkRequirements = pkPrograms->GetRequirements();
    pkRequirements->SetVSVersion(VS_1_1);
    pkRequirements->SetPSVersion(PS_1_1);
    pkRequirements->SetPlatformFlags(0x2);
    pkRequirements->SetUsesNiRenderState(true);
    pkPrograms->GetRenderStateGroup()->SetState(RS_ZENABLE, ZB_TRUE, false);
    AddPass(*pkPrograms);
    NSBPass* pkPass = pkPrograms->GetPass(0, false);
    pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, DEMO_MATERIAL_VERTEX_FILE);
    pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, DEMO_MATERIAL_PIXEL_FILE);
    NSBConstantMap* pkVertexMap = pkPass->GetVertexConstantMap();
    pkVertexMap->AddEntry("WorldViewProjTranspose", 0x20000000, 0, 0, 4, nullptr, 0, 0, nullptr, false);
    pkVertexMap->AddEntry("Tint", 0x3000000A, 0, 4, 1, nullptr, 0, 0, nullptr, false);

    NSBImplementation* pkFixed = spShader->AddImplementation("FixedFunction", true, 1);
    pkFixed->SetDesc("No programs");
    pkFixed->GetRequirements()->SetPlatformFlags(0x2);
    pkFixed->GetRequirements()->SetUsesNiRenderState(true);
    pkFixed->GetRequirements()->SetUsesNiLightState(true);
    AddPass(*pkFixed);

    const std::string kPath = kFolder + "/DemoShader.nsb";
    if (!spShader->SaveToFile(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    const std::string& kPrograms = kProgramFolder.empty() ? kFolder : kProgramFolder;
    return WriteText(kPrograms + "/" + DEMO_MATERIAL_VERTEX_FILE, DEMO_MATERIAL_VERTEX_PROGRAM) &&
           WriteText(kPrograms + "/" + DEMO_MATERIAL_PIXEL_FILE, DEMO_MATERIAL_PIXEL_PROGRAM);
}

bool WriteDemoHlslShader(const std::string& kFolder, const std::string& kProgramFolder)
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName(DEMO_HLSL_SHADER_NAME);
    spShader->SetDescription("High-level programs of the demo data");
    NSBPackingDef* pkPacking = spShader->GetPackingDef("PosNorm", true);
    pkPacking->AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 3, NSBPackingDef::INPUT_NORMAL, 2, 0, NSBPackingDef::USAGE_NONE, 0);

    NSBImplementation* pkPrograms = spShader->AddImplementation("HighLevel", true, 0);
    pkPrograms->SetDesc("Compiled vertex and pixel programs");
    pkPrograms->SetPackingDef("PosNorm");
    NSBRequirements* pkRequirements = pkPrograms->GetRequirements();
    pkRequirements->SetVSVersion(VS_2_0);
    pkRequirements->SetPSVersion(PS_2_0);
    pkRequirements->SetPlatformFlags(0x2);
    pkRequirements->SetUsesNiRenderState(true);
    pkPrograms->GetRenderStateGroup()->SetState(RS_ZENABLE, ZB_TRUE, false);
    NSBPass* pkPass = pkPrograms->GetPass(0, true);
    pkPass->SetName("Glow");
    pkPass->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_CCW, true);
    // One file, two entry points; the targets as the requirements say.
    pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, DEMO_HLSL_PROGRAM_FILE);
    pkPass->SetVertexShaderProgramEntryPoint("DemoVertex");
    pkPass->SetVertexShaderProgramShaderTarget("vs_2_0");
    pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, DEMO_HLSL_PROGRAM_FILE);
    pkPass->SetPixelShaderProgramEntryPoint("DemoPixel");
    pkPass->SetPixelShaderProgramShaderTarget("ps_2_0");
    // Both reach their variables by name: no register is needed.
    pkPass->GetVertexConstantMap()->AddEntry("WorldViewProj", 0x20000000, 0, 0, 4, nullptr, 0, 0, nullptr, false);
    const float afGlow[4] = {DEMO_HLSL_GLOW[0], DEMO_HLSL_GLOW[1], DEMO_HLSL_GLOW[2], 1.0f};
    // A constant's type comes from its size: four floats are a point4.
    pkPass->GetPixelConstantMap()->AddEntry("Glow", 0x10000000, 0, 0, 1, "Glow", sizeof(afGlow), sizeof(float),
                                            afGlow, true);

    // Without programs: the material's own colours under the lights.
    NSBImplementation* pkFixed = spShader->AddImplementation("FixedFunction", true, 1);
    pkFixed->SetDesc("No programs");
    pkFixed->GetRequirements()->SetPlatformFlags(0x2);
    pkFixed->GetRequirements()->SetUsesNiRenderState(true);
    pkFixed->GetRequirements()->SetUsesNiLightState(true);
    pkFixed->GetPass(0, true)->SetName("Lit");

    const std::string kPath = kFolder + "/DemoHighLevel.nsb";
    if (!spShader->SaveToFile(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    const std::string& kPrograms = kProgramFolder.empty() ? kFolder : kProgramFolder;
    return WriteText(kPrograms + "/" + DEMO_HLSL_PROGRAM_FILE, DEMO_HLSL_PROGRAM);
}

bool WriteDemoShaderDescription(const std::string& kFolder)
{
    // Compiled into "OrvaneDemoFixedFunction.NSB" at each start.
    static const char s_acText[] =
        "// Fixed-function material of the demo data's floor: the base map\n"
        "// lit by the vertex colour.\n"
        "NSFShader OrvaneDemoFixedFunction\n"
        "{\n"
        "    \"Base map times diffuse, no programs\"\n"
        "    Attributes\n"
        "    {\n"
        "        Attrib_Color Tint Artist 1.0, 1.0, 1.0 [(0.0, 0.0, 0.0) (1.0, 1.0, 1.0)]\n"
        "        Attrib_Texture BaseMap Artist 0\n"
        "    }\n"
        "    PackingDef PosNormUV\n"
        "    {\n"
        "        PD_Stream 0\n"
        "        PD_FixedFunction TRUE\n"
        "        PDP_Position 0 PDT_Float3\n"
        "        PDP_Normal 3 PDT_Float3\n"
        "        PDP_TexCoord0 7 PDT_Float2\n"
        "    }\n"
        "    Implementation FixedFunction\n"
        "    {\n"
        "        \"Any DX9 device\"\n"
        "        PackingDef PosNormUV\n"
        "        Requirements\n"
        "        {\n"
        "            Platform = DX9\n"
        "            UsesNiRenderState = TRUE\n"
        "            UsesNiLightState = TRUE\n"
        "        }\n"
        "        Pass Base\n"
        "        {\n"
        "            RenderStates\n"
        "            {\n"
        "                ZEnable = ZB_True\n"
        "                ZWriteEnable = TRUE\n"
        "                AlphaBlendEnable = FALSE\n"
        "            }\n"
        "            Stage 0 Base\n"
        "            {\n"
        "                TSS_Texture = NTM_Base\n"
        "                TSS_ColorOp = TOP_Modulate\n"
        "                TSS_ColorArg1 = TA_Texture\n"
        "                TSS_ColorArg2 = TA_Diffuse\n"
        "                TSS_AlphaOp = TOP_SelectArg1\n"
        "                TSS_AlphaArg1 = TA_Texture\n"
        "                TSS_TexCoordIndex = 0\n"
        "            }\n"
        "            Sampler 0 Base\n"
        "            {\n"
        "                TSAMP_AddressU = TADDR_Wrap\n"
        "                TSAMP_AddressV = TADDR_Wrap\n"
        "                TSAMP_MagFilter = TEXF_Linear\n"
        "                TSAMP_MinFilter = TEXF_Linear\n"
        "                TSAMP_MipFilter = TEXF_Linear\n"
        "            }\n"
        "        }\n"
        "    }\n"
        "}\n";
    const std::string kPath = kFolder + "/DemoFixedFunction.nsf";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spFile(os::OpenFile(kPath, "wb"), &std::fclose);
    if (!spFile || std::fwrite(s_acText, 1, sizeof(s_acText) - 1, spFile.get()) != sizeof(s_acText) - 1)
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
