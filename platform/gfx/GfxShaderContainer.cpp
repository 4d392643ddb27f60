#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/Gfx.h"

#include "platform/gfx/GfxShaderTokens.h"

#include <cstring>
#include <sstream>

namespace gfx {
namespace {

// Generous bounds: a real program is a few kilobytes.
constexpr std::uint32_t kMaxBytes = 16u << 20;
constexpr std::uint32_t kMaxItems = 65536;
constexpr std::uint64_t kMaxTableEntries = 65536; // constant table entries, elements and members counted
constexpr std::size_t kHeaderBytes = 20;

std::uint32_t Fnv1a(const std::uint8_t* p, std::size_t n) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

class Writer {
public:
    void U8(std::uint8_t v) { m_b.push_back(v); }
    void U16(std::uint16_t v) { U8(std::uint8_t(v)); U8(std::uint8_t(v >> 8)); }
    void U32(std::uint32_t v) { U16(std::uint16_t(v)); U16(std::uint16_t(v >> 16)); }
    void Bytes(const void* p, std::size_t n) {
        U32(std::uint32_t(n));
        const auto* b = static_cast<const std::uint8_t*>(p);
        m_b.insert(m_b.end(), b, b + n);
    }
    void Patch(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_b[at + i] = std::uint8_t(v >> (8 * i));
    }
    std::vector<std::uint8_t>& Data() { return m_b; }

private:
    std::vector<std::uint8_t> m_b;
};

class Reader {
public:
    Reader(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}
    bool U8(std::uint8_t& v) {
        if (m_at + 1 > m_n) return false;
        v = m_p[m_at++];
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::uint8_t a = 0, b = 0;
        if (!U8(a) || !U8(b)) return false;
        v = std::uint16_t(a | (b << 8));
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::uint16_t a = 0, b = 0;
        if (!U16(a) || !U16(b)) return false;
        v = a | (std::uint32_t(b) << 16);
        return true;
    }
    bool Count(std::uint32_t& v, std::uint32_t limit) { return U32(v) && v <= limit && v <= m_n - m_at; }
    bool Text(std::string& s) {
        std::uint32_t n = 0;
        if (!Count(n, kMaxBytes)) return false;
        s.assign(reinterpret_cast<const char*>(m_p + m_at), n);
        m_at += n;
        return true;
    }
    bool Blob(std::vector<std::uint8_t>& b) {
        std::uint32_t n = 0;
        if (!Count(n, kMaxBytes)) return false;
        b.assign(m_p + m_at, m_p + m_at + n);
        m_at += n;
        return true;
    }
    [[nodiscard]] std::size_t Left() const { return m_n - m_at; }

private:
    const std::uint8_t* m_p;
    std::size_t m_n;
    std::size_t m_at = 0;
};

void WriteSemantics(Writer& w, const std::vector<ShaderSemantic>& list) {
    w.U32(std::uint32_t(list.size()));
    for (const ShaderSemantic& s : list) {
        w.U8(s.usage);
        w.U8(s.index);
        w.U8(s.reg);
        w.U8(s.mask);
    }
}

bool ReadSemantics(Reader& r, std::vector<ShaderSemantic>& list) {
    std::uint32_t n = 0;
    if (!r.Count(n, 32)) return false;
    list.resize(n);
    for (ShaderSemantic& s : list)
        if (!r.U8(s.usage) || !r.U8(s.index) || !r.U8(s.reg) || !r.U8(s.mask)) return false;
    return true;
}

bool KindValid(std::uint32_t kind) {
    const std::uint32_t type = kind & 0xFFFF0000u;
    const std::uint32_t major = (kind >> 8) & 0xFF, minor = kind & 0xFF;
    if (type != 0xFFFE0000u && type != 0xFFFF0000u) return false;
    return major >= 1 && major <= 3 && minor <= 4;
}

} // namespace

std::vector<std::uint8_t> WriteShaderContainer(const ShaderContainer& c) {
    Writer w;
    w.U32(kShaderContainerMagic);
    w.U32(kShaderContainerVersion);
    w.U32(c.kind);
    w.U32(0); // total, patched
    w.U32(0); // checksum, patched
    w.Bytes(c.glsl.data(), c.glsl.size());
    WriteSemantics(w, c.inputs);
    WriteSemantics(w, c.outputs);
    for (std::uint8_t s : c.samplers) w.U8(s);
    w.U32(c.constF);
    w.U32(std::uint32_t(c.constants.size()));
    for (const ShaderConstantRecord& k : c.constants) {
        w.Bytes(k.name.data(), k.name.size());
        for (std::uint16_t v : {k.registerSet, k.registerIndex, k.registerCount, k.cls, k.type, k.rows, k.columns,
                                k.elements, k.structMembers})
            w.U16(v);
        w.U16(std::uint16_t(k.parent));
        w.Bytes(k.defaultValue.data(), k.defaultValue.size());
    }
    std::vector<std::uint8_t>& b = w.Data();
    while (b.size() % 4) b.push_back(0);
    w.Patch(12, std::uint32_t(b.size()));
    w.Patch(16, Fnv1a(b.data() + kHeaderBytes, b.size() - kHeaderBytes));
    return b;
}

bool ReadShaderContainer(const void* data, std::size_t size, ShaderContainer& out) {
    out = ShaderContainer{};
    if (!data || size < kHeaderBytes || size > kMaxBytes || size % 4) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    Reader r(p, size);
    std::uint32_t magic = 0, version = 0, total = 0, sum = 0;
    if (!r.U32(magic) || !r.U32(version) || !r.U32(out.kind) || !r.U32(total) || !r.U32(sum)) return false;
    if (magic != kShaderContainerMagic || version != kShaderContainerVersion || total != size) return false;
    if (!KindValid(out.kind) || Fnv1a(p + kHeaderBytes, size - kHeaderBytes) != sum) return false;
    if (!r.Text(out.glsl) || !ReadSemantics(r, out.inputs) || !ReadSemantics(r, out.outputs)) return false;
    for (std::uint8_t& s : out.samplers)
        if (!r.U8(s)) return false;
    std::uint32_t count = 0;
    if (!r.U32(out.constF) || out.constF > 4096 || !r.Count(count, kMaxItems)) return false;
    out.constants.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        ShaderConstantRecord& k = out.constants[i];
        std::uint16_t parent = 0;
        if (!r.Text(k.name) || !r.U16(k.registerSet) || !r.U16(k.registerIndex) || !r.U16(k.registerCount) ||
            !r.U16(k.cls) || !r.U16(k.type) || !r.U16(k.rows) || !r.U16(k.columns) || !r.U16(k.elements) ||
            !r.U16(k.structMembers) || !r.U16(parent) || !r.Blob(k.defaultValue))
            return false;
        k.parent = std::int16_t(parent);
        // Members follow their parent; a forward or self reference is not ours.
        if (k.parent < -1 || k.parent >= std::int32_t(i)) return false;
        if (k.registerSet > 3 || k.cls > 5 || k.rows > 4) return false;
        // A struct's columns count the floats of all its members.
        if (k.cls != 5 && k.columns > 4) return false;
        if (k.parent != -1 && out.constants[std::size_t(k.parent)].cls != 5) return false; // members belong to structs
        if (k.defaultValue.size() % 4) return false; // default values are whole 32-bit numbers
    }
    // The table makes an entry per element of every constant and struct
    // member: bounded, so nested arrays of structs cannot ask for millions.
    std::vector<std::uint64_t> memberEntries(count, 0);
    std::uint64_t entries = 0;
    for (std::size_t i = count; i-- > 0;) {
        const ShaderConstantRecord& k = out.constants[i];
        const std::uint64_t total = (1 + memberEntries[i]) * std::max<std::uint64_t>(k.elements, 1);
        if (total > kMaxTableEntries) return false;
        if (k.parent == -1) entries += total;
        else memberEntries[std::size_t(k.parent)] += total;
        if (entries > kMaxTableEntries) return false;
    }
    if (out.glsl.find('\0') != std::string::npos) return false;
    // Only the padding may be left, and it is zero.
    if (r.Left() >= 4) return false;
    for (std::size_t i = size - r.Left(); i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

namespace {

// "vec3" -> 3, "float" -> 1, "ivec2" -> 2; 0 for anything else.
int Components(const std::string& type) {
    if (type == "float" || type == "int" || type == "uint" || type == "bool") return 1;
    const std::size_t v = type.find("vec");
    if (v == std::string::npos || v + 4 != type.size() || type[v + 3] < '2' || type[v + 3] > '4') return 0;
    return type[v + 3] - '0';
}

// "mat4x2" -> 4 columns of 2 rows, "mat3" -> 3 of 3; false for anything else.
bool MatrixSize(const std::string& type, int& columns, int& rows) {
    if (type.size() != 4 && type.size() != 6) return false;
    if (type.compare(0, 3, "mat") != 0 || type[3] < '2' || type[3] > '4') return false;
    columns = rows = type[3] - '0';
    if (type.size() == 4) return true;
    if (type[4] != 'x' || type[5] < '2' || type[5] > '4') return false;
    rows = type[5] - '0';
    return true;
}

// The registers a variable of `type` takes: a matrix's HLSL columns (its
// GLSL rows) one each, any other one.
int RegistersOf(const std::string& type) {
    int columns = 0, rows = 0;
    return MatrixSize(type, columns, rows) ? rows : 1;
}

// A matrix from its registers from `first` of `file` (a GLSL row each), and back.
std::string MatrixFromRegisters(const std::string& type, const std::string& file, std::uint32_t first) {
    int columns = 0, rows = 0;
    MatrixSize(type, columns, rows);
    static const char* kLanes[] = {"x", "y", "z", "w"};
    std::string out = type + "(";
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            out += (c || r ? ", " : "") + file + "[" + std::to_string(first + std::uint32_t(r)) + "]." + kLanes[c];
    return out + ")";
}

std::string MatrixRowToRegister(const std::string& type, const std::string& name, int row) {
    int columns = 0, rows = 0;
    MatrixSize(type, columns, rows);
    std::string out = "vec4(";
    for (int c = 0; c < 4; ++c)
        out += (c ? ", " : "") + (c < columns ? name + "[" + std::to_string(c) + "][" + std::to_string(row) + "]"
                                              : std::string(c == 3 ? "1.0" : "0.0"));
    return out + ")";
}

// A register (vec4) as the variable's type, and back.
std::string FromRegister(const std::string& type, const std::string& reg) {
    static const char* kMasks[] = {"", "x", "xy", "xyz", "xyzw"};
    const int n = Components(type);
    return type + "(" + reg + "." + kMasks[n] + ")";
}

std::string ToRegister(const std::string& type, const std::string& name) {
    const int n = Components(type);
    std::string value = n == 1 ? "float(" + name + ")" : "vec" + std::to_string(n) + "(" + name + ")";
    if (n == 4) return value;
    if (n == 3) return "vec4(" + value + ", 1.0)";
    if (n == 2) return "vec4(" + value + ", 0.0, 1.0)";
    return "vec4(" + value + ", 0.0, 0.0, 1.0)";
}

bool ParseIndex(const std::string& name, const char* prefix, std::uint32_t& index) {
    const std::size_t n = std::strlen(prefix);
    if (name.compare(0, n, prefix) != 0 || name.size() == n || name.size() > n + 2) return false;
    index = 0;
    for (std::size_t i = n; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        index = index * 10 + std::uint32_t(name[i] - '0');
    }
    return true;
}

} // namespace

bool TranslateShaderContainer(const ShaderContainer& c, TranslatedShader& out, std::string& error) {
    out = TranslatedShader{};
    const bool vertex = c.Vertex();
    out.vertex = vertex;
    out.major = 3;
    out.model = ShaderModelOf(c.kind);
    // The device uploads this many registers from its register file: more
    // than the file holds would read past it.
    if (c.constF > (vertex ? DeviceState::kVsConstF : DeviceState::kPsConstF))
        return error = "more float constants than the device's register file", false;
    out.constF = c.constF;
    out.inputs = c.inputs;
    out.outputs = c.outputs;
    for (ShaderSemantic& s : out.inputs) s.mask = 0xF;
    if (vertex) {
        for (const ShaderSemantic& s : c.inputs)
            if (s.reg >= 16) return error = "too many inputs", false;
        for (const ShaderSemantic& s : c.outputs)
            if (s.reg >= 12) return error = "too many outputs", false;
    } else {
        for (const ShaderSemantic& s : c.inputs)
            if (s.reg >= 16) return error = "too many inputs", false;
        for (const ShaderSemantic& s : c.outputs)
            if ((s.usage != 10 || s.index >= 4) && s.usage != 12) return error = "an output neither colour nor depth", false;
    }
    // The composer declares the samplers of the program itself.
    out.samplers = c.samplers;
    if (vertex)
        for (std::size_t n = DeviceState::kVertexSamplers; n < c.samplers.size(); ++n)
            if (c.samplers[n]) return error = "a vertex sampler past the device's four", false;
    std::string body, before, after;
    std::istringstream lines(c.glsl);
    std::string line;
    bool sawMain = false;
    int conditionals = 0; // "#if" blocks open
    while (std::getline(lines, line)) {
        if (line.rfind("#version", 0) == 0) continue;
        // An extension the program needs (arrays of arrays) is named before
        // any declaration of the composed program; one it would use where
        // the driver has it stays in its test.
        if (line.rfind("#if", 0) == 0) ++conditionals;
        if (line.rfind("#endif", 0) == 0 && conditionals > 0) --conditionals;
        if (line.rfind("#extension", 0) == 0 && conditionals == 0) {
            out.extensions += line + "\n";
            continue;
        }
        if (line.rfind("uniform sampler", 0) == 0) continue;
        // Which way up the target is, and its size: the composer declares
        // them for every program.
        if (line == "uniform vec2 uFlipY;" || line == "uniform vec2 uTarget;") continue;
        if (line == "void main()") {
            body += "void d3d_hlsl_main()\n";
            sawMain = true;
            continue;
        }
        // Interface variables become the program's own globals, copied from
        // and to the registers around the program's main.
        std::string decl = line;
        if (decl.rfind("layout(location = ", 0) == 0) {
            const std::size_t close = decl.find(") ");
            if (close == std::string::npos) return error = "unexpected layout: " + line, false;
            decl = decl.substr(close + 2);
        }
        const bool isIn = decl.rfind("in ", 0) == 0, isOut = decl.rfind("out ", 0) == 0;
        if (isIn || isOut) {
            std::istringstream words(decl.substr(isIn ? 3 : 4));
            std::string type, name;
            words >> type >> name;
            if (name.empty() || name.back() != ';') return error = "unexpected declaration: " + line, false;
            name.pop_back();
            if (isIn && !vertex && (name == "hVPos" || name == "hVFace") && Components(type) != 0) {
                body += type + " " + name + ";\n";
                const bool position = name == "hVPos";
                (position ? out.usesPosition : out.usesFace) = true;
                before += "    " + name + " = " +
                          FromRegister(type, position ? "d3dPos" : "vec4(gl_FrontFacing ? 1.0 : -1.0)") + ";\n";
                continue;
            }
            // An array ("hOut1[3]") takes a register per element from its first.
            std::uint32_t elements = 1;
            bool array = false;
            if (const std::size_t open = name.find('['); open != std::string::npos) {
                std::uint32_t n = 0;
                if (!ParseIndex("n" + name.substr(open + 1, name.size() - open - 2), "n", n) || name.back() != ']' ||
                    n == 0 || n > 16)
                    return error = "unexpected interface variable: " + line, false;
                elements = n;
                array = true;
                body += type + " " + name + ";\n";
                name.erase(open);
            } else {
                body += type + " " + name + ";\n";
            }
            std::uint32_t first = 0;
            const std::uint32_t registers = isIn ? 16 : vertex ? 12 : 4; // v[], o[], oC[]
            const auto per = std::uint32_t(RegistersOf(type));
            if (!ParseIndex(name, isIn ? "hIn" : "hOut", first) ||
                (Components(type) == 0 && (per == 1 || (!isIn && !vertex))) ||
                ((array || per > 1) && first + elements * per > registers))
                return error = "unexpected interface variable: " + line, false;
            if (per > 1) { // a matrix: a register per row of its GLSL form
                for (std::uint32_t e = 0; e < elements; ++e) {
                    const std::string element = array ? name + "[" + std::to_string(e) + "]" : name;
                    const std::uint32_t reg = first + e * per;
                    if (isIn) {
                        before += "    " + element + " = " + MatrixFromRegisters(type, "v", reg) + ";\n";
                        continue;
                    }
                    for (std::uint32_t r = 0; r < per; ++r)
                        after += "    o[" + std::to_string(reg + r) + "] = " + MatrixRowToRegister(type, element, int(r)) +
                                 ";\n";
                }
                continue;
            }
            for (std::uint32_t e = 0; e < elements; ++e) {
                const std::uint32_t reg = first + e;
                const std::string r = std::to_string(reg);
                const std::string element = array ? name + "[" + std::to_string(e) + "]" : name;
                if (isIn) {
                    before += "    " + element + " = " + FromRegister(type, "v[" + r + "]") + ";\n";
                } else if (vertex) {
                    after += "    o[" + r + "] = " + ToRegister(type, element) + ";\n";
                } else {
                    bool depth = false;
                    for (const ShaderSemantic& s : c.outputs)
                        if (s.reg == reg && s.usage == 12) depth = true;
                    if (depth) {
                        after += "    oDepthV = " + ToRegister(type, element) + ";\n";
                        out.writesDepth = true;
                    } else {
                        after += "    oC[" + r + "] = " + ToRegister(type, element) + ";\n";
                        out.colorsWritten |= 1u << reg;
                    }
                }
            }
            continue;
        }
        body += line + "\n";
    }
    if (!sawMain) return error = "no main", false;
    if (vertex) out.globals = "vec4 v[16];\nvec4 o[12];\n";
    else out.globals = "vec4 v[16];\nvec4 oC[4];\nvec4 oDepthV = vec4(0.0);\nvec4 t[8];\nvec4 tc[8];\nvec4 d3dPos;\n";
    out.code = body + "void d3d_main() {\n" + before + "    d3d_hlsl_main();\n" + after + "}\n";
    return true;
}

bool IsShaderContainer(const std::uint32_t* words) { return words && words[0] == kShaderContainerMagic; }

std::size_t ShaderContainerSize(const std::uint32_t* words) { return IsShaderContainer(words) ? words[3] : 0; }

} // namespace gfx
