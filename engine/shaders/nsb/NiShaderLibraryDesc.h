#pragma once

#include "engine/shaders/nsb/NiShaderDesc.h"

#include <cstdint>
#include <vector>

// A library's summary: the widened requirements of all its shaders and the
// description of each.
class NiShaderLibraryDesc : public NiShaderRequirementDesc
{
public:
    NiShaderLibraryDesc() = default;
    ~NiShaderLibraryDesc() override = default;

    // Null is ignored.
    void AddShaderDesc(NiShaderDesc* pkDesc);
    [[nodiscard]] std::uint32_t GetShaderCount() const { return static_cast<std::uint32_t>(m_kShaders.size()); }
    [[nodiscard]] NiShaderDesc* GetShaderDesc(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kShaders.size() ? m_kShaders[uiIndex].Get() : nullptr;
    }
    // Exact name; null when none.
    [[nodiscard]] NiShaderDesc* GetShaderDesc(const char* pcName) const;

private:
    std::vector<NiShaderDescPtr> m_kShaders;
};

using NiShaderLibraryDescPtr = NiRefPtr<NiShaderLibraryDesc>;
