#include "platform/gfx/GfxBackendLocal.h"

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxFramePacer.h"
#include "platform/gfx/GfxGlProgramConstants.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfx/GfxTexelConvert.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gfx {
namespace {

// Direct3D conventions on OpenGL: the framebuffer object stores rows top-down
// (GL window y = D3D screen y), so a read-back needs no flip and Present flips
// once. Pixel centres sit on integer D3D coordinates (GL window x = D3D x + 0.5);
// z runs 0..1; clockwise faces on screen come out as GL's counter-clockwise ones.
// Shader bodies: each program is generated for the fixed-function state it
// serves, as constants in front of these bodies (and, for the texture stages,
// code written out per stage), so the driver folds away every path that state
// does not take.
constexpr const char* kVertexShader = R"(
layout(location = 0) in vec4 aPos;
layout(location = 1) in vec4 aDiffuse;
layout(location = 2) in vec4 aSpecular;
layout(location = 3) in vec3 aNormal;
layout(location = 4) in vec4 aTex[8];
layout(location = 12) in vec4 aWeights;
layout(location = 13) in vec4 aIndices;
#if INDEXED
// Indexed blending: world x view of matrices 0-255 as three rows each, and
// their normal matrices the same way.
layout(std140) uniform BlendPalette { vec4 uPalette[768]; };
layout(std140) uniform BlendPaletteNormals { vec4 uPaletteNormal[768]; };
#endif
uniform mat4 uWVP;
uniform mat4 uWV;          // world x view: camera space
uniform mat3 uNormalMatrix; // inverse transpose of world x view
// Vertex blending: world matrices 0-3 times view, their normal matrices, and
// the projection the blended camera-space position goes through.
uniform mat4 uBlendWV[4];
uniform mat3 uBlendNormal[4];
uniform mat4 uProj;
uniform vec4 uViewport;    // X, Y, Width, Height
uniform vec2 uDepthRange;  // MinZ, MaxZ
uniform vec2 uTarget;      // target width, height
uniform vec2 uFlipY;       // (-1, nudge) drawing into the bottom-up window, else (1, 0)
uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive, uGlobalAmbient;
uniform float uMatPower;
// Lights in camera space: directions unit length, pointing from the light.
uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];
uniform vec3 uLightPos[8], uLightDir[8];
uniform vec4 uLightAtten[8]; // a0, a1, a2, range
uniform vec3 uLightSpot[8];  // cos(theta / 2), cos(phi / 2), falloff
uniform vec3 uFog;           // start, end, density
uniform mat4 uTexMatrix[8];
out vec4 vDiffuse;
flat out vec4 vDiffuseFlat;
out vec4 vSpecular;
flat out vec4 vSpecularFlat;
out float vFog;
vec4 pick(int src, vec4 material) { return src == 1 ? aDiffuse : (src == 2 ? aSpecular : material); }
// A set of n coordinates enters as a row whose first missing component is 1.
vec4 expand(vec4 a, int n) {
    return n == 1 ? vec4(a.x, 1.0, 0.0, 0.0) : (n == 2 ? vec4(a.xy, 1.0, 0.0) : (n == 3 ? vec4(a.xyz, 1.0) : a));
}
void main() {
    vec3 pc = vec3(0.0);
    // Weights of the blended world matrices: the vertex's first kBlendWeights,
    // the last matrix taking what they leave of 1.
    float bw[4] = float[4](1.0, 0.0, 0.0, 0.0);
    if (kBlendWeights > 0) {
        float sum = 0.0;
        for (int i = 0; i < kBlendWeights; ++i) { bw[i] = aWeights[i]; sum += aWeights[i]; }
        bw[kBlendWeights] = 1.0 - sum;
    }
#if INDEXED
    // Index k of the vertex picks the matrix of weight k (a colour holds index k in byte k).
    ivec4 mi = 3 * clamp(ivec4(kIndexColor ? floor(aIndices.zyxw * 255.0 + 0.5) : aIndices), 0, 255);
#endif
    if (kPretransformed) {
        float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;
        vec2 ndc = 2.0 * (aPos.xy + 0.5) / uTarget - 1.0;
        gl_Position = vec4(ndc * w, (2.0 * aPos.z - 1.0) * w, w);
    } else {
        vec4 c;
#if INDEXED
        vec4 p4 = vec4(aPos.xyz, 1.0);
        for (int i = 0; i <= kBlendWeights; ++i)
            pc += bw[i] * vec3(dot(p4, uPalette[mi[i]]), dot(p4, uPalette[mi[i] + 1]), dot(p4, uPalette[mi[i] + 2]));
        c = uProj * vec4(pc, 1.0);
#else
        if (kBlendWeights > 0) {
            for (int i = 0; i <= kBlendWeights; ++i) pc += bw[i] * (uBlendWV[i] * vec4(aPos.xyz, 1.0)).xyz;
            c = uProj * vec4(pc, 1.0);
        } else {
            c = uWVP * vec4(aPos.xyz, 1.0);
            pc = (uWV * vec4(aPos.xyz, 1.0)).xyz;
        }
#endif
        float x = (2.0 * (uViewport.x + 0.5 + 0.5 * uViewport.z) / uTarget.x - 1.0) * c.w + (uViewport.z / uTarget.x) * c.x;
        float y = (2.0 * (uViewport.y + 0.5 + 0.5 * uViewport.w) / uTarget.y - 1.0) * c.w - (uViewport.w / uTarget.y) * c.y;
        float z = (2.0 * uDepthRange.x - 1.0) * c.w + 2.0 * (uDepthRange.y - uDepthRange.x) * c.z;
        gl_Position = vec4(x, y, z, c.w);
    }
    // In the window, D3D's top edge is GL's top edge, which GL's fill rule leaves
    // out: a nudge of one sub-pixel step up keeps top and left edges inside.
    gl_Position.y = gl_Position.y * uFlipY.x + uFlipY.y * gl_Position.w;
    vec3 N = vec3(0.0);
    if (kHasNormal && !kPretransformed) {
#if INDEXED
        for (int i = 0; i <= kBlendWeights; ++i)
            N += bw[i] * vec3(dot(aNormal, uPaletteNormal[mi[i]].xyz), dot(aNormal, uPaletteNormal[mi[i] + 1].xyz),
                              dot(aNormal, uPaletteNormal[mi[i] + 2].xyz));
#else
        if (kBlendWeights > 0)
            for (int i = 0; i <= kBlendWeights; ++i) N += bw[i] * (uBlendNormal[i] * aNormal);
        else
            N = uNormalMatrix * aNormal;
#endif
        if (kNormalize && dot(N, N) > 0.0) N = normalize(N);
    }
    // Towards the eye: from the vertex with a local viewer, else along the view axis.
    vec3 E = kLocalViewer ? (dot(pc, pc) > 0.0 ? normalize(-pc) : vec3(0.0)) : vec3(0.0, 0.0, -1.0);
    vec4 diffuse = aDiffuse;
    vec4 specular = aSpecular;
    if (kLighting && !kPretransformed) {
        vec3 amb = vec3(0.0), dif = vec3(0.0), spe = vec3(0.0);
        for (int i = 0; i < kLightCount; ++i) {
            vec3 L = -uLightDir[i];
            float as = 1.0;
            if (kLightType[i] != 3) {
                vec3 toLight = uLightPos[i] - pc;
                float d = length(toLight);
                L = d > 0.0 ? toLight / d : vec3(0.0);
                vec4 at = uLightAtten[i];
                as = d > at.w ? 0.0 : 1.0 / (at.x + at.y * d + at.z * d * d);
                if (kLightType[i] == 2) {
                    vec3 sp = uLightSpot[i];
                    float rho = dot(-L, uLightDir[i]);
                    // Inside the inner cone first: equal cones never divide by zero.
                    as *= rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 : pow((rho - sp.y) / (sp.x - sp.y), sp.z));
                }
            }
            amb += as * uLightAmbient[i].rgb;
            dif += as * uLightDiffuse[i].rgb * max(dot(N, L), 0.0);
            if (kSpecular) {
                vec3 h = E + L;
                h = dot(h, h) > 0.0 ? normalize(h) : h;
                float nh = dot(N, h);
                if (nh > 0.0) spe += as * uLightSpecular[i].rgb * pow(nh, uMatPower);
            }
        }
        vec4 cd = pick(kDiffuseSrc, uMatDiffuse);
        vec3 rgb = pick(kEmissiveSrc, uMatEmissive).rgb + pick(kAmbientSrc, uMatAmbient).rgb * (uGlobalAmbient.rgb + amb) +
                   cd.rgb * dif;
        diffuse = vec4(clamp(rgb, 0.0, 1.0), cd.a);
        specular = vec4(clamp(pick(kSpecularSrc, uMatSpecular).rgb * spe, 0.0, 1.0), 0.0);
    }
    float fog = 1.0;
    if (kFogMode == 4) {
        fog = kHasSpecularInput ? aSpecular.a : 1.0;
    } else if (kFogMode != 0) {
        float d = kRangeFog ? length(pc) : pc.z;
        if (kFogMode == 3)
            fog = uFog.y != uFog.x ? (uFog.y - d) / (uFog.y - uFog.x) : (d <= uFog.x ? 1.0 : 0.0);
        else if (kFogMode == 1)
            fog = exp(-uFog.z * d);
        else
            fog = exp(-(uFog.z * d) * (uFog.z * d));
    }
    vFog = clamp(fog, 0.0, 1.0);
    vDiffuse = diffuse;
    vDiffuseFlat = diffuse;
    vSpecular = specular;
    vSpecularFlat = specular;
    TEXCOORDS
}
)";

constexpr const char* kFragmentShader = R"(
in vec4 vDiffuse;
flat in vec4 vDiffuseFlat;
in vec4 vSpecular;
flat in vec4 vSpecularFlat;
in float vFog;
uniform vec4 uTFactor;
uniform float uAlphaRef;
uniform vec3 uFogColor;
out vec4 oColor;
vec4 sel(int a, vec4 diffuse, vec4 current, vec4 specular, vec4 tex, vec4 temp) {
    int s = a & 15;
    vec4 v = current;
    if (s == 0) v = diffuse;
    else if (s == 2) v = tex;
    else if (s == 3) v = uTFactor;
    else if (s == 4) v = specular;
    else if (s == 5) v = temp;
    if ((a & 16) != 0) v = vec4(1.0) - v;
    if ((a & 32) != 0) v = vec4(v.a);
    return v;
}
// The stage operations; da, ta, fa, ca: diffuse, texture, factor and current alpha.
vec4 op(int o, vec4 a0, vec4 a1, vec4 a2, float da, float ta, float fa, float ca) {
    vec4 r = a1 * a2;
    if (o == 2) r = a1;
    else if (o == 3) r = a2;
    else if (o == 5) r = 2.0 * a1 * a2;
    else if (o == 6) r = 4.0 * a1 * a2;
    else if (o == 7) r = a1 + a2;
    else if (o == 8) r = a1 + a2 - 0.5;
    else if (o == 9) r = 2.0 * (a1 + a2 - 0.5);
    else if (o == 10) r = a1 - a2;
    else if (o == 11) r = a1 + a2 - a1 * a2;
    else if (o == 12) r = mix(a2, a1, da);
    else if (o == 13) r = mix(a2, a1, ta);
    else if (o == 14) r = mix(a2, a1, fa);
    else if (o == 15) r = a1 + a2 * (1.0 - ta);
    else if (o == 16) r = mix(a2, a1, ca);
    else if (o == 18) r = vec4(a1.rgb + a1.a * a2.rgb, a1.a);
    else if (o == 19) r = vec4(a1.rgb * a2.rgb + a1.a, a1.a);
    else if (o == 20) r = vec4((1.0 - a1.a) * a2.rgb + a1.rgb, a1.a);
    else if (o == 21) r = vec4((vec3(1.0) - a1.rgb) * a2.rgb + a1.a, a1.a);
    else if (o == 24) r = vec4(4.0 * dot(a1.rgb - 0.5, a2.rgb - 0.5));
    else if (o == 25) r = a0 + a1 * a2;
    else if (o == 26) r = mix(a2, a1, a0);
    return clamp(r, 0.0, 1.0);
}
bool passes(int func, float a, float ref) {
    if (func == 1) return false;
    if (func == 2) return a < ref;
    if (func == 3) return a == ref;
    if (func == 4) return a <= ref;
    if (func == 5) return a > ref;
    if (func == 6) return a != ref;
    if (func == 7) return a >= ref;
    return true;
}
void main() {
    vec4 diffuse = kFlat ? vDiffuseFlat : vDiffuse;
    vec4 specular = kFlat ? vSpecularFlat : vSpecular;
    vec4 current = diffuse;
    vec4 temp = vec4(0.0);
    STAGES
    if (kSpecularEnable) current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);
    if (kFog) current.rgb = mix(uFogColor, current.rgb, vFog);
    if (kAlphaFunc != 0 && !passes(kAlphaFunc, floor(current.a * 255.0 + 0.5), uAlphaRef)) discard;
    oColor = current;
}
)";

struct GlFormat {
    GLenum internal, format, type;
};

bool GlColorFormat(D3DFORMAT f, GlFormat& out) {
    switch (f) {
    case D3DFMT_A8R8G8B8: out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    // No alpha stored: destination alpha reads 1, as the X format's does.
    case D3DFMT_X8R8G8B8: out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE}; return true;
    case D3DFMT_R5G6B5: out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; return true;
    case D3DFMT_A4R4G4B4: out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; return true;
    default: return false;
    }
}

// How a texture format is uploaded and read: GL storage and a swizzle that
// gives a format without alpha an alpha of 1. The device makes textures of
// these six formats and the block-compressed ones.
struct GlTextureFormat {
    GLenum internal = 0, format = 0, type = 0;
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    std::uint32_t bytes = 0; // per pixel; 0 for blocks, uploaded compressed as they stand
    // Texels converted on the way up (GfxTexelConvert.h): bump texels to four
    // signed shorts, blocks of a volume to B, G, R, A bytes.
    enum class Convert { None, Bump, Blocks } convert = Convert::None;
};

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
    default: return false;
    }
    return true;
}

// A volume of blocks goes up unpacked: OpenGL makes no 3-D texture of S3TC blocks.
void UnpackVolumeBlocks(GlTextureFormat& f) {
    if (f.bytes != 0) return;
    f.internal = GL_RGBA8;
    f.format = GL_BGRA;
    f.type = GL_UNSIGNED_BYTE;
    f.bytes = 4;
    f.convert = GlTextureFormat::Convert::Blocks;
}

// Bytes of the 8-bit formats stand B, G, R, A in memory. A texture GL never
// draws into goes up as RGBA, byte for byte, and the swizzle swaps red and
// blue back when it is sampled: drivers that store RGBA (llvmpipe does) then
// copy rather than reorder every texel, about ten times faster.
void UploadBytesAsTheyStand(GlTextureFormat& f) {
    if (f.format != GL_BGRA || f.type != GL_UNSIGNED_BYTE) return;
    f.format = GL_RGBA;
    std::swap(f.swizzle[0], f.swizzle[2]);
}

// Mirrored once needs GL 4.4 or its extension; without either it clamps.
GLint GlAddress(std::uint32_t mode, bool mirrorOnce) {
    switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_MIRRORONCE: return mirrorOnce ? GL_MIRROR_CLAMP_TO_EDGE : GL_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
    }
}

GLenum GlDepthFormat(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_D16: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    default: return GL_DEPTH24_STENCIL8;
    }
}

GLenum GlCompare(std::uint32_t f) {
    static constexpr GLenum k[] = {GL_NEVER, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f >= 1 && f <= 8 ? k[f] : GL_ALWAYS;
}

GLenum GlStencilOp(std::uint32_t op) {
    static constexpr GLenum k[] = {GL_KEEP, GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op >= 1 && op <= 8 ? k[op] : GL_KEEP;
}

GLenum GlBlend(std::uint32_t b) {
    static constexpr GLenum k[] = {GL_ONE, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                   GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                                   GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return b >= 1 && b <= 11 ? k[b] : GL_ONE;
}

GLenum GlBlendOp(std::uint32_t op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum GlPrimitive(std::uint32_t type) {
    switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

// 0 with the driver's log in `failure` when the source does not compile.
GLuint Compile(GLenum kind, const char* source, std::string& failure) {
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        failure = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader compile failed: " + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

class GlBackend final : public Backend {
    // Everything a generated program depends on, word by word.
    enum KeyWord : std::size_t {
        kPretransformedWord, kLightingWord, kDiffuseSrcWord, kAmbientSrcWord, kSpecularSrcWord, kEmissiveSrcWord,
        kHasNormalWord, kNormalizeWord, kLocalViewerWord, kSpecularLightWord, kFogModeWord, kRangeFogWord,
        kHasSpecularInputWord, kLightCountWord, kLightTypesWord, kFlatWord, kSpecularEnableWord, kAlphaFuncWord,
        kFogWord, kBlendWord, kIndexedWord,
        // The programs bound (their ids), and the kinds of the textures a
        // pixel program before 2.0 samples, two bits per sampler.
        kVertexProgramWord, kPixelProgramWord, kSamplerKindsWord, kStageBase
    };
    // Per stage: operations and arguments, result, texture kind and coordinates.
    enum StageWord : std::size_t {
        kColorOp, kColorArg0, kColorArg1, kColorArg2, kAlphaOp, kAlphaArg0, kAlphaArg1, kAlphaArg2, kResultArg,
        kTextureKind, kTexCoordSource, kTexCoordForm, kStageWords
    };
    static constexpr std::size_t kKeyWords = kStageBase + 8 * kStageWords;
    using StateKey = std::array<std::uint32_t, kKeyWords>;
    struct StateKeyHash {
        std::size_t operator()(const StateKey& k) const {
            std::size_t h = 1469598103934665603ull;
            for (std::uint32_t v : k) h = (h ^ v) * 1099511628211ull;
            return h;
        }
    };

    // The uniforms a program may have, each with the value it was last sent.
    enum UniformSlot : std::size_t {
        kSlotWVP, kSlotWV, kSlotNormalMatrix, kSlotBlendWV, kSlotBlendNormal, kSlotProj, kSlotViewport,
        kSlotDepthRange, kSlotTarget, kSlotFlipY, kSlotMatDiffuse, kSlotMatAmbient, kSlotMatSpecular,
        kSlotMatEmissive, kSlotMatPower, kSlotGlobalAmbient, kSlotLightDiffuse, kSlotLightSpecular,
        kSlotLightAmbient, kSlotLightPos, kSlotLightDir, kSlotLightAtten, kSlotLightSpot, kSlotFog, kSlotTexMatrix,
        kSlotTFactor, kSlotAlphaRef, kSlotFogColor, kUniformSlots
    };

    // A generated program and where its uniforms sit.
    struct Program {
        GLuint id = 0;
        // Why a program could not be built: "compile" or "link", and the driver's log.
        std::string failureKind, failure;
        GLint wvp = -1, wv = -1, normalMatrix = -1, blendWV = -1, blendNormal = -1, proj = -1, viewport = -1, depthRange = -1, target = -1, flipY = -1,
              matDiffuse = -1, matAmbient = -1, matSpecular = -1, matEmissive = -1, matPower = -1,
              globalAmbient = -1, lightDiffuse = -1, lightSpecular = -1, lightAmbient = -1, lightPos = -1,
              lightDir = -1, lightAtten = -1, lightSpot = -1, fog = -1, texMatrix = -1, tfactor = -1,
              alphaRef = -1, fogColor = -1;
        bool lighting = false, texMatrices = false, fogUniforms = false;
        std::array<GLint, 8> bump{}, bumpL{}; // bump stages' matrix and luminance scale and offset
        std::uint32_t lightCount = 0;
        // A program keeps its uniforms between uses: most draws of a frame
        // change only their matrices, and the rest is not sent again.
        std::array<std::vector<float>, kUniformSlots> sent;
        // The state serial, target and flip the uniforms that follow neither
        // the world matrices nor the textures were last sent for.
        const DeviceState* slowState = nullptr;
        std::uint64_t slowSerial = 0;
        const IDirect3DSurface9* slowTarget = nullptr;
        std::uint32_t slowWidth = 0, slowHeight = 0;
        bool slowFlipY = false;
        // A vertex or pixel program's register files; null for the fixed-function programs.
        std::shared_ptr<GlProgramConstants> constants;
    };

public:
    ~GlBackend() override {
        if (m_context) {
            // Releasing a device after its window was destroyed is allowed:
            // the context's objects die with the context, so skip the calls.
            if (MakeCurrent()) {
            for (auto& entry : m_programs) glDeleteProgram(entry.second.id);
            glDeleteVertexArrays(1, &m_vao);
            for (auto& entry : m_vertexArrays) glDeleteVertexArrays(1, &entry.second.name);
            glDeleteSamplers(GLsizei(m_samplers.size()), m_samplers.data());
            glDeleteFramebuffers(1, &m_fbo);
            glDeleteFramebuffers(1, &m_readFbo);
            glDeleteBuffers(1, &m_streamVbo);
            glDeleteBuffers(1, &m_streamIbo);
            if (m_paletteUbo[0]) glDeleteBuffers(2, m_paletteUbo.data());
            if (m_uploadTexture) glDeleteTextures(1, &m_uploadTexture);
            DeleteMultisampleBuffers();
            for (const SpareTexture& spare : m_spareTextures) glDeleteTextures(1, &spare.name);
            }
            SDL_GL_DeleteContext(m_context);
        }
        if (m_ownWindow && WindowAlive()) SDL_DestroyWindow(m_window);
    }

    const char* Name() const override { return "gl"; }

    HRESULT Open(const D3DPRESENT_PARAMETERS& params, WindowHandle focus) override {
        m_params = params;
        SetGlWindowAttributes();
        WindowHandle window = params.hDeviceWindow ? params.hDeviceWindow : focus;
        if (window) {
            m_window = os::GetSdlWindow(window);
            if (!m_window) {
                ReportFailure("gfx gl: the device window does not exist");
                return D3DERR_NOTAVAILABLE;
            }
            if (!(SDL_GetWindowFlags(m_window) & SDL_WINDOW_OPENGL)) {
                ReportFailure("gfx gl: the device window has no OpenGL: " + os::GetWindowNoGlReason(window));
                return D3DERR_NOTAVAILABLE;
            }
        } else {
            m_window = SDL_CreateWindow("orvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        int(params.BackBufferWidth), int(params.BackBufferHeight),
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            m_ownWindow = m_window != nullptr;
            if (!m_window) {
                ReportFailure(std::string("gfx gl: no OpenGL window: ") + SDL_GetError());
                return D3DERR_NOTAVAILABLE;
            }
        }
        m_windowId = SDL_GetWindowID(m_window);
        m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) {
            ReportFailure(std::string("gfx gl: no OpenGL 3.3 core context: ") + SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        if (!MakeCurrent()) {
            ReportFailure(std::string("gfx gl: the OpenGL context cannot be made current: ") + SDL_GetError());
            return D3DERR_NOTAVAILABLE;
        }
        if (epoxy_gl_version() < 33) {
            const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
            ReportFailure(std::string("gfx gl: OpenGL 3.3 needed, the driver gives ") + (version ? version : "none"));
            return D3DERR_NOTAVAILABLE;
        }
        // The program of a plain state must build, or this context cannot draw at all.
        StateKey plain{};
        plain[kPretransformedWord] = 1;
        plain[std::size_t(kStageBase) + kColorOp] = D3DTOP_DISABLE;
        if (const Program* probe = GenerateProgram(plain); !probe->id) {
            ReportFailure("gfx gl: the driver cannot build the device's programs: " + probe->failure);
            return D3DERR_NOTAVAILABLE;
        }
        glGenVertexArrays(1, &m_vao);
        glBindVertexArray(m_vao);
        m_boundVertexArray = m_vao;
        glGenSamplers(GLsizei(m_samplers.size()), m_samplers.data());
        m_mirrorOnce = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge") ||
                       epoxy_has_gl_extension("GL_EXT_texture_mirror_clamp") ||
                       epoxy_has_gl_extension("GL_ATI_texture_mirror_once");
        for (auto& params : m_samplerParams) params.fill(-1);
        glGenFramebuffers(1, &m_fbo);
        glGenFramebuffers(1, &m_readFbo);
        glGenBuffers(1, &m_streamVbo);
        glGenBuffers(1, &m_streamIbo);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex, as D3D does
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        ApplyWindowMode();
        // Sample counts asked before any context existed are checked here,
        // against this device's own context.
        if (m_params.MultiSampleType != D3DMULTISAMPLE_NONE &&
            SamplesFor(m_params.MultiSampleType, m_params.MultiSampleQuality, GlSampleCounts()) == 0) {
            ReportFailure("gfx gl: the driver has no such multisample count or quality");
            return D3DERR_INVALIDCALL; // what the check before creation answers
        }
        MakeMultisampleBuffers();
        ChooseDirect();
        return D3D_OK;
    }

    HRESULT Resize(const D3DPRESENT_PARAMETERS& params) override {
        m_params = params;
        // A reset may name another device window: the context moves to it.
        SDL_Window* next = params.hDeviceWindow ? os::GetSdlWindow(params.hDeviceWindow) : nullptr;
        if (next && next != m_window) {
            if (!(SDL_GetWindowFlags(next) & SDL_WINDOW_OPENGL) || SDL_GL_MakeCurrent(next, m_context) != 0)
                return D3DERR_INVALIDCALL;
            if (m_ownWindow) SDL_DestroyWindow(m_window);
            m_ownWindow = false;
            m_window = next;
            m_windowId = SDL_GetWindowID(next);
            m_boundFramebuffer = ~0u;
        }
        if (!MakeCurrent()) return D3DERR_INVALIDCALL;
        m_rasterKnown = false;
        m_viewportSize = {-1, -1};
        ApplyWindowMode();
        MakeMultisampleBuffers();
        ChooseDirect();
        return D3D_OK;
    }

    void Clear(IDirect3DDevice9& device, const std::vector<RECT>& rects, std::uint32_t flags, D3DCOLOR color, float z,
               std::uint32_t stencil) override {
        if (!MakeCurrent()) return;
        if (!BindTargets(device.State())) return;
        m_rasterKnown = false; // masks and scissor change below
        GLbitfield bits = 0;
        if (flags & D3DCLEAR_TARGET) {
            float c[4];
            ColorToFloats(color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_ZBUFFER) && m_hasDepth) {
            glClearDepth(z);
            glDepthMask(GL_TRUE);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_STENCIL) && m_hasStencil) {
            glClearStencil(GLint(stencil & 0xFF));
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        const IDirect3DSurface9& rt = *device.State().renderTargets[0];
        for (const RECT& r : rects) {
            // A whole-target clear goes without the scissor: drivers clear that fastest.
            if (r.left == 0 && r.top == 0 && r.right == std::int32_t(rt.Width()) && r.bottom == std::int32_t(rt.Height())) {
                glDisable(GL_SCISSOR_TEST);
            } else {
                glEnable(GL_SCISSOR_TEST);
                glScissor(r.left, ScissorY(r.top, r.bottom), r.right - r.left, r.bottom - r.top);
            }
            glClear(bits);
        }
    }

    HRESULT Draw(IDirect3DDevice9& device, const VertexLayout& layout, const DrawCall& call) override {
        if (!MakeCurrent()) return D3DERR_DEVICELOST; // the window is gone: nothing to draw into
        const DeviceState& s = device.State();
        if (!BindTargets(s)) return D3DERR_INVALIDCALL;
        const IDirect3DSurface9* rt = s.renderTargets[0];
        assert((call.userVertices || layout.declared || s.vertexShader || s.streams[0].buffer) &&
               "a draw the front end should have refused");
        assert((!call.indexed || call.userIndices || s.indices) && "a draw the front end should have refused");

        // Vertex input: by element for programs and declarations, else stream 0's FVF layout.
        std::uint32_t inputW1 = 0;
        if (layout.declared || s.vertexShader) {
            inputW1 = BindElements(s, layout, call);
        } else {
        GLuint vbo = m_streamVbo;
        std::uintptr_t base = 0;
        std::uint32_t stride = call.userStride;
        if (call.userVertices) {
            glBindBuffer(GL_ARRAY_BUFFER, m_streamVbo);
            glBufferData(GL_ARRAY_BUFFER, call.userVertexBytes, call.userVertices, GL_STREAM_DRAW);
        } else {
            vbo = UploadBuffer(*s.streams[0].buffer, GL_ARRAY_BUFFER);
            base = s.streams[0].offset;
            stride = s.streams[0].stride;
        }
        // UploadBuffer and the user-pointer branch leave vbo bound as the array buffer.
        UseVertexArrayOf(vbo);
        m_arrayBuffer = vbo;
        SetAttribute(0, layout.pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE, stride, base + std::uintptr_t(layout.position));
        SetColorAttribute(1, layout.diffuse, stride, base, 1.0f);
        SetColorAttribute(2, layout.specular, stride, base, 0.0f);
        SetFloatAttribute(3, layout.normal, 3, stride, base);
        SetFloatAttribute(12, layout.weights, layout.weightCount, stride, base);
        if (layout.blendIndices < 0)
            DisableAttribute(13, nullptr);
        else if (layout.blendIndicesColor)
            SetAttribute(13, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, base + std::uintptr_t(layout.blendIndices));
        else
            SetAttribute(13, 4, GL_UNSIGNED_BYTE, GL_FALSE, stride, base + std::uintptr_t(layout.blendIndices));
        for (int i = 0; i < 8; ++i) SetFloatAttribute(GLuint(4 + i), layout.texcoord[i], layout.texcoordSize[i], stride, base);
        for (GLuint i = 14; i < kAttributes; ++i) DisableAttribute(i, nullptr);
        }

        if (const Program* prog = SetProgram(s, layout, *rt); !prog->id) {
            ReportOnce("program " + prog->failureKind, "gfx gl: a generated program failed: " + prog->failure);
            return D3DERR_DRIVERINTERNALERROR;
        } else if (prog->constants) {
            prog->constants->SetInputW1(inputW1);
        }
        SetRasterState(s, *rt);

        const GLenum mode = GlPrimitive(call.primitiveType);
        if (!call.indexed) {
            glDrawArrays(mode, GLint(call.startVertex), GLsizei(call.vertexCount));
            return CheckGlError();
        }
        GLenum indexType = GL_UNSIGNED_SHORT;
        std::uintptr_t indexOffset = 0;
        if (call.userIndices) {
            const std::uint32_t size = call.userIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
            indexType = size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_streamIbo);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(call.vertexCount) * size, call.userIndices, GL_STREAM_DRAW);
        } else {
            IDirect3DIndexBuffer9& ib = *s.indices;
            const std::uint32_t size = ib.Format() == D3DFMT_INDEX32 ? 4 : 2;
            indexType = size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
            UploadBuffer(ib, GL_ELEMENT_ARRAY_BUFFER);
            indexOffset = std::uintptr_t(call.startIndex) * size;
        }
        glDrawElementsBaseVertex(mode, GLsizei(call.vertexCount), indexType, reinterpret_cast<const void*>(indexOffset),
                                 call.baseVertex);
        return CheckGlError();
    }

    void InjectFault(BackendFault fault) override {
        m_fault = fault;
        // Programs are made again from now on, with the fault in them.
        m_byState.clear();
        m_lastProgram = nullptr;
    }

    HRESULT Present(IDirect3DDevice9& device) override {
        if (!MakeCurrent()) return D3DERR_DEVICELOST;
        IDirect3DSurface9* back = device.BackBufferSurface();
        if (!back) return D3DERR_INVALIDCALL;
        if (m_direct) {
            // The back buffer is the window's own: presenting is swapping.
            SDL_GL_SwapWindow(m_window);
            m_pacer.PacePresent();
            // A window resized since (without a Reset) goes through the copy from the next frame on.
            UpdateDirect();
            return D3D_OK;
        }
        if (m_samples > 1) Resolve(*back);
        EnsureColor(*back);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back->backend.name, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_window, &w, &h);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        m_rasterKnown = false;
        const GLint bw = GLint(back->Width()), bh = GLint(back->Height());
        // Rows are stored top-down: the flip puts row 0 at the top of the window,
        // scaled to the drawable (full screen is SDL desktop full screen).
        glBlitFramebuffer(0, 0, bw, bh, 0, h, w, 0, GL_COLOR_BUFFER_BIT, (w == bw && h == bh) ? GL_NEAREST : GL_LINEAR);
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        m_boundFramebuffer = m_fbo;
        SDL_GL_SwapWindow(m_window);
        m_pacer.PacePresent();
        UpdateDirect();
        return D3D_OK;
    }

    void ReadSurface(IDirect3DSurface9& surface, const RECT* rect) override {
        const RECT all{0, 0, std::int32_t(surface.Width()), std::int32_t(surface.Height())};
        const RECT& r = rect ? *rect : all;
        if (IsWindowSurface(surface)) {
            ReadWindow(surface, r);
            return;
        }
        GlFormat f;
        if (m_samples > 1 && surface.IsImplicit() && GlColorFormat(surface.Format(), f) && MakeCurrent())
            Resolve(surface);
        if (!surface.backend.name || !GlColorFormat(surface.Format(), f)) return;
        if (!MakeCurrent()) return;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.backend.name, 0);
        // Target textures keep row 0 at y 0: the rectangle reads straight
        // into its place in the surface's rows.
        const std::uint32_t bpp = FormatBitsPerPixel(surface.Format()) / 8;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, GLint(surface.Pitch() / bpp));
        glReadPixels(r.left, r.top, r.right - r.left, r.bottom - r.top, f.format, f.type,
                     surface.Bytes() + std::size_t(r.top) * surface.Pitch() + std::size_t(r.left) * bpp);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        m_boundFramebuffer = ~0u;
    }

    void WriteSurface(IDirect3DSurface9& surface) override {
        GlFormat f;
        if (!GlColorFormat(surface.Format(), f) || !(surface.Usage() & D3DUSAGE_RENDERTARGET)) return;
        if (!MakeCurrent()) return;
        const bool window = IsWindowSurface(surface);
        GLuint& texture = window ? m_uploadTexture : surface.backend.name;
        if (window && !m_uploadTexture) glGenTextures(1, &m_uploadTexture);
        if (!window) EnsureColor(surface);
        glBindTexture(GL_TEXTURE_2D, texture);
        m_boundTextures[m_activeUnit] = texture;
        if (window) {
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(surface.Width()), GLsizei(surface.Height()), 0,
                         f.format, f.type, surface.Bytes());
            // Rows of the bytes run top-down; the window's run bottom-up.
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glDisable(GL_SCISSOR_TEST);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            m_rasterKnown = false;
            const GLint w = GLint(surface.Width()), h = GLint(surface.Height());
            glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            m_boundFramebuffer = ~0u;
            return;
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(surface.Width()), GLsizei(surface.Height()), f.format, f.type,
                        surface.Bytes());
    }

    void ResourceDestroyed(IDirect3DResource9& r) override {
        if (!r.backend.name && !r.backend.name2) return;
        if (!MakeCurrent()) {
            r.backend = BackendData{};
            return;
        }
        if (r.GetType() == D3DRTYPE_SURFACE) {
            if (r.backend.name == m_boundColor) m_boundColor = 0;
            if (r.backend.name2 == m_boundDepth) m_boundDepth = 0;
            // A target level's texture may be bound for sampling.
            for (GLuint& bound : m_boundTextures)
                if (r.backend.name && bound == r.backend.name) bound = 0;
            if (r.backend.name) glDeleteTextures(1, &r.backend.name);
            if (r.backend.name2) glDeleteRenderbuffers(1, &r.backend.name2);
        } else if (r.GetType() == D3DRTYPE_VERTEXBUFFER || r.GetType() == D3DRTYPE_INDEXBUFFER) {
            ForgetVertexArrayOf(r.backend.name);
            glDeleteBuffers(1, &r.backend.name);
        } else if (r.GetType() == D3DRTYPE_TEXTURE || r.GetType() == D3DRTYPE_CUBETEXTURE ||
                   r.GetType() == D3DRTYPE_VOLUMETEXTURE) {
            for (GLuint& bound : m_boundTextures)
                if (bound == r.backend.name) bound = 0;
            KeepOrDeleteTexture(r);
        }
        r.backend = BackendData{};
    }

private:
    // GL storage of sampled textures let go is kept (up to
    // kSpareTextureBytesLimit, the newest) for the next texture of the same
    // kind, format, size and levels, which uploads into it in place: the
    // driver then neither allocates nor clears new storage for it. The shape
    // is noted when the storage is made, as a texture being destroyed no
    // longer has its levels.
    struct TextureShape {
        std::uint32_t type = 0;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        std::uint32_t width = 0, height = 0, levels = 0;
        std::size_t bytes = 0;
        std::uint32_t depth = 1;
        bool operator==(const TextureShape&) const = default;
    };
    struct SpareTexture {
        TextureShape shape;
        GLuint name;
    };
    static constexpr std::size_t kSpareTextureBytesLimit = std::size_t(32) << 20;

    static TextureShape ShapeOf(const IDirect3DBaseTexture9& t) {
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

    static TextureShape VolumeShapeOf(const IDirect3DVolumeTexture9& t) {
        const IDirect3DVolume9& top = *t.Level(0);
        TextureShape shape{t.GetType(), t.Format(), top.Width(), top.Height(), t.GetLevelCount(), 0, top.Depth()};
        for (std::uint32_t level = 0; level < shape.levels; ++level)
            shape.bytes += std::size_t(t.Level(level)->SlicePitch()) * t.Level(level)->Depth();
        return shape;
    }

    // One level of a 2-D or cube face, or (`depth` set) of a volume, with its conversion.
    void UploadLevel(GLenum target, GLint level, const GlTextureFormat& f, bool inPlace, D3DFORMAT format,
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

    void KeepOrDeleteTexture(const IDirect3DResource9& r) {
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

    // A kept texture of the same shape, or 0.
    GLuint TakeSpareTexture(const TextureShape& shape) {
        for (auto it = m_spareTextures.rbegin(); it != m_spareTextures.rend(); ++it) {
            if (!(it->shape == shape)) continue;
            const GLuint name = it->name;
            m_spareTextureBytes -= shape.bytes;
            m_spareTextures.erase(std::next(it).base());
            return name;
        }
        return 0;
    }

    // The window belongs to the os layer and may be destroyed before the
    // device; ids are never reused, so a lookup by id tells whether it lives.
    bool WindowAlive() const { return m_window && m_windowId && SDL_GetWindowFromID(m_windowId) == m_window; }

    // False when there is no drawable left to make the context current on:
    // every GL call must then be skipped (the loader aborts without a context).
    bool MakeCurrent() {
        if (!m_context || !WindowAlive()) return false;
        if (SDL_GL_GetCurrentContext() != m_context && SDL_GL_MakeCurrent(m_window, m_context) != 0) return false;
        return true;
    }

    void CoverDisplay() {
        if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN) return;
        SDL_Rect bounds{};
        const int display = SDL_GetWindowDisplayIndex(m_window);
        if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0) return;
        SDL_SetWindowPosition(m_window, bounds.x, bounds.y);
        SDL_SetWindowSize(m_window, bounds.w, bounds.h);
    }

    void ApplyWindowMode() {
        if (!m_params.Windowed) {
            // Without a window manager nobody answers the request below: the
            // window covers the display itself first, so that what SDL takes
            // for its size is its size.
            CoverDisplay();
            SDL_SetWindowFullscreen(m_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            if (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN_DESKTOP) SDL_SetWindowFullscreen(m_window, 0);
            if (m_ownWindow) SDL_SetWindowSize(m_window, int(m_params.BackBufferWidth), int(m_params.BackBufferHeight));
        }
        // DEFAULT and ONE wait for the retrace, IMMEDIATE does not. A driver that
        // cannot wait (no vsync, or no display to wait for) is paced by sleeping.
        const bool wait = m_params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
        const bool retrace = SDL_GL_SetSwapInterval(wait ? 1 : 0) == 0 && !os::IsHeadless();
        m_pacer.SetPeriod(wait && !retrace ? RefreshPeriod(DisplayRefreshRate()) : std::chrono::nanoseconds{0});
    }

    // The refresh rate of the display the window is on; 0 when unknown.
    int DisplayRefreshRate() const {
        SDL_DisplayMode mode{};
        const int display = SDL_GetWindowDisplayIndex(m_window);
        if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
        return mode.refresh_rate;
    }

    // A GL error after a draw is the back end's own failure: told once per error code.
    HRESULT CheckGlError() {
        if (m_fault == BackendFault::GlErrorOnDraw) {
            m_fault = BackendFault::None;
            glEnable(GL_INVALID_ENUM); // a real error of the driver's own making
        }
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) return D3D_OK;
        // GL keeps one flag per kind of error: take every one, so the next draw starts clean.
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
        char text[96];
        std::snprintf(text, sizeof text, "gfx gl: OpenGL error 0x%04X after a draw", unsigned(error));
        ReportOnce("gl error " + std::to_string(error), text);
        return D3DERR_DRIVERINTERNALERROR;
    }

    // Standard error hears of each kind of failure once; the draws keep returning it.
    void ReportOnce(const std::string& kind, const std::string& text) {
        if (m_reported.insert(kind).second) std::fprintf(stderr, "%s\n", text.c_str());
    }

    // One program per fixed-function state, by its generated sources.
    Program* ProgramFor(const std::string& vsSource, const std::string& fsSource) {
        const std::string key = vsSource + "|" + fsSource;
        auto it = m_programs.find(key);
        if (it != m_programs.end()) return &it->second;
        Program prog;
        const GLuint vs = Compile(GL_VERTEX_SHADER, vsSource.c_str(), prog.failure);
        const GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, fsSource.c_str(), prog.failure) : 0;
        if (!vs || !fs) prog.failureKind = "compile";
        if (vs && fs) {
            prog.id = glCreateProgram();
            glAttachShader(prog.id, vs);
            glAttachShader(prog.id, fs);
            glLinkProgram(prog.id);
            GLint ok = 0;
            glGetProgramiv(prog.id, GL_LINK_STATUS, &ok);
            if (!ok) {
                char log[2048] = {};
                glGetProgramInfoLog(prog.id, sizeof log, nullptr, log);
                prog.failureKind = "link";
                prog.failure = std::string("program link failed: ") + log;
                glDeleteProgram(prog.id);
                prog.id = 0;
            }
        }
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        auto loc = [&](const char* name) { return prog.id ? glGetUniformLocation(prog.id, name) : -1; };
        prog.wvp = loc("uWVP");
        prog.wv = loc("uWV");
        prog.normalMatrix = loc("uNormalMatrix");
        prog.blendWV = loc("uBlendWV");
        prog.blendNormal = loc("uBlendNormal");
        prog.proj = loc("uProj");
        prog.viewport = loc("uViewport");
        prog.depthRange = loc("uDepthRange");
        prog.target = loc("uTarget");
        prog.flipY = loc("uFlipY");
        prog.matDiffuse = loc("uMatDiffuse");
        prog.matAmbient = loc("uMatAmbient");
        prog.matSpecular = loc("uMatSpecular");
        prog.matEmissive = loc("uMatEmissive");
        prog.matPower = loc("uMatPower");
        prog.globalAmbient = loc("uGlobalAmbient");
        prog.lightDiffuse = loc("uLightDiffuse");
        prog.lightSpecular = loc("uLightSpecular");
        prog.lightAmbient = loc("uLightAmbient");
        prog.lightPos = loc("uLightPos");
        prog.lightDir = loc("uLightDir");
        prog.lightAtten = loc("uLightAtten");
        prog.lightSpot = loc("uLightSpot");
        prog.fog = loc("uFog");
        prog.texMatrix = loc("uTexMatrix");
        prog.tfactor = loc("uTFactor");
        prog.alphaRef = loc("uAlphaRef");
        prog.fogColor = loc("uFogColor");
        for (int i = 0; i < 8; ++i) {
            prog.bump[std::size_t(i)] = loc(("uBump" + std::to_string(i)).c_str());
            prog.bumpL[std::size_t(i)] = loc(("uBumpL" + std::to_string(i)).c_str());
        }
        if (prog.id) {
            // The palettes of indexed blending sit at bindings of their own.
            if (const GLuint block = glGetUniformBlockIndex(prog.id, "BlendPalette"); block != GL_INVALID_INDEX)
                glUniformBlockBinding(prog.id, block, kPaletteBinding);
            if (const GLuint block = glGetUniformBlockIndex(prog.id, "BlendPaletteNormals"); block != GL_INVALID_INDEX)
                glUniformBlockBinding(prog.id, block, kPaletteBinding + 1);
            // Stage i samples texture unit i, for good.
            UseProgram(prog.id);
            for (int i = 0; i < 8; ++i) {
                const std::string name = "uTex" + std::to_string(i);
                const GLint unit = glGetUniformLocation(prog.id, name.c_str());
                if (unit >= 0) glUniform1i(unit, i);
            }
        }
        return &m_programs.emplace(key, prog).first->second;
    }

    void EnsureColor(IDirect3DSurface9& s) {
        if (s.backend.name) return;
        GlFormat f;
        // The front end makes colour targets and back buffers of the six formats GL stores only.
        [[maybe_unused]] const bool known = GlColorFormat(s.Format(), f);
        assert(known && "a colour target of a format the device does not make");
        if (!known) return;
        glGenTextures(1, &s.backend.name);
        glBindTexture(GL_TEXTURE_2D, s.backend.name);
        m_boundTextures[m_activeUnit] = s.backend.name;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        // Starts from the front end's bytes, so a new target reads back what its memory says.
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(f.internal), GLsizei(s.Width()), GLsizei(s.Height()), 0, f.format, f.type,
                     s.Bytes());
    }

    void EnsureDepth(IDirect3DSurface9& s) {
        if (s.backend.name2) return;
        glGenRenderbuffers(1, &s.backend.name2);
        glBindRenderbuffer(GL_RENDERBUFFER, s.backend.name2);
        glRenderbufferStorage(GL_RENDERBUFFER, GlDepthFormat(s.Format()), GLsizei(s.Width()), GLsizei(s.Height()));
    }

    // The window's framebuffer serves as the back buffer when nothing sets them
    // apart: same size (no full-screen scaling), 8-bit colour, and the depth and
    // stencil the automatic depth surface needs. Otherwise everything draws into
    // a framebuffer object that Present copies out.
    void ChooseDirect() {
        int r = 0, g = 0, b = 0, a = 0, depth = 0, stencil = 0;
        SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &r);
        SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &g);
        SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &b);
        SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &a);
        SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
        SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
        const D3DFORMAT f = m_params.BackBufferFormat;
        bool suits = r == 8 && g == 8 && b == 8 && (f == D3DFMT_X8R8G8B8 || (f == D3DFMT_A8R8G8B8 && a == 8));
        if (m_params.EnableAutoDepthStencil) {
            const D3DFORMAT d = m_params.AutoDepthStencilFormat;
            suits = suits && depth >= (d == D3DFMT_D16 ? 16 : 24) && (!FormatHasStencil(d) || stencil >= 8);
        }
        // A multisampled back buffer is drawn apart and resolved into the window.
        m_windowSuits = suits && m_samples <= 1;
        m_direct = !m_direct; // forces UpdateDirect to settle the binding
        UpdateDirect();
    }

    // Direct drawing also needs the window to show the back buffer unscaled.
    void UpdateDirect() {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_window, &w, &h);
        const bool direct = m_windowSuits && std::uint32_t(w) == m_params.BackBufferWidth &&
                            std::uint32_t(h) == m_params.BackBufferHeight;
        if (direct != m_direct) m_boundFramebuffer = ~0u;
        m_direct = direct;
    }

    [[nodiscard]] bool IsWindowSurface(const IDirect3DSurface9& s) const {
        return m_direct && s.IsImplicit() && (s.Usage() & D3DUSAGE_RENDERTARGET);
    }

    // Scissor rectangles are given top-down; the window counts rows bottom-up.
    [[nodiscard]] GLint ScissorY(std::int32_t top, std::int32_t bottom) const {
        return m_flipY ? GLint(m_targetHeight - bottom) : GLint(top);
    }

    // The window counts rows bottom-up: the rectangle is read from its
    // mirrored place straight into the surface's rows, then turned over there.
    void ReadWindow(IDirect3DSurface9& surface, const RECT& r) {
        GlFormat f;
        if (!GlColorFormat(surface.Format(), f)) return;
        if (!MakeCurrent()) return;
        const std::uint32_t pitch = surface.Pitch(), bpp = FormatBitsPerPixel(surface.Format()) / 8;
        const std::uint32_t w = std::uint32_t(r.right - r.left), h = std::uint32_t(r.bottom - r.top);
        const std::size_t rowBytes = std::size_t(w) * bpp;
        std::uint8_t* first = surface.Bytes() + std::size_t(r.top) * pitch + std::size_t(r.left) * bpp;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, GLint(pitch / bpp));
        glReadPixels(r.left, GLint(surface.Height()) - r.bottom, GLsizei(w), GLsizei(h), f.format, f.type, first);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        m_readRows.resize(rowBytes);
        for (std::uint32_t y = 0; y < h / 2; ++y) {
            std::uint8_t* top = first + std::size_t(y) * pitch;
            std::uint8_t* bottom = first + std::size_t(h - 1 - y) * pitch;
            std::memcpy(m_readRows.data(), top, rowBytes);
            std::memcpy(top, bottom, rowBytes);
            std::memcpy(bottom, m_readRows.data(), rowBytes);
        }
        m_boundFramebuffer = ~0u;
    }

    bool BindTargets(const DeviceState& s) {
        IDirect3DSurface9* rt = s.renderTargets[0];
        if (!rt) return false;
        IDirect3DSurface9* ds = s.depthStencil;
        m_targetHeight = GLsizei(rt->Height());
        if (m_samples > 1 && rt->IsImplicit()) return BindMultisampleTargets(*rt, ds);
        if (IsWindowSurface(*rt)) {
            if (m_boundFramebuffer != 0) {
                glBindFramebuffer(GL_FRAMEBUFFER, 0);
                m_boundFramebuffer = 0;
            }
            m_flipY = true;
            // Only the automatic depth surface lives in the window.
            m_hasDepth = ds && ds->IsImplicit();
            m_hasStencil = m_hasDepth && FormatHasStencil(ds->Format());
            if (ds && !ds->IsImplicit() && !m_warnedDepth) {
                std::fprintf(stderr, "gfx gl: a created depth surface cannot serve the window's back buffer; "
                                     "drawing without depth\n");
                m_warnedDepth = true;
            }
            SetViewport(*rt);
            return true;
        }
        m_flipY = false;
        EnsureColor(*rt);
        if (ds) EnsureDepth(*ds);
        if (m_boundFramebuffer != m_fbo) {
            glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
            m_boundFramebuffer = m_fbo;
        }
        const GLuint depth = ds ? ds->backend.name2 : 0;
        if (rt->backend.name != m_boundColor) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, rt->backend.name, 0);
            m_boundColor = rt->backend.name;
        }
        if (depth != m_boundDepth) {
            const bool stencil = depth && FormatHasStencil(ds->Format());
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, depth);
            m_boundDepth = depth;
        }
        m_hasDepth = m_boundDepth != 0;
        m_hasStencil = m_hasDepth && FormatHasStencil(ds->Format());
        SetViewport(*rt);
        return true;
    }

    // ---- multisampling ----
    // A back buffer of more than one sample lives in renderbuffers of its own
    // (with the automatic depth surface's), and is resolved into its texture
    // for Present and for reads.
    void DeleteMultisampleBuffers() {
        if (m_msFbo) glDeleteFramebuffers(1, &m_msFbo);
        if (m_msColor) glDeleteRenderbuffers(1, &m_msColor);
        if (m_msDepth) glDeleteRenderbuffers(1, &m_msDepth);
        m_msFbo = m_msColor = m_msDepth = 0;
    }

    void MakeMultisampleBuffers() {
        DeleteMultisampleBuffers();
        if (m_boundFramebuffer != 0) m_boundFramebuffer = ~0u;
        m_samples = SamplesFor(m_params.MultiSampleType, m_params.MultiSampleQuality, GlSampleCounts());
        GlFormat f;
        if (m_samples <= 1 || !GlColorFormat(m_params.BackBufferFormat, f)) {
            m_samples = 1;
            return;
        }
        const GLsizei w = GLsizei(m_params.BackBufferWidth), h = GLsizei(m_params.BackBufferHeight);
        glGenFramebuffers(1, &m_msFbo);
        glBindFramebuffer(GL_FRAMEBUFFER, m_msFbo);
        m_boundFramebuffer = ~0u;
        glGenRenderbuffers(1, &m_msColor);
        glBindRenderbuffer(GL_RENDERBUFFER, m_msColor);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(m_samples), f.internal, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_msColor);
        m_msStencil = false;
        if (m_params.EnableAutoDepthStencil) {
            glGenRenderbuffers(1, &m_msDepth);
            glBindRenderbuffer(GL_RENDERBUFFER, m_msDepth);
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(m_samples),
                                             GlDepthFormat(m_params.AutoDepthStencilFormat), w, h);
            m_msStencil = FormatHasStencil(m_params.AutoDepthStencilFormat);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, m_msStencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, m_msDepth);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            std::fprintf(stderr, "gfx gl: no multisampled back buffer of %u samples; drawing without\n", m_samples);
            DeleteMultisampleBuffers();
            m_samples = 1;
        }
    }

    bool BindMultisampleTargets(IDirect3DSurface9& rt, const IDirect3DSurface9* ds) {
        if (m_boundFramebuffer != m_msFbo) {
            glBindFramebuffer(GL_FRAMEBUFFER, m_msFbo);
            m_boundFramebuffer = m_msFbo;
        }
        m_flipY = false;
        // Only the automatic depth surface shares the back buffer's samples.
        m_hasDepth = ds && ds->IsImplicit() && m_msDepth != 0;
        m_hasStencil = m_hasDepth && m_msStencil;
        if (ds && !ds->IsImplicit() && !m_warnedDepth) {
            std::fprintf(stderr, "gfx gl: a created depth surface cannot serve a multisampled back buffer; "
                                 "drawing without depth\n");
            m_warnedDepth = true;
        }
        SetViewport(rt);
        return true;
    }

    // The samples of the back buffer averaged into its texture.
    void Resolve(IDirect3DSurface9& back) {
        EnsureColor(back);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_msFbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, back.backend.name, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        m_rasterKnown = false;
        const GLint w = GLint(back.Width()), h = GLint(back.Height());
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        m_boundFramebuffer = ~0u;
    }

    void SetViewport(const IDirect3DSurface9& rt) {
        const std::array<GLsizei, 2> size = {GLsizei(rt.Width()), GLsizei(rt.Height())};
        if (size == m_viewportSize) return;
        glViewport(0, 0, size[0], size[1]);
        m_viewportSize = size;
    }

    GLuint UploadBuffer(BufferResource& b, GLenum target) {
        if (!b.backend.name) {
            glGenBuffers(1, &b.backend.name);
            glBindBuffer(target, b.backend.name);
            glBufferData(target, b.Size(), b.Bytes(),
                         (b.Usage() & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
            b.backend.version = b.ContentVersion();
            b.dirtyBegin = b.dirtyEnd = 0;
            b.renamed = false;
            return b.backend.name;
        }
        glBindBuffer(target, b.backend.name);
        if (b.renamed) {
            // Orphan the storage: draws already issued keep theirs, nothing waits.
            glBufferData(target, b.Size(), nullptr,
                         (b.Usage() & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
            b.renamed = false;
        }
        if (b.backend.version != b.ContentVersion() && b.dirtyEnd > b.dirtyBegin) {
            glBufferSubData(target, b.dirtyBegin, b.dirtyEnd - b.dirtyBegin, b.Bytes() + b.dirtyBegin);
        }
        b.backend.version = b.ContentVersion();
        b.dirtyBegin = b.dirtyEnd = 0;
        return b.backend.name;
    }

    // Each vertex buffer draws through a vertex array of its own, which keeps
    // the attributes last set on it: a buffer drawn again with the same
    // layout sends nothing but the binding. The array goes with its buffer.
    struct AttributeState {
        bool known = false, enabled = false;
        GLuint buffer = 0;
        GLint size = 0;
        GLenum type = 0;
        GLboolean normalized = GL_FALSE;
        std::uint32_t stride = 0;
        std::uintptr_t offset = 0;
    };
    static constexpr std::size_t kAttributes = 16; // the fixed-function inputs use 0-13, programs v0-v15
    // What a program's draw last set the attributes up from: a draw from the
    // same program, elements and streams finds them as it would leave them.
    struct ProgramSource {
        bool valid = false;
        std::uint32_t program = 0;
        std::uint8_t elementCount = 0;
        std::array<VertexLayout::Element, 64> elements{};
        std::uint32_t streams = 0; // the streams read; only their entries below count
        std::array<GLuint, 16> buffers{};
        std::array<std::uint32_t, 16> strides{}, offsets{};
        std::uint32_t enabled = 0; // attributes reading an array
        std::uint32_t w1 = 0;
    };
    struct VertexArray {
        GLuint name = 0;
        std::array<AttributeState, kAttributes> attributes{};
        ProgramSource source;
    };
    // The current value a disabled attribute reads: context state, not the array's.
    struct AttributeConstant {
        bool known = false;
        float value = 0.0f;
    };

    VertexArray& UseVertexArrayOf(GLuint buffer) {
        VertexArray& va = m_vertexArrays[buffer];
        if (!va.name) glGenVertexArrays(1, &va.name);
        if (va.name != m_boundVertexArray) {
            glBindVertexArray(va.name);
            m_boundVertexArray = va.name;
        }
        m_attributes = &va.attributes;
        m_arraySource = &va.source;
        return va;
    }

    // The buffer's vertex array goes with it (a deleted buffer's name comes back).
    void ForgetVertexArrayOf(GLuint buffer) {
        const auto found = m_vertexArrays.find(buffer);
        if (found == m_vertexArrays.end()) return;
        if (found->second.name == m_boundVertexArray) {
            glBindVertexArray(m_vao);
            m_boundVertexArray = m_vao;
        }
        glDeleteVertexArrays(1, &found->second.name);
        if (m_attributes == &found->second.attributes) m_attributes = nullptr;
        if (m_arraySource == &found->second.source) m_arraySource = nullptr;
        m_vertexArrays.erase(found);
    }

    // Attribute `index` reads the bound array buffer.
    void SetAttribute(GLuint index, GLint size, GLenum type, GLboolean normalized, std::uint32_t stride,
                      std::uintptr_t offset) {
        AttributeState& a = (*m_attributes)[index];
        if (m_arraySource) m_arraySource->valid = false;
        if (!a.known || !a.enabled) glEnableVertexAttribArray(index);
        if (!a.known || !a.enabled || a.buffer != m_arrayBuffer || a.size != size || a.type != type ||
            a.normalized != normalized || a.stride != stride || a.offset != offset)
            glVertexAttribPointer(index, size, type, normalized, GLsizei(stride), reinterpret_cast<const void*>(offset));
        a = AttributeState{true, true, m_arrayBuffer, size, type, normalized, stride, offset};
        // GL leaves an attribute's current value undefined after drawing from its array.
        m_constants[index].known = false;
    }

    // Attribute `index` switched off; with `constant`, reading that in every component.
    void DisableAttribute(GLuint index, const float* constant) {
        AttributeState& a = (*m_attributes)[index];
        if (m_arraySource) m_arraySource->valid = false;
        if (!a.known || a.enabled) glDisableVertexAttribArray(index);
        a.known = true;
        a.enabled = false;
        AttributeConstant& c = m_constants[index];
        if (constant && (!c.known || c.value != *constant)) {
            glVertexAttrib4f(index, *constant, *constant, *constant, *constant);
            c.known = true;
            c.value = *constant;
        }
    }

    // How an element type reads as a GL attribute (D3DCOLOR bytes are B, G, R, A in memory).
    struct GlAttributeType {
        GLint size;
        GLenum type;
        GLboolean normalized;
    };
    static GlAttributeType AttributeTypeOf(std::uint32_t t) {
        switch (t) {
        case D3DDECLTYPE_FLOAT1: return {1, GL_FLOAT, GL_FALSE};
        case D3DDECLTYPE_FLOAT2: return {2, GL_FLOAT, GL_FALSE};
        case D3DDECLTYPE_FLOAT3: return {3, GL_FLOAT, GL_FALSE};
        case D3DDECLTYPE_FLOAT4: return {4, GL_FLOAT, GL_FALSE};
        case D3DDECLTYPE_D3DCOLOR: return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};
        case D3DDECLTYPE_UBYTE4: return {4, GL_UNSIGNED_BYTE, GL_FALSE};
        case D3DDECLTYPE_SHORT2: return {2, GL_SHORT, GL_FALSE};
        case D3DDECLTYPE_SHORT4: return {4, GL_SHORT, GL_FALSE};
        case D3DDECLTYPE_UBYTE4N: return {4, GL_UNSIGNED_BYTE, GL_TRUE};
        case D3DDECLTYPE_SHORT2N: return {2, GL_SHORT, GL_TRUE};
        case D3DDECLTYPE_SHORT4N: return {4, GL_SHORT, GL_TRUE};
        case D3DDECLTYPE_USHORT2N: return {2, GL_UNSIGNED_SHORT, GL_TRUE};
        case D3DDECLTYPE_USHORT4N: return {4, GL_UNSIGNED_SHORT, GL_TRUE};
        // Three packed components; the fourth GL reads is set to 1 in the program.
        case D3DDECLTYPE_UDEC3: return {4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE};
        case D3DDECLTYPE_DEC3N: return {4, GL_INT_2_10_10_10_REV, GL_TRUE};
        case D3DDECLTYPE_FLOAT16_2: return {2, GL_HALF_FLOAT, GL_FALSE};
        default: return {4, GL_HALF_FLOAT, GL_FALSE}; // FLOAT16_4
        }
    }

    // The fixed-function emulation's attribute of an element; -1 for none.
    static int FixedLocationOf(const VertexLayout::Element& e) {
        switch (e.usage) {
        case D3DDECLUSAGE_POSITION: case D3DDECLUSAGE_POSITIONT: return e.index == 0 ? 0 : -1;
        case D3DDECLUSAGE_COLOR: return e.index <= 1 ? 1 + e.index : -1;
        case D3DDECLUSAGE_NORMAL: return e.index == 0 ? 3 : -1;
        case D3DDECLUSAGE_TEXCOORD: return e.index < 8 ? 4 + e.index : -1;
        case D3DDECLUSAGE_BLENDWEIGHT: return e.index == 0 ? 12 : -1;
        case D3DDECLUSAGE_BLENDINDICES: return e.index == 0 ? 13 : -1;
        default: return -1;
        }
    }

    // Every attribute from its element, in whichever stream and type: a vertex
    // program's inputs by usage and index, else the fixed-function ones.
    // Returns the inputs whose fourth component must read 1.
    std::uint32_t BindElements(const DeviceState& s, const VertexLayout& layout, const DrawCall& call) {
        // Stream buffers in GL; the first one read chooses the vertex array.
        std::array<GLuint, 16> buffers{};
        GLuint first = 0;
        for (std::uint32_t bits = layout.streams & 0xFFFFu; bits; bits &= bits - 1) {
            const auto i = std::uint32_t(std::countr_zero(bits));
            if (call.userVertices) {
                if (i != 0) continue;
                glBindBuffer(GL_ARRAY_BUFFER, m_streamVbo);
                glBufferData(GL_ARRAY_BUFFER, call.userVertexBytes, call.userVertices, GL_STREAM_DRAW);
                buffers[0] = m_streamVbo;
            } else if (s.streams[i].buffer) {
                buffers[i] = UploadBuffer(*s.streams[i].buffer, GL_ARRAY_BUFFER);
            }
            if (!first) first = buffers[i];
        }
        VertexArray& va = UseVertexArrayOf(first ? first : m_streamVbo);
        // A program drawn again from the same buffers finds its attributes set.
        const bool remember = s.vertexShader && !call.userVertices;
        if (remember && SameSource(va.source, s, layout, buffers)) {
            // Drawing from arrays leaves the current values of those attributes undefined.
            for (std::uint32_t bits = va.source.enabled; bits; bits &= bits - 1)
                m_constants[std::size_t(std::countr_zero(bits))].known = false;
            return va.source.w1;
        }
        std::array<int, kAttributes> source;
        source.fill(-1);
        if (s.vertexShader) {
            for (const ShaderSemantic& in : s.vertexShader->Translation().inputs)
                for (int e = 0; e < layout.elementCount; ++e)
                    if (layout.elements[e].usage == in.usage && layout.elements[e].index == in.index) {
                        source[in.reg] = e;
                        break;
                    }
        } else {
            for (int e = layout.elementCount - 1; e >= 0; --e) {
                const int location = FixedLocationOf(layout.elements[e]);
                if (location >= 0) source[location] = e;
            }
        }
        std::uint32_t enabled = 0;
        std::uint32_t w1 = 0;
        GLuint bound = ~0u;
        for (GLuint a = 0; a < kAttributes; ++a) {
            const int e = source[a];
            const VertexLayout::Element* el = e >= 0 ? &layout.elements[std::size_t(e)] : nullptr;
            const GLuint buffer = el ? buffers[el->stream] : 0;
            if (!el || !buffer) {
                if (!s.vertexShader && (a == 1 || a == 2)) {
                    const float absent = a == 1 ? 1.0f : 0.0f; // white diffuse, black specular
                    DisableAttribute(a, &absent);
                } else {
                    DisableAttribute(a, nullptr);
                }
                continue;
            }
            if (buffer != bound) {
                glBindBuffer(GL_ARRAY_BUFFER, buffer);
                bound = buffer;
            }
            m_arrayBuffer = buffer;
            const std::uint32_t stride = call.userVertices ? call.userStride : s.streams[el->stream].stride;
            const std::uintptr_t base = call.userVertices ? 0 : s.streams[el->stream].offset;
            const GlAttributeType t = AttributeTypeOf(el->type);
            SetAttribute(a, t.size, t.type, t.normalized, stride, base + el->offset);
            enabled |= 1u << a;
            if (el->type == D3DDECLTYPE_UDEC3 || el->type == D3DDECLTYPE_DEC3N) w1 |= 1u << a;
        }
        if (remember) {
            ProgramSource& now = va.source;
            now.program = s.vertexShader->ProgramId();
            now.elementCount = layout.elementCount;
            std::copy_n(layout.elements.begin(), layout.elementCount, now.elements.begin());
            now.streams = layout.streams & 0xFFFFu;
            for (std::uint32_t bits = now.streams; bits; bits &= bits - 1) {
                const auto i = std::size_t(std::countr_zero(bits));
                now.buffers[i] = buffers[i];
                now.strides[i] = s.streams[i].stride;
                now.offsets[i] = s.streams[i].offset;
            }
            now.enabled = enabled;
            now.w1 = w1;
            now.valid = true;
        }
        return w1;
    }

    static bool SameSource(const ProgramSource& was, const DeviceState& s, const VertexLayout& layout,
                           const std::array<GLuint, 16>& buffers) {
        if (!was.valid || was.program != s.vertexShader->ProgramId() || was.elementCount != layout.elementCount ||
            std::memcmp(was.elements.data(), layout.elements.data(),
                        sizeof(VertexLayout::Element) * layout.elementCount) != 0)
            return false;
        if (was.streams != (layout.streams & 0xFFFFu)) return false;
        for (std::uint32_t bits = was.streams; bits; bits &= bits - 1) {
            const auto i = std::size_t(std::countr_zero(bits));
            if (was.buffers[i] != buffers[i] || was.strides[i] != s.streams[i].stride ||
                was.offsets[i] != s.streams[i].offset)
                return false;
        }
        return true;
    }

    // Attributes the layout lacks are switched off, so no pointer of an earlier draw is read.
    void SetFloatAttribute(GLuint index, int offset, int size, std::uint32_t stride, std::uintptr_t base) {
        if (offset >= 0 && size >= 1 && size <= 4) {
            SetAttribute(index, size, GL_FLOAT, GL_FALSE, stride, base + std::uintptr_t(offset));
        } else {
            DisableAttribute(index, nullptr);
        }
    }

    // What was drawn into a target texture lives in its level surface's own
    // GL texture, rows as drawn (row 0 at the top, as uploads put it): a
    // plain one is sampled from there; a cube's faces are copied into its
    // cube texture on each bind.
    void BindTargetTexture(GLuint unit, IDirect3DBaseTexture9& t, const GlTextureFormat& f) {
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

    // Uploads every level on first use and after a lock, then binds the
    // texture and its stage's sampler to unit `unit`.
    void BindTexture(GLuint unit, IDirect3DBaseTexture9& t, const std::array<std::uint32_t, DeviceState::kSamplerStates>& ss) {
        GlTextureFormat f;
        if (!GlTextureFormatOf(t.Format(), f)) return;
        const bool cube = t.GetType() == D3DRTYPE_CUBETEXTURE;
        const bool volume = t.GetType() == D3DRTYPE_VOLUMETEXTURE;
        if (volume) UnpackVolumeBlocks(f);
        const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : (volume ? GL_TEXTURE_3D : GL_TEXTURE_2D);
        if (unit != m_activeUnit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            m_activeUnit = unit;
        }
        if (t.Usage() & D3DUSAGE_RENDERTARGET) {
            BindTargetTexture(unit, t, f);
        } else if (!t.backend.name || t.backend.version != t.ContentVersion()) {
            UploadBytesAsTheyStand(f);
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
        // The sampler: address modes, filters, mip choice and bias.
        const GLint mag = ss[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR;
        const bool linearMin = ss[D3DSAMP_MINFILTER] != D3DTEXF_POINT;
        GLint min = linearMin ? GL_LINEAR : GL_NEAREST;
        if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_POINT) min = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (ss[D3DSAMP_MIPFILTER] != D3DTEXF_NONE) min = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        const std::array<GLint, 8> params = {GlAddress(ss[D3DSAMP_ADDRESSU], m_mirrorOnce),
                                             GlAddress(ss[D3DSAMP_ADDRESSV], m_mirrorOnce),
                                             GlAddress(ss[D3DSAMP_ADDRESSW], m_mirrorOnce), mag, min,
                                             GLint(ss[D3DSAMP_MAXMIPLEVEL]), GLint(ss[D3DSAMP_MIPMAPLODBIAS]), 0};
        const GLuint sampler = m_samplers[unit];
        std::array<GLint, 8>& last = m_samplerParams[unit];
        if (params != last) {
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, params[0]);
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, params[1]);
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, params[2]);
            glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, params[3]);
            glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, params[4]);
            // The most detailed level used: LOD never goes below it.
            glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, float(ss[D3DSAMP_MAXMIPLEVEL]));
            glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, AsFloat(ss[D3DSAMP_MIPMAPLODBIAS]));
            last = params;
        }
        if (m_boundSamplers[unit] != sampler) {
            glBindSampler(unit, sampler);
            m_boundSamplers[unit] = sampler;
        }
    }

    // Nothing sampled at the unit: reads give (0, 0, 0, 1) as with no texture.
    void UnbindTexture(GLuint unit) {
        if (m_boundTextures[unit] == 0) return;
        if (unit != m_activeUnit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            m_activeUnit = unit;
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        m_boundTextures[unit] = 0;
    }

    void SetColorAttribute(GLuint index, int offset, std::uint32_t stride, std::uintptr_t base, float absent) {
        if (offset >= 0) {
            // D3DCOLOR bytes are B, G, R, A in memory.
            SetAttribute(index, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, base + std::uintptr_t(offset));
        } else {
            DisableAttribute(index, &absent);
        }
    }

    static std::string Bool(std::uint32_t v) { return v ? "true" : "false"; }

    // The sources of a state key's program: constants in front of the bodies,
    // the texture coordinates and the stages written out. `coordsForProgram`:
    // a pixel program follows, which reads every stage's coordinates whole.
    void FixedSources(const StateKey& key, bool coordsForProgram, std::string& vsOut, std::string& fsOut) {
        std::string vs = "#version 330 core\n";
        vs += "const bool kPretransformed = " + Bool(key[kPretransformedWord]) + ";\n";
        vs += "const bool kLighting = " + Bool(key[kLightingWord]) + ";\n";
        vs += "const int kDiffuseSrc = " + std::to_string(key[kDiffuseSrcWord]) +
              ", kAmbientSrc = " + std::to_string(key[kAmbientSrcWord]) +
              ", kSpecularSrc = " + std::to_string(key[kSpecularSrcWord]) +
              ", kEmissiveSrc = " + std::to_string(key[kEmissiveSrcWord]) + ";\n";
        vs += "const bool kHasNormal = " + Bool(key[kHasNormalWord]) + ";\n";
        vs += "const bool kNormalize = " + Bool(key[kNormalizeWord]) + ";\n";
        vs += "const int kBlendWeights = " + std::to_string(key[kBlendWord]) + ";\n";
        // 1: indices as four bytes, 2: as a colour.
        vs += "#define INDEXED " + std::string(key[kIndexedWord] ? "1" : "0") + "\n";
        vs += "const bool kIndexColor = " + Bool(key[kIndexedWord] == 2) + ";\n";
        vs += "const bool kLocalViewer = " + Bool(key[kLocalViewerWord]) + ";\n";
        vs += "const bool kSpecular = " + Bool(key[kSpecularLightWord]) + ";\n";
        vs += "const int kFogMode = " + std::to_string(key[kFogModeWord]) + ";\n";
        vs += "const bool kRangeFog = " + Bool(key[kRangeFogWord]) + ";\n";
        vs += "const bool kHasSpecularInput = " + Bool(key[kHasSpecularInputWord]) + ";\n";
        vs += "const int kLightCount = " + std::to_string(key[kLightCountWord]) + ";\n";
        vs += "const int kLightType[8] = int[8](";
        for (int i = 0; i < 8; ++i)
            vs += std::to_string((key[kLightTypesWord] >> (2 * i)) & 3u) + (i < 7 ? "," : ");\n");

        std::string fs = "#version 330 core\n";
        fs += "const bool kFlat = " + Bool(key[kFlatWord]) + ";\n";
        fs += "const bool kSpecularEnable = " + Bool(key[kSpecularEnableWord]) + ";\n";
        fs += "const int kAlphaFunc = " + std::to_string(key[kAlphaFuncWord]) + ";\n";
        fs += "const bool kFog = " + Bool(key[kFogWord]) + ";\n";

        std::string coords, stages;
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t* st = &key[kStageBase + std::size_t(i) * kStageWords];
            if (st[kColorOp] == D3DTOP_DISABLE && !coordsForProgram) break;
            const std::string n = std::to_string(i);
            // Coordinates: a set of the vertex, or one made in camera space.
            const std::uint32_t source = st[kTexCoordSource], form = st[kTexCoordForm];
            const std::uint32_t set = source & 0xFFFF, generated = source >> 16;
            const std::uint32_t size = form & 0xFF, count = form >> 8;
            std::string t;
            if (generated == 1) t = "vec4(N, 1.0)";
            else if (generated == 2) t = "vec4(pc, 1.0)";
            else if (generated == 3) t = "vec4(2.0 * dot(E, N) * N - E, 1.0)";
            else if (size == 0) t = "vec4(0.0, 0.0, 0.0, 1.0)";
            else t = "expand(aTex[" + std::to_string(set) + "], " + std::to_string(size) + ")";
            if (count != 0) t = "uTexMatrix[" + n + "] * " + t;
            if (coordsForProgram) {
                vs += "out vec4 vT" + n + ";\n";
                coords += "vT" + n + " = " + t + ";\n    ";
                continue;
            }

            // Only a sampled stage's coordinates travel, with the components its lookup reads.
            const std::uint32_t kind = st[kTextureKind];
            if (kind == 1) {
                vs += "out vec2 vTex" + n + ";\n";
                coords += "vTex" + n + " = (" + t + ").xy;\n    ";
                fs += "uniform sampler2D uTex" + n + ";\nin vec2 vTex" + n + ";\n";
            } else if (kind == 2 || kind == 3) {
                vs += "out vec3 vTex" + n + ";\n";
                coords += "vTex" + n + " = (" + t + ").xyz;\n    ";
                fs += std::string(kind == 2 ? "uniform samplerCube uTex" : "uniform sampler3D uTex") + n + ";\nin vec3 vTex" +
                      n + ";\n";
            }
            auto usesTexture = [&](std::uint32_t op, const std::uint32_t* args) {
                if (op == D3DTOP_DISABLE) return false;
                if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
                for (int k = 0; k < 3; ++k)
                    if ((args[k] & D3DTA_SELECTMASK) == D3DTA_TEXTURE) return true;
                return false;
            };
            const std::uint32_t colorArgs[3] = {st[kColorArg0], st[kColorArg1], st[kColorArg2]};
            const std::uint32_t alphaArgs[3] = {st[kAlphaArg0], st[kAlphaArg1], st[kAlphaArg2]};
            // A stage without a texture passes the current value where its operation reads the texture.
            const bool colorRuns = kind != 0 || !usesTexture(st[kColorOp], colorArgs);
            const bool alphaRuns = st[kAlphaOp] != D3DTOP_DISABLE && (kind != 0 || !usesTexture(st[kAlphaOp], alphaArgs));
            auto sel = [&](std::uint32_t a) {
                return "sel(" + std::to_string(a) + ", diffuse, current, specular, tex, temp)";
            };
            auto opCall = [&](std::uint32_t o, const std::uint32_t* args) {
                return "op(" + std::to_string(o) + ", " + sel(args[0]) + ", " + sel(args[1]) + ", " + sel(args[2]) +
                       ", diffuse.a, tex.a, uTFactor.a, current.a)";
            };
            stages += "{\n        vec4 tex = ";
            // After a bump stage the lookup moves by its du, dv (and takes its luminance).
            const bool bumped = i > 0 && IsBumpOp(key[kStageBase + std::size_t(i - 1) * kStageWords + kColorOp]);
            if (kind != 0 && bumped)
                stages += "texture(uTex" + n + ", vTex" + n + (kind == 1 ? " + bumpDelta" : " + vec3(bumpDelta, 0.0)") +
                          ");\n        tex.rgb *= bumpLum;\n";
            else if (kind != 0)
                stages += "texture(uTex" + n + ", vTex" + n + ");\n";
            else
                stages += "vec4(1.0);\n";
            if (IsBumpOp(st[kColorOp])) {
                // Red and green of the bump texel through the stage's matrix: the
                // next stage's offset; blue, scaled and offset, its luminance.
                // The colour goes on as it is.
                fs += "uniform vec4 uBump" + n + ";\nuniform vec2 uBumpL" + n + ";\n";
                if (kind != 0) {
                    stages += "        bumpDelta = vec2(dot(tex.rg, uBump" + n + ".xz), dot(tex.rg, uBump" + n + ".yw));\n";
                    if (st[kColorOp] == D3DTOP_BUMPENVMAPLUMINANCE)
                        stages += "        bumpLum = clamp(tex.b * uBumpL" + n + ".x + uBumpL" + n + ".y, 0.0, 1.0);\n";
                }
                stages += "        vec4 c = current;\n";
            } else {
                stages += "        vec4 c = " + (colorRuns ? opCall(st[kColorOp], colorArgs) : std::string("current")) + ";\n";
            }
            if (st[kColorOp] == D3DTOP_DOTPRODUCT3 && colorRuns) {
                stages += "        vec4 r = c;\n"; // the dot product goes to every channel
            } else {
                stages += "        vec4 r = vec4(c.rgb, " +
                          (alphaRuns ? opCall(st[kAlphaOp], alphaArgs) + ".a" : std::string("current.a")) + ");\n";
            }
            stages += st[kResultArg] == D3DTA_TEMP ? "        temp = r;\n    }\n    " : "        current = r;\n    }\n    ";
        }
        if (m_fault == BackendFault::CompileError) fs += "#error a fault injected by a test\n";
        // The same uniform with another type in each stage compiles, and fails to link.
        if (m_fault == BackendFault::LinkError) fs += "uniform float uViewport;\n";

        stages = "vec2 bumpDelta = vec2(0.0);\n    float bumpLum = 1.0;\n    " + stages;
        std::string vsBody = kVertexShader, fsBody = kFragmentShader;
        vsBody.replace(vsBody.find("TEXCOORDS"), 9, coords);
        fsBody.replace(fsBody.find("STAGES"), 6, stages);
        vsOut = vs + vsBody;
        fsOut = fs + fsBody;
    }

    Program* GenerateProgram(const StateKey& key, const DeviceState* state = nullptr) {
        if (state && (key[kVertexProgramWord] || key[kPixelProgramWord])) return GenerateProgramPair(key, *state);
        std::string vs, fs;
        FixedSources(key, false, vs, fs);
        Program* prog = ProgramFor(vs, fs);
        prog->lighting = key[kLightingWord] != 0;
        prog->lightCount = key[kLightCountWord];
        prog->fogUniforms = key[kFogModeWord] != 0 && key[kFogModeWord] != 4;
        for (int i = 0; i < 8; ++i)
            prog->texMatrices = prog->texMatrices || (key[kStageBase + std::size_t(i) * kStageWords + kTexCoordForm] >> 8) != 0;
        return prog;
    }

    // A vertex or pixel program with the other half: another program or the
    // fixed-function emulation for the same key.
    Program* GenerateProgramPair(const StateKey& key, const DeviceState& s) {
        const TranslatedShader* vs = s.vertexShader ? &s.vertexShader->Translation() : nullptr;
        const TranslatedShader* ps = s.pixelShader ? &s.pixelShader->Translation() : nullptr;
        const bool fog = key[kFogWord] != 0;
        std::string vsSource, fsSource, fixedVs, fixedFs;
        if (!vs || !ps) FixedSources(key, ps != nullptr, fixedVs, fixedFs);
        if (vs && ps) {
            vsSource = ComposeVertexProgram(*vs, nullptr, PixelProgramVaryings(*ps, fog && ps->major < 3));
        } else if (vs) {
            std::vector<FixedStageInput> stages;
            for (int i = 0; i < 8; ++i) {
                const std::uint32_t* st = &key[kStageBase + std::size_t(i) * kStageWords];
                if (st[kColorOp] == D3DTOP_DISABLE) break;
                if (st[kTextureKind] == 0) continue;
                stages.push_back({i, int(st[kTexCoordSource] & 7), st[kTextureKind] >= 2 ? 3 : 2});
            }
            vsSource = ComposeVertexProgram(*vs, &stages, {});
        } else {
            vsSource = fixedVs;
        }
        if (ps) {
            std::array<std::uint8_t, 16> kinds{};
            static constexpr std::uint8_t kKind[4] = {0, D3DSTT_2D, D3DSTT_CUBE, D3DSTT_VOLUME};
            for (int n = 0; n < 16; ++n) kinds[n] = kKind[(key[kSamplerKindsWord] >> (2 * n)) & 3];
            fsSource = ComposePixelProgram(*ps, vs == nullptr, kinds, key[kAlphaFuncWord], fog);
        } else {
            fsSource = fixedFs;
        }
        if (ps && m_fault == BackendFault::CompileError) fsSource += "#error a fault injected by a test\n";
        if (ps && m_fault == BackendFault::LinkError) fsSource += "uniform float uViewport;\n";
        Program* prog = ProgramFor(vsSource, fsSource);
        prog->lighting = !vs && key[kLightingWord] != 0;
        prog->lightCount = vs ? 0 : key[kLightCountWord];
        prog->fogUniforms = !vs && key[kFogModeWord] != 0 && key[kFogModeWord] != 4;
        prog->texMatrices = false;
        for (int i = 0; i < 8 && !vs; ++i)
            prog->texMatrices = prog->texMatrices || (key[kStageBase + std::size_t(i) * kStageWords + kTexCoordForm] >> 8) != 0;
        if (prog->id && !prog->constants) {
            prog->constants = std::make_shared<GlProgramConstants>();
            prog->constants->Locate(prog->id, vs, ps);
            m_usedProgram = prog->id;
        }
        return prog;
    }

    // The kinds of the textures bound to samplers 0-15, two bits each (none,
    // plain, cube, volume), for pixel programs whose samplers follow the texture.
    static std::uint32_t SamplerKinds(const DeviceState& s) {
        std::uint32_t word = 0;
        for (std::uint32_t n = 0; n < 16; ++n) {
            const IDirect3DBaseTexture9* t = s.textures[n];
            if (!t) continue;
            GlTextureFormat f;
            if (!GlTextureFormatOf(t->Format(), f)) continue;
            const std::uint32_t kind = t->GetType() == D3DRTYPE_CUBETEXTURE ? 2 : (t->GetType() == D3DRTYPE_VOLUMETEXTURE ? 3 : 1);
            word |= kind << (2 * n);
        }
        return word;
    }

    // The key of a draw with programs: the program ids, and only the words of
    // the fixed-function half that runs.
    void ProgramKeyWords(const DeviceState& s, const VertexLayout& layout, StateKey& key) {
        const IDirect3DVertexShader9* vs = s.vertexShader;
        const IDirect3DPixelShader9* ps = s.pixelShader;
        key[kVertexProgramWord] = vs ? vs->ProgramId() : 0;
        key[kPixelProgramWord] = ps ? ps->ProgramId() : 0;
        if (vs) {
            for (std::size_t w : {kPretransformedWord, kLightingWord, kDiffuseSrcWord, kAmbientSrcWord, kSpecularSrcWord,
                                  kEmissiveSrcWord, kHasNormalWord, kNormalizeWord, kLocalViewerWord, kSpecularLightWord,
                                  kFogModeWord, kRangeFogWord, kHasSpecularInputWord, kLightCountWord, kLightTypesWord,
                                  kBlendWord, kIndexedWord})
                key[w] = 0;
            m_lights.clear();
            for (std::size_t i = 0; i < 8; ++i) {
                std::uint32_t* st = &key[kStageBase + i * kStageWords];
                st[kTexCoordSource] = s.stageStates[i][D3DTSS_TEXCOORDINDEX] & 7;
                st[kTexCoordForm] = 0;
            }
        }
        if (ps) {
            key[kFlatWord] = 0;
            key[kSpecularEnableWord] = 0;
            // The program replaces the stages; the fixed-function vertex half
            // gives every stage's coordinates.
            for (std::size_t i = 0; i < 8; ++i) {
                std::uint32_t* st = &key[kStageBase + i * kStageWords];
                std::fill(st, st + kStageWords, 0u);
                if (vs) continue;
                TexCoordWords(s.stageStates[i], layout, st);
            }
            const TranslatedShader& t = ps->Translation();
            std::uint32_t byTexture = 0;
            for (std::uint32_t n = 0; n < 16; ++n)
                if (t.samplers[n] == kSamplerByTexture) byTexture |= 3u << (2 * n);
            key[kSamplerKindsWord] = byTexture ? SamplerKinds(s) & byTexture : 0;
        }
    }

    // A stage's coordinate words: the set it reads or the coordinates it
    // generates, and how many components its texture transform gives.
    template <typename StageStates>
    static void TexCoordWords(const StageStates& ts, const VertexLayout& layout, std::uint32_t* st) {
        const std::uint32_t index = ts[D3DTSS_TEXCOORDINDEX];
        const std::uint32_t set = index & 7, generated = (index >> 16) & 0xFFFF;
        if (generated >= 1 && generated <= 3 && !layout.pretransformed) {
            st[kTexCoordSource] = generated << 16;
        } else {
            st[kTexCoordSource] = set;
            st[kTexCoordForm] = layout.texcoord[set] >= 0 ? std::uint32_t(layout.texcoordSize[set]) : 0;
        }
        const std::uint32_t count = ts[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF;
        if (count >= D3DTTFF_COUNT1 && count <= D3DTTFF_COUNT4 && !layout.pretransformed)
            st[kTexCoordForm] |= count << 8;
    }

    static bool IsBumpOp(std::uint32_t op) { return op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE; }

    // What a stage samples: 1 a plain texture, 2 a cube texture, 3 a volume,
    // 0 nothing (none bound, or a format not uploaded).
    static std::uint32_t TextureKind(const IDirect3DBaseTexture9* t) {
        if (!t) return 0;
        GlTextureFormat f;
        if (!GlTextureFormatOf(t->Format(), f)) return 0;
        if (t->GetType() == D3DRTYPE_VOLUMETEXTURE) return 3;
        return t->GetType() == D3DRTYPE_CUBETEXTURE ? 2 : 1;
    }

    // The key of the program for the state; m_lights receives the enabled lights.
    StateKey BuildKey(const DeviceState& s, const VertexLayout& layout) {
        const auto& rs = s.renderStates;
        auto source = [&](std::uint32_t state) -> std::uint32_t {
            const std::uint32_t v = rs[state];
            if (!rs[D3DRS_COLORVERTEX]) return 0;
            if (v == D3DMCS_COLOR1 && layout.diffuse >= 0) return 1;
            if (v == D3DMCS_COLOR2 && layout.specular >= 0) return 2;
            return 0;
        };
        StateKey key{};
        const bool lighting = rs[D3DRS_LIGHTING] != 0 && !layout.pretransformed;
        const std::uint32_t alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? rs[D3DRS_ALPHAFUNC] : 0;
        const bool fog = rs[D3DRS_FOGENABLE] != 0 &&
                         (layout.pretransformed || (rs[D3DRS_FOGVERTEXMODE] >= D3DFOG_EXP && rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR));
        key[kPretransformedWord] = layout.pretransformed;
        key[kLightingWord] = lighting;
        key[kDiffuseSrcWord] = lighting ? source(D3DRS_DIFFUSEMATERIALSOURCE) : 0;
        key[kAmbientSrcWord] = lighting ? source(D3DRS_AMBIENTMATERIALSOURCE) : 0;
        key[kSpecularSrcWord] = lighting ? source(D3DRS_SPECULARMATERIALSOURCE) : 0;
        key[kEmissiveSrcWord] = lighting ? source(D3DRS_EMISSIVEMATERIALSOURCE) : 0;
        key[kHasNormalWord] = layout.normal >= 0 && !layout.pretransformed;
        key[kNormalizeWord] = rs[D3DRS_NORMALIZENORMALS] != 0;
        // VERTEXBLEND 1-3 blends that many weights of the vertex (no more than
        // it carries) over one more world matrix; 0 and the others draw with world 0.
        const std::uint32_t blend = rs[D3DRS_VERTEXBLEND];
        if (!layout.pretransformed && blend >= 1 && blend <= 3)
            key[kBlendWord] = std::min<std::uint32_t>(blend, std::uint32_t(std::max(layout.weightCount, 0)));
        // Indexed: the vertex's indices choose the matrices (0WEIGHTS: one, whole).
        if (!layout.pretransformed && rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && layout.blendIndices >= 0 &&
            ((blend >= 1 && blend <= 3) || blend == D3DVBF_0WEIGHTS))
            key[kIndexedWord] = layout.blendIndicesColor ? 2 : 1;
        key[kLocalViewerWord] = rs[D3DRS_LOCALVIEWER] != 0;
        key[kSpecularLightWord] = lighting && rs[D3DRS_SPECULARENABLE] != 0;
        key[kFogModeWord] = !fog ? 0 : (layout.pretransformed ? 4 : rs[D3DRS_FOGVERTEXMODE]);
        key[kRangeFogWord] = rs[D3DRS_RANGEFOGENABLE] != 0;
        key[kHasSpecularInputWord] = layout.specular >= 0;
        // Enabled lights in index order; the device never enables more than eight.
        m_lights.clear();
        if (lighting)
            for (const auto& entry : s.lights)
                if (entry.second.enabled && m_lights.size() < DeviceState::kMaxActiveLights)
                    m_lights.push_back(&entry.second.light);
        key[kLightCountWord] = std::uint32_t(m_lights.size());
        for (std::size_t i = 0; i < m_lights.size(); ++i)
            key[kLightTypesWord] |= (m_lights[i]->Type & 3u) << (2 * i);
        key[kFlatWord] = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
        key[kSpecularEnableWord] = rs[D3DRS_SPECULARENABLE] != 0;
        key[kAlphaFuncWord] = alphaFunc >= 1 && alphaFunc <= 8 ? alphaFunc : 0;
        key[kFogWord] = fog;
        // Stages after the first disabled one never run: they stay out of the key.
        for (std::size_t i = 0; i < 8; ++i) {
            const auto& ts = s.stageStates[i];
            std::uint32_t* st = &key[kStageBase + i * kStageWords];
            if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_COLOROP] > D3DTOP_LERP) {
                st[kColorOp] = D3DTOP_DISABLE;
                break;
            }
            st[kColorOp] = ts[D3DTSS_COLOROP];
            st[kColorArg0] = ts[D3DTSS_COLORARG0];
            st[kColorArg1] = ts[D3DTSS_COLORARG1];
            st[kColorArg2] = ts[D3DTSS_COLORARG2];
            st[kAlphaOp] = ts[D3DTSS_ALPHAOP] > D3DTOP_LERP ? D3DTOP_DISABLE : ts[D3DTSS_ALPHAOP];
            st[kAlphaArg0] = ts[D3DTSS_ALPHAARG0];
            st[kAlphaArg1] = ts[D3DTSS_ALPHAARG1];
            st[kAlphaArg2] = ts[D3DTSS_ALPHAARG2];
            st[kResultArg] = ts[D3DTSS_RESULTARG] == D3DTA_TEMP ? D3DTA_TEMP : D3DTA_CURRENT;
            st[kTextureKind] = TextureKind(s.textures[i]);
            TexCoordWords(ts, layout, st);
        }
        if (s.vertexShader || s.pixelShader) ProgramKeyWords(s, layout, key);
        return key;
    }

    // Whether the programs set are the ones the key was made for.
    static bool SamePrograms(const DeviceState& s, const StateKey& key) {
        return (s.vertexShader ? s.vertexShader->ProgramId() : 0u) == key[kVertexProgramWord] &&
               (s.pixelShader ? s.pixelShader->ProgramId() : 0u) == key[kPixelProgramWord];
    }

    // The fields of a layout a program key reads.
    static bool SameKeyLayout(const VertexLayout& a, const VertexLayout& b) {
        if (a.pretransformed != b.pretransformed || (a.normal >= 0) != (b.normal >= 0) ||
            a.weightCount != b.weightCount || (a.diffuse >= 0) != (b.diffuse >= 0) || (a.specular >= 0) != (b.specular >= 0) ||
            (a.blendIndices >= 0) != (b.blendIndices >= 0) || a.blendIndicesColor != b.blendIndicesColor)
            return false;
        for (int i = 0; i < 8; ++i)
            if ((a.texcoord[i] >= 0) != (b.texcoord[i] >= 0) || a.texcoordSize[i] != b.texcoordSize[i]) return false;
        return true;
    }

    // Whether the bound textures are of the kinds the key's running stages were made for.
    static bool SameTextureKinds(const DeviceState& s, const StateKey& key) {
        if (key[kSamplerKindsWord] != 0 || key[kPixelProgramWord] != 0) {
            if (!s.pixelShader || s.pixelShader->ProgramId() != key[kPixelProgramWord]) return false;
            // Only the samplers whose kind the bound texture decides are looked at.
            std::uint32_t kinds = 0;
            const TranslatedShader& t = s.pixelShader->Translation();
            for (std::uint32_t n = 0; n < 16; ++n)
                if (t.samplers[n] == kSamplerByTexture) kinds |= TextureKind(s.textures[n]) << (2 * n);
            return kinds == key[kSamplerKindsWord];
        }
        for (std::size_t i = 0; i < 8; ++i) {
            const std::uint32_t* st = &key[kStageBase + i * kStageWords];
            if (st[kColorOp] == D3DTOP_DISABLE) break;
            if (TextureKind(s.textures[i]) != st[kTextureKind]) return false;
        }
        return true;
    }

    // Chooses the program for the state and sets its uniforms; one with id 0 when it cannot be built.
    // Between draws that change only world matrices and textures the key is not built again, and
    // only the uniforms that follow those are compared.
    const Program* SetProgram(const DeviceState& s, const VertexLayout& layout, const IDirect3DSurface9& rt) {
        Program* prog = nullptr;
        if (m_lastProgram && m_lastState == &s && m_lastSerial == s.serial && SamePrograms(s, m_lastKey) &&
            SameKeyLayout(layout, m_lastLayout) && SameTextureKinds(s, m_lastKey)) {
            prog = m_lastProgram;
        } else {
            const StateKey key = BuildKey(s, layout);
            if (m_lastProgram && key == m_lastKey) {
                prog = m_lastProgram;
            } else {
                auto it = m_byState.find(key);
                prog = it != m_byState.end() ? it->second : (m_byState[key] = GenerateProgram(key, &s));
                m_lastKey = key;
                m_lastProgram = prog;
            }
            m_lastState = &s;
            m_lastSerial = s.serial;
            m_lastLayout = layout;
        }
        const StateKey& key = m_lastKey;
        if (!prog->id) return prog;
        UseProgram(prog->id);
        Program& p = *prog;
        const bool slow = p.slowState != &s || p.slowSerial != s.serial || p.slowTarget != &rt ||
                          p.slowWidth != rt.Width() || p.slowHeight != rt.Height() || p.slowFlipY != m_flipY;
        p.slowState = &s;
        p.slowSerial = s.serial;
        p.slowTarget = &rt;
        p.slowWidth = rt.Width();
        p.slowHeight = rt.Height();
        p.slowFlipY = m_flipY;

        // A vertex program reads none of these: its draws skip the products.
        if (p.wvp >= 0 || p.wv >= 0 || p.normalMatrix >= 0) {
            const D3DMATRIX wv = Multiply(s.world[0], s.view);
            const D3DMATRIX wvp = Multiply(wv, s.projection);
            // Row-vector matrices uploaded as they are read as their transpose by GLSL:
            // uWVP * v then equals v x world x view x projection.
            if (Changed(p, kSlotWVP, p.wvp, &wvp.m[0][0], 16)) glUniformMatrix4fv(p.wvp, 1, GL_FALSE, &wvp.m[0][0]);
            if (Changed(p, kSlotWV, p.wv, &wv.m[0][0], 16)) glUniformMatrix4fv(p.wv, 1, GL_FALSE, &wv.m[0][0]);
            if (p.normalMatrix >= 0) {
                float n[9];
                NormalMatrix(wv, n);
                if (Changed(p, kSlotNormalMatrix, p.normalMatrix, n, 9)) glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, n);
            }
        }
        if (key[kIndexedWord] != 0) UploadPalette(s);
        if (key[kBlendWord] != 0 && key[kIndexedWord] == 0) {
            D3DMATRIX blendWV[4];
            float blendNormal[4][9] = {};
            for (std::uint32_t i = 0; i <= key[kBlendWord]; ++i) {
                blendWV[i] = Multiply(s.world[i], s.view);
                NormalMatrix(blendWV[i], blendNormal[i]);
            }
            const GLsizei count = GLsizei(key[kBlendWord] + 1);
            if (Changed(p, kSlotBlendWV, p.blendWV, &blendWV[0].m[0][0], std::size_t(count) * 16))
                glUniformMatrix4fv(p.blendWV, count, GL_FALSE, &blendWV[0].m[0][0]);
            if (Changed(p, kSlotBlendNormal, p.blendNormal, &blendNormal[0][0], std::size_t(count) * 9))
                glUniformMatrix3fv(p.blendNormal, count, GL_FALSE, &blendNormal[0][0]);
        }
        if (slow) SetSlowUniforms(p, s, key, rt);
        if (p.constants) {
            p.constants->Upload(s);
            // A pixel program's samplers: the bound texture, or none.
            for (std::uint32_t bits = p.constants->Samplers() & 0xFFFFu; bits; bits &= bits - 1) {
                const GLuint n = GLuint(std::countr_zero(bits));
                if (TextureKind(s.textures[n]) != 0) BindTexture(n, *s.textures[n], s.samplerStates[n]);
                else UnbindTexture(n);
            }
            // The vertex program's: slots and units after the pixel ones.
            const std::uint32_t vertexSamplers = p.constants->VertexSamplers() & ((1u << DeviceState::kVertexSamplers) - 1);
            for (std::uint32_t bits = vertexSamplers; bits; bits &= bits - 1) {
                const GLuint n = GLuint(std::countr_zero(bits));
                const GLuint slot = DeviceState::kSamplers + n;
                if (TextureKind(s.textures[slot]) != 0) BindTexture(slot, *s.textures[slot], s.samplerStates[slot]);
                else UnbindTexture(slot);
            }
            if (key[kPixelProgramWord]) return prog;
        }
        for (std::size_t i = 0; i < 8; ++i) {
            const std::uint32_t* st = &key[kStageBase + i * kStageWords];
            if (st[kColorOp] == D3DTOP_DISABLE) break;
            if (st[kTextureKind] != 0) BindTexture(GLuint(i), *s.textures[i], s.samplerStates[i]);
        }
        return prog;
    }

    // World x view of the world matrices set, and their normal matrices, as
    // rows for the palettes; sent when they differ from what was sent last.
    void UploadPalette(const DeviceState& s) {
        static constexpr std::size_t kPaletteFloats = 256 * 12;
        if (!m_paletteUbo[0]) {
            glGenBuffers(2, m_paletteUbo.data());
            for (GLuint ubo : m_paletteUbo) {
                glBindBuffer(GL_UNIFORM_BUFFER, ubo);
                glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(kPaletteFloats * sizeof(float)), nullptr, GL_DYNAMIC_DRAW);
            }
            m_palette.assign(2 * kPaletteFloats, 0.0f);
            m_paletteSent.assign(2 * kPaletteFloats, -1.0f);
        }
        const std::size_t n = std::min<std::size_t>(s.worldCount, 256);
        float* rows = m_palette.data();
        float* normals = m_palette.data() + kPaletteFloats;
        for (std::size_t i = 0; i < n; ++i) {
            const D3DMATRIX wv = Multiply(s.world[i], s.view);
            float nm[9];
            NormalMatrix(wv, nm);
            for (int c = 0; c < 3; ++c) {
                for (int r = 0; r < 4; ++r) rows[i * 12 + std::size_t(c) * 4 + std::size_t(r)] = wv.m[r][c];
                for (int r = 0; r < 3; ++r) normals[i * 12 + std::size_t(c) * 4 + std::size_t(r)] = nm[r * 3 + c];
                normals[i * 12 + std::size_t(c) * 4 + 3] = 0.0f;
            }
        }
        const std::size_t bytes = n * 12 * sizeof(float);
        for (std::size_t k = 0; k < 2; ++k) {
            const float* now = m_palette.data() + k * kPaletteFloats;
            float* sent = m_paletteSent.data() + k * kPaletteFloats;
            if (std::memcmp(now, sent, bytes) != 0) {
                glBindBuffer(GL_UNIFORM_BUFFER, m_paletteUbo[k]);
                glBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(bytes), now);
                std::memcpy(sent, now, bytes);
            }
            glBindBufferBase(GL_UNIFORM_BUFFER, kPaletteBinding + GLuint(k), m_paletteUbo[k]);
        }
    }

    // The uniforms that change only with the state serial, the target or the flip.
    void SetSlowUniforms(Program& p, const DeviceState& s, const StateKey& key, const IDirect3DSurface9& rt) {
        const auto& rs = s.renderStates;
        const float viewport[4] = {float(s.viewport.X), float(s.viewport.Y), float(s.viewport.Width),
                                   float(s.viewport.Height)};
        if (Changed(p, kSlotViewport, p.viewport, viewport, 4)) glUniform4fv(p.viewport, 1, viewport);
        const float depthRange[2] = {s.viewport.MinZ, s.viewport.MaxZ};
        if (Changed(p, kSlotDepthRange, p.depthRange, depthRange, 2)) glUniform2fv(p.depthRange, 1, depthRange);
        const float target[2] = {float(rt.Width()), float(rt.Height())};
        if (Changed(p, kSlotTarget, p.target, target, 2)) glUniform2fv(p.target, 1, target);
        const float flipY[2] = {m_flipY ? -1.0f : 1.0f, m_flipY ? 2.0f / (256.0f * float(rt.Height())) : 0.0f};
        if (Changed(p, kSlotFlipY, p.flipY, flipY, 2)) glUniform2fv(p.flipY, 1, flipY);
        if ((key[kBlendWord] != 0 || key[kIndexedWord] != 0) && Changed(p, kSlotProj, p.proj, &s.projection.m[0][0], 16))
            glUniformMatrix4fv(p.proj, 1, GL_FALSE, &s.projection.m[0][0]);
        const D3DMATERIAL9& m = s.material;
        if (p.lighting) {
            const float diffuse[4] = {m.Diffuse.r, m.Diffuse.g, m.Diffuse.b, m.Diffuse.a};
            const float ambient[4] = {m.Ambient.r, m.Ambient.g, m.Ambient.b, m.Ambient.a};
            const float specular[4] = {m.Specular.r, m.Specular.g, m.Specular.b, m.Specular.a};
            const float emissive[4] = {m.Emissive.r, m.Emissive.g, m.Emissive.b, m.Emissive.a};
            if (Changed(p, kSlotMatDiffuse, p.matDiffuse, diffuse, 4)) glUniform4fv(p.matDiffuse, 1, diffuse);
            if (Changed(p, kSlotMatAmbient, p.matAmbient, ambient, 4)) glUniform4fv(p.matAmbient, 1, ambient);
            if (Changed(p, kSlotMatSpecular, p.matSpecular, specular, 4)) glUniform4fv(p.matSpecular, 1, specular);
            if (Changed(p, kSlotMatEmissive, p.matEmissive, emissive, 4)) glUniform4fv(p.matEmissive, 1, emissive);
            if (Changed(p, kSlotMatPower, p.matPower, &m.Power, 1)) glUniform1f(p.matPower, m.Power);
            float c[4];
            ColorToFloats(rs[D3DRS_AMBIENT], c);
            if (Changed(p, kSlotGlobalAmbient, p.globalAmbient, c, 4)) glUniform4fv(p.globalAmbient, 1, c);
            if (p.lightCount) SetLightUniforms(p, s.view);
        }
        if (p.fogUniforms) {
            const float fog[3] = {AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY])};
            if (Changed(p, kSlotFog, p.fog, fog, 3)) glUniform3fv(p.fog, 1, fog);
        }
        if (p.texMatrices && Changed(p, kSlotTexMatrix, p.texMatrix, &s.texture[0].m[0][0], 8 * 16))
            glUniformMatrix4fv(p.texMatrix, 8, GL_FALSE, &s.texture[0].m[0][0]);
        for (std::size_t i = 0; i < 8; ++i) {
            const auto& ts = s.stageStates[i];
            if (p.bump[i] >= 0) {
                const float m[4] = {AsFloat(ts[D3DTSS_BUMPENVMAT00]), AsFloat(ts[D3DTSS_BUMPENVMAT01]),
                                    AsFloat(ts[D3DTSS_BUMPENVMAT10]), AsFloat(ts[D3DTSS_BUMPENVMAT11])};
                glUniform4fv(p.bump[i], 1, m);
            }
            if (p.bumpL[i] >= 0)
                glUniform2f(p.bumpL[i], AsFloat(ts[D3DTSS_BUMPENVLSCALE]), AsFloat(ts[D3DTSS_BUMPENVLOFFSET]));
        }
        float c[4];
        ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
        if (Changed(p, kSlotTFactor, p.tfactor, c, 4)) glUniform4fv(p.tfactor, 1, c);
        const float alphaRef = float(rs[D3DRS_ALPHAREF] & 0xFF);
        if (Changed(p, kSlotAlphaRef, p.alphaRef, &alphaRef, 1)) glUniform1f(p.alphaRef, alphaRef);
        if (p.fogColor >= 0) {
            ColorToFloats(rs[D3DRS_FOGCOLOR], c);
            if (Changed(p, kSlotFogColor, p.fogColor, c, 3)) glUniform3fv(p.fogColor, 1, c);
        }
    }

    static float AsFloat(std::uint32_t bits) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    // The inverse transpose of world x view's rotation part, laid out for
    // GLSL as the matrices are: n x (M^-1)^T is the cofactor matrix over det.
    static void NormalMatrix(const D3DMATRIX& wv, float out[9]) {
        const auto& a = wv.m;
        float cof[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
            }
        const float det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
        const float scale = det != 0.0f ? 1.0f / det : 0.0f;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) out[r * 3 + c] = cof[r][c] * scale;
    }

    // True, with the value noted, when the uniform exists and `v` is not what it last received.
    static bool Changed(Program& p, UniformSlot slot, GLint location, const float* v, std::size_t n) {
        if (location < 0) return false;
        std::vector<float>& last = p.sent[slot];
        if (last.size() == n && std::memcmp(last.data(), v, n * sizeof(float)) == 0) return false;
        last.assign(v, v + n);
        return true;
    }

    void UseProgram(GLuint id) {
        if (id == m_usedProgram) return;
        glUseProgram(id);
        m_usedProgram = id;
    }

    // The enabled lights, moved into camera space.
    void SetLightUniforms(Program& prog, const D3DMATRIX& view) {
        const std::size_t n = m_lights.size();
        float diffuse[32], specular[32], ambient[32], pos[24], dir[24], atten[32], spot[24];
        for (std::size_t i = 0; i < n; ++i) {
            const D3DLIGHT9& l = *m_lights[i];
            const float d[4] = {l.Diffuse.r, l.Diffuse.g, l.Diffuse.b, l.Diffuse.a};
            const float sp[4] = {l.Specular.r, l.Specular.g, l.Specular.b, l.Specular.a};
            const float am[4] = {l.Ambient.r, l.Ambient.g, l.Ambient.b, l.Ambient.a};
            std::memcpy(diffuse + 4 * i, d, sizeof d);
            std::memcpy(specular + 4 * i, sp, sizeof sp);
            std::memcpy(ambient + 4 * i, am, sizeof am);
            const float p[3] = {l.Position.x, l.Position.y, l.Position.z};
            const float v[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
            float len = 0.0f;
            for (int c = 0; c < 3; ++c) {
                pos[3 * i + c] = p[0] * view.m[0][c] + p[1] * view.m[1][c] + p[2] * view.m[2][c] + view.m[3][c];
                dir[3 * i + c] = v[0] * view.m[0][c] + v[1] * view.m[1][c] + v[2] * view.m[2][c];
                len += dir[3 * i + c] * dir[3 * i + c];
            }
            len = std::sqrt(len);
            for (int c = 0; c < 3 && len > 0.0f; ++c) dir[3 * i + c] /= len;
            atten[4 * i + 0] = l.Attenuation0;
            atten[4 * i + 1] = l.Attenuation1;
            atten[4 * i + 2] = l.Attenuation2;
            atten[4 * i + 3] = l.Range;
            spot[3 * i + 0] = std::cos(l.Theta * 0.5f);
            spot[3 * i + 1] = std::cos(l.Phi * 0.5f);
            spot[3 * i + 2] = l.Falloff;
        }
        const GLsizei count = GLsizei(n);
        if (Changed(prog, kSlotLightDiffuse, prog.lightDiffuse, diffuse, 4 * n))
            glUniform4fv(prog.lightDiffuse, count, diffuse);
        if (Changed(prog, kSlotLightSpecular, prog.lightSpecular, specular, 4 * n))
            glUniform4fv(prog.lightSpecular, count, specular);
        if (Changed(prog, kSlotLightAmbient, prog.lightAmbient, ambient, 4 * n))
            glUniform4fv(prog.lightAmbient, count, ambient);
        if (Changed(prog, kSlotLightPos, prog.lightPos, pos, 3 * n)) glUniform3fv(prog.lightPos, count, pos);
        if (Changed(prog, kSlotLightDir, prog.lightDir, dir, 3 * n)) glUniform3fv(prog.lightDir, count, dir);
        if (Changed(prog, kSlotLightAtten, prog.lightAtten, atten, 4 * n)) glUniform4fv(prog.lightAtten, count, atten);
        if (Changed(prog, kSlotLightSpot, prog.lightSpot, spot, 3 * n)) glUniform3fv(prog.lightSpot, count, spot);
    }

    // What SetRasterState's calls depend on: the states of the branches it
    // takes, and the scissor rectangle it ends with.
    struct RasterKey {
        std::array<std::uint32_t, 26> states{};
        std::array<GLint, 4> scissor{};
        bool operator==(const RasterKey&) const = default;
    };

    // Sends the draw's raster state, unless it is the one sent last (and
    // nothing else has touched those states since).
    void SetRasterState(const DeviceState& s, const IDirect3DSurface9& rt) {
        const auto& rs = s.renderStates;
        RasterKey key;
        std::size_t n = 0;
        key.states[n++] = m_flipY;
        key.states[n++] = rs[D3DRS_CULLMODE];
        key.states[n++] = rs[D3DRS_FILLMODE];
        key.states[n++] = rs[D3DRS_COLORWRITEENABLE];
        if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_hasDepth) {
            key.states[n++] = 1;
            key.states[n++] = rs[D3DRS_ZFUNC];
            key.states[n++] = rs[D3DRS_ZWRITEENABLE] != 0;
        }
        n = 7;
        if (rs[D3DRS_STENCILENABLE] && m_hasStencil) {
            for (std::uint32_t state : {D3DRS_STENCILENABLE, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK,
                                        D3DRS_STENCILFUNC, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS,
                                        D3DRS_TWOSIDEDSTENCILMODE, D3DRS_CCW_STENCILFUNC, D3DRS_CCW_STENCILFAIL,
                                        D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS})
                key.states[n++] = rs[state];
        }
        n = 20;
        if (rs[D3DRS_ALPHABLENDENABLE]) {
            key.states[n++] = 1;
            key.states[n++] = rs[D3DRS_SRCBLEND];
            key.states[n++] = rs[D3DRS_DESTBLEND];
            key.states[n++] = rs[D3DRS_BLENDOP];
        }
        n = 24;
        key.states[n++] = rs[D3DRS_MULTISAMPLEANTIALIAS] != 0;
        key.states[n++] = rs[D3DRS_MULTISAMPLEMASK];
        // Drawing stays inside the viewport, and the scissor rectangle when enabled.
        std::int32_t left = std::int32_t(s.viewport.X), top = std::int32_t(s.viewport.Y);
        std::int32_t right = left + std::int32_t(s.viewport.Width), bottom = top + std::int32_t(s.viewport.Height);
        if (rs[D3DRS_SCISSORTESTENABLE]) {
            left = std::max(left, s.scissor.left);
            top = std::max(top, s.scissor.top);
            right = std::min(right, s.scissor.right);
            bottom = std::min(bottom, s.scissor.bottom);
        }
        right = std::min(right, std::int32_t(rt.Width()));
        bottom = std::min(bottom, std::int32_t(rt.Height()));
        key.scissor = {left, ScissorY(top, std::max(top, bottom)), std::max(0, right - left), std::max(0, bottom - top)};
        if (m_rasterKnown && key == m_raster) return;
        m_raster = key;
        m_rasterKnown = true;

        // Clockwise on screen is GL's counter-clockwise in the top-down framebuffer
        // object, and GL's clockwise in the bottom-up window (see the top of this file).
        glFrontFace(m_flipY ? GL_CW : GL_CCW);
        switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
        case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        default: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        }
        if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_hasDepth) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GlCompare(rs[D3DRS_ZFUNC]));
            glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        if (rs[D3DRS_STENCILENABLE] && m_hasStencil) {
            glEnable(GL_STENCIL_TEST);
            const GLint ref = GLint(rs[D3DRS_STENCILREF] & 0xFF);
            // GL's front faces are the ones clockwise on screen (see the top of this
            // file): they take the plain states, the others the CCW ones when two-sided.
            const bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
            glStencilFuncSeparate(GL_FRONT, GlCompare(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
            glStencilOpSeparate(GL_FRONT, GlStencilOp(rs[D3DRS_STENCILFAIL]), GlStencilOp(rs[D3DRS_STENCILZFAIL]),
                                GlStencilOp(rs[D3DRS_STENCILPASS]));
            const std::uint32_t func = twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC;
            const std::uint32_t fail = twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL;
            const std::uint32_t zfail = twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL;
            const std::uint32_t pass = twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS;
            glStencilFuncSeparate(GL_BACK, GlCompare(rs[func]), ref, rs[D3DRS_STENCILMASK]);
            glStencilOpSeparate(GL_BACK, GlStencilOp(rs[fail]), GlStencilOp(rs[zfail]), GlStencilOp(rs[pass]));
            glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
        } else {
            glDisable(GL_STENCIL_TEST);
        }
        if (rs[D3DRS_ALPHABLENDENABLE]) {
            glEnable(GL_BLEND);
            GLenum src = GlBlend(rs[D3DRS_SRCBLEND]), dst = GlBlend(rs[D3DRS_DESTBLEND]);
            if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
                src = GL_SRC_ALPHA;
                dst = GL_ONE_MINUS_SRC_ALPHA;
            } else if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
                src = GL_ONE_MINUS_SRC_ALPHA;
                dst = GL_SRC_ALPHA;
            }
            glBlendFunc(src, dst);
            glBlendEquation(GlBlendOp(rs[D3DRS_BLENDOP]));
        } else {
            glDisable(GL_BLEND);
        }
        const std::uint32_t mask = rs[D3DRS_COLORWRITEENABLE];
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
        switch (rs[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
        case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
        default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
        }
        // Antialiasing and the sample mask act on multisampled buffers only.
        if (rs[D3DRS_MULTISAMPLEANTIALIAS]) glEnable(GL_MULTISAMPLE);
        else glDisable(GL_MULTISAMPLE);
        if (rs[D3DRS_MULTISAMPLEMASK] != 0xFFFFFFFFu) {
            glEnable(GL_SAMPLE_MASK);
            glSampleMaski(0, rs[D3DRS_MULTISAMPLEMASK]);
        } else {
            glDisable(GL_SAMPLE_MASK);
        }
        glEnable(GL_SCISSOR_TEST);
        glScissor(key.scissor[0], key.scissor[1], key.scissor[2], key.scissor[3]);
    }

    D3DPRESENT_PARAMETERS m_params;
    SDL_Window* m_window = nullptr;
    std::uint32_t m_windowId = 0;
    bool m_ownWindow = false;
    SDL_GLContext m_context = nullptr;
    std::unordered_map<std::string, Program> m_programs; // by generated source
    std::unordered_map<StateKey, Program*, StateKeyHash> m_byState;
    std::vector<const D3DLIGHT9*> m_lights; // the draw's enabled lights, in index order
    // One sampler object per stage, with the parameters last given to it.
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_samplers{};
    std::array<std::array<GLint, 8>, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_samplerParams{};
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_boundTextures{}; // by unit, whatever target: what a draw's stage last bound there
    GLuint m_activeUnit = 0;                 // the texture unit glActiveTexture last chose
    std::array<GLuint, DeviceState::kSamplers + DeviceState::kVertexSamplers> m_boundSamplers{};
    std::vector<SpareTexture> m_spareTextures; // oldest first
    std::size_t m_spareTextureBytes = 0;
    std::unordered_map<GLuint, TextureShape> m_textureShapes; // sampled textures' storage, by name
    bool m_mirrorOnce = false; // the driver mirrors once
    StateKey m_lastKey{};
    Program* m_lastProgram = nullptr;
    // What the last key was built from: the device state, its serial and the layout.
    const DeviceState* m_lastState = nullptr;
    std::uint64_t m_lastSerial = 0;
    VertexLayout m_lastLayout;
    GLuint m_usedProgram = 0; // the program glUseProgram last made current
    // The raster state last sent; clears, presents and copies change some of
    // those states and make it unknown.
    RasterKey m_raster;
    bool m_rasterKnown = false;
    std::array<GLsizei, 2> m_viewportSize{-1, -1};
    std::unordered_map<GLuint, VertexArray> m_vertexArrays; // by vertex buffer name
    std::array<AttributeState, kAttributes>* m_attributes = nullptr; // the bound array's
    ProgramSource* m_arraySource = nullptr;                          // the bound array's
    std::array<AttributeConstant, kAttributes> m_constants{};
    GLuint m_boundVertexArray = 0;
    GLuint m_arrayBuffer = 0; // the array buffer the draw's attributes read
    GLuint m_vao = 0, m_fbo = 0, m_readFbo = 0, m_streamVbo = 0, m_streamIbo = 0;
    GLuint m_boundColor = 0, m_boundDepth = 0;
    GLuint m_boundFramebuffer = ~0u;
    GLuint m_uploadTexture = 0;
    static constexpr GLuint kPaletteBinding = 14; // and 15: out of the way of programs' own blocks
    std::array<GLuint, 2> m_paletteUbo{};
    std::vector<float> m_palette, m_paletteSent; // rows, then normal rows
    std::uint32_t m_samples = 1; // of the back buffer
    GLuint m_msFbo = 0, m_msColor = 0, m_msDepth = 0;
    bool m_msStencil = false;
    std::vector<std::uint8_t> m_readRows; // one window row while rows are turned over
    std::vector<std::uint8_t> m_converted; // a level's texels converted for upload
    bool m_direct = false;     // the back buffer is the window's framebuffer
    bool m_windowSuits = false; // the window's pixel format serves the back buffer
    bool m_flipY = false;      // drawing into the bottom-up window framebuffer
    bool m_hasDepth = false;   // the bound targets have depth / stencil
    bool m_hasStencil = false;
    GLsizei m_targetHeight = 0;
    bool m_warnedDepth = false;
    FramePacer m_pacer;
    BackendFault m_fault = BackendFault::None;
    std::set<std::string> m_reported; // kinds of failure told on standard error
};

} // namespace

void SetGlWindowAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

namespace {
int g_s3tcOverride = -1; // test hook: -1 the driver decides
int g_s3tcDriver = -1;   // what the driver said, once asked
} // namespace

void SetGlCompressedTexturesForTests(int mode) { g_s3tcOverride = mode < 0 ? -1 : (mode != 0 ? 1 : 0); }

bool GlHasCompressedTextures() {
    if (g_s3tcOverride >= 0) return g_s3tcOverride == 1;
    if (g_s3tcDriver >= 0) return g_s3tcDriver == 1;
    constexpr const char* kExtension = "GL_EXT_texture_compression_s3tc";
    if (SDL_GL_GetCurrentContext() != nullptr) {
        g_s3tcDriver = epoxy_has_gl_extension(kExtension) ? 1 : 0;
        return g_s3tcDriver == 1;
    }
    // No device yet: a hidden window's context answers, then goes.
    SetGlWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("orvane probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context) {
        g_s3tcDriver = epoxy_has_gl_extension(kExtension) ? 1 : 0;
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    return g_s3tcDriver == 1;
}

bool GlAvailable() {
    if (SDL_GL_LoadLibrary(nullptr) != 0) return false;
    SDL_GL_UnloadLibrary();
    return true;
}

std::unique_ptr<Backend> CreateGlBackend() { return std::make_unique<GlBackend>(); }

} // namespace gfx
