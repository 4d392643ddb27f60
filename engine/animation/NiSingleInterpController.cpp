#include "engine/animation/NiSingleInterpController.h"

#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiSingleInterpController, NiInterpController)
NiImplementTypeInfo(NiFloatInterpController, NiSingleInterpController)
NiImplementTypeInfo(NiPoint3InterpController, NiSingleInterpController)
NiImplementTypeInfo(NiBoolInterpController, NiSingleInterpController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

void NiSingleInterpController::ResetTimeExtrema()
{
    m_fLoKeyTime = 0.0f;
    m_fHiKeyTime = 0.0f;
    if (m_spInterpolator)
        m_spInterpolator->GetActiveTimeRange(m_fLoKeyTime, m_fHiKeyTime);
}

void NiSingleInterpController::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spInterpolator)
        m_spInterpolator->GuaranteeTimeRange(fStart, fEnd);
}

bool NiSingleInterpController::BeginUpdate(float fTime)
{
    if (GetManagerControlled())
    {
        m_fScaledTime = NI_MIN_FLOAT;
    }
    else if (ShouldSkipUpdate(fTime))
    {
        if (!m_spInterpolator || !m_spInterpolator->AlwaysUpdate())
            return false;
    }
    return m_spInterpolator != nullptr;
}

// ---- Cloning ----

void NiSingleInterpController::CopyMembers(NiSingleInterpController* pkDest, NiCloneContext& kCloning)
{
    NiInterpController::CopyMembers(pkDest, kCloning);
    if (m_spInterpolator)
        pkDest->m_spInterpolator = static_cast<NiInterpolator*>(m_spInterpolator->CreateClone(kCloning));
}

void NiSingleInterpController::FinishClone(NiCloneContext& kCloning)
{
    NiInterpController::FinishClone(kCloning);
    if (m_spInterpolator)
        m_spInterpolator->FinishClone(kCloning);
}

// ---- Records ----

void NiSingleInterpController::ReadFromStream(NiObjectStream& kStream)
{
    NiInterpController::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        return;
    NiObject* pkObject = kStream.ReadObjectRef();
    m_spInterpolator = NiDynamicCast<NiInterpolator>(pkObject);
    if (pkObject != nullptr && !m_spInterpolator)
        kStream.SetCorrupt();
}

void NiSingleInterpController::DropCountedLinks()
{
    NiInterpController::DropCountedLinks();
    m_spInterpolator = nullptr;
}

bool NiSingleInterpController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiInterpController::RegisterForSave(kStream))
        return false;
    if (m_spInterpolator)
        m_spInterpolator->RegisterForSave(kStream);
    return true;
}

void NiSingleInterpController::WriteToStream(NiObjectStream& kStream)
{
    NiInterpController::WriteToStream(kStream);
    kStream.WriteLinkID(m_spInterpolator);
}

bool NiSingleInterpController::IsEqual(NiObject* pkOther)
{
    if (!NiInterpController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiSingleInterpController*>(pkOther);
    if (!m_spInterpolator || !pkController->m_spInterpolator)
        return !m_spInterpolator && !pkController->m_spInterpolator;
    return m_spInterpolator->IsEqual(pkController->m_spInterpolator);
}

void NiSingleInterpController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSingleInterpController::TypeInfo()->GetName()));
    if (m_spInterpolator)
        m_spInterpolator->AppendViewerStrings(kStrings);
}

// ---- Typed bases ----

NiInterpolator* NiFloatInterpController::CreatePoseInterpolator(std::uint16_t)
{
    float fValue = 0.0f;
    GetTargetFloatValue(fValue);
    return new NiFloatInterpolator(fValue);
}

void NiFloatInterpController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkFloat = NiDynamicCast<NiFloatInterpolator>(pkInterpolator);
    if (pkFloat == nullptr)
        return;
    float fValue = 0.0f;
    GetTargetFloatValue(fValue);
    pkFloat->SetPoseValue(fValue);
}

NiBlendInterpolator* NiFloatInterpController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled, bool,
                                                                      float fWeightThreshold,
                                                                      std::uint8_t ucArraySize) const
{
    return new NiBlendFloatInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

NiInterpolator* NiPoint3InterpController::CreatePoseInterpolator(std::uint16_t)
{
    NiVec3 kValue = NiVec3::ZERO;
    GetTargetPoint3Value(kValue);
    return new NiPoint3Interpolator(kValue);
}

void NiPoint3InterpController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkPoint = NiDynamicCast<NiPoint3Interpolator>(pkInterpolator);
    if (pkPoint == nullptr)
        return;
    NiVec3 kValue = NiVec3::ZERO;
    GetTargetPoint3Value(kValue);
    pkPoint->SetPoseValue(kValue);
}

NiBlendInterpolator* NiPoint3InterpController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled, bool,
                                                                       float fWeightThreshold,
                                                                       std::uint8_t ucArraySize) const
{
    return new NiBlendPoint3Interpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}

NiInterpolator* NiBoolInterpController::CreatePoseInterpolator(std::uint16_t)
{
    bool bValue = false;
    GetTargetBoolValue(bValue);
    return new NiBoolInterpolator(static_cast<std::uint8_t>(bValue ? 1 : 0));
}

void NiBoolInterpController::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkBool = NiDynamicCast<NiBoolInterpolator>(pkInterpolator);
    if (pkBool == nullptr)
        return;
    bool bValue = false;
    GetTargetBoolValue(bValue);
    pkBool->SetPoseValue(static_cast<std::uint8_t>(bValue ? 1 : 0));
}

NiBlendInterpolator* NiBoolInterpController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled, bool,
                                                                     float fWeightThreshold,
                                                                     std::uint8_t ucArraySize) const
{
    return new NiBlendBoolInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
}
