#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxBackendLocal.h"

#include <cstring>

#include <gtest/gtest.h>

using namespace gfx;

// The caps table is pinned: a bit changes only with the change that makes it true.
TEST(GfxCaps, TableIsPinned) {
    const D3DCAPS9 c = DeviceCaps(0);
    EXPECT_EQ(c.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(c.AdapterOrdinal, 0u);
    EXPECT_EQ(c.Caps, 0u);
    EXPECT_EQ(c.Caps2, D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES);
    EXPECT_EQ(c.Caps3, 0u);
    EXPECT_EQ(c.PresentationIntervals, D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(c.DevCaps, 0x190550u);
    // ... and for targets 1-3 their own write masks, formats of their own, blending.
    EXPECT_EQ(c.PrimitiveMiscCaps, 0x8F2u | 0x4000u | 0x40000u | 0x80000u);
    // z test, scissor, vertex fog, range fog, multisample toggle; table fog by z and by w.
    EXPECT_EQ(c.RasterCaps, 0x9010090u | 0x100u | 0x100000u | 0x200000u);
    EXPECT_EQ(c.ZCmpCaps, 0xFFu);
    EXPECT_EQ(c.SrcBlendCaps, 0x1FFFu);
    EXPECT_EQ(c.DestBlendCaps, 0x3FFu);
    EXPECT_EQ(c.AlphaCmpCaps, 0xFFu);
    EXPECT_EQ(c.ShadeCaps, 0x8u);
    EXPECT_EQ(c.TextureCaps, 0x1E800u | 0x400u); // mipmaps; cube maps and volumes, each with mipmaps; projected
    EXPECT_EQ(c.TextureFilterCaps, 0x3030300u); // point and linear: min, mip, mag
    EXPECT_EQ(c.CubeTextureFilterCaps, 0x3030300u);
    EXPECT_EQ(c.VolumeTextureFilterCaps, 0x3030300u);
    EXPECT_EQ(c.VolumeTextureAddressCaps, 0x2Fu);
    EXPECT_EQ(c.MaxVolumeExtent, 256u);
    EXPECT_EQ(c.TextureAddressCaps, 0x2Fu);     // wrap, mirror, clamp, border, mirror once
    EXPECT_EQ(c.MaxAnisotropy, 1u);             // the minimum: the driver's raises it
    EXPECT_EQ(c.StencilCaps, 0x1FFu);           // every operation, two-sided
    EXPECT_EQ(c.FVFCaps, 8u);
    // Operations 1-16 and 18-26 (the bump operations included): bit (op - 1).
    EXPECT_EQ(c.TextureOpCaps, 0x3FEFFFFu);
    EXPECT_EQ(c.MaxTextureBlendStages, 8u);
    EXPECT_EQ(c.MaxSimultaneousTextures, 8u);
    EXPECT_EQ(c.VertexProcessingCaps, D3DVTXPCAPS_MATERIALSOURCE7);
    EXPECT_EQ(c.MaxActiveLights, 8u);
    EXPECT_EQ(c.MaxUserClipPlanes, 0u);
    EXPECT_EQ(c.MaxVertexBlendMatrices, 4u);
    EXPECT_EQ(c.MaxVertexBlendMatrixIndex, 255u);
    EXPECT_EQ(c.MaxStreams, 16u);
    EXPECT_EQ(c.MaxStreamStride, 255u);
    EXPECT_EQ(c.DeclTypes, 0x3FFu); // every type UBYTE4 .. FLOAT16_4
    // Programs 1.1-3.0: 256 vertex constants, 32 temporaries, flow control
    // 24 deep (4 for calls), predicates; pixel 2.x arbitrary swizzles,
    // gradients and no limit on dependent reads or texture instructions.
    EXPECT_EQ(c.VertexShaderVersion, 0xFFFE0300u);
    EXPECT_EQ(c.PixelShaderVersion, 0xFFFF0300u);
    EXPECT_EQ(c.MaxVertexShaderConst, 256u);
    EXPECT_EQ(c.PixelShader1xMaxValue, 1.0f);
    EXPECT_EQ(c.VS20Caps.Caps, 1);
    EXPECT_EQ(c.VS20Caps.DynamicFlowControlDepth, 24);
    EXPECT_EQ(c.VS20Caps.NumTemps, 32);
    EXPECT_EQ(c.VS20Caps.StaticFlowControlDepth, 4);
    EXPECT_EQ(c.PS20Caps.Caps, 0x1F);
    EXPECT_EQ(c.PS20Caps.DynamicFlowControlDepth, 24);
    EXPECT_EQ(c.PS20Caps.NumTemps, 32);
    EXPECT_EQ(c.PS20Caps.StaticFlowControlDepth, 4);
    EXPECT_EQ(c.PS20Caps.NumInstructionSlots, 512);
    EXPECT_EQ(c.MaxVertexShader30InstructionSlots, 32768u);
    EXPECT_EQ(c.MaxPixelShader30InstructionSlots, 32768u);
    // Vertex texture fetch, point or linear.
    EXPECT_EQ(c.VertexTextureFilterCaps, D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                             D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR);
    EXPECT_EQ(c.NumSimultaneousRTs, 4u);
    EXPECT_EQ(c.DevCaps2, D3DDEVCAPS2_STREAMOFFSET);
    EXPECT_EQ(c.MaxTextureWidth, 4096u);
    EXPECT_EQ(c.MaxVertexIndex, 0xFFFFFFu);
}

TEST(GfxCaps, AbsentFeaturesStayAbsent) {
    const D3DCAPS9 c = DeviceCaps(0);
    EXPECT_EQ(c.TextureCaps & D3DPTEXTURECAPS_POW2, 0u);
    EXPECT_EQ(c.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY, 0u);
    EXPECT_EQ(c.RasterCaps & D3DPRASTERCAPS_WBUFFER, 0u);
    EXPECT_EQ(c.TextureOpCaps & D3DTEXOPCAPS(D3DTOP_PREMODULATE), 0u);
    // 3-D textures of any size: no power-of-two rule for volumes.
    EXPECT_EQ(c.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP_POW2, 0u);
    EXPECT_NE(c.TextureOpCaps & D3DTEXOPCAPS_BLENDTEXTUREALPHA, 0u); // lets decals join the open pass
}

// A driver's anisotropy raises the ratio and the anisotropic filter bits of
// every texture kind but vertex fetch, and nothing else; none leaves the table.
TEST(GfxCaps, DriverAnisotropyRaisesOnlyItsOwnFields) {
    const D3DCAPS9 table = DeviceCaps(0);
    D3DCAPS9 c = table;
    ApplyDriverLimits(c, DriverLimits{});
    EXPECT_EQ(std::memcmp(&c, &table, sizeof c), 0);
    ApplyDriverLimits(c, DriverLimits{16});
    const std::uint32_t bits = D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    EXPECT_EQ(c.MaxAnisotropy, 16u);
    EXPECT_EQ(c.TextureFilterCaps, table.TextureFilterCaps | bits);
    EXPECT_EQ(c.CubeTextureFilterCaps, table.CubeTextureFilterCaps | bits);
    EXPECT_EQ(c.VolumeTextureFilterCaps, table.VolumeTextureFilterCaps | bits);
    EXPECT_EQ(c.VertexTextureFilterCaps, table.VertexTextureFilterCaps);
    c.MaxAnisotropy = table.MaxAnisotropy;
    c.TextureFilterCaps = table.TextureFilterCaps;
    c.CubeTextureFilterCaps = table.CubeTextureFilterCaps;
    c.VolumeTextureFilterCaps = table.VolumeTextureFilterCaps;
    EXPECT_EQ(std::memcmp(&c, &table, sizeof c), 0);
}
