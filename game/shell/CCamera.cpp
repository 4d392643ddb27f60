#include "game/shell/CCamera.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneWorld.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CWorldObject.h"

#include <algorithm>

#include <cmath>

namespace
{
CCamera* g_pkCurrent = nullptr;

const CWorldObject* OpenBuilding()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetSelectedBuilding() : nullptr;
}

NiVec3 BuildingPosition(const CWorldObject& kBuilding)
{
    const NiVec3* pkAt = kBuilding.GetModelPosition();
    return pkAt ? *pkAt : NiVec3();
}

// The open building's footprint on the grid it stands on: the corner where
// its anchor cell's least x and greatest z meet, and its extents along x
// (its rows) and along -z (its columns), as the grid lays cells out. A
// turned building's rows and columns are already those of its turned
// footprint. The building's own position lies near the footprint's middle,
// so it cannot stand for a corner. Without a grid cell under it the
// position is all there is, and it stands for the corner.
bool BuildingFootprint(NiVec3& kCorner, float& fAlongX, float& fAlongZ)
{
    const CWorldObject* pkBuilding = OpenBuilding();
    if (pkBuilding == nullptr)
        return false;
    const COrvaneBlockGrid* pkGrid = pkBuilding->GetGrid();
    const float fSize = pkGrid != nullptr ? static_cast<float>(pkGrid->GetCellSize()) : 0.0f;
    fAlongX = fSize * static_cast<float>(pkBuilding->GetRows());
    fAlongZ = fSize * static_cast<float>(pkBuilding->GetColumns());
    NiVec3 kCentre;
    if (pkGrid != nullptr && pkGrid->CellPosition(pkBuilding->GetAnchor(), kCentre, true) != nullptr)
        kCorner = NiVec3(kCentre.x - fSize * 0.5f, BuildingPosition(*pkBuilding).y, kCentre.z + fSize * 0.5f);
    else
        kCorner = BuildingPosition(*pkBuilding);
    return true;
}

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
    if (OpenBuilding() != nullptr)
    {
        // Looking into a building the view only turns.
        if (m_uiMode == MODE_TURNING)
            CZelmarCamera::Update();
        return;
    }
    if (m_pkFollowTarget != nullptr)
    {
        const NiVec3 kNow = TargetPosition(*m_pkFollowTarget);
        (void)Move(kNow - m_kFollowLast, false);
        m_kFollowLast = kNow;
    }
    CZelmarCamera::Update();
}

bool CCamera::GetBuildingExtents(float& fWidth, float& fDepth)
{
    NiVec3 kCorner;
    return BuildingFootprint(kCorner, fWidth, fDepth);
}

bool CCamera::GetBuildingCorner(std::int32_t iSide, NiVec3& kOut)
{
    float fWidth = 0.0f, fDepth = 0.0f;
    NiVec3 kCorner;
    if (!BuildingFootprint(kCorner, fWidth, fDepth) || iSide < 1 || iSide > 4)
        return false;
    kOut = kCorner;
    if (iSide == 2 || iSide == 3)
        kOut.z = kCorner.z - fDepth;
    if (iSide == 3 || iSide == 4)
        kOut.x = kCorner.x + fWidth;
    return true;
}

float CCamera::GetLowerLimit() const
{
    if (const CWorldObject* pkBuilding = OpenBuilding())
    {
        const CBlockGridStack* pkStack = pkBuilding->GetStack();
        const CBlockGrid* pkFirst = pkStack != nullptr ? pkStack->GetFloor(0) : nullptr;
        const NiVec3* pkOrigin = pkFirst != nullptr ? pkFirst->GetOrigin() : nullptr;
        return (pkOrigin != nullptr ? pkOrigin->y : BuildingPosition(*pkBuilding).y) + MIN_HEIGHT;
    }
    return m_fGroundHeight + MIN_HEIGHT;
}

float CCamera::GetUpperLimit() const
{
    if (const CWorldObject* pkBuilding = OpenBuilding())
        return static_cast<float>(pkBuilding->GetFloors().size()) + BUILDING_HEIGHT;
    return m_fGroundHeight + MAX_HEIGHT;
}

float CCamera::GetClampUpperLimit() const
{
    if (const CWorldObject* pkBuilding = OpenBuilding())
        return static_cast<float>(pkBuilding->GetFloors().size()) + BUILDING_CLAMP_HEIGHT;
    return m_fGroundHeight + MAX_HEIGHT;
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
    const NiCamera* pkCamera = GetEngineCamera();
    m_kSavedRotation = pkCamera != nullptr ? pkCamera->GetRotate() : NiMatrix3x3::IDENTITY;
}

void CCamera::RestoreView()
{
    SetPosition(m_kSavedPosition);
    ResetAngles();
    Turn(m_kSavedRotation, nullptr, 0);
    m_fAngleA = m_afSavedAngles[0];
    m_fAngleB = m_afSavedAngles[1];
    m_fAngleC = m_afSavedAngles[2];
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
    kPosition.y = std::fmin(std::fmax(kPosition.y, GetLowerLimit()), GetClampUpperLimit());
    return true;
}

bool CCamera::ConstrainPosition(NiVec3& kPosition) const
{
    NiVec3 kCentre;
    float fRadius = 0.0f;
    float fWidth = 0.0f, fDepth = 0.0f;
    if (GetBuildingExtents(fWidth, fDepth))
    {
        kCentre = BuildingPosition(*OpenBuilding());
        fRadius = std::max(fWidth, fDepth);
    }
    else
    {
        const COrvaneWorld* pkWorld = BoundingWorld();
        const NiNode* pkRoot = pkWorld != nullptr ? pkWorld->GetSceneRoot() : nullptr;
        if (pkRoot == nullptr)
            return true;
        const NiBoundSphere& kBound = pkRoot->GetWorldBound();
        kCentre = kBound.m_kCenter;
        fRadius = kBound.m_fRadius;
    }
    // An empty scene or building has no extent to keep to.
    if (!(fRadius > 0.0f))
        return true;
    const float fX = kPosition.x - kCentre.x;
    const float fZ = kPosition.z - kCentre.z;
    const float fDistance = std::sqrt(fX * fX + fZ * fZ);
    if (fDistance > fRadius)
    {
        const float fScale = fRadius / fDistance;
        kPosition.x = kCentre.x + fX * fScale;
        kPosition.z = kCentre.z + fZ * fScale;
    }
    return true;
}

std::int32_t CCamera::GetBoundsSide() const
{
    const NiVec3 kAt = GetPosition();
    for (std::int32_t iSide = 1; iSide <= 4; ++iSide)
    {
        NiVec3 kCorner;
        if (!GetBuildingCorner(iSide, kCorner))
            return NO_SIDE;
        if (kAt.x == kCorner.x && kAt.z == kCorner.z)
            return iSide;
    }
    return NO_SIDE;
}

void CCamera::ViewBuilding(std::int32_t iSide)
{
    const CWorldObject* pkBuilding = OpenBuilding();
    float fWidth = 0.0f, fDepth = 0.0f;
    NiVec3 kCorner;
    if (pkBuilding == nullptr || !BuildingFootprint(kCorner, fWidth, fDepth))
        return;
    if (iSide == -1)
    {
        const std::int32_t iAt = GetBoundsSide();
        iSide = iAt == NO_SIDE ? 1 : iAt + 1;
    }
    const NiVec3 kBuilding = BuildingPosition(*pkBuilding);
    constexpr float PI = 3.14159265f;
    if (iSide >= 1 && iSide <= 4)
    {
        // Each corner moves one coordinate on from the last, so stepping
        // walks round the building.
        NiVec3 kAt = GetPosition();
        if (iSide == 1)
            kAt = kCorner;
        else if (iSide == 2)
            kAt.z = kCorner.z - fDepth;
        else if (iSide == 3)
            kAt.x = kCorner.x + fWidth;
        else
            kAt.z = kCorner.z;
        // Only the heights, as ClampHeight keeps them. Its circle round the
        // building (centred on the building's middle, its larger extent
        // across) holds every corner, each half a diagonal from the middle,
        // so x and z stay exactly the corner's, which GetBoundsSide
        // compares to find the corner the camera stands at.
        kAt.y = std::fmin(std::fmax(kAt.y, GetLowerLimit()), GetClampUpperLimit());
        ResetAngles();
        SetPosition(kAt);
        const float fA = std::atan2(fDepth, fWidth);
        const float afTurns[4] = {fA, 2.0f * PI - fA, PI + fA, PI - fA};
        RotateB(nullptr, afTurns[iSide - 1], 0);
        const float fHeight = kAt.y - kBuilding.y;
        RotateA(nullptr, TILT * std::atan2(fHeight, std::sqrt(fWidth * fWidth + fDepth * fDepth)), 2);
        return;
    }
    ResetAngles();
    SetPosition(NiVec3(kCorner.x + fWidth * 0.5f - 1.0f, kBuilding.y + 3.5f * std::max(fWidth, fDepth),
                       kCorner.z - (fDepth * 0.5f - 1.0f)));
    RotateA(nullptr, STRAIGHT_DOWN, 0);
}
