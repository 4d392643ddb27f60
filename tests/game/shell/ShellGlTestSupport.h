#pragma once

// The engine as the game starts it, drawing on the gl device: shared by the
// shell's drawing tests so that each starts and stops the same process-wide
// state in the same order.

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "tests/platform/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace shell_gl_test
{
// What a test starts besides the scene and renderer libraries; StopEngine
// takes the same value so that what was started is stopped.
struct EngineParts
{
    bool m_bAnimation = false;
    bool m_bShaderFactory = false;
};

inline gfx::IDirect3D9* CreateGlTop(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Gl);
}

inline void StartEngine(EngineParts kParts)
{
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    NiMainLibrary::Init();
    if (kParts.m_bAnimation)
        NiAnimationLibrary::Init();
    NiDX9RendererLibraryReset();
    NiDX9RendererLibraryStartup();
    NiDX9Renderer::ResetStatics();
    NiRenderer::ClearRenderer();
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    if (kParts.m_bShaderFactory)
        NiD3DShaderFactory::Create();
}

// The renderer on the gl device with a lockable uiWidth x uiHeight back
// buffer cleared to black. Left null with the test skipped where the
// caller's driver offers no OpenGL, and with a fatal failure otherwise: the
// caller returns when IsSkipped() or HasFatalFailure().
inline void CreateGlRenderer(std::uint32_t uiWidth, std::uint32_t uiHeight, NiDX9RendererPtr& spRenderer)
{
    gfxtest::UseDriverFor(gfx::BackendKind::Gl);
    NiDX9Renderer::SetDirect3DCreateFunction(&CreateGlTop);
    if (NiDX9Renderer::LoadD3D9() != 0)
    {
        if (gfxtest::CallerDriver() == "dummy")
            GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        FAIL() << "no device top object";
    }
    spRenderer = NiDX9Renderer::Create(uiWidth, uiHeight, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                       NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                       NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    ASSERT_NE(spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    spRenderer->SetBackgroundColor(NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f));
}

// Drops the renderer, then what StartEngine started, last first.
inline void StopEngine(EngineParts kParts, NiDX9RendererPtr& spRenderer)
{
    spRenderer = nullptr;
    if (kParts.m_bShaderFactory)
        NiD3DShaderFactory::Destroy();
    NiImageConverter::ReleaseCurrent();
    NiDX9Renderer::ResetStatics();
    NiRenderer::ClearRenderer();
    NiDX9RendererLibraryReset();
    if (kParts.m_bAnimation)
        NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
    NiObjectStream::StaticShutdown();
}
} // namespace shell_gl_test
