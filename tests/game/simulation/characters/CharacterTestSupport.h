#pragma once

#include "game/simulation/characters/CSpawnManager.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/support/CRecordingHost.h"

#include <memory>
#include <string>

class CBlockGrid;
class CDynamicObjectManager;
class COrvaneAIControllerManager;
class CGameCharacter;

// The demo prison in a temporary folder: its data document and models (the
// people with their head and body variants and animations), the recording
// host with a spawn manager and name lists, the registry with the six
// character kinds, and a controller manager the fixture's user fills.
class CharacterTest : public EngineFrameworkTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Seven controllers named as the game's that do nothing.
    void UseStubControllers();

    // A new character from the factory and the template (found by name).
    CGameCharacter* Make(const char* pcFactory, const char* pcTemplate, CBlockGrid* pkGrid = nullptr);
    // An outside area numbered n of rows x columns cells of size 2.
    CBlockGrid* Area(std::int32_t iNumber, std::int32_t iRows = 8, std::int32_t iColumns = 8);
    // The character's record (after the two name lines) and a read of one.
    std::string SaveText(CGameCharacter& kCharacter);
    int LoadText(CGameCharacter& kCharacter, const std::string& kRecord);
    // Puts the character at the centre of the cell of its grid.
    void StandOn(CGameCharacter& kCharacter, std::int32_t iCell);

    CRecordingHost m_kHost;
    CSpawnManager m_kSpawn;
    CDynamicObjectManager* m_pkManager = nullptr;
    std::unique_ptr<COrvaneAIControllerManager> m_pkControllers;
};
