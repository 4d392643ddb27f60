#include "engine/animation/NiAnimKey.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
class NiAnimKeyTest : public animtest::AnimTest
{
protected:
    void TearDown() override
    {
        for (auto& k : m_kOwned)
            NiAnimKeyTables::GetDeleteFunction(k.m_uiContent, k.m_uiType)(k.m_pkKeys);
        animtest::AnimTest::TearDown();
    }
    NiAnimKey* Make(std::uint32_t uiContent, std::uint32_t uiType, std::uint32_t uiCount)
    {
        NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(uiContent, uiType)(uiCount);
        m_kOwned.push_back({pk, uiContent, uiType});
        return pk;
    }
    NiAnimKey* Floats(std::uint32_t uiType, std::initializer_list<std::pair<float, float>> kKeys)
    {
        std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
        NiAnimKey* pk = Make(NI_FLOATKEY, uiType, static_cast<std::uint32_t>(kKeys.size()));
        std::uint32_t i = 0;
        for (const auto& k : kKeys)
        {
            auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, i++, ucSize));
            p->m_fTime = k.first;
            p->m_fValue = k.second;
        }
        return pk;
    }

    struct Owned
    {
        NiAnimKey* m_pkKeys;
        std::uint32_t m_uiContent;
        std::uint32_t m_uiType;
    };
    std::vector<Owned> m_kOwned;
};

// The engine's slerp is a fast approximation good to about 1e-4.
void ExpectQuatNear(const NiQuat& a, const NiQuat& b, float fTol = 1e-3f)
{
    EXPECT_NEAR(a.w, b.w, fTol);
    EXPECT_NEAR(a.x, b.x, fTol);
    EXPECT_NEAR(a.y, b.y, fTol);
    EXPECT_NEAR(a.z, b.z, fTol);
}
} // namespace

TEST_F(NiAnimKeyTest, LinearSearchKeepsTheHintAndRestartsWhenTimeGoesBack)
{
    NiAnimKey* pk = Floats(NI_LINKEY, {{0, 0}, {1, 10}, {2, 20}});
    std::uint32_t uiIdx = 0;
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(1.5f, pk, NI_LINKEY, 3, uiIdx, 8), 15.0f);
    EXPECT_EQ(uiIdx, 1u);
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(0.5f, pk, NI_LINKEY, 3, uiIdx, 8), 5.0f);
    EXPECT_EQ(uiIdx, 0u);

    // A hint left over from a longer array is pulled back into range.
    uiIdx = 1000;
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(1.5f, pk, NI_LINKEY, 3, uiIdx, 8), 15.0f);
    EXPECT_EQ(uiIdx, 1u);
    // After the last key: the last value; before the first: the curve as is.
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(7.0f, pk, NI_LINKEY, 3, uiIdx, 8), 20.0f);
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(-1.0f, pk, NI_LINKEY, 3, uiIdx, 8), -10.0f);
    EXPECT_FLOAT_EQ(NiFloatKey::GenerateValue(-1.0f, pk, NI_LINKEY, 3, 8), 0.0f);
    EXPECT_FLOAT_EQ(NiFloatKey::GenerateValue(9.0f, pk, NI_LINKEY, 3, 8), 20.0f);
}

TEST_F(NiAnimKeyTest, StepKeysSwitchExactlyAtTheNextKey)
{
    NiAnimKey* pk = Floats(NI_STEPKEY, {{0, 1}, {1, 2}});
    std::uint32_t uiIdx = 0;
    EXPECT_EQ(NiFloatKey::EvaluateAt(0.999f, pk, NI_STEPKEY, 2, uiIdx, 8), 1.0f);
    EXPECT_EQ(NiFloatKey::EvaluateAt(1.0f, pk, NI_STEPKEY, 2, uiIdx, 8), 2.0f);
}

TEST_F(NiAnimKeyTest, EqualKeyTimesGiveTheLaterKeyNotANaN)
{
    NiAnimKey* pk = Floats(NI_LINKEY, {{0, 0}, {1, 5}, {1, 7}});
    std::uint32_t uiIdx = 1;
    float f = NiFloatKey::EvaluateAt(1.0f, pk, NI_LINKEY, 3, uiIdx, 8);
    EXPECT_EQ(f, 7.0f);
    uiIdx = 0;
    EXPECT_EQ(NiFloatKey::EvaluateAt(3.0f, pk, NI_LINKEY, 3, uiIdx, 8), 7.0f);

    // TCB over equal times: finite tangents.
    NiAnimKey* pkTcb = Make(NI_FLOATKEY, NI_TCBKEY, 3);
    auto* t = static_cast<NiTCBFloatKey*>(pkTcb);
    t[0].m_fTime = 1.0f;
    t[1].m_fTime = 1.0f;
    t[2].m_fTime = 1.0f;
    t[1].m_fValue = 1.0f;
    NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, NI_TCBKEY)(pkTcb, 3, 28);
    EXPECT_EQ(t[1].m_fDS, 0.0f);
    EXPECT_EQ(t[1].m_fDD, 0.0f);
}

TEST_F(NiAnimKeyTest, SharedKeyTimeGivesTheLaterKeyFromEveryHint)
{
    NiAnimKey* pk = Floats(NI_LINKEY, {{0, 0}, {1, 5}, {1, 7}, {2, 9}});
    NiAnimKey* pkStep = Floats(NI_STEPKEY, {{0, 0}, {1, 5}, {1, 7}, {2, 9}});
    // Three keys at one time: the last of them.
    NiAnimKey* pkThree = Floats(NI_LINKEY, {{0, 0}, {1, 5}, {1, 6}, {1, 7}, {2, 9}});
    for (std::uint32_t uiHint = 0; uiHint < 5; ++uiHint)
    {
        SCOPED_TRACE(uiHint);
        std::uint32_t uiIdx = uiHint;
        EXPECT_EQ(NiFloatKey::EvaluateAt(1.0f, pk, NI_LINKEY, 4, uiIdx, 8), 7.0f);
        uiIdx = uiHint;
        EXPECT_EQ(NiFloatKey::EvaluateAt(1.0f, pkStep, NI_STEPKEY, 4, uiIdx, 8), 7.0f);
        uiIdx = uiHint;
        EXPECT_EQ(NiFloatKey::EvaluateAt(1.0f, pkThree, NI_LINKEY, 5, uiIdx, 8), 7.0f);
        // Either side of the shared time the curve is unchanged.
        uiIdx = uiHint;
        EXPECT_EQ(NiFloatKey::EvaluateAt(0.5f, pk, NI_LINKEY, 4, uiIdx, 8), 2.5f);
        uiIdx = uiHint;
        EXPECT_EQ(NiFloatKey::EvaluateAt(1.5f, pk, NI_LINKEY, 4, uiIdx, 8), 8.0f);
    }
    EXPECT_EQ(NiFloatKey::GenerateValue(1.0f, pk, NI_LINKEY, 4, 8), 7.0f);

    // Positions go through the same search.
    NiAnimKey* pkPos = Make(NI_POSKEY, NI_LINKEY, 4);
    auto* p = static_cast<NiPosKey*>(pkPos);
    const float afTimes[4] = {0, 1, 1, 2};
    for (int i = 0; i < 4; ++i)
    {
        p[i].m_fTime = afTimes[i];
        p[i].m_kPos = NiVec3(float(i), 2.0f * float(i), 0);
    }
    for (std::uint32_t uiHint = 0; uiHint < 4; ++uiHint)
    {
        SCOPED_TRACE(uiHint);
        std::uint32_t uiIdx = uiHint;
        EXPECT_EQ(NiPosKey::EvaluateAt(1.0f, pkPos, NI_LINKEY, 4, uiIdx, 16), NiVec3(2, 4, 0));
    }
}

TEST_F(NiAnimKeyTest, TcbTangentsFollowTensionContinuityBias)
{
    NiAnimKey* pk = Make(NI_FLOATKEY, NI_TCBKEY, 3);
    auto* k = static_cast<NiTCBFloatKey*>(pk);
    k[0].m_fTime = 0;
    k[0].m_fValue = 0;
    k[1].m_fTime = 1;
    k[1].m_fValue = 1;
    k[2].m_fTime = 2;
    k[2].m_fValue = 0;
    NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, NI_TCBKEY)(pk, 3, 28);
    EXPECT_FLOAT_EQ(k[1].m_fDS, 0.0f);
    EXPECT_FLOAT_EQ(k[1].m_fDD, 0.0f);
    EXPECT_FLOAT_EQ(k[0].m_fDS, 1.0f);
    EXPECT_FLOAT_EQ(k[0].m_fDD, 1.0f);
    std::uint32_t uiIdx = 0;
    // Hermite at u = 0.5 of (0, out 1) -> (1, in 0): 0.625.
    EXPECT_FLOAT_EQ(NiFloatKey::EvaluateAt(0.5f, pk, NI_TCBKEY, 3, uiIdx, 28), 0.625f);
}

TEST_F(NiAnimKeyTest, BezierPointCoefficients)
{
    NiAnimKey* pk = Make(NI_POSKEY, NI_BEZKEY, 2);
    auto* k = static_cast<NiBezPosKey*>(pk);
    k[0].m_fTime = 0;
    k[0].m_kPos = NiVec3(0, 0, 0);
    k[0].m_kOutTan = NiVec3(1, 2, 3);
    k[1].m_fTime = 1;
    k[1].m_kPos = NiVec3(4, 4, 4);
    k[1].m_kInTan = NiVec3(2, 2, 2);
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_BEZKEY)(pk, 2, 64);
    // a = 3D - 2 out - in, b = out + in - 2D with D = (4, 4, 4).
    EXPECT_EQ(k[0].m_kA, NiVec3(8, 6, 4));
    EXPECT_EQ(k[0].m_kB, NiVec3(-5, -4, -3));
    std::uint32_t uiIdx = 0;
    NiVec3 kEnd = NiPosKey::EvaluateAt(0.999999f, pk, NI_BEZKEY, 2, uiIdx, 64);
    EXPECT_NEAR(kEnd.x, 4.0f, 1e-4f);

    NiVec3 kD1;
    NiAnimKeyTables::GetDerivativeFunction(NI_POSKEY, NI_BEZKEY)(0.0f, &k[0], &k[1], &kD1);
    EXPECT_EQ(kD1, NiVec3(1, 2, 3));
    NiVec3 kD2;
    NiAnimKeyTables::GetSecondDerivativeFunction(NI_POSKEY, NI_BEZKEY)(1.0f, &k[0], &k[1], &kD2);
    EXPECT_EQ(kD2, NiVec3(2 * 8 + 6 * -5, 2 * 6 + 6 * -4, 2 * 4 + 6 * -3));
    EXPECT_GT(NiAnimKeyTables::GetMaxCurvatureFunction(NI_POSKEY, NI_BEZKEY)(pk, 2), 0.0f);

    NiAnimKey* pkLin = Make(NI_POSKEY, NI_LINKEY, 2);
    auto* l = static_cast<NiPosKey*>(pkLin);
    l[0].m_kPos = NiVec3(1, 1, 1);
    l[1].m_fTime = 1;
    l[1].m_kPos = NiVec3(3, 2, 1);
    NiAnimKeyTables::GetDerivativeFunction(NI_POSKEY, NI_LINKEY)(0.3f, &l[0], &l[1], &kD1);
    EXPECT_EQ(kD1, NiVec3(2, 1, 0));
    NiAnimKeyTables::GetDerivativeFunction(NI_POSKEY, NI_STEPKEY)(0.3f, &l[0], &l[1], &kD1);
    EXPECT_EQ(kD1, NiVec3(-2, -1, 0));
    EXPECT_EQ(NiAnimKeyTables::GetMaxCurvatureFunction(NI_POSKEY, NI_LINKEY)(pkLin, 2), 0.0f);
}

TEST_F(NiAnimKeyTest, RotationsAreAlignedAndClampedThenControlPointsBuilt)
{
    const NiQuat q(0.5f, 0.5f, 0.5f, 0.5f);
    NiAnimKey* pk = Make(NI_ROTKEY, NI_LINKEY, 2);
    auto* k = static_cast<NiRotKey*>(pk);
    k[0].m_kQuat = q;
    k[1].m_fTime = 1;
    k[1].m_kQuat = -q;
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, NI_LINKEY)(pk, 2, 20);
    EXPECT_EQ(k[1].m_kQuat, q);
    std::uint32_t uiIdx = 0;
    ExpectQuatNear(NiRotKey::EvaluateAt(0.5f, pk, NI_LINKEY, 2, uiIdx, 20), q);

    NiAnimKey* pkW = Make(NI_ROTKEY, NI_STEPKEY, 1);
    static_cast<NiRotKey*>(pkW)->m_kQuat = NiQuat(1.5f, 0, 0, 0);
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, NI_STEPKEY)(pkW, 1, 20);
    EXPECT_EQ(static_cast<NiRotKey*>(pkW)->m_kQuat.w, 1.0f);

    // A single key comes back unchanged, normalised or not.
    NiAnimKey* pkOne = Make(NI_ROTKEY, NI_LINKEY, 1);
    static_cast<NiRotKey*>(pkOne)->m_kQuat = NiQuat(2, 0, 0, 0);
    EXPECT_EQ(NiRotKey::EvaluateAt(5.0f, pkOne, NI_LINKEY, 1, uiIdx, 20), NiQuat(2, 0, 0, 0));

    const NiQuat a(1, 0, 0, 0);
    const NiQuat b(std::cos(0.4f), std::sin(0.4f), 0, 0);
    const NiQuat c(std::cos(0.9f), 0, std::sin(0.9f), 0);
    NiAnimKey* pkBez = Make(NI_ROTKEY, NI_BEZKEY, 3);
    auto* z = static_cast<NiBezRotKey*>(pkBez);
    z[0].m_kQuat = a;
    z[1].m_fTime = 1;
    z[1].m_kQuat = b;
    z[2].m_fTime = 2;
    z[2].m_kQuat = c;
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, NI_BEZKEY)(pkBez, 3, 36);
    ExpectQuatNear(z[0].m_kIntQuat, NiQuat::Intermediate(a, a, b));
    ExpectQuatNear(z[1].m_kIntQuat, NiQuat::Intermediate(a, b, c));
    ExpectQuatNear(z[2].m_kIntQuat, NiQuat::Intermediate(b, c, c));
    ExpectQuatNear(NiRotKey::EvaluateAt(0.25f, pkBez, NI_BEZKEY, 3, uiIdx, 36),
                   NiQuat::Squad(0.25f, a, z[0].m_kIntQuat, z[1].m_kIntQuat, b));

    // TCB with all parameters 0 passes through its keys.
    NiAnimKey* pkTcb = Make(NI_ROTKEY, NI_TCBKEY, 3);
    auto* t = static_cast<NiTCBRotKey*>(pkTcb);
    t[0].m_kQuat = a;
    t[1].m_fTime = 1;
    t[1].m_kQuat = b;
    t[2].m_fTime = 2;
    t[2].m_kQuat = c;
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, NI_TCBKEY)(pkTcb, 3, 64);
    uiIdx = 0;
    ExpectQuatNear(NiRotKey::EvaluateAt(1.0f, pkTcb, NI_TCBKEY, 3, uiIdx, 64), b);
    NiQuat kMid = NiRotKey::EvaluateAt(1.5f, pkTcb, NI_TCBKEY, 3, uiIdx, 64);
    ExpectQuatNear(kMid, NiQuat::Squad(0.5f, b, t[1].m_kA, t[2].m_kB, c));
}

TEST_F(NiAnimKeyTest, EulerKeyRotatesAboutXThenYThenZ)
{
    NiAnimKey* pk = Make(NI_ROTKEY, NI_EULERKEY, 1);
    auto* e = static_cast<NiEulerRotKey*>(pk);
    const float fX = 0.7f, fY = -0.4f;
    auto fnChannel = [&](int a, float fAngle) {
        NiAnimKey* pkCh = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, NI_LINKEY)(2);
        auto* f = static_cast<NiFloatKey*>(pkCh);
        f[0].m_fTime = 0;
        f[0].m_fValue = 0;
        f[1].m_fTime = 1;
        f[1].m_fValue = fAngle;
        e->m_apkKeys[a] = pkCh;
        e->m_uiNumKeys[a] = 2;
        e->m_eType[a] = NI_LINKEY;
        e->m_ucSizes[a] = 8;
    };
    fnChannel(0, fX);
    fnChannel(1, fY);
    std::uint32_t uiIdx = 0;
    NiQuat q = NiRotKey::EvaluateAt(1.0f, pk, NI_EULERKEY, 1, uiIdx, sizeof(NiEulerRotKey));
    const NiQuat qX(std::cos(fX / 2), std::sin(fX / 2), 0, 0);
    const NiQuat qY(std::cos(fY / 2), 0, std::sin(fY / 2), 0);
    ExpectQuatNear(q, qY * qX);
    // After the channels' last keys: their last values.
    ExpectQuatNear(NiRotKey::EvaluateAt(5.0f, pk, NI_EULERKEY, 1, uiIdx, sizeof(NiEulerRotKey)), qY * qX);

    // Insert reaches every channel that has keys and only those.
    std::uint32_t uiCount = 1;
    EXPECT_TRUE(NiAnimKeyTables::GetInsertFunction(NI_ROTKEY, NI_EULERKEY)(0.5f, pk, uiCount));
    EXPECT_EQ(e->m_uiNumKeys[0], 3u);
    EXPECT_EQ(e->m_uiNumKeys[2], 0u);

    // Sub-range: one new Euler key over the channels' sub-ranges.
    NiAnimKey* pkSub = nullptr;
    std::uint32_t uiSub = 0;
    NiAnimKeyTables::CopySubRange(NI_ROTKEY, NI_EULERKEY, pk, 1, 0.5f, 1.0f, pkSub, uiSub);
    ASSERT_EQ(uiSub, 1u);
    m_kOwned.push_back({pkSub, NI_ROTKEY, NI_EULERKEY});
    EXPECT_EQ(static_cast<NiEulerRotKey*>(pkSub)->m_uiNumKeys[0], 2u);
    EXPECT_EQ(static_cast<NiEulerRotKey*>(pkSub)->m_apkKeys[0]->m_fTime, 0.0f);
}

TEST_F(NiAnimKeyTest, EmptyArraysGiveTheContentDefaults)
{
    std::uint32_t uiIdx = 0;
    EXPECT_EQ(NiFloatKey::EvaluateAt(1.0f, nullptr, NI_LINKEY, 0, uiIdx, 8), 0.0f);
    EXPECT_EQ(NiPosKey::EvaluateAt(1.0f, nullptr, NI_LINKEY, 0, uiIdx, 16), NiVec3(0, 0, 0));
    EXPECT_EQ(NiRotKey::EvaluateAt(1.0f, nullptr, NI_LINKEY, 0, uiIdx, 20), NiQuat(0, 0, 0, 0));
    EXPECT_EQ(NiColorKey::EvaluateAt(1.0f, nullptr, NI_LINKEY, 0, uiIdx, 20), NiColorRGBA(0, 0, 0, 0));
    EXPECT_FALSE(NiBoolKey::EvaluateAt(1.0f, nullptr, NI_STEPKEY, 0, uiIdx, 8));
    EXPECT_EQ(NiFloatKey::GenerateValue(1.0f, nullptr, NI_LINKEY, 0, 8), 0.0f);

    NiColorRGBA kColor;
    NiAnimKeyTables::GetInterpolateFunction(NI_COLORKEY, NI_NOINTERP)(0.5f, nullptr, nullptr, &kColor);
    EXPECT_EQ(kColor, NiColorRGBA(0, 0, 0, 1));
    NiQuat kQuat(0, 0, 0, 0);
    NiAnimKeyTables::GetInterpolateFunction(NI_ROTKEY, NI_NOINTERP)(0.5f, nullptr, nullptr, &kQuat);
    EXPECT_EQ(kQuat, NiQuat::IDENTITY);
}

TEST_F(NiAnimKeyTest, ColorLinearMixesEveryChannel)
{
    NiAnimKey* pk = Make(NI_COLORKEY, NI_LINKEY, 2);
    auto* c = static_cast<NiColorKey*>(pk);
    c[0].m_kColor = NiColorRGBA(0, 0.2f, 1, 0);
    c[1].m_fTime = 2;
    c[1].m_kColor = NiColorRGBA(1, 0.4f, 0, 1);
    std::uint32_t uiIdx = 0;
    NiColorRGBA k = NiColorKey::EvaluateAt(0.5f, pk, NI_LINKEY, 2, uiIdx, 20);
    EXPECT_FLOAT_EQ(k.r, 0.25f);
    EXPECT_FLOAT_EQ(k.g, 0.25f);
    EXPECT_FLOAT_EQ(k.b, 0.75f);
    EXPECT_FLOAT_EQ(k.a, 0.25f);
}
