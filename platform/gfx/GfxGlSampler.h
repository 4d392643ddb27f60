#pragma once

// A stage's sampler states as the parameters of an OpenGL sampler object.

#include "platform/gfx/Gfx.h"

#include <epoxy/gl.h>

#include <array>
#include <cstdint>

namespace gfx {

using SamplerStates = std::array<std::uint32_t, DeviceState::kSamplerStates>;

// Wrap S, T, R, mag and min filter, the most detailed level, the bias's
// bits, the anisotropy, and the border colour's four floats (as bits) in the
// order the texture stores its channels; compared whole to skip sending them
// again.
using GlSamplerParams = std::array<GLint, 12>;

// What the driver filters beyond OpenGL 3.3's core.
struct GlSamplerLimits {
    bool mirrorOnce = false;        // GL 4.4 or its extension; without, mirroring once clamps
    std::uint32_t maxAnisotropy = 1; // 1: no anisotropic filtering
};

// The driver's limits, asked through the current context.
[[nodiscard]] GlSamplerLimits QueryGlSamplerLimits();

[[nodiscard]] GLint GlAddress(std::uint32_t mode, bool mirrorOnce);

// Address modes, filters, mip choice, bias, anisotropy and border colour, for
// a texture sampled through `swizzle` (its storage's channels to red, green,
// blue, alpha).
[[nodiscard]] GlSamplerParams GlSamplerParamsOf(const SamplerStates& ss, const GlSamplerLimits& limits,
                                                const GLint swizzle[4]);

void ApplyGlSamplerParams(GLuint sampler, const GlSamplerParams& params, const GlSamplerLimits& limits);

} // namespace gfx
