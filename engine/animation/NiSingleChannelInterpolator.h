#pragma once

#include "engine/animation/NiKeyBasedInterpolator.h"
#include "engine/animation/NiKeyData.h"

#include <cstdint>

// An interpolator with one key channel: key data of one content, or a
// constant pose value without it. The concrete class owns the pose field
// (its type differs per kind; it doubles as the cache of the last
// evaluation) and reaches it through the few virtuals below; the channel,
// the update contract, collapsing and the record are the same for all.
// Like NiKeyData it has no type record: the concrete interpolators' records
// derive from NiKeyBasedInterpolator directly.
class NiSingleChannelInterpolator : public NiKeyBasedInterpolator
{
public:
    ~NiSingleChannelInterpolator() override = default;

    void Collapse() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] NiInterpolator* GetSequenceInterpolator(float fBegin, float fEnd) override;

    [[nodiscard]] std::uint16_t GetKeyChannelCount() const override { return 1; }
    [[nodiscard]] std::uint32_t GetKeyCount(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint32_t GetKeyType(std::uint16_t usChannel) const override;
    [[nodiscard]] NiAnimKey* GetKeyArray(std::uint16_t usChannel) const override;
    [[nodiscard]] std::uint8_t GetKeyStride(std::uint16_t usChannel) const override;
    [[nodiscard]] bool GetChannelPosed(std::uint16_t usChannel) const override;

    void DropCountedLinks() override;
    // Record: the pose value, then the data link.
    void ReadFromStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    // Base equality and equal data (both without, or both with equal data);
    // the concrete class adds its pose.
    bool IsEqual(NiObject* pkOther) override;

protected:
    NiSingleChannelInterpolator() = default;
    explicit NiSingleChannelInterpolator(NiKeyData* pkData) : m_spData(pkData) {}
    void CopyMembers(NiSingleChannelInterpolator* pkDest, NiCloneContext& kCloning);

    // Brings the pose up to date for the time. True when the caller is to
    // hand the pose out: always for the time of the last update (the caller
    // then reports whether it is valid), otherwise only when it is valid,
    // the last time having moved on.
    bool RefreshPose(float fTime);

    // Class header, the pose line (taken over) and the data pointer.
    void AppendChannelStrings(NiViewerStringArray& kStrings, const NiTypeInfo* pkClass, char* pcPose,
                              const char* pcDataName);

    [[nodiscard]] virtual const NiTypeInfo* GetDataTypeInfo() const = 0;
    [[nodiscard]] virtual bool IsPoseValid() const = 0;
    virtual void InvalidatePose() = 0;
    // Pose = the data's keys at the time (search hint m_uiLastIdx).
    virtual void EvaluatePose(float fTime) = 0;
    virtual void SetPoseFromKey(const NiAnimKey& kKey) = 0;
    [[nodiscard]] virtual bool KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const = 0;
    virtual void ReadPose(NiObjectStream& kStream) = 0;
    virtual void WritePose(NiObjectStream& kStream) const = 0;

    NiKeyDataPtr m_spData;
    std::uint32_t m_uiLastIdx = 0;
};
