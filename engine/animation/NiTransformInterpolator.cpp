#include "engine/animation/NiTransformInterpolator.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiTransformInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiTransformInterpolator)

NiObject* NiTransformInterpolator::CreateObject()
{
    return new NiTransformInterpolator;
}

void NiTransformInterpolator::CopyMembers(NiTransformInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kTransformValue = m_kTransformValue;
    pkDest->SetData(m_spData);
    pkDest->m_uiLastTransIdx = m_uiLastTransIdx;
    pkDest->m_uiLastRotIdx = m_uiLastRotIdx;
    pkDest->m_uiLastScaleIdx = m_uiLastScaleIdx;
}

namespace
{
// Everything but the common interval: the channel's search, then the key
// functions (one key, Euler keys). Out of line and by value, so the caller's
// values never have their address taken.
[[gnu::noinline]] NiVec3 SlowPos(const NiKeyChannel& kPos, float fTime, std::uint32_t& uiLastIdx)
{
    NiVec3 kValue;
    if (!kPos.InterpolateAt(fTime, uiLastIdx, &kValue))
        kValue = NiPosKey::EvaluateAt(fTime, kPos.GetKeys(), kPos.GetType(), kPos.GetNumKeys(), uiLastIdx,
                                      kPos.GetStride());
    return kValue;
}

[[gnu::noinline]] NiQuat SlowRot(const NiKeyChannel& kRot, float fTime, std::uint32_t& uiLastIdx)
{
    NiQuat kValue;
    if (!kRot.InterpolateAt(fTime, uiLastIdx, &kValue))
        kValue = NiRotKey::EvaluateAt(fTime, kRot.GetKeys(), kRot.GetType(), kRot.GetNumKeys(), uiLastIdx,
                                      kRot.GetStride());
    return kValue;
}

[[gnu::noinline]] float SlowScale(const NiKeyChannel& kScale, float fTime, std::uint32_t& uiLastIdx)
{
    float fValue;
    if (!kScale.InterpolateAt(fTime, uiLastIdx, &fValue))
        fValue = NiFloatKey::EvaluateAt(fTime, kScale.GetKeys(), kScale.GetType(), kScale.GetNumKeys(), uiLastIdx,
                                        kScale.GetStride());
    return fValue;
}
// The value of an ordered view's interval: its type is one of the four pair
// kinds (NiKeyChannel::View), so no other needs a way out of line.
inline NiQuat RotOfView(std::uint8_t ucType, float fU, const NiAnimKey* pkKey0, const NiAnimKey* pkKey1)
{
    switch (ucType)
    {
    case NI_LINKEY: return NiAnimKeyLocal::RotLin(fU, pkKey0, pkKey1);
    case NI_STEPKEY: return NiAnimKeyLocal::RotStep(fU, pkKey0, pkKey1);
    case NI_BEZKEY: return NiAnimKeyLocal::RotBez(fU, pkKey0, pkKey1);
    default: return NiAnimKeyLocal::RotTCB(fU, pkKey0, pkKey1);
    }
}

inline float FloatOfView(std::uint8_t ucType, float fU, const NiAnimKey* pkKey0, const NiAnimKey* pkKey1)
{
    switch (ucType)
    {
    case NI_LINKEY: return NiAnimKeyLocal::FloatLin(fU, pkKey0, pkKey1);
    case NI_STEPKEY: return NiAnimKeyLocal::FloatStep(fU, pkKey0, pkKey1);
    case NI_BEZKEY: return NiAnimKeyLocal::FloatBez(fU, pkKey0, pkKey1);
    default: return NiAnimKeyLocal::FloatTCB(fU, pkKey0, pkKey1);
    }
}

inline NiVec3 PosOfView(std::uint8_t ucType, float fU, const NiAnimKey* pkKey0, const NiAnimKey* pkKey1)
{
    switch (ucType)
    {
    case NI_LINKEY: return NiAnimKeyLocal::PosLin(fU, pkKey0, pkKey1);
    case NI_STEPKEY: return NiAnimKeyLocal::PosStep(fU, pkKey0, pkKey1);
    case NI_BEZKEY: return NiAnimKeyLocal::PosBez(fU, pkKey0);
    default: return NiAnimKeyLocal::PosTCB(fU, pkKey0);
    }
}
} // namespace

void NiTransformInterpolator::TakeChannelViews()
{
    NiTransformData* pkData = m_spData;
        m_kViews.m_uiGeneration = NiKeyChannel::GetGeneration();
    m_kViews.m_kRot = pkData->RotChannel().GetView();
    m_kViews.m_kScale = pkData->ScaleChannel().GetView();
    m_kViews.m_kPos = pkData->PosChannel().GetView();
}

// Flattened: the key kinds' functions are inlined here whatever the
// compiler's estimate of the function's size.
[[gnu::flatten]] bool NiTransformInterpolator::UpdateTransform(float fTime, NiObjectNET*, NiQuatTransform& kValue)
{
    if (fTime == m_fLastTime || !m_spData)
    {
        kValue = m_kTransformValue;
        if (fTime == m_fLastTime)
            return !m_kTransformValue.IsTransformInvalid();
        return FinishUpdate(fTime);
    }
    // The common case: the views current and every keyed channel's t in or
    // just after its last interval. A channel found elsewhere sends the whole
    // update the general way, which finds the intervals already taken here
    // again (t lies inside them) and so writes the same values again. Each
    // value goes from registers straight to both places (read back from the
    // member right after being written in pieces, it would stall), and
    // nothing is kept across the way out, which is the last thing done.
    if (m_kViews.m_uiGeneration != NiKeyChannel::GetGeneration())
        return UpdateAnyCase(fTime, kValue);
    const NiKeyChannel::View& kRot = m_kViews.m_kRot;
    const NiKeyChannel::View& kScale = m_kViews.m_kScale;
    const NiKeyChannel::View& kPos = m_kViews.m_kPos;
    const NiAnimKey* pkKey0;
    const NiAnimKey* pkKey1;
    float fU;
    NiKeyChannel::IntervalMemo kMemo;
    if (kRot.m_uiNumKeys > 0)
    {
        if (!NiKeyChannel::NearInterval(kRot, fTime, m_uiLastRotIdx, pkKey0, pkKey1, fU, kMemo))
            return UpdateAnyCase(fTime, kValue);
        const NiQuat kRotate = RotOfView(kRot.m_ucType, fU, pkKey0, pkKey1);
        m_kTransformValue.m_kRotate = kRotate;
        kValue.m_kRotate = kRotate;
    }
    else
    {
        kValue.m_kRotate = m_kTransformValue.m_kRotate;
    }
    if (kScale.m_uiNumKeys > 0)
    {
        if (!NiKeyChannel::NearInterval(kScale, fTime, m_uiLastScaleIdx, pkKey0, pkKey1, fU, kMemo))
            return UpdateAnyCase(fTime, kValue);
        const float fScale = FloatOfView(kScale.m_ucType, fU, pkKey0, pkKey1);
        m_kTransformValue.m_fScale = fScale;
        kValue.m_fScale = fScale;
    }
    else
    {
        kValue.m_fScale = m_kTransformValue.m_fScale;
    }
    if (kPos.m_uiNumKeys > 0)
    {
        if (!NiKeyChannel::NearInterval(kPos, fTime, m_uiLastTransIdx, pkKey0, pkKey1, fU, kMemo))
            return UpdateAnyCase(fTime, kValue);
        const NiVec3 kTranslate = PosOfView(kPos.m_ucType, fU, pkKey0, pkKey1);
        m_kTransformValue.m_kTranslate = kTranslate;
        kValue.m_kTranslate = kTranslate;
    }
    else
    {
        kValue.m_kTranslate = m_kTransformValue.m_kTranslate;
    }
    return FinishUpdate(fTime);
}

bool NiTransformInterpolator::UpdateAnyCase(float fTime, NiQuatTransform& kValue)
{
    {
        NiTransformData* pkData = m_spData;
        if (m_kViews.m_uiGeneration != NiKeyChannel::GetGeneration())
            TakeChannelViews();
        const NiKeyChannel::View& kRot = m_kViews.m_kRot;
        const NiKeyChannel::View& kScale = m_kViews.m_kScale;
        const NiKeyChannel::View& kPos = m_kViews.m_kPos;
        const NiAnimKey* pkKey0;
        const NiAnimKey* pkKey1;
        float fU;
        NiKeyChannel::IntervalMemo kMemo;
        // Each new value goes from registers straight to both places: read
        // back from the member right after being written in pieces, it would
        // stall. The rotation, the one that calls out, comes first, so that
        // little is kept across its call. Only the rare cases read the data
        // object itself.
        if (kRot.m_uiNumKeys > 0)
        {
            const NiQuat kRotate =
                NiKeyChannel::NearInterval(kRot, fTime, m_uiLastRotIdx, pkKey0, pkKey1, fU, kMemo)
                    ? NiAnimKeyLocal::RotPair(kRot.m_ucType, nullptr, fU, pkKey0, pkKey1)
                    : SlowRot(pkData->RotChannel(), fTime, m_uiLastRotIdx);
            m_kTransformValue.m_kRotate = kRotate;
            kValue.m_kRotate = kRotate;
        }
        else
        {
            kValue.m_kRotate = m_kTransformValue.m_kRotate;
        }
        if (kScale.m_uiNumKeys > 0)
        {
            const float fScale =
                NiKeyChannel::NearInterval(kScale, fTime, m_uiLastScaleIdx, pkKey0, pkKey1, fU, kMemo)
                    ? NiAnimKeyLocal::FloatPair(kScale.m_ucType, nullptr, fU, pkKey0, pkKey1)
                    : SlowScale(pkData->ScaleChannel(), fTime, m_uiLastScaleIdx);
            m_kTransformValue.m_fScale = fScale;
            kValue.m_fScale = fScale;
        }
        else
        {
            kValue.m_fScale = m_kTransformValue.m_fScale;
        }
        if (kPos.m_uiNumKeys > 0)
        {
            const NiVec3 kTranslate =
                NiKeyChannel::NearInterval(kPos, fTime, m_uiLastTransIdx, pkKey0, pkKey1, fU, kMemo)
                    ? NiAnimKeyLocal::PosPair(kPos.m_ucType, nullptr, fU, pkKey0, pkKey1)
                    : SlowPos(pkData->PosChannel(), fTime, m_uiLastTransIdx);
            m_kTransformValue.m_kTranslate = kTranslate;
            kValue.m_kTranslate = kTranslate;
        }
        else
        {
            kValue.m_kTranslate = m_kTransformValue.m_kTranslate;
        }
    }
    return FinishUpdate(fTime);
}

namespace
{
// True when the channel's keys reduce to one constant value: a single key
// (not an Euler key), or linear/step keys that all equal the first.
template <class Key, class Value>
bool ConstantValue(const NiKeyChannel& kChannel, Value Key::*pValue, Value& kOut)
{
    std::uint32_t uiCount = kChannel.GetNumKeys();
    std::uint32_t uiType = kChannel.GetType();
    if (!kChannel.HasKeys() || uiType == NI_EULERKEY)
        return false;
    auto fnValue = [&](std::uint32_t i) { return static_cast<const Key*>(kChannel.GetKeyAt(i))->*pValue; };
    if (uiCount > 1)
    {
        if (uiType != NI_LINKEY && uiType != NI_STEPKEY)
            return false;
        for (std::uint32_t i = 1; i < uiCount; ++i)
        {
            if (!(fnValue(i) == fnValue(0)))
                return false;
        }
    }
    kOut = fnValue(0);
    return true;
}
} // namespace

void NiTransformInterpolator::Collapse()
{
    if (!m_spData)
        return;
    NiKeyChannel& kPos = m_spData->PosChannel();
    NiKeyChannel& kRot = m_spData->RotChannel();
    NiKeyChannel& kScale = m_spData->ScaleChannel();

    if (!kPos.HasKeys())
        kPos.Free();
    else if (ConstantValue(kPos, &NiPosKey::m_kPos, m_kTransformValue.m_kTranslate))
        kPos.Free();

    if (!kRot.HasKeys())
        kRot.Free();
    else if (ConstantValue(kRot, &NiRotKey::m_kQuat, m_kTransformValue.m_kRotate))
        kRot.Free();

    if (!kScale.HasKeys())
        kScale.Free();
    else if (ConstantValue(kScale, &NiFloatKey::m_fValue, m_kTransformValue.m_fScale))
        kScale.Free();

    if (!kPos.HasKeys() && !kRot.HasKeys() && !kScale.HasKeys())
        SetData(nullptr);
}

void NiTransformInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spData)
        m_spData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiTransformInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiTransformInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spData)
    {
        pkClone->SetData(m_spData->GetSequenceData(fBegin, fEnd));
        pkClone->m_uiLastTransIdx = 0;
        pkClone->m_uiLastRotIdx = 0;
        pkClone->m_uiLastScaleIdx = 0;
    }
    return pkClone;
}

const NiKeyChannel* NiTransformInterpolator::GetChannel(std::uint16_t usChannel) const
{
    if (!m_spData)
        return nullptr;
    switch (usChannel)
    {
    case POSITION:
        return &m_spData->PosChannel();
    case ROTATION:
        return &m_spData->RotChannel();
    case SCALE:
        return &m_spData->ScaleChannel();
    default:
        return nullptr;
    }
}

std::uint32_t NiTransformInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    const NiKeyChannel* pkChannel = GetChannel(usChannel);
    return pkChannel ? pkChannel->GetNumKeys() : 0;
}

std::uint32_t NiTransformInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    const NiKeyChannel* pkChannel = GetChannel(usChannel);
    return pkChannel ? pkChannel->GetType() : 0;
}

std::uint32_t NiTransformInterpolator::GetKeyContent(std::uint16_t usChannel) const
{
    switch (usChannel)
    {
    case POSITION:
        return NI_POSKEY;
    case ROTATION:
        return NI_ROTKEY;
    case SCALE:
        return NI_FLOATKEY;
    default:
        return NO_CONTENT;
    }
}

NiAnimKey* NiTransformInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    const NiKeyChannel* pkChannel = GetChannel(usChannel);
    return pkChannel ? pkChannel->GetKeys() : nullptr;
}

std::uint8_t NiTransformInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    const NiKeyChannel* pkChannel = GetChannel(usChannel);
    return pkChannel ? pkChannel->GetStride() : 0;
}

bool NiTransformInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    if (usChannel > SCALE)
        return false;
    const NiKeyChannel* pkChannel = GetChannel(usChannel);
    if (pkChannel != nullptr && pkChannel->GetNumKeys() > 0)
        return false;
    switch (usChannel)
    {
    case POSITION:
        return m_kTransformValue.IsTranslateValid();
    case ROTATION:
        return m_kTransformValue.IsRotateValid();
    default:
        return m_kTransformValue.IsScaleValid();
    }
}

void NiTransformInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    NiByteStream* pkIn = kStream.GetInStream();
    if (pkIn == nullptr || !m_kTransformValue.LoadBinary(*pkIn, kStream.GetFileVersion()))
    {
        kStream.SetCorrupt();
        return;
    }
    NiObject* pkData = kStream.ReadObjectRef();
    SetData(NiDynamicCast<NiTransformData>(pkData));
    if (pkData != nullptr && !m_spData)
        kStream.SetCorrupt();
}

void NiTransformInterpolator::DropCountedLinks()
{
    NiKeyBasedInterpolator::DropCountedLinks();
    SetData(nullptr);
}

bool NiTransformInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spData)
        m_spData->RegisterForSave(kStream);
    return true;
}

void NiTransformInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    if (NiByteStream* pkOut = kStream.GetOutStream())
        (void)m_kTransformValue.SaveBinary(*pkOut);
    kStream.WriteLinkID(m_spData);
}

bool NiTransformInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiTransformInterpolator*>(pkOther);
    if (m_kTransformValue != pkInterp->m_kTransformValue)
        return false;
    if (!m_spData || !pkInterp->m_spData)
        return !m_spData && !pkInterp->m_spData;
    return m_spData->IsEqual(pkInterp->m_spData);
}

void NiTransformInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTransformInterpolator::TypeInfo()->GetName()));
    m_kTransformValue.AppendViewerStrings(kStrings);
    if (m_spData)
        m_spData->AppendViewerStrings(kStrings);
}
