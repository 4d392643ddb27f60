#pragma once

#include "engine/scene/NiTriBasedGeom.h"

#include <cstdint>
#include <memory>
#include <vector>

// An indexed triangle list, with the optional table of vertices that share
// a normal.
class NiTriShapeData : public NiTriBasedGeomData
{
    NiDeclareTypeInfo()

public:
    struct SharedNormalArray
    {
        std::uint16_t m_usCount = 0;
        std::uint16_t* m_pusIndices = nullptr; // carved from the data's pool
    };

    NiTriShapeData() = default;
    // Takes ownership of the arrays (new[] blocks).
    NiTriShapeData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                   NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                   std::uint16_t usTriangles, std::uint16_t* pusTriList);
    ~NiTriShapeData() override;

    static NiObject* CreateObject();

    void SetTriangles(std::uint16_t usTriangles, std::uint16_t* pusTriList);
    [[nodiscard]] std::uint16_t* GetTriList() const { return m_pusTriList; }
    [[nodiscard]] std::uint32_t GetTriListLength() const { return m_uiTriListLength; }
    [[nodiscard]] std::uint16_t GetSharedNormalCount() const { return m_usSharedNormalsArraySize; }
    [[nodiscard]] const SharedNormalArray* GetSharedNormals() const { return m_spSharedNormals.get(); }
    // Each entry lists the vertices sharing that vertex's normal; a count
    // other than the vertex count makes the table ignored.
    [[nodiscard]] bool SetSharedNormals(const std::vector<std::vector<std::uint16_t>>& kEntries);

    bool GetTriangleIndices(std::uint16_t usTriangle, std::uint16_t& usI0, std::uint16_t& usI1,
                            std::uint16_t& usI2) const override;
    void GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths, const std::uint16_t*& pusTriList,
                      std::uint32_t& uiListLength) const override;
    void CalculateNormals() override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    // The list of one shared-normal entry, from the newest pool block with
    // room, else from a new block twice the newest's size.
    std::uint16_t* TakeFromPool(std::uint16_t usCount);
    void FreeSharedNormals();

    std::uint32_t m_uiTriListLength = 0;
    std::uint16_t* m_pusTriList = nullptr;
    std::unique_ptr<SharedNormalArray[]> m_spSharedNormals;
    std::uint16_t m_usSharedNormalsArraySize = 0;

    struct PoolBlock
    {
        std::unique_ptr<std::uint16_t[]> m_spStorage;
        std::uint32_t m_uiCapacity = 0;
        std::uint32_t m_uiUsed = 0;
    };
    std::vector<PoolBlock> m_kPool; // newest last
};

// A triangle list whose active vertex and triangle counts shrink at run
// time.
class NiTriShapeDynamicData : public NiTriShapeData
{
    NiDeclareTypeInfo()

public:
    NiTriShapeDynamicData() = default;
    NiTriShapeDynamicData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                          NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                          std::uint16_t usTriangles, std::uint16_t* pusTriList);

    static NiObject* CreateObject();

    // Clamped to the vertex and triangle counts: the renderer and picking
    // index the arrays with them.
    void SetActiveVertexCount(std::uint16_t usActive) override;
    [[nodiscard]] std::uint16_t GetActiveVertexCount() const override { return m_usActiveVertices; }
    void SetActiveTriangleCount(std::uint16_t usActive) override;
    [[nodiscard]] std::uint16_t GetActiveTriangleCount() const override { return m_usActiveTriangles; }
    void GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths, const std::uint16_t*& pusTriList,
                      std::uint32_t& uiListLength) const override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_usActiveVertices = 0;
    std::uint16_t m_usActiveTriangles = 0;
};

class NiTriShape : public NiTriBasedGeom
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTriShape)

public:
    NiTriShape() = default;
    explicit NiTriShape(NiTriShapeData* pkData) : NiTriBasedGeom(pkData) {}
    // Makes the data from the arrays (the data owns them).
    NiTriShape(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor, NiVec2* pkTexture,
               std::uint16_t usTextureSets, std::uint16_t usNBTMethod, std::uint16_t usTriangles,
               std::uint16_t* pusTriList);

    static NiObject* CreateObject();

    void RenderImmediate(NiRenderer* pkRenderer) override;
    bool GetModelTriangle(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
};
