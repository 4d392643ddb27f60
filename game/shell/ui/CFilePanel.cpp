#include "game/shell/ui/CFilePanel.h"

#include "framework/COrvaneFont.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneUtility.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/SaveNames.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/PanelServices.h"
#include "platform/os/OsFiles.h"

#include <algorithm>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);

// A folder name containing this never has a parent the panel may browse.
constexpr const char* SAVE_ROOT_MARK = "maps";

void SetFontColour(std::int32_t iFont, float fRed, float fGreen, float fBlue)
{
    const CLocale* pkLocale = panel::Locale();
    if (COrvaneFont* pkFont = pkLocale != nullptr ? pkLocale->GetFont(iFont) : nullptr)
        pkFont->SetColor(fRed, fGreen, fBlue, 1.0f);
}

bool InFrontEnd()
{
    const CGame* pkGame = panel::Game();
    return pkGame != nullptr && pkGame->GetState() == CGame::STATE_FRONT_END;
}

// The path from the start folder as the player reads it.
std::string Shown(const std::string& kPath, const std::string& kStart)
{
    std::string kOut = kPath.compare(0, kStart.size() + 1, kStart + "/") == 0 ? kPath.substr(kStart.size() + 1) : kPath;
    if (kOut.compare(0, 2, "./") == 0)
        kOut.erase(0, 2);
    return kOut;
}
} // namespace

// ---- Both panels ----

void CFilePanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneFileIOCanvas::Create(pcImageName, fX, fY, bScale);
    m_iPreviewX = static_cast<std::int32_t>(PREVIEW_X);
    m_iPreviewY = static_cast<std::int32_t>(PREVIEW_Y);
    // The field is made again with the narrower limit, keeping its place.
    if (auto* pkName = dynamic_cast<COrvaneTextWidget*>(GetWidget(m_sNameField)))
    {
        CWidgetDesc kDesc;
        kDesc.m_fX = pkName->GetRect().m_fX;
        kDesc.m_fY = pkName->GetRect().m_fY;
        kDesc.m_fWidth = pkName->GetRect().m_fWidth;
        kDesc.m_fHeight = pkName->GetRect().m_fHeight;
        kDesc.m_fLength = NAME_WIDTH;
        kDesc.m_kName = pkName->GetText();
        pkName->Create(kDesc);
    }
}

std::string CFilePanel::GetTypedName() const
{
    const auto* pkName = dynamic_cast<const COrvaneTextWidget*>(GetWidget(m_sNameField));
    return pkName != nullptr ? pkName->GetText() : std::string();
}

void CFilePanel::SetTypedName(const std::string& kName)
{
    if (COrvaneWidget* pkName = GetWidget(m_sNameField))
        pkName->SetText(kName);
}

void CFilePanel::Open()
{
    // The game's keys rest while a name is typed (a space would close every
    // panel, a digit set the speed); every way off the stack lifts this.
    if (CGame* pkGame = panel::Game())
        pkGame->SetInputBlocked(true);
    GoToStartFolder();
    if (!os::FolderExists(SAVE_FOLDER))
        (void)os::CreateFolder(SAVE_FOLDER);
    OpenSaveFolder();
}

std::string CFilePanel::PathFor(const std::string& kName, const char* pcExtension) const
{
    // The rule's folders are those below the start folder.
    const std::string kHere = os::GetCurrentFolder();
    if (m_kStartFolder.empty() || !os::ChangeFolder(m_kStartFolder))
        return {};
    const std::string kPath = MakeSavePath(m_kCurrentFolder, kName, pcExtension);
    (void)os::ChangeFolder(kHere);
    return kPath.empty() ? kPath : m_kStartFolder + "/" + kPath;
}

std::string CFilePanel::EmptyFolderPath() const
{
    const std::string kName = GetWorkingDirectoryName();
    if (!m_kEntries.empty() || kName.find(SAVE_ROOT_MARK) != std::string::npos)
        return {};
    const std::string kHere = os::GetCurrentFolder();
    if (m_kStartFolder.empty() || !os::ChangeFolder(m_kStartFolder))
        return {};
    const std::string kPath = MakeSavePath(m_kCurrentFolder + "..", kName, "");
    (void)os::ChangeFolder(kHere);
    return kPath.empty() ? kPath : m_kStartFolder + "/" + kPath;
}

void CFilePanel::RestoreGame()
{
    if (CGame* pkGame = panel::Game())
    {
        pkGame->SetGameSpeed(pkGame->GetSavedSpeed());
        pkGame->SetInputBlocked(false);
        pkGame->SetPanelPause(false);
    }
}

void CFilePanel::ReleaseLeftButton()
{
    if (COrvaneMouse* pkMouse = panel::Mouse())
        (void)pkMouse->OnLeftUp(0);
}

void CFilePanel::Leave()
{
    GoToStartFolder();
    RestoreGame();
}

void CFilePanel::Ask(std::int32_t iQuestion, bool bCloseBelow, bool bWithName, void (*pfnYes)())
{
    CInterface* pkInterface = panel::Interface();
    const CLocale* pkLocale = panel::Locale();
    if (pkInterface == nullptr)
        return;
    const std::string kName = GetTypedName();
    const std::int16_t sList = pkLocale != nullptr ? pkLocale->FindList("InGameMessages") : 0;
    pkInterface->ShowConfirm(pfnYes, iQuestion, sList, bCloseBelow, bWithName ? kName.c_str() : nullptr);
}

void CFilePanel::AskDelete()
{
    if (m_sSelected >= 0)
    {
        if (!PathFor(GetTypedName(), ".fds").empty())
            Ask(QUESTION_DELETE_SAVE, false, true, DeleteCallback());
        return;
    }
    if (!EmptyFolderPath().empty())
        Ask(QUESTION_DELETE_FOLDER, false, false, DeleteCallback());
}

void CFilePanel::MakeFolderNow()
{
    const std::string kName = GetTypedName();
    const std::string kPath = PathFor(kName, "");
    // A folder that cannot be made leaves the panel where it is.
    if (kPath.empty() || !os::CreateFolder(kPath))
        return;
    (void)ChangeFolder(kName);
}

void CFilePanel::DeleteSelectedNow()
{
    if (m_sSelected >= 0)
    {
        const std::string kName = GetTypedName();
        for (const char* pcExtension : {".fds", ".fdp"})
        {
            // An empty save is a save too: it goes with its preview.
            const std::string kPath = PathFor(kName, pcExtension);
            if (!kPath.empty() && os::FileExists(kPath) && !os::FolderExists(kPath))
                (void)os::RemoveFile(kPath);
        }
        ScanFolder();
        return;
    }
    const std::string kFolder = EmptyFolderPath();
    if (kFolder.empty())
        return;
    (void)ChangeFolder("..");
    // A folder that is not empty after all stays.
    (void)os::RemoveFolder(kFolder);
    ScanFolder();
}

void CFilePanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex > 0 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (pkWidget != nullptr && iEvent == EVENT_HOVER)
    {
        pkWidget->SetVisible(true);
    }
    else if (pkWidget != nullptr && iEvent == EVENT_NORMAL)
    {
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(false);
    }
    else if (iEvent == EVENT_PRESSED)
    {
        if (iIndex != WIDGET_TITLE)
            ReleaseLeftButton();
        const std::int32_t iCount = static_cast<std::int32_t>(m_kEntries.size());
        switch (iIndex)
        {
        case WIDGET_CLOSE: Close(); return;
        case WIDGET_TITLE:
            if (pkWidget != nullptr)
            {
                pkWidget->SetColor(GREEN);
                pkWidget->SetVisible(true);
            }
            Drag();
            break;
        case WIDGET_NEW_FOLDER:
            if (!PathFor(GetTypedName(), "").empty())
                Ask(QUESTION_NEW_FOLDER, false, true, MakeFolderCallback());
            break;
        case WIDGET_UP:
            if (GetWorkingDirectoryName().find(SAVE_ROOT_MARK) == std::string::npos)
                (void)ChangeFolder("..");
            break;
        case WIDGET_DELETE: AskDelete(); break;
        case WIDGET_ACTION: OnAction(); return;
        case WIDGET_SCROLL_UP:
            m_sScroll = static_cast<std::int16_t>(std::max(0, m_sScroll - ROWS));
            LoadPreview(m_sScroll, true);
            break;
        case WIDGET_SCROLL_DOWN:
            if (m_sScroll + ROWS < iCount)
            {
                m_sScroll = static_cast<std::int16_t>(m_sScroll + ROWS);
                LoadPreview(m_sScroll, true);
            }
            break;
        default:
            if (iIndex >= WIDGET_FIRST_ROW && iIndex < WIDGET_FIRST_ROW + ROWS)
            {
                const std::int32_t iEntry = m_sScroll + iIndex - WIDGET_FIRST_ROW;
                const bool bFile = iEntry < iCount && m_kEntries[static_cast<std::size_t>(iEntry)].m_uiKind == KIND_FILE;
                if (!bFile)
                    m_sSelected = -1;
                LoadPreview(iEntry, false);
            }
            break;
        }
    }
    MarkSelectedRow();
}

void CFilePanel::MarkSelectedRow()
{
    if (m_sSelected < 0)
        return;
    const std::int32_t iRow = m_sSelected - m_sScroll;
    if (iRow < 0 || iRow >= ROWS)
        return;
    if (COrvaneWidget* pkRow = GetWidget(WIDGET_FIRST_ROW + iRow); pkRow != nullptr && WIDGET_FIRST_ROW + iRow < m_iWidgetCount)
    {
        pkRow->SetColor(GREEN);
        pkRow->SetVisible(true);
    }
}

void CFilePanel::Drag()
{
    // Marked used without letting the button go: the drag goes on.
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->FinishClick(false);
    const COrvaneMouse* pkMouse = panel::Mouse();
    if (pkMouse == nullptr)
        return;
    const COrvaneWidget* pkBackground = GetWidget(0);
    const float fW = pkBackground != nullptr ? pkBackground->GetRect().m_fWidth : 0.0f;
    const float fH = pkBackground != nullptr ? pkBackground->GetRect().m_fHeight : 0.0f;
    float fMain = 0.0f;
    if (const CInterface* pkInterface = panel::Interface(); pkInterface != nullptr && pkInterface->GetMainPanel())
        if (const COrvaneWidget* pkMain = pkInterface->GetMainPanel()->GetWidget(0))
            fMain = pkMain->GetRect().m_fHeight;
    float fDx = pkMouse->GetMovement().x;
    float fDy = pkMouse->GetMovement().y;
    if (m_fX + fDx < 0.0f)
        fDx = -m_fX;
    if (m_fY + fDy < 0.0f)
        fDy = -m_fY;
    if (m_fX + fDx > panel::ScreenWidth() - fW)
        fDx = panel::ScreenWidth() - fW - m_fX;
    if (m_fY + fDy > panel::ScreenHeight() - fH - fMain)
        fDy = 0.0f;
    SetPosition(fDx, fDy, false);
}

void CFilePanel::Draw()
{
    COrvaneFileIOCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    pkLocale->BeginFont(0);
    for (std::int32_t r = 0; r < ROWS; ++r)
    {
        const std::size_t uiEntry = static_cast<std::size_t>(m_sScroll + r);
        if (uiEntry >= m_kEntries.size())
            break;
        const bool bFolder = m_kEntries[uiEntry].m_uiKind == KIND_FOLDER;
        if (bFolder)
            SetFontColour(0, 1.0f, 0.0f, 0.0f);
        pkLocale->DrawTextAt(0, m_fX + ROW_X, m_fY + ROW_Y + ROW_HEIGHT * static_cast<float>(r),
                             m_kEntries[uiEntry].m_kName);
        if (bFolder)
            SetFontColour(0, 1.0f, 1.0f, 1.0f);
    }
    // The cursor shows while the name is short and the blink is on.
    std::string kName = GetTypedName();
    const auto* pkField = dynamic_cast<const COrvaneTextWidget*>(GetWidget(m_sNameField));
    if (kName.size() < 10 && pkField != nullptr && pkField->GetBlinkCounter() < COrvaneTextWidget::BLINK_FRAMES / 2)
        kName += " *";
    pkLocale->DrawTextAt(0, m_fX + NAME_X, m_fY + NAME_Y, kName);
    pkLocale->FlushFont(0);
}

// ---- Load panel ----

CLoadPanel* CLoadPanel::s_pkPanel = nullptr;

CLoadPanel::~CLoadPanel()
{
    if (s_pkPanel == this)
        s_pkPanel = nullptr;
}

void CLoadPanel::Draw()
{
    CFilePanel::Draw();
    const std::vector<Entry>& kEntries = GetEntries();
    if (std::any_of(kEntries.begin(), kEntries.end(), [](const Entry& kEntry) { return kEntry.m_uiKind == KIND_FILE; }))
        return;
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    const std::int16_t sList = pkLocale->FindList("InGameMessages");
    if (sList < 0)
        return;
    pkLocale->BeginFont(0);
    // Below the folders the rows may still show.
    const float fRow = static_cast<float>(std::min<std::size_t>(kEntries.size(), ROWS));
    pkLocale->DrawText(0, sList, MESSAGE_NO_SAVES, m_fX + ROW_X, m_fY + ROW_Y + ROW_HEIGHT * fRow, 0, nullptr);
    pkLocale->FlushFont(0);
}

void CLoadPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CFilePanel::Create(pcImageName, fX, fY, bScale);
    s_pkPanel = this;
}

void CLoadPanel::Close()
{
    Leave();
    if (CInterface* pkInterface = panel::Interface())
    {
        pkInterface->GetStack().Remove(this);
        pkInterface->SetLoadPanelOpen(false);
    }
}

void CLoadPanel::OnAction()
{
    // A name the rule refuses asks nothing and loads nothing.
    if (PathFor(GetTypedName(), ".fds").empty())
        return;
    if (InFrontEnd())
        LoadSelectedNow();
    else
        Ask(QUESTION_LOAD, true, false, &CLoadPanel::LoadSelected);
}

void CLoadPanel::LoadSelectedNow()
{
    const std::string kPath = PathFor(GetTypedName(), ".fds");
    GoToStartFolder();
    CGame* pkGame = panel::Game();
    // Read whole before anything goes: a damaged save shows its box and
    // leaves the front end or the running game as they were.
    if (pkGame != nullptr && !kPath.empty() && pkGame->CheckSave(kPath))
    {
        if (CFrontEndScreens* pkScreens = pkGame->GetFrontEndScreens(); pkScreens != nullptr && pkScreens->IsBuilt())
        {
            pkScreens->DeleteScreens();
            if (CSoundSystem* pkSound = pkGame->GetSoundSystem())
                pkSound->StopMusicOnly();
        }
        (void)pkGame->LoadGame(kPath);
    }
    RestoreGame();
    if (CInterface* pkInterface = panel::Interface())
    {
        pkInterface->GetStack().Remove(this);
        pkInterface->SetLoadPanelOpen(false);
    }
}

void CLoadPanel::LoadSelected()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->LoadSelectedNow();
}

void CLoadPanel::MakeFolder()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->MakeFolderNow();
}

void CLoadPanel::DeleteSelected()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->DeleteSelectedNow();
}

// ---- Save panel ----

CSavePanel* CSavePanel::s_pkPanel = nullptr;

CSavePanel::~CSavePanel()
{
    if (s_pkPanel == this)
        s_pkPanel = nullptr;
}

void CSavePanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CFilePanel::Create(pcImageName, fX, fY, bScale);
    s_pkPanel = this;
}

void CSavePanel::Close()
{
    Leave();
    // Taken off at once rather than by a request the stack serves later: a
    // panel opened meanwhile would be the one it closed.
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->GetStack().Remove(this);
}

bool CSavePanel::WriteSave()
{
    const std::string kPath = PathFor(GetTypedName(), ".fds");
    if (kPath.empty())
        return false;
    CGame* pkGame = panel::Game();
    if (pkGame == nullptr || !pkGame->SaveGame(kPath))
    {
        const std::string kText = "Could not save the game to " + Shown(kPath, m_kStartFolder) + ".";
        ShowErrorBox(kText.c_str());
        return false;
    }
    (void)CapturePreview(kPath.substr(0, kPath.size() - 4) + ".fdp", PREVIEW_SIZE, PREVIEW_SIZE);
    return true;
}

void CSavePanel::OnAction()
{
    const std::string kPath = PathFor(GetTypedName(), ".fds");
    if (kPath.empty())
        return;
    if (os::FileExists(kPath))
    {
        Ask(QUESTION_OVERWRITE, true, false, &CSavePanel::SaveConfirmed);
        return;
    }
    if (WriteSave())
        Close();
}

void CSavePanel::SaveConfirmedNow()
{
    if (WriteSave())
    {
        Close();
        return;
    }
    // The question took the panel with it: back on top, still browsing.
    CInterface* pkInterface = panel::Interface();
    if (pkInterface != nullptr && !pkInterface->IsCanvasOpen(this, true))
        pkInterface->OpenCanvas(this, true);
}

void CSavePanel::SaveConfirmed()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->SaveConfirmedNow();
}

void CSavePanel::MakeFolder()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->MakeFolderNow();
}

void CSavePanel::DeleteSelected()
{
    if (s_pkPanel != nullptr)
        s_pkPanel->DeleteSelectedNow();
}
