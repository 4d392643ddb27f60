#include "platform/gfx/GfxShaderTranslator.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderRegisters.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxTypes.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>
#include <set>

namespace gfx {
namespace {

// Numeric behaviour of the published instructions where GLSL's differs:
// reciprocals of 0 give the largest float, logarithms of 0 its negative,
// powers and square roots work on the magnitude.
constexpr const char* kHelpers = R"(
const float D3D_FLT_MAX = 3.402823466e+38;
float d3d_rcp(float x) { return x == 0.0 ? D3D_FLT_MAX : 1.0 / x; }
float d3d_rsq(float x) { float a = abs(x); return a == 0.0 ? D3D_FLT_MAX : inversesqrt(a); }
float d3d_log(float x) { float a = abs(x); return a == 0.0 ? -D3D_FLT_MAX : log2(a); }
float d3d_pow(float x, float y) {
    float a = abs(x);
    if (a == 0.0) return y == 0.0 ? 1.0 : (y > 0.0 ? 0.0 : D3D_FLT_MAX);
    return exp2(y * log2(a));
}
vec4 d3d_lit(vec4 s) {
    vec4 d = vec4(1.0, 0.0, 0.0, 1.0);
    if (s.x > 0.0) {
        d.y = s.x;
        if (s.y > 0.0) d.z = d3d_pow(s.y, clamp(s.w, -128.0, 128.0));
    }
    return d;
}
vec4 d3d_nrm(vec4 s) { float d = dot(s.xyz, s.xyz); return s * (d == 0.0 ? D3D_FLT_MAX : inversesqrt(d)); }
vec4 d3d_expp(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }
vec4 d3d_logp(float x) {
    float a = abs(x);
    if (a == 0.0) return vec4(-D3D_FLT_MAX, 1.0, -D3D_FLT_MAX, 1.0);
    float e = floor(log2(a));
    return vec4(e, a / exp2(e), log2(a), 1.0);
}
)";

constexpr const char* kComponents = "xyzw";

std::string Num(float v) {
    if (v != v) return "(0.0/0.0)";
    if (v > 3.402823466e+38f) return "D3D_FLT_MAX";
    if (v < -3.402823466e+38f) return "(-D3D_FLT_MAX)";
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return "float(" + s + ")";
}

struct Param {
    std::uint32_t token = 0, type = 0, num = 0;
    bool relative = false;
    std::uint32_t relToken = 0; // 2.0 on: the address register token
};

std::uint32_t RegType(std::uint32_t t) { return ((t >> D3DSP_REGTYPE_SHIFT) & 7) | ((t >> D3DSP_REGTYPE_SHIFT2) & 0x18); }

std::string Mask(std::uint32_t mask) {
    std::string m;
    for (int c = 0; c < 4; ++c)
        if (mask & (1u << c)) m += kComponents[c];
    return m;
}

class Translator {
public:
    Translator(const std::uint32_t* tokens, std::size_t count, TranslatedShader& out) : m_out(out) {
        m_version = tokens[0];
        m_out.vertex = (tokens[0] & 0xFFFF0000u) == 0xFFFE0000u;
        m_out.model = ShaderModelOf(tokens[0]);
        m_out.major = (tokens[0] >> 8) & 0xFF;
        m_minor = tokens[0] & 0xFF;
        m_vs = m_out.vertex;
        m_ps1 = !m_vs && m_out.major < 2;
        m_prefix = m_vs ? "uVs" : "uPs";
        (void)WalkShaderTokens(tokens, count, tokens[0] & 0xFFFF0000u, &Collect, this);
    }

    bool Run(std::string& error) {
        if (m_vs) m_constLimit = 256;
        else if (m_out.major >= 3) m_constLimit = 224;
        else if (m_out.major == 2) m_constLimit = 32;
        else m_constLimit = 8;
        // Declarations and definitions first: they hold for the whole program.
        for (const Instr& in : m_instrs)
            if (!Declare(in)) return Fail(error);
        if (m_vs && !InputsDeclared()) return Fail(error);
        for (std::size_t i = 0; i < m_instrs.size(); ++i) {
            const Instr& in = m_instrs[i];
            const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
            if (op == D3DSIO_DCL || op == D3DSIO_DEF || op == D3DSIO_DEFI || op == D3DSIO_DEFB) continue;
            // A co-issued pair reads its sources before either writes.
            const bool pairNext = m_ps1 && i + 1 < m_instrs.size() && (m_instrs[i + 1].p[0] & D3DSI_COISSUE);
            if (!Emit(in)) return Fail(error);
            if (!pairNext) FlushWrites();
        }
        FlushWrites();
        if (m_depth != 0) {
            m_error = "a flow-control block is never closed";
            return Fail(error);
        }
        if (!OutputsWritten()) return Fail(error);
        Finish();
        return true;
    }

private:
    struct Instr {
        const std::uint32_t* p;
        std::size_t after;
    };

    static void Collect(void* self, const std::uint32_t* instruction, std::size_t after) {
        static_cast<Translator*>(self)->m_instrs.push_back({instruction, after});
    }

    bool Fail(std::string& error) {
        error = m_error.empty() ? "cannot translate" : m_error;
        return false;
    }
    bool Refuse(const Instr& in, const std::string& why) {
        const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
        const char* known = ShaderOpcodeName(op);
        std::string name = known ? known : "opcode " + std::to_string(op);
        if (op == D3DSIO_TEX && m_out.major >= 2) {
            const std::uint32_t control = (in.p[0] >> D3DSP_OPCODESPECIFICCONTROL_SHIFT) & 0xFF;
            name = control == D3DSI_TEXLD_PROJECT ? "texldp" : (control == D3DSI_TEXLD_BIAS ? "texldb" : "texld");
        }
        m_error = "'" + name + "': " + why;
        return false;
    }

    // ---- parameters ---------------------------------------------------------------------------------------------
    // Reads the parameter at `at` (and its address token from 2.0 on); false past the instruction.
    bool Read(const Instr& in, std::size_t& at, Param& p) {
        if (at >= in.after) return false;
        p.token = in.p[1 + at++];
        p.type = RegType(p.token);
        p.num = p.token & D3DSP_REGNUM_MASK;
        p.relative = (p.token & D3DSHADER_ADDRMODE_RELATIVE) != 0;
        if (p.relative && m_out.major >= 2) {
            if (at >= in.after) return false;
            p.relToken = in.p[1 + at++];
        }
        return true;
    }

    std::string IntConst(std::uint32_t n) {
        if (n >= 16) return "ivec4(0)";
        if (auto it = m_defI.find(n); it != m_defI.end()) {
            const auto& v = it->second;
            return "ivec4(" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) + ", " +
                   std::to_string(v[3]) + ")";
        }
        m_usesI = true;
        return m_prefix + "I[" + std::to_string(n) + "]";
    }
    std::string BoolConst(std::uint32_t n) {
        if (n >= 16) return "false";
        if (auto it = m_defB.find(n); it != m_defB.end()) return it->second ? "true" : "false";
        m_usesB = true;
        return "(" + m_prefix + "B[" + std::to_string(n) + "] != 0)";
    }

    // The index expression of a relatively addressed register.
    std::string RelIndex(const Param& p, std::uint32_t offset) {
        const std::string base = std::to_string(p.num + offset);
        if (m_out.major < 2) {
            m_usesA0 = true;
            return "(a0.x + " + base + ")";
        }
        const std::uint32_t rt = RegType(p.relToken);
        const char comp = kComponents[(p.relToken >> D3DSP_SWIZZLE_SHIFT) & 3];
        if (rt == D3DSPR_LOOP) {
            m_usesLoop = true;
            return "(aL + " + base + ")";
        }
        m_usesA0 = true;
        return std::string("(a0.") + comp + " + " + base + ")";
    }

    // The register a parameter names, as a GLSL l-value or value of vec4 type; empty when unknown.
    std::string Reg(const Param& p, std::uint32_t offset, bool write) {
        const std::uint32_t n = p.num + offset;
        switch (p.type) {
        case D3DSPR_TEMP:
            if (n >= 32) return {};
            m_temps.insert(n);
            return "r" + std::to_string(n);
        case D3DSPR_INPUT:
            if (n >= 16 || write) return {};
            if (!m_vs && m_out.major < 3) {
                if (n >= 2) return {};
                m_out.colorsRead |= 1u << n;
            }
            if (p.relative) return "v[clamp(" + RelIndex(p, offset) + ", 0, 15)]";
            return "v[" + std::to_string(n) + "]";
        case D3DSPR_CONST: {
            if (write) return {};
            if (p.relative) {
                m_relConst = true;
                return m_prefix + "Cread(" + RelIndex(p, offset) + ")";
            }
            if (n >= m_constLimit) return {};
            std::string v;
            if (m_defF.count(n)) {
                v = "dC" + std::to_string(n);
            } else {
                m_maxConst = std::max(m_maxConst, n + 1);
                v = m_prefix + "C[" + std::to_string(n) + "]";
            }
            // Pixel programs before 2.0 see constants in [-1, 1].
            return m_ps1 ? "clamp(" + v + ", -1.0, 1.0)" : v;
        }
        case D3DSPR_ADDR: // the address register of vertex programs, the texture registers of pixel programs
            if (m_vs) {
                if (n != 0) return {};
                m_usesA0 = true;
                return write ? "a0" : "vec4(a0)";
            }
            if (n >= 8) return {};
            m_out.texcoordsRead |= 1u << n;
            if (m_out.major >= 2 && write) return {};
            return "t[" + std::to_string(n) + "]";
        case D3DSPR_RASTOUT:
            if (!m_vs || !write || m_out.major >= 3) return {};
            if (n == 0) {
                m_writesPosition = true;
                return "oPos";
            }
            if (n == 1) return "oFogV";
            if (n == 2) return "oPtsV";
            return {};
        case D3DSPR_ATTROUT:
            if (!m_vs || !write || n >= 2 || m_out.major >= 3) return {};
            return "oD[" + std::to_string(n) + "]";
        case D3DSPR_OUTPUT:
            if (!m_vs || !write) return {};
            if (m_out.major >= 3) {
                if (n >= 12) return {};
                // A relative write may reach any output.
                m_outputsWritten |= p.relative ? ~0u : 1u << n;
                if (p.relative) return "o[clamp(" + RelIndex(p, offset) + ", 0, 11)]";
                return "o[" + std::to_string(n) + "]";
            }
            if (n >= 8) return {};
            return "oT[" + std::to_string(n) + "]";
        case D3DSPR_CONSTINT:
            if (write) return {};
            return "vec4(" + IntConst(n) + ")";
        case D3DSPR_CONSTBOOL:
            if (write) return {};
            return "vec4(" + BoolConst(n) + ")";
        case D3DSPR_COLOROUT:
            if (m_vs || !write || n >= 4) return {};
            m_out.colorsWritten |= 1u << n;
            return "oC[" + std::to_string(n) + "]";
        case D3DSPR_DEPTHOUT:
            if (m_vs || !write || n != 0) return {};
            m_out.writesDepth = true;
            return "oDepthV";
        case D3DSPR_LOOP:
            if (write) return {};
            m_usesLoop = true;
            return "vec4(float(aL))";
        case D3DSPR_MISCTYPE:
            if (m_vs || write) return {};
            if (n == 0) {
                m_out.usesPosition = true;
                return "d3dPos";
            }
            if (n == 1) {
                m_out.usesFace = true;
                return "vec4(gl_FrontFacing ? 1.0 : -1.0)";
            }
            return {};
        case D3DSPR_PREDICATE:
            if (n != 0) return {};
            m_usesP0 = true;
            return write ? "p0" : "vec4(p0)";
        default: return {};
        }
    }

    // A source parameter read as a vec4: register, swizzle and modifier.
    std::string Src(const Param& p, std::uint32_t offset = 0) {
        std::string r = Reg(p, offset, false);
        if (r.empty()) return {};
        const std::uint32_t sw = (p.token >> D3DSP_SWIZZLE_SHIFT) & 0xFF;
        if (sw != 0xE4) {
            r = "(" + r + ").";
            for (int c = 0; c < 4; ++c) r += kComponents[(sw >> (2 * c)) & 3];
        }
        switch ((p.token >> D3DSP_SRCMOD_SHIFT) & 0xF) {
        case D3DSPSM_NONE: return r;
        case D3DSPSM_NEG: return "(-" + r + ")";
        case D3DSPSM_BIAS: return "(" + r + " - 0.5)";
        case D3DSPSM_BIASNEG: return "(-(" + r + " - 0.5))";
        case D3DSPSM_SIGN: return "(2.0 * " + r + " - 1.0)";
        case D3DSPSM_SIGNNEG: return "(-(2.0 * " + r + " - 1.0))";
        case D3DSPSM_COMP: return "(1.0 - " + r + ")";
        case D3DSPSM_X2: return "(2.0 * " + r + ")";
        case D3DSPSM_X2NEG: return "(-2.0 * " + r + ")";
        // Divides by z or w: the pixel 1.4 coordinate modifiers.
        case D3DSPSM_DZ: return m_vs ? std::string() : "d3d_dz(" + r + ")";
        case D3DSPSM_DW: return m_vs ? std::string() : "d3d_dw(" + r + ")";
        case D3DSPSM_ABS: return "abs(" + r + ")";
        case D3DSPSM_ABSNEG: return "(-abs(" + r + "))";
        case D3DSPSM_NOT: return "(vec4(1.0) - " + r + ")";
        default: return {};
        }
    }

    // A boolean condition: a boolean constant or a predicate component, with NOT.
    std::string Condition(const Param& p) {
        const bool negate = ((p.token >> D3DSP_SRCMOD_SHIFT) & 0xF) == D3DSPSM_NOT;
        std::string c;
        if (p.type == D3DSPR_CONSTBOOL) {
            c = BoolConst(p.num);
        } else if (p.type == D3DSPR_PREDICATE && p.num == 0) {
            m_usesP0 = true;
            c = std::string("p0.") + kComponents[(p.token >> D3DSP_SWIZZLE_SHIFT) & 3];
        } else {
            return {};
        }
        return negate ? "!" + c : c;
    }

    static std::string Compare(std::uint32_t control, const std::string& a, const std::string& b) {
        static const char* kOps[8] = {nullptr, ">", "==", ">=", "<", "!=", "<=", nullptr};
        const char* op = kOps[control & 7];
        if (!op) return {};
        return "(" + a + " " + op + " " + b + ")";
    }
    static std::string VecCompare(std::uint32_t control, const std::string& a, const std::string& b) {
        static const char* kFns[8] = {nullptr, "greaterThan", "equal", "greaterThanEqual", "lessThan", "notEqual",
                                      "lessThanEqual", nullptr};
        const char* fn = kFns[control & 7];
        if (!fn) return {};
        return std::string(fn) + "(" + a + ", " + b + ")";
    }

    // ---- declarations ---------------------------------------------------------------------------------------------
    bool Declare(const Instr& in) {
        const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
        if (op == D3DSIO_DEF) {
            if (in.after < 5) return Refuse(in, "short definition");
            const std::uint32_t n = in.p[1] & D3DSP_REGNUM_MASK;
            if (RegType(in.p[1]) != D3DSPR_CONST || n >= m_constLimit) return Refuse(in, "bad register");
            std::array<float, 4> v{};
            for (int c = 0; c < 4; ++c) v[c] = std::bit_cast<float>(in.p[2 + c]);
            m_defF[n] = v;
            return true;
        }
        if (op == D3DSIO_DEFI) {
            if (in.after < 5 || RegType(in.p[1]) != D3DSPR_CONSTINT || (in.p[1] & D3DSP_REGNUM_MASK) >= 16)
                return Refuse(in, "bad definition");
            std::array<int, 4> v{};
            for (int c = 0; c < 4; ++c) v[c] = int(std::int32_t(in.p[2 + c]));
            m_defI[in.p[1] & D3DSP_REGNUM_MASK] = v;
            return true;
        }
        if (op == D3DSIO_DEFB) {
            if (in.after < 2 || RegType(in.p[1]) != D3DSPR_CONSTBOOL || (in.p[1] & D3DSP_REGNUM_MASK) >= 16)
                return Refuse(in, "bad definition");
            m_defB[in.p[1] & D3DSP_REGNUM_MASK] = in.p[2] != 0;
            return true;
        }
        if (op != D3DSIO_DCL) return true;
        if (in.after < 2) return Refuse(in, "short declaration");
        const std::uint32_t usageToken = in.p[1];
        const std::uint32_t reg = in.p[2];
        const std::uint32_t type = RegType(reg), n = reg & D3DSP_REGNUM_MASK;
        const std::uint8_t mask = std::uint8_t((reg >> D3DSP_WRITEMASK_SHIFT) & 0xF);
        ShaderSemantic sem;
        sem.usage = std::uint8_t(usageToken & 0x1F);
        sem.index = std::uint8_t((usageToken >> D3DSP_DCL_USAGEINDEX_SHIFT) & 0xF);
        sem.reg = std::uint8_t(n);
        sem.mask = mask;
        if (type == D3DSPR_SAMPLER) {
            const std::uint32_t kind = (usageToken >> D3DSP_TEXTURETYPE_SHIFT) & 0xF;
            if (n >= 16) return Refuse(in, "sampler out of range");
            if (m_vs && n >= kVertexProgramSamplers) return Refuse(in, "vertex sampler out of range");
            if (kind != D3DSTT_2D && kind != D3DSTT_CUBE && kind != D3DSTT_VOLUME)
                return Refuse(in, "unknown sampler type");
            m_out.samplers[n] = std::uint8_t(kind);
            return true;
        }
        if (m_vs) {
            if (type == D3DSPR_INPUT) {
                if (n >= 16) return Refuse(in, "input out of range");
                // One stream element feeds each input register; a second
                // declaration has nothing to bind to.
                for (const ShaderSemantic& d : m_out.inputs)
                    if (d.reg == n) return Refuse(in, "input declared twice");
                m_out.inputs.push_back(sem);
                return true;
            }
            if (type == D3DSPR_OUTPUT && m_out.major >= 3) {
                if (n >= 12) return Refuse(in, "output out of range");
                m_out.outputs.push_back(sem);
                return true;
            }
            return Refuse(in, "unknown declaration");
        }
        if (m_out.major >= 3) {
            if (type == D3DSPR_INPUT) {
                if (n >= 10) return Refuse(in, "input out of range");
                m_out.inputs.push_back(sem);
                return true;
            }
            if (type == D3DSPR_MISCTYPE && n <= 1) return true;
            return Refuse(in, "unknown declaration");
        }
        // Pixel 2.x: texture coordinates and colours.
        if (type == D3DSPR_TEXTURE && n < 8) {
            m_out.texcoordsRead |= 1u << n;
            return true;
        }
        if (type == D3DSPR_INPUT && n < 2) {
            m_out.colorsRead |= 1u << n;
            return true;
        }
        return Refuse(in, "unknown declaration");
    }

    // A vertex program's input register is bound to a stream element only
    // by its declaration's usage: one read without a declaration would read
    // nothing and draw nothing. A relative read is left to its range.
    bool InputsDeclared() {
        for (const Instr& in : m_instrs) {
            const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
            if (op == D3DSIO_DCL || op == D3DSIO_DEF || op == D3DSIO_DEFI || op == D3DSIO_DEFB) continue;
            std::size_t at = 0;
            Param p;
            while (Read(in, at, p)) {
                if (p.type != D3DSPR_INPUT || p.relative) continue;
                const bool declared = std::any_of(m_out.inputs.begin(), m_out.inputs.end(),
                                                  [&](const ShaderSemantic& d) { return d.reg == p.num; });
                if (!declared)
                    return Refuse(in, "input register v" + std::to_string(p.num) + " is read but never declared");
            }
        }
        return true;
    }

    // What the rasteriser must be given: a vertex program's position, and a
    // 2.x pixel program's first colour. Without them the program would draw
    // nothing, or draw whatever the register happened to hold. A 3.0 pixel
    // program may leave its colours unwritten: the target keeps its contents.
    bool OutputsWritten() {
        if (m_vs && m_out.major < 3 && !m_writesPosition) {
            m_error = "vertex program writes no position (oPos is never written)";
            return false;
        }
        if (m_vs && m_out.major >= 3) {
            const auto position = std::find_if(m_out.outputs.begin(), m_out.outputs.end(), [](const ShaderSemantic& o) {
                return (o.usage == D3DDECLUSAGE_POSITION || o.usage == D3DDECLUSAGE_POSITIONT) && o.index == 0;
            });
            if (position == m_out.outputs.end()) {
                m_error = "vertex program writes no position (no output register is declared as position)";
                return false;
            }
            if (!(m_outputsWritten & (1u << position->reg))) {
                m_error = "vertex program writes no position (o" + std::to_string(position->reg) +
                          ", declared as position, is never written)";
                return false;
            }
        }
        if (!m_vs && m_out.major == 2 && !(m_out.colorsWritten & 1u)) {
            m_error = "pixel program writes no colour (oC0 is never written)";
            return false;
        }
        return true;
    }

    // ---- emission ---------------------------------------------------------------------------------------------------
    void Line(const std::string& s) {
        std::string& out = Section();
        out.append(std::size_t(4 * (m_depth + 1)), ' ');
        out += s;
        out += '\n';
    }
    std::string& Section() { return m_label < 0 ? m_main : m_labels[m_label]; }

    void FlushWrites() {
        for (const std::string& w : m_pending) Line(w);
        m_pending.clear();
    }

    // Writes `value` (a vec4 expression) to the destination with its mask and modifiers.
    bool Write(const Instr& in, const Param& dst, const std::string& value, const std::string& predicate) {
        const std::string reg = Reg(dst, 0, true);
        if (reg.empty() || value.empty()) return Refuse(in, "register form not supported");
        std::uint32_t mask = (dst.token >> D3DSP_WRITEMASK_SHIFT) & 0xF;
        if (mask == 0) mask = 0xF;
        const std::string t = "_t" + std::to_string(m_temp++);
        std::string v = value;
        const int shift = int((dst.token >> D3DSP_DSTSHIFT_SHIFT) & 0xF);
        if (shift >= 1 && shift <= 7) v = "(" + v + ") * " + std::to_string(1 << shift) + ".0";
        else if (shift >= 8) v = "(" + v + ") / " + std::to_string(1 << (16 - shift)) + ".0";
        if (dst.token & D3DSPDM_SATURATE) v = "clamp(" + v + ", 0.0, 1.0)";
        else if (m_ps1) v = "clamp(" + v + ", -1.0, 1.0)";
        Line("vec4 " + t + " = " + v + ";");
        const bool address = m_vs && dst.type == D3DSPR_ADDR;
        const bool predicateReg = dst.type == D3DSPR_PREDICATE;
        auto convert = [&](const std::string& comp) {
            if (address) {
                const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
                // mova rounds to the nearest integer; the 1.1 mov rounds down.
                return "ivec4(floor(" + t + (op == D3DSIO_MOVA ? " + 0.5))." : ")).") + comp;
            }
            if (predicateReg) return "notEqual(" + t + ", vec4(0.0))." + comp;
            if (reg == "oDepthV") return t + "." + comp;
            return t + "." + comp;
        };
        if (predicate.empty()) {
            const std::string m = Mask(mask);
            m_pending.push_back(reg + "." + m + " = " + convert(m) + ";");
        } else {
            for (int c = 0; c < 4; ++c) {
                if (!(mask & (1u << c))) continue;
                const std::string comp(1, kComponents[c]);
                m_pending.push_back("if (" + predicate + "." + comp + ") " + reg + "." + comp + " = " +
                                    convert(comp) + ";");
            }
        }
        return true;
    }

    // The sample of stage/sampler `n` at `coord` (a vec4 expression).
    std::string Sample(std::uint32_t n, const std::string& coord, const char* variant = "", const std::string& extra = "") {
        if (n >= 16) return {};
        if (m_out.samplers[n] == 0) m_out.samplers[n] = kSamplerByTexture;
        m_samplerVariants[n].insert(variant);
        return std::string("d3dSample") + variant + std::to_string(n) + "(" + coord + extra + ")";
    }

    std::string Predicate(const Instr& in, std::size_t& at) {
        if (!(in.p[0] & D3DSHADER_INSTRUCTION_PREDICATED)) return {};
        Param p;
        if (!Read(in, at, p) || p.type != D3DSPR_PREDICATE) return "!";
        m_usesP0 = true;
        std::string s = "p0.";
        const std::uint32_t sw = (p.token >> D3DSP_SWIZZLE_SHIFT) & 0xFF;
        for (int c = 0; c < 4; ++c) s += kComponents[(sw >> (2 * c)) & 3];
        if (((p.token >> D3DSP_SRCMOD_SHIFT) & 0xF) == D3DSPSM_NOT) s = "not(" + s + ")";
        return "(" + s + ")";
    }

    bool Emit(const Instr& in) {
        const std::uint32_t op = in.p[0] & D3DSI_OPCODE_MASK;
        const std::uint32_t control = (in.p[0] >> D3DSP_OPCODESPECIFICCONTROL_SHIFT) & 0xFF;
        std::size_t at = 0;
        Param dst, s[4];
        std::string e[4];
        auto reads = [&](int n) {
            for (int i = 0; i < n; ++i) {
                if (!Read(in, at, s[i])) return false;
                e[i] = Src(s[i]);
                if (e[i].empty()) return false;
            }
            return true;
        };
        auto dstThen = [&](int n, std::string& predicate) {
            if (!Read(in, at, dst)) return false;
            predicate = Predicate(in, at);
            if (predicate == "!") return false;
            return reads(n);
        };
        std::string pred;
        auto unary = [&](const std::string& v) { return Write(in, dst, v, pred); };
        const std::string bad = "register form not supported";
        switch (op) {
        case D3DSIO_NOP:
        case D3DSIO_PHASE: return true;
        case D3DSIO_MOV:
        case D3DSIO_MOVA:
            if (!dstThen(1, pred)) return Refuse(in, bad);
            return unary(e[0]);
        case D3DSIO_ADD: if (!dstThen(2, pred)) return Refuse(in, bad); return unary(e[0] + " + " + e[1]);
        case D3DSIO_SUB: if (!dstThen(2, pred)) return Refuse(in, bad); return unary(e[0] + " - " + e[1]);
        case D3DSIO_MUL: if (!dstThen(2, pred)) return Refuse(in, bad); return unary(e[0] + " * " + e[1]);
        case D3DSIO_MAD: if (!dstThen(3, pred)) return Refuse(in, bad); return unary(e[0] + " * " + e[1] + " + " + e[2]);
        case D3DSIO_RCP: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("vec4(d3d_rcp((" + e[0] + ").w))");
        case D3DSIO_RSQ: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("vec4(d3d_rsq((" + e[0] + ").w))");
        case D3DSIO_DP3:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(dot((" + e[0] + ").xyz, (" + e[1] + ").xyz))");
        case D3DSIO_DP4: if (!dstThen(2, pred)) return Refuse(in, bad); return unary("vec4(dot(" + e[0] + ", " + e[1] + "))");
        case D3DSIO_MIN: if (!dstThen(2, pred)) return Refuse(in, bad); return unary("min(" + e[0] + ", " + e[1] + ")");
        case D3DSIO_MAX: if (!dstThen(2, pred)) return Refuse(in, bad); return unary("max(" + e[0] + ", " + e[1] + ")");
        case D3DSIO_SLT:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(lessThan(" + e[0] + ", " + e[1] + "))");
        case D3DSIO_SGE:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(greaterThanEqual(" + e[0] + ", " + e[1] + "))");
        case D3DSIO_EXP: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("vec4(exp2((" + e[0] + ").w))");
        case D3DSIO_EXPP:
            if (!dstThen(1, pred)) return Refuse(in, bad);
            return unary(m_out.major < 2 ? "d3d_expp((" + e[0] + ").w)" : "vec4(exp2((" + e[0] + ").w))");
        case D3DSIO_LOG: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("vec4(d3d_log((" + e[0] + ").w))");
        case D3DSIO_LOGP:
            if (!dstThen(1, pred)) return Refuse(in, bad);
            return unary(m_out.major < 2 ? "d3d_logp((" + e[0] + ").w)" : "vec4(d3d_log((" + e[0] + ").w))");
        case D3DSIO_LIT: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("d3d_lit(" + e[0] + ")");
        case D3DSIO_DST:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(1.0, (" + e[0] + ").y * (" + e[1] + ").y, (" + e[0] + ").z, (" + e[1] + ").w)");
        case D3DSIO_LRP:
            if (!dstThen(3, pred)) return Refuse(in, bad);
            return unary("mix(" + e[2] + ", " + e[1] + ", " + e[0] + ")");
        case D3DSIO_FRC: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("fract(" + e[0] + ")");
        case D3DSIO_POW:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(d3d_pow((" + e[0] + ").w, (" + e[1] + ").w))");
        case D3DSIO_CRS:
            if (!dstThen(2, pred)) return Refuse(in, bad);
            return unary("vec4(cross((" + e[0] + ").xyz, (" + e[1] + ").xyz), 0.0)");
        case D3DSIO_SGN: {
            if (!Read(in, at, dst)) return Refuse(in, bad);
            pred = Predicate(in, at);
            if (pred == "!" || !reads(1)) return Refuse(in, bad);
            return unary("sign(" + e[0] + ")");
        }
        case D3DSIO_ABS: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("abs(" + e[0] + ")");
        case D3DSIO_NRM: if (!dstThen(1, pred)) return Refuse(in, bad); return unary("d3d_nrm(" + e[0] + ")");
        case D3DSIO_SINCOS: {
            if (!Read(in, at, dst)) return Refuse(in, bad);
            pred = Predicate(in, at);
            if (pred == "!" || !reads(1)) return Refuse(in, bad);
            const std::string x = "(" + e[0] + ").x";
            return unary("vec4(cos(" + x + "), sin(" + x + "), 0.0, 0.0)");
        }
        case D3DSIO_DP2ADD:
            if (!dstThen(3, pred)) return Refuse(in, bad);
            return unary("vec4(dot((" + e[0] + ").xy, (" + e[1] + ").xy) + (" + e[2] + ").x)");
        case D3DSIO_CMP:
            if (!dstThen(3, pred)) return Refuse(in, bad);
            return unary("mix(" + e[2] + ", " + e[1] + ", greaterThanEqual(" + e[0] + ", vec4(0.0)))");
        case D3DSIO_CND:
            if (!dstThen(3, pred)) return Refuse(in, bad);
            return unary("mix(" + e[2] + ", " + e[1] + ", greaterThan(" + e[0] + ", vec4(0.5)))");
        case D3DSIO_DSX:
            if (!dstThen(1, pred)) return Refuse(in, bad);
            return unary("dFdx(" + e[0] + ")");
        case D3DSIO_DSY:
            // Rows run down the target as D3D's do, except in the bottom-up window.
            if (!dstThen(1, pred)) return Refuse(in, bad);
            return unary("dFdy(" + e[0] + ") * uFlipY.x");
        case D3DSIO_M4x4:
        case D3DSIO_M4x3:
        case D3DSIO_M3x4:
        case D3DSIO_M3x3:
        case D3DSIO_M3x2: {
            if (!Read(in, at, dst)) return Refuse(in, bad);
            pred = Predicate(in, at);
            if (pred == "!" || !Read(in, at, s[0]) || !Read(in, at, s[1])) return Refuse(in, bad);
            e[0] = Src(s[0]);
            const bool four = op == D3DSIO_M4x4 || op == D3DSIO_M4x3;
            const int rows = op == D3DSIO_M4x4 || op == D3DSIO_M3x4 ? 4 : (op == D3DSIO_M3x2 ? 2 : 3);
            if (e[0].empty()) return Refuse(in, bad);
            std::string v = "vec4(";
            for (int r = 0; r < 4; ++r) {
                if (r > 0) v += ", ";
                if (r >= rows) {
                    v += "0.0";
                    continue;
                }
                const std::string row = Src(s[1], std::uint32_t(r));
                if (row.empty()) return Refuse(in, bad);
                v += four ? "dot(" + e[0] + ", " + row + ")" : "dot((" + e[0] + ").xyz, (" + row + ").xyz)";
            }
            return unary(v + ")");
        }
        case D3DSIO_SETP: {
            if (!Read(in, at, dst) || dst.type != D3DSPR_PREDICATE || !reads(2)) return Refuse(in, bad);
            const std::string c = VecCompare(control, e[0], e[1]);
            if (c.empty()) return Refuse(in, "bad comparison");
            m_usesP0 = true;
            std::uint32_t mask = (dst.token >> D3DSP_WRITEMASK_SHIFT) & 0xF;
            const std::string t = "_b" + std::to_string(m_temp++);
            Line("bvec4 " + t + " = " + c + ";");
            m_pending.push_back("p0." + Mask(mask ? mask : 0xF) + " = " + t + "." + Mask(mask ? mask : 0xF) + ";");
            return true;
        }
        // ---- flow control ----
        case D3DSIO_IF: {
            if (!Read(in, at, s[0])) return Refuse(in, bad);
            const std::string c = Condition(s[0]);
            if (c.empty()) return Refuse(in, bad);
            Line("if (" + c + ") {");
            ++m_depth;
            m_blocks.push_back('i');
            return true;
        }
        case D3DSIO_IFC: {
            if (!reads(2)) return Refuse(in, bad);
            const std::string c = Compare(control, "(" + e[0] + ").x", "(" + e[1] + ").x");
            if (c.empty()) return Refuse(in, "bad comparison");
            Line("if " + c + " {");
            ++m_depth;
            m_blocks.push_back('i');
            return true;
        }
        case D3DSIO_ELSE:
            if (m_blocks.empty() || m_blocks.back() != 'i') return Refuse(in, "else outside an if");
            --m_depth;
            Line("} else {");
            ++m_depth;
            m_blocks.back() = 'e';
            return true;
        case D3DSIO_ENDIF:
            if (m_blocks.empty() || (m_blocks.back() != 'i' && m_blocks.back() != 'e'))
                return Refuse(in, "endif outside an if");
            m_blocks.pop_back();
            --m_depth;
            Line("}");
            return true;
        case D3DSIO_REP: {
            if (!Read(in, at, s[0]) || s[0].type != D3DSPR_CONSTINT) return Refuse(in, bad);
            const std::string k = "_l" + std::to_string(m_temp++);
            Line("for (int " + k + " = 0; " + k + " < clamp(" + IntConst(s[0].num) + ".x, 0, 255); ++" + k + ") {");
            ++m_depth;
            m_blocks.push_back('r');
            return true;
        }
        case D3DSIO_ENDREP:
            if (m_blocks.empty() || m_blocks.back() != 'r') return Refuse(in, "endrep outside a rep");
            m_blocks.pop_back();
            --m_depth;
            Line("}");
            return true;
        case D3DSIO_LOOP: {
            if (!Read(in, at, s[0]) || !Read(in, at, s[1]) || s[0].type != D3DSPR_LOOP || s[1].type != D3DSPR_CONSTINT)
                return Refuse(in, bad);
            m_usesLoop = true;
            const std::string id = std::to_string(m_temp++);
            const std::string i = IntConst(s[1].num);
            // aL belongs to the innermost loop: an outer loop's comes back after.
            Line("{");
            ++m_depth;
            Line("int _save" + id + " = aL;");
            Line("ivec4 _i" + id + " = " + i + ";");
            Line("aL = _i" + id + ".y;");
            Line("for (int _l" + id + " = 0; _l" + id + " < clamp(_i" + id + ".x, 0, 255); ++_l" + id + ", aL += _i" +
                 id + ".z) {");
            ++m_depth;
            m_blocks.push_back('l');
            m_loopIds.push_back(id);
            return true;
        }
        case D3DSIO_ENDLOOP:
            if (m_blocks.empty() || m_blocks.back() != 'l') return Refuse(in, "endloop outside a loop");
            m_blocks.pop_back();
            --m_depth;
            Line("}");
            Line("aL = _save" + m_loopIds.back() + ";");
            m_loopIds.pop_back();
            --m_depth;
            Line("}");
            return true;
        case D3DSIO_BREAK:
            if (!InLoop()) return Refuse(in, "break outside a loop");
            Line("break;");
            return true;
        case D3DSIO_BREAKC: {
            if (!InLoop()) return Refuse(in, "break outside a loop");
            if (!reads(2)) return Refuse(in, bad);
            const std::string c = Compare(control, "(" + e[0] + ").x", "(" + e[1] + ").x");
            if (c.empty()) return Refuse(in, "bad comparison");
            Line("if " + c + " break;");
            return true;
        }
        case D3DSIO_BREAKP: {
            if (!InLoop()) return Refuse(in, "break outside a loop");
            if (!Read(in, at, s[0])) return Refuse(in, bad);
            const std::string c = Condition(s[0]);
            if (c.empty()) return Refuse(in, bad);
            Line("if (" + c + ") break;");
            return true;
        }
        case D3DSIO_LABEL: {
            if (!Read(in, at, s[0]) || s[0].type != D3DSPR_LABEL || s[0].num >= 2048) return Refuse(in, bad);
            if (!m_blocks.empty()) return Refuse(in, "label inside a block");
            FlushWrites();
            m_label = int(s[0].num);
            if (m_labels.count(m_label)) return Refuse(in, "label defined twice");
            m_labels[m_label];
            return true;
        }
        case D3DSIO_RET:
            if (m_blocks.empty()) {
                // The end of the main program or of a subroutine.
                FlushWrites();
                Line("return;");
            } else {
                Line("return;");
            }
            return true;
        case D3DSIO_CALL: {
            if (!Read(in, at, s[0]) || s[0].type != D3DSPR_LABEL || s[0].num >= 2048) return Refuse(in, bad);
            m_called.insert(int(s[0].num));
            Line("d3d_l" + std::to_string(s[0].num) + "();");
            return true;
        }
        case D3DSIO_CALLNZ: {
            if (!Read(in, at, s[0]) || s[0].type != D3DSPR_LABEL || s[0].num >= 2048 || !Read(in, at, s[1]))
                return Refuse(in, bad);
            const std::string c = Condition(s[1]);
            if (c.empty()) return Refuse(in, bad);
            m_called.insert(int(s[0].num));
            Line("if (" + c + ") d3d_l" + std::to_string(s[0].num) + "();");
            return true;
        }
        // ---- textures ----
        case D3DSIO_TEXKILL: {
            if (!Read(in, at, dst)) return Refuse(in, bad);
            std::string r;
            if (m_ps1 && m_out.major == 1 && m_minor < 4 && dst.type == D3DSPR_TEXTURE) {
                if (dst.num >= 8) return Refuse(in, bad);
                m_out.texcoordsRead |= 1u << dst.num;
                r = "tc[" + std::to_string(dst.num) + "]";
            } else {
                r = Reg(dst, 0, false);
            }
            if (r.empty()) return Refuse(in, bad);
            std::uint32_t mask = (dst.token >> D3DSP_WRITEMASK_SHIFT) & 0xF;
            if (m_ps1) mask = 0x7;
            std::string cond;
            for (int c = 0; c < 4; ++c)
                if (mask & (1u << c)) cond += (cond.empty() ? "" : " || ") + r + "." + kComponents[c] + " < 0.0";
            if (!cond.empty()) Line("if (" + cond + ") discard;");
            return true;
        }
        case D3DSIO_TEX: return EmitTex(in, control);
        case D3DSIO_TEXLDL:
        case D3DSIO_TEXLDD: {
            // Vertex programs fetch with texldl only, from their declared samplers.
            if (m_vs && op != D3DSIO_TEXLDL) return Refuse(in, "vertex programs fetch with texldl only");
            if (!Read(in, at, dst)) return Refuse(in, bad);
            pred = Predicate(in, at);
            if (pred == "!" || !Read(in, at, s[0]) || !Read(in, at, s[1]) || s[1].type != D3DSPR_SAMPLER)
                return Refuse(in, bad);
            if (m_vs && (s[1].num >= kVertexProgramSamplers || m_out.samplers[s[1].num] == 0))
                return Refuse(in, "texldl from an undeclared vertex sampler");
            e[0] = Src(s[0]);
            if (e[0].empty()) return Refuse(in, bad);
            std::string v;
            if (op == D3DSIO_TEXLDL) {
                v = Sample(s[1].num, e[0], "Lod");
            } else {
                if (!Read(in, at, s[2]) || !Read(in, at, s[3])) return Refuse(in, bad);
                e[2] = Src(s[2]);
                e[3] = Src(s[3]);
                if (e[2].empty() || e[3].empty()) return Refuse(in, bad);
                v = Sample(s[1].num, e[0], "Grad", ", " + e[2] + ", " + e[3]);
            }
            return unary(SamplerSwizzle(v, s[1]));
        }
        case D3DSIO_TEXCOORD: {
            if (!Read(in, at, dst)) return Refuse(in, bad);
            if (m_minor >= 4) {
                // texcrd: the coordinates as they are.
                if (!Read(in, at, s[0]) || s[0].type != D3DSPR_TEXTURE) return Refuse(in, bad);
                e[0] = Src(s[0]);
                if (e[0].empty()) return Refuse(in, bad);
                return WriteTex(in, dst, e[0]);
            }
            if (dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            m_out.texcoordsRead |= 1u << dst.num;
            return WriteTex(in, dst, "vec4(clamp(tc[" + std::to_string(dst.num) + "].xyz, 0.0, 1.0), 1.0)");
        }
        case D3DSIO_TEXBEM:
        case D3DSIO_TEXBEML: {
            if (!Read(in, at, dst) || !reads(1) || dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            const std::string n = std::to_string(dst.num);
            m_out.texcoordsRead |= 1u << dst.num;
            m_out.bumpStages |= 1u << dst.num;
            const std::string m = "uPsBump[" + n + "]";
            std::string coord = "vec4(tc[" + n + "].x + " + m + ".x * (" + e[0] + ").x + " + m + ".z * (" + e[0] +
                                ").y, tc[" + n + "].y + " + m + ".y * (" + e[0] + ").x + " + m + ".w * (" + e[0] +
                                ").y, 0.0, 1.0)";
            std::string v = Sample(dst.num, coord);
            if (op == D3DSIO_TEXBEML)
                v = "d3d_luminance(" + v + ", (" + e[0] + ").z, uPsBumpL[" + n + "])";
            return WriteTex(in, dst, v);
        }
        case D3DSIO_TEXREG2AR:
        case D3DSIO_TEXREG2GB:
        case D3DSIO_TEXREG2RGB: {
            if (!Read(in, at, dst) || !reads(1) || dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            const char* sw = op == D3DSIO_TEXREG2AR ? "wx" : (op == D3DSIO_TEXREG2GB ? "yz" : "xyz");
            const std::string c = op == D3DSIO_TEXREG2RGB ? "vec4((" + e[0] + ").xyz, 1.0)"
                                                          : "vec4((" + e[0] + ")." + sw + ", 0.0, 1.0)";
            return WriteTex(in, dst, Sample(dst.num, c));
        }
        case D3DSIO_TEXM3x2PAD:
        case D3DSIO_TEXM3x3PAD: {
            if (!Read(in, at, dst) || !reads(1) || dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            if (m_padRows.size() >= 2) return Refuse(in, "too many rows");
            m_out.texcoordsRead |= 1u << dst.num;
            Line("_m[" + std::to_string(m_padRows.size()) + "] = dot(tc[" + std::to_string(dst.num) + "].xyz, (" + e[0] +
                 ").xyz);");
            m_padRows.push_back(dst.num);
            m_usesMatrixRows = true;
            return true;
        }
        case D3DSIO_TEXM3x2TEX:
        case D3DSIO_TEXM3x2DEPTH:
        case D3DSIO_TEXM3x3TEX:
        case D3DSIO_TEXM3x3:
        case D3DSIO_TEXM3x3SPEC:
        case D3DSIO_TEXM3x3VSPEC: {
            if (!Read(in, at, dst) || !reads(1) || dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            const bool two = op == D3DSIO_TEXM3x2TEX || op == D3DSIO_TEXM3x2DEPTH;
            if (m_padRows.size() != (two ? 1u : 2u)) return Refuse(in, "rows missing");
            m_out.texcoordsRead |= 1u << dst.num;
            m_usesMatrixRows = true;
            const std::string n = std::to_string(dst.num);
            Line("_m[" + std::to_string(m_padRows.size()) + "] = dot(tc[" + n + "].xyz, (" + e[0] + ").xyz);");
            std::string v;
            if (op == D3DSIO_TEXM3x2TEX) {
                v = Sample(dst.num, "vec4(_m[0], _m[1], 0.0, 1.0)");
            } else if (op == D3DSIO_TEXM3x2DEPTH) {
                m_out.writesDepth = true;
                Line("oDepthV.x = _m[1] == 0.0 ? 1.0 : clamp(_m[0] / _m[1], 0.0, 1.0);");
                v = "vec4(_m[0], _m[1], 0.0, 1.0)";
            } else if (op == D3DSIO_TEXM3x3TEX) {
                v = Sample(dst.num, "vec4(_m[0], _m[1], _m[2], 1.0)");
            } else if (op == D3DSIO_TEXM3x3) {
                v = "vec4(_m[0], _m[1], _m[2], 1.0)";
            } else {
                std::string eye;
                if (op == D3DSIO_TEXM3x3SPEC) {
                    if (!Read(in, at, s[1])) return Refuse(in, bad);
                    eye = Src(s[1]);
                    if (eye.empty()) return Refuse(in, bad);
                    eye = "(" + eye + ").xyz";
                } else {
                    eye = "vec3(tc[" + std::to_string(m_padRows[0]) + "].w, tc[" + std::to_string(m_padRows[1]) +
                          "].w, tc[" + n + "].w)";
                }
                v = Sample(dst.num, "d3d_reflect(vec3(_m[0], _m[1], _m[2]), " + eye + ")");
            }
            m_padRows.clear();
            return WriteTex(in, dst, v);
        }
        case D3DSIO_TEXDP3TEX:
        case D3DSIO_TEXDP3: {
            if (!Read(in, at, dst) || !reads(1) || dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            m_out.texcoordsRead |= 1u << dst.num;
            const std::string d = "dot(tc[" + std::to_string(dst.num) + "].xyz, (" + e[0] + ").xyz)";
            return WriteTex(in, dst, op == D3DSIO_TEXDP3 ? "vec4(" + d + ")" : Sample(dst.num, "vec4(" + d + ", 0.0, 0.0, 1.0)"));
        }
        case D3DSIO_TEXDEPTH: {
            if (!Read(in, at, dst) || dst.type != D3DSPR_TEMP) return Refuse(in, bad);
            const std::string r = Reg(dst, 0, false);
            if (r.empty()) return Refuse(in, bad);
            m_out.writesDepth = true;
            Line("oDepthV.x = " + r + ".y == 0.0 ? 1.0 : clamp(" + r + ".x / " + r + ".y, 0.0, 1.0);");
            return true;
        }
        case D3DSIO_BEM: {
            if (!dstThen(2, pred) || dst.type != D3DSPR_TEMP || dst.num >= 8) return Refuse(in, bad);
            m_out.bumpStages |= 1u << dst.num;
            const std::string m = "uPsBump[" + std::to_string(dst.num) + "]";
            return unary("vec4((" + e[0] + ").x + " + m + ".x * (" + e[1] + ").x + " + m + ".z * (" + e[1] + ").y, (" +
                         e[0] + ").y + " + m + ".y * (" + e[1] + ").x + " + m + ".w * (" + e[1] + ").y, 0.0, 0.0)");
        }
        default: return Refuse(in, "not supported");
        }
    }

    bool InLoop() const {
        for (char b : m_blocks)
            if (b == 'l' || b == 'r') return true;
        return false;
    }

    // A texture-register result of a pixel program before 2.0 (no clamp to [-1, 1]).
    bool WriteTex(const Instr& in, const Param& dst, const std::string& v) {
        const bool was = m_ps1;
        m_ps1 = false;
        const bool ok = Write(in, dst, v, {});
        m_ps1 = was;
        return ok;
    }

    std::string SamplerSwizzle(const std::string& v, const Param& sampler) {
        const std::uint32_t sw = (sampler.token >> D3DSP_SWIZZLE_SHIFT) & 0xFF;
        if (sw == 0xE4) return v;
        std::string r = "(" + v + ").";
        for (int c = 0; c < 4; ++c) r += kComponents[(sw >> (2 * c)) & 3];
        return r;
    }

    bool EmitTex(const Instr& in, std::uint32_t control) {
        const std::string bad = "register form not supported";
        std::size_t at = 0;
        Param dst, s0, s1;
        if (m_vs) return Refuse(in, "vertex programs fetch with texldl only");
        if (!Read(in, at, dst)) return Refuse(in, bad);
        if (m_out.major < 2 && m_minor < 4) {
            // tex tN: stage N at the set N coordinates.
            if (dst.type != D3DSPR_TEXTURE || dst.num >= 8) return Refuse(in, bad);
            m_out.texcoordsRead |= 1u << dst.num;
            return WriteTex(in, dst, Sample(dst.num, "d3dProject" + std::to_string(dst.num) + "(tc[" + std::to_string(dst.num) + "])"));
        }
        if (m_out.major < 2) {
            // 1.4 texld rN, src: stage N.
            if (dst.type != D3DSPR_TEMP || dst.num >= 6 || !Read(in, at, s0)) return Refuse(in, bad);
            const std::string c = Src(s0);
            if (c.empty()) return Refuse(in, bad);
            return WriteTex(in, dst, Sample(dst.num, c));
        }
        const std::string pred = Predicate(in, at);
        if (pred == "!" || !Read(in, at, s0) || !Read(in, at, s1) || s1.type != D3DSPR_SAMPLER) return Refuse(in, bad);
        const std::string c = Src(s0);
        if (c.empty()) return Refuse(in, bad);
        std::string v;
        if (control == D3DSI_TEXLD_PROJECT) v = Sample(s1.num, "d3d_project(" + c + ")");
        else if (control == D3DSI_TEXLD_BIAS) v = Sample(s1.num, c, "Bias");
        else v = Sample(s1.num, c);
        if (v.empty()) return Refuse(in, bad);
        return Write(in, dst, SamplerSwizzle(v, s1), pred);
    }

    // ---- the program's declarations ---------------------------------------------------------------------------------
    void Finish() {
        std::string g;
        const std::string p = m_prefix;
        m_out.constF = m_relConst ? m_constLimit : m_maxConst;
        if (m_out.constF) g += "uniform vec4 " + p + "C[" + std::to_string(m_out.constF) + "];\n";
        if (m_usesI || m_relConst) g += "uniform ivec4 " + p + "I[16];\n";
        if (m_usesB) g += "uniform int " + p + "B[16];\n";
        for (const auto& [n, v] : m_defF)
            g += "const vec4 dC" + std::to_string(n) + " = vec4(" + Num(v[0]) + ", " + Num(v[1]) + ", " + Num(v[2]) +
                 ", " + Num(v[3]) + ");\n";
        if (m_relConst) {
            g += "vec4 " + p + "Cread(int i) {\n";
            for (const auto& [n, v] : m_defF) g += "    if (i == " + std::to_string(n) + ") return dC" + std::to_string(n) + ";\n";
            std::string v = p + "C[i]";
            if (m_ps1) v = "clamp(" + v + ", -1.0, 1.0)";
            g += "    return (i >= 0 && i < " + std::to_string(m_constLimit) + ") ? " + v + " : vec4(0.0);\n}\n";
        }
        for (std::uint32_t t : m_temps) g += "vec4 r" + std::to_string(t) + " = vec4(0.0);\n";
        g += "vec4 v[16];\n";
        if (m_usesA0 || m_vs) g += "ivec4 a0 = ivec4(0);\n";
        if (m_usesLoop) g += "int aL = 0;\n";
        if (m_usesP0) g += "bvec4 p0 = bvec4(false);\n";
        if (m_usesMatrixRows) g += "float _m[3];\n";
        if (m_vs) {
            if (m_out.major >= 3) g += "vec4 o[12];\n";
            else g += "vec4 oPos, oFogV, oPtsV;\nvec4 oD[2];\nvec4 oT[8];\n";
        } else {
            g += "vec4 oC[4];\nvec4 oDepthV = vec4(0.0);\nvec4 t[8];\nvec4 tc[8];\nvec4 d3dPos;\n";
            if (m_out.bumpStages) g += "uniform vec4 uPsBump[8];\nuniform vec2 uPsBumpL[8];\n";
        }
        m_out.globals = g;

        std::string code;
        for (const auto& [n, body] : m_labels) code += "void d3d_l" + std::to_string(n) + "();\n";
        // A call to a label never defined calls an empty subroutine.
        for (int n : m_called)
            if (!m_labels.count(n)) code += "void d3d_l" + std::to_string(n) + "() {}\n";
        for (const auto& [n, body] : m_labels) code += "void d3d_l" + std::to_string(n) + "() {\n" + body + "}\n";
        code += "void d3d_main() {\n" + m_main + "}\n";
        m_out.code = code;
    }

    TranslatedShader& m_out;
    std::uint32_t m_version = 0, m_minor = 0;
    bool m_vs = false, m_ps1 = false;
    std::string m_prefix;
    std::string m_error;
    std::vector<Instr> m_instrs;
    std::uint32_t m_constLimit = 0, m_maxConst = 0;
    bool m_relConst = false, m_usesI = false, m_usesB = false, m_usesA0 = false, m_usesLoop = false, m_usesP0 = false;
    bool m_usesMatrixRows = false;
    bool m_writesPosition = false;       // 1.x/2.x vertex: oPos
    std::uint32_t m_outputsWritten = 0; // 3.0 vertex: bit per o# written
    std::set<std::uint32_t> m_temps;
    std::map<std::uint32_t, std::array<float, 4>> m_defF;
    std::map<std::uint32_t, std::array<int, 4>> m_defI;
    std::map<std::uint32_t, bool> m_defB;
    std::map<std::uint32_t, std::set<std::string>> m_samplerVariants;
    std::vector<std::uint32_t> m_padRows;
    std::string m_main;
    std::map<int, std::string> m_labels;
    std::set<int> m_called;
    int m_label = -1;
    int m_depth = 0;
    std::vector<char> m_blocks;
    std::vector<std::string> m_loopIds;
    std::vector<std::string> m_pending;
    unsigned m_temp = 0;
};

// Helpers only pixel programs use.
} // namespace

const char* const kFogFactorGlsl = R"(
float d3dFogFactor(int mode, float d, vec3 fog) {
    float f = mode == 3 ? (fog.y != fog.x ? (fog.y - d) / (fog.y - fog.x) : (d <= fog.x ? 1.0 : 0.0))
                        : (mode == 1 ? exp(-fog.z * d) : exp(-(fog.z * d) * (fog.z * d)));
    return clamp(f, 0.0, 1.0);
}
)";

namespace {

constexpr const char* kPixelHelpers = R"(
vec4 d3d_dz(vec4 c) { return c.z == 0.0 ? c : vec4(c.xy / c.z, c.z, c.w); }
vec4 d3d_dw(vec4 c) { return c.w == 0.0 ? c : vec4(c.xy / c.w, c.z, c.w); }
vec4 d3d_project(vec4 c) { return c.w == 0.0 ? c : vec4(c.xyz / c.w, c.w); }
vec4 d3d_reflect(vec3 n, vec3 e) {
    float nn = dot(n, n);
    return vec4(nn == 0.0 ? -e : 2.0 * n * dot(n, e) / nn - e, 1.0);
}
vec4 d3d_luminance(vec4 c, float b, vec2 l) { return vec4(c.rgb * clamp(b * l.x + l.y, 0.0, 1.0), c.a); }
)";

} // namespace

bool TranslateShader(const std::uint32_t* tokens, std::size_t count, TranslatedShader& out, std::string& error,
                     const D3DCAPS9* caps) {
    out = TranslatedShader{};
    error.clear();
    if (!tokens || count < 2) {
        error = "no program";
        return false;
    }
    const std::uint32_t kind = tokens[0] & 0xFFFF0000u;
    if ((kind != 0xFFFE0000u && kind != 0xFFFF0000u) || WalkShaderTokens(tokens, count, kind) == 0) {
        error = "not a program token stream";
        return false;
    }
    // A register past its version's range would have no storage in the
    // GLSL: refused here, before anything is written for it.
    const ShaderRegisterLimits limits = ShaderRegisterLimitsOf(tokens[0], caps ? *caps : DeviceCaps(0));
    if (!CheckShaderRegisters(tokens, count, limits, error)) return false;
    Translator t(tokens, count, out);
    return t.Run(error);
}

std::string ShaderVaryingName(std::uint32_t usage, std::uint32_t index) {
    if (usage == D3DDECLUSAGE_COLOR && index < 2) return "vD" + std::to_string(index);
    if (usage == D3DDECLUSAGE_TEXCOORD && index < 8) return "vT" + std::to_string(index);
    if (usage == D3DDECLUSAGE_FOG && index == 0) return "vFogV";
    return "vS" + std::to_string(usage) + "_" + std::to_string(index);
}

std::vector<std::string> PixelProgramVaryings(const TranslatedShader& ps, bool fog) {
    std::vector<std::string> names;
    if (ps.major >= 3) {
        for (const ShaderSemantic& s : ps.inputs) {
            const std::string n = ShaderVaryingName(s.usage, s.index);
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
        }
        return names;
    }
    for (int i = 0; i < 2; ++i)
        if (ps.colorsRead & (1u << i)) names.push_back("vD" + std::to_string(i));
    for (int i = 0; i < 8; ++i)
        if (ps.texcoordsRead & (1u << i)) names.push_back("vT" + std::to_string(i));
    if (fog) names.push_back("vFogV");
    return names;
}

std::vector<std::string> VertexProgramVaryings(const TranslatedShader& vs) {
    std::vector<std::string> names;
    if (vs.major >= 3) {
        for (const ShaderSemantic& o : vs.outputs) {
            if ((o.usage == D3DDECLUSAGE_POSITION || o.usage == D3DDECLUSAGE_POSITIONT) && o.index == 0) continue;
            const std::string n = ShaderVaryingName(o.usage, o.index);
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
        }
        return names;
    }
    names = {"vD0", "vD1"};
    for (int i = 0; i < 8; ++i) names.push_back("vT" + std::to_string(i));
    names.push_back("vFogV");
    return names;
}

namespace {
bool IsColorVarying(const std::string& name) { return name == "vD0" || name == "vD1"; }
} // namespace

std::string ComposeVertexProgram(const TranslatedShader& vs, const std::vector<FixedStageInput>* fixedStages,
                                 const std::vector<std::string>& pixelVaryings, bool flatColors) {
    std::string s = "#version 330 core\n" + vs.extensions;
    s += "uniform vec4 uViewport;\nuniform vec2 uDepthRange;\nuniform vec2 uTarget;\nuniform vec2 uFlipY;\n";
    // Inputs of three-component packed types read 1 in their fourth component.
    s += "uniform int uVsInputW1;\n";
    s += kHelpers;
    s += vs.globals;
    // Vertex samplers: their own uniforms (a program pair shares one uniform
    // namespace with the pixel half's uS*), on the units after the pixel ones.
    for (std::uint32_t n = 0; n < kVertexProgramSamplers; ++n) {
        const std::uint8_t kind = vs.samplers[n];
        if (kind == 0) continue;
        const std::string id = std::to_string(n);
        const char* type = kind == D3DSTT_CUBE ? "samplerCube" : (kind == D3DSTT_VOLUME ? "sampler3D" : "sampler2D");
        const char* c = kind == D3DSTT_CUBE || kind == D3DSTT_VOLUME ? "c.xyz" : "c.xy";
        s += std::string("uniform ") + type + " uVS" + id + ";\n";
        s += "vec4 d3dSampleLod" + id + "(vec4 c) { return textureLod(uVS" + id + ", " + c + ", c.w); }\n";
    }
    for (const ShaderSemantic& in : vs.inputs)
        s += "layout(location = " + std::to_string(in.reg) + ") in vec4 aV" + std::to_string(in.reg) + ";\n";
    // The varyings and where each comes from.
    std::vector<std::pair<std::string, std::string>> outs; // name, value
    std::string position = "vec4(0.0, 0.0, 0.0, 1.0)";
    std::map<std::string, std::string> written;
    if (vs.major >= 3) {
        for (const ShaderSemantic& o : vs.outputs) {
            const std::string reg = "o[" + std::to_string(o.reg) + "]";
            if ((o.usage == D3DDECLUSAGE_POSITION || o.usage == D3DDECLUSAGE_POSITIONT) && o.index == 0)
                position = reg;
            else if (!written.count(ShaderVaryingName(o.usage, o.index)))
                written[ShaderVaryingName(o.usage, o.index)] = reg;
        }
    } else {
        position = "oPos";
        // Colours leave a 1.x/2.x vertex program clamped.
        written["vD0"] = "clamp(oD[0], 0.0, 1.0)";
        written["vD1"] = "clamp(oD[1], 0.0, 1.0)";
        for (int i = 0; i < 8; ++i) written["vT" + std::to_string(i)] = "oT[" + std::to_string(i) + "]";
        written["vFogV"] = "oFogV";
    }
    auto value = [&](const std::string& name, const std::string& fallback) {
        auto it = written.find(name);
        return it != written.end() ? it->second : fallback;
    };
    std::string tail;
    if (fixedStages) {
        s += "out vec4 vDiffuse;\nflat out vec4 vDiffuseFlat;\nout vec4 vSpecular;\nflat out vec4 vSpecularFlat;\n"
             "out float vFog;\n";
        tail += "    vDiffuse = " + value("vD0", "vec4(1.0)") + ";\n    vDiffuseFlat = vDiffuse;\n";
        tail += "    vSpecular = " + value("vD1", "vec4(0.0)") + ";\n    vSpecularFlat = vSpecular;\n";
        tail += "    vFog = clamp((" + value("vFogV", "vec4(1.0)") + ").x, 0.0, 1.0);\n";
        for (const FixedStageInput& st : *fixedStages) {
            const std::string n = std::to_string(st.stage);
            const std::string type = st.components == 4 ? "vec4" : st.components == 3 ? "vec3" : "vec2";
            s += "out " + type + " vTex" + n + ";\n";
            tail += "    vTex" + n + " = " + type + "(" + value("vT" + std::to_string(st.set), "vec4(0.0, 0.0, 0.0, 1.0)") + ");\n";
        }
    } else {
        // A compiled vertex program of 1.x or 2.x leaves the colours it does
        // not write as its assembled form would: diffuse white, specular 0.
        const bool earlyCompiled = vs.major >= 3 && (vs.model & (SM_VS11 | SM_VS20 | SM_VS2X)) != 0;
        for (const std::string& name : pixelVaryings) {
            s += std::string(flatColors && IsColorVarying(name) ? "flat " : "") + "out vec4 " + name + ";\n";
            std::string fallback = name == "vFogV" ? "vec4(1.0)" : "vec4(0.0, 0.0, 0.0, 1.0)";
            if (earlyCompiled && name == "vD0") fallback = "vec4(1.0)";
            if (earlyCompiled && name == "vD1") fallback = "vec4(0.0)";
            tail += "    " + name + " = " + value(name, fallback) + ";\n";
        }
    }
    s += vs.code;
    s += "void main() {\n";
    for (int i = 0; i < 16; ++i) s += "    v[" + std::to_string(i) + "] = vec4(0.0, 0.0, 0.0, 1.0);\n";
    for (const ShaderSemantic& in : vs.inputs)
        s += "    v[" + std::to_string(in.reg) + "] = vec4(aV" + std::to_string(in.reg) + ".xyz, (uVsInputW1 & " +
             std::to_string(1u << in.reg) + ") != 0 ? 1.0 : aV" + std::to_string(in.reg) + ".w);\n";
    if (vs.major >= 3) {
        s += "    for (int i = 0; i < 12; ++i) o[i] = vec4(0.0, 0.0, 0.0, 1.0);\n";
    } else {
        s += "    oPos = vec4(0.0, 0.0, 0.0, 1.0);\n    oFogV = vec4(1.0);\n    oPtsV = vec4(1.0);\n";
        s += "    oD[0] = vec4(1.0);\n    oD[1] = vec4(0.0);\n";
        s += "    for (int i = 0; i < 8; ++i) oT[i] = vec4(0.0, 0.0, 0.0, 1.0);\n";
    }
    s += "    d3d_main();\n";
    // Clip space to the target as the fixed-function path does: pixel
    // centres on integer coordinates, depth 0..1, rows top-down.
    s += "    vec4 c = " + position + ";\n";
    s += "    float x = (2.0 * (uViewport.x + 0.5 + 0.5 * uViewport.z) / uTarget.x - 1.0) * c.w + (uViewport.z / uTarget.x) * c.x;\n";
    s += "    float y = (2.0 * (uViewport.y + 0.5 + 0.5 * uViewport.w) / uTarget.y - 1.0) * c.w - (uViewport.w / uTarget.y) * c.y;\n";
    s += "    float z = (2.0 * uDepthRange.x - 1.0) * c.w + 2.0 * (uDepthRange.y - uDepthRange.x) * c.z;\n";
    s += "    gl_Position = vec4(x, y, z, c.w);\n";
    s += "    gl_Position.y = gl_Position.y * uFlipY.x + uFlipY.y * gl_Position.w;\n";
    s += tail;
    s += "}\n";
    return s;
}

std::string ComposeProgramStage(const TranslatedShader& program) {
    return program.vertex ? ComposeVertexProgram(program, nullptr, VertexProgramVaryings(program))
                          : ComposePixelProgram(program, false, {}, 0, false);
}

std::string ComposePixelProgram(const TranslatedShader& ps, bool afterFixedVertex,
                                const std::array<std::uint8_t, 16>& textureKinds, std::uint32_t alphaFunc, bool fog,
                                std::uint32_t projected, std::uint32_t tableFog, bool flatColors) {
    std::string s = "#version 330 core\n" + ps.extensions;
    s += "uniform vec2 uFlipY;\nuniform vec2 uTarget;\nuniform float uAlphaRef;\nuniform vec2 uAlphaClamp;\n"
         "uniform vec3 uFogColor;\nuniform vec3 uFog;\n";
    s += "layout(location = 0) out vec4 oColor;\n";
    // Targets 1-3 take the colours the program writes to them.
    const std::uint32_t moreColors = ps.major >= 2 ? ps.colorsWritten & 0xEu : 0u;
    for (std::uint32_t n = 1; n < 4; ++n)
        if (moreColors & (1u << n))
            s += "layout(location = " + std::to_string(n) + ") out vec4 oColor" + std::to_string(n) + ";\n";
    s += kFogFactorGlsl;
    s += kHelpers;
    s += kPixelHelpers;
    s += ps.globals;
    // Samplers: the declared type, or the bound texture's before 2.0.
    for (int n = 0; n < 16; ++n) {
        std::uint8_t kind = ps.samplers[n];
        if (kind == 0) continue;
        if (kind == kSamplerByTexture) kind = textureKinds[n] ? textureKinds[n] : std::uint8_t(D3DSTT_2D);
        const std::string id = std::to_string(n);
        const char* type = kind == D3DSTT_CUBE ? "samplerCube" : (kind == D3DSTT_VOLUME ? "sampler3D" : "sampler2D");
        const char* c = kind == D3DSTT_2D ? "c.xy" : "c.xyz";
        const char* g = kind == D3DSTT_2D ? "xy" : "xyz";
        s += std::string("uniform ") + type + " uS" + id + ";\n";
        s += "vec4 d3dSample" + id + "(vec4 c) { return texture(uS" + id + ", " + c + "); }\n";
        s += "vec4 d3dSampleBias" + id + "(vec4 c) { return texture(uS" + id + ", " + c + ", c.w); }\n";
        s += "vec4 d3dSampleLod" + id + "(vec4 c) { return textureLod(uS" + id + ", " + c + ", c.w); }\n";
        s += "vec4 d3dSampleGrad" + id + "(vec4 c, vec4 dx, vec4 dy) { return textureGrad(uS" + id + ", " + c +
             ", dx." + g + ", dy." + g + "); }\n";
    }
    // Inputs: from the fixed-function vertex emulation or a vertex program.
    std::string init;
    auto input = [&](const std::string& name) -> std::string {
        if (afterFixedVertex) {
            if (name == "vD0") return flatColors ? "vDiffuseFlat" : "vDiffuse";
            if (name == "vD1") return flatColors ? "vSpecularFlat" : "vSpecular";
            if (name == "vFogV") return "vec4(vFog)";
            if (name.rfind("vT", 0) == 0) return name;
            return "vec4(0.0, 0.0, 0.0, 1.0)";
        }
        return name;
    };
    std::set<std::string> declared;
    auto declare = [&](const std::string& name) {
        if (afterFixedVertex) {
            if (name == "vD0" && flatColors && declared.insert("vDiffuseFlat").second) s += "flat in vec4 vDiffuseFlat;\n";
            else if (name == "vD1" && flatColors && declared.insert("vSpecularFlat").second)
                s += "flat in vec4 vSpecularFlat;\n";
            else if (name == "vD0" && !flatColors && declared.insert("vDiffuse").second) s += "in vec4 vDiffuse;\n";
            else if (name == "vD1" && !flatColors && declared.insert("vSpecular").second) s += "in vec4 vSpecular;\n";
            else if (name == "vFogV" && declared.insert("vFog").second) s += "in float vFog;\n";
            else if (name.rfind("vT", 0) == 0 && declared.insert(name).second) s += "in vec4 " + name + ";\n";
            return;
        }
        if (declared.insert(name).second)
            s += std::string(flatColors && IsColorVarying(name) ? "flat " : "") + "in vec4 " + name + ";\n";
    };
    for (const std::string& name : PixelProgramVaryings(ps, fog && ps.major < 3)) declare(name);
    if (ps.major >= 3) {
        for (const ShaderSemantic& in : ps.inputs) {
            const std::string m = Mask(in.mask ? in.mask : 0xF);
            init += "    v[" + std::to_string(in.reg) + "]." + m + " = " + input(ShaderVaryingName(in.usage, in.index)) +
                    "." + m + ";\n";
        }
    } else {
        for (int i = 0; i < 2; ++i)
            if (ps.colorsRead & (1u << i))
                init += "    v[" + std::to_string(i) + "] = clamp(" + input("vD" + std::to_string(i)) + ", 0.0, 1.0);\n";
        for (int i = 0; i < 8; ++i)
            if (ps.texcoordsRead & (1u << i))
                init += "    tc[" + std::to_string(i) + "] = " + input("vT" + std::to_string(i)) + ";\n    t[" +
                        std::to_string(i) + "] = tc[" + std::to_string(i) + "];\n";
    }
    // Stage N's coordinates as its tex reads them: divided by the component the stage projects by.
    if (ps.major < 2) {
        for (std::uint32_t n = 0; n < 8; ++n) {
            const std::uint32_t divisor = (projected >> (3 * n)) & 7;
            s += "vec4 d3dProject" + std::to_string(n) + "(vec4 c) { return " +
                 (divisor >= 1 && divisor <= 4 ? std::string("c / c.") + "xyzw"[divisor - 1] : std::string("c")) + "; }\n";
        }
    }
    s += ps.code;
    s += "bool d3d_passes(int func, float a, float ref) {\n"
         "    if (func == 1) return false;\n    if (func == 2) return a < ref;\n    if (func == 3) return a == ref;\n"
         "    if (func == 4) return a <= ref;\n    if (func == 5) return a > ref;\n    if (func == 6) return a != ref;\n"
         "    if (func == 7) return a >= ref;\n    return true;\n}\n";
    s += "void main() {\n";
    s += "    for (int i = 0; i < 16; ++i) v[i] = vec4(0.0);\n";
    s += "    for (int i = 0; i < 8; ++i) { t[i] = vec4(0.0); tc[i] = vec4(0.0); }\n";
    s += "    for (int i = 0; i < 4; ++i) oC[i] = vec4(0.0);\n";
    s += "    d3dPos = vec4(gl_FragCoord.x - 0.5, (uFlipY.x < 0.0 ? uTarget.y - gl_FragCoord.y : gl_FragCoord.y) - 0.5, 0.0, 0.0);\n";
    s += init;
    s += "    d3d_main();\n";
    std::string color = ps.major >= 2 ? "oC[0]" : "r0";
    if (ps.major < 2 && ps.globals.find("vec4 r0 ") == std::string::npos) color = "vec4(0.0)";
    s += "    vec4 result = " + color + ";\n";
    if (fog && ps.major < 3 && tableFog != 0)
        s += "    result.rgb = mix(uFogColor, result.rgb, d3dFogFactor(" + std::to_string(tableFog & 3) + ", " +
             ((tableFog & 4) != 0 ? "1.0 / gl_FragCoord.w" : "gl_FragCoord.z") + ", uFog));\n";
    else if (fog && ps.major < 3)
        s += "    result.rgb = mix(uFogColor, result.rgb, clamp(" + input("vFogV") + ".x, 0.0, 1.0));\n";
    if (alphaFunc >= 1 && alphaFunc <= 8)
        s += "    if (!d3d_passes(" + std::to_string(alphaFunc) + ", floor(clamp(result.a, uAlphaClamp.x, uAlphaClamp.y) * 255.0 + 0.5), uAlphaRef)) discard;\n";
    s += "    oColor = result;\n";
    for (std::uint32_t n = 1; n < 4; ++n)
        if (moreColors & (1u << n)) s += "    oColor" + std::to_string(n) + " = oC[" + std::to_string(n) + "];\n";
    if (ps.writesDepth) s += "    gl_FragDepth = clamp(oDepthV.x, 0.0, 1.0);\n";
    s += "}\n";
    return s;
}

} // namespace gfx
