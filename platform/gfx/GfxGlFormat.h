#pragma once

// Direct3D formats as OpenGL stores, uploads and reads them.

#include "platform/gfx/GfxTypes.h"

#include <epoxy/gl.h>

#include <cstdint>

namespace gfx {

struct GlFormat {
    GLenum internal, format, type;
};

// A colour target's storage; false for a format GL does not draw into.
[[nodiscard]] bool GlColorFormat(D3DFORMAT f, GlFormat& out);

// How a texture format is uploaded and read: GL storage and a swizzle that
// gives a format without alpha an alpha of 1 (and one without green or blue
// those of 1). The device makes textures of the six colour formats, the
// block-compressed, bump and float ones.
struct GlTextureFormat {
    GLenum internal = 0, format = 0, type = 0;
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    std::uint32_t bytes = 0; // per pixel; 0 for blocks, uploaded compressed as they stand
    // Texels converted on the way up (GfxTexelConvert.h): bump texels to four
    // signed shorts, blocks of a volume to B, G, R, A bytes.
    enum class Convert { None, Bump, Blocks } convert = Convert::None;
};

[[nodiscard]] bool GlTextureFormatOf(D3DFORMAT f, GlTextureFormat& out);

// A volume of blocks goes up unpacked: OpenGL makes no 3-D texture of S3TC blocks.
void UnpackVolumeBlocks(GlTextureFormat& f);

// Bytes of the 8-bit formats stand B, G, R, A in memory. A texture GL never
// draws into goes up as RGBA, byte for byte, and the swizzle swaps red and
// blue back when it is sampled: drivers that store RGBA (llvmpipe does) then
// copy rather than reorder every texel, about ten times faster.
void UploadBytesAsTheyStand(GlTextureFormat& f);

[[nodiscard]] GLenum GlDepthFormat(D3DFORMAT f);

// A D3DCOLOR as red, green, blue and alpha from 0 to 1.
void ColorToFloats(D3DCOLOR c, float out[4]);

} // namespace gfx
