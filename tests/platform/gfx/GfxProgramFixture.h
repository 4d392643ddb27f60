#pragma once
// Vertex and pixel programs drawn on the gl back end and read back: programs
// are written in assembly and assembled by the project's own assembler.

#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfx/GfxBackendFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gfxtest {

// The token words of an assembly text; empty (with a test failure) when it does not assemble.
inline std::vector<std::uint32_t> AssembleProgram(const std::string& text) {
    gfx::ID3DXBuffer* code = nullptr;
    gfx::ID3DXBuffer* errors = nullptr;
    const gfx::HRESULT hr =
        gfx::D3DXAssembleShader(text.data(), static_cast<std::uint32_t>(text.size()), 0, &code, &errors);
    std::vector<std::uint32_t> words;
    std::string message;
    if (errors) {
        message = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    EXPECT_EQ(hr, gfx::D3D_OK) << message << "\n" << text;
    if (code) {
        const auto* w = static_cast<const std::uint32_t*>(code->GetBufferPointer());
        words.assign(w, w + code->GetBufferSize() / 4);
        code->Release();
    }
    return words;
}

// Clip-space position, colour and two texture coordinates: a quad covering
// the whole target when drawn as a strip.
struct ProgramVertex {
    float x, y, z;
    std::uint32_t color;
    float u, v;
};
constexpr std::uint32_t kProgramVertexFvf = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

inline int ChannelOf(std::uint32_t c, int shift) { return int((c >> shift) & 0xFF); }

// A 16 x 16 device; programs by text, a quad, pixels read back.
class GlProgramTest : public GlReadBackTest {
protected:
    static constexpr int kSize = 16;
    void SetUp() override {
        GlReadBackTest::SetUp();
        if (Stopped()) return;
        ASSERT_NO_FATAL_FAILURE(CreateDevice(Windowed(kSize, kSize)));
        device->SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
        device->SetRenderState(gfx::D3DRS_LIGHTING, 0);
        Clear();
    }
    void TearDown() override {
        if (device) {
            device->SetVertexShader(nullptr);
            device->SetPixelShader(nullptr);
        }
        for (auto* v : m_vertexShaders) v->Release();
        for (auto* p : m_pixelShaders) p->Release();
        GlReadBackTest::TearDown();
    }
    void Clear(std::uint32_t color = 0xFF000000u) {
        ASSERT_EQ(device->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, color, 1.0f, 0), gfx::D3D_OK);
    }
    gfx::IDirect3DVertexShader9* Vertex(const std::string& text) {
        const auto words = AssembleProgram(text);
        gfx::IDirect3DVertexShader9* vs = nullptr;
        EXPECT_EQ(device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs), gfx::D3D_OK) << text;
        if (vs) m_vertexShaders.push_back(vs);
        return vs;
    }
    gfx::IDirect3DPixelShader9* Pixel(const std::string& text) {
        const auto words = AssembleProgram(text);
        gfx::IDirect3DPixelShader9* ps = nullptr;
        EXPECT_EQ(device->CreatePixelShader(words.data(), std::uint32_t(words.size() * 4), &ps), gfx::D3D_OK) << text;
        if (ps) m_pixelShaders.push_back(ps);
        return ps;
    }
    // The full-target quad with per-corner colour and coordinates (u, v from 0 at the top left to 1).
    void DrawQuad(std::uint32_t color = 0xFFFFFFFFu, float z = 0.5f) {
        const ProgramVertex quad[4] = {{-1, 1, z, color, 0, 0}, {1, 1, z, color, 1, 0},
                                       {-1, -1, z, color, 0, 1}, {1, -1, z, color, 1, 1}};
        ASSERT_EQ(device->SetFVF(kProgramVertexFvf), gfx::D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(gfx::D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ProgramVertex)), gfx::D3D_OK);
    }
    // Draws the quad through the two programs (either may be null: fixed function).
    void DrawWith(const std::string& vsText, const std::string& psText, std::uint32_t color = 0xFFFFFFFFu) {
        gfx::IDirect3DVertexShader9* vs = vsText.empty() ? nullptr : Vertex(vsText);
        gfx::IDirect3DPixelShader9* ps = psText.empty() ? nullptr : Pixel(psText);
        ASSERT_TRUE(vsText.empty() || vs);
        ASSERT_TRUE(psText.empty() || ps);
        ASSERT_EQ(device->SetVertexShader(vs), gfx::D3D_OK);
        ASSERT_EQ(device->SetPixelShader(ps), gfx::D3D_OK);
        DrawQuad(color);
    }
    // A 1 x 1 texture of one colour (0xAARRGGBB); the caller releases it.
    gfx::IDirect3DTexture9* OneTexel(std::uint32_t color) {
        gfx::IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, gfx::D3DFMT_A8R8G8B8, gfx::D3DPOOL_MANAGED, &texture, nullptr),
                  gfx::D3D_OK);
        gfx::D3DLOCKED_RECT lr;
        if (texture && texture->LockRect(0, &lr, nullptr, 0) == gfx::D3D_OK) {
            std::memcpy(lr.pBits, &color, 4);
            texture->UnlockRect(0);
        }
        return texture;
    }
    std::uint32_t At(int x, int y) {
        const auto px = ReadBack();
        return px.empty() ? 0 : px[std::size_t(y) * kSize + std::size_t(x)];
    }
    // A pixel against expected channels 0..255, one step either way.
    void ExpectPixel(int x, int y, double r, double g, double b, const std::string& what = {}) {
        const std::uint32_t p = At(x, y);
        EXPECT_NEAR(ChannelOf(p, 16), r, 1.01) << "red " << what;
        EXPECT_NEAR(ChannelOf(p, 8), g, 1.01) << "green " << what;
        EXPECT_NEAR(ChannelOf(p, 0), b, 1.01) << "blue " << what;
    }
    // Clears, draws the quad through what is bound and checks its centre.
    void ExpectCentreDrawn(double r, double g, double b, const std::string& what = {}) {
        Clear();
        DrawQuad();
        ExpectPixel(kSize / 2, kSize / 2, r, g, b, what);
    }
    void SetVsConstant(std::uint32_t reg, float x, float y, float z, float w) {
        const float v[4] = {x, y, z, w};
        ASSERT_EQ(device->SetVertexShaderConstantF(reg, v, 1), gfx::D3D_OK);
    }
    void SetPsConstant(std::uint32_t reg, float x, float y, float z, float w) {
        const float v[4] = {x, y, z, w};
        ASSERT_EQ(device->SetPixelShaderConstantF(reg, v, 1), gfx::D3D_OK);
    }

    std::vector<gfx::IDirect3DVertexShader9*> m_vertexShaders;
    std::vector<gfx::IDirect3DPixelShader9*> m_pixelShaders;
};

// The vertex program most pixel tests draw through: position as given,
// colour and coordinates passed on.
inline const char* kPassVertex = "vs_2_0\n"
                                 "dcl_position v0\n"
                                 "dcl_color v1\n"
                                 "dcl_texcoord v2\n"
                                 "mov oPos, v0\n"
                                 "mov oD0, v1\n"
                                 "mov oT0, v2\n";

} // namespace gfxtest
