// Software skinning against transforming the same vertices by one matrix:
// 20,000 vertices on 32 bones with four weights each, positions and normals
// at a 32-byte stride and positions alone packed.

#include "bench/BenchSupport.h"
#include "engine/core/NiBatch.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiSkinInstance.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr std::uint32_t VERTICES = 20000;
constexpr std::uint32_t BONES = 32;
constexpr std::uint32_t WIDE_STRIDE = 32;

struct Scene
{
    NiNodePtr m_spRoot = new NiNode;
    std::vector<NiNodePtr> m_kBones;
    NiRefPtr<NiSkinInstance> m_spSkin = new NiSkinInstance;
    std::vector<NiVec3> m_kPositions;
    std::vector<NiVec3> m_kNormals;
    std::vector<unsigned char> m_kWide;
    std::vector<NiVec3> m_kPacked;
    NiXform m_kPlain;
};

Scene* s_pkScene = nullptr;

void BuildScene(Scene& k)
{
    std::vector<std::vector<NiSkinData::SkinWeight>> kWeights(BONES);
    const float afWeight[4] = {0.4f, 0.3f, 0.2f, 0.1f};
    const std::uint32_t auiOffset[4] = {0, 1, 7, 13};
    k.m_kPositions.resize(VERTICES);
    k.m_kNormals.resize(VERTICES);
    for (std::uint32_t i = 0; i < VERTICES; ++i)
    {
        float f = static_cast<float>(i);
        k.m_kPositions[i] = NiVec3(std::sin(f * 0.01f) * 5.0f, std::cos(f * 0.013f) * 5.0f, f * 0.001f);
        k.m_kNormals[i] = NiVec3(std::cos(f), std::sin(f), 0.0f);
        for (int w = 0; w < 4; ++w)
            kWeights[(i + auiOffset[w]) % BONES].push_back({static_cast<std::uint16_t>(i), afWeight[w]});
    }
    std::unique_ptr<NiSkinData::BoneData[]> spBones(new NiSkinData::BoneData[BONES]);
    for (std::uint32_t b = 0; b < BONES; ++b)
    {
        spBones[b].m_kBound = NiBoundSphere(NiVec3::ZERO, 6.0f);
        spBones[b].m_usVerts = static_cast<std::uint16_t>(kWeights[b].size());
        spBones[b].m_spWeights.reset(new NiSkinData::SkinWeight[kWeights[b].size()]);
        std::copy(kWeights[b].begin(), kWeights[b].end(), spBones[b].m_spWeights.get());
    }
    NiRefPtr<NiSkinData> spData = new NiSkinData;
    spData->SetBones(BONES, std::move(spBones));
    k.m_spSkin->SetSkinData(spData);
    k.m_spSkin->SetRootParent(k.m_spRoot);
    for (std::uint32_t b = 0; b < BONES; ++b)
    {
        NiNodePtr spBone = new NiNode;
        NiMatrix3x3 kRotate;
        kRotate.MakeZRotation(0.05f * static_cast<float>(b));
        spBone->SetRotate(kRotate);
        spBone->SetTranslate(NiVec3(0.1f * static_cast<float>(b), 0, 0));
        k.m_spRoot->AttachChild(spBone);
        k.m_spSkin->SetBone(b, spBone);
        k.m_kBones.push_back(spBone);
    }
    k.m_spRoot->Update(0.0f);
    k.m_kWide.assign(static_cast<std::size_t>(VERTICES) * WIDE_STRIDE, 0);
    k.m_kPacked.resize(VERTICES);
    k.m_kPlain = k.m_kBones[3]->GetWorldTransform();
}

NiVec3& At(unsigned char* puc, std::uint32_t i, std::uint32_t uiOffset)
{
    return *reinterpret_cast<NiVec3*>(puc + static_cast<std::size_t>(i) * WIDE_STRIDE + uiOffset);
}

void SetRate(benchmark::State& kState)
{
    kState.counters["vertices/s"] =
        benchmark::Counter(static_cast<double>(kState.iterations()) * VERTICES, benchmark::Counter::kIsRate);
}

void BM_SkinPositionsNormals(benchmark::State& kState)
{
    Scene& k = *s_pkScene;
    for (auto _ : kState)
    {
        k.m_spSkin->NiDeformSkinnedVertices(k.m_kPositions.data(), k.m_kNormals.data(), VERTICES, k.m_kWide.data(),
                                            k.m_kWide.data() + 12, nullptr, nullptr, WIDE_STRIDE);
        benchmark::DoNotOptimize(k.m_kWide.data());
        benchmark::ClobberMemory();
    }
    SetRate(kState);
}

void BM_PlainPositionsNormals(benchmark::State& kState)
{
    Scene& k = *s_pkScene;
    const NiMatrix3x3 kS = k.m_kPlain.m_kRotate.ScaleBy(k.m_kPlain.m_fScale);
    const NiMatrix3x3& kR = k.m_kPlain.m_kRotate;
    const NiVec3 kT = k.m_kPlain.m_kTranslate;
    for (auto _ : kState)
    {
        unsigned char* puc = k.m_kWide.data();
        for (std::uint32_t i = 0; i < VERTICES; ++i)
        {
            At(puc, i, 0) = kS * k.m_kPositions[i] + kT;
            At(puc, i, 12) = kR * k.m_kNormals[i];
        }
        benchmark::DoNotOptimize(puc);
        benchmark::ClobberMemory();
    }
    SetRate(kState);
}

void BM_SkinPositions(benchmark::State& kState)
{
    Scene& k = *s_pkScene;
    for (auto _ : kState)
    {
        k.m_spSkin->NiDeformSkinnedVertices(k.m_kPositions.data(), nullptr, VERTICES, k.m_kPacked.data(), nullptr,
                                            nullptr, nullptr, 12);
        benchmark::DoNotOptimize(k.m_kPacked.data());
        benchmark::ClobberMemory();
    }
    SetRate(kState);
}

void BM_PlainPositions(benchmark::State& kState)
{
    Scene& k = *s_pkScene;
    const NiMatrix3x3 kS = k.m_kPlain.m_kRotate.ScaleBy(k.m_kPlain.m_fScale);
    const NiVec3 kT = k.m_kPlain.m_kTranslate;
    for (auto _ : kState)
    {
        for (std::uint32_t i = 0; i < VERTICES; ++i)
            k.m_kPacked[i] = kS * k.m_kPositions[i] + kT;
        benchmark::DoNotOptimize(k.m_kPacked.data());
        benchmark::ClobberMemory();
    }
    SetRate(kState);
}

BENCHMARK(BM_SkinPositionsNormals)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainPositionsNormals)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkinPositions)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainPositions)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    NiSceneLibraryRegister();
    NiMainLibrary::Init();
    {
        Scene kScene;
        BuildScene(kScene);
        s_pkScene = &kScene;

        benchmark::Initialize(&argc, argv);
        RatioReporter kReporter;
        benchmark::RunSpecifiedBenchmarks(&kReporter);
        auto Ratio = [&](const char* pcSkin, const char* pcPlain, const char* pcWhat) {
            if (kReporter.m_kTimes.count(pcSkin) && kReporter.m_kTimes.count(pcPlain))
                std::printf("skinning / plain time, %s = %.2f\n", pcWhat,
                            kReporter.m_kTimes[pcSkin] / kReporter.m_kTimes[pcPlain]);
        };
        std::printf("%u vertices, %u bones, 4 weights per vertex\n", VERTICES, BONES);
        Ratio("BM_SkinPositionsNormals", "BM_PlainPositionsNormals", "positions and normals at stride 32");
        Ratio("BM_SkinPositions", "BM_PlainPositions", "positions at stride 12");
        benchmark::Shutdown();
        s_pkScene = nullptr;
    }
    NiMainLibrary::Shutdown();
    return 0;
}
