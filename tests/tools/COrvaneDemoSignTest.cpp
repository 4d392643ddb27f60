#include "tools/COrvaneDemoSign.h"

#include "engine/animation/NiFlipController.h"
#include "engine/animation/NiUVController.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
class COrvaneDemoSignTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoSignTest() : EngineFolderTest("sign", {.m_bRenderImage = true, .m_bRender = true}) {}
};
} // namespace

TEST_F(COrvaneDemoSignTest, TheBoardScrollsAndFlipsThroughItsPictures)
{
    ASSERT_TRUE(WriteDemoSign(m_kFolder.string()));
    for (int i = 0; i < DEMO_SIGN_PICTURES; ++i)
        EXPECT_TRUE(std::filesystem::is_regular_file(m_kFolder / ("sign" + std::to_string(i) + ".tga")));
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadFile((m_kFolder / "sign.nif").c_str()));
    NiRefPtr<NiNode> spRoot = NiDynamicCast<NiNode>(kStream.GetObjectAt(0));
    ASSERT_NE(spRoot, nullptr);
    kStream.RemoveAllTopObjects();
    auto* pkBoard = NiDynamicCast<NiTriShape>(spRoot->GetObjectByName("Board"));
    ASSERT_NE(pkBoard, nullptr);
    auto* pkScroll = NiDynamicCast<NiUVController>(pkBoard->GetControllers());
    ASSERT_NE(pkScroll, nullptr);
    auto* pkTexturing = NiDynamicCast<NiTexturingProperty>(pkBoard->GetProperty(NiProperty::TEXTURING));
    ASSERT_NE(pkTexturing, nullptr);
    auto* pkFlip = NiDynamicCast<NiFlipController>(pkTexturing->GetControllers());
    ASSERT_NE(pkFlip, nullptr);
    ASSERT_EQ(pkFlip->GetTextureCount(), static_cast<std::uint32_t>(DEMO_SIGN_PICTURES));
    auto* pkPicture1 = NiDynamicCast<NiSourceTexture>(pkFlip->GetTextureAt(1));
    ASSERT_NE(pkPicture1, nullptr);
    EXPECT_EQ(pkPicture1->GetFileName(), "sign1.tga");

    // A quarter of the scroll: every u a quarter less; the second picture
    // shows from the first step on, and the pictures start over.
    const float u0 = pkBoard->GetModelData()->GetTextureSet(0)[1].x;
    spRoot->Update(0.0f);
    spRoot->Update(DEMO_SIGN_SCROLL_TIME * 0.25f);
    pkScroll->ApplyDeferredUpdate();
    EXPECT_FLOAT_EQ(pkBoard->GetModelData()->GetTextureSet(0)[1].x, u0 - 0.25f);
    spRoot->Update(DEMO_SIGN_FLIP_STEP * 1.5f);
    EXPECT_EQ(pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX)->GetTexture(), pkFlip->GetTextureAt(1));
    spRoot->Update(DEMO_SIGN_FLIP_STEP * (DEMO_SIGN_PICTURES + 0.5f));
    EXPECT_EQ(pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX)->GetTexture(), pkFlip->GetTextureAt(0));
}
