#include "engine/scene/NiVertexColorProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiVertexColorProperty, NiProperty)
NiImplementCreateClone(NiVertexColorProperty)

using namespace NiPropertyLocal;

namespace
{
const char* const SOURCE_NAMES[] = {"SOURCE_IGNORE", "SOURCE_EMISSIVE", "SOURCE_AMB_DIFF"};
const char* const LIGHTING_NAMES[] = {"LIGHTING_E", "LIGHTING_E_A_D"};
} // namespace

void NiVertexColorProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    m_uFlags = ReadFlags(kStream, 7);
    kStream.ReadLE(m_eSource);
    kStream.ReadLE(m_eLighting);
}

void NiVertexColorProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_eSource);
    kStream.WriteLE(m_eLighting);
}

bool NiVertexColorProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiVertexColorProperty*>(pkOther);
    return m_eSource == pk->m_eSource && m_eLighting == pk->m_eLighting;
}

void NiVertexColorProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiVertexColorProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerString("m_eSource", EnumName(SOURCE_NAMES, m_eSource)));
    kStrings.AddTail(NiViewerString("m_eLighting", EnumName(LIGHTING_NAMES, m_eLighting)));
}

void NiVertexColorProperty::CopyMembers(NiVertexColorProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_eSource = m_eSource;
    pkDest->m_eLighting = m_eLighting;
}
