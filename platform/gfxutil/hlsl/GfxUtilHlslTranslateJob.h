#pragma once
// The compile's translation as a worker runs it (platform/hlslhelper): the
// front end to SPIR-V, what the profile refuses of it, and its GLSL.

#include <cstdint>
#include <vector>

namespace gfx {

// glslang's process state and built-in symbol tables for both stages, and
// the first run of the SPIR-V optimiser and of the GLSL writer, made once
// by a fixed source: every job after starts with them made.
void WarmHlslTranslation();

// The translation of a request the host's compile made: its reply, empty
// for a request no host of this build makes.
[[nodiscard]] std::vector<std::uint8_t> TranslateHlslRequest(const std::vector<std::uint8_t>& request);

} // namespace gfx
