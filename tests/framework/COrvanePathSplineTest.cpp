#include "framework/COrvanePathSpline.h"

#include "framework/COrvaneComposite.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
using COrvanePathSplineTest = FrameworkTest;

std::unique_ptr<COrvanePathSpline> Spline(const std::vector<NiVec3>& kPoints)
{
    auto pkSpline = std::make_unique<COrvanePathSpline>();
    pkSpline->SetPoints(kPoints.data(), static_cast<std::uint32_t>(kPoints.size()), nullptr);
    return pkSpline;
}

std::vector<NiVec3> Line(int iCount)
{
    std::vector<NiVec3> kPoints;
    for (int i = 0; i < iCount; ++i)
        kPoints.emplace_back(0.0f, 0.0f, static_cast<float>(i));
    return kPoints;
}

void ExpectNear(const NiVec3& kActual, const NiVec3& kExpected)
{
    EXPECT_NEAR(kActual.x, kExpected.x, 1e-5f);
    EXPECT_NEAR(kActual.y, kExpected.y, 1e-5f);
    EXPECT_NEAR(kActual.z, kExpected.z, 1e-5f);
}
} // namespace

TEST_F(COrvanePathSplineTest, FourPointsRunFromFirstToLastThroughTheHull)
{
    auto kSpline = Spline({{0, 0, 0}, {0, 0, 4}, {4, 0, 4}, {4, 0, 0}});
    EXPECT_EQ(kSpline->Evaluate(0.0f), NiVec3(0, 0, 0));
    EXPECT_EQ(kSpline->Evaluate(1.0f), NiVec3(4, 0, 0));
    // Four points and clamped knots make one cubic Bezier segment:
    // P(0.5) = (P0 + 3 P1 + 3 P2 + P3) / 8.
    ExpectNear(kSpline->Evaluate(0.5f), NiVec3(2.0f, 0.0f, 3.0f));
    ExpectNear(kSpline->Evaluate(0.25f), NiVec3(0.625f, 0.0f, 2.25f));
    for (float fT = 0.05f; fT < 1.0f; fT += 0.05f)
    {
        NiVec3 kPoint = kSpline->Evaluate(fT);
        EXPECT_GE(kPoint.x, 0.0f);
        EXPECT_LE(kPoint.x, 4.0f);
        EXPECT_GE(kPoint.z, 0.0f);
        EXPECT_LE(kPoint.z, 4.0f);
    }
}

TEST_F(COrvanePathSplineTest, LongerSplinesStayOnAStraightLineAndReachTheEnds)
{
    auto kSpline = Spline(Line(10));
    float fLast = -1.0f;
    for (int i = 0; i <= 100; ++i)
    {
        NiVec3 kPoint = kSpline->Evaluate(static_cast<float>(i) / 100.0f);
        EXPECT_EQ(kPoint.x, 0.0f);
        EXPECT_GE(kPoint.z, fLast);
        fLast = kPoint.z;
    }
    EXPECT_EQ(kSpline->Evaluate(1.0f).z, 9.0f);
    EXPECT_EQ(kSpline->Evaluate(-0.5f).z, 0.0f);
}

TEST_F(COrvanePathSplineTest, AdvanceEasesAtTheEndsAndScalesByTheSegment)
{
    std::vector<NiVec3> kPoints = Line(10);
    kPoints[1].z = 2.0f; // first segment two units long
    auto kSpline = Spline(kPoints);
    COrvaneComposite kModel;
    const float fEase = 0.85f * 0.85f * 0.85f * 0.85f;
    EXPECT_FLOAT_EQ(kSpline->Advance(0.05f, &kModel, 1.0f, 0.9f, nullptr, false), 0.05f + fEase * 0.9f / 9.0f);
    EXPECT_FLOAT_EQ(kSpline->Advance(0.05f, &kModel, 1.0f, 0.9f, nullptr, true),
                    0.05f + fEase * 0.9f / (9.0f * 2.0f));
    // Mid-route the factor is 1; near the end it falls again.
    EXPECT_FLOAT_EQ(kSpline->Advance(0.5f, &kModel, 0.5f, 1.0f, nullptr, false), 0.5f + 0.5f / 9.0f);
    EXPECT_NEAR(kSpline->Advance(0.99f, &kModel, 1.0f, 1.0f, nullptr, false), 0.99f + 0.43046721f / 9.0f, 1e-6f);
    // On four points the floor 2 / n = 0.5 beats (1 - 0.5 + 0)^4 at t = 0.
    auto kShort = Spline(Line(4));
    EXPECT_FLOAT_EQ(kShort->Advance(0.0f, &kModel, 1.0f, 1.0f, nullptr, false), 0.5f / 3.0f);
    // A segment shorter than 0.01 counts as 0.01.
    kPoints[6] = kPoints[5];
    auto kStill = Spline(kPoints);
    EXPECT_FLOAT_EQ(kStill->SegmentLength(0.56f), 0.0f);
    EXPECT_FLOAT_EQ(kStill->Advance(0.56f, &kModel, 0.001f, 1.0f, nullptr, true), 0.56f + 0.001f / (9.0f * 0.01f));
}

TEST_F(COrvanePathSplineTest, SpeedZeroPlacesTheModelAndKeepsT)
{
    auto kSpline = Spline(Line(6));
    COrvaneComposite kModel;
    NiVec3 kOffset(0.25f, 0.0f, -0.25f);
    EXPECT_EQ(kSpline->Advance(0.3f, &kModel, 0.5f, 0.0f, &kOffset, true), 0.3f);
    ExpectNear(*kModel.GetPosition(), kSpline->Evaluate(0.3f) + kOffset);
}

TEST_F(COrvanePathSplineTest, FacingFollowsTheWalkingDirection)
{
    struct Case
    {
        NiVec3 kTo;
        float fSpeed;
        float fYaw;
    };
    for (const Case& kCase : {Case{{0, 0, 1}, 1.0f, 0.0f}, Case{{0, 0, -1}, 1.0f, 180.0f},
                              Case{{1, 0, 0}, 1.0f, 270.0f}, Case{{-1, 0, 0}, 1.0f, 90.0f},
                              Case{{0, 0, 1}, -1.0f, 180.0f}, Case{{1, 5, 1}, 1.0f, 315.0f}})
    {
        COrvaneComposite kModel;
        kModel.Rotate(NiVec3::UNIT_Y, 12.0f, 0);
        COrvaneSplineBase::FaceAndPlace(kModel, kCase.kTo, kCase.fSpeed);
        EXPECT_NEAR(kModel.GetAccumulatedAngle(), kCase.fYaw, 1e-3f) << kCase.kTo.x << "," << kCase.kTo.z;
        EXPECT_EQ(*kModel.GetPosition(), kCase.kTo);
    }
    // No horizontal step: the heading is kept, the model still placed.
    COrvaneComposite kModel;
    kModel.Rotate(NiVec3::UNIT_Y, 12.0f, 0);
    COrvaneSplineBase::FaceAndPlace(kModel, NiVec3(0.0f, 3.0f, 0.0f), 1.0f);
    EXPECT_EQ(kModel.GetAccumulatedAngle(), 12.0f);
    EXPECT_FALSE(std::isnan(kModel.GetAccumulatedAngle()));
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(0.0f, 3.0f, 0.0f));
}

TEST_F(COrvanePathSplineTest, FewPointsArePaddedAndNoPointsMoveNothing)
{
    for (int iCount = 1; iCount <= 3; ++iCount)
    {
        SCOPED_TRACE(iCount);
        auto kSpline = Spline(Line(iCount));
        EXPECT_EQ(kSpline->GetPointCount(), 4u);
        EXPECT_EQ(kSpline->Evaluate(1.0f).z, static_cast<float>(iCount - 1));
        COrvaneComposite kModel;
        float fT = kSpline->Advance(0.5f, &kModel, 0.1f, 1.0f, nullptr, true);
        EXPECT_TRUE(std::isfinite(fT));
        EXPECT_GT(fT, 0.5f);
        EXPECT_TRUE(std::isfinite(kModel.GetPosition()->z));
    }
    COrvanePathSpline kEmpty;
    COrvaneComposite kModel;
    kModel.SetPosition(NiVec3(7.0f, 0.0f, 7.0f), 0);
    EXPECT_EQ(kEmpty.Advance(0.4f, &kModel, 0.1f, 1.0f, nullptr, true), 0.4f);
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(7.0f, 0.0f, 7.0f));
    NiVec3 kOut;
    EXPECT_FALSE(kEmpty.GetStartPosition(kOut));
    EXPECT_FALSE(kEmpty.GetEndPosition(kOut));
    EXPECT_EQ(kEmpty.SegmentIndex(0.5f, false), 0);
    EXPECT_EQ(kEmpty.SegmentLength(0.5f), 0.0f);
}

TEST_F(COrvanePathSplineTest, SegmentIndexStaysOnThePoints)
{
    auto kSpline = Spline(Line(5));
    EXPECT_EQ(kSpline->SegmentIndex(0.0f, true), 0);
    EXPECT_EQ(kSpline->SegmentIndex(0.0f, false), 1);
    EXPECT_EQ(kSpline->SegmentIndex(0.6f, true), 2);
    EXPECT_EQ(kSpline->SegmentIndex(0.6f, false), 3);
    EXPECT_EQ(kSpline->SegmentIndex(1.0f, true), 4);
    EXPECT_EQ(kSpline->SegmentIndex(1.0f, false), 4);
    EXPECT_EQ(kSpline->SegmentIndex(1.7f, false), 4);
    EXPECT_EQ(kSpline->SegmentIndex(std::nanf(""), true), 0);
    EXPECT_EQ(kSpline->Evaluate(std::nanf("")), NiVec3(0, 0, 0));
    EXPECT_EQ(kSpline->SegmentLength(-1.0f), 1.0f);
    EXPECT_EQ(kSpline->SegmentLength(1.0f), 1.0f);
}

TEST_F(COrvanePathSplineTest, PointsCloneAndEndHeading)
{
    auto kSpline = Spline({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
    kSpline->SetName("route");
    kSpline->SetPoint(5, NiVec3(9, 9, 9));
    kSpline->SetPoint(-1, NiVec3(9, 9, 9));
    kSpline->SetPoint(4, NiVec3(4, 0, 3));
    NiVec3 kEnd;
    ASSERT_TRUE(kSpline->GetEndPosition(kEnd));
    EXPECT_EQ(kEnd, NiVec3(4, 0, 3));
    EXPECT_EQ(kSpline->GetPoints()[0], NiVec3(0, 0, 0));
    // The last stretch runs toward +Z mostly: heading near 0, turned a bit
    // toward +X (which the facing rule counts downward from 360).
    float fHeading = kSpline->GetEndHeading();
    EXPECT_GT(fHeading, 270.0f);
    EXPECT_LT(fHeading, 360.0f);

    std::unique_ptr<COrvaneSplineBase> pkCopy = kSpline->Clone();
    ASSERT_NE(pkCopy, nullptr);
    EXPECT_FALSE(pkCopy->IsFixedPath());
    EXPECT_STREQ(pkCopy->GetName(), "route");
    EXPECT_EQ(pkCopy->GetPointCount(), 5u);
    NiVec3 kCopyEnd;
    ASSERT_TRUE(pkCopy->GetEndPosition(kCopyEnd));
    EXPECT_EQ(kCopyEnd, kEnd);
    pkCopy->SetPoint(0, NiVec3(1, 1, 1));
    EXPECT_EQ(kSpline->GetPoints()[0], NiVec3(0, 0, 0));
    EXPECT_EQ(kSpline->MapParameter(0.3f), 0.3f);
}

namespace
{
// The textbook recursion on the clamped integer knots, evaluated as the
// spline defines it: the walk of every person is placed from these values,
// so a faster evaluation must give the very same floats.
float ReferenceBasis(const std::vector<int>& kKnots, int i, int k, float fU)
{
    const float fKi = static_cast<float>(kKnots[i]);
    if (k == 1)
        return (fKi <= fU && fU < static_cast<float>(kKnots[i + 1])) ? 1.0f : 0.0f;
    const float fA = static_cast<float>(kKnots[i + k - 1]) - fKi;
    const float fB = static_cast<float>(kKnots[i + k]) - static_cast<float>(kKnots[i + 1]);
    if (fA == 0.0f && fB == 0.0f)
        return 0.0f;
    if (fA == 0.0f)
        return ReferenceBasis(kKnots, i + 1, k - 1, fU) * (static_cast<float>(kKnots[i + k]) - fU) / fB;
    if (fB == 0.0f)
        return ReferenceBasis(kKnots, i, k - 1, fU) * (fU - fKi) / fA;
    return ReferenceBasis(kKnots, i, k - 1, fU) * (fU - fKi) / fA +
           ReferenceBasis(kKnots, i + 1, k - 1, fU) * (static_cast<float>(kKnots[i + k]) - fU) / fB;
}

NiVec3 ReferenceEvaluate(const std::vector<NiVec3>& kPoints, float fT)
{
    const int iN = static_cast<int>(kPoints.size());
    std::vector<int> kKnots(static_cast<std::size_t>(iN) + 4);
    for (int j = 0; j < iN + 4; ++j)
        kKnots[static_cast<std::size_t>(j)] = j < 4 ? 0 : (j <= iN - 1 ? j - 3 : iN - 3);
    const float fLast = static_cast<float>(iN - 3);
    const float fU = fLast * fT;
    if (fU >= fLast)
        return kPoints.back();
    if (!(fU > 0.0f))
        return kPoints.front();
    const int iS = static_cast<int>(fT * static_cast<float>(iN - 1));
    NiVec3 kResult;
    for (int i = iS > 3 ? iS - 3 : 0; i < iN; ++i)
    {
        const float fB = ReferenceBasis(kKnots, i, 4, fU);
        kResult += fB * kPoints[static_cast<std::size_t>(i)];
        if (fB == 0.0f && i > iS)
            break;
    }
    return kResult;
}
} // namespace

TEST_F(COrvanePathSplineTest, EvaluationGivesTheRecursionsFloatsBitForBit)
{
    // Irregular points (a walk's corners), short and long paths, and
    // parameters on and between the knots.
    for (int iCount : {4, 5, 6, 9, 17, 40, 120})
    {
        SCOPED_TRACE(iCount);
        std::vector<NiVec3> kPoints;
        for (int i = 0; i < iCount; ++i)
            kPoints.emplace_back(std::sin(0.7f * static_cast<float>(i)) * 13.3f, 0.25f * static_cast<float>(i % 3),
                                 std::cos(1.3f * static_cast<float>(i)) * 7.1f + static_cast<float>(i));
        auto kSpline = Spline(kPoints);
        for (int iStep = 0; iStep <= 4000; ++iStep)
        {
            const float fT = static_cast<float>(iStep) / 4000.0f;
            const NiVec3 kActual = kSpline->Evaluate(fT);
            const NiVec3 kExpected = ReferenceEvaluate(kPoints, fT);
            ASSERT_EQ(std::memcmp(&kActual, &kExpected, sizeof(NiVec3)), 0) << "t = " << fT;
        }
    }
}
