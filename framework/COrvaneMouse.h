#pragma once

#include "engine/core/NiVec2.h"

#include <cstdint>
#include <memory>

class COrvaneImage;

// The game's mouse state: the cursor position in screen pixels (clamped to
// the screen), the movement since the last update, the button states and
// the wheel.
class COrvaneMouse
{
public:
    // Button states.
    static constexpr std::uint32_t BUTTON_IDLE = 0;
    static constexpr std::uint32_t BUTTON_PRESSED = 1;  // pressed in this frame
    static constexpr std::uint32_t BUTTON_RELEASED = 3; // released; idle again after ClearMovement
    // Buttons by index, for HoldRelease.
    enum ButtonIndex : std::uint32_t
    {
        INDEX_LEFT = 0,
        INDEX_MIDDLE = 1,
        INDEX_RIGHT = 2
    };

    COrvaneMouse();
    virtual ~COrvaneMouse();
    COrvaneMouse(const COrvaneMouse&) = delete;
    COrvaneMouse& operator=(const COrvaneMouse&) = delete;

    virtual void Destroy();
    [[nodiscard]] virtual const NiVec2& GetPosition() const { return m_kPosition; }
    // Takes the new position, clamps it to 1..W, 1..H of the game's screen
    // and takes the overshoot off the movement; the clamped position.
    virtual const NiVec2& Update(const NiVec2& kPosition);
    virtual bool OnLeftDown(const NiVec2& kPosition);
    virtual bool OnLeftUp(std::uint32_t uiUnused);
    virtual bool OnRightDown(const NiVec2& kPosition);
    virtual bool OnRightUp(std::uint32_t uiUnused);
    virtual bool OnMiddleDown(const NiVec2& kPosition);
    virtual bool OnMiddleUp(std::uint32_t uiUnused);
    virtual bool OnWheel(std::int32_t iValue);
    // Once per frame: no movement, no wheel, released buttons back to idle,
    // releases held back by HoldRelease delivered, and the idle time grows by
    // the game's frame time.
    virtual void ClearMovement();
    // The window's release of a button pressed in this same frame (a
    // touchpad's tap): held back to the frame's end, so the frame sees the
    // press as it would a click held over a frame. True when held back; the
    // caller delivers any other release itself.
    bool HoldRelease(ButtonIndex eButton);
    // The cursor picture at the cursor position, while shown.
    virtual void DrawCursor();
    // Makes the cursor picture from "cursor.tga" when there is none; true.
    virtual bool LoadCursor();
    virtual void Release() { Destroy(); }
    virtual void Reset();

    [[nodiscard]] const NiVec2& GetMovement() const { return m_kMovement; }
    [[nodiscard]] std::uint32_t GetLeft() const { return m_uiLeft; }
    [[nodiscard]] std::uint32_t GetMiddle() const { return m_uiMiddle; }
    [[nodiscard]] std::uint32_t GetRight() const { return m_uiRight; }
    [[nodiscard]] std::int32_t GetWheel() const { return m_iWheel; }
    [[nodiscard]] std::int32_t GetXInt() const { return m_iXInt; }
    [[nodiscard]] std::int32_t GetYInt() const { return m_iYInt; }
    [[nodiscard]] float GetIdleTime() const { return m_fIdleTime; }
    // Set by canvases while the cursor is over one: world clicks are ignored then.
    [[nodiscard]] bool IsOverInterface() const { return m_ucOverInterface != 0; }
    void SetOverInterface(bool bOver) { m_ucOverInterface = bOver ? 1 : 0; }
    void SetPosition(const NiVec2& kPosition) { m_kPosition = kPosition; }
    // The pointer's own travel in the move the next Update takes, when the
    // window knows it. A held cursor (a turn) moves by it rather than by the
    // distance from where it is held, which is the pointer's travel only
    // where the pointer really was put back there.
    void SetPointerMotion(const NiVec2& kMotion)
    {
        m_kPointerMotion = kMotion;
        m_bPointerMotion = true;
    }
    // The pointer is there (a button message's place, the pointer found at
    // start): clamped as Update clamps, with no movement and no camera move.
    void PlaceAt(const NiVec2& kPosition);
    // The cursor picture scaled by the screen-scale factors, or back.
    void SetCursorScaled(bool bOn);
    void SetCursorShown(bool bShown) { m_ucCursorShown = bShown ? 1 : 0; }
    [[nodiscard]] COrvaneImage* GetCursorImage() const { return m_pkCursorImage.get(); }
    [[nodiscard]] std::int32_t GetCursorWidth() const { return m_iCursorWidth; }
    [[nodiscard]] std::int32_t GetCursorHeight() const { return m_iCursorHeight; }

protected:
    // The integer copies of the position follow it.
    void RefreshIntegers();
    // The travel given for the coming Update, once; false when none was.
    bool TakePointerMotion(NiVec2& kMotion);

    std::unique_ptr<std::uint8_t> m_pucMarker;
    std::unique_ptr<COrvaneImage> m_pkCursorImage;
    std::unique_ptr<COrvaneImage> m_pkSecondImage;
    bool m_bCursorScaled = false;
    std::uint8_t m_ucCursorShown = 0;
    std::uint8_t m_ucOverInterface = 0;
    float m_fIdleTime = 0.0f;
    std::uint32_t m_uiReserved = 0;
    NiVec2 m_kPosition;
    NiVec2 m_kMovement;
    std::uint32_t m_uiLeft = BUTTON_IDLE;
    std::uint32_t m_uiMiddle = BUTTON_IDLE;
    std::uint32_t m_uiRight = BUTTON_IDLE;
    std::int32_t m_iWheel = 0;
    // Per button (left, middle, right): pressed since the last ClearMovement,
    // and a release that came in the same frame, held back until its end.
    std::uint8_t m_aucPressedThisFrame[3] = {0, 0, 0};
    std::uint8_t m_aucReleaseDue[3] = {0, 0, 0};
    std::int32_t m_iXInt = 0;
    std::int32_t m_iYInt = 0;
    std::int32_t m_iCursorWidth = 0;
    std::int32_t m_iCursorHeight = 0;
    NiVec2 m_kPointerMotion;
    bool m_bPointerMotion = false;
};

// Camera control by the mouse: the cursor at a screen edge scrolls, Control
// turns, Shift raises, the middle button turns, the wheel raises.
class CZelmarMouse : public COrvaneMouse
{
public:
    // Pixels along each edge in which the cursor scrolls the view.
    static constexpr float SCROLL_MARGIN = 10.0f;
    // Degrees of turn per pixel, in radians.
    static constexpr float TURN_PER_PIXEL = 0.017453292f;
    static constexpr float WHEEL_FACTOR = 0.02f;

    const NiVec2& Update(const NiVec2& kPosition) override;
    bool OnLeftDown(const NiVec2& kPosition) override;
    bool OnLeftUp(std::uint32_t uiUnused) override;
    bool OnMiddleDown(const NiVec2& kPosition) override;
    bool OnMiddleUp(std::uint32_t uiUnused) override;
    bool OnWheel(std::int32_t iValue) override;
};
