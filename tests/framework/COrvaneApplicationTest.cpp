#include "framework/COrvaneApplication.h"

#include "framework/COrvaneDebugOptions.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "framework/COrvaneCamera.h"
#include "engine/core/NiLibraryRegistry.h"
#include "engine/render/NiRenderer.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneSystem.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestClock.h"
#include "tests/framework/TestInput.h"
#include "tests/framework/TestRenderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// What happened, in order: "render", "update <dt> <frameTime> <totalTime>",
// "engine stop (renderer gone|renderer live)", ...
std::vector<std::string>& Journal()
{
    static std::vector<std::string> s_kJournal;
    return s_kJournal;
}

void EngineStart()
{
    Journal().push_back("engine start");
}

void EngineStop()
{
    Journal().push_back(NiRenderer::GetRenderer() == nullptr ? "engine stop" : "engine stop, renderer live");
}

// The test's own game: it records its slots and lets each test act in them.
class TestGame : public COrvaneGame
{
public:
    ~TestGame() override { Journal().push_back("game deleted"); }

    // What the game finds of the start-up around it when one of its slots runs.
    static std::string Surroundings()
    {
        const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
        const os::WindowHandle pkWindow = pkApp->GetWindow()->GetHandle();
        std::string kText = COrvaneApplication::GetSettings() != nullptr ? "settings" : "no settings";
        kText += COrvaneDebugOptions::Get().GetReadTxd() ? ", options" : ", no options";
        kText += NiRenderer::GetRenderer() != nullptr ? ", renderer" : ", no renderer";
        kText += pkApp->IsRendererStarted() ? ", started" : ", not started";
        kText += os::IsWindowVisible(pkWindow) ? ", shown" : ", hidden";
        kText += os::IsFullScreen(pkWindow) ? ", popup" : ", windowed";
        return kText;
    }

    bool Init(const char* pcName) override
    {
        m_kSeen.push_back("init: " + Surroundings());
        Journal().push_back(std::string("init ") + pcName);
        if (!COrvaneGame::Init(pcName))
            return false;
        SetSkipNextUpdate(true);
        return m_bInitResult;
    }
    bool Start() override
    {
        m_kSeen.push_back("start: " + Surroundings());
        Journal().push_back("start");
        return true;
    }
    bool ChooseDisplayMode(std::uint32_t& uiAdapter, std::uint32_t& uiMode) override
    {
        m_kSeen.push_back("choose: " + Surroundings());
        uiAdapter = 0;
        uiMode = 0;
        return m_bChoose;
    }
    void Render() override
    {
        ++m_iRenders;
        Journal().push_back("render");
        if (m_kOnRender)
            m_kOnRender(m_iRenders);
    }
    bool IsScreenStill() override { return m_bStill; }
    void Update(float fDeltaTime) override
    {
        COrvaneGame::Update(fDeltaTime);
        ++m_iUpdates;
        if (m_kOnUpdate)
            m_kOnUpdate(m_iUpdates);
        std::ostringstream kText;
        kText << "update " << fDeltaTime << " " << GetFrameTimes().m_fFrameTime << " "
              << GetFrameTimes().m_fTotalTime;
        Journal().push_back(kText.str());
    }

    bool m_bInitResult = true;
    bool m_bChoose = true;
    int m_iRenders = 0;
    int m_iUpdates = 0;
    bool m_bStill = false;
    std::function<void(int)> m_kOnRender;
    std::function<void(int)> m_kOnUpdate;
    std::vector<std::string> m_kSeen;
};

class TestGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override
    {
        auto pkGame = std::make_unique<TestGame>();
        m_pkGame = pkGame.get();
        if (m_kSetUp)
            m_kSetUp(*pkGame);
        return pkGame;
    }
    TestGame* m_pkGame = nullptr;
    std::function<void(TestGame&)> m_kSetUp;
};

class COrvaneApplicationTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        Journal().clear();
        ASSERT_TRUE(NiLibraryRegistry::RegisterLibrary(&EngineStart, &EngineStop));
        COrvaneRendererFactory::Set(&m_kRenderers);
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return os::IDOK;
        });
        WriteSetupFile(10, 20, 30, 255);
        WriteFileBytes("data.xml", "<DEBUG>\r\n<readtxd>\r\n1\r\n</readtxd>\r\n</DEBUG>\r\n");
        os::SetClock(&m_kClock);
    }

    void TearDown() override
    {
        COrvaneApplication::DestroyInstance();
        os::SetClock(nullptr);
        FrameworkTest::TearDown();
    }

    // Get, Init and Start as the program's entry does.
    bool StartApplication()
    {
        COrvaneApplication* pkApp = COrvaneApplication::Get();
        return pkApp != nullptr && pkApp->Init(nullptr, m_kGames, 1024, 768) && pkApp->Start();
    }

    [[nodiscard]] static os::WindowHandle Handle() { return COrvaneApplication::Get()->GetWindow()->GetHandle(); }

    // Journal entries from the first "render" on.
    static std::vector<std::string> Frames()
    {
        std::vector<std::string> kFrames;
        bool bStarted = false;
        for (const std::string& kEntry : Journal())
        {
            bStarted = bStarted || kEntry == "render";
            if (bStarted)
                kFrames.push_back(kEntry);
        }
        return kFrames;
    }

    TestRendererFactory m_kRenderers;
    TestGameFactory m_kGames;
    TestClock m_kClock{20}; // 0.02 s per counter reading
    std::vector<std::string> m_kBoxes;
};

TEST_F(COrvaneApplicationTest, StartBringsUpEverythingInOrder)
{
    ASSERT_TRUE(StartApplication());
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    EXPECT_EQ(Journal(), (std::vector<std::string>{"engine start", "init Orvane Game", "start"}));
    // The launcher is asked once options, settings and the first renderer are
    // there and the window is still hidden; the game is initialised in the
    // shown window and started once the display mode is applied.
    ASSERT_NE(m_kGames.m_pkGame, nullptr);
    EXPECT_EQ(m_kGames.m_pkGame->m_kSeen,
              (std::vector<std::string>{"choose: settings, options, renderer, not started, hidden, windowed",
                                        "init: settings, options, renderer, started, shown, windowed",
                                        "start: settings, options, renderer, started, shown, popup"}));
    EXPECT_TRUE(pkApp->IsRendererStarted());
    EXPECT_TRUE(pkApp->IsFullScreen()); // the launcher's mode is full screen
    EXPECT_TRUE(COrvaneDebugOptions::Get().GetReadTxd()); // data.xml was read
    ASSERT_NE(COrvaneApplication::GetSettings(), nullptr);
    EXPECT_TRUE(COrvaneApplication::GetSettings()->SelectSection("BGb", true));

    // First renderer at 1024 x 768, then the launcher's 800 x 600 full screen.
    ASSERT_EQ(m_kRenderers.m_kCreated.size(), 2u);
    EXPECT_EQ(m_kRenderers.m_kCreated[0].m_uiFlags, 0u);
    EXPECT_EQ(m_kRenderers.m_kCreated[1].m_uiWidth, 800u);
    EXPECT_EQ(m_kRenderers.m_kCreated[1].m_uiFlags, 4u);
    const NiColorRGBA kColor = m_kRenderers.m_pkLast->GetBackgroundColor();
    EXPECT_FLOAT_EQ(kColor.r, 10.0f / 255.0f);
    EXPECT_FLOAT_EQ(kColor.g, 20.0f / 255.0f);
    EXPECT_FLOAT_EQ(kColor.b, 30.0f / 255.0f);
    EXPECT_FLOAT_EQ(kColor.a, 1.0f);

    EXPECT_TRUE(os::IsWindowVisible(Handle()));
    EXPECT_TRUE(os::IsFullScreen(Handle()));
    EXPECT_TRUE(m_kBoxes.empty());

    COrvaneApplication::DestroyInstance();
    // The game goes first, then the renderer, then the engine.
    EXPECT_EQ(Journal(), (std::vector<std::string>{"engine start", "init Orvane Game", "start", "game deleted",
                                                   "engine stop"}));
    EXPECT_EQ(COrvaneApplication::GetSettings(), nullptr);
    EXPECT_EQ(COrvaneApplication::GetExisting(), nullptr);
}

TEST_F(COrvaneApplicationTest, StartBindsTheGameCameraToTheRendererAndMakesTheScreenRoot)
{
    m_kGames.m_kSetUp = [](TestGame& kGame) {
        auto pkCamera = std::make_unique<CZelmarCamera>();
        ASSERT_TRUE(pkCamera->LoadSettings(1024.0f, 768.0f, 1.0f));
        kGame.SetCamera(std::move(pkCamera));
    };
    ASSERT_TRUE(StartApplication());
    COrvaneCamera* pkCamera = m_kGames.m_pkGame->GetCamera();
    // The launcher's renderer, not the first one.
    EXPECT_EQ(pkCamera->GetEngineCamera()->GetRenderer(), m_kRenderers.m_pkLast);
    ASSERT_NE(pkCamera->GetScreenCamera(), nullptr);
    EXPECT_EQ(pkCamera->GetScreenCamera()->GetRenderer(), m_kRenderers.m_pkLast);
    EXPECT_EQ(pkCamera->GetScreenWidth(), 800u);
}

TEST_F(COrvaneApplicationTest, TheLoopRendersBeforeUpdatingAndEndsWhenTheWindowCloses)
{
    m_kGames.m_kSetUp = [](TestGame& kGame) {
        kGame.m_kOnRender = [](int iFrame) {
            if (iFrame == 3)
                ostest::InjectQuit(); // the user closes the window
        };
    };
    ASSERT_TRUE(StartApplication());
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    EXPECT_FALSE(pkApp->Run());
    // The first update's 0.001 s is zeroed by the skip the game's Init asked for.
    EXPECT_EQ(Frames(), (std::vector<std::string>{"render", "update 0.001 0 0", "render", "update 0.02 0.02 0.02",
                                                  "render", "update 0.02 0.02 0.04"}));
    EXPECT_TRUE(pkApp->IsQuitRequested());
    EXPECT_FALSE(os::IsWindow(Handle()));
    // The closing frame's time counted too: three measured frames.
    EXPECT_FLOAT_EQ(pkApp->GetTotalTime(), 0.06f);
    EXPECT_FLOAT_EQ(pkApp->GetPreviousTotal(), 0.04f);
}

// A renderer that presents at once is paced by the loop to the display's
// refresh (60 Hz for a renderer that cannot say), counted on the test clock:
// frames that take 1 ms come one refresh apart. The documented switch lets
// every frame through at once.
TEST_F(COrvaneApplicationTest, FramesOfARendererThatDoesNotWaitComeOneRefreshApart)
{
    const char* pcOld = std::getenv(COrvaneApplication::EVERY_FRAME_VARIABLE);
    const std::string kOld = pcOld != nullptr ? pcOld : "";
    constexpr int FRAMES = 30;
    m_kGames.m_kSetUp = [](TestGame& kGame) {
        kGame.m_kOnRender = [](int iFrame) {
            if (iFrame == FRAMES + 1)
                COrvaneApplication::Get()->RequestQuit();
        };
    };
    for (const bool bEveryFrame : {false, true})
    {
        SCOPED_TRACE(bEveryFrame);
        setenv(COrvaneApplication::EVERY_FRAME_VARIABLE, bEveryFrame ? "1" : "0", 1);
        ASSERT_TRUE(StartApplication());
        COrvaneApplication* pkApp = COrvaneApplication::Get();
        EXPECT_EQ(pkApp->GetFramePeriod(), std::chrono::nanoseconds{16'666'666});
        m_kClock.m_uiStep = 1; // 1 ms a reading: far faster than the display
        int iSleeps = 0;
        pkApp->SetFrameSleep([this, &iSleeps](std::chrono::nanoseconds kWait) {
            ++iSleeps;
            m_kClock.m_uiNow += static_cast<std::uint64_t>((kWait.count() + 500'000) / 1'000'000);
        });
        EXPECT_FALSE(pkApp->Run());
        if (bEveryFrame)
        {
            EXPECT_EQ(iSleeps, 0);
            EXPECT_LT(pkApp->GetTotalTime(), 0.002f * (FRAMES + 1));
        }
        else
        {
            EXPECT_EQ(iSleeps, FRAMES + 1); // the first frame before the loop too
            EXPECT_NEAR(pkApp->GetTotalTime(), FRAMES / 60.0f, 1.0f / 60.0f);
        }
        COrvaneApplication::DestroyInstance();
        m_kClock.m_uiStep = 20;
    }
    if (pcOld != nullptr)
        setenv(COrvaneApplication::EVERY_FRAME_VARIABLE, kOld.c_str(), 1);
    else
        unsetenv(COrvaneApplication::EVERY_FRAME_VARIABLE);
}

// A still screen (a menu, a paused game) is drawn every frame for half a
// second after the last input and then ten times a second; input brings every
// frame back at once, and a screen that is not still is drawn every frame.
// Two seconds of paced frames (120) on the test clock; the frames drawn. A
// full-screen device waits for the retrace at each present (here: its
// render moves the clock on to the next refresh), so the loop sleeps only
// for the frames it leaves undrawn.
class COrvaneApplicationStillTest : public COrvaneApplicationTest
{
protected:
    static constexpr int FRAMES = 120;

    int Renders(bool bStill, bool bInput, bool bFullScreen = false)
    {
        const char* pcOld = std::getenv(COrvaneApplication::EVERY_FRAME_VARIABLE);
        const std::string kOld = pcOld != nullptr ? pcOld : "";
        setenv(COrvaneApplication::EVERY_FRAME_VARIABLE, "0", 1);
        m_kRenderers.m_bWaitsForRetrace = bFullScreen;
        m_kGames.m_kSetUp = [this, bStill, bInput, bFullScreen](TestGame& kGame) {
            kGame.m_bStill = bStill;
            kGame.m_kOnUpdate = [bInput](int iUpdate) {
                if (bInput)
                    ostest::InjectMotion(COrvaneApplication::Get()->GetWindow()->GetHandle(), iUpdate % 64, 5);
                if (iUpdate == FRAMES + 1)
                    COrvaneApplication::Get()->RequestQuit();
            };
            if (bFullScreen)
                kGame.m_kOnRender = [this](int) { m_kClock.m_uiNow = (m_kClock.m_uiNow * 60 / 1000 + 1) * 1000 / 60; };
        };
        int iRenders = -1;
        m_iSleeps = 0;
        if (StartApplication())
        {
            COrvaneApplication* pkApp = COrvaneApplication::Get();
            m_kClock.m_uiStep = 1;
            pkApp->SetFrameSleep([this](std::chrono::nanoseconds kWait) {
                ++m_iSleeps;
                m_kClock.m_uiNow += static_cast<std::uint64_t>((kWait.count() + 500'000) / 1'000'000);
            });
            EXPECT_FALSE(pkApp->Run());
            EXPECT_NEAR(pkApp->GetTotalTime(), FRAMES / 60.0f, 0.1f);
            iRenders = m_kGames.m_pkGame->m_iRenders;
        }
        if (pcOld != nullptr)
            setenv(COrvaneApplication::EVERY_FRAME_VARIABLE, kOld.c_str(), 1);
        else
            unsetenv(COrvaneApplication::EVERY_FRAME_VARIABLE);
        return iRenders;
    }

    int m_iSleeps = 0;
};

TEST_F(COrvaneApplicationStillTest, WithoutInputAStillScreenIsDrawnTenTimesASecondAfterHalfOne)
{
    // 0.5 s of frames (30, the first before the loop among them), then one a
    // tenth of a second over the other 1.5 s (15).
    const int iRenders = Renders(true, false);
    EXPECT_GE(iRenders, 42);
    EXPECT_LE(iRenders, 48);
}

TEST_F(COrvaneApplicationStillTest, InputDrawsEveryFrameOfAStillScreen)
{
    EXPECT_GE(Renders(true, true), FRAMES);
}

TEST_F(COrvaneApplicationStillTest, AScreenThatIsNotStillIsDrawnEveryFrame)
{
    EXPECT_GE(Renders(false, false), FRAMES);
}

// The frames between a full screen's still frames present nothing, so
// nothing waits for the retrace: each waits a refresh in the loop instead of
// polling the display (Renders checks the two seconds the frames took).
TEST_F(COrvaneApplicationStillTest, AStillFullScreenWaitsARefreshForEachFrameItLeavesUndrawn)
{
    const int iRenders = Renders(true, false, true);
    EXPECT_GE(iRenders, 42);
    EXPECT_LE(iRenders, 48);
    EXPECT_EQ(m_iSleeps, FRAMES + 1 - iRenders);
}

TEST_F(COrvaneApplicationStillTest, AFullScreenThatIsNotStillIsPacedByItsDeviceAlone)
{
    EXPECT_GE(Renders(false, false, true), FRAMES);
    EXPECT_EQ(m_iSleeps, 0);
}

TEST_F(COrvaneApplicationTest, InQueuedOrderInputReachesTheDevicesBeforeTheFrame)
{
    std::vector<DeviceCall> kLog;
    m_kGames.m_kSetUp = [&kLog](TestGame& kGame) {
        kGame.m_kOnRender = [&kLog](int iFrame) {
            const os::WindowHandle pkHandle = COrvaneApplication::Get()->GetWindow()->GetHandle();
            if (iFrame == 1)
            {
                ostest::InjectKey(pkHandle, 'A', true);
                ostest::InjectMotion(pkHandle, 4, 5);
                ostest::InjectKey(pkHandle, 'A', false);
                ostest::InjectWheel(pkHandle, 2);
            }
            if (iFrame == 2)
            {
                kLog.push_back({'r', 0, 0, 0}); // this frame's render
                COrvaneApplication::Get()->RequestQuit();
            }
        };
    };
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, m_kGames, 1024, 768));
    pkApp->GetWindow()->SetMouseDevice(std::make_unique<LoggingMouseDevice>(kLog));
    pkApp->GetWindow()->SetKeyboardDevice(std::make_unique<LoggingKeyboardDevice>(kLog));
    ASSERT_TRUE(pkApp->Start());
    // Pushed before Run: the timer reset drops it.
    ostest::InjectKey(Handle(), 'Z', true);
    pkApp->Run();

    ASSERT_EQ(kLog.size(), 5u);
    EXPECT_EQ(kLog[0], (DeviceCall{'k', os::WM_KEYDOWN, 0x41, 0x001E0001}));
    EXPECT_EQ(kLog[1].uiMessage, os::WM_MOUSEMOVE);
    EXPECT_EQ(kLog[1].uiLParam, 0x00050004u);
    EXPECT_EQ(kLog[2], (DeviceCall{'k', os::WM_KEYUP, 0x41, 0xC01E0001}));
    EXPECT_EQ(kLog[3].uiMessage, os::WM_MOUSEWHEEL);
    EXPECT_EQ(static_cast<std::int16_t>(kLog[3].uiWParam >> 16), 240);
    EXPECT_EQ(kLog[4].cDevice, 'r');
    // RequestQuit let its frame finish: the update after the render ran.
    EXPECT_EQ(Frames().back(), "update 0.02 0.02 0.02");
}

TEST_F(COrvaneApplicationTest, BackgroundFramesOnlyAdvanceTheClock)
{
    m_kGames.m_kSetUp = [this](TestGame& kGame) {
        kGame.m_kOnRender = [this](int iFrame) {
            if (iFrame != 2)
                return;
            ostest::InjectWindowEvent(Handle(), ostest::WindowEvent::FocusLost);
            // Six more counter readings, then the user closes the window.
            const std::uint64_t uiLast = m_kClock.m_uiReadings + 6;
            m_kClock.m_kOnReading = [uiLast](std::uint64_t uiReading) {
                if (uiReading == uiLast)
                    ostest::InjectQuit();
            };
        };
    };
    ASSERT_TRUE(StartApplication());
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    pkApp->Run();
    // The frame whose pump takes the focus loss was begun in the foreground
    // and runs whole; then four background frames and the closing one
    // render and update nothing, while their time still counts.
    EXPECT_EQ(Frames(), (std::vector<std::string>{"render", "update 0.001 0 0", "render", "update 0.02 0.02 0.02",
                                                  "render", "update 0.02 0.02 0.04"}));
    EXPECT_FLOAT_EQ(pkApp->GetTotalTime(), 0.02f * 7);
    EXPECT_EQ(os::GetForegroundWindow(), nullptr);
}

TEST_F(COrvaneApplicationTest, AFailedRendererEndsTheStartWithOneBoxAndOneEngineStop)
{
    m_kRenderers.m_iFailFrom = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(StartApplication());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Direct3D renderer creation error: Creation failed: test device refused\n");
    EXPECT_EQ(m_kBoxes, (std::vector<std::string>{"Direct3D renderer creation error"}));
    EXPECT_EQ(COrvaneApplication::Get()->GetWindow()->GetRenderer(), nullptr);
    COrvaneApplication::DestroyInstance();
    EXPECT_EQ(Journal(), (std::vector<std::string>{"engine start", "engine stop", "game deleted"}));
}

TEST_F(COrvaneApplicationTest, LeavingTheLauncherReleasesTheRendererThenTheEngine)
{
    m_kGames.m_kSetUp = [](TestGame& kGame) { kGame.m_bChoose = false; };
    EXPECT_FALSE(StartApplication());
    EXPECT_EQ(COrvaneApplication::Get()->GetWindow()->GetRenderer(), nullptr);
    EXPECT_FALSE(COrvaneApplication::Get()->IsRendererStarted());
    COrvaneApplication::DestroyInstance();
    EXPECT_EQ(Journal(), (std::vector<std::string>{"engine start", "engine stop", "game deleted"}));
    EXPECT_TRUE(m_kBoxes.empty());
}

TEST_F(COrvaneApplicationTest, AFailedGameInitLeavesTheTearDownToDestroy)
{
    m_kGames.m_kSetUp = [](TestGame& kGame) { kGame.m_bInitResult = false; };
    EXPECT_FALSE(StartApplication());
    EXPECT_TRUE(COrvaneApplication::Get()->IsRendererStarted());
    COrvaneApplication::DestroyInstance();
    EXPECT_EQ(Journal(),
              (std::vector<std::string>{"engine start", "init Orvane Game", "game deleted", "engine stop"}));
}

TEST_F(COrvaneApplicationTest, AMissingSettingsFileGivesDefaults)
{
    std::filesystem::remove("setup.xml");
    std::filesystem::remove("data.xml");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(StartApplication());
    const std::string kErrors = testing::internal::GetCapturedStderr();
    EXPECT_NE(kErrors.find("COULDN'T FIND data.xml"), std::string::npos);
    EXPECT_EQ(m_kRenderers.m_pkLast->GetBackgroundColor(), NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f));
}
} // namespace
