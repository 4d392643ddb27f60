#include "engine/animation/NiColorExtraDataController.h"

#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiColorData.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiColorExtraData.h"

NiImplementTypeInfo(NiColorExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiColorExtraDataController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

NiObject* NiColorExtraDataController::CreateObject()
{
    return new NiColorExtraDataController;
}

void NiColorExtraDataController::CopyMembers(NiColorExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiExtraDataController::CopyMembers(pkDest, kCloning);
}

void NiColorExtraDataController::GetTargetValue(NiColorRGBA& fValue) const
{
    if (auto* pkData = NiDynamicCast<NiColorExtraData>(m_spExtraData.Get()))
        fValue = pkData->GetValue();
}

NiInterpolator* NiColorExtraDataController::CreatePoseInterpolator(std::uint16_t)
{
    NiColorRGBA fValue = NiColorRGBA::BLACK;
    GetTargetValue(fValue);
    return new NiColorInterpolator(fValue);
}

void NiColorExtraDataController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkFloat = NiDynamicCast<NiColorInterpolator>(pkInterpolator);
    if (pkFloat == nullptr)
        return;
    NiColorRGBA fValue = NiColorRGBA::BLACK;
    GetTargetValue(fValue);
    pkFloat->SetPoseValue(fValue);
}

NiBlendInterpolator* NiColorExtraDataController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled,
                                                                         bool, float fWeightThreshold,
                                                                         std::uint8_t ucArraySize) const
{
    return new NiBlendColorInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

void NiColorExtraDataController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkData = NiDynamicCast<NiColorExtraData>(m_spExtraData.Get());
    if (pkData == nullptr)
        return;
    NiColorRGBA fValue = NiColorRGBA::BLACK;
    if (m_spInterpolator->UpdateColor(m_fScaledTime, m_pkTarget, fValue))
        pkData->SetValue(fValue.r, fValue.g, fValue.b, fValue.a);
}

void NiColorExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

void NiColorExtraDataController::ResolveLinks(NiObjectStream& kStream)
{
    NiExtraDataController::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
        return;
    NiColorData* pkData = kStream.GetLinkedObjectAs<NiColorData>();
    if (pkData == nullptr)
        return;
    m_spInterpolator = new NiColorInterpolator(pkData);
    m_spInterpolator->Collapse();
}

void NiColorExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiColorExtraDataController::TypeInfo()->GetName()));
}
