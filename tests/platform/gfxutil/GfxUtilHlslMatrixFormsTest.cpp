// Forms of matrices and one-component values that compiled to code the
// device refused, or stopped the compiler: each compiled, made on gl, drawn
// and read back with the D3D9 compiler's values, or refused with the reason.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilHlsl.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <array>
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
        Compile(ps, source, "ps_2_0");
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors << "\n" << source;
        if (ps.result != D3D_OK) return false;
        IDirect3DVertexShader9* vs = Vertex(gfxtest::kPassVertex);
        IDirect3DPixelShader9* p = MakePixel(ps, source);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
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

INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslMatrixFormsTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

} // namespace
