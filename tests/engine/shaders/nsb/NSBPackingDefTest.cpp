#include "engine/shaders/nsb/NSBPackingDef.h"

#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NSBPackingDefTest = NsbTest;

TEST_F(NSBPackingDefTest, RepeatedStreamAndRegisterOverwritesInPlaceWithAWarning)
{
    NSBPackingDef kDef;
    kDef.SetName("Skin");
    EXPECT_TRUE(kDef.AddPackingEntry(0, 3, 3, 2, 0, 14, 0));
    EXPECT_TRUE(kDef.AddPackingEntry(1, 0, 5, 1, 0, 5, 0));
    EXPECT_TRUE(kDef.AddPackingEntry(0, 3, 0, 3, 1, 0, 2));
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* WARNING: NSBPackingDef::AddPackingEntry\n    Skin - "
                                                      "overwriting stream 0, register 3\n"});
    ASSERT_EQ(kDef.GetEntryCount(), 2u);
    const NSBPackingDef::Entry* pkFirst = kDef.GetFirstEntry();
    EXPECT_EQ(pkFirst->m_iInput, 0);
    EXPECT_EQ(pkFirst->m_uiType, 3u);
    EXPECT_EQ(pkFirst->m_uiUsageIndex, 2u);
    EXPECT_EQ(kDef.GetNextEntry()->m_uiStream, 1u);
}

TEST_F(NSBPackingDefTest, RecordIsNameFlagCountAndSevenWordsPerEntry)
{
    NSBPackingDef kDef;
    kDef.SetName("Skin");
    kDef.SetFixedFunction(true);
    kDef.AddPackingEntry(0, 1, static_cast<std::int32_t>(0x80000002), 6, 2, 14, 1);
    const Bytes kBytes = Save(kDef);
    EXPECT_EQ(kBytes, Text("Skin") + Words({1, 1, 0, 1, 0x80000002, 6, 2, 14, 1}));
    NSBPackingDef kRead;
    ASSERT_TRUE(Load(kRead, kBytes));
    EXPECT_TRUE(kRead.GetFixedFunction());
    EXPECT_EQ(Save(kRead), kBytes);

    NSBPackingDef kEmpty;
    kEmpty.SetName("E");
    EXPECT_EQ(Save(kEmpty), Text("E") + Words({0, 0}));
    for (std::uint32_t uiCount : {0xFFFFFFFFu, 2u})
    {
        Bytes kHostile = kBytes;
        kHostile[12] = static_cast<std::uint8_t>(uiCount);
        kHostile[13] = kHostile[14] = kHostile[15] = static_cast<std::uint8_t>(uiCount >> 8);
        NSBPackingDef kBad;
        EXPECT_FALSE(Load(kBad, kHostile));
        EXPECT_EQ(kBad.GetEntryCount(), 0u);
    }
}

TEST_F(NSBPackingDefTest, InputAndTypeNames)
{
    EXPECT_STREQ(NSBPackingDef::GetParameterName(static_cast<std::int32_t>(0x80000002)), "ExtraData");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(0), "NiPosition");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(12), "NiTexCoord7");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(14), "NiBinormal");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(15), "UNKNOWN");
    EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(6), "Short1");
    EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(19), "Float2H");
    for (std::uint32_t ui = 20; ui <= 27; ++ui)
        EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(ui), "UNKNOWN");
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(6), -1);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(7), 6);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(20), 8);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(26), 16);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(27), -1);
}

TEST_F(NSBPackingDefTest, StreamInfoCountsStreamsAndRefusesStreamsPastTheLast)
{
    NSBPackingDef kDef;
    kDef.AddPackingEntry(0, 0, 0, 2, 0, 14, 0);
    kDef.AddPackingEntry(1, 1, 3, 2, 0, 14, 0);
    kDef.AddPackingEntry(0, 2, 5, 1, 0, 14, 0);
    std::uint32_t uiStreams = 0, uiPerStream = 0;
    ASSERT_TRUE(kDef.GetStreamInfo(uiStreams, uiPerStream));
    EXPECT_EQ(uiStreams, 2u);
    EXPECT_EQ(uiPerStream, 2u);
    kDef.AddPackingEntry(64, 3, 5, 1, 0, 14, 0);
    EXPECT_FALSE(kDef.GetStreamInfo(uiStreams, uiPerStream));
}

namespace
{
class NSBPackingDefDeclarationTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        ASSERT_NE(m_spRenderer, nullptr);
    }
};
} // namespace

// Each stream numbers its own entries: streams 0, 1, 0 give entries 0, 0
// and 1, so the stream that comes back keeps its first entry.
TEST_F(NSBPackingDefTest, EveryStreamNumbersItsOwnEntries)
{
    NSBPackingDef kDef;
    for (std::uint32_t uiStream : {0u, 1u, 0u, 2u, 1u, 0u})
        kDef.AddPackingEntry(uiStream, kDef.GetEntryCount(), 0, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    EXPECT_EQ(kDef.GetStreamEntryIndices(), (std::vector<std::uint32_t>{0, 0, 1, 0, 1, 2}));
}

TEST_F(NSBPackingDefDeclarationTest, EntriesGoInWithTheirTypesUsagesAndMethods)
{
    NSBPackingDef kDef;
    kDef.AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    // Explicit usage: texture coordinates, usage index 3, a method.
    kDef.AddPackingEntry(0, 2, NSBPackingDef::INPUT_TEXCOORD0, 1, 1, 5, 3);
    NiRefPtr<NiD3DShaderDeclaration> spDecl = kDef.GetShaderDeclaration(m_spRenderer);
    ASSERT_NE(spDecl, nullptr);
    const auto* pkPosition = spDecl->GetEntry(0, 0);
    const auto* pkCoords = spDecl->GetEntry(1, 0);
    ASSERT_TRUE(pkPosition && pkCoords);
    EXPECT_EQ(pkPosition->m_iParameter, NSBPackingDef::INPUT_POSITION);
    EXPECT_EQ(pkPosition->m_uiType, 2u);
    EXPECT_EQ(pkPosition->m_uiUsage, 0u); // chosen by the declaration
    EXPECT_EQ(pkCoords->m_iParameter, NSBPackingDef::INPUT_TEXCOORD0);
    EXPECT_EQ(pkCoords->m_uiType, 1u);
    EXPECT_EQ(pkCoords->m_uiUsage, 5u);
    EXPECT_EQ(pkCoords->m_uiUsageIndex, 3u);
    EXPECT_EQ(pkCoords->m_uiMethod, 1u);
    EXPECT_EQ(spDecl->GetEntry(2, 0), nullptr); // two entries per stream
}

TEST_F(NSBPackingDefDeclarationTest, TypesWithoutADeclarationTypeAreLeftOut)
{
    NSBPackingDef kDef;
    kDef.AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    kDef.AddPackingEntry(0, 1, NSBPackingDef::INPUT_COLOR, 6, 0, NSBPackingDef::USAGE_NONE, 0);
    NiRefPtr<NiD3DShaderDeclaration> spDecl = kDef.GetShaderDeclaration(m_spRenderer);
    ASSERT_NE(spDecl, nullptr);
    EXPECT_TRUE(spDecl->GetEntry(0, 0)->IsUsed());
    EXPECT_FALSE(spDecl->GetEntry(1, 0)->IsUsed());
}

TEST_F(NSBPackingDefDeclarationTest, StreamsPastTheLastOrBeyondTheRendererGiveNone)
{
    NSBPackingDef kHigh;
    kHigh.AddPackingEntry(64, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    EXPECT_EQ(kHigh.GetShaderDeclaration(m_spRenderer), nullptr);

    // One stream more than the device has.
    NSBPackingDef kMany;
    for (std::uint32_t ui = 0; ui <= m_spRenderer->GetMaxStreams(); ++ui)
        kMany.AddPackingEntry(ui, ui, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    EXPECT_EQ(kMany.GetShaderDeclaration(m_spRenderer), nullptr);
    EXPECT_EQ(kMany.GetShaderDeclaration(nullptr), nullptr);
}
