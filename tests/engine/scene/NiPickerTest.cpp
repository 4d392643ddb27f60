#include "engine/scene/NiPicker.h"

#include "engine/core/NiMathConstants.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSwitchNode.h"
#include "tests/engine/scene/RenderPathTestSupport.h"

#include <gtest/gtest.h>

namespace scene_test
{
namespace
{
class NiPickerTest : public RenderPathTest
{
protected:
    // Straight down onto the squares' first triangle (x > y).
    const NiVec3 m_kOrigin{0.75f, 0.25f, 4.0f};
    const NiVec3 m_kDown{0.0f, 0.0f, -1.0f};
};

// One triangle with normals, colours and one texture set:
// V0 (0, 0, 0), V1 (4, 0, 0), V2 (0, 4, 0), facing +z.
NiRefPtr<NiTriShape> RichTriangle(bool bNormals = true)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {4, 0, 0}, {0, 4, 0}});
    NiVec3* pkNormal = bNormals ? NewArray<NiVec3>({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}) : nullptr;
    NiColorRGBA* pkColor = NewArray<NiColorRGBA>({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 0}});
    NiVec2* pkTexture = NewArray<NiVec2>({{0, 0}, {1, 0}, {0, 1}});
    std::uint16_t* pusList = NewArray<std::uint16_t>({0, 1, 2});
    NiRefPtr<NiTriShape> sp =
        new NiTriShape(new NiTriShapeData(3, pkVertex, pkNormal, pkColor, pkTexture, 1, 0, 1, pusList));
    sp->SetName("rich");
    sp->Update(0.0f);
    return sp;
}
} // namespace

TEST_F(NiPickerTest, DefaultsAndTheTwoRayTests)
{
    NiPicker kPicker;
    EXPECT_EQ(kPicker.GetPickType(), NiPicker::FIND_ALL);
    EXPECT_EQ(kPicker.GetSortType(), NiPicker::SORT);
    EXPECT_EQ(kPicker.GetIntersectType(), NiPicker::TRIANGLE_INTERSECT);
    EXPECT_EQ(kPicker.GetCoordinateType(), NiPicker::WORLD_COORDINATES);
    EXPECT_TRUE(kPicker.GetFrontOnly());
    EXPECT_FALSE(kPicker.GetObserveAppCullFlag());
    EXPECT_FALSE(kPicker.Pick(m_kOrigin, m_kDown)); // no target

    // Inside the sphere any direction meets it; outside, only towards it.
    const NiVec3 kCenter(10, 0, 0);
    EXPECT_TRUE(NiPicker::IntersectSphere(NiVec3(10.5f, 0, 0), NiVec3(0, 1, 0), kCenter, 1));
    EXPECT_TRUE(NiPicker::IntersectSphere(NiVec3(10.5f, 0, 0), NiVec3(1, 0, 0), kCenter, 1));
    EXPECT_FALSE(NiPicker::IntersectSphere(NiVec3(0, 0, 0), NiVec3(-1, 0, 0), kCenter, 1));
    EXPECT_TRUE(NiPicker::IntersectSphere(NiVec3(0, 0, 0), NiVec3(1, 0, 0), kCenter, 1));
    EXPECT_TRUE(NiPicker::IntersectSphere(NiVec3(0, 1, 0), NiVec3(1, 0, 0), kCenter, 1)); // grazing
    EXPECT_FALSE(NiPicker::IntersectSphere(NiVec3(0, 1.01f, 0), NiVec3(1, 0, 0), kCenter, 1));

    const NiVec3 kV0(0, 0, 0);
    const NiVec3 kV1(1, 0, 0);
    const NiVec3 kV2(0, 1, 0);
    float fT = 0.0f;
    float fU = 0.0f;
    float fV = 0.0f;
    ASSERT_TRUE(NiPicker::IntersectTriangle(NiVec3(0.25f, 0.5f, 2), m_kDown, kV0, kV1, kV2, true, fT, fU, fV));
    EXPECT_FLOAT_EQ(fT, 2.0f);
    EXPECT_FLOAT_EQ(fU, 0.25f);
    EXPECT_FLOAT_EQ(fV, 0.5f);
    // From behind: missed with front-only, hit without.
    const NiVec3 kUp(0, 0, 1);
    EXPECT_FALSE(NiPicker::IntersectTriangle(NiVec3(0.25f, 0.5f, -2), kUp, kV0, kV1, kV2, true, fT, fU, fV));
    ASSERT_TRUE(NiPicker::IntersectTriangle(NiVec3(0.25f, 0.5f, -2), kUp, kV0, kV1, kV2, false, fT, fU, fV));
    EXPECT_FLOAT_EQ(fT, 2.0f);
    EXPECT_FLOAT_EQ(fU, 0.25f);
    // In the plane, and outside the triangle, and behind the origin.
    EXPECT_FALSE(
        NiPicker::IntersectTriangle(NiVec3(-1, 0.25f, 0), NiVec3(1, 0, 0), kV0, kV1, kV2, false, fT, fU, fV));
    EXPECT_FALSE(NiPicker::IntersectTriangle(NiVec3(0.75f, 0.75f, 2), m_kDown, kV0, kV1, kV2, true, fT, fU, fV));
    EXPECT_FALSE(NiPicker::IntersectTriangle(NiVec3(0.25f, 0.25f, 2), kUp, kV0, kV1, kV2, false, fT, fU, fV));
}

TEST_F(NiPickerTest, APersonWhoseWorldDataWaitsIsPickedWhereTheLastPassPutIt)
{
    // A person nothing draws: the world's passes leave its data stale, and
    // the pick brings it up to date.
    NiNodePtr spWorld = new NiNode;
    NiNodePtr spPerson = new NiNode;
    spPerson->SetName("person");
    NiRefPtr<NiTriShape> spBody = NamedSquare("body");
    spPerson->AttachChild(spBody);
    spWorld->AttachChild(spPerson);
    spPerson->SetWorldOnDemand(true);
    spWorld->Update(0.0f);
    spPerson->SetTranslate(NiVec3(0, 0, 1));
    spWorld->Update(0.0f);
    ASSERT_TRUE(spBody->IsWorldTransformStale());
    ASSERT_TRUE(spWorld->IsWorldBoundStale());

    NiPicker kPicker;
    kPicker.SetTarget(spWorld);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_EQ(kPicker.GetAt(0)->GetAVObject(), spBody.Get());
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 3.0f);
    ExpectNear(kPicker.GetAt(0)->GetIntersection(), NiVec3(0.75f, 0.25f, 1));

    // A step after the last pass is not seen until the next one, as when
    // the pass worked everything out.
    spPerson->SetTranslate(NiVec3(0, 0, 2));
    kPicker.ClearResults();
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 3.0f);
    spWorld->Update(0.0f);
    kPicker.ClearResults();
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 2.0f);
}

TEST_F(NiPickerTest, SortedAllHitsFirstHitAndAppend)
{
    NiNodePtr spRoot = new NiNode;
    spRoot->AttachChild(NamedSquare("far", NiVec3(0, 0, 0)));
    spRoot->AttachChild(NamedSquare("near", NiVec3(0, 0, 2)));
    spRoot->Update(0.0f);
    NiPicker kPicker;
    kPicker.SetTarget(spRoot);

    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 2u);
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 2.0f);
    EXPECT_STREQ(static_cast<NiObjectNET*>(kPicker.GetAt(0)->GetAVObject())->GetName(), "near");
    EXPECT_FLOAT_EQ(kPicker.GetAt(1)->GetDistance(), 4.0f);
    ExpectNear(kPicker.GetAt(1)->GetIntersection(), NiVec3(0.75f, 0.25f, 0));
    EXPECT_EQ(kPicker.GetAt(1)->GetTriangleIndex(), 0);
    std::uint16_t aus[3] = {9, 9, 9};
    kPicker.GetAt(1)->GetVertexIndices(aus[0], aus[1], aus[2]);
    EXPECT_EQ(aus[2], 2);

    kPicker.SetPickType(NiPicker::FIND_FIRST);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 2.0f);
    EXPECT_EQ(kPicker.GetLastAddedRecord(), kPicker.GetAt(0));

    // Unsorted first hit stops at the first record found: the far square is
    // the first child.
    kPicker.SetSortType(NiPicker::NO_SORT);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_FLOAT_EQ(kPicker.GetAt(0)->GetDistance(), 4.0f);

    // Appending keeps what was found, even when the new ray misses.
    EXPECT_FALSE(kPicker.Pick(NiVec3(50, 50, 4), m_kDown, true));
    EXPECT_EQ(kPicker.GetSize(), 1u);
    kPicker.SetPickType(NiPicker::FIND_ALL);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown, true));
    EXPECT_EQ(kPicker.GetSize(), 3u);
    kPicker.ClearResults();
    EXPECT_EQ(kPicker.GetSize(), 0u);
    EXPECT_EQ(kPicker.GetLastAddedRecord(), nullptr);
}

TEST_F(NiPickerTest, EqualDistancesKeepTheEarlierRecord)
{
    NiNodePtr spRoot = new NiNode;
    spRoot->AttachChild(NamedSquare("first", NiVec3(0, 0, 1)));
    spRoot->AttachChild(NamedSquare("second", NiVec3(0, 0, 1)));
    spRoot->Update(0.0f);
    NiPicker kPicker;
    kPicker.SetTarget(spRoot);
    kPicker.SetPickType(NiPicker::FIND_FIRST);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_STREQ(static_cast<NiObjectNET*>(kPicker.GetAt(0)->GetAVObject())->GetName(), "first");
}

TEST_F(NiPickerTest, ValuesAtAKnownBarycentricPoint)
{
    NiRefPtr<NiTriShape> spShape = RichTriangle();
    NiPicker kPicker;
    kPicker.SetTarget(spShape);
    // (1, 2) on the triangle: u = 0.25 (V1), v = 0.5 (V2), w = 0.25 (V0).
    const NiVec3 kOrigin(1, 2, 3);

    ASSERT_TRUE(kPicker.Pick(kOrigin, m_kDown));
    NiPickRecord* pkRecord = kPicker.GetAt(0);
    EXPECT_EQ(pkRecord->GetTexture().x, 0.0f);
    EXPECT_EQ(pkRecord->GetNormal(), NiVec3());
    EXPECT_EQ(pkRecord->GetColor(), NiColorRGBA(1, 1, 1, 1));

    kPicker.SetReturnTexture(true);
    kPicker.SetReturnNormal(true);
    kPicker.SetReturnColor(true);
    ASSERT_TRUE(kPicker.Pick(kOrigin, m_kDown));
    pkRecord = kPicker.GetAt(0);
    EXPECT_FLOAT_EQ(pkRecord->GetTexture().x, 0.25f);
    EXPECT_FLOAT_EQ(pkRecord->GetTexture().y, 0.5f);
    ExpectNear(pkRecord->GetNormal(), NiVec3(0, 0, 1)); // the face normal
    EXPECT_FLOAT_EQ(pkRecord->GetColor().r, 0.25f);
    EXPECT_FLOAT_EQ(pkRecord->GetColor().g, 0.25f);
    EXPECT_FLOAT_EQ(pkRecord->GetColor().b, 0.5f);
    EXPECT_FLOAT_EQ(pkRecord->GetColor().a, 0.5f);

    kPicker.SetReturnSmoothNormal(true);
    ASSERT_TRUE(kPicker.Pick(kOrigin, m_kDown));
    const float fLength = std::sqrt(0.25f * 0.25f + 0.25f * 0.25f + 0.5f * 0.5f);
    ExpectNear(kPicker.GetAt(0)->GetNormal(), NiVec3(0.25f, 0.25f, 0.5f) / fLength);

    // Without vertex normals the face normal stands in.
    NiRefPtr<NiTriShape> spFlat = RichTriangle(false);
    kPicker.SetTarget(spFlat);
    ASSERT_TRUE(kPicker.Pick(kOrigin, m_kDown));
    ExpectNear(kPicker.GetAt(0)->GetNormal(), NiVec3(0, 0, 1));
}

TEST_F(NiPickerTest, ModelAndWorldCoordinatesAndScale)
{
    // Scaled by 2, turned a quarter about x (model +z faces world -y) and
    // moved: the hit lies at the same ray parameter as on an unscaled copy
    // twice as large.
    NiRefPtr<NiTriShape> spShape = RichTriangle();
    NiMatrix3x3 kTurn;
    kTurn.MakeXRotation(NI_HALF_PI);
    spShape->SetRotate(kTurn);
    spShape->SetTranslate(NiVec3(10, 0, 0));
    spShape->SetScale(2.0f);
    spShape->Update(0.0f);
    const NiVec3 kModelNormal(0, 0, 1);
    const NiVec3 kWorldNormal = kTurn.MultiplyVector(kModelNormal);
    // A point of the world triangle: model (1, 2, 0).
    const NiVec3 kTarget = spShape->GetWorldTransform().TransformPoint(NiVec3(1, 2, 0));
    const NiVec3 kOrigin = kTarget + kWorldNormal * 6.0f;

    NiPicker kPicker;
    kPicker.SetTarget(spShape);
    kPicker.SetReturnNormal(true);
    ASSERT_TRUE(kPicker.Pick(kOrigin, -kWorldNormal));
    EXPECT_NEAR(kPicker.GetAt(0)->GetDistance(), 6.0f, 1e-4f);
    ExpectNear(kPicker.GetAt(0)->GetIntersection(), kTarget, 1e-4f);
    ExpectNear(kPicker.GetAt(0)->GetNormal(), kWorldNormal);

    kPicker.SetCoordinateType(NiPicker::MODEL_COORDINATES);
    ASSERT_TRUE(kPicker.Pick(kOrigin, -kWorldNormal));
    EXPECT_NEAR(kPicker.GetAt(0)->GetDistance(), 6.0f, 1e-4f);
    ExpectNear(kPicker.GetAt(0)->GetIntersection(), NiVec3(1, 2, 0), 1e-4f);
    ExpectNear(kPicker.GetAt(0)->GetNormal(), kModelNormal);

    // A collapsed object has nothing to hit.
    spShape->SetScale(0.0f);
    spShape->Update(0.0f);
    kPicker.SetIntersectType(NiPicker::TRIANGLE_INTERSECT);
    EXPECT_FALSE(kPicker.Pick(NiVec3(10, 0, 0), -kWorldNormal));
    EXPECT_EQ(kPicker.GetSize(), 0u);
}

TEST_F(NiPickerTest, SwitchNodesCountOnlyTheActiveChild)
{
    NiRefPtr<NiSwitchNode> spSwitch = new NiSwitchNode;
    spSwitch->AttachChild(NamedSquare("zero", NiVec3(0, 0, 0)));
    spSwitch->AttachChild(NamedSquare("one", NiVec3(0, 0, 1)));
    spSwitch->SetIndex(-1);
    spSwitch->Update(0.0f);
    NiPicker kPicker;
    kPicker.SetTarget(spSwitch);
    EXPECT_FALSE(kPicker.Pick(m_kOrigin, m_kDown));

    spSwitch->SetIndex(1);
    spSwitch->Update(0.0f);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_STREQ(static_cast<NiObjectNET*>(kPicker.GetAt(0)->GetAVObject())->GetName(), "one");
}

TEST_F(NiPickerTest, BoundsModeNamesObjectsAndAppCulledCanBeSkipped)
{
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spInner = new NiNode;
    spRoot->AttachChild(spInner);
    spInner->AttachChild(NamedSquare("a", NiVec3(0, 0, 0)));
    spInner->AttachChild(NamedSquare("b", NiVec3(0, 0, 1)));
    spRoot->Update(0.0f);
    NiPicker kPicker;
    kPicker.SetTarget(spRoot);
    kPicker.SetIntersectType(NiPicker::BOUND_INTERSECT);

    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 2u); // the geometry, not the nodes
    EXPECT_EQ(kPicker.GetAt(0)->GetDistance(), 0.0f);
    EXPECT_EQ(kPicker.GetAt(0)->GetColor(), NiColorRGBA(0, 0, 0, 0));

    kPicker.SetPickType(NiPicker::FIND_FIRST);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_EQ(kPicker.GetAt(0)->GetAVObject(), spRoot.Get());

    kPicker.SetPickType(NiPicker::FIND_ALL);
    kPicker.SetIntersectType(NiPicker::TRIANGLE_INTERSECT);
    spInner->GetAt(1)->SetAppCulled(true);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    EXPECT_EQ(kPicker.GetSize(), 2u); // culled or not, unless asked
    kPicker.SetObserveAppCullFlag(true);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    EXPECT_EQ(kPicker.GetSize(), 1u);
}

TEST_F(NiPickerTest, TriangleIndicesBeyondTheVerticesAreSkipped)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    std::uint16_t* pusList = NewArray<std::uint16_t>({0, 1, 7, 0, 1, 2});
    NiRefPtr<NiTriShape> spShape =
        new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2, pusList));
    spShape->Update(0.0f);
    NiPicker kPicker;
    kPicker.SetTarget(spShape);
    ASSERT_TRUE(kPicker.Pick(m_kOrigin, m_kDown));
    ASSERT_EQ(kPicker.GetSize(), 1u);
    EXPECT_EQ(kPicker.GetAt(0)->GetTriangleIndex(), 1);
}
} // namespace scene_test
