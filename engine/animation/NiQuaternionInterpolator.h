#pragma once

#include "engine/animation/NiRotData.h"
#include "engine/animation/NiSingleChannelInterpolator.h"

#include <cstdint>

// A rotation from rotation keys (quaternion or Euler), or a constant pose without them.
class NiQuaternionInterpolator : public NiSingleChannelInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiQuaternionInterpolator)

public:
    // Invalid pose, no data.
    NiQuaternionInterpolator() = default;
    explicit NiQuaternionInterpolator(const NiQuat& kPose) : m_kQuaternionValue(kPose) {}
    explicit NiQuaternionInterpolator(NiRotData* pkData) : NiSingleChannelInterpolator(pkData) {}
    ~NiQuaternionInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateQuaternion(float fTime, NiObjectNET* pkTarget, NiQuat& kValue) override;
    [[nodiscard]] bool IsQuaternionValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiQuat& kPose);
    [[nodiscard]] NiQuat GetPoseValue() const { return m_kQuaternionValue; }
    [[nodiscard]] NiRotData* GetData() const { return static_cast<NiRotData*>(m_spData.Get()); }
    void SetData(NiRotData* pkData) { m_spData = pkData; }

    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t) const override { return NI_ROTKEY; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const NiQuat& v) { return v != NiQuat::INVALID_QUATERNION; }

    [[nodiscard]] const NiTypeInfo* GetDataTypeInfo() const override { return NiRotData::TypeInfo(); }
    [[nodiscard]] bool IsPoseValid() const override { return IsValueValid(m_kQuaternionValue); }
    void InvalidatePose() override { m_kQuaternionValue = NiQuat::INVALID_QUATERNION; }
    void EvaluatePose(float fTime) override;
    void SetPoseFromKey(const NiAnimKey& kKey) override;
    [[nodiscard]] bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const override;
    void ReadPose(NiObjectStream& kStream) override;
    void WritePose(NiObjectStream& kStream) const override;

    // The constant value without data, and the cache of the last evaluation.
    NiQuat m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
};

using NiQuaternionInterpolatorPtr = NiRefPtr<NiQuaternionInterpolator>;
