#include "engine/shaders/nsb/NSBStateGroup.h"

#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStateConversion.h"
#include "engine/shaders/nsb/NSBStream.h"

namespace
{
// Flags, state, value and an empty text.
constexpr std::uint32_t MIN_ENTRY_BYTES = 16;
} // namespace

void NSBStateGroup::SetState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    if (NSBStateGroupEntry* pkEntry = FindState(uiState))
    {
        NiD3DUtility::Log("Warning: NSBStateGroup::SetState> Overwriting  State 0x%08x - original value 0x%08x - "
                          "new value 0x%08x\n",
                          uiState, pkEntry->m_uiValue, uiValue);
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* WARNING: NSBStateGroup::SetState\n    Overwriting State 0x%08x\n"
                                     "    Original Value = 0x%08x\n    New Value      = 0x%08x\n",
                                     uiState, pkEntry->m_uiValue, uiValue);
        pkEntry->m_uiValue = uiValue;
        if (bSave)
            pkEntry->m_uiFlags |= NSBStateGroupEntry::FLAG_SAVE;
        else
            pkEntry->m_uiFlags &= ~NSBStateGroupEntry::FLAG_SAVE;
        pkEntry->m_uiFlags &= ~NSBStateGroupEntry::FLAG_IGNORE;
        return;
    }
    auto spEntry = std::make_unique<NSBStateGroupEntry>();
    spEntry->m_uiState = uiState;
    spEntry->m_uiValue = uiValue;
    spEntry->m_uiFlags = bSave ? NSBStateGroupEntry::FLAG_SAVE : 0;
    m_kEntries.push_back(std::move(spEntry));
}

NSBStateGroupEntry* NSBStateGroup::FindState(std::uint32_t uiState) const
{
    for (const auto& spEntry : m_kEntries)
    {
        if (spEntry->m_uiState == uiState)
            return spEntry.get();
    }
    return nullptr;
}

NSBStateGroupEntry* NSBStateGroup::GetFirstState()
{
    m_uiIter = 0;
    return GetNextState();
}

NSBStateGroupEntry* NSBStateGroup::GetNextState()
{
    if (m_uiIter >= m_kEntries.size())
        return nullptr;
    return m_kEntries[m_uiIter++].get();
}

bool NSBStateGroup::SaveBinary(NiByteStream& kStream) const
{
    if (!NSBStream::WriteU32(kStream, GetStateCount()))
        return false;
    for (const auto& spEntry : m_kEntries)
    {
        if (!NSBStream::WriteU32(kStream, spEntry->m_uiFlags) || !NSBStream::WriteU32(kStream, spEntry->m_uiState) ||
            !NSBStream::WriteU32(kStream, spEntry->m_uiValue) || !NSBStream::WriteString(kStream, spEntry->m_kText))
            return false;
    }
    return true;
}

bool NSBStateGroup::LoadBinary(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount) || !NSBStream::CountFits(kStream, uiCount, MIN_ENTRY_BYTES))
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spEntry = std::make_unique<NSBStateGroupEntry>();
        if (!NSBStream::ReadU32(kStream, spEntry->m_uiFlags) || !NSBStream::ReadU32(kStream, spEntry->m_uiState) ||
            !NSBStream::ReadU32(kStream, spEntry->m_uiValue) || !NSBStream::ReadString(kStream, spEntry->m_kText))
            return false;
        m_kEntries.push_back(std::move(spEntry));
    }
    return true;
}

bool NSBStateGroup::SaveOptional(NiByteStream& kStream, const NSBStateGroup* pkGroup)
{
    if (pkGroup == nullptr)
        return NSBStream::WriteU32(kStream, 0);
    return NSBStream::WriteU32(kStream, 1) && pkGroup->SaveBinary(kStream);
}

bool NSBStateGroup::LoadOptional(NiByteStream& kStream, std::unique_ptr<NSBStateGroup>& spGroup)
{
    std::uint32_t uiPresent = 0;
    if (!NSBStream::ReadU32(kStream, uiPresent))
        return false;
    if (uiPresent == 0)
        return true;
    spGroup = std::make_unique<NSBStateGroup>();
    if (!spGroup->LoadBinary(kStream))
    {
        spGroup.reset();
        return false;
    }
    return true;
}

bool NSBStateGroup::SetupRenderStateGroup(NiD3DRenderStateGroup& kRSGroup)
{
    return NSBStateConversion::SetupRenderStateGroup(*this, kRSGroup);
}

bool NSBStateGroup::SetupTextureStageGroup(NiD3DTextureStageGroup& kTSGroup)
{
    return NSBStateConversion::SetupTextureStageGroup(*this, kTSGroup);
}

bool NSBStateGroup::SetupSamplerGroup(NiD3DTextureStageGroup& kTSGroup)
{
    return NSBStateConversion::SetupSamplerGroup(*this, kTSGroup);
}
