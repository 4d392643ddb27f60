// Shader assembly text as the program creators hand it to the platform
// assembler, and the bytes themselves as a compiled program handed to the
// device. Text that assembles must give a stream the device takes whole and
// refuses cut short (unless its translator cannot run what the text asks,
// such as texture reads in a vertex program: then it is refused whole too);
// errors come as NUL-terminated text, never with code.

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "tests/fuzz/FuzzSupport.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
gfx::IDirect3DDevice9* g_pkDevice = nullptr;

// Creates a program of the stream's kind; true when the device took it.
bool Create(const std::uint32_t* puiTokens, std::uint32_t uiBytes)
{
    if (uiBytes >= 4 && (puiTokens[0] & 0xFFFF0000u) == 0xFFFF0000u)
    {
        gfx::IDirect3DPixelShader9* pkShader = nullptr;
        if (gfx::FAILED(g_pkDevice->CreatePixelShader(puiTokens, uiBytes, &pkShader)))
            return false;
        pkShader->Release();
        return true;
    }
    gfx::IDirect3DVertexShader9* pkShader = nullptr;
    if (gfx::FAILED(g_pkDevice->CreateVertexShader(puiTokens, uiBytes, &pkShader)))
        return false;
    pkShader->Release();
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkDevice = fuzz::NullDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0x100000)
        return 0;
    const auto uiBytes = static_cast<std::uint32_t>(uiSize);

    // The bytes as a compiled program, in a copy of exactly their size.
    std::vector<std::uint32_t> kWords(uiSize / 4);
    if (!kWords.empty())
        std::memcpy(kWords.data(), pucData, kWords.size() * 4);
    (void)Create(kWords.empty() ? nullptr : kWords.data(), static_cast<std::uint32_t>(kWords.size() * 4));

    // The bytes as assembly text.
    const std::vector<char> kText(pucData, pucData + uiSize);
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    const gfx::HRESULT hr = gfx::D3DXAssembleShader(kText.empty() ? nullptr : kText.data(), uiBytes,
                                                    uiSize ? gfx::D3DXSHADER_SKIPVALIDATION & pucData[0] : 0u,
                                                    &pkCode, &pkErrors);
    if (gfx::SUCCEEDED(hr) != (pkCode != nullptr) || gfx::SUCCEEDED(hr) == (pkErrors != nullptr))
        std::abort();
    if (pkErrors)
    {
        const auto* pcText = static_cast<const char*>(pkErrors->GetBufferPointer());
        if (pkErrors->GetBufferSize() == 0 || pcText[pkErrors->GetBufferSize() - 1] != '\0')
            std::abort();
        pkErrors->Release();
    }
    if (pkCode)
    {
        const auto* puiTokens = static_cast<const std::uint32_t*>(pkCode->GetBufferPointer());
        const std::uint32_t uiCode = pkCode->GetBufferSize();
        if (!Create(puiTokens, uiCode))
        {
            gfx::TranslatedShader kTranslated;
            std::string kWhy;
            if (gfx::TranslateShader(puiTokens, uiCode / 4, kTranslated, kWhy))
                std::abort();
        }
        for (std::uint32_t uiCut = 0; uiCut < uiCode; uiCut += 4)
        {
            const std::vector<std::uint32_t> kCut(puiTokens, puiTokens + uiCut / 4);
            if (Create(kCut.empty() ? nullptr : kCut.data(), uiCut))
                std::abort();
        }
        pkCode->Release();
    }
    return 0;
}
