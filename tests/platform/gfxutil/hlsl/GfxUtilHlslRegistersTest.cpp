// Which registers a compiled program's constants take: only what the program
// reads, from each constant's first register to the last one read, so that
// constants the program never reads neither grow its register file nor
// collide with the ones it reads; and constant arrays indexed by a float,
// taken as the address register takes the index.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::TurnScaleMove;

namespace {

// The table's description of a constant by name; Name stays null when it has none.
D3DXCONSTANT_DESC Describe(ID3DXConstantTable* t, const char* name) {
    D3DXCONSTANT_DESC d{};
    std::uint32_t n = 1;
    if (t && t->GetConstantDesc(t->GetConstantByName(nullptr, name), &d, &n) != D3D_OK) d = D3DXCONSTANT_DESC{};
    return d;
}

constexpr const char* kColourPixel = "float4 main(float4 col : COLOR0) : COLOR { return col; }\n";

} // namespace

// The registers of each constant as the table gives them, exactly: a matrix
// of which the program reads some columns or rows takes them up to the last
// one read, an array read at constant indices up to the last element read,
// one read at a computed index all of it; what follows moves down into what
// that frees, and the code declares the registers up to the last one read.
TEST(GfxUtilHlslRegistersTest, TheTableGivesEachConstantTheRegistersItReads) {
    Compiled vs;
    Compile(vs, R"(
float4x4 World;
float4 After;
row_major float4x4 Rows;
float4x4 First;
float4x4 Ends;
float4 Some[8];
float4 Any[6];
float3x3 Turn;
float4 Unread[50];
float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION {
    float3 w = mul(p, World).xyz;
    float4 r = mul(Rows, p).xyxy;
    float e = mul(p, Ends).x + mul(p, Ends).z;
    return float4(w, 1) + After + r + mul(p, First).x + e + Some[0] + Some[2] + Any[(int)i.x] + mul(p.xyz, Turn).xyzx;
}
)",
            "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    struct Want {
        const char* name;
        std::uint32_t index, count;
    };
    // World: three columns; Rows (row-major) from the left, two rows; First
    // one column; Ends its first and third columns, so three; Some up to
    // element 2; Any all six; Turn all three. Placed largest first, the
    // equals in declaration order; the table stores them by name.
    const Want want[] = {{"After", 20, 1}, {"Any", 0, 6},   {"Ends", 9, 3},  {"First", 21, 1},
                         {"Rows", 18, 2},  {"Some", 12, 3}, {"Turn", 15, 3}, {"World", 6, 3}};
    ASSERT_EQ(vs.container.constants.size(), std::size(want));
    for (std::size_t i = 0; i < std::size(want); ++i) {
        const ShaderConstantRecord& k = vs.container.constants[i];
        EXPECT_EQ(k.name, want[i].name);
        EXPECT_EQ(k.registerIndex, want[i].index) << want[i].name;
        EXPECT_EQ(k.registerCount, want[i].count) << want[i].name;
        const D3DXCONSTANT_DESC d = Describe(vs.table, want[i].name);
        EXPECT_EQ(d.RegisterIndex, want[i].index) << want[i].name;
        EXPECT_EQ(d.RegisterCount, want[i].count) << want[i].name;
    }
    EXPECT_EQ(Describe(vs.table, "Unread").Name, nullptr);
    // First, placed last at c21, is read as a whole matrix by the code,
    // which declares its four registers (the table gives it the one used).
    EXPECT_EQ(vs.container.constF, 25u);
    EXPECT_NE(vs.container.glsl.find("uniform vec4 uVsC[25];"), std::string::npos) << vs.container.glsl;
    // The type stays the declared one; elements past the registers read have none.
    const D3DXCONSTANT_DESC world = Describe(vs.table, "World");
    EXPECT_EQ(world.Rows, 4u);
    EXPECT_EQ(world.Columns, 4u);
    const D3DXCONSTANT_DESC some = Describe(vs.table, "Some");
    EXPECT_EQ(some.Elements, 8u);
    D3DXCONSTANT_DESC d{};
    std::uint32_t n = 1;
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantElement("Some", 2), &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 14u);
    EXPECT_EQ(d.RegisterCount, 1u);
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantElement("Some", 5), &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterCount, 0u);

    // Explicit registers: two constants may share them when the program
    // reads one; two it reads may not.
    Compiled shared, clash;
    Compile(shared, R"(
float4 Tint : register(c2);
float4x4 Other : register(c0);
float4 Far : register(c40);
sampler2D Diffuse : register(s0);
samplerCUBE Sky : register(s0);
float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Diffuse, uv) * Tint; }
)",
            "ps_2_0");
    ASSERT_EQ(shared.result, D3D_OK) << shared.errors;
    ASSERT_EQ(shared.container.constants.size(), 2u);
    // An unread constant past a 2.0 pixel program's 32 registers is not in its file.
    EXPECT_EQ(shared.container.constF, 3u);
    EXPECT_EQ(Describe(shared.table, "Tint").RegisterIndex, 2u);
    EXPECT_EQ(Describe(shared.table, "Diffuse").RegisterIndex, 0u);
    EXPECT_EQ(Describe(shared.table, "Diffuse").RegisterSet, D3DXRS_SAMPLER);
    EXPECT_EQ(shared.container.samplers[0], D3DSTT_2D);
    Compile(clash, R"(
sampler2D Diffuse : register(s0);
samplerCUBE Sky : register(s0);
float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Diffuse, uv) + texCUBE(Sky, uv.xyy); }
)",
            "ps_2_0");
    EXPECT_EQ(clash.result, E_FAIL);
    EXPECT_NE(clash.errors.find("overlap"), std::string::npos) << clash.errors;
    // A matrix read in part lets a constant bound after its last read register in.
    Compiled partly, whole;
    Compile(partly, R"(
float4x4 World : register(c16);
float3x3 WIT : register(c19);
float4 main(float4 p : POSITION, float3 n : NORMAL) : POSITION { return float4(mul(p, World).xyz + mul(n, WIT), 1); }
)",
            "vs_2_0");
    ASSERT_EQ(partly.result, D3D_OK) << partly.errors;
    EXPECT_EQ(Describe(partly.table, "World").RegisterCount, 3u);
    EXPECT_EQ(Describe(partly.table, "WIT").RegisterIndex, 19u);
    Compile(whole, R"(
float4x4 World : register(c16);
float3x3 WIT : register(c19);
float4 main(float4 p : POSITION, float3 n : NORMAL) : POSITION { return mul(p, World) + mul(n, WIT).xyzx; }
)",
            "vs_2_0");
    EXPECT_EQ(whole.result, E_FAIL);
    EXPECT_NE(whole.errors.find("overlap"), std::string::npos) << whole.errors;
}

// The passes over the compiler's SPIR-V take only modules of its form: cut,
// foreign or without a function they fail and leave the words as they were.
TEST(GfxUtilHlslRegistersTest, TheSpirvPassesRefuseModulesNotOfTheCompilersForm) {
    constexpr std::uint32_t kMagic = 0x07230203u, kCapabilityShader = (2u << 16) | 17u;
    const std::vector<std::vector<std::uint32_t>> bad = {
        {},
        {kMagic, 0x10000, 0, 8},                                     // a header cut short
        {0x03022307u, 0x10000, 0, 8, 0, kCapabilityShader, 1},       // another byte order
        {kMagic, 0x10000, 0, 8, 0, kCapabilityShader, 1},            // no function
        {kMagic, 0x10000, 0, 8, 0, 0, 1},                            // an instruction of no words
        {kMagic, 0x10000, 0, 8, 0, (9u << 16) | 54u, 1, 2, 3},       // one running past the end
        {kMagic, 0x10000, 0, 0x7FFFFFFF, 0, kCapabilityShader, 1},   // ids past any module's
    };
    for (const std::vector<std::uint32_t>& words : bad) {
        std::map<std::string, std::uint32_t> registers{{"stale", 1}};
        EXPECT_FALSE(HlslRegistersRead(words, registers)) << words.size();
        EXPECT_TRUE(registers.empty());
        std::vector<std::uint32_t> changed = words;
        EXPECT_FALSE(HlslAddressRegisterIndices(changed)) << words.size();
        EXPECT_EQ(changed, words);
    }
}

// A component of a constant vector read at a computed index is read as the
// whole register, then the component, however the module's numbers fall: a
// member offset (a literal) equal to the chain's id is no use of the chain.
// In a vs_2_0 attractor program the offset 192 matched the chain %192, and
// SPIRV-Cross refused the component it was left to flatten.
TEST(GfxUtilHlslRegistersTest, AComputedComponentIsReadWholeWhateverTheLiteralsBeside) {
    constexpr std::uint32_t kOpTypeVoid = 19, kOpTypeFloat = 22, kOpTypeVector = 23, kOpTypeInt = 21,
                            kOpConstant = 43, kOpTypeStruct = 30, kOpTypePointer = 32, kOpTypeFunction = 33,
                            kOpVariable = 59, kOpFunction = 54, kOpLabel = 248, kOpLoad = 61, kOpAccessChain = 65,
                            kOpReturn = 253, kOpFunctionEnd = 56, kOpMemberDecorate = 72, kOpDecorate = 71,
                            kOpVectorExtractDynamic = 77;
    constexpr std::uint32_t kUniform = 2, kFunction = 7, kBlock = 2, kOffset = 35;
    const auto op = [](std::uint32_t words, std::uint32_t code) { return (words << 16) | code; };
    for (const std::uint32_t offset : {0u, 20u}) {
        SCOPED_TRACE(offset);
        // %20 = the chain to component %15 of member 0 (a float4) of the block.
        const std::vector<std::uint32_t> module = {
            0x07230203u, 0x10000, 0, 24, 0,
            op(3, kOpDecorate), 7, kBlock,
            op(5, kOpMemberDecorate), 7, 0, kOffset, offset,
            op(2, kOpTypeVoid), 1,
            op(3, kOpTypeFunction), 2, 1,
            op(3, kOpTypeFloat), 3, 32,
            op(4, kOpTypeVector), 4, 3, 4,
            op(4, kOpTypeInt), 5, 32, 1,
            op(4, kOpConstant), 5, 6, 0,
            op(3, kOpTypeStruct), 7, 4,
            op(4, kOpTypePointer), 8, kUniform, 7,
            op(4, kOpVariable), 8, 9, kUniform,
            op(4, kOpTypePointer), 10, kUniform, 3,
            op(4, kOpTypePointer), 11, kFunction, 5,
            op(5, kOpFunction), 1, 12, 0, 2,
            op(2, kOpLabel), 13,
            op(4, kOpVariable), 11, 14, kFunction,
            op(4, kOpLoad), 5, 15, 14,
            op(6, kOpAccessChain), 10, 20, 9, 6, 15,
            op(4, kOpLoad), 3, 21, 20,
            op(1, kOpReturn),
            op(1, kOpFunctionEnd)};
        std::vector<std::uint32_t> changed = module;
        ASSERT_TRUE(ExtractDynamicConstantComponents(changed));
        bool extracted = false, chainToComponent = false;
        for (std::size_t at = 5; at < changed.size(); at += changed[at] >> 16) {
            ASSERT_NE(changed[at] >> 16, 0u);
            const std::uint32_t code = changed[at] & 0xFFFF;
            if (code == kOpVectorExtractDynamic && changed[at + 2] == 21 && changed[at + 4] == 15) extracted = true;
            if (code == kOpAccessChain && changed[at + 1] == 10) chainToComponent = true;
        }
        EXPECT_TRUE(extracted);
        EXPECT_FALSE(chainToComponent);
    }
}

// Programs drawn on gl with the registers above: constants set by name land
// where the program reads them, and nothing the program never reads keeps
// it from being made.
class GfxUtilHlslRegistersDrawTest : public gfx::test::HlslDrawTest {
protected:
    // The pixel program passing the colour on, at the version a vertex profile pairs with.
    IDirect3DPixelShader9* ColourPixel(const std::string& vertexProfile) {
        Compiled ps;
        Compile(ps, kColourPixel, vertexProfile == "vs_3_0" ? "ps_3_0" : "ps_2_0");
        EXPECT_EQ(ps.result, D3D_OK) << ps.errors;
        return ps.result == D3D_OK ? MakePixel(ps) : nullptr;
    }
    IDirect3DVertexDeclaration9* Declaration(const D3DVERTEXELEMENT9* elements) {
        IDirect3DVertexDeclaration9* d = nullptr;
        EXPECT_EQ(device->CreateVertexDeclaration(elements, &d), D3D_OK);
        if (d) m_declarations.push_back(d);
        return d;
    }
    void TearDown() override {
        if (device) device->SetVertexDeclaration(nullptr);
        for (auto* d : m_declarations) d->Release();
        HlslDrawTest::TearDown();
    }
    // The whole target drawn with every corner carrying `v` but its place.
    template <class Vertex>
    void DrawAll(Vertex v) {
        Vertex quad[4];
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (int q = 0; q < 4; ++q) {
            quad[q] = v;
            quad[q].corner[0] = corners[q][0];
            quad[q].corner[1] = corners[q][1];
        }
        Clear();
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    }

    std::vector<IDirect3DVertexDeclaration9*> m_declarations;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslRegistersDrawTest, gfxtest::HlslDrawReadBacks(), gfxtest::GlReadBackParamName);

namespace {

// Where it lies, its bones' indices in a D3DCOLOR, and where it is drawn.
struct PaletteVertex {
    float pos[3];
    std::uint32_t indices;
    float corner[2];
};

} // namespace

// Globals the program never reads, however declared (`uniform`, `extern`,
// beside a read one in one statement), take no registers: a 64-bone palette
// with them still fits a 3.0 vertex program's 256, and its last bone is read.
TEST_P(GfxUtilHlslRegistersDrawTest, UnreadGlobalsBesideALargePaletteLeaveItRoom) {
    if (Stopped()) return;
    Compiled vs;
    Compile(vs, R"(
float4x3 Bones[64];
uniform float4 Unused[100];
extern float4 AlsoUnused[40];
float4 Tint, NeverRead[20];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    VOut o;
    o.pos = float4(corner, 0.5, 1);
    o.col = float4(mul(p, Bones[i.x]), 1) * Tint;
    return o;
}
)",
            "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_EQ(vs.container.constF, 193u) << vs.container.glsl;
    EXPECT_EQ(Describe(vs.table, "Bones").RegisterCount, 192u);
    EXPECT_EQ(Describe(vs.table, "Tint").RegisterIndex, 192u);
    for (const char* unread : {"Unused", "AlsoUnused", "NeverRead"}) EXPECT_EQ(Describe(vs.table, unread).Name, nullptr);
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = ColourPixel("vs_3_0");
    ASSERT_TRUE(v && p);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    ASSERT_NE(declaration, nullptr);
    // Bone b moves the origin to (b / 63, 0.5, 1 - b / 63).
    std::vector<D3DXMATRIX> bones(64);
    for (int b = 0; b < 64; ++b) {
        bones[b] = D3DXMATRIX{};
        for (int k = 0; k < 4; ++k) bones[b].m[k][k] = 1.f;
        bones[b].m[3][0] = float(b) / 63.f;
        bones[b].m[3][1] = 0.5f;
        bones[b].m[3][2] = 1.f - float(b) / 63.f;
    }
    ASSERT_EQ(vs.table->SetMatrixArray(device, "Bones", bones.data(), 64), D3D_OK);
    const D3DXVECTOR4 tint{1.f, 1.f, 0.5f, 1.f};
    ASSERT_EQ(vs.table->SetVector(device, "Tint", &tint), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    for (const int bone : {63, 21, 0}) {
        DrawAll(PaletteVertex{{0, 0, 0}, std::uint32_t(bone) | 0xFF000000u, {0, 0}});
        ExpectPixel(8, 8, 255.0 * bone / 63.0, 127.5, 0.5 * 255.0 * (1.0 - bone / 63.0),
                    "bone " + std::to_string(bone));
    }
}

// Two samplers bound to one unit of which the program samples one (as a
// file's variations declare them all), and a float constant sharing its
// registers with one never read: the program samples the texture at that
// unit with the constant set by name.
TEST_P(GfxUtilHlslRegistersDrawTest, ASharedExplicitRegisterServesTheConstantRead) {
    if (Stopped()) return;
    Compiled ps;
    Compile(ps, R"(
sampler2D Diffuse : register(s0);
samplerCUBE Sky : register(s0);
float4x4 Other : register(c0);
float4 Tint : register(c1);
float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Diffuse, uv) * Tint; }
)",
            "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(Describe(ps.table, "Sky").Name, nullptr);
    EXPECT_EQ(Describe(ps.table, "Other").Name, nullptr);
    IDirect3DPixelShader9* p = MakePixel(ps);
    IDirect3DVertexShader9* v = Vertex(gfxtest::kPassVertex);
    ASSERT_TRUE(p && v);
    IDirect3DTexture9* texel = OneTexel(0xFF8040C0u);
    ASSERT_NE(texel, nullptr);
    ASSERT_EQ(device->SetTexture(ps.table->GetSamplerIndex("Diffuse"), texel), D3D_OK);
    const D3DXVECTOR4 tint{1.f, 0.5f, 1.f, 1.f};
    ASSERT_EQ(ps.table->SetVector(device, "Tint", &tint), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 0x80, 0x20, 0xC0, "the 2-D sampler at s0, tinted");
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    texel->Release();
}

namespace {

struct IndexVertex {
    float index[4];
    float corner[2];
};

struct LitVertex {
    float pos[3];
    float normal[3];
    float corner[2];
};

} // namespace

// A world matrix of which the program reads three columns, with a 3 x 3
// matrix bound right after them: each set by name (the 3 x 3 first, so that
// setting the world matrix would overwrite it were four registers written)
// lands where the program reads it.
TEST_P(GfxUtilHlslRegistersDrawTest, APartlyReadMatrixLeavesItsLastRegisterToTheNext) {
    if (Stopped()) return;
    const std::string body = R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float3 n : NORMAL, float2 corner : TEXCOORD0) {
    VOut o;
    o.pos = float4(corner, 0.5, 1);
    o.col = float4(mul(p, World).xyz * 0.5 + mul(n, WIT) * 0.5, 1);
    return o;
}
)";
    const std::string sources[] = {"float4x4 World : register(c16);\nfloat3x3 WIT : register(c19);\n" + body,
                                   "float4x4 World : register(vs, c16);\nfloat3x3 WIT : register(vs, c19);\n" + body};
    IDirect3DPixelShader9* p = ColourPixel("vs_2_0");
    ASSERT_NE(p, nullptr);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    ASSERT_NE(declaration, nullptr);
    D3DXMATRIX world{}, wit{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            world.m[r][c] = 0.05f * float(r * 4 + c);
            wit.m[r][c] = 0.9f - 0.1f * float(r * 3 + c);
        }
    const float pos[4] = {0.5f, 0.25f, 1.f, 1.f}, normal[3] = {0.f, 1.f, 0.f};
    double expected[3];
    for (int c = 0; c < 3; ++c) {
        double w = 0, n = 0;
        for (int r = 0; r < 4; ++r) w += pos[r] * world.m[r][c];
        for (int r = 0; r < 3; ++r) n += normal[r] * wit.m[r][c];
        expected[c] = 255.0 * std::clamp(w * 0.5 + n * 0.5, 0.0, 1.0);
    }
    for (const std::string& source : sources) {
        Compiled vs;
        Compile(vs, source, "vs_2_0");
        ASSERT_EQ(vs.result, D3D_OK) << source << "\n" << vs.errors;
        EXPECT_EQ(Describe(vs.table, "World").RegisterIndex, 16u);
        EXPECT_EQ(Describe(vs.table, "World").RegisterCount, 3u);
        EXPECT_EQ(Describe(vs.table, "WIT").RegisterIndex, 19u);
        EXPECT_EQ(Describe(vs.table, "WIT").RegisterCount, 3u);
        IDirect3DVertexShader9* v = MakeVertex(vs);
        ASSERT_NE(v, nullptr);
        ASSERT_EQ(vs.table->SetMatrix(device, "WIT", &wit), D3D_OK);
        ASSERT_EQ(vs.table->SetMatrix(device, "World", &world), D3D_OK);
        float c19[4] = {};
        ASSERT_EQ(device->GetVertexShaderConstantF(19, c19, 1), D3D_OK);
        EXPECT_FLOAT_EQ(c19[1], wit.m[1][0]); // the first column of WIT, not the fourth of World
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        DrawAll(LitVertex{{pos[0], pos[1], pos[2]}, {normal[0], normal[1], normal[2]}, {0, 0}});
        ExpectPixel(8, 8, expected[0], expected[1], expected[2], source);
    }
}

// A matrix of which the program reads one column, with a vector laid out
// right after that column: the code still loads the whole matrix, and the
// registers it names past the table's last are in the file it declares.
TEST_P(GfxUtilHlslRegistersDrawTest, AMatrixReadInOneColumnSharesItsRegistersWithTheNext) {
    if (Stopped()) return;
    Compiled vs;
    Compile(vs, R"(
float4x4 A;
float4 B;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 corner : TEXCOORD0) {
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(mul(p, A).x, B.yz, 1); return o;
}
)",
            "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_EQ(Describe(vs.table, "A").RegisterCount, 1u);
    EXPECT_EQ(Describe(vs.table, "B").RegisterIndex, 1u);
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = ColourPixel("vs_2_0");
    ASSERT_TRUE(v && p);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    ASSERT_NE(declaration, nullptr);
    D3DXMATRIX a{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a.m[r][c] = 0.1f * float(r + 1) + 0.3f * float(c);
    const D3DXVECTOR4 b{0.9f, 0.25f, 0.75f, 0.5f};
    ASSERT_EQ(vs.table->SetVector(device, "B", &b), D3D_OK);
    ASSERT_EQ(vs.table->SetMatrix(device, "A", &a), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    const float pos[4] = {0.5f, 0.25f, 0.5f, 1.f};
    DrawAll(LitVertex{{pos[0], pos[1], pos[2]}, {0, 0, 0}, {0, 0}});
    double x = 0;
    for (int r = 0; r < 4; ++r) x += pos[r] * a.m[r][0];
    ExpectPixel(8, 8, 255.0 * std::min(x, 1.0), 255.0 * 0.25, 255.0 * 0.75);
}

// An array read at a computed index, bound over the register of a constant
// the program never reads (which the layout then places last): the code
// reads every element, up to the array's last register.
TEST_P(GfxUtilHlslRegistersDrawTest, AnArrayBoundOverAnUnreadConstantIsReadWhole) {
    if (Stopped()) return;
    Compiled vs;
    Compile(vs, R"(
float4 L[8] : register(c0);
float4 Unread : register(c3);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = L[(int)idx.x]; return o;
}
)",
            "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_EQ(Describe(vs.table, "L").RegisterCount, 8u);
    EXPECT_EQ(vs.container.constF, 8u);
    IDirect3DVertexShader9* v = MakeVertex(vs);
    IDirect3DPixelShader9* p = ColourPixel("vs_2_0");
    ASSERT_TRUE(v && p);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    ASSERT_NE(declaration, nullptr);
    std::vector<float> values(8 * 4);
    for (int e = 0; e < 8; ++e) {
        values[e * 4 + 0] = float(e) / 7.f;
        values[e * 4 + 1] = 1.f - float(e) / 7.f;
        values[e * 4 + 2] = e % 2 ? 1.f : 0.f;
        values[e * 4 + 3] = 1.f;
    }
    ASSERT_EQ(vs.table->SetFloatArray(device, "L", values.data(), std::uint32_t(values.size())), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    for (const int e : {7, 5, 2}) {
        DrawAll(IndexVertex{{float(e), 0.f, 0.f, 0.f}, {0, 0}});
        ExpectPixel(8, 8, 255.0 * values[e * 4], 255.0 * values[e * 4 + 1], 255.0 * values[e * 4 + 2],
                    "element " + std::to_string(e));
    }
}

// The same through an effect's compile pass, with samplers sharing their
// unit: the effect sets the matrices into the registers the programs read.
TEST_P(GfxUtilHlslRegistersDrawTest, AnEffectPassSetsWhatItsProgramsRead) {
    if (Stopped()) return;
    const std::string text = R"(
float4x4 World : register(c16);
float3x3 WIT : register(c19);
sampler2D Diffuse : register(s0);
samplerCUBE Sky : register(s0);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut vs_main(float4 p : POSITION, float3 n : NORMAL, float2 corner : TEXCOORD0) {
    VOut o;
    o.pos = float4(corner, 0.5, 1);
    o.col = float4(mul(p, World).xyz * 0.5 + mul(n, WIT) * 0.5, 1);
    o.uv = corner * 0.5 + 0.5;
    return o;
}
float4 ps_main(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR { return col * tex2D(Diffuse, uv); }
technique T { pass P { VertexShader = compile vs_2_0 vs_main(); PixelShader = compile ps_2_0 ps_main(); } }
)";
    ID3DXEffect* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr =
        D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, nullptr, &fx, &errors);
    if (errors) {
        ADD_FAILURE() << static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    ASSERT_EQ(hr, D3D_OK);
    ASSERT_NE(fx, nullptr);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    IDirect3DTexture9* white = OneTexel(0xFFFFFFFFu);
    ASSERT_TRUE(declaration && white);
    D3DXMATRIX world{}, wit{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            world.m[r][c] = 0.04f * float(16 - r * 4 - c);
            wit.m[r][c] = 0.1f * float(r + c);
        }
    ASSERT_EQ(fx->SetMatrix("WIT", &wit), D3D_OK);
    ASSERT_EQ(fx->SetMatrix("World", &world), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, white), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    std::uint32_t passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    const float pos[4] = {0.25f, 0.5f, 0.75f, 1.f}, normal[3] = {0.f, 0.f, 1.f};
    DrawAll(LitVertex{{pos[0], pos[1], pos[2]}, {normal[0], normal[1], normal[2]}, {0, 0}});
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->End(), D3D_OK);
    double expected[3];
    for (int c = 0; c < 3; ++c) {
        double w = 0, n = 0;
        for (int r = 0; r < 4; ++r) w += pos[r] * world.m[r][c];
        for (int r = 0; r < 3; ++r) n += normal[r] * wit.m[r][c];
        expected[c] = 255.0 * std::clamp(w * 0.5 + n * 0.5, 0.0, 1.0);
    }
    ExpectPixel(8, 8, expected[0], expected[1], expected[2], "through the effect");
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    white->Release();
    fx->Release();
}

namespace {

// Two bones by their weights and indices: in a D3DCOLOR, or as floats.
struct ColourIndexVertex {
    float pos[3];
    float weights[2];
    std::uint32_t indices;
    float corner[2];
};
struct FloatIndexVertex {
    float pos[3];
    float weights[2];
    float indices[4];
    float corner[2];
};

// Bone b: a turn about z by 0.4 b radians, scaled by 0.9 - 0.05 b, moved by
// (0.05 b, 0.1 - 0.03 b, 0.15).
D3DXMATRIX TurnedBone(int b) {
    return TurnScaleMove(0.4f * float(b), 0.9f - 0.05f * float(b), 0.05f * float(b), 0.1f - 0.03f * float(b), 0.15f);
}

// The position skinned by a float4x3 palette (the first three columns of
// each bone, multiplied from the right) as a colour: p * 0.25 + 0.5.
void SkinnedColour(const D3DXMATRIX& a, const D3DXMATRIX& b, float weight, const float p[3], double out[3]) {
    const float q[4] = {p[0], p[1], p[2], 1.f};
    for (int k = 0; k < 3; ++k) {
        double sa = 0, sb = 0;
        for (int j = 0; j < 4; ++j) {
            sa += q[j] * a.m[j][k];
            sb += q[j] * b.m[j][k];
        }
        out[k] = 255.0 * std::clamp((sa * weight + sb * (1.0 - weight)) * 0.25 + 0.5, 0.0, 1.0);
    }
}

} // namespace

// A palette indexed by floats, as skinning programs index it: the indices
// of a D3DCOLOR made floats by D3DCOLORtoUBYTE4, and a float stream's read
// straight, in a loop over the bones too; drawn at each vertex version
// against the skinning computed here, within one step per channel.
TEST_P(GfxUtilHlslRegistersDrawTest, APaletteIndexedByFloatsSkinsAsTheCpuDoes) {
    if (Stopped()) return;
    const std::string colourIndexed = R"(
float4x3 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    float4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = mul(p, Bones[i.x]) * w.x + mul(p, Bones[i.y]) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)";
    const std::string floatIndexed = R"(
float4x3 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    float3 s = 0;
    for (int k = 0; k < 2; k++) s += mul(p, Bones[idx[k]]) * w[k];
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)";
    const D3DVERTEXELEMENT9 colourElements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                                {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                                {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                                D3DDECL_END()};
    const D3DVERTEXELEMENT9 floatElements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                               {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                               {0, 20, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                               {0, 36, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                               D3DDECL_END()};
    IDirect3DVertexDeclaration9* byColour = Declaration(colourElements);
    IDirect3DVertexDeclaration9* byFloat = Declaration(floatElements);
    ASSERT_TRUE(byColour && byFloat);
    D3DXMATRIX bones[8];
    for (int b = 0; b < 8; ++b) bones[b] = TurnedBone(b);
    const struct {
        float pos[3];
        int first, second;
        float weight;
    } kVertices[] = {{{0.5f, -0.25f, 0.75f}, 1, 6, 0.7f}, {{-1.f, 0.5f, 0.25f}, 7, 0, 0.25f},
                     {{0.25f, 0.f, -0.5f}, 3, 3, 1.f}, {{1.f, 1.f, -1.f}, 2, 5, 0.5f}};
    for (const char* profile : {"vs_1_1", "vs_2_0", "vs_3_0"}) {
        IDirect3DPixelShader9* p = ColourPixel(profile);
        ASSERT_NE(p, nullptr);
        for (const bool colour : {true, false}) {
            const std::string what = std::string(profile) + (colour ? ", D3DCOLOR indices" : ", float indices");
            Compiled vs;
            Compile(vs, colour ? colourIndexed : floatIndexed, profile);
            ASSERT_EQ(vs.result, D3D_OK) << what << "\n" << vs.errors;
            EXPECT_EQ(vs.container.glsl.find("uint("), std::string::npos) << what << "\n" << vs.container.glsl;
            IDirect3DVertexShader9* v = MakeVertex(vs);
            ASSERT_NE(v, nullptr) << what;
            ASSERT_EQ(vs.table->SetMatrixArray(device, "Bones", bones, 8), D3D_OK);
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            ASSERT_EQ(device->SetVertexDeclaration(colour ? byColour : byFloat), D3D_OK);
            for (const auto& k : kVertices) {
                const std::string which = what + ", bones " + std::to_string(k.first) + " and " + std::to_string(k.second);
                const float weights[2] = {k.weight, 1.f - k.weight};
                if (colour)
                    DrawAll(ColourIndexVertex{{k.pos[0], k.pos[1], k.pos[2]},
                                              {weights[0], weights[1]},
                                              std::uint32_t(k.first) | std::uint32_t(k.second) << 8 | 0xFF000000u,
                                              {0, 0}});
                else
                    DrawAll(FloatIndexVertex{{k.pos[0], k.pos[1], k.pos[2]},
                                             {weights[0], weights[1]},
                                             {float(k.first), float(k.second), 0.f, 0.f},
                                             {0, 0}});
                double expected[3];
                SkinnedColour(bones[k.first], bones[k.second], k.weight, k.pos, expected);
                ExpectPixel(8, 8, expected[0], expected[1], expected[2], which);
            }
        }
    }
}

// A float index between two elements, or below the first, is rounded to
// the nearest integer as the address register rounds it at every vertex
// version: 2.6 reads element 3, -0.4 element 0, and -0.6 the register
// before the array, which holds what the caller set there.
TEST_P(GfxUtilHlslRegistersDrawTest, AFloatIndexIsRoundedToTheNearestRegister) {
    if (Stopped()) return;
    const std::string source = R"(
float4 Pal[4] : register(c1);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = Pal[idx.x]; return o;
}
)";
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = Declaration(elements);
    ASSERT_NE(declaration, nullptr);
    // c0 and the four elements, each its own colour.
    const float registers[5][4] = {{1.f, 1.f, 1.f, 1.f}, {1.f, 0.f, 0.f, 1.f}, {0.f, 1.f, 0.f, 1.f},
                                   {0.f, 0.f, 1.f, 1.f}, {1.f, 0.f, 1.f, 1.f}};
    const struct {
        float index;
        int reg; // the register read
    } kCases[] = {{2.6f, 4}, {2.4f, 3}, {1.51f, 3}, {0.45f, 1}, {-0.4f, 1}, {-0.6f, 0}, {3.2f, 4}};
    for (const char* profile : {"vs_1_1", "vs_2_0", "vs_3_0"}) {
        Compiled vs;
        Compile(vs, source, profile);
        ASSERT_EQ(vs.result, D3D_OK) << profile << "\n" << vs.errors;
        EXPECT_EQ(Describe(vs.table, "Pal").RegisterIndex, 1u);
        EXPECT_EQ(Describe(vs.table, "Pal").RegisterCount, 4u);
        IDirect3DVertexShader9* v = MakeVertex(vs);
        IDirect3DPixelShader9* p = ColourPixel(profile);
        ASSERT_TRUE(v && p) << profile;
        ASSERT_EQ(device->SetVertexShaderConstantF(0, registers[0], 5), D3D_OK);
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        for (const auto& k : kCases) {
            DrawAll(IndexVertex{{k.index, 0.f, 0.f, 0.f}, {0, 0}});
            const float* want = registers[k.reg];
            ExpectPixel(8, 8, 255.0 * want[0], 255.0 * want[1], 255.0 * want[2],
                        std::string(profile) + ", index " + std::to_string(k.index));
        }
    }
}
