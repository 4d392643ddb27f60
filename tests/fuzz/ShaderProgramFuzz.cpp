// Random program token streams through the walker and the translator: never
// a crash; a stream is refused, or the device takes it. Where SDL gives an
// OpenGL context (SDL_VIDEODRIVER=offscreen), each program the translator
// takes is also drawn on the gl device beside the fixed-function other half,
// so its GLSL compiles (the gl device refuses at creation what its driver
// does not compile) and links, or the run stops.
//
// Input: the first byte picks the version token (vs_1_1 .. ps_3_0), the rest
// are the tokens after it; an end token is added.

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr std::uint32_t kVersions[] = {0xFFFE0101u, 0xFFFE0200u, 0xFFFE0201u, 0xFFFE0300u,
                                       0xFFFF0101u, 0xFFFF0102u, 0xFFFF0103u, 0xFFFF0104u,
                                       0xFFFF0200u, 0xFFFF0201u, 0xFFFF0300u};

gfx::IDirect3DDevice9* g_pkNull = nullptr;
gfx::IDirect3DDevice9* g_pkGl = nullptr;

// Creates the program on a device; true when it took it. With `bDraw` it
// is drawn once with the fixed-function other half.
bool Create(gfx::IDirect3DDevice9* pkDevice, const std::vector<std::uint32_t>& kTokens, bool bDraw)
{
    const auto uiBytes = static_cast<std::uint32_t>(kTokens.size() * 4);
    const bool bPixel = (kTokens[0] & 0xFFFF0000u) == 0xFFFF0000u;
    gfx::HRESULT hr = gfx::D3D_OK;
    gfx::IDirect3DVertexShader9* pkVertex = nullptr;
    gfx::IDirect3DPixelShader9* pkPixel = nullptr;
    if (bPixel)
        hr = pkDevice->CreatePixelShader(kTokens.data(), uiBytes, &pkPixel);
    else
        hr = pkDevice->CreateVertexShader(kTokens.data(), uiBytes, &pkVertex);
    if (gfx::FAILED(hr))
        return false;
    if (bDraw)
    {
        hr = fuzz::DrawTriangle(pkDevice, pkVertex, pkPixel);
        // A program the translator took whose GLSL the driver refuses.
        if (hr == gfx::D3DERR_DRIVERINTERNALERROR)
            std::abort();
    }
    if (pkVertex)
        pkVertex->Release();
    if (pkPixel)
        pkPixel->Release();
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkNull = fuzz::NullDevice();
    g_pkGl = fuzz::GlDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize < 1 || uiSize > 0x10000)
        return 0;
    std::vector<std::uint32_t> kTokens(1 + (uiSize - 1) / 4);
    kTokens[0] = kVersions[pucData[0] % (sizeof(kVersions) / sizeof(kVersions[0]))];
    if (kTokens.size() > 1)
        std::memcpy(kTokens.data() + 1, pucData + 1, (kTokens.size() - 1) * 4);
    kTokens.push_back(gfx::D3DSIO_END);

    const std::size_t uiWalked = gfx::WalkShaderTokens(kTokens.data(), kTokens.size(), kTokens[0] & 0xFFFF0000u);
    if (uiWalked > kTokens.size())
        std::abort();
    gfx::TranslatedShader kShader;
    std::string kError;
    const bool bTranslated = gfx::TranslateShader(kTokens.data(), kTokens.size(), kShader, kError);
    if (bTranslated && uiWalked == 0)
        std::abort(); // taken although the walker refuses it
    if (!bTranslated && kError.empty())
        std::abort(); // refused without saying why
    // The device takes exactly what walks and translates, up to the end token.
    const std::vector<std::uint32_t> kWhole(kTokens.begin(), kTokens.begin() + static_cast<std::ptrdiff_t>(uiWalked ? uiWalked : 1));
    if (uiWalked != 0)
    {
        std::string kCheckError;
        gfx::TranslatedShader kAgain;
        const bool bWholeTranslated = gfx::TranslateShader(kWhole.data(), kWhole.size(), kAgain, kCheckError);
        if (Create(g_pkNull, kWhole, false) != bWholeTranslated)
            std::abort();
        // The gl device compiles the program's GLSL as it is made: a refusal
        // there of a program the translator took is GLSL the driver rejects,
        // unless the check process of a large program timed out or died on it.
        const std::uint32_t uiRefused = gfx::GlProgramGateRefusalsForTests();
        if (bWholeTranslated && g_pkGl != nullptr && !Create(g_pkGl, kWhole, true) &&
            gfx::GlProgramGateRefusalsForTests() == uiRefused)
            std::abort();
    }
    return 0;
}
