#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiVec2.h"
#include "engine/render/NiPixelData.h"
#include "engine/scene/NiScreenPolygon.h"

#include <cstdint>
#include <string>
#include <vector>

class COrvaneCamera;
struct COrvaneWidgetRect;
struct CWidgetDesc;

// The drawable behind an image widget: one image file cut into tiles with
// power-of-two sides, each a textured, alpha-blended screen polygon.
class COrvaneImageTexture
{
public:
    static constexpr std::uint32_t MAX_TILE_SIDE = 256;
    // Depth of every tile polygon.
    static constexpr float TILE_DEPTH = 0.01f;
    // Alpha property flags: blending on, source alpha, inverse source alpha.
    static constexpr std::uint16_t TILE_ALPHA_FLAGS = 237;
    // Renderer flags of a screen polygon: what the next draw repacks.
    static constexpr std::uint16_t POSITIONS_CHANGED = 1;
    static constexpr std::uint16_t COLORS_CHANGED = 2;

    struct Tile
    {
        NiScreenPolygonPtr m_spPolygon;
        // The tile's own pixels, kept for the hit test.
        NiPixelDataPtr m_spPixels;
        // Place and size in the image, in pixels.
        std::uint32_t m_uiLeft = 0;
        std::uint32_t m_uiTop = 0;
        std::uint32_t m_uiWidth = 0;
        std::uint32_t m_uiHeight = 0;
    };

    COrvaneImageTexture() = default;
    ~COrvaneImageTexture();
    COrvaneImageTexture(const COrvaneImageTexture&) = delete;
    COrvaneImageTexture& operator=(const COrvaneImageTexture&) = delete;

    // Tile sides along one direction: 256 while 256 remain, then the
    // largest power of two not above what remains.
    [[nodiscard]] static std::vector<std::uint32_t> TileSides(std::uint32_t uiLength);

    void Destroy();
    // Over a transparent pixel of a 32-bit image: no hit.
    [[nodiscard]] bool HitTest(const NiVec2* pkPoint, const COrvaneWidgetRect& kRect) const;
    // Tints every tile when the colour differs from the current one.
    void SetColor(const NiColorRGBA& kColor);
    // Every tile at the rectangle's place moved by (x, y); vertices move
    // only when that place changed. Nothing without a camera.
    void Draw(const COrvaneWidgetRect& kRect, float fX, float fY);
    // Vertex positions times the factors; a negative factor does nothing.
    void Scale(float fX, float fY);
    void Reset() { m_pkCamera = nullptr; }
    // Loads the named file (".fdp": a saved preview picture in a scene
    // file; else any image the current converter reads) and makes the
    // tiles. The rectangle gets the description's place and the image's
    // size. False, without tiles, when nothing could be loaded.
    bool Load(const CWidgetDesc& kDesc, COrvaneWidgetRect& kRect, const std::string& kName);
    void Release() { Destroy(); }

    [[nodiscard]] const std::vector<Tile>& GetTiles() const { return m_kTiles; }
    [[nodiscard]] COrvaneCamera* GetCamera() const { return m_pkCamera; }

private:
    [[nodiscard]] static NiPixelDataPtr ReadPixels(const std::string& kName);
    void MakeTiles(const NiPixelData& kImage, float fLeft, float fTop);

    std::vector<Tile> m_kTiles;
    COrvaneCamera* m_pkCamera = nullptr;
    std::uint8_t m_ucScale = 0;
    float m_fScaleX = 1.0f;
    float m_fScaleY = 1.0f;
};
