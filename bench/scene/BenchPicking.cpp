// Picking window rays into a generated scene against the plain loop that
// tests every world-space triangle with the same triangle test: the picker's
// bounding spheres should leave it many times faster.

#include "bench/BenchSupport.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPicker.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTriShape.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr int NODES = 20;
constexpr int PATCHES_PER_NODE = 20;
constexpr int QUADS_X = 5;  // a patch: 5 x 25 quads, 250 triangles
constexpr int QUADS_Y = 25;
constexpr int PATCH_COLUMNS = 40; // 40 x 10 patches over 200 x 250 units
constexpr int RAYS = 4096;
constexpr std::uint32_t WIDTH = 1024;
constexpr std::uint32_t HEIGHT = 768;

// Only its size matters: the camera maps pixels through it.
class SizeRenderer : public NiRenderer
{
public:
    void PurgeMaterialRendererData(NiMaterialProperty*) override {}
    void PurgeEffectRendererData(NiDynamicEffect*) override {}
    void SetBackgroundColor(const NiColorRGBA&) override {}
    [[nodiscard]] NiColorRGBA GetBackgroundColor() const override { return NiColorRGBA(); }
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void ClearBuffer(const NiRect<float>*, std::uint32_t) override {}
    void DisplayFrame() override {}
    [[nodiscard]] std::uint32_t GetWidth() const override { return WIDTH; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return HEIGHT; }
    [[nodiscard]] std::uint32_t GetFlags() const override { return 0; }
};

struct Triangle
{
    NiVec3 m_kV0;
    NiVec3 m_kV1;
    NiVec3 m_kV2;
};

struct Ray
{
    NiVec3 m_kOrigin;
    NiVec3 m_kDir;
};

NiNodePtr s_spScene;
std::vector<Triangle> s_kTriangles; // the same triangles in world space
std::vector<Ray> s_kRays;

NiRefPtr<NiTriShape> MakePatch(std::mt19937& kRandom, const NiVec3& kCorner)
{
    constexpr int VX = QUADS_X + 1;
    constexpr int VY = QUADS_Y + 1;
    std::uniform_real_distribution<float> kHeight(0.0f, 2.0f);
    auto* pkVertex = new NiVec3[VX * VY];
    for (int y = 0; y < VY; ++y)
    {
        for (int x = 0; x < VX; ++x)
            pkVertex[y * VX + x] = NiVec3(static_cast<float>(x), static_cast<float>(y), kHeight(kRandom));
    }
    auto* pusList = new std::uint16_t[QUADS_X * QUADS_Y * 6];
    std::uint16_t* pus = pusList;
    for (int y = 0; y < QUADS_Y; ++y)
    {
        for (int x = 0; x < QUADS_X; ++x)
        {
            const auto i = static_cast<std::uint16_t>(y * VX + x);
            const auto iRight = static_cast<std::uint16_t>(i + 1);
            const auto iUp = static_cast<std::uint16_t>(i + VX);
            const auto iUpRight = static_cast<std::uint16_t>(i + VX + 1);
            // Counter-clockwise seen from +z: front faces for rays from above.
            *pus++ = i, *pus++ = iRight, *pus++ = iUpRight;
            *pus++ = i, *pus++ = iUpRight, *pus++ = iUp;
        }
    }
    NiRefPtr<NiTriShape> sp = new NiTriShape(VX * VY, pkVertex, nullptr, nullptr, nullptr, 0, 0,
                                             QUADS_X * QUADS_Y * 2, pusList);
    sp->SetTranslate(kCorner);
    return sp;
}

void BuildScene()
{
    std::mt19937 kRandom(2026);
    s_spScene = new NiNode;
    for (int n = 0; n < NODES; ++n)
    {
        NiNodePtr spNode = new NiNode;
        s_spScene->AttachChild(spNode);
        // Each node holds a block of 2 x 10 neighbouring patches.
        for (int p = 0; p < PATCHES_PER_NODE; ++p)
        {
            const int iColumn = n * 2 + p % 2;
            const int iRow = p / 2;
            spNode->AttachChild(MakePatch(kRandom, NiVec3(static_cast<float>(iColumn * QUADS_X),
                                                          static_cast<float>(iRow * QUADS_Y), 0.0f)));
        }
    }
    s_spScene->Update(0.0f);

    for (std::uint32_t n = 0; n < s_spScene->GetArrayCount(); ++n)
    {
        auto* pkNode = static_cast<NiNode*>(s_spScene->GetAt(n));
        for (std::uint32_t p = 0; p < pkNode->GetArrayCount(); ++p)
        {
            auto* pkShape = static_cast<NiTriShape*>(pkNode->GetAt(p));
            auto* pkData = static_cast<NiTriShapeData*>(pkShape->GetModelData());
            const NiXform& kWorld = pkShape->GetWorldTransform();
            for (std::uint16_t t = 0; t < pkData->GetTriangleCount(); ++t)
            {
                std::uint16_t i0 = 0;
                std::uint16_t i1 = 0;
                std::uint16_t i2 = 0;
                (void)pkData->GetTriangleIndices(t, i0, i1, i2);
                const NiVec3* pkV = pkData->GetVertices();
                s_kTriangles.push_back(
                    {kWorld.TransformPoint(pkV[i0]), kWorld.TransformPoint(pkV[i1]), kWorld.TransformPoint(pkV[i2])});
            }
        }
    }
}

void BuildRays(NiRenderer* pkRenderer)
{
    // Looking straight down from above the middle of the field.
    NiCameraPtr spCamera = new NiCamera;
    NiMatrix3x3 kRotate;
    kRotate.SetColumns(NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0));
    spCamera->SetRotate(kRotate);
    spCamera->SetTranslate(NiVec3(100, 125, 250));
    spCamera->SetRenderer(pkRenderer);
    spCamera->Update(0.0f);

    std::mt19937 kRandom(4096);
    std::uniform_int_distribution<int> kX(0, WIDTH - 1);
    std::uniform_int_distribution<int> kY(0, HEIGHT - 1);
    while (s_kRays.size() < RAYS)
    {
        Ray kRay;
        if (spCamera->WindowPointToRay(kX(kRandom), kY(kRandom), kRay.m_kOrigin, kRay.m_kDir))
            s_kRays.push_back(kRay);
    }
    spCamera->SetRenderer(nullptr);
}

void PickRays(benchmark::State& kState, NiPicker::PickType ePick, NiPicker::SortType eSort)
{
    NiPicker kPicker;
    kPicker.SetTarget(s_spScene);
    kPicker.SetPickType(ePick);
    kPicker.SetSortType(eSort);
    std::uint64_t uiHits = 0;
    for (auto _ : kState)
    {
        for (const Ray& kRay : s_kRays)
        {
            if (kPicker.Pick(kRay.m_kOrigin, kRay.m_kDir))
                uiHits += kPicker.GetSize();
        }
    }
    benchmark::DoNotOptimize(uiHits);
    kState.SetItemsProcessed(static_cast<std::int64_t>(kState.iterations()) * RAYS);
    kState.counters["hits/ray"] = static_cast<double>(uiHits) / static_cast<double>(kState.iterations() * RAYS);
}

void BM_PickAllSorted(benchmark::State& kState)
{
    PickRays(kState, NiPicker::FIND_ALL, NiPicker::SORT);
}

void BM_PickFirstUnsorted(benchmark::State& kState)
{
    PickRays(kState, NiPicker::FIND_FIRST, NiPicker::NO_SORT);
}

// Every ray against every triangle, keeping the nearest hit.
void BM_PlainLoop(benchmark::State& kState)
{
    std::uint64_t uiHits = 0;
    for (auto _ : kState)
    {
        for (const Ray& kRay : s_kRays)
        {
            float fNearest = -1.0f;
            for (const Triangle& kTri : s_kTriangles)
            {
                float fT = 0.0f;
                float fU = 0.0f;
                float fV = 0.0f;
                if (NiPicker::IntersectTriangle(kRay.m_kOrigin, kRay.m_kDir, kTri.m_kV0, kTri.m_kV1, kTri.m_kV2, true,
                                                fT, fU, fV))
                {
                    ++uiHits;
                    if (fNearest < 0.0f || fT < fNearest)
                        fNearest = fT;
                }
            }
            benchmark::DoNotOptimize(fNearest);
        }
    }
    benchmark::DoNotOptimize(uiHits);
    kState.SetItemsProcessed(static_cast<std::int64_t>(kState.iterations()) * RAYS);
    kState.counters["hits/ray"] = static_cast<double>(uiHits) / static_cast<double>(kState.iterations() * RAYS);
}

BENCHMARK(BM_PickAllSorted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickFirstUnsorted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    NiSceneLibraryRegister();
    NiMainLibrary::Init();
    NiRefPtr<SizeRenderer> spRenderer = new SizeRenderer;
    BuildScene();
    BuildRays(spRenderer);

    benchmark::Initialize(&argc, argv);
    RatioReporter kReporter;
    benchmark::RunSpecifiedBenchmarks(&kReporter);
    std::printf("scene: %zu triangles in %d patches under %d nodes; %d rays\n", s_kTriangles.size(),
                NODES * PATCHES_PER_NODE, NODES, RAYS);
    // Times are milliseconds per iteration of all the rays.
    auto Rate = [&](const char* pcName) {
        auto it = kReporter.m_kTimes.find(pcName);
        return it != kReporter.m_kTimes.end() && it->second > 0.0 ? RAYS * 1000.0 / it->second : 0.0;
    };
    const double fPlain = Rate("BM_PlainLoop");
    for (const char* pcName : {"BM_PickAllSorted", "BM_PickFirstUnsorted", "BM_PlainLoop"})
        std::printf("%-22s %12.0f rays/s\n", pcName, Rate(pcName));
    for (const char* pcName : {"BM_PickAllSorted", "BM_PickFirstUnsorted"})
    {
        if (fPlain > 0.0)
            std::printf("%s / plain loop = %.1f\n", pcName, Rate(pcName) / fPlain);
    }
    benchmark::Shutdown();
    s_spScene = nullptr;
    spRenderer = nullptr;
    NiRenderer::ClearRenderer();
    NiMainLibrary::Shutdown();
    return 0;
}
