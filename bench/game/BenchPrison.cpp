#include "bench/game/BenchPrison.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/support/CHeadlessPrison.h"

#include <vector>

namespace
{
using Placed = CHeadlessPrison::Placed;

// The play-through's prison (its script's table, kept alike): where each
// building's search for a place starts on the 40 x 40 yard, and what goes
// inside.
struct Building
{
    const char* m_pcTemplate;
    std::int32_t m_iRow;
    std::int32_t m_iColumn;
    std::vector<const char*> m_kInside;
};
const Building BUILDINGS[] = {
    {"cellblock_small", 2, 2, {"cell_double", "cell_double", "cell_double", "cell_double"}},
    {"workshop_maint", 2, 22, {"work_bench"}},
    {"canteen_food", 20, 2, {"serving_counter", "dining_table", "bench"}},
    {"hospital_health_therapy", 20, 22, {"sick_bed", "medical_room"}},
    {"admin_staff_security", 30, 10, {"guard_room", "planning1", "clerical1"}},
};

CBlockGrid* Yard()
{
    return CBlockGridManager::GetInstance()->FindGrid(1);
}
} // namespace

bool EnterHeadlessLevel(CGame& kGame, std::uint32_t uiSeed)
{
    // The cursor is never over a panel: nothing draws them.
    CBuildPlacement::SetPanelTest([] { return false; });
    if (!CHeadlessPrison::EnterLevel(kGame, uiSeed))
        return false;
    kGame.SetMouse(nullptr);
    return kGame.GetWorld() != nullptr && Yard() != nullptr;
}

bool BuildPrison(CGame& kGame, int& iNotFitting)
{
    iNotFitting = 0;
    CBlockGrid* pkYard = Yard();
    CPrisonStatistics* pkLedger = kGame.GetStatistics();
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    if (!pkYard || !pkLedger)
        return false;
    // Money for everything and the highest prison level.
    pkLedger->m_iStartingFunds = 1000000;
    pkLedger->UpdateTotals();
    const auto Build = [&kGame, pkLedger](const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom) {
        pkLedger->m_usPrisonLevel = 3;
        return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom, true);
    };
    const std::int32_t iColumns = pkYard->GetColumns();
    std::vector<CWorldObject*> kBuilt;
    for (const Building& kBuilding : BUILDINGS)
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(
            Build({"WorldObjectFactory", kBuilding.m_pcTemplate}, *pkYard, kBuilding.m_iRow * iColumns + kBuilding.m_iColumn));
        if (!pkBuilding)
            return false;
        kBuilt.push_back(pkBuilding);
    }
    if (!Build({"BaseObjectFactory", "fence"}, *pkYard, 36 * iColumns + 2))
        return false;
    // Inside, each item on the first floor from the ground up where it
    // fits; a building without floors takes nothing.
    for (std::size_t b = 0; b < kBuilt.size(); ++b)
    {
        CWorldObject* pkBuilding = kBuilt[b];
        if (!pkBuilding->GetStack())
        {
            iNotFitting += static_cast<int>(BUILDINGS[b].m_kInside.size());
            continue;
        }
        kGame.SetSelectedBuilding(pkBuilding);
        for (const char* pcItem : BUILDINGS[b].m_kInside)
        {
            const COrvaneObjectTemplate* pkTemplate = pkManager->FindTemplate(pcItem);
            const char* pcFactory = pkTemplate ? CBuildSubPanelInternal::FactoryName(*pkTemplate) : nullptr;
            if (!pcFactory)
            {
                ++iNotFitting;
                continue;
            }
            while (pkBuilding->GoDownFloor())
            {
            }
            bool bPlaced = false;
            for (bool bFloor = true; bFloor && !bPlaced; bFloor = !bPlaced && pkBuilding->GoUpFloor(true))
            {
                const CBlockGrid* pkFloor = pkBuilding->GetStack()->GetCurrentGrid();
                bPlaced = pkFloor && Build({pcFactory, pcItem}, *pkFloor, 0);
            }
            if (!bPlaced)
                ++iNotFitting;
        }
        while (pkBuilding->GoUpFloor(false))
        {
        }
        kGame.SetSelectedBuilding(nullptr);
    }
    return true;
}

int AdmitPrisoners(CGame& kGame, int iCount)
{
    return CHeadlessPrison::Admit(kGame, iCount);
}

int HireStaff(CGame& kGame, int iTotal)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    CBlockGrid* pkYard = Yard();
    const auto Count = [pkManager] {
        int iStaff = 0;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (dynamic_cast<CAIStaff*>(pkObject) != nullptr)
                ++iStaff;
        return iStaff;
    };
    const char* const apcKinds[][2] = {
        {"SecurityGuardFactory", "guard2"},
        {"MedicalFactory", "doctor"},
        {"SupportStaffFactory", "counsellor"},
        {"MaintenanceStaffFactory", "maint_worker"},
    };
    const std::int32_t iCells = pkYard ? pkYard->GetRows() * pkYard->GetColumns() : 0;
    int iStaff = Count();
    for (int iKind = 0; pkYard && iStaff < iTotal; ++iKind)
    {
        const auto& apcKind = apcKinds[iKind % 4];
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkManager->FindTemplate(apcKind[1]);
        kDesc.m_ucMode = 1;
        kDesc.m_ucAddToWorld = 1;
        kDesc.m_pkGrid = pkYard;
        auto* pkPerson = dynamic_cast<CGameCharacter*>(
            pkManager->CreateObject(pkManager->FindFactory(apcKind[0], kGame.GetWorld()), kDesc));
        if (!pkPerson)
            break;
        std::int32_t iCell = 0;
        do
            iCell = NiRand() % iCells;
        while (!pkYard->GetBlock(iCell)->IsWalkable());
        NiVec3 kAt;
        if (pkYard->CellPosition(iCell, kAt, true))
            pkPerson->SetPosition(kAt, 0);
        pkPerson->SetGrid(pkYard);
        pkPerson->SetUpdateHook(true);
        ++iStaff;
    }
    return iStaff;
}
