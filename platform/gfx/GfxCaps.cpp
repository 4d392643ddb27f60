#include "platform/gfx/Gfx.h"

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
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP;
    // No W-buffer, no table or W fog: not performed.
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SCISSORTEST;
    c.ZCmpCaps = D3DPCMPCAPS_ALL;
    c.AlphaCmpCaps = D3DPCMPCAPS_ALL;
    // Every source factor ZERO..BOTHINVSRCALPHA; destination factors ZERO..INVDESTCOLOR.
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_BOTHINVSRCALPHA; ++f) c.SrcBlendCaps |= D3DPBLENDCAPS(f);
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_INVDESTCOLOR; ++f) c.DestBlendCaps |= D3DPBLENDCAPS(f);
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB;
    // Neither POW2 nor SQUAREONLY: any size is made. Nothing else until textures are sampled.
    c.TextureCaps = 0;
    c.MaxTextureWidth = 4096;
    c.MaxTextureHeight = 4096;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 1;
    c.StencilCaps = D3DSTENCILCAPS_ALL8; // one-sided only
    c.FVFCaps = 8; // texture-coordinate sets
    // Stage operations the generated fragment shader performs (no texture sampling yet:
    // a TEXTURE argument reads white).
    c.TextureOpCaps = D3DTEXOPCAPS(D3DTOP_DISABLE) | D3DTEXOPCAPS(D3DTOP_SELECTARG1) |
                      D3DTEXOPCAPS(D3DTOP_SELECTARG2) | D3DTEXOPCAPS(D3DTOP_MODULATE) |
                      D3DTEXOPCAPS(D3DTOP_MODULATE2X) | D3DTEXOPCAPS(D3DTOP_MODULATE4X) |
                      D3DTEXOPCAPS(D3DTOP_ADD) | D3DTEXOPCAPS(D3DTOP_ADDSIGNED) | D3DTEXOPCAPS(D3DTOP_SUBTRACT);
    // The one deliberate exception: the renderer's creation needs two stages and
    // textures; eight are stored.
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_MATERIALSOURCE7;
    c.MaxActiveLights = 0;
    c.MaxUserClipPlanes = 0;
    c.MaxVertexBlendMatrices = 0;
    c.MaxVertexBlendMatrixIndex = 0;
    c.MaxPointSize = 1.0f;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 1;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(0, 0);
    c.MaxVertexShaderConst = 0;
    c.PixelShaderVersion = D3DPS_VERSION(0, 0);
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET; // vertex attributes start at any byte offset
    c.MasterAdapterOrdinal = adapter;
    c.AdapterOrdinalInGroup = 0;
    c.NumberOfAdaptersInGroup = 1;
    c.NumSimultaneousRTs = 1;
    return c;
}

} // namespace gfx
