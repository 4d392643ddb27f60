#pragma once
// What a Direct3D 9 profile holds, and whether a compiled program fits it.
// Private to the HLSL compiler: no other library includes it.
// A program the D3D9 compiler would refuse for its size (more temporary or
// constant registers, instruction slots or flow-control nesting than its
// profile has) makes GLSL a driver takes too, then holds the caller for
// tens of seconds, or gigabytes, at creation or at the first draw. Such a
// program is refused at compile. The counts are estimates taken from the
// optimised SPIR-V, each leaning toward acceptance: what the D3D9 compiler
// takes must not be refused here.

#include "platform/gfxutil/hlsl/GfxUtilHlslTemporaries.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

struct HlslGlobal;

// The documented limits of a profile.
struct HlslProfileLimits {
    std::uint32_t temporaries = 0;    // temporary registers
    std::uint32_t floatConstants = 0; // float constant registers
    // Instruction slots: arithmetic ones and texture ones where the profile
    // counts them apart (textureSlots not 0), else all in `slots`.
    std::uint32_t slots = 0;
    std::uint32_t textureSlots = 0;
    std::uint32_t nesting = 0;       // flow control nested in flow control
    std::uint32_t switchNesting = 0; // `switch` nested in `switch`
    std::uint32_t loopNesting = 0;   // loops nested in loops
};

// The limits of a profile by its kind and version (vs_2_a is 2.1, ps_2_a 2.1
// and ps_2_b 2.2); all 0 for one it does not know. Shader model 3's slots
// are those the device's caps state (MaxVertexShader30InstructionSlots,
// MaxPixelShader30InstructionSlots), never fewer than 512.
[[nodiscard]] HlslProfileLimits HlslLimitsOf(bool vertex, std::uint32_t major, std::uint32_t minor);

// What a program takes of its profile, estimated from its SPIR-V.
struct HlslProgramSize {
    std::uint64_t arithmeticSlots = 0;
    std::uint64_t textureSlots = 0;
    // The deepest flow control kept as branches: loops, `switch`es and the
    // `if`s around them or written `[branch]`, 1 for one in the entry's body
    // (the D3D9 compiler flattens the other `if`s into selects).
    std::uint32_t nesting = 0;
    std::uint32_t switchNesting = 0; // the most `switch`es one in another
    std::uint32_t loopNesting = 0;   // the most loops one in another
};

// The instruction slots and nesting of glslang's optimised module `spirv`:
// each operation one slot, as few as the D3D9 compiler gives it (a multiply
// and the add of its product one `mad`; negation, absolute value and
// clamping free, as the modifiers they are; one of literals alone none,
// being folded; one of the program's constants as any other, as the
// program computes it for every vertex or pixel), a loop counted once, a
// loop of a few passes known at compile its body once per pass, nested
// passes multiplied (the compilers unroll it), what does not change in a
// loop once, a `switch` three slots a
// case, an element of an array of temporaries picked at run time two slots
// a register of the array, `sin` and `cos` eight, as `sincos` takes. False
// for a module it cannot walk.
// `unrollsEveryLoop` where the profile has no loop instructions; `arrays`
// the module's RunTimeIndexedArrays.
[[nodiscard]] bool EstimateHlslProgramSize(const std::vector<std::uint32_t>& spirv, bool unrollsEveryLoop,
                                           const std::vector<RunTimeArray>& arrays, HlslProgramSize& size);

// False, with the reason in `error` and where it stands in `source` (the
// text the module was made from) in `at`, when the program of `spirv`
// passes a limit of its profile: its arrays indexed at run time and
// written with computed values against the temporaries, its arrays of
// literals indexed at run time beside the constants it reads against the
// float constants, its instruction slots and its nesting. The reason names
// `profileText`. True also for a module it cannot walk: the passes after
// it say what is wrong with one.
[[nodiscard]] bool ProgramFitsProfile(const std::vector<std::uint32_t>& spirv, bool vertex, std::uint32_t major,
                                      std::uint32_t minor, const char* profileText, const char* entry,
                                      std::string_view source, std::size_t& at, std::string& error);

// False, with the reason in `error` and the declaration's name in `at`,
// when the float constants of `globals` as laid out (each up to the last
// register the program reads) reach past the profile's float constant
// registers: the device would refuse the program at its creation.
[[nodiscard]] bool ConstantsFitProfile(const std::vector<HlslGlobal>& globals, bool vertex, std::uint32_t major,
                                       std::uint32_t minor, const char* profileText, std::size_t& at,
                                       std::string& error);

} // namespace gfx
