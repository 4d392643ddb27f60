#include "framework/COrvaneInputDevices.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/TestInput.h"
#include "tests/framework/UiTestSupport.h"
#include "tests/platform/os/OsInputInjection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

namespace
{
class COrvaneInputTest : public UiTest
{
protected:
    // Everything queued goes through the pump and on to the devices.
    static void DeliverAll()
    {
        PumpAll();
        COrvaneWindow::GetInstance()->DispatchInputEvents();
    }

    static COrvaneKeyEvent Key(std::uint32_t uiKeyCode, bool bShift = false, bool bCtrl = false)
    {
        COrvaneKeyEvent kEvent;
        kEvent.m_uiKeyCode = uiKeyCode;
        kEvent.m_ucShift = bShift ? 0x80 : 0;
        kEvent.m_ucCtrl = bCtrl ? 0x80 : 0;
        return kEvent;
    }

    static os::LParam KeyBits(std::uint32_t uiScan, bool bExtended)
    {
        return static_cast<os::LParam>(1u | (uiScan << 16) | (bExtended ? os::KF_EXTENDED_BIT : 0u));
    }
};
} // namespace

TEST_F(COrvaneInputTest, KeyTableGivesTheListedCodesAndNothingElse)
{
    const auto& kTable = COrvaneKeys::Table();
    const std::pair<std::uint32_t, std::uint32_t> kListed[] = {
        {2, '1'},  {11, '0'},  {12, '-'},  {13, '='},  {16, 'q'},  {25, 'p'},  {26, '['},  {27, ']'},  {30, 'a'},
        {38, 'l'}, {39, ';'},  {40, '\''}, {41, '`'},  {43, '#'},  {44, 'z'},  {50, 'm'},  {51, ','},  {52, '.'},
        {53, '/'}, {57, ' '},  {86, '\\'}, {1, 128},   {59, 129},  {68, 138},  {87, 139},  {88, 140},  {210, 141},
        {211, 142}, {199, 143}, {71, 143}, {207, 144}, {201, 145}, {209, 146}, {200, 147}, {208, 148}, {203, 149},
        {205, 150}, {82, 151}, {83, 152},  {79, 154},  {80, 158},  {81, 156},  {75, 159},  {76, 167},  {77, 160},
        {72, 157}, {73, 155},  {69, 161},  {197, 161}, {181, 162}, {55, 163},  {74, 164},  {78, 165},  {156, 166},
        {14, 168}, {15, 169},  {58, 170},  {28, 171},  {42, 172},  {54, 173},  {29, 174},  {157, 175}, {56, 176},
        {184, 177}};
    std::set<std::uint32_t> kSeen;
    for (const auto& [uiScan, uiCode] : kListed)
    {
        SCOPED_TRACE(uiScan);
        EXPECT_EQ(kTable[uiScan], uiCode);
        kSeen.insert(uiScan);
    }
    const char* pcLetters = "qwertyuiopasdfghjklzxcvbnm";
    std::set<std::uint8_t> kLetters;
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_NE(kTable[i], 153u); // no key gives it
        if (kTable[i] >= 'a' && kTable[i] <= 'z')
            kLetters.insert(kTable[i]);
        const bool bPrintableRun = (i >= 2 && i <= 13) || (i >= 16 && i <= 27) || (i >= 30 && i <= 41) ||
                                   (i >= 44 && i <= 53);
        if (!bPrintableRun && kSeen.count(i) == 0 && !(i >= 59 && i <= 68))
        {
            EXPECT_EQ(kTable[i], COrvaneKeys::KEY_NONE);
        }
    }
    EXPECT_EQ(kLetters.size(), std::string(pcLetters).size());
    // An extended code above 127 would index past the table: no key.
    EXPECT_EQ(COrvaneKeys::FromScanCode(256), COrvaneKeys::KEY_NONE);
    EXPECT_EQ(COrvaneKeys::FromScanCode(383), COrvaneKeys::KEY_NONE);
}

TEST_F(COrvaneInputTest, EveryKeyReachesTheGameKeyboardThroughTheWindow)
{
    Keyboard().m_bBlocked = true; // the camera stays out of it
    int iKeys = 0;
    for (std::uint32_t uiIndex = 1; uiIndex < 256; ++uiIndex)
    {
        SCOPED_TRACE(uiIndex);
        const auto ucCode = static_cast<std::uint8_t>(uiIndex & 127);
        const bool bExtended = uiIndex >= 128;
        if (!ostest::InjectScanCode(Window(), ucCode, bExtended, true))
            continue;
        ++iKeys;
        DeliverAll();
        EXPECT_EQ(Keyboard().GetScanCode(), uiIndex);
        EXPECT_EQ(Keyboard().GetKeyCode(), COrvaneKeys::Table()[uiIndex]);
        const bool bControl = uiIndex == 29 || uiIndex == 157;
        const bool bShift = uiIndex == 42 || uiIndex == 54;
        EXPECT_EQ(Keyboard().IsCtrlDown(), bControl);
        EXPECT_EQ(Keyboard().IsShiftDown(), bShift);
        ASSERT_TRUE(ostest::InjectScanCode(Window(), ucCode, bExtended, false));
        DeliverAll();
        EXPECT_EQ(Keyboard().GetKeyCode(), COrvaneKeys::Table()[uiIndex]);
        EXPECT_FALSE(Keyboard().IsCtrlDown());
    }
    EXPECT_GT(iKeys, 90);
}

TEST_F(COrvaneInputTest, KeyDeviceTakesTheCharacterFromTheKeyCodeAndIgnoresCharacters)
{
    COrvaneKeyboardDevice& kDevice = *COrvaneWindow::GetInstance()->GetKeyboardDevice();
    EXPECT_TRUE(kDevice.HandleMessage(os::WM_KEYDOWN, 0x1241, KeyBits(30, false)));
    EXPECT_EQ(Keyboard().GetCharacter(), 0x41);
    EXPECT_EQ(Keyboard().GetKeyCode(), static_cast<std::uint32_t>('a'));
    EXPECT_EQ(Camera().m_uiMode, COrvaneCamera::MODE_MOVING);

    EXPECT_TRUE(kDevice.HandleMessage(os::WM_CHAR, 'x', KeyBits(45, false)));
    EXPECT_EQ(Keyboard().GetScanCode(), 30u);
    // Keypad 7 and Home, Num Lock and Pause: one code each.
    kDevice.HandleMessage(os::WM_KEYDOWN, 0, KeyBits(71, true));
    EXPECT_EQ(Keyboard().GetKeyCode(), COrvaneKeys::KEY_HOME);
    kDevice.HandleMessage(os::WM_KEYUP, 0, KeyBits(69, false));
    EXPECT_EQ(Keyboard().GetKeyCode(), COrvaneKeys::KEY_NUMLOCK);
    // A scan byte with the extended bit past 127 is no key, never a read past the table.
    kDevice.HandleMessage(os::WM_KEYDOWN, 0, KeyBits(255, true));
    EXPECT_EQ(Keyboard().GetScanCode(), 383u);
    EXPECT_EQ(Keyboard().GetKeyCode(), COrvaneKeys::KEY_NONE);
}

TEST_F(COrvaneInputTest, AWarpsMoveIsSwallowedAndTheNextMoveMoves)
{
    Camera().m_uiMode = COrvaneCamera::MODE_IDLE;
    // Nothing has armed the device yet: the first move counts as a warp's.
    ostest::InjectMotion(Window(), 100, 200);
    DeliverAll();
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(0.0f, 0.0f));

    ostest::InjectMotion(Window(), 300, 400);
    DeliverAll(); // the move, and the device's warp to the same place
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(300.0f, 400.0f));
    EXPECT_EQ(Mouse().GetMovement(), NiVec2(300.0f, 400.0f));
    COrvaneMouseDevice& kDevice = *COrvaneWindow::GetInstance()->GetMouseDevice();
    EXPECT_FALSE(kDevice.IsMoveArmed());
    DeliverAll(); // the warp's one move message
    EXPECT_TRUE(kDevice.IsMoveArmed());
    EXPECT_EQ(Mouse().GetMovement(), NiVec2(300.0f, 400.0f));

    ostest::InjectMotion(Window(), 310, 395);
    DeliverAll();
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(310.0f, 395.0f));
    EXPECT_EQ(Mouse().GetMovement(), NiVec2(10.0f, -5.0f));
    EXPECT_EQ(Mouse().GetXInt(), 310);
}

TEST_F(COrvaneInputTest, APictureStretchedOverTheWindowReadsThePointerInTheGamesPixels)
{
    // A 1280 x 1024 mode shown over the 1024 x 768 client area.
    os::Rect kClient;
    ASSERT_TRUE(os::GetClientRect(Window(), kClient));
    ASSERT_EQ(kClient.right - kClient.left, 1024);
    ASSERT_EQ(kClient.bottom - kClient.top, 768);
    Game().SetScreenSize(1280, 1024);
    Camera().m_uiMode = COrvaneCamera::MODE_IDLE;
    ostest::InjectMotion(Window(), 100, 200); // taken for a warp's
    DeliverAll();
    ostest::InjectMotion(Window(), 512, 384);
    DeliverAll();
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(640.0f, 512.0f));
    // The cursor is put back on the same spot of the window, not on the
    // client point of the game's pixels.
    os::Point kCursor;
    ASSERT_TRUE(os::GetCursorPos(kCursor));
    os::Point kSpot{512, 384};
    ASSERT_TRUE(os::ClientToScreen(Window(), kSpot));
    EXPECT_EQ(kCursor.x, kSpot.x);
    EXPECT_EQ(kCursor.y, kSpot.y);
    DeliverAll(); // the warp's move
    ostest::InjectMotion(Window(), 800, 600);
    DeliverAll();
    EXPECT_FLOAT_EQ(Mouse().GetPosition().x, 1000.0f);
    EXPECT_FLOAT_EQ(Mouse().GetPosition().y, 800.0f);

    // Same sizes: pixels as they come.
    Game().SetScreenSize(1024, 768);
    DeliverAll();
    ostest::InjectMotion(Window(), 300, 301);
    DeliverAll();
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(300.0f, 301.0f));
}

TEST_F(COrvaneInputTest, ButtonsCaptureAndReleaseAndTheWheelArrives)
{
    ostest::InjectButton(Window(), ostest::MouseButton::Left, true, 20, 30);
    DeliverAll();
    EXPECT_EQ(Mouse().GetLeft(), COrvaneMouse::BUTTON_PRESSED);
    EXPECT_EQ(os::GetCapture(), Window());
    Mouse().ClearMovement(); // the press's frame ends
    ostest::InjectButton(Window(), ostest::MouseButton::Left, false, 20, 30);
    ostest::InjectButton(Window(), ostest::MouseButton::Right, true, 20, 30);
    DeliverAll();
    EXPECT_EQ(Mouse().GetLeft(), COrvaneMouse::BUTTON_RELEASED);
    EXPECT_EQ(Mouse().GetRight(), COrvaneMouse::BUTTON_PRESSED);
    Mouse().ClearMovement();
    ostest::InjectButton(Window(), ostest::MouseButton::Right, false, 20, 30);
    ostest::InjectButton(Window(), ostest::MouseButton::Middle, true, 20, 30);
    DeliverAll();
    EXPECT_EQ(os::GetCapture(), Window());
    EXPECT_EQ(Mouse().GetMiddle(), COrvaneMouse::BUTTON_PRESSED);
    Mouse().ClearMovement();
    ostest::InjectButton(Window(), ostest::MouseButton::Middle, false, 20, 30);
    ostest::InjectWheel(Window(), 1);
    DeliverAll();
    EXPECT_EQ(os::GetCapture(), nullptr);
    EXPECT_EQ(Mouse().GetMiddle(), COrvaneMouse::BUTTON_RELEASED);
    EXPECT_EQ(Mouse().GetWheel(), 120);

    Game().Update(0.02f);
    Mouse().ClearMovement();
    Mouse().ClearMovement();
    EXPECT_EQ(Mouse().GetLeft(), COrvaneMouse::BUTTON_IDLE);
    EXPECT_EQ(Mouse().GetRight(), COrvaneMouse::BUTTON_IDLE);
    EXPECT_EQ(Mouse().GetMiddle(), COrvaneMouse::BUTTON_IDLE);
    EXPECT_EQ(Mouse().GetWheel(), 0);
    EXPECT_EQ(Mouse().GetMovement(), NiVec2());
    EXPECT_FLOAT_EQ(Mouse().GetIdleTime(), 0.04f);
}

// A touchpad's tap: press and release reach the game within one frame. The
// frame sees the button pressed (a canvas acts on that), the next one sees
// it released; and the press lands where it was made, though the pointer
// never moved before it in this window.
TEST_F(COrvaneInputTest, ATapWithinOneFrameIsAClickWhereItWasMade)
{
    Camera().m_uiMode = COrvaneCamera::MODE_IDLE;
    const ostest::MouseButton aeButtons[] = {ostest::MouseButton::Left, ostest::MouseButton::Right,
                                             ostest::MouseButton::Middle};
    for (const ostest::MouseButton eButton : aeButtons)
    {
        SCOPED_TRACE(static_cast<int>(eButton));
        ostest::InjectButton(Window(), eButton, true, 412, 300);
        ostest::InjectButton(Window(), eButton, false, 412, 300);
        DeliverAll();
        auto State = [eButton, this] {
            return eButton == ostest::MouseButton::Left    ? Mouse().GetLeft()
                   : eButton == ostest::MouseButton::Right ? Mouse().GetRight()
                                                           : Mouse().GetMiddle();
        };
        EXPECT_EQ(State(), COrvaneMouse::BUTTON_PRESSED);
        EXPECT_EQ(Mouse().GetPosition(), NiVec2(412.0f, 300.0f));
        EXPECT_EQ(Mouse().GetXInt(), 412);
        Mouse().ClearMovement();
        EXPECT_EQ(State(), COrvaneMouse::BUTTON_RELEASED);
        Mouse().ClearMovement();
        EXPECT_EQ(State(), COrvaneMouse::BUTTON_IDLE);
        Camera().m_uiMode = COrvaneCamera::MODE_IDLE;
    }
    // A press held over frames is released at once when let go.
    ostest::InjectButton(Window(), ostest::MouseButton::Left, true, 40, 50);
    DeliverAll();
    Mouse().ClearMovement();
    EXPECT_EQ(Mouse().GetLeft(), COrvaneMouse::BUTTON_PRESSED);
    ostest::InjectButton(Window(), ostest::MouseButton::Left, false, 40, 50);
    DeliverAll();
    EXPECT_EQ(Mouse().GetLeft(), COrvaneMouse::BUTTON_RELEASED);
}

// Before any motion the game's mouse is put where the system's pointer is.
TEST_F(COrvaneInputTest, ThePointerIsKnownBeforeItFirstMoves)
{
    os::Point kSpot{700, 500};
    ASSERT_TRUE(os::ClientToScreen(Window(), kSpot));
    ASSERT_TRUE(os::SetCursorPos(kSpot.x, kSpot.y));
    COrvaneMouseDevice& kDevice = *COrvaneWindow::GetInstance()->GetMouseDevice();
    Mouse().SetPosition(NiVec2());
    kDevice.PlaceAtPointer();
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(700.0f, 500.0f));
    EXPECT_EQ(Mouse().GetMovement(), NiVec2());
}

TEST_F(COrvaneInputTest, ClippingAWindowKeepsTheCursorInTheClientArea)
{
    COrvaneMouseDevice& kDevice = *COrvaneWindow::GetInstance()->GetMouseDevice();
    kDevice.ClipToWindow(Window(), false);
    os::Rect kClip;
    ASSERT_TRUE(os::GetClipCursor(kClip));
    os::Rect kClient;
    ASSERT_TRUE(os::GetClientRect(Window(), kClient));
    os::Point kOrigin{0, 0};
    ASSERT_TRUE(os::ClientToScreen(Window(), kOrigin));
    EXPECT_EQ(kClip.left, kOrigin.x);
    EXPECT_EQ(kClip.top, kOrigin.y);
    EXPECT_EQ(kClip.right - kClip.left, kClient.right - kClient.left);
    EXPECT_EQ(kClip.bottom - kClip.top, kClient.bottom - kClient.top);
}

TEST_F(COrvaneInputTest, UpdateClampsToTheScreenAndTakesTheOvershootOffTheMovement)
{
    Game().SetMouse(std::make_unique<COrvaneMouse>());
    COrvaneMouse& kMouse = *Game().GetMouse();
    kMouse.Update(NiVec2(500.0f, 300.0f));
    EXPECT_EQ(kMouse.Update(NiVec2(1100.0f, 300.0f)), NiVec2(1024.0f, 300.0f));
    EXPECT_EQ(kMouse.GetMovement(), NiVec2(524.0f, 0.0f));
    EXPECT_EQ(kMouse.Update(NiVec2(-5.0f, 800.0f)), NiVec2(1.0f, 768.0f));
    EXPECT_EQ(kMouse.GetMovement(), NiVec2(-1024.0f, 468.0f));
    EXPECT_EQ(kMouse.GetXInt(), 1);
    EXPECT_EQ(kMouse.GetYInt(), 768);
}

TEST_F(COrvaneInputTest, TheScrollMarginMovesTheCamera)
{
    CZelmarCamera& kCamera = Camera();
    // x = 10 exactly is not left of the margin; y = 10 is on it.
    Mouse().Update(NiVec2(10.0f, 300.0f));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_MOVING);
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(kCamera.m_ucHeld, 1);
    Mouse().Update(NiVec2(500.0f, 10.0f));
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 9.0f));
    EXPECT_EQ(Mouse().GetMovement(), NiVec2());

    Mouse().Update(NiVec2(5.0f, 300.0f));
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(9.0f, 300.0f));
    EXPECT_EQ(kCamera.m_kMove, NiVec3(1.0f, 0.0f, 1.0f));
    Mouse().Update(NiVec2(1020.0f, 765.0f));
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(1015.0f, 759.0f));
    EXPECT_EQ(kCamera.m_kMove, NiVec3(-1.0f, 0.0f, -1.0f));
    EXPECT_EQ(Mouse().GetXInt(), 1015);

    // Back inside: idle, not held, and the speed starts again from 0.
    kCamera.m_fSpeed = 0.7f;
    Mouse().Update(NiVec2(500.0f, 400.0f));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(kCamera.m_ucHeld, 0);
    EXPECT_EQ(kCamera.m_fSpeed, 0.0f);
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 400.0f));
}

TEST_F(COrvaneInputTest, ControlTurnsShiftRaisesAndTheCursorStays)
{
    CZelmarCamera& kCamera = Camera();
    Mouse().Update(NiVec2(500.0f, 400.0f));
    Keyboard().SetState(Key(COrvaneKeys::KEY_LEFT_CONTROL, false, true));
    Mouse().Update(NiVec2(510.0f, 390.0f));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
    // The move that starts the turn turns by a degree a pixel as every
    // later one does.
    EXPECT_FLOAT_EQ(kCamera.m_kTurn.x, -10.0f * 0.017453292f);
    EXPECT_FLOAT_EQ(kCamera.m_kTurn.y, 10.0f * 0.017453292f);
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 400.0f));

    // While turning, the movement turns by a degree a pixel.
    kCamera.Update(); // the frame's turn applied and emptied
    EXPECT_EQ(kCamera.m_kTurn, NiVec3());
    kCamera.m_fSpeed = 0.5f;
    Mouse().Update(NiVec2(504.0f, 402.0f));
    EXPECT_FLOAT_EQ(kCamera.m_kTurn.x, 2.0f * 0.017453292f);
    EXPECT_FLOAT_EQ(kCamera.m_kTurn.y, 4.0f * 0.017453292f);
    EXPECT_EQ(kCamera.m_fSpeed, 0.0f);
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 400.0f));

    kCamera.m_uiMode = COrvaneCamera::MODE_IDLE;
    Keyboard().SetState(Key(COrvaneKeys::KEY_LEFT_SHIFT, true, false));
    Mouse().Update(NiVec2(500.0f, 420.0f));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, 20.0f, 0.0f));
    EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 400.0f));
}

// How a Ctrl drag's movement arrives does not change the turn: one move of
// the whole length, many small moves a frame apart, or many within one
// frame turn the view alike, the move that starts the turn counting as any
// later one (a degree a pixel, a tenth of it a frame). The turn lasts over
// the frames until a left click.
TEST_F(COrvaneInputTest, ACtrlDragTurnsAlikeInOneMoveOrInManyOfTheSameLength)
{
    CZelmarCamera& kCamera = Camera();
    struct Turned
    {
        float fPitch = 0.0f;
        float fYaw = 0.0f;
        NiVec3 kView;
    };
    enum class Arrival
    {
        OneMove,
        MovesFramesApart,
        MovesInOneFrame
    };
    // A drag of (iDx, iDy) pixels from the middle of the screen, starting
    // from the same view each time.
    const auto Drag = [&](int iDx, int iDy, Arrival eArrival) {
        kCamera.Reset();
        kCamera.ResetAngles();
        kCamera.m_uiMode = COrvaneCamera::MODE_IDLE;
        EXPECT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 1.0f));
        kCamera.RotateA(nullptr, 0.5f, 2); // inside the pitch limits
        Keyboard().SetState(Key(COrvaneKeys::KEY_NONE));
        Mouse().Update(NiVec2(500.0f, 400.0f));
        Mouse().ClearMovement();
        Keyboard().SetState(Key(COrvaneKeys::KEY_LEFT_CONTROL, false, true));
        const float fPitch = kCamera.GetAngleA();
        const float fYaw = kCamera.GetAngleB();
        if (eArrival == Arrival::OneMove)
        {
            Mouse().Update(NiVec2(500.0f + static_cast<float>(iDx), 400.0f + static_cast<float>(iDy)));
        }
        else
        {
            // Single pixels, the cursor put back after each.
            const int iSteps = std::max(std::abs(iDx), std::abs(iDy));
            for (int i = 0; i < iSteps; ++i)
            {
                const float fX = i < std::abs(iDx) ? (iDx > 0 ? 1.0f : -1.0f) : 0.0f;
                const float fY = i < std::abs(iDy) ? (iDy > 0 ? 1.0f : -1.0f) : 0.0f;
                Mouse().Update(NiVec2(500.0f + fX, 400.0f + fY));
                EXPECT_EQ(Mouse().GetPosition(), NiVec2(500.0f, 400.0f));
                EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
                if (eArrival == Arrival::MovesFramesApart)
                {
                    kCamera.Update();
                    Mouse().ClearMovement();
                }
            }
        }
        kCamera.Update();
        Mouse().ClearMovement();
        EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
        return Turned{kCamera.GetAngleA() - fPitch, kCamera.GetAngleB() - fYaw, kCamera.GetViewDirection()};
    };
    constexpr float PER_PIXEL = 0.017453292f * 0.1f;
    for (const auto& [iDx, iDy] : {std::pair{30, 0}, std::pair{0, 20}, std::pair{-30, 20}, std::pair{12, -7}})
    {
        SCOPED_TRACE(std::to_string(iDx) + "," + std::to_string(iDy));
        const Turned kOne = Drag(iDx, iDy, Arrival::OneMove);
        EXPECT_NEAR(kOne.fYaw, -static_cast<float>(iDx) * PER_PIXEL, 1e-5f);
        EXPECT_NEAR(kOne.fPitch, static_cast<float>(iDy) * PER_PIXEL, 1e-5f);
        for (const Arrival eArrival : {Arrival::MovesFramesApart, Arrival::MovesInOneFrame})
        {
            SCOPED_TRACE(eArrival == Arrival::MovesFramesApart ? "a frame a move" : "one frame");
            const Turned kMany = Drag(iDx, iDy, eArrival);
            EXPECT_NEAR(kMany.fYaw, kOne.fYaw, 1e-5f);
            EXPECT_NEAR(kMany.fPitch, kOne.fPitch, 1e-5f);
            // Turns about one axis add up whatever their steps; a diagonal
            // drag a frame a move mixes the two axes' steps.
            if (iDx == 0 || iDy == 0 || eArrival == Arrival::MovesInOneFrame)
            {
                EXPECT_NEAR(kMany.kView.x, kOne.kView.x, 1e-4f);
                EXPECT_NEAR(kMany.kView.y, kOne.kView.y, 1e-4f);
                EXPECT_NEAR(kMany.kView.z, kOne.kView.z, 1e-4f);
            }
        }
    }
    // The turn goes on until a left click.
    Mouse().OnLeftDown(NiVec2(500.0f, 400.0f));
    EXPECT_NE(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
    Keyboard().SetState(Key(COrvaneKeys::KEY_NONE));
}

// Ctrl drags made by hand on the real window: the hand's moves go into
// SDL's queue, each in a frame of its own; the device puts the pointer back
// where the turn began after each move, and the window system either does
// that (the hand then moves on from there) or ignores it (the pointer stays
// where the hand left it). The turn is the drag's whatever the moves and
// whatever the warps did.
class CtrlDragTest : public COrvaneInputTest
{
protected:
    struct Turned
    {
        float fYaw = 0.0f;
        float fPitch = 0.0f;
        NiVec3 kView;
    };

    void SetUp() override
    {
        COrvaneInputTest::SetUp();
        os::ShowWindow(Window(), os::SW_SHOWNORMAL);
        DeliverAll();
    }

    // One frame of the game: the input, the camera's turn, the frame's end.
    void Frame()
    {
        DeliverAll();
        Camera().Update();
        Mouse().ClearMovement();
    }

    // The same view for every drag, the pointer resting at (iX, iY).
    void StartAt(int iX, int iY)
    {
        CZelmarCamera& kCamera = Camera();
        kCamera.Reset();
        kCamera.ResetAngles();
        kCamera.m_uiMode = COrvaneCamera::MODE_IDLE;
        ASSERT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 1.0f));
        kCamera.RotateA(nullptr, 0.5f, 2); // inside the pitch limits
        m_iHandX = iX;
        m_iHandY = iY;
        // The hand brings the pointer there (twice: the first move after a
        // warp the device did not make may be taken for the warp's).
        for (int i = 0; i < 2; ++i)
        {
            ostest::InjectMotion(Window(), iX + 1, iY);
            Frame();
            ostest::InjectMotion(Window(), iX, iY);
            Frame();
        }
        Frame(); // the last warp's move
        ASSERT_EQ(Mouse().GetPosition(), NiVec2(static_cast<float>(iX), static_cast<float>(iY)));
    }

    // A drag of (iDx, iDy) pixels in iMoves moves with Control held; the
    // view's turn.
    Turned Drag(int iDx, int iDy, int iMoves, bool bWarpsMovePointer)
    {
        CZelmarCamera& kCamera = Camera();
        const float fYaw = kCamera.GetAngleB();
        const float fPitch = kCamera.GetAngleA();
        const NiVec2 kHeld = Mouse().GetPosition();
        EXPECT_TRUE(ostest::InjectScanCode(Window(), 29, false, true)); // left Control
        Frame();
        int iDoneX = 0;
        int iDoneY = 0;
        for (int i = 1; i <= iMoves; ++i)
        {
            const int iStepX = iDx * i / iMoves - iDoneX;
            const int iStepY = iDy * i / iMoves - iDoneY;
            if (iStepX == 0 && iStepY == 0)
                continue; // no move of the hand
            iDoneX += iStepX;
            iDoneY += iStepY;
            if (bWarpsMovePointer)
            {
                // The pointer was put back where the turn began.
                m_iHandX = static_cast<int>(kHeld.x);
                m_iHandY = static_cast<int>(kHeld.y);
            }
            m_iHandX += iStepX;
            m_iHandY += iStepY;
            ostest::InjectMotion(Window(), m_iHandX, m_iHandY);
            Frame();
            EXPECT_EQ(Mouse().GetPosition(), kHeld); // the cursor stays
            EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
        }
        EXPECT_TRUE(ostest::InjectScanCode(Window(), 29, false, false));
        Frame();
        EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
        EXPECT_EQ(Mouse().GetPosition(), kHeld);
        if (bWarpsMovePointer)
        {
            m_iHandX = static_cast<int>(kHeld.x);
            m_iHandY = static_cast<int>(kHeld.y);
        }
        return Turned{kCamera.GetAngleB() - fYaw, kCamera.GetAngleA() - fPitch, kCamera.GetViewDirection()};
    }

    // Where the hand has put the pointer.
    int m_iHandX = 0;
    int m_iHandY = 0;
};

TEST_F(CtrlDragTest, ADragTurnsAlikeInOneMoveOrManyWhetherOrNotTheWarpMovesThePointer)
{
    constexpr float PER_PIXEL = 0.017453292f * 0.1f;
    constexpr float DEGREE = 0.017453292f;
    for (const auto& [iDx, iDy] : {std::pair{30, 0}, std::pair{-30, 0}, std::pair{24, -18}})
    {
        for (const bool bWarps : {true, false})
        {
            std::unique_ptr<ostest::WarpsIgnored> pkIgnored;
            if (!bWarps)
                pkIgnored = std::make_unique<ostest::WarpsIgnored>();
            for (const int iMoves : {1, 2, 6, 30})
            {
                SCOPED_TRACE(std::to_string(iDx) + "," + std::to_string(iDy) + (bWarps ? " warps" : " no warps") +
                             " in " + std::to_string(iMoves));
                StartAt(500, 400);
                const Turned kTurned = Drag(iDx, iDy, iMoves, bWarps);
                EXPECT_NEAR(kTurned.fYaw, -static_cast<float>(iDx) * PER_PIXEL, DEGREE);
                EXPECT_NEAR(kTurned.fPitch, static_cast<float>(iDy) * PER_PIXEL, DEGREE);
                // Not only within a degree: the pixels add up exactly.
                EXPECT_NEAR(kTurned.fYaw, -static_cast<float>(iDx) * PER_PIXEL, 1e-4f);
                EXPECT_NEAR(kTurned.fPitch, static_cast<float>(iDy) * PER_PIXEL, 1e-4f);
            }
        }
    }
}

// A drag to the left turns the view to the left, one to the right to the
// right, seen from the view before the drag.
TEST_F(CtrlDragTest, ADragLeftTurnsLeft)
{
    for (const int iDx : {-40, 40})
    {
        SCOPED_TRACE(iDx);
        StartAt(500, 400);
        const NiVec3 kRight = Camera().GetRightVector();
        const NiVec3 kViewBefore = Camera().GetViewDirection();
        const Turned kTurned = Drag(iDx, 0, 8, true);
        const float fSide = kTurned.kView.Dot(kRight);
        EXPECT_GT(std::fabs(fSide), 0.01f);
        EXPECT_EQ(fSide > 0.0f, iDx > 0);
        EXPECT_GT(kTurned.kView.Dot(kViewBefore), 0.9f);
    }
}

// Drags one after the other, the first after the pointer has come to rest,
// each of the same length: each turns as far as the others.
TEST_F(CtrlDragTest, BackToBackDragsTurnAlikeAndTheFirstAsFarAsTheRest)
{
    constexpr float PER_PIXEL = 0.017453292f * 0.1f;
    for (const bool bWarps : {true, false})
    {
        SCOPED_TRACE(bWarps ? "warps" : "no warps");
        std::unique_ptr<ostest::WarpsIgnored> pkIgnored;
        if (!bWarps)
            pkIgnored = std::make_unique<ostest::WarpsIgnored>();
        StartAt(640, 400);
        float afYaw[4] = {};
        for (int i = 0; i < 3; ++i)
            afYaw[i] = Drag(30, 0, 2, bWarps).fYaw;
        afYaw[3] = Drag(-30, 0, 2, bWarps).fYaw;
        for (int i = 0; i < 3; ++i)
        {
            SCOPED_TRACE(i);
            EXPECT_NEAR(afYaw[i], -30.0f * PER_PIXEL, 1e-4f);
        }
        EXPECT_NEAR(afYaw[3], 30.0f * PER_PIXEL, 1e-4f);
    }
}

// The wheel and a pointer move in one frame, in either order: the frame's
// camera update still raises the view by the notch, and the next frame's
// move ends the raise.
TEST_F(COrvaneInputTest, AWheelTurnKeepsItsRaiseThroughAMoveInTheSameFrame)
{
    CZelmarCamera& kCamera = Camera();
    for (const bool bWheelFirst : {true, false})
    {
        SCOPED_TRACE(bWheelFirst ? "wheel, then move" : "move, then wheel");
        Mouse().Update(NiVec2(500.0f, 400.0f));
        Mouse().ClearMovement();
        kCamera.m_uiMode = COrvaneCamera::MODE_IDLE;
        kCamera.m_kMove = NiVec3();
        if (bWheelFirst)
            Mouse().OnWheel(-120);
        Mouse().Update(NiVec2(520.0f, 410.0f));
        if (!bWheelFirst)
            Mouse().OnWheel(-120);
        EXPECT_EQ(Mouse().GetWheel(), -120);
        EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
        EXPECT_FLOAT_EQ(kCamera.m_kMove.y, -2.4f);
        // A wheel turned first no longer holds the pointer that moves after it.
        if (bWheelFirst)
        {
            EXPECT_EQ(Mouse().GetPosition(), NiVec2(520.0f, 410.0f));
        }

        Mouse().ClearMovement();
        Mouse().Update(NiVec2(530.0f, 420.0f));
        EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
        EXPECT_EQ(Mouse().GetPosition(), NiVec2(530.0f, 420.0f));
    }
}

TEST_F(COrvaneInputTest, ButtonsAndTheWheelSetTheCameraMode)
{
    CZelmarCamera& kCamera = Camera();
    kCamera.m_uiMode = COrvaneCamera::MODE_TURNING;
    Mouse().OnLeftDown(NiVec2());
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
    Mouse().OnLeftDown(NiVec2());
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    kCamera.m_uiMode = COrvaneCamera::MODE_LEFT_BUTTON;
    Mouse().OnLeftUp(0);
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    Mouse().OnMiddleDown(NiVec2());
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
    Mouse().OnMiddleUp(0);
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);

    kCamera.m_ucHeld = 1;
    Mouse().OnWheel(120);
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
    EXPECT_FLOAT_EQ(kCamera.m_kMove.y, 2.4f);
    EXPECT_EQ(kCamera.m_kMove.x, 0.0f);
    EXPECT_EQ(kCamera.m_ucHeld, 0);
    EXPECT_EQ(Mouse().GetWheel(), 120);
}

TEST_F(COrvaneInputTest, KeysMoveAndTurnTheCamera)
{
    CZelmarCamera& kCamera = Camera();
    Keyboard().OnKeyDown(Key('d'));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_MOVING);
    EXPECT_EQ(kCamera.m_kMove, NiVec3(-1.0f, 0.0f, 0.0f));
    EXPECT_EQ(kCamera.m_ucHeld, 1);
    Keyboard().OnKeyDown(Key('a'));
    // "d" released after "a" was pressed: still moving with "a".
    Keyboard().OnKeyUp(Key('d'));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_MOVING);
    EXPECT_EQ(kCamera.m_ucHeld, 1);
    Keyboard().OnKeyUp(Key('a'));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(kCamera.m_ucHeld, 0);

    Keyboard().OnKeyDown(Key('q'));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, -1.0f, 0.0f));
    Keyboard().OnKeyDown(Key('w'));
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, 0.0f, 1.0f));

    Keyboard().OnKeyDown(Key(COrvaneKeys::KEY_UP));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_MOVING);
    EXPECT_EQ(kCamera.m_kTurn, NiVec3(1.0f, 0.0f, 0.0f));
    Keyboard().OnKeyDown(Key(COrvaneKeys::KEY_RIGHT, true));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_TURNING);
    EXPECT_EQ(kCamera.m_kTurn, NiVec3(80.0f, 0.0f, 0.0f));
    Keyboard().OnKeyDown(Key(COrvaneKeys::KEY_DOWN, true));
    EXPECT_EQ(kCamera.m_kTurn, NiVec3(0.0f, 80.0f, 0.0f));
    Keyboard().OnKeyDown(Key(COrvaneKeys::KEY_LEFT));
    EXPECT_EQ(kCamera.m_kTurn, NiVec3(0.0f, 1.0f, 0.0f));

    kCamera.m_fSpeed = 1.0f;
    Keyboard().OnKeyUp(Key(COrvaneKeys::KEY_RIGHT_SHIFT));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(kCamera.m_fSpeed, 0.0f);
    kCamera.m_uiMode = COrvaneCamera::MODE_MOVING;
    kCamera.m_fSpeed = 1.0f;
    Keyboard().OnKeyUp(Key(COrvaneKeys::KEY_LEFT_CONTROL));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(kCamera.m_fSpeed, 0.0f);

    // Any key holds the vector; an unlisted key up does nothing.
    kCamera.m_ucHeld = 0;
    kCamera.m_uiMode = COrvaneCamera::MODE_RAISING;
    Keyboard().OnKeyDown(Key(COrvaneKeys::KEY_F1));
    EXPECT_EQ(kCamera.m_ucHeld, 1);
    Keyboard().OnKeyUp(Key(COrvaneKeys::KEY_F1));
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_RAISING);
}

TEST_F(COrvaneInputTest, BlockedInputOnlyRecordsTheKey)
{
    Keyboard().m_bBlocked = true;
    Keyboard().OnKeyDown(Key('d', true));
    EXPECT_EQ(Keyboard().GetKeyCode(), static_cast<std::uint32_t>('d'));
    EXPECT_TRUE(Keyboard().IsShiftDown());
    EXPECT_EQ(Camera().m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(Camera().m_ucHeld, 0);
    EXPECT_EQ(Camera().m_kMove, NiVec3());
}
