#pragma once

// Start and stop of the layer, display modes, and the test reset.

#include <cstdint>
#include <string>
#include <vector>

namespace os
{
// Starts SDL's video, events and timer subsystems (the driver comes from
// SDL_VIDEODRIVER as usual). Every call that needs SDL starts the layer
// itself, so calling this is optional; it is idempotent. False (with the
// reason on standard error) when SDL cannot start.
bool Startup();
// Destroys every window silently (no WM_DESTROY), drops the queue and ends
// the subsystems this layer started.
void Shutdown();
[[nodiscard]] bool IsStarted();

// The test reset of every process-wide state of the layer: windows
// destroyed silently, classes unregistered, queue and pending quit dropped,
// SDL events flushed, key and button state cleared, cursor counter 0 and
// cursor shown, clip and capture released, folder searches closed, clock
// and message-box hook back to their defaults. SDL stays started.
void Reset();

// The name of the SDL video driver in use ("x11", "wayland", "dummy",
// "offscreen", ...); empty before Startup.
[[nodiscard]] std::string GetVideoDriverName();
// True on the drivers that have no display: "dummy" and "offscreen".
[[nodiscard]] bool IsHeadless();
// True when the driver can give windows an OpenGL context (not "dummy").
[[nodiscard]] bool DriverOffersGl();

// ---- Display modes ----
struct DisplayMode
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;
    std::int32_t refreshRate = 0; // Hz; 0 unknown
};
[[nodiscard]] int GetDisplayCount();
[[nodiscard]] std::string GetDisplayName(int display);
// The modes SDL lists for a display, largest first, without duplicates.
[[nodiscard]] std::vector<DisplayMode> GetDisplayModes(int display);
[[nodiscard]] bool GetDesktopDisplayMode(int display, DisplayMode& out);
} // namespace os
