#include "engine/shaders/framework/NiD3DShaderConstantMap.h"

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9ShaderConstantCache.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiSCMExtraData.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DShader.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "tests/engine/shaders/framework/ConstantMapTestSupport.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <bit>
#include <cstring>

namespace shader_test
{
namespace
{
using Entry = NiD3DShaderConstantMapEntry;
using Map = NiD3DShaderConstantMap;

constexpr std::uint32_t CONSTANT = Entry::SCME_MAP_CONSTANT;
constexpr std::uint32_t ATTRIBUTE = Entry::SCME_MAP_ATTRIBUTE;
constexpr std::uint32_t GLOBAL = Entry::SCME_MAP_GLOBAL;
constexpr std::uint32_t NONE = Entry::SCME_NO_REGISTER;

std::vector<std::string> s_kLog;

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

NiRefPtr<NiTriShape> Triangle()
{
    auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    auto* pusList = new std::uint16_t[3]{0, 1, 2};
    return new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, pusList));
}

template <class T> T* Named(T* pkExtra, const char* pcName)
{
    pkExtra->SetName(pcName);
    return pkExtra;
}

NiFloatsExtraData* Floats(const char* pcName, std::vector<float> kValues)
{
    auto* pk = Named(new NiFloatsExtraData, pcName);
    pk->SetArray(static_cast<std::uint32_t>(kValues.size()), kValues.data());
    return pk;
}

class ConstantMapTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        s_kLog.clear();
        NiD3DUtility::SetLogHook(+[](const char* pcText) { s_kLog.emplace_back(pcText); });
    }
    void TearDown() override
    {
        NiD3DUtility::SetLogHook(nullptr);
        ShaderTest::TearDown();
    }

    // One draw of the map for the geometry.
    std::uint32_t Set(Map& kMap, NiGeometry* pkGeometry = nullptr, std::uint32_t uiPass = 0, bool bShader = false)
    {
        return kMap.SetShaderConstants(&m_kProgram, pkGeometry, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       m_kWorld, m_kBound, uiPass, bShader);
    }
    // The words of one widened constant (pixel map, register 0).
    std::vector<std::uint32_t> Widened(std::uint32_t uiFlags, const void* pvData, std::uint32_t uiSize,
                                       std::uint32_t uiStride)
    {
        NiRefPtr<NiD3DPixelShaderConstantMap> spMap = new NiD3DPixelShaderConstantMap(nullptr);
        m_kProgram.m_kCalls.clear();
        EXPECT_EQ(spMap->AddEntry("c", CONSTANT | uiFlags, 0, 0, 0, nullptr, uiSize, uiStride, pvData, true), 0u);
        Set(*spMap);
        return m_kProgram.m_kCalls.empty() ? std::vector<std::uint32_t>{} : m_kProgram.m_kCalls[0].m_kWords;
    }

    RecordingProgram m_kProgram;
    NiXform m_kWorld;
    NiBoundSphere m_kBound;
};

TEST_F(ConstantMapTest, EntryKeepsNamesAndDataCopiedOrBorrowed)
{
    NiRefPtr<Entry> spEntry = new Entry;
    spEntry->SetKey("");
    spEntry->SetVariableName("");
    EXPECT_EQ(spEntry->GetKey(), nullptr);
    EXPECT_EQ(spEntry->GetVariableName(), nullptr);

    float afValue[4] = {1, 2, 3, 4};
    spEntry->SetData(16, 4, afValue, true);
    EXPECT_TRUE(spEntry->GetOwnsData());
    EXPECT_NE(spEntry->GetDataSource(), afValue);
    afValue[0] = 9;
    EXPECT_EQ(static_cast<const float*>(spEntry->GetDataSource())[0], 1.0f);
    // A copy of its own copy survives the old copy's release.
    spEntry->SetData(16, 4, spEntry->GetDataSource(), true);
    EXPECT_EQ(static_cast<const float*>(spEntry->GetDataSource())[3], 4.0f);
    spEntry->SetData(16, 16, afValue, false);
    EXPECT_FALSE(spEntry->GetOwnsData());
    EXPECT_EQ(spEntry->GetDataSource(), afValue);
    EXPECT_EQ(spEntry->GetDataStride(), 16u);
    spEntry->SetData(0, 4, afValue, true);
    EXPECT_EQ(spEntry->GetDataSource(), nullptr);

    // One query per type code.
    bool (Entry::*apfnIs[])() const = {&Entry::IsBool,   &Entry::IsUnsignedInt, &Entry::IsFloat,   &Entry::IsPoint2,
                                       &Entry::IsPoint3, &Entry::IsPoint4,      &Entry::IsMatrix3, &Entry::IsMatrix4,
                                       &Entry::IsColor,  &Entry::IsTexture};
    const std::uint32_t auiCode[] = {1, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (std::uint32_t uiType = 0; uiType <= 13; ++uiType)
    {
        spEntry->SetFlags(0x5ABCDE00 | uiType);
        for (std::size_t ui = 0; ui < std::size(auiCode); ++ui)
            EXPECT_EQ((spEntry.Get()->*apfnIs[ui])(), auiCode[ui] == uiType) << uiType;
    }
}

TEST_F(ConstantMapTest, AddingKeepsKeysUniqueFillsHolesAndReportsCodes)
{
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = new NiD3DVertexShaderConstantMap(nullptr);
    const float afFour[4] = {1, 2, 3, 4};
    EXPECT_EQ(spMap->AddEntry("Alpha", CONSTANT, 0, 0, 1, nullptr, 16, 4, afFour, true), 0u);
    EXPECT_EQ(spMap->AddEntry("Beta", CONSTANT, 0, 1, 1, nullptr, 16, 4, afFour, true), 0u);
    EXPECT_EQ(spMap->AddEntry("Gamma", CONSTANT, 0, 2, 1, nullptr, 16, 4, afFour, true), 0u);
    // The same key in other letters: refused, nothing changes.
    EXPECT_EQ(spMap->AddEntry("bETA", CONSTANT, 0, 7, 1, nullptr, 16, 4, afFour, true), 0x80000020u);
    EXPECT_EQ(spMap->GetLastError(), 0x80000020u);
    EXPECT_EQ(spMap->GetEntryCount(), 3u);
    EXPECT_EQ(spMap->GetEntry("BETA")->GetShaderRegister(), 1u);
    // Kinds 0 and 6-15 are no mapping.
    EXPECT_EQ(spMap->AddEntry("Delta", 0x60000000, 0, 0, 1, nullptr, 16, 4, afFour, true), 0x80000040u);
    EXPECT_EQ(spMap->AddEntry("Delta", 0, 0, 0, 1, nullptr, 16, 4, afFour, true), 0x80000040u);
    EXPECT_EQ(spMap->GetEntryCount(), 3u);

    // Removal leaves a hole that keeps the others' indices; the last error
    // comes back as it stood.
    EXPECT_EQ(spMap->RemoveEntry("beta"), 0x80000040u);
    EXPECT_EQ(spMap->GetEntryAtIndex(1), nullptr);
    EXPECT_EQ(spMap->GetEntryIndex("Gamma"), 2);
    EXPECT_EQ(spMap->RemoveEntry("beta"), 0x80000010u);
    EXPECT_EQ(spMap->AddEntry("Epsilon", CONSTANT, 0, 5, 1, nullptr, 16, 4, afFour, true), 0u);
    EXPECT_EQ(spMap->GetEntryIndex("epsilon"), 1);
    EXPECT_EQ(spMap->GetEntryAtIndex(99), nullptr);

    // Entries without a key can be added again and are never found.
    EXPECT_EQ(spMap->AddEntry(nullptr, CONSTANT, 0, 8, 1, nullptr, 16, 4, afFour, true), 0u);
    EXPECT_EQ(spMap->AddEntry("", CONSTANT, 0, 9, 1, nullptr, 16, 4, afFour, true), 0u);
    EXPECT_EQ(spMap->GetEntryCount(), 5u);
    EXPECT_EQ(spMap->GetEntry(""), nullptr);
    EXPECT_EQ(spMap->GetEntry(nullptr), nullptr);

    // Defined entries: flags exactly the kind, then their set-up; a name the
    // map does not know is not added.
    EXPECT_EQ(spMap->AddEntry("worldviewproj", 0x2ABCDE05, 7, 10, 9, "wvp", 0, 0, nullptr, false), 0u);
    const Entry* pkDefined = spMap->GetEntry("WorldViewProj");
    ASSERT_NE(pkDefined, nullptr);
    EXPECT_EQ(pkDefined->GetFlags(), 0x20000000u | Entry::SCME_TYPE_MATRIX4);
    EXPECT_EQ(pkDefined->GetExtra(), 7u);
    EXPECT_EQ(pkDefined->GetRegisterCount(), 4u);
    EXPECT_EQ(pkDefined->GetInternal(), 11u);
    EXPECT_STREQ(pkDefined->GetVariableName(), "wvp");
    const std::uint32_t uiSlots = spMap->GetEntryCount();
    EXPECT_EQ(spMap->AddEntry("Invalid", 0x20000000, 0, 0, 0, nullptr, 0, 0, nullptr, false), 0x80000040u);
    EXPECT_EQ(spMap->AddEntry("Emissive", 0x20000000, 0, 0, 0, nullptr, 0, 0, nullptr, false), 0x80000040u);
    EXPECT_EQ(spMap->GetEntryCount(), uiSlots);
}

TEST_F(ConstantMapTest, ConstantEntriesGetATypeFromTheirSizeOredIn)
{
    NiRefPtr<NiD3DPixelShaderConstantMap> spMap = new NiD3DPixelShaderConstantMap(nullptr);
    const std::uint8_t aucData[64] = {};
    const struct
    {
        std::uint32_t m_uiSize, m_uiFlags, m_uiType;
    } akCases[] = {{8, 0, 5},  {12, 0, 6}, {16, 0, 7}, {36, 0, 8}, {32, 0, 9},
                   {48, 0, 9}, {64, 0, 9}, {4, 0, 0},  {20, 4, 4}, {16, 3, 7}};
    int i = 0;
    for (const auto& k : akCases)
    {
        const std::string kKey = "k" + std::to_string(i++);
        ASSERT_EQ(spMap->AddEntry(kKey.c_str(), CONSTANT | k.m_uiFlags, 0, 0, 1, nullptr, k.m_uiSize, 4, aucData,
                                  true),
                  0u);
        EXPECT_EQ(spMap->GetEntry(kKey.c_str())->GetValueType(), k.m_uiType) << k.m_uiSize;
    }
    // Attribute entries keep their flags and take data only when given.
    ASSERT_EQ(spMap->AddEntry("attr", ATTRIBUTE | 0x00ABCD04, 0, 0, 1, nullptr, 16, 4, nullptr, true), 0u);
    EXPECT_EQ(spMap->GetEntry("attr")->GetFlags(), 0x30ABCD04u);
    EXPECT_EQ(spMap->GetEntry("attr")->GetDataSize(), 0u);
    // A stride of 0 names no element: refused for values with data.
    EXPECT_EQ(spMap->AddEntry("zero", CONSTANT, 0, 0, 1, nullptr, 16, 0, aucData, true), 0x80000040u);
    EXPECT_EQ(spMap->AddEntry("zeroattr", ATTRIBUTE | 4, 0, 0, 1, nullptr, 4, 0, aucData, true), 0x80000040u);
    EXPECT_EQ(spMap->GetEntry("zero"), nullptr);
}

TEST_F(ConstantMapTest, ConstantValuesAreWidenedIntoWholeRegisters)
{
    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::uint32_t aui[1] = {7};
    const std::uint32_t F1 = Bits(1), F2 = Bits(2), F3 = Bits(3), F4 = Bits(4), F5 = Bits(5), F6 = Bits(6),
                        F7 = Bits(7), F8 = Bits(8), F9 = Bits(9);
    using V = std::vector<std::uint32_t>;
    const std::uint8_t ucTrue = 5;
    EXPECT_EQ(Widened(1, &ucTrue, 1, 1), V({1}));
    EXPECT_EQ(Widened(3, aui, 4, 4), V({7, 7, 7, 7}));
    EXPECT_EQ(Widened(4, af, 4, 4), V({F1, F1, F1, F1}));
    // A one-value constant without a type is a float.
    EXPECT_EQ(Widened(0, af, 4, 4), V({F1, F1, F1, F1}));
    EXPECT_EQ(Widened(0, af, 8, 4), V({F1, F2, F1, F2}));
    EXPECT_EQ(Widened(0, af, 12, 4), V({F1, F2, F3, Bits(1.0f)}));
    // Three values of an unsigned int at a stride whose size adds no type.
    const std::uint32_t auiStrided[6] = {7, 0, 8, 0, 9, 0};
    EXPECT_EQ(Widened(3, auiStrided, 24, 8), V({7, 8, 9, 1}));
    EXPECT_EQ(Widened(0, af, 16, 4), V({F1, F2, F3, F4}));
    EXPECT_EQ(Widened(0, af, 32, 4), V({F1, F2, F3, F4, F5, F6, F7, F8, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Widened(0, af, 36, 4), V({F1, F2, F3, 0, F4, F5, F6, 0, F7, F8, F9, 0, 0, 0, 0, 0}));
    V kTwelve(16);
    for (int i = 0; i < 12; ++i)
        kTwelve[i] = Bits(af[i]);
    EXPECT_EQ(Widened(0, af, 48, 4), kTwelve);
    EXPECT_EQ(Widened(0, af, 64, 4).size(), 16u);
    // Elements read at the stride, not packed.
    const float afStrided[4] = {1, -1, 2, -2};
    EXPECT_EQ(Widened(4, afStrided, 16, 8), V({F1, F2, F1, F2}));

    // Five elements form nothing: reported, the map goes on.
    NiRefPtr<NiD3DPixelShaderConstantMap> spMap = new NiD3DPixelShaderConstantMap(nullptr);
    ASSERT_EQ(spMap->AddEntry("five", CONSTANT, 0, 0, 1, nullptr, 20, 4, af, true), 0u);
    ASSERT_EQ(spMap->AddEntry("ok", CONSTANT, 0, 1, 1, nullptr, 16, 4, af, true), 0u);
    m_kProgram.m_kCalls.clear();
    EXPECT_EQ(Set(*spMap), 1u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_kKey, "ok");
    EXPECT_TRUE(m_kProgram.m_kCalls[0].m_bPixel);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_uiCount, 0u);
    ASSERT_EQ(s_kLog.size(), 1u);
    EXPECT_EQ(s_kLog[0], "NiD3DShaderConstantMap::SetShaderConstants - Constant five failed to be set with unknown "
                         "error\n");
}

TEST_F(ConstantMapTest, ValuesThatHoldNoNumberSetNothingAndAreNoFailure)
{
    // Three bytes read as floats would read past them; strings, textures and
    // the reserved types carry no number.
    const char acText[] = "abc";
    NiRefPtr<NiD3DPixelShaderConstantMap> spMap = new NiD3DPixelShaderConstantMap(nullptr);
    ASSERT_EQ(spMap->AddEntry("abc", CONSTANT, 0, 0, 1, nullptr, 3, 1, acText, true), 0u);
    ASSERT_EQ(spMap->AddEntry("str", CONSTANT | 2, 0, 1, 1, nullptr, 4, 4, acText, true), 0u);
    ASSERT_EQ(spMap->AddEntry("tex", CONSTANT | 11, 0, 2, 1, nullptr, 4, 4, acText, true), 0u);
    ASSERT_EQ(spMap->AddEntry("r12", CONSTANT | 12, 0, 3, 1, nullptr, 4, 4, acText, true), 0u);
    ASSERT_EQ(spMap->AddEntry("short", CONSTANT | 4, 0, 4, 1, nullptr, 4, 2, acText, true), 0u);
    m_kProgram.m_kCalls.clear();
    EXPECT_EQ(Set(*spMap), 0u);
    EXPECT_TRUE(m_kProgram.m_kCalls.empty());
    EXPECT_TRUE(s_kLog.empty());
}

TEST_F(ConstantMapTest, SettingSkipsHolesAndOperandOnlyEntriesAndReportsEachFailure)
{
    const float af[4] = {1, 2, 3, 4};
    NiRefPtr<NiD3DPixelShaderConstantMap> spMap = new NiD3DPixelShaderConstantMap(nullptr);
    ASSERT_EQ(spMap->AddEntry("hidden", CONSTANT, 0, NONE, 1, nullptr, 16, 4, af, true), 0u);
    ASSERT_EQ(spMap->AddEntry("named", CONSTANT, 0, NONE, 1, "var", 16, 4, af, true), 0u);
    ASSERT_EQ(spMap->AddEntry("gone", CONSTANT, 0, 3, 1, nullptr, 16, 4, af, true), 0u);
    spMap->RemoveEntry("gone");
    ASSERT_EQ(spMap->AddEntry("time", 0x20000000, 0, 4, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spMap->AddEntry("nodata", ATTRIBUTE | 4, 0, 5, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spMap->AddEntry("tex", ATTRIBUTE | 11, 0, 6, 1, nullptr, 0, 0, nullptr, false), 0u);
    NiRefPtr<NiTriShape> spShape = Triangle();
    spShape->AddExtraData(Floats("tex", {1, 2, 3, 4}));

    m_kProgram.m_kCalls.clear();
    EXPECT_EQ(Set(*spMap, spShape), 1u);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 1u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].m_kKey, "named");
    EXPECT_EQ(spMap->GetCurrentProgram(), &m_kProgram);
    const std::vector<std::string> kExpected = {
        "NiD3DShaderConstantMap::SetShaderConstants - Constant time has unknown entry 0x       3\n",
        "NiD3DShaderConstantMap::SetShaderConstants - Constant nodata has unknown entry 0x       0\n",
        "NiD3DShaderConstantMap::SetShaderConstants - Constant tex has invalid mapping 0x30000000\n",
    };
    EXPECT_EQ(s_kLog, kExpected);

    // A program that refuses.
    s_kLog.clear();
    m_kProgram.m_bAccept = false;
    EXPECT_EQ(Set(*spMap, spShape), 1u);
    ASSERT_EQ(s_kLog.size(), 4u);
    EXPECT_EQ(s_kLog[0], "NiD3DShaderConstantMap::SetShaderConstants - Constant named failed to be set\n");
}

TEST_F(ConstantMapTest, GlobalEntriesReadTheSharedBlockAndReleaseItWithTheMap)
{
    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("Shared", 4, 64, af));
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("Shared", 4, 64, af));
    NiD3DGlobalDataEntry* pkGlobal = NiD3DShaderFactory::GetGlobalDataEntry("Shared");
    ASSERT_NE(pkGlobal, nullptr);
    EXPECT_EQ(pkGlobal->GetRefCount(), 2u);
    {
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = new NiD3DVertexShaderConstantMap(nullptr);
        const void* pvData = pkGlobal->GetData();
        ASSERT_EQ(spMap->AddEntry("Shared", GLOBAL | 6, 0, 0, 1, nullptr, 64, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("p2", GLOBAL | 5, 0, 1, 1, nullptr, 64, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("m3", GLOBAL | 8, 0, 2, 3, nullptr, 64, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("m4", GLOBAL | 9, 0, 5, 4, nullptr, 64, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("b", GLOBAL | 1, 0, 9, 1, nullptr, 64, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("short", GLOBAL | 9, 0, 9, 1, nullptr, 16, 4, pvData, false), 0u);
        ASSERT_EQ(spMap->AddEntry("tex", GLOBAL | 11, 0, 9, 1, nullptr, 16, 4, pvData, false), 0u);
        m_kProgram.m_kCalls.clear();
        EXPECT_EQ(Set(*spMap), 1u); // the short matrix
        ASSERT_EQ(m_kProgram.m_kCalls.size(), 5u);
        using V = std::vector<std::uint32_t>;
        EXPECT_EQ(m_kProgram.m_kCalls[0].m_kWords, V({Bits(1), Bits(2), Bits(3), Bits(1.0f)}));
        EXPECT_EQ(m_kProgram.m_kCalls[1].m_kWords, V({Bits(1), Bits(2), Bits(1), Bits(2)}));
        EXPECT_EQ(m_kProgram.m_kCalls[2].m_kWords, V({Bits(1), Bits(2), Bits(3), 0, Bits(4), Bits(5), Bits(6), 0,
                                                      Bits(7), Bits(8), Bits(9), 0, 0, 0, 0, 0}));
        EXPECT_EQ(m_kProgram.m_kCalls[3].m_kWords.size(), 16u);
        EXPECT_EQ(m_kProgram.m_kCalls[3].m_kWords[15], Bits(16));
        EXPECT_EQ(m_kProgram.m_kCalls[4].m_kWords, V({0})); // first byte of 1.0f
        ASSERT_EQ(s_kLog.size(), 1u);
        EXPECT_NE(s_kLog[0].find("Constant short has unknown entry"), std::string::npos);
    }
    // One reference per global entry of the map: only "Shared" is a key.
    EXPECT_EQ(pkGlobal->GetRefCount(), 1u);
    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("Shared"));
}

TEST_F(ConstantMapTest, AttributeEntriesReadExtraDataOfTheirOwnClassElseTheirOwnData)
{
    NiRefPtr<NiD3DVertexShaderConstantMap> spMap = new NiD3DVertexShaderConstantMap(nullptr);
    const float afOwn[4] = {-1, -2, -3, -4};
    auto Add = [&](const char* pcKey, std::uint32_t uiType, bool bData) {
        ASSERT_EQ(spMap->AddEntry(pcKey, ATTRIBUTE | uiType, 0, spMap->GetEntryCount(), 0, nullptr, bData ? 16 : 0,
                                  4, bData ? afOwn : nullptr, true),
                  0u);
    };
    Add("b", 1, false);
    Add("i", 3, false);
    Add("u", 3, false);
    Add("f", 4, false);
    Add("p2", 5, false);
    Add("p3", 6, false);
    Add("p4", 7, false);
    Add("v4", 7, false);
    Add("m3", 8, false);
    Add("m4", 9, false);
    Add("c", 10, false);
    Add("wrong", 4, true);    // a colour where a float is asked
    Add("few", 9, true);      // four floats where sixteen are asked
    Add("missing", 7, true);  // nothing on the geometry
    NiRefPtr<NiTriShape> spShape = Triangle();
    spShape->AddExtraData(Named(new NiBooleanExtraData(true), "b"));
    spShape->AddExtraData(Named(new NiIntegerExtraData(-2), "i"));
    spShape->AddExtraData(new NiUIntExtraData("u", 77));
    spShape->AddExtraData(Named(new NiFloatExtraData(2.5f), "f"));
    spShape->AddExtraData(Floats("p2", {1, 2}));
    spShape->AddExtraData(Floats("p3", {1, 2, 3}));
    spShape->AddExtraData(Floats("p4", {1, 2, 3, 4}));
    auto* pkVector = Named(new NiVectorExtraData, "v4");
    pkVector->SetValue(5, 6, 7, 8);
    spShape->AddExtraData(pkVector);
    spShape->AddExtraData(Floats("m3", {1, 2, 3, 4, 5, 6, 7, 8, 9}));
    std::vector<float> kSixteen(16);
    for (int i = 0; i < 16; ++i)
        kSixteen[i] = float(i);
    spShape->AddExtraData(Floats("m4", kSixteen));
    auto* pkColor = Named(new NiColorExtraData, "c");
    pkColor->SetValue(0.25f, 0.5f, 0.75f, 1.0f);
    spShape->AddExtraData(pkColor);
    auto* pkWrong = Named(new NiColorExtraData, "wrong");
    pkWrong->SetValue(9, 9, 9, 9);
    spShape->AddExtraData(pkWrong);
    spShape->AddExtraData(Floats("few", {1, 2, 3, 4}));

    m_kProgram.m_kCalls.clear();
    EXPECT_EQ(Set(*spMap, spShape), 0u) << (s_kLog.empty() ? "" : s_kLog[0]);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 14u);
    using V = std::vector<std::uint32_t>;
    const auto& k = m_kProgram.m_kCalls;
    EXPECT_EQ(k[0].m_kWords, V({1}));
    EXPECT_EQ(k[1].m_kWords, V(4, 0xFFFFFFFEu));
    EXPECT_EQ(k[2].m_kWords, V(4, 77u));
    EXPECT_EQ(k[3].m_kWords, V(4, Bits(2.5f)));
    EXPECT_EQ(k[4].m_kWords, V({Bits(1), Bits(2), Bits(1), Bits(2)}));
    EXPECT_EQ(k[5].m_kWords, V({Bits(1), Bits(2), Bits(3), Bits(1.0f)}));
    EXPECT_EQ(k[6].m_kWords, V({Bits(1), Bits(2), Bits(3), Bits(4)}));
    EXPECT_EQ(k[7].m_kWords, V({Bits(5), Bits(6), Bits(7), Bits(8)}));
    EXPECT_EQ(k[8].m_kWords, V({Bits(1), Bits(2), Bits(3), 0, Bits(4), Bits(5), Bits(6), 0, Bits(7), Bits(8),
                                Bits(9), 0, 0, 0, 0, 0}));
    EXPECT_EQ(k[8].m_uiCount, 3u);
    EXPECT_EQ(k[9].m_kWords[5], Bits(5.0f));
    EXPECT_EQ(k[9].m_uiCount, 4u);
    EXPECT_EQ(k[10].m_kWords, V({Bits(0.25f), Bits(0.5f), Bits(0.75f), Bits(1.0f)}));
    EXPECT_EQ(k[10].m_uiCount, 0u);
    // Wrong class or too few values: the entry's own data.
    EXPECT_EQ(k[11].m_kWords, V({Bits(-1), Bits(-2), Bits(-3), Bits(-4)}));
    EXPECT_EQ(k[12].m_kWords, V({Bits(-1), Bits(-2), Bits(-3), Bits(-4)}));
    EXPECT_EQ(k[13].m_kWords, V({Bits(-1), Bits(-2), Bits(-3), Bits(-4)}));

    // Without a geometry nothing can be read.
    s_kLog.clear();
    EXPECT_EQ(Set(*spMap, nullptr), 1u);
    EXPECT_EQ(s_kLog.size(), 14u);
}

TEST_F(ConstantMapTest, AttributeRecordsAreReadInDrawOrderPerPassAndLevel)
{
    // Two maps (pass level, shader level), each with two attribute entries,
    // one of them addressed by variable name only.
    NiRefPtr<NiD3DVertexShaderConstantMap> spPass = new NiD3DVertexShaderConstantMap(nullptr);
    NiRefPtr<NiD3DVertexShaderConstantMap> spShader = new NiD3DVertexShaderConstantMap(nullptr);
    ASSERT_EQ(spPass->AddEntry("a", ATTRIBUTE | 4, 0, 3, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spPass->AddEntry("b", ATTRIBUTE | 4, 0, NONE, 1, "bvar", 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spPass->AddEntry("skip", ATTRIBUTE | 4, 0, NONE, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spShader->AddEntry("b", ATTRIBUTE | 4, 0, 3, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spShader->AddEntry("a", ATTRIBUTE | 4, 0, NONE, 1, "avar", 0, 0, nullptr, false), 0u);
    EXPECT_EQ(spPass->GetAttributeEntryCount(), 2u);

    NiRefPtr<NiTriShape> spShape = Triangle();
    spShape->AddExtraData(Named(new NiFloatExtraData(1.0f), "a"));
    spShape->AddExtraData(Named(new NiFloatExtraData(2.0f), "b"));
    spShape->AddExtraData(Named(new NiFloatExtraData(3.0f), "skip"));
    auto* pkRecords = new NiSCMExtraData(NiD3DShader::SCM_EXTRA_DATA, 0, 16);
    for (std::uint32_t uiPass = 0; uiPass < 2; ++uiPass)
    {
        spPass->AppendSCMRecords(pkRecords, spShape, uiPass, false);
        spShader->AppendSCMRecords(pkRecords, spShape, uiPass, true);
    }
    EXPECT_EQ(pkRecords->GetCount(NiD3DShaderConstantMap::SCM_SIDE_VERTEX), 8u);
    spShape->AddExtraData(pkRecords);
    // The records hold what the geometry had when they were made: new values
    // under the same names show whether a value came from a record.
    spShape->RemoveExtraData("a");
    spShape->RemoveExtraData("b");
    spShape->AddExtraData(Named(new NiFloatExtraData(10.0f), "a"));
    spShape->AddExtraData(Named(new NiFloatExtraData(20.0f), "b"));

    auto Draw = [&](std::uint32_t uiPass) {
        m_kProgram.m_kCalls.clear();
        NiD3DShaderConstantMap::ResetSCMCursors(pkRecords, uiPass);
        Set(*spPass, spShape, uiPass, false);
        Set(*spShader, spShape, uiPass, true);
        std::vector<float> kValues;
        for (const ConstantCall& kCall : m_kProgram.m_kCalls)
            kValues.push_back(kCall.F(0));
        return kValues;
    };
    EXPECT_EQ(Draw(0), std::vector<float>({1, 2, 2, 1}));
    EXPECT_EQ(pkRecords->GetCursor(NiD3DShaderConstantMap::SCM_SIDE_VERTEX), 4u);
    EXPECT_EQ(Draw(1), std::vector<float>({1, 2, 2, 1}));
    EXPECT_EQ(pkRecords->GetCursor(NiD3DShaderConstantMap::SCM_SIDE_VERTEX), 8u);
    // A pass without records: the names.
    EXPECT_EQ(Draw(2), std::vector<float>({10, 20, 20, 10}));
    // Drawn out of order (shader level first): no record matches, the
    // values are still right by name.
    m_kProgram.m_kCalls.clear();
    NiD3DShaderConstantMap::ResetSCMCursors(pkRecords, 0);
    Set(*spShader, spShape, 0, true);
    ASSERT_EQ(m_kProgram.m_kCalls.size(), 2u);
    EXPECT_EQ(m_kProgram.m_kCalls[0].F(0), 20.0f);
}

TEST_F(ConstantMapTest, ShadersRecordAttributeSourcesPerPassInDrawOrder)
{
    // Two passes with a vertex map each, a shader-level vertex map and a
    // pixel map: every side's records run pass by pass, pass map first.
    NiRefPtr<NiD3DShader> spShader = new NiD3DShader;
    NiRefPtr<NiD3DVertexShaderConstantMap> spShaderMap = new NiD3DVertexShaderConstantMap(nullptr);
    NiRefPtr<NiD3DPixelShaderConstantMap> spPixelMap = new NiD3DPixelShaderConstantMap(nullptr);
    ASSERT_EQ(spShaderMap->AddEntry("s", ATTRIBUTE | 4, 0, 0, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spPixelMap->AddEntry("p", ATTRIBUTE | 4, 0, 0, 1, nullptr, 0, 0, nullptr, false), 0u);
    ASSERT_EQ(spPixelMap->AddEntry("absent", ATTRIBUTE | 4, 0, 1, 1, nullptr, 0, 0, nullptr, false), 0u);
    spShader->SetVertexConstantMap(spShaderMap);
    for (std::uint32_t uiPass = 0; uiPass < 2; ++uiPass)
    {
        NiD3DPassPtr spPass = new NiD3DPass;
        NiRefPtr<NiD3DVertexShaderConstantMap> spMap = new NiD3DVertexShaderConstantMap(nullptr);
        ASSERT_EQ(spMap->AddEntry("own", CONSTANT, 0, 0, 1, nullptr, 4, 4, &m_kBound, true), 0u);
        ASSERT_EQ(spMap->AddEntry(uiPass ? "b" : "a", ATTRIBUTE | 4, 0, 1, 1, nullptr, 0, 0, nullptr, false), 0u);
        spPass->SetVertexConstantMap(spMap);
        if (uiPass == 1)
            spPass->SetPixelConstantMap(spPixelMap);
        spShader->SetPass(uiPass, spPass);
    }
    spShader->SetPassCount(2);
    NiRefPtr<NiTriShape> spShape = Triangle();
    for (const char* pcName : {"a", "b", "s", "p"})
        spShape->AddExtraData(Named(new NiFloatExtraData(1.0f), pcName));

    ASSERT_TRUE(spShader->SetupGeometry(spShape));
    auto* pkRecords = NiDynamicCast<NiSCMExtraData>(spShape->GetExtraData(NiD3DShader::SCM_EXTRA_DATA));
    ASSERT_NE(pkRecords, nullptr);
    const std::uint32_t VERTEX = Map::SCM_SIDE_VERTEX, PIXEL = Map::SCM_SIDE_PIXEL;
    ASSERT_EQ(pkRecords->GetCount(VERTEX), 4u);
    const std::uint32_t auiKeys[4] = {Map::MakeSCMKey(0, false, 1), Map::MakeSCMKey(0, true, 0),
                                      Map::MakeSCMKey(1, false, 1), Map::MakeSCMKey(1, true, 0)};
    const char* apcSources[4] = {"a", "s", "b", "s"};
    for (std::uint32_t ui = 0; ui < 4; ++ui)
    {
        EXPECT_EQ(pkRecords->GetEntry(VERTEX, ui)->m_uiKey, auiKeys[ui]) << ui;
        EXPECT_STREQ(pkRecords->GetEntry(VERTEX, ui)->m_spSource->GetName(), apcSources[ui]) << ui;
    }
    // "absent" has nothing to record.
    ASSERT_EQ(pkRecords->GetCount(PIXEL), 1u);
    EXPECT_EQ(pkRecords->GetEntry(PIXEL, 0)->m_uiKey, Map::MakeSCMKey(1, false, 0));

    // Each pass starts at its own first record.
    spShader->FirstPass();
    spShader->NextPass();
    spShader->SetupShaderPrograms(spShape, nullptr, nullptr, nullptr, nullptr, nullptr, m_kWorld, m_kBound);
    EXPECT_EQ(pkRecords->GetCursor(VERTEX), 2u);
    EXPECT_EQ(pkRecords->GetCursor(PIXEL), 0u);
    spShader->FirstPass();
    spShader->SetupShaderPrograms(spShape, nullptr, nullptr, nullptr, nullptr, nullptr, m_kWorld, m_kBound);
    EXPECT_EQ(pkRecords->GetCursor(VERTEX), 0u);
    EXPECT_EQ(pkRecords->GetCursor(PIXEL), 1u); // pass 0 has no pixel records

    // Without attribute entries the records go.
    spShader->SetVertexConstantMap(nullptr);
    spShader->GetPass(0)->SetVertexConstantMap(nullptr);
    spShader->GetPass(1)->SetVertexConstantMap(nullptr);
    spShader->GetPass(1)->SetPixelConstantMap(nullptr);
    ASSERT_TRUE(spShader->SetupGeometry(spShape));
    EXPECT_EQ(spShape->GetExtraData(NiD3DShader::SCM_EXTRA_DATA), nullptr);
}

// A vertex program over a cache of its own, with every register file.
class CachedVertexProgram : public NiD3DVertexShader
{
public:
    CachedVertexProgram()
    {
        gfx::D3DCAPS9 kCaps{};
        kCaps.VertexShaderVersion = 0xFFFE0300;
        kCaps.PixelShaderVersion = 0xFFFF0300;
        kCaps.MaxVertexShaderConst = 32;
        m_spCache = new NiDX9ShaderConstantCache(nullptr, kCaps);
    }
    NiD3DShaderConstantCache* GetConstantCache() const override { return m_spCache; }
    const float* F(std::uint32_t uiRegister) const
    {
        return reinterpret_cast<const float*>(
                   m_spCache->GetValues(NiD3DShaderConstantCache::KIND_FLOAT, NiD3DShaderConstantCache::STAGE_VERTEX)) +
               uiRegister * 4;
    }
    NiDX9ShaderConstantCachePtr m_spCache;
};

TEST_F(ConstantMapTest, RegisterProgramsWriteTheCacheInWholeElements)
{
    NiRefPtr<CachedVertexProgram> spProgram = new CachedVertexProgram;
    NiRefPtr<Entry> spEntry = new Entry;
    spEntry->SetShaderRegister(2);
    spEntry->SetRegisterCount(0);
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_POINT4);
    const float afVector[4] = {1, 2, 3, 4};
    // Count 0 counts as 1.
    EXPECT_TRUE(spProgram->SetVertexShaderConstant(spEntry, afVector, 0, 1));
    EXPECT_EQ(spProgram->F(2)[3], 4.0f);
    // A count of registers takes that many registers of values, advancing:
    // eight floats over two registers put floats 4-7 in the second.
    spEntry->SetRegisterCount(2);
    const float afTwo[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(spProgram->SetVertexShaderConstant(spEntry, afTwo, 0, 2));
    EXPECT_EQ(spProgram->F(2)[0], 1.0f);
    EXPECT_EQ(spProgram->F(3)[0], 5.0f);
    EXPECT_EQ(spProgram->F(3)[3], 8.0f);
    EXPECT_EQ(spProgram->F(4)[0], 0.0f);
    // Fewer values than registers: refused, nothing written.
    spEntry->SetRegisterCount(3);
    EXPECT_FALSE(spProgram->SetVertexShaderConstant(spEntry, afVector, 0, 1));
    EXPECT_EQ(spProgram->F(4)[0], 0.0f);

    // A matrix of four registers needs four registers of values.
    float afMatrix[16];
    for (int i = 0; i < 16; ++i)
        afMatrix[i] = float(i + 1);
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_MATRIX4);
    spEntry->SetRegisterCount(4);
    EXPECT_FALSE(spProgram->SetVertexShaderConstant(spEntry, afVector, 0, 1));
    EXPECT_TRUE(spProgram->SetVertexShaderConstant(spEntry, afMatrix, 0, 4));
    EXPECT_EQ(spProgram->F(5)[3], 16.0f);
    // Past the file: refused.
    spEntry->SetShaderRegister(30);
    EXPECT_FALSE(spProgram->SetVertexShaderConstant(spEntry, afMatrix, 0, 4));
    spEntry->SetShaderRegister(NONE);
    EXPECT_FALSE(spProgram->SetVertexShaderConstant(spEntry, afMatrix, 0, 4));

    // Own data, booleans and integers go to their files.
    const std::uint32_t auiOwn[4] = {5, 6, 7, 8};
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_UNSIGNEDINT);
    spEntry->SetShaderRegister(1);
    spEntry->SetRegisterCount(1);
    spEntry->SetData(16, 4, auiOwn, false);
    EXPECT_TRUE(spProgram->SetVertexShaderConstant(spEntry));
    EXPECT_EQ(spProgram->m_spCache->GetValues(NiD3DShaderConstantCache::KIND_INT,
                                              NiD3DShaderConstantCache::STAGE_VERTEX)[4 + 2],
              7u);
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_BOOL);
    const std::uint32_t uiTrue = 1;
    EXPECT_TRUE(spProgram->SetVertexShaderConstant(spEntry, &uiTrue, 0, 1));
    EXPECT_EQ(spProgram->m_spCache->GetValues(NiD3DShaderConstantCache::KIND_BOOL,
                                              NiD3DShaderConstantCache::STAGE_VERTEX)[1],
              1u);
    // Pixel operations belong to pixel programs.
    EXPECT_FALSE(spProgram->SetPixelShaderConstant(spEntry, &uiTrue, 0, 1));

    // Palettes: element i from element index[i] at register + i x 3.
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_MATRIX3);
    spEntry->SetShaderRegister(10);
    float afPalette[3 * 12];
    for (int i = 0; i < 36; ++i)
        afPalette[i] = float(100 + i);
    const std::uint16_t ausIndex[2] = {2, 0};
    EXPECT_TRUE(spProgram->SetVertexShaderConstantArray(spEntry, afPalette, 2, 3, ausIndex));
    EXPECT_EQ(spProgram->F(10)[0], 124.0f);
    EXPECT_EQ(spProgram->F(13)[0], 100.0f);
    EXPECT_EQ(spProgram->F(15)[3], 111.0f);
    EXPECT_FALSE(spProgram->SetVertexShaderConstantArray(spEntry, afPalette, 2, 3, nullptr));
    spEntry->SetFlags(CONSTANT | Entry::SCME_TYPE_POINT4);
    EXPECT_FALSE(spProgram->SetVertexShaderConstantArray(spEntry, afPalette, 2, 3, ausIndex));
}
TEST_F(ConstantMapTest, APassSetsItsMapsThenTheShadersForItsPrograms)
{
    CreateRenderer();
    ASSERT_NE(m_spRenderer, nullptr);
    NiRefPtr<CachedVertexProgram> spProgram = new CachedVertexProgram;
    NiD3DPassPtr spPass = new NiD3DPass;
    spPass->SetVertexShader(spProgram);
    const float afPass[4] = {1, 2, 3, 4};
    const float afShader[4] = {5, 6, 7, 8};
    NiRefPtr<NiD3DVertexShaderConstantMap> spPassMap = new NiD3DVertexShaderConstantMap(m_spRenderer);
    ASSERT_EQ(spPassMap->AddEntry("c", CONSTANT, 0, 0, 1, nullptr, 16, 4, afPass, true), 0u);
    ASSERT_EQ(spPassMap->AddEntry("a", ATTRIBUTE | 4, 0, 1, 1, nullptr, 0, 0, nullptr, false), 0u);
    spPass->SetVertexConstantMap(spPassMap);
    // A pixel map without a pixel program is not asked.
    NiRefPtr<NiD3DPixelShaderConstantMap> spPixelMap = new NiD3DPixelShaderConstantMap(m_spRenderer);
    ASSERT_EQ(spPixelMap->AddEntry("time", 0x20000000, 0, 0, 1, nullptr, 0, 0, nullptr, false), 0u);
    spPass->SetPixelConstantMap(spPixelMap);
    NiRefPtr<NiD3DShader> spShader = new NiD3DShader;
    spShader->SetPass(0, spPass);
    spShader->SetPassCount(1);
    NiRefPtr<NiD3DVertexShaderConstantMap> spShaderMap = new NiD3DVertexShaderConstantMap(m_spRenderer);
    ASSERT_EQ(spShaderMap->AddEntry("c", CONSTANT, 0, 2, 1, nullptr, 16, 4, afShader, true), 0u);
    spShader->SetVertexConstantMap(spShaderMap);
    spShader->SetPixelConstantMap(spPixelMap);
    NiRefPtr<NiTriShape> spShape = Triangle();
    spShape->AddExtraData(Named(new NiFloatExtraData(9.0f), "a"));

    ASSERT_TRUE(spShader->SetupGeometry(spShape));
    spShader->FirstPass();
    spShader->SetupShaderPrograms(spShape, nullptr, nullptr, nullptr, nullptr, nullptr, m_kWorld, m_kBound);
    EXPECT_EQ(spProgram->F(0)[3], 4.0f);
    EXPECT_EQ(spProgram->F(1)[2], 9.0f);
    EXPECT_EQ(spProgram->F(2)[0], 5.0f);
    EXPECT_EQ(spPassMap->GetCurrentProgram(), spProgram.Get());
    EXPECT_EQ(spPixelMap->GetCurrentProgram(), nullptr);
    EXPECT_TRUE(s_kLog.empty());
}

} // namespace
} // namespace shader_test
