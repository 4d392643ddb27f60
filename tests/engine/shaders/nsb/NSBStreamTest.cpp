#include "engine/shaders/nsb/NSBStream.h"

#include "engine/core/NiMemoryStream.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"
#include "tests/support/HeapCounter.h"

using namespace nsb_test;

TEST(NSBStream, NullAndEmptyStringsAreBothFourZeroBytes)
{
    NiMemoryStream kStream;
    ASSERT_TRUE(NSBStream::WriteString(kStream, std::string()));
    ASSERT_TRUE(NSBStream::WriteString(kStream, ""));
    ASSERT_TRUE(NSBStream::WriteString(kStream, "ab"));
    EXPECT_EQ(Bytes(kStream.GetBuffer(), kStream.GetBuffer() + kStream.GetSize()),
              Words({0, 0, 2}) + Bytes({'a', 'b'}));
}

TEST(NSBStream, ZeroLengthKeepsTheOldText)
{
    const Bytes kBytes = Words({0});
    NiMemoryStream kStream(kBytes.data(), 4);
    std::string kName = "Kept";
    EXPECT_TRUE(NSBStream::ReadString(kStream, kName));
    EXPECT_EQ(kName, "Kept");
}

TEST(NSBStream, LengthBeyondTheBytesLeftFailsWithoutAllocating)
{
    for (std::uint32_t uiLength : {0xFFFFFFFFu, 4u, 0x7FFFFFFFu})
    {
        SCOPED_TRACE(uiLength);
        const Bytes kBytes = Words({uiLength}) + Bytes{'a', 'b', 'c'};
        NiMemoryStream kStream(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
        std::string kText = "old";
        heap_test::HeapCounter kHeap;
        EXPECT_FALSE(NSBStream::ReadString(kStream, kText));
        EXPECT_LT(kHeap.GetLargest(), 64u);
        EXPECT_EQ(kText, "old");
    }
}

TEST(NSBStream, WordsAreLittleEndianAndBooleansAnyNonZero)
{
    NiMemoryStream kOut;
    ASSERT_TRUE(NSBStream::WriteU32(kOut, 0x0062736E));
    ASSERT_TRUE(NSBStream::WriteBool(kOut, true));
    EXPECT_EQ(Bytes(kOut.GetBuffer(), kOut.GetBuffer() + kOut.GetSize()), (Bytes{'n', 's', 'b', 0, 1, 0, 0, 0}));

    const Bytes kIn = Words({5, 0});
    NiMemoryStream kStream(kIn.data(), 8);
    bool bA = false, bB = true;
    EXPECT_TRUE(NSBStream::ReadBool(kStream, bA));
    EXPECT_TRUE(NSBStream::ReadBool(kStream, bB));
    EXPECT_TRUE(bA);
    EXPECT_FALSE(bB);
    std::uint32_t ui = 7;
    EXPECT_FALSE(NSBStream::ReadU32(kStream, ui));
    EXPECT_EQ(ui, 7u);
}

TEST(NSBStream, CountsAreCheckedAgainstTheBytesLeft)
{
    const Bytes kBytes(40, 0);
    NiMemoryStream kStream(kBytes.data(), 40);
    EXPECT_TRUE(NSBStream::CountFits(kStream, 10, 4));
    EXPECT_FALSE(NSBStream::CountFits(kStream, 11, 4));
    EXPECT_FALSE(NSBStream::CountFits(kStream, 0xFFFFFFFF, 0xFFFFFFFF));
}
