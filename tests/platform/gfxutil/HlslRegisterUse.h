#pragma once

// Which float constant registers a compiled program's code reads, found from
// the GLSL its container carries (compiled again by glslang's GLSL front end
// and followed from the program's outputs back to the registers), and
// whether its constant table gives each of them to a constant: a table that
// says otherwise has the caller set one constant's values into another's
// registers.

#include "platform/gfx/GfxShaderContainer.h"

#include <set>
#include <string>

namespace gfx::test {

struct RegisterUse {
    std::set<unsigned> registers; // read at constant places, whose values reach an output
    bool computed = false;        // some register is picked by a value computed at run time
};

// The float registers the container's code reads; false with `error` when
// its GLSL cannot be followed.
[[nodiscard]] bool RegistersTheCodeReads(const ShaderContainer& c, RegisterUse& use, std::string& error);

// Empty when every register the code reads lies in the range the table
// gives a float constant; else which registers lie in none, and the table.
[[nodiscard]] std::string RegistersReadOutsideTheTable(const ShaderContainer& c);

} // namespace gfx::test
