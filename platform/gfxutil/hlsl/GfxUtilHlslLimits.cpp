#include "platform/gfxutil/hlsl/GfxUtilHlslLimits.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslTemporaries.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace gfx {
namespace {

using namespace spirv;

// Opcodes only this pass reads.
constexpr std::uint32_t kOpFunctionEnd = 56, kOpFunctionCall = 57, kOpImageSampleFirst = 87,
                        kOpImageDrefGather = 97, kOpIAdd = 128, kOpISub = 130, kOpFSub = 131, kOpIMul = 132,
                        kOpFMul = 133, kOpLogicalNot = 168, kOpIEqual = 170, kOpINotEqual = 171,
                        kOpUGreaterThan = 172, kOpSGreaterThan = 173, kOpUGreaterThanEqual = 174,
                        kOpSGreaterThanEqual = 175, kOpULessThan = 176, kOpSLessThan = 177, kOpFOrdEqual = 180,
                        kOpFUnordEqual = 181, kOpFOrdNotEqual = 182, kOpFUnordNotEqual = 183, kOpFOrdLessThan = 184,
                        kOpFUnordLessThan = 185, kOpFOrdGreaterThan = 186, kOpFUnordGreaterThan = 187,
                        kOpFOrdGreaterThanEqual = 190, kOpFUnordGreaterThanEqual = 191, kOpBranch = 249,
                        kOpOuterProduct = 147, kOpDPdx = 207, kOpFwidthCoarse = 215, kOpLoopMerge = 246, kOpSelectionMerge = 247,
                        kOpBranchConditional = 250, kOpSwitch = 251, kOpKill = 252,
                        kOpTerminateInvocation = 4416, kOpDemoteToHelperInvocation = 5380;
// SelectionControl: an `if` written `[branch]`.
constexpr std::uint32_t kSelectionDontFlatten = 0x2;
// The slots of a GLSL.std.450 instruction as the D3D9 compiler writes it:
// absolute value and clamping are source modifiers, several are macros of
// a few instructions (`sincos` takes eight slots), the inverse circular
// functions series of about as many.
std::uint32_t SlotsOf(std::uint32_t glslInstruction) {
    switch (glslInstruction) {
    case 4:  // FAbs
    case 5:  // SAbs
    case 43: // FClamp
    case 44: // UClamp
    case 45: // SClamp
        return 0;
    case 13: // Sin
    case 14: // Cos
    case 16: // Asin
    case 17: // Acos
    case 18: // Atan
        return 8;
    case 15: // Tan: sincos, then the quotient
    case 25: // Atan2
        return 10;
    case 19: // Sinh
    case 20: // Cosh
    case 21: // Tanh
    case 49: // SmoothStep
    case 72: // Refract
        return 4;
    case 26: // Pow: log, mul, exp
    case 67: // Distance
    case 69: // Normalize: dp3, rsq, mul
        return 3;
    case 31: // Sqrt: rsq, rcp
    case 46: // FMix: lrp
    case 66: // Length
    case 68: // Cross
    case 71: // Reflect
        return 2;
    default: return 1;
    }
}

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

// A loop of more passes than this stays a loop for both compilers.
constexpr std::uint64_t kUnrolledPasses = 32;
// Where a profile has loops, the D3D9 compiler unrolls one whose passes
// together take no more slots than this, and the GLSL driver one of up to
// this many.
constexpr std::uint64_t kUnrolledSlots = 128, kDriverUnrolledSlots = 512;

// The passes of each loop whose counter starts at a literal, steps by a
// literal and is compared with a literal where the loop's header (or the
// block the header leads to) leaves it: what the compilers unroll.
class LoopPasses {
public:
    struct Loop {
        std::uint64_t passes = 0; // 0 where not known
        std::uint32_t counter = 0;
    };

    bool Read(const std::vector<std::uint32_t>& spirv) {
        std::unordered_map<std::uint32_t, std::uint32_t> intTypes; // id: 1 signed, 2 unsigned, 3 float
        std::uint32_t label = 0;
        for (std::size_t at = kHeaderWords; at < spirv.size();) {
            const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
            if (words == 0 || at + words > spirv.size()) return false;
            const std::uint32_t* w = &spirv[at];
            at += words;
            if (op == kOpTypeInt && words >= 4 && w[2] == 32) intTypes[w[1]] = w[3] ? 1 : 2;
            else if (op == kOpTypeFloat && words >= 3 && w[2] == 32) intTypes[w[1]] = 3;
            else if (op == kOpConstant && words >= 4) {
                const auto t = intTypes.find(w[1]);
                if (t == intTypes.end()) continue;
                double v = 0;
                if (t->second == 1) v = double(std::int32_t(w[3]));
                else if (t->second == 2) v = double(w[3]);
                else v = double(std::bit_cast<float>(w[3]));
                m_constants[w[2]] = v;
            } else if (op == kOpLabel && words >= 2) {
                label = w[1];
            } else if (op == kOpPhi && words == 7) {
                m_phis[w[2]] = {label, {w[3], w[4], w[5], w[6]}};
            } else if (op == kOpLoopMerge && words >= 3) {
                m_merges[label] = w[1];
            } else if (op == kOpBranch && words >= 2) {
                m_exits[label] = {0, w[1], 0};
            } else if (op == kOpBranchConditional && words >= 4) {
                m_exits[label] = {w[1], w[2], w[3]};
            } else if (words == 5 && ((op >= kOpIAdd && op <= kOpFMul) || (op >= kOpIEqual && op <= kOpFUnordGreaterThanEqual))) {
                m_defs[w[2]] = {op, w[3], w[4]};
            } else if (words == 4 && op == kOpLogicalNot) {
                m_defs[w[2]] = {op, w[3], 0};
            }
        }
        return true;
    }

    bool IsHeader(std::uint32_t label) const { return m_merges.count(label) != 0; }

    Loop Of(std::uint32_t header) const {
        const auto merge = m_merges.find(header);
        if (merge == m_merges.end()) return {};
        const std::uint32_t leave = merge->second;
        // The conditional branch out of the loop: the header's, or the one of
        // the block it leads to.
        auto exit = m_exits.find(header);
        if (exit != m_exits.end() && exit->second.condition == 0) exit = m_exits.find(exit->second.whenTrue);
        if (exit == m_exits.end() || exit->second.condition == 0 ||
            (exit->second.whenTrue != leave && exit->second.whenFalse != leave))
            return {};
        bool inverted = false;
        auto compare = m_defs.find(exit->second.condition);
        while (compare != m_defs.end() && compare->second.op == kOpLogicalNot) {
            inverted = !inverted;
            compare = m_defs.find(compare->second.a);
        }
        if (compare == m_defs.end() || compare->second.op < kOpIEqual) return {};
        const Def c = compare->second;
        // The counter: a value of the header's, from a literal on the way in
        // and from itself stepped by a literal on the way round.
        const bool counterFirst = IsCounter(c.a, header);
        if (!counterFirst && !IsCounter(c.b, header)) return {};
        const std::uint32_t counter = counterFirst ? c.a : c.b;
        const auto bound = m_constants.find(counterFirst ? c.b : c.a);
        if (bound == m_constants.end()) return {};
        // All found by IsCounter.
        const Phi& phi = m_phis.find(counter)->second;
        const bool startFirst = m_constants.count(phi.incoming[0]) != 0;
        double value = m_constants.find(phi.incoming[startFirst ? 0 : 2])->second;
        const Def step = m_defs.find(phi.incoming[startFirst ? 2 : 0])->second;
        const double by = m_constants.find(step.a == counter ? step.b : step.a)->second;
        const bool floats = step.op == kOpFAdd || step.op == kOpFSub || step.op == kOpFMul;
        for (std::uint64_t pass = 0; pass <= kUnrolledPasses; ++pass) {
            const double l = counterFirst ? value : bound->second, r = counterFirst ? bound->second : value;
            const bool taken = Holds(c.op, l, r) != inverted;
            if ((taken ? exit->second.whenTrue : exit->second.whenFalse) == leave)
                return {pass, counter};
            switch (step.op) {
            case kOpIAdd:
            case kOpFAdd: value += by; break;
            case kOpISub:
            case kOpFSub: value -= by; break;
            default: value *= by; break;
            }
            // A float counter steps as the program's floats do.
            if (floats) value = double(float(value));
        }
        return {};
    }

private:
    struct Def {
        std::uint32_t op = 0, a = 0, b = 0;
    };
    struct Phi {
        std::uint32_t block = 0;
        std::uint32_t incoming[4] = {}; // value, from block; twice
    };
    struct Exit {
        std::uint32_t condition = 0, whenTrue = 0, whenFalse = 0; // an unconditional branch's target in whenTrue
    };

    // Whether `id` is a counter of the loop of `header`.
    bool IsCounter(std::uint32_t id, std::uint32_t header) const {
        const auto phi = m_phis.find(id);
        if (phi == m_phis.end() || phi->second.block != header) return false;
        const std::uint32_t* in = phi->second.incoming;
        const bool startFirst = m_constants.count(in[0]) != 0;
        if (!startFirst && !m_constants.count(in[2])) return false;
        const auto step = m_defs.find(in[startFirst ? 2 : 0]);
        if (step == m_defs.end() || step->second.op > kOpFMul) return false;
        const Def& d = step->second;
        const bool subtracts = d.op == kOpISub || d.op == kOpFSub;
        return (d.a == id && m_constants.count(d.b)) || (!subtracts && d.b == id && m_constants.count(d.a));
    }

    static bool Holds(std::uint32_t op, double l, double r) {
        switch (op) {
        case kOpIEqual:
        case kOpFOrdEqual:
        case kOpFUnordEqual: return l == r;
        case kOpINotEqual:
        case kOpFOrdNotEqual:
        case kOpFUnordNotEqual: return l != r;
        case kOpUGreaterThan:
        case kOpSGreaterThan:
        case kOpFOrdGreaterThan:
        case kOpFUnordGreaterThan: return l > r;
        case kOpUGreaterThanEqual:
        case kOpSGreaterThanEqual:
        case kOpFOrdGreaterThanEqual:
        case kOpFUnordGreaterThanEqual: return l >= r;
        case kOpULessThan:
        case kOpSLessThan:
        case kOpFOrdLessThan:
        case kOpFUnordLessThan: return l < r;
        default: return l <= r;
        }
    }

    std::unordered_map<std::uint32_t, double> m_constants;
    std::unordered_map<std::uint32_t, Phi> m_phis;
    std::unordered_map<std::uint32_t, Def> m_defs;
    std::unordered_map<std::uint32_t, Exit> m_exits;
    std::unordered_map<std::uint32_t, std::uint32_t> m_merges; // a loop's header: its merge block
};

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
    // D3D9 nests `loop` and `rep` 4 deep; where a profile has neither, the
    // compiler unrolls every loop, and the driver nests the passes again.
    l.loopNesting = 4;
    // Shader model 3 holds what the device's caps say, never fewer than
    // the profile's 512; the driver's cost of a program that large is the
    // gl back end's check to bound, not a count's.
    const auto model3Slots = [](std::uint32_t caps) { return std::max<std::uint32_t>(512, caps); };
    if (vertex) {
        l.floatConstants = 256;
        l.slots = major == 1 ? 128 : major == 2 ? 256 : model3Slots(DeviceCaps(0).MaxVertexShader30InstructionSlots);
        return l;
    }
    l.floatConstants = major == 1 ? 8 : major == 2 ? 32 : 224;
    if (major == 1) {
        // Arithmetic and texture addressing apart; 1.4 runs two phases of
        // 8 and 6 each.
        l.slots = minor == 4 ? 16 : 8;
        l.textureSlots = minor == 4 ? 12 : 4;
    } else if (major == 2 && minor == 0) {
        l.slots = 64;
        l.textureSlots = 32;
    } else if (major == 2) {
        l.slots = 512;
    } else {
        l.slots = model3Slots(DeviceCaps(0).MaxPixelShader30InstructionSlots);
    }
    return l;
}

bool EstimateHlslProgramSize(const std::vector<std::uint32_t>& spirv, bool unrollsEveryLoop,
                             const std::vector<RunTimeArray>& arrays, HlslProgramSize& size) {
    size = {};
    if (spirv.size() < kHeaderWords) return false;
    LoopPasses passes;
    if (!passes.Read(spirv)) return false;
    // Arrays of temporaries read or written at a run-time index: D3D9 has
    // no such addressing of temporaries, so its compiler picks the element
    // by a comparison and a select per register of the array.
    std::unordered_map<std::uint32_t, std::uint64_t> pickedArrays;
    for (const RunTimeArray& a : arrays)
        if (a.holds == RunTimeArray::Holds::Temporaries) pickedArrays[a.id] = a.registers;
    std::unordered_map<std::uint32_t, Shape> types;
    std::unordered_set<std::uint32_t> products; // results a `mad` takes its add into
    // Values made of literals alone, which the compiler folds, and the
    // counters of loops it unrolls, literals in each pass. A value made of
    // the program's constants is computed for every vertex or pixel: nothing
    // runs it once on the CPU.
    std::unordered_set<std::uint32_t> folded;
    // Of each value, the depth of the innermost loop it changes in (0 for
    // none): a value that does not change in a loop is computed once
    // before it.
    std::unordered_map<std::uint32_t, std::uint32_t> levels;
    std::unordered_set<std::uint32_t> memory; // pointers into the program's variables
    std::vector<std::uint32_t> merges;        // the merge blocks of the constructs the walk is in
    std::vector<bool> switches;               // of each, whether it is a `switch`
    // Of each, whether it must stay a branch, and the deepest nesting of
    // such branches inside it. The D3D9 compiler flattens an `if` into
    // selects unless told not to (`[branch]`) or unless it holds a loop or
    // a `switch`: the else-if chains of fixed-function emulators, each arm
    // returning a value, nest dozens deep in the source and not at all in
    // its code.
    struct Branching {
        bool kept = false;
        std::uint32_t inner = 0;
        bool loop = false;
    };
    std::vector<Branching> branching;
    // The slots of each loop the walk is in, the innermost last: a loop the
    // compilers unroll takes its body's slots once per pass.
    struct LoopSlots {
        std::uint64_t passes = 0; // 0 where not known
        std::uint64_t arithmetic = 0, texture = 0;
        // Of the arithmetic, the elements picked: the GLSL driver unrolls
        // the loop by its size without them, and picks each after.
        std::uint64_t picks = 0;
    };
    std::vector<LoopSlots> loops;
    const auto add = [](std::uint64_t& count, std::uint64_t n) { count = std::min(kCountCap, count + n); };
    const auto times = [](std::uint64_t n, std::uint64_t count) { return count == 0 || n <= kCountCap / count ? n * count : kCountCap; };
    // The counts of the loop of a depth, the program's outside them.
    const auto arithmetic = [&](std::size_t depth) -> std::uint64_t& {
        return depth == 0 ? size.arithmeticSlots : loops[depth - 1].arithmetic;
    };
    const auto texture = [&](std::size_t depth) -> std::uint64_t& {
        return depth == 0 ? size.textureSlots : loops[depth - 1].texture;
    };
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
            if (!b.loop || loops.empty()) continue;
            const LoopSlots l = loops.back();
            loops.pop_back();
            // The D3D9 compiler unrolls a loop where the profile has none,
            // else only a small one; the GLSL driver unrolls one of a few
            // passes and a modest size, then picks the elements in each.
            const std::uint64_t work = l.arithmetic > l.picks ? l.arithmetic - l.picks : 0;
            const std::uint64_t body = std::min(kCountCap, work + l.texture);
            const bool known = l.passes > 0;
            const std::uint64_t unrolled = known && (unrollsEveryLoop || body <= kUnrolledSlots / l.passes) ? l.passes : 1;
            const std::uint64_t driver = known && body <= kDriverUnrolledSlots / l.passes ? l.passes : 1;
            const std::size_t outer = loops.size();
            add(arithmetic(outer), times(work, unrolled) + (unrolled == 1 ? 1 : 0)); // loop ... endloop
            add(arithmetic(outer), times(l.picks, driver));
            add(texture(outer), times(l.texture, unrolled));
            if (outer > 0) add(loops.back().picks, times(l.picks, driver));
        }
        branching.resize(std::min(branching.size(), from));
        switches.resize(std::min(switches.size(), from));
        merges.resize(std::min(merges.size(), from));
    };
    const auto switchDepth = [&] { return std::uint32_t(std::count(switches.begin(), switches.end(), true)); };
    std::uint32_t glsl = 0, label = 0;
    const auto components = [&](std::uint32_t type) {
        const auto t = types.find(type);
        return t == types.end() ? 1u : t->second.components;
    };
    const auto levelOf = [&](std::uint32_t id) {
        const auto l = levels.find(id);
        return l == levels.end() ? 0u : l->second;
    };
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        at += words;
        const std::uint32_t depth = std::uint32_t(loops.size());
        // The loop a value changes in: the innermost of its operands', its
        // own where it is a loop's value or read from a variable.
        std::uint32_t level = depth;
        if (words >= 4 && (op == kOpLoad || op == kOpAccessChain || op == kOpInBoundsAccessChain || op == kOpPhi ||
                           op == kOpSelect || Folds(op) || (op >= kOpImageSampleFirst && op <= kOpImageDrefGather) ||
                           (op >= kOpIAdd && op <= kOpFwidthCoarse))) {
            level = 0;
            for (std::uint32_t k = op == kOpExtInst ? 5 : 3; k < words; ++k) level = std::max(level, levelOf(w[k]));
            if (op == kOpLoad && memory.count(w[3])) level = depth;
            if (op == kOpPhi) level = passes.IsHeader(label) ? depth + 1 : depth;
            level = std::min(level, depth + (op == kOpPhi ? 1 : 0));
            if (level > 0) levels[w[2]] = level;
            level = std::min(level, depth);
        }
        if (op == kOpVariable && words >= 4 && (w[3] == kStorageFunction || w[3] == kStoragePrivate))
            memory.insert(w[2]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 4) {
            if (memory.count(w[3])) memory.insert(w[2]);
            // An element of an array of temporaries picked at run time.
            const auto picked = pickedArrays.find(w[3]);
            if (words >= 5 && picked != pickedArrays.end() && !folded.count(w[4])) {
                // A comparison and a select a register.
                add(arithmetic(level), 2 * picked->second);
                if (level > 0) add(loops[level - 1].picks, 2 * picked->second);
            }
            continue;
        }
        // An operation on literals alone takes no slot of the program.
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
                branching.push_back({op == kOpLoopMerge || (words >= 3 && (w[2] & kSelectionDontFlatten) != 0), 0,
                                     op == kOpLoopMerge});
            }
            if (op == kOpLoopMerge) {
                loops.push_back({passes.Of(label).passes, 0, 0, 0});
                size.loopNesting = std::max(size.loopNesting, std::uint32_t(loops.size()));
            }
            continue;
        case kOpLabel:
            // The block a construct merges at ends it, and every construct
            // opened within it.
            if (words >= 2) {
                label = w[1];
                const auto open = std::find(merges.begin(), merges.end(), w[1]);
                if (open != merges.end()) close(std::size_t(open - merges.begin()));
                // A loop's header: unrolled, its counter is a literal in
                // each pass.
                const LoopPasses::Loop known = passes.Of(label);
                if (known.passes > 0) folded.insert(known.counter);
            }
            continue;
        case kOpFunctionEnd:
            close(0);
            continue;
        case kOpBranchConditional:
            // One on a literal (an unrolled loop's test) is gone once the
            // compiler folds it.
            if (words >= 2 && folded.count(w[1])) continue;
            add(arithmetic(depth), 1);
            continue;
        case kOpKill:
        case kOpTerminateInvocation:
        case kOpDemoteToHelperInvocation:
        case kOpFunctionCall: add(arithmetic(depth), 1); continue;
        case kOpSwitch:
            // D3D9 has no `switch`: each case is an `if` of its own, with
            // its `else` and `endif`.
            if (words >= 3) add(arithmetic(depth), std::max<std::uint64_t>(1, (words - 3) / 2 * 3));
            // The construct its merge opened.
            if (!switches.empty()) {
                switches.back() = true;
                branching.back().kept = true;
                size.switchNesting = std::max(size.switchNesting, switchDepth());
            }
            continue;
        case kOpExtInst:
            add(arithmetic(level), words >= 5 && w[3] == glsl ? SlotsOf(w[4]) : 1);
            continue;
        default: break;
        }
        if (op >= kOpImageSampleFirst && op <= kOpImageDrefGather) {
            add(texture(level), 1);
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
            add(arithmetic(level), components(w[1]));
            continue;
        }
        add(arithmetic(level), 1);
    }
    close(0); // a module cut short of its last function's end
    while (!loops.empty()) { // constructs never closed
        add(size.arithmeticSlots, loops.back().arithmetic);
        add(size.textureSlots, loops.back().texture);
        loops.pop_back();
    }
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

// Where a loop first nests deeper than `limit` in `source`: the start of its
// line; 0 when the text does not show it (loops of macros, or of functions
// called in a loop).
std::size_t NestedLoopAt(std::string_view source, std::uint32_t limit) {
    const auto ident = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    const auto space = [&](std::size_t i) {
        while (i < source.size() && std::isspace(static_cast<unsigned char>(source[i]))) ++i;
        return i;
    };
    std::vector<std::uint32_t> blocks; // the brace depth of each open loop's block
    std::uint32_t depth = 0, unbraced = 0; // loops whose body is the next loop, without braces
    char last = 0;                         // the last character that is not space
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '{') ++depth;
        else if (c == '}') {
            while (!blocks.empty() && blocks.back() == depth) blocks.pop_back();
            if (depth > 0) --depth;
        } else if (c == ';') {
            unbraced = 0;
        }
        if (!ident(c) || (i > 0 && ident(source[i - 1]))) {
            if (!std::isspace(static_cast<unsigned char>(c))) last = c;
            continue;
        }
        std::size_t end = i;
        while (end < source.size() && ident(source[end])) ++end;
        const std::string_view word = source.substr(i, end - i);
        // `while` after a block closes a `do`'s.
        const bool loop = word == "for" || word == "do" || (word == "while" && last != '}');
        last = 'a';
        if (!loop) {
            i = end - 1;
            continue;
        }
        std::size_t body = space(end);
        if (word != "do" && body < source.size() && source[body] == '(') {
            int parens = 0;
            for (; body < source.size(); ++body) {
                if (source[body] == '(') ++parens;
                else if (source[body] == ')' && --parens == 0) break;
            }
            body = space(body + 1);
        }
        if (blocks.size() + unbraced + 1 > limit) {
            std::size_t start = source.rfind('\n', i);
            start = start == std::string_view::npos ? 0 : start + 1;
            return space(start);
        }
        if (body < source.size() && source[body] == '{') {
            // Loops without braces around this one end with its block.
            blocks.insert(blocks.end(), unbraced + 1, depth + 1);
            unbraced = 0;
        } else {
            ++unbraced;
        }
        i = body > i ? body - 1 : i;
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
    // None where the module cannot be walked: the passes after say why.
    std::vector<RunTimeArray> arrays;
    if (!RunTimeIndexedArrays(spirv, arrays)) arrays.clear();
    if (!LocalArraysFitTemporaries(arrays, limits.temporaries, source, at, error)) {
        error += profile;
        return false;
    }
    // An array of literals read at a run-time index is constant registers
    // of its own, beside the program's constants.
    {
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
    // Where a profile has no loops, the D3D9 compiler unrolls every one.
    const bool loopless = vertex ? major < 2 : major < 3 && !(major == 2 && minor == 1);
    if (!EstimateHlslProgramSize(spirv, loopless, arrays, size)) return true;
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
    if (limits.loopNesting && size.loopNesting > limits.loopNesting) {
        at = NestedLoopAt(source, limits.loopNesting);
        error = "loops nested " + std::to_string(size.loopNesting) + " deep; the profile nests " +
                std::to_string(limits.loopNesting) + " deep" + profile;
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

bool ConstantsFitProfile(const std::vector<HlslGlobal>& globals, bool vertex, std::uint32_t major,
                         std::uint32_t minor, const char* profileText, std::size_t& at, std::string& error) {
    const HlslProfileLimits limits = HlslLimitsOf(vertex, major, minor);
    if (limits.floatConstants == 0) return true;
    // Boolean and integer stand-ins read their own files.
    const HlslGlobal* past = nullptr;
    std::uint32_t end = 0;
    for (const HlslGlobal& g : globals) {
        if (g.effectOnly || g.unused || g.shadow || g.registerSet != hlsl::kSetFloat || g.registerCount == 0) continue;
        const std::uint32_t last = std::uint32_t(g.registerIndex) + g.registerCount;
        if (last > end) {
            end = last;
            past = &g;
        }
    }
    if (end <= limits.floatConstants || !past) return true;
    at = past->nameAt;
    error = "the constant '" + past->name + "' takes float constant registers up to c" + std::to_string(end - 1) +
            "; the profile has " + std::to_string(limits.floatConstants) + " float constant registers (" +
            (profileText ? profileText : "") + ")";
    return false;
}

} // namespace gfx
