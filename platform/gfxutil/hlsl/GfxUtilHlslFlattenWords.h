#pragma once
// What the component-wise pass (platform/gfxutil/hlsl/GfxUtilHlslFlatten.h) reads
// of the words of a source: the shape of a value, the scalar, vector and
// matrix type words, qualifiers, control words and literals. Private to the
// HLSL compiler.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl::flatten {

// A value's type as the pass reads it.
struct Shape {
    enum class Kind : std::uint8_t { Unknown, Numeric, Struct };
    Kind kind = Kind::Unknown;
    std::string base; // as written: float, half, int, uint, bool, ...
    int rows = 1, cols = 1;
    bool matrix = false;
    std::string structKey;         // the definition, for a struct
    std::vector<std::size_t> dims; // outermost first; 0 where an initialiser gives the size

    bool Aggregate() const { return !dims.empty() || kind == Kind::Struct; }
    Shape Element() const {
        Shape s = *this;
        s.dims.erase(s.dims.begin());
        return s;
    }
    bool operator==(const Shape& o) const {
        return kind == o.kind && base == o.base && rows == o.rows && cols == o.cols && matrix == o.matrix &&
               structKey == o.structKey && dims == o.dims;
    }
};

// The scalar types the equality of two values' components compares: the
// D3D9 compiler keeps the low-precision ones as float and dword as uint.
std::string_view Canon(std::string_view base);

// "float", "int3", "half4x3" ...: false for any other word.
bool NumericWord(std::string_view w, Shape& s);

bool IsQualifier(std::string_view w);
bool IsControlWord(std::string_view w);
bool IsNumber(std::string_view w);
bool IsIntegerLiteral(std::string_view w);

// Whether the source has anything the pass could spell out or refuse: an
// array, a struct, a typedef, a matrix type word or a brace after '='. Most
// programs have one; a source of none is not read token by token at all.
bool MayHoldComponentForms(std::string_view source);

} // namespace gfx::hlsl::flatten
