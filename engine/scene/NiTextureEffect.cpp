#include "engine/scene/NiTextureEffect.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiTexturingProperty.h"

NiImplementTypeInfo(NiTextureEffect, NiDynamicEffect)
NiImplementCreateClone(NiTextureEffect)

namespace
{
const char* const TEXTURE_TYPE_NAMES[] = {"PROJECTED_LIGHT", "PROJECTED_SHADOW", "ENVIRONMENT_MAP", "FOG_MAP"};
const char* const COORD_MODE_NAMES[] = {"WORLD_PARALLEL", "WORLD_PERSPECTIVE", "SPHERE_MAP", "SPECULAR_CUBE_MAP",
                                        "DIFFUSE_CUBE_MAP"};

template <std::size_t N>
const char* EnumName(const char* const (&apcNames)[N], std::uint32_t uiValue)
{
    return uiValue < N ? apcNames[uiValue] : "UNKNOWN";
}
} // namespace

NiTextureEffect::~NiTextureEffect()
{
    NiRenderer::PurgeEffectData(this);
    m_spTexture = nullptr;
}

void NiTextureEffect::UpdateWorldData()
{
    NiDynamicEffect::UpdateWorldData();
    const NiMatrix3x3& R = m_kWorld.m_kRotate;
    const NiVec3& T = m_kWorld.m_kTranslate;
    float s = m_kWorld.m_fScale;

    switch (m_eCoordMode)
    {
    case SPHERE_MAP:
        m_kWorldProjTrans = NiVec3(0.5f, 0.5f, 0.0f);
        m_kWorldProjMat.SetRow(0, R.GetColumn(2) * 0.5f);
        m_kWorldProjMat.SetRow(1, R.GetColumn(1) * -0.5f);
        m_kWorldProjMat.SetRow(2, NiVec3::ZERO);
        break;
    case SPECULAR_CUBE_MAP:
    case DIFFUSE_CUBE_MAP:
        m_kWorldProjTrans = NiVec3::ZERO;
        m_kWorldProjMat = m_kModelProjMat.Multiply(R.Transpose());
        break;
    default:
        m_kWorldProjMat = m_kModelProjMat.Multiply(R.Transpose()).ScaleBy(1.0f / s);
        m_kWorldProjTrans = m_kModelProjTrans - m_kWorldProjMat.MultiplyVector(T);
        break;
    }

    NiVec3 kNormal = R.MultiplyVector(m_kModelPlane.m_kNormal);
    m_kWorldPlane = NiPlane(kNormal, m_kModelPlane.m_fConstant * s + kNormal.Dot(T));
    ++m_uiRevID;
}

// ---- Scene-file record ----

void NiTextureEffect::ReadFromStream(NiObjectStream& kStream)
{
    NiDynamicEffect::ReadFromStream(kStream);
    float afMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    kStream.ReadLE(afMatrix, 9);
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            m_kModelProjMat.SetEntry(r, c, afMatrix[3 * r + c]);
    }
    kStream.ReadLE(m_kModelProjTrans.x);
    kStream.ReadLE(m_kModelProjTrans.y);
    kStream.ReadLE(m_kModelProjTrans.z);
    kStream.ReadLE(m_eFilter);
    kStream.ReadLE(m_eClamp);
    kStream.ReadLE(m_eTextureMode);
    kStream.ReadLE(m_eCoordMode);
    kStream.ReadLinkID();
    std::uint8_t ucPlane = 0;
    kStream.ReadLE(ucPlane);
    m_bPlaneEnable = ucPlane != 0 ? 1 : 0;
    kStream.ReadLE(m_kModelPlane.m_kNormal.x);
    kStream.ReadLE(m_kModelPlane.m_kNormal.y);
    kStream.ReadLE(m_kModelPlane.m_kNormal.z);
    kStream.ReadLE(m_kModelPlane.m_fConstant);
    kStream.ReadLE(m_sL);
    kStream.ReadLE(m_sK);
    if (kStream.GetFileVersion() < NiStreamVersion(4, 1, 0, 16))
    {
        std::uint16_t usDropped = 0;
        kStream.ReadLE(usDropped);
    }
}

void NiTextureEffect::ResolveLinks(NiObjectStream& kStream)
{
    NiDynamicEffect::ResolveLinks(kStream);
    m_spTexture = kStream.GetLinkedObjectAs<NiTexture>();
}

bool NiTextureEffect::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiDynamicEffect::RegisterForSave(kStream))
        return false;
    if (m_spTexture != nullptr)
        m_spTexture->RegisterForSave(kStream);
    return true;
}

void NiTextureEffect::WriteToStream(NiObjectStream& kStream)
{
    NiDynamicEffect::WriteToStream(kStream);
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            kStream.WriteLE(m_kModelProjMat.GetEntry(r, c));
    }
    kStream.WriteLE(m_kModelProjTrans.x);
    kStream.WriteLE(m_kModelProjTrans.y);
    kStream.WriteLE(m_kModelProjTrans.z);
    kStream.WriteLE(m_eFilter);
    kStream.WriteLE(m_eClamp);
    kStream.WriteLE(m_eTextureMode);
    kStream.WriteLE(m_eCoordMode);
    kStream.WriteLinkID(m_spTexture);
    kStream.WriteLE(m_bPlaneEnable);
    kStream.WriteLE(m_kModelPlane.m_kNormal.x);
    kStream.WriteLE(m_kModelPlane.m_kNormal.y);
    kStream.WriteLE(m_kModelPlane.m_kNormal.z);
    kStream.WriteLE(m_kModelPlane.m_fConstant);
    kStream.WriteLE(m_sL);
    kStream.WriteLE(m_sK);
}

bool NiTextureEffect::IsEqual(NiObject* pkOther)
{
    if (!NiDynamicEffect::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiTextureEffect*>(pkOther);
    return m_kModelProjMat == pk->m_kModelProjMat && m_kModelProjTrans == pk->m_kModelProjTrans &&
           m_eFilter == pk->m_eFilter && m_eClamp == pk->m_eClamp && m_eTextureMode == pk->m_eTextureMode &&
           m_eCoordMode == pk->m_eCoordMode && m_bPlaneEnable == pk->m_bPlaneEnable &&
           m_kModelPlane == pk->m_kModelPlane && m_sL == pk->m_sL && m_sK == pk->m_sK;
}

void NiTextureEffect::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiDynamicEffect::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTextureEffect::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerMatrix3x3("m_kModelProjMat", m_kModelProjMat));
    kStrings.AddTail(NiViewerVec3("m_kModelProjTrans", m_kModelProjTrans));
    kStrings.AddTail(NiViewerString("m_eFilter", NiTextureMap::GetFilterModeName(m_eFilter)));
    kStrings.AddTail(NiViewerString("m_eClamp", NiTextureMap::GetClampModeName(m_eClamp)));
    kStrings.AddTail(NiViewerString("m_eTextureMode", EnumName(TEXTURE_TYPE_NAMES, m_eTextureMode)));
    kStrings.AddTail(NiViewerString("m_eCoordMode", EnumName(COORD_MODE_NAMES, m_eCoordMode)));
    kStrings.AddTail(NiViewerBool("m_bPlaneEnable", m_bPlaneEnable != 0));
    char* pcPlane = m_kModelPlane.GetViewerString("m_kModelPlane");
    kStrings.AddTail(NiViewerString("m_kModelPlane", pcPlane));
    delete[] pcPlane;
    kStrings.AddTail(NiViewerShort("m_sL", m_sL));
    kStrings.AddTail(NiViewerShort("m_sK", m_sK));
}

void NiTextureEffect::CopyMembers(NiTextureEffect* pkDest, NiCloneContext& kCloning)
{
    NiDynamicEffect::CopyMembers(pkDest, kCloning);
    pkDest->m_kModelProjMat = m_kModelProjMat;
    pkDest->m_kModelProjTrans = m_kModelProjTrans;
    pkDest->m_kWorldProjMat = m_kWorldProjMat;
    pkDest->m_kWorldProjTrans = m_kWorldProjTrans;
    pkDest->m_spTexture = m_spTexture;
    pkDest->m_eFilter = m_eFilter;
    pkDest->m_eClamp = m_eClamp;
    pkDest->m_eTextureMode = m_eTextureMode;
    pkDest->m_eCoordMode = m_eCoordMode;
    pkDest->m_bPlaneEnable = m_bPlaneEnable;
    pkDest->m_kModelPlane = m_kModelPlane;
    pkDest->m_kWorldPlane = m_kWorldPlane;
    pkDest->m_sL = m_sL;
    pkDest->m_sK = m_sK;
}
