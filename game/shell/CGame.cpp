#include "game/shell/CGame.h"

#include "engine/render/NiRenderer.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"

bool CGame::Init(const char* pcName)
{
    if (!COrvaneGame::Init(pcName))
        return false;
    // The first step after start-up covers the loading time: skip it.
    SetSkipNextUpdate(true);
    return true;
}

bool CGame::Start()
{
    return true;
}

void CGame::Render()
{
    const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApp != nullptr ? pkApp->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    NiRenderer* pkRenderer = pkHolder != nullptr ? pkHolder->GetRenderer() : nullptr;
    if (pkRenderer == nullptr)
        return;
    pkRenderer->BeginScene();
    pkRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    pkRenderer->EndScene();
    pkRenderer->DisplayFrame();
}

void CGame::Update(float fDeltaTime)
{
    COrvaneGame::Update(fDeltaTime);
}

std::unique_ptr<COrvaneGame> CGameFactory::CreateGame()
{
    return std::make_unique<CGame>();
}
