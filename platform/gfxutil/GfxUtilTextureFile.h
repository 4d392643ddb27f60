#pragma once
// Texture files by path, as effect parameters name them. DirectDraw Surface
// files go to the in-memory creation (levels copied as stored); PNG and JPEG
// are decoded here into A8R8G8B8 with their smaller levels made by a 2 x 2
// box filter. Every other file (BMP, TGA, ...) is refused with
// D3DXERR_INVALIDDATA, so the caller falls back to the engine's own readers.
// Volumes come from DDS files only.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilImage.h"

#include <cstdint>
#include <vector>

namespace gfx {

// Sizes and levels: 0 or D3DX_DEFAULT (0xFFFFFFFF) take the file's size and a
// full chain; a given level count is kept up to the full chain. Sizes are
// always the file's (nothing is resampled). Usage and pool go to the device;
// a format other than D3DFMT_UNKNOWN must be the decoded one (A8R8G8B8) for
// PNG and JPEG. Filters, colour key and palette are not used. `info`, when
// given, describes the file. The path goes through the path resolver.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t width,
                                     std::uint32_t height, std::uint32_t mipLevels, std::uint32_t usage,
                                     D3DFORMAT format, std::uint32_t pool, std::uint32_t filter,
                                     std::uint32_t mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                     void* palette, IDirect3DTexture9** texture);
// Only DDS files holding the six faces of a cube.
HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t size,
                                         std::uint32_t mipLevels, std::uint32_t usage, D3DFORMAT format,
                                         std::uint32_t pool, std::uint32_t filter, std::uint32_t mipFilter,
                                         D3DCOLOR colorKey, D3DXIMAGE_INFO* info, void* palette,
                                         IDirect3DCubeTexture9** texture);
// Only DDS files holding a volume; a level count other than 0 or D3DX_DEFAULT
// keeps that many of the file's levels at most.
HRESULT D3DXCreateVolumeTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t width,
                                           std::uint32_t height, std::uint32_t depth, std::uint32_t mipLevels,
                                           std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                           std::uint32_t filter, std::uint32_t mipFilter, D3DCOLOR colorKey,
                                           D3DXIMAGE_INFO* info, void* palette, IDirect3DVolumeTexture9** texture);

// Decodes a PNG or JPEG file image into rows of B, G, R, A bytes (the memory
// order of A8R8G8B8); false for anything else or a damaged file.
bool DecodeImageFile(const void* data, std::uint32_t size, std::uint32_t& width, std::uint32_t& height,
                     std::vector<std::uint8_t>& bgra, std::uint32_t& fileFormat);

} // namespace gfx
