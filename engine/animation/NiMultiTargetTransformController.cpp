#include "engine/animation/NiMultiTargetTransformController.h"

#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

#include <cstring>

NiImplementTypeInfo(NiMultiTargetTransformController, NiInterpController)

NiMultiTargetTransformController::NiMultiTargetTransformController(std::uint16_t usNumInterps)
{
    Allocate(usNumInterps);
}

NiObject* NiMultiTargetTransformController::CreateObject()
{
    return new NiMultiTargetTransformController;
}

NiObject* NiMultiTargetTransformController::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiMultiTargetTransformController;
    CopyMembers(pkClone, kCloning);
    return pkClone;
}

void NiMultiTargetTransformController::Allocate(std::uint16_t usCount)
{
    m_usNumInterps = usCount;
    m_pkBlendInterps = usCount ? std::make_unique<NiBlendTransformInterpolatorPtr[]>(usCount) : nullptr;
    m_ppkTargets = usCount ? std::make_unique<NiAVObject*[]>(usCount) : nullptr;
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        m_pkBlendInterps[i] = new NiBlendTransformInterpolator;
        m_ppkTargets[i] = nullptr;
    }
}

std::uint16_t NiMultiTargetTransformController::AddTarget(NiAVObject* pkTarget)
{
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        if (m_ppkTargets[i] == nullptr)
        {
            m_ppkTargets[i] = pkTarget;
            return i;
        }
    }
    return INVALID_INDEX;
}

bool NiMultiTargetTransformController::GrowTargets(std::uint16_t usMore)
{
    // INVALID_INDEX stays out of the index range.
    if (std::uint32_t(m_usNumInterps) + usMore >= INVALID_INDEX)
        return false;
    std::uint16_t usNew = static_cast<std::uint16_t>(m_usNumInterps + usMore);
    auto pkBlends = std::make_unique<NiBlendTransformInterpolatorPtr[]>(usNew);
    auto ppkTargets = std::make_unique<NiAVObject*[]>(usNew);
    for (std::uint16_t i = 0; i < usNew; ++i)
    {
        if (i < m_usNumInterps)
        {
            pkBlends[i] = std::move(m_pkBlendInterps[i]);
            ppkTargets[i] = m_ppkTargets[i];
        }
        else
        {
            pkBlends[i] = new NiBlendTransformInterpolator;
            ppkTargets[i] = nullptr;
        }
    }
    m_pkBlendInterps = std::move(pkBlends);
    m_ppkTargets = std::move(ppkTargets);
    m_usNumInterps = usNew;
    return true;
}

std::uint16_t NiMultiTargetTransformController::FindTarget(const NiAVObject* pkTarget) const
{
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        if (m_ppkTargets[i] == pkTarget && pkTarget != nullptr)
            return i;
    }
    return INVALID_INDEX;
}

bool NiMultiTargetTransformController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

const char* NiMultiTargetTransformController::GetInterpolatorID(std::uint16_t usIndex) const
{
    NiAVObject* pkTarget = GetTargetAt(usIndex);
    return pkTarget != nullptr ? pkTarget->GetName() : nullptr;
}

std::uint16_t NiMultiTargetTransformController::GetInterpolatorIndex(const char* pcID) const
{
    if (pcID == nullptr)
        return INVALID_INDEX;
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        const char* pcName = m_ppkTargets[i] != nullptr ? m_ppkTargets[i]->GetName() : nullptr;
        if (pcName != nullptr && std::strcmp(pcName, pcID) == 0)
            return i;
    }
    return INVALID_INDEX;
}

void NiMultiTargetTransformController::Update(float fTime)
{
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        NiAVObject* pkTarget = m_ppkTargets[i];
        if (pkTarget == nullptr || (pkTarget->GetFlags() & NiAVObject::SELECTIVE_UPDATE) == 0)
            continue;
        NiBlendTransformInterpolator* pkBlend = m_pkBlendInterps[i];
        if (pkBlend->KeepTimeWhenNothingToAsk(fTime))
            continue;
        NiQuatTransform kValue;
        if (pkBlend->UpdateTransform(fTime, pkTarget, kValue))
            NiTransformController::ApplyTransform(pkTarget, kValue);
    }
}

void NiMultiTargetTransformController::ResetTimeExtrema()
{
    m_fLoKeyTime = -NI_MIN_FLOAT;
    m_fHiKeyTime = NI_MIN_FLOAT;
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        float fBegin = 0.0f, fEnd = 0.0f;
        m_pkBlendInterps[i]->GetActiveTimeRange(fBegin, fEnd);
        if (fBegin < m_fLoKeyTime)
            m_fLoKeyTime = fBegin;
        if (fEnd > m_fHiKeyTime)
            m_fHiKeyTime = fEnd;
    }
    if (m_fLoKeyTime == -NI_MIN_FLOAT && m_fHiKeyTime == NI_MIN_FLOAT)
    {
        m_fLoKeyTime = 0.0f;
        m_fHiKeyTime = 0.0f;
    }
}

NiInterpolator* NiMultiTargetTransformController::CreatePoseInterpolator(std::uint16_t usIndex)
{
    NiAVObject* pkTarget = GetTargetAt(usIndex);
    if (pkTarget == nullptr)
        return new NiTransformInterpolator;
    return new NiTransformInterpolator(NiTransformController::GetPose(pkTarget));
}

void NiMultiTargetTransformController::GuaranteeTimeRange(float fStart, float fEnd)
{
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
        m_pkBlendInterps[i]->GuaranteeTimeRange(fStart, fEnd);
}

// ---- Cloning ----

void NiMultiTargetTransformController::CopyMembers(NiMultiTargetTransformController* pkDest,
                                                   NiCloneContext& kCloning)
{
    NiInterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_usNumInterps = m_usNumInterps;
    pkDest->m_pkBlendInterps =
        m_usNumInterps ? std::make_unique<NiBlendTransformInterpolatorPtr[]>(m_usNumInterps) : nullptr;
    pkDest->m_ppkTargets = m_usNumInterps ? std::make_unique<NiAVObject*[]>(m_usNumInterps) : nullptr;
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        pkDest->m_pkBlendInterps[i] =
            static_cast<NiBlendTransformInterpolator*>(m_pkBlendInterps[i]->CreateClone(kCloning));
        pkDest->m_ppkTargets[i] = nullptr;
    }
}

void NiMultiTargetTransformController::FinishClone(NiCloneContext& kCloning)
{
    NiInterpController::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    if (!kCloning.m_kCloneMap.GetAt(this, pkCopy) || pkCopy == nullptr)
        return;
    auto* pkClone = static_cast<NiMultiTargetTransformController*>(pkCopy);
    for (std::uint16_t i = 0; i < m_usNumInterps && i < pkClone->m_usNumInterps; ++i)
    {
        m_pkBlendInterps[i]->FinishClone(kCloning);
        NiObject* pkTargetCopy = nullptr;
        if (m_ppkTargets[i] != nullptr && kCloning.m_kCloneMap.GetAt(m_ppkTargets[i], pkTargetCopy))
            pkClone->m_ppkTargets[i] = NiDynamicCast<NiAVObject>(pkTargetCopy);
    }
}

// ---- Records ----

void NiMultiTargetTransformController::ReadFromStream(NiObjectStream& kStream)
{
    NiInterpController::ReadFromStream(kStream);
    std::uint16_t usCount = 0;
    if (!kStream.ReadLE(usCount))
        return;
    // One link per target must still be in the file.
    if (usCount == INVALID_INDEX || usCount > kStream.GetBytesLeft() / 4)
    {
        kStream.SetCorrupt();
        return;
    }
    Allocate(usCount);
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        NiObject* pkObject = kStream.ReadObjectRef();
        m_ppkTargets[i] = NiDynamicCast<NiAVObject>(pkObject);
        if (pkObject != nullptr && m_ppkTargets[i] == nullptr)
        {
            kStream.SetCorrupt();
            return;
        }
    }
}

void NiMultiTargetTransformController::WriteToStream(NiObjectStream& kStream)
{
    NiInterpController::WriteToStream(kStream);
    kStream.WriteLE(m_usNumInterps);
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
        kStream.WriteLinkID(m_ppkTargets[i]);
}

bool NiMultiTargetTransformController::IsEqual(NiObject* pkOther)
{
    if (!NiInterpController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiMultiTargetTransformController*>(pkOther);
    if (pkController->m_usNumInterps != m_usNumInterps)
        return false;
    // Targets by class and name: a target's own equality compares its
    // controllers, and the model root a sequence moves holds this
    // controller's manager, which would lead back here without end.
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
    {
        NiAVObject* pkMine = m_ppkTargets[i];
        NiAVObject* pkTheirs = pkController->m_ppkTargets[i];
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine == nullptr)
            continue;
        const char* pcMine = pkMine->GetName();
        const char* pcTheirs = pkTheirs->GetName();
        if (pkMine->GetTypeInfo() != pkTheirs->GetTypeInfo() || (pcMine == nullptr) != (pcTheirs == nullptr) ||
            (pcMine != nullptr && std::strcmp(pcMine, pcTheirs) != 0))
            return false;
    }
    return true;
}

void NiMultiTargetTransformController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiMultiTargetTransformController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_usNumInterps", m_usNumInterps));
    for (std::uint16_t i = 0; i < m_usNumInterps; ++i)
        kStrings.AddTail(NiViewerFormat("Target%d = %p", int(i), static_cast<const void*>(m_ppkTargets[i])));
}
