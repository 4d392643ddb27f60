#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>
#include <vector>

// One message of the history: the value it came with, its entry of
// "InGameMessages" and its number (-1: none).
struct CHistoryMessage
{
    std::int32_t m_iFirst = -1;
    std::int32_t m_iEntry = 0;
    std::int32_t m_iNumber = -1;

    bool operator==(const CHistoryMessage&) const = default;
};

// The list of messages that have left the ticker. Only the list is kept
// here so far; the panel draws its background and frame.
class CMessageHistoryPanel : public CBasePanel
{
public:
    static constexpr const char* IMAGE = "images/panels/messages/messages.tga";

    void AddMessage(std::int32_t iFirst, std::int32_t iEntry, std::int32_t iNumber)
    {
        m_kMessages.push_back({iFirst, iEntry, iNumber});
    }
    void ClearMessages() { m_kMessages.clear(); }
    [[nodiscard]] const std::vector<CHistoryMessage>& GetMessages() const { return m_kMessages; }
    [[nodiscard]] std::size_t GetCount() const { return m_kMessages.size(); }

private:
    std::vector<CHistoryMessage> m_kMessages;
};
