#include "framework/COrvaneShaderFactory.h"

#include "engine/shaders/framework/NiShaderFactory.h"

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

bool COrvaneShaderFactory::CreateShaderLibraryEntry(const char*, NiRenderer*, std::uint32_t, const char* const*, bool,
                                                    NiShaderLibraryBase** ppkLibrary)
{
    // The binary shader and effect libraries join here as they are built.
    if (ppkLibrary != nullptr)
        *ppkLibrary = nullptr;
    return false;
}

std::uint32_t COrvaneShaderFactory::RunNSFParserEntry(const char*, NiRenderer*, const char*, bool)
{
    // The shader-description parser joins here when it is built.
    return 0;
}
