#include "tools/COrvaneDemoLevel.h"

#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/shaders/framework/NiShader.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoShader.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPicker.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneWorld.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace
{
// Asks for every placeholder text, takes none.
class RecordingWorld : public COrvaneWorld
{
public:
    int BuildObjectFromNode(const char* pcText, int iPass, NiVec3*) override
    {
        m_kAsked.emplace_back(pcText, iPass);
        return 0;
    }
    std::vector<std::pair<std::string, int>> m_kAsked;
};

class RecordingLevels : public COrvaneLevelManager
{
protected:
    std::unique_ptr<COrvaneWorld> MakeWorld() override { return std::make_unique<RecordingWorld>(); }
};

class COrvaneDemoLevelTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoLevelTest() : EngineFolderTest("level", {.m_bRender = true}) {}
    void SetUp() override
    {
        EngineFolderTest::SetUp();
        m_kPrevious = std::filesystem::current_path();
    }
    void TearDown() override
    {
        COrvaneApplication::ResetSettings();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        EngineFolderTest::TearDown();
    }

    std::filesystem::path m_kPrevious;
};
} // namespace

TEST_F(COrvaneDemoLevelTest, LevelOneLoadsThroughTheSettingsWithItsParts)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_TRUE(std::filesystem::is_directory(m_kFolder / "maps"));
    EXPECT_TRUE(std::filesystem::is_regular_file(m_kFolder / "levels" / "sky.tga"));
    std::filesystem::current_path(m_kFolder);
    COrvaneApplication::LoadSettings();

    // The level manager starts on level 1.
    const DemoLevel& kOne = DEMO_LEVELS[1];
    RecordingLevels kLevels;
    ASSERT_TRUE(kLevels.LoadLevel());
    auto* pkWorld = static_cast<RecordingWorld*>(kLevels.GetWorld());
    ASSERT_NE(pkWorld, nullptr);
    EXPECT_STREQ(pkWorld->GetName(), kOne.m_pcFile);
    ASSERT_NE(pkWorld->GetSkyBox(), nullptr);
    ASSERT_NE(pkWorld->GetCollisionNode(), nullptr);
    EXPECT_EQ(pkWorld->GetCollisionNode()->GetChildCount(), 3u);
    ASSERT_EQ(pkWorld->GetSplines().size(), 4u);
    for (const auto& pkSpline : pkWorld->GetSplines())
        EXPECT_NE(pkSpline->GetController(), nullptr);
    EXPECT_STREQ(pkWorld->GetSplines()[2]->GetName(), "connectorA_1_2");
    EXPECT_EQ(pkWorld->GetObjects().size(), 2u);
    // Texts other than models are asked in both passes and declined: their
    // placeholders stay.
    const std::vector<std::string> kKept = {"spawn", "map_1_40_40_0_2", "map_2_6_8_0_2,2-4", "camera_45", "protest"};
    std::vector<std::pair<std::string, int>> kAsked = {{"models/props/crate.nif", 1}, {"models/props/crate.nif", 1}};
    for (int iPass = 1; iPass <= 2; ++iPass)
        for (const std::string& kText : kKept)
            kAsked.emplace_back(kText, iPass);
    EXPECT_EQ(pkWorld->m_kAsked, kAsked);
    auto* pkObjects = NiDynamicCast<NiNode>(pkWorld->GetSceneRoot()->GetObjectByName("objects"));
    ASSERT_NE(pkObjects, nullptr);
    EXPECT_EQ(pkObjects->GetChildCount(), kKept.size());
    pkWorld->UpdateObjects(0.1f);

    // Straight down from above the prison's middle: the ground's top at height 0.
    NiPicker kPicker;
    kPicker.SetTarget(pkWorld->GetCollisionNode());
    kPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
    ASSERT_TRUE(kPicker.Pick(NiVec3(kOne.m_fPrisonX, 100.0f, kOne.m_fPrisonZ), NiVec3(0.0f, -1.0f, 0.0f)));
    ASSERT_GT(kPicker.GetSize(), 0u);
    EXPECT_NEAR(kPicker.GetAt(0)->GetIntersection().y, 0.0f, 1e-3f);
    EXPECT_STREQ(kPicker.GetAt(0)->GetAVObject()->GetName(), "ground");
    // The ground is picked but not drawn: the land shows it, its top just
    // under the yard, whose floor the game draws at the yard's height, and
    // facing up, so the sun lights it.
    EXPECT_TRUE(kPicker.GetAt(0)->GetAVObject()->GetAppCulled());
    const NiAVObject* pkYard = pkObjects->GetObjectByName("yard");
    ASSERT_NE(pkYard, nullptr);
    EXPECT_NEAR(pkYard->GetTranslate().y, 0.0f, 1e-3f);
    auto* pkLand = NiDynamicCast<NiTriShape>(pkWorld->GetSceneRoot()->GetObjectByName("land"));
    ASSERT_NE(pkLand, nullptr);
    EXPECT_FALSE(pkLand->GetAppCulled());
    NiPicker kLandPicker;
    kLandPicker.SetTarget(pkLand);
    kLandPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
    ASSERT_TRUE(kLandPicker.Pick(NiVec3(kOne.m_fPrisonX, 100.0f, kOne.m_fPrisonZ), NiVec3(0.0f, -1.0f, 0.0f)));
    EXPECT_LT(kLandPicker.GetAt(0)->GetIntersection().y, pkYard->GetTranslate().y - 0.1f);
    EXPECT_GT(kLandPicker.GetAt(0)->GetIntersection().y, pkYard->GetTranslate().y - 0.3f);
    const NiGeometryData* pkLandData = pkLand->GetModelData();
    ASSERT_NE(pkLandData, nullptr);
    ASSERT_NE(pkLandData->GetNormals(), nullptr);
    bool bUp = false;
    for (std::uint16_t i = 0; i < pkLandData->GetVertexCount(); ++i)
        bUp = bUp || (pkLand->GetWorldTransform().m_kRotate * pkLandData->GetNormals()[i]).y > 0.99f;
    EXPECT_TRUE(bUp);

    // A model the world hangs under "collide" later (a building's floor
    // just above the ground, in world coordinates) comes before the ground
    // in the node's order: the game's pick, which stops at the first thing
    // it meets, finds the model and not the ground under it.
    NiNode* pkCollide = pkWorld->GetCollisionNode();
    auto* pkVertex = new NiVec3[3]{NiVec3(kOne.m_fPrisonX - 5.0f, 0.5f, kOne.m_fPrisonZ - 5.0f),
                                   NiVec3(kOne.m_fPrisonX - 5.0f, 0.5f, kOne.m_fPrisonZ + 5.0f),
                                   NiVec3(kOne.m_fPrisonX + 5.0f, 0.5f, kOne.m_fPrisonZ + 5.0f)};
    NiRefPtr<NiTriShape> spFloor =
        new NiTriShape(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, new std::uint16_t[3]{0, 1, 2});
    spFloor->SetName("model");
    spFloor->SetLocalTransform(pkCollide->GetWorldTransform().Invert());
    pkCollide->AttachChild(spFloor, true);
    pkWorld->GetSceneRoot()->Update(0.0f);
    NiPicker kFirst;
    kFirst.SetPickType(NiPicker::FIND_FIRST);
    kFirst.SetSortType(NiPicker::NO_SORT);
    kFirst.SetTarget(pkCollide);
    const NiVec3 kInside(kOne.m_fPrisonX - 2.0f, 100.0f, kOne.m_fPrisonZ + 3.0f);
    ASSERT_TRUE(kFirst.Pick(kInside, NiVec3(0.0f, -1.0f, 0.0f)));
    EXPECT_STREQ(kFirst.GetAt(0)->GetAVObject()->GetName(), "model");
    EXPECT_NEAR(kFirst.GetAt(0)->GetIntersection().y, 0.5f, 1e-3f);
}

// Each prison of the location screen loads a level file of its own, with
// the parts the game reads, the yard's middle over its ground, and land of
// its own colour.
TEST_F(COrvaneDemoLevelTest, EachLevelLoadsItsOwnFile)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    std::filesystem::current_path(m_kFolder);
    COrvaneApplication::LoadSettings();
    std::vector<std::string> kBytes;
    std::vector<NiColorRGB> kColours;
    for (std::uint32_t uiLevel = 0; uiLevel < DEMO_LEVEL_COUNT; ++uiLevel)
    {
        const DemoLevel& kLevel = DEMO_LEVELS[uiLevel];
        SCOPED_TRACE(kLevel.m_pcFile);
        std::ifstream kIn(m_kFolder / kLevel.m_pcFile, std::ios::binary);
        kBytes.emplace_back(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
        ASSERT_FALSE(kBytes.back().empty());
        RecordingLevels kLevels;
        kLevels.SetLevel(uiLevel);
        ASSERT_TRUE(kLevels.LoadLevel());
        auto* pkWorld = static_cast<RecordingWorld*>(kLevels.GetWorld());
        ASSERT_NE(pkWorld, nullptr);
        EXPECT_STREQ(pkWorld->GetName(), kLevel.m_pcFile);
        ASSERT_NE(pkWorld->GetSkyBox(), nullptr);
        ASSERT_NE(pkWorld->GetCollisionNode(), nullptr);
        EXPECT_EQ(pkWorld->GetCollisionNode()->GetChildCount(), 3u);
        EXPECT_EQ(pkWorld->GetCollisionNode()->GetArrayCount(), DEMO_OBJECT_SLOTS + 3);
        EXPECT_EQ(pkWorld->GetSplines().size(), 4u);
        EXPECT_EQ(pkWorld->GetObjects().size(), 2u);
        EXPECT_EQ(pkWorld->m_kAsked.size(), 12u);
        pkWorld->UpdateObjects(0.1f);

        // The yard's corner placeholder lies 39 west and 39 south of the
        // prison's middle, which stands on the ground.
        auto* pkObjects = NiDynamicCast<NiNode>(pkWorld->GetSceneRoot()->GetObjectByName("objects"));
        ASSERT_NE(pkObjects, nullptr);
        const NiAVObject* pkYard = pkObjects->GetObjectByName("yard");
        ASSERT_NE(pkYard, nullptr);
        EXPECT_NEAR(pkYard->GetTranslate().x, kLevel.m_fPrisonX - 39.0f, 1e-3f);
        EXPECT_NEAR(pkYard->GetTranslate().z, kLevel.m_fPrisonZ + 39.0f, 1e-3f);

        // The renderer's showcase stands on the ground between the start view
        // and the yard, beyond the yard's edge, with its lit, textured,
        // skinned and effect-drawn parts.
        NiAVObject* pkShowcase = pkWorld->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE);
        ASSERT_NE(pkShowcase, nullptr);
        const NiVec3 kAt = pkShowcase->GetWorldTransform().m_kTranslate;
        const float fViewX = kLevel.m_fViewX - kLevel.m_fPrisonX, fViewZ = kLevel.m_fViewZ - kLevel.m_fPrisonZ;
        const float fView = std::sqrt(fViewX * fViewX + fViewZ * fViewZ);
        EXPECT_NEAR(kAt.x, kLevel.m_fPrisonX + fViewX * DEMO_SHOWCASE_DISTANCE / fView, 1e-2f);
        EXPECT_NEAR(kAt.z, kLevel.m_fPrisonZ + fViewZ * DEMO_SHOWCASE_DISTANCE / fView, 1e-2f);
        EXPECT_NEAR(kAt.y, DEMO_SHOWCASE_LIFT, 1e-3f);
        EXPECT_GT(fView, DEMO_SHOWCASE_DISTANCE + 6.0f * DEMO_SHOWCASE_SCALE);
        for (const char* pcPart : {"Floor", "BoxNode", "Lamp", "BarPartitioned", "BarSoftware", "Turntable"})
            EXPECT_NE(pkShowcase->GetObjectByName(pcPart), nullptr) << pcPart;
        EXPECT_EQ(pkWorld->GetCollisionNode()->GetObjectByName("Turntable"), nullptr);
        NiPicker kPicker;
        kPicker.SetTarget(pkWorld->GetCollisionNode());
        kPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
        ASSERT_TRUE(kPicker.Pick(NiVec3(kLevel.m_fPrisonX, 100.0f, kLevel.m_fPrisonZ), NiVec3(0.0f, -1.0f, 0.0f)));
        EXPECT_STREQ(kPicker.GetAt(0)->GetAVObject()->GetName(), "ground");
        // The first level alone shows programs at work: its three showcase pillars name their shaders.
        auto* pkPrograms = NiDynamicCast<NiNode>(pkWorld->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE_NODE));
        EXPECT_EQ(pkPrograms != nullptr, uiLevel == 0);
        if (pkPrograms != nullptr)
        {
            ASSERT_EQ(pkPrograms->GetChildCount(), 3u);
            auto* pkHighLevel = NiDynamicCast<NiGeometry>(pkPrograms->GetObjectByName(DEMO_SHOWCASE_HLSL));
            ASSERT_NE(pkHighLevel, nullptr);
            ASSERT_NE(pkHighLevel->GetShader(), nullptr);
            EXPECT_STREQ(pkHighLevel->GetShader()->GetName(), DEMO_HLSL_SHADER_NAME);
            const float fPillarX = kLevel.m_fPrisonX + 0.5f * (DEMO_SHOWCASE_WEST + DEMO_SHOWCASE_EAST);
            EXPECT_NEAR(pkHighLevel->GetWorldBound().m_kCenter.x, fPillarX, 0.5f);
            auto* pkPillar = NiDynamicCast<NiGeometry>(pkPrograms->GetObjectByName(DEMO_SHOWCASE_MATERIAL));
            auto* pkSignal = NiDynamicCast<NiGeometry>(pkPrograms->GetObjectByName(DEMO_SHOWCASE_SIGNAL));
            ASSERT_TRUE(pkPillar && pkSignal);
            ASSERT_NE(pkPillar->GetShader(), nullptr);
            ASSERT_NE(pkSignal->GetShader(), nullptr);
            EXPECT_STREQ(pkPillar->GetShader()->GetName(), DEMO_SHADER_NAME);
            EXPECT_STREQ(pkSignal->GetShader()->GetName(), DEMO_PROGRAM_EFFECT_NAME);
            // West of the yard, standing in the showcase's stand.
            EXPECT_NEAR(pkPillar->GetWorldBound().m_kCenter.x, fPillarX, 0.5f);
            EXPECT_LT(fPillarX, kLevel.m_fPrisonX - 40.0f);
            EXPECT_NEAR(pkSignal->GetWorldBound().m_kCenter.y, DEMO_SHOWCASE_BASE + 0.5f * DEMO_SHOWCASE_HEIGHT, 0.5f);
            EXPECT_LT(DEMO_SHOWCASE_BASE, DEMO_STAND_TOP);
            const NiAVObject* pkStand = pkWorld->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE_STAND);
            ASSERT_NE(pkStand, nullptr);
            const auto& kStand = pkStand->GetWorldBound();
            for (const NiGeometry* pkOnStand : {pkPillar, pkSignal, pkHighLevel})
                EXPECT_LT((pkOnStand->GetWorldBound().m_kCenter - kStand.m_kCenter).Length(), kStand.m_fRadius);
        }
        const NiAVObject* pkLand = pkWorld->GetSceneRoot()->GetObjectByName("land");
        ASSERT_NE(pkLand, nullptr);
        const auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(pkLand->GetProperty(NiProperty::MATERIAL));
        ASSERT_NE(pkMaterial, nullptr);
        kColours.push_back(pkMaterial->GetDiffuseColor());
    }
    ASSERT_EQ(kColours.size(), DEMO_LEVEL_COUNT);
    for (std::size_t i = 0; i < DEMO_LEVEL_COUNT; ++i)
        for (std::size_t j = i + 1; j < DEMO_LEVEL_COUNT; ++j)
        {
            EXPECT_NE(kBytes[i], kBytes[j]) << i << " " << j;
            EXPECT_FALSE(kColours[i] == kColours[j]) << i << " " << j;
        }
}
