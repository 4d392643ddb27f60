// Software skinning of 20,000 vertices on 32 bones with four weights each,
// positions and normals at a 32-byte stride and positions alone packed,
// against a plain loop over the same vertices with four weights per vertex
// that also normalises the normals (the measure), and for information
// against transforming the same vertices by one matrix.

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
    // The plain loop's own data: four bones and weights per vertex.
    struct FourWeights
    {
        std::uint16_t m_ausBone[4];
        float m_afWeight[4];
    };
    std::vector<FourWeights> m_kFour;
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
        Scene::FourWeights kFour{};
        for (int w = 0; w < 4; ++w)
        {
            kWeights[(i + auiOffset[w]) % BONES].push_back({static_cast<std::uint16_t>(i), afWeight[w]});
            kFour.m_ausBone[w] = static_cast<std::uint16_t>((i + auiOffset[w]) % BONES);
            kFour.m_afWeight[w] = afWeight[w];
        }
        k.m_kFour.push_back(kFour);
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

void SkinPositionsNormals(Scene& k);

void BM_SkinPositionsNormals(benchmark::State& kState)
{
    for (auto _ : kState)
        SkinPositionsNormals(*s_pkScene);
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

// The same skinning written plainly: bone transforms once a frame into plain
// float arrays, then per vertex four weighted transforms written out inline
// and a normal normalised with a square root.
struct PlainBone
{
    float m_afS[3][3];
    float m_afR[3][3];
    float m_afT[3];
};

void PlainFourWeights(Scene& k, std::vector<PlainBone>& kBones)
{
    NiXform kRootWorldInverse = k.m_spRoot->GetWorldTransform().Invert();
    NiXform kW = k.m_spSkin->GetSkinData()->GetRootParentToSkin().Multiply(kRootWorldInverse);
    const NiSkinData::BoneData* pkBoneData = k.m_spSkin->GetSkinData()->GetBoneData();
    for (std::uint32_t b = 0; b < BONES; ++b)
    {
        NiXform kB = kW.Multiply(k.m_kBones[b]->GetWorldTransform()).Multiply(pkBoneData[b].m_kSkinToBone);
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
            {
                kBones[b].m_afR[r][c] = kB.m_kRotate.GetEntry(r, c);
                kBones[b].m_afS[r][c] = kB.m_kRotate.GetEntry(r, c) * kB.m_fScale;
            }
        }
        kBones[b].m_afT[0] = kB.m_kTranslate.x;
        kBones[b].m_afT[1] = kB.m_kTranslate.y;
        kBones[b].m_afT[2] = kB.m_kTranslate.z;
    }
    unsigned char* puc = k.m_kWide.data();
    for (std::uint32_t i = 0; i < VERTICES; ++i)
    {
        const Scene::FourWeights& kFour = k.m_kFour[i];
        const NiVec3& v = k.m_kPositions[i];
        const NiVec3& n = k.m_kNormals[i];
        float afPos[3] = {0.0f, 0.0f, 0.0f};
        float afNormal[3] = {0.0f, 0.0f, 0.0f};
        for (int w = 0; w < 4; ++w)
        {
            const PlainBone& kB = kBones[kFour.m_ausBone[w]];
            const float fWeight = kFour.m_afWeight[w];
            for (int r = 0; r < 3; ++r)
            {
                afPos[r] +=
                    (kB.m_afS[r][0] * v.x + kB.m_afS[r][1] * v.y + kB.m_afS[r][2] * v.z + kB.m_afT[r]) * fWeight;
                afNormal[r] += (kB.m_afR[r][0] * n.x + kB.m_afR[r][1] * n.y + kB.m_afR[r][2] * n.z) * fWeight;
            }
        }
        float fSquared = afNormal[0] * afNormal[0] + afNormal[1] * afNormal[1] + afNormal[2] * afNormal[2];
        float fScale = fSquared > 0.0f ? 1.0f / std::sqrt(fSquared) : 0.0f;
        At(puc, i, 0) = NiVec3(afPos[0], afPos[1], afPos[2]);
        At(puc, i, 12) = NiVec3(afNormal[0] * fScale, afNormal[1] * fScale, afNormal[2] * fScale);
    }
    benchmark::DoNotOptimize(puc);
    benchmark::ClobberMemory();
}

void SkinPositionsNormals(Scene& k)
{
    k.m_spSkin->NiDeformSkinnedVertices(k.m_kPositions.data(), k.m_kNormals.data(), VERTICES, k.m_kWide.data(),
                                        k.m_kWide.data() + 12, nullptr, nullptr, WIDE_STRIDE);
    benchmark::DoNotOptimize(k.m_kWide.data());
    benchmark::ClobberMemory();
}

void BM_PlainFourWeights(benchmark::State& kState)
{
    std::vector<PlainBone> kBones(BONES);
    for (auto _ : kState)
        PlainFourWeights(*s_pkScene, kBones);
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
BENCHMARK(BM_PlainFourWeights)->Unit(benchmark::kMicrosecond);
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
                std::printf("for information: skinning / one-matrix transform, %s = %.2f\n", pcWhat,
                            kReporter.m_kTimes[pcSkin] / kReporter.m_kTimes[pcPlain]);
        };
        std::printf("%u vertices, %u bones, 4 weights per vertex\n", VERTICES, BONES);
        std::vector<PlainBone> kBones(BONES);
        PrintPairRatio("skinning positions+normals / plain four-weight normalising loop",
                       MeasurePairs(21, 0.02, [&] { SkinPositionsNormals(kScene); },
                                    [&] { PlainFourWeights(kScene, kBones); }),
                       1.5);
        Ratio("BM_SkinPositionsNormals", "BM_PlainPositionsNormals", "positions and normals at stride 32");
        Ratio("BM_SkinPositions", "BM_PlainPositions", "positions at stride 12");
        benchmark::Shutdown();
        s_pkScene = nullptr;
    }
    NiMainLibrary::Shutdown();
    return 0;
}
