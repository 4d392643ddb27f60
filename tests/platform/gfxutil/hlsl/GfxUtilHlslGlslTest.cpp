// The programs' interface as the device's GLSL gives it: vertex texture
// fetches, every form of output, skinning palettes, and every program of
// these tests made and drawn.

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

namespace {

// A 2 x 2 texture of `texels` (the top row first) on vertex sampler
// `sampler`, point-filtered and clamped; the caller releases it.
IDirect3DTexture9* FourTexelsOn(IDirect3DDevice9* device, std::uint32_t sampler, const std::uint32_t (&texels)[4]) {
    IDirect3DTexture9* texture = nullptr;
    if (device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) return nullptr;
    D3DLOCKED_RECT lr;
    if (texture->LockRect(0, &lr, nullptr, 0) == D3D_OK) {
        for (int y = 0; y < 2; ++y) std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch, texels + 2 * y, 8);
        texture->UnlockRect(0);
    }
    EXPECT_EQ(device->SetTexture(sampler, texture), D3D_OK);
    EXPECT_EQ(device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(device->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP), D3D_OK);
    EXPECT_EQ(device->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP), D3D_OK);
    return texture;
}

} // namespace

// A compiled vs_3_0 program's tex2Dlod reads the texture set on the vertex
// sampler its table names; below vs_3_0 a vertex fetch is refused.
TEST_P(GfxUtilHlslDrawTest, VertexProgramsFetchTextures) {
    if (Stopped()) return;
    const std::string vertex = R"(
sampler2D Height : register(s1);
float4 Coord;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION) {
    VOut o;
    o.pos = p;
    o.col = tex2Dlod(Height, Coord);
    return o;
}
)";
    Compiled vs, ps, vs20;
    Compile(vs, vertex, "vs_3_0");
    Compile(ps, "float4 main(float4 col : COLOR0) : COLOR { return col; }\n", "ps_3_0");
    Compile(vs20, vertex, "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(vs20.result, E_FAIL);
    EXPECT_NE(vs20.errors.find("vs_3_0"), std::string::npos) << vs20.errors;
    EXPECT_EQ(vs.container.samplers[1], D3DSTT_2D);
    const std::uint32_t unit = vs.table->GetSamplerIndex("Height");
    ASSERT_EQ(unit, 1u);

    // Red, green / blue, white.
    const std::uint32_t sampler = D3DVERTEXTEXTURESAMPLER0 + unit;
    IDirect3DTexture9* quad = FourTexelsOn(device, sampler, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu});
    ASSERT_NE(quad, nullptr);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    const D3DXVECTOR4 green{0.75f, 0.25f, 0, 0}, blue{0.25f, 0.75f, 0, 0};
    ASSERT_EQ(vs.table->SetVector(device, "Coord", &green), D3D_OK);
    ExpectCentreDrawn(0, 255, 0, "texel (1, 0)");
    ASSERT_EQ(vs.table->SetVector(device, "Coord", &blue), D3D_OK);
    ExpectCentreDrawn(0, 0, 255, "texel (0, 1)");
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(sampler, nullptr), D3D_OK);
    quad->Release();
    v->Release();
    p->Release();
}

// A height field's vertex program as terrain renderers write it: the grid
// in x and z, the height fetched by tex2Dlod through a sampler handed to a
// function, at coordinates less an origin picked from a constant array by
// an integer made from the input, then a row-vector view matrix that makes
// the height the screen's y. Heights 1 at the top texels and 128/255 at the
// bottom put the quad's top edge at the target's top and its bottom edge
// just above the middle; a wrong origin, fetch or matrix moves or folds it.
TEST_P(GfxUtilHlslDrawTest, VertexProgramsPlaceVerticesByFetchedHeights) {
    if (Stopped()) return;
    const std::string vertex = R"(
sampler Heights;
float2 Origins[3];
float4x4 View;
float4 Fetch(sampler s, float2 origins[3], float2 uv, int level) {
    return tex2Dlod(s, float4(uv - origins[level], 0, 0));
}
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 uv : TEXCOORD0) {
    int level = (int)(p.z * 4);
    float4 h = Fetch(Heights, Origins, uv * 0.5 + 0.25, level);
    VOut o;
    o.pos = mul(float4(p.x, h.r, p.y, 1), View);
    o.col = h;
    return o;
}
)";
    Compiled vs, ps;
    Compile(vs, vertex, "vs_3_0");
    Compile(ps, kColourPixel, "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    const std::uint32_t unit = vs.table->GetSamplerIndex("Heights");
    ASSERT_LT(unit, 4u);

    // Red is the height; green grows by 64 to the right and 128 down.
    const std::uint32_t sampler = D3DVERTEXTEXTURESAMPLER0 + unit;
    IDirect3DTexture9* heights = FourTexelsOn(device, sampler, {0xFFFF2000u, 0xFFFF6000u, 0xFF80A000u, 0xFF80E000u});
    ASSERT_NE(heights, nullptr);

    // Only the quad's level (z 0.5: 2) has no offset: the others' shift the
    // fetches onto one texel, which folds the quad onto a line.
    const float origins[6] = {0.5f, 0.5f, 0.5f, 0.5f, 0.f, 0.f};
    ASSERT_EQ(vs.table->SetFloatArray(device, "Origins", origins, 6), D3D_OK);
    // Screen y = 2 h - 1, depth 0.5.
    D3DXMATRIX view{};
    view.m[0][0] = 1.f;
    view.m[1][1] = 2.f;
    view.m[3][1] = -1.f;
    view.m[3][2] = 0.5f;
    view.m[3][3] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "View", &view), D3D_OK);

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear(0xFF0000FFu);
    DrawQuad();
    // Pixel (x, y) is sampled at the screen point x, y from the top left
    // corner, as Direct3D 9 samples: half a pixel from the middle.
    const double bottom = 2.0 * 128 / 255 - 1; // the bottom edge's screen y
    for (int y = 0; y < kSize; ++y) {
        const double screenY = 1 - double(y) * 2 / kSize;
        for (int x : {1, 8, 14}) {
            const std::string where = "pixel " + std::to_string(x) + ", " + std::to_string(y);
            if (screenY < bottom) {
                ExpectPixel(x, y, 0, 0, 255, where + ": below the quad");
                continue;
            }
            // Across the quad red falls from the top heights to the bottom's;
            // green follows the texels' gradient.
            const double across = double(x) / kSize, down = (1 - screenY) / (1 - bottom);
            ExpectPixel(x, y, 255 - 127 * down, 32 + 64 * across + 128 * down, 0, where);
        }
    }
    ASSERT_EQ(device->SetTexture(sampler, nullptr), D3D_OK);
    heights->Release();
    UnbindAndRelease(v, p);
}

// A vertex program has four samplers: one past them is a compile error.
TEST(GfxUtilHlslTest, AVertexSamplerPastTheFourIsRefused) {
    Compiled vs;
    Compile(vs, "sampler2D S : register(s4);\nfloat4 main(float4 p : POSITION) : POSITION "
                "{ return tex2Dlod(S, p); }\n", "vs_3_0");
    EXPECT_EQ(vs.result, E_FAIL);
    EXPECT_NE(vs.errors.find("beyond unit 3"), std::string::npos) << vs.errors;
}

// Every way an entry point hands out what it writes: returned, through `out`
// and `inout` parameters, in structs, mixed. Each must reach the pixels.
TEST_P(GfxUtilHlslDrawTest, EveryFormOfOutputDraws) {
    if (Stopped()) return;
    const struct {
        const char* what;
        const char* source;
    } kForms[] = {
        {"a returned struct", R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION) { VOut o; o.pos = p; o.col = float4(1, 0.5, 0, 1); return o; }
)"},
        {"out parameters", R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 oCol : COLOR0) {
    oPos = p; oCol = float4(1, 0.5, 0, 1);
}
)"},
        {"an inout position", R"(
void main(inout float4 p : POSITION, out float4 c : COLOR0) { c = float4(1, 0.5, 0, 1); }
)"},
        {"a returned position, the colour in an out struct", R"(
struct VCol { float4 col : COLOR0; float2 uv : TEXCOORD0; };
float4 main(float4 p : POSITION, out VCol o) : POSITION { o.col = float4(1, 0.5, 0, 1); o.uv = 0; return p; }
)"},
        {"an out struct holding the position", R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
void main(float4 p : POSITION, out VOut o, out float fog : FOG) { o.pos = p; o.col = float4(1, 0.5, 0, 1); fog = 1; }
)"},
    };
    Compiled ps;
    Compile(ps, kColourPixel, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_NE(p, nullptr);
    for (const auto& form : kForms)
        for (const char* profile : {"vs_2_0", "vs_3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            Compiled vs;
            Compile(vs, form.source, profile);
            ASSERT_EQ(vs.result, D3D_OK) << what << "\n" << vs.errors;
            const auto& outputs = vs.container.outputs;
            EXPECT_EQ(std::count_if(outputs.begin(), outputs.end(),
                                    [](const ShaderSemantic& s) { return s.usage == D3DDECLUSAGE_POSITION; }),
                      1)
                << what;
            IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
            ASSERT_NE(v, nullptr) << what;
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            ExpectCentreDrawn(255, 128, 0, what);
            ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
            v->Release();
        }
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    p->Release();

    // A pixel program's colour through an inout parameter.
    Compiled vs, inout;
    Compile(vs, kForms[1].source, "vs_2_0");
    Compile(inout, "void main(inout float4 c : COLOR0) { c = c.bgra; }\n", "ps_2_0");
    ASSERT_EQ(inout.result, D3D_OK) << inout.errors;
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    p = Make<IDirect3DPixelShader9>(inout);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ExpectCentreDrawn(0, 128, 255, "inout colour");
    UnbindAndRelease(v, p);
}

// Sources cross-compiled from other languages keep their variables' names,
// GLSL's own among them (`static float4 gl_Position;`): such a variable is
// the program's own. The position is the one its POSITION output holds, it
// writes no point size, and the pixel position is still VPOS.
TEST_P(GfxUtilHlslDrawTest, VariablesNamedAsGlslBuiltInsAreTheProgramsOwn) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, R"(
static float4 gl_Position;
static float gl_PointSize;
struct VOut { float4 col : COLOR0; float4 pos : POSITION; };
VOut main(float4 p : POSITION, float4 c : COLOR0) {
    gl_Position = p;
    gl_PointSize = c.a * 3;
    VOut o; o.col = float4(1, 0.5, 0, 1) * gl_PointSize / 3; o.pos = gl_Position; return o;
}
)",
            "vs_3_0");
    Compile(ps, R"(
static float4 gl_FragCoord;
float4 main(float4 col : COLOR0, float2 vpos : VPOS) : COLOR {
    gl_FragCoord = float4(vpos, 0, 1);
    return gl_FragCoord.x < 8 ? col : col.bgra;
}
)",
            "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    const auto written = [&](std::uint8_t usage) {
        return std::count_if(vs.container.outputs.begin(), vs.container.outputs.end(),
                             [&](const ShaderSemantic& s) { return s.usage == usage; });
    };
    EXPECT_EQ(written(D3DDECLUSAGE_POSITION), 1);
    EXPECT_EQ(written(D3DDECLUSAGE_PSIZE), 0);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(4, 8, 255, 128, 0, "left of x = 8");
    ExpectPixel(12, 8, 0, 128, 255, "right of x = 8");
    UnbindAndRelease(v, p);
}

// A matrix passed between the stages takes a register per column, each the
// next index of its semantic, as the D3D9 compiler packs it: read by the
// pixel program in a struct's array of matrices, written by the vertex
// program as one matrix.
TEST_P(GfxUtilHlslDrawTest, MatrixVaryingsTakeARegisterPerColumn) {
    if (Stopped()) return;
    const struct {
        const char* what;
        const char* vertex;
        const char* pixel;
    } kForms[] = {
        {"a struct's array of matrices read",
         "void main(float4 p : POSITION, out float4 t[4] : TEXCOORD0, out float4 o : POSITION)\n{\n"
         "    t[0] = float4(0.25, 0.5, 0, 0);\n    t[1] = 0;\n    t[2] = float4(0.75, 1, 0, 0);\n    t[3] = 0;\n"
         "    o = p;\n}\n",
         "struct apple { float4x2 tp[2] : TEXCOORD0; };\n"
         "float4 main(in apple a) : COLOR { return float4(a.tp[0][0].x, a.tp[0][1].x, a.tp[1][0].x, a.tp[1][1].x); }\n"},
        {"a matrix written",
         "void main(float4 p : POSITION, out float4x2 m : TEXCOORD0, out float4 o : POSITION)\n{\n"
         "    m = float4x2(0.25, 0.5, 0.75, 1, 0, 0, 0, 0);\n    o = p;\n}\n",
         "float4 main(float4 t0 : TEXCOORD0, float4 t1 : TEXCOORD1) : COLOR { return float4(t0.x, t1.x, t0.y, 1); }\n"},
    };
    for (const auto& form : kForms)
        for (const char* profile : {"vs_2_0", "vs_3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            Compiled vs, ps;
            Compile(vs, form.vertex, profile);
            Compile(ps, form.pixel, profile[3] == '3' ? "ps_3_0" : "ps_2_0");
            ASSERT_EQ(vs.result, D3D_OK) << what << "\n" << vs.errors;
            ASSERT_EQ(ps.result, D3D_OK) << what << "\n" << ps.errors;
            IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
            IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
            ASSERT_TRUE(v && p) << what;
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            ExpectCentreDrawn(0x40, 0x80, 0xBF, what);
            UnbindAndRelease(v, p);
        }
}

// Outputs other than the position written through parameters are recorded
// too; a program that writes no position or no colour is refused, not drawn
// as nothing.
TEST(GfxUtilHlslTest, OutputsThroughParametersAreRecordedAndMissingOnesRefused) {
    Compiled vs;
    Compile(vs, R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 c1 : COLOR1, out float2 t3 : TEXCOORD3,
          out float fog : FOG, out float size : PSIZE) { oPos = p; c1 = p; t3 = p.xy; fog = p.z; size = 2; }
)",
            "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    std::vector<std::pair<int, int>> written;
    for (const ShaderSemantic& s : vs.container.outputs) written.push_back({s.usage, s.index});
    std::sort(written.begin(), written.end());
    const std::vector<std::pair<int, int>> expected{{D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_PSIZE, 0},
                                                    {D3DDECLUSAGE_TEXCOORD, 3}, {D3DDECLUSAGE_COLOR, 1},
                                                    {D3DDECLUSAGE_FOG, 0}};
    EXPECT_EQ(written, expected);
    // Each output its own register.
    for (std::size_t i = 0; i < vs.container.outputs.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) EXPECT_NE(vs.container.outputs[i].reg, vs.container.outputs[j].reg);
    TranslatedShader translated;
    std::string error;
    EXPECT_TRUE(TranslateShaderContainer(vs.container, translated, error)) << error;

    Compiled noPosition, noColour;
    Compile(noPosition, "void main(float4 p : POSITION, out float4 c : COLOR0) { c = p; }\n", "vs_2_0");
    EXPECT_EQ(noPosition.result, E_FAIL);
    EXPECT_NE(noPosition.errors.find("vertex program writes no position"), std::string::npos) << noPosition.errors;
    EXPECT_TRUE(noPosition.code.empty());
    Compile(noColour, "void main(float4 c : COLOR0, out float d : DEPTH) { d = c.x; }\n", "ps_2_0");
    EXPECT_EQ(noColour.result, E_FAIL);
    EXPECT_NE(noColour.errors.find("pixel program writes no colour"), std::string::npos) << noColour.errors;
}

namespace {

// A skinned vertex: where it lies, two bones by their weights and indices
// (in a D3DCOLOR's blue and green bytes), and where it is drawn.
struct SkinVertex {
    float pos[3];
    float weights[2];
    std::uint32_t indices;
    float corner[2];
};

struct SkinCase {
    const char* what;
    const char* profile;
    const char* palette; // its name in the table
    int rows, columns;   // each bone's matrix as the program declares it
    const char* source;
    bool fromLeft = false; // a float4x4 multiplied from the left: mul(bone, p)
};

// The skinned position comes out as the colour: p * 0.25 + 0.5.
const SkinCase kSkinCases[] = {
    {"float3x4 from the left, by D3DCOLORtoUBYTE4", "vs_2_0", "Bones", 3, 4, R"(
float3x4 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = mul(Bones[i.x], p) * w.x + mul(Bones[i.y], p) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
    {"float4x3 from the right, by a loop counter", "vs_2_0", "Bones", 4, 3, R"(
float4x3 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = 0;
    for (int k = 0; k < 2; k++) s += mul(p, Bones[i[k]]) * w[k];
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
    {"float4x4 column-major, by a loop counter", "vs_3_0", "Bones", 4, 4, R"(
float4x4 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float4 s = 0;
    for (int k = 0; k < 2; k++) s += mul(p, Bones[i[k]]) * w[k];
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s.xyz * 0.25 + 0.5, 1); return o;
}
)"},
    {"row_major float4x4, by D3DCOLORtoUBYTE4", "vs_1_1", "Bones", 4, 4, R"(
row_major float4x4 Bones[8];
void main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0,
          out float4 pos : POSITION, out float4 col : COLOR0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float4x4 m = Bones[i.x] * w.x + Bones[i.y] * w.y;
    pos = float4(corner, 0.5, 1);
    col = float4(mul(p, m).xyz * 0.25 + 0.5, 1);
}
)"},
    {"column_major float4x4 of a cbuffer at its own register, from the left, by a float made int", "vs_3_0", "Bones",
     4, 4, R"(
cbuffer Instances : register(b0)
{
    column_major float4x4 Camera : register(c0);
    column_major float4x4 Bones[8] : register(c4);
};
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    float first = idx.z * 255.001953, second = idx.y * 255.001953;
    float4x4 a = Bones[int(first)], b = Bones[int(second)];
    float4 s = mul(a, p) * w.x + mul(b, p) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s.xyz * 0.25 + 0.5, 1); return o;
}
)", true},
    {"a uniform float3x4 palette handed whole to a function", "vs_2_0", "$pal", 3, 4, R"(
float3 Skin(float3x4 bones[8], float4 p, int i) { return mul(bones[i], p); }
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0,
          uniform float3x4 pal[8]) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = Skin(pal, p, i.x) * w.x + Skin(pal, p, i.y) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
};

// Bone b: a turn about z by 0.3 b radians, scaled by 0.8 + 0.05 b, moved by
// (0.1 b, -0.05 b, 0.2).
D3DXMATRIX Bone(int b) {
    return TurnScaleMove(0.3f * float(b), 0.8f + 0.05f * float(b), 0.1f * float(b), -0.05f * float(b), 0.2f);
}

// What the program makes of `p` with bone `m`, as the matrix it declares
// holds it: a float3x4 (the first three rows) or a float4x4 so declared
// multiplied from the left, a float4x3 (the first three columns) or float4x4
// from the right.
void SkinOnCpu(const D3DXMATRIX& m, bool fromLeft, const float p[4], float out[3]) {
    for (int k = 0; k < 3; ++k) {
        out[k] = 0;
        for (int j = 0; j < 4; ++j) out[k] += fromLeft ? m.m[k][j] * p[j] : p[j] * m.m[j][k];
    }
}

} // namespace

// Bone palettes as skinning programs declare them, indexed by the vertex's
// blend indices: each skinned position read back against the one computed
// here, within one step per channel.
TEST_P(GfxUtilHlslDrawTest, BonePalettesSkinAsTheCpuDoes) {
    if (Stopped()) return;
    // A 3.0 vertex program pairs with a 3.0 pixel program only.
    Compiled ps2, ps3;
    Compile(ps2, kColourPixel, "ps_2_0");
    Compile(ps3, kColourPixel, "ps_3_0");
    IDirect3DPixelShader9* p2 = Make<IDirect3DPixelShader9>(ps2);
    IDirect3DPixelShader9* p3 = Make<IDirect3DPixelShader9>(ps3);
    ASSERT_TRUE(p2 && p3);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                          {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    D3DXMATRIX bones[8];
    for (int b = 0; b < 8; ++b) bones[b] = Bone(b);
    // Vertices: where, which two bones, how much of each.
    const struct {
        float pos[3];
        int first, second;
        float weight;
    } kVertices[] = {{{0.5f, -0.25f, 0.75f}, 1, 6, 0.7f}, {{-1.f, 0.5f, 0.25f}, 7, 0, 0.25f},
                     {{0.f, 0.f, 0.f}, 3, 3, 1.f}, {{1.f, 1.f, -1.f}, 2, 5, 0.5f}};
    for (const SkinCase& c : kSkinCases) {
        Compiled vs;
        Compile(vs, c.source, c.profile);
        ASSERT_EQ(vs.result, D3D_OK) << c.what << "\n" << vs.errors;
        D3DXCONSTANT_DESC d;
        std::uint32_t n = 1;
        ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, c.palette), &d, &n), D3D_OK) << c.what;
        EXPECT_EQ(d.Elements, 8u) << c.what;
        EXPECT_EQ(d.Rows, std::uint32_t(c.rows)) << c.what;
        EXPECT_EQ(d.Columns, std::uint32_t(c.columns)) << c.what;
        IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
        ASSERT_NE(v, nullptr) << c.what;
        ASSERT_EQ(vs.table->SetMatrixArray(device, c.palette, bones, 8), D3D_OK) << c.what;
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(std::string_view(c.profile) == "vs_3_0" ? p3 : p2), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        for (const auto& k : kVertices) {
            // The whole target drawn with this one vertex's skinning.
            const std::uint32_t indices = std::uint32_t(k.first) | std::uint32_t(k.second) << 8 | 0xFF000000u;
            SkinVertex quad[4];
            const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
            for (int q = 0; q < 4; ++q)
                quad[q] = {{k.pos[0], k.pos[1], k.pos[2]}, {k.weight, 1.f - k.weight}, indices,
                           {corners[q][0], corners[q][1]}};
            Clear();
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SkinVertex)), D3D_OK) << c.what;
            const float position[4] = {k.pos[0], k.pos[1], k.pos[2], 1.f};
            float a[3], b[3];
            SkinOnCpu(bones[k.first], c.rows == 3 || c.fromLeft, position, a);
            SkinOnCpu(bones[k.second], c.rows == 3 || c.fromLeft, position, b);
            double expected[3];
            for (int i = 0; i < 3; ++i)
                expected[i] = 255.0 * std::clamp((a[i] * k.weight + b[i] * (1.f - k.weight)) * 0.25 + 0.5, 0.0, 1.0);
            ExpectPixel(8, 8, expected[0], expected[1], expected[2],
                        std::string(c.what) + ", bones " + std::to_string(k.first) + " and " + std::to_string(k.second));
        }
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        v->Release();
    }
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    p2->Release();
    p3->Release();
    declaration->Release();
}

// Every high-level program of these tests (and the assembly one the device's
// tests draw most through) made and drawn: each vertex program records its
// position, and no draw meets a device or GL error.
TEST_P(GfxUtilHlslDrawTest, EveryProgramOfTheseTestsWritesItsPositionAndDraws) {
    if (Stopped()) return;
    struct Source {
        std::string what, profile, text;
    };
    std::vector<Source> vertex{{"the quad program", "vs_3_0", kVertexSource},
                               {"the colour program", "vs_2_0", kColourVertex}};
    std::vector<Source> pixel{{"the sampling program", "ps_3_0", kPixelSource},
                              {"the colour program", "ps_2_0", kColourPixel}};
    for (const DialectCase& c : kDialect)
        (c.profile[0] == 'v' ? vertex : pixel).push_back({c.what, c.profile, c.source});
    for (const SkinCase& c : kSkinCases) vertex.push_back({c.what, c.profile, c.source});
    auto make = [&](const Source& s, Compiled& c) {
        Compile(c, s.text, s.profile.c_str());
        EXPECT_EQ(c.result, D3D_OK) << s.what << "\n" << c.errors;
    };
    Compiled passPixel2, passPixel3;
    make(pixel[1], passPixel2);
    make({"", "ps_3_0", kColourPixel}, passPixel3);
    IDirect3DPixelShader9* p2 = Make<IDirect3DPixelShader9>(passPixel2);
    IDirect3DPixelShader9* p3 = Make<IDirect3DPixelShader9>(passPixel3);
    ASSERT_TRUE(p2 && p3);
    for (const Source& s : vertex) {
        Compiled vs;
        make(s, vs);
        if (vs.result != D3D_OK) continue;
        EXPECT_TRUE(std::any_of(vs.container.outputs.begin(), vs.container.outputs.end(),
                                [](const ShaderSemantic& o) { return o.usage == D3DDECLUSAGE_POSITION; }))
            << s.what;
        IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
        ASSERT_NE(v, nullptr) << s.what;
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(s.profile == "vs_3_0" ? p3 : p2), D3D_OK);
        DrawQuad();
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        v->Release();
    }
    // Pixel programs behind the assembly pass-through or the 3.0 quad program.
    Compiled quad;
    Compile(quad, kVertexSource, "vs_3_0");
    IDirect3DVertexShader9* v3 = Make<IDirect3DVertexShader9>(quad);
    IDirect3DVertexShader9* v2 = Vertex(gfxtest::kPassVertex);
    ASSERT_TRUE(v2 && v3);
    SetQuadConstants(quad);
    for (const Source& s : pixel) {
        Compiled ps;
        make(s, ps);
        if (ps.result != D3D_OK) continue;
        IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
        ASSERT_NE(p, nullptr) << s.what;
        ASSERT_EQ(device->SetVertexShader(s.profile == "ps_3_0" ? v3 : v2), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        Clear();
        DrawQuad();
        ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        p->Release();
    }
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    v3->Release();
    p2->Release();
    p3->Release();
}
