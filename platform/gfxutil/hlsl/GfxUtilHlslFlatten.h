#pragma once
// The component-wise conversions of the dialect (platform/gfxutil/hlsl/GfxUtilHlsl.h)
// spelt out for glslang's HLSL front end, which converts only between values
// of one shape: an initialiser list is read as the flat run of the components
// of its items (`float4 a[2] = {1, v, 5}` with a float3 `v`), an array, struct,
// matrix or vector is cast into any other of no more components (`(int4) f`
// of a `float f[5]`, `(struct s) m`), an array or struct of the same
// components assigned or passed where another is expected, a constructor
// takes the components of an array, struct or matrix, and a struct takes the
// members of the one it derives from. Private to the HLSL compiler.

#include <cstddef>
#include <string>
#include <string_view>

namespace gfx::hlsl {

// The source with those forms written component by component, its lines
// where they were. False with the reason, and where in `source` the form
// stands in `errorAt`, for the forms the language refuses: an initialiser of
// too few or too many components, an array size left to an initialiser that
// does not divide into whole elements or to no initialiser, a cast from fewer
// components, or into or out of a matrix of other components. What the pass
// cannot type it leaves as written.
bool FlattenComponents(std::string_view source, std::string& out, std::string& error, std::size_t& errorAt);

// A base's member that a derived struct hides by a member of its name keeps
// its place in the derived struct under another name; this is the name it
// was declared with, which the table lists (any other name as it is).
std::string_view DeclaredMemberName(std::string_view name);

} // namespace gfx::hlsl
