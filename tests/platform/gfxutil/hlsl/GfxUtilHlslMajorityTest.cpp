// Where constants go and how they are read: the majority of matrices (by a
// word, by a typedef that keeps the word or the pragma in force where it
// was declared, by the compile's flags), the places of the float constants
// and arrays of arrays; each compiled, tabled, and where a wrong place only
// shows as a wrong value, drawn and read back.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compiled;
using gfx::test::Constant;

namespace {

// Compiles with `flags` as D3DXCompileShader takes them.
void CompileWith(Compiled& out, const std::string& source, const char* profile, std::uint32_t flags) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, flags, &code, &errors,
                                   &out.table, nullptr);
    if (errors) {
        out.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    if (code) {
        const auto* bytes = static_cast<const std::uint8_t*>(code->GetBufferPointer());
        out.code.assign(bytes, bytes + code->GetBufferSize());
        code->Release();
        EXPECT_TRUE(ReadShaderContainer(out.code.data(), out.code.size(), out.container));
    }
}

class GfxUtilHlslMajorityTest : public gfx::test::HlslDrawTest {
protected:
    // Compiles, binds behind the pass-through vertex program, sets c0..c3 to
    // (0.1, 0.2, 0, 0), (0.3, 0.4, 0, 0), (0.5, 0.6, 0, 0), (0.7, 0.8, 0, 0)
    // and draws; false (with a failure) when any step fails.
    bool DrawWith(Compiled& ps, const std::string& source, std::uint32_t flags) {
        CompileWith(ps, source, "ps_2_0", flags);
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors;
        if (ps.result != D3D_OK) return false;
        IDirect3DVertexShader9* vs = Vertex(gfxtest::kPassVertex);
        IDirect3DPixelShader9* p = MakePixel(ps);
        if (!vs || !p) return false;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        const float c[16] = {0.1f, 0.2f, 0, 0, 0.3f, 0.4f, 0, 0, 0.5f, 0.6f, 0, 0, 0.7f, 0.8f, 0, 0};
        EXPECT_EQ(device->SetPixelShaderConstantF(0, c, 4), D3D_OK);
        Clear();
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
        EXPECT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK) << ps.container.glsl;
        return true;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslMajorityTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

// `return float4(m[0], m[1])` of a float2x2 in c0-c1: rows read the
// registers' first two components, columns their first and second.
constexpr double kRows[3] = {0.1 * 255, 0.2 * 255, 0.3 * 255};
constexpr double kColumns[3] = {0.1 * 255, 0.3 * 255, 0.2 * 255};

} // namespace

TEST_P(GfxUtilHlslMajorityTest, TypedefsKeepTheirMajority) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        bool rows;
    };
    const std::string body = "\nfloat4 main() : COLOR0 { return float4(m[0], m[1]); }";
    const Case cases[] = {
        {"typedef row_major float2x2 rm_t;\nuniform rm_t m;", true},
        {"typedef float2x2 mat_t;\ntypedef row_major mat_t rm_t;\nuniform rm_t m;", true},
        {"typedef row_major float2x2 rm_t;\n#pragma pack_matrix(column_major)\nuniform rm_t m;", true},
        {"typedef column_major float2x2 cm_t;\n#pragma pack_matrix(row_major)\nuniform cm_t m;", false},
        // The pragma in force where the typedef stands, not where it is used.
        {"#pragma pack_matrix(row_major)\ntypedef float2x2 mat_t;\n#pragma pack_matrix(column_major)\nuniform mat_t m;",
         true},
        {"#pragma pack_matrix(column_major)\ntypedef float2x2 mat_t;\n#pragma pack_matrix(row_major)\nuniform mat_t m;",
         false},
        // Declared before any pragma, it has none of its own.
        {"typedef float2x2 mat_t;\n#pragma pack_matrix(row_major)\nuniform mat_t m;", true},
        {"typedef float2x2 mat_t;\nuniform row_major mat_t m;", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled ps;
        if (!DrawWith(ps, c.source + body, 0)) continue;
        const ShaderConstantRecord* m = Constant(ps.container, "m");
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->cls, c.rows ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS);
        const double* want = c.rows ? kRows : kColumns;
        ExpectPixel(8, 8, want[0], want[1], want[2]);
    }
}

TEST_P(GfxUtilHlslMajorityTest, CompileFlagsSetTheMajorityPragmasChange) {
    if (Stopped()) return;
    struct Case {
        const char* source;
        std::uint32_t flags;
        bool rows;
    };
    const std::string body = "\nfloat4 main() : COLOR0 { return float4(m[0], m[1]); }";
    const Case cases[] = {
        {"uniform float2x2 m;", D3DXSHADER_PACKMATRIX_ROWMAJOR, true},
        {"uniform float2x2 m;", D3DXSHADER_PACKMATRIX_COLUMNMAJOR, false},
        // Both flags: row-major, as the D3D9 compiler packs them.
        {"uniform float2x2 m;", D3DXSHADER_PACKMATRIX_ROWMAJOR | D3DXSHADER_PACKMATRIX_COLUMNMAJOR, true},
        {"#pragma pack_matrix(column_major)\nuniform float2x2 m;", D3DXSHADER_PACKMATRIX_ROWMAJOR, false},
        {"#pragma pack_matrix(row_major)\nuniform float2x2 m;", D3DXSHADER_PACKMATRIX_COLUMNMAJOR, true},
        {"uniform column_major float2x2 m;", D3DXSHADER_PACKMATRIX_ROWMAJOR, false},
        {"struct S { float2x2 m; };\nuniform S s;\nstatic float2x2 m = s.m;", D3DXSHADER_PACKMATRIX_ROWMAJOR, true},
        // A typedef made under the flag keeps it.
        {"typedef float2x2 mat_t;\n#pragma pack_matrix(column_major)\nuniform mat_t m;",
         D3DXSHADER_PACKMATRIX_ROWMAJOR, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " flags " + std::to_string(c.flags));
        Compiled ps;
        if (!DrawWith(ps, c.source + body, c.flags)) continue;
        const double* want = c.rows ? kRows : kColumns;
        ExpectPixel(8, 8, want[0], want[1], want[2]);
    }
}

// An array typedef: its elements keep the majority it was made with, and a
// constant of it is that many elements.
TEST_P(GfxUtilHlslMajorityTest, ArrayTypedefsAreLaidOutAsArrays) {
    if (Stopped()) return;
    Compiled ps;
    if (!DrawWith(ps,
                  "#pragma pack_matrix(row_major)\ntypedef float2x2 pair_t[2];\n#pragma pack_matrix(column_major)\n"
                  "uniform pair_t a;\nfloat4 main() : COLOR0 { return float4(a[1][0], a[0][1]); }",
                  0))
        return;
    const ShaderConstantRecord* a = Constant(ps.container, "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->elements, 2u);
    EXPECT_EQ(a->cls, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(a->registerCount, 3u); // up to a[1]'s first row, the last read
    // a[1] is c2-c3 by rows: a[1][0] = (0.5, 0.6), a[0][1] = c1.xy = (0.3, 0.4).
    ExpectPixel(8, 8, 0.5 * 255, 0.6 * 255, 0.3 * 255);

    // Made before any pragma, its elements are column-major for good.
    Compiled second;
    if (!DrawWith(second,
                  "typedef float2x2 pair_t[2];\n#pragma pack_matrix(row_major)\ntypedef pair_t pair2_t;\n"
                  "uniform pair2_t a;\nfloat4 main() : COLOR0 { return float4(a[0][0], a[1][1]); }",
                  0))
        return;
    // a[0][0] = (c0.x, c1.x), a[1][1] = (c2.y, c3.y).
    ExpectPixel(8, 8, 0.1 * 255, 0.3 * 255, 0.6 * 255);
}

TEST(GfxUtilHlslMajority, AMajorityATypedefFixedIsNotOverruled) {
    const char* sources[] = {
        "#pragma pack_matrix(row_major)\ntypedef float2x2 mat_t;\nuniform column_major mat_t m;\n"
        "float4 main() : COLOR0 { return m[0].xyxy; }",
        "typedef row_major float2x2 mat_t;\n\nuniform column_major mat_t m;\n"
        "float4 main() : COLOR0 { return m[0].xyxy; }",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        Compiled ps;
        CompileWith(ps, source, "ps_2_0", 0);
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_NE(ps.errors.find("memory(3,"), std::string::npos) << ps.errors;
        EXPECT_NE(ps.errors.find("mat_t"), std::string::npos) << ps.errors;
    }
}

// Where the float constants go: explicit registers keep their whole
// declared range, the rest go largest first (by what the program reads),
// declaration order among equals, each in the lowest free run.
TEST(GfxUtilHlslRegisterAllocation, TheTableHoldsTheNativePlaces) {
    struct Place {
        const char* name;
        std::uint16_t index, count;
    };
    struct Case {
        const char* source;
        std::vector<Place> places;
    };
    const Case cases[] = {
        {"float4 a[4] : register(c1);\nfloat4 b[4];\nfloat4 main() : COLOR0 { return a[0] + b[1]; }",
         {{"a", 1, 1}, {"b", 5, 2}}},
        {"float4x4 unread : register(c1);\nfloat b[4];\nfloat4 main() : COLOR0 { return b[1]; }", {{"b", 5, 2}}},
        {"float4 a : register(c);\nfloat4 main() : COLOR0 { return a; }", {{"a", 0, 1}}},
        {"float4 a : register(c[2]);\nfloat4 main() : COLOR0 { return a; }", {{"a", 2, 1}}},
        {"float4 a : register(c1[2 * 3 - 1]);\nfloat4 main() : COLOR0 { return a; }", {{"a", 6, 1}}},
        {"float4 a : register(c0[0.7 + 0.7]);\nfloat4 main() : COLOR0 { return a; }", {{"a", 1, 1}}},
        {"float4 a : register(c3[-2]);\nfloat4 main() : COLOR0 { return a; }", {{"a", 1, 1}}},
        {"float4 a : register(c0[true + true]);\nfloat4 main() : COLOR0 { return a; }", {{"a", 2, 1}}},
        // Larger first; equals in declaration order, not in order of use.
        {"float4x3 small;\nfloat4x3 big;\nfloat4 main() : COLOR0 { return float4(small[0].x, big[0].z, 0, 0); }",
         {{"big", 0, 3}, {"small", 3, 1}}},
        {"float4x3 zz;\nfloat4x3 aa;\nfloat4 main() : COLOR0 { return float4(aa[0].z, zz[0].z, 0, 0); }",
         {{"zz", 0, 3}, {"aa", 3, 3}}},
        // A gap an explicit register leaves is filled by what fits in it.
        {"float gap[2] : register(c2);\nfloat three[3];\nfloat two[2];\n"
         "float4 main() : COLOR0 { return float4(three[2], two[1], 0, 0); }",
         {{"three", 4, 3}, {"two", 0, 2}}},
        // A struct read in part, and an array in one read at run time.
        {"struct S { float4 a; float4 b; float4 c; };\nS s;\nfloat4 t;\nfloat4 main() : COLOR0 { return s.b + t; }",
         {{"s", 0, 2}, {"t", 2, 1}}},
        {"float i;\nstruct { float d[3]; float after; } a;\nfloat4 main() : COLOR0 { return a.d[i]; }",
         {{"a", 0, 3}, {"i", 3, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled ps;
        CompileWith(ps, c.source, "ps_2_0", 0);
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        for (const Place& p : c.places) {
            const ShaderConstantRecord* k = Constant(ps.container, p.name);
            ASSERT_NE(k, nullptr) << p.name;
            EXPECT_EQ(k->registerIndex, p.index) << p.name;
            EXPECT_EQ(k->registerCount, p.count) << p.name;
        }
    }
}

TEST(GfxUtilHlslRegisterAllocation, UnreadableRegistersAreRefusedAtTheirLine) {
    const char* sources[] = {
        "float4 x;\nfloat4 a : register(banana);\nfloat4 main() : COLOR0 { return a; }",
        "float4 x;\nfloat4 a : register(c0[1 +]);\nfloat4 main() : COLOR0 { return a; }",
        "float4 x;\nfloat4 a : register(c1[-2]);\nfloat4 main() : COLOR0 { return a; }",
        "float4 x;\nbool a : register(b1x);\nfloat4 main() : COLOR0 { return a; }",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        Compiled ps;
        CompileWith(ps, source, "ps_3_0", 0);
        EXPECT_NE(ps.result, D3D_OK);
        EXPECT_NE(ps.errors.find("memory(2,"), std::string::npos) << ps.errors;
    }
}

// An array of arrays: one register per scalar element, the rows one after
// another, tabled as one array of all of them.
TEST_P(GfxUtilHlslMajorityTest, ArraysOfArraysAreLaidOutRowAfterRow) {
    if (Stopped()) return;
    Compiled ps;
    // c0..c3 hold 0.1, 0.3, 0.5, 0.7 in x: g[1][0] is c2, g[0][1] c1, g[0][0] c0.
    if (!DrawWith(ps, "uniform float g[2][2];\nfloat4 main() : COLOR0 { return float4(g[1][0], g[0][1], g[0][0], 1); }",
                  0))
        return;
    const ShaderConstantRecord* g = Constant(ps.container, "g");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->elements, 4u);
    EXPECT_EQ(g->registerIndex, 0u);
    EXPECT_EQ(g->registerCount, 3u);
    ExpectPixel(8, 8, 0.5 * 255, 0.3 * 255, 0.1 * 255);
}

// A static global initialised by a call to a function of the source holds
// the call's value in the entry point, constants the function reads included.
TEST_P(GfxUtilHlslMajorityTest, StaticsInitialisedByCallsHoldTheirValues) {
    if (Stopped()) return;
    Compiled ps;
    // Tint (c0) is (0.1, 0.2, 0, 0).
    if (!DrawWith(ps,
                  "float4 Tint;\nfloat Twice(float x) { return 2 * x; }\nfloat4 Half() { return Tint * 0.5; }\n"
                  "static float a = Twice(0.25) + 0.1;\nstatic const float b =\n    Twice(0.1);\nstatic float4 h = Half();\n"
                  "float4 main() : COLOR0 { return float4(a, b, h.y, 1); }",
                  0))
        return;
    ExpectPixel(8, 8, 0.6 * 255, 0.2 * 255, 0.1 * 255);
}

// An entry point's uniform parameter the body changes: the body works on a
// copy, the table still lists the constant.
TEST_P(GfxUtilHlslMajorityTest, UniformParametersTheBodyChangesAreCopies) {
    if (Stopped()) return;
    Compiled ps;
    // t is c0 (0.1, 0.2, 0, 0), k c1.x (0.3).
    if (!DrawWith(ps,
                  "float4 main(uniform float4 t, uniform float k) : COLOR0 {\n"
                  "    t.x += 0.2;\n    t *= k;\n    t.z++;\n    return t * 2 - float4(0, 0, 2, 0); }",
                  0))
        return;
    const ShaderConstantRecord* t = Constant(ps.container, "$t");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->registerIndex, 0u);
    ExpectPixel(8, 8, 0.18 * 255, 0.12 * 255, 0);
}

// A pragma among a struct's members reaches the members after it, and the
// globals after the struct.
TEST_P(GfxUtilHlslMajorityTest, PragmasInsideStructsReachTheMembersAfterThem) {
    if (Stopped()) return;
    Compiled ps;
    // s.a is c0-c1, s.b c2-c3: (0.5, 0.6), (0.7, 0.8) as rows.
    if (!DrawWith(ps,
                  "struct S {\n    float2x2 a;\n#pragma pack_matrix(row_major)\n    float2x2 b;\n};\nuniform S s;\n"
                  "float4 main() : COLOR0 { return float4(s.a[0].y, s.b[0].y, s.b[1].x, 1); }",
                  0))
        return;
    // s.a by columns: a[0].y is c1.x (0.3); s.b by rows: b[0].y c2.y, b[1].x c3.x.
    ExpectPixel(8, 8, 0.3 * 255, 0.6 * 255, 0.7 * 255);
    Compiled after;
    if (!DrawWith(after,
                  "struct S {\n#pragma pack_matrix(row_major)\n    float4 v;\n};\nuniform float2x2 m;\n"
                  "float4 main() : COLOR0 { return float4(m[0], m[1]); }",
                  0))
        return;
    EXPECT_EQ(Constant(after.container, "m")->cls, D3DXPC_MATRIX_ROWS);
    ExpectPixel(8, 8, kRows[0], kRows[1], kRows[2]);
    // An int matrix member under the pragma is read as floats and by rows
    // both: s.n is c0-c1, n[0].y c0.y and n[1].x c1.x; s.f c2-c3.
    Compiled integers;
    if (!DrawWith(integers,
                  "#pragma pack_matrix(row_major)\nstruct S {\n    int2x2 n;\n    float2x2 f;\n};\nuniform S s;\n"
                  "float4 main() : COLOR0 { return float4(s.n[0].y, s.n[1].x, s.f[1].x, 1); }",
                  0))
        return;
    ExpectPixel(8, 8, 0.2 * 255, 0.3 * 255, 0.7 * 255);
}
