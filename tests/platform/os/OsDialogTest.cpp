#include "platform/os/OsDialog.h"

#include "platform/os/OsSystem.h"
#include "tests/platform/os/OsTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class OsDialogTest : public OsTest
{
};

TEST_F(OsDialogTest, HeadlessBoxGoesToStandardErrorAndReturnsOk)
{
    if (!os::IsHeadless())
    {
        GTEST_SKIP() << "a real box would wait for a user";
    }
    testing::internal::CaptureStderr();
    int result = os::MessageBox(nullptr, "Direct3D renderer creation error", "Application Error",
                                os::MB_ICONHAND | os::MB_TASKMODAL | os::MB_TOPMOST);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, os::IDOK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "Application Error: Direct3D renderer creation error\n");
}

TEST_F(OsDialogTest, HookReplacesTheBoxUntilReset)
{
    struct Seen
    {
        std::string text;
        std::string caption;
        std::uint32_t style = 0;
        int calls = 0;
    } seen;
    os::MessageBoxHook previous = os::SetMessageBoxHook(
        [&](os::WindowHandle, std::string_view text, std::string_view caption, std::uint32_t style) {
            seen.text = std::string(text);
            seen.caption = std::string(caption);
            seen.style = style;
            ++seen.calls;
            return 1;
        });
    EXPECT_FALSE(previous);
    testing::internal::CaptureStderr();
    EXPECT_EQ(os::MessageBox(nullptr, "text", "caption", os::MB_ICONHAND), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.text, "text");
    EXPECT_EQ(seen.caption, "caption");
    EXPECT_EQ(seen.style, os::MB_ICONHAND);

    os::ResetMessageBoxHook();
    if (!os::IsHeadless())
    {
        return;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(os::MessageBox(nullptr, "b", "a", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "a: b\n");
    EXPECT_EQ(seen.calls, 1);
}

TEST_F(OsDialogTest, DebuggerOutputIsStandardErrorVerbatim)
{
    testing::internal::CaptureStderr();
    os::OutputDebugString("\n\nORVANE ERROR\n");
    os::OutputDebugString("no line feed");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n\nORVANE ERROR\nno line feed");
}
} // namespace
