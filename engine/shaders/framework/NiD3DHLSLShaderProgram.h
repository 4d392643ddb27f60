#pragma once
// Vertex and pixel programs compiled from high-level source: beside the
// device program and its code they keep the entry point, the target profile
// and the compiler's constant table, through which constants are set by
// variable name rather than by register.

#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include <cstdint>
#include <string>

namespace gfx
{
class ID3DXConstantTable;
} // namespace gfx

// What both program kinds keep beside the device program; the table
// reference goes with it.
class NiD3DHLSLProgramInfo
{
public:
    NiD3DHLSLProgramInfo() = default;
    ~NiD3DHLSLProgramInfo();
    NiD3DHLSLProgramInfo(const NiD3DHLSLProgramInfo&) = delete;
    NiD3DHLSLProgramInfo& operator=(const NiD3DHLSLProgramInfo&) = delete;

    // Empty: none.
    [[nodiscard]] const char* GetEntryPoint() const { return m_kEntryPoint.empty() ? nullptr : m_kEntryPoint.c_str(); }
    void SetEntryPoint(const char* pcEntryPoint) { m_kEntryPoint = pcEntryPoint ? pcEntryPoint : ""; }
    [[nodiscard]] const char* GetShaderTarget() const { return m_kTarget.empty() ? nullptr : m_kTarget.c_str(); }
    void SetShaderTarget(const char* pcTarget) { m_kTarget = pcTarget ? pcTarget : ""; }
    [[nodiscard]] gfx::ID3DXConstantTable* GetConstantTable() const { return m_pkConstantTable; }
    // Adds a reference to the new table and releases the old one.
    void SetConstantTable(gfx::ID3DXConstantTable* pkTable);

protected:
    std::string m_kEntryPoint;
    std::string m_kTarget;
    gfx::ID3DXConstantTable* m_pkConstantTable = nullptr; // one reference
};

class NiD3DHLSLVertexShader : public NiD3DVertexShader, public NiD3DHLSLProgramInfo
{
public:
    NiD3DHLSLVertexShader() = default;

    // The table goes with the device program; both come back from the code.
    void DestroyRendererData() override;
    bool RecreateRendererData() override;

    // By the entry's variable name (its key when it has none), through the
    // table, written straight to the device.
    bool SetVertexShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                 std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0) override;
    bool SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                      std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                      const std::uint16_t* puiIndices) override;
};

class NiD3DHLSLPixelShader : public NiD3DPixelShader, public NiD3DHLSLProgramInfo
{
public:
    NiD3DHLSLPixelShader() = default;

    void DestroyRendererData() override;
    bool RecreateRendererData() override;

    bool SetPixelShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0) override;
    bool SetPixelShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                     std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                     const std::uint16_t* puiIndices) override;
};

using NiD3DHLSLVertexShaderPtr = NiRefPtr<NiD3DHLSLVertexShader>;
using NiD3DHLSLPixelShaderPtr = NiRefPtr<NiD3DHLSLPixelShader>;
