#pragma once

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"

#include <memory>

// The game object. For now it only clears the screen to the background
// colour every frame.
class CGame : public COrvaneGame
{
public:
    CGame() = default;
    ~CGame() override = default;

    bool Init(const char* pcName) override;
    bool Start() override;
    void Render() override;
    void Update(float fDeltaTime) override;
};

// The factory the entry hands to the application.
class CGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override;
};
