#include "platform/gfx/GfxShaderRegisters.h"

#include "platform/gfx/GfxShaderTokens.h"

#include <algorithm>

namespace gfx {
namespace {

// One kind of register: its field in the limits, how it is written in a
// program text and what the refusal calls it.
struct RegisterKind {
    std::uint32_t ShaderRegisterLimits::*limit;
    const char* prefix; // "" for the kinds that name each register
    const char* what;
};

constexpr RegisterKind kTemp{&ShaderRegisterLimits::temps, "r", "temporary registers"};
constexpr RegisterKind kInput{&ShaderRegisterLimits::inputs, "v", "input registers"};
constexpr RegisterKind kConstF{&ShaderRegisterLimits::constF, "c", "float constants"};
constexpr RegisterKind kConstI{&ShaderRegisterLimits::constI, "i", "integer constants"};
constexpr RegisterKind kConstB{&ShaderRegisterLimits::constB, "b", "boolean constants"};
constexpr RegisterKind kAddress{&ShaderRegisterLimits::address, "a", "address registers"};
constexpr RegisterKind kTexture{&ShaderRegisterLimits::textures, "t", "texture registers"};
constexpr RegisterKind kSampler{&ShaderRegisterLimits::samplers, "s", "samplers"};
constexpr RegisterKind kLoop{&ShaderRegisterLimits::loop, "aL", "loop counters"};
constexpr RegisterKind kPredicate{&ShaderRegisterLimits::predicate, "p", "predicate registers"};
constexpr RegisterKind kRastOut{&ShaderRegisterLimits::rastOut, "", "position, fog and point-size outputs"};
constexpr RegisterKind kAttrOut{&ShaderRegisterLimits::attrOut, "oD", "colour outputs"};
constexpr RegisterKind kTexCoordOut{&ShaderRegisterLimits::texCoordOut, "oT", "texture-coordinate outputs"};
constexpr RegisterKind kOutput{&ShaderRegisterLimits::outputs, "o", "output registers"};
constexpr RegisterKind kColorOut{&ShaderRegisterLimits::colorOut, "oC", "colour outputs"};
constexpr RegisterKind kDepthOut{&ShaderRegisterLimits::depthOut, "oDepth", "depth outputs"};
constexpr RegisterKind kMisc{&ShaderRegisterLimits::misc, "", "position and face registers"};

// The kind of a register type in a vertex or pixel program; null for a type
// the device has no register of (labels are not registers here).
const RegisterKind* KindOf(std::uint32_t type, bool vertex, bool threeZero) {
    switch (type) {
    case D3DSPR_TEMP: return &kTemp;
    case D3DSPR_INPUT: return &kInput;
    case D3DSPR_CONST: return &kConstF;
    case D3DSPR_CONSTINT: return &kConstI;
    case D3DSPR_CONSTBOOL: return &kConstB;
    case D3DSPR_ADDR: return vertex ? &kAddress : &kTexture; // D3DSPR_TEXTURE in pixel programs
    case D3DSPR_SAMPLER: return &kSampler;
    case D3DSPR_LOOP: return &kLoop;
    case D3DSPR_PREDICATE: return &kPredicate;
    case D3DSPR_RASTOUT: return &kRastOut;
    case D3DSPR_ATTROUT: return &kAttrOut;
    case D3DSPR_OUTPUT: return vertex && threeZero ? &kOutput : &kTexCoordOut; // D3DSPR_TEXCRDOUT before 3.0
    case D3DSPR_COLOROUT: return &kColorOut;
    case D3DSPR_DEPTHOUT: return &kDepthOut;
    case D3DSPR_MISCTYPE: return &kMisc;
    default: return nullptr;
    }
}

std::string RegisterName(const RegisterKind& kind, std::uint32_t n) {
    if (&kind == &kRastOut) {
        static const char* const kNames[] = {"oPos", "oFog", "oPts"};
        return n < 3 ? kNames[n] : "rasteriser output " + std::to_string(n);
    }
    if (&kind == &kMisc) {
        static const char* const kNames[] = {"vPos", "vFace"};
        return n < 2 ? kNames[n] : "misc register " + std::to_string(n);
    }
    // One-register kinds are named without their number.
    if ((&kind == &kLoop || &kind == &kDepthOut) && n == 0) return kind.prefix;
    return kind.prefix + std::to_string(n);
}

// "(r0-r11)", "(a0)", "(oPos, oFog, oPts)".
std::string RangeText(const RegisterKind& kind, std::uint32_t count) {
    std::string text = "(";
    if (&kind == &kRastOut || &kind == &kMisc || count == 1) {
        for (std::uint32_t n = 0; n < count; ++n) text += (n ? ", " : "") + RegisterName(kind, n);
    } else {
        text += RegisterName(kind, 0) + "-" + RegisterName(kind, count - 1);
    }
    return text + ")";
}

// The instruction as a program text names it.
std::string InstructionName(const std::uint32_t* instruction, std::uint32_t version) {
    const std::uint32_t op = instruction[0] & D3DSI_OPCODE_MASK;
    const std::uint32_t major = (version >> 8) & 0xFF, minor = version & 0xFF;
    const bool pixel14 = (version & 0xFFFF0000u) == 0xFFFF0000u && major == 1 && minor >= 4;
    if (op == D3DSIO_TEX && (major >= 2 || pixel14)) {
        const std::uint32_t control = (instruction[0] >> D3DSP_OPCODESPECIFICCONTROL_SHIFT) & 0xFF;
        return control == D3DSI_TEXLD_PROJECT ? "texldp" : (control == D3DSI_TEXLD_BIAS ? "texldb" : "texld");
    }
    if (op == D3DSIO_TEXCOORD && pixel14) return "texcrd";
    const char* known = ShaderOpcodeName(op);
    return known ? known : "opcode " + std::to_string(op);
}

std::uint32_t TypeOf(std::uint32_t token) {
    return ((token >> D3DSP_REGTYPE_SHIFT) & 7) | ((token >> D3DSP_REGTYPE_SHIFT2) & 0x18);
}

struct Walk {
    const ShaderRegisterLimits* limits;
    std::uint32_t version;
    bool vertex, threeZero, relativeTokens;
    std::string error;

    // False (once, with the error) for a register outside the limits.
    bool Check(const std::uint32_t* instruction, std::uint32_t token) {
        const std::uint32_t type = TypeOf(token), n = token & D3DSP_REGNUM_MASK;
        if (type == D3DSPR_LABEL) return true;
        const std::string name = "'" + InstructionName(instruction, version) + "': ";
        const RegisterKind* kind = KindOf(type, vertex, threeZero);
        if (!kind) {
            error = name + "register type " + std::to_string(type) + " is not a register of " + ShaderVersionName(version);
            return false;
        }
        const std::uint32_t count = limits->*(kind->limit);
        if (count == 0) {
            error = name + ShaderVersionName(version) + " has no " + kind->what + " (" + RegisterName(*kind, n) + ")";
            return false;
        }
        if (n >= count) {
            error = name + RegisterName(*kind, n) + " is outside " + ShaderVersionName(version) + "'s " + kind->what +
                    " " + RangeText(*kind, count);
            return false;
        }
        return true;
    }

    void Visit(const std::uint32_t* instruction, std::size_t after) {
        if (!error.empty()) return;
        const std::uint32_t op = instruction[0] & D3DSI_OPCODE_MASK;
        // A declaration's first token is its usage or sampler type; a
        // definition's tokens after the register are its values.
        if (op == D3DSIO_DCL) {
            if (after >= 2) (void)Check(instruction, instruction[2]);
            return;
        }
        if (op == D3DSIO_DEF || op == D3DSIO_DEFI || op == D3DSIO_DEFB) {
            if (after >= 1) (void)Check(instruction, instruction[1]);
            return;
        }
        for (std::size_t at = 1; at <= after; ++at) {
            const std::uint32_t token = instruction[at];
            if (!Check(instruction, token)) return;
            // From 2.0 on a relative register is followed by the register that addresses it.
            if (relativeTokens && (token & D3DSHADER_ADDRMODE_RELATIVE) && at < after) {
                ++at;
                if (!Check(instruction, instruction[at])) return;
            }
        }
    }

    static void Visitor(void* self, const std::uint32_t* instruction, std::size_t after) {
        static_cast<Walk*>(self)->Visit(instruction, after);
    }
};

} // namespace

ShaderRegisterLimits ShaderRegisterLimitsOf(std::uint32_t versionToken, const D3DCAPS9& caps) {
    ShaderRegisterLimits l;
    // Where the tables leave a count to the device, it stays within what
    // the version's model allows at all.
    const auto temps = [](std::int32_t numTemps) { return std::uint32_t(std::clamp(numTemps, 12, 32)); };
    const std::uint32_t colours = std::clamp<std::uint32_t>(caps.NumSimultaneousRTs, 1, 4);
    switch (ShaderModelOf(versionToken)) {
    case SM_VS11:
    case SM_VS20:
    case SM_VS2X:
        l.temps = 12;
        l.inputs = 16;
        l.constF = caps.MaxVertexShaderConst;
        l.address = 1;
        l.rastOut = 3;
        l.attrOut = 2;
        l.texCoordOut = 8;
        if (ShaderModelOf(versionToken) == SM_VS11) break;
        l.constI = l.constB = 16;
        l.loop = 1;
        if (ShaderModelOf(versionToken) == SM_VS20) break;
        l.temps = temps(caps.VS20Caps.NumTemps);
        l.predicate = (caps.VS20Caps.Caps & D3DVS20CAPS_PREDICATION) ? 1 : 0;
        break;
    case SM_VS30:
        l.temps = 32;
        l.inputs = 16;
        l.constF = caps.MaxVertexShaderConst;
        l.constI = l.constB = 16;
        l.address = 1;
        l.loop = 1;
        l.predicate = 1;
        l.samplers = 4;
        l.outputs = 12;
        break;
    case SM_PS11:
    case SM_PS12:
    case SM_PS13:
    case SM_PS14: {
        const bool ps14 = ShaderModelOf(versionToken) == SM_PS14;
        l.temps = ps14 ? 6 : 2;
        l.textures = ps14 ? 6 : 4;
        l.inputs = 2;
        l.constF = 8;
        break;
    }
    case SM_PS20:
    case SM_PS2X:
        l.temps = 12;
        l.inputs = 2;
        l.constF = 32;
        // Integer and boolean constants are listed from 2.0 on, for the
        // flow control 2_x brings.
        l.constI = l.constB = 16;
        l.samplers = 16;
        l.textures = 8;
        l.colorOut = colours;
        l.depthOut = 1;
        if (ShaderModelOf(versionToken) == SM_PS20) break;
        l.temps = temps(caps.PS20Caps.NumTemps);
        l.predicate = (caps.PS20Caps.Caps & D3DPS20CAPS_PREDICATION) ? 1 : 0;
        break;
    case SM_PS30:
        l.temps = 32;
        l.inputs = 10;
        l.constF = 224;
        l.constI = l.constB = 16;
        l.samplers = 16;
        l.loop = 1;
        l.predicate = 1;
        l.colorOut = colours;
        l.depthOut = 1;
        l.misc = 2;
        break;
    default: break;
    }
    return l;
}

std::string ShaderVersionName(std::uint32_t versionToken) {
    const std::uint16_t model = ShaderModelOf(versionToken);
    if (model == 0) return "?";
    const bool vertex = (versionToken & 0xFFFF0000u) == 0xFFFE0000u;
    const std::uint32_t major = (versionToken >> 8) & 0xFF, minor = versionToken & 0xFF;
    std::string name = vertex ? "vs_" : "ps_";
    name += std::to_string(major) + "_";
    name += model == SM_VS2X || model == SM_PS2X ? std::string("x") : std::to_string(minor);
    return name;
}

bool CheckShaderRegisters(const std::uint32_t* tokens, std::size_t count, const ShaderRegisterLimits& limits,
                          std::string& error) {
    error.clear();
    if (!tokens || count < 2) {
        error = "no program";
        return false;
    }
    const std::uint32_t kind = tokens[0] & 0xFFFF0000u;
    Walk walk{&limits, tokens[0], kind == 0xFFFE0000u, ((tokens[0] >> 8) & 0xFF) >= 3,
              ((tokens[0] >> 8) & 0xFF) >= 2, {}};
    if ((kind != 0xFFFE0000u && kind != 0xFFFF0000u) || WalkShaderTokens(tokens, count, kind, &Walk::Visitor, &walk) == 0) {
        error = "not a program token stream";
        return false;
    }
    error = walk.error;
    return error.empty();
}

} // namespace gfx
