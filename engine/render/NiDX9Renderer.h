#pragma once

#include "engine/core/NiVec3.h"
#include "engine/render/NiDX9GeometryDataManager.h"
#include "engine/render/NiDX9IndexBufferManager.h"
#include "engine/render/NiDX9LightManager.h"
#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9SystemInfo.h"
#include "engine/render/NiDX9TextureManager.h"
#include "engine/render/NiDX9VertexBufferManager.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/render/image/NiPixelFormat.h"
#include "platform/gfx/Gfx.h"

#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class NiD3DDefaultShader;
class NiD3DShaderInterface;
class NiD3DPixelShader;
class NiD3DVertexShader;
class NiDX9GeometryBufferData;
class NiGeometry;
class NiBoundSphere;
class NiDX9BackBufferTarget;
class NiDX9RenderedTextureData;
class NiDX9RenderTarget;
class NiDX9TextureRenderTarget;
class NiXform;

// The renderer on the graphics device: describes the machine, creates the
// device on the game window with a fallback over vertex-processing kinds,
// reads and checks its capabilities and builds the texture format tables and
// default images the rest of the renderer draws with.
class NiDX9Renderer : public NiRenderer
{
    NiDeclareTypeInfo()

public:
    // Creation flags.
    enum FlagType : std::uint32_t
    {
        USE_NOFLAGS = 0x00,
        USE_MANUALDEPTHSTENCIL = 0x01, // no depth buffer
        USE_FULLSCREEN = 0x04,
        USE_STENCIL = 0x08,
        USE_16BITBUFFERS = 0x10,
        USE_MULTITHREADED = 0x20,
        USE_FPU_PRESERVE = 0x40,
    };

    // Device kinds, tried downwards from the requested one.
    enum DeviceDesc : std::uint32_t
    {
        DEVDESC_PURE = 0,
        DEVDESC_HAL_HWVERTEX = 1,
        DEVDESC_HAL_MIXEDVERTEX = 2,
        DEVDESC_HAL_SWVERTEX = 3,
        DEVDESC_REF = 4,
        DEVDESC_REF_HWVERTEX = 5,
        DEVDESC_REF_MIXEDVERTEX = 6,
        DEVDESC_NUM = 7,
    };

    // Framebuffer format codes (0 lets the renderer choose).
    enum FrameBufferFormat : std::uint32_t
    {
        FBFMT_UNKNOWN = 0,
        FBFMT_R8G8B8 = 1,
        FBFMT_A8R8G8B8 = 2,
        FBFMT_X8R8G8B8 = 3,
        FBFMT_R5G6B5 = 4,
        FBFMT_X1R5G5B5 = 5,
        FBFMT_A1R5G5B5 = 6,
        FBFMT_A4R4G4B4 = 7,
        FBFMT_R3G3B2 = 8,
        FBFMT_A8 = 9,
        FBFMT_A8R3G3B2 = 10,
        FBFMT_X4R4G4B4 = 11,
        FBFMT_NUM = 12,
    };

    enum PresentationInterval : std::uint32_t
    {
        PRESENT_INTERVAL_IMMEDIATE = 0,
        PRESENT_INTERVAL_ONE = 1,
        PRESENT_INTERVAL_TWO = 2,
        PRESENT_INTERVAL_THREE = 3,
        PRESENT_INTERVAL_FOUR = 4,
    };

    enum SwapEffect : std::uint32_t
    {
        SWAPEFFECT_DEFAULT = 0,
        SWAPEFFECT_DISCARD = 1,
        SWAPEFFECT_FLIP = 2,
        SWAPEFFECT_COPY = 3,
    };

    // Multisample values: 0 none, 1 none with a lockable back buffer, 2-16
    // samples, negative non-maskable with quality = value & 0x7FFFFFFF.
    static constexpr std::int32_t FBMODE_DEFAULT = 0;
    static constexpr std::int32_t FBMODE_LOCKABLE = 1;

    // Capability flags (GetFlags).
    enum CapsFlags : std::uint32_t
    {
        CAPS_BASE = 0x6D,
        CAPS_TEXTURE_POW2 = 0x02,
        CAPS_STENCIL = 0x80,
        CAPS_WBUFFER = 0x100,
        CAPS_HARDWARE_SKINNING = 0x200,
    };

    // The four texture format tables and their entries.
    enum TextureUsage : std::uint32_t
    {
        TEXUSE_TEX = 0,
        TEXUSE_RENDERED_TEX = 1,
        TEXUSE_CUBE = 2,
        TEXUSE_RENDERED_CUBE = 3,
        TEXUSE_NUM = 4,
    };
    enum TextureFormat : std::uint32_t
    {
        TEX_RGB555 = 0,
        TEX_RGB565 = 1,
        TEX_RGB888 = 2,
        TEX_RGBA5551 = 3,
        TEX_RGBA4444 = 4,
        TEX_RGBA8888 = 5,
        TEX_PAL8 = 6,
        TEX_PALA8 = 7,
        TEX_DXT1 = 8,
        TEX_DXT3 = 9,
        TEX_DXT5 = 10,
        TEX_BUMP88 = 11,
        TEX_BUMPLUMA556 = 12,
        TEX_BUMPLUMA888 = 13,
        TEX_NUM = 14,
    };
    struct TextureFormatEntry
    {
        bool m_bValid = false;
        NiPixelFormat m_kPixelFormat;
        std::uint32_t m_uiIndex = 0; // the entry's place in its table
        gfx::D3DFORMAT m_eD3DFormat = gfx::D3DFMT_UNKNOWN;
    };
    using TextureFormatTable = std::array<TextureFormatEntry, TEX_NUM>;

    // Depth/stencil candidates in the order the searches try them.
    static constexpr gfx::D3DFORMAT DEPTH_STENCIL_CANDIDATES[NiDX9DisplayFormatInfo::DEPTH_CANDIDATES] = {
        gfx::D3DFMT_D16_LOCKABLE, gfx::D3DFMT_D32,          gfx::D3DFMT_D15S1,
        gfx::D3DFMT_D24S8,        gfx::D3DFMT_D24X8,        gfx::D3DFMT_D24X4S4,
        gfx::D3DFMT_D32F_LOCKABLE, gfx::D3DFMT_D24FS8,      gfx::D3DFMT_D16,
    };

    // How the platform's device top object is made: the stand-in for loading
    // the library and resolving its entry. Null means the platform has none.
    using Direct3DCreateFunction = gfx::IDirect3D9* (*)(std::uint32_t uiSDKVersion);
    // Reads the device's caps in place of the device (tests inject failures).
    using DeviceCapsFunction = gfx::HRESULT (*)(gfx::IDirect3DDevice9* pkDevice, gfx::D3DCAPS9* pkCaps);

    ~NiDX9Renderer() override;

    // The one renderer of the program; null with the error text set.
    [[nodiscard]] static NiRefPtr<NiDX9Renderer> Create(
        std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiUseFlags, gfx::WindowHandle kWndDevice,
        gfx::WindowHandle kWndFocus, std::uint32_t uiAdapter = 0, std::uint32_t eDesc = DEVDESC_PURE,
        std::uint32_t eFBFormat = FBFMT_UNKNOWN, gfx::D3DFORMAT eDSFormat = 0,
        std::uint32_t ePresentationInterval = PRESENT_INTERVAL_ONE, std::uint32_t eSwapEffect = SWAPEFFECT_DEFAULT,
        std::int32_t iFBMode = FBMODE_DEFAULT, std::uint32_t uiBackBufferCount = 1, std::uint32_t uiRefreshRate = 0);

    // The fourteen creation values back, as given.
    void GetCreationParameters(std::uint32_t& uiWidth, std::uint32_t& uiHeight, std::uint32_t& uiUseFlags,
                               gfx::WindowHandle& kWndDevice, gfx::WindowHandle& kWndFocus,
                               std::uint32_t& uiAdapter, std::uint32_t& eDesc, std::uint32_t& eFBFormat,
                               gfx::D3DFORMAT& eDSFormat, std::uint32_t& ePresentationInterval,
                               std::uint32_t& eSwapEffect, std::int32_t& iFBMode, std::uint32_t& uiBackBufferCount,
                               std::uint32_t& uiRefreshRate) const;

    // ---- process-wide: error text, the device top object, the description ----
    [[nodiscard]] static const char* GetLastErrorString();
    // Keeps at most 255 characters; null empties the text.
    static void SetLastErrorString(const char* pcText);

    // 0 when the device top object exists (made on the first call), -1 when
    // the platform has none.
    [[nodiscard]] static int LoadD3D9();
    [[nodiscard]] static gfx::IDirect3D9* GetDirect3D() { return ms_pkD3D9; }
    // Built once and kept; null when the platform has no device.
    [[nodiscard]] static NiDX9SystemInfo* GetSystemInfo();
    // Releases the top object and the description.
    static void ShutdownDirect3D();
    static void SetDirect3DCreateFunction(Direct3DCreateFunction pfnCreate);
    static void SetDeviceCapsFunction(DeviceCapsFunction pfnCaps) { ms_pfnDeviceCaps = pfnCaps; }
    // Everything process-wide back to a fresh process (tests).
    static void ResetStatics();
    // Whether the last renderer made has a 16-bit depth buffer: the next
    // renderer's state cache prefers the w-buffer by it.
    [[nodiscard]] static bool Get16BitDepthBuffer() { return ms_b16BitDepthBuffer; }
    static void Set16BitDepthBuffer(bool b16Bit) { ms_b16BitDepthBuffer = b16Bit; }

    // ---- formats ----
    [[nodiscard]] static gfx::D3DFORMAT FramebufferFormatToD3DFormat(std::uint32_t eFBFormat);
    [[nodiscard]] static std::uint32_t D3DFormatToFramebufferFormat(gfx::D3DFORMAT eFormat);
    // Bits per pixel for the format values 0 to 117; 0 above.
    [[nodiscard]] static std::uint32_t GetFormatBitsPerPixel(gfx::D3DFORMAT eFormat);
    // 8 to 128 for plain formats; 0 for no format, vertex data and the
    // four-character-code formats; -1 for values it does not know.
    [[nodiscard]] static int GetD3DFormatBits(gfx::D3DFORMAT eFormat);
    // The enumerator name of the value, "UNKNOWN" for others.
    [[nodiscard]] static const char* GetFormatName(gfx::D3DFORMAT eFormat);
    // Depth and stencil bits of a depth/stencil candidate; false for others.
    static bool GetDepthStencilBits(gfx::D3DFORMAT eFormat, std::uint32_t& uiDepth, std::uint32_t& uiStencil);

    // ---- tables read by the shaders ----
    // Clamp mode 0-3 to the U and V address modes; false out of range.
    static bool GetClampAddressModes(std::uint32_t uiClamp, std::uint32_t& uiU, std::uint32_t& uiV);
    // Filter mode 0-5 to magnification, minification and mip filters.
    static bool GetFilterModeStates(std::uint32_t uiFilter, std::uint32_t& uiMag, std::uint32_t& uiMin,
                                    std::uint32_t& uiMip);
    // Texture transform flags for projected texturing: 0x103 when the device
    // projects, else 2.
    [[nodiscard]] static std::uint32_t GetProjectedTextureFlags() { return ms_uiProjectedTextureFlags; }

    // ---- the device ----
    [[nodiscard]] gfx::IDirect3DDevice9* GetD3DDevice() const { return m_pkD3DDevice9; }
    [[nodiscard]] const gfx::D3DCAPS9& GetD3DCaps() const { return m_kD3DCaps9; }
    [[nodiscard]] const gfx::D3DPRESENT_PARAMETERS& GetPresentParams() const { return m_kD3DPresentParams; }
    [[nodiscard]] std::uint32_t GetAdapter() const { return m_uiAdapter; }
    [[nodiscard]] std::uint32_t GetDeviceType() const { return m_eDevType; }
    [[nodiscard]] std::uint32_t GetBehaviorFlags() const { return m_uiBehaviorFlags; }
    [[nodiscard]] bool GetSWVertexCapable() const { return m_bSWVertexCapable; }
    [[nodiscard]] bool GetSWVertexSwitchable() const { return m_bSWVertexSwitchable; }
    [[nodiscard]] const NiDX9AdapterDesc* GetAdapterDesc() const { return m_pkAdapterDesc; }
    [[nodiscard]] const NiDX9DeviceDesc* GetDeviceDesc() const { return m_pkDeviceDesc; }
    // Every state the renderer and the shaders set goes through this cache.
    [[nodiscard]] NiDX9RenderState* GetRenderState() const { return m_spRenderState; }
    [[nodiscard]] NiDX9LightManager* GetLightManager() const { return m_spLightManager; }
    // Draws geometry that has no shader of its own.
    [[nodiscard]] NiD3DDefaultShader* GetDefaultShader() const { return m_spDefaultShader; }

    [[nodiscard]] const char* GetDriverInfo() const override { return m_kDriverInfo.c_str(); }
    [[nodiscard]] std::uint32_t GetFlags() const override { return m_uiRendFlags; }
    [[nodiscard]] std::uint32_t GetMaxVertexBlendMatrices() const { return m_uiMaxNumBlendMatrices; }
    [[nodiscard]] std::uint32_t GetMaxStreams() const { return m_uiMaxStreams; }
    [[nodiscard]] std::uint32_t GetPixelShaderVersion() const { return m_uiMaxPixelShaderVersion; }
    [[nodiscard]] std::uint32_t GetVertexShaderVersion() const { return m_uiMaxVertexShaderVersion; }
    [[nodiscard]] bool GetMipmapCubeMaps() const { return m_bMipmapCubeMaps; }
    [[nodiscard]] std::uint32_t GetMaxSimultaneousRenderTargets() const { return m_uiNumSimultaneousRTs; }
    [[nodiscard]] bool GetIndependentBitDepths() const { return m_bIndependentBitDepths; }
    [[nodiscard]] bool GetMRTPostPixelShaderBlending() const { return m_bMRTPostPixelShaderBlending; }
    // Pixel, pixel base, pixel, vertex, vertex base, vertex, three vertex
    // bases and 2, as the shader system reads them.
    [[nodiscard]] const std::array<std::uint32_t, 10>& GetShaderVersionWords() const { return m_auiShaderVersions; }

    [[nodiscard]] const TextureFormatEntry& GetTextureFormat(std::uint32_t eUsage, std::uint32_t eFormat) const;
    // Null when the table has no entry at all.
    [[nodiscard]] const TextureFormatEntry* GetDefaultTextureFormat(std::uint32_t eUsage) const;
    // A whole table (an unknown usage gives an empty one).
    [[nodiscard]] const TextureFormatTable& GetTextureFormats(std::uint32_t eUsage) const;
    // The plain-texture format that best fits the preferences; null when the
    // device has none of the candidates.
    [[nodiscard]] const NiPixelFormat* FindClosestPixelFormat(const NiTexture::FormatPrefs& kPrefs) const;
    [[nodiscard]] NiPixelData* GetDefaultTextureData(std::uint32_t eUsage) const;
    [[nodiscard]] gfx::D3DFORMAT GetRenderTargetDepthFormat(std::uint32_t eFormat) const;
    // The render-target texture entry made the default; TEX_NUM when none.
    [[nodiscard]] std::uint32_t GetDefaultRenderTargetFormat() const { return m_eDefaultRenderTargetFormat; }
    // The 2x1 image (black, white) drawn where a texture is missing.
    [[nodiscard]] NiSourceTexture* GetDefaultTexture() const { return m_spDefaultTexture; }

    // ---- texture data ----
    [[nodiscard]] NiDX9TextureManager* GetTextureManager() const { return m_spTextureManager; }
    // Makes a source texture's data when it has none; true when the texture
    // then has data.
    bool PrecacheTexture(NiTexture* pkTexture) override;
    bool PurgeTextureRendererData(NiTexture* pkTexture) override;
    bool PurgeAllTextureRendererData() override;
    // The device's kept blocks of textures that went.
    void ReleaseSpareMemory() override;
    // Process-wide: every renderer's textures leave out this many top levels.
    bool SetMipmapSkipLevel(std::uint32_t uiLevel) override;
    [[nodiscard]] std::uint32_t GetMipmapSkipLevel() const override { return ms_uiMipmapSkipLevel; }

    // ---- vertex and index buffers ----
    [[nodiscard]] NiDX9VertexBufferManager* GetVBManager() const { return m_spVBManager; }
    [[nodiscard]] NiDX9IndexBufferManager* GetIBManager() const { return m_spIBManager; }
    [[nodiscard]] NiDX9GeometryDataManager* GetGeometryGroupManager() const { return m_spGeometryManager; }

    // ---- geometry drawing ----
    // Triangle shapes and strip sets, one code for both: packed into the
    // static group (the dynamic one for volatile or software-skinned data)
    // and drawn through the geometry's shader or the default shader.
    void DrawTriShape(NiTriBasedGeom* pkGeometry) override;
    void DrawTriStrips(NiTriBasedGeom* pkGeometry) { DrawTriShape(pkGeometry); }
    // The batched form: packed now, drawn at EndBatch with the batch's state.
    void RenderTriShape(NiTriBasedGeom* pkGeometry);
    void RenderTriStrips(NiTriBasedGeom* pkGeometry) { RenderTriShape(pkGeometry); }
    void BeginBatch(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet) override;
    void EndBatch() override;
    // Always through the default shader, in batches the 16-bit temporary
    // indices can address.
    void DrawLines(NiLines* pkLines, NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet) override;
    void DrawPoints(NiParticles* pkParticles) override;
    void RenderScreenPolygon(NiScreenPolygon* pkPolygon) override;
    // The single pipeline: one geometry (or none, for screen geometry) drawn
    // from its record through the shader (null: the geometry's, else the
    // default shader).
    void DrawGeometry(NiGeometry* pkGeometry, NiSkinInstance* pkSkin, NiDX9GeometryBufferData* pkBuffers,
                      NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet, const NiXform& kWorld,
                      const NiBoundSphere& kBound, NiD3DShaderInterface* pkShader = nullptr);
    // Makes the streams of a geometry now and queues its vertices for the
    // next BeginScene; true when the streams exist. The packing arguments:
    // caller bits of the records' keys, passed to the buffer group.
    bool PrecacheGeometry(NiGeometry* pkGeometry, std::uint32_t uiBonesPerPartition = 0,
                          std::uint32_t uiBonesPerVertex = 0, std::uint32_t uiKeyFlags = 0,
                          std::uint32_t uiReserved = 0);
    // Bone matrices of a skin instance, once per frame: each bone's world
    // transform with the skin's binding, in the skin's frame (64-byte rows).
    void CalculateBoneMatrices(NiSkinInstance* pkSkin, const NiXform& kWorld);
    // The same, and the buffer a vertex program reads: one matrix per bone
    // in 3 registers (48 bytes) or 4 (64 bytes; any other count means 4),
    // each register one row of the transposed matrix when bTranspose. With
    // bWorldSpaceBones the bones take the skin into world space; without,
    // they stay in the skin's frame and the skin-to-world matrix is kept
    // for the skin-world-view constants. The buffer is rebuilt once a frame
    // and whenever the bone count or the matrix size changes.
    void CalculateBoneMatrices(NiSkinInstance* pkSkin, const NiXform& kWorld, bool bTranspose,
                               std::uint32_t uiRegisters, bool bWorldSpaceBones);
    // The buffer of the five-argument form: null before one was made.
    [[nodiscard]] const float* GetBoneMatrixBuffer(const NiSkinInstance* pkSkin, std::uint32_t& uiCount,
                                                   std::uint32_t& uiRegisters) const;
    // The skin-to-world matrix kept by the five-argument form; false when
    // none was asked for.
    bool GetSkinMatrix(const NiSkinInstance* pkSkin, gfx::D3DMATRIX& kMatrix) const;
    // World matrices 256-259 from the partition's own bones (at most four),
    // the other slots identity; the world transform goes to the state cache.
    void SetSkinBoneTransforms(const NiSkinPartition::Partition* pkPartition, const NiSkinInstance* pkSkin,
                               const NiXform& kWorld);
    // The matrices CalculateBoneMatrices made; null before.
    [[nodiscard]] const gfx::D3DMATRIX* GetBoneMatrices(const NiSkinInstance* pkSkin, std::uint32_t& uiCount) const;
    void PurgeSkinInstanceRendererData(NiSkinInstance* pkSkin) override;
    // Whether the geometry is drawn from skin partitions on the device.
    [[nodiscard]] bool UsesHardwareSkinning(NiGeometry* pkGeometry, NiD3DShaderInterface* pkShader) const;
    // A partition the fixed-function device cannot blend (more bones than
    // its blend matrices, drawn by the default shader) is skinned here.
    [[nodiscard]] bool SkinsPartitionInSoftware(const NiD3DShaderInterface* pkShader,
                                                const NiSkinPartition::Partition& kPartition) const;
    // Packs one record (the data's, or one partition's); false when it
    // cannot be drawn. With a destination the vertices go there (a span the
    // caller holds locked) instead of through a lock of their own.
    bool RepackRecord(NiGeometryData* pkData, NiSkinInstance* pkSkin, NiSkinPartition::Partition* pkPartition,
                      NiD3DShaderInterface* pkShader, bool bForce, NiDX9GeometryBufferData* pkRecord,
                      void* pvDest = nullptr);
    // The queue PrecacheGeometry fills: records per vertex buffer.
    [[nodiscard]] std::size_t GetPendingRepackCount() const;
    // Process-wide free list of batch entries, and its test views.
    [[nodiscard]] static std::uint32_t GetFreeBatchEntryCount();
    static void FreeBatchEntryPool();
    // Keep-flag bits: the arrays static, precached data keeps after packing.
    static constexpr std::uint8_t KEEP_POSITIONS = 0x01;
    static constexpr std::uint8_t KEEP_NORMALS = 0x02;
    static constexpr std::uint8_t KEEP_COLORS = 0x04;
    static constexpr std::uint8_t KEEP_TEXTURES = 0x08;
    static constexpr std::uint8_t KEEP_INDICES = 0x10;

    // ---- frame ----
    void PurgeMaterialRendererData(NiMaterialProperty* pkMaterial) override;
    // A dying geometry data or skin partition gives its buffer records back.
    void PurgeGeometryRendererData(NiGeometryData* pkData) override;
    void PurgeSkinPartitionRendererData(NiSkinPartition* pkPartition) override;
    void PurgeEffectRendererData(NiDynamicEffect* pkEffect) override;
    using NiRenderer::SetBackgroundColor;
    void SetBackgroundColor(const NiColorRGBA& kColor) override;
    [[nodiscard]] NiColorRGBA GetBackgroundColor() const override;
    [[nodiscard]] std::uint32_t GetBackgroundColorARGB() const { return m_uiBackground; }
    void SetDepthClear(float fZClear) override { m_fZClear = fZClear; }
    void SetStencilClear(std::uint32_t uiClear) override { m_uiStencilClear = uiClear; }
    // Each frame operation first checks the device: a lost device makes it
    // a no-op, and BeginScene then leaves the in-scene flag clear.
    bool BeginScene() override;
    void EndScene() override;
    [[nodiscard]] bool IsInScene() const { return m_bInScene; }
    void ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags) override;
    void DisplayFrame() override;
    // Of the current render target.
    [[nodiscard]] std::uint32_t GetWidth() const override;
    [[nodiscard]] std::uint32_t GetHeight() const override;
    [[nodiscard]] std::uint32_t GetBitDepth() const override;

    // ---- camera and model transform ----
    // A frustum with no width, height or depth changes nothing.
    void SetCameraData(const NiVec3& kWorldLoc, const NiVec3& kWorldDir, const NiVec3& kWorldUp,
                       const NiVec3& kWorldRight, const NiViewFrustum& kFrustum, const NiRect<float>& kPort) override;
    // The model matrix of the next geometry; with bPush set also the
    // device's world transform.
    void SetModelTransform(const NiXform& kXform, bool bPush = true);
    // A transform as the device's row-vector matrix (scaled rotation
    // transposed, translation in the last row).
    [[nodiscard]] static gfx::D3DMATRIX XformToD3D(const NiXform& kXform);
    [[nodiscard]] const gfx::D3DMATRIX& GetD3DView() const { return m_kD3DView; }
    [[nodiscard]] const gfx::D3DMATRIX& GetInvView() const { return m_kInvView; }
    [[nodiscard]] const gfx::D3DMATRIX& GetD3DProj() const { return m_kD3DProj; }
    [[nodiscard]] const gfx::D3DMATRIX& GetD3DModel() const { return m_kD3DModel; }
    [[nodiscard]] const gfx::D3DMATRIX& GetD3DIdentity() const { return m_kD3DIdentity; }
    // Screen polygons: (0, 1) coordinates to clip space, with the camera's z terms.
    [[nodiscard]] const gfx::D3DMATRIX& GetScreenSpaceProjection() const { return m_kScreenSpaceProj; }
    // Pixels of the target to (0, 1) units, v upwards.
    [[nodiscard]] const gfx::D3DMATRIX& GetPixelToUnit() const { return m_kPixelToUnit; }
    [[nodiscard]] const NiVec3& GetCameraRight() const { return m_kCamRight; }
    [[nodiscard]] const NiVec3& GetCameraUp() const { return m_kCamUp; }
    // The camera axes in the current model's frame.
    [[nodiscard]] const NiVec3& GetModelCameraRight() const { return m_kModelCamRight; }
    [[nodiscard]] const NiVec3& GetModelCameraUp() const { return m_kModelCamUp; }
    [[nodiscard]] float GetCameraNear() const { return m_fNearDepth; }
    [[nodiscard]] float GetCameraDepthRange() const { return m_fDepthRange; }

    // The mirror flag of the state cache: projections flip x while set.
    [[nodiscard]] bool GetLeftRightSwap() const override;
    bool SetLeftRightSwap(bool bSwap) override;

    // ---- render targets ----
    bool SetRenderTarget(NiRenderedTexture* pkTarget) override;
    // Index 0 as SetRenderTarget; another index binds the texture's target
    // there, or unbinds it for null. False inside a scene.
    bool SetMultipleRenderTarget(std::uint32_t uiIndex, NiRenderedTexture* pkTarget);
    [[nodiscard]] NiDX9BackBufferTarget* GetDefaultRenderTarget() const { return m_pkDefaultTarget; }
    [[nodiscard]] NiDX9RenderTarget* GetCurrentRenderTarget() const { return m_pkCurrentTarget; }
    [[nodiscard]] NiRefPtr<NiPixelData> CaptureBackBuffer(const NiRect<std::int32_t>* pkRect) override;
    // Rendered textures and cube maps get their data here and are listed
    // until the data goes; true at once for a texture that has data.
    bool CreateRenderedTextureData(NiRenderedTexture* pkTexture) override;
    bool CreateRenderedCubeMapData(NiRenderedCubeMap* pkCubeMap) override;
    [[nodiscard]] std::size_t GetRenderedTextureCount() const { return m_kRenderedTextures.size(); }
    [[nodiscard]] std::size_t GetRenderedCubeMapCount() const { return m_kRenderedCubeMaps.size(); }
    // From the data's destructor: the texture leaves the list.
    void RemoveRenderedTexture(NiTexture* pkTexture, NiDX9RenderedTextureData* pkData);
    void RemoveRenderedCubeMap(NiTexture* pkCubeMap, NiDX9RenderedTextureData* pkData);
    // A target about to go stops being the current one.
    void ForgetRenderTarget(const NiDX9RenderTarget* pkTarget);
    // A target on level 0 of one cube face; its depth surface is the shared
    // target's when that has one, else a new 16-bit one.
    [[nodiscard]] static std::unique_ptr<NiDX9TextureRenderTarget> CreateRenderedTextureRendererData(
        gfx::IDirect3DCubeTexture9* pkCube, std::uint32_t uiFace, const NiDX9RenderTarget* pkShared,
        gfx::IDirect3DDevice9* pkDevice);

    // ---- device loss, reset, mode change ----
    // Other code's say in a loss and a reset: lost functions are called once
    // when a loss is first seen, reset functions before (true) and after
    // (false) every reset. A false answer stops the list, and a reset with it.
    using LostDeviceNotifyFunc = bool (*)(void* pvData);
    using ResetNotifyFunc = bool (*)(bool bBeforeReset, void* pvData);
    void AddLostDeviceNotifyFunc(LostDeviceNotifyFunc pfnNotify, void* pvData);
    void RemoveLostDeviceNotifyFunc(LostDeviceNotifyFunc pfnNotify, void* pvData);
    void AddResetNotifyFunc(ResetNotifyFunc pfnNotify, void* pvData);
    void RemoveResetNotifyFunc(ResetNotifyFunc pfnNotify, void* pvData);
    // Before every frame operation: false while the device is lost or cannot
    // be reset yet; a device waiting for its reset is reset here.
    bool CheckDevice();
    // Releases everything of the default pool, resets the device with the
    // back-buffer target's present parameters and builds it all again.
    bool ResetDevice();
    [[nodiscard]] bool IsDeviceLost() const { return m_bDeviceLost; }
    [[nodiscard]] std::uint32_t GetResetCounter() const { return m_uiResetCounter; }
    // A new mode through a reset: RECREATE_OK when it is in force,
    // RECREATE_OLD_MODE when it failed and the previous one came back,
    // RECREATE_FAILED when no working mode could be set. A null window keeps
    // the device window.
    enum RecreateStatus : std::uint32_t
    {
        RECREATE_FAILED = 0,
        RECREATE_OLD_MODE = 1,
        RECREATE_OK = 2,
    };
    std::uint32_t Recreate(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiUseFlags,
                           gfx::WindowHandle kWndDevice, std::uint32_t eFBFormat = FBFMT_UNKNOWN,
                           gfx::D3DFORMAT eDSFormat = 0, std::uint32_t ePresentationInterval = PRESENT_INTERVAL_ONE,
                           std::uint32_t eSwapEffect = SWAPEFFECT_DEFAULT, std::int32_t iFBMode = FBMODE_DEFAULT,
                           std::uint32_t uiBackBufferCount = 1, std::uint32_t uiRefreshRate = 0);

    // ---- shaders that keep device objects ----
    // Newest first; registered shaders are told of every reset and kept
    // until unregistered, purged or the renderer goes.
    void RegisterD3DShader(NiD3DShaderInterface* pkShader);
    void UnregisterD3DShader(NiD3DShaderInterface* pkShader);
    void PurgeD3DShader(NiD3DShaderInterface* pkShader);
    void PurgeAllD3DShaders();
    // A program lets go of its device shader: the state cache forgets it
    // first, so nothing stays bound that is gone.
    void PurgeVertexShader(NiD3DVertexShader* pkShader);
    void PurgePixelShader(NiD3DPixelShader* pkShader);
    [[nodiscard]] const std::vector<NiRefPtr<NiD3DShaderInterface>>& GetD3DShaders() const { return m_kD3DShaders; }

    // ---- renderer data of engine objects ----
    bool PurgeScreenTextureRendererData(NiScreenTexture* pkScreenTexture) override;
    void PurgeScreenPolygonRendererData(NiScreenPolygon* pkPolygon) override;
    bool PrecacheCubeMap(NiSourceCubeMap* pkCubeMap) override;
    bool CreateBltSourceData(NiBltSource* pkBltSource) override;
    // Whether the rendered texture (or cube map) is listed, with or without
    // data (between the two halves of a reset it has none).
    [[nodiscard]] bool IsRenderedTextureListed(const NiTexture* pkTexture) const;

    // ---- screen textures ----
    // Inside a scene: the rectangles over what was drawn, in pixels of the
    // current target, with a private state (vertex colours unlit, alpha
    // blending, no depth); the caller's property and effect sets come back.
    void RenderScreenTexture(NiScreenTexture* pkScreenTexture) override;

    // ---- blits ----
    // Copies the blit source (all of it, or the rectangle cut to its size)
    // into the current target at (x, y), cut at the target's edges.
    void Blit(NiBltSource* pkSource, const NiRect<std::uint32_t>* pkRect, std::uint32_t uiX, std::uint32_t uiY);

private:
    struct CreationParameters
    {
        std::uint32_t m_uiWidth = 0;
        std::uint32_t m_uiHeight = 0;
        std::uint32_t m_uiUseFlags = 0;
        gfx::WindowHandle m_kWndDevice = nullptr;
        gfx::WindowHandle m_kWndFocus = nullptr;
        std::uint32_t m_uiAdapter = 0;
        std::uint32_t m_eDesc = DEVDESC_PURE;
        std::uint32_t m_eFBFormat = FBFMT_UNKNOWN;
        gfx::D3DFORMAT m_eDSFormat = 0;
        std::uint32_t m_ePresentationInterval = PRESENT_INTERVAL_ONE;
        std::uint32_t m_eSwapEffect = SWAPEFFECT_DEFAULT;
        std::int32_t m_iFBMode = FBMODE_DEFAULT;
        std::uint32_t m_uiBackBufferCount = 1;
        std::uint32_t m_uiRefreshRate = 0;
    };

    NiDX9Renderer();
    [[nodiscard]] bool Initialize(const CreationParameters& kParams);
    [[nodiscard]] bool ChooseFormatsAndMode(gfx::D3DPRESENT_PARAMETERS& kPresent) const;
    [[nodiscard]] bool CheckDeviceCaps();
    [[nodiscard]] bool RebuildDefaults();
    void BuildDriverInfo();
    void ReleaseDefaults();
    // The target a rendered texture's data draws into; null without data.
    [[nodiscard]] NiDX9RenderTarget* RenderTargetOf(NiRenderedTexture* pkTexture) const;

    // ---- geometry drawing (private) ----
    struct BatchEntry
    {
        NiGeometry* m_pkGeometry = nullptr;
        NiSkinInstance* m_pkSkin = nullptr;
        NiSkinPartition::Partition* m_pkPartition = nullptr;
        NiDX9GeometryBufferData* m_pkBuffers = nullptr;
        std::uint32_t m_uiDiscardEpoch = 0; // the vertex-buffer manager's when packed
        BatchEntry* m_pkNext = nullptr;
    };
    struct PendingRepack
    {
        NiGeometryData* m_pkData = nullptr;
        NiSkinInstance* m_pkSkin = nullptr;
        std::uint32_t m_uiPartition = 0xFFFFFFFFu; // none
        NiD3DShaderInterface* m_pkShader = nullptr;
        std::uint32_t m_uiFlags = 0;
        NiDX9GeometryBufferData* m_pkRecord = nullptr;
    };
    struct BoneMatrices
    {
        std::vector<gfx::D3DMATRIX> m_kMatrices;
        std::uint32_t m_uiFrame = 0xFFFFFFFFu;
        // The program buffer: bones x registers x 4 floats.
        std::vector<float> m_kBuffer;
        std::uint32_t m_uiRegisters = 0;
        std::uint32_t m_uiBufferFrame = 0xFFFFFFFFu;
        bool m_bTranspose = false;
        bool m_bWorldSpaceBones = false;
        bool m_bHasSkinMatrix = false;
        gfx::D3DMATRIX m_kSkinMatrix{};
    };
    [[nodiscard]] NiD3DShaderInterface* ShaderOf(NiGeometry* pkGeometry) const;
    // Group choice, records and packing for a geometry about to be drawn.
    bool PackForDrawing(NiGeometry* pkGeometry, NiD3DShaderInterface* pkShader, bool& bHardware);
    void SetupSoftwarePartitionTransform(NiD3DShaderInterface* pkShader, NiGeometry* pkGeometry, NiSkinInstance* pkSkin,
                                         NiDX9GeometryBufferData* pkRecord, NiPropertySet* pkPropertySet,
                                         NiEffectSet* pkEffectSet, const NiXform& kWorld, const NiBoundSphere& kBound);
    void DrawSkinned(NiGeometry* pkGeometry, NiSkinInstance* pkSkin, NiPropertySet* pkPropertySet,
                     NiEffectSet* pkEffectSet, NiD3DShaderInterface* pkShader);
    void DrawRecord(const NiDX9GeometryBufferData* pkRecord, std::uint32_t uiVertexCount);
    void CommitStates();
    void EndPipeline();
    // Lines and points: vertices written into a stream of the dynamic group
    // and drawn with temporary indices through the default shader.
    void DrawTemporary(NiGeometry* pkGeometry, NiGeometryData* pkData, NiDX9GeometryBufferData* pkRecord,
                       gfx::IDirect3DIndexBuffer9* pkIB, std::uint32_t uiPrimitiveType, std::uint32_t uiPrimitives,
                       std::uint32_t uiVertices, NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet);
    void UpdatePendingRepacks();
    void ReleaseStaticArrays(NiGeometryData* pkData);
    // A reset drops the pending records of one record (purges).
    void DropPendingRepacks(const void* pvRendererData);
    static BatchEntry* TakeBatchEntry();
    static void GiveBatchEntry(BatchEntry* pkEntry);

    NiRefPtr<NiD3DShaderInterface> m_spBatchShader;
    NiRefPtr<NiPropertySet> m_spBatchProperties;
    NiRefPtr<NiEffectSet> m_spBatchEffects;
    BatchEntry* m_pkBatchHead = nullptr;
    BatchEntry* m_pkBatchTail = nullptr;
    std::unordered_map<gfx::IDirect3DVertexBuffer9*, std::vector<PendingRepack>> m_kPendingRepacks;
    std::unordered_map<const NiSkinInstance*, BoneMatrices> m_kBoneMatrices;
    // Records of lines and points: theirs only while drawn.
    NiDX9GeometryBufferData* m_pkTempRecord = nullptr;
    static BatchEntry* ms_pkFreeBatchEntries;
    static std::uint32_t ms_uiFreeBatchEntries;

    gfx::IDirect3DDevice9* m_pkD3DDevice9 = nullptr; // one reference, released at teardown
    gfx::D3DCAPS9 m_kD3DCaps9{};
    gfx::WindowHandle m_kWndDevice = nullptr;
    std::string m_kDriverInfo;
    std::uint32_t m_uiAdapter = 0;
    std::uint32_t m_eDevType = gfx::D3DDEVTYPE_HAL;
    gfx::WindowHandle m_kWndFocus = nullptr;
    std::uint32_t m_uiBehaviorFlags = 0;
    bool m_bSWVertexCapable = false;
    bool m_bSWVertexSwitchable = false;
    // Links into the process-wide description, which lives until the
    // library's shut-down, after the last renderer.
    const NiDX9AdapterDesc* m_pkAdapterDesc = nullptr;
    const NiDX9DeviceDesc* m_pkDeviceDesc = nullptr;
    std::uint32_t m_uiBackground = 0xFF808080;
    float m_fZClear = 1.0f;
    std::uint32_t m_uiStencilClear = 0;
    std::uint32_t m_uiRendFlags = 0;
    std::string m_kBehavior;
    std::uint32_t m_uiMaxNumBlendMatrices = 0;
    std::uint32_t m_uiMaxStreams = 0;
    std::uint32_t m_uiMaxPixelShaderVersion = 0;
    std::uint32_t m_uiMaxVertexShaderVersion = 0;
    bool m_bMipmapCubeMaps = false;
    std::array<TextureFormatTable, TEXUSE_NUM> m_aakTextureFormats{};
    std::array<const TextureFormatEntry*, TEXUSE_NUM> m_apkDefaultTextureFormat{};
    std::array<NiRefPtr<NiPixelData>, TEXUSE_NUM> m_aspDefaultTextureData;
    std::array<gfx::D3DFORMAT, TEX_NUM> m_aeRenderTargetDepth{};
    std::uint32_t m_eDefaultRenderTargetFormat = TEX_NUM;
    NiSourceTexturePtr m_spDefaultTexture;
    std::uint32_t m_uiNumSimultaneousRTs = 1;
    bool m_bIndependentBitDepths = false;
    bool m_bMRTPostPixelShaderBlending = false;
    std::array<std::uint32_t, 10> m_auiShaderVersions{};
    CreationParameters m_kCreation;
    gfx::D3DPRESENT_PARAMETERS m_kD3DPresentParams;
    bool m_bInScene = false;
    // Back-buffer targets by device window; the default one is among them.
    std::map<gfx::WindowHandle, std::unique_ptr<NiDX9BackBufferTarget>> m_kWindowTargets;
    NiDX9BackBufferTarget* m_pkDefaultTarget = nullptr;
    NiDX9RenderTarget* m_pkCurrentTarget = nullptr;
    std::unordered_map<NiTexture*, NiDX9RenderedTextureData*> m_kRenderedTextures;
    std::unordered_map<NiTexture*, NiDX9RenderedTextureData*> m_kRenderedCubeMaps;
    gfx::D3DVIEWPORT9 m_kClearViewport;
    NiVec3 m_kCamRight;
    NiVec3 m_kCamUp;
    NiVec3 m_kModelCamRight;
    NiVec3 m_kModelCamUp;
    float m_fNearDepth = 0.0f;
    float m_fDepthRange = 0.0f;
    gfx::D3DMATRIX m_kD3DView{};
    gfx::D3DMATRIX m_kInvView{};
    gfx::D3DMATRIX m_kD3DProj{};
    gfx::D3DMATRIX m_kD3DModel{};
    gfx::D3DMATRIX m_kD3DIdentity{};
    gfx::D3DMATRIX m_kScreenSpaceProj{};
    gfx::D3DMATRIX m_kPixelToUnit{};
    NiDX9VertexBufferManagerPtr m_spVBManager;
    NiDX9IndexBufferManagerPtr m_spIBManager;
    NiDX9GeometryDataManagerPtr m_spGeometryManager;
    NiDX9RenderStatePtr m_spRenderState;
    NiDX9TextureManagerPtr m_spTextureManager;
    NiDX9LightManagerPtr m_spLightManager;
    NiRefPtr<NiD3DDefaultShader> m_spDefaultShader;

    // Screen textures: four vertices and six indices a rectangle; false when
    // they cannot be written.
    bool PackScreenTexture(NiScreenTexture* pkScreenTexture);
    NiRefPtr<NiPropertySet> m_spScreenTextureProperties;
    std::vector<float> m_kScreenPositions;
    std::vector<float> m_kScreenColors;
    std::vector<float> m_kScreenTextures;

    // Device loss and reset.
    bool m_bDeviceLost = false;
    std::uint32_t m_uiResetCounter = 0;
    std::vector<std::pair<LostDeviceNotifyFunc, void*>> m_kLostDeviceNotify;
    std::vector<std::pair<ResetNotifyFunc, void*>> m_kResetNotify;
    std::vector<NiRefPtr<NiD3DShaderInterface>> m_kD3DShaders;
    // After a mode change the default target is filed under the device window.
    void MoveDefaultTargetTo(gfx::WindowHandle kWindow);

    static gfx::IDirect3D9* ms_pkD3D9;
    static NiDX9SystemInfo* ms_pkSystemInfo;
    static std::vector<gfx::D3DFORMAT> ms_kDisplayFormats;
    static Direct3DCreateFunction ms_pfnD3DCreate;
    static DeviceCapsFunction ms_pfnDeviceCaps;
    static std::uint32_t ms_uiProjectedTextureFlags;
    static bool ms_b16BitDepthBuffer;
    static std::uint32_t ms_uiMipmapSkipLevel;
};

using NiDX9RendererPtr = NiRefPtr<NiDX9Renderer>;
