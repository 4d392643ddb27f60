#include "engine/animation/NiLookAtController.h"

#include "engine/animation/NiAnimText.h"
#include "engine/animation/NiLookAtInterpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiLookAtController, NiTimeController)
NiImplementCreateClone(NiLookAtController)

namespace
{
constexpr std::uint32_t OWN_FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);
} // namespace

NiObject* NiLookAtController::CreateObject()
{
    return new NiLookAtController;
}

void NiLookAtController::CopyMembers(NiLookAtController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_usLookAtFlags = m_usLookAtFlags;
    pkDest->m_pkLookAt = m_pkLookAt;
}

void NiLookAtController::FinishClone(NiCloneContext& kCloning)
{
    NiTimeController::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    NiObject* pkLookAtCopy = nullptr;
    if (m_pkLookAt != nullptr && kCloning.m_kCloneMap.GetAt(this, pkCopy) && pkCopy != nullptr &&
        kCloning.m_kCloneMap.GetAt(m_pkLookAt, pkLookAtCopy))
        static_cast<NiLookAtController*>(pkCopy)->m_pkLookAt = NiDynamicCast<NiAVObject>(pkLookAtCopy);
}

bool NiLookAtController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiLookAtController::Update(float)
{
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (m_pkLookAt == nullptr || pkTarget == nullptr || !GetActive())
        return;
    const auto usAxis = static_cast<std::uint16_t>((m_usLookAtFlags & NiLookAtInterpolator::AXIS_MASK) >>
                                                   NiLookAtInterpolator::AXIS_POS);
    pkTarget->SetRotate(NiLookAtInterpolator::ComputeLookAt(pkTarget->GetTranslate(), pkTarget->GetParent(),
                                                            m_pkLookAt->GetWorldTransform().m_kTranslate, usAxis,
                                                            (m_usLookAtFlags & NiLookAtInterpolator::FLIP_MASK) != 0));
}

void NiLookAtController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() >= OWN_FLAGS_FROM)
        kStream.ReadLE(m_usLookAtFlags);
    else
        m_usLookAtFlags = static_cast<std::uint16_t>(GetLegacyFlags() >> 5);
    kStream.ReadLinkID();
}

void NiLookAtController::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    m_pkLookAt = kStream.GetLinkedObjectAs<NiAVObject>();
}

bool NiLookAtController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    if (m_pkLookAt != nullptr)
        m_pkLookAt->RegisterForSave(kStream);
    return true;
}

void NiLookAtController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLE(m_usLookAtFlags);
    kStream.WriteLinkID(m_pkLookAt);
}

bool NiLookAtController::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiLookAtController*>(pkOther);
    if (m_usLookAtFlags != pkController->m_usLookAtFlags)
        return false;
    return NiSameClassAndName(m_pkLookAt, pkController->m_pkLookAt);
}

void NiLookAtController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLookAtController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerPointer("m_pkLookAt", m_pkLookAt));
}
