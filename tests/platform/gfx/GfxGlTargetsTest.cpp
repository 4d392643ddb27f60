// Several render targets at once: on gl each target read back receives the
// program's colour of its index (assembly oCn and high-level COLORn), with
// its own write mask, blending and format; on both back ends the binding
// rules and clears.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

using namespace gfx;
using gfxtest::Ref;

namespace {

constexpr std::uint32_t kRedPx = 0xFFFF0000u, kGreenPx = 0xFF00FF00u, kBluePx = 0xFF0000FFu, kWhitePx = 0xFFFFFFFFu;

// Colour n of the program: red, green, blue, white for targets 0-3.
const char* kFourColours = "ps_2_0\n"
                           "def c0, 1, 0, 0, 1\ndef c1, 0, 1, 0, 1\ndef c2, 0, 0, 1, 1\ndef c3, 1, 1, 1, 1\n"
                           "mov oC0, c0\nmov oC1, c1\nmov oC2, c2\nmov oC3, c3\n";

class GfxGlTargets : public gfxtest::GlProgramTest {
protected:
    void TearDown() override {
        if (device)
            for (std::uint32_t i = 1; i < 4; ++i) device->SetRenderTarget(i, nullptr);
        m_levels.clear();
        m_textures.clear();
        gfxtest::GlProgramTest::TearDown();
    }
    // A target texture's level 0, bound at `index`.
    IDirect3DSurface9* Bind(std::uint32_t index, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        auto& texture = m_textures.emplace_back();
        EXPECT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture, nullptr),
                  D3D_OK);
        if (!texture) return nullptr;
        auto& level = m_levels.emplace_back();
        EXPECT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
        EXPECT_EQ(device->SetRenderTarget(index, level.get()), D3D_OK);
        return level.get();
    }
    // Pixel (x, 8) of a target, as 0xAARRGGBB (R5G6B5 widened).
    std::uint32_t TargetPixel(IDirect3DSurface9* target, int x = 8) {
        Ref<IDirect3DSurface9> copy;
        D3DSURFACE_DESC d;
        EXPECT_EQ(target->GetDesc(&d), D3D_OK);
        EXPECT_EQ(device->CreateOffscreenPlainSurface(kSize, kSize, d.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(target, copy.get()), D3D_OK);
        D3DLOCKED_RECT lr;
        if (copy->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return 0;
        const std::uint8_t* row = static_cast<const std::uint8_t*>(lr.pBits) + 8 * lr.Pitch;
        std::uint32_t out = 0;
        if (d.Format == D3DFMT_R5G6B5) {
            std::uint16_t p;
            std::memcpy(&p, row + 2 * x, 2);
            out = 0xFF000000u | ((p >> 11) * 255 / 31) << 16 | (((p >> 5) & 63) * 255 / 63) << 8 | (p & 31) * 255 / 31;
        } else {
            std::memcpy(&out, row + 4 * x, 4);
        }
        copy->UnlockRect();
        return out;
    }
    std::deque<Ref<IDirect3DTexture9>> m_textures;
    std::deque<Ref<IDirect3DSurface9>> m_levels;
};

TEST_P(GfxGlTargets, EachTargetTakesTheProgramsColourOfItsIndex) {
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_EQ(caps.NumSimultaneousRTs, 4u);
    IDirect3DSurface9* t0 = Bind(0);
    IDirect3DSurface9* t1 = Bind(1);
    IDirect3DSurface9* t3 = Bind(3); // index 2 left empty
    ASSERT_TRUE(t0 && t1 && t3);
    Clear();
    DrawWith(gfxtest::kPassVertex, kFourColours);
    EXPECT_EQ(TargetPixel(t0), kRedPx);
    EXPECT_EQ(TargetPixel(t1), kGreenPx);
    EXPECT_EQ(TargetPixel(t3), kWhitePx);
    // Unbound again, target 1 keeps what it has.
    ASSERT_EQ(device->SetRenderTarget(1, nullptr), D3D_OK);
    Clear(0xFF000000u);
    DrawWith(gfxtest::kPassVertex, "ps_2_0\ndef c0, 0, 0, 1, 1\nmov oC0, c0\nmov oC1, c0\n");
    EXPECT_EQ(TargetPixel(t0), kBluePx);
    EXPECT_EQ(TargetPixel(t1), kGreenPx);
    EXPECT_EQ(TargetPixel(t3), 0xFF000000u) << "cleared with target 0, not written since";
    // Fixed-function stages write target 0 alone.
    DrawWith(gfxtest::kPassVertex, "", kWhitePx);
    EXPECT_EQ(TargetPixel(t0), kWhitePx);
    EXPECT_EQ(TargetPixel(t3), 0xFF000000u);
}

TEST_P(GfxGlTargets, TheBackBufferKeepsItsPictureWhenATargetJoinsIt) {
    Clear(kRedPx);
    IDirect3DSurface9* t1 = Bind(1);
    ASSERT_NE(t1, nullptr);
    // The left half only: green into the back buffer, blue into target 1.
    struct V {
        float x, y, z, rhw;
    };
    const float b = kSize - 0.5f;
    const V half[4] = {{-0.5f, -0.5f, 0.5f, 1}, {7.5f, -0.5f, 0.5f, 1}, {-0.5f, b, 0.5f, 1}, {7.5f, b, 0.5f, 1}};
    ASSERT_EQ(device->SetPixelShader(Pixel("ps_2_0\ndef c0, 0, 1, 0, 1\ndef c1, 0, 0, 1, 1\nmov oC0, c0\nmov oC1, c1\n")),
              D3D_OK);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, half, sizeof(V)), D3D_OK);
    const auto back = ReadBack();
    ASSERT_EQ(back.size(), std::size_t(kSize * kSize));
    EXPECT_EQ(back[8 * kSize + 3], kGreenPx);
    EXPECT_EQ(back[8 * kSize + 12], kRedPx) << "the picture from before the target joined";
    const std::uint32_t left = TargetPixel(t1, 3);
    EXPECT_EQ(left, kBluePx);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_P(GfxGlTargets, HighLevelColourOutputsReachTheirTargets) {
    const std::string source = "struct Out { float4 a : COLOR0; float4 b : COLOR1; float4 c : COLOR2; };\n"
                               "Out main() { Out o; o.a = float4(0, 0, 1, 1); o.b = float4(1, 0, 0, 1);\n"
                               "              o.c = float4(0, 1, 0, 1); return o; }\n";
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", "ps_2_0", 0, &code, &errors, nullptr),
              D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    Ref<IDirect3DPixelShader9> ps;
    ASSERT_EQ(device->CreatePixelShader(static_cast<const std::uint32_t*>(code->GetBufferPointer()), code->GetBufferSize(),
                                        &ps),
              D3D_OK);
    code->Release();
    IDirect3DSurface9* t0 = Bind(0);
    IDirect3DSurface9* t1 = Bind(1);
    IDirect3DSurface9* t2 = Bind(2);
    ASSERT_TRUE(t0 && t1 && t2);
    Clear();
    ASSERT_EQ(device->SetVertexShader(Vertex(gfxtest::kPassVertex)), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(ps.get()), D3D_OK);
    DrawQuad();
    EXPECT_EQ(TargetPixel(t0), kBluePx);
    EXPECT_EQ(TargetPixel(t1), kRedPx);
    EXPECT_EQ(TargetPixel(t2), kGreenPx);
    device->SetPixelShader(nullptr);
}

TEST_P(GfxGlTargets, TargetsHaveTheirOwnWriteMasksAndAllBlend) {
    IDirect3DSurface9* t0 = Bind(0);
    IDirect3DSurface9* t1 = Bind(1);
    ASSERT_TRUE(t0 && t1);
    // Target 1 writes red and alpha only: blue stays under the white.
    Clear(kBluePx);
    device->SetRenderState(D3DRS_COLORWRITEENABLE1, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA);
    DrawWith(gfxtest::kPassVertex, "ps_2_0\ndef c0, 1, 1, 1, 1\nmov oC0, c0\nmov oC1, c0\n");
    EXPECT_EQ(TargetPixel(t0), kWhitePx);
    EXPECT_EQ(TargetPixel(t1), 0xFFFF00FFu);
    device->SetRenderState(D3DRS_COLORWRITEENABLE1, 0xF);
    // Added onto dark red, each target its own colour.
    Clear(0xFF400000u);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    DrawWith(gfxtest::kPassVertex, kFourColours);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    EXPECT_EQ(TargetPixel(t0), 0xFFFF0000u);
    EXPECT_EQ(TargetPixel(t1), 0xFF40FF00u);
}

TEST_P(GfxGlTargets, TargetsMayDifferInFormat) {
    IDirect3DSurface9* t0 = Bind(0);
    IDirect3DSurface9* t1 = Bind(1, D3DFMT_R5G6B5);
    ASSERT_TRUE(t0 && t1);
    Clear();
    DrawWith(gfxtest::kPassVertex, "ps_2_0\ndef c0, 0, 0, 1, 1\ndef c1, 1, 0, 1, 1\nmov oC0, c0\nmov oC1, c1\n");
    EXPECT_EQ(TargetPixel(t0), kBluePx);
    EXPECT_EQ(TargetPixel(t1), 0xFFFF00FFu);
}

// A half float's value (normal numbers, zero and the sign).
float FromHalf(std::uint16_t h) {
    const int exponent = (h >> 10) & 31;
    const float magnitude = exponent == 0 ? std::ldexp(float(h & 0x3FF), -24)
                                          : std::ldexp(float((h & 0x3FF) | 0x400), exponent - 25);
    return (h & 0x8000) ? -magnitude : magnitude;
}

// The channels of pixel (x, y) of a float surface read back: as many as
// the format has, red first.
std::vector<float> FloatPixel(IDirect3DSurface9* copy, D3DFORMAT format, int x, int y) {
    const bool half = format == D3DFMT_R16F || format == D3DFMT_G16R16F || format == D3DFMT_A16B16G16R16F;
    const int channels = (format == D3DFMT_R16F || format == D3DFMT_R32F)       ? 1
                         : (format == D3DFMT_G16R16F || format == D3DFMT_G32R32F) ? 2
                                                                                  : 4;
    std::vector<float> out;
    D3DLOCKED_RECT lr;
    if (copy->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return out;
    const auto* at = static_cast<const std::uint8_t*>(lr.pBits) + std::size_t(y) * std::size_t(lr.Pitch) +
                     std::size_t(x) * std::size_t(channels) * (half ? 2 : 4);
    for (int c = 0; c < channels; ++c) {
        if (half) {
            std::uint16_t h;
            std::memcpy(&h, at + 2 * c, 2);
            out.push_back(FromHalf(h));
        } else {
            float f;
            std::memcpy(&f, at + 4 * c, 4);
            out.push_back(f);
        }
    }
    copy->UnlockRect();
    return out;
}

// The six float formats OpenGL 3.3 renders to are targets of both kinds:
// values beyond 0..1, negative ones too, are kept whole and read back by
// GetRenderTargetData in the format's own layout.
TEST_P(GfxGlTargets, FloatFormatsKeepValuesBeyondZeroToOne) {
    const float value[4] = {-2.5f, 3.25f, 0.5f, 17.0f};
    const char* program = "ps_2_0\ndef c0, -2.5, 3.25, 0.5, 17\nmov oC0, c0\n";
    for (D3DFORMAT format : {D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_R32F, D3DFMT_G32R32F,
                             D3DFMT_A32B32G32R32F}) {
        SCOPED_TRACE(format);
        for (std::uint32_t type : {D3DRTYPE_SURFACE, D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE})
            EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, type, format),
                      D3D_OK);
        EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, format, D3DFMT_D24S8), D3D_OK);
        // A surface of its own and a texture's level.
        Ref<IDirect3DSurface9> surface;
        ASSERT_EQ(device->CreateRenderTarget(kSize, kSize, format, D3DMULTISAMPLE_NONE, 0, 0, &surface, nullptr), D3D_OK);
        IDirect3DSurface9* level = Bind(0, format);
        ASSERT_NE(level, nullptr);
        for (IDirect3DSurface9* target : {surface.get(), level}) {
            ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
            DrawWith(gfxtest::kPassVertex, program);
            Ref<IDirect3DSurface9> copy;
            ASSERT_EQ(device->CreateOffscreenPlainSurface(kSize, kSize, format, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
            ASSERT_EQ(device->GetRenderTargetData(target, copy.get()), D3D_OK);
            const std::vector<float> got = FloatPixel(copy.get(), format, 5, 9);
            ASSERT_FALSE(got.empty());
            for (std::size_t c = 0; c < got.size(); ++c) EXPECT_EQ(got[c], value[c]) << "channel " << c;
        }
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        ASSERT_EQ(device->SetRenderTarget(0, back.get()), D3D_OK);
    }
    // Not a back buffer's format: the window shows eight-bit colour.
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A16B16G16R16F, 1), D3DERR_NOTAVAILABLE);
}

// A pixel program's alpha meets the alpha test as the target keeps it: 1.5
// passes "greater than 1" on a float target, and is held to 1 (and fails) on
// an eight-bit one.
TEST_P(GfxGlTargets, AlphaTestSeesAlphaAsTheTargetKeepsIt) {
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 255);
    const char* program = "ps_2_0\ndef c0, 0, 1, 0, 1.5\nmov oC0, c0\n";
    IDirect3DSurface9* floats = Bind(0, D3DFMT_A32B32G32R32F);
    ASSERT_NE(floats, nullptr);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    DrawWith(gfxtest::kPassVertex, program);
    Ref<IDirect3DSurface9> copy;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(floats, copy.get()), D3D_OK);
    EXPECT_EQ(FloatPixel(copy.get(), D3DFMT_A32B32G32R32F, 8, 8), (std::vector<float>{0, 1, 0, 1.5f}));

    IDirect3DSurface9* bytes = Bind(0);
    ASSERT_NE(bytes, nullptr);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    DrawWith(gfxtest::kPassVertex, program);
    EXPECT_EQ(TargetPixel(bytes), kRedPx); // 1.5 held to 1: not greater, the clear colour stays
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
}

INSTANTIATE_TEST_SUITE_P(, GfxGlTargets, ::testing::Bool(), gfxtest::GlReadBackParamName);

// ---- both back ends: binding rules and clears ----------------------------------------------------

class GfxTargetBinding : public gfxtest::BackendTest {};
GFX_BOTH_BACKENDS(GfxTargetBinding);

TEST_P(GfxTargetBinding, FourIndicesBindAndEveryBoundTargetIsCleared) {
    ASSERT_NO_FATAL_FAILURE(Create(gfxtest::Windowed(8, 8)));
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.NumSimultaneousRTs, 4u);
    EXPECT_EQ(caps.PrimitiveMiscCaps & (D3DPMISCCAPS_INDEPENDENTWRITEMASKS | D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS |
                                        D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING),
              D3DPMISCCAPS_INDEPENDENTWRITEMASKS | D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS |
                  D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING);
    Ref<IDirect3DSurface9> a, b;
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, 1, &a, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, 1, &b, nullptr), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(4, a.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(3, a.get()), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(1, b.get()), D3D_OK);
    Ref<IDirect3DSurface9> got, none;
    ASSERT_EQ(device->GetRenderTarget(3, &got), D3D_OK);
    EXPECT_EQ(got.get(), a.get());
    EXPECT_EQ(device->GetRenderTarget(2, &none), D3DERR_NOTFOUND);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), D3D_OK);
    for (IDirect3DSurface9* s : {a.get(), b.get()}) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(s->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::uint32_t p;
        std::memcpy(&p, static_cast<const std::uint8_t*>(lr.pBits) + 3 * lr.Pitch + 12, 4);
        EXPECT_EQ(p, 0xFF123456u);
        s->UnlockRect();
    }
    ASSERT_EQ(device->SetRenderTarget(3, nullptr), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(1, nullptr), D3D_OK);
    EXPECT_EQ(device->GetRenderTarget(1, &none), D3DERR_NOTFOUND);
}

} // namespace
