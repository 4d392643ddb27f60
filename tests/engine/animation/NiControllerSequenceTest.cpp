#include "engine/animation/NiControllerSequence.h"

#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiTransformController.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <functional>

using animtest::Bytes;
using animtest::MakeSequence;
using animtest::MakeSkeleton;
using animtest::MakeTextKeys;
using animtest::MoveX;
using animtest::V;

namespace
{
constexpr std::uint32_t NONE = 0xFFFFFFFF;

class NiControllerSequenceTest : public animtest::ModelTest
{
protected:
    // A one-bone model with a manager and sequences "a" and "b" that both
    // move bone0 (range [0, 10], clamped).
    void Build()
    {
        m_spRoot = MakeSkeleton("root", 1);
        m_spManager = new NiControllerManager(m_spRoot, false);
        m_spA = MakeSequence("a", {{"bone0", MoveX(0, 10, 0, 10)}}, 0, 10, NiControllerSequence::CLAMP);
        m_spB = MakeSequence("b", {{"bone0", MoveX(0, 100, 0, 10)}}, 0, 10, NiControllerSequence::CLAMP);
        ASSERT_TRUE(m_spManager->AddSequence(m_spA));
        ASSERT_TRUE(m_spManager->AddSequence(m_spB));
        // Binding sorts the items: they are found by their tags.
        m_pkBlend = Bone0(m_spA)->m_pkBlendInterp;
        ASSERT_NE(m_pkBlend, nullptr);
        ASSERT_EQ(m_pkBlend, Bone0(m_spB)->m_pkBlendInterp);
    }
    void TearDown() override
    {
        if (m_spManager)
            m_spManager->RemoveAllSequences();
        m_spA = nullptr;
        m_spB = nullptr;
        m_spManager = nullptr;
        m_spRoot = nullptr;
        animtest::ModelTest::TearDown();
    }
    static const NiControllerSequence::InterpArrayItem* Bone0(NiControllerSequence* pkSeq)
    {
        std::int32_t i = pkSeq->FindItem("bone0");
        EXPECT_GE(i, 0);
        return pkSeq->GetItem(static_cast<std::uint32_t>(i));
    }
    const NiBlendInterpolator::NiBlendInterpItem* ItemOf(NiControllerSequence* pkSeq)
    {
        return m_pkBlend->GetItem(Bone0(pkSeq)->m_ucBlendIdx);
    }

    NiRefPtr<NiNode> m_spRoot;
    NiControllerManagerPtr m_spManager;
    NiControllerSequencePtr m_spA, m_spB;
    NiBlendInterpolator* m_pkBlend = nullptr;
};

// The body of a current-layout sequence record.
Bytes SequenceBody(const char* pcName, std::uint32_t uiCount, const std::vector<std::uint32_t>& kItemFields,
                   std::uint32_t uiPalette, float fFrequency = 1.0f)
{
    Bytes b;
    std::string kName = pcName;
    b.U32(static_cast<std::uint32_t>(kName.size()));
    for (char c : kName)
        b.U8(static_cast<std::uint8_t>(c));
    b.U32(uiCount).U32(1);
    for (std::uint32_t u : kItemFields)
        b.U32(u);
    b.F32(1.0f).U32(NONE).U32(0).F32(fFrequency).F32(0).F32(0).F32(1).U32(NONE).U32(0).U32(uiPalette);
    return b;
}

Bytes PaletteBody(const std::string& kBytes, std::uint32_t uiEnd)
{
    Bytes b;
    b.U32(static_cast<std::uint32_t>(kBytes.size()));
    for (char c : kBytes)
        b.U8(static_cast<std::uint8_t>(c));
    return b.U32(uiEnd);
}

Bytes Str(Bytes b, const char* pc)
{
    if (pc == nullptr)
        return b.U32(0);
    b.U32(static_cast<std::uint32_t>(std::strlen(pc)));
    for (const char* p = pc; *p; ++p)
        b.U8(static_cast<std::uint8_t>(*p));
    return b;
}
} // namespace

// ---- States and easing ----

TEST_F(NiControllerSequenceTest, StatesFollowActivationAndEasing)
{
    Build();
    NiControllerSequence& a = *m_spA;
    struct Step
    {
        const char* m_pcWhat;
        std::function<bool()> m_fnCall;
        bool m_bResult;
        NiControllerSequence::AnimState m_eState;
    };
    const Step kSteps[] = {
        {"activate", [&] { return a.Activate(0, false, 1, 0, nullptr); }, true, NiControllerSequence::ANIMATING},
        {"activate again", [&] { return a.Activate(0, false, 1, 0, nullptr); }, false, NiControllerSequence::ANIMATING},
        {"deactivate", [&] { return a.Deactivate(0); }, true, NiControllerSequence::INACTIVE},
        {"deactivate again", [&] { return a.Deactivate(0); }, false, NiControllerSequence::INACTIVE},
        {"ease in", [&] { return a.Activate(0, false, 1, 0.5f, nullptr); }, true, NiControllerSequence::EASINGIN},
        {"ease out while easing in", [&] { return a.Deactivate(0.25f); }, true, NiControllerSequence::EASINGOUT},
    };
    for (const Step& kStep : kSteps)
    {
        SCOPED_TRACE(kStep.m_pcWhat);
        EXPECT_EQ(kStep.m_fnCall(), kStep.m_bResult);
        EXPECT_EQ(a.GetState(), kStep.m_eState);
        // Items are attached exactly while the sequence is not inactive.
        EXPECT_EQ(m_pkBlend->GetInterpCount(), kStep.m_eState == NiControllerSequence::INACTIVE ? 0 : 1);
    }
    EXPECT_EQ(a.GetState(), NiControllerSequence::EASINGOUT);
    // Easing out keeps the items attached until the ease ends.
    EXPECT_EQ(m_pkBlend->GetInterpCount(), 1);
    a.Update(3.0f, true);
    EXPECT_EQ(a.GetState(), NiControllerSequence::EASINGOUT);
    EXPECT_EQ(m_pkBlend->GetInterpCount(), 1);
    a.Update(3.25f, true);
    EXPECT_EQ(a.GetState(), NiControllerSequence::INACTIVE);
    EXPECT_EQ(m_pkBlend->GetInterpCount(), 0);
}

TEST_F(NiControllerSequenceTest, EaseInWindowStartsAtTheFirstUpdate)
{
    Build();
    ASSERT_TRUE(m_spA->Activate(0, false, 1.0f, 0.0f, nullptr));
    ASSERT_TRUE(m_spB->Activate(0, false, 1.0f, 0.5f, nullptr));
    // Activation attaches at weight 0 and ease 1.
    EXPECT_EQ(ItemOf(m_spB)->m_fWeight, 0.0f);
    EXPECT_EQ(ItemOf(m_spB)->m_fEaseSpinner, 1.0f);
    EXPECT_EQ(m_spB->GetEaseEndTime(), 0.5f); // the duration until then

    struct Case
    {
        float m_fTime;
        float m_fEase;
        NiControllerSequence::AnimState m_eState;
    };
    const Case kCases[] = {
        {10.0f, 0.0f, NiControllerSequence::EASINGIN},
        {10.25f, 0.5f, NiControllerSequence::EASINGIN},
        {10.5f, 1.0f, NiControllerSequence::ANIMATING},
        {11.0f, 1.0f, NiControllerSequence::ANIMATING},
    };
    for (const Case& c : kCases)
    {
        SCOPED_TRACE(c.m_fTime);
        m_spA->Update(c.m_fTime, true);
        m_spB->Update(c.m_fTime, true);
        EXPECT_EQ(m_spB->GetEaseStartTime(), 10.0f);
        EXPECT_EQ(m_spB->GetEaseEndTime(), 10.5f);
        EXPECT_FLOAT_EQ(ItemOf(m_spB)->m_fEaseSpinner, c.m_fEase);
        EXPECT_EQ(ItemOf(m_spB)->m_fWeight, 1.0f);
        EXPECT_EQ(m_spB->GetState(), c.m_eState);
    }
}

TEST_F(NiControllerSequenceTest, BlendValuesSkipTheSingleItemAndWriteOnlyChanges)
{
    Build();
    ASSERT_TRUE(m_spA->Activate(0, false, 0.3f, 0.0f, nullptr));
    m_spA->Update(1.0f, true); // key time 0
    m_spA->Update(2.0f, true); // key time 1
    // One item: the shortcut keeps the attach values, only the time goes.
    EXPECT_EQ(ItemOf(m_spA)->m_fWeight, 0.0f);
    EXPECT_EQ(m_pkBlend->GetSingleTime(), 1.0f);

    ASSERT_TRUE(m_spB->Activate(0, false, 0.7f, 0.0f, nullptr));
    m_spA->Update(3.0f, true);
    m_spB->Update(3.0f, true);
    EXPECT_EQ(ItemOf(m_spA)->m_fWeight, 0.3f);
    EXPECT_EQ(ItemOf(m_spB)->m_fWeight, 0.7f);
    EXPECT_EQ(ItemOf(m_spA)->m_fUpdateTime, 2.0f);
    EXPECT_EQ(ItemOf(m_spB)->m_fUpdateTime, 0.0f);
    m_pkBlend->ComputeNormalizedWeights();
    ASSERT_FALSE(m_pkBlend->GetComputeNormalizedWeights());
    // Unchanged values leave the normalised weights valid.
    m_spA->SetBlendValues(0.3f, 1.0f, 2.5f);
    EXPECT_FALSE(m_pkBlend->GetComputeNormalizedWeights());
    EXPECT_EQ(ItemOf(m_spA)->m_fUpdateTime, 2.5f);
    m_spA->SetBlendValues(0.4f, 1.0f, 2.5f);
    EXPECT_TRUE(m_pkBlend->GetComputeNormalizedWeights());
    EXPECT_EQ(m_pkBlend->GetHighSumOfWeights(), -FLT_MAX);
    EXPECT_EQ(ItemOf(m_spA)->m_fWeight, 0.4f);
}

// ---- Time ----

TEST_F(NiControllerSequenceTest, LoopFoldingKeepsTheEnd)
{
    struct Case
    {
        float m_fBegin, m_fEnd, m_fIn, m_fOut;
        std::uint32_t m_uiCycle;
    };
    const Case kCases[] = {
        {0, 1, 1.0f, 1.0f, NiControllerSequence::LOOP},  {0, 1, 1.25f, 0.25f, NiControllerSequence::LOOP},
        {2, 3, 1.5f, 2.5f, NiControllerSequence::LOOP},  {2, 3, 3.75f, 2.75f, NiControllerSequence::LOOP},
        {4, 4, 9.0f, 4.0f, NiControllerSequence::LOOP},  {0, 1, 1.25f, 1.0f, NiControllerSequence::CLAMP},
        {0, 1, -2.0f, 0.0f, NiControllerSequence::CLAMP}, {0, 1, 0.5f, 0.5f, 7},
    };
    for (const Case& c : kCases)
    {
        SCOPED_TRACE(c.m_fIn);
        NiControllerSequencePtr sp = MakeSequence("s", {}, c.m_fBegin, c.m_fEnd, c.m_uiCycle);
        EXPECT_FLOAT_EQ(sp->ComputeScaledTime(c.m_fIn, false), c.m_fOut);
        EXPECT_EQ(sp->GetLastTime(), -FLT_MAX); // not committed
    }
    // Committed times accumulate with the frequency of each step.
    NiControllerSequencePtr sp = MakeSequence("s", {}, 0, 100, NiControllerSequence::CLAMP);
    sp->ComputeScaledTime(1.0f, true);
    sp->SetFrequency(2.0f);
    EXPECT_FLOAT_EQ(sp->ComputeScaledTime(2.0f, true), 3.0f);
    EXPECT_FLOAT_EQ(sp->GetLastScaledTime(), 3.0f);
}

TEST_F(NiControllerSequenceTest, StartOverRestartsAtThePhaseElseFollowsTheClock)
{
    Build();
    m_spA->SetPhase(0.5f);
    ASSERT_TRUE(m_spA->Activate(0, false, 1.0f, 0.0f, nullptr));
    m_spA->Update(100.0f, true); // the input time starts at 0
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.5f);
    m_spA->Update(101.0f, true);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 1.5f);
    ASSERT_TRUE(m_spA->Deactivate(0.0f));

    ASSERT_TRUE(m_spA->Activate(0, false, 1.0f, 0.0f, nullptr));
    m_spA->Update(103.0f, true);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 3.5f); // as if it had kept running
    ASSERT_TRUE(m_spA->Deactivate(0.0f));

    ASSERT_TRUE(m_spA->Activate(0, true, 1.0f, 0.0f, nullptr));
    m_spA->Update(105.0f, true);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.5f);

    // Stop as the framework does: offset unset, then deactivate; the next
    // play without start-over begins again.
    m_spA->SetTimeOffset(-FLT_MAX);
    ASSERT_TRUE(m_spA->Deactivate(0.0f));
    ASSERT_TRUE(m_spA->Activate(0, false, 1.0f, 0.0f, nullptr));
    m_spA->Update(200.0f, true);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.5f);
    m_spA->Update(200.25f, true);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.75f);
}

TEST_F(NiControllerSequenceTest, FrequencyZeroKeepsTheOffset)
{
    Build();
    m_spA->SetFrequency(0.0f);
    ASSERT_TRUE(m_spA->Activate(0, false, 1.0f, 0.0f, nullptr));
    m_spA->Update(5.0f, true);
    float fOffset = m_spA->GetTimeOffset();
    EXPECT_EQ(fOffset, -5.0f);
    ASSERT_TRUE(m_spA->Deactivate(0.0f));
    EXPECT_EQ(m_spA->GetTimeOffset(), fOffset);
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.0f);
}

// ---- Time synchronisation ----

TEST_F(NiControllerSequenceTest, PartnerRefusals)
{
    Build();
    auto spC = MakeSequence("c", {}, 0, 1);
    auto Morph = [] { return MakeTextKeys({{0.0f, "morph:L"}, {0.5f, "morph:R"}}); };
    m_spA->SetTextKeys(Morph());
    m_spB->SetTextKeys(Morph());
    spC->SetTextKeys(Morph());

    EXPECT_FALSE(m_spA->Activate(0, false, 1, 0, m_spA)); // itself
    EXPECT_EQ(m_spA->GetState(), NiControllerSequence::INACTIVE);

    ASSERT_TRUE(m_spB->Activate(0, false, 1, 0, m_spA)); // b follows a
    EXPECT_EQ(m_spB->GetTimeSyncSequence(), m_spA.Get());
    EXPECT_FALSE(m_spA->Activate(0, false, 1, 0, m_spB)); // a would follow its follower
    EXPECT_EQ(m_spA->GetTimeSyncSequence(), nullptr);
    ASSERT_TRUE(m_spA->Activate(0, false, 1, 0, spC)); // a follows c
    ASSERT_TRUE(m_spA->Deactivate(0));
    ASSERT_TRUE(spC->Activate(0, false, 1, 0, nullptr));
    ASSERT_TRUE(m_spA->Activate(0, false, 1, 0, spC));
    ASSERT_TRUE(spC->Deactivate(0));
    // c -> b -> a -> c would close a cycle.
    EXPECT_FALSE(spC->Activate(0, false, 1, 0, m_spB));
    EXPECT_TRUE(m_spA->IsSyncCycleFree(spC));
    EXPECT_FALSE(spC->IsSyncCycleFree(m_spB));

    // Keys must match both ways, and there must be some.
    EXPECT_TRUE(m_spA->VerifyMatchingMorphKeys(m_spB));
    auto spD = MakeSequence("d", {}, 0, 1);
    EXPECT_FALSE(spD->Activate(0, false, 1, 0, m_spA)); // no keys at all
    spD->SetTextKeys(MakeTextKeys({{0.0f, "start"}, {1.0f, nullptr}}));
    EXPECT_FALSE(spD->VerifyMatchingMorphKeys(m_spA)); // no morph key
    spD->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}}));
    EXPECT_FALSE(spD->VerifyMatchingMorphKeys(m_spA));
    EXPECT_FALSE(m_spA->VerifyMatchingMorphKeys(spD));
    spD->SetTextKeys(MakeTextKeys({{0.2f, "morph:R"}, {0.7f, "morph:L"}, {0.9f, "other"}}));
    EXPECT_TRUE(spD->VerifyMatchingMorphKeys(m_spA));
    EXPECT_EQ(spD->GetState(), NiControllerSequence::INACTIVE);
}

TEST_F(NiControllerSequenceTest, SynchronisedTimeSitsAtTheSamePlaceBetweenMorphKeys)
{
    auto spA = MakeSequence("A", {}, 0, 1);
    spA->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}, {0.5f, "morph:R"}}));
    auto spB = MakeSequence("B", {}, 0, 2);
    spB->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}, {1.0f, "morph:R"}}));
    const std::pair<float, float> kCases[] = {{0.25f, 0.5f}, {0.75f, 1.5f}, {0.5f, 1.0f}, {0.0f, 2.0f}};
    for (const auto& [fA, fB] : kCases)
    {
        SCOPED_TRACE(fA);
        EXPECT_FLOAT_EQ(spB->FindCorrespondingMorphTime(spA, fA), fB);
    }

    // One morph key over an empty range: no division by zero.
    auto spOne = MakeSequence("one", {}, 0, 0);
    spOne->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}}));
    auto spOther = MakeSequence("other", {}, 0, 1);
    spOther->SetTextKeys(MakeTextKeys({{0.25f, "morph:L"}}));
    EXPECT_FLOAT_EQ(spOther->FindCorrespondingMorphTime(spOne, 3.0f), 0.25f);

    // Played: b follows a and updates it once when a is stale.
    Build();
    m_spA->SetKeyRange(0, 1);
    m_spA->SetCycleType(NiControllerSequence::LOOP);
    m_spA->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}, {0.5f, "morph:R"}}));
    m_spB->SetKeyRange(0, 2);
    m_spB->SetCycleType(NiControllerSequence::LOOP);
    m_spB->SetTextKeys(MakeTextKeys({{0.0f, "morph:L"}, {1.0f, "morph:R"}}));
    ASSERT_TRUE(m_spA->Activate(0, false, 1, 0, nullptr));
    ASSERT_TRUE(m_spB->Activate(0, false, 1, 0, m_spA));
    m_spB->Update(10.0f, true); // a has not started: b starts it
    EXPECT_EQ(m_spA->GetTimeOffset(), -10.0f);
    // At a's first morph key b sits at the end of its previous cycle.
    EXPECT_FLOAT_EQ(m_spB->GetLastScaledTime(), 2.0f);
    m_spA->Update(10.0f, true);
    m_spB->Update(10.25f, true); // a has not run at 10.25: b runs it
    EXPECT_FLOAT_EQ(m_spA->GetLastScaledTime(), 0.25f);
    EXPECT_FLOAT_EQ(m_spB->GetLastScaledTime(), 0.5f);
    m_spB->Update(10.75f, true);
    EXPECT_FLOAT_EQ(m_spB->GetLastScaledTime(), 1.5f);
}

// ---- Items ----

TEST_F(NiControllerSequenceTest, AddItemFillsEmptyEntriesThenGrows)
{
    NiControllerSequencePtr sp = new NiControllerSequence;
    NiControllerSequence::IDTag kTag;
    EXPECT_EQ(sp->AddItem(MoveX(0, 1), kTag), -1); // grow-by 0
    sp->SetStringPalette(new NiStringPalette(16));
    sp->SetArrayGrowBy(2);
    kTag.SetStrings(sp->GetStringPalette(), "x", nullptr, "NiTransformController", nullptr, nullptr);
    EXPECT_EQ(sp->AddItem(MoveX(0, 1), kTag), 0);
    EXPECT_EQ(sp->GetArraySize(), 2u);
    // New entries point at the sequence's palette, their strings absent.
    EXPECT_EQ(sp->GetTag(1)->m_spPalette, sp->GetStringPalette());
    EXPECT_EQ(sp->GetTag(1)->m_uiAVObjectNameOffset, NONE);
    EXPECT_EQ(sp->AddItem(MoveX(0, 1), kTag), 1);
    EXPECT_EQ(sp->AddItem(MoveX(0, 1), kTag), 2);
    EXPECT_EQ(sp->GetArraySize(), 4u);
    EXPECT_STREQ(sp->GetTag(2)->GetAVObjectName(), "x");
    EXPECT_STREQ(sp->GetTag(2)->GetCtlrType(), "NiTransformController");
    EXPECT_EQ(sp->GetTag(2)->GetPropertyType(), nullptr);
}

// ---- Records ----

TEST_F(NiControllerSequenceTest, RecordSizeRoundTripAndEquality)
{
    NiControllerSequencePtr sp = MakeSequence("walk", {{"bone0", MoveX(0, 1)}, {"bone1", MoveX(1, 2)}});
    sp->SetTextKeys(MakeTextKeys({{0.0f, "start"}, {1.0f, "end"}}));
    auto kFile = animtest::Save(sp);
    NiControllerSequencePtr spBare = new NiControllerSequence;
    spBare->SetName("walk");
    auto kBareFile = animtest::Save(spBare);
    // The bare record is 56 bytes (plus 32 per item): written back byte for
    // byte, and the same size as a code-built one.
    animtest::File kHand;
    Bytes kRecord = SequenceBody("walk", 0, {}, NONE);
    kRecord.m[12 - 4] = 0; // grow-by 0
    ASSERT_EQ(kRecord.Size(), 56u);
    kHand.Add("NiControllerSequence", kRecord);
    kHand.Top(0);
    NiObjectPtr spHand = animtest::Load(kHand.Build());
    ASSERT_NE(spHand, nullptr);
    EXPECT_EQ(animtest::Save(spHand), kHand.Build());
    EXPECT_EQ(kBareFile.size(), kHand.Build().size());

    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkLoaded = NiDynamicCast<NiControllerSequence>(spLoaded.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_STREQ(pkLoaded->GetName(), "walk");
    ASSERT_EQ(pkLoaded->GetArraySize(), sp->GetArraySize());
    EXPECT_STREQ(pkLoaded->GetTag(1)->GetAVObjectName(), "bone1");
    ASSERT_NE(pkLoaded->GetTextKeys(), nullptr);
    EXPECT_EQ(pkLoaded->GetTextKeys()->GetNumKeys(), 2u);
    // The palette is written at its used size: equal after one trip.
    auto kAgain = animtest::Save(pkLoaded);
    EXPECT_EQ(kAgain, kFile);
    NiObjectPtr spReloaded = animtest::Load(kAgain);
    EXPECT_TRUE(pkLoaded->IsEqual(spReloaded));
    EXPECT_FALSE(pkLoaded->IsEqual(spBare));

    // Managers are compared by presence only.
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    sp->SetAccumRootName("root");
    NiControllerSequencePtr spCopy = static_cast<NiControllerSequence*>(sp->Clone());
    EXPECT_TRUE(spCopy->IsEqual(sp));
    ASSERT_TRUE(spManager->AddSequence(spCopy, nullptr, false));
    EXPECT_FALSE(spCopy->IsEqual(sp));
    spManager->RemoveAllSequences();
    EXPECT_TRUE(spCopy->IsEqual(sp));
}

TEST_F(NiControllerSequenceTest, TagOffsetsMustNameWholeStringsOfThePalette)
{
    auto Build = [](std::uint32_t uiOffset, const std::string& kPalette, std::uint32_t uiEnd, std::uint32_t uiLink) {
        animtest::File k;
        // The palette comes after the sequence: offsets are checked once
        // every record is read.
        k.Add("NiControllerSequence",
              SequenceBody("s", 1, {NONE, NONE, uiLink, uiOffset, NONE, NONE, NONE, NONE}, 1));
        k.Add("NiStringPalette", PaletteBody(kPalette, uiEnd));
        k.Top(0);
        return k.Build();
    };
    const std::string kText("bone\0x\0", 7);
    NiObjectPtr sp = animtest::Load(Build(0, kText, 7, 1));
    ASSERT_NE(sp, nullptr);
    EXPECT_STREQ(static_cast<NiControllerSequence*>(sp.Get())->GetTag(0)->GetAVObjectName(), "bone");
    EXPECT_NE(animtest::Load(Build(5, kText, 7, 1)), nullptr);
    EXPECT_NE(animtest::Load(Build(NONE, kText, 7, 1)), nullptr);
    EXPECT_EQ(animtest::Load(Build(7, kText, 7, 1)), nullptr);    // at the used end
    EXPECT_EQ(animtest::Load(Build(100, kText, 7, 1)), nullptr);  // past the palette
    EXPECT_EQ(animtest::Load(Build(5, kText, 5, 1)), nullptr);    // no terminator before the used end
    EXPECT_EQ(animtest::Load(Build(0, kText, 8, 1)), nullptr);    // used end past the bytes
    EXPECT_EQ(animtest::Load(Build(0, kText, 7, NONE)), nullptr); // offset without a palette
    EXPECT_EQ(animtest::Load(Build(0, kText, 7, 0)), nullptr);    // a sequence is no palette
}

TEST_F(NiControllerSequenceTest, HostileRecordsFailCleanly)
{
    NiControllerSequencePtr sp = MakeSequence("walk", {{"bone0", MoveX(0, 1)}, {"bone1", MoveX(1, 2)}});
    sp->SetTextKeys(MakeTextKeys({{0.0f, "morph:a"}}));
    sp->SetAccumRootName("root");
    auto kFile = animtest::Save(sp);
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFile, n), nullptr);
    }
    // Counts no file can hold.
    animtest::File kHuge;
    kHuge.Add("NiControllerSequence", SequenceBody("s", 0xFFFFFFFF, {}, NONE));
    kHuge.Top(0);
    EXPECT_EQ(animtest::Load(kHuge.Build()), nullptr);
    animtest::File kPalette;
    kPalette.Add("NiStringPalette", PaletteBody("", 0).U32(0)); // trailing bytes are fine
    Bytes kBig;
    kBig.U32(0xFFFFFFFF).U32(0);
    animtest::File kBigPalette;
    kBigPalette.Add("NiStringPalette", kBig);
    kBigPalette.Top(0);
    EXPECT_EQ(animtest::Load(kBigPalette.Build()), nullptr);
    // An interpolator link to a palette.
    animtest::File kWrong;
    kWrong.Add("NiControllerSequence", SequenceBody("s", 1, {1, NONE, 1, 0, NONE, NONE, NONE, NONE}, 1));
    kWrong.Add("NiStringPalette", PaletteBody(std::string("a\0", 2), 2));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
    // A frequency of 0 loads and plays without dividing by it.
    animtest::File kZero;
    kZero.Add("NiControllerSequence", SequenceBody("s", 0, {}, NONE, 0.0f));
    kZero.Top(0);
    NiObjectPtr spZero = animtest::Load(kZero.Build());
    ASSERT_NE(spZero, nullptr);
    auto* pkZero = static_cast<NiControllerSequence*>(spZero.Get());
    ASSERT_TRUE(pkZero->Activate(0, false, 1, 0, nullptr));
    pkZero->Update(1.0f, true);
    ASSERT_TRUE(pkZero->Deactivate(0));
    EXPECT_EQ(pkZero->GetTimeOffset(), -1.0f);
}

// ---- Old layouts ----

TEST_F(NiControllerSequenceTest, StringTagLayoutsBuildTheirOwnPalette)
{
    for (std::uint32_t uiVersion : {V(10, 1, 0, 106), V(10, 1, 0, 110)})
    {
        SCOPED_TRACE(uiVersion);
        Bytes b;
        b = Str(b, "walk");
        b.U32(1).U32(5);
        b.U32(1).U32(NONE); // interpolator, controller
        if (uiVersion < V(10, 1, 0, 111))
            b.U32(NONE).U8(7);
        b = Str(b, "bone0");
        b = Str(b, nullptr);
        b = Str(b, "NiTransformController");
        b = Str(b, nullptr);
        b = Str(b, "id");
        b.F32(0.5f).U32(NONE).U32(0).F32(1).F32(0).F32(0).F32(2);
        if (uiVersion < V(10, 1, 0, 107))
            b.U8(0);
        b.U32(NONE);
        b = Str(b, "root");
        animtest::File kFile(uiVersion);
        kFile.Add("NiControllerSequence", b);
        Bytes kInterp;
        kInterp.Floats({1, 2, 3, 1, 0, 0, 0, 1});
        if (uiVersion < V(10, 1, 0, 110))
            kInterp.U8(1).U8(1).U8(1);
        kInterp.U32(NONE);
        kFile.Add("NiTransformInterpolator", kInterp);
        kFile.Top(0);
        NiObjectPtr spLoaded = animtest::Load(kFile.Build());
        auto* pk = NiDynamicCast<NiControllerSequence>(spLoaded.Get());
        ASSERT_NE(pk, nullptr);
        ASSERT_EQ(pk->GetArraySize(), 1u);
        ASSERT_NE(pk->GetStringPalette(), nullptr);
        EXPECT_EQ(pk->GetStringPalette()->GetAllocatedSize(), 320u);
        const NiControllerSequence::IDTag* pkTag = pk->GetTag(0);
        EXPECT_EQ(pkTag->m_spPalette, pk->GetStringPalette());
        EXPECT_STREQ(pkTag->GetAVObjectName(), "bone0");
        EXPECT_EQ(pkTag->m_uiPropertyTypeOffset, NONE);
        EXPECT_STREQ(pkTag->GetCtlrType(), "NiTransformController");
        EXPECT_STREQ(pkTag->GetInterpolatorID(), "id");
        EXPECT_TRUE(NiIsKindOf<NiTransformInterpolator>(pk->GetItem(0)->m_spInterpolator.Get()));
        EXPECT_EQ(pk->GetWeight(), 0.5f);
        EXPECT_EQ(pk->GetEndKeyTime(), 2.0f);
        EXPECT_STREQ(pk->GetAccumRootName(), "root");
        EXPECT_EQ(pk->GetArrayGrowBy(), 5u);
    }
}

TEST_F(NiControllerSequenceTest, OldSequenceConvertsItsControllers)
{
    // 10.1.0.103: name, root name, text keys, then (name, controller) pairs;
    // the controller is the old transform controller with key data.
    Bytes b;
    b = Str(b, "idle");
    b = Str(b, "Scene Root");
    b.U32(NONE);
    b.U32(2);
    b = Str(b, "Box");
    b.U32(1);
    b = Str(b, "Box\nPROP\nNiMaterialProperty");
    b.U32(NONE);
    animtest::File kFile(V(10, 1, 0, 103));
    kFile.Add("NiControllerSequence", b);
    // REVERSE (bits 1-2 = 1), frequency 2, phase 0.5, range [1, 3].
    Bytes kController;
    kController.U32(NONE).U16(0x0A).F32(2.0f).F32(0.5f).F32(1).F32(3).U32(NONE).U32(2);
    kFile.Add("NiKeyframeController", kController);
    Bytes kData;
    kData.U32(0).U32(2).U32(NI_LINKEY).F32(1).Floats({0, 0, 0}).F32(3).Floats({4, 0, 0}).U32(0);
    kFile.Add("NiKeyframeData", kData);
    kFile.Top(0);
    NiObjectPtr spLoaded = animtest::Load(kFile.Build());
    auto* pk = NiDynamicCast<NiControllerSequence>(spLoaded.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_STREQ(pk->GetName(), "idle");
    EXPECT_STREQ(pk->GetAccumRootName(), "Scene Root");
    EXPECT_EQ(pk->GetBeginKeyTime(), 1.0f);
    EXPECT_EQ(pk->GetEndKeyTime(), 3.0f);
    EXPECT_EQ(pk->GetCycleType(), NiControllerSequence::LOOP);
    EXPECT_EQ(pk->GetFrequency(), 2.0f);
    EXPECT_EQ(pk->GetPhase(), 0.5f);
    EXPECT_EQ(pk->GetArrayGrowBy(), 12u);
    ASSERT_EQ(pk->GetArraySize(), 2u);
    // The converted item takes the first empty entry; the old tags are
    // cleared.
    const NiControllerSequence::IDTag* pkTag = pk->GetTag(0);
    EXPECT_STREQ(pkTag->GetAVObjectName(), "Box");
    EXPECT_STREQ(pkTag->GetCtlrType(), "NiTransformController");
    EXPECT_EQ(pkTag->m_uiCtlrIDOffset, NONE);
    EXPECT_EQ(pkTag->m_uiInterpolatorIDOffset, NONE);
    ASSERT_NE(pk->GetItem(0)->m_spInterpCtlr, nullptr);
    EXPECT_EQ(pk->GetItem(0)->m_spInterpCtlr->GetCycleType(), NiTimeController::LOOP);
    EXPECT_FALSE(pk->GetItem(0)->m_spInterpCtlr->GetPlayBackwards());
    EXPECT_TRUE(NiIsKindOf<NiTransformInterpolator>(pk->GetItem(0)->m_spInterpolator.Get()));
    EXPECT_EQ(pk->GetItem(1)->m_spInterpolator, nullptr);
    EXPECT_EQ(pk->GetTag(1)->m_uiAVObjectNameOffset, NONE);

    // The property path splits into object name and property class.
    NiControllerSequencePtr spConv = MakeSequence("c", {});
    NiRefPtr<NiTransformController> spCtlr = new NiTransformController;
    spCtlr->SetInterpolator(MoveX(0, 1));
    ASSERT_TRUE(spConv->ConvertLegacyController("Box\nPROP\nNiMaterialProperty", spCtlr));
    ASSERT_TRUE(spConv->ConvertLegacyController("Lid\nNOTE\nNiMaterialProperty", spCtlr));
    EXPECT_STREQ(spConv->GetTag(0)->GetAVObjectName(), "Box");
    EXPECT_STREQ(spConv->GetTag(0)->GetPropertyType(), "NiMaterialProperty");
    EXPECT_STREQ(spConv->GetTag(1)->GetAVObjectName(), "Lid");
    EXPECT_EQ(spConv->GetTag(1)->GetPropertyType(), nullptr);
    spConv->SetArrayGrowBy(0);
    spConv->ConvertLegacyController("a", spCtlr);
    spConv->ConvertLegacyController("b", spCtlr);
    EXPECT_FALSE(spConv->ConvertLegacyController("c", spCtlr));
}
