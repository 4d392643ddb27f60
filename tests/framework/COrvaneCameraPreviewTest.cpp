// The save browser's preview picture: drawn with a lockable back buffer on
// the device renderer (`null` back end), sampled to 128 x 96, saved as a
// scene file and the renderer set back.
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiBltSource.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiCamera.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneFileIOCanvas.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace
{
gfx::IDirect3D9* CreateNullDevice(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null);
}

bool Refuse(bool, void*)
{
    return false;
}

// A different colour for every sampled pixel: x and y in the low bytes.
std::uint32_t Pattern(std::uint32_t uiX, std::uint32_t uiY)
{
    return 0xFF000000u | ((uiX & 0xFF) << 16) | ((uiY & 0xFF) << 8) | ((uiX >> 8) | ((uiY >> 8) << 4));
}

class COrvaneCameraPreviewTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        if (HasFatalFailure())
            return;
        NiDX9Renderer::ResetStatics();
        NiDX9Renderer::SetDirect3DCreateFunction(&CreateNullDevice);
        m_spRenderer = NiDX9Renderer::Create(1024, 768, 0, nullptr, nullptr);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        ASSERT_TRUE(Camera().LoadSettings(1024.0f, 768.0f, 1.0f));
        Camera().GetEngineCamera()->SetRenderer(m_spRenderer);

        // The game's scene: a picture blitted over the whole back buffer.
        const NiPixelFormat kFormat = m_spRenderer->GetDefaultRenderTarget()->GetFormat()->m_kPixelFormat;
        NiPixelDataPtr spImage = new NiPixelData(1024, 768, kFormat, 1);
        auto* pui = reinterpret_cast<std::uint32_t*>(spImage->GetPixels());
        for (std::uint32_t uiY = 0; uiY < 768; ++uiY)
        {
            for (std::uint32_t uiX = 0; uiX < 1024; ++uiX)
                pui[uiY * 1024 + uiX] = Pattern(uiX, uiY);
        }
        m_spScene = new NiBltSource;
        m_spScene->SetSourcePixelData(spImage);
        Game().m_kRenderScene = [this]()
        {
            ++m_iScenes;
            m_spRenderer->Blit(m_spScene, nullptr, 0, 0);
            return 1;
        };
    }

    void TearDown() override
    {
        Game().m_kRenderScene = nullptr;
        m_spScene = nullptr;
        if (Camera().GetEngineCamera() != nullptr)
            Camera().GetEngineCamera()->SetRenderer(nullptr);
        m_spRenderer = nullptr;
        NiDX9Renderer::ResetStatics();
        NiRenderer::ClearRenderer();
        UiTest::TearDown();
    }

    [[nodiscard]] bool Lockable() const
    {
        return (m_spRenderer->GetPresentParams().Flags & gfx::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    }

    NiDX9RendererPtr m_spRenderer;
    NiBltSourcePtr m_spScene;
    int m_iScenes = 0;
};
} // namespace

TEST_F(COrvaneCameraPreviewTest, ThePreviewSamplesTheDrawnSceneAndLoadsBack)
{
    ASSERT_FALSE(Lockable());
    ASSERT_TRUE(Camera().SavePreview("first.fdp"));
    EXPECT_EQ(m_iScenes, 1);
    // The renderer is back to its own back buffer, through two resets.
    EXPECT_FALSE(Lockable());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 2u);
    EXPECT_EQ(m_spRenderer->GetWidth(), 1024u);
    std::uint32_t uiWidth = 0, uiHeight = 0, uiFlags = 9, uiOther = 0;
    gfx::WindowHandle kWindow = nullptr, kFocus = nullptr;
    gfx::D3DFORMAT eDepth = 0;
    std::int32_t iFBMode = 5;
    m_spRenderer->GetCreationParameters(uiWidth, uiHeight, uiFlags, kWindow, kFocus, uiOther, uiOther, uiOther, eDepth,
                                        uiOther, uiOther, iFBMode, uiOther, uiOther);
    EXPECT_EQ(uiFlags, 0u); // windowed stays windowed
    EXPECT_EQ(iFBMode, NiDX9Renderer::FBMODE_DEFAULT);

    // One pixel data, 128 x 96 point samples every 8th pixel.
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadFile("first.fdp"));
    ASSERT_EQ(kStream.GetObjectCount(), 1u);
    auto* pkPreview = NiDynamicCast<NiPixelData>(kStream.GetObjectAt(0));
    ASSERT_NE(pkPreview, nullptr);
    EXPECT_EQ(pkPreview->GetWidth(), 128u);
    EXPECT_EQ(pkPreview->GetHeight(), 96u);
    EXPECT_EQ(pkPreview->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(pkPreview->GetPixelFormat(), m_spRenderer->GetDefaultRenderTarget()->GetFormat()->m_kPixelFormat);
    const auto* pui = reinterpret_cast<const std::uint32_t*>(pkPreview->GetPixels());
    for (std::uint32_t uiY : {0u, 1u, 47u, 95u})
    {
        for (std::uint32_t uiX : {0u, 1u, 31u, 32u, 127u})
            EXPECT_EQ(pui[uiY * 128 + uiX] & 0xFFFFFF, Pattern(uiX * 8, uiY * 8) & 0xFFFFFF) << uiX << "," << uiY;
    }

    // The save panel's road: the file list asks the game's camera.
    COrvaneFileIOCanvas kList;
    kList.Create("", 0.0f, 0.0f, false);
    ASSERT_TRUE(kList.CapturePreview("second.fdp", 128, 96));
    EXPECT_EQ(m_iScenes, 2);
    EXPECT_GT(os::GetFileSize("second.fdp"), 128u * 96u * 4u);
    // And it shows as the preview of its save.
    WriteFileBytes("second.fds", "s");
    kList.ScanFolder();
    EXPECT_EQ(kList.GetSelected(), 0);
    EXPECT_NE(kList.GetPreview(), nullptr);
}

TEST_F(COrvaneCameraPreviewTest, AFailedCaptureWritesNoFileAndTheRendererComesBack)
{
    // Every reset refused: no back buffer to read, and the renderer resets
    // at its next frame once the refusal ends.
    int iData = 0;
    m_spRenderer->AddResetNotifyFunc(&Refuse, &iData);
    EXPECT_FALSE(Camera().SavePreview("none.fdp"));
    EXPECT_FALSE(std::filesystem::exists("none.fdp"));
    m_spRenderer->RemoveResetNotifyFunc(&Refuse, &iData);
    EXPECT_FALSE(Lockable());
    EXPECT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->EndScene();

    // Without a renderer there is nothing to draw.
    Camera().GetEngineCamera()->SetRenderer(nullptr);
    EXPECT_FALSE(Camera().SavePreview("none.fdp"));
    EXPECT_FALSE(std::filesystem::exists("none.fdp"));
}

// The save panel's picture goes in place whole: a failed capture keeps the
// old one, and a link or FIFO under the picture's temporary name is never
// written through (nor waited on).
TEST_F(COrvaneCameraPreviewTest, APreviewReplacesTheOldOneWholeAndNeverThroughALink)
{
    COrvaneFileIOCanvas kList;
    kList.Create("", 0.0f, 0.0f, false);
    WriteFileBytes("old.fdp", "the old picture");
    WriteFileBytes("elsewhere.txt", "not to be written");
    std::filesystem::create_symlink(std::filesystem::absolute("elsewhere.txt"), "old.fdp.tmp");
    ASSERT_TRUE(kList.CapturePreview("old.fdp", 128, 96));
    EXPECT_EQ(ReadFileBytes("elsewhere.txt"), "not to be written");
    EXPECT_FALSE(std::filesystem::exists("old.fdp.tmp"));
    EXPECT_FALSE(std::filesystem::is_symlink("old.fdp.tmp"));
    const std::string kPicture = ReadFileBytes("old.fdp");
    EXPECT_GT(kPicture.size(), 128u * 96u * 4u);
    // Written through the temporary file's handle, the picture is the one
    // saved by name.
    ASSERT_TRUE(Camera().SavePreview("by-name.fdp"));
    EXPECT_EQ(ReadFileBytes("by-name.fdp"), kPicture);

    ASSERT_EQ(::mkfifo("old.fdp.tmp", 0600), 0);
    ASSERT_TRUE(kList.CapturePreview("old.fdp", 128, 96));
    EXPECT_FALSE(std::filesystem::exists("old.fdp.tmp"));

    // A capture that fails leaves the picture there was.
    int iData = 0;
    m_spRenderer->AddResetNotifyFunc(&Refuse, &iData);
    EXPECT_FALSE(kList.CapturePreview("old.fdp", 128, 96));
    m_spRenderer->RemoveResetNotifyFunc(&Refuse, &iData);
    EXPECT_EQ(ReadFileBytes("old.fdp"), kPicture);
    EXPECT_FALSE(std::filesystem::exists("old.fdp.tmp"));
}
