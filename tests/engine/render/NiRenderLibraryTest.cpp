#include "engine/render/NiRenderLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"

#include <gtest/gtest.h>

namespace
{
class NiRenderLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiMainLibrary::Reset();
        NiImageConverter::ReleaseCurrent();
    }
    void TearDown() override
    {
        NiMainLibrary::Reset();
        NiObjectStream::StaticShutdown();
        NiImageConverter::ReleaseCurrent();
    }
};
} // namespace

TEST_F(NiRenderLibraryTest, StartUpAndShutDownThroughTheCoreHooks)
{
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    const std::uint32_t uiHooks = NiMainLibrary::GetModuleHookCount();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    EXPECT_EQ(NiMainLibrary::GetModuleHookCount(), uiHooks);

    NiMainLibrary::Init();
    ASSERT_NE(NiImageConverter::GetCurrent(), nullptr);
    EXPECT_NE(NiObjectStream::GetCreateFunction("NiPixelData"), nullptr);
    EXPECT_NE(NiObjectStream::GetCreateFunction("NiPalette"), nullptr);
    NiObjectPtr spImage = NiObjectStream::CreateObjectByName("NiPixelData");
    ASSERT_TRUE(spImage);
    EXPECT_STREQ(spImage->GetTypeInfo()->GetName(), "NiPixelData");

    NiMainLibrary::Shutdown();
    EXPECT_EQ(NiImageConverter::GetCurrent(), nullptr);
    EXPECT_EQ(NiObjectStream::GetCreateFunction("NiPixelData"), nullptr);
    EXPECT_EQ(NiObjectStream::GetCreateFunction("NiPalette"), nullptr);
}
