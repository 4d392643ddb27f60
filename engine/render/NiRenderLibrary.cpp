#include "engine/render/NiRenderLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiBltSource.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceCubeMap.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/NiTexture.h"

namespace
{
void RegisterCreateFunctions()
{
    NiObjectStream::RegisterCreateFunction("NiPixelData", &NiPixelData::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiBltSource", &NiBltSource::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiScreenTexture", &NiScreenTexture::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiSourceTexture", &NiSourceTexture::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiSourceCubeMap", &NiSourceCubeMap::CreateObject);
}

void UnregisterCreateFunctions()
{
    NiObjectStream::UnregisterCreateFunction("NiPixelData");
    NiObjectStream::UnregisterCreateFunction("NiPalette");
    NiObjectStream::UnregisterCreateFunction("NiBltSource");
    NiObjectStream::UnregisterCreateFunction("NiScreenTexture");
    NiObjectStream::UnregisterCreateFunction("NiSourceTexture");
    NiObjectStream::UnregisterCreateFunction("NiSourceCubeMap");
}
} // namespace

void NiRenderLibraryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, &RegisterCreateFunctions, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 &UnregisterCreateFunctions);
    // The replacement format is restored and the live-texture search
    // installed early; the cached replacement images go late in shut-down.
    NiMainLibrary::AddModuleHook(NI_INIT_TEXTURE_FORMAT, &NiTexture::StaticInit, NI_SHUTDOWN_SOLID_TEXTURES,
                                 &NiTexture::StaticShutdown);
}
