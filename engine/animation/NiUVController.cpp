#include "engine/animation/NiUVController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiVec2.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"

#include <algorithm>
#include <cfloat>

NiImplementTypeInfo(NiUVController, NiTimeController)
NiImplementCreateClone(NiUVController)

namespace
{
// Bit of the geometry data's change field for texture coordinates.
constexpr std::uint16_t TEXTURE_CHANGED = 1u << 3;
} // namespace

NiObject* NiUVController::CreateObject()
{
    return new NiUVController;
}

void NiUVController::CopyMembers(NiUVController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_usTextureSet = m_usTextureSet;
    if (m_spUVData)
        pkDest->SetUVData(m_spUVData);
}

bool NiUVController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiGeometry>(pkTarget);
}

void NiUVController::SetUVData(NiUVData* pkData)
{
    m_spUVData = pkData;
    for (std::uint32_t& ui : m_auiLastIdx)
        ui = 0;
    m_fLoKeyTime = FLT_MAX;
    m_fHiKeyTime = -FLT_MAX;
    if (!m_spUVData)
        return;
    for (std::uint32_t i = 0; i < NiUVData::CHANNEL_COUNT; ++i)
    {
        const NiKeyChannel& kChannel = m_spUVData->GetKeyChannel(i);
        if (!kChannel.HasKeys())
            continue;
        m_fLoKeyTime = std::min(m_fLoKeyTime, kChannel.GetKeyAt(0)->m_fTime);
        m_fHiKeyTime = std::max(m_fHiKeyTime, kChannel.GetKeyAt(kChannel.GetNumKeys() - 1)->m_fTime);
    }
}

void NiUVController::SetTarget(NiObjectNET* pkTarget)
{
    if (m_spUVData)
        m_spUVData->ResetLastApplied();
    NiTimeController::SetTarget(pkTarget);
}

void NiUVController::Update(float fTime)
{
    if (!ShouldSkipUpdate(fTime))
        m_bUpdatePending = true;
}

void NiUVController::ApplyDeferredUpdate()
{
    if (!m_bUpdatePending || !m_spUVData)
        return;
    auto* pkGeometry = NiDynamicCast<NiGeometry>(m_pkTarget);
    NiGeometryData* pkData = pkGeometry ? pkGeometry->GetModelData() : nullptr;
    if (pkData == nullptr || pkData->GetTextureSets() <= m_usTextureSet)
        return;
    NiVec2* pkSet = pkData->GetTextureSet(m_usTextureSet);
    if (pkSet == nullptr)
        return;

    // An empty channel stands for no offset or unit tiling.
    const float afDefault[NiUVData::CHANNEL_COUNT] = {0.0f, 0.0f, 1.0f, 1.0f};
    float afValue[NiUVData::CHANNEL_COUNT];
    for (std::uint32_t i = 0; i < NiUVData::CHANNEL_COUNT; ++i)
    {
        const NiKeyChannel& kChannel = m_spUVData->GetKeyChannel(i);
        afValue[i] = kChannel.HasKeys()
                         ? NiFloatKey::EvaluateAt(m_fScaledTime, kChannel.GetKeys(), kChannel.GetType(),
                                                  kChannel.GetNumKeys(), m_auiLastIdx[i], kChannel.GetStride())
                         : afDefault[i];
    }
    float* afLast = m_spUVData->m_afLastApplied;
    // A tiling of 0 cannot be undone by a later ratio: that axis keeps the
    // tiling it had.
    for (std::uint32_t i = NiUVData::U_TILING; i <= NiUVData::V_TILING; ++i)
    {
        if (afValue[i] == 0.0f)
            afValue[i] = afLast[i];
    }
    const float fSU = afValue[NiUVData::U_TILING] / afLast[NiUVData::U_TILING];
    const float fSV = afValue[NiUVData::V_TILING] / afLast[NiUVData::V_TILING];
    const float fOU = (1.0f - fSU) * 0.5f - (afValue[NiUVData::U_OFFSET] - afLast[NiUVData::U_OFFSET] * fSU);
    const float fOV = (afValue[NiUVData::V_OFFSET] - afLast[NiUVData::V_OFFSET] * fSV) + (1.0f - fSV) * 0.5f;

    const std::uint16_t usCount = pkData->GetVertexCount();
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        pkSet[i].x = fSU * pkSet[i].x + fOU;
        pkSet[i].y = fSV * pkSet[i].y + fOV;
    }
    for (std::uint32_t i = 0; i < NiUVData::CHANNEL_COUNT; ++i)
        afLast[i] = afValue[i];
    pkData->SetDirtyFlags(static_cast<std::uint16_t>(pkData->GetDirtyFlags() | TEXTURE_CHANGED));
    m_bUpdatePending = false;
}

// ---- Records ----

void NiUVController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    kStream.ReadLE(m_usTextureSet);
    kStream.ReadLinkID();
}

void NiUVController::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    NiUVData* pkData = kStream.GetLinkedObjectAs<NiUVData>();
    if (pkData != nullptr)
    {
        // The key range the file holds stays; only the data and hints move.
        const float fLo = m_fLoKeyTime;
        const float fHi = m_fHiKeyTime;
        SetUVData(pkData);
        m_fLoKeyTime = fLo;
        m_fHiKeyTime = fHi;
    }
}

void NiUVController::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    m_spUVData = nullptr;
}

bool NiUVController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    if (m_spUVData)
        m_spUVData->RegisterForSave(kStream);
    return true;
}

void NiUVController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLE(m_usTextureSet);
    kStream.WriteLinkID(m_spUVData);
}

bool NiUVController::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiUVController*>(pkOther);
    if (m_usTextureSet != pkController->m_usTextureSet)
        return false;
    if (!m_spUVData || !pkController->m_spUVData)
        return !m_spUVData && !pkController->m_spUVData;
    return m_spUVData->IsEqual(pkController->m_spUVData);
}

void NiUVController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiUVController::TypeInfo()->GetName()));
}
