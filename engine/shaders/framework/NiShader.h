#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiTypeInfo.h"

#include <cstdint>
#include <string>

// A shader by name and implementation number. A geometry read from a scene
// file holds a bare one of these until the shader system binds the real
// shader of that name. Shaders are counted but never streamed as objects of
// their own, so the class roots its own type tree.
class NiShader : public NiRefObject
{
    NiDeclareRootTypeInfo()

public:
    NiShader() = default;
    NiShader(const char* pcName, std::uint32_t uiImplementation);
    ~NiShader() override = default;

    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] std::uint32_t GetImplementation() const { return m_uiImplementation; }
    void SetImplementation(std::uint32_t uiImplementation) { m_uiImplementation = uiImplementation; }

private:
    std::string m_kName;
    std::uint32_t m_uiImplementation = 0;
};

using NiShaderPtr = NiRefPtr<NiShader>;
