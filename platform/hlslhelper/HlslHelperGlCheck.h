#pragma once
// The gl back end's check (platform/gfx/GfxGlProgramGate.h) as the helper
// runs it: the request read, the pair compiled, linked and drawn once on a
// GL context of its own, the verdict written.

namespace gfx::helper {

// Runs the check; ends the process.
[[noreturn]] void RunGlCheck();

} // namespace gfx::helper
