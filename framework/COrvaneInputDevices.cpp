#include "framework/COrvaneInputDevices.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWindow.h"

#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"

void COrvaneMouseDevice::Release()
{
    os::ReleaseCapture();
    os::ShowCursor(true);
}

void COrvaneMouseDevice::ClipToWindow(os::WindowHandle pkWindow, bool bFullScreen)
{
    os::Rect kRect;
    if (!os::GetWindowRect(pkWindow, kRect))
        return;
    if (!bFullScreen)
    {
        kRect.left += os::GetSystemMetrics(os::SM_CXFRAME);
        kRect.top += os::GetSystemMetrics(os::SM_CYFRAME) + os::GetSystemMetrics(os::SM_CYCAPTION);
        kRect.right -= os::GetSystemMetrics(os::SM_CXFRAME);
        kRect.bottom -= os::GetSystemMetrics(os::SM_CYFRAME);
    }
    os::ClipCursor(&kRect);
}

namespace
{
COrvaneGame* Game()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    return pkApp != nullptr ? pkApp->GetGame() : nullptr;
}

os::WindowHandle WindowHandle()
{
    const COrvaneWindow* pkWindow = COrvaneWindow::GetInstance();
    return pkWindow != nullptr ? pkWindow->GetHandle() : nullptr;
}

// Game pixels per client pixel. Full screen is shown on the whole desktop,
// which need not have the size of the chosen mode: the picture is then
// stretched over the client area, and the pointer must be read back into
// the game's pixels (1 and 1 when either size is unknown).
void ClientScale(float& fX, float& fY)
{
    fX = 1.0f;
    fY = 1.0f;
    const COrvaneGame* pkGame = Game();
    const os::WindowHandle pkWindow = WindowHandle();
    os::Rect kClient;
    if (pkGame == nullptr || pkWindow == nullptr || !os::GetClientRect(pkWindow, kClient))
        return;
    const std::int32_t iWidth = kClient.right - kClient.left;
    const std::int32_t iHeight = kClient.bottom - kClient.top;
    if (iWidth <= 0 || iHeight <= 0 || pkGame->GetScreenWidth() <= 0 || pkGame->GetScreenHeight() <= 0)
        return;
    fX = static_cast<float>(pkGame->GetScreenWidth()) / static_cast<float>(iWidth);
    fY = static_cast<float>(pkGame->GetScreenHeight()) / static_cast<float>(iHeight);
}
} // namespace

void COrvaneMouseDevice::SetCursorPosition(const NiVec2& kPoint)
{
    m_uiMoveArmed = 0;
    const os::WindowHandle pkWindow = WindowHandle();
    if (pkWindow == nullptr)
        return;
    float fX = 1.0f;
    float fY = 1.0f;
    ClientScale(fX, fY);
    os::Point kScreen{static_cast<std::int32_t>(kPoint.x / fX), static_cast<std::int32_t>(kPoint.y / fY)};
    if (os::ClientToScreen(pkWindow, kScreen))
        os::SetCursorPos(kScreen.x, kScreen.y);
    const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    ClipToWindow(pkWindow, pkApp != nullptr && pkApp->IsFullScreen());
}

void COrvaneMouseDevice::PlaceAtPointer()
{
    COrvaneGame* pkGame = Game();
    COrvaneMouse* pkMouse = pkGame != nullptr ? pkGame->GetMouse() : nullptr;
    const os::WindowHandle pkWindow = WindowHandle();
    os::Point kPointer;
    if (pkMouse == nullptr || pkWindow == nullptr || !os::GetCursorPos(kPointer) ||
        !os::ScreenToClient(pkWindow, kPointer))
        return;
    float fX = 1.0f;
    float fY = 1.0f;
    ClientScale(fX, fY);
    pkMouse->PlaceAt(NiVec2(static_cast<float>(kPointer.x) * fX, static_cast<float>(kPointer.y) * fY));
}

void COrvaneMouseDevice::SetMoveMotion(std::int32_t iX, std::int32_t iY)
{
    m_bMoveMotion = true;
    m_iMoveMotionX = iX;
    m_iMoveMotionY = iY;
}

bool COrvaneMouseDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    const bool bMotion = m_bMoveMotion;
    m_bMoveMotion = false;
    COrvaneGame* pkGame = Game();
    COrvaneMouse* pkMouse = pkGame != nullptr ? pkGame->GetMouse() : nullptr;
    // Without the game's mouse the messages are used up.
    if (pkMouse == nullptr || uiMessage < os::WM_MOUSEFIRST || uiMessage > os::WM_MOUSELAST)
        return true;
    float fX = 1.0f;
    float fY = 1.0f;
    ClientScale(fX, fY);
    const NiVec2 kPosition(static_cast<float>(os::GetXLParam(lParam)) * fX,
                           static_cast<float>(os::GetYLParam(lParam)) * fY);
    switch (uiMessage)
    {
    case os::WM_MOUSEMOVE:
        if (m_uiMoveArmed == 0)
        {
            // The move our own warp caused.
            m_uiMoveArmed = 1;
            break;
        }
        // A held cursor turns by the pointer's own travel: the distance from
        // where it is held counts only where the warp below really put the
        // pointer back, which not every window system does.
        if (bMotion)
        {
            pkMouse->SetPointerMotion(NiVec2(static_cast<float>(m_iMoveMotionX) * fX,
                                             static_cast<float>(m_iMoveMotionY) * fY));
        }
        SetCursorPosition(pkMouse->Update(kPosition));
        break;
    // A press lands where the message says, whatever motion came before
    // (none at all in a new window whose pointer has not moved yet).
    case os::WM_LBUTTONDOWN:
        os::SetCapture(WindowHandle());
        pkMouse->PlaceAt(kPosition);
        pkMouse->OnLeftDown(kPosition);
        break;
    case os::WM_RBUTTONDOWN:
        os::SetCapture(WindowHandle());
        pkMouse->PlaceAt(kPosition);
        pkMouse->OnRightDown(kPosition);
        break;
    case os::WM_MBUTTONDOWN:
        os::SetCapture(WindowHandle());
        pkMouse->PlaceAt(kPosition);
        pkMouse->OnMiddleDown(kPosition);
        break;
    case os::WM_LBUTTONUP:
        os::ReleaseCapture();
        if (!pkMouse->HoldRelease(COrvaneMouse::INDEX_LEFT))
            pkMouse->OnLeftUp(0);
        break;
    case os::WM_RBUTTONUP:
        os::ReleaseCapture();
        if (!pkMouse->HoldRelease(COrvaneMouse::INDEX_RIGHT))
            pkMouse->OnRightUp(0);
        break;
    case os::WM_MBUTTONUP:
        os::ReleaseCapture();
        if (!pkMouse->HoldRelease(COrvaneMouse::INDEX_MIDDLE))
            pkMouse->OnMiddleUp(0);
        break;
    case os::WM_MOUSEWHEEL: pkMouse->OnWheel(os::GetWheelDelta(wParam)); break;
    default: break;
    }
    return true;
}

bool COrvaneMouseDevice::HideCursor()
{
    os::ShowCursor(false);
    return true;
}

std::uint32_t COrvaneKeyboardDevice::ScanCode(os::WParam, os::LParam lParam) const
{
    const auto uiBits = static_cast<std::uint32_t>(lParam);
    std::uint32_t uiCode = (uiBits >> 16) & 0xFF;
    if ((uiBits & os::KF_EXTENDED_BIT) != 0)
        uiCode += 128;
    return uiCode;
}

bool COrvaneKeyboardDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    COrvaneGame* pkGame = Game();
    COrvaneKeyboard* pkKeyboard = pkGame != nullptr ? pkGame->GetKeyboard() : nullptr;
    if (pkKeyboard == nullptr || (uiMessage != os::WM_KEYDOWN && uiMessage != os::WM_KEYUP))
        return true;
    COrvaneKeyEvent kEvent;
    kEvent.m_ucCtrl = static_cast<std::uint8_t>(os::GetKeyState(os::VK_CONTROL) & 0x80);
    kEvent.m_ucShift = static_cast<std::uint8_t>(os::GetKeyState(os::VK_SHIFT) & 0x80);
    kEvent.m_uiScanCode = ScanCode(wParam, lParam);
    kEvent.m_uiKeyCode = COrvaneKeys::FromScanCode(kEvent.m_uiScanCode);
    kEvent.m_ucCharacter = static_cast<std::uint8_t>(wParam & 0xFF);
    if (uiMessage == os::WM_KEYDOWN)
        pkKeyboard->OnKeyDown(kEvent);
    else
        pkKeyboard->OnKeyUp(kEvent);
    return true;
}
