#include "engine/shaders/nsb/NSBShader.h"

#include "engine/core/NiFile.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "platform/gfx/GfxTypes.h"

#include <algorithm>

#include <cstring>

NSBShader::~NSBShader()
{
    NiD3DUtility::Log("Killing NSBShader %s\n", m_kName.c_str());
    DeletePackingDefs();
}

NSBShader* NSBShader::GetOrCreate(NiRefPtr<NSBShader>& spShader)
{
    if (!spShader)
        spShader = new NSBShader;
    return spShader.Get();
}

void NSBShader::DeletePackingDefs()
{
    NiHashMapPos kPos = m_kPackingDefs.GetFirstPos();
    while (kPos)
    {
        const char* pcName = nullptr;
        NSBPackingDef* pkDef = nullptr;
        m_kPackingDefs.GetNext(kPos, pcName, pkDef);
        delete pkDef;
    }
    m_kPackingDefs.RemoveAll();
}

void NSBShader::AddRequirements(const NSBRequirements& kRequirements)
{
    auto Widen = [](std::uint32_t& uiMin, std::uint32_t& uiMax, std::uint32_t uiValue) {
        if (uiMin > uiValue)
            uiMin = uiValue;
        if (uiMax < uiValue)
            uiMax = uiValue;
    };
    Widen(m_uiMinPSVersion, m_uiMaxPSVersion, kRequirements.GetPSVersion());
    Widen(m_uiMinVSVersion, m_uiMaxVSVersion, kRequirements.GetVSVersion());
    Widen(m_uiMinUserVersion, m_uiMaxUserVersion, kRequirements.GetUserVersion());
    m_uiPlatformFlags |= kRequirements.GetPlatformFlags();
}

NSBPackingDef* NSBShader::GetPackingDef(const char* pcName, bool bCreate)
{
    if (pcName == nullptr)
        return nullptr;
    NSBPackingDef* pkDef = nullptr;
    if (m_kPackingDefs.GetAt(pcName, pkDef))
        return pkDef;
    if (!bCreate)
        return nullptr;
    pkDef = new NSBPackingDef;
    pkDef->SetName(pcName);
    m_kPackingDefs.SetAt(pcName, pkDef);
    return pkDef;
}

NSBImplementation* NSBShader::GetImplementation(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    for (const auto& spImplementation : m_kImplementations)
    {
        if (!spImplementation)
            continue;
        const char* pcOther = spImplementation->GetName();
        if (pcOther != nullptr && std::strcmp(pcOther, pcName) == 0)
            return spImplementation.get();
    }
    return nullptr;
}

NSBImplementation* NSBShader::AddImplementation(const char* pcName, bool bCreate, std::uint32_t uiIndex)
{
    if (NSBImplementation* pkExisting = GetImplementation(pcName))
        return pkExisting;
    if (!bCreate)
        return nullptr;
    if (uiIndex >= m_kImplementations.size())
        m_kImplementations.resize(static_cast<std::size_t>(uiIndex) + 1);
    auto spImplementation = std::make_unique<NSBImplementation>();
    spImplementation->SetName(pcName);
    spImplementation->SetIndex(uiIndex);
    m_kImplementations[uiIndex] = std::move(spImplementation);
    return m_kImplementations[uiIndex].get();
}

std::uint32_t NSBShader::GetImplementationCount() const
{
    std::uint32_t uiCount = 0;
    for (const auto& spImplementation : m_kImplementations)
        uiCount += spImplementation ? 1 : 0;
    return uiCount;
}

std::uint32_t NSBShader::GetImplementationArraySize() const
{
    std::size_t uiSize = m_kImplementations.size();
    while (uiSize > 0 && !m_kImplementations[uiSize - 1])
        --uiSize;
    return static_cast<std::uint32_t>(uiSize);
}

NiShaderDesc* NSBShader::GetShaderDesc()
{
    if (m_spShaderDesc)
        return m_spShaderDesc.Get();
    NiShaderDescPtr spDesc = new NiShaderDesc;
    spDesc->SetName(GetName());
    spDesc->SetDescription(GetDescription());
    spDesc->AddPixelShaderVersion(m_uiMinPSVersion);
    spDesc->AddPixelShaderVersion(m_uiMaxPSVersion);
    spDesc->AddVertexShaderVersion(m_uiMinVSVersion);
    spDesc->AddVertexShaderVersion(m_uiMaxVSVersion);
    spDesc->AddUserDefinedVersion(m_uiMinUserVersion);
    spDesc->AddUserDefinedVersion(m_uiMaxUserVersion);
    spDesc->AddPlatformFlags(m_uiPlatformFlags);
    for (std::uint32_t ui = 0; ui < m_kAttributes.GetAttribCount(); ++ui)
    {
        NSBAttributeDescPtr spCopy = new NSBAttributeDesc;
        spCopy->CopyFrom(*m_kAttributes.GetAttribDesc(ui));
        spDesc->AddAttribute(spCopy);
    }
    spDesc->SetNumberOfImplementations(GetImplementationCount());
    for (std::uint32_t ui = 0; ui < m_kImplementations.size(); ++ui)
    {
        NSBImplementation* pkImplementation = m_kImplementations[ui].get();
        if (pkImplementation == nullptr)
            continue;
        const NSBRequirements& kRequirements = *pkImplementation->GetRequirements();
        if (ui == 0)
        {
            spDesc->SetBonesPerPartition(kRequirements.GetBonesPerPartition());
            spDesc->SetBinormalTangentMethod(kRequirements.GetBinormalTangentMethod());
        }
        NiShaderRequirementDescPtr spRequirement = new NiShaderRequirementDesc;
        spRequirement->SetName(pkImplementation->GetName());
        spRequirement->SetDescription(pkImplementation->GetDesc());
        spRequirement->AddPixelShaderVersion(kRequirements.GetPSVersion());
        spRequirement->AddVertexShaderVersion(kRequirements.GetVSVersion());
        spRequirement->AddUserDefinedVersion(kRequirements.GetUserVersion());
        spRequirement->AddPlatformFlags(kRequirements.GetPlatformFlags());
        spRequirement->SetBonesPerPartition(kRequirements.GetBonesPerPartition());
        spRequirement->SetBinormalTangentMethod(kRequirements.GetBinormalTangentMethod());
        spRequirement->SetSoftwareVPFallback(kRequirements.GetSoftwareVPFallback());
        spRequirement->SetSoftwareVPRequired(kRequirements.GetSoftwareVPRequired());
        spDesc->SetImplementationDescription(ui, spRequirement);
    }
    m_spShaderDesc = spDesc;
    return m_spShaderDesc.Get();
}

namespace
{
// Stands in for the renderer's versions while set.
bool g_bCapsOverride = false;
NSBCapsSnapshot g_kCapsOverride;

struct EffectiveRequirements
{
    std::uint32_t m_uiPS = 0;
    std::uint32_t m_uiVS = 0;
    std::uint32_t m_uiUser = 0;
    std::uint32_t m_uiPlatform = 0;
    bool m_bSoftwareVPRequired = false;
    bool m_bSoftwareVPFallback = false;
};

EffectiveRequirements EffectiveOf(NSBImplementation& kImplementation)
{
    const NSBRequirements& kReq = *kImplementation.GetRequirements();
    EffectiveRequirements k;
    k.m_uiPS = kReq.GetPSVersion() != 0 ? kReq.GetPSVersion() : gfx::D3DPS_VERSION(0, 0);
    k.m_uiVS = kReq.GetVSVersion() != 0 ? kReq.GetVSVersion() : gfx::D3DVS_VERSION(0, 0);
    k.m_uiUser = kReq.GetUserVersion() != 0 ? kReq.GetUserVersion() : gfx::D3DVS_VERSION(0, 0);
    k.m_uiPlatform = kReq.GetPlatformFlags();
    k.m_bSoftwareVPRequired = kReq.GetSoftwareVPRequired();
    k.m_bSoftwareVPFallback = kReq.GetSoftwareVPFallback();
    return k;
}

// Global matrix names of the stages whose transform comes from a global
// attribute.
template <class F>
void ForEachGlobalTransform(NSBImplementation& kImplementation, F&& fnVisit)
{
    for (std::uint32_t uiPass = 0; uiPass < kImplementation.GetPassArraySize(); ++uiPass)
    {
        NSBPass* pkPass = kImplementation.GetPass(uiPass, false);
        if (pkPass == nullptr)
            continue;
        for (std::uint32_t uiStage = 0; uiStage < pkPass->GetStageArraySize(); ++uiStage)
        {
            NSBTextureStage* pkStage = pkPass->GetStage(uiStage, false);
            if (pkStage != nullptr && (pkStage->GetTextureTransformFlags() >> 28) == 1)
                fnVisit(pkStage->GetGlobalName());
        }
    }
}
} // namespace

void NSBShader::SetCapsSnapshotOverride(const NSBCapsSnapshot* pkCaps)
{
    g_bCapsOverride = pkCaps != nullptr;
    g_kCapsOverride = pkCaps != nullptr ? *pkCaps : NSBCapsSnapshot{};
}

void NSBShader::TakeCapsSnapshot(NiDX9Renderer* pkRenderer, NSBCapsSnapshot& kCaps)
{
    if (g_bCapsOverride)
    {
        kCaps = g_kCapsOverride;
    }
    else if (pkRenderer != nullptr)
    {
        const auto& kWords = pkRenderer->GetShaderVersionWords();
        kCaps.m_uiMaxPSVersion = kWords[0];
        kCaps.m_uiMinPSVersion = kWords[1];
        kCaps.m_uiCurrPSVersion = kWords[2];
        kCaps.m_uiMaxVSVersion = kWords[3];
        kCaps.m_uiMinVSVersion = kWords[4];
        kCaps.m_uiCurrVSVersion = kWords[5];
        kCaps.m_uiMaxUserVersion = kWords[6];
        kCaps.m_uiMinUserVersion = kWords[7];
        kCaps.m_uiCurrUserVersion = kWords[8];
        kCaps.m_uiPlatform = kWords[9];
        kCaps.m_bSoftwareVPAvailable =
            (pkRenderer->GetBehaviorFlags() & gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING) == 0;
    }
    else
    {
        kCaps = NSBCapsSnapshot{};
    }
    kCaps.m_uiCurrPSVersion = std::min(kCaps.m_uiCurrPSVersion, kCaps.m_uiMaxPSVersion);
    kCaps.m_uiCurrVSVersion = std::min(kCaps.m_uiCurrVSVersion, kCaps.m_uiMaxVSVersion);
    kCaps.m_uiCurrUserVersion = std::min(kCaps.m_uiCurrUserVersion, kCaps.m_uiMaxUserVersion);
}

std::uint32_t NSBShader::IsImplementationUsable(NSBImplementation* pkImplementation, const NSBCapsSnapshot& kCaps)
{
    if (pkImplementation == nullptr)
        return UNUSABLE;
    const EffectiveRequirements k = EffectiveOf(*pkImplementation);
    if (k.m_uiPlatform != 0 && (k.m_uiPlatform & kCaps.m_uiPlatform) == 0)
        return UNUSABLE;
    if (k.m_uiPS > kCaps.m_uiMaxPSVersion)
        return UNUSABLE;
    if (k.m_bSoftwareVPRequired)
    {
        if (!kCaps.m_bSoftwareVPAvailable)
            return UNUSABLE;
        pkImplementation->SetSoftwareVP(true);
    }
    else if (k.m_uiVS > kCaps.m_uiMaxVSVersion)
    {
        if (!k.m_bSoftwareVPFallback || !kCaps.m_bSoftwareVPAvailable)
            return UNUSABLE;
        pkImplementation->SetSoftwareVP(true);
    }
    if (k.m_uiPS < kCaps.m_uiMinPSVersion || k.m_uiVS < kCaps.m_uiMinVSVersion ||
        k.m_uiUser > kCaps.m_uiMaxUserVersion || k.m_uiUser < kCaps.m_uiMinUserVersion)
        return UNUSABLE;
    if (k.m_uiPS == kCaps.m_uiCurrPSVersion && k.m_uiVS == kCaps.m_uiCurrVSVersion &&
        k.m_uiUser == kCaps.m_uiCurrUserVersion)
        return USABLE_EXACT;
    return USABLE;
}

NSBImplementation* NSBShader::FindUsableImplementation(NiDX9Renderer* pkRenderer)
{
    NSBCapsSnapshot kCaps;
    TakeCapsSnapshot(pkRenderer, kCaps);
    for (std::uint32_t ui = 0; ui < GetImplementationArraySize(); ++ui)
    {
        NSBImplementation* pkImplementation = GetImplementationByIndex(ui);
        if (pkImplementation == nullptr || IsImplementationUsable(pkImplementation, kCaps) == UNUSABLE)
            continue;
        const EffectiveRequirements k = EffectiveOf(*pkImplementation);
        if (k.m_uiPS > kCaps.m_uiCurrPSVersion || k.m_uiPS < kCaps.m_uiMinPSVersion ||
            k.m_uiVS < kCaps.m_uiMinVSVersion || k.m_uiUser > kCaps.m_uiCurrUserVersion ||
            k.m_uiUser < kCaps.m_uiMinUserVersion)
            continue;
        if (k.m_uiVS <= kCaps.m_uiCurrVSVersion ||
            (kCaps.m_bSoftwareVPAvailable && pkImplementation->GetSoftwareVP()))
            return pkImplementation;
    }
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, false,
                                 "* ERROR: Unable to find usable implementation for %s\n", GetName() ? GetName() : "");
    return nullptr;
}

NiBinaryShader* NSBShader::DefaultCreateNiBinaryShader(const char* pcClassName)
{
    if (pcClassName != nullptr && pcClassName[0] != '\0')
    {
        NiD3DUtility::Log("NSBShader::DefaultCreateNiBinaryShader called for class name %s\n"
                          "   Did you intend to have a callback set for this???\n",
                          pcClassName);
    }
    return nullptr;
}

bool NSBShader::RegisterGlobalTextureStageVariables(NiDX9Renderer*, NSBImplementation* pkImplementation)
{
    if (pkImplementation == nullptr)
        return false;
    bool bResult = true;
    ForEachGlobalTransform(*pkImplementation, [&](const char* pcName) {
        NSBAttributeDesc* pkAttribute = m_kGlobalAttributes.GetAttribDescByName(pcName);
        if (pkAttribute == nullptr)
        {
            bResult = false;
            return;
        }
        // A stage transforms its coordinates by this matrix; an attribute of
        // another type gives none, so the stage's coordinates stay put.
        float afMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        float afValue[16];
        if (pkAttribute->GetValue_Matrix4(afValue))
            std::memcpy(afMatrix, afValue, sizeof(afMatrix));
        NiD3DShaderFactory::AddGlobalData(pcName, pkAttribute->GetType(), sizeof(afMatrix), afMatrix);
    });
    return bResult;
}

bool NSBShader::ReleaseGlobalTextureStageVariables(NiDX9Renderer*, NSBImplementation* pkImplementation)
{
    if (pkImplementation == nullptr)
        return false;
    bool bResult = true;
    ForEachGlobalTransform(*pkImplementation, [&](const char* pcName) {
        if (m_kGlobalAttributes.GetAttribDescByName(pcName) == nullptr)
        {
            bResult = false;
            return;
        }
        NiD3DShaderFactory::ReleaseGlobalData(pcName);
    });
    return bResult;
}

NiBinaryShader* NSBShader::GetD3DShader(NiDX9Renderer* pkRenderer, std::uint32_t uiImplementation)
{
    const char* pcName = GetName() ? GetName() : "";
    NSBCapsSnapshot kCaps;
    TakeCapsSnapshot(pkRenderer, kCaps);

    NSBImplementation* pkImplementation = nullptr;
    if (uiImplementation != ANY_IMPLEMENTATION)
    {
        pkImplementation = GetImplementationByIndex(uiImplementation);
        if (IsImplementationUsable(pkImplementation, kCaps) == UNUSABLE)
        {
            NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Requested implementation (%d) invalid on operating "
                              "hardware.\n",
                              pcName, static_cast<int>(uiImplementation));
            pkImplementation = nullptr;
        }
    }
    if (pkImplementation == nullptr)
    {
        pkImplementation = FindUsableImplementation(pkRenderer);
        if (pkImplementation == nullptr)
        {
            NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Unable to find valid implementation for hardware.\n",
                              pcName);
            return nullptr;
        }
    }

    // Uncounted until handed out: the caller's reference is the first.
    NiBinaryShader* pkShader = DefaultCreateNiBinaryShader(pkImplementation->GetClassName());
    if (pkShader == nullptr)
        pkShader = new NiBinaryShader;
    pkShader->SetRenderer(pkRenderer);
    pkShader->SetName(GetName());
    pkShader->SetImplementation(uiImplementation);
    pkShader->SetShaderUserDefinedDataSet(m_spUserDefinedDataSet);
    pkShader->SetImplementationUserDefinedDataSet(pkImplementation->GetUserDefinedDataSet());
    // Each pass's data travels with its pass, to the position the pass takes
    // once missing pass numbers are closed up.

    if (!RegisterGlobalTextureStageVariables(pkRenderer, pkImplementation))
        NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Failed to register global texture stage variables.\n",
                          pcName);
    // The stages resolve the global names while the shader is set up, so the
    // registration holds until then, whatever the outcome.
    const bool bBuilt = BuildD3DShader(*pkShader, *pkImplementation, pkRenderer);
    if (!ReleaseGlobalTextureStageVariables(pkRenderer, pkImplementation))
        NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Failed to release global texture stage variables.\n",
                          pcName);
    if (!bBuilt)
    {
        delete pkShader;
        return nullptr;
    }
    return pkShader;
}

bool NSBShader::BuildD3DShader(NiBinaryShader& kShader, NSBImplementation& kImplementation, NiDX9Renderer* pkRenderer)
{
    const char* pcName = GetName() ? GetName() : "";
    if (!kImplementation.SetupNiBinaryShader(kShader, GetShaderDesc()))
    {
        NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Failed to setup the binary shader.\n", pcName);
        return false;
    }
    const char* pcPacking = kImplementation.GetPackingDef();
    if (pcPacking == nullptr)
    {
        kShader.SetShaderDecl(nullptr);
        return true;
    }
    NSBPackingDef* pkPacking = GetPackingDef(pcPacking, false);
    if (pkPacking == nullptr)
    {
        NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Failed to find packing definition for implementation.\n",
                          pcName);
        return false;
    }
    NiD3DShaderDeclaration* pkDecl = pkPacking->GetShaderDeclaration(pkRenderer);
    if (pkDecl == nullptr)
    {
        NiD3DUtility::Log("NSBShader::GetD3DShader - %s - Failed to convert packing definition to "
                          "NiD3DShaderDeclaration.\n",
                          pcName);
        return false;
    }
    kShader.SetShaderDecl(pkDecl);
    return true;
}

bool NSBShader::LoadFromFile(const char* pcPath)
{
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcPath, 0, FILE_BUFFER_SIZE);
    if (!spFile || !spFile->IsGood())
        return false;
    return LoadBinary(*spFile);
}

bool NSBShader::SaveToFile(const char* pcPath)
{
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcPath, 1, FILE_BUFFER_SIZE);
    if (!spFile || !spFile->IsGood())
        return false;
    return SaveBinary(*spFile);
}

bool NSBShader::LoadBinary(NiByteStream& kStream)
{
    std::uint32_t uiMagic = 0;
    std::uint32_t uiVersion = 0;
    if (!NSBStream::ReadU32(kStream, uiMagic) || uiMagic != MAGIC || !NSBStream::ReadU32(kStream, uiVersion) ||
        uiVersion > NSBStream::VERSION_CURRENT)
        return false;
    NSBStream::SetCurrentVersion(uiVersion);
    if (!NSBStream::ReadString(kStream, m_kName) || !NSBStream::ReadString(kStream, m_kDescription))
        return false;
    if (uiVersion >= NSBStream::VERSION_1_6)
    {
        std::uint32_t uiUserData = 0;
        if (!NSBStream::ReadU32(kStream, uiUserData))
            return false;
        if (uiUserData != 0)
        {
            m_spUserDefinedDataSet = new NSBUserDefinedDataSet;
            if (!m_spUserDefinedDataSet->LoadBinary(kStream))
                return false;
        }
    }
    return m_kGlobalAttributes.LoadBinary(kStream) && m_kAttributes.LoadBinary(kStream) &&
           LoadPackingDefs(kStream) && LoadImplementations(kStream);
}

bool NSBShader::SaveBinary(NiByteStream& kStream)
{
    if (!NSBStream::WriteU32(kStream, MAGIC) || !NSBStream::WriteU32(kStream, NSBStream::VERSION_CURRENT) ||
        !NSBStream::WriteString(kStream, m_kName) || !NSBStream::WriteString(kStream, m_kDescription) ||
        !NSBUserDefinedDataSet::SaveOptional(kStream, m_spUserDefinedDataSet.Get()))
        return false;
    return m_kGlobalAttributes.SaveBinary(kStream) && m_kAttributes.SaveBinary(kStream) &&
           SavePackingDefs(kStream) && SaveImplementations(kStream);
}

bool NSBShader::LoadPackingDefs(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount) ||
        !NSBStream::CountFits(kStream, uiCount, NSBPackingDef::MIN_RECORD_BYTES))
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spDef = std::make_unique<NSBPackingDef>();
        if (!spDef->LoadBinary(kStream))
            return false;
        const char* pcName = spDef->GetName() ? spDef->GetName() : "";
        // A repeated name: the last one read wins, the one it replaces goes.
        NSBPackingDef* pkOld = nullptr;
        if (m_kPackingDefs.GetAt(pcName, pkOld))
            delete pkOld;
        NSBPackingDef* pkDef = spDef.release();
        m_kPackingDefs.SetAt(pkDef->GetName() ? pkDef->GetName() : "", pkDef);
    }
    return true;
}

bool NSBShader::SavePackingDefs(NiByteStream& kStream)
{
    const std::uint32_t uiCount = m_kPackingDefs.GetCount();
    if (!NSBStream::WriteU32(kStream, uiCount))
        return false;
    std::uint32_t uiWritten = 0;
    NiHashMapPos kPos = m_kPackingDefs.GetFirstPos();
    while (kPos)
    {
        const char* pcName = nullptr;
        NSBPackingDef* pkDef = nullptr;
        m_kPackingDefs.GetNext(kPos, pcName, pkDef);
        if (!pkDef->SaveBinary(kStream))
            return false;
        ++uiWritten;
    }
    return uiWritten == uiCount;
}

bool NSBShader::LoadImplementations(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount) ||
        !NSBStream::CountFits(kStream, uiCount, NSBImplementation::MIN_RECORD_BYTES))
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spImplementation = std::make_unique<NSBImplementation>();
        if (!spImplementation->LoadBinary(kStream))
            return false;
        // An implementation stored without requirements gets empty ones.
        AddRequirements(*spImplementation->GetRequirements());
        if (ui >= m_kImplementations.size())
            m_kImplementations.resize(static_cast<std::size_t>(ui) + 1);
        m_kImplementations[ui] = std::move(spImplementation);
    }
    return true;
}

bool NSBShader::SaveImplementations(NiByteStream& kStream)
{
    const std::uint32_t uiCount = GetImplementationCount();
    if (!NSBStream::WriteU32(kStream, uiCount))
        return false;
    std::uint32_t uiWritten = 0;
    for (const auto& spImplementation : m_kImplementations)
    {
        if (!spImplementation)
            continue;
        if (!spImplementation->SaveBinary(kStream))
            return false;
        ++uiWritten;
    }
    return uiWritten == uiCount;
}
