#include "engine/core/NiObjectStream.h"

#include "engine/core/NiBufferedFile.h"
#include "engine/core/NiFile.h"
#include "engine/core/NiFileSearchPath.h"
#include "engine/core/NiInstanceList.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiSharedTextureTable.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

using namespace stream_test;

namespace
{
// A leaf with one value.
class TestLeaf : public NiObject
{
    NiDeclareTypeInfo()

public:
    std::uint32_t m_uiValue = 0;

    void ReadFromStream(NiObjectStream& kStream) override
    {
        NiObject::ReadFromStream(kStream);
        kStream.ReadLE(m_uiValue);
    }
    void WriteToStream(NiObjectStream& kStream) override
    {
        NiObject::WriteToStream(kStream);
        kStream.WriteLE(m_uiValue);
    }
    bool IsEqual(NiObject* pkOther) override
    {
        return NiObject::IsEqual(pkOther) && static_cast<TestLeaf*>(pkOther)->m_uiValue == m_uiValue;
    }
};
NiImplementTypeInfo(TestLeaf, NiObject)

// A value and links to leaves (null links kept).
class TestRoot : public NiObject
{
    NiDeclareTypeInfo()

public:
    std::uint32_t m_uiValue = 0;
    std::vector<NiRefPtr<TestLeaf>> m_kLeaves;

    void ReadFromStream(NiObjectStream& kStream) override
    {
        NiObject::ReadFromStream(kStream);
        kStream.ReadLE(m_uiValue);
        kStream.ReadLinkIDList();
    }
    void ResolveLinks(NiObjectStream& kStream) override
    {
        NiObject::ResolveLinks(kStream);
        std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
            m_kLeaves.emplace_back(kStream.GetLinkedObjectAs<TestLeaf>());
    }
    bool RegisterForSave(NiObjectStream& kStream) override
    {
        if (!NiObject::RegisterForSave(kStream))
            return false;
        for (auto& spLeaf : m_kLeaves)
        {
            if (spLeaf)
                spLeaf->RegisterForSave(kStream);
        }
        return true;
    }
    void WriteToStream(NiObjectStream& kStream) override
    {
        NiObject::WriteToStream(kStream);
        kStream.WriteLE(m_uiValue);
        kStream.WriteLE(static_cast<std::uint32_t>(m_kLeaves.size()));
        for (auto& spLeaf : m_kLeaves)
            kStream.WriteLinkID(spLeaf);
    }
    bool IsEqual(NiObject* pkOther) override
    {
        if (!NiObject::IsEqual(pkOther))
            return false;
        auto* pk = static_cast<TestRoot*>(pkOther);
        if (pk->m_uiValue != m_uiValue || pk->m_kLeaves.size() != m_kLeaves.size())
            return false;
        for (std::size_t i = 0; i < m_kLeaves.size(); ++i)
        {
            if ((m_kLeaves[i] == nullptr) != (pk->m_kLeaves[i] == nullptr))
                return false;
            if (m_kLeaves[i] && !m_kLeaves[i]->IsEqual(pk->m_kLeaves[i]))
                return false;
        }
        return true;
    }
};
NiImplementTypeInfo(TestRoot, NiObject)

// A leaf that keeps the allocation group its record named and writes that
// group's index again, as geometry data does.
class TestGrouped : public TestLeaf
{
    NiDeclareTypeInfo()

public:
    NiBlockGroup* m_pkGroup = nullptr;

    std::uint32_t GetBlockAllocationSize() const override { return 100 + m_uiValue; }
    NiBlockGroup* GetBlockGroup() const override { return m_pkGroup; }
    void SetBlockGroup(NiBlockGroup* pkGroup) override { m_pkGroup = pkGroup; }
    void ReadFromStream(NiObjectStream& kStream) override
    {
        TestLeaf::ReadFromStream(kStream);
        if (kStream.GetFileVersion() >= NiStreamVersion(10, 1, 0, 114))
        {
            std::uint32_t uiGroup = 0;
            kStream.ReadLE(uiGroup);
            m_pkGroup = kStream.GetBlockGroup(uiGroup);
        }
    }
    void WriteToStream(NiObjectStream& kStream) override
    {
        TestLeaf::WriteToStream(kStream);
        kStream.WriteLE(kStream.GetBlockGroupIndex(m_pkGroup));
    }
};
NiImplementTypeInfo(TestGrouped, TestLeaf)

// Takes counted links while its record is read, as blends of blends do,
// and lets go of them when asked.
class TestLinker : public NiObject
{
    NiDeclareTypeInfo()

public:
    std::vector<NiObjectPtr> m_kHeld;

    void ReadFromStream(NiObjectStream& kStream) override
    {
        NiObject::ReadFromStream(kStream);
        std::uint32_t uiCount = 0;
        if (!kStream.ReadCount(uiCount, 4))
            return;
        for (std::uint32_t i = 0; i < uiCount; ++i)
            m_kHeld.emplace_back(kStream.ReadObjectRef());
    }
    void DropCountedLinks() override
    {
        NiObject::DropCountedLinks();
        m_kHeld.clear();
    }
};
NiImplementTypeInfo(TestLinker, NiObject)

NiObject* CreateLeaf()
{
    return new TestLeaf;
}
NiObject* CreateRoot()
{
    return new TestRoot;
}

std::vector<NiObject*> s_kCallbackTops;
void RecordTop(NiObjectStream&, NiObject* pkTop)
{
    s_kCallbackTops.push_back(pkTop);
}

std::vector<NiObject*> s_kFixed;
void RecordFix(NiObjectStream&, NiObject* pkObject)
{
    s_kFixed.push_back(pkObject);
}

Bytes LeafBody(std::uint32_t uiValue)
{
    return Bytes().U32(uiValue);
}

Bytes RootBody(std::uint32_t uiValue, const std::vector<std::uint32_t>& kLinks)
{
    Bytes k;
    k.U32(uiValue).U32(static_cast<std::uint32_t>(kLinks.size()));
    for (std::uint32_t ui : kLinks)
        k.U32(ui);
    return k;
}

std::vector<std::uint8_t> Save(NiObjectStream& kStream)
{
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

class NiObjectStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiObjectStream::StaticShutdown();
        NiObjectStream::StaticInit();
        NiObjectStream::RegisterCreateFunction("TestLeaf", CreateLeaf);
        NiObjectStream::RegisterCreateFunction("TestRoot", CreateRoot);
        NiObjectStream::RegisterCreateFunction("TestLinker", +[]() -> NiObject* { return new TestLinker; });
        NiObjectStream::SetOldUpdateFlagFix(nullptr);
        s_kCallbackTops.clear();
        s_kFixed.clear();
        m_uiLive = NiRefObject::GetTotalObjectCount();
    }
    void TearDown() override
    {
        NiObjectStream::SetOldUpdateFlagFix(nullptr);
        NiObjectStream::StaticShutdown();
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects leaked";
    }

    // A small graph: root(7) -> leaf(1), null, leaf(1 again); root(8) -> none.
    std::vector<std::uint8_t> ValidFile(std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION)
    {
        return BuildFile(uiVersion,
                         {{"TestRoot", RootBody(7, {1, 0xFFFFFFFF, 1})},
                          {"TestLeaf", LeafBody(1)},
                          {"TestRoot", RootBody(8, {})}},
                         {0, 2});
    }

    std::uint32_t m_uiLive = 0;
};
} // namespace

TEST_F(NiObjectStreamTest, EmptySaveIs61BytesOfHeaderAndZeroCounts)
{
    NiObjectStream kStream;
    std::vector<std::uint8_t> kSaved = Save(kStream);
    Bytes kExpected;
    kExpected.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(0).U16(0).U32(0).U32(0);
    ASSERT_EQ(kSaved.size(), 61u);
    EXPECT_EQ(kSaved, kExpected.m_kBytes);
}

TEST_F(NiObjectStreamTest, SaveWritesClassesInFirstUseOrderAndSharedObjectsOnce)
{
    NiRefPtr<TestRoot> spFirst = new TestRoot;
    NiRefPtr<TestRoot> spSecond = new TestRoot;
    NiRefPtr<TestLeaf> spLeaf = new TestLeaf;
    spFirst->m_uiValue = 7;
    spSecond->m_uiValue = 8;
    spLeaf->m_uiValue = 1;
    spFirst->m_kLeaves = {spLeaf, nullptr, spLeaf};
    spSecond->m_kLeaves = {spLeaf};

    NiObjectStream kStream;
    kStream.InsertTopObject(spFirst);
    kStream.InsertTopObject(spSecond);
    std::vector<std::uint8_t> kSaved = Save(kStream);

    Bytes kExpected;
    kExpected.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(3);
    kExpected.U16(2).Str("TestRoot").Str("TestLeaf").U16(0).U16(1).U16(0);
    kExpected.U32(0);
    kExpected.Append(RootBody(7, {1, 0xFFFFFFFF, 1})).Append(LeafBody(1)).Append(RootBody(8, {1}));
    kExpected.U32(2).U32(0).U32(2);
    EXPECT_EQ(kSaved, kExpected.m_kBytes);
}

TEST_F(NiObjectStreamTest, LoadGivesEqualObjectsAndSavesTheSameBytesAgain)
{
    std::vector<std::uint8_t> kFile = ValidFile();
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    ASSERT_EQ(kStream.GetObjectCount(), 2u);
    auto* pkFirst = NiDynamicCast<TestRoot>(kStream.GetObjectAt(0));
    ASSERT_NE(pkFirst, nullptr);
    EXPECT_EQ(pkFirst->m_uiValue, 7u);
    ASSERT_EQ(pkFirst->m_kLeaves.size(), 3u);
    EXPECT_EQ(pkFirst->m_kLeaves[0], pkFirst->m_kLeaves[2]) << "one object behind both links";
    EXPECT_EQ(pkFirst->m_kLeaves[1], nullptr);
    EXPECT_EQ(kStream.GetLastError(), 0u);

    NiObjectStream kAgain;
    kAgain.InsertTopObject(kStream.GetObjectAt(0));
    kAgain.InsertTopObject(kStream.GetObjectAt(1));
    EXPECT_EQ(Save(kAgain), kFile);

    NiObjectPtr spCopy = pkFirst->DeepCopy();
    ASSERT_NE(spCopy, nullptr);
    EXPECT_NE(spCopy.Get(), pkFirst);
    EXPECT_TRUE(spCopy->IsEqual(pkFirst));
}

TEST_F(NiObjectStreamTest, DeepCopyIsNullWhenTheClassCannotBeCreated)
{
    NiRefPtr<TestLeaf> spLeaf = new TestLeaf;
    NiObjectStream::UnregisterCreateFunction("TestLeaf");
    EXPECT_EQ(spLeaf->DeepCopy(), nullptr);
}

TEST_F(NiObjectStreamTest, VersionsAtTheEdgesOfEachLayout)
{
    struct Case
    {
        std::uint32_t uiVersion;
        bool bLoads;
        std::uint32_t uiError;
    };
    const Case akCases[] = {
        {V(3, 3, 0, 10), false, 3},  {V(3, 3, 0, 11), true, 0},   {V(4, 2, 2, 0), true, 0},
        {V(5, 0, 0, 1), true, 0},    {V(5, 0, 0, 5), true, 0},    {V(5, 0, 0, 6), true, 0},
        {V(10, 0, 1, 7), true, 0},   {V(10, 0, 1, 8), true, 0},   {V(10, 1, 0, 113), true, 0},
        {V(10, 1, 0, 114), true, 0}, {V(10, 2, 0, 0), true, 0},   {V(10, 2, 0, 1), false, 4},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.uiVersion);
        std::vector<std::uint8_t> kFile = ValidFile(kCase.uiVersion);
        NiObjectStream kStream;
        EXPECT_EQ(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())), kCase.bLoads);
        EXPECT_EQ(kStream.GetLastError(), kCase.uiError);
        if (kCase.bLoads)
        {
            ASSERT_EQ(kStream.GetObjectCount(), 2u);
            EXPECT_EQ(static_cast<TestRoot*>(kStream.GetObjectAt(1))->m_uiValue, 8u);
            EXPECT_EQ(kStream.GetFileVersion(), kCase.uiVersion);
        }
    }
    NiObjectStream kStream;
    std::vector<std::uint8_t> kOld = ValidFile(V(3, 3, 0, 10));
    EXPECT_FALSE(kStream.LoadBuffer(kOld.data(), static_cast<std::uint32_t>(kOld.size())));
    EXPECT_EQ(kStream.GetLastErrorMessage(), "NIF version is too old.");
    std::vector<std::uint8_t> kNew = ValidFile(V(10, 2, 0, 1));
    EXPECT_FALSE(kStream.LoadBuffer(kNew.data(), static_cast<std::uint32_t>(kNew.size())));
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Unknown NIF version.");
}

TEST_F(NiObjectStreamTest, GroupTableAndGroupIndicesBetweenTheirVersions)
{
    // 5.0.0.6 .. 10.1.0.113: records carry a group index; the table's sizes
    // are recorded, never allocated, however large.
    std::vector<std::uint8_t> kFile =
        BuildFile(V(10, 1, 0, 113), {{"TestLeaf", LeafBody(5)}}, {0}, {0xFFFFFFF0u, 16});
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetBlockGroupCount(), 2u);
    ASSERT_NE(kStream.GetBlockGroup(1), nullptr);
    EXPECT_EQ(kStream.GetBlockGroup(1)->m_uiSize, 0xFFFFFFF0u);
    EXPECT_EQ(kStream.GetBlockGroup(1)->m_pucBuffer, nullptr);
    EXPECT_EQ(kStream.GetBlockGroup(0), nullptr);
    EXPECT_EQ(kStream.GetBlockGroupIndex(kStream.GetBlockGroup(2)), 2u);

    // A group index beyond the table is corrupt.
    Bytes kBad;
    kBad.Raw("Quenthal File Format, Version 10.1.0.113\n").U32(V(10, 1, 0, 113)).U32(0).U32(1);
    kBad.U16(1).Str("TestLeaf").U16(0).U32(1).U32(4).U32(3).U32(5).U32(1).U32(0);
    EXPECT_FALSE(kStream.LoadBuffer(kBad.m_kBytes.data(), static_cast<std::uint32_t>(kBad.Size())));
    EXPECT_EQ(kStream.GetLastError(), 6u);
}

TEST_F(NiObjectStreamTest, SavesCountGroupsAfreshFromTheObjectsEvenWhenTheirLoaderIsGone)
{
    NiObjectStream::RegisterCreateFunction("TestGrouped", +[]() -> NiObject* { return new TestGrouped; });
    // Three grouped objects of a 10.1.0.113 file: values 5, 6, 7 in groups
    // 2, 1, 2 of a table of two.
    Bytes kFile;
    kFile.Raw("Quenthal File Format, Version 10.1.0.113\n").U32(V(10, 1, 0, 113)).U32(0).U32(3);
    kFile.U16(1).Str("TestGrouped").U16(0).U16(0).U16(0).U32(2).U32(1000).U32(2000);
    kFile.U32(2).U32(5).U32(1).U32(6).U32(2).U32(7);
    kFile.U32(3).U32(0).U32(1).U32(2);

    std::vector<NiObjectPtr> kKept;
    {
        NiObjectStream kLoader;
        ASSERT_TRUE(kLoader.LoadBuffer(kFile.m_kBytes.data(), static_cast<std::uint32_t>(kFile.Size())));
        for (std::uint32_t i = 0; i < 3; ++i)
            kKept.push_back(kLoader.GetObjectAt(i));
        ASSERT_EQ(static_cast<TestGrouped*>(kKept[0].Get())->m_pkGroup, kLoader.GetBlockGroup(2));
        // A second load through the same stream replaces its groups while
        // the objects of the first live on.
        ASSERT_TRUE(kLoader.LoadBuffer(kFile.m_kBytes.data(), static_cast<std::uint32_t>(kFile.Size())));
        kLoader.RemoveAllTopObjects();
        kLoader.InsertTopObject(kKept[2]);
        kLoader.InsertTopObject(kKept[1]);
        Bytes kExpected;
        kExpected.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(2);
        kExpected.U16(1).Str("TestGrouped").U16(0).U16(0);
        kExpected.U32(2).U32(107).U32(106);
        kExpected.U32(7).U32(1).U32(6).U32(2);
        kExpected.U32(2).U32(0).U32(1);
        EXPECT_EQ(Save(kLoader), kExpected.m_kBytes) << "table and indices from the objects saved, in their order";
    }

    // The loader and every group it made are gone: saving neither reads
    // nor writes through the objects' group pointers.
    NiObjectStream kSaver;
    for (const NiObjectPtr& sp : kKept)
        kSaver.InsertTopObject(sp);
    Bytes kExpected;
    kExpected.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(3);
    kExpected.U16(1).Str("TestGrouped").U16(0).U16(0).U16(0);
    kExpected.U32(2).U32(105 + 107).U32(106);
    kExpected.U32(5).U32(1).U32(6).U32(2).U32(7).U32(1);
    kExpected.U32(3).U32(0).U32(1).U32(2);
    std::vector<std::uint8_t> kSaved = Save(kSaver);
    EXPECT_EQ(kSaved, kExpected.m_kBytes);
    NiObjectStream kReader;
    ASSERT_TRUE(kReader.LoadBuffer(kSaved.data(), static_cast<std::uint32_t>(kSaved.size())));
    EXPECT_EQ(kReader.GetBlockGroupCount(), 2u);
    EXPECT_EQ(static_cast<TestGrouped*>(kReader.GetObjectAt(2))->m_pkGroup, kReader.GetBlockGroup(1));
    NiObjectPtr spCopy = kKept[1]->DeepCopy();
    ASSERT_NE(spCopy, nullptr);
    EXPECT_TRUE(spCopy->IsEqual(kKept[1]));
}

TEST_F(NiObjectStreamTest, HeaderLineNeedsOnlyFileFormatWithinItsFirst127Characters)
{
    std::vector<std::uint8_t> kFile = ValidFile();
    std::size_t uiLineEnd = 39;
    auto Replace = [&](const std::string& kLine) {
        std::vector<std::uint8_t> k(kLine.begin(), kLine.end());
        k.insert(k.end(), kFile.begin() + uiLineEnd, kFile.end());
        return k;
    };
    NiObjectStream kStream;
    std::vector<std::uint8_t> kOdd = Replace("whatever File Format says 1.0\r\n");
    EXPECT_TRUE(kStream.LoadBuffer(kOdd.data(), static_cast<std::uint32_t>(kOdd.size())));

    std::vector<std::uint8_t> kNot = Replace("Quenthal Format, Version 10.2.0.0\n");
    EXPECT_FALSE(kStream.LoadBuffer(kNot.data(), static_cast<std::uint32_t>(kNot.size())));
    EXPECT_EQ(kStream.GetLastError(), 2u);
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Not a NIF file");

    // 127 characters are read: the words must start within them.
    std::vector<std::uint8_t> kLate = Replace(std::string(120, 'x') + "File Format\n");
    EXPECT_FALSE(kStream.LoadBuffer(kLate.data(), static_cast<std::uint32_t>(kLate.size())));
    EXPECT_EQ(kStream.GetLastError(), 2u);
}

TEST_F(NiObjectStreamTest, UserVersionOtherThanZeroIsRefused)
{
    std::vector<std::uint8_t> kFile = BuildFile(V(10, 0, 1, 8), {{"TestLeaf", LeafBody(1)}}, {0}, {}, 1);
    NiObjectStream kStream;
    EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetLastError(), 4u);
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Unknown NIF user defined version.");
}

TEST_F(NiObjectStreamTest, UnknownClassFailsBeforeAnyObjectIsCreated)
{
    std::vector<std::uint8_t> kFile =
        BuildFile(NiObjectStream::CURRENT_VERSION, {{"TestLeaf", LeafBody(1)}, {"NoSuchClass", Bytes()}}, {0});
    NiObjectStream kStream;
    std::uint32_t uiBefore = NiRefObject::GetTotalObjectCount();
    s_kFixed.clear();
    EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetLastError(), 5u);
    EXPECT_EQ(kStream.GetLastErrorMessage(), "NoSuchClass: cannot find create function.");
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiBefore);

    // Old files name the class before each record: found when it comes.
    std::vector<std::uint8_t> kOld = BuildFile(V(4, 2, 2, 0), {{"TestLeaf", LeafBody(1)}, {"Nope", Bytes()}}, {0});
    EXPECT_FALSE(kStream.LoadBuffer(kOld.data(), static_cast<std::uint32_t>(kOld.size())));
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Nope: cannot find create function.");
    EXPECT_EQ(kStream.GetObjectCount(), 0u);
}

TEST_F(NiObjectStreamTest, LongClassNamesAndBadClassIndicesAreRefused)
{
    std::string kLong(256, 'L');
    Bytes kFile;
    kFile.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(1);
    kFile.U16(1).Str(kLong).U16(0).U32(0).U32(1).U32(0);
    NiObjectStream kStream;
    EXPECT_FALSE(kStream.LoadBuffer(kFile.m_kBytes.data(), static_cast<std::uint32_t>(kFile.Size())));
    EXPECT_EQ(kStream.GetLastError(), 5u);
    EXPECT_LE(kStream.GetLastErrorMessage().size(), 259u);
    EXPECT_EQ(kStream.GetLastErrorMessage().substr(0, 4), "LLLL");

    // A length far beyond the file is refused the same way, without waiting
    // for bytes that are not there.
    std::vector<std::uint8_t> kHuge = ValidFile();
    kHuge[53] = kHuge[54] = kHuge[55] = 0xFF;
    kHuge[56] = 0x7F;
    EXPECT_FALSE(kStream.LoadBuffer(kHuge.data(), static_cast<std::uint32_t>(kHuge.size())));
    EXPECT_EQ(kStream.GetLastError(), 5u);

    Bytes kIndex;
    kIndex.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(1);
    kIndex.U16(1).Str("TestLeaf").U16(1).U32(0).U32(5).U32(1).U32(0);
    EXPECT_FALSE(kStream.LoadBuffer(kIndex.m_kBytes.data(), static_cast<std::uint32_t>(kIndex.Size())));
    EXPECT_EQ(kStream.GetLastError(), 6u);
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Corrupt scene file.");
}

TEST_F(NiObjectStreamTest, MissingClassTextKeepsItsEndForCStringReaders)
{
    struct Case
    {
        std::string m_kName;
        std::string m_kShown;
    };
    const Case akCases[] = {
        {std::string("Ni\0Node", 7), "Ni\\x00Node"},
        {"Tab\tBell\x07", "Tab\\x09Bell\\x07"},
        {"High\xFF\x80", "High\\xFF\\x80"},
        {std::string(100, 'N'), std::string(64, 'N')},
        // An escape is never cut in two.
        {std::string(62, 'N') + '\x01', std::string(62, 'N')},
        {std::string(300, '\x01'), [] {
             std::string k;
             for (int i = 0; i < 16; ++i)
                 k += "\\x01";
             return k;
         }()},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_kShown);
        Bytes kFile;
        kFile.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(1);
        kFile.U16(1).Str(kCase.m_kName).U16(0).U32(0).U32(1).U32(0);
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kFile.m_kBytes.data(), static_cast<std::uint32_t>(kFile.Size())));
        EXPECT_EQ(kStream.GetLastError(), 5u);
        const std::string& kText = kStream.GetLastErrorMessage();
        EXPECT_EQ(std::strlen(kText.c_str()), kText.size());
        EXPECT_EQ(kText, kCase.m_kShown + ": cannot find create function.");
        for (char c : kText)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
    }
    // Old files name each record's class: the same text.
    std::vector<std::uint8_t> kOld =
        BuildFile(V(4, 2, 2, 0), {{"TestLeaf", LeafBody(1)}, {std::string("No\rpe", 5), Bytes()}}, {0});
    NiObjectStream kStream;
    EXPECT_FALSE(kStream.LoadBuffer(kOld.data(), static_cast<std::uint32_t>(kOld.size())));
    EXPECT_EQ(kStream.GetLastErrorMessage(), "No\\x0Dpe: cannot find create function.");
}

TEST_F(NiObjectStreamTest, FailedLoadHasEveryObjectDropItsCountedLinksFirst)
{
    // 0 holds itself, 1 and 2 hold each other, 3 holds 0 and a leaf; then a
    // root whose count the bytes left cannot hold.
    auto Linker = [](const std::vector<std::uint32_t>& kLinks) {
        Bytes k;
        k.U32(static_cast<std::uint32_t>(kLinks.size()));
        for (std::uint32_t ui : kLinks)
            k.U32(ui);
        return k;
    };
    const std::vector<Record> kRecords = {{"TestLinker", Linker({0})},
                                          {"TestLinker", Linker({2})},
                                          {"TestLinker", Linker({1})},
                                          {"TestLinker", Linker({0, 4})},
                                          {"TestLeaf", LeafBody(1)}};
    for (std::uint32_t uiVersion : {NiObjectStream::CURRENT_VERSION, V(4, 2, 2, 0)})
    {
        SCOPED_TRACE(uiVersion);
        std::vector<Record> kBad = kRecords;
        kBad.push_back({"TestRoot", Bytes().U32(1).U32(0x10000000)});
        std::vector<std::uint8_t> kFile = BuildFile(uiVersion, kBad, {0, 3});
        {
            NiObjectStream kStream;
            EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
            EXPECT_EQ(kStream.GetLastError(), 6u);
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
    // A failure of the link pass, after every record was read, frees them
    // too.
    std::vector<Record> kGood = kRecords;
    kGood.push_back({"TestRoot", RootBody(1, {99})});
    std::vector<std::uint8_t> kFile = BuildFile(NiObjectStream::CURRENT_VERSION, kGood, {0, 3});
    {
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        EXPECT_EQ(kStream.GetLastError(), 6u);
    }
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
}

TEST_F(NiObjectStreamTest, ObjectsAreMadeAsTheirRecordsComeAndEarlierWhenARecordReachesThem)
{
    // The linker at 0 reaches 3 and 1 while it is read: those are made then,
    // and their own records later fill the same objects.
    auto Linker = [](const std::vector<std::uint32_t>& kLinks) {
        Bytes k;
        k.U32(static_cast<std::uint32_t>(kLinks.size()));
        for (std::uint32_t ui : kLinks)
            k.U32(ui);
        return k;
    };
    std::vector<std::uint8_t> kFile = BuildFile(NiObjectStream::CURRENT_VERSION,
                                                {{"TestLinker", Linker({3, 1})},
                                                 {"TestLeaf", LeafBody(11)},
                                                 {"TestRoot", RootBody(5, {3})},
                                                 {"TestLeaf", LeafBody(33)}},
                                                {0, 2, 3});
    {
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        auto* pkLinker = NiDynamicCast<TestLinker>(kStream.GetObjectAt(0));
        auto* pkRoot = NiDynamicCast<TestRoot>(kStream.GetObjectAt(1));
        auto* pkLeaf = NiDynamicCast<TestLeaf>(kStream.GetObjectAt(2));
        ASSERT_TRUE(pkLinker && pkRoot && pkLeaf);
        ASSERT_EQ(pkLinker->m_kHeld.size(), 2u);
        EXPECT_EQ(pkLinker->m_kHeld[0], pkLeaf);
        EXPECT_EQ(pkLeaf->m_uiValue, 33u);
        auto* pkHeld = NiDynamicCast<TestLeaf>(pkLinker->m_kHeld[1].Get());
        ASSERT_NE(pkHeld, nullptr);
        EXPECT_EQ(pkHeld->m_uiValue, 11u);
        ASSERT_EQ(pkRoot->m_kLeaves.size(), 1u);
        EXPECT_EQ(pkRoot->m_kLeaves[0], pkLeaf);
        // The table's and the links' references only.
        EXPECT_EQ(pkLeaf->GetRefCount(), 3u);
        EXPECT_EQ(pkHeld->GetRefCount(), 1u);
    }
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);

    // A create function that gives nothing fails the load with its class
    // named, whether the object's record or an earlier one reaches it first,
    // and whatever was made is freed.
    NiObjectStream::RegisterCreateFunction("TestLeaf", +[]() -> NiObject* { return nullptr; });
    for (const std::vector<std::uint32_t>& kReach : {std::vector<std::uint32_t>{}, std::vector<std::uint32_t>{2}})
    {
        std::vector<std::uint8_t> kNull = BuildFile(
            NiObjectStream::CURRENT_VERSION,
            {{"TestLinker", Linker(kReach)}, {"TestRoot", RootBody(5, {})}, {"TestLeaf", LeafBody(1)}}, {0});
        {
            NiObjectStream kStream;
            EXPECT_FALSE(kStream.LoadBuffer(kNull.data(), static_cast<std::uint32_t>(kNull.size())));
            EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_NO_CREATE_FUNCTION);
            EXPECT_EQ(kStream.GetLastErrorMessage(), "TestLeaf: cannot find create function.");
            EXPECT_EQ(kStream.GetObjectCount(), 0u);
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
}

TEST_F(NiObjectStreamTest, EveryTruncationFailsWithACodeAndKeepsNothing)
{
    for (std::uint32_t uiVersion : {V(3, 3, 0, 11), V(5, 0, 0, 6), NiObjectStream::CURRENT_VERSION})
    {
        std::vector<std::uint8_t> kFile = ValidFile(uiVersion);
        for (std::size_t n = 0; n < kFile.size(); ++n)
        {
            SCOPED_TRACE(n);
            {
                NiObjectStream kStream;
                EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(n)));
                EXPECT_NE(kStream.GetLastError(), 0u);
                EXPECT_EQ(kStream.GetObjectCount(), 0u);
            }
            EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
        }
    }
}

TEST_F(NiObjectStreamTest, HostileCountsAndLinksGiveCorrupt)
{
    // Offsets into the current-version file of ValidFile.
    std::vector<std::uint8_t> kFile = ValidFile();
    const std::size_t uiObjectCount = 47, uiClassCount = 51;
    const std::size_t uiFirstIndex = 53 + 12 + 12;
    const std::size_t uiGroups = uiFirstIndex + 6;
    const std::size_t uiRootLinks = uiGroups + 4 + 4; // count of the first root's links
    const std::size_t uiFirstLink = uiRootLinks + 4;
    const std::size_t uiTopCount = kFile.size() - 12;
    const std::size_t uiTopLink = kFile.size() - 8;

    struct Patch
    {
        const char* pcWhat;
        std::size_t uiOffset;
        std::uint32_t uiValue;
        int iBytes;
    };
    const Patch akPatches[] = {
        {"object count huge", uiObjectCount, 0xFFFFFFFF, 4},
        {"object count one more", uiObjectCount, 4, 4},
        {"class count huge", uiClassCount, 0xFFFF, 2},
        {"class index beyond", uiFirstIndex, 2, 2},
        {"group count huge", uiGroups, 0x40000000, 4},
        {"link count huge", uiRootLinks, 0x3FFFFFFF, 4},
        {"link to N", uiFirstLink, 3, 4},
        {"link to the wrong class", uiFirstLink, 2, 4},
        {"top count huge", uiTopCount, 0x10000000, 4},
        {"top link to N", uiTopLink, 3, 4},
    };
    for (const Patch& kPatch : akPatches)
    {
        SCOPED_TRACE(kPatch.pcWhat);
        std::vector<std::uint8_t> kBad = kFile;
        for (int i = 0; i < kPatch.iBytes; ++i)
            kBad[kPatch.uiOffset + i] = static_cast<std::uint8_t>(kPatch.uiValue >> (8 * i));
        {
            NiObjectStream kStream;
            EXPECT_FALSE(kStream.LoadBuffer(kBad.data(), static_cast<std::uint32_t>(kBad.size())));
            EXPECT_EQ(kStream.GetLastError(), 6u);
            EXPECT_EQ(kStream.GetObjectCount(), 0u);
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
}

namespace
{
// Notes, when its links are resolved, whether the stream still counts the
// load's objects privately.
std::vector<bool> s_kPrivateAtLink;
class TestWatcher : public TestRoot
{
    NiDeclareTypeInfo()

public:
    void ResolveLinks(NiObjectStream& kStream) override
    {
        s_kPrivateAtLink.push_back(kStream.CountsPrivately());
        TestRoot::ResolveLinks(kStream);
    }
};
NiImplementTypeInfo(TestWatcher, TestRoot)

// Joins a process-wide list when made, as textures do, and leaves it when
// its last reference goes.
std::mutex s_kListedMutex;
class TestListed;
TestListed* s_pkListedHead = nullptr;
TestListed* s_pkListedTail = nullptr;
class TestListed : public TestLeaf
{
    NiDeclareTypeInfo()

public:
    TestListed()
    {
        std::lock_guard<std::mutex> kLock(s_kListedMutex);
        NiInstanceListAppend(s_pkListedHead, s_pkListedTail, this, &TestListed::m_pkPrev, &TestListed::m_pkNext);
    }
    TestListed* m_pkPrev = nullptr;
    TestListed* m_pkNext = nullptr;

protected:
    void DeleteThis() override
    {
        {
            std::lock_guard<std::mutex> kLock(s_kListedMutex);
            NiInstanceListRemove(s_pkListedHead, s_pkListedTail, this, &TestListed::m_pkPrev, &TestListed::m_pkNext);
        }
        delete this;
    }
};
NiImplementTypeInfo(TestListed, TestLeaf)
} // namespace

TEST_F(NiObjectStreamTest, ALoadCountsPrivatelyUntilAnObjectOfItCanBeFoundElsewhere)
{
    NiObjectStream::RegisterCreateFunction("TestWatcher", +[]() -> NiObject* { return new TestWatcher; });
    NiObjectStream::RegisterCreateFunction("TestListed", +[]() -> NiObject* { return new TestListed; });
    NiObjectStream kStream;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    EXPECT_FALSE(kStream.CountsPrivately()) << "no load runs";

    // Two roots share a leaf and another leaf has no owner: once the load's
    // table lets go, each object is held by its owners alone.
    s_kPrivateAtLink.clear();
    std::vector<std::uint8_t> kFile = BuildFile(NiObjectStream::CURRENT_VERSION,
                                                {{"TestWatcher", RootBody(1, {2, 2})},
                                                 {"TestWatcher", RootBody(2, {2})},
                                                 {"TestLeaf", LeafBody(3)},
                                                 {"TestLeaf", LeafBody(4)}},
                                                {0, 1});
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(s_kPrivateAtLink, (std::vector<bool>{true, true}));
    EXPECT_FALSE(kStream.CountsPrivately()) << "the load returned";
    auto* pkFirst = static_cast<TestWatcher*>(kStream.GetObjectAt(0));
    ASSERT_EQ(pkFirst->m_kLeaves.size(), 2u);
    EXPECT_EQ(pkFirst->m_kLeaves[0]->GetRefCount(), 3u);
    EXPECT_EQ(pkFirst->GetRefCount(), 1u) << "the top-level list's";
    EXPECT_EQ(NiRefObject::GetTotalObjectCount() - uiLive, 3u) << "the leaf nobody holds is gone";

    // An object another thread could find from its list makes the whole
    // load count the locked way, from the object on.
    s_kPrivateAtLink.clear();
    kFile = BuildFile(NiObjectStream::CURRENT_VERSION,
                      {{"TestWatcher", RootBody(1, {2})}, {"TestListed", LeafBody(5)}, {"TestLeaf", LeafBody(6)}},
                      {0, 1});
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(s_kPrivateAtLink, (std::vector<bool>{false}));
    EXPECT_EQ(kStream.GetObjectAt(1)->GetRefCount(), 1u);
    EXPECT_EQ(static_cast<TestWatcher*>(kStream.GetObjectAt(0))->m_kLeaves[0]->GetRefCount(), 1u);
    {
        std::lock_guard<std::mutex> kLock(s_kListedMutex);
        EXPECT_EQ(s_pkListedHead, kStream.GetObjectAt(1));
    }
    kStream.RemoveAllTopObjects();
    EXPECT_EQ(s_pkListedHead, nullptr);

    // A post-load callback may hand the objects on: the table then lets go
    // the locked way, with the same counts.
    NiObjectStream::RegisterPostLoadCallback(RecordTop);
    kFile = BuildFile(NiObjectStream::CURRENT_VERSION, {{"TestWatcher", RootBody(1, {1})}, {"TestLeaf", LeafBody(7)}},
                      {0});
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(static_cast<TestWatcher*>(kStream.GetObjectAt(0))->m_kLeaves[0]->GetRefCount(), 1u);
    EXPECT_EQ(kStream.GetObjectAt(0)->GetRefCount(), 1u);
}

namespace
{
// A leaf whose class record says its objects need no link passes in files
// from 10.0.0.0 on; each object counts the pass calls it gets all the same.
class TestPlainLeaf : public TestLeaf
{
    NiDeclareTypeInfo()

public:
    std::uint32_t m_uiPassCalls = 0;

    void ResolveLinks(NiObjectStream& kStream) override
    {
        TestLeaf::ResolveLinks(kStream);
        ++m_uiPassCalls;
    }
    void PostLink(NiObjectStream& kStream) override
    {
        TestLeaf::PostLink(kStream);
        ++m_uiPassCalls;
    }
};
NiImplementLinkFreeTypeInfo(TestPlainLeaf, TestLeaf, NiStreamVersion(10, 0, 0, 0))

// Derived from it without its record saying so: linked as any class.
class TestPlainLeafChild : public TestPlainLeaf
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(TestPlainLeafChild, TestPlainLeaf)

void RegisterPlainLeaves()
{
    NiObjectStream::RegisterCreateFunction("TestPlainLeaf", +[]() -> NiObject* { return new TestPlainLeaf; });
    NiObjectStream::RegisterCreateFunction("TestPlainLeafChild",
                                           +[]() -> NiObject* { return new TestPlainLeafChild; });
}

Bytes LinkerBody(const std::vector<std::uint32_t>& kLinks)
{
    Bytes k;
    k.U32(static_cast<std::uint32_t>(kLinks.size()));
    for (std::uint32_t ui : kLinks)
        k.U32(ui);
    return k;
}
} // namespace

TEST_F(NiObjectStreamTest, LinkFreeObjectsArePassedByInFilesFromTheirClassVersionOn)
{
    RegisterPlainLeaves();
    const std::vector<Record> kRecords = {{"TestRoot", RootBody(1, {1, 2, 1})},
                                          {"TestPlainLeaf", LeafBody(10)},
                                          {"TestPlainLeafChild", LeafBody(20)}};
    struct Case
    {
        std::uint32_t m_uiVersion;
        std::uint32_t m_uiPlainCalls;
    };
    // Files before the version, with a class table and without, link every
    // object; a derived class is linked whatever the version.
    for (const Case& kCase : {Case{NiObjectStream::CURRENT_VERSION, 0}, Case{V(10, 0, 0, 0), 0},
                              Case{V(5, 0, 0, 6), 2}, Case{V(4, 2, 2, 0), 2}})
    {
        SCOPED_TRACE(kCase.m_uiVersion);
        std::vector<std::uint8_t> kFile = BuildFile(kCase.m_uiVersion, kRecords, {0});
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        auto* pkRoot = NiDynamicCast<TestRoot>(kStream.GetObjectAt(0));
        ASSERT_NE(pkRoot, nullptr);
        ASSERT_EQ(pkRoot->m_kLeaves.size(), 3u);
        auto* pkPlain = NiDynamicCast<TestPlainLeaf>(pkRoot->m_kLeaves[0].Get());
        auto* pkChild = NiDynamicCast<TestPlainLeafChild>(pkRoot->m_kLeaves[1].Get());
        ASSERT_TRUE(pkPlain != nullptr && pkChild != nullptr);
        EXPECT_EQ(pkRoot->m_kLeaves[2], pkPlain);
        EXPECT_EQ(pkPlain->m_uiValue, 10u);
        EXPECT_EQ(pkChild->m_uiValue, 20u);
        EXPECT_EQ(pkPlain->m_uiPassCalls, kCase.m_uiPlainCalls);
        EXPECT_EQ(pkChild->m_uiPassCalls, 2u);
        // Once the load is over only the links hold them.
        EXPECT_EQ(pkPlain->GetRefCount(), 2u);
        EXPECT_EQ(pkChild->GetRefCount(), 1u);
    }
}

TEST_F(NiObjectStreamTest, TheTableLetsGoOfLinkFreeObjectsEarlyWithTheSameCounts)
{
    RegisterPlainLeaves();
    NiObjectStream::RegisterCreateFunction("TestListed", +[]() -> NiObject* { return new TestListed; });
    // 1 is linked twice, 2 by nobody, 3 is a top object only, 4 is linked
    // by a root that comes after it.
    const std::vector<Record> kRecords = {{"TestRoot", RootBody(1, {1, 1})},    {"TestPlainLeaf", LeafBody(11)},
                                          {"TestPlainLeaf", LeafBody(12)},      {"TestPlainLeaf", LeafBody(13)},
                                          {"TestPlainLeaf", LeafBody(14)},      {"TestRoot", RootBody(2, {4})}};
    // The same once an object another thread may find makes the load count
    // the locked way (the table then keeps its references to the end); the
    // listed object is a top object too.
    std::vector<Record> kListed = kRecords;
    kListed.push_back({"TestListed", LeafBody(0)});
    for (std::uint32_t uiListed : {0u, 1u})
    {
        SCOPED_TRACE(uiListed);
        std::vector<std::uint8_t> kFile =
            BuildFile(NiObjectStream::CURRENT_VERSION, uiListed == 0 ? kRecords : kListed,
                      uiListed == 0 ? std::vector<std::uint32_t>{0, 3, 5} : std::vector<std::uint32_t>{0, 3, 5, 6});
        NiObjectStream kStream;
        const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
        ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        auto* pkFirst = NiDynamicCast<TestRoot>(kStream.GetObjectAt(0));
        auto* pkTop = NiDynamicCast<TestPlainLeaf>(kStream.GetObjectAt(1));
        auto* pkLast = NiDynamicCast<TestRoot>(kStream.GetObjectAt(2));
        ASSERT_TRUE(pkFirst != nullptr && pkTop != nullptr && pkLast != nullptr);
        ASSERT_EQ(pkFirst->m_kLeaves.size(), 2u);
        ASSERT_EQ(pkLast->m_kLeaves.size(), 1u);
        EXPECT_EQ(pkFirst->m_kLeaves[0]->GetRefCount(), 2u);
        EXPECT_EQ(pkFirst->m_kLeaves[0]->m_uiValue, 11u);
        EXPECT_EQ(pkTop->GetRefCount(), 1u);
        EXPECT_EQ(pkTop->m_uiValue, 13u);
        EXPECT_EQ(pkLast->m_kLeaves[0]->GetRefCount(), 1u);
        EXPECT_EQ(pkLast->m_kLeaves[0]->m_uiValue, 14u);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount() - uiLive, 5u + uiListed) << "the leaf nobody holds is gone";

        // A leaf kept past its scene: every other piece of the load's
        // arena is counted back once the top objects go.
        NiRefPtr<TestLeaf> spKept = pkFirst->m_kLeaves[0];
        NiLoadArena* pkArena = NiLoadArena::GetOwner(spKept.Get());
        ASSERT_NE(pkArena, nullptr);
        kStream.RemoveAllTopObjects();
        EXPECT_EQ(spKept->GetRefCount(), 1u);
        EXPECT_EQ(pkArena->GetLiveCount(), 1u);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount() - uiLive, 1u);
    }
}

TEST_F(NiObjectStreamTest, AFailedLinkPassFreesLinkFreeObjectsTheTableLetGoOfOnce)
{
    RegisterPlainLeaves();
    // The linker holds leaf 1 from its read; the table lets go of the leaf
    // in the link pass, which then fails at a link beyond the file. The
    // linker's dropped links free the leaf before the cleanup reaches its
    // entry, and another root's link frees it only with that root.
    for (bool bAlsoLinked : {false, true})
    {
        SCOPED_TRACE(bAlsoLinked);
        std::vector<Record> kRecords = {{"TestLinker", LinkerBody({1})}, {"TestPlainLeaf", LeafBody(1)}};
        if (bAlsoLinked)
            kRecords.push_back({"TestRoot", RootBody(2, {1})});
        kRecords.push_back({"TestRoot", RootBody(3, {99})});
        std::vector<std::uint8_t> kFile = BuildFile(NiObjectStream::CURRENT_VERSION, kRecords, {0});
        {
            NiObjectStream kStream;
            EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
            EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
            EXPECT_EQ(kStream.GetObjectCount(), 0u);
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
}

namespace
{
// Notes in its post-link step what the stream lists as top objects, and
// marks the load corrupt there when its value is 99.
class TestTopWatcher : public TestRoot
{
    NiDeclareTypeInfo()

public:
    std::vector<NiObject*> m_kTopsAtPostLink;

    void PostLink(NiObjectStream& kStream) override
    {
        TestRoot::PostLink(kStream);
        for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
            m_kTopsAtPostLink.push_back(kStream.GetObjectAt(i));
        if (m_uiValue == 99)
            kStream.SetCorrupt();
    }
};
NiImplementTypeInfo(TestTopWatcher, TestRoot)
} // namespace

TEST_F(NiObjectStreamTest, TopObjectsAreListedForPostLinkStepsAndCountedOncePerSlot)
{
    RegisterPlainLeaves();
    NiObjectStream::RegisterCreateFunction("TestTopWatcher", +[]() -> NiObject* { return new TestTopWatcher; });
    // The link-free leaf is linked twice and a top object twice: its
    // owner may not take the load's reference, which becomes a slot's.
    std::vector<std::uint8_t> kFile = BuildFile(
        NiObjectStream::CURRENT_VERSION,
        {{"TestTopWatcher", RootBody(1, {1, 1})}, {"TestPlainLeaf", LeafBody(2)}, {"TestLeaf", LeafBody(3)}},
        {1, 0, 0xFFFFFFFF, 1, 2});
    {
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        auto* pkRoot = NiDynamicCast<TestTopWatcher>(kStream.GetObjectAt(1));
        ASSERT_NE(pkRoot, nullptr);
        ASSERT_EQ(pkRoot->m_kTopsAtPostLink.size(), 5u);
        for (std::uint32_t i = 0; i < 5; ++i)
            EXPECT_EQ(pkRoot->m_kTopsAtPostLink[i], kStream.GetObjectAt(i)) << i;
        EXPECT_EQ(kStream.GetObjectAt(2), nullptr);
        EXPECT_EQ(kStream.GetObjectAt(0), kStream.GetObjectAt(3));
        EXPECT_EQ(kStream.GetObjectAt(0)->GetRefCount(), 4u) << "two links, two slots";
        EXPECT_EQ(pkRoot->GetRefCount(), 1u);
        EXPECT_EQ(kStream.GetObjectAt(4)->GetRefCount(), 1u);
    }
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);

    // A post-link step that fails the load after the list was filled:
    // everything goes, once.
    kFile = BuildFile(NiObjectStream::CURRENT_VERSION,
                      {{"TestTopWatcher", RootBody(99, {1})}, {"TestPlainLeaf", LeafBody(2)}, {"TestLeaf", LeafBody(3)}},
                      {1, 0, 2, 0});
    {
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
        EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
        EXPECT_EQ(kStream.GetObjectCount(), 0u);
    }
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
}

TEST_F(NiObjectStreamTest, NullTopLinksStayAndCallbacksSkipThem)
{
    NiObjectStream::RegisterPostLoadCallback(RecordTop);
    std::vector<std::uint8_t> kFile =
        BuildFile(NiObjectStream::CURRENT_VERSION, {{"TestLeaf", LeafBody(1)}}, {0xFFFFFFFF, 0, 0});
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    ASSERT_EQ(kStream.GetObjectCount(), 3u);
    EXPECT_EQ(kStream.GetObjectAt(0), nullptr);
    ASSERT_EQ(s_kCallbackTops.size(), 2u) << "once per non-null top object";
    EXPECT_EQ(s_kCallbackTops[0], kStream.GetObjectAt(1));
}

TEST_F(NiObjectStreamTest, OldFlagFixRunsOnEveryObjectOfFilesBefore4_1_0_12)
{
    NiObjectStream::SetOldUpdateFlagFix(RecordFix);
    NiObjectStream kStream;
    std::vector<std::uint8_t> kOld = ValidFile(V(4, 1, 0, 11));
    ASSERT_TRUE(kStream.LoadBuffer(kOld.data(), static_cast<std::uint32_t>(kOld.size())));
    EXPECT_EQ(s_kFixed.size(), 3u);
    s_kFixed.clear();
    std::vector<std::uint8_t> kNew = ValidFile(V(4, 1, 0, 12));
    ASSERT_TRUE(kStream.LoadBuffer(kNew.data(), static_cast<std::uint32_t>(kNew.size())));
    EXPECT_TRUE(s_kFixed.empty());
}

TEST_F(NiObjectStreamTest, ErrorsStayUntilTheNextFailureAndAStopFailsTheLoad)
{
    NiObjectStream kStream;
    const char acJunk[] = "nothing here\n";
    EXPECT_FALSE(kStream.LoadBuffer(acJunk, sizeof(acJunk) - 1));
    std::vector<std::uint8_t> kFile = ValidFile();
    EXPECT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetLastError(), 2u) << "a success does not clear the error";

    kStream.SetLoadStatus(NiObjectStream::STATUS_PAUSE);
    EXPECT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetLoadStatus(), NiObjectStream::STATUS_PAUSED);
    kStream.SetLoadStatus(NiObjectStream::STATUS_STOP);
    EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetObjectCount(), 0u);
}

TEST_F(NiObjectStreamTest, FilesLoadThroughTheResolverAndSavesReportFailures)
{
    TempFolder kFolder;
    std::filesystem::create_directory(kFolder.Path() / "Models");
    std::vector<std::uint8_t> kFile = ValidFile();
    {
        std::ofstream kOut(kFolder.File("Models/Cell.NIF"), std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(kFile.data()), static_cast<std::streamsize>(kFile.size()));
    }
    std::string kWindowsPath = kFolder.Path().string() + "\\models\\cell.nif";
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadFile(kWindowsPath.c_str()));
    EXPECT_EQ(kStream.GetObjectCount(), 2u);
    EXPECT_EQ(kStream.GetFileName(), kWindowsPath);
    EXPECT_EQ(kStream.GetSearchPath()->GetReferencePath(), kFolder.Path().string() + "\\models\\");

    std::string kCopy = kFolder.File("copy.nif");
    ASSERT_TRUE(kStream.SaveFile(kCopy.c_str()));
    std::ifstream kIn(kCopy, std::ios::binary);
    std::vector<std::uint8_t> kWritten((std::istreambuf_iterator<char>(kIn)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kWritten, kFile);

    EXPECT_FALSE(kStream.LoadFile(kFolder.File("missing.nif").c_str()));
    EXPECT_EQ(kStream.GetLastError(), 1u);
    EXPECT_EQ(kStream.GetLastErrorMessage(), "Cannot open file.");
    EXPECT_EQ(kStream.GetObjectCount(), 0u);
    // A folder named like a scene is no scene file (and its endless length
    // must not size a buffer).
    std::filesystem::create_directory(kFolder.Path() / "Level.nif");
    std::string kFolderPath = kFolder.Path().string() + "\\level.NIF";
    EXPECT_FALSE(kStream.LoadFile(kFolderPath.c_str()));
    EXPECT_EQ(kStream.GetLastError(), 1u);

    NiObjectStream kSaver;
    NiRefPtr<TestLeaf> spLeaf = new TestLeaf;
    kSaver.InsertTopObject(spLeaf);
    EXPECT_FALSE(kSaver.SaveFile(kFolder.File("no/such/folder.nif").c_str()));
    EXPECT_EQ(kSaver.GetLastError(), 0u) << "an unopenable save sets no code";
    if (std::filesystem::exists("/dev/full"))
    {
        EXPECT_FALSE(kSaver.SaveFile("/dev/full"));
    }
}

TEST_F(NiObjectStreamTest, AFileAfterALargerOneSeesOnlyItsOwnBytes)
{
    // The previous load's file buffer is reused: what is left of a larger
    // file in it must never be read as the rest of a shorter one.
    TempFolder kFolder;
    std::vector<std::uint8_t> kFile = ValidFile();
    auto Write = [&kFolder](const char* pcName, const std::vector<std::uint8_t>& kBytes) {
        std::ofstream kOut(kFolder.File(pcName), std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        return kFolder.File(pcName);
    };
    std::string kWhole = Write("whole.nif", kFile);
    for (std::size_t n : {kFile.size() - 1, kFile.size() / 2, std::size_t{40}})
    {
        SCOPED_TRACE(n);
        std::string kCut = Write("cut.nif", std::vector<std::uint8_t>(kFile.begin(), kFile.begin() + n));
        {
            NiObjectStream kStream;
            ASSERT_TRUE(kStream.LoadFile(kWhole.c_str()));
            EXPECT_EQ(kStream.GetObjectCount(), 2u);
            EXPECT_FALSE(kStream.LoadFile(kCut.c_str()));
            EXPECT_NE(kStream.GetLastError(), 0u);
            EXPECT_EQ(kStream.GetObjectCount(), 0u);
            // And the same file twice gives the same objects.
            ASSERT_TRUE(kStream.LoadFile(kWhole.c_str()));
            NiObjectStream kAgain;
            ASSERT_TRUE(kAgain.LoadFile(kWhole.c_str()));
            EXPECT_TRUE(kStream.GetObjectAt(0)->IsEqual(kAgain.GetObjectAt(0)));
        }
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    }
    NiObjectStream::ReleaseKeptMemory();
    NiObjectStream kStream;
    EXPECT_TRUE(kStream.LoadFile(kWhole.c_str()));
}

TEST_F(NiObjectStreamTest, StringsAreLengthPrefixedAndNullForZeroOrTopBit)
{
    NiMemoryStream kMemory;
    NiObjectStream kWriter;
    {
        // Strings written through a save of an object that writes three.
        class Texts : public NiObject
        {
        public:
            void WriteToStream(NiObjectStream& kStream) override
            {
                kStream.WriteString("abc");
                kStream.WriteString(nullptr);
                kStream.WriteString("");
            }
        };
        NiRefPtr<Texts> sp = new Texts;
        ASSERT_TRUE(kWriter.RegisterObject(sp));
        EXPECT_FALSE(kWriter.RegisterObject(sp));
        EXPECT_EQ(kWriter.GetLinkIndex(sp), 0u);
        EXPECT_EQ(kWriter.GetLinkIndex(nullptr), NiObjectStream::NULL_LINK);
    }
    Bytes k;
    k.Str("abc").U32(0).U32(0x80000001).Str("xyz");
    class Reader : public NiObject
    {
    public:
        std::vector<std::string> m_kTexts;
        void ReadFromStream(NiObjectStream& kStream) override
        {
            for (int i = 0; i < 4; ++i)
            {
                char* pc = kStream.ReadString();
                m_kTexts.push_back(pc ? pc : "<null>");
                delete[] pc;
            }
        }
    };
    static Reader* s_pkReader = nullptr;
    NiObjectStream::RegisterCreateFunction("Reader", +[]() -> NiObject* { return s_pkReader = new Reader; });
    Bytes kFile;
    kFile.Raw("Quenthal File Format, Version 10.2.0.0\n").U32(0x0A020000).U32(0).U32(1);
    kFile.U16(1).Str("Reader").U16(0).U32(0).Append(k).U32(1).U32(0);
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.m_kBytes.data(), static_cast<std::uint32_t>(kFile.Size())));
    ASSERT_NE(s_pkReader, nullptr);
    EXPECT_EQ(s_pkReader->m_kTexts, (std::vector<std::string>{"abc", "<null>", "<null>", "xyz"}));
}

TEST_F(NiObjectStreamTest, SharedTexturesAreFoundByNameInTheirStream)
{
    NiObjectStream kStream;
    NiRefPtr<TestLeaf> spTexture = new TestLeaf;
    EXPECT_EQ(kStream.FindSharedTexture("maps\\wall.tga", nullptr), nullptr);
    kStream.AddSharedTexture("maps\\wall.tga", spTexture);
    EXPECT_EQ(kStream.FindSharedTexture("maps\\wall.tga", nullptr), spTexture.Get());
    EXPECT_EQ(kStream.FindSharedTexture("MAPS\\WALL.TGA", nullptr), nullptr) << "the table compares exactly";

    static NiObject* s_pkFound = nullptr;
    s_pkFound = spTexture;
    NiSharedTextureTable::SetSearchAllFunction(+[](const char*, const NiObject*) { return NiObjectPtr(s_pkFound); });
    EXPECT_EQ(kStream.FindSharedTexture("other.tga", nullptr), nullptr) << "search-all starts off";
    kStream.GetSharedTextureTable()->SetSearchAll(true);
    EXPECT_EQ(kStream.FindSharedTexture("other.tga", nullptr), spTexture.Get());
    NiSharedTextureTable::SetSearchAllFunction(nullptr);
}

TEST(NiObjectStreamReader, ConsumesOnlyWhatIsThereAndStopsAtACallerOverrun)
{
    const std::uint8_t aucBytes[] = {1, 2, 3, 4, 5, 6};
    NiObjectStream::Reader kReader(aucBytes, sizeof(aucBytes));
    const std::uint8_t* puc = kReader.Take(4);
    ASSERT_EQ(puc, aucBytes);
    EXPECT_EQ(kReader.GetLeft(), 2u);
    EXPECT_EQ(kReader.Take(3), nullptr); // the file is short: a failure, not a bug
    EXPECT_TRUE(kReader.Failed());
    EXPECT_EQ(kReader.GetLeft(), 2u);

    NiObjectStream::Reader kPeeked(aucBytes, sizeof(aucBytes));
    EXPECT_EQ(kPeeked.Peek(), aucBytes);
    kPeeked.Advance(6);
    EXPECT_EQ(kPeeked.GetLeft(), 0u);
#ifndef NDEBUG
    // Moving on past what is there is the caller's bug.
    EXPECT_DEATH(kPeeked.Advance(1), "past its end");
#endif
}
