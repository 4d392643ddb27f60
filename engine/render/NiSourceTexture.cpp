#include "engine/render/NiSourceTexture.h"

NiImplementTypeInfo(NiSourceTexture, NiTexture)

NiSourceTexture* NiSourceTexture::CreateFromFile(const char* pcFileName, const FormatPrefs& kPrefs,
                                                 bool bLoadDirectToRendererHint)
{
    (void)bLoadDirectToRendererHint;
    if (pcFileName == nullptr || *pcFileName == '\0')
        return nullptr;
    auto* pkTexture = new NiSourceTexture;
    pkTexture->m_kFileName = pcFileName;
    pkTexture->m_kFormatPrefs = kPrefs;
    return pkTexture;
}

NiSourceTexture* NiSourceTexture::CreateFromPixelData(NiPixelData* pkPixelData, const FormatPrefs& kPrefs)
{
    if (pkPixelData == nullptr)
        return nullptr;
    auto* pkTexture = new NiSourceTexture;
    pkTexture->m_spSrcPixelData = pkPixelData;
    pkTexture->m_kFormatPrefs = kPrefs;
    return pkTexture;
}
