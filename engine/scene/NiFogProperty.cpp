#include "engine/scene/NiFogProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiFogProperty, NiProperty)
NiImplementCreateClone(NiFogProperty)

using namespace NiPropertyLocal;

namespace
{
const char* const FOG_NAMES[] = {"FOG_Z_LINEAR", "FOG_RANGE_SQ", "FOG_VERTEX_ALPHA"};
}

void NiFogProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(5, 0, 0, 22))
    {
        m_uFlags = ReadFlags(kStream, 7);
    }
    else
    {
        // The oldest files kept fog on in bit 1 and the function in bits 3-4.
        std::uint16_t usOld = kStream.GetSavedPropertyFlags();
        m_uFlags = static_cast<std::uint16_t>(((usOld >> 1) & 1) | (((usOld >> 3) & 3) << 1));
    }
    kStream.ReadLE(m_fDepth);
    ReadColor(kStream, m_kColor);
}

void NiFogProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_fDepth);
    WriteColor(kStream, m_kColor);
}

bool NiFogProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiFogProperty*>(pkOther);
    return (m_uFlags & 7) == (pk->m_uFlags & 7) && m_fDepth == pk->m_fDepth && m_kColor == pk->m_kColor;
}

void NiFogProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFogProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("Enable", GetFog()));
    kStrings.AddTail(NiViewerString("Function", EnumName(FOG_NAMES, GetFogFunction())));
    kStrings.AddTail(NiViewerFloat("Depth", m_fDepth));
    kStrings.AddTail(NiViewerColorRGB("Color", m_kColor));
}

void NiFogProperty::CopyMembers(NiFogProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_fDepth = m_fDepth;
    pkDest->m_kColor = m_kColor;
}
