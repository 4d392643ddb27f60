#pragma once
// The register layout of a high-level source's globals
// (platform/gfxutil/hlsl/GfxUtilHlsl.h), and the source rewritten to bind each
// global where the layout puts it. Private to the HLSL compiler.

#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

// Registers for the globals: explicit `register()` ones where they say, the
// rest in order in the lowest free run. Only what the program reads may not
// overlap (a file's variations often bind several samplers to one unit and
// read one); until that is known (`overlapsAllowed`) explicit registers are
// taken as given. What the program never reads takes no register, though an
// explicit one still keeps the others out of its own. False with `error`,
// and the refused global's name in `errorAt`.
bool Assign(std::vector<HlslGlobal>& globals, std::string& error, std::size_t& errorAt, bool overlapsAllowed = false);

// The source glslang compiles: every global given its register, and int and
// bool globals read as floats (the D3D9 compiler keeps them in float
// registers, and one float register file holds them all here).
std::string Rewrite(std::string_view source, const std::vector<HlslGlobal>& globals);

} // namespace gfx::hlsl
