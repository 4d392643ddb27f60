#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"

#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxShaderTranslator.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace gfx {
namespace {

constexpr std::uint32_t F(float v) { return std::bit_cast<std::uint32_t>(v); }

// The published default of every render state that has one (all others start at 0).
// ZENABLE is set apart: TRUE with an automatic depth surface, else FALSE.
struct StateDefault {
    std::uint32_t state, value;
};
constexpr StateDefault kRenderStateDefaults[] = {
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_ZWRITEENABLE, 1},
    {D3DRS_ALPHATESTENABLE, 0},
    {D3DRS_LASTPIXEL, 1},
    {D3DRS_SRCBLEND, D3DBLEND_ONE},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
    {D3DRS_FOGSTART, F(0.0f)},
    {D3DRS_FOGEND, F(1.0f)},
    {D3DRS_FOGDENSITY, F(1.0f)},
    {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
    {D3DRS_STENCILMASK, 0xFFFFFFFFu},
    {D3DRS_STENCILWRITEMASK, 0xFFFFFFFFu},
    {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
    {D3DRS_CLIPPING, 1},
    {D3DRS_LIGHTING, 1},
    {D3DRS_COLORVERTEX, 1},
    {D3DRS_LOCALVIEWER, 1},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
    {D3DRS_POINTSIZE, F(1.0f)},
    {D3DRS_POINTSIZE_MIN, F(1.0f)},
    {D3DRS_POINTSCALE_A, F(1.0f)},
    {D3DRS_POINTSCALE_B, F(0.0f)},
    {D3DRS_POINTSCALE_C, F(0.0f)},
    {D3DRS_MULTISAMPLEANTIALIAS, 1},
    {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFFu},
    {D3DRS_POINTSIZE_MAX, F(64.0f)},
    {D3DRS_COLORWRITEENABLE, 0xF},
    {D3DRS_TWEENFACTOR, F(0.0f)},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC},
    {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR},
    {D3DRS_SLOPESCALEDEPTHBIAS, F(0.0f)},
    {D3DRS_MINTESSELLATIONLEVEL, F(1.0f)},
    {D3DRS_MAXTESSELLATIONLEVEL, F(1.0f)},
    {D3DRS_ADAPTIVETESS_X, F(0.0f)},
    {D3DRS_ADAPTIVETESS_Y, F(0.0f)},
    {D3DRS_ADAPTIVETESS_Z, F(1.0f)},
    {D3DRS_ADAPTIVETESS_W, F(0.0f)},
    {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP},
    {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS},
    {D3DRS_COLORWRITEENABLE1, 0xF},
    {D3DRS_COLORWRITEENABLE2, 0xF},
    {D3DRS_COLORWRITEENABLE3, 0xF},
    {D3DRS_BLENDFACTOR, 0xFFFFFFFFu},
    {D3DRS_DEPTHBIAS, F(0.0f)},
    {D3DRS_SRCBLENDALPHA, D3DBLEND_ONE},
    {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
    {D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD},
};

D3DMATRIX Identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

D3DMATRIX* TransformSlot(DeviceState& s, std::uint32_t state) {
    if (state == D3DTS_VIEW) return &s.view;
    if (state == D3DTS_PROJECTION) return &s.projection;
    if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + 8) return &s.texture[state - D3DTS_TEXTURE0];
    if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) return &s.world[state - D3DTS_WORLD];
    return nullptr;
}

// World matrices change with nearly every draw and leave the state serial.
void NoteTransform(DeviceState& s, std::uint32_t state, const D3DMATRIX& before, const D3DMATRIX& after) {
    if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 256) {
        s.worldCount = std::max(s.worldCount, state - D3DTS_WORLD + 1);
        return;
    }
    if (std::memcmp(&before, &after, sizeof(D3DMATRIX)) != 0) ++s.serial;
}

// Bindings hold one reference; the device's own implicit surfaces are held by the device.
void Hold(IDirect3DSurface9* s) {
    if (s && !s->IsImplicit()) s->AddRef();
}
void Drop(IDirect3DSurface9* s) {
    if (s && !s->IsImplicit()) s->Release();
}
template <class T> void Hold(T* p) {
    if (p) p->AddRef();
}
template <class T> void Drop(T* p) {
    if (p) p->Release();
}
template <class T> void Rebind(T*& slot, T* value) {
    Hold(value);
    Drop(slot);
    slot = value;
}

RECT Intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}
bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

} // namespace

// ---- device ----------------------------------------------------------------------------
IDirect3DDevice9::IDirect3DDevice9(IDirect3D9* d3d, std::unique_ptr<Backend> backend, std::uint32_t adapter,
                                   std::uint32_t deviceType, WindowHandle focus, std::uint32_t behavior)
    : m_d3d(d3d), m_backend(std::move(backend)) {
    m_d3d->AddRef();
    m_creation.AdapterOrdinal = adapter;
    m_creation.DeviceType = deviceType;
    m_creation.hFocusWindow = focus;
    m_creation.BehaviorFlags = behavior;
    m_state.softwareVertexProcessing = (behavior & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    m_recording = std::strcmp(m_backend->Name(), "null") == 0;
}

IDirect3DDevice9::~IDirect3DDevice9() {
    ReleaseBindings();
    DestroyImplicitSurfaces();
    // Resources the caller still holds outlive the device: they keep their bytes but lose it.
    for (IDirect3DResource9* r : m_resources) {
        m_backend->ResourceDestroyed(*r);
        r->m_device = nullptr;
    }
    m_resources.clear();
    for (Unknown* c : m_children) static_cast<DeviceChild*>(c)->m_device = nullptr;
    m_children.clear();
    m_backend.reset();
    m_d3d->Release();
}

std::uint32_t IDirect3DDevice9::Release() { return Unknown::Release(); }

HRESULT IDirect3DDevice9::Open(const D3DPRESENT_PARAMETERS& params) {
    m_params = params;
    const HRESULT hr = m_backend->Open(params, m_creation.hFocusWindow);
    if (FAILED(hr)) return hr;
    m_caps = DeviceCaps(m_creation.AdapterOrdinal);
    m_backend->DriverCaps(m_caps);
    CreateImplicitSurfaces();
    SetDefaultStates();
    return D3D_OK;
}

void IDirect3DDevice9::CreateImplicitSurfaces() {
    const bool lockable = (m_params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    for (std::uint32_t i = 0; i < std::max(1u, m_params.BackBufferCount); ++i) {
        auto* s = new IDirect3DSurface9(this, nullptr, m_params.BackBufferWidth, m_params.BackBufferHeight,
                                        m_params.BackBufferFormat, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                                        lockable, true);
        s->m_multiSample = m_params.MultiSampleType;
        s->m_multiSampleQuality = m_params.MultiSampleQuality;
        ResourceCreated(s);
        m_backBuffers.push_back(s);
    }
    if (m_params.EnableAutoDepthStencil) {
        m_autoDepth = new IDirect3DSurface9(this, nullptr, m_params.BackBufferWidth, m_params.BackBufferHeight,
                                            m_params.AutoDepthStencilFormat, D3DUSAGE_DEPTHSTENCIL,
                                            D3DPOOL_DEFAULT, false, true);
        m_autoDepth->m_multiSample = m_params.MultiSampleType;
        m_autoDepth->m_multiSampleQuality = m_params.MultiSampleQuality;
        ResourceCreated(m_autoDepth);
    }
}

void IDirect3DDevice9::DestroyImplicitSurfaces() {
    for (IDirect3DSurface9* s : m_backBuffers) delete s;
    m_backBuffers.clear();
    delete m_autoDepth;
    m_autoDepth = nullptr;
}

void IDirect3DDevice9::SetDefaultStates() {
    DeviceState& s = m_state;
    ++s.serial;
    s.renderStates.fill(0);
    for (const StateDefault& d : kRenderStateDefaults) s.renderStates[d.state] = d.value;
    s.renderStates[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    for (std::uint32_t stage = 0; stage < DeviceState::kStages; ++stage) {
        auto& t = s.stageStates[stage];
        t.fill(0);
        t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = stage;
        t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& smp : s.samplerStates) {
        smp.fill(0);
        smp[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        smp[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        smp[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        smp[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        smp[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        smp[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        smp[D3DSAMP_MAXANISOTROPY] = 1;
    }
    s.view = s.projection = Identity();
    s.texture.fill(Identity());
    s.world.fill(Identity());
    s.worldCount = 4;
    s.material = D3DMATERIAL9{};
    s.lights.clear();
    s.viewport = D3DVIEWPORT9{0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    s.scissor = RECT{0, 0, std::int32_t(m_params.BackBufferWidth), std::int32_t(m_params.BackBufferHeight)};
    s.fvf = 0;
    std::fill(s.vsConstF.begin(), s.vsConstF.end(), 0.0f);
    std::fill(s.psConstF.begin(), s.psConstF.end(), 0.0f);
    s.vsConstI.fill(0);
    s.psConstI.fill(0);
    s.vsConstB.fill(0);
    s.psConstB.fill(0);
    s.renderTargets[0] = m_backBuffers.empty() ? nullptr : m_backBuffers[0];
    s.depthStencil = m_autoDepth;
}

void IDirect3DDevice9::ReleaseBindings() {
    DeviceState& s = m_state;
    for (auto& st : s.streams) {
        Drop(st.buffer);
        st = DeviceState::Stream{};
    }
    Rebind<IDirect3DIndexBuffer9>(s.indices, nullptr);
    for (auto& t : s.textures) Rebind<IDirect3DBaseTexture9>(t, nullptr);
    Rebind<IDirect3DVertexDeclaration9>(s.declaration, nullptr);
    Rebind<IDirect3DVertexShader9>(s.vertexShader, nullptr);
    Rebind<IDirect3DPixelShader9>(s.pixelShader, nullptr);
    for (auto& rt : s.renderTargets) {
        Drop(rt);
        rt = nullptr;
    }
    Drop(s.depthStencil);
    s.depthStencil = nullptr;
}

void IDirect3DDevice9::ResourceCreated(IDirect3DResource9* r) {
    m_resources.insert(r);
    auto* surface = dynamic_cast<IDirect3DSurface9*>(r);
    const bool counted = !surface || (!surface->Container() && !surface->IsImplicit());
    r->m_countedInPool = counted && r->Pool() == D3DPOOL_DEFAULT;
    if (r->m_countedInPool) ++m_defaultPoolCount;
}

void IDirect3DDevice9::ResourceDestroyed(IDirect3DResource9* r) {
    if (m_resources.erase(r) == 0) {
        assert(false && "a resource the device never made");
        return;
    }
    if (r->m_countedInPool) --m_defaultPoolCount;
    m_backend->ResourceDestroyed(*r);
}

std::size_t IDirect3DDevice9::LiveResources() const {
    return static_cast<std::size_t>(std::count_if(m_resources.begin(), m_resources.end(), [](IDirect3DResource9* r) {
        auto* surface = dynamic_cast<IDirect3DSurface9*>(r);
        return !surface || !surface->IsImplicit();
    }));
}

const char* IDirect3DDevice9::BackendName() const { return m_backend->Name(); }

void IDirect3DDevice9::InjectBackendFault(BackendFault fault) { m_backend->InjectFault(fault); }

void IDirect3DDevice9::Record(const RecordedCall& call) {
    if (m_recording) m_recorded.push_back(call);
}

HRESULT IDirect3DDevice9::RecordState(StateCall::Kind kind, std::uint32_t index, std::uint32_t type,
                                      std::uint32_t value, const void* object, HRESULT result) {
    if (m_recording) m_stateCalls.push_back(StateCall{kind, index, type, value, object, result});
    return result;
}

// ---- loss, reset, present -------------------------------------------------------------------
void IDirect3DDevice9::SimulateDeviceLoss() { m_loss = LossState::Lost; }
void IDirect3DDevice9::EndDeviceLoss() {
    if (m_loss == LossState::Lost) m_loss = LossState::NotReset;
}

HRESULT IDirect3DDevice9::TestCooperativeLevel() const {
    switch (m_loss) {
    case LossState::Lost: return D3DERR_DEVICELOST;
    case LossState::NotReset: return D3DERR_DEVICENOTRESET;
    default: return D3D_OK;
    }
}

std::uint32_t IDirect3DDevice9::GetAvailableTextureMem() const { return 256u << 20; }

HRESULT IDirect3DDevice9::EvictManagedResources() {
    m_spare.clear();
    m_spareTotal = 0;
    return D3D_OK;
}

std::unique_ptr<std::uint8_t[]> IDirect3DDevice9::TakeSurfaceBytes(std::size_t size, bool zeroed) {
    for (auto it = m_spare.rbegin(); it != m_spare.rend(); ++it) {
        if (it->size != size) continue;
        std::unique_ptr<std::uint8_t[]> bytes = std::move(it->bytes);
        m_spareTotal -= size;
        m_spare.erase(std::next(it).base());
        if (zeroed) std::memset(bytes.get(), 0, size);
        return bytes;
    }
    return zeroed ? std::make_unique<std::uint8_t[]>(size) : std::make_unique_for_overwrite<std::uint8_t[]>(size);
}

void IDirect3DDevice9::GiveBackSurfaceBytes(std::unique_ptr<std::uint8_t[]> bytes, std::size_t size) {
    if (!bytes || size < kSpareBytesMinimum || size > kSpareBytesLimit) return;
    while (m_spareTotal + size > kSpareBytesLimit) {
        m_spareTotal -= m_spare.front().size;
        m_spare.erase(m_spare.begin());
    }
    m_spare.push_back({size, std::move(bytes)});
    m_spareTotal += size;
}

HRESULT IDirect3DDevice9::GetDirect3D(IDirect3D9** d3d) {
    if (!d3d) return D3DERR_INVALIDCALL;
    m_d3d->AddRef();
    *d3d = m_d3d;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetDeviceCaps(D3DCAPS9* caps) const {
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = m_caps;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetDisplayMode(std::uint32_t swapChain, D3DDISPLAYMODE* mode) const {
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    if (m_params.Windowed) return m_d3d->GetAdapterDisplayMode(m_creation.AdapterOrdinal, mode);
    *mode = D3DDISPLAYMODE{m_params.BackBufferWidth, m_params.BackBufferHeight,
                           m_params.FullScreen_RefreshRateInHz, DisplayFormat()};
    return D3D_OK;
}

D3DFORMAT IDirect3DDevice9::DisplayFormat() const {
    if (!m_params.Windowed) return DisplayFormatForBackBuffer(m_params.BackBufferFormat);
    D3DDISPLAYMODE desktop{};
    m_d3d->GetAdapterDisplayMode(m_creation.AdapterOrdinal, &desktop);
    return desktop.Format;
}

HRESULT IDirect3DDevice9::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) const {
    if (!params) return D3DERR_INVALIDCALL;
    *params = m_creation;
    return D3D_OK;
}

HRESULT ValidatePresentParameters(const IDirect3D9& d3d, std::uint32_t adapter, WindowHandle focus,
                                  D3DPRESENT_PARAMETERS& params); // GfxDirect3D.cpp

HRESULT IDirect3DDevice9::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    if (m_loss == LossState::Lost) return D3DERR_DEVICELOST;
    // Everything of the default pool, and every reference to the implicit
    // surfaces, must be gone first.
    if (m_defaultPoolCount > 0) return D3DERR_INVALIDCALL;
    for (IDirect3DSurface9* s : m_backBuffers)
        if (s->RefCount() > 0) return D3DERR_INVALIDCALL;
    if (m_autoDepth && m_autoDepth->RefCount() > 0) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS next = *params;
    HRESULT hr = ValidatePresentParameters(*m_d3d, m_creation.AdapterOrdinal, m_creation.hFocusWindow, next);
    *params = next;
    if (FAILED(hr)) return hr;
    ReleaseBindings();
    DestroyImplicitSurfaces();
    hr = m_backend->Resize(next);
    if (FAILED(hr)) {
        // The old back buffer comes back, and the device waits for a Reset that works.
        m_backend->Resize(m_params);
        CreateImplicitSurfaces();
        SetDefaultStates();
        m_loss = LossState::NotReset;
        return hr;
    }
    m_params = next;
    CreateImplicitSurfaces();
    SetDefaultStates();
    m_inScene = false;
    m_loss = LossState::None;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::Present(const RECT*, const RECT*, WindowHandle, const void*) {
    if (Lost()) return D3DERR_DEVICELOST;
    if (m_inScene) return D3DERR_INVALIDCALL;
    RecordedCall call;
    call.kind = RecordedCall::Kind::Present;
    Record(call);
    return m_backend->Present(*this);
}

HRESULT IDirect3DDevice9::GetBackBuffer(std::uint32_t swapChain, std::uint32_t index, std::uint32_t type,
                                       IDirect3DSurface9** surface) {
    if (!surface || swapChain != 0 || type != D3DBACKBUFFER_TYPE_MONO || index >= m_backBuffers.size())
        return D3DERR_INVALIDCALL;
    m_backBuffers[index]->AddRef();
    *surface = m_backBuffers[index];
    return D3D_OK;
}

// ---- resource creation ---------------------------------------------------------------------
HRESULT IDirect3DDevice9::CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                        std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                        IDirect3DTexture9** texture, void*) {
    return MakeTexture(width, height, levels, usage, format, pool, texture, true);
}

HRESULT IDirect3DDevice9::CreateTextureToFill(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                              std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                              IDirect3DTexture9** texture) {
    return MakeTexture(width, height, levels, usage, format, pool, texture, false);
}

HRESULT IDirect3DDevice9::MakeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                      std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                      IDirect3DTexture9** texture, bool zeroed) {
    if (!texture || width == 0 || height == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_SCRATCH &&
        FAILED(m_d3d->CheckDeviceFormat(m_creation.AdapterOrdinal, D3DDEVTYPE_HAL, DisplayFormat(),
                                        usage & D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format)))
        return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_SCRATCH && !IsTextureFormat(format)) return D3DERR_INVALIDCALL;
    const std::uint32_t chain = std::bit_width(std::max(width, height));
    if (levels == 0) levels = chain;
    if (levels > chain) return D3DERR_INVALIDCALL;
    auto* t = new IDirect3DTexture9(this, width, height, levels, usage, format, pool, zeroed);
    ResourceCreated(t);
    *texture = t;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateCubeTexture(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage,
                                            D3DFORMAT format, std::uint32_t pool, IDirect3DCubeTexture9** texture,
                                            void*) {
    return MakeCubeTexture(edge, levels, usage, format, pool, texture, true);
}

HRESULT IDirect3DDevice9::CreateCubeTextureToFill(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage,
                                                  D3DFORMAT format, std::uint32_t pool,
                                                  IDirect3DCubeTexture9** texture) {
    return MakeCubeTexture(edge, levels, usage, format, pool, texture, false);
}

HRESULT IDirect3DDevice9::MakeCubeTexture(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage,
                                          D3DFORMAT format, std::uint32_t pool, IDirect3DCubeTexture9** texture,
                                          bool zeroed) {
    if (!texture || edge == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_INVALIDCALL;
    if (FAILED(m_d3d->CheckDeviceFormat(m_creation.AdapterOrdinal, D3DDEVTYPE_HAL, DisplayFormat(),
                                        usage & D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, format)))
        return D3DERR_INVALIDCALL;
    const std::uint32_t chain = std::bit_width(edge);
    if (levels == 0) levels = chain;
    if (levels > chain) return D3DERR_INVALIDCALL;
    auto* t = new IDirect3DCubeTexture9(this, edge, levels, usage, format, pool, zeroed);
    ResourceCreated(t);
    *texture = t;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateVertexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                                             std::uint32_t pool, IDirect3DVertexBuffer9** buffer, void*) {
    if (!buffer || length == 0 || pool >= D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    // The format word is only described back: draws take their layout from
    // SetFVF or a declaration, so any word is kept (pools file stride keys here).
    auto* b = new IDirect3DVertexBuffer9(this, length, usage, fvf, pool);
    ResourceCreated(b);
    *buffer = b;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, D3DFORMAT format,
                                            std::uint32_t pool, IDirect3DIndexBuffer9** buffer, void*) {
    if (!buffer || length == 0 || pool >= D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    auto* b = new IDirect3DIndexBuffer9(this, length, usage, format, pool);
    ResourceCreated(b);
    *buffer = b;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateRenderTarget(std::uint32_t width, std::uint32_t height, D3DFORMAT format,
                                             std::uint32_t multiSample, std::uint32_t, std::int32_t lockable,
                                             IDirect3DSurface9** surface, void*) {
    if (!surface || width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE ||
        !IsCreatedTargetFormat(format))
        return D3DERR_INVALIDCALL;
    auto* s = new IDirect3DSurface9(this, nullptr, width, height, format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                                    lockable != 0, false);
    ResourceCreated(s);
    *surface = s;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height, D3DFORMAT format,
                                                    std::uint32_t multiSample, std::uint32_t, std::int32_t,
                                                    IDirect3DSurface9** surface, void*) {
    if (!surface || width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE ||
        !IsSupportedDepthFormat(format))
        return D3DERR_INVALIDCALL;
    auto* s = new IDirect3DSurface9(this, nullptr, width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                                    false, false);
    ResourceCreated(s);
    *surface = s;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreateOffscreenPlainSurface(std::uint32_t width, std::uint32_t height,
                                                      D3DFORMAT format, std::uint32_t pool,
                                                      IDirect3DSurface9** surface, void*) {
    if (!surface || width == 0 || height == 0 || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH ||
        !IsTextureFormat(format))
        return D3DERR_INVALIDCALL;
    auto* s = new IDirect3DSurface9(this, nullptr, width, height, format, 0, pool, true, false);
    ResourceCreated(s);
    *surface = s;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                        const POINT* destPoint) {
    if (!source || !dest || source->Pool() != D3DPOOL_SYSTEMMEM || dest->Pool() != D3DPOOL_DEFAULT ||
        source->Format() != dest->Format() || IsDepthFormat(dest->Format()))
        return D3DERR_INVALIDCALL;
    RECT src = sourceRect ? *sourceRect : RECT{0, 0, std::int32_t(source->Width()), std::int32_t(source->Height())};
    const POINT dst = destPoint ? *destPoint : POINT{src.left, src.top};
    if (!destPoint && sourceRect) {
        // Without a point the rectangle lands at the same place.
    }
    const std::int32_t w = src.right - src.left, h = src.bottom - src.top;
    if (w <= 0 || h <= 0 || src.left < 0 || src.top < 0 || src.right > std::int32_t(source->Width()) ||
        src.bottom > std::int32_t(source->Height()) || dst.x < 0 || dst.y < 0 ||
        dst.x + w > std::int32_t(dest->Width()) || dst.y + h > std::int32_t(dest->Height()))
        return D3DERR_INVALIDCALL;
    if (IsCompressedFormat(dest->Format())) {
        if ((src.left | src.top | dst.x | dst.y) & 3) return D3DERR_INVALIDCALL;
        const std::uint32_t block = dest->Format() == D3DFMT_DXT1 ? 8 : 16;
        const std::uint32_t bw = (std::uint32_t(w) + 3) / 4, bh = (std::uint32_t(h) + 3) / 4;
        for (std::uint32_t r = 0; r < bh; ++r)
            std::memcpy(dest->Bytes() + (dst.y / 4 + r) * dest->Pitch() + (dst.x / 4) * block,
                        source->Bytes() + (src.top / 4 + r) * source->Pitch() + (src.left / 4) * block, bw * block);
    } else {
        if (dest->IsTarget()) m_backend->ReadSurface(*dest, nullptr);
        const std::uint32_t bpp = FormatBitsPerPixel(dest->Format()) / 8;
        for (std::int32_t r = 0; r < h; ++r)
            std::memcpy(dest->Bytes() + std::size_t(dst.y + r) * dest->Pitch() + dst.x * bpp,
                        source->Bytes() + std::size_t(src.top + r) * source->Pitch() + src.left * bpp,
                        std::size_t(w) * bpp);
    }
    if (dest->IsTarget()) m_backend->WriteSurface(*dest);
    if (dest->Container()) static_cast<IDirect3DBaseTexture9*>(dest->Container())->Touch();
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderTargetData(IDirect3DSurface9* target, IDirect3DSurface9* dest) {
    if (!target || !dest || !(target->Usage() & D3DUSAGE_RENDERTARGET) || dest->Pool() != D3DPOOL_SYSTEMMEM ||
        target->Format() != dest->Format() || target->Width() != dest->Width() || target->Height() != dest->Height())
        return D3DERR_INVALIDCALL;
    m_backend->ReadSurface(*target, nullptr);
    std::memcpy(dest->Bytes(), target->Bytes(), FormatLevelSize(dest->Format(), dest->Width(), dest->Height()));
    return D3D_OK;
}

// ---- targets, scenes, clears ------------------------------------------------------------------
HRESULT IDirect3DDevice9::SetRenderTarget(std::uint32_t index, IDirect3DSurface9* surface) {
    D3DCAPS9 caps;
    if (FAILED(GetDeviceCaps(&caps)) || index >= caps.NumSimultaneousRTs) return D3DERR_INVALIDCALL;
    if (index == 0 && !surface) return D3DERR_INVALIDCALL;
    if (surface && (!(surface->Usage() & D3DUSAGE_RENDERTARGET) || surface->Device() != this))
        return D3DERR_INVALIDCALL;
    Hold(surface);
    Drop(m_state.renderTargets[index]);
    m_state.renderTargets[index] = surface;
    ++m_state.serial;
    if (index == 0) {
        // A new target 0 resets the viewport and the scissor rectangle to its size.
        m_state.viewport = D3DVIEWPORT9{0, 0, surface->Width(), surface->Height(), 0.0f, 1.0f};
        m_state.scissor = RECT{0, 0, std::int32_t(surface->Width()), std::int32_t(surface->Height())};
    }
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetRenderTarget(std::uint32_t index, IDirect3DSurface9** surface) {
    if (!surface || index >= DeviceState::kTargets) return D3DERR_INVALIDCALL;
    IDirect3DSurface9* s = m_state.renderTargets[index];
    if (!s) return D3DERR_NOTFOUND;
    s->AddRef();
    *surface = s;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    if (surface && (!(surface->Usage() & D3DUSAGE_DEPTHSTENCIL) || surface->Device() != this))
        return D3DERR_INVALIDCALL;
    Hold(surface);
    Drop(m_state.depthStencil);
    m_state.depthStencil = surface;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    if (!m_state.depthStencil) {
        *surface = nullptr;
        return D3DERR_NOTFOUND;
    }
    m_state.depthStencil->AddRef();
    *surface = m_state.depthStencil;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::BeginScene() {
    if (m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::EndScene() {
    if (!m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = false;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::Clear(std::uint32_t count, const D3DRECT* rects, std::uint32_t flags, D3DCOLOR color,
                                float z, std::uint32_t stencil) {
    if ((count > 0 && !rects) || flags == 0 ||
        (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0)
        return D3DERR_INVALIDCALL;
    IDirect3DSurface9* depth = m_state.depthStencil;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !FormatHasStencil(depth->Format())) return D3DERR_INVALIDCALL;
    if (Lost()) return D3D_OK;
    const D3DVIEWPORT9& vp = m_state.viewport;
    RECT area{std::int32_t(vp.X), std::int32_t(vp.Y), std::int32_t(vp.X + vp.Width), std::int32_t(vp.Y + vp.Height)};
    if (m_state.renderStates[D3DRS_SCISSORTESTENABLE]) area = Intersect(area, m_state.scissor);
    std::vector<RECT> cut;
    if (count == 0) {
        if (!Empty(area)) cut.push_back(area);
    } else {
        for (std::uint32_t i = 0; i < count; ++i) {
            const RECT r = Intersect(area, RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
            if (!Empty(r)) cut.push_back(r);
        }
    }
    RecordedCall call;
    call.kind = RecordedCall::Kind::Clear;
    call.flags = flags;
    call.rectCount = count;
    call.color = color;
    call.z = z;
    call.stencil = stencil;
    Record(call);
    if (!cut.empty()) m_backend->Clear(*this, cut, flags, color, z, stencil);
    return D3D_OK;
}

// ---- state ---------------------------------------------------------------------------------------
HRESULT IDirect3DDevice9::SetTransform(std::uint32_t state, const D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(m_state, state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    NoteTransform(m_state, state, *slot, *matrix);
    *slot = *matrix;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetTransform(std::uint32_t state, D3DMATRIX* matrix) const {
    const D3DMATRIX* slot = TransformSlot(const_cast<DeviceState&>(m_state), state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *matrix = *slot;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::MultiplyTransform(std::uint32_t state, const D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(m_state, state);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    const D3DMATRIX product = Multiply(*matrix, *slot);
    NoteTransform(m_state, state, *slot, product);
    *slot = product;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetViewport(const D3DVIEWPORT9* vp) {
    const IDirect3DSurface9* rt = m_state.renderTargets[0];
    if (!vp || !rt || vp->Width == 0 || vp->Height == 0 || std::uint64_t(vp->X) + vp->Width > rt->Width() ||
        std::uint64_t(vp->Y) + vp->Height > rt->Height() || !(vp->MinZ >= 0.0f && vp->MinZ <= 1.0f) ||
        !(vp->MaxZ >= 0.0f && vp->MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    m_state.viewport = *vp;
    ++m_state.serial;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetViewport(D3DVIEWPORT9* vp) const {
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = m_state.viewport;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetMaterial(const D3DMATERIAL9* material) {
    if (!material) return RecordState(StateCall::Kind::SetMaterial, 0, 0, 0, nullptr, D3DERR_INVALIDCALL);
    m_state.material = *material;
    ++m_state.serial;
    return RecordState(StateCall::Kind::SetMaterial, 0, 0, 0, material, D3D_OK);
}

HRESULT IDirect3DDevice9::GetMaterial(D3DMATERIAL9* material) const {
    if (!material) return D3DERR_INVALIDCALL;
    *material = m_state.material;
    return D3D_OK;
}

namespace {
// What the device can light with: a range it can square, an attenuation that
// never divides by zero, and a cone whose inner angle lies inside the outer one.
bool LightValid(const D3DLIGHT9& l) {
    if (l.Type < D3DLIGHT_POINT || l.Type > D3DLIGHT_DIRECTIONAL) return false;
    if (l.Type == D3DLIGHT_DIRECTIONAL) return true;
    if (!(l.Range >= 0.0f && l.Range <= std::sqrt(FLT_MAX))) return false;
    if (!(l.Attenuation0 >= 0.0f && l.Attenuation1 >= 0.0f && l.Attenuation2 >= 0.0f) ||
        l.Attenuation0 + l.Attenuation1 + l.Attenuation2 == 0.0f)
        return false;
    if (l.Type == D3DLIGHT_SPOT &&
        !(l.Theta >= 0.0f && l.Theta <= l.Phi && l.Phi <= 3.14159265358979323846f))
        return false;
    return true;
}
} // namespace

HRESULT IDirect3DDevice9::SetLight(std::uint32_t index, const D3DLIGHT9* light) {
    if (!light || !LightValid(*light))
        return RecordState(StateCall::Kind::SetLight, index, 0, 0, light, D3DERR_INVALIDCALL);
    m_state.lights[index].light = *light;
    ++m_state.serial;
    return RecordState(StateCall::Kind::SetLight, index, 0, 0, light, D3D_OK);
}

HRESULT IDirect3DDevice9::GetLight(std::uint32_t index, D3DLIGHT9* light) const {
    const auto it = m_state.lights.find(index);
    if (!light || it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second.light;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::LightEnable(std::uint32_t index, std::int32_t enable) {
    auto it = m_state.lights.find(index);
    if (it == m_state.lights.end() && enable) {
        std::size_t active = 0;
        for (const auto& entry : m_state.lights) active += entry.second.enabled ? 1 : 0;
        if (active >= DeviceState::kMaxActiveLights)
            return RecordState(StateCall::Kind::LightEnable, index, 0, 1, nullptr, D3DERR_INVALIDCALL);
    }
    if (it == m_state.lights.end()) {
        // Enabling a light never set creates the default one: white, directional, along +z.
        DeviceState::Light light;
        light.light.Type = D3DLIGHT_DIRECTIONAL;
        light.light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
        it = m_state.lights.emplace(index, light).first;
    }
    if (enable && !it->second.enabled) {
        // The device lights at most kMaxActiveLights at once: one more is refused, not dropped.
        std::size_t active = 0;
        for (const auto& entry : m_state.lights) active += entry.second.enabled ? 1 : 0;
        if (active >= DeviceState::kMaxActiveLights)
            return RecordState(StateCall::Kind::LightEnable, index, 0, 1, nullptr, D3DERR_INVALIDCALL);
    }
    it->second.enabled = enable != 0;
    ++m_state.serial;
    return RecordState(StateCall::Kind::LightEnable, index, 0, enable != 0, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::GetLightEnable(std::uint32_t index, std::int32_t* enable) const {
    const auto it = m_state.lights.find(index);
    if (!enable || it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *enable = it->second.enabled ? 1 : 0;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetRenderState(std::uint32_t state, std::uint32_t value) {
    if (state >= DeviceState::kRenderStates)
        return RecordState(StateCall::Kind::SetRenderState, state, 0, value, nullptr, D3DERR_INVALIDCALL);
    if (m_state.renderStates[state] != value) ++m_state.serial;
    m_state.renderStates[state] = value;
    return RecordState(StateCall::Kind::SetRenderState, state, 0, value, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::GetRenderState(std::uint32_t state, std::uint32_t* value) const {
    if (state >= DeviceState::kRenderStates || !value) return D3DERR_INVALIDCALL;
    *value = m_state.renderStates[state];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTexture(std::uint32_t stage, IDirect3DBaseTexture9* texture) {
    const int slot = DeviceState::SamplerSlot(stage);
    if (slot < 0 || (texture && texture->Device() != this))
        return RecordState(StateCall::Kind::SetTexture, stage, 0, 0, texture, D3DERR_INVALIDCALL);
    Rebind(m_state.textures[std::size_t(slot)], texture);
    return RecordState(StateCall::Kind::SetTexture, stage, 0, 0, texture, D3D_OK);
}

HRESULT IDirect3DDevice9::GetTexture(std::uint32_t stage, IDirect3DBaseTexture9** texture) {
    const int slot = DeviceState::SamplerSlot(stage);
    if (slot < 0 || !texture) return D3DERR_INVALIDCALL;
    *texture = m_state.textures[std::size_t(slot)];
    Hold(*texture);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetTextureStageState(std::uint32_t stage, std::uint32_t type, std::uint32_t value) {
    if (stage >= DeviceState::kStages || type == 0 || type >= DeviceState::kStageStates)
        return RecordState(StateCall::Kind::SetTextureStageState, stage, type, value, nullptr, D3DERR_INVALIDCALL);
    if (m_state.stageStates[stage][type] != value) ++m_state.serial;
    m_state.stageStates[stage][type] = value;
    return RecordState(StateCall::Kind::SetTextureStageState, stage, type, value, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::GetTextureStageState(std::uint32_t stage, std::uint32_t type, std::uint32_t* value) const {
    if (stage >= DeviceState::kStages || type == 0 || type >= DeviceState::kStageStates || !value)
        return D3DERR_INVALIDCALL;
    *value = m_state.stageStates[stage][type];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) {
    const int slot = DeviceState::SamplerSlot(sampler);
    if (slot < 0 || type == 0 || type >= DeviceState::kSamplerStates)
        return RecordState(StateCall::Kind::SetSamplerState, sampler, type, value, nullptr, D3DERR_INVALIDCALL);
    m_state.samplerStates[std::size_t(slot)][type] = value;
    return RecordState(StateCall::Kind::SetSamplerState, sampler, type, value, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::GetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t* value) const {
    const int slot = DeviceState::SamplerSlot(sampler);
    if (slot < 0 || type == 0 || type >= DeviceState::kSamplerStates || !value) return D3DERR_INVALIDCALL;
    *value = m_state.samplerStates[std::size_t(slot)][type];
    return D3D_OK;
}

HRESULT IDirect3DDevice9::ValidateDevice(std::uint32_t* passes) const {
    if (!passes) return D3DERR_INVALIDCALL;
    *passes = 1;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetScissorRect(const RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    m_state.scissor = *rect;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetScissorRect(RECT* rect) const {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = m_state.scissor;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetSoftwareVertexProcessing(std::int32_t software) {
    // Only a mixed-mode device switches.
    if (!(m_creation.BehaviorFlags & D3DCREATE_MIXED_VERTEXPROCESSING))
        return RecordState(StateCall::Kind::SetSoftwareVertexProcessing, 0, 0, software != 0, nullptr,
                           D3DERR_INVALIDCALL);
    m_state.softwareVertexProcessing = software != 0;
    return RecordState(StateCall::Kind::SetSoftwareVertexProcessing, 0, 0, software != 0, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::SetNPatchMode(float segments) {
    if (!(segments < 1.0f)) return D3DERR_INVALIDCALL;
    m_nPatchSegments = segments;
    return D3D_OK;
}

// ---- vertex input, shaders, constants ------------------------------------------------------------
HRESULT IDirect3DDevice9::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                  IDirect3DVertexDeclaration9** decl) {
    if (!elements || !decl) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e) {
        if (e->Type >= D3DDECLTYPE_UNUSED || e->Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            e->Usage > D3DDECLUSAGE_SAMPLE || list.size() >= 64 || e->Stream >= DeviceCaps(0).MaxStreams ||
            e->Offset % 4 != 0)
            return D3DERR_INVALIDCALL;
        // Each input is fed once: a second (usage, index) is refused.
        for (const D3DVERTEXELEMENT9& seen : list)
            if (seen.Usage == e->Usage && seen.UsageIndex == e->UsageIndex) return D3DERR_INVALIDCALL;
        list.push_back(*e);
    }
    *decl = new IDirect3DVertexDeclaration9(this, std::move(list));
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) {
    Rebind(m_state.declaration, decl);
    if (decl) m_state.fvf = 0;
    ++m_state.serial;
    return RecordState(StateCall::Kind::SetVertexDeclaration, 0, 0, 0, decl, D3D_OK);
}

HRESULT IDirect3DDevice9::GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) {
    if (!decl) return D3DERR_INVALIDCALL;
    *decl = m_state.declaration;
    Hold(*decl);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetFVF(std::uint32_t fvf) {
    if (fvf != 0 && !LayoutFromFVF(fvf).valid)
        return RecordState(StateCall::Kind::SetFVF, 0, 0, fvf, nullptr, D3DERR_INVALIDCALL);
    if (m_state.fvf != fvf) ++m_state.serial;
    m_state.fvf = fvf;
    if (fvf != 0) Rebind<IDirect3DVertexDeclaration9>(m_state.declaration, nullptr);
    return RecordState(StateCall::Kind::SetFVF, 0, 0, fvf, nullptr, D3D_OK);
}

HRESULT IDirect3DDevice9::GetFVF(std::uint32_t* fvf) const {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = m_state.fvf;
    return D3D_OK;
}

namespace {
// The stream is walked instruction by instruction inside the bytes given; one
// that runs off their end, has no end token or names an unknown instruction
// is refused rather than read on.
bool CopyTokens(const std::uint32_t* function, std::uint32_t byteSize, std::uint32_t kind,
                std::vector<std::uint32_t>& out) {
    const std::size_t used = WalkShaderTokens(function, byteSize / 4, kind);
    if (used == 0) return false;
    out.assign(function, function + used);
    return true;
}

// The program as the back ends run it; null, with one line on standard
// error naming what it cannot take, when it cannot be translated (a
// register outside the version's ranges on a device of these caps among
// them) or the back end cannot run its GLSL.
std::shared_ptr<const TranslatedShader> Translate(const std::vector<std::uint32_t>& tokens, const D3DCAPS9& caps,
                                                  Backend& backend) {
    auto translated = std::make_shared<TranslatedShader>();
    std::string error;
    if (!TranslateShader(tokens.data(), tokens.size(), *translated, error, &caps) ||
        !backend.CheckProgram(*translated, error)) {
        std::fprintf(stderr, "gfx: a %s program cannot be run: %s\n",
                     (tokens[0] & 0xFFFF0000u) == 0xFFFE0000u ? "vertex" : "pixel", error.c_str());
        return nullptr;
    }
    return translated;
}

// A compiled high-level program: its code is kept whole as the program's
// function, and run in the form a token stream's translation takes.
std::shared_ptr<const TranslatedShader> TranslateContainer(const std::uint32_t* function, std::uint32_t byteSize,
                                                           bool vertex, Backend& backend,
                                                           std::vector<std::uint32_t>& words) {
    ShaderContainer container;
    if (!ReadShaderContainer(function, byteSize, container) || container.Vertex() != vertex) return nullptr;
    auto translated = std::make_shared<TranslatedShader>();
    std::string error;
    if (!TranslateShaderContainer(container, *translated, error) || !backend.CheckProgram(*translated, error)) {
        std::fprintf(stderr, "gfx: a compiled %s program cannot be run: %s\n", vertex ? "vertex" : "pixel",
                     error.c_str());
        return nullptr;
    }
    words.assign(function, function + byteSize / 4);
    return translated;
}
} // namespace

HRESULT IDirect3DDevice9::CreateVertexShader(const std::uint32_t* function, std::uint32_t byteSize,
                                             IDirect3DVertexShader9** shader) {
    std::vector<std::uint32_t> tokens;
    if (byteSize >= 4 && IsShaderContainer(function)) {
        auto translation = shader ? TranslateContainer(function, byteSize, true, *m_backend, tokens) : nullptr;
        if (!translation) return D3DERR_INVALIDCALL;
        *shader = new IDirect3DVertexShader9(this, std::move(tokens), std::move(translation));
        return D3D_OK;
    }
    if (!shader || !CopyTokens(function, byteSize, D3DVS_VERSION(0, 0), tokens)) return D3DERR_INVALIDCALL;
    auto translation = Translate(tokens, m_caps, *m_backend);
    if (!translation) return D3DERR_INVALIDCALL;
    *shader = new IDirect3DVertexShader9(this, std::move(tokens), std::move(translation));
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetVertexShader(IDirect3DVertexShader9* shader) {
    // Programs are told apart by their ids where a generated program is chosen:
    // effects set and clear them around every draw, which must not count as a
    // change of the slower state.
    Rebind(m_state.vertexShader, shader);
    return RecordState(StateCall::Kind::SetVertexShader, 0, 0, 0, shader, D3D_OK);
}

HRESULT IDirect3DDevice9::GetVertexShader(IDirect3DVertexShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = m_state.vertexShader;
    Hold(*shader);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::CreatePixelShader(const std::uint32_t* function, std::uint32_t byteSize,
                                            IDirect3DPixelShader9** shader) {
    std::vector<std::uint32_t> tokens;
    if (byteSize >= 4 && IsShaderContainer(function)) {
        auto translation = shader ? TranslateContainer(function, byteSize, false, *m_backend, tokens) : nullptr;
        if (!translation) return D3DERR_INVALIDCALL;
        *shader = new IDirect3DPixelShader9(this, std::move(tokens), std::move(translation));
        return D3D_OK;
    }
    if (!shader || !CopyTokens(function, byteSize, D3DPS_VERSION(0, 0), tokens)) return D3DERR_INVALIDCALL;
    auto translation = Translate(tokens, m_caps, *m_backend);
    if (!translation) return D3DERR_INVALIDCALL;
    *shader = new IDirect3DPixelShader9(this, std::move(tokens), std::move(translation));
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetPixelShader(IDirect3DPixelShader9* shader) {
    // Programs are told apart by their ids where a generated program is chosen:
    // effects set and clear them around every draw, which must not count as a
    // change of the slower state.
    Rebind(m_state.pixelShader, shader);
    return RecordState(StateCall::Kind::SetPixelShader, 0, 0, 0, shader, D3D_OK);
}

HRESULT IDirect3DDevice9::GetPixelShader(IDirect3DPixelShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = m_state.pixelShader;
    Hold(*shader);
    return D3D_OK;
}

namespace {
template <class T, class C>
HRESULT SetConstants(std::uint64_t& serial, C& store, std::uint32_t registers, std::uint32_t width, std::uint32_t start, const T* data,
                     std::uint32_t count) {
    if (!data || start > registers || count > registers - start) return D3DERR_INVALIDCALL;
    std::copy(data, data + count * width, store.begin() + start * width);
    ++serial;
    return D3D_OK;
}
template <class T, class C>
HRESULT GetConstants(const C& store, std::uint32_t registers, std::uint32_t width, std::uint32_t start, T* data,
                     std::uint32_t count) {
    if (!data || start > registers || count > registers - start) return D3DERR_INVALIDCALL;
    std::copy(store.begin() + start * width, store.begin() + (start + count) * width, data);
    return D3D_OK;
}
} // namespace

HRESULT IDirect3DDevice9::SetVertexShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetVertexShaderConstantF, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.vsConstF, DeviceState::kVsConstF, 4, start, data, count));
}
HRESULT IDirect3DDevice9::GetVertexShaderConstantF(std::uint32_t start, float* data, std::uint32_t count) const {
    return GetConstants(m_state.vsConstF, DeviceState::kVsConstF, 4, start, data, count);
}
HRESULT IDirect3DDevice9::SetVertexShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetVertexShaderConstantI, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.vsConstI, DeviceState::kConstI, 4, start, data, count));
}
HRESULT IDirect3DDevice9::SetVertexShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetVertexShaderConstantB, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.vsConstB, DeviceState::kConstB, 1, start, data, count));
}
HRESULT IDirect3DDevice9::SetPixelShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetPixelShaderConstantF, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.psConstF, DeviceState::kPsConstF, 4, start, data, count));
}
HRESULT IDirect3DDevice9::GetPixelShaderConstantF(std::uint32_t start, float* data, std::uint32_t count) const {
    return GetConstants(m_state.psConstF, DeviceState::kPsConstF, 4, start, data, count);
}
HRESULT IDirect3DDevice9::SetPixelShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetPixelShaderConstantI, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.psConstI, DeviceState::kConstI, 4, start, data, count));
}
HRESULT IDirect3DDevice9::SetPixelShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count) {
    return RecordState(StateCall::Kind::SetPixelShaderConstantB, start, 0, count, data,
                       SetConstants(m_state.constantSerial, m_state.psConstB, DeviceState::kConstB, 1, start, data, count));
}
HRESULT IDirect3DDevice9::GetVertexShaderConstantI(std::uint32_t start, std::int32_t* data, std::uint32_t count) const {
    return GetConstants(m_state.vsConstI, DeviceState::kConstI, 4, start, data, count);
}
HRESULT IDirect3DDevice9::GetVertexShaderConstantB(std::uint32_t start, std::int32_t* data, std::uint32_t count) const {
    return GetConstants(m_state.vsConstB, DeviceState::kConstB, 1, start, data, count);
}
HRESULT IDirect3DDevice9::GetPixelShaderConstantI(std::uint32_t start, std::int32_t* data, std::uint32_t count) const {
    return GetConstants(m_state.psConstI, DeviceState::kConstI, 4, start, data, count);
}
HRESULT IDirect3DDevice9::GetPixelShaderConstantB(std::uint32_t start, std::int32_t* data, std::uint32_t count) const {
    return GetConstants(m_state.psConstB, DeviceState::kConstB, 1, start, data, count);
}

HRESULT IDirect3DDevice9::SetStreamSource(std::uint32_t stream, IDirect3DVertexBuffer9* buffer,
                                          std::uint32_t offset, std::uint32_t stride) {
    // Asked on every draw: the table is built once.
    static const std::uint32_t maxStreams = DeviceCaps(0).MaxStreams;
    if (stream >= maxStreams) return D3DERR_INVALIDCALL;
    if (buffer && (buffer->Device() != this || offset > buffer->Size())) return D3DERR_INVALIDCALL;
    DeviceState::Stream& s = m_state.streams[stream];
    Rebind(s.buffer, buffer);
    s.offset = buffer ? offset : 0;
    s.stride = buffer ? stride : 0;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetStreamSource(std::uint32_t stream, IDirect3DVertexBuffer9** buffer,
                                          std::uint32_t* offset, std::uint32_t* stride) {
    if (stream >= DeviceState::kStreams || !buffer || !offset || !stride) return D3DERR_INVALIDCALL;
    const DeviceState::Stream& s = m_state.streams[stream];
    *buffer = s.buffer;
    Hold(*buffer);
    *offset = s.offset;
    *stride = s.stride;
    return D3D_OK;
}

HRESULT IDirect3DDevice9::SetIndices(IDirect3DIndexBuffer9* indices) {
    if (indices && indices->Device() != this) return D3DERR_INVALIDCALL;
    Rebind(m_state.indices, indices);
    return D3D_OK;
}

HRESULT IDirect3DDevice9::GetIndices(IDirect3DIndexBuffer9** indices) {
    if (!indices) return D3DERR_INVALIDCALL;
    *indices = m_state.indices;
    Hold(*indices);
    return D3D_OK;
}

// ---- drawing ----------------------------------------------------------------------------------------
HRESULT IDirect3DDevice9::PrepareDraw(std::uint32_t type, std::uint32_t count) const {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN || count == 0) return D3DERR_INVALIDCALL;
    if (!m_state.declaration && m_state.fvf == 0) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

namespace {

// A stride that cuts into the next vertex would make the back end read past the data.
bool StrideHoldsLayout(const VertexLayout& layout, std::uint32_t stride) {
    return layout.valid && stride > 0 && stride >= layout.stride;
}

// Whole vertices a stream holds from its offset.
std::uint64_t VerticesHeld(const DeviceState::Stream& s) {
    return (std::uint64_t(s.buffer->Size()) - s.offset) / s.stride;
}

// The fewest whole vertices any stream the layout reads holds; -1 when one
// of them has no buffer or a stride that cuts into its elements.
std::int64_t StreamsHold(const DeviceState& st, const VertexLayout& layout) {
    if (!layout.valid) return -1;
    std::int64_t held = INT64_MAX;
    const std::uint16_t used = layout.streams ? layout.streams : 1;
    for (std::uint32_t bits = used; bits; bits &= bits - 1) {
        const auto i = std::size_t(std::countr_zero(bits));
        const DeviceState::Stream& s = st.streams[i];
        if (!s.buffer || s.stride == 0 || s.stride < layout.extent[i]) return -1;
        held = std::min(held, std::int64_t(VerticesHeld(s)));
    }
    return held;
}

void NoteStreamReads(const DeviceState& st, const VertexLayout& layout, std::uint64_t first, std::uint64_t end) {
    const std::uint16_t used = layout.streams ? layout.streams : 1;
    for (std::uint32_t bits = used; bits; bits &= bits - 1) {
        const DeviceState::Stream& s = st.streams[std::size_t(std::countr_zero(bits))];
        if (s.buffer)
            s.buffer->NoteDrawRead(std::uint32_t(s.offset + first * s.stride), std::uint32_t(s.offset + end * s.stride));
    }
}

// The smallest and largest of count indices, read from memory: every index
// must be looked at before the driver reads vertices with it.
struct IndexSpan {
    std::uint32_t low = 0xFFFFFFFFu, high = 0;
};
IndexSpan ScanIndices(const void* indices, D3DFORMAT format, std::uint32_t count) {
    IndexSpan span;
    const auto* bytes = static_cast<const std::uint8_t*>(indices);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t index = 0;
        if (format == D3DFMT_INDEX32) {
            std::memcpy(&index, bytes + std::size_t(i) * 4, 4);
        } else {
            std::uint16_t narrow = 0;
            std::memcpy(&narrow, bytes + std::size_t(i) * 2, 2);
            index = narrow;
        }
        span.low = std::min(span.low, index);
        span.high = std::max(span.high, index);
    }
    return span;
}
} // namespace

HRESULT IDirect3DDevice9::DrawPrimitive(std::uint32_t type, std::uint32_t startVertex, std::uint32_t count) {
    HRESULT hr = PrepareDraw(type, count);
    if (FAILED(hr)) return hr;
    const VertexLayout& layout = CurrentLayout();
    DrawCall call;
    call.primitiveType = type;
    call.primitiveCount = count;
    call.vertexCount = VertexCountFor(type, count);
    call.startVertex = startVertex;
    const std::int64_t held = StreamsHold(m_state, layout);
    if (held < 0 || std::int64_t(startVertex) + call.vertexCount > held) return D3DERR_INVALIDCALL;
    if (Lost()) return D3D_OK;
    RecordedCall rec;
    rec.kind = RecordedCall::Kind::DrawPrimitive;
    rec.primitiveType = type;
    rec.primitiveCount = count;
    rec.startVertex = startVertex;
    rec.fvf = m_state.fvf;
    Record(rec);
    NoteStreamReads(m_state, layout, startVertex, std::uint64_t(startVertex) + call.vertexCount);
    return m_backend->Draw(*this, layout, call);
}

HRESULT IDirect3DDevice9::DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertex, std::uint32_t minIndex,
                                               std::uint32_t numVertices, std::uint32_t startIndex,
                                               std::uint32_t count) {
    HRESULT hr = PrepareDraw(type, count);
    if (FAILED(hr)) return hr;
    const VertexLayout& layout = CurrentLayout();
    const IDirect3DIndexBuffer9* ib = m_state.indices;
    DrawCall call;
    call.primitiveType = type;
    call.primitiveCount = count;
    call.vertexCount = VertexCountFor(type, count);
    call.indexed = true;
    call.baseVertex = baseVertex;
    call.minIndex = minIndex;
    call.numVertices = numVertices;
    call.startIndex = startIndex;
    const std::int64_t held = StreamsHold(m_state, layout);
    if (held < 0 || !ib) return D3DERR_INVALIDCALL;
    const std::uint32_t indexSize = ib->Format() == D3DFMT_INDEX32 ? 4 : 2;
    if ((std::uint64_t(startIndex) + call.vertexCount) * indexSize > ib->Size()) return D3DERR_INVALIDCALL;
    // Every vertex the indices reach from the base vertex lies in the buffer
    // (the minimum index and vertex count are the caller's hints only).
    if (baseVertex >= held) return D3DERR_INVALIDCALL;
    IndexSpan span;
    IDirect3DIndexBuffer9::Scanned& scanned = ib->m_scanned;
    if (!ib->m_locked && scanned.version == ib->ContentVersion() && scanned.start == startIndex &&
        scanned.count == call.vertexCount) {
        span = {scanned.low, scanned.high};
    } else {
        span = ScanIndices(ib->Bytes() + std::size_t(startIndex) * indexSize, ib->Format(), call.vertexCount);
        if (!ib->m_locked) scanned = {ib->ContentVersion(), startIndex, call.vertexCount, span.low, span.high};
    }
    if (baseVertex + std::int64_t(span.low) < 0 || baseVertex + std::int64_t(span.high) >= held)
        return D3DERR_INVALIDCALL;
    if (Lost()) return D3D_OK;
    RecordedCall rec;
    rec.kind = RecordedCall::Kind::DrawIndexedPrimitive;
    rec.primitiveType = type;
    rec.primitiveCount = count;
    rec.baseVertex = baseVertex;
    rec.minIndex = minIndex;
    rec.numVertices = numVertices;
    rec.startIndex = startIndex;
    rec.fvf = m_state.fvf;
    Record(rec);
    NoteStreamReads(m_state, layout, std::uint64_t(baseVertex + std::int64_t(span.low)),
                    std::uint64_t(baseVertex + std::int64_t(span.high) + 1));
    return m_backend->Draw(*this, layout, call);
}

HRESULT IDirect3DDevice9::DrawPrimitiveUP(std::uint32_t type, std::uint32_t count, const void* vertices,
                                          std::uint32_t stride) {
    HRESULT hr = PrepareDraw(type, count);
    if (FAILED(hr)) return hr;
    const VertexLayout& layout = CurrentLayout();
    // User memory stands for stream 0 alone.
    if (!vertices || !StrideHoldsLayout(layout, stride) || (layout.streams & ~1u)) return D3DERR_INVALIDCALL;
    DrawCall call;
    call.primitiveType = type;
    call.primitiveCount = count;
    call.vertexCount = VertexCountFor(type, count);
    call.userVertices = vertices;
    call.userStride = stride;
    call.userVertexBytes = call.vertexCount * stride;
    // The user-pointer draws leave stream 0 and the indices unset.
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    if (Lost()) return D3D_OK;
    RecordedCall rec;
    rec.kind = RecordedCall::Kind::DrawPrimitiveUP;
    rec.primitiveType = type;
    rec.primitiveCount = count;
    rec.fvf = m_state.fvf;
    Record(rec);
    return m_backend->Draw(*this, layout, call);
}

HRESULT IDirect3DDevice9::DrawIndexedPrimitiveUP(std::uint32_t type, std::uint32_t minIndex,
                                                 std::uint32_t numVertices, std::uint32_t count, const void* indices,
                                                 D3DFORMAT indexFormat, const void* vertices, std::uint32_t stride) {
    HRESULT hr = PrepareDraw(type, count);
    if (FAILED(hr)) return hr;
    const VertexLayout& layout = CurrentLayout();
    if (!vertices || !indices || !StrideHoldsLayout(layout, stride) || (layout.streams & ~1u) || numVertices == 0 ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    DrawCall call;
    call.primitiveType = type;
    call.primitiveCount = count;
    call.vertexCount = VertexCountFor(type, count);
    // Only the vertices up to minIndex + numVertices are taken from the caller's memory.
    if (ScanIndices(indices, indexFormat, call.vertexCount).high >= std::uint64_t(minIndex) + numVertices)
        return D3DERR_INVALIDCALL;
    call.indexed = true;
    call.minIndex = minIndex;
    call.numVertices = numVertices;
    call.userVertices = vertices;
    call.userStride = stride;
    call.userIndices = indices;
    call.userIndexFormat = indexFormat;
    call.userVertexBytes = (minIndex + numVertices) * stride;
    SetStreamSource(0, nullptr, 0, 0);
    SetIndices(nullptr);
    if (Lost()) return D3D_OK;
    RecordedCall rec;
    rec.kind = RecordedCall::Kind::DrawIndexedPrimitiveUP;
    rec.primitiveType = type;
    rec.primitiveCount = count;
    rec.minIndex = minIndex;
    rec.numVertices = numVertices;
    rec.fvf = m_state.fvf;
    Record(rec);
    return m_backend->Draw(*this, layout, call);
}

const VertexLayout& IDirect3DDevice9::CurrentLayout() {
    if (m_state.declaration) return m_state.declaration->Layout(m_state.vertexShader != nullptr);
    if (!m_fvfLayout || m_fvfLayoutFvf != m_state.fvf) {
        m_fvfLayout = std::make_unique<VertexLayout>(LayoutFromFVF(m_state.fvf));
        m_fvfLayoutFvf = m_state.fvf;
    }
    return *m_fvfLayout;
}

// ---- shared by the device and the back ends --------------------------------------------------------
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

} // namespace gfx
