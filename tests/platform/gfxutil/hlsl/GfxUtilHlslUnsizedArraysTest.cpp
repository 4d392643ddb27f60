// Constants declared `[]` in a program compiled alone, sized by their
// initialisers: scalars, vectors, matrices, lists flat and nested, arrays of
// arrays, with registers, annotations and storage words; each table entry
// equal to the one the same array written with its size gets, drawn from
// the table's defaults and read back on gl. And the forms refused: no
// initialiser, no list, a list of no whole elements.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

using gfx::test::kVertex3;

// `text` with its first "[]" given the size `n`.
std::string Sized(const std::string& text, std::size_t n) {
    std::string out = text;
    const std::size_t at = out.find("[]");
    if (at != std::string::npos) out.insert(at + 1, std::to_string(n));
    return out;
}

class GfxUtilHlslUnsizedArraysTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles at `profile`, sets the program behind a pass-through vertex
    // program of its model with the table's defaults; false (with a
    // failure) where any step fails.
    bool Use(Compiled& ps, const std::string& source, const char* profile) {
        Compile(ps, source, profile);
        EXPECT_EQ(ps.result, D3D_OK) << profile << ": " << ps.errors << "\n" << source;
        if (ps.result != D3D_OK || !ps.table) return false;
        IDirect3DVertexShader9* vs = Vertex(std::string(profile) == "ps_3_0" ? kVertex3 : gfxtest::kPassVertex);
        IDirect3DPixelShader9* p = MakePixel(ps, source);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        EXPECT_EQ(ps.table->SetDefaults(device), D3D_OK);
        return true;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslUnsizedArraysTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace

// Each form: the table's entry has the initialiser's count of elements and
// is, record for record (registers, class, shape, default bytes), the entry
// of the same array written with that count; the defaults set from the
// table draw the values worked out by hand.
TEST_P(GfxUtilHlslUnsizedArraysTest, AnArrayOfNoSizeTakesTheInitialisersCount) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        const char* name;
        std::size_t size;     // written into the first brackets for the sized twin
        std::uint16_t elements; // in the table
        std::uint16_t registerIndex, registerCount;
        double r, g, b;
    };
    const Case cases[] = {
        {"float k[] = {0.25, 0.5, 0.75};\n"
         "float4 main() : COLOR { return float4(k[0], k[1], k[2], 1); }\n",
         "k", 3, 3, 0, 3, 64, 128, 191},
        {"float4 w[] = { float4(0.25, 0, 0, 1), {0, 0.5, 0, 1} };\n"
         "float4 main() : COLOR { return w[0] + w[1]; }\n",
         "w", 2, 2, 0, 2, 64, 128, 0},
        // A flat list of a vector array's components.
        {"uniform float2 p[] = { 0.25, 0.5, 0.75, 1 };\n"
         "float4 main() : COLOR { return float4(p[0], p[1].x, 1); }\n",
         "p", 2, 2, 0, 2, 64, 128, 191},
        // Nested braces are read flat: {{0.5}, {0.25, 1}} is one float3.
        {"shared float3 n[] = { {0.25, 0.5, 0.75}, {{0.5}, {0.25, 1}} };\n"
         "float4 main() : COLOR { return float4(n[1].y, n[1].x, n[0].z, 1); }\n",
         "n", 2, 2, 0, 2, 64, 128, 191},
        // Matrices: a register per column, element after element.
        {"float2x2 m[] = { 1, 0, 0, 1, {0.25, 0.5}, {0.75, 1} };\n"
         "float4 main() : COLOR { return float4(m[1]._11, m[1]._12, m[1]._21, m[0]._22); }\n",
         "m", 2, 2, 0, 4, 64, 128, 191},
        {"row_major float3x2 rm[] = { float3x2(0.25, 0.5, 0.75, 1, 0, 0) };\n"
         "float4 main() : COLOR { return float4(rm[0]._11, rm[0]._12, rm[0]._21, 1); }\n",
         "rm", 1, 1, 0, 2, 64, 128, 191}, // the registers up to the last one read
        // An array of arrays: the first size from the list, laid out as one
        // array of all its elements.
        {"float g[][2] = { 0.25, 0.5, 0.75, 1, 0, 0 };\n"
         "float4 main() : COLOR { return float4(g[0][0], g[0][1], g[1][0], g[1][1]); }\n",
         "g", 3, 6, 0, 4, 64, 128, 191},
        // A typedef's type, and a typedef of an array type: its elements
        // are the inner size.
        {"typedef float2 pair;\npair q[] = { 0.25, 0.5, 0.75, 1 };\n"
         "float4 main() : COLOR { return float4(q[0], q[1].x, 1); }\n",
         "q", 2, 2, 0, 2, 64, 128, 191},
        {"typedef float two[2];\ntwo h[] = { {0.25, 0.5}, {0.75, 1} };\n"
         "float4 main() : COLOR { return float4(h[0][0], h[0][1], h[1][0], 1); }\n",
         "h", 2, 4, 0, 3, 64, 128, 191},
        {"int counts[] = { 1, 2, 3 };\n"
         "float4 main() : COLOR { return float4(counts[0], counts[1], counts[2], 4) * 0.25; }\n",
         "counts", 3, 3, 0, 3, 64, 128, 191},
        // Every part of the declarator between the brackets and the list.
        {"float4 t[] : TINTS : register(c4) < string UIName = \"tints\"; > = { {0.25, 0.5, 0.75, 1} };\n"
         "float4 main() : COLOR { return t[0]; }\n",
         "t", 1, 1, 4, 1, 64, 128, 191},
        {"extern uniform float s[] : register(c2) = { 0.75, 0.25 };\n"
         "float4 main() : COLOR { return float4(s[1], s[1] * 2, s[0], 1); }\n",
         "s", 2, 2, 2, 2, 64, 128, 191},
    };
    for (const char* profile : {"ps_2_0", "ps_3_0"})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(profile) + "\n" + c.source);
            Compiled ps, twin;
            if (!Use(ps, c.source, profile)) continue;
            const ShaderConstantRecord* k = Constant(ps.container, c.name);
            ASSERT_NE(k, nullptr);
            EXPECT_EQ(k->elements, c.elements);
            EXPECT_EQ(k->registerSet, D3DXRS_FLOAT4);
            EXPECT_EQ(k->registerIndex, c.registerIndex);
            EXPECT_EQ(k->registerCount, c.registerCount);
            Compile(twin, Sized(c.source, c.size), profile);
            ASSERT_EQ(twin.result, D3D_OK) << twin.errors;
            const ShaderConstantRecord* sized = Constant(twin.container, c.name);
            ASSERT_NE(sized, nullptr);
            EXPECT_EQ(k->cls, sized->cls);
            EXPECT_EQ(k->rows, sized->rows);
            EXPECT_EQ(k->columns, sized->columns);
            EXPECT_EQ(k->elements, sized->elements);
            EXPECT_EQ(k->registerIndex, sized->registerIndex);
            EXPECT_EQ(k->registerCount, sized->registerCount);
            EXPECT_EQ(k->defaultValue, sized->defaultValue);
            EXPECT_FALSE(k->defaultValue.empty());
            Clear();
            DrawQuad();
            ExpectPixel(8, 8, c.r, c.g, c.b, "the defaults");
        }
}

// Several declarators of one statement each sized by its own list, beside a
// `static const` array of no size, which the program keeps to itself: the
// table is the one of the same arrays written with their sizes.
TEST_P(GfxUtilHlslUnsizedArraysTest, EachDeclaratorTakesItsOwnCount) {
    if (Stopped()) return;
    const std::string source = "static const float weights[] = { 0.5, 0.25 };\n"
                               "float a[] = { 0.25 }, b[] = { 0.5, 0.75 };\n"
                               "float4 main() : COLOR { return float4(a[0], b[0], b[1], 1) * (weights[0] + weights[1] * 2); }\n";
    const std::string sized = "static const float weights[] = { 0.5, 0.25 };\n"
                              "float a[1] = { 0.25 }, b[2] = { 0.5, 0.75 };\n"
                              "float4 main() : COLOR { return float4(a[0], b[0], b[1], 1) * (weights[0] + weights[1] * 2); }\n";
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        SCOPED_TRACE(profile);
        Compiled ps, twin;
        if (!Use(ps, source, profile)) continue;
        Compile(twin, sized, profile);
        ASSERT_EQ(twin.result, D3D_OK) << twin.errors;
        EXPECT_EQ(Constant(ps.container, "weights"), nullptr);
        ASSERT_EQ(ps.container.constants.size(), twin.container.constants.size());
        for (std::size_t i = 0; i < ps.container.constants.size(); ++i) {
            const ShaderConstantRecord& k = ps.container.constants[i];
            const ShaderConstantRecord& w = twin.container.constants[i];
            EXPECT_EQ(k.name, w.name);
            EXPECT_EQ(k.elements, w.elements) << k.name;
            EXPECT_EQ(k.registerIndex, w.registerIndex) << k.name;
            EXPECT_EQ(k.registerCount, w.registerCount) << k.name;
            EXPECT_EQ(k.defaultValue, w.defaultValue) << k.name;
        }
        const ShaderConstantRecord* a = Constant(ps.container, "a");
        const ShaderConstantRecord* b = Constant(ps.container, "b");
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->elements, 1u);
        EXPECT_EQ(a->registerCount, 1u);
        EXPECT_EQ(b->elements, 2u);
        EXPECT_EQ(b->registerCount, 2u);
        // A value set through the table over the default.
        const float set[2] = {0.25f, 0.125f};
        ASSERT_EQ(ps.table->SetFloatArray(device, "b", set, 2), D3D_OK);
        Clear();
        DrawQuad();
        ExpectPixel(8, 8, 64, 64, 32, "a's default, b as set");
    }
}

// What cannot give an array its size is refused at its line with the reason.
TEST_P(GfxUtilHlslUnsizedArraysTest, WhatGivesNoSizeIsRefused) {
    if (Stopped()) return;
    struct Case {
        const char* declaration;
        const char* message;
    };
    const Case cases[] = {
        {"float k[];", "the array 'k' has neither a size nor an initialiser"},
        {"uniform float4 k[] : register(c2);", "the array 'k' has neither a size nor an initialiser"},
        {"float4 k[] = float4(1, 2, 3, 4);", "global 'k': an array of no size takes it from an initialiser list"},
        {"float2 k[] = { 1, 2, 3 };", "3 values do not fill whole elements of 'float2'"},
        {"float k[][2] = { 1, 2, 3 };", "global 'k': 3 initial values, not whole elements of 2"},
        {"float k[] = { };", "global 'k': 0 initial values, not whole elements of 1"},
        {"float k[][] = { 1, 2 };", "only the first size of the array 'k' may be left to its initialiser"},
        {"float4 v;\nfloat k[] = { v.x };", "global 'k': initial value must be a constant expression"},
    };
    for (const Case& c : cases) {
        const std::string source =
            std::string(c.declaration) + "\nfloat4 main() : COLOR { return float4(k[0], 0, 0, 1); }\n";
        SCOPED_TRACE(source);
        Compiled ps;
        Compile(ps, source, "ps_2_0");
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_NE(ps.errors.find(c.message), std::string::npos) << ps.errors;
        // At the declaration's line.
        const std::string line = std::string(c.declaration).find('\n') == std::string::npos ? "(1," : "(2,";
        EXPECT_EQ(ps.errors.find("memory" + line), 0u) << ps.errors;
    }
}
