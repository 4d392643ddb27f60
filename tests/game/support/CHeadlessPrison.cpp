#include "tests/game/support/CHeadlessPrison.h"

#include "engine/core/NiRandom.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CWorld.h"

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
