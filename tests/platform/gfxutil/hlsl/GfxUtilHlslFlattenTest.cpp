// Initialiser lists, casts and conversions read component by component:
// the pass's text and refusals, and programs using them compiled, tabled,
// made on gl, drawn and read back.

#include "platform/gfxutil/hlsl/GfxUtilHlslFlatten.h"

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

std::size_t Lines(const std::string& s) { return std::size_t(std::count(s.begin(), s.end(), '\n')); }

// The pass over `source`: its text, or "" with the refusal in `error` and
// the refused form's line in `line`.
std::string Flat(const std::string& source, std::string& error, std::size_t& line) {
    const hlsl::PassRun run;
    std::string out;
    std::size_t at = 0;
    error.clear();
    if (!hlsl::FlattenComponents(source, out, error, at)) {
        line = 1 + std::size_t(
                       std::count(source.begin(), source.begin() + std::ptrdiff_t(std::min(at, source.size())), '\n'));
        return {};
    }
    EXPECT_EQ(Lines(out), Lines(source)) << out;
    return out;
}

std::string Flat(const std::string& source) {
    std::string error;
    std::size_t line = 0;
    const std::string out = Flat(source, error, line);
    EXPECT_TRUE(error.empty()) << error << " at line " << line << "\n" << source;
    return out;
}

} // namespace

// What is already in the front end's shapes, and what the pass cannot type,
// is left as written: a program it does not need to touch reads the same.
TEST(GfxUtilHlslFlattenTest, LeavesWhatNeedsNoFlatteningAsWritten) {
    const char* const sources[] = {
        "float4 main() : COLOR { float4 a[2] = {float4(1, 2, 3, 4), float4(5, 6, 7, 8)}; return a[1]; }",
        "float4 main() : COLOR { float4 v = {1, 2, 3, 4}; float2x2 m = {1, 2, 3, 4}; return v + m[0].xyxy; }",
        "sampler s; float4 main(float2 t : TEXCOORD0) : COLOR { float4 c = {tex2D(s, t).rgb, 1}; return c; }",
        "float4 g[2] = {1, 2, 3, 4, 5, 6, 7, 8};\nfloat4 main() : COLOR { return g[1]; }",
        "cbuffer b { float4 d = {3, 5, float2(4, 4)}; }\nfloat4 main() : COLOR { return d; }",
        "float4x4 M; float4 main() : COLOR { float3x3 t = (float3x3)M; return float4(t[0], 1); }",
        "float4 main(float4 c : COLOR0) : COLOR { int3 i = (int3)c; return float4(i, 1); }",
        // A typedef may give a scalar's word to another type.
        "float4 main() : COLOR { typedef float2 float; float v = {2, 3}; return v.xyxy; }",
    };
    for (const char* s : sources) EXPECT_EQ(Flat(s), s);
}

// Each form spelt out: the items' components in order, nested braces read
// flat, each leaf built by its own type's constructor.
TEST(GfxUtilHlslFlattenTest, SpellsOutEachFormComponentByComponent) {
    struct Case {
        const char* source;
        const char* expected; // a part of the output
    };
    const Case cases[] = {
        {"float4 main() : COLOR { int4 aa = {1, 2, 3, 4}; float4 foo[2] = {1, aa, 2, 3, 4}; return foo[1]; }",
         "float4 foo[2] = {float4(1, aa.x, aa.y, aa.z), float4(aa.w, 2, 3, 4)};"},
        {"struct S { int3 a; float4 b; };\nfloat4 main() : COLOR { S s = {1, 2, float2(3, 4), int3(5, 6, 7)}; return "
         "s.b; }",
         "S s = {int3(1, 2, (float2(3,4)).x), float4((float2(3,4)).y, (int3(5,6,7)).x, (int3(5,6,7)).y, "
         "(int3(5,6,7)).z)};"},
        {"float4 main() : COLOR { float4 a = {1, {{{2, {3}}, 4}}}; return a; }", "float4 a = float4(1, 2, 3, 4);"},
        {"float4 main() : COLOR { float f[5] = {1, 2, 3, 4, 5}; int4 i = (int4) f; return i; }",
         "int4 i = (int4(f[0], f[1], f[2], f[3]));"},
        {"float4 main() : COLOR { float2x2 m = {1, 2, 3, 4}; return float4(m); }",
         "return float4(m[0][0], m[0][1], m[1][0], m[1][1]);"},
        {"float4 main() : COLOR { float4 arr[] = {1, 2, 3, 4, 5, 6, 7, 8}; return arr[1]; }", "float4 arr[2] = {"},
        {"static const int n = 3;\nstatic const float v[(n + 1) * 2] = {1, 2, 3, 4, 5, 6, 7, 8};\nfloat4 main() : "
         "COLOR { return v[7]; }",
         "static const float v[8] = {"},
        {"struct A { float4 a; float4 b; };\nstruct B : A { float4 b; };\nB data;\nfloat4 main() : COLOR { return "
         "data.b; }",
         "struct B { float4 a; float4 orvBase1_b;  float4 b; };"},
        {"struct A { row_major float2x2 m : TEXCOORD0; float c[2 * 2]; };\nstruct B : A { float4 b; };\nB data;\n"
         "float4 main() : COLOR { return data.b; }",
         "struct B { row_major float2x2 m:TEXCOORD0; float c[2*2]; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string out = Flat(c.source);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
}

// A matrix's list whose items are arithmetic, intrinsic calls, casts or
// signs is the run of their components, each item's components read from
// it in order; an item the pass cannot type (a comparison) leaves the list
// as written.
TEST(GfxUtilHlslFlattenTest, AMatrixListOfExpressionsIsTheRunOfTheirComponents) {
    struct Case {
        const char* body;
        const char* expected; // a part of the output
    };
    const Case cases[] = {
        {"float3x3 m = {a, 1, 0, 0, a * 2};",
         "float3x3 m = float3x3(a.x, a.y, a.z, 1, 0, 0, (a*2).x, (a*2).y, (a*2).z);"},
        {"float2x2 m = {-a.xy, normalize(a).z, (float)a.x + 1};",
         "float2x2 m = float2x2((-a . xy).x, (-a . xy).y, (normalize(a). z), ((float)a . x+1));"},
        {"float2x3 m = {(a + 0.5) * 2, min(a, b.x)};",
         "float2x3 m = float2x3(((a+0.5)*2).x, ((a+0.5)*2).y, ((a+0.5)*2).z, (min(a,b . x)).x, (min(a,b . x)).y, "
         "(min(a,b . x)).z);"},
        {"float2x2 m = {b.xy / 4, dot(a, a), b.w - a.x};",
         "float2x2 m = float2x2((b . xy/4).x, (b . xy/4).y, (dot(a,a)), (b . w-a . x));"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const std::string out =
            Flat("float3 a;\nfloat4 b;\nfloat4 main() : COLOR\n{\n    " + std::string(c.body) + "\n    return 0;\n}\n");
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
    const std::string compared = "float3 a;\nfloat4 main() : COLOR { float2x2 m = {a.xy, a.x > 0, 1}; return 0; }\n";
    EXPECT_EQ(Flat(compared), compared);
}

// A cast or assignment into an array or struct goes through a temporary
// made just before its statement; one that cannot go there (a loop's
// header, a branch without braces) is left to the front end.
TEST(GfxUtilHlslFlattenTest, AggregateConversionsGoThroughATemporaryBeforeTheStatement) {
    const std::string out = Flat("struct P { float3 a; float b; };\nfloat4 main() : COLOR {\n"
                                 "    float f[4] = {1, 2, 3, 4};\n    P p;\n    p = f;\n    p = (P) f;\n"
                                 "    return float4(p.a, p.b);\n}\n");
    EXPECT_NE(out.find("P orvFlat0 = {float3(f[0], f[1], f[2]), float(f[3])}; p = orvFlat0;"), std::string::npos)
        << out;
    EXPECT_NE(out.find("P orvFlat1 = {float3(f[0], f[1], f[2]), float(f[3])}; p = orvFlat1;"), std::string::npos)
        << out;
    // A value a call gives is read once, before the statement, also from
    // inside an initialiser list.
    const std::string call = Flat("int2x2 g() { return int2x2(1, 2, 3, 4); }\nfloat4 main() : COLOR {\n"
                                  "    float4 a[2] = {{0, 0, 0, 0}, float4(g())};\n    return a[1];\n}\n");
    EXPECT_NE(call.find("int2x2 orvFlat0 = g(); float4 a[2] = {{0, 0, 0, 0}, "
                        "float4(orvFlat0[0][0], orvFlat0[0][1], orvFlat0[1][0], orvFlat0[1][1])};"),
              std::string::npos)
        << call;
    // Components of other scalar types are no implicit conversion.
    const std::string mixed = "struct Q { float3 a; int b; };\nfloat4 main() : COLOR { float f[4] = {1, 2, 3, 4}; "
                              "Q q; q = f; return q.b; }";
    EXPECT_EQ(Flat(mixed), mixed);
    const std::string branch =
        "struct P { float3 a; float b; };\nfloat4 main(float4 c : COLOR0) : COLOR { "
        "float f[4] = {1, 2, 3, 4}; P p = (P)0; if (c.x > 0) p.b = 1; else p = (P) f; return p.b; }";
    EXPECT_EQ(Flat(branch), branch);
}

// The forms the language refuses, each at its line.
TEST(GfxUtilHlslFlattenTest, RefusesWrongCountsAndSizesAtTheirLine) {
    struct Case {
        const char* name;
        const char* source;
        std::size_t line;
        const char* message;
    };
    const Case cases[] = {
        {"TooFew", "float4 main() : COLOR {\n float4 v[2] = {1, 2, 3, 4, 5, 6, 7};\n return 0; }", 2,
         "the initialiser of 'v' has 7 components where its type has 8"},
        {"TooMany", "struct S { int a; float4 b; };\nfloat4 main() : COLOR {\n S s = {1, 2, 3, 4, 5, 6};\n return 0; }",
         3, "has 6 components where its type has 5"},
        {"ImplicitNotWhole", "float4 main() : COLOR {\n\n float4 a[] = {1, 2, 3, 4, 5};\n return 0; }", 3,
         "5 values do not fill whole elements of 'float4'"},
        {"ImplicitInner", "float4 main() : COLOR {\n float2 a[3][] = {1, 2, 3, 4, 5, 6};\n return 0; }", 2,
         "only the first size of the array 'a'"},
        {"ImplicitWithoutInitialiser", "float4 main() : COLOR {\n float4 a[];\n return 0; }", 2,
         "has neither a size nor an initialiser"},
        {"ImplicitMember", "struct S {\n int a;\n float4 b[];\n};\nfloat4 main() : COLOR { return 0; }", 3,
         "the member 'b' needs its array size"},
        {"ImplicitParameter", "float4 f(float4 a[])\n{ return a[0]; }\nfloat4 main() : COLOR { return 0; }", 1,
         "the parameter 'a' needs its array size"},
        {"ImplicitTypedef", "typedef float4 many[];\nfloat4 main() : COLOR { return 0; }", 1, "a typedef cannot leave"},
        {"ImplicitCast",
         "float4 main() : COLOR {\n float2 a[2] = {1, 2, 3, 4};\n float4 b[1] = (float4[]) a;\n return 0; }", 3,
         "a cast to an array needs its size"},
        {"CastFromFewer", "float4 main() : COLOR {\n float a[3] = {1, 2, 3};\n int4 i = (int4) a;\n return i; }", 3,
         "cannot convert from 'float[3]' to 'int4': 3 components where it takes 4"},
        {"CastMatrixToOtherCount",
         "float4 main() : COLOR {\n float2x2 m = {1, 2, 3, 4};\n float3 v = (float3) m;\n return 0; }", 3,
         "a matrix gives as many components as it has"},
        {"CastIntoMatrixOfOtherCount",
         "float4 main() : COLOR {\n float a[5] = {1, 2, 3, 4, 5};\n float4x1 m = (float4x1) a;\n return 0; }", 3,
         "a matrix takes as many components as it has"},
        {"TwoBases",
         "struct A { float a; };\nstruct B { float b; };\nstruct C : A, B { float c; };\nfloat4 main() : COLOR { "
         "return 0; }",
         3, "a struct derives from one struct only"},
        {"BaseNotAStruct", "struct A : float4 { float a; };\nfloat4 main() : COLOR { return 0; }", 1,
         "'float4' is not a struct to derive from"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        std::size_t line = 0;
        EXPECT_EQ(Flat(c.source, error, line), "");
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(line, c.line) << error;
    }
}

// Sizes and shapes a hostile source may give: past the cap on components a
// value is left as written; a struct redefined to hold its old self, lists
// nested deep, an operand without end, all read without looping or
// overflowing.
TEST(GfxUtilHlslFlattenTest, HostileShapesAreLeftAsWritten) {
    const std::string huge = "float4 main() : COLOR { float4 a[65536] = {1, 2}; int b[4] = (int[4]) a; return a[0]; }";
    EXPECT_EQ(Flat(huge), huge);
    const std::string self = "struct A { float x; };\nstruct A { A y; float z; };\nfloat4 main() : COLOR { A a = {1, "
                             "2}; float f[2] = (float[2]) a; return f[0]; }";
    std::string error;
    std::size_t line = 0;
    EXPECT_FALSE(Flat(self, error, line).empty()) << error;
    std::string deep = "float4 main() : COLOR { float4 a = ";
    for (int i = 0; i < 2000; ++i) deep += "{";
    deep += "1";
    for (int i = 0; i < 2000; ++i) deep += "}";
    deep += "; return a; }";
    const hlsl::PassRun run;
    std::string out;
    std::size_t at = 0;
    EXPECT_TRUE(hlsl::FlattenComponents(deep, out, error, at) || !error.empty());
    // Nesting past what the readers follow: structs in structs, array
    // dimensions, parentheses, constant expressions.
    std::string structs = "float4 main() : COLOR { ", dims = "float4 main() : COLOR { float a",
                parens = "float4 main() : COLOR { float4 v = float4(", sum = "static const float s[1";
    for (int i = 0; i < 5000; ++i) {
        structs += "struct { ";
        dims += "[1]";
        parens += "(";
        sum += " + 1";
    }
    structs += "float x; ";
    for (int i = 0; i < 5000; ++i) structs += "} m" + std::to_string(i) + "; ";
    structs += "return 0; }";
    dims += " = {1}; float b[1] = (float[1]) a; return float4(a); }";
    parens += "m";
    for (int i = 0; i < 5000; ++i) parens += ")";
    parens += "); return v; }";
    sum += "] = {1};";
    for (const std::string& s : {structs, dims, parens, sum})
        EXPECT_TRUE(hlsl::FlattenComponents(s, out, error, at) || !error.empty());
    // Many large values cast into each other: refused once the text they
    // spell out passes its cap, not grown without end.
    std::string many = "float4 main() : COLOR { float a[16384]; float b[128][128];\n";
    for (int i = 0; i < 40; ++i) many += "b = (float[128][128]) a;\n";
    many += "return b[0][0]; }";
    EXPECT_EQ(Flat(many, error, line), "");
    EXPECT_NE(error.find("pass " + std::to_string((64 << 10) + many.size()) + " bytes"), std::string::npos) << error;
    for (const char* cut : {"float4 main() : COLOR { float a[2] = {1, 2}; return (float2x1", "struct", "struct A : ",
                            "float4 v[(2 +", "float4 main() { int4 i = (int4) ", "float4 main() { float a[2]; a = "}) {
        EXPECT_TRUE(hlsl::FlattenComponents(cut, out, error, at) || !error.empty()) << cut;
    }
}

namespace {

class GfxUtilHlslFlattenDrawTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles the pixel program, makes it behind the pass-through vertex
    // program and draws the quad; false (with a failure) where any step fails.
    bool Draws(Compiled& ps, const std::string& source) {
        return UsePixel(ps, source);
    }
    void DrawQuadOnce(const Compiled& ps) {
        Clear();
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0},
                                                {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1},
                                                {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK) << ps.container.glsl;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslFlattenDrawTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// Each form compiled, made on gl and drawn: the colour is the components
// the language puts where the program reads them (tenths, so that each
// lands on its own step of the target).
TEST_P(GfxUtilHlslFlattenDrawTest, EachFormDrawsThePublishedComponents) {
    if (Stopped()) return;
    struct Case {
        const char* name;
        const char* body;             // the pixel program; it returns tenths
        int r, g, b;                  // in tenths
        float c0[4] = {}, c1[4] = {}; // the first two constants (columns of a matrix there)
    };
    const Case cases[] = {
        {"VectorsInAnArrayList",
         "float4 main() : COLOR { int4 aa = {1, 2, 3, 4}; float4 foo[3] = {1, aa, aa, 2, 3, 4}; return foo[1] / 10; }",
         4, 1, 2},
        {"StructFromAFlatList",
         "struct S { int3 a; float4 b; };\nfloat4 main() : COLOR { S s = {1, 2, float2(3, 4), int3(5, 6, 7)}; "
         "return s.b.yzwx / 10; }",
         5, 6, 7},
        {"NestedBracesReadFlat",
         "float4 main() : COLOR { float4 a[2] = {1, {{{2, {3}}, 4}}, {5, 6}, {{7}}, 8}; return a[1].yzwx / 10; }", 6, 7,
         8},
        {"ArrayCastToAVector",
         "float4 main() : COLOR { float f[5] = {1.5, 2.5, 3.5, 4.5, 5.5}; int4 i = (int4) f; return i / 10.0; }", 1, 2,
         3},
        {"MatrixCastToAStruct",
         "struct S { float3 a; int b; };\nfloat4 main() : COLOR { float2x2 m = {5, 6, 7, 8}; S s = (S) m; "
         "return float4(s.a.yz, s.b, 0) / 10; }",
         6, 7, 8},
        {"StructCastToAnArray",
         "struct S { float3 a; int b; float c; };\nfloat4 main() : COLOR { S s = {5, 6, 7, 8.8, 9}; float f[4]; "
         "f = (float[4]) s; return float4(f[1], f[2], f[3], 0) / 10; }",
         6, 7, 8},
        {"IntMatrixInAVectorConstructor",
         "float4 main() : COLOR { int2x2 m = {1, 2, 3, 4}; return float4(m).yzwx / 10; }", 2, 3, 4},
        {"IntMatrixFromACallInAVectorConstructor",
         "int2x2 m() { return int2x2(1, 2, 3, 4); }\nfloat4 main() : COLOR { return float4(m()).yzwx / 10; }", 2, 3, 4},
        {"IntMatrixUniformInAVectorConstructor",
         "int2x2 u;\nfloat4 main() : COLOR { return float4(u).yzwx / 10; }",
         2,
         3,
         4,
         {1, 3, 0, 0},
         {2, 4, 0, 0}},
        {"IntMatrixFromACallInAList",
         "int2x2 m() { return int2x2(1, 2, 3, 4); }\n"
         "float4 main() : COLOR { float4 a[2] = {{0, 0, 0, 0}, float4(m())}; return a[1].yzwx / 10; }",
         2, 3, 4},
        {"ArrayAssignedToAStructOfItsComponents",
         "struct S { float3 a; float b; };\nfloat4 main() : COLOR { float f[4] = {1, 2, 3, 4}; S s; s = f; "
         "return float4(s.a.yz, s.b, 0) / 10; }",
         2, 3, 4},
        {"ArrayOfOtherDimensionsAsAParameter",
         "float4 f(float a[2][3]);\nfloat4 f(float a[2][3]) { return float4(a[1][2], a[1][0], a[0][2], 0); }\n"
         "float4 main() : COLOR { float b[3][2] = {1, 2, 3, 4, 5, 6}; return f(b) / 10; }",
         6, 4, 3},
        {"ArrayOfArraysReadAtComputedIndices",
         "float i, j;\nfloat4 main() : COLOR { float arr[6][2] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}; "
         "float4 a[2][2] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}; "
         "return float4(arr[i + 2][j], a[j][i].yz - 5, 0) / 10; }",
         5,
         5,
         6,
         {0, 0, 0, 0},
         {1, 0, 0, 0}},
        {"ImplicitSizeFromTheList",
         "float4 main() : COLOR { float2 a[][3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}; "
         "return float4(a[1][0], a[1][1]) / 10; }",
         7, 8, 9},
        {"OneRowMatrixLocal",
         "float4 main() : COLOR { float1x4 m = {1, 2, 3, 4}; int3 v = (int1x3) m; return float4(v, 0) / 10; }", 1, 2,
         3},
        {"SizesByConstantExpressions",
         "static const float a[4] = {1, 2, 3, 4};\nstatic const int i = 2;\n"
         "static const float b[a[i] * 2] = {0, 1, 2, 3, 4, 5};\nfloat4 main() : COLOR { return float4(b[5], b[4], "
         "b[3], 0) / 10; }",
         5, 4, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Compiled ps;
        if (!Draws(ps, c.body)) continue;
        SetPsConstant(0, c.c0[0], c.c0[1], c.c0[2], c.c0[3]);
        SetPsConstant(1, c.c1[0], c.c1[1], c.c1[2], c.c1[3]);
        DrawQuadOnce(ps);
        ExpectPixel(8, 8, c.r * 25.5, c.g * 25.5, c.b * 25.5, ps.container.glsl);
    }
}

// A struct deriving from another is laid out as its base's members then
// its own, a member of its own hiding the base's of that name; the table
// lists it with all its registers, and the program reads each where the
// table puts it.
TEST_P(GfxUtilHlslFlattenDrawTest, DerivedStructConstantsAreTabledAndRead) {
    if (Stopped()) return;
    Compiled ps;
    if (!Draws(ps, "struct A { float4 aa; float4 bb; };\nstruct B : A { float4 cc; };\nstruct C : B { float4 bb; };\n"
                   "C data;\nfloat4 main() : COLOR { return data.aa + data.bb + data.cc; }"))
        return;
    const ShaderConstantRecord* data = Constant(ps.container, "data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->registerIndex, 0);
    EXPECT_EQ(data->registerCount, 4);
    EXPECT_EQ(data->structMembers, 4);
    // Members follow their struct: the base's first, the hidden one by its own name.
    const ShaderConstantRecord* first = data + 1;
    const char* const names[4] = {"aa", "bb", "cc", "bb"};
    for (int m = 0; m < 4 && data->structMembers == 4; ++m) {
        EXPECT_EQ(first[m].name, names[m]) << m;
        EXPECT_EQ(first[m].registerIndex, m) << m;
    }
    SetPsConstant(0, 0.2f, 0, 0, 0);
    SetPsConstant(1, 0.5f, 0.5f, 0.5f, 0); // the base's bb, hidden
    SetPsConstant(2, 0, 0.4f, 0, 0);
    SetPsConstant(3, 0, 0, 0.6f, 0);
    DrawQuadOnce(ps);
    ExpectPixel(8, 8, 0.2 * 255, 0.4 * 255, 0.6 * 255, ps.container.glsl);
}

// An array whose size is a constant expression of the source takes that
// many elements in the table and the registers, and is set by name.
TEST_P(GfxUtilHlslFlattenDrawTest, ConstantExpressionSizesAreTabled) {
    if (Stopped()) return;
    Compiled ps;
    if (!Draws(ps, "static const int n = 2;\nfloat4 v[(n + 1) * 2 - 2];\n"
                   "float4 main() : COLOR { return v[0] + v[3]; }"))
        return;
    const ShaderConstantRecord* v = Constant(ps.container, "v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->elements, 4);
    EXPECT_EQ(v->registerCount, 4);
    const D3DXVECTOR4 values[4] = {{0.2f, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0.4f, 0.6f, 0}};
    ASSERT_EQ(ps.table->SetVectorArray(device, "v", values, 4), D3D_OK);
    DrawQuadOnce(ps);
    ExpectPixel(8, 8, 0.2 * 255, 0.4 * 255, 0.6 * 255, ps.container.glsl);
}

// Through the whole compile a wrong count is refused at its line of the
// file, not compiled into a program of other values.
TEST(GfxUtilHlslFlattenCompileTest, WrongCountsAreRefusedAtTheirLine) {
    Compiled ps;
    Compile(ps, "float4 main() : COLOR\n{\n    float4 v[2] = {1, 2, 3, 4, 5, 6, 7};\n    return v[1];\n}\n", "ps_2_0");
    EXPECT_NE(ps.result, D3D_OK);
    EXPECT_NE(ps.errors.find("memory(3,"), std::string::npos) << ps.errors;
    EXPECT_NE(ps.errors.find("7 components where its type has 8"), std::string::npos) << ps.errors;
    Compiled cast;
    Compile(
        cast,
        "float4 main() : COLOR\n{\n    float2x2 m = {1, 2, 3, 4};\n\n    float3 v = (float3) m;\n    return 0;\n}\n",
        "ps_2_0");
    EXPECT_NE(cast.result, D3D_OK);
    EXPECT_NE(cast.errors.find("memory(5,"), std::string::npos) << cast.errors;
}
