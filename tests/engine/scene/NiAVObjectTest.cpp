#include "engine/scene/NiAVObject.h"

#include "engine/scene/NiCollisionData.h"
#include "engine/scene/NiNode.h"

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

TEST_F(NiAVObjectTest, OldRecordsMakeCollisionDataUnlessStillBareInModeTwo)
{
    // 5.0.0.18 keeps the flags as stored: bits 1-3 are the mode.
    const std::uint32_t v = V(5, 0, 0, 18);
    for (std::uint32_t uiMode = 0; uiMode < 8; ++uiMode)
    {
        SCOPED_TRACE(uiMode);
        auto usFlags = static_cast<std::uint16_t>(0x0101 | (uiMode << 1));
        ASSERT_TRUE(
            Load(BuildFile(v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, usFlags, {}))}}, {0})));
        auto* pkObject = static_cast<TestAVObject*>(m_kLoaded[0].Get());
        EXPECT_EQ(pkObject->GetFlags(), 0x0021) << "shifted past the mode, bit 0 kept";
        auto* pkData = NiDynamicCast<NiCollisionData>(pkObject->GetCollisionObject());
        if (uiMode == 2)
        {
            EXPECT_EQ(pkObject->GetCollisionObject(), nullptr);
            continue;
        }
        ASSERT_NE(pkData, nullptr);
        EXPECT_EQ(pkData->GetPropagationMode(), uiMode);
        EXPECT_EQ(pkData->GetModelVolume().m_uiKind, NiCollisionData::VOLUME_NONE);
        EXPECT_EQ(pkData->GetSceneGraphObject(), pkObject);
    }

    // Mode 2 with any velocity, even without a volume, keeps its data; a
    // negative zero is no velocity.
    for (NiVec3 kVelocity : {NiVec3(0, 0, 0.5f), NiVec3(-1, 0, 0), NiVec3(-0.0f, 0, 0)})
    {
        ASSERT_TRUE(Load(BuildFile(
            v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0x0004, {}, false, kVelocity))}}, {0})));
        auto* pkData = NiDynamicCast<NiCollisionData>(
            static_cast<TestAVObject*>(m_kLoaded[0].Get())->GetCollisionObject());
        if (kVelocity.x == 0.0f && kVelocity.z == 0.0f)
        {
            EXPECT_EQ(pkData, nullptr);
        }
        else
        {
            ASSERT_NE(pkData, nullptr);
            EXPECT_EQ(pkData->GetPropagationMode(), 2u);
        }
        m_kLoaded.clear();
    }

    // Current files say nothing of collisions unless they link a record.
    const std::uint32_t w = V(5, 0, 0, 19);
    ASSERT_TRUE(Load(BuildFile(w, {{"TestAVObject", NETBody(w, "o", {}, NONE).Append(AVBody(w, 0x0002, {}))}}, {0})));
    EXPECT_EQ(static_cast<TestAVObject*>(m_kLoaded[0].Get())->GetCollisionObject(), nullptr);
}

TEST_F(NiAVObjectTest, OldBoundingVolumesAreReadInlineBeforeTheSubclassPart)
{
    // A node whose child list follows the volume: the child is found only
    // when the volume took exactly its own bytes.
    const struct
    {
        std::uint32_t uiVersion;
        Bytes kVolume;
        std::uint32_t uiKind;
    } akCases[] = {
        {V(4, 0, 0, 2), Bytes().U32(1).F32(1).F32(2).F32(3).F32(4), NiCollisionData::VOLUME_SPHERE},
        {V(4, 1, 0, 0), Bytes().U32(3).U32(2).U32(1).F32(0).F32(0).F32(0).F32(1).U32(2).F32(5).F32(6).F32(7)
                             .F32(1).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(1).F32(2).F32(3),
         NiCollisionData::VOLUME_UNION},
    };
    for (const auto& kCase : akCases)
    {
        const std::uint32_t v = kCase.uiVersion;
        SCOPED_TRACE(v);
        // Mode 2 and still: the volume alone asks for the data.
        Bytes kNode = NETBody(v, "n", {}, NONE).Append(AVBody(v, 0x0004, {}, true)).Append(kCase.kVolume);
        kNode.U32(1).U32(1).U32(0);
        std::vector<Record> kRecords = {{"NiNode", kNode},
                                        {"TestAVObject", NETBody(v, "c", {}, NONE).Append(AVBody(v, 0x0004, {}))}};
        ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
        auto* pkNode = NiDynamicCast<NiNode>(m_kLoaded[0].Get());
        ASSERT_NE(pkNode, nullptr);
        ASSERT_EQ(pkNode->GetArrayCount(), 1u);
        EXPECT_STREQ(pkNode->GetAt(0)->GetName(), "c");
        auto* pkData = NiDynamicCast<NiCollisionData>(pkNode->GetCollisionObject());
        ASSERT_NE(pkData, nullptr);
        const NiCollisionData::Volume& kVolume = pkData->GetModelVolume();
        ASSERT_EQ(kVolume.m_uiKind, kCase.uiKind);
        if (kCase.uiKind == NiCollisionData::VOLUME_SPHERE)
        {
            EXPECT_EQ(kVolume.m_kCenter, NiVec3(1, 2, 3));
            EXPECT_EQ(kVolume.m_fRadius, 4.0f);
        }
        else
        {
            ASSERT_EQ(kVolume.m_kParts.size(), 2u);
            EXPECT_EQ(kVolume.m_kParts[1].m_kCenter, NiVec3(5, 6, 7));
            EXPECT_EQ(kVolume.m_kParts[1].m_afExtent[2], 3.0f);
        }
        // Saved, the data becomes a record of its own that loads back equal.
        NiObjectPtr spOld = pkNode;
        ASSERT_TRUE(Load(Save({spOld})));
        EXPECT_TRUE(m_kLoaded[0]->IsEqual(spOld));
        m_kLoaded.clear();
    }

    // An unknown kind inline is as damaged as in a record of its own.
    const std::uint32_t v = V(4, 1, 0, 0);
    EXPECT_FALSE(Load(BuildFile(
        v, {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0, {}, true)).U32(9).F32(0)}}, {0})));
    EXPECT_EQ(m_kStream.GetLastError(), 6u);
}

TEST_F(NiAVObjectTest, AnOldCollisionSwitchWithoutBitThreePropagatesInModeFour)
{
    const std::uint32_t v = V(5, 0, 0, 18);
    // Mode 1; stored bit 6 becomes bit 3 once the mode is shifted out.
    const struct
    {
        const char* pcClass;
        std::uint16_t usFlags;
        std::uint32_t uiMode;
    } akCases[] = {{"NiCollisionSwitch", 0x0002, 4}, {"NiCollisionSwitch", 0x0042, 1}, {"NiNode", 0x0002, 1}};
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(std::string(kCase.pcClass) + " " + std::to_string(kCase.usFlags));
        Bytes kNode = NETBody(v, "s", {}, NONE).Append(AVBody(v, kCase.usFlags, {})).U32(0).U32(0);
        ASSERT_TRUE(Load(BuildFile(v, {{kCase.pcClass, kNode}}, {0})));
        auto* pkNode = NiDynamicCast<NiAVObject>(m_kLoaded[0].Get());
        ASSERT_NE(pkNode, nullptr);
        auto* pkData = NiDynamicCast<NiCollisionData>(pkNode->GetCollisionObject());
        ASSERT_NE(pkData, nullptr);
        EXPECT_EQ(pkData->GetPropagationMode(), kCase.uiMode);
        m_kLoaded.clear();
    }
    // A switch in mode 2 that turns to mode 4 keeps its data too.
    Bytes kSwitch = NETBody(v, "s", {}, NONE).Append(AVBody(v, 0x0004, {})).U32(0).U32(0);
    ASSERT_TRUE(Load(BuildFile(v, {{"NiCollisionSwitch", kSwitch}}, {0})));
    EXPECT_NE(static_cast<NiAVObject*>(m_kLoaded[0].Get())->GetCollisionObject(), nullptr);
}

namespace
{
// Collision data that notes the conversions asked of it.
class ConvertingCollisionData : public NiCollisionData
{
public:
    static inline std::vector<std::pair<std::uint32_t, void*>> ms_kCalls;
    void Convert(std::uint32_t uiVersion, void* pvData) override { ms_kCalls.emplace_back(uiVersion, pvData); }
};
} // namespace

TEST_F(NiAVObjectTest, OldAndLinkedCollisionDataIsConvertedOnceBefore10_0_1_6)
{
    NiObjectStream::RegisterCreateFunction("NiCollisionData",
                                           +[]() -> NiObject* { return new ConvertingCollisionData; });
    for (std::uint32_t v : {V(4, 0, 0, 2), V(5, 0, 0, 18), V(5, 0, 0, 19), V(10, 0, 1, 5), V(10, 0, 1, 6)})
    {
        SCOPED_TRACE(v);
        ConvertingCollisionData::ms_kCalls.clear();
        std::vector<Record> kRecords;
        if (v < V(5, 0, 0, 19))
        {
            kRecords = {{"TestAVObject", NETBody(v, "o", {}, NONE).Append(AVBody(v, 0x0002, {}))}};
        }
        else
        {
            Bytes kObject = NETBody(v, "o", {}, NONE).Append(AVBody(v, 0, {}));
            kObject.m_kBytes.resize(kObject.Size() - 4);
            kRecords = {{"TestAVObject", kObject.U32(1)}, {"NiCollisionData", Bytes().U8(1).U32(0)}};
        }
        ASSERT_TRUE(Load(BuildFile(v, kRecords, {0})));
        EXPECT_NE(static_cast<NiAVObject*>(m_kLoaded[0].Get())->GetCollisionObject(), nullptr);
        // Inline data after its read, linked data by the link pass: once
        // either way.
        ASSERT_EQ(ConvertingCollisionData::ms_kCalls.size(), 1u);
        EXPECT_EQ(ConvertingCollisionData::ms_kCalls[0].first, v);
        EXPECT_EQ(ConvertingCollisionData::ms_kCalls[0].second, nullptr);
        m_kLoaded.clear();
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
