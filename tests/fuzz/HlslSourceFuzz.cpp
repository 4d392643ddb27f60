// A high-level program's source as the program creator compiles it from a
// data file: never a crash or a hang, whatever the text (the HLSL front end
// runs out of the process; the layout of the globals and the translation
// stay in it). A source that compiles gives code the device's container
// reader and the constant table read back.
//
// Input: the first byte picks the profile (its place in the list below), the
// rest is the source, compiled for the entry point "main".

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr const char* kProfiles[] = {"vs_1_1", "vs_2_0", "vs_3_0", "ps_2_0", "ps_3_0"};
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
    }
    else if (pkErrors == nullptr || pkErrors->GetBufferSize() == 0)
        std::abort(); // refused without saying why
    if (pkCode)
        pkCode->Release();
    if (pkErrors)
        pkErrors->Release();
    return 0;
}
