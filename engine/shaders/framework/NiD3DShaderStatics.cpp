#include "engine/shaders/framework/NiD3DShaderStatics.h"

#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"

void NiD3DShaderStatics::InitPools()
{
    NiD3DPass::CreatePool();
    NiD3DTextureStage::CreatePool();
}

void NiD3DShaderStatics::ShutdownPools()
{
    NiD3DPass::DestroyPool();
    NiD3DTextureStage::DestroyPool();
}
