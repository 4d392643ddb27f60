#pragma once
// Shared by the gfx tests: SDL driver choice and device creation.

#include "platform/gfx/Gfx.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"
#include "tests/GlLibraryPin.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace gfxtest {

// The caller's SDL_VIDEODRIVER, read before any test sets its own, so that a
// null test's "dummy" is not taken for the caller's choice by a later gl test.
inline const std::string& CallerDriver() {
    static const std::string driver = [] {
        const char* v = std::getenv("SDL_VIDEODRIVER");
        return std::string(v ? v : "");
    }();
    return driver;
}
// Runs before main: the value is captured before any test changes it.
inline const bool kCallerDriverRead = (CallerDriver(), true);

// Keeps Mesa's libraries mapped after SDL unloads them (tests/GlLibraryPin.h).
inline void PinGlLibraries() { testsupport::PinGlLibraries(); }

// Sets the SDL video driver for a back end before SDL starts: gl needs
// offscreen (EGL, no X server), null runs on dummy; a caller's choice wins.

inline void UseDriverFor(gfx::BackendKind kind) {
    PinGlLibraries();
    const std::string& caller = CallerDriver();
    const char* driver = !caller.empty() ? caller.c_str() : (kind == gfx::BackendKind::Gl ? "offscreen" : "dummy");
    setenv("SDL_VIDEODRIVER", driver, 1);
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
}

inline const char* KindName(gfx::BackendKind kind) { return kind == gfx::BackendKind::Gl ? "Gl" : "Null"; }

// Windowed presentation parameters of a small back buffer.
inline gfx::D3DPRESENT_PARAMETERS Windowed(std::uint32_t w, std::uint32_t h,
                                           gfx::D3DFORMAT format = gfx::D3DFMT_X8R8G8B8, bool lockable = true,
                                           bool depth = true) {
    gfx::D3DPRESENT_PARAMETERS p;
    p.BackBufferWidth = w;
    p.BackBufferHeight = h;
    p.BackBufferFormat = format;
    p.BackBufferCount = 1;
    p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    p.EnableAutoDepthStencil = depth ? 1 : 0;
    p.AutoDepthStencilFormat = gfx::D3DFMT_D24S8;
    p.Flags = lockable ? gfx::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;
    p.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
    return p;
}

// A hidden window of the os layer, as the game has; destroyed at scope end,
// and the os layer stopped, so the next test starts SDL on its own driver.
class TestWindow {
public:
    TestWindow(int width, int height) {
        os::WindowClass existing;
        if (!os::GetClassInfo(kClass, existing)) {
            os::WindowClass wc;
            wc.name = kClass;
            wc.procedure = &Procedure;
            (void)os::RegisterClass(wc);
        }
        handle = os::CreateWindowEx(0, kClass, "gfx test", 0, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
    }
    ~TestWindow() {
        if (handle) os::DestroyWindow(handle);
        os::UnregisterClass(kClass, nullptr);
        os::Shutdown();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    os::WindowHandle handle = nullptr;

private:
    static constexpr const char* kClass = "gfx test window";
    static os::LResult Procedure(os::WindowHandle, std::uint32_t, os::WParam, os::LParam) { return 0; }
};

// Reference holder for the tests: releases what it holds at scope end.
template <class T> struct Ref {
    T* p = nullptr;
    Ref() = default;
    explicit Ref(T* v) : p(v) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    T* get() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace gfxtest
