#include "engine/scene/NiScreenSpaceCamera.h"

#include "engine/core/NiCloneContext.h"
#include "engine/scene/NiZBufferProperty.h"

NiImplementTypeInfo(NiScreenSpaceCamera, NiCamera)

namespace
{
// Screen drawing neither tests nor writes depth.
constexpr float SCREEN_NEAR = 1.0f;
constexpr float SCREEN_FAR = 10000.0f;
} // namespace

NiScreenSpaceCamera::NiScreenSpaceCamera() : m_spAccumulator(new NiBackToFrontAccumulator)
{
    NiNodePtr spNode = new NiNode;
    spNode->SetTranslate(NiVec3(0.0f, 0.0f, 1.0f));
    NiRefPtr<NiZBufferProperty> spZBuffer = new NiZBufferProperty;
    spZBuffer->SetZBufferTest(false);
    spZBuffer->SetZBufferWrite(false);
    spNode->AttachProperty(spZBuffer);
    spNode->UpdateProperties();
    spNode->UpdateEffects();
    m_spScene = spNode.Get();
    m_kViewFrustum.m_bOrtho = true;
    UpdateWorldData();
}

NiScreenSpaceCamera::~NiScreenSpaceCamera() = default;

NiObject* NiScreenSpaceCamera::CreateObject()
{
    return new NiScreenSpaceCamera;
}

void NiScreenSpaceCamera::UpdateWorldVectors()
{
    m_kWorldRight = m_kWorld.m_kRotate.GetColumn(0);
    m_kWorldUp = -m_kWorld.m_kRotate.GetColumn(1);
    m_kWorldDir = m_kWorld.m_kRotate.GetColumn(2);
}

bool NiScreenSpaceCamera::FitToRenderer()
{
    if (m_spRenderer == nullptr)
        return false;
    const auto fWidth = static_cast<float>(m_spRenderer->GetWidth());
    const auto fHeight = static_cast<float>(m_spRenderer->GetHeight());
    m_kViewFrustum.Set(0.5f, fWidth + 0.5f, fHeight - 0.5f, -0.5f, SCREEN_NEAR, SCREEN_FAR, true);
    if (m_spScene != nullptr)
        m_spScene->SetTranslate(NiVec3(0.0f, -fHeight, 1.0f));
    UpdateWorldPlanes();
    UpdateWorldToCamera();
    return true;
}

void NiScreenSpaceCamera::RenderFrame()
{
    NiRendererPtr spRenderer = m_spRenderer;
    if (spRenderer == nullptr)
        return;
    SetCameraDataOn(spRenderer);
    (void)spRenderer->BeginScene();

    NiAccumulatorPtr spPrevious = spRenderer->GetAccumulator();
    const bool bStarted = m_spAccumulator != nullptr && m_spAccumulator->StartAccumulating(this);
    // An accumulator busy in another pass would keep what it is given past
    // this frame: geometry then draws as culling meets it.
    spRenderer->SetAccumulator(bStarted ? m_spAccumulator.Get() : nullptr);
    if (m_spScene != nullptr && m_spScene->GetWorldBound().m_fRadius != 0.0f)
    {
        SetCameraDataOn(spRenderer);
        NiNode::CullChild(m_spScene, this);
    }
    // Closed even without a scene: a pass left open would refuse every
    // later frame's start.
    if (bStarted)
        m_spAccumulator->FinishAccumulating();
    spRenderer->SetAccumulator(spPrevious);

    DrawScreenElements(spRenderer);
    spRenderer->EndScene();
}

// ---- Cloning ----

NiImplementCreateClone(NiScreenSpaceCamera)

void NiScreenSpaceCamera::CopyMembers(NiScreenSpaceCamera* pkDest, NiCloneContext& kCloning)
{
    NiCamera::CopyMembers(pkDest, kCloning);
    // The copy draws its own copy of the screen node (its fresh accumulator
    // stays).
    pkDest->m_spScene =
        m_spScene != nullptr ? static_cast<NiAVObject*>(m_spScene->CreateClone(kCloning)) : nullptr;
}

void NiScreenSpaceCamera::FinishClone(NiCloneContext& kCloning)
{
    NiCamera::FinishClone(kCloning);
    if (m_spScene != nullptr)
        m_spScene->FinishClone(kCloning);
}
