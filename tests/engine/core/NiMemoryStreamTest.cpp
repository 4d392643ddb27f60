#include "engine/core/NiMemoryStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(NiMemoryStreamTest, ViewReadsWhatItHoldsAndTakesNoWrites)
{
    const std::uint8_t ab[5] = {1, 2, 3, 4, 5};
    std::uint8_t abCopy[5];
    std::memcpy(abCopy, ab, 5);
    NiMemoryStream kView(abCopy, 5);
    std::uint8_t abOut[10] = {};
    EXPECT_EQ(kView.Read(abOut, 10), 5u);
    EXPECT_EQ(std::memcmp(abOut, ab, 5), 0);
    EXPECT_EQ(kView.Read(abOut, 10), 0u);
    EXPECT_EQ(kView.Write(ab, 3), 0u);
    EXPECT_EQ(std::memcmp(abCopy, ab, 5), 0) << "the caller's buffer is untouched";
    EXPECT_EQ(kView.GetCapacity(), 0u);
    EXPECT_EQ(kView.Detach(), nullptr) << "a view owns nothing to hand out";
}

TEST(NiMemoryStreamTest, GrowsByDoublingOrToTheExactNeed)
{
    std::vector<std::uint8_t> kBytes(3000);
    for (std::size_t i = 0; i < kBytes.size(); ++i)
        kBytes[i] = static_cast<std::uint8_t>(i * 7);

    NiMemoryStream kDoubling;
    EXPECT_EQ(kDoubling.GetCapacity(), 1024u);
    EXPECT_EQ(kDoubling.Write(kBytes.data(), 1000), 1000u);
    EXPECT_EQ(kDoubling.GetCapacity(), 1024u);
    EXPECT_EQ(kDoubling.Write(kBytes.data() + 1000, 100), 100u);
    EXPECT_EQ(kDoubling.GetCapacity(), 2048u);
    EXPECT_EQ(kDoubling.GetSize(), 1100u);

    NiMemoryStream kExact;
    EXPECT_EQ(kExact.Write(kBytes.data(), 3000), 3000u);
    EXPECT_EQ(kExact.GetCapacity(), 3000u);

    // Reads come from the start whatever was written since.
    std::vector<std::uint8_t> kBack(3000);
    EXPECT_EQ(kExact.Read(kBack.data(), 3000), 3000u);
    EXPECT_EQ(kBack, kBytes);
}

TEST(NiMemoryStreamTest, DetachHandsOutTheBufferOnce)
{
    NiMemoryStream kStream;
    ASSERT_EQ(kStream.Write("abcd", 4), 4u);
    std::unique_ptr<std::uint8_t[]> spBuffer = kStream.Detach();
    ASSERT_NE(spBuffer, nullptr);
    EXPECT_EQ(kStream.GetSize(), 4u);
    EXPECT_EQ(std::memcmp(spBuffer.get(), "abcd", 4), 0);
    EXPECT_EQ(kStream.Detach(), nullptr);
    char c;
    EXPECT_EQ(kStream.Read(&c, 1), 0u);
    EXPECT_EQ(kStream.Write("x", 1), 0u);
}

TEST(NiMemoryStreamTest, ReadLineSplitsAtLineFeedsAndDropsCarriageReturns)
{
    NiMemoryStream kStream("ab\r\ncd", 6);
    char acLine[16];
    EXPECT_EQ(kStream.ReadLine(acLine, sizeof(acLine)), 4u);
    EXPECT_STREQ(acLine, "ab");
    EXPECT_EQ(kStream.ReadLine(acLine, sizeof(acLine)), 2u);
    EXPECT_STREQ(acLine, "cd");

    NiMemoryStream kLong("abcdef\n", 7);
    EXPECT_EQ(kLong.ReadLine(acLine, 4), 3u);
    EXPECT_STREQ(acLine, "abc");
    char c = 0;
    EXPECT_EQ(kLong.Read(&c, 1), 1u);
    EXPECT_EQ(c, 'd') << "the rest stays unread";
}
