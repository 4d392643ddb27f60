#include "engine/scene/NiTriBasedGeom.h"

#include "engine/core/NiBatch.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <cmath>
#include <cstring>

NiImplementTypeInfo(NiTriBasedGeomData, NiGeometryData)
NiImplementTypeInfo(NiTriBasedGeom, NiGeometry)

NiTriBasedGeomData::NiTriBasedGeomData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal,
                                       NiColorRGBA* pkColor, NiVec2* pkTexture, std::uint16_t usTextureSets,
                                       std::uint16_t usNBTMethod, std::uint16_t usTriangles)
    : NiGeometryData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod),
      m_usTriangles(usTriangles)
{
}

NiVec3 NiTriBasedGeomData::FastUnit(const NiVec3& kVector)
{
    float fLength2 = kVector.x * kVector.x + kVector.y * kVector.y + kVector.z * kVector.z;
    if (fLength2 == 0.0f)
        return NiVec3::ZERO;
    const std::uint32_t* puiTable = NiGetSqrtTable();
    float fRoot = 0.0f;
    if (puiTable == nullptr)
    {
        fRoot = std::sqrt(fLength2);
    }
    else
    {
        std::uint32_t uiBits = 0;
        std::memcpy(&uiBits, &fLength2, 4);
        std::int32_t iExponent = static_cast<std::int32_t>((uiBits >> 23) & 0xFF) - 127;
        std::uint32_t uiMantissa = uiBits & 0x007FFFFF;
        if (iExponent & 1)
            uiMantissa |= 0x00800000;
        std::uint32_t uiIndex = uiMantissa >> 16;
        std::uint32_t uiRoot = (static_cast<std::uint32_t>((iExponent >> 1) + 127) << 23) | (puiTable[uiIndex] & 0x007FFFFF);
        std::memcpy(&fRoot, &uiRoot, 4);
    }
    return kVector * (1.0f / fRoot);
}

NiVec3 NiTriBasedGeomData::AddFaceNormal(std::uint16_t usI0, std::uint16_t usI1, std::uint16_t usI2)
{
    const NiVec3& kP0 = m_pkVertex[usI0];
    const NiVec3& kP1 = m_pkVertex[usI1];
    const NiVec3& kP2 = m_pkVertex[usI2];
    NiVec3 kFace = FastUnit((kP1 - kP0).Cross(kP2 - kP1));
    m_pkNormal[usI0] += kFace;
    m_pkNormal[usI1] += kFace;
    m_pkNormal[usI2] += kFace;
    return kFace;
}

void NiTriBasedGeomData::ReadFromStream(NiObjectStream& kStream)
{
    NiGeometryData::ReadFromStream(kStream);
    (void)kStream.ReadLE(m_usTriangles);
}

void NiTriBasedGeomData::WriteToStream(NiObjectStream& kStream)
{
    NiGeometryData::WriteToStream(kStream);
    kStream.WriteLE(m_usTriangles);
}

bool NiTriBasedGeomData::IsEqual(NiObject* pkOther)
{
    return NiGeometryData::IsEqual(pkOther) && static_cast<NiTriBasedGeomData*>(pkOther)->m_usTriangles == m_usTriangles;
}

void NiTriBasedGeomData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometryData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriBasedGeomData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_usTriangles", m_usTriangles));
}

void NiTriBasedGeom::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometry::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriBasedGeom::TypeInfo()->GetName()));
}

bool NiTriBasedGeom::ModelTriangleOf(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2) const
{
    auto* pkData = static_cast<NiTriBasedGeomData*>(m_spModelData.Get());
    if (pkData == nullptr || pkData->GetVertices() == nullptr)
        return false;
    std::uint16_t i0 = 0, i1 = 0, i2 = 0;
    if (!pkData->GetTriangleIndices(usTriangle, i0, i1, i2))
        return false;
    const std::uint16_t usVertices = pkData->GetVertexCount();
    if (i0 >= usVertices || i1 >= usVertices || i2 >= usVertices)
        return false;
    NiVec3* pkVertex = pkData->GetVertices();
    pkP0 = pkVertex + i0;
    pkP1 = pkVertex + i1;
    pkP2 = pkVertex + i2;
    return true;
}
