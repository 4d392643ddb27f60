#pragma once

#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cstdint>

// A bool (0, 1; 2 = invalid) from bool keys, or a constant pose without them.
class NiBoolInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoolInterpolator)

public:
    // Invalid pose, no data.
    NiBoolInterpolator() = default;
    explicit NiBoolInterpolator(std::uint8_t kPose) : m_bBoolValue(kPose) {}
    explicit NiBoolInterpolator(NiBoolData* pkData) : m_spBoolData(pkData) {}
    ~NiBoolInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue) override;
    [[nodiscard]] bool IsBoolValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(std::uint8_t kPose);
    [[nodiscard]] std::uint8_t GetPoseValue() const { return m_bBoolValue; }
    [[nodiscard]] NiBoolData* GetData() const { return m_spBoolData; }
    void SetData(NiBoolData* pkData) { m_spBoolData = pkData; }

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
    [[nodiscard]] static bool IsValueValid(const std::uint8_t& v) { return v != INVALID_BOOL; }

    // The constant value without data, and the cache of the last evaluation.
    std::uint8_t m_bBoolValue = INVALID_BOOL;
    NiRefPtr<NiBoolData> m_spBoolData;
    std::uint32_t m_uiLastIdx = 0;
};

using NiBoolInterpolatorPtr = NiRefPtr<NiBoolInterpolator>;
