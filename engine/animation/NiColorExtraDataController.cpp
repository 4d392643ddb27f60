#include "engine/animation/NiColorExtraDataController.h"

#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiColorData.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiColorExtraData.h"

NiImplementTypeInfo(NiColorExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiColorExtraDataController)

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

void NiColorExtraDataController::Update(float fTime)
{
    UpdateOwner(fTime, NiDynamicCast<NiColorExtraData>(m_spExtraData.Get()), NiColorRGBA::BLACK,
                [](NiColorExtraData& kData, const NiColorRGBA& kValue) {
                    kData.SetValue(kValue.r, kValue.g, kValue.b, kValue.a);
                });
}

void NiColorExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    ReadOldKeyDataLink(kStream);
}

void NiColorExtraDataController::ResolveLinks(NiObjectStream& kStream)
{
    NiExtraDataController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiColorInterpolator, NiColorData>(kStream);
}

void NiColorExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiColorExtraDataController::TypeInfo()->GetName()));
}
