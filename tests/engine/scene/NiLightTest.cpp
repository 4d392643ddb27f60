#include "engine/scene/NiLight.h"

#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiTextureEffect.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiLightTest : public SceneGraphTest
{
};

// The dynamic-effect part of a record after the positioned object's.
Bytes EffectPart(std::uint32_t uiVersion, std::uint8_t ucSwitch, const std::vector<std::uint32_t>& kDropped,
                 const std::vector<std::uint32_t>& kUnaffected)
{
    Bytes k;
    if (uiVersion >= V(10, 1, 0, 102))
        k.U8(ucSwitch);
    if (uiVersion < V(4, 1, 0, 0))
    {
        k.U32(static_cast<std::uint32_t>(kDropped.size()));
        for (std::uint32_t ui : kDropped)
            k.U32(ui);
    }
    if (uiVersion >= V(10, 1, 0, 14))
    {
        k.U32(static_cast<std::uint32_t>(kUnaffected.size()));
        for (std::uint32_t ui : kUnaffected)
            k.U32(ui);
    }
    return k;
}

// An ambient light record: dimmer 0.5, ambient red, the rest black.
Bytes AmbientRecord(std::uint32_t uiVersion, std::uint8_t ucSwitch, const std::vector<std::uint32_t>& kDropped,
                    const std::vector<std::uint32_t>& kUnaffected)
{
    return NETBody(uiVersion, "light", {}, NONE)
        .Append(AVBody(uiVersion, 0, {}))
        .Append(EffectPart(uiVersion, ucSwitch, kDropped, kUnaffected))
        .F32(0.5f)
        .F32(1).F32(0).F32(0)
        .F32(0).F32(0).F32(0)
        .F32(0).F32(0).F32(0);
}

TEST_F(NiLightTest, DefaultsDirectionsAndRevisions)
{
    NiRefPtr<NiSpotLight> spSpot = new NiSpotLight;
    EXPECT_EQ(spSpot->GetDimmer(), 1.0f);
    EXPECT_EQ(spSpot->GetDiffuseColor(), NiColorRGB(1, 1, 1));
    EXPECT_EQ(spSpot->GetConstantAttenuation(), 0.0f);
    EXPECT_EQ(spSpot->GetLinearAttenuation(), 1.0f);
    EXPECT_EQ(spSpot->GetQuadraticAttenuation(), 0.0f);
    EXPECT_EQ(spSpot->GetSpotExponent(), 1.0f);
    EXPECT_EQ(spSpot->GetSpotAngle(), 0.0f);
    EXPECT_TRUE(spSpot->GetSwitch());
    EXPECT_EQ(spSpot->GetEffectType(), NiDynamicEffect::SPOT_LIGHT);

    NiRefPtr<NiDirectionalLight> spDir = new NiDirectionalLight;
    EXPECT_NE(spDir->GetIndex(), spSpot->GetIndex());
    spDir->SetRotate(QuarterTurnZ());
    spSpot->SetRotate(QuarterTurnZ());
    std::uint32_t uiDir = spDir->GetRevisionID(), uiSpot = spSpot->GetRevisionID();
    spDir->Update(0.0f);
    spSpot->Update(0.0f);
    ExpectNear(spDir->GetWorldDirection(), NiVec3(0, 1, 0));
    ExpectNear(spSpot->GetWorldDirection(), NiVec3(0, 1, 0));
    EXPECT_EQ(spDir->GetRevisionID(), uiDir + 1);
    EXPECT_EQ(spSpot->GetRevisionID(), uiSpot + 2);

    // A clone gets its own index and keeps the revision.
    NiRefPtr<NiSpotLight> spClone = static_cast<NiSpotLight*>(spSpot->Clone());
    EXPECT_NE(spClone->GetIndex(), spSpot->GetIndex());
    EXPECT_EQ(spClone->GetRevisionID(), spSpot->GetRevisionID());
}

TEST_F(NiLightTest, AttachingTwiceKeepsOneEntryOnEachSide)
{
    NiNodePtr spNode = new NiNode;
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    spLight->AttachAffectedNode(spNode);
    spNode->AttachEffect(spLight);
    EXPECT_EQ(spLight->GetAffectedNodeList().GetSize(), 1u);
    EXPECT_EQ(spNode->GetEffectList().GetSize(), 1u);
    NiNodePtr spStranger = new NiNode;
    spLight->DetachAffectedNode(spStranger); // never attached: nothing
    EXPECT_EQ(spLight->GetAffectedNodeList().GetSize(), 1u);
    spLight = nullptr; // the node forgets a destroyed effect
    EXPECT_EQ(spNode->GetEffectList().GetSize(), 0u);
}

TEST_F(NiLightTest, DestroyingLightsAndMaterialsPurgesTheRenderer)
{
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    NiRenderer::SetRenderer(spRenderer);
    NiPointLight* pkLight = new NiPointLight;
    pkLight->IncRefCount();
    pkLight->DecRefCount();
    EXPECT_EQ(spRenderer->m_kPurgedEffects, std::vector<const void*>{pkLight});
    NiMaterialProperty* pkMaterial = new NiMaterialProperty;
    pkMaterial->IncRefCount();
    pkMaterial->DecRefCount();
    EXPECT_EQ(spRenderer->m_kPurgedMaterials, std::vector<const void*>{pkMaterial});
    NiRenderer::ResetRenderer();
}

TEST_F(NiLightTest, TextureEffectProjectionPerMode)
{
    NiRefPtr<NiTextureEffect> spEffect = new NiTextureEffect;
    NiMatrix3x3 kProj(2, 0, 0, 0, 3, 0, 0, 0, 4);
    spEffect->SetModelProjectionMatrix(kProj);
    spEffect->SetModelProjectionTranslation(NiVec3(1, 1, 1));
    spEffect->SetModelClippingPlane(NiPlane(NiVec3(1, 0, 0), 2.0f));
    spEffect->SetRotate(QuarterTurnZ());
    spEffect->SetTranslate(NiVec3(0, 0, 10));
    spEffect->SetScale(2.0f);

    // World parallel: M = P transpose(R) / s; translation = t - M T.
    std::uint32_t uiRev = spEffect->GetRevisionID();
    spEffect->Update(0.0f);
    EXPECT_EQ(spEffect->GetRevisionID(), uiRev + 1);
    const NiMatrix3x3& kWorld = spEffect->GetWorldProjectionMatrix();
    ExpectNear(kWorld.GetRow(0), NiVec3(0, 1, 0));    // 2 (row 0 of R^T = (0, 1, 0)) / 2
    ExpectNear(kWorld.GetRow(1), NiVec3(-1.5f, 0, 0)); // 3 (-1, 0, 0) / 2
    ExpectNear(kWorld.GetRow(2), NiVec3(0, 0, 2));
    ExpectNear(spEffect->GetWorldProjectionTranslation(), NiVec3(1, 1, -19));
    // Plane: n = R (1, 0, 0) = (0, 1, 0); constant = 2 s + n . T = 4.
    ExpectNear(spEffect->GetWorldClippingPlane().m_kNormal, NiVec3(0, 1, 0));
    EXPECT_NEAR(spEffect->GetWorldClippingPlane().m_fConstant, 4.0f, 1e-5f);

    spEffect->SetTextureCoordGen(NiTextureEffect::SPHERE_MAP);
    spEffect->Update(0.0f);
    ExpectNear(spEffect->GetWorldProjectionTranslation(), NiVec3(0.5f, 0.5f, 0));
    ExpectNear(spEffect->GetWorldProjectionMatrix().GetRow(0), NiVec3(0, 0, 0.5f));  // 0.5 column 2
    ExpectNear(spEffect->GetWorldProjectionMatrix().GetRow(1), NiVec3(0.5f, 0, 0));  // -0.5 column 1
    ExpectNear(spEffect->GetWorldProjectionMatrix().GetRow(2), NiVec3(0, 0, 0));

    spEffect->SetTextureCoordGen(NiTextureEffect::DIFFUSE_CUBE_MAP);
    spEffect->Update(0.0f);
    ExpectNear(spEffect->GetWorldProjectionTranslation(), NiVec3(0, 0, 0));
    ExpectNear(spEffect->GetWorldProjectionMatrix().GetRow(1), NiVec3(-3, 0, 0)); // not divided by the scale
}

// ---- Records ----

TEST_F(NiLightTest, EffectRecordsOfOldVersions)
{
    struct Case
    {
        std::uint32_t m_uiVersion;
        std::uint8_t m_ucSwitch;
        bool m_bExpectOn;
        std::size_t m_uiUnaffected;
    };
    // Before 4.1.0.0 a dropped list; the unaffected links from 10.1.0.14; the
    // switch from 10.1.0.102.
    const Case aCases[] = {
        {V(4, 0, 0, 2), 0, true, 0},
        {V(10, 1, 0, 13), 0, true, 0},
        {V(10, 1, 0, 101), 0, true, 1},
        {V(10, 1, 0, 102), 0, false, 1},
        {V(10, 2, 0, 0), 1, true, 1},
    };
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_uiVersion);
        ASSERT_TRUE(LoadFile(kCase.m_uiVersion,
                             {{"NiNode", NodeRecord(kCase.m_uiVersion, "root", {1})},
                              {"NiAmbientLight", AmbientRecord(kCase.m_uiVersion, kCase.m_ucSwitch, {9, 9, 9}, {0})}},
                             {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pkRoot = static_cast<NiNode*>(m_kLoaded.at(0).Get());
        auto* pkLight = NiDynamicCast<NiAmbientLight>(pkRoot->GetAt(0));
        ASSERT_NE(pkLight, nullptr);
        EXPECT_EQ(pkLight->GetSwitch(), kCase.m_bExpectOn);
        EXPECT_EQ(pkLight->GetDimmer(), 0.5f);
        EXPECT_EQ(pkLight->GetAmbientColor(), NiColorRGB(1, 0, 0));
        EXPECT_EQ(pkLight->GetUnaffectedNodeList().GetSize(), kCase.m_uiUnaffected);
    }
}

TEST_F(NiLightTest, UnaffectedOrderSurvivesASaveAndHostileLinksFail)
{
    NiNodePtr spRoot = new NiNode;
    NiRefPtr<NiSpotLight> spLight = new NiSpotLight;
    spRoot->AttachChild(spLight);
    std::vector<NiNodePtr> kNodes;
    for (const char* pc : {"n1", "n2", "n3"})
    {
        kNodes.emplace_back(new NiNode);
        kNodes.back()->SetName(pc);
        spRoot->AttachChild(kNodes.back());
        spLight->AttachUnaffectedNode(kNodes.back());
    }
    ASSERT_TRUE(RoundTrip({spRoot}));
    auto* pkRoot = static_cast<NiNode*>(m_kLoaded.at(0).Get());
    auto* pkLight = NiDynamicCast<NiSpotLight>(pkRoot->GetAt(0));
    ASSERT_NE(pkLight, nullptr);
    std::vector<std::string> kNames;
    for (NiListPos kPos = pkLight->GetUnaffectedNodeList().GetHeadPos(); kPos != nullptr;)
        kNames.emplace_back(NiTList<NiNode>::GetNext(kPos)->GetName());
    EXPECT_EQ(kNames, (std::vector<std::string>{"n3", "n2", "n1"})) << "the same order as saved";

    // A dropped list of old files longer than the file.
    const std::uint32_t uiOld = V(4, 0, 0, 2);
    Bytes kHuge = NETBody(uiOld, "light", {}, NONE).Append(AVBody(uiOld, 0, {})).U32(0xFFFFFFFF);
    EXPECT_FALSE(LoadFile(uiOld, {{"NiAmbientLight", kHuge}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    // An unaffected link to a property fails the load.
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    EXPECT_FALSE(LoadFile(uiVersion,
                          {{"NiAmbientLight", AmbientRecord(uiVersion, 1, {}, {1})},
                           {"TestProperty", NETBody(uiVersion, "p", {}, NONE).U16(0)}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
TEST_F(NiLightTest, TextureEffectRecordLinksOnlyATexture)
{
    auto kRecord = [](std::uint32_t uiVersion, std::uint32_t uiTexture) {
        Bytes k = NETBody(uiVersion, "effect", {}, NONE).Append(AVBody(uiVersion, 0, {}));
        k.Append(EffectPart(uiVersion, 1, {}, {}));
        for (int i = 0; i < 9; ++i)
            k.F32(i % 4 == 0 ? 2.0f : 0.0f);
        k.F32(1).F32(2).F32(3);
        k.U32(1).U32(0).U32(NiTextureEffect::FOG_MAP).U32(NiTextureEffect::SPHERE_MAP);
        k.U32(uiTexture).U8(1).F32(0).F32(0).F32(1).F32(5).U16(3).U16(4);
        if (uiVersion < V(4, 1, 0, 16))
            k.U16(0);
        return k;
    };
    for (std::uint32_t uiVersion : {V(4, 1, 0, 15), NiObjectStream::CURRENT_VERSION})
    {
        SCOPED_TRACE(uiVersion);
        ASSERT_TRUE(LoadFile(uiVersion, {{"NiTextureEffect", kRecord(uiVersion, 1)}, {"TestTexture", Bytes().U32(8)}},
                             {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pk = NiDynamicCast<NiTextureEffect>(m_kLoaded.at(0).Get());
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetTextureType(), NiTextureEffect::FOG_MAP);
        EXPECT_EQ(pk->GetTextureCoordGen(), NiTextureEffect::SPHERE_MAP);
        EXPECT_TRUE(pk->GetClippingPlaneEnable());
        EXPECT_EQ(pk->GetModelClippingPlane().m_fConstant, 5.0f);
        EXPECT_EQ(pk->GetK(), 4);
        ASSERT_NE(pk->GetEffectTexture(), nullptr);
        EXPECT_EQ(static_cast<TestTexture*>(pk->GetEffectTexture())->m_uiValue, 8u);
    }
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    EXPECT_FALSE(LoadFile(uiVersion,
                          {{"NiTextureEffect", kRecord(uiVersion, 1)}, {"NiNode", NodeRecord(uiVersion, "n", {})}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace
