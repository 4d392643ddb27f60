#pragma once

#include "engine/animation/NiRotData.h"
#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cstdint>

// A rotation from rotation keys (quaternion or Euler), or a constant pose without them.
class NiQuaternionInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiQuaternionInterpolator)

public:
    // Invalid pose, no data.
    NiQuaternionInterpolator() = default;
    explicit NiQuaternionInterpolator(const NiQuat& kPose) : m_kQuaternionValue(kPose) {}
    explicit NiQuaternionInterpolator(NiRotData* pkData) : m_spQuaternionData(pkData) {}
    ~NiQuaternionInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateQuaternion(float fTime, NiObjectNET* pkTarget, NiQuat& kValue) override;
    [[nodiscard]] bool IsQuaternionValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiQuat& kPose);
    [[nodiscard]] NiQuat GetPoseValue() const { return m_kQuaternionValue; }
    [[nodiscard]] NiRotData* GetData() const { return m_spQuaternionData; }
    void SetData(NiRotData* pkData) { m_spQuaternionData = pkData; }

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
    [[nodiscard]] static bool IsValueValid(const NiQuat& v) { return v != NiQuat::INVALID_QUATERNION; }

    // The constant value without data, and the cache of the last evaluation.
    NiQuat m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
    NiRefPtr<NiRotData> m_spQuaternionData;
    std::uint32_t m_uiLastIdx = 0;
};

using NiQuaternionInterpolatorPtr = NiRefPtr<NiQuaternionInterpolator>;
