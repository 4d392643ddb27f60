#include "tests/platform/gfx/GfxBackendFixture.h"

#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

using namespace gfx;
using gfxtest::BackendTest;
using gfxtest::Ref;

class GfxDevice : public BackendTest {};
GFX_BOTH_BACKENDS(GfxDevice);

TEST_P(GfxDevice, StartsWithThePublishedDefaults) {
    Create();
    std::uint32_t v = 0;
    auto rs = [&](std::uint32_t s) {
        EXPECT_EQ(device->GetRenderState(s, &v), D3D_OK);
        return v;
    };
    EXPECT_EQ(rs(D3DRS_ZENABLE), D3DZB_TRUE); // automatic depth surface
    EXPECT_EQ(rs(D3DRS_FILLMODE), D3DFILL_SOLID);
    EXPECT_EQ(rs(D3DRS_SHADEMODE), D3DSHADE_GOURAUD);
    EXPECT_EQ(rs(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(rs(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(rs(D3DRS_SRCBLEND), D3DBLEND_ONE);
    EXPECT_EQ(rs(D3DRS_DESTBLEND), D3DBLEND_ZERO);
    EXPECT_EQ(rs(D3DRS_CULLMODE), D3DCULL_CCW);
    EXPECT_EQ(rs(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
    EXPECT_EQ(rs(D3DRS_ALPHAFUNC), D3DCMP_ALWAYS);
    EXPECT_EQ(rs(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(rs(D3DRS_FOGEND), std::bit_cast<std::uint32_t>(1.0f));
    EXPECT_EQ(rs(D3DRS_STENCILFUNC), D3DCMP_ALWAYS);
    EXPECT_EQ(rs(D3DRS_STENCILMASK), 0xFFFFFFFFu);
    EXPECT_EQ(rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(rs(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(rs(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(rs(D3DRS_COLORVERTEX), 1u);
    EXPECT_EQ(rs(D3DRS_DIFFUSEMATERIALSOURCE), D3DMCS_COLOR1);
    EXPECT_EQ(rs(D3DRS_SPECULARMATERIALSOURCE), D3DMCS_COLOR2);
    EXPECT_EQ(rs(D3DRS_POINTSIZE_MAX), std::bit_cast<std::uint32_t>(64.0f));
    EXPECT_EQ(rs(D3DRS_COLORWRITEENABLE), 0xFu);
    EXPECT_EQ(rs(D3DRS_BLENDOP), D3DBLENDOP_ADD);
    EXPECT_EQ(rs(D3DRS_MULTISAMPLEMASK), 0xFFFFFFFFu);
    for (std::uint32_t stage = 0; stage < 16; ++stage) {
        SCOPED_TRACE(stage);
        device->GetTextureStageState(stage, D3DTSS_COLOROP, &v);
        EXPECT_EQ(v, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        device->GetTextureStageState(stage, D3DTSS_ALPHAOP, &v);
        EXPECT_EQ(v, stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
        device->GetTextureStageState(stage, D3DTSS_COLORARG1, &v);
        EXPECT_EQ(v, D3DTA_TEXTURE);
        device->GetTextureStageState(stage, D3DTSS_COLORARG2, &v);
        EXPECT_EQ(v, D3DTA_CURRENT);
        device->GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(v, stage);
        device->GetSamplerState(stage, D3DSAMP_ADDRESSU, &v);
        EXPECT_EQ(v, D3DTADDRESS_WRAP);
        device->GetSamplerState(stage, D3DSAMP_MINFILTER, &v);
        EXPECT_EQ(v, D3DTEXF_POINT);
        device->GetSamplerState(stage, D3DSAMP_MIPFILTER, &v);
        EXPECT_EQ(v, D3DTEXF_NONE);
        device->GetSamplerState(stage, D3DSAMP_MAXANISOTROPY, &v);
        EXPECT_EQ(v, 1u);
    }
    D3DMATRIX m;
    for (std::uint32_t t : {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0, D3DTS_TEXTURE0 + 7, D3DTS_WORLD, D3DTS_WORLD3}) {
        ASSERT_EQ(device->GetTransform(t, &m), D3D_OK);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[i][j], i == j ? 1.0f : 0.0f);
    }
    // World matrices 0-255 (indexed blending), nothing past them.
    ASSERT_EQ(device->GetTransform(D3DTS_WORLDMATRIX(255), &m), D3D_OK);
    EXPECT_EQ(m.m[3][3], 1.0f);
    EXPECT_EQ(device->GetTransform(D3DTS_WORLDMATRIX(256), &m), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 64u);
    EXPECT_EQ(vp.Height, 48u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    device->GetFVF(&v);
    EXPECT_EQ(v, 0u);
}

TEST_P(GfxDevice, StoresStatesOfEveryRange) {
    Create();
    std::uint32_t v = 0;
    EXPECT_EQ(device->SetRenderState(255, 7), D3D_OK);
    device->GetRenderState(255, &v);
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(device->SetRenderState(256, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(15, D3DTSS_CONSTANT, 9), D3D_OK);
    device->GetTextureStageState(15, D3DTSS_CONSTANT, &v);
    EXPECT_EQ(v, 9u);
    EXPECT_EQ(device->SetTextureStageState(16, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, 33, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(15, D3DSAMP_DMAPOFFSET, 3), D3D_OK);
    device->GetSamplerState(15, D3DSAMP_DMAPOFFSET, &v);
    EXPECT_EQ(v, 3u);
    EXPECT_EQ(device->SetSamplerState(0, 14, 1), D3DERR_INVALIDCALL);

    D3DLIGHT9 light;
    light.Type = D3DLIGHT_POINT;
    light.Range = 5.0f;
    light.Attenuation0 = 1.0f;
    EXPECT_EQ(device->SetLight(1000, &light), D3D_OK); // sparse indices
    D3DLIGHT9 back;
    ASSERT_EQ(device->GetLight(1000, &back), D3D_OK);
    EXPECT_EQ(back.Range, 5.0f);
    EXPECT_EQ(device->GetLight(3, &back), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LightEnable(3, 1), D3D_OK); // makes the default light
    ASSERT_EQ(device->GetLight(3, &back), D3D_OK);
    EXPECT_EQ(back.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(back.Direction.z, 1.0f);
    std::int32_t on = 0;
    device->GetLightEnable(3, &on);
    EXPECT_EQ(on, 1);

    D3DMATERIAL9 mat;
    mat.Emissive = D3DCOLORVALUE{0.5f, 0.25f, 0.0f, 1.0f};
    device->SetMaterial(&mat);
    D3DMATERIAL9 matBack;
    device->GetMaterial(&matBack);
    EXPECT_EQ(matBack.Emissive.g, 0.25f);

    const float c[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(device->SetVertexShaderConstantF(254, c, 2), D3D_OK);
    EXPECT_EQ(device->SetVertexShaderConstantF(255, c, 2), D3DERR_INVALIDCALL);
    float cb[8] = {};
    device->GetVertexShaderConstantF(254, cb, 2);
    EXPECT_EQ(cb[7], 8.0f);

    D3DVIEWPORT9 vp{4, 4, 8, 8, 0.25f, 0.75f};
    EXPECT_EQ(device->SetViewport(&vp), D3D_OK);
    vp.Width = 100;
    EXPECT_EQ(device->SetViewport(&vp), D3DERR_INVALIDCALL);
}

TEST_P(GfxDevice, TexturePitchesLevelsAndDescriptions) {
    Create();
    Ref<IDirect3DTexture9> dxt;
    ASSERT_EQ(device->CreateTexture(256, 64, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    EXPECT_EQ(dxt->GetLevelCount(), 9u); // 0 levels = the full chain
    D3DLOCKED_RECT lr;
    ASSERT_EQ(dxt->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, 512);
    EXPECT_EQ(dxt->UnlockRect(0), D3D_OK);
    ASSERT_EQ(dxt->LockRect(8, &lr, nullptr, 0), D3D_OK); // 1x1: one block
    EXPECT_EQ(lr.Pitch, 8);
    dxt->UnlockRect(8);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(dxt->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
    EXPECT_EQ(dxt->GetLevelDesc(9, &desc), D3DERR_INVALIDCALL);

    Ref<IDirect3DTexture9> dxt5;
    ASSERT_EQ(device->CreateTexture(256, 256, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt5, nullptr), D3D_OK);
    dxt5->LockRect(0, &lr, nullptr, 0);
    EXPECT_EQ(lr.Pitch, 1024);
    dxt5->UnlockRect(0);

    Ref<IDirect3DTexture9> rgb;
    ASSERT_EQ(device->CreateTexture(10, 6, 2, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &rgb, nullptr), D3D_OK);
    rgb->LockRect(1, &lr, nullptr, 0);
    EXPECT_EQ(lr.Pitch, 10);
    rgb->UnlockRect(1);
    EXPECT_EQ(device->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &rgb, nullptr), D3DERR_INVALIDCALL);
    IDirect3DTexture9* bump = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_Q8W8V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3DERR_INVALIDCALL);
    Ref<IDirect3DTexture9> l6v5u5;
    ASSERT_EQ(device->CreateTexture(6, 4, 1, 0, D3DFMT_L6V5U5, D3DPOOL_MANAGED, &l6v5u5, nullptr), D3D_OK);
    ASSERT_EQ(l6v5u5->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, 12);
    l6v5u5->UnlockRect(0);
}

TEST_P(GfxDevice, LockRoundTripKeepsBytesInTheFormatLayout) {
    Create();
    Ref<IDirect3DTexture9> tex;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = 0xFF000000u | (y << 8) | x;
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    const RECT r{2, 3, 4, 5};
    ASSERT_EQ(tex->LockRect(0, &lr, &r, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(lr.pBits), 0xFF000302u);
    tex->UnlockRect(0);

    // Cube faces are six separate images in the order +X, -X, +Y, -Y, +Z, -Z.
    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 3u);
    for (std::uint32_t face = 0; face < 6; ++face) {
        ASSERT_EQ(cube->LockRect(face, 0, &lr, nullptr, 0), D3D_OK);
        *static_cast<std::uint32_t*>(lr.pBits) = face;
        cube->UnlockRect(face, 0);
    }
    for (std::uint32_t face = 0; face < 6; ++face) {
        cube->LockRect(face, 0, &lr, nullptr, D3DLOCK_READONLY);
        EXPECT_EQ(*static_cast<std::uint32_t*>(lr.pBits), face);
        cube->UnlockRect(face, 0);
    }
    EXPECT_EQ(cube->LockRect(6, 0, &lr, nullptr, 0), D3DERR_INVALIDCALL);

    // A default-pool texture that is not dynamic cannot be locked.
    Ref<IDirect3DTexture9> def;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &def, nullptr), D3D_OK);
    EXPECT_EQ(def->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
}

namespace {
void FillLevel(IDirect3DSurface9* surface, std::uint8_t value) {
    D3DLOCKED_RECT lr;
    ASSERT_EQ(surface->LockRect(&lr, nullptr, 0), D3D_OK);
    std::memset(lr.pBits, value, FormatLevelSize(surface->Format(), surface->Width(), surface->Height()));
    surface->UnlockRect();
}
bool LevelIs(IDirect3DSurface9* surface, std::uint8_t value) {
    D3DLOCKED_RECT lr;
    if (surface->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(lr.pBits);
    const std::size_t size = FormatLevelSize(surface->Format(), surface->Width(), surface->Height());
    const bool all = std::all_of(bytes, bytes + size, [&](std::uint8_t b) { return b == value; });
    surface->UnlockRect();
    return all;
}
} // namespace

// Level memory let go is kept for the next surface of its size. Only the
// loaders' own creation calls take it as it is; every other surface starts
// zeroed, also on memory that held another texture.
TEST_P(GfxDevice, NewSurfacesReadZeroEvenOnReusedMemory) {
    Create();
    constexpr std::uint32_t kSide = 256; // 256 KiB a level of 32-bit texels
    constexpr std::size_t kLevelBytes = std::size_t(kSide) * kSide * 4;
    auto dropDirtyTexture = [&] {
        device->EvictManagedResources();
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(kSide, kSide, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        FillLevel(t->Level(0), 0xAB);
        EXPECT_EQ(t->Release(), 0u);
        EXPECT_EQ(device->SpareSurfaceBytes(), kLevelBytes);
    };

    dropDirtyTexture();
    {
        Ref<IDirect3DTexture9> t;
        ASSERT_EQ(device->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        EXPECT_EQ(device->SpareSurfaceBytes(), 0u); // the kept memory was taken
        EXPECT_TRUE(LevelIs(t->Level(0), 0));
    }
    dropDirtyTexture();
    {
        Ref<IDirect3DCubeTexture9> cube;
        ASSERT_EQ(device->CreateCubeTexture(kSide, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
        for (std::uint32_t face = 0; face < 6; ++face) EXPECT_TRUE(LevelIs(cube->Face(face, 0), 0)) << face;
    }
    dropDirtyTexture();
    {
        Ref<IDirect3DSurface9> plain;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(kSide, kSide, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &plain,
                                                      nullptr),
                  D3D_OK);
        EXPECT_TRUE(LevelIs(plain.get(), 0));
    }
    dropDirtyTexture();
    {
        Ref<IDirect3DSurface9> target;
        ASSERT_EQ(device->CreateRenderTarget(kSide, kSide, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, 1, &target,
                                             nullptr),
                  D3D_OK);
        EXPECT_TRUE(LevelIs(target.get(), 0));
    }
    // The loaders' call leaves the memory as it was: they write all of it.
    dropDirtyTexture();
    {
        Ref<IDirect3DTexture9> t;
        ASSERT_EQ(device->CreateTextureToFill(kSide, kSide, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        EXPECT_TRUE(LevelIs(t->Level(0), 0xAB));
    }
}

TEST_P(GfxDevice, KeptLevelMemoryIsBoundedAndLetGoOnRequest) {
    Create();
    // Small levels are not kept: the allocator serves them well.
    Ref<IDirect3DTexture9> small;
    ASSERT_EQ(device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &small, nullptr), D3D_OK);
    small.reset();
    EXPECT_EQ(device->SpareSurfaceBytes(), 0u);
    // Three 16 MiB levels let go: at most the limit is kept, the newest.
    Ref<IDirect3DTexture9> big[3];
    for (Ref<IDirect3DTexture9>& t : big)
        ASSERT_EQ(device->CreateTexture(2048, 2048, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    for (Ref<IDirect3DTexture9>& t : big) {
        t.reset();
        EXPECT_LE(device->SpareSurfaceBytes(), IDirect3DDevice9::kSpareBytesLimit);
    }
    EXPECT_EQ(device->SpareSurfaceBytes(), IDirect3DDevice9::kSpareBytesLimit);
    // A level larger than the limit is never kept.
    {
        Ref<IDirect3DTexture9> huge;
        ASSERT_EQ(device->CreateTexture(4096, 4096, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &huge, nullptr), D3D_OK);
    }
    EXPECT_EQ(device->SpareSurfaceBytes(), IDirect3DDevice9::kSpareBytesLimit);
    EXPECT_EQ(device->EvictManagedResources(), D3D_OK);
    EXPECT_EQ(device->SpareSurfaceBytes(), 0u);
}

TEST_P(GfxDevice, BuffersDescribeThemselvesAndHonourDiscard) {
    Create();
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    D3DVERTEXBUFFER_DESC vd;
    vb->GetDesc(&vd);
    EXPECT_EQ(vd.Format, 100u);
    EXPECT_EQ(vd.Type, 6u);
    EXPECT_EQ(vd.Size, 64u);
    EXPECT_EQ(vd.FVF, D3DFVF_XYZ);
    EXPECT_EQ(vd.Usage, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC);
    EXPECT_EQ(vd.Pool, D3DPOOL_DEFAULT);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memset(p, 0xAB, 64);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(16, 16, &p, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[0], 0xAB); // kept
    vb->Unlock();
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[0], 0x00); // fresh contents
    vb->Unlock();
    EXPECT_EQ(vb->Lock(60, 8, &p, 0), D3DERR_INVALIDCALL);

    Ref<IDirect3DIndexBuffer9> ib;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    D3DINDEXBUFFER_DESC id;
    ib->GetDesc(&id);
    EXPECT_EQ(id.Format, 101u);
    EXPECT_EQ(id.Type, 7u);
    EXPECT_EQ(id.Size, 12u);
    IDirect3DIndexBuffer9* bad = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad, nullptr), D3DERR_INVALIDCALL);
}

TEST_P(GfxDevice, ReferenceCountsAreReal) {
    Create();
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->RefCount(), 1u);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(tex->RefCount(), 2u); // a level counts on its texture
    EXPECT_EQ(level->Release(), 1u);
    ASSERT_EQ(device->SetTexture(0, tex), D3D_OK);
    EXPECT_EQ(tex->RefCount(), 2u); // the binding holds one
    IDirect3DBaseTexture9* got = nullptr;
    device->GetTexture(0, &got);
    EXPECT_EQ(got, tex);
    EXPECT_EQ(got->Release(), 2u);
    EXPECT_EQ(tex->Release(), 1u); // still bound
    device->SetTexture(0, nullptr); // replaced: the last reference goes

    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(48, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    device->SetStreamSource(0, vb, 0, 12);
    EXPECT_EQ(vb->RefCount(), 2u);
    IDirect3DVertexBuffer9* vb2 = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(48, 0, 0, D3DPOOL_MANAGED, &vb2, nullptr), D3D_OK);
    device->SetStreamSource(0, vb2, 0, 12);
    EXPECT_EQ(vb->RefCount(), 1u);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(vb2->Release(), 1u);
    device->SetStreamSource(0, nullptr, 0, 0);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(back->RefCount(), 1u);
    IDirect3DSurface9* rt = nullptr;
    device->GetRenderTarget(0, &rt);
    EXPECT_EQ(rt, back);
    EXPECT_EQ(back->RefCount(), 2u);
    EXPECT_EQ(rt->Release(), 1u);
    EXPECT_EQ(back->Release(), 0u);

    // The device counts too; a resource outliving it keeps its bytes.
    EXPECT_EQ(device->AddRef(), 2u);
    EXPECT_EQ(device->Release(), 1u);
    IDirect3DDevice9* owner = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(8, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    ASSERT_EQ(ib->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(device->Release(), 1u);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    void* p = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    ib->Unlock();
    EXPECT_EQ(ib->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib->Release(), 0u);
}

TEST_P(GfxDevice, ResetRefusedWhileDefaultPoolOrBackBufferLives) {
    Create();
    Ref<IDirect3DTexture9> managed;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    managed->LockRect(0, &lr, nullptr, 0);
    *static_cast<std::uint32_t*>(lr.pBits) = 0x12345678u;
    managed->UnlockRect(0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    IDirect3DVertexBuffer9* dyn = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &dyn, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(32, 16);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    dyn->Release();
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    back->Release();
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    depth->Release();
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, 0, 0, 0, &target, nullptr), D3D_OK);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    target->Release();
    // Default-pool textures count once each, whatever their levels or faces.
    IDirect3DTexture9* levels = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 3, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &levels, nullptr),
              D3D_OK);
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
              D3D_OK);
    EXPECT_EQ(device->LiveDefaultPoolResources(), 2u);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    levels->Release();
    cube->Release();
    EXPECT_EQ(device->LiveDefaultPoolResources(), 0u);

    ASSERT_EQ(device->Reset(&p), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 16u);
    back->Release();
    std::uint32_t v = 0;
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, D3DCULL_CCW); // default states again
    managed->LockRect(0, &lr, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(*static_cast<std::uint32_t*>(lr.pBits), 0x12345678u); // managed contents kept
    managed->UnlockRect(0);
}

TEST_P(GfxDevice, LossSequence) {
    Create();
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    device->SimulateDeviceLoss();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    // Other calls succeed without effect: nothing reaches the back end, and
    // the back buffer keeps what it held before the loss.
    device->SetCallRecording(true);
    device->ClearRecordedCalls();
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
    struct V {
        float x, y, z, rhw;
        std::uint32_t c;
    };
    const V tri[3] = {{0, 0, 0, 1, 0xFFFFFFFFu}, {64, 0, 0, 1, 0xFFFFFFFFu}, {0, 48, 0, 1, 0xFFFFFFFFu}};
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), D3D_OK);
    EXPECT_TRUE(device->RecordedCalls().empty());
    {
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(*static_cast<const std::uint32_t*>(lr.pBits) & 0xFFFFFFu, 0x000000u);
        back->UnlockRect();
    }
    EXPECT_EQ(device->SetRenderState(D3DRS_LIGHTING, 0), D3D_OK);
    D3DPRESENT_PARAMETERS p = params;
    EXPECT_EQ(device->Reset(&p), D3DERR_DEVICELOST);
    device->EndDeviceLoss();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_P(GfxDevice, ClearedBackBufferReadsBack) {
    Create();
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080u, 1.0f, 0), D3D_OK);
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(lr.Pitch, 64 * 4);
    const auto* px = static_cast<const std::uint8_t*>(lr.pBits) + 47 * lr.Pitch + 63 * 4;
    EXPECT_EQ(px[0], 0x80);
    EXPECT_EQ(px[1], 0x80);
    EXPECT_EQ(px[2], 0x80);
    back->UnlockRect();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_P(GfxDevice, BackBufferLockableOnlyWithTheFlag) {
    Create(gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, false));
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(back->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST_P(GfxDevice, ClearValidatesItsFlags) {
    Create(gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, true, false));
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL); // no depth surface
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

// Clears on the memory back end: inside their rectangles only, depth and
// stencil each in their own bits of the packed pixel, colour on every row.
TEST_P(GfxDevice, RectangleClearsTouchOnlyTheirPixelsAndTheirBits) {
    if (GetParam() != BackendKind::Null) GTEST_SKIP() << "the memory surfaces are the null back end's";
    Create(gfxtest::Windowed(16, 8));
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(depth->Format(), D3DFMT_D24S8);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0x15A), D3D_OK);
    const D3DRECT half = {3, 2, 11, 6};
    ASSERT_EQ(device->Clear(1, &half, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
    const D3DRECT left = {0, 0, 5, 8};
    ASSERT_EQ(device->Clear(1, &left, D3DCLEAR_STENCIL, 0, 0.0f, 0x07), D3D_OK);
    const auto Inside = [](const D3DRECT& r, std::uint32_t x, std::uint32_t y) {
        return std::int32_t(x) >= r.x1 && std::int32_t(x) < r.x2 && std::int32_t(y) >= r.y1 && std::int32_t(y) < r.y2;
    };
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 16; ++x) {
            std::uint32_t v = 0;
            std::memcpy(&v, depth->Bytes() + y * depth->Pitch() + x * 4, 4);
            const std::uint32_t z = Inside(half, x, y) ? 0x800000u : 0xFFFFFFu;
            const std::uint32_t s = Inside(left, x, y) ? 0x07u : 0x5Au;
            EXPECT_EQ(v, (z << 8) | s) << x << "," << y;
        }

    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), D3D_OK);
    const D3DRECT rects[2] = {{15, 7, 20, 9}, {1, 1, 4, 7}};
    ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFA0B0C0u, 1.0f, 0), D3D_OK);
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 16; ++x) {
            std::uint32_t v = 0;
            std::memcpy(&v, static_cast<const std::uint8_t*>(lr.pBits) + y * std::uint32_t(lr.Pitch) + x * 4, 4);
            const bool cleared = Inside(rects[0], x, y) || Inside(rects[1], x, y);
            EXPECT_EQ(v & 0xFFFFFFu, cleared ? 0xA0B0C0u : 0x102030u) << x << "," << y;
        }
    back->UnlockRect();
}

// The device lights only what it can: a range it can square, an attenuation
// that never divides by zero, a cone with its inner angle inside the outer.
TEST_P(GfxDevice, LightsTheDeviceCannotPerformAreRefused) {
    Create();
    D3DLIGHT9 point;
    point.Type = D3DLIGHT_POINT;
    point.Attenuation1 = 1.0f;
    point.Range = std::sqrt(FLT_MAX);
    EXPECT_EQ(device->SetLight(0, &point), D3D_OK);
    D3DLIGHT9 bad = point;
    bad.Range = std::nextafter(std::sqrt(FLT_MAX), FLT_MAX);
    EXPECT_EQ(device->SetLight(0, &bad), D3DERR_INVALIDCALL);
    bad = point;
    bad.Attenuation1 = 0.0f;
    EXPECT_EQ(device->SetLight(0, &bad), D3DERR_INVALIDCALL);
    D3DLIGHT9 spot = point;
    spot.Type = D3DLIGHT_SPOT;
    spot.Theta = 0.5f;
    spot.Phi = 0.5f;
    EXPECT_EQ(device->SetLight(1, &spot), D3D_OK);
    spot.Phi = 3.14159265358979323846f;
    EXPECT_EQ(device->SetLight(1, &spot), D3D_OK);
    for (const auto& [theta, phi] : {std::pair{0.6f, 0.5f}, std::pair{-0.1f, 0.5f}, std::pair{0.0f, 3.2f}}) {
        bad = spot;
        bad.Theta = theta;
        bad.Phi = phi;
        EXPECT_EQ(device->SetLight(1, &bad), D3DERR_INVALIDCALL);
    }
    D3DLIGHT9 back;
    ASSERT_EQ(device->GetLight(1, &back), D3D_OK);
    EXPECT_EQ(back.Theta, 0.5f); // the refused calls changed nothing
    // A directional light needs neither range nor attenuation.
    D3DLIGHT9 directional;
    directional.Type = D3DLIGHT_DIRECTIONAL;
    directional.Range = -1.0f;
    EXPECT_EQ(device->SetLight(2, &directional), D3D_OK);

    // Eight lights at once; a ninth is refused until one goes off.
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(device->LightEnable(10 + i, 1), D3D_OK);
    EXPECT_EQ(device->LightEnable(10, 1), D3D_OK); // already on
    EXPECT_EQ(device->LightEnable(2, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LightEnable(30, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetLight(30, &back), D3DERR_INVALIDCALL); // no default light made either
    EXPECT_EQ(device->LightEnable(2, 0), D3D_OK);
    EXPECT_EQ(device->LightEnable(12, 0), D3D_OK);
    EXPECT_EQ(device->LightEnable(2, 1), D3D_OK);
    std::int32_t on = 0;
    ASSERT_EQ(device->GetLightEnable(2, &on), D3D_OK);
    EXPECT_EQ(on, 1);
}

// State calls are recorded beside the draws, with their results.
TEST_P(GfxDevice, StateCallsAreRecordedWithTheirResults) {
    Create();
    device->SetCallRecording(true);
    device->ClearStateCalls();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(300, 1);
    device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    const float c[4] = {1, 2, 3, 4};
    device->SetPixelShaderConstantF(2, c, 1);
    const auto& calls = device->StateCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, StateCall::Kind::SetRenderState);
    EXPECT_EQ(calls[0].index, D3DRS_CULLMODE);
    EXPECT_EQ(calls[0].value, D3DCULL_NONE);
    EXPECT_EQ(calls[1].result, D3DERR_INVALIDCALL);
    EXPECT_EQ(calls[2].kind, StateCall::Kind::SetSamplerState);
    EXPECT_EQ(calls[2].type, D3DSAMP_MAGFILTER);
    EXPECT_EQ(calls[3].kind, StateCall::Kind::SetPixelShaderConstantF);
    EXPECT_EQ(calls[3].index, 2u);
    EXPECT_EQ(calls[3].value, 1u);
    EXPECT_TRUE(device->RecordedCalls().empty());
    device->SetCallRecording(false);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_EQ(device->StateCalls().size(), 4u);
}

TEST_P(GfxDevice, RecordedCalls) {
    Create();
    device->SetCallRecording(true);
    device->ClearRecordedCalls();
    struct V {
        float x, y, z, rhw;
        std::uint32_t c;
    };
    const V tri[3] = {{0, 0, 0, 1, 0xFFFF0000u}, {8, 0, 0, 1, 0xFFFF0000u}, {0, 8, 0, 1, 0xFFFF0000u}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const D3DRECT rect{0, 0, 4, 4};
    ASSERT_EQ(device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V)), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL); // inside a scene
    ASSERT_EQ(device->EndScene(), D3D_OK);
    if (GetParam() == BackendKind::Null) {
        // null keeps the cleared pixels: it records the draw and rasterises nothing
        // (gl's drawing is read back in GfxGlDrawTest).
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        const std::uint32_t pixel =
            reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + lr.Pitch)[1];
        EXPECT_EQ(pixel & 0xFFFFFFu, 0x00FF00u);
        back->UnlockRect();
    }
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const auto& calls = device->RecordedCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, RecordedCall::Kind::Clear);
    EXPECT_EQ(calls[0].color, 0xFF00FF00u);
    EXPECT_EQ(calls[0].rectCount, 1u);
    EXPECT_EQ(calls[1].kind, RecordedCall::Kind::DrawPrimitiveUP);
    EXPECT_EQ(calls[1].primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(calls[1].primitiveCount, 1u);
    EXPECT_EQ(calls[1].fvf, D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(calls[2].kind, RecordedCall::Kind::Present);
}

TEST_P(GfxDevice, DrawsValidateTheirInput) {
    Create();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no FVF, no stream
    device->SetFVF(D3DFVF_XYZ);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no stream
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(36, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    device->SetStreamSource(0, vb.get(), 0, 12);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL); // past the end
    EXPECT_EQ(device->DrawPrimitive(7, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL); // no indices
    EXPECT_EQ(device->SetStreamSource(16, vb.get(), 0, 12), D3DERR_INVALIDCALL); // streams 0-15
    // mov oPos, c0
    const std::uint32_t vs[] = {D3DVS_VERSION(1, 1), 0x00000001u, 0xC00F0000u, 0xA0E40000u, 0x0000FFFFu};
    Ref<IDirect3DVertexShader9> shader;
    ASSERT_EQ(device->CreateVertexShader(vs, sizeof(vs), &shader), D3D_OK);
    std::uint32_t size = 0;
    shader->GetFunction(nullptr, &size);
    EXPECT_EQ(size, 20u);
    device->SetVertexShader(shader.get());
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK); // programs run
    device->SetFVF(0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no FVF, no declaration
    device->SetVertexShader(nullptr);
}

TEST_P(GfxDevice, DeclarationsAndFvfReplaceEachOther) {
    Create();
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    Ref<IDirect3DVertexDeclaration9> decl;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    std::uint32_t count = 0;
    decl->GetDeclaration(nullptr, &count);
    EXPECT_EQ(count, 3u);
    device->SetFVF(D3DFVF_XYZ);
    device->SetVertexDeclaration(decl.get());
    std::uint32_t fvf = 1;
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    EXPECT_EQ(decl->RefCount(), 2u);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(decl->RefCount(), 1u);
}

TEST_P(GfxDevice, SixteenBitBackBufferLayout) {
    Create(gfxtest::Windowed(8, 4, D3DFMT_R5G6B5));
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    const D3DRECT right{4, 0, 8, 4};
    ASSERT_EQ(device->Clear(1, &right, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
    Ref<IDirect3DSurface9> back;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(lr.Pitch, 16);
    const auto* row = static_cast<const std::uint16_t*>(lr.pBits);
    EXPECT_EQ(row[0], 0xF800);
    EXPECT_EQ(row[7], 0x001F);
    back->UnlockRect();
}

TEST_P(GfxDevice, ResetMovesToAnotherWindowAndTakesItsSize) {
    Create();
    gfxtest::TestWindow window(40, 30);
    ASSERT_NE(window.handle, nullptr);
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(0, 0); // the size comes from the window
    p.hDeviceWindow = window.handle;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 40u);
    EXPECT_EQ(p.BackBufferHeight, 30u);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const std::uint32_t*>(lr.pBits)[39] & 0xFFFFFFu, 0x00FF00u);
    back->UnlockRect();
    back.reset();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // The device lets go of the window before it is destroyed.
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
}

// The renderer builds its texture tables from the display format, so every
// texture it may ask for must be made whatever back buffer the device shows.
TEST_P(GfxDevice, TexturesMadeOnEveryBackBufferFormat) {
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    gfxtest::TestWindow window(64, 64);
    ASSERT_NE(window.handle, nullptr);
    for (const D3DFORMAT back : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
        for (const bool windowed : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "back buffer " << back << (windowed ? " windowed" : " full screen"));
            D3DPRESENT_PARAMETERS p = windowed ? gfxtest::Windowed(64, 48, back)
                                               : gfxtest::Windowed(desktop.Width, desktop.Height, back);
            p.Windowed = windowed ? 1 : 0;
            Ref<IDirect3DDevice9> dev;
            ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                        &dev),
                      D3D_OK);
            D3DDISPLAYMODE mode;
            ASSERT_EQ(dev->GetDisplayMode(0, &mode), D3D_OK);
            EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8); // the display's format, not the back buffer's
            for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                                           D3DFMT_A4R4G4B4, D3DFMT_DXT1, D3DFMT_DXT5}) {
                SCOPED_TRACE(::testing::Message() << "texture " << format);
                Ref<IDirect3DTexture9> texture;
                EXPECT_EQ(dev->CreateTexture(16, 16, 0, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
                Ref<IDirect3DCubeTexture9> cube;
                EXPECT_EQ(dev->CreateCubeTexture(8, 1, 0, format, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
            }
            Ref<IDirect3DTexture9> target;
            EXPECT_EQ(dev->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                         nullptr),
                      D3D_OK);
            Ref<IDirect3DTexture9> bump;
            EXPECT_EQ(dev->CreateTexture(16, 16, 1, 0, D3DFMT_Q8W8V8U8, D3DPOOL_MANAGED, &bump, nullptr),
                      D3DERR_INVALIDCALL);
        }
    }
}

namespace {
struct RhwVertex {
    float x, y, z, rhw;
    std::uint32_t color;
};
constexpr std::uint32_t kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// What the device let through: the recorded draws on null, painted pixels on gl.
std::size_t DrawsRecorded(IDirect3DDevice9* device) {
    return std::size_t(std::count_if(device->RecordedCalls().begin(), device->RecordedCalls().end(),
                                     [](const RecordedCall& c) { return c.kind != RecordedCall::Kind::Clear; }));
}
std::uint32_t PixelAt(IDirect3DDevice9* device, int x, int y) {
    Ref<IDirect3DSurface9> back;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    if (back->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return 0;
    const std::uint32_t p =
        reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
    back->UnlockRect();
    return p & 0xFFFFFFu;
}
} // namespace

// Whatever the caller binds, no draw reaches the driver with an index or a
// stride that would read outside the vertices the buffers hold.
TEST_P(GfxDevice, DrawsCheckedAgainstTheBoundBuffers) {
    Create();
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
    const RhwVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFF0000u}, {8, 0, 0.5f, 1, 0xFFFF0000u},
                               {0, 8, 0.5f, 1, 0xFFFF0000u}, {8, 8, 0.5f, 1, 0xFFFF0000u}};
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof quad, 0, kRhwFvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, quad, sizeof quad);
    vb->Unlock();
    // Two triangles, then one reaching vertex 4, one past the four the buffer holds.
    const std::uint16_t indices[9] = {0, 1, 2, 2, 1, 3, 0, 1, 4};
    Ref<IDirect3DIndexBuffer9> ib;
    ASSERT_EQ(device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device->SetFVF(kRhwFvf);
    device->SetIndices(ib.get());
    device->SetStreamSource(0, vb.get(), 0, sizeof(RhwVertex));
    device->ClearRecordedCalls();

    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 6, 1), D3DERR_INVALIDCALL); // index 4
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL); // 3 + 1
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 1), D3DERR_INVALIDCALL); // base past the end
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 1), D3DERR_INVALIDCALL); // 0 - 1
    // A stream offset leaves fewer vertices behind it.
    device->SetStreamSource(0, vb.get(), sizeof(RhwVertex), sizeof(RhwVertex));
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), D3DERR_INVALIDCALL);
    // A stride shorter than the format's 20 bytes runs each vertex into the next.
    device->SetStreamSource(0, vb.get(), 0, 16);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad, 16), D3DERR_INVALIDCALL);
    // A declaration's size is where its furthest element ends.
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    Ref<IDirect3DVertexDeclaration9> decl;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    device->SetVertexDeclaration(decl.get());
    device->SetStreamSource(0, vb.get(), 0, 16);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    // User indices stay below the vertices taken from the caller (minIndex + numVertices).
    device->SetFVF(kRhwFvf);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, indices + 6, D3DFMT_INDEX16, quad,
                                             sizeof(RhwVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 2, 1, indices, D3DFMT_INDEX16, quad,
                                             sizeof(RhwVertex)),
              D3DERR_INVALIDCALL);
    // Nothing reached the back end.
    EXPECT_EQ(DrawsRecorded(device), 0u);
    EXPECT_EQ(PixelAt(device, 2, 2), 0u);

    // The same buffers within their bounds draw.
    device->SetIndices(ib.get());
    device->SetStreamSource(0, vb.get(), 0, sizeof(RhwVertex));
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 1, 3, 3, 1), D3D_OK); // 2-1, 1-1, 3-1
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, quad,
                                             sizeof(RhwVertex)),
              D3D_OK);
    if (GetParam() == BackendKind::Null) {
        EXPECT_EQ(DrawsRecorded(device), 3u);
    } else {
        EXPECT_EQ(PixelAt(device, 2, 2), 0xFF0000u);
    }
    // The same range drawn again after its indices were written anew is read anew.
    device->SetIndices(ib.get()); // the user-pointer draw above unset them
    device->SetStreamSource(0, vb.get(), 0, sizeof(RhwVertex));
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    const std::uint16_t beyond = 9;
    ASSERT_EQ(ib->Lock(2, 2, &data, 0), D3D_OK);
    std::memcpy(data, &beyond, 2);
    ib->Unlock();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(ib->Lock(2, 2, &data, 0), D3D_OK);
    std::memcpy(data, &indices[1], 2);
    ib->Unlock();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
}

// Caller bugs the device cannot answer with an error stop a debug build at once.
class GfxDeviceDeathTest : public BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxDeviceDeathTest, ::testing::Values(BackendKind::Null), gfxtest::BackendParamName);

TEST_P(GfxDeviceDeathTest, InvariantsOfTheCallersAreAsserted) {
#ifdef NDEBUG
    // An optimised build has no asserts: the calls below would be the real
    // double release and out-of-range reads they stand for.
    GTEST_SKIP() << "asserts are compiled out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Create();
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(back->Release(), 0u);
    EXPECT_DEATH(back->Release(), "released more often than taken");

    Ref<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    EXPECT_NE(texture->Level(1), nullptr);
    EXPECT_DEATH((void)texture->Level(2), "texture level out of range");
    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    EXPECT_NE(cube->Face(5, 0), nullptr);
    EXPECT_DEATH((void)cube->Face(6, 0), "cube face or level out of range");
    EXPECT_DEATH((void)cube->Face(0, 1), "cube face or level out of range");
}
