// Forms the D3D9 compiler refuses and glslang's HLSL front end would take:
// each refused by D3DXCompileShader with its reason at its line, and in an
// effect, where its passes describe no program; the forms beside them that
// are fine still compile.
#include "platform/gfxutil/hlsl/GfxUtilHlslRefusals.h"

#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <string>

using namespace gfx;
using gfx::test::CompileOutcome;
using gfx::test::Finish;

namespace {

CompileOutcome CompileText(const std::string& source, const char* profile = "ps_2_0") {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, 0, &code,
                                         &errors, nullptr);
    return Finish(hr, code, errors);
}

struct Form {
    const char* name;
    const char* source;
    int line;            // where the refusal is named
    const char* message; // what it says
};

const Form kRefused[] = {
    {"SwizzleWrittenNamesAComponentTwice",
     "float4 main() : COLOR\n{\n    float4 x = 0;\n    x.xzzx = float4(1, 2, 3, 4);\n    return x;\n}\n", 4,
     "the swizzle 'xzzx' is written to but names a component twice"},
    {"ColourSwizzleAddedTo", "float4 main() : COLOR\n{\n    float4 x = 0;\n    x.rr += 1;\n    return x;\n}\n", 4,
     "the swizzle 'rr'"},
    {"MatrixSwizzleWrittenNamesAComponentTwice",
     "float4 main() : COLOR\n{\n    float2x2 m = {1, 2, 3, 4};\n    m._m01_m01 = float2(2, 2);\n    return m[0].xyxy;\n}\n",
     4, "the swizzle '_m01_m01'"},
    {"MatrixSwizzleOfBothNamings",
     "float4 main() : COLOR\n{\n    float2x2 m = 0;\n    m._11_m00 = 1;\n    return m[0].xyxy;\n}\n", 4,
     "the swizzle '_11_m00'"},
    {"SwizzleNamingAComponentTwicePassedOut",
     "void f(inout float2 o) { o += 0.1; }\nfloat4 main() : COLOR\n{\n    float2 x = 0;\n    f(x.yy);\n    return 0;\n}\n",
     5, "the swizzle 'yy'"},
    {"IntegerDividedByAConstantZero",
     "float4 main() : COLOR\n{\n    int x = 1;\n    int y = 0;\n    return x / y;\n}\n", 5,
     "an integer divided by zero"},
    {"IntegerRemainderOfAConstantZero",
     "float4 main() : COLOR\n{\n    int x = 1;\n    int y = 0;\n    return x % y;\n}\n", 5,
     "an integer divided by zero"},
    {"UniformReturnType", "\nuniform float4 main() : COLOR\n{\n    return 0;\n}\n", 2, "'uniform' on a return type"},
    {"StructWithoutNameOrVariable", "struct {float4 a;};\n\nfloat4 main() : COLOR { return 0; }\n", 1,
     "a struct without a name declares no variable"},
    {"ArrayOf65537Elements", "float4 main() : COLOR\n{\n    float a[65537];\n    return 0;\n}\n", 3,
     "an array of 65537 elements: at most 65536"},
    {"AttributeRepeated", "\n[one][one]\nfloat4 main() : COLOR { return 0; }\n", 2, "the attribute 'one' is given twice"},
    {"AttributeRepeatedWithArguments", "[one][one(1)]\nfloat4 main() : COLOR { return 0; }\n", 1,
     "the attribute 'one' is given twice"},
    {"StatementAttributeRepeated",
     "float4 u;\nfloat4 main() : COLOR\n{\n    [branch] [branch]\n    if (u.x > 0) return 1;\n    return 0;\n}\n", 4,
     "the attribute 'branch' is given twice"},
    {"LoopAttributeRepeated",
     "float4 main() : COLOR\n{\n    float x = 0;\n    [unroll] [unroll] for (int i = 0; i < 4; i++) x += i;\n    return x;\n}\n",
     4, "the attribute 'unroll' is given twice"},
    {"DefaultOnOutParameter",
     "float f(float a, out float b = 1.0)\n{\n    b = a;\n    return b;\n}\nfloat4 main() : COLOR { return 0; }\n", 1,
     "an 'out' parameter takes no default value"},
    {"DefaultOnInoutParameter",
     "float f(float a, inout float b = 1.0) { b += a; return b; }\nfloat4 main() : COLOR { float x = 2; return f(4, x); }\n",
     1, "an 'out' parameter takes no default value"},
    {"ConstLocalWithoutValue", "float4 main() : COLOR\n{\n    const float4 x;\n    return x;\n}\n", 3,
     "a 'const' local without its value"},
    {"ModifierTwice", "const const float4 c;\nfloat4 main() : COLOR { return c; }\n", 1, "'const' is given twice"},
    {"StaticUniform", "static uniform float4 f;\nfloat4 main() : COLOR { return 0; }\n", 1, "'static' with 'uniform'"},
    {"OutUniformParameter", "void main(out uniform float4 o : COLOR)\n{\n    o = 0;\n}\n", 1,
     "an 'out' parameter cannot be 'uniform'"},
    {"UniformLocal", "float4 main(void) : COLOR\n{\n    uniform float f;\n    return 0;\n}\n", 3,
     "'uniform' is not for a local variable"},
    {"InLocal", "float4 main(void) : COLOR\n{\n    in float f;\n    return 0;\n}\n", 3,
     "'in' is not for a local variable"},
    {"TypedefOfABuiltInType", "typedef float2 float;\nfloat4 main() : COLOR { return 0; }\n", 1,
     "'float' is a built-in type and cannot be defined again"},
    {"StaticIntegerWithoutValueDividing", "static uint i;\n\nfloat4 main() : COLOR\n{\n    return 1 / i;\n}\n", 5,
     "an integer divided by zero"},
    {"MatrixSwizzleMixingNamings",
     "float4 main() : COLOR\n{\n    float3x2 m = 0;\n    float2 p = m._11_m00;\n    return p.xyxy;\n}\n", 4,
     "mixes the _11 and _m00 namings"},
    {"UnrollWithLoop",
     "float4 main() : COLOR\n{\n    float r = 0;\n    [loop] [unroll(1)] for (int i = 0; i < 10; ++i) r += 1;\n    return r;\n}\n",
     4, "'unroll' with 'loop'"},
    {"MajorityOnAVector", "\ncolumn_major float4 f;\nfloat4 main() : COLOR { return f; }\n", 2,
     "'column_major' on 'float4', which is no matrix"},
    {"BothMajorities", "row_major column_major float4x4 m;\nfloat4 main() : COLOR { return m[0]; }\n", 1,
     "'row_major' with 'column_major'"},
    {"EntryArrayInputWithoutSemantic", "float4 main(in float2 arr[2]) : COLOR\n{\n    return 0;\n}\n", 1,
     "'arr', a parameter of 'main', has no semantic"},
    {"EntryStructMemberWithoutSemantic",
     "struct apple\n{\n    float2 miss;\n};\nstruct banana\n{\n    apple apl[2];\n    float4 arb : TEXCOORD1;\n};\n"
     "float4 main(in banana bans[2]) : COLOR\n{\n    return 0;\n}\n",
     3, "'miss', a member of 'apple' the entry reads or writes, has no semantic"},
    {"ImplicitArrayNotFilledWhole",
     "float4 main() : COLOR\n{\n    float4 arr[] = {10, 20, 30, 40, 50, 60, 70};\n    return 0;\n}\n", 3,
     "7 values do not fill whole elements of 'float4'"},
    {"EntryInputWithoutSemantic", "\nfloat4 main(in float4 i) : COLOR\n{\n    return 0;\n}\n", 2,
     "'i', a parameter of 'main', has no semantic"},
    {"EntryOutputWithoutSemantic", "void main(float4 p : TEXCOORD0, out float4 o)\n{\n    o = p;\n}\n", 1,
     "'o', a parameter of 'main', has no semantic"},
    {"ConstructorOfOneLiteral", "float4 main() : COLOR\n{\n    return float4(0);\n}\n", 3,
     "incorrect number of arguments to the constructor of 'float4'"},
    {"ConstructorOfOneLiteralInAnAttribute", "\n[numthreads(float2(-1))]\nfloat4 main() : COLOR { return 0; }\n", 2,
     "incorrect number of arguments to the constructor of 'float2'"},
    {"ConstantsValueReadsAConstant", "float a = 7;\nfloat4 b = {1, 2,\n  a, 4};\nfloat4 main() : COLOR { return b; }\n", 3,
     "the value of 'b' reads 'a': an initial value must be a literal expression"},
    {"VectorIndexedByAOneComponentVector",
     "float4 main() : COLOR\n{\n    float4 v = {0, 1, 2, 3};\n    int1 i = {3};\n    return v[i];\n}\n", 5,
     "'i', a vector of one component, cannot index a vector"},
    {"StaticStructHoldingASampler",
     "struct S\n{\n    sampler s;\n    float4 f;\n};\nstatic struct S a;\nfloat4 main() : COLOR { return 1; }\n", 6,
     "'a' is static, and its struct 'S' holds the object 's'"},
    {"MajorityOnATypedefThatHasOne",
     "typedef row_major float4x4 m_t;\n\ncolumn_major m_t m;\nfloat4 main() : COLOR { return m[0]; }\n", 3,
     "'column_major' on 'm_t', which has the other majority"},
    {"MajorityOnATypedefOfATypedefThatHasOne",
     "typedef row_major float4x4 m_t;\ntypedef column_major m_t n_t;\nfloat4 main() : COLOR { return 0; }\n", 2,
     "'column_major' on 'm_t', which has the other majority"},
    {"MajorityOnAStruct",
     "struct S { float4x4 m; };\ntypedef column_major struct S s_t;\nfloat4 main() : COLOR { return 0; }\n", 2,
     "'column_major' on a struct"},
    {"LowerCaseNull", "texture t = null;\nfloat4 main() : COLOR { return 0; }\n", 1, "'null' is not declared"},
    {"EntryOutputArrayOfStructs",
     "struct S { float2 t : TEXCOORD0; };\nvoid main(out S s[2], out float4 c : COLOR)\n{\n    s[0].t = 1;\n"
     "    s[1].t = 2;\n    c = 0;\n}\n",
     2, "'s', an output of 'main', is an array of structs"},
    {"LoopOf1024RunsUnrolled",
     "float4 main() : COLOR\n{\n    int i;\n    [unroll]\n    for (i = 0; i < 1024; ++i);\n    return i;\n}\n", 5,
     "a loop of 1024 runs cannot be unrolled without a count (at most 1023)"},
    {"SwitchCaseFallingThrough",
     "uint4 v;\nfloat4 main() : COLOR\n{\n    float4 c = 1;\n    switch (v.x)\n    {\n    case 0:\n        c += 0.1;\n"
     "    case 1:\n        c += 0.2;\n        break;\n    }\n    return c;\n}\n",
     7, "the case falls through to the next"},
    {"SwitchCaseEndingOnDiscard",
     "uint4 v;\nfloat4 main() : COLOR\n{\n    switch (v.x)\n    {\n    case 0:\n        return 3.0;\n    default:\n"
     "        discard;\n    }\n    return 0.0;\n}\n",
     8, "the case ends on 'discard'"},
    {"SwitchEndingOnACaseWithoutStatements",
     "uint4 v;\nfloat4 main() : COLOR\n{\n    switch (v.x)\n    {\n    case 0:\n        return 3.0;\n    case 2:\n"
     "    }\n    return 0.0;\n}\n",
     8, "a case without statements ends the switch"},
    {"ContinueWithinASwitch",
     "uint4 v;\nfloat4 main() : COLOR\n{\n    float4 c = 1;\n    for (uint i = 0; i < 4; i++)\n    {\n"
     "        switch (v.x)\n        {\n        case 0:\n            if (v.y)\n                continue;\n"
     "            break;\n        }\n    }\n    return c;\n}\n",
     11, "'continue' within a switch"},
    {"AmbiguousOverloadOfAScalarAndAVectorOfOne",
     "void func(float arg) {}\nvoid func(float1 arg) {}\nfloat4 main() : COLOR\n{\n    float x = 1.0;\n    func(x);\n"
     "    return 1.0;\n}\n",
     6, "the call of 'func' is ambiguous: its declarations of 'float' and 'float1' take the same values"},
    {"AmbiguousOverloadOneOnlyDeclared",
     "void func(float arg);\nvoid func(float1 arg) {}\nfloat4 main() : COLOR\n{\n    float1 x = {1.0};\n    func(x);\n"
     "    return 1.0;\n}\n",
     6, "the call of 'func' is ambiguous"},
    {"AmbiguousOverloadOfAMatrixAndAVector",
     "float4 func(float2 a, float2x2 x) { return 2.0; }\nfloat4 func(float2 a, float4 x) { return 1.0; }\n"
     "float4 main() : COLOR\n{\n    return func(0, float4(0, 0, 0, 0));\n}\n",
     5, "its declarations of 'float2x2' and 'float4' take the same values"},
    {"TypeWordNamingAVariable", "float4 x;\nfloat4 double;\nfloat4 main() : COLOR { return 0; }\n", 2,
     "'double' is a type and cannot name a variable"},
    {"LocalTypedefOfMatrix", "float4 f()\n{\n    typedef float2 matrix;\n    return 0;\n}\nfloat4 main() : COLOR { return f(); }\n",
     3, "'matrix' is a built-in type and cannot be defined again"},
    {"MatrixInAnotherCaseWithItsSizes", "Matrix<float, 2, 2> m;\nfloat4 main() : COLOR { return m[0].xyxy; }\n", 1,
     "'Matrix'"},
    {"VectorWrittenAtAConstantsIndex",
     "float4 v;\nfloat i;\nfloat4 main() : COLOR\n{\n    float4 p = v;\n    p[i] = 2.0;\n    return p;\n}\n", 6,
     "'p' is written at an index read from the constant 'i'"},
    {"SwitchOnAFloat",
     "float4 v;\nfloat4 main() : COLOR\n{\n    switch (v.x)\n    {\n    case 0:\n        return 1;\n    }\n    return 0;\n}\n",
     4, "a switch tests an integer, not the float 'v'"},
};

// Refused at vs_1_1 and vs_2_0, where the fog and point-size registers hold
// one value; taken at vs_3_0, where they are registers like the others.
const Form kRefusedBelowVs3[] = {
    {"FogOfTwoValues", "void main(float4 p : POSITION, out float2 f : FOG, out float4 o : POSITION)\n{\n"
                       "    f = 0.5;\n    o = p;\n}\n", 1, "'FOG' takes one value below vs_3_0, not 'float2'"},
    {"PointSizeOfTwoValues", "void main(inout float4 p : POSITION,\n          out float2 s : psize)\n{\n    s = 1;\n}\n",
     2, "'psize' takes one value below vs_3_0, not 'float2'"},
};

} // namespace

TEST(GfxUtilHlslRefusalsTest, EachFormIsRefusedAtItsLine) {
    for (const Form& f : kRefused) {
        SCOPED_TRACE(f.name);
        const CompileOutcome r = CompileText(f.source);
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find("memory(" + std::to_string(f.line) + ","), std::string::npos) << r.errors;
        EXPECT_NE(r.errors.find(f.message), std::string::npos) << r.errors;
    }
}

TEST(GfxUtilHlslRefusalsTest, FogAndPointSizeOfSeveralValuesAreRefusedBelowVs3) {
    for (const Form& f : kRefusedBelowVs3) {
        SCOPED_TRACE(f.name);
        for (const char* profile : {"vs_1_1", "vs_2_0"}) {
            const CompileOutcome r = CompileText(f.source, profile);
            EXPECT_EQ(r.hr, E_FAIL) << profile;
            EXPECT_NE(r.errors.find("memory(" + std::to_string(f.line) + ","), std::string::npos) << r.errors;
            EXPECT_NE(r.errors.find(f.message), std::string::npos) << r.errors;
        }
        const CompileOutcome r = CompileText(f.source, "vs_3_0");
        EXPECT_EQ(r.hr, D3D_OK) << r.errors;
    }
    // One value each is what they hold.
    const CompileOutcome r = CompileText("void main(float4 p : POSITION, out float f : FOG, out float s : PSIZE,\n"
                                         "          out float4 o : POSITION)\n{\n    f = 0.5;\n    s = 2;\n    o = p;\n}\n",
                                         "vs_2_0");
    EXPECT_EQ(r.hr, D3D_OK) << r.errors;
}

// What stands beside each form and is fine: a swizzle naming each component
// once, a member named like a swizzle, attributes of different names (in
// case too), the largest array, parameters without defaults, constants with
// their values, a division by something other than zero, the entry's
// uniform and struct parameters.
TEST(GfxUtilHlslRefusalsTest, TheFormsBesideThemCompile) {
    const char* const fine[] = {
        "float4 main() : COLOR\n{\n    float4 x = 0;\n    x.xz = float2(1, 2);\n    x.wzyx += 1;\n    return x;\n}\n",
        "struct S { float4 xx; float aa; };\nfloat4 main() : COLOR\n{\n    S s;\n    s.xx = 1;\n    s.aa = 2;\n"
        "    return s.xx * s.aa;\n}\n",
        "float4 main() : COLOR\n{\n    float2x2 m = 0;\n    m._m01_m10 = float2(1, 2);\n    return m[0].xyxy + m._11_11_11_11;\n}\n",
        "void f(inout float2 o) { o += 0.1; }\nfloat4 main() : COLOR\n{\n    float2 x = 0;\n    f(x.yx);\n"
        "    return x.xxyy;\n}\n",
        "[one][One]\nfloat4 main() : COLOR { return 0; }\n",
        "float4 u;\nfloat4 main() : COLOR\n{\n    float x = 0;\n    [unroll] for (int i = 0; i < 4; i++) x += u[i];\n"
        "    return x;\n}\n",
        "float4 main() : COLOR\n{\n    float a[4];\n    a[0] = 1;\n    return a[0];\n}\n",
        "float4 main() : COLOR\n{\n    float4 arr[] = {10, 20, 30, 40, -50, 60, 70, 80};\n    float2x2 m[] = {{1, 2, 3, 4}};\n"
        "    half h[] = {1, 2, 3};\n    return arr[1] + m[0][1].xyxy + h[2];\n}\n",
        "float f(float a, float b = 1.0) { return a + b; }\nfloat4 main() : COLOR { return f(2); }\n",
        "static const float4 k = {1, 2, 3, 4};\nconst float4 c;\nfloat4 main() : COLOR\n{\n    const float h = 0.5;\n"
        "    return k * c * h;\n}\n",
        "int d;\nfloat4 main() : COLOR\n{\n    int x = 7;\n    return float(x / 2) + float(x % 3) + float(x / d);\n}\n",
        "float4 main(float4 c : COLOR0, uniform float4 tint) : COLOR { return c * tint; }\n",
        "struct In { float4 c : COLOR0; };\nfloat4 main(In i) : COLOR { return i.c; }\n",
        "struct Inner { float2 uv : TEXCOORD0; };\nstruct In { Inner a; float4 c : COLOR0; };\n"
        "struct Work { float4 x; };\nfloat4 main(In i) : COLOR { Work w; w.x = i.c; return w.x * i.a.uv.x; }\n",
        "row_major float4x4 r;\ncolumn_major float3x4 c;\nstatic int s;\nfloat4 main() : COLOR\n{\n    s = 2;\n"
        "    float4 t = 0;\n    [loop] for (int i = 0; i < 3; ++i) t += r[i] + c[i];\n    return t / s + 1 / s;\n}\n",
        "typedef float2 vec2;\ntypedef struct { float a; } Holder;\nfloat4 main() : COLOR { vec2 v = 1; Holder h; h.a = 1;"
        " return v.xyxy * h.a; }\n",
        // a constructor of all its values, a cast of one, constants of literal values
        "float c = 7;\nfloat4 d = {1, 2, -3, 4};\nfloat2 e = float2(1, 2) * 3;\nfloat4 main() : COLOR\n{\n"
        "    return float4(c, d.x, e) + (float4)1 + float1(2).xxxx;\n}\n",
        // a vector indexed by a scalar, or by one component of a vector
        "float4 main() : COLOR\n{\n    float4 v = {0, 1, 2, 3};\n    int2 i = {1, 2};\n    int j = 3;\n"
        "    return v[i.y] + v[j];\n}\n",
        // a static struct of numbers, a majority given once through a typedef
        "struct S { float4 f; };\nstatic S s;\ntypedef float4x4 m_t;\nrow_major m_t m;\n"
        "typedef row_major float4x4 r_t;\nrow_major r_t n;\nfloat4 main() : COLOR { return s.f + m[0] + n[1]; }\n",
        // switches: cases sharing statements, a way out folded from a
        // condition, a loop's own continue, a last case without a break
        "uint4 v;\nfloat4 main() : COLOR\n{\n    float4 c = 1;\n    switch (v.x)\n    {\n    case 0:\n    case 1:\n"
        "        c += 0.1;\n        if (true) break;\n        c = 9;\n    case 2:\n"
        "        for (int j = 0; j < 3; j++) { if (v.w) continue; c += 1; }\n        break;\n    default:\n"
        "        c = 2;\n    }\n    return c;\n}\n",
        // a vector read at a constant's index, written at a loop's
        "float4 v;\nfloat i;\nfloat4 main() : COLOR\n{\n    float4 p = v;\n    for (int k = 0; k < 2; k++)\n"
        "        p[k] = p[i] == 1;\n    return p;\n}\n",
        // a local named by a type word
        "float4 main() : COLOR\n{\n    float4 double = float4(1, 2, 3, 4);\n    return double;\n}\n",
        // overloads told apart by their sizes, declared and defined, or by their number
        "float4 func(float3 x);\nfloat4 func(float3 x) { return 0.5; }\nfloat4 func(float2 x) { return 1.0; }\n"
        "float4 func(float x, float1 y) { return x + y; }\nfloat4 main() : COLOR { return func(float3(0, 0, 0)) + func(1, 2); }\n",
        // the null object, a struct input array, and the longest loop unrolled without a count
        "texture t = NULL;\nfloat4 main() : COLOR\n{\n    int i;\n    [unroll]\n    for (i = 0; i < 1023; ++i);\n"
        "    return i;\n}\n",
    };
    for (const char* source : fine) {
        SCOPED_TRACE(source);
        const CompileOutcome r = CompileText(source);
        EXPECT_EQ(r.hr, D3D_OK) << r.errors;
    }
}

// In an effect a refused form makes every compiled pass describe no
// program, with the reason among the warnings at the effect's own line.
TEST(GfxUtilHlslRefusalsTest, AnEffectsPassesOfARefusedFormHaveNoProgram) {
    const std::string text = "technique Early { pass { Lighting = true; } }\n"
                             "float4 main() : COLOR\n{\n    float4 x = 0;\n    x.xx = 1;\n    return x;\n}\n"
                             "technique T { pass P { PixelShader = compile ps_2_0 main(); } }\n";
    ID3DXEffectCompiler* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &fx, &errors),
              D3D_OK);
    ASSERT_NE(errors, nullptr);
    const std::string messages = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
    EXPECT_NE(messages.find("memory(5): warning: the swizzle 'xx'"), std::string::npos) << messages;
    D3DXPASS_DESC pass{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 0), &pass), D3D_OK);
    EXPECT_EQ(pass.pPixelShaderFunction, nullptr);
    EXPECT_EQ(fx->Release(), 0u);
}

// Arrays within the element limit nest into variables of billions of
// components (a struct of arrays in an array, an array of arrays): refused,
// where the GLSL spelling out such a variable's zero value would not fit in
// memory. Those written at a run-time index are refused sooner, being far
// past the profile's temporary registers, as is one of the largest size.
TEST(GfxUtilHlslRefusalsTest, NestedArraysBeyondTheLargestArrayAreRefused) {
    const struct {
        const char* name;
        const char* profile;
        const char* source;
        const char* reason;
    } kRefused[] = {
        {"StaticArrayOfStructsOfArrays", "ps_3_0",
         "struct S { float4 x[65536]; };\nstatic S s[65536];\n"
         "float4 main() : COLOR { S t = (S)s[1]; return t.x[0]; }\n",
         "components: at most 262144"},
        {"LocalArrayOfStructsOfArrays", "vs_3_0",
         "int u;\nstruct S { float4 x[65536]; };\n"
         "float4 main() : POSITION { S t[65536]; t[u].x[1] = 1; return t[u + 1].x[1]; }\n",
         "takes 4294967296 registers; the profile has 32 temporary registers (vs_3_0)"},
        {"ArrayOfArraysTwoRegistersOver", "vs_3_0",
         "int u;\nstatic float4 s[2][32769];\n"
         "float4 main() : POSITION { s[u][0] = 2; return s[u + 1][0]; }\n",
         "the static array 's' is indexed at run time and takes 65538 registers"},
        {"ArrayOfTheLargestSize", "vs_3_0",
         "int u;\nstatic float4 s[16384][4];\n"
         "float4 main() : POSITION { s[u][1] = 2; return s[u + 1][1]; }\n",
         "the static array 's' is indexed at run time and takes 65536 registers"},
    };
    for (const auto& f : kRefused) {
        SCOPED_TRACE(f.name);
        const CompileOutcome r = CompileText(f.source, f.profile);
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find(f.reason), std::string::npos) << r.errors;
    }
}

// Sources come from data files: the checks take time in proportion to the
// source on shapes that would make a naive walk go over it again and again
// (lists nested in lists, declarations never ended, braces only opened).
TEST(GfxUtilHlslRefusalsTest, HostileSourcesTakeTimeInProportionToTheirSize) {
    const auto repeat = [](const std::string& head, const std::string& unit, std::size_t bytes) {
        std::string s = head;
        while (s.size() < bytes) s += unit;
        return s;
    };
    const std::string callsOut = "void f(out float a, float b) { a = b; }\nfloat4 main() : COLOR { float x; ";
    struct Shape {
        const char* name;
        std::string head, unit;
    };
    const Shape shapes[] = {
        {"CallsNestedInCalls", callsOut, "f(x.xx, "},
        {"DeclarationsNeverEnded", "float4 main() : COLOR { ", "const int a, int b = 0, "},
        {"BracesOnlyOpened", "float4 main() : COLOR ", "{ x.xy = "},
        {"TypedefsNeverEnded", "", "typedef float2 "},
        {"AttributesChained", "float4 main() : COLOR { ", "[a(1)]"},
        {"ReturnTypesOfModifiers", "", "uniform static const f("},
    };
    // The thread's own processor time, the least of five runs: what other
    // programs on a shared machine take of it does not count.
    const auto threadTime = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    // Freed memory kept for the next run, so that the least of the runs
    // counts the checks' work, not the kernel faulting fresh pages in for
    // the larger size's arrays (a cost that grows with the machine's load).
    (void)::mallopt(M_MMAP_THRESHOLD, 256 << 20);
    (void)::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // The two sizes run in turns, so that a spell of load (page reclaim is
    // charged to the thread too) falls on both alike.
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::string sources[2] = {repeat(shape.head, shape.unit, std::size_t(32) << 10),
                                        repeat(shape.head, shape.unit, std::size_t(256) << 10)};
        std::chrono::nanoseconds took[2] = {std::chrono::hours(1), std::chrono::hours(1)};
        for (int run = 0; run < 5; ++run) {
            for (int size = 0; size < 2; ++size) {
                std::size_t at = 0;
                std::string error;
                const auto started = threadTime();
                (void)RefuseInvalidForms(sources[size], "main", at, error);
                took[size] = std::min<std::chrono::nanoseconds>(took[size], threadTime() - started);
                EXPECT_LE(at, sources[size].size());
            }
        }
        // Eight times the source: about eight times the time, far from 64.
        EXPECT_LT(took[1], 24 * took[0] + std::chrono::milliseconds(50));
    }
    // The allocator's defaults back for the program's other tests.
    (void)::mallopt(M_MMAP_THRESHOLD, 128 << 10);
    (void)::mallopt(M_TRIM_THRESHOLD, 128 << 10);
}
