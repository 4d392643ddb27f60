#include "tools/COrvaneDemoLevel.h"

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

#include <filesystem>
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

    RecordingLevels kLevels;
    ASSERT_TRUE(kLevels.LoadLevel());
    auto* pkWorld = static_cast<RecordingWorld*>(kLevels.GetWorld());
    ASSERT_NE(pkWorld, nullptr);
    EXPECT_STREQ(pkWorld->GetName(), DEMO_LEVEL_FILE);
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
    ASSERT_TRUE(kPicker.Pick(NiVec3(DEMO_PRISON_X, 100.0f, DEMO_PRISON_Z), NiVec3(0.0f, -1.0f, 0.0f)));
    ASSERT_GT(kPicker.GetSize(), 0u);
    EXPECT_NEAR(kPicker.GetAt(0)->GetIntersection().y, 0.0f, 1e-3f);
    EXPECT_STREQ(kPicker.GetAt(0)->GetAVObject()->GetName(), "ground");

    // A model the world hangs under "collide" later (a building's floor
    // just above the ground, in world coordinates) comes before the ground
    // in the node's order: the game's pick, which stops at the first thing
    // it meets, finds the model and not the ground under it.
    NiNode* pkCollide = pkWorld->GetCollisionNode();
    auto* pkVertex = new NiVec3[3]{NiVec3(DEMO_PRISON_X - 5.0f, 0.5f, DEMO_PRISON_Z - 5.0f),
                                   NiVec3(DEMO_PRISON_X - 5.0f, 0.5f, DEMO_PRISON_Z + 5.0f),
                                   NiVec3(DEMO_PRISON_X + 5.0f, 0.5f, DEMO_PRISON_Z + 5.0f)};
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
    const NiVec3 kInside(DEMO_PRISON_X - 2.0f, 100.0f, DEMO_PRISON_Z + 3.0f);
    ASSERT_TRUE(kFirst.Pick(kInside, NiVec3(0.0f, -1.0f, 0.0f)));
    EXPECT_STREQ(kFirst.GetAt(0)->GetAVObject()->GetName(), "model");
    EXPECT_NEAR(kFirst.GetAt(0)->GetIntersection().y, 0.5f, 1e-3f);
}
