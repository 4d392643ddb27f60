#pragma once

#include "engine/animation/NiInterpolator.h"

#include <cstdint>
#include <memory>

// Mixes several interpolators (items) by weight, priority layer and ease
// spinner. This base keeps the items and turns their weights into
// normalised weights; the typed subclasses ask the items and combine them.
class NiBlendInterpolator : public NiInterpolator
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint8_t INVALID_INDEX = 255;
    static constexpr std::int8_t LOWEST_PRIORITY = -128;

    enum Flags : std::uint8_t
    {
        MANAGER_CONTROLLED_MASK = 0x01,
        ONLY_USE_HIGHEST_WEIGHT_MASK = 0x02,
        COMPUTE_NORMALIZED_WEIGHTS_MASK = 0x04,
    };

    // One slot; a slot is in use exactly when it holds an interpolator.
    struct NiBlendInterpItem
    {
        NiInterpolatorPtr m_spInterpolator;
        float m_fWeight = 0.0f;
        float m_fNormalizedWeight = 0.0f;
        std::int8_t m_cPriority = 0;
        float m_fEaseSpinner = 0.0f;
        float m_fUpdateTime = NI_MIN_FLOAT;

        void ClearValues();
    };

    ~NiBlendInterpolator() override;

    // The slot index, or 255 when the interpolator is refused (null or of
    // the wrong value kind) or no slot can be made.
    virtual std::uint8_t AddInterpInfo(NiInterpolator* pkInterpolator, float fWeight, std::int8_t cPriority = 0,
                                       float fEaseSpinner = 1.0f);
    // The removed interpolator; null (and no change) for an index out of
    // range or a free slot.
    virtual NiInterpolatorPtr RemoveInterpInfo(std::uint8_t ucIndex);
    [[nodiscard]] virtual bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const = 0;
    // Grows the slot array by the grow step; false when that is 0 or the
    // size would pass 255.
    virtual bool ReallocateArrays();

    void ComputeNormalizedWeights();

    void Collapse() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;

    // Item accessors for the sequences that drive the items.
    [[nodiscard]] std::uint8_t GetArraySize() const { return m_ucArraySize; }
    [[nodiscard]] std::uint8_t GetInterpCount() const { return m_ucInterpCount; }
    [[nodiscard]] std::uint8_t GetSingleIdx() const { return m_ucSingleIdx; }
    [[nodiscard]] NiInterpolator* GetSingleInterpolator() const { return m_pkSingleInterpolator; }
    [[nodiscard]] float GetSingleTime() const { return m_fSingleTime; }
    [[nodiscard]] std::int8_t GetHighestPriority() const { return m_cHighPriority; }
    [[nodiscard]] std::int8_t GetNextHighestPriority() const { return m_cNextHighPriority; }
    // The sequences call these for every item of every frame: inline.
    [[nodiscard]] const NiBlendInterpItem* GetItem(std::uint8_t ucIndex) const
    {
        return ucIndex < m_ucArraySize ? &m_pkInterpArray[ucIndex] : nullptr;
    }
    [[nodiscard]] NiInterpolator* GetInterpolator(std::uint8_t ucIndex) const;
    [[nodiscard]] float GetWeight(std::uint8_t ucIndex) const
    {
        return ucIndex < m_ucArraySize ? m_pkInterpArray[ucIndex].m_fWeight : 0.0f;
    }
    [[nodiscard]] float GetNormalizedWeight(std::uint8_t ucIndex) const;
    void SetWeight(float fWeight, std::uint8_t ucIndex);
    void SetEaseSpinner(float fEaseSpinner, std::uint8_t ucIndex);
    void SetPriority(std::int8_t cPriority, std::uint8_t ucIndex);
    // The key time the item is evaluated at (manager-controlled blends).
    void SetTime(float fTime, std::uint8_t ucIndex)
    {
        if (ucIndex >= m_ucArraySize)
            return;
        m_pkInterpArray[ucIndex].m_fUpdateTime = fTime;
        if (ucIndex == m_ucSingleIdx)
            m_fSingleTime = fTime;
    }

    [[nodiscard]] float GetWeightThreshold() const { return m_fWeightThreshold; }
    void SetWeightThreshold(float fThreshold);
    [[nodiscard]] bool GetManagerControlled() const { return (m_uFlags & MANAGER_CONTROLLED_MASK) != 0; }
    void SetManagerControlled(bool bOn);
    [[nodiscard]] bool GetOnlyUseHighestWeight() const { return (m_uFlags & ONLY_USE_HIGHEST_WEIGHT_MASK) != 0; }
    void SetOnlyUseHighestWeight(bool bOn);
    [[nodiscard]] bool GetComputeNormalizedWeights() const
    {
        return (m_uFlags & COMPUTE_NORMALIZED_WEIGHTS_MASK) != 0;
    }
    [[nodiscard]] std::uint8_t GetFlags() const { return m_uFlags; }
    [[nodiscard]] float GetHighSumOfWeights() const { return m_fHighSumOfWeights; }
    [[nodiscard]] float GetNextHighSumOfWeights() const { return m_fNextHighSumOfWeights; }
    [[nodiscard]] float GetHighEaseSpinner() const { return m_fHighEaseSpinner; }

    // The process-wide grow step (2).
    [[nodiscard]] static std::uint8_t GetArrayGrowBy() { return ms_ucArrayGrowBy; }
    static void SetArrayGrowBy(std::uint8_t ucGrowBy) { ms_ucArrayGrowBy = ucGrowBy; }
    static void ResetArrayGrowBy() { ms_ucArrayGrowBy = DEFAULT_ARRAY_GROW_BY; }

    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    // A file whose blends lead back to themselves would recurse without end
    // on the first update: such a load is refused.
    void PostLink(NiObjectStream& kStream) override;
    // The slots hold counted items from the moment they are read.
    void DropCountedLinks() override;

protected:
    static constexpr std::uint8_t DEFAULT_ARRAY_GROW_BY = 2;

    NiBlendInterpolator() = default;
    NiBlendInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize);
    void CopyMembers(NiBlendInterpolator* pkDest, NiCloneContext& kCloning);

    // The time an item (or the single item) is asked at.
    [[nodiscard]] float GetItemTime(float fTime, const NiBlendInterpItem& kItem) const
    {
        return GetManagerControlled() ? kItem.m_fUpdateTime : fTime;
    }
    [[nodiscard]] float GetSingleUpdateTime(float fTime) const
    {
        return GetManagerControlled() ? m_fSingleTime : fTime;
    }

    // The typed blends share the shape of an update and differ only in how
    // they ask an item (one of the six Update operations, given as a member
    // pointer) and what they make of the answers.
    template <class T>
    using UpdateFunction = bool (NiInterpolator::*)(float, NiObjectNET*, T&);

    // One update: with one item fnSingle(), with more fnMix() once the
    // weights are normalised, with none false. The time is kept either way.
    template <class Single, class Mix>
    bool RunUpdate(float fTime, Single&& fnSingle, Mix&& fnMix)
    {
        bool bResult = false;
        if (m_ucInterpCount == 1)
        {
            bResult = fnSingle();
        }
        else if (m_ucInterpCount > 1)
        {
            ComputeNormalizedWeights();
            bResult = fnMix();
        }
        m_fLastTime = fTime;
        return bResult;
    }

    enum class SingleAnswer
    {
        NO_TIME, // no single interpolator, or its update time is invalid
        FAILED,
        VALID,
    };
    // Asks the single item at its update time.
    template <class T>
    SingleAnswer AskSingle(float fTime, NiObjectNET* pkTarget, UpdateFunction<T> pfnUpdate, T& kItemValue)
    {
        float fItemTime = GetSingleUpdateTime(fTime);
        if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
            return SingleAnswer::NO_TIME;
        return (m_pkSingleInterpolator->*pfnUpdate)(fItemTime, pkTarget, kItemValue) ? SingleAnswer::VALID
                                                                                      : SingleAnswer::FAILED;
    }

    // Asks, in array order, every item that holds an interpolator and has a
    // normalised weight above 0, and hands fnItem(weight, answered, value)
    // the outcome; an invalid item time counts as no answer.
    template <class T, class Item>
    void AskItems(float fTime, NiObjectNET* pkTarget, UpdateFunction<T> pfnUpdate, Item&& fnItem)
    {
        for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
        {
            const NiBlendInterpItem& kItem = m_pkInterpArray[i];
            if (!kItem.m_spInterpolator)
                continue;
            float w = kItem.m_fNormalizedWeight;
            if (!(w > 0.0f))
                continue;
            float fItemTime = GetItemTime(fTime, kItem);
            T kItemValue{};
            bool bAnswered =
                fItemTime != NI_MIN_FLOAT && (kItem.m_spInterpolator->*pfnUpdate)(fItemTime, pkTarget, kItemValue);
            fnItem(w, bAnswered, kItemValue);
        }
    }

    // Weighted mean of the answers into kMean, which starts at zero: the sum
    // of value x weight over the answering items, divided by 1 less the
    // weights of the items that gave no answer. False (kMean left at the
    // zero sum) when no item answered.
    template <class T>
    bool WeightedMean(float fTime, NiObjectNET* pkTarget, UpdateFunction<T> pfnUpdate, T& kMean)
    {
        float fTotal = 1.0f;
        bool bAny = false;
        AskItems(fTime, pkTarget, pfnUpdate, [&](float w, bool bAnswered, const T& kItemValue) {
            if (!bAnswered)
            {
                fTotal -= w;
                return;
            }
            kMean = kMean + kItemValue * w;
            bAny = true;
        });
        if (bAny)
            kMean = kMean * (1.0f / fTotal);
        return bAny;
    }

    std::uint8_t m_uFlags = 0;
    std::uint8_t m_ucArraySize = 0;
    std::uint8_t m_ucInterpCount = 0;
    std::uint8_t m_ucSingleIdx = INVALID_INDEX;
    std::int8_t m_cHighPriority = LOWEST_PRIORITY;
    std::int8_t m_cNextHighPriority = LOWEST_PRIORITY;
    std::unique_ptr<NiBlendInterpItem[]> m_pkInterpArray;
    NiInterpolator* m_pkSingleInterpolator = nullptr; // the slot holds the reference
    float m_fWeightThreshold = 0.0f;
    float m_fSingleTime = NI_MIN_FLOAT;
    float m_fHighSumOfWeights = NI_MIN_FLOAT;
    float m_fNextHighSumOfWeights = NI_MIN_FLOAT;
    float m_fHighEaseSpinner = NI_MIN_FLOAT;

private:
    void WeightsChanged();
    void RebuildPriorities();
    void RecountItems();
    void ComputeTwoItemWeights();
    [[nodiscard]] bool ReadOldRecord(NiObjectStream& kStream);
    [[nodiscard]] bool ReadSlot(NiObjectStream& kStream, NiBlendInterpItem& kItem, bool bWidePriority);

    static std::uint8_t ms_ucArrayGrowBy;
};

using NiBlendInterpolatorPtr = NiRefPtr<NiBlendInterpolator>;
