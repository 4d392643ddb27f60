#pragma once

#include "engine/animation/NiKeyBasedInterpolator.h"
#include "engine/animation/NiPathCurve.h"
#include "engine/core/NiQuat.h"

#include <cstdint>

// Moves an object along a curve of position keys at the speed of its
// percent keys; following, it turns the object along the curve.
class NiPathInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPathInterpolator)

public:
    enum Channel : std::uint16_t
    {
        PATH = 0,
        PERCENTAGE = 1,
    };

    NiPathInterpolator() = default;
    NiPathInterpolator(NiPosData* pkPathData, NiFloatData* pkPercentData);
    ~NiPathInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // Translation, and rotation when following; computed once per time.
    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }
    void GetActiveTimeRange(float& fBegin, float& fEnd) const override;
    void GuaranteeTimeRange(float fBegin, float fEnd) override;
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;

    [[nodiscard]] std::uint16_t GetKeyChannelCount() const override { return 2; }
    [[nodiscard]] std::uint32_t GetKeyCount(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyType(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t usChannel) const override;
    [[nodiscard]] NiAnimKey* GetKeyArray(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint8_t GetKeyStride(std::uint16_t usChannel) const override;
    [[nodiscard]] bool GetChannelPosed(std::uint16_t) const override { return false; }

    [[nodiscard]] NiPathCurve& GetCurve() { return m_kCurve; }
    [[nodiscard]] const NiPathCurve& GetCurve() const { return m_kCurve; }
    [[nodiscard]] std::uint32_t GetEvaluationCount() const { return m_uiEvaluations; }

    // Record: u16 flags, u32 bank direction, f32 maximum bank angle, f32
    // smoothing, u16 follow axis, path and percent links.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void DropCountedLinks() override;

private:
    [[nodiscard]] const NiKeyData* GetChannelData(std::uint16_t usChannel) const;

    NiPathCurve m_kCurve;
    NiQuat m_kRotation{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
    NiVec3 m_kPosition{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
    std::uint32_t m_uiEvaluations = 0;
};

using NiPathInterpolatorPtr = NiRefPtr<NiPathInterpolator>;
