#include "engine/scene/NiScreenPolygon.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiGeometryData.h"

#include <algorithm>

NiImplementTypeInfo(NiScreenPolygon, NiObject)

namespace
{
template <class T>
std::unique_ptr<T[]> CopyArray(const T* pkSource, std::uint16_t usCount)
{
    if (pkSource == nullptr || usCount == 0)
        return nullptr;
    std::unique_ptr<T[]> sp(new T[usCount]);
    std::copy(pkSource, pkSource + usCount, sp.get());
    return sp;
}

template <class T, class Eq>
bool ArraysEqual(const T* pkA, const T* pkB, std::uint16_t usCount, Eq fnEqual)
{
    if ((pkA == nullptr) != (pkB == nullptr))
        return false;
    if (pkA == nullptr)
        return true;
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        if (!fnEqual(pkA[i], pkB[i]))
            return false;
    }
    return true;
}

// Files before 4.1.0.0 keep the has-array flags 32 bits wide.
constexpr std::uint32_t BYTE_FLAGS_FROM = NiStreamVersion(4, 1, 0, 0);
} // namespace

NiScreenPolygon::NiScreenPolygon() : m_spPropertySet(new NiPropertySet) {}

NiScreenPolygon::NiScreenPolygon(std::uint16_t usVertices, const NiVec3* pkVertex, const NiVec2* pkTexture,
                                 const NiColorRGBA* pkColor)
    : m_spPropertySet(new NiPropertySet), m_usVertices(pkVertex != nullptr ? usVertices : 0),
      m_pkVertex(CopyArray(pkVertex, usVertices)), m_pkTexture(CopyArray(pkTexture, m_usVertices)),
      m_pkColor(CopyArray(pkColor, m_usVertices))
{
}

NiScreenPolygon::~NiScreenPolygon()
{
    NiRenderer::PurgeScreenPolygonData(this);
}

NiObject* NiScreenPolygon::CreateObject()
{
    return new NiScreenPolygon;
}

void NiScreenPolygon::Draw(NiRenderer* pkRenderer)
{
    if (pkRenderer == nullptr)
        return;
    pkRenderer->SetPropertyState(m_spPropertySet);
    pkRenderer->SetEffectState(nullptr);
    pkRenderer->RenderScreenPolygon(this);
}

void NiScreenPolygon::SetProperty(NiProperty* pkProperty)
{
    if (m_spPropertySet == nullptr)
        m_spPropertySet = new NiPropertySet;
    m_spPropertySet->SetProperty(pkProperty);
}

// ---- Cloning ----

NiObject* NiScreenPolygon::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiScreenPolygon(m_usVertices, m_pkVertex.get(), m_pkTexture.get(), m_pkColor.get());
    CopyMembers(pkClone, kCloning);
    return pkClone;
}

void NiScreenPolygon::CopyMembers(NiScreenPolygon* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    // The copy shares this polygon's property objects, in a set of its own.
    if (m_spPropertySet != nullptr)
        pkDest->m_spPropertySet = new NiPropertySet(*m_spPropertySet);
}

// ---- Scene-file record ----

void NiScreenPolygon::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint16_t usCount = 0;
    if (!kStream.ReadLE(usCount))
        return;
    if (!NiGeometryData::CheckBytesLeft(kStream, std::uint64_t{usCount} * sizeof(float) * 3))
        return;
    m_usVertices = usCount;
    m_pkVertex.reset(usCount != 0 ? new NiVec3[usCount] : nullptr);
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        kStream.ReadLE(m_pkVertex[i].x);
        kStream.ReadLE(m_pkVertex[i].y);
        kStream.ReadLE(m_pkVertex[i].z);
    }

    bool bHas = false;
    if (!NiGeometryData::ReadBool(kStream, bHas, BYTE_FLAGS_FROM))
        return;
    m_pkTexture.reset();
    if (bHas && usCount != 0)
    {
        if (!NiGeometryData::CheckBytesLeft(kStream, std::uint64_t{usCount} * sizeof(float) * 2))
            return;
        m_pkTexture.reset(new NiVec2[usCount]);
        for (std::uint16_t i = 0; i < usCount; ++i)
        {
            kStream.ReadLE(m_pkTexture[i].x);
            kStream.ReadLE(m_pkTexture[i].y);
        }
    }

    if (!NiGeometryData::ReadBool(kStream, bHas, BYTE_FLAGS_FROM))
        return;
    m_pkColor.reset();
    if (bHas && usCount != 0)
    {
        if (!NiGeometryData::CheckBytesLeft(kStream, std::uint64_t{usCount} * sizeof(float) * 4))
            return;
        m_pkColor.reset(new NiColorRGBA[usCount]);
        for (std::uint16_t i = 0; i < usCount; ++i)
        {
            kStream.ReadLE(m_pkColor[i].r);
            kStream.ReadLE(m_pkColor[i].g);
            kStream.ReadLE(m_pkColor[i].b);
            kStream.ReadLE(m_pkColor[i].a);
        }
    }

    kStream.ReadLinkIDList(); // properties
}

void NiScreenPolygon::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        // Anything but a property in a property slot fails the load.
        if (NiProperty* pkProperty = kStream.GetLinkedObjectAs<NiProperty>())
            SetProperty(pkProperty);
    }
}

bool NiScreenPolygon::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spPropertySet != nullptr)
    {
        for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        {
            if (NiProperty* pkProperty = m_spPropertySet->GetProperty(i))
                pkProperty->RegisterForSave(kStream);
        }
    }
    return true;
}

void NiScreenPolygon::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_usVertices);
    for (std::uint16_t i = 0; i < m_usVertices; ++i)
    {
        kStream.WriteLE(m_pkVertex[i].x);
        kStream.WriteLE(m_pkVertex[i].y);
        kStream.WriteLE(m_pkVertex[i].z);
    }
    const bool bTexture = m_pkTexture != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bTexture ? 1 : 0));
    for (std::uint16_t i = 0; bTexture && i < m_usVertices; ++i)
    {
        kStream.WriteLE(m_pkTexture[i].x);
        kStream.WriteLE(m_pkTexture[i].y);
    }
    const bool bColor = m_pkColor != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bColor ? 1 : 0));
    for (std::uint16_t i = 0; bColor && i < m_usVertices; ++i)
    {
        kStream.WriteLE(m_pkColor[i].r);
        kStream.WriteLE(m_pkColor[i].g);
        kStream.WriteLE(m_pkColor[i].b);
        kStream.WriteLE(m_pkColor[i].a);
    }
    // Every slot, defaults included: a reader's set then holds the very
    // properties this one drew with.
    kStream.WriteLE(static_cast<std::uint32_t>(NiProperty::MAX_TYPES));
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        kStream.WriteLinkID(m_spPropertySet != nullptr ? m_spPropertySet->GetProperty(i) : nullptr);
}

bool NiScreenPolygon::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkPolygon = static_cast<NiScreenPolygon*>(pkOther);
    if (m_usVertices != pkPolygon->m_usVertices)
        return false;
    if (!ArraysEqual(m_pkVertex.get(), pkPolygon->m_pkVertex.get(), m_usVertices,
                     [](const NiVec3& a, const NiVec3& b) { return a == b; }))
        return false;
    if (!ArraysEqual(m_pkTexture.get(), pkPolygon->m_pkTexture.get(), m_usVertices,
                     [](const NiVec2& a, const NiVec2& b) { return a.x == b.x && a.y == b.y; }))
        return false;
    if (!ArraysEqual(m_pkColor.get(), pkPolygon->m_pkColor.get(), m_usVertices,
                     [](const NiColorRGBA& a, const NiColorRGBA& b) {
                         return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
                     }))
        return false;
    // The very same property objects: equal copies do not draw the same way
    // once either is edited.
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
    {
        NiProperty* pkMine = m_spPropertySet != nullptr ? m_spPropertySet->GetProperty(i) : nullptr;
        NiProperty* pkTheirs =
            pkPolygon->m_spPropertySet != nullptr ? pkPolygon->m_spPropertySet->GetProperty(i) : nullptr;
        if (pkMine != pkTheirs)
            return false;
    }
    return true;
}

void NiScreenPolygon::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiScreenPolygon::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("%s = %hu", "m_usVertices", m_usVertices));
    kStrings.AddTail(NiViewerFormat("%s = %p", "m_pkVertex", static_cast<const void*>(m_pkVertex.get())));
    kStrings.AddTail(NiViewerFormat("%s = %p", "m_pkTexture", static_cast<const void*>(m_pkTexture.get())));
    kStrings.AddTail(NiViewerFormat("%s = %p", "m_pkColor", static_cast<const void*>(m_pkColor.get())));
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
    {
        NiProperty* pkProperty = m_spPropertySet != nullptr ? m_spPropertySet->GetProperty(i) : nullptr;
        const char* pcName = pkProperty != nullptr ? pkProperty->GetTypeInfo()->GetName() : "NULL";
        kStrings.AddTail(NiViewerPointer(pcName, pkProperty));
    }
}
