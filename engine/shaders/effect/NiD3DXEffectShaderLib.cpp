#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "platform/os/OsFiles.h"

#include <algorithm>

std::list<std::string>* NiD3DXEffectShaderLib::ms_pkFileList = nullptr;

NiD3DXEffectShaderLib::NiD3DXEffectShaderLib() : NiD3DShaderLibrary("NiD3DXEffectShaderLib") {}

NiD3DXEffectShaderLib::~NiD3DXEffectShaderLib()
{
    for (NiD3DXEffectFile* pkFile : m_kFiles)
        delete pkFile;
    m_kFiles.clear();
    m_kTechniques.clear();
    LetDeviceGoWhenUnused();
}

// With no file left anywhere nothing needs the factory's device reference:
// the renderer may go before the shut-down.
void NiD3DXEffectShaderLib::LetDeviceGoWhenUnused()
{
    NiD3DXEffectFactory* pkFactory = NiD3DXEffectFactory::PeekInstance();
    if (pkFactory != nullptr && pkFactory->GetFileCount() == 0)
        NiD3DXEffectFactory::SetRenderer(nullptr);
}

NiD3DXEffectShaderLib* NiD3DXEffectShaderLib::Create(NiRenderer* pkRenderer, std::uint32_t uiDirectoryCount,
                                                     const char* const* ppcDirectories, bool bRecurse)
{
    auto* pkDX9 = NiDynamicCast<NiDX9Renderer>(pkRenderer);
    if (pkDX9 == nullptr)
        return nullptr;
    // The shut-down releases join the shader libraries' statics.
    NiD3DShaderLibraryStatics::SetEffectReleases(&NiD3DXEffectParameter::ReleaseBonePalette,
                                                 &NiD3DXEffectShaderLib::ReleaseEffectFileList,
                                                 &NiD3DXEffectFactory::Shutdown);
    auto* pkLibrary = new NiD3DXEffectShaderLib();
    pkLibrary->SetRenderer(pkDX9);
    for (std::uint32_t ui = 0; ui < uiDirectoryCount && ppcDirectories != nullptr; ++ui)
    {
        if (ms_pkFileList == nullptr)
            ms_pkFileList = new std::list<std::string>();
        NiD3DXEffectFactory::AddIncludeFolder(ppcDirectories[ui]);
        FindEffectFiles(ppcDirectories[ui], bRecurse);
        pkLibrary->LoadFileList();
    }
    if (pkLibrary->m_kFiles.empty())
    {
        delete pkLibrary; // never counted
        return nullptr;
    }
    return pkLibrary;
}

std::uint32_t NiD3DXEffectShaderLib::FindEffectFiles(const char* pcDirectory, bool bRecurse)
{
    if (pcDirectory == nullptr || *pcDirectory == '\0')
        return 0;
    if (ms_pkFileList == nullptr)
        ms_pkFileList = new std::list<std::string>();
    std::string kFolder(pcDirectory);
    if (kFolder.back() != '\\' && kFolder.back() != '/')
        kFolder += '\\';
    std::uint32_t uiAdded = 0;
    os::FindData kData;
    const os::FindHandle hFind = os::FindFirst(kFolder + "*", kData);
    if (hFind == -1)
        return 0;
    do
    {
        if (kData.name == "." || kData.name == "..")
            continue;
        const std::string kPath = kFolder + kData.name;
        if (kData.attributes & 0x10)
        {
            if (bRecurse)
            {
                NiD3DUtility::Log("    Recurse directory %s\\\n", kPath.c_str());
                uiAdded += FindEffectFiles(kPath.c_str(), true);
            }
            continue;
        }
        const std::size_t uiDot = kData.name.rfind('.');
        if (uiDot != std::string::npos && os::EqualsIgnoreCase(kData.name.substr(uiDot), ".FX"))
        {
            NiD3DUtility::Log("        Found %s File %s\n", ".FX", kPath.c_str());
            ms_pkFileList->push_back(kPath);
            ++uiAdded;
        }
    } while (os::FindNext(hFind, kData) == 0);
    os::FindClose(hFind);
    return uiAdded;
}

void NiD3DXEffectShaderLib::LoadFileList()
{
    if (ms_pkFileList == nullptr)
        return;
    for (const std::string& kPath : *ms_pkFileList)
    {
        NiD3DUtility::Log("Attempting to load %s\n", kPath.c_str());
        NiD3DXEffectFile* pkFile = NiD3DXEffectFactory::LoadEffectFile(kPath.c_str());
        if (pkFile == nullptr)
        {
            NiD3DUtility::Log("Failed to load %s\n", kPath.c_str());
            continue;
        }
        NiD3DUtility::Log("Loaded %s\n", kPath.c_str());
        AddEffectFile(pkFile);
    }
}

void NiD3DXEffectShaderLib::ReleaseEffectFileList()
{
    delete ms_pkFileList;
    ms_pkFileList = nullptr;
}

bool NiD3DXEffectShaderLib::AddEffectFile(NiD3DXEffectFile* pkFile)
{
    if (pkFile == nullptr)
        return false;
    if (std::find(m_kFiles.begin(), m_kFiles.end(), pkFile) != m_kFiles.end())
    {
        NiD3DUtility::Log("File %s already in list??\n", pkFile->GetName());
        return false;
    }
    m_kFiles.push_back(pkFile);
    if (m_pkLibraryDesc == nullptr)
        SetLibraryDesc(new NiShaderLibraryDesc());
    for (std::uint32_t ui = 0; ui < pkFile->GetTechniqueSetCount(); ++ui)
    {
        NiShaderDesc* pkDesc = pkFile->GetTechniqueSetAt(ui)->CreateShaderDesc(pkFile->GetAttributeTable());
        m_pkLibraryDesc->AddShaderDesc(pkDesc);
        m_pkLibraryDesc->AddPixelShaderVersion(pkDesc->GetMinPixelShaderVersion());
        m_pkLibraryDesc->AddPixelShaderVersion(pkDesc->GetMaxPixelShaderVersion());
        m_pkLibraryDesc->AddVertexShaderVersion(pkDesc->GetMinVertexShaderVersion());
        m_pkLibraryDesc->AddVertexShaderVersion(pkDesc->GetMaxVertexShaderVersion());
        m_pkLibraryDesc->AddUserDefinedVersion(pkDesc->GetMinUserDefinedVersion());
        m_pkLibraryDesc->AddUserDefinedVersion(pkDesc->GetMaxUserDefinedVersion());
        m_pkLibraryDesc->AddPlatformFlags(pkDesc->GetPlatformFlags());
    }
    for (NiD3DXEffectTechnique* pkTechnique = pkFile->GetFirstTechnique(); pkTechnique != nullptr;
         pkTechnique = pkFile->GetNextTechnique())
        m_kTechniques[pkTechnique->GetTechniqueName()] = pkFile;
    return true;
}

NiD3DXEffectFile* NiD3DXEffectShaderLib::GetFileOfTechnique(const char* pcTechnique) const
{
    if (pcTechnique == nullptr)
        return nullptr;
    const auto it = m_kTechniques.find(pcTechnique);
    return it == m_kTechniques.end() ? nullptr : it->second;
}

void NiD3DXEffectShaderLib::SetRenderer(NiDX9Renderer* pkRenderer)
{
    if (pkRenderer == m_pkRenderer)
        return;
    NiD3DShaderLibrary::SetRenderer(pkRenderer);
    NiD3DXEffectFactory::SetRenderer(pkRenderer);
}

NiShader* NiD3DXEffectShaderLib::GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation)
{
    auto* pkDX9 = NiDynamicCast<NiDX9Renderer>(pkRenderer);
    SetRenderer(pkDX9);
    NiD3DXEffectFile* pkFile = GetFileOfTechnique(pcName);
    if (pkFile == nullptr || pkDX9 == nullptr)
        return nullptr;
    return pkFile->GetD3DShader(pkDX9, pcName, uiImplementation);
}
