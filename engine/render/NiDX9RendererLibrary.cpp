#include "engine/render/NiDX9RendererLibrary.h"

#include "engine/core/NiLibraryRegistry.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderStatics.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"

#include <algorithm>

namespace
{
NiLibraryRegistrationCounter s_kCounter;
bool s_bStarted = false;
std::vector<std::uint32_t> s_kIdentifiers;

void AddIdentifier(std::uint32_t ui)
{
    if (std::find(s_kIdentifiers.begin(), s_kIdentifiers.end(), ui) == s_kIdentifiers.end())
        s_kIdentifiers.push_back(ui);
}
} // namespace

void NiDX9RendererLibraryInit()
{
    if (s_kCounter.Count())
        NiLibraryRegistry::RegisterLibrary(&NiDX9RendererLibraryStartup, &NiDX9RendererLibraryShutdown);
}

void NiDX9RendererLibraryStartup()
{
    if (s_bStarted)
        return;
    s_bStarted = true;
    AddIdentifier(22);
    AddIdentifier(23);
    AddIdentifier(24);
    NiD3DRenderStateGroup::CreatePools();
    NiD3DTextureStageGroup::CreatePool();
    NiD3DShaderStatics::InitPools();
    NiDX9PackingRegistry::Create();
    NiD3DShaderFactory::Create();
    NiD3DShaderProgramCreator::Startup();
}

void NiDX9RendererLibraryShutdown()
{
    if (!s_bStarted)
        return;
    s_bStarted = false;
    NiD3DShaderFactory::SetRendererStatic(nullptr);
    NiD3DShaderFactory::Destroy();
    NiD3DShaderProgramCreator::Shutdown();
    NiDX9PackingRegistry::Destroy();
    NiD3DShaderStatics::ShutdownPools();
    NiD3DRenderStateGroup::DestroyPools();
    NiD3DTextureStageGroup::DestroyPool();
    NiDX9Renderer::ShutdownDirect3D();
    NiDX9Renderer::FreeBatchEntryPool();
    s_kIdentifiers.clear();
}

bool NiDX9RendererLibraryIsStarted() { return s_bStarted; }

const std::vector<std::uint32_t>& NiDX9RendererLibraryIdentifiers() { return s_kIdentifiers; }

void NiDX9RendererLibraryReset()
{
    NiDX9RendererLibraryShutdown();
    s_kCounter.Reset();
}
