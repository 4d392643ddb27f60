#include "engine/scene/NiTriStrips.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"

#include <algorithm>

NiImplementTypeInfo(NiTriStripsData, NiTriBasedGeomData)
NiImplementTypeInfo(NiTriStrips, NiTriBasedGeom)

namespace
{
// Where the last triangle query ended. Keyed by the object itself (an
// identifier can repeat after wrapping) and cleared when that object
// changes its strips or dies.
struct StripCursor
{
    const NiTriStripsData* m_pkOwner = nullptr;
    std::uint32_t m_uiLast = 0;
    std::uint32_t m_uiStrip = 0;
    std::uint32_t m_uiStart = 0;
    std::uint32_t m_uiK = 0;
};

StripCursor s_kCursor;

std::uint32_t TrianglesOf(std::uint16_t usLength)
{
    return usLength > 2 ? usLength - 2u : 0u;
}

void ForgetCursorOf(const NiTriStripsData* pkData)
{
    if (s_kCursor.m_pkOwner == pkData)
        s_kCursor = StripCursor();
}
} // namespace

NiTriStripsData::NiTriStripsData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                                 NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                                 std::uint16_t usTriangles, std::uint16_t usStrips, std::uint16_t* pusStripLengths,
                                 std::uint16_t* pusStripLists)
    : NiTriBasedGeomData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod, usTriangles),
      m_usStrips(usStrips), m_pusStripLengths(pusStripLengths), m_pusStripLists(pusStripLists)
{
}

NiTriStripsData::~NiTriStripsData()
{
    ForgetCursorOf(this);
    delete[] m_pusStripLengths;
    delete[] m_pusStripLists;
}

NiObject* NiTriStripsData::CreateObject()
{
    return new NiTriStripsData;
}

void NiTriStripsData::ResetStripCursor()
{
    s_kCursor = StripCursor();
}

void NiTriStripsData::Replace(std::uint16_t usStrips, std::uint16_t* pusStripLengths, std::uint16_t* pusStripLists)
{
    ForgetCursorOf(this);
    if (m_pusStripLengths != pusStripLengths)
        delete[] m_pusStripLengths;
    if (m_pusStripLists != pusStripLists)
        delete[] m_pusStripLists;
    m_usStrips = usStrips;
    m_pusStripLengths = pusStripLengths;
    m_pusStripLists = pusStripLists;
}

bool NiTriStripsData::GetTriangleIndices(std::uint16_t usTriangle, std::uint16_t& usI0, std::uint16_t& usI1,
                                         std::uint16_t& usI2) const
{
    if (m_pusStripLists == nullptr || m_pusStripLengths == nullptr || usTriangle >= m_usTriangles)
        return false;
    StripCursor& c = s_kCursor;
    if (c.m_pkOwner != this || usTriangle != c.m_uiLast + 1)
    {
        c.m_pkOwner = this;
        c.m_uiStrip = 0;
        c.m_uiStart = 0;
        c.m_uiK = usTriangle;
    }
    else
    {
        ++c.m_uiK;
    }
    while (c.m_uiStrip < m_usStrips && c.m_uiK >= TrianglesOf(m_pusStripLengths[c.m_uiStrip]))
    {
        c.m_uiK -= TrianglesOf(m_pusStripLengths[c.m_uiStrip]);
        c.m_uiStart += m_pusStripLengths[c.m_uiStrip];
        ++c.m_uiStrip;
    }
    if (c.m_uiStrip >= m_usStrips)
    {
        c = StripCursor();
        return false;
    }
    const std::uint16_t* s = m_pusStripLists + c.m_uiStart;
    const std::uint32_t k = c.m_uiK;
    if (k & 1)
    {
        usI0 = s[k + 1];
        usI1 = s[k];
    }
    else
    {
        usI0 = s[k];
        usI1 = s[k + 1];
    }
    usI2 = s[k + 2];
    c.m_uiLast = usTriangle;
    return true;
}

void NiTriStripsData::GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths,
                                   const std::uint16_t*& pusTriList, std::uint32_t& uiListLength) const
{
    usStrips = m_usStrips;
    pusStripLengths = m_pusStripLengths;
    pusTriList = m_pusStripLists;
    uiListLength = GetStripListLength();
}

void NiTriStripsData::CalculateNormals()
{
    if (m_pkVertex == nullptr || m_usVertices == 0)
        return;
    CreateNormals(true);
    if (m_pusStripLists != nullptr && m_pusStripLengths != nullptr)
    {
        const std::uint16_t* s = m_pusStripLists;
        for (std::uint16_t strip = 0; strip < m_usStrips; ++strip)
        {
            const std::uint16_t usLength = m_pusStripLengths[strip];
            for (std::uint32_t k = 2; k < usLength; ++k)
            {
                if (k & 1)
                    AddFaceNormal(s[k - 2], s[k], s[k - 1]);
                else
                    AddFaceNormal(s[k - 2], s[k - 1], s[k]);
            }
            s += usLength;
        }
    }
    NiVec3::UnitizeArray(m_pkNormal, m_usVertices, sizeof(NiVec3));
    m_usDirtyFlags |= NORMALS_DIRTY;
}

std::uint32_t NiTriStripsData::GetBlockAllocationSize() const
{
    return NiTriBasedGeomData::GetBlockAllocationSize() + 2u * (m_usStrips + GetStripListLength());
}

void NiTriStripsData::ReadFromStream(NiObjectStream& kStream)
{
    NiTriBasedGeomData::ReadFromStream(kStream);
    if (!kStream.ReadLE(m_usStrips))
        return;
    if (m_usStrips == 0)
    {
        if (m_usTriangles != 0)
            kStream.SetCorrupt();
        return;
    }
    m_pusStripLengths = ReadU16Array(kStream, m_usStrips);
    if (m_pusStripLengths == nullptr)
        return;
    // The lengths must add up to the index list and every strip must hold
    // at least an edge: a shorter one would make the triangle walk count
    // backwards.
    std::uint32_t uiSum = 0;
    std::uint32_t uiTriangles = 0;
    for (std::uint16_t s = 0; s < m_usStrips; ++s)
    {
        uiSum += m_pusStripLengths[s];
        uiTriangles += TrianglesOf(m_pusStripLengths[s]);
    }
    if (uiSum != GetStripListLength() || uiTriangles != m_usTriangles)
    {
        kStream.SetCorrupt();
        return;
    }
    std::uint8_t ucHasPoints = 1;
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 0, 1, 17) && !kStream.ReadLE(ucHasPoints))
        return;
    if (ucHasPoints == 0)
        return;
    m_pusStripLists = ReadU16Array(kStream, uiSum);
    if (m_pusStripLists == nullptr)
        return;
    for (std::uint32_t i = 0; i < uiSum; ++i)
    {
        if (m_pusStripLists[i] >= m_usVertices)
        {
            kStream.SetCorrupt();
            return;
        }
    }
}

void NiTriStripsData::WriteToStream(NiObjectStream& kStream)
{
    NiTriBasedGeomData::WriteToStream(kStream);
    kStream.WriteLE(m_usStrips);
    if (m_usStrips == 0)
        return;
    for (std::uint16_t s = 0; s < m_usStrips; ++s)
        kStream.WriteLE(m_pusStripLengths[s]);
    kStream.WriteLE(static_cast<std::uint8_t>(m_pusStripLists != nullptr ? 1 : 0));
    if (m_pusStripLists == nullptr)
        return;
    for (std::uint32_t i = 0; i < GetStripListLength(); ++i)
        kStream.WriteLE(m_pusStripLists[i]);
}

bool NiTriStripsData::IsEqual(NiObject* pkOther)
{
    if (!NiTriBasedGeomData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiTriStripsData*>(pkOther);
    if (m_usStrips != pkData->m_usStrips)
        return false;
    if (m_usStrips == 0)
        return true;
    if ((m_pusStripLengths == nullptr) != (pkData->m_pusStripLengths == nullptr) ||
        (m_pusStripLists == nullptr) != (pkData->m_pusStripLists == nullptr))
        return false;
    if (m_pusStripLengths != nullptr &&
        !std::equal(m_pusStripLengths, m_pusStripLengths + m_usStrips, pkData->m_pusStripLengths))
        return false;
    return m_pusStripLists == nullptr ||
           std::equal(m_pusStripLists, m_pusStripLists + GetStripListLength(), pkData->m_pusStripLists);
}

void NiTriStripsData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriBasedGeomData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriStripsData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_usStrips", m_usStrips));
    kStrings.AddTail(NiViewerPointer("m_pusStripLengths", m_pusStripLengths));
    kStrings.AddTail(NiViewerPointer("m_pusStripLists", m_pusStripLists));
}

// ---- NiTriStrips ----

NiObject* NiTriStrips::CreateObject()
{
    return new NiTriStrips;
}

NiImplementCreateClone(NiTriStrips)

void NiTriStrips::CopyMembers(NiTriStrips* pkDest, NiCloneContext& kCloning)
{
    NiTriBasedGeom::CopyMembers(pkDest, kCloning);
}

void NiTriStrips::RenderImmediate(NiRenderer* pkRenderer)
{
    PrepareDraw(pkRenderer);
    if (pkRenderer != nullptr)
        pkRenderer->DrawTriShape(this);
}

bool NiTriStrips::GetModelTriangle(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2)
{
    return ModelTriangleOf(usTriangle, pkP0, pkP1, pkP2);
}

void NiTriStrips::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriBasedGeom::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriStrips::TypeInfo()->GetName()));
}

bool NiTriStrips::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiTriStripsData>(pkData);
}
