// Forms of the dialect that shipped programs use and that were refused, or
// compiled and then failed at the draw: each compiled, created on gl, drawn
// and read back.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilMath.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

// Passes position, colour and the first coordinates on, for the 3.0 pixel programs.
constexpr const char* kPassVertex3 = R"(
struct O { float4 p : POSITION; float4 c : COLOR0; float2 t : TEXCOORD0; };
O main(float4 p : POSITION, float4 c : COLOR0, float2 t : TEXCOORD0) { O o; o.p = p; o.c = c; o.t = t; return o; }
)";

class GfxUtilHlslCausesTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles a pixel program at `profile` and binds it behind a pass-through
    // vertex program of its version; false (with a test failure) when either fails.
    bool UsePixel(Compiled& ps, const std::string& source, const char* profile) {
        Compile(ps, source, profile);
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors << "\n" << source;
        if (ps.result != D3D_OK) return false;
        IDirect3DVertexShader9* vs = nullptr;
        if (profile[3] == '3') {
            Compiled pass;
            Compile(pass, kPassVertex3, "vs_3_0");
            EXPECT_EQ(pass.result, D3D_OK) << pass.errors;
            if (pass.result != D3D_OK) return false;
            vs = MakeVertex(pass);
        } else {
            vs = Vertex(gfxtest::kPassVertex);
        }
        IDirect3DPixelShader9* p = MakePixel(ps);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        return true;
    }
    // The quad, which must draw: the program's GLSL is shown when it does not.
    void Draw(const Compiled& ps, std::uint32_t color = 0xFFFFFFFFu) {
        Clear();
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, color, 0, 0}, {1, 1, 0.5f, color, 1, 0},
                                                {-1, -1, 0.5f, color, 0, 1}, {1, -1, 0.5f, color, 1, 1}};
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK) << ps.container.glsl;
    }
    void SetVector(const Compiled& p, const char* name, float x, float y, float z, float w) {
        const D3DXVECTOR4 v{x, y, z, w};
        ASSERT_EQ(p.table->SetVector(device, name, &v), D3D_OK) << name;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslCausesTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// SamplerState is one of the DX9 sampler types: a sampler in the table, in
// the sampler registers, sampled like `sampler` and, read by tex2D,
// described as a 2-D sampler.
TEST_P(GfxUtilHlslCausesTest, SamplerStateIsADX9Sampler) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        std::uint32_t unit;
    };
    const Case cases[] = {
        {"SamplerState s0;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv); }", 0},
        {"SamplerState Other, s0 : register(s2);\n"
         "float4 Look(SamplerState s, float2 uv) { return tex2D(s, uv); }\n"
         "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return Look(s0, uv); }",
         2},
        // A sampler parameter of the entry is a constant without saying so.
        {"float4 main(sampler s0, float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv); }", 0},
        {"uniform SamplerState s0 = sampler_state { MinFilter = Point; };\n"
         "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2Dlod(s0, float4(uv, 0, 0)); }",
         0},
    };
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(profile) + "\n" + c.source);
            if (profile[3] == '2' && std::string(c.source).find("tex2Dlod") != std::string::npos) continue;
            Compiled ps;
            if (!UsePixel(ps, c.source, profile)) continue;
            // A parameter of the entry is listed as the D3D9 compiler lists it.
            const char* name = std::string(c.source).find("main(sampler") != std::string::npos ? "$s0" : "s0";
            const ShaderConstantRecord* s0 = Constant(ps.container, name);
            ASSERT_NE(s0, nullptr);
            EXPECT_EQ(s0->registerSet, D3DXRS_SAMPLER);
            EXPECT_EQ(s0->registerIndex, c.unit);
            EXPECT_EQ(s0->cls, D3DXPC_OBJECT);
            EXPECT_EQ(s0->type, D3DXPT_SAMPLER2D);
            EXPECT_EQ(ps.table->GetSamplerIndex(name), c.unit);
            EXPECT_EQ(Constant(ps.container, "Other"), nullptr) << "unread";
            IDirect3DTexture9* texel = OneTexel(0xFF3366CCu);
            ASSERT_NE(texel, nullptr);
            ASSERT_EQ(device->SetTexture(c.unit, texel), D3D_OK);
            Draw(ps);
            ExpectPixel(8, 8, 0x33, 0x66, 0xCC);
            ASSERT_EQ(device->SetTexture(c.unit, nullptr), D3D_OK);
            texel->Release();
        }
    }
}

// A constant vector's component, or a matrix's row, picked at run time: by a
// loop's counter, by a value read from an input, inside arrays, matrices and
// structs.
TEST_P(GfxUtilHlslCausesTest, ConstantVectorsIndexedAtRunTime) {
    if (Stopped()) return;
    struct Case {
        const char* profile;
        const char* source;
        double red, green, blue; // 0..255
    };
    // G = (0.1, 0.2, 0.3, 0.4); the colour read is 0x40 / 255 in each channel.
    const Case cases[] = {
        {"ps_2_0", "float3 G;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    for (int i = 0; i < 3; ++i) s += G[i];\n    return s * c; }",
         0.6 * 0x40, 0.6 * 0x40, 0.6 * 0x40},
        {"ps_3_0", "float3 G;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    [loop] for (int i = 0; i < 3; ++i) s += G[i] * (i + 1);\n    return s * c; }",
         1.4 * 0x40, 1.4 * 0x40, 1.4 * 0x40},
        {"ps_2_0", "float3 G;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    [unroll] for (int i = 0; i < 3; ++i) s += G[i];\n    return s * c; }",
         0.6 * 0x40, 0.6 * 0x40, 0.6 * 0x40},
        // Indices from the colour: 0x40 / 255 * 8.1 gives 2, * 4.1 gives 1.
        {"ps_2_0", "float4 G;\nfloat4 main(float4 c : COLOR0) : COLOR0 { return float4(G[(int)(c.r * 8.1)], G[(int)(c.g * 4.1)], 0, 1); }",
         0.3 * 255, 0.2 * 255, 0},
        {"ps_3_0", "float4 A[2];\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    for (int i = 0; i < 4; ++i) s += A[1][i];\n    return float4(s / 4, A[1][(int)(c.b * 4.1)], 0, 1); }",
         0.65 * 255, 0.6 * 255, 0},
        {"ps_3_0", "float4x4 M;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    for (int i = 0; i < 4; ++i) s += M[2][i];\n    return float4(s / 4, 0, 0, 1); }",
         0.65 * 255, 0, 0},
        {"ps_3_0", "float4x4 M;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float4 s = 0;\n    for (int j = 0; j < 4; ++j) s += M[j] * (j == 2);\n"
                   "    float t = 0;\n    for (int i = 0; i < 4; ++i) for (int k = 0; k < 4; ++k) t += M[i][k];\n"
                   "    return float4(s.x, s.y, t, 1); }",
         0.5 * 255, 0.6 * 255, 255}, // the sum of every element, 2.6, saturates
        {"vs_3_0", "float4x3 M;\nvoid main(float4 p : POSITION, float4 c : COLOR0, out float4 op : POSITION, out float4 oc : COLOR0) {\n"
                   "    op = p;\n    int j = (int)(c.r * 8.1);\n    oc = float4(M[j], 1); }",
         0.5 * 255, 0.6 * 255, 0.7 * 255},
        {"ps_3_0", "struct S { float4 a; float3 b; };\nS St;\nfloat4 main(float4 c : COLOR0) : COLOR0 {\n"
                   "    float s = 0;\n    for (int i = 0; i < 3; ++i) s += St.b[i];\n    return float4(s / 3, 0, 0, 1); }",
         0.6 * 255, 0, 0},
        {"vs_2_0", "float4 G;\nvoid main(float4 p : POSITION, float4 c : COLOR0, out float4 op : POSITION, out float4 oc : COLOR0) {\n"
                   "    float s = 0;\n    for (int i = 0; i < 4; ++i) s += G[i];\n    op = p;\n    oc = float4(s / 4, G[(int)(c.r * 4.1)], 0, 1); }",
         0.25 * 255, 0.2 * 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + "\n" + c.source);
        Compiled p;
        const bool vertex = c.profile[0] == 'v';
        if (vertex) {
            Compile(p, c.source, c.profile);
            ASSERT_EQ(p.result, D3D_OK) << p.errors;
            IDirect3DVertexShader9* vs = nullptr;
            ASSERT_EQ(device->CreateVertexShader(p.Words(), std::uint32_t(p.code.size()), &vs), D3D_OK);
            m_vertexShaders.push_back(vs);
            ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        } else if (!UsePixel(p, c.source, c.profile)) {
            continue;
        }
        // Every float register holds its own values, so a wrong register shows.
        for (std::uint32_t r = 0; r < 16; ++r) {
            const float v[4] = {0.1f + r, 0.2f + r, 0.3f + r, 0.4f + r};
            if (vertex) ASSERT_EQ(device->SetVertexShaderConstantF(r, v, 1), D3D_OK);
            else ASSERT_EQ(device->SetPixelShaderConstantF(r, v, 1), D3D_OK);
        }
        const float g[4] = {0.1f, 0.2f, 0.3f, 0.4f};
        const float second[4] = {0.5f, 0.6f, 0.7f, 0.8f};
        if (Constant(p.container, "G")) {
            ASSERT_EQ(p.table->SetFloatArray(device, "G", g, 4u - (c.source[5] == '3')), D3D_OK);
        }
        if (Constant(p.container, "A")) {
            ASSERT_EQ(p.table->SetFloatArray(device, "A[1]", second, 4), D3D_OK);
        }
        if (Constant(p.container, "St")) {
            ASSERT_EQ(p.table->SetFloatArray(device, "St.a", g, 4), D3D_OK);
            ASSERT_EQ(p.table->SetFloatArray(device, "St.b", second, 3), D3D_OK);
        }
        if (Constant(p.container, "M")) {
            D3DXMATRIX m{};
            for (int k = 0; k < 4; ++k) m.m[2][k] = second[k];
            ASSERT_EQ(p.table->SetMatrix(device, "M", &m), D3D_OK);
        }
        Draw(p, 0xFF404040u);
        ExpectPixel(8, 8, c.red, c.green, c.blue);
    }
}

// VPOS is the pixel's position as the D3D9 rules give it: whole numbers at
// the pixel centres, from the top left, in every form it is declared in.
TEST_P(GfxUtilHlslCausesTest, VposReadsThePixelPositionInEveryForm) {
    if (Stopped()) return;
    const char* sources[] = {
        "float2 L;\nfloat4 main(float2 uv : TEXCOORD0, in float2 p : VPOS) : COLOR0 { return float4(p / 16 + L, uv.x * 0, 1); }",
        "float2 L;\nfloat4 main(in float2 p : VPOS) : COLOR0 { return float4(p.xy / 16 + L, 0, 1); }",
        "float2 L;\nfloat4 main(float2 p : VPOS, float2 uv : TEXCOORD0) : COLOR0 { return float4(p / 16 + L, uv.x * 0, 1); }",
        "float2 L;\nfloat4 main(in float4 p : VPOS, float4 c : COLOR0) : COLOR0 { return float4(p.xy / 16 + L, c.b * 0, 1); }",
        "float2 L;\nfloat4 main(float4 p : VPOS) : COLOR0 { return float4(p.xy / 16 + L, 0, 1); }",
        "float2 L;\nstruct I { float2 uv : TEXCOORD0; float2 p : VPOS; };\n"
        "float4 main(in I i) : COLOR0 { return float4(i.p / 16 + L, i.uv.x * 0, 1); }",
        "float2 L;\nstruct I { float4 c : COLOR0; float4 p : VPOS; };\n"
        "float4 main(I i) : COLOR0 { return float4(i.p.xy / 16 + L, i.c.b * 0, 1); }",
        "float2 L;\nfloat4 main(in float2 p : SV_Position, float2 uv : TEXCOORD0) : COLOR0 { return float4(p / 16 + L, uv.x * 0, 1); }",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        Compiled ps;
        if (!UsePixel(ps, source, "ps_3_0")) continue;
        EXPECT_EQ(ps.container.glsl.find("gl_FragCoord"), std::string::npos) << ps.container.glsl;
        SetVector(ps, "L", 0.f, 0.f, 0.f, 0.f);
        Draw(ps);
        for (const auto& [x, y] : {std::pair{3, 10}, std::pair{12, 1}, std::pair{0, 15}})
            ExpectPixel(x, y, x * 16.0, y * 16.0, 0, "at " + std::to_string(x) + ", " + std::to_string(y));
        // The constant beside it still lands.
        SetVector(ps, "L", 0.25f, 0.f, 0.f, 0.f);
        Draw(ps);
        ExpectPixel(3, 10, 3 * 16.0 + 64, 160, 0, "with the constant");
    }
}

namespace {

// A matrix whose element at row r, column c is (r * 4 + c + 1) / 20.
D3DXMATRIX Distinct() {
    D3DXMATRIX m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = float(r * 4 + c + 1) / 20.f;
    return m;
}

struct CastCase {
    const char* declaration; // of M
    const char* body;        // makes the float4 r from M
    int element[4];          // r's components as elements of M, row * 4 + column (the first three read back)
};

} // namespace

TEST_P(GfxUtilHlslCausesTest, MatrixCastsGiveThePublishedElements) {
    if (Stopped()) return;
    const CastCase cases[] = {
        {"float4x4 M", "float3x3 t = (float3x3)M; float4 r = float4(t[1], t._33);", {4, 5, 6, 10}},
        {"float4x4 M", "float2x3 t = (float2x3)M; float4 r = float4(t[1], t._12);", {4, 5, 6, 1}},
        {"float4x4 M", "float3x2 t = (float3x2)M; float4 r = float4(t[2], t._21, t._12);", {8, 9, 4, 1}},
        {"row_major float4x4 M", "float3x3 t = (float3x3)M; float4 r = float4(t[1], t._33);", {4, 5, 6, 10}},
        {"float3x3 M", "float2x2 t = (float2x2)M; float4 r = float4(t[1], t[0]);", {4, 5, 0, 1}},
        {"float2x2 M", "float4 r = (float4)M;", {0, 1, 4, 5}},
        // One row or one column: the first row or column of a matrix, a
        // vector of its size as it is, a scalar everywhere.
        {"float2x4 M", "float4 r = (float1x4)M;", {0, 1, 2, 3}},
        {"row_major float2x4 M", "float4 r = (float1x4)M;", {0, 1, 2, 3}},
        {"float4x2 M", "float4 r = (float4x1)M;", {0, 4, 8, 12}},
        {"float4x4 M", "float3 v = (float1x3)M; float4 r = float4(v.zyx, 1);", {2, 1, 0, 0}},
        {"float3x3 M", "float3 v = (float3x1)M; float4 r = float4(v, 1);", {0, 4, 8, 0}},
        {"float4x4 M", "float s = (float1x1)M; float4 r = s;", {0, 0, 0, 0}},
        {"float4x4 M", "float4 r = (float1x4)(M * 2) * 0.5;", {0, 1, 2, 3}},
        {"float4x4 M", "float4 r = (float4x1)M[1].zyxw;", {6, 5, 4, 7}},
        {"float4x4 M", "float4 r = float4((float1x3)M._22, 1);", {5, 5, 5, 0}},
        {"half4x4 M", "float4 r = float4((half3x1) - -M, 1);", {0, 4, 8, 0}},
        {"float4x4 M", "float4 r = float1x4(M._11, M._12, M._13, 1);", {0, 1, 2, 3}},
        {"float4x4 M", "float4 r = (float1x4)(float2x4)M;", {0, 1, 2, 3}},
    };
    const D3DXMATRIX m = Distinct();
    for (const CastCase& c : cases) {
        const std::string source = std::string(c.declaration) +
                                   ";\nfloat4 main(float4 col : COLOR0) : COLOR0 {\n    " + c.body +
                                   "\n    return r * col;\n}\n";
        SCOPED_TRACE(source);
        Compiled ps;
        if (!UsePixel(ps, source, "ps_2_0")) continue;
        ASSERT_EQ(ps.table->SetMatrix(device, "M", &m), D3D_OK);
        Draw(ps);
        const std::uint32_t px = At(8, 8);
        for (int k = 0; k < 3; ++k) {
            const int e = c.element[k];
            EXPECT_NEAR(gfxtest::ChannelOf(px, 16 - 8 * k), m.m[e / 4][e % 4] * 255.0, 1.01) << "component " << k << "\n" << ps.container.glsl;
        }
    }
}

TEST_P(GfxUtilHlslCausesTest, SamplerStateInAnEffect) {
    if (Stopped()) return;
    const std::string text = R"(
texture Tex;
SamplerState s0 = sampler_state { Texture = <Tex>; MinFilter = Point; MagFilter = Point; };
float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s0, uv); }
technique T { pass { PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr,
                                        &fx, &errors);
    std::string messages;
    if (errors) {
        messages = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    ASSERT_EQ(hr, D3D_OK) << messages;
    EXPECT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError();
    D3DXPARAMETER_DESC desc{};
    ASSERT_EQ(fx->GetParameterDesc(fx->GetParameterByName(nullptr, "s0"), &desc), D3D_OK);
    EXPECT_EQ(desc.Class, D3DXPC_OBJECT);
    EXPECT_EQ(desc.Type, D3DXPT_SAMPLER);
    IDirect3DTexture9* texel = OneTexel(0xFFC08040u);
    ASSERT_NE(texel, nullptr);
    ASSERT_EQ(fx->SetTexture("Tex", texel), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(Vertex(gfxtest::kPassVertex)), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    ExpectCentreDrawn(0xC0, 0x80, 0x40);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    fx->Release();
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
    texel->Release();
}

// Words the D3D9 compiler reads otherwise than the front end: a constant
// declared `const` without a value is the application's to set, `precise`
// may be a name, attributes of later stages and `export` are passed over,
// the body's semantics count where the entry is declared before it, a
// static never set holds zero, `in uniform` is a uniform parameter, and a
// loop unrolled with a count runs that many times at most.
TEST_P(GfxUtilHlslCausesTest, WordsReadAsTheD3D9CompilerReadsThem) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        const char* name; // a constant set to (0.25, 0.5, 0.75, 1), or null
        double red, green, blue;
    };
    const Case cases[] = {
        {"const float4 k;\nconst uniform float4 u;\nfloat4 main() : COLOR { return k + u * 0; }\n", "k", 0x40, 0x80, 0xBF},
        {"const float4 k;\nconst uniform float4 u;\nfloat4 main() : COLOR { return k * 0 + u.zyxw; }\n", "u", 0xBF, 0x80, 0x40},
        {"const float4 k : register(c3);\nfloat4 main() : COLOR { return k; }\n", "k", 0x40, 0x80, 0xBF},
        {"float4 precise;\nprecise float4 v;\nfloat4 main() : COLOR { return precise; }\n", "precise", 0x40, 0x80, 0xBF},
        {"typedef float4 precise;\nprecise float4 var;\nprecise main() : COLOR { return var.yyyw; }\n", "var", 0x80, 0x80, 0x80},
        {"[numthreads]\nfloat4 main();\n[ numthreads ]\nfloat4 main() : COLOR { return float4(0.5, 0, 1, 1); }\n", nullptr,
         0x80, 0, 0xFF},
        {"export float4 main() : COLOR { return float4(1, 0.5, 0, 1); }\n", nullptr, 0xFF, 0x80, 0},
        {"float4 main(float4 c : BOGUS) : BOGUS;\nfloat4 main(float4 c : COLOR0) : COLOR { return c; }\n", nullptr, 0x40,
         0x40, 0x40},
        {"static float4 s;\nstatic struct { float4 a; float3 b; } x;\n"
         "float4 main() : COLOR { return s + x.a + float4(x.b, 0) + 0.5; }\n",
         nullptr, 0x80, 0x80, 0x80},
        {"float4 fun() { return 0; }\nfloat2 p = {5, CompileShader(ps_2_0, fun())};\n"
         "float4 main() : COLOR { return p.xyxy; }\n",
         "p", 0x40, 0x80, 0x40},
        // A count of unrolling is the most runs the loop makes.
        {"float4 main() : COLOR\n{\n    int i;\n    [unroll(4)]\n    for (i = 0; i < 8; ++i);\n"
         "    float s = 0;\n    [unroll(2)] for (int k = 0; ; k++) s += 0.25;\n"
         "    float r = 0;\n    [unroll(9)] for (int j = 0; j < 3; j++) r += 0.25;\n    return float4(i / 8.0, s, r, 1);\n}\n",
         nullptr, 0x80, 0x80, 0xBF},
        // A switch on an integer constant, which a float register holds.
        {"uint4 v;\nfloat4 main() : COLOR\n{\n    switch (v.y)\n    {\n    case 0:\n        return 0.25;\n"
         "    case 1:\n        return float4(0.5, 1, 0, 1);\n    default:\n        return 0.75;\n    }\n}\n",
         "v", 0x40, 0x40, 0x40},
        // A float case label is its whole part.
        {"uint4 v;\nfloat4 main() : COLOR\n{\n    switch (v.w)\n    {\n    case 2.1f:\n        return 0.25;\n"
         "    case 0.9f:\n        return float4(0.5, 1, 0, 1);\n    default:\n        return 0.75;\n    }\n}\n",
         "v", 0xBF, 0xBF, 0xBF},
        {"uint4 v;\nfloat4 main() : COLOR\n{\n    switch (v.x * 4)\n    {\n    case 0:\n        return 0.25;\n"
         "    case 1:\n        return float4(0.5, 1, 0, 1);\n    default:\n        return 0.75;\n    }\n}\n",
         "v", 0x80, 0xFF, 0},
        // `texture` in any case is the type; a typedef of one spelling is its own.
        {"typedef float4 texturE;\nTexture t1;\nteXture t2;\nTEXTURE t3;\ntexturE var;\n"
         "float4 main() : COLOR { return var; }\n",
         "var", 0x40, 0x80, 0xBF},
        // A typedef may take a scalar type's name within a function; `matrix`,
        // `vector` and `dword` are read in any case.
        {"typedef float2 Dword;\nfloat4 f()\n{\n    typedef Dword dword;\n    typedef float2 float;\n"
         "    dword v1 = {0.25, 0.5};\n    float v2 = {0.75, 1};\n    DWORD v4 = 1;\n    maTrix v6 = 0;\n"
         "    Vector v10 = {0, 0, 0, 0};\n    return float4(v1.x, v1.y, v2.x, v4) + v6[0] + v10;\n}\n"
         "float4 main() : COLOR { return f(); }\n",
         nullptr, 0x40, 0x80, 0xBF},
        {"float4 f(in uniform float4 a, uniform in float4 b) { return a + b; }\n"
         "float4 main(in uniform float4 a) : COLOR { return f(a, 0); }\n",
         "$a", 0x40, 0x80, 0xBF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled p;
        if (!UsePixel(p, c.source, "ps_2_0")) continue;
        if (c.name) SetVector(p, c.name, 0.25f, 0.5f, 0.75f, 1);
        Draw(p, 0xFF404040u);
        ExpectPixel(8, 8, c.red, c.green, c.blue);
    }
}

// Forms the compiler once refused: an array of arrays of constants, a body
// changing its uniform parameter (a copy), a static set by a call of the
// source's own function, a packing pragma within a struct. Each register r
// holds (r + 1) / 16 in every component.
TEST_P(GfxUtilHlslCausesTest, FormsOnceRefusedDrawWithTheirRegisters) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        double red, green, blue; // 0..1
    };
    const Case cases[] = {
        {"uniform float c[2][3];\nfloat4 main() : COLOR { return float4(c[0][1], c[1][2], c[1][0], 1); }\n", 2 / 16.0,
         6 / 16.0, 4 / 16.0},
        {"float4 main(uniform float4 u) : COLOR\n{\n    u = u * 2;\n    u.y += 0.5;\n    return u;\n}\n", 2 / 16.0,
         2 / 16.0 + 0.5, 2 / 16.0},
        {"float f() { return 0.25; }\nstatic float s = f() * 2;\nfloat4 main() : COLOR { return float4(s, 0, s / 2, 1); }\n",
         0.5, 0, 0.25},
        {"struct S\n{\n#pragma pack_matrix(row_major)\n    float4x4 m;\n};\nS s;\n"
         "float4 main() : COLOR { return float4(s.m[1].x, s.m[2].y, 0, 1); }\n",
         2 / 16.0, 3 / 16.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled p;
        if (!UsePixel(p, c.source, "ps_2_0")) continue;
        for (std::uint32_t r = 0; r < 8; ++r) {
            const float v = float(r + 1) / 16;
            const float four[4] = {v, v, v, v};
            ASSERT_EQ(device->SetPixelShaderConstantF(r, four, 1), D3D_OK);
        }
        Draw(p);
        ExpectPixel(8, 8, c.red * 255, c.green * 255, c.blue * 255);
    }
}

// Forms of shipped programs the front end read otherwise: a literal's
// swizzle in an initialiser list is a vector of its components, a `for`
// counter lives on after its loop, an entry point overloaded is the
// definition the others serve, a vector given for a scalar parameter is its
// first component, a one-component member's component is
// written, a namespace holds declarations, a global may take a name the
// composed program uses. Drawn with
// the vertex colour (0.25, 0.25, 0.25, 1).
TEST_P(GfxUtilHlslCausesTest, ShippedFormsDrawAsTheD3D9CompilerReadsThem) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        double red, green, blue;
    };
    const Case cases[] = {
        {"struct S { float4 a; float2 b; };\nstatic const S z = { 0.25f.xxxx, 0.5.xx };\n"
         "float4 main() : COLOR { return float4(z.a.x, z.b.y, z.a.w + z.b.x, 1); }\n",
         0x40, 0x80, 0xBF},
        {"static const float3 v[2] = { 0.75f.xxx, 1.0h.rrr };\n"
         "float4 main() : COLOR { return float4(v[0].x, v[1].z - 0.5, v[0].y - 0.5, 1); }\n",
         0xBF, 0x80, 0x40},
        // The second loop reuses the first one's counter; the last runs
        // to 3, read after it.
        {"float4 main() : COLOR\n{\n    float s = 0;\n    for (int i = 0; i < 2; i++)\n        s += 0.25;\n"
         "    for (i = 1; i < 3; i++) { s += 0.125; }\n    return float4(s, i / 4.0, 0.25, 1);\n}\n",
         0xBF, 0xBF, 0x40},
        // With an attribute in front, a counter declared again (the later
        // one is read), and one never read after its loop.
        {"float4 main() : COLOR\n{\n    float s = 0;\n    [unroll] for (int j = 0; j < 1; j++) s += 0.25;\n"
         "    for (int j = 0; j < 2; j++) s += 0.25;\n    for (int k = 0; k < 3; k++) s += 0;\n"
         "    return float4(s, j / 4.0, 0, 1);\n}\n",
         0xBF, 0x80, 0},
        {"void main(float4 c : COLOR0, out float4 o : COLOR, uniform bool b) { o = b ? c * 2 : 0; }\n"
         "void main(float4 c : COLOR0, out float4 o : COLOR) { main(c, o, true); }\n",
         0x80, 0x80, 0x80},
        {"struct P { float4 c : COLOR0; };\nfloat4 main(P p, uniform float k) : COLOR { return p.c * k; }\n"
         "float4 main(P p) : COLOR { return main(p, 3); }\n",
         0xBF, 0xBF, 0xBF},
        // A component of a one-component member written.
        {"struct S { float1 a; float2 b; };\nfloat4 main() : COLOR\n{\n    S s;\n    s.a.x = 0.5;\n    s.b = 0.25;\n"
         "    s.b.y += s.a.x;\n    return float4(s.a, s.b, 1);\n}\n",
         0x80, 0x40, 0xBF},
        // A vector given for a scalar parameter: its first component.
        {"float2 turn(float2 x, float a) { return x * a; }\nfloat4 main(float4 c : COLOR0) : COLOR\n{\n"
         "    float2 v = turn(float2(1, 2), c.xy * 2);\n    return float4(v, turn(c.zw, c.zyx * float3(2, 1, 1)).x * 4, 1);\n}\n",
         0x80, 0xFF, 0x80},
        // A namespace's declarations, named through it.
        {"namespace N\n{\n    static const float k = 0.5;\n    static const float h = 0.25;\n"
         "    float4 f(float x) { return float4(x, x, 0.75, 1); }\n}\n"
         "float4 main() : COLOR { return N::f(N::k) * float4(1, N::h * 2, 1, 1); }\n",
         0x80, 0x40, 0xBF},
        // Names the device's program composer declares beside the program.
        {"static float t = 0.5;\nstatic float4 oC = 0.25;\nstatic float4 d3dPos = 0.75;\n"
         "float4 main() : COLOR { return float4(t, oC.y, d3dPos.z, 1); }\n",
         0x80, 0x40, 0xBF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled p;
        if (!UsePixel(p, c.source, "ps_2_0")) continue;
        Draw(p, 0xFF404040u);
        ExpectPixel(8, 8, c.red, c.green, c.blue);
    }
    // The overloads other than the entry are no entry: a constant of the
    // helper's uniform parameter is not in the table.
    Compiled p;
    Compile(p, cases[4].source, "ps_2_0");
    ASSERT_EQ(p.result, D3D_OK) << p.errors;
    EXPECT_EQ(Constant(p.container, "$b"), nullptr);
}

// A loop bounded by an integer constant the source places in an integer
// register, reading a constant array by its counter, at vs_2_0: the count
// comes from the integer register, the array from the float ones.
TEST_P(GfxUtilHlslCausesTest, ALoopBoundedByAnIntegerRegisterIndexesConstants) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs,
            "int n : register(i0);\nfloat4 k[4];\nstruct O { float4 p : POSITION; float4 c : COLOR0; };\n"
            "O main(float4 p : POSITION)\n{\n    O o;\n    o.p = p;\n    o.c = 0;\n"
            "    for (int i = 0; i < n; i++)\n        o.c += k[i];\n    return o;\n}\n",
            "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    const ShaderConstantRecord* n = Constant(vs.container, "n");
    const ShaderConstantRecord* k = Constant(vs.container, "k");
    ASSERT_TRUE(n && k);
    EXPECT_EQ(n->registerSet, D3DXRS_INT4);
    EXPECT_EQ(n->registerIndex, 0u);
    EXPECT_EQ(k->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(k->registerIndex, 0u);
    EXPECT_EQ(k->registerCount, 4u);
    Compile(ps, "float4 main(float4 c : COLOR0) : COLOR { return c; }\n", "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = MakePixel(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    const float values[16] = {0.25f, 0, 0, 0.5f, 0, 0.5f, 0, 0.5f, 0, 0, 1, 0, 1, 1, 1, 0};
    ASSERT_EQ(device->SetVertexShaderConstantF(0, values, 4), D3D_OK);
    for (const std::int32_t count : {2, 3}) {
        const std::int32_t loop[4] = {count, 0, 1, 0};
        ASSERT_EQ(device->SetVertexShaderConstantI(0, loop, 1), D3D_OK);
        Draw(vs);
        ExpectPixel(8, 8, 0x40, 0x80, count == 2 ? 0 : 0xFF, "count " + std::to_string(count));
    }
}

// A sampler declared without a dimension takes the one of the lookups the
// compiled entry reaches: read by texCUBE in one entry and by tex2D in
// another, each entry compiles, samples its own texture and is described
// by its own sampler type.
TEST_P(GfxUtilHlslCausesTest, EachEntryReadsItsSamplerAtItsOwnDimension) {
    if (Stopped()) return;
    const char* source = "sampler s;\nfloat4 flat(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv); }\n"
                         "float4 cube(float2 uv : TEXCOORD0) : COLOR { return texCUBE(s, float3(1, uv * 0.1)); }\n";
    IDirect3DTexture9* flat = OneTexel(0xFF4080C0u);
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_TRUE(flat);
    ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    for (std::uint32_t face = 0; face < 6; ++face) {
        // +x (face 0) white, every other face black.
        const std::uint32_t texel = face == 0 ? 0xFFFFFFFFu : 0xFF000000u;
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(face, 0, &lr, nullptr, 0), D3D_OK);
        std::memcpy(lr.pBits, &texel, 4);
        cube->UnlockRect(face, 0);
    }
    struct Entry {
        const char* name;
        IDirect3DBaseTexture9* texture;
        std::uint16_t type;
        double red, green, blue;
    };
    const Entry entries[] = {{"flat", flat, D3DXPT_SAMPLER2D, 0x40, 0x80, 0xC0},
                             {"cube", cube, D3DXPT_SAMPLERCUBE, 0xFF, 0xFF, 0xFF}};
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        Compiled ps;
        Compile(ps, source, "ps_2_0", e.name);
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        const ShaderConstantRecord* s = Constant(ps.container, "s");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->type, e.type);
        D3DXCONSTANT_DESC d{};
        std::uint32_t count = 1;
        ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstantByName(nullptr, "s"), &d, &count), D3D_OK);
        EXPECT_EQ(d.Type, e.type);
        IDirect3DPixelShader9* p = MakePixel(ps);
        ASSERT_TRUE(p);
        ASSERT_EQ(device->SetVertexShader(Vertex(gfxtest::kPassVertex)), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        ASSERT_EQ(device->SetTexture(0, e.texture), D3D_OK);
        Draw(ps);
        ExpectPixel(8, 8, e.red, e.green, e.blue);
    }
    device->SetTexture(0, nullptr);
    flat->Release();
    cube->Release();
}
