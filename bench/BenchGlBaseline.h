#pragma once

// The plain-GL baseline of the device benchmarks: what every such baseline
// sets up before its own buffers and state.

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

// A hidden window with the device's pixel format (8-bit colour, 24-bit
// depth, 8-bit stencil) and a context of its own, no swap interval. SDL's
// video is up from Open to the end of its life; the owner deletes its GL
// objects, with the context current, before it goes.
class BenchGlWindow
{
public:
    BenchGlWindow() = default;
    BenchGlWindow(const BenchGlWindow&) = delete;
    BenchGlWindow& operator=(const BenchGlWindow&) = delete;
    ~BenchGlWindow();

    bool Open(int iWidth, int iHeight);
    // Makes the context current unless it already is.
    void MakeCurrent();

    SDL_Window* m_pkWindow = nullptr;
    SDL_GLContext m_pkContext = nullptr;
};

// A program of the two sources, linked; the shaders are released once it is.
// 0 when it does not link.
[[nodiscard]] GLuint BenchGlProgram(const char* pcVertex, const char* pcFragment);
