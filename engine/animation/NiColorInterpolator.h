#pragma once

#include "engine/animation/NiColorData.h"
#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cstdint>

// A colour from colour keys, or a constant pose without them.
class NiColorInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiColorInterpolator)

public:
    // Invalid pose, no data.
    NiColorInterpolator() = default;
    explicit NiColorInterpolator(const NiColorRGBA& kPose) : m_kColorValue(kPose) {}
    explicit NiColorInterpolator(NiColorData* pkData) : m_spColorData(pkData) {}
    ~NiColorInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateColor(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue) override;
    [[nodiscard]] bool IsColorValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiColorRGBA& kPose);
    [[nodiscard]] NiColorRGBA GetPoseValue() const { return m_kColorValue; }
    [[nodiscard]] NiColorData* GetData() const { return m_spColorData; }
    void SetData(NiColorData* pkData) { m_spColorData = pkData; }

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
    [[nodiscard]] static bool IsValueValid(const NiColorRGBA& v) { return IsColorValid(v); }

    // The constant value without data, and the cache of the last evaluation.
    NiColorRGBA m_kColorValue = INVALID_COLOR;
    NiRefPtr<NiColorData> m_spColorData;
    std::uint32_t m_uiLastIdx = 0;
};

using NiColorInterpolatorPtr = NiRefPtr<NiColorInterpolator>;
