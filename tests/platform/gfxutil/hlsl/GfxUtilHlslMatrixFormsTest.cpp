// Forms of matrices and one-component values that compiled to code the
// device refused, or stopped the compiler: each compiled, made on gl, drawn
// and read back with the D3D9 compiler's values, or refused with the reason.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilMath.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslRegisterUse.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

class GfxUtilHlslMatrixFormsTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles `source` at ps_2_0, sets the float registers from c0 on,
    // draws the quad and reads the pixel at the centre; false (with a test
    // failure) when any step fails.
    bool DrawPixel(const std::string& source, const std::vector<float>& registers, std::array<int, 4>& rgba,
                   Compiled& ps) {
        if (!UsePixel(ps, source)) return false;
        if (!registers.empty()) {
            EXPECT_EQ(device->SetPixelShaderConstantF(0, registers.data(), std::uint32_t(registers.size() / 4)), D3D_OK);
        }
        Clear();
        DrawQuad();
        const std::vector<std::uint32_t> pixels = ReadBack();
        if (pixels.empty()) return false;
        const std::uint32_t px = pixels[pixels.size() / 2 + kSize / 2];
        rgba = {gfxtest::ChannelOf(px, 16), gfxtest::ChannelOf(px, 8), gfxtest::ChannelOf(px, 0),
                gfxtest::ChannelOf(px, 24)};
        return true;
    }
    // Red, green and blue: the target keeps no alpha.
    void ExpectColour(const std::array<int, 4>& rgba, float r, float g, float b, const Compiled& ps) {
        const float want[3] = {r, g, b};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(rgba[std::size_t(k)], want[k] * 255.0f, 1.01f) << "channel " << k << "\n" << ps.container.glsl;
    }
};

// A swizzle of several components of a matrix picks each as its own
// component: read, and written to a local matrix.
TEST_P(GfxUtilHlslMatrixFormsTest, MatrixSwizzlesPickEachComponent) {
    if (Stopped()) return;
    // float3x2, kept by columns: c0 = column 1 (_11 _21 _31), c1 = column 2.
    const std::vector<float> m = {0.1f, 0.2f, 0.3f, 0, 0.4f, 0.5f, 0.6f, 0};
    std::array<int, 4> rgba{};
    Compiled read;
    if (DrawPixel("float3x2 mat;\nfloat4 main() : COLOR\n{\n    return mat._12_31_11_21;\n}\n", m, rgba, read))
        ExpectColour(rgba, 0.4f, 0.3f, 0.1f, read);
    Compiled written;
    if (DrawPixel("float3 a;\nfloat4 main() : COLOR\n{\n    row_major float4x2 mat = {0, 0, 0, 0, 0, 0, 0, 0};\n"
                  "    mat._11 = 0.8;\n    mat._m01_m10_m31 = a;\n    return float4(mat._m00_m31_m10_m01);\n}\n",
                  {0.1f, 0.2f, 0.3f, 0}, rgba, written))
        ExpectColour(rgba, 0.8f, 0.3f, 0.2f, written);
}

// Component-wise intrinsics of matrices, any() of a scalar, and the
// determinant of a matrix not square (its leading square's).
TEST_P(GfxUtilHlslMatrixFormsTest, IntrinsicsOfMatricesAndScalars) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled sign;
    if (DrawPixel("uniform float2x2 f;\nfloat4 main() : COLOR\n{\n    float2x2 s = sign(f);\n"
                  "    return float4(s._22, s._12, s._11, s._21) * 0.5 + 0.5;\n}\n",
                  {-3.0f, 2.0f, 0, 0, 0.5f, -1.0f, 0, 0}, rgba, sign))
        ExpectColour(rgba, 0.0f, 1.0f, 0.0f, sign); // _22 _12 _11: -1, 0.5, -3
    Compiled step;
    if (DrawPixel("float4 main() : COLOR\n{\n    float2x2 a = {1, 2, 3, 4};\n    float b = {3};\n"
                  "    return float4(step(a, b)).wxyz;\n}\n",
                  {}, rgba, step))
        ExpectColour(rgba, 0.0f, 1.0f, 1.0f, step);
    Compiled any;
    if (DrawPixel("uniform float f;\nfloat4 main() : COLOR\n{\n    return any(f);\n}\n", {0.25f, 0, 0, 0}, rgba, any))
        ExpectColour(rgba, 1.0f, 1.0f, 1.0f, any);
    Compiled clip;
    if (DrawPixel("uniform float2x2 f;\nfloat4 main() : COLOR\n{\n    clip(f);\n    return 0.5;\n}\n",
                  {0.1f, 0.1f, 0, 0, 0.1f, -0.1f, 0, 0}, rgba, clip))
        ExpectColour(rgba, 0.0f, 0.0f, 0.0f, clip); // discarded: the clear colour
    Compiled determinant;
    // float3x4 by columns: (0.1 0.2 0.3) (0.5 -0.6 0.7) (0.9 1 1.1) (0 0 0); the leading 3x3 gives 0.192.
    if (DrawPixel("float3x4 m;\nfloat4 main() : COLOR\n{\n    return determinant(m);\n}\n",
                  {0.1f, 0.2f, 0.3f, 0, 0.5f, -0.6f, 0.7f, 0, 0.9f, 1.0f, 1.1f, 0, 0, 0, 0, 0}, rgba, determinant))
        ExpectColour(rgba, 0.192f, 0.192f, 0.192f, determinant);
}

// A matrix among a constructor's arguments gives its components in order;
// mul of a float1 and a matrix scales the matrix's first row or column.
TEST_P(GfxUtilHlslMatrixFormsTest, ConstructorsAndProductsOfOddShapes) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled built;
    if (DrawPixel("float4 main() : COLOR\n{\n    float2x2 a = float2x2(0.11, 0.12, 0.13, 0.14);\n"
                  "    float4x4 m = float4x4(0.01, 0.02, 0.03, 0.04, float3(0.05, 0.06, 0.07), 0.08,\n"
                  "                          0.09, 0.10, a, 0.15, 0.16);\n"
                  "    return float4(m[3][1], m[1][0], m[2][2], m[0][0]) * 4;\n}\n",
                  {}, rgba, built))
        ExpectColour(rgba, 0.56f, 0.2f, 0.44f, built);
    Compiled left;
    if (DrawPixel("float4x4 y;\nfloat4 main() : COLOR\n{\n    float1 x = float1(0.5);\n    return mul(x, y).wyzx;\n}\n",
                  {0.2f, 0.9f, 0.9f, 0.9f, 0.4f, 0.9f, 0.9f, 0.9f, 0.6f, 0.9f, 0.9f, 0.9f, 0.8f, 0.9f, 0.9f, 0.9f},
                  rgba, left))
        ExpectColour(rgba, 0.4f, 0.2f, 0.3f, left); // row 1 is (c0.x c1.x c2.x c3.x)
}

// Globals of one row or one column keep the D3D9 layout: a column-major
// matrix takes a register per column (a float1x3 three, each in x; a
// float3x1 one, its rows in x y z), a row-major one a register per row; the
// table describes each as the matrix it is, and the program reads the
// registers the layout gives.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowOrColumnGlobalsReadTheirRegisters) {
    if (Stopped()) return;
    const std::string source = "float1x3 a : register(c0);\nrow_major float1x3 b : register(c3);\n"
                               "float3x1 c : register(c4);\nrow_major float3x1 d : register(c5);\n"
                               "float1x1 e : register(c8);\nfloat1 f : register(c9);\n"
                               "float4 main() : COLOR\n{\n"
                               "    return float4(a._13 + b[0].y, c._31 + d[1].x + d._31, e + f, a[0].y);\n}\n";
    const std::vector<float> registers = {0.1f, 0.9f, 0.9f, 0.9f,  0.2f,  0.9f,  0.9f,  0.9f,  0.3f, 0.9f,
                                          0.9f, 0.9f, 0.05f, 0.15f, 0.25f, 0.9f,  0.11f, 0.22f, 0.33f, 0.9f,
                                          0.01f, 0.9f, 0.9f, 0.9f,  0.02f, 0.9f,  0.9f,  0.9f,  0.04f, 0.9f,
                                          0.9f, 0.9f, 0.125f, 0.9f, 0.9f, 0.9f, 0.25f, 0.9f,  0.9f,  0.9f};
    std::array<int, 4> rgba{};
    Compiled ps;
    if (!DrawPixel(source, registers, rgba, ps)) return;
    ExpectColour(rgba, 0.3f + 0.15f, 0.33f + 0.02f + 0.04f, 0.125f + 0.25f, ps);
    struct Row {
        const char* name;
        unsigned cls;
        unsigned rows, columns, index, count;
    };
    for (const Row& r : {Row{"a", D3DXPC_MATRIX_COLUMNS, 1, 3, 0, 3}, Row{"b", D3DXPC_MATRIX_ROWS, 1, 3, 3, 1},
                         Row{"c", D3DXPC_MATRIX_COLUMNS, 3, 1, 4, 1}, Row{"d", D3DXPC_MATRIX_ROWS, 3, 1, 5, 3},
                         Row{"e", D3DXPC_MATRIX_COLUMNS, 1, 1, 8, 1}, Row{"f", D3DXPC_VECTOR, 1, 1, 9, 1}}) {
        SCOPED_TRACE(r.name);
        const ShaderConstantRecord* k = Constant(ps.container, r.name);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->cls, r.cls);
        EXPECT_EQ(k->rows, r.rows);
        EXPECT_EQ(k->columns, r.columns);
        EXPECT_EQ(k->registerIndex, r.index);
        EXPECT_EQ(k->registerCount, r.count);
    }
}

// Arrays of them: an element of a float1x2 takes two registers, one of a
// float2x1 one; the pragma's majority reaches them as any matrix, and a
// packing word of their own overrules it.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowOrColumnArraysAndMajorities) {
    if (Stopped()) return;
    const std::string source = "#pragma pack_matrix(row_major)\nfloat2x1 r : register(c6);\n"
                               "column_major float1x2 g[2] : register(c0);\nfloat1x2 h[2] : register(c4);\n"
                               "float4 main() : COLOR\n{\n    return float4(g[1]._12, h[1]._12, r._21, g[0][0].x);\n}\n";
    // g: c0 (g[0]._11) c1 (g[0]._12) c2 c3; h: c4 c5, each a row; r: c6.x c7.x.
    const std::vector<float> registers = {0.1f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f,
                                          0.2f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.3f, 0.9f, 0.9f,
                                          0.9f, 0.9f, 0.9f, 0.9f, 0.4f, 0.9f, 0.9f, 0.9f};
    std::array<int, 4> rgba{};
    Compiled ps;
    if (!DrawPixel(source, registers, rgba, ps)) return;
    ExpectColour(rgba, 0.2f, 0.3f, 0.4f, ps);
    const ShaderConstantRecord* g = Constant(ps.container, "g");
    const ShaderConstantRecord* h = Constant(ps.container, "h");
    const ShaderConstantRecord* r = Constant(ps.container, "r");
    ASSERT_TRUE(g && h && r);
    EXPECT_EQ(g->cls, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(g->elements, 2);
    EXPECT_EQ(g->registerCount, 4);
    EXPECT_EQ(h->cls, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(h->registerCount, 2);
    EXPECT_EQ(r->cls, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(r->registerCount, 2);
}

// A local or a parameter of a global's name hides it in its scope, the
// global's reads around it still reading its registers.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowGlobalHiddenByALocalAndAParameter) {
    if (Stopped()) return;
    const std::string source = "float1x3 m : register(c0);\nfloat last(float4 m) { return m.w; }\n"
                               "float4 main() : COLOR\n{\n    float a = m._12;\n    {\n"
                               "        float4 m = float4(0.1, 0.2, 0.3, 0.4);\n        a += m.z;\n    }\n"
                               "    return float4(a, m._13 + last(float4(0, 0, 0, 0.25)), m[0].x, 1);\n}\n";
    std::array<int, 4> rgba{};
    Compiled ps;
    if (DrawPixel(source, {0.1f, 0.9f, 0.9f, 0.9f, 0.2f, 0.9f, 0.9f, 0.9f, 0.5f, 0.9f, 0.9f, 0.9f}, rgba, ps))
        ExpectColour(rgba, 0.2f + 0.3f, 0.5f + 0.25f, 0.1f, ps);
}

// Locals, parameters, returns, casts and conditions of one row, one column
// or one component, as the D3D9 compiler reads them: the vector of their
// components, a row index of a one-row matrix its whole row.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowOrColumnValuesInTheProgram) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled transposed;
    if (DrawPixel("float4 main() : COLOR\n{\n    float1x4 x = float1x4(0.1, 0.2, 0.3, 0.4);\n"
                  "    return transpose(x);\n}\n",
                  {}, rgba, transposed))
        ExpectColour(rgba, 0.1f, 0.2f, 0.3f, transposed);
    Compiled returned;
    if (DrawPixel("float4x1 main() : COLOR\n{\n    return float4(0.4, 0.3, 0.2, 0.1);\n}\n", {}, rgba, returned))
        ExpectColour(rgba, 0.4f, 0.3f, 0.2f, returned);
    Compiled broadcast;
    if (DrawPixel("float4 main() : COLOR\n{\n    float1 x = float1(0.25);\n    float2 y = float2(0.25, 0.5);\n"
                  "    return float4(x + y, x[0] * 0.4, 1);\n}\n",
                  {}, rgba, broadcast))
        ExpectColour(rgba, 0.5f, 0.75f, 0.1f, broadcast);
    const std::string condition = "uniform float4 c;\nfloat4 main() : COLOR\n{\n    float1x1 k = c.x;\n"
                                  "    float4 r = k ? c.yzwx : 0.5;\n    if (k[0][0]) r.z = 0.8;\n    return r;\n}\n";
    Compiled taken;
    if (DrawPixel(condition, {1.0f, 0.2f, 0.4f, 0.6f}, rgba, taken)) ExpectColour(rgba, 0.2f, 0.4f, 0.8f, taken);
    Compiled notTaken;
    if (DrawPixel(condition, {0.0f, 0.2f, 0.4f, 0.6f}, rgba, notTaken))
        ExpectColour(rgba, 0.5f, 0.5f, 0.5f, notTaken);
    Compiled functions;
    if (DrawPixel("static float1x3 s = {0.1, 0.2, 0.3};\nfloat3x1 twice(float3x1 v) { return v * 2; }\n"
                  "float1x3 same(float1x3 v) { return v; }\nfloat4 main() : COLOR\n{\n"
                  "    float3 a = twice(float3x1(0.05, 0.1, 0.15));\n    float1x3 b = same(s);\n"
                  "    return float4(a.x + b._11, a.y + b[0].y, (float1x1)b._13, 1);\n}\n",
                  {}, rgba, functions))
        ExpectColour(rgba, 0.2f, 0.4f, 0.3f, functions);
}

// A function declared for a float and for a float1 keeps both; a row index
// of a conditional whose operands are one-row matrices is the whole row, of
// one whose operands are vectors a component.
TEST_P(GfxUtilHlslMatrixFormsTest, Float1OverloadsAndRowsOfConditionals) {
    if (Stopped()) return;
    Compiled overloads;
    Compile(overloads, "void f(float a) {}\nvoid f(float1 a) {}\nfloat4 main() : COLOR { return 1; }\n", "ps_2_0");
    EXPECT_EQ(overloads.result, D3D_OK) << overloads.errors;
    std::array<int, 4> rgba{};
    Compiled rows;
    if (DrawPixel("static float4 c = {1, 0, 0, 1};\nstatic float1x4 a = {0.1, 0.2, 0.3, 0.4};\n"
                  "static float1x4 b = {0.5, 0.6, 0.7, 0.8};\nfloat4 main() : COLOR\n{\n    return (c ? a : b)[0];\n}\n",
                  {}, rgba, rows))
        ExpectColour(rgba, 0.1f, 0.6f, 0.7f, rows);
    Compiled component;
    if (DrawPixel("static float1x4 c = {1, 0, 0, 1};\nstatic float4 a = {0.1, 0.2, 0.3, 0.4};\n"
                  "static float4 b = {0.5, 0.6, 0.7, 0.8};\nfloat4 main() : COLOR\n{\n    return (c ? a : b)[1];\n}\n",
                  {}, rgba, component))
        ExpectColour(rgba, 0.6f, 0.6f, 0.6f, component);
}

// Products with a side of one row, one column or one component, which
// stopped the compiler or gave glslang's product: a 1x1 scales the other's
// first row or column; a column times a row is their outer product, a
// matrix's first column or row standing in where the sizes differ.
TEST_P(GfxUtilHlslMatrixFormsTest, ProductsWithOneRowOrColumn) {
    if (Stopped()) return;
    const std::string y = "    float4x4 y = float4x4(0.2, 0.4, 0.6, 0.8,\n                          0.1, 0.9, 0.9, 0.9,\n"
                          "                          0.3, 0.9, 0.9, 0.9,\n                          0.5, 0.9, 0.9, 0.9);\n";
    std::array<int, 4> rgba{};
    Compiled left;
    if (DrawPixel("float4 main() : COLOR\n{\n    float1x1 x = float1x1(0.5);\n" + y + "    return mul(x, y);\n}\n", {},
                  rgba, left))
        ExpectColour(rgba, 0.1f, 0.2f, 0.3f, left);
    Compiled right;
    if (DrawPixel("float4 main() : COLOR\n{\n    float1x1 x = float1x1(0.5);\n" + y + "    return mul(y, x);\n}\n", {},
                  rgba, right))
        ExpectColour(rgba, 0.1f, 0.05f, 0.15f, right);
    Compiled outer;
    if (DrawPixel("float4 main() : COLOR\n{\n    float4x1 a = float4x1(0.1, 0.2, 0.5, 0.4);\n"
                  "    float1x4 b = float1x4(1, 0.5, 0.25, 2);\n    return mul(a, b)[2];\n}\n",
                  {}, rgba, outer))
        ExpectColour(rgba, 0.5f, 0.25f, 0.125f, outer);
    Compiled column;
    if (DrawPixel("float4 main() : COLOR\n{\n" + y + "    float1x4 b = float1x4(1, 0.5, 0.25, 2);\n"
                      "    return mul(y, b)[3];\n}\n",
                  {}, rgba, column))
        ExpectColour(rgba, 0.5f, 0.25f, 0.125f, column); // y's first column's 0.5 times b
    Compiled sum;
    if (DrawPixel("float4 main() : COLOR\n{\n    float4x1 a = float4x1(0.1, 0.2, 0.3, 0.4);\n" + y +
                      "    float4 r = a + y;\n    return r * 0.5;\n}\n",
                  {}, rgba, sum))
        ExpectColour(rgba, 0.15f, 0.15f, 0.3f, sum); // y's first column added
}

// The forms that stopped the compiler: a float1 constant on either side of
// mul with a whole matrix, and a swizzle of two components of a float3x2.
TEST_P(GfxUtilHlslMatrixFormsTest, OneComponentConstantsInProductsAndPairSwizzles) {
    if (Stopped()) return;
    // y by columns at c0-c3, f at c4.x, mat (float3x2) at c5-c6.
    const std::string source = "float4x4 y : register(c0);\nfloat1 f : register(c4);\nfloat3x2 mat : register(c5);\n"
                               "float4 main() : COLOR\n{\n    float4 l = mul(f, y), r = mul(y, f);\n"
                               "    return float4(l.y, r.z, mat._11_32);\n}\n";
    const std::vector<float> registers = {0.2f, 0.4f, 0.6f, 0.8f, 0.1f, 0.9f, 0.9f, 0.9f, 0.3f, 0.9f, 0.9f,
                                          0.9f, 0.5f, 0.9f, 0.9f, 0.9f, 0.5f, 0.0f, 0.0f, 0.0f, 0.7f, 0.8f,
                                          0.9f, 0.0f, 0.15f, 0.25f, 0.35f, 0.0f};
    std::array<int, 4> rgba{};
    Compiled ps;
    // l = f * row 1 of y = 0.5 * (c0.x c1.x c2.x c3.x): its y 0.05; r = f *
    // column 1 = 0.5 * c0: its z 0.3; mat._11 = c5.x, mat._32 = c6.z.
    if (DrawPixel(source, registers, rgba, ps)) ExpectColour(rgba, 0.05f, 0.3f, 0.7f, ps);
    const ShaderConstantRecord* f = Constant(ps.container, "f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cls, D3DXPC_VECTOR);
    EXPECT_EQ(f->columns, 1);
    EXPECT_EQ(f->registerIndex, 4);
}

// Intrinsics of a scalar, a 1x1 matrix or one row or column where the D3D9
// compiler takes them: the determinant of the square at the top left,
// normalize, reflect and refract of scalars.
TEST_P(GfxUtilHlslMatrixFormsTest, ScalarFormsOfVectorIntrinsics) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled ps;
    // m: c0 = (0.3 0.9): _11 is 0.3. s: c1.x = -2; i, n: c2.xy = 0.5, 0.6,
    // whose reflection is 0.14 and refraction at 0.2 -0.525.
    if (DrawPixel("float2x1 m : register(c0);\nfloat s : register(c1);\nfloat2 v : register(c2);\n"
                  "float4 main() : COLOR\n{\n    float i = v.x, n = v.y;\n    return float4(determinant(m), "
                  "normalize(s) * -0.5, reflect(i, n) + refract(i, n, 0.2) + 0.5, 1);\n}\n",
                  {0.3f, 0.9f, 0, 0, -2.0f, 0, 0, 0, 0.5f, 0.6f, 0, 0}, rgba, ps))
        ExpectColour(rgba, 0.3f, 0.5f, 0.115f, ps);
}

// What the D3D9 compiler refuses of these shapes is refused at its line:
// a one-row matrix returned as a one-column one, a vector cast to a column
// of another size, such a matrix given to an intrinsic of vectors (and to
// dst a float1), a condition that fits no operand.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowOrColumnMisusesAreRefusedAtTheirLine) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"float3x1 f()\n{\n    return float1x3(0.4, 0.3, 0.2);\n}\nfloat4 main() : COLOR { return float4(f(), 0); }\n",
         "memory(3,", "cannot convert from 'float1x3' to 'float3x1'"},
        {"float4 main() : COLOR\n{\n    float4 v = {1, 2, 3, 4};\n    float3x1 m;\n    m = (float3x1) v;\n"
         "    return 0;\n}\n",
         "memory(5,", "cannot convert from 'float4' to 'float3x1'"},
        {"float4 main() : COLOR\n{\n    float1 d = 0;\n    return dst(d, d);\n}\n", "memory(4,", "'dst' takes vectors"},
        {"float4x1 r;\nfloat4 n;\nfloat i;\nfloat4 main() : COLOR\n{\n    return refract(r, n, i);\n}\n", "memory(6,",
         "'refract' takes vectors"},
        {"uniform float4 cond;\nuniform float4x1 a, b;\nfloat4 main() : COLOR\n{\n    return cond ? a : b;\n}\n",
         "memory(5,", "condition's shape"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled ps;
        Compile(ps, c.source, "ps_2_0");
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_NE(ps.errors.find(c.line), std::string::npos) << ps.errors;
        EXPECT_NE(ps.errors.find(c.message), std::string::npos) << ps.errors;
    }
}

// cbuffer members at the DX9 profiles are constants of their own, tabled
// and set by their registers, beside the globals.
TEST_P(GfxUtilHlslMatrixFormsTest, ConstantBufferMembersArePlainConstants) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled ps;
    if (!DrawPixel("cbuffer cb : register(b1) < int i = 1; >\n{\n    float4 m1;\n};\n"
                   "cbuffer cb2\n{\n    float4 m2;\n}\nfloat4 g;\n"
                   "float4 main() : COLOR\n{\n    return m1 + m2 + g;\n}\n",
                   {0.1f, 0, 0, 0, 0, 0.2f, 0, 0, 0, 0, 0.3f, 0.4f}, rgba, ps))
        return;
    ExpectColour(rgba, 0.1f, 0.2f, 0.3f, ps);
    for (const char* name : {"m1", "m2", "g"}) {
        const ShaderConstantRecord* k = Constant(ps.container, name);
        ASSERT_NE(k, nullptr) << name;
        EXPECT_EQ(k->registerSet, D3DXRS_FLOAT4);
        EXPECT_EQ(k->registerCount, 1);
    }
    EXPECT_EQ(Constant(ps.container, "m1")->registerIndex, 0);
    EXPECT_EQ(Constant(ps.container, "m2")->registerIndex, 1);
    EXPECT_EQ(Constant(ps.container, "g")->registerIndex, 2);
}

// A point size of two components is refused below vs_3_0, where its
// register holds one value; at vs_3_0 it is made, the device taking its first.
TEST_P(GfxUtilHlslMatrixFormsTest, PointSizeOfTwoComponentsIsMadeAtVs3) {
    if (Stopped()) return;
    const char* source = "void main(inout float4 pos : POSITION, out float2 size : PSIZE) { size = 1; }";
    Compiled old;
    Compile(old, source, "vs_2_0");
    EXPECT_NE(old.result, D3D_OK);
    EXPECT_NE(old.errors.find("'PSIZE' takes one value below vs_3_0"), std::string::npos) << old.errors;
    Compiled vs;
    Compile(vs, source, "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_NE(MakeVertex(vs), nullptr);
}

// What GLSL has no form for is refused with the reason, not made.
TEST_P(GfxUtilHlslMatrixFormsTest, BooleanMatricesAndModfOfMatricesAreRefused) {
    if (Stopped()) return;
    Compiled kept;
    Compile(kept, "uniform float2x2 a;\nfloat4 main() : COLOR { bool2x2 r = isnan(a); return r._m00; }", "ps_3_0");
    EXPECT_NE(kept.result, D3D_OK);
    EXPECT_NE(kept.errors.find("matrix of booleans"), std::string::npos) << kept.errors;
    Compiled modf;
    Compile(modf, "uniform float2x2 a;\nfloat4 main() : COLOR { float2x2 e; return modf(a, e)._m00 + e._m11; }",
            "ps_3_0");
    EXPECT_NE(modf.result, D3D_OK);
    EXPECT_NE(modf.errors.find("modf and frexp of a matrix"), std::string::npos) << modf.errors;
}

// A component-wise intrinsic of a one-row or one-column matrix beside a
// whole one acts on the smallest of them in each dimension, whether the
// small one is written from a list or built, and a plain vector beside a
// whole matrix stays refused.
TEST_P(GfxUtilHlslMatrixFormsTest, OneRowOrColumnBesideWholeMatricesCutToTheSmallest) {
    if (Stopped()) return;
    std::array<int, 4> rgba{};
    Compiled column;
    // The first column's two rows: max(0.1, 0.3), max(0.2, 0.1).
    if (DrawPixel("float4 main() : COLOR\n{\n    float4x1 a = {0.1, 0.2, 0.5, 0.4};\n"
                  "    float2x2 b = {0.3, 0.9, 0.1, 0.9};\n    float2x1 r = max(a, b);\n"
                  "    return float4(r, 0.7, 1);\n}\n",
                  {}, rgba, column))
        ExpectColour(rgba, 0.3f, 0.2f, 0.7f, column);
    Compiled row;
    // The first row's two columns: lerp(0.2, 0.6, 0.5), lerp(0.4, 0.8, 0.5).
    if (DrawPixel("float4 main() : COLOR\n{\n    float1x3 a = float1x3(0.2, 0.4, 0.6);\n"
                  "    float3x2 b = {0.6, 0.8, 0, 0, 0, 0};\n    float1x2 r = lerp(a, b, 0.5);\n"
                  "    return float4(r, 0.1, 1);\n}\n",
                  {}, rgba, row))
        ExpectColour(rgba, 0.4f, 0.6f, 0.1f, row);
    Compiled three;
    // Three arguments, the whole matrix first: smoothstep(0, 1, 0.5) and
    // smoothstep(0, 1, 0.25) = 0.15625.
    if (DrawPixel("float4 main() : COLOR\n{\n    float2x2 e = {0, 0, 0, 0};\n    float4x1 f = {1, 1, 1, 1};\n"
                  "    float3x1 x = float3x1(0.5, 0.25, 0.75);\n    float2x1 r = smoothstep(e, f, x);\n"
                  "    return float4(r, 0, 1);\n}\n",
                  {}, rgba, three))
        ExpectColour(rgba, 0.5f, 0.15625f, 0.0f, three);
    Compiled vector;
    Compile(vector,
            "float4 main() : COLOR\n{\n    float2x2 a = {0, 0, 0, 0};\n    float4 b = 1;\n"
            "    float2x2 x = {0.5, 0.5, 0.5, 0.5};\n    smoothstep(a, b, x);\n    return 0;\n}\n",
            "ps_2_0");
    EXPECT_NE(vector.result, D3D_OK);
}

// A matrix product, or a matrix, cast to fewer rows or columns keeps the
// product's leading rows and columns, and reads no register past those the
// table gives each factor: with the factors' columns kept in registers, a
// cast to three columns takes the right factor's first three registers,
// and the constant laid out after it is read as itself. Each cast shape,
// of products of two and three factors, of either majority and under the
// packing pragma, drawn at each vertex profile and read back, against the
// product worked out here.
TEST_P(GfxUtilHlslMatrixFormsTest, CastsOfMatrixProductsKeepTheirLeadingRowsAndColumns) {
    if (Stopped()) return;
    using Matrix = std::array<std::array<float, 4>, 4>;
    // Of no symmetry, so that a row read for a column shows.
    Matrix world{}, view{}, proj{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            world[std::size_t(i)][std::size_t(j)] = float(1 + i + 3 * j) / 48.0f;
            view[std::size_t(i)][std::size_t(j)] = float(2 + 4 * i + j) / 56.0f;
            proj[std::size_t(i)][std::size_t(j)] = i == j ? 0.9f : float(1 + 2 * i + j) / 64.0f;
        }
    const std::array<float, 4> probe = {0.9f, 0.7f, 0.5f, 0.3f};
    const auto times = [](const Matrix& a, const Matrix& b) {
        Matrix out{};
        for (std::size_t i = 0; i < 4; ++i)
            for (std::size_t j = 0; j < 4; ++j)
                for (std::size_t k = 0; k < 4; ++k) out[i][j] += a[i][k] * b[k][j];
        return out;
    };
    // mul(v, (floatRxC)m), R components of the probe: C components.
    const auto through = [&](const Matrix& m, std::size_t rows, std::size_t columns) {
        std::array<float, 4> out{};
        for (std::size_t c = 0; c < columns; ++c)
            for (std::size_t r = 0; r < rows; ++r) out[c] += probe[r] * m[r][c];
        return out;
    };
    const Matrix wv = times(world, view);
    struct Case {
        const char* what;
        const char* declarations; // before the probe, which the layout puts after them
        const char* colour;
        std::array<float, 4> want;
    };
    const std::string three = "float4(mul(Probe, (float4x3)mul(World, View)), 1)";
    const std::array<float, 4> wvThree = through(wv, 4, 3);
    const Case cases[] = {
        {"float4x3 of a product", "float4x4 World;\nfloat4x4 View;\n", three.c_str(), wvThree},
        {"float4x3 of a product of three", "float4x4 World;\nfloat4x4 View;\nfloat4x4 Proj;\n",
         "float4(mul(Probe, (float4x3)mul(mul(World, View), Proj)), 1)", through(times(wv, proj), 4, 3)},
        {"float3x4", "float4x4 World;\nfloat4x4 View;\n", "mul(Probe.xyz, (float3x4)mul(World, View))",
         through(wv, 3, 4)},
        {"float3x3", "float4x4 World;\nfloat4x4 View;\n", "float4(mul(Probe.xyz, (float3x3)mul(World, View)), 1)",
         through(wv, 3, 3)},
        {"float4x2", "float4x4 World;\nfloat4x4 View;\n", "float4(mul(Probe, (float4x2)mul(World, View)), 0, 1)",
         through(wv, 4, 2)},
        {"float2x4", "float4x4 World;\nfloat4x4 View;\n", "mul(Probe.xy, (float2x4)mul(World, View))",
         through(wv, 2, 4)},
        {"float2x2", "float4x4 World;\nfloat4x4 View;\n", "float4(mul(Probe.xy, (float2x2)mul(World, View)), 0, 1)",
         through(wv, 2, 2)},
        {"float4x3 of a local product", "float4x4 World;\nfloat4x4 View;\n",
         "float4(mul(Probe, (float4x3)(float4x4)mul(World, View)), 1)", wvThree},
        {"a row of a product", "float4x4 World;\nfloat4x4 View;\n", "mul(World, View)[1]",
         {wv[1][0], wv[1][1], wv[1][2], wv[1][3]}},
        {"float4x3 of a matrix", "float4x4 World;\nfloat4x4 View;\n", "float4(mul(Probe, (float4x3)View), 1)",
         through(view, 4, 3)},
        {"row_major factors", "row_major float4x4 World;\nrow_major float4x4 View;\n", three.c_str(), wvThree},
        {"one factor of each majority", "row_major float4x4 World;\ncolumn_major float4x4 View;\n", three.c_str(),
         wvThree},
        {"the packing pragma", "#pragma pack_matrix(row_major)\nfloat4x4 World;\nfloat4x4 View;\n", three.c_str(),
         wvThree},
    };
    for (const char* profile : {"vs_1_1", "vs_2_0", "vs_3_0"}) {
        const bool three0 = std::string(profile) == "vs_3_0";
        IDirect3DPixelShader9* ps = Pixel(three0 ? "ps_3_0\ndcl_color v0\nmov oC0, v0\n" : "ps_2_0\ndcl v0\nmov oC0, v0\n");
        ASSERT_NE(ps, nullptr);
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(profile) + ": " + k.what);
            const std::string source = std::string(k.declarations) +
                                       "float4 Probe;\nvoid main(float4 Pos : POSITION, out float4 oPos : POSITION, "
                                       "out float4 Col : COLOR0)\n{\n    oPos = Pos;\n    Col = " +
                                       k.colour + ";\n}\n";
            Compiled vs;
            Compile(vs, source, profile);
            ASSERT_EQ(vs.result, D3D_OK) << vs.errors << "\n" << source;
            EXPECT_EQ(gfx::test::RegistersReadOutsideTheTable(vs.container), "") << vs.container.glsl;
            IDirect3DVertexShader9* v = MakeVertex(vs, source);
            ASSERT_NE(v, nullptr);
            for (const auto& [name, m] : {std::pair{"World", &world}, std::pair{"View", &view}, std::pair{"Proj", &proj}}) {
                if (!Constant(vs.container, name)) continue;
                D3DXMATRIX d{};
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j) d.m[i][j] = (*m)[std::size_t(i)][std::size_t(j)];
                ASSERT_EQ(vs.table->SetMatrix(device, name, &d), D3D_OK) << name;
            }
            const D3DXVECTOR4 p{probe[0], probe[1], probe[2], probe[3]};
            if (Constant(vs.container, "Probe")) {
                ASSERT_EQ(vs.table->SetVector(device, "Probe", &p), D3D_OK);
            }
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
            Clear();
            DrawQuad();
            const std::uint32_t px = At(kSize / 2, kSize / 2);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(gfxtest::ChannelOf(px, 16 - 8 * c), std::min(1.0f, k.want[std::size_t(c)]) * 255.0f, 1.5f)
                    << "channel " << c << "\n" << vs.container.glsl;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslMatrixFormsTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

} // namespace
