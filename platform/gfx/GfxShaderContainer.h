#pragma once
// The code a high-level program compiles to on this device: its GLSL, its
// interface and its constant table, in one block the device takes in place
// of a token stream and the constant table reader rebuilds its table from,
// so a program recreated after a lost device needs nothing but its code.
//
// Layout (little-endian, every field u32 unless said):
//   magic: the bytes "OVHP", version (1), kind (0xFFFE0000 vertex, 0xFFFF0000
//   pixel, ORed with the profile's major << 8 | minor), total bytes, FNV-1a of
//   every byte after this field;
//   GLSL text: length, bytes;
//   inputs, outputs: count, then per semantic u8 usage, index, register, mask;
//   samplers: 16 x u8 (published sampler texture type, 0 unused);
//   float registers the program's register file holds;
//   constants: count, then per constant: name (length, bytes), u16 register
//   set, register index, register count, class, type, rows, columns,
//   elements, struct members, i16 parent (-1 top level), then default value
//   bytes (count, bytes).
// Anything cut, tampered, oversized or left over refuses the whole block.

#include "platform/gfx/GfxShaderTranslator.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

constexpr std::uint32_t kShaderContainerMagic = 0x5048564F; // the bytes "OVHP"
constexpr std::uint32_t kShaderContainerVersion = 1;

struct ShaderConstantRecord {
    std::string name;
    std::uint16_t registerSet = 0, registerIndex = 0, registerCount = 0;
    std::uint16_t cls = 0, type = 0, rows = 0, columns = 0, elements = 0, structMembers = 0;
    std::int16_t parent = -1;
    std::vector<std::uint8_t> defaultValue;
};

struct ShaderContainer {
    std::uint32_t kind = 0; // version token form: 0xFFFE0200 is vs_2_0
    std::string glsl;
    std::vector<ShaderSemantic> inputs, outputs;
    std::array<std::uint8_t, 16> samplers{};
    std::uint32_t constF = 0;
    std::vector<ShaderConstantRecord> constants;

    [[nodiscard]] bool Vertex() const { return (kind & 0xFFFF0000u) == 0xFFFE0000u; }
};

// The block for `c`, a whole number of 32-bit words (zero padded).
[[nodiscard]] std::vector<std::uint8_t> WriteShaderContainer(const ShaderContainer& c);
// Reads `size` bytes; false on anything not written by WriteShaderContainer.
[[nodiscard]] bool ReadShaderContainer(const void* data, std::size_t size, ShaderContainer& out);
// The container's program in the form the device composes and links token
// stream programs from (the 3.0 register model: its inputs read from v[],
// its outputs written to o[] or oC[]); false with `error` when the GLSL is not
// in the form the compiler writes.
[[nodiscard]] bool TranslateShaderContainer(const ShaderContainer& c, TranslatedShader& out, std::string& error);

// Whether a program's first word marks a container; its size then follows
// in the fourth word.
[[nodiscard]] bool IsShaderContainer(const std::uint32_t* words);
[[nodiscard]] std::size_t ShaderContainerSize(const std::uint32_t* words);

} // namespace gfx
