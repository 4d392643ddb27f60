#include "engine/animation/NiBlendInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <climits>
#include <unordered_set>
#include <vector>

NiImplementTypeInfo(NiBlendInterpolator, NiInterpolator)

std::uint8_t NiBlendInterpolator::ms_ucArrayGrowBy = NiBlendInterpolator::DEFAULT_ARRAY_GROW_BY;

namespace
{
constexpr std::uint32_t CURRENT_LAYOUT_FROM = NiStreamVersion(10, 1, 0, 112);
constexpr std::uint32_t NARROW_FIELDS_FROM = NiStreamVersion(10, 1, 0, 110);
constexpr std::uint32_t SINGLE_ITEM_FROM = NiStreamVersion(10, 1, 0, 108);

// Old files kept priorities as i32 with INT_MIN for "none".
std::int8_t NarrowPriority(std::int32_t iPriority)
{
    if (iPriority == INT_MIN)
        return NiBlendInterpolator::LOWEST_PRIORITY;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(iPriority & 0xFF));
}
} // namespace

void NiBlendInterpolator::NiBlendInterpItem::ClearValues()
{
    m_spInterpolator = nullptr;
    m_fWeight = 0.0f;
    m_fNormalizedWeight = 0.0f;
    m_cPriority = 0;
    m_fEaseSpinner = 0.0f;
    m_fUpdateTime = NI_MIN_FLOAT;
}

NiBlendInterpolator::NiBlendInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
    : m_uFlags(bManagerControlled ? MANAGER_CONTROLLED_MASK : 0), m_ucArraySize(ucArraySize),
      m_fWeightThreshold(fWeightThreshold)
{
    if (ucArraySize > 0)
        m_pkInterpArray = std::make_unique<NiBlendInterpItem[]>(ucArraySize);
}

NiBlendInterpolator::~NiBlendInterpolator() = default;

void NiBlendInterpolator::WeightsChanged()
{
    m_uFlags |= COMPUTE_NORMALIZED_WEIGHTS_MASK;
    m_fHighSumOfWeights = NI_MIN_FLOAT;
    m_fNextHighSumOfWeights = NI_MIN_FLOAT;
    m_fHighEaseSpinner = NI_MIN_FLOAT;
}

namespace
{
void AddPriorityLayer(std::int8_t cPriority, std::int8_t& cHigh, std::int8_t& cNext)
{
    // A priority equal to the highest also becomes the next-highest.
    if (cPriority > cNext)
    {
        if (cPriority > cHigh)
        {
            cNext = cHigh;
            cHigh = cPriority;
        }
        else
        {
            cNext = cPriority;
        }
    }
}
} // namespace

void NiBlendInterpolator::RebuildPriorities()
{
    m_cHighPriority = LOWEST_PRIORITY;
    m_cNextHighPriority = LOWEST_PRIORITY;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (m_pkInterpArray[i].m_spInterpolator)
            AddPriorityLayer(m_pkInterpArray[i].m_cPriority, m_cHighPriority, m_cNextHighPriority);
    }
}

void NiBlendInterpolator::RecountItems()
{
    m_ucInterpCount = 0;
    m_ucSingleIdx = INVALID_INDEX;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (!m_pkInterpArray[i].m_spInterpolator)
            continue;
        ++m_ucInterpCount;
        m_ucSingleIdx = i;
    }
    if (m_ucInterpCount == 1)
    {
        m_pkSingleInterpolator = m_pkInterpArray[m_ucSingleIdx].m_spInterpolator;
    }
    else
    {
        m_ucSingleIdx = INVALID_INDEX;
        m_pkSingleInterpolator = nullptr;
    }
}

std::uint8_t NiBlendInterpolator::AddInterpInfo(NiInterpolator* pkInterpolator, float fWeight, std::int8_t cPriority,
                                                float fEaseSpinner)
{
    if (pkInterpolator == nullptr || !InterpolatorIsCorrectType(pkInterpolator))
        return INVALID_INDEX;

    std::uint8_t ucIndex = INVALID_INDEX;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (!m_pkInterpArray[i].m_spInterpolator)
        {
            ucIndex = i;
            break;
        }
    }
    if (ucIndex == INVALID_INDEX)
    {
        std::uint8_t ucOldSize = m_ucArraySize;
        if (!ReallocateArrays())
            return INVALID_INDEX;
        ucIndex = ucOldSize;
    }

    NiBlendInterpItem& kItem = m_pkInterpArray[ucIndex];
    kItem.m_spInterpolator = pkInterpolator;
    kItem.m_fWeight = fWeight;
    kItem.m_cPriority = cPriority;
    kItem.m_fEaseSpinner = fEaseSpinner;
    AddPriorityLayer(cPriority, m_cHighPriority, m_cNextHighPriority);

    ++m_ucInterpCount;
    if (m_ucInterpCount == 1)
    {
        m_ucSingleIdx = ucIndex;
        m_pkSingleInterpolator = pkInterpolator;
    }
    else
    {
        m_ucSingleIdx = INVALID_INDEX;
        m_pkSingleInterpolator = nullptr;
        m_fSingleTime = NI_MIN_FLOAT;
    }
    WeightsChanged();
    return ucIndex;
}

NiInterpolatorPtr NiBlendInterpolator::RemoveInterpInfo(std::uint8_t ucIndex)
{
    if (ucIndex >= m_ucArraySize || !m_pkInterpArray[ucIndex].m_spInterpolator)
        return nullptr;

    NiBlendInterpItem& kItem = m_pkInterpArray[ucIndex];
    NiInterpolatorPtr spRemoved = kItem.m_spInterpolator;
    std::int8_t cPriority = kItem.m_cPriority;
    kItem.ClearValues();

    if (cPriority == m_cHighPriority || cPriority == m_cNextHighPriority)
        RebuildPriorities();

    --m_ucInterpCount;
    if (m_ucInterpCount == 1)
    {
        if (m_ucArraySize == 2)
        {
            m_ucSingleIdx = ucIndex == 0 ? 1 : 0;
        }
        else
        {
            for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
            {
                if (m_pkInterpArray[i].m_spInterpolator)
                {
                    m_ucSingleIdx = i;
                    break;
                }
            }
        }
        m_pkSingleInterpolator = m_pkInterpArray[m_ucSingleIdx].m_spInterpolator;
        m_fSingleTime = m_pkInterpArray[m_ucSingleIdx].m_fUpdateTime;
    }
    else if (m_ucInterpCount == 0)
    {
        m_ucSingleIdx = INVALID_INDEX;
        m_pkSingleInterpolator = nullptr;
        m_fSingleTime = NI_MIN_FLOAT;
    }
    WeightsChanged();
    return spRemoved;
}

bool NiBlendInterpolator::ReallocateArrays()
{
    // The slot count is a byte: growing past 255 is refused rather than let
    // it wrap and lose every item.
    if (ms_ucArrayGrowBy == 0 || unsigned(m_ucArraySize) + ms_ucArrayGrowBy > 255u)
        return false;
    std::uint8_t ucNewSize = static_cast<std::uint8_t>(m_ucArraySize + ms_ucArrayGrowBy);
    auto pkNew = std::make_unique<NiBlendInterpItem[]>(ucNewSize);
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        pkNew[i] = std::move(m_pkInterpArray[i]);
    m_pkInterpArray = std::move(pkNew);
    m_ucArraySize = ucNewSize;
    return true;
}

void NiBlendInterpolator::ComputeTwoItemWeights()
{
    NiBlendInterpItem* pkA = nullptr;
    NiBlendInterpItem* pkB = nullptr;
    for (std::uint8_t i = 0; i < m_ucArraySize && pkB == nullptr; ++i)
    {
        if (!m_pkInterpArray[i].m_spInterpolator)
            continue;
        (pkA == nullptr ? pkA : pkB) = &m_pkInterpArray[i];
    }
    if (pkA == nullptr || pkB == nullptr)
        return;
    NiBlendInterpItem& kA = *pkA;
    NiBlendInterpItem& kB = *pkB;

    float fA = kA.m_fWeight * kA.m_fEaseSpinner;
    float fB = kB.m_fWeight * kB.m_fEaseSpinner;
    auto fnZero = [&]() {
        kA.m_fNormalizedWeight = 0.0f;
        kB.m_fNormalizedWeight = 0.0f;
    };
    if (fA == 0.0f && fB == 0.0f)
    {
        fnZero();
        return;
    }

    float fDenominator;
    if (kA.m_cPriority > kB.m_cPriority)
    {
        if (kA.m_fEaseSpinner == 1.0f)
        {
            kA.m_fNormalizedWeight = 1.0f;
            kB.m_fNormalizedWeight = 0.0f;
            return;
        }
        float s = kA.m_fEaseSpinner;
        fDenominator = fA * s + (1.0f - s) * fB;
        if (fDenominator == 0.0f)
        {
            fnZero();
            return;
        }
        float fScale = 1.0f / fDenominator;
        kA.m_fNormalizedWeight = fScale * s * fA;
        kB.m_fNormalizedWeight = fScale * (1.0f - s) * fB;
    }
    else if (kB.m_cPriority > kA.m_cPriority)
    {
        if (kB.m_fEaseSpinner == 1.0f)
        {
            kA.m_fNormalizedWeight = 0.0f;
            kB.m_fNormalizedWeight = 1.0f;
            return;
        }
        float s = kB.m_fEaseSpinner;
        fDenominator = fA * (1.0f - s) + fB * s;
        if (fDenominator == 0.0f)
        {
            fnZero();
            return;
        }
        float fScale = 1.0f / fDenominator;
        kA.m_fNormalizedWeight = fScale * (1.0f - s) * fA;
        kB.m_fNormalizedWeight = fScale * fB * s;
    }
    else
    {
        fDenominator = fA + fB;
        if (fDenominator == 0.0f)
        {
            fnZero();
            return;
        }
        float fScale = 1.0f / fDenominator;
        kA.m_fNormalizedWeight = fA * fScale;
        kB.m_fNormalizedWeight = fB * fScale;
    }

    if (GetOnlyUseHighestWeight())
    {
        bool bB = kA.m_fNormalizedWeight < kB.m_fNormalizedWeight;
        kA.m_fNormalizedWeight = bB ? 0.0f : 1.0f;
        kB.m_fNormalizedWeight = bB ? 1.0f : 0.0f;
        return;
    }
    if (m_fWeightThreshold > 0.0f)
    {
        if (kA.m_fNormalizedWeight < m_fWeightThreshold)
        {
            kA.m_fNormalizedWeight = 0.0f;
            kB.m_fNormalizedWeight = 1.0f;
        }
        if (kB.m_fNormalizedWeight < m_fWeightThreshold)
        {
            kB.m_fNormalizedWeight = 0.0f;
            kA.m_fNormalizedWeight = 1.0f;
        }
    }
}

void NiBlendInterpolator::ComputeNormalizedWeights()
{
    if (!GetComputeNormalizedWeights())
        return;
    m_uFlags &= static_cast<std::uint8_t>(~COMPUTE_NORMALIZED_WEIGHTS_MASK);

    if (m_ucInterpCount == 2)
    {
        ComputeTwoItemWeights();
        return;
    }

    if (m_fHighSumOfWeights == NI_MIN_FLOAT)
    {
        m_fHighSumOfWeights = 0.0f;
        m_fNextHighSumOfWeights = 0.0f;
        m_fHighEaseSpinner = 0.0f;
        for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        {
            const NiBlendInterpItem& kItem = m_pkInterpArray[i];
            if (!kItem.m_spInterpolator)
                continue;
            float c = kItem.m_fWeight * kItem.m_fEaseSpinner;
            if (kItem.m_cPriority == m_cHighPriority)
            {
                m_fHighSumOfWeights += c;
                if (kItem.m_fEaseSpinner > m_fHighEaseSpinner)
                    m_fHighEaseSpinner = kItem.m_fEaseSpinner;
            }
            else if (kItem.m_cPriority == m_cNextHighPriority)
            {
                m_fNextHighSumOfWeights += c;
            }
        }
    }

    float m = m_fHighEaseSpinner;
    float fOneMinus = 1.0f - m;
    float fDenominator = fOneMinus * m_fNextHighSumOfWeights + m_fHighSumOfWeights * m;
    // No weight at all: every item gets 0 rather than a division by zero.
    float fScale = fDenominator != 0.0f ? 1.0f / fDenominator : 0.0f;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        NiBlendInterpItem& kItem = m_pkInterpArray[i];
        if (!kItem.m_spInterpolator)
            continue;
        if (kItem.m_cPriority == m_cHighPriority)
            kItem.m_fNormalizedWeight = kItem.m_fEaseSpinner * kItem.m_fWeight * m * fScale;
        else if (kItem.m_cPriority == m_cNextHighPriority)
            kItem.m_fNormalizedWeight = kItem.m_fEaseSpinner * kItem.m_fWeight * fScale * fOneMinus;
        else
            kItem.m_fNormalizedWeight = 0.0f;
    }

    if (m_fWeightThreshold > 0.0f)
    {
        float fSum = 0.0f;
        for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        {
            NiBlendInterpItem& kItem = m_pkInterpArray[i];
            if (!kItem.m_spInterpolator)
                continue;
            if (kItem.m_fNormalizedWeight != 0.0f && kItem.m_fNormalizedWeight < m_fWeightThreshold)
                kItem.m_fNormalizedWeight = 0.0f;
            fSum += kItem.m_fNormalizedWeight;
        }
        if (fSum != 1.0f && fSum != 0.0f)
        {
            float fInverse = 1.0f / fSum;
            for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
            {
                NiBlendInterpItem& kItem = m_pkInterpArray[i];
                if (kItem.m_spInterpolator && kItem.m_fNormalizedWeight != 0.0f)
                    kItem.m_fNormalizedWeight *= fInverse;
            }
        }
    }

    if (GetOnlyUseHighestWeight())
    {
        // Only items that contribute at all can win.
        std::uint8_t ucBest = INVALID_INDEX;
        float fBest = 0.0f;
        for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        {
            NiBlendInterpItem& kItem = m_pkInterpArray[i];
            if (kItem.m_spInterpolator && kItem.m_fNormalizedWeight > fBest)
            {
                fBest = kItem.m_fNormalizedWeight;
                ucBest = i;
            }
            kItem.m_fNormalizedWeight = 0.0f;
        }
        if (ucBest != INVALID_INDEX)
            m_pkInterpArray[ucBest].m_fNormalizedWeight = 1.0f;
    }
}

void NiBlendInterpolator::Collapse()
{
    if (m_ucInterpCount == 1 && m_pkSingleInterpolator != nullptr)
    {
        m_pkSingleInterpolator->Collapse();
        return;
    }
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (m_pkInterpArray[i].m_spInterpolator)
            m_pkInterpArray[i].m_spInterpolator->Collapse();
    }
}

void NiBlendInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_ucInterpCount == 1 && m_pkSingleInterpolator != nullptr)
    {
        m_pkSingleInterpolator->GuaranteeTimeRange(fStart, fEnd);
        return;
    }
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (m_pkInterpArray[i].m_spInterpolator)
            m_pkInterpArray[i].m_spInterpolator->GuaranteeTimeRange(fStart, fEnd);
    }
}

NiInterpolator* NiBlendInterpolator::GetInterpolator(std::uint8_t ucIndex) const
{
    return ucIndex < m_ucArraySize ? m_pkInterpArray[ucIndex].m_spInterpolator.Get() : nullptr;
}

float NiBlendInterpolator::GetNormalizedWeight(std::uint8_t ucIndex) const
{
    return ucIndex < m_ucArraySize ? m_pkInterpArray[ucIndex].m_fNormalizedWeight : 0.0f;
}

void NiBlendInterpolator::SetWeight(float fWeight, std::uint8_t ucIndex)
{
    if (ucIndex >= m_ucArraySize)
        return;
    m_pkInterpArray[ucIndex].m_fWeight = fWeight;
    WeightsChanged();
}

void NiBlendInterpolator::SetEaseSpinner(float fEaseSpinner, std::uint8_t ucIndex)
{
    if (ucIndex >= m_ucArraySize)
        return;
    m_pkInterpArray[ucIndex].m_fEaseSpinner = fEaseSpinner;
    WeightsChanged();
}

void NiBlendInterpolator::SetPriority(std::int8_t cPriority, std::uint8_t ucIndex)
{
    if (ucIndex >= m_ucArraySize)
        return;
    m_pkInterpArray[ucIndex].m_cPriority = cPriority;
    RebuildPriorities();
    WeightsChanged();
}

void NiBlendInterpolator::SetWeightThreshold(float fThreshold)
{
    m_fWeightThreshold = fThreshold;
    WeightsChanged();
}

void NiBlendInterpolator::SetManagerControlled(bool bOn)
{
    m_uFlags = bOn ? (m_uFlags | MANAGER_CONTROLLED_MASK) : (m_uFlags & ~MANAGER_CONTROLLED_MASK);
}

void NiBlendInterpolator::SetOnlyUseHighestWeight(bool bOn)
{
    m_uFlags = bOn ? (m_uFlags | ONLY_USE_HIGHEST_WEIGHT_MASK) : (m_uFlags & ~ONLY_USE_HIGHEST_WEIGHT_MASK);
    WeightsChanged();
}

// ---- Records ----

bool NiBlendInterpolator::ReadSlot(NiObjectStream& kStream, NiBlendInterpItem& kItem, bool bWidePriority)
{
    NiObject* pkObject = kStream.ReadObjectRef();
    kItem.m_spInterpolator = NiDynamicCast<NiInterpolator>(pkObject);
    if (pkObject != nullptr && !kItem.m_spInterpolator)
    {
        kStream.SetCorrupt();
        return false;
    }
    if (!kStream.ReadLE(kItem.m_fWeight) || !kStream.ReadLE(kItem.m_fNormalizedWeight))
        return false;
    if (bWidePriority)
    {
        std::int32_t iPriority = 0;
        if (!kStream.ReadLE(iPriority))
            return false;
        kItem.m_cPriority = NarrowPriority(iPriority);
    }
    else if (!kStream.ReadLE(kItem.m_cPriority))
    {
        return false;
    }
    return kStream.ReadLE(kItem.m_fEaseSpinner);
}

bool NiBlendInterpolator::ReadOldRecord(NiObjectStream& kStream)
{
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    const bool bWide = uiVersion < NARROW_FIELDS_FROM;
    auto fnReadByte = [&](std::uint8_t& uc) {
        if (!bWide)
            return kStream.ReadLE(uc);
        std::uint16_t us = 0;
        if (!kStream.ReadLE(us))
            return false;
        uc = static_cast<std::uint8_t>(us & 0xFF);
        return true;
    };
    auto fnReadPriority = [&](std::int8_t& c) {
        if (!bWide)
            return kStream.ReadLE(c);
        std::int32_t i = 0;
        if (!kStream.ReadLE(i))
            return false;
        c = NarrowPriority(i);
        return true;
    };

    if (!fnReadByte(m_ucArraySize))
        return false;
    if (bWide)
    {
        std::uint16_t usUnused = 0;
        if (!kStream.ReadLE(usUnused))
            return false;
    }
    m_pkInterpArray = m_ucArraySize ? std::make_unique<NiBlendInterpItem[]>(m_ucArraySize) : nullptr;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (!ReadSlot(kStream, m_pkInterpArray[i], bWide))
            return false;
    }
    std::uint8_t ucManager = 0, ucHighest = 0;
    if (!kStream.ReadLE(ucManager) || !kStream.ReadLE(m_fWeightThreshold) || !kStream.ReadLE(ucHighest))
        return false;
    m_uFlags = (ucManager ? MANAGER_CONTROLLED_MASK : 0) | (ucHighest ? ONLY_USE_HIGHEST_WEIGHT_MASK : 0);
    if (!fnReadByte(m_ucInterpCount) || !fnReadByte(m_ucSingleIdx))
        return false;
    if (uiVersion >= SINGLE_ITEM_FROM)
    {
        NiObject* pkSingle = kStream.ReadObjectRef();
        if (pkSingle != nullptr && NiDynamicCast<NiInterpolator>(pkSingle) == nullptr)
        {
            kStream.SetCorrupt();
            return false;
        }
        if (!kStream.ReadLE(m_fSingleTime))
            return false;
    }
    return fnReadPriority(m_cHighPriority) && fnReadPriority(m_cNextHighPriority);
}

void NiBlendInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiInterpolator::ReadFromStream(kStream);
    bool bRead;
    if (kStream.GetFileVersion() < CURRENT_LAYOUT_FROM)
    {
        bRead = ReadOldRecord(kStream);
    }
    else
    {
        bRead = kStream.ReadLE(m_uFlags) && kStream.ReadLE(m_ucArraySize) && kStream.ReadLE(m_fWeightThreshold);
        m_uFlags &= static_cast<std::uint8_t>(~COMPUTE_NORMALIZED_WEIGHTS_MASK);
        m_pkInterpArray = m_ucArraySize ? std::make_unique<NiBlendInterpItem[]>(m_ucArraySize) : nullptr;
        if (bRead && !GetManagerControlled())
        {
            bRead = kStream.ReadLE(m_ucInterpCount) && kStream.ReadLE(m_ucSingleIdx) &&
                    kStream.ReadLE(m_cHighPriority) && kStream.ReadLE(m_cNextHighPriority) &&
                    kStream.ReadLE(m_fSingleTime) && kStream.ReadLE(m_fHighSumOfWeights) &&
                    kStream.ReadLE(m_fNextHighSumOfWeights) && kStream.ReadLE(m_fHighEaseSpinner);
            for (std::uint8_t i = 0; bRead && i < m_ucArraySize; ++i)
                bRead = ReadSlot(kStream, m_pkInterpArray[i], false);
            if (bRead)
            {
                NiObject* pkSingle = kStream.ReadObjectRef();
                if (pkSingle != nullptr && NiDynamicCast<NiInterpolator>(pkSingle) == nullptr)
                {
                    kStream.SetCorrupt();
                    bRead = false;
                }
            }
        }
    }
    if (!bRead)
        kStream.SetCorrupt();
    // The counts in the file only mirror the slots; the slots are what is
    // held, so the counts and the single item are taken from them.
    if (!m_pkInterpArray)
        m_ucArraySize = 0;
    RecountItems();
}

bool NiBlendInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiInterpolator::RegisterForSave(kStream))
        return false;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (m_pkInterpArray[i].m_spInterpolator)
            m_pkInterpArray[i].m_spInterpolator->RegisterForSave(kStream);
    }
    return true;
}

void NiBlendInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_ucArraySize);
    kStream.WriteLE(m_fWeightThreshold);
    if (GetManagerControlled())
        return;
    kStream.WriteLE(m_ucInterpCount);
    kStream.WriteLE(m_ucSingleIdx);
    kStream.WriteLE(m_cHighPriority);
    kStream.WriteLE(m_cNextHighPriority);
    kStream.WriteLE(m_fSingleTime);
    kStream.WriteLE(m_fHighSumOfWeights);
    kStream.WriteLE(m_fNextHighSumOfWeights);
    kStream.WriteLE(m_fHighEaseSpinner);
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& kItem = m_pkInterpArray[i];
        kStream.WriteLinkID(kItem.m_spInterpolator);
        kStream.WriteLE(kItem.m_fWeight);
        kStream.WriteLE(kItem.m_fNormalizedWeight);
        kStream.WriteLE(kItem.m_cPriority);
        kStream.WriteLE(kItem.m_fEaseSpinner);
    }
    kStream.WriteLinkID(m_pkSingleInterpolator);
}

bool NiBlendInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiInterpolator::IsEqual(pkOther))
        return false;
    auto* pkBlend = static_cast<NiBlendInterpolator*>(pkOther);
    if (m_ucArraySize != pkBlend->m_ucArraySize)
        return false;
    auto fnSame = [](NiInterpolator* a, NiInterpolator* b) {
        if (a == nullptr || b == nullptr)
            return a == b;
        return a->IsEqual(b);
    };
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& a = m_pkInterpArray[i];
        const NiBlendInterpItem& b = pkBlend->m_pkInterpArray[i];
        if (!fnSame(a.m_spInterpolator, b.m_spInterpolator) || a.m_fWeight != b.m_fWeight ||
            a.m_fNormalizedWeight != b.m_fNormalizedWeight || a.m_cPriority != b.m_cPriority ||
            a.m_fEaseSpinner != b.m_fEaseSpinner)
            return false;
    }
    return m_uFlags == pkBlend->m_uFlags && m_fWeightThreshold == pkBlend->m_fWeightThreshold &&
           m_ucInterpCount == pkBlend->m_ucInterpCount && m_ucSingleIdx == pkBlend->m_ucSingleIdx &&
           fnSame(m_pkSingleInterpolator, pkBlend->m_pkSingleInterpolator) &&
           m_fSingleTime == pkBlend->m_fSingleTime && m_cHighPriority == pkBlend->m_cHighPriority &&
           m_cNextHighPriority == pkBlend->m_cNextHighPriority;
}

void NiBlendInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUChar("m_ucArraySize", m_ucArraySize));
    kStrings.AddTail(NiViewerUChar("ms_ucArrayGrowBy", ms_ucArrayGrowBy));
    kStrings.AddTail(NiViewerBool("ManagerControlled", GetManagerControlled()));
    kStrings.AddTail(NiViewerFloat("m_fWeightThreshold", m_fWeightThreshold));
    kStrings.AddTail(NiViewerBool("m_bOnlyUseHighestWeight", GetOnlyUseHighestWeight()));
    kStrings.AddTail(NiViewerUChar("m_ucInterpCount", m_ucInterpCount));
    kStrings.AddTail(NiViewerUChar("m_ucSingleIdx", m_ucSingleIdx));
}

void NiBlendInterpolator::PostLink(NiObjectStream& kStream)
{
    NiInterpolator::PostLink(kStream);
    std::unordered_set<const NiBlendInterpolator*> kSeen;
    std::vector<const NiBlendInterpolator*> kOpen{this};
    bool bCycle = false;
    while (!kOpen.empty() && !bCycle)
    {
        const NiBlendInterpolator* pkBlend = kOpen.back();
        kOpen.pop_back();
        for (std::uint8_t i = 0; i < pkBlend->m_ucArraySize && !bCycle; ++i)
        {
            auto* pkItem = NiDynamicCast<NiBlendInterpolator>(pkBlend->m_pkInterpArray[i].m_spInterpolator.Get());
            if (pkItem == nullptr)
                continue;
            if (pkItem == this)
                bCycle = true;
            else if (kSeen.insert(pkItem).second)
                kOpen.push_back(pkItem);
        }
    }
    // The failed load has every object let go of its items, which breaks
    // the loop.
    if (bCycle)
        kStream.SetCorrupt();
}

void NiBlendInterpolator::DropCountedLinks()
{
    NiInterpolator::DropCountedLinks();
    // An object whose record was never read may have no slots.
    if (!m_pkInterpArray)
        return;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        m_pkInterpArray[i].ClearValues();
    RecountItems();
}

// ---- Cloning ----

void NiBlendInterpolator::CopyMembers(NiBlendInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_ucArraySize = m_ucArraySize;
    pkDest->m_fWeightThreshold = m_fWeightThreshold;
    pkDest->m_pkInterpArray = m_ucArraySize ? std::make_unique<NiBlendInterpItem[]>(m_ucArraySize) : nullptr;
    if (GetManagerControlled())
        return;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& kSrc = m_pkInterpArray[i];
        if (!kSrc.m_spInterpolator)
            continue;
        NiBlendInterpItem& kDst = pkDest->m_pkInterpArray[i];
        NiObject* pkCopy = nullptr;
        if (!kCloning.m_kCloneMap.GetAt(kSrc.m_spInterpolator.Get(), pkCopy))
            pkCopy = kSrc.m_spInterpolator->CreateClone(kCloning);
        kDst.m_spInterpolator = NiDynamicCast<NiInterpolator>(pkCopy);
        kDst.m_fWeight = kSrc.m_fWeight;
        kDst.m_fNormalizedWeight = kSrc.m_fNormalizedWeight;
        kDst.m_cPriority = kSrc.m_cPriority;
        kDst.m_fEaseSpinner = kSrc.m_fEaseSpinner;
        kDst.m_fUpdateTime = kSrc.m_fUpdateTime;
    }
    pkDest->m_ucInterpCount = m_ucInterpCount;
    pkDest->m_ucSingleIdx = m_ucSingleIdx;
    pkDest->m_fSingleTime = m_fSingleTime;
    pkDest->m_cHighPriority = m_cHighPriority;
    pkDest->m_cNextHighPriority = m_cNextHighPriority;
}

void NiBlendInterpolator::FinishClone(NiCloneContext& kCloning)
{
    NiInterpolator::FinishClone(kCloning);
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        if (m_pkInterpArray[i].m_spInterpolator)
            m_pkInterpArray[i].m_spInterpolator->FinishClone(kCloning);
    }
    NiObject* pkObject = nullptr;
    if (!kCloning.m_kCloneMap.GetAt(this, pkObject) || pkObject == nullptr)
        return;
    auto* pkDest = static_cast<NiBlendInterpolator*>(pkObject);
    // The copy's single item is the copy's own slot, so it never points at
    // an interpolator the copy holds no reference to.
    pkDest->m_pkSingleInterpolator = nullptr;
    if (pkDest->m_ucSingleIdx < pkDest->m_ucArraySize)
        pkDest->m_pkSingleInterpolator = pkDest->m_pkInterpArray[pkDest->m_ucSingleIdx].m_spInterpolator;
}
