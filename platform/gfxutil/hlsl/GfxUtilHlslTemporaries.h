#pragma once
// What a profile's temporary registers hold. Private to the HLSL compiler: no
// other library includes it.
// An array read at an index computed at run time, local or `static`, lives
// whole in the temporary registers of a Direct3D 9 program, so arrays
// larger together than the profile has are refused at compile, as the D3D9
// compiler refuses them: the GLSL made of them would compile, then hold the
// driver for many seconds (and gigabytes) at the first draw.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// The temporary registers of a profile by its kind and version (vs_2_a is
// 2.1, ps_2_a 2.1 and ps_2_b 2.2); 0 for one it does not know.
[[nodiscard]] std::uint32_t HlslTemporaryRegisters(bool vertex, std::uint32_t major, std::uint32_t minor);

// An array of the program (a function's variable, or a `static` one) read
// or written at an index known only at run time (made from the program's
// inputs, its constants or a function's parameters).
struct RunTimeArray {
    enum class Holds {
        Temporaries, // written with computed values: temporary registers
        Literals,    // written with literals only: constant registers of its own
    };
    std::uint32_t id = 0; // its variable in the module
    Holds holds = Holds::Temporaries;
    std::uint64_t registers = 0; // a scalar or a vector one, a matrix one a column
    std::uint64_t elements = 0;  // of its outermost array
    bool isStatic = false;
};

// The run-time indexed arrays of `spirv` (glslang's module) in the order
// they are declared; one written only with copies of the program's
// constants (an array handed to a function) is left out, being those
// constants. False for a module it cannot walk.
[[nodiscard]] bool RunTimeIndexedArrays(const std::vector<std::uint32_t>& spirv, std::vector<RunTimeArray>& arrays);

// The name of `array` as declared in `source` (the text the module was made
// from), found by its size, and where the name stands in `at`; empty, `at`
// untouched, when not found.
[[nodiscard]] std::string FindArrayDeclaration(std::string_view source, const RunTimeArray& array, std::size_t& at);

// False, with the reason in `error`, when the arrays of a module (its
// RunTimeIndexedArrays: none for a module that cannot be walked, whose
// fault the passes after say) written with computed values (not only
// constants and literals) take together more than `registers` registers:
// the D3D9 compiler gives each registers of its own. `at` is then where the
// largest one's declaration stands in `source`, the text the module was
// made from (0 when not found).
[[nodiscard]] bool LocalArraysFitTemporaries(const std::vector<RunTimeArray>& arrays, std::uint32_t registers,
                                             std::string_view source, std::size_t& at, std::string& error);

} // namespace gfx
