#pragma once

// A stage's sampler states as the parameters of an OpenGL sampler object.

#include "platform/gfx/Gfx.h"

#include <epoxy/gl.h>

#include <array>
#include <cstdint>

namespace gfx {

using SamplerStates = std::array<std::uint32_t, DeviceState::kSamplerStates>;

// Wrap S, T, R, mag and min filter, the most detailed level, the bias's
// bits and a spare word; compared whole to skip sending them again.
using GlSamplerParams = std::array<GLint, 8>;

// Mirrored once needs GL 4.4 or its extension; without either it clamps.
[[nodiscard]] GLint GlAddress(std::uint32_t mode, bool mirrorOnce);

// Address modes, filters, mip choice and bias.
[[nodiscard]] GlSamplerParams GlSamplerParamsOf(const SamplerStates& ss, bool mirrorOnce);

void ApplyGlSamplerParams(GLuint sampler, const GlSamplerParams& params);

} // namespace gfx
