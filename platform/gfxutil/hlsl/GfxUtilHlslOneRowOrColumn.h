#pragma once
// Values of one component and matrices of one row or one column (`float1`,
// `float1x4`, `float3x1`, `float1x1`) put in forms glslang's HLSL front end
// reads as the D3D9 compiler reads them. glslang keeps such a matrix as a
// type it can neither build nor convert, and a `float1` as a vector no wider
// one combines with; the D3D9 compiler treats each as the vector (or the
// scalar) of its components, with a matrix's indexing, swizzles and
// products. Private to the HLSL compiler.

#include <cstddef>
#include <string>
#include <string_view>

namespace gfx::hlsl {

// The source with every local, parameter, return type and `static` global
// of such a shape declared as the vector (or scalar) of its components, and
// what reads it as a matrix made to read the vector: a row index of a
// one-row matrix, matrix swizzles, `transpose`, `determinant`, `mul` with a
// matrix and sums with one. The uniform globals keep their type words: the
// layout gives them their registers (GfxUtilHlslLayout.h). Scalar forms of
// `normalize`, `reflect` and `refract`, and `refract` with a vector ratio
// (whose first component counts), come as overloads in front of the first
// declaration. A row index of a conditional of such values is the
// vector's too. False with `error` (and where in the source in `errorAt`)
// for what the D3D9 compiler refuses of these shapes: a one-row matrix
// returned as a one-column one and the other way round, a vector returned
// or cast as a one-column matrix of another size, such a matrix (or for
// `dst` a `float1`) given to an intrinsic that takes vectors, and a
// condition whose shape fits neither its operands nor one component.
// Names are taken in their scopes; an expression of more than one name or
// number is left as it is. Lines stay the file's.
bool OneRowOrColumnShapes(std::string_view source, std::string& out, std::string& error, std::size_t& errorAt);

} // namespace gfx::hlsl
