// The effect syntax, read by the effect reader and by one entry's compile:
// what the D3D9 compiler takes (techniques of either spelling, effect
// groups, state blocks after any declarator or as lists, state values of
// any expression, `compile` and `CompileShader` with uniform arguments,
// string and shader objects) and what it refuses, named at its line; and the
// compile flags' packing of matrices reaching every pass of an effect.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace gfx;
using gfx::test::Compiled;

namespace {

const char* const kMain = "\nfloat4 main() : COLOR { return 0; }\n";

// The errors of an effect text the reader refuses; "" (with a failure) when it takes it.
std::string EffectErrors(const std::string& text) {
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* buffer = nullptr;
    const HRESULT hr =
        D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &compiler, &buffer);
    std::string errors = buffer ? static_cast<const char*>(buffer->GetBufferPointer()) : "";
    if (buffer) buffer->Release();
    EXPECT_TRUE(FAILED(hr)) << text;
    if (compiler) compiler->Release();
    return errors;
}

// Whether the reader takes an effect text, with its errors when it does not.
::testing::AssertionResult EffectTaken(const std::string& text) {
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* buffer = nullptr;
    const HRESULT hr =
        D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &compiler, &buffer);
    const std::string errors = buffer ? static_cast<const char*>(buffer->GetBufferPointer()) : "";
    if (buffer) buffer->Release();
    if (compiler) compiler->Release();
    if (SUCCEEDED(hr)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << errors;
}

} // namespace

// One entry's compile takes the effect's syntax wherever the effect may
// write it and blanks it; the program is the entry's alone.
TEST(GfxUtilEffectSyntax, ProgramsTakeTheEffectsSyntax) {
    const char* kTaken[] = {
        // Techniques in any spelling, groups of the later ones, states of any name.
        "technique {}\ntechnique10 {}\ntechnique11 {}\nfxgroup g { technique10 { pass { a = b + c; } } }\n",
        "TECHNIQUE T < string n = \"x\"; > { PASS P { cat = {1, 2, {3, \"s\"}}; dogs[3] = {1, {2}}; } }\n",
        // State blocks after any declarator, as lists of one per component.
        "float u : register(c1) {};\nfloat f { MaxAnisotropy = 3; };\nfloat2 v { {Filter = A;}, {} };\n",
        "float3 arr[2] { {}, {}, {}, {}, {}, {} };\nsampler sams[2][2] { {}, {}, {}, {} };\n",
        "sampler s { { Filter = ANISOTROPIC; } };\nTexture2D t { MaxAnisotropy = 3; };\n",
        "DepthStencilState d { DepthEnable = false; x = foobar.x; };\nBlendState b { r = 1; };\n",
        "float4 arr[3];\nRasterizerState r { f = arr[90]; g = (int)bar; h = float4(a, b, c, d); i = zero++; };\n",
        // State-setting calls with their counts of arguments.
        "sampler s { SetBlendState(a, b, c); OMSetRenderTargets(r0, r1); SetComputeShader(\"x\"); k = 42; };\n",
        // compile and CompileShader: no more arguments than uniform parameters.
        "float4 f(uniform float4 a, float4 b, uniform float4 c) : COLOR { return a + b + c; }\n"
        "technique { pass { PixelShader = compile ps_2_0 f(x, y); } }\n",
        "float4 f() : COLOR { return 0; }\nfloat g = {CompileShader(ps_2_0, f())};\n"
        "float4 h = {1, 2, compile ps_2_0 f(), 4};\nPixelShader p = compile ps_2_0 f();\n",
        "GeometryShader gs = ConstructGSWithSO(\"foo\", \"bar\");\nString s = \"text\";\nsTring t;\n",
        "float4 f = { sampler_state { foo = BAR; }, 1, 2, 3 };\nsampler x { y = sampler_state {}; };\n",
        "texture T;\nsampler s = sampler2D { Texture = <T>; };\nsampler a[2] = { sampler_state {}, sampler_state {} "
        "};\n",
        "typedef float4 sTring;\nsTring v = float4(1, 2, 3, 4);\ntypedef float4 Technique10;\n",
    };
    for (const char* text : kTaken) {
        SCOPED_TRACE(text);
        Compiled ps;
        gfx::test::Compile(ps, std::string(text) + kMain, "ps_2_0");
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors;
    }
    // Inside a function: state blocks on locals, empty angle brackets.
    Compiled local;
    gfx::test::Compile(local,
                       "float4 main() : COLOR {\n    float zero = 0;\n    float a {};\n    float b { foo = bar; };\n"
                       "    float c {}, d = 1, e;\n    struct {int a;} s {foo = bar;};\n    float v < > = 0.5;\n"
                       "    return float4(0, 1, zero + v, 1);\n}\n",
                       "ps_2_0");
    EXPECT_EQ(local.result, D3D_OK) << local.errors;
}

TEST(GfxUtilEffectSyntax, ProgramsRefuseWhatTheEffectSyntaxDoesNotAllowAtItsLine) {
    struct Case {
        const char* text;
        const char* error; // the start of the first error line
    };
    const Case kRefused[] = {
        {"sampler s\n{\n    foo = float;\n};\n", "memory(3,11): error: 'float' is a type"},
        {"sampler s\n{\n    2 = 3;\n};\n", "memory(3,5): error: a state's name expected"},
        {"sampler s { foo; };\n", "memory(1,16): error: '=' expected"},
        {"sampler s\n{\n    foo = bar\n};\n", "memory(4,1): error: ';' expected"},
        {"float f {} = 1;\n", "memory(1,12): error: a state block ends its declarator"},
        {"float f = 1 {};\n", "memory(1,13): error: a state block ends its declarator"},
        {"float f {} : register(c1);\n", "memory(1,12): error: a state block ends its declarator"},
        {"sampler s = sampler_state;\n", "memory(1,13): error: 'sampler_state' without its state block"},
        {"float f { foo = (sampler)2; };\n", "memory(1,18): error: no cast to 'sampler'"},
        {"float f { foo = bar(); };\n", "memory(1,17): error: 'bar': no such function"},
        {"sampler s[2] { {} };\n", "memory(1,14): error: 1 state blocks for 2 components"},
        {"float2 a[2] { {}, {} };\n", "memory(1,13): error: 2 state blocks for 4 components"},
        {"sampler s[2] { {}, {}, };\n", "memory(1,24): error: a state block expected after ','"},
        {"sampler s[2][2] { { {}, {} }, { {}, {} } };\n", "memory(1,21): error: a state's name expected"},
        {"sampler s { d[3 + 4] = 1; };\n", "memory(1,14): error: a state's index is a whole number"},
        {"sampler s { d[-2] = 1; };\n", "memory(1,14): error: a state's index is a whole number"},
        {"sampler s { d[1][1] = 1; };\n", "memory(1,17): error: a state has one index"},
        {"float4 f(float a, float b) { return 0; }\nsampler s { c = f(x); };\n",
         "memory(2,17): error: no overload of 'f'"},
        {"float4 f(float p[2]) { return 0; }\nsampler s { c = f(x); };\n", "memory(2,17): error: no overload of 'f'"},
        {"sampler s { SetSomeotherState(); };\n", "memory(1,13): error: 'SetSomeotherState' is no state-setting"},
        {"sampler s { Setblendstate(1, 2, 3); };\n", "memory(1,13): error: 'Setblendstate' is no state-setting"},
        {"sampler s { SetBlendState(1, 2); };\n", "memory(1,13): error: 'SetBlendState' takes 3 arguments"},
        {"technique { pass { c = SetPixelShader(p); } }\n", "memory(1,24): error: 'SetPixelShader': no such"},
        {"DepthStencilState d { r = foobar[2]; };\n", "memory(1,33): error: 'foobar' is no array"},
        {"DepthStencilState d { r = foobar.y; };\n", "memory(1,34): error: 'y' is no swizzle of 'foobar'"},
        {"float3 v;\nDepthStencilState d { r = v.w; };\n", "memory(2,29): error: 'w' is no swizzle of 'v'"},
        {"float4 f(uniform float4 a, float4 b) : COLOR { return a; }\n"
         "technique { pass { p = compile ps_2_0 f(1, 2); } }\n",
         "memory(2,39): error: 'f' has fewer uniform parameters than 2"},
        {"float4 f(uniform float a) : COLOR { return a; }\nPixelShader p = CompileShader(ps_2_0, f(foo));\n",
         "memory(2,41): error: 'foo': no such name"},
        {"float4 f() : COLOR { return 0; }\nPixelShader p = CompileShader(ps_6_0, f());\n",
         "memory(2,31): error: 'ps_6_0' is no profile"},
        {"PixelShader p = 42;\n", "memory(1,17): error: a shader's initial value is a compiled program"},
        {"GeometryShader g = ConstructGSWithSO(1, 2, 3);\n", "memory(1,20): error: ConstructGSWithSO takes 2 or 6"},
        {"float4 f = sampler_state { a = b; };\n", "memory(1,12): error: 'float4' takes no state block"},
        {"sampler s = 1 + sampler_state {};\n", "memory(1,13): error: a sampler's initial value is its state block"},
        {"sampler_state {};\n", "memory(1,1): error: 'sampler_state' outside an initialiser"},
        {"fxgroup g\n{\n    technique { }\n}\n", "memory(3,5): error: a group holds technique10"},
        // Names the effect keeps.
        {"typedef float4 string;\n", "memory(1,16): error: 'string' names no type"},
        {"typedef float4 Technique;\n", "memory(1,16): error: 'Technique' names no type"},
        {"float4 String;\n", "memory(1,8): error: 'String' names no variable"},
        {"float4 VertexShader;\n", "memory(1,8): error: 'VertexShader' names no variable"},
        {"float4 g() : COLOR\n{\n    float4 teChnique = 0;\n    return teChnique;\n}\n",
         "memory(3,12): error: 'teChnique' names no variable"},
        {"float4 g() : COLOR\n{\n    float4 fxgroup = 0;\n    return fxgroup;\n}\n",
         "memory(3,12): error: 'fxgroup' names no variable"},
    };
    for (const Case& c : kRefused) {
        SCOPED_TRACE(c.text);
        Compiled ps;
        gfx::test::Compile(ps, std::string(c.text) + kMain, "ps_2_0");
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_TRUE(ps.errors.starts_with(c.error)) << ps.errors;
    }
    // A sampler read at another dimension than its own, or at two, by the
    // entry `g` or what it calls; where the entry is `main`, which reaches
    // neither, nothing is generated for them and the program compiles.
    const Case kLookups[] = {
        {"sampler2D s;\nfloat4 g() : COLOR { return tex3D(s, 0); }\n", "memory(2,29): error: 's' is read by a lookup"},
        {"sampler s;\nfloat4 g() : COLOR { return tex2D(s, 0) + tex3D(s, 0); }\n",
         "memory(2,43): error: 's' is read by lookups of two dimensions"},
        {"sampler s;\nfloat4 f() { return tex2D(s, 0); }\nfloat4 h() { return f(); }\n"
         "float4 g() : COLOR { return h() + texCUBE(s, 0); }\n",
         "memory(4,35): error: 's' is read by lookups of two dimensions"},
    };
    for (const Case& c : kLookups) {
        SCOPED_TRACE(c.text);
        Compiled ps, unreached;
        gfx::test::Compile(ps, std::string(c.text) + kMain, "ps_2_0", "g");
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_TRUE(ps.errors.starts_with(c.error)) << ps.errors;
        gfx::test::Compile(unreached, std::string(c.text) + kMain, "ps_2_0");
        EXPECT_EQ(unreached.result, D3D_OK) << unreached.errors;
    }
    // However deep a hostile value nests, the compile refuses it.
    Compiled deep;
    gfx::test::Compile(deep, "sampler s { a = " + std::string(100000, '{') + std::string(100000, '}') + "; };" + kMain,
                       "ps_2_0");
    EXPECT_NE(deep.result, D3D_OK);
    EXPECT_NE(deep.errors.find("nested too deeply"), std::string::npos) << deep.errors.substr(0, 200);
    // So do namespaces, each read a call deeper, once past 64; 64 compile.
    const auto namespaces = [](int depth) {
        std::string s;
        for (int d = 0; d < depth; ++d) s += "namespace N {\n";
        s += "static const float a = 1;\n" + std::string(std::size_t(depth), '}') + "\n";
        return s + "float4 main() : COLOR { return 0; }\n";
    };
    Compiled deepest, within;
    gfx::test::Compile(deepest, namespaces(100000), "ps_2_0");
    EXPECT_TRUE(deepest.errors.starts_with("memory(65,1): error: namespaces nested too deeply")) << deepest.errors;
    gfx::test::Compile(within, namespaces(64), "ps_2_0");
    EXPECT_EQ(within.result, D3D_OK) << within.errors;
    Compiled annotated;
    gfx::test::Compile(annotated, "float4 main() : COLOR\n{\n    float v < int a = 1; > = 0;\n    return v;\n}\n",
                       "ps_2_0");
    EXPECT_TRUE(annotated.errors.starts_with("memory(3,13): error: a local variable has no annotations"))
        << annotated.errors;
    // The elements of an array of samplers may each be read at its own dimension.
    Compiled array;
    gfx::test::Compile(array, "sampler s[2];\nfloat4 main() : COLOR { return tex2D(s[0], 0) + tex3D(s[1], 0); }\n",
                       "ps_2_0");
    EXPECT_EQ(array.result, D3D_OK) << array.errors;
}

// An initial value running into a bracket that never closes ends with the
// text: refused at its line, nothing read past the last token.
TEST(GfxUtilEffectSyntax, AValueOpeningABracketNeverClosedEndsWithTheText) {
    const char* const kSources[] = {
        "GeometryShader g = ConstructGSWithSO(1, 2, 3);\nfloat4 main() : sv[target = { return 0; }\n",
        "float4 main() : COLOR { return 0; }\nVertexShader v = f[x;\n",
        "float4 main() : COLOR { return 0; }\nfloat b = (y;\n",
        "float4 main() : COLOR { return 0; }\nfloat a = { 1, 2\n",
    };
    for (const char* source : kSources) {
        SCOPED_TRACE(source);
        Compiled out;
        gfx::test::Compile(out, source, "ps_2_0");
        EXPECT_EQ(out.result, E_FAIL);
        EXPECT_NE(out.errors.find("memory("), std::string::npos) << out.errors;
        EXPECT_FALSE(EffectTaken(source));
    }
}

// The effect reader: techniques of fx_2's spellings, annotations as lists of
// declarators with expressions, later models' textures, objects kept out of
// constants, and no annotation on a local.
TEST(GfxUtilEffectSyntax, EffectsReadAnnotationsTechniquesAndObjectsAsTheD3D9CompilerDoes) {
    EXPECT_TRUE(EffectTaken("technique\n{\n}\n\ntechnique10\n{\n}\n"));
    EXPECT_TRUE(EffectTaken("technique < int a = 1+2; > {}\n"));
    EXPECT_TRUE(EffectTaken("static const int b = 123;\ntechnique < int a = b; int c = b * 2 - 1; > {}\n"));
    EXPECT_TRUE(EffectTaken("technique < float a[] = {1, 2}; > {}\n"));
    EXPECT_TRUE(EffectTaken("technique < int a = 1, b = 2; > {}\n"));
    EXPECT_TRUE(EffectTaken("technique < row_major float3x2 m = {1, 2, 3, 4, 5, 6}; > {}\n"));
    EXPECT_TRUE(EffectTaken("Texture2DMS<float4, 4> t;\nTexture2D u;\nstruct s { Texture t; float4 f; };\n"
                            "technique {}\n"));
    EXPECT_TRUE(EffectTaken("float4 main() : COLOR\n{\n    float v < > = 0;\n    return v;\n}\ntechnique {}\n"));
    // A member may take an object type's name; a struct of such members is no object.
    EXPECT_TRUE(EffectTaken("struct In { float2 Texture : TEXCOORD0; float4 String; };\nIn v;\ntechnique {}\n"));

    EXPECT_EQ(EffectErrors("technique {}\n\ntechnique11\n{\n}\n"), "memory(3): unknown type 'technique11'\n");
    EXPECT_EQ(EffectErrors("technique {}\ntEchnique10 {}\n"), "memory(2): unknown type 'tEchnique10'\n");
    // A value names no other annotation.
    EXPECT_TRUE(
        EffectErrors("technique < int a = 1, b = a; > {}\n").starts_with("memory(1): value expected before 'a'\n"));
    EXPECT_TRUE(
        EffectErrors("technique < int a = 1; int b = a; > {}\n").starts_with("memory(1): value expected before 'a'\n"));
    EXPECT_EQ(EffectErrors("technique < float a[] = {1, 2}; int a = 1, a = 2; > {}\n"),
              "memory(1): annotation 'a' declared twice\nmemory(1): annotation 'a' declared twice\n");
    EXPECT_EQ(EffectErrors("struct s\n{\n    Texture t;\n    float4 f;\n};\n\ns var;\n\ntechnique {}\n"),
              "memory(7): struct 's' holds an object: no parameter is of its type\n");
    EXPECT_EQ(EffectErrors("float4 main() : COLOR\n{\n    float var < int a = 1; > = 0;\n    return 0;\n}\n"
                           "technique {}\n"),
              "memory(3): a local variable carries no annotations\n");
}

// The implicitly sized array of an annotation holds every value given.
TEST(GfxUtilEffectSyntax, AnnotationArraysAreSizedByTheirValues) {
    const std::string text = "technique T < float a[] = {1, 2, 3}; int n = 2 * (3 + 4); > { pass { } }\n";
    ID3DXEffectCompiler* fx = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &fx, nullptr),
              D3D_OK);
    const D3DXHANDLE t = fx->GetTechniqueByName("T");
    D3DXHANDLE a = fx->GetAnnotationByName(t, "a");
    ASSERT_NE(a, nullptr);
    D3DXPARAMETER_DESC desc{};
    ASSERT_EQ(fx->GetParameterDesc(a, &desc), D3D_OK);
    EXPECT_EQ(desc.Elements, 3u);
    float values[3] = {};
    ASSERT_EQ(fx->GetFloatArray(a, values, 3), D3D_OK);
    EXPECT_EQ(values[0], 1.0f);
    EXPECT_EQ(values[2], 3.0f);
    std::int32_t n = 0;
    ASSERT_EQ(fx->GetInt(fx->GetAnnotationByName(t, "n"), &n), D3D_OK);
    EXPECT_EQ(n, 14);
    EXPECT_EQ(fx->Release(), 0u);
}

namespace {

class GfxUtilEffectSyntaxDrawTest : public gfx::test::HlslDrawTest {};
INSTANTIATE_TEST_SUITE_P(, GfxUtilEffectSyntaxDrawTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// D3DXSHADER_PACKMATRIX_ROWMAJOR and _COLUMNMAJOR given to the effect's
// creation pack the matrices of every pass's program, as they pack one
// program's: the registers set by number read as rows or as columns, and the
// effect's own setter writes what the program reads either way.
TEST_P(GfxUtilEffectSyntaxDrawTest, PackingFlagsReachEveryPass) {
    if (Stopped()) return;
    const std::string text = "float2x2 m;\n"
                             "float4 PS() : COLOR { return float4(m[0], m[1]); }\n"
                             "technique T { pass A { PixelShader = compile ps_2_0 PS(); }\n"
                             "              pass B { PixelShader = compile ps_2_0 PS(); } }\n";
    struct Case {
        std::uint32_t flags;
        bool rows;
    };
    const Case cases[] = {{0, false},
                          {D3DXSHADER_PACKMATRIX_ROWMAJOR, true},
                          {D3DXSHADER_PACKMATRIX_COLUMNMAJOR, false},
                          {D3DXSHADER_PACKMATRIX_ROWMAJOR | D3DXSHADER_PACKMATRIX_COLUMNMAJOR, true}};
    IDirect3DVertexShader9* vs = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(vs, nullptr);
    const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0},
                                            {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                            {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1},
                                            {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        ASSERT_EQ(D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, c.flags, nullptr,
                                   &fx, &errors),
                  D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors) errors->Release();
        D3DXPARAMETER_DESC desc{};
        ASSERT_EQ(fx->GetParameterDesc(fx->GetParameterByName(nullptr, "m"), &desc), D3D_OK);
        EXPECT_EQ(desc.Class, c.rows ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS);
        D3DXMATRIX m{};
        m.m[0][0] = 0.1f, m.m[0][1] = 0.2f, m.m[1][0] = 0.3f, m.m[1][1] = 0.4f;
        ASSERT_EQ(fx->SetMatrix("m", &m), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(passes, 2u);
        for (std::uint32_t pass = 0; pass < passes; ++pass) {
            SCOPED_TRACE(pass);
            ASSERT_EQ(fx->BeginPass(pass), D3D_OK);
            D3DXPASS_DESC pd{};
            ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", pass), &pd), D3D_OK);
            ID3DXConstantTable* table = nullptr;
            ASSERT_EQ(D3DXGetShaderConstantTable(pd.pPixelShaderFunction, &table), D3D_OK);
            D3DXCONSTANT_DESC cd{};
            std::uint32_t count = 1;
            ASSERT_EQ(table->GetConstantDesc(table->GetConstantByName(nullptr, "m"), &cd, &count), D3D_OK);
            EXPECT_EQ(cd.Class, c.rows ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS);
            table->Release();
            ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
            ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
            // The effect's setter: the first row whatever the packing.
            Clear();
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
            ExpectPixel(8, 8, 0.1 * 255, 0.2 * 255, 0.3 * 255);
            // The registers by number: rows read their first two
            // components, columns their first of each.
            const float registers[8] = {0.1f, 0.2f, 0, 0, 0.3f, 0.4f, 0, 0};
            ASSERT_EQ(device->SetPixelShaderConstantF(0, registers, 2), D3D_OK);
            Clear();
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
            if (c.rows)
                ExpectPixel(8, 8, 0.1 * 255, 0.2 * 255, 0.3 * 255);
            else
                ExpectPixel(8, 8, 0.1 * 255, 0.3 * 255, 0.2 * 255);
            ASSERT_EQ(fx->EndPass(), D3D_OK);
        }
        ASSERT_EQ(fx->End(), D3D_OK);
        EXPECT_EQ(fx->Release(), 0u);
    }
}
