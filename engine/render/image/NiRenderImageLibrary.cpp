#include "engine/render/image/NiRenderImageLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/render/image/NiImageConverter.h"

namespace
{
void CreateDefaultConverter()
{
    NiImageConverter::CreateDefault();
}

void ReleaseConverter()
{
    NiImageConverter::ReleaseCurrent();
}
} // namespace

void NiRenderImageLibraryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_IMAGE_CONVERTER, &CreateDefaultConverter, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 &ReleaseConverter);
}
