#pragma once

// The game played in-process as a player plays it: the application started
// on a copy of the demo data, the launcher's Play clicked, and from then on
// input only as window events aimed at widget rectangles read from the
// panels and at cell centres projected through the game camera. Frames are
// a fixed 0.05 s on a clock that stands still, random draws seeded, boxes
// recorded instead of shown. Shared by the play-through test and the memory
// benchmark; the caller chooses the video driver and the device back end.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CBaseObject;
class CBlockGrid;
class CGame;
class COrvaneCanvas;
class CPlayClock;
class CWorldObject;
class NiVec3;

class CPlayScript
{
public:
    static constexpr float FRAME = 0.05f;
    // PC set-1 scan codes of the keys the script and its callers press.
    static constexpr std::uint8_t SCAN_BACKSPACE = 0x0E;
    static constexpr std::uint8_t SCAN_W = 0x11;
    static constexpr std::uint8_t SCAN_ENTER = 0x1C;
    static constexpr std::uint8_t SCAN_CTRL = 0x1D;
    static constexpr std::uint8_t SCAN_M = 0x32;
    static constexpr std::uint8_t SCAN_SPACE = 0x39;

    // A message box the game showed.
    struct Box
    {
        std::string m_kCaption;
        std::string m_kText;
    };

    explicit CPlayScript(std::uint32_t uiSeed);
    // The application destroyed and every process-wide state it touched
    // put back.
    ~CPlayScript();
    CPlayScript(const CPlayScript&) = delete;
    CPlayScript& operator=(const CPlayScript&) = delete;

    // The demo data copied into kFolder, its "MUSIC" entries dropped (a
    // track's end comes in real time). False when the copy fails.
    static bool CopyDemoData(const std::string& kDemoData, const std::string& kFolder);

    // The application started in the current folder through the launcher
    // (its Play button clicked), then frames until the main menu shows.
    bool Start();
    [[nodiscard]] CGame& Game() const;
    [[nodiscard]] const std::vector<Box>& Boxes() const { return m_kBoxes; }
    void ClearBoxes() { m_kBoxes.clear(); }
    // What went wrong last, for the caller's failure message.
    [[nodiscard]] const std::string& Why() const { return m_kWhy; }

    // One frame of the main loop: messages pumped, input dispatched,
    // drawn, updated by the frame time (FRAME unless set).
    void Frame(int iCount = 1);
    // The time each later frame reports, as the loop measures it on a
    // display of that rate: a played game steps its people by a display's
    // refresh, not by the longest frame the game accepts.
    void SetFrameTime(float fSeconds) { m_fFrame = fSeconds; }
    [[nodiscard]] float GetFrameTime() const { return m_fFrame; }

    // Input, as window events followed by the frames that read them.
    void MoveTo(float fX, float fY);
    void Click(float fX, float fY, bool bRight = false);
    // A quick click from elsewhere: the pointer rests at the first spot,
    // then comes to the second and presses there within one frame; the
    // release follows in that frame too, or in the next one when bHeld.
    void Tap(float fFromX, float fFromY, float fX, float fY, bool bHeld = false);
    // The middle of the canvas's widget; false when it has no such widget.
    bool ClickWidget(const COrvaneCanvas& kCanvas, std::int32_t iWidget);
    static bool WidgetCentre(const COrvaneCanvas& kCanvas, std::int32_t iWidget, float& fX, float& fY);
    // A key by its PC set-1 scan code.
    void PressScanCode(std::uint8_t ucCode, bool bExtended = false);
    // The key held down for iFrames frames, then let go.
    void HoldScanCode(std::uint8_t ucCode, int iFrames);
    // Ctrl held and the mouse pushed by (fDX, fDY) pixels from the screen's
    // middle for iSteps frames, then Ctrl let go: the view turns.
    void TurnView(float fDX, float fDY, int iSteps);
    // Letters and digits typed, each as key events and text.
    void Type(const std::string& kText);

    // The main panel's speed buttons 0-3.
    bool SetSpeedButton(std::int32_t iSpeed);

    // Front end: main menu button 1, then location 1: a free game on the
    // first location.
    bool EnterFreeGame();
    // Front end: main menu button 2, the scenario screen.
    bool OpenScenarios();
    // The scenario screen's start (button 4): its current scenario loaded,
    // the game running.
    bool StartScenario();
    // Frames until the scenario's goal or failure shows, each morning's
    // desk top left with widget 3; iMornings counts the mornings that
    // came. False when iDays mornings pass without a result.
    bool RunUntilResult(int iDays, int& iMornings);
    // Space on the result screen: back at the main menu.
    bool LeaveResultScreen();
    // Enter and the cheat code typed (once), then speed 12 (key 6) when
    // bSpeed.
    bool EnterCheatCode(bool bSpeed = true);
    // Key m with cheats on: money for building.
    void AddCheatMoney(int iTimes);

    // The window pixel over the cell's centre through the game camera;
    // false when it lies off the screen.
    bool ProjectCell(const CBlockGrid& kFloor, std::int32_t iCell, float& fX, float& fY) const;
    // The window pixel over a world point; false off the screen.
    bool ProjectPoint(const NiVec3& kAt, float& fX, float& fY) const;
    // The pointer over the cell's centre, a frame run, the pick checked.
    bool PointAtCell(const CBlockGrid& kFloor, std::int32_t iCell);

    // The grounds build panel opened by the main panel's build button, the
    // item of the category picked through the icons and the page's
    // arrows, then the cursor moved over the yard's cells from iFrom on
    // until the held object may stand, and the click. The object put down
    // (a building, or a fence), or null.
    CBaseObject* BuildOnYard(const std::string& kTemplate, std::int32_t iFrom);
    // Inside the building, from its ground floor up: the inside build panel
    // opened, the item picked, placed on the first free place. True when it
    // was put down.
    bool BuildInside(CWorldObject& kBuilding, const std::string& kTemplate);
    // Every panel closed (Space) and the building left.
    void LeaveBuilding();
    // Paused (speed 0), cheats on (CHEAT_PRESSES times money, the first
    // prison level), the five buildings and a fence on the yard. False (Why
    // says what) when one could not be put down.
    static constexpr int CHEAT_PRESSES = 20;
    bool BuildGrounds();
    // Inside each building the items that fit (cells, workbench, counter,
    // table, bench, bed, staff rooms); what no building took is listed in
    // m_kNotFitting.
    bool FurnishPrison();
    bool BuildPrison();

    // Frames until the game has run iDays mornings; each morning (the
    // desk top showing) fnMorning gets the day's number from 1, then the
    // desk top is left with widget 3. False when a frame limit is hit.
    bool RunDays(int iDays, const std::function<void(int)>& fnMorning = {});
    // Frames until the clock reads at least the hour (of the current day).
    bool RunUntilHour(float fHour);
    // Message number iMessage waits in the main panel's ticker or has left
    // it for the message list.
    static bool WasPosted(std::int32_t iMessage);
    // The desk top's widget clicked (1 grant, 2 refuse, 3 leave).
    bool ClickDeskTop(std::int32_t iWidget);

    // Options -> save, the name typed, the action button (and yes when
    // the file exists). True when the file is there afterwards.
    bool SaveAs(const std::string& kName);
    // Options -> load, the name typed, the action button, yes.
    bool LoadFrom(const std::string& kName);
    // An open file panel's close button.
    void CloseFilePanel();

private:
    bool OpenOptionsFilePanel(bool bLoad);
    bool AnswerYes();
    bool Fail(const std::string& kWhy);

public:
    // What BuildPrison put down: the buildings in order (cell block,
    // workshop, canteen, hospital, administration), the inside items, and
    // the items no building offered.
    std::vector<CWorldObject*> m_kBuilt;
    std::vector<std::string> m_kInside;
    std::vector<std::string> m_kNotFitting;
    // Buildings a click did not enter (off the screen, or nothing of their
    // model to pick).
    int m_iEnteredWithoutClick = 0;

private:
    std::uint32_t m_uiSeed;
    float m_fFrame = FRAME;
    std::unique_ptr<CPlayClock> m_pkClock;
    std::vector<Box> m_kBoxes;
    std::string m_kWhy;
    bool m_bStarted = false;
};
