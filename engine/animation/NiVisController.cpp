#include "engine/animation/NiVisController.h"

#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiVisController, NiBoolInterpController)
NiImplementCreateClone(NiVisController)

NiObject* NiVisController::CreateObject()
{
    return new NiVisController;
}

void NiVisController::CopyMembers(NiVisController* pkDest, NiCloneContext& kCloning)
{
    NiBoolInterpController::CopyMembers(pkDest, kCloning);
}

bool NiVisController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiVisController::GetTargetBoolValue(bool& bValue)
{
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget != nullptr)
        bValue = !pkTarget->GetAppCulled();
}

void NiVisController::Update(float fTime)
{
    UpdateOwner(fTime, NiDynamicCast<NiAVObject>(m_pkTarget), std::uint8_t{0},
                [](NiAVObject& kTarget, std::uint8_t ucValue) { kTarget.SetAppCulled(ucValue == 0); });
}

void NiVisController::ReadFromStream(NiObjectStream& kStream)
{
    NiBoolInterpController::ReadFromStream(kStream);
    ReadOldKeyDataLink(kStream);
}

void NiVisController::ResolveLinks(NiObjectStream& kStream)
{
    NiBoolInterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiBoolInterpolator, NiBoolData>(kStream);
}

void NiVisController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBoolInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiVisController::TypeInfo()->GetName()));
}
