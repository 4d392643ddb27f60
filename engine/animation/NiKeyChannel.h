#pragma once

#include "engine/animation/NiAnimKey.h"
#include "engine/animation/NiAnimKeyTables.h"

#include <cstdint>

class NiObjectStream;

// One owned key array with the count, type and stride kept beside it: the
// unit every key-data object is made of. All work on the keys goes through
// the key tables of the channel's content.
class NiKeyChannel
{
public:
    explicit NiKeyChannel(std::uint32_t uiContent) : m_uiContent(uiContent) {}
    ~NiKeyChannel() { Free(); }
    NiKeyChannel(const NiKeyChannel&) = delete;
    NiKeyChannel& operator=(const NiKeyChannel&) = delete;

    [[nodiscard]] std::uint32_t GetContent() const { return m_uiContent; }
    [[nodiscard]] std::uint32_t GetNumKeys() const { return m_uiNumKeys; }
    [[nodiscard]] NiAnimKey* GetKeys() const { return m_pkKeys; }
    [[nodiscard]] std::uint32_t GetType() const { return m_uiType; }
    [[nodiscard]] std::uint8_t GetStride() const { return m_ucStride; }
    [[nodiscard]] bool HasKeys() const { return m_pkKeys != nullptr && m_uiNumKeys > 0; }
    [[nodiscard]] NiAnimKey* GetKeyAt(std::uint32_t i) const { return NiAnimKey::At(m_pkKeys, i, m_ucStride); }

    // Frees the current keys, then takes the new ones when keys, count and
    // type are all given; otherwise the channel ends up empty.
    void Replace(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType);
    // The same without freeing the current array (its owner keeps it).
    void Set(NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType);
    void Free();

    // Deep copy of another channel of the same content.
    void CopyFrom(const NiKeyChannel& kOther);
    [[nodiscard]] bool IsEqual(const NiKeyChannel& kOther) const;

    void GuaranteeKeysAtStartAndEnd(float fStart, float fEnd);
    // Replaces the keys by their copy over [begin, end].
    void ReduceToSubRange(float fBegin, float fEnd);

    // Block: u32 count; when not 0, u32 type and the keys. A block the
    // remaining bytes cannot hold, or of a type without a file form, marks
    // the load corrupt and leaves the channel empty.
    bool Read(NiObjectStream& kStream);
    void Write(NiObjectStream& kStream) const;

private:
    const std::uint32_t m_uiContent;
    std::uint32_t m_uiNumKeys = 0;
    NiAnimKey* m_pkKeys = nullptr;
    std::uint32_t m_uiType = 0;
    std::uint8_t m_ucStride = 0;
};
