#pragma once

#include "engine/animation/NiPosData.h"
#include "engine/animation/NiSingleChannelInterpolator.h"

#include <cstdint>

// A point from point keys, or a constant pose without them.
class NiPoint3Interpolator : public NiSingleChannelInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPoint3Interpolator)

public:
    // Invalid pose, no data.
    NiPoint3Interpolator() = default;
    explicit NiPoint3Interpolator(const NiVec3& kPose) : m_kPoint3Value(kPose) {}
    explicit NiPoint3Interpolator(NiPosData* pkData) : NiSingleChannelInterpolator(pkData) {}
    ~NiPoint3Interpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdatePoint3(float fTime, NiObjectNET* pkTarget, NiVec3& kValue) override;
    [[nodiscard]] bool IsPoint3ValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiVec3& kPose);
    [[nodiscard]] NiVec3 GetPoseValue() const { return m_kPoint3Value; }
    [[nodiscard]] NiPosData* GetData() const { return static_cast<NiPosData*>(m_spData.Get()); }
    void SetData(NiPosData* pkData) { m_spData = pkData; }

    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t) const override { return NI_POSKEY; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const NiVec3& v) { return IsPoint3Valid(v); }

    [[nodiscard]] const NiTypeInfo* GetDataTypeInfo() const override { return NiPosData::TypeInfo(); }
    [[nodiscard]] bool IsPoseValid() const override { return IsValueValid(m_kPoint3Value); }
    void InvalidatePose() override { m_kPoint3Value = INVALID_POINT3; }
    void EvaluatePose(float fTime) override;
    void SetPoseFromKey(const NiAnimKey& kKey) override;
    [[nodiscard]] bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const override;
    void ReadPose(NiObjectStream& kStream) override;
    void WritePose(NiObjectStream& kStream) const override;

    // The constant value without data, and the cache of the last evaluation.
    NiVec3 m_kPoint3Value = INVALID_POINT3;
};

using NiPoint3InterpolatorPtr = NiRefPtr<NiPoint3Interpolator>;
