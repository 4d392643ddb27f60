#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilHlsl.h"
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;
using gfx::test::CompileFile;
using gfx::test::Constant;
using gfx::test::TurnScaleMove;

namespace {

constexpr const char* kVertexSource = R"(
float4x4 WorldViewProj;
float4 Tint : register(c2);
struct VIn { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 col : COLOR0; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 col : COLOR0; };
VOut main(VIn i) {
    VOut o;
    o.pos = mul(i.pos, WorldViewProj);
    o.uv = i.uv;
    o.col = saturate(i.col * Tint);
    return o;
}
)";

constexpr const char* kPixelSource = R"(
sampler2D Base : register(s0);
samplerCUBE Sky;
float4 Scale = {1, 0.5, 0.25, -2};
float4 main(float2 uv : TEXCOORD0, float4 col : COLOR0) : COLOR {
    return tex2D(Base, uv) * col * Scale + texCUBE(Sky, float3(uv, 1)) * 0.5;
}
)";

} // namespace

TEST(GfxUtilHlslTest, APairCompilesToContainersWithTheirInterfaceAndTable) {
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_TRUE(vs.errors.empty());
    EXPECT_EQ(vs.container.kind, 0xFFFE0200u);
    EXPECT_NE(vs.container.glsl.find("#version 330"), std::string::npos);
    EXPECT_NE(vs.container.glsl.find("uniform vec4 uVsC["), std::string::npos) << vs.container.glsl;
    ASSERT_EQ(vs.container.inputs.size(), 3u);
    EXPECT_EQ(vs.container.inputs[0].usage, 0u); // POSITION
    EXPECT_EQ(vs.container.inputs[1].usage, 5u); // TEXCOORD0
    EXPECT_EQ(vs.container.inputs[2].usage, 10u); // COLOR0
    EXPECT_EQ(vs.container.inputs[2].reg, 2u);
    // The position is left for the device to map to GL's clip space; the
    // other two travel as the device's varyings.
    ASSERT_EQ(vs.container.outputs.size(), 3u) << vs.container.glsl;
    EXPECT_EQ(vs.container.outputs[0].usage, 0u);
    EXPECT_NE(vs.container.glsl.find("out vec4 hOut0;"), std::string::npos) << vs.container.glsl;
    // Tint is bound at c2; the matrix takes the first free run of four: c3.
    const ShaderConstantRecord* tint = Constant(vs.container, "Tint");
    const ShaderConstantRecord* wvp = Constant(vs.container, "WorldViewProj");
    ASSERT_TRUE(tint && wvp);
    EXPECT_EQ(tint->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(tint->registerIndex, 2u);
    EXPECT_EQ(tint->registerCount, 1u);
    EXPECT_EQ(tint->cls, D3DXPC_VECTOR);
    EXPECT_EQ(wvp->registerIndex, 3u);
    EXPECT_EQ(wvp->registerCount, 4u);
    EXPECT_EQ(wvp->cls, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(wvp->rows, 4u);
    EXPECT_EQ(wvp->columns, 4u);
    EXPECT_EQ(vs.container.constF, 7u);

    Compile(ps, kPixelSource, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(ps.container.kind, 0xFFFF0200u);
    EXPECT_NE(ps.container.glsl.find("uniform sampler2D uS0;"), std::string::npos) << ps.container.glsl;
    EXPECT_NE(ps.container.glsl.find("uniform samplerCube uS1;"), std::string::npos) << ps.container.glsl;
    EXPECT_EQ(ps.container.samplers[0], D3DSTT_2D);
    EXPECT_EQ(ps.container.samplers[1], D3DSTT_CUBE);
    const ShaderConstantRecord* base = Constant(ps.container, "Base");
    const ShaderConstantRecord* sky = Constant(ps.container, "Sky");
    const ShaderConstantRecord* scale = Constant(ps.container, "Scale");
    ASSERT_TRUE(base && sky && scale);
    EXPECT_EQ(base->registerSet, D3DXRS_SAMPLER);
    EXPECT_EQ(base->type, D3DXPT_SAMPLER2D);
    EXPECT_EQ(sky->registerIndex, 1u);
    EXPECT_EQ(sky->type, D3DXPT_SAMPLERCUBE);
    EXPECT_EQ(scale->registerIndex, 0u);
    ASSERT_EQ(scale->defaultValue.size(), 16u);
    float def[4];
    std::memcpy(def, scale->defaultValue.data(), 16);
    EXPECT_EQ(def[1], 0.5f);
    EXPECT_EQ(def[3], -2.f);
    // Inputs by register, with their semantics beside them.
    ASSERT_EQ(ps.container.inputs.size(), 2u);
    EXPECT_EQ(ps.container.inputs[0].usage, 5u);
    EXPECT_EQ(ps.container.inputs[1].usage, 10u);
    EXPECT_NE(ps.container.glsl.find("in vec2 hIn0;"), std::string::npos) << ps.container.glsl;
}

// The layout given by the compiler and the same layout written out by hand
// must make the same program, so both sides agree on every register.
TEST(GfxUtilHlslTest, RegistersFollowTheD3D9CompilersAssignment) {
    const std::string body = R"(
float4 main(float4 p : POSITION, float4 bi : BLENDINDICES) : POSITION {
    float3 s = mul(p, Bones[(int)bi.x]);
    return mul(float4(s, 1), M) + Fade * Offsets[(int)bi.y].xyxy + mul(p, RM).xyzx + (Count > 0 ? 1 : 0) + Pin;
}
)";
    const std::string implicit = R"(
float Fade;
float4x3 Bones[20];
float4 Pin : register(c3);
row_major float4x3 RM;
float4x4 M;
float2 Offsets[3];
int Count;
)" + body;
    const std::string explicitly = R"(
float Fade : register(c0);
float4x3 Bones[20] : register(c4);
float4 Pin : register(c3);
row_major float4x3 RM : register(c64);
float4x4 M : register(c68);
float2 Offsets[3] : register(c72);
int Count : register(c1);
)" + body;
    std::vector<HlslGlobal> globals;
    std::string error;
    ASSERT_TRUE(LayoutHlslGlobals(implicit, globals, error)) << error;
    ASSERT_EQ(globals.size(), 7u);
    struct Want {
        const char* name;
        std::uint16_t index, count;
    };
    // Fade takes c0; Bones (three per bone, 60) cannot fit before Pin at c3,
    // Count (an int, in float registers) fills c1; a row-major float4x3 takes
    // one register per row.
    const Want want[] = {{"Fade", 0, 1}, {"Bones", 4, 60}, {"Pin", 3, 1}, {"RM", 64, 4},
                         {"M", 68, 4},   {"Offsets", 72, 3}, {"Count", 1, 1}};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(globals[i].name, want[i].name);
        EXPECT_EQ(globals[i].registerIndex, want[i].index) << want[i].name;
        EXPECT_EQ(globals[i].registerCount, want[i].count) << want[i].name;
    }
    Compiled a, b;
    Compile(a, implicit, "vs_3_0");
    Compile(b, explicitly, "vs_3_0");
    ASSERT_EQ(a.result, D3D_OK) << a.errors;
    ASSERT_EQ(b.result, D3D_OK) << b.errors;
    EXPECT_EQ(a.container.glsl, b.container.glsl);
    EXPECT_EQ(a.container.constF, 75u);
    const ShaderConstantRecord* count = Constant(a.container, "Count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->type, D3DXPT_INT);
    EXPECT_EQ(count->registerSet, D3DXRS_FLOAT4);

    // "#pragma pack_matrix" sets the packing of the matrices after it, as
    // the compiler itself reads them: the table and the code agree.
    Compiled packed, worded;
    Compile(packed, "#pragma pack_matrix(row_major)\nfloat4x3 RM;\n#pragma pack_matrix(column_major)\nfloat4x3 CM;\n"
                    "float4 main(float4 p : POSITION) : POSITION { return float4(mul(p, RM) + mul(p, CM), 1); }\n",
            "vs_3_0");
    Compile(worded, "\nrow_major float4x3 RM;\n\nfloat4x3 CM;\n"
                    "float4 main(float4 p : POSITION) : POSITION { return float4(mul(p, RM) + mul(p, CM), 1); }\n",
            "vs_3_0");
    ASSERT_EQ(packed.result, D3D_OK) << packed.errors;
    ASSERT_EQ(worded.result, D3D_OK) << worded.errors;
    EXPECT_EQ(Constant(packed.container, "RM")->cls, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(Constant(packed.container, "RM")->registerCount, 4u);
    EXPECT_EQ(Constant(packed.container, "CM")->cls, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(Constant(packed.container, "CM")->registerIndex, 4u);
    EXPECT_EQ(packed.container.glsl, worded.container.glsl);

    // Two constants on one register are refused.
    Compiled clash;
    Compile(clash, "float4 A : register(c1);\nfloat4x4 B : register(c0);\nfloat4 main() : COLOR { return A + B[0]; }\n",
            "ps_3_0");
    EXPECT_EQ(clash.result, E_FAIL);
    EXPECT_NE(clash.errors.find("overlap"), std::string::npos) << clash.errors;
}

TEST(GfxUtilHlslTest, ErrorsNameTheSourceAndLineAndTheCallFails) {
    Compiled bad;
    Compile(bad, "float4 Colour;\nfloat4 main() : COLOR {\n    return Colour * missing;\n}\n", "ps_2_0");
    EXPECT_EQ(bad.result, E_FAIL);
    EXPECT_TRUE(bad.code.empty());
    EXPECT_EQ(bad.table, nullptr);
    EXPECT_EQ(bad.errors.rfind("memory(3,", 0), 0u) << bad.errors;
    EXPECT_NE(bad.errors.find("): error: "), std::string::npos) << bad.errors;
    EXPECT_NE(bad.errors.find("missing"), std::string::npos) << bad.errors;

    Compiled entry, profile;
    Compile(entry, kPixelSource, "ps_2_0", "Nowhere");
    EXPECT_EQ(entry.result, E_FAIL);
    EXPECT_FALSE(entry.errors.empty());
    Compile(profile, kPixelSource, "ps_9_9");
    EXPECT_EQ(profile.result, E_FAIL);
    EXPECT_NE(profile.errors.find("unknown profile 'ps_9_9'"), std::string::npos);

    // From a file the messages carry its path; a missing file fails.
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/broken.hlsl";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("float4 main() : COLOR\n{\n\n  return nothing;\n}\n", f);
    std::fclose(f);
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCompileShaderFromFile(path.c_str(), "main", "ps_2_0", 0, &code, &errors, nullptr), E_FAIL);
    EXPECT_EQ(code, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())).rfind(path + "(4,", 0), 0u);
    errors->Release();
    EXPECT_EQ(D3DXCompileShaderFromFile((std::string(folder) + "/none.hlsl").c_str(), "main", "ps_2_0", 0, &code,
                                        nullptr, nullptr),
              E_FAIL);
    std::filesystem::remove_all(folder);
}

// A global declared again is refused before the HLSL front end sees it (it
// crashes on a uniform declared again with another type; found by
// fuzzing the compiler), also when the end of the source cuts the second
// declaration short. A local of the same name is no redefinition.
TEST(GfxUtilHlslTest, AGlobalDeclaredTwiceIsAnError) {
    const char* const sources[] = {
        "float4 e;\nfloat e;\nfloat4 main() : COLOR { return e; }\n",
        "float e;\nfloat e;\nfloat4 main() : COLOR { return e; }\n",
        "sampler e;float e",
        "float4 e;\nfloat4 main() : COLOR { return e; }\nfloat e",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        Compiled out;
        Compile(out, source, "ps_2_0");
        EXPECT_EQ(out.result, E_FAIL);
        EXPECT_NE(out.errors.find("error: redefinition of 'e'"), std::string::npos) << out.errors;
    }
    Compiled local;
    Compile(local, "float4 e;\nfloat4 main() : COLOR { float4 f = e; { float4 e = f * 2; f = e; } return f; }\n",
            "ps_2_0");
    EXPECT_EQ(local.result, D3D_OK) << local.errors;
    Compiled cut;
    Compile(cut, "float4 e;\nfloat4 main() : COLOR { return e;", "ps_2_0");
    EXPECT_EQ(cut.result, E_FAIL);
    EXPECT_EQ(cut.errors.find("redefinition"), std::string::npos) << cut.errors;
}

// An entry point's parameter without a name is refused before the HLSL
// front end sees it (it crashes mapping it to an input; found by
// fuzzing the compiler); "void" and other functions' unnamed prototypes are
// fine.
TEST(GfxUtilHlslTest, AnEntryParameterWithoutANameIsAnError) {
    for (const char* source : {"float4 main(float4) : POSITION { return 0; }",
                               "float4 main(float4 p : POSITION, in float2) : POSITION { return p; }",
                               "float main(float){"}) {
        SCOPED_TRACE(source);
        Compiled out;
        Compile(out, source, "vs_2_0");
        EXPECT_EQ(out.result, E_FAIL);
        EXPECT_NE(out.errors.find("error: a parameter of 'main' has no name"), std::string::npos) << out.errors;
    }
    for (const char* source : {"float4 main(void) : POSITION { return 0; }",
                               "float4 f(float4);\nfloat4 main(in float4 p : POSITION, uniform float4 k) : POSITION"
                               " { return f(p) * k; }\nfloat4 f(float4 q) { return q; }\n",
                               "float4 main(float4 p[2] : POSITION0) : POSITION { return p[0] + p[1]; }"}) {
        SCOPED_TRACE(source);
        Compiled out;
        Compile(out, source, "vs_3_0");
        EXPECT_EQ(out.result, D3D_OK) << out.errors;
    }
}

TEST(GfxUtilHlslTest, DefinesReachThePreprocessor) {
    const std::string source = "float4 main() : COLOR { return TINT; }\n";
    const D3DXMACRO defines[] = {{"TINT", "float4(1, 0, 0, 1)"}, {nullptr, nullptr}};
    Compiled with, without;
    Compile(with, source, "ps_2_0", "main", defines);
    EXPECT_EQ(with.result, D3D_OK) << with.errors;
    Compile(without, source, "ps_2_0");
    EXPECT_EQ(without.result, E_FAIL);
}

// Every cut and every changed byte is refused; the whole block reads back.
TEST(GfxUtilHlslTest, TheContainerIsRefusedWhenCutOrTampered) {
    Compiled ps;
    Compile(ps, kPixelSource, "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    const std::vector<std::uint8_t>& code = ps.code;
    ASSERT_EQ(code.size() % 4, 0u);
    ShaderContainer again;
    ASSERT_TRUE(ReadShaderContainer(code.data(), code.size(), again));
    EXPECT_EQ(WriteShaderContainer(again), code);
    EXPECT_TRUE(IsShaderContainer(reinterpret_cast<const std::uint32_t*>(code.data())));
    EXPECT_EQ(ShaderContainerSize(reinterpret_cast<const std::uint32_t*>(code.data())), code.size());
    for (std::size_t n = 0; n < code.size(); ++n) {
        std::vector<std::uint8_t> cut(code.begin(), code.begin() + std::ptrdiff_t(n));
        EXPECT_FALSE(ReadShaderContainer(cut.data(), cut.size(), again)) << n;
    }
    for (std::size_t i = 0; i < code.size(); ++i) {
        std::vector<std::uint8_t> changed = code;
        changed[i] ^= 0x20;
        EXPECT_FALSE(ReadShaderContainer(changed.data(), changed.size(), again)) << i;
    }
    std::vector<std::uint8_t> longer = code;
    longer.insert(longer.end(), 4, 0);
    EXPECT_FALSE(ReadShaderContainer(longer.data(), longer.size(), again));
    EXPECT_EQ(ID3DXConstantTable::FromCode(longer.data(), longer.size()), nullptr);

    // A default value that is not whole 32-bit numbers is not the writer's.
    ShaderContainer odd = again;
    ASSERT_TRUE(ReadShaderContainer(code.data(), code.size(), odd));
    ASSERT_FALSE(odd.constants.empty());
    odd.constants[0].defaultValue = {1, 2, 3};
    const std::vector<std::uint8_t> oddBytes = WriteShaderContainer(odd);
    EXPECT_FALSE(ReadShaderContainer(oddBytes.data(), oddBytes.size(), again));

    // Struct members: only under a struct, and not so many elements of
    // elements that the table would make millions of entries.
    ShaderContainer nested;
    ASSERT_TRUE(ReadShaderContainer(code.data(), code.size(), nested));
    ShaderConstantRecord parent, member;
    parent.name = "S";
    parent.registerSet = D3DXRS_FLOAT4;
    parent.cls = D3DXPC_STRUCT;
    parent.rows = 1;
    parent.columns = 8;
    parent.structMembers = 1;
    parent.elements = 200;
    member.name = "m";
    member.registerSet = D3DXRS_FLOAT4;
    member.cls = D3DXPC_VECTOR;
    member.type = D3DXPT_FLOAT;
    member.rows = 1;
    member.columns = 4;
    member.elements = 2;
    member.parent = std::int16_t(nested.constants.size());
    nested.constants.push_back(parent);
    nested.constants.push_back(member);
    std::vector<std::uint8_t> bytes = WriteShaderContainer(nested);
    EXPECT_TRUE(ReadShaderContainer(bytes.data(), bytes.size(), again));
    nested.constants.back().elements = 400; // 200 x (1 + 400) entries
    bytes = WriteShaderContainer(nested);
    EXPECT_FALSE(ReadShaderContainer(bytes.data(), bytes.size(), again));
    EXPECT_EQ(ID3DXConstantTable::FromCode(bytes.data(), bytes.size()), nullptr);
    nested.constants.back().elements = 2;
    nested.constants[nested.constants.size() - 2].cls = D3DXPC_VECTOR; // a member of no struct
    nested.constants[nested.constants.size() - 2].columns = 4;
    bytes = WriteShaderContainer(nested);
    EXPECT_FALSE(ReadShaderContainer(bytes.data(), bytes.size(), again));
}

// What the program never reads is not in its table and takes no register:
// the used ones are laid out as if the others were not declared.
TEST(GfxUtilHlslTest, ConstantsTheProgramNeverReadsAreDropped) {
    const std::string source = R"(
float4x4 NeverRead;
float4 Pinned : register(c1);
float4 Read;
float Gone, AlsoGone;
uniform float4 StorageWord;
float4 Later;
sampler2D Idle;
sampler2D Busy;
float4 main(float2 uv : TEXCOORD0) : COLOR {
    float4 unusedLocal = NeverRead[0] * Gone;
    return Read + Later * tex2D(Busy, uv);
}
)";
    Compiled ps;
    Compile(ps, source, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    std::vector<std::string> names;
    for (const ShaderConstantRecord& k : ps.container.constants) names.push_back(k.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Read", "Later", "Busy"}));
    // Read fills c0 below the unused explicit c1; Later the next free one.
    EXPECT_EQ(Constant(ps.container, "Read")->registerIndex, 0u);
    EXPECT_EQ(Constant(ps.container, "Later")->registerIndex, 2u);
    EXPECT_EQ(Constant(ps.container, "Busy")->registerIndex, 0u);
    EXPECT_EQ(ps.container.samplers[0], D3DSTT_2D);
    ASSERT_NE(ps.table, nullptr);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "NeverRead"), nullptr);
    EXPECT_EQ(ps.table->GetConstantByName(nullptr, "Pinned"), nullptr);
}

// A program whose register file is beyond the device's is refused rather
// than read past the end of the file when drawn.
TEST(GfxUtilHlslTest, ARegisterFileBeyondTheDevicesIsRefused) {
    Compiled ps;
    Compile(ps, "float4 Big[4];\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return Big[(int)uv.x]; }\n", "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    TranslatedShader out;
    std::string error;
    ShaderContainer c = ps.container;
    c.constF = DeviceState::kPsConstF;
    EXPECT_TRUE(TranslateShaderContainer(c, out, error)) << error;
    c.constF = DeviceState::kPsConstF + 1;
    EXPECT_FALSE(TranslateShaderContainer(c, out, error));
    EXPECT_NE(error.find("register file"), std::string::npos);
}

class GfxUtilConstantTableTest : public gfxtest::BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxUtilConstantTableTest, ::testing::Values(gfx::BackendKind::Null),
                         gfxtest::BackendParamName);

namespace {

constexpr const char* kTableSource = R"(
float4x4 M;
row_major float4x4 R;
float4x3 Bones[2];
float3 Dir;
float Gain = 3;
bool On;
float2 Pairs[2];
sampler2D Tex : register(s3);
float4 main(float4 p : POSITION, float4 bi : BLENDINDICES) : POSITION {
    float3 s = mul(p, Bones[(int)bi.x]);
    return mul(p, M) + mul(p, R) + float4(s + Dir * Gain, On ? 1 : 0) + Pairs[(int)bi.y].xyxy + tex2Dlod(Tex, p);
}
)";

std::vector<float> Registers(IDirect3DDevice9* device, std::uint32_t first, std::uint32_t count) {
    std::vector<float> out(count * 4);
    EXPECT_EQ(device->GetVertexShaderConstantF(first, out.data(), count), D3D_OK);
    return out;
}

D3DXMATRIX Counting() {
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = float(r * 4 + c + 1);
    return m;
}

} // namespace

TEST_P(GfxUtilConstantTableTest, SettersWriteTheRegistersThePublishedTableWrites) {
    Create();
    Compiled vs;
    Compile(vs, kTableSource, "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ID3DXConstantTable* t = vs.table;
    ASSERT_NE(t, nullptr);
    D3DXCONSTANTTABLE_DESC desc;
    ASSERT_EQ(t->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Constants, 8u);
    EXPECT_EQ(desc.Version, 0xFFFE0300u);

    // Layout: M c0-3, R c4-7, Bones c8-13, Dir c14, Gain c15, On c16, Pairs c17-18.
    const D3DXMATRIX m = Counting();
    ASSERT_EQ(t->SetMatrix(device, "M", &m), D3D_OK);
    std::vector<float> got = Registers(device, 0, 4);
    EXPECT_EQ(got[0], 1.f); // register 0 holds the first column
    EXPECT_EQ(got[1], 5.f);
    EXPECT_EQ(got[4], 2.f);
    ASSERT_EQ(t->SetMatrix(device, "R", &m), D3D_OK);
    got = Registers(device, 4, 4);
    EXPECT_EQ(got[1], 2.f); // a row-major matrix: register 4 holds the first row
    EXPECT_EQ(got[4], 5.f);
    ASSERT_EQ(t->SetMatrixTranspose(device, "M", &m), D3D_OK);
    got = Registers(device, 0, 1);
    EXPECT_EQ(got[1], 2.f);

    // A float4x3 takes three registers, its columns of four; the fourth
    // column of the matrix given is dropped.
    const D3DXMATRIX b2[2] = {m, Counting()};
    const D3DXMATRIX* pointers[2] = {&b2[0], &b2[1]};
    const float marker[4] = {-1, -1, -1, -1};
    ASSERT_EQ(device->SetVertexShaderConstantF(14, marker, 1), D3D_OK);
    ASSERT_EQ(t->SetMatrixPointerArray(device, "Bones", pointers, 2), D3D_OK);
    got = Registers(device, 8, 7);
    EXPECT_EQ((std::vector<float>(got.begin(), got.begin() + 4)), (std::vector<float>{1, 5, 9, 13}));
    EXPECT_EQ(got[8], 3.f);
    EXPECT_EQ(got[12], 1.f); // the second bone starts at c11
    EXPECT_EQ(got[24], -1.f); // Dir untouched
    // An element alone; more matrices than the constant holds are dropped.
    ASSERT_EQ(t->SetMatrix(device, t->GetConstantElement("Bones", 1), &m), D3D_OK);
    ASSERT_EQ(t->SetMatrixArray(device, "Bones", b2, 2), D3D_OK);
    const D3DXMATRIX three[3] = {m, m, m};
    ASSERT_EQ(t->SetMatrixArray(device, "Bones", three, 3), D3D_OK);
    EXPECT_EQ(Registers(device, 14, 1)[0], -1.f);

    const D3DXVECTOR4 v{7, 8, 9, 10};
    ASSERT_EQ(t->SetVector(device, "Dir", &v), D3D_OK);
    got = Registers(device, 14, 1);
    EXPECT_EQ(got, (std::vector<float>{7, 8, 9, 0})); // three columns
    ASSERT_EQ(t->SetFloat(device, "Gain", 2.5f), D3D_OK);
    EXPECT_EQ(Registers(device, 15, 1)[0], 2.5f);
    ASSERT_EQ(t->SetBool(device, "On", 7), D3D_OK);
    EXPECT_EQ(Registers(device, 16, 1)[0], 1.f);
    ASSERT_EQ(t->SetInt(device, "On", 0), D3D_OK);
    EXPECT_EQ(Registers(device, 16, 1)[0], 0.f);
    const float pairs[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(t->SetFloatArray(device, "Pairs", pairs, 6), D3D_OK); // the last pair has no register
    got = Registers(device, 17, 3);
    EXPECT_EQ((std::vector<float>(got.begin(), got.begin() + 8)), (std::vector<float>{1, 2, 0, 0, 3, 4, 0, 0}));
    const std::int32_t ints[2] = {4, 5};
    ASSERT_EQ(t->SetIntArray(device, "Pairs[1]", ints, 2), D3D_OK);
    EXPECT_EQ(Registers(device, 18, 1)[1], 5.f);
    ASSERT_EQ(t->SetDefaults(device), D3D_OK);
    EXPECT_EQ(Registers(device, 15, 1)[0], 3.f);

    // Samplers: an index, no values.
    // (a vertex program has the four vertex samplers: 3 is its last)
    EXPECT_EQ(t->GetSamplerIndex("Tex"), 3u);
    EXPECT_EQ(t->GetSamplerIndex("Dir"), ~0u);
    EXPECT_EQ(t->SetFloat(device, "Tex", 1.f), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->SetFloat(device, "Nothing", 1.f), D3DERR_INVALIDCALL);

    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    ASSERT_EQ(t->GetConstantDesc(t->GetConstantByName(nullptr, "Bones"), &d, &n), D3D_OK);
    EXPECT_STREQ(d.Name, "Bones");
    EXPECT_EQ(d.RegisterIndex, 8u);
    EXPECT_EQ(d.RegisterCount, 6u);
    EXPECT_EQ(d.Elements, 2u);
    EXPECT_EQ(d.Class, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(d.Bytes, 96u);
    ASSERT_EQ(t->GetConstantDesc(t->GetConstantElement("Bones", 1), &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 11u);
    EXPECT_EQ(d.RegisterCount, 3u);
    EXPECT_EQ(t->GetConstantElement("Bones", 2), nullptr);
    EXPECT_EQ(t->GetConstant(nullptr, 0), t->GetConstantByName(nullptr, "M"));
    EXPECT_EQ(t->GetConstant(nullptr, 8), nullptr);

    // The table read again from the stored code is the same table.
    ID3DXConstantTable* again = nullptr;
    ASSERT_EQ(D3DXGetShaderConstantTable(reinterpret_cast<const std::uint32_t*>(vs.code.data()), &again), D3D_OK);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->GetConstantDesc("Pairs", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 17u);
    EXPECT_EQ(again->GetBufferSize(), vs.code.size());
    again->Release();
}

// Compiled programs drawn on gl: the device takes the code beside token
// streams, constants set by name reach the pixels, and the code kept by the
// program makes it again.
class GfxUtilHlslDrawTest : public gfxtest::GlProgramTest {
protected:
    template <class Shader>
    Shader* Make(const Compiled& c) {
        Shader* out = nullptr;
        HRESULT hr = E_FAIL;
        if constexpr (std::is_same_v<Shader, IDirect3DVertexShader9>)
            hr = device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(c.code.data()),
                                            std::uint32_t(c.code.size()), &out);
        else
            hr = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(c.code.data()),
                                           std::uint32_t(c.code.size()), &out);
        EXPECT_EQ(hr, D3D_OK);
        return out;
    }
    // The quad program's transform (identity) and a white tint, by name.
    void SetQuadConstants(const Compiled& vs) {
        D3DXMATRIX identity{};
        for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.f;
        ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), D3D_OK);
        const D3DXVECTOR4 white{1.f, 1.f, 1.f, 1.f};
        ASSERT_EQ(vs.table->SetVector(device, "Tint", &white), D3D_OK);
    }
    void UnbindAndRelease(IDirect3DVertexShader9* v, IDirect3DPixelShader9* p) {
        EXPECT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        v->Release();
        p->Release();
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslDrawTest, gfxtest::HlslDrawReadBacks(), gfxtest::GlReadBackParamName);

TEST_P(GfxUtilHlslDrawTest, CompiledProgramsDrawWithConstantsSetByName) {
    if (Stopped()) return;
    // The best profiles the device names are ones the compiler takes.
    ASSERT_STREQ(D3DXGetVertexShaderProfile(device), "vs_3_0");
    ASSERT_STREQ(D3DXGetPixelShaderProfile(device), "ps_3_0");
    Compiled vs, ps;
    Compile(vs, kVertexSource, D3DXGetVertexShaderProfile(device));
    Compile(ps, R"(
sampler2D Base : register(s0);
float4 Scale = {1, 1, 1, 1};
float4 main(float2 uv : TEXCOORD0, float4 col : COLOR0) : COLOR { return tex2D(Base, uv) * col * Scale; }
)",
            D3DXGetPixelShaderProfile(device));
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    // A white texture, so the colour is what the constants make it.
    IDirect3DTexture9* white = OneTexel(0xFFFFFFFFu);
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(device->SetTexture(0, white), D3D_OK);

    D3DXMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), D3D_OK);
    const D3DXVECTOR4 orange{1.f, 0.5f, 0.f, 1.f};
    ASSERT_EQ(vs.table->SetVector(device, "Tint", &orange), D3D_OK);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 255, 128, 0, "tint");

    // The pixel program's constant by name halves the red.
    const D3DXVECTOR4 half{0.5f, 1.f, 1.f, 1.f};
    ASSERT_EQ(ps.table->SetVector(device, "Scale", &half), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 0, "scale");

    // A matrix set by name moves the quad: scaled to half, the corner stays clear.
    D3DXMATRIX small = identity;
    small.m[0][0] = small.m[1][1] = 0.5f;
    ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &small), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(1, 1, 0, 0, 0, "outside");
    ExpectPixel(8, 8, 128, 128, 0, "inside");

    // Made again from the code the program keeps, as after a lost device.
    std::uint32_t size = 0;
    ASSERT_EQ(v->GetFunction(nullptr, &size), D3D_OK);
    EXPECT_EQ(size, vs.code.size());
    std::vector<std::uint32_t> kept(size / 4);
    ASSERT_EQ(v->GetFunction(kept.data(), &size), D3D_OK);
    IDirect3DVertexShader9* again = nullptr;
    ASSERT_EQ(device->CreateVertexShader(kept.data(), size, &again), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(again), D3D_OK);
    ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(1, 1, 128, 128, 0, "recreated");
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    again->Release();
    again = nullptr;

    // Code of the wrong kind, cut or changed is refused.
    IDirect3DPixelShader9* wrong = nullptr;
    EXPECT_EQ(device->CreatePixelShader(kept.data(), size, &wrong), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexShader(kept.data(), size - 4, &again), D3DERR_INVALIDCALL);
    kept[kept.size() / 2] ^= 1u;
    EXPECT_EQ(device->CreateVertexShader(kept.data(), size, &again), D3DERR_INVALIDCALL);
    EXPECT_EQ(again, nullptr);


    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
    white->Release();
    v->Release();
    p->Release();
    IDirect3DVertexShader9* made = nullptr;
    ASSERT_EQ(device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(vs.code.data()),
                                         std::uint32_t(vs.code.size()), &made), D3D_OK);
    made->Release();
}

namespace {

// The dialect's semantics, samplers and intrinsics as shader authors write them.
struct DialectCase {
    const char* what;
    const char* profile;
    const char* source;
};
const DialectCase kDialect[] = {
        {"vertex inputs and outputs", "vs_2_0", R"(
float4x4 WVP;
float3x3 NormalMatrix;
struct VIn {
    float4 pos : POSITION; float3 normal : NORMAL; float4 weights : BLENDWEIGHT; float4 indices : BLENDINDICES;
    float3 tangent : TANGENT; float3 binormal : BINORMAL; float4 c0 : COLOR0; float4 c1 : COLOR1;
    float2 t0 : TEXCOORD0; float3 t7 : TEXCOORD7;
};
struct VOut {
    float4 pos : POSITION; float4 c0 : COLOR0; float4 c1 : COLOR1; float2 t0 : TEXCOORD0; float3 t1 : TEXCOORD1;
    float fog : FOG; float size : PSIZE;
};
VOut main(VIn i) {
    VOut o;
    o.pos = mul(i.pos, WVP);
    float3 n = normalize(mul(i.normal, NormalMatrix));
    o.c0 = i.c0 * saturate(dot(n, float3(0, 0, 1))) * i.weights.x;
    o.c1 = lerp(i.c1, float4(i.tangent, 1), 0.5) + float4(cross(i.tangent, i.binormal), 0) * i.indices.y;
    o.t0 = i.t0;
    o.t1 = reflect(-n, i.t7);
    o.fog = clamp(o.pos.z, 0, 1);
    o.size = 1;
    return o;
}
)"},
        {"pixel samplers and intrinsics", "ps_3_0", R"(
sampler Plain;
sampler2D Diffuse : register(s1);
samplerCUBE Env : register(s2);
sampler3D Volume;
float4 Params;
static const float kScale = 0.5;
float4 main(float2 uv : TEXCOORD0, float4 proj : TEXCOORD1, float3 dir : TEXCOORD2, float2 vpos : VPOS,
            float face : VFACE) : COLOR0 {
    float4 a = tex2D(Diffuse, uv) + tex2Dproj(Diffuse, proj) + tex2Dlod(Diffuse, float4(uv, 0, 1));
    float4 b = texCUBE(Env, dir) + tex3D(Volume, dir) + tex2D(Plain, uv);
    float s = smoothstep(0, 1, frac(uv.x)) * step(0.5, uv.y) * pow(abs(Params.x), 2.0);
    float4 c = clamp(a * b * s * kScale, 0, 1);
    return face > 0 ? c : c * frac(vpos.x / 2);
}
)"},
        {"colour and depth outputs", "ps_2_0", R"(
void main(float4 c : COLOR0, out float4 o0 : COLOR0, out float4 o1 : COLOR1, out float depth : DEPTH) {
    o0 = c; o1 = c.wzyx; depth = c.x;
}
)"},
        {"vs_1_1 with a bone palette", "vs_1_1", R"(
float4x3 BoneMatrix3[20];
float4x4 ViewProj;
float4 main(float4 pos : POSITION, float4 w : BLENDWEIGHT, float4 idx : BLENDINDICES) : POSITION {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 p = mul(pos, BoneMatrix3[i.x]) * w.x + mul(pos, BoneMatrix3[i.y]) * w.y;
    return mul(float4(p, 1), ViewProj);
}
)"},
    {"an effect's texture and sampler_state, flat lists of numbers", "ps_2_0", R"(
texture Diffuse;
sampler2D DiffuseSampler = sampler_state { Texture = <Diffuse>; MinFilter = Linear; MagFilter = Linear; };
float2 Offsets[3] = { -0.326, -0.405, 0.5, 0.25, 0.1, 0.2 };
static const float2 kTaps[2] = { 0.5, -0.5, -1.0, 1.0 };
static const float4x4 kIdentity = { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1 };
float4 main(float2 uv : TEXCOORD0) : COLOR {
    float4 c = 0;
    for (int i = 0; i < 3; i++) c += tex2D(DiffuseSampler, uv + Offsets[i] + kTaps[i % 2]);
    return mul(c / 3, kIdentity);
}
)"},
};

} // namespace

// Effect files' own declarations are the effect's business: the compiler
// sees a texture as nothing and a sampler without its states; flat number
// lists are regrouped per element.
TEST(GfxUtilHlslTest, EffectDeclarationsAndFlatListsCompile) {
    Compiled ps;
    Compile(ps, kDialect[4].source, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(Constant(ps.container, "Diffuse"), nullptr);
    EXPECT_EQ(Constant(ps.container, "kTaps"), nullptr);
    const ShaderConstantRecord* sampler = Constant(ps.container, "DiffuseSampler");
    const ShaderConstantRecord* offsets = Constant(ps.container, "Offsets");
    ASSERT_TRUE(sampler && offsets);
    EXPECT_EQ(sampler->registerSet, D3DXRS_SAMPLER);
    EXPECT_TRUE(sampler->defaultValue.empty());
    EXPECT_EQ(offsets->registerCount, 3u);
    EXPECT_EQ(offsets->elements, 3u);
    ASSERT_EQ(offsets->defaultValue.size(), 24u);
    float values[6];
    std::memcpy(values, offsets->defaultValue.data(), 24);
    EXPECT_EQ(values[0], -0.326f);
    EXPECT_EQ(values[3], 0.25f);
    // The static table's numbers reach the code as constants.
    EXPECT_NE(ps.container.glsl.find("0.5"), std::string::npos) << ps.container.glsl;
}

// Both include forms find the file beside the includer; errors after an
// include keep the includer's line.
TEST(GfxUtilHlslTest, IncludesOfBothFormsResolve) {
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    auto write = [&](const std::string& name, const std::string& text) {
        std::FILE* f = std::fopen((std::string(folder) + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    write("common.fxh", "float4 Tint;\nfloat4 Shade(float4 c) { return c * Tint; }\n");
    write("more.fxh", "#include \"common.fxh\"\nfloat4 Bias;\n");
    write("main.hlsl", "#include <more.fxh>\nfloat4 main(float4 c : COLOR0) : COLOR { return Shade(c) + Bias; }\n");
    write("bad.hlsl", "#include \"common.fxh\"\n\nfloat4 main() : COLOR { return nothing; }\n");
    write("missing.hlsl", "#include <none.fxh>\nfloat4 main() : COLOR { return 0; }\n");
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3DXCompileShaderFromFile((std::string(folder) + "/main.hlsl").c_str(), "main", "ps_2_0", 0, &code,
                                        &errors, &table),
              D3D_OK);
    ASSERT_NE(table, nullptr);
    // The included globals are laid out with the rest.
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    ASSERT_EQ(table->GetConstantDesc("Tint", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 0u);
    ASSERT_EQ(table->GetConstantDesc("Bias", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 1u);
    table->Release();
    code->Release();
    EXPECT_EQ(D3DXCompileShaderFromFile((std::string(folder) + "/bad.hlsl").c_str(), "main", "ps_2_0", 0, &code,
                                        &errors, nullptr),
              E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find("bad.hlsl(3,"), std::string::npos)
        << static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
    EXPECT_EQ(D3DXCompileShaderFromFile((std::string(folder) + "/missing.hlsl").c_str(), "main", "ps_2_0", 0, &code,
                                        &errors, nullptr),
              E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find("(1,1): error: cannot open include file 'none.fxh'"),
              std::string::npos);
    errors->Release();
    // Found in an include folder once one names it.
    std::filesystem::create_directories(std::string(folder) + "/shared");
    write("shared/none.fxh", "float4 Found;\n");
    SetIncludeFolders({std::string(folder) + "/shared"});
    EXPECT_EQ(D3DXCompileShaderFromFile((std::string(folder) + "/missing.hlsl").c_str(), "main", "ps_2_0", 0, &code,
                                        nullptr, nullptr),
              D3D_OK);
    SetIncludeFolders({});
    if (code) code->Release();
    std::filesystem::remove_all(folder);
}

TEST(GfxUtilHlslTest, TheDX9DialectCompiles) {
    for (const DialectCase& c : kDialect) {
        SCOPED_TRACE(c.what);
        Compiled out;
        Compile(out, c.source, c.profile);
        EXPECT_EQ(out.result, D3D_OK) << out.errors;
    }
}

// Each drawn beside the fixed-function other half: the device's GLSL around
// the program compiles and links.
TEST_P(GfxUtilHlslDrawTest, TheDX9DialectDraws) {
    if (Stopped()) return;
    for (const DialectCase& c : kDialect) {
        SCOPED_TRACE(c.what);
        Compiled out;
        Compile(out, c.source, c.profile);
        ASSERT_EQ(out.result, D3D_OK) << out.errors;
        const bool vertex = c.profile[0] == 'v';
        IDirect3DVertexShader9* v = vertex ? Make<IDirect3DVertexShader9>(out) : nullptr;
        IDirect3DPixelShader9* p = vertex ? nullptr : Make<IDirect3DPixelShader9>(out);
        ASSERT_TRUE(v || p);
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        DrawQuad();
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        if (v) v->Release();
        if (p) p->Release();
    }
}

// Booleans where there is static flow control, and integers named to an
// integer register, are read from the device's boolean and integer files:
// set by name through the table or straight into the registers, the program
// sees the same value.
TEST_P(GfxUtilHlslDrawTest, BooleanAndIntegerConstantsReadTheirOwnRegisters) {
    if (Stopped()) return;
    const std::string pixel = R"(
bool Invert;
int4 Steps : register(i2);
float4 Base = {0.25, 0.5, 1, 1};
float4 main(float4 col : COLOR0) : COLOR {
    float4 c = Base * col;
    for (int k = 0; k < Steps.x; ++k) c.r += 0.25;
    if (Invert) c.rgb = 1 - c.rgb;
    return c;
}
)";
    Compiled vs, ps, ps20;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, pixel, "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    const ShaderConstantRecord* invert = Constant(ps.container, "Invert");
    const ShaderConstantRecord* steps = Constant(ps.container, "Steps");
    ASSERT_TRUE(invert && steps);
    EXPECT_EQ(invert->registerSet, D3DXRS_BOOL);
    EXPECT_EQ(invert->registerIndex, 0u);
    EXPECT_EQ(steps->registerSet, D3DXRS_INT4);
    EXPECT_EQ(steps->registerIndex, 2u);
    EXPECT_EQ(Constant(ps.container, "Base")->registerIndex, 0u); // the stand-ins take no float register before it
    // Without static flow control (ps_2_0) the boolean is a float constant.
    Compile(ps20, "bool Invert;\nfloat4 main(float4 c : COLOR0) : COLOR { return Invert ? 1 - c : c; }\n", "ps_2_0");
    ASSERT_EQ(ps20.result, D3D_OK) << ps20.errors;
    EXPECT_EQ(Constant(ps20.container, "Invert")->registerSet, D3DXRS_FLOAT4);

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    const std::int32_t two[4] = {2, 0, 0, 0};
    ASSERT_EQ(ps.table->SetIntArray(device, "Steps", two, 4), D3D_OK);
    ASSERT_EQ(ps.table->SetBool(device, "Invert", 0), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 191, 128, 255, "two steps");

    ASSERT_EQ(ps.table->SetBool(device, "Invert", 1), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 64, 127, 0, "inverted");

    // Straight into the registers, as a register-level constant map does.
    const std::int32_t off = 0, one[4] = {1, 0, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstantB(0, &off, 1), D3D_OK);
    ASSERT_EQ(device->SetPixelShaderConstantI(2, one, 1), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 255, "registers");
    UnbindAndRelease(v, p);
}

// A program that indexes its float constants by a computed index keeps its
// booleans in float registers, where such an index could reach them.
TEST(GfxUtilHlslTest, BooleansStayInFloatRegistersBesideComputedIndices) {
    Compiled vs;
    Compile(vs, R"(
bool Skinned;
float4 Palette[8];
float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION {
    return Skinned ? p + Palette[(int)i.x] : p;
}
)", "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    EXPECT_EQ(Constant(vs.container, "Skinned")->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(Constant(vs.container, "Skinned")->registerIndex, 0u);
    EXPECT_EQ(Constant(vs.container, "Palette")->registerIndex, 1u);
    Compiled clash;
    Compile(clash, "int4 N : register(i1);\nfloat4 P[4];\nfloat4 main(float4 p : POSITION) : POSITION "
                   "{ return P[N.x] + p; }\n", "vs_3_0");
    EXPECT_EQ(clash.result, E_FAIL);
    EXPECT_NE(clash.errors.find("indexes its constants"), std::string::npos) << clash.errors;
}

// Old pixel profiles compile too, carrying their own version; profiles the
// D3D9 compiler never had are refused.
TEST(GfxUtilHlslTest, ProfilesCarryTheirVersion) {
    const std::string source = "float4 C;\nfloat4 main() : COLOR { return C; }\n";
    for (const char* profile : {"ps_1_1", "ps_1_4", "ps_2_b", "ps_3_0"}) {
        SCOPED_TRACE(profile);
        Compiled ps;
        Compile(ps, source, profile);
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        const auto* words = reinterpret_cast<const std::uint32_t*>(ps.code.data());
        EXPECT_EQ(D3DXGetShaderVersion(words),
                  D3DPS_VERSION(std::uint32_t(profile[3] - '0'), profile[5] == 'b' ? 2u : std::uint32_t(profile[5] - '0')));
    }
    Compiled none;
    Compile(none, source, "ps_1_0");
    EXPECT_EQ(none.result, E_FAIL);
    EXPECT_NE(none.errors.find("unknown profile 'ps_1_0'"), std::string::npos) << none.errors;
}

// A source that stops glslang itself (found by fuzz_effect: a return of an
// undeclared name in a conditional) is a failed compile, not a stopped
// process; the next compile works as ever.
TEST(GfxUtilHlslTest, ASourceThatStopsTheCompilerFailsTheCall) {
    Compiled bad;
    Compile(bad, "int N = 2;\nfloat3 main(float4 c : COLOR0, uniform bool inv) : COLOR { return inv ? 1 - c * N : Y; }\n",
            "ps_2_0");
    EXPECT_EQ(bad.result, E_FAIL);
    EXPECT_NE(bad.errors.find("memory("), std::string::npos) << bad.errors;
    EXPECT_EQ(bad.table, nullptr);
    Compiled good;
    Compile(good, kPixelSource, "ps_2_0");
    EXPECT_EQ(good.result, D3D_OK) << good.errors;
}

// Struct-typed constants: each member in registers of its own in declaration
// order (a scalar does not share the register of the vector before it),
// arrays of structs one after another, members in the table after their struct.
TEST(GfxUtilHlslTest, StructConstantsGiveEachMemberItsOwnRegisters) {
    Compiled vs;
    Compile(vs, R"(
struct Xf { float4x4 m; float3 offset; float scale, bias; int mode; float4 rows[2]; };
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
float4 Before;
Xf X : register(c10);
VOut main(float4 p : POSITION) {
    VOut o;
    o.pos = mul(p, X.m) + float4(X.offset * X.scale + X.bias, 0) + Before;
    o.col = X.rows[1] * X.mode;
    return o;
}
)", "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    const ShaderConstantRecord* x = Constant(vs.container, "X");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->cls, D3DXPC_STRUCT);
    EXPECT_EQ(x->type, D3DXPT_VOID);
    EXPECT_EQ(x->registerIndex, 10u);
    EXPECT_EQ(x->registerCount, 10u); // 4 + 1 + 1 + 1 + 1 + 2
    EXPECT_EQ(x->structMembers, 6u);
    EXPECT_EQ(x->columns, 16u + 3 + 1 + 1 + 1 + 8);
    const int at = int(x - vs.container.constants.data());
    struct Want {
        const char* name;
        std::uint16_t index, count, cls, type;
    };
    const Want want[] = {{"m", 10, 4, D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT}, {"offset", 14, 1, D3DXPC_VECTOR, D3DXPT_FLOAT},
                         {"scale", 15, 1, D3DXPC_SCALAR, D3DXPT_FLOAT},     {"bias", 16, 1, D3DXPC_SCALAR, D3DXPT_FLOAT},
                         {"mode", 17, 1, D3DXPC_SCALAR, D3DXPT_INT},        {"rows", 18, 2, D3DXPC_VECTOR, D3DXPT_FLOAT}};
    ASSERT_GE(vs.container.constants.size(), std::size_t(at) + 7);
    for (std::size_t k = 0; k < std::size(want); ++k) {
        SCOPED_TRACE(want[k].name);
        const ShaderConstantRecord& m = vs.container.constants[at + 1 + k];
        EXPECT_EQ(m.name, want[k].name);
        EXPECT_EQ(m.parent, at);
        EXPECT_EQ(m.registerIndex, want[k].index);
        EXPECT_EQ(m.registerCount, want[k].count);
        EXPECT_EQ(m.cls, want[k].cls);
        EXPECT_EQ(m.type, want[k].type);
    }
    EXPECT_EQ(Constant(vs.container, "Before")->registerIndex, 0u);

    // A struct used only for inputs and outputs is left as it is; one whose
    // member cannot be laid out is refused when a constant has its type.
    Compiled nested;
    Compile(nested, R"(
struct Inner { float4 a; };
struct Outer { Inner i; float4 b; };
Outer O;
float4 main(float4 p : POSITION) : POSITION { return p + O.b; }
)", "vs_3_0");
    EXPECT_EQ(nested.result, E_FAIL);
    EXPECT_NE(nested.errors.find("struct 'Outer'"), std::string::npos) << nested.errors;
}

TEST_P(GfxUtilHlslDrawTest, StructConstantsDrawAndSetByMember) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
struct Light { float3 colour; float strength; };
Light Lights[2];
float4 Ambient;
float4 main(float4 col : COLOR0) : COLOR {
    float3 c = Ambient.rgb;
    for (int k = 0; k < 2; ++k) c += Lights[k].colour * Lights[k].strength;
    return float4(c, 1) * col;
}
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ID3DXConstantTable* t = ps.table;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    ASSERT_EQ(t->GetConstantDesc("Lights", &d, &n), D3D_OK);
    EXPECT_EQ(d.Class, D3DXPC_STRUCT);
    EXPECT_EQ(d.RegisterIndex, 0u);
    EXPECT_EQ(d.RegisterCount, 4u);
    EXPECT_EQ(d.Elements, 2u);
    EXPECT_EQ(d.StructMembers, 2u);
    ASSERT_EQ(t->GetConstantDesc("Ambient", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 4u);
    ASSERT_EQ(t->GetConstantDesc("Lights[1].strength", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 3u);
    EXPECT_EQ(d.Class, D3DXPC_SCALAR);
    // Handles reach the same members by index and by name under a parent.
    const D3DXHANDLE first = t->GetConstantElement("Lights", 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(t->GetConstant(first, 1), t->GetConstantByName(nullptr, "Lights[0].strength"));
    EXPECT_EQ(t->GetConstantByName(first, "colour"), t->GetConstantByName(nullptr, "Lights[0].colour"));
    EXPECT_EQ(t->GetConstant(first, 2), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "Lights[2].colour"), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "Lights[0].nothing"), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "Lights."), nullptr);

    // The whole array: member by member, element by element; one value too
    // many is dropped.
    const float all[9] = {1, 0, 0, 0.5f, 0, 0.5f, 0, 1, 7};
    ASSERT_EQ(t->SetFloatArray(device, "Lights", all, 9), D3D_OK);
    float regs[5 * 4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(0, regs, 5), D3D_OK);
    const float wantRegs[4 * 4] = {1, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 1, 0, 0, 0};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(regs[k], wantRegs[k]) << k;
    EXPECT_EQ(regs[16], 0.f);
    const D3DXVECTOR4 ambient{0, 0, 0.25f, 0};
    ASSERT_EQ(t->SetVector(device, "Ambient", &ambient), D3D_OK);

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 64, "whole array");

    // One member by name, one by handle.
    const D3DXVECTOR4 blue{0, 0, 1, 0};
    ASSERT_EQ(t->SetVector(device, "Lights[1].colour", &blue), D3D_OK);
    ASSERT_EQ(t->SetFloat(device, t->GetConstant(first, 1), 0.f), D3D_OK);
    ASSERT_EQ(device->GetPixelShaderConstantF(1, regs, 2), D3D_OK);
    EXPECT_EQ(regs[0], 0.f);
    EXPECT_EQ(regs[4 + 2], 1.f);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0, 0, 255, "members");
    UnbindAndRelease(v, p);
}

// An int bounding a `for` loop reads an integer register where the profile
// has static flow control; an int read any other way, or in ps_2_0, stays a
// float constant. The count set by name draws, and reads back as a loop
// register: count, start 0, step 1.
TEST_P(GfxUtilHlslDrawTest, AnIntBoundingALoopReadsAnIntegerRegister) {
    if (Stopped()) return;
    const std::string pixel = R"(
float4 Base = {0.25, 0.5, 1, 1};
int Count;
int Scale;
float4 main(float4 col : COLOR0) : COLOR {
    float4 c = Base * col;
    for (int k = 0; k < Count; ++k) c.r += 0.25;
    return c * Scale;
}
)";
    Compiled vs, ps, ps20, vs20;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, pixel, "ps_3_0");
    Compile(ps20, pixel, "ps_2_0");
    Compile(vs20, "int Bones;\nint Twice;\nfloat4 Offsets[4];\nfloat4 main(float4 p : POSITION) : POSITION {\n"
                  "    for (int b = 0; Bones > b; b++) p += Offsets[0];\n"
                  "    for (int t = 0; t < Twice; t++) p += Offsets[1] * Twice;\n    return p;\n}\n", "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ASSERT_EQ(ps20.result, D3D_OK) << ps20.errors;
    ASSERT_EQ(vs20.result, D3D_OK) << vs20.errors;
    const ShaderConstantRecord* count = Constant(ps.container, "Count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->registerSet, D3DXRS_INT4);
    EXPECT_EQ(count->registerIndex, 0u);
    EXPECT_EQ(Constant(ps.container, "Scale")->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(Constant(ps.container, "Scale")->registerIndex, 1u); // the count takes no float register
    EXPECT_EQ(Constant(ps20.container, "Count")->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(Constant(vs20.container, "Bones")->registerSet, D3DXRS_INT4);
    // Read as a number too: a float register.
    EXPECT_EQ(Constant(vs20.container, "Twice")->registerSet, D3DXRS_FLOAT4);

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    ASSERT_EQ(ps.table->SetInt(device, "Scale", 1), D3D_OK);
    ASSERT_EQ(ps.table->SetInt(device, "Count", 2), D3D_OK);
    std::int32_t reg[4] = {-1, -1, -1, -1};
    ASSERT_EQ(device->GetPixelShaderConstantI(0, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], 2);
    EXPECT_EQ(reg[1], 0);
    EXPECT_EQ(reg[2], 1);
    EXPECT_EQ(reg[3], 0);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 191, 128, 255, "two rounds");
    // Straight into the register, as a register-level constant map does.
    const std::int32_t none[4] = {0, 0, 1, 0};
    ASSERT_EQ(device->SetPixelShaderConstantI(0, none, 1), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 64, 128, 255, "no rounds");
    UnbindAndRelease(v, p);
}

// A compiled vs_3_0 program's tex2Dlod reads the texture set on the vertex
// sampler its table names; below vs_3_0 a vertex fetch is refused.
TEST_P(GfxUtilHlslDrawTest, VertexProgramsFetchTextures) {
    if (Stopped()) return;
    const std::string vertex = R"(
sampler2D Height : register(s1);
float4 Coord;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION) {
    VOut o;
    o.pos = p;
    o.col = tex2Dlod(Height, Coord);
    return o;
}
)";
    Compiled vs, ps, vs20;
    Compile(vs, vertex, "vs_3_0");
    Compile(ps, "float4 main(float4 col : COLOR0) : COLOR { return col; }\n", "ps_3_0");
    Compile(vs20, vertex, "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(vs20.result, E_FAIL);
    EXPECT_NE(vs20.errors.find("vs_3_0"), std::string::npos) << vs20.errors;
    EXPECT_EQ(vs.container.samplers[1], D3DSTT_2D);
    const std::uint32_t unit = vs.table->GetSamplerIndex("Height");
    ASSERT_EQ(unit, 1u);

    // Red, green / blue, white.
    IDirect3DTexture9* quad = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &quad, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(quad->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const std::uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch, texels + 2 * y, 8);
    quad->UnlockRect(0);
    const std::uint32_t sampler = D3DVERTEXTEXTURESAMPLER0 + unit;
    ASSERT_EQ(device->SetTexture(sampler, quad), D3D_OK);
    ASSERT_EQ(device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
    ASSERT_EQ(device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    const D3DXVECTOR4 green{0.75f, 0.25f, 0, 0}, blue{0.25f, 0.75f, 0, 0};
    ASSERT_EQ(vs.table->SetVector(device, "Coord", &green), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0, 255, 0, "texel (1, 0)");
    ASSERT_EQ(vs.table->SetVector(device, "Coord", &blue), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0, 0, 255, "texel (0, 1)");
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(sampler, nullptr), D3D_OK);
    quad->Release();
    v->Release();
    p->Release();
}

// A vertex program has four samplers: one past them is a compile error.
TEST(GfxUtilHlslTest, AVertexSamplerPastTheFourIsRefused) {
    Compiled vs;
    Compile(vs, "sampler2D S : register(s4);\nfloat4 main(float4 p : POSITION) : POSITION "
                "{ return tex2Dlod(S, p); }\n", "vs_3_0");
    EXPECT_EQ(vs.result, E_FAIL);
    EXPECT_NE(vs.errors.find("beyond unit 3"), std::string::npos) << vs.errors;
}

// A struct constant's initialiser is its default value, member by member.
TEST_P(GfxUtilHlslDrawTest, AStructInitialiserIsItsDefault) {
    if (Stopped()) return;
    Compiled ps;
    Compile(ps, "struct L { float3 c; float s; };\nL Key = { 1, 0.5, 0, 0.25 };\n"
                "float4 main(float4 col : COLOR0) : COLOR { return float4(Key.c * Key.s, 1); }\n", "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    float regs[8] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(0, regs, 2), D3D_OK);
    EXPECT_EQ(regs[0], 1.f);
    EXPECT_EQ(regs[1], 0.5f);
    EXPECT_EQ(regs[2], 0.f);
    EXPECT_EQ(regs[4], 0.25f);
}

// An array of structs read at a computed index draws: the loop bound that
// indexes it stays a float constant, where such an index could reach it.
TEST_P(GfxUtilHlslDrawTest, StructArraysReadAtAComputedIndexDraw) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
struct Light { float3 colour; float strength; };
Light Lights[3];
int Count;
float4 main(float4 col : COLOR0) : COLOR {
    float3 c = 0;
    for (int k = 0; k < Count; ++k) c += Lights[k].colour * Lights[k].strength;
    return float4(c, 1) * col;
}
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    EXPECT_EQ(Constant(ps.container, "Count")->registerSet, D3DXRS_FLOAT4);
    EXPECT_EQ(Constant(ps.container, "Count")->registerIndex, 6u);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    const float lights[12] = {1, 0, 0, 0.5f, 0, 1, 0, 0.5f, 0, 0, 1, 1};
    ASSERT_EQ(ps.table->SetFloatArray(device, "Lights", lights, 12), D3D_OK);
    ASSERT_EQ(ps.table->SetInt(device, "Count", 2), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 0, "two lights");
    ASSERT_EQ(ps.table->SetInt(device, "Count", 3), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 255, "three lights");
    UnbindAndRelease(v, p);
}

namespace {

// The programs most draws below pass the vertex colour through with.
constexpr const char* kColourPixel = "float4 main(float4 col : COLOR0) : COLOR { return col; }\n";
constexpr const char* kColourVertex = R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float4 c : COLOR0) { VOut o; o.pos = p; o.col = c; return o; }
)";

} // namespace

// Every way an entry point hands out what it writes: returned, through `out`
// and `inout` parameters, in structs, mixed. Each must reach the pixels.
TEST_P(GfxUtilHlslDrawTest, EveryFormOfOutputDraws) {
    if (Stopped()) return;
    const struct {
        const char* what;
        const char* source;
    } kForms[] = {
        {"a returned struct", R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION) { VOut o; o.pos = p; o.col = float4(1, 0.5, 0, 1); return o; }
)"},
        {"out parameters", R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 oCol : COLOR0) {
    oPos = p; oCol = float4(1, 0.5, 0, 1);
}
)"},
        {"an inout position", R"(
void main(inout float4 p : POSITION, out float4 c : COLOR0) { c = float4(1, 0.5, 0, 1); }
)"},
        {"a returned position, the colour in an out struct", R"(
struct VCol { float4 col : COLOR0; float2 uv : TEXCOORD0; };
float4 main(float4 p : POSITION, out VCol o) : POSITION { o.col = float4(1, 0.5, 0, 1); o.uv = 0; return p; }
)"},
        {"an out struct holding the position", R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
void main(float4 p : POSITION, out VOut o, out float fog : FOG) { o.pos = p; o.col = float4(1, 0.5, 0, 1); fog = 1; }
)"},
    };
    Compiled ps;
    Compile(ps, kColourPixel, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_NE(p, nullptr);
    for (const auto& form : kForms)
        for (const char* profile : {"vs_2_0", "vs_3_0"}) {
            const std::string what = std::string(form.what) + " at " + profile;
            Compiled vs;
            Compile(vs, form.source, profile);
            ASSERT_EQ(vs.result, D3D_OK) << what << "\n" << vs.errors;
            const auto& outputs = vs.container.outputs;
            EXPECT_EQ(std::count_if(outputs.begin(), outputs.end(),
                                    [](const ShaderSemantic& s) { return s.usage == D3DDECLUSAGE_POSITION; }),
                      1)
                << what;
            IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
            ASSERT_NE(v, nullptr) << what;
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            Clear();
            DrawQuad();
            ExpectPixel(8, 8, 255, 128, 0, what);
            ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
            v->Release();
        }
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    p->Release();

    // A pixel program's colour through an inout parameter.
    Compiled vs, inout;
    Compile(vs, kForms[1].source, "vs_2_0");
    Compile(inout, "void main(inout float4 c : COLOR0) { c = c.bgra; }\n", "ps_2_0");
    ASSERT_EQ(inout.result, D3D_OK) << inout.errors;
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    p = Make<IDirect3DPixelShader9>(inout);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    ExpectPixel(8, 8, 0, 128, 255, "inout colour");
    UnbindAndRelease(v, p);
}

// Outputs other than the position written through parameters are recorded
// too; a program that writes no position or no colour is refused, not drawn
// as nothing.
TEST(GfxUtilHlslTest, OutputsThroughParametersAreRecordedAndMissingOnesRefused) {
    Compiled vs;
    Compile(vs, R"(
void main(float4 p : POSITION, out float4 oPos : POSITION, out float4 c1 : COLOR1, out float2 t3 : TEXCOORD3,
          out float fog : FOG, out float size : PSIZE) { oPos = p; c1 = p; t3 = p.xy; fog = p.z; size = 2; }
)",
            "vs_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    std::vector<std::pair<int, int>> written;
    for (const ShaderSemantic& s : vs.container.outputs) written.push_back({s.usage, s.index});
    std::sort(written.begin(), written.end());
    const std::vector<std::pair<int, int>> expected{{D3DDECLUSAGE_POSITION, 0}, {D3DDECLUSAGE_PSIZE, 0},
                                                    {D3DDECLUSAGE_TEXCOORD, 3}, {D3DDECLUSAGE_COLOR, 1},
                                                    {D3DDECLUSAGE_FOG, 0}};
    EXPECT_EQ(written, expected);
    // Each output its own register.
    for (std::size_t i = 0; i < vs.container.outputs.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) EXPECT_NE(vs.container.outputs[i].reg, vs.container.outputs[j].reg);
    TranslatedShader translated;
    std::string error;
    EXPECT_TRUE(TranslateShaderContainer(vs.container, translated, error)) << error;

    Compiled noPosition, noColour;
    Compile(noPosition, "void main(float4 p : POSITION, out float4 c : COLOR0) { c = p; }\n", "vs_2_0");
    EXPECT_EQ(noPosition.result, E_FAIL);
    EXPECT_NE(noPosition.errors.find("vertex program writes no position"), std::string::npos) << noPosition.errors;
    EXPECT_TRUE(noPosition.code.empty());
    Compile(noColour, "void main(float4 c : COLOR0, out float d : DEPTH) { d = c.x; }\n", "ps_2_0");
    EXPECT_EQ(noColour.result, E_FAIL);
    EXPECT_NE(noColour.errors.find("pixel program writes no colour"), std::string::npos) << noColour.errors;
}

// Uniform parameters of the entry point are constants like globals: listed
// in the table under the parameter's name with "$" before it, set by name.
TEST_P(GfxUtilHlslDrawTest, UniformParametersAreInTheTableAndSetByName) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, R"(
float4 Bias;
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut main(float4 p : POSITION, float2 uv : TEXCOORD0, uniform float4x4 wvp, uniform float4 tint,
          uniform float4 scales[2]) {
    VOut o;
    o.pos = mul(p, wvp);
    o.col = tint * scales[1] + Bias;
    o.uv = uv;
    return o;
}
)",
            "vs_2_0");
    Compile(ps, R"(
float4 main(float2 uv : TEXCOORD0, float4 col : COLOR0, uniform sampler2D tex) : COLOR { return tex2D(tex, uv) * col; }
)",
            "ps_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$wvp"), &d, &n), D3D_OK);
    EXPECT_STREQ(d.Name, "$wvp");
    EXPECT_EQ(d.Class, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(d.RegisterCount, 4u);
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$scales"), &d, &n), D3D_OK);
    EXPECT_EQ(d.Elements, 2u);
    EXPECT_EQ(d.RegisterCount, 2u);
    ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, "$tint"), &d, &n), D3D_OK);
    EXPECT_EQ(d.Class, D3DXPC_VECTOR);
    EXPECT_NE(vs.table->GetConstantByName(nullptr, "Bias"), nullptr);
    EXPECT_EQ(vs.table->GetConstantByName(nullptr, "wvp"), nullptr);
    // Globals and parameters share the registers without overlapping.
    D3DXCONSTANTTABLE_DESC table;
    ASSERT_EQ(vs.table->GetDesc(&table), D3D_OK);
    EXPECT_EQ(table.Constants, 4u);
    std::vector<bool> taken(16);
    for (std::uint32_t i = 0; i < table.Constants; ++i) {
        ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstant(nullptr, i), &d, &n), D3D_OK);
        for (std::uint32_t r = d.RegisterIndex; r < d.RegisterIndex + d.RegisterCount; ++r) {
            ASSERT_LT(r, taken.size());
            EXPECT_FALSE(taken[r]) << d.Name;
            taken[r] = true;
        }
    }
    const std::uint32_t unit = ps.table->GetSamplerIndex("$tex");
    ASSERT_LT(unit, 16u);

    IDirect3DTexture9* white = OneTexel(0xFF80FFFFu); // half red
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    D3DXMATRIX half{};
    half.m[0][0] = half.m[1][1] = 0.5f;
    half.m[2][2] = half.m[3][3] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "$wvp", &half), D3D_OK);
    const D3DXVECTOR4 tint{1.f, 1.f, 0.5f, 1.f}, zero{0, 0, 0, 0};
    const D3DXVECTOR4 scales[2] = {{0, 0, 0, 0}, {1.f, 0.5f, 1.f, 1.f}};
    ASSERT_EQ(vs.table->SetVector(device, "$tint", &tint), D3D_OK);
    ASSERT_EQ(vs.table->SetVectorArray(device, "$scales", scales, 2), D3D_OK);
    ASSERT_EQ(vs.table->SetVector(device, "Bias", &zero), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 128, "inside the half-size quad");
    ExpectPixel(1, 1, 0, 0, 0, "outside it");
    UnbindAndRelease(v, p);
    ASSERT_EQ(device->SetTexture(unit, nullptr), D3D_OK);
    white->Release();
}

// An effect file's programs compiled one entry at a time: what only the
// effect reads (techniques, passes, annotations, strings, shader objects) is
// not the compiler's business.
TEST_P(GfxUtilHlslDrawTest, AnEffectFileCompilesOneEntryAtATime) {
    if (Stopped()) return;
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/crt.fx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(R"(// A screen effect as tools write them.
string Description = "scanlines; and a < in a string";
float4x4 WorldViewProj : WORLDVIEWPROJECTION < string UIName = "transform"; >;
float Level < string UIWidget = "slider"; float UIMin = 0; float UIMax = 1; > = 0.5;
texture Screen < string ResourceName = "screen.dds"; >;
sampler2D ScreenSampler = sampler_state { Texture = <Screen>; MinFilter = Point; MagFilter = Point; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut vs_main(float4 p : POSITION, float2 uv : TEXCOORD0) {
    VOut o;
    o.pos = mul(p, WorldViewProj);
    o.uv = uv;
    return o;
}
float4 ps_main(float2 uv : TEXCOORD0) : COLOR { return tex2D(ScreenSampler, uv) * Level; }
PixelShader CompiledPixel = compile ps_2_0 ps_main();
technique CRT < string Name = "crt"; int Order = 1; >
{
    pass Scan < string Note = "the only one"; >
    {
        VertexShader = compile vs_2_0 vs_main();
        PixelShader = (CompiledPixel);
        ZEnable = false;
        CullMode = None;
    }
}
technique Fallback { pass { VertexShader = null; PixelShader = null; } }
)",
               f);
    std::fclose(f);
    Compiled vs, ps;
    CompileFile(vs, path, "vs_2_0", "vs_main");
    CompileFile(ps, path, "ps_2_0", "ps_main");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    // The annotated globals are constants; the string and the shader object are not.
    EXPECT_NE(vs.table->GetConstantByName(nullptr, "WorldViewProj"), nullptr);
    EXPECT_EQ(vs.table->GetConstantByName(nullptr, "Description"), nullptr);
    EXPECT_NE(ps.table->GetConstantByName(nullptr, "Level"), nullptr);
    const std::uint32_t unit = ps.table->GetSamplerIndex("ScreenSampler");
    ASSERT_LT(unit, 16u);
    // An error still names the effect file's own line.
    Compiled bad;
    CompileFile(bad, path, "ps_2_0", "nothing");
    EXPECT_EQ(bad.result, E_FAIL);

    IDirect3DTexture9* white = OneTexel(0xFFFFFFFFu);
    ASSERT_NE(white, nullptr);
    ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    D3DXMATRIX identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.f;
    ASSERT_EQ(vs.table->SetMatrix(device, "WorldViewProj", &identity), D3D_OK);
    ASSERT_EQ(ps.table->SetDefaults(device), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 128, 128, 128, "the default level");
    UnbindAndRelease(v, p);
    ASSERT_EQ(device->SetTexture(unit, nullptr), D3D_OK);
    white->Release();
    std::filesystem::remove_all(folder);
}

// Arrays of vectors and matrices in a function body, `static const` ones
// too, initialised from one flat list of numbers as file-scope ones are.
TEST_P(GfxUtilHlslDrawTest, LocalArraysTakeFlatInitialisers) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kColourVertex, "vs_2_0");
    Compile(ps, R"(
float4 main(float4 col : COLOR0) : COLOR {
    float2 taps[3] = { 0.1, 0.2, -0.3, 0.4, 0.25, -0.5 };
    static const float3 weights[2] = { 1.0, 0.0, 0.0, 0.0, 0.5, 0.25 };
    const float4 extra[2] = { 0, 0, 0, 0, 0.25, 0.125, -0.0625, 1 };
    static const float4x4 swap[2] = { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1,
                                      0,1,0,0, 1,0,0,0, 0,0,1,0, 0,0,0,1 };
    float4 c = float4(taps[0] + taps[2], weights[1].y + weights[1].z, 1) + extra[1];
    int k = int(col.x * 1.5);
    return mul(c, swap[k]);
}
)",
            "ps_2_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    // c = (0.35 + 0.25, -0.3 + 0.125, 0.75 - 0.0625, 2): x 0.6, y clamps to 0, z 0.6875.
    DrawQuad(0xFF000000u);
    ExpectPixel(8, 8, 0.6 * 255, 0, 0.6875 * 255, "the first matrix");
    // A white vertex colour picks the second matrix, which swaps x and y.
    Clear();
    DrawQuad(0xFFFFFFFFu);
    ExpectPixel(8, 8, 0, 0.6 * 255, 0.6875 * 255, "the second matrix");
    UnbindAndRelease(v, p);
}

namespace {

// A skinned vertex: where it lies, two bones by their weights and indices
// (in a D3DCOLOR's blue and green bytes), and where it is drawn.
struct SkinVertex {
    float pos[3];
    float weights[2];
    std::uint32_t indices;
    float corner[2];
};

struct SkinCase {
    const char* what;
    const char* profile;
    const char* palette; // its name in the table
    int rows, columns;   // each bone's matrix as the program declares it
    const char* source;
};

// The skinned position comes out as the colour: p * 0.25 + 0.5.
const SkinCase kSkinCases[] = {
    {"float3x4 from the left, by D3DCOLORtoUBYTE4", "vs_2_0", "Bones", 3, 4, R"(
float3x4 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = mul(Bones[i.x], p) * w.x + mul(Bones[i.y], p) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
    {"float4x3 from the right, by a loop counter", "vs_2_0", "Bones", 4, 3, R"(
float4x3 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = 0;
    for (int k = 0; k < 2; k++) s += mul(p, Bones[i[k]]) * w[k];
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
    {"float4x4 column-major, by a loop counter", "vs_3_0", "Bones", 4, 4, R"(
float4x4 Bones[8];
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float4 s = 0;
    for (int k = 0; k < 2; k++) s += mul(p, Bones[i[k]]) * w[k];
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s.xyz * 0.25 + 0.5, 1); return o;
}
)"},
    {"row_major float4x4, by D3DCOLORtoUBYTE4", "vs_1_1", "Bones", 4, 4, R"(
row_major float4x4 Bones[8];
void main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0,
          out float4 pos : POSITION, out float4 col : COLOR0) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float4x4 m = Bones[i.x] * w.x + Bones[i.y] * w.y;
    pos = float4(corner, 0.5, 1);
    col = float4(mul(p, m).xyz * 0.25 + 0.5, 1);
}
)"},
    {"a uniform float3x4 palette handed whole to a function", "vs_2_0", "$pal", 3, 4, R"(
float3 Skin(float3x4 bones[8], float4 p, int i) { return mul(bones[i], p); }
struct VOut { float4 pos : POSITION; float4 col : COLOR0; };
VOut main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES, float2 corner : TEXCOORD0,
          uniform float3x4 pal[8]) {
    int4 i = D3DCOLORtoUBYTE4(idx);
    float3 s = Skin(pal, p, i.x) * w.x + Skin(pal, p, i.y) * w.y;
    VOut o; o.pos = float4(corner, 0.5, 1); o.col = float4(s * 0.25 + 0.5, 1); return o;
}
)"},
};

// Bone b: a turn about z by 0.3 b radians, scaled by 0.8 + 0.05 b, moved by
// (0.1 b, -0.05 b, 0.2).
D3DXMATRIX Bone(int b) {
    return TurnScaleMove(0.3f * float(b), 0.8f + 0.05f * float(b), 0.1f * float(b), -0.05f * float(b), 0.2f);
}

// What the program makes of `p` with bone `m`, as the matrix it declares
// holds it: a float3x4 (the first three rows) multiplied from the left, a
// float4x3 (the first three columns) or float4x4 from the right.
void SkinOnCpu(const D3DXMATRIX& m, int rows, const float p[4], float out[3]) {
    for (int k = 0; k < 3; ++k) {
        out[k] = 0;
        for (int j = 0; j < 4; ++j) out[k] += rows == 3 ? m.m[k][j] * p[j] : p[j] * m.m[j][k];
    }
}

} // namespace

// Bone palettes as skinning programs declare them, indexed by the vertex's
// blend indices: each skinned position read back against the one computed
// here, within one step per channel.
TEST_P(GfxUtilHlslDrawTest, BonePalettesSkinAsTheCpuDoes) {
    if (Stopped()) return;
    // A 3.0 vertex program pairs with a 3.0 pixel program only.
    Compiled ps2, ps3;
    Compile(ps2, kColourPixel, "ps_2_0");
    Compile(ps3, kColourPixel, "ps_3_0");
    IDirect3DPixelShader9* p2 = Make<IDirect3DPixelShader9>(ps2);
    IDirect3DPixelShader9* p3 = Make<IDirect3DPixelShader9>(ps3);
    ASSERT_TRUE(p2 && p3);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                          {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    D3DXMATRIX bones[8];
    for (int b = 0; b < 8; ++b) bones[b] = Bone(b);
    // Vertices: where, which two bones, how much of each.
    const struct {
        float pos[3];
        int first, second;
        float weight;
    } kVertices[] = {{{0.5f, -0.25f, 0.75f}, 1, 6, 0.7f}, {{-1.f, 0.5f, 0.25f}, 7, 0, 0.25f},
                     {{0.f, 0.f, 0.f}, 3, 3, 1.f}, {{1.f, 1.f, -1.f}, 2, 5, 0.5f}};
    for (const SkinCase& c : kSkinCases) {
        Compiled vs;
        Compile(vs, c.source, c.profile);
        ASSERT_EQ(vs.result, D3D_OK) << c.what << "\n" << vs.errors;
        D3DXCONSTANT_DESC d;
        std::uint32_t n = 1;
        ASSERT_EQ(vs.table->GetConstantDesc(vs.table->GetConstantByName(nullptr, c.palette), &d, &n), D3D_OK) << c.what;
        EXPECT_EQ(d.Elements, 8u) << c.what;
        EXPECT_EQ(d.Rows, std::uint32_t(c.rows)) << c.what;
        EXPECT_EQ(d.Columns, std::uint32_t(c.columns)) << c.what;
        IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
        ASSERT_NE(v, nullptr) << c.what;
        ASSERT_EQ(vs.table->SetMatrixArray(device, c.palette, bones, 8), D3D_OK) << c.what;
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(std::string_view(c.profile) == "vs_3_0" ? p3 : p2), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        for (const auto& k : kVertices) {
            // The whole target drawn with this one vertex's skinning.
            const std::uint32_t indices = std::uint32_t(k.first) | std::uint32_t(k.second) << 8 | 0xFF000000u;
            SkinVertex quad[4];
            const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
            for (int q = 0; q < 4; ++q)
                quad[q] = {{k.pos[0], k.pos[1], k.pos[2]}, {k.weight, 1.f - k.weight}, indices,
                           {corners[q][0], corners[q][1]}};
            Clear();
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SkinVertex)), D3D_OK) << c.what;
            const float position[4] = {k.pos[0], k.pos[1], k.pos[2], 1.f};
            float a[3], b[3];
            SkinOnCpu(bones[k.first], c.rows, position, a);
            SkinOnCpu(bones[k.second], c.rows, position, b);
            double expected[3];
            for (int i = 0; i < 3; ++i)
                expected[i] = 255.0 * std::clamp((a[i] * k.weight + b[i] * (1.f - k.weight)) * 0.25 + 0.5, 0.0, 1.0);
            ExpectPixel(8, 8, expected[0], expected[1], expected[2],
                        std::string(c.what) + ", bones " + std::to_string(k.first) + " and " + std::to_string(k.second));
        }
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        v->Release();
    }
    ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    p2->Release();
    p3->Release();
    declaration->Release();
}

// Every high-level program of these tests (and the assembly one the device's
// tests draw most through) made and drawn: each vertex program records its
// position, and no draw meets a device or GL error.
TEST_P(GfxUtilHlslDrawTest, EveryProgramOfTheseTestsWritesItsPositionAndDraws) {
    if (Stopped()) return;
    struct Source {
        std::string what, profile, text;
    };
    std::vector<Source> vertex{{"the quad program", "vs_3_0", kVertexSource},
                               {"the colour program", "vs_2_0", kColourVertex}};
    std::vector<Source> pixel{{"the sampling program", "ps_3_0", kPixelSource},
                              {"the colour program", "ps_2_0", kColourPixel}};
    for (const DialectCase& c : kDialect)
        (c.profile[0] == 'v' ? vertex : pixel).push_back({c.what, c.profile, c.source});
    for (const SkinCase& c : kSkinCases) vertex.push_back({c.what, c.profile, c.source});
    auto make = [&](const Source& s, Compiled& c) {
        Compile(c, s.text, s.profile.c_str());
        EXPECT_EQ(c.result, D3D_OK) << s.what << "\n" << c.errors;
    };
    Compiled passPixel2, passPixel3;
    make(pixel[1], passPixel2);
    make({"", "ps_3_0", kColourPixel}, passPixel3);
    IDirect3DPixelShader9* p2 = Make<IDirect3DPixelShader9>(passPixel2);
    IDirect3DPixelShader9* p3 = Make<IDirect3DPixelShader9>(passPixel3);
    ASSERT_TRUE(p2 && p3);
    for (const Source& s : vertex) {
        Compiled vs;
        make(s, vs);
        if (vs.result != D3D_OK) continue;
        EXPECT_TRUE(std::any_of(vs.container.outputs.begin(), vs.container.outputs.end(),
                                [](const ShaderSemantic& o) { return o.usage == D3DDECLUSAGE_POSITION; }))
            << s.what;
        IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
        ASSERT_NE(v, nullptr) << s.what;
        ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(s.profile == "vs_3_0" ? p3 : p2), D3D_OK);
        DrawQuad();
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        v->Release();
    }
    // Pixel programs behind the assembly pass-through or the 3.0 quad program.
    Compiled quad;
    Compile(quad, kVertexSource, "vs_3_0");
    IDirect3DVertexShader9* v3 = Make<IDirect3DVertexShader9>(quad);
    IDirect3DVertexShader9* v2 = Vertex(gfxtest::kPassVertex);
    ASSERT_TRUE(v2 && v3);
    SetQuadConstants(quad);
    for (const Source& s : pixel) {
        Compiled ps;
        make(s, ps);
        if (ps.result != D3D_OK) continue;
        IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
        ASSERT_NE(p, nullptr) << s.what;
        ASSERT_EQ(device->SetVertexShader(s.profile == "ps_3_0" ? v3 : v2), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        Clear();
        DrawQuad();
        ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        p->Release();
    }
    ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    v3->Release();
    p2->Release();
    p3->Release();
}

namespace {

// Declarations as shader libraries write them, each of which only the
// preprocessor makes a global the layout can read: the macro is defined by
// the file, or given by the caller.
struct PreprocessedForm {
    const char* what;
    const char* macro; // its name, with its parameters
    const char* value;
    const char* profile;
    const char* declarations;
    const char* read;     // what the program returns
    const char* constant; // set by name
    std::uint32_t reg;    // where the table puts it
    std::uint32_t elements;
};
const PreprocessedForm kPreprocessedForms[] = {
    {"an empty marker word", "BEGIN_CONSTANTS", "", "ps_2_0", "BEGIN_CONSTANTS float4 Tint;\n", "Tint", "Tint", 0, 1},
    {"an array sized by a macro", "N", "12", "ps_3_0", "float4 L[N];\n", "L[N - 1]", "L", 0, 12},
    {"an array sized by a constant expression", "N", "4", "ps_2_0",
     "static const int Three = 3;\nfloat4 L[N * Three];\n", "L[11]", "L", 0, 12},
    {"a global in a branch not taken", "FLAT", "1", "ps_2_0",
     "#ifndef FLAT\nfloat4 Bones[BONE_COUNT];\n#endif\nfloat4 Tint;\n", "Tint", "Tint", 0, 1},
    {"alternatives of one global", "BRIGHT", "", "ps_2_0",
     "#ifdef BRIGHT\nfloat4 Tint : register(c2);\n#else\nfloat4 Tint;\n#endif\n", "Tint", "Tint", 2, 1},
    {"a register chosen by a condition", "QUALITY", "2", "vs_2_0",
     "#if QUALITY > 1 && defined(QUALITY)\nfloat4 Tint : register(c6);\n#else\nfloat4 Tint;\n#endif\n", "Tint", "Tint",
     6, 1},
    {"a declaring macro", "DECL(n)", "float4 n;", "ps_2_0", "DECL(Tint)\n", "Tint", "Tint", 0, 1},
    {"a register macro", "_vs(r)", ": register(vs, r)", "vs_2_0", "float4 Tint _vs(c3);\n", "Tint", "Tint", 3, 1},
};

// The programs of the other stage, reading no constant.
constexpr const char* kPartnerVertex = R"(
struct PartnerOut { float4 pos : POSITION; float4 col : COLOR0; };
PartnerOut vs_partner(float4 p : POSITION, float4 c : COLOR0) { PartnerOut o; o.pos = p; o.col = c; return o; }
)";
constexpr const char* kPartnerPixel = "float4 ps_partner(float4 c : COLOR0) : COLOR { return c; }\n";

// The form's program, with `prefix` first; its entry is "main".
std::string FormProgram(const PreprocessedForm& f, const std::string& prefix) {
    const std::string read = f.read;
    return prefix + f.declarations +
           (f.profile[0] == 'v' ? "struct VOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
                                  "VOut main(float4 p : POSITION) { VOut o; o.pos = p; o.col = " +
                                      read + "; return o; }\n"
                                : "float4 main() : COLOR { return " + read + "; }\n");
}

std::string WriteTemp(const std::string& folder, const std::string& name, const std::string& text) {
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return path;
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return path;
}

} // namespace

// Each form drawn: compiled from memory with its macro defined by the file
// and given by the caller, from a file, and as an effect's pass. The
// constant set by name must land where the program reads it: every other
// register of its stage holds a decoy colour.
TEST_P(GfxUtilHlslDrawTest, GlobalsAreLaidOutFromThePreprocessedSource) {
    if (Stopped()) return;
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const D3DXVECTOR4 orange{1.f, 0.5f, 0.f, 1.f}, green{0.f, 1.f, 0.f, 1.f};
    const float blue[4] = {0.f, 0.f, 1.f, 1.f};
    std::map<std::string, Compiled> partners; // by profile
    for (const PreprocessedForm& f : kPreprocessedForms) {
        const bool vertex = f.profile[0] == 'v';
        const std::string partnerProfile = std::string(vertex ? "ps" : "vs") + (f.profile + 2);
        Compiled& partner = partners[partnerProfile];
        if (partner.code.empty())
            Compile(partner, vertex ? kPartnerPixel : kPartnerVertex, partnerProfile.c_str(),
                    vertex ? "ps_partner" : "vs_partner");
        ASSERT_EQ(partner.result, D3D_OK) << partner.errors;
        const D3DXMACRO given[] = {{f.macro, f.value}, {nullptr, nullptr}};
        const std::string defined = std::string("#define ") + f.macro + " " + f.value + "\n";
        std::vector<D3DXVECTOR4> values(f.elements, green);
        values.back() = orange;
        // A decoy in every register of the form's stage.
        auto decoys = [&] {
            for (std::uint32_t r = 0; r < 32; ++r)
                ASSERT_EQ(vertex ? device->SetVertexShaderConstantF(r, blue, 1)
                                 : device->SetPixelShaderConstantF(r, blue, 1),
                          D3D_OK);
        };
        for (int path = 0; path < 3; ++path) {
            const bool byCaller = path == 1, fromFile = path == 2;
            const std::string what = std::string(f.what) +
                                     (byCaller ? ", given by the caller" : ", defined by the file") +
                                     (fromFile ? ", from a file" : "");
            SCOPED_TRACE(what);
            const std::string text = FormProgram(f, byCaller ? "" : defined);
            Compiled c;
            const D3DXMACRO* defines = byCaller ? given : nullptr;
            if (fromFile) CompileFile(c, WriteTemp(folder, "form.hlsl", text), f.profile, "main", defines);
            else Compile(c, text, f.profile, "main", defines);
            ASSERT_EQ(c.result, D3D_OK) << c.errors;
            D3DXCONSTANT_DESC d;
            std::uint32_t n = 1;
            ASSERT_EQ(c.table->GetConstantDesc(f.constant, &d, &n), D3D_OK);
            EXPECT_EQ(d.RegisterIndex, f.reg);
            EXPECT_EQ(d.Elements, f.elements);
            IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vertex ? c : partner);
            IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(vertex ? partner : c);
            ASSERT_TRUE(v && p);
            decoys();
            ASSERT_EQ(f.elements > 1 ? c.table->SetVectorArray(device, f.constant, values.data(), f.elements)
                                     : c.table->SetVector(device, f.constant, &orange),
                      D3D_OK);
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            Clear();
            DrawQuad();
            ExpectPixel(8, 8, 255, 128, 0, what);
            UnbindAndRelease(v, p);
        }
        // An effect's pass, its parameter set by name; the macro given by
        // the caller or the file, form by form.
        {
            const bool byCaller = (&f - kPreprocessedForms) % 2 == 1;
            const std::string what = std::string(f.what) + ", in an effect" + (byCaller ? ", given by the caller" : "");
            SCOPED_TRACE(what);
            const std::string text =
                FormProgram(f, byCaller ? "" : defined) + (vertex ? kPartnerPixel : kPartnerVertex) +
                "technique T { pass P {\n    VertexShader = compile " + (vertex ? f.profile : partnerProfile) +
                (vertex ? " main();\n" : " vs_partner();\n") + "    PixelShader = compile " +
                (vertex ? partnerProfile : f.profile) + (vertex ? " ps_partner();\n" : " main();\n") + "} }\n";
            ID3DXEffect* fx = nullptr;
            ID3DXBuffer* errors = nullptr;
            const HRESULT hr = D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()),
                                                byCaller ? given : nullptr, nullptr, 0, nullptr, &fx, &errors);
            std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
            if (errors) errors->Release();
            ASSERT_EQ(hr, D3D_OK) << messages;
            ASSERT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError() << messages;
            ASSERT_EQ(f.elements > 1 ? fx->SetVectorArray(f.constant, values.data(), f.elements)
                                     : fx->SetVector(f.constant, &orange),
                      D3D_OK);
            decoys();
            ASSERT_EQ(fx->SetTechnique("T"), D3D_OK);
            std::uint32_t passes = 0;
            ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
            ASSERT_EQ(fx->BeginPass(0), D3D_OK);
            Clear();
            DrawQuad();
            ASSERT_EQ(fx->EndPass(), D3D_OK);
            ASSERT_EQ(fx->End(), D3D_OK);
            ExpectPixel(8, 8, 255, 128, 0, what);
            ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
            fx->Release();
        }
    }
    std::filesystem::remove_all(folder);
}

// A refusal of the layout names the file and line the declaration stands on,
// in an included file or on a line a macro wrote.
TEST(GfxUtilHlslTest, LayoutRefusalsNameTheirFileAndLine) {
    Compiled overlap, unsized, written;
    Compile(overlap, "// two on one register\n\nfloat4 A : register(c1);\nfloat4x4 B : register(c0);\n"
                     "float4 main() : COLOR { return A + B[0]; }\n",
            "ps_3_0");
    EXPECT_EQ(overlap.result, E_FAIL);
    EXPECT_EQ(overlap.errors, "memory(4,10): error: registers of 'B' overlap another constant's\n");
    Compile(unsized, "#ifdef SKINNED\n#endif\nfloat4 Bones[BONE_COUNT];\nfloat4 main() : COLOR { return Bones[0]; }\n",
            "ps_3_0");
    EXPECT_EQ(unsized.result, E_FAIL);
    EXPECT_EQ(unsized.errors, "memory(3,8): error: global 'Bones': array size must be an integer constant\n");
    Compile(written, "#define DECL(type, n) type n;\n/* a comment\n   over lines */ DECL(float4, A)\n\nDECL(Odd, B)\n"
                     "float4 main() : COLOR { return A; }\n",
            "ps_3_0");
    EXPECT_EQ(written.result, E_FAIL);
    EXPECT_NE(written.errors.find("memory(5,"), std::string::npos) << written.errors;
    EXPECT_NE(written.errors.find("user-typed constants are not laid out"), std::string::npos) << written.errors;
    // In an included file, and the compiler's own errors after an include.
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    (void)WriteTemp(folder, "globals.fxh", "float4 Ok;\n\nfloat4 Sized[0];\n");
    (void)WriteTemp(folder, "fine.fxh", "float4 Ok;\n#define TWICE(x) ((x) * 2)\n");
    const std::string bad =
        WriteTemp(folder, "bad.hlsl", "#include \"globals.fxh\"\nfloat4 main() : COLOR { return Ok; }\n");
    const std::string late = WriteTemp(folder, "late.hlsl",
                                       "#include \"fine.fxh\"\n\nfloat4 main() : COLOR {\n"
                                       "    return TWICE(Ok) * nothing;\n}\n");
    const std::string sized = std::string(folder) + "/globals.fxh(3,8): error: global 'Sized': bad array size";
    for (const auto& [path, where] : {std::pair{bad, sized}, std::pair{late, late + "(4,"}}) {
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXCompileShaderFromFile(path.c_str(), "main", "ps_2_0", 0, nullptr, &errors, nullptr), E_FAIL);
        ASSERT_NE(errors, nullptr);
        const std::string text = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_EQ(text.rfind(where, 0), 0u) << text;
        errors->Release();
    }
    std::filesystem::remove_all(folder);
}

// "#pragma pack_matrix" is in force from where it stands, in an included
// file too: a matrix declared before it keeps the default packing.
TEST(GfxUtilHlslTest, PackMatrixHoldsFromWhereItStands) {
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    (void)WriteTemp(folder, "rows.fxh", "#pragma pack_matrix(row_major)\n");
    const std::string path = WriteTemp(folder, "packed.hlsl",
                                       "float4x3 Before;\n#include \"rows.fxh\"\nfloat4x3 After;\n"
                                       "#define COLUMNS pack_matrix(column_major)\n#pragma pack_matrix(column_major)\n"
                                       "float4x3 Last;\nfloat4 main(float4 p : POSITION) : POSITION\n"
                                       "{ return float4(mul(p, Before) + mul(p, After) + mul(p, Last), 1); }\n");
    Compiled packed;
    CompileFile(packed, path, "vs_3_0");
    ASSERT_EQ(packed.result, D3D_OK) << packed.errors;
    const ShaderContainer& c = packed.container;
    EXPECT_EQ(Constant(c, "Before")->cls, D3DXPC_MATRIX_COLUMNS);
    EXPECT_EQ(Constant(c, "Before")->registerCount, 3u);
    EXPECT_EQ(Constant(c, "After")->cls, D3DXPC_MATRIX_ROWS);
    EXPECT_EQ(Constant(c, "After")->registerCount, 4u);
    EXPECT_EQ(Constant(c, "Last")->cls, D3DXPC_MATRIX_COLUMNS);
    std::filesystem::remove_all(folder);
}

// `register` written for a profile binds the global only in programs of
// that stage, or of that very target, which wins over the stage; a binding
// for the other stage only leaves it to the normal layout.
TEST_P(GfxUtilHlslDrawTest, RegistersWrittenForAProfileBindInItsProgramsOnly) {
    if (Stopped()) return;
    const std::string text = R"(
float4 A : register(vs, c4) : register(ps, c1);
float4 B : register(vs_2_0, c6) : register(vs, c2) : register(ps_2_0, c3);
float4 C : register(ps, c7);
sampler2D S : register(ps_2_0, s2) : register(ps, s5);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut vs_main(float4 p : POSITION, float2 uv : TEXCOORD0) { VOut o; o.pos = p; o.col = A + B + C; o.uv = uv; return o; }
float4 ps_main(float4 c : COLOR0, float2 uv : TEXCOORD0) : COLOR { return c * (A + B + C) * tex2D(S, uv); }
)";
    struct Want {
        const char* profile;
        std::uint32_t a, b, c, s;
    };
    const Want wants[] = {
        {"vs_2_0", 4, 6, 0, 0}, {"vs_3_0", 4, 2, 0, 0}, {"ps_2_0", 1, 3, 7, 2}, {"ps_3_0", 1, 0, 7, 5}};
    // The layout alone: with no profile only a register for every profile binds.
    std::vector<HlslGlobal> globals;
    std::string error;
    ASSERT_TRUE(LayoutHlslGlobals("float4 A : register(vs, c4) : register(c1);\nfloat4 B : register(ps, c0);\n",
                                  globals, error))
        << error;
    EXPECT_EQ(globals[0].registerIndex, 1u);
    EXPECT_EQ(globals[1].registerIndex, 0u);
    ASSERT_TRUE(LayoutHlslGlobals("float4 A : register(vs, c4) : register(c1);\n", globals, error, "vs_1_1"));
    EXPECT_EQ(globals[0].registerIndex, 4u);
    // The register's number in brackets, as the published examples write it.
    ASSERT_TRUE(LayoutHlslGlobals("sampler2D S : register(ps, s[4]) : register(vs, s[1]);\n", globals, error, "ps_3_0"))
        << error;
    EXPECT_EQ(globals[0].registerIndex, 4u);
    EXPECT_FALSE(LayoutHlslGlobals("float4 A : register(vs, c);\n", globals, error, "vs_3_0"));
    EXPECT_EQ(error, "global 'A': only register(cN), (bN), (iN) and (sN) are taken");
    char folder[] = "/tmp/gfxutil-hlsl-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = WriteTemp(folder, "stages.hlsl", text);
    IDirect3DTexture9* white = OneTexel(0xFFFFFFFFu);
    IDirect3DTexture9* black = OneTexel(0xFF000000u);
    ASSERT_TRUE(white && black);
    const float decoy[4] = {0.f, 0.f, 1.f, 0.f};
    for (const bool fromFile : {false, true}) {
        for (int pair = 0; pair < 2; ++pair) {
            const Want& vw = wants[pair];
            const Want& pw = wants[pair + 2];
            SCOPED_TRACE(std::string(vw.profile) + (fromFile ? ", from a file" : ""));
            Compiled vs, ps;
            for (auto [c, w, entry] : {std::tuple{&vs, &vw, "vs_main"}, std::tuple{&ps, &pw, "ps_main"}}) {
                if (fromFile) CompileFile(*c, path, w->profile, entry);
                else Compile(*c, text, w->profile, entry);
                ASSERT_EQ(c->result, D3D_OK) << c->errors;
                D3DXCONSTANT_DESC d;
                std::uint32_t n = 1;
                for (const auto& [name, reg] : {std::pair{"A", w->a}, std::pair{"B", w->b}, std::pair{"C", w->c}}) {
                    ASSERT_EQ(c->table->GetConstantDesc(name, &d, &n), D3D_OK) << w->profile << " " << name;
                    EXPECT_EQ(d.RegisterIndex, reg) << w->profile << " " << name;
                }
                if (c == &ps) {
                    EXPECT_EQ(c->table->GetSamplerIndex("S"), pw.s) << pw.profile;
                }
            }
            IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
            IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
            ASSERT_TRUE(v && p);
            for (std::uint32_t r = 0; r < 32; ++r) {
                ASSERT_EQ(device->SetVertexShaderConstantF(r, decoy, 1), D3D_OK);
                ASSERT_EQ(device->SetPixelShaderConstantF(r, decoy, 1), D3D_OK);
            }
            for (std::uint32_t unit = 0; unit < 8; ++unit) ASSERT_EQ(device->SetTexture(unit, black), D3D_OK);
            ASSERT_EQ(device->SetTexture(pw.s, white), D3D_OK);
            // The vertex program's sum is orange, the pixel program's white.
            const D3DXVECTOR4 va{0.5f, 0.f, 0.f, 0.5f}, vb{0.5f, 0.25f, 0.f, 0.25f}, vc{0.f, 0.25f, 0.f, 0.25f};
            const D3DXVECTOR4 pa{0.5f, 0.5f, 0.5f, 0.5f}, pb{0.25f, 0.25f, 0.25f, 0.25f};
            ASSERT_EQ(vs.table->SetVector(device, "A", &va), D3D_OK);
            ASSERT_EQ(vs.table->SetVector(device, "B", &vb), D3D_OK);
            ASSERT_EQ(vs.table->SetVector(device, "C", &vc), D3D_OK);
            ASSERT_EQ(ps.table->SetVector(device, "A", &pa), D3D_OK);
            ASSERT_EQ(ps.table->SetVector(device, "B", &pb), D3D_OK);
            ASSERT_EQ(ps.table->SetVector(device, "C", &pb), D3D_OK);
            ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
            ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
            Clear();
            DrawQuad();
            ExpectPixel(8, 8, 255, 128, 0, vw.profile);
            UnbindAndRelease(v, p);
        }
    }
    // An effect's passes at both pairs of profiles: one parameter feeds each
    // program's own register.
    for (const char* pass : {"VertexShader = compile vs_2_0 vs_main(); PixelShader = compile ps_2_0 ps_main();",
                             "VertexShader = compile vs_3_0 vs_main(); PixelShader = compile ps_3_0 ps_main();"}) {
        SCOPED_TRACE(pass);
        const std::string effect = text + "technique T { pass P { " + pass + " } }\n";
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffect(device, effect.data(), std::uint32_t(effect.size()), nullptr, nullptr, 0,
                                            nullptr, &fx, &errors);
        const std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        ASSERT_EQ(hr, D3D_OK) << messages;
        ASSERT_EQ(fx->ValidateTechnique("T"), D3D_OK) << fx->ValidationError() << messages;
        // The sum is (1, 0.5, 0, 1) in both programs: the pixel one squares it.
        const D3DXVECTOR4 a{0.5f, 0.f, 0.f, 0.5f}, b{0.5f, 0.25f, 0.f, 0.25f}, c{0.f, 0.25f, 0.f, 0.25f};
        ASSERT_EQ(fx->SetVector("A", &a), D3D_OK);
        ASSERT_EQ(fx->SetVector("B", &b), D3D_OK);
        ASSERT_EQ(fx->SetVector("C", &c), D3D_OK);
        for (std::uint32_t r = 0; r < 32; ++r) {
            ASSERT_EQ(device->SetVertexShaderConstantF(r, decoy, 1), D3D_OK);
            ASSERT_EQ(device->SetPixelShaderConstantF(r, decoy, 1), D3D_OK);
        }
        for (std::uint32_t unit = 0; unit < 8; ++unit) ASSERT_EQ(device->SetTexture(unit, white), D3D_OK);
        ASSERT_EQ(fx->SetTechnique("T"), D3D_OK);
        std::uint32_t passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(fx->BeginPass(0), D3D_OK);
        Clear();
        DrawQuad();
        ASSERT_EQ(fx->EndPass(), D3D_OK);
        ASSERT_EQ(fx->End(), D3D_OK);
        ExpectPixel(8, 8, 255, 64, 0, "through the effect");
        ASSERT_EQ(device->SetVertexShader(nullptr), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        fx->Release();
    }
    for (std::uint32_t unit = 0; unit < 8; ++unit) ASSERT_EQ(device->SetTexture(unit, nullptr), D3D_OK);
    white->Release();
    black->Release();
    std::filesystem::remove_all(folder);
}
