#pragma once

#include "framework/COrvaneInputDevices.h"
#include "platform/os/OsDefs.h"

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// One message as a device received it.
struct DeviceCall
{
    char cDevice; // 'k' keyboard, 'm' mouse
    std::uint32_t uiMessage;
    std::uint32_t uiWParam;
    std::uint32_t uiLParam;

    bool operator==(const DeviceCall&) const = default;
};

// Devices that write what they get into one shared log.
class LoggingMouseDevice : public COrvaneMouseDevice
{
public:
    explicit LoggingMouseDevice(std::vector<DeviceCall>& kLog) : m_kLog(kLog) {}
    bool HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam) override;

private:
    std::vector<DeviceCall>& m_kLog;
};

class LoggingKeyboardDevice : public COrvaneKeyboardDevice
{
public:
    explicit LoggingKeyboardDevice(std::vector<DeviceCall>& kLog) : m_kLog(kLog) {}
    bool HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam) override;

private:
    std::vector<DeviceCall>& m_kLog;
};

// SDL events for a window, as a user's devices would send them.
void PushSdlEvent(SDL_Event& kEvent);
void PushKey(os::WindowHandle pkWindow, SDL_Scancode eScancode, SDL_Keycode iSym, bool bDown, bool bRepeat = false);
void PushText(os::WindowHandle pkWindow, const char* pcUtf8);
void PushMotion(os::WindowHandle pkWindow, int iX, int iY);
void PushButton(os::WindowHandle pkWindow, Uint8 ucButton, bool bDown, int iX, int iY, Uint8 ucClicks = 1);
void PushWheel(os::WindowHandle pkWindow, int iY);
void PushWindowEvent(os::WindowHandle pkWindow, Uint8 ucEvent);
void PushQuit();
// Takes every pending message and dispatches it, as the main loop's pump does.
void PumpAll();
