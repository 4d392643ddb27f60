#include "engine/shaders/effect/NiD3DXEffectFile.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

NiD3DXEffectFactory* NiD3DXEffectFactory::ms_pkInstance = nullptr;

namespace
{
bool Accessible(const std::string& kPath)
{
    std::FILE* pkFile = os::OpenFile(kPath, "rb");
    if (pkFile == nullptr)
        return false;
    std::fclose(pkFile);
    return true;
}

// The extension as the path splitter gives it: from the last '.' after the
// last separator.
std::string Extension(const std::string& kPath)
{
    const std::size_t uiSlash = kPath.find_last_of("/\\");
    const std::size_t uiDot = kPath.rfind('.');
    if (uiDot == std::string::npos || (uiSlash != std::string::npos && uiDot < uiSlash))
        return {};
    return kPath.substr(uiDot);
}
} // namespace

// ---- the file ----------------------------------------------------------------

NiD3DXEffectFile::NiD3DXEffectFile(const char* pcName) : m_kName(pcName ? pcName : "") {}

NiD3DXEffectFile::~NiD3DXEffectFile()
{
    if (NiD3DXEffectFactory* pkFactory = NiD3DXEffectFactory::PeekInstance())
        pkFactory->RemoveFile(m_kName.c_str());
    ReleaseDeviceObjects();
    m_kSets.clear();
    m_kParameters.clear();
}

bool NiD3DXEffectFile::SetEffect(gfx::ID3DXBaseEffect* pkEffect, gfx::IDirect3DDevice9* pkDevice)
{
    if (pkEffect == m_pkEffect)
        return false;
    if (m_pkEffect != nullptr)
        m_pkEffect->Release();
    m_bCreatedWithDevice = false;
    m_pkEffect = pkEffect;
    if (!ParseEffect())
        return false;
    if (pkDevice != nullptr && m_pkEffect != nullptr)
    {
        m_bCreatedWithDevice = true;
        return LinkHandles();
    }
    return true;
}

bool NiD3DXEffectFile::ParseEffect()
{
    if (m_bParsed)
        return true;
    if (m_pkEffect == nullptr)
        return false;
    gfx::D3DXEFFECT_DESC kDesc;
    if (gfx::FAILED(m_pkEffect->GetDesc(&kDesc)))
        return false;
    std::uint32_t uiShaderMapIndex = 0;
    for (std::uint32_t ui = 0;; ++ui)
    {
        gfx::D3DXHANDLE hParameter = m_pkEffect->GetParameter(nullptr, ui);
        if (hParameter == nullptr)
            break;
        NiD3DXEffectParameterDesc kParameter;
        if (!NiD3DXEffectParameter::DescribeParameter(m_pkEffect, hParameter, uiShaderMapIndex, kParameter))
            continue;
        auto pkParameter = std::make_unique<NiD3DXEffectParameter>();
        if (pkParameter->Initialize(kParameter, m_kAttributes))
            m_kParameters.push_back(std::move(pkParameter));
    }
    for (std::uint32_t ui = 0;; ++ui)
    {
        gfx::D3DXHANDLE hTechnique = m_pkEffect->GetTechnique(ui);
        if (hTechnique == nullptr)
            break;
        NiD3DXEffectTechniqueDesc kRecord;
        if (!kRecord.Read(m_pkEffect, hTechnique))
            continue;
        NiD3DXEffectTechniquePtr spTechnique = new NiD3DXEffectTechnique();
        spTechnique->Initialize(kRecord);
        spTechnique->SetFile(this);
        AddTechnique(spTechnique.Get());
    }
    m_kParameters.erase(std::remove_if(m_kParameters.begin(), m_kParameters.end(),
                                       [](const std::unique_ptr<NiD3DXEffectParameter>& p) { return !p->IsUsed(); }),
                        m_kParameters.end());
    m_bParsed = true;
    return true;
}

void NiD3DXEffectFile::AddTechnique(NiD3DXEffectTechnique* pkTechnique)
{
    // Use is asked of the effect interface; without one (a compiler
    // object) every parameter counts as used.
    void* pvEffect = nullptr;
    gfx::ID3DXEffect* pkEffect = nullptr;
    if (gfx::SUCCEEDED(m_pkEffect->QueryInterface(gfx::IID_ID3DXEffect, &pvEffect)))
        pkEffect = static_cast<gfx::ID3DXEffect*>(pvEffect);
    gfx::D3DXHANDLE hTechnique =
        pkEffect ? pkEffect->GetTechniqueByName(pkTechnique->GetTechniqueName().c_str()) : nullptr;
    for (const auto& pkParameter : m_kParameters)
    {
        if (pkEffect && !pkEffect->IsParameterUsed(pkParameter->GetName(), hTechnique))
            continue;
        pkParameter->SetUsed(true);
        pkTechnique->AddParameter(pkParameter.get());
    }
    if (pkEffect)
        pkEffect->Release();

    const std::string& kSetName =
        pkTechnique->GetShaderName().empty() ? pkTechnique->GetTechniqueName() : pkTechnique->GetShaderName();
    NiD3DXEffectTechniqueSet* pkSet = GetTechniqueSet(kSetName.c_str());
    if (pkSet == nullptr)
    {
        // A set is made only for a technique it can hold.
        if (pkTechnique->GetImplementation() < 0 ||
            pkTechnique->GetImplementation() >= static_cast<std::int32_t>(NiD3DXEffectTechniqueSet::MAX_IMPLEMENTATIONS))
        {
            ++m_uiRejected;
            NiShaderFactory::ReportError(1, true, "Technique %s of %s: implementation %d out of range\n",
                                         pkTechnique->GetTechniqueName().c_str(), m_kName.c_str(),
                                         pkTechnique->GetImplementation());
            return;
        }
        m_kSets.push_back(new NiD3DXEffectTechniqueSet(kSetName.c_str()));
        pkSet = m_kSets.back().Get();
    }
    if (!pkSet->AddTechnique(pkTechnique))
    {
        ++m_uiRejected;
        NiShaderFactory::ReportError(1, true, "Technique %s of %s: implementation %d out of range\n",
                                     pkTechnique->GetTechniqueName().c_str(), m_kName.c_str(),
                                     pkTechnique->GetImplementation());
    }
}

bool NiD3DXEffectFile::LinkHandles()
{
    if (m_pkEffect == nullptr || !m_bCreatedWithDevice)
        return false;
    void* pvEffect = nullptr;
    if (gfx::FAILED(m_pkEffect->QueryInterface(gfx::IID_ID3DXEffect, &pvEffect)))
        return false;
    auto* pkEffect = static_cast<gfx::ID3DXEffect*>(pvEffect);
    for (const auto& pkParameter : m_kParameters)
        pkParameter->LinkHandle(pkEffect);
    for (const NiD3DXEffectTechniqueSetPtr& spSet : m_kSets)
        for (std::uint32_t ui = 0; ui < spSet->GetImplementationCount(); ++ui)
            if (NiD3DXEffectTechnique* pkTechnique = spSet->GetTechnique(ui))
                pkTechnique->LinkHandle(pkEffect);
    pkEffect->Release();
    return true;
}

void NiD3DXEffectFile::PrepareForRenderer(NiDX9Renderer* pkRenderer)
{
    (void)NiD3DXEffectFactory::GetInstance();
    NiD3DXEffectFactory::SetRenderer(pkRenderer);
    NiD3DXEffectFactory::LoadEffectFile(m_kName.c_str());
    LinkHandles();
}

NiD3DXEffectShader* NiD3DXEffectFile::GetD3DShader(NiDX9Renderer* pkRenderer, const char* pcName,
                                                  std::uint32_t uiImplementation)
{
    PrepareForRenderer(pkRenderer);
    NiD3DXEffectTechniqueSet* pkSet = GetTechniqueSet(pcName);
    return pkSet != nullptr ? pkSet->GetD3DShader(pkRenderer, uiImplementation) : nullptr;
}

void NiD3DXEffectFile::HandleLostDevice()
{
    if (m_pkEffect != nullptr && m_bCreatedWithDevice)
        static_cast<gfx::ID3DXEffect*>(m_pkEffect)->OnLostDevice();
}

void NiD3DXEffectFile::HandleResetDevice()
{
    if (m_pkEffect != nullptr && m_bCreatedWithDevice)
        static_cast<gfx::ID3DXEffect*>(m_pkEffect)->OnResetDevice();
}

void NiD3DXEffectFile::ReleaseDeviceObjects()
{
    if (m_pkEffect != nullptr)
    {
        if (m_bCreatedWithDevice)
            static_cast<gfx::ID3DXEffect*>(m_pkEffect)->SetStateManager(nullptr);
        m_pkEffect->Release();
        m_pkEffect = nullptr;
        m_bCreatedWithDevice = false;
    }
    for (const NiD3DXEffectTechniqueSetPtr& spSet : m_kSets)
        spSet->ReleaseDeviceObjects();
    for (const auto& pkParameter : m_kParameters)
        pkParameter->ReleaseDeviceObject();
}

NiD3DXEffectTechniqueSet* NiD3DXEffectFile::GetTechniqueSet(const char* pcShaderName) const
{
    if (pcShaderName == nullptr)
        return nullptr;
    for (const NiD3DXEffectTechniqueSetPtr& spSet : m_kSets)
        if (spSet->GetName() == pcShaderName)
            return spSet.Get();
    return nullptr;
}

NiD3DXEffectTechnique* NiD3DXEffectFile::GetTechnique(const char* pcShaderName, std::uint32_t uiImplementation) const
{
    NiD3DXEffectTechniqueSet* pkSet = GetTechniqueSet(pcShaderName);
    return pkSet ? pkSet->GetTechnique(uiImplementation) : nullptr;
}

NiD3DXEffectTechnique* NiD3DXEffectFile::GetFirstTechnique()
{
    m_uiSetIter = 0;
    m_uiTechniqueIter = 0;
    return GetNextTechnique();
}

NiD3DXEffectTechnique* NiD3DXEffectFile::GetNextTechnique()
{
    while (m_uiSetIter < m_kSets.size())
    {
        NiD3DXEffectTechniqueSet* pkSet = m_kSets[m_uiSetIter].Get();
        while (m_uiTechniqueIter < pkSet->GetImplementationCount())
            if (NiD3DXEffectTechnique* pkTechnique = pkSet->GetTechnique(static_cast<std::uint32_t>(m_uiTechniqueIter++)))
                return pkTechnique;
        ++m_uiSetIter;
        m_uiTechniqueIter = 0;
    }
    return nullptr;
}

// ---- the factory ----------------------------------------------------------------

NiD3DXEffectFactory* NiD3DXEffectFactory::GetInstance()
{
    if (ms_pkInstance == nullptr)
        ms_pkInstance = new NiD3DXEffectFactory();
    return ms_pkInstance;
}

NiD3DXEffectFactory::~NiD3DXEffectFactory()
{
    ReleaseAllDeviceObjects();
}

void NiD3DXEffectFactory::Shutdown()
{
    NiD3DXEffectFactory* pkFactory = ms_pkInstance;
    if (pkFactory == nullptr)
        return;
    gfx::IDirect3DDevice9* pkDevice = pkFactory->m_pkDevice;
    pkFactory->m_pkDevice = nullptr;
    delete pkFactory;
    ms_pkInstance = nullptr;
    if (pkDevice != nullptr)
        pkDevice->Release();
    gfx::SetIncludeFolders({}); // the folders were this factory's
}

NiD3DXEffectFile* NiD3DXEffectFactory::GetFile(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    for (NiD3DXEffectFile* pkFile : m_kFiles)
        if (std::string(pkFile->GetName()) == pcName)
            return pkFile;
    return nullptr;
}

void NiD3DXEffectFactory::AddFile(NiD3DXEffectFile* pkFile)
{
    if (pkFile != nullptr && GetFile(pkFile->GetName()) == nullptr)
        m_kFiles.push_back(pkFile);
}

void NiD3DXEffectFactory::RemoveFile(const char* pcName)
{
    if (pcName == nullptr)
        return;
    m_kFiles.erase(std::remove_if(m_kFiles.begin(), m_kFiles.end(),
                                  [&](NiD3DXEffectFile* pkFile) { return std::string(pkFile->GetName()) == pcName; }),
                   m_kFiles.end());
}

void NiD3DXEffectFactory::ReleaseAllDeviceObjects()
{
    for (NiD3DXEffectFile* pkFile : m_kFiles)
    {
        if (pkFile->GetEffect() != nullptr)
            ++m_uiReleases;
        pkFile->ReleaseDeviceObjects();
    }
}

void NiD3DXEffectFactory::SetRenderer(NiDX9Renderer* pkRenderer)
{
    NiD3DXEffectFactory* pkFactory = GetInstance();
    if (pkFactory->m_pkRenderer == pkRenderer)
        return;
    if (pkRenderer != nullptr)
    {
        SetD3DDevice(pkRenderer->GetD3DDevice());
        pkFactory->m_pkRenderer = pkRenderer;
        return;
    }
    if (pkFactory->m_pkDevice != nullptr)
        pkFactory->m_pkDevice->Release();
    pkFactory->m_pkDevice = nullptr;
    pkFactory->ReleaseAllDeviceObjects();
    pkFactory->m_pkRenderer = nullptr;
}

void NiD3DXEffectFactory::SetD3DDevice(gfx::IDirect3DDevice9* pkDevice)
{
    NiD3DXEffectFactory* pkFactory = GetInstance();
    if (pkFactory->m_pkDevice == pkDevice)
        return;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (pkFactory->m_pkDevice != nullptr)
        pkFactory->m_pkDevice->Release();
    pkFactory->m_pkDevice = pkDevice;
    // Files compile again on the new device at their next use.
    pkFactory->ReleaseAllDeviceObjects();
}

void NiD3DXEffectFactory::HandleLostDevice(std::uint32_t uiMarker)
{
    NiD3DXEffectFactory* pkFactory = GetInstance();
    if (pkFactory->m_uiLastLost == uiMarker)
        return;
    for (NiD3DXEffectFile* pkFile : pkFactory->m_kFiles)
        pkFile->HandleLostDevice();
    pkFactory->m_uiLastLost = uiMarker;
}

void NiD3DXEffectFactory::HandleResetDevice(std::uint32_t uiMarker)
{
    NiD3DXEffectFactory* pkFactory = GetInstance();
    if (pkFactory->m_uiLastReset == uiMarker)
        return;
    for (NiD3DXEffectFile* pkFile : pkFactory->m_kFiles)
        pkFile->HandleResetDevice();
    pkFactory->m_uiLastReset = uiMarker;
}

void NiD3DXEffectFactory::SetEffectDirectory(const char* pcDirectory)
{
    GetInstance()->m_kDirectory = pcDirectory ? pcDirectory : "";
}

void NiD3DXEffectFactory::AddIncludeFolder(const char* pcDirectory)
{
    if (pcDirectory == nullptr || *pcDirectory == '\0')
        return;
    std::vector<std::string>& kFolders = GetInstance()->m_kIncludeFolders;
    if (std::find(kFolders.begin(), kFolders.end(), pcDirectory) == kFolders.end())
        kFolders.emplace_back(pcDirectory);
}

void NiD3DXEffectFactory::SetCompileFlags(std::uint32_t uiFlags)
{
    GetInstance()->m_uiCompileFlags = uiFlags;
}

bool NiD3DXEffectFactory::FindEffectFile(const char* pcName, std::string& kPath)
{
    if (pcName == nullptr)
        return false;
    if (Accessible(pcName))
    {
        kPath = pcName;
        return true;
    }
    NiD3DXEffectFactory* pkFactory = ms_pkInstance;
    if (pkFactory == nullptr)
    {
        NiShaderFactory::ReportError(1, true, "No valid D3D Effect factory\n");
        return false;
    }
    if (pkFactory->m_kDirectory.empty())
    {
        NiShaderFactory::ReportError(1, true, "Invalid or no D3D Effect directory\n");
        return false;
    }
    const std::string kName(pcName);
    const std::size_t uiSlash = kName.find_last_of("/\\");
    const std::string kFile = uiSlash == std::string::npos ? kName : kName.substr(uiSlash + 1);
    const std::string& kDir = pkFactory->m_kDirectory;
    const bool bEnds = kDir.back() == '/' || kDir.back() == '\\';
    const std::string kCandidate = bEnds ? kDir + kFile : kDir + "\\" + kFile;
    if (Accessible(kCandidate))
    {
        kPath = kCandidate;
        return true;
    }
    NiShaderFactory::ReportError(1, true, "D3D Effect file not found %s\n", pcName);
    return false;
}

bool NiD3DXEffectFactory::CompileEffectFile(const char* pcName, NiD3DXEffectFile*& pkFile)
{
    if (pcName == nullptr || *pcName == '\0')
    {
        NiShaderFactory::ReportError(1, true, "Missing D3D Effect file name\n");
        return false;
    }
    if (strcasecmp(Extension(pcName).c_str(), ".fx") != 0)
    {
        pkFile = nullptr;
        NiShaderFactory::ReportError(1, true, "Invalid D3D Effect file %s\n", pcName);
        return false;
    }
    std::string kPath;
    if (!FindEffectFile(pcName, kPath))
    {
        NiShaderFactory::ReportError(1, true, "Failed to find D3D Effect file %s\n", pcName);
        return false;
    }
    NiD3DXEffectFactory* pkFactory = GetInstance();
    const std::uint32_t uiFlags = NiD3DShaderProgramCreator::GetUniversalShaderCreationFlags() | pkFactory->m_uiCompileFlags;
    // Includes are found in the effect folders, then in the program path.
    std::vector<std::string> kFolders = pkFactory->m_kIncludeFolders;
    if (const NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance())
    {
        std::uint32_t uiPos = 0;
        for (const char* pc = pkPrograms->GetFirstProgramDirectory(uiPos); pc != nullptr;
             pc = pkPrograms->GetNextProgramDirectory(uiPos))
            kFolders.emplace_back(pc);
    }
    gfx::SetIncludeFolders(kFolders);
    gfx::ID3DXBuffer* pkErrors = nullptr;
    gfx::ID3DXBaseEffect* pkEffect = nullptr;
    gfx::HRESULT hr;
    if (pkFactory->m_pkDevice != nullptr)
    {
        gfx::ID3DXEffect* pkMade = nullptr;
        hr = gfx::D3DXCreateEffectFromFileA(pkFactory->m_pkDevice, kPath.c_str(), nullptr, nullptr, uiFlags, nullptr,
                                            &pkMade, &pkErrors);
        pkEffect = pkMade;
    }
    else
    {
        gfx::ID3DXEffectCompiler* pkMade = nullptr;
        hr = gfx::D3DXCreateEffectCompilerFromFileA(kPath.c_str(), nullptr, nullptr, uiFlags, &pkMade, &pkErrors);
        pkEffect = pkMade;
    }
    if (gfx::FAILED(hr) || pkEffect == nullptr)
    {
        const std::string kText = pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "";
        if (pkErrors != nullptr)
            pkErrors->Release();
        NiShaderFactory::ReportError(1, true, "Failed to compile D3D Effect using Temp Device:\n %s\n", kText.c_str());
        pkFile = nullptr;
        return false;
    }
    if (pkErrors != nullptr)
        pkErrors->Release();
    if (pkFile == nullptr)
        pkFile = new NiD3DXEffectFile(pcName);
    pkFile->SetEffect(pkEffect, pkFactory->m_pkDevice);
    return true;
}

NiD3DXEffectFile* NiD3DXEffectFactory::LoadEffectFile(const char* pcName)
{
    NiD3DXEffectFactory* pkFactory = GetInstance();
    if (pcName == nullptr || *pcName == '\0')
        return nullptr;
    NiD3DXEffectFile* pkFile = pkFactory->GetFile(pcName);
    if (pkFile != nullptr)
    {
        if (pkFile->IsCreatedWithDevice() || pkFactory->m_pkRenderer == nullptr)
            return pkFile;
        NiD3DXEffectFile* pkInOut = pkFile;
        return CompileEffectFile(pcName, pkInOut) ? pkFile : nullptr;
    }
    NiD3DXEffectFile* pkNew = nullptr;
    if (!CompileEffectFile(pcName, pkNew) || pkNew == nullptr)
        return nullptr;
    if (!pkNew->IsCreatedWithDevice())
        pkNew->ReleaseDeviceObjects();
    pkFactory->AddFile(pkNew);
    return pkNew;
}
