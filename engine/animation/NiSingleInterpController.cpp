#include "engine/animation/NiSingleInterpController.h"

#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiExtraDataController.h"
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

bool NiSingleInterpController::InterpolatedValue(float& fValue)
{
    return m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, fValue);
}

bool NiSingleInterpController::InterpolatedValue(NiVec3& kValue)
{
    return m_spInterpolator->UpdatePoint3(m_fScaledTime, m_pkTarget, kValue);
}

bool NiSingleInterpController::InterpolatedValue(NiColorRGBA& kValue)
{
    return m_spInterpolator->UpdateColor(m_fScaledTime, m_pkTarget, kValue);
}

bool NiSingleInterpController::InterpolatedValue(std::uint8_t& ucValue)
{
    return m_spInterpolator->UpdateBool(m_fScaledTime, m_pkTarget, ucValue);
}

bool NiSingleInterpController::InterpolatedValue(NiQuatTransform& kValue)
{
    return m_spInterpolator->UpdateTransform(m_fScaledTime, m_pkTarget, kValue);
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

void NiSingleInterpController::ReadOldKeyDataLink(NiObjectStream& kStream)
{
    if (kStream.GetFileVersion() < INTERPOLATOR_LINK_FROM)
        kStream.ReadLinkID();
}

NiObject* NiSingleInterpController::LinkedOldKeyData(NiObjectStream& kStream, const NiTypeInfo* pkDataType)
{
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
        return nullptr;
    NiObject* pkObject = kStream.GetLinkedObject();
    if (pkObject == nullptr)
        return nullptr;
    if (NiDynamicCast(pkDataType, pkObject) == nullptr)
    {
        kStream.SetCorrupt();
        return nullptr;
    }
    return pkObject;
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

// ---- Value kinds ----

namespace
{
template <class TValue>
struct ValueKind;

template <>
struct ValueKind<float>
{
    using Pose = NiFloatInterpolator;
    using Blend = NiBlendFloatInterpolator;
    static float Start() { return 0.0f; }
    static float Stored(float fValue) { return fValue; }
    static bool Supported(const NiInterpolator& kInterpolator) { return kInterpolator.IsFloatValueSupported(); }
};

template <>
struct ValueKind<NiVec3>
{
    using Pose = NiPoint3Interpolator;
    using Blend = NiBlendPoint3Interpolator;
    static NiVec3 Start() { return NiVec3::ZERO; }
    static const NiVec3& Stored(const NiVec3& kValue) { return kValue; }
    static bool Supported(const NiInterpolator& kInterpolator) { return kInterpolator.IsPoint3ValueSupported(); }
};

template <>
struct ValueKind<NiColorRGBA>
{
    using Pose = NiColorInterpolator;
    using Blend = NiBlendColorInterpolator;
    static NiColorRGBA Start() { return NiColorRGBA::BLACK; }
    static const NiColorRGBA& Stored(const NiColorRGBA& kValue) { return kValue; }
    static bool Supported(const NiInterpolator& kInterpolator) { return kInterpolator.IsColorValueSupported(); }
};

template <>
struct ValueKind<bool>
{
    using Pose = NiBoolInterpolator;
    using Blend = NiBlendBoolInterpolator;
    static bool Start() { return false; }
    static std::uint8_t Stored(bool bValue) { return static_cast<std::uint8_t>(bValue ? 1 : 0); }
    static bool Supported(const NiInterpolator& kInterpolator) { return kInterpolator.IsBoolValueSupported(); }
};
} // namespace

template <class TBase, class TValue>
NiInterpolator* NiValueInterpController<TBase, TValue>::CreatePoseInterpolator(std::uint16_t)
{
    TValue kValue = ValueKind<TValue>::Start();
    GetPoseValue(kValue);
    return new typename ValueKind<TValue>::Pose(ValueKind<TValue>::Stored(kValue));
}

template <class TBase, class TValue>
void NiValueInterpController<TBase, TValue>::SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t)
{
    auto* pkPose = NiDynamicCast<typename ValueKind<TValue>::Pose>(pkInterpolator);
    if (pkPose == nullptr)
        return;
    TValue kValue = ValueKind<TValue>::Start();
    GetPoseValue(kValue);
    pkPose->SetPoseValue(ValueKind<TValue>::Stored(kValue));
}

template <class TBase, class TValue>
NiBlendInterpolator* NiValueInterpController<TBase, TValue>::CreateBlendInterpolator(std::uint16_t,
                                                                                    bool bManagerControlled, bool,
                                                                                    float fWeightThreshold,
                                                                                    std::uint8_t ucArraySize) const
{
    return new typename ValueKind<TValue>::Blend(bManagerControlled, fWeightThreshold, ucArraySize);
}

template <class TBase, class TValue>
bool NiValueInterpController<TBase, TValue>::InterpolatorIsCorrectType(NiInterpolator* pkInterpolator,
                                                                      std::uint16_t) const
{
    return pkInterpolator != nullptr && ValueKind<TValue>::Supported(*pkInterpolator);
}

template class NiValueInterpController<NiSingleInterpController, float>;
template class NiValueInterpController<NiSingleInterpController, NiVec3>;
template class NiValueInterpController<NiSingleInterpController, bool>;
template class NiValueInterpController<NiExtraDataController, float>;
template class NiValueInterpController<NiExtraDataController, NiColorRGBA>;
