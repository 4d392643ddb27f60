#include "framework/COrvaneCanvasLayout.h"

#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageConverter.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneLocale.h"
#include "framework/COrvaneWidget.h"
#include "platform/os/OsFiles.h"

#include <cstdio>

namespace
{
// Names shorter than this have no base before their extension.
constexpr std::size_t MIN_NAME_LENGTH = 5;
constexpr int MAX_ROW_NUMBER = 99;

COrvaneGame* Game()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    return pkApp != nullptr ? pkApp->GetGame() : nullptr;
}

CWidgetDesc ImageDesc(const std::string& kName, float fX, float fY, bool bScale)
{
    CWidgetDesc kDesc;
    kDesc.m_kName = kName;
    kDesc.m_fX = fX;
    kDesc.m_fY = fY;
    kDesc.m_ucScaleToScreen = bScale ? 1 : 0;
    const COrvaneGame* pkGame = Game();
    kDesc.m_pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
    return kDesc;
}

// A widget's width back in layout units.
float LayoutWidth(const COrvaneWidget& kWidget, bool bScale)
{
    const float fScale = bScale ? COrvaneWidget::GetScreenScaleX() : 1.0f;
    return fScale > 0.0f ? kWidget.GetRect().m_fWidth / fScale : kWidget.GetRect().m_fWidth;
}

std::unique_ptr<COrvaneWidget> MakeImage(const std::string& kName, float fX, float fY, bool bScale)
{
    auto pkImage = std::make_unique<COrvaneImage>();
    pkImage->Create(ImageDesc(kName, fX, fY, bScale));
    return pkImage;
}

// The tool-tip list named after the image file (without folder and
// extension); -1 when the locale has none.
std::int16_t FindTextList(const std::string& kImageName)
{
    const COrvaneGame* pkGame = Game();
    const COrvaneLocale* pkLocale = pkGame != nullptr ? pkGame->GetLocale() : nullptr;
    if (pkLocale == nullptr)
        return -1;
    const std::size_t uiSlash = kImageName.find_last_of('/');
    std::string kFile = uiSlash == std::string::npos ? kImageName : kImageName.substr(uiSlash + 1);
    kFile = kFile.size() >= 4 ? kFile.substr(0, kFile.size() - 4) : std::string();
    return pkLocale->FindList(kFile.c_str());
}
} // namespace

bool COrvaneCanvasLayout::ReadKeyAreas(const std::string& kMapName, std::vector<KeyArea>& kAreas)
{
    kAreas.clear();
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkConverter == nullptr || os::GetFileSize(kMapName) == 0)
        return false;
    NiPixelDataPtr spMap = pkConverter->ReadImageFile(kMapName.c_str(), nullptr);
    if (spMap == nullptr || spMap->GetPixels() == nullptr)
        return false;
    const NiPixelFormat& kFormat = spMap->GetPixelFormat();
    // Maps are compared on three colour bytes: only 24- and 32-bit pixels have them.
    if (!kFormat.IsDirect() || (kFormat.GetBitsPerPixel() != 24 && kFormat.GetBitsPerPixel() != 32))
        return false;
    const std::uint32_t uiWidth = spMap->GetWidth();
    const std::uint32_t uiHeight = spMap->GetHeight();
    const std::uint32_t uiStride = spMap->GetPixelStride();
    const std::uint8_t* pucPixels = spMap->GetPixels();
    auto Pixel = [&](std::uint32_t uiX, std::uint32_t uiY) {
        return pucPixels + (static_cast<std::size_t>(uiY) * uiWidth + uiX) * uiStride;
    };
    auto Same = [](const std::uint8_t* a, const std::uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; };
    const std::uint8_t aucWhite[3] = {255, 255, 255};

    std::vector<const std::uint8_t*> kKeys;
    for (std::uint32_t uiX = 0; uiX < uiWidth && !Same(Pixel(uiX, 0), aucWhite); ++uiX)
        kKeys.push_back(Pixel(uiX, 0));
    for (const std::uint8_t* pucKey : kKeys)
    {
        KeyArea kArea;
        for (std::uint32_t uiY = 1; uiY < uiHeight && kArea.m_iX < 0; ++uiY)
        {
            for (std::uint32_t uiX = 0; uiX < uiWidth; ++uiX)
            {
                if (!Same(Pixel(uiX, uiY), pucKey))
                    continue;
                std::uint32_t uiRight = uiX;
                while (uiRight < uiWidth && Same(Pixel(uiRight, uiY), pucKey))
                    ++uiRight;
                std::uint32_t uiBottom = uiY;
                while (uiBottom < uiHeight && Same(Pixel(uiX, uiBottom), pucKey))
                    ++uiBottom;
                kArea.m_iX = static_cast<std::int32_t>(uiX);
                kArea.m_iY = static_cast<std::int32_t>(uiY);
                kArea.m_iWidth = static_cast<std::int32_t>(uiRight - uiX);
                kArea.m_iHeight = static_cast<std::int32_t>(uiBottom - uiY);
                break;
            }
        }
        kAreas.push_back(kArea);
    }
    return true;
}

std::string COrvaneCanvasLayout::FindFile(const std::string& kPattern, const std::vector<std::string>& kMustHold)
{
    const std::size_t uiSlash = kPattern.find_last_of('/');
    const std::string kFolder = uiSlash == std::string::npos ? std::string() : kPattern.substr(0, uiSlash + 1);
    os::FindData kData;
    const os::FindHandle hFind = os::FindFirst(kPattern, kData);
    if (hFind == -1)
        return {};
    std::string kFound;
    do
    {
        if ((kData.attributes & os::ATTRIB_SUBDIR) != 0)
            continue;
        bool bHolds = kMustHold.empty();
        for (const std::string& kText : kMustHold)
            bHolds = bHolds || kData.name.find(kText) != std::string::npos;
        if (bHolds)
        {
            kFound = kFolder + kData.name;
            break;
        }
    } while (os::FindNext(hFind, kData) == 0);
    os::FindClose(hFind);
    return kFound;
}

void COrvaneCanvasLayout::Build(const std::string& kImageName, float fX, float fY, bool bScale,
                                std::vector<std::unique_ptr<COrvaneWidget>>& kWidgets,
                                std::vector<std::unique_ptr<COrvaneWidget>>& kHotAreas, std::int16_t& sTextList)
{
    kWidgets.push_back(MakeImage(kImageName, 0.0f, 0.0f, bScale));
    // Without a base name before the extension there is nothing beside the image.
    if (kImageName.size() < MIN_NAME_LENGTH)
        return;
    const std::string kBase = kImageName.substr(0, kImageName.size() - 4);
    const std::size_t uiSlash = kImageName.find('/');
    const bool bListNamed = !(uiSlash == 0 && kImageName.find('/', 1) == std::string::npos);

    std::vector<KeyArea> kAreas;
    if (ReadKeyAreas(kBase + "_h.tga", kAreas))
    {
        for (const KeyArea& kArea : kAreas)
        {
            auto pkArea = std::make_unique<COrvaneWidget>();
            if (kArea.m_iX >= 0)
            {
                CWidgetDesc kDesc = ImageDesc(std::string(), static_cast<float>(kArea.m_iX),
                                              static_cast<float>(kArea.m_iY), bScale);
                kDesc.m_fWidth = static_cast<float>(kArea.m_iWidth);
                kDesc.m_fHeight = static_cast<float>(kArea.m_iHeight);
                pkArea->SetRect(kDesc);
            }
            kHotAreas.push_back(std::move(pkArea));
        }
        if (bListNamed)
            sTextList = FindTextList(kImageName);
    }

    const std::string kPlaceMap = kBase + "_p.tga";
    if (os::GetFileSize(kPlaceMap) > 0)
    {
        if (!ReadKeyAreas(kPlaceMap, kAreas))
            return;
        for (std::size_t k = 1; k <= kAreas.size(); ++k)
        {
            const KeyArea& kArea = kAreas[k - 1];
            const std::string kOverlay = FindFile(kBase + std::to_string(k) + "*.*", {"_s", "_S"});
            if (kArea.m_iX < 0 || kOverlay.empty())
                continue;
            kWidgets.push_back(
                MakeImage(kOverlay, static_cast<float>(kArea.m_iX), static_cast<float>(kArea.m_iY), bScale));
        }
        if (sTextList == -1 && bListNamed)
            sTextList = FindTextList(kImageName);
        return;
    }

    // No placement map: numbered images in a row, each right of the one before.
    float fRowX = static_cast<float>(static_cast<std::int32_t>(fX));
    const float fRowY = static_cast<float>(static_cast<std::int32_t>(fY));
    int iNumber = 1;
    while (iNumber <= MAX_ROW_NUMBER)
    {
        // The row is laid out in layout units: each image scales its own place.
        if (iNumber != MAX_ROW_NUMBER)
            fRowX += LayoutWidth(*kWidgets.back(), bScale);
        char acNumber[16];
        std::snprintf(acNumber, sizeof acNumber, "%02d", iNumber);
        const std::string kFile = FindFile(kBase + acNumber + "*.*", {});
        if (kFile.empty())
        {
            if (iNumber == MAX_ROW_NUMBER)
                break;
            // The first gap: one look for the last number, then the row ends.
            iNumber = MAX_ROW_NUMBER;
            continue;
        }
        kWidgets.push_back(MakeImage(kFile, fRowX, fRowY, bScale));
        if (iNumber == MAX_ROW_NUMBER)
            break;
        ++iNumber;
    }
}
