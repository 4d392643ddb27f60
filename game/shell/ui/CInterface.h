#pragma once

#include "framework/COrvaneInterface.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CBuildPanel;
class CConfirmPanel;
class CMainPanel;
class CMessageHistoryPanel;
class COrvaneCanvas;
class COrvaneImage;
class COrvaneObject;
class COrvaneTagTree;
class NiNodeAttachment;

// The game's interface: it owns every in-game panel, the shared icons
// (star signs, security levels, gangs) and the stack the open panels sit
// on; it opens and closes them, feeds the main panel's ticker, draws the
// hover tool-tip and runs the interface's step of each frame. A new one is
// made on every return to the front end.
class CInterface : public COrvaneInterface
{
public:
    // Panels by index, in the order they are made.
    static constexpr std::int16_t PANEL_BUILD_EXTERNAL = 0;
    static constexpr std::int16_t PANEL_BUILD_INTERNAL = 1;
    static constexpr std::int16_t PANEL_MANAGEMENT = 2;
    static constexpr std::int16_t PANEL_OPTIONS = 3;
    static constexpr std::int16_t PANEL_CONFIRM = 4;
    static constexpr std::int16_t PANEL_LOAD = 5;
    static constexpr std::int16_t PANEL_SAVE = 6;
    static constexpr std::int16_t PANEL_BUILDING = 7;
    static constexpr std::int16_t PANEL_PRISONER = 8;
    static constexpr std::int16_t PANEL_STAFF = 9;
    static constexpr std::int16_t PANEL_MESSAGES = 10;
    static constexpr std::int16_t PANEL_DESK_TOP = 11;
    static constexpr std::int16_t PANEL_COUNT = 12;

    static constexpr float TOOLTIP_DELAY = 0.6f;
    static constexpr std::int32_t TOOLTIP_FONT = 4;
    // Posted when a level starts.
    static constexpr std::int32_t MESSAGE_LEVEL_FIRST = 3;
    static constexpr std::int32_t MESSAGE_LEVEL_SECOND = 55;

    // Each panel's background and where it goes.
    struct PanelPlace
    {
        const char* pcImage;
        enum Position
        {
            TOP_LEFT,
            TOP_RIGHT,
            ABOVE_MAIN,
            ABOVE_OPTIONS,
            CENTRED
        } ePosition;
    };
    static const std::array<PanelPlace, PANEL_COUNT> PANELS;
    static const std::array<const char*, 12> STAR_SIGNS;
    static const std::array<const char*, 4> SECURITY_LEVELS;
    static const std::array<const char*, 2> GANGS;

    CInterface();
    ~CInterface() override;

    // The registered game interface, or null.
    [[nodiscard]] static CInterface* Get();
    // Releases the registered interface, registers a new one, initialises
    // it and, when asked, makes its panels.
    static CInterface* Rebuild(COrvaneTagTree* pkData, bool bCreatePanels);

    // Every panel and icon goes, then the fields start again.
    void Destroy() override;
    void Reset() override;
    // The stack, then the tool-tip.
    void Draw() override;
    void OpenCanvas(COrvaneCanvas* pkCanvas, bool bModal) override;

    // The main panel, panels 0 to 11 and the icons; once per interface
    // (a second call finds them made). True.
    bool CreatePanels(COrvaneTagTree* pkData = nullptr);
    // The interface's step of a frame: input on the stack, the frame time,
    // the ticker.
    void SetInterfaceMode(float fFrameTime);
    void Update(float fFrameTime);
    // At night only an open panel takes the mouse; the ticker rests.
    void UpdateDuringNight();
    // A press at the screen point goes to the panels: the frame's input
    // pass (the night's when bNight) gives the mouse to a canvas there. The
    // pass of the press's own frame has not run yet when it comes.
    [[nodiscard]] bool TakesPressAt(const NiVec2& kPoint, bool bNight) const;

    void PostMessage(std::int32_t iMessage);
    void PostNumberedMessage(std::int32_t iMessage, std::int32_t iNumber);
    [[nodiscard]] bool HasPendingMessages() const;
    [[nodiscard]] bool IsMessageShowing() const { return HasPendingMessages(); }
    [[nodiscard]] bool IsCanvasOpen(const COrvaneCanvas* pkCanvas, bool bModal) const;
    // Every base panel populates itself from the data.
    void PopulateAll(COrvaneTagTree* pkData, bool bRecreate);

    // Indices outside the panel list are ignored.
    void OpenPanel(std::int16_t sIndex);
    void ShowPanel(std::int16_t sIndex, bool bModal);
    // Panel 7 (buildings), 8 (prisoners) or 9 (staff) for its subject; a
    // staff post of an object comes as the object and the post's node (the
    // pop-up keeps its own reference to the node).
    void ShowPopUp(std::int16_t sIndex, COrvaneObject* pkSubject, const NiNodeAttachment* pkPost);
    // A pop-up showing the object closes and lets it go.
    void ObjectDestroyed(const COrvaneObject* pkObject);
    void CloseAllPanels();
    // Ignored while a question is open: the first keeps its callback.
    void ShowConfirm(std::function<void()> kCallback, std::int32_t iQuestion, std::int16_t sList, bool bCloseBelow,
                     const char* pcExtraText);
    // A question of "InGameMessages" that also closes the canvas below.
    void ShowConfirmation(std::int32_t iQuestion, std::function<void()> kOnYes);
    // The player's answer to the open question (false when none is open).
    bool AnswerConfirmation(bool bYes);
    [[nodiscard]] bool IsConfirmationOpen() const;
    void ShowDeskTop(bool bShow);

    // The build menu's item of an object's model (its picture), filling in
    // its description; null when the menu has none.
    const void* AddBuildMenuItem(bool bInternal, const std::string& kModelPath, std::uint16_t& usList,
                                 std::uint16_t& usEntry) const;
    [[nodiscard]] COrvaneImage* GetBuildItemPicture(bool bInternal) const;
    [[nodiscard]] std::uint16_t GetBuildItemTextList(bool bInternal) const;
    [[nodiscard]] std::int32_t GetBuildItemIndex(bool bInternal) const;
    void RepeatBuildItem(bool bInternal);
    // A negative entry adds nothing.
    void AddHistoryMessage(std::int32_t iEntry, std::int32_t iFirst, std::int32_t iNumber);

    // Nothing for a number past the table.
    void DrawStarSignIcon(std::uint32_t uiSign, float fX, float fY);
    void DrawSecurityLevelIcon(std::uint32_t uiLevel, float fX, float fY);
    void DrawGangIcon(std::uint32_t uiGang, float fX, float fY);

    bool PrepareForLevel(COrvaneTagTree* pkData);
    void ResetForFrontEnd();

    [[nodiscard]] CMainPanel* GetMainPanel() const { return m_pkMainPanel.get(); }
    [[nodiscard]] COrvaneCanvas* GetPanel(std::int32_t iIndex) const;
    [[nodiscard]] std::int32_t GetPanelCount() const { return static_cast<std::int32_t>(m_kPanels.size()); }
    [[nodiscard]] CBuildPanel* GetBuildPanel(bool bInternal) const;
    [[nodiscard]] CConfirmPanel* GetConfirmPanel() const;
    [[nodiscard]] CMessageHistoryPanel* GetMessageHistory() const;
    [[nodiscard]] bool IsBuildPanelOpen() const;
    [[nodiscard]] bool IsDeskTopShown() const { return m_ucDeskTop != 0; }
    [[nodiscard]] bool IsLoadPanelOpen() const { return m_ucLoadPanel != 0; }
    void SetLoadPanelOpen(bool bOpen) { m_ucLoadPanel = bOpen ? 1 : 0; }
    [[nodiscard]] float GetFrameTime() const { return m_fFrameTime; }
    [[nodiscard]] float GetTooltipDelay() const { return m_fTooltipDelay; }
    [[nodiscard]] float GetTooltipX() const { return m_fTooltipX; }
    [[nodiscard]] float GetTooltipY() const { return m_fTooltipY; }
    // The icons; null past their tables.
    [[nodiscard]] COrvaneImage* GetStarSignIcon(std::uint32_t uiSign) const;
    [[nodiscard]] COrvaneImage* GetSecurityLevelIcon(std::uint32_t uiLevel) const;
    [[nodiscard]] COrvaneImage* GetGangIcon(std::uint32_t uiGang) const;

    // Frames updated by day and by night.
    std::uint32_t m_uiUpdates = 0;
    std::uint32_t m_uiNightUpdates = 0;

private:
    void DrawTooltip();
    // One of the panels (not the main panel) is open.
    [[nodiscard]] bool IsAnyPanelOpen() const;
    static void ForgetPanelHover();
    static void DrawIcon(const std::vector<std::unique_ptr<COrvaneImage>>& kIcons, std::uint32_t uiIndex, float fX,
                         float fY);

    float m_fFrameTime = 0.0f;
    std::unique_ptr<CMainPanel> m_pkMainPanel;
    std::vector<std::unique_ptr<COrvaneCanvas>> m_kPanels;
    std::vector<std::unique_ptr<COrvaneImage>> m_kStarSigns;
    std::vector<std::unique_ptr<COrvaneImage>> m_kSecurityLevels;
    std::vector<std::unique_ptr<COrvaneImage>> m_kGangs;
    float m_fTooltipDelay = 0.0f;
    std::uint8_t m_ucLoadPanel = 0;
    std::uint8_t m_ucDeskTop = 0;
    // The tool-tip: where it shows, the text it last showed and the list
    // a frame starts with.
    float m_fTooltipX = 0.0f;
    float m_fTooltipY = 0.0f;
    std::int16_t m_sLastIndex = -1;
    std::int16_t m_sLastList = -1;
    std::uint16_t m_usDefaultList = 0xFFFF;
    // A text was hovered in the last drawn frame.
    bool m_bTooltipHovered = false;
};
