#include "engine/animation/NiAlphaController.h"

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiMaterialProperty.h"

NiImplementTypeInfo(NiAlphaController, NiFloatInterpController)
NiImplementCreateClone(NiAlphaController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

NiObject* NiAlphaController::CreateObject()
{
    return new NiAlphaController;
}

void NiAlphaController::CopyMembers(NiAlphaController* pkDest, NiCloneContext& kCloning)
{
    NiFloatInterpController::CopyMembers(pkDest, kCloning);
}

bool NiAlphaController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiMaterialProperty>(pkTarget);
}

void NiAlphaController::GetTargetFloatValue(float& fValue)
{
    auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(m_pkTarget);
    if (pkMaterial != nullptr)
        fValue = pkMaterial->GetAlpha();
}

void NiAlphaController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(m_pkTarget);
    if (pkMaterial == nullptr)
        return;
    float fValue = 0.0f;
    if (!m_spInterpolator->UpdateFloat(m_fScaledTime, pkMaterial, fValue))
        return;
    pkMaterial->SetAlpha(fValue);
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
}

void NiAlphaController::ReadFromStream(NiObjectStream& kStream)
{
    NiFloatInterpController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

void NiAlphaController::ResolveLinks(NiObjectStream& kStream)
{
    NiFloatInterpController::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
        return;
    NiFloatData* pkData = kStream.GetLinkedObjectAs<NiFloatData>();
    if (pkData == nullptr)
        return;
    m_spInterpolator = new NiFloatInterpolator(pkData);
    m_spInterpolator->Collapse();
}

void NiAlphaController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiFloatInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAlphaController::TypeInfo()->GetName()));
}
