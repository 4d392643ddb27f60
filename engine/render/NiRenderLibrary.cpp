#include "engine/render/NiRenderLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiBltSource.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiScreenTexture.h"

namespace
{
void RegisterCreateFunctions()
{
    NiObjectStream::RegisterCreateFunction("NiPixelData", &NiPixelData::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiBltSource", &NiBltSource::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiScreenTexture", &NiScreenTexture::CreateObject);
}

void UnregisterCreateFunctions()
{
    NiObjectStream::UnregisterCreateFunction("NiPixelData");
    NiObjectStream::UnregisterCreateFunction("NiPalette");
    NiObjectStream::UnregisterCreateFunction("NiBltSource");
    NiObjectStream::UnregisterCreateFunction("NiScreenTexture");
}
} // namespace

void NiRenderLibraryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, &RegisterCreateFunctions, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 &UnregisterCreateFunctions);
}
