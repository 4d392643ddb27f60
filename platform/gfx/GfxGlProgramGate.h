#pragma once
// The gl back end's bound on program creation: a large program is first
// compiled, linked and drawn once by a check process with a GL context of its
// own, within a deadline, and refused when that process fails, dies or runs
// out of time. The driver's time on a program is not proportional to
// anything a count before it can see (a long chain of work on uniforms, loops
// nested and unrolled), and some programs crash it; the check takes that
// time and those crashes out of the game's process.
//
// The check process is the helper program (platform/hlslhelper) in its
// gl-check role, started by exec beside the game's binary (or where the
// build made it): nothing of the caller's runs in it, and the caller runs
// nothing before main for it.

#include "platform/gfx/GfxShaderTranslator.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace gfx {

// A program is checked when its estimate passes this: the bytes of its code
// (its globals and subroutines, the device's own frame around them not
// counted) plus kGlGateCostlyCallBytes per call the driver expands into long
// code. The driver's time grows faster than the text: 200 `sin`s in a chain
// take llvmpipe 1.4 s to draw first, 500 take 7-12 s on a busy machine.
// About one program in a hundred of a real-world set of 1,300 passes it.
inline constexpr std::size_t kGlGateEstimate = 16 * 1024;
inline constexpr std::size_t kGlGateCostlyCallBytes = 128;
// Loops nested this deep or deeper are checked, whatever the estimate: the
// driver unrolls nested loops into each other.
inline constexpr int kGlGateLoopDepth = 3;
// The check's budget: compile, link and one draw, in the check process's
// own processor time (all its threads), so that whether a program passes
// does not hang on how busy the machine is. The game's own compile then
// link and first draw of the same text take about as long again each, so
// each of them stays within the high-level compile's own 20 s.
inline constexpr std::chrono::milliseconds kGlGateTime{10000};
// The clock's backstop, for a check that does not run (stopped, starved):
// this many times the budget.
inline constexpr int kGlGateWallTimesProcessorTime = 5;

// Whether a program is large enough to be checked before it is made.
[[nodiscard]] bool NeedsGlProgramGate(const TranslatedShader& program);

// The deepest nesting of `for`, `while` and `do` blocks in GLSL text (an
// estimate: comments and strings are not told apart, which the writers of
// this text never emit inside code).
[[nodiscard]] int GlslLoopDepth(const std::string& code);

// How many calls of functions the driver expands into long code
// (trigonometry, exponentials, logarithms, powers) GLSL text makes.
[[nodiscard]] int GlslCostlyCalls(const std::string& code);

// Checks `stage` (the GLSL the device compiles the program as, from
// ComposeProgramStage) paired with a trivial partner in a check process;
// true when it compiled, linked and drew within the deadline, else false
// with the reason in `failure`. The result is kept per text: a program made
// again is not checked again. `driver`: the SDL video driver the check
// process uses (the caller's), null for SDL's own choice.
[[nodiscard]] bool RunGlProgramGate(const TranslatedShader& program, const std::string& stage, const char* driver,
                                    std::string& failure);

} // namespace gfx
