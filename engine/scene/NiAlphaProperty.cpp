#include "engine/scene/NiAlphaProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiAlphaProperty, NiProperty)
NiImplementCreateClone(NiAlphaProperty)

using namespace NiPropertyLocal;

void NiAlphaProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    m_uFlags = ReadFlags(kStream, 0x3FFF);
    kStream.ReadLE(m_ucTestRef);
}

void NiAlphaProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_ucTestRef);
}

bool NiAlphaProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiAlphaProperty*>(pkOther);
    // The no-sorter bit only steers the sorter, not what is drawn.
    constexpr std::uint16_t COMPARED = 0x1FFF;
    return (m_uFlags & COMPARED) == (pk->m_uFlags & COMPARED) && m_ucTestRef == pk->m_ucTestRef;
}

void NiAlphaProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAlphaProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bAlpha", GetAlphaBlending()));
    kStrings.AddTail(NiViewerString("m_eSrcBlend", EnumName(BLEND_NAMES, GetSrcBlendMode())));
    kStrings.AddTail(NiViewerString("m_eDestBlend", EnumName(BLEND_NAMES, GetDestBlendMode())));
    kStrings.AddTail(NiViewerBool("m_bAlphaTest", GetAlphaTesting()));
    kStrings.AddTail(NiViewerString("m_eTestMode", EnumName(TEST_NAMES, GetTestMode())));
    kStrings.AddTail(NiViewerBool("m_bNoSorter", GetNoSorter()));
    kStrings.AddTail(NiViewerUChar("m_ucTestRef", m_ucTestRef));
}

void NiAlphaProperty::CopyMembers(NiAlphaProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_ucTestRef = m_ucTestRef;
}
