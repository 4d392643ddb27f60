#include "engine/animation/NiKeyChannel.h"

#include "engine/animation/NiAnimKeyLocal.h"
#include "engine/core/NiObjectStream.h"

#include <algorithm>
#include <new>

std::atomic<std::uint64_t> NiKeyChannel::s_uiGeneration{1};

void NiKeyChannel::Free()
{
    if (m_pkKeys != nullptr)
    {
        NiAnimKeyTables::DeleteFunction pfnDelete = NiAnimKeyTables::GetDeleteFunction(m_uiContent, m_uiType);
        if (pfnDelete != nullptr)
            pfnDelete(m_pkKeys);
        else
            NiAnimKey::FreeArray(m_pkKeys);
    }
    m_pkKeys = nullptr;
    m_uiNumKeys = 0;
    m_uiType = 0;
    m_ucStride = 0;
    Prepare();
}

void NiKeyChannel::Set(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType)
{
    if (pkKeys != nullptr && uiCount != 0 && uiType != 0)
    {
        m_pkKeys = pkKeys;
        m_uiNumKeys = uiCount;
        m_uiType = uiType;
        m_ucStride = NiAnimKeyTables::GetKeySize(m_uiContent, uiType);
    }
    else
    {
        m_pkKeys = nullptr;
        m_uiNumKeys = 0;
        m_uiType = 0;
        m_ucStride = 0;
    }
    Prepare();
}

void NiKeyChannel::Prepare()
{
    // Every change of what a view holds ends here.
    s_uiGeneration.fetch_add(1, std::memory_order_relaxed);
    m_pfnInterpolate = nullptr;
    m_spTimes.reset();
    m_bOrdered = false;
    if (m_pkKeys == nullptr || m_uiNumKeys < 2 || m_ucStride == 0 || m_uiType == NI_EULERKEY)
        return;
    NiAnimKeyTables::CurveFunction pfnInterpolate = NiAnimKeyTables::GetInterpolateFunction(m_uiContent, m_uiType);
    if (pfnInterpolate == nullptr)
        return;
    // Without memory for the times the channel evaluates the slow way.
    m_spTimes.reset(new (std::nothrow) float[m_uiNumKeys]);
    if (!m_spTimes)
        return;
    m_bOrdered = true;
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
    {
        m_spTimes[i] = GetKeyAt(i)->m_fTime;
        // NaN counts as out of order too.
        if (i > 0 && !(m_spTimes[i - 1] <= m_spTimes[i]))
            m_bOrdered = false;
    }
    m_pfnInterpolate = pfnInterpolate;
}

// Over the copied times: a scan from a stale hint reads only them.
void NiKeyChannel::SearchAndInterpolate(float t, std::uint32_t& uiLastIdx, void* pvResult) const
{
    const float* pfT = m_spTimes.get();
    std::uint32_t i;
    float u = NiAnimKeyLocal::SearchTimes(t, m_uiNumKeys, [pfT](std::uint32_t k) { return pfT[k]; }, uiLastIdx, i);
    m_pfnInterpolate(u, GetKeyAt(i), GetKeyAt(i + 1), pvResult);
}

void NiKeyChannel::Replace(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType)
{
    if (pkKeys != m_pkKeys)
        Free();
    Set(pkKeys, uiCount, uiType);
}

void NiKeyChannel::CopyFrom(const NiKeyChannel& kOther)
{
    Free();
    if (!kOther.HasKeys())
        return;
    NiAnimKeyTables::CreateFunction pfnCreate = NiAnimKeyTables::GetCreateFunction(m_uiContent, kOther.m_uiType);
    NiAnimKeyTables::CopyFunction pfnCopy = NiAnimKeyTables::GetCopyFunction(m_uiContent, kOther.m_uiType);
    if (pfnCreate == nullptr || pfnCopy == nullptr)
        return;
    NiAnimKey* pkKeys = pfnCreate(kOther.m_uiNumKeys);
    if (pkKeys == nullptr)
        return;
    for (std::uint32_t i = 0; i < kOther.m_uiNumKeys; ++i)
        pfnCopy(NiAnimKey::At(pkKeys, i, kOther.m_ucStride), kOther.GetKeyAt(i));
    Set(pkKeys, kOther.m_uiNumKeys, kOther.m_uiType);
}

bool NiKeyChannel::IsEqual(const NiKeyChannel& kOther) const
{
    if (m_uiNumKeys != kOther.m_uiNumKeys || m_uiType != kOther.m_uiType || m_ucStride != kOther.m_ucStride)
        return false;
    if (m_uiNumKeys == 0)
        return true;
    NiAnimKeyTables::EqualFunction pfnEqual = NiAnimKeyTables::GetEqualFunction(m_uiContent, m_uiType);
    if (pfnEqual == nullptr || m_pkKeys == nullptr || kOther.m_pkKeys == nullptr)
        return false;
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
    {
        if (!pfnEqual(*GetKeyAt(i), *kOther.GetKeyAt(i)))
            return false;
    }
    return true;
}

void NiKeyChannel::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    NiAnimKeyTables::GuaranteeKeyRange(m_uiContent, m_uiType, m_pkKeys, m_uiNumKeys, fStart, fEnd);
    if (m_pkKeys != nullptr)
        m_ucStride = NiAnimKeyTables::GetKeySize(m_uiContent, m_uiType);
    Prepare();
}

void NiKeyChannel::ReduceToSubRange(float fBegin, float fEnd)
{
    if (!HasKeys())
        return;
    NiAnimKey* pkKeys = nullptr;
    std::uint32_t uiCount = 0;
    NiAnimKeyTables::CopySubRange(m_uiContent, m_uiType, m_pkKeys, m_uiNumKeys, fBegin, fEnd, pkKeys, uiCount);
    std::uint32_t uiType = m_uiType;
    Free();
    Set(pkKeys, uiCount, uiType);
}

bool NiKeyChannel::Read(NiObjectStream& kStream)
{
    Free();
    std::uint32_t uiCount = 0;
    if (!kStream.ReadLE(uiCount))
        return false;
    if (uiCount == 0)
        return true;
    std::uint32_t uiType = 0;
    if (!kStream.ReadLE(uiType))
        return false;
    std::uint32_t uiKeyBytes = NiAnimKeyTables::GetStreamKeySize(m_uiContent, uiType);
    if (uiKeyBytes == 0 || uiCount > kStream.GetBytesLeft() / uiKeyBytes)
    {
        kStream.SetCorrupt();
        return false;
    }
    NiByteStream* pkIn = kStream.GetInStream();
    NiAnimKey* pkKeys = pkIn ? NiAnimKeyTables::ReadArray(*pkIn, kStream.GetFileVersion(), m_uiContent, uiType,
                                                          uiCount)
                             : nullptr;
    if (pkKeys == nullptr)
    {
        kStream.SetCorrupt();
        return false;
    }
    Set(pkKeys, uiCount, uiType);
    NiAnimKeyTables::FillDerivedFunction pfnFill = NiAnimKeyTables::GetFillDerivedFunction(m_uiContent, uiType);
    if (pfnFill != nullptr)
        pfnFill(m_pkKeys, m_uiNumKeys, m_ucStride);
    return true;
}

void NiKeyChannel::Write(NiObjectStream& kStream) const
{
    std::uint32_t uiCount = HasKeys() ? m_uiNumKeys : 0;
    kStream.WriteLE(uiCount);
    if (uiCount == 0)
        return;
    kStream.WriteLE(m_uiType);
    NiAnimKeyTables::WriteFunction pfnWrite = NiAnimKeyTables::GetWriteFunction(m_uiContent, m_uiType);
    NiByteStream* pkOut = kStream.GetOutStream();
    if (pfnWrite != nullptr && pkOut != nullptr)
        (void)pfnWrite(*pkOut, m_pkKeys, m_uiNumKeys);
}
