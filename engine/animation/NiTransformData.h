#pragma once

#include "engine/animation/NiKeyChannel.h"
#include "engine/core/NiObject.h"

#include <cstdint>

// The keys of a keyframed transform: rotation, position and scale channels,
// each with its own key type. Old files name it "NiKeyframeData".
class NiTransformData : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTransformData)

public:
    NiTransformData() = default;
    ~NiTransformData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] std::uint32_t GetNumRotKeys() const { return m_kRot.GetNumKeys(); }
    [[nodiscard]] NiAnimKey* GetRotKeys() const { return m_kRot.GetKeys(); }
    [[nodiscard]] std::uint32_t GetRotType() const { return m_kRot.GetType(); }
    [[nodiscard]] std::uint8_t GetRotStride() const { return m_kRot.GetStride(); }
    [[nodiscard]] std::uint32_t GetNumPosKeys() const { return m_kPos.GetNumKeys(); }
    [[nodiscard]] NiAnimKey* GetPosKeys() const { return m_kPos.GetKeys(); }
    [[nodiscard]] std::uint32_t GetPosType() const { return m_kPos.GetType(); }
    [[nodiscard]] std::uint8_t GetPosStride() const { return m_kPos.GetStride(); }
    [[nodiscard]] std::uint32_t GetNumScaleKeys() const { return m_kScale.GetNumKeys(); }
    [[nodiscard]] NiAnimKey* GetScaleKeys() const { return m_kScale.GetKeys(); }
    [[nodiscard]] std::uint32_t GetScaleType() const { return m_kScale.GetType(); }
    [[nodiscard]] std::uint8_t GetScaleStride() const { return m_kScale.GetStride(); }

    // Take the array and free the channel's current one (an Euler array's
    // axis channels with it); a null array or zero count empties the channel.
    void ReplaceRotKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    void ReplacePosKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    void ReplaceScaleKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    // The same without freeing the current array.
    void SetPosKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    void SetScaleKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);

    void GuaranteeKeysAtStartAndEnd(float fStart, float fEnd);
    [[nodiscard]] NiRefPtr<NiTransformData> GetSequenceData(float fBegin, float fEnd);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // The interpolator's collapse works on the channels directly.
    [[nodiscard]] NiKeyChannel& RotChannel() { return m_kRot; }
    [[nodiscard]] NiKeyChannel& PosChannel() { return m_kPos; }
    [[nodiscard]] NiKeyChannel& ScaleChannel() { return m_kScale; }

private:
    NiKeyChannel m_kRot{NI_ROTKEY};
    NiKeyChannel m_kPos{NI_POSKEY};
    NiKeyChannel m_kScale{NI_FLOATKEY};
};

using NiTransformDataPtr = NiRefPtr<NiTransformData>;
