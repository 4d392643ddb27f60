#include "engine/render/NiDX9LightManager.h"

#include "engine/core/NiColor.h"
#include "engine/render/NiD3DRenderState.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

using namespace gfx;

namespace
{
constexpr float PI = 3.14159265358979323846f;
// Dimmers below this light nothing.
constexpr float MIN_DIMMER = 0.01f;

D3DCOLORVALUE Scaled(const NiColorRGB& kColor, float fDimmer)
{
    D3DCOLORVALUE k;
    k.r = kColor.r * fDimmer;
    k.g = kColor.g * fDimmer;
    k.b = kColor.b * fDimmer;
    k.a = 0.0f;
    return k;
}

D3DVECTOR Vector(const NiVec3& k)
{
    D3DVECTOR v;
    v.x = k.x;
    v.y = k.y;
    v.z = k.z;
    return v;
}

} // namespace

NiDX9LightManager::NiDX9LightManager(NiD3DRenderState* pkRenderState, IDirect3DDevice9* pkDevice)
    : m_pkD3DDevice9(pkDevice), m_pkRenderState(pkRenderState)
{
    if (m_pkD3DDevice9 != nullptr)
    {
        m_pkD3DDevice9->AddRef();
        gfx::D3DCAPS9 kCaps{};
        if (gfx::SUCCEEDED(m_pkD3DDevice9->GetDeviceCaps(&kCaps)))
            m_uiMaxActiveLights = kCaps.MaxActiveLights;
    }
    Reset();
}

NiDX9LightManager::~NiDX9LightManager()
{
    for (auto& kPair : m_kLights)
        const_cast<NiLight*>(kPair.first)->SetRendererData(nullptr);
    m_kLights.clear();
    m_kActiveLights.clear();
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->Release();
}

void NiDX9LightManager::Reset()
{
    if (m_pkRenderState != nullptr)
    {
        m_pkRenderState->SetRenderState(D3DRS_AMBIENT, 0);
        m_pkRenderState->SetRenderState(D3DRS_LIGHTING, 0);
        m_pkRenderState->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
        m_pkRenderState->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
        m_pkRenderState->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    }
    m_eApplyMode = 0;
    m_bLightingSwitch = 0;
    m_eLastSourceMode = 0;
    m_pkLastEffects = nullptr;
    m_bLastLightingSwitch = 0;
}

void NiDX9LightManager::BeginFrame()
{
    for (NiLight* pkLight : m_kActiveLights)
    {
        auto it = m_kLights.find(pkLight);
        if (it == m_kLights.end())
            continue;
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->LightEnable(it->second->m_uiIndex, 0);
        it->second->m_bEnabled = 0;
    }
    m_kActiveLights.clear();
    m_pkLastEffects = nullptr;
}

void NiDX9LightManager::ApplyVertexColorMode(const NiEffectSet* pkEffects, const NiTexturingProperty* pkTexturing,
                                             const NiVertexColorProperty* pkVertexColor)
{
    if (m_pkRenderState == nullptr)
        return;
    if (pkTexturing != nullptr)
    {
        m_eApplyMode = pkTexturing->GetApplyMode();
        const NiTextureMap* pkBase =
            pkTexturing->GetMapArrayCount() > 0 ? pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX) : nullptr;
        // A replacing texture decides the colour alone: lights would change nothing.
        if (m_eApplyMode == 0 && pkBase != nullptr && pkBase->GetTexture() != nullptr)
        {
            m_pkRenderState->SetRenderState(D3DRS_LIGHTING, 0);
            return;
        }
    }

    const std::uint32_t uiSource =
        pkVertexColor != nullptr ? pkVertexColor->GetSourceMode() : NiVertexColorProperty::SOURCE_IGNORE;
    const std::uint32_t uiLighting =
        pkVertexColor != nullptr ? pkVertexColor->GetLightingMode() : NiVertexColorProperty::LIGHTING_E_A_D;
    if (uiLighting == NiVertexColorProperty::LIGHTING_E)
    {
        if (uiSource == NiVertexColorProperty::SOURCE_EMISSIVE || uiSource > NiVertexColorProperty::SOURCE_AMB_DIFF)
        {
            m_pkRenderState->SetRenderState(D3DRS_LIGHTING, 0);
            return;
        }
        m_bLightingSwitch = 0;
        if (m_eLastSourceMode == NiVertexColorProperty::SOURCE_EMISSIVE)
        {
            m_pkRenderState->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
            m_pkRenderState->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
            m_pkRenderState->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
            m_eLastSourceMode = NiVertexColorProperty::SOURCE_IGNORE;
        }
    }
    else
    {
        if (uiSource != m_eLastSourceMode)
        {
            switch (uiSource)
            {
            case NiVertexColorProperty::SOURCE_IGNORE:
                m_pkRenderState->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
                m_pkRenderState->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
                m_pkRenderState->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
                break;
            case NiVertexColorProperty::SOURCE_EMISSIVE:
                m_pkRenderState->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
                m_pkRenderState->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
                m_pkRenderState->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
                break;
            case NiVertexColorProperty::SOURCE_AMB_DIFF:
                m_pkRenderState->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
                m_pkRenderState->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
                m_pkRenderState->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
                break;
            default: break;
            }
            m_eLastSourceMode = uiSource;
        }
        m_bLightingSwitch = 1;
    }

    m_pkRenderState->SetRenderState(D3DRS_LIGHTING, 1);
    if (pkEffects != m_pkLastEffects || m_bLightingSwitch != m_bLastLightingSwitch)
    {
        SetLights(pkEffects);
        m_pkLastEffects = pkEffects;
        m_bLastLightingSwitch = m_bLightingSwitch;
    }
}

void NiDX9LightManager::FillLight(const NiLight& kLight, D3DLIGHT9& kD3D)
{
    kD3D = D3DLIGHT9{};
    const int iType = kLight.GetEffectType();
    if (iType == NiDynamicEffect::DIR_LIGHT)
    {
        kD3D.Type = D3DLIGHT_DIRECTIONAL;
        kD3D.Direction = Vector(static_cast<const NiDirectionalLight&>(kLight).GetWorldDirection());
    }
    else if (iType == NiDynamicEffect::POINT_LIGHT)
    {
        kD3D.Type = D3DLIGHT_POINT;
        kD3D.Position = Vector(kLight.GetWorldTransform().m_kTranslate);
    }
    else if (iType == NiDynamicEffect::SPOT_LIGHT)
    {
        const auto& kSpot = static_cast<const NiSpotLight&>(kLight);
        kD3D.Type = D3DLIGHT_SPOT;
        kD3D.Position = Vector(kLight.GetWorldTransform().m_kTranslate);
        kD3D.Direction = Vector(kSpot.GetWorldDirection());
        kD3D.Theta = 0.0f;
        // The spot angle is the half angle in degrees, phi the whole cone;
        // a cone wider than a half sphere is one the device refuses.
        kD3D.Phi = std::min(PI * kSpot.GetSpotAngle() / 90.0f, PI);
        kD3D.Falloff = kSpot.GetSpotExponent();
    }
    if (iType == NiDynamicEffect::POINT_LIGHT || iType == NiDynamicEffect::SPOT_LIGHT)
    {
        const auto& kPoint = static_cast<const NiPointLight&>(kLight);
        kD3D.Attenuation0 = kPoint.GetConstantAttenuation();
        kD3D.Attenuation1 = kPoint.GetLinearAttenuation();
        kD3D.Attenuation2 = kPoint.GetQuadraticAttenuation();
        kD3D.Range = std::sqrt(FLT_MAX);
    }
    const float fDimmer = kLight.GetDimmer();
    kD3D.Diffuse = Scaled(kLight.GetDiffuseColor(), fDimmer);
    kD3D.Ambient = Scaled(kLight.GetAmbientColor(), fDimmer);
    kD3D.Specular = Scaled(kLight.GetSpecularColor(), fDimmer);
}

void NiDX9LightManager::SetLights(const NiEffectSet* pkEffects)
{
    for (NiLight* pkLight : m_kActiveLights)
        m_kLights[pkLight]->m_bStale = 1;

    float fR = 0.0f, fG = 0.0f, fB = 0.0f;
    // The device lights only so many at once: the first ones in list order
    // win, so a light that comes later never keeps one that comes earlier dark.
    std::uint32_t uiLit = 0;
    std::vector<NiDX9LightEntry*> kRefused;
    std::vector<NiLight*> kRefusedLights;
    if (m_bLightingSwitch != 0 && pkEffects != nullptr)
    {
        const NiEffectSet::EffectList& kList = pkEffects->GetLights();
        for (NiListPos kPos = kList.GetHeadPos(); kPos != nullptr;)
        {
            NiDynamicEffect* pkEffect = NiEffectSet::EffectList::GetNext(kPos);
            auto* pkLight = NiDynamicCast<NiLight>(pkEffect);
            if (pkLight == nullptr || !pkLight->GetSwitch() || !(pkLight->GetDimmer() >= MIN_DIMMER))
                continue;
            if (pkLight->GetEffectType() == NiDynamicEffect::AMBIENT_LIGHT)
            {
                const float fDimmer = pkLight->GetDimmer();
                fR += fDimmer * pkLight->GetAmbientColor().r;
                fG += fDimmer * pkLight->GetAmbientColor().g;
                fB += fDimmer * pkLight->GetAmbientColor().b;
                continue;
            }
            if (uiLit >= m_uiMaxActiveLights)
                continue; // dropped: stays stale, so it goes dark below
            ++uiLit;
            auto it = m_kLights.find(pkLight);
            NiDX9LightEntry* pkEntry = nullptr;
            if (it == m_kLights.end())
            {
                auto spEntry = std::make_unique<NiDX9LightEntry>();
                spEntry->m_uiIndex = pkLight->GetIndex();
                pkEntry = spEntry.get();
                m_kLights.emplace(pkLight, std::move(spEntry));
                pkLight->SetRendererData(pkEntry);
            }
            else
            {
                pkEntry = it->second.get();
            }
            if (pkEntry->m_uiRevID != pkLight->GetRevisionID())
            {
                FillLight(*pkLight, pkEntry->m_kD3DLight);
                pkEntry->m_uiRevID = pkLight->GetRevisionID();
                if (m_pkD3DDevice9 != nullptr)
                    m_pkD3DDevice9->SetLight(pkEntry->m_uiIndex, &pkEntry->m_kD3DLight);
            }
            // A light the device refuses to enable stays off the list: it is
            // tried again once the stale lights are off, and at every later
            // change of lights.
            if (pkEntry->m_bEnabled == 0 && m_pkD3DDevice9 != nullptr)
            {
                if (gfx::SUCCEEDED(m_pkD3DDevice9->LightEnable(pkEntry->m_uiIndex, 1)))
                {
                    pkEntry->m_bEnabled = 1;
                    m_kActiveLights.insert(m_kActiveLights.begin(), pkLight);
                }
                else
                {
                    kRefused.push_back(pkEntry);
                    kRefusedLights.push_back(pkLight);
                }
            }
            pkEntry->m_bStale = 0;
        }
    }

    for (auto it = m_kActiveLights.begin(); it != m_kActiveLights.end();)
    {
        NiDX9LightEntry* pkEntry = m_kLights[*it].get();
        if (pkEntry->m_bStale == 0)
        {
            ++it;
            continue;
        }
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->LightEnable(pkEntry->m_uiIndex, 0);
        pkEntry->m_bEnabled = 0;
        pkEntry->m_bStale = 0;
        it = m_kActiveLights.erase(it);
    }
    for (std::size_t ui = 0; ui < kRefused.size(); ++ui)
    {
        if (gfx::SUCCEEDED(m_pkD3DDevice9->LightEnable(kRefused[ui]->m_uiIndex, 1)))
        {
            kRefused[ui]->m_bEnabled = 1;
            m_kActiveLights.insert(m_kActiveLights.begin(), kRefusedLights[ui]);
        }
    }

    if (m_pkRenderState != nullptr)
        m_pkRenderState->SetRenderState(D3DRS_AMBIENT, 0xFF000000u | (NiColorChannelTruncated(fR) << 16) |
                                                           (NiColorChannelTruncated(fG) << 8) |
                                                           NiColorChannelTruncated(fB));
}

void NiDX9LightManager::RemoveLight(NiLight* pkLight)
{
    auto it = m_kLights.find(pkLight);
    if (it == m_kLights.end())
        return;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->LightEnable(it->second->m_uiIndex, 0);
    m_kActiveLights.erase(std::remove(m_kActiveLights.begin(), m_kActiveLights.end(), pkLight),
                          m_kActiveLights.end());
    pkLight->SetRendererData(nullptr);
    m_kLights.erase(it);
}

void NiDX9LightManager::ReleaseAllLights()
{
    while (!m_kLights.empty())
        RemoveLight(const_cast<NiLight*>(m_kLights.begin()->first));
}

const NiDX9LightEntry* NiDX9LightManager::GetEntry(const NiLight* pkLight) const
{
    auto it = m_kLights.find(pkLight);
    return it != m_kLights.end() ? it->second.get() : nullptr;
}
