// The compile's text passes: what only an effect reads blanked, the DX9
// dialect read as the D3D9 compiler reads it, uniform entry parameters made
// constants, flat initialiser lists grouped.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/platform/gfxutil/HlslDrawPrograms.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::CompileFile;
using gfx::test::Constant;
using gfx::test::TurnScaleMove;
using gfx::test::DialectCase;
using gfx::test::kColourPixel;
using gfx::test::kColourVertex;
using gfx::test::kDialect;
using gfx::test::kPixelSource;
using gfx::test::kVertexSource;

// Effect files' own declarations are the effect's business: the compiler
// sees a texture as nothing and a sampler without its states; flat number
// lists are regrouped per element.
TEST(GfxUtilHlslTest, EffectDeclarationsAndFlatListsCompile) {
    Compiled ps;
    Compile(ps, kDialect[4].source, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(Constant(ps.container, "Diffuse"), nullptr);
    EXPECT_EQ(Constant(ps.container, "kTaps"), nullptr);
    const ShaderConstantRecord* sampler = Constant(ps.container, "DiffuseSampler");
    const ShaderConstantRecord* offsets = Constant(ps.container, "Offsets");
    ASSERT_TRUE(sampler && offsets);
    EXPECT_EQ(sampler->registerSet, D3DXRS_SAMPLER);
    EXPECT_TRUE(sampler->defaultValue.empty());
    EXPECT_EQ(offsets->registerCount, 3u);
    EXPECT_EQ(offsets->elements, 3u);
    ASSERT_EQ(offsets->defaultValue.size(), 24u);
    float values[6];
    std::memcpy(values, offsets->defaultValue.data(), 24);
    EXPECT_EQ(values[0], -0.326f);
    EXPECT_EQ(values[3], 0.25f);
    // The static table's numbers reach the code as constants.
    EXPECT_NE(ps.container.glsl.find("0.5"), std::string::npos) << ps.container.glsl;
}

// The declarator's parts after a register binding, a function writing its
// uniform parameter, a static initialised by a call after the entries, a
// texture object bound to a `t` register and a matrix list of expressions
// compile at each profile, and the table keeps each register and default
// (they are drawn in the declarator tests).
TEST(GfxUtilHlslTest, DeclaratorFormsShippedProgramsWriteCompile) {
    struct Case {
        const char* source;
        const char* entry;
        const char* name;      // a constant the table holds, or null
        int index;             // its register
        std::size_t defaults;  // its default's bytes
    };
    const Case cases[] = {
        {"float4 tint : register(c3) < string UIName = \"tint\"; > = float4(0.25, 0.5, 0.75, 1);\n"
         "float4 main(float2 uv : TEXCOORD0) : COLOR { return tint; }\n",
         "main", "tint", 3, 16},
        {"float4 tint : COLOR0 : register(c2) : packoffset(c0) < string Path = \"C:\\new\\t.dds\"; > = 1;\n"
         "float4 main() : COLOR { return tint; }\n",
         "main", "tint", 2, 16},
        {"sampler2D tex0 : register(s1) < string ResourceName = \"Folder\\name.dds\"; > = sampler_state { "
         "MagFilter = Linear; };\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n",
         "main", "tex0", 1, 0},
        {"Texture2D img : register(t0) < string ResourceName = \"a\\b.dds\"; >;\nSamplerState samp;\n"
         "float4 main(float2 uv : TEXCOORD0) : COLOR { return img.Sample(samp, uv); }\n",
         "main", nullptr, 0, 0},
        {"float4 Scaled(float2 uv : TEXCOORD0, uniform float k) : COLOR0 { k *= 0.5; return float4(k, k, k, 1); }\n"
         "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n",
         "VS", nullptr, 0, 0},
        {"float4 scale;\nfloat Twice(float x) { return x * scale.x * 2; }\n"
         "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\nstatic float doubled = Twice(0.5);\n",
         "VS", nullptr, 0, 0},
        {"float3 a;\nfloat4 main() : COLOR { float3x3 m = {a, 1, 0, 0, a * 2}; return float4(m[2], 1); }\n", "main",
         "a", 0, 0},
    };
    for (const Case& c : cases)
        for (const char* profile : {"2_0", "3_0"}) {
            SCOPED_TRACE(std::string(profile) + ": " + c.source);
            const std::string full = std::string(std::string(c.entry) == "VS" ? "vs_" : "ps_") + profile;
            Compiled out;
            Compile(out, c.source, full.c_str(), c.entry);
            ASSERT_EQ(out.result, D3D_OK) << out.errors;
            if (!c.name) continue;
            const ShaderConstantRecord* k = Constant(out.container, c.name);
            ASSERT_NE(k, nullptr);
            EXPECT_EQ(k->registerIndex, c.index);
            EXPECT_EQ(k->defaultValue.size(), c.defaults);
        }
}

TEST(GfxUtilHlslTest, TheDX9DialectCompiles) {
    for (const DialectCase& c : kDialect) {
        SCOPED_TRACE(c.what);
        Compiled out;
        Compile(out, c.source, c.profile);
        EXPECT_EQ(out.result, D3D_OK) << out.errors;
    }
}

// Each drawn beside the fixed-function other half: the device's GLSL around
// the program compiles and links.
TEST_P(GfxUtilHlslDrawTest, TheDX9DialectDraws) {
    if (Stopped()) return;
    for (const DialectCase& c : kDialect) {
        SCOPED_TRACE(c.what);
        Compiled out;
        Compile(out, c.source, c.profile);
        ASSERT_EQ(out.result, D3D_OK) << out.errors;
        const bool vertex = c.profile[0] == 'v';
        IDirect3DVertexShader9* v = vertex ? Make<IDirect3DVertexShader9>(out) : nullptr;
        IDirect3DPixelShader9* p = vertex ? nullptr : Make<IDirect3DPixelShader9>(out);
        ASSERT_TRUE(v || p);
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        DrawQuad();
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        if (v) v->Release();
        if (p) p->Release();
    }
}

// Uniform parameters of the entry point are constants like globals: listed
// in the table under the parameter's name with "$" before it, set by name.
TEST_P(GfxUtilHlslDrawTest, UniformParametersAreInTheTableAndSetByName) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, R"(
float4 Bias;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut main(float4 p : POSITION, float2 uv : TEXCOORD0, uniform float4x4 wvp, uniform float4 tint,
          uniform float4 scales[2]) {
    VOut o;
    o.pos = mul(p, wvp);
    o.col = tint * scales[1] + Bias;
    o.uv = uv;
    return o;
}
)",
            "vs_2_0");
    Compile(ps, R"(
float4 main(float2 uv : TEXCOORD0, float4 col : COLOR0, uniform sampler2D tex) : COLOR { return tex2D(tex, uv) * col; }
)",
            "ps_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$wvp"), &d, &n), D3D_OK);
    EXPECT_STREQ(d.Name, "$wvp");
    EXPECT_EQ(d.Class, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(d.RegisterCount, 4u);
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$scales"), &d, &n), D3D_OK);
    EXPECT_EQ(d.Elements, 2u);
    EXPECT_EQ(d.RegisterCount, 2u);
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$tint"), &d, &n), D3D_OK);
    EXPECT_EQ(d.Class, D3DXPC_VECTOR);
    EXPECT_NE(vs.table->GetConstantByName(nullptr, "Bias"), nullptr);
    EXPECT_EQ(vs.table->GetConstantByName(nullptr, "wvp"), nullptr);
    // Globals and parameters share the registers without overlapping.
    D3DXCONSTANTTABLE_DESC table;
    ASSERT_EQ(vs.table->GetDesc(&table), D3D_OK);
    EXPECT_EQ(table.Constants, 4u);
    std::vector<bool> taken(16);
    for (std::uint32_t i = 0; i < table.Constants; ++i) {
        ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstant(nullptr, i), &d, &n), D3D_OK);
        for (std::uint32_t r = d.RegisterIndex; r < d.RegisterIndex + d.RegisterCount; ++r) {
            ASSERT_LT(r, taken.size());
            EXPECT_FALSE(taken[r]) << d.Name;
            taken[r] = true;
        }
    }
    const std::uint32_t unit = ps.table->GetSamplerIndex("$tex");
    ASSERT_LT(unit, 16u);

    IDirect3DTexture9* white = OneTexel(0xFF80FFFFu); // half red
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    D3DXMATRIX half{};
    half.m[0][0] = half.m[1][1] = 0.5f;
    half.m[2][2] = half.m[3][3] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "$wvp", &half), D3D_OK);
    const D3DXVECTOR4 tint{1.f, 1.f, 0.5f, 1.f}, zero{0, 0, 0, 0};
    const D3DXVECTOR4 scales[2] = {{0, 0, 0, 0}, {1.f, 0.5f, 1.f, 1.f}};
    ASSERT_EQ(vs.table->SetVector(device, "$tint", &tint), D3D_OK);
    ASSERT_EQ(vs.table->SetVectorArray(device, "$scales", scales, 2), D3D_OK);
    ASSERT_EQ(vs.table->SetVector(device, "Bias", &zero), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 128, "inside the half-size quad");
    ExpectPixel(1, 1, 0, 0, 0, "outside it");
    UnbindAndRelease(v, p);
    ASSERT_EQ(device->SetTexture(unit, nullptr), D3D_OK);
    white->Release();
}

// An effect file's programs compiled one entry at a time: what only the
// effect reads (techniques, passes, annotations, strings, shader objects) is
// not the compiler's business.
TEST_P(GfxUtilHlslDrawTest, AnEffectFileCompilesOneEntryAtATime) {
    if (Stopped()) return;
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/crt.fx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(R"(// A screen effect as tools write them.
string Description = "scanlines; and a < in a string";
float4x4 WorldViewProj : WORLDVIEWPROJECTION < string UIName = "transform"; >;
float Level < string UIWidget = "slider"; float UIMin = 0; float UIMax = 1; > = 0.5;
texture Screen < string ResourceName = "screen.dds"; >;
sampler2D ScreenSampler = sampler_state { Texture = <Screen>; MinFilter = Point; MagFilter = Point; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut vs_main(float4 p : POSITION, float2 uv : TEXCOORD0) {
    VOut o;
    o.pos = mul(p, WorldViewProj);
    o.uv = uv;
    return o;
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR { return tex2D(ScreenSampler, uv) * Level; }
PixelShader CompiledPixel = compile ps_2_0 ps_main();
technique CRT < string Name = "crt"; int Order = 1; >
{
    pass Scan < string Note = "the only one"; >
    {
        VertexShader = compile vs_2_0 vs_main();
        PixelShader = (CompiledPixel);
        ZEnable = false;
        CullMode = None;
    }
}
technique Fallback { pass { VertexShader = null; PixelShader = null; } }
)",
               f);
    std::fclose(f);
    Compiled vs, ps;
    CompileFile(vs, path, "vs_2_0", "vs_main");
    CompileFile(ps, path, "ps_2_0", "ps_main");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    // The annotated globals are constants; the string and the shader object are not.
    EXPECT_NE(vs.table->GetConstantByName(nullptr, "WorldViewProj"), nullptr);
    EXPECT_EQ(vs.table->GetConstantByName(nullptr, "Description"), nullptr);
    EXPECT_NE(ps.table->GetConstantByName(nullptr, "Level"), nullptr);
    const std::uint32_t unit = ps.table->GetSamplerIndex("ScreenSampler");
    ASSERT_LT(unit, 16u);
    // An error still names the effect file's own line.
    Compiled bad;
    CompileFile(bad, path, "ps_2_0", "nothing");
    EXPECT_EQ(bad.result, E_FAIL);

    IDirect3DTexture9* white = OneTexel(0xFFFFFFFFu);
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    D3DXMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), D3D_OK);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 128, "the default level");
    UnbindAndRelease(v, p);
    ASSERT_EQ(device->SetTexture(unit, nullptr), D3D_OK);
    white->Release();
    std::filesystem::remove_all(folder);
}

// Arrays of vectors and matrices in a function body, `static const` ones
// too, initialised from one flat list of numbers as file-scope ones are.
TEST_P(GfxUtilHlslDrawTest, LocalArraysTakeFlatInitialisers) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kColourVertex, "vs_2_0");
    Compile(ps, R"(
float4 main(float4 col : COLOR0) : COLOR {
    float2 taps[3] = { 0.1, 0.2, -0.3, 0.4, 0.25, -0.5 };
    static const float3 weights[2] = { 1.0, 0.0, 0.0, 0.0, 0.5, 0.25 };
    const float4 extra[2] = { 0, 0, 0, 0, 0.25, 0.125, -0.0625, 1 };
    static const float4x4 swap[2] = { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1,
                                      0,1,0,0, 1,0,0,0, 0,0,1,0, 0,0,0,1 };
    float4 c = float4(taps[0] + taps[2], weights[1].y + weights[1].z, 1) + extra[1];
    int k = int(col.x * 1.5);
    return mul(c, swap[k]);
}
)",
            "ps_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    // c = (0.35 + 0.25, -0.3 + 0.125, 0.75 - 0.0625, 2): x 0.6, y clamps to 0, z 0.6875.
    DrawQuad(0xFF000000u);
    ExpectPixel(8, 8, 0.6 * 255, 0, 0.6875 * 255, "the first matrix");
    // A white vertex colour picks the second matrix, which swaps x and y.
    Clear();
    DrawQuad(0xFFFFFFFFu);
    ExpectPixel(8, 8, 0, 0.6 * 255, 0.6875 * 255, "the second matrix");
    UnbindAndRelease(v, p);
}
