#include "engine/shaders/nsb/NSBAttributeTable.h"

#include "engine/shaders/nsb/NSBStream.h"

#include <cstring>

bool NSBAttributeTable::AddAttribDesc(NSBAttributeDesc* pkDesc)
{
    if (pkDesc == nullptr)
        return false;
    m_kDescs.emplace_back(pkDesc);
    return true;
}

NSBAttributeDesc* NSBAttributeTable::GetAttribDescByName(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    for (const NSBAttributeDescPtr& spDesc : m_kDescs)
    {
        const char* pcOther = spDesc->GetName();
        if (pcOther != nullptr && std::strcmp(pcOther, pcName) == 0)
            return spDesc.Get();
    }
    return nullptr;
}

NSBAttributeDesc* NSBAttributeTable::GetFirstAttribDesc()
{
    m_uiIter = 0;
    return GetNextAttribDesc();
}

NSBAttributeDesc* NSBAttributeTable::GetNextAttribDesc()
{
    if (m_uiIter >= m_kDescs.size())
        return nullptr;
    return m_kDescs[m_uiIter++].Get();
}

bool NSBAttributeTable::SaveBinary(NiByteStream& kStream)
{
    if (!NSBStream::WriteU32(kStream, GetAttribCount()))
        return false;
    for (const NSBAttributeDescPtr& spDesc : m_kDescs)
    {
        if (!spDesc->SaveBinary(kStream))
            return false;
    }
    return true;
}

bool NSBAttributeTable::LoadBinary(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount) ||
        !NSBStream::CountFits(kStream, uiCount, NSBAttributeDesc::MIN_RECORD_BYTES))
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
        const bool bLoaded = spDesc->LoadBinary(kStream);
        m_kDescs.push_back(spDesc);
        if (!bLoaded)
            return false;
    }
    return true;
}
