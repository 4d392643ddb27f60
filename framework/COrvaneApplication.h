#pragma once

#include "platform/gfx/GfxFramePacer.h"
#include "platform/os/OsDefs.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class COrvaneGame;
class NiRenderer;
class COrvaneSystem;
class COrvaneTagTree;
class COrvaneWindow;

// Made by the game; its first operation makes the game object.
class COrvaneGameFactory
{
public:
    virtual ~COrvaneGameFactory() = default;
    [[nodiscard]] virtual std::unique_ptr<COrvaneGame> CreateGame() = 0;
};

// The process-wide application: owns the system object, the window and the
// game, starts them in a fixed order, runs the main loop and tears them
// down in the reverse order.
class COrvaneApplication
{
public:
    static constexpr const char* GAME_NAME = "Orvane Game";
    static constexpr const char* SETTINGS_FILE = "./setup.xml";
    // The step the first update gets, in seconds.
    static constexpr float FIRST_UPDATE_TIME = 0.001f;
    // How long a background frame waits for a message before going on.
    static constexpr std::uint32_t BACKGROUND_WAIT_MS = 10;
    // The switch for tests and benchmarks that want every frame drawn as fast
    // as it can be: "1" in this environment variable turns the main loop's
    // frame pacing off (see Run).
    static constexpr const char* EVERY_FRAME_VARIABLE = "ORVANE_EVERY_FRAME";
    // A still screen (COrvaneGame::IsScreenStill) is drawn this often, in
    // seconds, from this long after the last input on: whatever changes it
    // without input (a tooltip's delay, a window uncovered) shows soon enough.
    static constexpr float STILL_FRAME_SECONDS = 0.1f;
    static constexpr float STILL_AFTER_INPUT_SECONDS = 0.5f;
    // How the paced loop sleeps; tests give one that moves their clock.
    using FrameSleep = std::function<void(std::chrono::nanoseconds)>;

    // The instance, made on first use.
    [[nodiscard]] static COrvaneApplication* Get();
    // The instance, or null when none has been made.
    [[nodiscard]] static COrvaneApplication* GetExisting();
    static void DestroyInstance();

    // The settings document ("./setup.xml") while the program runs; null
    // before Start and after Shutdown.
    [[nodiscard]] static COrvaneTagTree* GetSettings();
    // Replaces the settings document with a fresh load of SETTINGS_FILE (a
    // missing file gives an empty document).
    static void LoadSettings();
    static void ResetSettings();

    virtual ~COrvaneApplication();
    COrvaneApplication(const COrvaneApplication&) = delete;
    COrvaneApplication& operator=(const COrvaneApplication&) = delete;

    virtual void Destroy();
    virtual void RequestQuit();
    virtual void Release();
    virtual void Reset();

    // False when the window cannot be made.
    [[nodiscard]] bool Init(os::InstanceHandle pkInstance, COrvaneGameFactory& kFactory, std::int32_t iWidth,
                            std::int32_t iHeight);
    // True when the program may run.
    [[nodiscard]] bool Start();
    // The main loop; false once it ends (the program's exit code 0). Where
    // the renderer presents at once (a windowed device: it does not wait for
    // the retrace), each frame is paced to the display's refresh, 60 Hz when
    // unknown, as the device paces itself where it should wait but cannot;
    // a window never draws faster than the display shows.
    bool Run();
    // Null restores the real sleep.
    void SetFrameSleep(FrameSleep kSleep) { m_kFrameSleep = std::move(kSleep); }
    // The pause after each drawn frame's present; 0 when the device paces its
    // own presents or frames are not paced. A frame left undrawn (a still
    // screen) waits one refresh all the same.
    [[nodiscard]] std::chrono::nanoseconds GetFramePeriod() const;
    void Shutdown();

    [[nodiscard]] COrvaneSystem* GetSystem() const { return m_pkSystem.get(); }
    [[nodiscard]] COrvaneGame* GetGame() const { return m_pkGame.get(); }
    [[nodiscard]] COrvaneWindow* GetWindow() const { return m_pkWindow.get(); }
    [[nodiscard]] float GetFrameTime() const { return m_fFrameTime; }
    [[nodiscard]] float GetTotalTime() const { return m_fTotalTime; }
    [[nodiscard]] float GetPreviousTotal() const { return m_fPreviousTotal; }
    [[nodiscard]] bool IsQuitRequested() const { return m_ucQuit != 0; }
    [[nodiscard]] bool IsRendererStarted() const { return m_ucRendererStarted != 0; }
    [[nodiscard]] bool IsFullScreen() const { return m_ucFullScreen != 0; }
    void SetFullScreen(bool bFullScreen) { m_ucFullScreen = bFullScreen ? 1 : 0; }

private:
    COrvaneApplication() = default;

    std::unique_ptr<COrvaneSystem> m_pkSystem;
    std::unique_ptr<COrvaneGame> m_pkGame;
    std::unique_ptr<COrvaneWindow> m_pkWindow;
    float m_fFrameTime = 0.0f;
    float m_fTotalTime = 0.0f;
    float m_fPreviousTotal = 0.0f;
    std::uint8_t m_ucQuit = 0;
    std::uint8_t m_ucRendererStarted = 0;
    std::uint8_t m_ucFullScreen = 0;
    // The device's own pacer, run by the loop where the device does not pace.
    gfx::FramePacer m_kPacer;
    FrameSleep m_kFrameSleep;

    float m_fLastInput = 0.0f;
    float m_fLastRender = 0.0f;
    std::int32_t m_iLastState = -1;

    // bDrawn: this frame was drawn (and presented).
    void PaceFrame(bool bEveryFrame, bool bDrawn);
    [[nodiscard]] const NiRenderer* GetEngineRenderer() const;
    // Whether this frame is drawn; bInput: input arrived for it.
    [[nodiscard]] bool FrameWanted(bool bEveryFrame, bool bInput);
};
