#include "platform/gfxutil/GfxUtilEffect.h"

#include "platform/gfxutil/GfxUtilEffectData.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfxutil/TempFolder.h"

#include <gtest/gtest.h>

#include <limits>

#include <bit>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

using namespace gfx;

namespace {

// A compiler object from text; the error lines land in `errors`.
ID3DXEffectCompiler* Compile(const std::string& text, std::string* errors = nullptr,
                             const D3DXMACRO* defines = nullptr) {
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* buffer = nullptr;
    const HRESULT hr = D3DXCreateEffectCompiler(text.data(), static_cast<std::uint32_t>(text.size()), defines,
                                                nullptr, 0, &compiler, &buffer);
    if (buffer) {
        if (errors) *errors = static_cast<const char*>(buffer->GetBufferPointer());
        buffer->Release();
    }
    EXPECT_EQ(SUCCEEDED(hr), compiler != nullptr);
    return compiler;
}

std::string ErrorsOf(const std::string& text, const D3DXMACRO* defines = nullptr) {
    std::string errors;
    ID3DXEffectCompiler* c = Compile(text, &errors, defines);
    EXPECT_EQ(c, nullptr) << text;
    if (c) c->Release();
    return errors;
}

const char* kParameters = R"(
bool Flag = true;
int Count : COUNT < string UIName = "count"; int min = -2; > = -7;
float Scale = 2.5;
float3 Tint : DIFFUSE = float3(0.5, 1, 2);
float4x4 World : WORLD;
row_major float3x3 Basis = {1, 2, 3, 4, 5, 6, 7, 8, 9};
float2x3 Wide = {{1, 2, 3}, {4, 5, 6}};
float4 Palette[3];
texture Plain;
texture2D Flat < string name = "a.dds"; string NTM = "decal"; int NTMIndex = 2; >;
texture3D Deep;
textureCUBE Sky;
string Label = "hello \"world\"";
sampler2D FlatSampler = sampler_state { Texture = <Flat>; MinFilter = Linear; AddressU = clamp; };
static float Hidden = 1;
)";

} // namespace

TEST(GfxUtilEffectReadTest, ParametersAreDescribedByClassTypeAndSize) {
    ID3DXEffectCompiler* fx = Compile(kParameters);
    ASSERT_NE(fx, nullptr);
    D3DXEFFECT_DESC effectDesc;
    ASSERT_EQ(fx->GetDesc(&effectDesc), D3D_OK);
    EXPECT_EQ(effectDesc.Parameters, 14u); // the static one is no parameter

    struct Expect {
        const char* name;
        std::uint32_t cls, type, rows, columns, elements, bytes;
        const char* semantic;
    };
    const Expect expected[] = {
        {"Flag", D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 0, 4, nullptr},
        {"Count", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 4, "COUNT"},
        {"Scale", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 4, nullptr},
        {"Tint", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 0, 12, "DIFFUSE"},
        {"World", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 64, "WORLD"},
        {"Basis", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 3, 3, 0, 36, nullptr},
        {"Wide", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 2, 3, 0, 24, nullptr},
        {"Palette", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 3, 48, nullptr},
        {"Plain", D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, 0, 4, nullptr},
        {"Flat", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, 0, 4, nullptr},
        {"Deep", D3DXPC_OBJECT, D3DXPT_TEXTURE3D, 0, 0, 0, 4, nullptr},
        {"Sky", D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0, 0, 4, nullptr},
        {"Label", D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, 0, 4, nullptr},
        {"FlatSampler", D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, 0, 4, nullptr},
    };
    for (std::uint32_t i = 0; i < std::size(expected); ++i) {
        const Expect& e = expected[i];
        SCOPED_TRACE(e.name);
        D3DXHANDLE h = fx->GetParameter(nullptr, i);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(fx->GetParameterByName(nullptr, e.name), h);
        D3DXPARAMETER_DESC d;
        ASSERT_EQ(fx->GetParameterDesc(h, &d), D3D_OK);
        EXPECT_STREQ(d.Name, e.name);
        EXPECT_EQ(d.Class, e.cls);
        EXPECT_EQ(d.Type, e.type);
        EXPECT_EQ(d.Rows, e.rows);
        EXPECT_EQ(d.Columns, e.columns);
        EXPECT_EQ(d.Elements, e.elements);
        EXPECT_EQ(d.Bytes, e.bytes);
        if (e.semantic) EXPECT_STREQ(d.Semantic, e.semantic);
        else EXPECT_EQ(d.Semantic, nullptr);
    }
    EXPECT_EQ(fx->GetParameter(nullptr, 14), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "Hidden"), nullptr);
    EXPECT_EQ(fx->GetParameterBySemantic(nullptr, "world"), fx->GetParameterByName(nullptr, "World"));

    // Annotations by index and name, typed.
    D3DXHANDLE count = fx->GetParameterByName(nullptr, "Count");
    ASSERT_NE(fx->GetAnnotation(count, 1), nullptr);
    EXPECT_EQ(fx->GetAnnotation(count, 2), nullptr);
    const char* text = nullptr;
    ASSERT_EQ(fx->GetString(fx->GetAnnotationByName(count, "UIName"), &text), D3D_OK);
    EXPECT_STREQ(text, "count");
    std::int32_t minimum = 0;
    ASSERT_EQ(fx->GetInt(fx->GetAnnotation(count, 1), &minimum), D3D_OK);
    EXPECT_EQ(minimum, -2);
    D3DXPARAMETER_DESC ad;
    ASSERT_EQ(fx->GetParameterDesc(fx->GetAnnotationByName("Flat", "NTMIndex"), &ad), D3D_OK);
    EXPECT_STREQ(ad.Name, "NTMIndex");
    EXPECT_EQ(ad.Type, D3DXPT_INT);
    EXPECT_EQ(fx->Release(), 0u);
}

TEST(GfxUtilEffectReadTest, InitialValuesAndTypedAccessHoldToTheParameter) {
    ID3DXEffectCompiler* fx = Compile(kParameters);
    ASSERT_NE(fx, nullptr);
    std::int32_t b = 0, i = 0;
    float f = 0;
    ASSERT_EQ(fx->GetBool("Flag", &b), D3D_OK);
    EXPECT_EQ(b, 1);
    ASSERT_EQ(fx->GetInt("Count", &i), D3D_OK);
    EXPECT_EQ(i, -7);
    ASSERT_EQ(fx->GetFloat("Scale", &f), D3D_OK);
    EXPECT_EQ(f, 2.5f);
    D3DXVECTOR4 v;
    ASSERT_EQ(fx->GetVector("Tint", &v), D3D_OK);
    EXPECT_EQ(v.x, 0.5f);
    EXPECT_EQ(v.y, 1.0f);
    EXPECT_EQ(v.z, 2.0f);
    EXPECT_EQ(v.w, 0.0f);
    const char* label = nullptr;
    ASSERT_EQ(fx->GetString("Label", &label), D3D_OK);
    EXPECT_STREQ(label, "hello \"world\"");

    // Matrices as written, rows by columns; the transpose swaps.
    D3DXMATRIX m, t;
    ASSERT_EQ(fx->GetMatrix("Basis", &m), D3D_OK);
    ASSERT_EQ(fx->GetMatrixTranspose("Basis", &t), D3D_OK);
    EXPECT_EQ(m.m[0][1], 2.0f);
    EXPECT_EQ(m.m[2][0], 7.0f);
    EXPECT_EQ(m.m[3][3], 0.0f);
    EXPECT_EQ(t.m[1][0], 2.0f);
    ASSERT_EQ(fx->GetMatrix("Wide", &m), D3D_OK);
    EXPECT_EQ(m.m[1][2], 6.0f);
    EXPECT_EQ(m.m[2][1], 0.0f);

    // Another type or class is refused, nothing read or written.
    EXPECT_EQ(fx->GetInt("Scale", &i), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetFloat("Count", &f), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetBool("Count", &b), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetMatrix("Tint", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetVector("World", &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetString("Scale", &label), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->SetFloat("Flag", 1.0f), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->GetFloat("Missing", &f), D3DERR_INVALIDCALL);
    IDirect3DBaseTexture9* texture = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    ASSERT_EQ(fx->GetTexture("Sky", &texture), D3D_OK);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(fx->GetTexture("Scale", &texture), D3DERR_INVALIDCALL);

    // Setters stop at the parameter's size.
    const float many[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    ASSERT_EQ(fx->SetFloatArray("Palette", many, 20), D3D_OK);
    float back[12] = {};
    ASSERT_EQ(fx->GetFloatArray("Palette", back, 12), D3D_OK);
    EXPECT_EQ(back[11], 12.0f);
    EXPECT_EQ(fx->SetValue("Tint", many, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->SetValue("Tint", many, 12), D3D_OK);
    D3DXMATRIX four[4] = {};
    for (int k = 0; k < 4; ++k) four[k].m[0][0] = float(k + 1);
    EXPECT_EQ(fx->SetMatrixTransposeArray("World", four, 4), D3D_OK); // one element: the rest ignored
    ASSERT_EQ(fx->GetMatrix("World", &m), D3D_OK);
    EXPECT_EQ(m.m[0][0], 1.0f);
    const D3DXVECTOR4 wide = {9, 8, 7, 6};
    ASSERT_EQ(fx->SetVector("Tint", &wide), D3D_OK);
    ASSERT_EQ(fx->GetVector("Tint", &v), D3D_OK);
    EXPECT_EQ(v.z, 7.0f);
    EXPECT_EQ(v.w, 0.0f); // three components kept
    ASSERT_EQ(fx->SetBool("Flag", 5), D3D_OK);
    ASSERT_EQ(fx->GetBool("Flag", &b), D3D_OK);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(fx->Release(), 0u);
}

TEST(GfxUtilEffectReadTest, ProblemsAreReportedAsFileLineText) {
    EXPECT_EQ(ErrorsOf("float a = 1;\nfloat3 b = {1, 2};\n"),
              "memory(2): 'b' has 2 initial values, 3 expected\n");
    EXPECT_EQ(ErrorsOf("float a\nfloat b;"), "memory(2): ';' expected before 'float'\n");
    EXPECT_EQ(ErrorsOf("\n\nwibble x;"), "memory(3): unknown type 'wibble'\n");
    EXPECT_EQ(ErrorsOf("float a; float a;"), "memory(1): 'a' declared twice\n");
    EXPECT_EQ(ErrorsOf("technique T { pass P { Texture[0] = <Nothing>; } }"),
              "memory(1): unknown parameter 'Nothing'\n");
    EXPECT_EQ(ErrorsOf("technique T { pass P { VertexShader = asm { vs_1_1\n mov oPos, v99 }; } }"),
              "memory(1): asm: line 2: register 'v99' is out of range\n");
    EXPECT_NE(ErrorsOf("string s = \"open;").find("memory(1): string without its closing quote"),
              std::string::npos);
    EXPECT_EQ(ErrorsOf("float f = 1;\n/* never\nclosed"), "memory(2): comment without its end\n");
}

TEST(GfxUtilEffectReadTest, ThePreprocessorIncludesDefinesAndChooses) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("gfxutil_effect_pp_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Inc");
    std::ofstream(dir / "Inc" / "common.fxh") << "#define SIZE 3\n#include \"deeper.fxh\"\nfloat FromInclude;\n";
    std::ofstream(dir / "Inc" / "deeper.fxh") << "float Deeper;\n";
    std::ofstream(dir / "Inc" / "bad.fxh") << "float ok;\n#wibble\n";
    std::ofstream(dir / "main.fx")
        << "#include \"Inc/common.fxh\"\n"
           "#define NAME Renamed // trailing comment\n"
           "float NAME[SIZE];\n"
           "#if defined(SIZE) && SIZE * 2 == 6 && !defined MISSING\n"
           "float Taken;\n"
           "#elif 1\n"
           "float NotTaken;\n"
           "#else\n"
           "float NotTakenEither;\n"
           "#endif\n"
           "#undef NAME\n"
           "#ifdef NAME\n"
           "float Gone;\n"
           "#elif (SIZE << 2) > 11 /* 12 */\n"
           "float Shifted;\n"
           "#endif\n"
           "#ifndef EXTRA\n"
           "float NoExtra;\n"
           "#else\n"
           "float EXTRA;\n"
           "#endif\n";
    ID3DXEffectCompiler* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "main.fx").c_str(), nullptr, nullptr, 0, &fx, &errors), D3D_OK);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(errors, nullptr);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; fx->GetParameter(nullptr, i); ++i) names.push_back(fx->GetParameter(nullptr, i));
    EXPECT_EQ(names, (std::vector<std::string>{"Deeper", "FromInclude", "Renamed", "Taken", "Shifted", "NoExtra"}));
    D3DXPARAMETER_DESC d;
    ASSERT_EQ(fx->GetParameterDesc("Renamed", &d), D3D_OK);
    EXPECT_EQ(d.Elements, 3u);
    fx->Release();

    // Macros given by the caller.
    const D3DXMACRO defines[] = {{"EXTRA", "Given"}, {nullptr, nullptr}};
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "main.fx").c_str(), defines, nullptr, 0, &fx, nullptr), D3D_OK);
    EXPECT_NE(fx->GetParameterByName(nullptr, "Given"), nullptr);
    EXPECT_EQ(fx->GetParameterByName(nullptr, "NoExtra"), nullptr);
    fx->Release();

    // An error inside an include names the include and its line.
    std::ofstream(dir / "uses_bad.fx") << "\n#include \"Inc/bad.fxh\"\n";
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "uses_bad.fx").c_str(), nullptr, nullptr, 0, &fx, &errors),
              E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())),
              (dir / "Inc/bad.fxh").string() + "(2): unsupported directive '#wibble'\n");
    errors->Release();

    // Not beside the file: the include folders are searched in order, and a
    // compiled pass's error inside an include names the include's line.
    std::filesystem::create_directories(dir / "first");
    std::filesystem::create_directories(dir / "second");
    std::ofstream(dir / "second" / "Shade.fxh") << "float4 Shade(float4 c)\n{\n    return c * Missing;\n}\n";
    std::ofstream(dir / "first" / "tint.fxh") << "float4 Tint = {1, 1, 1, 1};\n";
    std::ofstream(dir / "folders.fx") << "#include <tint.fxh>\n#include \"shade.fxh\"\n"
                                         "float4 PS() : COLOR { return Shade(Tint); }\n"
                                         "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\n";
    EXPECT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "folders.fx").c_str(), nullptr, nullptr, 0, &fx, nullptr),
              E_FAIL);
    SetIncludeFolders({(dir / "first").string(), (dir / "second").string() + "/"});
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "folders.fx").c_str(), nullptr, nullptr, 0, &fx, &errors),
              D3D_OK);
    SetIncludeFolders({});
    EXPECT_NE(fx->GetParameterByName(nullptr, "Tint"), nullptr);
    ASSERT_NE(errors, nullptr);
    const std::string warning = static_cast<const char*>(errors->GetBufferPointer());
    EXPECT_NE(warning.find("second/shade.fxh(3): warning: 'Missing'"), std::string::npos) << warning;
    errors->Release();
    fx->Release();
    std::filesystem::remove_all(dir);

    EXPECT_EQ(ErrorsOf("#include \"nowhere.fxh\"\n"), "memory(1): cannot open include file 'nowhere.fxh'\n");
    EXPECT_EQ(ErrorsOf("float b;\n#if 1\nfloat a;\n"), "memory(2): #if without #endif\n");
    EXPECT_EQ(ErrorsOf("#endif\n"), "memory(1): #endif without #if\n");
    EXPECT_EQ(ErrorsOf("#ifndef NEEDED\n#error   NEEDED must be given\n#endif\n"),
              "memory(2): #error NEEDED must be given\n");
    EXPECT_EQ(ErrorsOf("#if 1 / 0\n#endif\n"), "memory(1): #if: division by zero\n");
    // Each name doubles the next: 2^16 copies are more than a line may grow to.
    std::string doubling;
    for (char c = 'A'; c < 'Q'; ++c)
        doubling += std::string("#define ") + c + " " + char(c + 1) + " " + char(c + 1) + "\n";
    EXPECT_EQ(ErrorsOf(doubling + "float A;\n"), "memory(17): macro expansion too long\n");
    // A name is never expanded inside its own expansion.
    std::string none;
    ID3DXEffectCompiler* self = Compile("#define Self Self\n#define Twice Twice Twice\nfloat Self;\n", &none);
    ASSERT_NE(self, nullptr) << none;
    EXPECT_NE(self->GetParameterByName(nullptr, "Self"), nullptr);
    self->Release();
    // A chain longer than the nesting limit.
    std::string chain;
    for (int i = 0; i < 70; ++i) chain += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
    EXPECT_EQ(ErrorsOf(chain + "float M0;\n"), "memory(71): macro expansion nested too deeply\n");
}

TEST(GfxUtilEffectReadTest, PragmasAreAppliedOrLetPassWithAWarning) {
    std::string warnings;
    ID3DXEffectCompiler* fx = Compile("#pragma pack_matrix(row_major)\n"
                                      "float4x4 A;\n"
                                      "column_major float4x4 B;\n"
                                      "#pragma pack_matrix( column_major )\n"
                                      "float4x4 C;\n"
                                      "row_major float3x3 D;\n"
                                      "#pragma warning(disable: 3205)\n"
                                      "#pragma vendor_switch on\n"
                                      "#pragma message(\"built here\")\n"
                                      "#pragma pack_matrix(sideways)\n"
                                      "#if 0\n#pragma skipped\n#endif\n"
                                      "#\n"
                                      "float4x4 E;\n",
                                      &warnings);
    ASSERT_NE(fx, nullptr) << warnings;
    // Warnings come back with the file that was read, as file(line): text.
    EXPECT_EQ(warnings, "memory(8): warning: unknown #pragma 'vendor_switch' ignored\n"
                        "memory(9): warning: message: built here\n"
                        "memory(10): warning: #pragma pack_matrix takes row_major or column_major; ignored\n");
    const std::pair<const char*, std::uint32_t> expected[] = {{"A", D3DXPC_MATRIX_ROWS},
                                                              {"B", D3DXPC_MATRIX_COLUMNS},
                                                              {"C", D3DXPC_MATRIX_COLUMNS},
                                                              {"D", D3DXPC_MATRIX_ROWS},
                                                              {"E", D3DXPC_MATRIX_COLUMNS}};
    for (const auto& [name, cls] : expected) {
        SCOPED_TRACE(name);
        D3DXPARAMETER_DESC d;
        ASSERT_EQ(fx->GetParameterDesc(name, &d), D3D_OK);
        EXPECT_EQ(d.Class, cls);
    }
    fx->Release();

    // "#pragma once": a file read once however often it is included; without
    // it the second inclusion declares its parameter again.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("gfxutil_effect_once_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "once.fxh") << "#pragma once\nfloat Once;\n";
    std::ofstream(dir / "twice.fxh") << "float Twice;\n";
    std::ofstream(dir / "main.fx") << "#include \"once.fxh\"\n#include \"once.fxh\"\nfloat After;\n";
    std::ofstream(dir / "both.fx") << "#include \"twice.fxh\"\n#include \"twice.fxh\"\n";
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "main.fx").c_str(), nullptr, nullptr, 0, &fx, &errors), D3D_OK);
    EXPECT_EQ(errors, nullptr);
    EXPECT_NE(fx->GetParameterByName(nullptr, "Once"), nullptr);
    EXPECT_NE(fx->GetParameterByName(nullptr, "After"), nullptr);
    fx->Release();
    ASSERT_EQ(D3DXCreateEffectCompilerFromFileA((dir / "both.fx").c_str(), nullptr, nullptr, 0, &fx, &errors), E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())),
              (dir / "twice.fxh").string() + "(1): 'Twice' declared twice\n");
    errors->Release();
    std::filesystem::remove_all(dir);
}

namespace {
const char* kMacros = "#define SQUARE(x) ((x) * (x))\n"
                      "#define ADD(a, b) (a + b)\n"
                      "#define DIM(n) SQUARE(ADD(n, 1))\n"
                      "#if DIM(1) == 4 && SQUARE (3) == 9\n"
                      "float Arithmetic;\n"
                      "#endif\n"
                      "#define CAT_(a, b) a ## b\n"
                      "#define CAT(a, b) CAT_(a, b)\n"
                      "float CAT(CAT(X, Y), Z);\n"
                      "#define STR(x) #x\n"
                      "string Said = STR( hello   \"q\"  world );\n"
                      "#define FIRST(a, ...) a\n"
                      "#define REST(a, ...) __VA_ARGS__\n"
                      "#if FIRST(3, 4, 5) == 3 && REST(1, 2) == 2\n"
                      "float Variadic;\n"
                      "#endif\n"
                      "#define DECLARE(type, name) type name;\n"
                      "DECLARE(float,\n"
                      "        Split)\n"
                      "float DECLARE;\n"
                      "#define NONE() 2\n"
                      "float Sized[NONE()];\n";
} // namespace

TEST(GfxUtilEffectReadTest, FunctionLikeMacrosTakeArgumentsNestStringizeAndPaste) {
    std::string errors;
    ID3DXEffectCompiler* fx = Compile(kMacros, &errors);
    ASSERT_NE(fx, nullptr) << errors;
    EXPECT_EQ(errors, "");
    for (const char* name : {"Arithmetic", "XYZ", "Said", "Variadic", "Split", "DECLARE", "Sized"})
        EXPECT_NE(fx->GetParameterByName(nullptr, name), nullptr) << name;
    const char* said = nullptr;
    ASSERT_EQ(fx->GetString("Said", &said), D3D_OK);
    EXPECT_STREQ(said, "hello \"q\" world");
    D3DXPARAMETER_DESC d;
    ASSERT_EQ(fx->GetParameterDesc("Sized", &d), D3D_OK);
    EXPECT_EQ(d.Elements, 2u);
    fx->Release();

    // Cut at every length: read or refused with a reason, never more.
    const std::string whole = kMacros;
    for (std::size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        std::string cutErrors;
        ID3DXEffectCompiler* cut = Compile(whole.substr(0, n), &cutErrors);
        if (cut) cut->Release();
        else EXPECT_NE(cutErrors.find("memory("), std::string::npos);
    }

    // A function-like macro's name without arguments stays a name, also at
    // the end of a line before a directive.
    std::string plain;
    fx = Compile("#define F(x) x\nfloat F\n#define G 1\n;\n", &plain);
    ASSERT_NE(fx, nullptr) << plain;
    EXPECT_NE(fx->GetParameterByName(nullptr, "F"), nullptr);
    fx->Release();
    // A call over several lines keeps the lines after it where they were.
    EXPECT_EQ(ErrorsOf("#define DECLARE(t, n) t n;\nDECLARE(float,\n  X)\nwibble y;\n"),
              "memory(4): unknown type 'wibble'\n");
    // Real errors, each on its own line.
    EXPECT_EQ(ErrorsOf("#define F(x) x\nfloat F(1, 2);\n"), "memory(2): macro 'F' takes 1 argument, 2 given\n");
    EXPECT_EQ(ErrorsOf("#define F(x, x) x\n"), "memory(1): 'x' named twice in the parameters of 'F'\n");
    EXPECT_EQ(ErrorsOf("#define F(x y) x\n"), "memory(1): bad parameter list in the definition of 'F'\n");
    EXPECT_EQ(ErrorsOf("#define F(x, ...,y) x\n"), "memory(1): bad parameter list in the definition of 'F'\n");
    EXPECT_EQ(ErrorsOf("#define S(x) #y\n"), "memory(1): '#' not followed by a parameter in the definition of 'S'\n");
    EXPECT_EQ(ErrorsOf("#define P(x) ## x\n"), "memory(1): '##' at the edge of the definition of 'P'\n");
    EXPECT_EQ(ErrorsOf("#define F(x) x\nfloat F(a;\n"), "memory(2): macro call without its ')'\n");
    EXPECT_EQ(ErrorsOf("#define F(x) x\nfloat F(a;\n#define G 1\n"), "memory(2): macro call without its ')'\n");
    EXPECT_EQ(ErrorsOf("#define F(x) x\n#if F(1\n#endif\n"), "memory(2): macro call without its ')'\n");
}

namespace {

const char* kTechniques = R"(
texture Tex;
sampler2D Samp = sampler_state { Texture = <Tex>; MagFilter = Point; };
float4x4 WorldViewProj : WORLDVIEWPROJECTION;
float4 Colour = {1, 0, 0, 1};
float Unused;
float Helper;
int Blend = 5;
float4 shade(float4 c) { return c * Helper; }
float4 mainPS(float2 uv : TEXCOORD0) : COLOR { return shade(tex2D(Samp, uv)) * Colour; }
float4 mainVS(float4 p : POSITION) : POSITION { return mul(p, WorldViewProj); }

technique Fixed < string shadername = "Quad"; int implementation = 0; >
{
    pass P0 < string desc = "first"; >
    {
        alphablendenable = TRUE;
        SrcBlend = srcalpha;
        DESTBLEND = <Blend>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture | AlphaReplicate;
        Texture[0] = <Tex>;
        AddressU[1] = Mirror;
        FogStart = 2;
        VertexShader = NULL;
    }
    pass P1
    {
        Sampler[2] = <Samp>;
        VertexShaderConstant4[4] = <WorldViewProj>;
        PixelShaderConstantF[1] = float4(1, 2, 3, 4);
        ZEnable = false;
    }
}
technique Assembled
{
    pass
    {
        VertexShader = asm { vs_1_1
            dcl_position v0
            dcl_texcoord1 v7
            m4x4 oPos, v0, c0
            mov oT0, v7 };
        PixelShader = asm { ps_1_1
            tex t0
            mov r0, t0 };
    }
}
technique Compiled
{
    pass { VertexShader = compile vs_2_0 mainVS(); PixelShader = compile ps_2_0 mainPS(); }
}
technique Odd { pass { Wibble = 3; } }
technique BadValue { pass { CullMode = Sideways; } }
technique BadIndex { pass { ColorOp[9] = Modulate; } }
)";

} // namespace

TEST(GfxUtilEffectReadTest, TechniquesPassesAndTheirShaders) {
    std::string errors;
    ID3DXEffectCompiler* fx = Compile(kTechniques, &errors);
    ASSERT_NE(fx, nullptr) << errors;
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(fx->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Techniques, 6u);
    EXPECT_EQ(desc.Functions, 3u);
    D3DXHANDLE fixed = fx->GetTechnique(0);
    EXPECT_EQ(fx->GetTechniqueByName("Fixed"), fixed);
    D3DXTECHNIQUE_DESC td;
    ASSERT_EQ(fx->GetTechniqueDesc(fixed, &td), D3D_OK);
    EXPECT_STREQ(td.Name, "Fixed");
    EXPECT_EQ(td.Passes, 2u);
    EXPECT_EQ(td.Annotations, 2u);
    const char* shaderName = nullptr;
    ASSERT_EQ(fx->GetString(fx->GetAnnotation(fixed, 0), &shaderName), D3D_OK);
    EXPECT_STREQ(shaderName, "Quad");
    D3DXHANDLE p0 = fx->GetPass(fixed, 0);
    EXPECT_EQ(fx->GetPassByName(fixed, "P0"), p0);
    D3DXPASS_DESC pd;
    ASSERT_EQ(fx->GetPassDesc(p0, &pd), D3D_OK);
    EXPECT_STREQ(pd.Name, "P0");
    EXPECT_EQ(pd.Annotations, 1u);
    EXPECT_EQ(pd.pVertexShaderFunction, nullptr);
    EXPECT_EQ(pd.pPixelShaderFunction, nullptr);

    // Assembly: the assembler's own tokens, and its inputs readable.
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Assembled", 0), &pd), D3D_OK);
    ASSERT_NE(pd.pVertexShaderFunction, nullptr);
    ASSERT_NE(pd.pPixelShaderFunction, nullptr);
    EXPECT_EQ(D3DXGetShaderVersion(pd.pVertexShaderFunction), D3DVS_VERSION(1, 1));
    EXPECT_EQ(D3DXGetShaderVersion(pd.pPixelShaderFunction), D3DPS_VERSION(1, 1));
    const std::string vs = "vs_1_1\ndcl_position v0\ndcl_texcoord1 v7\nm4x4 oPos, v0, c0\nmov oT0, v7";
    ID3DXBuffer* code = nullptr;
    ASSERT_EQ(D3DXAssembleShader(vs.data(), std::uint32_t(vs.size()), 0, &code, nullptr), D3D_OK);
    EXPECT_EQ(std::memcmp(code->GetBufferPointer(), pd.pVertexShaderFunction, code->GetBufferSize()), 0);
    code->Release();
    D3DXSEMANTIC semantics[4];
    std::uint32_t count = 0;
    ASSERT_EQ(D3DXGetShaderInputSemantics(pd.pVertexShaderFunction, semantics, &count), D3D_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(semantics[1].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(semantics[1].UsageIndex, 1u);

    // compile: the compiler's program, its version and inputs readable.
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Compiled", 0), &pd), D3D_OK);
    ASSERT_NE(pd.pVertexShaderFunction, nullptr);
    ASSERT_TRUE(IsShaderContainer(pd.pVertexShaderFunction));
    EXPECT_EQ(D3DXGetShaderVersion(pd.pVertexShaderFunction), D3DVS_VERSION(2, 0));
    EXPECT_EQ(D3DXGetShaderVersion(pd.pPixelShaderFunction), D3DPS_VERSION(2, 0));
    ASSERT_EQ(D3DXGetShaderInputSemantics(pd.pVertexShaderFunction, semantics, &count), D3D_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(semantics[0].Usage, D3DDECLUSAGE_POSITION);
    ASSERT_EQ(D3DXGetShaderInputSemantics(pd.pPixelShaderFunction, semantics, &count), D3D_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(semantics[0].Usage, D3DDECLUSAGE_TEXCOORD);
    // Each program's table holds what it reads, nothing else.
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3DXGetShaderConstantTable(pd.pPixelShaderFunction, &table), D3D_OK);
    D3DXCONSTANTTABLE_DESC td2;
    ASSERT_EQ(table->GetDesc(&td2), D3D_OK);
    EXPECT_EQ(td2.Constants, 3u); // Samp, Colour, Helper
    EXPECT_NE(table->GetConstantByName(nullptr, "Helper"), nullptr);
    EXPECT_EQ(table->GetConstantByName(nullptr, "Unused"), nullptr);
    EXPECT_EQ(table->GetConstantByName(nullptr, "WorldViewProj"), nullptr);
    table->Release();

    // No effect interface without a device.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(fx->QueryInterface(IID_ID3DXEffect, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(fx->QueryInterface(IID_ID3DXEffectCompiler, &out), D3D_OK);
    EXPECT_EQ(out, fx);
    fx->Release();
    EXPECT_EQ(fx->Release(), 0u);
}

// An effect saved by Windows and older Mac editors: a byte-order mark
// first and CR LF or lone CR line ends. Its first "//" comment hides nothing,
// so its programs are read and compiled, and problems keep their lines.
TEST(GfxUtilEffectReadTest, ByteOrderMarksAndEveryLineEndAreRead) {
    for (const std::string end : {"\r", "\r\n"}) {
        SCOPED_TRACE(end == "\r" ? "CR" : "CR LF");
        const std::string text = "\xEF\xBB\xBF// a sprite effect" + end + "float4 Tint = {1, 0, 0, 1};" + end +
                                 "float4 PS() : COLOR { return Tint; }" + end +
                                 "technique T { pass P { PixelShader = compile ps_2_0 PS(); } }" + end;
        std::string errors;
        ID3DXEffectCompiler* fx = Compile(text, &errors);
        ASSERT_NE(fx, nullptr) << errors;
        D3DXEFFECT_DESC desc;
        ASSERT_EQ(fx->GetDesc(&desc), D3D_OK);
        EXPECT_EQ(desc.Parameters, 1u);
        EXPECT_EQ(desc.Techniques, 1u);
        D3DXPASS_DESC pd{};
        ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 0), &pd), D3D_OK);
        ASSERT_NE(pd.pPixelShaderFunction, nullptr) << errors;
        EXPECT_TRUE(IsShaderContainer(pd.pPixelShaderFunction));
        EXPECT_EQ(fx->Release(), 0u);
        const std::string wrong = ErrorsOf("\xEF\xBB\xBF// note" + end + end + "float4 Tint = {1, 0, 0, 1}" + end +
                                           "technique T { pass { } }" + end);
        EXPECT_TRUE(wrong.starts_with("memory(4)")) << wrong;
    }
}

// An annotation is a named value: one without its value, or a name given
// twice in one block, refuses the effect at its line.
TEST(GfxUtilEffectReadTest, AnnotationsHaveAValueAndANameOnce) {
    EXPECT_EQ(ErrorsOf("technique < int a = 0; float a = 1.0; > { pass { } }\n"),
              "memory(1): annotation 'a' declared twice\n");
    EXPECT_EQ(ErrorsOf("technique\n{\n    pass < int a = 0; float a = 1.0; > { }\n}\n"),
              "memory(3): annotation 'a' declared twice\n");
    EXPECT_EQ(ErrorsOf("\ntechnique < int a; > { }\n"), "memory(2): annotation 'a' without its value\n");
    EXPECT_EQ(ErrorsOf("float4 f < string UIName; > = 0;\n"), "memory(1): annotation 'UIName' without its value\n");
    std::string errors;
    ID3DXEffectCompiler* fine = Compile("float4 f < string A = \"a\"; int B = 1; > = 0;\n"
                                        "technique < int a = 0; > { pass < float a = 1; > { } }\n",
                                        &errors);
    ASSERT_NE(fine, nullptr) << errors;
    EXPECT_EQ(fine->Release(), 0u);
}

// The names and words of the table give the published numbers, each name once.
TEST(GfxUtilEffectReadTest, TheStateTableIsPinned) {
    using effect::FindState;
    using effect::StateKind;
    struct Pin {
        const char* name;
        StateKind kind;
        std::uint32_t number, indices;
    };
    const Pin pins[] = {
        {"zenable", StateKind::Render, 7, 0},          {"ALPHABLENDENABLE", StateKind::Render, 27, 0},
        {"SrcBlend", StateKind::Render, 19, 0},        {"DestBlend", StateKind::Render, 20, 0},
        {"CullMode", StateKind::Render, 22, 0},        {"Lighting", StateKind::Render, 137, 0},
        {"FogStart", StateKind::Render, 36, 0},        {"BlendOpAlpha", StateKind::Render, 209, 0},
        {"Wrap15", StateKind::Render, 205, 0},         {"ColorOp", StateKind::TextureStage, 1, 8},
        {"TexCoordIndex", StateKind::TextureStage, 11, 8}, {"Constant", StateKind::TextureStage, 32, 8},
        {"AddressU", StateKind::Sampler, 1, 16},       {"DMapOffset", StateKind::Sampler, 13, 16},
        {"WorldTransform", StateKind::Transform, 256, 256}, {"ViewTransform", StateKind::Transform, 2, 0},
        {"TextureTransform", StateKind::Transform, 16, 8},
        {"LightEnable", StateKind::LightEnable, 0, 8}, {"lightphi", StateKind::Light, effect::kLightPhi, 8},
        {"MaterialPower", StateKind::Material, effect::kMaterialPower, 0},
    };
    for (const Pin& pin : pins) {
        const effect::StateInfo* info = FindState(pin.name);
        ASSERT_NE(info, nullptr) << pin.name;
        EXPECT_EQ(info->kind, pin.kind) << pin.name;
        EXPECT_EQ(info->number, pin.number) << pin.name;
        EXPECT_EQ(info->indices, pin.indices) << pin.name;
    }
    EXPECT_EQ(FindState("Wibble"), nullptr);
    std::set<std::string> names;
    for (const effect::StateInfo& info : effect::StateTable()) {
        std::string lower = info.name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(names.insert(lower).second) << info.name;
    }
    EXPECT_EQ(names.size(), 178u); // the render, stage, sampler, light, material, object and constant states
    std::uint32_t n = 0;
    EXPECT_TRUE(effect::FindValueWord(effect::ValueType::Blend, "invsrcalpha", n));
    EXPECT_EQ(n, 6u);
    EXPECT_TRUE(effect::FindValueWord(effect::ValueType::TextureArg, "AlphaReplicate", n));
    EXPECT_EQ(n, 0x20u);
    EXPECT_TRUE(effect::FindValueWord(effect::ValueType::LightType, "spot", n));
    EXPECT_EQ(n, 2u);
    EXPECT_TRUE(effect::FindValueWord(effect::ValueType::Filter, "Anisotropic", n));
    EXPECT_EQ(n, 3u);
    EXPECT_TRUE(effect::FindValueWord(effect::ValueType::TextureOp, "Lerp", n));
    EXPECT_EQ(n, 26u);
    EXPECT_FALSE(effect::FindValueWord(effect::ValueType::Cull, "Modulate", n));
}

// Texts that try the reader's limits: refused or read, never a crash.
TEST(GfxUtilEffectReadTest, HostileTextsAreRefusedCleanly) {
    const std::string hostile[] = {
        std::string(5000, '{'),
        "float a = " + std::string(3000, '(') + "1;",
        "float a = " + std::string(200, '{') + "1" + std::string(200, '}') + ";",
        "float a[4000000000];",
        "float4 v[70000];",
        "technique T { pass P { VertexShader = asm { vs_1_1 ",
        "#if " + std::string(500, '(') + "1\n#endif\n",
        "#if " + std::string(500, '-') + "1\n#endif\n",
        "technique { pass { ColorOp[99999999999999999999] = 1; } }",
        "#define A B\n#define B A\nfloat A;",
        "#if A\n#define A A\n#endif\n",
        std::string("float a;\0float b;", 17),
        "sampler s = sampler_state { Texture = <s>; };",
        "technique { pass { Sampler[0] = <Nothing>; } ",
        "float4x4 m = float4x4(1,2,3);",
        "\"",
        "/",
        "#",
        // Macros: arguments that double at every level, hundreds of
        // parameters, calls that never close, odd '#' and '##'.
        "#define F(x) x x\n#define G(x) F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(F(x))))))))))))))))\nfloat G(a);",
        "#define F(" + std::string(400, 'p') + [] {
            std::string params;
            for (int i = 0; i < 300; ++i) params += ",p" + std::to_string(i);
            return params;
        }() + ") 1\n",
        "#define F(x) x\nfloat F(" + std::string(3000, '(') + "\n",
        "#define F(x) #x\nstring s = F(\"open);",
        "#define F(...) __VA_ARGS__ ## __VA_ARGS__\nfloat F(,,,,);",
        "#define F(x) x ## ## x\nfloat F(a);",
        "#define F(x) F\nfloat F(1)(2)(3);",
        "#define F(x) x\n#if F(defined(F)) F\n#endif\n",
        "#pragma " + std::string(5000, 'x'),
        "#pragma pack_matrix(",
        "#pragma message(",
    };
    for (const std::string& text : hostile) {
        std::string errors;
        ID3DXEffectCompiler* fx = Compile(text, &errors);
        if (fx) fx->Release();
        else EXPECT_FALSE(errors.empty()) << text.substr(0, 80);
    }
}

// ---- on a device ----------------------------------------------------------------

namespace {

// Records every call in order.
class RecordingManager final : public ID3DXEffectStateManager {
public:
    std::vector<std::string> calls;
    std::uint32_t refs = 0;
    HRESULT QueryInterface(const GUID&, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT SetTransform(std::uint32_t s, const D3DMATRIX* m) override {
        return Log("Transform", s, m->m[0][0]);
    }
    HRESULT SetMaterial(const D3DMATERIAL9*) override { return Log("Material", 0, 0); }
    HRESULT SetLight(std::uint32_t i, const D3DLIGHT9*) override { return Log("Light", i, 0); }
    HRESULT LightEnable(std::uint32_t i, std::int32_t e) override { return Log("LightEnable", i, float(e)); }
    HRESULT SetRenderState(std::uint32_t s, std::uint32_t v) override { return Log("RS", s, v); }
    HRESULT SetTexture(std::uint32_t s, IDirect3DBaseTexture9* t) override { return Log("Tex", s, t ? 1 : 0); }
    HRESULT SetTextureStageState(std::uint32_t s, std::uint32_t t, std::uint32_t v) override {
        return Log("TSS", s * 100 + t, v);
    }
    HRESULT SetSamplerState(std::uint32_t s, std::uint32_t t, std::uint32_t v) override {
        return Log("Samp", s * 100 + t, v);
    }
    HRESULT SetNPatchMode(float) override { return Log("NPatch", 0, 0); }
    HRESULT SetFVF(std::uint32_t f) override { return Log("FVF", f, 0); }
    HRESULT SetVertexShader(IDirect3DVertexShader9* s) override { return Log("VS", 0, s ? 1 : 0); }
    HRESULT SetVertexShaderConstantF(std::uint32_t r, const float* d, std::uint32_t n) override {
        return Log("VSF", r * 100 + n, d[0]);
    }
    HRESULT SetVertexShaderConstantI(std::uint32_t r, const std::int32_t*, std::uint32_t n) override {
        return Log("VSI", r * 100 + n, 0);
    }
    HRESULT SetVertexShaderConstantB(std::uint32_t r, const std::int32_t*, std::uint32_t n) override {
        return Log("VSB", r * 100 + n, 0);
    }
    HRESULT SetPixelShader(IDirect3DPixelShader9* s) override { return Log("PS", 0, s ? 1 : 0); }
    HRESULT SetPixelShaderConstantF(std::uint32_t r, const float* d, std::uint32_t n) override {
        return Log("PSF", r * 100 + n, d[3]);
    }
    HRESULT SetPixelShaderConstantI(std::uint32_t r, const std::int32_t*, std::uint32_t n) override {
        return Log("PSI", r * 100 + n, 0);
    }
    HRESULT SetPixelShaderConstantB(std::uint32_t r, const std::int32_t*, std::uint32_t n) override {
        return Log("PSB", r * 100 + n, 0);
    }

private:
    HRESULT Log(const char* what, std::uint32_t a, double b) {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(static_cast<long long>(b)));
        return D3D_OK;
    }
};

} // namespace

class GfxUtilEffectDeviceTest : public gfxtest::BackendTest {
protected:
    ID3DXEffect* Make(const std::string& text) {
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        if (errors) {
            ADD_FAILURE() << static_cast<const char*>(errors->GetBufferPointer());
            errors->Release();
        }
        EXPECT_EQ(hr, D3D_OK);
        return fx;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilEffectDeviceTest, ::testing::Values(gfx::BackendKind::Null),
                         gfxtest::BackendParamName);

TEST_P(GfxUtilEffectDeviceTest, FixedFunctionAndAssemblyTechniquesValidate) {
    Create();
    ID3DXEffect* fx = Make(kTechniques);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("Fixed"), D3D_OK);
    EXPECT_EQ(fx->ValidateTechnique("Compiled"), D3D_OK);
    EXPECT_EQ(fx->ValidateTechnique("Assembled"), D3D_OK); // the device runs programs
    EXPECT_EQ(fx->ValidateTechnique("Odd"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("unknown state 'Wibble'"), std::string::npos);
    EXPECT_EQ(fx->ValidateTechnique("BadValue"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("bad value 'Sideways'"), std::string::npos);
    EXPECT_EQ(fx->ValidateTechnique("BadIndex"), E_FAIL);
    EXPECT_EQ(fx->ValidateTechnique("Nothing"), D3DERR_INVALIDCALL);
    D3DXHANDLE next = nullptr;
    ASSERT_EQ(fx->FindNextValidTechnique(nullptr, &next), D3D_OK);
    EXPECT_STREQ(next, "Fixed");
    ASSERT_EQ(fx->FindNextValidTechnique(next, &next), D3D_OK);
    EXPECT_STREQ(next, "Assembled");
    ASSERT_EQ(fx->FindNextValidTechnique(next, &next), D3D_OK);
    EXPECT_STREQ(next, "Compiled");
    EXPECT_EQ(fx->FindNextValidTechnique(next, &next), E_FAIL);
    EXPECT_EQ(next, nullptr);
    void* out = nullptr;
    ASSERT_EQ(fx->QueryInterface(IID_ID3DXEffect, &out), D3D_OK);
    EXPECT_EQ(out, fx);
    fx->Release();
    EXPECT_EQ(fx->Release(), 0u);
}

TEST_P(GfxUtilEffectDeviceTest, ParametersAreUsedThroughStatesSamplersAndFunctions) {
    Create();
    ID3DXEffect* fx = Make(kTechniques);
    ASSERT_NE(fx, nullptr);
    // A state names it.
    EXPECT_TRUE(fx->IsParameterUsed("Blend", "Fixed"));
    EXPECT_TRUE(fx->IsParameterUsed("WorldViewProj", "Fixed"));
    // A sampler a pass uses names the texture.
    EXPECT_TRUE(fx->IsParameterUsed("Samp", "Fixed"));
    EXPECT_TRUE(fx->IsParameterUsed("Tex", "Fixed"));
    EXPECT_FALSE(fx->IsParameterUsed("Colour", "Fixed"));
    // Functions reachable from the entries, through the calls they make.
    EXPECT_TRUE(fx->IsParameterUsed("Colour", "Compiled"));
    EXPECT_TRUE(fx->IsParameterUsed("Helper", "Compiled"));
    EXPECT_TRUE(fx->IsParameterUsed("Samp", "Compiled"));
    EXPECT_TRUE(fx->IsParameterUsed("Tex", "Compiled"));
    EXPECT_TRUE(fx->IsParameterUsed("WorldViewProj", "Compiled"));
    EXPECT_FALSE(fx->IsParameterUsed("Unused", "Compiled"));
    EXPECT_FALSE(fx->IsParameterUsed("Blend", "Assembled"));
    EXPECT_FALSE(fx->IsParameterUsed("Blend", "Nothing"));
    EXPECT_EQ(fx->Release(), 0u);
}

// Passes set their states in written order through the manager; committing
// sends again only what reads a changed parameter.
TEST_P(GfxUtilEffectDeviceTest, PassesGoThroughTheStateManagerInOrder) {
    Create();
    ID3DXEffect* fx = Make(kTechniques);
    ASSERT_NE(fx, nullptr);
    RecordingManager manager;
    ASSERT_EQ(fx->SetStateManager(&manager), D3D_OK);
    EXPECT_EQ(manager.refs, 1u);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(fx->SetTexture("Tex", texture), D3D_OK);
    D3DXMATRIX wvp{};
    wvp.m[0][0] = 3;
    ASSERT_EQ(fx->SetMatrix("WorldViewProj", &wvp), D3D_OK);

    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE | D3DXFX_DONOTSAVESHADERSTATE | D3DXFX_DONOTSAVESAMPLERSTATE),
              D3D_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(fx->Begin(&passes, 7), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->CommitChanges(), D3DERR_INVALIDCALL); // no open pass
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    const std::uint32_t fogStart = std::bit_cast<std::uint32_t>(2.0f);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{
                                 "RS 27 1", "RS 19 5", "RS 20 5", "TSS 1 4", "TSS 2 34", "Tex 0 1", "Samp 101 2",
                                 "RS 36 " + std::to_string(fogStart), "VS 0 0"}));
    manager.calls.clear();
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_TRUE(manager.calls.empty());
    ASSERT_EQ(fx->SetInt("Blend", 2), D3D_OK);
    ASSERT_EQ(fx->SetFloat("Unused", 1.0f), D3D_OK);
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"RS 20 2"}));
    EXPECT_EQ(fx->BeginPass(1), D3DERR_INVALIDCALL); // one pass at a time
    ASSERT_EQ(fx->EndPass(), D3D_OK);

    manager.calls.clear();
    ASSERT_EQ(fx->BeginPass(1), D3D_OK);
    // The sampler's texture and states at sampler 2; the column-major matrix
    // by columns into four registers; the literal register; then ZEnable.
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"Tex 2 1", "Samp 205 1", "VSF 404 3", "PSF 101 4", "RS 7 0"}));
    manager.calls.clear();
    ASSERT_EQ(fx->SetTexture("Tex", nullptr), D3D_OK);
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"Tex 2 0", "Samp 205 1"}));
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    EXPECT_EQ(fx->End(), D3DERR_INVALIDCALL);

    // A compiled pass binds its programs, then each program's constants from
    // the parameters of their names, in the order the program's table
    // stores them (by name): the matrix by columns from c0; the pixel
    // program's Colour, Helper, then its sampler Tex at its unit.
    ASSERT_EQ(fx->SetTechnique("Compiled"), D3D_OK);
    ASSERT_EQ(fx->Begin(&passes, 7), D3D_OK);
    manager.calls.clear();
    ASSERT_EQ(fx->SetTexture("Tex", texture), D3D_OK);
    ASSERT_EQ(fx->SetFloat("Helper", 3.0f), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"VS 0 1", "VSF 4 3", "PS 0 1", "PSF 1 1", "PSF 101 0",
                                                       "Tex 0 1", "Samp 5 1"}));
    manager.calls.clear();
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_TRUE(manager.calls.empty());
    ASSERT_EQ(fx->SetFloat("Unused", 2.0f), D3D_OK); // no program reads it
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_TRUE(manager.calls.empty());
    ASSERT_EQ(fx->SetFloat("Helper", 5.0f), D3D_OK);
    EXPECT_EQ(fx->CommitChanges(), D3D_OK);
    EXPECT_EQ(manager.calls, (std::vector<std::string>{"PS 0 1", "PSF 1 1", "PSF 101 0", "Tex 0 1", "Samp 5 1"}));
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    EXPECT_EQ(fx->SetTechnique("Nothing"), D3DERR_INVALIDCALL);
    EXPECT_STREQ(fx->GetCurrentTechnique(), "Compiled");

    ID3DXEffectStateManager* held = nullptr;
    ASSERT_EQ(fx->GetStateManager(&held), D3D_OK);
    EXPECT_EQ(held, &manager);
    EXPECT_EQ(manager.refs, 2u);
    held->Release();
    EXPECT_EQ(fx->Release(), 0u);
    EXPECT_EQ(manager.refs, 0u);
    EXPECT_EQ(texture->Release(), 0u);
}

// Compiled passes as effect authors write them: uniform arguments bound by
// the call, an int parameter in float registers, a compile error that
// leaves only its technique invalid and names the effect's own line.
TEST_P(GfxUtilEffectDeviceTest, CompiledPassesTakeArgumentsAndReportTheirErrors) {
    Create();
    const std::string text = R"(float4 Tint < string UIName = "Tint"; > = {0.5, 0.5, 0.5, 1};
int Steps = 3;
string Note = "kept by the effect";
float4 PS(float4 c : COLOR0, uniform bool invert, uniform float k) : COLOR {
    float4 r = c * Tint * Steps * k;
    return invert ? 1 - r : r;
}
technique Args { pass { PixelShader = compile ps_2_0 PS(true, 2.0); } }
technique Again { pass { PixelShader = compile ps_2_0 PS(true, 2.0); } pass { PixelShader = compile ps_2_0 PS(false, 1); } }
technique Miscounted { pass { PixelShader = compile ps_2_0 PS(true); } }
technique Fallback { pass { Lighting = false; } }
technique OldProfile { pass { VertexShader = compile vs_1_0 PS(); } }
)";
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr, &fx,
                               &errors),
              D3D_OK);
    ASSERT_NE(fx, nullptr);
    ASSERT_NE(errors, nullptr);
    const std::string messages = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
    EXPECT_NE(messages.find("'PS' takes 2 uniform arguments, 1 given"), std::string::npos) << messages;
    EXPECT_EQ(fx->ValidateTechnique("Args"), D3D_OK) << fx->ValidationError();
    EXPECT_EQ(fx->ValidateTechnique("Again"), D3D_OK) << fx->ValidationError();
    EXPECT_EQ(fx->ValidateTechnique("Miscounted"), E_FAIL);
    EXPECT_EQ(fx->ValidateTechnique("Fallback"), D3D_OK);
    // A profile the compiler does not have: the pass describes no program
    // (found by fuzz_effect: its bare version token was read past).
    EXPECT_EQ(fx->ValidateTechnique("OldProfile"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("unknown profile 'vs_1_0'"), std::string::npos) << fx->ValidationError();
    D3DXPASS_DESC old{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("OldProfile", 0), &old), D3D_OK);
    EXPECT_EQ(old.pVertexShaderFunction, nullptr);
    // The same call is compiled once; another argument list is its own program.
    D3DXPASS_DESC a{}, b{}, c{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Args", 0), &a), D3D_OK);
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Again", 0), &b), D3D_OK);
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("Again", 1), &c), D3D_OK);
    ASSERT_NE(a.pPixelShaderFunction, nullptr);
    const std::size_t size = ShaderContainerSize(a.pPixelShaderFunction);
    ASSERT_EQ(ShaderContainerSize(b.pPixelShaderFunction), size);
    EXPECT_EQ(std::memcmp(a.pPixelShaderFunction, b.pPixelShaderFunction, size), 0);
    EXPECT_TRUE(ShaderContainerSize(c.pPixelShaderFunction) != size ||
                std::memcmp(a.pPixelShaderFunction, c.pPixelShaderFunction, size) != 0);
    // Steps (an int) goes to its float register as a float.
    ASSERT_EQ(fx->SetTechnique("Args"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 7), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3DXGetShaderConstantTable(a.pPixelShaderFunction, &table), D3D_OK);
    D3DXCONSTANT_DESC desc{};
    std::uint32_t count = 1;
    ASSERT_EQ(table->GetConstantDesc(table->GetConstantByName(nullptr, "Steps"), &desc, &count), D3D_OK);
    float reg[4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(desc.RegisterIndex, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], 3.0f);
    ASSERT_EQ(table->GetConstantDesc(table->GetConstantByName(nullptr, "Tint"), &desc, &count), D3D_OK);
    ASSERT_EQ(device->GetPixelShaderConstantF(desc.RegisterIndex, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], 0.5f);
    table->Release();
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);

    // The compiler reads the whole text: an error anywhere leaves every
    // compiled technique invalid, named at the effect's own line (after an
    // include and a hidden technique), while fixed-function ones still run.
    const std::string broken = "technique Early { pass { Lighting = true; } }\n"
                               "float4 PS(float4 c : COLOR0) : COLOR {\n"
                               "    return c * NotDeclared;\n"
                               "}\n"
                               "technique Bad { pass { PixelShader = compile ps_2_0 PS(); } }\n";
    ASSERT_EQ(D3DXCreateEffect(device, broken.data(), std::uint32_t(broken.size()), nullptr, nullptr, 0, nullptr, &fx,
                               &errors),
              D3D_OK);
    ASSERT_NE(errors, nullptr);
    const std::string lines = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
    EXPECT_NE(lines.find("memory(3): warning: 'NotDeclared'"), std::string::npos) << lines;
    EXPECT_EQ(fx->ValidateTechnique("Bad"), E_FAIL);
    EXPECT_NE(fx->ValidationError().find("NotDeclared"), std::string::npos) << fx->ValidationError();
    EXPECT_EQ(fx->ValidateTechnique("Early"), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);
}

// What effect texts declare around their functions reaches the compiler as
// the dialect has it: storage words, DWORD, constants, static arrays, flat
// lists, annotations, strings and shader objects left to the effect.
TEST_P(GfxUtilEffectDeviceTest, EffectDeclarationsCompileInPasses) {
    Create();
    const char* const texts[] = {
        "shared float4x4 View : VIEW;\nuniform extern float4 T < string UIWidget = \"color\"; > = {1,1,1,1};\n"
        "DWORD Mode = 2;\nconst float K = 2;\nstring Name = \"n\";\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, View) * K * Mode; }\n"
        "float4 PS() : COLOR { return T; }\n"
        "vertexshader Kept = compile vs_2_0 VS();\n"
        "technique A < string Desc = \"a\"; > { pass { VertexShader = <Kept>; PixelShader = compile ps_2_0 PS(); } }\n",
        "float4x4 M;\nstatic float4 Colours[2] = { float4(1,0,0,1), float4(0,1,0,1) };\n"
        "float2 Offsets[2] = { -0.5, 0.5, 0.25, -0.25 };\ntexture T2 : DIFFUSE < string ResourceName = \"a.dds\"; >;\n"
        "samplerCUBE S = sampler_state { Texture = (T2); MinFilter = Linear; };\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR { return Colours[uv.x > 0.5] + Offsets[1].xyxy + texCUBE(S, uv.xyx); }\n"
        "technique B { pass { PixelShader = compile ps_2_0 PS(); ZEnable = true; } }\n",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        ID3DXEffect* fx = Make(text);
        ASSERT_NE(fx, nullptr);
        EXPECT_EQ(fx->ValidateTechnique(fx->GetTechnique(0)), D3D_OK) << fx->ValidationError();
        fx->Release();
    }
    // A packing pragma reaches the compiler: the program's table and the
    // effect's parameter agree on rows.
    ID3DXEffect* fx = Make("#pragma pack_matrix(row_major)\nfloat4x3 Bone;\n"
                           "float4 VS(float4 p : POSITION) : POSITION { return float4(mul(p, Bone), 1); }\n"
                           "technique R { pass { VertexShader = compile vs_2_0 VS(); } }\n");
    ASSERT_NE(fx, nullptr);
    D3DXPARAMETER_DESC pd{};
    ASSERT_EQ(fx->GetParameterDesc("Bone", &pd), D3D_OK);
    EXPECT_EQ(pd.Class, D3DXPC_MATRIX_ROWS);
    D3DXPASS_DESC pass{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("R", 0), &pass), D3D_OK);
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3DXGetShaderConstantTable(pass.pVertexShaderFunction, &table), D3D_OK);
    D3DXCONSTANT_DESC cd{};
    std::uint32_t count = 1;
    ASSERT_EQ(table->GetConstantDesc(table->GetConstantByName(nullptr, "Bone"), &cd, &count), D3D_OK);
    EXPECT_EQ(cd.Class, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(cd.RegisterCount, 4u);
    table->Release();
    fx->Release();
}

// Without a manager the device takes the states; without the "save nothing"
// flags End puts back what the technique changed.
TEST_P(GfxUtilEffectDeviceTest, WithoutAManagerTheDeviceIsSetAndRestored) {
    Create();
    ID3DXEffect* fx = Make(kTechniques);
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE), D3D_OK);
    ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1), D3D_OK);
    std::uint32_t passes = 0, value = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    ASSERT_EQ(device->GetRenderState(D3DRS_SRCBLEND, &value), D3D_OK);
    EXPECT_EQ(value, D3DBLEND_SRCALPHA);
    ASSERT_EQ(device->GetTextureStageState(0, D3DTSS_COLOROP, &value), D3D_OK);
    EXPECT_EQ(value, D3DTOP_MODULATE);
    ASSERT_EQ(device->GetSamplerState(1, D3DSAMP_ADDRESSU, &value), D3D_OK);
    EXPECT_EQ(value, D3DTADDRESS_MIRROR);
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->GetRenderState(D3DRS_SRCBLEND, &value), D3D_OK);
    EXPECT_EQ(value, D3DBLEND_ONE);
    ASSERT_EQ(device->GetTextureStageState(0, D3DTSS_COLOROP, &value), D3D_OK);
    EXPECT_EQ(value, D3DTOP_SELECTARG1);
    ASSERT_EQ(device->GetSamplerState(1, D3DSAMP_ADDRESSU, &value), D3D_OK);
    EXPECT_EQ(value, D3DTADDRESS_WRAP);

    // Assembled programs are made on the device and bound by the pass.
    ASSERT_EQ(fx->SetTechnique("Assembled"), D3D_OK);
    ASSERT_EQ(fx->Begin(&passes, 7), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(device->GetVertexShader(&vs), D3D_OK);
    ASSERT_NE(vs, nullptr);
    vs->Release();
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);
}

TEST_P(GfxUtilEffectDeviceTest, FilesAreFoundThroughTheResolverAndErrorsNameThem) {
    Create();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("gfxutil_effect_file_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Quad.fx") << "float4 c = {1,1,1,1};\ntechnique T { pass { Lighting = false; } }\n";
    std::ofstream(dir / "broken.fx") << "float4 c = {1,1,1,1};\n\nfloat4 d = ;\n";
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const std::string other = (dir / "QUAD.FX").string();
    ASSERT_EQ(D3DXCreateEffectFromFileA(device, other.c_str(), nullptr, nullptr, 0, nullptr, &fx, &errors), D3D_OK);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(fx->ValidateTechnique(fx->GetTechnique(0)), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);
    const std::string broken = (dir / "broken.fx").string();
    EXPECT_EQ(D3DXCreateEffectFromFileA(device, broken.c_str(), nullptr, nullptr, 0, nullptr, &fx, &errors), E_FAIL);
    EXPECT_EQ(fx, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())),
              broken + "(3): value expected before ';'\n");
    errors->Release();
    const std::string missing = (dir / "missing.fx").string();
    EXPECT_EQ(D3DXCreateEffectFromFileA(device, missing.c_str(), nullptr, nullptr, 0, nullptr, &fx, nullptr),
              D3DERR_NOTFOUND);
    EXPECT_EQ(D3DXCreateEffectFromFileA(nullptr, other.c_str(), nullptr, nullptr, 0, nullptr, &fx, nullptr),
              D3DERR_INVALIDCALL);
    std::filesystem::remove_all(dir);
}

// A struct-typed global in a compiled pass: the technique validates, and a
// parameter named like one of its members does not feed that member's
// register (the member belongs to the struct, not to the effect).
TEST_P(GfxUtilEffectDeviceTest, CompiledPassesTakeStructGlobals) {
    Create();
    const std::string text = R"(struct Light { float3 colour; float strength; };
Light Key;
float4 colour = {9, 9, 9, 9};
float4 Tint = {0.5, 0.25, 1, 1};
float4 PS(float4 c : COLOR0) : COLOR { return c * Tint + float4(Key.colour * Key.strength, 0) + colour * 0; }
technique T { pass { PixelShader = compile ps_2_0 PS(); } }
)";
    ID3DXEffect* fx = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr, &fx,
                               nullptr),
              D3D_OK);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError();
    D3DXPASS_DESC pd{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 0), &pd), D3D_OK);
    ASSERT_NE(pd.pPixelShaderFunction, nullptr);
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3DXGetShaderConstantTable(pd.pPixelShaderFunction, &table), D3D_OK);
    D3DXCONSTANT_DESC key{}, member{}, tint{};
    std::uint32_t count = 1;
    ASSERT_EQ(table->GetConstantDesc("Key", &key, &count), D3D_OK);
    ASSERT_EQ(table->GetConstantDesc("Key.colour", &member, &count), D3D_OK);
    ASSERT_EQ(table->GetConstantDesc("Tint", &tint, &count), D3D_OK);
    EXPECT_EQ(key.Class, D3DXPC_STRUCT);
    EXPECT_EQ(key.RegisterCount, 2u);
    const float zero[4] = {0, 0, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstantF(member.RegisterIndex, zero, 1), D3D_OK);
    ASSERT_EQ(fx->SetTechnique("T"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    float reg[4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(member.RegisterIndex, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], 0.f);
    ASSERT_EQ(device->GetPixelShaderConstantF(tint.RegisterIndex, reg, 1), D3D_OK);
    EXPECT_EQ(reg[1], 0.25f);
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    table->Release();
    EXPECT_EQ(fx->Release(), 0u);
}

// A compiled vertex program's sampler gets its texture and sampler_state on
// the device's vertex sampler of the same number, not on a pixel sampler.
TEST_P(GfxUtilEffectDeviceTest, VertexProgramSamplersBindTheVertexSamplers) {
    Create();
    const std::string text = R"(texture Heights;
sampler2D HeightSampler = sampler_state { Texture = <Heights>; MinFilter = Point; MagFilter = Point; };
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut VS(float4 p : POSITION) { VOut o; o.pos = p; o.col = tex2Dlod(HeightSampler, float4(0.5, 0.5, 0, 0)); return o; }
float4 PS(float4 c : COLOR0) : COLOR { return c; }
technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)";
    ID3DXEffect* fx = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr, &fx,
                               nullptr),
              D3D_OK);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(fx->SetTexture("Heights", texture), D3D_OK);
    ASSERT_EQ(fx->SetTechnique("T"), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    IDirect3DBaseTexture9* onVertex = nullptr;
    IDirect3DBaseTexture9* onPixel = nullptr;
    ASSERT_EQ(device->GetTexture(D3DVERTEXTEXTURESAMPLER0, &onVertex), D3D_OK);
    ASSERT_EQ(device->GetTexture(0, &onPixel), D3D_OK);
    EXPECT_EQ(onVertex, texture);
    EXPECT_EQ(onPixel, nullptr);
    if (onVertex) onVertex->Release();
    std::uint32_t filter = 0;
    ASSERT_EQ(device->GetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_MAGFILTER, &filter), D3D_OK);
    EXPECT_EQ(filter, D3DTEXF_POINT);
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(D3DVERTEXTEXTURESAMPLER0, nullptr), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);
    EXPECT_EQ(texture->Release(), 0u);
}

// A compiled program's whole matrices reach its registers by columns when
// column-major and by rows when row-major, array elements one after another.
TEST_P(GfxUtilEffectDeviceTest, CompiledPassesSendWholeMatricesInTheirMajorOrder) {
    Create();
    ID3DXEffect* fx = Make("float4x4 C;\nrow_major float4x4 R;\nfloat4x4 Pair[2];\n"
                           "float4 VS(float4 p : POSITION) : POSITION {\n"
                           "  return mul(mul(mul(mul(p, C), R), Pair[0]), Pair[1]);\n}\n"
                           "technique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n");
    ASSERT_NE(fx, nullptr);
    D3DXMATRIX m[2]{};
    for (int e = 0; e < 2; ++e)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m[e].m[r][c] = float(e * 100 + r * 4 + c + 1);
    ASSERT_EQ(fx->SetMatrix("C", &m[0]), D3D_OK);
    ASSERT_EQ(fx->SetMatrix("R", &m[0]), D3D_OK);
    ASSERT_EQ(fx->SetMatrixArray("Pair", m, 2), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    float regs[16 * 4] = {};
    ASSERT_EQ(device->GetVertexShaderConstantF(0, regs, 16), D3D_OK);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(std::to_string(r) + " " + std::to_string(c));
            // Pair, the largest, first; then C and R in declaration order.
            EXPECT_EQ(regs[c * 4 + r], m[0].m[r][c]);              // Pair[0] by columns
            EXPECT_EQ(regs[16 + c * 4 + r], m[1].m[r][c]);         // Pair[1] after it
            EXPECT_EQ(regs[32 + c * 4 + r], m[0].m[r][c]);         // C: register 8 + c holds column c
            EXPECT_EQ(regs[48 + r * 4 + c], m[0].m[r][c]);         // R: register 12 + r holds row r
        }
    ASSERT_EQ(fx->EndPass(), D3D_OK);
    ASSERT_EQ(fx->End(), D3D_OK);
    D3DXMATRIX back[2]{};
    ASSERT_EQ(fx->GetMatrixArray("Pair", back, 2), D3D_OK);
    EXPECT_EQ(std::memcmp(back, m, sizeof m), 0);
    EXPECT_EQ(fx->Release(), 0u);
}

// ---- bounds ---------------------------------------------------------------------

namespace {

// An effect of `passes` passes, each compiling the same entry with its own
// argument: as many distinct programs as passes.
std::string DistinctPasses(int passes) {
    std::string text = "float4 main(uniform float k) : COLOR { return k; }\ntechnique T {\n";
    for (int i = 0; i < passes; ++i)
        text += " pass P" + std::to_string(i) + " { PixelShader = compile ps_2_0 main(" + std::to_string(i) + ".0); }\n";
    return text + "}\n";
}

// `count` top-level parameters, ten a line, named in base 36 to keep
// 300,000 of them within the 4 MiB a text may have.
std::string ManyParameters(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        std::string name;
        for (int n = i; name.empty() || n > 0; n /= 36) name.insert(name.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        text += "float4 g" + name + (i % 10 == 9 ? ";\n" : "; ");
    }
    return text;
}

} // namespace

// However much work an effect holds, its load returns within the budget of
// the caller's scope, which counts processor time (checked within twice
// that: the work in hand when the budget is looked at ends first), and on
// the clock within its backstop. One that could not be read whole within it
// fails with the reason; none succeeds with programs or parameters missing.
TEST_P(GfxUtilEffectDeviceTest, LargeEffectsLoadWithinTheDeadline) {
    Create();
    struct Case {
        const char* what;
        std::string text;
        std::uint32_t parameters, passes;
    };
    const Case cases[] = {
        {"10,000 distinct passes", DistinctPasses(10000), 0, 10000},
        {"300,000 parameters", ManyParameters(300000), 300000, 0},
    };
    HlslCompileLimits limits;
    limits.time = std::chrono::seconds(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HlslCompileScope scope(limits);
        const auto started = std::chrono::steady_clock::now();
        const HRESULT hr = D3DXCreateEffect(device, c.text.data(), std::uint32_t(c.text.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_LT(scope.Spent(), 2 * limits.time);
        EXPECT_LT(took, (kHlslWallTimesProcessorTime + 1) * limits.time);
        const std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        if (FAILED(hr)) {
            EXPECT_EQ(fx, nullptr);
            EXPECT_NE(messages.find("took too long"), std::string::npos) << messages.substr(0, 300);
            continue;
        }
        // Whole, or not at all.
        ASSERT_NE(fx, nullptr);
        EXPECT_EQ(messages, "");
        D3DXEFFECT_DESC desc{};
        ASSERT_EQ(fx->GetDesc(&desc), D3D_OK);
        EXPECT_EQ(desc.Parameters, c.parameters);
        EXPECT_EQ(fx->ValidateTechnique(fx->GetTechnique(0)), c.passes ? D3D_OK : D3DERR_INVALIDCALL);
        EXPECT_EQ(fx->Release(), 0u);
    }
    // The distinct passes cannot all compile in the time: the file fails.
    const HlslCompileScope scope(limits);
    ID3DXEffect* fx = nullptr;
    EXPECT_TRUE(FAILED(D3DXCreateEffect(device, cases[0].text.data(), std::uint32_t(cases[0].text.size()), nullptr,
                                        nullptr, 0, nullptr, &fx, nullptr)));
    EXPECT_EQ(fx, nullptr);
}

// Floats an effect gives integer registers hold at the registers' range:
// an effect file's 1e10 is no undefined conversion.
TEST_P(GfxUtilEffectDeviceTest, FloatsGivenIntegerRegistersHoldAtTheirRange) {
    Create();
    ID3DXEffect* fx = Make("float4 Big = float4(1e10, -1e10, 2.75, -2.75);\n"
                           "technique T { pass P { PixelShaderConstantI[3] = <Big>; } }\n");
    ASSERT_NE(fx, nullptr);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    std::int32_t reg[4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantI(3, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(reg[1], std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(reg[2], 2);
    EXPECT_EQ(reg[3], -2);
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    EXPECT_EQ(fx->Release(), 0u);
}

// An annotation's value is a constant expression over literals and the
// static consts before it, integer operators included: the technique, pass
// and parameter annotations read back through the typed getters as worked
// out by hand, and the technique validates.
TEST_P(GfxUtilEffectDeviceTest, AnnotationValuesAreConstantExpressions) {
    Create();
    const std::string text = R"(
static const int kLow = 1 << 0;
static const int kHigh = 1 << 3;
static const int kBoth = kLow | kHigh;
static const float kHalf = 0.5;
static const bool kOn = true;
static const uint kMask = 0xF0u;
float4 Tint < int bits = kMask >> 4; float scale = kHalf * 3; bool shown = kOn && kLow; > = {0.25, 0.5, 0.75, 1};
float4 Shade() : COLOR0 { return Tint; }
technique Paint < int mask = kLow; int both = kLow | kHigh; int shifted = 1 << 4; int ored = 1 | 2;
                  int anded = 0xF0 & 0x3C; int xored = 0xFF ^ 0x0F; int inverted = ~5; int rest = -17 % 5;
                  int halves = 7 / 2; int fromFloat = 7 / 2.0; int compared = (3 > 4) + (4 <= 4) * 2 + (2 == 2) * 4;
                  int chosen = kBoth > 8 ? 10 : 20; int cast = (int)7.9 + (bool)5; int literals = 010 + 0x1Fu + 4L;
                  int logic = !kLow || (kHigh && 0); int shiftRight = -16 >> 2; int nested = kBoth;
                  float f = kHalf; float g = (float)7 / 2; float h = 7 / 2; bool b = kOn; bool c = kHigh & kLow; >
{
    pass P0 < int order = kHigh >> 1; float weight = kHalf + kLow; bool last = !kOn; >
    {
        PixelShader = compile ps_2_0 Shade();
    }
}
)";
    ID3DXEffect* fx = Make(text);
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(fx->ValidateTechnique("Paint"), D3D_OK);
    D3DXHANDLE paint = fx->GetTechniqueByName("Paint");
    ASSERT_NE(paint, nullptr);
    const std::pair<const char*, int> ints[] = {
        {"mask", 1},      {"both", 9},     {"shifted", 16},   {"ored", 3},      {"anded", 48},
        {"xored", 240},   {"inverted", -6}, {"rest", -2},     {"halves", 3},    {"fromFloat", 3},
        {"compared", 6},  {"chosen", 10},  {"cast", 8},       {"literals", 43}, {"logic", 0},
        {"shiftRight", -4}, {"nested", 9},
    };
    for (const auto& [name, expected] : ints) {
        int v = -12345;
        EXPECT_EQ(fx->GetInt(fx->GetAnnotationByName(paint, name), &v), D3D_OK) << name;
        EXPECT_EQ(v, expected) << name;
    }
    float f = 0;
    ASSERT_EQ(fx->GetFloat(fx->GetAnnotationByName(paint, "f"), &f), D3D_OK);
    EXPECT_EQ(f, 0.5f);
    ASSERT_EQ(fx->GetFloat(fx->GetAnnotationByName(paint, "g"), &f), D3D_OK);
    EXPECT_EQ(f, 3.5f);
    ASSERT_EQ(fx->GetFloat(fx->GetAnnotationByName(paint, "h"), &f), D3D_OK);
    EXPECT_EQ(f, 3.0f); // the integers divide whole
    std::int32_t b = 7;
    ASSERT_EQ(fx->GetBool(fx->GetAnnotationByName(paint, "b"), &b), D3D_OK);
    EXPECT_EQ(b, 1);
    ASSERT_EQ(fx->GetBool(fx->GetAnnotationByName(paint, "c"), &b), D3D_OK);
    EXPECT_EQ(b, 0); // 8 & 1

    D3DXHANDLE pass = fx->GetPassByName(paint, "P0");
    ASSERT_NE(pass, nullptr);
    int order = 0;
    ASSERT_EQ(fx->GetInt(fx->GetAnnotationByName(pass, "order"), &order), D3D_OK);
    EXPECT_EQ(order, 4);
    ASSERT_EQ(fx->GetFloat(fx->GetAnnotationByName(pass, "weight"), &f), D3D_OK);
    EXPECT_EQ(f, 1.5f);
    ASSERT_EQ(fx->GetBool(fx->GetAnnotationByName(pass, "last"), &b), D3D_OK);
    EXPECT_EQ(b, 0);

    int bits = 0;
    ASSERT_EQ(fx->GetInt(fx->GetAnnotationByName("Tint", "bits"), &bits), D3D_OK);
    EXPECT_EQ(bits, 15);
    ASSERT_EQ(fx->GetFloat(fx->GetAnnotationByName("Tint", "scale"), &f), D3D_OK);
    EXPECT_EQ(f, 1.5f);
    ASSERT_EQ(fx->GetBool(fx->GetAnnotationByName("Tint", "shown"), &b), D3D_OK);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(fx->Release(), 0u);
}

// Parameters' and statics' initialisers take the same operators; what the
// language refuses is refused at its line, in an annotation as in a value.
TEST(GfxUtilEffectReadTest, IntegerOperatorsInValuesFoldOrAreRefusedAtTheirLine) {
    std::string errors;
    ID3DXEffectCompiler* fx = Compile("static const int kFour = 1 << 2;\n"
                                      "int ModeA = 1 << 2;\nint ModeB = kFour;\nint ModeC = 2 * 2;\n"
                                      "int ModeD = (0xF0 & 0x3C) >> 2 | 1;\nfloat ModeE = 7 / 2;\n"
                                      "technique T < int mask = kFour | 1; > { pass { } }\n",
                                      &errors);
    ASSERT_NE(fx, nullptr) << errors;
    for (const auto& [name, expected] : {std::pair{"ModeA", 4}, {"ModeB", 4}, {"ModeC", 4}, {"ModeD", 13}}) {
        int v = 0;
        EXPECT_EQ(fx->GetInt(name, &v), D3D_OK) << name;
        EXPECT_EQ(v, expected) << name;
    }
    float e = 0;
    ASSERT_EQ(fx->GetFloat("ModeE", &e), D3D_OK);
    EXPECT_EQ(e, 3.0f);
    int mask = 0;
    ASSERT_EQ(fx->GetInt(fx->GetAnnotationByName("T", "mask"), &mask), D3D_OK);
    EXPECT_EQ(mask, 5);
    EXPECT_EQ(fx->Release(), 0u);

    EXPECT_EQ(ErrorsOf("float4 c;\nint R = 1.5 << 2;\n"),
              "memory(2): value expected before '1.5': '<<' takes integer operands\n");
    EXPECT_EQ(ErrorsOf("float4 c;\nint R = 1 / 0;\n"), "memory(2): value expected before '1': division by zero\n");
    EXPECT_EQ(ErrorsOf("\ntechnique < int a = 2.0 | 1; > { pass { } }\n"),
              "memory(2): value expected before '2.0': '|' takes integer operands\n");
    EXPECT_EQ(ErrorsOf("static const float kHalf = 0.5;\ntechnique < int a = ~kHalf; > { pass { } }\n"),
              "memory(2): value expected before '~': '~' takes an integer operand\n");
    EXPECT_EQ(ErrorsOf("float4 c;\nint R = 09;\n"), "memory(2): value expected before '09': bad number '09'\n");
    // A parameter is no constant: an annotation cannot name it.
    EXPECT_EQ(ErrorsOf("int Count = 2;\ntechnique < int a = Count; > { pass { } }\n"),
              "memory(2): value expected before 'Count'\n");
}

// An effect file's header may include a header by a path from the effect
// file's folder, from any working folder: beside the includer first, then
// beside the effect file, quoted or in angle brackets.
TEST(GfxUtilEffectReadTest, NestedIncludesAreFoundBesideTheEffectFile) {
    gfx::test::TempFolder t("gfxutil-effect-include");
    ASSERT_FALSE(t.Path().empty());
    std::filesystem::create_directories(t.At("fx/inc"));
    std::filesystem::create_directories(t.At("elsewhere"));
    t.Write("fx/main.fx", "#include \"inc/outer.h\"\nfloat4 PS() : COLOR { return Inner * Outer; }\n"
                          "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\n");
    t.Write("fx/inc/outer.h", "#include \"inc/inner.h\"\n#include <inc/pick.h>\nfloat4 Outer;\n");
    t.Write("fx/inc/inner.h", "float4 Inner;\n");
    t.Write("fx/inc/pick.h", "float4 PickedBesideTop;\n");
    std::filesystem::create_directories(t.At("fx/inc/inc"));
    t.Write("fx/inc/inc/pick.h", "float4 PickedBesideIncluder;\n");
    gfx::test::WorkingFolder moved(t.At("elsewhere"));
    ASSERT_TRUE(moved.Moved());
    for (const std::string& path : {t.At("fx/main.fx"), std::string("../fx/main.fx")}) {
        SCOPED_TRACE(path);
        ID3DXEffectCompiler* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffectCompilerFromFileA(path.c_str(), nullptr, nullptr, 0, &fx, &errors);
        std::string text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        ASSERT_EQ(hr, D3D_OK) << text;
        EXPECT_NE(fx->GetParameterByName(nullptr, "Inner"), nullptr);
        EXPECT_NE(fx->GetParameterByName(nullptr, "PickedBesideIncluder"), nullptr);
        EXPECT_EQ(fx->GetParameterByName(nullptr, "PickedBesideTop"), nullptr);
        fx->Release();
    }
}
