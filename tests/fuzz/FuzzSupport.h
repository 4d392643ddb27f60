#pragma once

// Shared by the fuzz targets: the engine started the way the game starts
// it, and a scratch file for loaders that only open files by name.

#include "platform/gfx/GfxTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace gfx
{
class IDirect3DDevice9;
class IDirect3DPixelShader9;
class IDirect3DVertexShader9;
}

namespace fuzz
{
// Registers the engine libraries in the game's order and starts them; once
// per process, later calls do nothing.
void StartEngine();

// A 16 x 16 windowed device on the null back end, made on the first call and
// kept for the process; aborts when it cannot be made.
gfx::IDirect3DDevice9* NullDevice();

// An 8 x 8 windowed device on the gl back end, or null when this process's
// video driver gives no OpenGL (SDL_VIDEODRIVER=offscreen does). Each call
// makes another.
gfx::IDirect3DDevice9* GlDevice();

// One triangle drawn with the programs given and the fixed-function stage in
// place of the one that is null; the programs are unbound again after. The
// draw's result: D3DERR_DRIVERINTERNALERROR is GLSL the driver would not link.
gfx::HRESULT DrawTriangle(gfx::IDirect3DDevice9* pkDevice, gfx::IDirect3DVertexShader9* pkVertex,
                          gfx::IDirect3DPixelShader9* pkPixel);

// One file per process (the name holds the process id, so parallel fuzzing
// jobs never share it), rewritten with each input and removed at exit.
class ScratchFile
{
public:
    // The suffix picks the loader where the extension does (".tga").
    explicit ScratchFile(const char* pcSuffix);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // False when the bytes could not all be written.
    [[nodiscard]] bool Write(const std::uint8_t* pucData, std::size_t uiSize) const;
    [[nodiscard]] const char* GetPath() const { return m_kPath.c_str(); }

private:
    std::string m_kPath;
};
} // namespace fuzz
