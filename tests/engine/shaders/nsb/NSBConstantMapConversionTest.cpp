#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NiShaderDesc.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

using namespace shader_test;

namespace
{
using Entry = NiD3DShaderConstantMapEntry;

constexpr std::uint32_t CONSTANT = Entry::SCME_MAP_CONSTANT;
constexpr std::uint32_t DEFINED = Entry::SCME_MAP_DEFINED;
constexpr std::uint32_t ATTRIBUTE = Entry::SCME_MAP_ATTRIBUTE;
constexpr std::uint32_t GLOBAL = Entry::SCME_MAP_GLOBAL;
constexpr std::uint32_t OPERATOR = Entry::SCME_MAP_OPERATOR;

class NSBConstantMapConversionTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
    }

    static std::vector<std::string> Keys(const NiD3DShaderConstantMap& kMap)
    {
        std::vector<std::string> kKeys;
        for (std::uint32_t ui = 0; ui < kMap.GetEntryCount(); ++ui)
        {
            const Entry* pkEntry = kMap.GetEntryAtIndex(ui);
            kKeys.emplace_back(pkEntry != nullptr && pkEntry->GetKey() ? pkEntry->GetKey() : "-");
        }
        return kKeys;
    }
    static std::uint32_t GlobalCount(const char* pcName)
    {
        const NiD3DGlobalDataEntry* pkEntry = NiD3DShaderFactory::GetGlobalDataEntry(pcName);
        return pkEntry != nullptr ? pkEntry->GetRefCount() : 0;
    }
    std::vector<std::string> ReportTexts()
    {
        std::vector<std::string> kTexts;
        for (const Report& k : TakeReports())
            kTexts.push_back(k.m_kText);
        return kTexts;
    }
};

const char* FirstDefinedName(bool bPixel)
{
    std::uint32_t uiCount = 0;
    return bPixel ? NiD3DPixelShaderConstantMap::GetPredefinedNames(uiCount)[1].m_pcName
                  : NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount)[1].m_pcName;
}
} // namespace

TEST_F(NSBConstantMapConversionTest, EveryKindReachesTheRendererMapAndOnlyCommonAndDX9ListsAreRead)
{
    const float afConstant[4] = {1, 2, 3, 4};
    const float afGlobal[4] = {5, 6, 7, 8};
    NiShaderDescPtr spDesc = new NiShaderDesc;
    NSBAttributeDescPtr spAttr = new NSBAttributeDesc;
    spAttr->SetName("Tint");
    const float afTint[3] = {0.5f, 0.25f, 0.125f};
    spAttr->SetValue_Point3(afTint);
    spDesc->AddAttribute(spAttr);

    for (bool bPixel : {true, false})
    {
        SCOPED_TRACE(bPixel ? "pixel" : "vertex");
        NSBConstantMapPtr spNSB = new NSBConstantMap;
        spNSB->SetProgramType(bPixel ? NSBConstantMap::PROGRAM_PIXEL : NSBConstantMap::PROGRAM_VERTEX);
        ASSERT_TRUE(spNSB->AddEntry("Const", CONSTANT | 7, 3, 4, 1, "gConst", 16, 4, afConstant, true));
        ASSERT_TRUE(spNSB->AddEntry(FirstDefinedName(bPixel), DEFINED, 0, 5, 1, nullptr, 0, 0, nullptr, false));
        ASSERT_TRUE(spNSB->AddEntry("Tint", ATTRIBUTE | 6, 9, 6, 1, nullptr, 0, 0, nullptr, false));
        ASSERT_TRUE(spNSB->AddEntry("Shared", GLOBAL | 7, 9, 7, 1, "gShared", 16, 4, afGlobal, true));
        ASSERT_TRUE(spNSB->AddEntry("Op", OPERATOR | 7, 0x00010002, 8, 1, nullptr, 0, 0, nullptr, false));
        ASSERT_TRUE(spNSB->AddPlatformSpecificEntry(NSBConstantMap::PLATFORM_DX9, "OnDX9", CONSTANT, 0, 9, 1,
                                                    nullptr, 16, 4, afConstant, true));
        ASSERT_TRUE(spNSB->AddPlatformSpecificEntry(NSBConstantMap::PLATFORM_DX8 | NSBConstantMap::PLATFORM_XBOX,
                                                    "Elsewhere", CONSTANT, 0, 10, 1, nullptr, 16, 4, afConstant,
                                                    true));

        NiD3DShaderConstantMapPtr spMap;
        if (bPixel)
            spMap = spNSB->GetD3DSCM_Pixel(m_spRenderer, spDesc);
        else
            spMap = spNSB->GetD3DSCM_Vertex(m_spRenderer, spDesc);
        ASSERT_NE(spMap, nullptr);
        EXPECT_TRUE(ReportTexts().empty());
        EXPECT_EQ(Keys(*spMap), (std::vector<std::string>{"Const", FirstDefinedName(bPixel), "Tint", "Shared", "Op",
                                                          "OnDX9"}));

        // Constant entries lend the binary map's own bytes.
        const Entry* pkConst = spMap->GetEntry("Const");
        EXPECT_EQ(pkConst->GetDataSource(), spNSB->FindEntry("Const")->GetDataSource());
        EXPECT_FALSE(pkConst->GetOwnsData());
        EXPECT_EQ(pkConst->GetExtra(), 3u);
        EXPECT_STREQ(pkConst->GetVariableName(), "gConst");

        // The attribute's value is copied; only the vertex side keeps the extra.
        const Entry* pkTint = spMap->GetEntry("Tint");
        EXPECT_TRUE(pkTint->GetOwnsData());
        EXPECT_EQ(pkTint->GetDataSize(), 12u);
        EXPECT_EQ(pkTint->GetDataStride(), 4u);
        EXPECT_EQ(std::memcmp(pkTint->GetDataSource(), afTint, 12), 0);
        EXPECT_EQ(pkTint->GetExtra(), bPixel ? 0u : 9u);

        // The global entry reads the factory's shared block, stride = size,
        // no extra, and holds one use of it while the map lives.
        const NiD3DGlobalDataEntry* pkGlobal = NiD3DShaderFactory::GetGlobalDataEntry("Shared");
        ASSERT_NE(pkGlobal, nullptr);
        EXPECT_EQ(pkGlobal->GetType(), 7u);
        EXPECT_EQ(std::memcmp(pkGlobal->GetData(), afGlobal, 16), 0);
        const Entry* pkShared = spMap->GetEntry("Shared");
        EXPECT_EQ(pkShared->GetDataSource(), pkGlobal->GetData());
        EXPECT_EQ(pkShared->GetDataStride(), 16u);
        EXPECT_EQ(pkShared->GetExtra(), 0u);
        EXPECT_EQ(GlobalCount("Shared"), 1u);

        EXPECT_EQ(spMap->GetEntry("Op")->GetExtra(), 0x00010002u);
        EXPECT_EQ(spMap->GetEntry("Elsewhere"), nullptr);
        spMap = nullptr;
        EXPECT_EQ(GlobalCount("Shared"), 0u);
    }
}

TEST_F(NSBConstantMapConversionTest, NoMapWithoutRendererForAnotherKindOrWithoutEntries)
{
    NSBConstantMapPtr spNSB = new NSBConstantMap;
    spNSB->SetProgramType(NSBConstantMap::PROGRAM_PIXEL);
    EXPECT_EQ(spNSB->GetD3DSCM_Pixel(m_spRenderer, nullptr), nullptr);
    // An entry only in a list this renderer never reads still makes a map.
    ASSERT_TRUE(spNSB->AddPlatformSpecificEntry(NSBConstantMap::PLATFORM_XBOX, "X", CONSTANT, 0, 0, 1, nullptr, 0, 0,
                                                nullptr, false));
    EXPECT_EQ(spNSB->GetD3DSCM_Pixel(nullptr, nullptr), nullptr);
    EXPECT_EQ(spNSB->GetD3DSCM_Vertex(m_spRenderer, nullptr), nullptr);
    NiD3DShaderConstantMapPtr spMap = spNSB->GetD3DSCM_Pixel(m_spRenderer, nullptr);
    ASSERT_NE(spMap, nullptr);
    EXPECT_EQ(spMap->GetEntryCount(), 0u);
    spNSB->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    EXPECT_EQ(spNSB->GetD3DSCM_Pixel(m_spRenderer, nullptr), nullptr);
    spMap = spNSB->GetD3DSCM_Vertex(m_spRenderer, nullptr);
    EXPECT_NE(spMap, nullptr);
    EXPECT_TRUE(TakeReports().empty());
}

TEST_F(NSBConstantMapConversionTest, AttributeValuesTakeTheSizeAndStrideOfTheirType)
{
    struct Case
    {
        const char* m_pcName;
        std::uint32_t m_uiSize;
        std::uint32_t m_uiStride;
    };
    NiShaderDescPtr spDesc = new NiShaderDesc;
    auto Add = [&](const char* pcName) {
        NSBAttributeDescPtr spAttr = new NSBAttributeDesc;
        spAttr->SetName(pcName);
        spDesc->AddAttribute(spAttr);
        return spAttr;
    };
    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Add("Bool")->SetValue_Bool(true);
    Add("String")->SetValue_String("abc");
    Add("EmptyString")->SetValue_String("");
    Add("UInt")->SetValue_UnsignedInt(0xDEADBEEF);
    Add("Float")->SetValue_Float(2.5f);
    Add("Point2")->SetValue_Point2(af);
    Add("Point3")->SetValue_Point3(af);
    Add("Point4")->SetValue_Point4(af);
    Add("Matrix3")->SetValue_Matrix3(af);
    Add("Matrix4")->SetValue_Matrix4(af);
    Add("Color")->SetValue_ColorA(af);
    Add("Texture")->SetValue_Texture(3, "stone.dds");
    Add("Undefined");
    const std::vector<Case> kCases = {{"Bool", 1, 1},    {"String", 3, 1},  {"EmptyString", 0, 1}, {"UInt", 4, 4},
                                      {"Float", 4, 4},   {"Point2", 8, 4},  {"Point3", 12, 4},     {"Point4", 16, 4},
                                      {"Matrix3", 36, 4}, {"Matrix4", 64, 4}, {"Color", 16, 4},    {"Texture", 9, 1},
                                      {"Undefined", 0, 0}};

    NSBConstantMapPtr spNSB = new NSBConstantMap;
    spNSB->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    for (const Case& k : kCases)
        ASSERT_TRUE(spNSB->AddEntry(k.m_pcName, ATTRIBUTE, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    NiD3DShaderConstantMapPtr spMap = spNSB->GetD3DSCM_Vertex(m_spRenderer, spDesc);
    ASSERT_NE(spMap, nullptr);
    EXPECT_TRUE(TakeReports().empty());
    for (const Case& k : kCases)
    {
        SCOPED_TRACE(k.m_pcName);
        const Entry* pkEntry = spMap->GetEntry(k.m_pcName);
        ASSERT_NE(pkEntry, nullptr);
        EXPECT_EQ(pkEntry->GetDataSize(), k.m_uiSize);
        if (k.m_uiSize != 0)
        {
            EXPECT_EQ(pkEntry->GetDataStride(), k.m_uiStride);
        }
    }
    EXPECT_EQ(std::memcmp(spMap->GetEntry("String")->GetDataSource(), "abc", 3), 0);
    EXPECT_EQ(std::memcmp(spMap->GetEntry("Texture")->GetDataSource(), "stone.dds", 9), 0);
    EXPECT_EQ(*static_cast<const std::uint8_t*>(spMap->GetEntry("Bool")->GetDataSource()), 1u);
    EXPECT_EQ(std::memcmp(spMap->GetEntry("Matrix3")->GetDataSource(), af, 36), 0);
    EXPECT_EQ(std::memcmp(spMap->GetEntry("Matrix4")->GetDataSource(), af, 64), 0);
    std::uint32_t uiValue = 0;
    std::memcpy(&uiValue, spMap->GetEntry("UInt")->GetDataSource(), 4);
    EXPECT_EQ(uiValue, 0xDEADBEEFu);
}

TEST_F(NSBConstantMapConversionTest, FailingEntriesAreReportedAndSkippedAndGlobalUsesBalance)
{
    const float af[4] = {1, 2, 3, 4};
    NiShaderDescPtr spDesc = new NiShaderDesc;
    // Someone else already shares "Busy" as a point3.
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("Busy", 6, 12, af));

    NSBConstantMapPtr spNSB = new NSBConstantMap;
    spNSB->SetProgramType(NSBConstantMap::PROGRAM_PIXEL);
    ASSERT_TRUE(spNSB->AddEntry("Missing", ATTRIBUTE | 4, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    ASSERT_TRUE(spNSB->AddEntry("Shared", GLOBAL | 7, 0, 1, 1, nullptr, 16, 4, af, true));
    ASSERT_TRUE(spNSB->AddEntry("Busy", GLOBAL | 7, 0, 2, 1, nullptr, 16, 4, af, true));
    ASSERT_TRUE(spNSB->AddEntry("Bad", 0x60000000, 0, 3, 1, nullptr, 0, 0, nullptr, false));
    // The DX9 list repeats a global key: the renderer map refuses it.
    ASSERT_TRUE(spNSB->AddPlatformSpecificEntry(NSBConstantMap::PLATFORM_DX9, "Shared", GLOBAL | 7, 0, 4, 1, nullptr,
                                                16, 4, af, true));
    ASSERT_TRUE(spNSB->AddEntry("Kept", CONSTANT, 0, 5, 1, nullptr, 16, 4, af, true));

    NiD3DShaderConstantMapPtr spMap = spNSB->GetD3DSCM_Pixel(m_spRenderer, spDesc);
    ASSERT_NE(spMap, nullptr);
    auto Failed = [](const char* pcKey) {
        return std::string("* ERROR: NSBConstantMap::GetD3DSCM_Pixel\n    Failed processing of entry ") + pcKey + "\n";
    };
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{Failed("Missing"), Failed("Busy"), Failed("Bad"),
                                                       Failed("Shared")}));
    EXPECT_EQ(Keys(*spMap), (std::vector<std::string>{"Shared", "Kept"}));
    // One use for the map's entry; the refused repeat took none, and the
    // block of another type kept only its first user.
    EXPECT_EQ(GlobalCount("Shared"), 1u);
    EXPECT_EQ(GlobalCount("Busy"), 1u);
    EXPECT_EQ(NiD3DShaderFactory::GetGlobalDataEntry("Busy")->GetType(), 6u);

    // Without a description every attribute entry fails; on the vertex
    // side the message names the vertex conversion.
    NSBConstantMapPtr spVertex = new NSBConstantMap;
    spVertex->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    ASSERT_TRUE(spVertex->AddEntry("Tint", ATTRIBUTE | 4, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    NiD3DShaderConstantMapPtr spVMap = spVertex->GetD3DSCM_Vertex(m_spRenderer, nullptr);
    ASSERT_NE(spVMap, nullptr);
    EXPECT_EQ(ReportTexts(), (std::vector<std::string>{
                                 "* ERROR: NSBConstantMap::GetD3DSCM_Vertex\n    Failed processing of entry Tint\n"}));
    EXPECT_EQ(spVMap->GetEntryCount(), 0u);

    spMap = nullptr;
    EXPECT_EQ(GlobalCount("Shared"), 0u);
    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("Busy"));
    EXPECT_EQ(GlobalCount("Busy"), 0u);
}
