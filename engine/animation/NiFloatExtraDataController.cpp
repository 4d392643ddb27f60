#include "engine/animation/NiFloatExtraDataController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiFloatExtraData.h"

NiImplementTypeInfo(NiFloatExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiFloatExtraDataController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

NiObject* NiFloatExtraDataController::CreateObject()
{
    return new NiFloatExtraDataController;
}

void NiFloatExtraDataController::CopyMembers(NiFloatExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiExtraDataController::CopyMembers(pkDest, kCloning);
}

void NiFloatExtraDataController::GetTargetValue(float& fValue) const
{
    if (auto* pkData = NiDynamicCast<NiFloatExtraData>(m_spExtraData.Get()))
        fValue = pkData->GetValue();
}

NiInterpolator* NiFloatExtraDataController::CreatePoseInterpolator(std::uint16_t)
{
    float fValue = 0.0f;
    GetTargetValue(fValue);
    return new NiFloatInterpolator(fValue);
}

void NiFloatExtraDataController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkFloat = NiDynamicCast<NiFloatInterpolator>(pkInterpolator);
    if (pkFloat == nullptr)
        return;
    float fValue = 0.0f;
    GetTargetValue(fValue);
    pkFloat->SetPoseValue(fValue);
}

NiBlendInterpolator* NiFloatExtraDataController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled,
                                                                         bool, float fWeightThreshold,
                                                                         std::uint8_t ucArraySize) const
{
    return new NiBlendFloatInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

void NiFloatExtraDataController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkData = NiDynamicCast<NiFloatExtraData>(m_spExtraData.Get());
    if (pkData == nullptr)
        return;
    float fValue = 0.0f;
    if (m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, fValue))
        pkData->SetValue(fValue);
}

void NiFloatExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

void NiFloatExtraDataController::ResolveLinks(NiObjectStream& kStream)
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

void NiFloatExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatExtraDataController::TypeInfo()->GetName()));
}
