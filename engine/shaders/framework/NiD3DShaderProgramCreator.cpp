#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"

#include "engine/core/NiFile.h"
#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
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
                                            const char* pcEntryPoint, const char* pcTarget,
                                            std::unique_ptr<std::uint8_t[]>& spCode, std::uint32_t& uiCodeSize,
                                            gfx::ID3DXConstantTable*& pkTable)
{
    spCode.reset();
    uiCodeSize = 0;
    pkTable = nullptr;
    const std::uint32_t uiFlags = m_uiCreationFlags | ms_uiUniversalFlags;
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    gfx::HRESULT hr = gfx::E_FAIL;
    if (bFromFile)
    {
        std::string kPath;
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
    if (gfx::SUCCEEDED(hr) && pkCode != nullptr)
    {
        if (pkErrors)
            pkErrors->Release();
        spCode = TakeCode(pkCode, uiCodeSize);
        return true;
    }
    if (pkCode)
        pkCode->Release();
    if (pkTable)
        pkTable->Release();
    pkTable = nullptr;
    const std::string kText = pkErrors ? TakeText(pkErrors) : std::string("NONE REPORTED");
    if (bFromFile)
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to compile shader %s in file %s\nError: %s\n",
                                     pcEntryPoint, pcSource, kText.c_str());
    else
        NiShaderFactory::ReportError(ERROR_GENERAL, true, "Failed to assemble shader %s from memory\nError: %s\n",
                                     pcEntryPoint, kText.c_str());
    return false;
}

namespace
{
// A missing or empty entry point is "main"; a missing target the device's best profile.
const char* EntryOrMain(const char* pcEntryPoint)
{
    return pcEntryPoint != nullptr && pcEntryPoint[0] != '\0' ? pcEntryPoint : "main";
}

const char* TargetOr(const char* pcTarget, const char* (*pfnBest)(gfx::IDirect3DDevice9*))
{
    return pcTarget != nullptr && pcTarget[0] != '\0' ? pcTarget : pfnBest(NiD3DShaderProgram::GetCurrentDevice());
}

// The table the program's code carries; null for code that is no whole
// compiled program (its own size field is checked against the code's, so a
// damaged header is not read past).
gfx::ID3DXConstantTable* TableOfCode(const NiD3DShaderProgram& kProgram)
{
    const auto* puiCode = static_cast<const std::uint32_t*>(kProgram.GetCode());
    if (puiCode == nullptr || kProgram.GetCodeSize() < 16 || !gfx::IsShaderContainer(puiCode) ||
        gfx::ShaderContainerSize(puiCode) > kProgram.GetCodeSize())
        return nullptr;
    gfx::ID3DXConstantTable* pkTable = nullptr;
    if (gfx::FAILED(gfx::D3DXGetShaderConstantTable(puiCode, &pkTable)))
        return nullptr;
    return pkTable;
}

// A recreated program's table, read again from its code; the old one stays
// where the code carries none.
void RetakeTable(const NiD3DShaderProgram& kProgram, NiD3DHLSLProgramInfo& kInfo)
{
    if (gfx::ID3DXConstantTable* pkTable = TableOfCode(kProgram))
    {
        kInfo.SetConstantTable(pkTable);
        pkTable->Release();
    }
}

// The compiler's code and the table reference it hands over; the reference
// is given up when this goes, kept or not, since a shader holds its own.
struct CompiledProgram
{
    CompiledProgram() = default;
    CompiledProgram(const CompiledProgram&) = delete;
    CompiledProgram& operator=(const CompiledProgram&) = delete;
    ~CompiledProgram()
    {
        if (m_pkTable)
            m_pkTable->Release();
    }
    std::unique_ptr<std::uint8_t[]> m_spCode;
    std::uint32_t m_uiSize = 0;
    gfx::ID3DXConstantTable* m_pkTable = nullptr;
};

// A shader holding the compiled code, its device program made, told where
// it came from; null when the device refuses it. Count 0 until the factory
// keeps it, so a failure deletes it outright.
template <class TShader, class TMakeDevice>
TShader* MakeShader(CompiledProgram& kCompiled, const char* pcShaderName, TMakeDevice fnMakeDevice,
                    const char* pcFilename, NiD3DShaderProgramCreator* pkCreator, const char* pcEntry,
                    const char* pcTarget)
{
    auto* pkShader = new TShader;
    pkShader->SetName(pcShaderName);
    pkShader->SetCode(kCompiled.m_uiSize, std::move(kCompiled.m_spCode));
    if (!fnMakeDevice(pkShader))
    {
        delete pkShader;
        return nullptr;
    }
    pkShader->SetFilename(pcFilename);
    pkShader->SetCreator(pkCreator);
    pkShader->SetEntryPoint(pcEntry);
    pkShader->SetShaderTarget(pcTarget);
    pkShader->SetConstantTable(kCompiled.m_pkTable);
    return pkShader;
}
} // namespace

NiD3DVertexShader* NiD3DShaderProgramCreatorHLSL::CreateVertexShader(bool bFromFile, const char* pcSource,
                                                                     std::uint32_t uiSize, const char* pcShaderName,
                                                                     const char* pcEntryPoint,
                                                                     const char* pcShaderTarget, std::uint32_t uiUsage,
                                                                     bool bSoftwareVP)
{
    const char* pcEntry = EntryOrMain(pcEntryPoint);
    const char* pcTarget = TargetOr(pcShaderTarget, &gfx::D3DXGetVertexShaderProfile);
    CompiledProgram kCompiled;
    if (!Compile(bFromFile, pcSource, uiSize, pcEntry, pcTarget, kCompiled.m_spCode, kCompiled.m_uiSize,
                 kCompiled.m_pkTable))
        return nullptr;
    auto* pkShader = MakeShader<NiD3DHLSLVertexShader>(kCompiled, pcShaderName, &CreateDeviceVertexShader,
                                                       bFromFile ? pcSource : nullptr, this, pcEntry, pcTarget);
    if (pkShader == nullptr)
        return nullptr;
    pkShader->SetUsage(uiUsage);
    pkShader->SetSoftwareVertexProcessing(bSoftwareVP);
    return pkShader;
}

NiD3DPixelShader* NiD3DShaderProgramCreatorHLSL::CreatePixelShader(bool bFromFile, const char* pcSource,
                                                                   std::uint32_t uiSize, const char* pcShaderName,
                                                                   const char* pcEntryPoint,
                                                                   const char* pcShaderTarget)
{
    const char* pcEntry = EntryOrMain(pcEntryPoint);
    const char* pcTarget = TargetOr(pcShaderTarget, &gfx::D3DXGetPixelShaderProfile);
    CompiledProgram kCompiled;
    if (!Compile(bFromFile, pcSource, uiSize, pcEntry, pcTarget, kCompiled.m_spCode, kCompiled.m_uiSize,
                 kCompiled.m_pkTable))
        return nullptr;
    return MakeShader<NiD3DHLSLPixelShader>(kCompiled, pcShaderName, &CreateDevicePixelShader,
                                            bFromFile ? pcSource : nullptr, this, pcEntry, pcTarget);
}

NiD3DVertexShader* NiD3DShaderProgramCreatorHLSL::CreateVertexShaderFromFile(
    const char* pcFileName, const char* pcShaderName, const char* pcEntryPoint, const char* pcShaderTarget,
    gfx::IDirect3DVertexDeclaration9*, std::uint32_t uiUsage, bool bSoftwareVP)
{
    return CreateVertexShader(true, pcFileName, 0, pcShaderName, pcEntryPoint, pcShaderTarget, uiUsage, bSoftwareVP);
}

NiD3DVertexShader* NiD3DShaderProgramCreatorHLSL::CreateVertexShaderFromBuffer(
    const void* pvBuffer, std::uint32_t uiBufferSize, const char* pcShaderName, const char* pcEntryPoint,
    const char* pcShaderTarget, gfx::IDirect3DVertexDeclaration9*, std::uint32_t uiUsage, bool bSoftwareVP)
{
    return CreateVertexShader(false, static_cast<const char*>(pvBuffer), uiBufferSize, pcShaderName, pcEntryPoint,
                              pcShaderTarget, uiUsage, bSoftwareVP);
}

NiD3DPixelShader* NiD3DShaderProgramCreatorHLSL::CreatePixelShaderFromFile(const char* pcFileName,
                                                                          const char* pcShaderName,
                                                                          const char* pcEntryPoint,
                                                                          const char* pcShaderTarget)
{
    return CreatePixelShader(true, pcFileName, 0, pcShaderName, pcEntryPoint, pcShaderTarget);
}

NiD3DPixelShader* NiD3DShaderProgramCreatorHLSL::CreatePixelShaderFromBuffer(const void* pvBuffer,
                                                                            std::uint32_t uiBufferSize,
                                                                            const char* pcShaderName,
                                                                            const char* pcEntryPoint,
                                                                            const char* pcShaderTarget)
{
    return CreatePixelShader(false, static_cast<const char*>(pvBuffer), uiBufferSize, pcShaderName, pcEntryPoint,
                             pcShaderTarget);
}

bool NiD3DShaderProgramCreatorHLSL::RecreateVertexShader(NiD3DVertexShader* pkShader)
{
    if (!NiD3DShaderProgramCreator::RecreateVertexShader(pkShader))
        return false;
    if (auto* pkHLSL = dynamic_cast<NiD3DHLSLVertexShader*>(pkShader))
        RetakeTable(*pkHLSL, *pkHLSL);
    return true;
}

bool NiD3DShaderProgramCreatorHLSL::RecreatePixelShader(NiD3DPixelShader* pkShader)
{
    if (!NiD3DShaderProgramCreator::RecreatePixelShader(pkShader))
        return false;
    if (auto* pkHLSL = dynamic_cast<NiD3DHLSLPixelShader*>(pkShader))
        RetakeTable(*pkHLSL, *pkHLSL);
    return true;
}
