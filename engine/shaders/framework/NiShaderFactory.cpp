#include "engine/shaders/framework/NiShaderFactory.h"

#include "engine/render/NiRenderer.h"
#include "engine/shaders/framework/NiShaderLibraryBase.h"

#include <cstdarg>
#include <cstdio>
#include <string>

NiShaderFactory* NiShaderFactory::ms_pkFactory = nullptr;

NiShaderFactory::~NiShaderFactory()
{
    if (ms_pkFactory != nullptr)
    {
        ms_pkFactory->RemoveAllShaders();
        ms_pkFactory->RemoveAllLibraries();
    }
}

bool NiShaderFactory::AttachShader(NiGeometry*, NiShader*) { return true; }
bool NiShaderFactory::AttachShaderByName(NiGeometry*, const char*, std::uint32_t) { return true; }
bool NiShaderFactory::DetachGeometry(NiGeometry*) { return true; }
NiShader* NiShaderFactory::RetrieveShader(const char*, std::uint32_t, bool) { return nullptr; }
void NiShaderFactory::InsertShader(NiShader*, std::uint32_t) {}
NiShader* NiShaderFactory::FindShader(const char*, std::uint32_t) { return nullptr; }
void NiShaderFactory::RemoveShader(const char*, std::uint32_t) {}
void NiShaderFactory::RemoveAllShaders() {}
void NiShaderFactory::InsertLibrary(NiShaderLibraryBase*) {}
NiShaderLibraryBase* NiShaderFactory::FindLibrary(const char*) { return nullptr; }
void NiShaderFactory::RemoveLibrary(const char*) {}
void NiShaderFactory::RemoveAllLibraries() {}
NiShaderLibraryBase* NiShaderFactory::GetFirstLibrary() { return nullptr; }
NiShaderLibraryBase* NiShaderFactory::GetNextLibrary() { return nullptr; }

bool NiShaderFactory::SetClassCreateCallback(ClassCreateCallback pfnCallback)
{
    if (ms_pkFactory == nullptr)
        return false;
    ms_pkFactory->m_pfnClassCreate = pfnCallback;
    return true;
}

bool NiShaderFactory::SetRunParserCallback(RunParserCallback pfnCallback)
{
    if (ms_pkFactory == nullptr)
        return false;
    ms_pkFactory->m_pfnRunParser = pfnCallback;
    return true;
}

bool NiShaderFactory::SetErrorCallback(ErrorCallback pfnCallback)
{
    if (ms_pkFactory == nullptr)
        return false;
    ms_pkFactory->m_pfnError = pfnCallback;
    return true;
}

NiShaderFactory::ClassCreateCallback NiShaderFactory::GetClassCreateCallback()
{
    return ms_pkFactory != nullptr ? ms_pkFactory->m_pfnClassCreate : nullptr;
}

NiShaderFactory::RunParserCallback NiShaderFactory::GetRunParserCallback()
{
    return ms_pkFactory != nullptr ? ms_pkFactory->m_pfnRunParser : nullptr;
}

bool NiShaderFactory::LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiDirectoryCount,
                                                   const char* const* ppcDirectories, bool bRecurse)
{
    if (ms_pkFactory == nullptr)
        return false;
    if (ms_pkFactory->m_pfnClassCreate == nullptr)
    {
        ReportError(ERROR_GENERAL, true, "LoadAndRegisterShaderLibrary: No valid ClassCreate call\n");
        return false;
    }
    NiShaderLibraryBase* pkLibrary = nullptr;
    const bool bMade = ms_pkFactory->m_pfnClassCreate(pcLibrary, NiRenderer::GetRenderer(), uiDirectoryCount,
                                                      ppcDirectories, bRecurse, &pkLibrary);
    if (bMade && pkLibrary != nullptr)
        ms_pkFactory->InsertLibrary(pkLibrary);
    return bMade;
}

std::uint32_t NiShaderFactory::RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse)
{
    if (ms_pkFactory == nullptr)
        return 0;
    if (ms_pkFactory->m_pfnRunParser == nullptr)
    {
        ReportError(ERROR_GENERAL, true, "LoadAndRegisterShaderLibrary: No valid RunParser call\n");
        return 0;
    }
    return ms_pkFactory->m_pfnRunParser(pcLibrary, NiRenderer::GetRenderer(), pcDirectory, bRecurse);
}

int NiShaderFactory::ReportError(std::uint32_t uiCode, bool bRecoverable, const char* pcFormat, ...)
{
    if (ms_pkFactory == nullptr || ms_pkFactory->m_pfnError == nullptr)
        return 0;
    std::va_list kArgs;
    va_start(kArgs, pcFormat);
    std::va_list kCopy;
    va_copy(kCopy, kArgs);
    const int iLength = std::vsnprintf(nullptr, 0, pcFormat, kArgs);
    va_end(kArgs);
    std::string kText(iLength > 0 ? static_cast<std::size_t>(iLength) : 0, '\0');
    if (iLength > 0)
        std::vsnprintf(kText.data(), kText.size() + 1, pcFormat, kCopy);
    va_end(kCopy);
    return ms_pkFactory->m_pfnError(kText.c_str(), uiCode, bRecoverable);
}

bool NiShaderFactory::AttachShaderByNameToGeometry(NiGeometry* pkGeometry, const char* pcName,
                                                   std::uint32_t uiImplementation)
{
    if (pkGeometry == nullptr || ms_pkFactory == nullptr)
        return false;
    return ms_pkFactory->AttachShaderByName(pkGeometry, pcName, uiImplementation);
}

bool NiShaderFactory::ReleaseGeometry(NiGeometry* pkGeometry)
{
    if (pkGeometry == nullptr || ms_pkFactory == nullptr)
        return false;
    return ms_pkFactory->DetachGeometry(pkGeometry);
}
