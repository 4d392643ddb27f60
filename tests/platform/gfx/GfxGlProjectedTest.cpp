// Projected texture coordinates on gl, read back: the fixed-function stages
// and 1.1-1.3 pixel programs divide by the last coordinate per pixel, 1.4
// and 2.0 programs read their coordinates as they are.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cstring>

using namespace gfx;

namespace {

// Texel (x, y) of the 4 x 4 texture: red and green tell the column and row.
double ColumnRed(int x) { return x * 0x40 + 0x20; }
double RowGreen(int y) { return y * 0x40 + 0x20; }

constexpr std::uint32_t kSize3 = 1u << 16; // set 0 of three floats

class GfxGlProjected : public gfxtest::GlProgramTest {
protected:
    void SetUp() override {
        gfxtest::GlProgramTest::SetUp();
        if (Stopped() || !device) return;
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(m_texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (std::uint32_t y = 0; y < 4; ++y)
            for (std::uint32_t x = 0; x < 4; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                    0xFF000000u | std::uint32_t(ColumnRed(int(x))) << 16 | std::uint32_t(RowGreen(int(y))) << 8;
        m_texture->UnlockRect(0);
        device->SetTexture(0, m_texture);
        for (std::uint32_t s : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER})
            device->SetSamplerState(0, s, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    }
    void TearDown() override {
        if (device) device->SetTexture(0, nullptr);
        if (m_texture) m_texture->Release();
        gfxtest::GlProgramTest::TearDown();
    }
    // The whole target with the same three coordinates (u q, v q, q) everywhere.
    void DrawConstant(float u, float v, float q) {
        struct V {
            float x, y, z, s, t, r;
        };
        const V quad[4] = {{-1, 1, 0.5f, u * q, v * q, q}, {1, 1, 0.5f, u * q, v * q, q},
                           {-1, -1, 0.5f, u * q, v * q, q}, {1, -1, 0.5f, u * q, v * q, q}};
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1 | kSize3), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
    }
    // A pre-transformed quad over the target whose q runs from 1 on the left
    // to 2 on the right: u / q runs 0 to 1 across, v / q stays 0.5 (row 2).
    void DrawRising() {
        struct V {
            float x, y, z, rhw, s, t, r;
        };
        const float right = kSize - 0.5f, bottom = kSize - 0.5f;
        const V quad[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0.5f, 1}, {right, -0.5f, 0.5f, 1, 2, 1, 2},
                           {-0.5f, bottom, 0.5f, 1, 0, 0.5f, 1}, {right, bottom, 0.5f, 1, 2, 1, 2}};
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | kSize3), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
    }
    void ExpectTexel(int x, int y, int column, int row, const std::string& what) {
        ExpectPixel(x, y, ColumnRed(column), RowGreen(row), 0, what);
    }
    IDirect3DTexture9* m_texture = nullptr;
};

TEST_P(GfxGlProjected, TheDeviceReportsProjectedTextures) {
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_PROJECTED, 0u);
}

TEST_P(GfxGlProjected, FixedFunctionDividesByTheTransformsLastCoordinate) {
    // (1.25, 0.75, 2): divided, texel (2, 1); as they are, clamped to (3, 3).
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    DrawConstant(0.625f, 0.375f, 2);
    ExpectTexel(8, 8, 2, 1, "count 3, projected");
    Clear();
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    DrawConstant(0.625f, 0.375f, 2);
    ExpectTexel(8, 8, 3, 3, "count 3");
    // The transform's own output is divided: a matrix doubling q halves the lookup.
    Clear();
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[3][3] = 1.0f;
    m.m[2][2] = 2.0f;
    device->SetTransform(D3DTS_TEXTURE0, &m);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    DrawConstant(0.625f, 0.375f, 2);
    ExpectTexel(8, 8, 1, 0, "q doubled by the matrix");
}

TEST_P(GfxGlProjected, FixedFunctionDividesPerPixelNotPerVertex) {
    // At pixel 6 (0.406 of the way) u / q is 0.578, texel 2; the ratio of
    // the vertices' values interpolated would give 0.406, texel 1.
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    DrawRising();
    ExpectTexel(6, 8, 2, 2, "pixel 6");
    ExpectTexel(1, 8, 0, 2, "pixel 1");
    ExpectTexel(14, 8, 3, 2, "pixel 14");
}

TEST_P(GfxGlProjected, PixelProgramsBefore14DivideAndLaterOnesDoNot) {
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
    const struct {
        const char* ps;
        int column, row;
    } cases[] = {
        {"ps_1_1\ntex t0\nmov r0, t0\n", 2, 2},
        {"ps_1_3\ntex t0\nmov r0, t0\n", 2, 2},
        // Undivided at pixel 6: (0.81, 0.70), texel (3, 2).
        {"ps_1_4\ntexld r0, t0\n", 3, 2},
        {"ps_2_0\ndcl t0\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n", 3, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ps);
        Clear();
        gfx::IDirect3DPixelShader9* ps = Pixel(c.ps);
        ASSERT_NE(ps, nullptr);
        ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
        DrawRising();
        ExpectTexel(6, 8, c.column, c.row, c.ps);
    }
}

TEST_P(GfxGlProjected, AfterAVertexProgramTheFlagAloneDividesByW) {
    // The program writes (1.25, 0.75, 0, 2): divided by w, texel (2, 1).
    const char* vs = "vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oT0, c1\n";
    SetVsConstant(1, 1.25f, 0.75f, 0, 2);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_PROJECTED);
    DrawWith(vs, "");
    ExpectTexel(8, 8, 2, 1, "fixed-function stage");
    Clear();
    DrawWith(vs, "ps_1_1\ntex t0\nmov r0, t0\n");
    ExpectTexel(8, 8, 2, 1, "ps_1_1");
    Clear();
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    DrawWith(vs, "ps_1_1\ntex t0\nmov r0, t0\n");
    ExpectTexel(8, 8, 3, 3, "not projected");
}

INSTANTIATE_TEST_SUITE_P(, GfxGlProjected, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
