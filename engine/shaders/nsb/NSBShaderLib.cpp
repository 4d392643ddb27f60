#include "engine/shaders/nsb/NSBShaderLib.h"

#include "engine/core/NiLibraryRegistry.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NSBLoader.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "platform/os/OsDialog.h"

#include <cstring>

namespace
{
NiLibraryRegistrationCounter s_kRegistration;
bool s_bStarted = false;

void Startup()
{
    s_bStarted = true;
}

void Shutdown()
{
    s_bStarted = false;
}
} // namespace

NSBShaderLib::NSBShaderLib() : NiD3DShaderLibrary("NSBShaderLib") {}

NSBShaderLib::~NSBShaderLib()
{
    os::OutputDebugString("Releasing Binary Shaders!\n");
    m_kShaders.clear();
}

NSBShaderLib* NSBShaderLib::Create(std::uint32_t uiDirectoryCount, const char* const* ppcDirectories, bool bRecurse)
{
    // Uncounted until the caller takes it; nothing below keeps a reference.
    auto* pkLibrary = new NSBShaderLib;
    for (std::uint32_t ui = 0; ui < uiDirectoryCount && ppcDirectories != nullptr; ++ui)
    {
        NSBLoader* pkLoader = NSBLoader::GetInstance();
        const bool bLoaded = pkLoader->LoadNSBShaders(pkLibrary, ppcDirectories[ui], bRecurse);
        NSBLoader::Destroy();
        if (!bLoaded)
            NiD3DUtility::Log("LoadNSBShaders failed on %s\n", ppcDirectories[ui] ? ppcDirectories[ui] : "");
    }
    if (pkLibrary->m_kShaders.empty())
    {
        delete pkLibrary;
        return nullptr;
    }
    return pkLibrary;
}

NiShader* NSBShaderLib::GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation)
{
    NSBShader* pkShader = FindShader(pcName);
    if (pkShader == nullptr)
        return nullptr;
    // The shader is built for the renderer that asks; one the library was
    // given stands in only when the caller names none.
    NiDX9Renderer* pkDX9 = NiDynamicCast<NiDX9Renderer>(pkRenderer);
    return pkShader->GetD3DShader(pkDX9 != nullptr ? pkDX9 : m_pkRenderer, uiImplementation);
}

bool NSBShaderLib::InsertShader(NSBShader* pkShader)
{
    if (pkShader == nullptr)
        return false;
    if (FindShader(pkShader->GetName()) != nullptr)
    {
        NiD3DUtility::Log("Shader %s already in list??\n", pkShader->GetName() ? pkShader->GetName() : "");
        return false;
    }
    m_kShaders.emplace_back(pkShader);
    if (m_pkLibraryDesc == nullptr)
        SetLibraryDesc(new NiShaderLibraryDesc);
    NiShaderDesc* pkDesc = pkShader->GetShaderDesc();
    m_pkLibraryDesc->AddShaderDesc(pkDesc);
    m_pkLibraryDesc->AddPixelShaderVersion(pkDesc->GetMinPixelShaderVersion());
    m_pkLibraryDesc->AddPixelShaderVersion(pkDesc->GetMaxPixelShaderVersion());
    m_pkLibraryDesc->AddVertexShaderVersion(pkDesc->GetMinVertexShaderVersion());
    m_pkLibraryDesc->AddVertexShaderVersion(pkDesc->GetMaxVertexShaderVersion());
    m_pkLibraryDesc->AddUserDefinedVersion(pkDesc->GetMinUserDefinedVersion());
    m_pkLibraryDesc->AddUserDefinedVersion(pkDesc->GetMaxUserDefinedVersion());
    m_pkLibraryDesc->AddPlatformFlags(pkDesc->GetPlatformFlags());
    return true;
}

NSBShader* NSBShaderLib::FindShader(const char* pcName) const
{
    const char* pcWanted = pcName ? pcName : "";
    for (const NSBShaderPtr& spShader : m_kShaders)
    {
        const char* pcShader = spShader->GetName();
        if (std::strcmp(pcShader ? pcShader : "", pcWanted) == 0)
            return spShader.Get();
    }
    return nullptr;
}

void NSBShaderLib::RegisterLibrary()
{
    if (s_kRegistration.Count())
        NiLibraryRegistry::RegisterLibrary(&Startup, &Shutdown);
}

bool NSBShaderLib::IsStarted()
{
    return s_bStarted;
}

void NSBShaderLib::ResetRegistration()
{
    s_kRegistration.Reset();
    s_bStarted = false;
}
