#pragma once
// SPIR-V from glslang's HLSL front end put in the forms SPIRV-Cross turns into
// GLSL the device runs. Private to the HLSL compiler: no other library
// includes it. Each returns false, with the module as it was, when the module
// is not in the form glslang writes.

#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// A pixel program's VPOS input made an input of its own again: glslang makes
// it GL's window position whenever the parameter is written with `in` (or is
// an SV_Position of fewer than four components), a built-in declared with the
// parameter's type, which GLSL has only as a vec4 measured from the bottom
// left. The caller maps the input to the position the D3D9 rules give.
[[nodiscard]] bool ReadPixelPositionAsInput(std::vector<std::uint32_t>& spirv);

// A component of a constant vector picked by a value computed at run time
// ("G[i]" in a loop) read as the whole vector, then the component: a
// register file holds whole registers, so SPIRV-Cross cannot flatten a
// pointer to one component at a computed place.
[[nodiscard]] bool ExtractDynamicConstantComponents(std::vector<std::uint32_t>& spirv);

// A row of a constant matrix kept by columns (HLSL's default) picked at run
// time ("M[j]" in a loop) read from a copy of the whole matrix: its row is
// spread over the registers, and SPIRV-Cross can flatten only a pointer to
// whole registers. Runs after ExtractDynamicConstantComponents.
[[nodiscard]] bool CopyDynamicallyIndexedMatrices(std::vector<std::uint32_t>& spirv);

// A local array that is a copy of an array of the constants (an array
// passed to a function, a kernel of offsets handed to a filter) read where
// the copy came from: each element stored once from the same whole load,
// every other use a read of a scalar or vector element. The D3D9 compiler
// reads such a parameter from its registers in place; a copy spelt out
// costs GL drivers seconds of code generation on every program that holds
// one, whose reads after it add up to nothing. Other arrays are kept.
[[nodiscard]] bool ReadConstantArrayCopiesInPlace(std::vector<std::uint32_t>& spirv);

// Loads of a whole array out of the constants (an array passed to a
// function: a bone palette handed to a skinning helper) made loads of each
// element, put together again: the register file the constants become
// holds no arrays, only registers, and SPIRV-Cross flattens loads of single
// elements only. Structs holding arrays are split the same way. So is a
// whole matrix whose value is taken apart, column by column, or that is a
// factor of a product taken apart (a cast of `mul(World, View)`):
// SPIRV-Cross loses the transposition of a flattened matrix kept by rows
// there (a row of a matrix handed to a function read a column). False on a
// module not in the form glslang writes.
bool SplitConstantArrayLoads(std::vector<std::uint32_t>& spirv);

// The module legalised as glslang legalises what it makes of HLSL (for
// SPIR-V that a target can run: functions inlined, locals in registers, dead
// code gone), with the same passes in the same order, and the same result.
// Straight code (every function one block) is not given the passes of
// branches and returns, nor, where the first dead-code round leaves nothing
// for them, the passes after it: either would leave it as it is. False,
// the module as it was, where the optimiser refuses it.
[[nodiscard]] bool LegaliseHlslSpirv(std::vector<std::uint32_t>& spirv);

// Loops unrolled where the module picks an element of a sampler array by a
// value computed at run time (`tex2D(samplers[i], uv)` in a loop over the
// stages), as the D3D9 compiler unrolls them: a sampler is picked by a
// literal there, and GLSL 3.30 picks one by a constant only. Each loop not
// written `[loop]` whose count its header shows (up to 1024 passes, as that
// compiler's bound) is unrolled, while all of them unrolled stay a
// program's size, and the values made constant by that folded. The module
// unchanged when it picks no sampler so; false, the module left as it was,
// on one the optimiser does not take.
[[nodiscard]] bool UnrollLoopsPickingSamplers(std::vector<std::uint32_t>& spirv);

// Whether every variable and null value of the module holds at most
// uiMaxComponents scalars. Arrays nest (a struct of arrays in an array), so
// a few lines of source can declare billions of them; the GLSL written for
// such a variable (its zero value spelt out) would not fit in memory. False
// with the reason for the first one over; false, with no reason, on a module
// not in the form glslang writes.
[[nodiscard]] bool VariablesWithin(const std::vector<std::uint32_t>& spirv, std::uint64_t uiMaxComponents,
                                   std::string& error);
} // namespace gfx
