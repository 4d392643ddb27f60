#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/scene/NiSkinPartition.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class NiGeometryData;
class NiScreenPolygon;
class NiSkinInstance;

// One interleaved vertex as the fixed-function layout places it: offsets in
// bytes, -1 for elements the layout lacks.
struct NiDX9VertexLayout
{
    std::uint32_t m_uiFVF = 0;
    std::uint32_t m_uiStride = 0;
    std::int32_t m_iWeights = -1;
    std::int32_t m_iNormal = -1;
    std::int32_t m_iColor = -1;
    std::int32_t m_iTexture = -1;
    std::uint32_t m_uiSets = 0;
};

// Serialises vertex-buffer locks through one staging block and packs the
// fixed-function streams of geometry, skin partitions, screen textures and
// screen polygons.
class NiDX9VertexBufferManager : public NiRefObject
{
public:
    // Update bits of PackGeometry and PackSkinPartition.
    static constexpr std::uint32_t UPDATE_POSITIONS = 0x1;
    static constexpr std::uint32_t UPDATE_NORMALS = 0x2;
    static constexpr std::uint32_t UPDATE_COLORS = 0x4;
    static constexpr std::uint32_t UPDATE_TEXTURES = 0x8;
    static constexpr std::uint32_t UPDATE_ALL = 0xFFF;

    explicit NiDX9VertexBufferManager(gfx::IDirect3DDevice9* pkDevice);
    ~NiDX9VertexBufferManager() override;

    // A staging pointer for uiSize bytes of the buffer from uiOffset (whole
    // buffer from it when 0), or null when the device lock fails. Holds the
    // manager's lock until UnlockBuffer.
    [[nodiscard]] void* LockBuffer(gfx::IDirect3DVertexBuffer9* pkVB, std::uint32_t uiOffset, std::uint32_t uiSize,
                                   std::uint32_t uiFlags);
    bool UnlockBuffer(gfx::IDirect3DVertexBuffer9* pkVB);

    void AdvanceFrame() { ++m_uiFrame; }
    // Rises with every DISCARD lock: bytes packed before it may be gone.
    [[nodiscard]] std::uint32_t GetDiscardEpoch() const { return m_uiDiscardEpoch; }
    [[nodiscard]] std::uint32_t GetFrameNumber() const { return m_uiFrame; }
    // Device reset: nothing this manager owns lives in the default pool.
    void ReleaseAllBuffers() {}
    [[nodiscard]] std::uint32_t GetStagingCapacity() const { return m_uiStagingCapacity; }
    [[nodiscard]] std::uint32_t GetLockDepth() const { return m_uiLockDepth; }

    // The interleaved layout of a geometry (and partition, for hardware skinning).
    [[nodiscard]] static NiDX9VertexLayout ComputeVertexLayout(const NiGeometryData* pkData,
                                                               const NiSkinPartition::Partition* pkPartition);
    // 0xAARRGGBB of an RGBA float colour: each channel x 255, rounded to the
    // nearest (ties to even) and clamped to 0-255.
    [[nodiscard]] static std::uint32_t PackColor(float fR, float fG, float fB, float fA);
    static void CopyStrided(void* pvDest, const void* pvSource, std::uint32_t uiStride, std::uint32_t uiElement,
                            std::uint32_t uiCount);

    // A new vertex buffer for stream uiStream of the record, sized from its
    // vertex count and the stream's stride; the old one goes back first.
    // Null without a group, for a stream the record lacks, or on failure.
    [[nodiscard]] NiDX9VertexBufferRange* CreateStreamBuffer(NiDX9GeometryBufferData* pkRecord,
                                                             std::uint32_t uiStream);

    [[nodiscard]] NiDX9VertexBufferRange* PackGeometry(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                                       std::uint32_t uiFlags, NiDX9VertexBufferRange* pkStream,
                                                       void* pvDest);
    // With pkSoftware, the partition is skinned here with those bone matrices
    // (skin space, indexed by the skin's bone numbers): plain positions and
    // normals, no blend weights, for a device that blends fewer bones.
    struct SoftwareBones
    {
        const gfx::D3DMATRIX* m_pkMatrices = nullptr;
        std::uint32_t m_uiCount = 0;
    };
    [[nodiscard]] gfx::IDirect3DVertexBuffer9* PackSkinPartition(NiGeometryData* pkData,
                                                                 NiSkinPartition::Partition* pkPartition,
                                                                 std::uint32_t uiFlags,
                                                                 gfx::IDirect3DVertexBuffer9* pkVB, void* pvDest,
                                                                 const SoftwareBones* pkSoftware = nullptr);
    // Flags: bit 0 positions, bit 1 texture coordinates, bit 2 colours.
    [[nodiscard]] NiDX9VertexBufferRange* PackScreenTextureVertices(
        NiDX9GeometryBufferData* pkRecord, std::uint16_t usVertices, const float* pfPositions, const float* pfColors,
        const float* pfTextures, std::uint32_t uiFlags, NiDX9VertexBufferRange* pkStream, void* pvDest);
    // Flags: bit 0 positions, bit 1 colours, bit 2 texture coordinates.
    [[nodiscard]] NiDX9VertexBufferRange* PackScreenPolygon(NiScreenPolygon* pkPolygon, float fNear, float fDepth,
                                                            std::uint32_t uiFlags, NiDX9VertexBufferRange* pkStream,
                                                            void* pvDest);

    [[nodiscard]] gfx::IDirect3DDevice9* GetDevice() const { return m_pkDevice; }

private:
    // Reused when the buffer still fits the layout, else stream 0 of the
    // record's group; bNew says everything must be written.
    NiDX9VertexBufferRange* ChooseStream(NiDX9GeometryBufferData* pkRecord, NiDX9VertexBufferRange* pkStream,
                                         std::uint32_t uiFVF, std::uint32_t uiBytes, bool bMayReuse, bool& bNew);
    // ChooseStream from pkRange, then its lock: the place to write, or null.
    // A new stream turns uiFlags into uiAllFlags.
    std::uint8_t* LockChosenStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiFVF, std::uint32_t uiBytes,
                                   bool bMayReuse, std::uint32_t uiAllFlags, std::uint32_t& uiFlags,
                                   NiDX9VertexBufferRange*& pkRange);

    // A screen-space vertex: its position, then a packed colour and one
    // texture set where there are such (offsets -1 where not).
    struct ScreenLayout
    {
        ScreenLayout(std::uint32_t uiPositionFVF, std::uint32_t uiPositionBytes, bool bColors, bool bTextures);
        std::uint32_t m_uiFVF;
        std::uint32_t m_uiStride;
        std::int32_t m_iColor = -1;
        std::int32_t m_iTexture = -1;
    };
    // Puts the layout on the record and, without pvDest, gives the record a
    // stream and locks it: the place to write uiCount vertices, or null.
    std::uint8_t* BeginScreenPack(NiDX9GeometryBufferData* pkRecord, const ScreenLayout& kLayout,
                                  std::uint32_t uiCount, void* pvDest, std::uint32_t& uiFlags,
                                  NiDX9VertexBufferRange*& pkRange);

    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference
    std::uint32_t m_uiFrame = 0;
    std::uint32_t m_uiDiscardEpoch = 0;
    std::unique_ptr<std::uint8_t[]> m_spStaging; // only grows
    std::uint32_t m_uiStagingCapacity = 0;
    void* m_pvLocked = nullptr;
    std::uint32_t m_uiLockedSize = 0;
    std::recursive_mutex m_kLock;
    std::uint32_t m_uiLockDepth = 0;
};

using NiDX9VertexBufferManagerPtr = NiRefPtr<NiDX9VertexBufferManager>;
