#pragma once

#include "engine/animation/NiKeyChannel.h"
#include "engine/core/NiObject.h"

#include <cstdint>

// A data object holding one key array of one content. Everything but the
// content and the class name is the same for every kind, so it lives here;
// the concrete classes only name themselves.
// It is shared code, not an engine class: it has no type record of its own,
// so the concrete data classes' records name NiObject as their base.
class NiKeyData : public NiObject
{
public:
    ~NiKeyData() override = default;

    [[nodiscard]] std::uint32_t GetNumKeys() const { return m_kKeys.GetNumKeys(); }
    [[nodiscard]] NiAnimKey* GetKeys() const { return m_kKeys.GetKeys(); }
    [[nodiscard]] std::uint32_t GetKeyType() const { return m_kKeys.GetType(); }
    [[nodiscard]] std::uint8_t GetKeyStride() const { return m_kKeys.GetStride(); }
    [[nodiscard]] const NiKeyChannel& GetChannel() const { return m_kKeys; }

    // Takes the array (freeing the current one); all zero unless keys, count
    // and type are all given.
    void ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);
    // The same without freeing the current array.
    void SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType);

    void GuaranteeKeysAtStartAndEnd(float fStart, float fEnd);
    // A copy of the same class holding the keys of [begin, end], times
    // counted from begin.
    [[nodiscard]] NiRefPtr<NiKeyData> GetSequenceKeyData(float fBegin, float fEnd);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    // The header carries the concrete class's name.
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    explicit NiKeyData(std::uint32_t uiContent) : m_kKeys(uiContent) {}
    void CopyMembers(NiKeyData* pkDest, NiCloneContext& kCloning);

private:
    NiKeyChannel m_kKeys;
};

using NiKeyDataPtr = NiRefPtr<NiKeyData>;
