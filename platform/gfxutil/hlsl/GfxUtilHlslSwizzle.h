#pragma once
// Matrix swizzles of more than one component (`m._21_31_11_12`,
// `m._m01_m10 = v`) put in forms glslang's HLSL front end reads: it takes
// only a whole row that way and gives a constant for any other pick. Private
// to the HLSL compiler.

#include <string>
#include <string_view>

namespace gfx::hlsl {

// A read becomes a vector built of the single components; a plain `=` to one
// (a statement of its own, no component twice) becomes the value kept once
// and written component by component. The base must be free of calls and
// increments, being named once per component; other forms stay as they are.
// Lines stay the file's.
std::string MatrixSwizzlesByComponent(std::string_view source);

// A matrix named among the arguments of a constructor of several
// (`float4x4(1, 2, 3, 4, float3(5, 6, 7), 8, 9, 10, a, 15, 16)`) given as
// its rows, which glslang reads right: it takes the matrix itself for a
// vector. Names declared with more than one type stay as they are.
std::string MatrixArgumentsByRows(std::string_view source);

// `mul` of a one-component vector and a matrix, which stops glslang: the
// vector widened with zeros to the matrix's rows (on the left) or columns
// (on the right), which gives the D3D9 compiler's product: the first row, or
// the first column, scaled. Only names declared with one type each.
std::string OneComponentProducts(std::string_view source);

} // namespace gfx::hlsl
