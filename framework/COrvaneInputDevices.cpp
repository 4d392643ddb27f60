#include "framework/COrvaneInputDevices.h"

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

bool COrvaneMouseDevice::HandleMessage(std::uint32_t, os::WParam, os::LParam)
{
    // The game's mouse takes these once it exists; until then they are used up.
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

bool COrvaneKeyboardDevice::HandleMessage(std::uint32_t, os::WParam, os::LParam)
{
    // The game's keyboard takes these once it exists; until then they are used up.
    return true;
}
