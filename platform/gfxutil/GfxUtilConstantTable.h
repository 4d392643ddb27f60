#pragma once
// The constant table of a compiled high-level program, read from the
// program's code, and its setters writing the device's constant registers
// as the published table writes them.

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilEffect.h" // D3DXHANDLE, D3DXPC_*, D3DXPT_*
#include "platform/gfxutil/GfxUtilMath.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace gfx {

// A float bound for an integer register: a value past the register's range
// (a stored default of a damaged program or effect, a caller's 1e10) holds
// at the range's end rather than wrapping, and NaN counts nothing.
inline std::int32_t IntegerRegisterValue(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// D3DXREGISTER_SET
constexpr std::uint32_t D3DXRS_BOOL = 0, D3DXRS_INT4 = 1, D3DXRS_FLOAT4 = 2, D3DXRS_SAMPLER = 3;

struct D3DXCONSTANTTABLE_DESC {
    const char* Creator = nullptr;
    std::uint32_t Version = 0;
    std::uint32_t Constants = 0;
};

struct D3DXCONSTANT_DESC {
    const char* Name = nullptr;
    std::uint32_t RegisterSet = 0, RegisterIndex = 0, RegisterCount = 0;
    std::uint32_t Class = 0, Type = 0, Rows = 0, Columns = 0, Elements = 0, StructMembers = 0, Bytes = 0;
    const void* DefaultValue = nullptr;
};

class ID3DXConstantTable final : public Unknown {
public:
    // Null unless `code` is a whole program container.
    static ID3DXConstantTable* FromCode(const void* code, std::size_t size);

    const void* GetBufferPointer() const { return m_code.data(); }
    [[nodiscard]] std::uint32_t GetBufferSize() const { return std::uint32_t(m_code.size()); }
    HRESULT GetDesc(D3DXCONSTANTTABLE_DESC* desc) const;
    // `count` in: room in `descs`; out: descriptions written (1 for one constant).
    HRESULT GetConstantDesc(D3DXHANDLE constant, D3DXCONSTANT_DESC* descs, std::uint32_t* count) const;
    // The sampler unit, or ~0u for a constant that is no sampler.
    [[nodiscard]] std::uint32_t GetSamplerIndex(D3DXHANDLE constant) const;
    D3DXHANDLE GetConstant(D3DXHANDLE parent, std::uint32_t index) const;
    D3DXHANDLE GetConstantByName(D3DXHANDLE parent, const char* name) const;
    D3DXHANDLE GetConstantElement(D3DXHANDLE constant, std::uint32_t index) const;

    HRESULT SetDefaults(IDirect3DDevice9* device);
    HRESULT SetValue(IDirect3DDevice9* device, D3DXHANDLE constant, const void* data, std::uint32_t bytes);
    HRESULT SetBool(IDirect3DDevice9* device, D3DXHANDLE constant, std::int32_t value);
    HRESULT SetBoolArray(IDirect3DDevice9* device, D3DXHANDLE constant, const std::int32_t* values, std::uint32_t count);
    HRESULT SetInt(IDirect3DDevice9* device, D3DXHANDLE constant, std::int32_t value);
    HRESULT SetIntArray(IDirect3DDevice9* device, D3DXHANDLE constant, const std::int32_t* values, std::uint32_t count);
    HRESULT SetFloat(IDirect3DDevice9* device, D3DXHANDLE constant, float value);
    HRESULT SetFloatArray(IDirect3DDevice9* device, D3DXHANDLE constant, const float* values, std::uint32_t count);
    HRESULT SetVector(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXVECTOR4* vector);
    HRESULT SetVectorArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXVECTOR4* vectors, std::uint32_t count);
    HRESULT SetMatrix(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrix);
    HRESULT SetMatrixArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrices, std::uint32_t count);
    HRESULT SetMatrixPointerArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX** matrices,
                                  std::uint32_t count);
    HRESULT SetMatrixTranspose(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrix);
    HRESULT SetMatrixTransposeArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrices,
                                    std::uint32_t count);
    HRESULT SetMatrixTransposePointerArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX** matrices,
                                           std::uint32_t count);

private:
    struct Entry {
        const ShaderConstantRecord* record = nullptr;
        std::uint32_t element = ~0u;     // ~0u: the whole constant
        std::uint32_t registerIndex = 0; // of this entry
        std::uint32_t registerCount = 0;
        std::vector<std::unique_ptr<Entry>> elements;
        std::vector<std::unique_ptr<Entry>> members; // a struct's (not an array of them as a whole)
    };
    ID3DXConstantTable() = default;
    // The entry of record `index` whose first register is `base`, with its
    // elements and, for a struct, its members.
    std::unique_ptr<Entry> MakeEntry(std::size_t index, std::uint32_t base) const;
    const Entry* Find(D3DXHANDLE handle) const;
    static const Entry* FindHandle(const std::vector<std::unique_ptr<Entry>>& entries, D3DXHANDLE handle);
    // "Name", "Name[2]", "Name[2].member" ... among `entries`.
    static const Entry* FindByName(const std::vector<std::unique_ptr<Entry>>& entries, std::string_view name);
    // How many logical values the entry takes: a struct's are its members' in order.
    static std::size_t LogicalSize(const Entry* e);
    static D3DXHANDLE Handle(const Entry* e) { return reinterpret_cast<D3DXHANDLE>(e); }
    // Values in the constant's logical order: per element, rows of columns.
    HRESULT WriteLogical(IDirect3DDevice9* device, const Entry* e, const float* values, std::size_t count);
    HRESULT WriteMatrices(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* const* matrices,
                          std::uint32_t count, bool transpose);

    std::vector<std::uint8_t> m_code;
    ShaderContainer m_container;
    std::vector<std::unique_ptr<Entry>> m_entries; // top-level constants
    std::vector<std::uint32_t> m_elementRegisters; // per record: the registers one element spans as declared
};

} // namespace gfx
