// Programs the device cannot run are refused when they are made, never at
// their first draw: a register outside its version's ranges (on both back
// ends, one line naming the instruction and the register), and on gl a
// program whose GLSL the driver does not compile (with the driver's reason).
// The last register of each range is taken and draws.
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderRegisters.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "tests/platform/gfx/GfxGlslCheck.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gfx;
using gfxtest::AssembleProgram;

namespace {

std::size_t Lines(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// Every register token of a stream: the register of a declaration and of a
// definition, every parameter (and relative address) of other instructions.
std::vector<std::size_t> RegisterTokens(const std::vector<std::uint32_t>& words) {
    struct Found {
        const std::uint32_t* base;
        std::vector<std::size_t> at;
    } found{words.data(), {}};
    const auto visit = [](void* context, const std::uint32_t* instruction, std::size_t after) {
        auto& f = *static_cast<Found*>(context);
        const std::size_t at = std::size_t(instruction - f.base);
        const std::uint32_t op = instruction[0] & D3DSI_OPCODE_MASK;
        if (op == D3DSIO_DCL) {
            if (after >= 2) f.at.push_back(at + 2);
        } else if (op == D3DSIO_DEF || op == D3DSIO_DEFI || op == D3DSIO_DEFB) {
            if (after >= 1) f.at.push_back(at + 1);
        } else {
            for (std::size_t i = 1; i <= after; ++i) f.at.push_back(at + i);
        }
    };
    EXPECT_NE(WalkShaderTokens(words.data(), words.size(), words[0] & 0xFFFF0000u, visit, &found), 0u);
    return found.at;
}

std::uint32_t TypeOf(std::uint32_t token) {
    return ((token >> D3DSP_REGTYPE_SHIFT) & 7) | ((token >> D3DSP_REGTYPE_SHIFT2) & 0x18);
}

// The stream with every register of `type` numbered `from` turned into
// register `to` of `newType`.
std::vector<std::uint32_t> Renamed(std::vector<std::uint32_t> words, std::uint32_t type, std::uint32_t from,
                                   std::uint32_t newType, std::uint32_t to) {
    std::size_t changed = 0;
    for (std::size_t at : RegisterTokens(words)) {
        std::uint32_t& t = words[at];
        if (TypeOf(t) != type || (t & D3DSP_REGNUM_MASK) != from) continue;
        t &= ~(D3DSP_REGNUM_MASK | (7u << D3DSP_REGTYPE_SHIFT) | (0x18u << D3DSP_REGTYPE_SHIFT2));
        t |= ((newType & 7) << D3DSP_REGTYPE_SHIFT) | ((newType & 0x18) << D3DSP_REGTYPE_SHIFT2) | to;
        ++changed;
    }
    EXPECT_GT(changed, 0u) << "no register of type " << type << " numbered " << from;
    return words;
}

// A program using the last register of one kind, and what the device says
// of the same program using the next one.
struct Boundary {
    const char* text;
    std::uint32_t type, last;
    const char* refusal;
};

// Vertex programs draw the vertex colour (green) through the register;
// pixel programs the interpolated colour, beside kPassVertex.
const Boundary kBoundaries[] = {
    {"vs_1_1\ndcl_position v0\ndcl_color v1\nmov r11, v1\nmov oPos, v0\nmov oD0, r11\n", D3DSPR_TEMP, 11,
     "'mov': r12 is outside vs_1_1's temporary registers (r0-r11)"},
    {"vs_1_1\ndcl_position v0\ndcl_color v15\nmov oPos, v0\nmov oD0, v15\n", D3DSPR_INPUT, 15,
     "'dcl': v16 is outside vs_1_1's input registers (v0-v15)"},
    {"vs_1_1\ndcl_position v0\ndef c255, 0, 1, 0, 1\nmov oPos, v0\nmov oD0, c255\n", D3DSPR_CONST, 255,
     "'def': c256 is outside vs_1_1's float constants (c0-c255)"},
    {"vs_1_1\ndcl_position v0\ndef c0, 0, 0, 0, 0\ndef c1, 0, 1, 0, 1\nmov a0.x, c0.x\nmov oPos, v0\n"
     "mov oD0, c[a0.x + 1]\n",
     D3DSPR_ADDR, 0, "'mov': a1 is outside vs_1_1's address registers (a0)"},
    {"vs_1_1\ndcl_position v0\ndcl_color v1\nmov oPos, v0\nmov oPts, v1.y\nmov oD0, v1\n", D3DSPR_RASTOUT, 2,
     "'mov': rasteriser output 3 is outside vs_1_1's position, fog and point-size outputs (oPos, oFog, oPts)"},
    {"vs_1_1\ndcl_position v0\ndcl_color v1\nmov oPos, v0\nmov oD1, v1\nmov oD0, v1\n", D3DSPR_ATTROUT, 1,
     "'mov': oD2 is outside vs_1_1's colour outputs (oD0-oD1)"},
    {"vs_1_1\ndcl_position v0\ndcl_color v1\nmov oPos, v0\nmov oT7, v1\nmov oD0, v1\n", D3DSPR_TEXCRDOUT, 7,
     "'mov': oT8 is outside vs_1_1's texture-coordinate outputs (oT0-oT7)"},
    {"vs_2_0\ndcl_position v0\ndcl_color v1\nmov r11, v1\nmov oPos, v0\nmov oD0, r11\n", D3DSPR_TEMP, 11,
     "'mov': r12 is outside vs_2_0's temporary registers (r0-r11)"},
    {"vs_2_0\ndcl_position v0\ndcl_color v1\ndefi i15, 1, 0, 0, 0\nrep i15\nmov r0, v1\nendrep\nmov oPos, v0\n"
     "mov oD0, r0\n",
     D3DSPR_CONSTINT, 15, "'defi': i16 is outside vs_2_0's integer constants (i0-i15)"},
    {"vs_2_0\ndcl_position v0\ndcl_color v1\ndefb b15, true\nif b15\nmov r0, v1\nendif\nmov oPos, v0\n"
     "mov oD0, r0\n",
     D3DSPR_CONSTBOOL, 15, "'defb': b16 is outside vs_2_0's boolean constants (b0-b15)"},
    {"vs_2_0\ndcl_position v0\ndcl_color v1\ndefi i0, 1, 0, 1, 0\nloop aL, i0\nmov r0, v1\nendloop\nmov oPos, v0\n"
     "mov oD0, r0\n",
     D3DSPR_LOOP, 0, "'loop': aL1 is outside vs_2_0's loop counters (aL)"},
    {"vs_2_x\ndcl_position v0\ndcl_color v1\nmov r31, v1\nmov oPos, v0\nmov oD0, r31\n", D3DSPR_TEMP, 31,
     "'mov': r32 is outside vs_2_x's temporary registers (r0-r31)"},
    {"vs_2_x\ndcl_position v0\ndcl_color v1\ndef c0, 0, 0, 0, 0\nmov r0, c0\nsetp_gt p0, v1, c0\n(p0) mov r0, v1\n"
     "mov oPos, v0\nmov oD0, r0\n",
     D3DSPR_PREDICATE, 0, "'setp': p1 is outside vs_2_x's predicate registers (p0)"},
    {"vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_position o0\ndcl_color o11\nmov o0, v0\nmov o11, v1\n",
     D3DSPR_OUTPUT, 11, "'dcl': o12 is outside vs_3_0's output registers (o0-o11)"},
    {"vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_position o0\ndcl_color o1\ndcl_2d s3\ndef c0, 0, 0, 0, 0\n"
     "texldl r0, c0, s3\nmad o1, r0, c0, v1\nmov o0, v0\n",
     D3DSPR_SAMPLER, 3, "'dcl': s4 is outside vs_3_0's samplers (s0-s3)"},
    {"vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_position o0\ndcl_color o1\nmov r31, v1\nmov o0, v0\nmov o1, r31\n",
     D3DSPR_TEMP, 31, "'mov': r32 is outside vs_3_0's temporary registers (r0-r31)"},

    {"ps_1_1\nmov r1, v0\nmov r0, r1\n", D3DSPR_TEMP, 1,
     "'mov': r2 is outside ps_1_1's temporary registers (r0-r1)"},
    {"ps_1_1\ndef c0, 0, 0, 0, 0\ntexcoord t3\nmad r0, t3, c0, v0\n", D3DSPR_TEXTURE, 3,
     "'texcoord': t4 is outside ps_1_1's texture registers (t0-t3)"},
    {"ps_1_1\ndef c7, 0, 1, 0, 1\nmov r0, c7\n", D3DSPR_CONST, 7,
     "'def': c8 is outside ps_1_1's float constants (c0-c7)"},
    {"ps_1_1\ndef c0, 0, 0, 0, 0\nmad r0, v1, c0, v0\n", D3DSPR_INPUT, 1,
     "'mad': v2 is outside ps_1_1's input registers (v0-v1)"},
    {"ps_1_4\nmov r5, v0\nmov r0, r5\n", D3DSPR_TEMP, 5, "'mov': r6 is outside ps_1_4's temporary registers (r0-r5)"},
    {"ps_1_4\ndef c0, 0, 0, 0, 0\ntexcrd r1.rgb, t5\nmad r0, r1, c0, v0\n", D3DSPR_TEXTURE, 5,
     "'texcrd': t6 is outside ps_1_4's texture registers (t0-t5)"},
    {"ps_2_0\ndcl v0\nmov r11, v0\nmov oC0, r11\n", D3DSPR_TEMP, 11,
     "'mov': r12 is outside ps_2_0's temporary registers (r0-r11)"},
    {"ps_2_0\ndef c31, 0, 1, 0, 1\nmov oC0, c31\n", D3DSPR_CONST, 31,
     "'def': c32 is outside ps_2_0's float constants (c0-c31)"},
    {"ps_2_0\ndcl t0\ndcl v0\ndcl_2d s15\ndef c0, 0, 0, 0, 0\ntexld r0, t0, s15\nmad r0, r0, c0, v0\nmov oC0, r0\n",
     D3DSPR_SAMPLER, 15, "'dcl': s16 is outside ps_2_0's samplers (s0-s15)"},
    {"ps_2_0\ndcl t7\ndcl v0\ndef c0, 0, 0, 0, 0\nmad r0, t7, c0, v0\nmov oC0, r0\n", D3DSPR_TEXTURE, 7,
     "'dcl': t8 is outside ps_2_0's texture registers (t0-t7)"},
    {"ps_2_0\ndcl v0\ndcl v1\ndef c0, 0, 0, 0, 0\nmad r0, v1, c0, v0\nmov oC0, r0\n", D3DSPR_INPUT, 1,
     "'dcl': v2 is outside ps_2_0's input registers (v0-v1)"},
    {"ps_2_0\ndcl v0\nmov oC0, v0\nmov oC3, v0\n", D3DSPR_COLOROUT, 3,
     "'mov': oC4 is outside ps_2_0's colour outputs (oC0-oC3)"},
    {"ps_2_0\ndcl v0\nmov oC0, v0\nmov oDepth, v0.z\n", D3DSPR_DEPTHOUT, 0,
     "'mov': oDepth1 is outside ps_2_0's depth outputs (oDepth)"},
    {"ps_2_x\ndcl v0\nmov r31, v0\nmov oC0, r31\n", D3DSPR_TEMP, 31,
     "'mov': r32 is outside ps_2_x's temporary registers (r0-r31)"},
    {"ps_2_x\ndcl v0\ndef c0, 0, 0, 0, 0\nmov r0, c0\nsetp_gt p0, v0, c0\n(p0) mov r0, v0\nmov oC0, r0\n",
     D3DSPR_PREDICATE, 0, "'setp': p1 is outside ps_2_x's predicate registers (p0)"},
    {"ps_3_0\ndcl_color v9\nmov oC0, v9\n", D3DSPR_INPUT, 9, "'dcl': v10 is outside ps_3_0's input registers (v0-v9)"},
    {"ps_3_0\ndef c223, 0, 1, 0, 1\nmov oC0, c223\n", D3DSPR_CONST, 223,
     "'def': c224 is outside ps_3_0's float constants (c0-c223)"},
    {"ps_3_0\ndcl_color v0\ndcl vFace\ndef c0, 0, 0, 0, 0\nif_gt vFace, c0.x\nmov r0, v0\nelse\nmov r0, v0\nendif\n"
     "mov oC0, r0\n",
     D3DSPR_MISCTYPE, 1,
     "'dcl': misc register 2 is outside ps_3_0's position and face registers (vPos, vFace)"},
    {"ps_3_0\ndcl_color v0\ndefi i0, 1, 0, 1, 0\nloop aL, i0\nmov r0, v0\nendloop\nmov oC0, r0\n", D3DSPR_LOOP, 0,
     "'loop': aL1 is outside ps_3_0's loop counters (aL)"},
    {"ps_3_0\ndcl_color v0\nmov r31, v0\nmov oC0, r31\n", D3DSPR_TEMP, 31,
     "'mov': r32 is outside ps_3_0's temporary registers (r0-r31)"},
    {"ps_3_0\ndcl_color v0\ndcl_texcoord v1\ndcl_2d s15\ndef c0, 0, 0, 0, 0\ntexld r0, v1, s15\n"
     "mad oC0, r0, c0, v0\n",
     D3DSPR_SAMPLER, 15, "'dcl': s16 is outside ps_3_0's samplers (s0-s15)"},
};

// Registers of a kind the version has none of, and register types no
// version has.
struct Absent {
    const char* text;
    std::uint32_t type, number, newType;
    const char* refusal;
};
const Absent kAbsent[] = {
    {"ps_1_1\nmov r0, c0\n", D3DSPR_CONST, 0, D3DSPR_CONSTINT, "'mov': ps_1_1 has no integer constants (i0)"},
    {"vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oD0, c1\n", D3DSPR_CONST, 1, D3DSPR_CONSTBOOL,
     "'mov': vs_1_1 has no boolean constants (b1)"},
    {"vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oD0, c1\n", D3DSPR_CONST, 1, D3DSPR_SAMPLER,
     "'mov': vs_2_0 has no samplers (s1)"},
    {"vs_2_0\ndcl_position v0\nmov oPos, v0\nmov oD0, c1\n", D3DSPR_CONST, 1, D3DSPR_PREDICATE,
     "'mov': vs_2_0 has no predicate registers (p1)"},
    {"ps_3_0\ndcl_color v0\nmov oC0, v0\n", D3DSPR_INPUT, 0, D3DSPR_TEXTURE,
     "'dcl': ps_3_0 has no texture registers (t0)"},
    {"ps_2_0\ndcl v0\nmov oC0, v0\n", D3DSPR_COLOROUT, 0, D3DSPR_MISCTYPE,
     "'mov': ps_2_0 has no position and face registers (vPos)"},
    {"vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oD0, c1\n", D3DSPR_CONST, 1, 11,
     "'mov': register type 11 is not a register of vs_1_1"},
};

bool IsVertex(const std::vector<std::uint32_t>& words) { return (words[0] & 0xFFFF0000u) == 0xFFFE0000u; }

class GfxProgramRegisterRange : public gfxtest::BackendTest {
protected:
    // Creates the program; its result, and what standard error heard.
    HRESULT Make(const std::vector<std::uint32_t>& words, std::string& said) {
        ::testing::internal::CaptureStderr();
        HRESULT hr;
        if (IsVertex(words)) {
            IDirect3DVertexShader9* vs = nullptr;
            hr = device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs);
            if (vs) vs->Release();
            else EXPECT_NE(hr, D3D_OK);
        } else {
            IDirect3DPixelShader9* ps = nullptr;
            hr = device->CreatePixelShader(words.data(), std::uint32_t(words.size() * 4), &ps);
            if (ps) ps->Release();
            else EXPECT_NE(hr, D3D_OK);
        }
        said = ::testing::internal::GetCapturedStderr();
        return hr;
    }
    void ExpectRefused(const std::vector<std::uint32_t>& words, const std::string& reason) {
        std::string said;
        EXPECT_EQ(Make(words, said), D3DERR_INVALIDCALL);
        EXPECT_EQ(Lines(said), 1u) << said;
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_NE(said.find(IsVertex(words) ? "a vertex program" : "a pixel program"), std::string::npos) << said;
        // The translator says the same without a device.
        TranslatedShader out;
        std::string error;
        EXPECT_FALSE(TranslateShader(words.data(), words.size(), out, error));
        EXPECT_EQ(error, reason);
    }
};
GFX_BOTH_BACKENDS(GfxProgramRegisterRange);

TEST_P(GfxProgramRegisterRange, TheLastRegisterOfEachRangeIsTakenAndTheNextRefused) {
    Create();
    for (const Boundary& b : kBoundaries) {
        SCOPED_TRACE(b.text);
        const auto words = AssembleProgram(b.text);
        ASSERT_FALSE(words.empty());
        std::string said;
        EXPECT_EQ(Make(words, said), D3D_OK) << said;
        EXPECT_TRUE(said.empty()) << said;
        ExpectRefused(Renamed(words, b.type, b.last, b.type, b.last + 1), b.refusal);
    }
}

TEST_P(GfxProgramRegisterRange, AKindTheVersionLacksIsRefused) {
    Create();
    for (const Absent& a : kAbsent) {
        SCOPED_TRACE(a.refusal);
        const auto words = AssembleProgram(a.text);
        ASSERT_FALSE(words.empty());
        ExpectRefused(Renamed(words, a.type, a.number, a.newType, a.number), a.refusal);
    }
}

// Found by the program fuzzer: a ps_1_4 depth replacement from temporary
// register 512 was taken and gave GLSL reading a register with no name.
TEST_P(GfxProgramRegisterRange, ADepthFromATemporaryPastTheRangeIsRefused) {
    Create();
    const std::vector<std::uint32_t> words = {D3DPS_VERSION(1, 4), D3DSIO_TEXDEPTH,
                                              D3DSP_PARAM_TOKEN | D3DSP_WRITEMASK_ALL | 512u, D3DSIO_END};
    ExpectRefused(words, "'texdepth': r512 is outside ps_1_4's temporary registers (r0-r5)");
    // r5, the register it is written for, is taken.
    std::vector<std::uint32_t> fine = words;
    fine[2] = D3DSP_PARAM_TOKEN | D3DSP_WRITEMASK_ALL | 5u;
    std::string said;
    EXPECT_EQ(Make(fine, said), D3D_OK) << said;
}

// Where the tables leave a count to the device, its caps decide it.
TEST(GfxShaderRegisters, CountsLeftToTheDeviceFollowItsCaps) {
    D3DCAPS9 caps = DeviceCaps(0);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DVS_VERSION(2, 1), caps).temps, std::uint32_t(caps.VS20Caps.NumTemps));
    caps.VS20Caps.NumTemps = 16;
    caps.VS20Caps.Caps = 0;
    caps.PS20Caps.NumTemps = 20;
    caps.PS20Caps.Caps = 0;
    caps.MaxVertexShaderConst = 96;
    caps.NumSimultaneousRTs = 2;
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DVS_VERSION(2, 1), caps).temps, 16u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DVS_VERSION(2, 1), caps).predicate, 0u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DPS_VERSION(2, 1), caps).temps, 20u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DPS_VERSION(2, 1), caps).predicate, 0u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DVS_VERSION(1, 1), caps).constF, 96u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DPS_VERSION(3, 0), caps).colorOut, 2u);
    // 2.0 has no caps of its own: its table holds.
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DVS_VERSION(2, 0), caps).temps, 12u);
    EXPECT_EQ(ShaderRegisterLimitsOf(D3DPS_VERSION(2, 0), caps).temps, 12u);

    // The program the caps refuse, and the one they take.
    const auto words = AssembleProgram("vs_2_x\ndcl_position v0\nmov r15, v0\nmov oPos, r15\n");
    TranslatedShader out;
    std::string error;
    EXPECT_TRUE(TranslateShader(words.data(), words.size(), out, error, &caps)) << error;
    const auto wider = Renamed(words, D3DSPR_TEMP, 15, D3DSPR_TEMP, 16);
    EXPECT_FALSE(TranslateShader(wider.data(), wider.size(), out, error, &caps));
    EXPECT_EQ(error, "'mov': r16 is outside vs_2_x's temporary registers (r0-r15)");
    EXPECT_TRUE(TranslateShader(wider.data(), wider.size(), out, error)) << error;
    EXPECT_EQ(ShaderVersionName(D3DPS_VERSION(1, 3)), "ps_1_3");
    EXPECT_EQ(ShaderVersionName(D3DVS_VERSION(2, 1)), "vs_2_x");
    EXPECT_EQ(ShaderVersionName(D3DVS_VERSION(4, 0)), "?");
}

// The last register of each range draws on gl.
class GfxGlProgramRegisterRange : public gfxtest::GlProgramTest {};

TEST_P(GfxGlProgramRegisterRange, TheLastRegisterOfEachRangeDraws) {
    for (const Boundary& b : kBoundaries) {
        SCOPED_TRACE(b.text);
        Clear();
        const bool vertex = b.text[0] == 'v';
        ASSERT_NO_FATAL_FAILURE(DrawWith(vertex ? b.text : gfxtest::kPassVertex,
                                         vertex ? "ps_2_0\ndcl v0\nmov oC0, v0\n" : b.text, 0xFF00FF00u));
        ExpectPixel(8, 8, 0, 255, 0);
    }
}
INSTANTIATE_TEST_SUITE_P(, GfxGlProgramRegisterRange, ::testing::Bool(), gfxtest::GlReadBackParamName);

// A compiled program's GLSL is the device's to compile: a container whose
// code the driver refuses is refused when it is made, with the driver's
// reason; the same container with code the driver takes draws.
std::vector<std::uint32_t> PixelContainer(const std::string& body, const std::string& head = {}) {
    ShaderContainer c;
    c.kind = D3DPS_VERSION(2, 0);
    c.glsl = "#version 330\n" + head + "layout(location = 0) out vec4 hOut0;\nvoid main()\n{\n" + body + "}\n";
    ShaderSemantic colour;
    colour.usage = D3DDECLUSAGE_COLOR;
    c.outputs.push_back(colour);
    const std::vector<std::uint8_t> bytes = WriteShaderContainer(c);
    std::vector<std::uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

class GfxGlProgramDriverCheck : public gfxtest::GlProgramTest {};

TEST_P(GfxGlProgramDriverCheck, CodeTheDriverRefusesIsRefusedAtCreationWithItsReason) {
    const auto bad = PixelContainer("    hOut0 = vec4(undeclaredTint, 1.0);\n");
    IDirect3DPixelShader9* ps = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(device->CreatePixelShader(bad.data(), std::uint32_t(bad.size() * 4), &ps), D3DERR_INVALIDCALL);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ps, nullptr);
    EXPECT_EQ(Lines(said), 1u) << said;
    EXPECT_NE(said.find("a compiled pixel program cannot be run: fragment shader compile failed"), std::string::npos)
        << said;
    EXPECT_NE(said.find("undeclaredTint"), std::string::npos) << said;

    const auto good = PixelContainer("    hOut0 = vec4(1.0, 0.0, 0.0, 1.0);\n");
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(device->CreatePixelShader(good.data(), std::uint32_t(good.size() * 4), &ps), D3D_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    m_pixelShaders.push_back(ps);
    ASSERT_EQ(device->SetVertexShader(Vertex(gfxtest::kPassVertex)), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 255, 0, 0);
}

// An extension the code needs is named before the composed program's own
// declarations, where GLSL takes it; one inside a conditional stays in it,
// used only where the driver has it.
TEST_P(GfxGlProgramDriverCheck, ExtensionsTheCodeNamesComeBeforeItsDeclarations) {
    const auto ps = PixelContainer(
        "    const float a[2][2] = float[][](float[](0.0, 0.25), float[](0.5, 1.0));\n"
        "    int i = int(gl_FragCoord.x) / 100;\n"
        "    hOut0 = vec4(a[i + 1][i + 1], a[i][i + 1], TINT, 1.0);\n",
        "#extension GL_ARB_arrays_of_arrays : require\n#if defined(GL_EXT_no_such_extension)\n"
        "#extension GL_EXT_no_such_extension : require\n#define TINT 1.0\n#else\n#define TINT 0.0\n#endif\n");
    IDirect3DPixelShader9* made = nullptr;
    ASSERT_EQ(device->CreatePixelShader(ps.data(), std::uint32_t(ps.size() * 4), &made), D3D_OK);
    m_pixelShaders.push_back(made);
    ASSERT_EQ(device->SetVertexShader(Vertex(gfxtest::kPassVertex)), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(made), D3D_OK);
    DrawQuad();
    ExpectPixel(8, 8, 255, 64, 0);
}

// The stage compiled at creation is the one the usual pair links; a pair
// whose pixel half reads a varying the vertex half never writes, or a
// vertex program beside the fixed-function pixel stage, still compiles its
// own and draws.
TEST_P(GfxGlProgramDriverCheck, ProgramsStillDrawInEveryPairing) {
    const char* vs30 = "vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_position o0\ndcl_color o1\nmov o0, v0\nmov o1, v1\n";
    DrawWith(vs30, "ps_3_0\ndcl_color v0\nmov oC0, v0\n", 0xFF00FF00u);
    ExpectPixel(8, 8, 0, 255, 0);
    Clear();
    DrawWith(vs30, "ps_3_0\ndcl_color v0\ndcl_texcoord3 v1\ndef c0, 0, 0, 0, 0\nmad oC0, v1, c0, v0\n", 0xFF0000FFu);
    ExpectPixel(8, 8, 0, 0, 255);
    Clear();
    DrawWith(gfxtest::kPassVertex, "", 0xFFFF0000u);
    ExpectPixel(8, 8, 255, 0, 0);
    Clear();
    DrawWith("", "ps_2_0\ndcl v0\nmov oC0, v0\n", 0xFF00FF00u);
    ExpectPixel(8, 8, 0, 255, 0);
    // A 1.x pixel program beside a vertex program.
    Clear();
    DrawWith(gfxtest::kPassVertex, "ps_1_1\nmov r0, v0\n", 0xFFFFFF00u);
    ExpectPixel(8, 8, 255, 255, 0);
}
// Compiling at creation costs the driver no second compile: the usual pair
// links the two stages kept from the programs' creation, and a program made
// twice is compiled once.
TEST_P(GfxGlProgramDriverCheck, TheStagesCompiledAtCreationAreTheOnesLinked) {
    const char* vsText = "vs_2_0\ndcl_position v0\ndcl_color v1\ndef c0, 0.25, 0, 0, 0\nmov oPos, v0\n"
                         "add oD0, v1, c0\n";
    const char* psText = "ps_2_0\ndcl v0\ndef c0, 0, 0, 0.5, 0\nadd oC0, v0, c0\n";
    const std::uint32_t before = GlShaderCompilesForTests();
    IDirect3DVertexShader9* vs = Vertex(vsText);
    IDirect3DPixelShader9* ps = Pixel(psText);
    ASSERT_TRUE(vs && ps);
    EXPECT_EQ(GlShaderCompilesForTests() - before, 2u);
    ASSERT_NE(Vertex(vsText), nullptr);
    EXPECT_EQ(GlShaderCompilesForTests() - before, 2u);
    ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
    DrawQuad(0xFF00FF00u);
    EXPECT_EQ(GlShaderCompilesForTests() - before, 2u);
    ExpectPixel(8, 8, 64, 255, 128);
}

// High-level forms whose code the driver once took only to fail at the first
// draw (a palette indexed by a float input, tex1D, an array output, a
// struct defined in its global's declaration): each is now drawn, or refused
// when it is made with one line naming the reason; a program made never
// fails its draw.
TEST_P(GfxGlProgramDriverCheck, AProgramMadeDrawsOrIsRefusedWhenMade) {
    struct Form {
        const char* name;
        const char* profile;
        const char* source;
    };
    const Form forms[] = {
        {"palette by a float input", "vs_2_0",
         "float4 Pal[8];\nvoid main(float4 p : POSITION, float4 i : BLENDINDICES, out float4 op : POSITION,\n"
         "          out float4 c : COLOR0) { op = p; c = Pal[i.x]; }\n"},
        {"palette at vs_1_1", "vs_1_1",
         "float4 Pal[8];\nvoid main(float4 p : POSITION, float4 i : BLENDINDICES, out float4 op : POSITION,\n"
         "          out float4 c : COLOR0) { op = p; c = Pal[i.x]; }\n"},
        {"tex1D", "ps_2_0", "sampler1D s;\nfloat4 main(float x : TEXCOORD0) : COLOR { return tex1D(s, x); }\n"},
        {"array output", "vs_3_0",
         "void main(float4 p : POSITION, out float4 op : POSITION, out float4 o[3] : TEXCOORD1) {\n"
         "    op = p; o[0] = p; o[1] = p; o[2] = p; }\n"},
        {"struct defined in its global", "ps_2_0",
         "uniform struct { float4 a; float4 b; } cb;\nfloat4 Tint;\n"
         "float4 main() : COLOR { return cb.a + cb.b + Tint; }\n"},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.name);
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT compiled = D3DXCompileShader(f.source, std::uint32_t(std::strlen(f.source)), "main", f.profile, 0,
                                                   &code, &errors, nullptr);
        if (errors) errors->Release();
        if (FAILED(compiled)) continue; // refused by the compiler, with its message
        ASSERT_NE(code, nullptr);
        std::vector<std::uint32_t> words(code->GetBufferSize() / 4);
        std::memcpy(words.data(), code->GetBufferPointer(), words.size() * 4);
        code->Release();
        const bool vertex = f.profile[0] == 'v';
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        ::testing::internal::CaptureStderr();
        const HRESULT made = vertex ? device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &vs)
                                    : device->CreatePixelShader(words.data(), std::uint32_t(words.size() * 4), &ps);
        const std::string said = ::testing::internal::GetCapturedStderr();
        if (FAILED(made)) {
            EXPECT_EQ(made, D3DERR_INVALIDCALL);
            EXPECT_EQ(Lines(said), 1u) << said;
            EXPECT_LE(said.size(), 800u) << said;
            continue;
        }
        if (vs) m_vertexShaders.push_back(vs);
        if (ps) m_pixelShaders.push_back(ps);
        ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(gfxtest::ProgramVertex)), D3D_OK);
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(, GfxGlProgramDriverCheck, ::testing::Bool(), gfxtest::GlReadBackParamName);

// The null back end has no driver to ask: its test hook puts glslang in
// the driver's place in these tests (GfxGlslCheck.h), which refuses the same
// code with its own reason; without a check the null back end takes it.
class GfxProgramDriverCheckNull : public gfxtest::BackendTest {
protected:
    void TearDown() override {
        gfxtest::UseGlslangOnNullDevices();
        BackendTest::TearDown();
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxProgramDriverCheckNull, ::testing::Values(gfx::BackendKind::Null),
                         gfxtest::BackendParamName);

TEST_P(GfxProgramDriverCheckNull, TheTestsCompilerStandsInForTheDriver) {
    Create();
    const auto bad = PixelContainer("    hOut0 = vec4(undeclaredTint, 1.0);\n");
    IDirect3DPixelShader9* ps = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(device->CreatePixelShader(bad.data(), std::uint32_t(bad.size() * 4), &ps), D3DERR_INVALIDCALL);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(said), 1u) << said;
    EXPECT_NE(said.find("glslang refuses the fragment stage"), std::string::npos) << said;
    EXPECT_NE(said.find("undeclaredTint"), std::string::npos) << said;

    SetNullProgramCheckForTests(nullptr);
    EXPECT_EQ(device->CreatePixelShader(bad.data(), std::uint32_t(bad.size() * 4), &ps), D3D_OK);
    ASSERT_NE(ps, nullptr);
    ps->Release();
}

} // namespace
