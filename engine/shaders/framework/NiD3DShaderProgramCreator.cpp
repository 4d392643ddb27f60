#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"

#include "engine/core/NiFile.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <cstring>
#include <string>

std::uint32_t NiD3DShaderProgramCreator::ms_uiUniversalFlags = 0;

namespace
{
NiD3DShaderProgramCreatorAsm* g_pkAsmCreator = nullptr;
NiD3DShaderProgramCreatorObj* g_pkObjCreator = nullptr;
NiD3DShaderProgramCreatorHLSL* g_pkHlslCreator = nullptr;

constexpr std::uint32_t ERROR_GENERAL = NiShaderFactory::ERROR_GENERAL;

// The error buffer's text (NUL-terminated or not), released.
std::string TakeText(gfx::ID3DXBuffer* pkBuffer)
{
    std::string kText;
    if (pkBuffer == nullptr)
        return kText;
    const char* pcText = static_cast<const char*>(pkBuffer->GetBufferPointer());
    kText.assign(pcText, strnlen(pcText, pkBuffer->GetBufferSize()));
    pkBuffer->Release();
    return kText;
}

// The code buffer copied into a block of its own, released.
std::unique_ptr<std::uint8_t[]> TakeCode(gfx::ID3DXBuffer* pkBuffer, std::uint32_t& uiSize)
{
    uiSize = pkBuffer->GetBufferSize();
    auto spCode = std::make_unique<std::uint8_t[]>(uiSize ? uiSize : 1);
    std::memcpy(spCode.get(), pkBuffer->GetBufferPointer(), uiSize);
    pkBuffer->Release();
    return spCode;
}

// The path a program file is found at; reported and false when not found.
bool FindFile(const char* pcFileName, std::string& kPath)
{
    if (pcFileName == nullptr || pcFileName[0] == '\0')
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Invalid shader file name\n");
        return false;
    }
    if (!NiD3DShaderProgramFactory::FindProgramFile(pcFileName, kPath))
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to find shader program file %s\n", pcFileName);
        return false;
    }
    return true;
}
} // namespace

bool NiD3DShaderProgramCreator::CreateDeviceVertexShader(NiD3DVertexShader* pkShader)
{
    gfx::IDirect3DDevice9* pkDevice = pkShader->GetDevice();
    gfx::IDirect3DVertexShader9* pkDeviceShader = nullptr;
    const gfx::HRESULT hr =
        pkDevice ? pkDevice->CreateVertexShader(static_cast<const std::uint32_t*>(pkShader->GetCode()),
                                                pkShader->GetCodeSize(), &pkDeviceShader)
                 : gfx::D3DERR_INVALIDCALL;
    if (gfx::FAILED(hr))
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to create vertex shader\nError 0x%08x\n",
                                     static_cast<unsigned>(hr));
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed CreateVertexShader call on %s\n",
                                     pkShader->GetName() ? pkShader->GetName() : "");
        return false;
    }
    pkShader->SetVertexShader(pkDeviceShader);
    return true;
}

bool NiD3DShaderProgramCreator::CreateDevicePixelShader(NiD3DPixelShader* pkShader)
{
    gfx::IDirect3DDevice9* pkDevice = pkShader->GetDevice();
    gfx::IDirect3DPixelShader9* pkDeviceShader = nullptr;
    const gfx::HRESULT hr =
        pkDevice ? pkDevice->CreatePixelShader(static_cast<const std::uint32_t*>(pkShader->GetCode()),
                                               pkShader->GetCodeSize(), &pkDeviceShader)
                 : gfx::D3DERR_INVALIDCALL;
    if (gfx::FAILED(hr))
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to create pixel shader\nError 0x%08x\n",
                                     static_cast<unsigned>(hr));
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed CreatePixelShader call on %s\n",
                                     pkShader->GetName() ? pkShader->GetName() : "");
        return false;
    }
    pkShader->SetPixelShader(pkDeviceShader);
    return true;
}

bool NiD3DShaderProgramCreator::RecreateVertexShader(NiD3DVertexShader* pkShader)
{
    return pkShader && pkShader->GetCode() && CreateDeviceVertexShader(pkShader);
}

bool NiD3DShaderProgramCreator::RecreatePixelShader(NiD3DPixelShader* pkShader)
{
    return pkShader && pkShader->GetCode() && CreateDevicePixelShader(pkShader);
}

void NiD3DShaderProgramCreator::Startup()
{
    if (g_pkAsmCreator == nullptr)
    {
        g_pkAsmCreator = new NiD3DShaderProgramCreatorAsm;
        NiD3DShaderProgramFactory::RegisterCreator("vsh", g_pkAsmCreator);
        NiD3DShaderProgramFactory::RegisterCreator("psh", g_pkAsmCreator);
    }
    if (g_pkObjCreator == nullptr)
    {
        g_pkObjCreator = new NiD3DShaderProgramCreatorObj;
        NiD3DShaderProgramFactory::RegisterCreator("vso", g_pkObjCreator);
        NiD3DShaderProgramFactory::RegisterCreator("pso", g_pkObjCreator);
    }
    if (g_pkHlslCreator == nullptr)
    {
        g_pkHlslCreator = new NiD3DShaderProgramCreatorHLSL;
        NiD3DShaderProgramFactory::RegisterCreator("hlsl", g_pkHlslCreator);
    }
}

void NiD3DShaderProgramCreator::Shutdown()
{
    NiD3DShaderProgramCreator* apkCreators[] = {g_pkAsmCreator, g_pkObjCreator, g_pkHlslCreator};
    for (NiD3DShaderProgramCreator* pkCreator : apkCreators)
    {
        if (pkCreator)
            NiD3DShaderProgramFactory::UnregisterCreator(pkCreator);
        delete pkCreator;
    }
    g_pkAsmCreator = nullptr;
    g_pkObjCreator = nullptr;
    g_pkHlslCreator = nullptr;
    NiD3DShaderProgramFactory::DestroyCreatorRegistry();
    ms_uiUniversalFlags = 0;
}

// ---- assembly ----------------------------------------------------------------

std::unique_ptr<std::uint8_t[]> NiD3DShaderProgramCreatorAsm::LoadShaderCodeFromFile(const char* pcFileName,
                                                                                     std::uint32_t& uiSize)
{
    uiSize = 0;
    std::string kPath;
    if (!FindFile(pcFileName, kPath))
        return nullptr;
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    const std::uint32_t uiFlags = (m_uiCreationFlags | ms_uiUniversalFlags) & 3;
    if (gfx::FAILED(gfx::D3DXAssembleShaderFromFile(kPath.c_str(), uiFlags, &pkCode, &pkErrors)) || !pkCode)
    {
        if (pkCode)
            pkCode->Release();
        if (pkErrors)
            NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to assemble shader %s\nError: %s\n",
                                         pcFileName, TakeText(pkErrors).c_str());
        else
            NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to assemble shader %s\nError: NONE REPORTED\n",
                                         pcFileName);
        return nullptr;
    }
    if (pkErrors)
        pkErrors->Release();
    return TakeCode(pkCode, uiSize);
}

std::unique_ptr<std::uint8_t[]> NiD3DShaderProgramCreatorAsm::LoadShaderCodeFromBuffer(const void* pvBuffer,
                                                                                       std::uint32_t uiBufferSize,
                                                                                       std::uint32_t& uiSize)
{
    uiSize = 0;
    if (pvBuffer == nullptr || uiBufferSize == 0)
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Invalid shader buffer\n");
        return nullptr;
    }
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    const std::uint32_t uiFlags = (m_uiCreationFlags | ms_uiUniversalFlags) & 3;
    if (gfx::FAILED(gfx::D3DXAssembleShader(static_cast<const char*>(pvBuffer), uiBufferSize, uiFlags, &pkCode,
                                            &pkErrors)) ||
        !pkCode)
    {
        if (pkCode)
            pkCode->Release();
        if (pkErrors)
            NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to assemble shader from memory\nError: %s\n",
                                         TakeText(pkErrors).c_str());
        else
            NiShaderFactory::ReportError(ERROR_GENERAL, true,
                                         "Failed to assemble shader from memory\nError: NONE REPORTED\n");
        return nullptr;
    }
    if (pkErrors)
        pkErrors->Release();
    return TakeCode(pkCode, uiSize);
}

NiD3DVertexShader* NiD3DShaderProgramCreatorAsm::FinishVertexShader(std::unique_ptr<std::uint8_t[]> spCode,
                                                                    std::uint32_t uiSize, const char* pcFileName,
                                                                    const char* pcShaderName,
                                                                    gfx::IDirect3DVertexDeclaration9* pkDecl,
                                                                    std::uint32_t uiUsage, bool bSoftwareVP)
{
    if (!spCode)
        return nullptr;
    // Count 0 until the factory keeps it; a failure deletes it outright.
    auto* pkShader = new NiD3DVertexShader;
    pkShader->SetName(pcShaderName);
    pkShader->SetCode(uiSize, std::move(spCode));
    if (!CreateDeviceVertexShader(pkShader))
    {
        delete pkShader;
        return nullptr;
    }
    pkShader->SetFilename(pcFileName);
    pkShader->SetCreator(this);
    pkShader->SetVertexDeclaration(pkDecl);
    pkShader->SetUsage(uiUsage);
    pkShader->SetSoftwareVertexProcessing(bSoftwareVP);
    return pkShader;
}

NiD3DPixelShader* NiD3DShaderProgramCreatorAsm::FinishPixelShader(std::unique_ptr<std::uint8_t[]> spCode,
                                                                  std::uint32_t uiSize, const char* pcFileName,
                                                                  const char* pcShaderName)
{
    if (!spCode)
        return nullptr;
    // Count 0 until the factory keeps it; a failure deletes it outright.
    auto* pkShader = new NiD3DPixelShader;
    pkShader->SetName(pcShaderName);
    pkShader->SetCode(uiSize, std::move(spCode));
    if (!CreateDevicePixelShader(pkShader))
    {
        delete pkShader;
        return nullptr;
    }
    pkShader->SetFilename(pcFileName);
    pkShader->SetCreator(this);
    return pkShader;
}

NiD3DVertexShader* NiD3DShaderProgramCreatorAsm::CreateVertexShaderFromFile(
    const char* pcFileName, const char* pcShaderName, const char*, const char*,
    gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage, bool bSoftwareVP)
{
    std::uint32_t uiSize = 0;
    std::unique_ptr<std::uint8_t[]> spCode = LoadShaderCodeFromFile(pcFileName, uiSize);
    return FinishVertexShader(std::move(spCode), uiSize, pcFileName, pcShaderName, pkDecl, uiUsage, bSoftwareVP);
}

NiD3DVertexShader* NiD3DShaderProgramCreatorAsm::CreateVertexShaderFromBuffer(
    const void* pvBuffer, std::uint32_t uiBufferSize, const char* pcShaderName, const char*, const char*,
    gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage, bool bSoftwareVP)
{
    std::uint32_t uiSize = 0;
    std::unique_ptr<std::uint8_t[]> spCode = LoadShaderCodeFromBuffer(pvBuffer, uiBufferSize, uiSize);
    return FinishVertexShader(std::move(spCode), uiSize, nullptr, pcShaderName, pkDecl, uiUsage, bSoftwareVP);
}

NiD3DPixelShader* NiD3DShaderProgramCreatorAsm::CreatePixelShaderFromFile(const char* pcFileName,
                                                                         const char* pcShaderName, const char*,
                                                                         const char*)
{
    std::uint32_t uiSize = 0;
    std::unique_ptr<std::uint8_t[]> spCode = LoadShaderCodeFromFile(pcFileName, uiSize);
    return FinishPixelShader(std::move(spCode), uiSize, pcFileName, pcShaderName);
}

NiD3DPixelShader* NiD3DShaderProgramCreatorAsm::CreatePixelShaderFromBuffer(const void* pvBuffer,
                                                                           std::uint32_t uiBufferSize,
                                                                           const char* pcShaderName, const char*,
                                                                           const char*)
{
    std::uint32_t uiSize = 0;
    std::unique_ptr<std::uint8_t[]> spCode = LoadShaderCodeFromBuffer(pvBuffer, uiBufferSize, uiSize);
    return FinishPixelShader(std::move(spCode), uiSize, nullptr, pcShaderName);
}

// ---- compiled code -------------------------------------------------------------

std::unique_ptr<std::uint8_t[]> NiD3DShaderProgramCreatorObj::LoadShaderCodeFromFile(const char* pcFileName,
                                                                                     std::uint32_t& uiSize)
{
    uiSize = 0;
    std::string kPath;
    if (!FindFile(pcFileName, kPath))
        return nullptr;
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(kPath.c_str(), 0, 0);
    const std::uint32_t uiFileSize = NiGetFileSize(kPath.c_str());
    if (!spFile || !spFile->IsGood() || uiFileSize == 0xFFFFFFFFu)
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Invalid shader file %s\n", kPath.c_str());
        return nullptr;
    }
    // Zeroed and 4 bytes longer; the device is told the file's own size, so
    // a stream without its end token is refused, not read past.
    auto spCode = std::make_unique<std::uint8_t[]>(std::size_t(uiFileSize) + 4);
    if (spFile->Read(spCode.get(), uiFileSize) != uiFileSize)
        return nullptr;
    uiSize = uiFileSize;
    return spCode;
}

std::unique_ptr<std::uint8_t[]> NiD3DShaderProgramCreatorObj::LoadShaderCodeFromBuffer(const void* pvBuffer,
                                                                                       std::uint32_t uiBufferSize,
                                                                                       std::uint32_t& uiSize)
{
    uiSize = 0;
    if (pvBuffer == nullptr || uiBufferSize == 0)
    {
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Invalid shader buffer\n");
        return nullptr;
    }
    auto spCode = std::make_unique<std::uint8_t[]>(uiBufferSize);
    std::memcpy(spCode.get(), pvBuffer, uiBufferSize);
    uiSize = uiBufferSize;
    return spCode;
}

// ---- high-level source -----------------------------------------------------------

bool NiD3DShaderProgramCreatorHLSL::Compile(bool bFromFile, const char* pcSource, std::uint32_t uiSize,
                                            const char* pcEntryPoint, const char* pcTarget)
{
    const std::uint32_t uiFlags = m_uiCreationFlags | ms_uiUniversalFlags;
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    gfx::ID3DXConstantTable* pkTable = nullptr;
    std::string kPath;
    gfx::HRESULT hr = gfx::E_FAIL;
    if (bFromFile)
    {
        if (!FindFile(pcSource, kPath))
            return false;
        hr = gfx::D3DXCompileShaderFromFile(kPath.c_str(), pcEntryPoint, pcTarget, uiFlags, &pkCode, &pkErrors,
                                            &pkTable);
    }
    else
    {
        if (pcSource == nullptr || uiSize == 0)
        {
            NiShaderFactory::ReportError(ERROR_GENERAL, true, "Invalid shader buffer\n");
            return false;
        }
        hr = gfx::D3DXCompileShader(pcSource, uiSize, pcEntryPoint, pcTarget, uiFlags, &pkCode, &pkErrors, &pkTable);
    }
    if (pkCode)
        pkCode->Release();
    if (pkTable)
        pkTable->Release();
    // No program class takes compiled code yet, so even a compiled program
    // ends in a refusal, with the compiler's messages when it gave any.
    (void)hr;
    const std::string kText = pkErrors ? TakeText(pkErrors) : std::string("NONE REPORTED");
    if (bFromFile)
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to compile shader %s in file %s\nError: %s\n",
                                     pcEntryPoint, pcSource, kText.c_str());
    else
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to assemble shader %s from memory\nError: %s\n",
                                     pcEntryPoint, kText.c_str());
    return false;
}

NiD3DVertexShader* NiD3DShaderProgramCreatorHLSL::CreateVertexShaderFromFile(
    const char* pcFileName, const char*, const char* pcEntryPoint, const char* pcShaderTarget,
    gfx::IDirect3DVertexDeclaration9*, std::uint32_t, bool)
{
    const char* pcTarget =
        pcShaderTarget ? pcShaderTarget : gfx::D3DXGetVertexShaderProfile(NiD3DShaderProgram::GetCurrentDevice());
    Compile(true, pcFileName, 0, pcEntryPoint ? pcEntryPoint : "main", pcTarget);
    return nullptr;
}

NiD3DVertexShader* NiD3DShaderProgramCreatorHLSL::CreateVertexShaderFromBuffer(
    const void* pvBuffer, std::uint32_t uiBufferSize, const char*, const char* pcEntryPoint,
    const char* pcShaderTarget, gfx::IDirect3DVertexDeclaration9*, std::uint32_t, bool)
{
    const char* pcTarget =
        pcShaderTarget ? pcShaderTarget : gfx::D3DXGetVertexShaderProfile(NiD3DShaderProgram::GetCurrentDevice());
    Compile(false, static_cast<const char*>(pvBuffer), uiBufferSize, pcEntryPoint ? pcEntryPoint : "main", pcTarget);
    return nullptr;
}

NiD3DPixelShader* NiD3DShaderProgramCreatorHLSL::CreatePixelShaderFromFile(const char* pcFileName, const char*,
                                                                          const char* pcEntryPoint,
                                                                          const char* pcShaderTarget)
{
    const char* pcTarget =
        pcShaderTarget ? pcShaderTarget : gfx::D3DXGetPixelShaderProfile(NiD3DShaderProgram::GetCurrentDevice());
    Compile(true, pcFileName, 0, pcEntryPoint ? pcEntryPoint : "main", pcTarget);
    return nullptr;
}

NiD3DPixelShader* NiD3DShaderProgramCreatorHLSL::CreatePixelShaderFromBuffer(const void* pvBuffer,
                                                                            std::uint32_t uiBufferSize, const char*,
                                                                            const char* pcEntryPoint,
                                                                            const char* pcShaderTarget)
{
    const char* pcTarget =
        pcShaderTarget ? pcShaderTarget : gfx::D3DXGetPixelShaderProfile(NiD3DShaderProgram::GetCurrentDevice());
    Compile(false, static_cast<const char*>(pvBuffer), uiBufferSize, pcEntryPoint ? pcEntryPoint : "main", pcTarget);
    return nullptr;
}
