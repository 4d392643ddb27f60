#pragma once

#include "engine/shaders/nsb/NSBAttributeDesc.h"

#include <cstdint>
#include <vector>

class NiByteStream;

// An ordered list of attribute descriptors: a shader has one for its own
// attributes and one for its global ones.
class NSBAttributeTable
{
public:
    NSBAttributeTable() = default;
    NSBAttributeTable(const NSBAttributeTable&) = delete;
    NSBAttributeTable& operator=(const NSBAttributeTable&) = delete;

    // Appends; false only for null. The owner checks names first.
    bool AddAttribDesc(NSBAttributeDesc* pkDesc);

    // Creators of the description parser: false, the table unchanged, when
    // a descriptor of the name (ignoring case) is already held. The
    // description is accepted and not stored. An entry is ranged only when
    // its maximum says so: not 0 for single values, any component not 0.0
    // for points, any maximum given at all for colours.
    bool AddAttribDesc_Bool(const char* pcName, const char* pcDesc, bool bHidden, bool bValue);
    bool AddAttribDesc_UnsignedInt(const char* pcName, const char* pcDesc, bool bHidden, std::uint32_t uiValue,
        std::uint32_t uiMin, std::uint32_t uiMax);
    bool AddAttribDesc_Float(const char* pcName, const char* pcDesc, bool bHidden, float fValue, float fMin,
        float fMax);
    bool AddAttribDesc_Point2(const char* pcName, const char* pcDesc, bool bHidden, const float* pfValue,
        const float* pfMin, const float* pfMax);
    bool AddAttribDesc_Point3(const char* pcName, const char* pcDesc, bool bHidden, const float* pfValue,
        const float* pfMin, const float* pfMax);
    bool AddAttribDesc_Point4(const char* pcName, const char* pcDesc, bool bHidden, const float* pfValue,
        const float* pfMin, const float* pfMax);
    bool AddAttribDesc_Matrix3(const char* pcName, const char* pcDesc, bool bHidden, const float* pfValue);
    bool AddAttribDesc_Matrix4(const char* pcName, const char* pcDesc, bool bHidden, const float* pfValue);
    // Three components, alpha 1.0 (in the bounds too).
    bool AddAttribDesc_Color(const char* pcName, const char* pcDesc, bool bHidden, const float* pfRGB,
        const float* pfMin = nullptr, const float* pfMax = nullptr);
    bool AddAttribDesc_ColorA(const char* pcName, const char* pcDesc, bool bHidden, const float* pfRGBA,
        const float* pfMin = nullptr, const float* pfMax = nullptr);
    bool AddAttribDesc_Texture(const char* pcName, const char* pcDesc, bool bHidden, std::uint32_t uiSlot,
        const char* pcTextureName);
    // Exact name; null when none.
    [[nodiscard]] NSBAttributeDesc* GetAttribDescByName(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetAttribCount() const { return static_cast<std::uint32_t>(m_kDescs.size()); }
    [[nodiscard]] NSBAttributeDesc* GetAttribDesc(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kDescs.size() ? m_kDescs[uiIndex].Get() : nullptr;
    }
    // Insertion order; null at the end.
    NSBAttributeDesc* GetFirstAttribDesc();
    NSBAttributeDesc* GetNextAttribDesc();

    // Count, then each descriptor.
    bool SaveBinary(NiByteStream& kStream);
    // A descriptor that fails is still appended, and the load fails.
    bool LoadBinary(NiByteStream& kStream);

private:
    // Null when the name is taken; else a new descriptor of the name, type
    // and hidden flag, not yet appended.
    NSBAttributeDescPtr BeginCreate(const char* pcName, std::uint32_t uiType, bool bHidden) const;

    std::vector<NSBAttributeDescPtr> m_kDescs;
    std::size_t m_uiIter = 0;
};
