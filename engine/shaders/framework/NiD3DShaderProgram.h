#pragma once
// One device vertex or pixel program with the code it was made from, so the
// device object can be made again after the device was lost.

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>
#include <memory>
#include <string>

namespace gfx
{
class IDirect3DDevice9;
class IDirect3DVertexShader9;
class IDirect3DPixelShader9;
class IDirect3DVertexDeclaration9;
} // namespace gfx
class NiDX9Renderer;
class NiDX9RenderState;
class NiD3DShaderProgramCreator;
class NiD3DShaderConstantMapEntry;
class NiD3DShaderConstantCache;

class NiD3DShaderProgram : public NiRefObject
{
public:
    ~NiD3DShaderProgram() override;

    // Empty name or file name: none.
    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] const char* GetFilename() const { return m_kFilename.empty() ? nullptr : m_kFilename.c_str(); }
    void SetFilename(const char* pcFilename) { m_kFilename = pcFilename ? pcFilename : ""; }
    [[nodiscard]] std::uint32_t GetCodeSize() const { return m_uiCodeSize; }
    [[nodiscard]] const void* GetCode() const { return m_spCode.get(); }
    // The program takes the buffer.
    void SetCode(std::uint32_t uiSize, std::unique_ptr<std::uint8_t[]> spCode);
    [[nodiscard]] NiD3DShaderProgramCreator* GetCreator() const { return m_pkCreator; }
    void SetCreator(NiD3DShaderProgramCreator* pkCreator) { m_pkCreator = pkCreator; }

    virtual void DestroyRendererData() = 0;
    virtual bool RecreateRendererData() = 0;

    // A constant map entry's value into the program's constants. Values
    // null means the entry's own data, count 0 the entry's register count
    // (1 when that is 0); uiValueRegisters is how many registers (boolean
    // constants: words) the values hold, 0 when they are the entry's own
    // data. False when this kind of program takes no such value, or the
    // value does not fit.
    virtual bool SetVertexShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                         std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0);
    // Element i (uiRegistersPerElement registers) from the values' element
    // puiIndices[i], into the registers from the entry's register + i x
    // registers per element. Matrix entries only.
    virtual bool SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                              std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                              const std::uint16_t* puiIndices);
    virtual bool SetPixelShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                        std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0);
    virtual bool SetPixelShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                             std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                             const std::uint16_t* puiIndices);

    [[nodiscard]] gfx::IDirect3DDevice9* GetDevice() const { return m_pkDevice; }

    // The framework's renderer, its device (one reference held) and its
    // render-state cache; null releases the device and clears all three.
    static void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static gfx::IDirect3DDevice9* GetCurrentDevice() { return ms_pkDevice; }

protected:
    NiD3DShaderProgram();

    // The constants register values go into: the render-state cache's.
    [[nodiscard]] virtual NiD3DShaderConstantCache* GetConstantCache() const;
    // The register-addressed forms of the constant operations, into the
    // render-state cache's constants of one stage (0 vertex, 1 pixel).
    bool SetRegisterConstant(std::uint32_t uiStage, NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                             std::uint32_t uiCount, std::uint32_t uiValueRegisters);
    bool SetRegisterConstantArray(std::uint32_t uiStage, NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                  std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                  const std::uint16_t* puiIndices);

    std::string m_kName;
    std::string m_kFilename;
    std::uint32_t m_uiCodeSize = 0;
    std::unique_ptr<std::uint8_t[]> m_spCode;
    NiD3DShaderProgramCreator* m_pkCreator = nullptr;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiDX9Renderer* m_pkRenderer = nullptr;
    NiDX9RenderState* m_pkRenderState = nullptr;

    static NiDX9Renderer* ms_pkRenderer;
    static gfx::IDirect3DDevice9* ms_pkDevice;
    static NiDX9RenderState* ms_pkRenderState;
};

class NiD3DVertexShader : public NiD3DShaderProgram
{
public:
    NiD3DVertexShader() = default;
    ~NiD3DVertexShader() override;

    [[nodiscard]] std::uint32_t GetUsage() const { return m_uiUsage; }
    void SetUsage(std::uint32_t uiUsage) { m_uiUsage = uiUsage; }
    [[nodiscard]] gfx::IDirect3DVertexShader9* GetVertexShader() const { return m_pkShader; }
    // The program takes the caller's reference.
    void SetVertexShader(gfx::IDirect3DVertexShader9* pkShader);
    [[nodiscard]] gfx::IDirect3DVertexDeclaration9* GetVertexDeclaration() const { return m_pkDeclaration; }
    void SetVertexDeclaration(gfx::IDirect3DVertexDeclaration9* pkDeclaration) { m_pkDeclaration = pkDeclaration; }
    [[nodiscard]] bool GetSoftwareVertexProcessing() const { return m_bSoftwareVP; }
    void SetSoftwareVertexProcessing(bool bSoftware) { m_bSoftwareVP = bSoftware; }

    void DestroyRendererData() override;
    bool RecreateRendererData() override;

    bool SetVertexShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                 std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0) override
    {
        return SetRegisterConstant(0, pkEntry, pvValues, uiCount, uiValueRegisters);
    }
    bool SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                      std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                      const std::uint16_t* puiIndices) override
    {
        return SetRegisterConstantArray(0, pkEntry, pvValues, uiElements, uiRegistersPerElement, puiIndices);
    }

private:
    bool m_bSoftwareVP = false;
    std::uint32_t m_uiUsage = 0;
    gfx::IDirect3DVertexShader9* m_pkShader = nullptr;
    gfx::IDirect3DVertexDeclaration9* m_pkDeclaration = nullptr; // stored, not used or counted
};

class NiD3DPixelShader : public NiD3DShaderProgram
{
public:
    NiD3DPixelShader() = default;
    ~NiD3DPixelShader() override;

    [[nodiscard]] gfx::IDirect3DPixelShader9* GetPixelShader() const { return m_pkShader; }
    // The program takes the caller's reference.
    void SetPixelShader(gfx::IDirect3DPixelShader9* pkShader);

    void DestroyRendererData() override;
    bool RecreateRendererData() override;

    bool SetPixelShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues = nullptr,
                                std::uint32_t uiCount = 0, std::uint32_t uiValueRegisters = 0) override
    {
        return SetRegisterConstant(1, pkEntry, pvValues, uiCount, uiValueRegisters);
    }
    bool SetPixelShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                     std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                     const std::uint16_t* puiIndices) override
    {
        return SetRegisterConstantArray(1, pkEntry, pvValues, uiElements, uiRegistersPerElement, puiIndices);
    }

private:
    gfx::IDirect3DPixelShader9* m_pkShader = nullptr;
};

using NiD3DVertexShaderPtr = NiRefPtr<NiD3DVertexShader>;
using NiD3DPixelShaderPtr = NiRefPtr<NiD3DPixelShader>;
