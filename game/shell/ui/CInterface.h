#pragma once

#include "framework/COrvaneInterface.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class COrvaneTagTree;

// One message the simulation posted: its number in "InGameMessages" and,
// for a numbered message, the value.
struct CInterfaceMessage
{
    std::int32_t m_iMessage = 0;
    std::int32_t m_iValue = 0;
    bool m_bNumbered = false;

    bool operator==(const CInterfaceMessage&) const = default;
};

// The game's interface: its panels and the message ticker. For now it has
// no panels: it keeps the messages posted to it and notes what the game
// asks of it (each call as a line of text).
class CInterface : public COrvaneInterface
{
public:
    CInterface() = default;
    ~CInterface() override = default;

    // The registered game interface, or null.
    [[nodiscard]] static CInterface* Get();
    // Releases the registered interface, registers a new one, initialises
    // it and, when asked, lets it create its panels from the data document.
    static CInterface* Rebuild(COrvaneTagTree* pkData, bool bCreatePanels);

    bool CreatePanels(COrvaneTagTree* pkData);
    bool PrepareForLevel(COrvaneTagTree* pkData);
    void ResetForFrontEnd();
    void CloseAllPanels();
    // The confirmation panel with text iMessage of "InGameMessages"; the
    // answer yes runs kOnYes. AnswerConfirmation gives the player's answer
    // (false when no question is open).
    void ShowConfirmation(std::int32_t iMessage, std::function<void()> kOnYes);
    bool AnswerConfirmation(bool bYes);
    [[nodiscard]] bool IsConfirmationOpen() const { return static_cast<bool>(m_kOnYes); }
    void ShowDeskTop(bool bShow);
    void Update(float fDeltaTime);
    // At night only an open panel's canvas takes the mouse.
    void UpdateDuringNight();

    void PostMessage(std::int32_t iMessage);
    void PostNumberedMessage(std::int32_t iMessage, std::int32_t iValue);
    [[nodiscard]] bool IsMessageShowing() const { return false; }

    [[nodiscard]] const std::vector<CInterfaceMessage>& GetMessages() const { return m_kMessages; }
    [[nodiscard]] const std::vector<std::string>& GetCalls() const { return m_kCalls; }
    void ClearCalls() { m_kCalls.clear(); }
    // Set while a panel is open.
    bool m_bPanelOpen = false;
    // Frames updated by day and by night.
    std::uint32_t m_uiUpdates = 0;
    std::uint32_t m_uiNightUpdates = 0;

private:
    std::vector<CInterfaceMessage> m_kMessages;
    std::vector<std::string> m_kCalls;
    std::function<void()> m_kOnYes;
};
