#include "platform/gfx/GfxGlSampler.h"

#include "platform/gfx/GfxGlFormat.h"

#include <algorithm>
#include <bit>

namespace gfx {

GlSamplerLimits QueryGlSamplerLimits() {
    GlSamplerLimits limits;
    limits.mirrorOnce = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
                        epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp") ||
                        epoxy_has_gl_extension("GL_ATI_texture_mirror_once");
    if (epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        GLfloat most = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        limits.maxAnisotropy = std::max(1u, std::uint32_t(most));
    }
    return limits;
}

GLint GlAddress(std::uint32_t mode, bool mirrorOnce) {
    switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return mirrorOnce ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
    }
}

GlSamplerParams GlSamplerParamsOf(const SamplerStates& ss, const GlSamplerLimits& limits, const GLint swizzle[4]) {
    // Anisotropic filtering is linear filtering over more samples along the long axis.
    const bool anisotropic = ss[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || ss[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    const GLint mag = ss[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR;
    const bool linearMin = ss[D3DSAMP_MINFILTER] != D3DTEXF_POINT;
    GLint min = linearMin ? GL_LINEAR : GL_NEAREST;
    if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_POINT) min = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (ss[D3DSAMP_MIPFILTER] != D3DTEXF_NONE) min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    const std::uint32_t ratio = anisotropic ? std::clamp(ss[D3DSAMP_MAXANISOTROPY], 1u, limits.maxAnisotropy) : 1u;
    GlSamplerParams params = {GlAddress(ss[D3DSAMP_ADDRESSU], limits.mirrorOnce),
                              GlAddress(ss[D3DSAMP_ADDRESSV], limits.mirrorOnce),
                              GlAddress(ss[D3DSAMP_ADDRESSW], limits.mirrorOnce),
                              mag,
                              min,
                              GLint(ss[D3DSAMP_MAXMIPLEVEL]),
                              GLint(ss[D3DSAMP_MIPMAPLODBIAS]),
                              GLint(ratio),
                              0, 0, 0, 0};
    // The border stands in for texels, so it goes through the swizzle as they
    // do: each channel is given where the swizzle reads the one it shows.
    float colour[4];
    ColorToFloats(ss[D3DSAMP_BORDERCOLOR], colour);
    for (int shown = 0; shown < 4; ++shown) {
        const GLint from = swizzle[shown];
        if (from >= GL_RED && from <= GL_ALPHA) params[8 + std::size_t(from - GL_RED)] = std::bit_cast<GLint>(colour[shown]);
    }
    return params;
}

void ApplyGlSamplerParams(GLuint sampler, const GlSamplerParams& params, const GlSamplerLimits& limits) {
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, params[0]);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, params[1]);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, params[2]);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, params[3]);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, params[4]);
    // The most detailed level used: LOD never goes below it.
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(std::uint32_t(params[5])));
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, std::bit_cast<float>(params[6]));
    if (limits.maxAnisotropy > 1) glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, float(params[7]));
    const float border[4] = {std::bit_cast<float>(params[8]), std::bit_cast<float>(params[9]),
                             std::bit_cast<float>(params[10]), std::bit_cast<float>(params[11])};
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
}

} // namespace gfx
