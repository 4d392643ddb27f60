// A high-level program's source as the program creator compiles it from a
// data file: never a crash or a hang, whatever the text (the HLSL front end
// runs out of the process; the layout of the globals and the translation
// stay in it). A source that compiles gives code the device's container
// reader and the constant table read back. Where SDL gives an OpenGL context
// (SDL_VIDEODRIVER=offscreen), code the gl device takes is drawn once beside
// the fixed-function other half: a program made is a program that links.
//
// Input: the first byte picks the profile (its place in the list below), the
// rest is the source, compiled for the entry point "main".

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr const char* kProfiles[] = {"vs_1_1", "vs_2_0", "vs_3_0", "ps_2_0", "ps_3_0"};

gfx::IDirect3DDevice9* g_pkGl = nullptr;

// Makes the compiled code on a device; true when it took it (the program is
// then in one of the two out parameters).
bool Make(gfx::IDirect3DDevice9* pkDevice, gfx::ID3DXBuffer& kCode, bool bPixel, gfx::IDirect3DVertexShader9*& pkVertex,
          gfx::IDirect3DPixelShader9*& pkPixel)
{
    const auto* puiCode = static_cast<const std::uint32_t*>(kCode.GetBufferPointer());
    const std::uint32_t uiBytes = kCode.GetBufferSize();
    return gfx::SUCCEEDED(bPixel ? pkDevice->CreatePixelShader(puiCode, uiBytes, &pkPixel)
                                 : pkDevice->CreateVertexShader(puiCode, uiBytes, &pkVertex));
}

// Makes the compiled code on the gl device and draws it once. Code the null
// device takes the gl device must take too (it refuses only what its driver
// does not compile), and a draw the driver fails is a program made that
// cannot run.
void DrawOnGl(gfx::ID3DXBuffer& kCode, bool bPixel)
{
    gfx::IDirect3DVertexShader9* pkVertex = nullptr;
    gfx::IDirect3DPixelShader9* pkPixel = nullptr;
    const bool bNull = Make(fuzz::NullDevice(), kCode, bPixel, pkVertex, pkPixel);
    if (pkVertex)
        pkVertex->Release();
    if (pkPixel)
        pkPixel->Release();
    pkVertex = nullptr;
    pkPixel = nullptr;
    const std::uint32_t uiRefused = gfx::GlProgramGateRefusalsForTests();
    if (!Make(g_pkGl, kCode, bPixel, pkVertex, pkPixel))
    {
        // Code the driver does not compile; a program its check process
        // timed out or died on is refused by design.
        if (bNull && gfx::GlProgramGateRefusalsForTests() == uiRefused)
            std::abort();
        return;
    }
    const gfx::HRESULT hrDraw = fuzz::DrawTriangle(g_pkGl, pkVertex, pkPixel);
    if (hrDraw == gfx::D3DERR_DRIVERINTERNALERROR)
        std::abort();
    if (pkVertex)
        pkVertex->Release();
    if (pkPixel)
        pkPixel->Release();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkGl = fuzz::GlDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize < 1 || uiSize > 0x4000)
        return 0;
    const char* pcProfile = kProfiles[pucData[0] % (sizeof(kProfiles) / sizeof(kProfiles[0]))];
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCompileShader(reinterpret_cast<const char*>(pucData + 1),
                                                   static_cast<std::uint32_t>(uiSize - 1), "main", pcProfile, 0,
                                                   &pkCode, &pkErrors, nullptr);
    if (gfx::SUCCEEDED(hr))
    {
        if (pkCode == nullptr)
            std::abort(); // success without code
        const auto* pucCode = static_cast<const std::uint8_t*>(pkCode->GetBufferPointer());
        gfx::ShaderContainer kContainer;
        if (!gfx::ReadShaderContainer(pucCode, pkCode->GetBufferSize(), kContainer))
            std::abort(); // the compiler wrote code its own reader refuses
        gfx::ID3DXConstantTable* pkTable = nullptr;
        if (gfx::FAILED(gfx::D3DXGetShaderConstantTable(static_cast<const std::uint32_t*>(pkCode->GetBufferPointer()),
                                                        &pkTable)) ||
            pkTable == nullptr)
            std::abort(); // compiled code without a table
        pkTable->Release();
        if (g_pkGl != nullptr)
            DrawOnGl(*pkCode, pcProfile[0] == 'p');
    }
    else if (pkErrors == nullptr || pkErrors->GetBufferSize() == 0)
        std::abort(); // refused without saying why
    if (pkCode)
        pkCode->Release();
    if (pkErrors)
        pkErrors->Release();
    return 0;
}
