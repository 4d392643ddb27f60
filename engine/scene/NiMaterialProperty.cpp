#include "engine/scene/NiMaterialProperty.h"

#include "engine/render/NiRenderer.h"
#include "engine/scene/NiPropertyLocal.h"

NiImplementTypeInfo(NiMaterialProperty, NiProperty)
NiImplementCreateClone(NiMaterialProperty)

using namespace NiPropertyLocal;

std::atomic<std::uint32_t> NiMaterialProperty::ms_uiNextIndex{0};

NiMaterialProperty::NiMaterialProperty() : m_uiIndex(ms_uiNextIndex.fetch_add(1))
{
}

NiMaterialProperty::~NiMaterialProperty()
{
    NiRenderer::PurgeMaterialData(this);
}

void NiMaterialProperty::ResetIndexCounter()
{
    ms_uiNextIndex = 0;
}

void NiMaterialProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    ReadColor(kStream, m_kAmb);
    ReadColor(kStream, m_kDiff);
    ReadColor(kStream, m_kSpec);
    ReadColor(kStream, m_kEmit);
    kStream.ReadLE(m_fShine);
    kStream.ReadLE(m_fAlpha);
}

void NiMaterialProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    WriteColor(kStream, m_kAmb);
    WriteColor(kStream, m_kDiff);
    WriteColor(kStream, m_kSpec);
    WriteColor(kStream, m_kEmit);
    kStream.WriteLE(m_fShine);
    kStream.WriteLE(m_fAlpha);
}

bool NiMaterialProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiMaterialProperty*>(pkOther);
    return m_kAmb == pk->m_kAmb && m_kDiff == pk->m_kDiff && m_kSpec == pk->m_kSpec && m_kEmit == pk->m_kEmit &&
           m_fShine == pk->m_fShine && m_fAlpha == pk->m_fAlpha;
}

void NiMaterialProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiMaterialProperty::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerColorRGB("m_amb", m_kAmb));
    kStrings.AddTail(NiViewerColorRGB("m_diff", m_kDiff));
    kStrings.AddTail(NiViewerColorRGB("m_spec", m_kSpec));
    kStrings.AddTail(NiViewerColorRGB("m_emit", m_kEmit));
    kStrings.AddTail(NiViewerFloat("m_fShine", m_fShine));
    kStrings.AddTail(NiViewerFloat("m_fAlpha", m_fAlpha));
}

void NiMaterialProperty::CopyMembers(NiMaterialProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_kAmb = m_kAmb;
    pkDest->m_kDiff = m_kDiff;
    pkDest->m_kSpec = m_kSpec;
    pkDest->m_kEmit = m_kEmit;
    pkDest->m_fShine = m_fShine;
    pkDest->m_fAlpha = m_fAlpha;
}
