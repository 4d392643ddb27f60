#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <deque>
#include <memory>

class CFloorChangePanel;
class COrvaneBar;

// One ticker message: its entry of "InGameMessages" and a number (-1: none).
struct CTickerMessage
{
    std::int32_t m_iMessage = 0;
    std::int32_t m_iNumber = -1;

    bool operator==(const CTickerMessage&) const = default;
};

// The bar along the bottom of the screen in play: clock, balance,
// prisoners against beds, the prison's level, the order bar and the message
// ticker; its buttons open the build, management, options and message
// panels and set the game speed. It hosts the floor panel while a building
// is selected.
class CMainPanel : public COrvaneCanvas
{
public:
    static constexpr const char* IMAGE = "images/panels/main/base/base.tga";
    static constexpr const char* FLOORS_IMAGE = "images/panels/main/floors/floors.tga";
    static constexpr const char* BAR_IMAGE = "images/panels/main/base/bar.tga";
    static constexpr float BAR_LENGTH = 68.0f;
    static constexpr float FLOORS_X = 800.0f;
    static constexpr float MESSAGE_SECONDS = 10.0f;
    // The readouts' places on the panel: the clock's "hh:mm", then the
    // year text (" - " and the year), on one line.
    static constexpr float TIME_X = 164.0f;
    static constexpr float YEAR_X = 194.0f;
    static constexpr float READOUT_Y = 56.0f;

    static constexpr std::int32_t WIDGET_BUILD = 1;
    static constexpr std::int32_t WIDGET_MANAGEMENT = 2;
    static constexpr std::int32_t WIDGET_SPEED_0 = 5;
    static constexpr std::int32_t WIDGET_SPEED_3 = 8;
    static constexpr std::int32_t WIDGET_MESSAGES = 9;

    CMainPanel();
    ~CMainPanel() override;

    // Bar and floor panel go; the queue stays.
    void Destroy() override;
    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void UpdateHover() override;
    // The floor panel's buttons count as its own while a building is
    // selected: its pass runs them.
    [[nodiscard]] bool Covers(const NiVec2& kPoint) const override;
    void Draw() override;
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;

    // A negative index is never queued.
    virtual void PostNumberedMessage(std::int32_t iMessage, std::int32_t iNumber);
    virtual void PostMessage(std::int32_t iMessage) { PostNumberedMessage(iMessage, -1); }
    // The ticker by the frame time scaled with the game speed: the index of
    // the message that just went to the history, else -1. A "no beds"
    // message that reaches the front once the prison has beds is dropped.
    virtual std::int32_t Tick(float fFrameTime);

    // The sample a shown message plays.
    [[nodiscard]] static std::int32_t MessageSample(std::int32_t iMessage);

    void ClearMessages() { m_kQueue.clear(); }
    [[nodiscard]] const std::deque<CTickerMessage>& GetQueue() const { return m_kQueue; }
    [[nodiscard]] bool HasMessages() const { return !m_kQueue.empty(); }
    [[nodiscard]] bool IsNewMessage() const { return m_ucNewMessage != 0; }
    [[nodiscard]] float GetTimer() const { return m_fTimer; }
    [[nodiscard]] CFloorChangePanel* GetFloorPanel() const { return m_pkFloorPanel.get(); }
    [[nodiscard]] COrvaneBar* GetOrderBar() const { return m_pkOrderBar.get(); }

private:
    // The front message taken off, neither shown nor listed, when it says
    // the prison has no beds and the prison has some by now. True when one
    // was dropped.
    bool DropStaleFront();

    std::unique_ptr<CFloorChangePanel> m_pkFloorPanel;
    float m_fTimer = 0.0f;
    std::deque<CTickerMessage> m_kQueue;
    std::int16_t m_sMessagesList = 0;
    std::uint8_t m_ucNewMessage = 0;
    std::int16_t m_sLevelList = 0;
    std::unique_ptr<COrvaneBar> m_pkOrderBar;
};
