#include "engine/animation/NiFloatController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiFloatController, NiTimeController)

NiAnimKey* NiFloatController::GetKeys(std::uint32_t& uiNumKeys, std::uint32_t& uiKeyType,
                                      std::uint8_t& ucKeyStride) const
{
    if (!m_spFloatData)
    {
        uiNumKeys = 0;
        uiKeyType = 0;
        ucKeyStride = 0;
        return nullptr;
    }
    uiNumKeys = m_spFloatData->GetNumKeys();
    uiKeyType = m_spFloatData->GetKeyType();
    ucKeyStride = m_spFloatData->GetKeyStride();
    return m_spFloatData->GetKeys();
}

void NiFloatController::CopyMembers(NiFloatController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    if (m_spFloatData)
        pkDest->m_spFloatData = static_cast<NiFloatData*>(m_spFloatData->CreateClone(kCloning));
}

void NiFloatController::FinishClone(NiCloneContext& kCloning)
{
    NiTimeController::FinishClone(kCloning);
    if (m_spFloatData)
        m_spFloatData->FinishClone(kCloning);
}

void NiFloatController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    kStream.ReadLinkID();
}

void NiFloatController::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    m_spFloatData = kStream.GetLinkedObjectAs<NiFloatData>();
}

void NiFloatController::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    m_spFloatData = nullptr;
}

bool NiFloatController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    if (m_spFloatData)
        m_spFloatData->RegisterForSave(kStream);
    return true;
}

void NiFloatController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLinkID(m_spFloatData);
}

bool NiFloatController::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiFloatController*>(pkOther);
    if (!m_spFloatData || !pkController->m_spFloatData)
        return !m_spFloatData && !pkController->m_spFloatData;
    return m_spFloatData->IsEqual(pkController->m_spFloatData);
}

void NiFloatController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatController::TypeInfo()->GetName()));
}
