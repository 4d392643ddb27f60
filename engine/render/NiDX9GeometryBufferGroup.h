#pragma once

#include "engine/core/NiSparsePtrArray.h"
#include "engine/render/NiDX9DynamicVertexBuffer.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/scene/NiSkinPartition.h"
#include "platform/gfx/Gfx.h"

#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <vector>

class NiDX9GeometryBufferGroup;
class NiGeometryData;
class NiScreenPolygon;
class NiSkinInstance;

// The renderer data of everything drawn from vertex buffers: a geometry
// data, one skin partition, a screen texture or a screen polygon. It derives
// from the screen texture's renderer-data base so a screen texture can own it.
class NiDX9GeometryBufferData : public NiScreenTexture::RendererData
{
public:
    // Key bits the groups set.
    static constexpr std::uint32_t KEY_CALLER_MASK = 0x007FFFFF;
    static constexpr std::uint32_t KEY_NORMALS = 0x00800000;
    static constexpr std::uint32_t KEY_SETS_SHIFT = 24;
    static constexpr std::uint32_t KEY_SETS_MASK = 0x3F000000;

    NiDX9GeometryBufferData() = default;
    ~NiDX9GeometryBufferData() override;
    NiDX9GeometryBufferData(const NiDX9GeometryBufferData&) = delete;
    NiDX9GeometryBufferData& operator=(const NiDX9GeometryBufferData&) = delete;

    // New arrays of n entries; the old entries kept (growing) or the extra
    // streams released through the owning group (shrinking).
    void SetStreamCount(std::uint32_t uiCount);
    // False without streams; true when every stream exists and has a buffer.
    [[nodiscard]] bool HasAllStreams() const;
    void DestroyStreams();
    void ReleaseIndexBuffer();

    [[nodiscard]] std::uint32_t GetStreamCount() const { return static_cast<std::uint32_t>(m_kStreams.size()); }
    [[nodiscard]] NiDX9VertexBufferRange* GetStream(std::uint32_t ui) const
    {
        return ui < m_kStreams.size() ? m_kStreams[ui] : nullptr;
    }
    void SetStream(std::uint32_t ui, NiDX9VertexBufferRange* pkRange)
    {
        if (ui < m_kStreams.size())
            m_kStreams[ui] = pkRange;
    }
    [[nodiscard]] std::uint32_t GetStride(std::uint32_t ui) const { return ui < m_kStrides.size() ? m_kStrides[ui] : 0; }
    void SetStride(std::uint32_t ui, std::uint32_t uiStride)
    {
        if (ui < m_kStrides.size())
            m_kStrides[ui] = uiStride;
    }
    // The key stream ui is filed under: the FVF, or stride | bit 31.
    [[nodiscard]] std::uint32_t GetStreamKey(std::uint32_t ui) const
    {
        return m_uiFVF ? m_uiFVF : (GetStride(ui) | 0x80000000u);
    }

    std::uint32_t m_uiKey = 0;
    NiDX9GeometryBufferGroup* m_pkGroup = nullptr;
    std::uint32_t m_uiFVF = 0;
    gfx::IDirect3DVertexDeclaration9* m_pkDeclaration = nullptr; // not owned
    bool m_bSoftwareVP = false;
    std::uint32_t m_uiVertCount = 0;
    std::uint32_t m_uiIndexCount = 0;
    std::uint32_t m_uiIBSize = 0;
    gfx::IDirect3DIndexBuffer9* m_pkIB = nullptr; // owned
    std::uint32_t m_uiBaseVertexIndex = 0;
    std::uint32_t m_uiType = gfx::D3DPT_TRIANGLELIST;
    std::uint32_t m_uiPrimitiveCount = 0;
    std::uint32_t m_uiStripCount = 0;
    std::vector<std::uint16_t> m_kStripLengths;
    std::uint32_t m_uiPackerData = 0; // the packing code's own word

private:
    friend class NiDX9GeometryBufferGroup;
    std::vector<std::uint32_t> m_kStrides;
    std::vector<NiDX9VertexBufferRange*> m_kStreams;
};

// Where the streams of a set of records live. Kind 0 cuts them from pools of
// managed chunks, kind 1 gives each its own managed buffer, kind 2 writes them
// into default-pool dynamic buffers anew at every pack.
class NiDX9GeometryBufferGroup
{
public:
    // Null for other kinds or when memory runs out. Kinds 1 and 2 are
    // process-wide: a second creation gives the first instance.
    [[nodiscard]] static NiDX9GeometryBufferGroup* Create(std::uint32_t uiKind, std::uint32_t uiIdentifierBits);
    virtual ~NiDX9GeometryBufferGroup();
    NiDX9GeometryBufferGroup(const NiDX9GeometryBufferGroup&) = delete;
    NiDX9GeometryBufferGroup& operator=(const NiDX9GeometryBufferGroup&) = delete;

    virtual void Purge() = 0;
    virtual void CreateScreenTextureData(NiScreenTexture* pkTexture, std::uint32_t uiFlags);
    virtual void CreateScreenPolygonData(NiScreenPolygon* pkPolygon, std::uint32_t uiFlags);
    virtual void CreateGeometryData(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                    NiSkinPartition::Partition* pkPartition, std::uint32_t uiFlags);
    virtual void ReleaseScreenTextureData(NiScreenTexture* pkTexture);
    virtual void ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon);
    virtual void ReleasePartitionData(NiSkinPartition::Partition* pkPartition);
    virtual void ReleaseGeometryData(NiGeometryData* pkData);
    virtual NiDX9VertexBufferRange* CreateStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) = 0;
    virtual void ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) = 0;
    [[nodiscard]] virtual bool IsDynamic() const = 0;

    void AddGeometry(NiDX9GeometryBufferData* pkRecord);
    void RemoveGeometry(NiDX9GeometryBufferData* pkRecord);

    [[nodiscard]] std::uint32_t GetGeometryCount() const { return m_uiCount.load(); }
    [[nodiscard]] std::uint32_t GetIdentifierBits() const { return m_uiIdentifierBits; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetDevice() const { return m_pkDevice; }
    // Takes a reference; the destructor releases it.
    void SetDevice(gfx::IDirect3DDevice9* pkDevice);

    // Frees every idle range node.
    static void FreeNodePool();
    [[nodiscard]] static NiDX9GeometryBufferGroup* GetStaticInstance();
    [[nodiscard]] static NiDX9GeometryBufferGroup* GetDynamicInstance();

protected:
    explicit NiDX9GeometryBufferGroup(std::uint32_t uiIdentifierBits) : m_uiIdentifierBits(uiIdentifierBits) {}
    // Frees a record whose streams are already let go.
    static void FreeRecord(NiDX9GeometryBufferData* pkRecord);
    void ReleaseRecord(NiDX9GeometryBufferData* pkRecord);

    std::atomic<std::uint32_t> m_uiCount{0};
    std::uint32_t m_uiIdentifierBits = 0;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
};

class NiDX9PooledGeometryBufferGroup final : public NiDX9GeometryBufferGroup
{
public:
    explicit NiDX9PooledGeometryBufferGroup(std::uint32_t uiBits) : NiDX9GeometryBufferGroup(uiBits) {}
    ~NiDX9PooledGeometryBufferGroup() override;
    void Purge() override;
    NiDX9VertexBufferRange* CreateStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    void ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    [[nodiscard]] bool IsDynamic() const override { return false; }
    [[nodiscard]] NiDX9VertexBufferPool* GetPool(std::uint32_t uiKey) const;

private:
    std::unordered_map<std::uint32_t, NiDX9VertexBufferPool*> m_kPools;
};

class NiDX9StaticGeometryBufferGroup final : public NiDX9GeometryBufferGroup
{
public:
    explicit NiDX9StaticGeometryBufferGroup(std::uint32_t uiBits) : NiDX9GeometryBufferGroup(uiBits) {}
    ~NiDX9StaticGeometryBufferGroup() override;
    void Purge() override {}
    NiDX9VertexBufferRange* CreateStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    void ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    [[nodiscard]] bool IsDynamic() const override { return false; }
};

class NiDX9DynamicGeometryBufferGroup final : public NiDX9GeometryBufferGroup
{
public:
    static constexpr std::uint32_t INITIAL_SIZE = 2048;

    explicit NiDX9DynamicGeometryBufferGroup(std::uint32_t uiBits) : NiDX9GeometryBufferGroup(uiBits) {}
    ~NiDX9DynamicGeometryBufferGroup() override;
    void Purge() override;
    void CreateScreenTextureData(NiScreenTexture* pkTexture, std::uint32_t uiFlags) override;
    void CreateScreenPolygonData(NiScreenPolygon* pkPolygon, std::uint32_t uiFlags) override;
    void CreateGeometryData(NiGeometryData* pkData, NiSkinInstance* pkSkin, NiSkinPartition::Partition* pkPartition,
                            std::uint32_t uiFlags) override;
    void ReleaseScreenTextureData(NiScreenTexture* pkTexture) override;
    void ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon) override;
    void ReleasePartitionData(NiSkinPartition::Partition* pkPartition) override;
    void ReleaseGeometryData(NiGeometryData* pkData) override;
    NiDX9VertexBufferRange* CreateStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    void ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream) override;
    [[nodiscard]] bool IsDynamic() const override { return true; }

    [[nodiscard]] NiDX9DynamicVertexBuffer* GetBuffer(std::uint32_t uiKey) const;
    [[nodiscard]] std::uint32_t GetRingCapacity() const { return m_kRing.GetCapacity(); }
    [[nodiscard]] NiDX9VertexBufferRange* GetRange(std::uint32_t uiKey) const;

private:
    // Clears the stream pointers of a record about to be freed: its ranges are the group's.
    static void ForgetStreams(NiDX9GeometryBufferData* pkRecord);

    std::unordered_map<std::uint32_t, NiDX9DynamicVertexBuffer*> m_kBuffers;
    std::unordered_map<std::uint32_t, NiDX9VertexBufferRange*> m_kRanges;
    NiSparsePtrArray<NiDX9DynamicVertexBuffer*> m_kRing{0, 1};
    NiSparsePtrArray<NiDX9VertexBufferRange*> m_kRingRanges{0, 1};
    std::uint32_t m_uiRingPosition = 0;
};
