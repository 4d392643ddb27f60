#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace gfx {
namespace {

using namespace spirv;

constexpr std::uint32_t kMaxBound = 0x400000;
constexpr std::uint32_t kEvery = ~0u; // every component of a value

// Whether an instruction of this opcode computes a value from its operands
// and nothing else (its result type at word 1, its result at word 2).
bool Pure(std::uint32_t op) {
    return op == kOpExtInst || (op >= 77 && op <= 84) || (op >= 86 && op <= 97) || (op >= 109 && op <= 215) ||
           op == kOpPhi;
}

// Whether each component of the result is made from the same component of
// each operand.
bool Componentwise(std::uint32_t op) {
    return (op >= 109 && op <= 115) || op == kOpBitcast || (op >= 126 && op <= 141) || (op >= 156 && op <= 191) ||
           (op >= 194 && op <= 215);
}

bool ComponentwiseGlsl(std::uint32_t instruction) {
    return (instruction >= 1 && instruction <= 32) || (instruction >= 37 && instruction <= 50) || instruction == 53 ||
           (instruction >= 73 && instruction <= 75) || (instruction >= 79 && instruction <= 81);
}

struct Type {
    std::uint32_t op = 0;
    std::uint32_t components = 0;     // scalar 1, vector n
    std::uint32_t rows = 0, columns = 0; // a matrix: columns of `rows`-component vectors
    std::uint32_t element = 0;        // vector, matrix column, array element
    std::uint32_t length = 0;         // the id of an array's length
    std::uint32_t arrayStride = 0;
    std::vector<std::uint32_t> members;
    std::uint32_t storage = 0, pointee = 0; // a pointer
    bool block = false, signedInt = false;
};

struct Member {
    std::uint32_t offset = 0, matrixStride = 16;
    bool rowMajor = false, hasOffset = false;
    std::string name;
};

// What the passes need of a module.
struct Module {
    std::unordered_map<std::uint32_t, Type> types;
    std::unordered_map<std::uint32_t, std::uint32_t> constants; // 32-bit integer constants: value
    std::unordered_map<std::uint32_t, std::uint32_t> typeOf;    // value: its type
    std::map<std::pair<std::uint32_t, std::uint32_t>, Member> members;
    std::unordered_map<std::uint32_t, std::uint32_t> variables; // variable: its pointer type
    std::vector<std::size_t> body;                              // instructions in functions
    std::size_t firstFunction = 0, memoryModel = 0;
    std::uint32_t glsl = 0; // the GLSL.std.450 instruction set

    const Type* TypeOf(std::uint32_t id) const {
        const auto t = typeOf.find(id);
        if (t == typeOf.end()) return nullptr;
        const auto found = types.find(t->second);
        return found == types.end() ? nullptr : &found->second;
    }
    std::uint32_t Components(std::uint32_t type) const {
        const auto t = types.find(type);
        return t == types.end() ? 0 : t->second.components;
    }
};

std::string Literal(const std::uint32_t* w, std::size_t words) {
    std::string s(reinterpret_cast<const char*>(w), words * 4);
    s.resize(std::strlen(s.c_str()));
    return s;
}

bool Read(const std::vector<std::uint32_t>& spirv, Module& m) {
    if (spirv.size() < kHeaderWords || spirv[0] != 0x07230203u || spirv[3] > kMaxBound) return false;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        if (op == kOpFunction && m.firstFunction == 0) m.firstFunction = at;
        if (m.firstFunction) m.body.push_back(at);
        if (op == kOpMemoryModel) m.memoryModel = at;
        if (op == kOpExtInstImport && words >= 3 && Literal(w + 2, words - 2) == "GLSL.std.450") m.glsl = w[1];
        if (words >= 2 && op >= kOpTypeBool && op <= kOpTypePointer) {
            Type& t = m.types[w[1]];
            t.op = op;
            if (op == kOpTypeBool || op == kOpTypeInt || op == kOpTypeFloat) t.components = 1;
            if (op == kOpTypeInt && words >= 4) t.signedInt = w[3] == 1;
            if (op == kOpTypeVector && words >= 4) t.element = w[2], t.components = w[3];
            if (op == kOpTypeMatrix && words >= 4) t.element = w[2], t.columns = w[3];
            if (op == kOpTypeArray && words >= 4) t.element = w[2], t.length = w[3];
            if (op == kOpTypeStruct) t.members.assign(w + 2, w + words);
            if (op == kOpTypePointer && words >= 4) t.storage = w[2], t.pointee = w[3];
        }
        if (op == kOpConstant && words == 4) m.constants[w[2]] = w[3];
        if (op == kOpDecorate && words >= 3) {
            if (w[2] == kDecorationBlock) m.types[w[1]].block = true;
            if (w[2] == kDecorationArrayStride && words >= 4) m.types[w[1]].arrayStride = w[3];
        }
        if (op == kOpMemberDecorate && words >= 4) {
            Member& member = m.members[{w[1], w[2]}];
            if (w[3] == kDecorationRowMajor) member.rowMajor = true;
            if (w[3] == kDecorationMatrixStride && words >= 5) member.matrixStride = w[4];
            if (w[3] == kDecorationOffset && words >= 5) member.offset = w[4], member.hasOffset = true;
        }
        if (op == kOpMemberName && words >= 3) m.members[{w[1], w[2]}].name = Literal(w + 3, words - 3);
        if (op == kOpVariable && words >= 4) m.variables[w[2]] = w[1];
        if (words >= 3 && (op == kOpVariable || (op >= 41 && op <= 46) || op == kOpLoad || op == kOpAccessChain ||
                           op == kOpInBoundsAccessChain || op == 55 || op == 57 || Pure(op)))
            m.typeOf[w[2]] = w[1];
        at += words;
    }
    for (auto& [id, t] : m.types)
        if (t.op == kOpTypeMatrix) t.rows = m.Components(t.element);
    return m.firstFunction != 0;
}

// The block a pointer reaches into and the indices on the way, through the
// access chains that make it; false when it is no constant block's.
bool Resolve(const Module& m, const std::unordered_map<std::uint32_t, const std::uint32_t*>& chains,
             std::uint32_t pointer, std::uint32_t& block, std::vector<std::uint32_t>& indices) {
    indices.clear();
    for (int depth = 0; depth < 64; ++depth) {
        const auto chain = chains.find(pointer);
        if (chain == chains.end()) break;
        const std::uint32_t* w = chain->second;
        indices.insert(indices.begin(), w + 4, w + WordCount(w[0]));
        pointer = w[3];
    }
    const auto variable = m.variables.find(pointer);
    if (variable == m.variables.end()) return false;
    const auto type = m.types.find(variable->second);
    if (type == m.types.end() || type->second.storage != kStorageUniform) return false;
    const auto pointee = m.types.find(type->second.pointee);
    if (pointee == m.types.end() || !pointee->second.block) return false;
    block = type->second.pointee;
    return true;
}

// Which components of each value the program needs, found from its ends
// (stores, branches, calls) back to the loads: bit i for component i of a
// vector, bit 4c + r for row r of column c of a matrix; any bit of an array
// or struct stands for all of it.
bool LiveComponents(const std::vector<std::uint32_t>& spirv, const Module& m, std::vector<std::uint32_t>& live) {
    live.assign(spirv[3], 0);
    bool changed = true;
    auto mark = [&](std::uint32_t id, std::uint32_t bits) {
        if (id >= live.size() || (live[id] | bits) == live[id]) return;
        live[id] |= bits;
        changed = true;
    };
    // Operands of a componentwise instruction: the result's components, or
    // all of an operand of another shape (a scalar spread over a vector).
    auto alike = [&](std::uint32_t operand, std::uint32_t resultType, std::uint32_t bits) {
        const Type* t = m.TypeOf(operand);
        const std::uint32_t n = m.Components(resultType);
        mark(operand, t && n && t->components == n ? bits : kEvery);
    };
    for (int pass = 0; changed; ++pass) {
        if (pass == 256) return false;
        changed = false;
        for (auto it = m.body.rbegin(); it != m.body.rend(); ++it) {
            const std::uint32_t* w = &spirv[*it];
            const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
            if (op == kOpLoad) continue;
            if (!Pure(op)) {
                for (std::uint32_t k = 1; k < words; ++k) mark(w[k], kEvery);
                continue;
            }
            if (words < 3) continue;
            if (w[2] >= live.size() || live[w[2]] == 0) continue;
            const std::uint32_t type = w[1], bits = live[w[2]];
            const auto found = m.types.find(type);
            const Type* rt = found == m.types.end() ? nullptr : &found->second;
            switch (op) {
            case kOpCompositeExtract: {
                const Type* ct = m.TypeOf(w[3]);
                if (ct && ct->op == kOpTypeMatrix && words == 5) mark(w[3], (bits & 0xF) << (4 * std::min(w[4], 7u)));
                else if (ct && ct->op == kOpTypeMatrix && words == 6) mark(w[3], 1u << (4 * std::min(w[4], 7u) + std::min(w[5], 3u)));
                else if (ct && ct->op == kOpTypeVector && words == 5) mark(w[3], 1u << std::min(w[4], 31u));
                else mark(w[3], kEvery);
                break;
            }
            case kOpCompositeInsert: {
                std::uint32_t at = 0;
                if (rt && rt->op == kOpTypeVector && words == 6) at = 1u << std::min(w[5], 31u);
                else if (rt && rt->op == kOpTypeMatrix && words == 6) at = 0xFu << (4 * std::min(w[5], 7u));
                else if (rt && rt->op == kOpTypeMatrix && words == 7) at = 1u << (4 * std::min(w[5], 7u) + std::min(w[6], 3u));
                if (at == 0) {
                    mark(w[3], kEvery);
                    mark(w[4], kEvery);
                } else {
                    if (bits & at) mark(w[3], kEvery);
                    mark(w[4], bits & ~at);
                }
                break;
            }
            case kOpCompositeConstruct:
                if (rt && rt->op == kOpTypeVector) {
                    std::uint32_t offset = 0;
                    for (std::uint32_t k = 3; k < words; ++k) {
                        const Type* part = m.TypeOf(w[k]);
                        const std::uint32_t n = part ? part->components : 0;
                        if (n == 0 || offset >= 32) {
                            mark(w[k], kEvery);
                            continue;
                        }
                        mark(w[k], (bits >> offset) & ((1u << n) - 1));
                        offset += n;
                    }
                } else if (rt && rt->op == kOpTypeMatrix) {
                    for (std::uint32_t k = 3; k < words; ++k)
                        mark(w[k], k - 3 < 8 ? (bits >> (4 * (k - 3))) & 0xF : kEvery);
                } else {
                    for (std::uint32_t k = 3; k < words; ++k) mark(w[k], kEvery);
                }
                break;
            case kOpVectorShuffle: {
                const Type* first = m.TypeOf(w[3]);
                if (!first || first->components == 0) {
                    mark(w[3], kEvery);
                    mark(w[4], kEvery);
                    break;
                }
                for (std::uint32_t k = 5; k < words && k - 5 < 32; ++k) {
                    const std::uint32_t c = w[k];
                    if (!(bits >> (k - 5) & 1) || c == 0xFFFFFFFFu) continue;
                    if (c < first->components) mark(w[3], 1u << c);
                    else mark(w[4], 1u << std::min(c - first->components, 31u));
                }
                break;
            }
            case kOpCopyObject:
                mark(w[3], bits);
                break;
            case kOpTranspose: {
                std::uint32_t from = 0;
                for (std::uint32_t b = 0; b < 32; ++b)
                    if (bits >> b & 1) from |= 1u << ((b % 4) * 4 + std::min(b / 4, 3u));
                mark(w[3], bits == kEvery ? kEvery : from);
                break;
            }
            case kOpPhi:
                for (std::uint32_t k = 3; k + 1 < words; k += 2) mark(w[k], bits);
                break;
            case kOpSelect:
                for (std::uint32_t k = 3; k < words; ++k) alike(w[k], type, bits);
                break;
            case kOpVectorTimesScalar:
            case kOpMatrixTimesScalar:
                mark(w[3], bits);
                mark(w[4], kEvery);
                break;
            case kOpVectorTimesMatrix: { // component c of the result is column c with the vector
                const Type* mt = m.TypeOf(w[4]);
                const std::uint32_t rows = mt && mt->rows ? mt->rows : 4;
                std::uint32_t columns = 0;
                for (std::uint32_t c = 0; c < 8; ++c)
                    if (bits >> c & 1) columns |= ((1u << rows) - 1) << (4 * c);
                mark(w[4], bits == kEvery ? kEvery : columns);
                mark(w[3], kEvery);
                break;
            }
            case kOpMatrixTimesVector: { // component r of the result is row r with the vector
                const Type* mt = m.TypeOf(w[3]);
                const std::uint32_t columns = mt && mt->columns ? std::min(mt->columns, 8u) : 4;
                std::uint32_t rows = 0;
                for (std::uint32_t r = 0; r < 4; ++r)
                    if (bits >> r & 1)
                        for (std::uint32_t c = 0; c < columns; ++c) rows |= 1u << (4 * c + r);
                mark(w[3], bits == kEvery ? kEvery : rows);
                mark(w[4], kEvery);
                break;
            }
            case kOpMatrixTimesMatrix: { // (c, r) of A * B is row r of A with column c of B
                const Type* at = m.TypeOf(w[3]);
                const std::uint32_t inner = at && at->columns ? std::min(at->columns, 4u) : 4;
                std::uint32_t a = 0, b = 0;
                for (std::uint32_t bit = 0; bit < 32; ++bit) {
                    if (!(bits >> bit & 1)) continue;
                    const std::uint32_t c = bit / 4, r = bit % 4;
                    for (std::uint32_t k = 0; k < inner; ++k) {
                        a |= 1u << (4 * k + r);
                        b |= 1u << (4 * c + k);
                    }
                }
                mark(w[3], bits == kEvery ? kEvery : a);
                mark(w[4], bits == kEvery ? kEvery : b);
                break;
            }
            case kOpExtInst:
                for (std::uint32_t k = 5; k < words; ++k) {
                    if (words >= 5 && w[3] == m.glsl && m.glsl != 0 && ComponentwiseGlsl(w[4])) alike(w[k], type, bits);
                    else mark(w[k], kEvery);
                }
                break;
            default:
                for (std::uint32_t k = 3; k < words; ++k) {
                    if (Componentwise(op)) alike(w[k], type, bits);
                    else mark(w[k], kEvery);
                }
                break;
            }
        }
    }
    return true;
}

// The mask of every component of a value of type `t`.
std::uint32_t Whole(const Type& t) {
    if (t.op == kOpTypeMatrix) {
        std::uint32_t bits = 0;
        for (std::uint32_t c = 0; c < std::min(t.columns, 8u); ++c) bits |= ((1u << std::min(t.rows, 4u)) - 1) << (4 * c);
        return bits;
    }
    if (t.components) return t.components >= 32 ? kEvery : (1u << t.components) - 1;
    return 1;
}

} // namespace

bool HlslActiveGlobals(const std::vector<std::uint32_t>& spirv, std::set<std::string>& names) {
    constexpr std::uint32_t kOpTypeSampledImage = 27;
    names.clear();
    Module m;
    if (!Read(spirv, m)) return false;
    // What a variable's pointer reaches, through arrays.
    auto reached = [&](std::uint32_t variable, std::uint32_t storage) -> const Type* {
        const auto v = m.variables.find(variable);
        if (v == m.variables.end()) return nullptr;
        const auto pointer = m.types.find(v->second);
        if (pointer == m.types.end() || pointer->second.storage != storage) return nullptr;
        auto t = m.types.find(pointer->second.pointee);
        for (int depth = 0; depth < 8 && t != m.types.end() && t->second.op == kOpTypeArray; ++depth)
            t = m.types.find(t->second.element);
        return t == m.types.end() ? nullptr : &t->second;
    };
    std::set<std::uint32_t> samplers;
    for (const std::size_t at : m.body) {
        const std::uint32_t* w = &spirv[at];
        const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 5) {
            const auto v = m.variables.find(w[3]);
            const Type* block = v == m.variables.end() ? nullptr : reached(w[3], kStorageUniform);
            if (block && block->op == kOpTypeStruct && block->block && m.constants.count(w[4])) {
                const auto pointer = m.types.find(v->second);
                const auto member = m.members.find({pointer->second.pointee, m.constants.at(w[4])});
                names.insert(member == m.members.end() ? std::string() : member->second.name);
            }
        }
        for (std::uint32_t k = 1; k < words; ++k)
            if (IdWord(op, k) && op != kOpVariable && m.variables.count(w[k])) {
                const Type* t = reached(w[k], kStorageUniformConstant);
                if (t && t->op == kOpTypeSampledImage) samplers.insert(w[k]);
            }
    }
    if (samplers.empty()) return true;
    for (std::size_t at = kHeaderWords; at < m.firstFunction;) {
        const std::uint32_t words = WordCount(spirv[at]);
        if (Opcode(spirv[at]) == kOpName && words >= 3 && samplers.count(spirv[at + 1]))
            names.insert(Literal(&spirv[at + 2], words - 2));
        at += words;
    }
    return true;
}

bool HlslRegistersRead(const std::vector<std::uint32_t>& spirv, std::map<std::string, std::uint32_t>& registers) {
    registers.clear();
    Module m;
    if (!Read(spirv, m)) return false;
    std::vector<std::uint32_t> live;
    const bool followed = LiveComponents(spirv, m, live);
    std::unordered_map<std::uint32_t, const std::uint32_t*> chains;
    for (const std::size_t at : m.body) {
        const std::uint32_t op = Opcode(spirv[at]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && WordCount(spirv[at]) >= 4) chains[spirv[at + 2]] = &spirv[at];
    }
    auto note = [&](std::uint32_t block, std::uint32_t member, std::uint32_t count) {
        const auto found = m.members.find({block, member});
        if (found == m.members.end() || found->second.name.empty()) return;
        std::uint32_t& r = registers[found->second.name];
        r = std::max(r, count);
    };
    auto everything = [&](std::uint32_t block) {
        const auto t = m.types.find(block);
        if (t == m.types.end()) return;
        for (std::uint32_t k = 0; k < t->second.members.size(); ++k) note(block, k, kHlslEveryRegister);
    };
    std::vector<std::uint32_t> indices;
    std::uint32_t block = 0;
    for (const std::size_t at : m.body) {
        const std::uint32_t* w = &spirv[at];
        const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
        // A pointer into the block used other than by a load or a further
        // chain (copied, handed to a call): whatever it reaches may be read.
        const bool chain = op == kOpAccessChain || op == kOpInBoundsAccessChain;
        for (std::uint32_t k = 1; k < words && !chain && op != kOpLoad && op != kOpVariable; ++k) {
            if (!IdWord(op, k) || (!chains.count(w[k]) && !m.variables.count(w[k])) ||
                !Resolve(m, chains, w[k], block, indices))
                continue;
            if (indices.empty() || !m.constants.count(indices[0])) everything(block);
            else note(block, m.constants.at(indices[0]), kHlslEveryRegister);
        }
        if (op != kOpLoad || words < 4 || !Resolve(m, chains, w[3], block, indices)) continue;
        const std::uint32_t bits = followed && w[2] < live.size() ? live[w[2]] : kEvery;
        if (bits == 0) continue;
        if (indices.empty() || !m.constants.count(indices[0])) {
            everything(block);
            continue;
        }
        const std::uint32_t index = m.constants.at(indices[0]);
        const auto blockType = m.types.find(block);
        if (blockType == m.types.end() || index >= blockType->second.members.size()) continue;
        const auto memberFound = m.members.find({block, index});
        if (memberFound == m.members.end() || !memberFound->second.hasOffset) {
            note(block, index, kHlslEveryRegister);
            continue;
        }
        // A copy: a matrix inside a struct has its own majority and stride.
        Member member = memberFound->second;
        // Down the chain to what is loaded: its offset, and the column when
        // the chain picks one of a matrix.
        std::uint64_t offset = member.offset;
        std::uint32_t type = blockType->second.members[index];
        std::uint32_t column = ~0u, row = ~0u;
        bool every = false;
        std::uint64_t arrayEnd = 0; // an array indexed at run time: the byte past its end
        for (std::size_t k = 1; k < indices.size() && !every; ++k) {
            const auto t = m.types.find(type);
            const auto value = m.constants.find(indices[k]);
            // An index computed at run time reaches the whole array it
            // indexes, and no further.
            if (t != m.types.end() && value == m.constants.end() && row == ~0u && t->second.op == kOpTypeArray &&
                t->second.arrayStride && m.constants.count(t->second.length)) {
                arrayEnd = offset + std::uint64_t(m.constants.at(t->second.length)) * t->second.arrayStride;
                break;
            }
            if (t == m.types.end() || value == m.constants.end() || row != ~0u) {
                every = true;
                break;
            }
            if (t->second.op == kOpTypeArray && t->second.arrayStride) {
                offset += std::uint64_t(value->second) * t->second.arrayStride;
            } else if (t->second.op == kOpTypeMatrix) {
                column = value->second;
            } else if (t->second.op == kOpTypeVector) {
                if (column != ~0u) row = value->second;
                else offset += std::uint64_t(value->second) * 4;
            } else if (t->second.op == kOpTypeStruct && value->second < t->second.members.size() &&
                       m.members.count({type, value->second}) && m.members.at({type, value->second}).hasOffset) {
                // A member of a struct constant: where it starts in the struct.
                const Member& inner = m.members.at({type, value->second});
                offset += inner.offset;
                member.rowMajor = inner.rowMajor;
                member.matrixStride = inner.matrixStride;
                type = t->second.members[value->second];
                continue;
            } else {
                every = true;
            }
            type = t->second.element;
        }
        if (arrayEnd > member.offset) {
            const std::uint64_t count = (arrayEnd - member.offset + 15) / 16;
            note(block, index, count >= kHlslEveryRegister ? kHlslEveryRegister : std::uint32_t(count));
            continue;
        }
        const auto loadedType = m.types.find(w[1]);
        if (every || loadedType == m.types.end() ||
            (loadedType->second.op != kOpTypeMatrix && loadedType->second.components == 0)) {
            note(block, index, kHlslEveryRegister);
            continue;
        }
        const Type& loaded = loadedType->second;
        const std::uint32_t used = bits & Whole(loaded);
        auto byteOf = [&](std::uint32_t c, std::uint32_t r) {
            return member.rowMajor ? offset + std::uint64_t(r) * member.matrixStride + c * 4
                                   : offset + std::uint64_t(c) * member.matrixStride + r * 4;
        };
        std::uint64_t last = 0;
        bool any = false;
        for (std::uint32_t b = 0; b < 32; ++b) {
            if (!(used >> b & 1)) continue;
            std::uint64_t byte = 0;
            if (loaded.op == kOpTypeMatrix) byte = byteOf(b / 4, b % 4);
            else if (column != ~0u) byte = byteOf(column, row != ~0u ? row : b);
            else byte = offset + std::uint64_t(b) * 4;
            last = any ? std::max(last, byte) : byte;
            any = true;
        }
        if (!any) continue;
        const std::uint64_t count = (last - member.offset) / 16 + 1;
        note(block, index, count >= kHlslEveryRegister ? kHlslEveryRegister : std::uint32_t(count));
    }
    return true;
}

bool HlslAddressRegisterIndices(std::vector<std::uint32_t>& spirv) {
    Module m;
    if (!Read(spirv, m)) return false;
    std::uint32_t intType = 0, floatType = 0;
    std::unordered_map<std::uint32_t, std::uint32_t> fromFloat; // an unsigned conversion: the float it converts
    for (std::size_t at = kHeaderWords; at < spirv.size(); at += WordCount(spirv[at])) {
        const std::uint32_t* w = &spirv[at];
        const std::uint32_t words = WordCount(w[0]), op = Opcode(w[0]);
        if (op == kOpTypeInt && words == 4 && w[2] == 32 && w[3] == 1 && !intType) intType = w[1];
        if (op == kOpTypeFloat && words == 3 && w[2] == 32) floatType = w[1];
        if (op == kOpConvertFToU && words == 4) fromFloat[w[2]] = w[3];
    }
    std::unordered_map<std::uint32_t, const std::uint32_t*> chains;
    for (const std::size_t at : m.body) {
        const std::uint32_t op = Opcode(spirv[at]);
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && WordCount(spirv[at]) >= 4) chains[spirv[at + 2]] = &spirv[at];
    }
    // The indices to change: the chain and the place of each.
    std::vector<std::pair<std::size_t, std::uint32_t>> changes;
    std::vector<std::uint32_t> indices;
    std::uint32_t block = 0;
    for (const std::size_t at : m.body) {
        const std::uint32_t op = Opcode(spirv[at]), words = WordCount(spirv[at]);
        if ((op != kOpAccessChain && op != kOpInBoundsAccessChain) || words < 5 ||
            !Resolve(m, chains, spirv[at + 2], block, indices))
            continue;
        for (std::uint32_t k = 4; k < words; ++k) {
            const std::uint32_t id = spirv[at + k];
            const Type* t = m.TypeOf(id);
            const auto source = fromFloat.find(id);
            const bool rounded = source != fromFloat.end() && m.typeOf.count(source->second) &&
                                 m.typeOf.at(source->second) == floatType;
            const bool unsignedValue = t && t->op == kOpTypeInt && !t->signedInt && !m.constants.count(id);
            if (rounded || unsignedValue) changes.push_back({at, k});
        }
    }
    if (changes.empty()) return true;
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations, imports;
    if (!intType) {
        intType = bound++;
        declarations.insert(declarations.end(), {FirstWord(4u, kOpTypeInt), intType, 32, 1});
    }
    const std::uint32_t half = bound++;
    if (floatType) declarations.insert(declarations.end(), {FirstWord(4u, kOpConstant), floatType, half, 0x3F000000u});
    std::uint32_t glsl = m.glsl;
    if (!glsl) {
        if (!m.memoryModel) return false;
        glsl = bound++;
        imports = {FirstWord(6u, kOpExtInstImport), glsl, 0, 0, 0, 0};
        std::memcpy(&imports[2], "GLSL.std.450", 12);
    }
    std::vector<std::uint32_t> out;
    out.reserve(spirv.size() + declarations.size() + imports.size() + changes.size() * 12);
    std::size_t next = 0; // the next change
    for (std::size_t at = 0; at < spirv.size();) {
        const std::size_t words = at < kHeaderWords ? kHeaderWords : WordCount(spirv[at]);
        if (at == m.memoryModel) out.insert(out.end(), imports.begin(), imports.end());
        if (at == m.firstFunction) out.insert(out.end(), declarations.begin(), declarations.end());
        std::vector<std::uint32_t> instruction(spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
        for (; next < changes.size() && changes[next].first == at; ++next) {
            const std::uint32_t k = changes[next].second, id = instruction[k];
            const std::uint32_t made = bound++;
            const auto source = fromFloat.find(id);
            if (source != fromFloat.end() && m.typeOf.count(source->second) && m.typeOf.at(source->second) == floatType) {
                // mova: floor(x + 0.5) as a signed integer.
                const std::uint32_t sum = bound++, floor = bound++;
                out.insert(out.end(), {FirstWord(5u, kOpFAdd), floatType, sum, source->second, half});
                out.insert(out.end(), {FirstWord(6u, kOpExtInst), floatType, floor, glsl, kGlslFloor, sum});
                out.insert(out.end(), {FirstWord(4u, kOpConvertFToS), intType, made, floor});
            } else {
                out.insert(out.end(), {FirstWord(4u, kOpBitcast), intType, made, id});
            }
            instruction[k] = made;
        }
        out.insert(out.end(), instruction.begin(), instruction.end());
        at += words;
    }
    if (bound >= kMaxBound) return false;
    out[3] = bound;
    spirv = std::move(out);
    return true;
}

} // namespace gfx
