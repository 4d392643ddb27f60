// Table (per-pixel) fog on gl, read back: LINEAR, EXP and EXP2 by the
// pixel's depth, or by its eye depth under a perspective projection, for
// the fixed-function pipeline and programs alike.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <bit>
#include <cmath>

using namespace gfx;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
    return m;
}

// z / 24 into the depth range; w the eye's z when `perspective`.
D3DMATRIX Projection(bool perspective) {
    D3DMATRIX m = Identity();
    m.m[2][2] = 1.0f / 24.0f;
    if (perspective) {
        m.m[2][3] = 1.0f;
        m.m[3][3] = 0.0f;
    }
    return m;
}

class GfxGlTableFog : public gfxtest::GlProgramTest {
protected:
    void SetUp() override {
        gfxtest::GlProgramTest::SetUp();
        if (Stopped() || !device) return;
        device->SetRenderState(D3DRS_FOGENABLE, 1);
        device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    }
    void Table(std::uint32_t mode, float start, float end, float density) {
        device->SetRenderState(D3DRS_FOGTABLEMODE, mode);
        device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<std::uint32_t>(start));
        device->SetRenderState(D3DRS_FOGEND, std::bit_cast<std::uint32_t>(end));
        device->SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<std::uint32_t>(density));
    }
    // A red quad at eye depth 12 filling the target through either projection.
    void RedQuadAt12(bool perspective) {
        const D3DMATRIX proj = Projection(perspective);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        const float e = perspective ? 12.0f : 1.0f;
        const gfxtest::ProgramVertex v[4] = {{-e, e, 12, kRed, 0, 0}, {e, e, 12, kRed, 0, 0},
                                             {-e, -e, 12, kRed, 0, 0}, {e, -e, 12, kRed, 0, 0}};
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(v[0])), D3D_OK);
    }
    // A pre-transformed red quad over the target, z from `left` to `right`, at 1 / rhw = w.
    void RedScreenQuad(float left, float right, float w) {
        struct V {
            float x, y, z, rhw;
            std::uint32_t color;
        };
        const float r = kSize - 0.5f;
        const V v[4] = {{-0.5f, -0.5f, left, 1 / w, kRed}, {r, -0.5f, right, 1 / w, kRed},
                        {-0.5f, r, left, 1 / w, kRed}, {r, r, right, 1 / w, kRed}};
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    }
    // Red faded towards the blue fog colour: f of the object left.
    void ExpectFog(double f, int x = 8, const std::string& what = {}) { ExpectPixel(x, 8, 255 * f, 0, 255 * (1 - f), what); }
};

TEST_P(GfxGlTableFog, TheDeviceReportsTableFogByDepthAndByEyeDepth) {
    D3DCAPS9 caps;
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.RasterCaps & (D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG),
              D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG);
}

TEST_P(GfxGlTableFog, PerspectiveFogGoesByEyeDepth) {
    Table(D3DFOG_LINEAR, 10.0f, 20.0f, 0.05f);
    RedQuadAt12(true);
    ExpectFog(0.8, 8, "linear");
    Table(D3DFOG_EXP, 10.0f, 20.0f, 0.05f);
    RedQuadAt12(true);
    ExpectFog(std::exp(-0.6), 8, "exp");
    Table(D3DFOG_EXP2, 10.0f, 20.0f, 0.05f);
    RedQuadAt12(true);
    ExpectFog(std::exp(-0.36), 8, "exp2");
    // Beyond the end: all fog; no table mode and no vertex mode: none.
    Table(D3DFOG_LINEAR, 2.0f, 6.0f, 0.05f);
    RedQuadAt12(true);
    ExpectFog(0.0, 8, "beyond the end");
    Table(D3DFOG_NONE, 2.0f, 6.0f, 0.05f);
    RedQuadAt12(true);
    ExpectFog(1.0, 8, "off");
}

TEST_P(GfxGlTableFog, OrthographicFogGoesByDepthAndBeforeVertexFog) {
    // Depth 12 / 24 = 0.5 of the range: half fogged from 0 to 1.
    Table(D3DFOG_LINEAR, 0.0f, 1.0f, 0.0f);
    RedQuadAt12(false);
    ExpectFog(0.5, 8, "by depth");
    // A vertex fog mode as well: the table's wins (by camera depth 12 it would leave nothing).
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<std::uint32_t>(0.0f));
    RedQuadAt12(false);
    ExpectFog(0.5, 8, "table before vertex");
    Table(D3DFOG_NONE, 10.0f, 20.0f, 0.0f);
    RedQuadAt12(false);
    ExpectFog(0.8, 8, "vertex fog alone");
}

TEST_P(GfxGlTableFog, PreTransformedVerticesFogByZOrByTheirW) {
    const D3DMATRIX perspective = Projection(true), orthographic = Projection(false);
    Table(D3DFOG_LINEAR, 0.0f, 8.0f, 0.0f);
    device->SetTransform(D3DTS_PROJECTION, &perspective);
    RedScreenQuad(0.25f, 0.25f, 4.0f);
    ExpectFog(0.5, 8, "w 4 of 8");
    Table(D3DFOG_LINEAR, 0.0f, 1.0f, 0.0f);
    device->SetTransform(D3DTS_PROJECTION, &orthographic);
    RedScreenQuad(0.25f, 0.25f, 4.0f);
    ExpectFog(0.75, 8, "z 0.25");
}

TEST_P(GfxGlTableFog, TheFactorIsWorkedOutPerPixel) {
    // EXP2 over z running 0 to 1 across: each pixel its own exp(-(2 z)^2),
    // not what the corners' factors interpolate to.
    const D3DMATRIX orthographic = Projection(false);
    device->SetTransform(D3DTS_PROJECTION, &orthographic);
    Table(D3DFOG_EXP2, 0.0f, 1.0f, 2.0f);
    RedScreenQuad(0.0f, 1.0f, 1.0f);
    for (int x : {4, 8, 12}) {
        const double z = (x + 0.5) / kSize;
        ExpectFog(std::exp(-(2 * z) * (2 * z)), x, "pixel " + std::to_string(x));
    }
}

TEST_P(GfxGlTableFog, ProgramsAreFoggedPerPixelToo) {
    // Clip z 0.5, w 1: by depth; the pixel program's colour is fogged after it.
    Table(D3DFOG_LINEAR, 0.0f, 1.0f, 0.0f);
    const char* red = "ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\n";
    DrawWith(gfxtest::kPassVertex, red);
    ExpectFog(0.5, 8, "vs_2_0 and ps_2_0");
    Clear();
    DrawWith(gfxtest::kPassVertex, "", kRed);
    ExpectFog(0.5, 8, "vs_2_0 and fixed-function stages");
    Clear();
    DrawWith(gfxtest::kPassVertex, "ps_1_1\nmov r0, v0\n", kRed);
    ExpectFog(0.5, 8, "ps_1_1");
    // Under a perspective projection by w: the program writes w 4.
    Clear();
    const D3DMATRIX perspective = Projection(true);
    device->SetTransform(D3DTS_PROJECTION, &perspective);
    Table(D3DFOG_LINEAR, 0.0f, 8.0f, 0.0f);
    SetVsConstant(0, 4, 4, 4, 4);
    DrawWith("vs_2_0\ndcl_position v0\nmul oPos, v0, c0\n", red);
    ExpectFog(0.5, 8, "w 4 of 8");
    // 3.0 pixel programs do their own fog.
    Clear();
    DrawWith("vs_3_0\ndcl_position v0\ndcl_position o0\nmov o0, v0\n", "ps_3_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\n");
    ExpectFog(1.0, 8, "ps_3_0");
}

INSTANTIATE_TEST_SUITE_P(, GfxGlTableFog, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
