#include "framework/COrvaneFont.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiFont.h"
#include "engine/render/image/NiFontWriter.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "engine/scene/NiTexturingProperty.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneText.h"
#include "framework/COrvaneWidget.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
const std::string THIRTY = "abcdefghijklmnopqrstuvwxyzABCD";

class COrvaneFontTest : public UiTest
{
protected:
    // Thirty glyphs of widths 1..10 in three bands of ten, cells 5 high.
    static std::vector<std::uint32_t> ThirtyWidths()
    {
        std::vector<std::uint32_t> k;
        for (std::uint32_t i = 0; i < 30; ++i)
            k.push_back(1 + i % 10);
        return k;
    }

    static std::vector<NiScreenTexture::NiScreenRect> Rects(const NiScreenTexture& kBatch)
    {
        return {kBatch.GetScreenRects(), kBatch.GetScreenRects() + kBatch.GetNumScreenRects()};
    }
};
} // namespace

TEST_F(COrvaneFontTest, ThreeBandsOfTenMapTheirCharactersInReadingOrder)
{
    WriteFont("fonts/thirty.txt", THIRTY, ThirtyWidths(), 10, 5);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("fonts/thirty.txt", &Camera()));
    EXPECT_EQ(kFont.GetCellHeight(), 5u);
    EXPECT_EQ(kFont.GetHighestCode(), static_cast<std::uint8_t>('z'));
    ASSERT_NE(kFont.GetTexture(), nullptr);
    ASSERT_EQ(kFont.GetGlyphs().size(), 30u);
    for (std::uint32_t i = 0; i < 30; ++i)
    {
        SCOPED_TRACE(i);
        const COrvaneGlyph* pkGlyph = kFont.GetGlyph(static_cast<std::uint8_t>(THIRTY[i]));
        ASSERT_NE(pkGlyph, nullptr);
        std::uint32_t uiStart = 1;
        for (std::uint32_t j = i - i % 10; j < i; ++j)
            uiStart += 1 + j % 10 + 3;
        EXPECT_EQ(pkGlyph->m_uiX, uiStart);
        EXPECT_EQ(pkGlyph->m_uiY, (i / 10) * 6 + 1);
        EXPECT_EQ(pkGlyph->m_uiWidth, 1 + i % 10);
        EXPECT_EQ(pkGlyph->m_uiHeight, 5u);
        EXPECT_EQ(pkGlyph->m_ucChar, static_cast<std::uint8_t>(THIRTY[i]));
    }
    EXPECT_EQ(kFont.GetGlyph('0'), nullptr);
    EXPECT_EQ(kFont.GetGlyph(255), nullptr);
    EXPECT_EQ(kFont.GetTextWidth(""), 0u);
    EXPECT_EQ(kFont.GetTextWidth("ab?c"), 1u + 2u + 3u);
    EXPECT_EQ(kFont.GetTextWidth(nullptr), 0u);

    // Every byte: only the listed ones count, nothing past the table is read.
    std::string kAll;
    for (int c = 1; c < 256; ++c)
        kAll.push_back(static_cast<char>(c));
    std::uint32_t uiSum = 0;
    for (std::uint32_t w : ThirtyWidths())
        uiSum += w;
    EXPECT_EQ(kFont.GetTextWidth(kAll.c_str()), uiSum);
}

TEST_F(COrvaneFontTest, CellsAndCharactersThatDoNotMatchUp)
{
    // More characters than cells: the rest stay empty. A marker right after
    // the cell start gives width 0, not a wrapped-around huge one.
    WriteFont("more.txt", "abcdef", {3, 0, 2}, 10, 4);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("more.txt", &Camera()));
    EXPECT_EQ(kFont.GetGlyph('a')->m_uiWidth, 3u);
    EXPECT_EQ(kFont.GetGlyph('b')->m_uiWidth, 0u);
    EXPECT_EQ(kFont.GetGlyph('c')->m_uiX, 1u + 6u + 3u);
    EXPECT_EQ(kFont.GetGlyph('f')->m_uiWidth, 0u);
    EXPECT_EQ(kFont.GetGlyph('f')->m_uiX, 0u);
    EXPECT_EQ(kFont.GetTextWidth("abcdef"), 5u);

    // Fewer characters than cells.
    WriteFont("less.txt", "xy", {3, 4, 5, 6}, 2, 4);
    COrvaneFont kLess;
    ASSERT_TRUE(kLess.Create("less.txt", &Camera()));
    EXPECT_EQ(kLess.GetGlyphs().size(), 2u);
    EXPECT_EQ(kLess.GetGlyph('y')->m_uiWidth, 4u);
}

TEST_F(COrvaneFontTest, ImagesWithoutCellsLeaveEveryGlyphEmpty)
{
    // A key colour only in the top-left pixel: no second separator row.
    std::vector<std::uint8_t> kPixels(8 * 6 * 3, 0);
    kPixels[0] = 255;
    kPixels[2] = 255;
    WriteImage("norow.tga", 8, 6, 24, kPixels);
    WriteFileBytes("norow.txt", "x\r\nnorow.tga\r\nx\r\nab\r\n");
    WriteImage("dot.tga", 1, 1, 24, {255, 0, 255});
    WriteFileBytes("dot.txt", "x\r\ndot.tga\r\nx\r\nab\r\n");
    WriteFileBytes("gone.txt", "x\r\nmissing.tga\r\nx\r\nab\r\n");
    for (const char* pcName : {"norow.txt", "dot.txt", "gone.txt"})
    {
        SCOPED_TRACE(pcName);
        COrvaneFont kFont;
        ASSERT_TRUE(kFont.Create(pcName, &Camera()));
        EXPECT_EQ(kFont.GetTexture(), nullptr);
        ASSERT_NE(kFont.GetGlyph('a'), nullptr);
        EXPECT_EQ(kFont.GetGlyph('a')->m_uiWidth, 0u);
        EXPECT_EQ(kFont.GetTextWidth("abab"), 0u);
    }
    COrvaneFont kNone;
    EXPECT_FALSE(kNone.Create("nothing.txt", &Camera()));
}

TEST_F(COrvaneFontTest, AnImageOfAnySideBecomesAPowerOfTwoTextureWithTheGlyphsInPlace)
{
    // Cells 5 high in three bands: 19 rows, a width that is no power of two
    // either. The device refuses such textures (it would draw a stand-in).
    WriteFont("fonts/thirty.txt", THIRTY, ThirtyWidths(), 10, 5);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("fonts/thirty.txt", &Camera()));
    NiSourceTexture* pkTexture = kFont.GetTexture();
    ASSERT_NE(pkTexture, nullptr);
    const NiPixelData* pkCanvas = pkTexture->GetSourcePixelData();
    ASSERT_NE(pkCanvas, nullptr);
    NiPixelDataPtr spImage = NiImageConverter::GetCurrent()->ReadImageFile("fonts/thirty.tga", nullptr);
    ASSERT_NE(spImage, nullptr);
    const std::uint32_t uiWidth = spImage->GetWidth();
    const std::uint32_t uiHeight = spImage->GetHeight();
    ASSERT_EQ(uiHeight, 19u);
    ASSERT_NE(uiWidth & (uiWidth - 1), 0u);
    std::uint32_t uiSide = 1;
    while (uiSide < uiWidth)
        uiSide <<= 1;
    EXPECT_EQ(pkCanvas->GetWidth(), uiSide);
    EXPECT_EQ(pkCanvas->GetHeight(), 32u);
    EXPECT_EQ(pkTexture->GetWidth(), uiSide);
    EXPECT_EQ(pkTexture->GetHeight(), 32u);
    // Every texel of the image where it was, byte for byte; nothing beside it.
    ASSERT_EQ(pkCanvas->GetPixelFormat(), spImage->GetPixelFormat());
    const std::uint32_t uiStride = spImage->GetPixelStride();
    for (std::uint32_t uiY = 0; uiY < 32u; ++uiY)
    {
        for (std::uint32_t uiX = 0; uiX < uiSide; ++uiX)
        {
            const std::uint8_t* pucCanvas = pkCanvas->GetPixels() + (std::size_t(uiY) * uiSide + uiX) * uiStride;
            for (std::uint32_t b = 0; b < uiStride; ++b)
            {
                const std::uint8_t ucExpected = uiX < uiWidth && uiY < uiHeight
                                                    ? spImage->GetPixels()[(std::size_t(uiY) * uiWidth + uiX) * uiStride + b]
                                                    : 0;
                ASSERT_EQ(pucCanvas[b], ucExpected) << uiX << ", " << uiY;
            }
        }
    }
    // The glyphs measured on the image itself.
    EXPECT_EQ(kFont.GetGlyph('b')->m_uiY, 1u);
    EXPECT_EQ(kFont.GetCellHeight(), 5u);
}

TEST_F(COrvaneFontTest, DrawingAddsOneRectanglePerGlyphInBatches)
{
    StartRenderer();
    WriteFont("f.txt", THIRTY, ThirtyWidths(), 10, 5);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("f.txt", &Camera()));
    kFont.DrawText(1.0f, 1.0f, "abc"); // no batch open: nothing
    EXPECT_EQ(kFont.GetBatchCount(), 0u);

    kFont.BeginBatch();
    ASSERT_EQ(kFont.GetBatchCount(), 1u);
    NiScreenTexture* pkBatch = kFont.GetBatch(0);
    EXPECT_EQ(pkBatch->GetTexture(), kFont.GetTexture());
    EXPECT_EQ(pkBatch->GetTexturingProperty()->GetApplyMode(), 2u);
    pkBatch->ClearChangeFlags();
    kFont.DrawText(100, 40, "b?k");
    auto kRects = Rects(*pkBatch);
    ASSERT_EQ(kRects.size(), 2u);
    const COrvaneGlyph& kB = *kFont.GetGlyph('b');
    const COrvaneGlyph& kK = *kFont.GetGlyph('k');
    EXPECT_EQ(kRects[0], (NiScreenTexture::NiScreenRect{40, 100, 2, 5, static_cast<std::uint16_t>(kB.m_uiY),
                                                        static_cast<std::uint16_t>(kB.m_uiX),
                                                        NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f)}));
    EXPECT_EQ(kRects[1].m_sPixLeft, 102); // right after b, no spacing
    EXPECT_EQ(kRects[1].m_usTexTop, kK.m_uiY);
    EXPECT_EQ(pkBatch->GetChangeFlags() & NiScreenTexture::COLOR_MASK, 0u);

    kFont.SetColor(1.0f, 0.0f, 0.0f, 1.0f);
    kFont.DrawText(0.0f, 0.0f, "a");
    EXPECT_EQ(Rects(*pkBatch).back().m_kColor, NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_NE(pkBatch->GetChangeFlags() & NiScreenTexture::COLOR_MASK, 0u);

    kFont.Flush();
    ASSERT_EQ(Renderer().m_kScreenTextures.size(), 1u);
    EXPECT_EQ(Renderer().m_kScreenTextures[0], pkBatch);
    kFont.DrawText(0.0f, 0.0f, "a"); // closed again
    EXPECT_EQ(pkBatch->GetNumScreenRects(), 3u);
    kFont.BeginBatch();
    ASSERT_EQ(kFont.GetBatchCount(), 2u);
    kFont.DrawText(0.0f, 0.0f, "a");
    EXPECT_EQ(Rects(*kFont.GetBatch(1)).back().m_kColor, NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f)); // white after Flush
    kFont.Flush();

    Camera().GetScreenCamera()->AddScreenTexture(pkBatch);
    kFont.ResetBatches();
    EXPECT_EQ(Camera().GetScreenCamera()->GetScreenTexture(0), nullptr);
    EXPECT_EQ(kFont.GetBatch(0)->GetNumScreenRects(), 0u);
    EXPECT_EQ(kFont.GetBatch(1)->GetNumScreenRects(), 0u);
    kFont.BeginBatch(); // batch 0 again, none made
    EXPECT_EQ(kFont.GetBatchCount(), 2u);
}

TEST_F(COrvaneFontTest, WrappingCountsLinesAndKeepsLongWordsWhole)
{
    // Every glyph 4 wide, 'A' 6 high, cells 6 high.
    WriteFont("w.txt", "abcdefghij A", std::vector<std::uint32_t>(12, 4), 12, 6);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("w.txt", &Camera()));
    kFont.BeginBatch();
    COrvaneWidgetRect kRect;
    kRect.m_fX = 10.0f;
    kRect.m_fY = 20.0f;
    kRect.m_fWidth = 40.0f; // ten glyphs a line
    kRect.m_fHeight = 100.0f;
    EXPECT_EQ(kFont.DrawTextWrapped(kRect, "abc def"), 1);
    EXPECT_EQ(kFont.GetBatch(0)->GetNumScreenRects(), 7u);

    kFont.ResetBatches();
    kFont.BeginBatch();
    // "ab" then a word too long for any line: it keeps a line of its own.
    EXPECT_EQ(kFont.DrawTextWrapped(kRect, "ab abcdefghijabcdefghij"), 2);
    auto kRects = Rects(*kFont.GetBatch(0));
    ASSERT_EQ(kRects.size(), 2u + 20u); // the used space became the line break
    EXPECT_EQ(kRects[1].m_sPixTop, 20);
    EXPECT_EQ(kRects[2].m_sPixLeft, 10);
    EXPECT_EQ(kRects[2].m_sPixTop, 26); // down by the height of 'A'
    EXPECT_EQ(kRects.back().m_sPixTop, 26);

    // Given line feeds count as lines.
    EXPECT_EQ(kFont.DrawTextWrapped(kRect, "a\nb\nc"), 3);

    // Without an 'A' a line is one cell high.
    WriteFont("noa.txt", "ab", {4, 4}, 2, 9);
    COrvaneFont kNoA;
    ASSERT_TRUE(kNoA.Create("noa.txt", &Camera()));
    kNoA.BeginBatch();
    EXPECT_EQ(kNoA.DrawTextWrapped(kRect, "a\nb"), 2);
    auto kTwo = Rects(*kNoA.GetBatch(0));
    ASSERT_EQ(kTwo.size(), 2u);
    EXPECT_EQ(kTwo[1].m_sPixTop - kTwo[0].m_sPixTop, 9);
}

TEST_F(COrvaneFontTest, TextObjectsDrawWithAnEngineFont)
{
    StartRenderer();
    NiFontWriter kWriter = NiFontWriter::MakeGrid(96, 8, 12);
    ASSERT_TRUE(kWriter.WriteFile("engine.nff"));
    COrvaneText kText;
    EXPECT_FALSE(kText.LoadFont("missing.nff"));
    EXPECT_EQ(kText.GetFont(), nullptr);
    ASSERT_TRUE(kText.LoadFont("engine.nff"));
    ASSERT_NE(kText.GetFont(), nullptr);
    EXPECT_EQ(kText.GetFont()->GetRenderer(), &Renderer());

    kText.Draw("Hi there", 100.0f, 50.0f, 0, nullptr);
    ASSERT_EQ(Renderer().m_kScreenRects.size(), 1u);
    const auto kLeft = Renderer().m_kScreenRects[0];
    ASSERT_EQ(kLeft.size(), 8u);
    EXPECT_EQ(kLeft[0].m_sPixLeft, 100);
    EXPECT_EQ(kLeft[0].m_sPixTop, 50);
    // Alignment 2 centres the line on the position: 8 glyphs of 8 texels.
    kText.Draw("Hi there", 100.0f, 50.0f, COrvaneText::ALIGN_CENTRE, nullptr);
    ASSERT_EQ(Renderer().m_kScreenRects.size(), 2u);
    EXPECT_EQ(Renderer().m_kScreenRects[1][0].m_sPixLeft, 100 - 32);

    // Wrapping inside 100..140: "Hi there" does not fit, the space breaks it.
    const NiRect<float> kWrap(100.0f, 140.0f, 0.0f, 0.0f);
    kText.Draw("Hi there", 100.0f, 50.0f, 0, &kWrap);
    const auto& kWrapped = Renderer().m_kScreenRects.back();
    ASSERT_FALSE(kWrapped.empty());
    EXPECT_GT(kWrapped.back().m_sPixTop, kWrapped.front().m_sPixTop);
    EXPECT_EQ(kText.GetArea(), 0.0f);
}

TEST_F(COrvaneFontTest, ABatchFilledWithOtherTextShowsTheNewTextOnly)
{
    StartDeviceRenderer();
    WriteFont("f.txt", THIRTY, ThirtyWidths(), 10, 5);
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("f.txt", &Camera()));
    // Screen texture vertices as packed: x, y, z, rhw, colour, u, v.
    constexpr std::uint32_t STRIDE = 28;
    auto DrawFrame = [&](float fX, float fY, const char* pcText) {
        kFont.ResetBatches();
        ASSERT_TRUE(DeviceRenderer().BeginScene());
        kFont.BeginBatch();
        kFont.DrawText(fX, fY, pcText);
        kFont.Flush();
        DeviceRenderer().EndScene();
    };
    auto Packed = [&]() {
        const auto* pkRecord = static_cast<const NiDX9GeometryBufferData*>(kFont.GetBatch(0)->GetRendererData());
        return pkRecord;
    };

    DrawFrame(100.0f, 40.0f, "abc");
    ASSERT_NE(Packed(), nullptr);
    EXPECT_EQ(Packed()->m_uiVertCount, 12u);

    // The next frame's panel writes one letter elsewhere with the same batch.
    DrawFrame(300.0f, 200.0f, "d");
    ASSERT_EQ(Packed()->m_uiVertCount, 4u);
    const std::vector<std::uint8_t> kBytes = PackedVertexBytes(Packed(), STRIDE);
    ASSERT_EQ(kBytes.size(), STRIDE);
    float afCorner[2] = {};
    std::memcpy(afCorner, kBytes.data(), sizeof afCorner);
    EXPECT_FLOAT_EQ(afCorner[0], 299.5f);
    EXPECT_FLOAT_EQ(afCorner[1], 199.5f);
}
