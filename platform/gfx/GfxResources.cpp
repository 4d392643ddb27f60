#include "platform/gfx/Gfx.h"

#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxShaderTranslator.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace gfx {

// ---- Unknown -----------------------------------------------------------------
std::uint32_t Unknown::AddRef() { return ++m_refs; }

std::uint32_t Unknown::Release() {
    const std::uint32_t left = --m_refs;
    if (left == 0) delete this;
    return left;
}

// ---- resources -----------------------------------------------------------------
IDirect3DResource9::IDirect3DResource9(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool,
                                       std::uint32_t usage)
    : m_device(device), m_type(type), m_pool(pool), m_usage(usage) {}

IDirect3DResource9::~IDirect3DResource9() {
    if (m_device) m_device->ResourceDestroyed(this);
}

HRESULT IDirect3DResource9::GetDevice(IDirect3DDevice9** device) {
    if (!device || !m_device) return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *device = m_device;
    return D3D_OK;
}

std::uint32_t IDirect3DResource9::SetPriority(std::uint32_t priority) {
    const std::uint32_t old = m_priority;
    if (m_pool == D3DPOOL_MANAGED) m_priority = priority;
    return old;
}

DeviceChild::DeviceChild(IDirect3DDevice9* device) : m_device(device) {
    if (m_device) m_device->ChildCreated(this);
}
DeviceChild::~DeviceChild() {
    if (m_device) m_device->ChildDestroyed(this);
}
HRESULT DeviceChild::GetDevice(IDirect3DDevice9** device) {
    if (!device || !m_device) return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *device = m_device;
    return D3D_OK;
}

// ---- surfaces --------------------------------------------------------------------
IDirect3DSurface9::IDirect3DSurface9(IDirect3DDevice9* device, Unknown* container, std::uint32_t width,
                                     std::uint32_t height, D3DFORMAT format, std::uint32_t usage,
                                     std::uint32_t pool, bool lockable, bool implicit, bool zeroed)
    : IDirect3DResource9(device, D3DRTYPE_SURFACE, pool, usage), m_container(container), m_width(width),
      m_height(height), m_format(format), m_lockable(lockable), m_implicit(implicit),
      m_bytes(device ? device->TakeSurfaceBytes(FormatLevelSize(format, width, height), zeroed)
              : zeroed ? std::make_unique<std::uint8_t[]>(FormatLevelSize(format, width, height))
                       : std::make_unique_for_overwrite<std::uint8_t[]>(FormatLevelSize(format, width, height))) {
    // The device owns implicit surfaces; their count is the users' references only.
    if (m_implicit) m_refs = 0;
}

IDirect3DSurface9::~IDirect3DSurface9() {
    if (m_device) m_device->GiveBackSurfaceBytes(std::move(m_bytes), FormatLevelSize(m_format, m_width, m_height));
}

std::uint32_t IDirect3DSurface9::AddRef() {
    if (m_container) return m_container->AddRef();
    return ++m_refs;
}

std::uint32_t IDirect3DSurface9::Release() {
    if (m_container) return m_container->Release();
    if (m_implicit) {
        // The device owns the surface: a release without its reference is the caller's bug.
        assert(m_refs > 0 && "back buffer or depth surface released more often than taken");
        return m_refs > 0 ? --m_refs : 0;
    }
    return Unknown::Release();
}

std::uint32_t IDirect3DSurface9::RefCount() const { return m_container ? m_container->RefCount() : m_refs; }

std::uint32_t IDirect3DSurface9::Pitch() const { return FormatPitch(m_format, m_width); }

HRESULT IDirect3DSurface9::GetDesc(D3DSURFACE_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = m_format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = m_usage;
    desc->Pool = m_pool;
    desc->MultiSampleType = m_multiSample;
    desc->MultiSampleQuality = m_multiSampleQuality;
    desc->Width = m_width;
    desc->Height = m_height;
    return D3D_OK;
}

HRESULT IDirect3DSurface9::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, std::uint32_t flags) {
    if (!locked || m_locked || !m_lockable) return D3DERR_INVALIDCALL;
    std::uint32_t left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > std::int32_t(m_width) ||
            rect->bottom > std::int32_t(m_height) || rect->left >= rect->right || rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        left = std::uint32_t(rect->left);
        top = std::uint32_t(rect->top);
        if (IsCompressedFormat(m_format) && ((left % 4) != 0 || (top % 4) != 0)) return D3DERR_INVALIDCALL;
    }
    // A read-only lock reads back only what it covers; a writing one reads
    // everything, as its unlock writes the whole surface back.
    if (IsTarget() && m_device && !(flags & D3DLOCK_DISCARD))
        m_device->GetBackend()->ReadSurface(*this, (flags & D3DLOCK_READONLY) ? rect : nullptr);
    const std::uint32_t pitch = Pitch();
    std::size_t offset = 0;
    if (IsCompressedFormat(m_format)) {
        offset = std::size_t(top / 4) * pitch + (left / 4) * (m_format == D3DFMT_DXT1 ? 8 : 16);
    } else {
        offset = std::size_t(top) * pitch + left * (FormatBitsPerPixel(m_format) / 8);
    }
    locked->Pitch = std::int32_t(pitch);
    locked->pBits = m_bytes.get() + offset;
    m_locked = true;
    m_lockFlags = flags;
    return D3D_OK;
}

HRESULT IDirect3DSurface9::UnlockRect() {
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    if (!(m_lockFlags & D3DLOCK_READONLY)) {
        if (IsTarget() && m_device) m_device->GetBackend()->WriteSurface(*this);
        if (m_container) static_cast<IDirect3DBaseTexture9*>(m_container)->Touch();
    }
    return D3D_OK;
}

// ---- textures -------------------------------------------------------------------
IDirect3DBaseTexture9::IDirect3DBaseTexture9(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool,
                                             std::uint32_t usage, D3DFORMAT format, std::uint32_t levels)
    : IDirect3DResource9(device, type, pool, usage), m_format(format), m_levels(levels) {}

std::uint32_t IDirect3DBaseTexture9::SetLOD(std::uint32_t lod) {
    const std::uint32_t old = m_lod;
    if (m_pool == D3DPOOL_MANAGED) m_lod = std::min(lod, m_levels - 1);
    return old;
}

namespace {
// Level surfaces of a default-pool texture can be locked only when it is dynamic.
bool LevelsLockable(std::uint32_t pool, std::uint32_t usage) {
    if (usage & D3DUSAGE_RENDERTARGET) return false;
    return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
}
} // namespace

void IDirect3DTexture9::SurfaceDeleter::operator()(IDirect3DSurface9* s) const { delete s; }
void IDirect3DCubeTexture9::SurfaceDeleter::operator()(IDirect3DSurface9* s) const { delete s; }

IDirect3DTexture9::IDirect3DTexture9(IDirect3DDevice9* device, std::uint32_t width, std::uint32_t height,
                                     std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                                     std::uint32_t pool, bool zeroed)
    : IDirect3DBaseTexture9(device, D3DRTYPE_TEXTURE, pool, usage, format, levels) {
    for (std::uint32_t i = 0; i < levels; ++i) {
        const std::uint32_t w = std::max(1u, width >> i), h = std::max(1u, height >> i);
        m_surfaces.emplace_back(new IDirect3DSurface9(device, this, w, h, format, usage, pool,
                                                      LevelsLockable(pool, usage), false, zeroed));
        if (device) device->ResourceCreated(m_surfaces.back().get());
    }
}

IDirect3DTexture9::~IDirect3DTexture9() = default;

HRESULT IDirect3DTexture9::GetLevelDesc(std::uint32_t level, D3DSURFACE_DESC* desc) const {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_surfaces[level]->GetDesc(desc);
}

HRESULT IDirect3DTexture9::GetSurfaceLevel(std::uint32_t level, IDirect3DSurface9** surface) {
    if (!surface || level >= m_levels) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = m_surfaces[level].get();
    return D3D_OK;
}

HRESULT IDirect3DTexture9::LockRect(std::uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect,
                                    std::uint32_t flags) {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_surfaces[level]->LockRect(locked, rect, flags);
}

HRESULT IDirect3DTexture9::UnlockRect(std::uint32_t level) {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return m_surfaces[level]->UnlockRect();
}

IDirect3DCubeTexture9::IDirect3DCubeTexture9(IDirect3DDevice9* device, std::uint32_t edge, std::uint32_t levels,
                                             std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                             bool zeroed)
    : IDirect3DBaseTexture9(device, D3DRTYPE_CUBETEXTURE, pool, usage, format, levels) {
    for (std::uint32_t face = 0; face < 6; ++face) {
        for (std::uint32_t i = 0; i < levels; ++i) {
            const std::uint32_t e = std::max(1u, edge >> i);
            m_surfaces.emplace_back(new IDirect3DSurface9(device, this, e, e, format, usage, pool,
                                                          LevelsLockable(pool, usage), false, zeroed));
            if (device) device->ResourceCreated(m_surfaces.back().get());
        }
    }
}

IDirect3DCubeTexture9::~IDirect3DCubeTexture9() = default;

HRESULT IDirect3DCubeTexture9::GetLevelDesc(std::uint32_t level, D3DSURFACE_DESC* desc) const {
    if (level >= m_levels) return D3DERR_INVALIDCALL;
    return Face(0, level)->GetDesc(desc);
}

HRESULT IDirect3DCubeTexture9::GetCubeMapSurface(std::uint32_t face, std::uint32_t level,
                                                 IDirect3DSurface9** surface) {
    if (!surface || face >= 6 || level >= m_levels) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = Face(face, level);
    return D3D_OK;
}

HRESULT IDirect3DCubeTexture9::LockRect(std::uint32_t face, std::uint32_t level, D3DLOCKED_RECT* locked,
                                        const RECT* rect, std::uint32_t flags) {
    if (face >= 6 || level >= m_levels) return D3DERR_INVALIDCALL;
    return Face(face, level)->LockRect(locked, rect, flags);
}

HRESULT IDirect3DCubeTexture9::UnlockRect(std::uint32_t face, std::uint32_t level) {
    if (face >= 6 || level >= m_levels) return D3DERR_INVALIDCALL;
    return Face(face, level)->UnlockRect();
}

// ---- buffers ----------------------------------------------------------------------
BufferResource::BufferResource(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool,
                               std::uint32_t usage, std::uint32_t size)
    : IDirect3DResource9(device, type, pool, usage), dirtyEnd(size), m_bytes(size, 0) {}

namespace {
bool gs_strict = false;
std::uint32_t gs_violations = 0;

void StrictViolation(const char* what, std::uint32_t begin, std::uint32_t end) {
    if (!gs_strict) return;
    ++gs_violations;
    std::fprintf(stderr, "gfx strict: %s (bytes %u to %u)\n", what, begin, end);
}

using Ranges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Kept sorted and merged: buffers see few distinct ranges between DISCARDs.
void AddRange(Ranges& ranges, std::uint32_t begin, std::uint32_t end) {
    if (begin >= end) return;
    auto it = std::lower_bound(ranges.begin(), ranges.end(), std::make_pair(begin, 0u));
    if (it != ranges.begin() && std::prev(it)->second >= begin) --it;
    auto last = it;
    while (last != ranges.end() && last->first <= end) {
        begin = std::min(begin, last->first);
        end = std::max(end, last->second);
        ++last;
    }
    it = ranges.erase(it, last);
    ranges.insert(it, {begin, end});
}

bool Covers(const Ranges& ranges, std::uint32_t begin, std::uint32_t end) {
    for (const auto& r : ranges)
        if (r.first <= begin && end <= r.second) return true;
    return begin >= end;
}

bool Overlaps(const Ranges& ranges, std::uint32_t begin, std::uint32_t end) {
    for (const auto& r : ranges)
        if (r.first < end && begin < r.second) return true;
    return false;
}
} // namespace

void SetStrictBufferChecks(bool on) { gs_strict = on; }
bool StrictBufferChecks() { return gs_strict; }
std::uint32_t StrictBufferViolations() { return gs_violations; }
void ResetStrictBufferChecks() {
    gs_strict = false;
    gs_violations = 0;
}

HRESULT BufferResource::LockBytes(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
    if (!data || m_locked) return D3DERR_INVALIDCALL;
    const std::uint32_t total = Size();
    if (offset > total) return D3DERR_INVALIDCALL;
    if (size == 0) size = total - offset;
    if (size > total - offset) return D3DERR_INVALIDCALL;
    const bool dynamic = (m_usage & D3DUSAGE_DYNAMIC) != 0;
    if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) && !dynamic)
        StrictViolation("DISCARD or NOOVERWRITE lock on a buffer that is not DYNAMIC", offset, offset + size);
    if ((flags & D3DLOCK_DISCARD) && dynamic) {
        // A renamed buffer: the old bytes may still be drawn from, the caller gets fresh ones.
        std::memset(m_bytes.data(), gs_strict ? 0xCD : 0x00, total);
        m_written.clear();
        m_read.clear();
        renamed = true;
        dirtyBegin = dirtyEnd = 0;
    } else if ((flags & D3DLOCK_NOOVERWRITE) && Overlaps(m_read, offset, offset + size)) {
        StrictViolation("NOOVERWRITE lock over bytes a draw read since the last DISCARD", offset, offset + size);
    }
    m_locked = true;
    m_lockOffset = offset;
    m_lockSize = size;
    m_lockFlags = flags;
    *data = m_bytes.data() + offset;
    return D3D_OK;
}

HRESULT BufferResource::UnlockBytes() {
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    if (!(m_lockFlags & D3DLOCK_READONLY) && m_lockSize > 0) {
        if (dirtyBegin >= dirtyEnd) {
            dirtyBegin = m_lockOffset;
            dirtyEnd = m_lockOffset + m_lockSize;
        } else {
            dirtyBegin = std::min(dirtyBegin, m_lockOffset);
            dirtyEnd = std::max(dirtyEnd, m_lockOffset + m_lockSize);
        }
        AddRange(m_written, m_lockOffset, m_lockOffset + m_lockSize);
        ++m_contentVersion;
    }
    return D3D_OK;
}

void BufferResource::NoteDrawRead(std::uint32_t begin, std::uint32_t end) {
    // The read ranges serve the strict checks only; every draw would pay for them.
    if (!gs_strict) return;
    end = std::min(end, Size());
    if (begin >= end) return;
    if (!Covers(m_written, begin, end))
        StrictViolation("a draw reads bytes not written since the last DISCARD", begin, end);
    AddRange(m_read, begin, end);
}

HRESULT IDirect3DVertexBuffer9::GetDesc(D3DVERTEXBUFFER_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = D3DFMT_VERTEXDATA;
    desc->Type = D3DRTYPE_VERTEXBUFFER;
    desc->Usage = m_usage;
    desc->Pool = m_pool;
    desc->Size = Size();
    desc->FVF = m_fvf;
    return D3D_OK;
}

HRESULT IDirect3DIndexBuffer9::GetDesc(D3DINDEXBUFFER_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = m_format;
    desc->Type = D3DRTYPE_INDEXBUFFER;
    desc->Usage = m_usage;
    desc->Pool = m_pool;
    desc->Size = Size();
    return D3D_OK;
}

// ---- declarations and shaders ---------------------------------------------------------
IDirect3DVertexDeclaration9::IDirect3DVertexDeclaration9(IDirect3DDevice9* device,
                                                         std::vector<D3DVERTEXELEMENT9> elements)
    : DeviceChild(device), m_elements(std::move(elements)) {
    VertexLayout l = LayoutFromDeclaration(m_elements);
    l.valid = l.position >= 0;
    m_layout = std::make_unique<const VertexLayout>(l);
    l.valid = l.elementCount > 0;
    m_programLayout = std::make_unique<const VertexLayout>(l);
}

IDirect3DVertexDeclaration9::~IDirect3DVertexDeclaration9() = default;

HRESULT IDirect3DVertexDeclaration9::GetDeclaration(D3DVERTEXELEMENT9* elements, std::uint32_t* count) const {
    if (!count) return D3DERR_INVALIDCALL;
    const std::uint32_t needed = static_cast<std::uint32_t>(m_elements.size()) + 1;
    if (elements) {
        std::copy(m_elements.begin(), m_elements.end(), elements);
        elements[m_elements.size()] = D3DDECL_END();
    }
    *count = needed;
    return D3D_OK;
}

ShaderObject::ShaderObject(IDirect3DDevice9* device, std::vector<std::uint32_t> tokens,
                           std::shared_ptr<const TranslatedShader> translation)
    : DeviceChild(device), m_tokens(std::move(tokens)), m_translation(std::move(translation)) {
    static std::atomic<std::uint32_t> next{0};
    m_programId = ++next;
}

HRESULT ShaderObject::GetFunction(void* data, std::uint32_t* size) const {
    if (!size) return D3DERR_INVALIDCALL;
    const std::uint32_t bytes = static_cast<std::uint32_t>(m_tokens.size() * 4);
    if (data) {
        if (*size < bytes) return D3DERR_INVALIDCALL;
        std::memcpy(data, m_tokens.data(), bytes);
    }
    *size = bytes;
    return D3D_OK;
}

} // namespace gfx
