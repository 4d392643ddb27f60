#include "engine/animation/NiTimeController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <utility>

NiImplementTypeInfo(NiTimeController, NiObject)

NiTimeController::~NiTimeController()
{
    NiTimeControllerPtr spNext = std::move(m_spNext);
    // Each controller only this one holds goes here, after its own next link
    // was taken from it, so its destructor finds nothing to recurse into.
    while (spNext != nullptr && spNext->GetRefCount() == 1)
    {
        NiTimeControllerPtr spAfter = std::move(spNext->m_spNext);
        spNext = std::move(spAfter);
    }
}

std::uint32_t NiTimeController::CountChain(const NiTimeController* pkFirst)
{
    std::uint32_t uiCount = 0;
    for (const NiTimeController* pk = pkFirst; pk != nullptr; pk = pk->m_spNext)
        ++uiCount;
    return uiCount;
}

NiTimeController* NiTimeController::FirstStreamable(NiTimeController* pkFirst)
{
    NiTimeController* pk = pkFirst;
    while (pk != nullptr && !pk->IsStreamable())
        pk = pk->m_spNext;
    return pk;
}

void NiTimeController::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    kStream.ReadLinkID();
    kStream.ReadLE(m_uFlags);
}

void NiTimeController::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    NiTimeController* pkNext = kStream.GetLinkedObjectAs<NiTimeController>();
    // A chain that leads back here would never end and never be freed. The
    // links set so far form no cycle, so this walk ends; the bound is a
    // second guard.
    std::uint32_t uiSteps = 0;
    for (NiTimeController* pk = pkNext; pk != nullptr; pk = pk->m_spNext)
    {
        if (pk == this || ++uiSteps > kStream.GetFileObjectCount())
        {
            kStream.SetCorrupt();
            return;
        }
    }
    m_spNext = pkNext;
}

bool NiTimeController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (NiTimeController* pkNext = FirstStreamable(m_spNext))
        pkNext->RegisterForSave(kStream);
    return true;
}

void NiTimeController::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLinkID(FirstStreamable(m_spNext));
    kStream.WriteLE(m_uFlags);
}

bool NiTimeController::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return static_cast<NiTimeController*>(pkOther)->m_uFlags == m_uFlags;
}

void NiTimeController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTimeController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_uFlags", m_uFlags));
    kStrings.AddTail(NiViewerPointer("m_spNext", m_spNext.Get()));
}

void NiTimeController::CopyMembers(NiTimeController* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    if (m_spNext != nullptr)
        pkDest->m_spNext = static_cast<NiTimeController*>(m_spNext->CreateClone(kCloning));
}

void NiTimeController::FinishClone(NiCloneContext& kCloning)
{
    NiObject::FinishClone(kCloning);
    if (m_spNext != nullptr)
        m_spNext->FinishClone(kCloning);
}
