#pragma once

#include "engine/core/NiRecursiveLock.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiPixelFormat.h"

#include <cstdint>

class NiByteStream;

// One reader per image-file type. A reader serialises its own reads, so two
// threads may read files of different types at once.
class NiImageReader
{
public:
    // Images bigger than this are refused before anything is allocated.
    static constexpr std::uint32_t MAX_SIDE = 16384;
    static constexpr std::uint64_t MAX_PIXELS = 1ull << 26;

    NiImageReader() = default;
    virtual ~NiImageReader() = default;
    NiImageReader(const NiImageReader&) = delete;
    NiImageReader& operator=(const NiImageReader&) = delete;

    // The extension with its leading point, compared without regard to case.
    [[nodiscard]] virtual bool CanReadFile(const char* pcExtension) const = 0;
    // The image of the open file, in pkOptDest when that fits, or null.
    [[nodiscard]] virtual NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) = 0;
    [[nodiscard]] virtual bool ReadHeader(NiByteStream& kIst, std::uint32_t& uiWidth, std::uint32_t& uiHeight,
                                          NiPixelFormat& kFormat, bool& bMipmap) = 0;

    // True for a size every reader accepts.
    [[nodiscard]] static bool IsAcceptableSize(std::uint64_t uiWidth, std::uint64_t uiHeight);
    // Case-blind comparison of an extension with one of a reader's.
    [[nodiscard]] static bool ExtensionIs(const char* pcExtension, const char* pcMine);

protected:
    // The reuse object when it has this level-0 size and format (and, when
    // asked, exactly the level count), else a new image; null when the image
    // cannot be made.
    [[nodiscard]] static NiPixelDataPtr MakeImage(NiPixelData* pkOptDest, std::uint32_t uiWidth,
                                                  std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                                                  std::uint32_t uiLevels = 1, bool bSameLevels = false);
    // Exactly uiBytes into pvBuffer, else false.
    [[nodiscard]] static bool ReadExact(NiByteStream& kIst, void* pvBuffer, std::uint64_t uiBytes);
    // False when the stream knows it ends before uiBytes more bytes: a
    // header's promise is checked so before anything is allocated for it.
    [[nodiscard]] static bool HoldsAtLeast(const NiByteStream& kIst, std::uint64_t uiBytes);
    // Reads and drops uiBytes; false when the stream ends first.
    [[nodiscard]] static bool Skip(NiByteStream& kIst, std::uint64_t uiBytes);

    NiRecursiveLock m_kReadCriticalSection;
};

// A reader of files that open with a header giving the image's size and
// format: ReadHeader parses only that header, under the read lock.
class NiHeaderImageReader : public NiImageReader
{
public:
    [[nodiscard]] bool ReadHeader(NiByteStream& kIst, std::uint32_t& uiWidth, std::uint32_t& uiHeight,
                                  NiPixelFormat& kFormat, bool& bMipmap) override;

protected:
    // What a parsed header says, in the terms ReadHeader hands out.
    struct HeaderFacts
    {
        std::uint32_t uiWidth = 0;
        std::uint32_t uiHeight = 0;
        NiPixelFormat kFormat;
        bool bMipmap = false;
    };

    // Reads and checks the header into the reader's own fields; false for a
    // file the reader refuses. The caller holds the read lock.
    [[nodiscard]] virtual bool ParseHeader(NiByteStream& kIst) = 0;
    // What the last successful ParseHeader found.
    [[nodiscard]] virtual HeaderFacts GetHeaderFacts() const = 0;
};
