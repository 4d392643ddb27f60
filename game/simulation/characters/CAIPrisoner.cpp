#include "game/simulation/characters/CAIPrisoner.h"

#include "engine/core/NiRandom.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CPrisonStatistics.h"

CAIPrisoner::CAIPrisoner()
{
    CAIPrisoner::Reset();
}

CAIPrisoner::~CAIPrisoner()
{
    CAIPrisoner::Destroy();
}

void CAIPrisoner::Reset()
{
    m_ucPrisonerState = 0;
}

void CAIPrisoner::Escape()
{
    if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
        if (CPrisonStatistics* pkLedger = pkManager->GetStatistics())
            pkLedger->RemovePrisoner(&m_kStats);
    DestroySelf();
}

void CAIPrisoner::Destroy()
{
    // The waiting and parole lists only link their prisoners.
    const CGameHost* pkHost = CGameHost::Get();
    if (CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr)
    {
        pkSpawn->m_kWaitingPrisoners.remove(this);
        pkSpawn->m_kParoleCandidates.remove(this);
    }
    CGameCharacter::Destroy();
}

void CAIPrisoner::PlayPauseAnimation()
{
    PlayAnimation(NiRand() % 2 == 0 ? "pause2" : "pause1", 0, 0.0f, 0, 1);
}
