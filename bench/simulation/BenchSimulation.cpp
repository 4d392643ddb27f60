// The prison's simulation step: 900 prisoners and 100 staff (25 of each
// kind), made through their factories, live on a 128 x 128 outside grid
// with 40 cells and 60 usable objects of the demo prison, every controller
// running. One registry update at a scaled 1/60 s; goal: under 1.7 ms for
// the 1,000 characters. The same number of do-nothing AI characters walking
// planned paths on the same grid is the baseline, measured in the same run.
//
// Then game days per second: the game itself, headless (no window, renderer
// or mouse), in level 0 of the demo data with a built prison, 200 prisoners
// and 50 staff made through their factories, run in frames of 0.05 s at
// speed 12: ten game days after a warm-up day. Goal: 3 game days a second.
// The day is the characters' own work (planning, walking their splines,
// their animations' controllers) once the scene's world data of people
// nothing draws waits for a reader. Profiled (instructions of one timed
// day): 4.70 G when every pass worked out every person's transforms and
// bounds, 3.22 G of them the world's scene update (1.16 days a second);
// 1.90 G with that data on demand, the people's pass (controllers and
// stale marks) 0.45 G of them. 1.51 G (of 1.91 G measured the same way)
// once a path point takes only the four basis values of its knot span,
// from terms the path sets up with its points; the people's pass knows who
// has controllers without walking every object's properties; a cell lookup
// rounds no origin; and a still person's bones are passed over where their
// blends have nothing to ask. Then the largest parts are the people's pass
// loop with its stale marks (0.14 G), the world transforms that position
// reads work out (0.14 G), the path points (0.13 G) and the bones'
// controllers (0.07 G).
// Few instructions, many stalls: sampled by time (2.2 days a second), the
// bones' controllers took 14 %, the stale marks 9 % and the calls into the
// models' controllers 8 %, each at its first read of an object, most of it
// address translation over a heap of small blocks. With the heap gathered
// onto large pages each night, 2.9-3.1; with an unseen person's controller
// list taken off its model (the bones' controller answers no switch and
// visited every bone), 4.0-4.3.

#include "bench/BenchSupport.h"
#include "bench/game/BenchGame.h"
#include "bench/game/BenchPrison.h"
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiRandom.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "framework/COrvaneAICharacter.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneSplineBase.h"
#include "framework/COrvaneTagTree.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/ai/CAIControllerManager.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CCharacterFactories.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CPathableObject.h"
#include "platform/os/OsSystem.h"
#include "tools/COrvaneDemoPrison.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <memory>
#include <vector>

namespace
{
constexpr int SIZE = 128;
constexpr int PRISONERS = 900;
constexpr int STAFF_PER_KIND = 25;
constexpr int CHARACTERS = PRISONERS + 4 * STAFF_PER_KIND;
constexpr int CELLS = 40;
constexpr int USABLES = 60;
constexpr float FRAME = 1.0f / 60.0f;
constexpr float WARM_UP_SECONDS = 60.0f;

// The game as the simulation sees it, without a window: a clock standing at
// 09:00 of the first day, no messages or sound.
class BenchHost : public CGameHost
{
public:
    BenchHost() { CGameHost::Set(this); }
    ~BenchHost() override { CGameHost::Set(nullptr); }

    CClockState GetClock() const override { return m_kClock; }
    float GetGameSpeed() const override { return 1.0f; }
    void SetGameSpeed(float) override {}
    float GetSavedSpeed() const override { return 1.0f; }
    void SetSavedSpeed(float) override {}
    void PostMessage(int) override {}
    void PostNumberedMessage(int, int) override {}
    bool IsMessageShowing() const override { return false; }
    void PlaySample(int, int, bool) override {}
    void StopSample(int) override {}
    std::uint32_t GetLevelNumber() const override { return 0; }
    CWorld* GetWorld() const override { return nullptr; }
    CSpawnManager* GetSpawnManager() const override { return m_pkSpawn; }
    CWorldObject* GetSelectedBuilding() const override { return nullptr; }
    void SetSelectedBuilding(CWorldObject*) override {}
    std::uint16_t TakePersonNumber() override { return m_usPersons++; }
    std::uint16_t GetPersonCounter() const override { return m_usPersons; }
    void SetPersonCounter(std::uint16_t usCounter) override { m_usPersons = usCounter; }
    std::uint16_t GetSaveVersion() const override { return 0; }
    COrvaneCamera* GetCamera() const override { return nullptr; }
    COrvaneAIControllerManager* GetControllerManager() const override { return m_pkControllers; }
    void ObjectDestroyed(COrvaneObject*) override {}

    CClockState m_kClock;
    CSpawnManager* m_pkSpawn = nullptr;
    COrvaneAIControllerManager* m_pkControllers = nullptr;
    std::uint16_t m_usPersons = 0;
};

// The baseline: characters_bench's do-nothing character, walking its plan
// and the plan back for as long as the run lasts.
class IdleController : public COrvaneAICharacterController
{
public:
    IdleController() { SetName("Idle"); }
    int HandleEvent(std::int32_t, std::uint8_t) override { return 0; }
    void ReleaseBlock(COrvaneAIStateBlock*) override {}
};

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
    bool LoadReference(COrvaneFile&, COrvaneAICharacterState&, int) const override { return true; }
    bool LoadNullReference(COrvaneFile&, COrvaneAICharacterState&, int) const override { return true; }
    int SetControllerByName(const char*, int, int) override { return 0; }
    COrvaneAICharacterController* FindControllerByName(const char*) const override { return nullptr; }
    bool BeUsedByCharacter(COrvaneAICharacter*) override { return false; }
    bool ReleasePartner(COrvaneAICharacter*) override { return true; }
    void OnPartnerTask() override {}
    bool ChooseWanderTarget() override { return false; }
    bool AnswersTrue() const override { return true; }

    std::unique_ptr<COrvaneSplineBase> m_pkPlan;
};

// The prison in a temporary folder, the current folder while it lives.
class Prison
{
public:
    bool Start()
    {
        NiSceneLibraryRegister();
        NiSceneGraphRegister();
        NiRenderLibraryRegister();
        NiMainLibrary::Init();
        NiAnimationLibrary::Init();
        std::string kTemplate = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
        if (!mkdtemp(kTemplate.data()))
            return false;
        m_kFolder = kTemplate;
        std::filesystem::current_path(m_kFolder);
        std::ofstream("data.xml", std::ios::binary) << "<TEMPLATES>\r\n</TEMPLATES>\r\n";
        COrvaneTagTree kDocument;
        if (!AddDemoPrison("data.xml") || !WriteDemoPrisonModels(".") || !kDocument.Load("data.xml"))
            return false;
        m_kSpawn.LoadRosters(kDocument);
        m_kHost.m_pkSpawn = &m_kSpawn;
        m_kHost.m_kClock.m_usYear = 2005;
        m_kHost.m_kClock.m_fMinutes = m_kHost.m_kClock.m_fPreviousMinutes = 9.0f * 60.0f;
        m_kControllers.RegisterControllers();
        m_kHost.m_pkControllers = &m_kControllers;
        RegisterCharacterKinds();
        m_pkManager = CDynamicObjectManager::GetInstance();
        m_pkManager->LoadPrisonTemplates(kDocument);

        CGridDesc kDesc;
        kDesc.m_aiNumbers[0] = 1;
        kDesc.m_aiNumbers[1] = SIZE;
        kDesc.m_aiNumbers[2] = SIZE;
        kDesc.m_aiNumbers[3] = 0;
        kDesc.m_aiNumbers[4] = 2;
        kDesc.m_ucOwnStack = 1;
        m_pkGrid = CBlockGridManager::GetInstance()->CreateGrid(kDesc);
        if (!m_pkGrid)
            return false;
        NiSeedRandom(7);
        // Objects stand in a loose lattice, characters anywhere free.
        const char* const apcUsable[][2] = {
            {"FoodObjectFactory", "dining_table"}, {"FoodObjectFactory", "bench"},
            {"WorkObjectFactory", "work_bench"},   {"HospitalObjectFactory", "sick_bed"},
            {"PathableObjectFactory", "bench"},
        };
        int iSpot = 0;
        auto NextSpot = [&iSpot] {
            const int iRow = 6 + (iSpot / 10) * 12;
            const int iColumn = 6 + (iSpot % 10) * 12;
            ++iSpot;
            return iRow * SIZE + iColumn;
        };
        std::vector<CBaseObject*> kCells;
        for (int i = 0; i < CELLS; ++i)
            if (CBaseObject* pkCell = Stand("CellFactory", "cell_single", NextSpot()))
                kCells.push_back(pkCell);
        for (int i = 0; i < USABLES; ++i)
            Stand(apcUsable[i % 5][0], apcUsable[i % 5][1], NextSpot());
        for (int i = 0; i < PRISONERS; ++i)
        {
            CGameCharacter* pkPrisoner = Person("PrisonerFactory", i % 2 ? "thug" : "old_lag");
            if (!pkPrisoner)
                return false;
            if (static_cast<std::size_t>(i) < kCells.size() * 2)
                pkPrisoner->SetHome(kCells[static_cast<std::size_t>(i) / 2]);
        }
        const char* const apcStaff[][2] = {
            {"SecurityGuardFactory", "guard2"}, {"MedicalFactory", "doctor"},
            {"SupportStaffFactory", "counsellor"}, {"MaintenanceStaffFactory", "maint_worker"},
        };
        for (const auto& apcKind : apcStaff)
            for (int i = 0; i < STAFF_PER_KIND; ++i)
                if (!Person(apcKind[0], apcKind[1]))
                    return false;
        return true;
    }

    ~Prison()
    {
        CDynamicObjectManager::DestroyInstance();
        CBlockGridManager::DestroyInstance();
        CGameObjectFactory::ResetKindMakers();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        if (!m_kFolder.empty())
            std::filesystem::remove_all(m_kFolder, kError);
    }

    void Update() { m_pkManager->UpdateObjects(FRAME); }

    // How many characters each controller runs, as "name n" pairs.
    [[nodiscard]] std::string ControllerCounts() const
    {
        std::map<std::string, int> kCounts;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
            if (auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkObject))
            {
                const COrvaneAICharacterController* pkActive = pkCharacter->GetActiveController();
                ++kCounts[pkActive && pkActive->GetName() ? pkActive->GetName() : "none"];
            }
        std::string kText;
        for (const auto& [kName, iCount] : kCounts)
            kText += (kText.empty() ? "" : ", ") + kName + " " + std::to_string(iCount);
        return kText;
    }

    [[nodiscard]] CBlockGrid& GetGrid() const { return *m_pkGrid; }

private:
    CBaseObject* Stand(const char* pcFactory, const char* pcTemplate, std::int32_t iCell)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        auto* pkObject = dynamic_cast<CPathableObject*>(
            m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc));
        NiVec3 kAt;
        if (!pkObject || !m_pkGrid->CellPosition(iCell, kAt, true))
            return nullptr;
        pkObject->SetPosition(kAt, 0);
        pkObject->PlaceAt(kAt, m_pkGrid);
        pkObject->Update(0.0f);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
        pkObject->Place();
        return pkObject;
    }

    CGameCharacter* Person(const char* pcFactory, const char* pcTemplate)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        kDesc.m_pkGrid = m_pkGrid;
        auto* pkPerson =
            dynamic_cast<CGameCharacter*>(m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc));
        if (!pkPerson)
            return nullptr;
        pkPerson->SetGrid(m_pkGrid);
        NiVec3 kAt;
        std::int32_t iCell = 0;
        do
            iCell = NiRand() % (SIZE * SIZE);
        while (!m_pkGrid->GetBlock(iCell)->IsWalkable());
        if (m_pkGrid->CellPosition(iCell, kAt, true))
            pkPerson->SetPosition(kAt, 0);
        pkPerson->SetGrid(m_pkGrid);
        pkPerson->SetUpdateHook(true);
        return pkPerson;
    }

    std::filesystem::path m_kFolder;
    std::filesystem::path m_kPrevious = std::filesystem::current_path();
    BenchHost m_kHost;
    CSpawnManager m_kSpawn;
    CAIControllerManager m_kControllers;
    CDynamicObjectManager* m_pkManager = nullptr;
    CBlockGrid* m_pkGrid = nullptr;
};

struct Walkers
{
    IdleController kController;
    std::vector<std::unique_ptr<Walker>> kWalkers;
};

std::unique_ptr<Walkers> MakeWalkers(CBlockGrid& kGrid)
{
    auto pkWalkers = std::make_unique<Walkers>();
    NiSeedRandom(11);
    while (static_cast<int>(pkWalkers->kWalkers.size()) < CHARACTERS)
    {
        auto pkWalker = std::make_unique<Walker>();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkGrid = &kGrid;
        kDesc.m_ucMode = 2;
        pkWalker->Load(kDesc);
        const std::int32_t iFrom = NiRand() % (SIZE * SIZE), iTo = NiRand() % (SIZE * SIZE);
        NiVec3 kAt;
        if (!kGrid.CellPosition(iFrom, kAt, true))
            continue;
        pkWalker->SetPosition(kAt, 0);
        pkWalker->COrvaneCharacter::Update(0.0f);
        if (!pkWalker->PathStep(iFrom, iTo, 0, 0) || pkWalker->GetPathState() != COrvaneCharacter::PATH_READY ||
            !pkWalker->GetSpline())
            continue;
        pkWalker->m_pkPlan = pkWalker->GetSpline()->Clone();
        pkWalker->QueuePath(pkWalker->m_pkPlan.get(), true, true);
        pkWalker->SetWalkMode(COrvaneCharacter::WALK_FOLLOWING);
        pkWalker->SwitchController(&pkWalkers->kController);
        pkWalkers->kWalkers.push_back(std::move(pkWalker));
    }
    return pkWalkers;
}

void UpdateWalkers(Walkers& kWalkers)
{
    for (std::unique_ptr<Walker>& pkWalker : kWalkers.kWalkers)
        pkWalker->Update(FRAME);
}

Prison* s_pkPrison = nullptr;

constexpr float DAY_FRAME = 0.05f;
constexpr float DAY_SPEED = 12.0f;
constexpr int DAY_PRISONERS = 200;
constexpr int DAY_STAFF = 50;
constexpr int DAYS = 10;
constexpr double DAYS_GOAL = 3.0;
// Frames a game day may take at most (06:00 to 22:00 and the fades are
// about 1,620) before the run counts as stuck.
constexpr int MAX_FRAMES_PER_DAY = 4000;

struct GameDays
{
    bool m_bDone = false;
    double m_dSeconds = 0.0;
    // The running thread's processor time over the same days: on a shared,
    // loaded machine the wall clock also counts the waits for a core.
    double m_dCpuSeconds = 0.0;
    int m_iDays = 0;
    long m_lFrames = 0;
    int m_iPrisoners = 0;
    int m_iStaff = 0;
    int m_iPrisonersAtEnd = 0;
    int m_iStaffAtEnd = 0;
    int m_iNotFitting = 0;
};

double ThreadCpuSeconds()
{
    timespec kNow{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &kNow) != 0)
        return 0.0;
    return static_cast<double>(kNow.tv_sec) + static_cast<double>(kNow.tv_nsec) * 1e-9;
}

template <typename T> int CountOf()
{
    int iCount = 0;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (dynamic_cast<T*>(pkObject) != nullptr)
            ++iCount;
    return iCount;
}

// Frames until the next morning has come; false when it did not come.
bool RunToMorning(CGame& kGame, long& lFrames)
{
    const std::uint16_t usDay = kGame.GetGameClock().m_usDay;
    const std::int16_t sYear = kGame.GetGameClock().m_sYearOffset;
    for (int i = 0; i < MAX_FRAMES_PER_DAY; ++i)
    {
        kGame.StepSimulation(DAY_FRAME);
        ++lFrames;
        if (kGame.GetGameClock().m_usDay != usDay || kGame.GetGameClock().m_sYearOffset != sYear)
        {
            // The morning's desk top is left as the player leaves it: the
            // parole list emptied, the saved speed back.
            if (CSpawnManager* pkSpawn = kGame.GetSpawnManager())
                pkSpawn->ClearParoleCandidates();
            if (CInterface* pkInterface = CInterface::Get())
                pkInterface->ShowDeskTop(false);
            kGame.SetGameSpeed(kGame.GetSavedSpeed());
            return true;
        }
    }
    return false;
}

GameDays MeasureGameDays(int iWarmUpDays, int iDays)
{
    GameDays kResult;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!os::Startup())
        return kResult;
    NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    NiAnimationLibrary::Init();
    {
        DemoFolder kFolder;
        if (!kFolder.Create(ORVANE_DEMO_DATA))
            return kResult;
        COrvaneApplication::LoadSettings();
        {
            CGame kGame;
            if (!EnterHeadlessLevel(kGame, 2005) || !BuildPrison(kGame, kResult.m_iNotFitting))
            {
                std::fprintf(stderr, "simulation: the demo prison could not be built in level 0\n");
                return kResult;
            }
            kGame.SetGameSpeed(DAY_SPEED);
            kGame.SetSavedSpeed(DAY_SPEED);
            // The prison has fourteen beds: those left waiting escape each
            // morning. Every day starts with the full numbers again, made
            // outside the timing.
            const auto TopUp = [&kGame] {
                (void)AdmitPrisoners(kGame, DAY_PRISONERS - CountOf<CAIPrisoner>());
                (void)HireStaff(kGame, DAY_STAFF);
            };
            long lWarmUp = 0;
            bool bRunning = true;
            for (int i = 0; bRunning && i < iWarmUpDays; ++i)
            {
                TopUp();
                bRunning = RunToMorning(kGame, lWarmUp);
            }
            for (; bRunning && kResult.m_iDays < iDays; ++kResult.m_iDays)
            {
                TopUp();
                if (kResult.m_iDays == 0)
                {
                    kResult.m_iPrisoners = CountOf<CAIPrisoner>();
                    kResult.m_iStaff = CountOf<CAIStaff>();
                }
                const auto kStart = std::chrono::steady_clock::now();
                const double dCpuStart = ThreadCpuSeconds();
                bRunning = RunToMorning(kGame, kResult.m_lFrames);
                kResult.m_dCpuSeconds += ThreadCpuSeconds() - dCpuStart;
                kResult.m_dSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
            }
            kResult.m_bDone = bRunning;
            kResult.m_iPrisonersAtEnd = CountOf<CAIPrisoner>();
            kResult.m_iStaffAtEnd = CountOf<CAIStaff>();
            kGame.Shutdown();
        }
        CBuildPlacement::Destroy();
        CBuildPlacement::SetPanelTest(nullptr);
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
    }
    NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
    os::Shutdown();
    return kResult;
}

void BM_SimulationUpdate(benchmark::State& kState)
{
    for (auto _ : kState)
        s_pkPrison->Update();
    kState.counters["us/character"] = benchmark::Counter(
        static_cast<double>(kState.iterations()) * CHARACTERS, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SimulationUpdate)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    const bool bSmoke = IsSmokeRun(argc, argv);
    const bool bGameDays = IsWanted(argc, argv, "game_days");
    // The game days first: they need the engine and the registry as a fresh
    // process has them.
    if (bGameDays)
    {
        const GameDays kDays = MeasureGameDays(bSmoke ? 0 : 1, bSmoke ? 1 : DAYS);
        if (!kDays.m_bDone || kDays.m_dSeconds <= 0.0)
        {
            std::fprintf(stderr, "simulation: the game days did not run through (%d of them)\n", kDays.m_iDays);
            return 1;
        }
        // The figure is the game thread's processor time: what the days take
        // on a core of their own. On a shared machine the wall clock also
        // counts the waits for a core, and read from one run to the next
        // as differently as the load.
        const double dSeconds = kDays.m_dCpuSeconds > 0.0 ? kDays.m_dCpuSeconds : kDays.m_dSeconds;
        std::printf("game days per second = %.2f (goal >= %.0f)\n", kDays.m_iDays / dSeconds, DAYS_GOAL);
        std::printf("  %d days, %ld frames (%.3f ms a frame); %d prisoners and %d staff each morning, %d and %d after "
                    "the last\n",
                    kDays.m_iDays, kDays.m_lFrames, dSeconds * 1000.0 / static_cast<double>(kDays.m_lFrames),
                    kDays.m_iPrisoners, kDays.m_iStaff, kDays.m_iPrisonersAtEnd, kDays.m_iStaffAtEnd);
        std::printf("  by the wall clock: %.2f game days per second\n", kDays.m_iDays / kDays.m_dSeconds);
        std::printf("  inside items no building took: %d\n", kDays.m_iNotFitting);
    }
    // The 1,000-character update runs unless a filter names only the days.
    if (IsWanted(argc, argv, "BM_SimulationUpdate"))
    {
        auto pkPrison = std::make_unique<Prison>();
        if (!pkPrison->Start())
        {
            std::fprintf(stderr, "simulation_bench: cannot make the demo prison\n");
            return 1;
        }
        s_pkPrison = pkPrison.get();
        for (float fTime = 0.0f; fTime < WARM_UP_SECONDS; fTime += FRAME)
            pkPrison->Update();

        std::printf("simulation: controllers after the warm-up: %s\n", pkPrison->ControllerCounts().c_str());
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();

        // By the thread's processor time, as the days above.
        constexpr int UPDATES = 600;
        const double dCpuStart = ThreadCpuSeconds();
        for (int i = 0; i < UPDATES; ++i)
            pkPrison->Update();
        const double dMs = (ThreadCpuSeconds() - dCpuStart) * 1000.0 / UPDATES;
        std::printf("simulation update: %.3f ms per UpdateObjects for %d characters (goal under 1.7 ms: %s)\n", dMs,
                    CHARACTERS, dMs < 1.7 ? "met" : "not met");
        std::printf("simulation update: %.3f us per character\n", dMs * 1000.0 / CHARACTERS);

        std::unique_ptr<Walkers> pkWalkers = MakeWalkers(pkPrison->GetGrid());
        const PairRatio kRatio = MeasurePairs(
            21, 0.02, [&] { pkPrison->Update(); }, [&] { UpdateWalkers(*pkWalkers); });
        std::printf("simulation update / bare AI update: %.2f\n", kRatio.m_dMedian);
        pkWalkers.reset();
        pkPrison.reset();
    }
    else
    {
        benchmark::Initialize(&argc, argv);
    }

    benchmark::Shutdown();
    return 0;
}
