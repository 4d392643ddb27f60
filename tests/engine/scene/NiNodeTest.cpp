#include "engine/scene/NiNode.h"

#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNodeAttachment.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

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
