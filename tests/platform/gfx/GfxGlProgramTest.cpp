// Vertex and pixel programs drawn on gl and read back, one small program per
// instruction family, each pixel worked out by hand from the published
// instruction behaviour (one step per channel either way).
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cstring>

using namespace gfx;
using gfxtest::kPassVertex;
using gfxtest::Ref;

namespace {

// One program pair and the colour the middle of the quad must take (0..255).
struct Expect {
    const char* what;
    const char* vs; // empty: fixed function
    const char* ps; // empty: fixed function
    double r, g, b;
};

// A vertex program handing on only the position, for pixel programs that
// compute their colour from constants.
const char* kPositionVertex = "vs_1_1\ndcl_position v0\nmov oPos, v0\n";
const char* kPassVertex30 = "vs_3_0\n"
                            "dcl_position v0\n"
                            "dcl_color v1\n"
                            "dcl_texcoord v2\n"
                            "dcl_position o0\n"
                            "dcl_color o1\n"
                            "dcl_texcoord o2\n"
                            "mov o0, v0\n"
                            "mov o1, v1\n"
                            "mov o2, v2\n";

class GfxGlProgram : public gfxtest::GlProgramTest {
protected:
    void Run(const std::vector<Expect>& cases) {
        for (const Expect& c : cases) {
            SCOPED_TRACE(c.what);
            Clear();
            DrawWith(c.vs, c.ps);
            ExpectPixel(8, 8, c.r, c.g, c.b, c.what);
        }
    }
    // A 2 x 2 texture: red, green / blue, white (rows top-down), or one of
    // `levels` levels each of one colour (red, green, blue, ...).
    IDirect3DTexture9* Texture(std::uint32_t size = 2, std::uint32_t levels = 1) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(size, size, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t) return nullptr;
        static constexpr std::uint32_t kQuad[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
        static constexpr std::uint32_t kLevel[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
        for (std::uint32_t level = 0; level < levels; ++level) {
            D3DLOCKED_RECT lr;
            EXPECT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
            const std::uint32_t edge = std::max(1u, size >> level);
            for (std::uint32_t y = 0; y < edge; ++y)
                for (std::uint32_t x = 0; x < edge; ++x) {
                    const std::uint32_t c = levels > 1 ? kLevel[level & 3] : kQuad[(y * 2 + x) & 3];
                    std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * std::uint32_t(lr.Pitch) + x * 4, &c, 4);
                }
            t->UnlockRect(level);
        }
        m_textures.push_back(t);
        return t;
    }
    void TearDown() override {
        if (device)
            for (std::uint32_t i = 0; i < 4; ++i) device->SetTexture(i, nullptr);
        for (auto* t : m_textures) t->Release();
        gfxtest::GlProgramTest::TearDown();
    }
    std::vector<IDirect3DTexture9*> m_textures;
};

TEST_P(GfxGlProgram, AVertexAndPixelProgramDrawTheirColour) {
    DrawWith(kPassVertex, "ps_2_0\ndef c0, 1.0f, 0.5, 0.25, 1\nmov oC0, c0\n");
    ExpectPixel(0, 0, 255, 127.5, 63.75);
    ExpectPixel(15, 15, 255, 127.5, 63.75);
}

TEST_P(GfxGlProgram, ArithmeticAndSpecialValues) {
    Run({
        {"slt sge frc", "vs_1_1\ndcl_position v0\ndef c0, 0.5, 2, -1, 0.75\ndef c1, 3.25, 0, 0, 0\n"
                        "slt r0.x, c0.x, c0.y\nsge r0.y, c0.z, c0.x\nfrc r1, c1.x\nmov r0.z, r1.x\nmov r0.w, c0.w\n"
                        "mov oPos, v0\nmov oD0, r0\n",
         "", 255, 0, 63.75},
        {"lit dst", "vs_1_1\ndcl_position v0\ndef c0, 0.5, 0.5, 0, 2\ndef c1, 0, 0.5, 0.75, 0\n"
                    "lit r0, c0\ndst r1, c1, c1\nmov r2.x, r0.y\nmov r2.y, r0.z\nmov r2.z, r1.y\nmov r2.w, r1.x\n"
                    "mov oPos, v0\nmov oD0, r2\n",
         "", 127.5, 63.75, 63.75},
        {"lit below zero", "vs_1_1\ndcl_position v0\ndef c0, -0.5, 0.5, 0, 2\n"
                           "lit r0, c0\nmov r1, r0.yzxw\nmov oPos, v0\nmov oD0, r1\n",
         "", 0, 0, 255},
        {"exp log expp logp", "vs_1_1\ndcl_position v0\ndef c0, -2, 1.41421356, 1.75, 8\n"
                              "exp r0.x, c0.x\nlog r0.y, c0.y\nexpp r1, c0.z\nmov r0.z, r1.y\nlogp r2, c0.w\n"
                              "mul r0.w, r2.x, r2.w\nmov oPos, v0\nmov oD0, r0\n",
         "", 63.75, 127.5, 191.25},
        {"rcp rsq log of zero stay finite", kPositionVertex,
         "ps_2_0\ndef c0, 0, 1, -4, 0\nrcp r1.x, c0.x\nrsq r1.y, c0.x\nlog r1.z, c0.x\nadd r2, r1, -r1\n"
         "cmp r0, r2, c0.y, c0.x\nmov oC0, r0\n",
         255, 255, 255},
        {"rcp rsq of values", kPositionVertex,
         "ps_2_0\ndef c0, 4, -16, 8, 1\nrcp r0.x, c0.x\nrsq r0.y, c0.y\nrcp r1.x, c0.z\nadd r0.z, r1.x, r0.y\n"
         "mov r0.w, c0.w\nmov oC0, r0\n",
         63.75, 63.75, 95.625},
        {"min max mad sub abs", kPositionVertex,
         "ps_2_0\ndef c0, 0.25, 0.75, -0.5, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\nmin r0.x, c0.x, c0.y\nmax r0.y, c0.x, c0.y\n"
         "abs r1, c0.z\nmad r0.z, r1.x, c1.x, c0.x\nsub r0.z, r0.z, c1.z\nmov r0.w, c0.w\nmov oC0, r0\n",
         63.75, 191.25, 0},
        {"nrm dp2add lrp", kPositionVertex,
         "ps_2_0\ndef c0, 3, 4, 0, 0\ndef c1, 0.5, 0.25, 0.125, 1\nnrm r1, c0\nmov r0.xy, r1\n"
         "dp2add r0.z, c1, c1, c1.z\nmov r0.w, c1.w\nmov oC0, r0\n",
         153, 204, 111.5625},
        {"pow crs dp3 dp4", kPositionVertex,
         "ps_2_0\ndef c0, 0.25, 0.5, 0, 1\ndef c1, 1, 0, 0, 0\ndef c2, 0, 1, 0, 0\npow r0.x, c0.x, c0.y\n"
         "crs r1.xyz, c1, c2\nmul r0.y, r1.z, c0.y\ndp4 r2.x, c0, c0\ndp3 r2.y, c0, c0\nsub r0.z, r2.x, r2.y\n"
         "mov r0.w, c0.w\nmov oC0, r0\n",
         127.5, 127.5, 255},
        {"sincos", "vs_2_0\ndcl_position v0\ndef c0, 1.04719755, 0, 0, 1\ndef c1, -1.5500992e-006, -2.1701389e-005, 0.0026041667, 0.00026041668\n"
                   "def c2, -0.020833334, -0.12500000, 1.0000000, 0.50000000\nsincos r0.xy, c0.x, c1, c2\nmov r0.z, c0.y\n"
                   "mov r0.w, c0.w\nmov oPos, v0\nmov oD0, r0\n",
         "", 127.5, 220.8, 0},
        {"sgn and modifiers", "vs_2_0\ndcl_position v0\ndef c0, -3, 0, 2, 1\ndef c1, 0.5, 0.5, 0.5, 0.5\n"
                              "sgn r0, c0, r1, r2\nmad r0, r0, c1, c1\nmov oPos, v0\nmov oD0, r0\n",
         "", 0, 127.5, 255},
        {"saturate", kPositionVertex,
         "ps_2_0\ndef c0, 2, -1, 0.5, 1\nmov_sat r0, c0\nmov oC0, r0\n", 255, 0, 127.5},
    });
}

TEST_P(GfxGlProgram, MatrixInstructionsTakeConsecutiveRegisters) {
    // m4x4 with c0-c3 halving the quad, m3x3 / m3x2 / m4x3 / m3x4 into the colour.
    const char* vs = "vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c0\n"
                     "m3x3 r0.xyz, c8, c4\nm3x2 r1.xy, c8, c4\nm4x3 r2.xyz, c9, c4\nm3x4 r3, c8, c4\n"
                     "add r0.y, r0.y, r1.y\nadd r0.z, r0.z, r2.z\nadd r0.z, r0.z, r3.w\nmov r0.w, c9.w\nmov oD0, r0\n";
    auto* program = Vertex(vs);
    ASSERT_NE(program, nullptr);
    const float transform[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_EQ(device->SetVertexShaderConstantF(0, transform, 4), D3D_OK);
    // Rows c4-c7 and inputs c8, c9: r0 = (1, 0.25, 0.125); r1.y = 0.25; r2.z = 0.125; r3.w = 0.125.
    const float rows[16] = {1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0.25f, 0.5f};
    ASSERT_EQ(device->SetVertexShaderConstantF(4, rows, 4), D3D_OK);
    SetVsConstant(8, 1, 0.5f, 0.5f, 0);
    SetVsConstant(9, 1, 0.5f, 0.5f, 0);
    ASSERT_EQ(device->SetVertexShader(program), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 255, 127.5, 95.625);
    ExpectPixel(1, 1, 0, 0, 0, "outside the halved quad");
    ExpectPixel(5, 5, 255, 127.5, 95.625);
}

TEST_P(GfxGlProgram, ConstantsReachTheProgramWhenChanged) {
    auto* vs = Vertex(kPositionVertex);
    auto* ps = Pixel("ps_2_0\nmov oC0, c3\n");
    ASSERT_TRUE(vs && ps);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);
    SetPsConstant(3, 1, 0, 0, 1);
    DrawQuad();
    ExpectPixel(8, 8, 255, 0, 0);
    SetPsConstant(3, 0, 1, 0, 1);
    DrawQuad();
    ExpectPixel(8, 8, 0, 255, 0);
    // Another program reading the same register sees the new value too.
    auto* other = Pixel("ps_2_0\ndef c0, 0.5, 0.5, 0.5, 0.5\nmul oC0, c3, c0\n");
    device->SetPixelShader(other);
    DrawQuad();
    ExpectPixel(8, 8, 0, 127.5, 0);
    device->SetPixelShader(ps);
    SetPsConstant(3, 0, 0, 1, 1);
    DrawQuad();
    ExpectPixel(8, 8, 0, 0, 255);
}

TEST_P(GfxGlProgram, FlowControlAndLoops) {
    Run({
        {"loop rep if", kPassVertex30,
         "ps_3_0\ndefi i0, 4, 0, 1, 0\ndefi i1, 3, 0, 0, 0\ndef c0, 0.0625, 0, 0, 1\ndefb b0, true\ndefb b1, false\n"
         "mov r0, c0.y\nloop aL, i0\nadd r0.x, r0.x, c0.x\nendloop\nrep i1\nadd r0.y, r0.y, c0.x\nendrep\n"
         "if b0\nadd r0.z, r0.z, c0.w\nendif\nif b1\nmov r0.z, c0.y\nelse\nadd r0.z, r0.z, c0.x\nendif\nmov r0.w, c0.w\nmov oC0, r0\n",
         63.75, 47.8125, 255},
        {"breakc call callnz predicate", kPassVertex30,
         "ps_3_0\ndefi i0, 10, 0, 1, 0\ndef c0, 0.125, 3, 1, 0\ndef c1, 0.5, 0.25, 0, 0\ndefb b1, false\n"
         "mov r0, c0.w\nmov r1, c0.w\nloop aL, i0\nadd r0.x, r0.x, c0.x\nadd r1.x, r1.x, c0.z\nbreak_ge r1.x, c0.y\n"
         "endloop\ncall l0\ncallnz l1, b1\nsetp_gt p0.x, c0.z, c0.w\n(p0.x) mov r0.z, c0.z\n(!p0.x) mov r0.z, c0.w\n"
         "mov r0.w, c0.z\nmov oC0, r0\nret\nlabel l0\nmov r0.y, c1.x\nret\nlabel l1\nmov r0.y, c1.y\nret\n",
         95.625, 127.5, 255},
        {"ifc break breakp", kPassVertex30,
         "ps_3_0\ndefi i0, 8, 0, 1, 0\ndef c0, 0.25, 2, 1, 0\n"
         "mov r0, c0.w\nmov r1, c0.w\nrep i0\nadd r1.x, r1.x, c0.z\nif_gt r1.x, c0.y\nbreak\nendif\nadd r0.x, r0.x, c0.x\n"
         "endrep\nsetp_lt p0, c0.w, c0\nrep i0\nbreakp p0.z\nadd r0.y, r0.y, c0.x\nendrep\n"
         "if_lt c0.w, c0.z\nmov r0.z, c0.z\nendif\nmov oC0, r0\n",
         127.5, 0, 255},
        {"vertex loop with aL into constants", "vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_color o1\n"
         "defi i0, 3, 20, 1, 0\ndef c20, 0.25, 0, 0, 0\ndef c21, 0, 0.5, 0, 0\ndef c22, 0, 0, 0.75, 0\n"
         "mov r0, c19.w\nloop aL, i0\nadd r0, r0, c[aL]\nendloop\nmov o0, v0\nmov o1, r0\n",
         "ps_3_0\ndcl_color v0\nmov oC0, v0\n", 63.75, 127.5, 191.25},
    });
}

TEST_P(GfxGlProgram, RelativeAddressingOfConstants) {
    SetVsConstant(5, 0.25f, 0.5f, 0.75f, 1);
    SetVsConstant(6, 1, 0, 0.5f, 1);
    Run({
        // The 1.1 mov rounds down: 2.7 gives 2, so c[a0.x + 3] is c5.
        {"vs_1_1 a0", "vs_1_1\ndcl_position v0\ndef c10, 2.7, 0, 0, 0\nmov a0.x, c10.x\nmov oPos, v0\nmov oD0, c[a0.x + 3]\n",
         "", 63.75, 127.5, 191.25},
        // mova rounds to the nearest: 3, so c6.
        {"vs_2_0 mova", "vs_2_0\ndcl_position v0\ndef c10, 2.7, 0, 0, 0\nmova a0.x, c10.x\nmov oPos, v0\nmov oD0, c[a0.x + 3]\n",
         "", 255, 0, 127.5},
        // A definition holds for relative reads too.
        {"defined register read relatively", "vs_2_0\ndcl_position v0\ndef c7, 0, 1, 0, 1\ndef c10, 2, 0, 0, 0\n"
         "mova a0.x, c10.x\nmov oPos, v0\nmov oD0, c[a0.x + 5]\n",
         "", 0, 255, 0},
    });
}

TEST_P(GfxGlProgram, Vertex30OutputsMeetPixel30InputsBySemantics) {
    Run({{"by usage and index", "vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_texcoord3 o1\ndcl_color1 o2\n"
          "def c0, 0.25, 0.5, 0.75, 1\ndef c1, 1, 0, 0, 0\nmov o0, v0\nmov o1, c0\nmov o2, c1\n",
          "ps_3_0\ndcl_color1 v0\ndcl_texcoord3 v1\nmov r0.xy, v1.yz\nmov r0.z, v0.x\nmov r0.w, v0.x\nmov oC0, r0\n",
          127.5, 191.25, 255},
         {"packed components", "vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_texcoord0 o1.xy\ndcl_texcoord1 o1.zw\n"
          "def c0, 0.25, 0.5, 0.75, 1\nmov o0, v0\nmov o1, c0\n",
          "ps_3_0\ndcl_texcoord0 v0.xy\ndcl_texcoord1 v0.zw\nmov r0.xy, v0.yx\nmov r0.z, v0.z\nmov r0.w, v0.w\nmov oC0, r0\n",
          127.5, 63.75, 191.25},
         {"vPos and vFace", kPassVertex30,
          "ps_3_0\ndcl vPos.xy\ndcl vFace\ndef c0, 0.0625, 0, 1, 0\nmul r0.xy, vPos, c0.x\ncmp r0.z, vFace, c0.z, c0.y\n"
          "mov r0.w, c0.z\nmov oC0, r0\n",
          127.5, 127.5, 255}});
}

TEST_P(GfxGlProgram, ProgramsPairWithTheFixedFunctionHalf) {
    IDirect3DTexture9* t = Texture();
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
    // A vertex program with the fixed-function stages: texture x diffuse.
    DrawWith("vs_1_1\ndcl_position v0\ndcl_texcoord v2\ndef c0, 0.5, 0.5, 0.5, 1\nmov oPos, v0\nmov oD0, c0\nmov oT0, v2\n",
             "");
    ExpectPixel(3, 3, 127.5, 0, 0, "red texel");
    ExpectPixel(12, 3, 0, 127.5, 0, "green texel");
    ExpectPixel(3, 12, 0, 0, 127.5, "blue texel");
    // The fixed-function vertex path with a pixel program.
    Clear();
    DrawWith("", "ps_2_0\ndcl t0.xy\ndcl v0\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, v0\nmov oC0, r0\n", 0xFF404040u);
    ExpectPixel(3, 3, 64, 0, 0, "red texel");
    ExpectPixel(12, 12, 64, 64, 64, "white texel");
    // The texture coordinate set a stage names reaches the program's t0.
    Clear();
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    DrawWith("", "ps_1_1\ntex t0\nmov r0, t0\n");
    ExpectPixel(12, 3, 0, 255, 0);
}

// Effects set their programs before each draw and clear them after; the
// program chosen must follow the programs alone, with nothing else changed
// in between: each draw onto the same spot shows its own pair.
TEST_P(GfxGlProgram, EachDrawTakesTheProgramsSetForItWhenNothingElseChanges) {
    gfx::IDirect3DVertexShader9* vs = Vertex(kPassVertex);
    gfx::IDirect3DVertexShader9* half =
        Vertex("vs_2_0\ndcl_position v0\ndef c0, 0.5, 0.5, 0.5, 1\nmov oPos, v0\nmov oD0, c0\n");
    gfx::IDirect3DPixelShader9* red = Pixel("ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\n");
    gfx::IDirect3DPixelShader9* blue = Pixel("ps_2_0\ndef c0, 0, 0, 1, 1\nmov oC0, c0\n");
    gfx::IDirect3DPixelShader9* colour = Pixel("ps_2_0\ndcl v0\nmov oC0, v0\n");
    ASSERT_TRUE(vs && half && red && blue && colour);
    struct Step {
        const char* what;
        gfx::IDirect3DVertexShader9* vs;
        gfx::IDirect3DPixelShader9* ps;
        double r, g, b;
    };
    const Step steps[] = {
        {"red pair", vs, red, 255, 0, 0},
        {"blue pixel program", vs, blue, 0, 0, 255},
        {"fixed function", nullptr, nullptr, 64, 64, 64},
        {"red again", vs, red, 255, 0, 0},
        {"other vertex program", half, colour, 127.5, 127.5, 127.5},
        {"first vertex program", vs, colour, 64, 64, 64},
        {"pixel program alone", nullptr, blue, 0, 0, 255},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        ASSERT_EQ(device->SetVertexShader(st.vs), gfx::D3D_OK);
        ASSERT_EQ(device->SetPixelShader(st.ps), gfx::D3D_OK);
        DrawQuad(0xFF404040u);
        ExpectPixel(8, 8, st.r, st.g, st.b, st.what);
        // What an effect leaves behind between draws.
        ASSERT_EQ(device->SetVertexShader(nullptr), gfx::D3D_OK);
        ASSERT_EQ(device->SetPixelShader(nullptr), gfx::D3D_OK);
    }
}

// Vertex texture fetch: a 3.0 vertex program's texldl reads the texture set
// on the vertex sampler, apart from the pixel samplers, with its own states.
TEST_P(GfxGlProgram, VertexProgramsFetchFromTheVertexSamplers) {
    IDirect3DTexture9* quad = Texture();
    IDirect3DTexture9* other = Texture(4, 3);
    ASSERT_TRUE(quad && other);
    const std::uint32_t vertex0 = D3DVERTEXTEXTURESAMPLER0;
    ASSERT_EQ(device->SetTexture(vertex0, quad), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, other), D3D_OK); // the pixel sampler 0 is another
    ASSERT_EQ(device->SetSamplerState(vertex0, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
    ASSERT_EQ(device->SetSamplerState(vertex0, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
    std::uint32_t filter = 0;
    ASSERT_EQ(device->GetSamplerState(vertex0, D3DSAMP_MAGFILTER, &filter), D3D_OK);
    EXPECT_EQ(filter, D3DTEXF_POINT);
    IDirect3DBaseTexture9* got = nullptr;
    ASSERT_EQ(device->GetTexture(vertex0, &got), D3D_OK);
    EXPECT_EQ(got, quad);
    got->Release();
    // Sampler numbers between the pixel and vertex ones, and past them, are none.
    EXPECT_EQ(device->SetTexture(D3DDMAPSAMPLER, quad), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(vertex0 + 4, quad), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(vertex0 + 4, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3DERR_INVALIDCALL);

    const char* vs = "vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_color o1\ndcl_2d s0\n"
                     "mov o0, v0\ntexldl r0, c0, s0\nmov o1, r0\n";
    const char* ps = "ps_3_0\ndcl_color v0\nmov oC0, v0\n";
    const float green[4] = {0.75f, 0.25f, 0, 0}, blue[4] = {0.25f, 0.75f, 0, 0};
    ASSERT_EQ(device->SetVertexShaderConstantF(0, green, 1), D3D_OK);
    Clear();
    DrawWith(vs, ps);
    ExpectPixel(8, 8, 0, 255, 0, "texel (1, 0)");
    ASSERT_EQ(device->SetVertexShaderConstantF(0, blue, 1), D3D_OK);
    Clear();
    DrawWith(vs, ps);
    ExpectPixel(8, 8, 0, 0, 255, "texel (0, 1)");
    // Another texture on the vertex sampler is read in its place.
    ASSERT_EQ(device->SetTexture(vertex0, other), D3D_OK);
    ASSERT_EQ(device->SetSamplerState(vertex0, D3DSAMP_MIPFILTER, D3DTEXF_POINT), D3D_OK);
    const float level1[4] = {0.5f, 0.5f, 0, 1};
    ASSERT_EQ(device->SetVertexShaderConstantF(0, level1, 1), D3D_OK);
    Clear();
    DrawWith(vs, ps);
    ExpectPixel(8, 8, 0, 255, 0, "level 1 of the other");
    ASSERT_EQ(device->SetTexture(vertex0, nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
}

TEST_P(GfxGlProgram, Pixel20SamplingVariants) {
    IDirect3DTexture9* quad = Texture();
    IDirect3DTexture9* mips = Texture(4, 3);
    ASSERT_TRUE(quad && mips);
    ASSERT_EQ(device->SetTexture(0, quad), D3D_OK);
    ASSERT_EQ(device->SetTexture(1, mips), D3D_OK);
    device->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    // texldp divides by w; texldb adds w to the level; texldl takes w as the level.
    Clear();
    DrawWith(kPassVertex, "ps_2_0\ndcl t0.xy\ndcl_2d s0\ndef c0, 2, 2, 0, 2\nmul r1, t0, c0\nmov r1.w, c0.w\n"
                          "texldp r0, r1, s0\nmov oC0, r0\n");
    ExpectPixel(12, 3, 0, 255, 0, "texldp");
    ExpectPixel(3, 12, 0, 0, 255, "texldp");
    Clear();
    DrawWith(kPassVertex, "ps_2_0\ndcl t0.xy\ndcl_2d s1\ndef c0, 0, 0, 0, 4\nmov r1, t0\nmov r1.w, c0.w\n"
                          "texldb r0, r1, s1\nmov oC0, r0\n");
    // 16 pixels over 4 texels is level -2; 4 more is level 2 (blue).
    ExpectPixel(8, 8, 0, 0, 255, "texldb");
    Clear();
    DrawWith(kPassVertex30, "ps_3_0\ndcl_texcoord v0.xy\ndcl_2d s1\ndef c0, 0, 0, 0, 1\nmov r1, v0\nmov r1.w, c0.w\n"
                            "texldl r0, r1, s1\nmov oC0, r0\n");
    ExpectPixel(8, 8, 0, 255, 0, "texldl");
    Clear();
    DrawWith(kPassVertex30, "ps_3_0\ndcl_texcoord v0.xy\ndcl_2d s1\ndef c0, 0.5, 0, 0, 0\n"
                            "texldd r0, v0, s1, c0.xyyy, c0.yxyy\nmov oC0, r0\n");
    // A gradient of half the texture per pixel is level 1 (green).
    ExpectPixel(8, 8, 0, 255, 0, "texldd");
    // The sampler's swizzle applies to the result.
    Clear();
    DrawWith(kPassVertex, "ps_2_x\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0.gbra\nmov oC0, r0\n");
    ExpectPixel(3, 3, 0, 0, 255, "swizzled red");
    // dsx / dsy of the coordinates: 1/16 per pixel across, and down.
    Clear();
    DrawWith(kPassVertex, "ps_2_x\ndcl t0.xy\ndef c0, 8, 8, 0, 1\ndsx r1, t0\ndsy r2, t0\nmul r0.x, r1.x, c0.x\n"
                          "mul r0.y, r2.y, c0.y\nmov r0.zw, c0\nmov oC0, r0\n");
    ExpectPixel(8, 8, 127.5, 127.5, 0, "gradients");
}

TEST_P(GfxGlProgram, TexkillAndAlphaTest) {
    // Pixels whose coordinate u - 0.5 is negative are killed: the left half stays clear.
    DrawWith(kPassVertex, "ps_2_0\ndcl t0.xy\ndef c0, 0.5, 0, 0, 1\ndef c1, 1, 1, 1, 1\nsub r0, t0, c0\n"
                          "texkill r0\nmov oC0, c1\n");
    ExpectPixel(3, 8, 0, 0, 0, "killed");
    ExpectPixel(12, 8, 255, 255, 255, "kept");
    // The alpha test follows the program's alpha.
    Clear();
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    DrawWith(kPassVertex, "ps_2_0\ndcl t0.xy\ndef c0, 1, 1, 1, 0\nmov r0, c0\nmov r0.w, t0.x\nmov oC0, r0\n");
    ExpectPixel(3, 8, 0, 0, 0, "alpha below the reference");
    ExpectPixel(12, 8, 255, 255, 255, "alpha above");
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 0);
}

TEST_P(GfxGlProgram, DepthOutputReplacesTheInterpolatedDepth) {
    // The quad at depth 0.5 writes 0.25 through oDepth; a fixed-function
    // quad at 0.375 behind it (LESSEQUAL) then fails the depth test.
    DrawWith(kPassVertex, "ps_2_0\ndef c0, 0.25, 0, 0, 1\ndef c1, 1, 0, 0, 1\nmov oDepth, c0.x\nmov oC0, c1\n");
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    DrawQuad(0xFF00FF00u, 0.375f);
    ExpectPixel(8, 8, 255, 0, 0);
}

// D3DSHADE_FLAT reaches pixel programs too: their colour inputs take the
// first vertex's value (Direct3D 9's provoking vertex), their texture
// coordinates stay interpolated; D3DSHADE_GOURAUD interpolates both.
TEST_P(GfxGlProgram, FlatShadingGivesColourInputsTheFirstVertexValue) {
    // One triangle over the target: red first, then green and blue; u runs 0..2 across.
    const gfxtest::ProgramVertex triangle[3] = {
        {-1, 1, 0.5f, 0xFFFF0000u, 0, 0}, {3, 1, 0.5f, 0xFF00FF00u, 2, 0}, {-1, -3, 0.5f, 0xFF0000FFu, 0, 2}};
    struct Pair {
        const char* what;
        const char* vs; // empty: fixed function
        const char* ps;
    };
    const Pair pairs[] = {
        {"2.0 pair", kPassVertex, "ps_2_0\ndcl v0\ndcl t0\nmov r0, v0\nmov r0.b, t0.x\nmov oC0, r0\n"},
        {"fixed vertex half", "", "ps_2_0\ndcl v0\ndcl t0\nmov r0, v0\nmov r0.b, t0.x\nmov oC0, r0\n"},
        {"3.0 pair", kPassVertex30,
         "ps_3_0\ndcl_color v0\ndcl_texcoord v1\nmov r0, v0\nmov r0.b, v1.x\nmov oC0, r0\n"},
    };
    // Pixel 12 of 16 across sits at clip-space x 0.5 (pixel centres on
    // integer coordinates): u = (x + 1) / 2, that is 0.75.
    const double u = 255.0 * 0.75;
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.what);
        gfx::IDirect3DVertexShader9* vs = p.vs[0] ? Vertex(p.vs) : nullptr;
        gfx::IDirect3DPixelShader9* ps = Pixel(p.ps);
        ASSERT_TRUE(ps && (vs || !p.vs[0]));
        ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        for (std::uint32_t mode : {D3DSHADE_FLAT, D3DSHADE_GOURAUD}) {
            Clear();
            ASSERT_EQ(device->SetRenderState(D3DRS_SHADEMODE, mode), D3D_OK);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(gfxtest::ProgramVertex)), D3D_OK);
            const std::uint32_t px = At(12, 8);
            if (mode == D3DSHADE_FLAT) {
                EXPECT_EQ(gfxtest::ChannelOf(px, 16), 255) << "flat red";
                EXPECT_EQ(gfxtest::ChannelOf(px, 8), 0) << "flat green";
            } else {
                // Green's weight there: (x + 1) / 4.
                EXPECT_NEAR(gfxtest::ChannelOf(px, 8), 255.0 * (1.5 / 4.0), 2.0) << "interpolated green";
            }
            EXPECT_NEAR(gfxtest::ChannelOf(px, 0), u, 2.0) << "coordinates interpolated";
        }
        ASSERT_EQ(device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD), D3D_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(, GfxGlProgram, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
