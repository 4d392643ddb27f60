#include "engine/shaders/nsb/NSBConstantMap.h"

#include "engine/core/NiByteStream.h"
#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NiShaderDesc.h"
#include "engine/shaders/nsb/NSBStream.h"

#include <cstring>

bool NSBConstantMap::SameKey(const Entry& kEntry, const char* pcKey)
{
    const char* pcOwn = kEntry.GetKey();
    return std::strcmp(pcOwn ? pcOwn : "", pcKey ? pcKey : "") == 0;
}

bool NSBConstantMap::WriteText(NiByteStream& kStream, const char* pcText)
{
    return NSBStream::WriteString(kStream, pcText ? pcText : "");
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
    for (const NiD3DShaderConstantMapEntryPtr& spEntry : m_akLists[eList])
    {
        if (SameKey(*spEntry, pcKey))
            return spEntry.Get();
    }
    return nullptr;
}

void NSBConstantMap::Append(List eList, const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                            std::uint32_t uiRegister, std::uint32_t uiRegisterCount, const char* pcVariableName,
                            std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData, bool bCopyData)
{
    NiD3DShaderConstantMapEntryPtr spEntry = new NiD3DShaderConstantMapEntry;
    spEntry->SetKey(pcKey);
    spEntry->SetFlags(uiFlags);
    spEntry->SetExtra(uiExtra);
    spEntry->SetShaderRegister(uiRegister);
    spEntry->SetRegisterCount(uiRegisterCount);
    spEntry->SetVariableName(pcVariableName);
    spEntry->SetData(uiDataSize, uiDataStride, pvData, bCopyData);
    m_akLists[eList].push_back(spEntry);
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
                                     pkExisting->GetKey() ? pkExisting->GetKey() : "");
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
        if (SameKey(*kList[ui], pcKey))
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
    return m_akLists[eList][m_auiIter[eList]++].Get();
}

bool NSBConstantMap::SaveList(NiByteStream& kStream, List eList) const
{
    if (!NSBStream::WriteU32(kStream, GetListCount(eList)))
        return false;
    for (const NiD3DShaderConstantMapEntryPtr& spEntry : m_akLists[eList])
    {
        const Entry& kEntry = *spEntry;
        const std::uint32_t uiSize = kEntry.GetDataSize();
        // The byte count is the data size: a size without bytes to write
        // would make a file that promises data it does not hold.
        if (uiSize > 0 && kEntry.GetDataSource() == nullptr)
            return false;
        if (!WriteText(kStream, kEntry.GetKey()) || !NSBStream::WriteU32(kStream, kEntry.GetFlags()) ||
            !NSBStream::WriteU32(kStream, kEntry.GetExtra()) ||
            !NSBStream::WriteU32(kStream, kEntry.GetShaderRegister()) ||
            !NSBStream::WriteU32(kStream, kEntry.GetRegisterCount()) ||
            !WriteText(kStream, kEntry.GetVariableName()) || !NSBStream::WriteU32(kStream, uiSize) ||
            !NSBStream::WriteU32(kStream, kEntry.GetDataStride()) || !NSBStream::WriteU32(kStream, uiSize))
            return false;
        if (uiSize > 0 && kStream.Write(kEntry.GetDataSource(), uiSize) != uiSize)
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
        std::string kKey;
        std::string kVariableName;
        std::uint32_t auiWords[4] = {};
        std::uint32_t uiSize = 0;
        std::uint32_t uiStride = 0;
        std::uint32_t uiBytes = 0;
        if (!NSBStream::ReadString(kStream, kKey) || !NSBStream::ReadU32Array(kStream, auiWords, 4) ||
            (bVariableName && !NSBStream::ReadString(kStream, kVariableName)) ||
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
        Append(eList, kKey.c_str(), auiWords[0], auiWords[1], auiWords[2], auiWords[3], kVariableName.c_str(), uiSize,
               uiStride, kData.data(), true);
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

namespace
{
// An attribute's value as the renderer map stores it; false when it has none
// of the expected type.
struct AttributeValue
{
    std::uint8_t m_aucBytes[64] = {};
    const void* m_pvData = m_aucBytes;
    std::uint32_t m_uiSize = 0;
    std::uint32_t m_uiStride = 0;
};

bool ReadAttributeValue(const NSBAttributeDesc& kAttribute, AttributeValue& kValue)
{
    float afValue[16] = {};
    auto Floats = [&](std::uint32_t uiCount) {
        std::memcpy(kValue.m_aucBytes, afValue, uiCount * sizeof(float));
        kValue.m_uiSize = uiCount * static_cast<std::uint32_t>(sizeof(float));
        kValue.m_uiStride = sizeof(float);
        return true;
    };
    auto Text = [&](const char* pcText) {
        kValue.m_pvData = pcText;
        kValue.m_uiSize = pcText != nullptr ? static_cast<std::uint32_t>(std::strlen(pcText)) : 0;
        kValue.m_uiStride = 1;
        return true;
    };
    switch (kAttribute.GetType())
    {
    case NSBAttributeDesc::ATTRIB_TYPE_BOOL:
    {
        bool bValue = false;
        if (!kAttribute.GetValue_Bool(bValue))
            return false;
        kValue.m_aucBytes[0] = bValue ? 1 : 0;
        kValue.m_uiSize = 1;
        kValue.m_uiStride = 1;
        return true;
    }
    case NSBAttributeDesc::ATTRIB_TYPE_STRING:
    {
        const char* pcText = nullptr;
        return kAttribute.GetValue_String(pcText) && Text(pcText);
    }
    case NSBAttributeDesc::ATTRIB_TYPE_TEXTURE:
    {
        std::uint32_t uiSlot = 0;
        const char* pcText = nullptr;
        return kAttribute.GetValue_Texture(uiSlot, pcText) && Text(pcText);
    }
    case NSBAttributeDesc::ATTRIB_TYPE_UNSIGNEDINT:
    {
        std::uint32_t uiValue = 0;
        if (!kAttribute.GetValue_UnsignedInt(uiValue))
            return false;
        std::memcpy(kValue.m_aucBytes, &uiValue, sizeof(uiValue));
        kValue.m_uiSize = 4;
        kValue.m_uiStride = 4;
        return true;
    }
    case NSBAttributeDesc::ATTRIB_TYPE_FLOAT: return kAttribute.GetValue_Float(afValue[0]) && Floats(1);
    case NSBAttributeDesc::ATTRIB_TYPE_POINT2: return kAttribute.GetValue_Point2(afValue) && Floats(2);
    case NSBAttributeDesc::ATTRIB_TYPE_POINT3: return kAttribute.GetValue_Point3(afValue) && Floats(3);
    case NSBAttributeDesc::ATTRIB_TYPE_POINT4: return kAttribute.GetValue_Point4(afValue) && Floats(4);
    case NSBAttributeDesc::ATTRIB_TYPE_MATRIX3: return kAttribute.GetValue_Matrix3(afValue) && Floats(9);
    case NSBAttributeDesc::ATTRIB_TYPE_MATRIX4: return kAttribute.GetValue_Matrix4(afValue) && Floats(16);
    case NSBAttributeDesc::ATTRIB_TYPE_COLOR: return kAttribute.GetValue_Color(afValue) && Floats(4);
    default:
        // No value: an empty entry.
        kValue.m_pvData = nullptr;
        return true;
    }
}
} // namespace

bool NSBConstantMap::ConvertEntry(NiD3DShaderConstantMap& kMap, const Entry& kEntry, const NiShaderDesc* pkDesc,
                                  bool bPixel)
{
    const char* pcKey = kEntry.GetKey();
    switch (kEntry.GetMappingKind())
    {
    case Entry::SCME_MAP_GLOBAL:
    {
        // The renderer map releases one use of the global block per global
        // entry it holds, so it may only hold one it took a use of.
        if (!NiD3DShaderFactory::AddGlobalData(pcKey, kEntry.GetValueType(), kEntry.GetDataSize(),
                                               kEntry.GetDataSource()))
            return false;
        NiD3DGlobalDataEntry* pkGlobal = NiD3DShaderFactory::GetGlobalDataEntry(pcKey);
        const std::uint32_t uiResult =
            pkGlobal == nullptr ? NiD3DShaderConstantMap::SCM_FAIL
                                : kMap.AddEntry(pcKey, kEntry.GetFlags(), 0, kEntry.GetShaderRegister(),
                                                kEntry.GetRegisterCount(), kEntry.GetVariableName(),
                                                kEntry.GetDataSize(), kEntry.GetDataSize(), pkGlobal->GetData(), false);
        if (uiResult != NiD3DShaderConstantMap::SCM_OK)
        {
            NiD3DShaderFactory::ReleaseGlobalData(pcKey);
            return false;
        }
        return true;
    }
    case Entry::SCME_MAP_ATTRIBUTE:
    {
        const NSBAttributeDesc* pkAttribute = pkDesc != nullptr ? pkDesc->GetAttribute(pcKey) : nullptr;
        AttributeValue kValue;
        if (pkAttribute == nullptr || !ReadAttributeValue(*pkAttribute, kValue))
            return false;
        return kMap.AddEntry(pcKey, kEntry.GetFlags(), bPixel ? 0 : kEntry.GetExtra(), kEntry.GetShaderRegister(),
                             kEntry.GetRegisterCount(), kEntry.GetVariableName(), kValue.m_uiSize,
                             kValue.m_uiStride, kValue.m_pvData, true) == NiD3DShaderConstantMap::SCM_OK;
    }
    default:
        return kMap.AddEntry(pcKey, kEntry.GetFlags(), kEntry.GetExtra(), kEntry.GetShaderRegister(),
                             kEntry.GetRegisterCount(), kEntry.GetVariableName(), kEntry.GetDataSize(),
                             kEntry.GetDataStride(), kEntry.GetDataSource(), false) == NiD3DShaderConstantMap::SCM_OK;
    }
}

void NSBConstantMap::ConvertLists(NiD3DShaderConstantMap& kMap, const NiShaderDesc* pkDesc, bool bPixel,
                                  const char* pcCaller) const
{
    for (List eList : {LIST_COMMON, LIST_DX9})
    {
        for (const NiD3DShaderConstantMapEntryPtr& spEntry : m_akLists[eList])
        {
            if (!ConvertEntry(kMap, *spEntry, pkDesc, bPixel))
            {
                const char* pcKey = spEntry->GetKey();
                NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                             "* ERROR: %s\n    Failed processing of entry %s\n", pcCaller,
                                             pcKey ? pcKey : "");
            }
        }
    }
}

NiD3DPixelShaderConstantMap* NSBConstantMap::GetD3DSCM_Pixel(NiDX9Renderer* pkRenderer, const NiShaderDesc* pkDesc)
{
    if (pkRenderer == nullptr || m_uiProgramType != PROGRAM_PIXEL)
        return nullptr;
    if (GetListCount(LIST_COMMON) + GetListCount(LIST_DX8) + GetListCount(LIST_DX9) + GetListCount(LIST_XBOX) == 0)
        return nullptr;
    auto* pkMap = new NiD3DPixelShaderConstantMap(pkRenderer);
    ConvertLists(*pkMap, pkDesc, true, "NSBConstantMap::GetD3DSCM_Pixel");
    return pkMap;
}

NiD3DVertexShaderConstantMap* NSBConstantMap::GetD3DSCM_Vertex(NiDX9Renderer* pkRenderer,
                                                               const NiShaderDesc* pkDesc)
{
    if (pkRenderer == nullptr || m_uiProgramType != PROGRAM_VERTEX)
        return nullptr;
    if (GetListCount(LIST_COMMON) + GetListCount(LIST_DX8) + GetListCount(LIST_DX9) + GetListCount(LIST_XBOX) == 0)
        return nullptr;
    auto* pkMap = new NiD3DVertexShaderConstantMap(pkRenderer);
    ConvertLists(*pkMap, pkDesc, false, "NSBConstantMap::GetD3DSCM_Vertex");
    return pkMap;
}
