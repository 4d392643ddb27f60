#pragma once
// Keeps the GL driver stack (EGL, Mesa's dispatch and its software driver)
// mapped after SDL and EGL unload it, so that LeakSanitizer can still name the
// libraries behind their own process-lifetime allocations and apply the
// suppressions of tests/SanitizerDefaults.cpp. Without the pin those
// allocations show as "<unknown module>" leaks at exit.

#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

namespace testsupport
{
inline void PinGlLibraries()
{
    static const bool s_bPinned = [] {
        for (const char* pcLibrary : {"libEGL.so.1", "libEGL_mesa.so.0", "libglapi.so.0", "libGL.so.1",
                                      "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                                      "/usr/lib/aarch64-linux-gnu/dri/swrast_dri.so"})
            dlopen(pcLibrary, RTLD_NOW | RTLD_NODELETE);
        return true;
    }();
    (void)s_bPinned;
}

// For test programs that default to SDL's dummy driver: GL is reached only
// when the caller chose another driver (offscreen), and only then pinned.
inline void PinGlLibrariesUnlessDummyVideo()
{
    const char* pcDriver = std::getenv("SDL_VIDEODRIVER");
    if (pcDriver != nullptr && std::string_view(pcDriver) != "dummy")
        PinGlLibraries();
}
} // namespace testsupport
