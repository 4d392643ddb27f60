#include "engine/animation/NiAlphaController.h"

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiMaterialProperty.h"

NiImplementTypeInfo(NiAlphaController, NiFloatInterpController)
NiImplementCreateClone(NiAlphaController)

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
    UpdateOwner(fTime, NiDynamicCast<NiMaterialProperty>(m_pkTarget), 0.0f,
                [](NiMaterialProperty& kMaterial, float fValue) {
                    kMaterial.SetAlpha(fValue);
                    kMaterial.SetRevisionID(kMaterial.GetRevisionID() + 1);
                });
}

void NiAlphaController::ReadFromStream(NiObjectStream& kStream)
{
    NiFloatInterpController::ReadFromStream(kStream);
    ReadOldKeyDataLink(kStream);
}

void NiAlphaController::ResolveLinks(NiObjectStream& kStream)
{
    NiFloatInterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiFloatInterpolator, NiFloatData>(kStream);
}

void NiAlphaController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiFloatInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAlphaController::TypeInfo()->GetName()));
}
