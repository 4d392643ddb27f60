// Forms shipped effect files write: each effect created on the gl device,
// its values read back through the effect, its techniques validated and a
// pass drawn, the centre pixel read back.

#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace gfx;

class GfxUtilEffectFormsTest : public gfx::test::HlslDrawTest {
protected:
    void TearDown() override {
        for (ID3DXEffect* fx : m_effects) EXPECT_EQ(fx->Release(), 0u);
        m_effects.clear();
        HlslDrawTest::TearDown();
    }
    // The effect of the text (null, with a failure showing its messages,
    // when it is not created); released by the fixture.
    ID3DXEffect* Make(const std::string& text, std::string* messages = nullptr) {
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        std::string said = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        EXPECT_EQ(hr, D3D_OK) << said;
        if (messages) *messages = said;
        if (fx) m_effects.push_back(fx);
        return fx;
    }
    // What D3DXCreateEffect says of a text it refuses.
    std::string Refused(const std::string& text) {
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        std::string said = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        EXPECT_TRUE(FAILED(hr)) << text;
        EXPECT_EQ(fx, nullptr);
        if (fx) m_effects.push_back(fx);
        return said;
    }
    // Validates the technique and draws the quad through its first pass.
    void DrawTechnique(ID3DXEffect* fx, const char* technique) {
        ASSERT_NE(fx, nullptr);
        ASSERT_EQ(fx->ValidateTechnique(technique), D3D_OK) << technique << ": " << fx->ValidationError();
        ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_GE(passes, 1u);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
        Clear();
        DrawQuad();
        EXPECT_EQ(fx->EndPass(), D3D_OK);
        EXPECT_EQ(fx->End(), D3D_OK);
    }
    std::vector<float> Floats(ID3DXEffect* fx, const char* name, std::uint32_t count) {
        std::vector<float> out(count, -1.f);
        EXPECT_EQ(fx->GetFloatArray(name, out.data(), count), D3D_OK) << name;
        return out;
    }

    std::vector<ID3DXEffect*> m_effects;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilEffectFormsTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

namespace {

using gfx::test::kPassVertexFunction;

} // namespace

// A global's initialiser as libraries write it: names of globals before it,
// arithmetic, constructors of non-literals, pure intrinsics and the comma
// operator fold into the parameter's value; a static global whose value
// calls the file's own function is left to the compiler.
TEST_P(GfxUtilEffectFormsTest, GlobalInitialisersFoldIntoParameterValues) {
    if (Stopped()) return;
    const std::string text = R"(
static const float3 A = float3(0.2, 0.7, 0.1);
static const float3 B = A;
float3 Weights = B * 2;
float Scale = log2(256 * sqrt(4));
float2 Amount = (1, 0.25);
int2 Cells < float uimin = 0; > = (16, 8);
static const int K = 8;
float4 Mixed = float4(1, A.x + 0.05, K / 16.0, (1.025 - 1) * 4);
float Half = 1 / 2;
float Picked = K > 7 ? 0.5 : 0.25;
float3 Trimmed = float4(0.1, 0.2, 0.3, 0.4);
float3 Unit = normalize(float3(3, 0, 4)) * saturate(2);
float3 Warm = pow(float3(255, 0, 51) / 255, 1.0);
float3 Shade(float3 v) { return v.bgr * 0.5; }
static const float3 C = Shade(A);
float4 PS() : COLOR { return float4(C.x, Warm.z * 2.5, Amount.x * Weights.z * 2.5, 1); }
)" + std::string(kPassVertexFunction) + R"(
technique T { pass P { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = Make(text);
    ASSERT_NE(fx, nullptr);
    const std::vector<float> weights = Floats(fx, "Weights", 3);
    EXPECT_FLOAT_EQ(weights[0], 0.4f);
    EXPECT_FLOAT_EQ(weights[1], 1.4f);
    EXPECT_FLOAT_EQ(weights[2], 0.2f);
    EXPECT_FLOAT_EQ(Floats(fx, "Scale", 1)[0], 9.f);
    EXPECT_EQ(Floats(fx, "Amount", 2), (std::vector<float>{0.25f, 0.25f})); // the last value, spread
    std::int32_t cells[2] = {};
    ASSERT_EQ(fx->GetIntArray("Cells", cells, 2), D3D_OK);
    EXPECT_EQ(cells[0], 8);
    EXPECT_EQ(cells[1], 8);
    const std::vector<float> mixed = Floats(fx, "Mixed", 4);
    EXPECT_FLOAT_EQ(mixed[0], 1.f);
    EXPECT_FLOAT_EQ(mixed[1], 0.25f);
    EXPECT_FLOAT_EQ(mixed[2], 0.5f);
    EXPECT_NEAR(mixed[3], 0.1f, 1e-6);
    EXPECT_FLOAT_EQ(Floats(fx, "Half", 1)[0], 0.f); // integer division
    EXPECT_FLOAT_EQ(Floats(fx, "Picked", 1)[0], 0.5f);
    EXPECT_EQ(Floats(fx, "Trimmed", 3), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    const std::vector<float> unit = Floats(fx, "Unit", 3);
    EXPECT_FLOAT_EQ(unit[0], 0.6f);
    EXPECT_FLOAT_EQ(unit[2], 0.8f);
    EXPECT_NEAR(Floats(fx, "Warm", 3)[2], 0.2f, 1e-6);
    // Statics are no parameters.
    EXPECT_EQ(fx->GetParameterByName(nullptr, "A"), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "C"), nullptr);
    // C.x = A.z / 2 = 0.05; Warm.z * 2.5 = 0.5; 0.25 * 0.2 * 2.5 = 0.125.
    DrawTechnique(fx, "T");
    ExpectPixel(8, 8, 0.05 * 255, 0.5 * 255, 0.125 * 255, "folded values");
    // A parameter's value set afterwards is what the program reads.
    ASSERT_EQ(fx->SetFloatArray("Amount", std::vector<float>{0.5f, 0.5f}.data(), 2), D3D_OK);
    DrawTechnique(fx, "T");
    ExpectPixel(8, 8, 0.05 * 255, 0.5 * 255, 0.25 * 255, "Amount set");
}

// A static global's list the reader cannot fold is passed over whole, the
// globals after it read as written.
TEST(GfxUtilEffectFormsReadTest, StaticListsThatDoNotFoldArePassedOver) {
    const std::string text = "float3 Shade(float3 v) { return v; }\n"
                             "static const float3 Pair[2] = { Shade(1), { 1, 2, 3 } }, Other = Shade(2);\n"
                             "float4 After = {0.5, 0.25, 1, 2};\ntechnique T { pass {} }\n";
    ID3DXEffectCompiler* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &fx, &errors),
              D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    if (errors) errors->Release();
    ASSERT_NE(fx, nullptr);
    float after[4] = {};
    ASSERT_EQ(fx->GetFloatArray("After", after, 4), D3D_OK);
    EXPECT_EQ(after[1], 0.25f);
    EXPECT_EQ(after[3], 2.f);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "Pair"), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "Other"), nullptr);
    EXPECT_EQ(fx->Release(), 0u);
}

// A file cut short loads as nothing less than it is: every prefix of an
// effect that ends inside a statement or a block is refused, none read as
// an effect of fewer techniques.
TEST(GfxUtilEffectFormsReadTest, EveryPrefixCutInsideAStatementIsRefused) {
    const std::string text = R"(float4x4 WorldViewProj : WORLDVIEWPROJECTION;
float4 Tint < string UIName = "Tint"; > = {1, 0.5, 0.25, 1};
texture Tex;
sampler Samp = sampler_state { Texture = <Tex>; MinFilter = Linear; MagFilter = Linear; };
struct VsOut { float4 p : POSITION; float2 uv : TEXCOORD0; };
static const float3 Luma = float3(0.3, 0.59, 0.11);
float2 Amount = (1, 0.5);
technique Fixed {
    pass P0 {
        Lighting = false; ZEnable = true; CullMode = None;
        Texture[0] = <Tex>; ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;
        MaterialAmbient = {1, 1, 1, 1}; LightEnable[0] = false; WorldTransform[0] = <WorldViewProj>;
    }
}
technique Other < string Script = "Pass=P;" "Done;"; > { pass P { AlphaBlendEnable = true; SrcBlend = SrcAlpha; } }
)";
    int refused = 0;
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        const std::string prefix = text.substr(0, cut);
        int depth = 0;
        for (const char c : prefix) depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        const std::size_t last = prefix.find_last_not_of(" \n");
        if (last == std::string::npos || (depth == 0 && (prefix[last] == ';' || prefix[last] == '}'))) continue;
        ID3DXEffectCompiler* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr =
            D3DXCreateEffectCompiler(prefix.data(), std::uint32_t(prefix.size()), nullptr, nullptr, 0, &fx, &errors);
        EXPECT_EQ(hr, E_FAIL) << "cut after: " << prefix.substr(prefix.size() > 60 ? prefix.size() - 60 : 0);
        EXPECT_NE(errors, nullptr);
        if (fx) fx->Release();
        if (errors) errors->Release();
        ++refused;
    }
    EXPECT_GT(refused, 500); // the cuts looked at
    ID3DXEffectCompiler* whole = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &whole, nullptr),
              D3D_OK);
    D3DXEFFECT_DESC desc{};
    ASSERT_EQ(whole->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Techniques, 2u);
    EXPECT_EQ(whole->Release(), 0u);
}

// Values the native compiler refuses stay refused at their line: a name of
// an annotation or of another parameter, a call of the file's own function, an integer division by
// zero, a list of the wrong length.
TEST_P(GfxUtilEffectFormsTest, InitialisersThatDoNotFoldAreRefusedAtTheirLine) {
    if (Stopped()) return;
    EXPECT_NE(Refused("float3 F(float3 c) { return c; }\n\nfloat3 B = F(1);\ntechnique T { pass {} }\n")
                  .find("(3): value expected before 'F'"),
              std::string::npos);
    EXPECT_NE(Refused("float A = 1;\nfloat B = A * 2;\ntechnique T { pass {} }\n").find("(2): value expected before 'A'"),
              std::string::npos);
    EXPECT_NE(Refused("float A = 1 / 0;\ntechnique T { pass {} }\n").find("(1): value expected before '1'"),
              std::string::npos);
    EXPECT_NE(Refused("float A;\nfloat3 B = {A.x + 1, 1};\ntechnique T { pass {} }\n").find("(2): value expected before 'A'"),
              std::string::npos);
    EXPECT_NE(Refused("float3 B = {1, 2};\ntechnique T { pass {} }\n").find("'B' has 2 initial values, 3 expected"),
              std::string::npos);
    EXPECT_NE(Refused("float3 B = float3(1, 2);\ntechnique T { pass {} }\n").find("(1): value expected"),
              std::string::npos);
    EXPECT_NE(Refused("float A = 1;\ntechnique T < float b = A; > { pass {} }\n")
                  .find("(2): value expected before 'A'"),
              std::string::npos);
}

// Adjacent string literals in an annotation or a string parameter are one
// string, as in C.
TEST_P(GfxUtilEffectFormsTest, AdjacentStringLiteralsAreOneString) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
string Note = "one " "two";
float4 Tint < string Script = "A=1;"
                              "B=2;"; string UIName = "tint"; > = {0.25, 0.5, 0.75, 1};
float4 PS() : COLOR { return Tint; }
technique T < string Script = "Pass=P;" "Done;"; > { pass P { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(); } }
)");
    ASSERT_NE(fx, nullptr);
    const char* text = nullptr;
    ASSERT_EQ(fx->GetString("Note", &text), D3D_OK);
    EXPECT_STREQ(text, "one two");
    ASSERT_EQ(fx->GetString(fx->GetAnnotationByName("Tint", "Script"), &text), D3D_OK);
    EXPECT_STREQ(text, "A=1;B=2;");
    ASSERT_EQ(fx->GetString(fx->GetAnnotationByName("Tint", "UIName"), &text), D3D_OK);
    EXPECT_STREQ(text, "tint");
    ASSERT_EQ(fx->GetString(fx->GetAnnotationByName("T", "Script"), &text), D3D_OK);
    EXPECT_STREQ(text, "Pass=P;Done;");
    DrawTechnique(fx, "T");
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255, "the annotated parameter");
}

// The fixed-function states of lights and the material: each member a
// state of its own, set on the device when the pass begins (the light's and
// material's other members kept), drawn lit by the material alone, and
// what the device had put back when the technique ends.
TEST_P(GfxUtilEffectFormsTest, LightAndMaterialStatesReachTheDevice) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(R"(
float4 Amb = {0.5, 0.25, 0, 1};
float3 Where = {1, 2, 3};
technique Fixed { pass P0 {
    Lighting = true; Ambient = 0xFFFFFFFF; ColorVertex = false; SpecularEnable = false;
    MaterialAmbient = <Amb>; MaterialEmissive = {0, 0, 0.5, 1}; MaterialDiffuse = float4(0, 0, 0, 1);
    MaterialSpecular = {0.1, 0.2, 0.3, 0.4}; MaterialPower = 8;
    LightEnable[0] = true; LightType[0] = POINT; LightPosition[0] = <Where>; LightDirection[0] = {0, 0, 1};
    LightDiffuse[0] = {0, 0, 0, 1}; LightSpecular[0] = {0, 0, 0, 0}; LightAmbient[0] = {0, 0, 0, 0};
    LightRange[0] = 10; LightAttenuation0[0] = 1; LightAttenuation1[0] = 0.5; LightAttenuation2[0] = 0.25;
    LightFalloff[0] = 1; LightTheta[0] = 0.5; LightPhi[0] = 1;
    LightEnable[1] = false;
    ColorOp[0] = SelectArg1; ColorArg1[0] = Diffuse; AlphaOp[0] = SelectArg1; AlphaArg1[0] = Diffuse;
    VertexShader = NULL; PixelShader = NULL;
} }
technique PastTheLights { pass { LightEnable[8] = true; } }
technique BadType { pass { LightType[0] = Sideways; } }
)");
    ASSERT_NE(fx, nullptr);
    // What the device had before: restored when the technique ends.
    D3DMATERIAL9 before;
    before.Power = 3;
    ASSERT_EQ(device->SetMaterial(&before), D3D_OK);
    D3DLIGHT9 first;
    first.Type = D3DLIGHT_DIRECTIONAL;
    first.Direction = {0, -1, 0};
    ASSERT_EQ(device->SetLight(0, &first), D3D_OK);
    ASSERT_EQ(device->LightEnable(1, 1), D3D_OK);
    ASSERT_EQ(fx->ValidateTechnique("Fixed"), D3D_OK) << fx->ValidationError();
    ASSERT_EQ(fx->SetTechnique("Fixed"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0.5 * 255, 0.25 * 255, 0.5 * 255, "emissive plus ambient");
    D3DMATERIAL9 m;
    ASSERT_EQ(device->GetMaterial(&m), D3D_OK);
    EXPECT_FLOAT_EQ(m.Ambient.r, 0.5f);
    EXPECT_FLOAT_EQ(m.Ambient.g, 0.25f);
    EXPECT_FLOAT_EQ(m.Emissive.b, 0.5f);
    EXPECT_FLOAT_EQ(m.Specular.a, 0.4f);
    EXPECT_FLOAT_EQ(m.Power, 8.f);
    D3DLIGHT9 light;
    ASSERT_EQ(device->GetLight(0, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_POINT);
    EXPECT_FLOAT_EQ(light.Position.y, 2.f);
    EXPECT_FLOAT_EQ(light.Direction.z, 1.f);
    EXPECT_FLOAT_EQ(light.Range, 10.f);
    EXPECT_FLOAT_EQ(light.Attenuation1, 0.5f);
    EXPECT_FLOAT_EQ(light.Attenuation2, 0.25f);
    EXPECT_FLOAT_EQ(light.Theta, 0.5f);
    EXPECT_FLOAT_EQ(light.Phi, 1.f);
    std::int32_t on = 0;
    ASSERT_EQ(device->GetLightEnable(0, &on), D3D_OK);
    EXPECT_NE(on, 0);
    ASSERT_EQ(device->GetLightEnable(1, &on), D3D_OK);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->GetMaterial(&m), D3D_OK);
    EXPECT_EQ(m.Power, 3.f);
    EXPECT_EQ(m.Ambient.r, 0.f);
    ASSERT_EQ(device->GetLight(0, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Direction.y, -1.f);
    ASSERT_EQ(device->GetLightEnable(1, &on), D3D_OK);
    EXPECT_NE(on, 0);
    ASSERT_EQ(device->GetLightEnable(0, &on), D3D_OK);
    EXPECT_EQ(on, 0);

    // A parameter changed afterwards is what the next pass sets.
    const float where[3] = {4, 5, 6};
    ASSERT_EQ(fx->SetFloatArray("Where", where, 3), D3D_OK);
    ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    ASSERT_EQ(device->GetLight(0, &light), D3D_OK);
    EXPECT_FLOAT_EQ(light.Position.x, 4.f);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->GetLight(0, &light), D3D_OK); // kept: nothing was saved
    EXPECT_EQ(light.Type, D3DLIGHT_POINT);

    EXPECT_EQ(fx->ValidateTechnique("PastTheLights"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("'LightEnable' has no index 8"), std::string::npos) << fx->ValidationError();
    EXPECT_EQ(fx->ValidateTechnique("BadType"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("bad value 'Sideways'"), std::string::npos) << fx->ValidationError();
}

// A `compile` call's arguments take their uniform parameters' types: a
// float4 parameter negated for a float3, the literal 0 for a float3.
TEST_P(GfxUtilEffectFormsTest, CompileArgumentsAreConvertedToTheirParameters) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
float4 L = {0.25, 0.5, 0.75, 9};
float4 PS(float4 c : COLOR0, uniform float3 d, uniform int k) : COLOR { return float4(0.5 + d * 0.5 * k, 1); }
technique Negated { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(-L, 1.75); } }
technique Zero { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(0, 1); } }
technique Swizzled { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(L.zyx, true); } }
)");
    ASSERT_NE(fx, nullptr);
    DrawTechnique(fx, "Negated"); // k: 1.75 truncated to 1
    ExpectPixel(8, 8, 0.375 * 255, 0.25 * 255, 0.125 * 255, "-L as a float3");
    DrawTechnique(fx, "Zero");
    ExpectPixel(8, 8, 0.5 * 255, 0.5 * 255, 0.5 * 255, "0 as a float3");
    DrawTechnique(fx, "Swizzled");
    ExpectPixel(8, 8, 0.875 * 255, 0.75 * 255, 0.625 * 255, "L.zyx");
}

namespace {

// Entries named like the effect's program types, beside a fixed-function
// pass whose stage argument is the word Texture, and a sampler whose block
// holds stage states as some libraries write it.
constexpr const char* kEffectWordsSource = R"(
struct VS_OUT { float4 p : POSITION; float4 c : COLOR0; };
VS_OUT VertexShader(float3 p : POSITION, float4 c : COLOR0) { VS_OUT o; o.p = float4(p, 1); o.c = c * 0.5; return o; }
float4 PixelShader(VS_OUT i) : COLOR { return i.c + float4(0.25, 0, 0, 0); }
texture T;
sampler Lantern = sampler_state { Texture = <T>; AddressU = Clamp; ColorOp = Modulate; ColorArg1 = Texture; ColorArg2 = Current; };
technique Fixed { pass P0 { Texture[0] = <T>; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse; ColorOp[0] = Modulate;
                            AlphaOp[0] = SelectArg1; AlphaArg1[0] = TEXTURE; VertexShader = NULL; PixelShader = NULL; } }
technique Compiled { pass P0 { VertexShader = compile vs_1_1 VertexShader(); PixelShader = compile ps_2_0 PixelShader(); } }
)";

} // namespace

// A program compiled from an effect's text reads the state blocks it does
// not compile as the effect does: `Texture` is a value of the stage
// arguments; the program words name entries. Both programs compile, are
// created and draw; the effect of the same text draws both techniques.
TEST_P(GfxUtilEffectFormsTest, EffectWordsAreNamesAndStateValuesInPrograms) {
    if (Stopped()) return;
    gfx::test::Compiled vs, ps;
    gfx::test::Compile(vs, kEffectWordsSource, "vs_1_1", "VertexShader");
    gfx::test::Compile(ps, kEffectWordsSource, "ps_2_0", "PixelShader");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = MakePixel(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad(0xFF408020u); // half of the colour, red raised by a quarter
    ExpectPixel(8, 8, 0x40 / 2.0 + 0.25 * 255, 0x80 / 2.0, 0x20 / 2.0, "compiled by the effect words");
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);

    ID3DXEffect* fx = Make(kEffectWordsSource);
    ASSERT_NE(fx, nullptr);
    DrawTechnique(fx, "Compiled");
    ExpectPixel(8, 8, 0.25 * 255 + 127.5, 127.5, 127.5, "the effect's compiled pass");
    IDirect3DTexture9* texture = OneTexel(0xFF80FF40u);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(fx->SetTexture("T", texture), D3D_OK);
    DrawTechnique(fx, "Fixed"); // the texture times the white vertex colour
    ExpectPixel(8, 8, 0x80, 0xFF, 0x40, "the fixed-function pass");
    ASSERT_EQ(fx->SetTexture("T", nullptr), D3D_OK);
    device->SetTexture(0, nullptr);
    texture->Release();
}

// A state's value is still judged: a type that is no state's value word
// stays refused, in a sampler block and in a pass.
TEST_P(GfxUtilEffectFormsTest, TypeNamesThatAreNoStateValueStayRefused) {
    if (Stopped()) return;
    const auto refusal = [](const std::string& source) {
        gfx::ID3DXBuffer* code = nullptr;
        gfx::ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", "ps_2_0", 0, &code,
                                             &errors, nullptr, nullptr, "memory");
        return gfx::test::Finish(hr, code, errors);
    };
    gfx::test::ExpectRefused(refusal("sampler s { foo = float; };\nfloat4 main() : COLOR { return 0; }\n"),
                             "memory(1,19): error: 'float' is a type, not a value");
    gfx::test::ExpectRefused(
        refusal("float4 main() : COLOR { return 0; }\ntechnique { pass { ColorArg1[0] = float4; } }\n"),
        "memory(2,35): error: 'float4' is a type, not a value");
}

// A ';' left out where the rest of the file would be lost or misread: after
// a struct followed by more text (or a file cut inside one), and between two
// states of a pass. Each is refused at its line; with the ';' the same text
// gives its technique and draws.
TEST_P(GfxUtilEffectFormsTest, MissingSemicolonsAreRefusedAtTheirLine) {
    if (Stopped()) return;
    const std::string rest = R"(VsOut vs(float4 p : POSITION) { VsOut o; o.p = p; return o; }
float4 main() : COLOR { return float4(0.25, 0.5, 0.75, 1); }
technique T { pass { ZEnable = false; VertexShader = compile vs_2_0 vs(); PixelShader = compile ps_2_0 main(); } }
)";
    EXPECT_EQ(Refused("struct VsOut { float4 p : POSITION; }\n" + rest),
              "memory(1): ';' expected after the struct 'VsOut'\n");
    EXPECT_EQ(Refused("struct VsOut\n{\n    float4 p : POSITION;\n}\n\n" + rest),
              "memory(4): ';' expected after the struct 'VsOut'\n");
    EXPECT_NE(Refused("struct VsO\nfloat4x4 wvp;\nstruct VsOut { float4 p : POSITION; };\n" + rest)
                  .find("memory(1): ';' expected after the struct 'VsO'\n"),
              std::string::npos);
    // A file cut after the struct's body.
    EXPECT_EQ(Refused("float4 k;\nstruct VsOut { float4 p : POSITION; }"),
              "memory(2): ';' expected after the struct 'VsOut'\n");
    const std::string missing = "struct VsOut { float4 p : POSITION; };\n" + rest;
    std::string unbroken = missing;
    unbroken.replace(unbroken.find("ZEnable = false;"), 16, "ZEnable = false");
    EXPECT_EQ(Refused(unbroken), "memory(4): ';' expected before 'VertexShader'\n");
    // A struct's variables follow its body; the ';' ends them.
    ID3DXEffect* fx = Make("struct S { float4 a; } One, Two[2];\nstruct T2 { float b; } Three = {1};\n" + missing);
    ASSERT_NE(fx, nullptr);
    DrawTechnique(fx, "T");
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255, "with every ';'");
}

// The same initialisers in a program compiled alone: the constant table
// gives the folded defaults, and SetDefaults puts them where the program
// reads them.
TEST_P(GfxUtilEffectFormsTest, ProgramDefaultsAreTheFoldedInitialisers) {
    if (Stopped()) return;
    const std::string source = R"(
static const float3 A = float3(0.2, 0.7, 0.1);
float2 Amount = (1, 0.25);
float4 Mixed = float4(0.5, A.x, (1.025 - 1) * 4, 1);
float4 main() : COLOR { return float4(Amount.x, Amount.y, Mixed.y, Mixed.z); }
)";
    gfx::test::Compiled ps;
    ASSERT_TRUE(UsePixel(ps, source));
    ASSERT_NE(ps.table, nullptr);
    D3DXCONSTANT_DESC d{};
    std::uint32_t count = 1;
    ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstantByName(nullptr, "Amount"), &d, &count), D3D_OK);
    ASSERT_NE(d.DefaultValue, nullptr);
    const auto* amount = static_cast<const float*>(d.DefaultValue);
    EXPECT_EQ(amount[0], 0.25f);
    EXPECT_EQ(amount[1], 0.25f);
    ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstantByName(nullptr, "Mixed"), &d, &count), D3D_OK);
    ASSERT_NE(d.DefaultValue, nullptr);
    const auto* mixed = static_cast<const float*>(d.DefaultValue);
    EXPECT_FLOAT_EQ(mixed[1], 0.2f);
    EXPECT_NEAR(mixed[2], 0.1f, 1e-6);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0.25 * 255, 0.25 * 255, 0.2 * 255, "the defaults");
}
