#pragma once

#include "engine/animation/NiKeyBasedInterpolator.h"
#include "engine/animation/NiQuatTransform.h"
#include "engine/animation/NiTransformData.h"

#include <cstdint>

// A transform from position, rotation and scale keys; a channel without keys
// gives its constant pose part instead.
class NiTransformInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTransformInterpolator)

public:
    enum Channel : std::uint16_t
    {
        POSITION = 0,
        ROTATION = 1,
        SCALE = 2,
    };
    // Content reported for channel numbers that do not exist.
    static constexpr std::uint32_t NO_CONTENT = 6;

    NiTransformInterpolator() = default;
    explicit NiTransformInterpolator(NiTransformData* pkData) { SetData(pkData); }
    explicit NiTransformInterpolator(const NiQuatTransform& kPose) : m_kTransformValue(kPose) {}
    ~NiTransformInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }

    [[nodiscard]] const NiQuatTransform& GetPoseValue() const { return m_kTransformValue; }
    void SetPoseValue(const NiQuatTransform& kPose) { m_kTransformValue = kPose; }
    [[nodiscard]] NiTransformData* GetTransformData() const { return m_spData; }
    void SetTransformData(NiTransformData* pkData) { SetData(pkData); }

    void Collapse() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;

    [[nodiscard]] std::uint16_t GetKeyChannelCount() const override { return 3; }
    [[nodiscard]] std::uint32_t GetKeyCount(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyType(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t usChannel) const override;
    [[nodiscard]] NiAnimKey* GetKeyArray(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint8_t GetKeyStride(std::uint16_t usChannel) const override;
    [[nodiscard]] bool GetChannelPosed(std::uint16_t usChannel) const override;

    void DropCountedLinks() override;
    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    const NiKeyChannel* GetChannel(std::uint16_t usChannel) const;

    NiQuatTransform m_kTransformValue;
    NiTransformDataPtr m_spData;
    std::uint32_t m_uiLastTransIdx = 0;
    std::uint32_t m_uiLastRotIdx = 0;
    std::uint32_t m_uiLastScaleIdx = 0;

    // The data's channels as UpdateTransform reads them, kept here so that a
    // frame reads the interpolator and the keys but not the data object: a
    // crowd's evaluations are bound by those cache misses, one after the
    // other. Valid while the data is the one they were taken from and no
    // key channel anywhere has changed since (NiKeyChannel::GetGeneration).
    // The data is not kept beside them: every change of it goes through
    // SetData, which marks them stale (the count starts above 0), and the
    // interpolator stays within two cache lines more often.
    struct ChannelViews
    {
        std::uint64_t m_uiGeneration = 0;
        NiKeyChannel::View m_kRot;
        NiKeyChannel::View m_kScale;
        NiKeyChannel::View m_kPos;
    };
    void TakeChannelViews();
    void SetData(NiTransformData* pkData)
    {
        m_spData = pkData;
        m_kViews.m_uiGeneration = 0;
    }
    // UpdateTransform at a new time for every case: views taken again, a
    // channel's interval searched for, Euler keys. Out of line and called
    // last, so that the common case calls nothing and keeps its values in
    // scratch registers.
    [[gnu::noinline]] bool UpdateAnyCase(float fTime, NiQuatTransform& kValue);
    [[nodiscard]] bool FinishUpdate(float fTime)
    {
        if (m_kTransformValue.IsTransformInvalid())
            return false;
        m_fLastTime = fTime;
        return true;
    }
    ChannelViews m_kViews;
};

using NiTransformInterpolatorPtr = NiRefPtr<NiTransformInterpolator>;
