// Start-up of the scene graph classes, and every class through a file:
// round trips, cuts at every length and hostile words.

#include "engine/scene/NiSceneGraphLibrary.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiBSPNode.h"
#include "engine/scene/NiBillboardNode.h"
#include "engine/scene/NiDefaultAVObjectPalette.h"
#include "engine/scene/NiFlagProperty.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiLODNode.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiRendererSpecificProperty.h"
#include "engine/scene/NiSortAdjustNode.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

#include <algorithm>
#include <functional>

using namespace scene_test;

namespace
{
class NiSceneGraphLibraryTest : public SceneGraphTest
{
protected:
    void SetUp() override
    {
        SceneGraphTest::SetUp();
        // Names are part of equality.
        NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    }

    // One object of every class with values away from the defaults, in one
    // tree under a root node.
    NiNodePtr BuildEverything()
    {
        NiNodePtr spRoot = new NiNode;
        spRoot->SetName("root");

        NiRefPtr<TestTexture> spTexture = new TestTexture;
        spTexture->m_uiValue = 77;

        NiRefPtr<NiAlphaProperty> spAlpha = new NiAlphaProperty;
        spAlpha->SetAlphaBlending(true);
        spAlpha->SetTestRef(9);
        NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
        spFog->SetFog(true);
        spFog->SetFogColor(NiColorRGB(0.1f, 0.2f, 0.3f));
        NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
        spMaterial->SetEmittance(NiColorRGB(1, 0, 1));
        NiRefPtr<NiStencilProperty> spStencil = new NiStencilProperty;
        spStencil->SetStencilReference(3);
        NiRefPtr<NiVertexColorProperty> spVertex = new NiVertexColorProperty;
        spVertex->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
        NiRefPtr<NiZBufferProperty> spZ = new NiZBufferProperty;
        spZ->SetTestFunction(NiZBufferProperty::TEST_GREATER);
        NiRefPtr<NiDitherProperty> spDither = new NiDitherProperty;
        spDither->SetDithering(true);
        NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
        spTexturing->SetMap(0, new NiTextureMap(spTexture));
        spTexturing->SetShaderMap(0, new NiShaderMap(4));
        for (NiProperty* pk : std::initializer_list<NiProperty*>{spAlpha, spFog, spMaterial, spStencil, spVertex, spZ,
                                                                spDither, spTexturing, new NiShadeProperty,
                                                                new NiSpecularProperty, new NiWireframeProperty,
                                                                new NiRendererSpecificProperty})
            spRoot->AttachProperty(pk);

        NiRefPtr<NiSpotLight> spSpot = new NiSpotLight;
        spSpot->SetName("spot");
        spSpot->SetSpotAngle(0.5f);
        NiRefPtr<NiTextureEffect> spEffect = new NiTextureEffect;
        spEffect->SetName("effect");
        spEffect->SetEffectTexture(spTexture);
        spEffect->SetTextureType(NiTextureEffect::ENVIRONMENT_MAP);
        spEffect->SetK(12);
        spRoot->AttachChild(spSpot);
        spRoot->AttachChild(spEffect);
        spRoot->AttachChild(new NiAmbientLight);
        spRoot->AttachChild(new NiDirectionalLight);
        spRoot->AttachChild(new NiPointLight);
        // One effect per node: a node's effects come back in reverse order.
        spRoot->AttachEffect(spSpot);

        NiRefPtr<NiSwitchNode> spSwitch = new NiSwitchNode;
        spSwitch->SetName("switch");
        spSwitch->AttachChild(new NiNode);
        spSwitch->SetIndex(0);
        spSpot->AttachUnaffectedNode(spSwitch);
        spRoot->AttachChild(spSwitch);

        NiRefPtr<NiLODNode> spRange = new NiLODNode;
        NiRefPtr<NiRangeLODData> spRangeData = new NiRangeLODData;
        spRangeData->SetNumRanges(2);
        spRangeData->SetRange(1, 5, 9);
        spRange->SetLODData(spRangeData);
        NiRefPtr<NiLODNode> spScreen = new NiLODNode;
        NiRefPtr<NiScreenLODData> spScreenData = new NiScreenLODData;
        spScreenData->SetNumProportions(1);
        spScreenData->SetProportion(0, 0.25f);
        spScreen->SetLODData(spScreenData);
        spRoot->AttachChild(spRange);
        spRoot->AttachChild(spScreen);

        NiRefPtr<NiSortAdjustNode> spSort = new NiSortAdjustNode;
        spSort->SetSortingMode(NiSortAdjustNode::SORTING_SUBSORT);
        spSort->SetAccumulator(new TestAccumulator);
        NiRefPtr<NiBSPNode> spBSP = new NiBSPNode;
        spBSP->SetModelPlane(NiPlane(NiVec3(0, 0, 1), 4));
        NiRefPtr<NiBillboardNode> spBillboard = new NiBillboardNode;
        spBillboard->SetMode(NiBillboardNode::RIGID_FACE_CENTER);
        spRoot->AttachChild(spSort);
        spRoot->AttachChild(spBSP);
        spRoot->AttachChild(spBillboard);
        spBSP->AttachEffect(spEffect);
        (void)spRoot->SetAt(20, new NiNode); // holes before it
        return spRoot;
    }

    // The tree and a palette naming parts of it, as one file.
    std::vector<std::uint8_t> SaveEverything()
    {
        NiNodePtr spRoot = BuildEverything();
        NiRefPtr<NiDefaultAVObjectPalette> spPalette = new NiDefaultAVObjectPalette(spRoot);
        spPalette->SetAVObject("spot", spRoot->GetObjectByName("spot"));
        spPalette->SetAVObject("switch", spRoot->GetObjectByName("switch"));
        return Save({spRoot, spPalette});
    }
};

TEST_F(NiSceneGraphLibraryTest, StartUpMakesTheDefaultsAndCreateFunctionsShutDownUndoesThem)
{
    NiMainLibrary::Shutdown();
    NiMainLibrary::Init();

    auto* pkAlpha = NiDynamicCast<NiAlphaProperty>(NiPropertySet::GetDefault(NiProperty::ALPHA));
    auto* pkStencil = NiDynamicCast<NiStencilProperty>(NiPropertySet::GetDefault(NiProperty::STENCIL));
    auto* pkZ = NiDynamicCast<NiZBufferProperty>(NiPropertySet::GetDefault(NiProperty::ZBUFFER));
    auto* pkShade = NiDynamicCast<NiShadeProperty>(NiPropertySet::GetDefault(NiProperty::SHADE));
    auto* pkVertex = NiDynamicCast<NiVertexColorProperty>(NiPropertySet::GetDefault(NiProperty::VERTEX_COLOR));
    auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(NiPropertySet::GetDefault(NiProperty::MATERIAL));
    auto* pkFog = NiDynamicCast<NiFogProperty>(NiPropertySet::GetDefault(NiProperty::FOG));
    auto* pkTexturing = NiDynamicCast<NiTexturingProperty>(NiPropertySet::GetDefault(NiProperty::TEXTURING));
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
    {
        ASSERT_NE(NiPropertySet::GetDefault(i), nullptr) << i;
        EXPECT_EQ(NiPropertySet::GetDefault(i)->GetType(), i);
    }
    ASSERT_TRUE(pkAlpha && pkStencil && pkZ && pkShade && pkVertex && pkMaterial && pkFog && pkTexturing);
    EXPECT_EQ(pkAlpha->GetFlags(), 236);
    EXPECT_EQ(pkStencil->GetStencilFunction(), NiStencilProperty::TEST_GREATER);
    EXPECT_EQ(pkStencil->GetStencilFailAction(), NiStencilProperty::ACTION_KEEP);
    EXPECT_EQ(pkStencil->GetStencilPassZFailAction(), NiStencilProperty::ACTION_KEEP);
    EXPECT_EQ(pkStencil->GetStencilPassAction(), NiStencilProperty::ACTION_INCREMENT);
    EXPECT_EQ(pkStencil->GetStencilMask(), 0xFFFFFFFFu);
    EXPECT_EQ(pkZ->GetFlags(), 3);
    EXPECT_EQ(pkZ->GetTestFunction(), NiZBufferProperty::TEST_LESSEQUAL);
    EXPECT_EQ(pkShade->GetFlags(), 1);
    EXPECT_EQ(pkVertex->GetSourceMode(), NiVertexColorProperty::SOURCE_IGNORE);
    EXPECT_EQ(pkVertex->GetLightingMode(), NiVertexColorProperty::LIGHTING_E_A_D);
    EXPECT_EQ(pkMaterial->GetAmbientColor(), NiColorRGB(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(pkMaterial->GetDiffuseColor(), NiColorRGB(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(pkMaterial->GetSpecularColor(), NiColorRGB(0, 0, 0));
    EXPECT_EQ(pkMaterial->GetShineness(), 4.0f);
    EXPECT_EQ(pkMaterial->GetAlpha(), 1.0f);
    EXPECT_EQ(pkFog->GetDepth(), 1.0f);
    EXPECT_EQ(pkTexturing->GetApplyMode(), 2u);

    for (const char* pc : NI_SCENE_GRAPH_CLASS_NAMES)
    {
        // Only names the core start-up asks for.
        EXPECT_NE(std::find_if(std::begin(NiMainLibrary::CREATE_FUNCTION_NAMES),
                               std::end(NiMainLibrary::CREATE_FUNCTION_NAMES),
                               [pc](const char* pcCore) { return std::string(pcCore) == pc; }),
                  std::end(NiMainLibrary::CREATE_FUNCTION_NAMES))
            << pc;
        NiObjectPtr sp = NiObjectStream::CreateObjectByName(pc);
        ASSERT_NE(sp, nullptr) << pc;
        if (std::string(pc) != "NiCollisionSwitch")
        {
            EXPECT_STREQ(sp->GetTypeInfo()->GetName(), pc);
        }
    }
    std::uint32_t uiHooks = NiMainLibrary::GetModuleHookCount();
    NiSceneGraphRegister();
    EXPECT_EQ(NiMainLibrary::GetModuleHookCount(), uiHooks);

    NiMainLibrary::Shutdown();
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        EXPECT_EQ(NiPropertySet::GetDefault(i), nullptr) << i;
    NiObjectStream::StaticInit();
    for (const char* pc : NI_SCENE_GRAPH_CLASS_NAMES)
        EXPECT_EQ(NiObjectStream::GetCreateFunction(pc), nullptr) << pc;
    NiObjectStream::StaticShutdown();
    NiMainLibrary::Init();
    NiPropertySet::ResetDefaults();
}

TEST_F(NiSceneGraphLibraryTest, EveryClassRoundTripsEqual)
{
    NiNodePtr spRoot = BuildEverything();
    ASSERT_TRUE(RoundTrip({spRoot})) << m_kStream.GetLastErrorMessage();
    ASSERT_EQ(m_kLoaded.size(), 1u);
    EXPECT_TRUE(spRoot->IsEqual(m_kLoaded[0]));

    // Each child alone as well, so one class's fault cannot hide in the tree
    // (effects compare the nodes they are attached to: only in the tree).
    std::vector<NiObjectPtr> kParts;
    for (std::uint32_t i = 0; i < spRoot->GetArrayCount(); ++i)
    {
        if (!NiIsKindOf<NiDynamicEffect>(spRoot->GetAt(i)) && NiIsKindOf<NiNode>(spRoot->GetAt(i)) &&
            !static_cast<NiNode*>(spRoot->GetAt(i))->GetEffectList().IsEmpty())
            continue;
        if (!NiIsKindOf<NiDynamicEffect>(spRoot->GetAt(i)) || spRoot->GetAt(i)->GetName() == nullptr)
            kParts.emplace_back(spRoot->GetAt(i));
    }
    for (NiListPos kPos = spRoot->GetPropertyList().GetHeadPos(); kPos != nullptr;)
        kParts.emplace_back(NiRefList<NiProperty>::GetNext(kPos));
    kParts.emplace_back(new NiDefaultAVObjectPalette);
    for (const NiObjectPtr& sp : kParts)
    {
        if (sp == nullptr)
            continue;
        SCOPED_TRACE(sp->GetTypeInfo()->GetName());
        ASSERT_TRUE(RoundTrip({sp}));
        EXPECT_TRUE(sp->IsEqual(m_kLoaded.at(0)));
    }

    // A clone is equal too, once what clones do not keep is gone: the
    // unaffected list, and the order of several properties (reversed).
    static_cast<NiDynamicEffect*>(spRoot->GetObjectByName("spot"))->ClearUnaffectedNodes();
    NiPropertyPtr spTexturing = spRoot->RemovePropertyOfType(NiProperty::TEXTURING);
    spRoot->RemoveAllProperties();
    spRoot->AttachProperty(spTexturing);
    NiNodePtr spClone = static_cast<NiNode*>(spRoot->Clone());
    EXPECT_TRUE(spRoot->IsEqual(spClone));
}

TEST_F(NiSceneGraphLibraryTest, AFileCutAtEveryLengthFailsWithoutHarm)
{
    std::vector<std::uint8_t> kFile = SaveEverything();
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> kCut(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(Load(kCut));
        EXPECT_TRUE(m_kLoaded.empty());
    }
}

TEST_F(NiSceneGraphLibraryTest, EveryWordSetToAllOnesFailsOrLoadsWithoutHarm)
{
    std::vector<std::uint8_t> kFile = SaveEverything();
    std::uint32_t uiCorrupt = 0;
    for (std::size_t i = 0; i + 4 <= kFile.size(); ++i)
    {
        std::vector<std::uint8_t> kBad = kFile;
        for (std::size_t j = 0; j < 4; ++j)
            kBad[i + j] = 0xFF;
        if (!Load(kBad))
        {
            ++uiCorrupt;
            EXPECT_TRUE(m_kLoaded.empty());
        }
    }
    EXPECT_GT(uiCorrupt, 0u);
}
} // namespace
