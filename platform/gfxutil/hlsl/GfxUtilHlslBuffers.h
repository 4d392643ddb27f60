#pragma once
// Constant buffers at the DX9 profiles. Private to the HLSL compiler.

#include <string>
#include <string_view>

namespace gfx::hlsl {

// `cbuffer` and `tbuffer` blocks opened into their members: shader models 2
// and 3 have no buffers, the D3D9 compiler lays each member out as a global
// constant of its own and tables it so. Their names, registers (bN) and
// annotations go; a member's `packoffset(cN)` becomes `register(cN)`. Lines
// and columns stay the file's.
std::string OpenConstantBuffers(std::string_view source);

} // namespace gfx::hlsl
