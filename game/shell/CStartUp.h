#pragma once

// The launcher: a small window drawn from bitmaps in which the player picks
// the language, the display adapter and the video mode (or a window), opens
// the help page, and plays or leaves. Its layout and the last choices come
// from the settings document ("./setup.xml"), and the choices go back there.

#include "platform/os/OsDialogWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class COrvaneTagTree;

// One bitmap, as opaque 0xAARRGGBB pixels, top row first; empty = absent.
struct CStartUpBitmap
{
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::vector<std::uint32_t> m_kPixels;

    [[nodiscard]] bool IsLoaded() const { return !m_kPixels.empty(); }
    // A Windows bitmap file read by the engine's reader (through the path
    // resolver); false, the bitmap left empty, when it cannot be read.
    bool Load(const std::string& kPath);
};

// One look of a button: kind 0 is always drawn, 2 is the preferred kind,
// any other kind is never drawn.
struct CStartUpImageSet
{
    std::int32_t m_iKind = 0;
    CStartUpBitmap m_kBase;
    CStartUpBitmap m_kHighlight;
    CStartUpBitmap m_kSelected;

    [[nodiscard]] bool IsDrawn() const { return m_iKind == 0 || m_iKind == 2; }
};

struct CStartUpButton
{
    std::string m_kName;
    std::vector<std::unique_ptr<CStartUpImageSet>> m_kImageSets;
    CStartUpImageSet* m_pkCurrentSet = nullptr;
    std::int32_t m_iLeft = 0;
    std::int32_t m_iTop = 0;
    std::int32_t m_iRight = 0;
    std::int32_t m_iBottom = 0;
    std::int32_t m_iAction = 0;
    std::int32_t m_iLanguage = 0;
    bool m_bSelected = false;
    // A text button drawn without bitmaps (a screen with nothing to click).
    std::string m_kCaption;

    // The right and bottom edges are outside.
    [[nodiscard]] bool Contains(std::int32_t iX, std::int32_t iY) const
    {
        return iX >= m_iLeft && iX < m_iRight && iY >= m_iTop && iY < m_iBottom;
    }
    [[nodiscard]] bool CanBeHovered() const
    {
        return !m_kCaption.empty() || (m_pkCurrentSet != nullptr && m_pkCurrentSet->m_kHighlight.IsLoaded());
    }
};

class CStartUp
{
public:
    // The dialog's client size in pixels.
    static constexpr int WIDTH = 640;
    static constexpr int HEIGHT = 480;
    // Where the two lists sit: (x, y), width, closed height, height of the
    // dropped list.
    static constexpr int ADAPTER_LIST[5] = {39, 44, 135, 20, 49};
    static constexpr int MODE_LIST[5] = {38, 96, 135, 20, 335};

    enum Action : std::int32_t
    {
        ACTION_PLAY = 1,
        ACTION_EXIT = 2,
        ACTION_UNINSTALL = 3,
        ACTION_HELP = 4,
        ACTION_BACK = 5,
        ACTION_LANGUAGE = 6,
    };
    enum Screen : std::int32_t
    {
        SCREEN_LANGUAGE = 0,
        SCREEN_OPTIONS = 1,
    };
    // How the dialog ended.
    enum class End
    {
        Play,
        Leave,   // exit, uninstall, Esc or the window closed
        NoDisplay,
        NoWindow,
    };

    static constexpr const char* SETUP_FILE = "./setup.xml";
    static constexpr const char* IMAGE_FOLDER = "./images/startup/";
    static constexpr const char* WINDOW_ENTRY = "1024 x 768 window";

    // The help page opener: gets the page's full path; the default starts
    // "xdg-open" on it. False when no opener could be started.
    using HelpOpener = std::function<bool(const std::string& kPage)>;

    CStartUp();
    virtual ~CStartUp();
    CStartUp(const CStartUp&) = delete;
    CStartUp& operator=(const CStartUp&) = delete;

    // Reads the settings and both button lists, then runs the dialog until
    // the player plays or leaves. True for play (without saving anything
    // when no dialog could be shown). The settings document is
    // the application's when it has one, else "./setup.xml" read here.
    bool Run();
    virtual void Reset();

    [[nodiscard]] End GetEnd() const { return m_eEnd; }
    [[nodiscard]] std::int32_t GetAdapter() const { return m_iAdapter; }
    [[nodiscard]] std::int32_t GetMode() const { return m_iMode; }
    [[nodiscard]] bool IsWindowed() const { return m_bWindowed; }
    // The game's language as the launcher leaves it.
    [[nodiscard]] std::int32_t GetLanguage() const { return m_iLanguage; }
    void SetLanguage(std::int32_t iLanguage) { m_iLanguage = iLanguage; }
    // A language was read from the settings (0, 1 or 2) or chosen.
    [[nodiscard]] bool HasLanguage() const { return m_bHasLanguage; }

    [[nodiscard]] Screen GetScreen() const { return m_eScreen; }
    [[nodiscard]] const std::vector<std::unique_ptr<CStartUpButton>>& GetLanguageButtons() const
    {
        return m_kLanguageButtons;
    }
    [[nodiscard]] const std::vector<std::unique_ptr<CStartUpButton>>& GetOptionButtons() const
    {
        return m_kOptionButtons;
    }
    [[nodiscard]] const std::vector<std::unique_ptr<CStartUpButton>>& GetTextButtons() const
    {
        return m_kTextButtons;
    }
    [[nodiscard]] const CStartUpButton* GetHovered() const { return m_pkHovered; }
    // What the window says after help found no opener: a line, then the
    // page's path, both in the launcher's current language; empty otherwise.
    [[nodiscard]] const std::string& GetHelpNotice() const { return m_kHelpNotice; }
    [[nodiscard]] const std::vector<std::string>& GetAdapterNames() const { return m_kAdapterNames; }
    // The open dialog window (lists, pixels), for tests acting on it.
    [[nodiscard]] os::DialogWindow& GetWindow() { return m_kWindow; }
    [[nodiscard]] int GetAdapterList() const { return m_iAdapterList; }
    [[nodiscard]] int GetModeList() const { return m_iModeList; }

    static void SetHelpOpener(HelpOpener kOpener);
    // On the headless video drivers nobody can answer the dialog, so it
    // plays at once in the stored mode; tests that drive it turn it on.
    static void SetShownWhenHeadless(bool bShown);
    // The help opener back to its default.
    static void ResetStatics();

private:
    using ButtonList = std::vector<std::unique_ptr<CStartUpButton>>;

    void ReadStoredMode(COrvaneTagTree& kSettings);
    // The buttons under "Startup_Screen" / pcSection, images from kFolder.
    void BuildButtons(COrvaneTagTree& kSettings, const char* pcSection, const std::string& kFolder,
                      ButtonList& kButtons);
    void LoadLanguageButtons(COrvaneTagTree& kSettings, std::int32_t iLanguage);
    // The lists filled, the stored language's screen shown; the window is
    // opened only when bShown. False when the dialog ends at once.
    bool Open(COrvaneTagTree& kSettings, bool bShown);
    void FillModeList();
    void ShowScreen(Screen eScreen);
    void AddTextButtonsWhenNeeded();
    [[nodiscard]] ButtonList& ShownList();
    void OnMouseMove(int iX, int iY);
    // False once the dialog has ended.
    bool OnClick(COrvaneTagTree& kSettings);
    void OnPickerChanged(int iPicker);
    void Paint();
    bool SaveSettings(COrvaneTagTree& kSettings);
    // The help page of the launcher's language (English for any other) as
    // a full path; false, said on standard error, when it is missing.
    bool FindHelpPage(std::int32_t& iLanguage, std::string& kFull) const;
    void OpenHelp();
    // A help notice on show follows a change of language.
    void RetellHelpNotice();
    void PaintHelpNotice();

    ButtonList m_kLanguageButtons;
    ButtonList m_kOptionButtons;
    CStartUpButton* m_pkHovered = nullptr;
    Screen m_eScreen = SCREEN_OPTIONS;
    std::vector<std::string> m_kAdapterNames;
    std::int32_t m_iAdapter = 0;
    std::int32_t m_iMode = 0;
    std::uint32_t m_uiStoredWidth = 1024;
    std::uint32_t m_uiStoredHeight = 768;
    std::uint32_t m_uiStoredBits = 32;
    bool m_bStoredWindowed = false;
    std::int32_t m_iModeSelection = -1;
    // The entry of the window choice in the mode list.
    std::int32_t m_iWindowEntry = -1;
    bool m_bWindowed = false;
    std::int32_t m_iLanguage = 0;
    bool m_bHasLanguage = false;
    End m_eEnd = End::Leave;

    ButtonList m_kTextButtons;
    std::string m_kHelpNotice;
    os::DialogWindow m_kWindow;
    int m_iAdapterList = -1;
    int m_iModeList = -1;
};
