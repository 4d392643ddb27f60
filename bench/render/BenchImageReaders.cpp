// Image readers served from memory through the engine's file-open hook:
// a 1024 x 1024 32-bit TGA read, and a 1024 x 1024 DXT1 DDS read and decoded
// to RGBA32. The baseline is memcpy of the decoded byte count (4 MiB); the
// run ends with each reader/memcpy ratio.

#include "bench/BenchSupport.h"
#include "engine/core/NiFile.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageFileConverter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr std::uint32_t kSide = 1024;
constexpr std::size_t kDecodedBytes = std::size_t(kSide) * kSide * 4;

std::map<std::string, std::vector<std::uint8_t>>& Files()
{
    static std::map<std::string, std::vector<std::uint8_t>> s_kFiles;
    return s_kFiles;
}

std::unique_ptr<NiByteStream> OpenFromMemory(const char* pcPath, std::uint32_t uiMode, std::uint32_t)
{
    auto it = Files().find(pcPath);
    if (uiMode != 0 || it == Files().end())
        return nullptr;
    return std::make_unique<NiMemoryStream>(it->second.data(), static_cast<std::uint32_t>(it->second.size()));
}

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void MakeFiles()
{
    std::vector<std::uint8_t> kTga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(kTga, kSide);
    Put16(kTga, kSide);
    kTga.push_back(32);
    kTga.push_back(0x20);
    for (std::size_t i = 0; i < kDecodedBytes; ++i)
        kTga.push_back(static_cast<std::uint8_t>(i * 31));
    Files()["bench.tga"] = std::move(kTga);

    std::vector<std::uint8_t> kDds;
    for (std::uint32_t v : {0x20534444u, 124u, 0x1007u, kSide, kSide, 0u, 0u, 0u})
        Put32(kDds, v);
    for (int i = 0; i < 11; ++i)
        Put32(kDds, 0);
    for (std::uint32_t v : {32u, 4u, 0x31545844u, 0u, 0u, 0u, 0u, 0u, 0x1000u, 0u, 0u, 0u, 0u})
        Put32(kDds, v);
    const std::size_t uiBlocks = std::size_t(kSide / 4) * (kSide / 4);
    for (std::size_t i = 0; i < uiBlocks; ++i)
        for (std::uint8_t b : {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, 0xB1})
            kDds.push_back(static_cast<std::uint8_t>(b ^ (i & 0x3)));
    Files()["bench.dds"] = std::move(kDds);
}

void BM_ReadTga32(benchmark::State& state)
{
    NiImageFileConverter kConverter;
    for (auto _ : state)
    {
        NiPixelDataPtr spImage = kConverter.ReadImageFile("bench.tga", nullptr);
        if (!spImage)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(spImage.Get());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedBytes));
}

void BM_ReadDecodeDxt1(benchmark::State& state)
{
    NiImageFileConverter kConverter;
    for (auto _ : state)
    {
        NiPixelDataPtr spImage = kConverter.ReadImageFile("bench.dds", nullptr);
        NiPixelDataPtr spRgba =
            spImage ? kConverter.ConvertPixelData(*spImage, NiPixelFormat::RGBA32, nullptr, false) : nullptr;
        if (!spRgba)
            state.SkipWithError("read or decode failed");
        benchmark::DoNotOptimize(spRgba.Get());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedBytes));
}

void BM_Memcpy4MiB(benchmark::State& state)
{
    std::vector<std::uint8_t> kSrc(kDecodedBytes, 7);
    for (auto _ : state)
    {
        // A fresh destination each time, as the readers allocate theirs.
        std::unique_ptr<std::uint8_t[]> spDest(new std::uint8_t[kDecodedBytes]);
        std::memcpy(spDest.get(), kSrc.data(), kDecodedBytes);
        benchmark::DoNotOptimize(spDest.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedBytes));
}

BENCHMARK(BM_ReadTga32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDecodeDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy4MiB)->Unit(benchmark::kMillisecond);

void PrintRatio(const RatioReporter& kReporter, const char* pcWhat, const char* pcReader)
{
    auto itReader = kReporter.m_kTimes.find(pcReader);
    auto itBase = kReporter.m_kTimes.find("BM_Memcpy4MiB");
    if (itReader == kReporter.m_kTimes.end() || itBase == kReporter.m_kTimes.end() || itBase->second <= 0.0)
    {
        std::printf("ratio %s reader/memcpy: not measured\n", pcWhat);
        return;
    }
    std::printf("ratio %s reader/memcpy: %.2f\n", pcWhat, itReader->second / itBase->second);
}
} // namespace

int main(int argc, char** argv)
{
    MakeFiles();
    NiSetOpenFileFunction(&OpenFromMemory);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter kReporter;
    benchmark::RunSpecifiedBenchmarks(&kReporter);
    benchmark::Shutdown();
    NiSetOpenFileFunction(nullptr);
    PrintRatio(kReporter, "1024x1024 TGA 32-bit", "BM_ReadTga32");
    PrintRatio(kReporter, "1024x1024 DXT1 DDS + decode", "BM_ReadDecodeDxt1");
    return 0;
}
