#pragma once
// Forms of the language the D3D9 compiler refuses and glslang's HLSL front
// end takes: a swizzle written to that names a component twice, `uniform` on
// a return type, a struct declaring neither a name nor a variable, an array
// of more than 65,536 elements, an attribute given twice, a default value on
// an `out` parameter, a modifier given twice or with one it excludes, a
// `const` local without its value, a storage word on a local, a typedef
// naming a built-in type, a parameter of the entry without a semantic, an
// integer divided by a constant zero, a numeric constructor of one literal
// (`float2(1)`), a file-scope constant's value reading another constant,
// a vector indexed by a one-component vector or written at an index read
// from a constant, a static struct holding an
// object, a majority on a struct or against a typedef's own, `null`, an
// output of the entry that is an array of structs, a fog or point-size
// output of more than one value below vs_3_0, a loop of 1,024 runs or more
// unrolled without a count, switches whose cases fall through, a call
// between overloads taking the same values, and a type word naming a variable
// at file scope. Private to the HLSL compiler: no
// other library includes it.

#include <cstddef>
#include <string>
#include <string_view>

namespace gfx {

// The first form of the list above in `source`, the
// preprocessed text of a compile whose entry is `entry`: false, with where
// it stands in `at` and the reason in `error`. The profile, where it is
// known, refuses more: below vs_3_0 fog and point size outputs of more
// than one value.
struct RefusalProfile {
    bool known = false, vertex = false;
    unsigned major = 0, minor = 0;
};
[[nodiscard]] bool RefuseInvalidForms(std::string_view source, std::string_view entry, std::size_t& at,
                                      std::string& error, RefusalProfile profile = {});

} // namespace gfx
