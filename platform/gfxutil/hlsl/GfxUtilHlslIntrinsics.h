#pragma once
// The intrinsics and operators of the language where glslang's HLSL front
// end, or the GLSL made from what it gives, departs from the D3D9 compiler:
// forms that compiler refuses, arguments of different sizes it takes at the
// smallest, functions it computes otherwise, and programs the device would
// refuse that must be refused by the compile instead. Private to the HLSL
// compiler.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

// The preprocessed `source` with the intrinsics put as the D3D9 compiler
// gives them: matrices of different sizes given to a component-wise
// intrinsic, and the values of a conditional, cut to the smallest (and taken
// row by row); lit's specular term the power it is; asin by that compiler's
// own approximation; atan2 of a negative zero that of zero; isfinite of any
// shape; `unsigned int` the int it is. A function the source defines under
// an intrinsic's name takes the calls whose arguments it can take, the
// intrinsic the rest. False, with the source as it was, where in it in `at`
// and the reason in `error`, for what that compiler refuses: a matrix of
// booleans, a conditional whose condition and values differ in shape or
// whose values are matrices neither of which holds the other, `unsigned` on
// a type other than int. Only arguments the text names by a variable of a
// known type are judged or cut.
[[nodiscard]] bool IntrinsicsAsTheD3D9CompilerGivesThem(std::string& source, std::size_t& at, std::string& error);

// Remainders (fmod, and %) truncated toward zero as HLSL defines them, not
// floored as glslang gives them.
void TruncatedRemainders(std::vector<std::uint32_t>& spirv);

// Floats compared for equality (==, !=) as the D3D9 compiler does at shader
// model 2: the square of their difference against zero, so that numbers
// whose difference squares to nothing are equal.
void EqualityBySquaredDifference(std::vector<std::uint32_t>& spirv);

// A vertex program using what only pixel programs have (ddx, ddy, fwidth,
// clip, discard, a lookup with a bias): false with where its call stands in
// `source` in `at`, and the reason in `error`.
[[nodiscard]] bool PixelOnlyOperations(const std::vector<std::uint32_t>& spirv, bool vertex, std::string_view source,
                                       std::size_t& at, std::string& error);

// GLSL holding a matrix of integers or booleans, which GLSL has no type for:
// false with where the source declares the first such type in `at` (0 when
// it names none) and the reason in `error`.
[[nodiscard]] bool MatricesOfNumbersOnly(std::string_view glsl, std::string_view source, std::size_t& at,
                                         std::string& error);

} // namespace gfx::hlsl
