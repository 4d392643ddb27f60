#include "platform/gfx/GfxBackendLocal.h"

#include <cstring>

namespace gfx {

// One table for both back ends. Every bit set here is something the `gl` back
// end performs and a test shows; a cap rises only with the change that makes it true.
D3DCAPS9 DeviceCaps(std::uint32_t adapter) {
    D3DCAPS9 c;
    std::memset(&c, 0, sizeof c);
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = adapter;
    c.Caps2 = D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    // Transform and lighting run in generated shaders: a hardware, pure device.
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION |
                D3DDEVCAPS_PUREDEVICE;
    // Targets 1-3 have write masks of their own, may differ in format from
    // target 0, and blend as it does.
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_INDEPENDENTWRITEMASKS |
                          D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS | D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING;
    // Vertex fog, by depth or by distance; table (per-pixel) fog by the
    // pixel's z or, under a perspective projection, its eye depth w. No
    // W-buffer: not performed. MULTISAMPLEANTIALIAS switches antialiasing of
    // a multisampled back buffer off and on.
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_FOGVERTEX |
                   D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_MULTISAMPLE_TOGGLE | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG;
    c.ZCmpCaps = D3DPCMPCAPS_ALL;
    c.AlphaCmpCaps = D3DPCMPCAPS_ALL;
    // Every source factor ZERO..BOTHINVSRCALPHA; destination factors ZERO..INVDESTCOLOR.
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_BOTHINVSRCALPHA; ++f) c.SrcBlendCaps |= D3DPBLENDCAPS(f);
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_INVDESTCOLOR; ++f) c.DestBlendCaps |= D3DPBLENDCAPS(f);
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB;
    // Neither POW2 nor SQUAREONLY: any size is made. Mip chains, cube maps
    // (with their chains) and volumes (of any size, with levels: 3-D
    // textures) are sampled, and projected coordinates divided per pixel.
    c.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPCUBEMAP |
                    D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_PROJECTED;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.CubeTextureFilterCaps = c.TextureFilterCaps;
    c.VolumeTextureFilterCaps = c.TextureFilterCaps;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_MIRRORONCE;
    c.VolumeTextureAddressCaps = c.TextureAddressCaps; // W as U and V
    c.MaxVolumeExtent = 256; // the 3-D texture size every OpenGL 3.3 driver makes
    c.MaxTextureWidth = 4096;
    c.MaxTextureHeight = 4096;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 1; // the driver's, where it filters anisotropically (ApplyDriverLimits)
    c.StencilCaps = D3DSTENCILCAPS_ALL8 | D3DSTENCILCAPS_TWOSIDED;
    c.FVFCaps = 8; // texture-coordinate sets
    // Stage operations the generated fragment shader performs: all but PREMODULATE.
    c.TextureOpCaps = 0;
    for (std::uint32_t op = D3DTOP_DISABLE; op <= D3DTOP_LERP; ++op)
        if (op != D3DTOP_PREMODULATE) c.TextureOpCaps |= D3DTEXOPCAPS(op);
    // The one deliberate exception: the renderer's creation needs two stages and
    // textures; eight are stored.
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_MATERIALSOURCE7;
    c.MaxActiveLights = DeviceState::kMaxActiveLights; // per-vertex lights in camera space
    c.MaxUserClipPlanes = 0;
    c.MaxVertexBlendMatrices = 4; // VERTEXBLEND 0-3 over world matrices 0-3
    // INDEXEDVERTEXBLENDENABLE: indices of the vertex pick among world matrices 0-255.
    c.MaxVertexBlendMatrixIndex = 255;
    c.MaxPointSize = 1.0f;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    // Declarations read any of the published types from any stream.
    c.MaxStreams = DeviceState::kStreams;
    c.MaxStreamStride = 255;
    c.DeclTypes = D3DDTCAPS_ALL;
    // Programs 1.1-3.0 run translated into GLSL: every instruction of the
    // table, 32 temporaries, flow control nested as deep as the published
    // maximum, predicates, gradients and any swizzle. 3.0 vertex programs
    // sample the four vertex samplers (texldl), point or linear.
    c.VertexShaderVersion = D3DVS_VERSION(3, 0);
    c.MaxVertexShaderConst = DeviceState::kVsConstF;
    c.PixelShaderVersion = D3DPS_VERSION(3, 0);
    c.PixelShader1xMaxValue = 1.0f;
    c.VS20Caps = {D3DVS20CAPS_PREDICATION, 24, 32, 4};
    c.PS20Caps = {D3DPS20CAPS_ARBITRARYSWIZZLE | D3DPS20CAPS_GRADIENTINSTRUCTIONS | D3DPS20CAPS_PREDICATION |
                      D3DPS20CAPS_NODEPENDENTREADLIMIT | D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT,
                  24, 32, 4, 512};
    c.MaxVShaderInstructionsExecuted = 65535;
    c.MaxPShaderInstructionsExecuted = 65535;
    c.MaxVertexShader30InstructionSlots = 32768;
    c.VertexTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                                D3DPTFILTERCAPS_MAGFLINEAR;
    c.MaxPixelShader30InstructionSlots = 32768;
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET; // vertex attributes start at any byte offset
    c.MasterAdapterOrdinal = adapter;
    c.AdapterOrdinalInGroup = 0;
    c.NumberOfAdaptersInGroup = 1;
    // Four targets at once: every OpenGL 3.3 driver has eight draw buffers
    // (the `gl` device lowers it to the driver's count should it have fewer).
    c.NumSimultaneousRTs = DeviceState::kTargets;
    return c;
}

void ApplyDriverLimits(D3DCAPS9& c, const DriverLimits& limits) {
    // Anisotropy minifies and magnifies, on every kind of texture the driver samples.
    if (limits.maxAnisotropy > 1) {
        c.MaxAnisotropy = limits.maxAnisotropy;
        for (std::uint32_t* filter : {&c.TextureFilterCaps, &c.CubeTextureFilterCaps, &c.VolumeTextureFilterCaps})
            *filter |= D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    }
}

namespace {
DriverLimits g_glLimits; // the last gl device's, or the probe's
bool g_glLimitsKnown = false;
} // namespace

DriverLimits GlDriverLimits() {
    if (!g_glLimitsKnown) {
        DriverLimits probed;
        if (ProbeGlDriverLimits(probed)) {
            g_glLimits = probed;
            g_glLimitsKnown = true;
        }
    }
    return g_glLimits;
}

void NoteGlDriverLimits(const DriverLimits& limits) {
    g_glLimits = limits;
    g_glLimitsKnown = true;
}

void ForgetGlDriverLimitsForTests() {
    g_glLimits = DriverLimits{};
    g_glLimitsKnown = false;
}

} // namespace gfx
