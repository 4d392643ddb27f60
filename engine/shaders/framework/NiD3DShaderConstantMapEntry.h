#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>
#include <memory>
#include <string>

// One value a shader program receives at every draw: where it comes from
// (the mapping kind in the top four bits of the flags), what it is (the value
// type in the low byte), and where it goes (first register and count, or a
// variable name). Binary shader files store the same record.
class NiD3DShaderConstantMapEntry : public NiRefObject
{
public:
    // Mapping kinds: the whole top nibble of the flags.
    static constexpr std::uint32_t SCME_MAP_CONSTANT = 0x10000000;
    static constexpr std::uint32_t SCME_MAP_DEFINED = 0x20000000;
    static constexpr std::uint32_t SCME_MAP_ATTRIBUTE = 0x30000000;
    static constexpr std::uint32_t SCME_MAP_GLOBAL = 0x40000000;
    static constexpr std::uint32_t SCME_MAP_OPERATOR = 0x50000000;
    static constexpr std::uint32_t SCME_MAP_MASK = 0xF0000000;

    // Value types: the low byte of the flags, the attribute type codes.
    enum ValueType : std::uint32_t
    {
        SCME_TYPE_NONE = 0,
        SCME_TYPE_BOOL = 1,
        SCME_TYPE_STRING = 2,
        SCME_TYPE_UNSIGNEDINT = 3,
        SCME_TYPE_FLOAT = 4,
        SCME_TYPE_POINT2 = 5,
        SCME_TYPE_POINT3 = 6,
        SCME_TYPE_POINT4 = 7,
        SCME_TYPE_MATRIX3 = 8,
        SCME_TYPE_MATRIX4 = 9,
        SCME_TYPE_COLOR = 10,
        SCME_TYPE_TEXTURE = 11,
        SCME_TYPE_RESERVED0 = 12,
        SCME_TYPE_RESERVED1 = 13,
    };
    static constexpr std::uint32_t SCME_TYPE_MASK = 0x000000FF;

    // No register.
    static constexpr std::uint32_t SCME_NO_REGISTER = 0xFFFFFFFF;

    NiD3DShaderConstantMapEntry() = default;
    ~NiD3DShaderConstantMapEntry() override = default;

    // Null or "" leaves the key or name null.
    [[nodiscard]] const char* GetKey() const { return m_kKey.empty() ? nullptr : m_kKey.c_str(); }
    void SetKey(const char* pcKey) { m_kKey = pcKey ? pcKey : ""; }
    [[nodiscard]] const char* GetVariableName() const
    {
        return m_kVariableName.empty() ? nullptr : m_kVariableName.c_str();
    }
    void SetVariableName(const char* pcName) { m_kVariableName = pcName ? pcName : ""; }

    [[nodiscard]] std::uint32_t GetInternal() const { return m_uiInternal; }
    void SetInternal(std::uint32_t uiId) { m_uiInternal = uiId; }
    [[nodiscard]] std::uint32_t GetFlags() const { return m_uiFlags; }
    void SetFlags(std::uint32_t uiFlags) { m_uiFlags = uiFlags; }
    [[nodiscard]] std::uint32_t GetExtra() const { return m_uiExtra; }
    void SetExtra(std::uint32_t uiExtra) { m_uiExtra = uiExtra; }
    [[nodiscard]] std::uint32_t GetShaderRegister() const { return m_uiShaderRegister; }
    void SetShaderRegister(std::uint32_t uiRegister) { m_uiShaderRegister = uiRegister; }
    [[nodiscard]] std::uint32_t GetRegisterCount() const { return m_uiRegisterCount; }
    void SetRegisterCount(std::uint32_t uiCount) { m_uiRegisterCount = uiCount; }

    [[nodiscard]] std::uint32_t GetDataSize() const { return m_uiDataSize; }
    [[nodiscard]] std::uint32_t GetDataStride() const { return m_uiDataStride; }
    [[nodiscard]] const void* GetDataSource() const { return m_pvData; }
    [[nodiscard]] bool GetOwnsData() const { return m_spOwned != nullptr; }
    // Size and stride are stored. With copy the entry keeps its own copy of
    // the bytes (size 0 or no bytes: no data); without, it borrows the
    // pointer, which must outlive the entry's use.
    void SetData(std::uint32_t uiSize, std::uint32_t uiStride, const void* pvData, bool bCopy);

    [[nodiscard]] std::uint32_t GetMappingKind() const { return m_uiFlags & SCME_MAP_MASK; }
    [[nodiscard]] std::uint32_t GetValueType() const { return m_uiFlags & SCME_TYPE_MASK; }
    void SetValueType(std::uint32_t uiType) { m_uiFlags = (m_uiFlags & ~SCME_TYPE_MASK) | (uiType & SCME_TYPE_MASK); }

    [[nodiscard]] bool IsConstant() const { return GetMappingKind() == SCME_MAP_CONSTANT; }
    [[nodiscard]] bool IsDefined() const { return GetMappingKind() == SCME_MAP_DEFINED; }
    [[nodiscard]] bool IsAttribute() const { return GetMappingKind() == SCME_MAP_ATTRIBUTE; }
    [[nodiscard]] bool IsGlobal() const { return GetMappingKind() == SCME_MAP_GLOBAL; }
    [[nodiscard]] bool IsOperator() const { return GetMappingKind() == SCME_MAP_OPERATOR; }

    [[nodiscard]] bool IsBool() const { return GetValueType() == SCME_TYPE_BOOL; }
    [[nodiscard]] bool IsUnsignedInt() const { return GetValueType() == SCME_TYPE_UNSIGNEDINT; }
    [[nodiscard]] bool IsFloat() const { return GetValueType() == SCME_TYPE_FLOAT; }
    [[nodiscard]] bool IsPoint2() const { return GetValueType() == SCME_TYPE_POINT2; }
    [[nodiscard]] bool IsPoint3() const { return GetValueType() == SCME_TYPE_POINT3; }
    [[nodiscard]] bool IsPoint4() const { return GetValueType() == SCME_TYPE_POINT4; }
    [[nodiscard]] bool IsMatrix3() const { return GetValueType() == SCME_TYPE_MATRIX3; }
    [[nodiscard]] bool IsMatrix4() const { return GetValueType() == SCME_TYPE_MATRIX4; }
    [[nodiscard]] bool IsColor() const { return GetValueType() == SCME_TYPE_COLOR; }
    [[nodiscard]] bool IsTexture() const { return GetValueType() == SCME_TYPE_TEXTURE; }

private:
    std::string m_kKey;
    std::uint32_t m_uiInternal = 0; // predefined id of a defined mapping
    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_uiExtra = 0;
    std::uint32_t m_uiShaderRegister = 0;
    std::uint32_t m_uiRegisterCount = 0;
    std::string m_kVariableName;
    std::uint32_t m_uiDataSize = 0;
    std::uint32_t m_uiDataStride = 0;
    const void* m_pvData = nullptr;
    std::unique_ptr<std::uint8_t[]> m_spOwned;
};

using NiD3DShaderConstantMapEntryPtr = NiRefPtr<NiD3DShaderConstantMapEntry>;
