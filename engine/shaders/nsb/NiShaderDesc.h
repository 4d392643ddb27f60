#pragma once

#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NiShaderRequirementDesc.h"

#include <cstdint>
#include <vector>

// The summary of one shader a library hands out: its requirement ranges, a
// requirement description per implementation number and its attributes.
class NiShaderDesc : public NiShaderRequirementDesc
{
public:
    NiShaderDesc() = default;
    ~NiShaderDesc() override = default;

    [[nodiscard]] std::uint32_t GetNumberOfImplementations() const { return m_uiNumImplementations; }
    void SetNumberOfImplementations(std::uint32_t uiCount) { m_uiNumImplementations = uiCount; }
    // Implementation n's slot; the array grows to n + 1 when needed.
    void SetImplementationDescription(std::uint32_t uiIndex, NiShaderRequirementDesc* pkDesc);
    [[nodiscard]] NiShaderRequirementDesc* GetImplementationDescription(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kImplementations.size() ? m_kImplementations[uiIndex].Get() : nullptr;
    }
    [[nodiscard]] std::uint32_t GetImplementationCapacity() const
    {
        return static_cast<std::uint32_t>(m_kImplementations.size());
    }

    // Null is ignored.
    void AddAttribute(NSBAttributeDesc* pkAttribute);
    // Exact case; null for a null name or none.
    [[nodiscard]] NSBAttributeDesc* GetAttribute(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetAttributeCount() const { return static_cast<std::uint32_t>(m_kAttributes.size()); }
    NSBAttributeDesc* GetFirstAttribute();
    NSBAttributeDesc* GetNextAttribute();

private:
    std::uint32_t m_uiNumImplementations = 0;
    std::vector<NiShaderRequirementDescPtr> m_kImplementations;
    std::vector<NSBAttributeDescPtr> m_kAttributes;
    std::size_t m_uiIter = 0;
};

using NiShaderDescPtr = NiRefPtr<NiShaderDesc>;
