#pragma once
// A second GLSL compiler for the tests: glslang's GLSL front end, taking the
// sources the device composes as GLSL 3.30 core, the way a driver must. The
// null back end runs it on every program a test makes (through its test
// hook), so a program whose code no driver would compile is refused there
// too, and the tests that never reach a driver still see it.

#include "platform/gfx/GfxShaderTranslator.h"

#include <string>

namespace gfxtest {

// Whether `source` compiles and links alone as a vertex or fragment stage;
// glslang's log in `log` either way.
[[nodiscard]] bool GlslangAccepts(const std::string& source, bool vertex, std::string& log);

// The program's stage as the device compiles it when the program is made,
// and the fixed-function pairing's, through glslang: false with the log (on
// one line) when either is refused.
[[nodiscard]] bool GlslangAcceptsProgram(const gfx::TranslatedShader& program, std::string& failure);

// The null back end's check, for the whole test program: set when this file
// is linked in.
void UseGlslangOnNullDevices();

} // namespace gfxtest
