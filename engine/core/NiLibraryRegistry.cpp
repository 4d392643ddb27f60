#include "engine/core/NiLibraryRegistry.h"

#include "engine/core/NiLog.h"

#include <cstdio>

namespace
{
struct LibraryEntry
{
    NiLibraryFunction m_pfnInit = nullptr;
    NiLibraryFunction m_pfnShutdown = nullptr;
};

LibraryEntry s_kMain;
LibraryEntry s_akLibraries[NiLibraryRegistry::MAX_LIBRARIES];
std::uint32_t s_uiLibraries = 0;
} // namespace

void NiLibraryRegistry::RegisterMainLibrary(NiLibraryFunction pfnInit, NiLibraryFunction pfnShutdown)
{
    s_kMain.m_pfnInit = pfnInit;
    s_kMain.m_pfnShutdown = pfnShutdown;
}

bool NiLibraryRegistry::RegisterLibrary(NiLibraryFunction pfnInit, NiLibraryFunction pfnShutdown)
{
    if (s_uiLibraries >= MAX_LIBRARIES)
    {
        std::fprintf(stderr, "NiLibraryRegistry: library table full (%u entries); registration refused\n",
                     MAX_LIBRARIES);
        return false;
    }
    s_akLibraries[s_uiLibraries].m_pfnInit = pfnInit;
    s_akLibraries[s_uiLibraries].m_pfnShutdown = pfnShutdown;
    ++s_uiLibraries;
    return true;
}

void NiLibraryRegistry::InitLibraries()
{
    NiLogStartup();
    if (s_kMain.m_pfnInit)
        s_kMain.m_pfnInit();
    for (std::uint32_t i = 0; i < s_uiLibraries; ++i)
    {
        if (s_akLibraries[i].m_pfnInit)
            s_akLibraries[i].m_pfnInit();
    }
}

void NiLibraryRegistry::ShutdownLibraries()
{
    for (std::uint32_t i = 0; i < s_uiLibraries; ++i)
    {
        if (s_akLibraries[i].m_pfnShutdown)
            s_akLibraries[i].m_pfnShutdown();
    }
    if (s_kMain.m_pfnShutdown)
        s_kMain.m_pfnShutdown();
    NiLogShutdown();
}

std::uint32_t NiLibraryRegistry::GetLibraryCount()
{
    return s_uiLibraries;
}

void NiLibraryRegistry::Reset()
{
    s_kMain = LibraryEntry();
    for (LibraryEntry& kEntry : s_akLibraries)
        kEntry = LibraryEntry();
    s_uiLibraries = 0;
}
