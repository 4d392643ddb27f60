#include "engine/scene/NiLight.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"

NiImplementTypeInfo(NiLight, NiDynamicEffect)
NiImplementTypeInfo(NiAmbientLight, NiLight)
NiImplementTypeInfo(NiDirectionalLight, NiLight)
NiImplementTypeInfo(NiPointLight, NiLight)
NiImplementTypeInfo(NiSpotLight, NiPointLight)

NiImplementCreateClone(NiAmbientLight)
NiImplementCreateClone(NiDirectionalLight)
NiImplementCreateClone(NiPointLight)
NiImplementCreateClone(NiSpotLight)

namespace
{
void ReadColor(NiObjectStream& kStream, NiColorRGB& kColor)
{
    kStream.ReadLE(kColor.r);
    kStream.ReadLE(kColor.g);
    kStream.ReadLE(kColor.b);
}

void WriteColor(NiObjectStream& kStream, const NiColorRGB& kColor)
{
    kStream.WriteLE(kColor.r);
    kStream.WriteLE(kColor.g);
    kStream.WriteLE(kColor.b);
}
} // namespace

// ---- NiLight ----

NiLight::~NiLight()
{
    NiRenderer::PurgeEffectData(this);
}

void NiLight::ReadFromStream(NiObjectStream& kStream)
{
    NiDynamicEffect::ReadFromStream(kStream);
    kStream.ReadLE(m_fDimmer);
    ReadColor(kStream, m_kAmb);
    ReadColor(kStream, m_kDiff);
    ReadColor(kStream, m_kSpec);
}

void NiLight::WriteToStream(NiObjectStream& kStream)
{
    NiDynamicEffect::WriteToStream(kStream);
    kStream.WriteLE(m_fDimmer);
    WriteColor(kStream, m_kAmb);
    WriteColor(kStream, m_kDiff);
    WriteColor(kStream, m_kSpec);
}

bool NiLight::IsEqual(NiObject* pkOther)
{
    if (!NiDynamicEffect::IsEqual(pkOther))
        return false;
    auto* pkLight = static_cast<NiLight*>(pkOther);
    return m_fDimmer == pkLight->m_fDimmer && m_kAmb == pkLight->m_kAmb && m_kDiff == pkLight->m_kDiff &&
           m_kSpec == pkLight->m_kSpec;
}

void NiLight::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiDynamicEffect::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLight::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fDimmer", m_fDimmer));
    kStrings.AddTail(NiViewerColorRGB("m_kAmb", m_kAmb));
    kStrings.AddTail(NiViewerColorRGB("m_kDiff", m_kDiff));
    kStrings.AddTail(NiViewerColorRGB("m_kSpec", m_kSpec));
}

void NiLight::CopyMembers(NiLight* pkDest, NiCloneContext& kCloning)
{
    NiDynamicEffect::CopyMembers(pkDest, kCloning);
    pkDest->m_fDimmer = m_fDimmer;
    pkDest->m_kAmb = m_kAmb;
    pkDest->m_kDiff = m_kDiff;
    pkDest->m_kSpec = m_kSpec;
}

// ---- NiAmbientLight ----

void NiAmbientLight::CopyMembers(NiAmbientLight* pkDest, NiCloneContext& kCloning)
{
    NiLight::CopyMembers(pkDest, kCloning);
}

void NiAmbientLight::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiLight::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAmbientLight::TypeInfo()->GetName()));
}

// ---- NiDirectionalLight ----

void NiDirectionalLight::UpdateWorldData()
{
    NiLight::UpdateWorldData();
    m_kWorldDir = m_kWorld.m_kRotate.GetColumn(0);
    ++m_uiRevID;
}

void NiDirectionalLight::CopyMembers(NiDirectionalLight* pkDest, NiCloneContext& kCloning)
{
    NiLight::CopyMembers(pkDest, kCloning);
    pkDest->m_kWorldDir = m_kWorldDir;
}

void NiDirectionalLight::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiLight::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiDirectionalLight::TypeInfo()->GetName()));
}

// ---- NiPointLight ----

void NiPointLight::UpdateWorldData()
{
    NiLight::UpdateWorldData();
    ++m_uiRevID;
}

void NiPointLight::ReadFromStream(NiObjectStream& kStream)
{
    NiLight::ReadFromStream(kStream);
    kStream.ReadLE(m_fAtten0);
    kStream.ReadLE(m_fAtten1);
    kStream.ReadLE(m_fAtten2);
}

void NiPointLight::WriteToStream(NiObjectStream& kStream)
{
    NiLight::WriteToStream(kStream);
    kStream.WriteLE(m_fAtten0);
    kStream.WriteLE(m_fAtten1);
    kStream.WriteLE(m_fAtten2);
}

bool NiPointLight::IsEqual(NiObject* pkOther)
{
    if (!NiLight::IsEqual(pkOther))
        return false;
    auto* pkLight = static_cast<NiPointLight*>(pkOther);
    return m_fAtten0 == pkLight->m_fAtten0 && m_fAtten1 == pkLight->m_fAtten1 && m_fAtten2 == pkLight->m_fAtten2;
}

void NiPointLight::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiLight::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPointLight::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fAtten0", m_fAtten0));
    kStrings.AddTail(NiViewerFloat("m_fAtten1", m_fAtten1));
    kStrings.AddTail(NiViewerFloat("m_fAtten2", m_fAtten2));
}

void NiPointLight::CopyMembers(NiPointLight* pkDest, NiCloneContext& kCloning)
{
    NiLight::CopyMembers(pkDest, kCloning);
    pkDest->m_fAtten0 = m_fAtten0;
    pkDest->m_fAtten1 = m_fAtten1;
    pkDest->m_fAtten2 = m_fAtten2;
}

// ---- NiSpotLight ----

void NiSpotLight::UpdateWorldData()
{
    NiPointLight::UpdateWorldData();
    m_kWorldDir = m_kWorld.m_kRotate.GetColumn(0);
    ++m_uiRevID;
}

void NiSpotLight::ReadFromStream(NiObjectStream& kStream)
{
    NiPointLight::ReadFromStream(kStream);
    kStream.ReadLE(m_fSpotAngle);
    kStream.ReadLE(m_fSpotExponent);
}

void NiSpotLight::WriteToStream(NiObjectStream& kStream)
{
    NiPointLight::WriteToStream(kStream);
    kStream.WriteLE(m_fSpotAngle);
    kStream.WriteLE(m_fSpotExponent);
}

bool NiSpotLight::IsEqual(NiObject* pkOther)
{
    if (!NiPointLight::IsEqual(pkOther))
        return false;
    auto* pkLight = static_cast<NiSpotLight*>(pkOther);
    return m_fSpotAngle == pkLight->m_fSpotAngle && m_fSpotExponent == pkLight->m_fSpotExponent;
}

void NiSpotLight::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiPointLight::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSpotLight::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("m_kWorldDir = (%g,%g,%g)", m_kWorldDir.x, m_kWorldDir.y, m_kWorldDir.z));
    kStrings.AddTail(NiViewerFloat("m_fSpotAngle", m_fSpotAngle));
    kStrings.AddTail(NiViewerFloat("m_fSpotExponent", m_fSpotExponent));
}

void NiSpotLight::CopyMembers(NiSpotLight* pkDest, NiCloneContext& kCloning)
{
    NiPointLight::CopyMembers(pkDest, kCloning);
    pkDest->m_kWorldDir = m_kWorldDir;
    pkDest->m_fSpotAngle = m_fSpotAngle;
    pkDest->m_fSpotExponent = m_fSpotExponent;
}
