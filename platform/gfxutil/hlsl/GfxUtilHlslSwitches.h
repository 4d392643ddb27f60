#pragma once
// Large `switch` statements of the GLSL SPIRV-Cross writes, put in a form the
// device's driver runs right. Private to the HLSL compiler.
//
// Mesa's GLSL compiler turns a switch into a chain of `if`s, each case nested
// in the `else` of the one before, and its software rasteriser keeps a stack
// of 80 nested conditions: past that depth it drops the condition, so from
// about the 79th case on a switch gives the default, or nothing. The program's
// own nesting takes from the same stack.

#include <cstddef>
#include <string>

namespace gfx::hlsl {

// The labels a switch may have and still be written as a switch.
constexpr std::size_t kMaxSwitchLabels = 16;

// Each switch of more than kMaxSwitchLabels labels rewritten as two balanced
// trees of comparisons, nested about log2(labels) deep: the first finds the
// group of labels the value takes (or the default's), the second runs that
// group's statements, and those of the groups it falls through to. The whole
// stands in a `switch (0)` of a default alone, so that a `break` in the
// statements still leaves it and a `continue` still reaches the loop around
// it. A switch not in the form SPIRV-Cross writes (labels that are not
// integer literals, statements outside braces) is left as it is. The number
// of switches rewritten.
std::size_t SplitLargeSwitches(std::string& glsl);

} // namespace gfx::hlsl
