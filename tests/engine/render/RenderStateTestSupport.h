#pragma once
// The state cache, light manager and constant cache tests run on the null
// back end and read the state calls the device recorded.

#include "engine/render/NiDX9Renderer.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace rendertest
{
class StateCallTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        gfxtest::UseDriverFor(gfx::BackendKind::Null);
        NiDX9Renderer::ResetStatics();
        NiTexture::ResetReplacements();
        NiRenderer::ClearRenderer();
        NiDX9Renderer::SetDirect3DCreateFunction(&CreateNull);
        ASSERT_EQ(NiDX9Renderer::LoadD3D9(), 0);
    }

    void TearDown() override
    {
        m_spRenderer = nullptr;
        NiDX9Renderer::ResetStatics();
        NiTexture::ResetReplacements();
        NiRenderer::ClearRenderer();
    }

    // A windowed renderer with the framework's values; its device records calls.
    NiDX9Renderer* Create(std::uint32_t uiFlags = 0, std::uint32_t eDesc = NiDX9Renderer::DEVDESC_PURE)
    {
        m_spRenderer = NiDX9Renderer::Create(64, 48, uiFlags, nullptr, nullptr, 0, eDesc, 0, 0,
                                             NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE,
                                             NiDX9Renderer::SWAPEFFECT_DEFAULT, 0, 1, 0);
        if (m_spRenderer == nullptr)
            return nullptr;
        Device()->SetCallRecording(true);
        Device()->ClearStateCalls();
        return m_spRenderer;
    }

    [[nodiscard]] gfx::IDirect3DDevice9* Device() const { return m_spRenderer->GetD3DDevice(); }
    [[nodiscard]] const std::vector<gfx::StateCall>& Calls() const { return Device()->StateCalls(); }
    void ClearCalls() const { Device()->ClearStateCalls(); }

    // The calls of one kind, optionally only those for one index.
    [[nodiscard]] std::vector<gfx::StateCall> CallsOf(gfx::StateCall::Kind eKind, std::int64_t iIndex = -1) const
    {
        std::vector<gfx::StateCall> kOut;
        for (const gfx::StateCall& k : Calls())
            if (k.kind == eKind && (iIndex < 0 || k.index == std::uint32_t(iIndex)))
                kOut.push_back(k);
        return kOut;
    }
    // Render states in the order they reached the device, as (state, value).
    [[nodiscard]] std::vector<std::pair<std::uint32_t, std::uint32_t>> RenderStateCalls() const
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> kOut;
        for (const gfx::StateCall& k : Calls())
            if (k.kind == gfx::StateCall::Kind::SetRenderState)
                kOut.emplace_back(k.index, k.value);
        return kOut;
    }
    // The value the device holds for a render state.
    [[nodiscard]] std::uint32_t DeviceState(std::uint32_t uiState) const
    {
        std::uint32_t uiValue = 0;
        EXPECT_EQ(Device()->GetRenderState(uiState, &uiValue), gfx::D3D_OK);
        return uiValue;
    }

    NiDX9RendererPtr m_spRenderer;
};

inline std::uint32_t Bits(float f)
{
    std::uint32_t ui;
    std::memcpy(&ui, &f, sizeof ui);
    return ui;
}
} // namespace rendertest
