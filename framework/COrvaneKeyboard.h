#pragma once

#include <array>
#include <cstdint>

// One key message as the keyboard device hands it to the game's keyboard.
struct COrvaneKeyEvent
{
    std::uint8_t m_ucCtrl = 0;
    std::uint8_t m_ucShift = 0;
    std::uint32_t m_uiScanCode = 0;
    std::uint32_t m_uiKeyCode = 0;
    // The low byte of the key message's virtual-key code.
    std::uint8_t m_ucCharacter = 0;
};

// The framework's key codes: printable keys give their unshifted
// character, the others the codes below; KEY_NONE for every unlisted key.
namespace COrvaneKeys
{
constexpr std::uint32_t KEY_NONE = 255;
constexpr std::uint32_t KEY_ESCAPE = 128;
constexpr std::uint32_t KEY_F1 = 129;     // F1..F10: 129..138
constexpr std::uint32_t KEY_F11 = 139;
constexpr std::uint32_t KEY_F12 = 140;
constexpr std::uint32_t KEY_INSERT = 141;
constexpr std::uint32_t KEY_DELETE = 142;
constexpr std::uint32_t KEY_HOME = 143;
constexpr std::uint32_t KEY_END = 144;
constexpr std::uint32_t KEY_PAGE_UP = 145;
constexpr std::uint32_t KEY_PAGE_DOWN = 146;
constexpr std::uint32_t KEY_UP = 147;
constexpr std::uint32_t KEY_DOWN = 148;
constexpr std::uint32_t KEY_LEFT = 149;
constexpr std::uint32_t KEY_RIGHT = 150;
constexpr std::uint32_t KEY_NUMLOCK = 161;
constexpr std::uint32_t KEY_BACKSPACE = 168;
constexpr std::uint32_t KEY_TAB = 169;
constexpr std::uint32_t KEY_CAPS_LOCK = 170;
constexpr std::uint32_t KEY_ENTER = 171;
constexpr std::uint32_t KEY_LEFT_SHIFT = 172;
constexpr std::uint32_t KEY_RIGHT_SHIFT = 173;
constexpr std::uint32_t KEY_LEFT_CONTROL = 174;
constexpr std::uint32_t KEY_RIGHT_CONTROL = 175;
constexpr std::uint32_t KEY_LEFT_ALT = 176;
constexpr std::uint32_t KEY_RIGHT_ALT = 177;

// Indexed by the scan code, plus 128 for an extended key.
[[nodiscard]] const std::array<std::uint8_t, 256>& Table();
// The key code of a table index; an index past the table is no key.
[[nodiscard]] std::uint32_t FromScanCode(std::uint32_t uiIndex);
} // namespace COrvaneKeys

// The game's keyboard state: the modifiers, scan code, key code and
// character of the last key message.
class COrvaneKeyboard
{
public:
    COrvaneKeyboard() = default;
    virtual ~COrvaneKeyboard() = default;

    virtual void Destroy() {}
    virtual bool OnKeyDown(const COrvaneKeyEvent& kEvent) { return SetState(kEvent); }
    virtual bool OnKeyUp(const COrvaneKeyEvent& kEvent) { return SetState(kEvent); }
    virtual void Release() { Destroy(); }

    // Copies the event's fields; true.
    bool SetState(const COrvaneKeyEvent& kEvent);

    [[nodiscard]] bool IsCtrlDown() const { return m_ucCtrl != 0; }
    [[nodiscard]] bool IsShiftDown() const { return m_ucShift != 0; }
    [[nodiscard]] std::uint32_t GetScanCode() const { return m_uiScanCode; }
    [[nodiscard]] std::uint32_t GetKeyCode() const { return m_uiKeyCode; }
    [[nodiscard]] std::uint16_t GetCharacter() const { return m_usCharacter; }

private:
    std::uint8_t m_ucCtrl = 0;
    std::uint8_t m_ucShift = 0;
    std::uint32_t m_uiScanCode = 0;
    std::uint32_t m_uiKeyCode = 0;
    std::uint16_t m_usCharacter = 0;
};

// Camera control by keys: a, d, w, s move, q and z raise and lower, the
// arrows turn (with Shift) or move.
class CZelmarKeyboard : public COrvaneKeyboard
{
public:
    bool OnKeyDown(const COrvaneKeyEvent& kEvent) override;
    bool OnKeyUp(const COrvaneKeyEvent& kEvent) override;
    // True leaves the camera alone; the keyboard still records the keys.
    [[nodiscard]] virtual bool IsInputBlocked() const { return false; }
};
