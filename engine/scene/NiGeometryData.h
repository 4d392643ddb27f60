#pragma once

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiColor.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiVec2.h"
#include "engine/core/NiVec3.h"

#include <cstdint>

class NiMatrix3x3;

// The vertex data drawable objects share: positions, normals (or normals,
// binormals and tangents), colours and texture-coordinate sets. The data
// owns its arrays, which are plain new[] blocks.
class NiGeometryData : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Bits of the data flags word.
    static constexpr std::uint16_t TEXTURE_SET_MASK = 0x003F;
    static constexpr std::uint16_t NBT_MASK = 0xF000;
    // Bits 12-15 of the dirty flags word.
    static constexpr std::uint16_t CONSISTENCY_MASK = 0xF000;
    static constexpr std::uint16_t MUTABLE = 0x0000;
    static constexpr std::uint16_t STATIC = 0x4000;
    static constexpr std::uint16_t VOLATILE = 0x8000;
    // Dirty bit the renderer reads after normals were recalculated.
    static constexpr std::uint16_t NORMALS_DIRTY = 0x0002;

    NiGeometryData();
    // Takes ownership of the arrays (new[] blocks).
    NiGeometryData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                   NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod);
    ~NiGeometryData() override;
    NiGeometryData(const NiGeometryData&) = delete;
    NiGeometryData& operator=(const NiGeometryData&) = delete;

    virtual void SetActiveVertexCount(std::uint16_t usActive) { (void)usActive; }
    [[nodiscard]] virtual std::uint16_t GetActiveVertexCount() const { return m_usVertices; }
    virtual void CalculateNormals() = 0;

    [[nodiscard]] std::uint16_t GetVertexCount() const { return m_usVertices; }
    [[nodiscard]] std::uint16_t GetID() const { return m_usID; }
    [[nodiscard]] NiVec3* GetVertices() const { return m_pkVertex; }
    [[nodiscard]] NiVec3* GetNormals() const { return m_pkNormal; }
    [[nodiscard]] NiColorRGBA* GetColors() const { return m_pkColor; }
    [[nodiscard]] NiVec2* GetTextures() const { return m_pkTexture; }
    // Set n, or null without coordinates or for a set past the count.
    [[nodiscard]] NiVec2* GetTextureSet(std::uint16_t usSet) const;
    [[nodiscard]] std::uint16_t GetTextureSets() const { return m_usDataFlags & TEXTURE_SET_MASK; }
    [[nodiscard]] std::uint16_t GetNormalBinormalTangentMethod() const { return m_usDataFlags & NBT_MASK; }
    [[nodiscard]] std::uint16_t GetDataFlags() const { return m_usDataFlags; }
    // Normals, binormals and tangents per vertex with the method bits set.
    [[nodiscard]] std::uint32_t GetNormalVectorCount() const;

    [[nodiscard]] const NiBoundSphere& GetBound() const { return m_kBound; }
    NiBoundSphere& GetBound() { return m_kBound; }
    void SetBound(const NiBoundSphere& kBound) { m_kBound = kBound; }

    [[nodiscard]] std::uint16_t GetDirtyFlags() const { return m_usDirtyFlags; }
    void SetDirtyFlags(std::uint16_t us) { m_usDirtyFlags = us; }
    [[nodiscard]] std::uint16_t GetConsistency() const { return m_usDirtyFlags & CONSISTENCY_MASK; }
    void SetConsistency(std::uint16_t usConsistency);
    [[nodiscard]] std::uint8_t GetKeepFlags() const { return m_ucKeepFlags; }
    void SetKeepFlags(std::uint8_t uc) { m_ucKeepFlags = uc; }
    [[nodiscard]] std::uint8_t GetCompressFlags() const { return m_ucCompressFlags; }
    void SetCompressFlags(std::uint8_t uc) { m_ucCompressFlags = uc; }
    [[nodiscard]] void* GetRendererData() const { return m_pvRendererData; }
    void SetRendererData(void* pv) { m_pvRendererData = pv; }

    // Makes the normals array when missing; clears it when asked.
    void CreateNormals(bool bZero);
    // Frees each old array the new ones do not reuse and takes the new ones;
    // flag bits 6-11 stay.
    void Replace(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                 NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod);
    // v -> M v + T and n -> transpose(inverse M) n over the active vertices;
    // the bound follows.
    void TransformVertices(const NiMatrix3x3& kMatrix, const NiVec3& kTranslate);

    // The identifier the next data object takes; tests set it.
    static void SetNextID(std::uint16_t usID);
    [[nodiscard]] static std::uint16_t PeekNextID();

    std::uint32_t GetBlockAllocationSize() const override;
    NiBlockGroup* GetBlockGroup() const override { return m_pkGroup; }
    void SetBlockGroup(NiBlockGroup* pkGroup) override { m_pkGroup = pkGroup; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // Record helpers the data classes share. A boolean is a byte from the
    // given version on and 32 bits before it.
    static bool ReadBool(NiObjectStream& kStream, bool& bValue, std::uint32_t uiByteFrom);
    // False (and the load marked corrupt) when fewer bytes are left.
    static bool CheckBytesLeft(NiObjectStream& kStream, std::uint64_t ulBytes);
    // Reads uiCount floats into a new[] array, checking the bytes first;
    // null (load marked corrupt) on short data or failed allocation.
    [[nodiscard]] static float* ReadFloatArray(NiObjectStream& kStream, std::uint64_t ulCount);
    [[nodiscard]] static std::uint16_t* ReadU16Array(NiObjectStream& kStream, std::uint64_t ulCount);

protected:
    // The bound of the first uiCount vertices.
    void RecomputeBound(std::uint32_t uiCount);

    NiBlockGroup* m_pkGroup = nullptr; // kept only to be written again
    std::uint16_t m_usVertices = 0;
    std::uint16_t m_usID = 0;
    NiBoundSphere m_kBound;
    NiVec3* m_pkVertex = nullptr;
    NiVec3* m_pkNormal = nullptr;
    NiColorRGBA* m_pkColor = nullptr;
    NiVec2* m_pkTexture = nullptr;
    std::uint16_t m_usDataFlags = 0;
    std::uint16_t m_usDirtyFlags = 0;
    std::uint8_t m_ucKeepFlags = 0;
    std::uint8_t m_ucCompressFlags = 0;
    void* m_pvRendererData = nullptr;
};

using NiGeometryDataPtr = NiRefPtr<NiGeometryData>;

// Base of the renderer's geometry-data manager; the engine core calls none of
// it. The renderer's class gives the operations their meaning.
class NiGeometryDataManager
{
public:
    virtual ~NiGeometryDataManager() = default;
    virtual void* CreateRendererData(std::uint32_t uiKind, void* pvSource)
    {
        (void)uiKind, (void)pvSource;
        return nullptr;
    }
    virtual bool ReleaseRendererData(void* pvData)
    {
        (void)pvData;
        return false;
    }
    virtual bool IsValid(void* pvData)
    {
        (void)pvData;
        return true;
    }
    virtual bool PrepareData(void* pvData, std::uint32_t uiA, std::uint32_t uiB)
    {
        (void)pvData, (void)uiA, (void)uiB;
        return false;
    }
    virtual bool UpdateData(void* pvData, std::uint32_t uiA, std::uint32_t uiB)
    {
        (void)pvData, (void)uiA, (void)uiB;
        return false;
    }
    virtual bool LockData(void* pvData, std::uint32_t uiA, std::uint32_t uiB, std::uint32_t uiC)
    {
        (void)pvData, (void)uiA, (void)uiB, (void)uiC;
        return false;
    }
    virtual bool UnlockData(void* pvData)
    {
        (void)pvData;
        return false;
    }
};
