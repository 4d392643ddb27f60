#include "tools/COrvaneDemoLevel.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiPicker.h"
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
}
