#include "tests/game/support/CPlayScript.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiRandom.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneInterface.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneSystem.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CCamera.h"
#include "game/shell/CDX9RendererFactory.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/SaveNames.h"
#include "game/shell/CStartUp.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CFilePanel.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/shell/ui/COptionsPanel.h"
#include "game/shell/RegisterEngineLibraries.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsDialogWindow.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsTime.h"
#include "tests/game/support/CHeadlessPrison.h"
#include "tests/platform/os/OsInputInjection.h"

#include <cmath>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

// The clock of a scripted run: the counter stands still (path searches
// never split by time), the tick count moves a millisecond a reading so
// anything waiting on it ends.
class CPlayClock : public os::Clock
{
public:
    std::uint64_t Milliseconds() override { return ++m_uiNow; }
    std::uint64_t Counter() override { return m_uiNow; }
    std::uint64_t Frequency() override { return 1000; }
    std::int64_t UnixMilliseconds() override { return 0; }
    std::uint64_t m_uiNow = 5000;
};

namespace
{
// The main panel's options button.
constexpr std::int32_t OPTIONS_BUTTON = 3;
// The main menu's scenarios button and the scenario screen's start.
constexpr std::int32_t MAIN_SCENARIOS = 2;
constexpr std::int32_t SCENARIO_START = 4;

std::uint8_t DigitScanCode(char cDigit)
{
    return cDigit == '0' ? 0x0B : static_cast<std::uint8_t>(0x02 + (cDigit - '1'));
}

std::string ReadBytes(const std::filesystem::path& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>()};
}

// The launcher's Play button from the layout in the settings: the
// options screen's "play" node holds left, top, right, bottom.
bool PlayButtonCentre(int& iX, int& iY)
{
    const std::string kSetup = ReadBytes(CStartUp::SETUP_FILE);
    const std::size_t uiScreen = kSetup.find("<Language_Specific>");
    const std::size_t uiAt = kSetup.find("<play>\r\n", uiScreen == std::string::npos ? 0 : uiScreen);
    if (uiAt == std::string::npos)
        return false;
    std::istringstream kIn(kSetup.substr(uiAt + 8));
    int aiEdges[4] = {};
    for (int& iEdge : aiEdges)
        if (!(kIn >> iEdge))
            return false;
    iX = (aiEdges[0] + aiEdges[2]) / 2;
    iY = (aiEdges[1] + aiEdges[3]) / 2;
    return true;
}

os::WindowHandle MainWindow()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    return pkApp != nullptr && pkApp->GetWindow() != nullptr ? pkApp->GetWindow()->GetHandle() : nullptr;
}

// The renderer the application made, kept from the engine's libraries'
// own reset for the life of the script.
CDX9RendererFactory& Renderers()
{
    static CDX9RendererFactory s_kRenderers;
    return s_kRenderers;
}
} // namespace

CPlayScript::CPlayScript(std::uint32_t uiSeed) : m_uiSeed(uiSeed), m_pkClock(std::make_unique<CPlayClock>()) {}

CPlayScript::~CPlayScript()
{
    if (m_bStarted)
    {
        CBuildPlacement::Destroy();
        COrvaneApplication::DestroyInstance();
        COrvaneInterface::ReleaseActivePanel();
        COrvaneRendererFactory::Set(nullptr);
        NiDX9Renderer::ResetStatics();
        NiAnimationLibrary::Reset();
        NiMainLibrary::Reset();
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        CDynamicObjectManager::DestroyInstance();
        CStartUp::ResetStatics();
    }
    os::SetDialogIdleHook(nullptr);
    os::ResetMessageBoxHook();
    os::SetClock(nullptr);
}

bool CPlayScript::CopyDemoData(const std::string& kDemoData, const std::string& kFolder)
{
    std::error_code kError;
    std::filesystem::copy(kDemoData, kFolder,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
                          kError);
    if (kError)
        return false;
    const std::filesystem::path kData = std::filesystem::path(kFolder) / "data.xml";
    std::string kBytes = ReadBytes(kData);
    const std::size_t uiFrom = kBytes.find("<MUSIC>\r\n");
    const std::size_t uiTo = kBytes.find("</MUSIC>", uiFrom == std::string::npos ? 0 : uiFrom);
    if (uiFrom == std::string::npos || uiTo == std::string::npos)
        return false;
    kBytes.erase(uiFrom + 9, uiTo - (uiFrom + 9));
    std::ofstream kOut(kData, std::ios::binary | std::ios::trunc);
    kOut << kBytes;
    return static_cast<bool>(kOut);
}

bool CPlayScript::Fail(const std::string& kWhy)
{
    m_kWhy = kWhy;
    return false;
}

CGame& CPlayScript::Game() const
{
    return *dynamic_cast<CGame*>(COrvaneApplication::Get()->GetGame());
}

bool CPlayScript::Start()
{
    os::SetClock(m_pkClock.get());
    os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view kCaption, std::uint32_t) {
        m_kBoxes.push_back({std::string(kCaption), std::string(kText)});
        return 1;
    });
    // The engine's libraries join as the program's entry has them.
    NiMainLibrary::Reset();
    NiAnimationLibrary::Reset();
    NSBShaderLib::ResetRegistration();
    NiD3DShaderLibraryStatics::Reset();
    RegisterEngineLibraries();
    NiDX9Renderer::ResetStatics();
    COrvaneRendererFactory::Set(&Renderers());
    m_bStarted = true;

    // The launcher is shown even on a headless driver, and its Play
    // button clicked once it waits for input.
    CStartUp::SetShownWhenHeadless(true);
    int iPlayX = 0;
    int iPlayY = 0;
    if (!PlayButtonCentre(iPlayX, iPlayY))
        return Fail("no Play button in the launcher's layout");
    int iIdle = 0;
    os::SetDialogIdleHook([&iIdle, iPlayX, iPlayY](os::DialogWindow& kWindow) {
        // Past a few tries the window is closed, so the start always ends.
        if (++iIdle > 20)
        {
            ostest::InjectDialogClose(kWindow.GetWindowId());
            return;
        }
        ostest::InjectDialogMotion(kWindow.GetWindowId(), iPlayX, iPlayY);
        ostest::InjectDialogClick(kWindow.GetWindowId(), iPlayX, iPlayY);
    });
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    if (!pkApp->Init(nullptr, kFactory, 1024, 768))
        return Fail("the window could not be made");
    const bool bStarted = pkApp->Start();
    os::SetDialogIdleHook(nullptr);
    if (!bStarted)
        return Fail("the application did not start");
    NiSeedRandom(m_uiSeed);
    // The loop's own first pass.
    pkApp->GetSystem()->ResetTimer();
    Game().Render();
    Game().Update(COrvaneApplication::FIRST_UPDATE_TIME);
    // The first move the window reports is taken for the game's own warp
    // of the cursor: the pointer comes into the window once.
    MoveTo(512.0f, 384.0f);
    Frame(2);
    CFrontEndScreens* pkScreens = Game().GetFrontEndScreens();
    if (Game().GetState() != CGame::STATE_FRONT_END || pkScreens == nullptr ||
        pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_MAIN)
        return Fail("the main menu did not show after Play");
    return true;
}

void CPlayScript::Frame(int iCount)
{
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    for (int i = 0; i < iCount; ++i)
    {
        bool bQuit = false;
        (void)pkApp->GetSystem()->PumpMessages(MainWindow(), bQuit);
        pkApp->GetWindow()->DispatchInputEvents();
        Game().Render();
        Game().Update(m_fFrame);
    }
}

void CPlayScript::MoveTo(float fX, float fY)
{
    ostest::InjectMotion(MainWindow(), static_cast<int>(std::lround(fX)), static_cast<int>(std::lround(fY)));
    Frame();
}

void CPlayScript::Click(float fX, float fY, bool bRight)
{
    const int iX = static_cast<int>(std::lround(fX));
    const int iY = static_cast<int>(std::lround(fY));
    const ostest::MouseButton eButton = bRight ? ostest::MouseButton::Right : ostest::MouseButton::Left;
    // The pointer rests on the spot first, as the player's would.
    ostest::InjectMotion(MainWindow(), iX, iY);
    Frame(2);
    ostest::InjectButton(MainWindow(), eButton, true, iX, iY);
    Frame();
    ostest::InjectButton(MainWindow(), eButton, false, iX, iY);
    Frame();
}

void CPlayScript::Tap(float fFromX, float fFromY, float fX, float fY, bool bHeld)
{
    ostest::InjectMotion(MainWindow(), static_cast<int>(std::lround(fFromX)), static_cast<int>(std::lround(fFromY)));
    Frame(2);
    const int iX = static_cast<int>(std::lround(fX));
    const int iY = static_cast<int>(std::lround(fY));
    ostest::InjectMotion(MainWindow(), iX, iY);
    ostest::InjectButton(MainWindow(), ostest::MouseButton::Left, true, iX, iY);
    if (bHeld)
        Frame();
    ostest::InjectButton(MainWindow(), ostest::MouseButton::Left, false, iX, iY);
    Frame();
}

bool CPlayScript::WidgetCentre(const COrvaneCanvas& kCanvas, std::int32_t iWidget, float& fX, float& fY)
{
    const COrvaneWidgetRect* pkRect = nullptr;
    if (const auto* pkFront = dynamic_cast<const CFrontEndPanel*>(&kCanvas))
        pkRect = pkFront->GetWidgetArea(iWidget);
    if (pkRect == nullptr)
        pkRect = kCanvas.GetWidgetRect(iWidget);
    if (pkRect == nullptr)
        return false;
    fX = kCanvas.GetX() + pkRect->m_fX + pkRect->m_fWidth / 2.0f;
    fY = kCanvas.GetY() + pkRect->m_fY + pkRect->m_fHeight / 2.0f;
    return true;
}

bool CPlayScript::ClickWidget(const COrvaneCanvas& kCanvas, std::int32_t iWidget)
{
    float fX = 0.0f;
    float fY = 0.0f;
    if (!WidgetCentre(kCanvas, iWidget, fX, fY))
        return Fail("no widget " + std::to_string(iWidget));
    Click(fX, fY);
    return true;
}

void CPlayScript::PressScanCode(std::uint8_t ucCode, bool bExtended)
{
    (void)ostest::InjectScanCode(MainWindow(), ucCode, bExtended, true);
    (void)ostest::InjectScanCode(MainWindow(), ucCode, bExtended, false);
    Frame();
}

void CPlayScript::HoldScanCode(std::uint8_t ucCode, int iFrames)
{
    (void)ostest::InjectScanCode(MainWindow(), ucCode, false, true);
    Frame(iFrames);
    (void)ostest::InjectScanCode(MainWindow(), ucCode, false, false);
    Frame();
}

void CPlayScript::TurnView(float fDX, float fDY, int iSteps)
{
    const int iX = 512;
    const int iY = 384;
    ostest::InjectMotion(MainWindow(), iX, iY);
    Frame();
    (void)ostest::InjectScanCode(MainWindow(), SCAN_CTRL, false, true);
    Frame();
    // While the view turns the game keeps its cursor where the turn began,
    // so each frame's push is measured from the middle.
    for (int i = 0; i < iSteps; ++i)
    {
        ostest::InjectMotion(MainWindow(), iX + static_cast<int>(std::lround(fDX)),
                             iY + static_cast<int>(std::lround(fDY)));
        Frame();
    }
    (void)ostest::InjectScanCode(MainWindow(), SCAN_CTRL, false, false);
    ostest::InjectMotion(MainWindow(), iX, iY);
    Frame();
}

void CPlayScript::Type(const std::string& kText)
{
    for (const char c : kText)
    {
        if (c >= '0' && c <= '9')
        {
            PressScanCode(DigitScanCode(c));
            continue;
        }
        ostest::InjectKey(MainWindow(), c, true);
        ostest::InjectKey(MainWindow(), c, false);
        Frame();
    }
}

bool CPlayScript::EnterFreeGame()
{
    CFrontEndScreens* pkScreens = Game().GetFrontEndScreens();
    if (pkScreens == nullptr || pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_MAIN)
        return Fail("not at the main menu");
    if (!ClickWidget(*pkScreens->GetCurrentPanel(), 1))
        return false;
    if (pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_LOCATION)
        return Fail("main menu 1 did not lead to the locations");
    if (!ClickWidget(*pkScreens->GetCurrentPanel(), 1))
        return false;
    for (int i = 0; i < 10 && Game().GetState() != CGame::STATE_IN_GAME; ++i)
        Frame();
    if (Game().GetState() != CGame::STATE_IN_GAME)
        return Fail("location 1 did not start a game");
    // The first frames of the level: the camera settles, the pick runs.
    Frame(3);
    return true;
}

bool CPlayScript::OpenScenarios()
{
    CFrontEndScreens* pkScreens = Game().GetFrontEndScreens();
    if (Game().GetState() != CGame::STATE_FRONT_END || pkScreens == nullptr ||
        pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_MAIN)
        return Fail("not at the main menu");
    if (!ClickWidget(*pkScreens->GetCurrentPanel(), MAIN_SCENARIOS))
        return false;
    return pkScreens->GetCurrentScreen() == CFrontEndScreens::SCREEN_SCENARIO ||
           Fail("main menu 2 did not lead to the scenarios");
}

bool CPlayScript::StartScenario()
{
    CFrontEndScreens* pkScreens = Game().GetFrontEndScreens();
    if (pkScreens == nullptr || pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_SCENARIO)
        return Fail("not at the scenario screen");
    if (!ClickWidget(*pkScreens->GetCurrentPanel(), SCENARIO_START))
        return false;
    for (int i = 0; i < 10 && Game().GetState() != CGame::STATE_IN_GAME; ++i)
        Frame();
    if (Game().GetState() != CGame::STATE_IN_GAME)
        return Fail("the scenario's start did not start a game");
    Frame(3);
    return true;
}

bool CPlayScript::RunUntilResult(int iDays, int& iMornings)
{
    iMornings = 0;
    // As RunDays: a game day at speed 12 is 2400 frames.
    const int iLimit = 4000 * iDays;
    for (int i = 0; i < iLimit && !Game().IsResultPending(); ++i)
    {
        Frame();
        CInterface* pkInterface = CInterface::Get();
        if (pkInterface == nullptr || !pkInterface->IsDeskTopShown())
            continue;
        if (++iMornings > iDays)
            break;
        // The morning the result comes, the result's frame takes the desk
        // top away itself.
        Frame();
        if (pkInterface->IsDeskTopShown() && !ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE))
            return false;
        if (pkInterface->IsDeskTopShown())
            return Fail("the desk top's leave did not close it");
    }
    return Game().IsResultPending() ||
           Fail("no result after " + std::to_string(iMornings) + " mornings");
}

bool CPlayScript::LeaveResultScreen()
{
    if (!Game().IsResultPending())
        return Fail("no result is showing");
    PressScanCode(SCAN_SPACE);
    Frame();
    CFrontEndScreens* pkScreens = Game().GetFrontEndScreens();
    if (Game().GetState() != CGame::STATE_FRONT_END || pkScreens == nullptr ||
        pkScreens->GetCurrentScreen() != CFrontEndScreens::SCREEN_MAIN)
        return Fail("Space did not lead back to the main menu");
    return true;
}

bool CPlayScript::EnterCheatCode(bool bSpeed)
{
    if (Game().GetCodeEntry() != CGame::CODE_CHEATS)
    {
        PressScanCode(SCAN_ENTER);
        Type(CGame::CHEAT_CODE);
    }
    if (Game().GetCodeEntry() != CGame::CODE_CHEATS)
        return Fail("the cheat code was not taken");
    if (!bSpeed)
        return true;
    PressScanCode(DigitScanCode('6'));
    if (Game().GetGameSpeed() != 12.0f)
        return Fail("key 6 did not set speed 12");
    return true;
}

void CPlayScript::AddCheatMoney(int iTimes)
{
    for (int i = 0; i < iTimes; ++i)
        PressScanCode(SCAN_M);
}

bool CPlayScript::ProjectCell(const CBlockGrid& kFloor, std::int32_t iCell, float& fX, float& fY) const
{
    NiVec3 kAt;
    return kFloor.CellPosition(iCell, kAt, false) && ProjectPoint(kAt, fX, fY);
}

bool CPlayScript::ProjectPoint(const NiVec3& kAt, float& fX, float& fY) const
{
    COrvaneCamera* pkCamera = Game().GetCamera();
    const NiCamera* pkEngine = pkCamera != nullptr ? pkCamera->GetEngineCamera() : nullptr;
    const NiRenderer* pkRenderer = NiRenderer::GetRenderer();
    if (pkEngine == nullptr || pkRenderer == nullptr)
        return false;
    // The inverse of the camera's window-point ray.
    const NiVec3 kAway = kAt - pkEngine->GetWorldLocation();
    const float fDepth = kAway.Dot(pkEngine->GetWorldDirection());
    if (fDepth <= 0.0f)
        return false;
    const NiViewFrustum& kFrustum = pkEngine->GetViewFrustum();
    const float fAcross = kAway.Dot(pkEngine->GetWorldRightVector()) / fDepth;
    const float fUp = kAway.Dot(pkEngine->GetWorldUpVector()) / fDepth;
    const NiRect<float>& kPort = pkEngine->GetViewPort();
    const float fU = kPort.m_left + (fAcross - kFrustum.m_fLeft) / (kFrustum.m_fRight - kFrustum.m_fLeft) *
                                        (kPort.m_right - kPort.m_left);
    const float fV = kPort.m_bottom + (fUp - kFrustum.m_fBottom) / (kFrustum.m_fTop - kFrustum.m_fBottom) *
                                          (kPort.m_top - kPort.m_bottom);
    fX = fU * static_cast<float>(pkRenderer->GetWidth());
    fY = (1.0f - fV) * static_cast<float>(pkRenderer->GetHeight());
    return fX >= 0.0f && fY >= 0.0f && fX < static_cast<float>(pkRenderer->GetWidth()) &&
           fY < static_cast<float>(pkRenderer->GetHeight());
}

bool CPlayScript::PointAtCell(const CBlockGrid& kFloor, std::int32_t iCell)
{
    float fX = 0.0f;
    float fY = 0.0f;
    if (!ProjectCell(kFloor, iCell, fX, fY))
        return false;
    MoveTo(fX, fY);
    const CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    return pkGrids->GetPickGrid() == &kFloor && pkGrids->GetPickCell() == iCell;
}

namespace
{
bool IsOpen(const COrvaneCanvas* pkCanvas)
{
    const CInterface* pkInterface = CInterface::Get();
    return pkInterface != nullptr && (pkInterface->IsCanvasOpen(pkCanvas, false) || pkInterface->IsCanvasOpen(pkCanvas, true));
}

CBuildPanel* OpenBuildPanel(CPlayScript& kScript, bool bInternal)
{
    CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr || pkInterface->GetMainPanel() == nullptr)
        return nullptr;
    CBuildPanel* pkPanel = pkInterface->GetBuildPanel(bInternal);
    if (pkPanel == nullptr)
        return nullptr;
    if (!pkInterface->IsCanvasOpen(pkPanel, false))
        (void)kScript.ClickWidget(*pkInterface->GetMainPanel(), CMainPanel::WIDGET_BUILD);
    return pkInterface->IsCanvasOpen(pkPanel, false) ? pkPanel : nullptr;
}

const COrvaneObjectTemplate* Held()
{
    const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    return pkPlacement != nullptr && pkPlacement->IsPlacing() ? pkPlacement->GetTemplate() : nullptr;
}

// The page's category and item of the template; false when it has none.
bool FindOnPage(const CBuildSubPanel& kPage, const COrvaneObjectTemplate* pkWanted, std::int32_t& iCategory,
                std::int32_t& iItem)
{
    for (std::size_t c = 0; c < kPage.GetCategories().size(); ++c)
        for (std::size_t i = 0; i < kPage.GetCategories()[c].m_kItems.size(); ++i)
            if (kPage.GetTemplate(static_cast<std::int32_t>(c), static_cast<std::int32_t>(i)) == pkWanted)
            {
                iCategory = static_cast<std::int32_t>(c);
                iItem = static_cast<std::int32_t>(i);
                return true;
            }
    return false;
}
} // namespace

// The item picked up through the panel's icons and the page's arrows.
static bool PickItem(CPlayScript& kScript, CBuildPanel& kPanel, const std::string& kTemplate)
{
    const COrvaneObjectTemplate* pkWanted = CDynamicObjectManager::GetInstance()->FindTemplate(kTemplate.c_str());
    CBuildSubPanel* pkPage = kPanel.GetPage();
    std::int32_t iCategory = -1;
    std::int32_t iItem = -1;
    if (pkWanted == nullptr || pkPage == nullptr || !FindOnPage(*pkPage, pkWanted, iCategory, iItem))
        return false;
    if (Held() == pkWanted)
        return true;
    if (pkPage->GetCurrentCategory() != iCategory && !kScript.ClickWidget(*kPanel.GetChild(0), iCategory + 1))
        return false;
    for (int i = 0; i < 8 && pkPage->GetCurrentItemIndex() != iItem; ++i)
        (void)kScript.ClickWidget(*pkPage, pkPage->GetCurrentItemIndex() < iItem ? CBuildSubPanel::WIDGET_FORWARD
                                                                                  : CBuildSubPanel::WIDGET_BACK);
    return Held() == pkWanted;
}

// The cursor moved over the floor's cells from iFrom on until the held
// object may stand there, then the click; true when it was put down.
static bool PlaceHeld(CPlayScript& kScript, const CBlockGrid& kFloor, std::int32_t iFrom, std::int32_t iStep)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    const std::int32_t iCells = kFloor.GetRows() * kFloor.GetColumns();
    for (std::int32_t n = 0; n < iCells; n += iStep)
    {
        const std::int32_t iCell = (iFrom + n) % iCells;
        if (pkPlacement == nullptr || !pkPlacement->IsPlacing() || !kScript.PointAtCell(kFloor, iCell))
            continue;
        CBaseObject* pkHeld = pkPlacement->GetObject();
        if (pkHeld == nullptr || !pkHeld->IsPlacementValid(true))
            continue;
        float fX = 0.0f;
        float fY = 0.0f;
        (void)kScript.ProjectCell(kFloor, iCell, fX, fY);
        kScript.Click(fX, fY);
        return pkHeld->IsPlaced();
    }
    return false;
}

CBaseObject* CPlayScript::BuildOnYard(const std::string& kTemplate, std::int32_t iFrom)
{
    CBuildPanel* pkPanel = OpenBuildPanel(*this, false);
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    if (pkPanel == nullptr || pkYard == nullptr)
        return Fail("no grounds build panel"), nullptr;
    if (!PickItem(*this, *pkPanel, kTemplate))
        return Fail("the build panel did not pick up " + kTemplate), nullptr;
    CBaseObject* pkHeld = CBuildPlacement::GetExisting()->GetObject();
    if (!PlaceHeld(*this, *pkYard, iFrom, 1))
        return Fail(kTemplate + " found no place on the yard"), nullptr;
    return pkHeld;
}

void CPlayScript::LeaveBuilding()
{
    PressScanCode(SCAN_SPACE);
    if (Game().GetSelectedBuilding() != nullptr)
        PressScanCode(0x12); // e: out of the building
}

bool CPlayScript::BuildInside(CWorldObject& kBuilding, const std::string& kTemplate)
{
    if (Game().GetSelectedBuilding() != &kBuilding)
    {
        LeaveBuilding();
        // The building's middle clicked: the building view opens.
        float fX = 0.0f;
        float fY = 0.0f;
        const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        const NiVec3* pkAt = kBuilding.GetModelPosition();
        const std::int32_t iCell = pkYard != nullptr && pkAt != nullptr ? pkYard->CellAt(*pkAt) : -1;
        if (iCell >= 0 && ProjectCell(*pkYard, iCell, fX, fY))
            Click(fX, fY);
        if (Game().GetSelectedBuilding() != &kBuilding)
        {
            // Off the screen, or a model without geometry that gives the
            // pick nothing to hit: the click's own step, noted.
            ++m_iEnteredWithoutClick;
            Game().SetSelectedBuilding(&kBuilding);
            Game().EnterBuilding();
            Frame();
        }
    }
    CBuildPanel* pkPanel = OpenBuildPanel(*this, true);
    if (pkPanel == nullptr)
        return Fail("no inside build panel");
    if (!PickItem(*this, *pkPanel, kTemplate))
        return Fail("the inside build panel did not pick up " + kTemplate);
    CMainPanel* pkMain = CInterface::Get()->GetMainPanel();
    CFloorChangePanel* pkFloors = pkMain != nullptr ? pkMain->GetFloorPanel() : nullptr;
    if (kBuilding.GetStack() == nullptr || pkFloors == nullptr)
        return Fail(kTemplate + ": the building has no floors");
    // From the ground floor up.
    for (int i = 0; i < 8; ++i)
    {
        const CBlockGrid* pkBefore = kBuilding.GetStack()->GetCurrentGrid();
        (void)ClickWidget(*pkFloors, CFloorChangePanel::WIDGET_DOWN);
        if (kBuilding.GetStack()->GetCurrentGrid() == pkBefore)
            break;
    }
    for (int iFloor = 0; iFloor < 8; ++iFloor)
    {
        const CBlockGrid* pkFloor = kBuilding.GetStack()->GetCurrentGrid();
        if (pkFloor != nullptr && PlaceHeld(*this, *pkFloor, 0, 1))
            return true;
        const CBlockGrid* pkBefore = pkFloor;
        (void)ClickWidget(*pkFloors, CFloorChangePanel::WIDGET_UP);
        if (kBuilding.GetStack()->GetCurrentGrid() == pkBefore)
            break;
        if (!PickItem(*this, *pkPanel, kTemplate))
            break;
    }
    return Fail(kTemplate + " found no place inside");
}

bool CPlayScript::SetSpeedButton(std::int32_t iSpeed)
{
    CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr || pkInterface->GetMainPanel() == nullptr ||
        !ClickWidget(*pkInterface->GetMainPanel(), CMainPanel::WIDGET_SPEED_0 + iSpeed))
        return false;
    return Game().GetGameSpeed() == static_cast<float>(iSpeed) || Fail("the speed button did not set the speed");
}

bool CPlayScript::BuildGrounds()
{
    CPrisonStatistics* pkLedger = Game().GetStatistics();
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    if (pkLedger == nullptr || pkYard == nullptr)
        return Fail("no level to build in");
    // Paused with the main panel's speed 0 first: at speed the day's
    // arrival takes the camera along with its vehicle.
    if (!SetSpeedButton(0))
        return false;
    // Money and the first prison level through the cheat keys: five
    // buildings cost more than a new prison holds, and the hospital needs
    // level 1.
    if (!EnterCheatCode(false))
        return false;
    AddCheatMoney(CHEAT_PRESSES);
    PressScanCode(0x2D); // x: score, the prison's level
    const std::int32_t iColumns = pkYard->GetColumns();
    m_kBuilt.clear();
    for (const CHeadlessPrison::Building& kBuilding : CHeadlessPrison::PlayPrison())
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(
            BuildOnYard(kBuilding.m_pcTemplate, kBuilding.m_iRow * iColumns + kBuilding.m_iColumn));
        if (pkBuilding == nullptr)
            return m_kWhy.empty() ? Fail(std::string(kBuilding.m_pcTemplate) + " is no building") : false;
        m_kBuilt.push_back(pkBuilding);
    }
    if (BuildOnYard("fence", CHeadlessPrison::FENCE_ROW * iColumns + CHeadlessPrison::FENCE_COLUMN) == nullptr)
        return false;
    LeaveBuilding();
    return true;
}

bool CPlayScript::FurnishPrison()
{
    const std::vector<CHeadlessPrison::Building>& kBuildings = CHeadlessPrison::PlayPrison();
    if (m_kBuilt.size() != kBuildings.size())
        return Fail("the buildings are not there");
    m_kInside.clear();
    m_kNotFitting.clear();
    for (std::size_t b = 0; b < kBuildings.size(); ++b)
    {
        for (const char* pcItem : kBuildings[b].m_kInside)
        {
            if (BuildInside(*m_kBuilt[b], pcItem))
                m_kInside.emplace_back(pcItem);
            else
                m_kNotFitting.push_back(std::string(kBuildings[b].m_pcTemplate) + ": " + m_kWhy);
        }
        LeaveBuilding();
    }
    m_kWhy.clear();
    return true;
}

bool CPlayScript::BuildPrison()
{
    return BuildGrounds() && FurnishPrison();
}

bool CPlayScript::WasPosted(std::int32_t iMessage)
{
    const CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr)
        return false;
    if (const CMainPanel* pkMain = pkInterface->GetMainPanel())
        for (const CTickerMessage& kMessage : pkMain->GetQueue())
            if (kMessage.m_iMessage == iMessage)
                return true;
    if (const CMessageHistoryPanel* pkHistory = pkInterface->GetMessageHistory())
        for (const CHistoryMessage& kMessage : pkHistory->GetMessages())
            if (kMessage.m_iEntry == iMessage)
                return true;
    return false;
}

bool CPlayScript::ClickDeskTop(std::int32_t iWidget)
{
    CInterface* pkInterface = CInterface::Get();
    COrvaneCanvas* pkDesk = pkInterface != nullptr ? pkInterface->GetPanel(CInterface::PANEL_DESK_TOP) : nullptr;
    if (pkDesk == nullptr || !pkInterface->IsDeskTopShown())
        return Fail("the desk top is not showing");
    return ClickWidget(*pkDesk, iWidget);
}

bool CPlayScript::RunDays(int iDays, const std::function<void(int)>& fnMorning)
{
    // A game day at speed 12 in 0.05 s frames is 2400 frames; a night's
    // fade adds little.
    const int iLimit = 4000 * iDays;
    int iMornings = 0;
    for (int i = 0; i < iLimit && iMornings < iDays; ++i)
    {
        Frame();
        CInterface* pkInterface = CInterface::Get();
        if (pkInterface != nullptr && pkInterface->IsDeskTopShown())
        {
            ++iMornings;
            if (fnMorning)
                fnMorning(iMornings);
            if (pkInterface->IsDeskTopShown() && !ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE))
                return false;
            if (pkInterface->IsDeskTopShown())
                return Fail("the desk top's leave did not close it");
        }
    }
    return iMornings == iDays || Fail("only " + std::to_string(iMornings) + " mornings came");
}

bool CPlayScript::RunUntilHour(float fHour)
{
    for (int i = 0; i < 4000; ++i)
    {
        if (Game().GetGameClock().m_fMinutes >= fHour * 60.0f)
            return true;
        Frame();
    }
    return Fail("the clock did not reach the hour");
}

bool CPlayScript::OpenOptionsFilePanel(bool bLoad)
{
    CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr || pkInterface->GetMainPanel() == nullptr)
        return Fail("no interface");
    COrvaneCanvas* pkOptions = pkInterface->GetPanel(CInterface::PANEL_OPTIONS);
    COrvaneCanvas* pkFile = pkInterface->GetPanel(bLoad ? CInterface::PANEL_LOAD : CInterface::PANEL_SAVE);
    if (pkOptions == nullptr || pkFile == nullptr)
        return Fail("no options or file panel");
    if (!IsOpen(pkOptions))
    {
        if (!ClickWidget(*pkInterface->GetMainPanel(), OPTIONS_BUTTON))
            return false;
    }
    if (!IsOpen(pkOptions))
        return Fail("the options panel did not open");
    if (!ClickWidget(*pkOptions, bLoad ? COptionsPanel::WIDGET_LOAD : COptionsPanel::WIDGET_SAVE))
        return false;
    if (!IsOpen(pkFile))
        return Fail("the file panel did not open");
    return true;
}

bool CPlayScript::AnswerYes()
{
    CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr || !pkInterface->IsConfirmationOpen() || pkInterface->GetConfirmPanel() == nullptr)
        return Fail("no question was asked");
    return ClickWidget(*pkInterface->GetConfirmPanel(), CConfirmPanel::WIDGET_YES);
}

bool CPlayScript::SaveAs(const std::string& kName)
{
    // The panel browses inside the save folder: the path from here first.
    const std::string kPath = os::GetCurrentFolder() + "/" + SAVE_FOLDER + "/" + kName + ".fds";
    if (!OpenOptionsFilePanel(false))
        return false;
    auto* pkPanel = dynamic_cast<CFilePanel*>(CInterface::Get()->GetPanel(CInterface::PANEL_SAVE));
    // The name field starts with what the panel suggests: cleared first.
    for (std::size_t i = pkPanel->GetTypedName().size(); i > 0; --i)
        PressScanCode(0x0E);
    Type(kName);
    if (pkPanel->GetTypedName() != kName)
        return Fail("the save name typed reads \"" + pkPanel->GetTypedName() + "\"");
    if (!ClickWidget(*pkPanel, CFilePanel::WIDGET_ACTION))
        return false;
    // Over an existing save the panel asks first.
    if (CInterface::Get()->IsConfirmationOpen() && !AnswerYes())
        return false;
    Frame();
    if (IsOpen(pkPanel))
        return Fail("the save panel is still open");
    return os::FileExists(kPath) || Fail("no " + kPath + " after the save");
}

bool CPlayScript::LoadFrom(const std::string& kName)
{
    if (!OpenOptionsFilePanel(true))
        return false;
    auto* pkPanel = dynamic_cast<CFilePanel*>(CInterface::Get()->GetPanel(CInterface::PANEL_LOAD));
    for (std::size_t i = pkPanel->GetTypedName().size(); i > 0; --i)
        PressScanCode(0x0E);
    Type(kName);
    if (pkPanel->GetTypedName() != kName)
        return Fail("the load name typed reads \"" + pkPanel->GetTypedName() + "\"");
    if (!ClickWidget(*pkPanel, CFilePanel::WIDGET_ACTION))
        return false;
    if (!AnswerYes())
        return false;
    Frame(2);
    return Game().GetState() == CGame::STATE_IN_GAME || Fail("the game is not running after the load");
}

void CPlayScript::CloseFilePanel()
{
    for (const std::int16_t sPanel : {CInterface::PANEL_SAVE, CInterface::PANEL_LOAD})
        if (COrvaneCanvas* pkPanel = CInterface::Get()->GetPanel(sPanel); pkPanel != nullptr && IsOpen(pkPanel))
            (void)ClickWidget(*pkPanel, CFilePanel::WIDGET_CLOSE);
}
