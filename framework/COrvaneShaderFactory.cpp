#include "framework/COrvaneShaderFactory.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsf/NSFParserLib.h"

#include <cstring>

namespace
{
COrvaneShaderFactory* s_pkFactory = nullptr;
COrvaneShaderFactory s_kEngineFactory;
} // namespace

COrvaneShaderFactory* COrvaneShaderFactory::Get()
{
    if (s_pkFactory != nullptr)
        return s_pkFactory;
    if (NiShaderFactory::GetInstance() == nullptr)
        return nullptr;
    if (NiShaderFactory::GetClassCreateCallback() == nullptr)
        NiShaderFactory::SetClassCreateCallback(&CreateShaderLibraryEntry);
    if (NiShaderFactory::GetRunParserCallback() == nullptr)
        NiShaderFactory::SetRunParserCallback(&RunNSFParserEntry);
    return &s_kEngineFactory;
}

void COrvaneShaderFactory::Set(COrvaneShaderFactory* pkFactory)
{
    s_pkFactory = pkFactory;
}

void COrvaneShaderFactory::AddProgramDirectory(const char* pcDirectory)
{
    if (NiShaderFactory* pkFactory = NiShaderFactory::GetInstance())
        pkFactory->AddProgramDirectory(pcDirectory);
}

std::uint32_t COrvaneShaderFactory::RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse)
{
    return NiShaderFactory::RunParser(pcLibrary, pcDirectory, bRecurse);
}

bool COrvaneShaderFactory::LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiDirectoryCount,
                                                        const char* const* ppcDirectories, bool bRecurse)
{
    return NiShaderFactory::LoadAndRegisterShaderLibrary(pcLibrary, uiDirectoryCount, ppcDirectories, bRecurse);
}

bool COrvaneShaderFactory::CreateShaderLibraryEntry(const char* pcLibrary, NiRenderer* pkRenderer,
                                                    std::uint32_t uiDirectoryCount,
                                                    const char* const* ppcDirectories, bool bRecurse,
                                                    NiShaderLibraryBase** ppkLibrary)
{
    if (ppkLibrary != nullptr)
        *ppkLibrary = nullptr;
    if (ppkLibrary == nullptr || pcLibrary == nullptr)
        return false;
    if (std::strcmp(pcLibrary, "NiD3DXEffectShaderLib.nl9") == 0)
    {
        NiD3DXEffectShaderLib* pkLibrary =
            NiD3DXEffectShaderLib::Create(pkRenderer, uiDirectoryCount, ppcDirectories, bRecurse);
        if (pkLibrary == nullptr)
            return false;
        *ppkLibrary = pkLibrary;
        return true;
    }
    if (std::strcmp(pcLibrary, "NSBShaderLib.nl9") == 0)
    {
        NSBShaderLib* pkLibrary = NSBShaderLib::Create(uiDirectoryCount, ppcDirectories, bRecurse);
        if (pkLibrary == nullptr)
            return false;
        pkLibrary->SetRenderer(NiDynamicCast<NiDX9Renderer>(pkRenderer));
        *ppkLibrary = pkLibrary;
        return true;
    }
    return false;
}

std::uint32_t COrvaneShaderFactory::RunNSFParserEntry(const char* pcLibrary, NiRenderer*, const char* pcDirectory,
                                                      bool bRecurse)
{
    if (pcLibrary == nullptr || std::strstr(pcLibrary, "NSFParserLib") == nullptr)
        return 0;
    const int iCount = ::RunNSFParserEntry(pcDirectory, bRecurse);
    return iCount > 0 ? static_cast<std::uint32_t>(iCount) : 0;
}
