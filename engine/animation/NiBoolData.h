#pragma once

#include "engine/animation/NiKeyChannel.h"
#include "engine/core/NiObject.h"

#include <cstdint>

// Bool keys: visibility. Old files name it "NiVisData".
class NiBoolData : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoolData)

public:
    NiBoolData() = default;
    ~NiBoolData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] std::uint32_t GetNumKeys() const { return m_kKeys.GetNumKeys(); }
    [[nodiscard]] NiAnimKey* GetKeys() const { return m_kKeys.GetKeys(); }
    [[nodiscard]] std::uint32_t GetKeyType() const { return m_kKeys.GetType(); }
    [[nodiscard]] std::uint8_t GetKeyStride() const { return m_kKeys.GetStride(); }
    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_BOOLKEY; }

    // Takes the array (freeing the current one); all zero unless keys, count
    // and type are all given.
    void ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    // The same without freeing the current array.
    void SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);

    void GuaranteeKeysAtStartAndEnd(float fStart, float fEnd);
    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiBoolData> GetSequenceData(float fBegin, float fEnd);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiKeyChannel m_kKeys{NI_BOOLKEY};
};

using NiBoolDataPtr = NiRefPtr<NiBoolData>;
