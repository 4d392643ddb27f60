#include "framework/COrvaneSystem.h"

#include "engine/core/NiLibraryRegistry.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneShaderFactory.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsTime.h"
#include "platform/os/OsWindow.h"

#include <string>

void COrvaneSystem::ResetTimer()
{
    os::Message kMessage;
    while (os::PeekMessage(kMessage, nullptr, os::WM_MOUSEFIRST, os::WM_MBUTTONDBLCLK, os::PM_REMOVE))
    {
    }
    while (os::PeekMessage(kMessage, nullptr, os::WM_KEYFIRST, os::WM_KEYLAST, os::PM_REMOVE))
    {
    }
    os::QueryPerformanceFrequency(m_iFrequency);
    m_fFrequencySeconds = static_cast<float>(m_iFrequency);
    os::QueryPerformanceCounter(m_iLast);
}

float COrvaneSystem::GetElapsedSeconds()
{
    std::int64_t iCurrent = 0;
    os::QueryPerformanceCounter(iCurrent);
    if (m_fFrequencySeconds <= 0.0f)
    {
        // Measured before any ResetTimer: start the clock now.
        os::QueryPerformanceFrequency(m_iFrequency);
        m_fFrequencySeconds = static_cast<float>(m_iFrequency);
        m_iLast = iCurrent;
    }
    const double dSeconds = static_cast<double>(iCurrent - m_iLast) / m_fFrequencySeconds;
    m_iLast = iCurrent;
    return static_cast<float>(dSeconds);
}

bool COrvaneSystem::PumpMessages(os::WindowHandle pkWindow, bool& bQuit)
{
    bQuit = false;
    const bool bForeground = os::GetForegroundWindow() == pkWindow;
    if (!bForeground)
        os::ClipCursor(nullptr);
    os::Message kMessage;
    while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
    {
        if (kMessage.message == os::WM_QUIT)
        {
            bQuit = true;
            break;
        }
        os::TranslateMessage(kMessage);
        os::DispatchMessage(kMessage);
    }
    return bForeground;
}

bool COrvaneSystem::StartEngine()
{
    NiLibraryRegistry::InitLibraries();
    m_bEngineStarted = true;
    return true;
}

bool COrvaneSystem::StopEngine()
{
    if (m_bEngineStarted)
    {
        NiLibraryRegistry::ShutdownLibraries();
        m_bEngineStarted = false;
    }
    m_pucShaderSetup.reset();
    return true;
}

void COrvaneSystem::CreateShaderSetup()
{
    m_pucShaderSetup = std::make_unique<std::uint8_t>(0);
}

void COrvaneSystem::DestroyShaderSetup()
{
    m_pucShaderSetup.reset();
}

bool COrvaneSystem::CreateRenderer(COrvaneWindow& kWindow)
{
    return kWindow.CreateRenderer();
}

bool COrvaneSystem::ReleaseRenderer(COrvaneWindow& kWindow)
{
    kWindow.DestroyRenderer();
    return true;
}

bool COrvaneSystem::InitRenderer(COrvaneGame& kGame, COrvaneWindow& kWindow, std::uint8_t& ucFullScreen)
{
    if ((kWindow.GetRendererFlags() & COrvaneRendererFactory::FLAG_FULLSCREEN) != 0)
        ucFullScreen = 1;
    std::uint32_t uiAdapter = 0;
    std::uint32_t uiMode = 0;
    if (!kGame.ChooseDisplayMode(uiAdapter, uiMode))
        return false;
    COrvaneRenderer* pkHolder = kWindow.GetRenderer();
    if (pkHolder == nullptr)
        return false;
    return pkHolder->Initialise(kWindow.GetHandle(), uiAdapter, uiMode);
}

bool COrvaneSystem::LoadShaders()
{
    if (m_pucShaderSetup)
        RunShaderStartup("");
    return true;
}

void COrvaneSystem::RunShaderStartup(const char* pcDirectory)
{
    COrvaneShaderFactory* pkFactory = COrvaneShaderFactory::Get();
    if (pkFactory == nullptr)
    {
        os::OutputDebugString("Shader start-up skipped: no shader factory\n");
        return;
    }
    pkFactory->AddProgramDirectory(pcDirectory);

    static const char* const s_apcParsers[] = {"NSFParserLib.np9", ""};
    for (const char* const* ppcName = s_apcParsers; (*ppcName)[0] != '\0'; ++ppcName)
        pkFactory->RunParser(*ppcName, SHADER_DIRECTORY, true);

    static const char* const s_apcLibraries[] = {"NSBShaderLib.nl9", "NiD3DXEffectShaderLib.nl9", ""};
    const char* const apcDirectories[] = {SHADER_DIRECTORY};
    for (const char* const* ppcName = s_apcLibraries; (*ppcName)[0] != '\0'; ++ppcName)
    {
        if (!pkFactory->LoadAndRegisterShaderLibrary(*ppcName, 1, apcDirectories, true))
            os::OutputDebugString(std::string("Shader library ") + *ppcName + " failed to load\n");
    }
}
