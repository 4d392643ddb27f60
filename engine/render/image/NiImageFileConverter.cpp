#include "engine/render/image/NiImageFileConverter.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiFilePath.h"
#include "engine/render/image/NiBMPReader.h"
#include "engine/render/image/NiDDSReader.h"
#include "engine/render/image/NiNIFImageReader.h"
#include "engine/render/image/NiPixelConverters.h"
#include "engine/render/image/NiSGIReader.h"
#include "engine/render/image/NiTGAReader.h"

#include <algorithm>
#include <cstring>

NiImageFileConverter::NiImageFileConverter()
{
    AddReader(std::make_unique<NiBMPReader>());
    AddReader(std::make_unique<NiDDSReader>());
    AddReader(std::make_unique<NiSGIReader>());
    AddReader(std::make_unique<NiTGAReader>());
    AddReader(std::make_unique<NiNIFImageReader>());
}

NiImageFileConverter::~NiImageFileConverter()
{
    // Readers go from the head, before the base part and its stream.
    while (!m_kReaders.empty())
        m_kReaders.pop_front();
}

void NiImageFileConverter::AddReader(std::unique_ptr<NiImageReader> spReader)
{
    if (spReader)
        m_kReaders.push_front(std::move(spReader));
}

template <class Use>
bool NiImageFileConverter::ForEachReader(const char* pcFilename, Use&& fnUse)
{
    const NiFilePath kPath(pcFilename);
    for (const std::unique_ptr<NiImageReader>& spReader : m_kReaders)
    {
        if (!spReader->CanReadFile(kPath.GetExt().c_str()))
            continue;
        std::unique_ptr<NiByteStream> spFile = OpenForReading(pcFilename);
        if (!spFile)
            return false;
        if (fnUse(*spReader, *spFile))
            return true;
    }
    return false;
}

bool NiImageFileConverter::CanReadImageFile(const char* pcFilename)
{
    const NiFilePath kPath(pcFilename);
    for (const std::unique_ptr<NiImageReader>& spReader : m_kReaders)
    {
        if (spReader->CanReadFile(kPath.GetExt().c_str()))
            return OpenForReading(pcFilename) != nullptr;
    }
    return false;
}

bool NiImageFileConverter::ReadImageFileInfo(const char* pcFilename, NiPixelFormat& kFormat, bool& bMipmap,
                                             std::uint32_t& uiWidth, std::uint32_t& uiHeight)
{
    return ForEachReader(pcFilename, [&](NiImageReader& kReader, NiByteStream& kFile) {
        return kReader.ReadHeader(kFile, uiWidth, uiHeight, kFormat, bMipmap);
    });
}

NiPixelDataPtr NiImageFileConverter::ReadImageFile(const char* pcFilename, NiPixelData* pkOptDest)
{
    NiPixelDataPtr spImage;
    ForEachReader(pcFilename, [&](NiImageReader& kReader, NiByteStream& kFile) {
        spImage = kReader.ReadFile(kFile, pkOptDest);
        return spImage != nullptr;
    });
    return spImage;
}

namespace
{
// Pixel-layout codes of a texture's format preferences.
constexpr std::uint32_t LAYOUT_PALETTIZED_8 = 0;
constexpr std::uint32_t LAYOUT_HIGH_COLOR_16 = 1;
constexpr std::uint32_t LAYOUT_COMPRESSED = 3;
constexpr std::uint32_t LAYOUT_BUMPMAP = 4;
constexpr std::uint32_t LAYOUT_PALETTIZED_4 = 5;
constexpr std::uint32_t LAYOUT_DEFAULT = 6;

bool Is24BitAcceptable(const NiPixelFormat& kDest)
{
    return kDest.GetMask(1) == 0xFF00 && (kDest.GetMask(0) == 0xFF || kDest.GetMask(0) == 0xFF0000);
}

bool HasBits(const NiPixelFormat& kFormat, std::initializer_list<std::uint32_t> kBits)
{
    return std::find(kBits.begin(), kBits.end(), kFormat.GetBitsPerPixel()) != kBits.end();
}

std::uint8_t ScaleByte(std::uint8_t ucValue, float fFactor)
{
    const float fScaled = static_cast<float>(ucValue) * fFactor;
    if (!(fScaled > 0.0f))
        return 0;
    return fScaled >= 255.0f ? 255 : static_cast<std::uint8_t>(fScaled);
}
} // namespace

bool NiImageFileConverter::CanConvertPixelData(const NiPixelFormat& kSrc, const NiPixelFormat& kDest) const
{
    if (kSrc == kDest)
        return true;
    if (kDest.IsCompressed())
        return false;
    if (kDest.GetBitsPerPixel() == 24 && !Is24BitAcceptable(kDest))
        return false;
    if (kSrc == NiPixelFormat::PAL4 || kSrc == NiPixelFormat::PALA4)
    {
        if (!kDest.IsDirect())
            return kDest == NiPixelFormat::PAL4 || kDest == NiPixelFormat::PALA4;
        return HasBits(kDest, {24, 32});
    }
    if (kSrc == NiPixelFormat::PAL8 || kSrc == NiPixelFormat::PALA8)
    {
        if (!kDest.IsDirect())
            return kDest == NiPixelFormat::PAL8 || kDest == NiPixelFormat::PALA8;
        return HasBits(kDest, {16, 24, 32});
    }
    if (kSrc == NiPixelFormat::RGB24 || kSrc == NiPixelFormat::RGBA32 || kSrc.IsCompressed())
        return (kDest.IsDirect() || kDest.IsBump()) && HasBits(kDest, {16, 24, 32});
    if (kSrc == NiPixelFormat::BUMP16 || kSrc == NiPixelFormat::BUMPLUMA32)
        return kDest.IsBump() && HasBits(kDest, {16, 24, 32});
    if (kSrc == NiPixelFormat::A1B5G5R5 || kSrc == NiPixelFormat::A1R5G5B5)
    {
        const std::uint32_t uiRed = kDest.GetMask(0);
        const std::uint32_t uiBlue = kDest.GetMask(2);
        return kDest.GetBitsPerPixel() == 16 && kDest.GetMask(3) == 0x8000 && kDest.GetMask(1) == 0x3E0 &&
               ((uiRed == 0x1F && uiBlue == 0x7C00) || (uiRed == 0x7C00 && uiBlue == 0x1F));
    }
    return false;
}

bool NiImageFileConverter::ConvertPixelDataInto(NiPixelData& kDest, const NiPixelData& kSrc, int iLevel)
{
    if (kDest.GetNumMipmapLevels() == 0 || kSrc.GetNumMipmapLevels() == 0)
        return false;
    if (kDest.GetWidth() != kSrc.GetWidth() || kDest.GetHeight() != kSrc.GetHeight())
        return false;
    std::uint32_t uiFirst = 0;
    std::uint32_t uiEnd = kSrc.GetNumMipmapLevels();
    if (iLevel < 0)
    {
        if (kDest.GetNumMipmapLevels() < kSrc.GetNumMipmapLevels())
            return false;
    }
    else
    {
        uiFirst = static_cast<std::uint32_t>(iLevel);
        uiEnd = uiFirst + 1;
        if (uiFirst >= kSrc.GetNumMipmapLevels() || uiFirst >= kDest.GetNumMipmapLevels())
            return false;
    }
    for (std::uint32_t i = uiFirst; i < uiEnd; ++i)
    {
        if (kDest.GetWidth(i) != kSrc.GetWidth(i) || kDest.GetHeight(i) != kSrc.GetHeight(i))
            return false;
    }

    const NiPixelFormat& kSrcFormat = kSrc.GetPixelFormat();
    const NiPixelFormat& kDestFormat = kDest.GetPixelFormat();
    if (kSrcFormat == kDestFormat)
    {
        for (std::uint32_t i = uiFirst; i < uiEnd; ++i)
        {
            if (kDest.GetSizeInBytes(i) != kSrc.GetSizeInBytes(i))
                return false;
        }
        for (std::uint32_t i = uiFirst; i < uiEnd; ++i)
            std::memcpy(kDest.GetPixels(i), kSrc.GetPixels(i), kSrc.GetSizeInBytes(i));
        if (NiPalette* pkPalette = kSrc.GetPalette())
        {
            if (kDest.GetPalette())
                *kDest.GetPalette() = *pkPalette;
            else
                kDest.SetPalette(new NiPalette(*pkPalette));
        }
        return true;
    }
    if (kDestFormat.IsCompressed())
        return false;
    if (kDestFormat.GetBitsPerPixel() == 24 && !Is24BitAcceptable(kDestFormat))
        return false;
    const NiPixelConverter pfnConvert = NiSelectPixelConverter(kSrcFormat, kDestFormat);
    if (pfnConvert == nullptr)
        return false;
    if (kSrcFormat.IsPalettized() && kSrc.GetPalette() == nullptr)
        return false;
    // Every level must hold what its size needs before anything is written.
    for (std::uint32_t i = uiFirst; i < uiEnd; ++i)
    {
        const std::uint32_t uiW = kSrc.GetWidth(i);
        const std::uint32_t uiH = kSrc.GetHeight(i);
        if (kSrc.GetSizeInBytes(i) < NiPixelData::ComputeLevelSize(kSrcFormat, uiW, uiH) ||
            kDest.GetSizeInBytes(i) < NiPixelData::ComputeLevelSize(kDestFormat, uiW, uiH))
            return false;
    }
    const NiChannelLayout kSrcLayout = NiChannelLayout::From(kSrcFormat);
    const NiChannelLayout kDestLayout = NiChannelLayout::From(kDestFormat);
    for (std::uint32_t i = uiFirst; i < uiEnd; ++i)
    {
        if (!pfnConvert(kSrc.GetWidth(i), kSrc.GetHeight(i), kDest.GetPixels(i), kSrc.GetPalette(), kDestLayout,
                        kSrc.GetPixels(i), kSrcLayout))
            return false;
    }
    if (NiIsIndexCopyConverter(pfnConvert))
    {
        const NiPalette* pkPalette = kSrc.GetPalette();
        if (kDestFormat.GetKind() == NiPixelFormat::PALETTE_ALPHA)
        {
            // The palette had no alpha to speak of: every entry is opaque.
            NiPalettePtr spCopy = new NiPalette(*pkPalette);
            spCopy->SetHasAlpha(true);
            for (std::uint32_t e = 0; e < spCopy->GetNumEntries(); ++e)
                spCopy->GetEntries()[e].m_ucAlpha = 255;
            kDest.SetPalette(spCopy);
        }
        else
        {
            const std::uint32_t uiEntries = kDestFormat.GetBitsPerPixel() == 4 ? 16 : 256;
            NiPalette::PaletteEntry akEntries[256];
            for (std::uint32_t e = 0; e < uiEntries; ++e)
                akEntries[e] = pkPalette->GetEntry(e);
            kDest.SetPalette(new NiPalette(false, uiEntries, akEntries));
        }
    }
    return true;
}

NiPixelDataPtr NiImageFileConverter::ConvertPixelData(NiPixelData& kSrc, const NiPixelFormat& kDest,
                                                      NiPixelData* pkOptDest, bool bMipmap)
{
    // Intermediate images are held here and let go on every return.
    NiPixelData* pkSrc = &kSrc;
    NiPixelDataPtr spDecoded;
    NiPixelDataPtr spMipmapped;
    NiPixelDataPtr spBump;
    if (pkSrc->GetPixelFormat().IsCompressed() && kDest.GetKind() != pkSrc->GetPixelFormat().GetKind())
    {
        spDecoded = m_kDecoder.Decode(*pkSrc);
        if (!spDecoded)
            return nullptr;
        pkSrc = spDecoded;
    }
    const bool bDestColor = kDest.IsDirect() || kDest.IsBump();
    if (bMipmap && pkSrc->GetNumMipmapLevels() < 2 && bDestColor)
    {
        spMipmapped = GenerateMipmaps(*pkSrc, pkOptDest);
        if (spMipmapped)
            pkSrc = spMipmapped;
    }
    if (pkOptDest != nullptr && pkOptDest->GetPixelFormat() == kDest &&
        (!bMipmap || pkOptDest->GetNumMipmapLevels() >= 2))
    {
        if (pkOptDest == pkSrc)
            return pkOptDest;
        if (ConvertPixelDataInto(*pkOptDest, *pkSrc, -1))
            return pkOptDest;
    }
    if (kDest.IsBump())
    {
        spBump = ConvertToBumpMap(*pkSrc, kDest);
        if (spBump)
            pkSrc = spBump;
    }
    // An intermediate already in the asked layout is the answer itself.
    if (pkSrc != &kSrc && pkSrc->GetPixelFormat() == kDest)
        return pkSrc;
    NiPixelDataPtr spResult =
        new NiPixelData(pkSrc->GetWidth(), pkSrc->GetHeight(), kDest, pkSrc->GetNumMipmapLevels());
    if (spResult->GetPixels() == nullptr || !ConvertPixelDataInto(*spResult, *pkSrc, -1))
        return nullptr;
    return spResult;
}

bool NiImageFileConverter::MipmapsAsRGBA32(const NiPixelFormat& kFormat) const
{
    return kFormat == NiPixelFormat::PALA4 || kFormat == NiPixelFormat::PALA8 || kFormat == NiPixelFormat::RGBA32;
}

bool NiImageFileConverter::MipmapsAsRGB24(const NiPixelFormat& kFormat) const
{
    return kFormat == NiPixelFormat::PAL4 || kFormat == NiPixelFormat::PAL8 || kFormat == NiPixelFormat::RGB24;
}

bool NiImageFileConverter::CanGenerateMipmaps(const NiPixelFormat& kFormat) const
{
    return MipmapsAsRGBA32(kFormat) || MipmapsAsRGB24(kFormat);
}

NiPixelDataPtr NiImageFileConverter::GenerateMipmaps(NiPixelData& kSrc, NiPixelData* pkOptDest)
{
    NiPixelFormat kWork;
    if (MipmapsAsRGB24(kSrc.GetPixelFormat()))
        kWork = NiPixelFormat::RGB24;
    else if (MipmapsAsRGBA32(kSrc.GetPixelFormat()))
        kWork = NiPixelFormat::RGBA32;
    else
        return nullptr;
    NiPixelDataPtr spTarget;
    if (pkOptDest != nullptr && pkOptDest->GetPixelFormat() == kWork && pkOptDest->GetNumMipmapLevels() >= 2)
        spTarget = pkOptDest;
    else
        spTarget = new NiPixelData(kSrc.GetWidth(), kSrc.GetHeight(), kWork, 0);
    if (spTarget->GetPixels() == nullptr)
        return nullptr;
    if (spTarget != &kSrc && !ConvertPixelDataInto(*spTarget, kSrc, 0))
        return nullptr;
    const std::uint32_t uiBytes = kWork.GetBitsPerPixel() / 8;
    for (std::uint32_t uiLevel = 1; uiLevel < spTarget->GetNumMipmapLevels(); ++uiLevel)
    {
        const std::uint32_t uiW = spTarget->GetWidth(uiLevel - 1);
        const std::uint32_t uiH = spTarget->GetHeight(uiLevel - 1);
        const std::uint32_t uiOutW = spTarget->GetWidth(uiLevel);
        const std::uint32_t uiOutH = spTarget->GetHeight(uiLevel);
        if (uiOutW != std::max(uiW / 2, 1u) || uiOutH != std::max(uiH / 2, 1u))
            return nullptr;
        const std::uint8_t* pucIn = spTarget->GetPixels(uiLevel - 1);
        std::uint8_t* pucOut = spTarget->GetPixels(uiLevel);
        auto At = [&](std::uint32_t x, std::uint32_t y) {
            return pucIn + (static_cast<std::size_t>(std::min(y, uiH - 1)) * uiW + std::min(x, uiW - 1)) * uiBytes;
        };
        for (std::uint32_t y = 0; y < uiOutH; ++y)
        {
            for (std::uint32_t x = 0; x < uiOutW; ++x, pucOut += uiBytes)
            {
                for (std::uint32_t c = 0; c < uiBytes; ++c)
                {
                    std::uint32_t uiSum;
                    if (uiW == 1)
                        uiSum = (At(0, 2 * y)[c] + At(0, 2 * y + 1)[c]) >> 1;
                    else if (uiH == 1)
                        uiSum = (At(2 * x, 0)[c] + At(2 * x + 1, 0)[c]) >> 1;
                    else
                        uiSum = (At(2 * x, 2 * y)[c] + At(2 * x + 1, 2 * y)[c] + At(2 * x, 2 * y + 1)[c] +
                                 At(2 * x + 1, 2 * y + 1)[c]) >> 2;
                    pucOut[c] = static_cast<std::uint8_t>(uiSum);
                }
            }
        }
    }
    return spTarget;
}

NiPixelDataPtr NiImageFileConverter::ConvertToBumpMap(const NiPixelData& kSrc, const NiPixelFormat& kDest)
{
    const NiPixelFormat& kSrcFormat = kSrc.GetPixelFormat();
    NiPixelFormat kResult;
    if (kSrcFormat == NiPixelFormat::RGBA32 ||
        (kSrcFormat == NiPixelFormat::RGB24 && kDest == NiPixelFormat::BUMPLUMA32))
        kResult = NiPixelFormat::BUMPLUMA32;
    else if (kSrcFormat == NiPixelFormat::RGB24)
        kResult = NiPixelFormat::BUMP16;
    else
        return nullptr;
    const std::uint32_t uiLevels = kSrc.GetNumMipmapLevels();
    NiPixelDataPtr spBump = new NiPixelData(kSrc.GetWidth(), kSrc.GetHeight(), kResult, uiLevels);
    if (spBump->GetPixels() == nullptr || spBump->GetNumMipmapLevels() != uiLevels)
        return nullptr;
    const std::uint32_t uiIn = kSrcFormat.GetBitsPerPixel() / 8;
    const std::uint32_t uiOut = kResult.GetBitsPerPixel() / 8;
    for (std::uint32_t uiLevel = 0; uiLevel < uiLevels; ++uiLevel)
    {
        const std::uint32_t uiW = kSrc.GetWidth(uiLevel);
        const std::uint32_t uiH = kSrc.GetHeight(uiLevel);
        if (uiW != spBump->GetWidth(uiLevel) || uiH != spBump->GetHeight(uiLevel) ||
            kSrc.GetSizeInBytes(uiLevel) < static_cast<std::uint64_t>(uiW) * uiH * uiIn)
            return nullptr;
        const std::uint8_t* pucIn = kSrc.GetPixels(uiLevel);
        std::uint8_t* pucOut = spBump->GetPixels(uiLevel);
        auto Height = [&](std::uint32_t x, std::uint32_t y) {
            return static_cast<int>(pucIn[(static_cast<std::size_t>(y) * uiW + x) * uiIn]);
        };
        for (std::uint32_t y = 0; y < uiH; ++y)
        {
            for (std::uint32_t x = 0; x < uiW; ++x)
            {
                std::uint8_t* p = pucOut + (static_cast<std::size_t>(y) * uiW + x) * uiOut;
                const int iHere = Height(x, y);
                int iU = 0;
                if (x + 1 < uiW)
                    iU = Height(x + 1, y) - iHere;
                else if (uiW > 1)
                    iU = iHere - Height(x - 1, y);
                int iV = 0;
                if (y + 1 < uiH)
                    iV = Height(x, y + 1) - iHere;
                else if (uiH > 1)
                    iV = iHere - Height(x, y - 1);
                p[0] = static_cast<std::uint8_t>(iU & 0xFF);
                p[1] = static_cast<std::uint8_t>(iV & 0xFF);
                if (uiOut == 4)
                {
                    const std::uint8_t* pucPixel = pucIn + (static_cast<std::size_t>(y) * uiW + x) * uiIn;
                    p[2] = uiIn == 4 ? pucPixel[3] : 255;
                    p[3] = pucPixel[0];
                }
            }
        }
    }
    return spBump;
}

bool NiImageFileConverter::HasAlpha(const NiPixelFormat& kFormat)
{
    if (kFormat.IsPalettized())
        return kFormat.GetKind() == NiPixelFormat::PALETTE_ALPHA;
    if (kFormat.IsCompressed())
        return true;
    return kFormat.GetChannelBits(NiPixelFormat::ALPHA) != 0;
}

NiPixelFormat NiImageFileConverter::FindPlatformFormat(std::uint32_t uiPlatform, const FormatPrefs& kPrefs,
                                                       const NiPixelFormat& kSrc, const NiPixelFormat& kRef)
{
    switch (uiPlatform)
    {
    case 0:
        if ((kRef.IsPalettized() || kRef.GetBitsPerPixel() == 16) && kPrefs.m_ePixelLayout == LAYOUT_BUMPMAP)
            return NiPixelFormat::RGBA32;
        return kRef;
    case 1: return FindPlatformFormat1(kPrefs, kSrc, kRef);
    case 2: return FindPlatformFormat2(kPrefs, kSrc, kRef);
    case 3: return FindPlatformFormat3(kPrefs, kSrc, kRef);
    default: return kRef;
    }
}

NiPixelFormat NiImageFileConverter::FindPlatformFormat1(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                        const NiPixelFormat& kRef)
{
    const bool bAlpha = HasAlpha(kSrc);
    const NiPixelFormat kTrue = bAlpha ? NiPixelFormat::RGBA32 : NiPixelFormat::RGB24;
    switch (kPrefs.m_ePixelLayout)
    {
    case LAYOUT_PALETTIZED_8: return NiPixelFormat::PALA8;
    case LAYOUT_HIGH_COLOR_16: return NiPixelFormat::A1B5G5R5;
    case LAYOUT_PALETTIZED_4: return NiPixelFormat::PALA4;
    case LAYOUT_DEFAULT:
        switch (kRef.GetBitsPerPixel())
        {
        case 4: return NiPixelFormat::PALA4;
        case 8: return NiPixelFormat::PALA8;
        case 16: return NiPixelFormat::A1B5G5R5;
        default: return kTrue;
        }
    default: return kTrue;
    }
}

NiPixelFormat NiImageFileConverter::FindPlatformFormat2(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                        const NiPixelFormat& kRef)
{
    const bool bAlpha = HasAlpha(kSrc);
    const NiPixelFormat kPalette = bAlpha ? NiPixelFormat::PALA8 : NiPixelFormat::PAL8;
    switch (kPrefs.m_ePixelLayout)
    {
    case LAYOUT_PALETTIZED_8:
    case LAYOUT_PALETTIZED_4: return kPalette;
    case LAYOUT_HIGH_COLOR_16:
        if (!bAlpha)
            return NiPixelFormat::R5G6B5;
        return kPrefs.m_eAlphaFmt == FormatPrefs::BINARY ? NiPixelFormat::A1R5G5B5 : NiPixelFormat::A4R4G4B4;
    case LAYOUT_COMPRESSED:
        return (bAlpha && kPrefs.m_eAlphaFmt == FormatPrefs::SMOOTH) ? NiPixelFormat::DXT5 : NiPixelFormat::DXT1;
    case LAYOUT_BUMPMAP: return NiPixelFormat::RGBA32;
    case LAYOUT_DEFAULT:
        if (kRef.IsPalettized())
            return kPalette;
        if (kRef.IsCompressed())
            return kRef;
        if (kRef.GetBitsPerPixel() == 16)
            return bAlpha ? NiPixelFormat::A4R4G4B4 : NiPixelFormat::R5G6B5;
        return NiPixelFormat::A8R8G8B8;
    default: return NiPixelFormat::A8R8G8B8;
    }
}

NiPixelFormat NiImageFileConverter::FindPlatformFormat3(const FormatPrefs& kPrefs, const NiPixelFormat& kSrc,
                                                        const NiPixelFormat& kRef)
{
    const bool bAlpha = HasAlpha(kSrc);
    const NiPixelFormat kPalette = bAlpha ? NiPixelFormat::PALA8 : NiPixelFormat::PAL8;
    switch (kPrefs.m_ePixelLayout)
    {
    case LAYOUT_PALETTIZED_8:
    case LAYOUT_PALETTIZED_4: return kPalette;
    case LAYOUT_HIGH_COLOR_16: return bAlpha ? NiPixelFormat::A3R4G4B4 : NiPixelFormat::R5G6B5;
    case LAYOUT_COMPRESSED: return NiPixelFormat::DXT1;
    case LAYOUT_DEFAULT:
        if (kRef.IsPalettized())
            return kPalette;
        if (kRef.GetBitsPerPixel() == 16)
            return bAlpha ? NiPixelFormat::A3R4G4B4 : NiPixelFormat::R5G6B5;
        if (kRef.IsCompressed())
            return NiPixelFormat::DXT1;
        return NiPixelFormat::RGBA32;
    default: return NiPixelFormat::RGBA32;
    }
}

NiPixelDataPtr NiImageFileConverter::ConvertToPlatformFormat(std::uint32_t uiPlatform, const FormatPrefs& kPrefs,
                                                             NiPixelData& kSrc, const NiPixelFormat& kRef)
{
    const NiPixelFormat kDest = FindPlatformFormat(uiPlatform, kPrefs, kSrc.GetPixelFormat(), kRef);
    if (kDest == kSrc.GetPixelFormat())
        return &kSrc;
    if (!CanConvertPixelData(kSrc.GetPixelFormat(), kDest))
        return nullptr;
    NiPixelDataPtr spResult = new NiPixelData(kSrc.GetWidth(), kSrc.GetHeight(), kDest, kSrc.GetNumMipmapLevels());
    if (spResult->GetPixels() == nullptr || !ConvertPixelDataInto(*spResult, kSrc, -1))
        return nullptr;
    return spResult;
}

bool NiImageFileConverter::ScaleAlpha(NiPixelData* pkImage, float fValue)
{
    if (pkImage == nullptr)
        return false;
    if (fValue == 255.0f)
        return true;
    const NiPixelFormat& kFormat = pkImage->GetPixelFormat();
    const float fFactor = fValue * (1.0f / 255.0f);
    if (kFormat == NiPixelFormat::RGBA32)
    {
        for (std::uint32_t uiLevel = 0; uiLevel < pkImage->GetNumMipmapLevels(); ++uiLevel)
        {
            std::uint8_t* p = pkImage->GetPixels(uiLevel);
            const std::uint32_t uiPixels = pkImage->GetSizeInBytes(uiLevel) / 4;
            for (std::uint32_t i = 0; i < uiPixels; ++i)
                p[4 * i + 3] = ScaleByte(p[4 * i + 3], fFactor);
        }
        return true;
    }
    if (kFormat == NiPixelFormat::PALA8 || kFormat == NiPixelFormat::PALA4)
    {
        NiPalette* pkPalette = pkImage->GetPalette();
        if (pkPalette == nullptr)
            return false;
        for (std::uint32_t e = 0; e < pkPalette->GetNumEntries(); ++e)
            pkPalette->GetEntries()[e].m_ucAlpha = ScaleByte(pkPalette->GetEntries()[e].m_ucAlpha, fFactor);
        pkPalette->MarkAsChanged();
        return true;
    }
    return false;
}

NiPixelDataPtr NiImageFileConverter::ConvertToPlanarRGB(NiPixelData& kImage, float fValue)
{
    NiPixelData* pkSrc = &kImage;
    NiPixelDataPtr spConverted;
    if (kImage.GetPixelFormat() != NiPixelFormat::RGB24)
    {
        if (!CanConvertPixelData(kImage.GetPixelFormat(), NiPixelFormat::RGB24))
            return nullptr;
        spConverted = ConvertPixelData(kImage, NiPixelFormat::RGB24, nullptr, kImage.GetNumMipmapLevels() >= 2);
        if (!spConverted)
            return nullptr;
        pkSrc = spConverted;
    }
    const NiPixelFormat kPlanar(NiPixelFormat::RGB_PLANAR, 24);
    const std::uint32_t uiLevels = pkSrc->GetNumMipmapLevels();
    NiPixelDataPtr spPlanar = new NiPixelData(pkSrc->GetWidth(), pkSrc->GetHeight(), kPlanar, uiLevels);
    if (spPlanar->GetPixels() == nullptr || spPlanar->GetNumMipmapLevels() != uiLevels)
        return nullptr;
    const float fFactor = fValue * (1.0f / 255.0f);
    for (std::uint32_t uiLevel = 0; uiLevel < uiLevels; ++uiLevel)
    {
        const std::size_t uiPixels = static_cast<std::size_t>(pkSrc->GetWidth(uiLevel)) * pkSrc->GetHeight(uiLevel);
        if (spPlanar->GetWidth(uiLevel) != pkSrc->GetWidth(uiLevel) ||
            spPlanar->GetHeight(uiLevel) != pkSrc->GetHeight(uiLevel) || pkSrc->GetSizeInBytes(uiLevel) < 3 * uiPixels)
            return nullptr;
        const std::uint8_t* pucIn = pkSrc->GetPixels(uiLevel);
        std::uint8_t* pucOut = spPlanar->GetPixels(uiLevel);
        for (std::size_t p = 0; p < uiPixels; ++p)
        {
            for (std::size_t c = 0; c < 3; ++c)
                pucOut[c * uiPixels + p] = ScaleByte(pucIn[3 * p + c], fFactor);
        }
    }
    return spPlanar;
}

NiPixelDataPtr NiImageFileConverter::ReadImageFileSequence(const char* const* ppcFilenames, std::uint32_t uiLevels,
                                                           NiPixelData* pkFirst)
{
    if (ppcFilenames == nullptr || ppcFilenames[0] == nullptr)
        return nullptr;
    NiPixelFormat kFormat;
    bool bMipmap = false;
    std::uint32_t uiWidth = 0;
    std::uint32_t uiHeight = 0;
    if (!ReadImageFileInfo(ppcFilenames[0], kFormat, bMipmap, uiWidth, uiHeight))
        return nullptr;
    NiPixelDataPtr spImage = new NiPixelData(uiWidth, uiHeight, kFormat, uiLevels);
    if (spImage->GetPixels() == nullptr)
        return nullptr;
    for (std::uint32_t i = 0; i < spImage->GetNumMipmapLevels(); ++i)
    {
        if (ppcFilenames[i] == nullptr)
            return nullptr;
        NiPixelDataPtr spLevel = (i == 0 && pkFirst) ? NiPixelDataPtr(pkFirst) : ReadImageFile(ppcFilenames[i], nullptr);
        if (!spLevel || spLevel->GetPixelFormat() != kFormat || spLevel->GetSizeInBytes(0) != spImage->GetSizeInBytes(i))
            return nullptr;
        std::memcpy(spImage->GetPixels(i), spLevel->GetPixels(0), spImage->GetSizeInBytes(i));
        if (i == 0 && kFormat.IsPalettized())
            spImage->SetPalette(spLevel->GetPalette());
    }
    return spImage;
}
