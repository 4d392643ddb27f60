#pragma once

// Test support of the geometry tests: a renderer that records geometry
// purges and draws, small hand-made shapes, and record builders for the
// geometry and geometry-data parts of hand-built files.

#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

#include <vector>

namespace scene_test
{
class GeomRenderer : public RecordingRenderer
{
public:
    std::uint32_t m_uiFlags = 0;
    std::vector<const void*> m_kPurgedData;
    std::vector<const void*> m_kPurgedSkins;
    std::vector<const void*> m_kPurgedPartitions;
    std::vector<const void*> m_kShapes;
    std::vector<const void*> m_kPoints;

    [[nodiscard]] std::uint32_t GetFlags() const override { return m_uiFlags; }
    void PurgeGeometryRendererData(NiGeometryData* pk) override { m_kPurgedData.push_back(pk); }
    void PurgeSkinInstanceRendererData(NiSkinInstance* pk) override { m_kPurgedSkins.push_back(pk); }
    void PurgeSkinPartitionRendererData(NiSkinPartition* pk) override { m_kPurgedPartitions.push_back(pk); }
    void DrawTriShape(NiTriBasedGeom* pk) override { m_kShapes.push_back(pk); }
    void DrawPoints(NiParticles* pk) override { m_kPoints.push_back(pk); }
};

template <class T>
T* NewArray(const std::vector<T>& kValues)
{
    if (kValues.empty())
        return nullptr;
    T* p = new T[kValues.size()];
    for (std::size_t i = 0; i < kValues.size(); ++i)
        p[i] = kValues[i];
    return p;
}

// A unit square in the z = 0 plane as two triangles: (0,1,2) and (0,2,3).
NiRefPtr<NiTriShapeData> SquareData(bool bColors = false, std::uint16_t usSets = 0);

class GeometryTest : public SceneGraphTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// NiGeometryData's record part in the version's form: no arrays but the
// vertices (when given), the bound, and the sets given by texture pairs.
struct DataRecord
{
    std::vector<NiVec3> m_kVertices;
    std::uint16_t m_usCount = 0xFFFF; // the vertex count written; default: the vertices'
    std::vector<NiVec3> m_kNormals;
    std::uint16_t m_usNBT = 0;
    std::uint16_t m_usSets = 0;
    std::vector<float> m_kTextures; // written as they are
    std::uint16_t m_usConsistency = 0;
};
Bytes DataBody(std::uint32_t uiVersion, const DataRecord& kData);

// The geometry part after the positioned object's: data and skin links and
// (from the version on) the shader byte.
Bytes GeometryRecord(std::uint32_t uiVersion, std::uint32_t uiData, std::uint32_t uiSkin = NONE);
} // namespace scene_test
