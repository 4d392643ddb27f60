#include "engine/animation/NiFloatExtraDataController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiFloatExtraData.h"

NiImplementTypeInfo(NiFloatExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiFloatExtraDataController)

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

void NiFloatExtraDataController::Update(float fTime)
{
    UpdateOwner(fTime, NiDynamicCast<NiFloatExtraData>(m_spExtraData.Get()), 0.0f,
                [](NiFloatExtraData& kData, float fValue) { kData.SetValue(fValue); });
}

void NiFloatExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    ReadOldKeyDataLink(kStream);
}

void NiFloatExtraDataController::ResolveLinks(NiObjectStream& kStream)
{
    NiExtraDataController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiFloatInterpolator, NiFloatData>(kStream);
}

void NiFloatExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatExtraDataController::TypeInfo()->GetName()));
}
