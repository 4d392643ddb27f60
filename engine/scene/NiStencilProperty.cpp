#include "engine/scene/NiStencilProperty.h"

#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiStencilProperty, NiProperty)
NiImplementCreateClone(NiStencilProperty)

using namespace NiPropertyLocal;

namespace
{
const char* const STENCIL_TEST_NAMES[] = {"TEST_NEVER",   "TEST_LESS",     "TEST_EQUAL",        "TEST_LESSEQUAL",
                                          "TEST_GREATER", "TEST_NOTEQUAL", "TEST_GREATEREQUAL", "TEST_ALWAYS"};
const char* const ACTION_NAMES[] = {"ACTION_KEEP",      "ACTION_ZERO",      "ACTION_REPLACE",
                                    "ACTION_INCREMENT", "ACTION_DECREMENT", "ACTION_INVERT"};
const char* const DRAW_NAMES[] = {"DRAW_CCW_OR_BOTH", "DRAW_CCW", "DRAW_CW", "DRAW_BOTH"};
} // namespace

void NiStencilProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    kStream.ReadLE(m_bEnable);
    kStream.ReadLE(m_eTest);
    kStream.ReadLE(m_uiRef);
    kStream.ReadLE(m_uiMask);
    kStream.ReadLE(m_eFailAct);
    kStream.ReadLE(m_eZFailAct);
    kStream.ReadLE(m_ePassAct);
    kStream.ReadLE(m_eDrawMode);
}

void NiStencilProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_bEnable);
    kStream.WriteLE(m_eTest);
    kStream.WriteLE(m_uiRef);
    kStream.WriteLE(m_uiMask);
    kStream.WriteLE(m_eFailAct);
    kStream.WriteLE(m_eZFailAct);
    kStream.WriteLE(m_ePassAct);
    kStream.WriteLE(m_eDrawMode);
}

bool NiStencilProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiStencilProperty*>(pkOther);
    return m_bEnable == pk->m_bEnable && m_eTest == pk->m_eTest && m_uiRef == pk->m_uiRef &&
           m_uiMask == pk->m_uiMask && m_eFailAct == pk->m_eFailAct && m_eZFailAct == pk->m_eZFailAct &&
           m_ePassAct == pk->m_ePassAct && m_eDrawMode == pk->m_eDrawMode;
}

void NiStencilProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiStencilProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bEnable", m_bEnable != 0));
    kStrings.AddTail(NiViewerString("m_eTest", EnumName(STENCIL_TEST_NAMES, m_eTest)));
    kStrings.AddTail(NiViewerUInt("m_uiRef", m_uiRef));
    kStrings.AddTail(NiViewerUInt("m_uiMask", m_uiMask));
    kStrings.AddTail(NiViewerString("m_eFailAct", EnumName(ACTION_NAMES, m_eFailAct)));
    kStrings.AddTail(NiViewerString("m_eZFailAct", EnumName(ACTION_NAMES, m_eZFailAct)));
    kStrings.AddTail(NiViewerString("m_ePassAct", EnumName(ACTION_NAMES, m_ePassAct)));
    kStrings.AddTail(NiViewerString("m_eDrawMode", EnumName(DRAW_NAMES, m_eDrawMode)));
}

void NiStencilProperty::CopyMembers(NiStencilProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_bEnable = m_bEnable;
    pkDest->m_eTest = m_eTest;
    pkDest->m_uiRef = m_uiRef;
    pkDest->m_uiMask = m_uiMask;
    pkDest->m_eFailAct = m_eFailAct;
    pkDest->m_eZFailAct = m_eZFailAct;
    pkDest->m_ePassAct = m_ePassAct;
    pkDest->m_eDrawMode = m_eDrawMode;
}
