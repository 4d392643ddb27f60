#pragma once
// Image files in memory to device textures, in place of the utility
// library's loaders. Only DirectDraw Surface files are taken: their levels
// are copied as they stand into a texture of the file's own format, never
// decoded or converted, so every other file (BMP, TGA, ...) fails and the
// caller falls back to the engine's own readers.

#include "platform/gfx/Gfx.h"

#include <cstdint>

namespace gfx {

// File kinds of the image information (the published numbering).
constexpr std::uint32_t D3DXIFF_BMP = 0; // D3DXIFF_BMP
constexpr std::uint32_t D3DXIFF_JPG = 1; // D3DXIFF_JPG
constexpr std::uint32_t D3DXIFF_TGA = 2; // D3DXIFF_TGA
constexpr std::uint32_t D3DXIFF_PNG = 3; // D3DXIFF_PNG
constexpr std::uint32_t D3DXIFF_DDS = 4; // D3DXIFF_DDS

struct D3DXIMAGE_INFO {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Depth = 0;        // 1 unless a volume
    std::uint32_t MipLevels = 0;    // levels stored in the file (per face)
    D3DFORMAT Format = 0;           // the stored pixels' format
    std::uint32_t ResourceType = 0; // D3DRTYPE_TEXTURE, _CUBETEXTURE or _VOLUMETEXTURE
    std::uint32_t ImageFileFormat = 0;
};

// D3DX_DEFAULT (sizes and levels taken from the file)
constexpr std::uint32_t D3DX_DEFAULT = 0xFFFFFFFFu;

constexpr HRESULT D3DXERR_INVALIDDATA = MakeResult(0x88760B59u); // D3DXERR_INVALIDDATA

// What a file's pixels may be: beyond these the file is refused.
constexpr std::uint32_t D3DX_MAX_IMAGE_SIDE = 16384;
constexpr std::uint64_t D3DX_MAX_IMAGE_PIXELS = std::uint64_t(1) << 26;

// Describes the file in memory; D3DERR_INVALIDCALL for a null argument,
// D3DXERR_INVALIDDATA for anything that is not a whole, sound DDS file
// (short, hostile sizes, a format it cannot name, more levels than the
// sides halve to).
HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, std::uint32_t size, D3DXIMAGE_INFO* info);

// A MANAGED texture of the file's size, levels and format, filled level by
// level. Fails for a cube or volume file, or a format the device refuses.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                          IDirect3DTexture9** texture);
// The same for a volume file (its slices level by level).
HRESULT D3DXCreateVolumeTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                                IDirect3DVolumeTexture9** texture);
// The same for a file holding all six faces of a cube.
HRESULT D3DXCreateCubeTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                              IDirect3DCubeTexture9** texture);

} // namespace gfx
