#include "platform/gfx/GfxGlBackend.h"

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxTexelConvert.h"

#include <algorithm>
#include <iterator>

namespace gfx {

GlBackend::TextureShape GlBackend::ShapeOf(const IDirect3DBaseTexture9& t) {
    if (t.GetType() == D3DRTYPE_VOLUMETEXTURE) return VolumeShapeOf(static_cast<const IDirect3DVolumeTexture9&>(t));
    const bool cube = t.GetType() == D3DRTYPE_CUBETEXTURE;
    const IDirect3DSurface9* top = cube ? static_cast<const IDirect3DCubeTexture9&>(t).Face(0, 0)
                                        : static_cast<const IDirect3DTexture9&>(t).Level(0);
    TextureShape shape{t.GetType(), t.Format(), top->Width(), top->Height(), t.GetLevelCount(), 0};
    for (std::uint32_t level = 0; level < shape.levels; ++level)
        shape.bytes += FormatLevelSize(shape.format, std::max(shape.width >> level, 1u),
                                       std::max(shape.height >> level, 1u));
    if (cube) shape.bytes *= 6;
    return shape;
}

GlBackend::TextureShape GlBackend::VolumeShapeOf(const IDirect3DVolumeTexture9& t) {
    const IDirect3DVolume9& top = *t.Level(0);
    TextureShape shape{t.GetType(), t.Format(), top.Width(), top.Height(), t.GetLevelCount(), 0, top.Depth()};
    for (std::uint32_t level = 0; level < shape.levels; ++level)
        shape.bytes += std::size_t(t.Level(level)->SlicePitch()) * t.Level(level)->Depth();
    return shape;
}

void GlBackend::UploadLevel(GLenum target, GLint level, const GlTextureFormat& f, bool inPlace, D3DFORMAT format,
                 std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t pitch,
                 const std::uint8_t* bytes) {
    const GLsizei w = GLsizei(width), h = GLsizei(height), d = GLsizei(depth);
    const bool volume = target == GL_TEXTURE_3D;
    const std::size_t slice = std::size_t(pitch) * (IsCompressedFormat(format) ? std::max(1u, (height + 3) / 4) : height);
    if (f.bytes == 0) {
        const GLsizei size = GLsizei(FormatLevelSize(format, width, height));
        if (inPlace)
            glCompressedTexSubImage2D(target, level, 0, 0, w, h, f.internal, size, bytes);
        else
            glCompressedTexImage2D(target, level, f.internal, w, h, 0, size, bytes);
        return;
    }
    const void* pixels = bytes;
    if (f.convert == GlTextureFormat::Convert::None) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(pitch / f.bytes));
    } else {
        m_converted.resize(std::size_t(width) * height * depth * f.bytes);
        for (std::uint32_t z = 0; z < depth; ++z) {
            std::uint8_t* out = m_converted.data() + std::size_t(z) * width * height * f.bytes;
            if (f.convert == GlTextureFormat::Convert::Bump)
                ExpandBumpTexels(format, bytes + z * slice, pitch, width, height, reinterpret_cast<std::int16_t*>(out));
            else
                DecodeDxtBlocks(format, bytes + z * slice, width, height, out);
        }
        pixels = m_converted.data();
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    if (volume) {
        glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
        if (inPlace)
            glTexSubImage3D(target, level, 0, 0, 0, w, h, d, f.format, f.type, pixels);
        else
            glTexImage3D(target, level, GLint(f.internal), w, h, d, 0, f.format, f.type, pixels);
    } else if (inPlace) {
        glTexSubImage2D(target, level, 0, 0, w, h, f.format, f.type, pixels);
    } else {
        glTexImage2D(target, level, GLint(f.internal), w, h, 0, f.format, f.type, pixels);
    }
}

void GlBackend::KeepOrDeleteTexture(const IDirect3DResource9& r) {
    const GLuint name = r.backend.name;
    const auto found = m_textureShapes.find(name);
    // Target textures are drawn into and keep state of their own: never kept.
    if (found == m_textureShapes.end() || (r.Usage() & D3DUSAGE_RENDERTARGET) ||
        found->second.bytes > kSpareTextureBytesLimit) {
        if (found != m_textureShapes.end()) m_textureShapes.erase(found);
        glDeleteTextures(1, &name);
        return;
    }
    const TextureShape shape = found->second;
    m_textureShapes.erase(found);
    while (m_spareTextureBytes + shape.bytes > kSpareTextureBytesLimit) {
        glDeleteTextures(1, &m_spareTextures.front().name);
        m_spareTextureBytes -= m_spareTextures.front().shape.bytes;
        m_spareTextures.erase(m_spareTextures.begin());
    }
    m_spareTextures.push_back({shape, name});
    m_spareTextureBytes += shape.bytes;
}

GLuint GlBackend::TakeSpareTexture(const TextureShape& shape) {
    for (auto it = m_spareTextures.rbegin(); it != m_spareTextures.rend(); ++it) {
        if (!(it->shape == shape)) continue;
        const GLuint name = it->name;
        m_spareTextureBytes -= shape.bytes;
        m_spareTextures.erase(std::next(it).base());
        return name;
    }
    return 0;
}

void GlBackend::BindTargetTexture(GLuint unit, IDirect3DBaseTexture9& t, const GlTextureFormat& f) {
    if (t.GetType() != D3DRTYPE_CUBETEXTURE) {
        IDirect3DSurface9& level = *static_cast<IDirect3DTexture9&>(t).Level(0);
        EnsureColor(level);
        glBindTexture(GL_TEXTURE_2D, level.backend.name);
        m_boundTextures[unit] = level.backend.name;
        return;
    }
    auto& cube = static_cast<IDirect3DCubeTexture9&>(t);
    const GLsizei edge = GLsizei(cube.Face(0, 0)->Width());
    if (!t.backend.name) {
        glGenTextures(1, &t.backend.name);
        glBindTexture(GL_TEXTURE_CUBE_MAP, t.backend.name);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        for (GLenum face = 0; face < 6; ++face)
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GLint(f.internal), edge, edge, 0, f.format,
                         f.type, nullptr);
    }
    for (std::uint32_t face = 0; face < 6; ++face) EnsureColor(*cube.Face(face, 0));
    glBindTexture(GL_TEXTURE_CUBE_MAP, t.backend.name);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
    for (std::uint32_t face = 0; face < 6; ++face) {
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               cube.Face(face, 0)->backend.name, 0);
        glCopyTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, 0, 0, 0, 0, edge, edge);
    }
    m_boundFramebuffer = ~0u;
    m_boundTextures[unit] = t.backend.name;
}

void GlBackend::BindTexture(GLuint unit, IDirect3DBaseTexture9& t, const SamplerStates& ss) {
    GlTextureFormat f;
    if (!GlTextureFormatOf(t.Format(), f)) return;
    const bool cube = t.GetType() == D3DRTYPE_CUBETEXTURE;
    const bool volume = t.GetType() == D3DRTYPE_VOLUMETEXTURE;
    if (volume) UnpackVolumeBlocks(f);
    const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : (volume ? GL_TEXTURE_3D : GL_TEXTURE_2D);
    // Sampled textures go up (and keep the swizzle) as their bytes stand; the
    // sampler's border colour follows that swizzle too.
    if (!(t.Usage() & D3DUSAGE_RENDERTARGET)) UploadBytesAsTheyStand(f);
    if (unit != m_activeUnit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        m_activeUnit = unit;
    }
    if (t.Usage() & D3DUSAGE_RENDERTARGET) {
        BindTargetTexture(unit, t, f);
    } else if (!t.backend.name || t.backend.version != t.ContentVersion()) {
        // A kept texture of this shape already has its storage and
        // parameters (both follow from the shape): the levels go into it.
        bool inPlace = false;
        if (!t.backend.name) {
            const TextureShape shape = ShapeOf(t);
            t.backend.name = TakeSpareTexture(shape);
            inPlace = t.backend.name != 0;
            if (!inPlace) glGenTextures(1, &t.backend.name);
            m_textureShapes[t.backend.name] = shape;
        }
        if (!inPlace && t.backend.version == 0) {
            glBindTexture(target, t.backend.name);
            glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(t.GetLevelCount()) - 1);
            glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        } else {
            glBindTexture(target, t.backend.name);
        }
        m_boundTextures[unit] = t.backend.name;
        auto upload = [&](GLenum face, GLint level, IDirect3DSurface9& surface) {
            UploadLevel(face, level, f, inPlace, surface.Format(), surface.Width(), surface.Height(), 1,
                        surface.Pitch(), surface.Bytes());
        };
        for (std::uint32_t level = 0; level < t.GetLevelCount(); ++level) {
            if (cube) {
                auto& c = static_cast<IDirect3DCubeTexture9&>(t);
                for (std::uint32_t face = 0; face < 6; ++face)
                    upload(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, GLint(level), *c.Face(face, level));
            } else if (volume) {
                const IDirect3DVolume9& v = *static_cast<IDirect3DVolumeTexture9&>(t).Level(level);
                UploadLevel(GL_TEXTURE_3D, GLint(level), f, inPlace, v.Format(), v.Width(), v.Height(), v.Depth(),
                            v.RowPitch(), v.Bytes());
            } else {
                upload(GL_TEXTURE_2D, GLint(level), *static_cast<IDirect3DTexture9&>(t).Level(level));
            }
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        t.backend.version = t.ContentVersion();
    } else if (m_boundTextures[unit] != t.backend.name) {
        glBindTexture(target, t.backend.name);
        m_boundTextures[unit] = t.backend.name;
    }
    const GlSamplerParams params = GlSamplerParamsOf(ss, m_samplerLimits, f.swizzle);
    const GLuint sampler = m_samplers[unit];
    if (params != m_samplerParams[unit]) {
        ApplyGlSamplerParams(sampler, params, m_samplerLimits);
        m_samplerParams[unit] = params;
    }
    if (m_boundSamplers[unit] != sampler) {
        glBindSampler(unit, sampler);
        m_boundSamplers[unit] = sampler;
    }
}

void GlBackend::UnbindTexture(GLuint unit) {
    if (m_boundTextures[unit] == 0) return;
    if (unit != m_activeUnit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        m_activeUnit = unit;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    m_boundTextures[unit] = 0;
}

} // namespace gfx
