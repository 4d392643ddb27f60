#include "platform/gfxutil/hlsl/GfxUtilHlslLimits.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslTemporaries.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace gfx {
namespace {

using namespace spirv;

// Opcodes only this pass reads.
constexpr std::uint32_t kOpFunctionEnd = 56, kOpFunctionCall = 57, kOpImageSampleFirst = 87,
                        kOpImageDrefGather = 97, kOpIAdd = 128, kOpFSub = 131, kOpIMul = 132, kOpFMul = 133,
                        kOpOuterProduct = 147, kOpDPdx = 207, kOpFwidthCoarse = 215, kOpLoopMerge = 246, kOpSelectionMerge = 247,
                        kOpBranchConditional = 250, kOpSwitch = 251, kOpKill = 252,
                        kOpTerminateInvocation = 4416, kOpDemoteToHelperInvocation = 5380;
// SelectionControl: an `if` written `[branch]`.
constexpr std::uint32_t kSelectionDontFlatten = 0x2;
// GLSL.std.450 instructions the D3D9 compiler gives as source modifiers.
constexpr std::uint32_t kGlslFAbs = 4, kGlslSAbs = 5, kGlslFClamp = 43, kGlslUClamp = 44, kGlslSClamp = 45;

// Past this a count is no longer added up: it is far beyond any profile.
constexpr std::uint64_t kCountCap = std::uint64_t(1) << 40;
// The D3D9 compiler packs scalar steps into vector instructions and folds
// more into modifiers than an estimate from SPIR-V can follow: programs it
// takes are estimated at up to 1.4 times their profile's arithmetic slots.
// Only a program past twice as many is refused.
constexpr std::uint64_t kSlotMargin = 2;

// What the walk keeps of a type: its components (a vector's; a matrix's
// columns times theirs).
struct Shape {
    std::uint32_t components = 1;
};

// Whether an operation gives a value of its operands alone (its result at
// word 2), which the compiler folds when they are literals.
bool Folds(std::uint32_t op) {
    return op == kOpExtInst || op == kOpVectorShuffle || op == kOpCompositeConstruct || op == kOpCompositeExtract ||
           op == kOpCompositeInsert || op == kOpCopyObject || op == kOpTranspose || op == kOpSelect ||
           (op >= kOpConvertFToU && op <= kOpFwidthCoarse && !(op >= kOpDPdx && op <= kOpFwidthCoarse));
}

} // namespace

HlslProfileLimits HlslLimitsOf(bool vertex, std::uint32_t major, std::uint32_t minor) {
    HlslProfileLimits l;
    l.temporaries = HlslTemporaryRegisters(vertex, major, minor);
    if (l.temporaries == 0) return {};
    // The published figures: what every device of the profile runs.
    l.nesting = 24;
    // D3D9 has no `switch`: the compiler gives one as calls or a loop, which
    // nest 4 deep. The GLSL driver's work on nested ones grows two to three
    // times with each level (twelve take a tenth of a second, fourteen most
    // of one; twenty-four would take hours).
    l.switchNesting = 4;
    if (vertex) {
        l.floatConstants = 256;
        l.slots = major == 1 ? 128 : major == 2 ? 256 : 512;
        return l;
    }
    l.floatConstants = major == 1 ? 8 : major == 2 ? 32 : 224;
    if (major == 2 && minor == 0) {
        l.slots = 64;
        l.textureSlots = 32;
    } else if (major >= 2) {
        l.slots = 512;
    }
    // Shader model 1's few slots are counted by its own rules (phases,
    // co-issue) an estimate from SPIR-V cannot follow: left unchecked.
    return l;
}

bool EstimateHlslProgramSize(const std::vector<std::uint32_t>& spirv, HlslProgramSize& size) {
    size = {};
    if (spirv.size() < kHeaderWords) return false;
    std::unordered_map<std::uint32_t, Shape> types;
    std::unordered_set<std::uint32_t> products; // results a `mad` takes its add into
    // Values made of literals and the program's constants alone: the
    // compiler folds those of literals, and an effect runs the rest once a
    // draw on the CPU (a preshader).
    std::unordered_set<std::uint32_t> folded;
    std::unordered_set<std::uint32_t> constantPointers; // into the program's constants
    std::vector<std::uint32_t> merges;          // the merge blocks of the constructs the walk is in
    std::vector<bool> switches;                 // of each, whether it is a `switch`
    // Of each, whether it must stay a branch, and the deepest nesting of
    // such branches inside it. The D3D9 compiler flattens an `if` into
    // selects unless told not to (`[branch]`) or unless it holds a loop or
    // a `switch`: the else-if chains of fixed-function emulators, each arm
    // returning a value, nest dozens deep in the source and not at all in
    // its code.
    struct Branching {
        bool kept = false;
        std::uint32_t inner = 0;
    };
    std::vector<Branching> branching;
    // The constructs from the `from`-th on closed, the innermost first.
    const auto close = [&](std::size_t from) {
        for (std::size_t k = branching.size(); k-- > from;) {
            const Branching b = branching[k];
            const std::uint32_t depth = b.kept ? b.inner + 1 : 0;
            if (k > 0) {
                branching[k - 1].inner = std::max(branching[k - 1].inner, depth);
                branching[k - 1].kept = branching[k - 1].kept || b.kept;
            } else {
                size.nesting = std::max(size.nesting, depth);
            }
        }
        branching.resize(std::min(branching.size(), from));
        switches.resize(std::min(switches.size(), from));
        merges.resize(std::min(merges.size(), from));
    };
    const auto switchDepth = [&] { return std::uint32_t(std::count(switches.begin(), switches.end(), true)); };
    std::uint32_t glsl = 0;
    const auto add = [](std::uint64_t& count, std::uint64_t n) { count = std::min(kCountCap, count + n); };
    const auto components = [&](std::uint32_t type) {
        const auto t = types.find(type);
        return t == types.end() ? 1u : t->second.components;
    };
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        at += words;
        if (op == kOpVariable && words >= 4 &&
            (w[3] == kStorageUniform || w[3] == kStorageUniformConstant || w[3] == kStoragePushConstant))
            constantPointers.insert(w[2]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 4 && constantPointers.count(w[3])) {
            bool constant = true;
            for (std::uint32_t k = 4; k < words && constant; ++k) constant = folded.count(w[k]) != 0;
            if (constant) constantPointers.insert(w[2]);
        }
        if (op == kOpLoad && words >= 4 && constantPointers.count(w[3])) folded.insert(w[2]);
        // An operation on such values alone takes no slot of the program.
        if (words >= 4 && Folds(op)) {
            bool literal = true;
            for (std::uint32_t k = op == kOpExtInst ? 5 : 3; k < words && literal; ++k)
                literal = folded.count(w[k]) != 0;
            if (literal) {
                folded.insert(w[2]);
                continue;
            }
        }
        switch (op) {
        case kOpConstantTrue:
        case kOpConstantFalse:
        case kOpConstant:
        case kOpConstantComposite:
        case kOpConstantNull:
            if (words >= 3) folded.insert(w[2]);
            continue;
        case kOpExtInstImport:
            if (words >= 3 && LiteralString(spirv, at - words + 2, at) == "GLSL.std.450") glsl = w[1];
            continue;
        case kOpTypeBool:
        case kOpTypeInt:
        case kOpTypeFloat:
            if (words >= 2) types[w[1]] = {1};
            continue;
        case kOpTypeVector:
        case kOpTypeMatrix:
            if (words >= 4) types[w[1]] = {std::min<std::uint32_t>(w[3], 16) * components(w[2])};
            continue;
        case kOpSelectionMerge:
        case kOpLoopMerge:
            if (words >= 2) {
                merges.push_back(w[1]);
                switches.push_back(false);
                // A loop stays one; an `if` stays a branch where `[branch]` says so.
                branching.push_back({op == kOpLoopMerge || (words >= 3 && (w[2] & kSelectionDontFlatten) != 0), 0});
            }
            if (op == kOpLoopMerge) add(size.arithmeticSlots, 1); // loop ... endloop
            continue;
        case kOpLabel:
            // The block a construct merges at ends it, and every construct
            // opened within it.
            if (words >= 2) {
                const auto open = std::find(merges.begin(), merges.end(), w[1]);
                if (open != merges.end()) close(std::size_t(open - merges.begin()));
            }
            continue;
        case kOpFunctionEnd:
            close(0);
            continue;
        case kOpBranchConditional:
        case kOpKill:
        case kOpTerminateInvocation:
        case kOpDemoteToHelperInvocation:
        case kOpFunctionCall: add(size.arithmeticSlots, 1); continue;
        case kOpSwitch:
            // D3D9 has no `switch`: each case is an `if` of its own, with
            // its `else` and `endif`.
            if (words >= 3) add(size.arithmeticSlots, std::max<std::uint64_t>(1, (words - 3) / 2 * 3));
            // The construct its merge opened.
            if (!switches.empty()) {
                switches.back() = true;
                branching.back().kept = true;
                size.switchNesting = std::max(size.switchNesting, switchDepth());
            }
            continue;
        case kOpExtInst:
            if (words >= 5 && w[3] == glsl &&
                (w[4] == kGlslFAbs || w[4] == kGlslSAbs || w[4] == kGlslFClamp || w[4] == kGlslUClamp ||
                 w[4] == kGlslSClamp))
                continue;
            add(size.arithmeticSlots, 1);
            continue;
        default: break;
        }
        if (op >= kOpImageSampleFirst && op <= kOpImageDrefGather) {
            add(size.textureSlots, 1);
            continue;
        }
        // Conversions and negation (below the adds) are free: ints are
        // floats there, and a negation is a modifier.
        if (op < kOpIAdd || op > kOpFwidthCoarse || words < 4) continue;
        if (op == kOpFMul || op == kOpIMul || op == kOpVectorTimesScalar) products.insert(w[2]);
        if ((op >= kOpIAdd && op <= kOpFSub) && (products.count(w[3]) || (words >= 5 && products.count(w[4]))))
            continue; // the add of a `mad`
        // A matrix product is a dot product a component of its result.
        if (op >= kOpVectorTimesMatrix && op <= kOpOuterProduct) {
            add(size.arithmeticSlots, components(w[1]));
            continue;
        }
        add(size.arithmeticSlots, 1);
    }
    close(0); // a module cut short of its last function's end
    return true;
}

namespace {

// Where the entry point's name is declared in `source`: what a refusal of
// the whole program points at (0 when not found).
std::size_t EntryAt(std::string_view source, const char* entry) {
    if (!entry || !*entry) return 0;
    const std::string_view name(entry);
    const auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    int depth = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '{') ++depth;
        else if (source[i] == '}') --depth;
        if (depth != 0 || source.compare(i, name.size(), name) != 0) continue;
        if ((i > 0 && ident(source[i - 1])) || (i + name.size() < source.size() && ident(source[i + name.size()])))
            continue;
        std::size_t after = i + name.size();
        while (after < source.size() && std::isspace(static_cast<unsigned char>(source[after]))) ++after;
        if (after < source.size() && source[after] == '(') return i;
    }
    return 0;
}

// Where flow control first nests deeper than `limit` in `source`, by its
// braces, the entry's body being the first level; 0 when the braces do not
// show it.
std::size_t NestedAt(std::string_view source, std::uint32_t limit) {
    std::uint32_t depth = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '}' && depth > 0) --depth;
        if (source[i] != '{') continue;
        if (++depth <= limit + 1) continue;
        // The statement that opened this block: back to its line's start.
        std::size_t start = source.rfind('\n', i);
        start = start == std::string_view::npos ? 0 : start + 1;
        while (start < i && std::isspace(static_cast<unsigned char>(source[start]))) ++start;
        return start;
    }
    return 0;
}

// The float constant registers the program reads: of each constant, the
// registers up to the last one read, all of them where an index computed at
// run time reaches it.
std::uint64_t ConstantRegistersRead(const std::vector<std::uint32_t>& spirv) {
    std::map<std::string, std::uint32_t> read;
    if (!HlslRegistersRead(spirv, read)) return 0;
    // The registers of each member of the constant block by its type.
    struct Type {
        std::uint32_t op = 0, element = 0, length = 0, columns = 0;
        std::vector<std::uint32_t> members;
    };
    std::unordered_map<std::uint32_t, Type> types;
    std::unordered_map<std::uint32_t, std::uint32_t> constants;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> memberNames;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return 0;
        const std::uint32_t* w = &spirv[at];
        if (op == kOpMemberName && words >= 4) memberNames[{w[1], w[2]}] = LiteralString(spirv, at + 3, at + words);
        else if (op == kOpConstant && words >= 4) constants[w[2]] = w[3];
        else if (op == kOpTypeArray && words >= 4) types[w[1]] = {op, w[2], w[3], 0, {}};
        else if (op == kOpTypeMatrix && words >= 4) types[w[1]] = {op, w[2], 0, w[3], {}};
        else if (op == kOpTypeStruct && words >= 2) types[w[1]] = {op, 0, 0, 0, {w + 2, w + words}};
        at += words;
    }
    const auto registers = [&](auto&& self, std::uint32_t type, int depth) -> std::uint64_t {
        const auto t = types.find(type);
        if (t == types.end()) return 1;
        if (depth > 64) return 0;
        switch (t->second.op) {
        case kOpTypeMatrix: return t->second.columns;
        case kOpTypeArray: {
            const auto n = constants.find(t->second.length);
            return std::min(kCountCap, (n == constants.end() ? 0 : n->second) * self(self, t->second.element, depth + 1));
        }
        default: {
            std::uint64_t sum = 0;
            for (const std::uint32_t m : t->second.members) sum = std::min(kCountCap, sum + self(self, m, depth + 1));
            return sum;
        }
        }
    };
    std::unordered_map<std::string, std::uint64_t> whole;
    for (const auto& [key, name] : memberNames) {
        const auto t = types.find(key.first);
        if (t == types.end() || key.second >= t->second.members.size()) continue;
        whole[name] = registers(registers, t->second.members[key.second], 0);
    }
    std::uint64_t sum = 0;
    for (const auto& [name, count] : read) {
        const auto w = whole.find(name);
        const std::uint64_t n = count != kHlslEveryRegister ? count : w != whole.end() ? w->second : 1;
        sum = std::min(kCountCap, sum + n);
    }
    return sum;
}

} // namespace

bool ProgramFitsProfile(const std::vector<std::uint32_t>& spirv, bool vertex, std::uint32_t major,
                        std::uint32_t minor, const char* profileText, const char* entry, std::string_view source,
                        std::size_t& at, std::string& error) {
    const HlslProfileLimits limits = HlslLimitsOf(vertex, major, minor);
    const std::string profile = std::string(" (") + (profileText ? profileText : "") + ")";
    if (limits.temporaries == 0) return true;
    if (!LocalArraysFitTemporaries(spirv, limits.temporaries, source, at, error)) {
        error += profile;
        return false;
    }
    // An array of literals read at a run-time index is constant registers
    // of its own, beside the program's constants.
    std::vector<RunTimeArray> arrays;
    if (RunTimeIndexedArrays(spirv, arrays)) {
        std::uint64_t literal = 0;
        const RunTimeArray* largest = nullptr;
        for (const RunTimeArray& a : arrays) {
            if (a.holds != RunTimeArray::Holds::Literals) continue;
            literal = std::min(kCountCap, literal + a.registers);
            if (!largest || a.registers > largest->registers) largest = &a;
        }
        const std::uint64_t total = largest ? std::min(kCountCap, literal + ConstantRegistersRead(spirv)) : 0;
        if (total > limits.floatConstants) {
            at = 0;
            const std::string name = FindArrayDeclaration(source, *largest, at);
            error = (name.empty() ? std::string("an array of literals") : "the array of literals '" + name + "'") +
                    " is indexed at run time and takes " + std::to_string(largest->registers) +
                    " constant registers, " + std::to_string(total) +
                    " with the program's constants; the profile has " + std::to_string(limits.floatConstants) +
                    " float constant registers" + profile;
            return false;
        }
    }
    HlslProgramSize size;
    if (!EstimateHlslProgramSize(spirv, size)) return true;
    if (limits.nesting && size.nesting > limits.nesting) {
        at = NestedAt(source, limits.nesting);
        error = "flow control nested " + std::to_string(size.nesting) + " deep; the profile nests " +
                std::to_string(limits.nesting) + " deep" + profile;
        return false;
    }
    if (limits.switchNesting && size.switchNesting > limits.switchNesting) {
        at = NestedAt(source, limits.switchNesting);
        error = "'switch' nested " + std::to_string(size.switchNesting) + " deep; the profile nests " +
                std::to_string(limits.switchNesting) + " deep" + profile;
        return false;
    }
    if (limits.slots == 0) return true;
    const std::uint64_t arithmetic = size.arithmeticSlots + (limits.textureSlots ? 0 : size.textureSlots);
    if (arithmetic > limits.slots * kSlotMargin) {
        at = EntryAt(source, entry);
        error = "the program takes an estimated " + std::to_string(arithmetic) +
                (limits.textureSlots ? " arithmetic" : "") + " instruction slots, more than twice the " +
                std::to_string(limits.slots) + " the profile has" + profile;
        return false;
    }
    if (limits.textureSlots && size.textureSlots > limits.textureSlots) {
        at = EntryAt(source, entry);
        error = "the program takes " + std::to_string(size.textureSlots) +
                " texture instruction slots; the profile has " + std::to_string(limits.textureSlots) + profile;
        return false;
    }
    return true;
}

} // namespace gfx

