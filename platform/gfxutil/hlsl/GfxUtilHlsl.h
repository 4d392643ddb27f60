#pragma once
// High-level programs in the DX9 dialect to this device's program container
// (platform/gfx/GfxShaderContainer.h): glslang's HLSL front end makes
// SPIR-V, SPIRV-Cross makes GLSL 3.30 whose float constants are one register
// file array, laid out as the D3D9 compiler lays out its registers.

#include "platform/gfx/GfxShaderContainer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gfx {

struct D3DXMACRO;

// A change to the source the compiler sees.
struct HlslSourceEdit {
    std::size_t at = 0, erase = 0;
    std::string text;
};

// One member of a struct-typed global: the D3D9 compiler gives each member
// registers of its own, in declaration order. A member that is itself a
// struct (or an array of them) is followed by its own members, those of its
// first element, each naming it as its parent.
struct HlslMember {
    std::string name;
    std::uint16_t cls = 0, type = 0, rows = 1, columns = 1, elements = 0;
    // From the first register of one element of the global: a nested
    // member's counts from there too, through its struct's first element.
    std::uint16_t registerOffset = 0, registerCount = 0;
    std::uint16_t structMembers = 0; // a struct member's own members
    std::int32_t parent = -1;        // the struct member it belongs to (its index), -1 the global
};

// One global the source declares, as the register layout sees it.
struct HlslGlobal {
    std::string name;
    std::uint16_t registerSet = 0;  // D3DXRS_*
    std::uint16_t cls = 0, type = 0, rows = 1, columns = 1, elements = 0;
    std::uint16_t registerIndex = 0, registerCount = 0;
    // The registers as declared, before what the program reads trims
    // registerCount: an explicit register() keeps all of them from the others.
    std::uint16_t declaredCount = 0;
    bool explicitRegister = false;
    std::size_t typeBegin = 0, typeEnd = 0; // the type word in the source
    std::size_t nameAt = 0;                 // its name in the declarator
    std::size_t insertAt = 0;               // just after the declarator
    std::vector<float> defaults;
    bool unsignedWord = false; // declared `uint` or `dword`: its value reads as unsigned in expressions
    // Source the compiler must not see, blanked keeping lines and columns:
    // an effect's texture declaration (then this is no constant) or a
    // sampler's sampler_state block (the effect keeps the states).
    std::size_t eraseBegin = 0, eraseEnd = 0;
    bool effectOnly = false; // a texture or a static: no constant
    // The program never reads it: no constant in the table, and no register
    // among the used ones (made static when its statement allows).
    bool unused = false;
    bool staticOk = false; // the statement declares it alone, with no storage word
    // Its struct type is defined in its own statement without `uniform`:
    // glslang keeps such a global out of the constants unless given the word.
    bool uniformWord = false;
    // Its type is a typedef's name: the typedef's own type word is what is
    // read as a float (in `structEdits`), not the name.
    bool aliasType = false;
    // Boolean and integer registers: the program reads them from the device's
    // boolean or integer file; for the compiler they stand in float
    // registers past all others (`shadowIndex`), whose reads are then turned
    // into reads of the right file.
    bool rowsFromPragma = false; // row-major by "#pragma pack_matrix", not by a word of its own
    // A matrix of one row or one column, or a `float1`: glslang keeps no
    // type of that layout, so the rewriting gives it one that reads the same
    // registers, and the packing word written (begin, size) gives way.
    bool oneRowOrColumn = false;
    std::pair<std::size_t, std::size_t> packingWord{0, 0};
    bool shadow = false;
    std::uint16_t shadowIndex = 0;
    // Each ": register(...)" (and ": packoffset(...)") written after it, for
    // every profile: the compiler sees instead the one register the layout
    // gives it.
    std::vector<std::pair<std::size_t, std::size_t>> registerSpans;
    // A flat list of numbers initialising an array of vectors or matrices,
    // which this dialect allows and glslang does not: where each element's
    // braces go.
    std::vector<std::size_t> groupOpen, groupClose;
    // A struct: its members, and the edits of its definition that pad each
    // member out to whole registers (glslang would pack a scalar into the
    // register of the vector before it).
    std::vector<HlslMember> members;
    std::vector<HlslSourceEdit> structEdits;
};

// The non-static globals of `source` (preprocessed) in declaration order,
// registers given as the D3D9 compiler gives them: explicit `register()`
// first, then the rest in order in the lowest free run. `profile` is the
// target compiled for ("vs_2_0"): a register written for a profile
// (`register(vs, c0)`, `register(ps_2_0, s1)`) binds the global only in a
// program of that stage or that target, the target's own before its
// stage's, and either before one written for every profile; with no profile
// only the latter bind. Array sizes are integer constant expressions, of
// numbers and `static const` integers declared before. Explicit registers
// that overlap are kept: only those of constants the program reads may not,
// which the compile finds out. False with `error` on a global the layout
// cannot take, and where in `source` it stands in `errorAt`.
[[nodiscard]] bool LayoutHlslGlobals(std::string_view source, std::vector<HlslGlobal>& globals, std::string& error,
                                     std::string_view profile = {}, std::size_t* errorAt = nullptr,
                                     std::uint8_t majority = 0);

// The steps (tokens and bytes looked at) the text passes of the last compile
// or layout on this thread took. They run in the caller before glslang's
// child, so their work must grow no faster than the source; checked by tests.
[[nodiscard]] std::uint64_t LastHlslPassSteps();

// Compiles `source` (named `name` in messages) for `entry` and `profile`,
// preprocessed first (GfxUtilPreprocess.h) with `defines` and the include
// folders. True with the container's bytes; false with errors one per line
// as "file(line,col): error: text", the file and line of the text the
// problem stands on. `majority` is that of matrices before any
// "#pragma pack_matrix": 0 column-major, as is the rule, 1 row-major (the
// compile flag's), 2 column-major by the flag.
[[nodiscard]] bool CompileHlsl(std::string_view source, const char* name, const D3DXMACRO* defines, const char* entry,
                               const char* profile, std::vector<std::uint8_t>& code, std::string& errors,
                               std::uint8_t majority = 0);

} // namespace gfx
