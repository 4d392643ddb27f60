#include "engine/shaders/nsb/NSBConstantMap.h"

#include "engine/shaders/nsb/NSBStream.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"
#include "tests/support/HeapCounter.h"

using namespace nsb_test;

using NSBConstantMapTest = NsbTest;

namespace
{
std::vector<std::string> Keys(NSBConstantMap& kMap, std::uint32_t uiPlatform)
{
    std::vector<std::string> kKeys;
    for (auto* pk = kMap.GetFirstPlatformEntry(uiPlatform); pk; pk = kMap.GetNextPlatformEntry(uiPlatform))
        kKeys.emplace_back(pk->GetKey() ? pk->GetKey() : "");
    return kKeys;
}
} // namespace

TEST_F(NSBConstantMapTest, AddEntryRefusesAKeyOfTheCommonList)
{
    NSBConstantMapPtr spMap = new NSBConstantMap;
    const float af[4] = {1, 2, 3, 4};
    EXPECT_TRUE(spMap->AddEntry("Color", 0x1000000A, 0, 0, 1, "gColor", 16, 4, af, true));
    EXPECT_TRUE(spMap->AddEntry("color", 0x1000000A, 0, 1, 1, nullptr, 0, 0, nullptr, false));
    EXPECT_TRUE(TakeReports().empty());
    EXPECT_FALSE(spMap->AddEntry("Color", 0, 0, 2, 1, nullptr, 0, 0, nullptr, false));
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* ERROR: NSBConstantMap::AddEntry\n    Failed to add entry "
                                                      "Color\n    It already exists!\n"});
    EXPECT_EQ(spMap->GetEntryCount(), 2u);
    EXPECT_EQ(spMap->GetEntryIndex("color"), 1);
    EXPECT_EQ(spMap->GetEntryIndex("COLOR"), -1);
    const NSBConstantMap::Entry* pkEntry = spMap->FindEntry("Color");
    ASSERT_NE(pkEntry, nullptr);
    EXPECT_TRUE(pkEntry->GetOwnsData());
    EXPECT_NE(pkEntry->GetDataSource(), static_cast<const void*>(af));
    EXPECT_EQ(std::memcmp(pkEntry->GetDataSource(), af, 16), 0);
}

TEST_F(NSBConstantMapTest, PlatformEntriesLandInTheListsTheBitsName)
{
    NSBConstantMapPtr spMap = new NSBConstantMap;
    EXPECT_TRUE(spMap->AddPlatformSpecificEntry(2 | 8, "A", 0, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    EXPECT_TRUE(spMap->AddPlatformSpecificEntry(8, "B", 0, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    EXPECT_TRUE(spMap->AddPlatformSpecificEntry(1 | 4, "C", 0, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    // Refused in the DX9 list, still added to the DX8 list.
    EXPECT_FALSE(spMap->AddPlatformSpecificEntry(1 | 2, "A", 0, 0, 0, 1, nullptr, 0, 0, nullptr, false));
    EXPECT_TRUE(TakeReports().empty());
    EXPECT_EQ(Keys(*spMap, 1), (std::vector<std::string>{"C", "A"}));
    EXPECT_EQ(Keys(*spMap, 2), (std::vector<std::string>{"A"}));
    EXPECT_EQ(Keys(*spMap, 8), (std::vector<std::string>{"A"}));
    EXPECT_EQ(Keys(*spMap, 4), (std::vector<std::string>{"C"}));
    EXPECT_TRUE(Keys(*spMap, 3).empty());
    EXPECT_EQ(spMap->GetEntryCount(), 0u);
}

TEST_F(NSBConstantMapTest, RecordHoldsKindAndFourListsOfEntries)
{
    NSBConstantMapPtr spMap = new NSBConstantMap;
    spMap->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    const std::uint8_t aucData[3] = {9, 8, 7};
    spMap->AddEntry("K", 0x10000001, 5, 6, 2, "v", 3, 1, aucData, false);
    spMap->AddPlatformSpecificEntry(4, "X", 0x20000000, 0, 1, 1, nullptr, 0, 0, nullptr, false);
    const Bytes kEntry = Text("K") + Words({0x10000001, 5, 6, 2}) + Text("v") + Words({3, 1, 3}) + Bytes{9, 8, 7};
    const Bytes kExpected = Words({1, 2, 1}) + kEntry + Words({0, 0, 1}) + Text("X") +
                            Words({0x20000000, 0, 1, 1, 0, 0, 0, 0});
    NiMemoryStream kOut;
    ASSERT_TRUE(NSBConstantMap::SaveOptional(kOut, spMap));
    const Bytes kBytes(kOut.GetBuffer(), kOut.GetBuffer() + kOut.GetSize());
    ASSERT_EQ(kBytes, kExpected);

    NiMemoryStream kIn(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    NSBConstantMapPtr spRead;
    ASSERT_TRUE(NSBConstantMap::LoadOptional(kIn, spRead));
    ASSERT_TRUE(spRead);
    EXPECT_EQ(spRead->GetProgramType(), 2u);
    EXPECT_TRUE(spRead->FindEntry("K")->GetOwnsData());
    EXPECT_EQ(Keys(*spRead, 4), std::vector<std::string>{"X"});
    NiMemoryStream kAgain;
    ASSERT_TRUE(NSBConstantMap::SaveOptional(kAgain, spRead));
    EXPECT_EQ(Bytes(kAgain.GetBuffer(), kAgain.GetBuffer() + kAgain.GetSize()), kBytes);
}

TEST_F(NSBConstantMapTest, OldVersionsHaveNoVariableNamesOrPlatformLists)
{
    // 0x00010001: the size follows the register count; one list only.
    const Bytes kOld = Words({1, 1}) + Text("K") + Words({0, 0, 3, 1, 4, 4, 4, 1}) + Words({0x99});
    NSBStream::SetCurrentVersion(0x00010001);
    NSBConstantMapPtr spMap = new NSBConstantMap;
    NiMemoryStream kIn(kOld.data(), static_cast<std::uint32_t>(kOld.size()));
    ASSERT_TRUE(spMap->LoadRecord(kIn));
    EXPECT_EQ(kIn.GetBytesLeft(), 4u);
    EXPECT_EQ(spMap->FindEntry("K")->GetDataSize(), 4u);
    EXPECT_EQ(spMap->FindEntry("K")->GetVariableName(), nullptr);

    // 0x00010003: the variable name, still one list.
    NSBStream::SetCurrentVersion(0x00010003);
    const Bytes kMid = Words({1, 1}) + Text("K") + Words({0, 0, 3, 1}) + Text("v") + Words({0, 0, 0, 0x99});
    NSBConstantMapPtr spMid = new NSBConstantMap;
    NiMemoryStream kMidIn(kMid.data(), static_cast<std::uint32_t>(kMid.size()));
    ASSERT_TRUE(spMid->LoadRecord(kMidIn));
    EXPECT_EQ(kMidIn.GetBytesLeft(), 4u);
    EXPECT_EQ(spMid->GetPlatformEntryCount(2), 0u);
}

// The byte count must be the data size every later reader relies on; a
// writer never promises bytes it does not have.
TEST_F(NSBConstantMapTest, ByteCountOtherThanTheSizeFailsAndSizeWithoutDataIsNotWritten)
{
    for (std::uint32_t uiBytes : {2u, 5u, 0u, 0xFFFFFFFFu})
    {
        SCOPED_TRACE(uiBytes);
        const Bytes kBytes = Words({0, 1}) + Text("K") + Words({0, 0, 0, 1}) + Text("") + Words({4, 4, uiBytes}) +
                             Bytes{1, 2, 3, 4, 5, 6, 7, 8};
        NSBConstantMapPtr spMap = new NSBConstantMap;
        heap_test::HeapCounter kHeap;
        EXPECT_FALSE(Load(*spMap, kBytes));
        EXPECT_LT(kHeap.GetLargest(), heap_test::ONE_MIB);
    }
    NSBConstantMapPtr spMap = new NSBConstantMap;
    spMap->AddEntry("K", 0, 0, 0, 1, nullptr, 16, 4, nullptr, false);
    NiMemoryStream kOut;
    EXPECT_FALSE(spMap->SaveBinary(kOut));
}

TEST_F(NSBConstantMapTest, HostileCountsFailBeforeAllocating)
{
    for (std::uint32_t uiCount : {0xFFFFFFFFu, 0x10000000u, 2u})
    {
        SCOPED_TRACE(uiCount);
        const Bytes kBytes = Words({uiCount}) + Text("K") + Words({0, 0, 0, 1}) + Text("") + Words({0, 0, 0});
        NSBConstantMapPtr spMap = new NSBConstantMap;
        heap_test::HeapCounter kHeap;
        EXPECT_FALSE(Load(*spMap, kBytes));
        EXPECT_LT(kHeap.GetLargest(), heap_test::ONE_MIB);
    }
}
