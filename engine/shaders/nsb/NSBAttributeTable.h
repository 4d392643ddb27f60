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
    std::vector<NSBAttributeDescPtr> m_kDescs;
    std::size_t m_uiIter = 0;
};
