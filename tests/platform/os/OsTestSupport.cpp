#include "tests/platform/os/OsTestSupport.h"

#include "platform/os/OsInput.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"

#include <cstring>

std::vector<ProcCall>& RecordedCalls()
{
    static std::vector<ProcCall> calls;
    return calls;
}

os::LResult RecordingProc(os::WindowHandle window, std::uint32_t message, os::WParam wParam, os::LParam lParam)
{
    ProcCall call;
    call.window = window;
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    call.hasMotion = os::GetMessageMotion(call.motion);
    RecordedCalls().push_back(call);
    if (message == os::WM_DESTROY)
    {
        os::PostQuitMessage(0);
        return 0;
    }
    return os::DefWindowProc(window, message, wParam, lParam);
}

os::WindowHandle MakeGameWindow()
{
    RecordedCalls().clear();
    os::WindowClass wc;
    wc.style = os::CS_BYTEALIGNWINDOW;
    wc.procedure = &RecordingProc;
    wc.cursor = os::LoadCursor(nullptr, os::IDC_ARROW);
    wc.background = os::GetStockObject(os::WHITE_BRUSH);
    wc.name = "Orvane Game";
    EXPECT_NE(os::RegisterClass(wc), 0);
    os::Rect r{0, 0, 1024, 768};
    os::AdjustWindowRect(r, os::WS_OVERLAPPEDWINDOW, false);
    return os::CreateWindowEx(0, "Orvane Game", "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT, os::CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
}

std::vector<os::Message> TakeAll()
{
    std::vector<os::Message> out;
    os::Message m;
    while (os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE))
    {
        out.push_back(m);
        if (m.message == os::WM_QUIT)
        {
            break;
        }
    }
    return out;
}

void OsTest::SetUp()
{
    os::Reset();
    ASSERT_TRUE(os::Startup());
}

void OsTest::TearDown()
{
    os::Reset();
}
