#include "game/shell/CDemoScene.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"

#include <cmath>

namespace
{
NiCamera* FindCamera(NiNode* pkNode)
{
    for (std::uint32_t i = 0; pkNode != nullptr && i < pkNode->GetArrayCount(); ++i)
    {
        NiAVObject* pkChild = pkNode->GetAt(i);
        if (pkChild != nullptr && NiIsKindOf<NiCamera>(pkChild))
            return static_cast<NiCamera*>(pkChild);
        if (pkChild != nullptr && NiIsKindOf<NiNode>(pkChild))
            if (NiCamera* pkFound = FindCamera(static_cast<NiNode*>(pkChild)))
                return pkFound;
    }
    return nullptr;
}

void SetCameraData(NiRenderer* pkRenderer, const NiCamera& kCamera)
{
    pkRenderer->SetCameraData(kCamera.GetWorldLocation(), kCamera.GetWorldDirection(), kCamera.GetWorldUpVector(),
                              kCamera.GetWorldRightVector(), kCamera.GetViewFrustum(), kCamera.GetViewPort());
}
} // namespace

CDemoScene::CDemoScene() = default;
CDemoScene::~CDemoScene() = default;

bool CDemoScene::Load(const char* pcPath)
{
    NiObjectStream kStream;
    if (pcPath == nullptr || !kStream.LoadFile(pcPath))
        return false;
    for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
    {
        NiObject* pkObject = kStream.GetObjectAt(i);
        if (pkObject == nullptr || !NiIsKindOf<NiNode>(pkObject))
            continue;
        auto* pkRoot = static_cast<NiNode*>(pkObject);
        NiCamera* pkCamera = FindCamera(pkRoot);
        if (pkCamera == nullptr)
            continue;
        m_spRoot = pkRoot;
        m_pkCamera = pkCamera;
        NiAVObject* pkTurntable = pkRoot->GetObjectByName("Turntable");
        m_pkTurntable = pkTurntable != nullptr && NiIsKindOf<NiNode>(pkTurntable) ? static_cast<NiNode*>(pkTurntable)
                                                                                  : nullptr;
        m_fAngle = 0.0f;
        m_spRoot->Update(0.0f);
        m_spRoot->UpdateProperties();
        m_spRoot->UpdateEffects();
        return true;
    }
    return false;
}

bool CDemoScene::IsLoaded() const
{
    return m_spRoot != nullptr;
}

NiNode* CDemoScene::GetRoot() const
{
    return m_spRoot;
}

NiCamera* CDemoScene::GetCamera() const
{
    return m_pkCamera;
}

void CDemoScene::Advance(float fSeconds)
{
    if (m_spRoot == nullptr || !(fSeconds > 0.0f))
        return;
    m_fAngle = std::fmod(m_fAngle + TURN_RATE * fSeconds, 6.2831853f);
    if (m_pkTurntable != nullptr)
    {
        NiMatrix3x3 kTurn;
        kTurn.MakeZRotation(m_fAngle);
        m_pkTurntable->SetRotate(kTurn);
    }
    m_spRoot->Update(0.0f);
}

void CDemoScene::DrawScene(NiRenderer* pkRenderer)
{
    // Drawn as culling reaches it: the frame's accumulator stays the frame's.
    NiAccumulatorPtr spAccumulator = pkRenderer->GetAccumulator();
    pkRenderer->SetAccumulator(nullptr);
    m_pkCamera->SetRenderer(pkRenderer);
    NiNode::CullChild(m_spRoot, m_pkCamera);
    m_pkCamera->SetRenderer(nullptr);
    pkRenderer->SetAccumulator(spAccumulator);
}

void CDemoScene::DrawInFrame(NiRenderer* pkRenderer, NiCamera* pkFrameCamera)
{
    if (pkRenderer == nullptr || m_spRoot == nullptr)
        return;
    SetCameraData(pkRenderer, *m_pkCamera);
    pkRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ZBUFFER);
    DrawScene(pkRenderer);
    pkRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ZBUFFER);
    if (pkFrameCamera != nullptr)
        SetCameraData(pkRenderer, *pkFrameCamera);
}

void CDemoScene::DrawFrame(NiRenderer* pkRenderer)
{
    if (pkRenderer == nullptr || m_spRoot == nullptr)
        return;
    SetCameraData(pkRenderer, *m_pkCamera);
    if (!pkRenderer->BeginScene())
        return;
    pkRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
    DrawScene(pkRenderer);
    pkRenderer->EndScene();
}
