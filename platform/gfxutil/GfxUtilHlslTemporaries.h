#pragma once
// What a profile's temporary registers hold. Private to the HLSL compiler: no
// other library includes it.
// A local array read at an index computed at run time lives whole in the
// temporary registers of a Direct3D 9 program, so one larger than the
// profile has is refused at compile, as the D3D9 compiler refuses it: the
// GLSL made of it would compile, then hold the driver for many seconds (and
// gigabytes) at the first draw.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// The temporary registers of a profile by its kind and version (vs_2_a is
// 2.1, ps_2_a 2.1 and ps_2_b 2.2); 0 for one it does not know.
[[nodiscard]] std::uint32_t HlslTemporaryRegisters(bool vertex, std::uint32_t major, std::uint32_t minor);

// False, with the reason in `error`, when a variable of a function in
// `spirv` (glslang's module) is an array, or holds one, written with
// computed values (not only constants and literals) and read or written at
// an index known only at run time (made from
// the program's inputs, its constants or a function's parameters) and takes
// more than `registers`
// registers (a scalar or a vector one, a matrix one a column); `at` is then
// where its declaration stands in `source`, the text the module was made
// from (0 when not found). True also for a module it cannot walk: the
// passes after it say what is wrong with one.
[[nodiscard]] bool LocalArraysFitTemporaries(const std::vector<std::uint32_t>& spirv, std::uint32_t registers,
                                             std::string_view source, std::size_t& at, std::string& error);

} // namespace gfx
