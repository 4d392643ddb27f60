#pragma once

#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiSingleChannelInterpolator.h"

#include <cstdint>

// A bool (0, 1; 2 = invalid) from bool keys, or a constant pose without them.
class NiBoolInterpolator : public NiSingleChannelInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoolInterpolator)

public:
    // Invalid pose, no data.
    NiBoolInterpolator() = default;
    explicit NiBoolInterpolator(std::uint8_t kPose) : m_bBoolValue(kPose) {}
    explicit NiBoolInterpolator(NiBoolData* pkData) : NiSingleChannelInterpolator(pkData) {}
    ~NiBoolInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue) override;
    [[nodiscard]] bool IsBoolValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(std::uint8_t kPose);
    [[nodiscard]] std::uint8_t GetPoseValue() const { return m_bBoolValue; }
    [[nodiscard]] NiBoolData* GetData() const { return static_cast<NiBoolData*>(m_spData.Get()); }
    void SetData(NiBoolData* pkData) { m_spData = pkData; }

    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t) const override { return NI_BOOLKEY; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const std::uint8_t& v) { return v != INVALID_BOOL; }

    [[nodiscard]] const NiTypeInfo* GetDataTypeInfo() const override { return NiBoolData::TypeInfo(); }
    [[nodiscard]] bool IsPoseValid() const override { return IsValueValid(m_bBoolValue); }
    void InvalidatePose() override { m_bBoolValue = INVALID_BOOL; }
    void EvaluatePose(float fTime) override;
    void SetPoseFromKey(const NiAnimKey& kKey) override;
    [[nodiscard]] bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const override;
    void ReadPose(NiObjectStream& kStream) override;
    void WritePose(NiObjectStream& kStream) const override;

    // The constant value without data, and the cache of the last evaluation.
    std::uint8_t m_bBoolValue = INVALID_BOOL;
};

using NiBoolInterpolatorPtr = NiRefPtr<NiBoolInterpolator>;
