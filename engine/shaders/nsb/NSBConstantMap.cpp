#include "engine/shaders/nsb/NSBConstantMap.h"

#include "engine/core/NiByteStream.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"

#include <cstring>

void NSBConstantMap::Entry::SetData(std::uint32_t uiSize, std::uint32_t uiStride, const void* pvData, bool bCopy)
{
    m_uiDataSize = uiSize;
    m_uiDataStride = uiStride;
    m_kOwned.clear();
    m_pvBorrowed = nullptr;
    if (bCopy && pvData != nullptr && uiSize > 0)
    {
        const auto* puc = static_cast<const std::uint8_t*>(pvData);
        m_kOwned.assign(puc, puc + uiSize);
    }
    else if (!bCopy)
    {
        m_pvBorrowed = pvData;
    }
}

NSBConstantMap::List NSBConstantMap::PlatformList(std::uint32_t uiPlatform)
{
    switch (uiPlatform)
    {
    case PLATFORM_DX8:
        return LIST_DX8;
    case PLATFORM_DX9:
    case PLATFORM_XENON:
        return LIST_DX9;
    case PLATFORM_XBOX:
        return LIST_XBOX;
    default:
        return LIST_NONE;
    }
}

NSBConstantMap::Entry* NSBConstantMap::FindInList(List eList, const char* pcKey) const
{
    if (pcKey == nullptr || eList >= LIST_COUNT)
        return nullptr;
    for (const auto& spEntry : m_akLists[eList])
    {
        if (spEntry->m_kKey == pcKey)
            return spEntry.get();
    }
    return nullptr;
}

void NSBConstantMap::Append(List eList, const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                            std::uint32_t uiRegister, std::uint32_t uiRegisterCount, const char* pcVariableName,
                            std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData, bool bCopyData)
{
    auto spEntry = std::make_unique<Entry>();
    spEntry->m_kKey = pcKey ? pcKey : "";
    spEntry->m_uiFlags = uiFlags;
    spEntry->m_uiExtra = uiExtra;
    spEntry->m_uiShaderRegister = uiRegister;
    spEntry->m_uiRegisterCount = uiRegisterCount;
    spEntry->m_kVariableName = pcVariableName ? pcVariableName : "";
    spEntry->SetData(uiDataSize, uiDataStride, pvData, bCopyData);
    m_akLists[eList].push_back(std::move(spEntry));
}

bool NSBConstantMap::AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                              std::uint32_t uiRegister, std::uint32_t uiRegisterCount, const char* pcVariableName,
                              std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData,
                              bool bCopyData)
{
    if (Entry* pkExisting = FindInList(LIST_COMMON, pcKey))
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* ERROR: NSBConstantMap::AddEntry\n    Failed to add entry %s\n"
                                     "    It already exists!\n",
                                     pkExisting->m_kKey.c_str());
        return false;
    }
    Append(LIST_COMMON, pcKey, uiFlags, uiExtra, uiRegister, uiRegisterCount, pcVariableName, uiDataSize,
           uiDataStride, pvData, bCopyData);
    return true;
}

bool NSBConstantMap::AddPlatformSpecificEntry(std::uint32_t uiPlatforms, const char* pcKey, std::uint32_t uiFlags,
                                              std::uint32_t uiExtra, std::uint32_t uiRegister,
                                              std::uint32_t uiRegisterCount, const char* pcVariableName,
                                              std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                              const void* pvData, bool bCopyData)
{
    static constexpr std::pair<std::uint32_t, List> s_akLists[] = {
        {PLATFORM_DX8, LIST_DX8}, {PLATFORM_DX9, LIST_DX9}, {PLATFORM_XBOX, LIST_XBOX}};
    bool bResult = true;
    for (const auto& [uiBit, eList] : s_akLists)
    {
        if ((uiPlatforms & uiBit) == 0)
            continue;
        if (FindInList(eList, pcKey) != nullptr)
        {
            bResult = false;
            continue;
        }
        Append(eList, pcKey, uiFlags, uiExtra, uiRegister, uiRegisterCount, pcVariableName, uiDataSize,
               uiDataStride, pvData, bCopyData);
    }
    return bResult;
}

NSBConstantMap::Entry* NSBConstantMap::FindEntry(const char* pcKey) const
{
    return FindInList(LIST_COMMON, pcKey);
}

std::int32_t NSBConstantMap::GetEntryIndex(const char* pcKey) const
{
    if (pcKey == nullptr)
        return -1;
    const auto& kList = m_akLists[LIST_COMMON];
    for (std::size_t ui = 0; ui < kList.size(); ++ui)
    {
        if (kList[ui]->m_kKey == pcKey)
            return static_cast<std::int32_t>(ui);
    }
    return -1;
}

std::uint32_t NSBConstantMap::GetPlatformEntryCount(std::uint32_t uiPlatform) const
{
    return GetListCount(PlatformList(uiPlatform));
}

NSBConstantMap::Entry* NSBConstantMap::GetFirstPlatformEntry(std::uint32_t uiPlatform)
{
    return First(PlatformList(uiPlatform));
}

NSBConstantMap::Entry* NSBConstantMap::GetNextPlatformEntry(std::uint32_t uiPlatform)
{
    return Next(PlatformList(uiPlatform));
}

NSBConstantMap::Entry* NSBConstantMap::First(List eList)
{
    if (eList >= LIST_COUNT)
        return nullptr;
    m_auiIter[eList] = 0;
    return Next(eList);
}

NSBConstantMap::Entry* NSBConstantMap::Next(List eList)
{
    if (eList >= LIST_COUNT || m_auiIter[eList] >= m_akLists[eList].size())
        return nullptr;
    return m_akLists[eList][m_auiIter[eList]++].get();
}

bool NSBConstantMap::SaveList(NiByteStream& kStream, List eList) const
{
    if (!NSBStream::WriteU32(kStream, GetListCount(eList)))
        return false;
    for (const auto& spEntry : m_akLists[eList])
    {
        const Entry& kEntry = *spEntry;
        // The byte count is the data size: a size without bytes to write
        // would make a file that promises data it does not hold.
        if (kEntry.m_uiDataSize > 0 && kEntry.GetData() == nullptr)
            return false;
        if (!NSBStream::WriteString(kStream, kEntry.m_kKey) || !NSBStream::WriteU32(kStream, kEntry.m_uiFlags) ||
            !NSBStream::WriteU32(kStream, kEntry.m_uiExtra) ||
            !NSBStream::WriteU32(kStream, kEntry.m_uiShaderRegister) ||
            !NSBStream::WriteU32(kStream, kEntry.m_uiRegisterCount) ||
            !NSBStream::WriteString(kStream, kEntry.m_kVariableName) ||
            !NSBStream::WriteU32(kStream, kEntry.m_uiDataSize) || !NSBStream::WriteU32(kStream, kEntry.m_uiDataStride) ||
            !NSBStream::WriteU32(kStream, kEntry.m_uiDataSize))
            return false;
        if (kEntry.m_uiDataSize > 0 && kStream.Write(kEntry.GetData(), kEntry.m_uiDataSize) != kEntry.m_uiDataSize)
            return false;
    }
    return true;
}

bool NSBConstantMap::LoadList(NiByteStream& kStream, List eList)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadU32(kStream, uiCount) || !NSBStream::CountFits(kStream, uiCount, MIN_ENTRY_BYTES))
        return false;
    const bool bVariableName = NSBStream::GetCurrentVersion() != NSBStream::VERSION_1_1;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        auto spEntry = std::make_unique<Entry>();
        std::uint32_t uiSize = 0;
        std::uint32_t uiStride = 0;
        std::uint32_t uiBytes = 0;
        if (!NSBStream::ReadString(kStream, spEntry->m_kKey) || !NSBStream::ReadU32(kStream, spEntry->m_uiFlags) ||
            !NSBStream::ReadU32(kStream, spEntry->m_uiExtra) ||
            !NSBStream::ReadU32(kStream, spEntry->m_uiShaderRegister) ||
            !NSBStream::ReadU32(kStream, spEntry->m_uiRegisterCount) ||
            (bVariableName && !NSBStream::ReadString(kStream, spEntry->m_kVariableName)) ||
            !NSBStream::ReadU32(kStream, uiSize) || !NSBStream::ReadU32(kStream, uiStride) ||
            !NSBStream::ReadU32(kStream, uiBytes))
            return false;
        // Every later reader takes the size as the data's length: bytes
        // that differ from it are refused here.
        if (uiBytes != uiSize || !NSBStream::CountFits(kStream, uiBytes, 1))
            return false;
        std::vector<std::uint8_t> kData(uiBytes);
        if (uiBytes > 0 && kStream.Read(kData.data(), uiBytes) != uiBytes)
            return false;
        spEntry->SetData(uiSize, uiStride, kData.data(), true);
        m_akLists[eList].push_back(std::move(spEntry));
    }
    return true;
}

bool NSBConstantMap::SaveRecord(NiByteStream& kStream)
{
    return NSBStream::WriteU32(kStream, m_uiProgramType) && SaveBinary(kStream);
}

bool NSBConstantMap::LoadRecord(NiByteStream& kStream)
{
    return NSBStream::ReadU32(kStream, m_uiProgramType) && LoadBinary(kStream);
}

bool NSBConstantMap::SaveBinary(NiByteStream& kStream)
{
    for (std::uint32_t ui = 0; ui < LIST_COUNT; ++ui)
    {
        if (!SaveList(kStream, static_cast<List>(ui)))
            return false;
    }
    return true;
}

bool NSBConstantMap::LoadBinary(NiByteStream& kStream)
{
    if (!LoadList(kStream, LIST_COMMON))
        return false;
    if (NSBStream::GetCurrentVersion() < NSBStream::VERSION_1_4)
        return true;
    return LoadList(kStream, LIST_DX8) && LoadList(kStream, LIST_DX9) && LoadList(kStream, LIST_XBOX);
}

bool NSBConstantMap::SaveOptional(NiByteStream& kStream, NSBConstantMap* pkMap)
{
    if (pkMap == nullptr)
        return NSBStream::WriteU32(kStream, 0);
    return NSBStream::WriteU32(kStream, 1) && pkMap->SaveRecord(kStream);
}

bool NSBConstantMap::LoadOptional(NiByteStream& kStream, NiRefPtr<NSBConstantMap>& spMap)
{
    std::uint32_t uiPresent = 0;
    if (!NSBStream::ReadU32(kStream, uiPresent))
        return false;
    if (uiPresent == 0)
    {
        spMap = nullptr;
        return true;
    }
    spMap = new NSBConstantMap;
    if (!spMap->LoadRecord(kStream))
    {
        spMap = nullptr;
        return false;
    }
    return true;
}
