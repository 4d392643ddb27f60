#include "tools/COrvaneDemoSound.h"

#include "framework/COrvaneTagTree.h"
#include "platform/audio/Audio.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
std::string ReadAll(const std::filesystem::path& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

std::uint32_t Le(const std::string& kBytes, std::size_t uiAt, int iBytes)
{
    std::uint32_t uiValue = 0;
    for (int i = iBytes - 1; i >= 0; --i)
        uiValue = (uiValue << 8) | static_cast<std::uint8_t>(kBytes[uiAt + static_cast<std::size_t>(i)]);
    return uiValue;
}
} // namespace

TEST(COrvaneDemoSoundTest, AWavHoldsItsSamplesBehindAPlainHeader)
{
    const std::string kBytes = DemoWavBytes({0, 1, -1, 32767});
    ASSERT_EQ(kBytes.size(), 44u + 8u);
    EXPECT_EQ(kBytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(kBytes, 4, 4), 44u);
    EXPECT_EQ(kBytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(kBytes, 20, 2), 1u);     // PCM
    EXPECT_EQ(Le(kBytes, 22, 2), 1u);     // mono
    EXPECT_EQ(Le(kBytes, 24, 4), 22050u); // rate
    EXPECT_EQ(Le(kBytes, 34, 2), 16u);
    EXPECT_EQ(kBytes.substr(36, 4), "data");
    EXPECT_EQ(Le(kBytes, 40, 4), 8u);
    EXPECT_EQ(Le(kBytes, 46, 2), 1u);
    EXPECT_EQ(Le(kBytes, 48, 2), 0xFFFFu);
    EXPECT_EQ(Le(kBytes, 50, 2), 0x7FFFu);
}

TEST(COrvaneDemoSoundTest, TheListsNameFilesTheMixerPlays)
{
    const std::filesystem::path kFolder = demotest::MakeTempFolder("sound");
    ASSERT_FALSE(kFolder.empty());
    const std::string kData = (kFolder / "data.xml").string();
    std::ofstream(kData, std::ios::binary) << "<OTHER>\r\nx\r\n</OTHER>\r\n";
    ASSERT_TRUE(WriteDemoSound(kFolder.string(), kData));

    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load(kData.c_str()));
    ASSERT_TRUE(kTree.SelectSection("OTHER", true)); // what was there stays
    const std::pair<const char*, std::size_t> akLists[] = {{"SFX", 26}, {"AMBIENT", 3}, {"MUSIC", 4}};
    ASSERT_TRUE(audio::Init(audio::DEFAULT_MIX_RATE, audio::DEFAULT_CHANNELS));
    for (const auto& [pcList, uiCount] : akLists)
    {
        ASSERT_TRUE(kTree.SelectSection("SOUND", true));
        ASSERT_TRUE(kTree.FindChild(pcList)) << pcList;
        ASSERT_EQ(kTree.GetValues().size(), uiCount) << pcList;
        for (const std::string& kValue : kTree.GetValues())
        {
            const std::string kName = kValue.substr(0, kValue.find_first_of("\r\n"));
            const std::string kBytes = ReadAll(kFolder / kName);
            ASSERT_GT(kBytes.size(), 44u) << kName;
            EXPECT_EQ(Le(kBytes, 40, 4) + 44u, kBytes.size()) << kName;
            audio::Sample* pkSample = audio::LoadSample((kFolder / kName).string(), audio::MODE_2D);
            EXPECT_NE(pkSample, nullptr) << kName;
            audio::FreeSample(pkSample);
        }
    }
    audio::Reset();
    demotest::RemoveFolder(kFolder);
}
