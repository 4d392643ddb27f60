// A compiled high-level program's code as the device and the constant table
// reader take it back: never a crash; a block is refused whole, or it reads
// and writes back to the same bytes, and its table answers every question.
//
// Input: the first byte's low bit set asks that the size and checksum fields
// of the rest be made right first, so the fields behind them are reached;
// the rest is the block.

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
gfx::IDirect3DDevice9* g_pkDevice = nullptr;

void Put32(std::vector<std::uint8_t>& kBytes, std::size_t uiAt, std::uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        kBytes[uiAt + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

// The header fields as the writer would have set them.
void Repair(std::vector<std::uint8_t>& kBytes)
{
    if (kBytes.size() < 20)
        return;
    Put32(kBytes, 12, static_cast<std::uint32_t>(kBytes.size()));
    std::uint32_t uiHash = 2166136261u;
    for (std::size_t i = 20; i < kBytes.size(); ++i)
        uiHash = (uiHash ^ kBytes[i]) * 16777619u;
    Put32(kBytes, 16, uiHash);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkDevice = fuzz::NullDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize == 0)
        return 0;
    std::vector<std::uint8_t> kBytes(pucData + 1, pucData + uiSize);
    if (pucData[0] & 1)
        Repair(kBytes);

    gfx::ShaderContainer kContainer;
    if (!gfx::ReadShaderContainer(kBytes.data(), kBytes.size(), kContainer))
    {
        if (gfx::ID3DXConstantTable::FromCode(kBytes.data(), kBytes.size()) != nullptr)
            std::abort(); // the table must refuse what the reader refuses
        return 0;
    }
    // What reads must write back to the very bytes.
    if (gfx::WriteShaderContainer(kContainer) != kBytes)
        std::abort();
    gfx::ID3DXConstantTable* pkTable = gfx::ID3DXConstantTable::FromCode(kBytes.data(), kBytes.size());
    if (pkTable == nullptr)
        std::abort();
    gfx::D3DXCONSTANTTABLE_DESC kDesc;
    pkTable->GetDesc(&kDesc);
    const float afValues[64] = {1.0f};
    gfx::D3DXMATRIX kMatrix{};
    for (std::uint32_t i = 0; i < kDesc.Constants; ++i)
    {
        gfx::D3DXHANDLE hConstant = pkTable->GetConstant(nullptr, i);
        gfx::D3DXCONSTANT_DESC kConstant;
        std::uint32_t uiCount = 1;
        pkTable->GetConstantDesc(hConstant, &kConstant, &uiCount);
        (void)pkTable->GetSamplerIndex(hConstant);
        pkTable->GetConstantByName(nullptr, kConstant.Name);
        pkTable->SetFloatArray(g_pkDevice, hConstant, afValues, 64);
        pkTable->SetMatrix(g_pkDevice, pkTable->GetConstantElement(hConstant, 1), &kMatrix);
        // A struct's members, of the whole and of its second element.
        for (gfx::D3DXHANDLE hParent : {hConstant, pkTable->GetConstantElement(hConstant, 1)})
        {
            for (std::uint32_t m = 0; m < 4; ++m)
            {
                gfx::D3DXHANDLE hMember = pkTable->GetConstant(hParent, m);
                if (hMember == nullptr)
                    break;
                pkTable->GetConstantDesc(hMember, &kConstant, &uiCount);
                pkTable->GetConstantByName(hParent, kConstant.Name);
                pkTable->SetFloatArray(g_pkDevice, hMember, afValues, 64);
            }
        }
    }
    pkTable->SetDefaults(g_pkDevice);
    pkTable->Release();
    return 0;
}
