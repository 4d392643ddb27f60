#pragma once

#include "engine/core/NiObject.h"

#include <cstdint>
#include <memory>

// One growable buffer of zero-terminated strings addressed by byte offset:
// the ID tags of a sequence keep offsets into it instead of owning strings.
class NiStringPalette : public NiObject
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint32_t NO_STRING = 0xFFFFFFFF;

    explicit NiStringPalette(std::uint32_t uiSize = 0);
    ~NiStringPalette() override = default;

    [[nodiscard]] static NiObject* CreateObject() { return new NiStringPalette; }

    // The offset where the copy starts; NO_STRING for a null text.
    std::uint32_t AddString(const char* pcText);
    // Doubles the buffer (at least to uiAtLeast bytes).
    void Grow(std::uint32_t uiAtLeast = 0);

    [[nodiscard]] const char* GetBasePointer() const { return m_pcBuffer.get(); }
    [[nodiscard]] std::uint32_t GetAllocatedSize() const { return m_uiAllocatedSize; }
    [[nodiscard]] std::uint32_t GetEndOfBuffer() const { return m_uiEndOfBuffer; }
    // True when the offset names no string, or a string that ends before
    // the used end.
    [[nodiscard]] bool IsValidOffset(std::uint32_t uiOffset) const;
    // Null for NO_STRING and for offsets that name no whole string.
    [[nodiscard]] const char* GetString(std::uint32_t uiOffset) const
    {
        return uiOffset != NO_STRING && IsValidOffset(uiOffset) ? m_pcBuffer.get() + uiOffset : nullptr;
    }

    // Copies share the palette: cloning gives this object.
    NiObject* CreateClone(NiCloneContext& kCloning) override;
    // u32 length L, L bytes, u32 used end (never above L).
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

private:
    std::unique_ptr<char[]> m_pcBuffer;
    std::uint32_t m_uiAllocatedSize = 0;
    std::uint32_t m_uiEndOfBuffer = 0;
};

using NiStringPalettePtr = NiRefPtr<NiStringPalette>;
