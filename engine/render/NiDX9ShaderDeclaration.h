#pragma once

#include "engine/core/NiObject.h"
#include "engine/scene/NiSkinPartition.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>

class NiDX9Renderer;
class NiDX9VertexBufferManager;
class NiGeometryData;

// Answers what an extra-data stream of a geometry holds.
class NiDX9ExtraDataSource
{
public:
    virtual ~NiDX9ExtraDataSource() = default;
    [[nodiscard]] virtual const void* GetData(std::uint32_t uiStream) = 0;
    [[nodiscard]] virtual std::uint32_t GetElementSize(std::uint32_t uiStream) = 0;
    [[nodiscard]] virtual std::uint32_t GetStride(std::uint32_t uiStream) = 0;
    [[nodiscard]] virtual std::uint32_t GetKind(std::uint32_t uiStream) = 0;
};

// The renderer side of a shader's vertex declaration: its streams and
// entries, and the packing of one entry from the geometry's data.
class NiDX9ShaderDeclaration : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Shader parameters an entry takes its data from.
    enum ShaderParameter : std::int32_t
    {
        SPTYPE_NONE = -1,
        SPTYPE_POSITION = 0,
        SPTYPE_BLENDWEIGHT = 1,
        SPTYPE_BLENDINDICES = 2,
        SPTYPE_NORMAL = 3,
        SPTYPE_COLOR = 4,
        SPTYPE_TEXCOORD0 = 5,
        SPTYPE_TEXCOORD7 = 12,
        SPTYPE_TANGENT = 13,
        SPTYPE_BINORMAL = 14,
    };
    static constexpr std::uint32_t EXTRA_DATA_BIT = 0x80000000u;

    // One element of a stream: where it sits in the vertex (set when the
    // device declaration is built), what it holds and how it is declared.
    struct ShaderRegisterEntry
    {
        std::uint32_t m_uiOffset = 0;
        std::int32_t m_iParameter = SPTYPE_NONE;
        std::uint32_t m_uiType = 17; // unused
        std::uint32_t m_uiMethod = 0;
        std::uint32_t m_uiUsage = 0;
        std::uint32_t m_uiUsageIndex = 0;

        [[nodiscard]] bool IsUsed() const { return m_iParameter != SPTYPE_NONE && m_uiType != 17; }
    };

    struct ShaderRegisterStream
    {
        bool m_bInUse = false; // at least one used entry at the last build
        std::unique_ptr<ShaderRegisterEntry[]> m_spEntries; // null when it could not be allocated
        std::uint32_t m_uiStride = 0;
    };

    ~NiDX9ShaderDeclaration() override;

    // False when the streams or an entry array cannot be allocated.
    bool Initialize(NiDX9Renderer* pkRenderer, std::uint32_t uiMaxEntries, std::uint32_t uiStreamCount);

    // Bytes written for the entry (0: nothing packed). Elements of types or
    // kinds without a conversion are zero-filled.
    std::uint32_t PackEntry(std::uint16_t usVertices, NiGeometryData* pkData, std::uint32_t uiArgument,
                            const NiSkinPartition::Partition* pkPartition, NiDX9ExtraDataSource* pkExtra,
                            const ShaderRegisterEntry& kEntry, std::uint32_t uiDestStride, void* pvDest);

    [[nodiscard]] std::uint32_t GetStreamCount() const { return m_uiStreamCount; }
    [[nodiscard]] std::uint32_t GetMaxEntries() const { return m_uiMaxEntries; }
    [[nodiscard]] ShaderRegisterStream* GetStream(std::uint32_t ui) const
    {
        return ui < m_uiStreamCount ? &m_spStreams[ui] : nullptr;
    }
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetDevice() const { return m_pkDevice; }

    // The device declaration the derived class builds.
    [[nodiscard]] virtual gfx::IDirect3DVertexDeclaration9* GetD3DDeclaration() = 0;
    // Whether the declaration carries blend weights the device blends with.
    [[nodiscard]] virtual bool GetHardwareSkinning() const { return false; }

protected:
    NiDX9ShaderDeclaration() = default;

    NiDX9Renderer* m_pkRenderer = nullptr;
    NiDX9VertexBufferManager* m_pkVBManager = nullptr;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference
    std::uint32_t m_uiElementCapacity = 0; // device elements the derived class's buffer holds
    std::uint32_t m_uiElementCount = 0;    // elements written by the last build
    std::uint32_t m_uiMaxEntries = 0;
    std::uint32_t m_uiStreamCount = 0;
    std::unique_ptr<ShaderRegisterStream[]> m_spStreams;
    bool m_bDirty = true; // the device declaration must be built again
};
