#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
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

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

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
    // Only chains that are only loaded are read this way.
    std::set<std::uint32_t> otherUses;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        for (std::uint32_t k = 1; k < words; ++k) {
            const std::uint32_t id = spirv[at + k];
            if (!chains.count(id)) continue;
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
    // Only chains that are only loaded are read this way.
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        for (std::uint32_t k = 1; k < words; ++k) {
            const auto c = copies.find(spirv[at + k]);
            if (c == copies.end()) continue;
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
        at += words;
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
            if (dead.count(spirv[k]) && !(k == at + 2 && Opcode(spirv[at]) == kOpAccessChain)) ++uses[spirv[k]];
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
