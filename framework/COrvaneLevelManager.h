#pragma once

#include <cstdint>
#include <memory>
#include <string>

class COrvaneCamera;
class COrvaneWorld;
class COrvaneTagTree;

// Keeps the current level number and the world it loaded; a level number
// names its file through the "Level_Data" section of the settings.
class COrvaneLevelManager
{
public:
    COrvaneLevelManager();
    virtual ~COrvaneLevelManager();
    COrvaneLevelManager(const COrvaneLevelManager&) = delete;
    COrvaneLevelManager& operator=(const COrvaneLevelManager&) = delete;

    [[nodiscard]] virtual std::uint32_t GetLevel() const { return m_uiLevel; }
    virtual void SetLevel(std::uint32_t uiLevel) { m_uiLevel = uiLevel; }
    // The current level's file loaded into the world (made when there is
    // none); false when "Level_Data" has no entry for it nor a "0" one.
    virtual bool LoadLevel();
    virtual bool DestroyWorld();
    virtual void UpdateWorld(float fDt);
    // No world, level 1.
    virtual void Reset();

    [[nodiscard]] COrvaneWorld* GetWorld() const { return m_pkWorld.get(); }
    void SetWorld(std::unique_ptr<COrvaneWorld> pkWorld);

    // The level file named for the number in the settings' "Level_Data":
    // the child named exactly "<n>" or "n", else the first whose name
    // contains the number, else likewise for "0"; false without any.
    [[nodiscard]] static bool FindLevelFile(COrvaneTagTree& kSettings, std::uint32_t uiLevel, std::string& kFile,
                                            bool& bHasFile);

protected:
    // The world a load goes into when there is none yet.
    [[nodiscard]] virtual std::unique_ptr<COrvaneWorld> MakeWorld();
    // The load itself; with a camera the world's fog is set up for it.
    bool LoadLevelFor(COrvaneCamera* pkCamera);

    std::uint32_t m_uiLevel = 1;
    std::unique_ptr<COrvaneWorld> m_pkWorld;
};

// The world of the application's game (its level manager's); null when
// there is no game, manager or world.
[[nodiscard]] COrvaneWorld* GetGameWorld();
