#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <spirv-tools/optimizer.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace gfx {
namespace {

using namespace spirv;

// The instructions of a module, each by where it starts: a walk that stops at
// an instruction running past the end.
bool Instructions(const std::vector<std::uint32_t>& spirv, std::vector<std::size_t>& starts) {
    starts.clear();
    if (spirv.size() < kHeaderWords) return false;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        starts.push_back(at);
        at += words;
    }
    return true;
}

using spirv::LiteralString;

// Whether an access chain of the module picks by an index that is not a
// 32-bit constant: what the passes of dynamic indices act on, which most
// programs have none of.
bool AnyChainByAComputedIndex(const std::vector<std::uint32_t>& spirv, const std::vector<std::size_t>& starts) {
    const std::uint32_t bound = spirv[3];
    std::vector<bool> constant(bound, false);
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpConstant && words == 4 && w[2] < bound) constant[w[2]] = true;
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 5)
            for (std::uint32_t k = 4; k < words; ++k)
                if (w[k] >= bound || !constant[w[k]]) return true;
    }
    return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The loops of the module (where each one's OpLoopMerge stands) to unroll
// whole: those not written `[loop]` whose header compares a counter a phi
// starts at an integer literal with another literal, at most 1024 passes
// apart, while the words all of them make unrolled stay within a bound
// (nested ones multiply): none past it.
std::set<std::size_t> LoopsToUnroll(const std::vector<std::uint32_t>& spirv, const std::vector<std::size_t>& starts) {
    constexpr std::uint32_t kOpPhi = 245, kOpLoopMerge = 246, kOpBranchConditional = 250, kOpIEqual = 170,
                            kOpSLessThanEqual = 179, kLoopDontUnroll = 0x2;
    constexpr std::int64_t kMaxPasses = 1024;
    constexpr std::uint64_t kMaxWords = std::uint64_t(1) << 20;
    constexpr std::size_t kMaxLoops = 4096; // far past any program's; their nesting is weighed pair by pair
    std::map<std::uint32_t, bool> intTypes; // id: signed
    std::map<std::uint32_t, std::int64_t> literals;
    std::map<std::uint32_t, std::size_t> labels; // id: its index in `starts`
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::uint32_t* w = &spirv[starts[i]];
        const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
        if (op == kOpTypeInt && words == 4 && w[2] == 32) intTypes[w[1]] = w[3] == 1;
        if (op == kOpConstant && words == 4 && intTypes.count(w[1]))
            literals[w[2]] = intTypes[w[1]] ? std::int64_t(std::int32_t(w[3])) : std::int64_t(w[3]);
        if (op == kOpLabel && words == 2) labels[w[1]] = i;
    }
    struct Loop {
        std::size_t merge, header, end; // indices into `starts`: the merge instruction, the header's label, the merge label
        std::uint64_t passes;
    };
    std::vector<Loop> loops;
    std::size_t header = 0;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::uint32_t* w = &spirv[starts[i]];
        const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
        if (op == kOpLabel) header = i;
        if (op != kOpLoopMerge || words < 4 || (w[3] & kLoopDontUnroll) || i + 1 >= starts.size()) continue;
        const std::uint32_t* branch = &spirv[starts[i + 1]];
        const auto end = labels.find(w[1]);
        if (Opcode(branch[0]) != kOpBranchConditional || WordCount(branch[0]) < 4 || end == labels.end() ||
            end->second <= i)
            continue;
        // The comparison the header branches on, and its two sides.
        std::int64_t sides[2] = {0, 0};
        int known = 0;
        for (std::size_t k = header; k < i && known == 0; ++k) {
            const std::uint32_t* c = &spirv[starts[k]];
            if (Opcode(c[0]) < kOpIEqual || Opcode(c[0]) > kOpSLessThanEqual || WordCount(c[0]) != 5 || c[2] != branch[1])
                continue;
            for (int side = 0; side < 2; ++side) {
                const std::uint32_t id = c[3 + side];
                if (const auto literal = literals.find(id); literal != literals.end()) {
                    sides[side] = literal->second;
                    ++known;
                    continue;
                }
                // The counter: a phi of the header with a literal coming in.
                for (std::size_t p = header; p < i; ++p) {
                    const std::uint32_t* phi = &spirv[starts[p]];
                    if (Opcode(phi[0]) != kOpPhi || phi[2] != id) continue;
                    for (std::uint32_t v = 3; v + 1 < WordCount(phi[0]); v += 2)
                        if (const auto start = literals.find(phi[v]); start != literals.end()) {
                            sides[side] = start->second;
                            ++known;
                            break;
                        }
                    break;
                }
            }
            if (known != 2) known = -1;
        }
        const std::int64_t apart = sides[0] > sides[1] ? sides[0] - sides[1] : sides[1] - sides[0];
        if (known == 2 && apart <= kMaxPasses) loops.push_back({i, header, end->second, std::uint64_t(apart) + 1});
    }
    // The words each loop's span makes, times the passes of it and of every
    // loop around it: more than unrolling makes, never less.
    std::set<std::size_t> out;
    if (loops.size() > kMaxLoops) return out;
    std::vector<std::uint64_t> before(starts.size() + 1, 0); // words before each instruction
    for (std::size_t k = 0; k < starts.size(); ++k) before[k + 1] = before[k] + WordCount(spirv[starts[k]]);
    std::uint64_t total = 0;
    for (const Loop& l : loops) {
        std::uint64_t times = l.passes;
        for (const Loop& around : loops)
            if (&around != &l && around.header < l.header && l.header < around.end)
                times = std::min(kMaxWords + 1, times * around.passes);
        const std::uint64_t words = before[l.end] - before[l.header];
        total = std::min(kMaxWords + 1, total + std::min(kMaxWords + 1, times * words));
        out.insert(starts[l.merge]);
    }
    if (total > kMaxWords) out.clear();
    return out;
}

} // namespace

namespace {

// `in` through an optimiser of the passes `passes` registers, into `out`;
// false, `out` as it was, where the optimiser refuses the module.
bool Optimise(const std::vector<std::uint32_t>& in, std::vector<std::uint32_t>& out,
              const std::function<void(spvtools::Optimizer&)>& passes) {
    spvtools::Optimizer optimizer(SPV_ENV_UNIVERSAL_1_0);
    optimizer.SetMessageConsumer([](spv_message_level_t, const char*, const spv_position_t&, const char*) {});
    passes(optimizer);
    spvtools::OptimizerOptions options;
    options.set_run_validator(false); // glslang's module is the front end's to vouch for
    std::vector<std::uint32_t> made;
    if (!optimizer.Run(in.data(), in.size(), &made, options)) return false;
    out = std::move(made);
    return true;
}

} // namespace

bool UnrollLoopsPickingSamplers(std::vector<std::uint32_t>& spirv) {
    constexpr std::uint32_t kOpTypeVoid = 19, kOpTypeImage = 25, kOpTypeSampler = 26, kOpTypeSampledImage = 27,
                            kOpTypeFunction = 33, kOpFunctionEnd = 56, kOpFunctionCall = 57, kOpLoopMerge = 246,
                            kOpKill = 252, kOpUnreachable = 255;
    constexpr std::uint32_t kLoopUnroll = 0x1;
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    std::set<std::uint32_t> samplerTypes, samplerArrays, arrayPointers, samplerArrayVariables, constants;
    bool computed = false;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeImage || op == kOpTypeSampler || op == kOpTypeSampledImage) && words >= 2) samplerTypes.insert(w[1]);
        if (op == kOpTypeArray && words >= 4 && samplerTypes.count(w[2])) samplerArrays.insert(w[1]);
        if (op == kOpTypePointer && words == 4 && samplerArrays.count(w[3])) arrayPointers.insert(w[1]);
        if (op == kOpVariable && words >= 4 && arrayPointers.count(w[1])) samplerArrayVariables.insert(w[2]);
        if ((op == kOpConstant || op == kOpConstantNull) && words >= 3) constants.insert(w[2]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 5 && samplerArrayVariables.count(w[3]) &&
            !constants.count(w[4]))
            computed = true;
    }
    if (!computed) return true;
    // Every loop the source leaves to the compiler whose passes its header
    // shows is marked to be unrolled (the unroller takes only those so
    // marked), up to the D3D9 compiler's own bound of 1024 passes, and only
    // while what unrolling them all makes stays a program's size.
    const std::set<std::size_t> unrolling = LoopsToUnroll(spirv, starts);
    if (unrolling.empty()) return true;
    // The unroller takes no loop that holds a `discard`: each is made a call
    // of a function that discards, inlined again after.
    std::uint32_t voidType = 0, voidFunction = 0, bound = spirv[3];
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (op == kOpTypeVoid && words == 2) voidType = spirv[at + 1];
        if (op == kOpTypeFunction && words == 3 && voidType && spirv[at + 2] == voidType) voidFunction = spirv[at + 1];
    }
    const std::uint32_t discard = bound;
    std::vector<std::uint32_t> marked(spirv.begin(), spirv.begin() + kHeaderWords);
    marked.reserve(spirv.size() + 16);
    bool any = false, killed = false;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (op == kOpKill && words == 1 && voidFunction && bound + 3 < 0x400000) {
            if (!killed) bound += 2; // the function and its block
            killed = true;
            marked.insert(marked.end(), {FirstWord(4u, kOpFunctionCall), voidType, bound++, discard, FirstWord(1u, kOpUnreachable)});
            continue;
        }
        const std::size_t from = marked.size();
        marked.insert(marked.end(), spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
        if (op == kOpLoopMerge && words >= 4 && unrolling.count(at)) {
            marked[from + 3] |= kLoopUnroll;
            any = true;
        }
    }
    if (!any) return true;
    if (killed)
        marked.insert(marked.end(), {FirstWord(5u, kOpFunction), voidType, discard, 0u, voidFunction,
                                     FirstWord(2u, kOpLabel), discard + 1, FirstWord(1u, kOpKill), FirstWord(1u, kOpFunctionEnd)});
    marked[3] = bound;
    // Unrolled, the passes' indices are literals: what they pick is folded
    // as the D3D9 compiler folds it, the `static const` values the program
    // compares with among it (the front end keeps those as variables).
    return Optimise(marked, spirv, [](spvtools::Optimizer& optimizer) {
        optimizer.RegisterPass(spvtools::CreateLoopUnrollPass(true))
            .RegisterPass(spvtools::CreateInlineExhaustivePass())
            .RegisterPass(spvtools::CreateEliminateDeadFunctionsPass())
            .RegisterPass(spvtools::CreatePrivateToLocalPass());
        // Twice: an index folded in the first round splits the local array
        // it picks from in the second.
        for (int round = 0; round < 2; ++round)
            optimizer.RegisterPass(spvtools::CreateScalarReplacementPass())
                .RegisterPass(spvtools::CreateLocalAccessChainConvertPass())
                .RegisterPass(spvtools::CreateLocalSingleBlockLoadStoreElimPass())
                .RegisterPass(spvtools::CreateLocalSingleStoreElimPass())
                .RegisterPass(spvtools::CreateLocalMultiStoreElimPass())
                .RegisterPass(spvtools::CreateCCPPass())
                .RegisterPass(spvtools::CreateSimplificationPass())
                .RegisterPass(spvtools::CreateDeadBranchElimPass())
                .RegisterPass(spvtools::CreateBlockMergePass())
                .RegisterPass(spvtools::CreateAggressiveDCEPass())
                .RegisterPass(spvtools::CreateCFGCleanupPass());
    });
}

namespace {

// Whether the module glslang made is straight code: every function one
// block, with no branch, loop, kill or phi in it. The passes that take
// branches apart, merge returns, convert ifs and clean the flow graph
// leave such a module as it is, and inlining and the rest keep it so.
bool StraightCode(const std::vector<std::uint32_t>& spirv) {
    constexpr std::uint32_t kOpFunctionEnd = 56, kOpLoopMerge = 246, kOpSelectionMerge = 247, kOpBranch = 249,
                            kOpBranchConditional = 250, kOpSwitch = 251, kOpKill = 252, kOpUnreachable = 255,
                            kOpTerminateInvocation = 4416;
    if (spirv.size() < kHeaderWords) return false;
    bool inFunction = false;
    int blocks = 0;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        switch (op) {
        case kOpFunction:
            inFunction = true;
            blocks = 0;
            break;
        case kOpLabel:
            if (!inFunction || ++blocks > 1) return false;
            break;
        case kOpFunctionEnd: inFunction = false; break;
        case kOpPhi:
        case kOpLoopMerge:
        case kOpSelectionMerge:
        case kOpBranch:
        case kOpBranchConditional:
        case kOpSwitch:
        case kOpKill:
        case kOpUnreachable:
        case kOpTerminateInvocation: return false;
        default: break;
        }
        at += words;
    }
    return true;
}

using PassMaker = spvtools::Optimizer::PassToken (*)();

// Whether word `k` of a function body's instruction of opcode `op`, one
// with a result, is an operand naming an id: past the result's type and id,
// and not one of the literals among them (an image operation's operand
// mask, above IdWord's).
bool OperandId(std::uint32_t op, std::uint32_t k) {
    constexpr std::uint32_t kOpImageSampleImplicitLod = 87, kOpImageWrite = 99;
    if (k < 3) return false;
    if (op >= kOpImageSampleImplicitLod && op < kOpImageWrite) {
        // The mask follows the image and the coordinate, and the reference
        // value or the component where there is one.
        constexpr std::uint32_t kMaskAt[] = {5, 5, 6, 6, 5, 5, 6, 6, 5, 6, 6, 5};
        return k != kMaskAt[op - kOpImageSampleImplicitLod];
    }
    return IdWord(op, k);
}

// Whether the legalisation's passes after its first dead-code round would
// leave a module of straight code as it is. They act on what that round
// leaves of local variables (the SSA rewrite), of inserts into composites
// (the insert elimination), of interpolation at an offset (its fix-up) and
// of vectors none of whose components anything reads (the vector DCE, which
// makes such a vector undefined). With none of those the rest change
// nothing: the simplification had reached a fixed point and only dead code
// went since, which the later dead-code rounds find none of. The vector
// DCE's reading of live components is done here as it does it, wider where
// unsure (every instruction with a result taken as free of side effects and
// as working component by component), so that a doubt runs the passes.
bool TailLeavesItAsItIs(const std::vector<std::uint32_t>& spirv) {
    constexpr std::uint32_t kOpFunctionEnd = 56, kOpReturn = 253, kOpReturnValue = 254, kOpNoLine = 317,
                            kOpImageWrite = 99, kOpCopyMemory = 63, kOpCopyMemorySized = 64, kOpEmitVertex = 218,
                            kOpEndPrimitive = 219, kOpControlBarrier = 224, kOpMemoryBarrier = 225,
                            kOpAtomicStore = 228, kOpLine = 8;
    constexpr std::uint32_t kInterpolateAtCentroid = 76, kInterpolateAtOffset = 78;
    // A function body's instructions without a result; the others have a
    // type and an id.
    const auto hasResult = [](std::uint32_t op) {
        return !(op == kOpStore || op == kOpReturn || op == kOpReturnValue || op == kOpLine || op == kOpNoLine ||
                 op == kOpImageWrite || op == kOpCopyMemory || op == kOpCopyMemorySized || op == kOpEmitVertex ||
                 op == kOpEndPrimitive || op == kOpControlBarrier || op == kOpMemoryBarrier || op == kOpAtomicStore);
    };
    if (spirv.size() < kHeaderWords || spirv[3] > (1u << 22)) return false;
    const std::uint32_t bound = spirv[3];
    // Of each type, its components where it is a scalar (1) or a vector; of
    // each id made in a function, its type and where it is made.
    std::vector<std::uint8_t> typeComponents(bound, 0);
    std::vector<std::uint32_t> typeOf(bound, 0);
    std::vector<std::size_t> madeAt(bound, 0);
    std::vector<std::size_t> body;
    bool inFunction = false;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeBool || op == kOpTypeInt || op == kOpTypeFloat) && words >= 2 && w[1] < bound)
            typeComponents[w[1]] = 1;
        if (op == kOpTypeVector && words == 4 && w[1] < bound) typeComponents[w[1]] = std::uint8_t(std::min(w[3], 16u));
        if (op == kOpFunction) inFunction = true;
        else if (op == kOpFunctionEnd) inFunction = false;
        else if (inFunction && op != kOpLabel && op != kOpFunctionParameter) {
            if (op == kOpCompositeInsert || op == kOpPhi) return false;
            if (op == kOpVariable && words >= 4 && w[3] == kStorageFunction) return false;
            if (op == kOpExtInst && words >= 5 && w[4] >= kInterpolateAtCentroid && w[4] <= kInterpolateAtOffset)
                return false;
            body.push_back(at);
            if (hasResult(op)) {
                if (words < 3 || w[2] >= bound || w[1] >= bound) return false;
                typeOf[w[2]] = w[1];
                madeAt[w[2]] = at;
            }
        }
        at += words;
    }
    // Live components by id; a set once found (the empty set too) has its bit 31.
    constexpr std::uint32_t kFound = 1u << 31;
    std::vector<std::uint32_t> live(bound, 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> work;
    const auto components = [&](std::uint32_t id) { return id < bound ? typeComponents[typeOf[id]] : 0; };
    const auto add = [&](std::uint32_t id, std::uint32_t mask) {
        // Made outside the functions, never rewritten; or neither a scalar
        // nor a vector, whose components are not followed.
        if (id >= bound || madeAt[id] == 0 || components(id) == 0) return;
        if ((live[id] & kFound) && (live[id] | mask) == live[id]) return;
        live[id] |= kFound | mask;
        work.emplace_back(id, mask);
    };
    // Every operand of an instruction live in the components `mask` (all of a
    // vector's, the one of a scalar).
    const auto useAll = [&](std::size_t at, std::uint32_t mask, bool result) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        for (std::uint32_t k = result ? 3 : 1; k < words; ++k) {
            if (!(result ? OperandId(op, k) : IdWord(op, k))) continue;
            const std::uint32_t id = spirv[at + k];
            add(id, components(id) == 1 ? 1 : mask);
        }
    };
    // What needs its operands whole: an instruction without a scalar or
    // vector result.
    for (const std::size_t at : body) {
        const bool result = hasResult(Opcode(spirv[at]));
        if (!result || components(spirv[at + 2]) == 0) useAll(at, 0xFFFFu, result);
    }
    for (std::size_t i = 0; i < work.size(); ++i) {
        const auto [id, mask] = work[i];
        const std::size_t at = madeAt[id];
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpCompositeExtract && words >= 5) {
            add(w[3], w[4] < 16 ? 1u << w[4] : 0);
        } else if (op == kOpVectorShuffle && words >= 5) {
            const std::uint32_t first = components(w[3]);
            std::uint32_t a = 0, b = 0;
            for (std::uint32_t c = 0; c + 5 < words && c < 16; ++c) {
                if (!(mask & (1u << c)) || w[5 + c] == 0xFFFFFFFFu) continue;
                if (w[5 + c] < first) a |= 1u << w[5 + c];
                else if (w[5 + c] - first < 16) b |= 1u << (w[5 + c] - first);
            }
            add(w[3], a);
            add(w[4], b);
        } else if (op == kOpCompositeConstruct) {
            std::uint32_t c = 0;
            for (std::uint32_t k = 3; k < words; ++k) {
                const std::uint32_t n = components(w[k]);
                std::uint32_t part = 0;
                for (std::uint32_t j = 0; j < std::max(n, 1u); ++j, ++c)
                    if (c < 16 && (mask & (1u << c))) part |= 1u << j;
                add(w[k], part);
            }
        } else {
            useAll(at, mask, true);
        }
    }
    // A vector or scalar something reads none of the components of.
    for (std::uint32_t id = 0; id < bound; ++id)
        if (live[id] == kFound) return false;
    return true;
}

// Whether the front end's module stores into a component of a local (an
// insert once legalised), picks from a local by a computed index, or
// inserts into a composite itself: the forms whose traces the first
// dead-code round may leave for the passes after it.
bool MayLeaveWorkPastTheFirstRound(const std::vector<std::uint32_t>& spirv) {
    if (spirv.size() < kHeaderWords || spirv[3] > (1u << 22)) return true;
    const std::uint32_t bound = spirv[3];
    // Pointers to scalars, constants, and the locals and parameters a chain
    // may start from.
    std::vector<std::uint8_t> kind(bound, 0);
    enum : std::uint8_t { kScalar = 1, kScalarPointer, kConstant, kLocal, kLocalComponent };
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return true;
        const std::uint32_t* w = &spirv[at];
        if (op == kOpCompositeInsert) return true;
        if (words >= 2 && w[1] < bound && (op == kOpTypeBool || op == kOpTypeInt || op == kOpTypeFloat))
            kind[w[1]] = kScalar;
        if (op == kOpTypePointer && words == 4 && w[1] < bound && w[3] < bound && kind[w[3]] == kScalar)
            kind[w[1]] = kScalarPointer;
        if ((op == kOpConstant || op == kOpConstantNull) && words >= 3 && w[2] < bound) kind[w[2]] = kConstant;
        if (((op == kOpVariable && words >= 4 && w[3] == kStorageFunction) || (op == kOpFunctionParameter && words >= 3)) &&
            w[2] < bound)
            kind[w[2]] = kLocal;
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 4 && w[3] < bound && kind[w[3]] == kLocal) {
            for (std::uint32_t k = 4; k < words; ++k)
                if (w[k] >= bound || kind[w[k]] != kConstant) return true;
            if (w[1] < bound && kind[w[1]] == kScalarPointer && w[2] < bound) kind[w[2]] = kLocalComponent;
        }
        if (op == kOpStore && words >= 3 && w[1] < bound && kind[w[1]] == kLocalComponent) return true;
        at += words;
    }
    return false;
}

} // namespace

bool LegaliseHlslSpirv(std::vector<std::uint32_t>& spirv) {
    using namespace spvtools;
    // glslang's legalisation of HLSL, pass for pass. On straight code the
    // passes of branches, returns and the flow graph are left out: they
    // would leave it as it is.
    const bool straight = StraightCode(spirv);
    static constexpr PassMaker kPasses[] = {
        [] { return CreateWrapOpKillPass(); }, [] { return CreateDeadBranchElimPass(); },
        [] { return CreateMergeReturnPass(); }, [] { return CreateInlineExhaustivePass(); },
        [] { return CreateEliminateDeadFunctionsPass(); }, [] { return CreateScalarReplacementPass(); },
        [] { return CreateLocalAccessChainConvertPass(); }, [] { return CreateLocalSingleBlockLoadStoreElimPass(); },
        [] { return CreateLocalSingleStoreElimPass(); }, [] { return CreateSimplificationPass(); },
        [] { return CreateAggressiveDCEPass(); }, [] { return CreateVectorDCEPass(); },
        [] { return CreateDeadInsertElimPass(); }, [] { return CreateAggressiveDCEPass(); },
        [] { return CreateDeadBranchElimPass(); }, [] { return CreateBlockMergePass(); },
        [] { return CreateLocalMultiStoreElimPass(); }, [] { return CreateIfConversionPass(); },
        [] { return CreateSimplificationPass(); }, [] { return CreateAggressiveDCEPass(); },
        [] { return CreateVectorDCEPass(); }, [] { return CreateDeadInsertElimPass(); },
        [] { return CreateInterpolateFixupPass(); }, [] { return CreateAggressiveDCEPass(); },
        [] { return CreateCFGCleanupPass(); }};
    // The passes a straight module does without, by their place above.
    static constexpr bool kFlowOnly[std::size(kPasses)] = {true,  true,  true,  false, false, false, false,
                                                           false, false, false, false, false, false, false,
                                                           true,  false, false, true,  false, false, false,
                                                           false, false, false, true};
    // Where the optimiser refuses the module, it stays as the front end
    // made it, as glslang leaves it.
    const auto run = [&](const std::vector<std::uint32_t>& in, std::size_t passes, std::vector<std::uint32_t>& out) {
        return Optimise(in, out, [&](spvtools::Optimizer& optimizer) {
            for (std::size_t k = 0; k < passes; ++k)
                if (!straight || !kFlowOnly[k]) optimizer.RegisterPass(kPasses[k]());
        });
    };
    if (!straight || MayLeaveWorkPastTheFirstRound(spirv)) return run(spirv, std::size(kPasses), spirv);
    // Other straight code stops after the first dead-code round where what
    // follows would leave it as it is. Where it would not, the passes run
    // again, all in one optimiser as glslang runs them: a second optimiser
    // for the rest would count the module's ids afresh and number what it
    // makes otherwise.
    constexpr std::size_t kFirstDeadCodeRound = 10;
    static_assert(kFirstDeadCodeRound < std::size(kPasses));
    std::vector<std::uint32_t> head;
    if (!run(spirv, kFirstDeadCodeRound + 1, head)) return false;
    if (!TailLeavesItAsItIs(head)) return run(spirv, std::size(kPasses), spirv);
    spirv = std::move(head);
    return true;
}

bool ReadPixelPositionAsInput(std::vector<std::uint32_t>& spirv) {
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    std::map<std::uint32_t, std::size_t> fragCoord; // variable: its BuiltIn decoration
    std::map<std::uint32_t, std::string> semantic;
    std::map<std::uint32_t, std::vector<std::uint32_t>> types; // vector and pointer types by id
    std::map<std::uint32_t, std::uint32_t> inputs;              // input variable: its pointer type
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpDecorate && words == 4 && w[2] == kDecorationBuiltIn && w[3] == kBuiltInFragCoord)
            fragCoord[w[1]] = at;
        if (op == kOpDecorateString && words >= 4 && w[2] == kDecorationUserSemantic)
            semantic[w[1]] = LiteralString(spirv, at + 3, at + words);
        if ((op == kOpTypeVector || op == kOpTypePointer) && words == 4) types[w[1]].assign(w, w + words);
        if (op == kOpVariable && words >= 4 && w[3] == kStorageInput) inputs[w[2]] = w[1];
    }
    auto components = [&](std::uint32_t variable) -> std::uint32_t {
        const auto pointer = types.find(inputs[variable]);
        if (pointer == types.end() || Opcode(pointer->second[0]) != kOpTypePointer) return 0;
        const auto vector = types.find(pointer->second[3]);
        return vector == types.end() || Opcode(vector->second[0]) != kOpTypeVector ? 1 : vector->second[3];
    };
    std::set<std::size_t> drop;
    for (const auto& [variable, at] : fragCoord) {
        if (!inputs.count(variable)) continue;
        const std::string& name = semantic[variable];
        // SV_Position as a vec4 is GL's own position, which the caller maps.
        if (EqualNoCase(name, "VPOS") || (EqualNoCase(name, "SV_Position") && components(variable) != 4))
            drop.insert(at);
    }
    if (drop.empty()) return true;
    std::vector<std::uint32_t> kept(spirv.begin(), spirv.begin() + kHeaderWords);
    for (const std::size_t at : starts)
        if (!drop.count(at)) kept.insert(kept.end(), spirv.begin() + std::ptrdiff_t(at),
                                         spirv.begin() + std::ptrdiff_t(at + WordCount(spirv[at])));
    spirv = std::move(kept);
    return true;
}

bool ExtractDynamicConstantComponents(std::vector<std::uint32_t>& spirv) {
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    if (!AnyChainByAComputedIndex(spirv, starts)) return true;
    std::map<std::uint32_t, std::vector<std::uint32_t>> types; // type id: its instruction
    std::map<std::uint32_t, std::uint32_t> pointerOf;           // pointer value: its pointer type
    std::set<std::uint32_t> constants;                          // ids of scalar constants
    std::map<std::uint32_t, std::uint32_t> constantValue;       // 32-bit ones: their value
    std::map<std::uint32_t, std::uint32_t> uniformPointers;     // pointee type: Uniform pointer type
    std::size_t firstFunction = 0;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeVector || op == kOpTypeMatrix || op == kOpTypeArray || op == kOpTypeRuntimeArray ||
             op == kOpTypeStruct || op == kOpTypePointer) &&
            words >= 2)
            types[w[1]].assign(w, w + words);
        if (op == kOpTypePointer && words == 4 && w[2] == kStorageUniform) uniformPointers.emplace(w[3], w[1]);
        if (op == kOpConstant && words >= 4) constants.insert(w[2]);
        if (op == kOpConstant && words == 4) constantValue[w[2]] = w[3];
        if ((op == kOpVariable || op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 3)
            pointerOf[w[2]] = w[1];
        if (op == kOpFunction && firstFunction == 0) firstFunction = at;
    }
    auto typeOp = [&](std::uint32_t id) {
        const auto t = types.find(id);
        return t == types.end() ? 0u : Opcode(t->second[0]);
    };
    // The chains into constants whose last index picks a vector's component
    // at a computed place: the chain to the vector in their place.
    struct Chain {
        std::uint32_t vectorPointer = 0, vectorType = 0, index = 0;
        std::vector<std::uint32_t> shorter; // the chain without its last index
    };
    std::map<std::uint32_t, Chain> chains;
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations; // new pointer types, before the first function
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if ((op != kOpAccessChain && op != kOpInBoundsAccessChain) || words < 5) continue;
        const std::uint32_t* w = &spirv[at];
        const auto basePointer = types.find(pointerOf[w[3]]);
        if (basePointer == types.end() || basePointer->second.size() != 4 ||
            Opcode(basePointer->second[0]) != kOpTypePointer || basePointer->second[2] != kStorageUniform)
            continue;
        // The type each index leads to, up to the last: a struct's member
        // by the constant's value, an array's element, a matrix's column.
        std::uint32_t type = basePointer->second[3];
        bool known = true;
        for (std::uint32_t k = 4; k + 1 < words && known; ++k) {
            const auto t = types.find(type);
            if (t == types.end() || t->second.size() < 3) {
                known = false;
            } else if (typeOp(type) == kOpTypeStruct) {
                const auto member = constantValue.find(w[k]);
                known = member != constantValue.end() && 2 + std::size_t(member->second) < t->second.size();
                if (known) type = t->second[2 + member->second];
            } else {
                type = t->second[2];
            }
        }
        if (!known || typeOp(type) != kOpTypeVector || constants.count(w[words - 1])) continue;
        Chain c;
        c.vectorType = type;
        c.index = w[words - 1];
        auto pointer = uniformPointers.find(type);
        if (pointer == uniformPointers.end()) {
            pointer = uniformPointers.emplace(type, bound++).first;
            declarations.insert(declarations.end(), {FirstWord(4u, kOpTypePointer), pointer->second, kStorageUniform, type});
        }
        c.vectorPointer = bound++;
        c.shorter.assign(w, w + words - 1);
        c.shorter[0] = FirstWord(words - 1, op);
        c.shorter[1] = pointer->second;
        c.shorter[2] = c.vectorPointer;
        chains[w[2]] = std::move(c);
    }
    if (chains.empty()) return true;
    // Only chains that are only loaded are read this way. Chains are used
    // in the functions alone; what stands before them (decorations, names)
    // holds numbers that are no ids.
    std::set<std::uint32_t> otherUses;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (at < firstFunction) continue;
        for (std::uint32_t k = 1; k < words; ++k) {
            const std::uint32_t id = spirv[at + k];
            if (!chains.count(id) || !IdWord(op, k)) continue;
            const bool defined = (op == kOpAccessChain || op == kOpInBoundsAccessChain) && k == 2;
            const bool loaded = op == kOpLoad && k == 3;
            if (!defined && !loaded) otherUses.insert(id);
        }
    }
    for (const std::uint32_t id : otherUses) chains.erase(id);
    if (chains.empty()) return true;
    if (firstFunction == 0 || bound + 2 * starts.size() >= 0x400000) return false;
    std::vector<std::uint32_t> out(spirv.begin(), spirv.begin() + kHeaderWords);
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (at == firstFunction) out.insert(out.end(), declarations.begin(), declarations.end());
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && chains.count(w[2])) {
            const Chain& c = chains[w[2]];
            out.insert(out.end(), c.shorter.begin(), c.shorter.end());
            continue;
        }
        if (op == kOpLoad && words >= 4 && chains.count(w[3])) {
            const Chain& c = chains[w[3]];
            const std::uint32_t vector = bound++;
            out.insert(out.end(), {FirstWord(4u, kOpLoad), c.vectorType, vector, c.vectorPointer});
            out.insert(out.end(), {FirstWord(5u, kOpVectorExtractDynamic), w[1], w[2], vector, c.index});
            continue;
        }
        out.insert(out.end(), w, w + words);
    }
    out[3] = bound;
    spirv = std::move(out);
    return true;
}

bool CopyDynamicallyIndexedMatrices(std::vector<std::uint32_t>& spirv) {
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    if (!AnyChainByAComputedIndex(spirv, starts)) return true;
    std::map<std::uint32_t, std::vector<std::uint32_t>> types;
    std::map<std::uint32_t, std::uint32_t> pointerOf, constantValue;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> pointers; // (storage, pointee): pointer type
    std::set<std::pair<std::uint32_t, std::uint32_t>> rowMajor;                 // (struct, member)
    std::size_t firstFunction = 0;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeVector || op == kOpTypeMatrix || op == kOpTypeArray || op == kOpTypeStruct ||
             op == kOpTypePointer) &&
            words >= 2)
            types[w[1]].assign(w, w + words);
        if (op == kOpTypePointer && words == 4) pointers.emplace(std::pair{w[2], w[3]}, w[1]);
        if (op == kOpConstant && words == 4) constantValue[w[2]] = w[3];
        if ((op == kOpVariable || op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 3)
            pointerOf[w[2]] = w[1];
        if (op == kOpMemberDecorate && words == 4 && w[3] == kDecorationRowMajor) rowMajor.insert({w[1], w[2]});
        if (op == kOpFunction && firstFunction == 0) firstFunction = at;
    }
    auto typeOp = [&](std::uint32_t id) {
        const auto t = types.find(id);
        return t == types.end() ? 0u : Opcode(t->second[0]);
    };
    struct Copy {
        std::size_t chainAt = 0;   // the chain replaced
        std::uint32_t matrix = 0;  // the matrix's type
        std::uint32_t indices = 0; // how many of the chain's indices lead to the matrix
    };
    std::map<std::uint32_t, Copy> copies; // by the chain's result
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if ((op != kOpAccessChain && op != kOpInBoundsAccessChain) || words < 5) continue;
        const std::uint32_t* w = &spirv[at];
        const auto base = types.find(pointerOf[w[3]]);
        if (base == types.end() || base->second.size() != 4 || typeOp(base->first) != kOpTypePointer ||
            base->second[2] != kStorageUniform)
            continue;
        std::uint32_t type = base->second[3];
        bool byColumns = false; // the last struct member's packing
        for (std::uint32_t k = 4; k < words; ++k) {
            const auto t = types.find(type);
            if (t == types.end() || t->second.size() < 3) break;
            if (typeOp(type) == kOpTypeStruct) {
                const auto member = constantValue.find(w[k]);
                if (member == constantValue.end() || 2 + std::size_t(member->second) >= t->second.size()) break;
                byColumns = rowMajor.count({type, member->second}) != 0;
                type = t->second[2 + member->second];
                continue;
            }
            if (typeOp(type) == kOpTypeMatrix && byColumns && !constantValue.count(w[k])) {
                copies[w[2]] = {at, type, k - 4};
                break;
            }
            type = t->second[2];
        }
    }
    if (copies.empty()) return true;
    // Only chains that are only loaded are read this way (as above: in the
    // functions, by the words that name ids).
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (at < firstFunction) continue;
        for (std::uint32_t k = 1; k < words; ++k) {
            const auto c = copies.find(spirv[at + k]);
            if (c == copies.end() || !IdWord(op, k)) continue;
            const bool defined = at == c->second.chainAt && k == 2;
            if (!defined && !(op == kOpLoad && k == 3)) copies.erase(c);
        }
    }
    if (copies.empty()) return true;
    if (firstFunction == 0 || spirv[3] + 4 * copies.size() + 8 >= 0x400000) return false;
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations;
    auto pointerTo = [&](std::uint32_t storage, std::uint32_t type) {
        auto it = pointers.find({storage, type});
        if (it != pointers.end()) return it->second;
        const std::uint32_t id = bound++;
        declarations.insert(declarations.end(), {FirstWord(4u, kOpTypePointer), id, storage, type});
        return pointers[{storage, type}] = id;
    };
    // Every pointer type the copies use, declared before the functions.
    for (const auto& [result, copy] : copies) {
        const auto pointee = types.find(spirv[copy.chainAt + 1]);
        if (pointee == types.end() || pointee->second.size() != 4) return false;
        pointerTo(kStorageUniform, copy.matrix);
        pointerTo(kStorageFunction, copy.matrix);
        pointerTo(kStorageFunction, pointee->second[3]);
    }
    // Per chain: the function variable the matrix is copied to, declared
    // at the top of the function it is read in.
    std::map<std::size_t, std::vector<std::uint32_t>> variablesAt; // after the label at
    std::map<std::uint32_t, std::uint32_t> variableOf;              // chain: its variable
    std::size_t label = 0;
    bool firstLabel = false;
    for (const std::size_t at : starts) {
        const std::uint32_t op = Opcode(spirv[at]);
        if (op == kOpFunction) firstLabel = true;
        if (op == kOpLabel && firstLabel) {
            label = at;
            firstLabel = false;
        }
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && copies.count(spirv[at + 2])) {
            if (label == 0) return false;
            const std::uint32_t variable = bound++;
            variableOf[spirv[at + 2]] = variable;
            const std::uint32_t type = pointerTo(kStorageFunction, copies[spirv[at + 2]].matrix);
            variablesAt[label].insert(variablesAt[label].end(), {FirstWord(4u, kOpVariable), type, variable, kStorageFunction});
        }
    }
    std::vector<std::uint32_t> out(spirv.begin(), spirv.begin() + kHeaderWords);
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (at == firstFunction) out.insert(out.end(), declarations.begin(), declarations.end());
        const auto c = (op == kOpAccessChain || op == kOpInBoundsAccessChain) ? copies.find(w[2]) : copies.end();
        if (c == copies.end()) {
            out.insert(out.end(), w, w + words);
            if (const auto v = variablesAt.find(at); v != variablesAt.end())
                out.insert(out.end(), v->second.begin(), v->second.end());
            continue;
        }
        const Copy& copy = c->second;
        const std::uint32_t variable = variableOf[w[2]], chain = bound++, value = bound++;
        // The chain to the matrix, the whole matrix copied, the rest of the chain into the copy.
        out.insert(out.end(), {FirstWord(4u + copy.indices, op), pointerTo(kStorageUniform, copy.matrix), chain, w[3]});
        out.insert(out.end(), w + 4, w + 4 + copy.indices);
        out.insert(out.end(), {FirstWord(4u, kOpLoad), copy.matrix, value, chain});
        out.insert(out.end(), {FirstWord(3u, kOpStore), variable, value});
        out.insert(out.end(), {FirstWord(words - copy.indices, op), pointerTo(kStorageFunction, types[w[1]][3]), w[2],
                               variable});
        out.insert(out.end(), w + 4 + copy.indices, w + words);
    }
    out[3] = bound;
    spirv = std::move(out);
    return true;
}

bool ReadConstantArrayCopiesInPlace(std::vector<std::uint32_t>& spirv) {
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    // A quick look first: most programs hold no local array at all.
    std::map<std::uint32_t, std::vector<std::uint32_t>> types; // id: the type's instruction words
    std::map<std::uint32_t, std::uint32_t> constants;          // int constant id: value
    std::vector<std::size_t> arrays;                           // local variables holding arrays
    std::size_t firstFunction = 0;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op >= kOpTypeBool && op <= kOpTypePointer && words >= 2) types[w[1]].assign(w, w + words);
        if (op == kOpConstant && words == 4) constants[w[2]] = w[3];
        if (op == kOpFunction && firstFunction == 0) firstFunction = at;
        if (op == kOpVariable && words >= 4 && w[3] == kStorageFunction) {
            const auto pointer = types.find(w[1]);
            if (pointer != types.end() && pointer->second.size() == 4 && types.count(pointer->second[3]) &&
                Opcode(types[pointer->second[3]][0]) == kOpTypeArray)
                arrays.push_back(at);
        }
    }
    if (arrays.empty() || firstFunction == 0) return true;
    auto typeOp = [&](std::uint32_t id) {
        const auto t = types.find(id);
        return t == types.end() || t->second.empty() ? 0u : Opcode(t->second[0]);
    };
    // Where each pointer, load and extract is made, and where each id is used.
    std::map<std::uint32_t, std::size_t> made;
    std::map<std::uint32_t, std::vector<std::size_t>> uses;
    for (const std::size_t at : starts) {
        if (at < firstFunction) continue;
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const bool makes = (op == kOpVariable || op == kOpAccessChain || op == kOpInBoundsAccessChain || op == kOpLoad ||
                            op == kOpCompositeExtract) && words >= 3;
        if (makes) made[spirv[at + 2]] = at;
        for (std::uint32_t k = 1; k < words; ++k)
            if (IdWord(op, k) && !(makes && k == 2)) uses[spirv[at + k]].push_back(at);
    }
    for (const std::size_t at : starts)
        if (at < firstFunction && (Opcode(spirv[at]) == kOpAccessChain || Opcode(spirv[at]) == kOpVariable) &&
            WordCount(spirv[at]) >= 3)
            made[spirv[at + 2]] = at;
    auto usesOf = [&](std::uint32_t id) -> const std::vector<std::size_t>& {
        static const std::vector<std::size_t> kNone;
        const auto u = uses.find(id);
        return u == uses.end() ? kNone : u->second;
    };
    auto madeBy = [&](std::uint32_t id, std::uint32_t op) -> std::size_t {
        const auto m = made.find(id);
        return m != made.end() && Opcode(spirv[m->second]) == op ? m->second : 0;
    };

    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations;           // new pointer types, before the first function
    std::map<std::uint32_t, std::uint32_t> uniformPointers; // pointee type: its Uniform pointer type
    for (const auto& [id, words] : types)
        if (Opcode(words[0]) == kOpTypePointer && words.size() == 4 && words[2] == kStorageUniform) uniformPointers[words[3]] = id;
    std::set<std::size_t> dropped;                                   // instructions taken out
    std::map<std::size_t, std::vector<std::uint32_t>> rewritten;     // instructions written anew
    std::set<std::uint32_t> droppedIds;
    for (const std::size_t variableAt : arrays) {
        const std::uint32_t variable = spirv[variableAt + 2];
        const std::vector<std::uint32_t>& array = types[types[spirv[variableAt + 1]][3]];
        const std::uint32_t element = array.size() == 4 ? array[2] : 0;
        const auto length = array.size() == 4 ? constants.find(array[3]) : constants.end();
        // Scalars and vectors only: a matrix kept by rows loses its
        // transposition when SPIRV-Cross flattens a part of it.
        const std::uint32_t elementOp = typeOp(element);
        if (length == constants.end() || length->second == 0 || length->second > hlsl::kMaxRegisters ||
            !(elementOp == kOpTypeFloat || elementOp == kOpTypeInt || elementOp == kOpTypeBool || elementOp == kOpTypeVector))
            continue;
        // Each element stored once, from the same element of one load of the
        // constants; everything else reads through chains.
        std::vector<std::size_t> copyStores(length->second, 0), copyChains(length->second, 0);
        std::vector<std::size_t> reads;
        std::uint32_t loaded = 0;
        bool fits = true;
        for (const std::size_t chainAt : usesOf(variable)) {
            const std::uint32_t op = Opcode(spirv[chainAt]), words = WordCount(spirv[chainAt]);
            if ((op != kOpAccessChain && op != kOpInBoundsAccessChain) || words < 5 || spirv[chainAt + 3] != variable) {
                fits = false;
                break;
            }
            const std::uint32_t chain = spirv[chainAt + 2];
            const std::vector<std::size_t>& chainUses = usesOf(chain);
            const std::size_t storeAt = chainUses.size() == 1 && Opcode(spirv[chainUses[0]]) == kOpStore &&
                                                WordCount(spirv[chainUses[0]]) == 3 && spirv[chainUses[0] + 1] == chain
                                            ? chainUses[0]
                                            : 0;
            if (storeAt != 0) {
                const auto index = constants.find(spirv[chainAt + 4]);
                const std::size_t extractAt = madeBy(spirv[storeAt + 2], kOpCompositeExtract);
                if (words != 5 || index == constants.end() || index->second >= length->second || extractAt == 0 ||
                    WordCount(spirv[extractAt]) != 5 || spirv[extractAt + 4] != index->second ||
                    (loaded != 0 && spirv[extractAt + 3] != loaded) || copyStores[index->second] != 0) {
                    fits = false;
                    break;
                }
                loaded = spirv[extractAt + 3];
                copyStores[index->second] = storeAt;
                copyChains[index->second] = chainAt;
                continue;
            }
            for (const std::size_t useAt : chainUses)
                if (Opcode(spirv[useAt]) != kOpLoad || WordCount(spirv[useAt]) < 4 || spirv[useAt + 3] != chain) fits = false;
            if (!fits) break;
            reads.push_back(chainAt);
        }
        if (!fits || loaded == 0 || std::count(copyStores.begin(), copyStores.end(), 0u) != 0) continue;
        // The load: of a whole array of the same elements out of the
        // constants, at a place every index of which is a literal.
        const std::size_t loadAt = madeBy(loaded, kOpLoad);
        if (loadAt == 0 || WordCount(spirv[loadAt]) < 4) continue;
        const std::uint32_t source = spirv[loadAt + 3];
        const auto sourceMade = made.find(source);
        if (sourceMade == made.end()) continue;
        const std::uint32_t* s = &spirv[sourceMade->second];
        const auto sourcePointer = types.find(s[1]);
        if (sourcePointer == types.end() || sourcePointer->second.size() != 4 || sourcePointer->second[2] != kStorageUniform)
            continue;
        const auto sourceArray = types.find(sourcePointer->second[3]);
        if (sourceArray == types.end() || sourceArray->second.size() != 4 || Opcode(sourceArray->second[0]) != kOpTypeArray ||
            sourceArray->second[2] != element || !constants.count(sourceArray->second[3]) ||
            constants[sourceArray->second[3]] != length->second)
            continue;
        std::vector<std::uint32_t> base{source};
        if (Opcode(s[0]) != kOpVariable) {
            base.assign(s + 3, s + WordCount(s[0]));
            if (!std::all_of(base.begin() + 1, base.end(), [&](std::uint32_t i) { return constants.count(i) != 0; }))
                continue;
        }
        // Each read now reads the constants where the copy came from; a
        // read whose pointer type is not in the module keeps the copy.
        if (!std::all_of(reads.begin(), reads.end(), [&](std::size_t chainAt) {
                const auto pointer = types.find(spirv[chainAt + 1]);
                return pointer != types.end() && pointer->second.size() == 4;
            }))
            continue;
        for (const std::size_t chainAt : reads) {
            const std::uint32_t* w = &spirv[chainAt];
            const auto pointer = types.find(w[1]);
            std::uint32_t& uniformPointer = uniformPointers[pointer->second[3]];
            if (uniformPointer == 0) {
                uniformPointer = bound++;
                declarations.insert(declarations.end(), {FirstWord(4u, kOpTypePointer), uniformPointer, kStorageUniform, pointer->second[3]});
            }
            std::vector<std::uint32_t> chain{0u, uniformPointer, w[2]};
            chain.insert(chain.end(), base.begin(), base.end());
            chain.insert(chain.end(), w + 4, w + WordCount(w[0]));
            chain[0] = FirstWord(std::uint32_t(chain.size()), Opcode(w[0]));
            rewritten[chainAt] = std::move(chain);
        }
        // The copy goes, and what only it used.
        dropped.insert(variableAt);
        droppedIds.insert(variable);
        std::size_t extractsLeft = usesOf(loaded).size();
        for (std::uint32_t e = 0; e < length->second; ++e) {
            dropped.insert(copyStores[e]);
            dropped.insert(copyChains[e]);
            const std::uint32_t value = spirv[copyStores[e] + 2];
            if (usesOf(value).size() == 1) {
                dropped.insert(made[value]);
                --extractsLeft;
            }
        }
        if (extractsLeft == 0) {
            dropped.insert(loadAt);
            if (Opcode(s[0]) != kOpVariable && sourceMade->second >= firstFunction && usesOf(source).size() == 1)
                dropped.insert(sourceMade->second);
        }
    }
    if (dropped.empty()) return true;
    if (bound >= 0x400000) return false;
    std::vector<std::uint32_t> out(spirv.begin(), spirv.begin() + kHeaderWords);
    out.reserve(spirv.size() + declarations.size());
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (at == firstFunction) out.insert(out.end(), declarations.begin(), declarations.end());
        if (dropped.count(at)) continue;
        if ((op == kOpName || op == kOpDecorate) && words >= 2 && droppedIds.count(spirv[at + 1])) continue;
        const auto again = rewritten.find(at);
        if (again != rewritten.end()) out.insert(out.end(), again->second.begin(), again->second.end());
        else out.insert(out.end(), spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
    }
    out[3] = bound;
    spirv = std::move(out);
    return true;
}

bool SplitConstantArrayLoads(std::vector<std::uint32_t>& spirv) {
    if (spirv.size() < kHeaderWords) return false;
    struct Inst {
        std::size_t at, words;
    };
    std::map<std::uint32_t, std::vector<std::uint32_t>> types; // id: the type's instruction words
    std::map<std::uint32_t, std::uint32_t> pointerOf;           // pointer value id: its pointer type id
    std::map<std::uint32_t, std::uint32_t> constants;          // int constant id: value
    std::map<std::uint32_t, std::vector<std::uint32_t>> chains; // access chain id: its base and indices
    std::uint32_t intType = 0;
    std::size_t firstFunction = 0;
    std::vector<Inst> loads;
    std::set<std::uint32_t> takenApart; // values parts are extracted from
    std::vector<std::array<std::uint32_t, 3>> products; // matrix products: result, left, right
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeInt || op == kOpTypeMatrix || op == kOpTypeArray || op == kOpTypeStruct || op == kOpTypePointer) &&
            words >= 2)
            types[w[1]].assign(w, w + words);
        if (op == kOpTypeInt && words == 4 && w[2] == 32 && w[3] == 1) intType = w[1];
        if (op == kOpConstant && words == 4) constants[w[2]] = w[3];
        if ((op == kOpVariable || op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 3)
            pointerOf[w[2]] = w[1];
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 4) chains[w[2]].assign(w + 3, w + words);
        if (op == kOpFunction && firstFunction == 0) firstFunction = at;
        if (op == kOpLoad && words >= 4) loads.push_back({at, words});
        if (op == kOpCompositeExtract && words >= 5) takenApart.insert(w[3]);
        if (op == kOpMatrixTimesMatrix && words == 5) products.push_back({w[2], w[3], w[4]});
        at += words;
    }
    // A product of two matrices kept by rows SPIRV-Cross writes as the
    // product of their stored forms the other way round, transposed, and
    // loses that transposition as the columns of the product are taken
    // apart (a cast to fewer columns read the stored rows): a product taken
    // apart takes its factors apart, which are then loaded column by column.
    for (bool grew = true; grew;) {
        grew = false;
        for (auto it = products.rbegin(); it != products.rend(); ++it)
            if (takenApart.count((*it)[0]))
                for (const std::uint32_t factor : {(*it)[1], (*it)[2]}) grew = takenApart.insert(factor).second || grew;
    }
    auto storage = [&](std::uint32_t pointer) {
        const auto p = pointerOf.find(pointer);
        if (p == pointerOf.end()) return ~0u;
        const auto t = types.find(p->second);
        return t == types.end() || t->second.size() < 4 || Opcode(t->second[0]) != kOpTypePointer ? ~0u : t->second[2];
    };
    std::function<bool(std::uint32_t)> loadedInParts = [&](std::uint32_t type) {
        const auto t = types.find(type);
        if (t == types.end() || t->second.empty()) return false;
        const std::uint32_t op = Opcode(t->second[0]);
        if (op == kOpTypeArray) return true;
        if (op != kOpTypeStruct) return false;
        for (std::size_t m = 2; m < t->second.size(); ++m)
            if (loadedInParts(t->second[m])) return true;
        return false;
    };
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations; // new types and constants, before the first function
    std::map<std::uint32_t, std::uint32_t> uniformPointers, intConstants; // element type / value: id
    for (const auto& [id, words] : types)
        if (Opcode(words[0]) == kOpTypePointer && words.size() == 4 && words[2] == kStorageUniform) uniformPointers[words[3]] = id;
    auto pointerTo = [&](std::uint32_t type) {
        auto it = uniformPointers.find(type);
        if (it != uniformPointers.end()) return it->second;
        const std::uint32_t id = bound++;
        declarations.insert(declarations.end(), {FirstWord(4u, kOpTypePointer), id, kStorageUniform, type});
        return uniformPointers[type] = id;
    };
    auto intConstant = [&](std::uint32_t value) {
        if (intType == 0) {
            intType = bound++;
            declarations.insert(declarations.end(), {FirstWord(4u, kOpTypeInt), intType, 32, 1});
        }
        if (intConstants.empty())
            for (const auto& [id, v] : constants) intConstants.emplace(v, id);
        auto it = intConstants.find(value);
        // Only constants of the int type itself are taken.
        if (it != intConstants.end()) {
            for (std::size_t at = kHeaderWords; at < firstFunction;) {
                const std::uint32_t words = WordCount(spirv[at]);
                if (Opcode(spirv[at]) == kOpConstant && words == 4 && spirv[at + 2] == it->second)
                    if (spirv[at + 1] == intType) return it->second;
                at += words;
            }
        }
        const std::uint32_t id = bound++;
        declarations.insert(declarations.end(), {FirstWord(4u, kOpConstant), intType, id, value});
        intConstants[value] = id;
        return id;
    };
    // The instructions loading `type` from `pointer` element by element; the
    // value's id.
    std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t, std::vector<std::uint32_t>&)> load =
        [&](std::uint32_t type, std::uint32_t pointer, std::uint32_t result, std::vector<std::uint32_t>& out) {
            static const std::vector<std::uint32_t> kNone;
            const auto found = types.find(type);
            const std::vector<std::uint32_t>& t = found == types.end() ? kNone : found->second;
            const bool array = !t.empty() && Opcode(t[0]) == kOpTypeArray;
            const bool matrix = !t.empty() && Opcode(t[0]) == kOpTypeMatrix;
            if ((!loadedInParts(type) && !matrix) || ((array || matrix) && t.size() < 4) ||
                (array && !constants.count(t[3]))) {
                out.insert(out.end(), {FirstWord(4u, kOpLoad), type, result, pointer});
                return result;
            }
            std::vector<std::uint32_t> parts;
            const std::uint32_t count = array ? constants[t[3]] : matrix ? t[3] : std::uint32_t(t.size() - 2);
            for (std::uint32_t e = 0; e < count && e < hlsl::kMaxRegisters; ++e) {
                const std::uint32_t elementType = array || matrix ? t[2] : t[2 + e];
                // From the chain's own base: SPIRV-Cross cannot flatten a
                // chain that stops at an array, even one only built upon.
                const std::uint32_t chain = bound++;
                const auto base = chains.find(pointer);
                std::vector<std::uint32_t> operands =
                    base != chains.end() ? base->second : std::vector<std::uint32_t>{pointer};
                operands.push_back(intConstant(e));
                out.insert(out.end(), {FirstWord(3u + std::uint32_t(operands.size()), kOpAccessChain), pointerTo(elementType), chain});
                out.insert(out.end(), operands.begin(), operands.end());
                chains[chain] = operands;
                parts.push_back(load(elementType, chain, bound++, out));
            }
            out.insert(out.end(), {FirstWord(3u + std::uint32_t(parts.size()), kOpCompositeConstruct), type, result});
            out.insert(out.end(), parts.begin(), parts.end());
            return result;
        };
    std::vector<std::pair<Inst, std::vector<std::uint32_t>>> replacements;
    std::vector<std::uint32_t> splitFrom; // the pointers of the loads split
    for (const Inst& l : loads) {
        const std::uint32_t type = spirv[l.at + 1], result = spirv[l.at + 2], pointer = spirv[l.at + 3];
        const auto t = types.find(type);
        const bool matrix = t != types.end() && Opcode(t->second[0]) == kOpTypeMatrix;
        if (storage(pointer) != kStorageUniform || !(loadedInParts(type) || (matrix && takenApart.count(result)))) continue;
        splitFrom.push_back(pointer);
        std::vector<std::uint32_t> out;
        load(type, pointer, result, out);
        replacements.push_back({l, std::move(out)});
    }
    if (replacements.empty()) return true;
    if (firstFunction == 0 || bound >= 0x400000) return false;
    // From the end, so that earlier places stay put; the declarations last.
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
        spirv.erase(spirv.begin() + std::ptrdiff_t(it->first.at), spirv.begin() + std::ptrdiff_t(it->first.at + it->first.words));
        spirv.insert(spirv.begin() + std::ptrdiff_t(it->first.at), it->second.begin(), it->second.end());
    }
    spirv.insert(spirv.begin() + std::ptrdiff_t(firstFunction), declarations.begin(), declarations.end());
    spirv[3] = bound;
    // The chains that stopped at the arrays, now read by nothing, go too:
    // SPIRV-Cross would still refuse them.
    std::set<std::uint32_t> dead;
    for (const std::uint32_t pointer : splitFrom)
        if (chains.count(pointer)) dead.insert(pointer);
    std::vector<std::uint32_t> kept(spirv.begin(), spirv.begin() + kHeaderWords);
    std::map<std::uint32_t, std::size_t> uses;
    for (std::size_t at = firstFunction + declarations.size(); at < spirv.size(); at += WordCount(spirv[at]))
        for (std::size_t k = at + 1; k < at + WordCount(spirv[at]); ++k)
            if (dead.count(spirv[k]) && IdWord(Opcode(spirv[at]), std::uint32_t(k - at)) &&
                !(k == at + 2 && Opcode(spirv[at]) == kOpAccessChain))
                ++uses[spirv[k]];
    for (std::size_t at = kHeaderWords; at < spirv.size(); at += WordCount(spirv[at])) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const bool unused = (op == kOpAccessChain || op == kOpInBoundsAccessChain) && at >= firstFunction &&
                            dead.count(spirv[at + 2]) && uses[spirv[at + 2]] == 0;
        if (!unused) kept.insert(kept.end(), spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
    }
    spirv = std::move(kept);
    return true;
}

bool VariablesWithin(const std::vector<std::uint32_t>& spirv, std::uint64_t uiMaxComponents, std::string& error) {
    std::vector<std::size_t> starts;
    if (!Instructions(spirv, starts)) return false;
    // Sizes saturate just past the limit: a product of nested lengths
    // cannot overflow on the way.
    const std::uint64_t over = uiMaxComponents + 1;
    const auto times = [over](std::uint64_t a, std::uint64_t b) {
        return a == 0 || b == 0 ? 0 : (a > over / b ? over : std::min(over, a * b));
    };
    std::map<std::uint32_t, std::uint64_t> size;      // scalars a type holds, by its id
    std::map<std::uint32_t, std::uint64_t> constants; // integer constants, by id
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        const auto sizeOf = [&size](std::uint32_t id) {
            const auto found = size.find(id);
            return found == size.end() ? std::uint64_t(0) : found->second;
        };
        if ((op == kOpTypeBool || op == kOpTypeInt || op == kOpTypeFloat) && words >= 2) size[w[1]] = 1;
        else if ((op == kOpTypeVector || op == kOpTypeMatrix) && words == 4) size[w[1]] = times(sizeOf(w[2]), w[3]);
        else if (op == kOpTypeArray && words == 4) {
            const auto length = constants.find(w[3]);
            size[w[1]] = times(sizeOf(w[2]), length == constants.end() ? 1 : length->second);
        } else if (op == kOpTypeStruct && words >= 2) {
            std::uint64_t total = 0;
            for (std::uint32_t k = 2; k < words; ++k) total = std::min(over, total + sizeOf(w[k]));
            size[w[1]] = total;
        } else if (op == kOpTypePointer && words == 4) size[w[1]] = sizeOf(w[3]);
        else if (op == kOpConstant && words >= 4) constants[w[2]] = w[3];
        if ((op == kOpVariable || op == kOpConstantNull) && words >= 3) {
            // Sizes stop counting just past the limit: one over it reads as "more than".
            if (sizeOf(w[1]) > uiMaxComponents) {
                error = "a variable of more than " + std::to_string(uiMaxComponents) + " components: at most " +
                        std::to_string(uiMaxComponents);
                return false;
            }
        }
    }
    return true;
}

} // namespace gfx
