#include "framework/COrvaneImageTexture.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneWidget.h"
#include "tests/framework/UiTestSupport.h"
#include "tools/COrvaneTgaWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
using Sides = std::vector<std::uint32_t>;

class COrvaneImageTextureTest : public UiTest
{
protected:
    // A 32-bit image whose pixel (x, y) is (x, y, x + y, alpha).
    static std::vector<std::uint8_t> Pattern(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t ucAlpha = 255)
    {
        std::vector<std::uint8_t> kPixels;
        for (std::uint32_t y = 0; y < uiHeight; ++y)
            for (std::uint32_t x = 0; x < uiWidth; ++x)
                kPixels.insert(kPixels.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                               static_cast<std::uint8_t>(x + y), ucAlpha});
        return kPixels;
    }

    CWidgetDesc Desc(const std::string& kName, float fX = 0.0f, float fY = 0.0f)
    {
        CWidgetDesc kDesc;
        kDesc.m_kName = kName;
        kDesc.m_fX = fX;
        kDesc.m_fY = fY;
        kDesc.m_pkCamera = &Camera();
        return kDesc;
    }

    static void ClearFlags(const COrvaneImageTexture& kTexture)
    {
        for (const COrvaneImageTexture::Tile& kTile : kTexture.GetTiles())
            kTile.m_spPolygon->SetRendererFlags(0);
    }

    static bool AnyFlag(const COrvaneImageTexture& kTexture)
    {
        for (const COrvaneImageTexture::Tile& kTile : kTexture.GetTiles())
            if (kTile.m_spPolygon->GetRendererFlags() != 0)
                return true;
        return false;
    }
};
} // namespace

TEST_F(COrvaneImageTextureTest, TilesArePowersOfTwoOfAtMost256)
{
    EXPECT_EQ(COrvaneImageTexture::TileSides(1024), (Sides{256, 256, 256, 256}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(768), (Sides{256, 256, 256}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(300), (Sides{256, 32, 8, 4}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(20), (Sides{16, 4}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(1), (Sides{1}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(257), (Sides{256, 1}));
    EXPECT_EQ(COrvaneImageTexture::TileSides(3), (Sides{2, 1}));
    EXPECT_TRUE(COrvaneImageTexture::TileSides(0).empty());
}

TEST_F(COrvaneImageTextureTest, AnImageBecomesTexturedBlendedPolygonsWithItsPixels)
{
    const std::vector<std::uint8_t> kPixels = Pattern(300, 20);
    WriteImage("wide.tga", 300, 20, 32, kPixels);
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("wide.tga", 10.0f, 20.0f), kRect, "wide.tga"));
    EXPECT_EQ(kRect.m_fX, 10.0f);
    EXPECT_EQ(kRect.m_fY, 20.0f);
    EXPECT_EQ(kRect.m_fWidth, 300.0f);
    EXPECT_EQ(kRect.m_fHeight, 20.0f);

    const auto& kTiles = kTexture.GetTiles();
    ASSERT_EQ(kTiles.size(), 8u);
    const std::uint32_t auiWidths[] = {256, 32, 8, 4};
    for (std::size_t i = 0; i < kTiles.size(); ++i)
    {
        SCOPED_TRACE(i);
        const COrvaneImageTexture::Tile& kTile = kTiles[i];
        EXPECT_EQ(kTile.m_uiWidth, auiWidths[i % 4]);
        EXPECT_EQ(kTile.m_uiHeight, i < 4 ? 16u : 4u);
        ASSERT_EQ(kTile.m_spPixels->GetPixelFormat(), NiPixelFormat::RGBA32);
        // Every byte of the tile is the image's byte at the tile's place.
        const std::uint8_t* pucTile = kTile.m_spPixels->GetPixels();
        for (std::uint32_t y = 0; y < kTile.m_uiHeight; ++y)
            for (std::uint32_t x = 0; x < kTile.m_uiWidth * 4; ++x)
                ASSERT_EQ(pucTile[y * kTile.m_uiWidth * 4 + x],
                          kPixels[((kTile.m_uiTop + y) * 300 + kTile.m_uiLeft) * 4 + x]);

        NiPropertySet* pkSet = kTile.m_spPolygon->GetPropertyState();
        auto* pkTexturing = static_cast<NiTexturingProperty*>(pkSet->GetProperty(NiProperty::TEXTURING));
        EXPECT_EQ(pkTexturing->GetApplyMode(), 2u);
        NiTextureMap* pkMap = pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX);
        ASSERT_NE(pkMap, nullptr);
        EXPECT_EQ(pkMap->GetClampMode(), 0u);
        EXPECT_EQ(pkMap->GetFilterMode(), 1u);
        auto* pkSource = static_cast<NiSourceTexture*>(pkMap->GetTexture());
        ASSERT_NE(pkSource, nullptr);
        EXPECT_EQ(pkSource->GetSourcePixelData(), kTile.m_spPixels);
        auto* pkVertexColor = static_cast<NiVertexColorProperty*>(pkSet->GetProperty(NiProperty::VERTEX_COLOR));
        EXPECT_EQ(pkVertexColor->GetSourceMode(), 1u);
        EXPECT_EQ(pkVertexColor->GetLightingMode(), 0u);
        EXPECT_EQ(static_cast<NiAlphaProperty*>(pkSet->GetProperty(NiProperty::ALPHA))->GetFlags(), 237u);
        EXPECT_EQ(kTile.m_spPolygon->GetColors()[2], NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    }
    // The second tile of the second band: x from 266 to 298, y from 36 to 40.
    const NiVec3* pkVertex = kTiles[5].m_spPolygon->GetVertices();
    ASSERT_EQ(kTiles[5].m_spPolygon->GetVertexCount(), 4u);
    EXPECT_FLOAT_EQ(pkVertex[0].x, 265.5f / 1024.0f);
    EXPECT_FLOAT_EQ(pkVertex[0].y, (768.0f - 36.0f + 0.5f) / 768.0f);
    EXPECT_FLOAT_EQ(pkVertex[2].x, 297.5f / 1024.0f);
    EXPECT_FLOAT_EQ(pkVertex[2].y, (768.0f - 40.0f + 0.5f) / 768.0f);
    EXPECT_FLOAT_EQ(pkVertex[1].z, 0.01f);
}

TEST_F(COrvaneImageTextureTest, SizesAcrossTileEdges)
{
    const struct
    {
        std::uint16_t usWidth, usHeight;
        std::size_t uiTiles;
    } kCases[] = {{1024, 768, 12}, {1, 1, 1}, {257, 3, 4}};
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.usWidth);
        WriteImage("size.tga", c.usWidth, c.usHeight, 24, std::vector<std::uint8_t>(3u * c.usWidth * c.usHeight, 7));
        COrvaneImageTexture kTexture;
        COrvaneWidgetRect kRect;
        ASSERT_TRUE(kTexture.Load(Desc("size.tga"), kRect, "size.tga"));
        EXPECT_EQ(kTexture.GetTiles().size(), c.uiTiles);
        std::uint32_t uiArea = 0;
        for (const auto& kTile : kTexture.GetTiles())
            uiArea += kTile.m_uiWidth * kTile.m_uiHeight;
        EXPECT_EQ(uiArea, static_cast<std::uint32_t>(c.usWidth) * c.usHeight);
    }
}

TEST_F(COrvaneImageTextureTest, SixteenBitPaletteAndFourBitImagesLoadWhole)
{
    // 5-5-5 pixels: the reader widens them to 24 bits.
    TgaHeader kHigh;
    kHigh.usWidth = 3;
    kHigh.usHeight = 1;
    kHigh.ucDepth = 16;
    WriteFileBytes("high.tga", [&] {
        const auto k = TgaFile(kHigh, {0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0x00});
        return std::string(k.begin(), k.end());
    }());
    // 8-bit indices into a 24-bit map; then 4-bit ones.
    TgaHeader kMapped;
    kMapped.ucType = 1;
    kMapped.ucMapType = 1;
    kMapped.usMapLength = 2;
    kMapped.ucMapEntrySize = 24;
    kMapped.usWidth = 3;
    kMapped.usHeight = 2;
    kMapped.ucDepth = 8;
    const auto kPal8 = TgaFile(kMapped, {0, 0, 255, 0, 255, 0, /**/ 0, 1, 0, 1, 1, 0});
    WriteFileBytes("pal8.tga", std::string(kPal8.begin(), kPal8.end()));
    kMapped.ucDepth = 4;
    kMapped.usWidth = 4; // two 4-bit pixels a byte: widths are even
    const auto kPal4 = TgaFile(kMapped, {0, 0, 255, 0, 255, 0, /**/ 0x01, 0x10, 0x11, 0x00});
    WriteFileBytes("pal4.tga", std::string(kPal4.begin(), kPal4.end()));

    for (const char* pcName : {"high.tga", "pal8.tga", "pal4.tga"})
    {
        SCOPED_TRACE(pcName);
        COrvaneImageTexture kTexture;
        COrvaneWidgetRect kRect;
        ASSERT_TRUE(kTexture.Load(Desc(pcName), kRect, pcName));
        ASSERT_FALSE(kTexture.GetTiles().empty());
        const NiPixelData& kTile = *kTexture.GetTiles().front().m_spPixels;
        const NiPixelFormat& kFormat = kTile.GetPixelFormat();
        EXPECT_NE(NiPixelData::ComputePixelStride(kFormat), 0u);
        if (kFormat.IsPalettized())
        {
            EXPECT_NE(kTile.GetPalette(), nullptr); // the palette travels with the tile
        }
        // Only 32-bit pixels with alpha can miss.
        const NiVec2 kPoint(0.5f, 0.5f);
        EXPECT_TRUE(kTexture.HitTest(&kPoint, kRect));
    }
}

TEST_F(COrvaneImageTextureTest, TransparentPixelsOfA32BitImageMiss)
{
    std::vector<std::uint8_t> kPixels = Pattern(4, 4);
    kPixels[(1 * 4 + 2) * 4 + 3] = 0; // pixel (2, 1) transparent
    WriteImage("hole.tga", 4, 4, 32, kPixels);
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("hole.tga", 100.0f, 50.0f), kRect, "hole.tga"));
    const NiVec2 kHole(102.5f, 51.5f);
    const NiVec2 kOpaque(101.0f, 51.0f);
    const NiVec2 kEdge(104.0f, 54.0f); // inclusive edge: past the pixels, a hit
    const NiVec2 kOutside(104.5f, 50.0f);
    EXPECT_FALSE(kTexture.HitTest(&kHole, kRect));
    EXPECT_TRUE(kTexture.HitTest(&kOpaque, kRect));
    EXPECT_TRUE(kTexture.HitTest(&kEdge, kRect));
    EXPECT_FALSE(kTexture.HitTest(&kOutside, kRect));
    EXPECT_FALSE(kTexture.HitTest(nullptr, kRect));

    // Scaled: place and size in screen pixels, the pixel found by dividing back.
    COrvaneWidget::SetScreenScale(2.0f, 2.0f);
    CWidgetDesc kScaled = Desc("hole.tga", 100.0f, 50.0f);
    kScaled.m_ucScaleToScreen = 1;
    COrvaneImageTexture kDouble;
    ASSERT_TRUE(kDouble.Load(kScaled, kRect, "hole.tga"));
    EXPECT_EQ(kRect.m_fX, 200.0f);
    EXPECT_EQ(kRect.m_fY, 100.0f);
    EXPECT_EQ(kRect.m_fWidth, 8.0f);
    EXPECT_EQ(kRect.m_fHeight, 8.0f);
    const NiVec2 kScaledHole(205.0f, 103.0f);
    const NiVec2 kScaledOpaque(202.0f, 102.0f);
    EXPECT_FALSE(kDouble.HitTest(&kScaledHole, kRect));
    EXPECT_TRUE(kDouble.HitTest(&kScaledOpaque, kRect));
    EXPECT_FALSE(kDouble.HitTest(&kEdge, kRect)); // the unscaled place is no longer the picture

    // A zero scale factor collapses the picture to a point: a hit there
    // rather than a division by zero.
    COrvaneWidget::SetScreenScale(0.0f, 0.0f);
    COrvaneImageTexture kZero;
    ASSERT_TRUE(kZero.Load(kScaled, kRect, "hole.tga"));
    const NiVec2 kPoint(0.0f, 0.0f);
    EXPECT_TRUE(kZero.HitTest(&kPoint, kRect));
    EXPECT_FALSE(kZero.HitTest(&kHole, kRect));
}

TEST_F(COrvaneImageTextureTest, DrawingMovesVerticesOnlyWhenThePlaceChanges)
{
    WriteImage("p.tga", 300, 2, 32, Pattern(300, 2));
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    CWidgetDesc kDesc = Desc("p.tga", 10.0f, 20.0f);
    kDesc.m_pkCamera = nullptr;
    ASSERT_TRUE(kTexture.Load(kDesc, kRect, "p.tga"));
    const NiVec3 kBefore = kTexture.GetTiles()[1].m_spPolygon->GetVertices()[0];
    ClearFlags(kTexture);
    kTexture.Draw(kRect, 5.0f, 7.0f); // no camera: nothing at all
    EXPECT_FALSE(AnyFlag(kTexture));
    EXPECT_EQ(kTexture.GetTiles()[1].m_spPolygon->GetVertices()[0], kBefore);

    StartRenderer();
    ASSERT_TRUE(kTexture.Load(Desc("p.tga", 10.0f, 20.0f), kRect, "p.tga"));
    ClearFlags(kTexture);
    kTexture.Draw(kRect, 0.0f, 0.0f); // already there
    EXPECT_FALSE(AnyFlag(kTexture));
    EXPECT_EQ(Renderer().m_kScreenPolygons.size(), 4u);
    kTexture.Draw(kRect, 5.0f, 7.0f);
    EXPECT_TRUE(AnyFlag(kTexture));
    const NiVec3& kMoved = kTexture.GetTiles()[1].m_spPolygon->GetVertices()[0];
    EXPECT_FLOAT_EQ(kMoved.x, (10.0f + 5.0f + 256.0f - 0.5f) / 1024.0f);
    EXPECT_FLOAT_EQ(kMoved.y, (768.0f - 27.0f + 0.5f) / 768.0f);
    ClearFlags(kTexture);
    const NiVec3 kKept = kMoved;
    kTexture.Draw(kRect, 5.0f, 7.0f);
    EXPECT_FALSE(AnyFlag(kTexture));
    EXPECT_EQ(kTexture.GetTiles()[1].m_spPolygon->GetVertices()[0], kKept);
    EXPECT_EQ(Renderer().m_kScreenPolygons.size(), 12u);
    EXPECT_EQ(Renderer().m_kScreenPolygons[4], kTexture.GetTiles()[0].m_spPolygon);
}

TEST_F(COrvaneImageTextureTest, ColourOnlyOnChangeAndScaleNeverNegative)
{
    WriteImage("c.tga", 2, 2, 32, Pattern(2, 2));
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("c.tga"), kRect, "c.tga"));
    ClearFlags(kTexture);
    kTexture.SetColor(NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f)); // white already
    EXPECT_FALSE(AnyFlag(kTexture));
    const NiColorRGBA kGreen(0.0f, 1.0f, 0.0f, 1.0f);
    kTexture.SetColor(kGreen);
    EXPECT_TRUE(AnyFlag(kTexture));
    EXPECT_EQ(kTexture.GetTiles()[0].m_spPolygon->GetColors()[3], kGreen);

    const NiVec3 kBefore = kTexture.GetTiles()[0].m_spPolygon->GetVertices()[2];
    kTexture.Scale(-1.0f, 2.0f);
    EXPECT_EQ(kTexture.GetTiles()[0].m_spPolygon->GetVertices()[2], kBefore);
    kTexture.Scale(2.0f, 0.5f);
    EXPECT_FLOAT_EQ(kTexture.GetTiles()[0].m_spPolygon->GetVertices()[2].x, kBefore.x * 2.0f);
    EXPECT_FLOAT_EQ(kTexture.GetTiles()[0].m_spPolygon->GetVertices()[2].y, kBefore.y * 0.5f);
}

TEST_F(COrvaneImageTextureTest, PreviewFilesLoadThroughTheSceneStream)
{
    NiPixelDataPtr spPicture = new NiPixelData(128, 96, NiPixelFormat::RGBA32, 1);
    for (std::uint32_t i = 0; i < spPicture->GetSizeInBytes(); ++i)
        spPicture->GetPixels()[i] = static_cast<std::uint8_t>(i * 7);
    {
        NiObjectStream kStream;
        kStream.InsertTopObject(spPicture);
        ASSERT_TRUE(kStream.SaveFile("save.fdp"));
    }
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("save.fdp", 200.0f, 160.0f), kRect, "save.fdp"));
    EXPECT_EQ(kRect.m_fWidth, 128.0f);
    EXPECT_EQ(kRect.m_fHeight, 96.0f);
    ASSERT_EQ(kTexture.GetTiles().size(), 2u); // 128 x (64 + 32)
    const auto& kLast = kTexture.GetTiles().back();
    EXPECT_EQ(kLast.m_uiTop, 64u);
    EXPECT_EQ(kLast.m_spPixels->GetPixels()[0], spPicture->GetPixels()[64 * 128 * 4]);

    // A scene file whose first object is no picture, an empty file, no file.
    {
        NiObjectStream kStream;
        NiRefPtr<NiNode> spNode = new NiNode;
        kStream.InsertTopObject(spNode);
        ASSERT_TRUE(kStream.SaveFile("node.fdp"));
    }
    WriteFileBytes("empty.fdp", "");
    for (const char* pcName : {"node.fdp", "empty.fdp", "missing.fdp", "missing.tga"})
    {
        SCOPED_TRACE(pcName);
        COrvaneImageTexture kNone;
        EXPECT_FALSE(kNone.Load(Desc(pcName), kRect, pcName));
        EXPECT_TRUE(kNone.GetTiles().empty());
        const NiVec2 kPoint(1.0f, 1.0f);
        EXPECT_FALSE(kNone.HitTest(&kPoint, kRect));
    }
}

namespace
{
// A draw on the device renderer: what it leaves in the vertex buffers is
// what the screen would show.
class COrvaneImageTextureDeviceTest : public COrvaneImageTextureTest
{
protected:
    void DrawFrame(COrvaneImageTexture& kTexture, const COrvaneWidgetRect& kRect, float fX, float fY)
    {
        ASSERT_TRUE(DeviceRenderer().BeginScene());
        kTexture.Draw(kRect, fX, fY);
        DeviceRenderer().EndScene();
    }

    // The packed colour (0xAARRGGBB) of every vertex of the first tile.
    static std::vector<std::uint32_t> DeviceColours(const COrvaneImageTexture& kTexture)
    {
        const NiScreenPolygon& kPolygon = *kTexture.GetTiles().front().m_spPolygon;
        const auto* pkRecord = static_cast<const NiDX9GeometryBufferData*>(kPolygon.GetRendererData());
        const std::uint32_t uiStride = pkRecord != nullptr ? pkRecord->GetStride(0) : 0;
        const std::vector<std::uint8_t> kBytes = PackedVertexBytes(pkRecord, uiStride * 4);
        std::vector<std::uint32_t> kColours;
        for (std::uint32_t i = 0; i < 4 && !kBytes.empty(); ++i)
        {
            std::uint32_t uiColour = 0;
            // Position (three floats), then the colour.
            std::memcpy(&uiColour, kBytes.data() + i * uiStride + 12, 4);
            kColours.push_back(uiColour);
        }
        return kColours;
    }
};
} // namespace

TEST_F(COrvaneImageTextureDeviceTest, ATintAfterTheFirstDrawReachesTheDevice)
{
    StartDeviceRenderer();
    WriteImage("t.tga", 4, 4, 32, Pattern(4, 4));
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("t.tga", 40.0f, 30.0f), kRect, "t.tga"));
    DrawFrame(kTexture, kRect, 0.0f, 0.0f);
    EXPECT_EQ(DeviceColours(kTexture), std::vector<std::uint32_t>(4, 0xFFFFFFFFu));

    // Chosen after it was first shown: green on the next frame.
    kTexture.SetColor(NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
    DrawFrame(kTexture, kRect, 0.0f, 0.0f);
    EXPECT_EQ(DeviceColours(kTexture), std::vector<std::uint32_t>(4, 0xFF00FF00u));
    // A move keeps the tint; back to white shows white again.
    DrawFrame(kTexture, kRect, 12.0f, 5.0f);
    EXPECT_EQ(DeviceColours(kTexture), std::vector<std::uint32_t>(4, 0xFF00FF00u));
    kTexture.SetColor(NiColorRGBA(1.0f, 0.0f, 0.0f, 0.5f));
    kTexture.SetColor(NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    DrawFrame(kTexture, kRect, 12.0f, 5.0f);
    EXPECT_EQ(DeviceColours(kTexture), std::vector<std::uint32_t>(4, 0xFFFFFFFFu));
}

// Panels lie over the level: the depth the world left must not hide them.
TEST_F(COrvaneImageTextureDeviceTest, PicturesDrawWithoutTheDepthTest)
{
    StartDeviceRenderer();
    WriteImage("t.tga", 4, 4, 32, Pattern(4, 4));
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    ASSERT_TRUE(kTexture.Load(Desc("t.tga", 40.0f, 30.0f), kRect, "t.tga"));
    gfx::IDirect3DDevice9* pkDevice = DeviceRenderer().GetD3DDevice();
    ASSERT_NE(pkDevice, nullptr);
    DrawFrame(kTexture, kRect, 0.0f, 0.0f);
    std::uint32_t uiTest = 1;
    std::uint32_t uiWrite = 1;
    ASSERT_EQ(pkDevice->GetRenderState(gfx::D3DRS_ZENABLE, &uiTest), gfx::D3D_OK);
    ASSERT_EQ(pkDevice->GetRenderState(gfx::D3DRS_ZWRITEENABLE, &uiWrite), gfx::D3D_OK);
    EXPECT_EQ(uiTest, 0u);
    EXPECT_EQ(uiWrite, 0u);
}
