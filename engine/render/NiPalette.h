#pragma once

#include "engine/core/NiObject.h"

#include <cstdint>
#include <memory>

// The colour table of palettised pixel data. Every palette sits in one
// process-wide list from construction to destruction, so a renderer can walk
// them all to drop the device data it made for them.
class NiPalette : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Entry bytes in memory order: red, green, blue, alpha.
    struct PaletteEntry
    {
        std::uint8_t m_ucRed = 0;
        std::uint8_t m_ucGreen = 0;
        std::uint8_t m_ucBlue = 0;
        std::uint8_t m_ucAlpha = 0;

        bool operator==(const PaletteEntry&) const = default;
    };

    // Whatever a renderer keeps for a palette; the palette deletes it.
    class RendererData
    {
    public:
        virtual ~RendererData() = default;
    };

    // Records of more entries than this are refused: no image format indexes
    // further, and it bounds what a damaged file can make us allocate.
    static constexpr std::uint32_t MAX_STREAM_ENTRIES = 65536;

    NiPalette();
    // Copies uiEntries entries (none when pkEntries is null: all zero).
    NiPalette(bool bHasAlpha, std::uint32_t uiEntries, const PaletteEntry* pkEntries);
    NiPalette(const NiPalette& kOther);
    NiPalette& operator=(const NiPalette& kOther);
    ~NiPalette() override;

    [[nodiscard]] bool GetHasAlpha() const { return m_ucAlpha != 0; }
    void SetHasAlpha(bool bHasAlpha) { m_ucAlpha = bHasAlpha ? 1 : 0; }
    [[nodiscard]] std::uint32_t GetNumEntries() const { return m_uiEntries; }
    [[nodiscard]] PaletteEntry* GetEntries() { return m_pkPalette.get(); }
    [[nodiscard]] const PaletteEntry* GetEntries() const { return m_pkPalette.get(); }
    // The entry, or an all-zero entry past the end of the table.
    [[nodiscard]] PaletteEntry GetEntry(std::uint32_t uiIndex) const
    {
        return uiIndex < m_uiEntries ? m_pkPalette[uiIndex] : PaletteEntry{};
    }
    [[nodiscard]] std::uint32_t GetRevisionID() const { return m_uiRevID; }
    void MarkAsChanged() { ++m_uiRevID; }

    [[nodiscard]] RendererData* GetRendererData() const { return m_pkRendererData.get(); }
    void SetRendererData(std::unique_ptr<RendererData> pkData) { m_pkRendererData = std::move(pkData); }

    // The process-wide list, walked under the palette lock.
    [[nodiscard]] static NiPalette* GetListHead() { return ms_pkHead; }
    [[nodiscard]] NiPalette* GetListNext() const { return m_pkNext; }
    [[nodiscard]] static std::uint32_t GetListCount();

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // The scene-file record after the base part; false on a short or
    // refused record (the palette is left unchanged then).
    [[nodiscard]] bool LoadRecord(NiObjectStream& kStream);
    bool SaveRecord(NiObjectStream& kStream) const;

    [[nodiscard]] static NiObject* CreateObject();

private:
    void AddToList();
    void RemoveFromList();
    void Assign(bool bHasAlpha, std::uint32_t uiEntries, const PaletteEntry* pkEntries);

    std::uint8_t m_ucAlpha = 0;
    std::uint32_t m_uiEntries = 0;
    std::uint32_t m_uiRevID = 1;
    std::unique_ptr<PaletteEntry[]> m_pkPalette;
    std::unique_ptr<RendererData> m_pkRendererData;
    NiPalette* m_pkPrev = nullptr;
    NiPalette* m_pkNext = nullptr;

    static NiPalette* ms_pkHead;
    static NiPalette* ms_pkTail;
};

using NiPalettePtr = NiRefPtr<NiPalette>;
