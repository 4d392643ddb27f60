#include "engine/scene/NiAVObject.h"

#include "tests/engine/scene/SceneTestSupport.h"

using namespace scene_test;

namespace
{
class NiAVObjectTest : public SceneTest
{
};

NiRefPtr<TestProperty> MakeProperty(int iType, std::uint16_t uFlags)
{
    NiRefPtr<TestProperty> sp = new TestProperty;
    sp->m_iType = iType;
    sp->m_uFlags = uFlags;
    return sp;
}

std::vector<std::uint16_t> PropertyFlags(const NiAVObject& kObject)
{
    std::vector<std::uint16_t> k;
    for (NiListPos kPos = kObject.GetPropertyList().GetHeadPos(); kPos != nullptr;)
        k.push_back(static_cast<TestProperty*>(NiRefList<NiProperty>::GetNext(kPos))->m_uFlags);
    return k;
}
} // namespace

TEST_F(NiAVObjectTest, NewObjectsAreRigidRootsAtTheIdentity)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    EXPECT_EQ(sp->GetFlags(), 0x0010);
    EXPECT_EQ(sp->GetParent(), nullptr);
    EXPECT_EQ(sp->GetLocalTransform(), NiXform());
    EXPECT_EQ(sp->GetWorldBound(), NiBoundSphere());
    sp->SetTranslate(NiVec3(1, 2, 3));
    sp->SetScale(2.0f);
    sp->Update(0.5f);
    EXPECT_EQ(sp->GetWorldTransform(), sp->GetLocalTransform()) << "a root's world is its local";
}

TEST_F(NiAVObjectTest, UpdatesRunControllersOfTheObjectAndItsProperties)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    NiRefPtr<TestController> spOwn = new TestController;
    NiRefPtr<TestController> spOfProperty = new TestController;
    NiRefPtr<TestProperty> spProperty = MakeProperty(NiProperty::FOG, 0);
    spProperty->PrependController(spOfProperty);
    sp->AttachProperty(spProperty);
    sp->PrependController(spOwn);

    sp->UpdateControllers(1.0f);
    sp->UpdateDownwardPass(2.0f, false);
    EXPECT_EQ(spOwn->m_kTimes, (std::vector<float>{1.0f}));
    EXPECT_EQ(spOfProperty->m_kTimes, (std::vector<float>{1.0f}));

    // Selective flags: a property controller and (forced) transforms.
    bool bSelective = false, bRigid = false;
    sp->ComputeSelectiveUpdateFlags(bSelective, true, bRigid);
    EXPECT_TRUE(bSelective);
    EXPECT_TRUE(bRigid);
    EXPECT_EQ(sp->GetFlags() & 0x1E, 0x1E);
    sp->UpdateSelectedDownwardPass(3.0f);
    EXPECT_EQ(spOfProperty->m_kTimes.back(), 3.0f);

    spProperty->RemoveController(spOfProperty);
    spOwn->m_bTransform = true;
    sp->ComputeSelectiveUpdateFlags(bSelective, false, bRigid);
    EXPECT_TRUE(bSelective);
    EXPECT_FALSE(bRigid);
    EXPECT_EQ(sp->GetFlags() & 0x1E, 0x16);

    NiRefPtr<TestAVObject> spStill = new TestAVObject;
    spStill->SetFlags(0x000E);
    spStill->ComputeSelectiveUpdateFlags(bSelective, false, bRigid);
    EXPECT_FALSE(bSelective);
    EXPECT_EQ(spStill->GetFlags(), 0x0010);
}

TEST_F(NiAVObjectTest, CullingTestsTheBoundAgainstTheActivePlanes)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    sp->SetWorldBound(NiBoundSphere(NiVec3(0, 0, 0), 1.0f));
    NiPlane akPlanes[6];
    for (NiPlane& kPlane : akPlanes)
        kPlane = NiPlane(NiVec3(1, 0, 0), -5.0f); // far away: wholly inside
    std::uint32_t uiMask = 0x3F;

    akPlanes[2] = NiPlane(NiVec3(1, 0, 0), 1.0f); // d = -1 = -r: outside
    sp->Cull(nullptr, akPlanes, uiMask);
    EXPECT_EQ(sp->m_uiVisible, 0u);
    EXPECT_EQ(uiMask, 0x3Fu);

    akPlanes[2] = NiPlane(NiVec3(1, 0, 0), -1.0f); // d = r: inside, its bit clears
    struct Watch : TestAVObject
    {
        std::uint32_t* m_puiMask = nullptr;
        std::uint32_t m_uiSeen = 0;
        void OnVisible(NiCamera*) override { m_uiSeen = *m_puiMask; }
    };
    NiRefPtr<Watch> spWatch = new Watch;
    spWatch->SetWorldBound(sp->GetWorldBound());
    spWatch->m_puiMask = &uiMask;
    spWatch->Cull(nullptr, akPlanes, uiMask);
    EXPECT_EQ(spWatch->m_uiSeen, 0u) << "every plane held the sphere wholly";
    EXPECT_EQ(uiMask, 0x3Fu) << "the mask comes back as it was";

    sp->SetAppCulled(true);
    std::uint32_t uiNone = 0;
    sp->Cull(nullptr, akPlanes, uiNone);
    EXPECT_EQ(sp->m_uiVisible, 0u);
    sp->SetAppCulled(false);
    sp->Cull(nullptr, akPlanes, uiNone);
    EXPECT_EQ(sp->m_uiVisible, 1u);
}

TEST_F(NiAVObjectTest, PropertiesDetachAndPushIntoSets)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    NiRefPtr<TestProperty> spAlpha = MakeProperty(NiProperty::ALPHA, 1);
    NiRefPtr<TestProperty> spLaterAlpha = MakeProperty(NiProperty::ALPHA, 2);
    NiRefPtr<TestProperty> spFog = MakeProperty(NiProperty::FOG, 3);
    sp->AttachProperty(spAlpha);
    sp->AttachProperty(spFog);
    EXPECT_EQ(sp->GetProperty(NiProperty::FOG), spFog.Get());
    EXPECT_EQ(sp->GetProperty(NiProperty::ZBUFFER), nullptr);

    NiRefPtr<TestProperty> spStranger = MakeProperty(NiProperty::SHADE, 4);
    EXPECT_EQ(sp->DetachProperty(spStranger), spStranger.Get());
    EXPECT_EQ(sp->GetPropertyList().GetSize(), 2u);

    NiPropertySetPtr spParent = new NiPropertySet;
    sp->AttachProperty(spLaterAlpha); // head: list is LaterAlpha, Fog, Alpha
    NiPropertySetPtr spPushed = sp->PushLocalProperties(spParent, true);
    EXPECT_NE(spPushed, spParent);
    EXPECT_EQ(spPushed->GetProperty(NiProperty::ALPHA), spAlpha.Get()) << "a later one of a type wins";
    EXPECT_EQ(spPushed->GetProperty(NiProperty::FOG), spFog.Get());
    EXPECT_EQ(spParent->GetProperty(NiProperty::FOG), nullptr);

    EXPECT_EQ(sp->RemovePropertyOfType(NiProperty::FOG), spFog.Get());
    EXPECT_EQ(sp->RemovePropertyOfType(NiProperty::FOG), nullptr);
    NiRefPtr<TestAVObject> spBare = new TestAVObject;
    EXPECT_EQ(spBare->PushLocalProperties(spParent, true), spParent);
}

TEST_F(NiAVObjectTest, RecordIsByteExactAndRestoresThePropertyOrder)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    sp->SetName("box");
    sp->SetTranslate(NiVec3(1, 2, 3));
    NiRefPtr<TestProperty> spA = MakeProperty(NiProperty::ALPHA, 0xA);
    NiRefPtr<TestProperty> spB = MakeProperty(NiProperty::FOG, 0xB);
    sp->AttachProperty(spB);
    sp->AttachProperty(spA); // list A, B

    std::vector<std::uint8_t> kSaved = Save({sp});
    const std::uint32_t v = NiObjectStream::CURRENT_VERSION;
    std::vector<std::uint8_t> kExpected =
        BuildFile(v,
                  {{"TestAVObject", NETBody(v, "box", {}, NONE).Append(AVBody(v, 0x10, {2, 1}))},
                   {"TestProperty", NETBody(v, "", {}, NONE).U16(0xA)},
                   {"TestProperty", NETBody(v, "", {}, NONE).U16(0xB)}},
                  {0});
    EXPECT_EQ(kSaved, kExpected) << "properties are written tail to head";

    ASSERT_TRUE(Load(kSaved));
    auto* pkBack = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    EXPECT_EQ(PropertyFlags(*pkBack), (std::vector<std::uint16_t>{0xA, 0xB}));
    EXPECT_TRUE(pkBack->IsEqual(sp));

    NiObjectPtr spClone = sp->Clone();
    EXPECT_EQ(PropertyFlags(*static_cast<TestAVObject*>(spClone.Get())), (std::vector<std::uint16_t>{0xB, 0xA}));
}

TEST_F(NiAVObjectTest, PropertyLinksBefore4_1_0_8AreInFileOrder)
{
    for (std::uint32_t v : {V(4, 1, 0, 7), V(4, 1, 0, 8)})
    {
        SCOPED_TRACE(v);
        std::vector<Record> kRecords = {
            {"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0, {1, 2}))},
            {"TestProperty", NETBody(v, "", {}, NONE).U16(1)},
            {"TestProperty", NETBody(v, "", {}, NONE).U16(2)},
        };
        ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
        std::vector<std::uint16_t> kOrder = PropertyFlags(*static_cast<TestAVObject*>(m_kLoaded[0].Get()));
        if (v < V(4, 1, 0, 8))
            EXPECT_EQ(kOrder, (std::vector<std::uint16_t>{1, 2}));
        else
            EXPECT_EQ(kOrder, (std::vector<std::uint16_t>{2, 1}));
    }
}

TEST_F(NiAVObjectTest, OldFlagsAreConvertedAndKeptForTheSubclasses)
{
    const std::uint32_t v = V(4, 0, 0, 2);
    ASSERT_TRUE(Load(BuildFile(v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0x0001, {}))}}, {0})));
    EXPECT_EQ(m_kStream.GetRawObjectFlags(), 0x0001);
    EXPECT_EQ(m_kStream.GetSavedObjectFlags(), 0x000F);
    auto* pk = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    // 0x000F after the conversions; the old-file fix then sets bits 1-3 and
    // clears bit 4 of this parentless object.
    EXPECT_EQ(pk->GetFlags(), 0x000F);
    EXPECT_EQ(pk->GetTranslate(), NiVec3(1, 2, 3));

    // Flags above 0x3F stay only in the stream's saved field.
    const std::uint32_t w = V(5, 0, 0, 19);
    ASSERT_TRUE(Load(BuildFile(w, {{"TestAVObject", NETBody(w, "o", {}, NONE).Append(AVBody(w, 0x0F41, {}))}}, {0})));
    EXPECT_EQ(m_kStream.GetSavedObjectFlags(), 0x0F41);
    EXPECT_EQ(static_cast<TestAVObject*>(m_kLoaded[0].Get())->GetFlags(), 0x0001);
}

TEST_F(NiAVObjectTest, FilesBefore4_1_0_12ResetTheUpdateFlagsOfParentlessSubtrees)
{
    for (std::uint32_t v : {V(4, 1, 0, 11), V(4, 1, 0, 12)})
    {
        SCOPED_TRACE(v);
        ASSERT_TRUE(Load(BuildFile(v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0, {}))}}, {0})));
        std::uint16_t usFlags = static_cast<TestAVObject*>(m_kLoaded[0].Get())->GetFlags();
        if (v < V(4, 1, 0, 12))
            EXPECT_EQ(usFlags & 0x1E, 0x0E);
        else
            EXPECT_EQ(usFlags & 0x1E, 0) << "converted only";
    }

    // The walk reaches children through the virtual fill, each once.
    NiRefPtr<TestAVObject> spRoot = new TestAVObject;
    NiRefPtr<TestAVObject> spChild = new TestAVObject;
    spRoot->m_kChildren = {spChild, spChild};
    NiAVObject::OldUpdateFlagFix(m_kStream, spRoot);
    EXPECT_EQ(spChild->GetFlags(), 0x000E);
}

TEST_F(NiAVObjectTest, OldBoundingVolumesHaveNoLayoutAndFail)
{
    for (std::uint32_t v : {V(4, 0, 0, 2), V(5, 0, 0, 18)})
    {
        SCOPED_TRACE(v);
        EXPECT_FALSE(
            Load(BuildFile(v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0, {}, true))}}, {0})));
        EXPECT_EQ(m_kStream.GetLastError(), 6u);
    }
}

TEST_F(NiAVObjectTest, EqualityLooksAtCullingTransformAndProperties)
{
    NiRefPtr<TestAVObject> spA = new TestAVObject;
    NiRefPtr<TestAVObject> spB = new TestAVObject;
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->SetFlags(0x0012);
    EXPECT_TRUE(spA->IsEqual(spB)) << "only the culling bit counts";
    spB->SetAppCulled(true);
    EXPECT_FALSE(spA->IsEqual(spB));
    spB->SetAppCulled(false);
    spB->SetScale(2.0f);
    EXPECT_FALSE(spA->IsEqual(spB));
    spB->SetScale(1.0f);
    spB->AttachProperty(MakeProperty(0, 0));
    EXPECT_FALSE(spA->IsEqual(spB));
    spA->AttachProperty(MakeProperty(0, 1));
    EXPECT_FALSE(spA->IsEqual(spB));
    EXPECT_FALSE(spA->IsEqual(nullptr));

    NiViewerStringArray kStrings;
    spA->AppendViewerStrings(kStrings);
    bool bHeader = false;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        bHeader = bHeader || std::string(kStrings.GetAt(i)) == "--- NiAVObject ---";
        delete[] kStrings.GetAt(i);
    }
    EXPECT_TRUE(bHeader);
}
