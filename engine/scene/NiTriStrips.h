#pragma once

#include "engine/scene/NiTriBasedGeom.h"

#include <cstdint>

// Triangle strips: strip lengths and all strips' indices one after another
// (triangle count + 2 x strip count of them).
class NiTriStripsData : public NiTriBasedGeomData
{
    NiDeclareTypeInfo()

public:
    NiTriStripsData() = default;
    // Takes ownership of the arrays (new[] blocks).
    NiTriStripsData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                    NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                    std::uint16_t usTriangles, std::uint16_t usStrips, std::uint16_t* pusStripLengths,
                    std::uint16_t* pusStripLists);
    ~NiTriStripsData() override;

    static NiObject* CreateObject();

    [[nodiscard]] std::uint16_t GetStripCount() const { return m_usStrips; }
    [[nodiscard]] std::uint16_t* GetStripLengths() const { return m_pusStripLengths; }
    [[nodiscard]] std::uint16_t* GetStripLists() const { return m_pusStripLists; }
    [[nodiscard]] std::uint32_t GetStripListLength() const { return m_usTriangles + 2u * m_usStrips; }
    // Frees the old arrays the new ones do not reuse; the triangle count
    // stays.
    void Replace(std::uint16_t usStrips, std::uint16_t* pusStripLengths, std::uint16_t* pusStripLists);

    bool GetTriangleIndices(std::uint16_t usTriangle, std::uint16_t& usI0, std::uint16_t& usI1,
                            std::uint16_t& usI2) const override;
    void GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths, const std::uint16_t*& pusTriList,
                      std::uint32_t& uiListLength) const override;
    void CalculateNormals() override;
    std::uint32_t GetBlockAllocationSize() const override;

    // The process-wide cursor that makes walking the triangles in order
    // cheap, back to its start state (tests).
    static void ResetStripCursor();

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_usStrips = 0;
    std::uint16_t* m_pusStripLengths = nullptr;
    std::uint16_t* m_pusStripLists = nullptr;
};

class NiTriStrips : public NiTriBasedGeom
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTriStrips)

public:
    NiTriStrips() = default;
    explicit NiTriStrips(NiTriStripsData* pkData) : NiTriBasedGeom(pkData) {}

    static NiObject* CreateObject();

    void RenderImmediate(NiRenderer* pkRenderer) override;
    bool GetModelTriangle(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
};
