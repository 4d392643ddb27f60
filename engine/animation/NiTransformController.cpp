#include "engine/animation/NiTransformController.h"

#include "engine/animation/NiBlendAccumTransformInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

#include <cmath>

NiImplementTypeInfo(NiTransformController, NiSingleInterpController)
NiImplementCreateClone(NiTransformController)

NiObject* NiTransformController::CreateObject()
{
    return new NiTransformController;
}

void NiTransformController::CopyMembers(NiTransformController* pkDest, NiCloneContext& kCloning)
{
    NiSingleInterpController::CopyMembers(pkDest, kCloning);
}

bool NiTransformController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiTransformController::ApplyTransform(NiAVObject* pkTarget, const NiQuatTransform& kTransform)
{
    if (kTransform.IsTranslateValid())
        pkTarget->SetTranslate(kTransform.m_kTranslate);
    if (kTransform.IsRotateValid())
    {
        NiMatrix3x3 kRotate = NiMatrix3x3::IDENTITY;
        kTransform.m_kRotate.ToRotation(kRotate);
        pkTarget->SetRotate(kRotate);
    }
    if (kTransform.IsScaleValid())
        pkTarget->SetScale(std::fabs(kTransform.m_fScale));
}

NiQuatTransform NiTransformController::GetPose(const NiAVObject* pkTarget)
{
    NiQuat kRotate;
    kRotate.FromRotation(pkTarget->GetRotate());
    return NiQuatTransform(pkTarget->GetTranslate(), kRotate, pkTarget->GetScale());
}

void NiTransformController::Update(float fTime)
{
    UpdateOwner(fTime, NiDynamicCast<NiAVObject>(m_pkTarget), NiQuatTransform(),
                [](NiAVObject& kTarget, const NiQuatTransform& kValue) { ApplyTransform(&kTarget, kValue); });
}

NiInterpolator* NiTransformController::CreatePoseInterpolator(std::uint16_t)
{
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget == nullptr)
        return new NiTransformInterpolator;
    return new NiTransformInterpolator(GetPose(pkTarget));
}

void NiTransformController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkTransform = NiDynamicCast<NiTransformInterpolator>(pkInterpolator);
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTransform == nullptr || pkTarget == nullptr)
        return;
    // Every channel takes the pose, so none of the keys count any more.
    pkTransform->SetPoseValue(GetPose(pkTarget));
    pkTransform->SetTransformData(nullptr);
}

NiBlendInterpolator* NiTransformController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled,
                                                                    bool bAccumulate, float fWeightThreshold,
                                                                    std::uint8_t ucArraySize) const
{
    if (bAccumulate)
        return new NiBlendAccumTransformInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
    return new NiBlendTransformInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

// ---- Records ----

void NiTransformController::ReadFromStream(NiObjectStream& kStream)
{
    NiSingleInterpController::ReadFromStream(kStream);
    ReadOldKeyDataLink(kStream);
}

void NiTransformController::ResolveLinks(NiObjectStream& kStream)
{
    NiSingleInterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiTransformInterpolator, NiTransformData>(kStream);
}

void NiTransformController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiSingleInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTransformController::TypeInfo()->GetName()));
}
