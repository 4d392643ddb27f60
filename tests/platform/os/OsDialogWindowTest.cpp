#include "platform/os/OsDialogWindow.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsSystem.h"
#include "tests/platform/os/OsInputInjection.h"
#include "tests/platform/os/OsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
class OsDialogWindowTest : public OsTest
{
protected:
    // The events the window hands out until it has nothing more.
    std::vector<os::DialogEvent> Drain(os::DialogWindow& kWindow)
    {
        std::vector<os::DialogEvent> kEvents;
        os::DialogEvent kEvent;
        while (kWindow.WaitEvent(kEvent, 0))
            kEvents.push_back(kEvent);
        return kEvents;
    }
};

TEST_F(OsDialogWindowTest, PicturesAndTextLandInThePresentedPictureClippedToIt)
{
    os::DialogWindow kWindow;
    ASSERT_TRUE(kWindow.Create(64, 48));
    EXPECT_NE(kWindow.GetWindowId(), 0u);
    kWindow.Fill(0, 0, 64, 48, 0xFF102030u);
    // A 3 x 2 picture with rows 4 pixels apart, hanging over the right edge.
    const std::uint32_t auiRows[8] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xDEADBEEFu,
                                      0x00111111u, 0x00222222u, 0x00333333u, 0xDEADBEEFu};
    kWindow.Blit(62, 10, 3, 2, auiRows, 4);
    kWindow.Blit(-1, -1, 3, 2, auiRows, 4);
    // Nothing shows before the picture is presented.
    EXPECT_EQ(kWindow.ReadPixel(62, 10), 0xFF000000u);
    kWindow.Present();
    EXPECT_EQ(kWindow.ReadPixel(62, 10), 0xFFFF0000u); // opaque whatever the alpha byte said
    EXPECT_EQ(kWindow.ReadPixel(63, 10), 0xFF00FF00u);
    EXPECT_EQ(kWindow.ReadPixel(63, 11), 0xFF222222u);
    EXPECT_EQ(kWindow.ReadPixel(0, 0), 0xFF222222u); // the second row's middle
    EXPECT_EQ(kWindow.ReadPixel(1, 0), 0xFF333333u);
    EXPECT_EQ(kWindow.ReadPixel(2, 0), 0xFF102030u);
    EXPECT_EQ(kWindow.ReadPixel(64, 10), 0u); // outside
    EXPECT_EQ(kWindow.ReadPixel(-1, 0), 0u);

    // Text in the dialog font changes pixels only where it is drawn.
    ASSERT_TRUE(kWindow.DrawText(4, 20, "Play", 0xFFFFFFFFu, 15));
    EXPECT_GT(kWindow.TextWidth("Play", 15), 20);
    EXPECT_GT(kWindow.TextWidth("Play Play", 15), kWindow.TextWidth("Play", 15));
    kWindow.Present();
    int iLit = 0;
    for (int y = 20; y < 40; ++y)
        for (int x = 4; x < 40; ++x)
            iLit += kWindow.ReadPixel(x, y) != 0xFF102030u;
    EXPECT_GT(iLit, 20);
    EXPECT_EQ(kWindow.ReadPixel(60, 45), 0xFF102030u);

    kWindow.Destroy();
    EXPECT_FALSE(kWindow.IsOpen());
    EXPECT_EQ(kWindow.GetWindowId(), 0u);
    os::DialogEvent kEvent;
    EXPECT_FALSE(kWindow.WaitEvent(kEvent, 0));
}

TEST_F(OsDialogWindowTest, InputComesBackInClientPixelsAndOtherWindowsInputIsNotOurs)
{
    os::DialogWindow kWindow;
    ASSERT_TRUE(kWindow.Create(640, 480));
    const std::uint32_t uiId = kWindow.GetWindowId();
    ostest::InjectDialogMotion(uiId + 100, 5, 5); // another window's
    ostest::InjectDialogMotion(uiId, 320, 241);
    ostest::InjectDialogClick(uiId, 10, 20);
    ostest::InjectDialogEscape(uiId);
    ostest::InjectDialogClose(uiId);
    const std::vector<os::DialogEvent> kEvents = Drain(kWindow);
    ASSERT_EQ(kEvents.size(), 5u);
    EXPECT_EQ(kEvents[0].type, os::DialogEvent::Type::MouseMove);
    EXPECT_EQ(kEvents[0].x, 320);
    EXPECT_EQ(kEvents[0].y, 241);
    EXPECT_EQ(kEvents[1].type, os::DialogEvent::Type::LeftDown);
    EXPECT_EQ(kEvents[2].type, os::DialogEvent::Type::LeftUp);
    EXPECT_EQ(kEvents[2].x, 10);
    EXPECT_EQ(kEvents[2].y, 20);
    EXPECT_EQ(kEvents[3].type, os::DialogEvent::Type::Key);
    EXPECT_EQ(kEvents[3].key, os::VK_ESCAPE);
    EXPECT_EQ(kEvents[4].type, os::DialogEvent::Type::Close);

    // The program's quit closes the dialog too.
    ostest::InjectQuit();
    os::DialogEvent kEvent;
    ASSERT_TRUE(kWindow.WaitEvent(kEvent, 0));
    EXPECT_EQ(kEvent.type, os::DialogEvent::Type::Close);
}

// A picker's entry too wide for its box at the usual size is drawn smaller
// and whole: its last letter ends clear of the box's arrow, where a cut text
// runs into the edge.
TEST_F(OsDialogWindowTest, APickerEntryTooWideForItsBoxIsDrawnSmallerAndWhole)
{
    os::DialogWindow kWindow;
    ASSERT_TRUE(kWindow.Create(640, 480));
    const int iPicker = kWindow.AddPicker(38, 96, 135, 20, 335);
    const std::string kEntry = "1024 x 768 window";
    // The arrow square is the box's height less two, at its right end.
    const int iArrowX = 38 + 135 - 1 - 18;
    const int iRoom = iArrowX - 1 - (38 + 4);
    ASSERT_GT(kWindow.TextWidth(kEntry, 12), iRoom);
    ASSERT_EQ(kWindow.AddItem(iPicker, kEntry, 0), 0);
    ASSERT_TRUE(kWindow.SetSelection(iPicker, 0));
    kWindow.Present();
    int iRight = -1;
    for (int y = 97; y < 96 + 19; ++y)
        for (int x = 39; x < iArrowX; ++x)
            if (kWindow.ReadPixel(x, y) != 0xFFFFFFFFu)
                iRight = std::max(iRight, x);
    EXPECT_GT(iRight, 38 + 4 + iRoom / 2); // the text is there
    EXPECT_LT(iRight, iArrowX - 2);

    // The same in the open list.
    ostest::InjectDialogClick(kWindow.GetWindowId(), 60, 100);
    (void)Drain(kWindow);
    ASSERT_TRUE(kWindow.IsPickerOpen(iPicker));
    iRight = -1;
    const int iRowTop = 96 + 20 + 1;
    for (int y = iRowTop; y < iRowTop + 16; ++y)
        for (int x = 39; x < 38 + 135 - 1; ++x)
        {
            const std::uint32_t uiPixel = kWindow.ReadPixel(x, y);
            if (uiPixel != kWindow.ReadPixel(39, iRowTop))
                iRight = std::max(iRight, x);
        }
    EXPECT_GT(iRight, 38 + 4 + iRoom / 2);
    EXPECT_LT(iRight, 38 + 135 - 4);
}

TEST_F(OsDialogWindowTest, APickerOpensChoosesAndReportsOnlyARealChange)
{
    os::DialogWindow kWindow;
    ASSERT_TRUE(kWindow.Create(640, 480));
    const std::uint32_t uiId = kWindow.GetWindowId();
    // 49 dropped: three rows of 16 fit.
    const int iPicker = kWindow.AddPicker(39, 44, 135, 20, 49);
    EXPECT_EQ(kWindow.AddItem(iPicker + 1, "none", 0), -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(kWindow.AddItem(iPicker, "entry " + std::to_string(i), 100 + i), i);
    EXPECT_EQ(kWindow.GetSelection(iPicker), -1);
    EXPECT_FALSE(kWindow.SetSelection(iPicker, 5));
    EXPECT_TRUE(kWindow.SetSelection(iPicker, 1));
    EXPECT_EQ(kWindow.GetItemData(iPicker, 4), 104);
    EXPECT_EQ(kWindow.GetItemData(iPicker, 5), -1);
    EXPECT_EQ(kWindow.GetItemText(iPicker, 2), "entry 2");
    kWindow.Present();
    const std::uint32_t uiClosedBelow = kWindow.ReadPixel(165, 70);

    // A click on the box opens it (no event), one on the third row chooses.
    ostest::InjectDialogClick(uiId, 60, 50);
    EXPECT_TRUE(Drain(kWindow).empty());
    EXPECT_TRUE(kWindow.IsPickerOpen(iPicker));
    EXPECT_NE(kWindow.ReadPixel(165, 70), uiClosedBelow); // the list is drawn below
    ostest::InjectDialogClick(uiId, 60, 44 + 20 + 1 + 2 * 16 + 5);
    std::vector<os::DialogEvent> kEvents = Drain(kWindow);
    ASSERT_EQ(kEvents.size(), 1u); // the release of a press the list took is its own too
    EXPECT_EQ(kEvents[0].type, os::DialogEvent::Type::PickerChanged);
    EXPECT_EQ(kEvents[0].picker, iPicker);
    EXPECT_EQ(kWindow.GetSelection(iPicker), 2);
    EXPECT_FALSE(kWindow.IsPickerOpen(iPicker));
    EXPECT_EQ(kWindow.ReadPixel(165, 70), uiClosedBelow);

    // Scrolled down by the wheel as far as it goes, the first row shows
    // entry 2: choosing the selected entry again is no change.
    ostest::InjectDialogClick(uiId, 60, 50);
    ostest::InjectDialogWheel(uiId, -3);
    (void)Drain(kWindow);
    ostest::InjectDialogClick(uiId, 60, 44 + 20 + 1 + 5);
    EXPECT_TRUE(Drain(kWindow).empty());
    EXPECT_EQ(kWindow.GetSelection(iPicker), 2);
    ostest::InjectDialogClick(uiId, 60, 50);
    ostest::InjectDialogWheel(uiId, -3);
    ostest::InjectDialogClick(uiId, 60, 44 + 20 + 1 + 2 * 16 + 5);
    kEvents = Drain(kWindow);
    ASSERT_EQ(kEvents.size(), 1u);
    EXPECT_EQ(kEvents[0].type, os::DialogEvent::Type::PickerChanged);
    EXPECT_EQ(kWindow.GetSelection(iPicker), 4);

    // A press elsewhere only closes an open list; a hidden picker takes nothing.
    ostest::InjectDialogClick(uiId, 60, 50);
    ostest::InjectDialogClick(uiId, 600, 400);
    EXPECT_TRUE(Drain(kWindow).empty());
    EXPECT_FALSE(kWindow.IsPickerOpen(iPicker));
    kWindow.ShowPicker(iPicker, false);
    ostest::InjectDialogClick(uiId, 60, 50);
    kEvents = Drain(kWindow);
    ASSERT_EQ(kEvents.size(), 2u);
    EXPECT_EQ(kEvents[0].type, os::DialogEvent::Type::LeftDown);
    kWindow.ClearItems(iPicker);
    EXPECT_EQ(kWindow.GetItemCount(iPicker), 0);
    EXPECT_EQ(kWindow.GetSelection(iPicker), -1);
}

TEST_F(OsDialogWindowTest, TheIdleHookActsWhenNothingIsWaitingAndResetRemovesIt)
{
    os::DialogWindow kWindow;
    ASSERT_TRUE(kWindow.Create(100, 100));
    int iCalls = 0;
    os::SetDialogIdleHook([&iCalls](os::DialogWindow& kOpen) {
        if (++iCalls == 1)
            ostest::InjectDialogMotion(kOpen.GetWindowId(), 7, 8);
    });
    os::DialogEvent kEvent;
    ASSERT_TRUE(kWindow.WaitEvent(kEvent, 1000));
    EXPECT_EQ(iCalls, 1);
    EXPECT_EQ(kEvent.type, os::DialogEvent::Type::MouseMove);
    EXPECT_EQ(kEvent.x, 7);
    os::Reset();
    EXPECT_FALSE(kWindow.WaitEvent(kEvent, 0));
    EXPECT_EQ(iCalls, 1);
}
} // namespace
