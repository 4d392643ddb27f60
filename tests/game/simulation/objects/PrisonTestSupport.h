#pragma once

#include "framework/COrvaneGridEntity.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/support/CRecordingHost.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class CBaseObject;
class CBlockGrid;
class CDynamicObjectManager;
class COrvaneBlockGrid;
class COrvaneObject;
class CWorldObject;

// A character as a floor sees it: its role, the cells it is about to stand
// on, and a record of what it was told.
class TestCharacter : public COrvaneGridEntity, public CGridCharacter
{
public:
    [[nodiscard]] std::int32_t GetEntityKind() const override { return 1; }
    [[nodiscard]] Role GetFloorRole() const override { return m_eRole; }
    void OnGridDestroyed(CBlockGrid& kGrid) override;
    void OnGridCellChanged(CBlockGrid& kGrid, std::int32_t iCell) override;
    [[nodiscard]] bool IsAboutToStandOn(const COrvaneBlockGrid& kGrid, std::int32_t iCell) const override;
    void ForceRelocate() override { m_kTold.push_back("relocate"); }
    void OnObjectRemoved(CBaseObject& kObject) override;
    void OnWorldObjectRemoved(CWorldObject&) override { m_kTold.push_back("building gone"); }

    Role m_eRole = Role::Other;
    std::set<std::int32_t> m_kCellsAhead;
    std::vector<std::string> m_kTold;
};

// A model file: "Scene Root" over "Model", under which one node per text
// whose name holds "Staff_Root" and whose string extra data is the text.
void WriteModelWithPosts(const std::string& kPath, const std::vector<std::string>& kPostTexts);

// A prison in a temporary folder: the recording host with a world and a
// spawn manager with name lists, the registry with the game data's
// templates, test characters made by the "GameCharacterFactory" and the
// ledger. Every process-wide manager starts and ends fresh.
class PrisonTest : public EngineFrameworkTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A new object from the factory and the template (found by name).
    COrvaneObject* Make(const char* pcFactory, const char* pcTemplate, COrvaneBlockGrid* pkGrid = nullptr);
    CBaseObject* MakeObject(const char* pcTemplate);
    TestCharacter* MakeCharacter(COrvaneBlockGrid* pkGrid = nullptr);

    CRecordingHost m_kHost;
    CSpawnManager m_kSpawn;
    CDynamicObjectManager* m_pkManager = nullptr;
};
