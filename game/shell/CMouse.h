#pragma once

#include "framework/COrvaneMouse.h"

#include <cstdint>
#include <functional>
#include <string>

// The game's mouse: the framework's camera control, then the game's click
// handler with the button event.
class CMouse : public CZelmarMouse
{
public:
    // The button events the game's handler gets.
    static constexpr std::int32_t BUTTON_RIGHT_DOWN = 0;
    static constexpr std::int32_t BUTTON_LEFT_DOWN = 1;
    static constexpr std::int32_t BUTTON_LEFT_UP = 2;
    static constexpr const char* CURSOR_FILE = "cursor.tga";

    using Callback = std::function<int(std::int32_t iButton)>;

    // Stores the handler and loads the cursor image. False, after a box that
    // says what is missing, when the cursor image cannot be read: the game
    // cannot be played without it.
    bool SetCallback(Callback kCallback);
    bool OnLeftDown(const NiVec2& kPosition) override;
    bool OnLeftUp(std::uint32_t uiUnused) override;
    bool OnRightDown(const NiVec2& kPosition) override;

    // The box text for a data folder without a readable cursor image.
    [[nodiscard]] static std::string MissingCursorText(const std::string& kFolder);

    // Set by a click in this frame; the game clears it at the start of each.
    bool m_bFrameFlag = false;

private:
    Callback m_kCallback;
};
