#include "engine/scene/NiExtraData.h"

#include "engine/scene/NiBinaryExtraData.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiIntegersExtraData.h"
#include "engine/scene/NiSCMExtraData.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiStringsExtraData.h"
#include "engine/scene/NiSwitchStringExtraData.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "engine/scene/NiVertWeightsExtraData.h"
#include "tests/engine/scene/SceneTestSupport.h"

#include <cstring>
#include <string>

using namespace scene_test;

namespace
{
class NiExtraDataTest : public SceneTest
{
protected:
    // Saves the entry alone, loads it back and checks it equal; returns it.
    NiObject* RoundTrip(NiExtraData* pkExtra)
    {
        std::vector<std::uint8_t> kBytes = Save({pkExtra});
        EXPECT_TRUE(Load(kBytes));
        if (m_kLoaded.size() != 1)
            return nullptr;
        EXPECT_TRUE(m_kLoaded[0]->IsEqual(pkExtra));
        EXPECT_EQ(Save({m_kLoaded[0]}), kBytes) << "saved again byte for byte";
        return m_kLoaded[0];
    }
};

std::vector<std::string> Viewer(NiObject* pkObject)
{
    NiViewerStringArray kStrings;
    pkObject->AppendViewerStrings(kStrings);
    std::vector<std::string> k;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        k.emplace_back(kStrings.GetAt(i));
        delete[] kStrings.GetAt(i);
    }
    return k;
}

bool Contains(const std::vector<std::string>& k, const std::string& kLine)
{
    for (const std::string& kOne : k)
    {
        if (kOne == kLine)
            return true;
    }
    return false;
}
} // namespace

TEST_F(NiExtraDataTest, OneStringEntrySavesTo98Bytes)
{
    NiRefPtr<NiStringExtraData> sp = new NiStringExtraData("b");
    sp->SetName("a");
    std::vector<std::uint8_t> kSaved = Save({sp});
    Bytes kExpected;
    kExpected.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(1);
    kExpected.U16(1).Str("NiStringExtraData").U16(0).U32(0).Str("a").Str("b").U32(1).U32(0);
    ASSERT_EQ(kSaved.size(), 98u);
    EXPECT_EQ(kSaved, kExpected.m_kBytes);
}

TEST_F(NiExtraDataTest, EveryPayloadSurvivesARoundTrip)
{
    std::uint8_t* pucBytes = new std::uint8_t[3]{9, 8, 7};
    NiRefPtr<NiBinaryExtraData> spBinary = new NiBinaryExtraData(3, pucBytes);
    NiRefPtr<NiVectorExtraData> spVector = new NiVectorExtraData;
    spVector->SetValue(1, 2, 3, 4);
    NiRefPtr<NiColorExtraData> spColor = new NiColorExtraData;
    spColor->SetValue(0.5f, 0.25f, 1, 0.75f);
    const char* apcTexts[] = {"one", nullptr, "three"};
    NiRefPtr<NiStringsExtraData> spStrings = new NiStringsExtraData;
    spStrings->SetValue(3, apcTexts);
    NiRefPtr<NiSwitchStringExtraData> spSwitch = new NiSwitchStringExtraData;
    spSwitch->SetValue(3, apcTexts);
    spSwitch->SetIndex(2);
    const std::int32_t aiValues[] = {-1, 0, 7};
    NiRefPtr<NiIntegersExtraData> spIntegers = new NiIntegersExtraData;
    spIntegers->SetArray(3, aiValues);
    const float afValues[] = {0.5f, -2.0f};
    NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
    spFloats->SetArray(2, afValues);
    NiRefPtr<NiIntegerExtraData> spInteger = new NiIntegerExtraData(-42);
    NiRefPtr<NiFloatExtraData> spFloat = new NiFloatExtraData(3.5f);
    NiRefPtr<NiBooleanExtraData> spBool = new NiBooleanExtraData(true);
    NiRefPtr<NiStringExtraData> spString = new NiStringExtraData("text");
    NiRefPtr<NiExtraData> spPlain = new NiExtraData("plain");

    NiExtraData* apkAll[] = {spBinary, spVector, spColor, spStrings, spSwitch, spIntegers,
                             spFloats, spInteger, spFloat, spBool, spString, spPlain};
    for (NiExtraData* pk : apkAll)
    {
        SCOPED_TRACE(pk->GetTypeInfo()->GetName());
        pk->SetName(pk == spPlain ? "plain" : pk->GetTypeInfo()->GetName());
        NiObject* pkBack = RoundTrip(pk);
        ASSERT_NE(pkBack, nullptr);
        EXPECT_EQ(pkBack->GetTypeInfo(), pk->GetTypeInfo());
        EXPECT_STREQ(static_cast<NiExtraData*>(pkBack)->GetName(), pk->GetName());

        // Clones copy deeply and compare equal.
        NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
        NiObjectPtr spClone = pk->Clone();
        if (pk != spPlain)
        {
            EXPECT_NE(spClone.Get(), pk);
        }
        EXPECT_TRUE(spClone->IsEqual(pk));
    }
    auto* pkStrings = static_cast<NiStringsExtraData*>(RoundTrip(spStrings));
    ASSERT_NE(pkStrings, nullptr);
    EXPECT_EQ(pkStrings->GetValue(1), nullptr) << "a null string stays null";
    EXPECT_STREQ(pkStrings->GetValue(2), "three");
}

TEST_F(NiExtraDataTest, DefaultsCopiesAndAccessors)
{
    NiRefPtr<NiColorExtraData> spColor = new NiColorExtraData;
    EXPECT_EQ(spColor->GetValue(), NiColorRGBA(0, 0, 0, 1));
    NiRefPtr<NiSwitchStringExtraData> spSwitch = new NiSwitchStringExtraData;
    EXPECT_EQ(spSwitch->GetIndex(), -1);
    EXPECT_EQ(spSwitch->GetSize(), 0u);

    const char* apcTexts[] = {"a", "b"};
    spSwitch->SetValue(2, apcTexts);
    spSwitch->SetIndex(1);
    NiObjectPtr spKept = spSwitch->Clone();
    EXPECT_EQ(static_cast<NiSwitchStringExtraData*>(spKept.Get())->GetIndex(), 1);
    spSwitch->SetIndex(2);
    NiObjectPtr spReset = spSwitch->Clone();
    EXPECT_EQ(static_cast<NiSwitchStringExtraData*>(spReset.Get())->GetIndex(), -1) << "an index out of range";

    NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
    const float af[] = {1.0f, 2.0f};
    spFloats->SetArray(2, af);
    EXPECT_TRUE(spFloats->SetValue(1, 5.0f));
    EXPECT_EQ(spFloats->GetValue(1), 5.0f);
    EXPECT_FALSE(spFloats->SetValue(2, 5.0f));
    EXPECT_EQ(spFloats->GetValue(2), 0.0f);

    NiRefPtr<NiIntegersExtraData> spEmpty = new NiIntegersExtraData;
    spEmpty->SetArray(0, nullptr);
    NiObjectPtr spEmptyCopy = spEmpty->Clone();
    EXPECT_EQ(static_cast<NiIntegersExtraData*>(spEmptyCopy.Get())->GetArray(), nullptr);

    NiRefPtr<NiExtraData> spUnnamed = new NiExtraData("");
    EXPECT_EQ(spUnnamed->GetName(), nullptr);
}

TEST_F(NiExtraDataTest, EqualityComparesClassesThenPayloadAndNamesOnlyForThePlainClass)
{
    NiRefPtr<NiIntegerExtraData> spA = new NiIntegerExtraData(3);
    NiRefPtr<NiIntegerExtraData> spB = new NiIntegerExtraData(3);
    spA->SetName("a");
    spB->SetName("b");
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->SetValue(4);
    EXPECT_FALSE(spA->IsEqual(spB));
    EXPECT_FALSE(spA->IsEqual(nullptr));

    NiRefPtr<NiExtraData> spPlainA = new NiExtraData("a");
    NiRefPtr<NiExtraData> spPlainB = new NiExtraData("b");
    NiRefPtr<NiExtraData> spPlainNone = new NiExtraData;
    EXPECT_FALSE(spPlainA->IsEqual(spPlainB));
    EXPECT_FALSE(spPlainA->IsEqual(spPlainNone));
    NiRefPtr<NiExtraData> spOtherNone = new NiExtraData;
    EXPECT_TRUE(spPlainNone->IsEqual(spOtherNone));

    // Same payload bits in different classes are different things.
    NiRefPtr<NiIntegersExtraData> spIntegers = new NiIntegersExtraData;
    NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
    EXPECT_FALSE(spIntegers->IsEqual(spFloats));
    EXPECT_FALSE(spFloats->IsEqual(spIntegers));
    NiRefPtr<NiStringExtraData> spNull = new NiStringExtraData;
    NiRefPtr<NiStringExtraData> spText = new NiStringExtraData("x");
    EXPECT_FALSE(spNull->IsEqual(spText));
    NiRefPtr<NiStringExtraData> spOtherNull = new NiStringExtraData;
    EXPECT_TRUE(spNull->IsEqual(spOtherNull));
}

TEST_F(NiExtraDataTest, ViewerLinesFollowTheClassFormats)
{
    NiRefPtr<NiVectorExtraData> spVector = new NiVectorExtraData;
    spVector->SetValue(1, 2, 3, 0.5f);
    std::vector<std::string> kLines = Viewer(spVector);
    EXPECT_TRUE(Contains(kLines, "--- NiExtraData ---"));
    EXPECT_TRUE(Contains(kLines, "m_pcName = NULL"));
    EXPECT_TRUE(Contains(kLines, "--- NiVectorExtraData ---"));
    EXPECT_TRUE(Contains(kLines, "Vector = (1.000,2.000,3.000,0.500)"));

    const char* apcTexts[] = {"x", nullptr};
    NiRefPtr<NiSwitchStringExtraData> spSwitch = new NiSwitchStringExtraData;
    spSwitch->SetValue(2, apcTexts);
    kLines = Viewer(spSwitch);
    EXPECT_TRUE(Contains(kLines, "m_uiSize = 2"));
    EXPECT_TRUE(Contains(kLines, "m_ppcValue[0] = x"));
    EXPECT_TRUE(Contains(kLines, "m_ppcValue[1] = NULL"));
    EXPECT_TRUE(Contains(kLines, "m_iIndex = -1"));

    NiRefPtr<NiBooleanExtraData> spBool = new NiBooleanExtraData(true);
    EXPECT_TRUE(Contains(Viewer(spBool), "m_bValue = true"));
    NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
    const float af[] = {0.25f};
    spFloats->SetArray(1, af);
    EXPECT_TRUE(Contains(Viewer(spFloats), "m_pfValue[0] = 0.25"));
}

TEST_F(NiExtraDataTest, OldFilesTurnPlainBytesIntoBinaryEntries)
{
    const std::uint32_t v = V(4, 2, 2, 0);
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {1}, NONE).Append(AVBody(v, 0, {}))},
        {"NiExtraData", OldExtraHead(2, 8).U32(0x04030201).U32(0x08070605)},
        {"NiExtraData", OldExtraHead(NONE, 0)},
    };
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    auto* pkRoot = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    ASSERT_EQ(pkRoot->GetExtraDataSize(), 2u) << "the binary entry kept its chain link";
    auto* pkBinary = NiDynamicCast<NiBinaryExtraData>(pkRoot->GetExtraData("NiBinaryED000"));
    ASSERT_NE(pkBinary, nullptr);
    ASSERT_EQ(pkBinary->GetSize(), 8u);
    EXPECT_EQ(pkBinary->GetData()[0], 1);
    EXPECT_EQ(pkBinary->GetData()[7], 8);
    NiExtraData* pkPlain = pkRoot->GetExtraData("NiED001");
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_EQ(pkPlain->GetTypeInfo(), NiExtraData::TypeInfo()) << "no bytes: stays plain";
}

TEST_F(NiExtraDataTest, OldVectorsAndColoursHaveThreeFloats)
{
    for (std::uint32_t v : {V(5, 0, 0, 13), V(5, 0, 0, 14)})
    {
        SCOPED_TRACE(v);
        Bytes kVector = Bytes().Str("v").F32(1).F32(2).F32(3);
        Bytes kColor = Bytes().Str("c").F32(1).F32(2).F32(3);
        if (v >= V(5, 0, 0, 14))
        {
            kVector.F32(9);
            kColor.F32(9);
        }
        ASSERT_TRUE(Load(BuildFile(v, {{"NiVectorExtraData", kVector}, {"NiColorExtraData", kColor}}, {0, 1})));
        const float* pf = static_cast<NiVectorExtraData*>(m_kLoaded[0].Get())->GetValue();
        EXPECT_EQ(pf[2], 3.0f);
        EXPECT_EQ(pf[3], v < V(5, 0, 0, 14) ? 0.0f : 9.0f);
        const NiColorRGBA& kColorValue = static_cast<NiColorExtraData*>(m_kLoaded[1].Get())->GetValue();
        EXPECT_EQ(kColorValue, NiColorRGBA(1, 2, 3, v < V(5, 0, 0, 14) ? 1.0f : 9.0f));
    }
}

TEST_F(NiExtraDataTest, RunTimeOnlyEntriesAreNeitherSavedNorCloned)
{
    NiRefPtr<TestAVObject> spOwner = new TestAVObject;
    NiRefPtr<NiIntegerExtraData> spSource = new NiIntegerExtraData(1);
    spSource->SetName("source");
    NiRefPtr<NiSCMExtraData> spMap = new NiSCMExtraData("__ZRB_SCMData", 2, 0);
    EXPECT_TRUE(spMap->AddEntry(0, 17, spSource));
    EXPECT_TRUE(spMap->AddEntry(0, 18, spSource));
    EXPECT_FALSE(spMap->AddEntry(0, 19, spSource)) << "full";
    EXPECT_FALSE(spMap->AddEntry(1, 1, spSource)) << "no room in the second array";
    EXPECT_EQ(spMap->GetEntry(0, 1)->m_spSource.Get(), spSource.Get());
    EXPECT_EQ(spMap->GetEntry(0, 2), nullptr);
    spOwner->AddExtraData(spSource);
    spOwner->AddExtraData(spMap);
    spOwner->AddExtraData(new NiUIntExtraData("count", 99));

    NiObjectPtr spClone = spOwner->Clone();
    auto* pkClone = static_cast<TestAVObject*>(spClone.Get());
    EXPECT_EQ(pkClone->GetExtraData("__ZRB_SCMData"), nullptr);

    ASSERT_TRUE(Load(Save({spOwner})));
    auto* pkBack = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    EXPECT_EQ(pkBack->GetExtraDataSize(), 2u);
    EXPECT_EQ(pkBack->GetExtraData("__ZRB_SCMData"), nullptr);
    NiExtraData* pkCount = pkBack->GetExtraData("count");
    ASSERT_NE(pkCount, nullptr);
    EXPECT_EQ(pkCount->GetTypeInfo(), NiExtraData::TypeInfo()) << "the value is not written";
}

// The mapping holds its sources counted: an owner that drops a source
// leaves the entry pointing at a live object, which goes with the mapping.
TEST_F(NiExtraDataTest, MappingEntriesKeepTheirSourcesAlive)
{
    NiRefPtr<TestAVObject> spOwner = new TestAVObject;
    auto* pkSource = new NiFloatExtraData(2.5f);
    pkSource->SetName("gloss");
    spOwner->AddExtraData(pkSource);
    NiRefPtr<NiSCMExtraData> spMap = new NiSCMExtraData("__ZRB_SCMData", 1, 1);
    ASSERT_TRUE(spMap->AddEntry(1, 0xFF0004, pkSource));
    spOwner->AddExtraData(spMap);
    const std::uint32_t uiHeld = pkSource->GetRefCount();

    EXPECT_TRUE(spOwner->RemoveExtraData("gloss"));
    EXPECT_EQ(spOwner->GetExtraData("gloss"), nullptr);
    const NiSCMExtraData::Entry* pkEntry = spMap->GetEntry(1, 0);
    ASSERT_NE(pkEntry, nullptr);
    ASSERT_EQ(pkEntry->m_spSource.Get(), pkSource);
    EXPECT_EQ(pkSource->GetRefCount(), uiHeld - 1);
    EXPECT_EQ(static_cast<NiFloatExtraData*>(pkEntry->m_spSource.Get())->GetValue(), 2.5f);

    // The mapping going (removed from its owner) lets go of the source too.
    NiRefPtr<NiExtraData> spWatch = pkSource;
    EXPECT_EQ(pkSource->GetRefCount(), 2u);
    EXPECT_TRUE(spOwner->RemoveExtraData("__ZRB_SCMData"));
    spMap = nullptr;
    EXPECT_EQ(pkSource->GetRefCount(), 1u);
}

TEST_F(NiExtraDataTest, HostilePayloadCountsFail)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    const Bytes akBodies[] = {
        Bytes().Str("s").U32(0x40000000),      // strings
        Bytes().Str("b").U32(0x7FFFFFFF),      // binary size
        Bytes().Str("i").U32(0x20000000),      // integers
        Bytes().Str("t").U32(0x7FFFFFF0),      // string length
        Bytes().U32(0x7FFFFFF0),                // name length
    };
    const char* apcClasses[] = {"NiStringsExtraData", "NiBinaryExtraData", "NiIntegersExtraData",
                                "NiStringExtraData", "NiFloatExtraData"};
    for (int i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(apcClasses[i]);
        EXPECT_FALSE(Load(BuildFile(v, {{apcClasses[i], akBodies[i]}}, {0})));
        EXPECT_EQ(m_kStream.GetLastError(), 6u);
    }
}
