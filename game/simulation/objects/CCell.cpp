#include "game/simulation/objects/CCell.h"

#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"

#include <algorithm>

namespace
{
// The interface's message: a cell with prisoners was taken down.
constexpr int CELL_DESTROYED_MESSAGE = 17;

CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

void TakeBedsTaken(CPrisonStatistics& kLedger, std::uint16_t usCount)
{
    // Never below zero: a ledger reloaded or reset meanwhile may count fewer.
    kLedger.m_usBedsTaken = static_cast<std::uint16_t>(kLedger.m_usBedsTaken > usCount ? kLedger.m_usBedsTaken - usCount : 0);
}
} // namespace

CCell::CCell() = default;

CCell::~CCell()
{
    Shutdown();
}

void CCell::Destroy()
{
    Shutdown();
    CPathableObject::Destroy();
}

void CCell::Shutdown()
{
    CGameHost* pkHost = CGameHost::Get();
    if (!m_kPrisoners.empty() && pkHost)
        pkHost->PostMessage(CELL_DESTROYED_MESSAGE);
    CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr;
    // Taken out first: a prisoner told of its lost home may give the cell
    // up, which must then find it gone.
    std::vector<CGridCharacter*> kHoused;
    kHoused.swap(m_kPrisoners);
    for (CGridCharacter* pkPrisoner : kHoused)
    {
        if (!pkPrisoner)
            continue;
        if (pkSpawn)
            if (CAIPrisoner* pkWaiting = pkPrisoner->AsPrisoner())
                pkSpawn->m_kWaitingPrisoners.push_back(pkWaiting);
        pkPrisoner->OnPostLost(*this);
    }
    if (CPrisonStatistics* pkLedger = Ledger())
        TakeBedsTaken(*pkLedger, m_kRecord.m_usOccupancy);
    m_kRecord.m_usOccupancy = 0;
    CCell::RemoveFromStatistics();
}

bool CCell::CanBuild() const
{
    if (!CPathableObject::CanBuild())
        return false;
    const CGameHost* pkHost = CGameHost::Get();
    const CBaseObject* pkBuilding = pkHost ? pkHost->GetSelectedBuildingObject() : nullptr;
    if (!pkBuilding)
        return false;
    // The cell's own security level: once held inside the building its
    // required level is the building's, which would always pass.
    return static_cast<std::int16_t>(m_kRecord.m_usRequiredLevel) <=
           static_cast<std::int16_t>(pkBuilding->GetRequiredLevel());
}

std::uint16_t CCell::GetRequiredLevel() const
{
    // The level of the building whose floor the cell stands on; on a floor
    // without building, its own.
    if (const CWorldObject* pkBuilding = CWorldObject::FindOwnerOf(m_pkGrid))
        return pkBuilding->GetRequiredLevel();
    return m_kRecord.m_usRequiredLevel;
}

void CCell::AddToStatistics()
{
    if (m_ucInStatistics)
        return;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    m_ucInStatistics = 1;
    pkLedger->AddCell(&m_kRecord);
}

void CCell::RemoveFromStatistics()
{
    if (!m_ucInStatistics)
        return;
    m_ucInStatistics = 0;
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->RemoveCell(&m_kRecord);
}

void CCell::AddPrisoner(CGridCharacter* pkPrisoner)
{
    if (!pkPrisoner || std::find(m_kPrisoners.begin(), m_kPrisoners.end(), pkPrisoner) != m_kPrisoners.end())
        return;
    m_kPrisoners.push_back(pkPrisoner);
    ++m_kRecord.m_usOccupancy;
    if (CPrisonStatistics* pkLedger = Ledger())
        ++pkLedger->m_usBedsTaken;
}

void CCell::RemovePrisoner(CGridCharacter* pkPrisoner)
{
    auto kAt = std::find(m_kPrisoners.begin(), m_kPrisoners.end(), pkPrisoner);
    if (!pkPrisoner || kAt == m_kPrisoners.end())
        return;
    m_kPrisoners.erase(kAt);
    if (m_kRecord.m_usOccupancy > 0)
        --m_kRecord.m_usOccupancy;
    if (CPrisonStatistics* pkLedger = Ledger())
        TakeBedsTaken(*pkLedger, 1);
    pkPrisoner->OnPostLost(*this);
}
