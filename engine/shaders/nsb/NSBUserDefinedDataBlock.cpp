#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"

#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"

bool NSBUserDefinedDataBlock::AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiDataSize,
                                       std::uint32_t uiDataStride, const void* pvData, bool bCopyData)
{
    if (Entry* pkExisting = FindEntry(pcKey))
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* ERROR: NSBUserDefinedDataBlock::AddEntry\n    Failed to add entry %s\n"
                                     "    It already exists!\n",
                                     pkExisting->GetKey() ? pkExisting->GetKey() : "");
        return false;
    }
    Append(LIST_COMMON, pcKey, uiFlags, 0, 0xFFFFFFFF, 1, nullptr, uiDataSize, uiDataStride, pvData, bCopyData);
    return true;
}

bool NSBUserDefinedDataBlock::SaveRecord(NiByteStream& kStream)
{
    return NSBStream::WriteString(kStream, m_kName) && NSBConstantMap::SaveRecord(kStream);
}

bool NSBUserDefinedDataBlock::LoadRecord(NiByteStream& kStream)
{
    return NSBStream::ReadString(kStream, m_kName) && NSBConstantMap::LoadRecord(kStream);
}
