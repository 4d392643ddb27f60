#include "engine/animation/NiExtraDataController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiObjectNET.h"

#include <cstring>

NiImplementTypeInfo(NiExtraDataController, NiSingleInterpController)

NiExtraDataController::~NiExtraDataController()
{
    NiLoadArena::Free(m_pcExtraDataName);
}

void NiExtraDataController::SetExtraDataName(const char* pcName)
{
    char* pcCopy = NiArenaStrDup(pcName);
    NiLoadArena::Free(m_pcExtraDataName);
    m_pcExtraDataName = pcCopy;
}

bool NiExtraDataController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    if (m_pcExtraDataName == nullptr || pkTarget == nullptr)
        return false;
    // GetExtraData compares names exactly (case-sensitive).
    return pkTarget->GetExtraData(m_pcExtraDataName) != nullptr;
}

void NiExtraDataController::FindExtraData()
{
    m_spExtraData = nullptr;
    if (m_pkTarget != nullptr && m_pcExtraDataName != nullptr)
        m_spExtraData = m_pkTarget->GetExtraData(m_pcExtraDataName);
}

void NiExtraDataController::SetTarget(NiObjectNET* pkTarget)
{
    m_spExtraData = nullptr;
    NiSingleInterpController::SetTarget(pkTarget);
    FindExtraData();
}

void NiExtraDataController::CopyMembers(NiExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiSingleInterpController::CopyMembers(pkDest, kCloning);
    pkDest->SetExtraDataName(m_pcExtraDataName);
}

void NiExtraDataController::FinishClone(NiCloneContext& kCloning)
{
    NiSingleInterpController::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    if (!kCloning.m_kCloneMap.GetAt(this, pkCopy) || pkCopy == nullptr)
        return;
    auto* pkClone = static_cast<NiExtraDataController*>(pkCopy);
    NiObject* pkDataCopy = nullptr;
    if (m_spExtraData && kCloning.m_kCloneMap.GetAt(m_spExtraData.Get(), pkDataCopy))
        pkClone->m_spExtraData = NiDynamicCast<NiExtraData>(pkDataCopy);
    else
        pkClone->m_spExtraData = nullptr;
}

void NiExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiSingleInterpController::ReadFromStream(kStream);
    char* pcName = kStream.ReadArenaString().release();
    NiLoadArena::Free(m_pcExtraDataName);
    m_pcExtraDataName = pcName;
}

void NiExtraDataController::WriteToStream(NiObjectStream& kStream)
{
    NiSingleInterpController::WriteToStream(kStream);
    kStream.WriteString(m_pcExtraDataName);
}

void NiExtraDataController::PostLink(NiObjectStream& kStream)
{
    NiSingleInterpController::PostLink(kStream);
    FindExtraData();
}

void NiExtraDataController::DropCountedLinks()
{
    NiSingleInterpController::DropCountedLinks();
    m_spExtraData = nullptr;
}

bool NiExtraDataController::IsEqual(NiObject* pkOther)
{
    if (!NiSingleInterpController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiExtraDataController*>(pkOther);
    if (!m_spExtraData || !pkController->m_spExtraData)
    {
        if (m_spExtraData || pkController->m_spExtraData)
            return false;
    }
    else if (!m_spExtraData->IsEqual(pkController->m_spExtraData))
    {
        return false;
    }
    if (m_pcExtraDataName == nullptr || pkController->m_pcExtraDataName == nullptr)
        return m_pcExtraDataName == pkController->m_pcExtraDataName;
    return std::strcmp(m_pcExtraDataName, pkController->m_pcExtraDataName) == 0;
}

void NiExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiSingleInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerString("Extra Data Name", m_pcExtraDataName));
}
