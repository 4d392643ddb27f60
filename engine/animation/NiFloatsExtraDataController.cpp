#include "engine/animation/NiFloatsExtraDataController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiFloatsExtraData.h"

NiImplementTypeInfo(NiFloatsExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiFloatsExtraDataController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

NiFloatsExtraDataController::~NiFloatsExtraDataController()
{
    delete[] m_pcCtlrID;
}

NiObject* NiFloatsExtraDataController::CreateObject()
{
    return new NiFloatsExtraDataController;
}

void NiFloatsExtraDataController::CopyMembers(NiFloatsExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiExtraDataController::CopyMembers(pkDest, kCloning);
    pkDest->m_iFloatsExtraDataIndex = m_iFloatsExtraDataIndex;
}

void NiFloatsExtraDataController::SetFloatsExtraDataIndex(std::int32_t i)
{
    m_iFloatsExtraDataIndex = i;
    delete[] m_pcCtlrID;
    m_pcCtlrID = nullptr;
}

const char* NiFloatsExtraDataController::GetCtlrID()
{
    if (m_pcCtlrID == nullptr && m_pcExtraDataName != nullptr)
        m_pcCtlrID = NiViewerFormat("%s[%d]", m_pcExtraDataName, static_cast<int>(m_iFloatsExtraDataIndex));
    return m_pcCtlrID;
}

void NiFloatsExtraDataController::GetTargetValue(float& fValue) const
{
    if (auto* pkData = NiDynamicCast<NiFloatsExtraData>(m_spExtraData.Get()))
        fValue = pkData->GetValue(static_cast<std::uint32_t>(m_iFloatsExtraDataIndex));
}

NiInterpolator* NiFloatsExtraDataController::CreatePoseInterpolator(std::uint16_t)
{
    float fValue = 0.0f;
    GetTargetValue(fValue);
    return new NiFloatInterpolator(fValue);
}

void NiFloatsExtraDataController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkFloat = NiDynamicCast<NiFloatInterpolator>(pkInterpolator);
    if (pkFloat == nullptr)
        return;
    float fValue = 0.0f;
    GetTargetValue(fValue);
    pkFloat->SetPoseValue(fValue);
}

NiBlendInterpolator* NiFloatsExtraDataController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled,
                                                                         bool, float fWeightThreshold,
                                                                         std::uint8_t ucArraySize) const
{
    return new NiBlendFloatInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

void NiFloatsExtraDataController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkData = NiDynamicCast<NiFloatsExtraData>(m_spExtraData.Get());
    if (pkData == nullptr)
        return;
    float fValue = 0.0f;
    if (m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, fValue))
        (void)pkData->SetValue(static_cast<std::uint32_t>(m_iFloatsExtraDataIndex), fValue);
}

void NiFloatsExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    kStream.ReadLE(m_iFloatsExtraDataIndex);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

void NiFloatsExtraDataController::ResolveLinks(NiObjectStream& kStream)
{
    NiExtraDataController::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
        return;
    NiFloatData* pkData = kStream.GetLinkedObjectAs<NiFloatData>();
    if (pkData == nullptr)
        return;
    m_spInterpolator = new NiFloatInterpolator(pkData);
    m_spInterpolator->Collapse();
}

void NiFloatsExtraDataController::WriteToStream(NiObjectStream& kStream)
{
    NiExtraDataController::WriteToStream(kStream);
    kStream.WriteLE(m_iFloatsExtraDataIndex);
}

bool NiFloatsExtraDataController::IsEqual(NiObject* pkOther)
{
    if (!NiExtraDataController::IsEqual(pkOther))
        return false;
    return m_iFloatsExtraDataIndex == static_cast<NiFloatsExtraDataController*>(pkOther)->m_iFloatsExtraDataIndex;
}

void NiFloatsExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatsExtraDataController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerInt("m_iFloatsExtraDataIndex", m_iFloatsExtraDataIndex));
}
