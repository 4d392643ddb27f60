#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/shaders/framework/NiD3DTimeSyncController.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <vector>

using namespace shader_test;

namespace
{
class NiD3DTimeSyncControllerTest : public ShaderTest
{
};

std::vector<std::uint8_t> SaveScene(NiObject* pkTop)
{
    NiObjectStream kStream;
    kStream.InsertTopObject(pkTop);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    if (!kStream.SaveBuffer(spBuffer, uiSize))
        return {};
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}
} // namespace

TEST_F(NiD3DTimeSyncControllerTest, TheTimeReachesTheTargetsEntryUnlessSkipped)
{
    NiD3DTimeSyncControllerPtr spController = new NiD3DTimeSyncController;
    // The whole float range: the time is never clamped.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(spController->GetBeginKeyTime()), 0xFF7FFFFFu);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(spController->GetEndKeyTime()), 0x7F7FFFFFu);
    spController->Update(1.0f); // no target: nothing
    EXPECT_EQ(spController->GetTimeData(), nullptr);

    NiRefPtr<NiNode> spNode = new NiNode;
    spController->SetTarget(spNode);
    EXPECT_EQ(spNode->GetControllers(), spController.Get());
    ASSERT_EQ(spNode->GetExtraDataSize(), 1u);
    auto* pkTime = NiDynamicCast<NiFloatExtraData>(spNode->GetExtraData("ZRB_UpdateTime"));
    ASSERT_NE(pkTime, nullptr);
    EXPECT_EQ(spController->GetTimeData(), pkTime);
    EXPECT_EQ(pkTime->GetValue(), 0.0f);

    spController->Update(2.5f);
    EXPECT_EQ(pkTime->GetValue(), 2.5f);
    spController->Update(-1.0e30f);
    EXPECT_EQ(pkTime->GetValue(), -1.0e30f);
    // The same time again, or an inactive controller: skipped.
    pkTime->SetValue(7.0f);
    spController->Update(-1.0e30f);
    EXPECT_EQ(pkTime->GetValue(), 7.0f);
    spController->SetActive(false);
    spController->Update(3.0f);
    EXPECT_EQ(pkTime->GetValue(), 7.0f);
    spController->SetActive(true);
    spController->Update(3.0f);
    EXPECT_EQ(pkTime->GetValue(), 3.0f);

    // A second controller on the target shares its entry.
    NiD3DTimeSyncControllerPtr spSecond = new NiD3DTimeSyncController;
    spSecond->SetTarget(spNode);
    EXPECT_EQ(spSecond->GetTimeData(), pkTime);
    EXPECT_EQ(spNode->GetExtraDataSize(), 1u);

    // A clone starts without an entry of its own.
    NiCloneContext kCloning;
    NiRefPtr<NiObject> spClone = spController->CreateClone(kCloning);
    auto* pkClone = NiDynamicCast<NiD3DTimeSyncController>(spClone.Get());
    ASSERT_NE(pkClone, nullptr);
    EXPECT_EQ(pkClone->GetTimeData(), nullptr);
    EXPECT_EQ(pkClone->GetEndKeyTime(), spController->GetEndKeyTime());
    EXPECT_EQ(pkClone->GetFlags(), spController->GetFlags());
}

TEST_F(NiD3DTimeSyncControllerTest, AnEntryOfAnotherClassIsReplaced)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiStringExtraData> spText = new NiStringExtraData("not a time");
    spText->SetName("ZRB_UpdateTime");
    ASSERT_TRUE(spNode->AddExtraData(spText));
    NiD3DTimeSyncControllerPtr spController = new NiD3DTimeSyncController;
    spController->SetTarget(spNode);
    ASSERT_EQ(spNode->GetExtraDataSize(), 1u);
    auto* pkTime = NiDynamicCast<NiFloatExtraData>(spNode->GetExtraData("ZRB_UpdateTime"));
    ASSERT_NE(pkTime, nullptr);
    EXPECT_EQ(spController->GetTimeData(), pkTime);
    spController->Update(4.0f);
    EXPECT_EQ(pkTime->GetValue(), 4.0f);
}

TEST_F(NiD3DTimeSyncControllerTest, NothingOfItIsSaved)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiD3DTimeSyncControllerPtr spController = new NiD3DTimeSyncController;
    spController->SetTarget(spNode);
    spController->Update(5.0f);
    const std::vector<std::uint8_t> kWith = SaveScene(spNode);
    ASSERT_FALSE(kWith.empty());
    // The file is the one of the node without the controller (its entry stays).
    spNode->RemoveController(spController);
    EXPECT_EQ(SaveScene(spNode), kWith);

    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kWith.data(), static_cast<std::uint32_t>(kWith.size())));
    ASSERT_GT(kStream.GetObjectCount(), 0u);
    auto* pkLoaded = NiDynamicCast<NiNode>(kStream.GetObjectAt(0));
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_EQ(pkLoaded->GetControllers(), nullptr);
    auto* pkTime = NiDynamicCast<NiFloatExtraData>(pkLoaded->GetExtraData("ZRB_UpdateTime"));
    ASSERT_NE(pkTime, nullptr);
    EXPECT_EQ(pkTime->GetValue(), 5.0f);
}
