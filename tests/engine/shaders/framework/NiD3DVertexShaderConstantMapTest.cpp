#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiTextureTransform.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "tests/engine/shaders/framework/ConstantMapTestSupport.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"
#include "tests/support/HeapCounter.h"

#include <bit>
#include <cmath>
#include <optional>

namespace shader_test
{
namespace
{
using Entry = NiD3DShaderConstantMapEntry;
using Map = NiD3DShaderConstantMap;
constexpr std::uint32_t CONSTANT = Entry::SCME_MAP_CONSTANT;
constexpr std::uint32_t DEFINED = Entry::SCME_MAP_DEFINED;
constexpr std::uint32_t GLOBAL = Entry::SCME_MAP_GLOBAL;
constexpr std::uint32_t OPERATOR = Entry::SCME_MAP_OPERATOR;
constexpr std::uint32_t NONE = Entry::SCME_NO_REGISTER;

std::vector<std::string> s_kLog;

// Reference arithmetic in double, row vectors.
struct M
{
    double m[4][4] = {};
};
M FromD3D(const gfx::D3DMATRIX& k)
{
    M r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = k.m[i][j];
    return r;
}
M Identity()
{
    M r;
    for (int i = 0; i < 4; ++i)
        r.m[i][i] = 1;
    return r;
}
M Mul(const M& a, const M& b)
{
    M r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}
M T(const M& a)
{
    M r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[j][i];
    return r;
}
// Gauss-Jordan with partial pivoting.
M Inv(M a)
{
    M r = Identity();
    for (int c = 0; c < 4; ++c)
    {
        int p = c;
        for (int i = c + 1; i < 4; ++i)
            if (std::fabs(a.m[i][c]) > std::fabs(a.m[p][c]))
                p = i;
        std::swap(a.m[c], a.m[p]);
        std::swap(r.m[c], r.m[p]);
        const double d = a.m[c][c];
        for (int j = 0; j < 4; ++j)
            a.m[c][j] /= d, r.m[c][j] /= d;
        for (int i = 0; i < 4; ++i)
            if (i != c)
            {
                const double f = a.m[i][c];
                for (int j = 0; j < 4; ++j)
                    a.m[i][j] -= f * a.m[c][j], r.m[i][j] -= f * r.m[c][j];
            }
    }
    return r;
}

void ExpectMatrix(const ConstantCall& kCall, const M& kExpected, double fTolerance, const char* pcWhat)
{
    ASSERT_EQ(kCall.m_kWords.size(), 16u) << pcWhat;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(kCall.F(i), kExpected.m[i / 4][i % 4], fTolerance * (1 + std::fabs(kExpected.m[i / 4][i % 4])))
            << pcWhat << " element " << i;
}

class DefinedValueTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        s_kLog.clear();
        NiD3DUtility::SetLogHook(+[](const char* pcText) { s_kLog.emplace_back(pcText); });
        CreateRenderer();
        if (m_spRenderer == nullptr)
            return;
        // A world turned about a slanted axis, scaled and moved; a camera
        // looking along a diagonal through an off-centre frustum: no two of
        // W, V and P commute.
        NiXform kWorld;
        kWorld.m_kRotate.MakeAxisRotation(0.7f, 0.3f, 0.5f, 0.8f);
        kWorld.m_kTranslate = NiVec3(1.0f, -2.0f, 3.0f);
        kWorld.m_fScale = 1.5f;
        m_spRenderer->SetModelTransform(kWorld, false);
        NiViewFrustum kFrustum;
        kFrustum.Set(-0.6f, 0.5f, 0.4f, -0.3f, 1.0f, 50.0f, false);
        m_spRenderer->SetCameraData(NiVec3(3, -2, 5), NiVec3(0.6f, 0.8f, 0), NiVec3(0, 0, 1), NiVec3(0.8f, -0.6f, 0),
                                    kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        m_kW = FromD3D(m_spRenderer->GetD3DModel());
        m_kV = FromD3D(m_spRenderer->GetD3DView());
        m_kP = FromD3D(m_spRenderer->GetD3DProj());
        m_spVertex = new NiD3DVertexShaderConstantMap(m_spRenderer);
        m_spPixel = new NiD3DPixelShaderConstantMap(m_spRenderer);
    }
    void TearDown() override
    {
        m_spVertex = nullptr;
        m_spPixel = nullptr;
        NiD3DUtility::SetLogHook(nullptr);
        ShaderTest::TearDown();
    }

    // The calls one draw of the map makes.
    std::uint32_t Draw(Map& kMap, NiGeometry* pkGeometry = nullptr, const NiPropertySet* pkState = nullptr,
                       const NiSkinInstance* pkSkin = nullptr, const NiSkinPartition::Partition* pkPartition = nullptr)
    {
        m_kProgram.m_kCalls.clear();
        s_kLog.clear();
        return kMap.SetShaderConstants(&m_kProgram, pkGeometry, pkSkin, pkPartition, nullptr, pkState, nullptr,
                                       m_kWorld, m_kBound, 0, false);
    }
    // A map with the one defined entry at register 4.
    NiRefPtr<NiD3DVertexShaderConstantMap> VertexWith(const char* pcKey, std::uint32_t uiExtra = 0)
    {
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = new NiD3DVertexShaderConstantMap(m_spRenderer);
        EXPECT_EQ(spMap->AddEntry(pcKey, DEFINED, uiExtra, 4, 0, nullptr, 0, 0, nullptr, false), 0u) << pcKey;
        return spMap;
    }

    RecordingProgram m_kProgram;
    NiXform m_kWorld;
    NiBoundSphere m_kBound;
    M m_kW, m_kV, m_kP;
    NiRefPtr<NiD3DVertexShaderConstantMap> m_spVertex;
    NiRefPtr<NiD3DPixelShaderConstantMap> m_spPixel;
};

TEST_F(DefinedValueTest, BothNameTablesHoldTheirRowsInOrder)
{
    const std::vector<std::pair<std::uint32_t, std::string>> kPixel = {
        {0, "Invalid"},          {1, "TaylorSin"},        {2, "TaylorCos"},         {3, "time"},
        {4, "sin_time"},         {5, "cos_time"},         {6, "tan_time"},          {7, "time_sin_cos_tan"},
        {8, "MaterialDiffuse"},  {8, "Diffuse"},          {9, "MaterialAmbient"},   {9, "Ambient"},
        {10, "MaterialSpecular"}, {10, "Specular"},       {11, "MaterialEmissive"}, {11, "Emissive"},
        {12, "MaterialPower"},   {12, "SpecularPower"}};
    std::vector<std::pair<std::uint32_t, std::string>> kVertex = {{0, "Invalid"}};
    // The twelve transforms, then the same with "Transpose" appended.
    const std::vector<std::vector<std::string>> kTransforms = {
        {"Proj", "Projection"}, {"InvProj", "InvProjection"}, {"View"}, {"InvView"}, {"World"}, {"InvWorld"},
        {"WorldView"}, {"InvWorldView"}, {"ViewProj", "ViewProjection"}, {"InvViewProj", "InvViewProjection"},
        {"WorldViewProj", "WorldViewProjection"}, {"InvWorldViewProj", "InvWorldViewProjection"}};
    for (std::uint32_t uiBlock = 0; uiBlock < 2; ++uiBlock)
        for (std::uint32_t ui = 0; ui < 12; ++ui)
            for (const std::string& kName : kTransforms[ui])
                kVertex.emplace_back(uiBlock * 12 + ui + 1, kName + (uiBlock ? "Transpose" : ""));
    for (const auto& k : std::vector<std::pair<std::uint32_t, std::string>>{
             {25, "SkinWorldView"},
             {26, "InvSkinWorldView"},
             {27, "SkinWorldViewTranspose"},
             {28, "InvSkinWorldViewTranspose"},
             {29, "SkinWorldViewProj"},
             {29, "SkinWorldViewProjection"},
             {30, "InvSkinWorldViewProj"},
             {30, "InvSkinWorldViewProjection"},
             {31, "SkinWorldViewProjTranspose"},
             {31, "SkinWorldViewProjectionTranspose"},
             {32, "InvSkinWorldViewProjTranspose"},
             {32, "InvSkinWorldViewProjectionTranspose"},
             {33, "BoneMatrix3"},
             {34, "BoneMatrix4"},
             {35, "SkinBoneMatrix3"},
             {36, "SkinBoneMatrix4"}})
        kVertex.push_back(k);
    const char* apcMaps[] = {"Base", "Dark", "Detail", "Gloss", "Glow", "Bump", "Decal", "Shader"};
    for (std::uint32_t ui = 0; ui < 8; ++ui)
    {
        const std::string kMap = apcMaps[ui];
        kVertex.emplace_back(37 + ui * 4, "TexTransform" + kMap);
        kVertex.emplace_back(38 + ui * 4, "InvTexTransform" + kMap);
        kVertex.emplace_back(39 + ui * 4, "TexTransform" + kMap + "Transpose");
        kVertex.emplace_back(40 + ui * 4, "InvTexTransform" + kMap + "Transpose");
    }
    for (const auto& k : std::vector<std::pair<std::uint32_t, std::string>>{
             {69, "LightPosWS"},    {70, "LightDirWS"},       {71, "LightPosOS"},      {72, "LightDirOS"},
             {73, "MaterialDiffuse"}, {73, "Diffuse"},        {74, "MaterialAmbient"}, {74, "Ambient"},
             {75, "MaterialSpecular"}, {75, "Specular"},      {76, "MaterialEmissive"}, {77, "MaterialPower"},
             {77, "SpecularPower"}, {78, "EyePos"},           {79, "EyeDir"},          {80, "TaylorSin"},
             {81, "TaylorCos"},     {82, "time"},             {83, "sin_time"},        {84, "cos_time"},
             {85, "tan_time"},      {86, "time_sin_cos_tan"}})
        kVertex.push_back(k);
    ASSERT_EQ(kPixel.size(), 18u);
    ASSERT_EQ(kVertex.size(), 107u);

    std::uint32_t uiCount = 0;
    const auto* pkPixel = NiD3DPixelShaderConstantMap::GetPredefinedNames(uiCount);
    ASSERT_EQ(uiCount, kPixel.size());
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        EXPECT_EQ(pkPixel[ui].m_uiMapping, kPixel[ui].first) << ui;
        EXPECT_EQ(pkPixel[ui].m_pcName, kPixel[ui].second) << ui;
    }
    const auto* pkVertex = NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount);
    ASSERT_EQ(uiCount, kVertex.size());
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        EXPECT_EQ(pkVertex[ui].m_uiMapping, kVertex[ui].first) << ui;
        EXPECT_EQ(pkVertex[ui].m_pcName, kVertex[ui].second) << ui;
    }
}

TEST_F(DefinedValueTest, NamesAreFoundIgnoringCaseWithTheVertexSuffixRule)
{
    const struct
    {
        const char* m_pcKey;
        std::uint32_t m_uiMapping, m_uiCount;
    } akCases[] = {{"WorldViewProj_3", 11, 3}, {"worldviewproj", 11, 4}, {"WORLDVIEWPROJECTION_2", 11, 2},
                   {"time_sin_cos_tan", 86, 4}, {"sin_time", 83, 4},     {"World_12", 0, 4},
                   {"World_", 0, 4},            {"World_x", 0, 4},       {"BoneMatrix3_3", 33, 3},
                   {"Emissive", 0, 4},          {"Invalid", 0, 4},       {"", 0, 4}};
    for (const auto& k : akCases)
    {
        std::uint32_t uiCount = 0;
        EXPECT_EQ(NiD3DVertexShaderConstantMap::LookUpPredefinedMapping(k.m_pcKey, uiCount), k.m_uiMapping)
            << k.m_pcKey;
        EXPECT_EQ(uiCount, k.m_uiCount) << k.m_pcKey;
    }
    EXPECT_EQ(NiD3DPixelShaderConstantMap::LookUpPredefinedMapping("emissive"), 11u);
    EXPECT_EQ(NiD3DPixelShaderConstantMap::LookUpPredefinedMapping("time_3"), 0u);
    // A key longer than any fixed name buffer is compared whole.
    const std::string kLong = std::string(300, 'W') + "_3";
    std::uint32_t uiCount = 0;
    EXPECT_EQ(NiD3DVertexShaderConstantMap::LookUpPredefinedMapping(kLong.c_str(), uiCount), 0u);
    EXPECT_EQ(m_spVertex->AddEntry(kLong.c_str(), DEFINED, 0, 0, 0, nullptr, 0, 0, nullptr, false), 0x80000040u);

    // Types and register counts the set-up gives.
    const struct
    {
        const char* m_pcKey;
        std::uint32_t m_uiExtra, m_uiType, m_uiCount;
    } akSetups[] = {{"WorldViewProj_3", 0, 8, 3}, {"WorldViewProj", 0, 9, 4},    {"TexTransformGlow_3", 0, 8, 3},
                    {"SkinWorldView_3", 0, 9, 4}, {"BoneMatrix3", 20 << 16, 8, 60}, {"SkinBoneMatrix4", 20 << 16, 9, 80},
                    {"EyePos", 0, 7, 0},          {"time", 0, 7, 0}};
    for (const auto& k : akSetups)
    {
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith(k.m_pcKey, k.m_uiExtra);
        const Entry* pkEntry = spMap->GetEntry(k.m_pcKey);
        ASSERT_NE(pkEntry, nullptr) << k.m_pcKey;
        EXPECT_EQ(pkEntry->GetValueType(), k.m_uiType) << k.m_pcKey;
        EXPECT_EQ(pkEntry->GetRegisterCount(), k.m_uiCount) << k.m_pcKey;
    }
}

TEST_F(DefinedValueTest, TransformValuesComeFromTheRenderersMatrices)
{
    const M kWV = Mul(m_kW, m_kV);
    const M kBases[6] = {m_kP, m_kV, m_kW, kWV, Mul(m_kV, m_kP), Mul(kWV, m_kP)};
    std::uint32_t uiCount = 0;
    const auto* pkNames = NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount);
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        const std::uint32_t uiId = pkNames[ui].m_uiMapping;
        if (uiId < 1 || uiId > 24)
            continue;
        M kExpected = kBases[((uiId - 1) % 12) / 2];
        if (uiId % 2 == 0)
            kExpected = Inv(kExpected);
        if (uiId >= 13)
            kExpected = T(kExpected);
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith(pkNames[ui].m_pcName);
        EXPECT_EQ(Draw(*spMap), 0u);
        ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u) << pkNames[ui].m_pcName;
        ExpectMatrix(m_kProgram.m_kCalls[0], kExpected, 1e-4, pkNames[ui].m_pcName);
    }
    // The inverse first, then the transpose.
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith("InvWorldViewProjTranspose");
    Draw(*spMap);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), T(Inv(Mul(kWV, m_kP))), 1e-4, "InvWorldViewProjTranspose");
    // Three registers of the same value.
    spMap = VertexWith("WorldViewProj_3");
    Draw(*spMap);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), Mul(kWV, m_kP), 1e-4, "WorldViewProj_3");
    EXPECT_EQ(spMap->GetEntry("WorldViewProj_3")->GetRegisterCount(), 3u);
}

TEST_F(DefinedValueTest, SkinningValuesAndPalettesComeFromTheSkinInstance)
{
    // Four bones under a root; the skin's frame apart from the root's.
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiXform kRootLocal;
    kRootLocal.m_kRotate.MakeZRotation(0.4f);
    kRootLocal.m_kTranslate = NiVec3(2, 1, 0);
    spRoot->SetLocalTransform(kRootLocal);
    auto spData = NiRefPtr<NiSkinData>(new NiSkinData);
    NiXform kRootToSkin;
    kRootToSkin.m_kRotate.MakeXRotation(0.25f);
    kRootToSkin.m_kTranslate = NiVec3(0, 0, 1);
    kRootToSkin.m_fScale = 2.0f;
    spData->SetRootParentToSkin(kRootToSkin);
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(4);
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    std::vector<NiRefPtr<NiNode>> kBones;
    for (std::uint32_t ui = 0; ui < 4; ++ui)
    {
        spBones[ui].m_kSkinToBone.m_kTranslate = NiVec3(float(ui), 0, 0);
        NiRefPtr<NiNode> spBone = new NiNode;
        NiXform kLocal;
        kLocal.m_kRotate.MakeYRotation(0.1f * float(ui + 1));
        kLocal.m_kTranslate = NiVec3(0, float(ui), 1);
        spBone->SetLocalTransform(kLocal);
        spRoot->AttachChild(spBone);
        kBones.push_back(spBone);
    }
    spData->SetBones(4, std::move(spBones));
    spSkin->SetSkinData(spData);
    spSkin->SetRootParent(spRoot);
    for (std::uint32_t ui = 0; ui < 4; ++ui)
        spSkin->SetBone(ui, kBones[ui]);
    spRoot->Update(0.0f);
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld);
    std::uint32_t uiMatrices = 0;
    const gfx::D3DMATRIX* pkMatrices = m_spRenderer->GetBoneMatrices(spSkin, uiMatrices);
    ASSERT_EQ(uiMatrices, 4u);

    // S takes a skin-frame point to the world.
    const NiXform kSkinToWorld = spRoot->GetWorldTransform().Multiply(kRootToSkin.Invert());
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith("SkinWorldView");
    Draw(*spMap, nullptr, nullptr, spSkin);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    const NiVec3 kPoint(0.5f, -1.0f, 2.0f);
    const NiVec3 kWorldPoint = kSkinToWorld * kPoint;
    M kRow;
    kRow.m[0][0] = kPoint.x, kRow.m[0][1] = kPoint.y, kRow.m[0][2] = kPoint.z, kRow.m[0][3] = 1;
    M kWorldRow;
    kWorldRow.m[0][0] = kWorldPoint.x, kWorldRow.m[0][1] = kWorldPoint.y, kWorldRow.m[0][2] = kWorldPoint.z;
    kWorldRow.m[0][3] = 1;
    M kSV;
    for (int i = 0; i < 16; ++i)
        kSV.m[i / 4][i % 4] = m_kProgram.m_kCalls[0].F(i);
    const M kGot = Mul(kRow, kSV), kWant = Mul(kWorldRow, m_kV);
    for (int j = 0; j < 4; ++j)
        EXPECT_NEAR(kGot.m[0][j], kWant.m[0][j], 1e-4);
    // The other seven from S x V.
    const M kSVP = Mul(kSV, m_kP);
    const char* apcSkin[] = {"InvSkinWorldView", "SkinWorldViewTranspose", "InvSkinWorldViewTranspose",
                             "SkinWorldViewProj", "InvSkinWorldViewProj", "SkinWorldViewProjTranspose",
                             "InvSkinWorldViewProjTranspose"};
    const M akExpected[] = {Inv(kSV), T(kSV), T(Inv(kSV)), kSVP, Inv(kSVP), T(kSVP), T(Inv(kSVP))};
    for (int i = 0; i < 7; ++i)
    {
        spMap = VertexWith(apcSkin[i]);
        Draw(*spMap, nullptr, nullptr, spSkin);
        ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
        ExpectMatrix(m_kProgram.m_kCalls[0], akExpected[i], 1e-3, apcSkin[i]);
        // No skin instance: nothing, and no failure.
        EXPECT_EQ(Draw(*spMap), 0u);
        EXPECT_TRUE(m_kProgram.m_kCalls.empty());
    }

    // Palettes: bone i of the partition at register + i x registers per bone.
    NiSkinPartition::Partition kPartition;
    kPartition.m_usBones = 3;
    kPartition.m_pusBones.reset(new std::uint16_t[3]{2, 0, 3});
    spMap = VertexWith("BoneMatrix4", 20u << 16);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    const ConstantCall& k4 = m_kProgram.m_kCalls[0];
    EXPECT_TRUE(k4.m_bArray);
    EXPECT_EQ(k4.m_uiElements, 3u);
    EXPECT_EQ(k4.m_uiPerElement, 4u);
    for (std::uint32_t uiBone = 0; uiBone < 3; ++uiBone)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(k4.F(uiBone * 16 + i), pkMatrices[kPartition.m_pusBones[uiBone]].m[i / 4][i % 4]);

    spMap = VertexWith("BoneMatrix3", 20u << 16);
    EXPECT_EQ(spMap->GetEntry("BoneMatrix3")->GetRegisterCount(), 60u);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    const ConstantCall& k3 = m_kProgram.m_kCalls[0];
    EXPECT_EQ(k3.m_uiElements, 3u);
    EXPECT_EQ(k3.m_uiPerElement, 3u);
    // Three registers per bone: the bone's first three columns, each with
    // its translation, so a register times (x, y, z, 1) is one coordinate.
    for (std::uint32_t uiBone = 0; uiBone < 3; ++uiBone)
        for (int iCol = 0; iCol < 3; ++iCol)
            for (int iRow = 0; iRow < 4; ++iRow)
                EXPECT_EQ(k3.F(uiBone * 12 + iCol * 4 + iRow),
                          pkMatrices[kPartition.m_pusBones[uiBone]].m[iRow][iCol]);

    // Never more bones than the entry has registers for.
    spMap = VertexWith("SkinBoneMatrix4", 2u << 16);
    Draw(*spMap, nullptr, nullptr, spSkin, &kPartition);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_uiElements, 2u);
    // A bone the skin does not have: nothing read, a failure.
    kPartition.m_pusBones[1] = 9;
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 1u);
    EXPECT_TRUE(m_kProgram.m_kCalls.empty());
    // Without a partition or skin: nothing, no failure.
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, nullptr), 0u);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, nullptr, &kPartition), 0u);
    EXPECT_TRUE(m_kProgram.m_kCalls.empty());
}

TEST_F(DefinedValueTest, ProgramBoneBuffersHoldThreeOrFourRegistersAndRegrowOnChange)
{
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiXform kRootLocal;
    kRootLocal.m_kRotate.MakeZRotation(0.3f);
    kRootLocal.m_kTranslate = NiVec3(1, 2, 3);
    spRoot->SetLocalTransform(kRootLocal);
    NiXform kRootToSkin;
    kRootToSkin.m_kRotate.MakeXRotation(0.5f);
    kRootToSkin.m_kTranslate = NiVec3(0, 1, 0);
    auto spData = NiRefPtr<NiSkinData>(new NiSkinData);
    spData->SetRootParentToSkin(kRootToSkin);
    auto MakeBones = [](std::uint32_t uiCount) {
        auto spBones = std::make_unique<NiSkinData::BoneData[]>(uiCount);
        for (std::uint32_t ui = 0; ui < uiCount; ++ui)
            spBones[ui].m_kSkinToBone.m_kTranslate = NiVec3(0, float(ui), 0);
        return spBones;
    };
    spData->SetBones(2, MakeBones(2));
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spData);
    spSkin->SetRootParent(spRoot);
    std::vector<NiRefPtr<NiNode>> kBones;
    for (std::uint32_t ui = 0; ui < 3; ++ui)
    {
        NiRefPtr<NiNode> spBone = kBones.emplace_back(new NiNode);
        NiXform kLocal;
        kLocal.m_kRotate.MakeYRotation(0.2f * float(ui + 1));
        kLocal.m_kTranslate = NiVec3(float(ui), 0, 1);
        spBone->SetLocalTransform(kLocal);
        spRoot->AttachChild(spBone);
        spSkin->SetBone(ui, spBone);
    }
    spRoot->Update(0.0f);
    const M kS = FromD3D(NiDX9Renderer::XformToD3D(spRoot->GetWorldTransform().Multiply(kRootToSkin.Invert())));
    std::uint32_t uiCount = 0, uiRegisters = 0;
    EXPECT_EQ(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters), nullptr);

    // The plain form makes no program buffer and keeps no skin matrix.
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld);
    gfx::D3DMATRIX kSkinMatrix{};
    EXPECT_EQ(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters), nullptr);
    EXPECT_FALSE(m_spRenderer->GetSkinMatrix(spSkin, kSkinMatrix));

    // Three registers, skin-space bones: 48 bytes per bone, each register a
    // column of the bone matrix, and the skin-to-world matrix kept.
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld, true, 3, false);
    std::uint32_t uiMatrices = 0;
    const gfx::D3DMATRIX* pkMatrices = m_spRenderer->GetBoneMatrices(spSkin, uiMatrices);
    ASSERT_EQ(uiMatrices, 2u);
    const float* pf = m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters);
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(uiCount, 2u);
    EXPECT_EQ(uiRegisters, 3u);
    for (std::uint32_t b = 0; b < 2; ++b)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(pf[b * 12 + r * 4 + c], pkMatrices[b].m[c][r]);
    ASSERT_TRUE(m_spRenderer->GetSkinMatrix(spSkin, kSkinMatrix));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(kSkinMatrix.m[i / 4][i % 4], kS.m[i / 4][i % 4], 1e-5);

    // A BoneMatrix3 palette sends that buffer as it stands.
    NiSkinPartition::Partition kPartition;
    kPartition.m_usBones = 2;
    kPartition.m_pusBones.reset(new std::uint16_t[2]{1, 0});
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith("BoneMatrix3", 20u << 16);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_uiPerElement, 3u);
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ(m_kProgram.m_kCalls[0].F(i), pf[12 + i]);
        EXPECT_EQ(m_kProgram.m_kCalls[0].F(12 + i), pf[i]);
    }

    // Untransposed three registers: each of the four rows without its w.
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld, false, 3, false);
    pf = m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters);
    ASSERT_EQ(uiRegisters, 3u);
    for (std::uint32_t b = 0; b < 2; ++b)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(pf[b * 12 + r * 3 + c], pkMatrices[b].m[r][c]);

    // Four registers, world-space bones: 64 bytes, the transposed bone x S,
    // and no skin matrix. Any count but 3 means 4.
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld, true, 0, true);
    pf = m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters);
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(uiCount, 2u);
    EXPECT_EQ(uiRegisters, 4u);
    EXPECT_FALSE(m_spRenderer->GetSkinMatrix(spSkin, kSkinMatrix));
    for (std::uint32_t b = 0; b < 2; ++b)
    {
        const M kWant = T(Mul(FromD3D(pkMatrices[b]), kS));
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(pf[b * 16 + i], kWant.m[i / 4][i % 4], 1e-5);
    }
    spMap = VertexWith("BoneMatrix4", 20u << 16);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_uiPerElement, 4u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m_kProgram.m_kCalls[0].F(i), pf[16 + i]);
    // A 3-register entry does not read a 4-register buffer.
    spMap = VertexWith("BoneMatrix3", 20u << 16);
    EXPECT_EQ(Draw(*spMap, nullptr, nullptr, spSkin, &kPartition), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m_kProgram.m_kCalls[0].F(i), pkMatrices[1].m[i % 4][i / 4]);

    // A third bone within the same frame regrows the buffer, then a change
    // of matrix size shrinks it.
    spData->SetBones(3, MakeBones(3));
    spSkin->SetSkinData(spData);
    for (std::uint32_t ui = 0; ui < 3; ++ui)
        spSkin->SetBone(ui, kBones[ui]);
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld, true, 4, true);
    ASSERT_NE(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters), nullptr);
    EXPECT_EQ(uiCount, 3u);
    EXPECT_EQ(uiRegisters, 4u);
    m_spRenderer->CalculateBoneMatrices(spSkin, m_kWorld, true, 3, true);
    ASSERT_NE(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters), nullptr);
    EXPECT_EQ(uiCount, 3u);
    EXPECT_EQ(uiRegisters, 3u);
    m_spRenderer->PurgeSkinInstanceRendererData(spSkin);
    EXPECT_EQ(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiCount, uiRegisters), nullptr);
}

TEST_F(DefinedValueTest, TextureTransformsAreSentAsRowsOfTheirAffineMap)
{
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    auto Transformed = [](float fTranslate, float fRotate, float fScale) {
        auto* pkMap = new NiTextureMap;
        pkMap->SetTextureTransform(std::make_unique<NiTextureTransform>(
            NiVec2(fTranslate, -fTranslate), fRotate, NiVec2(fScale, fScale * 0.5f), NiVec2(0.5f, 0.25f), 0));
        return pkMap;
    };
    for (std::uint32_t ui = 0; ui < 6; ++ui)
        spTexturing->SetMap(ui, Transformed(0.1f * float(ui + 1), 0.2f * float(ui), 1.0f + float(ui)));
    spTexturing->SetMap(NiTexturingProperty::DECAL_BASE + 1, Transformed(0.7f, 0.9f, 3.0f));
    auto* pkShaderMap = new NiShaderMap(5);
    pkShaderMap->SetTextureTransform(
        std::make_unique<NiTextureTransform>(NiVec2(0.3f, 0.1f), 1.1f, NiVec2(2, 4), NiVec2(0, 0), 0));
    spTexturing->SetShaderMap(2, pkShaderMap);
    NiRefPtr<NiPropertySet> spState = new NiPropertySet;
    spState->SetProperty(spTexturing);

    const char* apcMaps[] = {"Base", "Dark", "Detail", "Gloss", "Glow", "Bump", "Decal", "Shader"};
    for (std::uint32_t uiBlock = 0; uiBlock < 8; ++uiBlock)
    {
        const NiTextureMap* pkMap = uiBlock < 6    ? spTexturing->GetMap(uiBlock)
                                    : uiBlock == 6 ? spTexturing->GetMap(NiTexturingProperty::DECAL_BASE + 1)
                                                   : pkShaderMap;
        const NiMatrix3x3& kT = pkMap->GetTextureTransform()->GetMatrix();
        // (u, v) -> (m0 u + m1 v + m2, m3 u + m4 v + m5) as row-vector rows.
        M kPlain;
        kPlain.m[0][0] = kT.GetEntry(0, 0), kPlain.m[0][1] = kT.GetEntry(1, 0);
        kPlain.m[1][0] = kT.GetEntry(0, 1), kPlain.m[1][1] = kT.GetEntry(1, 1);
        kPlain.m[3][0] = kT.GetEntry(0, 2), kPlain.m[3][1] = kT.GetEntry(1, 2);
        const std::uint32_t uiExtra = uiBlock >= 6 ? (uiBlock == 6 ? 1 : 2) : 0;
        const std::string kName = apcMaps[uiBlock];
        const std::string akNames[4] = {"TexTransform" + kName, "InvTexTransform" + kName,
                                        "TexTransform" + kName + "Transpose", "InvTexTransform" + kName + "Transpose"};
        M akSent[4];
        for (int iForm = 0; iForm < 4; ++iForm)
        {
            NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith(akNames[iForm].c_str(), uiExtra);
            EXPECT_EQ(Draw(*spMap, nullptr, spState), 0u);
            ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u) << akNames[iForm];
            for (int i = 0; i < 16; ++i)
                akSent[iForm].m[i / 4][i % 4] = m_kProgram.m_kCalls[0].F(i);
        }
        ExpectMatrix(m_kProgram.m_kCalls[0], T(akSent[1]), 0, "InvTranspose is the inverse transposed");
        for (int i = 0; i < 16; ++i)
        {
            EXPECT_NEAR(akSent[0].m[i / 4][i % 4], kPlain.m[i / 4][i % 4], 1e-6) << kName << " " << i;
            EXPECT_EQ(akSent[2].m[i / 4][i % 4], akSent[0].m[i % 4][i / 4]) << kName;
        }
        // The inverse takes a mapped point back.
        M kPoint;
        kPoint.m[0][0] = 0.3, kPoint.m[0][1] = 0.8, kPoint.m[0][3] = 1;
        M kMapped = Mul(kPoint, akSent[0]);
        kMapped.m[0][3] = 1; // the 4x4 form drops w with its zero column
        const M kBack = Mul(kMapped, akSent[1]);
        EXPECT_NEAR(kBack.m[0][0], 0.3, 1e-5) << kName;
        EXPECT_NEAR(kBack.m[0][1], 0.8, 1e-5) << kName;
        EXPECT_EQ(akSent[1].m[2][2], 0.0f);
    }

    // No transform, no map, no property: the identity for all four forms.
    spTexturing->GetMap(0)->SetTextureTransform(nullptr);
    for (const char* pcName : {"TexTransformBase", "InvTexTransformBase", "TexTransformBaseTranspose",
                               "InvTexTransformBaseTranspose", "TexTransformShader"})
    {
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith(pcName, 7);
        Draw(*spMap, nullptr, spState);
        ExpectMatrix(m_kProgram.m_kCalls.at(0), Identity(), 0, pcName);
        Draw(*spMap, nullptr, nullptr);
        ExpectMatrix(m_kProgram.m_kCalls.at(0), Identity(), 0, pcName);
    }
    // A decal past the maps the property holds counts as missing.
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith("TexTransformDecal", 40);
    Draw(*spMap, nullptr, spState);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), Identity(), 0, "decal 40");
    // A transform that flattens everything has no inverse: the identity.
    spTexturing->GetMap(1)->SetTextureTransform(
        std::make_unique<NiTextureTransform>(NiVec2(0.5f, 0.5f), 0.0f, NiVec2(0, 0), NiVec2(0, 0), 0));
    spMap = VertexWith("InvTexTransformDark");
    Draw(*spMap, nullptr, spState);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), Identity(), 0, "singular");
}

TEST_F(DefinedValueTest, MaterialTimeCoefficientsAndAcceptedNamesOnBothMaps)
{
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    spMaterial->SetDiffuseColor(NiColorRGB(0.1f, 0.2f, 0.3f));
    spMaterial->SetAmbientColor(NiColorRGB(0.4f, 0.5f, 0.6f));
    spMaterial->SetSpecularColor(NiColorRGB(0.7f, 0.8f, 0.9f));
    spMaterial->SetEmittance(NiColorRGB(1.0f, 1.5f, 2.0f));
    spMaterial->SetShineness(12.5f);
    spMaterial->SetAlpha(0.75f);
    NiRefPtr<NiPropertySet> spState = new NiPropertySet;
    spState->SetProperty(spMaterial);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(new NiTriShapeData(
        3, new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, nullptr, nullptr, nullptr, 0, 0, 1,
        new std::uint16_t[3]{0, 1, 2}));
    const float fTime = 2.0f;
    auto* pkTime = new NiFloatExtraData(fTime);
    pkTime->SetName("ZRB_UpdateTime");
    spShape->AddExtraData(pkTime);
    const float fSin = float(std::sin(2.0L)), fCos = float(std::cos(2.0L)), fTan = float(std::tan(2.0L));

    using V4 = std::vector<float>;
    const struct
    {
        const char* m_pcKey;
        V4 m_kValue;
    } akCases[] = {{"MaterialDiffuse", {0.1f, 0.2f, 0.3f, 0.75f}}, {"Ambient", {0.4f, 0.5f, 0.6f, 0.75f}},
                   {"Specular", {0.7f, 0.8f, 0.9f, 0.75f}},        {"MaterialEmissive", {1.0f, 1.5f, 2.0f, 0.75f}},
                   {"SpecularPower", {12.5f, 12.5f, 12.5f, 12.5f}}, {"time", {fTime, fTime, fTime, fTime}},
                   {"sin_time", {fSin, fSin, fSin, fSin}},          {"cos_time", {fCos, fCos, fCos, fCos}},
                   {"tan_time", {fTan, fTan, fTan, fTan}},          {"time_sin_cos_tan", {fTime, fSin, fCos, fTan}}};
    for (bool bPixel : {false, true})
    {
        for (const auto& k : akCases)
        {
            NiRefPtr<Map> spMap = bPixel ? static_cast<Map*>(new NiD3DPixelShaderConstantMap(m_spRenderer))
                                         : static_cast<Map*>(new NiD3DVertexShaderConstantMap(m_spRenderer));
            ASSERT_EQ(spMap->AddEntry(k.m_pcKey, DEFINED, 0, 4, 0, nullptr, 0, 0, nullptr, false), 0u) << k.m_pcKey;
            EXPECT_EQ(Draw(*spMap, spShape, spState), 0u);
            ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u) << k.m_pcKey;
            EXPECT_EQ(m_kProgram.m_kCalls[0].m_bPixel, bPixel);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(m_kProgram.m_kCalls[0].F(i), k.m_kValue[i]) << k.m_pcKey << " " << i;
            // No material: nothing, no failure. No time: "unknown entry"
            // with the number.
            const bool bTime = std::string(k.m_pcKey).find("time") != std::string::npos;
            EXPECT_EQ(Draw(*spMap, nullptr, nullptr), bTime ? 1u : 0u);
            EXPECT_TRUE(m_kProgram.m_kCalls.empty());
            if (bTime)
            {
                ASSERT_EQ(s_kLog.size(), 1u);
                char acId[16];
                std::snprintf(acId, sizeof(acId), "0x%8x", spMap->GetEntry(k.m_pcKey)->GetInternal());
                EXPECT_EQ(s_kLog[0], std::string("NiD3DShaderConstantMap::SetShaderConstants - Constant ") +
                                         k.m_pcKey + " has unknown entry " + acId + "\n");
            }
        }
    }
    // A time of another class is no time.
    spShape->RemoveExtraData("ZRB_UpdateTime");
    auto* pkFloats = new NiFloatsExtraData;
    pkFloats->SetName("ZRB_UpdateTime");
    const float afTime[1] = {2.0f};
    pkFloats->SetArray(1, afTime);
    spShape->AddExtraData(pkFloats);
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = VertexWith("time");
    EXPECT_EQ(Draw(*spMap, spShape, spState), 1u);
    EXPECT_NE(s_kLog.at(0).find("Constant time has unknown entry 0x      52"), std::string::npos);

    // Coefficients exactly as stored; lights and eye accepted, nothing sent.
    const std::vector<std::uint32_t> kSin = {0x3F800000, 0xBE257EB5, 0x3C088865, 0xB9500C47};
    const std::vector<std::uint32_t> kCos = {0xBF000000, 0xBD2AAAAA, 0xBAB60B61, 0x37D00D01};
    spMap = VertexWith("TaylorSin");
    Draw(*spMap);
    EXPECT_EQ(m_kProgram.m_kCalls.at(0).m_kWords, kSin);
    EXPECT_FALSE(spMap->GetEntry("TaylorSin")->GetOwnsData());
    ASSERT_EQ(m_spPixel->AddEntry("taylorcos", DEFINED, 0, 0, 0, nullptr, 0, 0, nullptr, false), 0u);
    Draw(*m_spPixel);
    EXPECT_EQ(m_kProgram.m_kCalls.at(0).m_kWords, kCos);
    for (const char* pcName : {"LightPosWS", "LightDirWS", "LightPosOS", "LightDirOS", "EyePos", "EyeDir"})
    {
        spMap = VertexWith(pcName);
        EXPECT_EQ(Draw(*spMap, spShape, spState), 0u);
        EXPECT_TRUE(m_kProgram.m_kCalls.empty()) << pcName;
    }
}

class OperatorTest : public DefinedValueTest
{
protected:
    // Operand entries (no destination) at fixed indices.
    enum : std::uint32_t
    {
        S_FLOAT,
        S_UINT,
        V_POINT,
        V_COLOR,
        M_MATRIX,
        M3_MATRIX,
        OPERANDS
    };
    void SetUp() override
    {
        DefinedValueTest::SetUp();
        if (m_spRenderer == nullptr)
            return;
        const float fScalar = 2.5f;
        const std::uint32_t uiScalar = 3;
        const float afPoint[4] = {1, -2, 3, 4};
        // Diagonally dominant: invertible.
        for (int i = 0; i < 16; ++i)
            m_afMatrix[i] = float((i * 7) % 5) * 0.25f + (i % 5 == 0 ? 5.0f : 0.0f);
        m_spMap = new NiD3DVertexShaderConstantMap(m_spRenderer);
        ASSERT_EQ(m_spMap->AddEntry("s", CONSTANT | 4, 0, NONE, 0, nullptr, 4, 4, &fScalar, true), 0u);
        ASSERT_EQ(m_spMap->AddEntry("u", CONSTANT | 3, 0, NONE, 0, nullptr, 4, 4, &uiScalar, true), 0u);
        ASSERT_EQ(m_spMap->AddEntry("p", CONSTANT, 0, NONE, 0, nullptr, 16, 4, afPoint, true), 0u);
        ASSERT_EQ(m_spMap->AddEntry("c", GLOBAL | 10, 0, NONE, 0, nullptr, 16, 4, m_afColor, false), 0u);
        ASSERT_EQ(m_spMap->AddEntry("m", CONSTANT, 0, NONE, 0, nullptr, 64, 4, m_afMatrix, true), 0u);
        ASSERT_EQ(m_spMap->AddEntry("m3", CONSTANT, 0, NONE, 0, nullptr, 36, 4, m_afMatrix, true), 0u);
    }
    void TearDown() override
    {
        m_spMap = nullptr;
        DefinedValueTest::TearDown();
    }
    // Adds one operator entry at register 0 and draws; the operator entry
    // is removed again.
    std::uint32_t Evaluate(std::uint32_t uiExtra)
    {
        EXPECT_EQ(m_spMap->AddEntry("op", OPERATOR, uiExtra, 0, 0, nullptr, 0, 0, nullptr, false), 0u);
        const std::uint32_t uiResult = Draw(*m_spMap);
        m_spMap->RemoveEntry("op");
        return uiResult;
    }
    static std::uint32_t Encode(std::uint32_t uiOperator, std::uint32_t uiA, std::uint32_t uiB,
                                std::uint32_t uiBits = 0)
    {
        return (uiOperator << 28) | uiBits | (uiB << 12) | uiA;
    }

    float m_afColor[4] = {0.5f, 0.25f, 2.0f, 8.0f};
    float m_afMatrix[16];
    NiRefPtr<NiD3DVertexShaderConstantMap> m_spMap;
};

TEST_F(OperatorTest, EveryListedPairGivesItsResultAndEveryOtherPairNothing)
{
    // Each operand as the slots see it.
    const double afS[2] = {2.5, 3.0};
    const double afVec[2][4] = {{1, -2, 3, 4}, {0.5, 0.25, 2.0, 8.0}};
    M kM;
    for (int i = 0; i < 16; ++i)
        kM.m[i / 4][i % 4] = m_afMatrix[i];
    enum Class
    {
        SCALAR,
        VECTOR,
        MATRIX,
        OTHER
    };
    auto ClassOf = [](std::uint32_t ui) {
        return ui <= S_UINT ? SCALAR : ui <= V_COLOR ? VECTOR : ui == M_MATRIX ? MATRIX : OTHER;
    };
    auto Vec = [&](std::uint32_t ui, int i) {
        if (ClassOf(ui) == SCALAR)
            return i == 0 ? afS[ui] : 0.0;
        return afVec[ui - V_POINT][i];
    };
    int iListed = 0;
    for (std::uint32_t uiOp = 1; uiOp <= 4; ++uiOp)
        for (std::uint32_t uiA = 0; uiA < OPERANDS; ++uiA)
            for (std::uint32_t uiB = 0; uiB < OPERANDS; ++uiB)
            {
                const Class eA = ClassOf(uiA), eB = ClassOf(uiB);
                std::optional<std::vector<double>> kExpected;
                std::vector<double> k(4);
                auto Each = [&](auto f) {
                    for (int i = 0; i < 4; ++i)
                        k[i] = f(i);
                    kExpected = k;
                };
                const double sA = afS[uiA < 2 ? uiA : 0], sB = afS[uiB < 2 ? uiB : 0];
                if (uiOp == 1 && eA == VECTOR && eB == SCALAR)
                    Each([&](int i) { return Vec(uiA, i) * sB; });
                else if (uiOp == 1 && eA == VECTOR && eB == VECTOR)
                    Each([&](int i) { return Vec(uiA, i) * Vec(uiB, i); });
                else if (uiOp == 1 && (eA == VECTOR || eB == VECTOR) && (eA == MATRIX || eB == MATRIX))
                {
                    // The vector times the matrix, whichever side it is on.
                    const std::uint32_t uiV = eA == VECTOR ? uiA : uiB;
                    Each([&](int j) {
                        double f = 0;
                        for (int i = 0; i < 4; ++i)
                            f += Vec(uiV, i) * kM.m[i][j];
                        return f;
                    });
                }
                else if (uiOp == 1 && eA == MATRIX && eB == SCALAR)
                {
                    k.resize(16);
                    for (int i = 0; i < 16; ++i)
                        k[i] = kM.m[i / 4][i % 4] * sB;
                    kExpected = k;
                }
                else if (uiOp == 1 && eA == MATRIX && eB == MATRIX)
                {
                    const M kR = Mul(kM, kM);
                    k.resize(16);
                    for (int i = 0; i < 16; ++i)
                        k[i] = kR.m[i / 4][i % 4];
                    kExpected = k;
                }
                else if (uiOp == 2 && eA == VECTOR && eB == SCALAR)
                    Each([&](int i) { return Vec(uiA, i) * (1.0 / sB); });
                else if (uiOp == 2 && eA == VECTOR && eB == VECTOR)
                    Each([&](int i) { return Vec(uiA, i) / Vec(uiB, i); });
                else if (uiOp == 2 && eA == MATRIX && eB == SCALAR)
                {
                    k.resize(16);
                    for (int i = 0; i < 16; ++i)
                        k[i] = kM.m[i / 4][i % 4] / sB;
                    kExpected = k;
                }
                else if ((uiOp == 3 || uiOp == 4) && eA != MATRIX && eA != OTHER && eB != MATRIX && eB != OTHER)
                {
                    const double fSign = uiOp == 3 ? 1 : -1;
                    Each([&](int i) {
                        const double a = eA == SCALAR && eB == VECTOR ? sA : Vec(uiA, i);
                        const double b = eB == SCALAR && eA == VECTOR ? sB : Vec(uiB, i);
                        return a + fSign * b;
                    });
                }
                const std::string kWhat = "op " + std::to_string(uiOp) + " A " + std::to_string(uiA) + " B " +
                                          std::to_string(uiB);
                const std::uint32_t uiResult = Evaluate(Encode(uiOp, uiA, uiB));
                if (!kExpected)
                {
                    EXPECT_EQ(uiResult, 1u) << kWhat;
                    EXPECT_TRUE(m_kProgram.m_kCalls.empty()) << kWhat;
                    continue;
                }
                ++iListed;
                EXPECT_EQ(uiResult, 0u) << kWhat;
                ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u) << kWhat;
                ASSERT_EQ(m_kProgram.m_kCalls[0].m_kWords.size(), kExpected->size()) << kWhat;
                for (std::size_t i = 0; i < kExpected->size(); ++i)
                    EXPECT_NEAR(m_kProgram.m_kCalls[0].F(i), (*kExpected)[i], 1e-4 * (1 + std::fabs((*kExpected)[i])))
                        << kWhat << " " << i;
            }
    // 17 rows; scalar and vector each come in two kinds.
    EXPECT_EQ(iListed, 2 * 2 + 2 * 2 + 2 * 1 + 1 * 2 + 1 * 2 + 1 + 2 * 2 + 2 * 2 + 2 + (4 + 4 + 4 + 4) * 2);
}

TEST_F(OperatorTest, MatrixResultsAreInvertedThenTransposedOnRequest)
{
    M kM;
    for (int i = 0; i < 16; ++i)
        kM.m[i / 4][i % 4] = m_afMatrix[i];
    const M kProduct = Mul(kM, kM);
    EXPECT_EQ(Evaluate(Encode(1, M_MATRIX, M_MATRIX, 0x01000000)), 0u);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), Inv(kProduct), 1e-4, "inverse");
    EXPECT_EQ(Evaluate(Encode(1, M_MATRIX, M_MATRIX, 0x02000000)), 0u);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), T(kProduct), 1e-4, "transpose");
    EXPECT_EQ(Evaluate(Encode(1, M_MATRIX, M_MATRIX, 0x03000000)), 0u);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), T(Inv(kProduct)), 1e-4, "both");
    // A result without an inverse: the identity.
    const float fZero = 0.0f;
    ASSERT_EQ(m_spMap->AddEntry("zero", CONSTANT | 4, 0, NONE, 0, nullptr, 4, 4, &fZero, true), 0u);
    const std::uint32_t uiZero = static_cast<std::uint32_t>(m_spMap->GetEntryIndex("zero"));
    EXPECT_EQ(Evaluate(Encode(1, M_MATRIX, uiZero, 0x03000000)), 0u);
    ExpectMatrix(m_kProgram.m_kCalls.at(0), Identity(), 0, "singular");
    // A defined operand: "WorldViewProj" times a point.
    ASSERT_EQ(m_spMap->AddEntry("WorldViewProj", DEFINED, 0, NONE, 0, nullptr, 0, 0, nullptr, false), 0u);
    const std::uint32_t uiWVP = static_cast<std::uint32_t>(m_spMap->GetEntryIndex("WorldViewProj"));
    EXPECT_EQ(Evaluate(Encode(1, uiWVP, V_POINT)), 0u);
    const M kWVP = Mul(Mul(m_kW, m_kV), m_kP);
    const double afPoint[4] = {1, -2, 3, 4};
    for (int j = 0; j < 4; ++j)
    {
        double f = 0;
        for (int i = 0; i < 4; ++i)
            f += afPoint[i] * kWVP.m[i][j];
        EXPECT_NEAR(m_kProgram.m_kCalls.at(0).F(j), f, 1e-4 * (1 + std::fabs(f)));
    }
}

TEST_F(OperatorTest, MissingOrEmptyOperandsAreReportedAndSlotsStartEmpty)
{
    // An operand index naming an empty slot, or past the slots.
    ASSERT_EQ(m_spMap->AddEntry("gone", CONSTANT | 4, 0, NONE, 0, nullptr, 4, 4, m_afColor, true), 0u);
    const std::uint32_t uiGone = static_cast<std::uint32_t>(m_spMap->GetEntryIndex("gone"));
    ASSERT_EQ(m_spMap->AddEntry("hole", OPERATOR, Encode(3, V_POINT, uiGone), 0, 0, nullptr, 0, 0, nullptr, false),
              0u);
    ASSERT_EQ(m_spMap->AddEntry("far", OPERATOR, Encode(3, 4000, V_POINT), 1, 0, nullptr, 0, 0, nullptr, false), 0u);
    m_spMap->RemoveEntry("gone");
    TakeReports();
    EXPECT_EQ(Draw(*m_spMap), 1u);
    EXPECT_TRUE(m_kProgram.m_kCalls.empty());
    std::vector<Report> kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 2u);
    EXPECT_EQ(kReports[0].m_kText, "Invalid entries in OperatorConstant\n");
    EXPECT_EQ(kReports[0].m_uiCode, 1u);
    ASSERT_EQ(s_kLog.size(), 2u);
    EXPECT_EQ(s_kLog[1], "NiD3DShaderConstantMap::SetShaderConstants - Constant far failed to be set with unknown "
                         "error\n");
    m_spMap->RemoveEntry("hole");
    m_spMap->RemoveEntry("far");

    // Operands that yield nothing: a palette, time without its extra data,
    // a bool constant.
    const std::uint8_t ucTrue = 1;
    ASSERT_EQ(m_spMap->AddEntry("BoneMatrix4", DEFINED, 0, NONE, 0, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(m_spMap->AddEntry("time", DEFINED, 0, NONE, 0, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(m_spMap->AddEntry("flag", CONSTANT | 1, 0, NONE, 0, nullptr, 1, 1, &ucTrue, true), 0u);
    for (const char* pcKey : {"BoneMatrix4", "time", "flag"})
    {
        const std::uint32_t uiIndex = static_cast<std::uint32_t>(m_spMap->GetEntryIndex(pcKey));
        EXPECT_EQ(Evaluate(Encode(1, V_POINT, uiIndex)), 1u) << pcKey;
        kReports = TakeReports();
        ASSERT_EQ(kReports.size(), 1u) << pcKey;
        EXPECT_EQ(kReports[0].m_kText, "Invalid operands in OperatorConstant\n");
    }

    // Two evaluations in a row: a scalar sum after a vector sum keeps no
    // component of the vectors.
    ASSERT_EQ(m_spMap->AddEntry("first", OPERATOR, Encode(3, V_POINT, V_COLOR), 1, 0, nullptr, 0, 0, nullptr, false),
              0u);
    ASSERT_EQ(m_spMap->AddEntry("second", OPERATOR, Encode(3, S_FLOAT, S_UINT), 2, 0, nullptr, 0, 0, nullptr, false),
              0u);
    EXPECT_EQ(Draw(*m_spMap), 0u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 2u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].F(3), 12.0f);
    EXPECT_EQ(m_kProgram.m_kCalls[1].F(0), 5.5f);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(m_kProgram.m_kCalls[1].F(i), 0.0f) << i;
}

TEST_F(OperatorTest, SettingConstantsAllocatesNothing)
{
    NiRefPtr<NiTriShape> spShape = new NiTriShape(new NiTriShapeData(
        3, new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, nullptr, nullptr, nullptr, 0, 0, 1,
        new std::uint16_t[3]{0, 1, 2}));
    auto* pkTime = new NiFloatExtraData(1.0f);
    pkTime->SetName("ZRB_UpdateTime");
    spShape->AddExtraData(pkTime);
    auto* pkAttribute = new NiFloatExtraData(4.0f);
    pkAttribute->SetName("attr");
    spShape->AddExtraData(pkAttribute);
    NiRefPtr<NiPropertySet> spState = new NiPropertySet;
    spState->SetProperty(new NiMaterialProperty);
    for (const char* pcKey : {"WorldViewProj", "InvWorldViewTranspose", "time_sin_cos_tan", "MaterialDiffuse",
                              "InvTexTransformBase", "TaylorCos"})
        ASSERT_EQ(m_spMap->AddEntry(pcKey, DEFINED, 0, 8, 0, nullptr, 0, 0, nullptr, false), 0u) << pcKey;
    ASSERT_EQ(m_spMap->AddEntry("attr", Entry::SCME_MAP_ATTRIBUTE | 4, 0, 20, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(m_spMap->AddEntry("const", CONSTANT, 0, 21, 1, nullptr, 36, 4, m_afMatrix, true), 0u);
    ASSERT_EQ(m_spMap->AddEntry("global", GLOBAL | 10, 0, 22, 1, nullptr, 16, 4, m_afColor, false), 0u);
    ASSERT_EQ(m_spMap->AddEntry("op", OPERATOR, Encode(1, M_MATRIX, M_MATRIX, 0x03000000), 23, 0, nullptr, 0, 0,
                                nullptr, false),
              0u);
    m_kProgram.m_bRecord = false;
    ASSERT_EQ(m_spMap->SetShaderConstants(&m_kProgram, spShape, nullptr, nullptr, nullptr, spState, nullptr,
                                          m_kWorld, m_kBound, 0, false),
              0u);
    const std::uint32_t uiPerDraw = m_kProgram.m_uiCalls;
    EXPECT_EQ(uiPerDraw, 10u);
    heap_test::HeapCounter kCounter;
    for (int i = 0; i < 10000; ++i)
        m_spMap->SetShaderConstants(&m_kProgram, spShape, nullptr, nullptr, nullptr, spState, nullptr, m_kWorld,
                                    m_kBound, 0, false);
    EXPECT_EQ(kCounter.GetCount(), 0u);
    EXPECT_EQ(m_kProgram.m_uiCalls, uiPerDraw * 10001);
}
} // namespace
} // namespace shader_test
