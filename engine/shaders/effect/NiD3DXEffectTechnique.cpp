#include "engine/shaders/effect/NiD3DXEffectTechnique.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectStateManager.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
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

NiD3DXEffectTechnique::~NiD3DXEffectTechnique()
{
    // The shader may outlive its technique (the factory holds it): it is
    // left without one, and so without an effect.
    if (m_spShader)
    {
        m_spShader->ReleaseEffect();
        m_spShader->SetTechnique(nullptr);
    }
}

void NiD3DXEffectTechnique::ReleaseDeviceObjects()
{
    m_hTechnique = nullptr;
    if (m_spShader)
        m_spShader->ReleaseEffect();
}

namespace
{
// The bone palettes a skinned technique can read, and how each lays its
// matrices out: rows per bone, and whether the bones carry the skin into
// world space.
struct BoneLayout
{
    const char* pcName;
    std::uint32_t uiRows;
    bool bWorldSpace;
};
constexpr BoneLayout BONE_LAYOUTS[] = {
    {"BoneMatrix3", 3, true},
    {"BoneMatrix4", 4, true},
    {"SkinBoneMatrix3", 3, false},
    {"SkinBoneMatrix4", 4, false},
};

const BoneLayout* BoneLayoutOf(std::uint32_t uiPredefined)
{
    std::uint32_t uiCount = 0;
    const NiD3DVertexShaderConstantMap::PredefinedName* pkNames = NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount);
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        if (pkNames[ui].m_uiMapping != uiPredefined)
            continue;
        for (const BoneLayout& kLayout : BONE_LAYOUTS)
            if (strcasecmp(kLayout.pcName, pkNames[ui].m_pcName) == 0)
                return &kLayout;
    }
    return nullptr;
}

// Switches the device's vertex processing for the length of a check and
// puts it back as it was.
class VertexProcessingScope
{
public:
    explicit VertexProcessingScope(gfx::IDirect3DDevice9* pkDevice)
        : m_pkDevice(pkDevice), m_bWasSoftware(pkDevice != nullptr && pkDevice->GetSoftwareVertexProcessing() != 0)
    {
    }
    ~VertexProcessingScope()
    {
        if (m_pkDevice != nullptr && (m_pkDevice->GetSoftwareVertexProcessing() != 0) != m_bWasSoftware)
            m_pkDevice->SetSoftwareVertexProcessing(m_bWasSoftware ? 1 : 0);
    }
    VertexProcessingScope(const VertexProcessingScope&) = delete;
    VertexProcessingScope& operator=(const VertexProcessingScope&) = delete;

    [[nodiscard]] bool IsSoftware() const { return m_pkDevice != nullptr && m_pkDevice->GetSoftwareVertexProcessing() != 0; }
    void Switch(bool bSoftware)
    {
        if (m_pkDevice != nullptr)
            m_pkDevice->SetSoftwareVertexProcessing(bSoftware ? 1 : 0);
    }

private:
    gfx::IDirect3DDevice9* m_pkDevice;
    bool m_bWasSoftware;
};

// The effect interface of a file's effect created on a device (one
// reference for the caller); null otherwise.
gfx::ID3DXEffect* DeviceEffectOf(const NiD3DXEffectFile* pkFile)
{
    if (pkFile == nullptr || pkFile->GetEffect() == nullptr || !pkFile->IsCreatedWithDevice())
        return nullptr;
    void* pvEffect = nullptr;
    if (gfx::FAILED(pkFile->GetEffect()->QueryInterface(gfx::IID_ID3DXEffect, &pvEffect)))
        return nullptr;
    return static_cast<gfx::ID3DXEffect*>(pvEffect);
}
} // namespace

NiD3DXEffectShader* NiD3DXEffectTechnique::GetD3DShader(NiDX9Renderer* pkRenderer)
{
    if (m_spShader)
        return m_spShader.Get();
    if (m_hTechnique == nullptr || pkRenderer == nullptr)
        return nullptr;
    gfx::ID3DXEffect* pkEffect = DeviceEffectOf(m_pkFile);
    if (pkEffect == nullptr)
        return nullptr;
    struct Release
    {
        gfx::ID3DXEffect* p;
        ~Release() { p->Release(); }
    } kRelease{pkEffect};

    // The palette the vertex programs read decides the bone layout.
    std::uint32_t uiRows = 4;
    bool bWorldSpace = false;
    if (m_uiBonesPerPartition != 0)
    {
        for (NiD3DXEffectParameter* pkParameter : m_kParameters)
        {
            if (pkParameter->GetKind() != NiD3DXEffectParameterDesc::KIND_PREDEFINED)
                continue;
            const BoneLayout* pkLayout = BoneLayoutOf(pkParameter->GetPredefined());
            if (pkLayout == nullptr || pkParameter->GetArrayCount() < m_uiBonesPerPartition ||
                !pkEffect->IsParameterUsed(pkParameter->GetHandle(), m_hTechnique))
                continue;
            uiRows = pkLayout->uiRows;
            bWorldSpace = pkLayout->bWorldSpace;
            break;
        }
    }

    // Vertex processing: which mode the technique needs, switched only for
    // the check on a device that can switch.
    const bool bSoftwareCapable = pkRenderer->GetSWVertexCapable();
    const bool bMixed = pkRenderer->GetSWVertexSwitchable();
    bool bSoftware = false;
    bool bValid = false;
    {
        VertexProcessingScope kScope(pkRenderer->GetD3DDevice());
        if (m_bSoftwareVPRequired)
        {
            if (!bSoftwareCapable)
                return nullptr;
            if (!kScope.IsSoftware())
            {
                if (!bMixed)
                    return nullptr;
                kScope.Switch(true);
            }
            // Marked even when the device already was in software mode, so
            // that drawing does not switch a mixed device back.
            bSoftware = true;
        }
        else if (m_bSoftwareVPFallback && kScope.IsSoftware())
        {
            if (!bMixed)
                return nullptr;
            kScope.Switch(false);
            bSoftware = false;
        }
        bValid = gfx::SUCCEEDED(pkEffect->ValidateTechnique(m_hTechnique));
        if (!bValid && m_bSoftwareVPFallback && bMixed)
        {
            kScope.Switch(true);
            bSoftware = true;
            bValid = gfx::SUCCEEDED(pkEffect->ValidateTechnique(m_hTechnique));
        }
    }
    if (!bValid)
        return nullptr;

    pkEffect->SetStateManager(NiD3DXEffectStateManager::GetInstance(pkRenderer));

    m_spShader = new NiD3DXEffectShader();
    m_spShader->SetTechnique(this);
    m_spShader->SetName(m_kShaderName.empty() ? m_kTechniqueName.c_str() : m_kShaderName.c_str());
    m_spShader->SetImplementation(static_cast<std::uint32_t>(m_iImplementation));
    m_spShader->SetTechniqueImplementation(static_cast<std::uint32_t>(m_iImplementation));
    m_spShader->SetUsesNiRenderState(m_bUsesRenderState);
    m_spShader->SetUsesNiLightState(m_bUsesLightState);
    m_spShader->SetSoftwareVertexProcessing(bSoftware);
    if (m_uiBonesPerPartition != 0)
    {
        m_spShader->SetBoneMatrixRows(uiRows);
        m_spShader->SetBonePaletteKind(bWorldSpace);
    }
    return m_spShader.Get();
}

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
    m_uiBonesPerPartition = kDesc.m_uiBonesPerPartition;
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
    if (m_pkDefault != nullptr && m_kTechniques[uiIndex].Get() == m_pkDefault)
        m_pkDefault = nullptr;
    m_kTechniques[uiIndex] = pkTechnique;
    return true;
}

NiD3DXEffectShader* NiD3DXEffectTechniqueSet::GetD3DShader(NiDX9Renderer* pkRenderer, std::uint32_t uiImplementation)
{
    if (NiD3DXEffectTechnique* pkTechnique = GetTechnique(uiImplementation))
        return pkTechnique->GetD3DShader(pkRenderer);
    return GetDefaultShader(pkRenderer);
}

NiD3DXEffectShader* NiD3DXEffectTechniqueSet::GetDefaultShader(NiDX9Renderer* pkRenderer)
{
    if (m_pkDefault != nullptr)
        return m_pkDefault->GetD3DShader(pkRenderer);
    for (const NiD3DXEffectTechniquePtr& spTechnique : m_kTechniques)
    {
        if (!spTechnique)
            continue;
        NiD3DXEffectShader* pkShader = spTechnique->GetD3DShader(pkRenderer);
        if (pkShader == nullptr)
            continue;
        m_pkDefault = spTechnique.Get();
        pkShader->SetImplementation(0xFFFFFFFFu);
        return pkShader;
    }
    return nullptr;
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
