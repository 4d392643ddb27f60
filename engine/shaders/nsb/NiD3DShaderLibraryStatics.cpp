#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"

#include "engine/core/NiLibraryRegistry.h"

namespace
{
NiLibraryRegistrationCounter s_kRegistration;
bool s_bStarted = false;
NiD3DShaderLibraryStatics::ReleaseFunction s_apfnReleases[3] = {nullptr, nullptr, nullptr};

void StartupEntry()
{
    NiD3DShaderLibraryStatics::Startup();
}

void ShutdownEntry()
{
    NiD3DShaderLibraryStatics::Shutdown();
}
} // namespace

void NiD3DShaderLibraryStatics::Register()
{
    if (s_kRegistration.Count())
        NiLibraryRegistry::RegisterLibrary(&StartupEntry, &ShutdownEntry);
}

bool NiD3DShaderLibraryStatics::Startup()
{
    const bool bWas = s_bStarted;
    s_bStarted = true;
    return bWas;
}

void NiD3DShaderLibraryStatics::Shutdown()
{
    if (!s_bStarted)
        return;
    s_bStarted = false;
    for (NiD3DShaderLibraryStatics::ReleaseFunction pfnRelease : s_apfnReleases)
        if (pfnRelease != nullptr)
            pfnRelease();
}

bool NiD3DShaderLibraryStatics::IsStarted()
{
    return s_bStarted;
}

void NiD3DShaderLibraryStatics::Reset()
{
    s_kRegistration.Reset();
    s_bStarted = false;
}

void NiD3DShaderLibraryStatics::SetEffectReleases(ReleaseFunction pfnPalette, ReleaseFunction pfnFileList,
                                                  ReleaseFunction pfnFactory)
{
    s_apfnReleases[0] = pfnPalette;
    s_apfnReleases[1] = pfnFileList;
    s_apfnReleases[2] = pfnFactory;
}
