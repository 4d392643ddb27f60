#pragma once

#include "framework/COrvaneLevelManager.h"

#include <cstdint>
#include <memory>

class COrvaneCamera;
class COrvaneFile;
class COrvaneTagTree;

// The game's level manager: the current level number and the world built
// from it. The world is made and loaded for the game camera (which gets the
// level's fog) and let go of again when the player leaves the level.
class CLevelManager : public COrvaneLevelManager
{
public:
    CLevelManager() = default;
    ~CLevelManager() override;

    // The camera the world is loaded for and let go of; without one, the
    // running game's camera.
    void SetCamera(COrvaneCamera* pkCamera) { m_pkCamera = pkCamera; }
    [[nodiscard]] COrvaneCamera* GetCamera() const;

    // The framework's load, for the game's camera.
    bool LoadLevel() override;
    // The settings' "Game_Data" "Game_type" names one of its own children,
    // whose first value is the level number. A missing key or child leaves
    // the level as it was; true in every case.
    bool ReadGameType();
    // The same from a given document (the settings when the game runs).
    bool ReadGameType(COrvaneTagTree& kSettings);
    // The world of the current level: made when there is none, then loaded.
    // True even when the level's file gave nothing (the world stays empty).
    bool CreateWorld();
    // The game camera stops viewing the world's scene, then the world goes.
    bool DestroyWorld() override;

    // "<LEVEL>", the world's name, "</LEVEL>", each line ending CR LF.
    bool Save(COrvaneFile& kFile) const;
    // The level file named after "<LEVEL>" is looked up among the numbered
    // "Level_Data" entries; its number becomes the current level. False, the
    // level unchanged, when there is no record or no entry names the file.
    bool Load(COrvaneFile& kFile);
    bool Load(COrvaneFile& kFile, COrvaneTagTree& kSettings);

protected:
    // The game's world.
    [[nodiscard]] std::unique_ptr<COrvaneWorld> MakeWorld() override;

private:
    COrvaneCamera* m_pkCamera = nullptr; // link: the game owns it
};
