#include "tests/framework/UiTestSupport.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWindow.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiSceneLibrary.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<COrvaneGame> UiTestGameFactory::CreateGame()
{
    auto pkGame = std::make_unique<UiTestGame>();
    m_pkGame = pkGame.get();
    return pkGame;
}

void UiTest::SetUp()
{
    FrameworkTest::SetUp();
    // The engine as the start-up brings it up: scene-file classes, image readers.
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    NiMainLibrary::Init();
    COrvaneRendererFactory::Set(&m_kRenderers);
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_NE(pkApp, nullptr);
    ASSERT_TRUE(pkApp->Init(nullptr, m_kFactory, 1024, 768));
    Game().SetScreenSize(1024, 768);
    Game().SetMouse(std::make_unique<CZelmarMouse>());
    Game().SetKeyboard(std::make_unique<UiTestKeyboard>());
    Game().SetCamera(std::make_unique<CZelmarCamera>());
    Game().SetLocale(std::make_unique<UiTestLocale>());
    // The renderer holder's converter: every image file kind.
    NiImageConverter::SetCurrent(new NiImageFileConverter);
}

std::int16_t UiTestLocale::FindList(const char* pcName) const
{
    for (std::size_t i = 0; i < m_kLists.size(); ++i)
    {
        if (m_kLists[i].find(pcName) != std::string::npos)
            return static_cast<std::int16_t>(i);
    }
    return -1;
}

COrvaneFont* UiTestLocale::GetFont(std::int32_t iIndex) const
{
    return iIndex >= 0 && static_cast<std::size_t>(iIndex) < m_kFonts.size() ? m_kFonts[static_cast<std::size_t>(iIndex)]
                                                                              : nullptr;
}

UiTestLocale& UiTest::Locale() const
{
    return static_cast<UiTestLocale&>(*Game().GetLocale());
}

void UiTest::WriteImage(const std::filesystem::path& kPath, std::uint16_t usWidth, std::uint16_t usHeight,
                        std::uint8_t ucDepth, const std::vector<std::uint8_t>& kPixels)
{
    if (kPath.has_parent_path())
        std::filesystem::create_directories(kPath.parent_path());
    ASSERT_TRUE(WriteTga(kPath.string(), usWidth, usHeight, ucDepth, kPixels)) << kPath;
}

void UiTest::WriteFilled(const std::filesystem::path& kPath, std::uint16_t usWidth, std::uint16_t usHeight,
                         std::uint8_t ucRed, std::uint8_t ucGreen, std::uint8_t ucBlue)
{
    std::vector<std::uint8_t> kPixels;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(usWidth) * usHeight; ++i)
        kPixels.insert(kPixels.end(), {ucRed, ucGreen, ucBlue});
    WriteImage(kPath, usWidth, usHeight, 24, kPixels);
}

void UiTest::TearDown()
{
    const bool bDevice = m_spDevice != nullptr;
    m_spDevice = nullptr;
    // The cameras hold the device renderer: it goes with them, before the
    // shader pools it drew with.
    COrvaneApplication::DestroyInstance();
    if (bDevice)
    {
        NiDX9Renderer::ResetStatics();
        NiRenderer::ClearRenderer();
        NiDX9RendererLibraryReset();
    }
    NiMainLibrary::Shutdown();
    NiMainLibrary::Reset();
    NiObjectStream::StaticShutdown();
    FrameworkTest::TearDown();
}

CZelmarMouse& UiTest::Mouse() const
{
    return static_cast<CZelmarMouse&>(*Game().GetMouse());
}

UiTestKeyboard& UiTest::Keyboard() const
{
    return static_cast<UiTestKeyboard&>(*Game().GetKeyboard());
}

CZelmarCamera& UiTest::Camera() const
{
    return static_cast<CZelmarCamera&>(*Game().GetCamera());
}

os::WindowHandle UiTest::Window() const
{
    return COrvaneApplication::Get()->GetWindow()->GetHandle();
}

void UiTest::StartRenderer()
{
    COrvaneWindow* pkWindow = COrvaneApplication::Get()->GetWindow();
    ASSERT_TRUE(pkWindow->CreateRenderer());
    ASSERT_TRUE(Camera().LoadSettings(1024.0f, 768.0f, 1.0f));
    ASSERT_TRUE(AttachRendererToCamera(Camera(), *pkWindow->GetRenderer()));
    ASSERT_TRUE(Camera().CreateScreenRoot());
}

namespace
{
gfx::IDirect3D9* CreateNullDevice(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null);
}
} // namespace

void UiTest::StartDeviceRenderer()
{
    // The shader framework's pools, as the game's start-up makes them.
    NiDX9RendererLibraryReset();
    NiDX9RendererLibraryStartup();
    NiDX9Renderer::ResetStatics();
    NiDX9Renderer::SetDirect3DCreateFunction(&CreateNullDevice);
    m_spDevice = NiDX9Renderer::Create(1024, 768, 0, nullptr, nullptr);
    ASSERT_NE(m_spDevice, nullptr) << NiDX9Renderer::GetLastErrorString();
    ASSERT_TRUE(Camera().LoadSettings(1024.0f, 768.0f, 1.0f));
    Camera().GetEngineCamera()->SetRenderer(m_spDevice);
    // The screen camera, which the fonts draw through.
    ASSERT_TRUE(Camera().CreateScreenRoot());
}

std::vector<std::uint8_t> UiTest::PackedVertexBytes(const NiDX9GeometryBufferData* pkRecord, std::uint32_t uiBytes)
{
    if (pkRecord == nullptr || pkRecord->GetStream(0) == nullptr)
        return {};
    const NiDX9VertexBufferRange& kRange = *pkRecord->GetStream(0);
    void* pv = nullptr;
    if (kRange.m_pkVB->Lock(kRange.m_uiOffset, uiBytes, &pv, gfx::D3DLOCK_READONLY) != gfx::D3D_OK)
        return {};
    std::vector<std::uint8_t> kBytes(static_cast<const std::uint8_t*>(pv), static_cast<const std::uint8_t*>(pv) + uiBytes);
    kRange.m_pkVB->Unlock();
    return kBytes;
}

void UiTest::WriteFont(const std::filesystem::path& kDescription, const std::string& kChars,
                       const std::vector<std::uint32_t>& kWidths, std::uint32_t uiPerBand, std::uint32_t uiHeight)
{
    const std::uint32_t uiBands = static_cast<std::uint32_t>((kWidths.size() + uiPerBand - 1) / uiPerBand);
    std::uint32_t uiImageWidth = 2;
    for (std::uint32_t b = 0; b < uiBands; ++b)
    {
        std::uint32_t uiBand = 1;
        for (std::size_t i = b * uiPerBand; i < kWidths.size() && i < (b + 1) * uiPerBand; ++i)
            uiBand += kWidths[i] + 3;
        uiImageWidth = std::max(uiImageWidth, uiBand + 1);
    }
    const std::uint32_t uiImageHeight = uiBands * (uiHeight + 1) + 1;
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(uiImageWidth) * uiImageHeight * 3, 0);
    auto Set = [&](std::uint32_t x, std::uint32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = &kPixels[(static_cast<std::size_t>(y) * uiImageWidth + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    };
    for (std::uint32_t b = 0; b <= uiBands; ++b)
        Set(0, b * (uiHeight + 1), 255, 0, 255);
    for (std::uint32_t b = 0; b < uiBands; ++b)
    {
        std::uint32_t uiStart = 1;
        for (std::size_t i = b * uiPerBand; i < kWidths.size() && i < (b + 1) * uiPerBand; ++i)
        {
            const std::uint32_t uiMarker = uiStart + kWidths[i] + 2;
            Set(uiMarker, b * (uiHeight + 1), 255, 0, 255);
            for (std::uint32_t y = 1; y <= uiHeight; ++y)
                for (std::uint32_t x = uiStart; x < uiStart + kWidths[i]; ++x)
                    Set(x, b * (uiHeight + 1) + y, 255, 255, 255);
            uiStart = uiMarker + 1;
        }
    }
    const std::filesystem::path kImage = kDescription.parent_path() / (kDescription.stem().string() + ".tga");
    WriteImage(kImage, static_cast<std::uint16_t>(uiImageWidth), static_cast<std::uint16_t>(uiImageHeight), 24,
               kPixels);
    WriteFileBytes(kDescription, "font\r\n" + kImage.filename().string() + "\r\nglyphs\r\n" + kChars + "\r\n");
}
