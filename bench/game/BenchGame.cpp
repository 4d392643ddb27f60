#include "bench/game/BenchGame.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiLibraryRegistry.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiMessageBox.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneDebugOptions.h"
#include "framework/COrvaneInterface.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneShaderFactory.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsSystem.h"

#include <cstdio>
#include <cstdlib>

namespace
{
void ResetLayers()
{
    COrvaneApplication::DestroyInstance();
    COrvaneWindow::ResetInstance();
    COrvaneApplication::ResetSettings();
    COrvaneDebugOptions::ResetInstance();
    COrvaneCamera::ResetScreenRootFlag();
    COrvaneWidget::ResetScreenScale();
    COrvaneInterface::ReleaseActivePanel();
    COrvaneRendererFactory::Set(nullptr);
    COrvaneShaderFactory::Set(nullptr);
    NiRenderer::ResetRenderer();
    NiImageConverter::ReleaseCurrent();
    NiLibraryRegistry::Reset();
    COrvaneComposite::ResetProcessState();
    NiCloneContext::ResetDefaults();
    NiResetMessageBoxFunction();
    CCamera::ResetCurrent();
    CGame::ResetStatics();
    os::Reset();
}
} // namespace

void UseOffscreenDrivers()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // 0: keep the caller's choice
    // Every frame drawn at once: the programs count frames, not the display's refreshes.
    setenv("ORVANE_EVERY_FRAME", "1", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("ORVANE_GFX_BACKEND", "gl", 0);
}

DemoFolder::~DemoFolder()
{
    std::error_code kError;
    if (!m_kPrevious.empty())
        std::filesystem::current_path(m_kPrevious, kError);
    if (!m_kFolder.empty())
        std::filesystem::remove_all(m_kFolder, kError);
}

bool DemoFolder::Create(const char* pcDemoData)
{
    std::string kTemplate = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(kTemplate.data()) == nullptr)
    {
        std::fprintf(stderr, "bench: cannot make a temporary folder\n");
        return false;
    }
    m_kFolder = kTemplate;
    std::error_code kError;
    std::filesystem::copy(pcDemoData, m_kFolder, std::filesystem::copy_options::recursive, kError);
    if (kError)
    {
        std::fprintf(stderr, "bench: cannot copy the demo data from %s: %s\n", pcDemoData, kError.message().c_str());
        return false;
    }
    m_kPrevious = std::filesystem::current_path();
    std::filesystem::current_path(m_kFolder);
    return true;
}

FreshProcess::FreshProcess()
{
    (void)os::Startup();
    ResetLayers();
    NiMainLibrary::Reset();
    NiMainLibrary::RegisterOnce();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiAnimationLibrary::Reset();
    NiAnimationLibrary::RegisterOnce();
    NiDX9RendererLibraryInit();
    NiDX9Renderer::ResetStatics();
    COrvaneRendererFactory::Set(&m_kRenderers);
    os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
        m_kBoxes.emplace_back(kText);
        return 1;
    });
}

FreshProcess::~FreshProcess()
{
    COrvaneApplication::DestroyInstance();
    COrvaneRendererFactory::Set(nullptr);
    NiDX9Renderer::ResetStatics();
    NiAnimationLibrary::Reset();
    NiMainLibrary::Reset();
    ResetLayers();
}
