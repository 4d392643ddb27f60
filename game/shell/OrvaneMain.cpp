// The program's entry. Until the application framework exists it starts the
// engine libraries, reports the scene-file version it writes and shuts them
// down again.
#include "engine/core/NiLibraryRegistry.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"

#include <cstdio>

int main()
{
    NiMainLibrary::RegisterOnce();
    NiLibraryRegistry::InitLibraries();
    std::printf("Orvane engine started: scene files are written at version %s\n",
                NiObjectStream::CURRENT_VERSION_STRING);
    NiLibraryRegistry::ShutdownLibraries();
    return 0;
}
