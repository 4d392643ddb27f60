#pragma once

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cstdint>

// A float from float keys, or a constant pose without them.
class NiFloatInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatInterpolator)

public:
    // Invalid pose, no data.
    NiFloatInterpolator() = default;
    explicit NiFloatInterpolator(float kPose) : m_fFloatValue(kPose) {}
    explicit NiFloatInterpolator(NiFloatData* pkData) : m_spFloatData(pkData) {}
    ~NiFloatInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateFloat(float fTime, NiObjectNET* pkTarget, float& kValue) override;
    [[nodiscard]] bool IsFloatValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(float kPose);
    [[nodiscard]] float GetPoseValue() const { return m_fFloatValue; }
    [[nodiscard]] NiFloatData* GetData() const { return m_spFloatData; }
    void SetData(NiFloatData* pkData) { m_spFloatData = pkData; }

    void Collapse() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;

    [[nodiscard]] std::uint16_t GetKeyChannelCount() const override { return 1; }
    [[nodiscard]] std::uint32_t GetKeyCount(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyType(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t usChannel) const override;
    [[nodiscard]] NiAnimKey* GetKeyArray(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint8_t GetKeyStride(std::uint16_t usChannel) const override;
    [[nodiscard]] bool GetChannelPosed(std::uint16_t usChannel) const override;

    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const float& v) { return v != NI_MIN_FLOAT; }

    // The constant value without data, and the cache of the last evaluation.
    float m_fFloatValue = NI_MIN_FLOAT;
    NiRefPtr<NiFloatData> m_spFloatData;
    std::uint32_t m_uiLastIdx = 0;
};

using NiFloatInterpolatorPtr = NiRefPtr<NiFloatInterpolator>;
