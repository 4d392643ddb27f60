#include "engine/animation/NiVisController.h"

#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiVisController, NiBoolInterpController)
NiImplementCreateClone(NiVisController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

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
    if (!BeginUpdate(fTime))
        return;
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget == nullptr)
        return;
    std::uint8_t ucValue = 0;
    if (m_spInterpolator->UpdateBool(m_fScaledTime, pkTarget, ucValue))
        pkTarget->SetAppCulled(ucValue == 0);
}

void NiVisController::ReadFromStream(NiObjectStream& kStream)
{
    NiBoolInterpController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

void NiVisController::ResolveLinks(NiObjectStream& kStream)
{
    NiBoolInterpController::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
        return;
    NiBoolData* pkData = kStream.GetLinkedObjectAs<NiBoolData>();
    if (pkData == nullptr)
        return;
    m_spInterpolator = new NiBoolInterpolator(pkData);
    m_spInterpolator->Collapse();
}

void NiVisController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBoolInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiVisController::TypeInfo()->GetName()));
}
