#pragma once

#include "platform/os/OsDefs.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class COrvaneKeyboardDevice;
class COrvaneMouseDevice;
class COrvaneRenderer;

// One window message held for the input devices.
struct COrvaneInputEvent
{
    std::uint32_t m_uiMessage = 0;
    std::uint32_t m_uiWParam = 0;
    std::uint32_t m_uiLParam = 0;
    // A mouse move's own travel in client pixels, when the window layer
    // knew it.
    bool m_bMotion = false;
    std::int32_t m_iMotionX = 0;
    std::int32_t m_iMotionY = 0;
};

// The program's one window. Its procedure only records input; the main loop
// hands the recorded input to the devices once per frame, in arrival order.
class COrvaneWindow
{
public:
    static constexpr const char* CLASS_NAME = "Orvane Game";
    // Input held between two frames. A full queue makes room by dropping
    // the oldest mouse move, else the oldest event that is not a release,
    // so no key or button stays down for the game.
    static constexpr std::size_t MAX_QUEUED_EVENTS = 4096;

    COrvaneWindow();
    virtual ~COrvaneWindow();
    COrvaneWindow(const COrvaneWindow&) = delete;
    COrvaneWindow& operator=(const COrvaneWindow&) = delete;

    // The window made by the latest Create; null before.
    [[nodiscard]] static COrvaneWindow* GetInstance();
    static void ResetInstance();

    virtual void Destroy();
    // The window handle, or null when the class, the window or a device
    // cannot be made.
    virtual os::WindowHandle Create(os::InstanceHandle pkInstance, std::int32_t iClientWidth,
                                    std::int32_t iClientHeight);
    virtual void Release();
    virtual void Reset();

    bool RegisterWindowClass(os::InstanceHandle pkInstance);
    os::WindowHandle CreateMainWindow(os::InstanceHandle pkInstance, std::int32_t iClientWidth,
                                      std::int32_t iClientHeight);
    void Show();
    void ApplyDisplayMode(os::WindowHandle pkWindow, bool bFullScreen);
    // False when the renderer cannot be made.
    [[nodiscard]] bool CreateRenderer();
    void DestroyRenderer();
    [[nodiscard]] std::uint32_t GetRendererFlags() const;

    static os::LResult WindowProc(os::WindowHandle pkWindow, std::uint32_t uiMessage, os::WParam wParam,
                                  os::LParam lParam);
    // Hands every queued event to its device, oldest first; how many there were.
    std::size_t DispatchInputEvents();

    [[nodiscard]] os::WindowHandle GetHandle() const { return m_pkWindow; }
    [[nodiscard]] os::InstanceHandle GetInstanceHandle() const { return m_pkInstance; }
    [[nodiscard]] const std::string& GetWorkingDirectory() const { return m_kWorkingDirectory; }
    [[nodiscard]] COrvaneRenderer* GetRenderer() const { return m_pkRenderer.get(); }
    [[nodiscard]] COrvaneMouseDevice* GetMouseDevice() const { return m_pkMouseDevice.get(); }
    [[nodiscard]] COrvaneKeyboardDevice* GetKeyboardDevice() const { return m_pkKeyboardDevice.get(); }
    void SetMouseDevice(std::unique_ptr<COrvaneMouseDevice> pkDevice);
    void SetKeyboardDevice(std::unique_ptr<COrvaneKeyboardDevice> pkDevice);
    [[nodiscard]] const std::deque<COrvaneInputEvent>& GetInputEvents() const { return m_kInputEvents; }

private:
    void QueueEvent(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam);
    os::LResult HandleMessage(os::WindowHandle pkWindow, std::uint32_t uiMessage, os::WParam wParam,
                              os::LParam lParam);

    os::InstanceHandle m_pkInstance = nullptr;
    os::WindowHandle m_pkWindow = nullptr;
    std::string m_kWorkingDirectory;
    std::unique_ptr<COrvaneRenderer> m_pkRenderer;
    std::unique_ptr<COrvaneMouseDevice> m_pkMouseDevice;
    std::unique_ptr<COrvaneKeyboardDevice> m_pkKeyboardDevice;
    std::deque<COrvaneInputEvent> m_kInputEvents;
    bool m_bClassRegistered = false;
};
