// Sampler states and texture kinds read back on `gl`: border addressing,
// anisotropic filtering, mipmapped cube maps and float textures, each drawn
// by the fixed-function stages (and float texels by programs too) against
// values worked out here.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <vector>

using namespace gfx;
using gfxtest::ChannelOf;
using gfxtest::Ref;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

// A half float of a value it holds exactly (normal numbers and 0).
std::uint16_t Half(float f) {
    const std::uint32_t b = std::bit_cast<std::uint32_t>(f);
    if ((b & 0x7FFFFFFFu) == 0) return std::uint16_t(b >> 16);
    const std::uint32_t sign = (b >> 16) & 0x8000u;
    const std::int32_t exponent = std::int32_t((b >> 23) & 0xFF) - 127 + 15;
    return std::uint16_t(sign | std::uint32_t(exponent) << 10 | ((b >> 13) & 0x3FFu));
}

// Writes texel (x, y) of a locked level: `values` as the format stores them,
// red first, as many as it has channels.
void PutTexel(D3DFORMAT f, const D3DLOCKED_RECT& lr, std::uint32_t x, std::uint32_t y, const float values[4]) {
    const bool half = f == D3DFMT_R16F || f == D3DFMT_G16R16F || f == D3DFMT_A16B16G16R16F;
    const std::uint32_t channels = (f == D3DFMT_R16F || f == D3DFMT_R32F) ? 1 : (f == D3DFMT_G16R16F || f == D3DFMT_G32R32F) ? 2 : 4;
    auto* at = static_cast<std::uint8_t*>(lr.pBits) + std::size_t(y) * std::size_t(lr.Pitch) + x * channels * (half ? 2 : 4);
    for (std::uint32_t c = 0; c < channels; ++c) {
        if (half) {
            const std::uint16_t h = Half(values[c]);
            std::memcpy(at + 2 * c, &h, 2);
        } else {
            std::memcpy(at + 4 * c, &values[c], 4);
        }
    }
}

// Every texel of a locked w x h level of a 32-bit format the one colour.
void Fill32(const D3DLOCKED_RECT& lr, std::uint32_t w, std::uint32_t h, std::uint32_t colour) {
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * std::uint32_t(lr.Pitch) + x * 4, &colour, 4);
}

class GfxGlSampler : public gfxtest::GlProgramTest {
protected:
    void TearDown() override {
        if (device)
            for (std::uint32_t i = 0; i < 2; ++i) device->SetTexture(i, nullptr);
        gfxtest::GlProgramTest::TearDown();
    }
    void Stage0ShowsTheTexture(std::uint32_t filter = D3DTEXF_POINT) {
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    }
    // A pre-transformed quad over the pixels [x0, x1) x [y0, y1), with
    // coordinates from the corner function (three per corner, the third
    // read only by cube and volume textures).
    void Quad(float x0, float y0, float x1, float y1, const std::function<void(int, float*)>& coords) {
        struct V {
            float x, y, z, rhw, t[3];
        };
        V v[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, {}}, {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, {}},
                  {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, {}}, {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, {}}};
        for (int i = 0; i < 4; ++i) coords(i, v[i].t);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (D3DFVF_TEXTUREFORMAT3 << 16));
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    }
    // The whole target with u, v running from `lo` to `hi` across and down (w 0.5).
    void PlainQuad(float lo, float hi) {
        Quad(0, 0, float(kSize), float(kSize), [&](int i, float* t) {
            t[0] = (i & 1) ? hi : lo;
            t[1] = (i & 2) ? hi : lo;
            t[2] = 0.5f;
        });
    }
    // A texture of `format` whose texels are all one 32-bit colour, each level its own.
    IDirect3DTexture9* Solid(D3DFORMAT format, std::uint32_t edge, std::uint32_t levels,
                             const std::function<std::uint32_t(std::uint32_t)>& colourOfLevel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(edge, edge, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t) return nullptr;
        for (std::uint32_t level = 0; level < t->GetLevelCount(); ++level) {
            D3DLOCKED_RECT lr;
            EXPECT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
            const std::uint32_t n = std::max(1u, edge >> level), bytes = format == D3DFMT_R5G6B5 ? 2 : 4;
            std::uint32_t c = colourOfLevel(level);
            if (bytes == 2) c = ((c >> 8) & 0xF800u) | ((c >> 5) & 0x7E0u) | ((c >> 3) & 0x1Fu);
            for (std::uint32_t y = 0; y < n; ++y)
                for (std::uint32_t x = 0; x < n; ++x)
                    std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * std::uint32_t(lr.Pitch) + x * bytes, &c, bytes);
            t->UnlockRect(level);
        }
        return t;
    }
};

INSTANTIATE_TEST_SUITE_P(, GfxGlSampler, ::testing::Bool(), gfxtest::GlReadBackParamName);

// Each level of a chain its own colour.
std::uint32_t LevelColour(std::uint32_t level) {
    static constexpr std::uint32_t kColours[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u,
                                                 0xFF00FFFFu, 0xFFFF00FFu, 0xFF808080u};
    return kColours[level % 7];
}

} // namespace

// ---- border addressing ---------------------------------------------------------------------------

// Coordinates -0.5..1.5 over 16 pixels: pixels 4-11 read the texture, the
// rest the border colour, whatever the texture's format and storage order.
TEST_P(GfxGlSampler, BorderAddressingShowsTheBorderColourOutsideATexture) {
    const D3DCAPS9 caps = [&] {
        D3DCAPS9 c{};
        device->GetDeviceCaps(&c);
        return c;
    }();
    EXPECT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER, 0u);
    EXPECT_NE(caps.VolumeTextureAddressCaps & D3DPTADDRESSCAPS_BORDER, 0u);
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        SCOPED_TRACE(format);
        Ref<IDirect3DTexture9> green(Solid(format, 2, 1, [](std::uint32_t) { return kGreen; }));
        device->SetTexture(0, green.get());
        Stage0ShowsTheTexture();
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
        for (std::uint32_t border : {kBlue, kRed}) {
            device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, border);
            Clear();
            PlainQuad(-0.5f, 1.5f);
            const auto px = ReadBack();
            ASSERT_EQ(px.size(), std::size_t(kSize * kSize));
            for (int y : {1, 5, 10, 14})
                for (int x : {1, 3, 4, 8, 11, 12, 14}) {
                    const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
                    EXPECT_EQ(px[std::size_t(y * kSize + x)], inside ? kGreen : border) << x << "," << y;
                }
        }
        // Border in one direction only: U clamps, V shows the border.
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        Clear();
        PlainQuad(-0.5f, 1.5f);
        EXPECT_EQ(At(1, 8), kGreen);
        EXPECT_EQ(At(8, 1), kRed);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    }
}

// A volume's W past its depth reads the border, in W as in U and V.
TEST_P(GfxGlSampler, BorderAddressingOnVolumesAndCubeFaces) {
    Ref<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(device->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), D3D_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    for (std::uint32_t z = 0; z < 2; ++z)
        for (std::uint32_t y = 0; y < 2; ++y)
            for (std::uint32_t x = 0; x < 2; ++x)
                std::memcpy(static_cast<std::uint8_t*>(box.pBits) + z * std::uint32_t(box.SlicePitch) +
                                y * std::uint32_t(box.RowPitch) + x * 4,
                            &kGreen, 4);
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);
    device->SetTexture(0, volume.get());
    Stage0ShowsTheTexture();
    device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, kBlue);
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_BORDER);
    for (float w : {0.75f, 1.25f, -0.25f}) {
        SCOPED_TRACE(w);
        Clear();
        Quad(0, 0, 8, 8, [&](int i, float* t) {
            t[0] = (i & 1) ? 1.0f : 0.0f;
            t[1] = (i & 2) ? 1.0f : 0.0f;
            t[2] = w;
        });
        EXPECT_EQ(At(3, 3), w >= 0.0f && w <= 1.0f ? kGreen : kBlue);
    }

    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    for (std::uint32_t face = 0; face < 6; ++face) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(face, 0, &lr, nullptr, 0), D3D_OK);
        Fill32(lr, 2, 2, kGreen);
        cube->UnlockRect(face, 0);
    }
    device->SetTexture(0, cube.get());
    Stage0ShowsTheTexture();
    // A cube's coordinates never leave its faces: bordered, each face still
    // shows its own texels right up to its edges.
    device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, kRed);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    for (float z : {0.999f, -0.999f, 0.0f}) {
        SCOPED_TRACE(z);
        Clear();
        Quad(0, 0, 4, 4, [&](int, float* t) {
            t[0] = 1.0f;
            t[1] = 0.999f;
            t[2] = z;
        });
        EXPECT_EQ(At(1, 1), kGreen);
    }
}

// ---- anisotropic filtering -----------------------------------------------------------------------

// The caps say what the driver has: its largest ratio and both filter bits,
// or 1 and neither; the top object says the same once a device has opened.
TEST_P(GfxGlSampler, AnisotropyCapsFollowTheDriver) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    const std::uint32_t bits = D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    // The driver asked here, through the device's context (current on this thread).
    std::uint32_t driver = 1;
    if (SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic") ||
        SDL_GL_ExtensionSupported("GL_ARB_texture_filter_anisotropic")) {
        using GetFloats = void (*)(std::uint32_t, float*);
        auto getFloats = reinterpret_cast<GetFloats>(SDL_GL_GetProcAddress("glGetFloatv"));
        ASSERT_NE(getFloats, nullptr);
        float most = 0.0f;
        getFloats(0x84FF, &most); // the largest ratio the driver filters
        driver = std::max(1u, std::uint32_t(most));
    }
    EXPECT_EQ(caps.MaxAnisotropy, driver);
    for (std::uint32_t filters : {caps.TextureFilterCaps, caps.CubeTextureFilterCaps, caps.VolumeTextureFilterCaps})
        EXPECT_EQ(filters & bits, caps.MaxAnisotropy > 1 ? bits : 0u);
    D3DCAPS9 top{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &top), D3D_OK);
    EXPECT_EQ(top.MaxAnisotropy, caps.MaxAnisotropy);
    EXPECT_EQ(top.TextureFilterCaps, caps.TextureFilterCaps);
    EXPECT_EQ(caps.VertexTextureFilterCaps & bits, 0u); // vertex fetch stays point or linear
}

// A chain of one colour per level, read 1 texel a pixel across and 16 down:
// an isotropic filter takes the level of the long axis (4), an anisotropic
// one of ratio n at most log2(16 / n).
TEST_P(GfxGlSampler, AnisotropicMinificationReadsAMoreDetailedLevel) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    if (caps.MaxAnisotropy < 4) GTEST_SKIP() << "the driver filters no anisotropy of 4";
    Ref<IDirect3DTexture9> chain(Solid(D3DFMT_A8R8G8B8, 64, 0, LevelColour));
    device->SetTexture(0, chain.get());
    Stage0ShowsTheTexture(D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    auto draw = [&] {
        Clear();
        Quad(0, 0, float(kSize), float(kSize), [](int i, float* t) {
            t[0] = (i & 1) ? 0.25f : 0.0f; // 16 texels over 16 pixels
            t[1] = (i & 2) ? 4.0f : 0.0f;  // 256 over 16
            t[2] = 0.0f;
        });
        return At(8, 8);
    };
    // The level a draw read, by its colour.
    auto level = [&] {
        const std::uint32_t c = draw();
        for (std::uint32_t l = 0; l < 7; ++l)
            if (LevelColour(l) == c) return int(l);
        ADD_FAILURE() << std::hex << c << " is no level's colour";
        return -1;
    };
    EXPECT_EQ(level(), 4);
    // Anisotropy without its filter changes nothing.
    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 16);
    EXPECT_EQ(level(), 4);
    // Drivers choose the level between the short axis's (0) and log2(16 / n).
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
    for (std::uint32_t ratio : {4u, 16u, 1000u}) {
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, ratio);
        const std::uint32_t held = std::min(ratio, caps.MaxAnisotropy);
        const int most = held >= 16 ? 0 : int(std::bit_width(16u / held)) - 1;
        const int got = level();
        EXPECT_GE(got, 0) << ratio;
        EXPECT_LE(got, most) << ratio;
    }
    // A ratio of 1 is isotropic again.
    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 1);
    EXPECT_EQ(level(), 4);
}

// Magnified anisotropically, texels blend as linearly magnified ones do.
TEST_P(GfxGlSampler, AnisotropicMagnificationFiltersBetweenTexels) {
    IDirect3DTexture9* raw = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> pair(raw);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(pair->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const std::uint32_t texels[2] = {0xFF000000u, 0xFFFFFFFFu};
    std::memcpy(lr.pBits, texels, 8);
    pair->UnlockRect(0);
    device->SetTexture(0, pair.get());
    Stage0ShowsTheTexture(D3DTEXF_ANISOTROPIC);
    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 8);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    PlainQuad(0.0f, 1.0f);
    // Pixel 7 sits at u = 15/32, a sixteenth of a texel left of the middle.
    EXPECT_NEAR(ChannelOf(At(7, 8), 8), 255.0 * (0.5 - 1.0 / 16.0), 2.0);
    EXPECT_EQ(ChannelOf(At(1, 8), 8), 0);
    EXPECT_EQ(ChannelOf(At(14, 8), 8), 255);
}

// ---- mipmapped cube maps -------------------------------------------------------------------------

// A cube of edge 32 with its whole chain, each level one colour on every
// face: each level is read where the most detailed level allowed says, and a
// face minified two to one reads level 1 by the filter's own choice.
TEST_P(GfxGlSampler, CubeMapsKeepAndSampleEveryLevel) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP, 0u);
    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    ASSERT_EQ(cube->GetLevelCount(), 6u);
    for (std::uint32_t face = 0; face < 6; ++face)
        for (std::uint32_t level = 0; level < 6; ++level) {
            D3DLOCKED_RECT lr;
            ASSERT_EQ(cube->LockRect(face, level, &lr, nullptr, 0), D3D_OK);
            Fill32(lr, 32u >> level, 32u >> level, LevelColour(level));
            cube->UnlockRect(face, level);
        }
    device->SetTexture(0, cube.get());
    Stage0ShowsTheTexture(D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    // The +Z face across the whole target: 32 texels over 16 pixels.
    auto draw = [&](float z) {
        Clear();
        Quad(0, 0, float(kSize), float(kSize), [&](int i, float* t) {
            t[0] = (i & 1) ? 1.0f : -1.0f;
            t[1] = (i & 2) ? -1.0f : 1.0f;
            t[2] = z;
        });
        return At(8, 8);
    };
    EXPECT_EQ(draw(1.0f), LevelColour(1));
    EXPECT_EQ(draw(-1.0f), LevelColour(1)); // the -Z face
    for (std::uint32_t level = 2; level < 6; ++level) {
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, level);
        EXPECT_EQ(draw(1.0f), LevelColour(level)) << level;
    }
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    // No mip filter: the top level, whatever the minification.
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    EXPECT_EQ(draw(1.0f), LevelColour(0));
    // A lock of one face's level uploads the cube again.
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 1, &lr, nullptr, 0), D3D_OK);
    Fill32(lr, 16, 16, kBlue);
    cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 1);
    EXPECT_EQ(draw(1.0f), kBlue);
    EXPECT_EQ(draw(-1.0f), LevelColour(1));
}

// ---- float textures ------------------------------------------------------------------------------

// Each float format, locked and written as published (red first, halves or
// singles), reads its channels with the missing ones as 1.
TEST_P(GfxGlSampler, FloatTexturesReadTheirChannelsAndOneForTheMissing) {
    struct Case {
        D3DFORMAT format;
        std::uint32_t bytes;
        int r, g, b;
    };
    const Case cases[] = {
        {D3DFMT_R16F, 2, 64, 255, 255},          {D3DFMT_G16R16F, 4, 64, 128, 255},
        {D3DFMT_A16B16G16R16F, 8, 64, 128, 191}, {D3DFMT_R32F, 4, 64, 255, 255},
        {D3DFMT_G32R32F, 8, 64, 128, 255},       {D3DFMT_A32B32G32R32F, 16, 64, 128, 191},
    };
    const float texel[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    const float other[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        for (std::uint32_t type : {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE})
            for (std::uint32_t usage : {0u, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DUSAGE_QUERY_FILTER})
                EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, c.format), D3D_OK);
        // Drawn into as well (GfxGlTargetsTest reads them back).
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                         c.format),
                  D3D_OK);
        IDirect3DTexture9* raw = nullptr;
        ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, c.format, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
        Ref<IDirect3DTexture9> t(raw);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        EXPECT_EQ(std::uint32_t(lr.Pitch), 2 * c.bytes);
        for (std::uint32_t y = 0; y < 2; ++y)
            for (std::uint32_t x = 0; x < 2; ++x) PutTexel(c.format, lr, x, y, (x == 0 && y == 0) ? texel : other);
        t->UnlockRect(0);
        device->SetTexture(0, t.get());
        Stage0ShowsTheTexture();
        Clear();
        PlainQuad(0.0f, 1.0f);
        const std::uint32_t p = At(3, 3);
        EXPECT_NEAR(ChannelOf(p, 16), c.r, 1.0);
        EXPECT_NEAR(ChannelOf(p, 8), c.g, 1.0);
        EXPECT_NEAR(ChannelOf(p, 0), c.b, 1.0);
        EXPECT_EQ(ChannelOf(At(12, 3), 16), 255);
        EXPECT_EQ(ChannelOf(At(12, 3), 8), c.g == 255 ? 255 : 0);
    }
}

// Floats of both widths filter linearly, as CheckDeviceFormat answers; a
// vertex program reads a single float beyond 1 whole.
TEST_P(GfxGlSampler, FloatTexelsFilterAndKeepTheirRange) {
    for (D3DFORMAT format : {D3DFMT_R16F, D3DFMT_R32F, D3DFMT_A32B32G32R32F}) {
        SCOPED_TRACE(format);
        IDirect3DTexture9* raw = nullptr;
        ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, format, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
        Ref<IDirect3DTexture9> pair(raw);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(pair->LockRect(0, &lr, nullptr, 0), D3D_OK);
        const float zero[4] = {0, 0, 0, 1}, one[4] = {1, 1, 1, 1};
        PutTexel(format, lr, 0, 0, zero);
        PutTexel(format, lr, 1, 0, one);
        pair->UnlockRect(0);
        device->SetTexture(0, pair.get());
        Stage0ShowsTheTexture(D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        Clear();
        PlainQuad(0.0f, 1.0f);
        EXPECT_NEAR(ChannelOf(At(7, 8), 16), 255.0 * (0.5 - 1.0 / 16.0), 2.0);
        EXPECT_NEAR(ChannelOf(At(9, 8), 16), 255.0 * (0.5 + 3.0 / 16.0), 2.0);
    }
    device->SetTexture(0, nullptr);

    IDirect3DTexture9* raw = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_R32F, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> big(raw);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(big->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const float three = 3.0f;
    std::memcpy(lr.pBits, &three, 4);
    big->UnlockRect(0);
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, big.get()), D3D_OK);
    SetVsConstant(0, 0.5f, 0.5f, 0, 0);
    SetVsConstant(1, 0.25f, 0, 0, 0);
    Clear();
    // 3 x 0.25: three quarters of full red, which a texel held to 0..1 cannot give.
    DrawWith("vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_color o1\ndcl_2d s0\n"
             "mov o0, v0\ntexldl r0, c0, s0\nmul r0.x, r0.x, c1.x\nmov r0.yz, c1.y\nmov o1, r0\n",
             "ps_3_0\ndcl_color v0\nmov oC0, v0\n");
    ExpectPixel(8, 8, 191, 0, 0, "vertex texel 3");
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, nullptr), D3D_OK);
}
