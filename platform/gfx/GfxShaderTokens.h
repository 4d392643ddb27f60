#pragma once
// Shader token streams in the published layout: the numbers the assembler
// writes and the device walks, and the one instruction table both use.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gfx {

// Instruction opcodes (low 16 bits of an instruction token; published numbering).
enum : std::uint16_t {
    D3DSIO_NOP = 0, D3DSIO_MOV = 1, D3DSIO_ADD = 2, D3DSIO_SUB = 3, D3DSIO_MAD = 4, D3DSIO_MUL = 5,
    D3DSIO_RCP = 6, D3DSIO_RSQ = 7, D3DSIO_DP3 = 8, D3DSIO_DP4 = 9, D3DSIO_MIN = 10, D3DSIO_MAX = 11,
    D3DSIO_SLT = 12, D3DSIO_SGE = 13, D3DSIO_EXP = 14, D3DSIO_LOG = 15, D3DSIO_LIT = 16, D3DSIO_DST = 17,
    D3DSIO_LRP = 18, D3DSIO_FRC = 19, D3DSIO_M4x4 = 20, D3DSIO_M4x3 = 21, D3DSIO_M3x4 = 22, D3DSIO_M3x3 = 23,
    D3DSIO_M3x2 = 24, D3DSIO_CALL = 25, D3DSIO_CALLNZ = 26, D3DSIO_LOOP = 27, D3DSIO_RET = 28,
    D3DSIO_ENDLOOP = 29, D3DSIO_LABEL = 30, D3DSIO_DCL = 31, D3DSIO_POW = 32, D3DSIO_CRS = 33, D3DSIO_SGN = 34,
    D3DSIO_ABS = 35, D3DSIO_NRM = 36, D3DSIO_SINCOS = 37, D3DSIO_REP = 38, D3DSIO_ENDREP = 39, D3DSIO_IF = 40,
    D3DSIO_IFC = 41, D3DSIO_ELSE = 42, D3DSIO_ENDIF = 43, D3DSIO_BREAK = 44, D3DSIO_BREAKC = 45,
    D3DSIO_MOVA = 46, D3DSIO_DEFB = 47, D3DSIO_DEFI = 48, D3DSIO_TEXCOORD = 64, D3DSIO_TEXKILL = 65,
    D3DSIO_TEX = 66, D3DSIO_TEXBEM = 67, D3DSIO_TEXBEML = 68, D3DSIO_TEXREG2AR = 69, D3DSIO_TEXREG2GB = 70,
    D3DSIO_TEXM3x2PAD = 71, D3DSIO_TEXM3x2TEX = 72, D3DSIO_TEXM3x3PAD = 73, D3DSIO_TEXM3x3TEX = 74,
    D3DSIO_TEXM3x3SPEC = 76, D3DSIO_TEXM3x3VSPEC = 77, D3DSIO_EXPP = 78, D3DSIO_LOGP = 79, D3DSIO_CND = 80,
    D3DSIO_DEF = 81, D3DSIO_TEXREG2RGB = 82, D3DSIO_TEXDP3TEX = 83, D3DSIO_TEXM3x2DEPTH = 84,
    D3DSIO_TEXDP3 = 85, D3DSIO_TEXM3x3 = 86, D3DSIO_TEXDEPTH = 87, D3DSIO_CMP = 88, D3DSIO_BEM = 89,
    D3DSIO_DP2ADD = 90, D3DSIO_DSX = 91, D3DSIO_DSY = 92, D3DSIO_TEXLDD = 93, D3DSIO_SETP = 94,
    D3DSIO_TEXLDL = 95, D3DSIO_BREAKP = 96, D3DSIO_PHASE = 0xFFFD, D3DSIO_COMMENT = 0xFFFE
};

// Instruction token fields (published layout).
constexpr std::uint32_t D3DSI_OPCODE_MASK = 0x0000FFFF;
constexpr std::uint32_t D3DSP_OPCODESPECIFICCONTROL_SHIFT = 16; // comparison, texld project/bias
constexpr std::uint32_t D3DSI_INSTLENGTH_SHIFT = 24;            // tokens after the instruction, 2.0 on
constexpr std::uint32_t D3DSI_INSTLENGTH_MASK = 0x0F000000;
constexpr std::uint32_t D3DSHADER_INSTRUCTION_PREDICATED = 0x10000000;
constexpr std::uint32_t D3DSI_COISSUE = 0x40000000;
constexpr std::uint32_t D3DSI_COMMENTSIZE_SHIFT = 16;
constexpr std::uint32_t D3DSI_COMMENTSIZE_MASK = 0x7FFF0000;
constexpr std::uint32_t D3DSI_TEXLD_PROJECT = 1; // texldp control
constexpr std::uint32_t D3DSI_TEXLD_BIAS = 2;    // texldb control

// Parameter token fields (published layout).
constexpr std::uint32_t D3DSP_REGNUM_MASK = 0x000007FF;
constexpr std::uint32_t D3DSP_REGTYPE_SHIFT = 28;  // type bits 0-2
constexpr std::uint32_t D3DSP_REGTYPE_SHIFT2 = 8;  // type bits 3-4, to bits 11-12
constexpr std::uint32_t D3DSHADER_ADDRMODE_RELATIVE = 0x00002000;
constexpr std::uint32_t D3DSP_WRITEMASK_SHIFT = 16;
constexpr std::uint32_t D3DSP_WRITEMASK_ALL = 0x000F0000;
constexpr std::uint32_t D3DSP_DSTMOD_SHIFT = 20;
constexpr std::uint32_t D3DSPDM_SATURATE = 1 << 20;
constexpr std::uint32_t D3DSPDM_PARTIALPRECISION = 2 << 20;
constexpr std::uint32_t D3DSPDM_MSAMPCENTROID = 4 << 20;
constexpr std::uint32_t D3DSP_DSTSHIFT_SHIFT = 24;
constexpr std::uint32_t D3DSP_SWIZZLE_SHIFT = 16;
constexpr std::uint32_t D3DSP_NOSWIZZLE = 0x00E40000; // .xyzw
constexpr std::uint32_t D3DSP_SRCMOD_SHIFT = 24;
constexpr std::uint32_t D3DSP_PARAM_TOKEN = 0x80000000; // bit 31 of every parameter token

// Source modifiers (published numbering).
enum : std::uint32_t {
    D3DSPSM_NONE = 0, D3DSPSM_NEG = 1, D3DSPSM_BIAS = 2, D3DSPSM_BIASNEG = 3, D3DSPSM_SIGN = 4,
    D3DSPSM_SIGNNEG = 5, D3DSPSM_COMP = 6, D3DSPSM_X2 = 7, D3DSPSM_X2NEG = 8, D3DSPSM_DZ = 9, D3DSPSM_DW = 10,
    D3DSPSM_ABS = 11, D3DSPSM_ABSNEG = 12, D3DSPSM_NOT = 13
};

// Register types (published numbering).
enum : std::uint32_t {
    D3DSPR_TEMP = 0, D3DSPR_INPUT = 1, D3DSPR_CONST = 2, D3DSPR_ADDR = 3, D3DSPR_TEXTURE = 3, D3DSPR_RASTOUT = 4,
    D3DSPR_ATTROUT = 5, D3DSPR_TEXCRDOUT = 6, D3DSPR_OUTPUT = 6, D3DSPR_CONSTINT = 7, D3DSPR_COLOROUT = 8,
    D3DSPR_DEPTHOUT = 9, D3DSPR_SAMPLER = 10, D3DSPR_CONSTBOOL = 14, D3DSPR_LOOP = 15, D3DSPR_MISCTYPE = 17,
    D3DSPR_LABEL = 18, D3DSPR_PREDICATE = 19
};

// Declaration tokens (published layout): usage and index, or sampler type.
constexpr std::uint32_t D3DSP_DCL_USAGEINDEX_SHIFT = 16;
constexpr std::uint32_t D3DSP_TEXTURETYPE_SHIFT = 27;
enum : std::uint32_t { D3DSTT_2D = 2, D3DSTT_CUBE = 3, D3DSTT_VOLUME = 4 }; // sampler types

// Shader models the table knows, one bit each.
enum ShaderModel : std::uint16_t {
    SM_VS11 = 1 << 0, SM_VS20 = 1 << 1, SM_VS2X = 1 << 2, SM_VS30 = 1 << 3,
    SM_PS11 = 1 << 4, SM_PS12 = 1 << 5, SM_PS13 = 1 << 6, SM_PS14 = 1 << 7,
    SM_PS20 = 1 << 8, SM_PS2X = 1 << 9, SM_PS30 = 1 << 10
};

// The model of a version token, 0 when it names none the table knows.
[[nodiscard]] std::uint16_t ShaderModelOf(std::uint32_t versionToken);

// One instruction form: its text name, opcode, control, operand counts and
// the models that have it. A name may appear more than once when its
// operands differ between models.
struct ShaderInstructionInfo {
    const char* name;
    std::uint16_t opcode;
    std::uint8_t control;
    std::uint8_t dsts;
    std::uint8_t srcs;
    std::uint16_t models;
};

// The form of `name` in `model`; null when none. `known` (if given) tells
// whether the name exists in any model.
[[nodiscard]] const ShaderInstructionInfo* FindShaderInstruction(std::string_view name, std::uint16_t model,
                                                                 bool* known = nullptr);
// The text name of an opcode (its first form in the table; "dcl", "def",
// "defi", "defb" too), null when unknown.
[[nodiscard]] const char* ShaderOpcodeName(std::uint32_t opcode);
// Whether the opcode exists in the model (declarations, definitions and
// comments included).
[[nodiscard]] bool ShaderOpcodeInModel(std::uint32_t opcode, std::uint16_t model);

// Walks a token stream of `count` tokens: the version token of `kind`
// (0xFFFE0000 vertex, 0xFFFF0000 pixel), then every instruction by its
// length (by its parameter tokens before 2.0), each opcode known in the
// model, up to the end token. Returns the tokens up to and including the
// end token, 0 for anything else; never reads beyond `count`. The visitor,
// if given, sees each instruction (not comments) with its tokens after it.
using ShaderInstructionVisitor = void (*)(void* context, const std::uint32_t* instruction, std::size_t after);
[[nodiscard]] std::size_t WalkShaderTokens(const std::uint32_t* tokens, std::size_t count, std::uint32_t kind,
                                           ShaderInstructionVisitor visitor = nullptr, void* context = nullptr);

} // namespace gfx
