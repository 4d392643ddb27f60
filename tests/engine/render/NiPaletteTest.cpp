#include "engine/render/NiPalette.h"

#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

class NiPaletteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiObjectStream::StaticShutdown();
        NiObjectStream::StaticInit();
        NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
    }
    void TearDown() override { NiObjectStream::StaticShutdown(); }
};

class CountedData : public NiPalette::RendererData
{
public:
    explicit CountedData(int& iLive) : m_iLive(iLive) { ++m_iLive; }
    ~CountedData() override { --m_iLive; }

private:
    int& m_iLive;
};

Bytes SaveTop(NiObject* pkTop)
{
    NiObjectStream kStream;
    kStream.InsertTopObject(pkTop);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
    return Bytes(spBuffer.get(), spBuffer.get() + uiSize);
}
} // namespace

TEST_F(NiPaletteTest, ListCopyAndAssignment)
{
    const std::uint32_t uiBefore = NiPalette::GetListCount();
    const NiPalette::PaletteEntry akEntries[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    NiPalettePtr spA = new NiPalette(true, 2, akEntries);
    {
        NiPalettePtr spB = new NiPalette(*spA);
        EXPECT_EQ(NiPalette::GetListCount(), uiBefore + 2);
        EXPECT_TRUE(spB->IsEqual(spA));
        EXPECT_NE(spB->GetEntries(), spA->GetEntries());
    }
    EXPECT_EQ(NiPalette::GetListCount(), uiBefore + 1);

    int iLive = 0;
    NiPalettePtr spC = new NiPalette(false, 5, nullptr);
    spC->SetRendererData(std::make_unique<CountedData>(iLive));
    spC->MarkAsChanged();
    EXPECT_EQ(spC->GetRevisionID(), 2u);
    *spC = *spA;
    EXPECT_EQ(iLive, 0);
    EXPECT_EQ(spC->GetRevisionID(), 1u);
    EXPECT_TRUE(spC->IsEqual(spA));
    EXPECT_EQ(spC->GetEntry(9), NiPalette::PaletteEntry{});
}

TEST_F(NiPaletteTest, EqualityLooksAtEveryEntry)
{
    const NiPalette::PaletteEntry akA[3] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}};
    const NiPalette::PaletteEntry akB[3] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 4}};
    NiPalettePtr spA = new NiPalette(false, 3, akA);
    EXPECT_FALSE(spA->IsEqual(NiPalettePtr(new NiPalette(false, 3, akB))));
    EXPECT_FALSE(spA->IsEqual(NiPalettePtr(new NiPalette(true, 3, akA))));
    EXPECT_FALSE(spA->IsEqual(NiPalettePtr(new NiPalette(false, 2, akA))));
    EXPECT_TRUE(spA->IsEqual(NiPalettePtr(new NiPalette(false, 3, akA))));
}

TEST_F(NiPaletteTest, RecordRoundTripAndDamage)
{
    const NiPalette::PaletteEntry akEntries[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    NiPalettePtr spPalette = new NiPalette(true, 2, akEntries);
    const Bytes kFile = SaveTop(spPalette);
    // u8 alpha flag, u32 count, then the entries: the file ends with them
    // and the one top-level link.
    const Bytes kTail(kFile.end() - 4 - 4 - 8 - 4 - 1, kFile.end() - 8);
    EXPECT_EQ(kTail, (Bytes{1, 2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));

    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    ASSERT_EQ(kStream.GetObjectCount(), 1u);
    EXPECT_TRUE(kStream.GetObjectAt(0)->IsEqual(spPalette));
    EXPECT_EQ(SaveTop(kStream.GetObjectAt(0)), kFile);

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        NiObjectStream kCut;
        EXPECT_FALSE(kCut.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(n))) << n;
    }
    for (std::uint32_t uiCount : {5u, 0x10000u, 0xFFFFFFFFu})
    {
        Bytes kBad = kFile;
        const std::size_t uiAt = kFile.size() - 8 - 8 - 4;
        for (int i = 0; i < 4; ++i)
            kBad[uiAt + i] = static_cast<std::uint8_t>(uiCount >> (8 * i));
        NiObjectStream kLoad;
        EXPECT_FALSE(kLoad.LoadBuffer(kBad.data(), static_cast<std::uint32_t>(kBad.size()))) << uiCount;
    }
}
