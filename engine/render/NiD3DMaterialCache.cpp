#include "engine/render/NiD3DMaterialCache.h"

#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"

namespace
{
gfx::D3DCOLORVALUE ColorValue(const NiColorRGB& kColor, float fAlpha)
{
    gfx::D3DCOLORVALUE kValue;
    kValue.r = kColor.r;
    kValue.g = kColor.g;
    kValue.b = kColor.b;
    kValue.a = fAlpha;
    return kValue;
}
} // namespace

NiD3DMaterialCache::~NiD3DMaterialCache()
{
    for (NiMaterialProperty* pkMaterial : m_kOwners)
    {
        delete static_cast<NiD3DMaterialData*>(pkMaterial->GetRendererData());
        pkMaterial->SetRendererData(nullptr);
    }
}

void NiD3DMaterialCache::Update(NiMaterialProperty* pkMaterial)
{
    if (pkMaterial == nullptr)
        return;
    auto* pkData = static_cast<NiD3DMaterialData*>(pkMaterial->GetRendererData());
    if (pkData == nullptr)
    {
        pkData = new NiD3DMaterialData;
        pkMaterial->SetRendererData(pkData);
        m_kOwners.insert(pkMaterial);
    }
    bool bRefilled = false;
    if (pkData->m_uiRevID != pkMaterial->GetRevisionID())
    {
        const float fAlpha = pkMaterial->GetAlpha();
        pkData->m_kD3DMat.Diffuse = ColorValue(pkMaterial->GetDiffuseColor(), fAlpha);
        pkData->m_kD3DMat.Ambient = ColorValue(pkMaterial->GetAmbientColor(), fAlpha);
        pkData->m_kD3DMat.Specular = ColorValue(pkMaterial->GetSpecularColor(), fAlpha);
        pkData->m_kD3DMat.Emissive = ColorValue(pkMaterial->GetEmittance(), fAlpha);
        pkData->m_kD3DMat.Power = pkMaterial->GetShineness();
        pkData->m_uiRevID = pkMaterial->GetRevisionID();
        bRefilled = true;
    }
    if (bRefilled || pkData != m_pkCurrent)
        m_bDirty = 1;
    m_pkCurrent = pkData;
}

void NiD3DMaterialCache::Commit(gfx::IDirect3DDevice9* pkDevice)
{
    if (m_bDirty == 0 || m_pkCurrent == nullptr || pkDevice == nullptr)
        return;
    m_bDirty = 0;
    pkDevice->SetMaterial(&m_pkCurrent->m_kD3DMat);
}

void NiD3DMaterialCache::Reset()
{
    m_pkCurrent = nullptr;
    Update(static_cast<NiMaterialProperty*>(NiPropertySet::GetDefault(NiProperty::MATERIAL)));
    m_bDirty = 1;
}

void NiD3DMaterialCache::Purge(NiMaterialProperty* pkMaterial)
{
    if (pkMaterial == nullptr)
        return;
    auto* pkData = static_cast<NiD3DMaterialData*>(pkMaterial->GetRendererData());
    if (pkData == nullptr || m_kOwners.erase(pkMaterial) == 0)
        return;
    if (pkData == m_pkCurrent)
        m_pkCurrent = nullptr;
    delete pkData;
    pkMaterial->SetRendererData(nullptr);
}
