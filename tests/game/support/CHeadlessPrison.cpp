#include "tests/game/support/CHeadlessPrison.h"

#include "engine/core/NiRandom.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"

const std::vector<CHeadlessPrison::Building>& CHeadlessPrison::PlayPrison()
{
    static const std::vector<Building> s_kBuildings = {
        {"cellblock_small",
         2,
         2,
         {"cell_double", "cell_double", "cell_double", "cell_double", "cell_double", "cell_double", "cell_double"}},
        {"workshop_maint", 2, 22, {"work_bench", "repair_room"}},
        {"canteen_food", 20, 2, {"serving_counter", "dining_table", "bench"}},
        {"hospital_health_therapy", 20, 22, {"sick_bed", "medical_room"}},
        {"admin_staff_security_indoor", 30, 10, {"guard_room", "planning1", "clerical1", "chapel"}},
    };
    return s_kBuildings;
}

bool CHeadlessPrison::EnterLevel(CGame& kGame, std::uint32_t uiSeed)
{
    if (!kGame.Init("Orvane Game") || !kGame.Start())
        return false;
    kGame.GetFrontEndScreens()->m_bStartNewGame = false;
    kGame.LoadLevelData();
    NiSeedRandom(uiSeed);
    return true;
}

bool CHeadlessPrison::PointAt(const CBlockGrid& kFloor, std::int32_t iCell)
{
    NiVec3 kAt;
    if (!kFloor.CellPosition(iCell, kAt, false))
        return false;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    (void)pkGrids->PickCell(kAt);
    return pkGrids->GetPickGrid() == &kFloor && pkGrids->GetPickCell() == iCell;
}

CBaseObject* CHeadlessPrison::Commit(CGame& kGame, const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom,
                                     bool bWrapAround)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    const COrvaneObjectTemplate* pkWanted = pkManager->FindTemplate(kWhat.m_pcTemplate);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    bool bPicked = false;
    for (std::size_t g = 0; pkWanted && !bPicked && g < pkManager->GetGroupCount(); ++g)
    {
        const auto usGroup = static_cast<std::uint16_t>(g);
        for (std::uint16_t i = 0; const COrvaneObjectTemplate* pkTemplate = pkManager->GetTemplate(usGroup, i); ++i)
        {
            if (pkTemplate != pkWanted)
                continue;
            bPicked = pkPlacement->BeginPlacing(usGroup, i, pkManager->FindFactory(kWhat.m_pcFactory, kGame.GetWorld()));
            break;
        }
    }
    CBaseObject* pkHeld = pkPlacement->GetObject();
    if (!bPicked || !pkHeld || !pkPlacement->CanPlace())
    {
        (void)pkPlacement->Clear();
        return nullptr;
    }
    const std::int32_t iCells = kFloor.GetRows() * kFloor.GetColumns();
    const std::int32_t iTries = bWrapAround ? iCells : iCells - iFrom;
    for (std::int32_t n = 0; n < iTries; ++n)
        if (const std::int32_t iCell = (iFrom + n) % iCells; PointAt(kFloor, iCell) && pkPlacement->FollowCursor())
            return pkPlacement->Commit() == 1 ? pkHeld : nullptr;
    (void)pkPlacement->Clear();
    return nullptr;
}

int CHeadlessPrison::Furnish(CGame& kGame, CWorldObject& kBuilding, const std::vector<const char*>& kInside,
                             const Committer& fnCommit)
{
    if (!kBuilding.GetStack())
        return static_cast<int>(kInside.size());
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    kGame.SetSelectedBuilding(&kBuilding);
    int iNotFitting = 0;
    for (const char* pcItem : kInside)
    {
        const COrvaneObjectTemplate* pkTemplate = pkManager->FindTemplate(pcItem);
        const char* pcFactory = pkTemplate ? CBuildSubPanelInternal::FactoryName(*pkTemplate) : nullptr;
        if (!pcFactory)
        {
            ++iNotFitting;
            continue;
        }
        while (kBuilding.GoDownFloor())
        {
        }
        bool bPlaced = false;
        for (bool bFloor = true; bFloor && !bPlaced; bFloor = !bPlaced && kBuilding.GoUpFloor(true))
        {
            const CBlockGrid* pkFloor = kBuilding.GetStack()->GetCurrentGrid();
            const Placed kWhat{pcFactory, pcItem};
            bPlaced = pkFloor && (fnCommit ? fnCommit(kWhat, *pkFloor, 0) : Commit(kGame, kWhat, *pkFloor, 0)) != nullptr;
        }
        if (!bPlaced)
            ++iNotFitting;
    }
    while (kBuilding.GoUpFloor(false))
    {
    }
    kGame.SetSelectedBuilding(nullptr);
    return iNotFitting;
}

int CHeadlessPrison::Admit(CGame& kGame, int iCount)
{
    CSpawnManager* pkSpawn = kGame.GetSpawnManager();
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    int iAdmitted = 0;
    for (int i = 0; pkSpawn && pkYard && i < iCount; ++i)
    {
        CAIPrisoner* pkPrisoner = pkSpawn->CreateArrivingPrisoner();
        if (!pkPrisoner)
            continue;
        pkPrisoner->SetGrid(pkYard);
        pkPrisoner->ClearPath();
        pkPrisoner->SetUpdateHook(true);
        ++iAdmitted;
        if (pkSpawn->AssignCell(pkPrisoner))
        {
            pkPrisoner->Relocate();
        }
        else
        {
            pkSpawn->AddWaitingPrisoner(pkPrisoner);
            pkPrisoner->ReturnToCell(1, (pkYard->GetRows() / 2) * pkYard->GetColumns() + pkYard->GetColumns() / 2);
        }
    }
    return iAdmitted;
}
