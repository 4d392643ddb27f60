// DirectDraw Surface files in memory as the renderer's direct road hands
// them to the platform loader: the information first, then a texture (plain,
// cube or volume, by what the information says) on a null device, whose every
// level is locked and read back. A file described as sound must make a
// texture of the size and levels described, unless the device refuses its
// format.

#include "platform/gfx/Gfx.h"
#include "tests/fuzz/FuzzSupport.h"
#include "platform/gfx/GfxFormat.h"
#include "platform/gfxutil/GfxUtilImage.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
gfx::IDirect3DDevice9* g_pkDevice = nullptr;

// Every byte of every level is touched, so a level shorter than it claims
// shows.
std::uint32_t Touch(gfx::IDirect3DSurface9* pkSurface)
{
    gfx::D3DLOCKED_RECT kLocked{};
    if (gfx::FAILED(pkSurface->LockRect(&kLocked, nullptr, gfx::D3DLOCK_READONLY)))
        std::abort();
    std::uint32_t uiSum = 0;
    const std::uint32_t uiRows = gfx::FormatRows(pkSurface->Format(), pkSurface->Height());
    const std::uint32_t uiRowBytes = gfx::FormatPitch(pkSurface->Format(), pkSurface->Width());
    for (std::uint32_t r = 0; r < uiRows; ++r)
        for (std::uint32_t c = 0; c < uiRowBytes; ++c)
            uiSum += static_cast<const std::uint8_t*>(kLocked.pBits)[std::size_t(r) * kLocked.Pitch + c];
    pkSurface->UnlockRect();
    return uiSum;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_pkDevice = fuzz::NullDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0xFFFFFFFFu)
        return 0;
    // A copy of its own size, so a read past the end is caught.
    const std::vector<std::uint8_t> kBytes(pucData, pucData + uiSize);
    const void* pvData = kBytes.empty() ? static_cast<const void*>(&kBytes) : kBytes.data();
    const auto uiBytes = static_cast<std::uint32_t>(uiSize);

    gfx::D3DXIMAGE_INFO kInfo;
    const bool bInfo = gfx::SUCCEEDED(gfx::D3DXGetImageInfoFromFileInMemory(pvData, uiBytes, &kInfo));
    if (bInfo && (kInfo.Width == 0 || kInfo.Height == 0 || kInfo.MipLevels == 0 ||
                  kInfo.Width > gfx::D3DX_MAX_IMAGE_SIDE || kInfo.Height > gfx::D3DX_MAX_IMAGE_SIDE))
        std::abort();

    gfx::IDirect3DTexture9* pkTexture = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXCreateTextureFromFileInMemory(g_pkDevice, pvData, uiBytes, &pkTexture)))
    {
        if (!bInfo || kInfo.ResourceType != gfx::D3DRTYPE_TEXTURE || pkTexture->GetLevelCount() != kInfo.MipLevels ||
            pkTexture->Format() != kInfo.Format)
            std::abort();
        for (std::uint32_t uiLevel = 0; uiLevel < pkTexture->GetLevelCount(); ++uiLevel)
            (void)Touch(pkTexture->Level(uiLevel));
        pkTexture->Release();
    }
    gfx::IDirect3DCubeTexture9* pkCube = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXCreateCubeTextureFromFileInMemory(g_pkDevice, pvData, uiBytes, &pkCube)))
    {
        if (!bInfo || kInfo.ResourceType != gfx::D3DRTYPE_CUBETEXTURE || pkCube->GetLevelCount() != kInfo.MipLevels)
            std::abort();
        for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
            for (std::uint32_t uiLevel = 0; uiLevel < pkCube->GetLevelCount(); ++uiLevel)
                (void)Touch(pkCube->Face(uiFace, uiLevel));
        pkCube->Release();
    }
    gfx::IDirect3DVolumeTexture9* pkVolume = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXCreateVolumeTextureFromFileInMemory(g_pkDevice, pvData, uiBytes, &pkVolume)))
    {
        if (!bInfo || kInfo.ResourceType != gfx::D3DRTYPE_VOLUMETEXTURE || pkVolume->GetLevelCount() != kInfo.MipLevels ||
            pkVolume->Level(0)->Depth() != kInfo.Depth)
            std::abort();
        for (std::uint32_t uiLevel = 0; uiLevel < pkVolume->GetLevelCount(); ++uiLevel)
        {
            // Every byte of every slice, as for the 2-D levels.
            const gfx::IDirect3DVolume9* pkLevel = pkVolume->Level(uiLevel);
            const std::size_t uiBytesOfLevel = std::size_t(pkLevel->SlicePitch()) * pkLevel->Depth();
            std::uint32_t uiSum = 0;
            for (std::size_t i = 0; i < uiBytesOfLevel; ++i)
                uiSum += pkLevel->Bytes()[i];
            (void)uiSum;
        }
        pkVolume->Release();
    }
    if (g_pkDevice->LiveDefaultPoolResources() != 0)
        std::abort();
    return 0;
}
