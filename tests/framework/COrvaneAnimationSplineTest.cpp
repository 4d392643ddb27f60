#include "framework/COrvaneAnimationSpline.h"

#include "engine/animation/NiTimeController.h"
#include "engine/scene/NiAVObject.h"
#include "framework/COrvaneComposite.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// Moves its node along +X by 2 per second and +Z by the square of time.
class GlideController : public NiTimeController
{
public:
    GlideController(NiAVObject* pkNode, float fBegin, float fEnd) : m_pkNode(pkNode)
    {
        SetBeginKeyTime(fBegin);
        SetEndKeyTime(fEnd);
    }
    void Update(float fTime) override { m_pkNode->SetTranslate(NiVec3(2.0f * fTime, 0.5f, fTime * fTime)); }

private:
    NiAVObject* m_pkNode;
};

using COrvaneAnimationSplineTest = FrameworkTest;

NiRefPtr<NiAVObject> Route(float fBegin, float fEnd)
{
    NiRefPtr<NiAVObject> spNode = new NiAVObject;
    spNode->SetName("route7");
    spNode->SetControllers(new GlideController(spNode, fBegin, fEnd));
    return spNode;
}
} // namespace

TEST_F(COrvaneAnimationSplineTest, EndsFollowTheControllerTimes)
{
    NiRefPtr<NiAVObject> spNode = Route(0.0f, 4.0f);
    COrvaneAnimationSpline kSpline;
    kSpline.CreateFromFile(spNode, "walk");
    EXPECT_STREQ(kSpline.GetName(), "walk");
    EXPECT_TRUE(kSpline.IsFixedPath());
    EXPECT_EQ(spNode->GetFlags() & 0x5, 0x5);
    EXPECT_EQ(spNode->GetControllers()->GetFlags() & 0xF, 0xD);
    NiVec3 kStart, kEnd;
    ASSERT_TRUE(kSpline.GetStartPosition(kStart));
    ASSERT_TRUE(kSpline.GetEndPosition(kEnd));
    EXPECT_EQ(kStart, NiVec3(0.0f, 0.5f, 0.0f));
    EXPECT_EQ(kEnd, NiVec3(8.0f, 0.5f, 16.0f));
    // From 3.96 to 4: dx 0.08, dz 0.3184; the facing rule gives 360 minus
    // the angle off +Z.
    float fExpected = 360.0f - std::atan2(0.08f, 0.3184f) * COrvaneSplineBase::DEGREES_PER_RADIAN;
    EXPECT_NEAR(kSpline.GetEndHeading(), fExpected, 0.05f);
    EXPECT_EQ(kSpline.GetPointCount(), 0u);
    EXPECT_EQ(kSpline.SegmentLength(0.5f), 0.0f);
    EXPECT_EQ(kSpline.MapParameter(0.5f), 0.0f);

    std::unique_ptr<COrvaneSplineBase> pkCopy = kSpline.Clone();
    EXPECT_STREQ(pkCopy->GetName(), "route7");
    NiVec3 kCopyEnd;
    ASSERT_TRUE(pkCopy->GetEndPosition(kCopyEnd));
    EXPECT_EQ(kCopyEnd, kEnd);
}

TEST_F(COrvaneAnimationSplineTest, AdvancePlacesOnTheRouteAndKeepsItsTimeStep)
{
    NiRefPtr<NiAVObject> spNode = Route(1.0f, 3.0f);
    COrvaneAnimationSpline kSpline;
    kSpline.CreateFromFile(spNode, nullptr);
    COrvaneComposite kModel;
    // t 0.5: time 2; the result is (2 + 0.1 x 1 / 2) / 2.
    EXPECT_FLOAT_EQ(kSpline.Advance(0.5f, &kModel, 0.1f, 1.0f, nullptr, true), (2.0f + 0.05f) / 2.0f);
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(4.0f, 0.5f, 4.0f));
    // Walking from the origin toward (+4, +4): 360 - 45.
    EXPECT_NEAR(kModel.GetAccumulatedAngle(), 315.0f, 1e-3f);
}

// A keyframed route as levels and models hold it: read at its end first, as
// a connector does when it is made, it still gives each time's point.
TEST_F(COrvaneAnimationSplineTest, AKeyframedRouteIsReadAtTheTimeAskedInAnyOrder)
{
    NiRefPtr<NiNode> spRoute = MakeDemoRoute("route_keys", NiVec3(0.0f, 0.0f, 0.0f), NiVec3(8.0f, 0.0f, 0.0f));
    COrvaneAnimationSpline kSpline;
    kSpline.CreateFromFile(spRoute, nullptr);
    NiVec3 kEnd, kStart;
    ASSERT_TRUE(kSpline.GetEndPosition(kEnd));
    ASSERT_TRUE(kSpline.GetStartPosition(kStart));
    EXPECT_EQ(kEnd, NiVec3(8.0f, 0.0f, 0.0f));
    EXPECT_EQ(kStart, NiVec3(0.0f, 0.0f, 0.0f));
    COrvaneComposite kModel;
    (void)kSpline.Advance(0.5f, &kModel, 0.0f, 1.0f, nullptr, true);
    EXPECT_NEAR(kModel.GetPosition()->x, 4.0f, 1e-4f);
}

TEST_F(COrvaneAnimationSplineTest, RouteOfNoLengthOrNoControllerIsHandled)
{
    NiRefPtr<NiAVObject> spNode = Route(2.0f, 2.0f);
    COrvaneAnimationSpline kSpline;
    kSpline.CreateFromFile(spNode, nullptr);
    COrvaneComposite kModel;
    EXPECT_EQ(kSpline.Advance(0.3f, &kModel, 0.1f, 1.0f, nullptr, false), 1.0f);
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(4.0f, 0.5f, 4.0f));
    EXPECT_EQ(kSpline.Advance(0.3f, &kModel, 0.1f, -1.0f, nullptr, false), 0.0f);

    NiRefPtr<NiAVObject> spBare = new NiAVObject;
    COrvaneAnimationSpline kBare;
    kBare.CreateFromFile(spBare, nullptr);
    COrvaneComposite kStill;
    EXPECT_EQ(kBare.Advance(0.3f, &kStill, 0.1f, 1.0f, nullptr, false), 0.3f);
    EXPECT_EQ(*kStill.GetPosition(), NiVec3::ZERO);
    NiVec3 kOut;
    EXPECT_FALSE(kBare.GetEndPosition(kOut));
    EXPECT_EQ(kBare.GetEndHeading(), 0.0f);
    EXPECT_TRUE(kBare.GetStartPosition(kOut));

    COrvaneAnimationSpline kEmpty;
    EXPECT_FALSE(kEmpty.GetStartPosition(kOut));
    EXPECT_EQ(kEmpty.Advance(0.6f, &kStill, 0.1f, 1.0f, nullptr, false), 0.6f);
}
