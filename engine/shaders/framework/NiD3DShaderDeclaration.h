#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/render/NiDX9ShaderDeclaration.h"

#include <cstdint>
#include <memory>

class NiDX9VertexBufferRange;
class NiGeometryData;
class NiSkinInstance;

// What one packing function is given: the source element, the destination
// element and how many vertices to convert.
struct NiDX9PackingRecord
{
    std::uint32_t m_uiType = 17;                 // destination declaration type
    std::uint32_t m_uiKind = 0;                  // source kind: 4 x group + components
    std::uint32_t m_uiVertexCount = 0;
    const std::uint16_t* m_pusVertexMap = nullptr; // vertex i reads source element map[i]
    const void* m_pvSource = nullptr;            // none: every element gets the fill value
    std::uint32_t m_uiSourceSize = 0;
    std::uint32_t m_uiSourceStride = 0;
    std::uint32_t m_uiDestSize = 0;
    std::uint32_t m_uiDestStride = 0;
    void* m_pvDest = nullptr;
    // Elements the source holds (0: not known); a mapped index at or past it
    // reads nothing and gets the fill value.
    std::uint32_t m_uiSourceCount = 0;
};

// Bytes written: vertex count x destination element size, or 0.
using NiDX9PackingFunction = std::uint32_t (*)(const NiDX9PackingRecord& kRecord);

// Per declaration type (0-17) and source kind (0-32), the function that
// converts the source into the element; filled once by the renderer
// library's start-up and emptied by its shut-down.
class NiDX9PackingRegistry
{
public:
    static constexpr std::uint32_t TYPE_COUNT = 17; // FLOAT1 to FLOAT16_4
    static constexpr std::uint32_t ENTRY_COUNT = 18; // plus the unused type
    static constexpr std::uint32_t KIND_COUNT = 33;
    static constexpr std::uint32_t TYPE_UNUSED = 17;
    static constexpr std::uint32_t TYPE_D3DCOLOR = 4;

    // Fills the sizes and every entry; nothing when it is already filled.
    static void Create();
    static void Destroy();
    [[nodiscard]] static bool IsCreated();
    // 0 for the unused type and out-of-range values.
    [[nodiscard]] static std::uint32_t GetTypeSize(std::uint32_t uiType);
    // Null outside the table, before Create or where no function exists.
    [[nodiscard]] static NiDX9PackingFunction GetFunction(std::uint32_t uiType, std::uint32_t uiKind);
    static void SetFunction(std::uint32_t uiType, std::uint32_t uiKind, NiDX9PackingFunction pfn);
};

// A shader's vertex layout: per stream a fixed number of entries, each
// naming the engine input it is filled from and how the device reads it.
// The device declaration is built lazily after every change, and the
// geometry's vertices are packed into the streams from it.
class NiD3DShaderDeclaration : public NiDX9ShaderDeclaration
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint32_t TYPE_UNUSED = 17;   // D3DDECLTYPE_UNUSED
    static constexpr std::uint32_t LAST_PARAMETER = 14; // binormal
    // Dirty bits of PackUntransformedVB.
    static constexpr std::uint32_t DIRTY_POSITIONS = 0x1;
    static constexpr std::uint32_t DIRTY_NORMALS = 0x2; // also tangents and binormals
    static constexpr std::uint32_t DIRTY_COLORS = 0x4;
    static constexpr std::uint32_t DIRTY_TEXTURES = 0x8;
    static constexpr std::uint32_t DIRTY_ALL = 0xFFF;

    // Null when the renderer allows fewer streams, or when the streams
    // cannot be made.
    [[nodiscard]] static NiD3DShaderDeclaration* Create(NiDX9Renderer* pkRenderer, std::uint32_t uiEntriesPerStream,
                                                        std::uint32_t uiStreamCount);
    ~NiD3DShaderDeclaration() override;

    // False for an entry or stream out of range, or a type above UNUSED.
    // Values equal to the stored ones keep the device declaration. Blend
    // weights are always three floats. uiRegister is not kept.
    virtual bool SetEntry(std::uint32_t uiStream, std::uint32_t uiEntry, std::uint32_t uiRegister,
                          std::int32_t iParameter, std::uint32_t uiType, std::uint32_t uiUsage,
                          std::uint32_t uiUsageIndex, std::uint32_t uiMethod);
    // Usage and usage index from the parameter (0-14), method default.
    virtual bool SetEntry(std::uint32_t uiEntry, std::uint32_t uiRegister, std::int32_t iParameter,
                          std::uint32_t uiType, std::uint32_t uiStream);
    virtual bool RemoveEntry(std::uint32_t uiEntry, std::uint32_t uiStream);
    virtual bool SetConstantData() { return true; }
    virtual bool ClearAllEntries(std::uint32_t uiStream);
    // Builds the device declaration when needed; 0 for a bad stream.
    [[nodiscard]] virtual std::uint32_t GetVertexStride(std::uint32_t uiStream);
    virtual void SetSoftwareVertexProcessing(bool bSoftware) { m_bSoftwareVP = bSoftware; }
    [[nodiscard]] virtual bool GetSoftwareVertexProcessing() const { return m_bSoftwareVP; }
    // Packs the declared elements of one stream: into pvDest when given
    // (the given range is returned), else into the stream's vertex buffer,
    // kept when it still fits and remade otherwise. Null on failure.
    virtual NiDX9VertexBufferRange* PackUntransformedVB(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                                        NiSkinPartition::Partition* pkPartition,
                                                        std::uint32_t uiArgument, std::uint32_t uiDirtyFlags,
                                                        NiDX9VertexBufferRange* pkRange, std::uint32_t uiStream,
                                                        void* pvDest);
    // True when a device declaration exists after building.
    virtual bool GetDeclaration(gfx::IDirect3DVertexDeclaration9*& pkDeclaration, std::uint32_t& uiStreamCount);
    [[nodiscard]] gfx::IDirect3DVertexDeclaration9* GetD3DDeclaration() override;

    [[nodiscard]] const ShaderRegisterEntry* GetEntry(std::uint32_t uiEntry, std::uint32_t uiStream) const;
    [[nodiscard]] bool IsDirty() const { return m_bDirty; }
    [[nodiscard]] std::uint32_t GetElementCount() const { return m_uiElementCount; }
    [[nodiscard]] std::uint32_t GetElementCapacity() const { return m_uiElementCapacity; }

    // The entry an input of the given usage needs; false for a usage the
    // engine has no input for and for texture coordinates from 8 on.
    static bool GetParameterForUsage(std::uint32_t uiUsage, std::uint32_t uiUsageIndex, std::int32_t& iParameter,
                                     std::uint32_t& uiType, std::uint32_t& uiOutUsage,
                                     std::uint32_t& uiOutUsageIndex);

    // Stores the function for the pair in the packing registry: kind 0 and
    // group 7 write nothing for the integer types; FLOAT1-4 and D3DCOLOR
    // convert from every group; UBYTE4, SHORT2 and SHORT4 from groups 0-6;
    // types 8 and up have no conversions.
    static void RegisterPackingFunction(std::uint32_t uiType, std::uint32_t uiKind);
    static void InitPackingFunctions(std::uint32_t uiType, std::uint32_t uiKind)
    {
        RegisterPackingFunction(uiType, uiKind);
    }

    // Software skinning of the data into the given places (any may be null).
    static void DeformSkinnedVertices(const NiSkinInstance* pkSkin, const NiGeometryData* pkData,
                                      std::uint32_t uiVertexCount, void* pvPositions, void* pvNormals,
                                      void* pvBinormals, void* pvTangents, std::uint32_t uiStride);

protected:
    NiD3DShaderDeclaration() = default;

    // Entry uiEntry of a stream, or null out of range.
    ShaderRegisterEntry* EntryAt(std::uint32_t uiEntry, std::uint32_t uiStream) const;
    void MarkChanged();

    std::unique_ptr<gfx::D3DVERTEXELEMENT9[]> m_spElements;
    gfx::IDirect3DVertexDeclaration9* m_pkDeclaration = nullptr; // one reference
    bool m_bSoftwareVP = false;
};

using NiD3DShaderDeclarationPtr = NiRefPtr<NiD3DShaderDeclaration>;
