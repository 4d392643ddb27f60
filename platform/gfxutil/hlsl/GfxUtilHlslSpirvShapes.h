#pragma once
// SPIR-V from glslang's HLSL front end whose operations take shapes GLSL has
// no form for, put in forms it has. Private to the HLSL compiler.

#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// HLSL applies its component-wise intrinsics (sin, abs, step, clamp, ddx, ...)
// to matrices as to vectors, and glslang passes a matrix straight to the
// GLSL.std.450 instruction, which GLSL declares for scalars and vectors only:
// each such operation made one per column, put together again. Likewise
// any() and all() of a single boolean, which GLSL declares for vectors only,
// made the boolean itself; and the determinant of a matrix not square, the
// determinant of its leading square as the D3D9 compiler takes it; and a
// comparison of matrices reduced by any() or all() (clip's too) made one per
// column. False with the reason for a matrix of booleans kept as a value and
// for modf or frexp of a matrix, which GLSL has no form for either; false,
// with the module as it was, on a module not in the form glslang writes.
[[nodiscard]] bool SplitMatrixComponentWise(std::vector<std::uint32_t>& spirv, std::string& error);

} // namespace gfx
