#pragma once

#include "engine/animation/NiPosData.h"
#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cstdint>

// A point from point keys, or a constant pose without them.
class NiPoint3Interpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPoint3Interpolator)

public:
    // Invalid pose, no data.
    NiPoint3Interpolator() = default;
    explicit NiPoint3Interpolator(const NiVec3& kPose) : m_kPoint3Value(kPose) {}
    explicit NiPoint3Interpolator(NiPosData* pkData) : m_spPoint3Data(pkData) {}
    ~NiPoint3Interpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdatePoint3(float fTime, NiObjectNET* pkTarget, NiVec3& kValue) override;
    [[nodiscard]] bool IsPoint3ValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiVec3& kPose);
    [[nodiscard]] NiVec3 GetPoseValue() const { return m_kPoint3Value; }
    [[nodiscard]] NiPosData* GetData() const { return m_spPoint3Data; }
    void SetData(NiPosData* pkData) { m_spPoint3Data = pkData; }

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
    [[nodiscard]] static bool IsValueValid(const NiVec3& v) { return IsPoint3Valid(v); }

    // The constant value without data, and the cache of the last evaluation.
    NiVec3 m_kPoint3Value = INVALID_POINT3;
    NiRefPtr<NiPosData> m_spPoint3Data;
    std::uint32_t m_uiLastIdx = 0;
};

using NiPoint3InterpolatorPtr = NiRefPtr<NiPoint3Interpolator>;
