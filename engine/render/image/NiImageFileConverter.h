#pragma once

#include "engine/render/NiTexture.h"
#include "engine/render/image/NiBlockDecoder.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/render/image/NiImageReader.h"

#include <cstdint>
#include <list>
#include <memory>

// The full converter: a list of image readers picked by file extension, and
// conversion between pixel formats.
class NiImageFileConverter : public NiImageConverter
{
public:
    using ReaderList = std::list<std::unique_ptr<NiImageReader>>;
    using FormatPrefs = NiTexture::FormatPrefs;

    // Readers are asked in the order engine pixel data, TGA, SGI, DDS, BMP.
    NiImageFileConverter();
    ~NiImageFileConverter() override;

    [[nodiscard]] bool ReadImageFileInfo(const char* pcFilename, NiPixelFormat& kFormat, bool& bMipmap,
                                         std::uint32_t& uiWidth, std::uint32_t& uiHeight) override;
    [[nodiscard]] NiPixelDataPtr ReadImageFile(const char* pcFilename, NiPixelData* pkOptDest) override;
    [[nodiscard]] bool CanConvertPixelData(const NiPixelFormat& kSrc, const NiPixelFormat& kDest) const override;
    [[nodiscard]] NiPixelDataPtr ConvertPixelData(NiPixelData& kSrc, const NiPixelFormat& kDest,
                                                  NiPixelData* pkOptDest, bool bMipmap) override;

    [[nodiscard]] virtual bool CanReadImageFile(const char* pcFilename);
    [[nodiscard]] virtual bool CanGenerateMipmaps(const NiPixelFormat& kFormat) const;
    [[nodiscard]] virtual bool MipmapsAsRGBA32(const NiPixelFormat& kFormat) const;
    [[nodiscard]] virtual bool MipmapsAsRGB24(const NiPixelFormat& kFormat) const;
    [[nodiscard]] virtual NiPixelDataPtr GenerateMipmaps(NiPixelData& kSrc, NiPixelData* pkOptDest);
    // One file per level; every level must have the same format and the
    // byte size its place in the chain asks for.
    [[nodiscard]] virtual NiPixelDataPtr ReadImageFileSequence(const char* const* ppcFilenames,
                                                               std::uint32_t uiLevels, NiPixelData* pkFirst);
    // iLevel -1 converts every level of the source.
    [[nodiscard]] virtual bool ConvertPixelDataInto(NiPixelData& kDest, const NiPixelData& kSrc, int iLevel);
    [[nodiscard]] virtual NiPixelDataPtr ConvertToBumpMap(const NiPixelData& kSrc, const NiPixelFormat& kDest);
    // The converter owns the reader; it is asked before every earlier one.
    virtual void AddReader(std::unique_ptr<NiImageReader> spReader);
    [[nodiscard]] virtual NiPixelFormat FindPlatformFormat(std::uint32_t uiPlatform, const FormatPrefs& kPrefs,
                                                           const NiPixelFormat& kSrc, const NiPixelFormat& kRef);
    [[nodiscard]] virtual NiPixelDataPtr ConvertToPlatformFormat(std::uint32_t uiPlatform, const FormatPrefs& kPrefs,
                                                                 NiPixelData& kSrc, const NiPixelFormat& kRef);
    [[nodiscard]] virtual bool ScaleAlpha(NiPixelData* pkImage, float fValue);
    [[nodiscard]] virtual NiPixelDataPtr ConvertToPlanarRGB(NiPixelData& kImage, float fValue);
    [[nodiscard]] virtual const ReaderList& GetReaderList() const { return m_kReaders; }
    [[nodiscard]] virtual NiPixelFormat FindPlatformFormat1(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                            const NiPixelFormat& kRef);
    [[nodiscard]] virtual NiPixelFormat FindPlatformFormat2(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                            const NiPixelFormat& kRef);
    [[nodiscard]] virtual NiPixelFormat FindPlatformFormat3(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                            const NiPixelFormat& kRef);

    // Whether a layout carries alpha, as the platform choices see it.
    [[nodiscard]] static bool HasAlpha(const NiPixelFormat& kFormat);

private:
    // Runs fnUse on each reader that takes the extension, with the file
    // opened anew for each, until one succeeds.
    template <class Use>
    bool ForEachReader(const char* pcFilename, Use&& fnUse);

    NiBlockDecoder m_kDecoder;
    ReaderList m_kReaders;
};
