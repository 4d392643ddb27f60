#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/shaders/framework/NiShaderLibraryBase.h"

#include <cstdint>

class NiDX9Renderer;
class NiShaderLibraryDesc;

// The base of the renderer's shader libraries: it keeps the renderer the
// shaders are built for and the library's description.
class NiD3DShaderLibrary : public NiShaderLibraryBase
{
public:
    explicit NiD3DShaderLibrary(const char* pcName = nullptr);
    ~NiD3DShaderLibrary() override;

    NiShader* GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation) override;
    NiShaderLibraryDesc* GetLibraryDesc() override;
    // Takes a reference on the new description, drops the old one.
    void SetLibraryDesc(NiShaderLibraryDesc* pkDesc) override;
    void SetRenderer(NiDX9Renderer* pkRenderer) override { m_pkRenderer = pkRenderer; }
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }

protected:
    NiDX9Renderer* m_pkRenderer = nullptr; // link: the renderer outlives its libraries
    std::uint32_t m_uiReserved = 0;
    // Counted through NiRefObject, so this library needs no more of the
    // description's class than its declaration.
    NiShaderLibraryDesc* m_pkLibraryDesc = nullptr;
};

using NiD3DShaderLibraryPtr = NiRefPtr<NiD3DShaderLibrary>;
