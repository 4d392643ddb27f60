#include "engine/animation/NiBlendAccumTransformInterpolator.h"

#include "engine/animation/NiTransformMean.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendAccumTransformInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendAccumTransformInterpolator)

namespace
{
const NiQuatTransform IDENTITY_TRANSFORM(NiVec3::ZERO, NiQuat::IDENTITY, 1.0f);

// Rotation matrix of (accumulated rotation) x conjugate(item rotation), an
// invalid part counting as the identity.
NiMatrix3x3 FrameRotation(const NiQuatTransform& kAccum, const NiQuatTransform& kItem)
{
    NiQuat a = kAccum.IsRotateValid() ? kAccum.m_kRotate : NiQuat::IDENTITY;
    NiQuat b = kItem.IsRotateValid() ? kItem.m_kRotate.Conjugate() : NiQuat::IDENTITY;
    NiMatrix3x3 kMatrix = NiMatrix3x3::IDENTITY;
    (a * b).ToRotation(kMatrix);
    return kMatrix;
}

// The motion from A to B, part by part, its translation turned into the
// accumulated frame.
NiQuatTransform Motion(const NiQuatTransform& kFrom, const NiQuatTransform& kTo, const NiMatrix3x3& kFrame)
{
    NiQuatTransform kDelta = NiQuatTransform::ComposeParts(kFrom.InvertParts(), kTo);
    if (kDelta.IsTranslateValid())
        kDelta.m_kTranslate = kFrame * kDelta.m_kTranslate;
    return kDelta;
}
} // namespace

void NiBlendAccumTransformInterpolator::AccumArrayItem::ClearValues()
{
    m_fLastTime = NI_MIN_FLOAT;
    m_kLastValue.MakeInvalid();
    m_kDeltaValue.MakeInvalid();
    m_kRefFrame = NiMatrix3x3::IDENTITY;
}

NiBlendAccumTransformInterpolator::NiBlendAccumTransformInterpolator(bool bManagerControlled, float fWeightThreshold,
                                                                     std::uint8_t ucArraySize)
    : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
{
    if (ucArraySize > 0)
        m_pkAccumArray = std::make_unique<AccumArrayItem[]>(ucArraySize);
}

NiObject* NiBlendAccumTransformInterpolator::CreateObject()
{
    return new NiBlendAccumTransformInterpolator;
}

// ---- Items ----

std::uint8_t NiBlendAccumTransformInterpolator::AddInterpInfo(NiInterpolator* pkInterpolator, float fWeight,
                                                            std::int8_t cPriority, float fEaseSpinner)
{
    std::uint8_t ucFormerSingle = m_ucSingleIdx;
    std::uint8_t ucIndex = NiBlendInterpolator::AddInterpInfo(pkInterpolator, fWeight, cPriority, fEaseSpinner);
    if (ucIndex == INVALID_INDEX)
        return ucIndex;
    m_pkAccumArray[ucIndex].ClearValues();
    if (m_ucInterpCount == 1)
    {
        m_bReset = true;
    }
    else if (m_ucInterpCount == 2 && ucFormerSingle < m_ucArraySize)
    {
        // Leaving the one-item mode: its current pose joins the accumulation.
        AccumArrayItem& kFormer = m_pkAccumArray[ucFormerSingle];
        if (!m_kAccumulatedTransform.IsTransformInvalid() && !kFormer.m_kLastValue.IsTransformInvalid())
            m_kAccumulatedTransform = NiQuatTransform::Compose(m_kAccumulatedTransform, kFormer.m_kLastValue);
        kFormer.ClearValues();
    }
    return ucIndex;
}

NiInterpolatorPtr NiBlendAccumTransformInterpolator::RemoveInterpInfo(std::uint8_t ucIndex)
{
    if (ucIndex >= m_ucArraySize)
        return nullptr;
    if (m_ucInterpCount == 1 && m_pkInterpArray[ucIndex].m_spInterpolator)
    {
        const NiQuatTransform& kLast = m_pkAccumArray[ucIndex].m_kLastValue;
        if (!m_kAccumulatedTransform.IsTransformInvalid() && !kLast.IsTransformInvalid())
            m_kAccumulatedTransform = NiQuatTransform::Compose(m_kAccumulatedTransform, kLast);
    }
    NiInterpolatorPtr spRemoved = NiBlendInterpolator::RemoveInterpInfo(ucIndex);
    if (spRemoved && m_ucInterpCount == 1 && m_ucSingleIdx < m_ucArraySize)
    {
        m_bReset = true;
        m_pkAccumArray[m_ucSingleIdx].ClearValues();
    }
    return spRemoved;
}

bool NiBlendAccumTransformInterpolator::ReallocateArrays()
{
    std::uint8_t ucOldSize = m_ucArraySize;
    if (!NiBlendInterpolator::ReallocateArrays())
        return false;
    auto pkNew = std::make_unique<AccumArrayItem[]>(m_ucArraySize);
    for (std::uint8_t i = 0; i < ucOldSize && m_pkAccumArray; ++i)
        pkNew[i] = m_pkAccumArray[i];
    m_pkAccumArray = std::move(pkNew);
    return true;
}

// ---- Update ----

NiQuatTransform NiBlendAccumTransformInterpolator::Ask(NiInterpolator* pkInterpolator, float fTime,
                                                       NiObjectNET* pkTarget)
{
    NiQuatTransform kValue;
    if (pkInterpolator == nullptr || !pkInterpolator->UpdateTransform(fTime, pkTarget, kValue))
        return NiQuatTransform();
    return kValue;
}

bool NiBlendAccumTransformInterpolator::UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    bool bResult = false;
    if (m_ucInterpCount == 1)
    {
        bResult = UpdateSingle(fTime, pkTarget, kValue);
    }
    else if (m_ucInterpCount > 1)
    {
        ComputeNormalizedWeights();
        for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        {
            const NiBlendInterpItem& kItem = m_pkInterpArray[i];
            if (!kItem.m_spInterpolator || kItem.m_fNormalizedWeight == 0.0f)
                continue;
            float fItemTime = GetItemTime(fTime, kItem);
            if (fItemTime != NI_MIN_FLOAT)
                AccumulateItem(i, fItemTime, pkTarget);
        }
        bResult = Blend(kValue);
    }
    m_fLastTime = fTime;
    return bResult;
}

void NiBlendAccumTransformInterpolator::AccumulateItem(std::uint8_t ucIndex, float fTime, NiObjectNET* pkTarget)
{
    AccumArrayItem& R = m_pkAccumArray[ucIndex];
    NiInterpolator* pkItem = m_pkInterpArray[ucIndex].m_spInterpolator;
    if (pkItem == nullptr || fTime == R.m_fLastTime)
    {
        R.m_kDeltaValue = IDENTITY_TRANSFORM;
        R.m_fLastTime = fTime;
        return;
    }
    if (m_bReset || R.m_kLastValue.IsTransformInvalid())
    {
        m_bReset = false;
        R.m_kLastValue = Ask(pkItem, fTime, pkTarget);
        R.m_kRefFrame = FrameRotation(m_kAccumulatedTransform, R.m_kLastValue);
    }
    NiQuatTransform kCurrent = Ask(pkItem, fTime, pkTarget);
    if (fTime >= R.m_fLastTime)
    {
        R.m_kDeltaValue = Motion(R.m_kLastValue, kCurrent, R.m_kRefFrame);
    }
    else
    {
        // The item looped: its motion to the end of the cycle, then from
        // the start of the new one.
        float fBegin = 0.0f, fEnd = 0.0f;
        pkItem->GetActiveTimeRange(fBegin, fEnd);
        NiQuatTransform kEnd = Ask(pkItem, fEnd, pkTarget);
        NiQuatTransform kBegin = Ask(pkItem, fBegin, pkTarget);
        NiQuatTransform kToEnd = Motion(R.m_kLastValue, kEnd, R.m_kRefFrame);
        R.m_kRefFrame = FrameRotation(m_kAccumulatedTransform, kBegin);
        NiQuatTransform kFromStart = Motion(kBegin, kCurrent, R.m_kRefFrame);
        R.m_kDeltaValue = NiQuatTransform::ComposeParts(kToEnd, kFromStart);
    }
    R.m_kLastValue = kCurrent;
    R.m_fLastTime = fTime;
}

bool NiBlendAccumTransformInterpolator::Blend(NiQuatTransform& kValue)
{
    bool bValues = m_kAccumulatedTransform.IsTransformInvalid();
    if (bValues)
        m_kAccumulatedTransform = IDENTITY_TRANSFORM;
    if (m_ucArraySize == 0)
        return false;

    NiTransformMean kMean;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& kItem = m_pkInterpArray[i];
        float w = kItem.m_fNormalizedWeight;
        if (!kItem.m_spInterpolator || !(w > 0.0f))
            continue;
        const NiQuatTransform& kPart = bValues ? m_pkAccumArray[i].m_kLastValue : m_pkAccumArray[i].m_kDeltaValue;
        kMean.Add(w, kPart);
    }
    if (!kMean.Any())
        return false;
    NiQuatTransform kBlended;
    kMean.WriteTo(kBlended);

    m_kAccumulatedTransform = NiQuatTransform::ComposeParts(m_kAccumulatedTransform, kBlended);
    if (m_kAccumulatedTransform.IsTransformInvalid())
        return false;
    kValue = m_kAccumulatedTransform;
    return true;
}

bool NiBlendAccumTransformInterpolator::UpdateSingle(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    float t = GetSingleUpdateTime(fTime);
    if (t == NI_MIN_FLOAT || m_ucSingleIdx >= m_ucArraySize || m_pkSingleInterpolator == nullptr)
        return false;
    AccumArrayItem& R = m_pkAccumArray[m_ucSingleIdx];
    NiInterpolator* pkItem = m_pkSingleInterpolator;
    if (t != R.m_fLastTime)
    {
        if (t < R.m_fLastTime)
        {
            if (R.m_kDeltaValue.IsTransformInvalid())
            {
                float fBegin = 0.0f, fEnd = 0.0f;
                pkItem->GetActiveTimeRange(fBegin, fEnd);
                R.m_kDeltaValue =
                    NiQuatTransform::Compose(Ask(pkItem, fEnd, pkTarget), Ask(pkItem, fBegin, pkTarget).Invert());
            }
            if (!m_kAccumulatedTransform.IsTransformInvalid())
                m_kAccumulatedTransform = NiQuatTransform::Compose(m_kAccumulatedTransform, R.m_kDeltaValue);
        }
        R.m_kLastValue = Ask(pkItem, t, pkTarget);
        R.m_fLastTime = t;
    }
    if (m_bReset || m_kAccumulatedTransform.IsTransformInvalid())
    {
        // The accumulation cancels the item's current pose, so the root
        // continues from where it stands.
        NiQuatTransform kInverse = R.m_kLastValue.Invert();
        m_kAccumulatedTransform = m_kAccumulatedTransform.IsTransformInvalid()
                                      ? kInverse
                                      : NiQuatTransform::Compose(m_kAccumulatedTransform, kInverse);
        m_bReset = false;
    }
    if (m_kAccumulatedTransform.IsTransformInvalid())
        return false;
    kValue = NiQuatTransform::Compose(m_kAccumulatedTransform, R.m_kLastValue);
    return true;
}

bool NiBlendAccumTransformInterpolator::GetAccumulatedTransform(NiQuatTransform& kValue) const
{
    if (m_kAccumulatedTransform.IsTransformInvalid())
        return false;
    if (m_ucInterpCount == 1 && m_ucSingleIdx < m_ucArraySize)
        kValue = NiQuatTransform::Compose(m_kAccumulatedTransform, m_pkAccumArray[m_ucSingleIdx].m_kLastValue);
    else
        kValue = m_kAccumulatedTransform;
    return true;
}

// ---- Cloning and records ----

void NiBlendAccumTransformInterpolator::CopyMembers(NiBlendAccumTransformInterpolator* pkDest,
                                                    NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kAccumulatedTransform = m_kAccumulatedTransform;
    pkDest->m_pkAccumArray = m_ucArraySize ? std::make_unique<AccumArrayItem[]>(m_ucArraySize) : nullptr;
    for (std::uint8_t i = 0; i < m_ucArraySize && m_pkAccumArray; ++i)
        pkDest->m_pkAccumArray[i] = m_pkAccumArray[i];
}

void NiBlendAccumTransformInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    m_pkAccumArray = m_ucArraySize ? std::make_unique<AccumArrayItem[]>(m_ucArraySize) : nullptr;
    NiByteStream* pkIn = kStream.GetInStream();
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    for (std::uint8_t i = 0; i < m_ucArraySize && !kStream.IsCorrupt(); ++i)
    {
        AccumArrayItem& R = m_pkAccumArray[i];
        float af[9];
        if (pkIn == nullptr || !R.m_kLastValue.LoadBinary(*pkIn, uiVersion) ||
            !R.m_kDeltaValue.LoadBinary(*pkIn, uiVersion) || !kStream.ReadLE(af, 9))
        {
            kStream.SetCorrupt();
            return;
        }
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                R.m_kRefFrame.SetEntry(r, c, af[r * 3 + c]);
        }
        R.m_fLastTime = NI_MIN_FLOAT;
    }
    if (pkIn == nullptr || !m_kAccumulatedTransform.LoadBinary(*pkIn, uiVersion))
        kStream.SetCorrupt();
}

void NiBlendAccumTransformInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiByteStream* pkOut = kStream.GetOutStream();
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const AccumArrayItem& R = m_pkAccumArray[i];
        R.m_kLastValue.SaveBinary(*pkOut);
        R.m_kDeltaValue.SaveBinary(*pkOut);
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                kStream.WriteLE(R.m_kRefFrame.GetEntry(r, c));
        }
    }
    m_kAccumulatedTransform.SaveBinary(*pkOut);
}

bool NiBlendAccumTransformInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return static_cast<NiBlendAccumTransformInterpolator*>(pkOther)->m_kAccumulatedTransform ==
           m_kAccumulatedTransform;
}

void NiBlendAccumTransformInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendAccumTransformInterpolator::TypeInfo()->GetName()));
    m_kAccumulatedTransform.AppendViewerStrings(kStrings);
}
