#include "platform/gfx/GfxGlFixedFunction.h"

#include "platform/gfx/GfxGlFormat.h"
#include "platform/gfx/GfxShaderTranslator.h"

#include <algorithm>

namespace gfx {
namespace {

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
        fog = d3dFogFactor(kFogMode, kRangeFog ? length(pc) : pc.z, uFog);
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
uniform vec3 uFog; // start, end, density
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
    // Per-pixel fog by eye depth (1 / w) or by the pixel's depth.
    float fog = kTableFog == 0 ? vFog
                               : d3dFogFactor(kTableFog & 3, (kTableFog & 4) != 0 ? 1.0 / gl_FragCoord.w : gl_FragCoord.z, uFog);
    if (kFog) current.rgb = mix(uFogColor, current.rgb, fog);
    if (kAlphaFunc != 0 && !passes(kAlphaFunc, floor(current.a * 255.0 + 0.5), uAlphaRef)) discard;
    oColor = current;
}
)";

std::string Bool(std::uint32_t v) { return v ? "true" : "false"; }

bool IsBumpOp(std::uint32_t op) { return op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE; }

// A stage's coordinate words: the set it reads or the coordinates it
// generates, and how many components its texture transform gives.
void TexCoordWords(const std::array<std::uint32_t, DeviceState::kStageStates>& ts, const VertexLayout& layout, std::uint32_t* st) {
    const std::uint32_t index = ts[D3DTSS_TEXCOORDINDEX];
    const std::uint32_t set = index & 7, generated = (index >> 16) & 0xFFFF;
    if (generated >= 1 && generated <= 3 && !layout.pretransformed) {
        st[kTexCoordSource] = generated << 16;
    } else {
        st[kTexCoordSource] = set;
        st[kTexCoordForm] = layout.texcoord[set] >= 0 ? std::uint32_t(layout.texcoordSize[set]) : 0;
    }
    const std::uint32_t count = ts[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF;
    const bool transformed = count >= D3DTTFF_COUNT1 && count <= D3DTTFF_COUNT4 && !layout.pretransformed;
    if (transformed) st[kTexCoordForm] |= count << 8;
    // Projected: divided by the last coordinate the transform gives, or
    // without one, the last the set (or the generation: three) has.
    if (ts[D3DTSS_TEXTURETRANSFORMFLAGS] & D3DTTFF_PROJECTED) {
        const std::uint32_t last = transformed ? count : (st[kTexCoordSource] >> 16 ? 3 : st[kTexCoordForm] & 0xFF);
        if (last >= 2) st[kTexCoordForm] |= last << 16;
    }
}

// What a projected stage after a vertex program divides by: the count's last
// coordinate, else w (the program writes all four).
std::uint32_t ProgramDivisor(std::uint32_t flags) {
    if (!(flags & D3DTTFF_PROJECTED)) return 0;
    const std::uint32_t count = flags & 0xFF;
    return count >= 2 && count <= 4 ? count : 4;
}

// The kinds of the textures bound to samplers 0-15, two bits each (none,
// plain, cube, volume), for pixel programs whose samplers follow the texture.
std::uint32_t SamplerKinds(const DeviceState& s) {
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
void ProgramKeyWords(const DeviceState& s, const VertexLayout& layout, StateKey& key, std::vector<const D3DLIGHT9*>& lights) {
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
        lights.clear();
        for (std::size_t i = 0; i < 8; ++i) {
            std::uint32_t* st = &key[kStageBase + i * kStageWords];
            st[kTexCoordSource] = s.stageStates[i][D3DTSS_TEXCOORDINDEX] & 7;
            st[kTexCoordForm] = ProgramDivisor(s.stageStates[i][D3DTSS_TEXTURETRANSFORMFLAGS]) << 16;
        }
    }
    if (ps) {
        // Flat shading still reaches a pixel program: its colour inputs take
        // the first vertex's value (a variant of the pair, made only when asked).
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
        // 1.1-1.3 reads honour the stages' projection (1.4 and later project with texldp).
        if (t.major < 2) {
            for (std::size_t i = 0; i < 8; ++i) {
                const auto& ts = s.stageStates[i];
                std::uint32_t divisor = ProgramDivisor(ts[D3DTSS_TEXTURETRANSFORMFLAGS]);
                if (divisor != 0 && !vs) {
                    std::uint32_t st[kStageWords] = {};
                    TexCoordWords(ts, layout, st);
                    divisor = (st[kTexCoordForm] >> 16) & 7;
                }
                key[kProjectedWord] |= divisor << (3 * i);
            }
        }
    }
}

} // namespace

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
    fs += "const int kTableFog = " + std::to_string(key[kTableFogWord]) + ";\n";

    std::string coords, stages;
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t* st = &key[kStageBase + std::size_t(i) * kStageWords];
        if (st[kColorOp] == D3DTOP_DISABLE && !coordsForProgram) break;
        const std::string n = std::to_string(i);
        // Coordinates: a set of the vertex, or one made in camera space.
        const std::uint32_t source = st[kTexCoordSource], form = st[kTexCoordForm];
        const std::uint32_t set = source & 0xFFFF, generated = source >> 16;
        const std::uint32_t size = form & 0xFF, count = (form >> 8) & 0xFF, divisor = (form >> 16) & 7;
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
        // A projected lookup gets every component and divides by one of them.
        std::string coord = "vTex" + n;
        if (kind != 0 && divisor != 0) {
            vs += "out vec4 vTex" + n + ";\n";
            coords += "vTex" + n + " = " + t + ";\n    ";
            fs += std::string(kind == 1 ? "uniform sampler2D uTex" : kind == 2 ? "uniform samplerCube uTex" : "uniform sampler3D uTex") +
                  n + ";\nin vec4 vTex" + n + ";\n";
            coord = "vTex" + n + (kind == 1 ? ".xy" : ".xyz") + " / vTex" + n + "." + "xyzw"[divisor - 1];
        } else if (kind == 1) {
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
            stages += "texture(uTex" + n + ", " + coord + (kind == 1 ? " + bumpDelta" : " + vec3(bumpDelta, 0.0)") +
                      ");\n        tex.rgb *= bumpLum;\n";
        else if (kind != 0)
            stages += "texture(uTex" + n + ", " + coord + ");\n";
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

    stages = "vec2 bumpDelta = vec2(0.0);\n    float bumpLum = 1.0;\n    " + stages;
    std::string vsBody = kVertexShader, fsBody = kFragmentShader;
    vsBody.replace(vsBody.find("TEXCOORDS"), 9, coords);
    fsBody.replace(fsBody.find("STAGES"), 6, stages);
    vsOut = vs + kFogFactorGlsl + vsBody;
    fsOut = fs + kFogFactorGlsl + fsBody;
}

std::uint32_t TextureKind(const IDirect3DBaseTexture9* t) {
    if (!t) return 0;
    GlTextureFormat f;
    if (!GlTextureFormatOf(t->Format(), f)) return 0;
    if (t->GetType() == D3DRTYPE_VOLUMETEXTURE) return 3;
    return t->GetType() == D3DRTYPE_CUBETEXTURE ? 2 : 1;
}

StateKey BuildKey(const DeviceState& s, const VertexLayout& layout, std::vector<const D3DLIGHT9*>& lights) {
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
    // Table fog, when set, goes before the vertex fog.
    const std::uint32_t table = rs[D3DRS_FOGTABLEMODE];
    const bool tableFog = rs[D3DRS_FOGENABLE] != 0 && table >= D3DFOG_EXP && table <= D3DFOG_LINEAR;
    const bool vertexFog = layout.pretransformed || (rs[D3DRS_FOGVERTEXMODE] >= D3DFOG_EXP &&
                                                     rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR);
    const bool fog = tableFog || (rs[D3DRS_FOGENABLE] != 0 && vertexFog);
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
    key[kFogModeWord] = !fog || tableFog ? 0 : (layout.pretransformed ? 4 : rs[D3DRS_FOGVERTEXMODE]);
    // By eye depth under a perspective projection (its w is the eye's z), else by z.
    key[kTableFogWord] = tableFog ? table | (s.projection.m[2][3] != 0.0f ? 4u : 0u) : 0;
    key[kRangeFogWord] = rs[D3DRS_RANGEFOGENABLE] != 0;
    key[kHasSpecularInputWord] = layout.specular >= 0;
    // Enabled lights in index order; the device never enables more than eight.
    lights.clear();
    if (lighting)
        for (const auto& entry : s.lights)
            if (entry.second.enabled && lights.size() < DeviceState::kMaxActiveLights)
                lights.push_back(&entry.second.light);
    key[kLightCountWord] = std::uint32_t(lights.size());
    for (std::size_t i = 0; i < lights.size(); ++i)
        key[kLightTypesWord] |= (lights[i]->Type & 3u) << (2 * i);
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
    if (s.vertexShader || s.pixelShader) ProgramKeyWords(s, layout, key, lights);
    return key;
}

bool SamePrograms(const DeviceState& s, const StateKey& key) {
    return (s.vertexShader ? s.vertexShader->ProgramId() : 0u) == key[kVertexProgramWord] &&
           (s.pixelShader ? s.pixelShader->ProgramId() : 0u) == key[kPixelProgramWord];
}

bool SameKeyLayout(const VertexLayout& a, const VertexLayout& b) {
    if (a.pretransformed != b.pretransformed || (a.normal >= 0) != (b.normal >= 0) ||
        a.weightCount != b.weightCount || (a.diffuse >= 0) != (b.diffuse >= 0) || (a.specular >= 0) != (b.specular >= 0) ||
        (a.blendIndices >= 0) != (b.blendIndices >= 0) || a.blendIndicesColor != b.blendIndicesColor)
        return false;
    for (int i = 0; i < 8; ++i)
        if ((a.texcoord[i] >= 0) != (b.texcoord[i] >= 0) || a.texcoordSize[i] != b.texcoordSize[i]) return false;
    return true;
}

bool SameTextureKinds(const DeviceState& s, const StateKey& key) {
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

} // namespace gfx
