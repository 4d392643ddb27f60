#include "framework/COrvaneApplication.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneDebugOptions.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneInputDevices.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSystem.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneUtility.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"

#include "platform/os/OsTime.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace
{
COrvaneApplication* s_pkApplication = nullptr;
std::unique_ptr<COrvaneTagTree> s_pkSettings;
// Now on the os layer's counter, which tests can drive.
gfx::FramePacer::Clock::time_point PaceNow()
{
    std::int64_t iCounter = 0;
    std::int64_t iFrequency = 0;
    os::QueryPerformanceCounter(iCounter);
    os::QueryPerformanceFrequency(iFrequency);
    if (iFrequency <= 0)
        iFrequency = 1;
    const auto kSince = std::chrono::duration<double>(static_cast<double>(iCounter) / static_cast<double>(iFrequency));
    return gfx::FramePacer::Clock::time_point(std::chrono::duration_cast<gfx::FramePacer::Clock::duration>(kSince));
}

bool EveryFrameAsked()
{
    const char* pcValue = std::getenv(COrvaneApplication::EVERY_FRAME_VARIABLE);
    return pcValue != nullptr && std::strcmp(pcValue, "1") == 0;
}
} // namespace

COrvaneApplication* COrvaneApplication::Get()
{
    if (s_pkApplication == nullptr)
        s_pkApplication = new (std::nothrow) COrvaneApplication;
    return s_pkApplication;
}

COrvaneApplication* COrvaneApplication::GetExisting()
{
    return s_pkApplication;
}

void COrvaneApplication::DestroyInstance()
{
    COrvaneApplication* pkApplication = s_pkApplication;
    delete pkApplication;
    s_pkApplication = nullptr;
}

COrvaneTagTree* COrvaneApplication::GetSettings()
{
    return s_pkSettings.get();
}

void COrvaneApplication::LoadSettings()
{
    s_pkSettings.reset();
    s_pkSettings = std::make_unique<COrvaneTagTree>();
    // A missing file leaves an empty document: every setting keeps its default.
    (void)s_pkSettings->Load(SETTINGS_FILE);
}

void COrvaneApplication::ResetSettings()
{
    s_pkSettings.reset();
}

COrvaneApplication::~COrvaneApplication()
{
    COrvaneApplication::Destroy();
}

void COrvaneApplication::Release()
{
    Destroy();
}

void COrvaneApplication::Reset()
{
    m_pkSystem.reset();
    m_pkGame.reset();
    m_pkWindow.reset();
    m_fFrameTime = 0.0f;
    m_fTotalTime = 0.0f;
    m_fPreviousTotal = 0.0f;
    m_ucQuit = 0;
    m_ucRendererStarted = 0;
    m_ucFullScreen = 0;
    m_kFrameSleep = nullptr;
    m_fLastInput = 0.0f;
    m_fLastRender = 0.0f;
    m_iLastState = -1;
}

bool COrvaneApplication::Init(os::InstanceHandle pkInstance, COrvaneGameFactory& kFactory, std::int32_t iWidth,
                              std::int32_t iHeight)
{
    if (!m_pkSystem)
    {
        m_pkSystem = std::make_unique<COrvaneSystem>();
        m_pkSystem->CreateShaderSetup();
    }
    if (!m_pkWindow)
    {
        m_pkWindow = std::make_unique<COrvaneWindow>();
        // Without a window nothing can be shown or rendered: stop here.
        if (m_pkWindow->Create(pkInstance, iWidth, iHeight) == nullptr)
            return false;
    }
    m_pkGame = kFactory.CreateGame();
    return true;
}

bool COrvaneApplication::Start()
{
    if (!m_pkGame || !m_pkSystem || !m_pkWindow)
        return false;
    if (!m_pkSystem->StartEngine())
        return false;

    COrvaneDebugOptions::Get().Load();

    LoadSettings();
    ReadDebugFileSetting();

    if (!m_pkSystem->CreateRenderer(*m_pkWindow))
    {
        // The failed creation has shut the engine down already.
        m_pkSystem->ReleaseRenderer(*m_pkWindow);
        return false;
    }
    if (!m_pkSystem->InitRenderer(*m_pkGame, *m_pkWindow, m_ucFullScreen))
    {
        m_pkSystem->ReleaseRenderer(*m_pkWindow);
        m_pkSystem->StopEngine();
        return false;
    }
    m_pkSystem->LoadShaders();
    m_ucRendererStarted = 1;

    m_pkWindow->Show();
    if (!m_pkGame->Init(GAME_NAME))
        return false;
    m_pkWindow->ApplyDisplayMode(m_pkWindow->GetHandle(), m_ucFullScreen != 0);
    COrvaneCamera* pkCamera = m_pkGame->GetCamera();
    if (pkCamera != nullptr && m_pkWindow->GetRenderer() != nullptr)
    {
        AttachRendererToCamera(*pkCamera, *m_pkWindow->GetRenderer());
        pkCamera->CreateScreenRoot();
    }
    return m_pkGame->Start();
}

bool COrvaneApplication::Run()
{
    if (!m_pkGame || !m_pkSystem || !m_pkWindow)
        return false;
    const os::WindowHandle pkHandle = m_pkWindow->GetHandle();
    os::SetCapture(pkHandle);
    m_pkSystem->ResetTimer();
    if (COrvaneMouseDevice* pkMouse = m_pkWindow->GetMouseDevice())
        pkMouse->PlaceAtPointer();
    const bool bEveryFrame = EveryFrameAsked();
    m_kPacer.SetPeriod(std::chrono::nanoseconds{0});
    m_pkGame->Render();
    PaceFrame(bEveryFrame, true);
    m_pkGame->Update(FIRST_UPDATE_TIME);

    while (m_ucQuit == 0)
    {
        m_fFrameTime = m_pkSystem->GetElapsedSeconds();
        m_fPreviousTotal = m_fTotalTime;
        m_fTotalTime += m_fFrameTime;

        bool bQuitMessage = false;
        const bool bForeground = m_pkSystem->PumpMessages(pkHandle, bQuitMessage);
        if (bQuitMessage)
        {
            m_ucQuit = 1;
            break;
        }
        if (bForeground)
        {
            const bool bInput = m_pkWindow->DispatchInputEvents() > 0;
            const bool bDrawn = FrameWanted(bEveryFrame, bInput);
            if (bDrawn)
                m_pkGame->Render();
            PaceFrame(bEveryFrame, bDrawn);
            m_pkGame->Update(m_fFrameTime);
        }
        else
        {
            // Nothing to draw or simulate: sleep until something happens.
            os::WaitMessage(BACKGROUND_WAIT_MS);
        }
    }
    return false;
}

bool COrvaneApplication::FrameWanted(bool bEveryFrame, bool bInput)
{
    if (bInput)
        m_fLastInput = m_fTotalTime;
    const std::int32_t iState = m_pkGame->GetState();
    const bool bStateChanged = iState != m_iLastState;
    m_iLastState = iState;
    // Software GL takes several milliseconds a frame at full window size:
    // redrawing an unchanged menu at the display's rate kept most of a core
    // busy for nothing.
    const bool bStill = m_pkGame->IsScreenStill();
    if (bEveryFrame || bStateChanged || !bStill || m_fTotalTime - m_fLastInput < STILL_AFTER_INPUT_SECONDS ||
        m_fTotalTime - m_fLastRender >= STILL_FRAME_SECONDS)
    {
        m_fLastRender = m_fTotalTime;
        return true;
    }
    return false;
}

const NiRenderer* COrvaneApplication::GetEngineRenderer() const
{
    const COrvaneRenderer* pkHolder = m_pkWindow ? m_pkWindow->GetRenderer() : nullptr;
    return pkHolder != nullptr ? pkHolder->GetRenderer() : nullptr;
}

std::chrono::nanoseconds COrvaneApplication::GetFramePeriod() const
{
    const NiRenderer* pkRenderer = GetEngineRenderer();
    if (pkRenderer == nullptr || COrvaneRendererFactory::Get().WaitsForRetrace(pkRenderer))
        return std::chrono::nanoseconds{0};
    return gfx::RefreshPeriod(COrvaneRendererFactory::Get().GetRefreshRate(pkRenderer));
}

void COrvaneApplication::PaceFrame(bool bEveryFrame, bool bDrawn)
{
    if (bEveryFrame)
        return;
    // The renderer can be made again while the game runs (a full-screen
    // switch, a preview picture): its period is asked for every frame.
    // A frame left undrawn presents nothing, so a device that waits for the
    // retrace did not wait for it: the loop waits a refresh in its place, or
    // it would spin through the message pump until the next still frame.
    const NiRenderer* pkRenderer = GetEngineRenderer();
    std::chrono::nanoseconds kPeriod = GetFramePeriod();
    if (!bDrawn && pkRenderer != nullptr && kPeriod.count() == 0)
        kPeriod = gfx::RefreshPeriod(COrvaneRendererFactory::Get().GetRefreshRate(pkRenderer));
    else if (kPeriod.count() == 0)
        return;
    if (kPeriod != m_kPacer.Period())
        m_kPacer.SetPeriod(kPeriod);
    const std::chrono::nanoseconds kWait = m_kPacer.WaitAfterPresent(PaceNow());
    if (kWait.count() <= 0)
        return;
    if (m_kFrameSleep)
        m_kFrameSleep(kWait);
    else
        std::this_thread::sleep_for(kWait);
}

void COrvaneApplication::RequestQuit()
{
    m_ucQuit = 1;
}

void COrvaneApplication::Shutdown()
{
    s_pkSettings.reset();
    if (m_ucRendererStarted != 0)
    {
        if (m_pkSystem && m_pkWindow)
            m_pkSystem->ReleaseRenderer(*m_pkWindow);
        if (m_pkSystem)
            m_pkSystem->StopEngine();
    }
    m_ucRendererStarted = 0;
}

void COrvaneApplication::Destroy()
{
    m_pkGame.reset();
    Shutdown();
    m_pkWindow.reset();
    if (m_pkSystem)
        m_pkSystem->DestroyShaderSetup();
    m_pkSystem.reset();
    Reset();
}
