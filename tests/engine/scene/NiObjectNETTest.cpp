#include "engine/scene/NiObjectNET.h"

#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiVertWeightsExtraData.h"
#include "tests/engine/scene/SceneTestSupport.h"

#include <string>

using namespace scene_test;

namespace
{
class NiObjectNETTest : public SceneTest
{
};

class OddData : public NiExtraData
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(OddData, NiExtraData)

std::vector<std::string> Names(const NiObjectNET& kObject)
{
    std::vector<std::string> k;
    for (std::uint32_t i = 0; i < kObject.GetExtraDataSize(); ++i)
        k.push_back(kObject.GetExtraDataAt(i)->GetName());
    return k;
}
} // namespace

TEST_F(NiObjectNETTest, ExtraDataStaySortedByBytesAndRefuseDuplicateNames)
{
    NiRefPtr<TestAVObject> spObject = new TestAVObject;
    NiExtraDataPtr spB = new NiExtraData("b");
    NiExtraDataPtr spA = new NiExtraData("a");
    NiExtraDataPtr spC = new NiExtraData("c");
    NiExtraDataPtr spUpper = new NiExtraData("B");
    NiExtraDataPtr spHigh = new NiExtraData("\xC3\xA9"); // above every ASCII name as unsigned bytes
    EXPECT_TRUE(spObject->AddExtraData(spB));
    EXPECT_TRUE(spObject->AddExtraData(spHigh));
    EXPECT_TRUE(spObject->AddExtraData(spA));
    EXPECT_TRUE(spObject->AddExtraData(spC));
    EXPECT_TRUE(spObject->AddExtraData(spUpper));
    EXPECT_EQ(Names(*spObject), (std::vector<std::string>{"B", "a", "b", "c", "\xC3\xA9"}));
    EXPECT_EQ(spObject->GetExtraData("a"), spA.Get());
    EXPECT_EQ(spObject->GetExtraData("c"), spC.Get());
    EXPECT_EQ(spObject->GetExtraData("A"), nullptr) << "letter case matters";
    EXPECT_EQ(spObject->GetExtraData(nullptr), nullptr);

    NiExtraDataPtr spSecondB = new NiExtraData("b");
    EXPECT_FALSE(spObject->AddExtraData(spSecondB));
    EXPECT_EQ(spSecondB->GetRefCount(), 1u) << "the refused entry gave its reference back";
    EXPECT_EQ(spObject->GetExtraData("b"), spB.Get());
    EXPECT_EQ(spObject->GetExtraDataSize(), 5u);
    for (std::uint32_t i = spObject->GetExtraDataSize(); i < spObject->GetExtraDataCapacity(); ++i)
        EXPECT_EQ(spObject->GetExtraDataAt(i), nullptr);
    EXPECT_FALSE(spObject->AddExtraData(nullptr));
}

TEST_F(NiObjectNETTest, UnnamedExtraDataAreNamedAfterTheirClassAndPosition)
{
    NiRefPtr<TestAVObject> spObject = new TestAVObject;
    NiRefPtr<NiFloatExtraData> spFloat = new NiFloatExtraData;
    EXPECT_TRUE(spObject->AddExtraData(spFloat));
    EXPECT_STREQ(spFloat->GetName(), "NiFloatED000");
    NiExtraDataPtr spPlain = new NiExtraData;
    EXPECT_TRUE(spObject->AddExtraData(spPlain));
    EXPECT_STREQ(spPlain->GetName(), "NiED001");
    spObject->AddExtraData(new NiExtraData("x"));
    NiRefPtr<NiStringExtraData> spString = new NiStringExtraData;
    EXPECT_TRUE(spObject->AddExtraData(spString));
    EXPECT_STREQ(spString->GetName(), "NiStringED003");

    // A class whose name lacks the words gets no prefix.
    NiRefPtr<OddData> spOdd = new OddData;
    EXPECT_TRUE(spObject->AddExtraData(spOdd));
    EXPECT_STREQ(spOdd->GetName(), "ED004");
}

TEST_F(NiObjectNETTest, RemovingAndReservingKeepTheArrayConsistent)
{
    NiRefPtr<TestAVObject> spObject = new TestAVObject;
    EXPECT_FALSE(spObject->ReserveExtraData(0));
    EXPECT_TRUE(spObject->ReserveExtraData(4));
    EXPECT_EQ(spObject->GetExtraDataCapacity(), 4u);
    for (const char* pc : {"a", "b", "c"})
        spObject->AddExtraData(new NiExtraData(pc));
    EXPECT_FALSE(spObject->ReserveExtraData(2)) << "fewer slots than entries";
    EXPECT_EQ(spObject->GetExtraDataSize(), 3u);

    EXPECT_FALSE(spObject->RemoveExtraDataAt(3));
    EXPECT_EQ(spObject->GetExtraDataSize(), 3u);
    EXPECT_TRUE(spObject->RemoveExtraData("b"));
    EXPECT_FALSE(spObject->RemoveExtraData("b"));
    EXPECT_FALSE(spObject->RemoveExtraData(nullptr));
    EXPECT_EQ(Names(*spObject), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(spObject->GetExtraDataAt(2), nullptr);
    spObject->RemoveAllExtraData();
    EXPECT_EQ(spObject->GetExtraDataSize(), 0u);
    EXPECT_EQ(spObject->GetExtraDataCapacity(), 0u);
}

TEST_F(NiObjectNETTest, ControllerChainPrependRemoveAndFind)
{
    NiRefPtr<TestAVObject> spObject = new TestAVObject;
    NiRefPtr<TestController> spFirst = new TestController;
    NiRefPtr<TestController> spSecond = new TestController;
    NiRefPtr<TestController> spThird = new TestController;
    spObject->PrependController(nullptr);
    spObject->PrependController(spThird);
    spObject->PrependController(spSecond);
    spObject->PrependController(spFirst);
    EXPECT_EQ(NiTimeController::CountChain(spObject->GetControllers()), 3u);
    EXPECT_EQ(NiTimeController::CountChain(nullptr), 0u);
    EXPECT_EQ(spObject->GetControllerOfType(TestController::TypeInfo()), spFirst.Get());
    EXPECT_EQ(spObject->GetControllerOfType(NiTimeController::TypeInfo()), spFirst.Get());
    EXPECT_EQ(spObject->GetControllerOfType(NiExtraData::TypeInfo()), nullptr);

    spObject->RemoveController(spSecond);
    EXPECT_EQ(spFirst->GetNext(), spThird.Get());
    EXPECT_EQ(spSecond->GetNext(), nullptr);
    NiRefPtr<TestController> spStranger = new TestController;
    spObject->RemoveController(spStranger);
    EXPECT_EQ(NiTimeController::CountChain(spObject->GetControllers()), 2u);
    spObject->RemoveController(spFirst);
    EXPECT_EQ(spObject->GetControllers(), spThird.Get());
}

TEST_F(NiObjectNETTest, ClonesNameByCopyModeAndCopyExtraDataAndControllers)
{
    NiRefPtr<TestAVObject> spBox = new TestAVObject;
    spBox->SetName("box");
    NiRefPtr<NiIntegerExtraData> spValue = new NiIntegerExtraData(5);
    spValue->SetName("value");
    spBox->AddExtraData(spValue);
    spBox->PrependController(new TestController);
    spBox->PrependController(new TestController);

    NiObjectPtr spPlain = spBox->Clone();
    EXPECT_EQ(static_cast<NiObjectNET*>(spPlain.Get())->GetName(), nullptr) << "mode 0 copies no names";

    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_UNIQUE;
    NiObjectPtr spUnique = spBox->Clone();
    auto* pkUnique = static_cast<NiObjectNET*>(spUnique.Get());
    EXPECT_STREQ(pkUnique->GetName(), "box$");
    ASSERT_EQ(pkUnique->GetExtraDataSize(), 1u);
    EXPECT_NE(pkUnique->GetExtraDataAt(0), spValue.Get());
    EXPECT_STREQ(pkUnique->GetExtraDataAt(0)->GetName(), "value") << "extra data keep their names";
    EXPECT_EQ(NiTimeController::CountChain(pkUnique->GetControllers()), 2u);
    EXPECT_NE(pkUnique->GetControllers(), spBox->GetControllers());

    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    NiObjectPtr spExact = spBox->Clone();
    EXPECT_STREQ(static_cast<NiObjectNET*>(spExact.Get())->GetName(), "box");
    EXPECT_TRUE(spExact->IsEqual(spBox));
    EXPECT_FALSE(spUnique->IsEqual(spBox)) << "names differ";
}

TEST_F(NiObjectNETTest, OldFilesChainTheirExtraDataAndEachIsNamed)
{
    const std::uint32_t v = V(4, 2, 2, 0);
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {1}, NONE).Append(AVBody(v, 0, {}))},
        {"NiStringExtraData", OldExtraHead(2, 7).Str("abc")},
        {"NiIntegerExtraData", OldExtraHead(3, 4).I32(-9)},
        {"NiFloatExtraData", OldExtraHead(NONE, 4).F32(2.5f)},
    };
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    auto* pkRoot = NiDynamicCast<TestAVObject>(m_kLoaded[0].Get());
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_EQ(Names(*pkRoot), (std::vector<std::string>{"NiFloatED002", "NiIntegerED001", "NiStringED000"}));
    EXPECT_EQ(static_cast<NiIntegerExtraData*>(pkRoot->GetExtraData("NiIntegerED001"))->GetValue(), -9);
    for (std::uint32_t i = 0; i < pkRoot->GetExtraDataSize(); ++i)
        EXPECT_EQ(pkRoot->GetExtraDataAt(i)->GetOldNext(), nullptr);

    // A chain that loops back fails instead of running on.
    kRecords[3].m_kBody = OldExtraHead(1, 4).F32(2.5f);
    EXPECT_FALSE(Load(BuildFile(v, kRecords, {0})));
    EXPECT_EQ(m_kStream.GetLastError(), 6u);
}

TEST_F(NiObjectNETTest, VertexWeightsNeverSurviveALoad)
{
    const std::uint32_t v = V(5, 0, 0, 11);
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {1, 2, 3}, NONE).Append(AVBody(v, 0, {}))},
        {"NiVertWeightsExtraData", Bytes().Str("w1").U32(2).F32(0.5f).F32(0.5f)},
        {"NiIntegerExtraData", Bytes().Str("keep").I32(1)},
        {"NiVertWeightsExtraData", Bytes().Str("w2").U32(0)},
    };
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    auto* pkRoot = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    EXPECT_EQ(Names(*pkRoot), (std::vector<std::string>{"keep"}));
    // Owners look for them only while one exists.
    m_kLoaded.clear();
    m_kStream.RemoveAllTopObjects();
    EXPECT_FALSE(NiVertWeightsExtraData::AnyAlive());
    {
        NiRefPtr<NiVertWeightsExtraData> sp = new NiVertWeightsExtraData;
        EXPECT_TRUE(NiVertWeightsExtraData::AnyAlive());
        NiObjectPtr spClone = sp->Clone();
        sp.Clear();
        EXPECT_TRUE(NiVertWeightsExtraData::AnyAlive());
    }
    EXPECT_FALSE(NiVertWeightsExtraData::AnyAlive());
}

TEST_F(NiObjectNETTest, ControllerChainsThatLoopOrLinkTheWrongClassFail)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {}, 1).Append(AVBody(v, 0, {}))},
        {"TestController", ControllerBody(2)},
        {"TestController", ControllerBody(NONE)},
    };
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    EXPECT_EQ(NiTimeController::CountChain(static_cast<TestAVObject*>(m_kLoaded[0].Get())->GetControllers()), 2u);

    for (std::uint32_t uiBack : {1u, 2u})
    {
        SCOPED_TRACE(uiBack);
        kRecords[2].m_kBody = ControllerBody(uiBack);
        EXPECT_FALSE(Load(BuildFile(v, kRecords, {0})));
        EXPECT_EQ(m_kStream.GetLastError(), 6u);
    }
    kRecords[2].m_kBody = ControllerBody(0);
    EXPECT_FALSE(Load(BuildFile(v, kRecords, {0}))) << "a positioned object is no controller";
    kRecords[2].m_kBody = ControllerBody(NONE);
    kRecords[0].m_kBody = NETBody(v, "root", {1}, 1).Append(AVBody(v, 0, {}));
    EXPECT_FALSE(Load(BuildFile(v, kRecords, {0}))) << "a controller is no extra data";
}

TEST_F(NiObjectNETTest, OnlyStreamableEntriesAndControllersAreWritten)
{
    NiRefPtr<TestAVObject> spObject = new TestAVObject;
    NiRefPtr<TestController> spHidden = new TestController;
    spHidden->m_bStreamable = false;
    NiRefPtr<TestController> spShown = new TestController;
    spShown->SetFlags(3);
    spObject->PrependController(spShown);
    spObject->PrependController(spHidden);
    std::vector<std::uint8_t> kBytes = Save({spObject});
    ASSERT_TRUE(Load(kBytes));
    auto* pkBack = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    ASSERT_EQ(NiTimeController::CountChain(pkBack->GetControllers()), 1u);
    EXPECT_EQ(pkBack->GetControllers()->GetFlags(), 3u);
}

TEST_F(NiObjectNETTest, LoadedEntriesEndSortedUniqueAndCountedOncePerOwner)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    // The first owner's entries come out of order, with a duplicate name and
    // an unnamed entry; the entries "c" and "s" belong to both owners.
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "first", {2, 3, 4, 5, 6, 7}, NONE).Append(AVBody(v, 0, {}))},
        {"TestAVObject", NETBody(v, "second", {7, 4}, NONE).Append(AVBody(v, 0, {}))},
        {"NiIntegerExtraData", Bytes().Str("b").I32(1)},
        {"NiIntegerExtraData", Bytes().Str("a").I32(2)},
        {"NiIntegerExtraData", Bytes().Str("c").I32(3)},
        {"NiIntegerExtraData", Bytes().Str("b").I32(4)},
        {"NiIntegerExtraData", Bytes().Str("").I32(5)},
        {"NiIntegerExtraData", Bytes().Str("s").I32(6)},
    };
    const std::uint32_t uiEpoch = NiObjectNET::GetControllerListEpoch();
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0, 1})));
    EXPECT_EQ(NiObjectNET::GetControllerListEpoch(), uiEpoch) << "no object of the file has a controller";
    auto* pkFirst = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    auto* pkSecond = static_cast<TestAVObject*>(m_kLoaded[1].Get());
    EXPECT_EQ(Names(*pkFirst), (std::vector<std::string>{"NiIntegerED003", "a", "b", "c", "s"}));
    EXPECT_EQ(Names(*pkSecond), (std::vector<std::string>{"c", "s"}));
    EXPECT_EQ(static_cast<NiIntegerExtraData*>(pkFirst->GetExtraData("b"))->GetValue(), 1) << "the first b stays";
    // The load's own references are gone: each entry is held by its owners.
    for (const char* pc : {"NiIntegerED003", "a", "b"})
        EXPECT_EQ(pkFirst->GetExtraData(pc)->GetRefCount(), 1u) << pc;
    for (const char* pc : {"c", "s"})
    {
        EXPECT_EQ(pkFirst->GetExtraData(pc), pkSecond->GetExtraData(pc)) << pc;
        EXPECT_EQ(pkFirst->GetExtraData(pc)->GetRefCount(), 2u) << pc;
    }
    EXPECT_EQ(pkFirst->GetRefCount(), 1u) << "the fixture took it from the stream";
    // Two owners, five distinct entries; the refused duplicate died with the
    // load.
    EXPECT_EQ(NiRefObject::GetTotalObjectCount() - m_uiLive, 7u);
    m_kLoaded.clear();
    m_kStream.RemoveAllTopObjects();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
}

TEST_F(NiObjectNETTest, AFailedLinkPassFreesEntriesWhoseOwnersTookTheLoadsReference)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    // The first owner takes the load's references to its two entries (and
    // shares one with the second); the third object links beyond the file,
    // so the load fails after that: each entry is freed once, with the
    // owners that hold it.
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "first", {3, 4}, NONE).Append(AVBody(v, 0, {}))},
        {"TestAVObject", NETBody(v, "second", {4}, NONE).Append(AVBody(v, 0, {}))},
        {"TestAVObject", NETBody(v, "third", {99}, NONE).Append(AVBody(v, 0, {}))},
        {"NiIntegerExtraData", Bytes().Str("a").I32(1)},
        {"NiIntegerExtraData", Bytes().Str("b").I32(2)},
    };
    EXPECT_FALSE(Load(BuildFile(v, kRecords, {0, 1, 2})));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);

    // Without the bad link the same file loads, each entry held by its
    // owners alone.
    kRecords[2].m_kBody = NETBody(v, "third", {}, NONE).Append(AVBody(v, 0, {}));
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0, 1, 2})));
    auto* pkFirst = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    auto* pkSecond = static_cast<TestAVObject*>(m_kLoaded[1].Get());
    EXPECT_EQ(pkFirst->GetExtraData("a")->GetRefCount(), 1u);
    EXPECT_EQ(pkFirst->GetExtraData("b")->GetRefCount(), 2u);
    EXPECT_EQ(pkFirst->GetExtraData("b"), pkSecond->GetExtraData("b"));
    m_kLoaded.clear();
    m_kStream.RemoveAllTopObjects();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
}

TEST_F(NiObjectNETTest, OnlyALoadedChainOfControllersCountsAsAChange)
{
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {}, NONE).Append(AVBody(v, 0, {1}))},
        {"TestProperty", NETBody(v, "property", {}, NONE).U16(0)},
    };
    std::uint32_t uiEpoch = NiObjectNET::GetControllerListEpoch();
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    EXPECT_EQ(NiObjectNET::GetControllerListEpoch(), uiEpoch) << "a property without controllers changes nothing";

    // A property with a chain, linked after its owner: the change counts.
    kRecords[1].m_kBody = NETBody(v, "property", {}, 2).U16(0);
    kRecords.push_back({"TestController", ControllerBody(NONE)});
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    EXPECT_GT(NiObjectNET::GetControllerListEpoch(), uiEpoch);
    auto* pkRoot = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    ASSERT_NE(pkRoot->GetProperty(NiProperty::ALPHA), nullptr);
    EXPECT_NE(pkRoot->GetProperty(NiProperty::ALPHA)->GetControllers(), nullptr);

    uiEpoch = NiObjectNET::GetControllerListEpoch();
    kRecords[0].m_kBody = NETBody(v, "root", {}, 2).Append(AVBody(v, 0, {}));
    kRecords[1].m_kBody = NETBody(v, "property", {}, NONE).U16(0);
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
    EXPECT_GT(NiObjectNET::GetControllerListEpoch(), uiEpoch) << "the object's own chain";
}

// Two owners in one scene share a link-free entry: the first to link it
// takes over the load table's reference, the second counts its own, and the
// table keeps an uncounted pointer until the load ends. Freed one before the
// other, in either order, and then the whole scene, the entry lives until
// its last owner goes and dies once (AddressSanitizer sees a read of it
// after its death or a second free).
TEST_F(NiObjectNETTest, ALinkFreeEntryOfTwoOwnersOutlivesTheFirstAndDiesWithTheScene)
{
    std::vector<std::uint8_t> kBytes;
    {
        NiNodePtr spRoot = new NiNode;
        spRoot->SetName("root");
        NiRefPtr<NiStringExtraData> spShared = new NiStringExtraData("shared words");
        spShared->SetName("note");
        for (const char* pcName : {"first", "second"})
        {
            NiNodePtr spChild = new NiNode;
            spChild->SetName(pcName);
            ASSERT_TRUE(spChild->AddExtraData(spShared));
            spRoot->AttachChild(spChild);
        }
        kBytes = Save({spRoot});
    }
    ASSERT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    ASSERT_TRUE(NiStringExtraData::TypeInfo()->IsLinkFree(NiObjectStream::CURRENT_VERSION));

    for (const std::uint32_t uiFreedFirst : {0u, 1u})
    {
        SCOPED_TRACE(uiFreedFirst);
        ASSERT_TRUE(Load(kBytes));
        NiNode* pkRoot = NiDynamicCast<NiNode>(m_kLoaded.at(0).Get());
        ASSERT_NE(pkRoot, nullptr);
        ASSERT_EQ(pkRoot->GetChildCount(), 2u);
        NiExtraData* pkShared = pkRoot->GetAt(0)->GetExtraData("note");
        ASSERT_NE(pkShared, nullptr);
        EXPECT_EQ(pkRoot->GetAt(1)->GetExtraData("note"), pkShared) << "one entry, two owners";
        EXPECT_EQ(pkShared->GetRefCount(), 2u) << "counted once per owner, the load's own gone";

        // One owner goes; the other's entry is whole.
        const std::uint32_t uiKept = 1 - uiFreedFirst;
        NiAVObjectPtr spGone = pkRoot->DetachChildAt(uiFreedFirst);
        ASSERT_NE(spGone, nullptr);
        EXPECT_EQ(spGone->GetRefCount(), 1u);
        spGone.Clear();
        ASSERT_NE(pkRoot->GetAt(uiKept), nullptr);
        auto* pkLeft = NiDynamicCast<NiStringExtraData>(pkRoot->GetAt(uiKept)->GetExtraData("note"));
        ASSERT_EQ(pkLeft, pkShared);
        EXPECT_EQ(pkLeft->GetRefCount(), 1u);
        EXPECT_STREQ(pkLeft->GetValue(), "shared words");

        // Then the whole scene.
        m_kLoaded.clear();
        m_kStream.RemoveAllTopObjects();
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
}
