// The data check's finder of faces the depth buffer cannot tell apart, on
// boxes built as the demo data builds its showcase.
#include "tests/game/data/CoplanarFaces.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriShape.h"
#include "tools/COrvaneDemoShapes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{
// A floor 10 x 10 with its top at 0, and a box standing on it at the given
// foot, both under one node, their triangles in world space.
std::vector<coplanar::Triangle> FloorAndBox(float fFoot, const NiVec3& kBoxAt = NiVec3(0.0f, 0.0f, 0.0f))
{
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->AttachChild(MakeDemoBox(NiVec3(-5.0f, -5.0f, -1.0f), NiVec3(5.0f, 5.0f, 0.0f), false, "floor"));
    auto* pkBoxNode = new NiNode;
    pkBoxNode->SetTranslate(kBoxAt);
    pkBoxNode->AttachChild(MakeDemoBox(NiVec3(-1.0f, -1.0f, fFoot), NiVec3(1.0f, 1.0f, 2.0f), false, "box"));
    spRoot->AttachChild(pkBoxNode);
    spRoot->Update(0.0f);
    std::vector<coplanar::Triangle> kTriangles;
    coplanar::Collect(*spRoot, kTriangles);
    return kTriangles;
}
} // namespace

// A step is the depth the buffer resolves: it grows with the square of the
// distance and shrinks with the near plane and the bits.
TEST(CoplanarFacesTest, DepthStepFollowsDistanceNearPlaneAndBits)
{
    const float fStep = coplanar::DepthStep(100.0f, 1.0f, 3000.0f, 16);
    EXPECT_NEAR(fStep, 100.0f * 100.0f * 2999.0f / (3000.0f * 65536.0f), 1e-5f);
    EXPECT_NEAR(coplanar::DepthStep(200.0f, 1.0f, 3000.0f, 16), 4.0f * fStep, 1e-4f);
    EXPECT_NEAR(coplanar::DepthStep(100.0f, 2.0f, 3000.0f, 16), 0.5f * fStep, 1e-4f);
    EXPECT_NEAR(coplanar::DepthStep(100.0f, 1.0f, 3000.0f, 24), fStep / 256.0f, 1e-6f);
}

// A box whose bottom lies on the floor's top fights it (its bottom and the
// floor's top, facing apart); one sunk into the floor by more than the steps
// asked for does not, nor does one standing beside the floor; an app-culled
// shape is not drawn and so not collected.
TEST(CoplanarFacesTest, FacesOnOnePlaneThatOverlapFightAndOthersDoNot)
{
    const NiVec3 kEye(0.0f, -40.0f, 20.0f);
    std::vector<coplanar::Triangle> kOn = FloorAndBox(0.0f);
    ASSERT_EQ(kOn.size(), 24u);
    std::vector<coplanar::Fight> kFights = coplanar::FindFights(kOn, {}, kEye, 1.0f, 3000.0f, 16, 2.0f);
    ASSERT_FALSE(kFights.empty());
    std::set<std::string> kPairs;
    for (const coplanar::Fight& kFight : kFights)
    {
        kPairs.insert(kFight.kFirst + "/" + kFight.kSecond);
        EXPECT_LT(kFight.fGap, 1e-5f);
        EXPECT_GT(kFight.fStep, 0.0f);
    }
    EXPECT_EQ(kPairs, (std::set<std::string>{"floor/box"}));

    // Sunk by 0.1 at about 50 from the eye: a 16-bit step there is 0.04.
    EXPECT_TRUE(coplanar::FindFights(FloorAndBox(-0.1f), {}, kEye, 1.0f, 3000.0f, 16, 2.0f).empty());
    // Sunk by 0.01 is within two steps.
    EXPECT_FALSE(coplanar::FindFights(FloorAndBox(-0.01f), {}, kEye, 1.0f, 3000.0f, 16, 2.0f).empty());
    // On the floor's plane but beside it, touching its edge: no area shared.
    EXPECT_TRUE(coplanar::FindFights(FloorAndBox(0.0f, NiVec3(6.0f, 0.0f, 0.0f)), {}, kEye, 1.0f, 3000.0f, 16, 2.0f)
                    .empty());

    // The floor given as the ground around the box: the same fight found.
    std::vector<coplanar::Triangle> kBox;
    std::vector<coplanar::Triangle> kFloor;
    for (const coplanar::Triangle& kTriangle : kOn)
        (kTriangle.kOwner == "box" ? kBox : kFloor).push_back(kTriangle);
    EXPECT_FALSE(coplanar::FindFights(kBox, kFloor, kEye, 1.0f, 3000.0f, 16, 2.0f).empty());
    EXPECT_TRUE(coplanar::FindFights(kBox, {}, kEye, 1.0f, 3000.0f, 16, 2.0f).empty());

    NiRefPtr<NiTriShape> spHidden = MakeDemoBox(NiVec3(0, 0, 0), NiVec3(1, 1, 1), false, "hidden");
    spHidden->SetAppCulled(true);
    spHidden->Update(0.0f);
    std::vector<coplanar::Triangle> kNone;
    coplanar::Collect(*spHidden, kNone);
    EXPECT_TRUE(kNone.empty());
}
