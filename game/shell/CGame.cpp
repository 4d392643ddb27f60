#include "game/shell/CGame.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneWorld.h"
#include "game/shell/CCamera.h"
#include "game/shell/CLevelManager.h"

namespace
{
// Where the camera starts over a level: above and behind its middle,
// looking at it.
const NiVec3 START_POSITION(0.0f, 60.0f, -40.0f);
const NiVec3 START_TARGET(0.0f, 0.0f, 0.0f);
} // namespace

CGame::CGame() = default;

CGame::~CGame()
{
    // The world goes before the camera that views it.
    m_pkLevelManager.reset();
}

bool CGame::Init(const char* pcName)
{
    if (!COrvaneGame::Init(pcName))
        return false;
    if (GetKeyboard() == nullptr)
        SetKeyboard(std::make_unique<CZelmarKeyboard>());
    if (GetCamera() == nullptr)
    {
        auto pkCamera = std::make_unique<CCamera>();
        if (!pkCamera->LoadSettings(1024.0f, 768.0f, 0.0f))
            return false;
        SetCamera(std::move(pkCamera));
    }
    // The first step after start-up covers the loading time: skip it.
    SetSkipNextUpdate(true);
    return true;
}

bool CGame::Start()
{
    if (m_pkLevelManager == nullptr)
    {
        m_pkLevelManager = std::make_unique<CLevelManager>();
        m_pkLevelManager->SetCamera(GetCamera());
        (void)m_pkLevelManager->ReadGameType();
    }
    (void)m_pkLevelManager->CreateWorld();
    if (COrvaneCamera* pkCamera = GetCamera())
    {
        pkCamera->SetPosition(START_POSITION);
        (void)pkCamera->LookAt(START_TARGET);
    }
    SetState(4);
    return true;
}

COrvaneLevelManager* CGame::GetLevelManager() const
{
    return m_pkLevelManager.get();
}

COrvaneWorld* CGame::GetWorld() const
{
    return m_pkLevelManager != nullptr ? m_pkLevelManager->GetWorld() : nullptr;
}

void CGame::Render()
{
    COrvaneCamera* pkCamera = GetCamera();
    if (pkCamera == nullptr || pkCamera->BeginRender() == 0)
        return;
    (void)pkCamera->ClearViewport(0, 3);
    if (COrvaneWorld* pkWorld = GetWorld())
        pkWorld->RenderFrame(*pkCamera);
    (void)pkCamera->RenderScene();
    (void)pkCamera->EndRender();
    (void)pkCamera->DisplayFrame();
}

void CGame::Update(float fDeltaTime)
{
    COrvaneGame::Update(fDeltaTime);
    if (COrvaneCamera* pkCamera = GetCamera())
        pkCamera->Update();
    if (m_pkLevelManager != nullptr)
        m_pkLevelManager->UpdateWorld(GetFrameTimes().m_fFrameTime);
}

std::unique_ptr<COrvaneGame> CGameFactory::CreateGame()
{
    return std::make_unique<CGame>();
}
