#include "engine/shaders/effect/NiD3DXEffectTechnique.h"

#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"

#include <algorithm>
#include <strings.h>

namespace
{
bool Same(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && strcasecmp(a, b) == 0;
}
} // namespace

bool NiD3DXEffectTechniqueDesc::Read(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hTechnique)
{
    gfx::D3DXTECHNIQUE_DESC kDesc;
    if (pkEffect == nullptr || gfx::FAILED(pkEffect->GetTechniqueDesc(hTechnique, &kDesc)))
        return false;
    *this = NiD3DXEffectTechniqueDesc{};
    m_kTechniqueName = kDesc.Name ? kDesc.Name : "";
    std::string kNBT;
    bool bNBT = false;
    for (std::uint32_t ui = 0; ui < kDesc.Annotations; ++ui)
    {
        gfx::D3DXHANDLE h = pkEffect->GetAnnotation(hTechnique, ui);
        gfx::D3DXPARAMETER_DESC kAnnotation;
        if (h == nullptr || gfx::FAILED(pkEffect->GetParameterDesc(h, &kAnnotation)))
            continue;
        const char* pcName = kAnnotation.Name;
        const char* pcText = nullptr;
        std::int32_t iValue = 0;
        auto text = [&]() -> std::string {
            return gfx::SUCCEEDED(pkEffect->GetString(h, &pcText)) && pcText ? pcText : "";
        };
        auto number = [&](std::int32_t iDefault) {
            return gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)) ? iValue : iDefault;
        };
        auto flag = [&](bool bDefault) {
            return gfx::SUCCEEDED(pkEffect->GetBool(h, &iValue)) ? iValue != 0 : bDefault;
        };
        if (Same(pcName, "desc") || Same(pcName, "description") || Same(pcName, "uihelp"))
            m_kDescription = text();
        else if (Same(pcName, "shadername"))
            m_kShaderName = text();
        else if (Same(pcName, "implementation"))
            m_iImplementation = number(m_iImplementation);
        else if (Same(pcName, "userversion"))
            m_uiUserVersion = static_cast<std::uint32_t>(number(static_cast<std::int32_t>(m_uiUserVersion)));
        else if (Same(pcName, "bonesperpartition"))
            m_uiBonesPerPartition = static_cast<std::uint32_t>(number(static_cast<std::int32_t>(m_uiBonesPerPartition)));
        else if (Same(pcName, "nbtmethod"))
        {
            kNBT = text();
            bNBT = true;
        }
        else if (Same(pcName, "usesnirenderstate"))
            m_bUsesRenderState = flag(m_bUsesRenderState);
        else if (Same(pcName, "usesnilightstate"))
            m_bUsesLightState = flag(m_bUsesLightState);
        else if (Same(pcName, "softwarevprequired"))
            m_bSoftwareVPRequired = flag(m_bSoftwareVPRequired);
        else if (Same(pcName, "softwarevpfallback"))
            m_bSoftwareVPFallback = flag(m_bSoftwareVPFallback);
    }
    if (bNBT)
        m_uiNBTMethod = Same(kNBT.c_str(), "ZRB") ? NBT_ZRB
                        : Same(kNBT.c_str(), "MAX") ? NBT_MAX
                        : Same(kNBT.c_str(), "ATI") ? NBT_ATI
                                                    : NBT_NONE;
    for (std::uint32_t ui = 0; ui < kDesc.Passes; ++ui)
    {
        gfx::D3DXPASS_DESC kPass;
        if (gfx::FAILED(pkEffect->GetPassDesc(pkEffect->GetPass(hTechnique, ui), &kPass)))
            continue;
        m_uiVertexShaderVersion = std::max(m_uiVertexShaderVersion, gfx::D3DXGetShaderVersion(kPass.pVertexShaderFunction));
        m_uiPixelShaderVersion = std::max(m_uiPixelShaderVersion, gfx::D3DXGetShaderVersion(kPass.pPixelShaderFunction));
    }
    return true;
}

NiD3DXEffectTechnique::~NiD3DXEffectTechnique() = default;

void NiD3DXEffectTechnique::Initialize(const NiD3DXEffectTechniqueDesc& kDesc)
{
    m_kTechniqueName = kDesc.m_kTechniqueName;
    m_kShaderName = kDesc.m_kShaderName;
    m_spRequirements = new NiShaderRequirementDesc();
    m_spRequirements->SetName(kDesc.m_kTechniqueName.c_str());
    m_spRequirements->SetDescription(kDesc.m_kDescription.c_str());
    m_spRequirements->AddPixelShaderVersion(kDesc.m_uiPixelShaderVersion);
    m_spRequirements->AddVertexShaderVersion(kDesc.m_uiVertexShaderVersion);
    m_spRequirements->AddUserDefinedVersion(kDesc.m_uiUserVersion);
    m_spRequirements->SetDX8(false);
    m_spRequirements->SetDX9(true);
    m_spRequirements->SetXBox(false);
    m_spRequirements->SetBonesPerPartition(kDesc.m_uiBonesPerPartition);
    m_spRequirements->SetBinormalTangentMethod(kDesc.m_uiNBTMethod);
    m_spRequirements->SetSoftwareVPRequired(kDesc.m_bSoftwareVPRequired);
    m_spRequirements->SetSoftwareVPFallback(kDesc.m_bSoftwareVPFallback);
    m_iImplementation = kDesc.m_iImplementation;
    m_bUsesRenderState = kDesc.m_bUsesRenderState;
    m_bUsesLightState = kDesc.m_bUsesLightState;
    m_bSoftwareVPRequired = kDesc.m_bSoftwareVPRequired;
    m_bSoftwareVPFallback = kDesc.m_bSoftwareVPFallback;
}

void NiD3DXEffectTechnique::AddParameter(NiD3DXEffectParameter* pkParameter)
{
    if (pkParameter == nullptr)
        return;
    m_kParameters.push_back(pkParameter);
    if (pkParameter->IsTimeValue())
        m_bUsesTime = true;
}

NiD3DXEffectParameter* NiD3DXEffectTechnique::GetFirstParameter()
{
    m_uiParameterIter = 0;
    return GetNextParameter();
}

NiD3DXEffectParameter* NiD3DXEffectTechnique::GetNextParameter()
{
    return m_uiParameterIter < m_kParameters.size() ? m_kParameters[m_uiParameterIter++] : nullptr;
}

void NiD3DXEffectTechnique::LinkHandle(gfx::ID3DXBaseEffect* pkEffect)
{
    if (pkEffect == nullptr)
        return;
    gfx::D3DXHANDLE hTechnique = pkEffect->GetTechniqueByName(m_kTechniqueName.c_str());
    if (hTechnique == m_hTechnique)
        return;
    m_hTechnique = hTechnique;
    gfx::D3DXTECHNIQUE_DESC kDesc;
    m_uiPassCount = gfx::SUCCEEDED(pkEffect->GetTechniqueDesc(hTechnique, &kDesc)) ? kDesc.Passes : 0;
    m_kPassVertexShader.assign(m_uiPassCount, 0);
    m_kPassPixelShader.assign(m_uiPassCount, 0);
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        gfx::D3DXPASS_DESC kPass;
        if (gfx::FAILED(pkEffect->GetPassDesc(pkEffect->GetPass(hTechnique, ui), &kPass)))
            continue;
        m_kPassVertexShader[ui] = kPass.pVertexShaderFunction != nullptr;
        m_kPassPixelShader[ui] = kPass.pPixelShaderFunction != nullptr;
    }
}

bool NiD3DXEffectTechnique::PassHasVertexShader(std::uint32_t uiPass) const
{
    return uiPass < m_kPassVertexShader.size() && m_kPassVertexShader[uiPass] != 0;
}

bool NiD3DXEffectTechnique::PassHasPixelShader(std::uint32_t uiPass) const
{
    return uiPass < m_kPassPixelShader.size() && m_kPassPixelShader[uiPass] != 0;
}

bool NiD3DXEffectTechnique::AllPassesHaveVertexShaders() const
{
    return !m_kPassVertexShader.empty() &&
           std::all_of(m_kPassVertexShader.begin(), m_kPassVertexShader.end(), [](std::uint8_t b) { return b != 0; });
}

bool NiD3DXEffectTechnique::AnyPassHasVertexShader() const
{
    return std::any_of(m_kPassVertexShader.begin(), m_kPassVertexShader.end(), [](std::uint8_t b) { return b != 0; });
}

bool NiD3DXEffectTechnique::AllPassesHavePixelShaders() const
{
    return !m_kPassPixelShader.empty() &&
           std::all_of(m_kPassPixelShader.begin(), m_kPassPixelShader.end(), [](std::uint8_t b) { return b != 0; });
}

bool NiD3DXEffectTechnique::AnyPassHasPixelShader() const
{
    return std::any_of(m_kPassPixelShader.begin(), m_kPassPixelShader.end(), [](std::uint8_t b) { return b != 0; });
}

bool NiD3DXEffectTechniqueSet::AddTechnique(NiD3DXEffectTechnique* pkTechnique)
{
    if (pkTechnique == nullptr || pkTechnique->GetImplementation() < 0 ||
        pkTechnique->GetImplementation() >= static_cast<std::int32_t>(MAX_IMPLEMENTATIONS))
        return false;
    const auto uiIndex = static_cast<std::uint32_t>(pkTechnique->GetImplementation());
    if (uiIndex >= m_kTechniques.size())
        m_kTechniques.resize(uiIndex + 1);
    m_kTechniques[uiIndex] = pkTechnique;
    return true;
}

std::uint32_t NiD3DXEffectTechniqueSet::GetTechniqueCount() const
{
    return static_cast<std::uint32_t>(
        std::count_if(m_kTechniques.begin(), m_kTechniques.end(), [](const auto& sp) { return sp.Get() != nullptr; }));
}

void NiD3DXEffectTechniqueSet::ReleaseDeviceObjects()
{
    for (const NiD3DXEffectTechniquePtr& spTechnique : m_kTechniques)
        if (spTechnique)
            spTechnique->ReleaseDeviceObjects();
}

NiShaderDesc* NiD3DXEffectTechniqueSet::CreateShaderDesc(NSBAttributeTable& kAttributes)
{
    if (m_spShaderDesc)
        return m_spShaderDesc.Get();
    m_spShaderDesc = new NiShaderDesc();
    m_spShaderDesc->SetName(m_kName.c_str());
    if (NiD3DXEffectTechnique* pkFirst = GetTechnique(0))
        m_spShaderDesc->SetDescription(pkFirst->GetRequirements()->GetDescription());
    m_spShaderDesc->SetNumberOfImplementations(GetTechniqueCount());
    for (std::uint32_t ui = 0; ui < kAttributes.GetAttribCount(); ++ui)
        m_spShaderDesc->AddAttribute(kAttributes.GetAttribDesc(ui));
    for (std::uint32_t ui = 0; ui < m_kTechniques.size(); ++ui)
    {
        NiD3DXEffectTechnique* pkTechnique = m_kTechniques[ui].Get();
        if (pkTechnique == nullptr)
            continue;
        NiShaderRequirementDesc* pkReq = pkTechnique->GetRequirements();
        m_spShaderDesc->AddPixelShaderVersion(pkReq->GetMinPixelShaderVersion());
        m_spShaderDesc->AddPixelShaderVersion(pkReq->GetMaxPixelShaderVersion());
        m_spShaderDesc->AddVertexShaderVersion(pkReq->GetMinVertexShaderVersion());
        m_spShaderDesc->AddVertexShaderVersion(pkReq->GetMaxVertexShaderVersion());
        m_spShaderDesc->AddUserDefinedVersion(pkReq->GetMinUserDefinedVersion());
        m_spShaderDesc->AddUserDefinedVersion(pkReq->GetMaxUserDefinedVersion());
        m_spShaderDesc->AddPlatformFlags(pkReq->GetPlatformFlags());
        m_spShaderDesc->SetImplementationDescription(ui, pkReq);
    }
    return m_spShaderDesc.Get();
}
