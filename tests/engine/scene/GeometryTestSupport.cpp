#include "tests/engine/scene/GeometryTestSupport.h"

#include "engine/scene/NiScreenGeometry.h"

namespace scene_test
{
NiRefPtr<NiTriShapeData> SquareData(bool bColors, std::uint16_t usSets)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    NiColorRGBA* pkColor = bColors ? NewArray<NiColorRGBA>({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}})
                                   : nullptr;
    NiVec2* pkTexture = nullptr;
    if (usSets != 0)
    {
        pkTexture = new NiVec2[4u * usSets];
        for (std::uint32_t i = 0; i < 4u * usSets; ++i)
            pkTexture[i] = NiVec2(0.25f * static_cast<float>(i), 1.0f - 0.125f * static_cast<float>(i));
    }
    std::uint16_t* pusList = NewArray<std::uint16_t>({0, 1, 2, 0, 2, 3});
    return new NiTriShapeData(4, pkVertex, nullptr, pkColor, pkTexture, usSets, 0, 2, pusList);
}

void GeometryTest::SetUp()
{
    SceneGraphTest::SetUp();
    NiTriStripsData::ResetStripCursor();
    NiGeometryData::SetNextID(0);
}

void GeometryTest::TearDown()
{
    NiTriStripsData::ResetStripCursor();
    SceneGraphTest::TearDown();
}

Bytes DataBody(std::uint32_t uiVersion, const DataRecord& kData)
{
    Bytes k;
    const std::uint16_t usCount =
        kData.m_usCount != 0xFFFF ? kData.m_usCount : static_cast<std::uint16_t>(kData.m_kVertices.size());
    auto Bool = [&](bool b) {
        if (uiVersion >= V(4, 1, 0, 0))
            k.U8(b ? 1 : 0);
        else
            k.U32(b ? 1 : 0);
    };
    if (uiVersion >= V(10, 1, 0, 114))
        k.U32(0);
    k.U16(usCount);
    if (uiVersion >= V(10, 0, 1, 16))
        k.U8(0).U8(0);
    Bool(!kData.m_kVertices.empty());
    for (const NiVec3& v : kData.m_kVertices)
        k.F32(v.x).F32(v.y).F32(v.z);
    const std::uint16_t usFlags = static_cast<std::uint16_t>(kData.m_usSets | kData.m_usNBT);
    if (uiVersion >= V(10, 0, 0, 2))
        k.U16(usFlags);
    Bool(!kData.m_kNormals.empty());
    for (const NiVec3& v : kData.m_kNormals)
        k.F32(v.x).F32(v.y).F32(v.z);
    k.F32(0.5f).F32(0.5f).F32(0).F32(1); // bound
    Bool(false);                         // colours
    if (uiVersion < V(5, 0, 0, 10))
        k.U16(kData.m_usSets);
    else if (uiVersion < V(10, 0, 0, 2))
        k.U16(usFlags);
    if (uiVersion < V(4, 1, 0, 0))
        k.U32(kData.m_usSets != 0 ? 1 : 0);
    for (float f : kData.m_kTextures)
        k.F32(f);
    if (uiVersion >= V(5, 0, 0, 10))
        k.U16(kData.m_usConsistency);
    return k;
}

Bytes GeometryRecord(std::uint32_t uiVersion, std::uint32_t uiData, std::uint32_t uiSkin)
{
    Bytes k = NETBody(uiVersion, "geometry", {}, NONE).Append(AVBody(uiVersion, 0, {}));
    k.U32(uiData).U32(uiSkin);
    if (uiVersion >= V(5, 0, 0, 21))
        k.U8(0);
    return k;
}
} // namespace scene_test
