#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>
#include <string>

class NiDX9Renderer;
class NiRenderer;
class NiShader;
class NiShaderLibraryDesc;

// A library of named shaders the factory asks when it has no shader of a
// name cached.
class NiShaderLibraryBase : public NiRefObject
{
public:
    explicit NiShaderLibraryBase(const char* pcName = nullptr) { SetName(pcName); }
    ~NiShaderLibraryBase() override = default;

    // A new shader of that name and implementation, or null.
    virtual NiShader* GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation);
    virtual NiShaderLibraryDesc* GetLibraryDesc() = 0;
    virtual void SetLibraryDesc(NiShaderLibraryDesc* pkDesc) = 0;
    // The renderer the library builds its shaders for (null: none).
    virtual void SetRenderer(NiDX9Renderer* pkRenderer);

    // Null while unset.
    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    // Null or "" leaves the name unset.
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }

private:
    std::string m_kName;
};

using NiShaderLibraryBasePtr = NiRefPtr<NiShaderLibraryBase>;
