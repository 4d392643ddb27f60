#pragma once

#include "engine/animation/NiColorData.h"
#include "engine/animation/NiSingleChannelInterpolator.h"

#include <cstdint>

// A colour from colour keys, or a constant pose without them.
class NiColorInterpolator : public NiSingleChannelInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiColorInterpolator)

public:
    // Invalid pose, no data.
    NiColorInterpolator() = default;
    explicit NiColorInterpolator(const NiColorRGBA& kPose) : m_kColorValue(kPose) {}
    explicit NiColorInterpolator(NiColorData* pkData) : NiSingleChannelInterpolator(pkData) {}
    ~NiColorInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateColor(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue) override;
    [[nodiscard]] bool IsColorValueSupported() const override { return true; }

    // Drops the data; the value becomes the constant pose.
    void SetPoseValue(const NiColorRGBA& kPose);
    [[nodiscard]] NiColorRGBA GetPoseValue() const { return m_kColorValue; }
    [[nodiscard]] NiColorData* GetData() const { return static_cast<NiColorData*>(m_spData.Get()); }
    void SetData(NiColorData* pkData) { m_spData = pkData; }

    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t) const override { return NI_COLORKEY; }

    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] static bool IsValueValid(const NiColorRGBA& v) { return IsColorValid(v); }

    [[nodiscard]] const NiTypeInfo* GetDataTypeInfo() const override { return NiColorData::TypeInfo(); }
    [[nodiscard]] bool IsPoseValid() const override { return IsValueValid(m_kColorValue); }
    void InvalidatePose() override { m_kColorValue = INVALID_COLOR; }
    void EvaluatePose(float fTime) override;
    void SetPoseFromKey(const NiAnimKey& kKey) override;
    [[nodiscard]] bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const override;
    void ReadPose(NiObjectStream& kStream) override;
    void WritePose(NiObjectStream& kStream) const override;

    // The constant value without data, and the cache of the last evaluation.
    NiColorRGBA m_kColorValue = INVALID_COLOR;
};

using NiColorInterpolatorPtr = NiRefPtr<NiColorInterpolator>;
