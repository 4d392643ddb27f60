#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>
#include <memory>
#include <vector>

class COrvaneImage;

// One message of the history: the value it came with, its entry of
// "InGameMessages" and its number (above 0: shown as a numbered text).
struct CHistoryMessage
{
    std::int32_t m_iFirst = -1;
    std::int32_t m_iEntry = 0;
    std::int32_t m_iNumber = -1;

    bool operator==(const CHistoryMessage&) const = default;
};

// Every message that has left the ticker, listed newest first; older and
// newer step six messages at a time.
class CMessageHistoryPanel : public CBasePanel
{
public:
    static constexpr const char* IMAGE = "images/panels/messages/messages.tga";
    static constexpr const char* LINE = "images/panels/messages/line.tga";
    static constexpr std::int32_t WIDGET_NEWER = 3;
    static constexpr std::int32_t WIDGET_OLDER = 4;
    static constexpr std::int32_t FONT = 0;
    static constexpr std::uint16_t SCROLL_STEP = 6;
    // The list's box, in pixels from the panel's corner; nothing starts at
    // or below the bottom.
    static constexpr float LIST_X = 32.0f;
    static constexpr float LIST_TOP = 48.0f;
    static constexpr float LIST_BOTTOM = 490.0f;
    static constexpr float LINE_X = 25.0f;

    CMessageHistoryPanel();
    ~CMessageHistoryPanel() override;

    void Destroy() override;
    // No messages, no list, no scroll, no separator.
    void Reset() override;
    // The layout, the list of the in-game messages and the separator.
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;

    // A negative entry is not recorded.
    void AddMessage(std::int32_t iFirst, std::int32_t iEntry, std::int32_t iNumber);
    void ClearMessages();
    [[nodiscard]] const std::vector<CHistoryMessage>& GetMessages() const { return m_kMessages; }
    [[nodiscard]] std::size_t GetCount() const { return m_kMessages.size(); }
    [[nodiscard]] std::uint16_t GetScroll() const { return m_usScroll; }
    [[nodiscard]] std::int16_t GetTextList() const { return m_sList; }
    [[nodiscard]] COrvaneImage* GetSeparator() const { return m_pkLine.get(); }

private:
    std::vector<CHistoryMessage> m_kMessages;
    std::int16_t m_sList = -1;
    std::uint16_t m_usScroll = 0;
    std::unique_ptr<COrvaneImage> m_pkLine;
};
