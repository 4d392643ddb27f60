#include "framework/COrvaneWindow.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneInputDevices.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestInput.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
class COrvaneWindowTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        m_pkWindow = std::make_unique<COrvaneWindow>();
        m_pkHandle = m_pkWindow->Create(nullptr, 1024, 768);
        ASSERT_NE(m_pkHandle, nullptr);
    }

    void TearDown() override
    {
        m_pkWindow.reset();
        FrameworkTest::TearDown();
    }

    void UseLoggingDevices()
    {
        m_pkWindow->SetMouseDevice(std::make_unique<LoggingMouseDevice>(m_kLog));
        m_pkWindow->SetKeyboardDevice(std::make_unique<LoggingKeyboardDevice>(m_kLog));
    }

    std::vector<std::uint32_t> QueuedMessages() const
    {
        std::vector<std::uint32_t> kIds;
        for (const COrvaneInputEvent& kEvent : m_pkWindow->GetInputEvents())
            kIds.push_back(kEvent.m_uiMessage);
        return kIds;
    }

    std::unique_ptr<COrvaneWindow> m_pkWindow;
    os::WindowHandle m_pkHandle = nullptr;
    std::vector<DeviceCall> m_kLog;
};

class NullFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override { return std::make_unique<COrvaneGame>(); }
};

TEST_F(COrvaneWindowTest, CreateMakesAHiddenWindowOfTheGamesClass)
{
    EXPECT_EQ(COrvaneWindow::GetInstance(), m_pkWindow.get());
    EXPECT_EQ(m_pkWindow->GetWorkingDirectory(), Folder().string() + "/");
    EXPECT_NE(m_pkWindow->GetMouseDevice(), nullptr);
    EXPECT_NE(m_pkWindow->GetKeyboardDevice(), nullptr);
    EXPECT_EQ(m_pkWindow->GetRenderer(), nullptr);
    EXPECT_EQ(m_pkWindow->GetRendererFlags(), 0u);
    os::WindowClass kClass;
    ASSERT_TRUE(os::GetClassInfo("Orvane Game", kClass));
    EXPECT_EQ(kClass.procedure, &COrvaneWindow::WindowProc);
    EXPECT_EQ(kClass.style, os::CS_BYTEALIGNWINDOW);
    EXPECT_FALSE(os::IsWindowVisible(m_pkHandle));
    os::Rect kClient;
    ASSERT_TRUE(os::GetClientRect(m_pkHandle, kClient));
    EXPECT_EQ(kClient.right, 1024);
    EXPECT_EQ(kClient.bottom, 768);
}

TEST_F(COrvaneWindowTest, DestroyingTheWindowEndsTheLoopAndFreesTheClass)
{
    m_pkWindow->Destroy();
    EXPECT_FALSE(os::IsWindow(m_pkHandle));
    os::WindowClass kClass;
    EXPECT_FALSE(os::GetClassInfo("Orvane Game", kClass));
    os::Message kMessage;
    ASSERT_TRUE(os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE));
    EXPECT_EQ(kMessage.message, os::WM_QUIT);
    EXPECT_EQ(m_pkWindow->GetHandle(), nullptr);
}

TEST_F(COrvaneWindowTest, ASecondWindowOfTheClassCannotBeMadeAndInitFails)
{
    COrvaneWindow kSecond;
    EXPECT_EQ(kSecond.Create(nullptr, 640, 480), nullptr);
    m_pkWindow.reset(); // the class is free again: the application's own try
    // Someone else's class of that name keeps the application from starting.
    os::WindowClass kClass;
    kClass.procedure = &os::DefWindowProc;
    kClass.name = "Orvane Game";
    ASSERT_NE(os::RegisterClass(kClass), 0);
    NullFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_NE(pkApp, nullptr);
    EXPECT_FALSE(pkApp->Init(nullptr, kFactory, 1024, 768));
    EXPECT_EQ(pkApp->GetGame(), nullptr);
}

TEST_F(COrvaneWindowTest, TheProcedureQueuesInputButNotRepeatsOrDoubleClicks)
{
    ostest::InjectKey(m_pkHandle, 'A', true);
    ostest::InjectText(m_pkHandle, "a");
    ostest::InjectKey(m_pkHandle, 'A', true, true); // auto-repeat
    ostest::InjectText(m_pkHandle, "a");
    ostest::InjectKey(m_pkHandle, 'A', false);
    ostest::InjectMotion(m_pkHandle, 5, 7);
    ostest::InjectButton(m_pkHandle, ostest::MouseButton::Left, true, 5, 7, 2); // second click of a double click
    ostest::InjectButton(m_pkHandle, ostest::MouseButton::Left, false, 5, 7, 2);
    ostest::InjectWheel(m_pkHandle, -1);
    PumpAll();
    os::SendMessage(m_pkHandle, os::WM_LBUTTONDBLCLK, 0, 0);
    os::SendMessage(m_pkHandle, os::WM_ACTIVATE, os::WA_ACTIVE, 0);

    const std::vector<std::uint32_t> kExpected = {os::WM_KEYDOWN,     os::WM_CHAR,        os::WM_KEYUP,
                                                  os::WM_MOUSEMOVE,   os::WM_LBUTTONDOWN, os::WM_LBUTTONUP,
                                                  os::WM_MOUSEWHEEL};
    ASSERT_EQ(QueuedMessages(), kExpected);
    const auto& kEvents = m_pkWindow->GetInputEvents();
    EXPECT_EQ(kEvents[0].m_uiWParam, 0x41u);
    EXPECT_EQ(kEvents[0].m_uiLParam, 0x001E0001u); // repeat 1, scan 30
    EXPECT_EQ(kEvents[1].m_uiWParam, static_cast<std::uint32_t>('a'));
    EXPECT_EQ(kEvents[1].m_uiLParam, 0x001E0001u);
    EXPECT_EQ(kEvents[2].m_uiLParam, 0xC01E0001u); // previous state and transition
    EXPECT_EQ(kEvents[3].m_uiLParam, 0x00070005u);
    EXPECT_EQ(static_cast<std::int16_t>(kEvents[6].m_uiWParam >> 16), -120);
}

TEST_F(COrvaneWindowTest, DispatchHandsEachEventToItsDeviceInOrder)
{
    UseLoggingDevices();
    const std::vector<DeviceCall> kSent = {
        {'m', os::WM_MOUSEMOVE, 0, 0x00020001}, {'k', os::WM_KEYDOWN, 0x41, 0x001E0001},
        {'k', os::WM_CHAR, 0x61, 0x001E0001},   {'m', os::WM_RBUTTONDOWN, 2, 0x00020001},
        {'m', os::WM_MBUTTONUP, 0, 0x00020001}, {'k', os::WM_KEYUP, 0x41, 0xC01E0001},
        {'m', os::WM_MOUSEWHEEL, 0xFF880000, 0}};
    for (const DeviceCall& kCall : kSent)
        os::SendMessage(m_pkHandle, kCall.uiMessage, kCall.uiWParam, kCall.uiLParam);
    EXPECT_TRUE(m_kLog.empty()); // nothing reaches a device before the frame's dispatch
    m_pkWindow->DispatchInputEvents();
    EXPECT_EQ(m_kLog, kSent);
    EXPECT_TRUE(m_pkWindow->GetInputEvents().empty());
}

TEST_F(COrvaneWindowTest, AFullQueueDropsMovesFirstAndNeverReleases)
{
    UseLoggingDevices();
    os::SendMessage(m_pkHandle, os::WM_LBUTTONDOWN, 1, 0);
    os::SendMessage(m_pkHandle, os::WM_MOUSEMOVE, 0, 1);
    for (std::size_t i = 2; i < COrvaneWindow::MAX_QUEUED_EVENTS; ++i)
        os::SendMessage(m_pkHandle, os::WM_KEYUP, 0x41, static_cast<os::LParam>(i));
    ASSERT_EQ(m_pkWindow->GetInputEvents().size(), COrvaneWindow::MAX_QUEUED_EVENTS);

    os::SendMessage(m_pkHandle, os::WM_KEYDOWN, 0x42, 0x7001); // the move makes room
    EXPECT_EQ(m_pkWindow->GetInputEvents().size(), COrvaneWindow::MAX_QUEUED_EVENTS);
    EXPECT_EQ(m_pkWindow->GetInputEvents().front().m_uiMessage, os::WM_LBUTTONDOWN);
    EXPECT_EQ(m_pkWindow->GetInputEvents().back().m_uiMessage, os::WM_KEYDOWN);

    os::SendMessage(m_pkHandle, os::WM_KEYUP, 0x42, 0x7002); // then the oldest press
    os::SendMessage(m_pkHandle, os::WM_KEYUP, 0x43, 0x7003); // then the newest press
    m_pkWindow->DispatchInputEvents();
    ASSERT_EQ(m_kLog.size(), COrvaneWindow::MAX_QUEUED_EVENTS);
    for (std::size_t i = 0; i < m_kLog.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(m_kLog[i].uiMessage, os::WM_KEYUP); // every release kept
    }
    EXPECT_EQ(m_kLog.front().uiLParam, 2u);
    EXPECT_EQ(m_kLog[m_kLog.size() - 2].uiLParam, 0x7002u);
    EXPECT_EQ(m_kLog.back().uiLParam, 0x7003u);
}

TEST_F(COrvaneWindowTest, MovingTheWindowClipsTheCursorToIt)
{
    os::ClipCursor(nullptr);
    os::SendMessage(m_pkHandle, os::WM_MOVE, 0, 0);
    os::Rect kWindowRect;
    ASSERT_TRUE(os::GetWindowRect(m_pkHandle, kWindowRect));
    os::Rect kClip;
    ASSERT_TRUE(os::GetClipCursor(kClip));
    // Headless drivers report no frame, so the client area is the window.
    EXPECT_EQ(kClip.left, kWindowRect.left + os::GetSystemMetrics(os::SM_CXFRAME));
    EXPECT_EQ(kClip.right, kWindowRect.right - os::GetSystemMetrics(os::SM_CXFRAME));
    EXPECT_EQ(kClip.bottom, kWindowRect.bottom - os::GetSystemMetrics(os::SM_CYFRAME));
}

TEST_F(COrvaneWindowTest, ShowHidesTheCursorAndFullScreenMeansPopup)
{
    m_pkWindow->Show();
    EXPECT_TRUE(os::IsWindowVisible(m_pkHandle));
    EXPECT_EQ(os::GetForegroundWindow(), m_pkHandle);
    EXPECT_EQ(os::ShowCursor(true), 0); // Show counted the cursor down once
    m_pkWindow->ApplyDisplayMode(m_pkHandle, false);
    EXPECT_FALSE(os::IsFullScreen(m_pkHandle));
    m_pkWindow->ApplyDisplayMode(m_pkHandle, true);
    const auto uiStyle = static_cast<std::uint32_t>(os::GetWindowLong(m_pkHandle, os::GWL_STYLE));
    EXPECT_EQ(uiStyle & ~os::WS_VISIBLE, os::WS_POPUP);
    EXPECT_TRUE(os::IsFullScreen(m_pkHandle));
}

TEST_F(COrvaneWindowTest, KeyboardDeviceIndexesExtendedKeysAbove128)
{
    const COrvaneKeyboardDevice& kDevice = *m_pkWindow->GetKeyboardDevice();
    EXPECT_EQ(kDevice.ScanCode(0, 0x001E0001), 30u);
    EXPECT_EQ(kDevice.ScanCode(0, 0x01470001), 199u); // Home: 71 extended
    EXPECT_EQ(kDevice.ScanCode(0, static_cast<os::LParam>(0xC1470001u)), 199u);
}
} // namespace
