#include "platform/gfx/GfxGlSampler.h"

#include <bit>

namespace gfx {

GLint GlAddress(std::uint32_t mode, bool mirrorOnce) {
    switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_MIRRORONCE: return mirrorOnce ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
    }
}

GlSamplerParams GlSamplerParamsOf(const SamplerStates& ss, bool mirrorOnce) {
    const GLint mag = ss[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR;
    const bool linearMin = ss[D3DSAMP_MINFILTER] != D3DTEXF_POINT;
    GLint min = linearMin ? GL_LINEAR : GL_NEAREST;
    if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_POINT) min = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (ss[D3DSAMP_MIPFILTER] != D3DTEXF_NONE) min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return {GlAddress(ss[D3DSAMP_ADDRESSU], mirrorOnce),
            GlAddress(ss[D3DSAMP_ADDRESSV], mirrorOnce),
            GlAddress(ss[D3DSAMP_ADDRESSW], mirrorOnce), mag, min,
            GLint(ss[D3DSAMP_MAXMIPLEVEL]), GLint(ss[D3DSAMP_MIPMAPLODBIAS]), 0};
}

void ApplyGlSamplerParams(GLuint sampler, const GlSamplerParams& params) {
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, params[0]);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, params[1]);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, params[2]);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, params[3]);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, params[4]);
    // The most detailed level used: LOD never goes below it.
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(std::uint32_t(params[5])));
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, std::bit_cast<float>(params[6]));
}

} // namespace gfx
