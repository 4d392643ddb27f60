#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiTypeInfo.h"

#include <cstdint>
#include <string>

class NiGeometry;
class NiObjectStream;

// A shader by name and implementation number, the root of every shader. A
// geometry read from a scene file holds a bare one of these until the shader
// system binds the real shader of that name. Shaders are counted but never
// streamed as objects of their own, so the class roots its own type tree.
class NiShader : public NiRefObject
{
    NiDeclareRootTypeInfo()

public:
    NiShader() = default;
    NiShader(const char* pcName, std::uint32_t uiImplementation);
    ~NiShader() override = default;

    // Prepares a geometry for drawing with this shader.
    virtual bool SetupGeometry(NiGeometry* pkGeometry);

    // Null while unset.
    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    // Null or "" leaves the name unset.
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] std::uint32_t GetImplementation() const { return m_uiImplementation; }
    void SetImplementation(std::uint32_t uiImplementation) { m_uiImplementation = uiImplementation; }

    // The reference as a scene file keeps it: u32 name length (0 for none),
    // the name's bytes, the implementation as 4 bytes.
    void SaveBinary(NiObjectStream& kStream) const;
    // A cut record marks the load corrupt.
    void LoadBinary(NiObjectStream& kStream);

private:
    std::string m_kName;
    std::uint32_t m_uiImplementation = 0;
};

using NiShaderPtr = NiRefPtr<NiShader>;
