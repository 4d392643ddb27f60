#include "engine/core/NiEndian.h"

#include "engine/core/NiByteStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace
{
// A minimal in-test stream over a vector, so these tests don't depend on the
// memory stream they later help to test.
class VectorStream : public NiByteStream
{
public:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    std::size_t m_limit = SIZE_MAX; // bytes accepted before writes fail

    bool IsGood() const override { return true; }
    std::uint32_t Read(void* pv, std::uint32_t n) override
    {
        std::size_t k = std::min<std::size_t>(n, m_bytes.size() - m_pos);
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_pos), k, static_cast<std::uint8_t*>(pv));
        m_pos += k;
        return static_cast<std::uint32_t>(k);
    }
    std::uint32_t Write(const void* pv, std::uint32_t n) override
    {
        std::size_t k = std::min<std::size_t>(n, m_limit - std::min(m_limit, m_bytes.size()));
        auto p = static_cast<const std::uint8_t*>(pv);
        m_bytes.insert(m_bytes.end(), p, p + k);
        return static_cast<std::uint32_t>(k);
    }
};
} // namespace

TEST(NiEndian, WritesLittleEndianBytes)
{
    VectorStream s;
    EXPECT_TRUE(NiWriteLE(s, std::uint32_t{0x0A020000}));
    EXPECT_TRUE(NiWriteLE(s, std::uint16_t{0xBEEF}));
    EXPECT_TRUE(NiWriteLE(s, std::int8_t{-1}));
    EXPECT_TRUE(NiWriteLE(s, 1.0f));
    std::vector<std::uint8_t> expect = {0x00, 0x00, 0x02, 0x0A, 0xEF, 0xBE, 0xFF, 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(s.m_bytes, expect);
}

TEST(NiEndian, RoundTripsEveryWidth)
{
    VectorStream s;
    float af[3] = {-2.5f, 0.0f, 1e30f};
    ASSERT_TRUE(NiWriteLE(s, std::int32_t{-123456}));
    ASSERT_TRUE(NiWriteLE(s, std::int16_t{-2}));
    ASSERT_TRUE(NiWriteLE(s, af, 3));
    std::int32_t i = 0;
    std::int16_t h = 0;
    float ag[3] = {};
    ASSERT_TRUE(NiReadLE(s, i));
    ASSERT_TRUE(NiReadLE(s, h));
    ASSERT_TRUE(NiReadLE(s, ag, 3));
    EXPECT_EQ(i, -123456);
    EXPECT_EQ(h, -2);
    EXPECT_EQ(ag[0], -2.5f);
    EXPECT_EQ(ag[2], 1e30f);
}

TEST(NiEndian, ShortReadFailsAndKeepsValue)
{
    VectorStream s;
    s.m_bytes = {1, 2, 3};
    std::uint32_t v = 77;
    EXPECT_FALSE(NiReadLE(s, v));
    EXPECT_EQ(v, 77u);
}

TEST(NiEndian, RefusedWriteReportsFailure)
{
    VectorStream s;
    s.m_limit = 2;
    EXPECT_FALSE(NiWriteLE(s, std::uint32_t{5}));
}

TEST(NiByteStream, ReadLineDropsCarriageReturns)
{
    VectorStream s;
    const char ac[] = "ab\r\ncd";
    s.m_bytes.assign(ac, ac + 6);
    char buf[16];
    EXPECT_EQ(s.ReadLine(buf, sizeof buf), 4u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(s.ReadLine(buf, sizeof buf), 2u);
    EXPECT_STREQ(buf, "cd");
}

TEST(NiByteStream, ReadLineStopsAtCapacity)
{
    VectorStream s;
    const char ac[] = "abcdef\n";
    s.m_bytes.assign(ac, ac + 7);
    char buf[4];
    EXPECT_EQ(s.ReadLine(buf, 4), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(s.ReadLine(buf, 1), 0u);
    EXPECT_STREQ(buf, "");
}

TEST(NiByteStream, WriteCStringStopsAtRefusal)
{
    VectorStream s;
    EXPECT_EQ(s.WriteCString(""), 0u);
    s.m_limit = 3;
    EXPECT_EQ(s.WriteCString("hello"), 3u);
}
