#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"

#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"

#include <strings.h>

NSBUserDefinedDataBlock* NSBUserDefinedDataSet::GetBlock(const char* pcName, bool bCreate)
{
    const char* pcWanted = pcName ? pcName : "";
    for (const NSBUserDefinedDataBlockPtr& spBlock : m_kBlocks)
    {
        const char* pcBlock = spBlock->GetName();
        if (strcasecmp(pcBlock ? pcBlock : "", pcWanted) == 0)
        {
            if (bCreate)
            {
                NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                             "* WARNING: NSBUserDefinedDataSet::GetBlock\n    Block %s already in "
                                             "set\n    Create was true - POTENTIAL OVERWRITE ISSUE!\n",
                                             pcWanted);
            }
            return spBlock.Get();
        }
    }
    if (!bCreate)
        return nullptr;
    m_kBlocks.emplace_back(new NSBUserDefinedDataBlock(pcName));
    return m_kBlocks.back().Get();
}

NSBUserDefinedDataBlock* NSBUserDefinedDataSet::GetFirstBlock()
{
    m_uiIter = 0;
    return GetNextBlock();
}

NSBUserDefinedDataBlock* NSBUserDefinedDataSet::GetNextBlock()
{
    if (m_uiIter >= m_kBlocks.size())
        return nullptr;
    return m_kBlocks[m_uiIter++].Get();
}

bool NSBUserDefinedDataSet::SaveBinary(NiByteStream& kStream)
{
    if (!NSBStream::WriteU32(kStream, GetBlockCount()))
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* ERROR: NSBUserDefinedDataSet::SaveBinary\n    Failed to write count!\n");
        return false;
    }
    for (const NSBUserDefinedDataBlockPtr& spBlock : m_kBlocks)
    {
        if (!spBlock->SaveRecord(kStream))
        {
            const char* pcName = spBlock->GetName();
            NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                         "* ERROR: NSBUserDefinedDataSet::SaveBinary\n    Failed to write block %s!\n",
                                         pcName ? pcName : "");
            return false;
        }
    }
    return true;
}

bool NSBUserDefinedDataSet::LoadBinary(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount))
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* ERROR: NSBUserDefinedDataSet::LoadBinary\n    Failed to read count!\n");
        return false;
    }
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        // Checked block by block, so the failure names the block that is
        // missing and the blocks before it stay.
        NSBUserDefinedDataBlockPtr spBlock;
        if (NSBStream::CountFits(kStream, 1, NSBUserDefinedDataBlock::MIN_RECORD_BYTES))
            spBlock = new NSBUserDefinedDataBlock;
        if (!spBlock || !spBlock->LoadRecord(kStream))
        {
            NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                         "* ERROR: NSBUserDefinedDataSet::LoadBinary\n"
                                         "    Failed to read block %2u of %2u\n",
                                         ui, uiCount);
            return false;
        }
        m_kBlocks.push_back(spBlock);
    }
    return true;
}

bool NSBUserDefinedDataSet::SaveOptional(NiByteStream& kStream, NSBUserDefinedDataSet* pkSet)
{
    if (pkSet == nullptr)
        return NSBStream::WriteU32(kStream, 0);
    return NSBStream::WriteU32(kStream, 1) && pkSet->SaveBinary(kStream);
}

bool NSBUserDefinedDataSet::LoadOptional(NiByteStream& kStream, NiRefPtr<NSBUserDefinedDataSet>& spSet)
{
    std::uint32_t uiPresent = 0;
    if (!NSBStream::ReadU32(kStream, uiPresent))
        return false;
    if (uiPresent == 0)
    {
        spSet = nullptr;
        return true;
    }
    spSet = new NSBUserDefinedDataSet;
    if (!spSet->LoadBinary(kStream))
    {
        spSet = nullptr;
        return false;
    }
    return true;
}
