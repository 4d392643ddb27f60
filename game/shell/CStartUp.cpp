#include "game/shell/CStartUp.h"
#include "game/shell/SaveNames.h"

#include "engine/core/NiMemoryStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiBMPReader.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneTagTree.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsSystem.h"

#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace
{
// Bitmaps above this are not launcher pictures.
constexpr std::uint64_t MAX_BITMAP_BYTES = 32u << 20;

constexpr std::uint32_t TEXT_BUTTON_FACE = 0xFF3C4654u;
constexpr std::uint32_t TEXT_BUTTON_LIT = 0xFF5A7096u;
constexpr std::uint32_t TEXT_BUTTON_EDGE = 0xFFC8CCD4u;
constexpr std::uint32_t TEXT_COLOUR = 0xFFFFFFFFu;
constexpr std::uint32_t BACKGROUND = 0xFF1E2430u;

const char* const HELP_FOLDERS[3] = {"eng", "ger", "fre"};

constexpr std::uint32_t NOTICE_BACKGROUND = 0xFF000000u;
constexpr int NOTICE_SIZE = 13;

// The text cut into lines no wider than the width: at spaces where it can,
// else (a long path) between characters, never inside one.
std::vector<std::string> WrapToWidth(os::DialogWindow& kWindow, const std::string& kText, int iWidth, int iSize)
{
    std::vector<std::string> kLines;
    std::string kLine;
    std::size_t uiLastSpace = std::string::npos;
    for (std::size_t i = 0; i < kText.size();)
    {
        std::size_t uiNext = i + 1;
        while (uiNext < kText.size() && (static_cast<unsigned char>(kText[uiNext]) & 0xC0u) == 0x80u)
            ++uiNext;
        const std::string kCharacter = kText.substr(i, uiNext - i);
        if (!kLine.empty() && kWindow.TextWidth(kLine + kCharacter, iSize) > iWidth)
        {
            if (uiLastSpace != std::string::npos && kCharacter != " ")
            {
                kLines.push_back(kLine.substr(0, uiLastSpace));
                kLine = kLine.substr(uiLastSpace + 1);
            }
            else
            {
                kLines.push_back(kLine);
                kLine.clear();
            }
            uiLastSpace = kLine.rfind(' ');
            if (kCharacter == " ")
            {
                i = uiNext;
                continue;
            }
        }
        if (kCharacter == " ")
            uiLastSpace = kLine.size();
        kLine += kCharacter;
        i = uiNext;
    }
    if (!kLine.empty())
        kLines.push_back(kLine);
    return kLines;
}

// Whether a program of that name can be run from the search path.
bool OnSearchPath(const std::string& kProgram)
{
    const char* pcPath = std::getenv("PATH");
    std::string kPath = pcPath != nullptr ? pcPath : "";
    std::size_t uiStart = 0;
    while (uiStart <= kPath.size())
    {
        const std::size_t uiEnd = std::min(kPath.find(':', uiStart), kPath.size());
        const std::string kFolder = kPath.substr(uiStart, uiEnd - uiStart);
        if (!kFolder.empty() && access((kFolder + "/" + kProgram).c_str(), X_OK) == 0)
            return true;
        uiStart = uiEnd + 1;
    }
    return false;
}

bool DefaultHelpOpener(const std::string& kPage)
{
    // Without the desktop's opener nobody shows the page: the player is told
    // where it is, to open it by hand.
    if (!OnSearchPath("xdg-open"))
    {
        std::fprintf(stderr, "launcher: no browser opener (xdg-open) to show the help; the page is %s\n",
                     kPage.c_str());
        return false;
    }
    // A shell starts xdg-open in the background and ends at once, so the
    // dialog never waits on the browser (and leaves no child behind).
    std::string kShell = "/bin/sh";
    std::string kFlag = "-c";
    std::string kScript = "xdg-open \"$1\" >/dev/null 2>&1 &";
    std::string kName = "sh";
    std::string kArgument = kPage;
    char* apcArgs[] = {kShell.data(), kFlag.data(), kScript.data(), kName.data(), kArgument.data(), nullptr};
    pid_t iChild = -1;
    if (posix_spawn(&iChild, kShell.c_str(), nullptr, nullptr, apcArgs, environ) != 0)
    {
        std::fprintf(stderr, "launcher: cannot start xdg-open to show %s\n", kPage.c_str());
        return false;
    }
    (void)waitpid(iChild, nullptr, 0);
    return true;
}

// The page as a full path the player can type into a browser.
std::string FullPath(const std::string& kPage)
{
    std::error_code kError;
    const std::filesystem::path kFull = std::filesystem::absolute(kPage, kError);
    return kError ? kPage : kFull.lexically_normal().string();
}

// Said in the launcher's window when nothing could open the help page, in
// the launcher's language (English, German, French).
const char* const HELP_NOTICE[3] = {
    "No program could be started to show the help. Open this page in a browser:",
    "Kein Programm konnte die Hilfe zeigen. Öffnen Sie diese Seite im Browser:",
    "Aucun programme n'a pu afficher l'aide. Ouvrez cette page dans un navigateur :"};

CStartUp::HelpOpener& Opener()
{
    static CStartUp::HelpOpener kOpener = DefaultHelpOpener;
    return kOpener;
}

bool& ShownWhenHeadless()
{
    static bool bShown = false;
    return bShown;
}

// The first value of the cursor's node as a number; false when there is
// none or it is no number.
bool FirstValue(const COrvaneTagTree& kTree, long& lValue)
{
    const std::vector<std::string>& kValues = kTree.GetValues();
    if (kValues.empty())
        return false;
    const char* pcText = kValues.front().c_str();
    char* pcEnd = nullptr;
    const long lRead = std::strtol(pcText, &pcEnd, 10);
    if (pcEnd == pcText)
        return false;
    lValue = lRead;
    return true;
}

std::int32_t ValueAt(const std::vector<std::string>& kValues, std::size_t uiIndex)
{
    if (uiIndex >= kValues.size())
        return 0;
    return static_cast<std::int32_t>(std::strtol(kValues[uiIndex].c_str(), nullptr, 10));
}

std::string Trimmed(const std::string& kValue)
{
    const std::size_t uiEnd = kValue.find_last_not_of(" \t\r\n");
    const std::size_t uiStart = kValue.find_first_not_of(" \t");
    return uiEnd == std::string::npos ? std::string() : kValue.substr(uiStart, uiEnd - uiStart + 1);
}

void DrawBitmap(os::DialogWindow& kWindow, const CStartUpBitmap& kBitmap, std::int32_t iX, std::int32_t iY)
{
    if (kBitmap.IsLoaded())
        kWindow.Blit(iX, iY, static_cast<int>(kBitmap.m_uiWidth), static_cast<int>(kBitmap.m_uiHeight),
                     kBitmap.m_kPixels.data(), static_cast<int>(kBitmap.m_uiWidth));
}
} // namespace

bool CStartUpBitmap::Load(const std::string& kPath)
{
    m_uiWidth = 0;
    m_uiHeight = 0;
    m_kPixels.clear();
    const std::string kResolved = os::ResolvePath(kPath);
    const std::uint64_t uiSize = os::GetFileSize(kResolved);
    if (uiSize == 0 || uiSize > MAX_BITMAP_BYTES)
        return false;
    std::ifstream kIn(kResolved, std::ios::binary);
    std::vector<char> kBytes(static_cast<std::size_t>(uiSize));
    if (!kIn.read(kBytes.data(), static_cast<std::streamsize>(kBytes.size())))
        return false;
    NiMemoryStream kStream(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    NiBMPReader kReader;
    NiPixelDataPtr spImage = kReader.ReadFile(kStream, nullptr);
    if (!spImage || spImage->GetPixels() == nullptr)
        return false;
    const std::uint32_t uiWidth = spImage->GetWidth();
    const std::uint32_t uiHeight = spImage->GetHeight();
    const std::uint8_t* pucPixels = spImage->GetPixels();
    const NiPixelFormat& kFormat = spImage->GetPixelFormat();
    std::vector<std::uint32_t> kPixels(static_cast<std::size_t>(uiWidth) * uiHeight);
    const auto Pack = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return 0xFF000000u | (r << 16) | (g << 8) | b;
    };
    if (kFormat == NiPixelFormat::PAL8)
    {
        const NiPalette* pkPalette = spImage->GetPalette();
        if (pkPalette == nullptr || pkPalette->GetEntries() == nullptr)
            return false;
        const NiPalette::PaletteEntry* pkEntries = pkPalette->GetEntries();
        const std::uint32_t uiEntries = pkPalette->GetNumEntries();
        for (std::size_t i = 0; i < kPixels.size(); ++i)
        {
            const std::uint8_t ucIndex = pucPixels[i];
            if (ucIndex < uiEntries)
                kPixels[i] = Pack(pkEntries[ucIndex].m_ucRed, pkEntries[ucIndex].m_ucGreen,
                                  pkEntries[ucIndex].m_ucBlue);
            else
                kPixels[i] = 0xFF000000u;
        }
    }
    else if (kFormat == NiPixelFormat::RGB24 || kFormat == NiPixelFormat::RGBA32)
    {
        const std::size_t uiStride = kFormat == NiPixelFormat::RGB24 ? 3 : 4;
        for (std::size_t i = 0; i < kPixels.size(); ++i)
            kPixels[i] = Pack(pucPixels[i * uiStride], pucPixels[i * uiStride + 1], pucPixels[i * uiStride + 2]);
    }
    else
    {
        return false;
    }
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    m_kPixels = std::move(kPixels);
    return true;
}

CStartUp::CStartUp() = default;

CStartUp::~CStartUp() = default;

void CStartUp::SetHelpOpener(HelpOpener kOpener)
{
    Opener() = kOpener ? std::move(kOpener) : HelpOpener(DefaultHelpOpener);
}

void CStartUp::SetShownWhenHeadless(bool bShown)
{
    ShownWhenHeadless() = bShown;
}

void CStartUp::ResetStatics()
{
    Opener() = DefaultHelpOpener;
    ShownWhenHeadless() = false;
}

void CStartUp::Reset()
{
    m_kLanguageButtons.clear();
    m_kOptionButtons.clear();
    m_kTextButtons.clear();
    m_pkHovered = nullptr;
    m_kWindow.Destroy();
    m_eScreen = SCREEN_LANGUAGE;
    m_kAdapterNames.clear();
    m_iAdapter = 0;
    m_iMode = 0;
    m_iModeSelection = -1;
    m_iWindowEntry = -1;
    m_bWindowed = false;
    m_iAdapterList = -1;
    m_iModeList = -1;
    m_bHasLanguage = false;
}

void CStartUp::ReadStoredMode(COrvaneTagTree& kSettings)
{
    // A missing or unreadable key keeps its default: 1024 x 768 x 32.
    m_uiStoredWidth = 1024;
    m_uiStoredHeight = 768;
    m_uiStoredBits = 32;
    m_bStoredWindowed = false;
    const struct
    {
        const char* pcKey;
        std::uint32_t* puiValue;
    } akKeys[] = {{"VideoModeWidth", &m_uiStoredWidth},
                  {"VideoModeHeight", &m_uiStoredHeight},
                  {"VideoModeBits", &m_uiStoredBits}};
    for (const auto& kKey : akKeys)
    {
        long lValue = 0;
        if (kSettings.SelectSection("Application_Data", true) && kSettings.FindChild(kKey.pcKey) &&
            FirstValue(kSettings, lValue) && lValue >= 0)
            *kKey.puiValue = static_cast<std::uint32_t>(lValue);
    }
    long lWindowed = 0;
    if (kSettings.SelectSection("Application_Data", true) && kSettings.FindChild("Windowed") &&
        FirstValue(kSettings, lWindowed))
        m_bStoredWindowed = lWindowed == 1;
}

void CStartUp::BuildButtons(COrvaneTagTree& kSettings, const char* pcSection, const std::string& kFolder,
                            ButtonList& kButtons)
{
    kButtons.clear();
    if (!kSettings.SelectSection("Startup_Screen", true) || !kSettings.FindChild(pcSection))
        return;
    const COrvaneTagNode* pkSection = kSettings.GetCursor();
    for (std::size_t b = 0; b < pkSection->GetChildCount(); ++b)
    {
        const COrvaneTagNode* pkNode = pkSection->GetChild(b);
        auto pkButton = std::make_unique<CStartUpButton>();
        pkButton->m_kName = pkNode->GetName();
        const std::vector<std::string>& kValues = pkNode->GetValues();
        pkButton->m_iLeft = ValueAt(kValues, 0);
        pkButton->m_iTop = ValueAt(kValues, 1);
        pkButton->m_iRight = ValueAt(kValues, 2);
        pkButton->m_iBottom = ValueAt(kValues, 3);
        pkButton->m_iAction = ValueAt(kValues, 4);
        pkButton->m_iLanguage = ValueAt(kValues, 5);
        for (std::size_t s = 0; s < pkNode->GetChildCount(); ++s)
        {
            const COrvaneTagNode* pkSetNode = pkNode->GetChild(s);
            auto pkSet = std::make_unique<CStartUpImageSet>();
            pkSet->m_iKind = ValueAt(pkSetNode->GetValues(), 0);
            for (std::size_t i = 0; i < pkSetNode->GetChildCount(); ++i)
            {
                const COrvaneTagNode* pkImage = pkSetNode->GetChild(i);
                const std::string& kName = pkImage->GetName();
                CStartUpBitmap* pkSlot = nullptr;
                if (kName.find("base") != std::string::npos)
                    pkSlot = &pkSet->m_kBase;
                else if (kName.find("highlight") != std::string::npos)
                    pkSlot = &pkSet->m_kHighlight;
                else if (kName.find("selected") != std::string::npos)
                    pkSlot = &pkSet->m_kSelected;
                if (pkSlot == nullptr || pkImage->GetValues().empty())
                    continue;
                // A later image for the slot replaces the earlier one.
                (void)pkSlot->Load(kFolder + Trimmed(pkImage->GetValues().front()));
            }
            pkButton->m_kImageSets.push_back(std::move(pkSet));
        }
        for (const auto& pkSet : pkButton->m_kImageSets)
        {
            if (pkSet->m_iKind == 2)
            {
                pkButton->m_pkCurrentSet = pkSet.get();
                break;
            }
        }
        if (pkButton->m_pkCurrentSet == nullptr && !pkButton->m_kImageSets.empty())
            pkButton->m_pkCurrentSet = pkButton->m_kImageSets.front().get();
        kButtons.push_back(std::move(pkButton));
    }
}

void CStartUp::LoadLanguageButtons(COrvaneTagTree& kSettings, std::int32_t iLanguage)
{
    for (const auto& pkButton : m_kLanguageButtons)
        pkButton->m_bSelected = pkButton->m_iLanguage == iLanguage && pkButton->m_pkCurrentSet != nullptr &&
                                pkButton->m_pkCurrentSet->m_kSelected.IsLoaded();
    m_pkHovered = nullptr;
    m_kOptionButtons.clear();
    if (iLanguage < 0 || !kSettings.SelectSection("Startup_Screen", true) ||
        !kSettings.FindChild("Language_Directories"))
        return;
    const std::vector<std::string>& kDirectories = kSettings.GetValues();
    if (static_cast<std::size_t>(iLanguage) >= kDirectories.size())
        return;
    BuildButtons(kSettings, "Language_Specific",
                 std::string(IMAGE_FOLDER) + Trimmed(kDirectories[static_cast<std::size_t>(iLanguage)]) + "/",
                 m_kOptionButtons);
}

bool CStartUp::Run()
{
    Reset();
    m_eEnd = End::Leave;
    COrvaneTagTree kOwnSettings;
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    if (pkSettings == nullptr)
    {
        // A missing file leaves the document empty: every default applies.
        (void)kOwnSettings.Load(SETUP_FILE);
        pkSettings = &kOwnSettings;
    }
    COrvaneTagTree& kSettings = *pkSettings;

    ReadStoredMode(kSettings);
    m_eScreen = SCREEN_OPTIONS;
    BuildButtons(kSettings, "Generic", IMAGE_FOLDER, m_kLanguageButtons);
    BuildButtons(kSettings, "Language_Specific", std::string(IMAGE_FOLDER) + "english/", m_kOptionButtons);

    const bool bShown = !os::IsHeadless() || ShownWhenHeadless();
    if (!Open(kSettings, bShown))
    {
        m_kWindow.Destroy();
        return false;
    }
    if (!bShown)
    {
        // Nobody could see the dialog or answer it: the stored choices play.
        std::fprintf(stderr, "launcher: no display to show it on; playing in the stored mode\n");
        m_eEnd = End::Play;
        m_kWindow.Destroy();
        return true;
    }
    bool bRunning = true;
    while (bRunning)
    {
        os::DialogEvent kEvent;
        if (!m_kWindow.WaitEvent(kEvent, 100))
            continue;
        switch (kEvent.type)
        {
        case os::DialogEvent::Type::MouseMove:
            OnMouseMove(kEvent.x, kEvent.y);
            break;
        case os::DialogEvent::Type::LeftUp:
            OnMouseMove(kEvent.x, kEvent.y);
            bRunning = OnClick(kSettings);
            break;
        case os::DialogEvent::Type::PickerChanged:
            OnPickerChanged(kEvent.picker);
            break;
        case os::DialogEvent::Type::Key:
            if (kEvent.key == os::VK_ESCAPE)
                bRunning = false;
            break;
        case os::DialogEvent::Type::Close:
            bRunning = false;
            break;
        default:
            break;
        }
    }
    m_kWindow.Destroy();
    return m_eEnd == End::Play;
}

bool CStartUp::Open(COrvaneTagTree& kSettings, bool bShown)
{
    COrvaneRenderer kRenderer;
    const std::uint32_t uiAdapters = kRenderer.GetAdapterCount();
    if (uiAdapters == 0)
    {
        m_eEnd = End::NoDisplay;
        (void)os::MessageBox(nullptr, "No display found.", "Orvane", os::MB_OK | os::MB_ICONHAND);
        return false;
    }
    if (bShown && !m_kWindow.Create(WIDTH, HEIGHT))
    {
        m_eEnd = End::NoWindow;
        return false;
    }
    m_iAdapterList = m_kWindow.AddPicker(ADAPTER_LIST[0], ADAPTER_LIST[1], ADAPTER_LIST[2], ADAPTER_LIST[3],
                                         ADAPTER_LIST[4]);
    m_iModeList = m_kWindow.AddPicker(MODE_LIST[0], MODE_LIST[1], MODE_LIST[2], MODE_LIST[3], MODE_LIST[4]);
    for (std::uint32_t a = 0; a < uiAdapters && a < 2; ++a)
    {
        std::string kName;
        (void)kRenderer.GetAdapterName(a, kName);
        m_kAdapterNames.push_back(kName);
    }
    // The adapter list is sorted by name; each entry carries its adapter.
    std::vector<std::size_t> kOrder(m_kAdapterNames.size());
    for (std::size_t i = 0; i < kOrder.size(); ++i)
        kOrder[i] = i;
    std::stable_sort(kOrder.begin(), kOrder.end(),
                     [this](std::size_t a, std::size_t b) { return m_kAdapterNames[a] < m_kAdapterNames[b]; });
    for (const std::size_t uiAdapter : kOrder)
    {
        const int iEntry = m_kWindow.AddItem(m_iAdapterList, m_kAdapterNames[uiAdapter],
                                             static_cast<std::int64_t>(uiAdapter));
        if (static_cast<std::int32_t>(uiAdapter) == m_iAdapter)
            (void)m_kWindow.SetSelection(m_iAdapterList, iEntry);
    }
    FillModeList();

    long lLanguage = -1;
    if (!kSettings.SelectSection("Game_Data", true) || !kSettings.FindChild("Current_Language") ||
        !FirstValue(kSettings, lLanguage))
        lLanguage = -1;
    if (lLanguage >= 0 && lLanguage <= 2)
    {
        m_iLanguage = static_cast<std::int32_t>(lLanguage);
        m_bHasLanguage = true;
        LoadLanguageButtons(kSettings, m_iLanguage);
        ShowScreen(SCREEN_OPTIONS);
    }
    else
    {
        ShowScreen(SCREEN_LANGUAGE);
    }
    return true;
}

void CStartUp::FillModeList()
{
    COrvaneRenderer kRenderer;
    m_kWindow.ClearItems(m_iModeList);
    const std::uint32_t uiAdapter = static_cast<std::uint32_t>(std::max(m_iAdapter, 0));
    const std::uint32_t uiModes = kRenderer.GetDisplayModeCount(uiAdapter);
    int iFitting = -1;
    std::int64_t iWindowMode = -1;
    for (std::uint32_t m = 0; m < uiModes; ++m)
    {
        COrvaneDisplayModeRecord kMode;
        if (!kRenderer.GetDisplayMode(uiAdapter, m, kMode))
            continue;
        if (iWindowMode < 0 && kMode.m_ucUsable != 0 && kMode.m_uiWidth == 1024 && kMode.m_uiHeight == 768)
            iWindowMode = m;
        if (kMode.m_uiWidth < 1024 || kMode.m_uiWidth > 1600 || kMode.m_ucUsable == 0)
            continue;
        char acText[96];
        std::snprintf(acText, sizeof(acText), "%lu x %lu x %lu %s", static_cast<unsigned long>(kMode.m_uiWidth),
                      static_cast<unsigned long>(kMode.m_uiHeight), static_cast<unsigned long>(kMode.m_uiBitsPerPixel),
                      "bit");
        const int iEntry = m_kWindow.AddItem(m_iModeList, acText, m);
        // The last fitting mode in the renderer's order wins.
        if (kMode.m_uiWidth <= m_uiStoredWidth && kMode.m_uiHeight <= m_uiStoredHeight &&
            kMode.m_uiBitsPerPixel == m_uiStoredBits)
            iFitting = iEntry;
    }
    m_iWindowEntry = m_kWindow.AddItem(m_iModeList, WINDOW_ENTRY, iWindowMode < 0 ? 0 : iWindowMode);
    if (m_bStoredWindowed)
        m_iModeSelection = m_iWindowEntry;
    else
        // Nothing fits: the first entry (the window when it is the only one).
        m_iModeSelection = iFitting >= 0 ? iFitting : 0;
    (void)m_kWindow.SetSelection(m_iModeList, m_iModeSelection);
    m_iMode = static_cast<std::int32_t>(m_kWindow.GetItemData(m_iModeList, m_iModeSelection));
    m_bWindowed = m_iModeSelection == m_iWindowEntry;
}

CStartUp::ButtonList& CStartUp::ShownList()
{
    return m_eScreen == SCREEN_LANGUAGE ? m_kLanguageButtons : m_kOptionButtons;
}

void CStartUp::AddTextButtonsWhenNeeded()
{
    m_kTextButtons.clear();
    const ButtonList& kShown = ShownList();
    for (std::size_t i = 1; i < kShown.size(); ++i)
        if (kShown[i]->CanBeHovered())
            return;
    // Without a button to click the launcher could neither start nor end.
    const struct
    {
        const char* pcCaption;
        std::int32_t iAction;
        std::int32_t iLeft;
    } akButtons[] = {{"Play", ACTION_PLAY, 400}, {"Exit", ACTION_EXIT, 520}};
    for (const auto& kSpec : akButtons)
    {
        auto pkButton = std::make_unique<CStartUpButton>();
        pkButton->m_kCaption = kSpec.pcCaption;
        pkButton->m_iAction = kSpec.iAction;
        pkButton->m_iLeft = kSpec.iLeft;
        pkButton->m_iTop = 420;
        pkButton->m_iRight = kSpec.iLeft + 100;
        pkButton->m_iBottom = 452;
        m_kTextButtons.push_back(std::move(pkButton));
    }
}

void CStartUp::ShowScreen(Screen eScreen)
{
    m_eScreen = eScreen;
    m_pkHovered = nullptr;
    m_kWindow.ShowPicker(m_iAdapterList, eScreen == SCREEN_OPTIONS);
    m_kWindow.ShowPicker(m_iModeList, eScreen == SCREEN_OPTIONS);
    AddTextButtonsWhenNeeded();
    Paint();
}

void CStartUp::OnMouseMove(int iX, int iY)
{
    CStartUpButton* pkFound = nullptr;
    ButtonList& kShown = ShownList();
    // The first button is drawn first and never hit: it may carry the background.
    for (std::size_t i = 1; i < kShown.size() && pkFound == nullptr; ++i)
        if (kShown[i]->Contains(iX, iY) && kShown[i]->CanBeHovered())
            pkFound = kShown[i].get();
    for (std::size_t i = 0; i < m_kTextButtons.size() && pkFound == nullptr; ++i)
        if (m_kTextButtons[i]->Contains(iX, iY))
            pkFound = m_kTextButtons[i].get();
    if (pkFound == m_pkHovered)
        return;
    m_pkHovered = pkFound;
    Paint();
}

bool CStartUp::OnClick(COrvaneTagTree& kSettings)
{
    if (m_pkHovered == nullptr)
        return true;
    const CStartUpButton& kButton = *m_pkHovered;
    switch (kButton.m_iAction)
    {
    case ACTION_PLAY:
        (void)SaveSettings(kSettings);
        m_eEnd = End::Play;
        return false;
    case ACTION_EXIT:
        (void)SaveSettings(kSettings);
        m_eEnd = End::Leave;
        return false;
    case ACTION_UNINSTALL:
        // The game has no uninstaller to start.
        std::fprintf(stderr, "launcher: there is no uninstaller; the game is left as it is\n");
        m_eEnd = End::Leave;
        return false;
    case ACTION_HELP:
        OpenHelp();
        return true;
    case ACTION_BACK:
        ShowScreen(SCREEN_LANGUAGE);
        return true;
    case ACTION_LANGUAGE:
        if (kButton.m_iLanguage >= 0)
        {
            m_iLanguage = kButton.m_iLanguage;
            m_bHasLanguage = true;
            LoadLanguageButtons(kSettings, m_iLanguage);
            RetellHelpNotice();
            ShowScreen(SCREEN_OPTIONS);
        }
        return true;
    default:
        return true;
    }
}

void CStartUp::OnPickerChanged(int iPicker)
{
    if (iPicker == m_iAdapterList)
    {
        const std::int32_t iAdapter = static_cast<std::int32_t>(
            m_kWindow.GetItemData(m_iAdapterList, m_kWindow.GetSelection(m_iAdapterList)));
        if (iAdapter >= 0 && iAdapter != m_iAdapter)
        {
            // The other adapter's own modes, the stored one chosen again.
            m_iAdapter = iAdapter;
            FillModeList();
        }
    }
    else if (iPicker == m_iModeList)
    {
        m_iModeSelection = m_kWindow.GetSelection(m_iModeList);
        m_iMode = static_cast<std::int32_t>(m_kWindow.GetItemData(m_iModeList, m_iModeSelection));
        m_bWindowed = m_iModeSelection == m_iWindowEntry;
    }
    Paint();
}

void CStartUp::Paint()
{
    if (!m_kWindow.IsOpen())
        return;
    m_kWindow.Fill(0, 0, WIDTH, HEIGHT, BACKGROUND);
    for (const auto& pkButton : ShownList())
    {
        const CStartUpImageSet* pkSet = pkButton->m_pkCurrentSet;
        if (pkSet == nullptr || !pkSet->IsDrawn())
            continue;
        if (pkButton->m_bSelected && pkSet->m_kSelected.IsLoaded())
            DrawBitmap(m_kWindow, pkSet->m_kSelected, pkButton->m_iLeft, pkButton->m_iTop);
        else
            DrawBitmap(m_kWindow, pkSet->m_kBase, pkButton->m_iLeft, pkButton->m_iTop);
    }
    for (const auto& pkButton : m_kTextButtons)
    {
        const bool bLit = pkButton.get() == m_pkHovered;
        const int iWidth = pkButton->m_iRight - pkButton->m_iLeft;
        const int iHeight = pkButton->m_iBottom - pkButton->m_iTop;
        m_kWindow.Fill(pkButton->m_iLeft, pkButton->m_iTop, iWidth, iHeight, TEXT_BUTTON_EDGE);
        m_kWindow.Fill(pkButton->m_iLeft + 1, pkButton->m_iTop + 1, iWidth - 2, iHeight - 2,
                       bLit ? TEXT_BUTTON_LIT : TEXT_BUTTON_FACE);
        const int iTextWidth = m_kWindow.TextWidth(pkButton->m_kCaption, 15);
        (void)m_kWindow.DrawText(pkButton->m_iLeft + (iWidth - iTextWidth) / 2, pkButton->m_iTop + (iHeight - 18) / 2,
                                 pkButton->m_kCaption, TEXT_COLOUR, 15);
    }
    if (m_pkHovered != nullptr && m_pkHovered->m_kCaption.empty() && m_pkHovered->m_pkCurrentSet != nullptr)
        DrawBitmap(m_kWindow, m_pkHovered->m_pkCurrentSet->m_kHighlight, m_pkHovered->m_iLeft, m_pkHovered->m_iTop);
    PaintHelpNotice();
    m_kWindow.Present();
}

void CStartUp::PaintHelpNotice()
{
    if (m_kHelpNotice.empty())
        return;
    constexpr int MARGIN = 6;
    constexpr int LINE = 16;
    // The window's lower left: the launchers' buttons stand to the right.
    constexpr int NOTICE_WIDTH = WIDTH * 3 / 5;
    std::vector<std::string> kLines;
    std::size_t uiStart = 0;
    while (uiStart <= m_kHelpNotice.size())
    {
        const std::size_t uiEnd = std::min(m_kHelpNotice.find('\n', uiStart), m_kHelpNotice.size());
        for (std::string& kLine : WrapToWidth(m_kWindow, m_kHelpNotice.substr(uiStart, uiEnd - uiStart),
                                              NOTICE_WIDTH - 2 * MARGIN, NOTICE_SIZE))
            kLines.push_back(std::move(kLine));
        uiStart = uiEnd + 1;
    }
    const int iHeight = static_cast<int>(kLines.size()) * LINE + 2 * MARGIN;
    const int iTop = HEIGHT - iHeight;
    m_kWindow.Fill(0, iTop, NOTICE_WIDTH, iHeight, NOTICE_BACKGROUND);
    for (std::size_t i = 0; i < kLines.size(); ++i)
        (void)m_kWindow.DrawText(MARGIN, iTop + MARGIN + static_cast<int>(i) * LINE, kLines[i], TEXT_COLOUR,
                                 NOTICE_SIZE);
}

bool CStartUp::SaveSettings(COrvaneTagTree& kSettings)
{
    if (kSettings.SelectSection("Current_Language", true))
    {
        if (!kSettings.ReplaceValue(0, std::to_string(m_iLanguage) + "\r\n"))
            kSettings.AddValue(std::to_string(m_iLanguage) + "\r\n");
    }
    COrvaneDisplayModeRecord kMode;
    COrvaneRenderer kRenderer;
    (void)kRenderer.GetDisplayMode(static_cast<std::uint32_t>(std::max(m_iAdapter, 0)),
                                   static_cast<std::uint32_t>(std::max(m_iMode, 0)), kMode);
    if (!kSettings.SelectSection("Application_Data", true))
    {
        // An empty text matches the root first.
        if (!kSettings.SelectSection("", true) || !kSettings.AddChild("Application_Data") ||
            !kSettings.FindChild("Application_Data"))
            return false;
    }
    // The window choice first: the four mode keys end the section.
    const struct
    {
        const char* pcKey;
        std::uint32_t uiValue;
    } akKeys[] = {{"Windowed", m_bWindowed ? 1u : 0u},
                  {"VideoModeWidth", kMode.m_uiWidth},
                  {"VideoModeHeight", kMode.m_uiHeight},
                  {"VideoModeBits", kMode.m_uiBitsPerPixel},
                  {"ModeIndex", static_cast<std::uint32_t>(std::max(m_iMode, 0))}};
    for (const auto& kKey : akKeys)
    {
        if (kSettings.FindChild(kKey.pcKey))
            kSettings.RemoveNode();
        const COrvaneTagNode* pkSection = kSettings.GetCursor();
        if (!kSettings.AddChild(kKey.pcKey))
            return false;
        (void)kSettings.FindChild(nullptr);
        // The new node is the section's last child.
        while (kSettings.NextSibling(nullptr))
        {
        }
        kSettings.AddValue(std::to_string(kKey.uiValue) + "\r\n");
        kSettings.SelectParent();
        if (kSettings.GetCursor() != pkSection)
            return false;
    }
    return SaveDocumentAtomically(kSettings, SETUP_FILE);
}

bool CStartUp::FindHelpPage(std::int32_t& iLanguage, std::string& kFull) const
{
    iLanguage = m_iLanguage >= 0 && m_iLanguage <= 2 ? m_iLanguage : 0;
    const std::string kPage = std::string("./help/") + HELP_FOLDERS[iLanguage] + "/Help.htm";
    const std::string kResolved = os::ResolvePath(kPage);
    if (!os::FileExists(kResolved))
    {
        std::fprintf(stderr, "launcher: no help page at %s\n", kPage.c_str());
        return false;
    }
    kFull = FullPath(kResolved);
    return true;
}

void CStartUp::OpenHelp()
{
    std::int32_t iLanguage = 0;
    std::string kFull;
    if (!FindHelpPage(iLanguage, kFull))
        return;
    m_kHelpNotice.clear();
    if (!Opener()(kFull))
        m_kHelpNotice = std::string(HELP_NOTICE[iLanguage]) + "\n" + kFull;
    Paint();
}

void CStartUp::RetellHelpNotice()
{
    if (m_kHelpNotice.empty())
        return;
    // Told again, not opened again: the player asked for help once, and a
    // second opener attempt would fail as the first did. The new language's
    // own page, when it has none the notice goes.
    std::int32_t iLanguage = 0;
    std::string kFull;
    m_kHelpNotice = FindHelpPage(iLanguage, kFull) ? std::string(HELP_NOTICE[iLanguage]) + "\n" + kFull : "";
}
