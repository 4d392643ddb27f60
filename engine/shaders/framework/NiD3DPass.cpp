#include "engine/shaders/framework/NiD3DPass.h"

std::uint32_t NiD3DPass::ms_uiMaxTextureBlendStages = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSimultaneousTextures = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSamplers = NiD3DPass::DEFAULT_STAGES;

void NiD3DPass::ResetStageLimits()
{
    ms_uiMaxTextureBlendStages = DEFAULT_STAGES;
    ms_uiMaxSimultaneousTextures = DEFAULT_STAGES;
    ms_uiMaxSamplers = DEFAULT_STAGES;
}
