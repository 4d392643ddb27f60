#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>
#include <memory>

// One timed text label of an animation.
class NiTextKey
{
public:
    NiTextKey() = default;
    NiTextKey(float fTime, const char* pcText);
    NiTextKey(const NiTextKey& kOther);
    NiTextKey& operator=(const NiTextKey& kOther);
    NiTextKey(NiTextKey&&) = default;
    NiTextKey& operator=(NiTextKey&&) = default;
    ~NiTextKey() = default;

    [[nodiscard]] float GetTime() const { return m_fTime; }
    void SetTime(float fTime) { m_fTime = fTime; }
    [[nodiscard]] const char* GetText() const { return m_spText.get(); }
    // Copies the text; null allowed.
    void SetText(const char* pcText);
    // Keys differ when their times or texts differ; a null text equals only
    // another null text.
    bool operator!=(const NiTextKey& kOther) const;
    bool operator==(const NiTextKey& kOther) const { return !(*this != kOther); }

private:
    float m_fTime = 0.0f;
    std::unique_ptr<char[]> m_spText;
};

// Timed text keys attached to an animation ("morph:" keys drive time
// synchronisation of sequences).
class NiTextKeyExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTextKeyExtraData)

public:
    NiTextKeyExtraData() = default;
    ~NiTextKeyExtraData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] std::uint32_t GetNumKeys() const { return m_uiNumKeys; }
    [[nodiscard]] const NiTextKey* GetKeys() const { return m_pkKeys.get(); }
    [[nodiscard]] const NiTextKey* GetKeyAt(std::uint32_t uiIndex) const
    {
        return uiIndex < m_uiNumKeys && m_pkKeys ? &m_pkKeys[uiIndex] : nullptr;
    }
    // Takes the array (null for none).
    void SetKeys(std::unique_ptr<NiTextKey[]> spKeys, std::uint32_t uiNumKeys);

    // u32 count, then per key the time and the text.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiNumKeys = 0;
    std::unique_ptr<NiTextKey[]> m_pkKeys;
};

using NiTextKeyExtraDataPtr = NiRefPtr<NiTextKeyExtraData>;
