#pragma once
// The value of a constant expression: a global's initialiser, a static
// const's, an annotation's, an array's size. Literals in every form the
// language writes (decimal, octal, hex, with their suffixes), names of
// constants declared before, constructors, casts, swizzles, the arithmetic,
// bitwise, shift, comparison and logical operators, `?:`, the comma operator
// and the intrinsics that are pure functions of their arguments. Integers
// are 32 bits wide and divide whole, as the same expression does in code.
// The effect reader takes a parameter's default value from it and the
// compiler a uniform's, as the native compiler folds such an initialiser
// into a constant.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::effect {

struct ExpressionToken {
    enum class Kind : std::uint8_t { Word, Number, Punct, Other };
    Kind kind = Kind::Other;
    // A two-character operator is one token (`<<`, `>=`, `&&`): a caller
    // whose tokens are single characters joins them (JoinOperator).
    std::string_view text;
};

// What a value's components are: how arithmetic on them goes (an integer
// divides whole and wraps at 32 bits; a bitwise operator takes integers only).
enum class ExpressionKind : std::uint8_t { Float, Int, Uint, Bool };

struct ExpressionValue {
    std::vector<double> components;
    ExpressionKind kind = ExpressionKind::Float;
};

// The value of a name declared before (false: no such constant).
using ExpressionLookup = std::function<bool(std::string_view name, ExpressionValue& value)>;

// Why an expression did not fold, and the token it stopped at.
struct ExpressionFailure {
    std::string why;
    std::size_t token = 0;
    // One the language refuses (a bitwise operator on a float, a division
    // of integers by zero, a bad literal, nesting past the bound), not
    // merely one the evaluator does not fold.
    bool refused = false;
};

// The two-character operator `a` and `b` make when they stand side by side
// ("<<", "&&", "==" ...); empty when they make none.
[[nodiscard]] std::string_view JoinOperator(std::string_view a, std::string_view b);

// The value of the whole token list; false when the list is not one
// expression of the forms above, is one the language refuses (a bitwise
// operator on a float, a division of integers by zero, a bad literal), or
// nests deeper than the evaluator follows, with the reason in `failure`.
[[nodiscard]] bool EvaluateExpression(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                                      ExpressionValue& value, ExpressionFailure* failure = nullptr);

// The value converted to `kind`, as an assignment to a variable of that
// type converts it (a float to an integer truncated and wrapped at 32 bits,
// anything to a boolean as 0 or 1).
void ConvertExpression(ExpressionValue& value, ExpressionKind kind);

// An integer constant expression (an array's size): the value, when the
// tokens fold to one component of an integer or boolean kind.
[[nodiscard]] bool EvaluateIntegerConstant(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                                           long long& value, ExpressionFailure* failure = nullptr);

} // namespace gfx::effect
