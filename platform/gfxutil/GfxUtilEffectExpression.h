#pragma once
// The value of a global's initialiser written as an expression: literals,
// names of globals declared before, constructors, casts, swizzles,
// arithmetic, comparisons, the comma operator and the intrinsics that are
// pure functions of their arguments. The effect reader takes a parameter's
// default value from it, as the native compiler folds such an initialiser
// into a constant.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace gfx::effect {

struct ExpressionToken {
    enum class Kind : std::uint8_t { Word, Number, Punct, Other };
    Kind kind = Kind::Other;
    std::string_view text;
};

// Components of a name declared before (false: no such constant).
using ExpressionLookup = std::function<bool(std::string_view name, std::vector<double>& components)>;

// The components of the whole token list, in order; false when the list is
// not one expression of the forms above, or nests deeper than the reader
// allows.
[[nodiscard]] bool EvaluateExpression(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                                      std::vector<double>& components);

} // namespace gfx::effect
