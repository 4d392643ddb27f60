#include "bench/game/BenchPrison.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/support/CHeadlessPrison.h"

#include <vector>

namespace
{
using Placed = CHeadlessPrison::Placed;

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
    if (!pkYard || !pkLedger)
        return false;
    // Money for everything and the highest prison level.
    pkLedger->m_iStartingFunds = 1000000;
    pkLedger->UpdateTotals();
    const auto Build = [&kGame, pkLedger](const Placed& kWhat, const CBlockGrid& kFloor,
                                          std::int32_t iFrom) -> CBaseObject* {
        pkLedger->m_usPrisonLevel = 3;
        return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom, true);
    };
    const std::int32_t iColumns = pkYard->GetColumns();
    std::vector<CWorldObject*> kBuilt;
    for (const CHeadlessPrison::Building& kBuilding : CHeadlessPrison::PlayPrison())
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(
            Build({"WorldObjectFactory", kBuilding.m_pcTemplate}, *pkYard, kBuilding.m_iRow * iColumns + kBuilding.m_iColumn));
        if (!pkBuilding)
            return false;
        kBuilt.push_back(pkBuilding);
    }
    if (!Build({"BaseObjectFactory", "fence"}, *pkYard,
               CHeadlessPrison::FENCE_ROW * iColumns + CHeadlessPrison::FENCE_COLUMN))
        return false;
    for (std::size_t b = 0; b < kBuilt.size(); ++b)
        iNotFitting += CHeadlessPrison::Furnish(kGame, *kBuilt[b], CHeadlessPrison::PlayPrison()[b].m_kInside, Build);
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
