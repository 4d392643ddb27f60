#pragma once

#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"

#include <cstdint>

// Vertex data drawn as triangles: adds the triangle count and the triangle
// queries picking and skinning use.
class NiTriBasedGeomData : public NiGeometryData
{
    NiDeclareTypeInfo()

public:
    NiTriBasedGeomData() = default;
    NiTriBasedGeomData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                       NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                       std::uint16_t usTriangles);

    virtual void SetActiveTriangleCount(std::uint16_t usActive) { (void)usActive; }
    [[nodiscard]] virtual std::uint16_t GetActiveTriangleCount() const { return m_usTriangles; }
    // False (outputs untouched) for a triangle past the count or without a
    // list.
    virtual bool GetTriangleIndices(std::uint16_t usTriangle, std::uint16_t& usI0, std::uint16_t& usI1,
                                    std::uint16_t& usI2) const
    {
        (void)usTriangle, (void)usI0, (void)usI1, (void)usI2;
        return false;
    }
    virtual void GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths,
                              const std::uint16_t*& pusTriList, std::uint32_t& uiListLength) const
    {
        (void)usStrips, (void)pusStripLengths, (void)pusTriList, (void)uiListLength;
    }

    [[nodiscard]] std::uint16_t GetTriangleCount() const { return m_usTriangles; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // The fast normalisation of face normals: square root from the engine's
    // table; zero stays zero.
    [[nodiscard]] static NiVec3 FastUnit(const NiVec3& kVector);

protected:
    // Adds a triangle's unit face normal to the normals of its vertices and
    // returns it.
    NiVec3 AddFaceNormal(std::uint16_t usI0, std::uint16_t usI1, std::uint16_t usI2);

    std::uint16_t m_usTriangles = 0;
};

// Geometry drawn as triangles.
class NiTriBasedGeom : public NiGeometry
{
    NiDeclareTypeInfo()

public:
    NiTriBasedGeom() = default;
    explicit NiTriBasedGeom(NiTriBasedGeomData* pkData) : NiGeometry(pkData) {}

    // Pointers to the triangle's three positions; false when there is no
    // such triangle.
    virtual bool GetModelTriangle(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2) = 0;

    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void CopyMembers(NiTriBasedGeom* pkDest, NiCloneContext& kCloning) { NiGeometry::CopyMembers(pkDest, kCloning); }
    // Shared by both kinds: positions of the data's triangle.
    bool ModelTriangleOf(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2) const;
};
