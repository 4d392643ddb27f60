#include "engine/shaders/nsb/NSBImplementation.h"

#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/nsb/NiBinaryShader.h"

#include "engine/shaders/nsb/NSBStream.h"

NSBRequirements* NSBImplementation::GetRequirements()
{
    if (!m_spRequirements)
        m_spRequirements = std::make_unique<NSBRequirements>();
    return m_spRequirements.get();
}

NSBStateGroup* NSBImplementation::GetRenderStateGroup()
{
    if (!m_spRenderStateGroup)
        m_spRenderStateGroup = std::make_unique<NSBStateGroup>();
    return m_spRenderStateGroup.get();
}

NSBConstantMap* NSBImplementation::GetPixelConstantMap()
{
    if (!m_spPixelConstantMap)
    {
        m_spPixelConstantMap = new NSBConstantMap;
        m_spPixelConstantMap->SetProgramType(NSBConstantMap::PROGRAM_PIXEL);
    }
    return m_spPixelConstantMap.Get();
}

NSBConstantMap* NSBImplementation::GetVertexConstantMap()
{
    if (!m_spVertexConstantMap)
    {
        m_spVertexConstantMap = new NSBConstantMap;
        m_spVertexConstantMap->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    }
    return m_spVertexConstantMap.Get();
}

std::uint32_t NSBImplementation::GetPassCount() const
{
    std::uint32_t uiCount = 0;
    for (const auto& spPass : m_kPasses)
        uiCount += spPass ? 1 : 0;
    return uiCount;
}

NSBPass* NSBImplementation::GetPass(std::uint32_t uiIndex, bool bCreate)
{
    if (uiIndex < m_kPasses.size() && m_kPasses[uiIndex])
        return m_kPasses[uiIndex].get();
    if (!bCreate)
        return nullptr;
    if (uiIndex >= m_kPasses.size())
        m_kPasses.resize(static_cast<std::size_t>(uiIndex) + 1);
    m_kPasses[uiIndex] = std::make_unique<NSBPass>();
    return m_kPasses[uiIndex].get();
}

bool NSBImplementation::SaveBinary(NiByteStream& kStream) const
{
    if (!NSBStream::WriteString(kStream, m_kName) || !NSBStream::WriteString(kStream, m_kDesc) ||
        !NSBStream::WriteString(kStream, m_kClassName) || !NSBStream::WriteU32(kStream, m_uiIndex))
        return false;
    if (m_spRequirements)
    {
        if (!NSBStream::WriteU32(kStream, 1) || !m_spRequirements->SaveBinary(kStream))
            return false;
    }
    else if (!NSBStream::WriteU32(kStream, 0))
    {
        return false;
    }
    if (!NSBUserDefinedDataSet::SaveOptional(kStream, m_spUserDefinedDataSet.Get()) ||
        !NSBStream::WriteString(kStream, m_kPackingDef) ||
        !NSBStateGroup::SaveOptional(kStream, m_spRenderStateGroup.get()) ||
        !NSBConstantMap::SaveOptional(kStream, m_spPixelConstantMap.Get()) ||
        !NSBConstantMap::SaveOptional(kStream, m_spVertexConstantMap.Get()) ||
        !NSBStream::WriteU32(kStream, GetPassCount()))
        return false;
    for (const auto& spPass : m_kPasses)
    {
        if (spPass && !spPass->SaveBinary(kStream))
            return false;
    }
    return NSBStream::WriteBool(kStream, m_bSoftwareVP);
}

bool NSBImplementation::LoadBinary(NiByteStream& kStream)
{
    const std::uint32_t uiVersion = NSBStream::GetCurrentVersion();
    if (!NSBStream::ReadString(kStream, m_kName) || !NSBStream::ReadString(kStream, m_kDesc))
        return false;
    if (uiVersion >= NSBStream::VERSION_1_5 && !NSBStream::ReadString(kStream, m_kClassName))
        return false;
    std::uint32_t uiRequirements = 0;
    if (!NSBStream::ReadU32(kStream, m_uiIndex) || !NSBStream::ReadU32(kStream, uiRequirements))
        return false;
    // Only 1 says requirements follow; any other value keeps what is there.
    if (uiRequirements == 1)
    {
        m_spRequirements = std::make_unique<NSBRequirements>();
        if (!m_spRequirements->LoadBinary(kStream))
            return false;
    }
    if (uiVersion >= NSBStream::VERSION_1_6 && !NSBUserDefinedDataSet::LoadOptional(kStream, m_spUserDefinedDataSet))
        return false;
    if (!NSBStream::ReadString(kStream, m_kPackingDef))
        return false;
    m_spRenderStateGroup.reset();
    std::uint32_t uiCount = 0;
    if (!NSBStateGroup::LoadOptional(kStream, m_spRenderStateGroup) ||
        !NSBConstantMap::LoadOptional(kStream, m_spPixelConstantMap) ||
        !NSBConstantMap::LoadOptional(kStream, m_spVertexConstantMap) || !NSBStream::ReadU32(kStream, uiCount) ||
        !NSBStream::CountFits(kStream, uiCount, NSBPass::MinRecordBytes(uiVersion)))
        return false;
    m_kPasses.clear();
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spPass = std::make_unique<NSBPass>();
        if (!spPass->LoadBinary(kStream))
            return false;
        if (spPass->GetSoftwareVertexProcessing() && m_spRequirements)
            m_spRequirements->SetSoftwareVPRequired(true);
        m_kPasses.push_back(std::move(spPass));
    }
    if (uiVersion >= NSBStream::VERSION_1_7)
        return NSBStream::ReadBool(kStream, m_bSoftwareVP);
    return true;
}

bool NSBImplementation::SetupNiBinaryShader(NiBinaryShader& kShader, const NiShaderDesc* pkDesc)
{
    const NSBRequirements* pkReq = m_spRequirements.get();
    kShader.SetUsesNiRenderState(pkReq != nullptr && pkReq->UsesNiRenderState());
    kShader.SetUsesNiLightState(pkReq != nullptr && pkReq->UsesNiLightState());
    kShader.SetBonesPerPartition(pkReq != nullptr ? pkReq->GetBonesPerPartition() : 0);
    kShader.SetBoneMatrixRegisters(pkReq != nullptr ? pkReq->GetBoneMatrixRegisters() : 0);
    kShader.SetBoneCalcMethod(pkReq != nullptr ? pkReq->GetBoneCalcMethod() : 0);
    kShader.SetBinormalTangentMethod(pkReq != nullptr ? pkReq->GetBinormalTangentMethod() : 0);

    NiDX9Renderer* pkRenderer = kShader.GetRenderer();
    kShader.SetPixelConstantMap(m_spPixelConstantMap != nullptr
                                    ? m_spPixelConstantMap->GetD3DSCM_Pixel(pkRenderer, pkDesc)
                                    : nullptr);
    kShader.SetVertexConstantMap(m_spVertexConstantMap != nullptr
                                     ? m_spVertexConstantMap->GetD3DSCM_Vertex(pkRenderer, pkDesc)
                                     : nullptr);

    NiD3DRenderStateGroup* pkGroup = nullptr;
    if (m_spRenderStateGroup != nullptr && m_spRenderStateGroup->GetStateCount() != 0)
    {
        pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
        if (pkGroup == nullptr)
            return false;
        if (!m_spRenderStateGroup->SetupRenderStateGroup(*pkGroup))
        {
            NiD3DRenderStateGroup::DeleteRenderStateGroup(pkGroup);
            return false;
        }
    }
    kShader.SetRenderStateGroup(pkGroup);

    for (std::uint32_t ui = 0; ui < GetPassArraySize(); ++ui)
    {
        NSBPass* pkNSBPass = m_kPasses[ui].get();
        if (pkNSBPass == nullptr)
            continue;
        if (m_bSoftwareVP)
            pkNSBPass->SetSoftwareVertexProcessing(true);
        NiD3DPassPtr spPass;
        NiD3DPass::CreateNewPass(spPass);
        if (spPass == nullptr || !pkNSBPass->SetupNiD3DPass(*spPass, pkDesc))
            return false;
        kShader.AppendPass(spPass, pkNSBPass->GetUserDefinedDataSet());
    }
    return true;
}
