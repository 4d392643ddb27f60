#include "tools/COrvaneTgaWriter.h"

#include "engine/core/NiMemoryStream.h"
#include "engine/render/image/NiTGAReader.h"

#include <gtest/gtest.h>

namespace
{
NiPixelDataPtr Read(const std::vector<std::uint8_t>& kFile)
{
    NiMemoryStream kStream(kFile.data(), static_cast<std::uint32_t>(kFile.size()));
    NiTGAReader kReader;
    return kReader.ReadFile(kStream, nullptr);
}

std::vector<std::uint8_t> Pixels(const NiPixelData& kImage)
{
    return {kImage.GetPixels(), kImage.GetPixels() + kImage.GetSizeInBytes()};
}
} // namespace

TEST(COrvaneTgaWriterTest, ImagesReadBackAsWrittenTopRowFirst)
{
    const std::vector<std::uint8_t> k24 = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    NiPixelDataPtr spImage = Read(TgaImage(3, 2, 24, k24));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(spImage->GetWidth(), 3u);
    EXPECT_EQ(spImage->GetHeight(), 2u);
    EXPECT_EQ(Pixels(*spImage), k24);

    const std::vector<std::uint8_t> k32 = {10, 20, 30, 0, 40, 50, 60, 255};
    spImage = Read(TgaImage(1, 2, 32, k32));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(Pixels(*spImage), k32);
}

TEST(COrvaneTgaWriterTest, RefusesOtherDepthsAndShortPixels)
{
    EXPECT_TRUE(TgaImage(2, 1, 16, {1, 2, 3, 4}).empty());
    EXPECT_TRUE(TgaImage(2, 1, 24, {1, 2, 3}).empty());
    EXPECT_TRUE(TgaImage(1, 1, 32, {1, 2, 3, 4, 5}).empty());
    EXPECT_FALSE(WriteTga("/nonexistent-folder/x.tga", 1, 1, 24, {1, 2, 3}));
}

TEST(COrvaneTgaWriterTest, HeaderFieldsLandAtTheirOffsets)
{
    TgaHeader kHeader;
    kHeader.ucIDLength = 2;
    kHeader.ucType = 10;
    kHeader.usWidth = 0x1234;
    kHeader.usHeight = 0x0102;
    kHeader.ucDepth = 32;
    kHeader.ucDescriptor = 0;
    const std::vector<std::uint8_t> kFile = TgaFile(kHeader, {9});
    ASSERT_EQ(kFile.size(), 18u + 2u + 1u);
    EXPECT_EQ(kFile[0], 2);
    EXPECT_EQ(kFile[2], 10);
    EXPECT_EQ(kFile[12], 0x34);
    EXPECT_EQ(kFile[13], 0x12);
    EXPECT_EQ(kFile[14], 0x02);
    EXPECT_EQ(kFile[15], 0x01);
    EXPECT_EQ(kFile[16], 32);
    EXPECT_EQ(kFile[17], 0);
    EXPECT_EQ(kFile[20], 9);
}
