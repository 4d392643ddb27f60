// Declaration forms of the DX9 dialect beyond the common ones: struct types
// defined in a global's declaration, arrays of inputs and outputs, the
// one-dimensional sampling family, sampler blocks without `sampler_state`,
// the Direct3D 10 semantic names and an effect pass that picks its program
// by an expression. Each is compiled, made into a device program and drawn.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

// Position passed on, the colour the pixel program is given.
constexpr const char* kPassVertex = R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut main(float4 p : POSITION, float4 c : COLOR0, float2 uv : TEXCOORD0) { VOut o; o.pos = p; o.col = c; o.uv = uv; return o; }
)";
constexpr const char* kColourPixel = "float4 main(float4 c : COLOR0) : COLOR { return c; }\n";

} // namespace

// Programs compiled here drawn through the device: each is made from its
// code and the centre pixel read back.
class GfxUtilHlslFormsTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles both programs, makes them and binds them; false (with a
    // failure) when any step fails.
    bool Bind(Compiled& vs, const std::string& vsSource, const char* vsProfile, Compiled& ps,
              const std::string& psSource, const char* psProfile, const std::string& what) {
        Compile(vs, vsSource, vsProfile);
        Compile(ps, psSource, psProfile);
        EXPECT_EQ(vs.result, D3D_OK) << what << "\n" << vs.errors;
        EXPECT_EQ(ps.result, D3D_OK) << what << "\n" << ps.errors;
        if (vs.result != D3D_OK || ps.result != D3D_OK) return false;
        IDirect3DVertexShader9* v = MakeVertex(vs, what);
        IDirect3DPixelShader9* p = MakePixel(ps, what);
        if (!v || !p) return false;
        EXPECT_EQ(device->SetVertexShader(v), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        return true;
    }
    // The quad drawn, with the draw's own result checked.
    void Draw(std::uint32_t color = 0xFFFFFFFFu) {
        Clear();
        DrawQuad(color);
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslFormsTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

// A struct type defined in the global's own declaration, named or not, is
// laid out as a struct global of a named type: an entry of its own with its
// members, registers no other constant shares, members set by name. A bool
// member is read as a float like any other.
TEST_P(GfxUtilHlslFormsTest, StructTypesDefinedInTheDeclarationAreLaidOut) {
    if (Stopped()) return;
    const std::string pixel = R"(
uniform struct { float4 a; float4 b; } cb;
float4 Before;
struct Named { float4 tint; bool flip; } nb, spare;
static struct { float4 k; } hidden = { float4(0, 0, 0, 0) };
float4 main(float4 c : COLOR0) : COLOR { return (nb.flip ? cb.b : cb.a) * nb.tint + Before + hidden.k; }
)";
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        SCOPED_TRACE(profile);
        Compiled vs, ps;
        ASSERT_TRUE(Bind(vs, kPassVertex, "vs_2_0", ps, pixel, profile, profile));
        const ShaderConstantRecord* cb = Constant(ps.container, "cb");
        const ShaderConstantRecord* nb = Constant(ps.container, "nb");
        const ShaderConstantRecord* before = Constant(ps.container, "Before");
        ASSERT_TRUE(cb && nb && before);
        EXPECT_EQ(Constant(ps.container, "spare"), nullptr); // never read
        EXPECT_EQ(Constant(ps.container, "hidden"), nullptr);
        EXPECT_EQ(cb->cls, D3DXPC_STRUCT);
        EXPECT_EQ(cb->structMembers, 2u);
        EXPECT_EQ(cb->registerCount, 2u);
        EXPECT_EQ(nb->cls, D3DXPC_STRUCT);
        EXPECT_EQ(nb->registerCount, 2u);
        // The larger first, then declaration order, each in registers of its own.
        EXPECT_EQ(cb->registerIndex, 0u);
        EXPECT_EQ(nb->registerIndex, 2u);
        EXPECT_EQ(before->registerIndex, 4u);
        EXPECT_LE(std::uint32_t(nb->registerIndex + nb->registerCount), ps.container.constF);

        const D3DXVECTOR4 red{1, 0, 0, 1}, blue{0, 0, 1, 1}, half{0.5f, 1, 1, 1}, none{0, 0, 0, 0};
        ASSERT_EQ(ps.table->SetVector(device, "cb.a", &red), D3D_OK);
        ASSERT_EQ(ps.table->SetVector(device, ps.table->GetConstantByName(ps.table->GetConstantByName(nullptr, "cb"), "b"),
                                      &blue),
                  D3D_OK);
        ASSERT_EQ(ps.table->SetVector(device, "nb.tint", &half), D3D_OK);
        ASSERT_EQ(ps.table->SetBool(device, "nb.flip", false), D3D_OK);
        ASSERT_EQ(ps.table->SetVector(device, "Before", &none), D3D_OK);
        Draw();
        ExpectPixel(8, 8, 128, 0, 0, "cb.a");
        ASSERT_EQ(ps.table->SetBool(device, "nb.flip", true), D3D_OK);
        Draw();
        ExpectPixel(8, 8, 0, 0, 255, "cb.b");
    }
}

// An array of inputs or outputs with a semantic takes that semantic's index
// and the ones after it, as entry parameters and as struct members.
TEST_P(GfxUtilHlslFormsTest, ArraysOfInputsAndOutputsTakeOneSemanticEach) {
    if (Stopped()) return;
    const struct {
        const char* what;
        const char* vertex;
        const char* pixel;
    } kForms[] = {
        {"out parameter, in parameter", R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 o[3] : TEXCOORD1) {
    oPos = p; o[0] = float4(1, 0, 0, 1); o[1] = float4(0, 0.5, 0, 1); o[2] = float4(0, 0, 0.25, 1);
}
)",
         "float4 main(float4 t[3] : TEXCOORD1) : COLOR { return t[0] + t[1] + t[2]; }\n"},
        {"struct members", R"(
struct VOut { float4 pos : POSITION; float4 t[3] : TEXCOORD1; };
VOut main(float4 p : POSITION) {
    VOut o; o.pos = p;
    for (int k = 0; k < 3; ++k) o.t[k] = float4(k == 0 ? 1 : 0, k == 1 ? 0.5 : 0, k == 2 ? 0.25 : 0, 1);
    return o;
}
)",
         R"(
struct PIn { float4 t[3] : TEXCOORD1; };
float4 main(PIn i) : COLOR { return i.t[0] + i.t[1] + i.t[2]; }
)"},
        {"single outputs read as an array", R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 a : TEXCOORD1, out float4 b : TEXCOORD2,
          out float4 c : TEXCOORD3) {
    oPos = p; a = float4(1, 0, 0, 1); b = float4(0, 0.5, 0, 1); c = float4(0, 0, 0.25, 1);
}
)",
         "float4 main(float4 t[3] : TEXCOORD1) : COLOR { return t[0] + t[1] + t[2]; }\n"},
    };
    for (const auto& form : kForms)
        for (const char* profile : {"2_0", "3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            SCOPED_TRACE(what);
            Compiled vs, ps;
            ASSERT_TRUE(Bind(vs, form.vertex, ("vs_" + std::string(profile)).c_str(), ps, form.pixel,
                             ("ps_" + std::string(profile)).c_str(), what));
            std::vector<int> texcoords;
            for (const ShaderSemantic& s : ps.container.inputs)
                if (s.usage == D3DDECLUSAGE_TEXCOORD) texcoords.push_back(s.index);
            EXPECT_EQ(texcoords, (std::vector<int>{1, 2, 3}));
            texcoords.clear();
            for (const ShaderSemantic& s : vs.container.outputs)
                if (s.usage == D3DDECLUSAGE_TEXCOORD) texcoords.push_back(s.index);
            EXPECT_EQ(texcoords, (std::vector<int>{1, 2, 3}));
            Draw();
            ExpectPixel(8, 8, 255, 128, 64, what);
        }
}

// A pixel program's colours as an array: COLOR0 and COLOR1, the first drawn
// into the target.
TEST_P(GfxUtilHlslFormsTest, APixelColourArrayWritesOneTargetPerElement) {
    if (Stopped()) return;
    Compiled vs, ps;
    ASSERT_TRUE(Bind(vs, kPassVertex, "vs_2_0", ps,
                     "void main(float4 c : COLOR0, out float4 o[2] : COLOR0) { o[0] = c.bgra; o[1] = c; }\n", "ps_2_0",
                     "colour array"));
    ASSERT_EQ(ps.container.outputs.size(), 2u);
    EXPECT_EQ(ps.container.outputs[0].usage, D3DDECLUSAGE_COLOR);
    EXPECT_EQ(ps.container.outputs[0].index, 0u);
    EXPECT_EQ(ps.container.outputs[1].index, 1u);
    EXPECT_EQ(ps.container.outputs[1].reg, 1u);
    Draw(0xFFFF8000u);
    ExpectPixel(8, 8, 0, 128, 255, "target 0");
}

// A vertex input array: the declaration's elements feed its elements.
TEST_P(GfxUtilHlslFormsTest, AVertexInputArrayReadsOneElementPerSemantic) {
    if (Stopped()) return;
    Compiled vs, ps;
    ASSERT_TRUE(Bind(vs, R"(
void main(float4 p : POSITION, float4 in2[2] : COLOR0, out float4 oPos : POSITION, out float4 oCol : COLOR0) {
    oPos = p; oCol = in2[0] * in2[1];
}
)",
                     "vs_2_0", ps, kColourPixel, "ps_2_0", "input array"));
    std::vector<int> colours;
    for (const ShaderSemantic& s : vs.container.inputs)
        if (s.usage == D3DDECLUSAGE_COLOR) colours.push_back(s.index);
    EXPECT_EQ(colours, (std::vector<int>{0, 1}));
    // The same array as a member of the input struct.
    Compiled member, ps2;
    ASSERT_TRUE(Bind(member, R"(
struct VIn { float4 p : POSITION; float4 c[2] : COLOR0; };
void main(VIn i, out float4 oPos : POSITION, out float4 oCol : COLOR0) { oPos = i.p; oCol = i.c[0] * i.c[1]; }
)",
                     "vs_3_0", ps2, kColourPixel, "ps_3_0", "input struct array"));
    colours.clear();
    for (const ShaderSemantic& s : member.container.inputs)
        if (s.usage == D3DDECLUSAGE_COLOR) colours.push_back(s.index);
    EXPECT_EQ(colours, (std::vector<int>{0, 1}));
    // Two colours per vertex: their product reaches the pixel.
    struct Vertex {
        float x, y, z;
        std::uint32_t c0, c1;
    };
    const Vertex quad[4] = {{-1, 1, 0.5f, 0xFFFF8000u, 0xFF80FFFFu}, {1, 1, 0.5f, 0xFFFF8000u, 0xFF80FFFFu},
                            {-1, -1, 0.5f, 0xFFFF8000u, 0xFF80FFFFu}, {1, -1, 0.5f, 0xFFFF8000u, 0xFF80FFFFu}};
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                          {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 1},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(decl), D3D_OK);
    Clear();
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ExpectPixel(8, 8, 128, 128, 0, "product of a struct's array");
    IDirect3DVertexShader9* v = nullptr;
    IDirect3DPixelShader9* p = nullptr;
    ASSERT_EQ(device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(vs.code.data()),
                                         std::uint32_t(vs.code.size()), &v),
              D3D_OK);
    ASSERT_EQ(device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(ps.code.data()),
                                        std::uint32_t(ps.code.size()), &p),
              D3D_OK);
    m_vertexShaders.push_back(v);
    m_pixelShaders.push_back(p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ExpectPixel(8, 8, 128, 128, 0, "product of a parameter array");
    device->SetVertexDeclaration(nullptr);
    decl->Release();
}

namespace {
// A one-dimensional lookup as the sampling forms of each profile write it:
// across the quad, u runs 0..1 over a 4 x 1 texture of red, green, blue and
// white texels.
struct OneDimensional {
    const char* what;
    const char* profile;
    const char* source;
};
const OneDimensional kOneDimensional[] = {
    {"tex1D on sampler1D", "ps_2_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1D(s, uv.x); }\n"},
    {"tex1D on sampler", "ps_2_0",
     "sampler s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1D(s, uv.x); }\n"},
    {"tex1D on a vector coordinate", "ps_2_0",
     "sampler1D s : register(s1);\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1D(s, uv); }\n"},
    {"tex1Dproj", "ps_2_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1Dproj(s, float4(uv.x * 2, 7, 0, 2)); }\n"},
    {"tex1Dbias", "ps_2_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1Dbias(s, float4(uv.x, 7, 0, 0)); }\n"},
    {"tex1D through a function", "ps_2_0", R"(
sampler1D s;
float4 Look(sampler1D t, float x) { return tex1D(t, x); }
float4 main(float2 uv : TEXCOORD0) : COLOR { return Look(s, uv.x); }
)"},
    {"tex1D on sampler1D", "ps_3_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1D(s, uv.x); }\n"},
    {"tex1Dlod", "ps_3_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1Dlod(s, float4(uv.x, 7, 0, 0)); }\n"},
    {"tex1Dgrad", "ps_3_0",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1Dgrad(s, uv.x, ddx(uv.x), ddy(uv.x)); }\n"},
    {"tex1D with derivatives", "ps_3_0",
     "sampler s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1D(s, uv.x, ddx(uv.x), ddy(uv.x)); }\n"},
    {"tex1Dgrad", "ps_2_a",
     "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex1Dgrad(s, uv.x, ddx(uv.x), ddy(uv.x)); }\n"},
};
} // namespace

TEST_P(GfxUtilHlslFormsTest, OneDimensionalSamplingReadsTheTexturesRow) {
    if (Stopped()) return;
    IDirect3DTexture9* row = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &row, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(row->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    std::memcpy(lr.pBits, texels, sizeof texels);
    row->UnlockRect(0);
    for (const OneDimensional& form : kOneDimensional) {
        const std::string what = std::string(form.what) + " at " + form.profile;
        SCOPED_TRACE(what);
        Compiled vs, ps;
        ASSERT_TRUE(Bind(vs, kPassVertex, "vs_2_0", ps, form.source, form.profile, what));
        const ShaderConstantRecord* s = Constant(ps.container, "s");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->registerSet, D3DXRS_SAMPLER);
        ASSERT_EQ(device->SetTexture(s->registerIndex, row), D3D_OK);
        Draw();
        ExpectPixel(2, 8, 255, 0, 0, what);
        ExpectPixel(6, 8, 0, 255, 0, what);
        ExpectPixel(10, 8, 0, 0, 255, what);
        ExpectPixel(14, 8, 255, 255, 255, what);
        ASSERT_EQ(device->SetTexture(s->registerIndex, nullptr), D3D_OK);
    }
    // A vertex program's one-dimensional fetch at vs_3_0.
    Compiled vs, ps;
    ASSERT_TRUE(Bind(vs, R"(
sampler1D s;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION) { VOut o; o.pos = p; o.col = tex1Dlod(s, float4(0.6, 0, 0, 0)); return o; }
)",
                     "vs_3_0", ps, kColourPixel, "ps_3_0", "vertex fetch"));
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, row), D3D_OK);
    Draw();
    ExpectPixel(8, 8, 0, 0, 255, "vertex fetch");
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, nullptr), D3D_OK);
    row->Release();
}

// A sampler's state block written straight after its name, as the effect
// syntax allows beside `= sampler_state`: the compiler takes the sampler and
// leaves the states to the effect.
TEST_P(GfxUtilHlslFormsTest, SamplerBlocksWithoutSamplerStateCompile) {
    if (Stopped()) return;
    const char* kForms[] = {
        "texture T;\nsampler2D s { Texture = <T>; MinFilter = Point; };\n",
        "texture T;\nsampler2D s : register(s2) { Texture = (T); };\n",
        "texture T;\nsampler s { Texture = <T>; AddressU = Clamp; }, unused;\n",
        // The DX9 syntax's sampler type in place of `sampler_state`.
        "texture T;\nsampler s = sampler2D { Texture = <T>; MagFilter = Linear; };\n",
        "texture T;\nsampler2D s : register(s1) = sampler_state { Texture = <T>; };\n",
    };
    IDirect3DTexture9* white = OneTexel(0xFF8040FFu);
    ASSERT_NE(white, nullptr);
    for (const char* declaration : kForms) {
        SCOPED_TRACE(declaration);
        Compiled vs, ps;
        ASSERT_TRUE(Bind(vs, kPassVertex, "vs_2_0", ps,
                         std::string(declaration) + "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv); }\n",
                         "ps_2_0", declaration));
        const ShaderConstantRecord* s = Constant(ps.container, "s");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(Constant(ps.container, "T"), nullptr);
        EXPECT_EQ(Constant(ps.container, "unused"), nullptr);
        ASSERT_EQ(device->SetTexture(s->registerIndex, white), D3D_OK);
        Draw();
        ExpectPixel(8, 8, 128, 64, 255, declaration);
        ASSERT_EQ(device->SetTexture(s->registerIndex, nullptr), D3D_OK);
    }
    // In an effect, the blocks' states reach the samplers the program reads:
    // the texture set on the effect is the one drawn.
    const std::string effect = R"(
texture T;
sampler2D S { Texture = <T>; MinFilter = Point; };
sampler R = sampler2D { Texture = (T); };
float4 V(float4 p : POSITION, float2 uv : TEXCOORD0, out float2 t : TEXCOORD0) : POSITION { t = uv; return p; }
float4 P(float2 uv : TEXCOORD0) : COLOR { return tex2D(S, uv) * tex2D(R, uv).a; }
technique Blocks { pass { VertexShader = compile vs_2_0 V(); PixelShader = compile ps_2_0 P(); } }
)";
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, effect.data(), std::uint32_t(effect.size()), nullptr, nullptr, 0, nullptr, &fx,
                               &errors),
              D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(fx->SetTexture("T", white), D3D_OK);
    ASSERT_EQ(fx->ValidateTechnique("Blocks"), D3D_OK) << fx->ValidationError();
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    Draw();
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    ExpectPixel(8, 8, 128, 64, 255, "effect");
    fx->Release();
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    white->Release();
}

// The Direct3D 10 names at the DX9 targets: SV_Target[n] is COLOR[n],
// SV_Depth is DEPTH, SV_Position on a vertex program's output is POSITION.
TEST_P(GfxUtilHlslFormsTest, Direct3D10SemanticNamesMeanTheirDX9Ones) {
    if (Stopped()) return;
    const char* vertex = R"(
struct VOut { float4 pos : SV_Position; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float4 c : COLOR0) { VOut o; o.pos = p; o.col = c; return o; }
)";
    const struct {
        const char* what;
        const char* pixel;
    } kForms[] = {
        {"SV_Target", "float4 main(float4 c : COLOR0) : SV_Target { return c; }\n"},
        {"SV_TARGET0", "float4 main(float4 c : COLOR0) : SV_TARGET0 { return c; }\n"},
        {"sv_target through an out parameter", "void main(float4 c : COLOR0, out float4 o : sv_target) { o = c; }\n"},
        {"SV_Target with SV_Depth", R"(
struct POut { float4 c : SV_Target0; float d : SV_Depth; };
POut main(float4 c : COLOR0) { POut o; o.c = c; o.d = 0.25; return o; }
)"},
    };
    for (const auto& form : kForms)
        for (const char* profile : {"2_0", "3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            SCOPED_TRACE(what);
            Compiled vs, ps;
            ASSERT_TRUE(Bind(vs, vertex, ("vs_" + std::string(profile)).c_str(), ps, form.pixel,
                             ("ps_" + std::string(profile)).c_str(), what));
            ASSERT_FALSE(ps.container.outputs.empty());
            EXPECT_EQ(ps.container.outputs[0].usage, D3DDECLUSAGE_COLOR);
            EXPECT_EQ(vs.container.outputs.size(), 2u);
            Draw(0xFFFF8000u);
            ExpectPixel(8, 8, 255, 128, 0, what);
        }
    // SV_Depth writes the depth the test compares: 0.25 passes a 0.5 depth
    // test where the quad's own 0.5 does not.
    Compiled vs, ps;
    ASSERT_TRUE(Bind(vs, vertex, "vs_2_0", ps, kForms[3].pixel, "ps_2_0", "depth"));
    ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 1), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f, 0), D3D_OK);
    DrawQuad(0xFFFFFFFFu);
    ExpectPixel(8, 8, 255, 255, 255, "depth 0.25 in front of 0.5");
    ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 0), D3D_OK);
    // As a pixel program's input SV_Position stays the pixel's position,
    // from the top left as VPOS has it.
    Compiled vs3, at;
    ASSERT_TRUE(Bind(vs3, vertex, "vs_3_0", at,
                     "float4 main(float4 p : SV_Position) : COLOR { return float4(p.x / 16, p.y / 16, 0, 1); }\n",
                     "ps_3_0", "pixel position"));
    Draw();
    EXPECT_LT(gfxtest::ChannelOf(At(2, 8), 16), gfxtest::ChannelOf(At(12, 8), 16));
    EXPECT_LT(gfxtest::ChannelOf(At(8, 2), 8), gfxtest::ChannelOf(At(8, 12), 8));
    ExpectPixel(8, 4, 8 * 255.0 / 16, 4 * 255.0 / 16, 0, "pixel (8, 4)");
    ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 1), D3D_OK);
    // Without SV_Depth the quad's own 0.5 fails the same test.
    Compiled vs2, plain;
    ASSERT_TRUE(Bind(vs2, vertex, "vs_2_0", plain, kForms[0].pixel, "ps_2_0", "no depth"));
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f, 0), D3D_OK);
    DrawQuad(0xFFFFFFFFu);
    ExpectPixel(8, 8, 0, 0, 0, "depth 0.5 behind 0.5");
    ASSERT_EQ(device->SetRenderState(D3DRS_ZENABLE, 0), D3D_OK);
}

namespace {
constexpr const char* kPickedEffect = R"(
float4 Red(float4 p : POSITION, out float4 c : COLOR0) : POSITION { c = float4(1, 0, 0, 1); return p; }
float4 Green(float4 p : POSITION, out float4 c : COLOR0) : POSITION { c = float4(0, 1, 0, 1); return p; }
float4 Blue(float4 p : POSITION, out float4 c : COLOR0) : POSITION { c = float4(0, 0, 1, 1); return p; }
float4 Pass(float4 c : COLOR0) : COLOR { return c; }
texture T;
sampler2D Unused { Texture = <T>; MinFilter = Point; };
VertexShader VSArray[3] = { compile vs_2_0 Red(), compile vs_2_0 Green(), compile vs_2_0 Blue() };
VertexShader Single = compile vs_2_0 Green();
int VSIndices[4] = { 2, 0, 1, 1 };
int ShaderIndex = 0;
technique Picked { pass { VertexShader = (VSArray[VSIndices[ShaderIndex]]); PixelShader = compile ps_2_0 Pass(); } }
technique Direct { pass { VertexShader = (VSArray[ShaderIndex]); PixelShader = compile ps_2_0 Pass(); } }
technique Fixed { pass { VertexShader = (VSArray[1]); PixelShader = compile ps_2_0 Pass(); } }
technique Named { pass { VertexShader = (Single); PixelShader = compile ps_2_0 Pass(); } }
)";
} // namespace

// A pass whose program is an element of a shader array picked by int
// parameters: the expression is evaluated with the values the parameters
// have when the pass begins, and again when a change is committed.
TEST_P(GfxUtilHlslFormsTest, AnEffectPassPicksItsProgramByAnExpression) {
    if (Stopped()) return;
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, kPickedEffect, std::uint32_t(std::strlen(kPickedEffect)), nullptr, nullptr, 0,
                               nullptr, &fx, &errors),
              D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    ASSERT_NE(fx, nullptr);
    D3DXPARAMETER_DESC pd{};
    ASSERT_EQ(fx->GetParameterDesc("VSArray", &pd), D3D_OK);
    EXPECT_EQ(pd.Elements, 3u);
    EXPECT_EQ(pd.Type, D3DXPT_VERTEXSHADER);
    EXPECT_TRUE(fx->IsParameterUsed("ShaderIndex", "Picked"));
    EXPECT_TRUE(fx->IsParameterUsed("VSIndices", "Picked"));
    EXPECT_FALSE(fx->IsParameterUsed("VSIndices", "Direct"));
    auto draw = [&](const char* technique, const char* what) {
        ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);
        ASSERT_EQ(fx->ValidateTechnique(technique), D3D_OK) << fx->ValidationError();
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(passes, 1u);
        EXPECT_EQ(fx->BeginPass(0), D3D_OK) << what;
        Draw();
        EXPECT_EQ(fx->EndPass(), D3D_OK);
        EXPECT_EQ(fx->End(), D3D_OK);
    };
    // The pass describes the program its parameters pick now.
    D3DXPASS_DESC first{}, second{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Picked", 0), &first), D3D_OK);
    ASSERT_EQ(fx->SetInt("ShaderIndex", 2), D3D_OK);
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Picked", 0), &second), D3D_OK);
    ASSERT_TRUE(first.pVertexShaderFunction && second.pVertexShaderFunction);
    EXPECT_NE(first.pVertexShaderFunction, second.pVertexShaderFunction);
    ASSERT_EQ(fx->SetInt("ShaderIndex", 0), D3D_OK);
    draw("Picked", "VSIndices[0]");
    ExpectPixel(8, 8, 0, 0, 255, "VSIndices[0] is 2");
    ASSERT_EQ(fx->SetInt("ShaderIndex", 1), D3D_OK);
    draw("Picked", "VSIndices[1]");
    ExpectPixel(8, 8, 255, 0, 0, "VSIndices[1] is 0");
    draw("Direct", "VSArray[1]");
    ExpectPixel(8, 8, 0, 255, 0, "ShaderIndex 1");
    draw("Fixed", "VSArray[1]");
    ExpectPixel(8, 8, 0, 255, 0, "a number");
    draw("Named", "Single");
    ExpectPixel(8, 8, 0, 255, 0, "a parenthesised name");

    // Changed inside the pass: committed, the next draw takes the new program.
    ASSERT_EQ(fx->SetTechnique("Picked"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    ASSERT_EQ(fx->SetInt("ShaderIndex", 2), D3D_OK);
    ASSERT_EQ(fx->CommitChanges(), D3D_OK);
    Draw();
    ExpectPixel(8, 8, 0, 255, 0, "committed");
    // An index past the array picks nothing: the pass cannot begin.
    ASSERT_EQ(fx->SetInt("ShaderIndex", 9), D3D_OK);
    EXPECT_EQ(fx->CommitChanges(), E_FAIL);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(fx->BeginPass(0), E_FAIL);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    fx->Release();

    // The same file compiled one entry at a time: the shader array, the
    // picking technique and the sampler block are the effect's alone.
    Compiled blue, pass;
    Compile(blue, kPickedEffect, "vs_2_0", "Blue");
    Compile(pass, kPickedEffect, "ps_2_0", "Pass");
    ASSERT_EQ(blue.result, D3D_OK) << blue.errors;
    ASSERT_EQ(pass.result, D3D_OK) << pass.errors;
    EXPECT_TRUE(blue.container.constants.empty());
    IDirect3DVertexShader9* v = nullptr;
    IDirect3DPixelShader9* p = nullptr;
    ASSERT_EQ(device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(blue.code.data()),
                                         std::uint32_t(blue.code.size()), &v),
              D3D_OK);
    m_vertexShaders.push_back(v);
    ASSERT_EQ(device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(pass.code.data()),
                                        std::uint32_t(pass.code.size()), &p),
              D3D_OK);
    m_pixelShaders.push_back(p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Draw();
    ExpectPixel(8, 8, 0, 0, 255, "Blue by entry");
}

// Expressions that pick no program are read errors, not passes that fail
// later.
TEST(GfxUtilHlslFormsReadTest, ProgramExpressionsThatPickNothingAreRefused) {
    const std::string head = R"(
float4 V(float4 p : POSITION) : POSITION { return p; }
VertexShader VS[2] = { compile vs_2_0 V(), compile vs_2_0 V() };
VertexShader One = compile vs_2_0 V();
int Picks[2] = { 0, 1 };
int Which = 0;
float4 Vec;
)";
    const char* kBad[] = {
        "VertexShader = (VS[Picks]);",     "VertexShader = (VS[Which[0]]);", "VertexShader = (One[Which]);",
        "VertexShader = (VS[Vec]);",       "VertexShader = (VS[Nobody]);",   "VertexShader = (VS[Which] + 1);",
        "PixelShader = (VS[Which]);",      "VertexShader = (VS[);",
    };
    for (const char* state : kBad) {
        SCOPED_TRACE(state);
        const std::string text = head + "technique T { pass { " + state + " } }\n";
        ID3DXEffectCompiler* compiler = nullptr;
        ID3DXBuffer* errors = nullptr;
        EXPECT_NE(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &compiler,
                                           &errors),
                  D3D_OK);
        EXPECT_EQ(compiler, nullptr);
        if (compiler) compiler->Release();
        ASSERT_NE(errors, nullptr);
        const std::string message = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_NE(message.find("memory(8): "), std::string::npos) << message;
        errors->Release();
    }
    // An array given the wrong number of programs.
    ID3DXEffectCompiler* compiler = nullptr;
    const std::string wrong = "float4 V(float4 p : POSITION) : POSITION { return p; }\n"
                              "VertexShader VS[3] = { compile vs_2_0 V(), compile vs_2_0 V() };\n";
    EXPECT_NE(D3DXCreateEffectCompiler(wrong.data(), std::uint32_t(wrong.size()), nullptr, nullptr, 0, &compiler,
                                       nullptr),
              D3D_OK);
    EXPECT_EQ(compiler, nullptr);
}

namespace {
// Forms of the published variable, struct, function and type syntax: each
// pixel program makes orange (1, 0.5, 0) from its constants' defaults and
// the quad's colour (white), so a form read wrongly shows in the pixel.
struct ReferenceForm {
    const char* what;
    const char* source;
};
const ReferenceForm kReferenceForms[] = {
    {"storage classes and type modifiers", R"(
extern uniform float4 A = {1, 0, 0, 1};
shared float4 B = {0, 0.5, 0, 0};
uniform const float4 C = {0, 0, 0, 0};
static float4 D = {0, 0, 0, 0};
extern const row_major float2x2 E = {1, 0, 0, 1};
float4 main() : COLOR { return A + B + C + D + float4(mul(float2(0, 0), E), 0, 0); }
)"},
    {"vector and matrix templates", R"(
vector<float, 4> V = {0.5, 0, 0, 1};
vector<int, 1> I = 1;
matrix<float, 2, 3> M = {1, 0, 0, 0, 0.5, 0};
vector V4 = {0, 0, 0, 0};
matrix M4 = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};
float4 main() : COLOR {
    return float4(V.x * I + mul(float2(0.5, 0), M).x, mul(float2(0, 1), M).y, 0, 1) + mul(V4, M4);
}
)"},
    {"scalar and vector types of every base", R"(
float1 F = 0.5;
float1 G = 0.5;
half2 H = {1, 0};
double D2 = 0;
int2 I2 = {1, 0};
uint U = 1;
dword W = 0;
bool2 B2 = {true, false};
float4 main() : COLOR { return float4(F * 2 * H.x * I2.x * U, G + W, D2 + H.y, B2.x ? 1 : 0); }
)"},
    {"semantics, annotations and registers on globals", R"(
float4 Tint : DIFFUSE < string UIName = "Tint"; float UIMin = 0; > = {1, 0.5, 0, 1};
float4 Arr[2] : COLORS : register(c4) = {0, 0, 0, 0, 0, 0, 0, 0};
float4 Other : register(c2) < int Order = 1; >;
float4 main() : COLOR { return Tint + Arr[0] + Arr[1] * Other; }
)"},
    {"typedefs", R"(
typedef float4 colour;
typedef vector<float, 2> pair;
typedef float3x3 turn;
colour Base = {1, 0.5, 0, 1};
pair Offset = {0, 0};
turn Basis = {1, 0, 0, 0, 1, 0, 0, 0, 1};
float4 main() : COLOR { return Base + float4(Offset, 0, 0) + float4(mul(float3(0, 0, 0), Basis), 0); }
)"},
    {"functions: declared first, overloaded, inline, defaults, inout", R"(
float4 Tint(float4 c);
float Scale(float x) { return x; }
float Scale(float2 x) { return x.x + x.y; }
inline float4 Tint(float4 c) { return c * Scale(float2(0.25, 0.25)) * 2; }
void Fill(inout float4 c, float v = 0.5) { c.g = v; c.b = 0; }
static float4 Keep(in float4 c) { return c; }
float4 main(float4 c : COLOR0) : COLOR0 { float4 o = Tint(c); Fill(o); return Keep(o); }
)"},
    {"sampler arrays and a texture2D", R"(
texture2D T;
sampler2D Ss[2];
float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Ss[0], uv) * tex2D(Ss[1], uv).a; }
)"},
    {"struct members with interpolation modifiers", R"(
struct PIn { centroid float4 c : COLOR0; linear float2 uv : TEXCOORD0; };
float4 main(PIn i) : COLOR { return float4(i.c.r, i.c.g * 0.5, 0, 1) + float4(i.uv, 0, 0) * 0; }
)"},
    {"a local struct with an initialiser, arrays of structs", R"(
struct Pair { float a; float b; };
static const Pair kPairs[2] = { { 1, 0.5 }, { 0, 0 } };
float4 main() : COLOR { Pair p = kPairs[0]; return float4(p.a, p.b, kPairs[1].a, 1); }
)"},
};
} // namespace

TEST_P(GfxUtilHlslFormsTest, TheReferencesDeclarationFormsDraw) {
    if (Stopped()) return;
    IDirect3DTexture9* white = OneTexel(0xFFFF8000u);
    ASSERT_NE(white, nullptr);
    for (const ReferenceForm& form : kReferenceForms)
        for (const char* profile : {"ps_2_0", "ps_3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            SCOPED_TRACE(what);
            Compiled vs, ps;
            // Every form is tried, whichever fails.
            if (!Bind(vs, kPassVertex, profile[3] == '2' ? "vs_2_0" : "vs_3_0", ps, form.source, profile, what)) continue;
            ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
            for (std::uint32_t unit = 0; unit < 2; ++unit) ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
            Draw(0xFFFFFFFFu);
            ExpectPixel(8, 8, 255, 128, 0, what);
        }
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    white->Release();
}

// What the table says of those forms: a typedef's global has the type it
// names, a template's element type is kept, a sampler array takes a unit per
// element.
TEST(GfxUtilHlslFormsTableTest, TypedefsTemplatesAndSamplerArraysAreDescribed) {
    Compiled templates, typedefs, samplers;
    Compile(templates, kReferenceForms[1].source, "ps_2_0");
    Compile(typedefs, kReferenceForms[4].source, "ps_2_0");
    Compile(samplers, kReferenceForms[6].source, "ps_2_0");
    ASSERT_EQ(templates.result, D3D_OK) << templates.errors;
    ASSERT_EQ(typedefs.result, D3D_OK) << typedefs.errors;
    ASSERT_EQ(samplers.result, D3D_OK) << samplers.errors;
    const ShaderConstantRecord* i = Constant(templates.container, "I");
    const ShaderConstantRecord* m = Constant(templates.container, "M");
    ASSERT_TRUE(i && m);
    EXPECT_EQ(i->type, D3DXPT_INT);
    EXPECT_EQ(i->columns, 1u);
    EXPECT_EQ(i->registerCount, 1u);
    EXPECT_EQ(m->rows, 2u);
    EXPECT_EQ(m->columns, 3u);
    EXPECT_EQ(m->registerCount, 2u); // a register per column, to the last one read (.x and .y)
    const ShaderConstantRecord* base = Constant(typedefs.container, "Base");
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->cls, D3DXPC_VECTOR);
    EXPECT_EQ(base->type, D3DXPT_FLOAT);
    EXPECT_EQ(base->columns, 4u);
    const ShaderConstantRecord* ss = Constant(samplers.container, "Ss");
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(ss->registerSet, D3DXRS_SAMPLER);
    EXPECT_EQ(ss->registerCount, 2u);
    EXPECT_EQ(samplers.container.samplers[0], D3DSTT_2D);
    EXPECT_EQ(samplers.container.samplers[1], D3DSTT_2D);
    // A typedef of an int type is read as a float where the registers hold it.
    Compiled ints;
    Compile(ints, "typedef int2 pair;\npair P = {1, 0};\nfloat4 main() : COLOR { return float4(P, 0, 1); }\n", "ps_2_0");
    ASSERT_EQ(ints.result, D3D_OK) << ints.errors;
    const ShaderConstantRecord* p = Constant(ints.container, "P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, D3DXPT_INT);
    EXPECT_EQ(p->columns, 2u);
    // An inline struct global bound to a register, and one typed by a
    // typedef of a struct.
    Compiled bound;
    Compile(bound,
            "struct { float4 a; float b; } r : register(c5);\ntypedef struct S { float4 c; } T;\nT t;\n"
            "float4 main() : COLOR { return r.a * r.b + t.c; }\n",
            "ps_2_0");
    ASSERT_EQ(bound.result, D3D_OK) << bound.errors;
    const ShaderConstantRecord* r = Constant(bound.container, "r");
    const ShaderConstantRecord* tc = Constant(bound.container, "t");
    ASSERT_TRUE(r && tc);
    EXPECT_EQ(r->registerIndex, 5u);
    EXPECT_EQ(r->registerCount, 2u);
    EXPECT_EQ(tc->cls, D3DXPC_STRUCT);
    EXPECT_EQ(tc->registerIndex, 0u);
    EXPECT_EQ(tc->registerCount, 1u);
    // Matrices of one row or column are laid out as globals, a register per
    // column up to the last one read, in either spelling (matrix<> is the
    // short one's); as struct members they are refused with a reason, not
    // laid out wrongly.
    struct Degenerate {
        const char* type;
        const char* read;
        unsigned rows, columns, registers;
    };
    for (const Degenerate& d : {Degenerate{"float1x1", "M[0].x", 1, 1, 1}, Degenerate{"float4x1", "M[3].x", 4, 1, 1},
                                Degenerate{"float1x4", "M[0].w", 1, 4, 4}}) {
        SCOPED_TRACE(d.type);
        Compiled global;
        Compile(global, std::string(d.type) + " M;\nfloat4 main() : COLOR { return " + d.read + "; }\n", "ps_2_0");
        ASSERT_EQ(global.result, D3D_OK) << global.errors;
        const ShaderConstantRecord* m = Constant(global.container, "M");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->cls, D3DXPC_MATRIX_COLUMNS);
        EXPECT_EQ(m->rows, d.rows);
        EXPECT_EQ(m->columns, d.columns);
        EXPECT_EQ(m->registerCount, d.registers);
    }
    for (const char* type : {"float1x1", "float4x1", "float1x4", "matrix<float, 1, 3>"}) {
        SCOPED_TRACE(type);
        if (std::string(type).starts_with("matrix")) {
            Compiled degenerate;
            Compile(degenerate, std::string(type) + " M;\nfloat4 main() : COLOR { return M[0].x; }\n", "ps_2_0");
            ASSERT_EQ(degenerate.result, D3D_OK) << degenerate.errors;
            const ShaderConstantRecord* m = Constant(degenerate.container, "M");
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->cls, D3DXPC_MATRIX_COLUMNS);
            EXPECT_EQ(m->rows, 1u);
            EXPECT_EQ(m->columns, 3u);
            EXPECT_EQ(m->registerCount, 1u); // only the first column is read
        }
        Compiled member;
        Compile(member, std::string("struct S { ") + type + " m; };\nS s;\nfloat4 main() : COLOR { return s.m[0].x; }\n",
                "ps_2_0");
        EXPECT_NE(member.result, D3D_OK);
        EXPECT_NE(member.errors.find("not laid out"), std::string::npos) << member.errors;
    }
    // Sampler arrays take constant indices only, as the D3D9 compiler has it.
    Compiled computed;
    Compile(computed, "sampler2D Ss[2];\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Ss[uv.x > 0.5], uv); }\n",
            "ps_3_0");
    EXPECT_NE(computed.result, D3D_OK);
}

namespace {
// The intrinsic functions the DX9 profiles offer, each at a known argument
// (from a constant, so nothing is folded away): the result is green where
// every one gives its value and red where any does not.
constexpr const char* kIntrinsics = R"(
float4 In = {0.5, 0.25, 2, -1};
float Near(float a, float b) { return abs(a - b) < 0.002 * max(1, abs(b)) ? 1 : 0; }
float Checks() {
    float x = In.x, y = In.y, z = In.z, w = In.w;
    float ok = Near(abs(w), 1) * Near(acos(x), 1.0471976) * (all(float2(x, y)) ? 1 : 0) * (any(float2(0, y)) ? 1 : 0);
    ok *= Near(asin(x), 0.5235988) * Near(atan(x), 0.4636476) * Near(atan2(x, z), 0.2449787) * Near(ceil(y), 1);
    ok *= Near(clamp(z, 0, 1), 1) * Near(cos(x), 0.8775826) * Near(cosh(x), 1.1276260);
    ok *= Near(cross(float3(z, 0, 0), float3(0, x, 0)).z, 1) * Near(degrees(x), 28.647890);
    ok *= Near(determinant(float2x2(z, 0, 0, x)), 1) * Near(distance(float2(0, 0), float2(0.6, 0.8) * z), 2);
    ok *= Near(dot(float2(x, y), float2(z, z)), 1.5) * Near(exp(x), 1.6487213) * Near(exp2(z), 4);
    ok *= Near(faceforward(float2(x, 0), float2(1, 0), float2(1, 0)).x, -0.5) * Near(floor(-y), -1);
    ok *= Near(fmod(z + x, 1), 0.5) * Near(frac(z + y), 0.25);
    float e;
    ok *= Near(frexp(z * 3, e), 0.75) * Near(e, 3) * Near(ldexp(x, z), 2);
    ok *= Near(length(float2(0.6, 0.8) * z), 2) * Near(lerp(y, z, x), 1.125) * Near(lit(x, y, z).y, x);
    ok *= Near(log(z), 0.6931472) * Near(log10(z * 5), 1) * Near(log2(z * 4), 3) * Near(max(x, y), x) * Near(min(x, y), y);
    float ip;
    ok *= Near(modf(z + y, ip), 0.25) * Near(ip, 2) * Near(mul(float2(x, y), float2x2(1, 0, 0, 1)).y, y);
    ok *= Near(normalize(float2(z, 0)).x, 1) * Near(pow(z, 3), 8) * Near(radians(180 * x), 1.5707963);
    ok *= Near(reflect(float2(x, -x), float2(0, 1)).y, x) * Near(refract(float2(0, -x), float2(0, 1), 1).y, -x);
    ok *= Near(round(z + y), 2) * Near(rsqrt(z * 2), 0.5) * Near(saturate(z), 1) * Near(sign(w), -1);
    ok *= Near(sin(x), 0.4794255) * Near(sinh(x), 0.5210953) * Near(smoothstep(0, 1, x), 0.5) * Near(sqrt(z * 2), 2);
    float s, c;
    sincos(x, s, c);
    ok *= Near(s, 0.4794255) * Near(c, 0.8775826) * Near(step(x, y), 0) * Near(tan(y), 0.2553419);
    ok *= Near(tanh(x), 0.4621172) * Near(transpose(float2x2(z, 2, 3, 4))[0].y, 3) * Near(trunc(-z - x), -2);
    ok *= (isfinite(x) ? 1 : 0) * (isinf(x) ? 0 : 1) * (isnan(x) ? 0 : 1);
    ok *= Near(D3DCOLORtoUBYTE4(float4(x, 0, 0, 0)).z, 127);
    return ok;
}
)";
} // namespace

TEST_P(GfxUtilHlslFormsTest, IntrinsicsOfTheDX9ProfilesGiveTheirValues) {
    if (Stopped()) return;
    const std::string pixel = std::string(kIntrinsics) + "float4 main() : COLOR { float ok = Checks(); return float4(1 - ok, ok, 0, 1); }\n";
    const std::string vertex = std::string(kIntrinsics) +
                               "void main(float4 p : POSITION, out float4 o : POSITION, out float4 col : COLOR0)"
                               " { o = p; float ok = Checks(); col = float4(1 - ok, ok, 0, 1); }\n";
    const std::string derivatives = R"(
float4 main(float2 uv : TEXCOORD0) : COLOR {
    clip(uv.x + 1);
    // Across the 16 pixels u and v rise by 1: down the target, as Direct3D
    // measures ddy, whichever way up the device draws.
    float ok = (abs(ddx(uv.x) * 16 - 1) < 0.01 ? 1 : 0) * (abs(ddy(uv.y) * 16 - 1) < 0.01 ? 1 : 0) *
               (abs(fwidth(uv.x) * 16 - 1) < 0.01 ? 1 : 0) * (abs(ddy(uv.x)) < 0.01 ? 1 : 0);
    return float4(1 - ok, ok, 0, 1);
}
)";
    const struct {
        const char* vs;
        const char* ps;
        bool vertexChecks;
        const std::string* pixelSource;
    } kRuns[] = {{"vs_2_0", "ps_2_b", false, &pixel}, {"vs_3_0", "ps_3_0", false, &pixel},
                 {"vs_2_0", "ps_2_0", true, nullptr},
                 {"vs_3_0", "ps_3_0", true, nullptr},  {"vs_2_0", "ps_2_a", false, &derivatives},
                 {"vs_3_0", "ps_3_0", false, &derivatives}};
    for (const auto& run : kRuns) {
        const std::string what = std::string(run.vs) + " " + run.ps + (run.vertexChecks ? " in the vertex program" : "");
        SCOPED_TRACE(what);
        Compiled vs, ps;
        if (!Bind(vs, run.vertexChecks ? vertex : std::string(kPassVertex), run.vs, ps,
                  run.pixelSource ? *run.pixelSource : std::string(kColourPixel), run.ps, what))
            continue;
        ASSERT_EQ((run.vertexChecks ? vs : ps).table->SetDefaults(device), D3D_OK);
        Draw();
        ExpectPixel(8, 8, 0, 255, 0, what);
    }
    // The checks run for every vertex or pixel: past the slots of vertex 1.1
    // and pixel 2.0, which refuse them.
    for (const auto& [source, profile] : {std::pair{&vertex, "vs_1_1"}, std::pair{&pixel, "ps_2_0"}}) {
        SCOPED_TRACE(profile);
        Compiled refused;
        Compile(refused, *source, profile);
        EXPECT_NE(refused.result, D3D_OK);
        EXPECT_NE(refused.errors.find("instruction slots, more than twice the"), std::string::npos) << refused.errors;
    }
}

// `noise` is the texture fill programs' only: refused with that reason at
// the vertex and pixel profiles, while a function of the name the source
// defines is its own.
TEST(GfxUtilHlslFormsTableTest, NoiseIsRefusedOutsideTextureFillPrograms) {
    for (const char* profile : {"vs_2_0", "vs_3_0", "ps_2_0", "ps_3_0"}) {
        SCOPED_TRACE(profile);
        const bool vertex = profile[0] == 'v';
        Compiled intrinsic, own;
        Compile(intrinsic, std::string("float4 In;\nfloat4 main() : ") + (vertex ? "POSITION" : "COLOR") +
                               " { return noise(In.xyz); }\n",
                profile);
        EXPECT_NE(intrinsic.result, D3D_OK);
        EXPECT_NE(intrinsic.errors.find("'noise'"), std::string::npos) << intrinsic.errors;
        Compile(own, std::string("float4 In;\nfloat noise(float3 v) { return v.x; }\nfloat4 main() : ") +
                         (vertex ? "POSITION" : "COLOR") + " { return noise(In.xyz); }\n",
                profile);
        EXPECT_EQ(own.result, D3D_OK) << own.errors;
    }
}

// The same forms through the other two ways in: a file compiled by name,
// and an effect's compile passes, drawn through the effect.
TEST_P(GfxUtilHlslFormsTest, TheFormsCompileFromFilesAndInEffects) {
    if (Stopped()) return;
    const std::string pixel = R"(
uniform struct { float4 a; float4 b; } cb;
sampler1D Row;
float4 main(float4 t[2] : TEXCOORD1) : SV_Target { return cb.a * t[0] + tex1D(Row, t[1].x) * cb.b.a; }
)";
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("orvane_hlsl_forms_" + std::to_string(::getpid()) + ".hlsl");
    {
        std::FILE* f = std::fopen(file.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(pixel.data(), 1, pixel.size(), f), pixel.size());
        std::fclose(f);
    }
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ID3DXConstantTable* table = nullptr;
    const HRESULT hr = D3DXCompileShaderFromFile(file.string().c_str(), "main", "ps_2_0", 0, &code, &errors, &table);
    std::filesystem::remove(file);
    EXPECT_EQ(hr, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    ASSERT_TRUE(code && table);
    D3DXCONSTANT_DESC d{};
    std::uint32_t n = 1;
    ASSERT_EQ(table->GetConstantDesc("cb", &d, &n), D3D_OK);
    EXPECT_EQ(d.Class, D3DXPC_STRUCT);
    EXPECT_EQ(d.RegisterCount, 2u);
    ASSERT_EQ(table->GetConstantDesc("Row", &d, &n), D3D_OK);
    EXPECT_EQ(d.Type, D3DXPT_SAMPLER1D);
    table->Release();
    code->Release();

    const std::string effect = std::string(R"(
texture RowTexture;
sampler1D Row { Texture = <RowTexture>; };
uniform struct { float4 a; float4 b; } cb;
float4 Gain = {1, 1, 1, 1};
void V(float4 p : POSITION, out float4 o : SV_Position, out float4 t[2] : TEXCOORD1) {
    o = p; t[0] = float4(0.5, 0, 0, 1) * Gain; t[1] = float4(0.6, 0, 0, 0);
}
float4 P(float4 t[2] : TEXCOORD1) : SV_Target { return t[0] + tex1D(Row, t[1].x); }
technique Forms { pass { VertexShader = compile vs_2_0 V(); PixelShader = compile ps_2_0 P(); } }
)");
    ID3DXEffect* fx = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, effect.data(), std::uint32_t(effect.size()), nullptr, nullptr, 0, nullptr, &fx,
                               &errors),
              D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    ASSERT_NE(fx, nullptr);
    IDirect3DTexture9* row = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &row, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(row->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    std::memcpy(lr.pBits, texels, sizeof texels);
    row->UnlockRect(0);
    ASSERT_EQ(fx->SetTexture("RowTexture", row), D3D_OK);
    ASSERT_EQ(fx->ValidateTechnique("Forms"), D3D_OK) << fx->ValidationError();
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    Draw();
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    ExpectPixel(8, 8, 128, 0, 255, "half red and the row's third texel");
    fx->Release();
    device->SetTexture(0, nullptr);
    row->Release();
}

// Every sampling intrinsic of the DX9 profiles, each on a one-texel texture
// of its kind, at the profiles that offer it: the texel's colour reaches the
// pixel.
TEST_P(GfxUtilHlslFormsTest, EverySamplingIntrinsicReadsItsTexture) {
    if (Stopped()) return;
    constexpr std::uint32_t kTexel = 0xFF4080C0u;
    IDirect3DTexture9* flat = OneTexel(kTexel);
    IDirect3DCubeTexture9* cube = nullptr;
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVolumeTexture(1, 1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), D3D_OK);
    for (std::uint32_t face = 0; face < 6; ++face) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(face, 0, &lr, nullptr, 0), D3D_OK);
        std::memcpy(lr.pBits, &kTexel, 4);
        cube->UnlockRect(face, 0);
    }
    D3DLOCKED_BOX lb;
    ASSERT_EQ(volume->LockBox(0, &lb, nullptr, 0), D3D_OK);
    std::memcpy(lb.pBits, &kTexel, 4);
    volume->UnlockBox(0);
    ASSERT_TRUE(flat && cube && volume);
    ASSERT_EQ(device->SetTexture(0, flat), D3D_OK);
    ASSERT_EQ(device->SetTexture(1, cube), D3D_OK);
    ASSERT_EQ(device->SetTexture(2, volume), D3D_OK);
    const struct {
        const char* profile;
        const char* call;
    } kCalls[] = {
        {"ps_2_0", "tex2D(F, uv)"},
        {"ps_2_0", "tex2Dproj(F, float4(uv, 0, 1) * 2)"},
        {"ps_2_0", "tex2Dbias(F, float4(uv, 0, 1))"},
        {"ps_2_0", "texCUBE(C, float3(uv, 1))"},
        {"ps_2_0", "texCUBEproj(C, float4(uv, 1, 1))"},
        {"ps_2_0", "texCUBEbias(C, float4(uv, 1, 0))"},
        {"ps_2_0", "tex3D(V, float3(uv, 0.5))"},
        {"ps_2_0", "tex3Dproj(V, float4(uv, 0.5, 1))"},
        {"ps_2_0", "tex3Dbias(V, float4(uv, 0.5, 0))"},
        {"ps_2_a", "tex2D(F, uv, ddx(uv), ddy(uv))"},
        {"ps_2_a", "tex2Dgrad(F, uv, ddx(uv), ddy(uv))"},
        {"ps_2_a", "texCUBEgrad(C, float3(uv, 1), ddx(float3(uv, 1)), ddy(float3(uv, 1)))"},
        {"ps_2_a", "tex3Dgrad(V, float3(uv, 0.5), ddx(float3(uv, 0.5)), ddy(float3(uv, 0.5)))"},
        {"ps_3_0", "tex2Dlod(F, float4(uv, 0, 0))"},
        {"ps_3_0", "texCUBElod(C, float4(uv, 1, 0))"},
        {"ps_3_0", "tex3Dlod(V, float4(uv, 0.5, 0))"},
        {"ps_3_0", "texCUBE(C, float3(uv, 1), ddx(float3(uv, 1)), ddy(float3(uv, 1)))"},
        {"ps_3_0", "tex3D(V, float3(uv, 0.5), ddx(float3(uv, 0.5)), ddy(float3(uv, 0.5)))"},
    };
    for (const auto& c : kCalls) {
        const std::string what = std::string(c.call) + " at " + c.profile;
        SCOPED_TRACE(what);
        Compiled vs, ps;
        if (!Bind(vs, kPassVertex, "vs_2_0", ps,
                  std::string("sampler2D F : register(s0);\nsamplerCUBE C : register(s1);\nsampler3D V : register(s2);\n"
                              "float4 main(float2 uv : TEXCOORD0) : COLOR { return ") +
                      c.call + "; }\n",
                  c.profile, what))
            continue;
        Draw();
        ExpectPixel(8, 8, 0x40, 0x80, 0xC0, what);
    }
    for (std::uint32_t unit = 0; unit < 3; ++unit) device->SetTexture(unit, nullptr);
    flat->Release();
    cube->Release();
    volume->Release();
}

// A hostile source of one-dimensional calls never closed, or nested past
// any program's depth, is refused with the compiler's reason.
TEST(GfxUtilHlslFormsTableTest, HostileOneDimensionalCallsAreRefused) {
    std::string unclosed = "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return ";
    for (int k = 0; k < 50000; ++k) unclosed += "tex1D(s, ";
    Compiled a;
    Compile(a, unclosed, "ps_2_0");
    EXPECT_NE(a.result, D3D_OK);
    EXPECT_FALSE(a.errors.empty());
    std::string nested = "sampler1D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return ";
    for (int k = 0; k < 200; ++k) nested += "tex1D(s, ";
    nested += "uv.x";
    for (int k = 0; k < 200; ++k) nested += ").x";
    nested += "; }\n";
    Compiled b;
    Compile(b, nested, "ps_2_0");
    EXPECT_NE(b.result, D3D_OK);
    EXPECT_NE(b.errors.find("nested too deeply"), std::string::npos) << b.errors;
}


// Forms shipped programs write that the D3D9 compiler takes: a cast to a
// `const` type, a vector constructor as an assignment's target, a
// semantic's `_centroid` suffix, a `t` register on the
// texture object a sampler reads, the template spelling of a one-column
// matrix, an array sized by a boolean, overloads that differ only by
// `half` for `float`. Each drawn with the values it is given.
TEST_P(GfxUtilHlslFormsTest, ShippedFormsTheD3D9CompilerTakesDraw) {
    if (Stopped()) return;
    // The vertex colour (0.25, 0.5, 0.75) turned by the 3x3 part of a
    // float4x3 read through a `const` cast: x from z, y from x, z from y.
    {
        SCOPED_TRACE("const cast");
        Compiled vs, ps;
        if (Bind(vs,
                 "float4x3 m;\nstruct O { float4 p : POSITION; float4 c : COLOR0; };\n"
                 "O main(float4 p : POSITION, float4 c : COLOR0)\n{\n    O o;\n    o.p = p;\n"
                 "    o.c = float4(mul(c.xyz, (const float3x3)m), 1);\n    return o;\n}\n",
                 "vs_3_0", ps, kColourPixel, "ps_3_0", "const cast")) {
            const D3DXMATRIX turn{{0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1}};
            ASSERT_EQ(vs.table->SetMatrix(device, "m", &turn), D3D_OK);
            Draw(0xFF4080BFu);
            ExpectPixel(8, 8, 0xBF, 0x40, 0x80, "const cast");
        }
    }
    struct Case {
        const char* what;
        const char* profile;
        const char* source;
        double red, green, blue;
    };
    const Case cases[] = {
        {"centroid", "ps_3_0", "float4 main(float4 c : COLOR0_centroid) : COLOR { return c.bgra; }\n", 0xBF, 0x80, 0x40},
        {"centroid, any case", "ps_2_0",
         "float4 main(float4 c : COLOR0, float2 uv : TEXCOORD0_Centroid) : COLOR { return c + uv.x * 0; }\n", 0x40,
         0x80, 0xBF},
        {"texture register", "ps_2_0",
         "texture2D Picture : register(t0);\n"
         "sampler2D PictureSampler : register(s1) = sampler_state { Texture = <Picture>; };\n"
         "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(PictureSampler, uv); }\n",
         0x33, 0x66, 0xCC},
        {"matrix template", "ps_2_0",
         "uniform matrix<float, 3, 1> m31;\n"
         "float4 main() : COLOR\n{\n    matrix<float, 2, 1> a = {0.5, 1};\n"
         "    return float4(m31._31 + 0.5, m31._11 + a._11, a._21 - m31[1].x, 1);\n}\n",
         0xBF, 0xBF, 0xBF},
        {"boolean sizes", "ps_2_0",
         "static const bool B = true;\nfloat w[true];\nfloat v[B + 1];\n"
         "float4 main() : COLOR { return float4(w[0], v[0], v[1], 1); }\n",
         0xBF, 0x40, 0x80}, // the larger first: v at c0 and c1, w at c2
        {"constructor as target", "ps_2_0",
         "float4 main(float4 c : COLOR0) : COLOR\n{\n    float2 a, b;\n    float4(a, b) = float4(0.25, 0.5, 0.75, 1) * c.x * 4;\n"
         "    float s;\n    float2 v;\n    float3(s, v) = c.zyx;\n    return float4(b.x, a.y * s + v.y, a.x, 1);\n}\n",
         0xBF, 0.625 * 255, 0x40},
        {"half overloads", "ps_2_0",
         "float f(float x) { return x * 2; }\nfloat f(half x) { return x * 2; }\n"
         "float2 f(half x, float2 y) { return y - x; }\nfloat2 f(float x, float2 y) { return y - x; }\n"
         "float4 main(float4 c : COLOR0) : COLOR { half h = c.x; return float4(f(c.x), f(h, c.yz), 1); }\n",
         0x80, 0x40, 0x80},
        // Within a namespace its own names need no qualifier, those of the
        // namespace around it neither; a parameter of the name is its own.
        {"namespace members unqualified", "ps_2_0",
         "namespace Fog {\n    static const float Start = 0.25;\n    static const float Twice = Start * 2;\n"
         "    namespace Deep { float Scale(float x) { return x * Start; } }\n"
         "    float Shade(float Start) { return Start + Deep::Scale(1); }\n}\n"
         "float4 main(float4 c : COLOR0) : COLOR\n"
         "{\n    return float4(Fog::Twice, Fog::Shade(0.25), Fog::Deep::Scale(c.z * 4), 1);\n}\n",
         0x80, 0x80, 0xBF},
    };
    IDirect3DTexture9* texel = OneTexel(0xFF3366CCu);
    ASSERT_TRUE(texel);
    ASSERT_EQ(device->SetTexture(1, texel), D3D_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Compiled vs, ps;
        if (!Bind(vs, kPassVertex, c.profile[3] == '3' ? "vs_3_0" : "vs_2_0", ps, c.source, c.profile, c.what))
            continue;
        // Registers from 0: 0.25, 0.5, 0.75 in each one's every component.
        for (std::uint32_t r = 0; r < 4; ++r) {
            const float v = float(r + 1) / 4;
            const float four[4] = {v, v, v, v};
            ASSERT_EQ(device->SetPixelShaderConstantF(r, four, 1), D3D_OK);
        }
        Draw(0xFF4080BFu);
        ExpectPixel(8, 8, c.red, c.green, c.blue, c.what);
    }
    device->SetTexture(1, nullptr);
    texel->Release();
    // The table describes them as the D3D9 compiler does.
    Compiled table;
    Compile(table, "uniform matrix<float, 3, 1> m31;\nfloat w[true];\n"
                   "float4 main() : COLOR { return float4(m31._11, m31._21, m31._31, w[0]); }\n",
            "ps_2_0");
    ASSERT_EQ(table.result, D3D_OK) << table.errors;
    const ShaderConstantRecord* m31 = Constant(table.container, "m31");
    const ShaderConstantRecord* w = Constant(table.container, "w");
    ASSERT_TRUE(m31 && w);
    EXPECT_EQ(m31->cls, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(m31->rows, 3u);
    EXPECT_EQ(m31->columns, 1u);
    EXPECT_EQ(m31->registerCount, 1u);
    EXPECT_EQ(w->elements, 1u);
    EXPECT_EQ(w->registerCount, 1u);
}
