#include "tools/COrvaneDemoLabels.h"

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneCanvasLayout.h"
#include "platform/os/OsFiles.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoTooltips.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
class COrvaneDemoLabelsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_kFolder = demotest::MakeTempFolder("demo-labels");
        ASSERT_FALSE(m_kFolder.empty());
        NiImageConverter::SetCurrent(new NiImageFileConverter);
    }

    void TearDown() override
    {
        NiImageConverter::ReleaseCurrent();
        demotest::RemoveFolder(m_kFolder);
    }

    std::filesystem::path m_kFolder;
};

bool Overlap(const DemoRect& a, const DemoRect& b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}
} // namespace

// Each label stands clear of its figure: wholly before it on its line, or
// wholly above it as a column's heading; and no two labels of a picture
// overlap (one would draw over the other).
TEST_F(COrvaneDemoLabelsTest, LabelsStandBeforeOrAboveTheirFiguresAndApart)
{
    const std::vector<DemoFigureLabel>& kLabels = DemoFigureLabels();
    ASSERT_GT(kLabels.size(), 50u);
    for (std::size_t i = 0; i < kLabels.size(); ++i)
    {
        const DemoFigureLabel& kLabel = kLabels[i];
        SCOPED_TRACE(std::string(kLabel.pcBase) + " " + kLabel.pcEnglish);
        const DemoRect kRect = DemoFigureLabelRect(kLabel);
        EXPECT_GT(kRect.w, 0u);
        EXPECT_GT(kRect.y, 0u); // below the hot-area map's key row
        if (kLabel.bAbove)
        {
            EXPECT_LT(kRect.y + kRect.h, kLabel.uiY);
        }
        else
        {
            EXPECT_LT(kRect.x + kRect.w, kLabel.uiX);
        }
        for (std::size_t j = i + 1; j < kLabels.size(); ++j)
        {
            if (std::string(kLabels[j].pcBase) == kLabel.pcBase)
            {
                EXPECT_FALSE(Overlap(kRect, DemoFigureLabelRect(kLabels[j]))) << kLabels[j].pcEnglish;
            }
        }
    }
}

// The hot areas the builder writes over the labels come back, through the
// game's own map reader, as the labels' rectangles, each with its own key
// colour, after the layout's buttons' areas.
TEST_F(COrvaneDemoLabelsTest, HotAreaMapsGiveBackEveryLabelsRectangle)
{
    for (const char* pcBase : {"images/panels/management/mprisoners", "images/parole/parole"})
    {
        SCOPED_TRACE(pcBase);
        const std::string kBase = pcBase;
        ASSERT_TRUE(os::CreateFolderTree((m_kFolder / kBase).parent_path().string()));
        // The desk's three buttons, as the front end lays them out.
        const std::vector<DemoRect> kButtons =
            kBase == "images/parole/parole"
                ? std::vector<DemoRect>{{200, 440, 110, 40}, {330, 440, 110, 40}, {700, 460, 110, 40}}
                : std::vector<DemoRect>{};
        ASSERT_TRUE(WriteDemoHotAreas(m_kFolder.string(), kBase, 840, 520, kButtons));
        std::vector<COrvaneCanvasLayout::KeyArea> kAreas;
        ASSERT_TRUE(COrvaneCanvasLayout::ReadKeyAreas((m_kFolder / (kBase + "_h.tga")).string(), kAreas));
        const std::vector<DemoFigureLabel> kLabels = DemoFigureLabelsOf(kBase);
        ASSERT_FALSE(kLabels.empty());
        ASSERT_EQ(kAreas.size(), kButtons.size() + kLabels.size());
        for (std::size_t i = 0; i < kLabels.size(); ++i)
        {
            SCOPED_TRACE(kLabels[i].pcEnglish);
            const DemoRect kRect = DemoFigureLabelRect(kLabels[i]);
            const COrvaneCanvasLayout::KeyArea& kArea = kAreas[kButtons.size() + i];
            EXPECT_EQ(kArea.m_iX, static_cast<std::int32_t>(kRect.x));
            EXPECT_EQ(kArea.m_iY, static_cast<std::int32_t>(kRect.y));
            EXPECT_EQ(kArea.m_iWidth, static_cast<std::int32_t>(kRect.w));
            EXPECT_EQ(kArea.m_iHeight, static_cast<std::int32_t>(kRect.h));
        }
    }
}

// A label's icon is drawn into its rectangle, and nothing of it outside.
TEST_F(COrvaneDemoLabelsTest, IconsAreDrawnInsideTheirRectangles)
{
    const std::string kBase = "images/panels/management/mstaff";
    COrvaneDemoImage kPicture(300, 170, {0, 0, 0, 255});
    ASSERT_TRUE(DrawDemoFigureLabels(kPicture, kBase));
    const std::filesystem::path kPath = m_kFolder / "labels.tga";
    ASSERT_TRUE(kPicture.Write(kPath.string()));
    NiImageFileConverter kConverter;
    NiPixelDataPtr spImage = kConverter.ReadImageFile(kPath.string().c_str(), nullptr);
    ASSERT_NE(spImage, nullptr);
    const auto Lit = [&spImage](std::uint32_t x, std::uint32_t y) {
        const std::uint8_t* puc = spImage->GetPixels() + (static_cast<std::size_t>(y) * spImage->GetWidth() + x) * 4;
        return puc[0] + puc[1] + puc[2] > 0;
    };
    const std::vector<DemoFigureLabel> kLabels = DemoFigureLabelsOf(kBase);
    for (std::uint32_t y = 0; y < spImage->GetHeight(); ++y)
        for (std::uint32_t x = 0; x < spImage->GetWidth(); ++x)
        {
            if (!Lit(x, y))
                continue;
            bool bInside = false;
            for (const DemoFigureLabel& kLabel : kLabels)
            {
                const DemoRect kRect = DemoFigureLabelRect(kLabel);
                bInside = bInside || (x >= kRect.x && x < kRect.x + kRect.w && y >= kRect.y && y < kRect.y + kRect.h);
            }
            EXPECT_TRUE(bInside) << x << ", " << y;
        }
    for (const DemoFigureLabel& kLabel : kLabels)
    {
        SCOPED_TRACE(kLabel.pcEnglish);
        const DemoRect kRect = DemoFigureLabelRect(kLabel);
        int iLit = 0;
        for (std::uint32_t y = kRect.y; y < kRect.y + kRect.h; ++y)
            for (std::uint32_t x = kRect.x; x < kRect.x + kRect.w; ++x)
                iLit += Lit(x, y) ? 1 : 0;
        EXPECT_GE(iLit, 6);
    }
}
