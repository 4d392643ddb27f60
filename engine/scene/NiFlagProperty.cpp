#include "engine/scene/NiFlagProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiDitherProperty, NiProperty)
NiImplementTypeInfo(NiShadeProperty, NiProperty)
NiImplementTypeInfo(NiSpecularProperty, NiProperty)
NiImplementTypeInfo(NiWireframeProperty, NiProperty)
NiImplementCreateClone(NiDitherProperty)
NiImplementCreateClone(NiShadeProperty)
NiImplementCreateClone(NiSpecularProperty)
NiImplementCreateClone(NiWireframeProperty)

using namespace NiPropertyLocal;

void NiFlagProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    m_uFlags = ReadFlags(kStream, 1);
}

void NiFlagProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
}

bool NiFlagProperty::IsEqual(NiObject* pkOther)
{
    return NiProperty::IsEqual(pkOther) && (m_uFlags & 1) == (static_cast<NiFlagProperty*>(pkOther)->m_uFlags & 1);
}

void NiFlagProperty::CopyMembers(NiFlagProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
}

void NiFlagProperty::AppendFlagStrings(NiViewerStringArray& kStrings, const char* pcClass, const char* pcName)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(pcClass));
    kStrings.AddTail(NiViewerBool(pcName, GetSwitch()));
}

#define NI_FLAG_PROPERTY_MEMBERS(classname, viewername)                                                                \
    void classname::CopyMembers(classname* pkDest, NiCloneContext& kCloning)                                           \
    {                                                                                                                  \
        NiFlagProperty::CopyMembers(pkDest, kCloning);                                                                 \
    }                                                                                                                  \
    void classname::AppendViewerStrings(NiViewerStringArray& kStrings)                                                 \
    {                                                                                                                  \
        AppendFlagStrings(kStrings, classname::TypeInfo()->GetName(), viewername);                                     \
    }

NI_FLAG_PROPERTY_MEMBERS(NiDitherProperty, "m_bDither")
NI_FLAG_PROPERTY_MEMBERS(NiShadeProperty, "m_bSmooth")
NI_FLAG_PROPERTY_MEMBERS(NiSpecularProperty, "m_bSpec")
NI_FLAG_PROPERTY_MEMBERS(NiWireframeProperty, "m_bWireframe")
