#include "platform/gfx/Gfx.h"

#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <bit>

namespace gfx {

// ---- volumes ---------------------------------------------------------------------
IDirect3DVolume9::IDirect3DVolume9(IDirect3DBaseTexture9* container, std::uint32_t width, std::uint32_t height,
                                   std::uint32_t depth, D3DFORMAT format, bool lockable, bool zeroed)
    : m_container(container), m_width(width), m_height(height), m_depth(depth), m_format(format),
      m_lockable(lockable) {
    const std::size_t size = std::size_t(SlicePitch()) * depth;
    m_bytes = zeroed ? std::make_unique<std::uint8_t[]>(size) : std::make_unique_for_overwrite<std::uint8_t[]>(size);
}

std::uint32_t IDirect3DVolume9::AddRef() { return m_container->AddRef(); }
std::uint32_t IDirect3DVolume9::Release() { return m_container->Release(); }
std::uint32_t IDirect3DVolume9::RefCount() const { return m_container->RefCount(); }

std::uint32_t IDirect3DVolume9::RowPitch() const { return FormatPitch(m_format, m_width); }
std::uint32_t IDirect3DVolume9::SlicePitch() const { return RowPitch() * FormatRows(m_format, m_height); }

HRESULT IDirect3DVolume9::GetDesc(D3DVOLUME_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = m_format;
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = m_container->Usage();
    desc->Pool = m_container->Pool();
    desc->Width = m_width;
    desc->Height = m_height;
    desc->Depth = m_depth;
    return D3D_OK;
}

HRESULT IDirect3DVolume9::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, std::uint32_t flags) {
    if (!locked || m_locked || !m_lockable) return D3DERR_INVALIDCALL;
    std::uint32_t left = 0, top = 0, front = 0;
    if (box) {
        if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back || box->Right > m_width ||
            box->Bottom > m_height || box->Back > m_depth)
            return D3DERR_INVALIDCALL;
        left = box->Left;
        top = box->Top;
        front = box->Front;
        if (IsCompressedFormat(m_format) && ((left % 4) != 0 || (top % 4) != 0)) return D3DERR_INVALIDCALL;
    }
    std::size_t offset = std::size_t(front) * SlicePitch();
    if (IsCompressedFormat(m_format))
        offset += std::size_t(top / 4) * RowPitch() + (left / 4) * (m_format == D3DFMT_DXT1 ? 8u : 16u);
    else
        offset += std::size_t(top) * RowPitch() + left * (FormatBitsPerPixel(m_format) / 8);
    locked->RowPitch = std::int32_t(RowPitch());
    locked->SlicePitch = std::int32_t(SlicePitch());
    locked->pBits = m_bytes.get() + offset;
    m_locked = true;
    m_lockFlags = flags;
    return D3D_OK;
}

HRESULT IDirect3DVolume9::UnlockBox() {
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    if (!(m_lockFlags & D3DLOCK_READONLY)) m_container->Touch();
    return D3D_OK;
}

// ---- volume textures ----------------------------------------------------------------
void IDirect3DVolumeTexture9::VolumeDeleter::operator()(IDirect3DVolume9* v) const { delete v; }

IDirect3DVolumeTexture9::IDirect3DVolumeTexture9(IDirect3DDevice9* device, std::uint32_t width, std::uint32_t height,
                                                 std::uint32_t depth, std::uint32_t levels, std::uint32_t usage,
                                                 D3DFORMAT format, std::uint32_t pool, bool zeroed)
    : IDirect3DBaseTexture9(device, D3DRTYPE_VOLUMETEXTURE, pool, usage, format, levels) {
    // As for plain textures: a default-pool level is locked only when dynamic.
    const bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
    for (std::uint32_t i = 0; i < levels; ++i)
        m_volumes.emplace_back(new IDirect3DVolume9(this, std::max(1u, width >> i), std::max(1u, height >> i),
                                                    std::max(1u, depth >> i), format, lockable, zeroed));
}

IDirect3DVolumeTexture9::~IDirect3DVolumeTexture9() = default;

HRESULT IDirect3DVolumeTexture9::GetLevelDesc(std::uint32_t level, D3DVOLUME_DESC* desc) const {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_volumes[level]->GetDesc(desc);
}

HRESULT IDirect3DVolumeTexture9::GetVolumeLevel(std::uint32_t level, IDirect3DVolume9** volume) {
    if (!volume || level >= m_levels) return D3DERR_INVALIDCALL;
    AddRef();
    *volume = m_volumes[level].get();
    return D3D_OK;
}

HRESULT IDirect3DVolumeTexture9::LockBox(std::uint32_t level, D3DLOCKED_BOX* locked, const D3DBOX* box,
                                         std::uint32_t flags) {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_volumes[level]->LockBox(locked, box, flags);
}

HRESULT IDirect3DVolumeTexture9::UnlockBox(std::uint32_t level) {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_volumes[level]->UnlockBox();
}

// ---- creation ------------------------------------------------------------------------
HRESULT IDirect3DDevice9::CreateVolumeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                                              std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                                              std::uint32_t pool, IDirect3DVolumeTexture9** texture, void*) {
    return MakeVolumeTexture(width, height, depth, levels, usage, format, pool, texture, true);
}

HRESULT IDirect3DDevice9::CreateVolumeTextureToFill(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                                                    std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                                                    std::uint32_t pool, IDirect3DVolumeTexture9** texture) {
    return MakeVolumeTexture(width, height, depth, levels, usage, format, pool, texture, false);
}

HRESULT IDirect3DDevice9::MakeVolumeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                                            std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                                            std::uint32_t pool, IDirect3DVolumeTexture9** texture, bool zeroed) {
    if (!texture || width == 0 || height == 0 || depth == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // Volumes are sampled, never drawn into.
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const D3DCAPS9 caps = DeviceCaps(m_creation.AdapterOrdinal);
    if (pool != D3DPOOL_SCRATCH) {
        if (width > caps.MaxVolumeExtent || height > caps.MaxVolumeExtent || depth > caps.MaxVolumeExtent)
            return D3DERR_INVALIDCALL;
        if (FAILED(m_d3d->CheckDeviceFormat(m_creation.AdapterOrdinal, D3DDEVTYPE_HAL, DisplayFormat(), 0,
                                            D3DRTYPE_VOLUMETEXTURE, format)))
            return D3DERR_INVALIDCALL;
    } else if (!IsTextureFormat(format)) {
        return D3DERR_INVALIDCALL;
    }
    const std::uint32_t chain = std::bit_width(std::max({width, height, depth}));
    if (levels == 0) levels = chain;
    if (levels > chain) return D3DERR_INVALIDCALL;
    auto* t = new IDirect3DVolumeTexture9(this, width, height, depth, levels, usage, format, pool, zeroed);
    ResourceCreated(t);
    *texture = t;
    return D3D_OK;
}

} // namespace gfx
