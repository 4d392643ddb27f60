#include "engine/shaders/framework/NiD3DShaderInterface.h"

#include "engine/render/NiDX9Renderer.h"

NiImplementTypeInfo(NiD3DShaderInterface, NiShader)

NiD3DShaderInterface::~NiD3DShaderInterface()
{
    SetRenderer(nullptr);
}

bool NiD3DShaderInterface::Initialize(NiDX9Renderer* pkRenderer)
{
    SetRenderer(pkRenderer);
    m_bInitialized = 1;
    return true;
}

void NiD3DShaderInterface::SetRenderer(NiDX9Renderer* pkRenderer)
{
    m_pkRenderer = pkRenderer;
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (m_pkD3DDevice != nullptr)
        m_pkD3DDevice->Release();
    m_pkD3DDevice = pkDevice;
    m_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
}

std::uint32_t NiD3DShaderInterface::PreProcessPipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                       const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                       const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::UpdatePipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                   const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                   const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::SetupRenderingPass(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                       const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                       const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::SetupTransformations(NiGeometry*, const NiSkinInstance*, const Partition*,
                                                         NiDX9GeometryBufferData*, const NiPropertySet*,
                                                         const NiEffectSet*, const NiXform&, const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::SetupShaderPrograms(NiGeometry*, const NiSkinInstance*, const Partition*,
                                                        NiDX9GeometryBufferData*, const NiPropertySet*,
                                                        const NiEffectSet*, const NiXform&, const NiBoundSphere&)
{
    return 0;
}

NiDX9GeometryBufferData* NiD3DShaderInterface::PrepareGeometryForRendering(NiGeometry*, const Partition*,
                                                                           NiDX9GeometryBufferData*,
                                                                           const NiPropertySet*)
{
    return nullptr;
}

std::uint32_t NiD3DShaderInterface::PostRender(NiGeometry*, const NiSkinInstance*, const Partition*,
                                               NiDX9GeometryBufferData*, const NiPropertySet*, const NiEffectSet*,
                                               const NiXform&, const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::PostProcessPipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                        const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                        const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::FirstPass()
{
    return 0;
}

std::uint32_t NiD3DShaderInterface::NextPass()
{
    return 0;
}
