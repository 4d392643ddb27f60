#pragma once

#include "engine/core/NiObject.h"
#include "engine/render/NiPalette.h"
#include "engine/render/image/NiPixelFormat.h"

#include <cstdint>
#include <memory>

// An image in memory: one pixel format, a chain of mip levels stored back to
// back in one block (level 0 first, rows top to bottom) and an optional
// palette.
class NiPixelData : public NiObject
{
    NiDeclareTypeInfo()

public:
    // A stored record keeps at most this many levels.
    static constexpr std::uint32_t MAX_STREAM_LEVELS = 15;
    // Nothing bigger is ever made: it keeps every byte offset in 32 bits.
    static constexpr std::uint64_t MAX_TOTAL_BYTES = 0xFFFFFFF0ull;

    // Level count 0 asks for ComputeMipLevelCount. A size that cannot be
    // allocated leaves an image without levels (GetPixels() is null). New
    // pixels are all zero.
    NiPixelData(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                std::uint32_t uiLevels = 1);
    NiPixelData(const NiPixelData& kOther);
    NiPixelData();
    // As the constructor of one level, but the pixels are the caller's to
    // write, every byte of them at once (a capture of a frame): they are
    // not zeroed only to be overwritten.
    [[nodiscard]] static NiPixelData* CreateToFill(std::uint32_t uiWidth, std::uint32_t uiHeight,
                                                   const NiPixelFormat& kFormat);
    ~NiPixelData() override;
    NiPixelData& operator=(const NiPixelData&) = delete;

    [[nodiscard]] const NiPixelFormat& GetPixelFormat() const { return m_kPixelFormat; }
    [[nodiscard]] NiPalette* GetPalette() const { return m_spPalette; }
    void SetPalette(NiPalette* pkPalette) { m_spPalette = pkPalette; }

    [[nodiscard]] std::uint32_t GetNumMipmapLevels() const { return m_uiMipmapLevels; }
    [[nodiscard]] std::uint32_t GetPixelStride() const { return m_uiPixelStride; }
    [[nodiscard]] std::uint32_t GetRevisionID() const { return m_uiRevID; }
    void MarkAsChanged() { ++m_uiRevID; }

    // Level queries; a level past the chain gives 0 (or null).
    [[nodiscard]] std::uint32_t GetWidth(std::uint32_t uiLevel = 0) const;
    [[nodiscard]] std::uint32_t GetHeight(std::uint32_t uiLevel = 0) const;
    [[nodiscard]] std::uint32_t GetOffsetInBytes(std::uint32_t uiLevel = 0) const;
    [[nodiscard]] std::uint32_t GetSizeInBytes(std::uint32_t uiLevel = 0) const;
    [[nodiscard]] std::uint32_t GetTotalSizeInBytes() const;
    [[nodiscard]] std::uint8_t* GetPixels(std::uint32_t uiLevel = 0);
    [[nodiscard]] const std::uint8_t* GetPixels(std::uint32_t uiLevel = 0) const;

    // Makes the one block of pixels and level tables; false (and nothing
    // allocated) when it cannot be had.
    [[nodiscard]] bool AllocateLevels(std::uint32_t uiLevels, std::uint32_t uiTotalSize, bool bZeroPixels = true);
    void FreeLevels();

    [[nodiscard]] static std::uint32_t ComputeMipLevelCount(std::uint32_t uiWidth, std::uint32_t uiHeight);
    // Bytes of one level of that size in that format.
    [[nodiscard]] static std::uint64_t ComputeLevelSize(const NiPixelFormat& kFormat, std::uint32_t uiWidth,
                                                        std::uint32_t uiHeight);
    // Bytes per pixel as the image keeps it: 0 for 4-bit and compressed kinds.
    [[nodiscard]] static std::uint32_t ComputePixelStride(const NiPixelFormat& kFormat);

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // The scene-file record after the base part. Loading refuses a record
    // whose level table does not describe its own pixel bytes.
    [[nodiscard]] bool LoadRecord(NiObjectStream& kStream);
    bool SaveRecord(NiObjectStream& kStream) const;

    [[nodiscard]] static NiObject* CreateObject();

private:
    NiPixelData(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat, std::uint32_t uiLevels,
                bool bZeroPixels);

    NiPixelFormat m_kPixelFormat;
    NiPalettePtr m_spPalette;
    std::uint8_t* m_pucPixels = nullptr;
    std::uint32_t* m_puiWidth = nullptr;
    std::uint32_t* m_puiHeight = nullptr;
    std::uint32_t* m_puiOffsetInBytes = nullptr;
    std::uint32_t m_uiMipmapLevels = 0;
    std::uint32_t m_uiPixelStride = 0;
    std::uint32_t m_uiRevID = 1;
    // Owner of the block the four pointers above point into.
    std::unique_ptr<std::uint8_t[]> m_pucBlock;
};

using NiPixelDataPtr = NiRefPtr<NiPixelData>;
