#include "game/shell/RegisterEngineLibraries.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"

void RegisterEngineLibraries()
{
    NiMainLibrary::RegisterOnce();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiAnimationLibrary::RegisterOnce();
    NSBShaderLib::RegisterLibrary();
    NiD3DShaderLibraryStatics::Register();
    // The effect library's shared lists, bone palette and file factory go at
    // the shader libraries' shut-down, whether or not an effect file was ever
    // loaded (the palette is made by any effect that skins).
    NiD3DShaderLibraryStatics::SetEffectReleases(&NiD3DXEffectParameter::ReleaseBonePalette,
                                                 &NiD3DXEffectShaderLib::ReleaseEffectFileList,
                                                 &NiD3DXEffectFactory::Shutdown);
    NiDX9RendererLibraryInit();
}
