#include "tools/COrvaneDemoInterface.h"

#include "engine/render/image/NiFontWriter.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneTgaWriter.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
using Rgba = std::array<std::uint8_t, 4>;

// A 5 x 7 dot-matrix face: each glyph is seven rows, bit 4 the left column.
struct DotGlyph
{
    char cChar;
    std::array<std::uint8_t, 7> aucRows;
};

const DotGlyph DOT_FONT[] = {
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}}, {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}}, {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}}, {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'*', {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}},
};

// Glyph cells: five dot columns and one blank column of spacing; seven dot
// rows and one blank row below.
constexpr std::uint32_t CELL_WIDTH = 6;
constexpr std::uint32_t CELL_HEIGHT = 8;
constexpr std::uint32_t CELLS_PER_BAND = 16;
const Rgba KEY = {255, 0, 255, 255};
const Rgba INK = {255, 255, 255, 255};
const Rgba CLEAR = {0, 0, 0, 0};

// A 32-bit picture being drawn.
class Picture
{
public:
    Picture(std::uint32_t uiWidth, std::uint32_t uiHeight, const Rgba& kFill)
        : m_uiWidth(uiWidth), m_uiHeight(uiHeight), m_kPixels(static_cast<std::size_t>(uiWidth) * uiHeight * 4)
    {
        for (std::size_t i = 0; i < m_kPixels.size(); i += 4)
            std::memcpy(m_kPixels.data() + i, kFill.data(), 4);
    }
    Picture& Set(std::uint32_t uiX, std::uint32_t uiY, const Rgba& kColor)
    {
        if (uiX < m_uiWidth && uiY < m_uiHeight)
        {
            for (std::size_t c = 0; c < 4; ++c)
                m_kPixels[(static_cast<std::size_t>(uiY) * m_uiWidth + uiX) * 4 + c] = kColor[c];
        }
        return *this;
    }
    Picture& Fill(std::uint32_t uiX, std::uint32_t uiY, std::uint32_t uiW, std::uint32_t uiH, const Rgba& kColor)
    {
        for (std::uint32_t y = uiY; y < uiY + uiH; ++y)
            for (std::uint32_t x = uiX; x < uiX + uiW; ++x)
                Set(x, y, kColor);
        return *this;
    }
    // A filled box with a one-pixel frame.
    Picture& Box(std::uint32_t uiX, std::uint32_t uiY, std::uint32_t uiW, std::uint32_t uiH, const Rgba& kFill,
                 const Rgba& kFrame)
    {
        Fill(uiX, uiY, uiW, uiH, kFrame);
        return Fill(uiX + 1, uiY + 1, uiW - 2, uiH - 2, kFill);
    }
    [[nodiscard]] bool Write(const std::string& kPath) const
    {
        return WriteTga(kPath, static_cast<std::uint16_t>(m_uiWidth), static_cast<std::uint16_t>(m_uiHeight), 32,
                        m_kPixels);
    }

private:
    std::uint32_t m_uiWidth;
    std::uint32_t m_uiHeight;
    std::vector<std::uint8_t> m_kPixels;
};

// The glyph of a character: lower-case letters share the capitals' dots.
const DotGlyph* FindDots(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    for (const DotGlyph& kGlyph : DOT_FONT)
    {
        if (kGlyph.cChar == c)
            return &kGlyph;
    }
    return nullptr;
}

void DrawDots(Picture& kPicture, const DotGlyph& kGlyph, std::uint32_t uiLeft, std::uint32_t uiTop, const Rgba& kInk)
{
    for (std::uint32_t y = 0; y < 7; ++y)
        for (std::uint32_t x = 0; x < 5; ++x)
            if ((kGlyph.aucRows[y] >> (4 - x)) & 1)
                kPicture.Set(uiLeft + x, uiTop + y, kInk);
}

// The characters of the bitmap font in cell order.
std::string DemoCharacters()
{
    std::string kChars;
    for (const DotGlyph& kGlyph : DOT_FONT)
        kChars.push_back(kGlyph.cChar);
    for (char c = 'a'; c <= 'z'; ++c)
        kChars.push_back(c);
    return kChars;
}

bool WriteBitmapFont(const std::string& kFolder)
{
    const std::string kChars = DemoCharacters();
    const auto uiBands = static_cast<std::uint32_t>((kChars.size() + CELLS_PER_BAND - 1) / CELLS_PER_BAND);
    // A cell is its glyph's columns plus a key marker and the two columns
    // before it that the font leaves out of the width.
    const std::uint32_t uiWidth = 1 + CELLS_PER_BAND * (CELL_WIDTH + 3);
    const std::uint32_t uiHeight = uiBands * (CELL_HEIGHT + 1) + 1;
    Picture kImage(uiWidth, uiHeight, CLEAR);
    for (std::uint32_t b = 0; b <= uiBands; ++b)
        kImage.Set(0, b * (CELL_HEIGHT + 1), KEY);
    for (std::size_t i = 0; i < kChars.size(); ++i)
    {
        const auto uiBand = static_cast<std::uint32_t>(i / CELLS_PER_BAND);
        const auto uiColumn = static_cast<std::uint32_t>(i % CELLS_PER_BAND);
        const std::uint32_t uiStart = 1 + uiColumn * (CELL_WIDTH + 3);
        const std::uint32_t uiSeparator = uiBand * (CELL_HEIGHT + 1);
        kImage.Set(uiStart + CELL_WIDTH + 2, uiSeparator, KEY);
        if (const DotGlyph* pkDots = FindDots(kChars[i]))
            DrawDots(kImage, *pkDots, uiStart, uiSeparator + 1, INK);
    }
    if (!kImage.Write(kFolder + "/fonts/demo.tga"))
        return false;
    std::FILE* pkFile = std::fopen((kFolder + "/fonts/demo.txt").c_str(), "wb");
    if (pkFile == nullptr)
    {
        std::fprintf(stderr, "demo data: cannot write %s/fonts/demo.txt\n", kFolder.c_str());
        return false;
    }
    const std::string kText = "Demo dot-matrix font\r\ndemo.tga\r\ncharacters:\r\n" + kChars + "\r\n";
    const bool bWritten = std::fwrite(kText.data(), 1, kText.size(), pkFile) == kText.size();
    return std::fclose(pkFile) == 0 && bWritten;
}

// The same dots as an engine font: 96 glyphs from the space upward.
bool WriteEngineFont(const std::string& kFolder)
{
    NiFontWriter kWriter = NiFontWriter::MakeGrid(96, CELL_WIDTH, CELL_HEIGHT);
    const std::uint32_t uiTextureWidth = kWriter.m_uiTextureWidth;
    std::fill(kWriter.m_kPixels.begin(), kWriter.m_kPixels.end(), 0);
    for (std::uint32_t i = 0; i < 96; ++i)
    {
        const DotGlyph* pkDots = FindDots(static_cast<char>(0x20 + i));
        if (pkDots == nullptr)
            continue;
        for (std::uint32_t y = 0; y < 7; ++y)
            for (std::uint32_t x = 0; x < 5; ++x)
                if ((pkDots->aucRows[y] >> (4 - x)) & 1)
                    std::fill_n(kWriter.m_kPixels.begin() +
                                    static_cast<std::ptrdiff_t>((y * uiTextureWidth + i * CELL_WIDTH + x) * 4),
                                4, 0xFF);
    }
    return kWriter.WriteFile((kFolder + "/fonts/demo.nff").c_str());
}

bool WriteCursor(const std::string& kFolder)
{
    // An arrow: a black-edged white wedge, transparent around it.
    Picture kCursor(16, 16, CLEAR);
    for (std::uint32_t y = 0; y < 12; ++y)
    {
        for (std::uint32_t x = 0; x <= y && x < 8; ++x)
            kCursor.Set(x, y, x == 0 || x == y || y == 11 ? Rgba{0, 0, 0, 255} : INK);
    }
    return kCursor.Write(kFolder + "/cursor.tga");
}

bool WritePanel(const std::string& kFolder)
{
    const std::string kBase = kFolder + "/images/demo/";
    const Rgba kPanel = {30, 40, 70, 230};
    const Rgba kFrame = {150, 160, 190, 255};
    const Rgba kButton = {60, 80, 130, 255};
    // Buttons at (20, 30) and (140, 30), 80 x 40 each.
    Picture kBackground(256, 128, kPanel);
    kBackground.Box(0, 0, 256, 128, kPanel, kFrame).Box(20, 30, 80, 40, kButton, kFrame).Box(140, 30, 80, 40, kButton,
                                                                                            kFrame);
    // Maps: the key colours left in row 0 up to the first white pixel.
    const Rgba kWhite = {255, 255, 255, 255};
    const Rgba kBlack = {0, 0, 0, 255};
    Picture kHot(256, 128, kBlack);
    kHot.Set(0, 0, {255, 0, 0, 255}).Set(1, 0, {0, 255, 0, 255}).Set(2, 0, kWhite);
    kHot.Fill(20, 30, 80, 40, {255, 0, 0, 255}).Fill(140, 30, 80, 40, {0, 255, 0, 255});
    Picture kPlace(256, 128, kBlack);
    kPlace.Set(0, 0, {255, 255, 0, 255}).Set(1, 0, {0, 255, 255, 255}).Set(2, 0, kWhite);
    kPlace.Set(20, 30, {255, 255, 0, 255}).Set(140, 30, {0, 255, 255, 255});
    // The overlays: highlights drawn over the buttons while hovered or pressed.
    Picture kFirst(80, 40, {255, 255, 255, 90});
    kFirst.Box(0, 0, 80, 40, {255, 255, 255, 90}, kWhite);
    Picture kSecond(80, 40, {255, 220, 120, 90});
    kSecond.Box(0, 0, 80, 40, {255, 220, 120, 90}, kWhite);
    if (const DotGlyph* pkDots = FindDots('1'))
        DrawDots(kFirst, *pkDots, 37, 16, kWhite);
    if (const DotGlyph* pkDots = FindDots('2'))
        DrawDots(kSecond, *pkDots, 37, 16, kWhite);

    // A row: the background, then numbered images to its right.
    Picture kRow(64, 32, kPanel);
    kRow.Box(0, 0, 64, 32, kPanel, kFrame);
    Picture kRow1(32, 32, kButton);
    kRow1.Box(0, 0, 32, 32, kButton, kFrame);
    Picture kRow2(32, 32, {90, 60, 60, 255});
    kRow2.Box(0, 0, 32, 32, {90, 60, 60, 255}, kFrame);

    return kBackground.Write(kBase + "panel.tga") && kHot.Write(kBase + "panel_h.tga") &&
           kPlace.Write(kBase + "panel_p.tga") && kFirst.Write(kBase + "panel1_s.tga") &&
           kSecond.Write(kBase + "panel2_s.tga") && kRow.Write(kBase + "row.tga") && kRow1.Write(kBase + "row01.tga") &&
           kRow2.Write(kBase + "row02.tga");
}
} // namespace

bool WriteDemoInterface(const std::string& kFolder)
{
    if (!os::CreateFolderTree(kFolder + "/images/demo") || !os::CreateFolderTree(kFolder + "/fonts"))
    {
        std::fprintf(stderr, "demo data: cannot make the interface folders in %s\n", kFolder.c_str());
        return false;
    }
    return WriteCursor(kFolder) && WritePanel(kFolder) && WriteBitmapFont(kFolder) && WriteEngineFont(kFolder);
}
