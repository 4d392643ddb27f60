#include "platform/gfx/GfxGlFormat.h"

#include "platform/gfx/GfxFormat.h"

#include <utility>

namespace gfx {

bool GlColorFormat(D3DFORMAT f, GlFormat& out) {
    switch (f) {
    case D3DFMT_A8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    // No alpha stored: destination alpha reads 1, as the X format's does.
    case D3DFMT_X8R8G8B8: out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    case D3DFMT_R5G6B5: out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; return true;
    case D3DFMT_A4R4G4B4: out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; return true;
    default: {
        // Float targets store and read back as their textures do, red first.
        GlTextureFormat t;
        if (!IsFloatFormat(f) || !GlTextureFormatOf(f, t)) return false;
        out = {t.internal, t.format, t.type};
        return true;
    }
    }
}

bool GlTextureFormatOf(D3DFORMAT f, GlTextureFormat& out) {
    out = GlTextureFormat{};
    switch (f) {
    case D3DFMT_A8R8G8B8: out.internal = GL_RGBA8; out.format = GL_BGRA; out.type = GL_UNSIGNED_BYTE; out.bytes = 4; break;
    case D3DFMT_X8R8G8B8:
        out.internal = GL_RGBA8; out.format = GL_BGRA; out.type = GL_UNSIGNED_BYTE; out.bytes = 4;
        out.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_R5G6B5: out.internal = GL_RGB565; out.format = GL_RGB; out.type = GL_UNSIGNED_SHORT_5_6_5; out.bytes = 2; break;
    case D3DFMT_A1R5G5B5:
    case D3DFMT_X1R5G5B5:
        out.internal = GL_RGB5_A1; out.format = GL_BGRA; out.type = GL_UNSIGNED_SHORT_1_5_5_5_REV; out.bytes = 2;
        if (f == D3DFMT_X1R5G5B5) out.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_A4R4G4B4:
        out.internal = GL_RGBA4; out.format = GL_BGRA; out.type = GL_UNSIGNED_SHORT_4_4_4_4_REV; out.bytes = 2;
        break;
    // DXT1's fourth colour is transparent black where its two end colours
    // are ordered so: the RGBA variant keeps that alpha.
    case D3DFMT_DXT1: out.internal = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT; break;
    case D3DFMT_DXT3: out.internal = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT; break;
    case D3DFMT_DXT5: out.internal = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT; break;
    // du, dv and luminance sample as signed red, green and unsigned blue.
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_X8L8V8U8:
        out.internal = GL_RGBA16_SNORM; out.format = GL_RGBA; out.type = GL_SHORT; out.bytes = 8;
        out.convert = GlTextureFormat::Convert::Bump;
        break;
    default: {
        // Floats, red first; a channel the format lacks reads 1.
        struct FloatLayout {
            D3DFORMAT format;
            GLenum internal, layout, type;
            std::uint32_t bytes, channels;
        };
        static constexpr FloatLayout kFloats[] = {
            {D3DFMT_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, 2, 1},
            {D3DFMT_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, 2},
            {D3DFMT_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, 4},
            {D3DFMT_R32F, GL_R32F, GL_RED, GL_FLOAT, 4, 1},
            {D3DFMT_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, 8, 2},
            {D3DFMT_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, 4},
        };
        for (const FloatLayout& k : kFloats) {
            if (k.format != f) continue;
            out.internal = k.internal;
            out.format = k.layout;
            out.type = k.type;
            out.bytes = k.bytes;
            for (std::uint32_t c = k.channels; c < 4; ++c) out.swizzle[c] = GL_ONE;
            return true;
        }
        return false;
    }
    }
    return true;
}

void UnpackVolumeBlocks(GlTextureFormat& f) {
    if (f.bytes != 0) return;
    f.internal = GL_RGBA8;
    f.format = GL_BGRA;
    f.type = GL_UNSIGNED_BYTE;
    f.bytes = 4;
    f.convert = GlTextureFormat::Convert::Blocks;
}

void UploadBytesAsTheyStand(GlTextureFormat& f) {
    if (f.format != GL_BGRA || f.type != GL_UNSIGNED_BYTE) return;
    f.format = GL_RGBA;
    std::swap(f.swizzle[0], f.swizzle[2]);
}

GLenum GlDepthFormat(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_D16: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    default: return GL_DEPTH24_STENCIL8;
    }
}

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

} // namespace gfx
