#include "framework/COrvaneCamera.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneTagTree.h"

#include <sstream>

namespace
{
bool s_bScreenRootMade = false;

// The first value under the tree's cursor as a float; false when there is none.
bool ReadCursorFloat(const COrvaneTagTree& kTree, float& fValue)
{
    const std::vector<std::string>& kValues = kTree.GetValues();
    if (kValues.empty())
        return false;
    std::istringstream kStream(kValues.front());
    float f = 0.0f;
    if (!(kStream >> f))
        return false;
    fValue = f;
    return true;
}

const NiVec3 ZERO_VECTOR;
} // namespace

// The engine side of the camera.
class COrvaneCameraImpl
{
public:
    NiRefPtr<NiCamera> m_spCamera;
    NiRefPtr<NiScreenSpaceCamera> m_spScreenCamera;
    NiVec3 m_kWorldPosition;
};

COrvaneCamera::COrvaneCamera() : m_pkImpl(std::make_unique<COrvaneCameraImpl>()) {}

COrvaneCamera::~COrvaneCamera() = default;

bool COrvaneCamera::LoadSettings(float, float, float)
{
    m_pkImpl->m_spCamera = new NiCamera;
    NiCamera* pkCamera = m_pkImpl->m_spCamera;

    float fFar = 0.0f;
    if (COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings())
    {
        // The three distances are read only as consecutive siblings.
        float fIgnored = 0.0f;
        if (pkSettings->SelectSection("Game_Data", true) && pkSettings->FindChild("NearClipPlane"))
        {
            (void)ReadCursorFloat(*pkSettings, fIgnored);
            if (pkSettings->NextSibling("FarClipPlane"))
                (void)ReadCursorFloat(*pkSettings, fFar);
        }
    }
    pkCamera->SetTranslate(NiVec3(-100.0f, 0.0f, 0.0f));
    NiViewFrustum kFrustum;
    // Near 0: the engine camera raises it from the far distance.
    kFrustum.Set(-0.25f, 0.25f, 0.1875f, -0.1875f, 0.0f, fFar, false);
    pkCamera->SetViewFrustum(kFrustum);
    NiRect<float> kPort;
    kPort.m_left = 0.0f;
    kPort.m_right = 1.0f;
    kPort.m_top = 1.0f;
    kPort.m_bottom = 0.0f;
    pkCamera->SetViewPort(kPort);
    RotateC(nullptr, -1.5707964f, 2);
    return true;
}

void COrvaneCamera::Release()
{
    m_pkImpl->m_spScreenCamera = nullptr;
    m_pkImpl->m_spCamera = nullptr;
}

void COrvaneCamera::Reset()
{
    m_fAngleA = m_fAngleB = m_fAngleC = 0.0f;
    m_kMove = NiVec3();
    m_kTurn = NiVec3();
    m_ucHeld = 0;
    m_uiMode = MODE_IDLE;
}

void COrvaneCamera::RotateC(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    m_fAngleC = iCombine != 0 ? m_fAngleC + fAngle : fAngle;
    if (pkCamera == nullptr)
        return;
    NiMatrix3x3 kRotation;
    kRotation.MakeZRotation(fAngle);
    if (iCombine != 0)
        kRotation = pkCamera->GetRotate() * kRotation;
    pkCamera->SetRotate(kRotation);
    if (pkPivot != nullptr)
        pkCamera->SetTranslate(*pkPivot - kRotation * *pkPivot);
    pkCamera->Update(0.0f);
}

std::int32_t COrvaneCamera::ProvideCamera(NiCamera*& rpkSlot) const
{
    if (rpkSlot != nullptr)
        return 0;
    rpkSlot = m_pkImpl->m_spCamera;
    return 1;
}

std::int32_t COrvaneCamera::ProvideScene(COrvaneSceneLink& kLink) const
{
    if (kLink.m_pkScreenCamera != nullptr)
        return 0;
    kLink.m_pkScreenCamera = m_pkImpl->m_spScreenCamera;
    return 1;
}

bool COrvaneCamera::CreateScreenRoot()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (s_bScreenRootMade || pkCamera == nullptr)
        return false;
    s_bScreenRootMade = true;
    m_pkImpl->m_spScreenCamera = new NiScreenSpaceCamera;
    NiScreenSpaceCamera* pkScreen = m_pkImpl->m_spScreenCamera;
    pkScreen->SetRenderer(pkCamera->GetRenderer());
    (void)pkScreen->FitToRenderer();
    pkScreen->Update(0.0f);
    return true;
}

void COrvaneCamera::ResetScreenRootFlag()
{
    s_bScreenRootMade = false;
}

std::uint32_t COrvaneCamera::GetScreenWidth() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    // Every renderer of ours knows its target's size, not only the device one.
    return pkCamera != nullptr && pkCamera->GetRenderer() != nullptr ? pkCamera->GetRenderer()->GetWidth() : 0;
}

std::uint32_t COrvaneCamera::GetScreenHeight() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr && pkCamera->GetRenderer() != nullptr ? pkCamera->GetRenderer()->GetHeight() : 0;
}

const NiVec3& COrvaneCamera::GetWorldPosition()
{
    if (const NiCamera* pkCamera = m_pkImpl->m_spCamera)
        m_pkImpl->m_kWorldPosition = pkCamera->GetWorldLocation();
    return m_pkImpl->m_kWorldPosition;
}

const NiVec3& COrvaneCamera::GetViewDirection() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldDirection() : ZERO_VECTOR;
}

const NiVec3& COrvaneCamera::GetUpVector() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldUpVector() : ZERO_VECTOR;
}

const NiVec3& COrvaneCamera::GetRightVector() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldRightVector() : ZERO_VECTOR;
}

NiCamera* COrvaneCamera::GetEngineCamera() const
{
    return m_pkImpl->m_spCamera;
}

NiScreenSpaceCamera* COrvaneCamera::GetScreenCamera() const
{
    return m_pkImpl->m_spScreenCamera;
}

CZelmarCamera::CZelmarCamera()
{
    CZelmarCamera::Reset();
}

void CZelmarCamera::Reset()
{
    // Replaces the base reset: angles and control fields stay.
    m_fSpeed = 0.0f;
    m_fMinPitch = 0.1f;
    m_uiReserved = 0;
    m_fMaxPitch = 1.5f;
    m_ucTurnLocked = 0;
}
