// The high-level compiler as a whole: the container and table it makes, its
// messages, the table's setters, and the first programs drawn.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/platform/gfxutil/HlslDrawPrograms.h"
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
using gfx::test::DialectCase;
using gfx::test::kColourPixel;
using gfx::test::kColourVertex;
using gfx::test::kDialect;
using gfx::test::kPixelSource;
using gfx::test::kVertexSource;

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
float Fade : register(c72);
float4x3 Bones[20] : register(c4);
float4 Pin : register(c3);
row_major float4x3 RM : register(c64);
float4x4 M : register(c68);
float2 Offsets[3] : register(c0);
int Count : register(c73);
)" + body;
    std::vector<HlslGlobal> globals;
    std::string error;
    ASSERT_TRUE(LayoutHlslGlobals(implicit, globals, error)) << error;
    ASSERT_EQ(globals.size(), 7u);
    struct Want {
        const char* name;
        std::uint16_t index, count;
    };
    // The largest first, equals in declaration order, each in the lowest
    // free run: Bones (three per bone, 60) cannot fit before Pin at c3;
    // a row-major float4x3 takes one register per row; Offsets (3) fills
    // c0-c2, Fade and Count (an int, in float registers) follow M.
    const Want want[] = {{"Fade", 72, 1}, {"Bones", 4, 60}, {"Pin", 3, 1}, {"RM", 64, 4},
                         {"M", 68, 4},    {"Offsets", 0, 3}, {"Count", 73, 1}};
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
    EXPECT_EQ(a.container.constF, 74u);
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
    // Stored by name, as the D3D9 compiler stores its table.
    EXPECT_EQ(names, (std::vector<std::string>{"Busy", "Later", "Read"}));
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

// Registers given, so the numbers below read as the layout: the setters
// write what the table says wherever the layout puts it.
constexpr const char* kTableSource = R"(
float4x4 M : register(c0);
row_major float4x4 R : register(c4);
float4x3 Bones[2] : register(c8);
float3 Dir : register(c14);
float Gain : register(c15) = 3;
bool On;
float2 Pairs[2] : register(c17);
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
    // Stored by name: Bones, Dir, Gain, M, On, Pairs, R, Tex.
    EXPECT_EQ(t->GetConstant(nullptr, 0), t->GetConstantByName(nullptr, "Bones"));
    EXPECT_EQ(t->GetConstant(nullptr, 3), t->GetConstantByName(nullptr, "M"));
    EXPECT_EQ(t->GetConstant(nullptr, 7), t->GetConstantByName(nullptr, "Tex"));
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
    ExpectCentreDrawn(128, 128, 0, "scale");

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
