#pragma once

#include "engine/animation/NiAnimKey.h"
#include "engine/animation/NiAnimKeyTables.h"

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>

class NiObjectStream;

// One owned key array with the count, type and stride kept beside it: the
// unit every key-data object is made of. All work on the keys goes through
// the key tables of the channel's content.
//
// Setting keys also prepares them for evaluation: the kind's interpolation
// function, and a copy of the key times the search reads instead of the
// records. Key times are therefore taken as they are when the keys are set;
// values are always read from the records.
class NiKeyChannel
{
public:
    // What the common case of an evaluation reads of a channel, in 16 bytes,
    // for an owner that keeps it beside its own state (see GetGeneration).
    struct View
    {
        const NiAnimKey* m_pkKeys = nullptr;
        std::uint32_t m_uiNumKeys = 0;
        std::uint8_t m_ucStride = 0;
        std::uint8_t m_ucType = 0; // one of the four pair kinds when ordered
        bool m_bOrdered = false;   // NearInterval applies
    };
    [[nodiscard]] View GetView() const
    {
        View kView;
        kView.m_pkKeys = m_pkKeys;
        kView.m_uiNumKeys = m_uiNumKeys;
        kView.m_ucStride = m_ucStride;
        const bool bPairKind = m_uiType == NI_LINKEY || m_uiType == NI_BEZKEY || m_uiType == NI_TCBKEY ||
                               m_uiType == NI_STEPKEY;
        kView.m_ucType = bPairKind ? static_cast<std::uint8_t>(m_uiType) : 0;
        kView.m_bOrdered = m_bOrdered && bPairKind;
        return kView;
    }
    // Counts every change of any channel's keys, count, type or evaluation
    // state, process-wide: a view taken at one count is still the channel's
    // own while the count stays the same. Only ever grows, so it needs no
    // reset between tests.
    [[nodiscard]] static std::uint64_t GetGeneration() { return s_uiGeneration.load(std::memory_order_relaxed); }

    explicit NiKeyChannel(std::uint32_t uiContent) : m_uiContent(uiContent) {}
    ~NiKeyChannel() { Free(); }
    NiKeyChannel(const NiKeyChannel&) = delete;
    NiKeyChannel& operator=(const NiKeyChannel&) = delete;

    [[nodiscard]] std::uint32_t GetContent() const { return m_uiContent; }
    [[nodiscard]] std::uint32_t GetNumKeys() const { return m_uiNumKeys; }
    [[nodiscard]] NiAnimKey* GetKeys() const { return m_pkKeys; }
    [[nodiscard]] std::uint32_t GetType() const { return m_uiType; }
    [[nodiscard]] std::uint8_t GetStride() const { return m_ucStride; }
    [[nodiscard]] bool HasKeys() const { return m_pkKeys != nullptr && m_uiNumKeys > 0; }
    [[nodiscard]] NiAnimKey* GetKeyAt(std::uint32_t i) const { return NiAnimKey::At(m_pkKeys, i, m_ucStride); }

    // Frees the current keys, then takes the new ones when keys, count and
    // type are all given; otherwise the channel ends up empty.
    void Replace(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType);
    // The same without freeing the current array (its owner keeps it).
    void Set(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType);
    void Free();

    // Deep copy of another channel of the same content.
    void CopyFrom(const NiKeyChannel& kOther);
    [[nodiscard]] bool IsEqual(const NiKeyChannel& kOther) const;

    // The value at t for a channel of two or more keys of a kind that
    // interpolates pairs (not Euler keys), written to pvResult: the same bits
    // as the content's EvaluateAt over the same keys and hint. False, with
    // nothing written, for any other channel.
    // Inline: it runs for every animated channel every frame, and the call
    // would cost as much as the common case itself.
    bool InterpolateAt(float t, std::uint32_t& uiLastIdx, void* pvResult) const
    {
        if (m_pfnInterpolate == nullptr)
            return false;
        const NiAnimKey* pkKey0;
        const NiAnimKey* pkKey1;
        float fU;
        if (NearInterval(t, uiLastIdx, pkKey0, pkKey1, fU))
            m_pfnInterpolate(fU, pkKey0, pkKey1, pvResult);
        else
            SearchAndInterpolate(t, uiLastIdx, pvResult);
        return true;
    }

    // InterpolateAt's common case on its own: with the times in order, t
    // inside the interval of the last search or strictly inside the next one
    // leaves the search nothing else to find. Playback mostly stays there, so
    // this reads neighbouring keys only, never the far end of the array.
    // True with the interval's keys and the parameter the kind's function
    // takes (uiLastIdx updated); false, with nothing changed, for every other
    // case.
    bool NearInterval(float t, std::uint32_t& uiLastIdx, const NiAnimKey*& pkKey0, const NiAnimKey*& pkKey1,
                      float& fU) const
    {
        IntervalMemo kMemo;
        return NearInterval(t, uiLastIdx, pkKey0, pkKey1, fU, kMemo);
    }

    // The last interval whose parameter was worked out, for channels
    // evaluated at one and the same t one after the other: when they are
    // keyed at the same times (as exported animation mostly is), the divide
    // is the same and is done once. The times are compared bit for bit (0
    // and -0 differ), so the same inputs give the same bits. Never kept
    // across two values of t.
    struct IntervalMemo
    {
        // A NaN pattern: an ordered channel has no NaN times.
        std::uint32_t m_uiT0 = 0xFFFFFFFFu;
        std::uint32_t m_uiT1 = 0xFFFFFFFFu;
        float m_fU = 0.0f;
    };
    bool NearInterval(float t, std::uint32_t& uiLastIdx, const NiAnimKey*& pkKey0, const NiAnimKey*& pkKey1,
                      float& fU, IntervalMemo& kMemo) const
    {
        // Ordered implies a function and at least two keys (Prepare).
        if (!m_bOrdered)
            return false;
        return NearInterval(m_pkKeys, m_uiNumKeys, m_ucStride, t, uiLastIdx, pkKey0, pkKey1, fU, kMemo);
    }
    // The same over a view taken while the generation has not changed.
    static bool NearInterval(const View& kView, float t, std::uint32_t& uiLastIdx, const NiAnimKey*& pkKey0,
                             const NiAnimKey*& pkKey1, float& fU, IntervalMemo& kMemo)
    {
        if (!kView.m_bOrdered)
            return false;
        return NearInterval(kView.m_pkKeys, kView.m_uiNumKeys, kView.m_ucStride, t, uiLastIdx, pkKey0, pkKey1, fU,
                            kMemo);
    }

    [[nodiscard]] NiAnimKeyTables::CurveFunction GetInterpolateFunction() const { return m_pfnInterpolate; }

    void GuaranteeKeysAtStartAndEnd(float fStart, float fEnd);
    // Replaces the keys by their copy over [begin, end].
    void ReduceToSubRange(float fBegin, float fEnd);

    // Block: u32 count; when not 0, u32 type and the keys. A block the
    // remaining bytes cannot hold, or of a type without a file form, marks
    // the load corrupt and leaves the channel empty.
    bool Read(NiObjectStream& kStream);
    void Write(NiObjectStream& kStream) const;

private:
    // NearInterval over ordered keys (two or more).
    static bool NearInterval(const NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint8_t ucStride, float t,
                             std::uint32_t& uiLastIdx, const NiAnimKey*& pkKey0, const NiAnimKey*& pkKey1, float& fU,
                             IntervalMemo& kMemo)
    {
        std::uint32_t h = uiLastIdx < uiNumKeys - 1 ? uiLastIdx : uiNumKeys - 2;
        const NiAnimKey* pkK0 = NiAnimKey::At(pkKeys, h, ucStride);
        const NiAnimKey* pkK1 = NiAnimKey::At(pkKeys, h + 1, ucStride);
        if (!(pkK0->m_fTime <= t && t < pkK1->m_fTime))
        {
            if (!(t > pkK1->m_fTime && h + 2 < uiNumKeys && t < NiAnimKey::At(pkKeys, h + 2, ucStride)->m_fTime))
                return false;
            ++h;
            pkK0 = pkK1;
            pkK1 = NiAnimKey::At(pkKeys, h + 1, ucStride);
        }
        uiLastIdx = h;
        pkKey0 = pkK0;
        pkKey1 = pkK1;
        const float fT0 = pkK0->m_fTime;
        const float fT1 = pkK1->m_fTime;
        const auto uiT0 = std::bit_cast<std::uint32_t>(fT0);
        const auto uiT1 = std::bit_cast<std::uint32_t>(fT1);
        if (uiT0 == kMemo.m_uiT0 && uiT1 == kMemo.m_uiT1)
        {
            fU = kMemo.m_fU;
            return true;
        }
        const float fSpan = fT1 - fT0;
        fU = fSpan > 0.0f ? (t - fT0) / fSpan : 1.0f;
        kMemo = {uiT0, uiT1, fU};
        return true;
    }

    void Prepare();
    // InterpolateAt outside the last interval: the shared key search.
    void SearchAndInterpolate(float t, std::uint32_t& uiLastIdx, void* pvResult) const;

    const std::uint32_t m_uiContent;
    std::uint32_t m_uiNumKeys = 0;
    NiAnimKey* m_pkKeys = nullptr;
    std::uint32_t m_uiType = 0;
    std::uint8_t m_ucStride = 0;

    // Evaluation state from Prepare: null function unless InterpolateAt
    // applies; the times in order of the keys; whether they never decrease.
    NiAnimKeyTables::CurveFunction m_pfnInterpolate = nullptr;
    std::unique_ptr<float[]> m_spTimes;
    bool m_bOrdered = false;

    static std::atomic<std::uint64_t> s_uiGeneration;
};
