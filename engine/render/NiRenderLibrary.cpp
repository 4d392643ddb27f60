#include "engine/render/NiRenderLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"

namespace
{
void RegisterCreateFunctions()
{
    NiObjectStream::RegisterCreateFunction("NiPixelData", &NiPixelData::CreateObject);
    NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
}

void UnregisterCreateFunctions()
{
    NiObjectStream::UnregisterCreateFunction("NiPixelData");
    NiObjectStream::UnregisterCreateFunction("NiPalette");
}
} // namespace

void NiRenderLibraryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, &RegisterCreateFunctions, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 &UnregisterCreateFunctions);
}
