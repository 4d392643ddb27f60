#include "platform/gfxutil/hlsl/GfxUtilHlslTemporaries.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace gfx {
namespace {

using namespace spirv;

// Values follow from each other forwards but for a loop's phis: a few walks
// reach them all.
constexpr int kTaintWalks = 4;
// Past this a count is no longer added up: it is far beyond any profile.
constexpr std::uint64_t kCountCap = std::uint64_t(1) << 32;

using spirv::LiteralString;

struct Type {
    std::uint32_t op = 0;
    std::vector<std::uint32_t> operands; // the words after the result id
};

class Module {
public:
    explicit Module(const std::vector<std::uint32_t>& spirv) : m_spirv(spirv) {}

    // The whole walk; false for a module it cannot walk.
    bool Read() {
        if (m_spirv.size() < kHeaderWords) return false;
        for (int walk = 0; walk < kTaintWalks; ++walk)
            if (!Taint()) return false;
        for (std::size_t at = kHeaderWords; at < m_spirv.size();) {
            const std::uint32_t words = m_spirv[at] >> 16, op = m_spirv[at] & 0xFFFF;
            if (words == 0 || at + words > m_spirv.size()) return false;
            const std::uint32_t* w = &m_spirv[at];
            switch (op) {
            case kOpName:
                if (words >= 3) m_names[w[1]] = LiteralString(m_spirv, at + 2, at + words);
                break;
            case kOpTypeBool:
            case kOpTypeInt:
            case kOpTypeFloat:
            case kOpTypeVector:
            case kOpTypeMatrix:
            case kOpTypeArray:
            case kOpTypeStruct:
                if (words >= 2) m_types[w[1]] = {op, std::vector<std::uint32_t>(w + 2, w + words)};
                break;
            case kOpConstant:
                if (words >= 4) m_constants[w[2]] = w[3];
                break;
            case kOpVariable:
                // A `static` array is the same temporary storage as a local one.
                if (words >= 4 && (w[3] == kStorageFunction || w[3] == kStoragePrivate)) {
                    const auto pointee = m_pointees.find(w[1]);
                    if (pointee != m_pointees.end()) m_roots[w[2]] = {w[2], pointee->second};
                    if (w[3] == kStoragePrivate) m_statics.insert(w[2]);
                    // Its initialiser is a write as any other.
                    if (words >= 5) Written(w[2], w[4]);
                }
                break;
            case kOpAccessChain:
            case kOpInBoundsAccessChain:
                if (words >= 4) Chain(w[2], w[3], w + 4, w + words);
                break;
            case kOpStore:
                if (words >= 3) Written(w[1], w[2]);
                break;
            default:
                break;
            }
            at += words;
        }
        return true;
    }

    // One walk marking the values known only at run time: what is read from
    // the stage's inputs, its constants or a function's parameters, and
    // what is made from such values (a loop's counter is not, its steps are
    // constants: the D3D9 compiler unrolls such a loop). False for a module
    // it cannot walk.
    bool Taint() {
        bool inFunction = false;
        for (std::size_t at = kHeaderWords; at < m_spirv.size();) {
            const std::uint32_t words = m_spirv[at] >> 16, op = m_spirv[at] & 0xFFFF;
            if (words == 0 || at + words > m_spirv.size()) return false;
            const std::uint32_t* w = &m_spirv[at];
            at += words;
            if (op == kOpTypePointer && words == 4) {
                m_pointees[w[1]] = w[3];
            } else if (op == kOpVariable && words >= 4 && !inFunction) {
                const std::uint32_t storage = w[3];
                if (storage == kStorageUniformConstant || storage == kStorageInput || storage == kStorageUniform ||
                    storage == kStoragePushConstant || storage == kStorageStorageBuffer)
                    m_runTime.insert(w[2]);
                if (storage == kStorageUniformConstant || storage == kStorageUniform || storage == kStoragePushConstant)
                    m_constantVariables.insert(w[2]);
            }
            if (op == kOpFunction) inFunction = true;
            Constants(op, w, words);
            if (!inFunction || words < 3) continue;
            if (op == kOpFunctionParameter) {
                m_runTime.insert(w[2]);
            } else if (op == kOpStore) {
                // A run-time value kept in a variable makes what is read back run-time.
                if (m_runTime.count(w[2])) m_runTime.insert(Base(w[1]));
            } else if (op == kOpVariable) {
                continue;
            } else {
                bool any = false;
                for (std::size_t k = 3; k < words && !any; ++k) any = m_runTime.count(w[k]) != 0;
                if (op == kOpLoad && words >= 4) any = any || m_runTime.count(Base(w[3])) != 0;
                if (any) m_runTime.insert(w[2]);
                if (op == kOpAccessChain || op == kOpInBoundsAccessChain) m_bases[w[2]] = Base(w[3]);
            }
        }
        return true;
    }

    // A write of `value` through `pointer`. One written only with the
    // program's constants or literals (an array handed to a function, a
    // literal list) is kept by the D3D9 compiler in constant registers;
    // one written with literals alone takes registers of its own there.
    void Written(std::uint32_t pointer, std::uint32_t value) {
        const auto root = m_roots.find(pointer);
        if (root == m_roots.end()) return;
        const std::uint32_t variable = root->second.variable;
        // Constant registers are read only: one written at a run-time
        // index is temporaries, whatever it is written with.
        if (!m_fromConstants.count(value) || m_dynamic.count(pointer)) m_computedWrites.insert(variable);
        else if (m_fromLiterals.count(value)) m_literalWrites.insert(variable);
        else m_constantCopies.insert(variable);
    }

    // Values that are the program's constants or literals, or are made of
    // nothing else: what a copy of a constant array is written with.
    void Constants(std::uint32_t op, const std::uint32_t* w, std::uint32_t words) {
        if (words < 3) return;
        const auto constant = [&](std::uint32_t id) { return m_fromConstants.count(id) != 0; };
        const auto literal = [&](std::uint32_t id) { return m_fromLiterals.count(id) != 0; };
        bool is = false, lit = false;
        switch (op) {
        case kOpConstant:
        case kOpConstantTrue:
        case kOpConstantFalse:
        case kOpConstantComposite:
        case kOpConstantNull: is = lit = true; break;
        case kOpLoad: is = words >= 4 && m_constantVariables.count(Base(w[3])) != 0; break;
        case kOpCompositeExtract:
        case kOpCopyObject:
        case kOpCopyLogical:
            is = words >= 4 && constant(w[3]);
            lit = words >= 4 && literal(w[3]);
            break;
        case kOpVectorShuffle:
            is = words >= 5 && constant(w[3]) && constant(w[4]);
            lit = words >= 5 && literal(w[3]) && literal(w[4]);
            break;
        case kOpCompositeConstruct:
            is = lit = true;
            for (std::uint32_t k = 3; k < words; ++k) {
                is = is && constant(w[k]);
                lit = lit && literal(w[k]);
            }
            break;
        default: break;
        }
        if (is) m_fromConstants.insert(w[2]);
        if (lit) m_fromLiterals.insert(w[2]);
    }

    // The variable a pointer is into.
    [[nodiscard]] std::uint32_t Base(std::uint32_t pointer) const {
        const auto it = m_bases.find(pointer);
        return it == m_bases.end() ? pointer : it->second;
    }

    // The variables indexed at run time, in the order of their ids (the
    // order they are declared in).
    [[nodiscard]] std::vector<RunTimeArray> Arrays() const {
        std::vector<RunTimeArray> out;
        for (const std::uint32_t variable : m_computed) {
            RunTimeArray a;
            if (m_computedWrites.count(variable)) a.holds = RunTimeArray::Holds::Temporaries;
            else if (m_literalWrites.count(variable) && !m_constantCopies.count(variable))
                a.holds = RunTimeArray::Holds::Literals;
            else continue; // a copy of the program's constants, or never written
            a.id = variable;
            a.registers = Registers(m_roots.at(variable).type, 0);
            a.elements = Elements(variable);
            a.isStatic = m_statics.count(variable) != 0;
            out.push_back(a);
        }
        std::sort(out.begin(), out.end(), [](const RunTimeArray& a, const RunTimeArray& b) { return a.id < b.id; });
        return out;
    }

    // The elements of the outermost array of a variable (0: none).
    [[nodiscard]] std::uint64_t Elements(std::uint32_t variable) const {
        const auto root = m_roots.find(variable);
        const auto t = root == m_roots.end() ? m_types.end() : m_types.find(root->second.type);
        if (t == m_types.end() || t->second.op != kOpTypeArray || t->second.operands.size() < 2) return 0;
        const auto length = m_constants.find(t->second.operands[1]);
        return length == m_constants.end() ? 0 : length->second;
    }

private:
    struct Root {
        std::uint32_t variable; // the function's variable the pointer is into
        std::uint32_t type;     // what the pointer points at
    };

    // An access chain `result` into `base`: a computed index into an array
    // anywhere in it marks the variable.
    void Chain(std::uint32_t result, std::uint32_t base, const std::uint32_t* index, const std::uint32_t* end) {
        const auto root = m_roots.find(base);
        if (root == m_roots.end()) return;
        std::uint32_t type = root->second.type;
        bool dynamic = m_dynamic.count(base) != 0;
        for (; index < end; ++index) {
            const auto t = m_types.find(type);
            if (t == m_types.end()) return;
            const bool constant = m_runTime.count(*index) == 0;
            if (t->second.op == kOpTypeArray) {
                if (!constant) {
                    m_computed.insert(root->second.variable);
                    dynamic = true;
                }
                type = t->second.operands.empty() ? 0 : t->second.operands[0];
            } else if (t->second.op == kOpTypeStruct) {
                const auto member = m_constants.find(*index);
                if (member == m_constants.end() || member->second >= t->second.operands.size()) return;
                type = t->second.operands[member->second];
            } else if (t->second.op == kOpTypeMatrix || t->second.op == kOpTypeVector) {
                type = t->second.operands.empty() ? 0 : t->second.operands[0];
            } else {
                return;
            }
        }
        m_roots[result] = {root->second.variable, type};
        if (dynamic) m_dynamic.insert(result);
    }

    // The registers a value of `type` takes; nested no deeper than SPIR-V
    // from a source can be (a hostile module's cycle ends at the depth).
    [[nodiscard]] std::uint64_t Registers(std::uint32_t type, int depth) const {
        const auto t = m_types.find(type);
        if (t == m_types.end() || depth > 64) return 0;
        const std::vector<std::uint32_t>& o = t->second.operands;
        switch (t->second.op) {
        case kOpTypeMatrix: return o.size() >= 2 ? o[1] : 1;
        case kOpTypeArray: {
            if (o.size() < 2) return 0;
            const auto length = m_constants.find(o[1]);
            const std::uint64_t n = length == m_constants.end() ? 0 : length->second;
            return std::min(kCountCap, n * Registers(o[0], depth + 1));
        }
        case kOpTypeStruct: {
            std::uint64_t sum = 0;
            for (const std::uint32_t member : o) sum = std::min(kCountCap, sum + Registers(member, depth + 1));
            return sum;
        }
        default: return 1;
        }
    }

    const std::vector<std::uint32_t>& m_spirv;
    std::unordered_map<std::uint32_t, std::string> m_names;
    std::unordered_map<std::uint32_t, Type> m_types;
    std::unordered_map<std::uint32_t, std::uint32_t> m_pointees;  // pointer type: what it points at
    std::unordered_map<std::uint32_t, std::uint32_t> m_constants; // 32-bit constants' first word
    std::unordered_map<std::uint32_t, Root> m_roots;              // pointers into function variables
    std::unordered_set<std::uint32_t> m_computed;                 // variables indexed at run time
    std::unordered_set<std::uint32_t> m_computedWrites;           // variables written with computed values
    std::unordered_set<std::uint32_t> m_constantVariables;        // the program's constants
    std::unordered_set<std::uint32_t> m_fromConstants;            // values made of constants and literals only
    std::unordered_set<std::uint32_t> m_fromLiterals;             // values made of literals only
    std::unordered_set<std::uint32_t> m_literalWrites;            // variables written with literals
    std::unordered_set<std::uint32_t> m_constantCopies;           // variables written with the program's constants
    std::unordered_set<std::uint32_t> m_statics;                  // `static` variables
    std::unordered_set<std::uint32_t> m_dynamic;                  // pointers through a run-time index
    std::unordered_map<std::uint32_t, std::uint32_t> m_bases;          // access chains: the variable they are into
    std::unordered_set<std::uint32_t> m_runTime;                       // values known only at run time
};

} // namespace

std::uint32_t HlslTemporaryRegisters(bool vertex, std::uint32_t major, std::uint32_t minor) {
    // The published register counts of each profile.
    if (vertex) {
        if (major == 1 || (major == 2 && minor == 0)) return 12;
        if (major == 2 && minor == 1) return 13; // vs_2_a
        return major == 3 ? 32 : 0;
    }
    if (major == 1) return minor == 4 ? 6 : 2;
    if (major == 2) return minor == 0 ? 12 : minor == 1 ? 22 : 32; // ps_2_0, ps_2_a, ps_2_b
    return major == 3 ? 32 : 0;
}

namespace {

// Whether `source` at `at` follows `word` within its statement.
bool FollowsWord(std::string_view source, std::size_t at, std::string_view word) {
    const auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    const std::size_t found = source.find_last_of(";}{", at == 0 ? 0 : at - 1);
    const std::size_t start = found == std::string_view::npos || at == 0 ? 0 : found + 1;
    const std::string_view statement = source.substr(start, at - start);
    for (std::size_t k = statement.find(word); k != std::string_view::npos; k = statement.find(word, k + 1)) {
        const std::size_t after = k + word.size();
        if ((k == 0 || !ident(statement[k - 1])) && (after >= statement.size() || !ident(statement[after])))
            return true;
    }
    return false;
}

// The first declaration of an array of `elements` elements in `source`,
// `static` or not as asked.
std::string FindArray(std::string_view source, std::uint64_t elements, bool isStatic, std::size_t& at) {
    const auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    std::string size = "[";
    size += std::to_string(elements);
    size += "]";
    // Of each brace open, whether it opened a struct: a member is no
    // variable.
    std::vector<bool> open;
    std::size_t structs = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '{') {
            open.push_back(FollowsWord(source, i, "struct"));
            structs += open.back() ? 1 : 0;
        } else if (source[i] == '}' && !open.empty()) {
            structs -= open.back() ? 1 : 0;
            open.pop_back();
        }
        if (structs > 0 || source.compare(i, size.size(), size) != 0) continue;
        if (isStatic ? !FollowsWord(source, i, "static") : open.empty()) continue;
        std::size_t end = i;
        while (end > 0 && std::isspace(static_cast<unsigned char>(source[end - 1]))) --end;
        std::size_t begin = end;
        while (begin > 0 && ident(source[begin - 1])) --begin;
        if (begin == end) continue;
        at = begin;
        return std::string(source.substr(begin, end - begin));
    }
    return {};
}

} // namespace

std::string FindArrayDeclaration(std::string_view source, const RunTimeArray& array, std::size_t& at) {
    // The optimised module keeps no names of locals nor lines, so the
    // declaration is found by its size: a local one in a function body, a
    // `static` one by its word. The optimiser makes a `static` read by one
    // function a local of it, so each is looked for as the other too.
    std::string name = FindArray(source, array.elements, array.isStatic, at);
    if (name.empty()) name = FindArray(source, array.elements, !array.isStatic, at);
    return name;
}

bool RunTimeIndexedArrays(const std::vector<std::uint32_t>& spirv, std::vector<RunTimeArray>& arrays) {
    arrays.clear();
    Module module(spirv);
    if (!module.Read()) return false;
    arrays = module.Arrays();
    return true;
}

bool LocalArraysFitTemporaries(const std::vector<RunTimeArray>& arrays, std::uint32_t registers,
                               std::string_view source, std::size_t& at, std::string& error) {
    // The D3D9 compiler gives every such array registers of its own, all
    // live at once: the sum is what the profile must hold.
    std::uint64_t needed = 0, count = 0;
    const RunTimeArray* largest = nullptr;
    for (const RunTimeArray& a : arrays) {
        if (a.holds != RunTimeArray::Holds::Temporaries) continue;
        needed = std::min(kCountCap, needed + a.registers);
        ++count;
        if (!largest || a.registers > largest->registers) largest = &a;
    }
    if (needed <= registers || !largest) return true;
    at = 0;
    const std::string name = FindArrayDeclaration(source, *largest, at);
    const std::string what = name.empty() ? std::string(largest->isStatic ? "a static array" : "a local array")
                                          : std::string(largest->isStatic ? "the static array '" : "the local array '") +
                                                name + "'";
    if (count == 1)
        error = what + " is indexed at run time and takes " + std::to_string(needed) + " registers";
    else
        error = std::to_string(count) + " arrays indexed at run time take " + std::to_string(needed) +
                " registers together (" + what + " " + std::to_string(largest->registers) + ")";
    error += "; the profile has " + std::to_string(registers) + " temporary registers";
    return false;
}

} // namespace gfx
