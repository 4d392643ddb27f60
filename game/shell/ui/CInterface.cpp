#include "game/shell/ui/CInterface.h"

#include "framework/COrvaneFileIOCanvas.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CBasePanel.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CFilePanel.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CManagementPanel.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/shell/ui/COptionsPanel.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/characters/CSpawnManager.h"

#include <algorithm>

const std::array<CInterface::PanelPlace, CInterface::PANEL_COUNT> CInterface::PANELS = {{
    {"images/panels/build/build.tga", PanelPlace::TOP_LEFT},
    {"images/panels/build/build.tga", PanelPlace::TOP_LEFT},
    {"images/panels/management/management.tga", PanelPlace::TOP_LEFT},
    {"./images/panels/options/options.tga", PanelPlace::ABOVE_MAIN},
    {"./images/confirm/confirm.tga", PanelPlace::CENTRED},
    {"./images/panels/load/load.tga", PanelPlace::ABOVE_OPTIONS},
    {"./images/panels/save/save.tga", PanelPlace::ABOVE_OPTIONS},
    {"images/panels/building/building.tga", PanelPlace::TOP_RIGHT},
    {"images/panels/prisoner/prisoner.tga", PanelPlace::TOP_RIGHT},
    {"images/panels/staff/staff.tga", PanelPlace::TOP_RIGHT},
    {"images/panels/messages/messages.tga", PanelPlace::CENTRED},
    {"images/parole/parole.tga", PanelPlace::CENTRED},
}};

// Alphabetical: a character's star-sign number indexes this list.
const std::array<const char*, 12> CInterface::STAR_SIGNS = {
    "images/panels/starsign/Aquarius.tga", "images/panels/starsign/Aries.tga",
    "images/panels/starsign/Cancer.tga",   "images/panels/starsign/Capricorn.tga",
    "images/panels/starsign/Gemini.tga",   "images/panels/starsign/Leo.tga",
    "images/panels/starsign/Libra.tga",    "images/panels/starsign/Pisces.tga",
    "images/panels/starsign/Sagittarius.tga", "images/panels/starsign/Scorpio.tga",
    "images/panels/starsign/Taurus.tga",   "images/panels/starsign/Virgo.tga"};
const std::array<const char*, 4> CInterface::SECURITY_LEVELS = {
    "images/panels/seclev/low.tga", "images/panels/seclev/med.tga", "images/panels/seclev/high.tga",
    "images/panels/seclev/max.tga"};
const std::array<const char*, 2> CInterface::GANGS = {"images/panels/seclev/gang1.tga",
                                                      "images/panels/seclev/gang2.tga"};

namespace
{
float Width(const COrvaneCanvas& kCanvas)
{
    const COrvaneWidget* pkBackground = kCanvas.GetWidget(0);
    return pkBackground != nullptr ? pkBackground->GetRect().m_fWidth : 0.0f;
}

float Height(const COrvaneCanvas& kCanvas)
{
    const COrvaneWidget* pkBackground = kCanvas.GetWidget(0);
    return pkBackground != nullptr ? pkBackground->GetRect().m_fHeight : 0.0f;
}

std::unique_ptr<COrvaneCanvas> MakePanel(std::int16_t sIndex)
{
    switch (sIndex)
    {
    case CInterface::PANEL_BUILD_EXTERNAL: return std::make_unique<CBuildPanelExternal>();
    case CInterface::PANEL_BUILD_INTERNAL: return std::make_unique<CBuildPanelInternal>();
    case CInterface::PANEL_MANAGEMENT: return std::make_unique<CManagementPanel>();
    case CInterface::PANEL_OPTIONS: return std::make_unique<COptionsPanel>();
    case CInterface::PANEL_CONFIRM: return std::make_unique<CConfirmPanel>();
    case CInterface::PANEL_BUILDING: return std::make_unique<CPopUpPanelBuilding>();
    case CInterface::PANEL_PRISONER:
    case CInterface::PANEL_STAFF: return std::make_unique<CPopUpPanelCharacter>();
    case CInterface::PANEL_LOAD: return std::make_unique<CLoadPanel>();
    case CInterface::PANEL_SAVE: return std::make_unique<CSavePanel>();
    case CInterface::PANEL_MESSAGES: return std::make_unique<CMessageHistoryPanel>();
    case CInterface::PANEL_DESK_TOP: return std::make_unique<CDeskTopPanel>();
    default: return std::make_unique<CBasePanel>();
    }
}

std::unique_ptr<COrvaneImage> MakeIcon(const char* pcPath)
{
    return panel::MakeImage(pcPath);
}
} // namespace

CInterface::CInterface()
{
    CInterface::Reset();
}

CInterface::~CInterface()
{
    CInterface::Destroy();
}

CInterface* CInterface::Get()
{
    return dynamic_cast<CInterface*>(COrvaneInterface::GetActivePanel());
}

CInterface* CInterface::Rebuild(COrvaneTagTree* pkData, bool bCreatePanels)
{
    COrvaneInterface::ReleaseActivePanel();
    auto pkInterface = std::make_unique<CInterface>();
    if (!COrvaneInterface::SetActivePanel(pkInterface.get()))
        return nullptr;
    CInterface* pkRegistered = pkInterface.release(); // the registry owns it now
    (void)pkRegistered->Init();
    if (bCreatePanels)
        (void)pkRegistered->CreatePanels(pkData);
    return pkRegistered;
}

void CInterface::Destroy()
{
    // The stack only links them.
    GetStack().Clear();
    m_kPanels.clear();
    m_kStarSigns.clear();
    m_kSecurityLevels.clear();
    m_kGangs.clear();
    m_pkMainPanel.reset();
    COrvaneInterface::Destroy();
}

void CInterface::Reset()
{
    COrvaneInterface::Reset();
    m_fTooltipDelay = 0.0f;
    m_ucLoadPanel = 0;
    m_ucDeskTop = 0;
    m_fFrameTime = 0.0f;
    m_sLastIndex = -1;
    m_sLastList = -1;
    m_bTooltipHovered = false;
}

bool CInterface::CreatePanels(COrvaneTagTree* pkData)
{
    (void)pkData;
    const float fWidth = panel::ScreenWidth();
    const float fHeight = panel::ScreenHeight();
    if (!m_pkMainPanel)
    {
        m_pkMainPanel = std::make_unique<CMainPanel>();
        m_pkMainPanel->Create(CMainPanel::IMAGE, 0.0f, 0.0f, false);
        m_pkMainPanel->SetPosition(0.0f, fHeight - Height(*m_pkMainPanel), true);
    }
    if (!m_kPanels.empty())
        return true;
    const float fMainTop = m_pkMainPanel->GetY();
    for (std::int16_t i = 0; i < PANEL_COUNT; ++i)
    {
        std::unique_ptr<COrvaneCanvas> pkPanel = MakePanel(i);
        pkPanel->Create(PANELS[static_cast<std::size_t>(i)].pcImage, 0.0f, 0.0f, false);
        const float fW = Width(*pkPanel);
        const float fH = Height(*pkPanel);
        switch (PANELS[static_cast<std::size_t>(i)].ePosition)
        {
        case PanelPlace::TOP_LEFT: pkPanel->SetPosition(0.0f, 0.0f, true); break;
        case PanelPlace::TOP_RIGHT: pkPanel->SetPosition(fWidth - fW, 0.0f, true); break;
        case PanelPlace::ABOVE_MAIN: pkPanel->SetPosition(0.0f, fMainTop - fH + 16.0f, true); break;
        case PanelPlace::ABOVE_OPTIONS:
            pkPanel->SetPosition(0.0f, fMainTop - fH - Height(*m_kPanels[PANEL_OPTIONS]) + 24.0f, true);
            break;
        case PanelPlace::CENTRED:
            // The confirmation is placed; the message history and the desk
            // top are moved there from where they were made.
            pkPanel->SetPosition(fWidth * 0.5f - fW * 0.5f, fHeight * 0.5f - fH * 0.5f, i == PANEL_CONFIRM);
            break;
        }
        m_kPanels.push_back(std::move(pkPanel));
    }
    for (const char* pcPath : STAR_SIGNS)
        m_kStarSigns.push_back(MakeIcon(pcPath));
    for (const char* pcPath : SECURITY_LEVELS)
        m_kSecurityLevels.push_back(MakeIcon(pcPath));
    for (const char* pcPath : GANGS)
        m_kGangs.push_back(MakeIcon(pcPath));
    return true;
}

void CInterface::Draw()
{
    COrvaneInterface::Draw();
    DrawTooltip();
}

void CInterface::DrawTooltip()
{
    const COrvaneMouse* pkMouse = panel::Mouse();
    const float fMouseX = pkMouse != nullptr ? pkMouse->GetPosition().x : m_fTooltipX;
    const float fMouseY = pkMouse != nullptr ? pkMouse->GetPosition().y : m_fTooltipY;
    const std::int16_t sIndex = GetHoverTextIndex();
    if (sIndex < 0)
    {
        m_fTooltipDelay = TOOLTIP_DELAY;
        m_fTooltipX = fMouseX;
        m_fTooltipY = fMouseY;
        m_bTooltipHovered = false;
        return;
    }
    // The hover begins where the pointer is in its first frame: taken from
    // the frame before, a pointer that came onto the button in one step
    // (a touchpad's jump) had the same text shown again where it had been,
    // far from the button.
    if (!m_bTooltipHovered)
    {
        m_fTooltipX = fMouseX;
        m_fTooltipY = fMouseY;
        m_bTooltipHovered = true;
    }
    const std::int16_t sList = GetHoverTextList();
    if (m_fTooltipDelay > 0.0f)
        m_fTooltipDelay -= m_fFrameTime;
    if (m_fTooltipDelay <= 0.0f)
    {
        if (sIndex != m_sLastIndex || sList != m_sLastList)
        {
            m_fTooltipX = fMouseX;
            m_fTooltipY = fMouseY;
            m_sLastIndex = sIndex;
            m_sLastList = sList;
        }
        if (CLocale* pkLocale = panel::Locale())
        {
            const float fWidth = pkLocale->MeasureText(TOOLTIP_FONT, pkLocale->GetEntryText(sList, sIndex));
            const float fScreen = panel::ScreenWidth();
            if (m_fTooltipX + fWidth + 8.0f > fScreen)
                m_fTooltipX = fScreen - 10.0f - fWidth;
            pkLocale->BeginFont(TOOLTIP_FONT);
            (void)pkLocale->DrawText(TOOLTIP_FONT, sList, sIndex, m_fTooltipX + 8.0f, m_fTooltipY - 8.0f, 0, nullptr);
            pkLocale->FlushFont(TOOLTIP_FONT);
        }
    }
    // A panel sets it again every frame while the pointer stays.
    ClearHoverText(m_usDefaultList);
}

void CInterface::OpenCanvas(COrvaneCanvas* pkCanvas, bool bModal)
{
    if (pkCanvas == nullptr)
        return;
    COrvaneInterface::OpenCanvas(pkCanvas, bModal);
    ClearHoverText(m_usDefaultList);
}

void CInterface::SetInterfaceMode(float fFrameTime)
{
    ForgetPanelHover();
    ProcessInput();
    m_fFrameTime = fFrameTime;
    if (m_pkMainPanel)
        (void)m_pkMainPanel->Tick(fFrameTime);
}

void CInterface::Update(float fFrameTime)
{
    ++m_uiUpdates;
    SetInterfaceMode(fFrameTime);
}

bool CInterface::IsAnyPanelOpen() const
{
    return std::any_of(m_kPanels.begin(), m_kPanels.end(),
                       [this](const std::unique_ptr<COrvaneCanvas>& pkPanel) { return IsCanvasOpen(pkPanel.get(), true); });
}

void CInterface::UpdateDuringNight()
{
    const bool bPanelOpen = IsAnyPanelOpen();
    ForgetPanelHover();
    if (bPanelOpen)
        ProcessInput();
    ++m_uiNightUpdates;
}

bool CInterface::TakesPressAt(const NiVec2& kPoint, bool bNight) const
{
    if (bNight && !IsAnyPanelOpen())
        return false;
    return GetStack().Covers(kPoint);
}

void CInterface::ForgetPanelHover()
{
    // The flag tells the game's click handler that a panel took the mouse
    // in this frame: the canvases set it again while the pointer is on one.
    if (COrvaneMouse* pkMouse = panel::Mouse())
        pkMouse->SetOverInterface(false);
}

void CInterface::PostMessage(std::int32_t iMessage)
{
    if (m_pkMainPanel)
        m_pkMainPanel->PostMessage(iMessage);
}

void CInterface::PostNumberedMessage(std::int32_t iMessage, std::int32_t iNumber)
{
    if (m_pkMainPanel)
        m_pkMainPanel->PostNumberedMessage(iMessage, iNumber);
}

bool CInterface::HasPendingMessages() const
{
    return m_pkMainPanel && m_pkMainPanel->HasMessages();
}

bool CInterface::IsCanvasOpen(const COrvaneCanvas* pkCanvas, bool bModal) const
{
    return pkCanvas != nullptr && GetStack().Contains(pkCanvas, bModal);
}

void CInterface::PopulateAll(COrvaneTagTree* pkData, bool bRecreate)
{
    for (const std::unique_ptr<COrvaneCanvas>& pkPanel : m_kPanels)
        if (auto* pkBase = dynamic_cast<CBasePanel*>(pkPanel.get()))
            (void)pkBase->Populate(pkData, bRecreate);
}

COrvaneCanvas* CInterface::GetPanel(std::int32_t iIndex) const
{
    return iIndex >= 0 && iIndex < GetPanelCount() ? m_kPanels[static_cast<std::size_t>(iIndex)].get() : nullptr;
}

CBuildPanel* CInterface::GetBuildPanel(bool bInternal) const
{
    return dynamic_cast<CBuildPanel*>(GetPanel(bInternal ? PANEL_BUILD_INTERNAL : PANEL_BUILD_EXTERNAL));
}

CConfirmPanel* CInterface::GetConfirmPanel() const
{
    return dynamic_cast<CConfirmPanel*>(GetPanel(PANEL_CONFIRM));
}

CMessageHistoryPanel* CInterface::GetMessageHistory() const
{
    return dynamic_cast<CMessageHistoryPanel*>(GetPanel(PANEL_MESSAGES));
}

bool CInterface::IsBuildPanelOpen() const
{
    return IsCanvasOpen(GetPanel(PANEL_BUILD_EXTERNAL), true) || IsCanvasOpen(GetPanel(PANEL_BUILD_INTERNAL), true);
}

void CInterface::OpenPanel(std::int16_t sIndex)
{
    COrvaneCanvas* pkPanel = GetPanel(sIndex);
    if (pkPanel == nullptr)
        return;
    OpenCanvas(pkPanel, true);
    if (auto* pkFilePanel = dynamic_cast<CFilePanel*>(pkPanel))
        pkFilePanel->Open();
    else if (auto* pkFiles = dynamic_cast<COrvaneFileIOCanvas*>(pkPanel))
        pkFiles->ScanFolder();
    if (sIndex == PANEL_LOAD)
        m_ucLoadPanel = 1;
}

void CInterface::ShowPanel(std::int16_t sIndex, bool bModal)
{
    COrvaneCanvas* pkPanel = GetPanel(sIndex);
    if (pkPanel == nullptr)
        return;
    if (dynamic_cast<CBasePanel*>(pkPanel) != nullptr)
        CloseAllPanels();
    OpenCanvas(pkPanel, bModal);
}

void CInterface::ShowPopUp(std::int16_t sIndex, COrvaneObject* pkSubject, const NiNodeAttachment* pkPost)
{
    COrvaneCanvas* pkPanel = sIndex >= PANEL_BUILDING && sIndex <= PANEL_STAFF ? GetPanel(sIndex) : nullptr;
    if (pkPanel == nullptr)
        return;
    CloseAllPanels();
    OpenCanvas(pkPanel, false);
    if (auto* pkPopUp = dynamic_cast<CPopUpPanel*>(pkPanel))
        pkPopUp->SetSubject(pkSubject, pkPost);
}

void CInterface::ObjectDestroyed(const COrvaneObject* pkObject)
{
    if (pkObject == nullptr)
        return;
    for (std::int16_t i = PANEL_BUILDING; i <= PANEL_STAFF; ++i)
    {
        auto* pkPopUp = dynamic_cast<CPopUpPanel*>(GetPanel(i));
        if (pkPopUp == nullptr || pkPopUp->GetSubject() != pkObject)
            continue;
        if (IsCanvasOpen(pkPopUp, false))
        {
            pkPopUp->Close();
            GetStack().Remove(pkPopUp);
        }
        pkPopUp->SetSubject(nullptr, nullptr);
    }
}

void CInterface::CloseAllPanels()
{
    m_ucDeskTop = 0;
    for (const std::unique_ptr<COrvaneCanvas>& pkPanel : m_kPanels)
    {
        if (auto* pkBase = dynamic_cast<CBasePanel*>(pkPanel.get()))
            pkBase->Close();
        // An open file panel leaves as its own close would: otherwise the
        // process stays in the folder it browsed and the game paused.
        if (auto* pkFilePanel = dynamic_cast<CFilePanel*>(pkPanel.get()); pkFilePanel && IsCanvasOpen(pkFilePanel, true))
        {
            pkFilePanel->Leave();
            if (dynamic_cast<CLoadPanel*>(pkFilePanel) != nullptr)
                m_ucLoadPanel = 0;
        }
        GetStack().Remove(pkPanel.get());
    }
    // A modal panel leaves the stack only from its top: the ones that were
    // under another go on the next rounds.
    for (std::int32_t iRound = 1; iRound < PANEL_COUNT; ++iRound)
    {
        bool bAnyLeft = false;
        for (const std::unique_ptr<COrvaneCanvas>& pkPanel : m_kPanels)
        {
            if (!IsCanvasOpen(pkPanel.get(), true))
                continue;
            GetStack().Remove(pkPanel.get());
            bAnyLeft = true;
        }
        if (!bAnyLeft)
            break;
    }
}

void CInterface::ShowConfirm(std::function<void()> kCallback, std::int32_t iQuestion, std::int16_t sList,
                             bool bCloseBelow, const char* pcExtraText)
{
    CConfirmPanel* pkConfirm = GetConfirmPanel();
    if (pkConfirm == nullptr || IsCanvasOpen(pkConfirm, true))
        return;
    ShowPanel(PANEL_CONFIRM, true);
    pkConfirm->Setup(std::move(kCallback), iQuestion, sList, bCloseBelow, pcExtraText);
}

void CInterface::ShowConfirmation(std::int32_t iQuestion, std::function<void()> kOnYes)
{
    const CLocale* pkLocale = panel::Locale();
    const std::int16_t sList = pkLocale != nullptr ? pkLocale->FindList("InGameMessages") : 0;
    ShowConfirm(std::move(kOnYes), iQuestion, sList, true, nullptr);
}

bool CInterface::AnswerConfirmation(bool bYes)
{
    CConfirmPanel* pkConfirm = GetConfirmPanel();
    if (pkConfirm == nullptr || !IsCanvasOpen(pkConfirm, true))
        return false;
    pkConfirm->OnWidgetEvent(bYes ? CConfirmPanel::WIDGET_YES : CConfirmPanel::WIDGET_NO, COrvaneCanvas::EVENT_PRESSED);
    return true;
}

bool CInterface::IsConfirmationOpen() const
{
    return IsCanvasOpen(GetConfirmPanel(), true);
}

void CInterface::ShowDeskTop(bool bShow)
{
    if (bShow)
    {
        const CGame* pkGame = panel::Game();
        if ((pkGame != nullptr && pkGame->IsResultPending()) || m_ucDeskTop != 0)
            return;
        ShowPanel(PANEL_DESK_TOP, true);
        m_ucDeskTop = 1;
        GetStack().Remove(m_pkMainPanel.get());
        CGame* pkRunning = panel::Game();
        CSpawnManager* pkSpawn = pkRunning != nullptr ? pkRunning->GetSpawnManager() : nullptr;
        if (auto* pkDesk = dynamic_cast<CDeskTopPanel*>(GetPanel(PANEL_DESK_TOP)))
            pkDesk->SetCandidates(pkSpawn != nullptr ? &pkSpawn->GetParoleCandidates() : nullptr);
        return;
    }
    if (m_pkMainPanel)
    {
        GetStack().Remove(m_pkMainPanel.get());
        OpenCanvas(m_pkMainPanel.get(), false);
    }
    m_ucDeskTop = 0;
    CloseAllPanels();
}

const void* CInterface::AddBuildMenuItem(bool bInternal, const std::string& kModelPath, std::uint16_t& usList,
                                         std::uint16_t& usEntry) const
{
    const CBuildPanel* pkPanel = GetBuildPanel(bInternal);
    return pkPanel != nullptr ? pkPanel->FindItem(kModelPath, usList, usEntry) : nullptr;
}

COrvaneImage* CInterface::GetBuildItemPicture(bool bInternal) const
{
    const CBuildPanel* pkPanel = GetBuildPanel(bInternal);
    return pkPanel != nullptr ? pkPanel->GetItemPicture() : nullptr;
}

std::uint16_t CInterface::GetBuildItemTextList(bool bInternal) const
{
    const CBuildPanel* pkPanel = GetBuildPanel(bInternal);
    return pkPanel != nullptr ? pkPanel->GetItemTextList() : 0;
}

std::int32_t CInterface::GetBuildItemIndex(bool bInternal) const
{
    const CBuildPanel* pkPanel = GetBuildPanel(bInternal);
    return pkPanel != nullptr ? pkPanel->GetItemIndex() : 0;
}

void CInterface::RepeatBuildItem(bool bInternal)
{
    if (CBuildPanel* pkPanel = GetBuildPanel(bInternal))
        pkPanel->RepeatItem();
}

void CInterface::AddHistoryMessage(std::int32_t iEntry, std::int32_t iFirst, std::int32_t iNumber)
{
    if (iEntry < 0)
        return;
    if (CMessageHistoryPanel* pkHistory = GetMessageHistory())
        pkHistory->AddMessage(iFirst, iEntry, iNumber);
}

void CInterface::DrawIcon(const std::vector<std::unique_ptr<COrvaneImage>>& kIcons, std::uint32_t uiIndex, float fX,
                          float fY)
{
    if (uiIndex < kIcons.size() && kIcons[uiIndex])
        kIcons[uiIndex]->Draw(fX, fY);
}

void CInterface::DrawStarSignIcon(std::uint32_t uiSign, float fX, float fY)
{
    DrawIcon(m_kStarSigns, uiSign, fX, fY);
}

void CInterface::DrawSecurityLevelIcon(std::uint32_t uiLevel, float fX, float fY)
{
    DrawIcon(m_kSecurityLevels, uiLevel, fX, fY);
}

void CInterface::DrawGangIcon(std::uint32_t uiGang, float fX, float fY)
{
    DrawIcon(m_kGangs, uiGang, fX, fY);
}

COrvaneImage* CInterface::GetStarSignIcon(std::uint32_t uiSign) const
{
    return uiSign < m_kStarSigns.size() ? m_kStarSigns[uiSign].get() : nullptr;
}

COrvaneImage* CInterface::GetSecurityLevelIcon(std::uint32_t uiLevel) const
{
    return uiLevel < m_kSecurityLevels.size() ? m_kSecurityLevels[uiLevel].get() : nullptr;
}

COrvaneImage* CInterface::GetGangIcon(std::uint32_t uiGang) const
{
    return uiGang < m_kGangs.size() ? m_kGangs[uiGang].get() : nullptr;
}

bool CInterface::PrepareForLevel(COrvaneTagTree* pkData)
{
    if (m_pkMainPanel)
        m_pkMainPanel->ClearMessages();
    if (CMessageHistoryPanel* pkHistory = GetMessageHistory())
        pkHistory->ClearMessages();
    PopulateAll(pkData, true);
    if (m_pkMainPanel)
    {
        GetStack().Remove(m_pkMainPanel.get());
        OpenCanvas(m_pkMainPanel.get(), false);
        m_pkMainPanel->PostMessage(MESSAGE_LEVEL_FIRST);
        m_pkMainPanel->PostMessage(MESSAGE_LEVEL_SECOND);
    }
    SetInterfaceMode(0.0f);
    return true;
}

void CInterface::ResetForFrontEnd()
{
    CloseAllPanels();
    GetStack().Remove(m_pkMainPanel.get());
    SetInterfaceMode(0.0f);
}
