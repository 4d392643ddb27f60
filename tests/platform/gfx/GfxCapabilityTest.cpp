// Volume textures, bump-environment stages, multisampled back buffers and
// indexed vertex blending: read back pixel by pixel on `gl` against values
// worked out here, and the same calls on both back ends through what the
// device keeps and records.
#include "tests/platform/gfx/GfxBackendFixture.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

using namespace gfx;
using gfxtest::Ref;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u, kGreen = 0xFF00FF00u;

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
    m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
    return m;
}

int Channel(std::uint32_t c, int shift) { return int((c >> shift) & 0xFF); }

// A distinct colour per texel of a 4 x 4 x 4 volume.
std::uint32_t VolumeTexel(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return 0xFF000000u | (x * 0x40u + 0x20u) << 16 | (y * 0x40u + 0x10u) << 8 | (z * 0x40u + 0x08u);
}
std::uint32_t EnvTexel(std::uint32_t x, std::uint32_t y) { return 0xFF000000u | (x * 0x40u + 0x20u) << 16 | (y * 0x40u + 0x10u) << 8 | 0x80u; }

// Fills every level of a 32-bit volume by fill(level, x, y, z).
void FillVolume(IDirect3DVolumeTexture9& t,
                const std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)>& fill) {
    for (std::uint32_t level = 0; level < t.GetLevelCount(); ++level) {
        D3DVOLUME_DESC d;
        ASSERT_EQ(t.GetLevelDesc(level, &d), D3D_OK);
        D3DLOCKED_BOX box;
        ASSERT_EQ(t.LockBox(level, &box, nullptr, 0), D3D_OK);
        for (std::uint32_t z = 0; z < d.Depth; ++z)
            for (std::uint32_t y = 0; y < d.Height; ++y)
                for (std::uint32_t x = 0; x < d.Width; ++x)
                    reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(box.pBits) + z * box.SlicePitch +
                                                     y * box.RowPitch)[x] = fill(level, x, y, z);
        ASSERT_EQ(t.UnlockBox(level), D3D_OK);
    }
}

class GfxGlCapability : public gfxtest::GlReadBackTest {
protected:
    void SetUp() override {
        GlReadBackTest::SetUp();
        if (Stopped()) return;
        ASSERT_NO_FATAL_FAILURE(CreateDevice(gfxtest::Windowed(16, 16)));
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        Clear();
    }
    void Clear() { ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), D3D_OK); }
    std::uint32_t At(int x, int y) {
        const auto px = ReadBack();
        return px.empty() ? 0 : px[std::size_t(y) * 16 + x];
    }
    void PointSampling(std::uint32_t stage) {
        device->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    }
    // A pre-transformed quad over pixels [0, 4) x [0, 4) with coordinates
    // 0..1 across and down and w (a third coordinate) throughout.
    void VolumeQuad(float w) {
        struct V {
            float x, y, z, rhw, u, v, w;
        };
        const V v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0, w},
                        {3.5f, -0.5f, 0.5f, 1, 1, 0, w},
                        {-0.5f, 3.5f, 0.5f, 1, 0, 1, w},
                        {3.5f, 3.5f, 0.5f, 1, 1, 1, w}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (D3DFVF_TEXTUREFORMAT3 << 16));
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    }
    // The same over [0, 4) x [0, 4) with coordinates 0..1 in set 0 (both stages read it).
    void BumpQuad() {
        struct V {
            float x, y, z, rhw, u, v;
        };
        const V v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0}, {3.5f, -0.5f, 0.5f, 1, 1, 0},
                        {-0.5f, 3.5f, 0.5f, 1, 0, 1}, {3.5f, 3.5f, 0.5f, 1, 1, 1}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    }
    IDirect3DTexture9* EnvMap() {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (std::uint32_t y = 0; y < 4; ++y)
            for (std::uint32_t x = 0; x < 4; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = EnvTexel(x, y);
        t->UnlockRect(0);
        return t;
    }
    // A 4 x 4 bump texture of one texel value repeated (`bytes` of the format's size).
    IDirect3DTexture9* BumpMap(D3DFORMAT format, std::uint32_t texel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t) return t;
        const std::uint32_t size = format == D3DFMT_X8L8V8U8 ? 4 : 2;
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (std::uint32_t y = 0; y < 4; ++y)
            for (std::uint32_t x = 0; x < 4; ++x)
                std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch + x * size, &texel, size);
        t->UnlockRect(0);
        return t;
    }
    // Stage 0 bumps with the matrix, stage 1 shows its texture.
    void BumpStages(std::uint32_t op, float m00, float m01, float m10, float m11) {
        device->SetTextureStageState(0, D3DTSS_COLOROP, op);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
        device->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, Bits(m00));
        device->SetTextureStageState(0, D3DTSS_BUMPENVMAT01, Bits(m01));
        device->SetTextureStageState(0, D3DTSS_BUMPENVMAT10, Bits(m10));
        device->SetTextureStageState(0, D3DTSS_BUMPENVMAT11, Bits(m11));
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        PointSampling(0);
        PointSampling(1);
    }
};

INSTANTIATE_TEST_SUITE_P(, GfxGlCapability, ::testing::Bool(), gfxtest::GlReadBackParamName);

// ---- volume textures ----------------------------------------------------------------------------

TEST_P(GfxGlCapability, VolumeSampledAtThreeDepthsAndWrappedOrClampedInW) {
    Ref<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), D3D_OK);
    FillVolume(*volume.p, [](std::uint32_t, std::uint32_t x, std::uint32_t y, std::uint32_t z) { return VolumeTexel(x, y, z); });
    ASSERT_EQ(device->SetTexture(0, volume.get()), D3D_OK);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    PointSampling(0);
    for (std::uint32_t z : {0u, 1u, 3u}) {
        SCOPED_TRACE(z);
        VolumeQuad((float(z) + 0.5f) / 4.0f);
        const auto px = ReadBack();
        ASSERT_EQ(px.size(), 256u);
        for (std::uint32_t y = 0; y < 4; ++y)
            for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(px[y * 16 + x], VolumeTexel(x, y, z)) << x << "," << y;
        EXPECT_EQ(px[4 * 16 + 4], kBlack);
    }
    // W past the end: wrapped to slice 1, clamped to the last.
    VolumeQuad(1.375f);
    EXPECT_EQ(At(2, 1), VolumeTexel(2, 1, 1));
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
    VolumeQuad(1.375f);
    EXPECT_EQ(At(2, 1), VolumeTexel(2, 1, 3));
    // A lock uploads it again.
    D3DLOCKED_BOX box;
    const D3DBOX one{1, 2, 2, 3, 3, 4};
    ASSERT_EQ(volume->LockBox(0, &box, &one, 0), D3D_OK);
    *static_cast<std::uint32_t*>(box.pBits) = kGreen;
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);
    VolumeQuad(0.875f);
    EXPECT_EQ(At(1, 2), kGreen);
    EXPECT_EQ(At(2, 2), VolumeTexel(2, 2, 3));
}

TEST_P(GfxGlCapability, VolumeLevelsAndBlocksAsForPlainTextures) {
    Ref<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), D3D_OK);
    ASSERT_EQ(volume->GetLevelCount(), 3u);
    // Each level a colour of its own; an X format's alpha byte is never read.
    const std::uint32_t colours[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    FillVolume(*volume.p, [&](std::uint32_t level, std::uint32_t, std::uint32_t, std::uint32_t) { return colours[level]; });
    device->SetTexture(0, volume.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    PointSampling(0);
    for (std::uint32_t level = 0; level < 3; ++level) {
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, level);
        VolumeQuad(0.5f);
        EXPECT_EQ(At(1, 1), 0xFF000000u | colours[level]) << level;
    }
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    // Blocks: a DXT1 volume two slices deep, one solid colour per slice.
    Ref<IDirect3DVolumeTexture9> dxt;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(dxt->LockBox(0, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 8);
    EXPECT_EQ(box.SlicePitch, 8);
    const std::uint8_t red[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};   // 565 red twice, every index 0
    const std::uint8_t green[8] = {0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0}; // 565 green
    std::memcpy(box.pBits, red, 8);
    std::memcpy(static_cast<std::uint8_t*>(box.pBits) + box.SlicePitch, green, 8);
    ASSERT_EQ(dxt->UnlockBox(0), D3D_OK);
    device->SetTexture(0, dxt.get());
    VolumeQuad(0.25f);
    EXPECT_EQ(At(3, 3), 0xFFFF0000u);
    VolumeQuad(0.75f);
    EXPECT_EQ(At(0, 0), kGreen);
}

// ---- bump-environment stages ---------------------------------------------------------------------

// The next stage's coordinates move by the matrix times du, dv: with 64
// (about a half) and a matrix of halves, by about a quarter: one texel of four.
TEST_P(GfxGlCapability, BumpEnvMapMovesTheNextStagesCoordinatesByTheMatrix) {
    Ref<IDirect3DTexture9> env(EnvMap());
    // du +64, dv -64 as V8U8 (u in the low byte).
    Ref<IDirect3DTexture9> bump(BumpMap(D3DFMT_V8U8, 0xC040u));
    device->SetTexture(0, bump.get());
    device->SetTexture(1, env.get());
    struct Case {
        float m00, m01, m10, m11;
        int dx, dy; // texels the lookup moves
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f, 0.0f, 0, 0},   // no matrix: no move
        {0.5f, 0.0f, 0.0f, 0.5f, 1, -1},  // u' = u + M00 du, v' = v + M11 dv
        {0.0f, 0.5f, 0.5f, 0.0f, -1, 1},  // u' = u + M10 dv, v' = v + M01 du
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.m00 << " " << c.m01 << " " << c.m10 << " " << c.m11);
        BumpStages(D3DTOP_BUMPENVMAP, c.m00, c.m01, c.m10, c.m11);
        BumpQuad();
        const auto px = ReadBack();
        ASSERT_EQ(px.size(), 256u);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(px[std::size_t(y) * 16 + x], EnvTexel(std::uint32_t((x + c.dx + 4) % 4), std::uint32_t((y + c.dy + 4) % 4)))
                    << x << "," << y;
    }
}

// The luminance variant scales the next stage's texture by L x scale + offset, clamped.
TEST_P(GfxGlCapability, BumpEnvMapLuminanceScalesTheNextStagesTexture) {
    IDirect3DTexture9* raw = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> white(raw);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(white->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<std::uint32_t*>(lr.pBits) = 0xFFFFFFFFu;
    white->UnlockRect(0);
    device->SetTexture(1, white.get());
    struct Case {
        D3DFORMAT format;
        std::uint32_t texel;
        float scale, offset;
        double expected; // 0..255
    };
    const Case cases[] = {
        {D3DFMT_L6V5U5, 32u << 10, 1.0f, 0.25f, 255.0 * (32.0 / 63.0 + 0.25)},   // L 32 of 63
        {D3DFMT_X8L8V8U8, 128u << 16, 0.5f, 0.0f, 255.0 * (128.0 / 255.0 * 0.5)}, // L 128 of 255
        {D3DFMT_X8L8V8U8, 255u << 16, 2.0f, 0.0f, 255.0},                          // clamped to 1
        {D3DFMT_V8U8, 0, 0.5f, 0.125f, 255.0 * 0.625},                             // no L: taken as 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        Ref<IDirect3DTexture9> bump(BumpMap(c.format, c.texel));
        device->SetTexture(0, bump.get());
        BumpStages(D3DTOP_BUMPENVMAPLUMINANCE, 0, 0, 0, 0);
        device->SetTextureStageState(0, D3DTSS_BUMPENVLSCALE, Bits(c.scale));
        device->SetTextureStageState(0, D3DTSS_BUMPENVLOFFSET, Bits(c.offset));
        BumpQuad();
        const std::uint32_t p = At(2, 2);
        EXPECT_NEAR(Channel(p, 16), c.expected, 1.51);
        EXPECT_NEAR(Channel(p, 8), c.expected, 1.51);
        EXPECT_NEAR(Channel(p, 0), c.expected, 1.51);
    }
}

// The bump stage hands the current colour on; its own alpha operation runs.
TEST_P(GfxGlCapability, BumpStagePassesTheCurrentColourOn) {
    Ref<IDirect3DTexture9> bump(BumpMap(D3DFMT_V8U8, 0x4040u));
    device->SetTexture(0, bump.get());
    BumpStages(D3DTOP_BUMPENVMAP, 1, 0, 0, 1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    struct V {
        float x, y, z, rhw;
        std::uint32_t color;
        float u, v;
    };
    const V v[3] = {{-0.5f, -0.5f, 0.5f, 1, 0xFF336699u, 0, 0}, {7.5f, -0.5f, 0.5f, 1, 0xFF336699u, 1, 0},
                    {-0.5f, 7.5f, 0.5f, 1, 0xFF336699u, 0, 1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(At(1, 1), 0xFF336699u);
}

// ---- indexed vertex blending ---------------------------------------------------------------------

// A green square moved by the world matrix its vertex indices choose, from
// anywhere in 0-255; the matrices the plain blend uses stay where they are.
TEST_P(GfxGlCapability, IndexedBlendingPicksWorldMatricesByTheVertexIndices) {
    device->SetRenderState(D3DRS_TEXTUREFACTOR, kGreen);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    const D3DMATRIX topLeft = Translation(-0.5f, 0.5f, 0), bottomRight = Translation(0.5f, -0.5f, 0),
                    topRight = Translation(0.5f, 0.5f, 0);
    ASSERT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(40), &topLeft), D3D_OK);
    ASSERT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(255), &bottomRight), D3D_OK);
    ASSERT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(1), &topRight), D3D_OK);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 1);
    struct V {
        float x, y, z, w0;
        std::uint32_t indices;
    };
    auto draw = [&](std::uint32_t fvf, float w0, std::uint32_t indices) {
        Clear();
        const float h = 0.25f;
        const V v[4] = {{-h, h, 0.5f, w0, indices}, {h, h, 0.5f, w0, indices}, {-h, -h, 0.5f, w0, indices},
                        {h, -h, 0.5f, w0, indices}};
        device->SetFVF(fvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
        const auto px = ReadBack();
        int green = 0;
        for (std::uint32_t p : px) green += (p & 0xFFFFFFu) == (kGreen & 0xFFFFFFu);
        EXPECT_EQ(green, 16);
    };
    // One weight: index 0 takes w0, index 1 the rest.
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    draw(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, 1.0f, 40u | 255u << 8);
    EXPECT_EQ(At(4, 4) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
    draw(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, 0.0f, 40u | 255u << 8);
    EXPECT_EQ(At(12, 12) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
    draw(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, 0.5f, 40u | 1u << 8); // halfway: top middle
    EXPECT_EQ(At(8, 4) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
    // No weights: the one matrix of index 0, here from a colour's byte 0.
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_0WEIGHTS);
    draw(D3DFVF_XYZB2 | D3DFVF_LASTBETA_D3DCOLOR, 0.0f, 255u | 40u << 8);
    EXPECT_EQ(At(12, 12) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
    // Switched off, the plain blend uses world matrices 0 and 1 by the weight.
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 0);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    draw(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, 0.0f, 40u | 255u << 8);
    EXPECT_EQ(At(12, 4) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
}

// ---- multisampling -------------------------------------------------------------------------------

class GfxGlMultisample : public gfxtest::GlReadBackTest {
protected:
    void Create(std::uint32_t samples) {
        gfx::D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, samples == 0);
        p.MultiSampleType = samples;
        ASSERT_NO_FATAL_FAILURE(CreateDevice(p));
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, 0);
    }
    // A white triangle whose long edge runs across the target at a slant.
    void DrawEdge() {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), D3D_OK);
        struct V {
            float x, y, z, rhw;
            std::uint32_t color;
        };
        const V v[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFFu}, {16, 0, 0.5f, 1, 0xFFFFFFFFu}, {0, 11, 0.5f, 1, 0xFFFFFFFFu}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    }
    // The back buffer captured into system memory (resolved), red of each pixel.
    std::vector<int> Capture() {
        std::vector<int> out;
        Ref<IDirect3DSurface9> back, copy;
        EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        EXPECT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
        if (!back || !copy) return out;
        EXPECT_EQ(device->GetRenderTargetData(back.get(), copy.get()), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                out.push_back(Channel(reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x], 16));
        copy->UnlockRect();
        return out;
    }
    static int Intermediate(const std::vector<int>& red) {
        int n = 0;
        for (int r : red) n += r > 0 && r < 255;
        return n;
    }
};

INSTANTIATE_TEST_SUITE_P(, GfxGlMultisample, ::testing::Bool(), gfxtest::GlReadBackParamName);

TEST_P(GfxGlMultisample, AnEdgeWithFourSamplesHasIntermediatePixelsWithoutNone) {
    Create(4);
    DrawEdge();
    const auto aa = Capture();
    ASSERT_EQ(aa.size(), 256u);
    EXPECT_GE(Intermediate(aa), 8); // along the edge
    EXPECT_EQ(aa[1 * 16 + 1], 255);  // inside
    EXPECT_EQ(aa[15 * 16 + 15], 0);  // outside
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // Antialiasing switched off: every sample of a pixel alike.
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, 0);
    DrawEdge();
    EXPECT_EQ(Intermediate(Capture()), 0);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, 1);
    // The mask lets one sample of four be written: a quarter of white inside.
    device->SetRenderState(D3DRS_MULTISAMPLEMASK, 0x1u);
    DrawEdge();
    const auto masked = Capture();
    ASSERT_EQ(masked.size(), 256u);
    EXPECT_NEAR(masked[1 * 16 + 1], 64, 2);
    device->SetRenderState(D3DRS_MULTISAMPLEMASK, 0xFFFFFFFFu);
    // A Reset to one sample: the same edge has no intermediate pixels.
    gfx::D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, false);
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    DrawEdge();
    const auto plain = Capture();
    ASSERT_EQ(plain.size(), 256u);
    EXPECT_EQ(Intermediate(plain), 0);
    EXPECT_EQ(plain[1 * 16 + 1], 255);
    // And back to four.
    p.MultiSampleType = 4;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    DrawEdge();
    EXPECT_GE(Intermediate(Capture()), 8);
}

TEST_P(GfxGlMultisample, WithoutSamplesAnEdgeHasNone) {
    Create(0);
    DrawEdge();
    const auto red = Capture();
    ASSERT_EQ(red.size(), 256u);
    EXPECT_EQ(Intermediate(red), 0);
    EXPECT_EQ(red[1 * 16 + 1], 255);
}

// ---- the same calls on both back ends ------------------------------------------------------------

class GfxCapabilityState : public gfxtest::BackendTest {};
GFX_BOTH_BACKENDS(GfxCapabilityState);

TEST_P(GfxCapabilityState, VolumeTexturesKeepTheirLevelsBoxesAndCounts) {
    Create();
    Ref<IDirect3DVolumeTexture9> t;
    ASSERT_EQ(device->CreateVolumeTexture(8, 4, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), 4u); // 8, 4, 2, 1 across
    EXPECT_EQ(t->GetType(), D3DRTYPE_VOLUMETEXTURE);
    D3DVOLUME_DESC d;
    ASSERT_EQ(t->GetLevelDesc(2, &d), D3D_OK);
    EXPECT_EQ(d.Width, 2u);
    EXPECT_EQ(d.Height, 1u);
    EXPECT_EQ(d.Depth, 1u);
    EXPECT_EQ(d.Type, D3DRTYPE_VOLUME);
    EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(t->GetLevelDesc(4, &d), D3DERR_INVALIDCALL);
    // Boxes: pitches of the level, the pointer at the box's corner, one lock at a time.
    D3DLOCKED_BOX whole, part;
    ASSERT_EQ(t->LockBox(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.RowPitch, 32);
    EXPECT_EQ(whole.SlicePitch, 128);
    EXPECT_EQ(t->LockBox(0, &part, nullptr, 0), D3DERR_INVALIDCALL);
    std::memset(whole.pBits, 0, 256);
    ASSERT_EQ(t->UnlockBox(0), D3D_OK);
    const D3DBOX box{3, 2, 5, 4, 1, 2};
    ASSERT_EQ(t->LockBox(0, &part, &box, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - static_cast<std::uint8_t*>(whole.pBits), 128 + 2 * 32 + 3 * 4);
    *static_cast<std::uint32_t*>(part.pBits) = 0x12345678u;
    ASSERT_EQ(t->UnlockBox(0), D3D_OK);
    EXPECT_EQ(t->UnlockBox(0), D3DERR_INVALIDCALL);
    ASSERT_EQ(t->LockBox(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(whole.pBits) + 128 + 64)[3], 0x12345678u);
    t->UnlockBox(0);
    for (const D3DBOX& bad : {D3DBOX{0, 0, 9, 1, 0, 1}, D3DBOX{0, 0, 1, 1, 1, 3}, D3DBOX{2, 0, 2, 1, 0, 1}})
        EXPECT_EQ(t->LockBox(0, &part, &bad, 0), D3DERR_INVALIDCALL);
    // A level holds its texture.
    IDirect3DVolume9* level = nullptr;
    ASSERT_EQ(t->GetVolumeLevel(1, &level), D3D_OK);
    EXPECT_EQ(t->RefCount(), 2u);
    ASSERT_EQ(level->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.Width, 4u);
    level->Release();
    EXPECT_EQ(t->RefCount(), 1u);
    // Sampled through a stage: the binding is recorded, and the draw goes through.
    device->SetCallRecording(true);
    device->ClearStateCalls();
    ASSERT_EQ(device->SetTexture(0, t.get()), D3D_OK);
    ASSERT_EQ(device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP), D3D_OK);
    ASSERT_FALSE(device->StateCalls().empty());
    EXPECT_EQ(device->StateCalls().front().kind, StateCall::Kind::SetTexture);
    EXPECT_EQ(device->StateCalls().front().object, t.get());
    EXPECT_EQ(device->State().textures[0], t.get());
    EXPECT_EQ(device->State().samplerStates[0][D3DSAMP_ADDRESSW], D3DTADDRESS_CLAMP);
    struct V {
        float x, y, z, rhw, u, v, w;
    };
    const V v[3] = {{0, 0, 0.5f, 1, 0, 0, 0.5f}, {4, 0, 0.5f, 1, 1, 0, 0.5f}, {0, 4, 0.5f, 1, 0, 1, 0.5f}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (D3DFVF_TEXTUREFORMAT3 << 16));
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    device->SetTexture(0, nullptr);
}

TEST_P(GfxCapabilityState, VolumeTexturesRefuseWhatCannotBe) {
    Create();
    IDirect3DVolumeTexture9* t = nullptr;
    EXPECT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVolumeTexture(4, 4, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVolumeTexture(4, 4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVolumeTexture(257, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    // Blocks lock whole blocks across; a default-pool volume is locked only when dynamic.
    Ref<IDirect3DVolumeTexture9> dxt;
    ASSERT_EQ(device->CreateVolumeTexture(8, 8, 3, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    D3DLOCKED_BOX box;
    const D3DBOX inside{2, 0, 4, 4, 0, 1};
    EXPECT_EQ(dxt->LockBox(0, &box, &inside, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(dxt->LockBox(0, &box, nullptr, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 32);
    EXPECT_EQ(box.SlicePitch, 64);
    dxt->UnlockBox(0);
    Ref<IDirect3DVolumeTexture9> fixed;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &fixed, nullptr), D3D_OK);
    EXPECT_EQ(fixed->LockBox(0, &box, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LiveDefaultPoolResources(), 1u);
    fixed.reset();
    EXPECT_EQ(device->LiveDefaultPoolResources(), 0u);
}

TEST_P(GfxCapabilityState, BumpStagesAndIndexedBlendingAreKeptAndDrawn) {
    Create();
    Ref<IDirect3DTexture9> bump;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8L8V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3D_OK);
    device->SetCallRecording(true);
    device->ClearStateCalls();
    EXPECT_EQ(device->SetTexture(0, bump.get()), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAPLUMINANCE), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_BUMPENVMAT01, Bits(0.25f)), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_BUMPENVLOFFSET, Bits(0.5f)), D3D_OK);
    EXPECT_EQ(device->State().stageStates[0][D3DTSS_COLOROP], D3DTOP_BUMPENVMAPLUMINANCE);
    EXPECT_EQ(device->State().stageStates[0][D3DTSS_BUMPENVMAT01], Bits(0.25f));
    EXPECT_EQ(device->State().stageStates[0][D3DTSS_BUMPENVLOFFSET], Bits(0.5f));
    for (const StateCall& c : device->StateCalls()) EXPECT_EQ(c.result, D3D_OK);
    // World matrices up to 255 are kept for indexed blending; 256 is none.
    const D3DMATRIX m = Translation(1, 2, 3);
    ASSERT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(255), &m), D3D_OK);
    D3DMATRIX back{};
    ASSERT_EQ(device->GetTransform(D3DTS_WORLDMATRIX(255), &back), D3D_OK);
    EXPECT_EQ(back.m[3][2], 3.0f);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(0) + 256, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->State().worldCount, 256u);
    EXPECT_EQ(device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 1), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS), D3D_OK);
    struct V {
        float x, y, z, w0;
        std::uint32_t indices;
    };
    const V v[3] = {{0, 0, 0.5f, 1, 255}, {1, 0, 0.5f, 1, 255}, {0, 1, 0.5f, 1, 255}};
    device->SetFVF(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4);
    device->ClearRecordedCalls();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    if (GetParam() == BackendKind::Null) {
        ASSERT_EQ(device->RecordedCalls().size(), 1u);
        EXPECT_EQ(device->RecordedCalls()[0].fvf, D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4);
    }
    // A Reset forgets the matrices set.
    device->SetTexture(0, nullptr);
    bump.reset();
    gfx::D3DPRESENT_PARAMETERS p = gfxtest::Windowed(64, 48);
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->State().worldCount, 4u);
}

TEST_P(GfxCapabilityState, MultisampledDeviceDrawsPresentsAndResets) {
    gfx::D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, false);
    p.MultiSampleType = 4;
    Create(p);
    EXPECT_EQ(device->PresentParameters().MultiSampleType, 4u);
    EXPECT_EQ(device->State().renderStates[D3DRS_MULTISAMPLEANTIALIAS], 1u);
    EXPECT_EQ(device->State().renderStates[D3DRS_MULTISAMPLEMASK], 0xFFFFFFFFu);
    device->SetRenderState(D3DRS_MULTISAMPLEMASK, 3);
    EXPECT_EQ(device->State().renderStates[D3DRS_MULTISAMPLEMASK], 3u);
    device->ClearRecordedCalls();
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    if (GetParam() == BackendKind::Null) {
        ASSERT_EQ(device->RecordedCalls().size(), 2u);
        EXPECT_EQ(device->RecordedCalls()[1].kind, RecordedCall::Kind::Present);
    }
    // Multisample "1" (non-maskable) at quality 0 is had too; a lockable back buffer never is.
    p = gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, false);
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    p = gfxtest::Windowed(16, 16);
    ASSERT_EQ(device->Reset(&p), D3D_OK);
}

} // namespace
