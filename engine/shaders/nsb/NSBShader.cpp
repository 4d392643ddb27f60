#include "engine/shaders/nsb/NSBShader.h"

#include "engine/core/NiFile.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NSBStream.h"

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

NiD3DShaderInterface* NSBShader::GetD3DShader(NiDX9Renderer*, std::uint32_t)
{
    return nullptr;
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
