#include "tests/framework/TestInput.h"

#include "platform/os/OsWindow.h"

bool LoggingMouseDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    m_kLog.push_back({'m', uiMessage, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam)});
    return true;
}

bool LoggingKeyboardDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    m_kLog.push_back({'k', uiMessage, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam)});
    return true;
}

void PumpAll()
{
    os::Message kMessage;
    while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
    {
        if (kMessage.message == os::WM_QUIT)
            break;
        os::TranslateMessage(kMessage);
        os::DispatchMessage(kMessage);
    }
}
