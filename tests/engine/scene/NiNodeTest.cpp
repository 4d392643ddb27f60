#include "engine/scene/NiNode.h"

#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiTriShape.h"
#include "tests/engine/scene/GeometryTestSupport.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

#include <functional>
#include <string>
#include <vector>

using namespace scene_test;

namespace
{
class NiNodeTest : public SceneGraphTest
{
};

NiRefPtr<TestAVObject> Leaf(const char* pcName)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    sp->SetName(pcName);
    return sp;
}

TEST_F(NiNodeTest, HolesAttachDetachSetAtAndMoving)
{
    NiNodePtr spNode = new NiNode;
    auto spA = Leaf("a"), spB = Leaf("b"), spC = Leaf("c"), spD = Leaf("d"), spE = Leaf("e");
    spNode->AttachChild(spA);
    spNode->AttachChild(spB);
    spNode->AttachChild(spC);
    EXPECT_EQ(spB->GetParent(), spNode.Get());

    // The middle one leaves a hole; appending goes past it, the flag fills it.
    EXPECT_EQ(spNode->DetachChildAt(1).Get(), spB.Get());
    EXPECT_EQ(spB->GetParent(), nullptr);
    EXPECT_EQ(spNode->GetArrayCount(), 3u);
    EXPECT_EQ(spNode->GetChildCount(), 2u);
    spNode->AttachChild(spD);
    EXPECT_EQ(spNode->GetAt(3), spD.Get());
    spNode->AttachChild(spE, true);
    EXPECT_EQ(spNode->GetAt(1), spE.Get());

    // The last entry lowers the used size by exactly one, even after a hole.
    (void)spNode->DetachChildAt(1);
    EXPECT_EQ(spNode->DetachChild(spD).Get(), spD.Get());
    EXPECT_EQ(spNode->GetArrayCount(), 3u);
    EXPECT_EQ(spNode->DetachChild(spD), nullptr) << "not held any more";
    EXPECT_EQ(spNode->DetachChildAt(7), nullptr);
    EXPECT_EQ(spNode->DetachChildAt(1), nullptr) << "a hole";

    NiNodePtr spEmpty = new NiNode;
    EXPECT_EQ(spEmpty->SetAt(5, spB), nullptr);
    EXPECT_EQ(spEmpty->GetArrayCount(), 6u);
    EXPECT_EQ(spEmpty->GetChildCount(), 1u);
    EXPECT_EQ(spEmpty->SetAt(5, spD).Get(), spB.Get());
    EXPECT_EQ(spB->GetParent(), nullptr);
    EXPECT_EQ(spD->GetParent(), spEmpty.Get());

    // A child held by another node moves, even when that node held the only
    // reference.
    TestAVObject* pkOnlyHeld = new TestAVObject;
    spNode->AttachChild(pkOnlyHeld);
    spEmpty->AttachChild(pkOnlyHeld);
    EXPECT_EQ(pkOnlyHeld->GetParent(), spEmpty.Get());
    EXPECT_EQ(spEmpty->GetAt(6), pkOnlyHeld);
    for (std::uint32_t i = 0; i < spNode->GetArrayCount(); ++i)
        EXPECT_NE(spNode->GetAt(i), pkOnlyHeld);

    // Destroying a node leaves no child pointing at it.
    spNode = nullptr;
    EXPECT_EQ(spA->GetParent(), nullptr);
}

TEST_F(NiNodeTest, WorldBoundIgnoresEmptySubtreesAndCullsNothingThen)
{
    NiNodePtr spRoot = new NiNode;
    NiRefPtr<BoundLeaf> spEmpty = new BoundLeaf;
    spEmpty->m_fRadius = 0.0f;
    spRoot->AttachChild(spEmpty);
    spRoot->Update(0.0f);
    EXPECT_EQ(spRoot->GetWorldBound().m_fRadius, 0.0f);
    std::uint32_t uiNoPlanes = 0;
    spRoot->Cull(nullptr, nullptr, uiNoPlanes);
    EXPECT_EQ(spEmpty->m_uiVisible, 0u);

    NiRefPtr<BoundLeaf> spLeaf = new BoundLeaf;
    spLeaf->SetTranslate(NiVec3(10, 0, 0));
    spLeaf->m_fRadius = 2.0f;
    spRoot->AttachChild(spLeaf);
    spRoot->SetTranslate(NiVec3(0, 5, 0));
    spRoot->Update(0.0f);
    // The empty child at the root's position does not pull the bound there.
    EXPECT_EQ(spRoot->GetWorldBound().m_fRadius, 2.0f);
    ExpectNear(spRoot->GetWorldBound().m_kCenter, NiVec3(10, 5, 0));
    spRoot->Cull(nullptr, nullptr, uiNoPlanes);
    EXPECT_EQ(spLeaf->m_uiVisible, 1u);
}

TEST_F(NiNodeTest, SelectiveFlagsFollowControllersBelow)
{
    // root -> mid -> leaf with a transform controller; root -> still.
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spMid = new NiNode;
    auto spLeaf = Leaf("leaf");
    auto spStill = Leaf("still");
    NiRefPtr<TestController> spMove = new TestController;
    spMove->m_bTransform = true;
    spLeaf->PrependController(spMove);
    spRoot->AttachChild(spMid);
    spRoot->AttachChild(spStill);
    spMid->AttachChild(spLeaf);

    bool bSelective = false, bRigid = true;
    spRoot->ComputeSelectiveUpdateFlags(bSelective, false, bRigid);
    EXPECT_TRUE(bSelective);
    EXPECT_FALSE(bRigid);
    std::uint16_t uMid = spMid->GetFlags();
    EXPECT_TRUE(uMid & NiAVObject::SELECTIVE_UPDATE);
    EXPECT_FALSE(uMid & NiAVObject::SELECTIVE_XFORMS) << "nothing above moves it";
    EXPECT_FALSE(uMid & NiAVObject::SELECTIVE_RIGID) << "a moving child below";
    EXPECT_FALSE(spStill->GetFlags() & NiAVObject::SELECTIVE_UPDATE);

    // A node with its own transform controller: its children get the
    // transform bit, and its caller learns it is not rigid.
    NiRefPtr<TestController> spOwn = new TestController;
    spOwn->m_bTransform = true;
    spMid->PrependController(spOwn);
    spRoot->ComputeSelectiveUpdateFlags(bSelective, false, bRigid);
    EXPECT_TRUE(spMid->GetFlags() & NiAVObject::SELECTIVE_XFORMS);
    EXPECT_TRUE(spLeaf->GetFlags() & NiAVObject::SELECTIVE_XFORMS);
    EXPECT_FALSE(bRigid);

    // The selected pass runs only what the flags select.
    spRoot->UpdateSelectedDownwardPass(2.0f);
    EXPECT_EQ(spMove->m_kTimes, std::vector<float>{2.0f});
    EXPECT_EQ(spOwn->m_kTimes, std::vector<float>{2.0f});
}

TEST_F(NiNodeTest, ApplyTransformFoldsThroughTheLocalTransform)
{
    // Records what a child receives.
    struct Probe : NiNode
    {
        NiMatrix3x3 m_kRotate;
        NiVec3 m_kTranslate;
        bool m_bFlag = false;
        void ApplyTransform(const NiMatrix3x3& kR, const NiVec3& kT, bool bOnLeft) override
        {
            m_kRotate = kR;
            m_kTranslate = kT;
            m_bFlag = bOnLeft;
        }
    };
    NiNodePtr spNode = new NiNode;
    spNode->SetRotate(QuarterTurnZ()); // x -> y
    spNode->SetTranslate(NiVec3(1, 2, 3));
    spNode->SetScale(2.0f);
    NiRefPtr<Probe> spProbe = new Probe;
    spNode->AttachChild(spProbe);

    NiMatrix3x3 kM(1, 0, 0, 0, 0, -1, 0, 1, 0); // y -> z
    spNode->ApplyTransform(kM, NiVec3(4, 5, 6), true);
    // M T + t - T = (4, 0, 5); transpose(R) of it = (0, -4, 5); / s.
    EXPECT_TRUE(spProbe->m_bFlag);
    ExpectNear(spProbe->m_kTranslate, NiVec3(0, -2, 2.5f));
    // transpose(R) M R by hand.
    ExpectNear(spProbe->m_kRotate.GetRow(0), NiVec3(0, 0, -1));
    ExpectNear(spProbe->m_kRotate.GetRow(1), NiVec3(0, 1, 0));
    ExpectNear(spProbe->m_kRotate.GetRow(2), NiVec3(1, 0, 0));

    // Without the flag the children get the transform as given.
    spNode->ApplyTransform(kM, NiVec3(4, 5, 6), false);
    ExpectNear(spProbe->m_kTranslate, NiVec3(4, 5, 6));
    EXPECT_TRUE(spProbe->m_bFlag);
    EXPECT_EQ(spNode->GetTranslate(), NiVec3(1, 2, 3)) << "the node keeps its own transform";
}

TEST_F(NiNodeTest, NameSearchIsDepthFirstPreOrder)
{
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spFirst = new NiNode;
    auto spDeep = Leaf("target");
    auto spLater = Leaf("target");
    spFirst->AttachChild(spDeep);
    spRoot->AttachChild(spFirst);
    spRoot->AttachChild(spLater);
    EXPECT_EQ(spRoot->GetObjectByName("target"), spDeep.Get());
    EXPECT_EQ(spRoot->GetObjectByName("missing"), nullptr);
}

TEST_F(NiNodeTest, PropertyAndEffectStatePushDown)
{
    NiRefPtr<NiMaterialProperty> spDefault = new NiMaterialProperty;
    NiPropertySet::SetDefault(NiProperty::MATERIAL, spDefault);
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spChild = new NiNode;
    spRoot->AttachChild(spChild);
    NiRefPtr<NiMaterialProperty> spOwn = new NiMaterialProperty;
    spChild->AttachProperty(spOwn);
    EXPECT_EQ(spRoot->GetPropertyState()->GetProperty(NiProperty::MATERIAL), spDefault.Get());
    EXPECT_EQ(spChild->GetPropertyState()->GetProperty(NiProperty::MATERIAL), spOwn.Get());

    EXPECT_EQ(spRoot->GetEffectState(), nullptr);
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    spRoot->AttachEffect(spLight);
    NiEffectSetPtr spState = spChild->GetEffectState();
    ASSERT_NE(spState, nullptr);
    EXPECT_EQ(spState->GetLights().GetHead(), spLight.Get());
    NiPropertySet::ResetDefaults();
}

TEST_F(NiNodeTest, UpdatesBelowTheRootCarryBoundsUpAndStateDown)
{
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spMid = new NiNode;
    NiRefPtr<BoundLeaf> spLeaf = new BoundLeaf;
    spRoot->AttachChild(spMid);
    spMid->AttachChild(spLeaf);
    spRoot->Update(0.0f);
    EXPECT_EQ(spRoot->GetWorldBound().m_fRadius, 1.0f);

    // An update started at the leaf reaches the root's bound.
    spLeaf->m_fRadius = 5.0f;
    spLeaf->Update(0.0f);
    EXPECT_EQ(spMid->GetWorldBound().m_fRadius, 5.0f);
    EXPECT_EQ(spRoot->GetWorldBound().m_fRadius, 5.0f);

    // Property and effect passes started below the root see what is in
    // force above.
    struct Probe : TestAVObject
    {
        NiPropertySetPtr m_spProperties;
        NiEffectSetPtr m_spEffects;
        void UpdatePropertiesDownward(NiPropertySet* pk) override { m_spProperties = pk; }
        void UpdateEffectsDownward(NiEffectSet* pk) override { m_spEffects = pk; }
    };
    NiRefPtr<Probe> spProbe = new Probe;
    spMid->AttachChild(spProbe);
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    spRoot->AttachProperty(spMaterial);
    NiRefPtr<NiAmbientLight> spLight = new NiAmbientLight;
    spRoot->AttachEffect(spLight);
    spProbe->UpdateProperties();
    spProbe->UpdateEffects();
    ASSERT_NE(spProbe->m_spProperties, nullptr);
    EXPECT_EQ(spProbe->m_spProperties->GetProperty(NiProperty::MATERIAL), spMaterial.Get());
    ASSERT_NE(spProbe->m_spEffects, nullptr);
    EXPECT_EQ(spProbe->m_spEffects->GetLights().GetHead(), spLight.Get());
    NiRefPtr<Probe> spLone = new Probe;
    spLone->UpdateEffects();
    EXPECT_EQ(spLone->m_spEffects, nullptr);
}

TEST_F(NiNodeTest, AttachmentDetachesAndHangsTheObjectBack)
{
    NiNodePtr spNode = new NiNode;
    auto spA = Leaf("a"), spB = Leaf("b");
    spNode->AttachChild(spA);
    spNode->AttachChild(spB);
    NiNodeAttachment kAttachment;
    kAttachment.Set(spA);
    kAttachment.Detach();
    EXPECT_EQ(spA->GetParent(), nullptr);
    EXPECT_EQ(spNode->GetAt(0), nullptr);
    kAttachment.Detach(); // no parent: nothing
    kAttachment.Reattach();
    EXPECT_EQ(spA->GetParent(), spNode.Get());
    EXPECT_EQ(spNode->GetAt(2), spA.Get()) << "appended, not back in its hole";
}

TEST_F(NiNodeTest, RendererPurgeReachesEffectsBelow)
{
    RecordingRenderer kRenderer;
    kRenderer.IncRefCount(); // lives on the stack
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spChild = new NiNode;
    spRoot->AttachChild(spChild);
    NiRefPtr<NiDirectionalLight> spLight = new NiDirectionalLight;
    spChild->AttachEffect(spLight);
    spRoot->PurgeRendererData(&kRenderer);
    EXPECT_EQ(kRenderer.m_kPurgedEffects, std::vector<const void*>{spLight.Get()});
}

TEST_F(NiNodeTest, CloneKeepsHolesAndEffectOrder)
{
    NiNodePtr spNode = new NiNode;
    (void)spNode->SetAt(2, Leaf("two"));
    NiRefPtr<NiPointLight> spA = new NiPointLight;
    NiRefPtr<NiPointLight> spB = new NiPointLight;
    spNode->AttachEffect(spA);
    spNode->AttachEffect(spB); // head: B, A
    spNode->AttachChild(spA);  // A is cloned with the node, B is not

    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT; // equality compares names
    NiNodePtr spClone = static_cast<NiNode*>(spNode->Clone());
    EXPECT_EQ(spClone->GetArrayCount(), 4u);
    EXPECT_EQ(spClone->GetAt(0), nullptr);
    ASSERT_NE(spClone->GetAt(2), nullptr);
    EXPECT_NE(spClone->GetAt(2), spNode->GetAt(2));
    const auto& kEffects = spClone->GetEffectList();
    ASSERT_EQ(kEffects.GetSize(), 2u);
    EXPECT_EQ(kEffects.GetHead(), spB.Get()) << "not cloned: shared";
    EXPECT_EQ(kEffects.GetTail(), spClone->GetAt(3)) << "cloned with the node: the clone";
    EXPECT_TRUE(spNode->IsEqual(spClone));
}

// ---- Records ----

TEST_F(NiNodeTest, RecordKeepsHolesAndCurrentFilesReverseEffects)
{
    NiNodePtr spNode = new NiNode;
    spNode->AttachChild(Leaf("zero"));
    (void)spNode->SetAt(2, Leaf("two"));
    NiRefPtr<NiAmbientLight> spA = new NiAmbientLight;
    NiRefPtr<NiAmbientLight> spB = new NiAmbientLight;
    spA->SetName("A");
    spB->SetName("B");
    spNode->AttachEffect(spB);
    spNode->AttachEffect(spA); // list: A, B
    spNode->AttachChild(spA);
    spNode->AttachChild(spB);

    ASSERT_TRUE(RoundTrip({spNode}));
    auto* pkLoaded = NiDynamicCast<NiNode>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_EQ(pkLoaded->GetArrayCount(), 5u);
    EXPECT_EQ(pkLoaded->GetAt(1), nullptr);
    EXPECT_STREQ(pkLoaded->GetAt(2)->GetName(), "two");
    EXPECT_EQ(pkLoaded->GetAt(2)->GetParent(), pkLoaded);
    // Each effect goes to the head as it is linked: A, B comes back B, A.
    ASSERT_EQ(pkLoaded->GetEffectList().GetSize(), 2u);
    EXPECT_STREQ(pkLoaded->GetEffectList().GetHead()->GetName(), "B");
    EXPECT_EQ(pkLoaded->GetEffectList().GetHead()->GetAffectedNodeList().GetHead(), pkLoaded);
}

TEST_F(NiNodeTest, OldFilesAppendEffectsAndCollisionSwitchIsANode)
{
    const std::uint32_t uiVersion = V(4, 1, 0, 7);
    auto kLight = [&](const char* pcName) {
        return NETBody(uiVersion, pcName, {}, NONE)
            .Append(AVBody(uiVersion, 0, {}))
            .F32(1)
            .F32(1).F32(1).F32(1).F32(1).F32(1).F32(1).F32(1).F32(1).F32(1);
    };
    ASSERT_TRUE(LoadFile(uiVersion,
                         {{"NiCollisionSwitch", NodeRecord(uiVersion, "root", {1, 2}, {1, 2})},
                          {"NiAmbientLight", kLight("A")},
                          {"NiAmbientLight", kLight("B")}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pkRoot = NiDynamicCast<NiNode>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_EQ(pkRoot->GetTypeInfo(), NiNode::TypeInfo());
    EXPECT_STREQ(pkRoot->GetEffectList().GetHead()->GetName(), "A");
    EXPECT_STREQ(pkRoot->GetEffectList().GetTail()->GetName(), "B");
    // Old files: the update-flag fix walks the node's children too.
    ASSERT_NE(pkRoot->GetAt(1), nullptr);
    EXPECT_TRUE(pkRoot->GetAt(1)->GetFlags() & NiAVObject::SELECTIVE_UPDATE);
    EXPECT_FALSE(pkRoot->GetAt(1)->GetFlags() & NiAVObject::SELECTIVE_RIGID);
}

TEST_F(NiNodeTest, ADeepChainFromAFileIsReleasedWithoutRecursion)
{
    // Far deeper than the stack would allow one destructor frame per level.
    const std::uint32_t uiDepth = 100000;
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    std::vector<Record> kRecords;
    kRecords.reserve(uiDepth);
    for (std::uint32_t i = 0; i < uiDepth; ++i)
        kRecords.push_back({"NiNode", NodeRecord(uiVersion, "", i + 1 < uiDepth ? std::vector<std::uint32_t>{i + 1}
                                                                               : std::vector<std::uint32_t>{})});
    ASSERT_TRUE(LoadFile(uiVersion, kRecords, {0})) << m_kStream.GetLastErrorMessage();
    auto* pkRoot = static_cast<NiNode*>(m_kLoaded.at(0).Get());
    EXPECT_EQ(pkRoot->GetChildCount(), 1u);
    m_kLoaded.clear();
}

TEST_F(NiNodeTest, HostileLinksFailWithCorrupt)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    Record kProperty{"TestProperty", NETBody(uiVersion, "p", {}, NONE).U16(0)};
    struct Case
    {
        const char* m_pcWhat;
        std::vector<Record> m_kRecords;
    };
    const Case aCases[] = {
        {"child link to a property", {{"NiNode", NodeRecord(uiVersion, "n", {1})}, kProperty}},
        {"effect link to a node", {{"NiNode", NodeRecord(uiVersion, "n", {}, {1})}, {"NiNode", NodeRecord(uiVersion, "m", {})}}},
        {"node linking its parent",
         {{"NiNode", NodeRecord(uiVersion, "a", {1})}, {"NiNode", NodeRecord(uiVersion, "b", {0})}}},
        {"node linking itself", {{"NiNode", NodeRecord(uiVersion, "a", {0})}}},
        {"child held by two nodes",
         {{"NiNode", NodeRecord(uiVersion, "a", {2})}, {"NiNode", NodeRecord(uiVersion, "b", {2})},
          {"NiNode", NodeRecord(uiVersion, "c", {})}}},
        {"child link past the end", {{"NiNode", NodeRecord(uiVersion, "a", {7})}}},
    };
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_pcWhat);
        EXPECT_FALSE(LoadFile(uiVersion, kCase.m_kRecords, {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
        EXPECT_TRUE(m_kLoaded.empty());
    }
    // A child count the file cannot hold.
    Bytes kHuge = NETBody(uiVersion, "n", {}, NONE).Append(AVBody(uiVersion, 0, {})).U32(0xFFFFFFFF);
    EXPECT_FALSE(LoadFile(uiVersion, {{"NiNode", kHuge}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace

// ---- World data on demand ----

namespace
{
// A person-like subtree: "person" > "body" (turned, moved) > "arm" > a
// square shape, and a second shape under the body. The same build twice
// gives a tree worked out on demand and its twin updated in full.
struct Person
{
    NiNodePtr m_spRoot;
    NiNodePtr m_spBody;
    NiNodePtr m_spArm;
    NiRefPtr<NiTriShape> m_spHand;
    NiRefPtr<NiTriShape> m_spChest;
};

Person MakePerson(NiNode& kWorld, const NiVec3& kAt)
{
    Person k;
    k.m_spRoot = new NiNode;
    k.m_spRoot->SetTranslate(kAt);
    k.m_spBody = new NiNode;
    k.m_spBody->SetRotate(QuarterTurnZ());
    k.m_spBody->SetTranslate(NiVec3(0.5f, 0.25f, 1.0f));
    k.m_spBody->SetScale(2.0f);
    k.m_spArm = new NiNode;
    k.m_spArm->SetTranslate(NiVec3(1.0f, 0.0f, 0.0f));
    k.m_spHand = new NiTriShape(SquareData());
    k.m_spChest = new NiTriShape(SquareData());
    k.m_spChest->SetTranslate(NiVec3(0.0f, 0.0f, 3.0f));
    k.m_spRoot->AttachChild(k.m_spBody);
    k.m_spBody->AttachChild(k.m_spArm);
    k.m_spBody->AttachChild(k.m_spChest);
    k.m_spArm->AttachChild(k.m_spHand);
    kWorld.AttachChild(k.m_spRoot);
    return k;
}

class NiNodeOnDemandTest : public SceneGraphTest
{
protected:
    void SetUp() override
    {
        SceneGraphTest::SetUp();
        m_spWorld = new NiNode;
        m_spWorld->SetTranslate(NiVec3(10.0f, 0.0f, 0.0f));
        m_spTwinWorld = new NiNode;
        m_spTwinWorld->SetTranslate(NiVec3(10.0f, 0.0f, 0.0f));
        m_kPerson = MakePerson(*m_spWorld, NiVec3(3.0f, 4.0f, 0.0f));
        m_kTwin = MakePerson(*m_spTwinWorld, NiVec3(3.0f, 4.0f, 0.0f));
        m_kPerson.m_spRoot->SetWorldOnDemand(true);
    }

    void TearDown() override
    {
        m_kPerson = Person();
        m_kTwin = Person();
        m_spWorld = nullptr;
        m_spTwinWorld = nullptr;
        SceneGraphTest::TearDown();
    }

    // Both worlds' full pass.
    void UpdateBoth(float fTime = 0.0f)
    {
        m_spWorld->Update(fTime);
        m_spTwinWorld->Update(fTime);
    }

    NiNodePtr m_spWorld;
    NiNodePtr m_spTwinWorld;
    Person m_kPerson;
    Person m_kTwin;
};
} // namespace

TEST_F(NiNodeOnDemandTest, APassLeavesThePersonStaleAndAReadGivesTheFullPassesValues)
{
    UpdateBoth();
    EXPECT_FALSE(m_spWorld->IsWorldTransformStale());
    for (NiAVObject* pk : {static_cast<NiAVObject*>(m_kPerson.m_spRoot), static_cast<NiAVObject*>(m_kPerson.m_spArm),
                           static_cast<NiAVObject*>(m_kPerson.m_spHand)})
    {
        EXPECT_TRUE(pk->IsWorldTransformStale());
        EXPECT_TRUE(pk->IsWorldBoundStale());
    }
    // The world's bound waits for the person's.
    EXPECT_TRUE(m_spWorld->IsWorldBoundStale());

    // One read of the hand brings it and its parents up to date, bit for
    // bit as the full pass left its twin; the chest, a sibling's child,
    // still waits.
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform(), m_kTwin.m_spHand->GetWorldTransform());
    EXPECT_FALSE(m_kPerson.m_spHand->IsWorldTransformStale());
    EXPECT_FALSE(m_kPerson.m_spArm->IsWorldTransformStale());
    EXPECT_FALSE(m_kPerson.m_spRoot->IsWorldTransformStale());
    EXPECT_TRUE(m_kPerson.m_spChest->IsWorldTransformStale());
    EXPECT_TRUE(m_kPerson.m_spHand->IsWorldBoundStale()) << "a transform read leaves the bound";

    // The world's bound brings every bound below it up to date.
    EXPECT_EQ(m_spWorld->GetWorldBound(), m_spTwinWorld->GetWorldBound());
    EXPECT_GT(m_spWorld->GetWorldBound().m_fRadius, 0.0f);
    EXPECT_FALSE(m_kPerson.m_spChest->IsWorldBoundStale());
    EXPECT_EQ(m_kPerson.m_spChest->GetWorldTransform(), m_kTwin.m_spChest->GetWorldTransform());
    EXPECT_EQ(m_kPerson.m_spBody->GetWorldBound(), m_kTwin.m_spBody->GetWorldBound());
}

TEST_F(NiNodeOnDemandTest, ChangesAfterThePassKeepWhatThePassGaveUntilTheNext)
{
    UpdateBoth();
    // The person walks on and the arm is moved, between passes: readers
    // still see the last pass's world data, as with the full pass.
    for (Person* pk : {&m_kPerson, &m_kTwin})
    {
        pk->m_spRoot->SetTranslate(NiVec3(7.0f, -2.0f, 1.0f));
        pk->m_spArm->SetRotate(QuarterTurnZ());
        pk->m_spChest->SetScale(3.0f);
    }
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform(), m_kTwin.m_spHand->GetWorldTransform());
    EXPECT_EQ(m_kPerson.m_spChest->GetWorldBound(), m_kTwin.m_spChest->GetWorldBound());
    EXPECT_EQ(m_spWorld->GetWorldBound(), m_spTwinWorld->GetWorldBound());
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform().m_kTranslate,
              m_kTwin.m_spHand->GetWorldTransform().m_kTranslate);

    // The next pass takes the new places.
    UpdateBoth();
    const NiXform kHand = m_kPerson.m_spHand->GetWorldTransform();
    EXPECT_EQ(kHand, m_kTwin.m_spHand->GetWorldTransform());
    EXPECT_NE(kHand.m_kTranslate, NiVec3::ZERO);
    EXPECT_EQ(m_spWorld->GetWorldBound(), m_spTwinWorld->GetWorldBound());
}

TEST_F(NiNodeOnDemandTest, ControllersRunWithEveryPassInTheFullPassesOrder)
{
    std::vector<std::string> kOrder;
    struct OrderController : TestController
    {
        std::vector<std::string>* m_pkOrder = nullptr;
        std::string m_kName;
        void Update(float fTime) override
        {
            TestController::Update(fTime);
            m_pkOrder->push_back(m_kName);
        }
    };
    auto Add = [&kOrder](NiAVObject& kObject, const char* pcName) {
        NiRefPtr<OrderController> sp = new OrderController;
        sp->m_pkOrder = &kOrder;
        sp->m_kName = pcName;
        sp->SetTarget(&kObject);
        return sp;
    };
    auto spBody = Add(*m_kPerson.m_spBody, "body");
    auto spHand = Add(*m_kPerson.m_spHand, "hand");
    auto spChest = Add(*m_kPerson.m_spChest, "chest");
    m_spWorld->Update(1.5f);
    m_spWorld->Update(2.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body", "hand", "chest", "body", "hand", "chest"}));
    EXPECT_EQ(spHand->m_kTimes, (std::vector<float>{1.5f, 2.0f}));
    // A pass without controllers runs none.
    m_spWorld->Update(3.0f, false);
    EXPECT_EQ(kOrder.size(), 6u);

    // A shape added later is in the next pass's order; one that left is not.
    NiRefPtr<NiTriShape> spFoot = new NiTriShape(SquareData());
    auto spFootController = Add(*spFoot, "foot");
    m_kPerson.m_spArm->AttachChild(spFoot);
    (void)m_kPerson.m_spBody->DetachChild(m_kPerson.m_spChest);
    kOrder.clear();
    m_spWorld->Update(4.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body", "hand", "foot"}));
    EXPECT_TRUE(spFoot->IsWorldTransformStale());
}

TEST_F(NiNodeOnDemandTest, ControllersThatComeOrGoBetweenOrDuringPassesRunAsTheFullPassRunsThem)
{
    std::vector<std::string> kOrder;
    struct OrderController : TestController
    {
        std::vector<std::string>* m_pkOrder = nullptr;
        std::string m_kName;
        std::function<void()> m_kThen;
        void Update(float fTime) override
        {
            TestController::Update(fTime);
            m_pkOrder->push_back(m_kName);
            if (m_kThen)
                m_kThen();
        }
    };
    auto Make = [&kOrder](const char* pcName) {
        NiRefPtr<OrderController> sp = new OrderController;
        sp->m_pkOrder = &kOrder;
        sp->m_kName = pcName;
        return sp;
    };
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    m_kPerson.m_spChest->AttachProperty(spMaterial);
    auto spBody = Make("body");
    spBody->SetTarget(m_kPerson.m_spBody);
    m_spWorld->Update(1.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body"}));

    // Objects already in the pass's order gain controllers: on themselves
    // and on a property.
    auto spArm = Make("arm");
    spArm->SetTarget(m_kPerson.m_spArm);
    auto spMaterialController = Make("material");
    spMaterialController->SetTarget(spMaterial);
    kOrder.clear();
    m_spWorld->Update(2.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body", "arm", "material"}));

    // A controller that gives a later object one in the middle of a pass
    // has it run in that pass; one that takes an object's away has it not.
    auto spHand = Make("hand");
    spBody->m_kThen = [&] {
        spHand->SetTarget(m_kPerson.m_spHand);
        spArm->SetTarget(nullptr);
        spBody->m_kThen = nullptr;
    };
    kOrder.clear();
    m_spWorld->Update(3.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body", "hand", "material"}));

    // Gone from the property and the hand: only the body's is left.
    spMaterialController->SetTarget(nullptr);
    spHand->SetTarget(nullptr);
    kOrder.clear();
    m_spWorld->Update(4.0f);
    EXPECT_EQ(kOrder, (std::vector<std::string>{"body"}));
    EXPECT_TRUE(m_kPerson.m_spHand->IsWorldTransformStale());
}

TEST_F(NiNodeOnDemandTest, LeavingAndJoiningKeepTheLastPassesData)
{
    UpdateBoth();
    const NiXform kHand = m_kTwin.m_spHand->GetWorldTransform();
    const NiBoundSphere kWorldBound = m_spTwinWorld->GetWorldBound();
    // The person leaves the world: its data is what the pass gave, under
    // the parent it had; the world's bound still holds it until its next
    // pass.
    NiAVObjectPtr spGone = m_spWorld->DetachChild(m_kPerson.m_spRoot);
    ASSERT_EQ(spGone.Get(), m_kPerson.m_spRoot.Get());
    EXPECT_FALSE(m_kPerson.m_spHand->IsWorldTransformStale());
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform(), kHand);
    EXPECT_EQ(m_spWorld->GetWorldBound(), kWorldBound);

    // Back under another node: still the old data until a pass reaches it.
    NiNodePtr spOther = new NiNode;
    spOther->SetTranslate(NiVec3(0.0f, 0.0f, 50.0f));
    spOther->Update(0.0f);
    spOther->AttachChild(m_kPerson.m_spRoot);
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform(), kHand);
    spOther->Update(0.0f);
    const NiVec3 kMoved = m_kPerson.m_spHand->GetWorldTransform().m_kTranslate;
    EXPECT_NEAR(kMoved.x, kHand.m_kTranslate.x - 10.0f, 1e-4f);
    EXPECT_NEAR(kMoved.y, kHand.m_kTranslate.y, 1e-4f);
    EXPECT_NEAR(kMoved.z, kHand.m_kTranslate.z + 50.0f, 1e-4f);
}

TEST_F(NiNodeOnDemandTest, UpdatesBelowTheRootAndCullingBringTheDataUpToDate)
{
    UpdateBoth();
    // An update started inside the person works from its parents' data as
    // the last pass gave it.
    m_kPerson.m_spArm->Update(0.0f);
    m_kTwin.m_spArm->Update(0.0f);
    EXPECT_FALSE(m_kPerson.m_spHand->IsWorldTransformStale());
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldTransform(), m_kTwin.m_spHand->GetWorldTransform());
    EXPECT_EQ(m_spWorld->GetWorldBound(), m_spTwinWorld->GetWorldBound());

    // Culling reads every bound it tests.
    UpdateBoth();
    CullFrom(m_spWorld, nullptr);
    EXPECT_FALSE(m_spWorld->IsWorldBoundStale());
    EXPECT_FALSE(m_kPerson.m_spHand->IsWorldBoundStale());
    EXPECT_EQ(m_kPerson.m_spHand->GetWorldBound(), m_kTwin.m_spHand->GetWorldBound());

    // Switched off, the person takes the full pass again.
    m_kPerson.m_spRoot->SetWorldOnDemand(false);
    m_spWorld->Update(0.0f);
    EXPECT_FALSE(m_kPerson.m_spHand->IsWorldTransformStale());
    EXPECT_FALSE(m_spWorld->IsWorldBoundStale());
}

TEST_F(NiNodeOnDemandTest, ADeepStaleChainIsBroughtUpToDateWithoutRecursion)
{
    // Far deeper than the stack would allow one frame per level, in the
    // order's collection or in the read.
    const std::uint32_t uiDepth = 100000;
    // Built from the leaf up, so each attach is to a node without parents
    // (the person above keeps on-demand nodes alive, and each attach tells
    // every one above).
    NiNodePtr spLeaf = new NiNode;
    spLeaf->SetTranslate(NiVec3(1.0f, 0.0f, 0.0f));
    NiNode* pkLeaf = spLeaf;
    NiNodePtr spTop = spLeaf;
    for (std::uint32_t i = 1; i < uiDepth; ++i)
    {
        NiNodePtr spNext = new NiNode;
        spNext->SetTranslate(NiVec3(1.0f, 0.0f, 0.0f));
        spNext->AttachChild(spTop);
        spTop = spNext;
    }
    spTop->SetTranslate(NiVec3(0.0f, 0.0f, 0.0f));
    spLeaf = nullptr;
    spTop->SetWorldOnDemand(true);
    m_spWorld->AttachChild(spTop);
    m_spWorld->Update(0.0f);
    ASSERT_TRUE(pkLeaf->IsWorldTransformStale());
    // Every node but the top one moves by one; whole numbers of this size
    // add up exactly in floats.
    EXPECT_EQ(pkLeaf->GetWorldTransform().m_kTranslate, NiVec3(10.0f + (uiDepth - 1), 0.0f, 0.0f));
    EXPECT_FALSE(spTop->IsWorldTransformStale());
    EXPECT_FALSE(static_cast<NiAVObject*>(pkLeaf)->GetParent()->IsWorldTransformStale());

    // A second pass marks it all again, and a move of the top reaches the
    // leaf through the chain.
    spTop->SetTranslate(NiVec3(0.0f, 2.0f, 0.0f));
    m_spWorld->Update(0.0f);
    EXPECT_EQ(pkLeaf->GetWorldTransform().m_kTranslate, NiVec3(10.0f + (uiDepth - 1), 2.0f, 0.0f));
    // The world's bound waits for every bound of the chain, and one read
    // brings them all up to date.
    ASSERT_TRUE(m_spWorld->IsWorldBoundStale());
    (void)m_spWorld->GetWorldBound();
    EXPECT_FALSE(pkLeaf->IsWorldBoundStale());
    EXPECT_FALSE(spTop->IsWorldBoundStale());
    m_spWorld->DetachChild(spTop);
}

TEST_F(NiNodeOnDemandTest, OtherRootsComingAndGoingLeaveAPersonsNewChildrenInItsPass)
{
    UpdateBoth();
    // Other on-demand roots switched off (twice), and one let go while on:
    // the person's root is still on demand, and a child joining it after a
    // pass must still reach its order.
    {
        NiNodePtr spGone = new NiNode;
        spGone->SetWorldOnDemand(true);
        spGone->SetWorldOnDemand(true);
        NiNodePtr spOff = new NiNode;
        spOff->SetWorldOnDemand(true);
        spOff->SetWorldOnDemand(false);
        spOff->SetWorldOnDemand(false);
    }
    for (Person* pk : {&m_kPerson, &m_kTwin})
    {
        NiNodePtr spFinger = new NiNode;
        spFinger->SetName("finger");
        spFinger->SetTranslate(NiVec3(0.0f, 0.5f, 0.0f));
        pk->m_spArm->AttachChild(spFinger);
    }
    UpdateBoth();
    NiAVObject* pkFinger = m_kPerson.m_spRoot->GetObjectByName("finger");
    ASSERT_NE(pkFinger, nullptr);
    EXPECT_TRUE(pkFinger->IsWorldTransformStale()) << "the pass left it for a reader";
    EXPECT_EQ(pkFinger->GetWorldTransform(), m_kTwin.m_spRoot->GetObjectByName("finger")->GetWorldTransform());
    EXPECT_EQ(m_spWorld->GetWorldBound(), m_spTwinWorld->GetWorldBound());
}
