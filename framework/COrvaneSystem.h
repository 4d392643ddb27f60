#pragma once

#include "platform/os/OsDefs.h"

#include <cstdint>
#include <memory>

class COrvaneGame;
class COrvaneWindow;

// The platform services around the main loop: the frame timer, the message
// pump, engine start and stop, the renderer's creation and the shader
// start-up.
class COrvaneSystem
{
public:
    // Where the shader start-up looks for parsers' and libraries' files.
    static constexpr const char* SHADER_DIRECTORY = "models";

    COrvaneSystem() = default;
    ~COrvaneSystem() = default;
    COrvaneSystem(const COrvaneSystem&) = delete;
    COrvaneSystem& operator=(const COrvaneSystem&) = delete;

    // Drops every pending mouse and key message, then starts the clock.
    void ResetTimer();
    // Seconds since the previous call (or ResetTimer); not capped.
    [[nodiscard]] float GetElapsedSeconds();
    // Dispatches every pending message until the queue is empty or the quit
    // message arrives (bQuit). True when the window is in the foreground;
    // in the background the cursor clip is released.
    bool PumpMessages(os::WindowHandle pkWindow, bool& bQuit);

    bool StartEngine();
    // Shuts the engine libraries down once per start.
    bool StopEngine();
    [[nodiscard]] bool IsEngineStarted() const { return m_bEngineStarted; }

    void CreateShaderSetup();
    void DestroyShaderSetup();
    [[nodiscard]] bool HasShaderSetup() const { return m_pucShaderSetup != nullptr; }

    // False when the window's first renderer cannot be made.
    [[nodiscard]] bool CreateRenderer(COrvaneWindow& kWindow);
    bool ReleaseRenderer(COrvaneWindow& kWindow);
    // The launcher's choice applied; false when the player left the
    // launcher or the chosen mode could not be set up.
    [[nodiscard]] bool InitRenderer(COrvaneGame& kGame, COrvaneWindow& kWindow, std::uint8_t& ucFullScreen);
    // Always true: the game runs without shaders when they cannot start.
    bool LoadShaders();

private:
    void RunShaderStartup(const char* pcDirectory);

    std::int64_t m_iFrequency = 0;
    std::int64_t m_iLast = 0;
    float m_fFrequencySeconds = 0.0f;
    std::unique_ptr<std::uint8_t> m_pucShaderSetup; // present while shader start-up is allowed
    bool m_bEngineStarted = false;
};
