#include "engine/render/NiDX9TextureData.h"

#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace gfx;
using Prefs = NiTexture::FormatPrefs;
using Table = NiDX9TextureData::FormatTable;

namespace
{
// A texture table as the renderer builds it, holding only the listed
// indices.
Table MakeTable(std::initializer_list<std::uint32_t> kPresent)
{
    static constexpr D3DFORMAT aeCodes[NiDX9Renderer::TEX_NUM] = {
        D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
        D3DFMT_A8R8G8B8, 0,             0,               D3DFMT_DXT1,     D3DFMT_DXT3,
        D3DFMT_DXT5,     D3DFMT_V8U8,   D3DFMT_L6V5U5,   D3DFMT_X8L8V8U8,
    };
    Table kTable{};
    for (std::uint32_t uiIndex : kPresent)
    {
        kTable[uiIndex].m_bValid = true;
        kTable[uiIndex].m_kPixelFormat = NiDX9PixelFormatFromD3D(aeCodes[uiIndex]);
        kTable[uiIndex].m_uiIndex = uiIndex;
        kTable[uiIndex].m_eD3DFormat = aeCodes[uiIndex];
    }
    return kTable;
}

const Table FULL = MakeTable({0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13});

// The chosen entry's table index, -1 for none; the entry must be the
// table's own.
int IndexOf(const NiDX9Renderer::TextureFormatEntry* pkEntry, const Table& kTable)
{
    if (pkEntry == nullptr)
        return -1;
    EXPECT_GE(pkEntry, kTable.data());
    EXPECT_LT(pkEntry, kTable.data() + kTable.size());
    return static_cast<int>(pkEntry->m_uiIndex);
}

Prefs MakePrefs(std::uint32_t eLayout, std::uint32_t eAlpha)
{
    Prefs kPrefs;
    kPrefs.m_ePixelLayout = eLayout;
    kPrefs.m_eAlphaFmt = eAlpha;
    return kPrefs;
}
} // namespace

// ---- engine layouts and device formats ----

TEST(NiDX9PixelFormatTest, EngineLayoutsMapToDeviceFormats)
{
    struct Case
    {
        NiPixelFormat m_kFormat;
        D3DFORMAT m_eExpected;
    };
    const Case akCases[] = {
        {NiPixelFormat(0xE0, 0x1C, 0x3, 0, 8), D3DFMT_R3G3B2},
        {NiPixelFormat(0, 0, 0xFF, 0, 8), D3DFMT_L8},
        {NiPixelFormat::R5G6B5, D3DFMT_R5G6B5},
        {NiPixelFormat(0x7C00, 0x3E0, 0x1F, 0, 16), D3DFMT_X1R5G5B5},
        {NiPixelFormat(0xF00, 0xF0, 0xF, 0, 16), D3DFMT_X4R4G4B4},
        {NiPixelFormat(0, 0, 0xFFFF, 0, 16), D3DFMT_L16},
        {NiPixelFormat::RGB24, D3DFMT_R8G8B8}, // every 24-bit layout, whatever its masks
        {NiPixelFormat(0xFF0000, 0xFF00, 0xFF, 0, 32), D3DFMT_X8R8G8B8},
        {NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 0, 32), D3DFMT_X8B8G8R8},
        {NiPixelFormat(0xFFFF0000, 0xFFFF, 0, 0, 32), D3DFMT_G16R16},
        {NiPixelFormat(0, 0, 0xF, 0xF, 8), D3DFMT_A4L4},
        {NiPixelFormat::A1R5G5B5, D3DFMT_A1R5G5B5},
        {NiPixelFormat::A4R4G4B4, D3DFMT_A4R4G4B4},
        {NiPixelFormat::A3R4G4B4, D3DFMT_A4R4G4B4}, // by the red mask alone
        {NiPixelFormat(0xE0, 0x1C, 0x3, 0xFF00, 16), D3DFMT_A8R3G3B2},
        {NiPixelFormat(0, 0, 0xFF, 0xFF00, 16), D3DFMT_A8L8},
        {NiPixelFormat::A8R8G8B8, D3DFMT_A8R8G8B8},
        {NiPixelFormat::RGBA32, D3DFMT_A8B8G8R8},
        {NiPixelFormat(0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 32), D3DFMT_A2B10G10R10},
        {NiPixelFormat(0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 32), D3DFMT_A2R10G10B10},
        {NiPixelFormat::PAL8, D3DFMT_P8},
        {NiPixelFormat::PAL4, D3DFMT_P8},
        {NiPixelFormat::DXT1, D3DFMT_DXT1},
        {NiPixelFormat::DXT3, D3DFMT_DXT3},
        {NiPixelFormat::DXT5, D3DFMT_DXT5},
        {NiPixelFormat::BUMP16, D3DFMT_V8U8},
        {NiPixelFormat(0x1F, 0x3E0, 0xFC00, 16u), D3DFMT_L6V5U5},
        {NiPixelFormat::BUMPLUMA32, D3DFMT_X8L8V8U8},
        // Layouts the device has no format for.
        {NiPixelFormat::PALA8, 0},
        {NiPixelFormat(NiPixelFormat::RGB_PLANAR, 24), 0},
        {NiPixelFormat::A1B5G5R5, 0},
        {NiPixelFormat(0x1F, 0x7E0, 0xF800, 0, 16), 0},
        {NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 0, 64), 0},
        {NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 0xFF000000, 24), 0},
        {NiPixelFormat(0xFF, 0xFF00, 0, 0xF0, 8), 0},
        {NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 24u), 0},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(testing::Message() << "kind " << kCase.m_kFormat.GetKind() << " bits "
                                        << kCase.m_kFormat.GetBitsPerPixel() << " red 0x" << std::hex
                                        << kCase.m_kFormat.GetMask(NiPixelFormat::RED));
        EXPECT_EQ(NiDX9PixelFormatToD3D(kCase.m_kFormat), kCase.m_eExpected);
    }
}

TEST(NiDX9PixelFormatTest, DeviceFormatsWithEngineLayoutsRoundTrip)
{
    const D3DFORMAT aeCodes[] = {
        D3DFMT_R3G3B2,   D3DFMT_L8,          D3DFMT_R5G6B5,      D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_L16,
        D3DFMT_R8G8B8,   D3DFMT_X8R8G8B8,    D3DFMT_X8B8G8R8,    D3DFMT_G16R16,   D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
        D3DFMT_A8R3G3B2, D3DFMT_A8L8,        D3DFMT_A8R8G8B8,    D3DFMT_A2B10G10R10, D3DFMT_A8B8G8R8,
        D3DFMT_A2R10G10B10, D3DFMT_P8,       D3DFMT_DXT1,        D3DFMT_DXT3,     D3DFMT_DXT5,     D3DFMT_V8U8,
        D3DFMT_L6V5U5,   D3DFMT_X8L8V8U8,
    };
    for (D3DFORMAT eCode : aeCodes)
    {
        SCOPED_TRACE(eCode);
        const NiPixelFormat kFormat = NiDX9PixelFormatFromD3D(eCode);
        EXPECT_NE(kFormat.GetKind(), NiPixelFormat::SIZE_ONLY);
        EXPECT_EQ(NiDX9PixelFormatToD3D(kFormat), eCode);
    }
}

TEST(NiDX9PixelFormatTest, LayoutsFromDeviceFormats)
{
    // Luminance sits in the blue mask; alpha formats take the alpha word.
    const NiPixelFormat kL8 = NiDX9PixelFormatFromD3D(D3DFMT_L8);
    EXPECT_EQ(kL8.GetKind(), NiPixelFormat::RGB);
    EXPECT_EQ(kL8.GetBitsPerPixel(), 8u);
    EXPECT_EQ(kL8.GetMask(NiPixelFormat::BLUE), 0xFFu);
    EXPECT_EQ(kL8.GetMask(NiPixelFormat::RED), 0u);
    const NiPixelFormat kA8L8 = NiDX9PixelFormatFromD3D(D3DFMT_A8L8);
    EXPECT_EQ(kA8L8.GetKind(), NiPixelFormat::RGBA);
    EXPECT_EQ(kA8L8.GetMask(NiPixelFormat::BLUE), 0xFFu);
    EXPECT_EQ(kA8L8.GetMask(NiPixelFormat::ALPHA), 0xFF00u);
    EXPECT_EQ(NiDX9PixelFormatFromD3D(D3DFMT_L16).GetMask(NiPixelFormat::BLUE), 0xFFFFu);
    const NiPixelFormat kA4L4 = NiDX9PixelFormatFromD3D(D3DFMT_A4L4);
    EXPECT_EQ(kA4L4.GetMask(NiPixelFormat::BLUE), 0xFu);
    EXPECT_EQ(kA4L4.GetMask(NiPixelFormat::ALPHA), 0xF0u);
    const NiPixelFormat kA8 = NiDX9PixelFormatFromD3D(D3DFMT_A8);
    EXPECT_EQ(kA8.GetKind(), NiPixelFormat::RGBA);
    EXPECT_EQ(kA8.GetMask(NiPixelFormat::RED) | kA8.GetMask(NiPixelFormat::GREEN) | kA8.GetMask(NiPixelFormat::BLUE),
              0u);
    EXPECT_EQ(kA8.GetMask(NiPixelFormat::ALPHA), 0xFFu);

    EXPECT_EQ(NiDX9PixelFormatFromD3D(D3DFMT_P8), NiPixelFormat::PAL8);
    EXPECT_EQ(NiDX9PixelFormatFromD3D(D3DFMT_DXT3).GetKind(), NiPixelFormat::DXT3_KIND);
    EXPECT_EQ(NiDX9PixelFormatFromD3D(D3DFMT_A8R8G8B8), NiPixelFormat::A8R8G8B8);
    EXPECT_EQ(NiDX9PixelFormatFromD3D(D3DFMT_V8U8), NiPixelFormat::BUMP16);
    const NiPixelFormat kLuma = NiDX9PixelFormatFromD3D(D3DFMT_L6V5U5);
    EXPECT_EQ(kLuma.GetKind(), NiPixelFormat::BUMP_LUMA);
    EXPECT_EQ(kLuma.GetMask(NiPixelFormat::ALPHA), 0xFC00u);
}

TEST(NiDX9PixelFormatTest, OtherDeviceFormatsBecomeSizeOnly)
{
    struct Case
    {
        D3DFORMAT m_eCode;
        std::uint32_t m_uiBits;
    };
    const Case akCases[] = {
        {D3DFMT_A16B16G16R16, 64}, {D3DFMT_Q16W16V16U16, 64}, {D3DFMT_A16B16G16R16F, 64}, {D3DFMT_G32R32F, 64},
        {D3DFMT_A8P8, 16},         {D3DFMT_D15S1, 16},        {D3DFMT_D16, 16},           {D3DFMT_D16_LOCKABLE, 16},
        {D3DFMT_R16F, 16},         {D3DFMT_CxV8U8, 16},       {D3DFMT_Q8W8V8U8, 32},      {D3DFMT_V16U16, 32},
        {D3DFMT_A2W10V10U10, 32},  {D3DFMT_D32, 32},          {D3DFMT_D24S8, 32},         {D3DFMT_D24X8, 32},
        {D3DFMT_D24X4S4, 32},      {D3DFMT_D32F_LOCKABLE, 32}, {D3DFMT_D24FS8, 32},       {D3DFMT_G16R16F, 32},
        {D3DFMT_R32F, 32},         {D3DFMT_A32B32G32R32F, 128}, {D3DFMT_UYVY, 0},          {D3DFMT_DXT2, 0},
        {D3DFMT_INDEX16, 0},       {D3DFMT_UNKNOWN, 0},       {0x7FFFFFFF, 0},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_eCode);
        const NiPixelFormat kFormat = NiDX9PixelFormatFromD3D(kCase.m_eCode);
        EXPECT_EQ(kFormat.GetKind(), NiPixelFormat::SIZE_ONLY);
        EXPECT_EQ(kFormat.GetBitsPerPixel(), kCase.m_uiBits);
        EXPECT_EQ(kFormat.GetMask(NiPixelFormat::RED), kCase.m_eCode);
        EXPECT_EQ(kFormat.GetFlags(), 0u);
        // The code comes back out.
        EXPECT_EQ(NiDX9PixelFormatToD3D(kFormat), kCase.m_eCode);
    }
}

TEST(NiDX9PixelFormatTest, FillingAnEntryResetsItsIndex)
{
    NiDX9Renderer::TextureFormatEntry kEntry;
    kEntry.m_uiIndex = 9;
    NiDX9PixelFormatFromD3D(kEntry, D3DFMT_A4R4G4B4);
    EXPECT_EQ(kEntry.m_uiIndex, 0u);
    EXPECT_EQ(kEntry.m_eD3DFormat, D3DFMT_A4R4G4B4);
    EXPECT_EQ(kEntry.m_kPixelFormat, NiPixelFormat::A4R4G4B4);
    NiDX9PixelFormatFromD3D(kEntry, D3DFMT_D24S8);
    EXPECT_EQ(kEntry.m_kPixelFormat.GetKind(), NiPixelFormat::SIZE_ONLY);
    EXPECT_EQ(kEntry.m_kPixelFormat.GetMask(NiPixelFormat::RED), D3DFMT_D24S8);
}

// ---- format choice ----

class NiDX9ChooseFormatTest : public ::testing::Test
{
protected:
    void SetUp() override { NiImageConverter::SetCurrent(new NiImageFileConverter); }
    void TearDown() override { NiImageConverter::ReleaseCurrent(); }
};

TEST_F(NiDX9ChooseFormatTest, RoadsByKindAndPreferences)
{
    struct Case
    {
        const char* m_pcWhat;
        NiPixelFormat m_kSource;
        std::uint32_t m_eLayout;
        std::uint32_t m_eAlpha;
        Table m_kTable;
        int m_iExpected;
    };
    const Table kNoDXT1 = MakeTable({0, 1, 2, 3, 4, 5, 9, 10});
    const Table kSixteen = MakeTable({0, 1, 3, 4});
    const Table kOpaque16 = MakeTable({0, 1});
    const Table kAlphaOnly = MakeTable({3, 4});
    const Case akCases[] = {
        // The default preferences keep the source's kind.
        {"RGB24 default", NiPixelFormat::RGB24, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 2},
        {"RGBA32 default", NiPixelFormat::RGBA32, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 5},
        {"DXT1 default", NiPixelFormat::DXT1, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 8},
        {"DXT5 default", NiPixelFormat::DXT5, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 10},
        {"PAL8 default", NiPixelFormat::PAL8, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 2},
        {"PALA8 default", NiPixelFormat::PALA8, Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, 5},
        // 16-bit layout.
        {"RGB24 16-bit", NiPixelFormat::RGB24, Prefs::HIGH_COLOR_16, Prefs::ALPHA_DEFAULT, FULL, 1},
        {"RGB24 16-bit, 555 only", NiPixelFormat::RGB24, Prefs::HIGH_COLOR_16, Prefs::NONE, MakeTable({0, 2}), 0},
        {"RGBA32 16-bit binary", NiPixelFormat::RGBA32, Prefs::HIGH_COLOR_16, Prefs::BINARY, FULL, 3},
        {"RGBA32 16-bit smooth", NiPixelFormat::RGBA32, Prefs::HIGH_COLOR_16, Prefs::SMOOTH, FULL, 4},
        {"RGBA32 16-bit smooth, no 4444", NiPixelFormat::RGBA32, Prefs::HIGH_COLOR_16, Prefs::SMOOTH,
         MakeTable({3, 5}), 5},
        // Only alpha formats left: opaque sources still fit.
        {"RGB24 alpha formats only", NiPixelFormat::RGB24, Prefs::PIX_DEFAULT, Prefs::NONE, kAlphaOnly, 3},
        {"RGBA32 opaque formats only", NiPixelFormat::RGBA32, Prefs::PIX_DEFAULT, Prefs::NONE, kOpaque16, -1},
        // The converter cannot compress: compressed layouts fall through.
        {"RGB24 compressed", NiPixelFormat::RGB24, Prefs::COMPRESSED, Prefs::NONE, FULL, 2},
        {"RGBA32 compressed binary", NiPixelFormat::RGBA32, Prefs::COMPRESSED, Prefs::BINARY, FULL, 5},
        {"DXT3 compressed", NiPixelFormat::DXT3, Prefs::COMPRESSED, Prefs::SMOOTH, FULL, 9},
        // Block sources asked for a plain layout are decoded.
        {"DXT1 32-bit", NiPixelFormat::DXT1, Prefs::TRUE_COLOR_32, Prefs::NONE, FULL, 5},
        {"DXT1 16-bit", NiPixelFormat::DXT1, Prefs::HIGH_COLOR_16, Prefs::NONE, FULL, 4},
        {"DXT1 without its format", NiPixelFormat::DXT1, Prefs::PIX_DEFAULT, Prefs::BINARY, kNoDXT1, 5},
        {"DXT1 16-bit table", NiPixelFormat::DXT1, Prefs::PIX_DEFAULT, Prefs::BINARY, kSixteen, 3},
        // Bump maps.
        {"RGBA32 as bump map", NiPixelFormat::RGBA32, Prefs::BUMPMAP, Prefs::NONE, FULL, 13},
        {"RGB24 as bump map", NiPixelFormat::RGB24, Prefs::BUMPMAP, Prefs::NONE, FULL, 11},
        {"bump-luma as bump map", NiPixelFormat::BUMPLUMA32, Prefs::BUMPMAP, Prefs::NONE, FULL, 13},
        {"bump as bump map, 11 missing", NiPixelFormat::BUMP16, Prefs::BUMPMAP, Prefs::NONE,
         MakeTable({2, 12, 13}), 13},
        {"bump default", NiPixelFormat::BUMP16, Prefs::PIX_DEFAULT, Prefs::NONE, FULL, 11},
        {"bump-luma default", NiPixelFormat::BUMPLUMA32, Prefs::PIX_DEFAULT, Prefs::NONE, FULL, 12},
        {"bump without bump formats", NiPixelFormat::BUMP16, Prefs::PIX_DEFAULT, Prefs::NONE, kSixteen, -1},
        {"RGB24 bump map, no bump formats", NiPixelFormat::RGB24, Prefs::BUMPMAP, Prefs::NONE, kSixteen, -1},
        // Kinds without a road.
        {"planar", NiPixelFormat(NiPixelFormat::RGB_PLANAR, 24), Prefs::PIX_DEFAULT, Prefs::NONE, FULL, -1},
        {"size only", NiPixelFormat(NiPixelFormat::SIZE_ONLY, 32), Prefs::PIX_DEFAULT, Prefs::NONE, FULL, -1},
        {"empty table", NiPixelFormat::RGB24, Prefs::PIX_DEFAULT, Prefs::NONE, Table{}, -1},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcWhat);
        const Prefs kPrefs = MakePrefs(kCase.m_eLayout, kCase.m_eAlpha);
        EXPECT_EQ(IndexOf(NiDX9TextureData::ChooseFormat(kCase.m_kSource, kPrefs, kCase.m_kTable), kCase.m_kTable),
                  kCase.m_iExpected);
    }
}

TEST_F(NiDX9ChooseFormatTest, FlaggedSourcesAndMissingConverterGetNothing)
{
    NiPixelFormat kFlagged = NiPixelFormat::RGB24;
    kFlagged.SetFlags(1);
    EXPECT_EQ(NiDX9TextureData::ChooseFormat(kFlagged, Prefs{}, FULL), nullptr);
    EXPECT_NE(NiDX9TextureData::ChooseFormat(NiPixelFormat::RGB24, Prefs{}, FULL), nullptr);

    NiImageConverter::ReleaseCurrent();
    EXPECT_EQ(NiDX9TextureData::ChooseFormat(NiPixelFormat::RGB24, Prefs{}, FULL), nullptr);
}

TEST_F(NiDX9ChooseFormatTest, PlainConverterTakesOnlyTheSameLayout)
{
    // The base converter converts nothing, so only an identical entry fits.
    NiImageConverter::SetCurrent(new NiImageConverter);
    EXPECT_EQ(IndexOf(NiDX9TextureData::ChooseFormat(NiPixelFormat::RGB24, Prefs{}, FULL), FULL), -1);
    EXPECT_EQ(IndexOf(NiDX9TextureData::ChooseFormat(NiPixelFormat::A8R8G8B8, Prefs{}, FULL), FULL), 5);
    EXPECT_EQ(IndexOf(NiDX9TextureData::ChooseFormat(NiPixelFormat::R5G6B5, Prefs{}, FULL), FULL), 1);
}

TEST(NiDX9FindClosestFormatTest, PreferencesPickEntries)
{
    struct Case
    {
        std::uint32_t m_eLayout;
        std::uint32_t m_eAlpha;
        Table m_kTable;
        int m_iExpected;
    };
    const Table kPalettes = [] {
        Table kTable = FULL;
        kTable[6].m_bValid = true;
        kTable[6].m_uiIndex = 6;
        kTable[7].m_bValid = true;
        kTable[7].m_uiIndex = 7;
        return kTable;
    }();
    const Case akCases[] = {
        // The default layout is the 32-bit one; its default alpha has no road.
        {Prefs::PIX_DEFAULT, Prefs::NONE, FULL, 2},
        {Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT, FULL, -1},
        {Prefs::TRUE_COLOR_32, Prefs::NONE, MakeTable({0, 1}), 1},
        {Prefs::TRUE_COLOR_32, Prefs::NONE, MakeTable({3, 4}), 3},
        {Prefs::TRUE_COLOR_32, Prefs::BINARY, FULL, 5},
        {Prefs::TRUE_COLOR_32, Prefs::BINARY, MakeTable({3, 4}), 3},
        {Prefs::TRUE_COLOR_32, Prefs::SMOOTH, MakeTable({3, 4}), 4},
        {Prefs::TRUE_COLOR_32, Prefs::SMOOTH, MakeTable({0, 1, 2, 3}), -1},
        {Prefs::HIGH_COLOR_16, Prefs::NONE, FULL, 1},
        {Prefs::HIGH_COLOR_16, Prefs::NONE, MakeTable({0, 2}), 0},
        {Prefs::HIGH_COLOR_16, Prefs::NONE, MakeTable({4}), 4},
        {Prefs::HIGH_COLOR_16, Prefs::BINARY, FULL, 3},
        {Prefs::HIGH_COLOR_16, Prefs::BINARY, MakeTable({5}), 5},
        {Prefs::HIGH_COLOR_16, Prefs::SMOOTH, FULL, 4},
        {Prefs::HIGH_COLOR_16, Prefs::SMOOTH, MakeTable({0, 1, 2, 3}), -1},
        {Prefs::HIGH_COLOR_16, Prefs::ALPHA_DEFAULT, FULL, -1},
        // Compressed: DXT1 for no or binary alpha, DXT3 for smooth, else 16-bit.
        {Prefs::COMPRESSED, Prefs::NONE, FULL, 8},
        {Prefs::COMPRESSED, Prefs::BINARY, FULL, 8},
        {Prefs::COMPRESSED, Prefs::SMOOTH, FULL, 9},
        {Prefs::COMPRESSED, Prefs::SMOOTH, MakeTable({0, 1, 4, 5, 8, 10}), 4},
        {Prefs::COMPRESSED, Prefs::NONE, MakeTable({0, 1, 9, 10}), 1},
        {Prefs::COMPRESSED, Prefs::ALPHA_DEFAULT, FULL, -1},
        // Palettized: the palette entries are never filled, so it goes on as
        // compressed; a table holding them would be taken.
        {Prefs::PALETTIZED_8, Prefs::NONE, FULL, 8},
        {Prefs::PALETTIZED_8, Prefs::SMOOTH, FULL, 9},
        {Prefs::PALETTIZED_8, Prefs::ALPHA_DEFAULT, FULL, -1},
        {Prefs::PALETTIZED_8, Prefs::NONE, kPalettes, 6},
        {Prefs::PALETTIZED_8, Prefs::ALPHA_DEFAULT, kPalettes, 6},
        {Prefs::PALETTIZED_8, Prefs::BINARY, kPalettes, 7},
        {Prefs::PALETTIZED_8, Prefs::SMOOTH, kPalettes, 7},
        // No road.
        {Prefs::BUMPMAP, Prefs::NONE, FULL, -1},
        {Prefs::PALETTIZED_4, Prefs::NONE, FULL, -1},
        {7, Prefs::NONE, FULL, -1},
        {Prefs::TRUE_COLOR_32, Prefs::NONE, Table{}, -1},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(testing::Message() << "layout " << kCase.m_eLayout << " alpha " << kCase.m_eAlpha);
        EXPECT_EQ(IndexOf(NiDX9TextureData::FindClosestFormat(MakePrefs(kCase.m_eLayout, kCase.m_eAlpha),
                                                              kCase.m_kTable),
                          kCase.m_kTable),
                  kCase.m_iExpected);
    }
}

// ---- the renderer's tables ----

class NiDX9TextureDataRendererTest : public rendertest::RendererTest
{
};

TEST_P(NiDX9TextureDataRendererTest, FindClosestPixelFormatUsesThePlainTextureTable)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();

    for (std::uint32_t eUsage = 0; eUsage < NiDX9Renderer::TEXUSE_NUM; ++eUsage)
    {
        const Table& kTable = m_spRenderer->GetTextureFormats(eUsage);
        for (std::uint32_t i = 0; i < NiDX9Renderer::TEX_NUM; ++i)
        {
            if (!kTable[i].m_bValid)
                continue;
            SCOPED_TRACE(testing::Message() << "usage " << eUsage << " entry " << i);
            EXPECT_EQ(kTable[i].m_uiIndex, i);
            // The table's layouts and device codes agree with the mapping.
            EXPECT_EQ(NiDX9PixelFormatToD3D(kTable[i].m_kPixelFormat), kTable[i].m_eD3DFormat);
            EXPECT_EQ(NiDX9PixelFormatFromD3D(kTable[i].m_eD3DFormat), kTable[i].m_kPixelFormat);
        }
    }
    EXPECT_FALSE(m_spRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_NUM)[2].m_bValid);

    const Table& kTex = m_spRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_TEX);
    ASSERT_TRUE(kTex[NiDX9Renderer::TEX_RGB888].m_bValid);
    ASSERT_TRUE(kTex[NiDX9Renderer::TEX_RGB565].m_bValid);
    ASSERT_TRUE(kTex[NiDX9Renderer::TEX_RGBA4444].m_bValid);
    EXPECT_EQ(m_spRenderer->FindClosestPixelFormat(MakePrefs(Prefs::PIX_DEFAULT, Prefs::NONE)),
              &kTex[NiDX9Renderer::TEX_RGB888].m_kPixelFormat);
    EXPECT_EQ(m_spRenderer->FindClosestPixelFormat(MakePrefs(Prefs::HIGH_COLOR_16, Prefs::NONE)),
              &kTex[NiDX9Renderer::TEX_RGB565].m_kPixelFormat);
    EXPECT_EQ(m_spRenderer->FindClosestPixelFormat(MakePrefs(Prefs::HIGH_COLOR_16, Prefs::SMOOTH)),
              &kTex[NiDX9Renderer::TEX_RGBA4444].m_kPixelFormat);
    EXPECT_EQ(m_spRenderer->FindClosestPixelFormat(Prefs{}), nullptr);
    EXPECT_EQ(m_spRenderer->FindClosestPixelFormat(MakePrefs(Prefs::BUMPMAP, Prefs::NONE)), nullptr);
}

namespace
{
// Data of the simplest kind: a device texture it does not own.
class PlainData : public NiDX9TextureData
{
public:
    PlainData(NiTexture* pkTexture, NiDX9Renderer* pkRenderer, int* piDeleted)
        : NiDX9TextureData(pkTexture, pkRenderer), m_piDeleted(piDeleted)
    {
    }
    ~PlainData() override
    {
        if (m_piDeleted != nullptr)
        {
            // The texture no longer links to data being deleted.
            EXPECT_NE(m_pkTexture->GetRendererData(), this);
            ++*m_piDeleted;
        }
    }
    bool HasDeviceTexture() const override { return m_pkD3DTexture != nullptr; }
    IDirect3DBaseTexture9* GetD3DTexture() const override { return m_pkD3DTexture; }

    IDirect3DBaseTexture9* m_pkD3DTexture = nullptr;
    int* m_piDeleted;
};

NiSourceTexturePtr MakeTexture()
{
    NiPixelDataPtr spPixels = new NiPixelData(4, 4, NiPixelFormat::A8R8G8B8, 1);
    return NiSourceTexture::CreateFromPixelData(spPixels, Prefs{});
}
} // namespace

TEST_P(NiDX9TextureDataRendererTest, TakesSizeLevelsAndFormatFromADeviceTexture)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();

    PlainData kData(nullptr, m_spRenderer, nullptr);
    EXPECT_EQ(kData.GetRenderer(), static_cast<NiDX9Renderer*>(m_spRenderer));
    EXPECT_EQ(kData.GetWidth(), 0u);
    EXPECT_EQ(kData.GetPixelFormat().m_eD3DFormat, 0u);
    EXPECT_EQ(kData.GetAsSourceTextureData(), nullptr);
    EXPECT_EQ(kData.GetAsRenderedTextureData(), nullptr);
    EXPECT_FALSE(kData.InitializeFromD3DTexture(nullptr));

    IDirect3DTexture9* pkTexture = nullptr;
    ASSERT_EQ(pkDevice->CreateTexture(32, 8, 3, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &pkTexture, nullptr), D3D_OK);
    ASSERT_TRUE(kData.InitializeFromD3DTexture(pkTexture));
    EXPECT_EQ(kData.GetWidth(), 32u);
    EXPECT_EQ(kData.GetHeight(), 8u);
    EXPECT_EQ(kData.GetLevels(), 3u);
    EXPECT_EQ(kData.GetPixelFormat().m_eD3DFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(kData.GetPixelFormat().m_kPixelFormat, NiPixelFormat::R5G6B5);
    // Only its top level is read; the data takes no reference.
    EXPECT_EQ(pkTexture->RefCount(), 1u);
    pkTexture->Release();

    IDirect3DCubeTexture9* pkCube = nullptr;
    ASSERT_EQ(pkDevice->CreateCubeTexture(16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pkCube, nullptr), D3D_OK);
    ASSERT_TRUE(kData.InitializeFromD3DTexture(pkCube));
    EXPECT_EQ(kData.GetWidth(), 16u);
    EXPECT_EQ(kData.GetHeight(), 16u);
    EXPECT_EQ(kData.GetLevels(), 1u);
    EXPECT_EQ(kData.GetPixelFormat().m_eD3DFormat, D3DFMT_A8R8G8B8);
    pkCube->Release();
}

TEST_P(NiDX9TextureDataRendererTest, PurgesDeleteDataOfOneOrEveryTextureAndTeardownPurgesAll)
{
    NiTexture::SetPrecacheOnCreation(false);
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();

    int iDeleted = 0;
    NiSourceTexturePtr aspTextures[3] = {MakeTexture(), MakeTexture(), MakeTexture()};
    for (NiSourceTexturePtr& spTexture : aspTextures)
    {
        ASSERT_NE(spTexture, nullptr);
        spTexture->SetRendererData(std::make_unique<PlainData>(spTexture, m_spRenderer, &iDeleted));
    }

    EXPECT_TRUE(m_spRenderer->PurgeTextureRendererData(aspTextures[1]));
    EXPECT_EQ(iDeleted, 1);
    EXPECT_EQ(aspTextures[1]->GetRendererData(), nullptr);
    EXPECT_NE(aspTextures[0]->GetRendererData(), nullptr);
    EXPECT_TRUE(m_spRenderer->PurgeTextureRendererData(nullptr));

    EXPECT_TRUE(m_spRenderer->PurgeAllTextureRendererData());
    EXPECT_EQ(iDeleted, 3);
    for (NiSourceTexturePtr& spTexture : aspTextures)
        EXPECT_EQ(spTexture->GetRendererData(), nullptr);

    // The renderer's teardown leaves no data pointing at it.
    aspTextures[2]->SetRendererData(std::make_unique<PlainData>(aspTextures[2], m_spRenderer, &iDeleted));
    m_spRenderer = nullptr;
    EXPECT_EQ(iDeleted, 4);
    EXPECT_EQ(aspTextures[2]->GetRendererData(), nullptr);
    NiTexture::ResetSettings();
}

TEST_P(NiDX9TextureDataRendererTest, MipmapSkipLevelIsProcessWide)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->GetMipmapSkipLevel(), 0u);
    EXPECT_TRUE(m_spRenderer->SetMipmapSkipLevel(2));
    m_spRenderer = nullptr;
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr);
    EXPECT_EQ(m_spRenderer->GetMipmapSkipLevel(), 2u);
}

INSTANTIATE_TEST_SUITE_P(, NiDX9TextureDataRendererTest, ::testing::Values(gfx::BackendKind::Null),
                         rendertest::BackendName);
