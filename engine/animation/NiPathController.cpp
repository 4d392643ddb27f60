#include "engine/animation/NiPathController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

NiImplementTypeInfo(NiPathController, NiTimeController)
NiImplementCreateClone(NiPathController)

namespace
{
constexpr std::uint32_t OWN_FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);
} // namespace

NiObject* NiPathController::CreateObject()
{
    return new NiPathController;
}

void NiPathController::CopyMembers(NiPathController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_kCurve.CopyFrom(m_kCurve, kCloning);
}

bool NiPathController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiPathController::Update(float fTime)
{
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget == nullptr || !m_kCurve.HasData() || ShouldSkipUpdate(fTime))
        return;
    NiVec3 kPosition;
    NiMatrix3x3 kRotate = NiMatrix3x3::IDENTITY;
    if (!m_kCurve.Evaluate(m_fScaledTime, kPosition, kRotate))
        return;
    if (m_kCurve.GetBit(NiPathCurve::FOLLOW_MASK))
        pkTarget->SetRotate(kRotate);
    pkTarget->SetTranslate(kPosition);
}

void NiPathController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    const bool bOwnFlags = kStream.GetFileVersion() >= OWN_FLAGS_FROM;
    m_kCurve.Read(kStream, bOwnFlags, static_cast<std::uint16_t>(GetLegacyFlags() >> 5));
}

void NiPathController::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    m_kCurve.ResolveLinks(kStream);
}

void NiPathController::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    m_kCurve.DropCountedLinks();
}

bool NiPathController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    m_kCurve.RegisterForSave(kStream);
    return true;
}

void NiPathController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    m_kCurve.Write(kStream);
}

bool NiPathController::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    return m_kCurve.IsEqual(static_cast<NiPathController*>(pkOther)->m_kCurve);
}

void NiPathController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPathController::TypeInfo()->GetName()));
}
