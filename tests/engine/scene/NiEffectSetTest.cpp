#include "engine/scene/NiEffectSet.h"

#include "engine/scene/NiLight.h"
#include "engine/scene/NiTextureEffect.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiEffectSetTest : public SceneGraphTest
{
};

std::vector<std::uint32_t> Indices(const NiEffectSet::EffectList& kList)
{
    std::vector<std::uint32_t> k;
    for (NiListPos kPos = kList.GetHeadPos(); kPos != nullptr;)
        k.push_back(NiEffectSet::EffectList::GetNext(kPos)->GetIndex());
    return k;
}

TEST_F(NiEffectSetTest, ListsStaySortedWithOneEntryPerIndex)
{
    std::vector<NiRefPtr<NiPointLight>> kLights;
    for (int i = 0; i < 8; ++i)
        kLights.emplace_back(new NiPointLight); // indices 0..7
    NiEffectSetPtr spSet = new NiEffectSet;
    spSet->AddEffect(kLights[7]);
    spSet->AddEffect(kLights[3]);
    spSet->AddEffect(kLights[5]);
    spSet->AddEffect(nullptr);
    EXPECT_EQ(Indices(spSet->GetLights()), (std::vector<std::uint32_t>{3, 5, 7}));
    spSet->AddEffect(kLights[5]);
    EXPECT_EQ(Indices(spSet->GetLights()), (std::vector<std::uint32_t>{3, 5, 7}));
    spSet->AddEffect(kLights[4]);
    spSet->AddEffect(kLights[0]);
    EXPECT_EQ(Indices(spSet->GetLights()), (std::vector<std::uint32_t>{0, 3, 4, 5, 7}));
    spSet->RemoveEffect(kLights[4]);
    spSet->RemoveEffect(kLights[6]); // not present
    EXPECT_EQ(Indices(spSet->GetLights()), (std::vector<std::uint32_t>{0, 3, 5, 7}));
    EXPECT_FALSE(spSet->HasTextureEffects());

    // A copy is independent.
    NiEffectSetPtr spCopy = spSet->Copy();
    spCopy->AddEffect(kLights[1]);
    spCopy->RemoveEffect(kLights[7]);
    EXPECT_EQ(Indices(spSet->GetLights()), (std::vector<std::uint32_t>{0, 3, 5, 7}));
    EXPECT_EQ(Indices(spCopy->GetLights()), (std::vector<std::uint32_t>{0, 1, 3, 5}));
}

TEST_F(NiEffectSetTest, MapsAreReplacedAndTheTextureFlagRecomputed)
{
    auto Make = [](std::uint32_t eType) {
        NiRefPtr<NiTextureEffect> sp = new NiTextureEffect;
        sp->SetTextureType(eType);
        return sp;
    };
    auto spEnv1 = Make(NiTextureEffect::ENVIRONMENT_MAP), spEnv2 = Make(NiTextureEffect::ENVIRONMENT_MAP);
    auto spFog = Make(NiTextureEffect::FOG_MAP), spShadow = Make(NiTextureEffect::PROJECTED_SHADOW);
    auto spProj = Make(NiTextureEffect::PROJECTED_LIGHT);

    NiEffectSetPtr spSet = new NiEffectSet;
    spSet->AddEffect(spEnv1);
    spSet->AddEffect(spEnv2);
    EXPECT_EQ(spSet->GetEnvironmentMap(), spEnv2.Get());
    spSet->RemoveEffect(spEnv1);
    EXPECT_EQ(spSet->GetEnvironmentMap(), spEnv2.Get()) << "only the very effect is cleared";
    spSet->RemoveEffect(spEnv2);
    EXPECT_FALSE(spSet->HasTextureEffects());

    spSet->AddEffect(spShadow);
    spSet->AddEffect(spProj);
    spSet->AddEffect(spFog);
    EXPECT_EQ(spSet->GetProjectedShadows().GetHead(), spShadow.Get());
    EXPECT_EQ(spSet->GetProjectedLights().GetHead(), spProj.Get());
    EXPECT_EQ(spSet->GetFogMap(), spFog.Get());
    spSet->RemoveEffect(spShadow);
    spSet->RemoveEffect(spFog);
    EXPECT_TRUE(spSet->HasTextureEffects()) << "a projected light is left";
    spSet->RemoveEffect(spProj);
    EXPECT_FALSE(spSet->HasTextureEffects());
}

TEST_F(NiEffectSetTest, UnaffectedNodeLosesTheEffectForItsWholeSubtree)
{
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spExcluded = new NiNode;
    NiNodePtr spSibling = new NiNode;
    NiNodePtr spBelow = new NiNode;
    spRoot->AttachChild(spExcluded);
    spRoot->AttachChild(spSibling);
    spExcluded->AttachChild(spBelow);
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    NiRefPtr<NiAmbientLight> spAmbient = new NiAmbientLight;
    spRoot->AttachEffect(spLight);
    spRoot->AttachEffect(spAmbient);
    spLight->AttachUnaffectedNode(spExcluded);

    // What the effect pass hands each subtree.
    struct Probe : TestAVObject
    {
        NiEffectSetPtr m_spSeen;
        void UpdateEffectsDownward(NiEffectSet* pk) override { m_spSeen = pk; }
    };
    NiRefPtr<Probe> spUnder = new Probe, spBeside = new Probe;
    spBelow->AttachChild(spUnder);
    spSibling->AttachChild(spBeside);
    spRoot->UpdateEffectsDownward(nullptr);

    ASSERT_NE(spUnder->m_spSeen, nullptr);
    ASSERT_NE(spBeside->m_spSeen, nullptr);
    EXPECT_EQ(Indices(spUnder->m_spSeen->GetLights()), std::vector<std::uint32_t>{spAmbient->GetIndex()});
    EXPECT_EQ(spBeside->m_spSeen->GetLights().GetSize(), 2u);
    EXPECT_EQ(spBelow->GetEffectState()->GetLights().GetSize(), 1u);
}
} // namespace
