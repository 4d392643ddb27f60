#include "framework/COrvaneCanvasLayout.h"

#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneWidget.h"
#include "tests/framework/UiTestSupport.h"
#include "tools/COrvaneTgaWriter.h"

#include <gtest/gtest.h>

#include <array>

namespace
{
using Rgb = std::array<std::uint8_t, 3>;
constexpr Rgb RED = {255, 0, 0};
constexpr Rgb BLUE = {0, 0, 255};
constexpr Rgb YELLOW = {255, 255, 0};
constexpr Rgb CYAN = {0, 255, 255};
constexpr Rgb WHITE = {255, 255, 255};
constexpr Rgb GREEN = {0, 255, 0};

// A map of one background colour with key pixels in row 0 and blocks below.
class Map
{
public:
    Map(std::uint16_t usWidth, std::uint16_t usHeight)
        : m_usWidth(usWidth), m_usHeight(usHeight), m_kPixels(3u * usWidth * usHeight, 40)
    {
    }
    Map& Pixel(std::uint32_t x, std::uint32_t y, const Rgb& kColor)
    {
        std::copy(kColor.begin(), kColor.end(), m_kPixels.begin() + 3 * (y * m_usWidth + x));
        return *this;
    }
    Map& Block(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h, const Rgb& kColor)
    {
        for (std::uint32_t j = y; j < y + h; ++j)
            for (std::uint32_t i = x; i < x + w; ++i)
                Pixel(i, j, kColor);
        return *this;
    }
    void Write(const std::filesystem::path& kPath) const
    {
        UiTest::WriteImage(kPath, m_usWidth, m_usHeight, 24, m_kPixels);
    }

private:
    std::uint16_t m_usWidth;
    std::uint16_t m_usHeight;
    std::vector<std::uint8_t> m_kPixels;
};

class COrvaneCanvasLayoutTest : public UiTest
{
protected:
    void WritePanel(const std::string& kFolder)
    {
        WriteFilled(kFolder + "panel.tga", 64, 32, 90, 90, 90);
        Map(64, 32)
            .Pixel(0, 0, RED)
            .Pixel(1, 0, BLUE)
            .Pixel(2, 0, WHITE)
            .Pixel(3, 0, GREEN) // after the white: no key
            .Block(4, 5, 10, 6, RED)
            .Block(20, 8, 5, 3, BLUE)
            .Block(40, 20, 3, 3, RED) // a second red area: the first one counts
            .Write(kFolder + "panel_h.tga");
        Map(64, 32)
            .Pixel(0, 0, YELLOW)
            .Pixel(1, 0, CYAN)
            .Pixel(2, 0, WHITE)
            .Block(3, 4, 2, 2, YELLOW)
            .Pixel(30, 10, CYAN)
            .Write(kFolder + "panel_p.tga");
        WriteFilled(kFolder + "panel1.tga", 4, 4, 1, 1, 1); // no "_s": not an overlay
        WriteFilled(kFolder + "panel1_s.tga", 8, 6, 1, 1, 1);
        WriteFilled(kFolder + "panel2_S.tga", 12, 7, 1, 1, 1);
    }

    static void ExpectRect(const COrvaneWidget* pkWidget, float fX, float fY, float fWidth, float fHeight)
    {
        ASSERT_NE(pkWidget, nullptr);
        EXPECT_EQ(pkWidget->GetRect().m_fX, fX);
        EXPECT_EQ(pkWidget->GetRect().m_fY, fY);
        EXPECT_EQ(pkWidget->GetRect().m_fWidth, fWidth);
        EXPECT_EQ(pkWidget->GetRect().m_fHeight, fHeight);
    }
};
} // namespace

TEST_F(COrvaneCanvasLayoutTest, HotAreasOverlaysAndTheToolTipListComeFromTheMaps)
{
    WritePanel("images/demo/");
    Locale().m_kLists = {"other", "the panel tips"};
    COrvaneCanvas kCanvas;
    kCanvas.Create("images/demo/panel.tga", 100.0f, 50.0f, false);
    EXPECT_EQ(kCanvas.GetX(), 100.0f);
    ASSERT_EQ(kCanvas.GetWidgetCount(), 3);
    EXPECT_STREQ(kCanvas.GetWidget(0)->GetName(), "images/demo/panel.tga");
    ExpectRect(kCanvas.GetWidget(0), 0.0f, 0.0f, 64.0f, 32.0f);
    EXPECT_STREQ(kCanvas.GetWidget(1)->GetName(), "images/demo/panel1_s.tga");
    ExpectRect(kCanvas.GetWidget(1), 3.0f, 4.0f, 8.0f, 6.0f);
    EXPECT_STREQ(kCanvas.GetWidget(2)->GetName(), "images/demo/panel2_S.tga");
    ExpectRect(kCanvas.GetWidget(2), 30.0f, 10.0f, 12.0f, 7.0f);

    ASSERT_EQ(kCanvas.GetHotAreaCount(), 2);
    ExpectRect(kCanvas.GetHotArea(0), 4.0f, 5.0f, 10.0f, 6.0f);
    ExpectRect(kCanvas.GetHotArea(1), 20.0f, 8.0f, 5.0f, 3.0f);
    EXPECT_EQ(kCanvas.GetTextList(), 1);
}

TEST_F(COrvaneCanvasLayoutTest, ScaledLayoutsScaleTheirHotAreas)
{
    WritePanel("");
    COrvaneWidget::SetScreenScale(2.0f, 0.5f);
    COrvaneCanvas kCanvas;
    kCanvas.Create("panel.tga", 0.0f, 0.0f, true);
    ASSERT_EQ(kCanvas.GetHotAreaCount(), 2);
    ExpectRect(kCanvas.GetHotArea(1), 40.0f, 4.0f, 10.0f, 1.5f);
    EXPECT_EQ(kCanvas.GetTextList(), -1); // the locale has no such list

    // Overlays move with their size: place and size both scaled.
    ExpectRect(kCanvas.GetWidget(0), 0.0f, 0.0f, 128.0f, 16.0f);
    ExpectRect(kCanvas.GetWidget(1), 6.0f, 2.0f, 16.0f, 3.0f);
    ExpectRect(kCanvas.GetWidget(2), 60.0f, 5.0f, 24.0f, 3.5f);
    const NiVec2 kOnScaled(7.0f, 3.0f);
    const NiVec2 kOnUnscaled(4.0f, 5.5f);
    EXPECT_TRUE(kCanvas.GetWidget(1)->HitTest(&kOnScaled));
    EXPECT_FALSE(kCanvas.GetWidget(1)->HitTest(&kOnUnscaled));
    // Drawn where it is hit: the top-left vertex at the scaled place.
    StartRenderer();
    kCanvas.Draw();
    const auto* pkOverlay = dynamic_cast<const COrvaneImage*>(kCanvas.GetWidget(2));
    ASSERT_NE(pkOverlay, nullptr);
    const NiVec3& kCorner = pkOverlay->GetTexture().GetTiles().front().m_spPolygon->GetVertices()[0];
    EXPECT_FLOAT_EQ(kCorner.x, (60.0f - 0.5f) / 1024.0f);
    EXPECT_FLOAT_EQ(kCorner.y, (768.0f - 5.0f + 0.5f) / 768.0f);
    const NiVec3& kFar = pkOverlay->GetTexture().GetTiles().back().m_spPolygon->GetVertices()[2];
    EXPECT_FLOAT_EQ(kFar.x, (60.0f + 24.0f - 0.5f) / 1024.0f);
}

TEST_F(COrvaneCanvasLayoutTest, KeyRowsThatGiveNothing)
{
    WriteFilled("blank.tga", 16, 16, 9, 9, 9);
    Map(16, 16).Pixel(0, 0, WHITE).Pixel(1, 0, RED).Block(2, 2, 3, 3, RED).Write("blank_h.tga");
    COrvaneCanvas kBlank;
    kBlank.Create("blank.tga", 0.0f, 0.0f, false);
    EXPECT_EQ(kBlank.GetHotAreaCount(), 0);

    // A key colour that never occurs below row 0: an area without a rectangle.
    WriteFilled("gap.tga", 16, 16, 9, 9, 9);
    Map(16, 16).Pixel(0, 0, RED).Pixel(1, 0, BLUE).Pixel(2, 0, WHITE).Block(2, 2, 3, 3, BLUE).Write("gap_h.tga");
    COrvaneCanvas kGap;
    kGap.Create("gap.tga", 0.0f, 0.0f, false);
    ASSERT_EQ(kGap.GetHotAreaCount(), 2);
    ExpectRect(kGap.GetHotArea(0), -1.0f, -1.0f, -1.0f, -1.0f);
    ExpectRect(kGap.GetHotArea(1), 2.0f, 2.0f, 3.0f, 3.0f);

    // A palette map has no colour bytes to compare: its step is skipped.
    WriteFilled("pal.tga", 16, 16, 9, 9, 9);
    TgaHeader kMapped;
    kMapped.ucType = 1;
    kMapped.ucMapType = 1;
    kMapped.usMapLength = 2;
    kMapped.ucMapEntrySize = 24;
    kMapped.usWidth = 2;
    kMapped.usHeight = 2;
    kMapped.ucDepth = 8;
    const auto kPal = TgaFile(kMapped, {0, 0, 255, 255, 255, 255, /**/ 0, 1, 0, 0});
    WriteFileBytes("pal_h.tga", std::string(kPal.begin(), kPal.end()));
    Locale().m_kLists = {"pal"};
    COrvaneCanvas kPal8;
    kPal8.Create("pal.tga", 0.0f, 0.0f, false);
    EXPECT_EQ(kPal8.GetHotAreaCount(), 0);
    EXPECT_EQ(kPal8.GetTextList(), -1);
}

TEST_F(COrvaneCanvasLayoutTest, WithoutAPlacementMapNumberedImagesStandInARow)
{
    WriteFilled("row.tga", 40, 10, 1, 2, 3);
    WriteFilled("row01.tga", 10, 10, 1, 2, 3);
    WriteFilled("row02.tga", 12, 10, 1, 2, 3);
    WriteFilled("row99.tga", 5, 5, 1, 2, 3);
    WriteFilled("row04.tga", 7, 7, 1, 2, 3); // after the gap: never reached
    COrvaneCanvas kCanvas;
    kCanvas.Create("row.tga", 100.7f, 50.2f, false);
    ASSERT_EQ(kCanvas.GetWidgetCount(), 4);
    ExpectRect(kCanvas.GetWidget(1), 140.0f, 50.0f, 10.0f, 10.0f);
    ExpectRect(kCanvas.GetWidget(2), 150.0f, 50.0f, 12.0f, 10.0f);
    ExpectRect(kCanvas.GetWidget(3), 162.0f, 50.0f, 5.0f, 5.0f); // 99: tried once, no step before it
    EXPECT_STREQ(kCanvas.GetWidget(3)->GetName(), "row99.tga");

    // Scaled, the row steps in layout units and each image scales its place.
    COrvaneWidget::SetScreenScale(2.0f, 0.5f);
    COrvaneCanvas kScaled;
    kScaled.Create("row.tga", 0.0f, 0.0f, true);
    ASSERT_EQ(kScaled.GetWidgetCount(), 4);
    ExpectRect(kScaled.GetWidget(1), 80.0f, 0.0f, 20.0f, 5.0f);
    ExpectRect(kScaled.GetWidget(2), 100.0f, 0.0f, 24.0f, 5.0f);
    ExpectRect(kScaled.GetWidget(3), 124.0f, 0.0f, 10.0f, 2.5f);
    COrvaneWidget::ResetScreenScale();

    WriteFilled("one.tga", 8, 8, 1, 2, 3);
    WriteFilled("one01.tga", 8, 8, 1, 2, 3);
    COrvaneCanvas kOne;
    kOne.Create("one.tga", 0.0f, 0.0f, false);
    EXPECT_EQ(kOne.GetWidgetCount(), 2);
}

TEST_F(COrvaneCanvasLayoutTest, ShortNamesHaveNothingBesideThem)
{
    // "a.tg" has no base: the maps of an empty base are never read.
    WriteFilled("a.tg", 8, 8, 1, 2, 3);
    Map(8, 8).Pixel(0, 0, RED).Pixel(1, 0, WHITE).Block(2, 2, 2, 2, RED).Write("_h.tga");
    WriteFilled("01.tga", 8, 8, 1, 2, 3);
    COrvaneCanvas kCanvas;
    kCanvas.Create("a.tg", 0.0f, 0.0f, false);
    EXPECT_EQ(kCanvas.GetWidgetCount(), 1);
    EXPECT_EQ(kCanvas.GetHotAreaCount(), 0);
    EXPECT_EQ(kCanvas.GetWidget(0)->GetRect().m_fWidth, 0.0f); // no reader takes ".tg"

    COrvaneCanvas kEmpty;
    kEmpty.Create("", 0.0f, 0.0f, false);
    EXPECT_EQ(kEmpty.GetWidgetCount(), 1); // a background without tiles
}
