#include "framework/COrvaneSplineBase.h"

#include "engine/scene/NiLines.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneWorld.h"

#include <cmath>

bool COrvaneSplineBase::FacingYaw(const NiVec3& kFrom, const NiVec3& kTo, float fSpeed, float& fYaw)
{
    NiVec3 kV = kFrom - kTo;
    kV.y = 0.0f;
    kV.Normalize();
    if (kV == NiVec3::ZERO)
        return false;
    if (fSpeed < 0.0f)
        kV = -kV;
    float fC = -kV.z;
    if (fC <= -1.0f)
        fYaw = 180.0f;
    else if (fC >= 1.0f)
        fYaw = 0.0f;
    else
        fYaw = std::acos(fC) * DEGREES_PER_RADIAN;
    if (kV.x < 0.0f)
        fYaw = 360.0f - fYaw;
    return true;
}

void COrvaneSplineBase::FaceAndPlace(COrvaneComposite& kModel, const NiVec3& kTarget, float fSpeed)
{
    float fYaw = 0.0f;
    const NiVec3* pkPosition = kModel.GetPosition();
    if (pkPosition && FacingYaw(*pkPosition, kTarget, fSpeed, fYaw))
        kModel.Rotate(NiVec3::UNIT_Y, fYaw, 0);
    kModel.SetPosition(kTarget, 0);
}

COrvaneSplineBase::COrvaneSplineBase() = default;

COrvaneSplineBase::~COrvaneSplineBase()
{
    ClearDebugLines();
}

NiLines* COrvaneSplineBase::GetDebugLines() const
{
    return m_spDebugLines;
}

void COrvaneSplineBase::MakeDebugLines(const std::vector<NiVec3>& kPoints)
{
    if (m_spDebugLines != nullptr || kPoints.empty() || kPoints.size() > 0xFFFF)
        return;
    COrvaneWorld* pkWorld = GetGameWorld();
    NiNode* pkRoot = pkWorld != nullptr ? pkWorld->GetSceneRoot() : nullptr;
    if (pkRoot == nullptr)
        return;
    const auto usCount = static_cast<std::uint16_t>(kPoints.size());
    auto* pkVertex = new NiVec3[usCount];
    auto* pkColor = new NiColorRGBA[usCount];
    auto* pucFlags = new std::uint8_t[usCount];
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        pkVertex[i] = kPoints[i] + NiVec3(0.0f, 1.0f, 0.0f);
        pkColor[i] = NiColorRGBA(1.0f, 0.5f, 1.0f, 1.0f);
        pucFlags[i] = i + 1 < usCount ? 1 : 0;
    }
    m_spDebugLines = new NiLines(usCount, pkVertex, pkColor, nullptr, 0, 0, pucFlags);
    pkRoot->AttachChild(m_spDebugLines);
    pkRoot->Update(0.0f);
}

void COrvaneSplineBase::ClearDebugLines()
{
    if (m_spDebugLines == nullptr)
        return;
    // The scene holds the lines too: they leave it first.
    if (auto* pkParent = NiDynamicCast<NiNode>(m_spDebugLines->GetParent()))
        (void)pkParent->DetachChild(m_spDebugLines);
    m_spDebugLines = nullptr;
}
