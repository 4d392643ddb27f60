#include "framework/COrvaneSystem.h"

#include "engine/core/NiLibraryRegistry.h"
#include "engine/scene/NiAlphaAccumulator.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneShaderFactory.h"
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

#include <string>
#include <vector>

namespace
{
int s_iEngineStarts = 0;
int s_iEngineStops = 0;
void CountStart()
{
    ++s_iEngineStarts;
}
void CountStop()
{
    ++s_iEngineStops;
}

class COrvaneSystemTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        s_iEngineStarts = 0;
        s_iEngineStops = 0;
        ASSERT_TRUE(NiLibraryRegistry::RegisterLibrary(&CountStart, &CountStop));
        COrvaneRendererFactory::Set(&m_kFactory);
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view kCaption,
                                     std::uint32_t) {
            m_kBoxes.push_back(std::string(kCaption) + ": " + std::string(kText));
            return os::IDOK;
        });
    }

    void TearDown() override
    {
        m_pkWindow.reset();
        FrameworkTest::TearDown();
    }

    void MakeWindow()
    {
        m_pkWindow = std::make_unique<COrvaneWindow>();
        ASSERT_NE(m_pkWindow->Create(nullptr, 1024, 768), nullptr);
    }

    TestRendererFactory m_kFactory;
    std::vector<std::string> m_kBoxes;
    std::unique_ptr<COrvaneWindow> m_pkWindow;
};

// Records what the shader start-up asks for.
class RecordingShaderFactory : public COrvaneShaderFactory
{
public:
    void AddProgramDirectory(const char* pcDirectory) override { m_kCalls.push_back("dir '" + std::string(pcDirectory) + "'"); }
    std::uint32_t RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse) override
    {
        m_kCalls.push_back(std::string("parse ") + pcLibrary + " " + pcDirectory + (bRecurse ? " r" : ""));
        return 0;
    }
    bool LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiCount, const char* const* ppcDirs,
                                      bool bRecurse) override
    {
        std::string kCall = std::string("library ") + pcLibrary;
        for (std::uint32_t i = 0; i < uiCount; ++i)
            kCall += std::string(" ") + ppcDirs[i];
        m_kCalls.push_back(kCall + (bRecurse ? " r" : ""));
        return std::string(pcLibrary) != m_kFailing;
    }

    std::vector<std::string> m_kCalls;
    std::string m_kFailing;
};

class ChoosingGame : public COrvaneGame
{
public:
    bool ChooseDisplayMode(std::uint32_t& uiAdapter, std::uint32_t& uiMode) override
    {
        uiAdapter = m_uiAdapter;
        uiMode = m_uiMode;
        return m_bChoose;
    }
    std::uint32_t m_uiAdapter = 0;
    std::uint32_t m_uiMode = 1;
    bool m_bChoose = true;
};

TEST_F(COrvaneSystemTest, ResetTimerDropsPendingInputAndStartsTheClock)
{
    MakeWindow();
    const os::WindowHandle pkHandle = m_pkWindow->GetHandle();
    ostest::InjectKey(pkHandle, 'A', true);
    ostest::InjectMotion(pkHandle, 3, 4);
    ostest::InjectButton(pkHandle, ostest::MouseButton::Right, true, 3, 4);
    ostest::InjectWheel(pkHandle, 1);
    ostest::InjectWindowEvent(pkHandle, ostest::WindowEvent::Moved);
    TestClock kClock(250);
    os::SetClock(&kClock);

    COrvaneSystem kSystem;
    kSystem.ResetTimer();
    std::vector<std::uint32_t> kLeft;
    os::Message kMessage;
    while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE) && kMessage.message != os::WM_QUIT)
        kLeft.push_back(kMessage.message);
    // The wheel lies above the purged range and survives, as it always did.
    EXPECT_EQ(kLeft, (std::vector<std::uint32_t>{os::WM_MOUSEWHEEL, os::WM_MOVE}));

    EXPECT_FLOAT_EQ(kSystem.GetElapsedSeconds(), 0.25f); // one step since the reset
    kClock.m_uiStep = 4000;
    EXPECT_FLOAT_EQ(kSystem.GetElapsedSeconds(), 4.0f); // not capped
    os::SetClock(nullptr);
}

TEST_F(COrvaneSystemTest, PumpReportsForegroundAndStopsAtQuit)
{
    MakeWindow();
    const os::WindowHandle pkHandle = m_pkWindow->GetHandle();
    COrvaneSystem kSystem;
    bool bQuit = true;
    os::Rect kClip{0, 0, 10, 10};
    os::ClipCursor(&kClip);
    EXPECT_FALSE(kSystem.PumpMessages(pkHandle, bQuit)); // hidden: in the background
    EXPECT_FALSE(bQuit);
    EXPECT_FALSE(os::GetClipCursor(kClip)); // released

    m_pkWindow->Show();
    ostest::InjectKey(pkHandle, 'B', true);
    EXPECT_TRUE(kSystem.PumpMessages(pkHandle, bQuit));
    EXPECT_EQ(m_pkWindow->GetInputEvents().size(), 1u); // dispatched to the window

    ostest::InjectMotion(pkHandle, 1, 1);
    ostest::InjectQuit(); // close -> destroy -> quit, after everything else
    EXPECT_TRUE(kSystem.PumpMessages(pkHandle, bQuit));
    EXPECT_TRUE(bQuit);
    EXPECT_EQ(m_pkWindow->GetInputEvents().size(), 2u);
    EXPECT_FALSE(os::IsWindow(pkHandle));
}

TEST_F(COrvaneSystemTest, TheEngineStopsOncePerStart)
{
    COrvaneSystem kSystem;
    kSystem.CreateShaderSetup();
    EXPECT_TRUE(kSystem.StopEngine()); // never started: nothing to stop
    EXPECT_EQ(s_iEngineStops, 0);
    EXPECT_FALSE(kSystem.HasShaderSetup());
    EXPECT_TRUE(kSystem.StartEngine());
    EXPECT_EQ(s_iEngineStarts, 1);
    EXPECT_TRUE(kSystem.StopEngine());
    EXPECT_TRUE(kSystem.StopEngine());
    EXPECT_EQ(s_iEngineStops, 1);
}

TEST_F(COrvaneSystemTest, ShaderStartUpRunsTheParserAndBothLibraries)
{
    RecordingShaderFactory kShaders;
    kShaders.m_kFailing = "NiD3DXEffectShaderLib.nl9";
    COrvaneShaderFactory::Set(&kShaders);
    COrvaneSystem kSystem;
    EXPECT_TRUE(kSystem.LoadShaders()); // no set-up object: nothing runs
    EXPECT_TRUE(kShaders.m_kCalls.empty());

    kSystem.CreateShaderSetup();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSystem.LoadShaders());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Shader library NiD3DXEffectShaderLib.nl9 failed to load\n");
    EXPECT_EQ(kShaders.m_kCalls, (std::vector<std::string>{"dir ''", "parse NSFParserLib.np9 models r",
                                                            "library NSBShaderLib.nl9 models r",
                                                            "library NiD3DXEffectShaderLib.nl9 models r"}));

    COrvaneShaderFactory::Set(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSystem.LoadShaders());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Shader start-up skipped: no shader factory\n");
    EXPECT_TRUE(m_kBoxes.empty());
}

TEST_F(COrvaneSystemTest, ShaderStartUpGoesToTheEngineFactory)
{
    COrvaneShaderFactory::Set(nullptr);
    NiD3DShaderFactory::Create();
    COrvaneShaderFactory* pkShaders = COrvaneShaderFactory::Get();
    ASSERT_NE(pkShaders, nullptr);
    // The dispatchers are in place; without "models" the binary shader
    // library finds nothing (and goes again), and this build has neither the
    // effect library nor the parser.
    EXPECT_EQ(NiShaderFactory::GetClassCreateCallback(), &COrvaneShaderFactory::CreateShaderLibraryEntry);
    EXPECT_EQ(NiShaderFactory::GetRunParserCallback(), &COrvaneShaderFactory::RunNSFParserEntry);
    static std::vector<std::string> s_kReports;
    s_kReports.clear();
    NiShaderFactory::SetErrorCallback(+[](const char* pcText, std::uint32_t, bool) {
        s_kReports.emplace_back(pcText);
        return 0;
    });

    COrvaneSystem kSystem;
    kSystem.CreateShaderSetup();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSystem.LoadShaders());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Releasing Binary Shaders!\nShader library NSBShaderLib.nl9 failed to load\n"
              "Shader library NiD3DXEffectShaderLib.nl9 failed to load\n");
    EXPECT_EQ(NiD3DShaderFactory::GetD3DShaderFactory()->GetLibraryCount(), 0u);
    EXPECT_TRUE(s_kReports.empty()); // both callbacks were there

    // Without the dispatchers the factory says so.
    NiShaderFactory::SetClassCreateCallback(nullptr);
    NiShaderFactory::SetRunParserCallback(nullptr);
    EXPECT_FALSE(pkShaders->LoadAndRegisterShaderLibrary("NSBShaderLib.nl9", 0, nullptr, true));
    EXPECT_EQ(pkShaders->RunParser("NSFParserLib.np9", "models", true), 0u);
    EXPECT_EQ(s_kReports, (std::vector<std::string>{"LoadAndRegisterShaderLibrary: No valid ClassCreate call\n",
                                                    "LoadAndRegisterShaderLibrary: No valid RunParser call\n"}));
    NiD3DShaderFactory::Destroy();
    EXPECT_EQ(COrvaneShaderFactory::Get(), nullptr);
}

TEST_F(COrvaneSystemTest, TheFirstRendererGetsTheSettingsColour)
{
    WriteSetupFile(10, 20, 30, 255);
    COrvaneApplication::LoadSettings();
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    ASSERT_EQ(m_kFactory.m_kCreated.size(), 1u);
    const COrvaneRendererParams& kParams = m_kFactory.m_kCreated[0];
    EXPECT_EQ(kParams.m_uiWidth, 1024u);
    EXPECT_EQ(kParams.m_uiHeight, 768u);
    EXPECT_EQ(kParams.m_uiFlags, 0u);
    EXPECT_EQ(kParams.m_uiAdapter, 0u);
    EXPECT_EQ(kParams.m_pkDeviceWindow, m_pkWindow->GetHandle());
    EXPECT_EQ(kParams.m_pkFocusWindow, m_pkWindow->GetHandle());
    EXPECT_EQ(kParams.m_auiValues, (std::array<std::uint32_t, 8>{0, 0, 0, 1, 0, 0, 1, 0}));

    NiRenderer* pkRenderer = m_pkWindow->GetRenderer()->GetRenderer();
    ASSERT_EQ(pkRenderer, m_kFactory.m_pkLast);
    EXPECT_EQ(NiRenderer::GetRenderer(), pkRenderer);
    const NiColorRGBA kColor = pkRenderer->GetBackgroundColor();
    EXPECT_FLOAT_EQ(kColor.r, 10 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.g, 20 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.b, 30 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.a, 255 * 0.003921569f);
    m_pkWindow->DestroyRenderer();
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
}

TEST_F(COrvaneSystemTest, ColourChannelsThatCannotBeReadKeepTheirDefaults)
{
    struct Case
    {
        const char* pcFile;
        NiColorRGBA kExpected;
    };
    const float s = 0.003921569f;
    const Case akCases[] = {
        // Out of order: BGg is not next to BGr, so the cursor stays on BGr,
        // from where BGb is next; BGa is not next to BGb.
        {"<Game_Data>\n<BGr>\n100\n</BGr>\n<BGb>\n50\n</BGb>\n<BGg>\n60\n</BGg>\n<BGa>\n70\n</BGa>\n</Game_Data>\n",
         {100 * s, 0, 50 * s, 1}},
        {"<Game_Data>\n<BGr>\nred\n</BGr>\n<BGg>\n-1\n</BGg>\n<BGb>\n</BGb>\n<BGa>\n65536\n</BGa>\n</Game_Data>\n",
         {0, 0, 0, 1}},
        {"<Game_Data>\n<BGr>\n300\n</BGr>\n<BGg>\n2 3\n</BGg>\n<BGb>\n4\n</BGb>\n<BGa>\n0\n</BGa>\n</Game_Data>\n",
         {300 * s, 2 * s, 4 * s, 0}},
        {"<Other>\n</Other>\n", {0, 0, 0, 1}},
        // Channels outside their section are not the background's.
        {"<BGr>\n100\n</BGr>\n", {0, 0, 0, 1}},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.pcFile);
        WriteFileBytes("setup.xml", kCase.pcFile);
        COrvaneTagTree kSettings;
        ASSERT_TRUE(kSettings.Load("setup.xml"));
        const NiColorRGBA kColor = COrvaneRenderer::ReadBackgroundColor(kSettings);
        EXPECT_FLOAT_EQ(kColor.r, kCase.kExpected.r);
        EXPECT_FLOAT_EQ(kColor.g, kCase.kExpected.g);
        EXPECT_FLOAT_EQ(kColor.b, kCase.kExpected.b);
        EXPECT_FLOAT_EQ(kColor.a, kCase.kExpected.a);
    }
}

TEST_F(COrvaneSystemTest, AFailedFirstRendererShowsOneBoxAndStopsTheEngine)
{
    m_kFactory.m_iFailFrom = 0;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_NE(pkApp, nullptr);
    class Factory : public COrvaneGameFactory
    {
        std::unique_ptr<COrvaneGame> CreateGame() override { return std::make_unique<COrvaneGame>(); }
    } kFactory;
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1024, 768));
    ASSERT_TRUE(pkApp->GetSystem()->StartEngine());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(pkApp->GetWindow()->CreateRenderer());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Direct3D renderer creation error: Creation failed: test device refused\n");
    EXPECT_EQ(m_kBoxes, (std::vector<std::string>{"Application Error: Direct3D renderer creation error"}));
    EXPECT_EQ(s_iEngineStops, 1);
    EXPECT_FALSE(pkApp->GetSystem()->IsEngineStarted());
    EXPECT_EQ(pkApp->GetWindow()->GetRenderer()->GetRenderer(), nullptr);
}

TEST_F(COrvaneSystemTest, InitRendererAppliesTheLaunchersChoice)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    m_pkWindow->GetRenderer()->SetBackgroundColor({0.5f, 0.25f, 0.125f, 1.0f});
    COrvaneSystem kSystem;
    ChoosingGame kGame;
    std::uint8_t ucFullScreen = 0;
    ASSERT_TRUE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    EXPECT_EQ(ucFullScreen, 0); // the first renderer was windowed
    ASSERT_EQ(m_kFactory.m_kCreated.size(), 2u);
    const COrvaneRendererParams& kParams = m_kFactory.m_kCreated[1];
    EXPECT_EQ(kParams.m_uiWidth, 1280u);
    EXPECT_EQ(kParams.m_uiHeight, 1024u);
    EXPECT_EQ(kParams.m_uiFlags, 4u);
    EXPECT_EQ(m_pkWindow->GetRendererFlags(), 4u);
    NiRenderer* pkRenderer = m_pkWindow->GetRenderer()->GetRenderer();
    EXPECT_EQ(pkRenderer, m_kFactory.m_pkLast);
    EXPECT_EQ(NiRenderer::GetRenderer(), pkRenderer);
    EXPECT_EQ(pkRenderer->GetBackgroundColor(), NiColorRGBA(0.5f, 0.25f, 0.125f, 1.0f));

    // A full-screen renderer reports itself on the next start.
    EXPECT_TRUE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    EXPECT_EQ(ucFullScreen, 1);

    kGame.m_bChoose = false; // the player left the launcher
    EXPECT_FALSE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    EXPECT_EQ(m_kFactory.m_kCreated.size(), 3u);
}

// "Windowed" 1 in the settings: the chosen mode in a window, and the
// application knows it is not full screen; absent or 0: full screen.
TEST_F(COrvaneSystemTest, TheSettingsWindowedKeyKeepsTheRendererInAWindow)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    COrvaneRenderer* pkHolder = m_pkWindow->GetRenderer();
    WriteFileBytes("setup.xml", "<Application_Data>\r\n<Windowed>\r\n1\r\n</Windowed>\r\n</Application_Data>\r\n");
    COrvaneApplication::LoadSettings();
    ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 0));
    EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiFlags, 0u);
    EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiWidth, 1024u);

    WriteFileBytes("setup.xml", "<Application_Data>\r\n<Windowed>\r\n2\r\n</Windowed>\r\n</Application_Data>\r\n");
    COrvaneApplication::LoadSettings();
    ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 0));
    EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiFlags, COrvaneRendererFactory::FLAG_FULLSCREEN);
    COrvaneApplication::ResetSettings();
    ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 0));
    EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiFlags, COrvaneRendererFactory::FLAG_FULLSCREEN);
}

// The window entry names the display's first mode when the display lists no
// 1024 x 768: a windowed game still draws at its window's size, so the
// interface is as large as on a 1024 x 768 desktop and the pointer's client
// pixels are the game's pixels. Full screen takes the mode.
TEST_F(COrvaneSystemTest, AWindowedRendererHasTheWindowsSizeOnAnyDesktop)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    COrvaneRenderer* pkHolder = m_pkWindow->GetRenderer();
    os::Rect kClient;
    ASSERT_TRUE(os::GetClientRect(m_pkWindow->GetHandle(), kClient));
    ASSERT_EQ(kClient.right - kClient.left, 1024);
    ASSERT_EQ(kClient.bottom - kClient.top, 768);
    const struct
    {
        std::uint32_t m_uiWidth, m_uiHeight;
    } akDesktops[] = {{1024, 768}, {1920, 1080}};
    for (const auto& kDesktop : akDesktops)
    {
        SCOPED_TRACE(kDesktop.m_uiWidth);
        m_kFactory.m_kAdapters = {{"Desktop", {{kDesktop.m_uiWidth, kDesktop.m_uiHeight, 32, 22}}}};
        WriteFileBytes("setup.xml", "<Application_Data>\r\n<Windowed>\r\n1\r\n</Windowed>\r\n</Application_Data>\r\n");
        COrvaneApplication::LoadSettings();
        ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 0, 0));
        EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiFlags, 0u);
        EXPECT_EQ(pkHolder->GetRenderer()->GetWidth(), 1024u);
        EXPECT_EQ(pkHolder->GetRenderer()->GetHeight(), 768u);

        WriteFileBytes("setup.xml", "<Application_Data>\r\n<Windowed>\r\n0\r\n</Windowed>\r\n</Application_Data>\r\n");
        COrvaneApplication::LoadSettings();
        ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 0, 0));
        EXPECT_EQ(m_kFactory.m_kCreated.back().m_uiFlags, COrvaneRendererFactory::FLAG_FULLSCREEN);
        EXPECT_EQ(pkHolder->GetRenderer()->GetWidth(), kDesktop.m_uiWidth);
        EXPECT_EQ(pkHolder->GetRenderer()->GetHeight(), kDesktop.m_uiHeight);
    }
    COrvaneApplication::ResetSettings();
}

TEST_F(COrvaneSystemTest, ABadChoiceKeepsTheRendererAndAFailedOneIsReported)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    NiRenderer* pkFirst = m_pkWindow->GetRenderer()->GetRenderer();
    COrvaneSystem kSystem;
    ChoosingGame kGame;
    std::uint8_t ucFullScreen = 0;
    kGame.m_uiAdapter = 1;
    kGame.m_uiMode = 1; // adapter 1 has one mode only
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Display mode 1 of adapter 1 does not exist\n");
    EXPECT_EQ(m_pkWindow->GetRenderer()->GetRenderer(), pkFirst);
    kGame.m_uiAdapter = 2;
    kGame.m_uiMode = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_pkWindow->GetRenderer()->GetRenderer(), pkFirst);
    EXPECT_TRUE(m_kBoxes.empty());

    m_kFactory.m_iFailFrom = 1;
    kGame.m_uiAdapter = 1;
    kGame.m_uiMode = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kSystem.InitRenderer(kGame, *m_pkWindow, ucFullScreen));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Direct3D renderer creation error: Creation failed: test device refused\n");
    EXPECT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(m_pkWindow->GetRenderer()->GetRenderer(), nullptr);
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
}

TEST_F(COrvaneSystemTest, EveryRendererSortsWithAFreshAlphaAccumulator)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    COrvaneRenderer* pkHolder = m_pkWindow->GetRenderer();
    // Kept alive here so a later accumulator cannot reuse its address.
    const NiAlphaAccumulatorPtr spFirst = pkHolder->GetAccumulator();
    ASSERT_NE(spFirst, nullptr);
    EXPECT_EQ(pkHolder->GetRenderer()->GetAccumulator(), spFirst.Get());
    NiPropertySet* pkProperties = pkHolder->GetPropertySet();
    EXPECT_NE(pkProperties, nullptr);

    // A choice naming no mode keeps the renderer with its accumulator.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 1));
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(pkHolder->GetAccumulator(), spFirst.Get());
    EXPECT_EQ(pkHolder->GetRenderer()->GetAccumulator(), spFirst.Get());

    ASSERT_TRUE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 0));
    ASSERT_NE(pkHolder->GetAccumulator(), nullptr);
    EXPECT_NE(pkHolder->GetAccumulator(), spFirst.Get());
    EXPECT_EQ(pkHolder->GetRenderer()->GetAccumulator(), pkHolder->GetAccumulator());
    EXPECT_EQ(pkHolder->GetPropertySet(), pkProperties); // only the renderer is replaced

    // A renderer that cannot be made leaves nothing to sort with.
    m_kFactory.m_iFailFrom = 2;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(pkHolder->Initialise(m_pkWindow->GetHandle(), 1, 0));
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(pkHolder->GetRenderer(), nullptr);
    EXPECT_EQ(pkHolder->GetAccumulator(), nullptr);
}

TEST_F(COrvaneSystemTest, TheLauncherSeesAdaptersAndModes)
{
    MakeWindow();
    ASSERT_TRUE(m_pkWindow->CreateRenderer());
    const COrvaneRenderer& kHolder = *m_pkWindow->GetRenderer();
    EXPECT_EQ(kHolder.ReturnZero(), 0u);
    EXPECT_EQ(kHolder.GetAdapterCount(), 2u);
    std::string kName;
    ASSERT_TRUE(kHolder.GetAdapterName(1, kName));
    EXPECT_EQ(kName, "Second Adapter");
    EXPECT_FALSE(kHolder.GetAdapterName(2, kName));
    EXPECT_EQ(kHolder.GetDisplayModeCount(0), 3u);
    EXPECT_EQ(kHolder.GetDisplayModeCount(9), 0u);
    COrvaneDisplayModeRecord kRecord;
    ASSERT_TRUE(kHolder.GetDisplayMode(0, 1, kRecord));
    EXPECT_EQ(kRecord.m_uiWidth, 1280u);
    EXPECT_EQ(kRecord.m_uiHeight, 1024u);
    EXPECT_EQ(kRecord.m_uiBitsPerPixel, 32u);
    EXPECT_EQ(kRecord.m_ucUsable, 1);
    ASSERT_TRUE(kHolder.GetDisplayMode(0, 2, kRecord));
    EXPECT_EQ(kRecord.m_ucUsable, 0); // FindMode turns it down
    EXPECT_FALSE(kHolder.GetDisplayMode(0, 3, kRecord));
}
} // namespace
