#include "engine/animation/NiRollController.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiRollController, NiFloatController)
NiImplementCreateClone(NiRollController)

NiObject* NiRollController::CreateObject()
{
    return new NiRollController;
}

void NiRollController::CopyMembers(NiRollController* pkDest, NiCloneContext& kCloning)
{
    NiFloatController::CopyMembers(pkDest, kCloning);
}

bool NiRollController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiRollController::Update(float fTime)
{
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget == nullptr || ShouldSkipUpdate(fTime))
        return;
    std::uint32_t uiCount = 0;
    std::uint32_t uiType = 0;
    std::uint8_t ucStride = 0;
    const NiAnimKey* pkKeys = GetKeys(uiCount, uiType, ucStride);
    if (pkKeys == nullptr || uiCount == 0)
        return;
    const float fRoll = NiFloatKey::EvaluateAt(m_fScaledTime, pkKeys, uiType, uiCount, m_uiLastIdx, ucStride);
    NiMatrix3x3 kRoll;
    kRoll.MakeZRotation(-fRoll);
    pkTarget->SetRotate(pkTarget->GetRotate() * kRoll);
}

void NiRollController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiFloatController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiRollController::TypeInfo()->GetName()));
}
