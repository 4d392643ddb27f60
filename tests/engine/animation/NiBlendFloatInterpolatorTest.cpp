#include "engine/animation/NiBlendFloatInterpolator.h"

#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBlendQuaternionInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>

// The six typed blends: how each asks its items and mixes their values.
namespace
{
class NiBlendFloatInterpolatorTest : public animtest::AnimTest
{
};
} // namespace

TEST_F(NiBlendFloatInterpolatorTest, FloatMeanAndFailingItems)
{
    NiRefPtr<NiBlendFloatInterpolator> sp = new NiBlendFloatInterpolator(false, 0.0f, 2);
    sp->AddInterpInfo(new NiFloatInterpolator(4.0f), 1.0f);
    std::uint8_t b = sp->AddInterpInfo(new NiFloatInterpolator(8.0f), 3.0f);
    float f = 0;
    ASSERT_TRUE(sp->UpdateFloat(1.0f, nullptr, f));
    EXPECT_FLOAT_EQ(f, 7.0f);
    EXPECT_FLOAT_EQ(sp->GetValue(), 7.0f);

    // A failing item leaves the mean of the rest.
    static_cast<NiFloatInterpolator*>(sp->GetInterpolator(b))->SetPoseValue(-FLT_MAX);
    ASSERT_TRUE(sp->UpdateFloat(2.0f, nullptr, f));
    EXPECT_FLOAT_EQ(f, 4.0f);

    // Every item failing: the invalid marker and false.
    static_cast<NiFloatInterpolator*>(sp->GetInterpolator(0))->SetPoseValue(-FLT_MAX);
    EXPECT_FALSE(sp->UpdateFloat(3.0f, nullptr, f));
    EXPECT_EQ(f, -FLT_MAX);

    // No items: false, out untouched, but the time is taken.
    NiRefPtr<NiBlendFloatInterpolator> spEmpty = new NiBlendFloatInterpolator(false, 0.0f, 2);
    f = 5.0f;
    EXPECT_FALSE(spEmpty->UpdateFloat(9.0f, nullptr, f));
    EXPECT_EQ(f, 5.0f);
    EXPECT_EQ(spEmpty->GetLastTime(), 9.0f);
}

TEST_F(NiBlendFloatInterpolatorTest, BoolVoteTiesGoToTrue)
{
    NiRefPtr<NiBlendBoolInterpolator> sp = new NiBlendBoolInterpolator(false, 0.0f, 2);
    sp->AddInterpInfo(new NiBoolInterpolator(std::uint8_t(1)), 1.0f);
    std::uint8_t b = sp->AddInterpInfo(new NiBoolInterpolator(std::uint8_t(0)), 1.0f);
    std::uint8_t v = 7;
    ASSERT_TRUE(sp->UpdateBool(1.0f, nullptr, v));
    EXPECT_EQ(v, 1);
    sp->SetWeight(1.5f, b); // 0.4 true against 0.6 false
    ASSERT_TRUE(sp->UpdateBool(2.0f, nullptr, v));
    EXPECT_EQ(v, 0);
    EXPECT_NEAR(sp->GetNormalizedWeight(0), 0.4f, 1e-6f);
}

TEST_F(NiBlendFloatInterpolatorTest, QuaternionOppositesAreTurnedIntoOneHemisphere)
{
    const NiQuat q(0.5f, 0.5f, 0.5f, 0.5f);
    NiRefPtr<NiBlendQuaternionInterpolator> sp = new NiBlendQuaternionInterpolator(false, 0.0f, 2);
    sp->AddInterpInfo(new NiQuaternionInterpolator(nullptr), 1.0f);
    sp->AddInterpInfo(new NiQuaternionInterpolator(nullptr), 1.0f);
    static_cast<NiQuaternionInterpolator*>(sp->GetInterpolator(0))->SetPoseValue(q);
    static_cast<NiQuaternionInterpolator*>(sp->GetInterpolator(1))->SetPoseValue(-q);
    NiQuat k;
    ASSERT_TRUE(sp->UpdateQuaternion(1.0f, nullptr, k));
    EXPECT_NEAR(k.w, q.w, 1e-6f);
    EXPECT_NEAR(k.x, q.x, 1e-6f);
    EXPECT_NEAR(k.y, q.y, 1e-6f);
    EXPECT_NEAR(k.z, q.z, 1e-6f);
}

TEST_F(NiBlendFloatInterpolatorTest, TransformBlendsPartByPart)
{
    NiRefPtr<NiBlendTransformInterpolator> sp = new NiBlendTransformInterpolator(false, 0.0f, 2);
    NiQuatTransform kA;
    kA.m_kTranslate = NiVec3(2, 0, 0);
    NiQuatTransform kB;
    kB.m_kTranslate = NiVec3(4, 0, 0);
    sp->AddInterpInfo(new NiTransformInterpolator(kA), 1.0f);
    sp->AddInterpInfo(new NiTransformInterpolator(kB), 1.0f);
    NiQuatTransform k;
    ASSERT_TRUE(sp->UpdateTransform(1.0f, nullptr, k));
    EXPECT_EQ(k.m_kTranslate, NiVec3(3, 0, 0));
    EXPECT_FALSE(k.IsRotateValid());
    EXPECT_FALSE(k.IsScaleValid());

    // Scale only on the second item: the first's weight leaves the scale mean.
    kB.m_fScale = 3.0f;
    kB.m_kRotate = NiQuat(0, 0, 0, 1);
    static_cast<NiTransformInterpolator*>(sp->GetInterpolator(1))->SetPoseValue(kB);
    ASSERT_TRUE(sp->UpdateTransform(2.0f, nullptr, k));
    EXPECT_EQ(k.m_fScale, 3.0f);
    EXPECT_EQ(k.m_kRotate, NiQuat(0, 0, 0, 1));
    EXPECT_EQ(k.m_kTranslate, NiVec3(3, 0, 0));
}

TEST_F(NiBlendFloatInterpolatorTest, ColorAndPointMeansKeepEveryComponent)
{
    const NiColorRGBA c(0.2f, 0.4f, 0.6f, 0.5f);
    NiRefPtr<NiBlendColorInterpolator> spColor = new NiBlendColorInterpolator(false, 0.0f, 2);
    spColor->AddInterpInfo(new NiColorInterpolator(c), 1.0f);
    spColor->AddInterpInfo(new NiColorInterpolator(c), 1.0f);
    NiColorRGBA k;
    ASSERT_TRUE(spColor->UpdateColor(1.0f, nullptr, k));
    EXPECT_FLOAT_EQ(k.r, c.r);
    EXPECT_FLOAT_EQ(k.g, c.g);
    EXPECT_FLOAT_EQ(k.b, c.b);
    EXPECT_FLOAT_EQ(k.a, c.a);
    EXPECT_TRUE(spColor->IsValueValid());

    NiRefPtr<NiBlendPoint3Interpolator> spPoint = new NiBlendPoint3Interpolator(false, 0.0f, 2);
    spPoint->AddInterpInfo(new NiPoint3Interpolator(NiVec3(0, 0, 0)), 1.0f);
    spPoint->AddInterpInfo(new NiPoint3Interpolator(NiVec3(4, 8, -4)), 3.0f);
    NiVec3 p;
    ASSERT_TRUE(spPoint->UpdatePoint3(1.0f, nullptr, p));
    EXPECT_EQ(p, NiVec3(3, 6, -3));
}

TEST_F(NiBlendFloatInterpolatorTest, ManagerControlledItemsAreAskedAtTheirOwnTime)
{
    NiRefPtr<NiBlendPoint3Interpolator> sp = new NiBlendPoint3Interpolator(true, 0.0f, 2);
    NiRefPtr<NiPosData> spData = new NiPosData;
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_LINKEY)(2);
    static_cast<NiPosKey*>(pk)[1].m_fTime = 10.0f;
    static_cast<NiPosKey*>(pk)[1].m_kPos = NiVec3(10, 0, 0);
    spData->ReplaceKeys(pk, 2, NI_LINKEY);
    std::uint8_t a = sp->AddInterpInfo(new NiPoint3Interpolator(spData.Get()), 1.0f);
    NiVec3 p(7, 7, 7);
    // The single item's time is still unset: false and out untouched.
    EXPECT_FALSE(sp->UpdatePoint3(5.0f, nullptr, p));
    EXPECT_EQ(p, NiVec3(7, 7, 7));
    sp->SetTime(2.0f, a);
    ASSERT_TRUE(sp->UpdatePoint3(5.0f, nullptr, p));
    EXPECT_EQ(p, NiVec3(2, 0, 0));

    std::uint8_t b = sp->AddInterpInfo(new NiPoint3Interpolator(NiVec3(0, 0, 0)), 1.0f);
    sp->SetTime(4.0f, a);
    sp->SetTime(-FLT_MAX, b); // no value from b: it leaves the mean
    ASSERT_TRUE(sp->UpdatePoint3(5.0f, nullptr, p));
    EXPECT_EQ(p, NiVec3(4, 0, 0));
}

TEST_F(NiBlendFloatInterpolatorTest, ValueRecordsRoundTrip)
{
    NiRefPtr<NiBlendQuaternionInterpolator> spQ = new NiBlendQuaternionInterpolator(true, 0.0f, 2);
    NiRefPtr<NiBlendBoolInterpolator> spB = new NiBlendBoolInterpolator(true, 0.0f, 2);
    NiRefPtr<NiBlendColorInterpolator> spC = new NiBlendColorInterpolator(true, 0.0f, 2);
    NiRefPtr<NiBlendPoint3Interpolator> spP = new NiBlendPoint3Interpolator(true, 0.0f, 2);
    NiRefPtr<NiBlendTransformInterpolator> spT = new NiBlendTransformInterpolator(true, 0.0f, 2);
    for (NiBlendInterpolator* pk : {static_cast<NiBlendInterpolator*>(spQ.Get()), static_cast<NiBlendInterpolator*>(spB.Get()),
                                    static_cast<NiBlendInterpolator*>(spC.Get()), static_cast<NiBlendInterpolator*>(spP.Get()),
                                    static_cast<NiBlendInterpolator*>(spT.Get())})
    {
        SCOPED_TRACE(pk->GetTypeInfo()->GetName());
        pk->ComputeNormalizedWeights();
        std::vector<std::uint8_t> kBytes = animtest::Save(pk);
        NiObjectPtr spLoaded = animtest::Load(kBytes);
        ASSERT_NE(spLoaded, nullptr);
        EXPECT_TRUE(pk->IsEqual(spLoaded));
        EXPECT_EQ(animtest::Save(spLoaded), kBytes);
        for (std::size_t n = 0; n < kBytes.size(); ++n)
            EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }
}
