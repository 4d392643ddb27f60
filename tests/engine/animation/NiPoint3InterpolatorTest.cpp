#include "engine/animation/NiPoint3Interpolator.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>

// Point and rotation interpolators and their key data.
namespace
{
class NiPoint3InterpolatorTest : public animtest::AnimTest
{
};

NiRefPtr<NiPosData> PosData(std::uint32_t uiType, std::initializer_list<NiVec3> kValues)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, uiType);
    std::uint32_t uiCount = static_cast<std::uint32_t>(kValues.size());
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, uiType)(uiCount);
    std::uint32_t i = 0;
    for (const NiVec3& k : kValues)
    {
        auto* p = static_cast<NiPosKey*>(NiAnimKey::At(pk, i, ucSize));
        p->m_fTime = static_cast<float>(i++);
        p->m_kPos = k;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, uiType)(pk, uiCount, ucSize);
    NiRefPtr<NiPosData> sp = new NiPosData;
    sp->ReplaceKeys(pk, uiCount, uiType);
    return sp;
}
} // namespace

TEST_F(NiPoint3InterpolatorTest, ConstantLinearKeysCollapseOthersStay)
{
    NiRefPtr<NiPoint3Interpolator> sp = new NiPoint3Interpolator(PosData(NI_LINKEY, {NiVec3(), NiVec3(), NiVec3()}));
    sp->Collapse();
    EXPECT_EQ(sp->GetData(), nullptr);
    EXPECT_EQ(sp->GetPoseValue(), NiVec3(0, 0, 0));

    NiRefPtr<NiPoint3Interpolator> spTcb = new NiPoint3Interpolator(PosData(NI_TCBKEY, {NiVec3(), NiVec3()}));
    spTcb->Collapse();
    EXPECT_NE(spTcb->GetData(), nullptr);

    NiRefPtr<NiPoint3Interpolator> spEmpty = new NiPoint3Interpolator(new NiPosData);
    spEmpty->Collapse();
    EXPECT_EQ(spEmpty->GetData(), nullptr);
    NiVec3 p(1, 1, 1);
    EXPECT_FALSE(spEmpty->UpdatePoint3(0.0f, nullptr, p));
    EXPECT_EQ(p, NiVec3(1, 1, 1));

    // Only x valid still counts as a value.
    NiRefPtr<NiPoint3Interpolator> spX = new NiPoint3Interpolator(NiVec3(1, -FLT_MAX, -FLT_MAX));
    EXPECT_TRUE(spX->UpdatePoint3(0.0f, nullptr, p));
    EXPECT_TRUE(spX->GetChannelPosed(0));

    NiRefPtr<NiQuaternionInterpolator> spQ = new NiQuaternionInterpolator(nullptr);
    spQ->SetPoseValue(NiQuat(-FLT_MAX, 0, 0, 0));
    NiQuat q;
    EXPECT_TRUE(spQ->UpdateQuaternion(0.0f, nullptr, q));
}

TEST_F(NiPoint3InterpolatorTest, EvaluatesKeysAndRoundTripsRecords)
{
    NiRefPtr<NiPosData> spData = PosData(NI_BEZKEY, {NiVec3(0, 0, 0), NiVec3(2, 4, 6)});
    NiRefPtr<NiPoint3Interpolator> sp = new NiPoint3Interpolator(spData);
    NiVec3 p;
    ASSERT_TRUE(sp->UpdatePoint3(1.0f, nullptr, p));
    EXPECT_NEAR(p.y, 4.0f, 1e-5f);
    EXPECT_FALSE(sp->GetChannelPosed(0));

    std::vector<std::uint8_t> kBytes = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kBytes);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_TRUE(sp->IsEqual(spLoaded));
    EXPECT_EQ(animtest::Save(spLoaded), kBytes);
    for (std::size_t n = 0; n < kBytes.size(); ++n)
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
}

TEST_F(NiPoint3InterpolatorTest, RotationDataWithOneEulerKeyNeverCollapses)
{
    NiRefPtr<NiRotData> spData = new NiRotData;
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_EULERKEY)(1);
    spData->ReplaceKeys(pk, 1, NI_EULERKEY);
    NiRefPtr<NiQuaternionInterpolator> sp = new NiQuaternionInterpolator(spData);
    sp->Collapse();
    EXPECT_EQ(sp->GetData(), spData.Get());
    // An Euler key without axis keys is the identity rotation.
    NiQuat q;
    ASSERT_TRUE(sp->UpdateQuaternion(0.0f, nullptr, q));
    EXPECT_EQ(q, NiQuat(1, 0, 0, 0));

    NiRefPtr<NiRotData> spOne = new NiRotData;
    NiAnimKey* pkOne = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_TCBKEY)(1);
    static_cast<NiRotKey*>(pkOne)->m_kQuat = NiQuat(0, 1, 0, 0);
    spOne->ReplaceKeys(pkOne, 1, NI_TCBKEY);
    NiRefPtr<NiQuaternionInterpolator> spSingle = new NiQuaternionInterpolator(spOne);
    spSingle->Collapse();
    EXPECT_EQ(spSingle->GetData(), nullptr);
    EXPECT_EQ(spSingle->GetPoseValue(), NiQuat(0, 1, 0, 0));

    // Euler data round trips through a file.
    std::vector<std::uint8_t> kBytes = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kBytes);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_TRUE(sp->IsEqual(spLoaded));
}
