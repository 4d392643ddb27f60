#include "engine/shaders/nsb/NSBPass.h"

#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"

#include "engine/shaders/nsb/NSBStream.h"

NSBStateGroup* NSBPass::GetRenderStateGroup()
{
    if (!m_spRenderStateGroup)
        m_spRenderStateGroup = std::make_unique<NSBStateGroup>();
    return m_spRenderStateGroup.get();
}

NSBConstantMap* NSBPass::GetPixelConstantMap()
{
    if (!m_spPixelConstantMap)
    {
        m_spPixelConstantMap = new NSBConstantMap;
        m_spPixelConstantMap->SetProgramType(NSBConstantMap::PROGRAM_PIXEL);
    }
    return m_spPixelConstantMap.Get();
}

NSBConstantMap* NSBPass::GetVertexConstantMap()
{
    if (!m_spVertexConstantMap)
    {
        m_spVertexConstantMap = new NSBConstantMap;
        m_spVertexConstantMap->SetProgramType(NSBConstantMap::PROGRAM_VERTEX);
    }
    return m_spVertexConstantMap.Get();
}

const char* NSBPass::GetPixelShaderProgramFile(std::uint32_t uiSlot) const
{
    return uiSlot < SLOT_COUNT ? Text(m_akPixelProgram[uiSlot]) : nullptr;
}

void NSBPass::SetPixelShaderProgramFile(std::uint32_t uiSlot, const char* pcFile)
{
    if (uiSlot < SLOT_COUNT)
        m_akPixelProgram[uiSlot] = pcFile ? pcFile : "";
}

const char* NSBPass::GetVertexShaderProgramFile(std::uint32_t uiSlot) const
{
    return uiSlot < SLOT_COUNT ? Text(m_akVertexProgram[uiSlot]) : nullptr;
}

void NSBPass::SetVertexShaderProgramFile(std::uint32_t uiSlot, const char* pcFile)
{
    if (uiSlot < SLOT_COUNT)
        m_akVertexProgram[uiSlot] = pcFile ? pcFile : "";
}

std::uint32_t NSBPass::GetStageCount() const
{
    std::uint32_t uiCount = 0;
    for (const auto& spStage : m_kStages)
        uiCount += spStage ? 1 : 0;
    return uiCount;
}

NSBTextureStage* NSBPass::GetStage(std::uint32_t uiIndex, bool bCreate)
{
    if (uiIndex < m_kStages.size() && m_kStages[uiIndex])
        return m_kStages[uiIndex].get();
    if (!bCreate)
        return nullptr;
    if (uiIndex >= m_kStages.size())
        m_kStages.resize(static_cast<std::size_t>(uiIndex) + 1);
    for (std::uint32_t ui = 0; ui <= uiIndex; ++ui)
    {
        if (!m_kStages[ui])
        {
            m_kStages[ui] = std::make_unique<NSBTextureStage>();
            m_kStages[ui]->SetStage(ui);
        }
    }
    return m_kStages[uiIndex].get();
}

bool NSBPass::SaveBinary(NiByteStream& kStream) const
{
    if (!NSBStream::WriteString(kStream, m_kName) ||
        !NSBUserDefinedDataSet::SaveOptional(kStream, m_spUserDefinedDataSet.Get()) ||
        !NSBStateGroup::SaveOptional(kStream, m_spRenderStateGroup.get()))
        return false;
    for (const std::string& kFile : m_akPixelProgram)
    {
        if (!NSBStream::WriteString(kStream, kFile))
            return false;
    }
    if (!NSBStream::WriteString(kStream, m_kPixelEntryPoint) || !NSBStream::WriteString(kStream, m_kPixelTarget) ||
        !NSBConstantMap::SaveOptional(kStream, m_spPixelConstantMap.Get()))
        return false;
    for (const std::string& kFile : m_akVertexProgram)
    {
        if (!NSBStream::WriteString(kStream, kFile))
            return false;
    }
    if (!NSBStream::WriteString(kStream, m_kVertexEntryPoint) || !NSBStream::WriteString(kStream, m_kVertexTarget) ||
        !NSBConstantMap::SaveOptional(kStream, m_spVertexConstantMap.Get()) ||
        !NSBStream::WriteBool(kStream, m_bSoftwareVP) || !NSBStream::WriteU32(kStream, GetStageCount()))
        return false;
    for (const auto& spStage : m_kStages)
    {
        if (spStage && !spStage->SaveBinary(kStream))
            return false;
    }
    return true;
}

std::uint32_t NSBPass::MinRecordBytes(std::uint32_t uiVersion)
{
    // Name, state-group flag, the pixel program, pixel map flag, the vertex
    // program, vertex entry point and target, vertex map flag, software
    // flag and stage count: one word each when empty.
    constexpr std::uint32_t WORD = 4;
    if (uiVersion == NSBStream::VERSION_1_1)
        return 10 * WORD;
    // A program name per platform for both programs, and the pixel entry
    // point and target.
    std::uint32_t uiWords = 10 + 2 * (SLOT_COUNT - 1) + 2;
    // The user-data flag.
    if (uiVersion >= NSBStream::VERSION_1_6)
        ++uiWords;
    return uiWords * WORD;
}

bool NSBPass::LoadBinary(NiByteStream& kStream)
{
    const std::uint32_t uiVersion = NSBStream::GetCurrentVersion();
    if (!NSBStream::ReadString(kStream, m_kName))
        return false;
    if (uiVersion >= NSBStream::VERSION_1_6 && !NSBUserDefinedDataSet::LoadOptional(kStream, m_spUserDefinedDataSet))
        return false;
    m_spRenderStateGroup.reset();
    if (!NSBStateGroup::LoadOptional(kStream, m_spRenderStateGroup))
        return false;
    if (uiVersion == NSBStream::VERSION_1_1)
    {
        // One program name serves every platform.
        std::string kFile;
        if (!NSBStream::ReadString(kStream, kFile))
            return false;
        for (std::string& kSlot : m_akPixelProgram)
            kSlot = kFile;
    }
    else
    {
        for (std::string& kFile : m_akPixelProgram)
        {
            if (!NSBStream::ReadString(kStream, kFile))
                return false;
        }
        if (!NSBStream::ReadString(kStream, m_kPixelEntryPoint) || !NSBStream::ReadString(kStream, m_kPixelTarget))
            return false;
    }
    if (!NSBConstantMap::LoadOptional(kStream, m_spPixelConstantMap))
        return false;
    if (uiVersion == NSBStream::VERSION_1_1)
    {
        std::string kFile;
        if (!NSBStream::ReadString(kStream, kFile))
            return false;
        for (std::string& kSlot : m_akVertexProgram)
            kSlot = kFile;
    }
    else
    {
        for (std::string& kFile : m_akVertexProgram)
        {
            if (!NSBStream::ReadString(kStream, kFile))
                return false;
        }
    }
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadString(kStream, m_kVertexEntryPoint) || !NSBStream::ReadString(kStream, m_kVertexTarget) ||
        !NSBConstantMap::LoadOptional(kStream, m_spVertexConstantMap) || !NSBStream::ReadBool(kStream, m_bSoftwareVP) ||
        !NSBStream::ReadU32(kStream, uiCount) ||
        !NSBStream::CountFits(kStream, uiCount, NSBTextureStage::MIN_RECORD_BYTES))
        return false;
    m_kStages.clear();
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spStage = std::make_unique<NSBTextureStage>();
        if (!spStage->LoadBinary(kStream))
            return false;
        m_kStages.push_back(std::move(spStage));
    }
    return true;
}

bool NSBPass::SetupNiD3DPass(NiD3DPass& kPass, const NiShaderDesc* pkDesc)
{
    if (m_spRenderStateGroup != nullptr && m_spRenderStateGroup->GetStateCount() != 0)
    {
        NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
        if (pkGroup == nullptr)
            return false;
        if (!m_spRenderStateGroup->SetupRenderStateGroup(*pkGroup))
        {
            NiD3DRenderStateGroup::DeleteRenderStateGroup(pkGroup);
            return false;
        }
        kPass.SetRenderStateGroup(pkGroup);
    }

    NiDX9Renderer* pkRenderer = NiD3DPass::GetRenderer();
    kPass.SetPixelConstantMap(m_spPixelConstantMap != nullptr
                                  ? m_spPixelConstantMap->GetD3DSCM_Pixel(pkRenderer, pkDesc)
                                  : nullptr);
    kPass.SetVertexConstantMap(m_spVertexConstantMap != nullptr
                                   ? m_spVertexConstantMap->GetD3DSCM_Vertex(pkRenderer, pkDesc)
                                   : nullptr);

    kPass.SetProgramString(NiD3DPass::VERTEX_FILE, GetVertexShaderProgramFile(SLOT_DX9));
    kPass.SetProgramString(NiD3DPass::VERTEX_ENTRY, GetVertexShaderProgramEntryPoint());
    kPass.SetProgramString(NiD3DPass::VERTEX_TARGET, GetVertexShaderProgramShaderTarget());
    kPass.SetProgramString(NiD3DPass::PIXEL_FILE, GetPixelShaderProgramFile(SLOT_DX9));
    kPass.SetProgramString(NiD3DPass::PIXEL_ENTRY, GetPixelShaderProgramEntryPoint());
    kPass.SetProgramString(NiD3DPass::PIXEL_TARGET, GetPixelShaderProgramShaderTarget());
    kPass.SetSoftwareVertexProcessing(m_bSoftwareVP);

    if (GetStageCount() > NiD3DPass::GetMaxSamplers())
        return false;
    for (std::uint32_t ui = 0; ui < GetStageArraySize(); ++ui)
    {
        NSBTextureStage* pkNSBStage = m_kStages[ui].get();
        if (pkNSBStage == nullptr)
            continue;
        NiD3DTextureStagePtr spStage = kPass.GetStage(ui);
        if (spStage == nullptr)
            spStage = NiD3DTextureStage::GetFreeStage();
        if (spStage == nullptr || !pkNSBStage->SetupNiD3DTextureStage(*spStage) || kPass.SetStage(ui, spStage) != 0)
            return false;
    }
    return true;
}
