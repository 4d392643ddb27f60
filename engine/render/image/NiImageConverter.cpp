#include "engine/render/image/NiImageConverter.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiFile.h"
#include "engine/core/NiFilePath.h"

#include <cstring>

NiRefPtr<NiImageConverter> NiImageConverter::ms_spConverter;

void NiImageConverter::CreateDefault()
{
    ms_spConverter = new NiImageConverter;
}

void NiImageConverter::SetCurrent(NiImageConverter* pkConverter)
{
    ms_spConverter = pkConverter;
}

NiImageConverter* NiImageConverter::GetCurrent()
{
    return ms_spConverter;
}

void NiImageConverter::ReleaseCurrent()
{
    ms_spConverter = nullptr;
}

std::string NiImageConverter::ConvertFilenameToPlatformSpecific(const char* pcFilename)
{
    // No platform sub-directory is ever set, so the name stays as given.
    return pcFilename ? std::string(pcFilename) : std::string();
}

std::unique_ptr<NiByteStream> NiImageConverter::OpenForReading(const char* pcFilename)
{
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcFilename, 0, FILE_BUFFER_SIZE);
    if (!spFile || !spFile->IsGood())
        return nullptr;
    return spFile;
}

bool NiImageConverter::ReadImageFileInfo(const char* pcFilename, NiPixelFormat& kFormat, bool& bMipmap,
                                         std::uint32_t& uiWidth, std::uint32_t& uiHeight)
{
    const NiFilePath kPath(pcFilename);
    if (!m_kReader.CanReadFile(kPath.GetExt().c_str()))
        return false;
    std::unique_ptr<NiByteStream> spFile = OpenForReading(pcFilename);
    return spFile && m_kReader.ReadHeader(*spFile, uiWidth, uiHeight, kFormat, bMipmap);
}

NiPixelDataPtr NiImageConverter::ReadImageFile(const char* pcFilename, NiPixelData* pkOptDest)
{
    const NiFilePath kPath(pcFilename);
    if (!m_kReader.CanReadFile(kPath.GetExt().c_str()))
        return nullptr;
    std::unique_ptr<NiByteStream> spFile = OpenForReading(pcFilename);
    if (!spFile)
        return nullptr;
    return m_kReader.ReadFile(*spFile, pkOptDest);
}

bool NiImageConverter::CanConvertPixelData(const NiPixelFormat& kSrc, const NiPixelFormat& kDest) const
{
    return kSrc == kDest;
}

NiPixelDataPtr NiImageConverter::CopyPixelData(NiPixelData& kSrc, NiPixelData* pkOptDest) const
{
    if (pkOptDest == &kSrc)
        return pkOptDest;
    if (pkOptDest != nullptr && pkOptDest->GetPixelFormat() == kSrc.GetPixelFormat() &&
        pkOptDest->GetWidth() == kSrc.GetWidth() && pkOptDest->GetHeight() == kSrc.GetHeight() &&
        pkOptDest->GetNumMipmapLevels() != 0 && pkOptDest->GetNumMipmapLevels() <= kSrc.GetNumMipmapLevels())
    {
        bool bFits = true;
        for (std::uint32_t i = 0; i < pkOptDest->GetNumMipmapLevels(); ++i)
            bFits = bFits && pkOptDest->GetSizeInBytes(i) == kSrc.GetSizeInBytes(i);
        if (bFits)
        {
            for (std::uint32_t i = 0; i < pkOptDest->GetNumMipmapLevels(); ++i)
                std::memcpy(pkOptDest->GetPixels(i), kSrc.GetPixels(i), kSrc.GetSizeInBytes(i));
            if (NiPalette* pkPalette = kSrc.GetPalette())
            {
                if (pkOptDest->GetPalette())
                    *pkOptDest->GetPalette() = *pkPalette;
                else
                    pkOptDest->SetPalette(new NiPalette(*pkPalette));
            }
            return pkOptDest;
        }
    }
    NiPixelDataPtr spCopy = new NiPixelData(kSrc);
    if (spCopy->GetNumMipmapLevels() != kSrc.GetNumMipmapLevels())
        return nullptr;
    return spCopy;
}

NiPixelDataPtr NiImageConverter::ConvertPixelData(NiPixelData& kSrc, const NiPixelFormat& kDest,
                                                  NiPixelData* pkOptDest, bool)
{
    if (kSrc.GetPixelFormat() != kDest)
        return nullptr;
    return CopyPixelData(kSrc, pkOptDest);
}
