#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvShapes.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace gfx {
namespace {

using namespace spirv;

constexpr std::uint32_t kOpVectorShuffleCode = 79;
constexpr std::uint32_t kOpTypeFirst = 19, kOpTypeLast = 39, kOpConstantFirst = 41, kOpConstantLast = 52,
                        kOpFRem = 140, kOpFMod = 141, kOpAny = 154, kOpAll = 155, kOpDPdx = 207, kOpFwidthCoarse = 215;
constexpr std::uint32_t kOpIsNan = 156, kOpIsInf = 157, kOpLogicalOr = 166, kOpLogicalAnd = 167,
                        kOpFOrdEqual = 180, kOpFUnordGreaterThanEqual = 191;
constexpr std::uint32_t kGlslMatrixInverse = 34, kGlslDeterminant = 33, kGlslModf = 35, kGlslModfStruct = 36,
                        kGlslFrexp = 51, kGlslFrexpStruct = 52;

bool Comparison(std::uint32_t op) { return op == kOpIsNan || op == kOpIsInf || (op >= kOpFOrdEqual && op <= kOpFUnordGreaterThanEqual); }

// Operations that act on each component alone, by where their operands start
// (0: not one of them).
std::size_t ComponentWiseOperands(std::uint32_t op, const std::uint32_t* w, std::uint32_t words) {
    if (op == kOpExtInst && words >= 5 && w[4] != kGlslMatrixInverse && w[4] != kGlslDeterminant) return 5;
    if ((op == kOpFRem || op == kOpFMod) && words == 5) return 3;
    if (op >= kOpDPdx && op <= kOpFwidthCoarse && words == 4) return 3;
    return 0;
}

} // namespace

bool SplitMatrixComponentWise(std::vector<std::uint32_t>& spirv, std::string& error) {
    if (spirv.size() < kHeaderWords) return true;
    std::vector<std::size_t> starts;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return false;
        starts.push_back(at);
        at += words;
    }
    std::set<std::uint32_t> typeIds, bools;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> matrices; // id: column type, columns
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> vectors;  // id: component type, size
    std::map<std::uint32_t, std::uint32_t> typeOf;                             // value: its type
    bool inFunction = false, any = false;
    // The determinant of a matrix of R rows and C columns is the D3D9
    // compiler's of its leading square: results of those, by the size.
    std::map<std::uint32_t, std::uint32_t> squares;
    std::uint32_t component = 0;
    std::map<std::uint32_t, std::size_t> compares; // comparison of matrices: where it is
    std::set<std::uint32_t> reducedOtherwise;      // values used other than by any() and all()
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpFunction) inFunction = true;
        if (op >= kOpTypeFirst && op <= kOpTypeLast && words >= 2) {
            typeIds.insert(w[1]);
            if (op == kOpTypeBool) bools.insert(w[1]);
            if (op == kOpTypeMatrix && words == 4) matrices[w[1]] = {w[2], w[3]};
            if (op == kOpTypeVector && words == 4) vectors[w[1]] = {w[2], w[3]};
            continue;
        }
        const bool valued = inFunction || (op >= kOpConstantFirst && op <= kOpConstantLast) || op == kOpVariable;
        if (valued && words >= 3 && typeIds.count(w[1])) typeOf[w[2]] = w[1];
        if (!inFunction) continue;
        const std::size_t first = ComponentWiseOperands(op, w, words);
        if (op == kOpExtInst && words >= 6 && matrices.count(typeOf[w[5]])) any = true;
        // Comparisons of matrices, which any() and all() (and clip) reduce:
        // every other use of one leaves it as it is.
        if (Comparison(op) && (words == 4 || words == 5) &&
            (matrices.count(typeOf[w[3]]) || (words == 5 && matrices.count(typeOf[w[4]])))) {
            compares[w[2]] = at;
            any = true;
        } else {
            const std::size_t from = op == kOpAny || op == kOpAll ? 4 : 1;
            for (std::size_t o = from; o < words; ++o) reducedOtherwise.insert(w[o]);
        }
        if (op == kOpExtInst && words == 6 && w[4] == kGlslDeterminant) {
            const auto m = matrices.find(typeOf[w[5]]);
            const auto column = m == matrices.end() ? vectors.end() : vectors.find(m->second.first);
            if (column != vectors.end() && column->second.second != m->second.second) {
                const std::uint32_t k = std::min(column->second.second, m->second.second);
                squares[w[2]] = k;
                component = column->second.first;
                any = true;
            }
        }
        if ((first && matrices.count(w[1])) || ((op == kOpAny || op == kOpAll) && words == 4 && bools.count(typeOf[w[3]])))
            any = true;
    }
    if (!any) return true;
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> out(spirv.begin(), spirv.begin() + kHeaderWords);
    out.reserve(spirv.size() + spirv.size() / 4);
    // The square types those need, declared before the first function.
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> squareTypes; // size: vector, matrix
    std::vector<std::uint32_t> declarations;
    for (const auto& [id, k] : squares) {
        if (squareTypes.count(k)) continue;
        std::uint32_t vector = 0, matrix = 0;
        for (const auto& [v, shape] : vectors)
            if (shape == std::make_pair(component, k)) vector = v;
        if (!vector) {
            vector = bound++;
            declarations.insert(declarations.end(), {FirstWord(4, kOpTypeVector), vector, component, k});
        }
        for (const auto& [m, shape] : matrices)
            if (shape == std::make_pair(vector, k)) matrix = m;
        if (!matrix) {
            matrix = bound++;
            declarations.insert(declarations.end(), {FirstWord(4, kOpTypeMatrix), matrix, vector, k});
        }
        squareTypes[k] = {vector, matrix};
    }
    for (auto c = compares.begin(); c != compares.end();)
        c = reducedOtherwise.count(c->first) ? compares.erase(c) : std::next(c);
    // What no column-by-column form gives: a matrix of booleans kept as a
    // value, and modf or frexp of a matrix, whose second result is written
    // through a pointer to the whole matrix.
    inFunction = false;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpFunction) inFunction = true;
        if (!inFunction || words < 3) continue;
        if (op == kOpExtInst && words >= 6 && matrices.count(typeOf[w[5]]) &&
            (w[4] == kGlslModf || w[4] == kGlslModfStruct || w[4] == kGlslFrexp || w[4] == kGlslFrexpStruct))
            return error = "modf and frexp of a matrix are not supported; apply them to its rows", false;
        if (!matrices.count(w[1])) continue;
        const auto column = vectors.find(matrices[w[1]].first);
        if (column != vectors.end() && bools.count(column->second.first) && !compares.count(w[2]))
            return error = "a matrix of booleans (isnan, isinf, isfinite or a comparison of matrices) kept as a value "
                           "is not supported; reduce it with any() or all()",
                   false;
    }
    // Boolean vectors of a column's size, for the comparisons column by column.
    std::map<std::uint32_t, std::uint32_t> boolVectors; // size: type
    for (const auto& [v, shape] : vectors)
        if (bools.count(shape.first)) boolVectors[shape.second] = v;
    for (const auto& [id, at] : compares) {
        const std::uint32_t* w = &spirv[at];
        const auto m = matrices.count(typeOf[w[3]]) ? matrices[typeOf[w[3]]] : matrices[typeOf[w[4]]];
        const std::uint32_t size = vectors[m.first].second;
        if (boolVectors.count(size) || bools.empty()) continue;
        boolVectors[size] = bound++;
        declarations.insert(declarations.end(), {FirstWord(4, kOpTypeVector), boolVectors[size], *bools.begin(), size});
    }
    bool declared = false;
    for (const std::size_t at : starts) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        const std::uint32_t* w = &spirv[at];
        if (op == kOpFunction && !declared) {
            out.insert(out.end(), declarations.begin(), declarations.end());
            declared = true;
        }
        if (op == kOpExtInst && words == 6 && squares.count(w[2])) {
            const std::uint32_t k = squares[w[2]];
            const auto [vector, matrix] = squareTypes[k];
            const auto [columnType, columns] = matrices[typeOf[w[5]]];
            const std::uint32_t size = vectors[columnType].second;
            std::vector<std::uint32_t> square = {FirstWord(3 + k, kOpCompositeConstruct), matrix, bound++};
            for (std::uint32_t c = 0; c < k; ++c) {
                std::uint32_t column = bound++;
                out.insert(out.end(), {FirstWord(5, kOpCompositeExtract), columnType, column, w[5], c});
                if (size != k) {
                    const std::uint32_t shorter = bound++;
                    out.insert(out.end(), {FirstWord(5 + k, kOpVectorShuffleCode), vector, shorter, column, column});
                    for (std::uint32_t i = 0; i < k; ++i) out.push_back(i);
                    column = shorter;
                }
                square.push_back(column);
            }
            out.insert(out.end(), square.begin(), square.end());
            out.insert(out.end(), {w[0], w[1], w[2], w[3], w[4], square[2]});
            continue;
        }
        if (compares.count(w[words > 2 ? 2 : 0]) && Comparison(op)) continue; // made at its any() or all()
        if ((op == kOpAny || op == kOpAll) && words == 4 && compares.count(w[3]) && !bools.empty()) {
            const std::uint32_t* cmp = &spirv[compares[w[3]]];
            const std::uint32_t cmpWords = WordCount(cmp[0]);
            const auto [columnType, columns] =
                matrices.count(typeOf[cmp[3]]) ? matrices[typeOf[cmp[3]]] : matrices[typeOf[cmp[4]]];
            const std::uint32_t size = vectors[columnType].second;
            std::uint32_t so_far = 0;
            for (std::uint32_t c = 0; c < columns; ++c) {
                std::vector<std::uint32_t> compare = {cmp[0], boolVectors[size], bound++};
                for (std::size_t o = 3; o < cmpWords; ++o) {
                    std::uint32_t operand = cmp[o];
                    if (matrices.count(typeOf[operand])) {
                        operand = bound++;
                        out.insert(out.end(), {FirstWord(5, kOpCompositeExtract), columnType, operand, cmp[o], c});
                    } else if (!vectors.count(typeOf[operand])) { // a scalar: spread over the column
                        operand = bound++;
                        out.push_back(FirstWord(3 + size, kOpCompositeConstruct));
                        out.insert(out.end(), {columnType, operand});
                        for (std::uint32_t i = 0; i < size; ++i) out.push_back(cmp[o]);
                    }
                    compare.push_back(operand);
                }
                out.insert(out.end(), compare.begin(), compare.end());
                const std::uint32_t reduced = columns == 1 ? w[2] : bound++;
                out.insert(out.end(), {FirstWord(4, op), w[1], reduced, compare[2]});
                if (c > 0) {
                    const std::uint32_t joined = c + 1 == columns ? w[2] : bound++;
                    out.insert(out.end(), {FirstWord(5, op == kOpAny ? kOpLogicalOr : kOpLogicalAnd), w[1], joined,
                                           so_far, reduced});
                    so_far = joined;
                } else {
                    so_far = reduced;
                }
            }
            continue;
        }
        if ((op == kOpAny || op == kOpAll) && words == 4 && bools.count(typeOf[w[3]])) {
            out.insert(out.end(), {FirstWord(4, kOpCopyObject), w[1], w[2], w[3]});
            continue;
        }
        const std::size_t first = ComponentWiseOperands(op, w, words);
        const auto result = first ? matrices.find(w[1]) : matrices.end();
        if (!first || result == matrices.end() || words < 3) {
            out.insert(out.end(), w, w + words);
            continue;
        }
        const auto [columnType, columns] = result->second;
        std::vector<std::uint32_t> parts;
        for (std::uint32_t c = 0; c < columns; ++c) {
            std::vector<std::uint32_t> call(w, w + words);
            call[1] = columnType;
            call[2] = bound++;
            for (std::size_t o = first; o < words; ++o) {
                const auto m = matrices.find(typeOf[w[o]]);
                const auto v = vectors.find(typeOf[w[o]]);
                const auto columnVector = vectors.find(columnType);
                if (v != vectors.end() && columnVector != vectors.end() && v->second.second != columnVector->second.second) {
                    // A bound glslang splats to the matrix's other size
                    // (saturate's 0 and 1): its first component spread
                    // over the column.
                    const std::uint32_t scalar = bound++, spread = bound++;
                    out.insert(out.end(), {FirstWord(5, kOpCompositeExtract), v->second.first, scalar, w[o], 0});
                    out.push_back(FirstWord(3 + columnVector->second.second, kOpCompositeConstruct));
                    out.insert(out.end(), {columnType, spread});
                    for (std::uint32_t i = 0; i < columnVector->second.second; ++i) out.push_back(scalar);
                    call[o] = spread;
                    continue;
                }
                if (m == matrices.end()) continue;
                if (m->second.second != columns) return false;
                const std::uint32_t column = bound++;
                out.insert(out.end(), {FirstWord(5, kOpCompositeExtract), m->second.first, column, w[o], c});
                call[o] = column;
            }
            out.insert(out.end(), call.begin(), call.end());
            parts.push_back(call[2]);
        }
        out.push_back(FirstWord(std::uint32_t(3 + parts.size()), kOpCompositeConstruct));
        out.push_back(w[1]);
        out.push_back(w[2]);
        out.insert(out.end(), parts.begin(), parts.end());
    }
    out[3] = bound;
    spirv = std::move(out);
    return true;
}

} // namespace gfx
