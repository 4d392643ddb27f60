#include "engine/render/NiPixelData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

// Scene files need the class names creatable; the table is process-wide,
// so each case starts from a fresh one.
class NiPixelDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiObjectStream::StaticShutdown();
        NiObjectStream::StaticInit();
        NiObjectStream::RegisterCreateFunction("NiPixelData", &NiPixelData::CreateObject);
        NiObjectStream::RegisterCreateFunction("NiPalette", &NiPalette::CreateObject);
    }
    void TearDown() override { NiObjectStream::StaticShutdown(); }

    static Bytes Save(NiObject* pkTop)
    {
        NiObjectStream kStream;
        kStream.InsertTopObject(pkTop);
        std::unique_ptr<std::uint8_t[]> spBuffer;
        std::uint32_t uiSize = 0;
        EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
        return Bytes(spBuffer.get(), spBuffer.get() + uiSize);
    }
    // The single top-level object of the file, or null.
    static NiObjectPtr Load(const Bytes& kFile)
    {
        NiObjectStream kStream;
        if (!kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())) || kStream.GetObjectCount() != 1)
            return nullptr;
        return kStream.GetObjectAt(0);
    }
    static NiPixelDataPtr PaletteImage()
    {
        NiPixelDataPtr spImage = new NiPixelData(4, 2, NiPixelFormat::PAL8, 0);
        for (std::uint32_t i = 0; i < spImage->GetTotalSizeInBytes(); ++i)
            spImage->GetPixels()[i] = static_cast<std::uint8_t>(i * 13);
        const NiPalette::PaletteEntry akEntries[3] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
        spImage->SetPalette(new NiPalette(false, 3, akEntries));
        return spImage;
    }
};

// Offset of the first pixel-format record with this descriptor in a file.
std::size_t FindRecord(const Bytes& kFile, std::uint32_t uiDescriptor)
{
    for (std::size_t i = 24; i + 4 <= kFile.size(); ++i)
    {
        if (kFile[i] == (uiDescriptor & 0xFF) && kFile[i + 1] == ((uiDescriptor >> 8) & 0xFF) &&
            kFile[i + 2] == ((uiDescriptor >> 16) & 0xFF) && kFile[i + 3] == (uiDescriptor >> 24))
            return i - 24;
    }
    return 0;
}

void Patch32(Bytes& kFile, std::size_t uiAt, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        kFile[uiAt + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}
} // namespace

TEST_F(NiPixelDataTest, LevelSizes)
{
    NiPixelDataPtr spOne = new NiPixelData(1, 1, NiPixelFormat::RGBA32, 0);
    EXPECT_EQ(spOne->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(spOne->GetSizeInBytes(0), 4u);
    EXPECT_EQ(spOne->GetTotalSizeInBytes(), 4u);
    EXPECT_EQ(spOne->GetPixelStride(), 4u);
    EXPECT_EQ(spOne->GetRevisionID(), 1u);

    NiPixelDataPtr spDxt = new NiPixelData(256, 256, NiPixelFormat::DXT1, 0);
    ASSERT_EQ(spDxt->GetNumMipmapLevels(), 9u);
    EXPECT_EQ(spDxt->GetTotalSizeInBytes(), 43704u);
    EXPECT_EQ(spDxt->GetSizeInBytes(7), 8u);
    EXPECT_EQ(spDxt->GetSizeInBytes(8), 8u);
    EXPECT_EQ(spDxt->GetWidth(8), 1u);
    EXPECT_EQ(spDxt->GetOffsetInBytes(1), 32768u);
    EXPECT_EQ(spDxt->GetPixelStride(), 0u);

    EXPECT_EQ(NiPixelDataPtr(new NiPixelData(3, 5, NiPixelFormat::RGB24, 0))->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(NiPixelDataPtr(new NiPixelData(3, 3, NiPixelFormat::PAL4))->GetSizeInBytes(0), 4u);
    EXPECT_EQ(NiPixelDataPtr(new NiPixelData(5, 3, NiPixelFormat::DXT5))->GetSizeInBytes(0), 32u);
    EXPECT_EQ(NiPixelData::ComputeMipLevelCount(256, 64), 9u);
    EXPECT_EQ(NiPixelData::ComputeMipLevelCount(0, 64), 0u);
    EXPECT_EQ(NiPixelData::ComputeMipLevelCount(48, 64), 1u);
    EXPECT_EQ(NiPixelData::ComputeMipLevelCount(1, 1), 1u);

    // A chain longer than 1 x 1 keeps going at 1 x 1.
    NiPixelDataPtr spLong = new NiPixelData(2, 2, NiPixelFormat::RGB24, 4);
    EXPECT_EQ(spLong->GetWidth(3), 1u);
    EXPECT_EQ(spLong->GetTotalSizeInBytes(), 12u + 3u + 3u + 3u);
    EXPECT_EQ(spLong->GetPixels(4), nullptr);
    EXPECT_EQ(spLong->GetWidth(4), 0u);

    // Sizes beyond 32-bit offsets are not made.
    NiPixelDataPtr spHuge = new NiPixelData(0x10000, 0x10000, NiPixelFormat::RGBA32);
    EXPECT_EQ(spHuge->GetPixels(), nullptr);
    EXPECT_EQ(spHuge->GetNumMipmapLevels(), 0u);
}

TEST_F(NiPixelDataTest, NewPixelsStartAsZero)
{
    // Large enough that the allocator hands out recycled memory, several
    // formats and levels; every byte of every level reads 0.
    std::vector<NiPixelDataPtr> kKeep;
    for (int iRound = 0; iRound < 2; ++iRound)
    {
        for (const NiPixelFormat& kFormat : {NiPixelFormat::RGBA32, NiPixelFormat::RGB24, NiPixelFormat::DXT1})
        {
            NiPixelDataPtr spImage = new NiPixelData(128, 64, kFormat, 0);
            ASSERT_NE(spImage->GetPixels(), nullptr);
            const std::uint8_t* puc = spImage->GetPixels();
            const std::uint32_t uiBytes = spImage->GetTotalSizeInBytes();
            EXPECT_EQ(std::count(puc, puc + uiBytes, 0), static_cast<std::ptrdiff_t>(uiBytes));
            EXPECT_TRUE(spImage->IsEqual(NiPixelDataPtr(new NiPixelData(128, 64, kFormat, 0))));
            // Dirty the memory so the second round gets it back used.
            std::fill_n(spImage->GetPixels(), uiBytes, 0xA5);
        }
    }
}

TEST_F(NiPixelDataTest, AnImageToFillHasOneLevelItsTablesAndZeroPadding)
{
    // 3 x 3 of 24 bits: 27 pixel bytes and one byte of padding before the
    // level tables.
    for (int iRound = 0; iRound < 2; ++iRound)
    {
        NiPixelDataPtr spImage = NiPixelData::CreateToFill(3, 3, NiPixelFormat::RGB24);
        ASSERT_NE(spImage->GetPixels(), nullptr);
        EXPECT_EQ(spImage->GetNumMipmapLevels(), 1u);
        EXPECT_EQ(spImage->GetWidth(), 3u);
        EXPECT_EQ(spImage->GetHeight(), 3u);
        EXPECT_EQ(spImage->GetTotalSizeInBytes(), 27u);
        EXPECT_EQ(spImage->GetPixels()[27], 0u);
        std::fill_n(spImage->GetPixels(), 27, std::uint8_t(0x5A));
        NiPixelDataPtr spFilled = new NiPixelData(3, 3, NiPixelFormat::RGB24);
        std::fill_n(spFilled->GetPixels(), 27, std::uint8_t(0x5A));
        EXPECT_TRUE(spImage->IsEqual(spFilled));
        // A copy is whole without a fill of its own.
        EXPECT_TRUE(NiPixelDataPtr(new NiPixelData(*spImage))->IsEqual(spFilled));
        // Dirty the padding so a second round may get it back used.
        spImage->GetPixels()[27] = 0xA5;
    }
    // A size that cannot be had gives an image without levels.
    EXPECT_EQ(NiPixelDataPtr(NiPixelData::CreateToFill(0xFFFFFFFFu, 0xFFFFFFFFu, NiPixelFormat::RGBA32))->GetPixels(),
              nullptr);
}

TEST_F(NiPixelDataTest, CopiesAndEquality)
{
    NiPixelDataPtr spImage = PaletteImage();
    NiPixelDataPtr spCopy = new NiPixelData(*spImage);
    EXPECT_TRUE(spCopy->IsEqual(spImage));
    EXPECT_NE(spCopy->GetPalette(), spImage->GetPalette());
    EXPECT_EQ(spCopy->GetNumMipmapLevels(), spImage->GetNumMipmapLevels());

    spCopy->GetPixels(1)[0] ^= 1;
    EXPECT_FALSE(spCopy->IsEqual(spImage));
    spCopy->GetPixels(1)[0] ^= 1;
    spCopy->GetPalette()->GetEntries()[2].m_ucAlpha = 99;
    EXPECT_FALSE(spImage->IsEqual(spCopy));

    NiPixelDataPtr spOther = new NiPixelData(4, 2, NiPixelFormat::PALA8, 0);
    EXPECT_FALSE(spOther->IsEqual(spImage));
    EXPECT_FALSE(spImage->IsEqual(nullptr));
    EXPECT_FALSE(spImage->IsEqual(spImage->GetPalette()));
}

TEST_F(NiPixelDataTest, RecordRoundTripKeepsAnEqualSeparatePalette)
{
    NiPixelDataPtr spImage = PaletteImage();
    const Bytes kFile = Save(spImage);
    NiObjectPtr spLoaded = Load(kFile);
    ASSERT_TRUE(spLoaded);
    NiPixelData* pkLoaded = NiDynamicCast<NiPixelData>(spLoaded.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(spImage));
    ASSERT_NE(pkLoaded->GetPalette(), nullptr);
    EXPECT_NE(pkLoaded->GetPalette(), spImage->GetPalette());
    EXPECT_TRUE(pkLoaded->GetPalette()->IsEqual(spImage->GetPalette()));
    EXPECT_EQ(Save(pkLoaded), kFile);

    // The record itself, byte for byte after the format.
    const std::size_t uiAt = FindRecord(kFile, NiPixelFormat::PAL8.GetDescriptor());
    ASSERT_NE(uiAt, 0u);
    EXPECT_EQ(NiGetLE32(kFile.data() + uiAt), NiPixelFormat::PALETTE);
    EXPECT_EQ(NiGetLE32(kFile.data() + uiAt + 40), 3u);      // levels: 4x2, 2x1, 1x1
    EXPECT_EQ(NiGetLE32(kFile.data() + uiAt + 44), 1u);      // bytes per pixel
    EXPECT_EQ(NiGetLE32(kFile.data() + uiAt + 48 + 12), 2u); // level 1 width
    EXPECT_EQ(NiGetLE32(kFile.data() + uiAt + 48 + 36), 11u);

    // Without a palette, and a compressed chain.
    NiPixelDataPtr spDxt = new NiPixelData(8, 8, NiPixelFormat::DXT5, 0);
    std::memset(spDxt->GetPixels(), 0x5A, spDxt->GetTotalSizeInBytes());
    spLoaded = Load(Save(spDxt));
    ASSERT_TRUE(spLoaded);
    EXPECT_TRUE(spLoaded->IsEqual(spDxt));
}

TEST_F(NiPixelDataTest, DamagedRecordsFailTheLoad)
{
    NiPixelDataPtr spImage = PaletteImage();
    const Bytes kFile = Save(spImage);
    const std::size_t uiAt = FindRecord(kFile, NiPixelFormat::PAL8.GetDescriptor());
    ASSERT_NE(uiAt, 0u);

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        Bytes kCut(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n));
        if (Load(kCut))
        {
            ADD_FAILURE() << "a file cut to " << n << " bytes loaded";
            break;
        }
    }

    struct Case
    {
        const char* pcWhy;
        std::size_t uiOffset;
        std::uint32_t uiValue;
    };
    const Case akCases[] = {
        {"no levels", 40, 0},
        {"16 levels", 40, 16},
        {"huge level count", 40, 0xFFFFFFFF},
        {"level 0 not at 0", 48 + 8, 4},
        {"level 0 short of its size", 48 + 20, 7},
        {"zero width", 48, 0},
        {"huge width", 48, 0x10000},
        {"total beyond the file", 48 + 36, 0xFFFFFF00},
        {"palette link beyond the file", 36, 77},
        {"stride other than the format's", 44, 4},
        {"bits per pixel against the descriptor", 20, 32},
        {"kind against the descriptor", 0, 3},
        {"palette link to itself", 36, 0},
    };
    for (const Case& c : akCases)
    {
        SCOPED_TRACE(c.pcWhy);
        Bytes kBad = kFile;
        Patch32(kBad, uiAt + c.uiOffset, c.uiValue);
        EXPECT_FALSE(Load(kBad));
    }

    std::mt19937 kRandom(2024);
    for (int i = 0; i < 2000; ++i)
    {
        Bytes kBad = kFile;
        const std::size_t uiEdit = uiAt + kRandom() % (kFile.size() - uiAt);
        kBad[uiEdit] = static_cast<std::uint8_t>(kRandom());
        NiObjectPtr spLoaded = Load(kBad);
        if (NiPixelData* pkLoaded = NiDynamicCast<NiPixelData>(spLoaded.Get()))
        {
            ASSERT_NE(pkLoaded->GetPixels(), nullptr);
        }
    }
}

namespace
{
// An older file made from a current one: the version, no user version
// before 10.0.1.8, a group index before the object's record, and the
// format record as that version wrote it.
Bytes MakeOld(const Bytes& kCurrent, std::uint32_t uiVersion, std::uint32_t uiKind, bool bFlagWord,
              std::uint32_t uiShiftWord)
{
    Bytes kFile = kCurrent;
    const std::size_t uiAt = FindRecord(kFile, NiPixelFormat::RGBA32.GetDescriptor());
    Patch32(kFile, uiAt, uiKind);
    Patch32(kFile, uiAt + 28, uiShiftWord);
    if (!bFlagWord)
        kFile.erase(kFile.begin() + static_cast<std::ptrdiff_t>(uiAt + 32), kFile.begin() + static_cast<std::ptrdiff_t>(uiAt + 36));
    kFile.insert(kFile.begin() + static_cast<std::ptrdiff_t>(uiAt), 4, 0);
    const std::size_t uiVersionAt = static_cast<std::size_t>(std::find(kFile.begin(), kFile.end(), '\n') - kFile.begin()) + 1;
    Patch32(kFile, uiVersionAt, uiVersion);
    if (uiVersion < NiStreamVersion(10, 0, 1, 8))
        kFile.erase(kFile.begin() + static_cast<std::ptrdiff_t>(uiVersionAt + 4), kFile.begin() + static_cast<std::ptrdiff_t>(uiVersionAt + 8));
    return kFile;
}
} // namespace

TEST_F(NiPixelDataTest, OldRecordsLoad)
{
    NiPixelDataPtr spImage = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 0);
    for (std::uint32_t i = 0; i < spImage->GetTotalSizeInBytes(); ++i)
        spImage->GetPixels()[i] = static_cast<std::uint8_t>(200 - i);
    const Bytes kCurrent = Save(spImage);
    const std::uint32_t uiFiveBit = 0 | (8u << 5) | (16u << 10) | (24u << 15);

    // 10.0.1.0: the flag rides in the kind; shifts in 5-bit fields.
    NiObjectPtr spLoaded = Load(MakeOld(kCurrent, NiStreamVersion(10, 0, 1, 0), 0x10001, false, uiFiveBit));
    ASSERT_TRUE(spLoaded);
    NiPixelData* pkLoaded = NiDynamicCast<NiPixelData>(spLoaded.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(spImage));
    EXPECT_EQ(pkLoaded->GetPixelFormat().GetKind(), NiPixelFormat::RGBA);
    EXPECT_EQ(pkLoaded->GetPixelFormat().GetFlags(), 1u);
    EXPECT_EQ(pkLoaded->GetPixelFormat().GetShiftWord(), 0x18100800u);

    // Before 10.0.1.11: no flag word at all.
    spLoaded = Load(MakeOld(kCurrent, NiStreamVersion(10, 0, 1, 8), 1, false, uiFiveBit));
    ASSERT_TRUE(spLoaded);
    EXPECT_TRUE(spLoaded->IsEqual(spImage));
    EXPECT_EQ(static_cast<NiPixelData*>(spLoaded.Get())->GetPixelFormat().GetFlags(), 0u);

    // 10.1.0.0: a flag word, still 5-bit shift fields.
    spLoaded = Load(MakeOld(kCurrent, NiStreamVersion(10, 1, 0, 0), 1, true, uiFiveBit));
    ASSERT_TRUE(spLoaded);
    EXPECT_TRUE(spLoaded->IsEqual(spImage));
}
