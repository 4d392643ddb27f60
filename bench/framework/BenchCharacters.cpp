// A crowd update: 1,000 AI characters with a do-nothing controller walk
// planned splines with queued follow-ups on a 128 x 128 floor; one update of
// 1/60 s for all of them. Goal: under 1.7 ms per update.

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacter.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneSplineBase.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{
constexpr int SIZE = 128;
constexpr int CHARACTERS = 1000;
constexpr float FRAME = 1.0f / 60.0f;

class IdleController : public COrvaneAICharacterController
{
public:
    IdleController() { SetName("Idle"); }
    int HandleEvent(std::int32_t, std::uint8_t) override { return 0; }
    void ReleaseBlock(COrvaneAIStateBlock*) override {}
};

// Walks its plan, then the plan back, for as long as the run lasts.
class Walker : public COrvaneAICharacter
{
public:
    ~Walker() override { COrvaneAICharacter::Destroy(); }
    std::int32_t GetEntityKind() const override { return 0; }
    void ExtraUpdate() override {}
    void OnPathQueueEmpty() override
    {
        if (m_pkPlan)
            QueuePath(m_pkPlan.get(), true, true);
    }
    void SuspendedUpdate() override {}
    void PreAIUpdate() override {}
    void PostAIUpdate() override {}
    void OnControllerChange(COrvaneAICharacterController*, COrvaneAICharacterController*) override {}
    int LoadReference(COrvaneFile&) override { return 1; }
    int LoadNullReference(COrvaneFile&) override { return 1; }
    int SetControllerByName(const char*, int, int) override { return 0; }

    std::unique_ptr<COrvaneSplineBase> m_pkPlan;
};

struct Crowd
{
    COrvaneBlockGrid kGrid;
    IdleController kController;
    std::vector<std::unique_ptr<Walker>> kWalkers;
};

std::unique_ptr<Crowd> MakeCrowd()
{
    auto pkCrowd = std::make_unique<Crowd>();
    pkCrowd->kGrid.Setup(SIZE, SIZE, NiVec3::ZERO, 1, 1);
    NiSeedRandom(7);
    for (int i = 0; i < SIZE * SIZE; ++i)
        if (NiRand() % 10 == 0)
            pkCrowd->kGrid.GetBlock(i)->SetState(COrvaneBlock::STATE_BLOCKING);
    while (static_cast<int>(pkCrowd->kWalkers.size()) < CHARACTERS)
    {
        auto pkWalker = std::make_unique<Walker>();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkGrid = &pkCrowd->kGrid;
        pkWalker->Load(kDesc);
        const std::int32_t iFrom = NiRand() % (SIZE * SIZE), iTo = NiRand() % (SIZE * SIZE);
        NiVec3 kAt;
        if (!pkCrowd->kGrid.CellPosition(iFrom, kAt, true))
            continue;
        pkWalker->SetPosition(kAt, 0);
        pkWalker->COrvaneCharacter::Update(0.0f);
        if (!pkWalker->PathStep(iFrom, iTo, 0, 0) || pkWalker->GetPathState() != COrvaneCharacter::PATH_READY ||
            !pkWalker->GetSpline())
            continue;
        pkWalker->m_pkPlan = pkWalker->GetSpline()->Clone();
        pkWalker->QueuePath(pkWalker->m_pkPlan.get(), true, true);
        pkWalker->SetWalkMode(COrvaneCharacter::WALK_FOLLOWING);
        pkWalker->SwitchController(&pkCrowd->kController);
        pkCrowd->kWalkers.push_back(std::move(pkWalker));
    }
    return pkCrowd;
}

void UpdateAll(Crowd& kCrowd)
{
    for (std::unique_ptr<Walker>& pkWalker : kCrowd.kWalkers)
        pkWalker->Update(FRAME);
}

void BM_CrowdUpdate(benchmark::State& kState)
{
    std::unique_ptr<Crowd> pkCrowd = MakeCrowd();
    for (auto _ : kState)
        UpdateAll(*pkCrowd);
    kState.counters["us/character"] = benchmark::Counter(
        static_cast<double>(kState.iterations()) * CHARACTERS,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CrowdUpdate)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    std::unique_ptr<Crowd> pkCrowd = MakeCrowd();
    constexpr int UPDATES = 600;
    auto kStart = std::chrono::steady_clock::now();
    for (int i = 0; i < UPDATES; ++i)
        UpdateAll(*pkCrowd);
    double dMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - kStart).count() / UPDATES;
    std::printf("Crowd update: %.3f ms per update, %.3f us per character (budget 1.7 ms)\n", dMs,
                dMs * 1000.0 / CHARACTERS);
    benchmark::Shutdown();
    return 0;
}
