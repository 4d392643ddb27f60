#include "engine/animation/NiMaterialColorController.h"

#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiPosData.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"

#include <algorithm>

NiImplementTypeInfo(NiMaterialColorController, NiPoint3InterpController)
NiImplementCreateClone(NiMaterialColorController)
NiImplementTypeInfo(NiLightColorController, NiPoint3InterpController)
NiImplementCreateClone(NiLightColorController)

namespace
{
constexpr std::uint32_t OWN_FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);

NiColorRGB ClampedColor(const NiVec3& kValue)
{
    return NiColorRGB(std::clamp(kValue.x, 0.0f, 1.0f), std::clamp(kValue.y, 0.0f, 1.0f),
                      std::clamp(kValue.z, 0.0f, 1.0f));
}

NiVec3 ToPoint(const NiColorRGB& k)
{
    return NiVec3(k.r, k.g, k.b);
}

void ReadSelector(NiObjectStream& kStream, const NiTimeController& kController, std::uint16_t& usSelector,
                  std::uint16_t usOldMask)
{
    if (kStream.GetFileVersion() >= OWN_FLAGS_FROM)
        kStream.ReadLE(usSelector);
    else
        usSelector = static_cast<std::uint16_t>((kController.GetLegacyFlags() >> 5) & usOldMask);
}
} // namespace

// ---- Material colour ----

NiObject* NiMaterialColorController::CreateObject()
{
    return new NiMaterialColorController;
}

void NiMaterialColorController::CopyMembers(NiMaterialColorController* pkDest, NiCloneContext& kCloning)
{
    NiPoint3InterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_usSelector = m_usSelector;
}

bool NiMaterialColorController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiMaterialProperty>(pkTarget);
}

const char* NiMaterialColorController::GetCtlrID()
{
    static const char* const s_apcIDs[] = {"AMB", "DIFF", "SPEC", "SELF_ILLUM"};
    const std::uint16_t us = GetType();
    return us < 4 ? s_apcIDs[us] : nullptr;
}

void NiMaterialColorController::GetTargetPoint3Value(NiVec3& kValue)
{
    auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(m_pkTarget);
    if (pkMaterial == nullptr)
        return;
    switch (GetType())
    {
    case AMB:
        kValue = ToPoint(pkMaterial->GetAmbientColor());
        break;
    case DIFF:
        kValue = ToPoint(pkMaterial->GetDiffuseColor());
        break;
    case SPEC:
        kValue = ToPoint(pkMaterial->GetSpecularColor());
        break;
    case SELF_ILLUM:
        kValue = ToPoint(pkMaterial->GetEmittance());
        break;
    default:
        kValue = NiVec3::ZERO;
        break;
    }
}

void NiMaterialColorController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkMaterial = NiDynamicCast<NiMaterialProperty>(m_pkTarget);
    if (pkMaterial == nullptr || GetType() > SELF_ILLUM)
        return;
    NiVec3 kValue = NiVec3::ZERO;
    if (!m_spInterpolator->UpdatePoint3(m_fScaledTime, pkMaterial, kValue))
        return;
    const NiColorRGB kColor = ClampedColor(kValue);
    switch (GetType())
    {
    case AMB:
        pkMaterial->SetAmbientColor(kColor);
        break;
    case DIFF:
        pkMaterial->SetDiffuseColor(kColor);
        break;
    case SPEC:
        pkMaterial->SetSpecularColor(kColor);
        break;
    default:
        pkMaterial->SetEmittance(kColor);
        break;
    }
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
}

void NiMaterialColorController::ReadFromStream(NiObjectStream& kStream)
{
    NiPoint3InterpController::ReadFromStream(kStream);
    ReadSelector(kStream, *this, m_usSelector, 0xFF);
    ReadOldKeyDataLink(kStream);
}

void NiMaterialColorController::ResolveLinks(NiObjectStream& kStream)
{
    NiPoint3InterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiPoint3Interpolator, NiPosData>(kStream);
}

void NiMaterialColorController::WriteToStream(NiObjectStream& kStream)
{
    NiPoint3InterpController::WriteToStream(kStream);
    kStream.WriteLE(m_usSelector);
}

bool NiMaterialColorController::IsEqual(NiObject* pkOther)
{
    if (!NiPoint3InterpController::IsEqual(pkOther))
        return false;
    return GetType() == static_cast<NiMaterialColorController*>(pkOther)->GetType();
}

void NiMaterialColorController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiPoint3InterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiMaterialColorController::TypeInfo()->GetName()));
}

// ---- Light colour ----

NiObject* NiLightColorController::CreateObject()
{
    return new NiLightColorController;
}

void NiLightColorController::CopyMembers(NiLightColorController* pkDest, NiCloneContext& kCloning)
{
    NiPoint3InterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_usSelector = m_usSelector;
}

bool NiLightColorController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiLight>(pkTarget);
}

const char* NiLightColorController::GetCtlrID()
{
    return GetAmbient() ? "Ambient" : "Diffuse";
}

void NiLightColorController::GetTargetPoint3Value(NiVec3& kValue)
{
    auto* pkLight = NiDynamicCast<NiLight>(m_pkTarget);
    if (pkLight != nullptr)
        kValue = ToPoint(GetAmbient() ? pkLight->GetAmbientColor() : pkLight->GetDiffuseColor());
}

void NiLightColorController::Update(float fTime)
{
    if (!BeginUpdate(fTime))
        return;
    auto* pkLight = NiDynamicCast<NiLight>(m_pkTarget);
    if (pkLight == nullptr)
        return;
    NiVec3 kValue = NiVec3::ZERO;
    if (!m_spInterpolator->UpdatePoint3(m_fScaledTime, pkLight, kValue))
        return;
    const NiColorRGB kColor = ClampedColor(kValue);
    const NiColorRGB kBlack(0.0f, 0.0f, 0.0f);
    if (GetAmbient())
    {
        pkLight->SetAmbientColor(kColor);
        pkLight->SetDiffuseColor(kBlack);
        pkLight->SetSpecularColor(kBlack);
    }
    else
    {
        pkLight->SetAmbientColor(kBlack);
        pkLight->SetDiffuseColor(kColor);
        pkLight->SetSpecularColor(kColor);
    }
    // One revision per colour set.
    pkLight->IncRevisionID();
    pkLight->IncRevisionID();
    pkLight->IncRevisionID();
}

void NiLightColorController::ReadFromStream(NiObjectStream& kStream)
{
    NiPoint3InterpController::ReadFromStream(kStream);
    ReadSelector(kStream, *this, m_usSelector, 0x3F);
    ReadOldKeyDataLink(kStream);
}

void NiLightColorController::ResolveLinks(NiObjectStream& kStream)
{
    NiPoint3InterpController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiPoint3Interpolator, NiPosData>(kStream);
}

void NiLightColorController::WriteToStream(NiObjectStream& kStream)
{
    NiPoint3InterpController::WriteToStream(kStream);
    kStream.WriteLE(m_usSelector);
}

bool NiLightColorController::IsEqual(NiObject* pkOther)
{
    if (!NiPoint3InterpController::IsEqual(pkOther))
        return false;
    return GetAmbient() == static_cast<NiLightColorController*>(pkOther)->GetAmbient();
}

void NiLightColorController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiPoint3InterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLightColorController::TypeInfo()->GetName()));
}
