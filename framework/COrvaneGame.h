#pragma once

#include "framework/COrvaneBase.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class COrvaneCamera;
class COrvaneKeyboard;
class COrvaneLevelManager;
class COrvaneLocale;
class COrvaneMouse;
class COrvanePrerequisites;
class COrvaneTagTree;

// Two lists the game fills and clears together.
class COrvaneGameLists
{
public:
    void Clear();

    std::vector<void*> m_kFirst;  // links: the game owns what they point to
    std::vector<void*> m_kSecond;
};

// The capped time of the last update and the sum of those times.
struct COrvaneFrameTimes
{
    float m_fFrameTime = 0.0f;
    float m_fTotalTime = 0.0f;
};

// The last key event the game's keyboard callback recorded; the key
// code (the third word) is 0 when no key was pressed in this frame.
struct COrvaneLastKeyEvent
{
    std::uint32_t m_uiFirst = 0;
    std::uint32_t m_uiSecond = 0;
    std::uint32_t m_uiKeyCode = 0;
    std::uint32_t m_uiFourth = 0;
};

// Key events of one frame, oldest first. The last key event alone loses
// all but the last of several keys released within one frame: a typist's
// quick letters. Only the text field needs every key; what else reads keys
// reads the last one.
class COrvaneFrameKeys
{
public:
    // More keys than a hand releases in one frame; past it (a game that
    // stopped clearing, a stuck key repeating) the last key event still
    // changes, the queue does not grow.
    static constexpr std::size_t CAPACITY = 64;

    void Add(const COrvaneLastKeyEvent& kEvent)
    {
        if (m_kEvents.size() < CAPACITY)
            m_kEvents.push_back(kEvent);
    }
    void Clear() { m_kEvents.clear(); }
    [[nodiscard]] const std::vector<COrvaneLastKeyEvent>& GetEvents() const { return m_kEvents; }

private:
    std::vector<COrvaneLastKeyEvent> m_kEvents;
};

// Base of the game object that the application drives every frame.
class COrvaneGame : public COrvaneBase
{
public:
    // Longest step a single update takes, in seconds.
    static constexpr float MAX_FRAME_TIME = 0.05f;

    COrvaneGame();
    ~COrvaneGame() override;

    void Destroy() override;
    virtual void Reset();

    virtual void SetScreenSize(std::int32_t iWidth, std::int32_t iHeight);
    [[nodiscard]] virtual std::int32_t GetScreenWidth() const { return m_iScreenWidth; }
    [[nodiscard]] virtual std::int32_t GetScreenHeight() const { return m_iScreenHeight; }
    virtual void SetState(std::int32_t iState) { m_iState = iState; }
    [[nodiscard]] virtual std::int32_t GetState() const { return m_iState; }
    virtual void SetMode(std::int32_t iMode) { m_iMode = iMode; }
    [[nodiscard]] virtual std::int32_t GetMode() const { return m_iMode; }
    [[nodiscard]] virtual const COrvaneFrameTimes& GetFrameTimes() const { return m_kTimes; }
    // A loaded game takes its times back.
    void SetFrameTimes(const COrvaneFrameTimes& kTimes) { m_kTimes = kTimes; }

    // The launcher's choice of adapter and display mode; false when the
    // player leaves instead.
    virtual bool ChooseDisplayMode(std::uint32_t& uiAdapter, std::uint32_t& uiMode);
    // A zero step after a skip request, else dt capped at MAX_FRAME_TIME.
    virtual void Update(float fDeltaTime);
    virtual void Render() {}
    // True when a frame drawn now would show what the last one showed, unless
    // input changes it (a menu, a paused game whose camera stands): the main
    // loop then draws such frames only now and then. Asked once a frame.
    [[nodiscard]] virtual bool IsScreenStill() { return false; }
    // Draws the game's scene alone (no interface); 1 when it drew. The
    // camera's preview picture is drawn through it.
    virtual std::int32_t RenderScene() { return 0; }
    virtual bool Start() { return true; }
    virtual bool Init(const char* pcName);

    [[nodiscard]] bool GetSkipNextUpdate() const { return m_ucSkipNextUpdate != 0; }
    void SetSkipNextUpdate(bool bSkip) { m_ucSkipNextUpdate = bSkip ? 1 : 0; }

    [[nodiscard]] COrvaneTagTree* GetDataDocument() const { return m_pkDataDocument.get(); }
    void SetDataDocument(std::unique_ptr<COrvaneTagTree> pkDocument);
    [[nodiscard]] COrvaneGameLists* GetLists() const { return m_pkLists.get(); }
    [[nodiscard]] COrvaneLocale* GetLocale() const { return m_pkLocale.get(); }
    void SetLocale(std::unique_ptr<COrvaneLocale> pkLocale);

    // The game's camera, mouse and keyboard; null when it has none.
    [[nodiscard]] virtual COrvaneCamera* GetCamera() const { return m_pkCamera.get(); }
    [[nodiscard]] virtual COrvaneMouse* GetMouse() const { return m_pkMouse.get(); }
    [[nodiscard]] virtual COrvaneKeyboard* GetKeyboard() const { return m_pkKeyboard.get(); }
    void SetCamera(std::unique_ptr<COrvaneCamera> pkCamera);
    void SetMouse(std::unique_ptr<COrvaneMouse> pkMouse);
    void SetKeyboard(std::unique_ptr<COrvaneKeyboard> pkKeyboard);
    [[nodiscard]] virtual COrvaneLastKeyEvent& GetLastKeyEvent() { return m_kLastKey; }
    // The frame's key events in order, the last key event their last.
    [[nodiscard]] const COrvaneFrameKeys& GetFrameKeys() const { return m_kFrameKeys; }
    // A key event of this frame: the last key event, and queued.
    void RecordKeyEvent(const COrvaneLastKeyEvent& kEvent);
    // The end of a frame: no last key and an empty queue.
    void ClearKeyEvents();
    // The game's level manager, whose world the floor display and the debug
    // views go into; none at this level.
    [[nodiscard]] virtual COrvaneLevelManager* GetLevelManager() const { return nullptr; }
    // Called once when a canvas widget is first pressed.
    virtual void OnWidgetPressed() {}
    // The registry of prerequisite lists: every template's list is told to
    // it once read (the list stays with its template).
    virtual void RegisterPrerequisites(COrvanePrerequisites& kList) { (void)kList; }

private:
    void ClearFields();
    void DestroyInputs();

    std::unique_ptr<COrvaneTagTree> m_pkDataDocument;
    std::int32_t m_iState = 0;
    std::int32_t m_iMode = 0;
    std::uint8_t m_ucSkipNextUpdate = 0;
    COrvaneFrameTimes m_kTimes;
    std::int32_t m_iScreenWidth = 0;
    std::int32_t m_iScreenHeight = 0;
    std::array<std::uint8_t, 12> m_aucFlags{};
    std::uint32_t m_uiCounter = 0;
    std::unique_ptr<COrvaneGameLists> m_pkLists;
    std::unique_ptr<COrvaneLocale> m_pkLocale;
    std::uint32_t m_uiReserved = 0;
    std::unique_ptr<COrvaneCamera> m_pkCamera;
    std::unique_ptr<COrvaneMouse> m_pkMouse;
    std::unique_ptr<COrvaneKeyboard> m_pkKeyboard;
    COrvaneLastKeyEvent m_kLastKey;
    COrvaneFrameKeys m_kFrameKeys;
};
