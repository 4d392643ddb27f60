#include "engine/animation/NiLookAtInterpolator.h"

#include "engine/animation/NiAnimText.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiAVObjectPalette.h"

#include <algorithm>
#include <cfloat>

NiImplementTypeInfo(NiLookAtInterpolator, NiInterpolator)
NiImplementCreateClone(NiLookAtInterpolator)

namespace
{
// Nearer than this (squared) the direction is meaningless.
constexpr float MIN_DISTANCE_SQUARED = 0.001f;
} // namespace

NiLookAtInterpolator::NiLookAtInterpolator(NiAVObject* pkLookAt, Axis eAxis, bool bFlip)
    : m_usFlags(static_cast<std::uint16_t>((bFlip ? FLIP_MASK : 0) | ((eAxis << AXIS_POS) & AXIS_MASK))),
      m_pkLookAt(pkLookAt)
{
}

NiObject* NiLookAtInterpolator::CreateObject()
{
    return new NiLookAtInterpolator;
}

void NiLookAtInterpolator::SetLookAtName(const char* pcName)
{
    m_spLookAtName = NiCopyText(pcName);
}

NiMatrix3x3 NiLookAtInterpolator::ComputeLookAt(const NiVec3& kPosition, const NiAVObject* pkParent,
                                                const NiVec3& kLookAt, std::uint16_t usAxis, bool bFlip)
{
    NiMatrix3x3 kParentRotate = NiMatrix3x3::IDENTITY;
    NiVec3 kWorld = kPosition;
    if (pkParent != nullptr)
    {
        const NiXform& kParent = pkParent->GetWorldTransform();
        kParentRotate = kParent.m_kRotate;
        kWorld = kParent.m_kRotate * kPosition * kParent.m_fScale + kParent.m_kTranslate;
    }
    NiVec3 kDir = kLookAt - kWorld;
    if (kDir.SqrLength() < MIN_DISTANCE_SQUARED)
        return NiMatrix3x3::IDENTITY;
    kDir.Normalize();
    // Looking straight up or down, world Z cannot serve as up.
    const bool bVertical = (kDir.z > 0.999f && kDir.z < 1.001f) || (kDir.z > -1.001f && kDir.z < -0.999f);
    NiVec3 kUp = bVertical ? NiVec3(0, 1, 0) : NiVec3(0, 0, 1);
    kUp = kUp - kDir * kUp.Dot(kDir);
    kUp.Normalize();
    if (!bFlip)
        kDir = NiVec3(-kDir.x, -kDir.y, -kDir.z);
    const NiVec3 kRight = kUp.Cross(kDir);
    NiMatrix3x3 kMatrix;
    switch (usAxis)
    {
    case Y:
        kMatrix.SetColumns(kRight, kDir, NiVec3(-kUp.x, -kUp.y, -kUp.z));
        break;
    case Z:
        kMatrix.SetColumns(kRight, kUp, kDir);
        break;
    default:
        // Axis 3 has no meaning of its own: it looks along X.
        kMatrix.SetColumns(kDir, kUp, NiVec3(-kRight.x, -kRight.y, -kRight.z));
        break;
    }
    return kParentRotate.TransposeMultiply(kMatrix);
}

bool NiLookAtInterpolator::UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    if (m_pkLookAt == nullptr)
    {
        kValue.MakeInvalid();
        m_kTransformValue.MakeInvalid();
        return false;
    }
    auto* pkObject = NiDynamicCast<NiAVObject>(pkTarget);
    NiVec3 kPosition = pkObject ? pkObject->GetTranslate() : NiVec3::ZERO;
    if (m_aspSub[TRANSLATE])
    {
        if (!m_aspSub[TRANSLATE]->UpdatePoint3(fTime, pkTarget, kPosition))
        {
            m_kTransformValue.MakeInvalid();
            kValue.MakeInvalid();
            return false;
        }
        m_kTransformValue.m_kTranslate = kPosition;
    }

    const NiVec3 kLookAt = m_pkLookAt->GetWorldTransform().m_kTranslate;
    const NiAVObject* pkParent = pkObject ? pkObject->GetParent() : nullptr;
    NiMatrix3x3 kMatrix = ComputeLookAt(kPosition, pkParent, kLookAt, GetAxis(), GetFlip());
    if (m_aspSub[ROLL] && kMatrix != NiMatrix3x3::IDENTITY)
    {
        float fRoll = 0.0f;
        if (!m_aspSub[ROLL]->UpdateFloat(fTime, pkTarget, fRoll))
        {
            m_kTransformValue.MakeInvalid();
            kValue.MakeInvalid();
            return false;
        }
        NiMatrix3x3 kRoll;
        kRoll.MakeZRotation(-fRoll);
        kMatrix = kMatrix * kRoll;
    }
    m_kTransformValue.m_kRotate.FromRotation(kMatrix);

    if (m_aspSub[SCALE])
    {
        float fScale = 0.0f;
        if (!m_aspSub[SCALE]->UpdateFloat(fTime, pkTarget, fScale))
        {
            m_kTransformValue.MakeInvalid();
            kValue.MakeInvalid();
            return false;
        }
        m_kTransformValue.m_fScale = fScale;
    }
    if (m_kTransformValue.IsTransformInvalid())
    {
        kValue.MakeInvalid();
        return false;
    }
    kValue = m_kTransformValue;
    m_fLastTime = fTime;
    return true;
}

void NiLookAtInterpolator::Collapse()
{
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp)
            sp->Collapse();
    }
}

void NiLookAtInterpolator::GetActiveTimeRange(float& fBegin, float& fEnd) const
{
    fBegin = FLT_MAX;
    fEnd = -FLT_MAX;
    bool bAny = false;
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (!sp)
            continue;
        float fSubBegin = 0.0f;
        float fSubEnd = 0.0f;
        sp->GetActiveTimeRange(fSubBegin, fSubEnd);
        fBegin = std::min(fBegin, fSubBegin);
        fEnd = std::max(fEnd, fSubEnd);
        bAny = true;
    }
    if (!bAny)
    {
        fBegin = 0.0f;
        fEnd = 0.0f;
    }
}

void NiLookAtInterpolator::GuaranteeTimeRange(float fBegin, float fEnd)
{
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp)
            sp->GuaranteeTimeRange(fBegin, fEnd);
    }
}

NiInterpolator* NiLookAtInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    // A copy that finds its object again, by name, in the scene it is
    // bound to, with its flags and pose.
    auto* pkCopy = static_cast<NiLookAtInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkCopy == nullptr)
        return nullptr;
    if (!pkCopy->m_spLookAtName && m_spLookAtName)
        pkCopy->SetLookAtName(m_spLookAtName.get());
    for (std::uint32_t i = 0; i < SUB_COUNT; ++i)
        pkCopy->m_aspSub[i] = m_aspSub[i] ? m_aspSub[i]->GetSequenceInterpolator(fBegin, fEnd) : nullptr;
    return pkCopy;
}

bool NiLookAtInterpolator::ResolveDependencies(void* pvPalette)
{
    if (m_pkLookAt != nullptr)
        return true;
    auto* pkPalette = static_cast<NiAVObjectPalette*>(pvPalette);
    if (pkPalette == nullptr || !m_spLookAtName)
        return false;
    m_pkLookAt = pkPalette->GetAVObject(m_spLookAtName.get());
    return m_pkLookAt != nullptr;
}

bool NiLookAtInterpolator::SetUpDependencies()
{
    if (m_pkLookAt != nullptr && m_pkLookAt->GetName() != nullptr)
    {
        SetLookAtName(m_pkLookAt->GetName());
        m_pkLookAt = nullptr;
        return true;
    }
    m_spLookAtName.reset();
    return false;
}

// ---- Cloning ----

void NiLookAtInterpolator::CopyMembers(NiLookAtInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_usFlags = static_cast<std::uint16_t>(m_usFlags & (FLIP_MASK | AXIS_MASK));
    pkDest->m_pkLookAt = m_pkLookAt;
    pkDest->m_kTransformValue = m_kTransformValue;
    for (std::uint32_t i = 0; i < SUB_COUNT; ++i)
    {
        if (m_aspSub[i])
            pkDest->m_aspSub[i] = static_cast<NiInterpolator*>(m_aspSub[i]->CreateClone(kCloning));
    }
}

void NiLookAtInterpolator::FinishClone(NiCloneContext& kCloning)
{
    NiInterpolator::FinishClone(kCloning);
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp)
            sp->FinishClone(kCloning);
    }
    NiObject* pkCopy = nullptr;
    NiObject* pkLookAtCopy = nullptr;
    if (m_pkLookAt != nullptr && kCloning.m_kCloneMap.GetAt(this, pkCopy) && pkCopy != nullptr &&
        kCloning.m_kCloneMap.GetAt(m_pkLookAt, pkLookAtCopy))
        static_cast<NiLookAtInterpolator*>(pkCopy)->m_pkLookAt = NiDynamicCast<NiAVObject>(pkLookAtCopy);
}

// ---- Records ----

void NiLookAtInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiInterpolator::ReadFromStream(kStream);
    kStream.ReadLE(m_usFlags);
    kStream.ReadLinkID();
    m_spLookAtName.reset(kStream.ReadString());
    NiByteStream* pkIn = kStream.GetInStream();
    if (pkIn == nullptr || !m_kTransformValue.LoadBinary(*pkIn, kStream.GetFileVersion()))
        kStream.SetCorrupt();
    for (std::uint32_t i = 0; i < SUB_COUNT; ++i)
        kStream.ReadLinkID();
}

void NiLookAtInterpolator::ResolveLinks(NiObjectStream& kStream)
{
    NiInterpolator::ResolveLinks(kStream);
    m_pkLookAt = kStream.GetLinkedObjectAs<NiAVObject>();
    for (NiInterpolatorPtr& sp : m_aspSub)
        sp = kStream.GetLinkedObjectAs<NiInterpolator>();
}

void NiLookAtInterpolator::PostLink(NiObjectStream& kStream)
{
    NiInterpolator::PostLink(kStream);
    // A counted cycle would never be freed, and evaluating it would not end.
    std::uint32_t uiSteps = kStream.GetFileObjectCount() + 1;
    if (SubsReach(this, uiSteps))
        kStream.SetCorrupt();
}

bool NiLookAtInterpolator::SubsReach(const NiLookAtInterpolator* pkTarget, std::uint32_t& uiSteps) const
{
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp == nullptr)
            continue;
        if (sp.Get() == pkTarget || uiSteps == 0)
            return true;
        if (const auto* pkSub = NiDynamicCast<NiLookAtInterpolator>(sp.Get()))
        {
            --uiSteps;
            if (pkSub->SubsReach(pkTarget, uiSteps))
                return true;
        }
    }
    return false;
}

void NiLookAtInterpolator::DropCountedLinks()
{
    NiInterpolator::DropCountedLinks();
    for (NiInterpolatorPtr& sp : m_aspSub)
        sp = nullptr;
}

bool NiLookAtInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiInterpolator::RegisterForSave(kStream))
        return false;
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp)
            sp->RegisterForSave(kStream);
    }
    return true;
}

void NiLookAtInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_usFlags);
    kStream.WriteLinkID(m_pkLookAt);
    kStream.WriteString(m_spLookAtName.get());
    if (NiByteStream* pkOut = kStream.GetOutStream())
        m_kTransformValue.SaveBinary(*pkOut);
    for (const NiInterpolatorPtr& sp : m_aspSub)
        kStream.WriteLinkID(sp);
}

bool NiLookAtInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiInterpolator::IsEqual(pkOther))
        return false;
    auto* pkLookAt = static_cast<NiLookAtInterpolator*>(pkOther);
    // The looked-at objects by class and name: their own equality would
    // walk their controllers, which may lead back here.
    if (m_usFlags != pkLookAt->m_usFlags || !NiSameClassAndName(m_pkLookAt, pkLookAt->m_pkLookAt) ||
        m_kTransformValue != pkLookAt->m_kTransformValue)
        return false;
    for (std::uint32_t i = 0; i < SUB_COUNT; ++i)
    {
        NiInterpolator* pkMine = m_aspSub[i];
        NiInterpolator* pkTheirs = pkLookAt->m_aspSub[i];
        if ((pkMine == nullptr) != (pkTheirs == nullptr) || (pkMine != nullptr && !pkMine->IsEqual(pkTheirs)))
            return false;
    }
    return true;
}

void NiLookAtInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLookAtInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerPointer("m_pkLookAt", m_pkLookAt));
    m_kTransformValue.AppendViewerStrings(kStrings);
    for (const NiInterpolatorPtr& sp : m_aspSub)
    {
        if (sp)
            sp->AppendViewerStrings(kStrings);
    }
}
