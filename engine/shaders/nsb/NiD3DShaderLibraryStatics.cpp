#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"

#include "engine/core/NiLibraryRegistry.h"

namespace
{
NiLibraryRegistrationCounter s_kRegistration;
bool s_bStarted = false;

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
    // The effect library's global objects are released here once it exists.
    if (s_bStarted)
        s_bStarted = false;
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
