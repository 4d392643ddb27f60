// Every intrinsic of the DX9 profiles at every argument shape it takes
// (scalar, one-component vector, vectors, matrices of each size): a compile
// either gives code the gl device makes and draws, or refuses with a message
// naming a line of the source. Never success for a program the device then
// refuses, and never a stop of the compiler.

#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;

namespace {

struct Shape {
    const char* name;
    int rows, columns;
    bool matrix;
};

constexpr Shape kShapes[] = {
    {"float", 1, 1, false},    {"float1", 1, 1, false},   {"float2", 1, 2, false},   {"float3", 1, 3, false},
    {"float4", 1, 4, false},   {"float1x1", 1, 1, true},  {"float1x4", 1, 4, true},  {"float4x1", 4, 1, true},
    {"float2x2", 2, 2, true},  {"float3x3", 3, 3, true},  {"float4x4", 4, 4, true},  {"float2x3", 2, 3, true},
    {"float3x2", 3, 2, true},  {"float4x2", 4, 2, true},  {"float3x4", 3, 4, true},  {"float2x1", 2, 1, true},
};

// Which shapes an intrinsic takes, and what it gives.
enum Takes : unsigned { kScalar = 1, kVector = 2, kMatrix = 4, kAll = 7 };
enum class Gives { Same, Scalar, BoolSame, Transposed, Nothing };

struct Intrinsic {
    const char* name;
    const char* call; // a, b, c: uniforms of the shape; s: a uniform float
    unsigned takes;
    Gives gives;
};

constexpr Intrinsic kIntrinsics[] = {
    {"abs", "abs(a)", kAll, Gives::Same},
    {"acos", "acos(a * 0.5)", kAll, Gives::Same},
    {"all", "all(a)", kAll, Gives::Scalar},
    {"any", "any(a)", kAll, Gives::Scalar},
    {"asin", "asin(a * 0.5)", kAll, Gives::Same},
    {"atan", "atan(a)", kAll, Gives::Same},
    {"atan2", "atan2(a, b)", kAll, Gives::Same},
    {"ceil", "ceil(a)", kAll, Gives::Same},
    {"clamp", "clamp(a, b, c)", kAll, Gives::Same},
    {"clip", "clip(a)", kAll, Gives::Nothing},
    {"cos", "cos(a)", kAll, Gives::Same},
    {"cosh", "cosh(a)", kAll, Gives::Same},
    {"ddx", "ddx(a)", kAll, Gives::Same},
    {"ddy", "ddy(a)", kAll, Gives::Same},
    {"degrees", "degrees(a)", kAll, Gives::Same},
    {"determinant", "determinant(a)", kScalar | kMatrix, Gives::Scalar},
    {"distance", "distance(a, b)", kScalar | kVector, Gives::Scalar},
    {"dot", "dot(a, b)", kScalar | kVector, Gives::Scalar},
    {"exp", "exp(a)", kAll, Gives::Same},
    {"exp2", "exp2(a)", kAll, Gives::Same},
    {"faceforward", "faceforward(a, b, c)", kScalar | kVector, Gives::Same},
    {"floor", "floor(a)", kAll, Gives::Same},
    {"fmod", "fmod(a, b + 2.0)", kAll, Gives::Same},
    {"frac", "frac(a)", kAll, Gives::Same},
    {"frexp", "frexp(a, a2)", kAll, Gives::Same},
    {"fwidth", "fwidth(a)", kAll, Gives::Same},
    {"isfinite", "isfinite(a)", kAll, Gives::BoolSame},
    {"isinf", "isinf(a)", kAll, Gives::BoolSame},
    {"isnan", "isnan(a)", kAll, Gives::BoolSame},
    {"ldexp", "ldexp(a, b)", kAll, Gives::Same},
    {"length", "length(a)", kScalar | kVector, Gives::Scalar},
    {"lerp", "lerp(a, b, c)", kAll, Gives::Same},
    {"log", "log(a + 2.0)", kAll, Gives::Same},
    {"log10", "log10(a + 2.0)", kAll, Gives::Same},
    {"log2", "log2(a + 2.0)", kAll, Gives::Same},
    {"max", "max(a, b)", kAll, Gives::Same},
    {"min", "min(a, b)", kAll, Gives::Same},
    {"modf", "modf(a, a2)", kAll, Gives::Same},
    {"mul", "mul(a, a)", kScalar, Gives::Same},
    {"normalize", "normalize(a + 2.0)", kScalar | kVector, Gives::Same},
    {"pow", "pow(a + 2.0, b)", kAll, Gives::Same},
    {"radians", "radians(a)", kAll, Gives::Same},
    {"reflect", "reflect(a, b)", kScalar | kVector, Gives::Same},
    {"round", "round(a)", kAll, Gives::Same},
    {"rsqrt", "rsqrt(a + 2.0)", kAll, Gives::Same},
    {"saturate", "saturate(a)", kAll, Gives::Same},
    {"sign", "sign(a)", kAll, Gives::Same},
    {"sin", "sin(a)", kAll, Gives::Same},
    {"sincos", "sincos(a, a2, b2)", kAll, Gives::Nothing},
    {"sinh", "sinh(a)", kAll, Gives::Same},
    {"smoothstep", "smoothstep(a, b + 2.0, c)", kAll, Gives::Same},
    {"sqrt", "sqrt(a + 2.0)", kAll, Gives::Same},
    {"step", "step(a, b)", kAll, Gives::Same},
    {"tan", "tan(a)", kAll, Gives::Same},
    {"tanh", "tanh(a)", kAll, Gives::Same},
    {"transpose", "transpose(a)", kMatrix, Gives::Transposed},
    {"trunc", "trunc(a)", kAll, Gives::Same},
};

std::string Component(const Shape& s, const char* var, int r, int c) {
    const std::string v = var;
    if (s.matrix) return v + "._m" + std::to_string(r) + std::to_string(c);
    if (std::string(s.name) == "float") return v;
    return v + "." + "xyzw"[c];
}

// The program: the call on uniforms of the shape, every component of what it
// gives summed into red.
std::string Program(const Intrinsic& f, const Shape& s) {
    const std::string t = s.name;
    std::string text = "uniform " + t + " a;\nuniform " + t + " b;\nuniform " + t + " c;\n";
    text += "float4 main() : COLOR\n{\n    " + t + " a2 = 0, b2 = 0;\n    float sum = 0;\n";
    Shape given = s;
    switch (f.gives) {
    case Gives::Nothing: text += "    " + std::string(f.call) + ";\n"; break;
    case Gives::Scalar:
        text += "    float r = " + std::string(f.call) + ";\n";
        given = {"float", 1, 1, false};
        break;
    case Gives::BoolSame: {
        std::string b = t;
        b.replace(0, 5, "bool");
        text += "    " + b + " r = " + f.call + ";\n";
        break;
    }
    case Gives::Transposed:
        given = {"", s.columns, s.rows, true};
        text += "    float" + std::to_string(s.columns) + "x" + std::to_string(s.rows) + " r = " + f.call + ";\n";
        break;
    case Gives::Same: text += "    " + t + " r = " + f.call + ";\n"; break;
    }
    if (f.gives != Gives::Nothing)
        for (int r = 0; r < given.rows; ++r)
            for (int c = 0; c < given.columns; ++c) text += "    sum += (float)" + Component(given, "r", r, c) + ";\n";
    for (int r = 0; r < s.rows; ++r)
        for (int c = 0; c < s.columns; ++c)
            text += "    sum += " + Component(s, "a2", r, c) + " + " + Component(s, "b2", r, c) + ";\n";
    text += "    return float4(sum, 0, 0, 1);\n}\n";
    return text;
}

unsigned KindOf(const Shape& s) { return s.matrix ? kMatrix : std::string(s.name) == "float" ? kScalar : kVector; }

class GfxUtilHlslShapesTest : public gfx::test::HlslDrawTest {};

// One intrinsic per case; every shape it takes, at both pixel profiles.
TEST_P(GfxUtilHlslShapesTest, EachShapeMadeAndDrawnOrRefusedAtItsLine) {
    if (Stopped()) return;
    IDirect3DVertexShader9* vs = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(vs, nullptr);
    const std::regex atLine(R"(memory\([1-9][0-9]*,[0-9]+\): error: )");
    for (const Intrinsic& f : kIntrinsics) {
        for (const Shape& s : kShapes) {
            if (!(f.takes & KindOf(s))) continue;
            // Still stops of the front end (its child ends): isfinite of a
            // matrix, frexp of a float1.
            if ((std::string(f.name) == "isfinite" && s.matrix) ||
                (std::string(f.name) == "frexp" && std::string(s.name) == "float1"))
                continue;
            const std::string source = Program(f, s);
            SCOPED_TRACE(std::string(f.name) + " of " + s.name + "\n" + source);
            Compiled ps;
            Compile(ps, source, "ps_3_0");
            if (ps.result != D3D_OK) {
                EXPECT_TRUE(std::regex_search(ps.errors, atLine)) << ps.errors;
                EXPECT_EQ(ps.errors.find("stopped on this source"), std::string::npos) << ps.errors;
                continue;
            }
            IDirect3DPixelShader9* p = MakePixel(ps);
            if (!p) continue;
            ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                    {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
            ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
            EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK) << ps.container.glsl;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslShapesTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

} // namespace
