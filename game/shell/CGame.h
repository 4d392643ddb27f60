#pragma once

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"

#include <memory>

class CLevelManager;
class COrvaneWorld;
class CZelmarCamera;

// The game object: its camera, keyboard and level manager; each frame it
// draws the level's world through the camera and moves the camera by the
// keys.
class CGame : public COrvaneGame
{
public:
    CGame();
    ~CGame() override;

    bool Init(const char* pcName) override;
    bool Start() override;
    void Render() override;
    void Update(float fDeltaTime) override;

    [[nodiscard]] COrvaneLevelManager* GetLevelManager() const override;
    [[nodiscard]] CLevelManager* GetGameLevelManager() const { return m_pkLevelManager.get(); }
    // The level manager's world; null without one.
    [[nodiscard]] COrvaneWorld* GetWorld() const;

private:
    std::unique_ptr<CLevelManager> m_pkLevelManager;
};

// The factory the entry hands to the application.
class CGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override;
};
