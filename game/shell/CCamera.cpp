#include "game/shell/CCamera.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneWorld.h"

#include <cmath>

namespace
{
CCamera* g_pkCurrent = nullptr;

NiVec3 TargetPosition(const COrvaneObject& kTarget)
{
    const NiVec3* pkPosition = kTarget.GetModelPosition();
    return pkPosition != nullptr ? *pkPosition : NiVec3();
}
} // namespace

CCamera::CCamera()
{
    m_kMoveValidator = [this](NiVec3& kPosition) { return ConstrainPosition(kPosition); };
}

CCamera::~CCamera()
{
    if (g_pkCurrent == this)
        g_pkCurrent = nullptr;
}

CCamera* CCamera::GetCurrent()
{
    return g_pkCurrent;
}

void CCamera::ResetCurrent()
{
    g_pkCurrent = nullptr;
}

NiVec3 CCamera::GetPosition() const
{
    const NiCamera* pkCamera = GetEngineCamera();
    return pkCamera != nullptr ? pkCamera->GetTranslate() : NiVec3();
}

COrvaneWorld* CCamera::BoundingWorld() const
{
    return m_pkWorld != nullptr ? m_pkWorld : GetGameWorld();
}

bool CCamera::Move(const NiVec3& kVector, bool bAbsolute)
{
    g_pkCurrent = this;
    const NiVec3 kDelta = bAbsolute ? kVector - GetPosition() : kVector;
    return COrvaneCamera::Move(kDelta, m_kMoveValidator, true);
}

void CCamera::Update()
{
    if (m_pkFollowTarget != nullptr)
    {
        const NiVec3 kNow = TargetPosition(*m_pkFollowTarget);
        (void)Move(kNow - m_kFollowLast, false);
        m_kFollowLast = kNow;
    }
    CZelmarCamera::Update();
}

void CCamera::MoveVertical(const NiVec3& kDelta)
{
    SetPositionClamped(GetPosition() + kDelta);
}

void CCamera::SetFollowTarget(COrvaneObject* pkTarget)
{
    m_pkFollowTarget = pkTarget;
    m_kFollowLast = pkTarget != nullptr ? TargetPosition(*pkTarget) : NiVec3();
}

void CCamera::StopFollowing()
{
    m_pkFollowTarget = nullptr;
    m_kFollowLast = NiVec3();
}

void CCamera::ObjectDestroyed(const COrvaneObject* pkObject)
{
    if (pkObject != nullptr && pkObject == m_pkFollowTarget)
        StopFollowing();
}

void CCamera::SaveView()
{
    m_kSavedPosition = GetPosition();
    m_afSavedAngles = {GetAngleA(), GetAngleB(), GetAngleC()};
}

void CCamera::RestoreView()
{
    SetPosition(m_kSavedPosition);
    ResetAngles();
    RotateC(nullptr, m_afSavedAngles[2], 0);
    RotateA(nullptr, m_afSavedAngles[0], 2);
    RotateB(nullptr, m_afSavedAngles[1], 2);
}

void CCamera::SetBounds(float fFirst, float fSecond, float fThird, float fFourth)
{
    m_afBounds = {fFirst, fSecond, fThird, fFourth};
}

void CCamera::SetPositionClamped(const NiVec3& kPosition)
{
    const float fBefore = GetPosition().y;
    (void)Move(kPosition, true);
    NiVec3 kNow = GetPosition();
    if (kNow.y == fBefore || m_uiMode == MODE_PITCH_LOCKED)
        return;
    if (kNow.y > GetUpperLimit())
    {
        kNow.y = GetUpperLimit();
        SetPosition(kNow);
    }
    else if (kNow.y < GetLowerLimit())
    {
        kNow.y = GetLowerLimit();
        SetPosition(kNow);
    }
    else if (GetAngleA() < 0.0f)
    {
        RotateA(nullptr, -GetAngleA(), 2);
    }
}

bool CCamera::ClampHeight(NiVec3& kPosition) const
{
    (void)ConstrainPosition(kPosition);
    kPosition.y = std::fmin(std::fmax(kPosition.y, GetLowerLimit()), GetUpperLimit());
    return true;
}

bool CCamera::ConstrainPosition(NiVec3& kPosition) const
{
    const COrvaneWorld* pkWorld = BoundingWorld();
    const NiNode* pkRoot = pkWorld != nullptr ? pkWorld->GetSceneRoot() : nullptr;
    if (pkRoot == nullptr)
        return true;
    const NiBoundSphere& kBound = pkRoot->GetWorldBound();
    // An empty scene has no extent to keep to.
    if (!(kBound.m_fRadius > 0.0f))
        return true;
    const float fX = kPosition.x - kBound.m_kCenter.x;
    const float fZ = kPosition.z - kBound.m_kCenter.z;
    const float fDistance = std::sqrt(fX * fX + fZ * fZ);
    if (fDistance > kBound.m_fRadius)
    {
        const float fScale = kBound.m_fRadius / fDistance;
        kPosition.x = kBound.m_kCenter.x + fX * fScale;
        kPosition.z = kBound.m_kCenter.z + fZ * fScale;
    }
    return true;
}

std::int32_t CCamera::GetBoundsSide() const
{
    return NO_SIDE;
}
