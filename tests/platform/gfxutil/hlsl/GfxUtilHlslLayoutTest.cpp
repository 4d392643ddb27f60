// The register layout: boolean and integer registers, struct constants, the
// layout of the preprocessed source, its refusals, matrix packing and
// registers written for a profile.

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

#include <limits>
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
    ExpectCentreDrawn(191, 128, 255, "two steps");

    ASSERT_EQ(ps.table->SetBool(device, "Invert", 1), D3D_OK);
    ExpectCentreDrawn(64, 127, 0, "inverted");

    // Straight into the registers, as a register-level constant map does.
    const std::int32_t off = 0, one[4] = {1, 0, 0, 0};
    ASSERT_EQ(device->SetPixelShaderConstantB(0, &off, 1), D3D_OK);
    ASSERT_EQ(device->SetPixelShaderConstantI(2, one, 1), D3D_OK);
    ExpectCentreDrawn(128, 128, 255, "registers");
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
    // The larger first, as the float constants go.
    EXPECT_EQ(Constant(vs.container, "Skinned")->registerIndex, 8u);
    EXPECT_EQ(Constant(vs.container, "Palette")->registerIndex, 0u);
    Compiled clash;
    Compile(clash, "int4 N : register(i1);\nfloat4 P[4];\nfloat4 main(float4 p : POSITION) : POSITION "
                   "{ return P[N.x] + p; }\n", "vs_3_0");
    EXPECT_EQ(clash.result, E_FAIL);
    EXPECT_NE(clash.errors.find("indexes its constants"), std::string::npos) << clash.errors;
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
    // member cannot be laid out (here a member of a member) is refused when
    // a constant has its type.
    Compiled nested;
    Compile(nested, R"(
struct Inner { float4 a; sampler2D s; };
struct Outer { Inner i; float4 b; };
Outer O;
float4 main(float4 p : POSITION) : POSITION { return p + O.b; }
)", "vs_3_0");
    EXPECT_EQ(nested.result, E_FAIL);
    EXPECT_NE(nested.errors.find("struct 'Outer'"), std::string::npos) << nested.errors;
    EXPECT_NE(nested.errors.find("struct 'Inner'"), std::string::npos) << nested.errors;
}

// A struct member of a struct constant takes its own struct's registers in
// its place, element after element for an array of them, and is followed in
// the table by its own members; handles reach every level by index, by
// element and by a name of parts ("S.lights[2].range").
TEST(GfxUtilHlslTest, StructsOfStructsLayTheirMembersOutInOrder) {
    Compiled vs;
    Compile(vs, R"(
struct Light { float3 colour; float range; };
struct Xf { float4x4 m; float2 scale; };
struct Scene { Xf xf; Light lights[3]; float4 tint; };
Scene S : register(c4);
float4 Before;
float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION {
    float4 q = mul(p, S.xf.m) * S.xf.scale.xyxy + Before;
    return q + float4(S.lights[(int)i.x].colour * S.lights[(int)i.y].range, 0) * S.tint;
}
)", "vs_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    const ShaderConstantRecord* scene = Constant(vs.container, "S");
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->cls, D3DXPC_STRUCT);
    EXPECT_EQ(scene->registerIndex, 4u);
    EXPECT_EQ(scene->registerCount, 12u); // 4 + 1, 3 x 2, 1
    EXPECT_EQ(scene->structMembers, 3u);
    EXPECT_EQ(scene->columns, 16u + 2 + 3 * (3 + 1) + 4);
    const int at = int(scene - vs.container.constants.data());
    struct Want {
        const char* name;
        int parent; // records after the scene's
        std::uint16_t index, count, cls, elements, members;
    };
    const Want want[] = {{"xf", -1, 4, 5, D3DXPC_STRUCT, 1, 2},
                         {"m", 0, 4, 4, D3DXPC_MATRIX_COLUMNS, 1, 0},
                         {"scale", 0, 8, 1, D3DXPC_VECTOR, 1, 0},
                         {"lights", -1, 9, 6, D3DXPC_STRUCT, 3, 2},
                         {"colour", 3, 9, 1, D3DXPC_VECTOR, 1, 0},
                         {"range", 3, 10, 1, D3DXPC_SCALAR, 1, 0},
                         {"tint", -1, 15, 1, D3DXPC_VECTOR, 1, 0}};
    ASSERT_GE(vs.container.constants.size(), std::size_t(at) + 1 + std::size(want));
    for (std::size_t k = 0; k < std::size(want); ++k) {
        SCOPED_TRACE(want[k].name);
        const ShaderConstantRecord& m = vs.container.constants[at + 1 + k];
        EXPECT_EQ(m.name, want[k].name);
        EXPECT_EQ(m.parent, want[k].parent < 0 ? at : at + 1 + want[k].parent);
        EXPECT_EQ(m.registerIndex, want[k].index);
        EXPECT_EQ(m.registerCount, want[k].count);
        EXPECT_EQ(m.cls, want[k].cls);
        EXPECT_EQ(m.elements, want[k].elements);
        EXPECT_EQ(m.structMembers, want[k].members);
    }
    // The largest first: the scene's twelve registers are taken from c4, so
    // the vector goes before them.
    EXPECT_EQ(Constant(vs.container, "Before")->registerIndex, 0u);

    ID3DXConstantTable* t = vs.table;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    const auto indexOf = [&](D3DXHANDLE h) {
        n = 1;
        return h && t->GetConstantDesc(h, &d, &n) == D3D_OK ? int(d.RegisterIndex) : -1;
    };
    const D3DXHANDLE s = t->GetConstantByName(nullptr, "S");
    ASSERT_NE(s, nullptr);
    const D3DXHANDLE lights = t->GetConstant(s, 1);
    EXPECT_EQ(lights, t->GetConstantByName(nullptr, "S.lights"));
    EXPECT_EQ(lights, t->GetConstantByName(s, "lights"));
    ASSERT_EQ(t->GetConstantDesc(lights, &d, &n), D3D_OK);
    EXPECT_EQ(d.Class, D3DXPC_STRUCT);
    EXPECT_EQ(d.Elements, 3u);
    EXPECT_EQ(d.StructMembers, 2u);
    EXPECT_EQ(d.RegisterCount, 6u);
    for (std::uint32_t e = 0; e < 3; ++e) {
        SCOPED_TRACE(e);
        const D3DXHANDLE element = t->GetConstantElement(lights, e);
        EXPECT_EQ(indexOf(element), int(9 + 2 * e));
        EXPECT_EQ(d.RegisterCount, 2u);
        EXPECT_EQ(indexOf(t->GetConstant(element, 1)), int(10 + 2 * e));
        const std::string name = "S.lights[" + std::to_string(e) + "].range";
        EXPECT_EQ(t->GetConstant(element, 1), t->GetConstantByName(nullptr, name.c_str()));
    }
    EXPECT_EQ(t->GetConstantElement(lights, 3), nullptr);
    EXPECT_EQ(indexOf(t->GetConstantByName(nullptr, "S.xf.scale")), 8);
    EXPECT_EQ(indexOf(t->GetConstantByName(t->GetConstant(s, 0), "m")), 4);
    EXPECT_EQ(indexOf(t->GetConstant(s, 2)), 15);
    EXPECT_EQ(t->GetConstant(s, 3), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "S.lights[3].range"), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "S.xf.nothing"), nullptr);
    EXPECT_EQ(t->GetConstantByName(nullptr, "S.lights.range"), nullptr); // an array's members are its elements'
}

// An array of structs whose record keeps registers only up to the last one
// read: its elements still start where the whole array puts them, each a
// struct's worth of registers on, those past the last read holding none. A
// struct the source names like a texture type (`TextureState`) is the
// source's struct.
TEST(GfxUtilHlslTest, ArraysOfStructsReadInPartKeepTheirElementsInPlace) {
    Compiled ps;
    Compile(ps, R"(
struct TextureState { float4 scale; float bias; };
TextureState Stages[4];
float4 main(float4 c : COLOR0) : COLOR { return c * Stages[0].scale + Stages[1].bias; }
)", "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ShaderContainer c;
    ASSERT_TRUE(ReadShaderContainer(ps.code.data(), ps.code.size(), c));
    const ShaderConstantRecord* stages = Constant(c, "Stages");
    ASSERT_NE(stages, nullptr);
    EXPECT_EQ(stages->cls, D3DXPC_STRUCT);
    EXPECT_EQ(stages->elements, 4u);
    // The record as the table of a program read up to Stages[1].bias has it.
    for (ShaderConstantRecord& k : c.constants)
        if (k.name == "Stages") k.registerCount = 4;
    const std::vector<std::uint8_t> bytes = WriteShaderContainer(c);
    ID3DXConstantTable* t = ID3DXConstantTable::FromCode(bytes.data(), bytes.size());
    ASSERT_NE(t, nullptr);
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    const int want[4][2] = {{0, 2}, {2, 2}, {4, 0}, {6, 0}}; // each element's first register and count
    for (std::uint32_t e = 0; e < 4; ++e) {
        SCOPED_TRACE(e);
        n = 1;
        ASSERT_EQ(t->GetConstantDesc(t->GetConstantElement("Stages", e), &d, &n), D3D_OK);
        EXPECT_EQ(int(d.RegisterIndex), want[e][0]);
        EXPECT_EQ(int(d.RegisterCount), want[e][1]);
    }
    n = 1;
    ASSERT_EQ(t->GetConstantDesc("Stages[1].bias", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 3u);
    t->Release();
}

// A struct constant of structs drawn: set whole in its logical order (member
// by member, element by element at every level), then a member by a name of
// parts and one by handles, each read where the program reads it.
TEST_P(GfxUtilHlslDrawTest, StructsOfStructsDrawAndSetByMember) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
struct Light { float3 colour; float strength; };
struct Rig { float4 ambient; Light lights[2]; };
struct Scene { float4 unread; Rig rig; float scale; };
Scene S;
float4 main(float4 col : COLOR0) : COLOR {
    float3 c = S.rig.ambient.rgb;
    for (int k = 0; k < 2; ++k) c += S.rig.lights[k].colour * S.rig.lights[k].strength;
    return float4(c * S.scale, 1) * col;
}
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ID3DXConstantTable* t = ps.table;
    const float all[17] = {9, 9, 9, 9, 0, 0, 0.25f, 0, 1, 0, 0, 0.5f, 0, 0.5f, 0, 1, 1};
    ASSERT_EQ(t->SetFloatArray(device, "S", all, 17), D3D_OK);
    float regs[7 * 4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(0, regs, 7), D3D_OK);
    const float wantRegs[7 * 4] = {9, 9, 9, 9, 0, 0, 0.25f, 0, 1, 0, 0, 0, 0.5f, 0, 0, 0,
                                   0, 0.5f, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (int k = 0; k < 7 * 4; ++k) EXPECT_EQ(regs[k], wantRegs[k]) << k;

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ExpectCentreDrawn(128, 128, 64, "whole");

    // Light 1 blue by its name of parts, light 0 dark through handles, the
    // scale after the nested struct halved.
    const D3DXVECTOR4 blue{0, 0, 1, 0};
    ASSERT_EQ(t->SetVector(device, "S.rig.lights[1].colour", &blue), D3D_OK);
    const D3DXHANDLE rig = t->GetConstant(t->GetConstantByName(nullptr, "S"), 1);
    const D3DXHANDLE first = t->GetConstantElement(t->GetConstantByName(rig, "lights"), 0);
    ASSERT_EQ(t->SetFloat(device, t->GetConstant(first, 1), 0.f), D3D_OK);
    ASSERT_EQ(t->SetFloat(device, "S.scale", 0.5f), D3D_OK);
    ASSERT_EQ(device->GetPixelShaderConstantF(0, regs, 7), D3D_OK);
    EXPECT_EQ(regs[3 * 4], 0.f);
    EXPECT_EQ(regs[4 * 4 + 2], 1.f);
    EXPECT_EQ(regs[6 * 4], 0.5f);
    ExpectCentreDrawn(0, 0, 159, "members"); // (0.25 + 1) / 2 of blue
    UnbindAndRelease(v, p);
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
    ExpectCentreDrawn(128, 128, 64, "whole array");

    // One member by name, one by handle.
    const D3DXVECTOR4 blue{0, 0, 1, 0};
    ASSERT_EQ(t->SetVector(device, "Lights[1].colour", &blue), D3D_OK);
    ASSERT_EQ(t->SetFloat(device, t->GetConstant(first, 1), 0.f), D3D_OK);
    ASSERT_EQ(device->GetPixelShaderConstantF(1, regs, 2), D3D_OK);
    EXPECT_EQ(regs[0], 0.f);
    EXPECT_EQ(regs[4 + 2], 1.f);
    ExpectCentreDrawn(0, 0, 255, "members");
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
    // Floats past an integer register's range hold at its ends; NaN is none.
    const struct {
        float given;
        std::int32_t bound;
    } floats[] = {{2.75f, 2},
                  {-2.75f, -2},
                  {1e10f, std::numeric_limits<std::int32_t>::max()},
                  {-1.5e10f, std::numeric_limits<std::int32_t>::min()},
                  {std::numeric_limits<float>::infinity(), std::numeric_limits<std::int32_t>::max()},
                  {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& f : floats) {
        ASSERT_EQ(ps.table->SetFloat(device, "Count", f.given), D3D_OK);
        ASSERT_EQ(device->GetPixelShaderConstantI(0, reg, 1), D3D_OK);
        EXPECT_EQ(reg[0], f.bound) << f.given;
    }
    ASSERT_EQ(ps.table->SetInt(device, "Count", 2), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    ExpectCentreDrawn(191, 128, 255, "two rounds");
    // Straight into the register, as a register-level constant map does.
    const std::int32_t none[4] = {0, 0, 1, 0};
    ASSERT_EQ(device->SetPixelShaderConstantI(0, none, 1), D3D_OK);
    ExpectCentreDrawn(64, 128, 255, "no rounds");
    UnbindAndRelease(v, p);
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
    ExpectCentreDrawn(128, 128, 0, "two lights");
    ASSERT_EQ(ps.table->SetInt(device, "Count", 3), D3D_OK);
    ExpectCentreDrawn(128, 128, 255, "three lights");
    UnbindAndRelease(v, p);
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
            ExpectCentreDrawn(255, 128, 0, what);
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
    // A letter without a number is register 0.
    ASSERT_TRUE(LayoutHlslGlobals("float4 A : register(vs, c);\n", globals, error, "vs_3_0")) << error;
    EXPECT_EQ(globals[0].registerIndex, 0u);
    EXPECT_TRUE(globals[0].explicitRegister);
    EXPECT_FALSE(LayoutHlslGlobals("float4 A : register(vs, cx);\n", globals, error, "vs_3_0"));
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
            ExpectCentreDrawn(255, 128, 0, vw.profile);
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

// A namespace's globals are constants named through it, in declaration order
// with the file's own: set by that name or by a handle, they reach the pixels.
// Within the namespace (and those inside it) its names need no qualifier.
TEST_P(GfxUtilHlslDrawTest, ANamespacesUniformsAreTabledByTheirQualifiedNames) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
float4 Before;
namespace Fog {
    typedef float4 colour;
    colour tint;
    struct Layer { float3 colour; float strength; };
    Layer layer;
    float4 steps[2];
    namespace Deep {
        float4 bias;
        float4 Shade(float4 c) { return c * tint + layer.colour.rgbb * layer.strength + steps[1] + max(0, bias); }
    }
}
float4 main(float4 col : COLOR0) : COLOR { return Fog::Deep::Shade(col) + Fog::steps[0] + Before; }
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ID3DXConstantTable* t = ps.table;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    struct Want {
        const char* name;
        std::uint16_t cls;
        std::uint32_t index, count, elements;
    };
    // The larger first, as the file's own are laid out, then declaration order.
    for (const Want& w : {Want{"Fog::layer", D3DXPC_STRUCT, 0, 2, 1}, Want{"Fog::steps", D3DXPC_VECTOR, 2, 2, 2},
                          Want{"Before", D3DXPC_VECTOR, 4, 1, 1}, Want{"Fog::tint", D3DXPC_VECTOR, 5, 1, 1},
                          Want{"Fog::Deep::bias", D3DXPC_VECTOR, 6, 1, 1}}) {
        SCOPED_TRACE(w.name);
        ASSERT_EQ(t->GetConstantDesc(w.name, &d, &n), D3D_OK);
        EXPECT_EQ(d.Class, w.cls);
        EXPECT_EQ(d.RegisterSet, D3DXRS_FLOAT4);
        EXPECT_EQ(d.RegisterIndex, w.index);
        EXPECT_EQ(d.RegisterCount, w.count);
        EXPECT_EQ(d.Elements, w.elements);
    }
    ASSERT_EQ(t->GetConstantDesc("Fog::layer.strength", &d, &n), D3D_OK);
    EXPECT_EQ(d.RegisterIndex, 1u);
    // Only the qualified name finds them.
    for (const char* name : {"tint", "bias", "Deep::bias", "Fog::bias", "layer.strength", "Fog::", "Fog"})
        EXPECT_EQ(t->GetConstantByName(nullptr, name), nullptr) << name;

    const float decoy[4] = {1, 1, 1, 1};
    for (std::uint32_t r = 0; r < 8; ++r) ASSERT_EQ(device->SetPixelShaderConstantF(r, decoy, 1), D3D_OK);
    const D3DXVECTOR4 none{0, 0, 0, 0}, tint{0.25f, 0, 0, 1}, colour{0, 0.5f, 0, 0}, bias{0, 0, 0.25f, 0};
    const D3DXVECTOR4 steps[2] = {{0, 0, 0.25f, 0}, {0.25f, 0, 0, 0}};
    ASSERT_EQ(t->SetVector(device, "Before", &none), D3D_OK);
    ASSERT_EQ(t->SetVector(device, "Fog::tint", &tint), D3D_OK);
    const D3DXHANDLE layer = t->GetConstantByName(nullptr, "Fog::layer");
    ASSERT_NE(layer, nullptr);
    ASSERT_EQ(t->SetVector(device, t->GetConstantByName(layer, "colour"), &colour), D3D_OK);
    ASSERT_EQ(t->SetFloat(device, "Fog::layer.strength", 0.5f), D3D_OK);
    ASSERT_EQ(t->SetVectorArray(device, "Fog::steps", steps, 2), D3D_OK);
    ASSERT_EQ(t->SetVector(device, t->GetConstantByName(nullptr, "Fog::Deep::bias"), &bias), D3D_OK);
    float regs[7 * 4] = {};
    ASSERT_EQ(device->GetPixelShaderConstantF(0, regs, 7), D3D_OK);
    EXPECT_EQ(regs[0 * 4 + 1], 0.5f);  // layer.colour
    EXPECT_EQ(regs[1 * 4 + 0], 0.5f);  // layer.strength
    EXPECT_EQ(regs[3 * 4 + 0], 0.25f); // steps[1]
    EXPECT_EQ(regs[5 * 4 + 0], 0.25f); // tint
    EXPECT_EQ(regs[6 * 4 + 2], 0.25f); // bias

    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    // Red from the tint and the second step, green from the layer, blue
    // from the first step and the bias: each missing one shows.
    ExpectCentreDrawn(128, 64, 128, "set by name and by handle");
    ASSERT_EQ(t->SetVector(device, "Fog::Deep::bias", &none), D3D_OK);
    ExpectCentreDrawn(128, 64, 64, "bias set again");
    UnbindAndRelease(v, p);
}

// A namespace's int that only bounds loops, named through the namespace or
// from within it, reads an integer register as the file's own does.
TEST_P(GfxUtilHlslDrawTest, ANamespacesIntBoundingALoopReadsAnIntegerRegister) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
namespace Steps {
    int Count;
    int Other;
    float4 Add(float4 c) { for (int k = 0; k < Count; ++k) c.g += 0.25; return c; }
}
float4 main(float4 col : COLOR0) : COLOR {
    float4 c = Steps::Add(col * 0.25);
    for (int k = 0; Steps::Count > k; ++k) c.r += 0.25;
    return c + Steps::Other * 0.25;
}
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    const ShaderConstantRecord* count = Constant(ps.container, "Steps::Count");
    const ShaderConstantRecord* other = Constant(ps.container, "Steps::Other");
    ASSERT_TRUE(count && other);
    EXPECT_EQ(count->registerSet, D3DXRS_INT4);
    EXPECT_EQ(count->registerIndex, 0u);
    EXPECT_EQ(other->registerSet, D3DXRS_FLOAT4); // read as a number
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(ps.table->SetInt(device, "Steps::Other", 0), D3D_OK);
    ASSERT_EQ(ps.table->SetInt(device, "Steps::Count", 1), D3D_OK);
    std::int32_t reg[4] = {-1, -1, -1, -1};
    ASSERT_EQ(device->GetPixelShaderConstantI(0, reg, 1), D3D_OK);
    EXPECT_EQ(reg[0], 1);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    // A quarter of white, a round in each loop: red and green a quarter more.
    ExpectCentreDrawn(128, 128, 64, "one round");
    const std::int32_t two[4] = {2, 0, 1, 0};
    ASSERT_EQ(device->SetPixelShaderConstantI(0, two, 1), D3D_OK);
    ExpectCentreDrawn(191, 191, 64, "two rounds");
    UnbindAndRelease(v, p);
}

// A struct or typedef a namespace defines is named through it from outside
// (`A::S`), as a global's type, a function's result and parameter, and a
// local's, and by its own name within; two namespaces may each define a
// struct of one name.
TEST_P(GfxUtilHlslDrawTest, ANamespacesStructsAreNamedThroughIt) {
    if (Stopped()) return;
    Compiled vs, ps;
    Compile(vs, kVertexSource, "vs_3_0");
    Compile(ps, R"(
namespace A {
    struct S { float4 c; float k; };
    S Make(float4 c) { S s; s.c = c; s.k = 2; return s; }
    namespace B { struct S { float2 c; }; }
}
namespace Other { struct S { float3 c; }; typedef S Alias; typedef float4 colour; }
A::S g;
A::B::S h;
Other::Alias o;
Other::colour q;
A::S Halve(A::S s) { s.k *= 0.5; return s; }
float4 main(float4 col : COLOR0) : COLOR {
    A::S m = Halve(A::Make(col * 0.25));
    return m.c * m.k + g.c * g.k + float4(h.c, o.c.xy) + q;
}
)", "ps_3_0");
    ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    ID3DXConstantTable* t = ps.table;
    D3DXCONSTANT_DESC d;
    std::uint32_t n = 1;
    struct Want {
        const char* name;
        std::uint16_t cls;
        std::uint32_t index, count, members;
    };
    for (const Want& w : {Want{"g", D3DXPC_STRUCT, 0, 2, 2}, Want{"g.k", D3DXPC_SCALAR, 1, 1, 0},
                          Want{"h", D3DXPC_STRUCT, 2, 1, 1}, Want{"h.c", D3DXPC_VECTOR, 2, 1, 0},
                          Want{"o", D3DXPC_STRUCT, 3, 1, 1}, Want{"o.c", D3DXPC_VECTOR, 3, 1, 0},
                          Want{"q", D3DXPC_VECTOR, 4, 1, 0}}) {
        SCOPED_TRACE(w.name);
        ASSERT_EQ(t->GetConstantDesc(w.name, &d, &n), D3D_OK);
        EXPECT_EQ(d.Class, w.cls);
        EXPECT_EQ(d.RegisterIndex, w.index);
        EXPECT_EQ(d.RegisterCount, w.count);
        EXPECT_EQ(d.StructMembers, w.members);
    }
    ASSERT_EQ(t->GetConstantDesc("h.c", &d, &n), D3D_OK);
    EXPECT_EQ(d.Columns, 2u);
    ASSERT_EQ(t->GetConstantDesc("o.c", &d, &n), D3D_OK);
    EXPECT_EQ(d.Columns, 3u);

    const D3DXVECTOR4 gc{0, 0.125f, 0, 0}, hc{0.25f, 0, 0, 0}, oc{0.25f, 0, 0, 0};
    ASSERT_EQ(t->SetVector(device, "g.c", &gc), D3D_OK);
    ASSERT_EQ(t->SetFloat(device, "g.k", 2), D3D_OK);
    ASSERT_EQ(t->SetVector(device, "h.c", &hc), D3D_OK);
    ASSERT_EQ(t->SetVector(device, "o.c", &oc), D3D_OK);
    const D3DXVECTOR4 none{0, 0, 0, 0};
    ASSERT_EQ(t->SetVector(device, "q", &none), D3D_OK);
    IDirect3DVertexShader9* v = Make<IDirect3DVertexShader9>(vs);
    IDirect3DPixelShader9* p = Make<IDirect3DPixelShader9>(ps);
    ASSERT_TRUE(v && p);
    SetQuadConstants(vs);
    ASSERT_EQ(device->SetVertexShader(v), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    // The colour a quarter, times k (2 halved): 0.25, plus g's 0.25 green,
    // h's 0.25 red and o's 0.25 blue.
    ExpectCentreDrawn(128, 128, 128);
    const D3DXVECTOR4 blue{0, 0, 0.25f, 0};
    ASSERT_EQ(t->SetVector(device, "q", &blue), D3D_OK);
    ExpectCentreDrawn(128, 128, 191, "through the typedef");
    UnbindAndRelease(v, p);
}

// What the D3D9 compiler refuses beside those: a namespace's names, struct or
// constant, outside it without its name, or through a namespace that does
// not hold them.
TEST_P(GfxUtilHlslDrawTest, ANamespacesNamesAreNotFoundOtherwise) {
    if (Stopped()) return;
    const char* const refused[] = {
        "namespace A { struct S { float4 c; }; }\nS g;\nfloat4 main() : COLOR { return g.c; }\n",
        "namespace A { struct S { float4 c; }; }\nB::S g;\nfloat4 main() : COLOR { return g.c; }\n",
        "namespace A { struct S { float4 c; }; }\nnamespace B { float4 x; }\nB::S g;\n"
        "float4 main() : COLOR { return g.c; }\n",
        "namespace A { namespace B { struct S { float4 c; }; } }\nB::S g;\nfloat4 main() : COLOR { return g.c; }\n",
        "namespace A { struct S { float4 c; }; }\n"
        "float4 main() : COLOR { A::T s; s.c = 1; return s.c; }\n",
        "namespace N { float4 tint; }\nfloat4 main() : COLOR { return tint; }\n",
        "namespace N { float4 tint; }\nfloat4 main() : COLOR { return M::tint; }\n",
    };
    for (const char* source : refused) {
        SCOPED_TRACE(source);
        Compiled c;
        Compile(c, source, "ps_2_0");
        EXPECT_NE(c.result, D3D_OK);
        EXPECT_FALSE(c.errors.empty());
    }
    // Their neighbours compile.
    const char* const taken[] = {
        "namespace A { struct S { float4 c; }; }\nA::S g;\nfloat4 main() : COLOR { return g.c; }\n",
        "namespace A { namespace B { struct S { float4 c; }; } B::S g; }\n"
        "float4 main() : COLOR { return A::g.c; }\n",
        "namespace N { float4 tint; }\nfloat4 main() : COLOR { return N::tint; }\n",
    };
    for (const char* source : taken) {
        SCOPED_TRACE(source);
        Compiled c;
        Compile(c, source, "ps_2_0");
        EXPECT_EQ(c.result, D3D_OK) << c.errors;
        EXPECT_EQ(c.container.constants.empty(), false);
    }
    // A word the front end keeps for itself, declared in a namespace, is
    // listed by its own name through the namespace.
    Compiled word;
    Compile(word, "namespace N { float4 precise; }\nfloat4 main() : COLOR { return N::precise; }\n", "ps_2_0");
    ASSERT_EQ(word.result, D3D_OK) << word.errors;
    EXPECT_NE(Constant(word.container, "N::precise"), nullptr);
    // A constant buffer's members, first in a namespace or after another
    // statement, are the namespace's.
    Compiled buffers;
    Compile(buffers,
            "namespace N { cbuffer A { float4 a; }; float4 b; cbuffer C { float4 c; } }\n"
            "float4 main() : COLOR { return N::a + N::b + N::c; }\n",
            "ps_2_0");
    ASSERT_EQ(buffers.result, D3D_OK) << buffers.errors;
    for (const char* name : {"N::a", "N::b", "N::c"}) EXPECT_NE(Constant(buffers.container, name), nullptr) << name;
    // The layout reads each namespace's statements, nested ones and ones
    // opened again; a statement its namespace's end cuts short declares nothing.
    std::vector<HlslGlobal> globals;
    std::string error;
    ASSERT_TRUE(LayoutHlslGlobals("float4 a;\nnamespace N { float4 b[2]; namespace M { float4x4 c; } float4 d }\n"
                                  "namespace N { sampler2D s; }\nfloat4 e;\n",
                                  globals, error))
        << error;
    std::vector<std::string> names;
    for (const HlslGlobal& g : globals) names.push_back(g.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "N::b", "N::M::c", "N::s", "e"}));
}

