#pragma once

#include "engine/core/NiVec2.h"
#include "platform/os/OsDefs.h"

#include <cstdint>

// The window-side input devices: each turns the queued window messages of
// its kind into calls on the game's input objects.
class COrvaneMouseDevice
{
public:
    COrvaneMouseDevice() = default;
    virtual ~COrvaneMouseDevice() = default;

    // Gives the mouse back to the system: capture released, cursor shown.
    virtual void Release();
    // Confines the cursor to the window (to its client area when windowed).
    virtual void ClipToWindow(os::WindowHandle pkWindow, bool bFullScreen);
    // Mouse messages go to the game's mouse; true in every case.
    virtual bool HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam);
    virtual bool HideCursor();
    // Moves the system cursor to the client point and arms nothing: the
    // move message the warp causes is swallowed.
    void SetCursorPosition(const NiVec2& kPoint);
    virtual void ClearMoveArmed() { m_uiMoveArmed = 0; }
    // Puts the game's mouse where the system cursor is over the window, so
    // that the game knows the pointer before it first moves.
    void PlaceAtPointer();

    [[nodiscard]] bool IsMoveArmed() const { return m_uiMoveArmed != 0; }
    // The pointer's own travel in client pixels that the window layer gave
    // with the message handled next (a move's; any other message drops it).
    void SetMoveMotion(std::int32_t iX, std::int32_t iY);

protected:
    std::uint32_t m_uiMoveArmed = 0;
    bool m_bMoveMotion = false;
    std::int32_t m_iMoveMotionX = 0;
    std::int32_t m_iMoveMotionY = 0;
};

class COrvaneKeyboardDevice
{
public:
    COrvaneKeyboardDevice() = default;
    virtual ~COrvaneKeyboardDevice() = default;

    virtual void Release() {}
    // The key table index: the scan code, plus 128 for an extended key.
    [[nodiscard]] virtual std::uint32_t ScanCode(os::WParam wParam, os::LParam lParam) const;
    // Key down and up go to the game's keyboard; characters are ignored.
    virtual bool HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam);
};
