// Pixel programs 1.1-1.4 on gl, read back: their modifiers, the [-1, 1]
// range, co-issue, and each texture-addressing instruction against the
// coordinates and texels worked out by hand.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cstring>

using namespace gfx;

namespace {

struct Expect {
    const char* what;
    const char* ps;
    double r, g, b;
};

// Position, and coordinates: set 0 the quad's, sets 1-3 from c1-c3.
const char* kRowsVertex = "vs_1_1\ndcl_position v0\ndcl_texcoord v2\nmov oPos, v0\nmov oT0, v2\n"
                          "mov oT1, c1\nmov oT2, c2\nmov oT3, c3\n";

class GfxGlPixel1x : public gfxtest::GlProgramTest {
protected:
    void SetUp() override {
        gfxtest::GlProgramTest::SetUp();
        if (Stopped() || !device) return;
        // The 2 x 2 texture red, green / blue, white on stages 0-3, clamped.
        ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(m_texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
        const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
        for (int y = 0; y < 2; ++y) std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch, texels + 2 * y, 8);
        m_texture->UnlockRect(0);
        for (std::uint32_t stage = 0; stage < 4; ++stage) {
            device->SetTexture(stage, m_texture);
            device->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
            device->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        }
    }
    void TearDown() override {
        if (device)
            for (std::uint32_t stage = 0; stage < 4; ++stage) device->SetTexture(stage, nullptr);
        if (m_texture) m_texture->Release();
        gfxtest::GlProgramTest::TearDown();
    }
    void Rows(float u1, float v1, float u2, float v2, float u3 = 0, float v3 = 0) {
        SetVsConstant(1, u1, v1, 0, 1);
        SetVsConstant(2, u2, v2, 0, 1);
        SetVsConstant(3, u3, v3, 0, 1);
    }
    void Run(const std::vector<Expect>& cases, const char* vs = "vs_1_1\ndcl_position v0\nmov oPos, v0\n") {
        for (const Expect& c : cases) {
            SCOPED_TRACE(c.what);
            Clear();
            DrawWith(vs, c.ps);
            ExpectPixel(8, 8, c.r, c.g, c.b, c.what);
        }
    }
    IDirect3DTexture9* m_texture = nullptr;
};

TEST_P(GfxGlPixel1x, ModifiersAndTheUnitRange) {
    const float big[4] = {2, 2, 2, 2};
    ASSERT_EQ(device->SetPixelShaderConstantF(5, big, 1), D3D_OK);
    Run({
        {"_bx2", "ps_1_1\ndef c0, 0.75, 0.25, 0.5, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\nmul r0, c0_bx2, c1\n", 63.75, 0, 0},
        {"_d2", "ps_1_1\ndef c0, 0.75, 0.25, 0.5, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\nadd_d2 r0, c0, c1\n", 159.375, 95.625, 127.5},
        {"_x4 clamps at 1", "ps_1_1\ndef c0, 0.75, 0.25, 0.5, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\nmul_x4 r0, c0, c1\n", 255, 127.5, 255},
        {"1-x", "ps_1_1\ndef c0, 0.75, 0.25, 0.5, 1\nmov r0, 1-c0\n", 63.75, 191.25, 127.5},
        {"_bias", "ps_1_1\ndef c0, 0.75, 0.25, 0.5, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\nadd r0, c0_bias, c1\n", 191.25, 63.75, 127.5},
        {"_x2 source", "ps_1_4\ndef c0, 0.25, 0.125, 0.5, 1\nmov r0, c0_x2\n", 127.5, 63.75, 255},
        // Results stay in [-1, 1]: 1 + 1 - 1 is 0, not 1.
        {"results clamp to 1", "ps_1_1\ndef c0, 1, 1, 1, 1\nadd r0, c0, c0\nadd r0, r0, -c0\n", 0, 0, 0},
        // A constant set to 2 reads 1.
        {"constants clamp to 1", "ps_1_1\ndef c2, 0.25, 0.25, 0.25, 0.25\nmul r0, c5, c2\n", 63.75, 63.75, 63.75},
        {"cnd on r0.a", "ps_1_1\ndef c0, 0, 0, 0, 0.6\ndef c1, 1, 0, 0, 1\ndef c2, 0, 1, 0, 1\nmov r0, c0\n"
                        "cnd r0, r0.a, c1, c2\n",
         255, 0, 0},
        {"cmp", "ps_1_2\ndef c0, -1, 0, 1, 0\ndef c1, 1, 1, 1, 1\ndef c2, 0, 0, 0, 0\ncmp r0, c0, c1, c2\n", 0, 255, 255},
        {"lrp dp3 dp4", "ps_1_2\ndef c0, 0.25, 0.25, 0.25, 0.25\ndef c1, 1, 0, 0.5, 0\ndef c2, 0, 1, 0.5, 0\n"
                        "lrp r0.rgb, c0, c1, c2\n+dp4 r0.a, c1, c2\n",
         63.75, 191.25, 127.5},
        // A co-issued pair reads before either writes: alpha adds the old blue.
        {"co-issue", "ps_1_1\ndef c0, 0.25, 0.25, 0.25, 0.5\ndef c1, 0.25, 0.25, 0.25, 0\nmov r0, c0\n"
                     "add r0.rgb, r0, c1\n+add r0.a, r0.a, r0.b\nmul r0.rgb, r0, r0.a\n",
         95.625, 95.625, 95.625},
    });
}

TEST_P(GfxGlPixel1x, TextureRegistersAndTheirAddressing) {
    // Stage 1 and 2 bump matrices: identity; luminance 0.5 x blue + 0.
    for (std::uint32_t stage = 1; stage < 3; ++stage) {
        const float one = 1.0f, zero = 0.0f;
        std::uint32_t bits1, bits0;
        std::memcpy(&bits1, &one, 4);
        std::memcpy(&bits0, &zero, 4);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVMAT00, bits1);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVMAT11, bits1);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVMAT01, bits0);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVMAT10, bits0);
        const float half = 0.5f;
        std::uint32_t bitsHalf;
        std::memcpy(&bitsHalf, &half, 4);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVLSCALE, bitsHalf);
        device->SetTextureStageState(stage, D3DTSS_BUMPENVLOFFSET, bits0);
    }
    struct Case {
        const char* what;
        const char* ps;
        int x, y;
        double r, g, b;
    };
    Rows(0.75f, 0.25f, 0.25f, 0.75f, 0.75f, 0.75f);
    const Case cases[] = {
        {"tex", "ps_1_1\ntex t0\nmov r0, t0\n", 3, 3, 255, 0, 0},
        {"tex", "ps_1_1\ntex t0\nmov r0, t0\n", 12, 12, 255, 255, 255},
        // texcoord: the coordinates as a colour (pixel centres on whole coordinates).
        {"texcoord", "ps_1_1\ntexcoord t0\nmov r0, t0\n", 8, 8, 127.5, 127.5, 0},
        // texreg2ar reads stage 1 at (alpha, red): red gives (1, 1) white, blue (1, 0) green.
        {"texreg2ar", "ps_1_1\ntex t0\ntexreg2ar t1, t0\nmov r0, t1\n", 3, 3, 255, 255, 255},
        {"texreg2ar", "ps_1_1\ntex t0\ntexreg2ar t1, t0\nmov r0, t1\n", 3, 12, 0, 255, 0},
        {"texreg2gb", "ps_1_1\ntex t0\ntexreg2gb t1, t0\nmov r0, t1\n", 12, 3, 0, 255, 0},
        // Rows (0.75, 0.25) and (0.25, 0.75) dotted with the texel: red gives
        // (0.75, 0.25), the green texel; green gives (0.25, 0.75), blue.
        {"texm3x2tex", "ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\nmov r0, t2\n", 3, 3, 0, 255, 0},
        {"texm3x2tex", "ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\nmov r0, t2\n", 12, 3, 0, 0, 255},
        {"texm3x3", "ps_1_2\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3 t3, t0\nmov r0, t3\n", 3, 3,
         191.25, 63.75, 191.25},
        {"texdp3", "ps_1_2\ntex t0\ntexdp3 t1, t0\nmov r0, t1\n", 12, 3, 63.75, 63.75, 63.75},
        {"texdp3tex", "ps_1_2\ntex t0\ntexdp3tex t1, t0\nmov r0, t1\n", 3, 3, 0, 255, 0},
        // texbem: stage 1 at row 1 (0.75, 0.25) moved by the texel's red and green.
        {"texbem", "ps_1_1\ntex t0\ntexbem t1, t0\nmov r0, t1\n", 3, 12, 0, 255, 0},
        {"texbem", "ps_1_1\ntex t0\ntexbem t1, t0\nmov r0, t1\n", 12, 3, 255, 255, 255},
        {"texbeml", "ps_1_1\ntex t0\ntexbeml t1, t0\nmov r0, t1\n", 3, 12, 0, 127.5, 0},
        // 1.4: texld at set coordinates, texcrd, and a dependent read after phase.
        {"texld texcrd", "ps_1_4\ntexld r0, t0\ntexcrd r1.rgb, t1\nmul r0.rgb, r0, r1\n", 3, 3, 191.25, 0, 0},
        {"phase", "ps_1_4\ntexcrd r1.rgb, t3\nphase\ntexld r2, r1\nmov r0, r2\n", 3, 3, 255, 255, 255},
        {"bem", "ps_1_4\ndef c0, 0.25, 0.25, 0, 0\ntexld r1, t0\nbem r2.rg, c0, r1\nphase\ntexld r2, r2\nmov r0, r2\n",
         3, 3, 0, 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        DrawWith(kRowsVertex, c.ps);
        ExpectPixel(c.x, c.y, c.r, c.g, c.b, c.what);
    }
}

TEST_P(GfxGlPixel1x, TexkillUsesTheCoordinates) {
    // Coordinates moved by -0.5: only the bottom-right quarter keeps all positive.
    SetVsConstant(0, -0.5f, -0.5f, 0, 0);
    DrawWith("vs_1_1\ndcl_position v0\ndcl_texcoord v2\nmov oPos, v0\nadd oT0, v2, c0\n",
             "ps_1_1\ndef c0, 1, 1, 0, 1\ntexkill t0\nmov r0, c0\n");
    ExpectPixel(3, 3, 0, 0, 0, "killed");
    ExpectPixel(12, 3, 0, 0, 0, "killed");
    ExpectPixel(12, 12, 255, 255, 0, "kept");
}

INSTANTIATE_TEST_SUITE_P(, GfxGlPixel1x, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
