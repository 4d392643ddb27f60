#include "engine/scene/NiZBufferProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiZBufferProperty, NiProperty)
NiImplementCreateClone(NiZBufferProperty)

using namespace NiPropertyLocal;

void NiZBufferProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    m_uFlags = ReadFlags(kStream, 3);
    if (kStream.GetFileVersion() >= NiStreamVersion(4, 1, 0, 5))
        kStream.ReadLE(m_eTest);
    else
        m_eTest = TEST_LESSEQUAL;
}

void NiZBufferProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_eTest);
}

bool NiZBufferProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiZBufferProperty*>(pkOther);
    return (m_uFlags & 3) == (pk->m_uFlags & 3) && m_eTest == pk->m_eTest;
}

void NiZBufferProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiZBufferProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bZTest", GetZBufferTest()));
    kStrings.AddTail(NiViewerBool("m_bZWrite", GetZBufferWrite()));
    kStrings.AddTail(NiViewerString("m_eTest", EnumName(TEST_NAMES, m_eTest)));
}

void NiZBufferProperty::CopyMembers(NiZBufferProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_eTest = m_eTest;
}
