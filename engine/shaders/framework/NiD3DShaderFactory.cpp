#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiGeometry.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"

#include <cstdio>
#include <cstring>
#include <vector>

NiD3DShaderFactory* NiD3DShaderFactory::ms_pkD3DShaderFactory = nullptr;
NiDX9Renderer* NiD3DShaderFactory::ms_pkRendererStatic = nullptr;
gfx::IDirect3DDevice9* NiD3DShaderFactory::ms_pkD3DDeviceStatic = nullptr;
std::uint32_t NiD3DShaderFactory::ms_uiUnnamedShaders = 0;

// ---- global data entry ----

NiD3DGlobalDataEntry::NiD3DGlobalDataEntry(const char* pcName, std::uint32_t uiType, std::uint32_t uiSize,
                                           const void* pvData)
    : m_kName(pcName ? pcName : ""), m_uiType(uiType)
{
    SetOwnedDataBlock(uiSize, pvData);
}

void NiD3DGlobalDataEntry::SetOwnedDataBlock(std::uint32_t uiSize, const void* pvData)
{
    if (m_spData == nullptr || uiSize > m_uiSize)
    {
        auto spNew = std::make_unique<std::uint8_t[]>(uiSize > 0 ? uiSize : 1);
        if (m_spData != nullptr)
            std::memcpy(spNew.get(), m_spData.get(), m_uiSize);
        m_spData = std::move(spNew);
        m_uiSize = uiSize;
    }
    if (pvData != nullptr && uiSize > 0)
        std::memcpy(m_spData.get(), pvData, uiSize);
}

// ---- factory ----

NiD3DShaderFactory::NiD3DShaderFactory() = default;

NiD3DShaderFactory::~NiD3DShaderFactory()
{
    RemoveAllShaders();
    RemoveAllLibraries();
    std::vector<std::string> kNames;
    for (NiHashMapPos kPos = m_kGlobals.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiD3DGlobalDataEntry* pkEntry = nullptr;
        m_kGlobals.GetNext(kPos, pcName, pkEntry);
        kNames.emplace_back(pcName);
    }
    // Every user's reference goes with the factory.
    for (const std::string& kName : kNames)
    {
        NiD3DGlobalDataEntry* pkEntry = nullptr;
        while (m_kGlobals.GetAt(kName.c_str(), pkEntry))
        {
            if (pkEntry->GetRefCount() == 1)
                m_kGlobals.RemoveAt(kName.c_str());
            pkEntry->DecRefCount();
        }
    }
    m_pkRenderer = nullptr;
}

std::string NiD3DShaderFactory::MakeKey(const char* pcName, std::uint32_t uiImplementation)
{
    char acNumber[16];
    std::snprintf(acNumber, sizeof(acNumber), "%d", static_cast<int>(uiImplementation));
    return std::string(pcName ? pcName : "") + acNumber;
}

bool NiD3DShaderFactory::AttachShader(NiGeometry* pkGeometry, NiShader* pkShader)
{
    if (pkShader == nullptr)
        return false;
    NiShaderPtr spHold(pkShader);
    if (pkShader->GetName() == nullptr)
    {
        char acName[32];
        std::snprintf(acName, sizeof(acName), "NiD3DShader%u", ms_uiUnnamedShaders++);
        pkShader->SetName(acName);
    }
    auto* pkD3DShader = NiDynamicCast<NiD3DShaderInterface>(pkShader);
    const bool bDefault = pkD3DShader != nullptr && pkD3DShader->IsDefaultImplementation();
    const std::uint32_t uiStoredAs = bDefault ? 0xFFFFFFFFu : pkShader->GetImplementation();
    NiShader* pkFound = RetrieveShader(pkShader->GetName(), pkShader->GetImplementation(), false);
    if (pkFound != nullptr && pkFound != pkShader)
        return false;
    if (pkFound == nullptr)
    {
        if (pkD3DShader != nullptr)
            m_pkRenderer->RegisterD3DShader(pkD3DShader);
        InsertShader(pkShader, uiStoredAs);
    }
    // Looked up again under the number it was stored with, so a shader of
    // another implementation finds itself.
    return AttachShaderByName(pkGeometry, pkShader->GetName(), uiStoredAs);
}

bool NiD3DShaderFactory::AttachShaderByName(NiGeometry* pkGeometry, const char* pcName,
                                            std::uint32_t uiImplementation)
{
    NiShader* pkShader = RetrieveShader(pcName, uiImplementation, true);
    if (pkShader == nullptr)
    {
        ReportError(ERROR_SHADER_NOT_FOUND, true, "Cannot find shader %s, Implementation %d\n", pcName ? pcName : "",
                    static_cast<int>(uiImplementation));
        return false;
    }
    auto* pkD3DShader = NiDynamicCast<NiD3DShaderInterface>(pkShader);
    if (pkD3DShader != nullptr)
    {
        if (uiImplementation == 0xFFFFFFFFu)
            pkD3DShader->SetDefaultImplementation(true);
        pkD3DShader->Initialize(m_pkRenderer);
    }
    if (!pkShader->SetupGeometry(pkGeometry))
        ReportError(ERROR_GENERAL, true, "SetupGeometry on %s failed\n", pkShader->GetName() ? pkShader->GetName() : "");
    if (pkGeometry != nullptr)
        pkGeometry->SetShader(pkShader);
    return true;
}

bool NiD3DShaderFactory::DetachGeometry(NiGeometry* pkGeometry)
{
    if (pkGeometry == nullptr)
        return false;
    pkGeometry->SetShader(nullptr);
    return true;
}

NiShader* NiD3DShaderFactory::RetrieveShader(const char* pcName, std::uint32_t uiImplementation, bool bReportErrors)
{
    if (m_pkRenderer == nullptr)
    {
        std::fputs("Attempting to RetrieveShader w/out a valid renderer!\n", stderr);
        return nullptr;
    }
    if (pcName == nullptr || pcName[0] == '\0')
    {
        ReportError(ERROR_GENERAL, true, "Attempting to RetrieveShader w/out a valid name!\n");
        return nullptr;
    }
    NiShader* pkShader = FindShader(pcName, uiImplementation);
    if (pkShader != nullptr)
        return pkShader;
    for (NiShaderLibraryBase* pkLibrary = GetFirstLibrary(); pkLibrary != nullptr; pkLibrary = GetNextLibrary())
    {
        pkShader = pkLibrary->GetShader(m_pkRenderer, pcName, uiImplementation);
        if (pkShader == nullptr)
            continue;
        InsertShader(pkShader, uiImplementation);
        if (auto* pkD3DShader = NiDynamicCast<NiD3DShaderInterface>(pkShader))
        {
            m_pkRenderer->RegisterD3DShader(pkD3DShader);
            pkD3DShader->SetRenderer(m_pkRenderer);
        }
        return pkShader;
    }
    if (bReportErrors)
        ReportError(ERROR_GENERAL, true, "Failed to find shader %s, Implementation %d\n", pcName,
                    static_cast<int>(uiImplementation));
    return nullptr;
}

void NiD3DShaderFactory::InsertShader(NiShader* pkShader, std::uint32_t uiImplementation)
{
    if (pkShader == nullptr)
        return;
    m_kShaders.SetAt(MakeKey(pkShader->GetName(), uiImplementation).c_str(), pkShader);
}

NiShader* NiD3DShaderFactory::FindShader(const char* pcName, std::uint32_t uiImplementation)
{
    NiShader* pkShader = nullptr;
    return m_kShaders.GetAt(MakeKey(pcName, uiImplementation).c_str(), pkShader) ? pkShader : nullptr;
}

void NiD3DShaderFactory::RemoveShader(const char* pcName, std::uint32_t uiImplementation)
{
    m_kShaders.RemoveAt(MakeKey(pcName, uiImplementation).c_str());
}

void NiD3DShaderFactory::RemoveAllShaders()
{
    m_kShaders.RemoveAll();
}

void NiD3DShaderFactory::InsertLibrary(NiShaderLibraryBase* pkLibrary)
{
    if (pkLibrary == nullptr || pkLibrary->GetName() == nullptr)
        return;
    m_kLibraries.SetAt(pkLibrary->GetName(), pkLibrary);
}

NiShaderLibraryBase* NiD3DShaderFactory::FindLibrary(const char* pcName)
{
    NiShaderLibraryBase* pkLibrary = nullptr;
    return m_kLibraries.GetAt(pcName, pkLibrary) ? pkLibrary : nullptr;
}

void NiD3DShaderFactory::RemoveLibrary(const char* pcName)
{
    const NiShaderLibraryBasePtr spLibrary = FindLibrary(pcName);
    // The map's reference and this lookup's: nobody else holds it.
    if (spLibrary != nullptr && spLibrary->GetRefCount() == 2)
        m_kLibraries.RemoveAt(spLibrary->GetName());
}

void NiD3DShaderFactory::RemoveAllLibraries()
{
    // Libraries others still hold are let go as well: the factory keeps none.
    m_kLibraries.RemoveAll();
    m_kLibraryPos = nullptr;
}

NiShaderLibraryBase* NiD3DShaderFactory::GetFirstLibrary()
{
    m_kLibraryPos = m_kLibraries.GetFirstPos();
    return GetNextLibrary();
}

NiShaderLibraryBase* NiD3DShaderFactory::GetNextLibrary()
{
    if (m_kLibraryPos == nullptr)
        return nullptr;
    const char* pcName = nullptr;
    NiShaderLibraryBase* pkLibrary = nullptr;
    m_kLibraries.GetNext(m_kLibraryPos, pcName, pkLibrary);
    return pkLibrary;
}

const char* NiD3DShaderFactory::GetFirstProgramDirectory(std::uint32_t& uiPos)
{
    NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance();
    return pkPrograms ? pkPrograms->GetFirstProgramDirectory(uiPos) : nullptr;
}

const char* NiD3DShaderFactory::GetNextProgramDirectory(std::uint32_t& uiPos)
{
    NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance();
    return pkPrograms ? pkPrograms->GetNextProgramDirectory(uiPos) : nullptr;
}

void NiD3DShaderFactory::AddProgramDirectory(const char* pcDirectory)
{
    if (NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance())
        pkPrograms->AddProgramDirectory(pcDirectory);
}

void NiD3DShaderFactory::RemoveProgramDirectory(const char* pcDirectory)
{
    if (NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance())
        pkPrograms->RemoveProgramDirectory(pcDirectory);
}

void NiD3DShaderFactory::RemoveAllProgramDirectories()
{
    if (NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance())
        pkPrograms->RemoveAllProgramDirectories();
}

void NiD3DShaderFactory::SetRenderer(NiDX9Renderer* pkRenderer)
{
    if (pkRenderer == m_pkRenderer)
        return;
    m_pkRenderer = pkRenderer;
    for (NiShaderLibraryBase* pkLibrary = GetFirstLibrary(); pkLibrary != nullptr; pkLibrary = GetNextLibrary())
        pkLibrary->SetRenderer(pkRenderer);
}

void NiD3DShaderFactory::PurgeAllShaderRendererData()
{
    if (m_pkRenderer != nullptr)
        m_pkRenderer->PurgeAllD3DShaders();
}

void NiD3DShaderFactory::InitializeShaders()
{
    if (m_pkRenderer == nullptr)
        return;
    for (NiHashMapPos kPos = m_kShaders.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcKey = nullptr;
        NiShader* pkShader = nullptr;
        m_kShaders.GetNext(kPos, pcKey, pkShader);
        auto* pkD3DShader = NiDynamicCast<NiD3DShaderInterface>(pkShader);
        if (pkD3DShader == nullptr || pkD3DShader->IsInitialized())
            continue;
        pkD3DShader->SetRenderer(m_pkRenderer);
        pkD3DShader->RecreateRendererData();
        m_pkRenderer->RegisterD3DShader(pkD3DShader);
    }
}

// ---- class level ----

void NiD3DShaderFactory::Create()
{
    if (ms_pkD3DShaderFactory == nullptr)
    {
        ms_pkD3DShaderFactory = new NiD3DShaderFactory;
        ms_pkD3DShaderFactory->IncRefCount();
        SetInstance(ms_pkD3DShaderFactory);
    }
    if (GetInstance() == nullptr)
        std::fputs("Failed to create shader factory!\n", stderr);
}

void NiD3DShaderFactory::Destroy()
{
    if (ms_pkD3DShaderFactory == nullptr)
        return;
    if (GetInstance() == ms_pkD3DShaderFactory)
        SetInstance(nullptr);
    NiD3DShaderFactory* pkFactory = ms_pkD3DShaderFactory;
    ms_pkD3DShaderFactory = nullptr;
    pkFactory->DecRefCount();
}

void NiD3DShaderFactory::SetRendererStatic(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (ms_pkD3DDeviceStatic != nullptr)
        ms_pkD3DDeviceStatic->Release();
    ms_pkD3DDeviceStatic = pkDevice;
    ms_pkRendererStatic = pkRenderer;
}

bool NiD3DShaderFactory::AddGlobalData(const char* pcName, std::uint32_t uiType, std::uint32_t uiSize,
                                       const void* pvData)
{
    if (ms_pkD3DShaderFactory == nullptr || pcName == nullptr)
        return false;
    NiD3DGlobalDataEntry* pkEntry = nullptr;
    if (ms_pkD3DShaderFactory->m_kGlobals.GetAt(pcName, pkEntry))
    {
        if (pkEntry->GetType() != uiType)
            return false;
        pkEntry->IncRefCount();
        return true;
    }
    pkEntry = new NiD3DGlobalDataEntry(pcName, uiType, uiSize, pvData);
    pkEntry->IncRefCount();
    ms_pkD3DShaderFactory->m_kGlobals.SetAt(pcName, pkEntry);
    return true;
}

bool NiD3DShaderFactory::ReleaseGlobalData(const char* pcName)
{
    NiD3DGlobalDataEntry* pkEntry = GetGlobalDataEntry(pcName);
    if (pkEntry == nullptr)
        return false;
    if (pkEntry->GetRefCount() == 1)
        ms_pkD3DShaderFactory->m_kGlobals.RemoveAt(pcName);
    pkEntry->DecRefCount();
    return true;
}

bool NiD3DShaderFactory::RetrieveGlobalData(const char* pcName, std::uint32_t& uiSize, const void*& pvData)
{
    NiD3DGlobalDataEntry* pkEntry = GetGlobalDataEntry(pcName);
    if (pkEntry == nullptr)
        return false;
    uiSize = pkEntry->GetSize();
    pvData = pkEntry->GetData();
    return true;
}

NiD3DGlobalDataEntry* NiD3DShaderFactory::GetGlobalDataEntry(const char* pcName)
{
    if (ms_pkD3DShaderFactory == nullptr)
        return nullptr;
    NiD3DGlobalDataEntry* pkEntry = nullptr;
    return ms_pkD3DShaderFactory->m_kGlobals.GetAt(pcName, pkEntry) ? pkEntry : nullptr;
}
