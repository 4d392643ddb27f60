// A global's declarator in every combination of its parts (semantic,
// register, packoffset, annotations, initialiser or state block) on
// constants, samplers and textures; and forms shipped programs write that
// were refused or read wrongly: an entry's `uniform double`, matrix lists of
// expressions, annotation strings holding Windows paths, a function writing
// its `uniform` parameter, a static initialised by a call after the entries,
// a texture object bound to a `t` register. Each compiled, its table read,
// made on gl, drawn and read back against values worked out by hand.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

using gfx::test::kVertex3;

class GfxUtilHlslDeclaratorsTest : public gfx::test::HlslDrawTest {
protected:
    void TearDown() override {
        for (ID3DXEffect* fx : m_effects) EXPECT_EQ(fx->Release(), 0u);
        m_effects.clear();
        for (IDirect3DTexture9* t : m_textures) t->Release();
        m_textures.clear();
        HlslDrawTest::TearDown();
    }

    // Compiles `source` at `profile` (ps_2_0 or ps_3_0) and sets it behind
    // a pass-through vertex program of its shader model; false (with a
    // failure) where any step fails.
    bool Use(Compiled& ps, const std::string& source, const char* profile, const char* entry = "main") {
        Compile(ps, source, profile, entry);
        EXPECT_EQ(ps.result, D3D_OK) << profile << ": " << ps.errors << "\n" << source;
        if (ps.result != D3D_OK) return false;
        const bool three = std::string(profile) == "ps_3_0";
        IDirect3DVertexShader9* vs = Vertex(three ? kVertex3 : gfxtest::kPassVertex);
        IDirect3DPixelShader9* p = MakePixel(ps, source);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        return true;
    }

    // The quad drawn through what is set; its centre against 0..255 channels.
    void DrawAndExpect(double r, double g, double b, const std::string& what) {
        Clear();
        DrawQuad();
        ExpectPixel(8, 8, r, g, b, what);
    }

    // A one-texel texture set at `stage`, released by the fixture.
    void TexelAt(std::uint32_t stage, std::uint32_t color) {
        IDirect3DTexture9* t = OneTexel(color);
        ASSERT_NE(t, nullptr);
        m_textures.push_back(t);
        for (std::uint32_t s = 0; s < 4; ++s) ASSERT_EQ(device->SetTexture(s, s == stage ? t : nullptr), D3D_OK);
    }

    ID3DXEffect* MakeEffect(const std::string& text) {
        const gfx::test::MadeEffect made = gfx::test::MakeEffectFromText(device, text);
        EXPECT_EQ(made.hr, D3D_OK) << made.said;
        if (made.fx) m_effects.push_back(made.fx);
        return made.fx;
    }

    // Validates the technique and draws the quad through its first pass.
    void DrawTechnique(ID3DXEffect* fx, const char* technique) {
        ASSERT_NE(fx, nullptr);
        ASSERT_EQ(fx->ValidateTechnique(technique), D3D_OK) << technique << ": " << fx->ValidationError();
        ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
        Clear();
        DrawQuad();
        EXPECT_EQ(fx->EndPass(), D3D_OK);
        EXPECT_EQ(fx->End(), D3D_OK);
    }

    std::vector<ID3DXEffect*> m_effects;
    std::vector<IDirect3DTexture9*> m_textures;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslDeclaratorsTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

constexpr const char* kProfiles[] = {"ps_2_0", "ps_3_0"};

// The parts of a declarator after its name, in the grammar's order, each
// present where its bit in `parts` is set.
enum Part : unsigned { kSemantic = 1, kRegister = 2, kPackoffset = 4, kAnnotation = 8 };

std::string Parts(unsigned parts, const char* semantic, const char* binding, const char* annotation) {
    std::string s;
    if (parts & kSemantic) s += std::string(" : ") + semantic;
    if (parts & kRegister) s += std::string(" : register(") + binding + ")";
    if (parts & kPackoffset) s += " : packoffset(c0)";
    if (parts & kAnnotation) s += std::string(" ") + annotation;
    return s;
}

std::string Described(unsigned parts, const std::string& initialiser) {
    std::string s;
    s += parts & kSemantic ? "semantic " : "";
    s += parts & kRegister ? "register " : "";
    s += parts & kPackoffset ? "packoffset " : "";
    s += parts & kAnnotation ? "annotation " : "";
    return s + (initialiser.empty() ? "no initialiser" : initialiser);
}

} // namespace

// A constant with each combination of its declarator's parts, with and
// without an initialiser: the register it binds (c3, else the first, c0),
// its default in the table, and the pixel drawn with the table's defaults
// applied (0.25, 0.5, 0.75: 0x4080bf) or with the value set by its name
// where it has none (0.5: 0x808080).
TEST_P(GfxUtilHlslDeclaratorsTest, AConstantKeepsItsRegisterAndDefaultWithEveryPartOfItsDeclarator) {
    if (Stopped()) return;
    const char* annotation = "< string UIName = \"tint\"; string Path = \"Textures\\grass.dds\"; int Order = 1 << 2; >";
    for (const char* profile : kProfiles)
        for (unsigned parts = 0; parts < 16; ++parts)
            for (const bool initialised : {false, true}) {
                const std::string init = initialised ? " = float4(0.25, 0.5, 0.75, 1)" : "";
                const std::string source = "float4 tint" + Parts(parts, "TINT", "c3", annotation) + init +
                                           ";\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tint; }\n";
                SCOPED_TRACE(std::string(profile) + ": " + Described(parts, init));
                Compiled ps;
                ASSERT_TRUE(Use(ps, source, profile));
                const ShaderConstantRecord* k = Constant(ps.container, "tint");
                ASSERT_NE(k, nullptr);
                EXPECT_EQ(k->registerSet, 2u);
                EXPECT_EQ(k->registerIndex, parts & kRegister ? 3u : 0u);
                ASSERT_EQ(k->defaultValue.size(), initialised ? 16u : 0u);
                if (initialised) {
                    float v[4];
                    std::memcpy(v, k->defaultValue.data(), sizeof v);
                    EXPECT_EQ(v[0], 0.25f);
                    EXPECT_EQ(v[1], 0.5f);
                    EXPECT_EQ(v[2], 0.75f);
                    EXPECT_EQ(v[3], 1.0f);
                    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
                    DrawAndExpect(0x40, 0x80, 0xbf, "the default");
                } else {
                    const D3DXVECTOR4 half{0.5f, 0.5f, 0.5f, 1.0f};
                    ASSERT_EQ(ps.table->SetVector(device, "tint", &half), D3D_OK);
                    DrawAndExpect(0x80, 0x80, 0x80, "set by name");
                }
            }
}

// A sampler with each combination of its parts, with no initialiser, with
// `= sampler_state { ... }` and with a state block alone: the sampler unit
// it binds (s2, else s0) and the texel of the texture set at that unit.
TEST_P(GfxUtilHlslDeclaratorsTest, ASamplerKeepsItsRegisterWithEveryPartOfItsDeclarator) {
    if (Stopped()) return;
    const char* annotation = "< string ResourceName = \"Textures\\grass.dds\"; string UIName = \"C:\\new\\tex.dds\"; >";
    const std::string initialisers[] = {"", " = sampler_state { MagFilter = Linear; MinFilter = Point; }",
                                        " { MagFilter = Linear; AddressU = Clamp; }"};
    for (const char* profile : kProfiles)
        for (unsigned parts = 0; parts < 16; ++parts) {
            if (parts & kPackoffset) continue; // a sampler takes no offset in a buffer
            for (const std::string& init : initialisers) {
                const std::string source = "sampler2D tex0" + Parts(parts, "BASE", "s2", annotation) + init +
                                           ";\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n";
                SCOPED_TRACE(std::string(profile) + ": " + Described(parts, init));
                Compiled ps;
                ASSERT_TRUE(Use(ps, source, profile));
                const ShaderConstantRecord* k = Constant(ps.container, "tex0");
                ASSERT_NE(k, nullptr);
                EXPECT_EQ(k->registerSet, 3u);
                const std::uint32_t unit = parts & kRegister ? 2 : 0;
                EXPECT_EQ(k->registerIndex, unit);
                TexelAt(unit, 0xFF20C060u);
                DrawAndExpect(0x20, 0xC0, 0x60, "the texel at its unit");
            }
        }
}

// Textures with each combination of their parts: an effect-style `texture`
// a sampler's state block names, and a `Texture2D` read through a sampler
// state object (`img.Sample(samp, uv)`), whose `t` register binds the
// combined sampler where the sampler state is unbound: each reads the texel
// at the unit its sampler takes.
TEST_P(GfxUtilHlslDeclaratorsTest, ATextureKeepsItsSamplerWithEveryPartOfItsDeclarator) {
    if (Stopped()) return;
    const char* annotation = "< string ResourceName = \"Textures\\stone.dds\"; >";
    for (const char* profile : kProfiles)
        for (unsigned parts = 0; parts < 16; ++parts) {
            if (parts & kPackoffset) continue;
            const std::string texture = Parts(parts, "DIFFUSE", "t2", annotation);
            const std::string named = "texture img" + texture +
                                      ";\nsampler2D tex0 : register(s1) = sampler_state { Texture = <img>; };\n"
                                      "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n";
            const std::string object = "Texture2D img" + texture +
                                       ";\nSamplerState samp;\n"
                                       "float4 main(float2 uv : TEXCOORD0) : COLOR { return img.Sample(samp, uv); }\n";
            for (const std::string* source : {&named, &object}) {
                SCOPED_TRACE(std::string(profile) + ": " + Described(parts, "") + "\n" + *source);
                Compiled ps;
                ASSERT_TRUE(Use(ps, *source, profile));
                ASSERT_EQ(ps.container.constants.size(), 1u);
                const std::uint32_t unit = source == &named ? 1 : parts & kRegister ? 2 : 0;
                EXPECT_EQ(ps.container.constants[0].registerSet, 3u);
                EXPECT_EQ(ps.container.constants[0].registerIndex, unit);
                TexelAt(unit, 0xFF4080C0u);
                DrawAndExpect(0x40, 0x80, 0xC0, "the texel at the sampler's unit");
            }
        }
}

// The effect reads the same declarators: each parameter keeps its
// annotations, their strings as written (backslashes are no escapes in a
// Windows path), and its default; the technique draws it.
TEST_P(GfxUtilHlslDeclaratorsTest, AnEffectKeepsTheAnnotationsAndDefaultsOfEveryDeclarator) {
    if (Stopped()) return;
    const std::string text =
        "float4 tint : TINT : register(c3) < string UIName = \"tint\"; string Path = \"Textures\\grass.dds\"; >"
        " = float4(0.25, 0.5, 0.75, 1);\n"
        "texture img : DIFFUSE < string ResourceName = \"C:\\new\\tex.dds\"; >;\n"
        "sampler2D tex0 : register(s0) < string ResourceName = \"Folder\\name.dds\"; >"
        " = sampler_state { Texture = <img>; MagFilter = Linear; };\n"
        "float4 Tint(float2 uv : TEXCOORD0) : COLOR { return tint; }\n"
        "float4 Read(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n"
        "technique Tinted { pass P { PixelShader = compile ps_2_0 Tint(); } }\n"
        "technique Textured { pass P { PixelShader = compile ps_3_0 Read(); } }\n";
    ID3DXEffect* fx = MakeEffect(text);
    ASSERT_NE(fx, nullptr);
    const auto annotation = [&](const char* parameter, const char* name) {
        const char* s = nullptr;
        EXPECT_EQ(fx->GetString(fx->GetAnnotationByName(parameter, name), &s), D3D_OK) << parameter << " " << name;
        return std::string(s ? s : "");
    };
    EXPECT_EQ(annotation("tint", "UIName"), "tint");
    EXPECT_EQ(annotation("tint", "Path"), "Textures\\grass.dds");
    EXPECT_EQ(annotation("img", "ResourceName"), "C:\\new\\tex.dds");
    EXPECT_EQ(annotation("tex0", "ResourceName"), "Folder\\name.dds");
    D3DXVECTOR4 v{};
    ASSERT_EQ(fx->GetVector("tint", &v), D3D_OK);
    EXPECT_EQ(v.x, 0.25f);
    EXPECT_EQ(v.z, 0.75f);
    DrawTechnique(fx, "Tinted");
    ExpectPixel(8, 8, 0x40, 0x80, 0xbf, "the default");
    IDirect3DTexture9* t = OneTexel(0xFF60A020u);
    ASSERT_NE(t, nullptr);
    m_textures.push_back(t);
    ASSERT_EQ(fx->SetTexture("img", t), D3D_OK);
    DrawTechnique(fx, "Textured");
    ExpectPixel(8, 8, 0x60, 0xA0, 0x20, "the texture through its sampler");
    ASSERT_EQ(fx->SetTexture("img", nullptr), D3D_OK);
    device->SetTexture(0, nullptr);
}

// An entry's parameter declared `uniform double` picks the overload its
// declared type matches, as a global `uniform double` does: 0.75 of the
// three (0xbf), also where the entry writes its copy of it; and the value
// set through the table by its `$` name reaches the double overload.
TEST_P(GfxUtilHlslDeclaratorsTest, AnEntrysUniformDoublePicksTheDoubleOverload) {
    if (Stopped()) return;
    const std::string picks = "float pick(float x) { return 0.25; }\nfloat pick(half x) { return 0.5; }\n"
                              "float pick(double x) { return 0.75; }\n";
    const std::string read = "float show(float x) { return 0.0; }\nfloat show(double x) { return (float)(x * 0.5); }\n";
    for (const char* profile : kProfiles) {
        SCOPED_TRACE(profile);
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, picks + "float4 main(uniform double level) : COLOR { return pick(level); }\n", profile));
            DrawAndExpect(191.25, 191.25, 191.25, "the double overload");
        }
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, picks + "float4 main(uniform double level) : COLOR { level *= 2; return pick(level); }\n",
                            profile));
            DrawAndExpect(191.25, 191.25, 191.25, "the double overload of the entry's copy");
        }
        {
            // A float parameter beside it keeps the float overload.
            Compiled ps;
            ASSERT_TRUE(Use(ps, picks + "float4 main(uniform float level) : COLOR { return pick(level); }\n", profile));
            DrawAndExpect(63.75, 63.75, 63.75, "the float overload");
        }
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, read + "float4 main(uniform double level) : COLOR { return show(level); }\n", profile));
            ASSERT_NE(Constant(ps.container, "$level"), nullptr);
            ASSERT_EQ(ps.table->SetFloat(device, "$level", 1.0f), D3D_OK);
            DrawAndExpect(127.5, 127.5, 127.5, "half the value set");
        }
    }
}

// A matrix's initialiser list is the flat run of its items' components,
// whatever each item is: a name, a swizzle, arithmetic, an intrinsic's or
// the source's own call, a cast, a sign. With a = (0.1, 0.2, 0.4):
//   k = {a, 1, 0, 0, a * 2}: rows a, (1, 0, 0), (0.2, 0.4, 0.8);
//   m = {a.zyx, normalize(a) * 0.5 + a, (float2)a, Third(a) - (a.x + 0.25)}:
//       rows (0.4, 0.2, 0.1), (0.209109, 0.418218, 0.836436), (0.1, 0.2, 0.05);
//   n = {-a.xy, 0.5 * (a.z - a.y), lerp(a.x, a.y, 0.5)}: rows (-0.1, -0.2), (0.1, 0.15).
TEST_P(GfxUtilHlslDeclaratorsTest, AMatrixListTakesTheComponentsOfEveryKindOfItem) {
    if (Stopped()) return;
    struct Case {
        const char* body;
        double r, g, b; // 0..1
    };
    const Case cases[] = {
        {"float3x3 k = {a, 1, 0, 0, a * 2};\n    return float4(k[0].x + k[1].x * 0.25, k[2].y, k[2].z - k[0].z, 1);",
         0.35, 0.4, 0.4},
        {"float3x3 m = {a.zyx, normalize(a) * 0.5 + a, (float2)a, Third(a) - (a.x + 0.25)};\n"
         "    return float4(m[0].z + m[1].x, m[2].x + m[2].z, m[1].y, 1);",
         0.309109, 0.15, 0.418218},
        {"float2x2 n = {-a.xy, 0.5 * (a.z - a.y), lerp(a.x, a.y, 0.5)};\n"
         "    return float4(n[1].y - n[0].y, n[1].x, -n[0].x, 1);",
         0.35, 0.1, 0.1},
        // Calls with swizzles after them: q = {0.872872, 0.436436, 0.2, 0.2}.
        {"float2x2 q = {normalize(a).zy, Third(a).xx * 0.5};\n    return float4(q[0].y, q[1].x, q[1].y, 1);",
         0.436436, 0.2, 0.2},
        // Of another shape than its items: a 2x3 of a float3 expression and a call.
        {"float2x3 p = {(a + 0.1) * 0.5, min(a, 0.15)};\n    return float4(p[0].x, p[0].z, p[1].y + p[1].x, 1);",
         0.1, 0.25, 0.25},
    };
    for (const char* profile : kProfiles)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(profile) + ": " + c.body);
            Compiled ps;
            const std::string source = "float3 a;\nfloat Third(float3 v) { return v.z; }\n"
                                       "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    " +
                                       std::string(c.body) + "\n}\n";
            ASSERT_TRUE(Use(ps, source, profile));
            const D3DXVECTOR4 value{0.1f, 0.2f, 0.4f, 0.0f};
            ASSERT_EQ(ps.table->SetVector(device, "a", &value), D3D_OK);
            DrawAndExpect(c.r * 255, c.g * 255, c.b * 255, c.body);
        }
}

// A function other than the entry may write its `uniform` parameter, its
// own copy: compiling a neighbour of it works, the function called with a
// value gives half of it, and an effect's pass compiling it with an
// argument validates and draws.
TEST_P(GfxUtilHlslDeclaratorsTest, AFunctionWritesItsUniformParameter) {
    if (Stopped()) return;
    const std::string scaled =
        "float4 Scaled(float2 uv : TEXCOORD0, uniform float k) : COLOR0 { k *= 0.5; return float4(k, k, k, 1); }\n"
        "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n";
    for (const char* profile : {"vs_2_0", "vs_3_0"}) {
        Compiled vs;
        Compile(vs, scaled, profile, "VS");
        EXPECT_EQ(vs.result, D3D_OK) << profile << ": " << vs.errors;
    }
    for (const char* profile : kProfiles) {
        SCOPED_TRACE(profile);
        {
            // The entry itself: its uniform set through the table.
            Compiled ps;
            ASSERT_TRUE(Use(ps, scaled, profile, "Scaled"));
            ASSERT_EQ(ps.table->SetFloat(device, "$k", 0.75f), D3D_OK);
            DrawAndExpect(95.625, 95.625, 95.625, "half of the constant");
        }
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps,
                            "float Half(uniform float k, uniform float3 v) { k *= 0.5; v.y += k; return k + v.y; }\n"
                            "float4 main() : COLOR { return Half(0.5, float3(0, 0.25, 0)); }\n",
                            profile));
            DrawAndExpect(191.25, 191.25, 191.25, "0.25 + 0.25 + 0.25");
        }
    }
    ID3DXEffect* fx = MakeEffect(scaled + "technique T { pass P { VertexShader = compile vs_3_0 VS();\n"
                                          "    PixelShader = compile ps_3_0 Scaled(0.5); } }\n");
    DrawTechnique(fx, "T");
    ExpectPixel(8, 8, 63.75, 63.75, 63.75, "half of the argument");
}

// A static global initialised by a call, declared after the entries, read
// by a function declared after it: every entry compiles, and the static
// holds its value when the entry runs. Read from a constant (0.5 * 0.6 * 2)
// and from a texture (the texel's red), halved by the reader. No message
// names a recursion.
TEST_P(GfxUtilHlslDeclaratorsTest, AStaticInitialisedByACallAfterTheEntriesHasItsValue) {
    if (Stopped()) return;
    const std::string constant = "float4 scale;\nfloat Twice(float x) { return x * scale.x * 2; }\n"
                                 "float Later();\n"
                                 "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n"
                                 "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Later(); }\n"
                                 "static float doubled = Twice(0.5);\n"
                                 "float Later() { return doubled * 0.5; }\n";
    const std::string texture = "sampler2D img;\nfloat Read(float2 uv) { return tex2D(img, uv).x; }\n"
                                "float Later();\n"
                                "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n"
                                "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Later(); }\n"
                                "static const float doubled = Read(float2(0.5, 0.5));\n"
                                "float Later() { return doubled * 0.5; }\n";
    // As the shipped programs have it: nothing after reads it.
    const std::string unread = "float4 scale;\nfloat Twice(float x) { return x * scale.x * 2; }\n"
                               "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n"
                               "float4 PS(float2 uv : TEXCOORD0) : COLOR { return scale; }\n"
                               "static float doubled = Twice(0.5);\n";
    for (const std::string* source : {&constant, &texture, &unread})
        for (const char* profile : {"vs_2_0", "vs_3_0"}) {
            Compiled vs;
            Compile(vs, *source, profile, "VS");
            EXPECT_EQ(vs.result, D3D_OK) << profile << ": " << vs.errors << "\n" << *source;
            EXPECT_EQ(vs.errors.find("ecursion"), std::string::npos) << vs.errors;
        }
    for (const char* profile : kProfiles) {
        SCOPED_TRACE(profile);
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, constant, profile, "PS"));
            const D3DXVECTOR4 value{0.6f, 0.0f, 0.0f, 0.0f};
            ASSERT_EQ(ps.table->SetVector(device, "scale", &value), D3D_OK);
            DrawAndExpect(76.5, 76.5, 76.5, "0.5 * 0.6 * 2, halved");
        }
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, texture, profile, "PS"));
            TexelAt(0, 0xFF80FF40u);
            DrawAndExpect(64, 64, 64, "the texel's red, halved");
        }
        {
            Compiled ps;
            ASSERT_TRUE(Use(ps, unread, profile, "PS"));
            const D3DXVECTOR4 value{0.2f, 0.4f, 0.6f, 1.0f};
            ASSERT_EQ(ps.table->SetVector(device, "scale", &value), D3D_OK);
            DrawAndExpect(51, 102, 153, "the constant itself");
        }
    }
}

// Every combination of a constant's, a sampler's and a texture's parts in
// an effect: the parameter keeps its annotation (its path's backslashes as
// written) and its default, and its technique draws the default, the
// texel at the sampler's unit or the texture the effect is given.
TEST_P(GfxUtilHlslDeclaratorsTest, AnEffectKeepsEveryCombinationOfTheParts) {
    if (Stopped()) return;
    const char* annotation = "< string Path = \"Textures\\grass.dds\"; >";
    const auto path = [](ID3DXEffect* fx, const char* parameter) {
        const char* s = nullptr;
        EXPECT_EQ(fx->GetString(fx->GetAnnotationByName(parameter, "Path"), &s), D3D_OK) << parameter;
        return std::string(s ? s : "");
    };
    for (unsigned parts = 0; parts < 16; ++parts)
        for (const bool initialised : {false, true}) {
            const std::string init = initialised ? " = float4(0.25, 0.5, 0.75, 1)" : "";
            SCOPED_TRACE("constant: " + Described(parts, init));
            ID3DXEffect* fx = MakeEffect("float4 tint" + Parts(parts, "TINT", "c3", annotation) + init +
                                         ";\nfloat4 Tint() : COLOR { return tint; }\n"
                                         "technique T { pass P { PixelShader = compile ps_2_0 Tint(); } }\n");
            ASSERT_NE(fx, nullptr);
            if (parts & kAnnotation) {
                EXPECT_EQ(path(fx, "tint"), "Textures\\grass.dds");
            }
            if (!initialised) {
                const D3DXVECTOR4 half{0.5f, 0.5f, 0.5f, 1.0f};
                ASSERT_EQ(fx->SetVector("tint", &half), D3D_OK);
            }
            DrawTechnique(fx, "T");
            if (initialised) {
                ExpectPixel(8, 8, 0x40, 0x80, 0xbf, "the default");
            } else {
                ExpectPixel(8, 8, 0x80, 0x80, 0x80, "the value set");
            }
        }
    const std::string initialisers[] = {"", " = sampler_state { MagFilter = Linear; }", " { AddressU = Clamp; }"};
    for (unsigned parts = 0; parts < 16; ++parts) {
        if (parts & kPackoffset) continue;
        for (const std::string& init : initialisers) {
            SCOPED_TRACE("sampler: " + Described(parts, init));
            ID3DXEffect* fx = MakeEffect("sampler2D tex0" + Parts(parts, "BASE", "s2", annotation) + init +
                                         ";\nfloat4 Read(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n"
                                         "technique T { pass P { PixelShader = compile ps_3_0 Read(); } }\n");
            ASSERT_NE(fx, nullptr);
            if (parts & kAnnotation) {
                EXPECT_EQ(path(fx, "tex0"), "Textures\\grass.dds");
            }
            const std::uint32_t unit = parts & kRegister ? 2 : 0;
            TexelAt(unit, 0xFF20C060u);
            DrawTechnique(fx, "T");
            ExpectPixel(8, 8, 0x20, 0xC0, 0x60, "the texel at its unit");
            for (std::uint32_t s = 0; s < 4; ++s) device->SetTexture(s, nullptr);
        }
    }
    // A texture the sampler's state block names, given by the effect.
    for (unsigned parts = 0; parts < 16; ++parts) {
        if (parts & kPackoffset) continue;
        SCOPED_TRACE("texture: " + Described(parts, ""));
        ID3DXEffect* fx = MakeEffect("texture img" + Parts(parts, "DIFFUSE", "t0", annotation) +
                                     ";\nsampler2D tex0 = sampler_state { Texture = <img>; };\n"
                                     "float4 Read(float2 uv : TEXCOORD0) : COLOR { return tex2D(tex0, uv); }\n"
                                     "technique T { pass P { PixelShader = compile ps_2_0 Read(); } }\n");
        ASSERT_NE(fx, nullptr);
        if (parts & kAnnotation) {
            EXPECT_EQ(path(fx, "img"), "Textures\\grass.dds");
        }
        IDirect3DTexture9* t = OneTexel(0xFF6040A0u);
        ASSERT_NE(t, nullptr);
        m_textures.push_back(t);
        ASSERT_EQ(fx->SetTexture("img", t), D3D_OK);
        DrawTechnique(fx, "T");
        ExpectPixel(8, 8, 0x60, 0x40, 0xA0, "the effect's texture");
        ASSERT_EQ(fx->SetTexture("img", nullptr), D3D_OK);
        device->SetTexture(0, nullptr);
    }
}
