#pragma once

#include "engine/animation/NiKeyBasedInterpolator.h"
#include "engine/animation/NiQuatTransform.h"
#include "engine/animation/NiTransformData.h"

#include <cstdint>

// A transform from position, rotation and scale keys; a channel without keys
// gives its constant pose part instead.
class NiTransformInterpolator : public NiKeyBasedInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTransformInterpolator)

public:
    enum Channel : std::uint16_t
    {
        POSITION = 0,
        ROTATION = 1,
        SCALE = 2,
    };
    // Content reported for channel numbers that do not exist.
    static constexpr std::uint32_t NO_CONTENT = 6;

    NiTransformInterpolator() = default;
    explicit NiTransformInterpolator(NiTransformData* pkData) : m_spData(pkData) {}
    explicit NiTransformInterpolator(const NiQuatTransform& kPose) : m_kTransformValue(kPose) {}
    ~NiTransformInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }

    [[nodiscard]] const NiQuatTransform& GetPoseValue() const { return m_kTransformValue; }
    void SetPoseValue(const NiQuatTransform& kPose) { m_kTransformValue = kPose; }
    [[nodiscard]] NiTransformData* GetTransformData() const { return m_spData; }
    void SetTransformData(NiTransformData* pkData) { m_spData = pkData; }

    void Collapse() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;

    [[nodiscard]] std::uint16_t GetKeyChannelCount() const override { return 3; }
    [[nodiscard]] std::uint32_t GetKeyCount(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyType(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyContent(std::uint16_t usChannel) const override;
    [[nodiscard]] NiAnimKey* GetKeyArray(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint8_t GetKeyStride(std::uint16_t usChannel) const override;
    [[nodiscard]] bool GetChannelPosed(std::uint16_t usChannel) const override;

    void DropCountedLinks() override;
    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    const NiKeyChannel* GetChannel(std::uint16_t usChannel) const;

    NiQuatTransform m_kTransformValue;
    NiTransformDataPtr m_spData;
    std::uint32_t m_uiLastTransIdx = 0;
    std::uint32_t m_uiLastRotIdx = 0;
    std::uint32_t m_uiLastScaleIdx = 0;
};

using NiTransformInterpolatorPtr = NiRefPtr<NiTransformInterpolator>;
