// Values a compiled program gives that once came out wrong without any
// error: constants a function with a default parameter hid from the table,
// out arguments through a conversion, the colour a vertex program leaves
// unwritten, a number cast to a matrix; and texture objects read through
// samplers, which were refused. Each compiled, created on gl, drawn and read
// back, or compiled again and compared.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"
#include "tests/platform/gfxutil/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

class GfxUtilHlslValuesTest : public gfx::test::HlslDrawTest {
protected:
    // The quad behind whatever programs are set.
    void Draw(const Compiled& shown) {
        Clear(0xFF000000u);
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFF204060u, 0, 0}, {1, 1, 0.5f, 0xFF204060u, 1, 0},
                                                {-1, -1, 0.5f, 0xFF204060u, 0, 1}, {1, -1, 0.5f, 0xFF204060u, 1, 1}};
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK)
            << shown.container.glsl;
    }
    void SetByName(const Compiled& p, const char* name, float v) {
        const D3DXVECTOR4 four{v, v, v, v};
        ASSERT_EQ(p.table->SetVector(device, name, &four), D3D_OK) << name;
    }
    // Compiles `source` at ps_3_0 and sets it behind a vs_3_0 pass-through
    // program; false (with a failure) where any step fails.
    bool UsePixel3(Compiled& ps, const std::string& source) {
        Compile(ps, source, "ps_3_0");
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors << "\n" << source;
        if (ps.result != D3D_OK) return false;
        IDirect3DVertexShader9* vs = Vertex("vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                                            "dcl_position o0\ndcl_color o1\ndcl_texcoord o2\n"
                                            "mov o0, v0\nmov o1, v1\nmov o2, v2\n");
        IDirect3DPixelShader9* p = MakePixel(ps, source);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        return true;
    }
    // Where the table puts a float constant; -1 when it lists none of that name.
    static int RegisterOf(const Compiled& p, const char* name) {
        const ShaderConstantRecord* k = Constant(p.container, name);
        return k ? int(k->registerIndex) : -1;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslValuesTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// A parameter's default value is no initialiser of a global: the globals
// after the function keep their place in the table, each its own register,
// and each is set by its name.
TEST_P(GfxUtilHlslValuesTest, DefaultParameterValuesLeaveTheTableWhole) {
    if (Stopped()) return;
    const std::string helper = "float4 scale(float4 c, float k = 1.0) { return c * k; }\n";
    {
        Compiled ps;
        const std::string source =
            helper + "float4 tint;\nfloat4 shade;\nfloat4 main() : COLOR { return scale(tint, 2.0) + shade; }\n";
        ASSERT_TRUE(UsePixel(ps, source));
        EXPECT_EQ(RegisterOf(ps, "tint"), 0);
        EXPECT_EQ(RegisterOf(ps, "shade"), 1);
        SetByName(ps, "tint", 0.1f);
        SetByName(ps, "shade", 0.2f);
        Draw(ps);
        // 0.1 * 2 + 0.2; were tint and shade one register, 0.3.
        ExpectPixel(8, 8, 0.4 * 255, 0.4 * 255, 0.4 * 255);
    }
    {
        // One global after the function, and the default taken.
        Compiled ps;
        ASSERT_TRUE(UsePixel(ps, helper + "float4 tint;\nfloat4 main() : COLOR { return scale(tint); }\n"));
        EXPECT_EQ(RegisterOf(ps, "tint"), 0);
        SetByName(ps, "tint", 0.25f);
        Draw(ps);
        ExpectPixel(8, 8, 0.25 * 255, 0.25 * 255, 0.25 * 255);
    }
    {
        // Defaults written as expressions and more than one, before an array of structs.
        Compiled ps;
        const std::string source =
            "float attenuate(float d, float range = 2.0 * 1.0, float exponent = (1 + 1)) {\n"
            "    return saturate(1 - pow(d / range, exponent));\n}\n"
            "struct Light { float4 color; float4 pos; };\nLight lights[3];\n"
            "float4 main() : COLOR { return lights[1].color * attenuate(lights[2].pos.x); }\n";
        ASSERT_TRUE(UsePixel(ps, source));
        const ShaderConstantRecord* lights = Constant(ps.container, "lights");
        ASSERT_NE(lights, nullptr) << ps.container.glsl;
        EXPECT_EQ(lights->elements, 3u);
        for (std::uint32_t r = 0; r < 6; ++r) {
            // lights[1].color is c2, lights[2].pos is c5.
            const float v = r == 2 ? 0.8f : r == 5 ? 1.0f : 0.0f;
            const float four[4] = {v, v, v, v};
            ASSERT_EQ(device->SetPixelShaderConstantF(r, four, 1), D3D_OK);
        }
        Draw(ps);
        // 0.8 * (1 - (1 / 2)^2)
        ExpectPixel(8, 8, 0.6 * 255, 0.6 * 255, 0.6 * 255);
    }
}

// An out or inout argument of another type than its parameter's, or a cast
// of a variable, is written back into the variable, converted: the
// function's float values truncated into the int variable.
TEST_P(GfxUtilHlslValuesTest, OutArgumentsThroughAConversionAreWrittenBack) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        double red, green, blue; // 0..1
    };
    const std::string functions = "float4 f;\nint4 i;\n"
                                  "void set(out float4 o) { o = f; }\n"
                                  "void add(inout float4 a) { a += 1.5; }\n"
                                  "void one(inout float a) { a += 1.5; }\n";
    const Case cases[] = {
        // f = (1.5, 2.7, 3.2, 4.9): x = (1, 2, 3, 4)
        {"float4 main() : COLOR {\n    int4 x = int4(9, 9, 9, 9);\n    set((float4)x);\n    return x / 4.0;\n}\n",
         0.25, 0.5, 0.75},
        {"float4 main() : COLOR {\n    int4 x;\n    set((float4)x);\n    return x / 4.0;\n}\n", 0.25, 0.5, 0.75},
        // i = (1, 2, -3, -4): x + 1.5 = (2.5, 3.5, -1.5, -2.5), x = (2, 3, -1, -2)
        {"float4 main() : COLOR {\n    int4 x = i;\n    add(x);\n    return (x + 4) / 8.0;\n}\n", 0.75, 0.875,
         0.375},
        // f.x = 1.5 into an int: 1, then 2.5: 2
        {"float4 main() : COLOR {\n    int x = f.x;\n    one(x);\n    return float4(x / 4.0, 0, 0, 1);\n}\n", 0.5,
         0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled ps;
        if (!UsePixel(ps, functions + c.source)) continue;
        const D3DXVECTOR4 fv{1.5f, 2.7f, 3.2f, 4.9f}, iv{1, 2, -3, -4};
        if (Constant(ps.container, "f")) {
            ASSERT_EQ(ps.table->SetVector(device, "f", &fv), D3D_OK);
        }
        if (Constant(ps.container, "i")) {
            ASSERT_EQ(ps.table->SetVector(device, "i", &iv), D3D_OK);
        }
        Draw(ps);
        ExpectPixel(8, 8, c.red * 255, c.green * 255, c.blue * 255);
    }
}

// A pixel program at 2.0 reading a colour its vertex program never writes
// reads white under a compiled vertex program of 1.x or 2.x, as under an
// assembled one.
TEST_P(GfxUtilHlslValuesTest, AnUnwrittenColourReadsWhiteBehindA2xVertexProgram) {
    if (Stopped()) return;
    Compiled ps;
    Compile(ps, "float4 main(float4 c : COLOR0, float4 t : TEXCOORD0) : COLOR { return float4(c.rgb, t.x); }\n",
            "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DPixelShader9* pixel = MakePixel(ps);
    ASSERT_NE(pixel, nullptr);
    ASSERT_EQ(device->SetPixelShader(pixel), D3D_OK);
    const char* const positionOnly =
        "struct O { float4 p : POSITION; float4 t : TEXCOORD0; };\n"
        "O main(float4 p : POSITION) { O o; o.p = p; o.t = float4(0.5, 0, 0, 1); return o; }\n";
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        Compiled vs;
        Compile(vs, positionOnly, profile);
        ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
        IDirect3DVertexShader9* vertex = MakeVertex(vs);
        ASSERT_NE(vertex, nullptr);
        ASSERT_EQ(device->SetVertexShader(vertex), D3D_OK);
        Draw(vs);
        ExpectPixel(8, 8, 255, 255, 255);
    }
    // The assembled form of the same program, for comparison.
    IDirect3DVertexShader9* assembled = Vertex("vs_2_0\ndcl_position v0\ndef c0, 0.5, 0, 0, 1\nmov oPos, v0\n"
                                               "mov oT0, c0\n");
    ASSERT_NE(assembled, nullptr);
    ASSERT_EQ(device->SetVertexShader(assembled), D3D_OK);
    Draw(ps);
    ExpectPixel(8, 8, 255, 255, 255);
    // A colour the vertex program writes is the one read.
    Compiled writes;
    Compile(writes,
            "struct O { float4 p : POSITION; float4 c : COLOR0; };\n"
            "O main(float4 p : POSITION) { O o; o.p = p; o.c = float4(0.25, 0.5, 0.75, 1); return o; }\n",
            "vs_2_0");
    ASSERT_EQ(writes.result, D3D_OK) << writes.errors;
    IDirect3DVertexShader9* vertex = MakeVertex(writes);
    ASSERT_NE(vertex, nullptr);
    ASSERT_EQ(device->SetVertexShader(vertex), D3D_OK);
    Draw(writes);
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255);
}

// An argument's declared type picks the overload for a uniform as for a
// local: a `uniform double` takes the double overload, which the layout's
// float register must not hide; a `uniform half` the float one (half is a
// float here, nearer than a double); a local or a static double the double
// one. Drawn at 2.0 and 3.0 with the uniforms set through the table.
TEST_P(GfxUtilHlslValuesTest, AnArgumentsDeclaredTypePicksTheOverload) {
    if (Stopped()) return;
    const std::string overloads = "float pick(float v) { return v * 0.5; }\n"
                                  "float pick(double v) { return float(v) * 0.25 + 0.5; }\n";
    struct Case {
        const char* what;
        const char* source;
        bool uniform;
        double want; // of 0.4: 0.2 through the float overload, 0.6 through the double one
    };
    const Case cases[] = {
        {"uniform double", "uniform double w;\nfloat4 main() : COLOR { return float4(pick(w), 0, 0, 1); }\n", true, 0.6},
        {"double", "double w;\nfloat4 main() : COLOR { return float4(pick(w), 0, 0, 1); }\n", true, 0.6},
        {"uniform half", "uniform half w;\nfloat4 main() : COLOR { return float4(pick(w), 0, 0, 1); }\n", true, 0.2},
        {"local double", "float4 main() : COLOR { double w = 0.4; return float4(pick(w), 0, 0, 1); }\n", false, 0.6},
        {"static double", "static double w = 0.4;\nfloat4 main() : COLOR { return float4(pick(w), 0, 0, 1); }\n",
         false, 0.6},
        {"a parameter hides the uniform",
         "uniform double w;\nfloat f(float w) { return pick(w); }\n"
         "float4 main() : COLOR { return float4(f(0.4), 0, 0, 1); }\n",
         false, 0.2},
    };
    for (const bool three : {false, true}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(three ? "ps_3_0: " : "ps_2_0: ") + k.what);
            Compiled ps;
            const std::string source = overloads + k.source;
            ASSERT_TRUE(three ? UsePixel3(ps, source) : UsePixel(ps, source));
            if (k.uniform) {
                ASSERT_NE(Constant(ps.container, "w"), nullptr) << ps.container.glsl;
                SetByName(ps, "w", 0.4f);
            }
            Draw(ps);
            ExpectPixel(8, 8, k.want * 255, 0, 0);
        }
    }
}

// Every form of an argument whose type is double by the uniforms it is made
// of takes the double overload as a bare double uniform does: an element of
// an array, a component of a vector, a struct's double member, arithmetic
// with a double operand; at any place and among several overloads. What is
// float by its own type keeps the float one: a float uniform or local, a
// cast to float, a comparison, another function's float result, a name of
// the function's own hiding the uniform. The uniforms take their
// initialisers through the table's defaults; drawn at 2.0 and 3.0.
TEST_P(GfxUtilHlslValuesTest, EveryFormOfADoubleArgumentPicksTheDoubleOverload) {
    if (Stopped()) return;
    const std::string declarations =
        "struct S { double d; float f; double2 d2; };\n"
        "uniform double w = 0.4;\n"
        "uniform double ws[2] = {0.2, 0.4};\n"
        "uniform double2 v = {0.2, 0.4};\n"
        "uniform S s = {0.4, 0.4, {0.2, 0.4}};\n"
        "uniform float u = 0.4;\n"
        "cbuffer Extra { double cw = 0.4; double2 cv = {0.2, 0.4}; };\n"
        // x through the float overload gives x / 2, through the double one x / 4 + 0.5.
        "float pick(float x) { return x * 0.5; }\n"
        "float pick(double x) { return float(x) * 0.25 + 0.5; }\n"
        // The double at the second place; the first decides nothing.
        "float pick2(float a, float b) { return b * 0.5; }\n"
        "float pick2(float a, double b) { return float(b) * 0.25 + 0.5; }\n"
        "float pick2(double a, float b) { return 0.125; }\n"
        // Four overloads of one name.
        "float pick3(half x) { return 0.125; }\n"
        "float pick3(float x) { return 0.25; }\n"
        "float pick3(double x) { return 0.75; }\n"
        "float pick3(float2 x) { return 0.875; }\n"
        "float same(float x) { return x; }\n"
        // Of two components: x's first through the float overload gives its
        // half, through the double one its quarter and 0.5.
        "float pickv(float2 x) { return x.x * 0.5; }\n"
        "float pickv(double2 x) { return float(x.x) * 0.25 + 0.5; }\n";
    struct Case {
        const char* call; // the red channel's expression in main
        double red;
    };
    const Case cases[] = {
        // Double by their uniforms.
        {"pick(w)", 0.6},                // 0.4 / 4 + 0.5
        {"pick(ws[1])", 0.6},            // 0.4 / 4 + 0.5
        {"pick(ws[0])", 0.55},           // 0.2 / 4 + 0.5
        {"pick(v.y)", 0.6},              // 0.4 / 4 + 0.5
        {"pick(v.x)", 0.55},             // 0.2 / 4 + 0.5
        {"pick(v[1])", 0.6},             // 0.4 / 4 + 0.5
        {"pick(s.d)", 0.6},              // 0.4 / 4 + 0.5
        {"pick(s.d2.y)", 0.6},           // 0.4 / 4 + 0.5
        {"pick(cw)", 0.6},               // 0.4 / 4 + 0.5
        {"pick(cv.x * 2)", 0.6},         // 0.4 / 4 + 0.5
        {"pickv(cv)", 0.55},             // 0.2 / 4 + 0.5
        {"pick(w * 2)", 0.7},            // 0.8 / 4 + 0.5
        {"pick(w + 0.5)", 0.725},        // 0.9 / 4 + 0.5
        {"pick(-w)", 0.4},               // -0.4 / 4 + 0.5
        {"pick((w))", 0.6},              // 0.4 / 4 + 0.5
        {"pick(ws[0] * w)", 0.52},       // 0.08 / 4 + 0.5
        {"pick(u * w)", 0.54},           // 0.16 / 4 + 0.5
        {"pick(2 * (s.d - 0.2))", 0.6},  // 0.4 / 4 + 0.5
        {"pick(v.y / 2 + u)", 0.65},     // 0.6 / 4 + 0.5
        {"pick2(0.1, w)", 0.6},          // 0.4 / 4 + 0.5
        {"pick2(0.1, ws[1] * 2)", 0.7},  // 0.8 / 4 + 0.5
        {"pick2(u, v.x + 0.2)", 0.6},    // 0.4 / 4 + 0.5
        {"pick3(ws[1])", 0.75},
        {"pick3(s.d * u)", 0.75},
        {"pick3(-v.y)", 0.75},
        {"pick(same(w)) + pick(ws[1])", 0.8}, // 0.2 + 0.6
        {"pick(l > 0.5 ? u : w)", 0.6},   // 0.4 / 4 + 0.5
        {"pickv(v)", 0.55},              // 0.2 / 4 + 0.5
        {"pickv(v.yx)", 0.6},            // 0.4 / 4 + 0.5
        {"pickv(s.d2.yx * 2)", 0.7},     // 0.8 / 4 + 0.5
        {"pickv(float2(0.1, 0.2) + ws[1])", 0.625}, // 0.5 / 4 + 0.5
        // Float by their own type.
        {"pick(u)", 0.2},                // 0.4 / 2
        {"pick(u * 2)", 0.4},            // 0.8 / 2
        {"pick(s.f)", 0.2},              // 0.4 / 2
        {"pick(s.f * 2)", 0.4},          // 0.8 / 2
        {"pick(l)", 0.2},                // 0.4 / 2
        {"pick(float(w))", 0.2},         // 0.4 / 2
        {"pick((float)w * 2)", 0.4},     // 0.8 / 2
        {"pick(w > 0.3)", 0.5},          // 1 / 2
        {"pick(same(w))", 0.2},          // 0.4 / 2
        {"pick(same(ws[1] * 2))", 0.4},  // 0.8 / 2
        {"pick3(u)", 0.25},
        {"pick3(s.f)", 0.25},
        {"pick2(0.1, u)", 0.2},          // 0.4 / 2
        {"pickv(float2(v))", 0.1},       // 0.2 / 2
        {"pickv(float2(u, w))", 0.2},    // 0.4 / 2
    };
    for (const bool three : {false, true}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(three ? "ps_3_0: " : "ps_2_0: ") + k.call);
            Compiled ps;
            const std::string source = declarations + "float4 main() : COLOR { float l = 0.4; return float4(" +
                                       k.call + ", 0, 0, 1); }\n";
            if (!(three ? UsePixel3(ps, source) : UsePixel(ps, source))) continue;
            ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
            Draw(ps);
            ExpectPixel(8, 8, k.red * 255, 0, 0, ps.container.glsl);
        }
    }
    // A parameter or a local of the function's own of a uniform's name is
    // that name's float there; one of the struct's type has its doubles.
    const Case hidden[] = {
        {"float f(float w) { return pick(w * 2); }\n"
         "float4 main() : COLOR { return float4(f(0.4), 0, 0, 1); }\n", 0.4},
        {"float f(float ws) { return pick(-ws); }\n"
         "float4 main() : COLOR { return float4(f(-0.4), 0, 0, 1); }\n", 0.2},
        {"float4 main() : COLOR { float2 v = float2(0.2, 0.4); return float4(pick(v.y), 0, 0, 1); }\n", 0.2},
        {"float4 main() : COLOR { float w = 0.4; return float4(pick((w)), pick(ws[1]), 0, 1); }\n", 0.2},
        // The colour's red, 0x20, through the float overload.
        {"float4 main(float4 w : COLOR0) : COLOR { return float4(pick(w.x), 0, 0, 1); }\n", 0x20 / 255.0 * 0.5},
        // A local and a parameter of the uniform's struct have its double
        // members: 0.4 / 4 + 0.5, 0.8 / 4 + 0.5, and 0.4 / 2 for a float one.
        {"float4 main() : COLOR { S t = s; return float4(pick(t.d), 0, 0, 1); }\n", 0.6},
        {"float f(S t) { return pick(t.d * 2); }\n"
         "float4 main() : COLOR { return float4(f(s), 0, 0, 1); }\n", 0.7},
        {"float f(S t) { return pick(t.f); }\n"
         "float4 main() : COLOR { return float4(f(s), 0, 0, 1); }\n", 0.2},
    };
    for (const bool three : {false, true}) {
        for (const Case& k : hidden) {
            SCOPED_TRACE(std::string(three ? "ps_3_0: " : "ps_2_0: ") + k.call);
            Compiled ps;
            const std::string source = declarations + k.call;
            if (!(three ? UsePixel3(ps, source) : UsePixel(ps, source))) continue;
            ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
            Draw(ps);
            const std::uint32_t p = At(8, 8);
            EXPECT_NEAR((p >> 16) & 0xFF, k.red * 255, 1.01) << ps.container.glsl;
        }
    }
}

namespace {

// A 1 x 1 texture of one colour, released with the fixture's device.
class GfxUtilHlslTextureObjectTest : public GfxUtilHlslValuesTest {
protected:
    void TearDown() override {
        if (device)
            for (std::uint32_t s = 0; s < 4; ++s) device->SetTexture(s, nullptr);
        for (IDirect3DTexture9* t : m_textures) t->Release();
        m_textures.clear();
        GfxUtilHlslValuesTest::TearDown();
    }
    void Bind(std::uint32_t stage, std::uint32_t argb) {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        m_textures.push_back(t);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        *static_cast<std::uint32_t*>(lr.pBits) = argb;
        t->UnlockRect(0);
        ASSERT_EQ(device->SetTexture(stage, t), D3D_OK);
    }
    static int SamplerOf(const Compiled& p, const char* name) {
        const ShaderConstantRecord* k = Constant(p.container, name);
        return k && k->registerSet == 3 ? int(k->registerIndex) : -1;
    }

private:
    std::vector<IDirect3DTexture9*> m_textures;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslTextureObjectTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// A texture object read through a sampler is a combined sampler of its own,
// allocated before the program's other samplers and named, as the D3D9
// compiler names it, "<sampler>+<texture>": `sam+tex` reads stage 0 and
// `sam`, read on its own too, stage 1. The texture's own name is no
// constant of the table.
TEST_P(GfxUtilHlslTextureObjectTest, AReadThroughASamplerIsACombinedSamplerFirst) {
    if (Stopped()) return;
    Compiled ps;
    ASSERT_TRUE(UsePixel(ps, "sampler sam;\nTexture2D tex;\n\n"
                             "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n"
                             "    return 10 * tex.Sample(sam, uv) + tex2D(sam, uv);\n}\n"));
    EXPECT_EQ(SamplerOf(ps, "sam+tex"), 0);
    EXPECT_EQ(SamplerOf(ps, "sam"), 1);
    EXPECT_EQ(SamplerOf(ps, "tex"), -1);
    const ShaderConstantRecord* tex = Constant(ps.container, "sam+tex");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->type, D3DXPT_SAMPLER2D);
    EXPECT_EQ(ps.table->GetSamplerIndex("sam+tex"), 0u);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "tex"), nullptr);
    Bind(0, 0xFF0A0500u); // (10, 5, 0) / 255
    Bind(1, 0xFF400080u); // (64, 0, 128) / 255
    Draw(ps);
    ExpectPixel(8, 8, 100 + 64, 50, 128);
}

// A combined sampler's unit: the sampler state's `register(sN)`, else the
// texture's `register(tN)`, else a free unit past those bound. Each pair is
// a sampler of its own, so no two share a unit: a second texture read
// through one bound sampler state, or a sampler state read on its own too
// (which keeps its register), leaves the pair a free unit. Each table entry
// is at its unit and each read draws the texture set there, at 2.0 and 3.0.
TEST_P(GfxUtilHlslTextureObjectTest, ACombinedSamplerTakesTheUnitItsSamplerOrTextureIsBoundTo) {
    if (Stopped()) return;
    struct Case {
        const char* declarations;
        const char* first;  // its red is drawn
        const char* second; // its green is drawn
        const char* firstName;
        int firstUnit;
        const char* secondName;
        int secondUnit;
    };
    const Case cases[] = {
        {"Texture2D img;\nSamplerState samp : register(s1);\n", "img.Sample(samp, uv)", "img.Sample(samp, uv)",
         "samp+img", 1, "samp+img", 1},
        {"Texture2D img : register(t1);\nSamplerState samp;\n", "img.Sample(samp, uv)", "img.Sample(samp, uv)",
         "samp+img", 1, "samp+img", 1},
        {"Texture2D img : register(t3);\nSamplerState samp : register(s2);\n", "img.Sample(samp, uv)",
         "img.Sample(samp, uv)", "samp+img", 2, "samp+img", 2},
        {"Texture2D img : TEX < string Name = \"a\\\\b.dds\"; >;\nSamplerState samp : SAMP : register(ps, s3);\n",
         "img.Sample(samp, uv)", "img.Sample(samp, uv)", "samp+img", 3, "samp+img", 3},
        // Two textures through one bound sampler state: the first read keeps it.
        {"Texture2D a;\nTexture2D b;\nSamplerState samp : register(s1);\n", "a.Sample(samp, uv)",
         "b.Sample(samp, uv)", "samp+a", 1, "samp+b", 0},
        {"Texture2D a;\nTexture2D b : register(t2);\nSamplerState samp : register(s1);\n", "b.Sample(samp, uv)",
         "a.Sample(samp, uv)", "samp+b", 1, "samp+a", 0},
        {"Texture2D a;\nTexture2D b : register(t2);\nSamplerState samp : register(s1);\n", "a.Sample(samp, uv)",
         "b.Sample(samp, uv)", "samp+a", 1, "samp+b", 2},
        // One texture through two sampler states.
        {"Texture2D img;\nSamplerState x : register(s1);\nSamplerState y;\n", "img.Sample(y, uv)",
         "img.Sample(x, uv)", "y+img", 0, "x+img", 1},
        {"Texture2D img;\nSamplerState x : register(s2);\nSamplerState y : register(s0);\n", "img.Sample(x, uv)",
         "img.Sample(y, uv)", "x+img", 2, "y+img", 0},
        // A sampler state's register claims before a texture's.
        {"Texture2D a : register(t1);\nTexture2D b;\nSamplerState x;\nSamplerState y : register(s1);\n",
         "a.Sample(x, uv)", "b.Sample(y, uv)", "x+a", 0, "y+b", 1},
        // The sampler state read on its own keeps its register.
        {"Texture2D img;\nsampler samp : register(s1);\n", "img.Sample(samp, uv)", "tex2D(samp, uv)", "samp+img", 0,
         "samp", 1},
        // Another sampler bound to the unit the texture names keeps it.
        {"Texture2D img : register(t0);\nSamplerState samp;\nsampler plain : register(s0);\n",
         "img.Sample(samp, uv)", "tex2D(plain, uv)", "samp+img", 1, "plain", 0},
    };
    // Unit u's texel: red 0x20 + 0x30 u, green 0xE0 - 0x30 u.
    const auto red = [](int u) { return 0x20 + 0x30 * u; };
    const auto green = [](int u) { return 0xE0 - 0x30 * u; };
    for (const Case& k : cases)
        for (const bool three : {false, true}) {
            const std::string source = std::string(k.declarations) +
                                       "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    return float4(" +
                                       k.first + ".r, " + k.second + ".g, 0, 1);\n}\n";
            SCOPED_TRACE(std::string(three ? "ps_3_0\n" : "ps_2_0\n") + source);
            Compiled ps;
            ASSERT_TRUE(three ? UsePixel3(ps, source) : UsePixel(ps, source));
            EXPECT_EQ(SamplerOf(ps, k.firstName), k.firstUnit);
            EXPECT_EQ(SamplerOf(ps, k.secondName), k.secondUnit);
            EXPECT_EQ(ps.table->GetSamplerIndex(k.firstName), std::uint32_t(k.firstUnit));
            for (int u = 0; u < 4; ++u)
                Bind(std::uint32_t(u), 0xFF000000u | std::uint32_t(red(u)) << 16 | std::uint32_t(green(u)) << 8);
            Draw(ps);
            ExpectPixel(8, 8, red(k.firstUnit), green(k.secondUnit), 0);
        }
}

// The lookups with a level, a bias or gradients at 3.0; a texture read
// through two samplers is two combined samplers; a static texture is no
// texture the program is given and stays refused.
TEST_P(GfxUtilHlslTextureObjectTest, LevelsBiasesGradientsAndTheFormsLeftRefused) {
    if (Stopped()) return;
    Compiled ps;
    Compile(ps,
            "Texture2D tex;\nSamplerState a;\nSamplerState b;\n"
            "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n"
            "    float4 l = tex.SampleLevel(a, uv, 0);\n"
            "    float4 s = tex.SampleBias(b,\n        uv, 0.0);\n"
            "    float4 g = tex.SampleGrad(a, uv, float2(0, 0), float2(0, 0));\n"
            "    return float4(l.r, s.g, g.b, 1);\n}\n",
            "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(SamplerOf(ps, "a+tex"), 0);
    EXPECT_EQ(SamplerOf(ps, "b+tex"), 1);
    EXPECT_EQ(SamplerOf(ps, "a"), -1); // read through the texture only
    Compiled vs;
    Compile(vs,
            "struct O { float4 p : POSITION; float2 t : TEXCOORD0; };\n"
            "O main(float4 p : POSITION, float2 t : TEXCOORD0) { O o; o.p = p; o.t = t; return o; }\n",
            "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    IDirect3DVertexShader9* vertex = MakeVertex(vs);
    IDirect3DPixelShader9* pixel = MakePixel(ps);
    ASSERT_TRUE(vertex && pixel);
    ASSERT_EQ(device->SetVertexShader(vertex), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(pixel), D3D_OK);
    Bind(0, 0xFF204060u);
    Bind(1, 0xFF80A0C0u);
    Draw(ps);
    ExpectPixel(8, 8, 0x20, 0xA0, 0x60);

    // The lines stay where they were: an error after a rewritten read is
    // named at its own line.
    Compiled late;
    Compile(late, "Texture2D tex;\nsampler s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR {\n"
                  "    float4 c = tex.Sample(s,\n uv);\n    return c + missing;\n}\n",
            "ps_2_0");
    EXPECT_NE(late.result, D3D_OK);
    EXPECT_NE(late.errors.find("(6,"), std::string::npos) << late.errors;

    Compiled fixed;
    Compile(fixed, "static Texture2D tex;\nsampler s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { "
                   "return tex.Sample(s, uv); }\n",
            "ps_2_0");
    EXPECT_NE(fixed.result, D3D_OK);
}

// Every spelling of the texture object types the D3D9 compiler takes names
// the same object as its capitalised form: read with `.Sample`, each is a
// combined sampler of its kind, drawn from a texture of that kind.
TEST_P(GfxUtilHlslTextureObjectTest, EverySpellingOfTheTextureTypesReadsTheSameObject) {
    if (Stopped()) return;
    struct Spelling {
        const char* type;
        const char* coordinate;
        std::uint16_t sampler;
    };
    const Spelling spellings[] = {
        {"texture1D", "uv.x", D3DXPT_SAMPLER1D},       {"Texture1D", "uv.x", D3DXPT_SAMPLER1D},
        {"texture2D", "uv", D3DXPT_SAMPLER2D},         {"Texture2D", "uv", D3DXPT_SAMPLER2D},
        {"texture3D", "float3(uv, 0.5)", D3DXPT_SAMPLER3D},
        {"Texture3D", "float3(uv, 0.5)", D3DXPT_SAMPLER3D}, {"textureCUBE", "float3(1, uv)", D3DXPT_SAMPLERCUBE},
        {"TextureCube", "float3(1, uv)", D3DXPT_SAMPLERCUBE},
    };
    constexpr std::uint32_t kTexel = 0xFF305070u;
    for (const Spelling& k : spellings) {
        SCOPED_TRACE(k.type);
        Compiled ps;
        const std::string source = std::string(k.type) + " tex;\nsampler s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n"
                                   "    return tex.Sample(s, " + k.coordinate + ");\n}\n";
        ASSERT_TRUE(UsePixel(ps, source));
        const ShaderConstantRecord* tex = Constant(ps.container, "s+tex");
        ASSERT_NE(tex, nullptr);
        EXPECT_EQ(tex->type, k.sampler);
        EXPECT_EQ(SamplerOf(ps, "s+tex"), 0);
        IDirect3DBaseTexture9* texture = nullptr;
        if (k.sampler == D3DXPT_SAMPLERCUBE) {
            IDirect3DCubeTexture9* cube = nullptr;
            ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
            for (std::uint32_t face = 0; face < 6; ++face) {
                D3DLOCKED_RECT lr;
                ASSERT_EQ(cube->LockRect(face, 0, &lr, nullptr, 0), D3D_OK);
                *static_cast<std::uint32_t*>(lr.pBits) = kTexel;
                cube->UnlockRect(face, 0);
            }
            texture = cube;
        } else if (k.sampler == D3DXPT_SAMPLER3D) {
            IDirect3DVolumeTexture9* volume = nullptr;
            ASSERT_EQ(device->CreateVolumeTexture(1, 1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr),
                      D3D_OK);
            D3DLOCKED_BOX box;
            ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
            *static_cast<std::uint32_t*>(box.pBits) = kTexel;
            volume->UnlockBox(0);
            texture = volume;
        }
        if (texture) EXPECT_EQ(device->SetTexture(0, texture), D3D_OK);
        else Bind(0, kTexel);
        Draw(ps);
        ExpectPixel(8, 8, 0x30, 0x50, 0x70);
        EXPECT_EQ(device->SetTexture(0, nullptr), D3D_OK);
        if (texture) texture->Release();
    }
}

// The table as the D3D9 compiler stores it: its constants sorted by name,
// a texture read through a sampler state named "<sampler>+<texture>", an
// entry's parameter that is a constant (`uniform`, or a sampler, which is
// one whether it says so or not) named "$<name>". Each is found by that name
// and sets what is drawn, at 2.0 and 3.0.
TEST_P(GfxUtilHlslTextureObjectTest, TheTableIsSortedAndNamedAsTheD3D9CompilerStoresIt) {
    if (Stopped()) return;
    const std::string source = "Texture2D img;\nSamplerState samp;\nsampler plain;\nfloat4 b;\n"
                               "float4 main(float2 uv : TEXCOORD0, uniform float4 k, sampler extra) : COLOR\n{\n"
                               "    return img.Sample(samp, uv) * k + tex2D(plain, uv) + tex2D(extra, uv) + b;\n}\n";
    for (const bool three : {false, true}) {
        SCOPED_TRACE(three ? "ps_3_0" : "ps_2_0");
        Compiled ps;
        ASSERT_TRUE(three ? UsePixel3(ps, source) : UsePixel(ps, source));
        D3DXCONSTANTTABLE_DESC desc;
        ASSERT_EQ(ps.table->GetDesc(&desc), D3D_OK);
        std::vector<std::string> names;
        for (std::uint32_t i = 0; i < desc.Constants; ++i) {
            D3DXCONSTANT_DESC d;
            std::uint32_t count = 1;
            ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstant(nullptr, i), &d, &count), D3D_OK);
            names.emplace_back(d.Name);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"$extra", "$k", "b", "plain", "samp+img"}));
        EXPECT_EQ(ps.table->GetConstant(nullptr, 5), nullptr);
        // Each sampler's texture at the unit its name gives.
        const std::pair<const char*, std::uint32_t> textures[] = {
            {"samp+img", 0xFF804020u}, {"plain", 0xFF102030u}, {"$extra", 0xFF010203u}};
        std::set<std::uint32_t> units;
        for (const auto& [name, texel] : textures) {
            const std::uint32_t unit = ps.table->GetSamplerIndex(name);
            ASSERT_LT(unit, 16u) << name;
            units.insert(unit);
            Bind(unit, texel);
        }
        EXPECT_EQ(units.size(), 3u);
        const D3DXVECTOR4 half{0.5f, 0.5f, 0.5f, 0.5f}, fifth{0.2f, 0.2f, 0.2f, 0.2f};
        ASSERT_EQ(ps.table->SetVector(device, "$k", &half), D3D_OK);
        ASSERT_EQ(ps.table->SetVector(device, "b", &fifth), D3D_OK);
        // The names the D3D9 compiler does not give find nothing.
        for (const char* name : {"k", "extra", "img", "samp"})
            EXPECT_EQ(ps.table->GetConstantByName(nullptr, name), nullptr) << name;
        Draw(ps);
        // (128, 64, 32) * 0.5 + (16, 32, 48) + (1, 2, 3) + 51
        ExpectPixel(8, 8, 64 + 16 + 1 + 51, 32 + 32 + 2 + 51, 16 + 48 + 3 + 51);
    }
}

// Names sort as bytes compare: '$' before digits before capitals before
// '_' before small letters, a shorter name before a longer it begins; a
// struct's members stay after it, in their declared order.
TEST(GfxUtilHlslTableOrderTest, NamesSortAsBytesCompareWithMembersAfterTheirStruct) {
    Compiled ps;
    Compile(ps,
            "struct L { float4 z; float4 a; };\nfloat4 a1;\nfloat4 a;\nfloat4 _u;\nfloat4 Zeta;\nfloat4 A2;\n"
            "float4 n9;\nfloat4 n10;\nL light;\n"
            "float4 main(uniform float4 p, uniform float4 P) : COLOR\n"
            "{ return a1 + a + _u + Zeta + A2 + n9 + n10 + light.z + light.a + p + P; }\n",
            "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    D3DXCONSTANTTABLE_DESC desc;
    ASSERT_EQ(ps.table->GetDesc(&desc), D3D_OK);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < desc.Constants; ++i) {
        D3DXCONSTANT_DESC d;
        std::uint32_t count = 1;
        ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstant(nullptr, i), &d, &count), D3D_OK);
        names.emplace_back(d.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"$P", "$p", "A2", "Zeta", "_u", "a", "a1", "light", "n10", "n9"}));
    // The struct's members, found from it in their declared order and by name.
    const D3DXHANDLE light = ps.table->GetConstantByName(nullptr, "light");
    ASSERT_NE(light, nullptr);
    D3DXCONSTANT_DESC first, second, whole;
    std::uint32_t count = 1;
    ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstant(light, 0), &first, &count), D3D_OK);
    ASSERT_EQ(ps.table->GetConstantDesc(ps.table->GetConstant(light, 1), &second, &count), D3D_OK);
    ASSERT_EQ(ps.table->GetConstantDesc(light, &whole, &count), D3D_OK);
    EXPECT_STREQ(first.Name, "z");
    EXPECT_STREQ(second.Name, "a");
    EXPECT_EQ(first.RegisterIndex, whole.RegisterIndex);
    EXPECT_EQ(second.RegisterIndex, whole.RegisterIndex + 1);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "light.a"), ps.table->GetConstant(light, 1));
}

// A sampler array picked by a loop's counter, through a function that may
// discard, as fixed-function emulators run their texture stages: the loop is
// unrolled, as the D3D9 compiler unrolls it, so each pass reads its own
// unit, and the stages that a `static const` table turns off are folded
// away. A loop written `[loop]` is not unrolled: its pick stays refused.
TEST_P(GfxUtilHlslTextureObjectTest, ASamplerPickedByALoopCounterUnrollsTheLoop) {
    if (Stopped()) return;
    const std::string source = "sampler2D layers[3] : register(s0);\n"
                               "static const float kOn[3] = {1, 0, 1};\n"
                               "float4 Layer(int i, float2 uv) {\n"
                               "    if (kOn[i] == 0) return 0;\n"
                               "    float4 t = tex2D(layers[i], uv);\n"
                               "    if (t.a < 0.5) discard;\n"
                               "    return t;\n}\n"
                               "float4 main(float2 uv : TEXCOORD0) : COLOR {\n"
                               "    float4 c = 0;\n"
                               "    LOOP for (int i = 0; i < 3; i++) c += Layer(i, uv);\n"
                               "    return c;\n}\n";
    std::string unrolled = source, kept = source;
    unrolled.replace(unrolled.find("LOOP "), 5, "");
    kept.replace(kept.find("LOOP"), 4, "[loop]");
    Compiled ps;
    ASSERT_TRUE(UsePixel(ps, unrolled));
    EXPECT_EQ(SamplerOf(ps, "layers"), 0);
    Bind(0, 0xFF0A0000u); // (10, 0, 0) / 255
    Bind(1, 0x00000000u); // off: its alpha would discard
    Bind(2, 0xFF00001Eu); // (0, 0, 30) / 255
    Draw(ps);
    ExpectPixel(8, 8, 10, 0, 30);
    Bind(2, 0x0000001Eu); // a stage that is on discards
    Draw(ps);
    ExpectPixel(8, 8, 0, 0, 0);

    Compiled loop;
    Compile(loop, kept, "ps_2_0");
    EXPECT_EQ(loop.result, E_FAIL);
    EXPECT_NE(loop.errors.find("a sampler array indexed by a value computed at run time"), std::string::npos)
        << loop.errors;
}

// A number cast to a matrix, as skinning programs start their sum of bones:
// the same program every compile, its start all zeros (glslang folds the
// cast itself from memory it has not written).
TEST(GfxUtilHlslValuesCompileTest, ANumberCastToAMatrixIsTheSameEveryCompile) {
    const std::string source = "float4x3 Bones[4];\n"
                               "float4 main(float4 p : POSITION, float4 w : BLENDWEIGHT, float4 i : BLENDINDICES)"
                               " : POSITION {\n"
                               "    float4x3 m = (float4x3)0;\n    m += Bones[i.x] * w.x;\n    m += Bones[i.y] * w.y;\n"
                               "    return float4(mul(p, m), 1);\n}\n";
    std::string first;
    for (int n = 0; n < 8; ++n) {
        Compiled vs;
        Compile(vs, source, "vs_2_0");
        ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
        EXPECT_EQ(vs.container.glsl.find("nan"), std::string::npos) << vs.container.glsl;
        if (n == 0) first = vs.container.glsl;
        EXPECT_EQ(vs.container.glsl, first) << "compile " << n;
    }
}

// A switch of many cases takes each of them, its last ones too: the
// driver's own form of a long switch loses its cases from about the 79th
// on. Pixel x (u = x / 16, by the half-pixel offset) takes case
// N - 1 - (15 - x) * step, the last at the right edge; case c gives c / N.
TEST_P(GfxUtilHlslValuesTest, EveryCaseOfALongSwitchIsTaken) {
    if (Stopped()) return;
    for (const int count : {60, 90, 128, 200}) {
        SCOPED_TRACE(count);
        const int step = (count - 1) / 15, first = count - 1 - 15 * step;
        std::string source = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    switch ((int)(uv.x * 16 + 0.5) * " +
                             std::to_string(step) + " + " + std::to_string(first) + ")\n    {\n";
        for (int i = 0; i < count; ++i)
            source += "    case " + std::to_string(i) + ": return " + std::to_string(double(i) / count) + ";\n";
        source += "    default: return 1;\n    }\n}\n";
        Compiled ps;
        ASSERT_TRUE(UsePixel3(ps, source));
        Draw(ps);
        for (int x = 0; x < kSize; ++x) {
            const double value = double(first + x * step) / count;
            ExpectPixel(x, 0, value * 255, value * 255, value * 255, "pixel " + std::to_string(x));
        }
    }
}

// A long switch over sparse and negative values, written out of order, with
// labels sharing statements, the default in the middle and sharing a label,
// a case left early or by a return, a loop with its own continue in a case,
// and a last case without a break. Pixel x takes the value 37x - 300.
TEST_P(GfxUtilHlslValuesTest, ALongSwitchKeepsItsCasesShapes) {
    if (Stopped()) return;
    const auto label = [](int j) { return "    case " + std::to_string(37 * j - 300) + ":\n"; };
    // The red each pixel's case gives.
    std::map<int, double> red;
    std::string cases;
    for (int j = -40; j < 60; ++j) {
        if (j == 2) {
            cases += label(12) + "    default:\n        r = 0.9;\n        break;\n";
            red[12] = red[9] = red[10] = 0.9;
        }
        if (j == 4) {
            cases += label(4) + label(5) + "        r = 0.3;\n        break;\n";
            red[4] = red[5] = 0.3;
        } else if (j == 6) {
            cases += label(6) + "        r = 0.4;\n        if (uv.y > 2)\n            break;\n        r = 0.45;\n"
                                "        break;\n";
            red[6] = 0.45;
        } else if (j == 7) {
            cases += label(7) + "        return float4(0.5, 1, 0, 1);\n";
            red[7] = 0.5;
        } else if (j == 15) {
            cases += label(15) + "        for (int i = 0; i < 3; i++)\n        {\n            if (i == 1)\n"
                                 "                continue;\n            r += 0.1;\n        }\n        break;\n";
            red[15] = 0.2;
        } else if (j != 5 && j != 9 && j != 10 && j != 12 && j != 14) {
            cases += label(j) + "        r = " + std::to_string(j / 16.0) + ";\n        break;\n";
            red.emplace(j, j / 16.0);
        }
    }
    cases += label(14) + "        r = " + std::to_string(14 / 16.0) + ";\n";
    red[14] = 14 / 16.0;
    const std::string source = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float r = 0;\n"
                               "    switch ((int)(uv.x * 16 + 0.5) * 37 - 300)\n    {\n" +
                               cases + "    }\n    return float4(r, 0, 0, 1);\n}\n";
    Compiled ps;
    ASSERT_TRUE(UsePixel3(ps, source));
    Draw(ps);
    for (int x = 0; x < kSize; ++x) {
        SCOPED_TRACE(x);
        ASSERT_EQ(red.count(x), 1u);
        ExpectPixel(x, 0, red[x] * 255, x == 7 ? 255 : 0, 0, "pixel " + std::to_string(x));
    }
}

// Overloads that differ only by `half`, `float` and `double`: a call takes
// the one its arguments' types fit, as the D3D9 compiler picks it; a number
// without a suffix takes the type of what it meets, `float` widens `half`.
// Among overloads of several shapes the arguments' shapes pick; a vector
// given for a scalar parameter is cut to its first component.
TEST_P(GfxUtilHlslValuesTest, OverloadsByHalfFloatAndDoubleFollowTheArgumentsTypes) {
    if (Stopped()) return;
    const std::string functions =
        "float f(float x) { return 0.25; }\nfloat f(half x) { return 0.5; }\nfloat f(double x) { return 0.75; }\n"
        "float g(float x) { return 0.25; }\nfloat g(half x) { return 0.5; }\n"
        "float k(half a, float2 b) { return 0.125; }\nfloat k(float a, float2 b) { return 0.375; }\n"
        "float k(half2 a, half2 b) { return 0.625; }\nfloat k(float2 a, half2 b) { return 0.875; }\n"
        "float4 main(float4 c : COLOR0) : COLOR\n{\n"
        "    half2 h2x = c.xy;\n    half h = c.x;\n    float v = c.y + h2x[0];\n    double d = c.z;\n    half2 h2 = c.xy;\n    float2 v2 = c.zw;\n"
        "    return float4(";
    const struct {
        const char* call;
        double red;
    } kCalls[] = {
        {"f(h)", 0.5},         {"f(v)", 0.25},           {"f(d)", 0.75},          {"f(1.0h)", 0.5},
        {"f(0.5f)", 0.25},     {"f(1.0L)", 0.75},        {"f((half)v)", 0.5},     {"f(h * 2)", 0.5},
        {"f(-h / 3.0)", 0.5},  {"f(h + v)", 0.25},       {"f(h2.x)", 0.5},        {"f(half2(v, v).y)", 0.5},
        {"f((h))", 0.5},       {"k(h, v2)", 0.125},      {"k(v, v2)", 0.375},     {"k(h2, h2)", 0.625},
        {"k(v2, h2)", 0.875},  {"k(h2 * 2, h2)", 0.625},  {"f(h2)", 0.5},          {"f(v2.y)", 0.25},
        {"f(h2x[1])", 0.5},     {"g(v2)", 0.25},          {"g(h2.yx)", 0.5},       {"g(h2 * v)", 0.25},
    };
    for (const auto& c : kCalls) {
        SCOPED_TRACE(c.call);
        Compiled ps;
        if (!UsePixel(ps, functions + c.call + ", 0, 0, 1);\n}\n")) continue;
        Draw(ps);
        ExpectPixel(8, 8, c.red * 255, 0, 0, c.call);
    }
    // Declared before the calls, defined after them.
    Compiled ps;
    ASSERT_TRUE(UsePixel(ps, "float f(float x);\nfloat f(half x);\n"
                             "float4 main(float4 c : COLOR0) : COLOR\n{\n    half h = c.x;\n"
                             "    return float4(f(h), f(c.y), 0, 1);\n}\n"
                             "float f(float x) { return 0.25; }\nfloat f(half x) { return 0.5; }\n"));
    Draw(ps);
    ExpectPixel(8, 8, 0.5 * 255, 0.25 * 255, 0);
}

namespace {

// A constant's default value in the table, one float per component; empty
// when it has none (or the table lists no such constant).
std::vector<float> DefaultOf(const Compiled& p, const char* name) {
    const ShaderConstantRecord* k = Constant(p.container, name);
    std::vector<float> out;
    if (!k) return out;
    out.resize(k->defaultValue.size() / sizeof(float));
    if (!out.empty()) std::memcpy(out.data(), k->defaultValue.data(), out.size() * sizeof(float));
    return out;
}

} // namespace

// Integer operators in a uniform's initialiser, and in the static const it
// names, give the value the same expression has in code: the table's
// default holds it, and the program drawn with the table's defaults shows it.
TEST_P(GfxUtilHlslValuesTest, IntegerOperatorsInInitialisersGiveTheirValue) {
    if (Stopped()) return;
    const std::string modes = "static const int kFour = 1 << 2;\n"
                              "int ModeA = 1 << 2;\n"
                              "int ModeB = kFour;\n"
                              "int ModeC = 2 * 2;\n"
                              "float4 main() : COLOR { return float4(ModeA / 8.0, ModeB / 8.0, ModeC / 8.0, 1); }\n";
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        SCOPED_TRACE(profile);
        Compiled ps;
        if (std::string(profile) == "ps_2_0" ? !UsePixel(ps, modes) : !UsePixel3(ps, modes)) continue;
        for (const char* name : {"ModeA", "ModeB", "ModeC"}) EXPECT_EQ(DefaultOf(ps, name), (std::vector<float>{4})) << name;
        ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
        Draw(ps);
        ExpectPixel(8, 8, 128, 128, 128); // 0x808080
    }

    // Every operator, in a uniform's initialiser and in a static const's
    // that a uniform names, each worked out by hand.
    struct Case {
        const char* type;
        const char* expression;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {"int", "0x40 >> 3", {8}},
        {"int", "-16 >> 2", {-4}},
        {"int", "0xF0 & 0x3C", {48}},
        {"int", "0xF0 | 0x0F", {255}},
        {"int", "0xFF ^ 0x0F", {240}},
        {"int", "~5", {-6}},
        {"int", "-17 % 5", {-2}},
        {"int", "7 / 2", {3}},
        {"float", "7 / 2", {3}}, // an integer division, then the float
        {"float", "7 / 2.0", {3.5f}},
        {"int", "7 / 2.0", {3}}, // 3.5 into an int
        {"int", "(3 > 4) + (4 <= 4) * 2 + (2 == 2) * 4 + (2 != 2) * 8 + (1 < 2) * 16 + (2 >= 3) * 32", {22}},
        {"int", "(1 && 0) || !0", {1}},
        {"int", "2 > 1 ? 10 : 20", {10}},
        {"int", "(int)7.9 + (bool)5 + (float)1 / 2", {8}}, // 7 + 1 + 0.5, truncated
        {"int", "010 + 0x1Fu + 4L + 3u", {46}},
        {"float", "1.5f + 2.5h + 1e1", {14}},
        {"int", "1 << 2 | 1", {5}},
        {"int", "6 & 3 == 3", {0}},
        {"int", "(1 << 31) >> 30", {-2}},
        {"uint", "0xFFFFFFF0u >> 28", {15}},
        {"int2", "int2(1, 2) << 2", {4, 8}},
        {"bool", "2 & 1", {0}},
    };
    std::string source, sum;
    const auto read = [&](const std::string& name, std::size_t components) {
        // Each read, so the table lists it: a vector by its components.
        sum += components > 1 ? " + " + name + ".x + " + name + ".y" : " + (float)" + name;
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        const std::string n = std::to_string(k);
        source += std::string(c.type) + " U" + n + " = " + c.expression + ";\n";
        source += std::string("static const ") + c.type + " S" + n + " = " + c.expression + ";\n";
        source += std::string(c.type) + " V" + n + " = S" + n + ";\n";
        read("U" + n, c.expected.size());
        read("V" + n, c.expected.size());
    }
    // Static consts naming static consts.
    source += "static const int kA = 1 << 3;\nstatic const int kB = kA | 1;\nint Chain = kB * 2;\n"
              "static const float kH = 0.5;\nstatic const int kI = 5 % 3;\nfloat Mixed = kH * kI;\n"
              "static const int kS = 7;\nfloat Whole = kS / 2;\n"; // the static is an int
    read("Chain", 1);
    read("Mixed", 1);
    read("Whole", 1);
    source += "float4 main() : COLOR { return float4(frac((0" + sum + ") / 1024.0), 0, 0, 1); }\n";
    Compiled ps;
    if (UsePixel3(ps, source)) {
        for (std::size_t k = 0; k < std::size(cases); ++k) {
            SCOPED_TRACE(std::string(cases[k].type) + " = " + cases[k].expression);
            EXPECT_EQ(DefaultOf(ps, ("U" + std::to_string(k)).c_str()), cases[k].expected);
            EXPECT_EQ(DefaultOf(ps, ("V" + std::to_string(k)).c_str()), cases[k].expected);
        }
        EXPECT_EQ(DefaultOf(ps, "Chain"), (std::vector<float>{18}));
        EXPECT_EQ(DefaultOf(ps, "Mixed"), (std::vector<float>{1}));
        EXPECT_EQ(DefaultOf(ps, "Whole"), (std::vector<float>{3}));
    }

    // A few drawn with the table's defaults: (0xF0 & 0x3C) >> 2 is 12, a
    // static's `kLow | kHigh` 6, `~0xF0 & 0xFF` 15.
    Compiled drawn;
    const std::string three = "static const int kLow = 1 << 1;\nstatic const int kHigh = 1 << 2;\n"
                              "int Red = (0xF0 & 0x3C) >> 2;\nint Green = kLow | kHigh;\nint Blue = ~0xF0 & 0xFF;\n"
                              "float4 main() : COLOR { return float4(Red / 16.0, Green / 8.0, Blue / 16.0, 1); }\n";
    if (UsePixel(drawn, three)) {
        ASSERT_EQ(drawn.table->SetDefaults(device), D3D_OK);
        Draw(drawn);
        ExpectPixel(8, 8, 0.75 * 255, 0.75 * 255, 15.0 / 16 * 255);
    }
}

// Annotations whose values hold shifts and comparisons end where their
// block does: the constant after them keeps its default, the program reads it.
TEST_P(GfxUtilHlslValuesTest, AnnotationsWithShiftsEndWhereTheirBlockDoes) {
    if (Stopped()) return;
    const std::string source =
        "static const int kMask = 0xF0;\n"
        "float4 Tint < int bits = kMask >> 4; int more = 1 << 3; bool big = 3 > 2; string name = \"t\"; >"
        " = {0.25, 0.5, 0.75, 1};\n"
        "float4 main() : COLOR { return Tint; }\n"
        "technique T < int mask = 1 << 2 | 1; > { pass P < int order = 16 >> 2; > { PixelShader = compile ps_2_0 main(); } }\n";
    Compiled ps;
    if (!UsePixel(ps, source)) return;
    EXPECT_EQ(DefaultOf(ps, "Tint"), (std::vector<float>{0.25f, 0.5f, 0.75f, 1}));
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    Draw(ps);
    ExpectPixel(8, 8, 0.25 * 255, 0.5 * 255, 0.75 * 255);
}

// A uniform's initialiser the language refuses, or one that is no constant,
// is refused at its line with the reason; nothing is stored in its place.
TEST(GfxUtilHlslTest, InitialisersThatAreNoConstantAreRefusedAtTheirLine) {
    struct Case {
        const char* source; // line 2 holds the fault
        const char* message;
    };
    const Case cases[] = {
        {"float4 c;\nint R = 1.5 << 2;\n", "'<<' takes integer operands"},
        {"float4 c;\nint R = 2.0 | 1;\n", "'|' takes integer operands"},
        {"float4 c;\nint R = ~0.5;\n", "'~' takes an integer operand"},
        {"float4 c;\nint R = 1 / 0;\n", "division by zero"},
        {"float4 c;\nint R = 5 % (2 - 2);\n", "division by zero"},
        {"float4 c;\nint R = 1 + c.x;\n", "an initial value must be a literal expression"},
        // What the fold does not know is refused, not stored as the literals it holds.
        {"float4 c;\nfloat R = determinant(float2x2(1, 2, 3, 4));\n", "'determinant' does not fold to a constant"},
        {"float4 c;\nint R = 09;\n", "bad number '09'"},
        {"static const float kF = 0.5;\nint R = kF << 1;\nfloat4 c;\n", "'<<' takes integer operands"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled ps;
        Compile(ps, std::string(c.source) + "float4 main() : COLOR { return c * R; }\n", "ps_2_0");
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_NE(ps.errors.find("(2,"), std::string::npos) << ps.errors;
        EXPECT_NE(ps.errors.find(c.message), std::string::npos) << ps.errors;
    }
}

// A program's header may include a header by a path from the program
// file's folder: compiled from a file, from another working folder, each
// constant the headers declare is in the table, the nearer of two
// same-named headers taken.
TEST(GfxUtilHlslTest, NestedIncludesAreFoundBesideTheFirstFile) {
    gfx::test::TempFolder t("gfxutil-hlsl-include");
    ASSERT_FALSE(t.Path().empty());
    for (const char* folder : {"src/inc", "src/inc/inc", "elsewhere"}) std::filesystem::create_directories(t.At(folder));
    t.Write("src/main.hlsl", "#include \"inc/outer.h\"\n"
                             "float4 main() : COLOR { return Inner + Outer + Picked; }\n");
    t.Write("src/inc/outer.h", "#include <inc/inner.h>\n#include \"inc/pick.h\"\nfloat4 Outer;\n");
    t.Write("src/inc/inner.h", "float4 Inner;\n");
    t.Write("src/inc/pick.h", "float4 Wrong;\n#define Picked Wrong\n");
    t.Write("src/inc/inc/pick.h", "float4 Picked;\n");
    gfx::test::WorkingFolder moved(t.At("elsewhere"));
    ASSERT_TRUE(moved.Moved());
    for (const std::string& path : {t.At("src/main.hlsl"), std::string("../src/main.hlsl")}) {
        SCOPED_TRACE(path);
        Compiled ps;
        gfx::test::CompileFile(ps, path, "ps_2_0");
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        for (const char* name : {"Inner", "Outer", "Picked"}) EXPECT_NE(Constant(ps.container, name), nullptr) << name;
        EXPECT_EQ(Constant(ps.container, "Wrong"), nullptr);
    }
}

// An array of constants handed to a function is read from its registers in
// place, as the D3D9 compiler reads it, not copied into a local array first
// (a copy of a kernel of 32 taps cost the GL driver seconds per program): by
// a loop's counter, a component picked at run time, as scalars, three
// components, and out of a struct. A function that writes its copy keeps
// it, and the constants stay as set. Drawn at 2.0 and 3.0.
TEST_P(GfxUtilHlslValuesTest, AnArrayOfConstantsHandedToAFunctionIsReadInPlace) {
    if (Stopped()) return;
    // K[i] = ((i+1)/64, (i+1)/128, (8-i)/64, 1/32); W[i] = (i+1)/64.
    D3DXVECTOR4 k[8];
    float w[8];
    for (int i = 0; i < 8; ++i) {
        k[i] = {float(i + 1) / 64.f, float(i + 1) / 128.f, float(8 - i) / 64.f, 1.f / 32.f};
        w[i] = float(i + 1) / 64.f;
    }
    const std::string globals = "float4 K[8];\nfloat W[8];\nfloat3 T[8];\n"
                                "struct Filter { float4 taps[4]; float scale; };\nFilter F;\n";
    struct Case {
        const char* what;
        const char* source;
        double want;
        bool copied; // the function writes its copy, which stays
    };
    double sumX = 0, picked = 0, sumW = 0, sumZ = 0, taps = 0, sumYBut2 = 0;
    for (int i = 0; i < 8; ++i) {
        sumX += k[i].x;
        picked += (&k[i].x)[i % 4];
        sumW += w[i];
        sumZ += k[i].z;
        if (i < 4) taps += k[i].y * 0.5;
        if (i != 2) sumYBut2 += k[i].y;
    }
    const Case cases[] = {
        {"a loop's counter",
         "float sum(float4 k[8]) { float s = 0; for (int i = 0; i < 8; i++) s += k[i].x; return s; }\n"
         "float4 main() : COLOR { return float4(sum(K), 0, 0, 1); }\n",
         sumX, false},
        {"a component picked at run time",
         "float sum(float4 k[8]) { float s = 0; for (int i = 0; i < 8; i++) s += k[i][i % 4]; return s; }\n"
         "float4 main() : COLOR { return float4(sum(K), 0, 0, 1); }\n",
         picked, false},
        {"scalars",
         "float sum(float v[8]) { float s = 0; for (int i = 0; i < 8; i++) s += v[i]; return s; }\n"
         "float4 main() : COLOR { return float4(sum(W), 0, 0, 1); }\n",
         sumW, false},
        {"three components",
         "float sum(float3 t[8]) { float s = 0; for (int i = 0; i < 8; i++) s += t[i].z; return s; }\n"
         "float4 main() : COLOR { return float4(sum(T), 0, 0, 1); }\n",
         sumZ, false},
        {"a struct's array",
         "float sum(float4 t[4], float scale) { float s = 0; for (int i = 0; i < 4; i++) s += t[i].y * scale; return s; }\n"
         "float4 main() : COLOR { return float4(sum(F.taps, F.scale), 0, 0, 1); }\n",
         taps, false},
        {"a copy the function writes",
         "float sum(float4 k[8]) { k[2] = 0; float s = 0; for (int i = 0; i < 8; i++) s += k[i].y; return s; }\n"
         "float4 main() : COLOR { return float4(sum(K), K[2].y * 16, 0, 1); }\n",
         sumYBut2, true},
    };
    const std::regex localArray(R"((float|vec[234]) _\w+\[\d+\])");
    for (const bool three : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(three ? "ps_3_0: " : "ps_2_0: ") + c.what);
            Compiled ps;
            const std::string source = globals + c.source;
            ASSERT_TRUE(three ? UsePixel3(ps, source) : UsePixel(ps, source));
            EXPECT_EQ(std::regex_search(ps.container.glsl, localArray), c.copied) << ps.container.glsl;
            if (Constant(ps.container, "K")) {
                ASSERT_EQ(ps.table->SetVectorArray(device, "K", k, 8), D3D_OK);
            }
            if (Constant(ps.container, "W")) {
                ASSERT_EQ(ps.table->SetFloatArray(device, "W", w, 8), D3D_OK);
            }
            if (Constant(ps.container, "T")) {
                std::vector<float> t;
                for (int i = 0; i < 8; ++i) t.insert(t.end(), {k[i].x, k[i].y, k[i].z});
                ASSERT_EQ(ps.table->SetFloatArray(device, "T", t.data(), 24), D3D_OK);
            }
            if (Constant(ps.container, "F")) {
                std::vector<float> f;
                for (int i = 0; i < 4; ++i) f.insert(f.end(), {k[i].x, k[i].y, k[i].z, k[i].w});
                f.push_back(0.5f);
                ASSERT_EQ(ps.table->SetFloatArray(device, "F", f.data(), 17), D3D_OK);
            }
            Draw(ps);
            ExpectPixel(8, 8, c.want * 255, c.copied ? k[2].y * 16 * 255 : 0, 0);
        }
    }
}
