#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CFrontEndScreens;
class COrvaneImage;
class COrvaneTagTree;
struct COrvaneWidgetRect;

// A full-screen menu of the front end: its background and numbered
// buttons; every click goes to the owner's button table.
class CFrontEndPanel : public COrvaneCanvas
{
public:
    CFrontEndPanel();
    ~CFrontEndPanel() override;

    // 0 highlights, 1 clears, 2 is a click: the in-game panels close, the
    // click is used up and the button acts.
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    // The widget's highlight; nothing for a missing widget or a negative state.
    virtual void SetWidgetState(std::int32_t iIndex, std::int32_t iState);
    // Null for a missing widget.
    [[nodiscard]] virtual const COrvaneWidgetRect* GetWidgetArea(std::int32_t iIndex) const;
    // The button of the owner's current screen.
    void StartScenario(std::int32_t iButton);

    void SetOwner(CFrontEndScreens* pkOwner) { m_pkOwner = pkOwner; }
    [[nodiscard]] CFrontEndScreens* GetOwner() const { return m_pkOwner; }

protected:
    CFrontEndScreens* m_pkOwner = nullptr; // link: the owner holds this screen
};

class CFrontEndMainPanel : public CFrontEndPanel
{
};

class CFrontEndLevelSelect : public CFrontEndPanel
{
};

// One prepared game: its save file (name + ".fds"), preview (name +
// ".tga"), the level it plays on and its number among the scenarios.
struct ScenarioEntry
{
    ScenarioEntry();
    ~ScenarioEntry();
    ScenarioEntry(ScenarioEntry&&) noexcept;
    ScenarioEntry& operator=(ScenarioEntry&&) noexcept;

    std::unique_ptr<COrvaneImage> m_pkPreview;
    std::string m_kName;
    std::uint32_t m_uiWorld = 0;
    std::uint32_t m_uiScenario = 0;
};

// The scenario screen: one scenario at a time with its preview, brief and,
// once completed, the stamp.
class CFrontEndScenarioSelect : public CFrontEndPanel
{
public:
    static constexpr const char* STAMP = "images/scenario/approved.tga";
    static constexpr std::int32_t BRIEF_FONT = 2;

    CFrontEndScenarioSelect();
    ~CFrontEndScenarioSelect() override;

    // The background, then the stamp.
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    // Background and buttons, the stamp when the scenario is completed (the
    // record is read every frame, so a result shows at once), the brief and
    // the preview. Only the canvas without scenarios.
    void Draw() override;

    // The "SCENARIOS" values of the data document, in order; the first
    // becomes current.
    void BuildScenarioList(COrvaneTagTree* pkData);
    // One step, never past either end.
    void NextScenario();
    void PreviousScenario();
    // The current entry's name; empty without scenarios.
    [[nodiscard]] std::string CurrentFile() const;
    [[nodiscard]] const ScenarioEntry* GetCurrentEntry() const;
    [[nodiscard]] std::size_t GetEntryCount() const { return m_kEntries.size(); }
    [[nodiscard]] std::size_t GetCurrentIndex() const { return m_uiCurrent; }
    [[nodiscard]] COrvaneImage* GetStamp() const { return m_pkStamp.get(); }
    // Whether "./config.bin" records the current scenario "COMPLETE".
    [[nodiscard]] bool IsCurrentComplete() const;

private:
    std::vector<ScenarioEntry> m_kEntries;
    std::size_t m_uiCurrent = 0;
    std::unique_ptr<COrvaneImage> m_pkStamp;
};

// The front end's three screens and the one shown. Screens taken away while
// one of them is handling a click live on until that pass has ended.
class CFrontEndScreens
{
public:
    enum Screen
    {
        SCREEN_NONE,
        SCREEN_MAIN,
        SCREEN_LOCATION,
        SCREEN_SCENARIO
    };
    static constexpr const char* MAIN_IMAGE = "images/mainmenu/mainmenu.tga";
    static constexpr const char* LOCATION_IMAGE = "images/location/location.tga";
    static constexpr const char* SCENARIO_IMAGE = "images/scenario/scenario.tga";

    CFrontEndScreens();
    virtual ~CFrontEndScreens();
    CFrontEndScreens(const CFrontEndScreens&) = delete;
    CFrontEndScreens& operator=(const CFrontEndScreens&) = delete;

    // The three screens with their backgrounds and the scenario list; the
    // main menu is shown and takes input. True.
    bool CreateFrontEndPanels(COrvaneTagTree* pkData);
    void DeleteScreens();
    [[nodiscard]] bool IsBuilt() const { return m_pkMain != nullptr; }
    // The shown screen's hover step while input is on; input comes back once
    // no load panel is open. True when a new game is to start at once
    // (m_bStartNewGame).
    bool Update(float fDeltaTime);
    // The shown screen, then the interface's open panels.
    void Draw();

    void ShowScreen(Screen eScreen);
    [[nodiscard]] Screen GetCurrentScreen() const { return m_eCurrent; }
    [[nodiscard]] CFrontEndPanel* GetCurrentPanel() const;
    [[nodiscard]] CFrontEndMainPanel* GetMainPanel() const { return m_pkMain.get(); }
    [[nodiscard]] CFrontEndLevelSelect* GetLocationPanel() const { return m_pkLocation.get(); }
    [[nodiscard]] CFrontEndScenarioSelect* GetScenarioPanel() const { return m_pkScenario.get(); }
    [[nodiscard]] bool IsInputEnabled() const { return m_bInputEnabled; }
    void SetInputEnabled(bool bEnabled) { m_bInputEnabled = bEnabled; }

    // Skips the menus: a new game of the game type's level on the next
    // frame (tests and tools).
    bool m_bStartNewGame = false;

private:
    void Retire();

    Screen m_eCurrent = SCREEN_NONE;
    std::unique_ptr<CFrontEndMainPanel> m_pkMain;
    std::unique_ptr<CFrontEndLevelSelect> m_pkLocation;
    std::unique_ptr<CFrontEndScenarioSelect> m_pkScenario;
    bool m_bInputEnabled = false;
    bool m_bUpdating = false;
    std::vector<std::unique_ptr<CFrontEndPanel>> m_kRetired;
};
