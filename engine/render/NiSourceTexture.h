#pragma once

#include "engine/render/NiPixelData.h"
#include "engine/render/NiTexture.h"

#include <string>

// A texture made from an image file or from pixel data in memory.
class NiSourceTexture : public NiTexture
{
    NiDeclareTypeInfo()

public:
    NiSourceTexture() = default;
    ~NiSourceTexture() override = default;

    // New textures, counted by the caller. A null or empty name gives null.
    [[nodiscard]] static NiSourceTexture* CreateFromFile(const char* pcFileName, const FormatPrefs& kPrefs,
                                                         bool bLoadDirectToRendererHint = true);
    [[nodiscard]] static NiSourceTexture* CreateFromPixelData(NiPixelData* pkPixelData, const FormatPrefs& kPrefs);

    // Empty for textures made from pixel data.
    [[nodiscard]] const std::string& GetFileName() const { return m_kFileName; }
    [[nodiscard]] NiPixelData* GetSourcePixelData() const { return m_spSrcPixelData; }
    [[nodiscard]] const FormatPrefs& GetFormatPreferences() const { return m_kFormatPrefs; }

private:
    std::string m_kFileName;
    NiRefPtr<NiPixelData> m_spSrcPixelData;
    FormatPrefs m_kFormatPrefs;
};

using NiSourceTexturePtr = NiRefPtr<NiSourceTexture>;
