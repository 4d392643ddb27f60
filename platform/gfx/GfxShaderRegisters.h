#pragma once
// The registers each program version has, as the published register tables
// give them, and the walk that holds a token stream to them. A register past
// its version's range has no storage in the program the device runs: such a
// stream is refused when it is created, never drawn.

#include "platform/gfx/GfxTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace gfx {

// How many registers of each kind a version has; 0: none of that kind.
struct ShaderRegisterLimits {
    std::uint32_t temps = 0;       // r#
    std::uint32_t inputs = 0;      // v#
    std::uint32_t constF = 0;      // c#
    std::uint32_t constI = 0;      // i#
    std::uint32_t constB = 0;      // b#
    std::uint32_t address = 0;     // a0 (vertex)
    std::uint32_t textures = 0;    // t# (pixel before 3.0)
    std::uint32_t samplers = 0;    // s#
    std::uint32_t loop = 0;        // aL
    std::uint32_t predicate = 0;   // p0
    std::uint32_t rastOut = 0;     // oPos, oFog, oPts (vertex before 3.0)
    std::uint32_t attrOut = 0;     // oD# (vertex before 3.0)
    std::uint32_t texCoordOut = 0; // oT# (vertex before 3.0)
    std::uint32_t outputs = 0;     // o# (vertex 3.0)
    std::uint32_t colorOut = 0;    // oC# (pixel 2.0 on)
    std::uint32_t depthOut = 0;    // oDepth (pixel 2.0 on)
    std::uint32_t misc = 0;        // vPos, vFace (pixel 3.0)
};

// The limits of a version token (vs_1_1 .. ps_3_0); all 0 for a version the
// device does not know. Where a table leaves a count to the device (vertex
// constants, 2_x temporaries and predication, colour outputs), `caps` gives it.
[[nodiscard]] ShaderRegisterLimits ShaderRegisterLimitsOf(std::uint32_t versionToken, const D3DCAPS9& caps);

// The version's name as a program text writes it ("ps_1_4"), "?" for none.
[[nodiscard]] std::string ShaderVersionName(std::uint32_t versionToken);

// Walks a token stream (the version token first) and holds every register
// an instruction names (destinations, sources, relative addresses,
// declarations, definitions) to `limits`. False with `error` naming the
// first instruction and register outside them, or a stream that does not
// walk; labels are left to the instructions that take them.
[[nodiscard]] bool CheckShaderRegisters(const std::uint32_t* tokens, std::size_t count,
                                        const ShaderRegisterLimits& limits, std::string& error);

} // namespace gfx
