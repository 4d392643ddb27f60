#pragma once

#include "framework/COrvaneInputDevices.h"
#include "platform/os/OsDefs.h"
#include "tests/platform/os/OsInputInjection.h"

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

// Takes every pending message and dispatches it, as the main loop's pump does.
void PumpAll();
