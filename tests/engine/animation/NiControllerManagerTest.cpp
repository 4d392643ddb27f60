#include "engine/animation/NiControllerManager.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiSingleInterpController.h"
#include "engine/animation/NiTransformController.h"
#include "engine/core/NiCloneContext.h"
#include "engine/scene/NiDefaultAVObjectPalette.h"
#include "engine/scene/NiMaterialProperty.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimTestFile.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using animtest::MakeSequence;
using animtest::MakeSkeleton;
using animtest::MoveX;

namespace
{
// A float controller with a settable ID that keeps the value it is given.
class TestFloatCtlr : public NiFloatInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestFloatCtlr)

public:
    std::string m_kID;
    float m_fValue = 0.0f;

    [[nodiscard]] const char* GetCtlrID() override { return m_kID.empty() ? nullptr : m_kID.c_str(); }
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET*) const override { return true; }
    void GetTargetFloatValue(float& f) override { f = m_fValue; }
    void Update(float fTime) override
    {
        float f = 0.0f;
        if (BeginUpdate(fTime) && m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, f))
            m_fValue = f;
    }
};
NiImplementTypeInfo(TestFloatCtlr, NiFloatInterpController)
NiImplementCreateClone(TestFloatCtlr)
void TestFloatCtlr::CopyMembers(TestFloatCtlr* pkDest, NiCloneContext& kCloning)
{
    NiFloatInterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_kID = m_kID;
}

NiRefPtr<TestFloatCtlr> AddFloatCtlr(NiObjectNET* pkTarget, const char* pcID)
{
    NiRefPtr<TestFloatCtlr> sp = new TestFloatCtlr;
    sp->m_kID = pcID != nullptr ? pcID : "";
    sp->SetTarget(pkTarget);
    return sp;
}

class NiControllerManagerTest : public animtest::ModelTest
{
protected:
    static NiAVObject* Bone(NiNode* pkRoot, const char* pcName) { return pkRoot->GetObjectByName(pcName); }
    static const NiControllerSequence::InterpArrayItem* Item(NiControllerSequence* pkSeq, const char* pcName)
    {
        std::int32_t i = pkSeq->FindItem(pcName);
        return i < 0 ? nullptr : pkSeq->GetItem(static_cast<std::uint32_t>(i));
    }
    // One frame of the scene graph: every controller of every object.
    static void Frame(NiNode* pkRoot, float fTime) { pkRoot->Update(fTime); }
};
} // namespace

// ---- The manager itself ----

TEST_F(NiControllerManagerTest, JoinsTheTargetsChainWithADefaultPalette)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 1);
    NiRefPtr<TestFloatCtlr> spOther = AddFloatCtlr(spRoot, nullptr);
    NiControllerManagerPtr sp = new NiControllerManager(spRoot, true);
    EXPECT_EQ(spRoot->GetControllers(), sp.Get());
    EXPECT_EQ(sp->GetNext(), spOther.Get());
    EXPECT_EQ(sp->GetTarget(), spRoot.Get());
    EXPECT_TRUE(sp->GetCumulative());
    auto* pkPalette = NiDynamicCast<NiDefaultAVObjectPalette>(sp->GetObjectPalette());
    ASSERT_NE(pkPalette, nullptr);
    EXPECT_EQ(pkPalette->GetScene(), spRoot.Get());

    // The target is fixed; start and stop are the sequences' business.
    NiRefPtr<NiNode> spElsewhere = new NiNode;
    sp->SetTarget(spElsewhere);
    EXPECT_EQ(sp->GetTarget(), spRoot.Get());
    sp->Stop();
    EXPECT_TRUE(sp->GetActive());

    // Updates reach the sequences only while the manager is active.
    NiControllerSequencePtr spSeq = MakeSequence("walk", {{"bone0", MoveX(0, 10)}});
    ASSERT_TRUE(sp->AddSequence(spSeq));
    ASSERT_TRUE(spSeq->Activate(0, false, 1, 0, nullptr));
    sp->SetActive(false);
    sp->Update(1.0f);
    EXPECT_EQ(spSeq->GetLastTime(), -FLT_MAX);
    sp->SetActive(true);
    sp->Update(1.0f);
    EXPECT_EQ(spSeq->GetLastTime(), 0.0f);
    EXPECT_TRUE(sp->IsTargetClassValid(spRoot));
    sp->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, AddSequenceNamesAndRefuses)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 1);
    NiControllerManagerPtr sp = new NiControllerManager(spRoot, false);
    NiControllerSequencePtr spWalk = MakeSequence("walk", {{"bone0", MoveX(0, 1)}});
    NiControllerSequencePtr spRun = MakeSequence("run", {{"bone0", MoveX(0, 2)}});
    NiControllerSequencePtr spNameless = new NiControllerSequence;
    ASSERT_TRUE(sp->AddSequence(spWalk));
    EXPECT_FALSE(sp->AddSequence(spWalk));
    NiControllerManagerPtr spOther = new NiControllerManager(spRoot, false);
    EXPECT_FALSE(spOther->AddSequence(spWalk)); // another manager has it
    EXPECT_STREQ(spWalk->GetAccumRootName(), "root");
    EXPECT_EQ(spWalk->GetOwner(), sp.Get());

    // A given name renames; the same name again replaces the map entry.
    ASSERT_TRUE(sp->AddSequence(spRun, "walk", true));
    EXPECT_STREQ(spRun->GetName(), "walk");
    EXPECT_EQ(sp->GetSequenceByName("walk"), spRun.Get());
    EXPECT_EQ(sp->GetSequenceByName("run"), nullptr);
    EXPECT_EQ(sp->GetSequenceByName("nothing"), nullptr);
    EXPECT_EQ(sp->GetSequenceByName(nullptr), nullptr);
    ASSERT_TRUE(sp->AddSequence(spNameless, nullptr, false));
    EXPECT_EQ(sp->GetSequenceCount(), 3u);
    std::uint32_t uiIndex = 0;
    ASSERT_TRUE(sp->GetSequenceIndex("walk", uiIndex));
    EXPECT_EQ(uiIndex, 1u);

    // Removing all stops them and lets them go.
    ASSERT_TRUE(spWalk->Activate(0, false, 1, 0, nullptr));
    sp->RemoveAllSequences();
    EXPECT_EQ(spWalk->GetState(), NiControllerSequence::INACTIVE);
    EXPECT_EQ(spWalk->GetOwner(), nullptr);
    EXPECT_EQ(Item(spWalk, "bone0")->m_pkBlendInterp, nullptr);
    EXPECT_EQ(Item(spWalk, "bone0")->m_spInterpCtlr, nullptr);
    EXPECT_EQ(sp->GetSequenceCount(), 0u);
    EXPECT_EQ(sp->GetSequenceByName("walk"), nullptr);
    EXPECT_TRUE(spOther->AddSequence(spWalk));
    spOther->RemoveAllSequences();
}

// ---- Binding ----

TEST_F(NiControllerManagerTest, BindsPropertiesControllersByIDAndOwnControllers)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiAVObject* pkBone = Bone(spRoot, "bone0");
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    pkBone->AttachProperty(spMaterial);
    NiRefPtr<TestFloatCtlr> spNone = AddFloatCtlr(spMaterial, nullptr);
    NiRefPtr<TestFloatCtlr> spAlpha = AddFloatCtlr(spMaterial, "alpha");
    NiRefPtr<TestFloatCtlr> spBeta = AddFloatCtlr(spMaterial, "beta");
    NiRefPtr<TestFloatCtlr> spOnBone = AddFloatCtlr(pkBone, "beta");
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);

    NiControllerSequencePtr sp = MakeSequence("s", {});
    auto Add = [&](const char* pcObject, const char* pcProperty, const char* pcType, const char* pcID, float fValue,
                   NiInterpController* pkOwn = nullptr) {
        NiControllerSequence::IDTag kTag;
        kTag.SetStrings(sp->GetStringPalette(), pcObject, pcProperty, pcType, pcID, nullptr);
        std::int32_t i = sp->AddItem(new NiFloatInterpolator(fValue), kTag);
        ASSERT_GE(i, 0);
        if (pkOwn != nullptr)
        {
            // The item's own controller, as a file gives it.
            NiRefPtr<NiControllerSequence> spCarrier = sp;
            auto* pkItems = const_cast<NiControllerSequence::InterpArrayItem*>(sp->GetItem(std::uint32_t(i)));
            pkItems->m_spInterpCtlr = pkOwn;
        }
    };
    Add("bone0", "NiMaterialProperty", "TestFloatCtlr", "beta", 1.0f);
    Add("bone0", "NiMaterialProperty", "TestFloatCtlr", nullptr, 2.0f);
    Add("bone0", nullptr, "TestFloatCtlr", "beta", 3.0f);
    Add("bone0", "NiAlphaProperty", "TestFloatCtlr", "beta", 4.0f); // no such property: the object
    NiRefPtr<TestFloatCtlr> spOwn = new TestFloatCtlr;
    spOwn->m_kID = "own";
    Add("root", nullptr, "TestFloatCtlr", "own", 5.0f, spOwn);
    Add("nobody", nullptr, "TestFloatCtlr", nullptr, 6.0f);
    ASSERT_TRUE(spManager->AddSequence(sp));

    // Found by class and ID, both absent matching; the blend created
    // manager-controlled, threshold 0, two slots; the controller marked.
    auto* pkBlend = NiDynamicCast<NiBlendFloatInterpolator>(spBeta->GetInterpolator(0));
    ASSERT_NE(pkBlend, nullptr);
    EXPECT_TRUE(pkBlend->GetManagerControlled());
    EXPECT_EQ(pkBlend->GetWeightThreshold(), 0.0f);
    EXPECT_EQ(pkBlend->GetArraySize(), 2);
    EXPECT_TRUE(spBeta->GetManagerControlled());
    EXPECT_FALSE(spAlpha->GetManagerControlled());
    EXPECT_EQ(spAlpha->GetInterpolator(0), nullptr);
    EXPECT_NE(NiDynamicCast<NiBlendFloatInterpolator>(spNone->GetInterpolator(0)), nullptr);
    EXPECT_NE(NiDynamicCast<NiBlendFloatInterpolator>(spOnBone->GetInterpolator(0)), nullptr);

    // Unbound items come first, the bound ones keep the order they were
    // added in (the two items sharing a blend stood together already).
    EXPECT_EQ(Item(sp, "nobody")->m_pkBlendInterp, nullptr);
    std::vector<float> kValues;
    for (std::uint32_t i = 0; i < sp->GetArraySize(); ++i)
    {
        float f = 0.0f;
        const NiControllerSequence::InterpArrayItem* pkItem = sp->GetItem(i);
        if (pkItem->m_spInterpolator && pkItem->m_spInterpolator->UpdateFloat(0.0f, nullptr, f))
            kValues.push_back(f);
    }
    EXPECT_EQ(kValues, (std::vector<float>{6.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f}));

    // The own controller went to the manager's target, right after the
    // manager.
    EXPECT_EQ(spOwn->GetTarget(), spRoot.Get());
    EXPECT_EQ(spRoot->GetControllers(), spManager.Get());
    EXPECT_EQ(spManager->GetNext(), spOwn.Get());
    EXPECT_TRUE(spOwn->GetManagerControlled());

    // Played: each bound controller takes its item's value.
    ASSERT_TRUE(sp->Activate(0, false, 1, 0, nullptr));
    Frame(spRoot, 0.0f);
    EXPECT_EQ(spBeta->m_fValue, 1.0f);
    EXPECT_EQ(spNone->m_fValue, 2.0f);
    EXPECT_EQ(spOnBone->m_fValue, 3.5f); // two items share that controller's blend, half each
    EXPECT_EQ(spOwn->m_fValue, 5.0f);
    EXPECT_EQ(spAlpha->m_fValue, 0.0f);
    spManager->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, BoundItemsKeepTheirOrderWhereverTheBlendsLie)
{
    // Blends the controllers hold already are the ones bound; the first
    // bone's lies above the second's in memory, so an order taken from the
    // addresses would put the second bone's item first.
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiBlendInterpolatorPtr spFirst = new NiBlendFloatInterpolator(true, 0.0f, 2);
    NiBlendInterpolatorPtr spSecond = new NiBlendFloatInterpolator(true, 0.0f, 2);
    if (std::less<NiBlendInterpolator*>()(spFirst, spSecond))
        std::swap(spFirst, spSecond);
    NiRefPtr<TestFloatCtlr> spOnBone0 = AddFloatCtlr(Bone(spRoot, "bone0"), "x");
    NiRefPtr<TestFloatCtlr> spOnBone1 = AddFloatCtlr(Bone(spRoot, "bone1"), "x");
    spOnBone0->SetInterpolator(spFirst);
    spOnBone1->SetInterpolator(spSecond);
    ASSERT_EQ(spOnBone0->GetInterpolator(0), spFirst.Get());
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);

    // A bone0 item, an unbound one, a bone1 item, then bone0 again: the
    // unbound item moves first and bone0's second item joins its first.
    NiControllerSequencePtr sp = MakeSequence("s", {});
    std::vector<NiInterpolatorPtr> kInterps;
    for (const char* pcObject : {"bone0", "nobody", "bone1", "bone0"})
    {
        NiControllerSequence::IDTag kTag;
        kTag.SetStrings(sp->GetStringPalette(), pcObject, nullptr, "TestFloatCtlr", "x", nullptr);
        kInterps.push_back(new NiFloatInterpolator(static_cast<float>(kInterps.size())));
        ASSERT_GE(sp->AddItem(kInterps.back(), kTag), 0);
    }
    ASSERT_TRUE(spManager->AddSequence(sp));
    auto Order = [&] {
        std::vector<NiInterpolator*> kOrder;
        for (std::uint32_t i = 0; i < sp->GetArraySize(); ++i)
        {
            if (sp->GetItem(i)->m_spInterpolator)
                kOrder.push_back(sp->GetItem(i)->m_spInterpolator);
        }
        return kOrder;
    };
    const std::vector<NiInterpolator*> kExpected = {kInterps[1], kInterps[0], kInterps[3], kInterps[2]};
    EXPECT_EQ(Order(), kExpected);
    EXPECT_EQ(Item(sp, "bone0")->m_pkBlendInterp, spFirst.Get());
    EXPECT_EQ(Item(sp, "bone1")->m_pkBlendInterp, spSecond.Get());

    // Binding again, as a copy or a reloaded model does, keeps the order.
    ASSERT_TRUE(sp->BindToTargets(spRoot));
    EXPECT_EQ(Order(), kExpected);
    spManager->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, TransformsShareOneGrowingMultiTargetController)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 3);
    // A bone's own transform controller goes away when the manager takes it.
    NiRefPtr<NiTransformController> spOwn = new NiTransformController;
    spOwn->SetTarget(Bone(spRoot, "bone1"));
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);

    NiControllerSequencePtr spA = MakeSequence("a", {{"bone0", MoveX(0, 10)}, {"bone1", MoveX(0, 20)}});
    NiControllerSequencePtr spB = MakeSequence(
        "b", {{"bone0", MoveX(10, 10)}, {"bone1", MoveX(40, 40)}, {"bone2", MoveX(7, 7)}, {"missing", MoveX(1, 1)}});
    ASSERT_TRUE(spManager->AddSequence(spA));
    ASSERT_TRUE(spManager->AddSequence(spB));
    EXPECT_EQ(Bone(spRoot, "bone1")->GetControllers(), nullptr);
    EXPECT_EQ(spOwn->GetTarget(), nullptr);

    auto* pkMulti = NiDynamicCast<NiMultiTargetTransformController>(spManager->GetNext());
    ASSERT_NE(pkMulti, nullptr);
    EXPECT_EQ(pkMulti->GetNext(), nullptr);
    EXPECT_TRUE(pkMulti->GetManagerControlled());
    // Sized by the first sequence, grown for the third bone.
    EXPECT_EQ(pkMulti->GetNumInterps(), 3);
    EXPECT_EQ(Item(spA, "bone0")->m_spInterpCtlr, pkMulti);
    EXPECT_EQ(Item(spA, "bone0")->m_pkBlendInterp, Item(spB, "bone0")->m_pkBlendInterp);
    EXPECT_EQ(Item(spB, "bone2")->m_pkBlendInterp, pkMulti->GetBlendInterpolator(2));
    EXPECT_EQ(Item(spB, "missing")->m_pkBlendInterp, nullptr);

    // Both at weight 1 and priority 0: half each.
    ASSERT_TRUE(spA->Activate(0, false, 1, 0, nullptr));
    ASSERT_TRUE(spB->Activate(0, false, 1, 0, nullptr));
    Frame(spRoot, 2.0f);   // key time 0 for both
    Frame(spRoot, 2.5f);   // key time 0.5
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone0")->GetTranslate().x, 0.5f * 5.0f + 0.5f * 10.0f);
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone1")->GetTranslate().x, 0.5f * 10.0f + 0.5f * 40.0f);
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone2")->GetTranslate().x, 7.0f);

    // Stopping one leaves the other alone on the shared blends.
    ASSERT_TRUE(spB->Deactivate(0));
    Frame(spRoot, 2.75f);
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone0")->GetTranslate().x, 7.5f);
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone2")->GetTranslate().x, 7.0f); // nothing moves it now
    spManager->RemoveAllSequences();
    EXPECT_EQ(pkMulti->GetBlendInterpolator(0)->GetInterpCount(), 0);
}

TEST_F(NiControllerManagerTest, PaletteKeepsWhatItFindsUnderTheScene)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiRefPtr<NiDefaultAVObjectPalette> sp = new NiDefaultAVObjectPalette(spRoot);
    EXPECT_EQ(sp->GetCount(), 0u);
    EXPECT_EQ(sp->GetAVObject("bone1"), Bone(spRoot, "bone1"));
    EXPECT_EQ(sp->GetCount(), 1u);
    EXPECT_EQ(sp->GetAVObject("nothing"), nullptr);
    EXPECT_EQ(sp->GetCount(), 1u);
    // A kept entry answers without the scene.
    sp->SetScene(nullptr);
    EXPECT_EQ(sp->GetAVObject("bone1"), Bone(spRoot, "bone1"));
    EXPECT_EQ(sp->GetAVObject("bone0"), nullptr);
}

// ---- Records ----

TEST_F(NiControllerManagerTest, RecordBindsOnLoadAndRewritesTheSameBytes)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    ASSERT_TRUE(spManager->AddSequence(MakeSequence("a", {{"bone0", MoveX(0, 10)}, {"bone1", MoveX(0, 5)}})));
    ASSERT_TRUE(spManager->AddSequence(MakeSequence("b", {{"bone1", MoveX(3, 3)}})));

    auto kFile = animtest::Save(spRoot);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkRoot = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkRoot, nullptr);
    auto* pkManager = NiDynamicCast<NiControllerManager>(pkRoot->GetControllers());
    ASSERT_NE(pkManager, nullptr);
    ASSERT_EQ(pkManager->GetSequenceCount(), 2u);
    NiControllerSequence* pkA = pkManager->GetSequenceByName("a");
    ASSERT_NE(pkA, nullptr);
    EXPECT_EQ(pkA->GetOwner(), pkManager);
    EXPECT_NE(Item(pkA, "bone0")->m_pkBlendInterp, nullptr); // bound after linking
    EXPECT_TRUE(pkManager->IsEqual(spManager));
    EXPECT_EQ(animtest::Save(pkRoot), kFile);

    ASSERT_TRUE(pkA->Activate(0, false, 1, 0, nullptr));
    Frame(pkRoot, 1.0f);
    Frame(pkRoot, 1.5f);
    EXPECT_FLOAT_EQ(Bone(pkRoot, "bone0")->GetTranslate().x, 5.0f);
    pkManager->RemoveAllSequences();

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFile, n), nullptr);
    }
}

TEST_F(NiControllerManagerTest, HandBuiltRecordOfFortyThreeBytes)
{
    constexpr std::uint32_t NONE = 0xFFFFFFFF;
    auto Sequence = [](char c) {
        animtest::Bytes b;
        b.U32(1).U8(static_cast<std::uint8_t>(c)).U32(0).U32(0);
        b.F32(1).U32(NONE).U32(0).F32(1).F32(0).F32(0).F32(1).U32(0).U32(0).U32(NONE);
        return b;
    };
    auto Build = [&](std::uint32_t uiCount, std::uint32_t uiSecond) {
        animtest::Bytes kManager;
        kManager.U32(NONE).U16(0x0C).F32(1).F32(0).F32(0).F32(0).U32(NONE);
        kManager.U8(0).U32(uiCount).U32(1).U32(uiSecond).U32(NONE);
        animtest::File k;
        k.Add("NiControllerManager", kManager);
        k.Add("NiControllerSequence", Sequence('a'));
        k.Add("NiControllerSequence", Sequence('b'));
        k.Top(0);
        return std::make_pair(kManager.Size(), k.Build());
    };
    auto [uiSize, kFile] = Build(2, 2);
    EXPECT_EQ(uiSize, 43u);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pk = NiDynamicCast<NiControllerManager>(spLoaded.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetSequenceCount(), 2u);
    ASSERT_NE(pk->GetSequenceByName("b"), nullptr);
    EXPECT_EQ(pk->GetSequenceByName("b")->GetOwner(), pk);
    EXPECT_EQ(animtest::Save(pk), kFile);

    // The same sequence twice is adopted once; a count past the file and a
    // link to the manager itself are refused.
    NiObjectPtr spTwice = animtest::Load(Build(2, 1).second);
    ASSERT_NE(spTwice, nullptr);
    EXPECT_EQ(static_cast<NiControllerManager*>(spTwice.Get())->GetSequenceCount(), 1u);
    EXPECT_EQ(animtest::Load(Build(0xFFFFFFFF, 2).second), nullptr);
    EXPECT_EQ(animtest::Load(Build(2, 0).second), nullptr);
}

TEST_F(NiControllerManagerTest, CloneRebindsToTheCopy)
{
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    ASSERT_TRUE(spManager->AddSequence(MakeSequence("a", {{"bone0", MoveX(0, 10)}})));

    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(spRoot->Clone());
    auto* pkManager = NiDynamicCast<NiControllerManager>(spCopy->GetControllers());
    ASSERT_NE(pkManager, nullptr);
    ASSERT_NE(pkManager, spManager.Get());
    EXPECT_EQ(pkManager->GetTarget(), spCopy.Get());
    NiControllerSequence* pkA = pkManager->GetSequenceByName("a");
    ASSERT_NE(pkA, nullptr);
    EXPECT_EQ(pkA->GetOwner(), pkManager);
    auto* pkMulti = NiDynamicCast<NiMultiTargetTransformController>(pkManager->GetNext());
    ASSERT_NE(pkMulti, nullptr);
    EXPECT_EQ(Item(pkA, "bone0")->m_spInterpCtlr, pkMulti);
    EXPECT_EQ(pkMulti->GetTargetAt(0), Bone(spCopy, "bone0"));

    // The copy plays its own bones only.
    ASSERT_TRUE(pkA->Activate(0, false, 1, 0, nullptr));
    Frame(spCopy, 0.0f);
    Frame(spCopy, 0.5f);
    EXPECT_FLOAT_EQ(Bone(spCopy, "bone0")->GetTranslate().x, 5.0f);
    EXPECT_FLOAT_EQ(Bone(spRoot, "bone0")->GetTranslate().x, 0.0f);
    pkManager->RemoveAllSequences();
    spManager->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, LoopsThroughControllerChainsAreRefusedAndFreed)
{
    constexpr std::uint32_t NONE = 0xFFFFFFFF;
    // 0 manager of 1 sequence; the sequence's controller 2 chains back to
    // the manager: manager -> sequence -> controller -> manager.
    animtest::Bytes kManager;
    kManager.U32(NONE).U16(0x0C).F32(1).F32(0).F32(0).F32(0).U32(NONE);
    kManager.U8(0).U32(1).U32(1).U32(NONE);
    animtest::Bytes kSequence;
    kSequence.U32(1).U8('a').U32(1).U32(0);
    kSequence.U32(NONE).U32(2).U32(NONE).U32(NONE).U32(NONE).U32(NONE).U32(NONE).U32(NONE);
    kSequence.F32(1).U32(NONE).U32(0).F32(1).F32(0).F32(0).F32(1).U32(0).U32(0).U32(NONE);
    animtest::Bytes kController;
    kController.U32(0).U16(0x0C).F32(1).F32(0).F32(0).F32(1).U32(NONE).U32(NONE);
    animtest::File kFile;
    kFile.Add("NiControllerManager", kManager);
    kFile.Add("NiControllerSequence", kSequence);
    kFile.Add("NiTransformController", kController);
    kFile.Top(0);
    auto kBytes = kFile.Build();
    {
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
        EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
    // The fixture checks that nothing is left alive. Links taken while the
    // records are read are let go of too when a later record fails.
    animtest::Bytes kBadData;
    kBadData.U32(1000000).U32(1);
    animtest::File kLater;
    kLater.Add("NiControllerManager", kManager);
    kLater.Add("NiControllerSequence", kSequence);
    kLater.Add("NiTransformController", kController);
    kLater.Add("NiFloatData", kBadData);
    kLater.Top(0);
    EXPECT_EQ(animtest::Load(kLater.Build()), nullptr);
}

// ---- End to end: files written by the engine, played as the framework does ----

namespace
{
// What the framework does with a model's animations.
class AnimatedModel
{
public:
    explicit AnimatedModel(NiNode* pkModel) : m_spManager(new NiControllerManager(pkModel, false)) {}
    ~AnimatedModel() { m_spManager->RemoveAllSequences(); }

    void AddAnimations(NiObjectStream& kKf)
    {
        for (std::uint32_t i = 0; i < kKf.GetObjectCount(); ++i)
        {
            auto* pkSeq = NiDynamicCast<NiControllerSequence>(kKf.GetObjectAt(i));
            if (pkSeq == nullptr)
                continue;
            NiControllerSequencePtr spCopy = static_cast<NiControllerSequence*>(pkSeq->Clone());
            m_spManager->AddSequence(spCopy, nullptr, true);
        }
    }
    void Play(const char* pcName, bool bKeep = false)
    {
        if (!bKeep && m_pkCurrent != nullptr)
            m_pkCurrent->Deactivate(0.0f);
        m_pkCurrent = m_spManager->GetSequenceByName(pcName);
        if (m_pkCurrent != nullptr)
            m_pkCurrent->Activate(0, false, 1.0f, 0.0f, nullptr);
    }
    void Stop(const char* pcName)
    {
        NiControllerSequence* pkSeq = m_spManager->GetSequenceByName(pcName);
        if (pkSeq == nullptr)
            return;
        pkSeq->SetTimeOffset(-FLT_MAX);
        pkSeq->Deactivate(0.0f);
    }

    NiControllerManagerPtr m_spManager;
    NiControllerSequence* m_pkCurrent = nullptr;
};
} // namespace

TEST_F(NiControllerManagerTest, EngineWrittenModelAndAnimationsPlayCrossFadeAndStop)
{
    stream_test::TempFolder kFolder;
    {
        NiRefPtr<NiNode> spBody = MakeSkeleton("Body", 0);
        for (const char* pcBone : {"Hip", "Arm"})
        {
            NiRefPtr<NiNode> spBone = new NiNode;
            spBone->SetName(pcBone);
            spBody->AttachChild(spBone);
        }
        NiObjectStream kModel;
        kModel.InsertTopObject(spBody);
        ASSERT_TRUE(kModel.SaveFile(kFolder.File("body.nif").c_str()));

        NiControllerSequencePtr spWalk = MakeSequence("walk", {{"Hip", MoveX(0, 10)}, {"Arm", MoveX(5, 5)}});
        NiControllerSequencePtr spWave = MakeSequence("wave", {{"Hip", MoveX(100, 100)}});
        spWalk->SetTextKeys(animtest::MakeTextKeys({{0.0f, "start"}, {1.0f, "end"}}));
        NiObjectStream kKf;
        kKf.InsertTopObject(spWalk);
        kKf.InsertTopObject(spWave);
        ASSERT_TRUE(kKf.SaveFile(kFolder.File("body.kf").c_str()));
    }

    NiObjectStream kModelFile;
    ASSERT_TRUE(kModelFile.LoadFile(kFolder.File("body.nif").c_str()));
    NiRefPtr<NiNode> spBody = NiDynamicCast<NiNode>(kModelFile.GetObjectAt(0));
    ASSERT_NE(spBody, nullptr);
    kModelFile.RemoveAllTopObjects();
    NiObjectStream kKf;
    ASSERT_TRUE(kKf.LoadFile(kFolder.File("body.kf").c_str()));
    ASSERT_EQ(kKf.GetObjectCount(), 2u);

    NiAVObject* pkHip = Bone(spBody, "Hip");
    NiAVObject* pkArm = Bone(spBody, "Arm");
    {
        AnimatedModel kModel(spBody);
        kModel.AddAnimations(kKf);
        kKf.RemoveAllTopObjects();
        ASSERT_EQ(kModel.m_spManager->GetSequenceCount(), 2u);

        struct Frame
        {
            float m_fTime;
            float m_fHip;
            float m_fArm;
        };
        auto Run = [&](std::initializer_list<Frame> kFrames) {
            for (const Frame& f : kFrames)
            {
                SCOPED_TRACE(f.m_fTime);
                spBody->Update(f.m_fTime);
                EXPECT_NEAR(pkHip->GetTranslate().x, f.m_fHip, 1e-4f);
                EXPECT_NEAR(pkArm->GetTranslate().x, f.m_fArm, 1e-4f);
            }
        };
        kModel.Play("walk");
        Run({{0.0f, 0.0f, 5.0f}, {0.25f, 2.5f, 5.0f}, {1.25f, 2.5f, 5.0f}, {1.5f, 5.0f, 5.0f}});

        // A half-second cross-fade: it starts at the next frame; 0.1 s in,
        // walk weighs 0.8 and wave 0.2.
        kModel.m_spManager->GetSequenceByName("walk")->Deactivate(0.5f);
        kModel.m_spManager->GetSequenceByName("wave")->Activate(0, false, 1.0f, 0.5f, nullptr);
        Run({{1.6f, 6.0f, 5.0f}, {1.7f, 0.8f * 7.0f + 0.2f * 100.0f, 5.0f}, {2.1f, 100.0f, 5.0f}});
        EXPECT_EQ(kModel.m_spManager->GetSequenceByName("walk")->GetState(), NiControllerSequence::INACTIVE);

        // Stop, then play again: it starts over.
        kModel.Stop("wave");
        kModel.m_pkCurrent = nullptr;
        kModel.Play("walk");
        Run({{3.0f, 0.0f, 5.0f}}); // kept following the clock: 3.0 folds to 0
        kModel.Stop("walk");
        kModel.Play("walk");
        Run({{7.3f, 0.0f, 5.0f}, {7.55f, 2.5f, 5.0f}});

        // A clone of the model plays on its own.
        NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
        NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(spBody->Clone());
        auto* pkCopyManager = NiDynamicCast<NiControllerManager>(spCopy->GetControllers());
        ASSERT_NE(pkCopyManager, nullptr);
        spCopy->Update(8.0f);
        NiControllerSequence* pkCopyWave = pkCopyManager->GetSequenceByName("wave");
        ASSERT_NE(pkCopyWave, nullptr);
        pkCopyManager->GetSequenceByName("walk")->Deactivate(0.0f);
        ASSERT_TRUE(pkCopyWave->Activate(0, true, 1.0f, 0.0f, nullptr));
        spCopy->Update(8.1f);
        EXPECT_FLOAT_EQ(Bone(spCopy, "Hip")->GetTranslate().x, 100.0f);
        spBody->Update(8.05f);
        EXPECT_NEAR(pkHip->GetTranslate().x, 7.5f, 1e-4f);
        pkCopyManager->RemoveAllSequences();
    }
    // Removing every sequence left the bones' blends empty.
    spBody->Update(9.0f);
    EXPECT_NEAR(pkHip->GetTranslate().x, 7.5f, 1e-4f);
}

TEST_F(NiControllerManagerTest, OldFileBindsItsOldSequenceBeforeThatSequenceIsConverted)
{
    constexpr std::uint32_t NONE = 0xFFFFFFFF;
    using animtest::Bytes;
    auto Str = [](Bytes& b, const char* pc) {
        b.U32(static_cast<std::uint32_t>(std::strlen(pc)));
        for (const char* p = pc; *p; ++p)
            b.U8(static_cast<std::uint8_t>(*p));
    };
    auto Node = [&](const char* pcName, std::uint32_t uiController, std::uint32_t uiChild) {
        Bytes b;
        Str(b, pcName);
        b.U32(0).U32(uiController).U16(0x0E).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1});
        b.U32(0).U32(NONE);
        if (uiChild == NONE)
            b.U32(0);
        else
            b.U32(1).U32(uiChild);
        return b.U32(0);
    };
    // 10.1.0.103: the manager (no palette link) comes before its old
    // sequence, whose item is an old transform controller with key data.
    animtest::File kFile(animtest::V(10, 1, 0, 103));
    kFile.Add("NiNode", Node("root", 1, 3));
    Bytes kManager;
    kManager.U32(NONE).U16(0x0C).F32(1).F32(0).F32(0).F32(1).U32(0).U8(0).U32(1).U32(2);
    kFile.Add("NiControllerManager", kManager);
    Bytes kSequence;
    Str(kSequence, "idle");
    Str(kSequence, "root");
    kSequence.U32(NONE).U32(1);
    Str(kSequence, "Box");
    kSequence.U32(4);
    kFile.Add("NiControllerSequence", kSequence);
    kFile.Add("NiNode", Node("Box", NONE, NONE));
    Bytes kController;
    kController.U32(NONE).U16(0x08).F32(1).F32(0).F32(0).F32(1).U32(3).U32(5);
    kFile.Add("NiKeyframeController", kController);
    Bytes kData;
    kData.U32(0).U32(2).U32(NI_LINKEY).F32(0).Floats({0, 0, 0}).F32(1).Floats({10, 0, 0}).U32(0);
    kFile.Add("NiKeyframeData", kData);
    kFile.Top(0);

    NiObjectPtr spLoaded = animtest::Load(kFile.Build());
    auto* pkRoot = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkRoot, nullptr);
    auto* pkManager = NiDynamicCast<NiControllerManager>(pkRoot->GetControllers());
    ASSERT_NE(pkManager, nullptr);
    ASSERT_NE(pkManager->GetObjectPalette(), nullptr);
    NiControllerSequence* pkIdle = pkManager->GetSequenceByName("idle");
    ASSERT_NE(pkIdle, nullptr);
    ASSERT_NE(Item(pkIdle, "Box"), nullptr);
    EXPECT_NE(Item(pkIdle, "Box")->m_pkBlendInterp, nullptr);
    ASSERT_TRUE(pkIdle->Activate(0, false, 1, 0, nullptr));
    Frame(pkRoot, 0.0f);
    Frame(pkRoot, 0.5f);
    EXPECT_FLOAT_EQ(Bone(pkRoot, "Box")->GetTranslate().x, 5.0f);
    pkManager->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, AModelWhoseRootMovesComparesWithItsCopy)
{
    // The root itself is a target of the multi-target controller its
    // manager drives: comparing the model must not come back round.
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 1);
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    ASSERT_TRUE(spManager->AddSequence(MakeSequence("walk", {{"root", MoveX(0, 10)}, {"bone0", MoveX(0, 1)}})));
    auto* pkMulti = NiDynamicCast<NiMultiTargetTransformController>(spManager->GetNext());
    ASSERT_NE(pkMulti, nullptr);
    EXPECT_EQ(pkMulti->FindTarget(spRoot), 0);

    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(spRoot->Clone());
    EXPECT_TRUE(spRoot->IsEqual(spCopy));
    spCopy->GetObjectByName("bone0")->SetName("other");
    EXPECT_FALSE(spRoot->IsEqual(spCopy));
    NiDynamicCast<NiControllerManager>(spCopy->GetControllers())->RemoveAllSequences();
    spManager->RemoveAllSequences();
}

TEST_F(NiControllerManagerTest, AChainSharedWithABoneClonesIntoFiniteChains)
{
    // Files may hang one manager's chain off several objects; a copy of
    // such a model gets a manager per chain, each binding its own copies.
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    ASSERT_TRUE(spManager->AddSequence(MakeSequence("walk", {{"root", MoveX(0, 1)}, {"bone0", MoveX(0, 2)}})));
    Bone(spRoot, "bone1")->SetControllers(spManager);

    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(spRoot->Clone());
    for (NiAVObject* pkObject : {static_cast<NiAVObject*>(spCopy), Bone(spCopy, "bone1")})
    {
        std::uint32_t uiLength = 0;
        for (NiTimeController* pk = pkObject->GetControllers(); pk != nullptr && uiLength < 10; pk = pk->GetNext())
            ++uiLength;
        EXPECT_LT(uiLength, 10u);
        if (auto* pkManager = NiDynamicCast<NiControllerManager>(pkObject->GetControllers()))
            pkManager->RemoveAllSequences();
    }
    Bone(spRoot, "bone1")->SetControllers(nullptr);
    spManager->RemoveAllSequences();
}
