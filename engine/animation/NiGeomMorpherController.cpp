#include "engine/animation/NiGeomMorpherController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

NiImplementTypeInfo(NiGeomMorpherController, NiInterpController)
NiImplementCreateClone(NiGeomMorpherController)

namespace
{
constexpr std::uint32_t OWN_FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);
constexpr std::uint32_t ALWAYS_UPDATE_FROM = NiStreamVersion(4, 0, 0, 2);
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
constexpr std::uint32_t GUARANTEE_RANGE_UNTIL = NiStreamVersion(4, 1, 0, 12);
// Bit 0 of the geometry data's change field: vertex positions.
constexpr std::uint16_t VERTICES_CHANGED = 0x0001;
} // namespace

NiObject* NiGeomMorpherController::CreateObject()
{
    return new NiGeomMorpherController;
}

void NiGeomMorpherController::CopyMembers(NiGeomMorpherController* pkDest, NiCloneContext& kCloning)
{
    NiInterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_usMorpherFlags = m_usMorpherFlags;
    pkDest->m_bAlwaysUpdate = m_bAlwaysUpdate;
    pkDest->m_spMorphData = m_spMorphData;
    pkDest->m_kInterpolators.resize(m_kInterpolators.size());
    for (std::size_t i = 0; i < m_kInterpolators.size(); ++i)
    {
        if (m_kInterpolators[i])
            pkDest->m_kInterpolators[i] = static_cast<NiInterpolator*>(m_kInterpolators[i]->CreateClone(kCloning));
    }
}

void NiGeomMorpherController::FinishClone(NiCloneContext& kCloning)
{
    NiInterpController::FinishClone(kCloning);
    for (const NiInterpolatorPtr& sp : m_kInterpolators)
    {
        if (sp)
            sp->FinishClone(kCloning);
    }
    NiObject* pkCopy = nullptr;
    if (kCloning.m_kCloneMap.GetAt(this, pkCopy) && pkCopy != nullptr)
        static_cast<NiGeomMorpherController*>(pkCopy)->ApplyTargetBound();
}

bool NiGeomMorpherController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiGeometry>(pkTarget);
}

// ---- Interpolators ----

std::uint16_t NiGeomMorpherController::GetInterpolatorCount() const
{
    return static_cast<std::uint16_t>(m_kInterpolators.size());
}

const char* NiGeomMorpherController::GetInterpolatorID(std::uint16_t usIndex) const
{
    const NiMorphData::MorphTarget* pkTarget = m_spMorphData ? m_spMorphData->GetTarget(usIndex) : nullptr;
    return pkTarget ? pkTarget->GetName() : nullptr;
}

std::uint16_t NiGeomMorpherController::GetInterpolatorIndex(const char* pcID) const
{
    const std::int32_t i = m_spMorphData ? m_spMorphData->FindTarget(pcID) : -1;
    return i < 0 || i >= static_cast<std::int32_t>(m_kInterpolators.size()) ? 0xFFFF : static_cast<std::uint16_t>(i);
}

NiInterpolator* NiGeomMorpherController::GetInterpolator(std::uint16_t usIndex) const
{
    return usIndex < m_kInterpolators.size() ? m_kInterpolators[usIndex].Get() : nullptr;
}

void NiGeomMorpherController::SetInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex)
{
    if (usIndex < m_kInterpolators.size())
        m_kInterpolators[usIndex] = pkInterpolator;
}

void NiGeomMorpherController::ResetTimeExtrema()
{
    m_fLoKeyTime = FLT_MAX;
    m_fHiKeyTime = -FLT_MAX;
    for (const NiInterpolatorPtr& sp : m_kInterpolators)
    {
        if (!sp)
            continue;
        float fBegin = 0.0f;
        float fEnd = 0.0f;
        sp->GetActiveTimeRange(fBegin, fEnd);
        m_fLoKeyTime = std::min(m_fLoKeyTime, fBegin);
        m_fHiKeyTime = std::max(m_fHiKeyTime, fEnd);
    }
}

void NiGeomMorpherController::GuaranteeTimeRange(float fStart, float fEnd)
{
    for (const NiInterpolatorPtr& sp : m_kInterpolators)
    {
        if (sp)
            sp->GuaranteeTimeRange(fStart, fEnd);
    }
}

NiInterpolator* NiGeomMorpherController::CreatePoseInterpolator(std::uint16_t usIndex)
{
    const NiMorphData::MorphTarget* pkTarget = m_spMorphData ? m_spMorphData->GetTarget(usIndex) : nullptr;
    return new NiFloatInterpolator(pkTarget ? pkTarget->GetLegacyWeight() : 0.0f);
}

void NiGeomMorpherController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex)
{
    auto* pkFloat = NiDynamicCast<NiFloatInterpolator>(pkInterpolator);
    const NiMorphData::MorphTarget* pkTarget = m_spMorphData ? m_spMorphData->GetTarget(usIndex) : nullptr;
    if (pkFloat != nullptr)
        pkFloat->SetPoseValue(pkTarget ? pkTarget->GetLegacyWeight() : 0.0f);
}

NiBlendInterpolator* NiGeomMorpherController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled, bool,
                                                                      float fWeightThreshold,
                                                                      std::uint8_t ucArraySize) const
{
    return new NiBlendFloatInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

// ---- Data and target ----

NiBoundSphere NiGeomMorpherController::ComputeTargetBound(const NiMorphData& kData)
{
    NiBoundSphere kBound;
    for (std::uint32_t i = 0; i < kData.GetNumTargets(); ++i)
    {
        NiBoundSphere kTarget;
        kTarget.ComputeFromPoints(kData.GetNumVertsPerTarget(), kData.GetTarget(i)->GetTargetVerts());
        if (i == 0)
            kBound = kTarget;
        else
            kBound.Merge(kTarget);
    }
    return kBound;
}

void NiGeomMorpherController::ApplyTargetBound()
{
    auto* pkGeometry = NiDynamicCast<NiGeometry>(m_pkTarget);
    NiGeometryData* pkData = pkGeometry ? pkGeometry->GetModelData() : nullptr;
    if (pkData == nullptr || !m_spMorphData)
        return;
    pkData->SetBound(ComputeTargetBound(*m_spMorphData));
    m_bBoundSet = true;
}

void NiGeomMorpherController::SetMorphData(NiMorphData* pkData)
{
    m_spMorphData = pkData;
    m_kInterpolators.assign(pkData ? pkData->GetNumTargets() : 0, nullptr);
    ApplyTargetBound();
}

void NiGeomMorpherController::SetTarget(NiObjectNET* pkTarget)
{
    NiInterpController::SetTarget(NiIsKindOf<NiGeometry>(pkTarget) ? pkTarget : nullptr);
    ApplyTargetBound();
}

// ---- Morphing ----

void NiGeomMorpherController::Update(float fTime)
{
    if (!m_spMorphData)
        return;
    if (GetManagerControlled())
    {
        m_fScaledTime = NI_MIN_FLOAT;
        m_bNeedsUpdate = true;
        return;
    }
    if (ShouldSkipUpdate(fTime) && !m_bAlwaysUpdate)
        return;
    m_bNeedsUpdate = true;
}

void NiGeomMorpherController::ApplyDeferredUpdate()
{
    if (!m_bNeedsUpdate)
        return;
    auto* pkGeometry = NiDynamicCast<NiGeometry>(m_pkTarget);
    NiGeometryData* pkData = pkGeometry ? pkGeometry->GetModelData() : nullptr;
    if (pkData == nullptr || !m_spMorphData)
        return;
    Morph(m_fScaledTime);
    pkData->SetDirtyFlags(static_cast<std::uint16_t>(pkData->GetDirtyFlags() | VERTICES_CHANGED));
    if ((m_usMorpherFlags & UPDATE_NORMALS_MASK) != 0 && pkData->GetNormals() != nullptr)
        pkData->CalculateNormals();
    m_bNeedsUpdate = false;
}

void NiGeomMorpherController::Morph(float fTime)
{
    auto* pkGeometry = static_cast<NiGeometry*>(m_pkTarget);
    NiGeometryData* pkData = pkGeometry->GetModelData();
    NiVec3* pkVerts = pkData->GetVertices();
    const std::uint32_t uiTargets = m_spMorphData->GetNumTargets();
    for (std::uint32_t i = 0; i < uiTargets; ++i)
    {
        NiMorphData::MorphTarget* pkTarget = m_spMorphData->GetTarget(i);
        if (i == 0 && m_spMorphData->GetRelativeTargets())
        {
            pkTarget->SetLegacyWeight(1.0f);
            continue;
        }
        NiInterpolator* pkInterp = GetInterpolator(static_cast<std::uint16_t>(i));
        if (pkInterp == nullptr)
            continue;
        float fWeight = 0.0f;
        if (!pkInterp->UpdateFloat(fTime, pkGeometry, fWeight))
            fWeight = 0.0f;
        pkTarget->SetLegacyWeight(fWeight);
    }
    if (pkVerts == nullptr)
        return;
    // Targets with fewer vertices than the geometry add to the first ones
    // only.
    const std::uint32_t uiVerts = pkData->GetVertexCount();
    const std::uint32_t uiCommon = std::min(uiVerts, m_spMorphData->GetNumVertsPerTarget());
    std::fill(pkVerts, pkVerts + uiVerts, NiVec3::ZERO);
    for (std::uint32_t i = 0; i < uiTargets; ++i)
    {
        const NiMorphData::MorphTarget* pkTarget = m_spMorphData->GetTarget(i);
        const float fWeight = pkTarget->GetLegacyWeight();
        if (fWeight > -WEIGHT_EPSILON && fWeight < WEIGHT_EPSILON)
            continue;
        const NiVec3* pkTargetVerts = pkTarget->GetTargetVerts();
        for (std::uint32_t k = 0; k < uiCommon; ++k)
            pkVerts[k] = pkVerts[k] + pkTargetVerts[k] * fWeight;
    }
}

// ---- Records ----

void NiGeomMorpherController::ReadFromStream(NiObjectStream& kStream)
{
    NiInterpController::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= OWN_FLAGS_FROM)
        kStream.ReadLE(m_usMorpherFlags);
    else
        m_usMorpherFlags = static_cast<std::uint16_t>((GetLegacyFlags() >> 5) & 0x3F);
    kStream.ReadLinkID();
    if (uiVersion >= ALWAYS_UPDATE_FROM)
    {
        std::uint8_t uc = 0;
        kStream.ReadLE(uc);
        m_bAlwaysUpdate = uc != 0;
    }
    if (uiVersion >= INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkIDList();
}

void NiGeomMorpherController::ResolveLinks(NiObjectStream& kStream)
{
    NiInterpController::ResolveLinks(kStream);
    NiMorphData* pkData = kStream.GetLinkedObjectAs<NiMorphData>();
    m_spMorphData = pkData;
    const std::uint32_t uiTargets = pkData ? pkData->GetNumTargets() : 0;
    m_kInterpolators.assign(uiTargets, nullptr);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
    {
        // As many interpolators as targets, whatever count the file gives.
        const std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            NiInterpolator* pkInterp = kStream.GetLinkedObjectAs<NiInterpolator>();
            if (i < uiTargets)
                m_kInterpolators[i] = pkInterp;
        }
        return;
    }
    for (std::uint32_t i = 0; i < uiTargets; ++i)
        m_kInterpolators[i] = pkData->GetTarget(i)->GetInterpolator();
    if (kStream.GetFileVersion() <= GUARANTEE_RANGE_UNTIL)
        GuaranteeTimeRange(m_fLoKeyTime, m_fHiKeyTime);
}

void NiGeomMorpherController::PostLink(NiObjectStream& kStream)
{
    NiInterpController::PostLink(kStream);
    ApplyTargetBound();
}

void NiGeomMorpherController::DropCountedLinks()
{
    NiInterpController::DropCountedLinks();
    m_spMorphData = nullptr;
    m_kInterpolators.clear();
}

bool NiGeomMorpherController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiInterpController::RegisterForSave(kStream))
        return false;
    if (m_spMorphData)
        m_spMorphData->RegisterForSave(kStream);
    for (const NiInterpolatorPtr& sp : m_kInterpolators)
    {
        if (sp)
            sp->RegisterForSave(kStream);
    }
    return true;
}

void NiGeomMorpherController::WriteToStream(NiObjectStream& kStream)
{
    NiInterpController::WriteToStream(kStream);
    kStream.WriteLE(m_usMorpherFlags);
    kStream.WriteLinkID(m_spMorphData);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bAlwaysUpdate ? 1 : 0));
    kStream.WriteLE(static_cast<std::uint32_t>(m_kInterpolators.size()));
    for (const NiInterpolatorPtr& sp : m_kInterpolators)
        kStream.WriteLinkID(sp);
}

bool NiGeomMorpherController::IsEqual(NiObject* pkOther)
{
    if (!NiInterpController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiGeomMorpherController*>(pkOther);
    if (!m_spMorphData || !pkController->m_spMorphData)
    {
        if (m_spMorphData || pkController->m_spMorphData)
            return false;
    }
    else if (!m_spMorphData->IsEqual(pkController->m_spMorphData))
    {
        return false;
    }
    if (m_kInterpolators.size() != pkController->m_kInterpolators.size())
        return false;
    for (std::size_t i = 0; i < m_kInterpolators.size(); ++i)
    {
        NiInterpolator* pkMine = m_kInterpolators[i];
        NiInterpolator* pkTheirs = pkController->m_kInterpolators[i];
        if ((pkMine == nullptr) != (pkTheirs == nullptr) || (pkMine != nullptr && !pkMine->IsEqual(pkTheirs)))
            return false;
    }
    return true;
}

void NiGeomMorpherController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiGeomMorpherController::TypeInfo()->GetName()));
}
