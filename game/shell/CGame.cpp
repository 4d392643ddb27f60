#include "game/shell/CGame.h"

#include "engine/core/NiRandom.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiAlphaProperty.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "framework/COrvaneWorldPicker.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CKeyboard.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/CLocale.h"
#include "game/shell/CMouse.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/CSecurityScreen.h"
#include "game/shell/CStartUp.h"
#include "game/shell/SaveNames.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/ai/CAIControllerManager.h"
#include "game/simulation/characters/CCharacterFactories.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsMemory.h"

#include <algorithm>
#include <cstdio>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <csignal>
#include <string>

namespace
{
CGame* g_pkGame = nullptr;
float g_fScreenScaleX = 1.0f;
float g_fScreenScaleY = 1.0f;

// Where the camera starts over a level: above and behind its middle,
// looking at it.
const NiVec3 START_POSITION(0.0f, 60.0f, -40.0f);
const NiVec3 START_TARGET(0.0f, 0.0f, 0.0f);

NiRenderer* GameRenderer()
{
    const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApp != nullptr ? pkApp->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    return pkHolder != nullptr ? pkHolder->GetRenderer() : nullptr;
}

// The first value of the cursor's node as a 16-bit number; false when there
// is none.
bool ReadChannel(COrvaneTagTree& kData, const char* pcName, float& fChannel)
{
    if (!kData.NextSibling(pcName) && !kData.FindChild(pcName))
        return false;
    const std::vector<std::string>& kValues = kData.GetValues();
    if (kValues.empty())
        return false;
    const std::string& kText = kValues.front();
    std::int32_t iValue = 0;
    const auto [pcEnd, eError] = std::from_chars(kText.data(), kText.data() + kText.size(), iValue);
    (void)pcEnd;
    if (eError != std::errc())
        return false;
    fChannel = static_cast<float>(static_cast<std::uint16_t>(iValue)) * 0.003921569f;
    return true;
}
} // namespace

CGame::CGame()
{
    CGame::Reset();
    (void)CInterface::Rebuild(nullptr, false);
}

CGame::~CGame()
{
    CGame::Shutdown();
    m_kClock.Reset();
    m_kBuildTime.clear();
    m_kBuildDate.clear();
    m_kTypedCode.clear();
    // The world goes before the camera the base deletes.
    m_pkLevelManager.reset();
    if (g_pkGame == this)
        g_pkGame = nullptr;
    if (CGameHost::Get() == this)
        CGameHost::Set(nullptr);
}

CGame* CGame::Get()
{
    return g_pkGame;
}

float CGame::GetScreenScaleX()
{
    return g_fScreenScaleX;
}

float CGame::GetScreenScaleY()
{
    return g_fScreenScaleY;
}

void CGame::ResetStatics()
{
    g_pkGame = nullptr;
    g_fScreenScaleX = 1.0f;
    g_fScreenScaleY = 1.0f;
    COrvaneWidget::ResetScreenScale();
    CSoundSystem::ResetStatics();
    CStartUp::ResetStatics();
}

void CGame::Reset()
{
    m_fFadeLevel = 0.0f;
    m_iNightState = NIGHT_NONE;
    m_fFrameTime = 0.0f;
    m_fGameTime = 0.0f;
    m_ucInputBlocked = 0;
    m_ucPanelPause = 0;
    m_ucFadeAlpha = 0;
    m_usNextPerson = 0;
    m_usSaveVersion = 0;
    m_iCodeEntry = 0;
    // Shutdown deletes these first; a reset on its own deletes them too
    // rather than losing them.
    m_pkConditions.reset();
    m_pkFrontEnd.reset();
    m_pkSoundSystem.reset();
    m_pkStartUp.reset();
    m_pkSecurityScreen.reset();
    m_pkSpawnManager.reset();
    m_pkSelectedBuilding = nullptr;
    m_fGameSpeed = 1.0f;
    m_fSavedSpeed = 1.0f;
    m_spFadeQuad = nullptr;
}

void CGame::Shutdown()
{
    CBuildPlacement::Destroy();
    CDynamicObjectManager::DestroyInstance();
    COrvaneInterface::ReleaseActivePanel();
    CBlockGridManager::DestroyInstance();
    // Only once no character runs one.
    m_pkControllers.reset();
    m_pkPicker.reset();
    m_pkSpawnManager.reset();
    m_pkStartUp.reset();
    m_pkConditions.reset();
    m_pkFrontEnd.reset();
    m_pkSoundSystem.reset();
    // Its geometry gives its buffers back to the renderer, which is still there.
    m_spFadeQuad = nullptr;
    Reset();
}

bool CGame::Init(const char* pcName)
{
    // A write past the file-size limit then fails as a full disk does (the
    // save keeps the old file and says so) instead of ending the game.
    std::signal(SIGXFSZ, SIG_IGN);
    g_pkGame = this;
    CGameHost::Set(this);
    // The registry's character factories make the game's people.
    RegisterCharacterKinds();
    NiSeedRandomFromTime();
    if (!COrvaneGame::Init(pcName))
        return false;
    if (COrvaneGame::GetLocale() == nullptr)
    {
        auto pkLocale = std::make_unique<CLocale>();
        (void)pkLocale->ReadLanguage();
        // The launcher's choice holds even where the settings have no key for it.
        if (m_ucLanguageChosen != 0)
            pkLocale->SetLanguage(m_iLanguage);
        (void)pkLocale->Load();
        SetLocale(std::move(pkLocale));
    }
    if (GetKeyboard() == nullptr)
    {
        auto pkKeyboard = std::make_unique<CKeyboard>();
        if (!pkKeyboard->SetCallbacks([this](const COrvaneKeyEvent& kEvent) { OnKey(kEvent); },
                                      [this](const COrvaneKeyEvent& kEvent) { OnKeyUp(kEvent); }))
            return false;
        pkKeyboard->SetBlockTest([this] { return IsInputBlocked(); });
        SetKeyboard(std::move(pkKeyboard));
    }
    if (COrvaneGame::GetCamera() == nullptr)
    {
        auto pkCamera = std::make_unique<CCamera>();
        if (!pkCamera->LoadSettings(1024.0f, 768.0f, 0.0f))
            return false;
        // A 60 degree view from top to bottom on a 4:3 screen.
        (void)pkCamera->SetProjection(std::tan(3.1415927f / 6.0f), 1.3333334f);
        SetCamera(std::move(pkCamera));
    }
    // The first step after start-up covers the loading time: skip it.
    SetSkipNextUpdate(true);
    return true;
}

bool CGame::ChooseDisplayMode(std::uint32_t& uiAdapter, std::uint32_t& uiMode)
{
    if (m_pkStartUp == nullptr)
        m_pkStartUp = std::make_unique<CStartUp>();
    m_pkStartUp->SetLanguage(GetLanguage());
    const bool bPlay = m_pkStartUp->Run();
    m_ucLanguageChosen = bPlay && m_pkStartUp->HasLanguage() ? 1 : 0;
    if (m_ucLanguageChosen != 0)
        m_iLanguage = m_pkStartUp->GetLanguage();
    m_ucLeftAtLauncher = !bPlay && m_pkStartUp->GetEnd() == CStartUp::End::Leave ? 1 : 0;
    if (bPlay)
    {
        uiAdapter = static_cast<std::uint32_t>(std::max(m_pkStartUp->GetAdapter(), 0));
        uiMode = static_cast<std::uint32_t>(std::max(m_pkStartUp->GetMode(), 0));
    }
    m_pkStartUp.reset();
    return bPlay;
}

std::int32_t CGame::GetLanguage() const
{
    if (const CLocale* pkLocale = GetGameLocale())
        return pkLocale->GetLanguage();
    return m_iLanguage;
}

bool CGame::Start()
{
    if (const COrvaneCamera* pkCamera = COrvaneGame::GetCamera())
        SetScreenSize(static_cast<std::int32_t>(pkCamera->GetScreenWidth()),
                      static_cast<std::int32_t>(pkCamera->GetScreenHeight()));
    g_fScreenScaleX = static_cast<float>(GetScreenWidth()) * 0.0009765625f;
    g_fScreenScaleY = static_cast<float>(GetScreenHeight()) * 0.0013020834f;
    // Layouts flagged to fill the screen (front end, full-screen pictures,
    // the cursor) are authored for 1024 x 768. A screen of unknown size
    // keeps them as authored rather than collapsing them to nothing.
    if (GetScreenWidth() > 0 && GetScreenHeight() > 0)
        COrvaneWidget::SetScreenScale(g_fScreenScaleX, g_fScreenScaleY);

    ShowTimedScreen(STUDIO_SCREEN, 2.0f);
    ShowTimedScreen(RATING_SCREEN, 4.1f);

    if (GetMouse() == nullptr)
    {
        auto pkMouse = std::make_unique<CMouse>();
        if (!pkMouse->SetCallback([this](std::int32_t iButton) { return OnMouse(iButton); }))
            return false;
        pkMouse->SetCursorScaled(true);
        SetMouse(std::move(pkMouse));
    }

    auto pkData = std::make_unique<COrvaneTagTree>();
    // A missing file leaves the document empty: its readers find nothing.
    (void)pkData->Load(DATA_FILE);
    SetDataDocument(std::move(pkData));
    (void)EnsureScenarioStates();

    if (CLocale* pkLocale = GetGameLocale())
        (void)pkLocale->LoadFontsAndScreenText(GetDataDocument());

    if (m_pkLevelManager == nullptr)
    {
        m_pkLevelManager = std::make_unique<CLevelManager>();
        m_pkLevelManager->SetCamera(COrvaneGame::GetCamera());
        if (!m_pkLevelManager->ReadGameType())
            return false;
    }

    if (CInterface* pkInterface = CInterface::Get())
        (void)pkInterface->CreatePanels(GetDataDocument());

    if (m_pkConditions == nullptr)
        m_pkConditions = std::make_unique<CConditions>();

    if (COrvaneMouse* pkMouse = GetMouse())
        pkMouse->SetCursorShown(true);
    ShowTimedScreen(TITLE_SCREEN, 2.0f);

    if (m_pkControllers == nullptr)
    {
        m_pkControllers = std::make_unique<CAIControllerManager>();
        m_pkControllers->RegisterControllers();
    }

    m_pkFrontEnd = std::make_unique<CFrontEndScreens>();
    (void)m_pkFrontEnd->CreateFrontEndPanels(GetDataDocument());

    SetState(STATE_FRONT_END);

    m_pkSoundSystem = std::make_unique<CSoundSystem>();
    (void)m_pkSoundSystem->Configure(GetDataDocument());
    m_pkSoundSystem->PlayMusicTrack(0, 1);
    return true;
}

bool CGame::BeginCameraFrame()
{
    COrvaneCamera* pkCamera = COrvaneGame::GetCamera();
    if (pkCamera == nullptr || pkCamera->BeginRender() == 0)
        return false;
    (void)pkCamera->ClearViewport(0, 3);
    return true;
}

void CGame::EndCameraFrame()
{
    (void)COrvaneGame::GetCamera()->EndRender();
}

bool CGame::IsScreenStill()
{
    if (GetState() == STATE_FRONT_END)
        return true;
    // A fade moves with the game's speed: paused (the morning's desk top
    // holds the game in the dark) it stands like the rest.
    if (GetState() != STATE_IN_GAME || m_fGameSpeed != 0.0f)
        return false;
    // A camera moved by a held key, the screen's edge or a glide changes the
    // picture without any input arriving.
    const COrvaneCamera* pkCamera = COrvaneGame::GetCamera();
    const NiCamera* pkEngineCamera = pkCamera != nullptr ? pkCamera->GetEngineCamera() : nullptr;
    if (pkEngineCamera == nullptr)
        return false;
    const NiXform& kNow = pkEngineCamera->GetWorldTransform();
    const bool bStill = kNow.m_kTranslate == m_kStillCamera.m_kTranslate && kNow.m_kRotate == m_kStillCamera.m_kRotate;
    m_kStillCamera = kNow;
    return bStill;
}

void CGame::Render()
{
    if (DrawFrame())
        (void)COrvaneGame::GetCamera()->DisplayFrame();
}

bool CGame::DrawFrame()
{
    if (GetState() == STATE_FRONT_END)
    {
        if (!BeginCameraFrame())
            return false;
        // The screen, then the interface's open panels over it.
        if (m_pkFrontEnd != nullptr)
            m_pkFrontEnd->Draw();
        else if (CInterface* pkInterface = CInterface::Get())
            pkInterface->Draw();
        if (COrvaneMouse* pkMouse = GetMouse())
            pkMouse->DrawCursor();
        EndCameraFrame();
        return true;
    }
    if (GetState() != STATE_IN_GAME || COrvaneGame::GetCamera() == nullptr || !BeginCameraFrame())
        return false;
    COrvaneCamera* pkCamera = COrvaneGame::GetCamera();
    if (COrvaneWorld* pkWorld = GetWorld())
        pkWorld->RenderFrame(*pkCamera);
    (void)pkCamera->RenderScene();
    if (m_pkSelectedBuilding != nullptr)
        DrawSecurityScreen();
    // The fade quad is drawn under the interface (layer 1) or over it (3)
    // while its alpha is above 0.
    DrawFadeQuad(1);
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->Draw();
    DrawFadeQuad(3);
    if (m_pkConditions != nullptr)
        m_pkConditions->UpdateResultScreens(GetGameLocale());
    if (COrvaneMouse* pkMouse = GetMouse())
        pkMouse->DrawCursor();
    EndCameraFrame();
    return true;
}

std::int32_t CGame::RenderScene()
{
    COrvaneCamera* pkCamera = COrvaneGame::GetCamera();
    if (pkCamera == nullptr || pkCamera->BeginRender() == 0)
        return 0;
    if (COrvaneWorld* pkWorld = GetWorld())
        pkWorld->RenderFrame(*pkCamera);
    (void)pkCamera->RenderScene();
    (void)pkCamera->EndRender();
    return 1;
}

void CGame::Update(float fDeltaTime)
{
    COrvaneGame::Update(fDeltaTime);
    m_fFrameTime = GetFrameTimes().m_fFrameTime;
    CLocale* pkLocale = GetGameLocale();
    CMouse* pkMouse = dynamic_cast<CMouse*>(GetMouse());

    if (GetState() == STATE_FRONT_END)
    {
        m_ucInputBlocked = 1;
        if (pkLocale != nullptr)
            pkLocale->ReleaseFontGlyphs();
        // The screens' buttons start games themselves; the quick start
        // skips them.
        if (m_pkFrontEnd != nullptr && m_pkFrontEnd->Update(m_fFrameTime))
            LoadLevelData();
        if (CInterface* pkInterface = CInterface::Get())
            pkInterface->Update(m_fFrameTime);
        if (pkMouse != nullptr)
            pkMouse->ClearMovement();
        ClearFrameInput();
        return;
    }
    if (GetState() != STATE_IN_GAME)
    {
        ClearFrameInput();
        return;
    }

    if (pkMouse != nullptr)
        pkMouse->m_bFrameFlag = false;
    if (m_pkConditions != nullptr && m_pkConditions->IsResultPending())
    {
        // The game stands still while a result shows.
        if (pkLocale != nullptr)
            pkLocale->ReleaseFontGlyphs();
        ClearFrameInput();
        return;
    }
    if (pkLocale != nullptr)
        pkLocale->ReleaseFontGlyphs();
    if (COrvaneCamera* pkCamera = COrvaneGame::GetCamera())
        pkCamera->Update();
    UpdateMousePick();
    StepSimulation(m_fFrameTime);
    if (CInterface* pkInterface = CInterface::Get())
    {
        if (!IsInterfaceResting())
            pkInterface->Update(m_fFrameTime);
        else
            pkInterface->UpdateDuringNight();
    }
    if (CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting())
        pkPlacement->Update();
    if (pkMouse != nullptr)
        pkMouse->ClearMovement();
    ClearFrameInput();

    // Back at the front end within this frame: a fresh interface.
    if (GetState() == STATE_FRONT_END)
        (void)CInterface::Rebuild(GetDataDocument(), true);
}

void CGame::ClearFrameInput()
{
    ClearKeyEvents();
    if (COrvaneCamera* pkCamera = COrvaneGame::GetCamera())
        pkCamera->m_kTurn = NiVec3();
}

void CGame::UpdateMousePick()
{
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    pkGrids->ResetPick();
    COrvaneMouse* pkMouse = GetMouse();
    if (m_pkPicker == nullptr || pkMouse == nullptr)
        return;
    m_pkPicker->Reset();
    // On the yard every building shows whole, its rooms and people through
    // its bars and walls, and another building may stand behind it: the
    // click finds the nearest. Inside a building the floors above the one
    // shown are hidden yet still in the scene, so the first met in the
    // node's order is taken, a room ahead of its building.
    m_pkPicker->SetNearestFirst(m_pkSelectedBuilding == nullptr);
    // Rooms placed since the last frame go ahead of their building.
    if (CWorld* pkWorld = GetWorld())
        pkWorld->KeepRoomsAheadOfBuildings();
    const float afPoint[2] = {pkMouse->GetPosition().x, pkMouse->GetPosition().y};
    m_afPickedAt[0] = afPoint[0];
    m_afPickedAt[1] = afPoint[1];
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afPoint;
    (void)m_pkPicker->Pick(kQuery);
    if (m_pkPicker->GetBestDistance() >= FLT_MAX)
        return;
    // The cell is looked for where the ray crosses each floor: the point the
    // pick met may lie below an upper floor (the building's ground) or
    // above a floor (a person, a post).
    NiVec3 kOrigin;
    NiVec3 kDirection;
    const COrvaneCamera* pkCamera = GetCamera();
    const NiCamera* pkEngine = pkCamera != nullptr ? pkCamera->GetEngineCamera() : nullptr;
    if (pkEngine != nullptr && pkEngine->WindowPointToRay(static_cast<std::int32_t>(afPoint[0]),
                                                          static_cast<std::int32_t>(afPoint[1]), kOrigin, kDirection))
        pkGrids->UpdatePick(&m_pkPicker->GetHitPoint(), &kOrigin, &kDirection);
    else
        pkGrids->UpdatePick(&m_pkPicker->GetHitPoint());
}

void CGame::StepSimulation(float fFrameTime)
{
    const float fScaled = m_fGameSpeed * fFrameTime;
    m_fGameTime += fScaled;
    if (m_iNightState == NIGHT_NONE && m_kClock.m_fMinutes > NIGHT_MINUTES)
        m_iNightState = NIGHT_FADING_OUT;
    if (m_iNightState != NIGHT_NONE)
        UpdateEventTimer(fScaled);
    CDynamicObjectManager::GetInstance()->UpdateObjects(fScaled);
    m_kClock.Advance(fScaled);
    if (m_kClock.HasHourBegun(ARRIVAL_HOUR) && m_pkSpawnManager != nullptr)
        m_pkSpawnManager->MakeArrivalsDue();
    if (m_pkLevelManager != nullptr)
        m_pkLevelManager->UpdateWorld(m_fGameTime);
    // Also at speed 0: the hand tool carries while the game is paused.
    if (m_pkSpawnManager != nullptr)
        m_pkSpawnManager->UpdateArrivals(fScaled);
}

void CGame::UpdateEventTimer(float fScaled)
{
    if (m_iNightState == NIGHT_FADING_OUT)
    {
        m_fFadeLevel += fScaled * FADE_PER_SECOND;
        SetFadeLevel(static_cast<std::uint8_t>(std::min(m_fFadeLevel, FADE_FULL)));
        if (m_fFadeLevel >= FADE_FULL)
        {
            m_fFadeLevel = FADE_FULL;
            m_iNightState = NIGHT_FADING_IN;
            AdvanceToMorning();
            // Behind the night's dark screen: what the day let go goes back
            // to the system, and what it built and who arrived joins the
            // rest on large pages.
            ReleaseSpareMemory();
            (void)os::GatherHeapIntoLargePages();
            if (CInterface* pkInterface = CInterface::Get())
                pkInterface->ShowDeskTop(true);
        }
    }
    else if (m_iNightState == NIGHT_FADING_IN)
    {
        m_fFadeLevel = std::max(m_fFadeLevel - fScaled * FADE_PER_SECOND, 0.0f);
        SetFadeLevel(static_cast<std::uint8_t>(m_fFadeLevel));
        if (m_fFadeLevel <= 0.0f)
        {
            m_fFadeLevel = 0.0f;
            m_iNightState = NIGHT_NONE;
            PlaySample(SAMPLE_MORNING, 255, false);
            if (m_pkSpawnManager != nullptr)
                m_pkSpawnManager->ClearParoleCandidates();
        }
    }
}

void CGame::AdvanceToMorning()
{
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->CloseAllPanels();
    if (m_pkSpawnManager != nullptr)
        m_pkSpawnManager->MakeArrivalsDue();
    m_kClock.AdvanceToDay(MORNING_MINUTES);
    if (m_pkSpawnManager != nullptr)
        m_pkSpawnManager->PlaceWaitingPrisoners();
    CDynamicObjectManager::GetInstance()->NewDayStep();
    if (CPrisonStatistics* pkStatistics = GetStatistics())
    {
        const std::int32_t iUpgrade = pkStatistics->m_usUpgradeLevel;
        const std::int32_t iClerical = pkStatistics->m_usClericalLevel;
        pkStatistics->m_iAdminCosts += ADMIN_COST * (iUpgrade + 1) / (iClerical + 1);
    }
}

void CGame::ResetGame()
{
    ShowLoadingScreen();
    if (GetWorld() != nullptr)
        (void)WriteSettings();
    if (COrvaneCamera* pkCamera = COrvaneGame::GetCamera())
        pkCamera->ClearVisibleSet();
    m_kClock.Reset();
    m_pkSpawnManager.reset();
    if (CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting())
        (void)pkPlacement->ClearAll();
    CDynamicObjectManager::GetInstance()->ResetForNewGame();
    CBlockGridManager::GetInstance()->Clear();
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->ResetForFrontEnd();
    m_pkPicker.reset();
    if (m_pkSecurityScreen != nullptr)
        m_pkSecurityScreen->Clear();
    m_pkSecurityScreen.reset();
    if (m_pkLevelManager != nullptr)
        (void)m_pkLevelManager->DestroyWorld();
    if (m_pkConditions != nullptr)
        m_pkConditions->ClearConditions();
    if (m_pkFrontEnd == nullptr)
        m_pkFrontEnd = std::make_unique<CFrontEndScreens>();
    (void)m_pkFrontEnd->CreateFrontEndPanels(GetDataDocument());
    m_ucPanelPause = 0;
    SetState(STATE_FRONT_END);
    // The level is gone: its pages go back before the next one (or a save's)
    // is built, so the two never add up in the resident set.
    ReleaseSpareMemory();
    if (m_pkSoundSystem != nullptr)
    {
        m_pkSoundSystem->StopMusic();
        m_pkSoundSystem->SetAmbientVolume(0);
        m_pkSoundSystem->SetVolume(0);
        m_pkSoundSystem->PlayMusicTrack(0, 1);
    }
}

void CGame::LoadLevelData()
{
    if (m_pkSoundSystem != nullptr)
    {
        m_pkSoundSystem->StopMusic();
        m_pkSoundSystem->CloseMusicStream();
        m_pkSoundSystem->SetVolume(CSoundSystem::MAX_VOLUME);
        m_pkSoundSystem->PlaySample(SAMPLE_LEVEL_START, 255, false);
    }
    ShowLoadingScreen();
    if (m_pkFrontEnd != nullptr)
        m_pkFrontEnd->DeleteScreens();

    if (COrvaneTagTree* pkData = GetDataDocument())
        CDynamicObjectManager::GetInstance()->LoadPrisonTemplates(*pkData);
    if (CInterface* pkInterface = CInterface::Get())
        (void)pkInterface->PrepareForLevel(GetDataDocument());

    if (m_pkSpawnManager == nullptr)
    {
        m_pkSpawnManager = std::make_unique<CSpawnManager>();
        if (COrvaneTagTree* pkData = GetDataDocument())
            m_pkSpawnManager->LoadRosters(*pkData);
    }

    m_kClock.m_usYear = START_YEAR;

    if (m_pkLevelManager == nullptr)
    {
        m_pkLevelManager = std::make_unique<CLevelManager>();
        m_pkLevelManager->SetCamera(COrvaneGame::GetCamera());
    }
    COrvaneCamera* pkCamera = COrvaneGame::GetCamera();
    if (pkCamera != nullptr)
        pkCamera->ResetAngles();
    (void)m_pkLevelManager->CreateWorld();
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    const CBlockGridStack* pkFirst = pkGrids->GetStacks().empty() ? nullptr : pkGrids->GetStacks().front().get();
    const CBlockGrid* pkGround = pkFirst != nullptr ? pkFirst->GetFloor(0) : nullptr;
    if (CCamera* pkGameCamera = GetGameCamera())
    {
        // Heights are kept over the ground floor: the first grid's.
        const NiVec3* pkOrigin = pkGround != nullptr ? pkGround->GetOrigin() : nullptr;
        pkGameCamera->SetGroundHeight(pkOrigin != nullptr ? pkOrigin->y : 0.0f);
    }
    if (pkCamera != nullptr)
    {
        // The level's camera node places the camera, which looks at the
        // middle of the first outside area (the prison's yard). A level
        // without them: above and behind the scene's middle.
        NiVec3 kAt = START_POSITION;
        NiVec3 kTarget = START_TARGET;
        if (const CWorld* pkLevel = GetWorld(); pkLevel != nullptr && pkLevel->GetCameraStart() != NiVec3())
            kAt = pkLevel->GetCameraStart();
        if (pkGround != nullptr)
        {
            const std::int32_t iMiddle = (pkGround->GetRows() / 2) * pkGround->GetColumns() + pkGround->GetColumns() / 2;
            NiVec3 kMiddle;
            if (pkGround->CellPosition(iMiddle, kMiddle, false) != nullptr)
                kTarget = kMiddle;
        }
        pkCamera->SetPosition(kAt);
        (void)pkCamera->LookAt(kTarget);
    }

    LoadPrisonTemplate();
    m_ucFadeLayer = 1;
    (void)BuildColourQuad(NiColorRGBA{0.0f, 0.0f, 0.0f, 1.0f});
    m_pkSecurityScreen = std::make_unique<CSecurityScreen>();
    m_pkSecurityScreen->Create(GetGameLocale(), pkCamera);

    // The mouse picks in the level's collision geometry.
    if (pkCamera != nullptr && GetWorld() != nullptr)
    {
        m_pkPicker = std::make_unique<COrvaneWorldPicker>();
        m_pkPicker->Init(*GetWorld(), *pkCamera);
    }

    m_iNightState = NIGHT_FADING_IN;
    m_fFadeLevel = 0.0f;
    m_ucInputBlocked = 0;

    if (m_kClock.m_fMinutes > NIGHT_MINUTES || m_kClock.m_fMinutes < MORNING_MINUTES)
        AdvanceToMorning();

    m_pkSelectedBuilding = nullptr;
    SetState(STATE_IN_GAME);

    if (m_pkSoundSystem != nullptr)
    {
        const std::int32_t iLevel = static_cast<std::int32_t>(GetLevelNumber());
        m_pkSoundSystem->PlayMusicTrack(iLevel + 1, 1);
        m_pkSoundSystem->SetAmbientSample(iLevel >= 0 && iLevel <= m_pkSoundSystem->GetAmbientCount() ? iLevel : -1);
        m_pkSoundSystem->SetAmbientVolume(255);
    }
    if (GetWorld() != nullptr)
        ApplySettings();
    // What the level's files and the front end's pictures took while it was
    // built.
    ReleaseSpareMemory();
}

void CGame::ReleaseSpareMemory()
{
    // The renderer's kept texture blocks first: they are live to the heap.
    if (NiRenderer* pkRenderer = GameRenderer())
        pkRenderer->ReleaseSpareMemory();
    (void)os::ReturnFreeHeapPages();
}

bool CGame::BuildColourQuad(const NiColorRGBA& kColour)
{
    m_kFadeColour = kColour;
    if (m_spFadeQuad == nullptr)
    {
        // Screen polygons run from (0, 0) at the bottom left to (1, 1).
        const NiVec3 akVertex[4] = {{0.0f, 0.0f, FADE_QUAD_DEPTH},
                                    {1.0f, 0.0f, FADE_QUAD_DEPTH},
                                    {1.0f, 1.0f, FADE_QUAD_DEPTH},
                                    {0.0f, 1.0f, FADE_QUAD_DEPTH}};
        const NiVec2 akTexture[4] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}};
        const NiColorRGBA akColor[4] = {kColour, kColour, kColour, kColour};
        m_spFadeQuad = new NiScreenPolygon(4, akVertex, akTexture, akColor);
        auto* pkVertexColor = new NiVertexColorProperty;
        pkVertexColor->SetSourceMode(1);
        pkVertexColor->SetLightingMode(0);
        m_spFadeQuad->SetProperty(pkVertexColor);
        auto* pkAlpha = new NiAlphaProperty;
        pkAlpha->SetFlags(FADE_QUAD_ALPHA_FLAGS);
        m_spFadeQuad->SetProperty(pkAlpha);
        return true;
    }
    NiColorRGBA* pkColors = m_spFadeQuad->GetColors();
    for (std::uint16_t us = 0; us < m_spFadeQuad->GetVertexCount(); ++us)
        pkColors[us] = kColour;
    m_spFadeQuad->SetRendererFlags(m_spFadeQuad->GetRendererFlags() | 1);
    return true;
}

void CGame::SetFadeLevel(std::uint8_t ucLevel)
{
    m_ucFadeAlpha = std::min<std::uint8_t>(ucLevel, 100);
    if (m_spFadeQuad == nullptr || ucLevel == 0)
        return;
    m_kFadeColour.a = static_cast<float>(m_ucFadeAlpha) * 0.01f;
    NiColorRGBA* pkColors = m_spFadeQuad->GetColors();
    for (std::uint16_t us = 0; us < m_spFadeQuad->GetVertexCount(); ++us)
        pkColors[us].a = m_kFadeColour.a;
    m_spFadeQuad->SetRendererFlags(m_spFadeQuad->GetRendererFlags() | 1);
}

void CGame::DrawFadeQuad(std::uint8_t ucLayer)
{
    if (m_spFadeQuad == nullptr || m_ucFadeAlpha == 0 || m_ucFadeLayer != ucLayer)
        return;
    if (NiRenderer* pkRenderer = GameRenderer())
        m_spFadeQuad->Draw(pkRenderer);
}

bool CGame::EnsureScenarioStates()
{
    static constexpr const char* STATES = "SCENARIO_STATES";
    static constexpr const char* OPEN = "OPEN";
    COrvaneTagTree* pkData = GetDataDocument();
    std::size_t uiScenarios = 0;
    const auto CountLines = [](const std::vector<std::string>& kValues) {
        return static_cast<std::size_t>(std::count_if(kValues.begin(), kValues.end(), [](const std::string& k) {
            return k.find_first_not_of("\r\n") != std::string::npos;
        }));
    };
    if (pkData != nullptr && pkData->SelectSection("SCENARIOS", true))
        uiScenarios = CountLines(pkData->GetValues());

    COrvaneTagTree kConfig;
    // The cursor stays at the root when the file or the section is missing.
    const bool bExisted = kConfig.Load(CONFIG_FILE);
    if (!kConfig.SelectSection(STATES, true))
    {
        const std::string kTag = std::string("<") + STATES + ">";
        if (!kConfig.AddChild(kTag.c_str()) || !kConfig.FindChild(STATES))
            return false;
    }
    // Blank lines are no scenario's state (and are not written back).
    const std::size_t uiHave = CountLines(kConfig.GetValues());
    if (bExisted && uiHave >= uiScenarios)
        return true;
    for (std::size_t i = uiHave; i < uiScenarios; ++i)
        kConfig.AddValue(std::string(OPEN) + "\r\n");
    // Put in place whole, like every other write of it: a cut write or a
    // link under the temporary name never costs the states there were.
    if (!SaveDocumentAtomically(kConfig, CONFIG_FILE))
    {
        std::fprintf(stderr, "Cannot write the scenario states to \"%s\".\n", CONFIG_FILE);
        return false;
    }
    if (bExisted)
        std::fprintf(stderr, "\"%s\": %zu scenario states added (now %zu).\n", CONFIG_FILE, uiScenarios - uiHave,
                     uiScenarios);
    else
        std::fprintf(stderr, "\"%s\" created with %zu scenario states.\n", CONFIG_FILE, uiScenarios);
    return true;
}

void CGame::LoadPrisonTemplate()
{
    COrvaneTagTree* pkData = GetDataDocument();
    if (pkData == nullptr || !pkData->SelectSection("TEMPLATES", true))
        return;
    const std::string kPrison = "PRISON" + std::to_string(GetLevelNumber() + 1);
    if (!pkData->FindChild(kPrison.c_str()) || !pkData->FindChild("FOG"))
        return;
    (void)pkData->FindChild("plans");
    NiColorRGBA kColour = m_kFadeColour;
    if (!pkData->FindChild("R"))
        return;
    // The first channel is under the cursor; the others follow as siblings.
    const std::vector<std::string>& kRed = pkData->GetValues();
    std::int32_t iRed = 0;
    if (kRed.empty() || std::from_chars(kRed.front().data(), kRed.front().data() + kRed.front().size(), iRed).ec !=
                            std::errc())
        return;
    kColour.r = static_cast<float>(static_cast<std::uint16_t>(iRed)) * 0.003921569f;
    if (!ReadChannel(*pkData, "G", kColour.g) || !ReadChannel(*pkData, "B", kColour.b) ||
        !ReadChannel(*pkData, "A", kColour.a))
        return;
    if (NiRenderer* pkRenderer = GameRenderer())
        pkRenderer->SetBackgroundColor(kColour);
}

COrvaneLevelManager* CGame::GetLevelManager() const
{
    return m_pkLevelManager.get();
}

CCamera* CGame::GetGameCamera() const
{
    return dynamic_cast<CCamera*>(COrvaneGame::GetCamera());
}

COrvaneCamera* CGame::GetCamera() const
{
    return COrvaneGame::GetCamera();
}

void CGame::ChangeFloor(std::int32_t iSide)
{
    CCamera* pkCamera = GetGameCamera();
    if (pkCamera == nullptr || m_pkSelectedBuilding == nullptr)
        return;
    if (CWorld* pkWorld = GetWorld())
        pkWorld->UpdateScene(0.0f);
    pkCamera->ViewBuilding(iSide);
}

bool CGame::IsHeldForPlacing(const COrvaneObject& kObject) const
{
    const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    return pkPlacement && static_cast<const COrvaneObject*>(pkPlacement->GetObject()) == &kObject;
}

const CBaseObject* CGame::GetSelectedBuildingObject() const
{
    return m_pkSelectedBuilding;
}

std::int32_t CGame::GetCameraBoundsSide() const
{
    const CCamera* pkCamera = GetGameCamera();
    return pkCamera ? pkCamera->GetBoundsSide() : CCamera::NO_SIDE;
}

void CGame::SetCameraHeight(float fHeight)
{
    CCamera* pkCamera = GetGameCamera();
    if (!pkCamera)
        return;
    NiVec3 kAt = pkCamera->GetPosition();
    kAt.y = fHeight;
    pkCamera->SetPositionClamped(kAt);
}

void CGame::SetCameraBounds(float fFirst, float fSecond, float fThird, float fFourth)
{
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->SetBounds(fFirst, fSecond, fThird, fFourth);
}

COrvaneAIControllerManager* CGame::GetControllerManager() const
{
    return m_pkControllers.get();
}

bool CGame::FindBuildMenuItem(const COrvaneObject& kObject, bool bInternal, CBuildMenuItem& kOut)
{
    const CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr)
        return false;
    if (IsHeldForPlacing(kObject))
    {
        kOut.m_pkPicture = pkInterface->GetBuildItemPicture(bInternal);
        kOut.m_usDescriptionList = pkInterface->GetBuildItemTextList(bInternal);
        kOut.m_usDescriptionEntry = static_cast<std::uint16_t>(pkInterface->GetBuildItemIndex(bInternal));
        return kOut.m_pkPicture != nullptr;
    }
    const COrvaneComposite* pkModel = kObject.GetModel();
    const char* pcName = pkModel != nullptr ? pkModel->GetName() : nullptr;
    if (pcName == nullptr)
        return false;
    kOut.m_pkPicture = pkInterface->AddBuildMenuItem(bInternal, pcName, kOut.m_usDescriptionList,
                                                      kOut.m_usDescriptionEntry);
    return kOut.m_pkPicture != nullptr;
}

std::int32_t CGame::GetScenarioNumber() const
{
    return m_pkConditions != nullptr ? m_pkConditions->GetScenario() : -1;
}

bool CGame::IsResultPending() const
{
    return m_pkConditions != nullptr && m_pkConditions->IsResultPending();
}

CLocale* CGame::GetGameLocale() const
{
    return dynamic_cast<CLocale*>(COrvaneGame::GetLocale());
}

CPrisonStatistics* CGame::GetStatistics() const
{
    return CDynamicObjectManager::GetInstance()->GetStatistics();
}

CWorld* CGame::GetWorld() const
{
    return m_pkLevelManager != nullptr ? dynamic_cast<CWorld*>(m_pkLevelManager->GetWorld()) : nullptr;
}

CClockState CGame::GetClock() const
{
    CClockState kState;
    kState.m_usYear = m_kClock.m_usYear;
    kState.m_sYearOffset = m_kClock.m_sYearOffset;
    kState.m_usDay = m_kClock.m_usDay;
    kState.m_fMinutes = m_kClock.m_fMinutes;
    kState.m_fPreviousMinutes = m_kClock.m_fPreviousMinutes;
    kState.m_ucDayRolled = m_kClock.m_ucDayRolled;
    return kState;
}

void CGame::PostMessage(int iMessage)
{
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->PostMessage(iMessage);
}

void CGame::PostNumberedMessage(int iMessage, int iValue)
{
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->PostNumberedMessage(iMessage, iValue);
}

bool CGame::IsMessageShowing() const
{
    const CInterface* pkInterface = CInterface::Get();
    return pkInterface != nullptr && pkInterface->IsMessageShowing();
}

void CGame::PlaySample(int iSample, int iVolume, bool bLoop)
{
    if (m_pkSoundSystem != nullptr)
        m_pkSoundSystem->PlaySample(iSample, iVolume, bLoop);
}

void CGame::StopSample(int iSample)
{
    if (m_pkSoundSystem != nullptr)
        m_pkSoundSystem->StopSample(iSample);
}

std::uint32_t CGame::GetLevelNumber() const
{
    return m_pkLevelManager != nullptr ? m_pkLevelManager->GetLevel() : 0;
}

void CGame::SpawnStaffForRoom(CPathableObject& kRoom)
{
    if (m_pkSpawnManager != nullptr)
        (void)m_pkSpawnManager->SpawnStaffForRoom(&kRoom);
}

COrvaneImage* CGame::FindOrLoadImage(const char* pcPath)
{
    return m_pkSpawnManager != nullptr ? m_pkSpawnManager->FindOrLoadImage(pcPath) : nullptr;
}

void CGame::SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle)
{
    if (m_pkSpawnManager == nullptr)
        return;
    auto pkPath = std::make_unique<CSpawnManager::ArrivalPath>();
    pkPath->m_pkSpline = std::move(pkSpline);
    pkPath->m_pkVehicle = pkVehicle;
    m_pkSpawnManager->SetArrivalPath(std::move(pkPath));
}

void CGame::ObjectDestroyed(COrvaneObject* pkObject)
{
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->ObjectDestroyed(pkObject);
    if (CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting())
        pkPlacement->ObjectDestroyed(pkObject);
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->ObjectDestroyed(pkObject);
    // A building is a world object, and so an object of the registry.
    if (m_pkSelectedBuilding != nullptr &&
        static_cast<const void*>(m_pkSelectedBuilding) == static_cast<const void*>(pkObject))
        m_pkSelectedBuilding = nullptr;
}

std::unique_ptr<COrvaneGame> CGameFactory::CreateGame()
{
    return std::make_unique<CGame>();
}
