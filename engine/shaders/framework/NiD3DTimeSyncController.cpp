#include "engine/shaders/framework/NiD3DTimeSyncController.h"

#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiObjectNET.h"

NiImplementTypeInfo(NiD3DTimeSyncController, NiD3DController)
NiImplementCreateClone(NiD3DTimeSyncController)

NiD3DTimeSyncController::~NiD3DTimeSyncController()
{
    m_spTimeData = nullptr;
}

void NiD3DTimeSyncController::CopyMembers(NiD3DTimeSyncController* pkDest, NiCloneContext& kCloning)
{
    // The clone finds its own entry when it is given a target.
    NiTimeController::CopyMembers(pkDest, kCloning);
}

void NiD3DTimeSyncController::Update(float fTime)
{
    if (m_pkTarget == nullptr || m_spTimeData == nullptr || ShouldSkipUpdate(fTime))
        return;
    m_spTimeData->SetValue(fTime);
}

void NiD3DTimeSyncController::SetTarget(NiObjectNET* pkTarget)
{
    NiTimeController::SetTarget(pkTarget);
    if (pkTarget == nullptr)
    {
        m_spTimeData = nullptr;
        return;
    }
    NiExtraData* pkExtra = pkTarget->GetExtraData(TIME_NAME);
    if (auto* pkFloat = NiDynamicCast<NiFloatExtraData>(pkExtra))
    {
        m_spTimeData = pkFloat;
        return;
    }
    // A target holds one entry per name: one of another class makes way.
    if (pkExtra != nullptr)
        pkTarget->RemoveExtraData(TIME_NAME);
    NiRefPtr<NiFloatExtraData> spData = new NiFloatExtraData(0.0f);
    spData->SetName(TIME_NAME);
    pkTarget->AddExtraData(spData);
    m_spTimeData = spData;
}

bool NiD3DTimeSyncController::RegisterForSave(NiObjectStream& kStream)
{
    if (NiTimeController* pkNext = FirstStreamable(m_spNext))
        pkNext->RegisterForSave(kStream);
    return true;
}

bool NiD3DTimeSyncController::IsEqual(NiObject* pkOther)
{
    return NiTimeController::IsEqual(pkOther);
}

void NiD3DTimeSyncController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    kStrings.AddTail(NiViewerHeader(NiD3DTimeSyncController::TypeInfo()->GetName()));
}
