#pragma once

#include <cstdint>

// The process-wide debug switches, read from the "DEBUG" section of
// "./data.xml".
class COrvaneDebugOptions
{
public:
    COrvaneDebugOptions();
    virtual ~COrvaneDebugOptions() = default;

    // The one instance, made with the defaults.
    [[nodiscard]] static COrvaneDebugOptions& Get();
    // Back to the defaults (tests).
    static void ResetInstance();

    virtual void SetDefaults();
    // Reads "./data.xml"; false (and a note on the debugger output) when
    // the file, its "DEBUG" section or any child of it is missing.
    virtual bool Load();
    // Sets the switch of that exact name; nothing once fulltrace is on.
    void SetOption(const char* pcName, bool bValue);
    virtual void Release() {}

    [[nodiscard]] bool GetFullTrace() const { return m_ucFullTrace != 0; }
    [[nodiscard]] bool GetClumpLoad() const { return m_ucClumpLoad != 0; }
    [[nodiscard]] bool GetAssetPool() const { return m_ucAssetPool != 0; }
    [[nodiscard]] bool GetStreamChecking() const { return m_ucStreamChecking != 0; }
    [[nodiscard]] bool GetDebugTxtOnScreen() const { return m_ucDebugTxtOnScreen != 0; }
    [[nodiscard]] bool GetHasStartupScreen() const { return m_ucHasStartupScreen != 0; }
    [[nodiscard]] bool GetReadTxd() const { return m_ucReadTxd != 0; }
    [[nodiscard]] bool GetCameraCoords() const { return m_ucCameraCoords != 0; }

private:
    std::uint8_t m_ucFullTrace = 0;
    std::uint8_t m_ucClumpLoad = 0;
    std::uint8_t m_ucAssetPool = 0;
    std::uint8_t m_ucStreamChecking = 0;
    std::uint8_t m_ucDebugTxtOnScreen = 0;
    std::uint8_t m_ucHasStartupScreen = 0;
    std::uint8_t m_ucReadTxd = 0;
    std::uint8_t m_ucCameraCoords = 0;
};
