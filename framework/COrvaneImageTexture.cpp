#include "framework/COrvaneImageTexture.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneWidget.h"
#include "platform/os/OsFiles.h"

#include <cstring>

namespace
{
constexpr std::uint32_t VERTICES = 4;

// The game's screen in pixels; 1 for a side the game does not know, so a
// missing size never divides by zero.
void ScreenSize(float& fWidth, float& fHeight)
{
    const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    const COrvaneGame* pkGame = pkApp != nullptr ? pkApp->GetGame() : nullptr;
    fWidth = pkGame != nullptr && pkGame->GetScreenWidth() > 0 ? static_cast<float>(pkGame->GetScreenWidth()) : 1.0f;
    fHeight =
        pkGame != nullptr && pkGame->GetScreenHeight() > 0 ? static_cast<float>(pkGame->GetScreenHeight()) : 1.0f;
}

// Pixels to normalised screen coordinates: x to the right, y up from the
// bottom edge, both on pixel centres.
NiVec3 ToScreen(float fX, float fY, float fWidth, float fHeight)
{
    return NiVec3((fX - 0.5f) / fWidth, (fHeight - fY + 0.5f) / fHeight, COrvaneImageTexture::TILE_DEPTH);
}

NiRenderer* RendererOf(const COrvaneCamera* pkCamera)
{
    if (pkCamera == nullptr)
        return nullptr;
    if (const NiCamera* pkEngine = pkCamera->GetEngineCamera(); pkEngine != nullptr && pkEngine->GetRenderer())
        return pkEngine->GetRenderer();
    const NiCamera* pkScreen = pkCamera->GetScreenCamera();
    return pkScreen != nullptr ? pkScreen->GetRenderer() : nullptr;
}

bool IsAlpha32(const NiPixelFormat& kFormat)
{
    return kFormat.GetBitsPerPixel() == 32 && kFormat.GetKind() == NiPixelFormat::RGBA &&
           kFormat.GetMask(NiPixelFormat::ALPHA) != 0;
}
} // namespace

COrvaneImageTexture::~COrvaneImageTexture()
{
    Destroy();
}

std::vector<std::uint32_t> COrvaneImageTexture::TileSides(std::uint32_t uiLength)
{
    std::vector<std::uint32_t> kSides;
    while (uiLength > 0)
    {
        std::uint32_t uiSide = MAX_TILE_SIDE;
        while (uiSide > uiLength)
            uiSide >>= 1;
        kSides.push_back(uiSide);
        uiLength -= uiSide;
    }
    return kSides;
}

void COrvaneImageTexture::Destroy()
{
    m_kTiles.clear();
}

NiPixelDataPtr COrvaneImageTexture::ReadPixels(const std::string& kName)
{
    if (kName.find(".fdp") != std::string::npos)
    {
        NiObjectStream kStream;
        if (!kStream.LoadFile(kName.c_str()) || kStream.GetObjectCount() == 0)
            return nullptr;
        // A preview file holds one pixel data object; anything else is not a picture.
        return NiDynamicCast<NiPixelData>(kStream.GetObjectAt(0));
    }
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkConverter == nullptr)
        return nullptr;
    NiPixelFormat kFormat;
    bool bMipmap = false;
    std::uint32_t uiWidth = 0;
    std::uint32_t uiHeight = 0;
    if (!pkConverter->ReadImageFileInfo(kName.c_str(), kFormat, bMipmap, uiWidth, uiHeight))
        return nullptr;
    NiPixelDataPtr spDest = new NiPixelData(uiWidth, uiHeight, kFormat, 1);
    NiPixelDataPtr spImage = pkConverter->ReadImageFile(kName.c_str(), spDest);
    if (spImage == nullptr || spImage->GetPixels() == nullptr)
        return nullptr;
    if (NiPixelData::ComputePixelStride(spImage->GetPixelFormat()) == 0)
    {
        // 4-bit and block-compressed pixels cannot be cut along byte rows:
        // whole 32-bit pixels instead.
        spImage = pkConverter->ConvertPixelData(*spImage, NiPixelFormat::RGBA32, nullptr, false);
        if (spImage == nullptr || spImage->GetPixels() == nullptr)
            return nullptr;
    }
    return spImage;
}

bool COrvaneImageTexture::Load(const CWidgetDesc& kDesc, COrvaneWidgetRect& kRect, const std::string& kName)
{
    m_ucScale = kDesc.m_ucScaleToScreen;
    m_fScaleX = m_ucScale != 0 ? COrvaneWidget::GetScreenScaleX() : 1.0f;
    m_fScaleY = m_ucScale != 0 ? COrvaneWidget::GetScreenScaleY() : 1.0f;
    m_pkCamera = kDesc.m_pkCamera;
    Destroy();
    if (os::GetFileSize(kName) == 0)
        return false;
    NiPixelDataPtr spImage = ReadPixels(kName);
    if (spImage == nullptr || spImage->GetPixels() == nullptr ||
        NiPixelData::ComputePixelStride(spImage->GetPixelFormat()) == 0)
        return false;
    // The rectangle covers the tiles as they are drawn: place and size in
    // screen pixels, both scaled alike, so that moves, hits and highlights
    // land on the picture at any screen size.
    kRect.m_fX = kDesc.m_fX * m_fScaleX;
    kRect.m_fY = kDesc.m_fY * m_fScaleY;
    kRect.m_fWidth = static_cast<float>(spImage->GetWidth()) * m_fScaleX;
    kRect.m_fHeight = static_cast<float>(spImage->GetHeight()) * m_fScaleY;
    MakeTiles(*spImage, kDesc.m_fX, kDesc.m_fY);
    return !m_kTiles.empty();
}

void COrvaneImageTexture::MakeTiles(const NiPixelData& kImage, float fLeft, float fTop)
{
    const NiPixelFormat& kFormat = kImage.GetPixelFormat();
    const std::uint32_t uiStride = kImage.GetPixelStride();
    const std::uint32_t uiRowBytes = kImage.GetWidth() * uiStride;
    float fWidth = 0.0f;
    float fHeight = 0.0f;
    ScreenSize(fWidth, fHeight);

    NiTexture::FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = NiTexture::FormatPrefs::PIX_DEFAULT; // 32-bit images keep their alpha
    kPrefs.m_eMipMapped = NiTexture::FormatPrefs::NO;
    kPrefs.m_eAlphaFmt = NiTexture::FormatPrefs::ALPHA_DEFAULT;

    std::uint32_t uiTop = 0;
    for (std::uint32_t uiTileHeight : TileSides(kImage.GetHeight()))
    {
        std::uint32_t uiLeft = 0;
        for (std::uint32_t uiTileWidth : TileSides(kImage.GetWidth()))
        {
            Tile kTile;
            kTile.m_uiLeft = uiLeft;
            kTile.m_uiTop = uiTop;
            kTile.m_uiWidth = uiTileWidth;
            kTile.m_uiHeight = uiTileHeight;
            kTile.m_spPixels = new NiPixelData(uiTileWidth, uiTileHeight, kFormat, 1);
            kTile.m_spPixels->SetPalette(kImage.GetPalette());
            std::uint8_t* pucDest = kTile.m_spPixels->GetPixels();
            if (pucDest == nullptr)
                return;
            for (std::uint32_t uiRow = 0; uiRow < uiTileHeight; ++uiRow)
            {
                std::memcpy(pucDest + static_cast<std::size_t>(uiRow) * uiTileWidth * uiStride,
                            kImage.GetPixels() + static_cast<std::size_t>(uiTop + uiRow) * uiRowBytes +
                                static_cast<std::size_t>(uiLeft) * uiStride,
                            static_cast<std::size_t>(uiTileWidth) * uiStride);
            }

            const float fX0 = (fLeft + static_cast<float>(uiLeft)) * m_fScaleX;
            const float fY0 = (fTop + static_cast<float>(uiTop)) * m_fScaleY;
            const float fX1 = fX0 + static_cast<float>(uiTileWidth) * m_fScaleX;
            const float fY1 = fY0 + static_cast<float>(uiTileHeight) * m_fScaleY;
            // Top-left first (the reference vertex of a move), then round.
            const NiVec3 akVertex[VERTICES] = {ToScreen(fX0, fY0, fWidth, fHeight),
                                               ToScreen(fX0, fY1, fWidth, fHeight),
                                               ToScreen(fX1, fY1, fWidth, fHeight),
                                               ToScreen(fX1, fY0, fWidth, fHeight)};
            const NiVec2 akTexture[VERTICES] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}};
            const NiColorRGBA akColor[VERTICES] = {NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f),
                                                   NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f),
                                                   NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f),
                                                   NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f)};
            kTile.m_spPolygon = new NiScreenPolygon(VERTICES, akVertex, akTexture, akColor);

            NiTexturingProperty* pkTexturing = new NiTexturingProperty;
            pkTexturing->SetApplyMode(2);
            auto* pkMap = new NiTextureMap(NiSourceTexture::CreateFromPixelData(kTile.m_spPixels, kPrefs));
            pkMap->SetClampMode(0);
            pkMap->SetFilterMode(1);
            pkTexturing->SetMap(NiTexturingProperty::BASE_INDEX, pkMap);
            kTile.m_spPolygon->SetProperty(pkTexturing);
            NiVertexColorProperty* pkVertexColor = new NiVertexColorProperty;
            pkVertexColor->SetSourceMode(1);
            pkVertexColor->SetLightingMode(0);
            kTile.m_spPolygon->SetProperty(pkVertexColor);
            NiAlphaProperty* pkAlpha = new NiAlphaProperty;
            pkAlpha->SetFlags(TILE_ALPHA_FLAGS);
            kTile.m_spPolygon->SetProperty(pkAlpha);
            // Panels lie over the world: the level's depth must not hide a
            // picture where the ground comes near the camera.
            NiZBufferProperty* pkDepth = new NiZBufferProperty;
            pkDepth->SetZBufferTest(false);
            pkDepth->SetZBufferWrite(false);
            kTile.m_spPolygon->SetProperty(pkDepth);

            m_kTiles.push_back(std::move(kTile));
            uiLeft += uiTileWidth;
        }
        uiTop += uiTileHeight;
    }
}

bool COrvaneImageTexture::HitTest(const NiVec2* pkPoint, const COrvaneWidgetRect& kRect) const
{
    if (pkPoint == nullptr)
        return false;
    if (pkPoint->x < kRect.m_fX || pkPoint->x > kRect.m_fX + kRect.m_fWidth || pkPoint->y < kRect.m_fY ||
        pkPoint->y > kRect.m_fY + kRect.m_fHeight)
        return false;
    // A zero factor would divide by zero: the point counts as a hit then.
    if (m_fScaleX == 0.0f || m_fScaleY == 0.0f)
        return !m_kTiles.empty();
    const float fX = (pkPoint->x - kRect.m_fX) / m_fScaleX;
    const float fY = (pkPoint->y - kRect.m_fY) / m_fScaleY;
    for (const Tile& kTile : m_kTiles)
    {
        const float fLeft = static_cast<float>(kTile.m_uiLeft);
        const float fTop = static_cast<float>(kTile.m_uiTop);
        if (fX < fLeft || fX > fLeft + static_cast<float>(kTile.m_uiWidth) || fY < fTop ||
            fY > fTop + static_cast<float>(kTile.m_uiHeight))
            continue;
        const NiPixelData& kPixels = *kTile.m_spPixels;
        if (!IsAlpha32(kPixels.GetPixelFormat()))
            return true;
        const auto uiColumn = static_cast<std::uint32_t>(fX - fLeft);
        const auto uiRow = static_cast<std::uint32_t>(fY - fTop);
        // The inclusive right and bottom edges lie outside the pixels: a hit.
        if (uiColumn >= kPixels.GetWidth() || uiRow >= kPixels.GetHeight())
            return true;
        const std::uint8_t* pucPixel = kPixels.GetPixels() + (static_cast<std::size_t>(uiRow) * kPixels.GetWidth() + uiColumn) * 4;
        const std::uint32_t uiValue = static_cast<std::uint32_t>(pucPixel[0]) | (static_cast<std::uint32_t>(pucPixel[1]) << 8) |
                                      (static_cast<std::uint32_t>(pucPixel[2]) << 16) |
                                      (static_cast<std::uint32_t>(pucPixel[3]) << 24);
        return (uiValue & kPixels.GetPixelFormat().GetMask(NiPixelFormat::ALPHA)) != 0;
    }
    return false;
}

void COrvaneImageTexture::SetColor(const NiColorRGBA& kColor)
{
    if (m_kTiles.empty() || m_kTiles.front().m_spPolygon->GetColors()[0] == kColor)
        return;
    for (Tile& kTile : m_kTiles)
    {
        NiColorRGBA* pkColors = kTile.m_spPolygon->GetColors();
        for (std::uint32_t i = 0; i < VERTICES; ++i)
            pkColors[i] = kColor;
        // The renderer repacks only what is marked: a tint marked as a
        // move would keep the colours of the first draw on the screen.
        kTile.m_spPolygon->SetRendererFlags(
            static_cast<std::uint16_t>(kTile.m_spPolygon->GetRendererFlags() | COLORS_CHANGED));
    }
}

void COrvaneImageTexture::Draw(const COrvaneWidgetRect& kRect, float fX, float fY)
{
    if (m_pkCamera == nullptr || m_kTiles.empty())
        return;
    float fWidth = 0.0f;
    float fHeight = 0.0f;
    ScreenSize(fWidth, fHeight);
    const NiVec3 kWanted = ToScreen(kRect.m_fX + fX, kRect.m_fY + fY, fWidth, fHeight);
    const NiVec3& kReference = m_kTiles.front().m_spPolygon->GetVertices()[0];
    const float fDX = kWanted.x - kReference.x;
    const float fDY = kWanted.y - kReference.y;
    if (fDX != 0.0f || fDY != 0.0f)
    {
        for (Tile& kTile : m_kTiles)
        {
            NiVec3* pkVertices = kTile.m_spPolygon->GetVertices();
            for (std::uint32_t i = 0; i < VERTICES; ++i)
            {
                pkVertices[i].x += fDX;
                pkVertices[i].y += fDY;
            }
            kTile.m_spPolygon->SetRendererFlags(
                static_cast<std::uint16_t>(kTile.m_spPolygon->GetRendererFlags() | POSITIONS_CHANGED));
        }
    }
    NiRenderer* pkRenderer = RendererOf(m_pkCamera);
    for (Tile& kTile : m_kTiles)
        kTile.m_spPolygon->Draw(pkRenderer);
}

void COrvaneImageTexture::Scale(float fX, float fY)
{
    if (fX < 0.0f || fY < 0.0f)
        return;
    for (Tile& kTile : m_kTiles)
    {
        NiVec3* pkVertices = kTile.m_spPolygon->GetVertices();
        for (std::uint32_t i = 0; i < VERTICES; ++i)
        {
            pkVertices[i].x *= fX;
            pkVertices[i].y *= fY;
        }
        kTile.m_spPolygon->SetRendererFlags(
            static_cast<std::uint16_t>(kTile.m_spPolygon->GetRendererFlags() | POSITIONS_CHANGED));
    }
}
