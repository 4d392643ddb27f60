#pragma once
// The device renderer's tests run on both back ends: `gl` on SDL's offscreen
// driver (GL through EGL) and `null`. Each test starts from a fresh process
// state: no current renderer, no device top object, no description.

#include "engine/render/NiDX9Renderer.h"
#include "tests/platform/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

namespace rendertest
{
inline gfx::IDirect3D9* CreateGl(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Gl);
}

inline gfx::IDirect3D9* CreateNull(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null);
}

class RendererTest : public ::testing::TestWithParam<gfx::BackendKind>
{
public:
    void SetUp() override
    {
        gfxtest::UseDriverFor(GetParam());
        NiDX9Renderer::ResetStatics();
        NiTexture::ResetReplacements();
        NiRenderer::ClearRenderer();
        NiDX9Renderer::SetDirect3DCreateFunction(GetParam() == gfx::BackendKind::Gl ? &CreateGl : &CreateNull);
        // Buffer misuse is counted in every renderer test; a test that
        // provokes some says how many.
        gfx::ResetStrictBufferChecks();
        gfx::SetStrictBufferChecks(true);
        if (NiDX9Renderer::LoadD3D9() != 0)
        {
            if (GetParam() == gfx::BackendKind::Gl && gfxtest::CallerDriver() == "dummy")
                GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
            FAIL() << "no device top object";
        }
    }

    void TearDown() override
    {
        EXPECT_EQ(gfx::StrictBufferViolations(), m_uiExpectedViolations);
        gfx::ResetStrictBufferChecks();
        ReleaseRendererAndCheckDevice();
        NiDX9Renderer::ResetStatics();
        NiTexture::ResetReplacements();
        NiRenderer::ClearRenderer();
    }

    // A windowed renderer with the framework's creation values.
    NiDX9RendererPtr CreateWindowed(std::uint32_t uiFlags = 0, std::uint32_t eDesc = NiDX9Renderer::DEVDESC_PURE,
                                    std::int32_t iFBMode = NiDX9Renderer::FBMODE_DEFAULT,
                                    std::uint32_t uiAdapter = 0)
    {
        return NiDX9Renderer::Create(64, 48, uiFlags, nullptr, nullptr, uiAdapter, eDesc, 0, 0,
                                     NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                     iFBMode, 1, 0);
    }

    // The renderer goes; nothing it made on the device may outlive it: the
    // device itself, its resources, its declarations and shaders.
    void ReleaseRendererAndCheckDevice()
    {
        if (m_spRenderer == nullptr)
            return;
        gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        if (pkDevice == nullptr)
        {
            m_spRenderer = nullptr;
            return;
        }
        pkDevice->AddRef();
        m_spRenderer = nullptr;
        EXPECT_EQ(pkDevice->LiveResources(), 0u) << "device resources outlive the renderer";
        EXPECT_EQ(pkDevice->LiveChildren(), 0u) << "declarations or shaders outlive the renderer";
        EXPECT_EQ(pkDevice->Release(), 0u) << "the device outlives the renderer";
    }

    NiDX9RendererPtr m_spRenderer;
    std::uint32_t m_uiExpectedViolations = 0;
};

inline std::string BackendName(const ::testing::TestParamInfo<gfx::BackendKind>& kInfo)
{
    return gfxtest::KindName(kInfo.param);
}
} // namespace rendertest

#define RENDERER_BOTH_BACKENDS(Suite)                                                                          \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(gfx::BackendKind::Null, gfx::BackendKind::Gl),          \
                             rendertest::BackendName)
