#pragma once

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiSingleChannelInterpolator.h"

#include <cstdint>

// A float from float keys, or a constant pose without them.
class NiFloatInterpolator : public NiSingleChannelInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatInterpolator)

public:
    // Invalid pose, no data.
    NiFloatInterpolator() = default;
    explicit NiFloatInterpolator(float kPose) : m_fFloatValue(kPose) {}
    explicit NiFloatInterpolator(NiFloatData* pkData) : NiSingleChannelInterpolator(pkData) {}
    ~NiFloatInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateFloat(float fTime, NiObjectNET* pkTarget, float& kValue) override;
    [[nodiscard]] bool IsFloatValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(float kPose);
    [[nodiscard]] float GetPoseValue() const { return m_fFloatValue; }
    [[nodiscard]] NiFloatData* GetData() const { return static_cast<NiFloatData*>(m_spData.Get()); }
    void SetData(NiFloatData* pkData) { m_spData = pkData; }

    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t) const override { return NI_FLOATKEY; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const float& v) { return v != NI_MIN_FLOAT; }

    [[nodiscard]] const NiTypeInfo* GetDataTypeInfo() const override { return NiFloatData::TypeInfo(); }
    [[nodiscard]] bool IsPoseValid() const override { return IsValueValid(m_fFloatValue); }
    void InvalidatePose() override { m_fFloatValue = NI_MIN_FLOAT; }
    void EvaluatePose(float fTime) override;
    void SetPoseFromKey(const NiAnimKey& kKey) override;
    [[nodiscard]] bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const override;
    void ReadPose(NiObjectStream& kStream) override;
    void WritePose(NiObjectStream& kStream) const override;

    // The constant value without data, and the cache of the last evaluation.
    float m_fFloatValue = NI_MIN_FLOAT;
};

using NiFloatInterpolatorPtr = NiRefPtr<NiFloatInterpolator>;
