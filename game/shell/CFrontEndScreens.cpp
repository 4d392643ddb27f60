#include "game/shell/CFrontEndScreens.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/CLocale.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"

#include <charconv>

namespace
{
enum Button : std::int32_t
{
    MAIN_LOCATION = 1,
    MAIN_SCENARIOS = 2,
    MAIN_QUIT = 3,
    MAIN_LOAD = 4,
    LOCATION_BACK = 4,
    SCENARIO_PREVIOUS = 1,
    SCENARIO_NEXT = 2,
    SCENARIO_BACK = 3,
    SCENARIO_START = 4
};

std::string Trim(const std::string& kValue)
{
    const std::string::size_type uiFirst = kValue.find_first_not_of(" \t\r\n");
    if (uiFirst == std::string::npos)
        return {};
    const std::string::size_type uiLast = kValue.find_last_not_of(" \t\r\n");
    return kValue.substr(uiFirst, uiLast - uiFirst + 1);
}

// The line after the first line holding the marker, as an unsigned
// decimal; 0 when the marker, the line or the number is missing.
std::uint32_t NumberAfter(COrvaneTagFile& kFile, const char* pcMarker)
{
    if (kFile.FindLine(pcMarker) == 0)
        return 0;
    std::string kLine;
    kFile.ReadLine(kLine);
    kLine = Trim(kLine);
    std::uint32_t uiValue = 0;
    const auto [pcEnd, eError] = std::from_chars(kLine.data(), kLine.data() + kLine.size(), uiValue);
    return eError == std::errc() && pcEnd == kLine.data() + kLine.size() ? uiValue : 0;
}

std::unique_ptr<COrvaneImage> ScaledImage(const std::string& kPath)
{
    CWidgetDesc kDesc;
    kDesc.m_kName = kPath;
    CGame* pkGame = panel::Game();
    kDesc.m_pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
    kDesc.m_ucScaleToScreen = 1;
    auto pkImage = std::make_unique<COrvaneImage>();
    pkImage->Create(kDesc);
    return pkImage;
}

// Whether the settings' "Level_Data" names this level itself (not only the
// first level, which the level manager falls back on).
bool IsListedLevel(std::uint32_t uiLevel)
{
    const COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    const COrvaneTagNode* pkRoot = pkSettings != nullptr ? pkSettings->GetRoot() : nullptr;
    if (pkRoot == nullptr)
        return false;
    const std::string kNumber = std::to_string(uiLevel);
    for (std::size_t i = 0; i < pkRoot->GetChildCount(); ++i)
    {
        const COrvaneTagNode* pkSection = pkRoot->GetChild(i);
        if (pkSection == nullptr || pkSection->GetName().find("Level_Data") == std::string::npos)
            continue;
        for (std::size_t j = 0; j < pkSection->GetChildCount(); ++j)
        {
            const COrvaneTagNode* pkLevel = pkSection->GetChild(j);
            if (pkLevel != nullptr && (pkLevel->GetName() == kNumber || pkLevel->GetName() == "<" + kNumber + ">"))
                return true;
        }
        return false;
    }
    return false;
}
} // namespace

// ---- The screens' shared part ----

CFrontEndPanel::CFrontEndPanel() = default;

CFrontEndPanel::~CFrontEndPanel() = default;

void CFrontEndPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        SetWidgetState(iIndex, iEvent == EVENT_HOVER ? 1 : 0);
        return;
    }
    if (iEvent != EVENT_PRESSED)
        return;
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->CloseAllPanels();
    // Released as well: the next screen must not take the same press as
    // its own click.
    panel::ConsumeClick(true);
    StartScenario(iIndex);
}

void CFrontEndPanel::SetWidgetState(std::int32_t iIndex, std::int32_t iState)
{
    COrvaneWidget* pkWidget = iIndex > 0 ? GetWidget(iIndex) : nullptr;
    if (pkWidget != nullptr && iState >= 0)
        pkWidget->SetVisible(iState != 0);
}

const COrvaneWidgetRect* CFrontEndPanel::GetWidgetArea(std::int32_t iIndex) const
{
    const COrvaneWidget* pkWidget = GetWidget(iIndex);
    return pkWidget != nullptr ? &pkWidget->GetRect() : nullptr;
}

void CFrontEndPanel::StartScenario(std::int32_t iButton)
{
    CFrontEndScreens* pkOwner = m_pkOwner;
    CGame* pkGame = panel::Game();
    if (pkOwner == nullptr)
        return;
    switch (pkOwner->GetCurrentScreen())
    {
    case CFrontEndScreens::SCREEN_MAIN:
        if (iButton == MAIN_LOCATION)
            pkOwner->ShowScreen(CFrontEndScreens::SCREEN_LOCATION);
        else if (iButton == MAIN_SCENARIOS)
            pkOwner->ShowScreen(CFrontEndScreens::SCREEN_SCENARIO);
        else if (iButton == MAIN_QUIT)
        {
            if (COrvaneApplication* pkApp = COrvaneApplication::GetExisting())
                pkApp->RequestQuit();
        }
        else if (iButton == MAIN_LOAD)
        {
            if (pkGame != nullptr)
            {
                pkGame->SetSavedSpeed(pkGame->GetGameSpeed());
                pkGame->SetGameSpeed(0.0f);
            }
            if (CInterface* pkInterface = panel::Interface())
            {
                pkInterface->SetLoadPanelOpen(true);
                pkInterface->OpenPanel(CInterface::PANEL_LOAD);
            }
            pkOwner->SetInputEnabled(false);
        }
        break;
    case CFrontEndScreens::SCREEN_LOCATION:
        if (iButton == LOCATION_BACK)
            pkOwner->ShowScreen(CFrontEndScreens::SCREEN_MAIN);
        else if (iButton > 0 && IsListedLevel(static_cast<std::uint32_t>(iButton - 1)) && pkGame != nullptr &&
                 pkGame->GetGameLevelManager() != nullptr)
        {
            pkGame->GetGameLevelManager()->SetLevel(static_cast<std::uint32_t>(iButton - 1));
            pkGame->LoadLevelData();
        }
        break;
    case CFrontEndScreens::SCREEN_SCENARIO:
    {
        CFrontEndScenarioSelect* pkScenarios = pkOwner->GetScenarioPanel();
        if (iButton == SCENARIO_BACK)
            pkOwner->ShowScreen(CFrontEndScreens::SCREEN_MAIN);
        else if (pkScenarios == nullptr || pkScenarios->GetEntryCount() == 0)
            break;
        else if (iButton == SCENARIO_PREVIOUS)
            pkScenarios->PreviousScenario();
        else if (iButton == SCENARIO_NEXT)
            pkScenarios->NextScenario();
        else if (iButton == SCENARIO_START && pkGame != nullptr)
        {
            // The load reads the whole file before it lets go of anything: a
            // damaged scenario shows its box and the menu stays.
            const std::string kPath = pkScenarios->CurrentFile() + ".fds";
            if (!pkGame->LoadGame(kPath))
                break;
            pkOwner->DeleteScreens();
            if (CSoundSystem* pkSound = pkGame->GetSoundSystem())
                pkSound->StopMusicOnly();
        }
        break;
    }
    case CFrontEndScreens::SCREEN_NONE: break;
    }
}

// ---- Scenario selection ----

ScenarioEntry::ScenarioEntry() = default;
ScenarioEntry::~ScenarioEntry() = default;
ScenarioEntry::ScenarioEntry(ScenarioEntry&&) noexcept = default;
ScenarioEntry& ScenarioEntry::operator=(ScenarioEntry&&) noexcept = default;

CFrontEndScenarioSelect::CFrontEndScenarioSelect() = default;

CFrontEndScenarioSelect::~CFrontEndScenarioSelect() = default;

void CFrontEndScenarioSelect::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CFrontEndPanel::Create(pcImageName, fX, fY, bScale);
    m_pkStamp = ScaledImage(STAMP);
}

void CFrontEndScenarioSelect::BuildScenarioList(COrvaneTagTree* pkData)
{
    m_kEntries.clear();
    m_uiCurrent = 0;
    if (pkData == nullptr || !pkData->SelectSection("SCENARIOS", true))
        return;
    // Copied: the document's cursor moves no further, but its values stay
    // the document's.
    const std::vector<std::string> kValues = pkData->GetValues();
    for (const std::string& kValue : kValues)
    {
        // A blank line is no scenario (the completion record counts alike).
        const std::string kName = Trim(kValue);
        if (kName.empty())
            continue;
        ScenarioEntry kEntry;
        kEntry.m_kName = kName;
        COrvaneTagFile kFile;
        if (kFile.Open((kName + ".fds").c_str(), COrvaneFile::MODE_READ) != 0)
        {
            kEntry.m_uiScenario = NumberAfter(kFile, "<CONDITIONS>");
            kEntry.m_uiWorld = NumberAfter(kFile, "<WORLD>");
            kFile.Close();
        }
        kEntry.m_pkPreview = ScaledImage(kName + ".tga");
        m_kEntries.push_back(std::move(kEntry));
    }
}

void CFrontEndScenarioSelect::NextScenario()
{
    if (m_uiCurrent + 1 < m_kEntries.size())
        ++m_uiCurrent;
}

void CFrontEndScenarioSelect::PreviousScenario()
{
    if (m_uiCurrent > 0)
        --m_uiCurrent;
}

std::string CFrontEndScenarioSelect::CurrentFile() const
{
    const ScenarioEntry* pkEntry = GetCurrentEntry();
    return pkEntry != nullptr ? pkEntry->m_kName : std::string();
}

const ScenarioEntry* CFrontEndScenarioSelect::GetCurrentEntry() const
{
    return m_uiCurrent < m_kEntries.size() ? &m_kEntries[m_uiCurrent] : nullptr;
}

bool CFrontEndScenarioSelect::IsCurrentComplete() const
{
    const ScenarioEntry* pkEntry = GetCurrentEntry();
    if (pkEntry == nullptr)
        return false;
    COrvaneTagTree kConfig;
    if (!kConfig.Load(CGame::CONFIG_FILE) || !kConfig.SelectSection("SCENARIO_STATES", true))
        return false;
    const std::vector<std::string>& kStates = kConfig.GetValues();
    return pkEntry->m_uiScenario < kStates.size() &&
           kStates[pkEntry->m_uiScenario].find("COMPLETE") != std::string::npos;
}

void CFrontEndScenarioSelect::Draw()
{
    CFrontEndPanel::Draw();
    const ScenarioEntry* pkEntry = GetCurrentEntry();
    if (pkEntry == nullptr)
        return;
    const float fScaleX = panel::ScreenWidth() / 1024.0f;
    const float fScaleY = panel::ScreenHeight() / 768.0f;
    if (m_pkStamp != nullptr && IsCurrentComplete())
        m_pkStamp->Draw(100.0f * fScaleX, 450.0f * fScaleY);
    if (CLocale* pkLocale = panel::Locale())
    {
        COrvaneWidgetRect kBox;
        kBox.m_fX = 100.0f * fScaleX;
        kBox.m_fY = 450.0f * fScaleY;
        kBox.m_fWidth = 285.0f * fScaleX;
        kBox.m_fHeight = 190.0f * fScaleY;
        pkLocale->BeginFont(BRIEF_FONT);
        (void)pkLocale->DrawText(BRIEF_FONT, pkLocale->FindList("SCENARIOS"),
                                 static_cast<std::int32_t>(pkEntry->m_uiScenario), kBox.m_fX, kBox.m_fY, 0, &kBox);
        pkLocale->FlushFont(BRIEF_FONT);
    }
    if (pkEntry->m_pkPreview != nullptr)
        pkEntry->m_pkPreview->Draw(61.0f * fScaleX, 57.0f * fScaleY);
}

// ---- The screens ----

CFrontEndScreens::CFrontEndScreens() = default;

CFrontEndScreens::~CFrontEndScreens() = default;

bool CFrontEndScreens::CreateFrontEndPanels(COrvaneTagTree* pkData)
{
    Retire();
    m_pkMain = std::make_unique<CFrontEndMainPanel>();
    m_pkLocation = std::make_unique<CFrontEndLevelSelect>();
    m_pkScenario = std::make_unique<CFrontEndScenarioSelect>();
    m_pkMain->Create(MAIN_IMAGE, 0.0f, 0.0f, true);
    m_pkLocation->Create(LOCATION_IMAGE, 0.0f, 0.0f, true);
    m_pkScenario->Create(SCENARIO_IMAGE, 0.0f, 0.0f, true);
    m_pkMain->SetOwner(this);
    m_pkLocation->SetOwner(this);
    m_pkScenario->SetOwner(this);
    m_pkScenario->BuildScenarioList(pkData);
    m_eCurrent = SCREEN_MAIN;
    m_bInputEnabled = true;
    return true;
}

void CFrontEndScreens::Retire()
{
    std::unique_ptr<CFrontEndPanel> apkOld[] = {std::move(m_pkMain), std::move(m_pkLocation),
                                                std::move(m_pkScenario)};
    m_eCurrent = SCREEN_NONE;
    if (!m_bUpdating)
        return;
    for (std::unique_ptr<CFrontEndPanel>& pkOld : apkOld)
        if (pkOld != nullptr)
            m_kRetired.push_back(std::move(pkOld));
}

void CFrontEndScreens::DeleteScreens()
{
    Retire();
}

void CFrontEndScreens::ShowScreen(Screen eScreen)
{
    if (m_pkMain != nullptr)
        m_eCurrent = eScreen;
}

CFrontEndPanel* CFrontEndScreens::GetCurrentPanel() const
{
    switch (m_eCurrent)
    {
    case SCREEN_MAIN: return m_pkMain.get();
    case SCREEN_LOCATION: return m_pkLocation.get();
    case SCREEN_SCENARIO: return m_pkScenario.get();
    case SCREEN_NONE: break;
    }
    return nullptr;
}

bool CFrontEndScreens::Update(float fDeltaTime)
{
    (void)fDeltaTime;
    if (m_bInputEnabled)
        if (CFrontEndPanel* pkPanel = GetCurrentPanel())
        {
            m_bUpdating = true;
            pkPanel->UpdateHover();
            m_bUpdating = false;
            m_kRetired.clear();
        }
    const CInterface* pkInterface = panel::Interface();
    if (pkInterface == nullptr || !pkInterface->IsCanvasOpen(pkInterface->GetPanel(CInterface::PANEL_LOAD), true))
        m_bInputEnabled = true;
    return IsBuilt() && m_bStartNewGame;
}

void CFrontEndScreens::Draw()
{
    if (CFrontEndPanel* pkPanel = GetCurrentPanel())
        pkPanel->Draw();
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->Draw();
}
