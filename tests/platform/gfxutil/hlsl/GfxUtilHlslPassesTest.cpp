// The text passes a high-level compile runs in the caller before glslang's
// child: hostile sources of every shape they read, their work measured as it
// grows with the source; the compile's deadline looked at inside them; the
// main source capped as the expanded includes are; and what the passes must
// still do for ordinary sources (effect keywords in any case, a list of
// globals of which the program reads some).
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRewrite.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/TempFolder.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

using namespace gfx;
using gfx::test::TempFolder;

namespace {

struct Result {
    HRESULT hr = E_FAIL;
    std::string errors;
    std::vector<std::uint8_t> code;
    ID3DXConstantTable* table = nullptr;

    Result() = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() {
        if (table) table->Release();
    }
};

void Take(Result& r, HRESULT hr, ID3DXBuffer* code, ID3DXBuffer* errors) {
    r.hr = hr;
    if (code) {
        const auto* p = static_cast<const std::uint8_t*>(code->GetBufferPointer());
        r.code.assign(p, p + code->GetBufferSize());
        code->Release();
    }
    if (errors) {
        r.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
}

void Compile(Result& r, const std::string& source, const char* profile, const char* entry = "main") {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), entry, profile, 0, &code,
                                         &errors, &r.table, nullptr, nullptr);
    Take(r, hr, code, errors);
}

void CompileFile(Result& r, const std::string& path, const char* profile, const char* entry = "main") {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShaderFromFile(path.c_str(), entry, profile, 0, &code, &errors, &r.table, nullptr);
    Take(r, hr, code, errors);
}

// `unit` repeated (each "#" in it the unit's number) between a head and a
// tail, to about `bytes` in all.
std::string Repeat(const std::string& head, const std::string& unit, const std::string& tail, std::size_t bytes) {
    std::string s = head;
    for (std::size_t n = 0; s.size() + unit.size() + tail.size() <= bytes; ++n)
        for (const char c : unit) {
            if (c == '#') s += std::to_string(n);
            else s += c;
        }
    return s + tail;
}

// The sizes a shape is measured at. A sanitized build takes tens of times
// longer a step: the steps, not the time, are counted, so there a pair of
// sizes a quarter as large, in the same ratio, shows the same growth (the
// optimised tests measure the full sizes).
#if ORVANE_SANITIZED_BUILD
constexpr std::size_t kSmall = 64u << 10, kLarge = 512u << 10;
#else
constexpr std::size_t kSmall = 256u << 10, kLarge = 2u << 20;
#endif

// The declarations the shapes of double uniforms read.
constexpr const char* kDoubleHead =
    "struct In { double d; float f; };\nstruct S { double d; float f; In inner; };\n"
    "uniform double w; uniform double ws[2]; uniform double2 u; uniform S s;\n"
    "float pick(float v) { return v; }\nfloat pick(double v) { return float(v) + 1; }\n"
    "float pick2(float a, double v) { return a; }\n";

// A source shape aimed at one pass, made to a given size.
struct Shape {
    const char* name;
    const char* profile;
    std::function<std::string(std::size_t)> make;
};

const Shape kShapes[] = {
    // Each "main (" a parameter list never closed, or one without a body:
    // the entry's lists are read once.
    {"EntryNameAndParenRepeated", "ps_2_0", [](std::size_t n) { return Repeat("", "main(", "", n); }},
    {"EntryListsWithoutBodies", "ps_2_0", [](std::size_t n) { return Repeat("", "float4 main() ", "", n); }},
    // Each read of a uniform parameter renamed to its global: a million reads.
    {"UniformParameterReadAMillionTimes", "ps_2_0",
     [](std::size_t n) { return Repeat("float4 main(uniform float4 u) : COLOR { return u", "+u", "; }\n", n); }},
    // The head of every loop looked at for a bound.
    {"ForParenRepeated", "ps_3_0", [](std::size_t n) { return Repeat("float4 main() : COLOR { ", "for(", "", n); }},
    {"LoopsNestedInLoopHeads", "ps_3_0",
     [](std::size_t n) {
         return Repeat("float4 main() : COLOR { ", "for(", "", n * 4 / 5) + std::string(n / 5, ')') + "}";
     }},
    // Blocks never closed, and brackets a statement leaves open.
    {"OpenBraceRepeated", "ps_2_0", [](std::size_t n) { return Repeat("", "{", "", n); }},
    {"CloseBraceRepeated", "ps_2_0", [](std::size_t n) { return Repeat("", "}", "", n); }},
    {"InitialisersLeavingParensOpen", "ps_2_0", [](std::size_t n) { return Repeat("", "float a#=(1;", "", n); }},
    {"StatementsLeavingParensAndAnglesOpen", "ps_2_0", [](std::size_t n) { return Repeat("", "x<(;", "", n); }},
    // Flat lists given their elements' braces, at file scope and in a body.
    {"GlobalFlatList", "ps_2_0", [](std::size_t n) { return Repeat("float4 L[] = {", "1,", "1};\n", n); }},
    {"LocalFlatList", "ps_2_0",
     [](std::size_t n) { return Repeat("float4 main() : COLOR { float4 L[] = {", "1,", "1}; return L[0]; }\n", n); }},
    {"StaticFlatLists", "ps_2_0",
     [](std::size_t n) { return Repeat("", "static float4 a#[2]={1,2,3,4,5,6,7,8};\n", "", n); }},
    // Values of one component and matrices of one row or one column:
    // declarations that never end, a global of a register per component
    // read everywhere, products of a 1x1 and a matrix.
    {"OneComponentDeclarationsWithoutEnd", "ps_2_0", [](std::size_t n) { return Repeat("", "float1 a# = b ", "", n); }},
    {"OneRowGlobalReadEverywhere", "ps_2_0",
     [](std::size_t n) { return Repeat("float1x3 m;\nfloat4 main() : COLOR { return m._12", "+m[0].y", "; }\n", n); }},
    {"ProductsOfOneByOneValues", "ps_2_0",
     [](std::size_t n) {
         return Repeat("float4 main() : COLOR { float1x1 x = 1; float4x4 y = 0; float4 r = 0", "+mul(x, y)",
                       "; return r; }\n", n);
     }},
    // What only an effect reads, blanked for a single entry.
    {"TechniqueBlocks", "ps_2_0",
     [](std::size_t n) {
         return Repeat("", "Technique T < int a = 1; > { pass P { PixelShader = compile ps_2_0 main(); } }\n", "", n);
     }},
    {"TechniquesNeverClosed", "ps_2_0", [](std::size_t n) { return Repeat("", "technique t <", "", n); }},
    {"Annotations", "ps_2_0", [](std::size_t n) { return Repeat("", "float a# < int b = 1; >;", "", n); }},
    // The effect syntax checked: comparisons in a body that could open a
    // local's annotations, state blocks on locals and as lists, values nested.
    {"AnglesInABodyNeverClosed", "ps_2_0",
     [](std::size_t n) { return Repeat("float4 main() : COLOR { ", "x y < float ", "", n); }},
    {"StateBlocksOnLocals", "ps_2_0",
     [](std::size_t n) { return Repeat("float4 main() : COLOR { ", "float a# { s = t; }; ", "return 0; }", n); }},
    {"StateBlockList", "ps_2_0", [](std::size_t n) { return Repeat("float4 v { ", "{ a = b; }, ", "{} };", n); }},
    {"StateValuesNested", "ps_2_0", [](std::size_t n) { return Repeat("sampler s { a = ", "{", "", n); }},
    // Globals the layout and the rewrite edit: lists whose every declarator
    // names the whole statement, struct members padded, structs by the
    // thousand, globals each copying a large struct's members.
    {"TextureList", "ps_2_0", [](std::size_t n) { return Repeat("texture ", "t#, ", "t;\n", n); }},
    {"SamplerListWithStates", "ps_2_0",
     [](std::size_t n) { return Repeat("sampler ", "s# = sampler_state { MinFilter = Point; }, ", "s;\n", n); }},
    {"StaticDeclaratorList", "ps_2_0", [](std::size_t n) { return Repeat("static float ", "a#, ", "a;\n", n); }},
    // Arrays, structs and matrices cast and assigned into each other, each
    // spelt out component by component: the spelt-out text grows with the
    // source, and a statement is read back only to its start.
    {"ComponentWiseCastsRepeated", "ps_2_0",
     [](std::size_t n) {
         return Repeat("struct P { float3 a; float b; };\nfloat4 main() : COLOR { float f[4] = {1, 2, 3, 4}; "
                       "float2x2 m = {1, 2, 3, 4}; P p; int4 i;\n",
                       "p = f; p = (P) m; i = (int4) f; i = i + int4(float4(m));\n", "return i; }", n);
     }},
    {"DerivedStructsChained", "ps_2_0",
     [](std::size_t n) { return Repeat("struct S { float4 a; };\n", "struct S# : S { float4 b; };\n", "", n); }},
    {"StructMembersUnderManyWords", "ps_2_0",
     [](std::size_t n) {
         return Repeat("struct S { ", "const ", "", n / 2) + Repeat("float ", "m#, ", "m; };\nS s;\n", n / 2);
     }},
    {"ManyStructsAndTheirGlobals", "ps_2_0",
     [](std::size_t n) { return Repeat("", "struct S# { float4 a; float4 b; }; S# g#;\n", "", n); }},
    {"GlobalsOfOneLargeStruct", "ps_2_0",
     [](std::size_t n) {
         // The struct's members a fixed part of the smaller size.
         std::string head = "struct S { ";
         for (std::size_t m = 0; m < std::min<std::size_t>(4000, kSmall / 64); ++m)
             head += "float4 m" + std::to_string(m) + ";";
         return Repeat(head + "};\n", "S g#;", "", n);
     }},
    // Structs of structs: each holding two of the one before (its members
    // doubling), and many each holding one large struct (its members copied).
    {"StructsDoublingTheOneBefore", "ps_2_0",
     [](std::size_t n) {
         std::string s = "struct S0 { float4 a; float4 b; };\n";
         for (std::size_t k = 1; s.size() + 64 < n; ++k)
             s += "struct S" + std::to_string(k) + " { S" + std::to_string(k - 1) + " a; S" + std::to_string(k - 1) +
                  " b; };\n";
         return s;
     }},
    // Namespaces whose functions read the namespace's own constants, one
    // after another and nested as deep as they may be.
    {"NamespacesReadingTheirOwnNames", "ps_2_0",
     [](std::size_t n) {
         return Repeat("", "namespace N# { static const float a = 1; float f(float b) { return a * b + N#::a; } }\n",
                       "", n);
     }},
    {"NamespacesNestedReadingTheOuterNames", "ps_2_0",
     [](std::size_t n) {
         std::string s;
         for (int d = 0; d < 64; ++d) s += "namespace N" + std::to_string(d) + " { static const float a" + std::to_string(d) + " = 1;\n";
         return Repeat(s, "float f#(float b) { return a0 * a63 * b; }\n", std::string(64, '}'), n);
     }},
    // Types of nested namespaces named through them and from within, each
    // use looked up through every level.
    {"NamespacesNestedNamingTheirTypes", "ps_2_0",
     [](std::size_t n) {
         std::string s, path;
         for (int d = 0; d < 64; ++d) {
             const std::string k = std::to_string(d);
             s += "namespace N" + k + " { struct S" + k + " { float4 a; }; typedef S" + k + " T" + k + ";\n";
             path += "N" + k + "::";
         }
         return Repeat(s, "S0 g#; T63 h#; " + path + "S63 i#; N0::T0 f#(S63 s) { return (N0::T0) 0; }\n",
                       std::string(64, '}'), n);
     }},
    {"StructsOfOneLargeStruct", "ps_2_0",
     [](std::size_t n) {
         std::string head = "struct S { ";
         for (std::size_t m = 0; m < std::min<std::size_t>(4000, kSmall / 64); ++m)
             head += "float4 m" + std::to_string(m) + ";";
         return Repeat(head + "};\n", "struct T# { S a; };\n", "", n);
     }},
    // Double uniforms read within the arguments of functions with a double
    // overload: reads of every form, calls nested in one another's
    // parentheses, functions whose own names hide the uniforms, and a read
    // through structs each holding the one before.
    {"DoubleUniformsReadInArguments", "ps_2_0",
     [](std::size_t n) {
         return Repeat(std::string(kDoubleHead) + "float4 main() : COLOR { float r = 0;\n",
                       "r += pick(w * ws[1] + s.d - (u.y)) + pick2(s.f, -(s.inner.d)) + pick(float(w));\n",
                       "return r; }\n", n);
     }},
    {"DoubleArgumentsNested", "ps_2_0",
     [](std::size_t n) {
         const std::string open = "pick((w + ", close = "))";
         const std::size_t k = n / (open.size() + close.size()) - 16;
         std::string s = std::string(kDoubleHead) + "float4 main() : COLOR { return ";
         for (std::size_t m = 0; m < k; ++m) s += open;
         s += "0";
         for (std::size_t m = 0; m < k; ++m) s += close;
         return s + "; }\n";
     }},
    {"FunctionsHidingDoubleUniforms", "ps_2_0",
     [](std::size_t n) {
         return Repeat(kDoubleHead, "float f#(float w) { double ws = w; return pick(w * ws) + pick(s.d); }\n", "", n);
     }},
    {"DoubleStructsEachHoldingTheOneBefore", "ps_2_0",
     [](std::size_t n) {
         std::string head = "struct S0 { double d; float f; };\n", read = "s";
         for (int k = 1; k < 16; ++k) {
             head += "struct S" + std::to_string(k) + " { S" + std::to_string(k - 1) + " a; double d; };\n";
             read += ".a";
         }
         head += "uniform S15 s;\nfloat pick(double v) { return 1; }\nfloat4 main() : COLOR { float r = 0;\n";
         return Repeat(head, "r += pick(" + read + ".d);\n", "return r; }\n", n);
     }},
};

constexpr const char* kPassesTooLong = "preparing the source for the compiler took too long";

// The passes of one compile: its steps, with what the compile said.
std::uint64_t PassSteps(const std::string& source, const char* profile, std::string& errors) {
    // glslang's child held to almost no memory: what it makes of these
    // sources is the guard's to test, and it ends at once. The deadline far
    // off: the steps, not the time a loaded machine takes, are measured.
    HlslCompileLimits limits;
    limits.childBytes = 1;
    limits.time = std::chrono::minutes(10);
    const HlslCompileScope scope(limits);
    Result r;
    Compile(r, source, profile);
    errors = r.errors;
    return LastHlslPassSteps();
}

class GfxUtilHlslPassesShapeTest : public ::testing::TestWithParam<Shape> {};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslPassesShapeTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

} // namespace

// Each shape at 256 KB and at 2 MB (a quarter of each sanitized): the
// passes' steps grow with the source (eight times the bytes, at most about
// eight times the steps, where a pass
// scanning ahead once per token would take 64 times), a few dozen a byte,
// and the compile ends in a refusal or code well within the deadline.
TEST_P(GfxUtilHlslPassesShapeTest, TakesStepsLinearInItsSize) {
    const Shape& shape = GetParam();
    const std::string small = shape.make(kSmall), large = shape.make(kLarge);
    ASSERT_GE(large.size(), kLarge - 4096);
    std::string smallErrors, largeErrors;
    const std::uint64_t smallSteps = PassSteps(small, shape.profile, smallErrors);
    const std::uint64_t largeSteps = PassSteps(large, shape.profile, largeErrors);
    EXPECT_GT(smallSteps, small.size() / 4) << "the passes looked at the source";
    EXPECT_LE(largeSteps, smallSteps * (large.size() + large.size() / 8) / small.size());
    EXPECT_LE(largeSteps, 32 * large.size());
    for (const std::string* errors : {&smallErrors, &largeErrors})
        EXPECT_EQ(errors->find(kPassesTooLong), std::string::npos) << *errors;
}

// Past the compile's deadline a pass stops within a few thousand steps of
// the source, refusing in the deadline's words; a compile then stops in the
// preprocessor or in the first pass.
TEST(GfxUtilHlslPassesTest, ThePassesStopAtTheDeadline) {
    HlslCompileLimits limits;
    limits.time = std::chrono::milliseconds(0);
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const std::string source = shape.make(kSmall);
        const HlslCompileScope scope(limits);
        ASSERT_TRUE(scope.Expired());
        std::vector<HlslGlobal> globals;
        std::string error;
        EXPECT_FALSE(LayoutHlslGlobals(source, globals, error));
        EXPECT_EQ(error, kPassesTooLong);
        EXPECT_LT(LastHlslPassSteps(), 10000u);
        // The preprocessor looks at the deadline every so many lines: a
        // source of few lines reaches the passes, which stop it.
        Result r;
        Compile(r, source, shape.profile);
        EXPECT_EQ(r.hr, E_FAIL);
        const bool preprocessor = r.errors.starts_with("memory(") &&
                                  r.errors.ends_with("): error: the source took too long to preprocess\n") &&
                                  std::count(r.errors.begin(), r.errors.end(), '\n') == 1;
        EXPECT_TRUE(preprocessor || r.errors == std::string("memory(1,1): error: ") + kPassesTooLong + "\n")
            << r.errors;
        EXPECT_LT(LastHlslPassSteps(), 10000u);
    }
    // The layout on its own, outside any compile, has no deadline.
    std::vector<HlslGlobal> globals;
    std::string error;
    EXPECT_TRUE(LayoutHlslGlobals(kShapes[0].make(kSmall), globals, error)) << error;
}

namespace {

constexpr const char* kSmallProgram = "float4 Tint;\nfloat4 main() : COLOR { return Tint; }\n";

// The small program padded with spaces to `bytes`.
std::string Padded(std::size_t bytes) {
    std::string s = kSmallProgram;
    s.resize(bytes, ' ');
    return s;
}

} // namespace

// The main source is held to the cap of the source with its includes,
// given in memory or read from a file, up to the byte: the file is read no
// further than that, and nothing of a larger source reaches the passes.
TEST(GfxUtilHlslPassesTest, TheMainSourceIsCappedAsTheExpandedIncludesAre) {
    {
        HlslCompileLimits limits;
        limits.expandedBytes = 4096;
        const HlslCompileScope scope(limits);
        Result atCap, pastCap;
        Compile(atCap, Padded(4096), "ps_2_0");
        EXPECT_EQ(atCap.hr, D3D_OK) << atCap.errors;
        Compile(pastCap, Padded(4097), "ps_2_0");
        EXPECT_EQ(pastCap.hr, E_FAIL);
        EXPECT_EQ(pastCap.errors, "memory(1,1): error: the source passes 4096 bytes\n");
        EXPECT_EQ(LastHlslPassSteps(), 0u);

        TempFolder folder("gfxutil-passes");
        const std::string fits = folder.Write("fits.hlsl", Padded(4096));
        const std::string large = folder.Write("large.hlsl", Padded(4097));
        Result fromFile, largeFile;
        CompileFile(fromFile, fits, "ps_2_0");
        EXPECT_EQ(fromFile.hr, D3D_OK) << fromFile.errors;
        CompileFile(largeFile, large, "ps_2_0");
        EXPECT_EQ(largeFile.hr, E_FAIL);
        EXPECT_EQ(largeFile.errors, large + "(1,1): error: the source passes 4096 bytes\n");
    }
    // Without a scope of the caller's, the compile's own cap: 4 MiB.
    const std::uint64_t cap = HlslCompileLimits{}.expandedBytes;
    Result inMemory, fromFile;
    Compile(inMemory, Padded(cap + 1), "ps_2_0");
    EXPECT_EQ(inMemory.errors, "memory(1,1): error: the source passes " + std::to_string(cap) + " bytes\n");
    TempFolder folder("gfxutil-passes");
    const std::string path = folder.Write("huge.hlsl", Padded(cap + 1));
    CompileFile(fromFile, path, "ps_2_0");
    EXPECT_EQ(fromFile.errors, path + "(1,1): error: the source passes " + std::to_string(cap) + " bytes\n");
    Result missing;
    CompileFile(missing, folder.Path() + "/none.hlsl", "ps_2_0");
    EXPECT_EQ(missing.hr, E_FAIL);
    EXPECT_NE(missing.errors.find("cannot open file"), std::string::npos) << missing.errors;
}

// Bounds of an initialiser the compile refuses before the front end, at
// the line: 256 nested braces (255 compile), and an array sized by a list of
// 65,537 elements, as one sized 65,537 in its brackets is; through an
// effect, the reader refuses both as well.
TEST(GfxUtilHlslPassesTest, InitialiserBoundsAreRefusedAtTheirLine) {
    const auto nested = [](int braces) {
        return "float4 k;\nstatic const float t[1] =\n" + std::string(std::size_t(braces), '{') + "1" +
               std::string(std::size_t(braces), '}') + ";\nfloat4 main() : COLOR { return k * t[0]; }\n";
    };
    Result fits, deep, deeper;
    Compile(fits, nested(255), "ps_2_0");
    EXPECT_EQ(fits.hr, D3D_OK) << fits.errors.substr(0, 300);
    Compile(deep, nested(256), "ps_2_0");
    EXPECT_EQ(deep.hr, E_FAIL);
    EXPECT_EQ(deep.errors.substr(0, 60), "memory(3,256): error: an initialiser nested too deeply\n");
    Compile(deeper, nested(2000), "ps_2_0");
    EXPECT_EQ(deeper.errors.substr(0, 56), "memory(3,256): error: an initialiser nested too deeply\n");

    const auto listed = [](std::size_t values, const char* type) {
        std::string text = std::string("float4 k;\nstatic const ") + type + " t[] = {";
        for (std::size_t i = 0; i < values; ++i) text += i ? ",1" : "1";
        return text + "};\nfloat4 main() : COLOR { return k * t[0].x; }\n";
    };
    Result single, pairs;
    Compile(single, listed(65537, "float1"), "ps_2_0");
    EXPECT_EQ(single.hr, E_FAIL);
    EXPECT_EQ(single.errors, "memory(2,27): error: an array of 65537 elements: at most 65536\n");
    Compile(pairs, listed(2 * 65537, "float2"), "ps_2_0");
    EXPECT_EQ(pairs.errors, "memory(2,27): error: an array of 65537 elements: at most 65536\n");
    // A list longer than the flattening pass reads whole (20,000 values) sizes its array
    // by all its values, not by the ones read.
    std::string longList = "float4 k;\nstatic const float t[] = {";
    for (int i = 0; i < 20000; ++i) longList += (i ? "," : "") + std::to_string(i);
    longList += "};\nfloat4 main() : COLOR { return k * t[19999]; }\n";
    Result whole;
    Compile(whole, longList, "ps_3_0");
    EXPECT_EQ(whole.hr, D3D_OK) << whole.errors.substr(0, 300);
    Result sized;
    Compile(sized, "float4 k;\nstatic const float t[65537];\nfloat4 main() : COLOR { return k * t[0]; }\n", "ps_2_0");
    EXPECT_NE(sized.errors.find("an array of 65537 elements: at most 65536"), std::string::npos) << sized.errors;

    for (const std::string& text : {nested(256), listed(65537, "float1")}) {
        const std::string effect = text + "technique T { pass { PixelShader = compile ps_2_0 main(); } }\n";
        ID3DXEffectCompiler* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXCreateEffectCompiler(effect.data(), std::uint32_t(effect.size()), nullptr, nullptr, 0, &fx,
                                           &errors),
                  E_FAIL);
        EXPECT_EQ(fx, nullptr);
        if (errors) errors->Release();
    }
}

// Sources saved by Windows and older Mac editors: a byte-order mark first,
// in memory, in a file and in the file it includes, and lines ended by CR LF
// or a lone CR, compile; a lone CR ends a "//" comment, and a problem is
// named at its own line.
TEST(GfxUtilHlslPassesTest, ByteOrderMarksAndEveryLineEndCompile) {
    const std::string bom = "\xEF\xBB\xBF";
    TempFolder folder("gfxutil-passes");
    ASSERT_FALSE(folder.Path().empty());
    (void)folder.Write("tint.fxh", bom + "// the colour\rfloat4 Tint;\r");
    for (const std::string end : {"\r", "\r\n"}) {
        SCOPED_TRACE(end == "\r" ? "CR" : "CR LF");
        const std::string body = "// a program" + end + "float4 main() : COLOR" + end + "{ return Tint; }" + end;
        Result inMemory;
        Compile(inMemory, bom + "float4 Tint;" + end + body, "ps_2_0");
        ASSERT_EQ(inMemory.hr, D3D_OK) << inMemory.errors;
        ASSERT_NE(inMemory.table, nullptr);
        EXPECT_NE(inMemory.table->GetConstantByName(nullptr, "Tint"), nullptr);
        const std::string path = folder.Write("main.hlsl", bom + "#include \"tint.fxh\"" + end + body);
        Result fromFile;
        CompileFile(fromFile, path, "ps_2_0");
        ASSERT_EQ(fromFile.hr, D3D_OK) << fromFile.errors;
        EXPECT_NE(fromFile.table->GetConstantByName(nullptr, "Tint"), nullptr);
        Result wrong;
        Compile(wrong, bom + "// a program" + end + "float4 main() : COLOR" + end + "{ return Missing; }" + end,
                "ps_2_0");
        EXPECT_EQ(wrong.hr, E_FAIL);
        EXPECT_TRUE(wrong.errors.starts_with("memory(3,")) << wrong.errors;
    }
}

namespace {

// Compiled programs drawn on gl and read back.
class GfxUtilHlslPassesDrawTest : public gfxtest::GlProgramTest {
protected:
    IDirect3DVertexShader9* MakeVertex(const Result& r) {
        IDirect3DVertexShader9* out = nullptr;
        EXPECT_EQ(device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(r.code.data()),
                                             std::uint32_t(r.code.size()), &out),
                  D3D_OK);
        if (out) m_vertexShaders.push_back(out);
        return out;
    }
    IDirect3DPixelShader9* MakePixel(const Result& r) {
        IDirect3DPixelShader9* out = nullptr;
        EXPECT_EQ(device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(r.code.data()),
                                            std::uint32_t(r.code.size()), &out),
                  D3D_OK);
        if (out) m_pixelShaders.push_back(out);
        return out;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslPassesDrawTest, gfxtest::HlslDrawReadBacks(), gfxtest::GlReadBackParamName);

} // namespace

// An effect file whose keywords are capitalised, as tools write them,
// compiles one entry at a time: its techniques and passes, in any case, are
// the effect's and not the compiler's.
TEST_P(GfxUtilHlslPassesDrawTest, EffectKeywordsInAnyCaseStayOutOfOneEntrysCompile) {
    if (Stopped()) return;
    TempFolder folder("gfxutil-passes");
    const std::string path = folder.Write("caps.fx", R"(float4 Tint = {1, 0.5, 0, 1};
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut vs_main(float4 p : POSITION) { VOut o; o.pos = p; o.col = Tint; return o; }
float4 ps_main(float4 c : COLOR0) : COLOR { return c; }
Technique Lit < string Name = "lit"; >
{
    Pass Main { VertexShader = compile vs_2_0 vs_main(); PixelShader = compile ps_2_0 ps_main(); }
}
TECHNIQUE Plain { PASS { VertexShader = compile vs_2_0 vs_main(); CullMode = None; } }
technique Last { pass { PixelShader = compile ps_2_0 ps_main(); } }
)");
    Result vs, ps;
    CompileFile(vs, path, "vs_2_0", "vs_main");
    CompileFile(ps, path, "ps_2_0", "ps_main");
    ASSERT_EQ(vs.hr, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.hr, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = MakePixel(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(vs.table->SetDefaults(device), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 255, 128, 0, "the tint's default");
    // The effect reads the same file, techniques and passes by name.
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCreateEffectCompilerFromFileA(path.c_str(), nullptr, nullptr, 0, &compiler, &errors), D3D_OK);
    if (compiler) compiler->Release();
    if (errors) errors->Release();
}

// Of globals declared in one list the program reads some: those keep their
// registers and their values, the rest leave the table.
TEST_P(GfxUtilHlslPassesDrawTest, AListOfGlobalsKeepsTheOnesTheProgramReads) {
    if (Stopped()) return;
    Result ps;
    Compile(ps, "float4 Unread, Green, Spare;\nfloat4 main() : COLOR { return Green; }\n", "ps_2_0");
    ASSERT_EQ(ps.hr, D3D_OK) << ps.errors;
    ASSERT_NE(ps.table, nullptr);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "Unread"), nullptr);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "Spare"), nullptr);
    ASSERT_NE(ps.table->GetConstantByName(nullptr, "Green"), nullptr);
    IDirect3DPixelShader9* p = MakePixel(ps);
    ASSERT_NE(p, nullptr);
    const D3DXVECTOR4 green{0.f, 1.f, 0.f, 1.f};
    ASSERT_EQ(ps.table->SetVector(device, "Green", &green), D3D_OK);
    IDirect3DVertexShader9* v = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 0, 255, 0, "the constant set by name");
}

// What an effect's blanked syntax leaves goes to the front end as empty
// lines: every line stays, and so do the columns of the lines with words.
TEST(GfxUtilHlslPassesTest, BlankLinesAreEmptiedAndEveryLineAndColumnKept) {
    std::string text = "float4 a;\n      \n\t \r\n  float4 b;  \n\n   ";
    hlsl::EmptyBlankLines(text);
    EXPECT_EQ(text, "float4 a;\n\n\n  float4 b;  \n\n");
    std::string none;
    hlsl::EmptyBlankLines(none);
    EXPECT_EQ(none, "");
    std::string words = "x\ny";
    hlsl::EmptyBlankLines(words);
    EXPECT_EQ(words, "x\ny");

    // An error past a long technique of blanked passes is still reported at
    // its own line and column.
    std::string effect = "float4 Shade(uniform float k) : COLOR0 { return float4(k, 0.5, 0.25, 1); }\ntechnique T {\n";
    for (int n = 0; n < 50; ++n)
        effect += "  pass P" + std::to_string(n) + " { PixelShader = compile ps_2_0 Shade(" + std::to_string(n) +
                  " / 400.0); }\n";
    effect += "}\n";
    std::vector<std::uint8_t> code;
    std::string errors;
    EXPECT_TRUE(CompileHlsl(effect, "many.fx", nullptr, "Shade", "ps_2_0", code, errors)) << errors;
    const std::string broken = "float4 Broken() : COLOR0 { return float4(1, 2, 3, 4) + undeclared; }\n";
    // Its column as the front end gives it with nothing blanked before it.
    ASSERT_FALSE(CompileHlsl(broken, "one.fx", nullptr, "Broken", "ps_2_0", code, errors));
    const std::size_t comma = errors.find(',');
    ASSERT_EQ(errors.rfind("one.fx(1,", 0), 0u) << errors;
    const std::string column = errors.substr(comma, errors.find(')') - comma);
    effect += broken;
    EXPECT_FALSE(CompileHlsl(effect, "many.fx", nullptr, "Broken", "ps_2_0", code, errors));
    EXPECT_NE(errors.find("many.fx(54" + column + ")"), std::string::npos) << errors << column;
    EXPECT_NE(errors.find("undeclared"), std::string::npos) << errors;
}
