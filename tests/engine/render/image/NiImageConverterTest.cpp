#include "engine/render/image/NiImageConverter.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiNIFImageReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace
{
class NiImageConverterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiImageConverter::ReleaseCurrent();
        NiObjectStream::StaticShutdown();
        NiObjectStream::StaticInit();
        NiObjectStream::RegisterCreateFunction("NiPixelData", &NiPixelData::CreateObject);
        NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
        static int s_iFolder = 0;
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("nif_images_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFolder));
        std::filesystem::create_directories(m_kFolder);
    }
    void TearDown() override
    {
        NiObjectStream::StaticShutdown();
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
    }
    std::string SaveTops(const std::string& kName, std::initializer_list<NiObject*> kTops)
    {
        const std::string kPath = (m_kFolder / kName).string();
        NiObjectStream kStream;
        for (NiObject* pkTop : kTops)
            kStream.InsertTopObject(pkTop);
        EXPECT_TRUE(kStream.SaveFile(kPath.c_str()));
        return kPath;
    }
    static NiPixelDataPtr Sample()
    {
        NiPixelDataPtr spImage = new NiPixelData(4, 4, NiPixelFormat::RGBA32, 0);
        for (std::uint32_t i = 0; i < spImage->GetTotalSizeInBytes(); ++i)
            spImage->GetPixels()[i] = static_cast<std::uint8_t>(i);
        return spImage;
    }

    std::filesystem::path m_kFolder;
};
} // namespace

TEST_F(NiImageConverterTest, ReadsSceneFilesHoldingOneImage)
{
    NiPixelDataPtr spImage = Sample();
    const std::string kPath = SaveTops("image.NIF", {spImage});
    NiImageConverter kBase;
    NiPixelDataPtr spRead = kBase.ReadImageFile(kPath.c_str(), nullptr);
    ASSERT_TRUE(spRead);
    EXPECT_TRUE(spRead->IsEqual(spImage));

    NiPixelFormat kFormat;
    bool bMip = false;
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(kBase.ReadImageFileInfo(kPath.c_str(), kFormat, bMip, w, h));
    EXPECT_EQ(kFormat, NiPixelFormat::RGBA32);
    EXPECT_TRUE(bMip);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 4u);

    // The full converter asks the same reader first.
    NiImageFileConverter kFull;
    spRead = kFull.ReadImageFile(kPath.c_str(), nullptr);
    ASSERT_TRUE(spRead);
    EXPECT_TRUE(spRead->IsEqual(spImage));
}

TEST_F(NiImageConverterTest, OtherSceneFilesGiveNothing)
{
    NiImageConverter kBase;
    const std::string kTwo = SaveTops("two.nif", {Sample(), Sample()});
    EXPECT_FALSE(kBase.ReadImageFile(kTwo.c_str(), nullptr));
    const NiPalette::PaletteEntry kEntry{1, 2, 3, 4};
    const std::string kPalette = SaveTops("palette.nif", {NiPalettePtr(new NiPalette(false, 1, &kEntry))});
    EXPECT_FALSE(kBase.ReadImageFile(kPalette.c_str(), nullptr));
    EXPECT_FALSE(kBase.ReadImageFile((m_kFolder / "missing.nif").string().c_str(), nullptr));

    // Not a scene file at all, and a cut one.
    const std::string kGood = SaveTops("good.nif", {Sample()});
    std::filesystem::resize_file(kGood, std::filesystem::file_size(kGood) - 5);
    EXPECT_FALSE(kBase.ReadImageFile(kGood.c_str(), nullptr));
    NiPixelFormat kFormat;
    bool bMip;
    std::uint32_t w, h;
    EXPECT_FALSE(kBase.ReadImageFileInfo(kGood.c_str(), kFormat, bMip, w, h));
}

// Found by fuzzing: pixel data whose format claims a channel wider than its
// 32-bit pixel. The conversion to 32-bit RGBA shifted a 32-bit value by 48.
const std::uint8_t OVERWIDE_CHANNEL_IMAGE[330] = {
    0x51, 0x20, 0x46, 0x69, 0x6C, 0x65, 0x20, 0x46, 0x6F, 0x72, 0x6D, 0x61, 0x74, 0x2C, 0x0A, 0x00,
    0x00, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0B, 0x00, 0x00,
    0x00, 0x4E, 0x69, 0x50, 0x69, 0x78, 0x65, 0x6C, 0x44, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x00, 0x00, 0x00, 0x3B, 0xFF, 0x20, 0x00, 0x00, 0x00, 0x81, 0x08, 0x7E, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xDB, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00,
    0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00,
    0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA8, 0x00,
    0x00, 0x00, 0xAC, 0x00, 0x00, 0x00, 0x00, 0x25, 0x4A, 0x6F, 0x94, 0xB9, 0xDE, 0x03, 0x28, 0x4D,
    0x72, 0x97, 0xBC, 0xE1, 0x06, 0x2B, 0x50, 0x75, 0x9A, 0xBF, 0xE4, 0x09, 0x2E, 0x53, 0x78, 0x9D,
    0xC2, 0xE7, 0x0C, 0x31, 0x56, 0x7B, 0xA0, 0xC5, 0xEA, 0x0F, 0x34, 0x59, 0x7E, 0xA3, 0xC8, 0xED,
    0x12, 0x00, 0xA4, 0x83, 0xA6, 0xCB, 0xF0, 0x15, 0x3A, 0x5F, 0x84, 0xA9, 0xCE, 0xF3, 0x18, 0x3D,
    0x62, 0x87, 0xAC, 0xD1, 0xF6, 0x1B, 0x40, 0x65, 0x8A, 0xAF, 0xD4, 0xF9, 0x1E, 0x43, 0x68, 0x8D,
    0xB2, 0xD7, 0xFC, 0x21, 0x46, 0x6B, 0x90, 0xB5, 0xDA, 0xFF, 0x24, 0x49, 0x6E, 0x93, 0xB8, 0xDD,
    0x02, 0x27, 0x4C, 0x71, 0x96, 0xBB, 0xE0, 0x05, 0x2A, 0x4F, 0x74, 0x99, 0xBE, 0xE3, 0x08, 0x2D,
    0x52, 0x77, 0x9C, 0xC1, 0xE6, 0x0B, 0x31, 0x55, 0x7A, 0x9F, 0xC4, 0xE9, 0x0E, 0x33, 0x58, 0x7D,
    0xA2, 0xC7, 0xEC, 0x11, 0x36, 0x5B, 0x01, 0x26, 0x4B, 0x70, 0x95, 0xBA, 0xDF, 0x04, 0x29, 0x4E,
    0x73, 0x98, 0xBD, 0xE2, 0x07, 0x76, 0x2C, 0x51, 0x9B, 0xC0, 0xE5, 0x0A, 0x2F, 0x54, 0x79, 0x9E,
    0xC3, 0xE8, 0x0D, 0x32, 0x57, 0x7C, 0x02, 0x27, 0x4C, 0x71, 0x96, 0xBB, 0xE0, 0x05, 0x03, 0x28,
    0x4D, 0x72, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST_F(NiImageConverterTest, ChannelsClaimingMoreBitsThanThePixelConvert)
{
    const std::string kPath = (m_kFolder / "overwide.nif").string();
    {
        std::ofstream kOut(kPath, std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(OVERWIDE_CHANNEL_IMAGE), sizeof(OVERWIDE_CHANNEL_IMAGE));
    }
    NiImageFileConverter kConverter;
    NiPixelDataPtr spImage = kConverter.ReadImageFile(kPath.c_str(), nullptr);
    ASSERT_TRUE(spImage);
    std::uint32_t uiWidest = 0;
    for (std::uint32_t c = 0; c < 4; ++c)
        uiWidest = std::max(uiWidest, spImage->GetPixelFormat().GetChannelBits(c));
    EXPECT_GT(uiWidest, 32u);
    NiPixelDataPtr spRgba = kConverter.ConvertPixelData(*spImage, NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    EXPECT_EQ(spRgba->GetWidth(), spImage->GetWidth());
    EXPECT_EQ(spRgba->GetHeight(), spImage->GetHeight());
}
