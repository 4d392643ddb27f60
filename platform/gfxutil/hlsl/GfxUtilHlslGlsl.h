#pragma once
// SPIR-V of a high-level program (platform/gfxutil/hlsl/GfxUtilHlsl.h) to the GLSL
// 3.30 the device runs, through SPIRV-Cross, and the fix-ups of that GLSL
// and of the program container. Private to the HLSL compiler.

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace gfx::hlsl {

// SPIR-V to GLSL 3.30 with the register file and the interface named as the
// device names them; fills the container's interface.
bool SpirvToGlsl(std::vector<std::uint32_t> spirv, bool vertex, ShaderContainer& c, std::string& error);

// Reads of the stand-in float registers of boolean and integer constants
// turned into reads of the device's boolean and integer files. False, with
// nothing changed, when the program indexes its float registers by a
// computed index and a stand-in could then be read that way: unless each
// is a scalar the source placed in its own register.
// The type the table gives a sampler of `type` at `unit`: a `sampler`
// declared without a dimension is described by the lookups that read it
// (tex2D: D3DXPT_SAMPLER2D, texCUBE: D3DXPT_SAMPLERCUBE, tex3D:
// D3DXPT_SAMPLER3D), as the D3D9 compiler describes it; any other as declared.
std::uint16_t SamplerTypeRead(const ShaderContainer& c, std::uint16_t type, std::uint32_t unit);

bool ReadStandInsFromTheirFiles(std::string& glsl, bool vertex, const std::vector<HlslGlobal>& globals);

// The register file the code declares made to end with the last register of
// the table's constants, or the last one the code names if that is later.
// The file the block's layout makes ends with the member placed last, which
// may be one never read, before the end of an array read whole; past the
// table's last lie only registers never read (the end of a matrix read in
// part, constants never read), which would count against the device's file;
// but a matrix read in part is still loaded whole, naming registers past its
// last, which may be past every other constant's.
void FitRegisterFile(ShaderContainer& c, bool vertex);

} // namespace gfx::hlsl
