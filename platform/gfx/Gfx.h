#pragma once
// The graphics device: a Direct3D-9-shaped object model (top object, device,
// resources) with one front end (state, validation, resource memory, reference
// counts) and two back ends: `gl` (OpenGL 3.3 core through an SDL window) and
// `null` (keeps everything, draws nothing, records calls for tests).
// Names and numbers follow what the renderer is written against; see GfxTypes.h.

#include "platform/gfx/GfxTypes.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace gfx {

class IDirect3D9;
class IDirect3DDevice9;
class Backend;

// Which back end a top object gives its devices.
enum class BackendKind {
    Auto, // as ORVANE_GFX_BACKEND says ("gl" or "null"), else gl: never null on its own
    Gl,
    Null,
};

// Faults a test can make the `gl` back end meet, to see them reported.
enum class BackendFault {
    None,
    CompileError,  // programs generated from now on do not compile
    LinkError,     // programs generated from now on compile but do not link
    GlErrorOnDraw, // the next draw leaves a GL error behind
};

// Reference counting shared by every object of the device: created with one
// reference, Release deletes at zero.
class Unknown {
public:
    Unknown(const Unknown&) = delete;
    Unknown& operator=(const Unknown&) = delete;
    virtual std::uint32_t AddRef();
    virtual std::uint32_t Release();
    // Test view of the count (what the next Release would leave, plus one).
    [[nodiscard]] virtual std::uint32_t RefCount() const { return m_refs; }

protected:
    Unknown() = default;
    virtual ~Unknown() = default;
    std::uint32_t m_refs = 1;
};

// Back-end bookkeeping carried by resources (GL object names); the front end never reads it.
struct BackendData {
    std::uint32_t name = 0;
    std::uint32_t name2 = 0;
    std::uint32_t size = 0;
    std::uint64_t version = 0;
};

class IDirect3DResource9 : public Unknown {
public:
    HRESULT GetDevice(IDirect3DDevice9** device);
    std::uint32_t SetPriority(std::uint32_t priority);
    [[nodiscard]] std::uint32_t GetPriority() const { return m_priority; }
    void PreLoad() {}
    [[nodiscard]] std::uint32_t GetType() const { return m_type; }

    // Front-end facts shared with the back ends.
    [[nodiscard]] std::uint32_t Pool() const { return m_pool; }
    [[nodiscard]] std::uint32_t Usage() const { return m_usage; }
    [[nodiscard]] IDirect3DDevice9* Device() const { return m_device; }
    BackendData backend;

protected:
    IDirect3DResource9(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool, std::uint32_t usage);
    ~IDirect3DResource9() override;
    friend class IDirect3DDevice9;
    IDirect3DDevice9* m_device; // link: null once the device is gone
    std::uint32_t m_type, m_pool, m_usage, m_priority = 0;
    // Counted among the live default-pool resources: decided at creation, as
    // a surface being destroyed no longer knows its container.
    bool m_countedInPool = false;
};

class IDirect3DSurface9 final : public IDirect3DResource9 {
public:
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    [[nodiscard]] std::uint32_t RefCount() const override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) const;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, std::uint32_t flags);
    HRESULT UnlockRect();

    // Front-end view for the back ends and tests.
    [[nodiscard]] std::uint32_t Width() const { return m_width; }
    [[nodiscard]] std::uint32_t Height() const { return m_height; }
    [[nodiscard]] D3DFORMAT Format() const { return m_format; }
    [[nodiscard]] std::uint32_t Pitch() const;
    [[nodiscard]] std::uint8_t* Bytes() { return m_bytes.get(); }
    [[nodiscard]] bool IsImplicit() const { return m_implicit; }
    [[nodiscard]] bool IsTarget() const { return (m_usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0; }
    [[nodiscard]] Unknown* Container() const { return m_container; }
    // The back buffer's and automatic depth surface's multisample type and quality.
    [[nodiscard]] std::uint32_t MultiSampleType() const { return m_multiSample; }

private:
    friend class IDirect3DDevice9;
    friend class IDirect3DTexture9;
    friend class IDirect3DCubeTexture9;
    // `zeroed` false leaves the memory as it comes, for a maker that writes
    // all of it before anyone can read it.
    IDirect3DSurface9(IDirect3DDevice9* device, Unknown* container, std::uint32_t width, std::uint32_t height,
                      D3DFORMAT format, std::uint32_t usage, std::uint32_t pool, bool lockable, bool implicit,
                      bool zeroed = true);
    ~IDirect3DSurface9() override;

    Unknown* m_container; // owner texture (its count is this surface's count), or null
    std::uint32_t m_width, m_height;
    D3DFORMAT m_format;
    bool m_lockable;
    bool m_implicit; // back buffer or automatic depth surface: owned by the device
    std::uint32_t m_multiSample = 0, m_multiSampleQuality = 0;
    bool m_locked = false;
    std::uint32_t m_lockFlags = 0;
    std::unique_ptr<std::uint8_t[]> m_bytes;
};

class IDirect3DBaseTexture9 : public IDirect3DResource9 {
public:
    [[nodiscard]] std::uint32_t GetLevelCount() const { return m_levels; }
    std::uint32_t SetLOD(std::uint32_t lod);
    [[nodiscard]] std::uint32_t GetLOD() const { return m_lod; }
    [[nodiscard]] D3DFORMAT Format() const { return m_format; }
    // Bumped on every unlock of a level, so back ends know to upload again.
    [[nodiscard]] std::uint64_t ContentVersion() const { return m_contentVersion; }
    void Touch() { ++m_contentVersion; }

protected:
    IDirect3DBaseTexture9(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool, std::uint32_t usage,
                          D3DFORMAT format, std::uint32_t levels);
    D3DFORMAT m_format;
    std::uint32_t m_levels;
    std::uint32_t m_lod = 0;
    std::uint64_t m_contentVersion = 1;
};

class IDirect3DTexture9 final : public IDirect3DBaseTexture9 {
public:
    HRESULT GetLevelDesc(std::uint32_t level, D3DSURFACE_DESC* desc) const;
    HRESULT GetSurfaceLevel(std::uint32_t level, IDirect3DSurface9** surface);
    HRESULT LockRect(std::uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect, std::uint32_t flags);
    HRESULT UnlockRect(std::uint32_t level);
    HRESULT AddDirtyRect(const RECT*) { Touch(); return D3D_OK; }
    [[nodiscard]] IDirect3DSurface9* Level(std::uint32_t level) const {
        assert(level < m_levels && "texture level out of range");
        return m_surfaces[level].get();
    }

private:
    friend class IDirect3DDevice9;
    IDirect3DTexture9(IDirect3DDevice9* device, std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                      std::uint32_t usage, D3DFORMAT format, std::uint32_t pool, bool zeroed);
    ~IDirect3DTexture9() override;
    struct SurfaceDeleter { void operator()(IDirect3DSurface9* s) const; };
    std::vector<std::unique_ptr<IDirect3DSurface9, SurfaceDeleter>> m_surfaces;
};

class IDirect3DCubeTexture9 final : public IDirect3DBaseTexture9 {
public:
    HRESULT GetLevelDesc(std::uint32_t level, D3DSURFACE_DESC* desc) const;
    // Faces 0-5: +X, -X, +Y, -Y, +Z, -Z.
    HRESULT GetCubeMapSurface(std::uint32_t face, std::uint32_t level, IDirect3DSurface9** surface);
    HRESULT LockRect(std::uint32_t face, std::uint32_t level, D3DLOCKED_RECT* locked, const RECT* rect,
                     std::uint32_t flags);
    HRESULT UnlockRect(std::uint32_t face, std::uint32_t level);
    [[nodiscard]] IDirect3DSurface9* Face(std::uint32_t face, std::uint32_t level) const {
        assert(face < 6 && level < m_levels && "cube face or level out of range");
        return m_surfaces[face * m_levels + level].get();
    }

private:
    friend class IDirect3DDevice9;
    IDirect3DCubeTexture9(IDirect3DDevice9* device, std::uint32_t edge, std::uint32_t levels, std::uint32_t usage,
                          D3DFORMAT format, std::uint32_t pool, bool zeroed);
    ~IDirect3DCubeTexture9() override;
    struct SurfaceDeleter { void operator()(IDirect3DSurface9* s) const; };
    std::vector<std::unique_ptr<IDirect3DSurface9, SurfaceDeleter>> m_surfaces;
};

// One level of a volume texture: `depth` slices of rows, slice after slice
// (block formats: rows of 4x4 blocks per slice). Its count is its texture's.
class IDirect3DVolume9 final : public Unknown {
public:
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    [[nodiscard]] std::uint32_t RefCount() const override;
    HRESULT GetDesc(D3DVOLUME_DESC* desc) const;
    // A null box locks the whole level; block formats lock whole blocks across.
    HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, std::uint32_t flags);
    HRESULT UnlockBox();

    [[nodiscard]] std::uint32_t Width() const { return m_width; }
    [[nodiscard]] std::uint32_t Height() const { return m_height; }
    [[nodiscard]] std::uint32_t Depth() const { return m_depth; }
    [[nodiscard]] D3DFORMAT Format() const { return m_format; }
    [[nodiscard]] std::uint32_t RowPitch() const;
    [[nodiscard]] std::uint32_t SlicePitch() const;
    [[nodiscard]] const std::uint8_t* Bytes() const { return m_bytes.get(); }

private:
    friend class IDirect3DVolumeTexture9;
    IDirect3DVolume9(IDirect3DBaseTexture9* container, std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                     D3DFORMAT format, bool lockable, bool zeroed);
    ~IDirect3DVolume9() override = default;
    IDirect3DBaseTexture9* m_container;
    std::uint32_t m_width, m_height, m_depth;
    D3DFORMAT m_format;
    bool m_lockable;
    bool m_locked = false;
    std::uint32_t m_lockFlags = 0;
    std::unique_ptr<std::uint8_t[]> m_bytes;
};

class IDirect3DVolumeTexture9 final : public IDirect3DBaseTexture9 {
public:
    HRESULT GetLevelDesc(std::uint32_t level, D3DVOLUME_DESC* desc) const;
    HRESULT GetVolumeLevel(std::uint32_t level, IDirect3DVolume9** volume);
    HRESULT LockBox(std::uint32_t level, D3DLOCKED_BOX* locked, const D3DBOX* box, std::uint32_t flags);
    HRESULT UnlockBox(std::uint32_t level);
    HRESULT AddDirtyBox(const D3DBOX*) { Touch(); return D3D_OK; }
    [[nodiscard]] IDirect3DVolume9* Level(std::uint32_t level) const {
        assert(level < m_levels && "volume level out of range");
        return m_volumes[level].get();
    }

private:
    friend class IDirect3DDevice9;
    IDirect3DVolumeTexture9(IDirect3DDevice9* device, std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                            std::uint32_t levels, std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                            bool zeroed);
    ~IDirect3DVolumeTexture9() override;
    struct VolumeDeleter { void operator()(IDirect3DVolume9* v) const; };
    std::vector<std::unique_ptr<IDirect3DVolume9, VolumeDeleter>> m_volumes;
};

// Vertex and index buffers share their memory rules. A DYNAMIC buffer locked
// with DISCARD gets fresh storage (draws already issued keep the old bytes);
// NOOVERWRITE keeps the contents and does not wait; 0 keeps them and waits.
class BufferResource : public IDirect3DResource9 {
public:
    [[nodiscard]] std::uint32_t Size() const { return static_cast<std::uint32_t>(m_bytes.size()); }
    [[nodiscard]] const std::uint8_t* Bytes() const { return m_bytes.data(); }
    [[nodiscard]] std::uint64_t ContentVersion() const { return m_contentVersion; }
    // Bytes changed since the back end last took them: [dirtyBegin, dirtyEnd).
    std::uint32_t dirtyBegin = 0, dirtyEnd = 0;
    // Set by DISCARD: the back end gives the buffer new storage before it
    // takes the dirty bytes, and clears this.
    bool renamed = false;
    // A draw reads [begin, end): in strict mode, checked against the bytes
    // written since the last DISCARD and remembered for NOOVERWRITE locks;
    // otherwise nothing is kept.
    void NoteDrawRead(std::uint32_t begin, std::uint32_t end);

protected:
    BufferResource(IDirect3DDevice9* device, std::uint32_t type, std::uint32_t pool, std::uint32_t usage,
                   std::uint32_t size);
    HRESULT LockBytes(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags);
    HRESULT UnlockBytes();
    std::vector<std::uint8_t> m_bytes;
    bool m_locked = false;
    std::uint32_t m_lockOffset = 0, m_lockSize = 0, m_lockFlags = 0;
    std::uint64_t m_contentVersion = 1;
    // Since creation or the last DISCARD: byte ranges written, and read by draws.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_written, m_read;
};

class IDirect3DVertexBuffer9 final : public BufferResource {
public:
    HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
        return LockBytes(offset, size, data, flags);
    }
    HRESULT Unlock() { return UnlockBytes(); }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) const;

private:
    friend class IDirect3DDevice9;
    IDirect3DVertexBuffer9(IDirect3DDevice9* device, std::uint32_t size, std::uint32_t usage, std::uint32_t fvf,
                           std::uint32_t pool)
        : BufferResource(device, D3DRTYPE_VERTEXBUFFER, pool, usage, size), m_fvf(fvf) {}
    std::uint32_t m_fvf;
};

class IDirect3DIndexBuffer9 final : public BufferResource {
public:
    HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) {
        return LockBytes(offset, size, data, flags);
    }
    HRESULT Unlock() { return UnlockBytes(); }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) const;
    [[nodiscard]] D3DFORMAT Format() const { return m_format; }

private:
    friend class IDirect3DDevice9;
    IDirect3DIndexBuffer9(IDirect3DDevice9* device, std::uint32_t size, std::uint32_t usage, D3DFORMAT format,
                          std::uint32_t pool)
        : BufferResource(device, D3DRTYPE_INDEXBUFFER, pool, usage, size), m_format(format) {}
    D3DFORMAT m_format;
    // The smallest and largest index of the range a draw last read, kept
    // while the bytes stay: a static mesh drawn every frame is scanned once.
    struct Scanned {
        std::uint64_t version = 0;
        std::uint32_t start = 0, count = 0, low = 0, high = 0;
    };
    mutable Scanned m_scanned;
};

// Objects that live outside the resource pools (they survive Reset).
class DeviceChild : public Unknown {
public:
    HRESULT GetDevice(IDirect3DDevice9** device);

protected:
    explicit DeviceChild(IDirect3DDevice9* device);
    ~DeviceChild() override;
    friend class IDirect3DDevice9;
    IDirect3DDevice9* m_device;
};

struct VertexLayout;

class IDirect3DVertexDeclaration9 final : public DeviceChild {
public:
    // Elements including the end marker; count in, count out (D3D's convention).
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, std::uint32_t* count) const;
    [[nodiscard]] const std::vector<D3DVERTEXELEMENT9>& Elements() const { return m_elements; }
    // Where the elements sit, worked out once: every draw reads it. A
    // program reads what it declares; the fixed-function path needs a position.
    [[nodiscard]] const VertexLayout& Layout(bool forProgram) const {
        return forProgram ? *m_programLayout : *m_layout;
    }

private:
    friend class IDirect3DDevice9;
    IDirect3DVertexDeclaration9(IDirect3DDevice9* device, std::vector<D3DVERTEXELEMENT9> elements);
    ~IDirect3DVertexDeclaration9() override;
    std::vector<D3DVERTEXELEMENT9> m_elements; // without the end marker
    std::unique_ptr<const VertexLayout> m_layout, m_programLayout;
};

struct TranslatedShader;

class ShaderObject : public DeviceChild {
public:
    // Token stream in bytes; size in/out as D3D does (null data asks the size).
    HRESULT GetFunction(void* data, std::uint32_t* size) const;
    // The program as the back ends run it, made once at creation.
    [[nodiscard]] const TranslatedShader& Translation() const { return *m_translation; }
    // Never reused within a process: what linked programs are cached by.
    [[nodiscard]] std::uint32_t ProgramId() const { return m_programId; }

protected:
    ShaderObject(IDirect3DDevice9* device, std::vector<std::uint32_t> tokens,
                 std::shared_ptr<const TranslatedShader> translation);
    std::vector<std::uint32_t> m_tokens;
    std::shared_ptr<const TranslatedShader> m_translation;
    std::uint32_t m_programId = 0;
};
class IDirect3DVertexShader9 final : public ShaderObject {
    friend class IDirect3DDevice9;
    using ShaderObject::ShaderObject;
};
class IDirect3DPixelShader9 final : public ShaderObject {
    friend class IDirect3DDevice9;
    using ShaderObject::ShaderObject;
};

// Everything a device stores; the back ends draw from it.
struct DeviceState {
    static constexpr std::uint32_t kRenderStates = 256;
    static constexpr std::uint32_t kStages = 16, kStageStates = 33;
    static constexpr std::uint32_t kSamplers = 16, kSamplerStates = 14;
    // The vertex samplers follow the pixel ones in `textures` and `samplerStates`.
    static constexpr std::uint32_t kVertexSamplers = 4;
    // Where sampler number `n` (0-15, or D3DVERTEXTEXTURESAMPLER0-3) is kept; -1 for none.
    [[nodiscard]] static int SamplerSlot(std::uint32_t n) {
        if (n < kSamplers) return int(n);
        if (n >= D3DVERTEXTEXTURESAMPLER0 && n < D3DVERTEXTEXTURESAMPLER0 + kVertexSamplers)
            return int(kSamplers + n - D3DVERTEXTEXTURESAMPLER0);
        return -1;
    }
    static constexpr std::uint32_t kStreams = 16, kTargets = 4;
    static constexpr std::uint32_t kMaxActiveLights = 8;
    static constexpr std::uint32_t kVsConstF = 256, kPsConstF = 224, kConstI = 16, kConstB = 16;

    struct Light {
        D3DLIGHT9 light;
        bool enabled = false;
    };
    struct Stream {
        IDirect3DVertexBuffer9* buffer = nullptr; // holds one reference
        std::uint32_t offset = 0, stride = 0;
    };

    std::array<std::uint32_t, kRenderStates> renderStates{};
    std::array<std::array<std::uint32_t, kStageStates>, kStages> stageStates{};
    std::array<std::array<std::uint32_t, kSamplerStates>, kSamplers + kVertexSamplers> samplerStates{};
    D3DMATRIX view{}, projection{};
    std::array<D3DMATRIX, 8> texture{};
    // World matrices 0-255: 0-3 for plain vertex blending, all for indexed.
    std::array<D3DMATRIX, 256> world{};
    std::uint32_t worldCount = 4; // one past the highest world matrix set since the last reset (at least 4)
    D3DMATERIAL9 material;
    std::map<std::uint32_t, Light> lights; // sparse, by index
    D3DVIEWPORT9 viewport;
    RECT scissor{0, 0, 0, 0};
    std::uint32_t fvf = 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    std::array<Stream, kStreams> streams{};
    IDirect3DIndexBuffer9* indices = nullptr;
    std::array<IDirect3DBaseTexture9*, kStages + kVertexSamplers> textures{}; // stages 0-15, then the vertex samplers
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    std::vector<float> vsConstF = std::vector<float>(kVsConstF * 4, 0.0f);
    std::vector<float> psConstF = std::vector<float>(kPsConstF * 4, 0.0f);
    std::array<std::int32_t, kConstI * 4> vsConstI{}, psConstI{};
    std::array<std::int32_t, kConstB> vsConstB{}, psConstB{};
    // Rises with every program constant set; programs compare what they last sent only then.
    std::uint64_t constantSerial = 1;
    std::array<IDirect3DSurface9*, kTargets> renderTargets{};
    IDirect3DSurface9* depthStencil = nullptr;
    bool softwareVertexProcessing = false;
    // Rises with every change of what a generated program is chosen by, or
    // its less frequent inputs read: render and stage states, lights,
    // material, view, projection and texture matrices, viewport, target 0,
    // vertex format. World matrices, textures, samplers, streams, indices and
    // the programs set leave it: draws change those all the time.
    std::uint64_t serial = 0;
};

// What the null back end records, and what every back end receives to draw.
struct RecordedCall {
    enum class Kind { Clear, DrawPrimitive, DrawIndexedPrimitive, DrawPrimitiveUP, DrawIndexedPrimitiveUP, Present };
    Kind kind = Kind::Clear;
    std::uint32_t primitiveType = 0, primitiveCount = 0;
    std::int32_t baseVertex = 0;
    std::uint32_t startVertex = 0, minIndex = 0, numVertices = 0, startIndex = 0;
    std::uint32_t fvf = 0;
    std::uint32_t flags = 0, rectCount = 0;
    D3DCOLOR color = 0;
    float z = 0;
    std::uint32_t stencil = 0;
};

// A state call as the device received it, with its result (recorded beside the draws, for tests
// of the code that drives the device).
struct StateCall {
    enum class Kind {
        SetRenderState, SetTextureStageState, SetSamplerState, SetTexture, SetLight, LightEnable, SetMaterial,
        SetFVF, SetVertexDeclaration, SetVertexShader, SetPixelShader, SetSoftwareVertexProcessing,
        SetVertexShaderConstantF, SetVertexShaderConstantI, SetVertexShaderConstantB, SetPixelShaderConstantF,
        SetPixelShaderConstantI, SetPixelShaderConstantB
    };
    Kind kind = Kind::SetRenderState;
    std::uint32_t index = 0;      // state, stage, sampler, light index or first register
    std::uint32_t type = 0;       // stage or sampler state
    std::uint32_t value = 0;      // value, enable flag, FVF or register count
    const void* object = nullptr; // texture, declaration or shader
    HRESULT result = D3D_OK;
};

class IDirect3DDevice9 final : public Unknown {
public:
    std::uint32_t Release() override;

    HRESULT TestCooperativeLevel() const;
    [[nodiscard]] std::uint32_t GetAvailableTextureMem() const;
    // Also lets go of the level memory kept for reuse.
    HRESULT EvictManagedResources();
    HRESULT GetDirect3D(IDirect3D9** d3d);
    HRESULT GetDeviceCaps(D3DCAPS9* caps) const;
    HRESULT GetDisplayMode(std::uint32_t swapChain, D3DDISPLAYMODE* mode) const;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) const;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params);
    HRESULT Present(const RECT* source, const RECT* dest, WindowHandle window, const void* dirtyRegion);
    HRESULT GetBackBuffer(std::uint32_t swapChain, std::uint32_t index, std::uint32_t type,
                          IDirect3DSurface9** surface);

    HRESULT CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                          D3DFORMAT format, std::uint32_t pool, IDirect3DTexture9** texture, void* shared);
    HRESULT CreateCubeTexture(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                              std::uint32_t pool, IDirect3DCubeTexture9** texture, void* shared);
    HRESULT CreateVolumeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t levels,
                                std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                IDirect3DVolumeTexture9** texture, void* shared);
    HRESULT CreateVertexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t fvf, std::uint32_t pool,
                               IDirect3DVertexBuffer9** buffer, void* shared);
    HRESULT CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                              IDirect3DIndexBuffer9** buffer, void* shared);
    HRESULT CreateRenderTarget(std::uint32_t width, std::uint32_t height, D3DFORMAT format,
                               std::uint32_t multiSample, std::uint32_t quality, std::int32_t lockable,
                               IDirect3DSurface9** surface, void* shared);
    HRESULT CreateDepthStencilSurface(std::uint32_t width, std::uint32_t height, D3DFORMAT format,
                                      std::uint32_t multiSample, std::uint32_t quality, std::int32_t discard,
                                      IDirect3DSurface9** surface, void* shared);
    HRESULT CreateOffscreenPlainSurface(std::uint32_t width, std::uint32_t height, D3DFORMAT format,
                                        std::uint32_t pool, IDirect3DSurface9** surface, void* shared);
    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                          const POINT* destPoint);
    HRESULT GetRenderTargetData(IDirect3DSurface9* target, IDirect3DSurface9* dest);

    HRESULT SetRenderTarget(std::uint32_t index, IDirect3DSurface9* surface);
    HRESULT GetRenderTarget(std::uint32_t index, IDirect3DSurface9** surface);
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface);
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface);

    HRESULT BeginScene();
    HRESULT EndScene();
    HRESULT Clear(std::uint32_t count, const D3DRECT* rects, std::uint32_t flags, D3DCOLOR color, float z,
                  std::uint32_t stencil);

    HRESULT SetTransform(std::uint32_t state, const D3DMATRIX* matrix);
    HRESULT GetTransform(std::uint32_t state, D3DMATRIX* matrix) const;
    HRESULT MultiplyTransform(std::uint32_t state, const D3DMATRIX* matrix);
    HRESULT SetViewport(const D3DVIEWPORT9* viewport);
    HRESULT GetViewport(D3DVIEWPORT9* viewport) const;
    HRESULT SetMaterial(const D3DMATERIAL9* material);
    HRESULT GetMaterial(D3DMATERIAL9* material) const;
    HRESULT SetLight(std::uint32_t index, const D3DLIGHT9* light);
    HRESULT GetLight(std::uint32_t index, D3DLIGHT9* light) const;
    HRESULT LightEnable(std::uint32_t index, std::int32_t enable);
    HRESULT GetLightEnable(std::uint32_t index, std::int32_t* enable) const;
    HRESULT SetRenderState(std::uint32_t state, std::uint32_t value);
    HRESULT GetRenderState(std::uint32_t state, std::uint32_t* value) const;
    HRESULT SetTexture(std::uint32_t stage, IDirect3DBaseTexture9* texture);
    HRESULT GetTexture(std::uint32_t stage, IDirect3DBaseTexture9** texture);
    HRESULT SetTextureStageState(std::uint32_t stage, std::uint32_t type, std::uint32_t value);
    HRESULT GetTextureStageState(std::uint32_t stage, std::uint32_t type, std::uint32_t* value) const;
    HRESULT SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value);
    HRESULT GetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t* value) const;
    HRESULT ValidateDevice(std::uint32_t* passes) const;
    HRESULT SetScissorRect(const RECT* rect);
    HRESULT GetScissorRect(RECT* rect) const;
    HRESULT SetSoftwareVertexProcessing(std::int32_t software);
    // N-patches are not performed: only "off" (fewer than one segment) is accepted.
    HRESULT SetNPatchMode(float segments);
    [[nodiscard]] float GetNPatchMode() const { return m_nPatchSegments; }
    [[nodiscard]] std::int32_t GetSoftwareVertexProcessing() const { return m_state.softwareVertexProcessing; }

    HRESULT DrawPrimitive(std::uint32_t type, std::uint32_t startVertex, std::uint32_t primitiveCount);
    HRESULT DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertex, std::uint32_t minIndex,
                                 std::uint32_t numVertices, std::uint32_t startIndex, std::uint32_t primitiveCount);
    HRESULT DrawPrimitiveUP(std::uint32_t type, std::uint32_t primitiveCount, const void* vertices,
                            std::uint32_t stride);
    HRESULT DrawIndexedPrimitiveUP(std::uint32_t type, std::uint32_t minIndex, std::uint32_t numVertices,
                                   std::uint32_t primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                   const void* vertices, std::uint32_t stride);

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** decl);
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl);
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** decl);
    HRESULT SetFVF(std::uint32_t fvf);
    HRESULT GetFVF(std::uint32_t* fvf) const;
    // The token stream and its size in bytes; created whatever the caps say.
    HRESULT CreateVertexShader(const std::uint32_t* function, std::uint32_t byteSize, IDirect3DVertexShader9** shader);
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader);
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader);
    HRESULT SetVertexShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count);
    HRESULT GetVertexShaderConstantF(std::uint32_t start, float* data, std::uint32_t count) const;
    HRESULT SetVertexShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count);
    HRESULT SetVertexShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count);
    HRESULT GetVertexShaderConstantI(std::uint32_t start, std::int32_t* data, std::uint32_t count) const;
    HRESULT GetVertexShaderConstantB(std::uint32_t start, std::int32_t* data, std::uint32_t count) const;
    HRESULT CreatePixelShader(const std::uint32_t* function, std::uint32_t byteSize, IDirect3DPixelShader9** shader);
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader);
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader);
    HRESULT SetPixelShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count);
    HRESULT GetPixelShaderConstantF(std::uint32_t start, float* data, std::uint32_t count) const;
    HRESULT SetPixelShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count);
    HRESULT SetPixelShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count);
    HRESULT GetPixelShaderConstantI(std::uint32_t start, std::int32_t* data, std::uint32_t count) const;
    HRESULT GetPixelShaderConstantB(std::uint32_t start, std::int32_t* data, std::uint32_t count) const;
    HRESULT SetStreamSource(std::uint32_t stream, IDirect3DVertexBuffer9* buffer, std::uint32_t offset,
                            std::uint32_t stride);
    HRESULT GetStreamSource(std::uint32_t stream, IDirect3DVertexBuffer9** buffer, std::uint32_t* offset,
                            std::uint32_t* stride);
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices);
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices);

    // ---- not of the published interface: test hooks and back-end views ----
    // For loaders that write every byte of every level before anything reads
    // them: as CreateTexture and CreateCubeTexture, but the levels' memory is
    // not zeroed first (every other way of making a surface zeroes it).
    HRESULT CreateTextureToFill(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                                D3DFORMAT format, std::uint32_t pool, IDirect3DTexture9** texture);
    HRESULT CreateCubeTextureToFill(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                                    std::uint32_t pool, IDirect3DCubeTexture9** texture);
    HRESULT CreateVolumeTextureToFill(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                                      std::uint32_t levels, std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                                      IDirect3DVolumeTexture9** texture);
    // Loss injection: TestCooperativeLevel gives DEVICELOST until EndDeviceLoss,
    // then DEVICENOTRESET until a Reset succeeds.
    void SimulateDeviceLoss();
    void EndDeviceLoss();
    [[nodiscard]] const DeviceState& State() const { return m_state; }
    [[nodiscard]] const D3DPRESENT_PARAMETERS& PresentParameters() const { return m_params; }
    [[nodiscard]] const std::vector<RecordedCall>& RecordedCalls() const { return m_recorded; }
    void ClearRecordedCalls() { m_recorded.clear(); }
    void SetCallRecording(bool on) { m_recording = on; }
    // State calls, recorded while call recording is on (kept apart from the draws).
    [[nodiscard]] const std::vector<StateCall>& StateCalls() const { return m_stateCalls; }
    void ClearStateCalls() { m_stateCalls.clear(); }
    void InjectBackendFault(BackendFault fault);
    [[nodiscard]] const char* BackendName() const;
    [[nodiscard]] IDirect3DSurface9* BackBufferSurface() const { return m_backBuffers.empty() ? nullptr : m_backBuffers[0]; }
    [[nodiscard]] std::size_t LiveDefaultPoolResources() const { return m_defaultPoolCount; }
    // Every resource (but the device's own back buffers and depth surface)
    // and every declaration or shader still alive, held by anyone.
    [[nodiscard]] std::size_t LiveResources() const;
    [[nodiscard]] std::size_t LiveChildren() const { return m_children.size(); }

    // Called by resources (not by users).
    void ResourceCreated(IDirect3DResource9* resource);
    void ResourceDestroyed(IDirect3DResource9* resource);
    void ChildCreated(Unknown* child) { m_children.insert(child); }
    void ChildDestroyed(Unknown* child) {
        [[maybe_unused]] const std::size_t erased = m_children.erase(child);
        assert(erased == 1 && "a device child the device never made");
    }
    [[nodiscard]] Backend* GetBackend() const { return m_backend.get(); }
    // Level memory: surfaces take theirs here and give it back when they go.
    // Large blocks let go are kept (up to kSpareBytesLimit, the newest) for
    // the next surface of the same size, so textures made and dropped in
    // turn reuse warm memory instead of the allocator handing pages back to
    // the system and faulting fresh ones in. `zeroed` false: the maker
    // writes every byte before anything reads them.
    [[nodiscard]] std::unique_ptr<std::uint8_t[]> TakeSurfaceBytes(std::size_t size, bool zeroed);
    void GiveBackSurfaceBytes(std::unique_ptr<std::uint8_t[]> bytes, std::size_t size);
    [[nodiscard]] std::size_t SpareSurfaceBytes() const { return m_spareTotal; }
    static constexpr std::size_t kSpareBytesMinimum = std::size_t(64) << 10;
    static constexpr std::size_t kSpareBytesLimit = std::size_t(32) << 20;

private:
    friend class IDirect3D9;
    IDirect3DDevice9(IDirect3D9* d3d, std::unique_ptr<Backend> backend, std::uint32_t adapter,
                     std::uint32_t deviceType, WindowHandle focus, std::uint32_t behavior);
    ~IDirect3DDevice9() override;
    HRESULT Open(const D3DPRESENT_PARAMETERS& params);
    void CreateImplicitSurfaces();
    void DestroyImplicitSurfaces();
    void SetDefaultStates();
    void ReleaseBindings();
    HRESULT PrepareDraw(std::uint32_t type, std::uint32_t primitiveCount) const;
    // The layout the next draw reads: the declaration's, or the vertex format's
    // (kept while the format stays).
    const VertexLayout& CurrentLayout();
    HRESULT MakeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                        D3DFORMAT format, std::uint32_t pool, IDirect3DTexture9** texture, bool zeroed);
    HRESULT MakeCubeTexture(std::uint32_t edge, std::uint32_t levels, std::uint32_t usage, D3DFORMAT format,
                            std::uint32_t pool, IDirect3DCubeTexture9** texture, bool zeroed);
    HRESULT MakeVolumeTexture(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t levels,
                              std::uint32_t usage, D3DFORMAT format, std::uint32_t pool,
                              IDirect3DVolumeTexture9** texture, bool zeroed);
    // The format of the display the device shows on: the desktop's windowed,
    // the back buffer's X twin full screen. Textures are checked against it.
    [[nodiscard]] D3DFORMAT DisplayFormat() const;
    void Record(const RecordedCall& call);
    HRESULT RecordState(StateCall::Kind kind, std::uint32_t index, std::uint32_t type, std::uint32_t value,
                        const void* object, HRESULT result);
    [[nodiscard]] bool Lost() const { return m_loss != LossState::None; }

    enum class LossState { None, Lost, NotReset };

    IDirect3D9* m_d3d; // holds one reference
    std::unique_ptr<Backend> m_backend;
    D3DDEVICE_CREATION_PARAMETERS m_creation;
    D3DCAPS9 m_caps{}; // the table's, with what the back end's driver decides
    D3DPRESENT_PARAMETERS m_params;
    DeviceState m_state;
    std::vector<IDirect3DSurface9*> m_backBuffers; // implicit, owned
    IDirect3DSurface9* m_autoDepth = nullptr;      // implicit, owned
    std::set<IDirect3DResource9*> m_resources;     // live, not owned
    std::set<Unknown*> m_children;                 // declarations and shaders, not owned
    std::size_t m_defaultPoolCount = 0;
    bool m_inScene = false;
    float m_nPatchSegments = 0.0f;
    LossState m_loss = LossState::None;
    bool m_recording = false;
    std::vector<RecordedCall> m_recorded;
    std::vector<StateCall> m_stateCalls;
    struct SpareBytes {
        std::size_t size;
        std::unique_ptr<std::uint8_t[]> bytes;
    };
    std::vector<SpareBytes> m_spare; // oldest first
    std::size_t m_spareTotal = 0;
    std::unique_ptr<VertexLayout> m_fvfLayout;
    std::uint32_t m_fvfLayoutFvf = 0;
};

class IDirect3D9 final : public Unknown {
public:
    [[nodiscard]] std::uint32_t GetAdapterCount() const;
    HRESULT GetAdapterIdentifier(std::uint32_t adapter, std::uint32_t flags, D3DADAPTER_IDENTIFIER9* id) const;
    [[nodiscard]] std::uint32_t GetAdapterModeCount(std::uint32_t adapter, D3DFORMAT format) const;
    HRESULT EnumAdapterModes(std::uint32_t adapter, D3DFORMAT format, std::uint32_t mode,
                             D3DDISPLAYMODE* out) const;
    HRESULT GetAdapterDisplayMode(std::uint32_t adapter, D3DDISPLAYMODE* mode) const;
    HRESULT CheckDeviceType(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT displayFormat,
                            D3DFORMAT backBufferFormat, std::int32_t windowed) const;
    HRESULT CheckDeviceFormat(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT adapterFormat,
                              std::uint32_t usage, std::uint32_t resourceType, D3DFORMAT checkFormat) const;
    HRESULT CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT surfaceFormat,
                                       std::int32_t windowed, std::uint32_t multiSampleType,
                                       std::uint32_t* qualityLevels) const;
    HRESULT CheckDepthStencilMatch(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) const;
    HRESULT GetDeviceCaps(std::uint32_t adapter, std::uint32_t deviceType, D3DCAPS9* caps) const;
    HRESULT CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, WindowHandle focusWindow,
                         std::uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice9** device);

    [[nodiscard]] BackendKind Kind() const { return m_kind; }
    // Test hook: the next CreateDevice calls fail with this result (0 turns it off).
    void FailNextCreateDevice(HRESULT result, std::uint32_t count = 1) {
        m_failCreate = result;
        m_failCreateCount = count;
    }
    // Test hook: CheckDeviceFormat refuses every format for this resource
    // type (a driver without cube textures, say); 0 turns it off.
    void RefuseResourceType(std::uint32_t resourceType) { m_refusedType = resourceType; }

    struct Adapter {
        std::string description;
        std::vector<D3DDISPLAYMODE> modes;
        D3DDISPLAYMODE desktop;
    };

private:
    friend IDirect3D9* Direct3DCreate9(std::uint32_t sdkVersion, BackendKind kind);
    IDirect3D9(BackendKind kind, std::vector<Adapter> adapters);
    ~IDirect3D9() override;
    [[nodiscard]] bool HasModeFormat(std::uint32_t adapter, D3DFORMAT format) const;
    BackendKind m_kind;
    std::vector<Adapter> m_adapters;
    HRESULT m_failCreate = D3D_OK;
    std::uint32_t m_failCreateCount = 0;
    std::uint32_t m_refusedType = 0;
};

// The top object, as Direct3DCreate9 gives it: null unless sdkVersion is
// D3D_SDK_VERSION, SDL video starts and, for gl, the video driver offers
// OpenGL. Auto chooses the back end from ORVANE_GFX_BACKEND ("gl" or "null")
// when set, else gl.
[[nodiscard]] IDirect3D9* Direct3DCreate9(std::uint32_t sdkVersion, BackendKind kind = BackendKind::Auto);

// Why the last Direct3DCreate9 or CreateDevice failed, in the window layer's
// and the driver's words ("gfx gl: no OpenGL 3.3 core context: ..."), for the
// caller's own error text. Each of those calls clears it first; it stays empty
// when a call fails on its arguments alone.
[[nodiscard]] const std::string& GetLastFailureText();
void ClearLastFailureText();

// Strict buffer checks, a test switch (off by default): DISCARD fills the
// fresh storage with 0xCD, and each of these is counted and described on
// standard error: a NOOVERWRITE lock over bytes a draw read since the last
// DISCARD, a draw reading bytes not written since then, DISCARD or
// NOOVERWRITE on a buffer that is not DYNAMIC.
void SetStrictBufferChecks(bool on);
[[nodiscard]] bool StrictBufferChecks();
[[nodiscard]] std::uint32_t StrictBufferViolations();
// Off, and the count back to 0.
void ResetStrictBufferChecks();

// Call before creating an SDL window that a `gl` device will draw into: asks
// for an OpenGL 3.3 core context with 8-bit colour, 24-bit depth and 8-bit
// stencil, so the device can use the window's framebuffer as its back buffer
// (other windows work too, through a framebuffer object and a copy per Present).
void SetGlWindowAttributes();

// Test hook: 0 makes `gl` act as a driver without S3TC blocks (DXT formats
// refused), 1 as one with them, -1 asks the driver again.
void SetGlCompressedTexturesForTests(int mode);

// Test hook: 0 makes `gl` turn the rows it reads from a window over itself,
// as for a driver that cannot write them top-down; -1 asks the driver again.
void SetGlReadRowsTurnedForTests(int mode);

// Test hook: a check the null back end runs on each program when it is made,
// where the gl back end has the driver compile its GLSL (the tests give a GLSL
// compiler of their own); false, with one line in `failure`, refuses the
// program. Null (the default): every program is taken.
using NullProgramCheck = bool (*)(const TranslatedShader& program, std::string& failure);
void SetNullProgramCheckForTests(NullProgramCheck check);

// Test hook: how many shader stages the `gl` back ends of this process have
// had the driver compile.
[[nodiscard]] std::uint32_t GlShaderCompilesForTests();

// Test hook: the `gl` back end's check of large programs in a process of
// its own before they are made (GfxGlProgramGate.h). Setting it forgets the
// verdicts kept so far.
struct GlProgramGateForTests {
    enum class Helper : std::uint8_t {
        Real,    // checks the program
        Crashes, // dies of SIGSEGV before it answers
        Hangs,   // never answers, using no processor time
        Spins,   // never answers, using processor time
        NotMade, // no process can be made
    };
    Helper helper = Helper::Real;
    bool everyProgram = false;     // small programs are checked too
    std::uint32_t milliseconds = 0; // the processor-time budget; 0: the default
};
void SetGlProgramGateForTests(const GlProgramGateForTests& gate);
// How many check processes the `gl` back ends of this process have started,
// and how many programs the check refused (each made again counted again).
[[nodiscard]] std::uint32_t GlProgramGateRunsForTests();
[[nodiscard]] std::uint32_t GlProgramGateRefusalsForTests();

// The caps table shared by both back ends (GfxCaps.cpp).
[[nodiscard]] D3DCAPS9 DeviceCaps(std::uint32_t adapter);

} // namespace gfx
