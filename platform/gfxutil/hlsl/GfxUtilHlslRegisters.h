#pragma once
// Passes over the SPIR-V of a high-level program (platform/gfxutil/hlsl/GfxUtilHlsl.h)
// about its float constant registers: which of them the program reads, and
// indices into them taken as the address register takes them.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace gfx {

// A constant of which the program may read any register.
constexpr std::uint32_t kHlslEveryRegister = ~0u;

// For each member of the constant block the program reads, by name: the
// number of registers from its first to the last one the program reads, as
// the D3D9 compiler counts them (a matrix of which three columns are used
// takes three), or kHlslEveryRegister when an index computed at run time
// reaches it or a read cannot be followed. Members never read are absent.
// False on a module not in the form glslang writes.
[[nodiscard]] bool HlslRegistersRead(const std::vector<std::uint32_t>& spirv,
                                     std::map<std::string, std::uint32_t>& registers);

// The names of the globals the program reads, as SPIRV-Cross's reflection
// of the active resources names them: each member of a constant block that
// an access chain in a function picks (the first index of the chain), and
// each combined sampler a function uses. False on a module not in the form
// glslang writes.
[[nodiscard]] bool HlslActiveGlobals(const std::vector<std::uint32_t>& spirv, std::set<std::string>& names);

// Indices into the constant block made from a float (`Bones[blendIndex.x]`)
// converted as the address register converts them, rounded to the nearest
// integer and signed, in place of the unsigned conversion glslang writes
// (undefined for a negative value, and one GLSL 3.30 cannot add to the
// register's offset); other unsigned indices made signed. False on a module
// not in the form glslang writes.
[[nodiscard]] bool HlslAddressRegisterIndices(std::vector<std::uint32_t>& spirv);

} // namespace gfx
