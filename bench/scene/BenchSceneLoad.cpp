// Scene-file load against reading the same file's bytes: the load should
// cost at most three raw reads.

#include "bench/BenchSupport.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiIntegersExtraData.h"
#include "engine/scene/NiProperty.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiStringsExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "platform/os/OsFiles.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
constexpr int OBJECTS = 10000;
constexpr int PROPERTIES = 100;

class BenchObject : public NiAVObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(BenchObject)
};
NiImplementTypeInfo(BenchObject, NiAVObject)
NiImplementCreateClone(BenchObject)
void BenchObject::CopyMembers(BenchObject* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
}

class BenchProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(BenchProperty)

public:
    std::uint16_t m_uFlags = 0;
    [[nodiscard]] int GetType() const override { return MATERIAL; }
    void ReadFromStream(NiObjectStream& kStream) override
    {
        NiProperty::ReadFromStream(kStream);
        kStream.ReadLE(m_uFlags);
    }
    void WriteToStream(NiObjectStream& kStream) override
    {
        NiProperty::WriteToStream(kStream);
        kStream.WriteLE(m_uFlags);
    }
};
NiImplementTypeInfo(BenchProperty, NiProperty)
NiImplementCreateClone(BenchProperty)
void BenchProperty::CopyMembers(BenchProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
}

std::string s_kFile;
std::uint64_t s_uiFileSize = 0;

// 10,000 objects, each with nine mixed extra data and one of 100 shared
// properties: 100,100 objects in all.
void WriteScene(const std::string& kPath)
{
    std::vector<NiRefPtr<BenchProperty>> kProperties;
    for (int i = 0; i < PROPERTIES; ++i)
    {
        kProperties.emplace_back(new BenchProperty);
        kProperties.back()->m_uFlags = static_cast<std::uint16_t>(i);
    }
    NiObjectStream kStream;
    for (int i = 0; i < OBJECTS; ++i)
    {
        NiRefPtr<BenchObject> sp = new BenchObject;
        sp->SetName(("object" + std::to_string(i)).c_str());
        sp->SetTranslate(NiVec3(static_cast<float>(i), 1.0f, 2.0f));
        sp->AttachProperty(kProperties[static_cast<std::size_t>(i % PROPERTIES)]);
        sp->AddExtraData(new NiIntegerExtraData(i));
        sp->AddExtraData(new NiFloatExtraData(0.5f * static_cast<float>(i)));
        sp->AddExtraData(new NiStringExtraData("models\\cell.nif"));
        sp->AddExtraData(new NiBooleanExtraData(i % 2 == 0));
        NiRefPtr<NiVectorExtraData> spVector = new NiVectorExtraData;
        spVector->SetValue(1, 2, 3, 4);
        sp->AddExtraData(spVector);
        NiRefPtr<NiColorExtraData> spColor = new NiColorExtraData;
        spColor->SetValue(1, 0.5f, 0.25f, 1);
        sp->AddExtraData(spColor);
        const std::int32_t ai[] = {1, 2, 3, 4};
        NiRefPtr<NiIntegersExtraData> spIntegers = new NiIntegersExtraData;
        spIntegers->SetArray(4, ai);
        sp->AddExtraData(spIntegers);
        const float af[] = {1, 2, 3};
        NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
        spFloats->SetArray(3, af);
        sp->AddExtraData(spFloats);
        const char* apc[] = {"a", "bb", "ccc"};
        NiRefPtr<NiStringsExtraData> spStrings = new NiStringsExtraData;
        spStrings->SetValue(3, apc);
        sp->AddExtraData(spStrings);
        kStream.InsertTopObject(sp);
    }
    if (!kStream.SaveFile(kPath.c_str()))
        std::fprintf(stderr, "could not write %s\n", kPath.c_str());
}

void BM_RawRead(benchmark::State& kState)
{
    std::vector<char> kBytes(s_uiFileSize);
    for (auto _ : kState)
    {
        std::FILE* pkFile = os::OpenFile(s_kFile, "rb");
        std::size_t uiRead = pkFile ? std::fread(kBytes.data(), 1, kBytes.size(), pkFile) : 0;
        if (pkFile)
            std::fclose(pkFile);
        benchmark::DoNotOptimize(uiRead);
        benchmark::ClobberMemory();
    }
}

void BM_SceneLoad(benchmark::State& kState)
{
    for (auto _ : kState)
    {
        auto* pkStream = new NiObjectStream;
        bool bLoaded = pkStream->LoadFile(s_kFile.c_str());
        benchmark::DoNotOptimize(bLoaded);
        kState.PauseTiming();
        if (!bLoaded || pkStream->GetObjectCount() != OBJECTS)
            kState.SkipWithError("load failed");
        delete pkStream;
        kState.ResumeTiming();
    }
}

BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneLoad)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    NiSceneLibraryRegister();
    NiMainLibrary::Init();
    NiObjectStream::RegisterCreateFunction("BenchObject", +[]() -> NiObject* { return new BenchObject; });
    NiObjectStream::RegisterCreateFunction("BenchProperty", +[]() -> NiObject* { return new BenchProperty; });

    std::filesystem::path kFolder =
        std::filesystem::temp_directory_path() / ("orvane_scene_load_" + std::to_string(::getpid()));
    std::filesystem::create_directories(kFolder);
    s_kFile = (kFolder / "bench.nif").string();
    WriteScene(s_kFile);
    s_uiFileSize = os::GetFileSize(s_kFile);

    benchmark::Initialize(&argc, argv);
    RatioReporter kReporter;
    benchmark::RunSpecifiedBenchmarks(&kReporter);
    std::printf("scene file: %llu bytes, %d objects\n", static_cast<unsigned long long>(s_uiFileSize),
                OBJECTS * 10 + PROPERTIES);
    if (kReporter.m_kTimes.count("BM_RawRead") && kReporter.m_kTimes.count("BM_SceneLoad"))
    {
        std::printf("scene load / raw read = %.2f (goal <= 3.00)\n",
                    kReporter.m_kTimes["BM_SceneLoad"] / kReporter.m_kTimes["BM_RawRead"]);
    }
    benchmark::Shutdown();
    std::filesystem::remove_all(kFolder);
    NiMainLibrary::Shutdown();
    return 0;
}
