#include "engine/shaders/framework/NiD3DShaderFramework.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"

int NiD3DShaderFramework::SetRenderer(NiDX9Renderer* pkRenderer)
{
    NiD3DPass::SetRenderer(pkRenderer);
    NiD3DTextureStage::SetRenderer(pkRenderer);
    NiD3DTextureStageGroup::SetRenderState(pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr);
    NiD3DShaderProgram::SetRenderer(pkRenderer);
    NiD3DShaderFactory::SetRendererStatic(pkRenderer);
    NiD3DRenderStateGroup::SetRenderer(pkRenderer);
    if (pkRenderer != nullptr && pkRenderer->GetRenderState() != nullptr)
        pkRenderer->GetRenderState()->ResetToDefaults();
    if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
        pkFactory->SetRenderer(pkRenderer);
    NiD3DShaderProgramFactory::Create();
    return 0;
}

int NiD3DShaderFramework::ReleaseRenderer()
{
    if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
    {
        if (NiShaderFactory* pkCurrent = NiShaderFactory::GetInstance())
            pkCurrent->RemoveAllShaders();
        pkFactory->SetRenderer(nullptr);
    }
    // The programs hold the device: they go with their factory.
    NiD3DShaderProgramFactory::Destroy();
    NiD3DShaderProgram::SetRenderer(nullptr);
    NiD3DPass::SetRenderer(nullptr);
    NiD3DTextureStage::SetRenderer(nullptr);
    NiD3DTextureStageGroup::SetRenderState(nullptr);
    NiD3DShaderFactory::SetRendererStatic(nullptr);
    NiD3DRenderStateGroup::SetRenderer(nullptr);
    return 0;
}
