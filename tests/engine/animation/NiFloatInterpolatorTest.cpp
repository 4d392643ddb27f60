#include "engine/animation/NiFloatInterpolator.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiBoolTimelineInterpolator.h"
#include "engine/animation/NiColorInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>

using animtest::Bytes;
using animtest::V;

// Float, colour and bool interpolators and their key data.
namespace
{
class NiFloatInterpolatorTest : public animtest::AnimTest
{
};

NiFloatDataPtr FloatData(std::uint32_t uiType, std::initializer_list<std::pair<float, float>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
    std::uint32_t uiCount = static_cast<std::uint32_t>(kKeys.size());
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, uiType)(uiCount);
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_fValue = k.second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, uiType)(pk, uiCount, ucSize);
    NiFloatDataPtr sp = new NiFloatData;
    sp->ReplaceKeys(pk, uiCount, uiType);
    return sp;
}

NiBoolDataPtr BoolData(std::initializer_list<std::pair<float, bool>> kKeys)
{
    std::uint32_t uiCount = static_cast<std::uint32_t>(kKeys.size());
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_BOOLKEY, NI_STEPKEY)(uiCount);
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiBoolKey*>(NiAnimKey::At(pk, i++, 8));
        p->m_fTime = k.first;
        p->m_bValue = k.second ? 1 : 0;
    }
    NiBoolDataPtr sp = new NiBoolData;
    sp->ReplaceKeys(pk, uiCount, NI_STEPKEY);
    return sp;
}
} // namespace

TEST_F(NiFloatInterpolatorTest, UpdateEvaluatesOncePerTime)
{
    NiFloatDataPtr spData = FloatData(NI_LINKEY, {{0, 0}, {1, 10}, {2, 20}});
    NiFloatInterpolatorPtr sp = new NiFloatInterpolator(spData);
    EXPECT_EQ(sp->GetLastTime(), -FLT_MAX);
    float f = 0;
    ASSERT_TRUE(sp->UpdateFloat(1.5f, nullptr, f));
    EXPECT_EQ(f, 15.0f);
    static_cast<NiFloatKey*>(NiAnimKey::At(spData->GetKeys(), 2, 8))->m_fValue = 40.0f;
    ASSERT_TRUE(sp->UpdateFloat(1.5f, nullptr, f));
    EXPECT_EQ(f, 15.0f); // from the cache
    ASSERT_TRUE(sp->UpdateFloat(1.75f, nullptr, f));
    EXPECT_EQ(f, 32.5f);
    ASSERT_TRUE(sp->UpdateFloat(10.0f, nullptr, f));
    EXPECT_EQ(f, 40.0f);
    EXPECT_TRUE(sp->IsFloatValueSupported());
    EXPECT_FALSE(sp->IsColorValueSupported());
    NiColorRGBA kColor;
    EXPECT_FALSE(sp->UpdateColor(1.0f, nullptr, kColor));
}

TEST_F(NiFloatInterpolatorTest, EmptyDataCollapsesToAnInvalidPose)
{
    NiFloatInterpolatorPtr sp = new NiFloatInterpolator(new NiFloatData);
    sp->Collapse();
    EXPECT_EQ(sp->GetData(), nullptr);
    float f = 3.0f;
    EXPECT_FALSE(sp->UpdateFloat(1.0f, nullptr, f));
    EXPECT_EQ(f, 3.0f);
    EXPECT_FALSE(sp->UpdateFloat(2.0f, nullptr, f));
    EXPECT_FALSE(sp->GetChannelPosed(0));
}

struct CollapseCase
{
    const char* m_pcName;
    std::uint32_t m_uiType;
    std::vector<float> m_kValues;
    bool m_bCollapses;
};

class FloatCollapse : public animtest::AnimTest, public ::testing::WithParamInterface<CollapseCase>
{
};

TEST_P(FloatCollapse, OnlySingleOrConstantLinearAndStepKeysCollapse)
{
    const CollapseCase& c = GetParam();
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, c.m_uiType);
    std::uint32_t uiCount = static_cast<std::uint32_t>(c.m_kValues.size());
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, c.m_uiType)(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, i, ucSize));
        p->m_fTime = static_cast<float>(i);
        p->m_fValue = c.m_kValues[i];
    }
    NiFloatDataPtr spData = new NiFloatData;
    spData->ReplaceKeys(pk, uiCount, c.m_uiType);
    NiFloatInterpolatorPtr sp = new NiFloatInterpolator(spData.Get());
    sp->Collapse();
    EXPECT_EQ(sp->GetData() == nullptr, c.m_bCollapses);
    if (c.m_bCollapses)
    {
        EXPECT_EQ(sp->GetPoseValue(), c.m_kValues[0]);
        EXPECT_TRUE(sp->GetChannelPosed(0));
    }
}

const CollapseCase COLLAPSE_CASES[] = {
    {"StepAllZero", NI_STEPKEY, {0, 0, 0}, true},
    {"LinearAllEqual", NI_LINKEY, {2, 2}, true},
    {"LinearDiffer", NI_LINKEY, {2, 3}, false},
    {"BezierAllZero", NI_BEZKEY, {0, 0, 0}, false},
    {"TcbAllZero", NI_TCBKEY, {0, 0}, false},
    {"SingleBezier", NI_BEZKEY, {4}, true},
    {"SingleTcb", NI_TCBKEY, {4}, true},
};
INSTANTIATE_TEST_SUITE_P(NiFloatInterpolator, FloatCollapse, ::testing::ValuesIn(COLLAPSE_CASES),
                         [](const auto& kInfo) { return std::string(kInfo.param.m_pcName); });

TEST_F(NiFloatInterpolatorTest, RecordsRoundTripAndRefuseWrongDataClass)
{
    NiFloatDataPtr spData = FloatData(NI_TCBKEY, {{0, 1}, {1, 3}, {2, 2}});
    NiFloatInterpolatorPtr sp = new NiFloatInterpolator(spData);
    sp->SetData(spData);
    std::vector<std::uint8_t> kBytes = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kBytes);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_TRUE(sp->IsEqual(spLoaded));
    EXPECT_EQ(animtest::Save(spLoaded), kBytes);
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }

    // Interpolator record: f32 pose and the data link.
    Bytes kRecord;
    kRecord.F32(2.5f).U32(1);
    Bytes kColorData;
    kColorData.U32(0);
    animtest::File kFile;
    kFile.Top(kFile.Add("NiFloatInterpolator", kRecord));
    kFile.Add("NiColorData", kColorData);
    EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);

    animtest::File kGood;
    Bytes kFloatData;
    kFloatData.U32(1).U32(NI_LINKEY).Floats({0, 7});
    kGood.Top(kGood.Add("NiFloatInterpolator", kRecord));
    kGood.Add("NiFloatData", kFloatData);
    NiObjectPtr spGood = animtest::Load(kGood.Build());
    auto* pkGood = NiDynamicCast<NiFloatInterpolator>(spGood.Get());
    ASSERT_NE(pkGood, nullptr);
    EXPECT_EQ(pkGood->GetPoseValue(), 2.5f);
    ASSERT_NE(pkGood->GetData(), nullptr);
    EXPECT_EQ(pkGood->GetData()->GetNumKeys(), 1u);
}

TEST_F(NiFloatInterpolatorTest, KeyDataRecordsOfEveryContentRoundTrip)
{
    // count, type, keys: float TCB (20 a key), colour linear (20), bool step (5).
    Bytes kFloat;
    kFloat.U32(2).U32(NI_TCBKEY).Floats({0, 1, 0.5f, 0, 0, 1, 2, 0, 0, 0});
    Bytes kColor;
    kColor.U32(1).U32(NI_STEPKEY).Floats({0, 0.1f, 0.2f, 0.3f, 0.4f});
    Bytes kBool;
    kBool.U32(2).U32(NI_STEPKEY).F32(0).U8(1).F32(1).U8(0);
    Bytes kEmpty;
    kEmpty.U32(0);
    struct
    {
        const char* m_pcClass;
        const Bytes* m_pkRecord;
    } aCases[] = {{"NiFloatData", &kFloat}, {"NiColorData", &kColor}, {"NiBoolData", &kBool},
                  {"NiVisData", &kBool},    {"NiFloatData", &kEmpty}};
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pcClass);
        animtest::File kFile;
        kFile.Top(kFile.Add(c.m_pcClass, *c.m_pkRecord));
        std::vector<std::uint8_t> kBytes = kFile.Build();
        NiObjectPtr sp = animtest::Load(kBytes);
        ASSERT_NE(sp, nullptr);
        std::vector<std::uint8_t> kSaved = animtest::Save(sp);
        // A file naming the old class is saved under the current one.
        if (std::string(c.m_pcClass) == "NiVisData")
        {
            EXPECT_EQ(sp->GetTypeInfo(), NiBoolData::TypeInfo());
            continue;
        }
        EXPECT_EQ(kSaved, kBytes);
        for (std::size_t n = 0; n < kBytes.size(); ++n)
        {
            SCOPED_TRACE(n);
            EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
        }
    }
    // Hostile counts and types.
    for (std::uint32_t uiType : {6u, 99u, std::uint32_t(NI_LINKEY), std::uint32_t(NI_NOINTERP)})
    {
        SCOPED_TRACE(uiType);
        Bytes kBad;
        kBad.U32(1).U32(uiType).F32(0).U8(1).U8(0).U8(0).U8(0);
        animtest::File kFile;
        kFile.Top(kFile.Add("NiBoolData", kBad));
        EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
    }
    Bytes kHuge;
    kHuge.U32(0xFFFFFFFFu).U32(NI_STEPKEY).F32(0).U8(1);
    animtest::File kFile;
    kFile.Top(kFile.Add("NiBoolData", kHuge));
    EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
}

TEST_F(NiFloatInterpolatorTest, ColorInterpolatorWithoutDataAnswersFromItsPose)
{
    NiRefPtr<NiColorInterpolator> sp = new NiColorInterpolator;
    NiColorRGBA k(1, 1, 1, 1);
    EXPECT_FALSE(sp->UpdateColor(0.0f, nullptr, k));
    EXPECT_EQ(k, NiColorRGBA(1, 1, 1, 1));
    sp->SetPoseValue(NiColorRGBA(0.2f, 0.4f, 0.6f, 0.5f));
    ASSERT_TRUE(sp->UpdateColor(0.0f, nullptr, k));
    EXPECT_EQ(k, NiColorRGBA(0.2f, 0.4f, 0.6f, 0.5f));
    EXPECT_TRUE(sp->GetChannelPosed(0));
    EXPECT_EQ(sp->GetKeyContent(0), static_cast<std::uint32_t>(NI_COLORKEY));
}

TEST_F(NiFloatInterpolatorTest, BoolTimelineReportsASwitchBetweenUpdates)
{
    NiBoolDataPtr spData = BoolData({{0, false}, {1, true}, {1.01f, false}, {2, false}});
    NiRefPtr<NiBoolTimelineInterpolator> spTimeline = new NiBoolTimelineInterpolator(spData);
    NiRefPtr<NiBoolInterpolator> spPlain = new NiBoolInterpolator(spData);
    std::uint8_t b = 7;
    ASSERT_TRUE(spTimeline->UpdateBool(0.5f, nullptr, b));
    EXPECT_EQ(b, 0);
    ASSERT_TRUE(spTimeline->UpdateBool(1.5f, nullptr, b));
    EXPECT_EQ(b, 1);
    ASSERT_TRUE(spPlain->UpdateBool(0.5f, nullptr, b));
    ASSERT_TRUE(spPlain->UpdateBool(1.5f, nullptr, b));
    EXPECT_EQ(b, 0);

    // A switch passed on the way past the last key is reported too.
    NiRefPtr<NiBoolTimelineInterpolator> spEnd =
        new NiBoolTimelineInterpolator(BoolData({{0, false}, {1, true}, {2, false}}));
    ASSERT_TRUE(spEnd->UpdateBool(0.5f, nullptr, b));
    EXPECT_EQ(b, 0);
    ASSERT_TRUE(spEnd->UpdateBool(5.0f, nullptr, b));
    EXPECT_EQ(b, 1);
    ASSERT_TRUE(spEnd->UpdateBool(6.0f, nullptr, b));
    EXPECT_EQ(b, 0);

    // The timeline writes exactly the plain bool record.
    std::vector<std::uint8_t> kTimeline = animtest::Save(spTimeline);
    NiObjectPtr spLoaded = animtest::Load(kTimeline);
    ASSERT_NE(NiDynamicCast<NiBoolTimelineInterpolator>(spLoaded.Get()), nullptr);
    EXPECT_TRUE(spTimeline->IsEqual(spLoaded));

    // Invalid pose without data: 0 and false.
    NiRefPtr<NiBoolInterpolator> spNone = new NiBoolInterpolator;
    b = 1;
    EXPECT_FALSE(spNone->UpdateBool(0.0f, nullptr, b));
    NiRefPtr<NiBoolTimelineInterpolator> spNoneTimeline = new NiBoolTimelineInterpolator;
    EXPECT_FALSE(spNoneTimeline->UpdateBool(0.0f, nullptr, b));
    EXPECT_EQ(b, 0);
}

TEST_F(NiFloatInterpolatorTest, SequenceCopyAndBoundaryKeys)
{
    NiFloatDataPtr spData = FloatData(NI_LINKEY, {{0, 0}, {1, 10}, {2, 20}, {3, 30}});
    NiFloatInterpolatorPtr sp = new NiFloatInterpolator(spData);
    NiRefPtr<NiInterpolator> spSeq = sp->GetSequenceInterpolator(1.0f, 2.0f);
    auto* pkSeq = NiDynamicCast<NiFloatInterpolator>(spSeq.Get());
    ASSERT_NE(pkSeq, nullptr);
    ASSERT_NE(pkSeq->GetData(), spData.Get());
    EXPECT_EQ(pkSeq->GetKeyCount(0), 2u);
    float f = 0;
    ASSERT_TRUE(pkSeq->UpdateFloat(0.5f, nullptr, f));
    EXPECT_EQ(f, 15.0f);

    sp->GuaranteeTimeRange(0.5f, 4.0f);
    EXPECT_EQ(spData->GetNumKeys(), 6u);
    float fBegin, fEnd;
    sp->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 4.0f);
}
