#pragma once
// The reader of a high-level source's global declarations
// (platform/gfxutil/hlsl/GfxUtilHlsl.h): types, structs, typedefs and each
// global's registers as written, before the layout gives them their places.
// Private to the HLSL compiler.

#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

struct TypeInfo {
    bool known = false, sampler = false, texture = false;
    std::uint16_t type = D3DXPT_FLOAT, rows = 1, columns = 1;
};

// "float", "int3", "half4x3", "sampler2D" ...
TypeInfo ParseType(std::string_view t);

// The `static const` integers declared so far, by name: array sizes may
// be written with them.
using Constants = std::map<std::string, long long, std::less<>>;

// A flat list of numbers in the braces at `open` initialising `elements`
// vectors or matrices of `per` numbers each (0 elements: as many as the
// numbers make), which this dialect allows and glslang does not: where each
// element's braces go. Nothing when the list is not such a list.
void GroupFlatList(const std::vector<Token>& t, std::size_t open, std::size_t per, std::size_t elements,
                   std::vector<std::size_t>& groupOpen, std::vector<std::size_t>& groupClose);

// A struct the source defines, as a constant of its type is laid out.
struct StructType {
    std::string name;
    std::vector<HlslMember> members;
    std::vector<HlslSourceEdit> edits;
    std::uint16_t registers = 0; // per element
    std::string refusal;         // why no constant can have this type ("" when one can)
    // A typedef's name for a scalar, vector or matrix type: `type` is that
    // type, and `edits` read the typedef's type word as a float.
    bool alias = false;
    TypeInfo type;
    // A matrix typedef's majority: its own word, else the pragma in force
    // where it was declared (0 none: the declaration's own decides).
    std::uint8_t majority = 0;
    std::uint32_t elements = 0; // `typedef float2x2 pair_t[2];`
};

// Majorities as "#pragma pack_matrix" and the typedefs keep them.
constexpr std::uint8_t kMajorityRows = 1, kMajorityColumns = 2;

// The structs defined so far, by name (a later definition replaces an
// earlier one), and how many members the globals of their types have taken
// in all: each global holds its own copy, and a source of many globals of a
// large struct would otherwise grow the layout past any table.
struct StructTypes {
    std::map<std::string, StructType, std::less<>> byName;
    std::size_t membersTaken = 0;
    // The members the definitions hold in all: a struct of structs holds
    // copies of theirs, and a few lines may define many of a large one.
    std::size_t membersHeld = 0;
    std::size_t anonymous = 0;        // structs without a name so far
    const StructType* last = nullptr; // the one read last
    // The majority the last "#pragma pack_matrix" (or the compile's flags)
    // set, 0 while none has: a typedef declared then keeps no majority.
    std::uint8_t latentMajority = 0;
};

// One global declaration statement [first, last) (last is the ';'), its
// globals added to `out`. False with `error`, and where in the source it
// stands in `errorAt`.
bool ReadStatement(const std::vector<Token>& t, std::size_t first, std::size_t last, bool rowsByDefault,
                   std::string_view profile, StructTypes& structs, Constants& constants,
                   std::vector<HlslGlobal>& out, std::string& error, std::size_t& errorAt);

} // namespace gfx::hlsl
