#include "platform/gfx/GfxShaderTokens.h"

#include "platform/gfx/GfxTypes.h"

#include <iterator>

namespace gfx {
namespace {
constexpr std::uint16_t VS = SM_VS11 | SM_VS20 | SM_VS2X | SM_VS30;
constexpr std::uint16_t VS2 = SM_VS20 | SM_VS2X | SM_VS30;
constexpr std::uint16_t VS2X = SM_VS2X | SM_VS30;
constexpr std::uint16_t PS1 = SM_PS11 | SM_PS12 | SM_PS13 | SM_PS14;
constexpr std::uint16_t PS13 = SM_PS11 | SM_PS12 | SM_PS13; // before ps_1_4
constexpr std::uint16_t PS2 = SM_PS20 | SM_PS2X | SM_PS30;
constexpr std::uint16_t PS2X = SM_PS2X | SM_PS30;
constexpr std::uint16_t ALL = VS | PS1 | PS2;
constexpr std::uint16_t FLOW = VS2 | PS2X; // subroutines, rep and if
constexpr std::uint16_t LOOPS = VS2 | SM_PS30;

constexpr ShaderInstructionInfo kInstructions[] = {
    {"nop", D3DSIO_NOP, 0, 0, 0, ALL},
    {"mov", D3DSIO_MOV, 0, 1, 1, ALL},
    {"add", D3DSIO_ADD, 0, 1, 2, ALL},
    {"sub", D3DSIO_SUB, 0, 1, 2, ALL},
    {"mad", D3DSIO_MAD, 0, 1, 3, ALL},
    {"mul", D3DSIO_MUL, 0, 1, 2, ALL},
    {"rcp", D3DSIO_RCP, 0, 1, 1, VS | PS2},
    {"rsq", D3DSIO_RSQ, 0, 1, 1, VS | PS2},
    {"dp3", D3DSIO_DP3, 0, 1, 2, ALL},
    {"dp4", D3DSIO_DP4, 0, 1, 2, VS | SM_PS12 | SM_PS13 | SM_PS14 | PS2},
    {"min", D3DSIO_MIN, 0, 1, 2, VS | PS2},
    {"max", D3DSIO_MAX, 0, 1, 2, VS | PS2},
    {"slt", D3DSIO_SLT, 0, 1, 2, VS},
    {"sge", D3DSIO_SGE, 0, 1, 2, VS},
    {"exp", D3DSIO_EXP, 0, 1, 1, VS | PS2},
    {"log", D3DSIO_LOG, 0, 1, 1, VS | PS2},
    {"lit", D3DSIO_LIT, 0, 1, 1, VS},
    {"dst", D3DSIO_DST, 0, 1, 2, VS},
    {"lrp", D3DSIO_LRP, 0, 1, 3, VS2 | PS1 | PS2},
    {"frc", D3DSIO_FRC, 0, 1, 1, VS | PS2},
    {"m4x4", D3DSIO_M4x4, 0, 1, 2, VS | PS2},
    {"m4x3", D3DSIO_M4x3, 0, 1, 2, VS | PS2},
    {"m3x4", D3DSIO_M3x4, 0, 1, 2, VS | PS2},
    {"m3x3", D3DSIO_M3x3, 0, 1, 2, VS | PS2},
    {"m3x2", D3DSIO_M3x2, 0, 1, 2, VS | PS2},
    {"call", D3DSIO_CALL, 0, 0, 1, FLOW},
    {"callnz", D3DSIO_CALLNZ, 0, 0, 2, FLOW},
    {"loop", D3DSIO_LOOP, 0, 0, 2, LOOPS},
    {"ret", D3DSIO_RET, 0, 0, 0, FLOW},
    {"endloop", D3DSIO_ENDLOOP, 0, 0, 0, LOOPS},
    {"label", D3DSIO_LABEL, 0, 0, 1, FLOW},
    {"pow", D3DSIO_POW, 0, 1, 2, VS2 | PS2},
    {"crs", D3DSIO_CRS, 0, 1, 2, VS2 | PS2},
    {"sgn", D3DSIO_SGN, 0, 1, 3, VS2},
    {"abs", D3DSIO_ABS, 0, 1, 1, VS2 | PS2},
    {"nrm", D3DSIO_NRM, 0, 1, 1, VS2 | PS2},
    {"sincos", D3DSIO_SINCOS, 0, 1, 3, SM_VS20 | SM_VS2X | SM_PS20 | SM_PS2X},
    {"sincos", D3DSIO_SINCOS, 0, 1, 1, SM_VS30 | SM_PS30},
    {"rep", D3DSIO_REP, 0, 0, 1, FLOW},
    {"endrep", D3DSIO_ENDREP, 0, 0, 0, FLOW},
    {"if", D3DSIO_IF, 0, 0, 1, FLOW},
    {"ifc", D3DSIO_IFC, 0, 0, 2, VS2X | PS2X},
    {"else", D3DSIO_ELSE, 0, 0, 0, FLOW},
    {"endif", D3DSIO_ENDIF, 0, 0, 0, FLOW},
    {"break", D3DSIO_BREAK, 0, 0, 0, VS2X | PS2X},
    {"breakc", D3DSIO_BREAKC, 0, 0, 2, VS2X | PS2X},
    {"mova", D3DSIO_MOVA, 0, 1, 1, VS2},
    {"texcoord", D3DSIO_TEXCOORD, 0, 1, 0, PS13},
    {"texcrd", D3DSIO_TEXCOORD, 0, 1, 1, SM_PS14},
    {"texkill", D3DSIO_TEXKILL, 0, 1, 0, PS1 | PS2},
    {"tex", D3DSIO_TEX, 0, 1, 0, PS13},
    {"texld", D3DSIO_TEX, 0, 1, 1, SM_PS14},
    {"texld", D3DSIO_TEX, 0, 1, 2, PS2},
    {"texldp", D3DSIO_TEX, D3DSI_TEXLD_PROJECT, 1, 2, PS2},
    {"texldb", D3DSIO_TEX, D3DSI_TEXLD_BIAS, 1, 2, PS2},
    {"texbem", D3DSIO_TEXBEM, 0, 1, 1, PS13},
    {"texbeml", D3DSIO_TEXBEML, 0, 1, 1, PS13},
    {"texreg2ar", D3DSIO_TEXREG2AR, 0, 1, 1, PS13},
    {"texreg2gb", D3DSIO_TEXREG2GB, 0, 1, 1, PS13},
    {"texm3x2pad", D3DSIO_TEXM3x2PAD, 0, 1, 1, PS13},
    {"texm3x2tex", D3DSIO_TEXM3x2TEX, 0, 1, 1, PS13},
    {"texm3x3pad", D3DSIO_TEXM3x3PAD, 0, 1, 1, PS13},
    {"texm3x3tex", D3DSIO_TEXM3x3TEX, 0, 1, 1, PS13},
    {"texm3x3spec", D3DSIO_TEXM3x3SPEC, 0, 1, 2, PS13},
    {"texm3x3vspec", D3DSIO_TEXM3x3VSPEC, 0, 1, 1, PS13},
    {"expp", D3DSIO_EXPP, 0, 1, 1, VS},
    {"logp", D3DSIO_LOGP, 0, 1, 1, VS},
    {"cnd", D3DSIO_CND, 0, 1, 3, PS1},
    {"texreg2rgb", D3DSIO_TEXREG2RGB, 0, 1, 1, SM_PS12 | SM_PS13},
    {"texdp3tex", D3DSIO_TEXDP3TEX, 0, 1, 1, SM_PS12 | SM_PS13},
    {"texm3x2depth", D3DSIO_TEXM3x2DEPTH, 0, 1, 1, SM_PS13},
    {"texdp3", D3DSIO_TEXDP3, 0, 1, 1, SM_PS12 | SM_PS13},
    {"texm3x3", D3DSIO_TEXM3x3, 0, 1, 1, SM_PS12 | SM_PS13},
    {"texdepth", D3DSIO_TEXDEPTH, 0, 1, 0, SM_PS14},
    {"cmp", D3DSIO_CMP, 0, 1, 3, SM_PS12 | SM_PS13 | SM_PS14 | PS2},
    {"bem", D3DSIO_BEM, 0, 1, 2, SM_PS14},
    {"dp2add", D3DSIO_DP2ADD, 0, 1, 3, PS2},
    {"dsx", D3DSIO_DSX, 0, 1, 1, PS2X},
    {"dsy", D3DSIO_DSY, 0, 1, 1, PS2X},
    {"texldd", D3DSIO_TEXLDD, 0, 1, 4, PS2X},
    {"setp", D3DSIO_SETP, 0, 1, 2, VS2X | PS2X},
    {"texldl", D3DSIO_TEXLDL, 0, 1, 2, SM_VS30 | SM_PS30},
    {"breakp", D3DSIO_BREAKP, 0, 0, 1, VS2X | PS2X},
    {"phase", D3DSIO_PHASE, 0, 0, 0, SM_PS14},
};
} // namespace

std::uint16_t ShaderModelOf(std::uint32_t versionToken) {
    const std::uint32_t version = versionToken & 0xFFFF;
    if ((versionToken & 0xFFFF0000u) == D3DVS_VERSION(0, 0)) {
        switch (version) {
        case 0x0101: return SM_VS11;
        case 0x0200: return SM_VS20;
        case 0x0201: return SM_VS2X;
        case 0x0300: return SM_VS30;
        default: return 0;
        }
    }
    if ((versionToken & 0xFFFF0000u) == D3DPS_VERSION(0, 0)) {
        switch (version) {
        case 0x0101: return SM_PS11;
        case 0x0102: return SM_PS12;
        case 0x0103: return SM_PS13;
        case 0x0104: return SM_PS14;
        case 0x0200: return SM_PS20;
        case 0x0201: return SM_PS2X;
        case 0x0300: return SM_PS30;
        default: return 0;
        }
    }
    return 0;
}

const ShaderInstructionInfo* FindShaderInstruction(std::string_view name, std::uint16_t model, bool* known) {
    if (known) *known = false;
    for (const ShaderInstructionInfo& info : kInstructions) {
        if (name != info.name) continue;
        if (known) *known = true;
        if (info.models & model) return &info;
    }
    return nullptr;
}

const char* ShaderOpcodeName(std::uint32_t opcode) {
    switch (opcode) {
    case D3DSIO_DCL: return "dcl";
    case D3DSIO_DEF: return "def";
    case D3DSIO_DEFI: return "defi";
    case D3DSIO_DEFB: return "defb";
    default: break;
    }
    for (const ShaderInstructionInfo& info : kInstructions)
        if (info.opcode == opcode) return info.name;
    return nullptr;
}

bool ShaderOpcodeInModel(std::uint32_t opcode, std::uint16_t model) {
    switch (opcode) {
    case D3DSIO_DEF: return (model & ALL) != 0;
    case D3DSIO_DCL: return (model & (VS | PS2)) != 0;
    case D3DSIO_DEFI: return (model & (VS2 | PS2)) != 0;
    case D3DSIO_DEFB: return (model & (VS2 | PS2)) != 0;
    case D3DSIO_COMMENT: return model != 0;
    default: break;
    }
    for (const ShaderInstructionInfo& info : kInstructions)
        if (info.opcode == opcode && (info.models & model)) return true;
    return false;
}

std::size_t WalkShaderTokens(const std::uint32_t* tokens, std::size_t count, std::uint32_t kind,
                             ShaderInstructionVisitor visitor, void* context) {
    if (!tokens || count < 2 || (tokens[0] & 0xFFFF0000u) != kind) return 0;
    const std::uint16_t model = ShaderModelOf(tokens[0]);
    if (model == 0) return 0;
    const bool lengths = ((tokens[0] >> 8) & 0xFF) >= 2;
    std::size_t i = 1;
    while (i < count) {
        const std::uint32_t token = tokens[i];
        if (token == D3DSIO_END) return i + 1;
        if (token & D3DSP_PARAM_TOKEN) return 0; // a parameter where an instruction belongs
        const std::uint32_t opcode = token & D3DSI_OPCODE_MASK;
        std::size_t after = 0;
        if (opcode == D3DSIO_COMMENT) {
            after = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
        } else {
            if (!ShaderOpcodeInModel(opcode, model)) return 0;
            if (lengths) {
                after = (token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
            } else if (opcode == D3DSIO_DEF) {
                after = 5; // register and four raw values, which may look like parameters
            } else {
                while (i + 1 + after < count && (tokens[i + 1 + after] & D3DSP_PARAM_TOKEN)) ++after;
            }
        }
        if (after > count - i - 1) return 0;
        if (visitor && opcode != D3DSIO_COMMENT) visitor(context, tokens + i, after);
        i += 1 + after;
    }
    return 0;
}

} // namespace gfx
