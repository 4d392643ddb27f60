#pragma once

// Test-side writers: small image files built byte by byte (ImageFileBytes.h),
// so every reader branch can be fed a file whose expected pixels follow from
// its bytes, and the checks the reader tests share.

#include "engine/core/NiMemoryStream.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageReader.h"
#include "tests/support/HeapCounter.h"
#include "tests/engine/render/image/ImageFileBytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

// Reads the file with the reader through a memory stream.
inline NiPixelDataPtr ReadWith(NiImageReader& kReader, const Bytes& kFile, NiPixelData* pkReuse = nullptr)
{
    NiMemoryStream kStream(kFile.data(), static_cast<std::uint32_t>(kFile.size()));
    return kReader.ReadFile(kStream, pkReuse);
}

inline Bytes PixelBytes(const NiPixelData& kImage, std::uint32_t uiLevel = 0)
{
    const std::uint8_t* p = kImage.GetPixels(uiLevel);
    return Bytes(p, p + kImage.GetSizeInBytes(uiLevel));
}

// Every proper prefix of the file must be refused cleanly.
inline void ExpectEveryTruncationFails(NiImageReader& kReader, const Bytes& kFile)
{
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        Bytes kCut(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n));
        NiMemoryStream kStream(kCut.data(), static_cast<std::uint32_t>(kCut.size()));
        if (kReader.ReadFile(kStream, nullptr) != nullptr)
        {
            ADD_FAILURE() << "a file cut to " << n << " of " << kFile.size() << " bytes was read";
            return;
        }
    }
}

// The biggest side whose image a header can promise and the tests still
// notice: 8192 x 8192 is 192 MiB as RGB24.
constexpr std::uint16_t PROMISED_SIDE = 8192;

// A file holding less than its header promises is refused before the image
// is allocated: the refusal costs less than 1 MiB of heap.
inline void ExpectRefusedBeforeAllocating(NiImageReader& kReader, const Bytes& kFile)
{
    heap_test::HeapCounter kHeap;
    const bool bRead = ReadWith(kReader, kFile) != nullptr;
    EXPECT_FALSE(bRead);
    EXPECT_LT(kHeap.GetBytes(), heap_test::ONE_MIB) << "largest request: " << kHeap.GetLargest() << " bytes";
}

// A seeded mutation loop: random bytes changed, inserted or cut. Any result
// is acceptable except a crash or a sanitizer report; an image that comes
// back must be internally whole.
inline void MutateAndRead(NiImageReader& kReader, const std::vector<Bytes>& kSeeds, std::uint32_t uiCases,
                          std::uint32_t uiSeed)
{
    std::mt19937 kRandom(uiSeed);
    for (std::uint32_t i = 0; i < uiCases; ++i)
    {
        Bytes kFile = kSeeds[i % kSeeds.size()];
        const std::uint32_t uiEdits = 1 + kRandom() % 4;
        for (std::uint32_t e = 0; e < uiEdits && !kFile.empty(); ++e)
        {
            const std::size_t uiAt = kRandom() % kFile.size();
            switch (kRandom() % 4)
            {
            case 0: kFile[uiAt] = static_cast<std::uint8_t>(kRandom()); break;
            case 1: kFile[uiAt] ^= static_cast<std::uint8_t>(1u << (kRandom() % 8)); break;
            case 2: kFile.resize(uiAt); break;
            default: kFile[uiAt] = (kRandom() & 1) ? 0xFF : 0x00; break;
            }
        }
        NiPixelDataPtr spImage = ReadWith(kReader, kFile);
        if (spImage)
        {
            ASSERT_NE(spImage->GetPixels(), nullptr);
            ASSERT_GT(spImage->GetTotalSizeInBytes(), 0u);
        }
    }
}
