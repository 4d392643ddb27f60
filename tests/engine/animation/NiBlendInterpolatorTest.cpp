#include "engine/animation/NiBlendInterpolator.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

using animtest::Bytes;
using animtest::V;

namespace
{
class NiBlendInterpolatorTest : public animtest::AnimTest
{
protected:
    NiRefPtr<NiBlendFloatInterpolator> m_spBlend = new NiBlendFloatInterpolator(false, 0.0f, 2);

    std::uint8_t Add(float fWeight, std::int8_t cPriority = 0, float fEase = 1.0f, float fValue = 1.0f)
    {
        return m_spBlend->AddInterpInfo(new NiFloatInterpolator(fValue), fWeight, cPriority, fEase);
    }
    float Normalized(std::uint8_t uc)
    {
        m_spBlend->ComputeNormalizedWeights();
        return m_spBlend->GetNormalizedWeight(uc);
    }
};

struct WeightCase
{
    const char* m_pcName;
    struct Item
    {
        float m_fWeight;
        std::int8_t m_cPriority;
        float m_fEase;
    };
    std::vector<Item> m_kItems;
    float m_fThreshold;
    bool m_bHighestOnly;
    std::vector<float> m_kExpected;
};

const WeightCase WEIGHT_CASES[] = {
    {"EqualPriorityShares", {{1, 0, 1}, {3, 0, 1}}, 0, false, {0.25f, 0.75f}},
    {"HigherLayerEasesIn", {{1, 1, 0.5f}, {1, 0, 1}}, 0, false, {1.0f / 3.0f, 2.0f / 3.0f}},
    {"HigherLayerFullyIn", {{1, 1, 1}, {1, 0, 1}}, 0, false, {1, 0}},
    {"LowerSecondLayerEasesIn", {{1, 0, 1}, {1, 1, 0.5f}}, 0, false, {2.0f / 3.0f, 1.0f / 3.0f}},
    {"ThreeLayers", {{1, 2, 1}, {1, 1, 1}, {1, 0, 1}}, 0, false, {1, 0, 0}},
    {"ThresholdDropsAndRescales", {{0.2f, 0, 1}, {0.4f, 0, 1}, {0.4f, 0, 1}}, 0.3f, false, {0, 0.5f, 0.5f}},
    {"TwoItemThreshold", {{1, 0, 1}, {4, 0, 1}}, 0.3f, false, {0, 1}},
    {"HighestOnlyTieGoesFirst", {{0.4f, 0, 1}, {0.4f, 0, 1}, {0.2f, 0, 1}}, 0, true, {1, 0, 0}},
    {"HighestOnlyTwoItems", {{1, 0, 1}, {3, 0, 1}}, 0, true, {0, 1}},
    {"ZeroWeightsTwoItems", {{0, 0, 1}, {0, 0, 1}}, 0, false, {0, 0}},
    {"ZeroWeightsThreeItems", {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 0, false, {0, 0, 0}},
    {"ZeroWeightsHighestOnlyMarksNone", {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 0, true, {0, 0, 0}},
    {"ZeroEaseHighLayer", {{1, 1, 0}, {1, 1, 0}, {0, 0, 1}}, 0, false, {0, 0, 0}},
};

class BlendWeights : public NiBlendInterpolatorTest, public ::testing::WithParamInterface<WeightCase>
{
};
} // namespace

TEST_P(BlendWeights, NormalizedWeightsFollowLayersEaseAndThreshold)
{
    const WeightCase& c = GetParam();
    m_spBlend->SetWeightThreshold(c.m_fThreshold);
    m_spBlend->SetOnlyUseHighestWeight(c.m_bHighestOnly);
    std::vector<std::uint8_t> kIdx;
    for (const auto& kItem : c.m_kItems)
        kIdx.push_back(Add(kItem.m_fWeight, kItem.m_cPriority, kItem.m_fEase));
    for (std::size_t i = 0; i < kIdx.size(); ++i)
    {
        SCOPED_TRACE(i);
        float f = Normalized(kIdx[i]);
        EXPECT_TRUE(std::isfinite(f));
        EXPECT_NEAR(f, c.m_kExpected[i], 1e-6f);
    }
}

INSTANTIATE_TEST_SUITE_P(NiBlendInterpolator, BlendWeights, ::testing::ValuesIn(WEIGHT_CASES),
                         [](const auto& kInfo) { return std::string(kInfo.param.m_pcName); });

TEST_F(NiBlendInterpolatorTest, PriorityLayersAndSingleItem)
{
    EXPECT_EQ(m_spBlend->GetHighestPriority(), -128);
    std::uint8_t a = Add(1, 1);
    EXPECT_EQ(m_spBlend->GetSingleIdx(), a);
    EXPECT_EQ(m_spBlend->GetSingleInterpolator(), m_spBlend->GetInterpolator(a));
    std::uint8_t b = Add(1, 1);
    EXPECT_EQ(m_spBlend->GetHighestPriority(), 1);
    EXPECT_EQ(m_spBlend->GetNextHighestPriority(), 1); // an equal highest sets both
    EXPECT_EQ(m_spBlend->GetSingleIdx(), 255);
    EXPECT_EQ(m_spBlend->GetSingleInterpolator(), nullptr);
    std::uint8_t c = Add(1, 0);
    EXPECT_EQ(m_spBlend->GetArraySize(), 4); // grew by two
    EXPECT_EQ(c, 2);

    // Removing both of the highest layer rebuilds the layers.
    EXPECT_NE(m_spBlend->RemoveInterpInfo(a), nullptr);
    EXPECT_NE(m_spBlend->RemoveInterpInfo(b), nullptr);
    EXPECT_EQ(m_spBlend->GetHighestPriority(), 0);
    EXPECT_EQ(m_spBlend->GetNextHighestPriority(), -128);
    EXPECT_EQ(m_spBlend->GetInterpCount(), 1);
    EXPECT_EQ(m_spBlend->GetSingleIdx(), c);

    // Out of range or free slots: null and no change.
    EXPECT_EQ(m_spBlend->RemoveInterpInfo(a), nullptr);
    EXPECT_EQ(m_spBlend->RemoveInterpInfo(200), nullptr);
    EXPECT_EQ(m_spBlend->GetInterpCount(), 1);

    // The wrong value kind is refused.
    NiInterpolatorPtr spWrong = new NiBlendTransformInterpolator;
    EXPECT_EQ(m_spBlend->AddInterpInfo(spWrong, 1.0f), 255);
    EXPECT_EQ(m_spBlend->AddInterpInfo(nullptr, 1.0f), 255);
}

TEST_F(NiBlendInterpolatorTest, GrowthStopsBelowTwoHundredFiftySixSlots)
{
    NiRefPtr<NiBlendFloatInterpolator> sp = new NiBlendFloatInterpolator(false, 0.0f, 0);
    for (int i = 0; i < 254; ++i)
        ASSERT_EQ(sp->AddInterpInfo(new NiFloatInterpolator(1.0f), 1.0f), i);
    EXPECT_EQ(sp->GetArraySize(), 254);
    NiInterpolatorPtr spExtra = new NiFloatInterpolator(1.0f);
    EXPECT_EQ(sp->AddInterpInfo(spExtra, 1.0f), 255);
    EXPECT_EQ(sp->GetArraySize(), 254);
    EXPECT_EQ(sp->GetInterpCount(), 254);
    // A freed slot is taken again.
    EXPECT_NE(sp->RemoveInterpInfo(17), nullptr);
    EXPECT_EQ(sp->AddInterpInfo(new NiFloatInterpolator(1.0f), 1.0f), 17);

    NiBlendInterpolator::SetArrayGrowBy(0);
    NiRefPtr<NiBlendFloatInterpolator> spNoGrow = new NiBlendFloatInterpolator(false, 0.0f, 0);
    EXPECT_EQ(spNoGrow->AddInterpInfo(spExtra, 1.0f), 255);
}

namespace
{
// Float interpolator record: pose and a null data link.
Bytes FloatInterpRecord(float f)
{
    Bytes b;
    b.F32(f).U32(0xFFFFFFFF);
    return b;
}

// One slot in the layouts before 10.1.0.110: i32 priority.
void WideSlot(Bytes& b, std::uint32_t uiLink, float fWeight, float fNorm, std::int32_t iPriority, float fEase)
{
    b.U32(uiLink).F32(fWeight).F32(fNorm).I32(iPriority).F32(fEase);
}
void NarrowSlot(Bytes& b, std::uint32_t uiLink, float fWeight, float fNorm, std::int8_t cPriority, float fEase)
{
    b.U32(uiLink).F32(fWeight).F32(fNorm).I8(cPriority).F32(fEase);
}

NiRefPtr<NiBlendFloatInterpolator> LoadBlend(std::uint32_t uiVersion, const Bytes& kBlend)
{
    animtest::File kFile(uiVersion);
    kFile.Top(kFile.Add("NiBlendFloatInterpolator", kBlend));
    kFile.Add("NiFloatInterpolator", FloatInterpRecord(4.0f));
    kFile.Add("NiFloatInterpolator", FloatInterpRecord(8.0f));
    NiObjectPtr sp = animtest::Load(kFile.Build());
    return NiRefPtr<NiBlendFloatInterpolator>(NiDynamicCast<NiBlendFloatInterpolator>(sp.Get()));
}
} // namespace

TEST_F(NiBlendInterpolatorTest, CurrentRecordRoundTripsAndManagerControlledStoresNoItems)
{
    Add(1, 0, 1, 4.0f);
    Add(3, 0, 1, 8.0f);
    m_spBlend->SetWeightThreshold(0.1f);
    // The weights-changed bit is written as held and cleared on reading: a
    // blend saved after its weights were computed reads back identical.
    m_spBlend->ComputeNormalizedWeights();
    std::vector<std::uint8_t> kBytes = animtest::Save(m_spBlend);
    NiObjectPtr sp = animtest::Load(kBytes);
    ASSERT_NE(sp, nullptr);
    EXPECT_TRUE(m_spBlend->IsEqual(sp));
    EXPECT_EQ(animtest::Save(sp), kBytes);
    auto* pk = NiDynamicCast<NiBlendFloatInterpolator>(sp.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_FALSE(pk->GetComputeNormalizedWeights());

    // Manager-controlled: flags, size, threshold (6 bytes) and the value.
    Bytes kManaged;
    kManaged.U8(NiBlendInterpolator::MANAGER_CONTROLLED_MASK | NiBlendInterpolator::COMPUTE_NORMALIZED_WEIGHTS_MASK)
        .U8(2)
        .F32(0.0f)
        .F32(-FLT_MAX);
    animtest::File kFile;
    kFile.Top(kFile.Add("NiBlendFloatInterpolator", kManaged));
    NiObjectPtr spManaged = animtest::Load(kFile.Build());
    auto* pkManaged = NiDynamicCast<NiBlendFloatInterpolator>(spManaged.Get());
    ASSERT_NE(pkManaged, nullptr);
    EXPECT_TRUE(pkManaged->GetManagerControlled());
    EXPECT_FALSE(pkManaged->GetComputeNormalizedWeights());
    EXPECT_EQ(pkManaged->GetArraySize(), 2);
    EXPECT_EQ(pkManaged->GetInterpCount(), 0);

    // Non-managed: 6 + 20 + 17 per slot + 4, then the value.
    Bytes kRecord;
    kRecord.U8(0).U8(2).F32(0.0f);
    kRecord.U8(9).U8(7).I8(0).I8(0).F32(-FLT_MAX).Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
    NarrowSlot(kRecord, 1, 1.0f, 0.25f, 0, 1.0f);
    NarrowSlot(kRecord, 0xFFFFFFFF, 0, 0, 0, 0);
    kRecord.U32(1).F32(5.0f);
    EXPECT_EQ(kRecord.Size(), 6u + 20u + 34u + 4u + 4u);
    auto spCounted = LoadBlend(V(10, 2, 0, 0), kRecord);
    ASSERT_NE(spCounted, nullptr);
    // The counts come from the slots, not from the file's words.
    EXPECT_EQ(spCounted->GetInterpCount(), 1);
    EXPECT_EQ(spCounted->GetSingleIdx(), 0);
    ASSERT_NE(spCounted->GetSingleInterpolator(), nullptr);
    float f = 0;
    EXPECT_TRUE(spCounted->UpdateFloat(1.0f, nullptr, f));
    EXPECT_EQ(f, 4.0f);

    std::vector<std::uint8_t> kFull = [&] {
        animtest::File k;
        k.Top(k.Add("NiBlendFloatInterpolator", kRecord));
        k.Add("NiFloatInterpolator", FloatInterpRecord(4.0f));
        return k.Build();
    }();
    for (std::size_t n = 0; n < kFull.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFull, n), nullptr);
    }
}

TEST_F(NiBlendInterpolatorTest, OldRecordsOfEveryLayout)
{
    // 10.1.0.104: u16 size, dropped u16, wide slots, no single item.
    Bytes k104;
    k104.U16(0x0102).U16(0xAAAA);
    WideSlot(k104, 1, 1.0f, 0.25f, 3, 1.0f);
    WideSlot(k104, 2, 3.0f, 0.75f, INT_MIN, 1.0f);
    k104.U8(0).F32(0.5f).U8(1).U16(2).U16(0xFF).I32(3).I32(INT_MIN);
    k104.F32(6.0f);
    auto sp = LoadBlend(V(10, 1, 0, 104), k104);
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->GetArraySize(), 2);
    EXPECT_EQ(sp->GetInterpCount(), 2);
    EXPECT_EQ(sp->GetItem(0)->m_cPriority, 3);
    EXPECT_EQ(sp->GetItem(1)->m_cPriority, -128);
    EXPECT_EQ(sp->GetHighestPriority(), 3);
    EXPECT_EQ(sp->GetNextHighestPriority(), -128);
    EXPECT_EQ(sp->GetWeightThreshold(), 0.5f);
    EXPECT_TRUE(sp->GetOnlyUseHighestWeight());
    EXPECT_EQ(sp->GetHighSumOfWeights(), -FLT_MAX);
    EXPECT_EQ(sp->GetValue(), 6.0f);
    std::vector<std::uint8_t> k104Bytes = [&] {
        animtest::File k(V(10, 1, 0, 104));
        k.Top(k.Add("NiBlendFloatInterpolator", k104));
        k.Add("NiFloatInterpolator", FloatInterpRecord(4.0f));
        k.Add("NiFloatInterpolator", FloatInterpRecord(8.0f));
        return k.Build();
    }();
    for (std::size_t n = 0; n < k104Bytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(k104Bytes, n), nullptr);
    }

    // 10.1.0.108: the single item and its time follow the counts.
    Bytes k108;
    k108.U16(1).U16(0);
    WideSlot(k108, 1, 1.0f, 1.0f, 0, 1.0f);
    k108.U8(1).F32(0.0f).U8(0).U16(1).U16(0).U32(1).F32(2.5f).I32(0).I32(INT_MIN);
    k108.F32(4.0f);
    sp = LoadBlend(V(10, 1, 0, 108), k108);
    ASSERT_NE(sp, nullptr);
    EXPECT_TRUE(sp->GetManagerControlled());
    EXPECT_EQ(sp->GetSingleTime(), 2.5f);
    EXPECT_EQ(sp->GetSingleIdx(), 0);

    // 10.1.0.110: byte-sized fields, i8 priorities.
    Bytes k110;
    k110.U8(2);
    NarrowSlot(k110, 1, 1.0f, 0.5f, 5, 1.0f);
    NarrowSlot(k110, 2, 1.0f, 0.5f, 4, 1.0f);
    k110.U8(0).F32(0.0f).U8(0).U8(2).U8(255).U32(0xFFFFFFFF).F32(-FLT_MAX).I8(5).I8(4);
    k110.F32(-FLT_MAX);
    sp = LoadBlend(V(10, 1, 0, 110), k110);
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->GetHighestPriority(), 5);
    EXPECT_EQ(sp->GetNextHighestPriority(), 4);
    EXPECT_EQ(sp->GetInterpCount(), 2);
    float f = 0;
    ASSERT_TRUE(sp->UpdateFloat(0.0f, nullptr, f));

    // 10.1.0.112: the current layout.
    Bytes k112;
    k112.U8(0).U8(1).F32(0.0f).U8(1).U8(0).I8(0).I8(-128).F32(-FLT_MAX).Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
    NarrowSlot(k112, 2, 1.0f, 1.0f, 0, 1.0f);
    k112.U32(2).F32(8.0f);
    sp = LoadBlend(V(10, 1, 0, 112), k112);
    ASSERT_NE(sp, nullptr);
    ASSERT_TRUE(sp->UpdateFloat(0.0f, nullptr, f));
    EXPECT_EQ(f, 8.0f);

    // A slot linking something that is no interpolator fails the load.
    Bytes kBad;
    kBad.U8(0).U8(1).F32(0.0f).U8(1).U8(0).I8(0).I8(-128).F32(-FLT_MAX).Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
    NarrowSlot(kBad, 3, 1.0f, 1.0f, 0, 1.0f);
    kBad.U32(0xFFFFFFFF).F32(0.0f);
    animtest::File kFile;
    kFile.Top(kFile.Add("NiBlendFloatInterpolator", kBad));
    kFile.Add("NiFloatInterpolator", FloatInterpRecord(4.0f));
    kFile.Add("NiFloatInterpolator", FloatInterpRecord(8.0f));
    Bytes kData;
    kData.U32(0);
    kFile.Add("NiFloatData", kData);
    EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
}

TEST_F(NiBlendInterpolatorTest, TransformBlendBeforeTenOneZeroOneTenDropsAStoredTransform)
{
    Bytes kOld;
    kOld.U16(0).U16(0);
    kOld.U8(1).F32(0.0f).U8(0).U16(0).U16(0xFF).U32(0xFFFFFFFF).F32(-FLT_MAX).I32(INT_MIN).I32(INT_MIN);
    Bytes kTransform;
    kTransform.Floats({1, 2, 3, 1, 0, 0, 0, 1}).U8(1).U8(1).U8(1);
    ASSERT_EQ(kTransform.Size(), 35u);
    kOld.Append(kTransform);
    animtest::File kFile(V(10, 1, 0, 108));
    kFile.Top(kFile.Add("NiBlendTransformInterpolator", kOld));
    std::vector<std::uint8_t> kBytes = kFile.Build();
    NiObjectPtr sp = animtest::Load(kBytes);
    ASSERT_NE(NiDynamicCast<NiBlendTransformInterpolator>(sp.Get()), nullptr);
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }
}

TEST_F(NiBlendInterpolatorTest, CloneCopiesItemsAndPointsTheSingleItemAtItsOwnSlot)
{
    Add(2.0f, 3, 1.0f, 4.0f);
    NiRefPtr<NiBlendFloatInterpolator> spCopy = static_cast<NiBlendFloatInterpolator*>(m_spBlend->Clone());
    ASSERT_NE(spCopy, nullptr);
    EXPECT_TRUE(m_spBlend->IsEqual(spCopy));
    EXPECT_NE(spCopy->GetInterpolator(0), m_spBlend->GetInterpolator(0));
    EXPECT_EQ(spCopy->GetSingleInterpolator(), spCopy->GetInterpolator(0));

    NiRefPtr<NiBlendFloatInterpolator> spManaged = new NiBlendFloatInterpolator(true, 0.0f, 2);
    spManaged->AddInterpInfo(new NiFloatInterpolator(1.0f), 1.0f);
    NiRefPtr<NiBlendFloatInterpolator> spManagedCopy = static_cast<NiBlendFloatInterpolator*>(spManaged->Clone());
    EXPECT_EQ(spManagedCopy->GetInterpCount(), 0);
    EXPECT_EQ(spManagedCopy->GetSingleInterpolator(), nullptr);
}

TEST_F(NiBlendInterpolatorTest, BlendsThatLeadBackToThemselvesAreRefused)
{
    auto fnBlend = [](std::uint32_t uiItem) {
        Bytes b;
        b.U8(0).U8(1).F32(0.0f).U8(1).U8(0).I8(0).I8(-128).F32(-FLT_MAX).Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
        NarrowSlot(b, uiItem, 1.0f, 1.0f, 0, 1.0f);
        b.U32(uiItem).F32(0.0f);
        return b;
    };
    animtest::File kSelf;
    kSelf.Top(kSelf.Add("NiBlendFloatInterpolator", fnBlend(0)));
    EXPECT_EQ(animtest::Load(kSelf.Build()), nullptr);

    animtest::File kPair;
    kPair.Top(kPair.Add("NiBlendFloatInterpolator", fnBlend(1)));
    kPair.Add("NiBlendFloatInterpolator", fnBlend(0));
    EXPECT_EQ(animtest::Load(kPair.Build()), nullptr);

    // A blend of a blend is fine.
    animtest::File kChain;
    kChain.Top(kChain.Add("NiBlendFloatInterpolator", fnBlend(1)));
    kChain.Add("NiBlendFloatInterpolator", fnBlend(2));
    kChain.Add("NiFloatInterpolator", FloatInterpRecord(3.0f));
    NiObjectPtr sp = animtest::Load(kChain.Build());
    auto* pk = NiDynamicCast<NiBlendFloatInterpolator>(sp.Get());
    ASSERT_NE(pk, nullptr);
    float f = 0;
    ASSERT_TRUE(pk->UpdateFloat(1.0f, nullptr, f));
    EXPECT_EQ(f, 3.0f);
}

TEST_F(NiBlendInterpolatorTest, LinksTakenWhileReadingAreLetGoWhenTheLoadFailsLater)
{
    // Each blend kind with the value its record ends with.
    struct Kind
    {
        const char* m_pcClass;
        std::size_t m_uiValueBytes;
    };
    const Kind akKinds[] = {{"NiBlendBoolInterpolator", 1},   {"NiBlendColorInterpolator", 16},
                            {"NiBlendFloatInterpolator", 4},  {"NiBlendPoint3Interpolator", 12},
                            {"NiBlendQuaternionInterpolator", 16}, {"NiBlendTransformInterpolator", 0}};
    auto fnBlend = [](std::uint32_t uiItem, std::size_t uiValueBytes) {
        Bytes b;
        b.U8(0).U8(1).F32(0.0f).U8(1).U8(0).I8(0).I8(-128).F32(-FLT_MAX).Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
        NarrowSlot(b, uiItem, 1.0f, 1.0f, 0, 1.0f);
        b.U32(uiItem);
        for (std::size_t i = 0; i < uiValueBytes; ++i)
            b.U8(0);
        return b;
    };
    Bytes kNoKeys;
    kNoKeys.U32(0);
    Bytes kTooManyKeys;
    kTooManyKeys.U32(1000000).U32(1);
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    for (const Kind& kKind : akKinds)
    {
        SCOPED_TRACE(kKind.m_pcClass);
        // 0 blends itself, 1 and 2 blend each other, 3 holds its key data 4;
        // then key data whose count the bytes left cannot hold.
        animtest::File kFile;
        kFile.Top(kFile.Add(kKind.m_pcClass, fnBlend(0, kKind.m_uiValueBytes)));
        kFile.Add(kKind.m_pcClass, fnBlend(2, kKind.m_uiValueBytes));
        kFile.Add(kKind.m_pcClass, fnBlend(1, kKind.m_uiValueBytes));
        kFile.Add("NiFloatInterpolator", Bytes().F32(1.0f).U32(4));
        kFile.Add("NiFloatData", kNoKeys);
        kFile.Add("NiFloatData", kTooManyKeys);
        std::vector<std::uint8_t> kBytes = kFile.Build();
        {
            NiObjectStream kStream;
            EXPECT_FALSE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
            EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLive);
    }
}
