#include "framework/COrvaneWindow.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneInputDevices.h"
#include "framework/COrvaneRenderer.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"

#include <algorithm>

namespace
{
COrvaneWindow* s_pkWindow = nullptr;

bool IsRelease(std::uint32_t uiMessage)
{
    return uiMessage == os::WM_KEYUP || uiMessage == os::WM_LBUTTONUP || uiMessage == os::WM_RBUTTONUP ||
           uiMessage == os::WM_MBUTTONUP;
}
} // namespace

COrvaneWindow::COrvaneWindow()
{
    Reset();
}

COrvaneWindow::~COrvaneWindow()
{
    COrvaneWindow::Destroy();
    m_kInputEvents.clear();
    if (s_pkWindow == this)
        s_pkWindow = nullptr;
}

COrvaneWindow* COrvaneWindow::GetInstance()
{
    return s_pkWindow;
}

void COrvaneWindow::ResetInstance()
{
    s_pkWindow = nullptr;
}

void COrvaneWindow::Reset()
{
    m_pkInstance = nullptr;
    m_pkWindow = nullptr;
    m_pkRenderer.reset();
    m_pkMouseDevice.reset();
    m_pkKeyboardDevice.reset();
}

os::WindowHandle COrvaneWindow::Create(os::InstanceHandle pkInstance, std::int32_t iClientWidth,
                                       std::int32_t iClientHeight)
{
    s_pkWindow = this;
    m_pkInstance = pkInstance;
    if (!RegisterWindowClass(pkInstance))
        return nullptr;
    m_pkWindow = CreateMainWindow(pkInstance, iClientWidth, iClientHeight);
    if (m_pkWindow == nullptr)
        return nullptr;
    m_kWorkingDirectory = os::GetCurrentFolder() + "/";
    m_pkMouseDevice = std::make_unique<COrvaneMouseDevice>();
    m_pkKeyboardDevice = std::make_unique<COrvaneKeyboardDevice>();
    return m_pkWindow;
}

bool COrvaneWindow::RegisterWindowClass(os::InstanceHandle pkInstance)
{
    os::WindowClass kClass;
    kClass.style = os::CS_BYTEALIGNWINDOW;
    kClass.procedure = &COrvaneWindow::WindowProc;
    kClass.instance = pkInstance;
    kClass.cursor = os::LoadCursor(nullptr, os::IDC_ARROW);
    kClass.background = os::GetStockObject(os::WHITE_BRUSH);
    kClass.name = CLASS_NAME;
    m_bClassRegistered = os::RegisterClass(kClass) != 0;
    return m_bClassRegistered;
}

os::WindowHandle COrvaneWindow::CreateMainWindow(os::InstanceHandle pkInstance, std::int32_t iClientWidth,
                                                 std::int32_t iClientHeight)
{
    os::Rect kRect{0, 0, iClientWidth, iClientHeight};
    os::AdjustWindowRect(kRect, os::WS_OVERLAPPEDWINDOW, false);
    return os::CreateWindowEx(0, CLASS_NAME, "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT, os::CW_USEDEFAULT,
                              kRect.right - kRect.left, kRect.bottom - kRect.top, nullptr, nullptr, pkInstance,
                              nullptr);
}

void COrvaneWindow::Show()
{
    if (m_pkMouseDevice)
        m_pkMouseDevice->HideCursor();
    os::ShowWindow(m_pkWindow, os::SW_SHOWNORMAL);
    os::UpdateWindow(m_pkWindow);
}

void COrvaneWindow::ApplyDisplayMode(os::WindowHandle pkWindow, bool bFullScreen)
{
    if (bFullScreen)
    {
        os::SetWindowLong(pkWindow, os::GWL_STYLE, static_cast<std::int32_t>(os::WS_POPUP));
        os::SetWindowPos(pkWindow, nullptr, 0, 0, 0, 0,
                         os::SWP_NOSIZE | os::SWP_NOMOVE | os::SWP_NOZORDER | os::SWP_FRAMECHANGED);
    }
    os::ShowWindow(pkWindow, os::SW_SHOWNORMAL);
    os::UpdateWindow(pkWindow);
}

bool COrvaneWindow::CreateRenderer()
{
    m_pkRenderer = std::make_unique<COrvaneRenderer>();
    return m_pkRenderer->Create(m_pkWindow);
}

void COrvaneWindow::DestroyRenderer()
{
    m_pkRenderer.reset();
}

std::uint32_t COrvaneWindow::GetRendererFlags() const
{
    return m_pkRenderer ? m_pkRenderer->GetCreationFlags() : 0;
}

void COrvaneWindow::Destroy()
{
    if (m_pkWindow != nullptr)
        os::DestroyWindow(m_pkWindow);
    if (m_bClassRegistered)
    {
        os::UnregisterClass(CLASS_NAME, m_pkInstance);
        m_bClassRegistered = false;
    }
    m_pkKeyboardDevice.reset();
    m_pkMouseDevice.reset();
    m_pkRenderer.reset();
    Reset();
}

void COrvaneWindow::Release()
{
    Destroy();
}

void COrvaneWindow::SetMouseDevice(std::unique_ptr<COrvaneMouseDevice> pkDevice)
{
    m_pkMouseDevice = std::move(pkDevice);
}

void COrvaneWindow::SetKeyboardDevice(std::unique_ptr<COrvaneKeyboardDevice> pkDevice)
{
    m_pkKeyboardDevice = std::move(pkDevice);
}

os::LResult COrvaneWindow::WindowProc(os::WindowHandle pkWindow, std::uint32_t uiMessage, os::WParam wParam,
                                      os::LParam lParam)
{
    if (s_pkWindow == nullptr)
        return os::DefWindowProc(pkWindow, uiMessage, wParam, lParam);
    return s_pkWindow->HandleMessage(pkWindow, uiMessage, wParam, lParam);
}

os::LResult COrvaneWindow::HandleMessage(os::WindowHandle pkWindow, std::uint32_t uiMessage, os::WParam wParam,
                                         os::LParam lParam)
{
    switch (uiMessage)
    {
    case os::WM_DESTROY:
        os::ClipCursor(nullptr);
        os::PostQuitMessage(0);
        return 0;
    case os::WM_MOVE:
        if (m_pkMouseDevice)
        {
            const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
            m_pkMouseDevice->ClipToWindow(pkWindow, pkApp != nullptr && pkApp->IsFullScreen());
        }
        return 0;
    case os::WM_KEYDOWN:
    case os::WM_CHAR:
        // A held key queues its first press only, not the auto-repeats.
        if ((static_cast<std::uint32_t>(lParam) & os::KF_PREVIOUS_BIT) != 0)
            return os::DefWindowProc(pkWindow, uiMessage, wParam, lParam);
        QueueEvent(uiMessage, wParam, lParam);
        return 0;
    case os::WM_KEYUP:
    case os::WM_MOUSEMOVE:
    case os::WM_LBUTTONDOWN:
    case os::WM_LBUTTONUP:
    case os::WM_RBUTTONDOWN:
    case os::WM_RBUTTONUP:
    case os::WM_MBUTTONDOWN:
    case os::WM_MBUTTONUP:
    case os::WM_MOUSEWHEEL:
        QueueEvent(uiMessage, wParam, lParam);
        return 0;
    default:
        return os::DefWindowProc(pkWindow, uiMessage, wParam, lParam);
    }
}

void COrvaneWindow::QueueEvent(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    if (m_kInputEvents.size() >= MAX_QUEUED_EVENTS)
    {
        auto it = std::find_if(m_kInputEvents.begin(), m_kInputEvents.end(),
                               [](const COrvaneInputEvent& kEvent) { return kEvent.m_uiMessage == os::WM_MOUSEMOVE; });
        if (it == m_kInputEvents.end())
        {
            it = std::find_if(m_kInputEvents.begin(), m_kInputEvents.end(),
                              [](const COrvaneInputEvent& kEvent) { return !IsRelease(kEvent.m_uiMessage); });
        }
        if (it == m_kInputEvents.end())
            it = m_kInputEvents.begin();
        m_kInputEvents.erase(it);
    }
    COrvaneInputEvent kEvent;
    kEvent.m_uiMessage = uiMessage;
    kEvent.m_uiWParam = static_cast<std::uint32_t>(wParam);
    kEvent.m_uiLParam = static_cast<std::uint32_t>(lParam);
    os::Point kMotion;
    if (uiMessage == os::WM_MOUSEMOVE && os::GetMessageMotion(kMotion))
    {
        kEvent.m_bMotion = true;
        kEvent.m_iMotionX = kMotion.x;
        kEvent.m_iMotionY = kMotion.y;
    }
    m_kInputEvents.push_back(kEvent);
}

std::size_t COrvaneWindow::DispatchInputEvents()
{
    const std::size_t uiCount = m_kInputEvents.size();
    while (!m_kInputEvents.empty())
    {
        const COrvaneInputEvent kEvent = m_kInputEvents.front();
        m_kInputEvents.pop_front();
        const os::WParam wParam = kEvent.m_uiWParam;
        const os::LParam lParam = static_cast<os::LParam>(kEvent.m_uiLParam);
        if (kEvent.m_uiMessage >= os::WM_KEYDOWN && kEvent.m_uiMessage <= os::WM_CHAR)
        {
            if (m_pkKeyboardDevice)
                m_pkKeyboardDevice->HandleMessage(kEvent.m_uiMessage, wParam, lParam);
        }
        else if (kEvent.m_uiMessage == os::WM_MOUSEMOVE || kEvent.m_uiMessage == os::WM_MOUSEWHEEL ||
                 (kEvent.m_uiMessage >= os::WM_LBUTTONDOWN && kEvent.m_uiMessage <= os::WM_MBUTTONUP &&
                  kEvent.m_uiMessage != os::WM_LBUTTONDBLCLK && kEvent.m_uiMessage != os::WM_RBUTTONDBLCLK))
        {
            if (m_pkMouseDevice)
            {
                if (kEvent.m_bMotion)
                    m_pkMouseDevice->SetMoveMotion(kEvent.m_iMotionX, kEvent.m_iMotionY);
                m_pkMouseDevice->HandleMessage(kEvent.m_uiMessage, wParam, lParam);
            }
        }
    }
    return uiCount;
}
