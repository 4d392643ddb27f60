#include "engine/render/image/NiImageConverter.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiNIFImageReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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
