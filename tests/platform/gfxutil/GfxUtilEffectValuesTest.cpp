// Values an effect text writes as expressions: arrays sized by their
// initialisers, and states set to constant expressions, each created on the
// gl device, read back through the effect or the device, and drawn; and an
// effect of ten thousand passes, which loads.

#include "platform/gfxutil/GfxUtilEffect.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

using namespace gfx;

class GfxUtilEffectValuesTest : public gfx::test::HlslDrawTest {
protected:
    void TearDown() override {
        for (ID3DXEffect* fx : m_effects) EXPECT_EQ(fx->Release(), 0u);
        m_effects.clear();
        HlslDrawTest::TearDown();
    }
    // The effect of the text (null, with a failure showing its messages,
    // when it is not created); released by the fixture.
    ID3DXEffect* Make(const std::string& text) {
        const gfx::test::MadeEffect made = gfx::test::MakeEffectFromText(device, text);
        EXPECT_EQ(made.hr, D3D_OK) << made.said;
        EXPECT_EQ(made.said, "");
        if (made.fx) m_effects.push_back(made.fx);
        return made.fx;
    }
    // What D3DXCreateEffect says of a text it refuses.
    std::string Refused(const std::string& text) {
        const gfx::test::MadeEffect made = gfx::test::MakeEffectFromText(device, text);
        EXPECT_TRUE(FAILED(made.hr)) << text;
        EXPECT_EQ(made.fx, nullptr);
        if (made.fx) m_effects.push_back(made.fx);
        return made.said;
    }
    // Begins the technique's first pass (validated first): the caller ends it.
    void BeginFirstPass(ID3DXEffect* fx, const char* technique) {
        ASSERT_EQ(fx->ValidateTechnique(technique), D3D_OK) << technique << ": " << fx->ValidationError();
        ASSERT_EQ(fx->SetTechnique(technique), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
        ASSERT_GE(passes, 1u);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    }
    void EndPass(ID3DXEffect* fx) {
        EXPECT_EQ(fx->EndPass(), D3D_OK);
        EXPECT_EQ(fx->End(), D3D_OK);
    }
    // The technique's first pass drawn over black, its centre read back.
    void Draw(ID3DXEffect* fx, const char* technique) {
        BeginFirstPass(fx, technique);
        Clear();
        DrawQuad();
        EndPass(fx);
    }
    // The render state the technique's first pass sets.
    std::uint32_t StateOf(ID3DXEffect* fx, const char* technique, std::uint32_t state) {
        std::uint32_t value = 0xDEADBEEFu;
        BeginFirstPass(fx, technique);
        EXPECT_EQ(device->GetRenderState(state, &value), D3D_OK);
        EndPass(fx);
        return value;
    }
    float FloatStateOf(ID3DXEffect* fx, const char* technique, std::uint32_t state) {
        return std::bit_cast<float>(StateOf(fx, technique, state));
    }

    std::vector<ID3DXEffect*> m_effects;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilEffectValuesTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

namespace {

using gfx::test::kPassVertexFunction;

} // namespace

// `[]` takes its size from the initialiser, as a program compiled alone
// does: a static array the programs read, and parameters of every numeric
// class, whose descriptions, values and programs' constants all have the
// initialiser's count of elements.
TEST_P(GfxUtilEffectValuesTest, UnsizedArraysTakeTheInitialisersCount) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
static const float weights[] = { 0.25, 0.5, 0.25 };
float4 tints[] < string UIName = "tints"; > = { float4(0.5, 0, 0, 1), {0, 0.75, 0, 1} };
float scales[] = { 0.125, 0.25, 0.375, 0.5, 0.625 };
float2x2 turns[] = { 1, 0, 0, 1,   0, 1, 1, 0 };
int counts[] = { 3, 1, 4, 1, 5, 9 };
float4 PS() : COLOR {
    return float4(weights[0] + weights[2], tints[1].y, scales[4] - weights[1] + turns[1]._21 * 0.25, 1);
}
PixelShader programs[] = { compile ps_2_0 PS(), asm {
    ps_2_0
    def c0, 0, 0, 1, 1
    mov oC0, c0
} };
technique Drawn { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS(); } }
technique Picked { pass { VertexShader = compile vs_2_0 PassVS(); PixelShader = (programs[1]); } }
)");
    ASSERT_NE(fx, nullptr);
    // A static is the programs', no parameter.
    EXPECT_EQ(fx->GetParameterByName(nullptr, "weights"), nullptr);
    struct Expected {
        const char* name;
        std::uint32_t cls, type, rows, columns, elements;
    };
    for (const Expected& e : {Expected{"tints", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 2},
                              Expected{"scales", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 5},
                              Expected{"turns", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 2, 2, 2},
                              Expected{"counts", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 6},
                              Expected{"programs", D3DXPC_OBJECT, D3DXPT_PIXELSHADER, 0, 0, 2}}) {
        D3DXPARAMETER_DESC d{};
        ASSERT_EQ(fx->GetParameterDesc(fx->GetParameterByName(nullptr, e.name), &d), D3D_OK) << e.name;
        EXPECT_EQ(d.Class, e.cls) << e.name;
        EXPECT_EQ(d.Type, e.type) << e.name;
        EXPECT_EQ(d.Rows, e.rows) << e.name;
        EXPECT_EQ(d.Columns, e.columns) << e.name;
        EXPECT_EQ(d.Elements, e.elements) << e.name;
    }
    float tints[8] = {};
    ASSERT_EQ(fx->GetFloatArray("tints", tints, 8), D3D_OK);
    EXPECT_EQ(std::vector<float>(tints, tints + 8), (std::vector<float>{0.5f, 0, 0, 1, 0, 0.75f, 0, 1}));
    float scales[5] = {};
    ASSERT_EQ(fx->GetFloatArray("scales", scales, 5), D3D_OK);
    EXPECT_EQ(scales[4], 0.625f);
    std::int32_t counts[6] = {};
    ASSERT_EQ(fx->GetIntArray("counts", counts, 6), D3D_OK);
    EXPECT_EQ(std::vector<std::int32_t>(counts, counts + 6), (std::vector<std::int32_t>{3, 1, 4, 1, 5, 9}));
    // 0.25 + 0.25; 0.75; 0.625 - 0.5 + 1 * 0.25.
    Draw(fx, "Drawn");
    ExpectPixel(8, 8, 0.5 * 255, 0.75 * 255, 0.375 * 255, "the initialisers");
    // A parameter's new value reaches the program.
    const float brighter[8] = {0.5f, 0, 0, 1, 0, 0.25f, 0, 1};
    ASSERT_EQ(fx->SetFloatArray("tints", brighter, 8), D3D_OK);
    Draw(fx, "Drawn");
    ExpectPixel(8, 8, 0.5 * 255, 0.25 * 255, 0.375 * 255, "tints set");
    Draw(fx, "Picked");
    ExpectPixel(8, 8, 0, 0, 255, "the second program of the unsized array");
}

// What no count can be taken from is refused at its line.
TEST_P(GfxUtilEffectValuesTest, UnsizedArraysWithoutWholeElementsAreRefused) {
    if (Stopped()) return;
    EXPECT_EQ(Refused("float4 k;\nfloat w[];\n"), "memory(2): 'w' has no size and no initialiser to take one from\n");
    EXPECT_EQ(Refused("float4 k;\n\nfloat2 w[] = {1, 2, 3};\n"),
              "memory(3): 'w' has 3 initial values, not whole elements of 2\n");
    EXPECT_EQ(Refused("float w[] = {};\n"), "memory(1): 'w' has 0 initial values, not whole elements of 1\n");
    EXPECT_EQ(Refused("float w[] = 0.5;\n"), "memory(1): 'w' has 1 initial values, not whole elements of 1\n");
    EXPECT_EQ(Refused("PixelShader p[] = {};\n"), "memory(1): 'p' has no programs\n");
    EXPECT_EQ(Refused("texture t[] = {};\n"), "memory(1): bad array size\n");
}

// A state's value is a constant expression: literals, operators,
// parentheses, value words and static constants alike; in angle brackets an
// expression too, but a name there is a parameter the state follows.
TEST_P(GfxUtilEffectValuesTest, StateValuesAreConstantExpressions) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(R"(
float Density = 0.75;
static const int kRef = 5;
static const float kHalf = 0.5;
technique Literal { pass { AlphaRef = 2; FogDensity = 0.125f; ZEnable = false; } }
technique Shifted { pass { AlphaRef = (1 << 1) & 255; ZEnable = 1 % 2; FogDensity = 0.5f * 0.25f; } }
technique Bracketed { pass { AlphaRef = (7); FogStart = (1 + 2) * 0.5; FogEnd = 3 / 2; } }
technique Angled { pass { FogDensity = <0.5f * 0.25f>; AlphaRef = <3 * 4>; FogEnd = <kHalf>; } }
technique Parameter { pass { FogDensity = <Density>; AlphaRef = (kRef); } }
technique Words { pass { ZFunc = LessEqual; ColorWriteEnable = Red | Green; CullMode = (CW); } }
technique Mixed { pass {
    ColorWriteEnable = (Red | Blue) & ~Blue | Alpha; AlphaRef = (0x10 | 0x01) + kRef; AlphaFunc = Greater + 0;
    AlphaBlendEnable = TRUE && 2 > 1; DepthBias = -kHalf * 0.5; StencilRef = 0x10 | 0x01;
} }
sampler Samp = sampler_state {
    MaxAnisotropy = 1 << 2; AddressU = (Clamp); MipMapLodBias = <-0.25 * 2>; BorderColor = 0xFF000000 | 0xFF00;
};
technique Stages { pass {
    Sampler[1] = (Samp); ColorOp[0] = (SelectArg1); TexCoordIndex[0] = 1 + 0; AddressV[2] = Mirror + 0;
    MaxMipLevel[2] = <kRef - 3>;
} }
)");
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(StateOf(fx, "Literal", D3DRS_ALPHAREF), 2u);
    EXPECT_EQ(FloatStateOf(fx, "Literal", D3DRS_FOGDENSITY), 0.125f);
    EXPECT_EQ(StateOf(fx, "Literal", D3DRS_ZENABLE), 0u);
    EXPECT_EQ(StateOf(fx, "Shifted", D3DRS_ALPHAREF), 2u);
    EXPECT_EQ(StateOf(fx, "Shifted", D3DRS_ZENABLE), 1u);
    EXPECT_EQ(FloatStateOf(fx, "Shifted", D3DRS_FOGDENSITY), 0.125f);
    EXPECT_EQ(StateOf(fx, "Bracketed", D3DRS_ALPHAREF), 7u);
    EXPECT_EQ(FloatStateOf(fx, "Bracketed", D3DRS_FOGSTART), 1.5f);
    EXPECT_EQ(FloatStateOf(fx, "Bracketed", D3DRS_FOGEND), 1.f); // integers divide whole
    EXPECT_EQ(FloatStateOf(fx, "Angled", D3DRS_FOGDENSITY), 0.125f);
    EXPECT_EQ(StateOf(fx, "Angled", D3DRS_ALPHAREF), 12u);
    EXPECT_EQ(FloatStateOf(fx, "Angled", D3DRS_FOGEND), 0.5f);
    EXPECT_EQ(FloatStateOf(fx, "Parameter", D3DRS_FOGDENSITY), 0.75f);
    EXPECT_EQ(StateOf(fx, "Parameter", D3DRS_ALPHAREF), 5u);
    ASSERT_EQ(fx->SetFloat("Density", 0.25f), D3D_OK);
    EXPECT_EQ(FloatStateOf(fx, "Parameter", D3DRS_FOGDENSITY), 0.25f); // the parameter, followed
    EXPECT_EQ(StateOf(fx, "Words", D3DRS_ZFUNC), std::uint32_t(D3DCMP_LESSEQUAL));
    EXPECT_EQ(StateOf(fx, "Words", D3DRS_COLORWRITEENABLE),
              std::uint32_t(D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN));
    EXPECT_EQ(StateOf(fx, "Words", D3DRS_CULLMODE), std::uint32_t(D3DCULL_CW));
    EXPECT_EQ(StateOf(fx, "Mixed", D3DRS_COLORWRITEENABLE),
              std::uint32_t(D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA));
    EXPECT_EQ(StateOf(fx, "Mixed", D3DRS_ALPHAREF), 0x16u);
    EXPECT_EQ(StateOf(fx, "Mixed", D3DRS_ALPHAFUNC), std::uint32_t(D3DCMP_GREATER));
    EXPECT_EQ(StateOf(fx, "Mixed", D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(FloatStateOf(fx, "Mixed", D3DRS_DEPTHBIAS), -0.25f);
    EXPECT_EQ(StateOf(fx, "Mixed", D3DRS_STENCILREF), 0x11u);
    // Sampler and texture-stage states, in a sampler's block and in a pass.
    BeginFirstPass(fx, "Stages");
    std::uint32_t v = 0;
    EXPECT_EQ(device->GetSamplerState(1, D3DSAMP_MAXANISOTROPY, &v), D3D_OK);
    EXPECT_EQ(v, 4u);
    EXPECT_EQ(device->GetSamplerState(1, D3DSAMP_ADDRESSU, &v), D3D_OK);
    EXPECT_EQ(v, std::uint32_t(D3DTADDRESS_CLAMP));
    EXPECT_EQ(device->GetSamplerState(1, D3DSAMP_MIPMAPLODBIAS, &v), D3D_OK);
    EXPECT_EQ(std::bit_cast<float>(v), -0.5f);
    EXPECT_EQ(device->GetSamplerState(1, D3DSAMP_BORDERCOLOR, &v), D3D_OK);
    EXPECT_EQ(v, 0xFF00FF00u);
    EXPECT_EQ(device->GetSamplerState(2, D3DSAMP_ADDRESSV, &v), D3D_OK);
    EXPECT_EQ(v, std::uint32_t(D3DTADDRESS_MIRROR));
    EXPECT_EQ(device->GetSamplerState(2, D3DSAMP_MAXMIPLEVEL, &v), D3D_OK);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_COLOROP, &v), D3D_OK);
    EXPECT_EQ(v, std::uint32_t(D3DTOP_SELECTARG1));
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_TEXCOORDINDEX, &v), D3D_OK);
    EXPECT_EQ(v, 1u);
    EndPass(fx);
}

// Expressions the states hold, seen in what is drawn: an alpha test whose
// reference is an expression passes or fails a colour of alpha 0.5, a
// constant register set by an expression in angle brackets is the colour,
// and a write mask of mixed words keeps only red.
TEST_P(GfxUtilEffectValuesTest, StateExpressionsDecideWhatIsDrawn) {
    if (Stopped()) return;
    ID3DXEffect* fx = Make(std::string(kPassVertexFunction) + R"(
float4 PS() : COLOR { return float4(0.25, 0.5, 0.75, 0.5); }
technique Below { pass {
    AlphaTestEnable = TRUE; AlphaFunc = Greater; AlphaRef = (1 << 6) + 62;
    VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS();
} }
technique Above { pass {
    AlphaTestEnable = TRUE; AlphaFunc = Greater; AlphaRef = <(1 << 7) & 255>;
    VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS();
} }
technique Constant { pass {
    PixelShaderConstantF[0] = <float4(0.125, 0.25, 0.375, 0.5) * 2>; VertexShader = compile vs_2_0 PassVS();
    PixelShader = asm {
        ps_2_0
        mov oC0, c0
    };
} }
technique RedOnly { pass {
    AlphaTestEnable = 1 % 1; ColorWriteEnable = (Red | Blue) & ~Blue;
    VertexShader = compile vs_2_0 PassVS(); PixelShader = compile ps_2_0 PS();
} }
)");
    ASSERT_NE(fx, nullptr);
    Draw(fx, "Below");
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255, "alpha 127.5 over 126");
    Draw(fx, "Above");
    ExpectPixel(8, 8, 0, 0, 0, "alpha 127.5 not over 128");
    Draw(fx, "Constant");
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255, "a constant register's expression");
    Draw(fx, "RedOnly");
    ExpectPixel(8, 8, 0.25 * 255, 0, 0, "red alone written");
}

// A value that does not fold refuses the effect at its line, with the
// state's name and the reason; a lone word no state knows still only fails
// its technique's validation, as before.
TEST_P(GfxUtilEffectValuesTest, StateValuesThatDoNotFoldAreRefusedAtTheirLine) {
    if (Stopped()) return;
    const std::string head = "float Density = 0.75;\ntechnique T { pass {\n";
    struct Case {
        const char* state;
        const char* said;
    };
    for (const Case& c :
         {Case{"AlphaRef = (1 << ) & 255;", "bad value for 'AlphaRef': value expected before ')'"},
          Case{"ZEnable = 1 % 0;", "bad value for 'ZEnable': division by zero"},
          Case{"AlphaRef = 1.5 & 1;", "bad value for 'AlphaRef': '&' takes integer operands"},
          Case{"AlphaRef = Unknown + 1;", "bad value for 'AlphaRef': 'Unknown' is no constant"},
          Case{"AlphaRef = Density * 2;", "bad value for 'AlphaRef': 'Density' is no constant"},
          Case{"FogDensity = <0.5f * >;", "bad value for 'FogDensity': value expected"},
          Case{"FogDensity = <>;", "bad value for 'FogDensity': value expected before '<'"},
          Case{"AlphaRef = float2(1, 2);", "bad value for 'AlphaRef': one component expected, 2 given"},
          Case{"ColorWriteEnable = Red | Sideways & 1;", "bad value for 'ColorWriteEnable': 'Sideways' is no constant"}})
        EXPECT_EQ(Refused(head + "  ZFunc = Less;\n  " + c.state + "\n} }\n"), "memory(4): " + std::string(c.said) + "\n")
            << c.state;
    // Without the bad line the same text loads and validates.
    ID3DXEffect* fx = Make(head + "  ZFunc = Less;\n} }\n");
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("T"), D3D_OK);
    ID3DXEffect* word = Make("technique T { pass { CullMode = Sideways; } }\n");
    ASSERT_NE(word, nullptr);
    EXPECT_EQ(word->ValidateTechnique("T"), E_FAIL);
    EXPECT_NE(word->ValidationError().find("bad value 'Sideways'"), std::string::npos) << word->ValidationError();
}

// An effect's load is linear in its passes: four thousand one-line passes,
// each compiling a program of its own, load well within the load's budget
// (at a quadratic cost they took most of it), and each pass draws its own
// value. The benchmark measures the linearity; this keeps a margin for slow
// machines. The load does not depend on the target drawn to: one target's
// run is enough.
TEST_P(GfxUtilEffectValuesTest, ThousandsOfPassesLoad) {
    if (Stopped()) return;
    if (GetParam()) GTEST_SKIP() << "the window's run loads the same effect";
    constexpr int kPasses = 4000;
    std::string text = std::string(kPassVertexFunction) +
                       "float4 Shade(uniform float k) : COLOR0 { return float4(k, 0.5, 0.25, 1); }\ntechnique T {\n";
    for (int n = 0; n < kPasses; ++n)
        text += "  pass P" + std::to_string(n) + " { VertexShader = compile vs_2_0 PassVS(); PixelShader = compile "
                "ps_2_0 Shade(" + std::to_string(n) + " / 4000.0); }\n";
    text += "}\n";
    ID3DXEffect* fx = Make(text);
    ASSERT_NE(fx, nullptr);
    D3DXTECHNIQUE_DESC t{};
    ASSERT_EQ(fx->GetTechniqueDesc("T", &t), D3D_OK);
    ASSERT_EQ(t.Passes, std::uint32_t(kPasses));
    ASSERT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError();
    ASSERT_EQ(fx->SetTechnique("T"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, std::uint32_t(kPasses));
    for (const int n : {0, 1000, 2000, kPasses - 1}) {
        D3DXPASS_DESC p{};
        ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", std::uint32_t(n)), &p), D3D_OK);
        EXPECT_EQ(std::string(p.Name), "P" + std::to_string(n));
        EXPECT_NE(p.pPixelShaderFunction, nullptr) << n;
        ASSERT_EQ(fx->BeginPass(std::uint32_t(n)), D3D_OK);
        Clear();
        DrawQuad();
        ExpectPixel(8, 8, n / 4000.0 * 255, 0.5 * 255, 0.25 * 255, "pass " + std::to_string(n));
        EXPECT_EQ(fx->EndPass(), D3D_OK);
    }
    EXPECT_EQ(fx->End(), D3D_OK);
}
