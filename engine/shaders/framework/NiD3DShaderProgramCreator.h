#pragma once
// Makers of shader programs, one per kind of source: high-level source
// compiled by the platform compiler, assembly text and compiled code.

#include <cstdint>
#include <memory>

namespace gfx
{
class IDirect3DVertexDeclaration9;
class ID3DXConstantTable;
} // namespace gfx
class NiD3DVertexShader;
class NiD3DPixelShader;
class NiD3DShaderProgram;

class NiD3DShaderProgramCreator
{
public:
    virtual ~NiD3DShaderProgramCreator() = default;

    [[nodiscard]] std::uint32_t GetShaderCreationFlags() const { return m_uiCreationFlags; }
    void SetShaderCreationFlags(std::uint32_t uiFlags) { m_uiCreationFlags = uiFlags; }

    virtual NiD3DVertexShader* CreateVertexShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                          const char* pcEntryPoint, const char* pcShaderTarget,
                                                          gfx::IDirect3DVertexDeclaration9* pkDecl,
                                                          std::uint32_t uiUsage, bool bSoftwareVP) = 0;
    virtual NiD3DVertexShader* CreateVertexShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                            const char* pcShaderName, const char* pcEntryPoint,
                                                            const char* pcShaderTarget,
                                                            gfx::IDirect3DVertexDeclaration9* pkDecl,
                                                            std::uint32_t uiUsage, bool bSoftwareVP) = 0;
    virtual NiD3DPixelShader* CreatePixelShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                        const char* pcEntryPoint, const char* pcShaderTarget) = 0;
    virtual NiD3DPixelShader* CreatePixelShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                          const char* pcShaderName, const char* pcEntryPoint,
                                                          const char* pcShaderTarget) = 0;
    virtual bool RecreateVertexShader(NiD3DVertexShader* pkShader);
    virtual bool RecreatePixelShader(NiD3DPixelShader* pkShader);

    // The flags every creator ORs into its own (the effect library's too).
    [[nodiscard]] static std::uint32_t GetUniversalShaderCreationFlags() { return ms_uiUniversalFlags; }
    static void SetUniversalShaderCreationFlags(std::uint32_t uiFlags) { ms_uiUniversalFlags = uiFlags; }

    // Makes the three creators and registers them for "vsh", "psh", "vso",
    // "pso" and "hlsl"; Shutdown unregisters and deletes them and the
    // registry. Both are safe to call again.
    static void Startup();
    static void Shutdown();

protected:
    // Makes the device object from the program's stored code; the messages
    // name the program.
    static bool CreateDeviceVertexShader(NiD3DVertexShader* pkShader);
    static bool CreateDevicePixelShader(NiD3DPixelShader* pkShader);

    std::uint32_t m_uiCreationFlags = 0;
    static std::uint32_t ms_uiUniversalFlags;
};

// Assembly text through the platform assembler.
class NiD3DShaderProgramCreatorAsm : public NiD3DShaderProgramCreator
{
public:
    NiD3DVertexShader* CreateVertexShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                  const char* pcEntryPoint, const char* pcShaderTarget,
                                                  gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                                  bool bSoftwareVP) override;
    NiD3DVertexShader* CreateVertexShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                    const char* pcShaderName, const char* pcEntryPoint,
                                                    const char* pcShaderTarget,
                                                    gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                                    bool bSoftwareVP) override;
    NiD3DPixelShader* CreatePixelShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                const char* pcEntryPoint, const char* pcShaderTarget) override;
    NiD3DPixelShader* CreatePixelShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                  const char* pcShaderName, const char* pcEntryPoint,
                                                  const char* pcShaderTarget) override;

    // The code and its size in bytes; null after a reported failure.
    virtual std::unique_ptr<std::uint8_t[]> LoadShaderCodeFromFile(const char* pcFileName, std::uint32_t& uiSize);
    virtual std::unique_ptr<std::uint8_t[]> LoadShaderCodeFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                                     std::uint32_t& uiSize);

private:
    NiD3DVertexShader* FinishVertexShader(std::unique_ptr<std::uint8_t[]> spCode, std::uint32_t uiSize,
                                          const char* pcFileName, const char* pcShaderName,
                                          gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                          bool bSoftwareVP);
    NiD3DPixelShader* FinishPixelShader(std::unique_ptr<std::uint8_t[]> spCode, std::uint32_t uiSize,
                                        const char* pcFileName, const char* pcShaderName);
};

// Compiled code, used as it stands.
class NiD3DShaderProgramCreatorObj : public NiD3DShaderProgramCreatorAsm
{
public:
    std::unique_ptr<std::uint8_t[]> LoadShaderCodeFromFile(const char* pcFileName, std::uint32_t& uiSize) override;
    std::unique_ptr<std::uint8_t[]> LoadShaderCodeFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                             std::uint32_t& uiSize) override;
};

// High-level source through the platform compiler: programs that keep
// their entry point, target and constant table.
class NiD3DShaderProgramCreatorHLSL : public NiD3DShaderProgramCreator
{
public:
    NiD3DVertexShader* CreateVertexShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                  const char* pcEntryPoint, const char* pcShaderTarget,
                                                  gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                                  bool bSoftwareVP) override;
    NiD3DVertexShader* CreateVertexShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                    const char* pcShaderName, const char* pcEntryPoint,
                                                    const char* pcShaderTarget,
                                                    gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                                    bool bSoftwareVP) override;
    NiD3DPixelShader* CreatePixelShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                const char* pcEntryPoint, const char* pcShaderTarget) override;
    NiD3DPixelShader* CreatePixelShaderFromBuffer(const void* pvBuffer, std::uint32_t uiBufferSize,
                                                  const char* pcShaderName, const char* pcEntryPoint,
                                                  const char* pcShaderTarget) override;
    // The device program from the stored code, then its constant table from the same code.
    bool RecreateVertexShader(NiD3DVertexShader* pkShader) override;
    bool RecreatePixelShader(NiD3DPixelShader* pkShader) override;

private:
    // The code (and a table reference the caller takes); false after the
    // messages.
    bool Compile(bool bFromFile, const char* pcSource, std::uint32_t uiSize, const char* pcEntryPoint,
                 const char* pcTarget, std::unique_ptr<std::uint8_t[]>& spCode, std::uint32_t& uiCodeSize,
                 gfx::ID3DXConstantTable*& pkTable);
    NiD3DVertexShader* CreateVertexShader(bool bFromFile, const char* pcSource, std::uint32_t uiSize,
                                          const char* pcShaderName, const char* pcEntryPoint,
                                          const char* pcShaderTarget, std::uint32_t uiUsage, bool bSoftwareVP);
    NiD3DPixelShader* CreatePixelShader(bool bFromFile, const char* pcSource, std::uint32_t uiSize,
                                        const char* pcShaderName, const char* pcEntryPoint,
                                        const char* pcShaderTarget);
};
