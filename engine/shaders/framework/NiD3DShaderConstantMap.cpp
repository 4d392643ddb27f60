#include "engine/shaders/framework/NiD3DShaderConstantMap.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSCMExtraData.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "engine/shaders/framework/NiD3DShader.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilMath.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace
{
using Entry = NiD3DShaderConstantMapEntry;

// Values are widened here and consumed by the program before the next
// entry is formed: whole registers, so a program never reads past them.
std::uint32_t s_auiScratch[16];
// Operand slots and results of operator entries.
float s_afResultVector[16];
gfx::D3DMATRIX s_kResultMatrix;

bool EqualNoCase(const char* pcA, const char* pcB)
{
    for (;; ++pcA, ++pcB)
    {
        unsigned char a = static_cast<unsigned char>(*pcA);
        unsigned char b = static_cast<unsigned char>(*pcB);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b)
            return false;
        if (a == 0)
            return true;
    }
}

std::uint32_t Word(const void* pvData, std::uint32_t uiOffset)
{
    std::uint32_t ui;
    std::memcpy(&ui, static_cast<const std::uint8_t*>(pvData) + uiOffset, 4);
    return ui;
}

float AsFloat(std::uint32_t ui) { return std::bit_cast<float>(ui); }
std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Three rows of three into four rows of four: zero fourth column, zero
// fourth row.
void Rows3To16(const std::uint32_t* puiNine, std::uint32_t* puiOut)
{
    for (int iRow = 0; iRow < 3; ++iRow)
    {
        for (int iCol = 0; iCol < 3; ++iCol)
            puiOut[iRow * 4 + iCol] = puiNine[iRow * 3 + iCol];
        puiOut[iRow * 4 + 3] = 0;
    }
    for (int i = 12; i < 16; ++i)
        puiOut[i] = 0;
}

bool IsConvertibleType(std::uint32_t uiType)
{
    return uiType == Entry::SCME_TYPE_BOOL ||
           (uiType >= Entry::SCME_TYPE_UNSIGNEDINT && uiType <= Entry::SCME_TYPE_COLOR);
}
} // namespace

NiD3DShaderConstantMap::NiD3DShaderConstantMap(NiDX9Renderer* pkRenderer) { SetRenderer(pkRenderer); }

NiD3DShaderConstantMap::~NiD3DShaderConstantMap()
{
    for (const NiD3DShaderConstantMapEntryPtr& spEntry : m_kEntries)
    {
        if (spEntry != nullptr && spEntry->IsGlobal())
            NiD3DShaderFactory::ReleaseGlobalData(spEntry->GetKey());
    }
    m_kEntries.clear();
    SetRenderer(nullptr);
}

void NiD3DShaderConstantMap::SetRenderer(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (m_pkD3DDevice != nullptr)
        m_pkD3DDevice->Release();
    m_pkD3DDevice = pkDevice;
    m_pkRenderer = pkRenderer;
    m_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
}

std::uint32_t NiD3DShaderConstantMap::AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                               std::uint32_t uiRegister, std::uint32_t uiCount,
                                               const char* pcVariable, std::uint32_t uiDataSize,
                                               std::uint32_t uiDataStride, const void* pvData, bool bCopyData)
{
    m_uiLastError = SCM_OK;
    if (GetEntry(pcKey) != nullptr)
        return m_uiLastError = SCM_ERR_DUPLICATE_ENTRY_KEY;
    switch (uiFlags & Entry::SCME_MAP_MASK)
    {
    case Entry::SCME_MAP_CONSTANT:
        return AddConstantEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, pcVariable, uiDataSize, uiDataStride,
                                pvData, bCopyData);
    case Entry::SCME_MAP_DEFINED: return AddDefinedEntry(pcKey, uiExtra, uiRegister, pcVariable);
    case Entry::SCME_MAP_ATTRIBUTE:
        return AddAttributeEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, pcVariable, uiDataSize,
                                 uiDataStride, pvData, bCopyData);
    case Entry::SCME_MAP_GLOBAL:
        return AddGlobalEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, pcVariable, uiDataSize, uiDataStride,
                              pvData, bCopyData);
    case Entry::SCME_MAP_OPERATOR:
        return AddOperatorEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, pcVariable);
    default: return m_uiLastError = SCM_ERR_INVALID_MAPPING;
    }
}

std::uint32_t NiD3DShaderConstantMap::AddNewEntry(NiD3DShaderConstantMapEntry* pkEntry)
{
    NiD3DShaderConstantMapEntryPtr spEntry = pkEntry; // deleted here when not stored
    return InsertEntry(pkEntry);
}

std::uint32_t NiD3DShaderConstantMap::AddDefinedEntry(const char* pcKey, std::uint32_t uiExtra,
                                                      std::uint32_t uiRegister, const char* pcVariable)
{
    NiD3DShaderConstantMapEntryPtr spEntry = new NiD3DShaderConstantMapEntry;
    spEntry->SetKey(pcKey);
    spEntry->SetFlags(Entry::SCME_MAP_DEFINED);
    spEntry->SetExtra(uiExtra);
    spEntry->SetShaderRegister(uiRegister);
    spEntry->SetVariableName(pcVariable);
    const std::uint32_t uiResult = SetupDefinedEntry(spEntry);
    if (uiResult != SCM_OK)
        return m_uiLastError = uiResult;
    return InsertEntry(spEntry);
}

std::uint32_t NiD3DShaderConstantMap::AddAttributeEntry(const char* pcKey, std::uint32_t uiFlags,
                                                        std::uint32_t uiExtra, std::uint32_t uiRegister,
                                                        std::uint32_t uiCount, const char* pcVariable,
                                                        std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                                        const void* pvData, bool bCopyData)
{
    // Elements are size / stride: a stride of 0 names no element size.
    if (pvData != nullptr && uiDataSize != 0 && uiDataStride == 0)
        return m_uiLastError = SCM_ERR_INVALID_MAPPING;
    NiD3DShaderConstantMapEntry* pkEntry = new NiD3DShaderConstantMapEntry;
    pkEntry->SetKey(pcKey);
    pkEntry->SetFlags((uiFlags & ~Entry::SCME_MAP_MASK) | Entry::SCME_MAP_ATTRIBUTE);
    pkEntry->SetExtra(uiExtra);
    pkEntry->SetShaderRegister(uiRegister);
    pkEntry->SetRegisterCount(uiCount);
    pkEntry->SetVariableName(pcVariable);
    if (pvData != nullptr)
        pkEntry->SetData(uiDataSize, uiDataStride, pvData, bCopyData);
    return AddNewEntry(pkEntry);
}

std::uint32_t NiD3DShaderConstantMap::AddConstantEntry(const char* pcKey, std::uint32_t uiFlags,
                                                       std::uint32_t uiExtra, std::uint32_t uiRegister,
                                                       std::uint32_t uiCount, const char* pcVariable,
                                                       std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                                       const void* pvData, bool bCopyData)
{
    if (pvData != nullptr && uiDataSize != 0 && uiDataStride == 0)
        return m_uiLastError = SCM_ERR_INVALID_MAPPING;
    std::uint32_t uiType = 0;
    switch (uiDataSize)
    {
    case 8: uiType = Entry::SCME_TYPE_POINT2; break;
    case 12: uiType = Entry::SCME_TYPE_POINT3; break;
    case 16: uiType = Entry::SCME_TYPE_POINT4; break;
    case 36: uiType = Entry::SCME_TYPE_MATRIX3; break;
    case 32:
    case 48:
    case 64: uiType = Entry::SCME_TYPE_MATRIX4; break;
    default: break;
    }
    NiD3DShaderConstantMapEntry* pkEntry = new NiD3DShaderConstantMapEntry;
    pkEntry->SetKey(pcKey);
    pkEntry->SetFlags((uiFlags & ~Entry::SCME_MAP_MASK) | Entry::SCME_MAP_CONSTANT | uiType);
    pkEntry->SetExtra(uiExtra);
    pkEntry->SetShaderRegister(uiRegister);
    pkEntry->SetRegisterCount(uiCount);
    pkEntry->SetVariableName(pcVariable);
    pkEntry->SetData(uiDataSize, uiDataStride, pvData, bCopyData);
    return AddNewEntry(pkEntry);
}

std::uint32_t NiD3DShaderConstantMap::AddGlobalEntry(const char* pcKey, std::uint32_t uiFlags,
                                                     std::uint32_t uiExtra, std::uint32_t uiRegister,
                                                     std::uint32_t uiCount, const char* pcVariable,
                                                     std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                                     const void* pvData, bool bCopyData)
{
    NiD3DShaderConstantMapEntry* pkEntry = new NiD3DShaderConstantMapEntry;
    pkEntry->SetKey(pcKey);
    pkEntry->SetFlags((uiFlags & ~Entry::SCME_MAP_MASK) | Entry::SCME_MAP_GLOBAL);
    pkEntry->SetExtra(uiExtra);
    pkEntry->SetShaderRegister(uiRegister);
    pkEntry->SetRegisterCount(uiCount);
    pkEntry->SetVariableName(pcVariable);
    pkEntry->SetData(uiDataSize, uiDataStride, pvData, bCopyData);
    return AddNewEntry(pkEntry);
}

std::uint32_t NiD3DShaderConstantMap::AddOperatorEntry(const char* pcKey, std::uint32_t uiFlags,
                                                       std::uint32_t uiExtra, std::uint32_t uiRegister,
                                                       std::uint32_t uiCount, const char* pcVariable)
{
    NiD3DShaderConstantMapEntry* pkEntry = new NiD3DShaderConstantMapEntry;
    pkEntry->SetKey(pcKey);
    pkEntry->SetFlags((uiFlags & ~Entry::SCME_MAP_MASK) | Entry::SCME_MAP_OPERATOR);
    pkEntry->SetExtra(uiExtra);
    pkEntry->SetShaderRegister(uiRegister);
    pkEntry->SetRegisterCount(uiCount);
    pkEntry->SetVariableName(pcVariable);
    return AddNewEntry(pkEntry);
}

std::uint32_t NiD3DShaderConstantMap::InsertEntry(NiD3DShaderConstantMapEntry* pkEntry)
{
    if (pkEntry == nullptr)
        return m_uiLastError = SCM_ERR_FAILED_ADD;
    for (NiD3DShaderConstantMapEntryPtr& spSlot : m_kEntries)
    {
        if (spSlot == nullptr)
        {
            spSlot = pkEntry;
            return m_uiLastError = SCM_OK;
        }
    }
    m_kEntries.emplace_back(pkEntry);
    return m_uiLastError = SCM_OK;
}

std::uint32_t NiD3DShaderConstantMap::RemoveEntry(const char* pcKey)
{
    const std::int32_t iIndex = GetEntryIndex(pcKey);
    if (iIndex < 0)
        return m_uiLastError = SCM_ERR_ENTRY_NOT_FOUND;
    m_kEntries[static_cast<std::size_t>(iIndex)] = nullptr;
    return m_uiLastError;
}

NiD3DShaderConstantMapEntry* NiD3DShaderConstantMap::GetEntry(const char* pcKey) const
{
    const std::int32_t iIndex = GetEntryIndex(pcKey);
    return iIndex < 0 ? nullptr : m_kEntries[static_cast<std::size_t>(iIndex)].Get();
}

std::int32_t NiD3DShaderConstantMap::GetEntryIndex(const char* pcKey) const
{
    if (pcKey == nullptr)
        return -1;
    for (std::size_t ui = 0; ui < m_kEntries.size(); ++ui)
    {
        const NiD3DShaderConstantMapEntry* pkEntry = m_kEntries[ui];
        if (pkEntry != nullptr && pkEntry->GetKey() != nullptr && EqualNoCase(pkEntry->GetKey(), pcKey))
            return static_cast<std::int32_t>(ui);
    }
    return -1;
}

NiD3DShaderConstantMapEntry* NiD3DShaderConstantMap::GetEntryAtIndex(std::uint32_t uiIndex) const
{
    return uiIndex < m_kEntries.size() ? m_kEntries[uiIndex].Get() : nullptr;
}

void NiD3DShaderConstantMap::ReportFailure(const NiD3DShaderConstantMapEntry* pkEntry, std::uint32_t uiResult)
{
    const char* pcKey = pkEntry->GetKey() != nullptr ? pkEntry->GetKey() : "";
    const std::uint32_t uiKind = pkEntry->GetMappingKind();
    if (uiKind < Entry::SCME_MAP_CONSTANT || uiKind > Entry::SCME_MAP_OPERATOR)
        uiResult = SCM_ERR_INVALID_MAPPING;
    switch (uiResult)
    {
    case SCM_ERR_ENTRY_NOT_FOUND:
        NiD3DUtility::Log("NiD3DShaderConstantMap::SetShaderConstants - Constant %s has unknown entry 0x%8x\n",
                          pcKey, pkEntry->GetInternal());
        break;
    case SCM_ERR_INVALID_MAPPING:
        NiD3DUtility::Log("NiD3DShaderConstantMap::SetShaderConstants - Constant %s has invalid mapping 0x%8x\n",
                          pcKey, uiKind);
        break;
    case SCM_ERR_FAILED_SET:
        NiD3DUtility::Log("NiD3DShaderConstantMap::SetShaderConstants - Constant %s failed to be set\n", pcKey);
        break;
    default:
        NiD3DUtility::Log(
            "NiD3DShaderConstantMap::SetShaderConstants - Constant %s failed to be set with unknown error\n", pcKey);
        break;
    }
}

std::uint32_t NiD3DShaderConstantMap::SetShaderConstants(NiD3DShaderProgram* pkProgram, NiGeometry* pkGeometry,
                                                         const NiSkinInstance* pkSkin, const Partition* pkPartition,
                                                         NiDX9GeometryBufferData* pkBuffers,
                                                         const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                                         const NiXform& kWorld, const NiBoundSphere& kBound,
                                                         std::uint32_t uiPass, bool bShaderLevel)
{
    m_pkCurrentProgram = pkProgram;
    NiSCMExtraData* pkRecords = nullptr;
    if (pkGeometry != nullptr)
        pkRecords = NiDynamicCast<NiSCMExtraData>(pkGeometry->GetExtraData(NiD3DShader::SCM_EXTRA_DATA));
    std::uint32_t uiReturn = SCM_OK;
    for (std::uint32_t ui = 0; ui < m_kEntries.size(); ++ui)
    {
        NiD3DShaderConstantMapEntry* pkEntry = m_kEntries[ui];
        if (pkEntry == nullptr)
            continue;
        // Entries without a destination only serve operator entries.
        if (pkEntry->GetShaderRegister() == Entry::SCME_NO_REGISTER && pkEntry->GetVariableName() == nullptr)
            continue;
        m_uiCurrentIndex = ui;
        std::uint32_t uiResult = SCM_OK;
        switch (pkEntry->GetMappingKind())
        {
        case Entry::SCME_MAP_DEFINED:
            uiResult = SetDefinedConstant(pkProgram, pkEntry, pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                          pkEffects, kWorld, kBound, uiPass);
            break;
        case Entry::SCME_MAP_CONSTANT: uiResult = SetConstantConstant(pkProgram, pkEntry, uiPass); break;
        case Entry::SCME_MAP_ATTRIBUTE:
            uiResult = SetAttributeConstant(pkProgram, pkEntry, pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                            pkEffects, kWorld, kBound, uiPass, bShaderLevel, pkRecords);
            break;
        case Entry::SCME_MAP_GLOBAL: uiResult = SetGlobalConstant(pkProgram, pkEntry, uiPass); break;
        case Entry::SCME_MAP_OPERATOR:
            uiResult =
                SetOperatorConstant(pkProgram, pkEntry, pkGeometry, pkSkin, pkState, kWorld, kBound, uiPass);
            break;
        default: uiResult = SCM_ERR_INVALID_MAPPING; break;
        }
        if (uiResult != SCM_OK)
        {
            uiReturn = SCM_FAIL;
            ReportFailure(pkEntry, uiResult);
        }
    }
    return uiReturn;
}

std::uint32_t NiD3DShaderConstantMap::WidenConstant(const NiD3DShaderConstantMapEntry* pkEntry,
                                                    std::uint32_t* puiOut, std::uint32_t& uiWords)
{
    uiWords = 0;
    const void* pvData = pkEntry->GetDataSource();
    const std::uint32_t uiSize = pkEntry->GetDataSize();
    const std::uint32_t uiStride = pkEntry->GetDataStride();
    const std::uint32_t uiType = pkEntry->GetValueType();
    if (pvData == nullptr || uiSize == 0 || uiStride == 0)
        return 0;
    // A bool of one element may be a single byte.
    if (uiType == Entry::SCME_TYPE_BOOL && uiSize == uiStride)
    {
        puiOut[0] = *static_cast<const std::uint8_t*>(pvData) != 0 ? 1u : 0u;
        uiWords = 1;
        return 1;
    }
    // Every other element is read as a 4-byte value: smaller strides, and
    // types that hold no number, form nothing.
    if (uiStride < 4 || !(uiType == Entry::SCME_TYPE_NONE || IsConvertibleType(uiType)))
        return 0;
    const std::uint32_t uiElements = uiSize / uiStride;
    auto At = [&](std::uint32_t ui) { return Word(pvData, ui * uiStride); };
    const bool bUInt = uiType == Entry::SCME_TYPE_UNSIGNEDINT;
    switch (uiElements)
    {
    case 1:
        for (int i = 0; i < 4; ++i)
            puiOut[i] = At(0);
        uiWords = 4;
        break;
    case 2:
        puiOut[0] = puiOut[2] = At(0);
        puiOut[1] = puiOut[3] = At(1);
        uiWords = 4;
        break;
    case 3:
        for (std::uint32_t ui = 0; ui < 3; ++ui)
            puiOut[ui] = At(ui);
        puiOut[3] = bUInt ? 1u : Bits(1.0f);
        uiWords = 4;
        break;
    case 4:
    case 16:
        for (std::uint32_t ui = 0; ui < uiElements; ++ui)
            puiOut[ui] = At(ui);
        uiWords = uiElements;
        break;
    case 8:
    case 12:
        for (std::uint32_t ui = 0; ui < 16; ++ui)
            puiOut[ui] = ui < uiElements ? At(ui) : 0u;
        uiWords = 16;
        break;
    case 9:
    {
        std::uint32_t auiNine[9];
        for (std::uint32_t ui = 0; ui < 9; ++ui)
            auiNine[ui] = At(ui);
        Rows3To16(auiNine, puiOut);
        uiWords = 16;
        break;
    }
    default: return 0;
    }
    if (uiType == Entry::SCME_TYPE_BOOL && uiElements == 1)
    {
        puiOut[0] = At(0) & 0xFF ? 1u : 0u;
        uiWords = 1;
        return 1;
    }
    return uiWords / 4;
}

bool NiD3DShaderConstantMap::ConvertExtraData(const NiD3DShaderConstantMapEntry* pkEntry,
                                              const NiExtraData* pkExtra, std::uint32_t* puiOut,
                                              std::uint32_t& uiWords)
{
    uiWords = 0;
    if (pkExtra == nullptr)
        return false;
    const auto* pkFloats = NiDynamicCast<const NiFloatsExtraData>(pkExtra);
    auto Floats = [&](std::uint32_t uiNeeded) {
        return pkFloats != nullptr && pkFloats->GetArray() != nullptr && pkFloats->GetSize() >= uiNeeded;
    };
    switch (pkEntry->GetValueType())
    {
    case Entry::SCME_TYPE_BOOL:
        if (const auto* pk = NiDynamicCast<const NiBooleanExtraData>(pkExtra))
        {
            puiOut[0] = pk->GetValue() ? 1u : 0u;
            uiWords = 1;
            return true;
        }
        return false;
    case Entry::SCME_TYPE_UNSIGNEDINT:
    {
        std::uint32_t uiValue = 0;
        if (const auto* pk = NiDynamicCast<const NiIntegerExtraData>(pkExtra))
            uiValue = static_cast<std::uint32_t>(pk->GetValue());
        // Its type record is the base's: only the C++ class tells it apart.
        else if (const auto* pkU = dynamic_cast<const NiUIntExtraData*>(pkExtra))
            uiValue = pkU->GetValue();
        else
            return false;
        for (int i = 0; i < 4; ++i)
            puiOut[i] = uiValue;
        uiWords = 4;
        return true;
    }
    case Entry::SCME_TYPE_FLOAT:
        if (const auto* pk = NiDynamicCast<const NiFloatExtraData>(pkExtra))
        {
            for (int i = 0; i < 4; ++i)
                puiOut[i] = Bits(pk->GetValue());
            uiWords = 4;
            return true;
        }
        return false;
    case Entry::SCME_TYPE_POINT2:
        if (!Floats(2))
            return false;
        puiOut[0] = puiOut[2] = Bits(pkFloats->GetArray()[0]);
        puiOut[1] = puiOut[3] = Bits(pkFloats->GetArray()[1]);
        uiWords = 4;
        return true;
    case Entry::SCME_TYPE_POINT3:
        if (!Floats(3))
            return false;
        for (int i = 0; i < 3; ++i)
            puiOut[i] = Bits(pkFloats->GetArray()[i]);
        puiOut[3] = Bits(1.0f);
        uiWords = 4;
        return true;
    case Entry::SCME_TYPE_POINT4:
        if (const auto* pk = NiDynamicCast<const NiVectorExtraData>(pkExtra))
        {
            for (int i = 0; i < 4; ++i)
                puiOut[i] = Bits(pk->GetValue()[i]);
            uiWords = 4;
            return true;
        }
        if (!Floats(4))
            return false;
        for (int i = 0; i < 4; ++i)
            puiOut[i] = Bits(pkFloats->GetArray()[i]);
        uiWords = 4;
        return true;
    case Entry::SCME_TYPE_MATRIX3:
    {
        if (!Floats(9))
            return false;
        std::uint32_t auiNine[9];
        for (int i = 0; i < 9; ++i)
            auiNine[i] = Bits(pkFloats->GetArray()[i]);
        Rows3To16(auiNine, puiOut);
        uiWords = 16;
        return true;
    }
    case Entry::SCME_TYPE_MATRIX4:
        if (!Floats(16))
            return false;
        for (int i = 0; i < 16; ++i)
            puiOut[i] = Bits(pkFloats->GetArray()[i]);
        uiWords = 16;
        return true;
    case Entry::SCME_TYPE_COLOR:
        if (const auto* pk = NiDynamicCast<const NiColorExtraData>(pkExtra))
        {
            const NiColorRGBA& kColor = pk->GetValue();
            puiOut[0] = Bits(kColor.r);
            puiOut[1] = Bits(kColor.g);
            puiOut[2] = Bits(kColor.b);
            puiOut[3] = Bits(kColor.a);
            uiWords = 4;
            return true;
        }
        return false;
    default: return false;
    }
}

std::uint32_t NiD3DShaderConstantMap::SetConstantConstant(NiD3DShaderProgram* pkProgram,
                                                          NiD3DShaderConstantMapEntry* pkEntry, std::uint32_t)
{
    std::uint32_t uiWords = 0;
    const std::uint32_t uiRegisters = WidenConstant(pkEntry, s_auiScratch, uiWords);
    if (uiRegisters == 0)
    {
        if (pkEntry->GetDataSource() == nullptr || pkEntry->GetDataSize() == 0)
            return SCM_FAIL;
        // Strings, textures and unreadable strides carry no number: nothing
        // to set, and nothing wrong.
        const std::uint32_t uiType = pkEntry->GetValueType();
        const bool bReadable = (uiType == Entry::SCME_TYPE_NONE || IsConvertibleType(uiType)) &&
                               (pkEntry->GetDataStride() >= 4 ||
                                (uiType == Entry::SCME_TYPE_BOOL && pkEntry->GetDataSize() == pkEntry->GetDataStride()));
        return bReadable ? SCM_FAIL : SCM_OK;
    }
    return SendConstant(pkProgram, pkEntry, s_auiScratch, 0, uiRegisters) ? SCM_OK : SCM_ERR_FAILED_SET;
}

std::uint32_t NiD3DShaderConstantMap::SetGlobalConstant(NiD3DShaderProgram* pkProgram,
                                                        NiD3DShaderConstantMapEntry* pkEntry, std::uint32_t)
{
    const void* pvData = pkEntry->GetDataSource();
    const std::uint32_t uiSize = pvData != nullptr ? pkEntry->GetDataSize() : 0;
    std::uint32_t* puiOut = s_auiScratch;
    const void* pvValues = puiOut;
    std::uint32_t uiRegisters = 1;
    auto Need = [&](std::uint32_t uiBytes) { return uiSize >= uiBytes; };
    switch (pkEntry->GetValueType())
    {
    case Entry::SCME_TYPE_BOOL:
        if (!Need(1))
            return SCM_ERR_ENTRY_NOT_FOUND;
        puiOut[0] = *static_cast<const std::uint8_t*>(pvData);
        break;
    case Entry::SCME_TYPE_UNSIGNEDINT:
    case Entry::SCME_TYPE_FLOAT:
        if (!Need(4))
            return SCM_ERR_ENTRY_NOT_FOUND;
        for (int i = 0; i < 4; ++i)
            puiOut[i] = Word(pvData, 0);
        break;
    case Entry::SCME_TYPE_POINT2:
        if (!Need(8))
            return SCM_ERR_ENTRY_NOT_FOUND;
        puiOut[0] = puiOut[2] = Word(pvData, 0);
        puiOut[1] = puiOut[3] = Word(pvData, 4);
        break;
    case Entry::SCME_TYPE_POINT3:
        if (!Need(12))
            return SCM_ERR_ENTRY_NOT_FOUND;
        for (std::uint32_t ui = 0; ui < 3; ++ui)
            puiOut[ui] = Word(pvData, ui * 4);
        puiOut[3] = Bits(1.0f);
        break;
    case Entry::SCME_TYPE_POINT4:
    case Entry::SCME_TYPE_COLOR:
        if (!Need(16))
            return SCM_ERR_ENTRY_NOT_FOUND;
        for (std::uint32_t ui = 0; ui < 4; ++ui)
            puiOut[ui] = Word(pvData, ui * 4);
        break;
    case Entry::SCME_TYPE_MATRIX3:
    {
        if (!Need(36))
            return SCM_ERR_ENTRY_NOT_FOUND;
        std::uint32_t auiNine[9];
        for (std::uint32_t ui = 0; ui < 9; ++ui)
            auiNine[ui] = Word(pvData, ui * 4);
        Rows3To16(auiNine, puiOut);
        uiRegisters = 4;
        break;
    }
    case Entry::SCME_TYPE_MATRIX4:
        if (!Need(64))
            return SCM_ERR_ENTRY_NOT_FOUND;
        pvValues = pvData;
        uiRegisters = 4;
        break;
    default: return SCM_OK;
    }
    return SendConstant(pkProgram, pkEntry, pvValues, 0, uiRegisters) ? SCM_OK : SCM_ERR_FAILED_SET;
}

std::uint32_t NiD3DShaderConstantMap::SetAttributeConstant(
    NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
    const NiSkinInstance*, const Partition*, NiDX9GeometryBufferData*, const NiPropertySet*, const NiEffectSet*,
    const NiXform&, const NiBoundSphere&, std::uint32_t uiPass, bool bShaderLevel, NiSCMExtraData* pkRecords)
{
    if (pkGeometry == nullptr)
        return SCM_FAIL;
    const NiExtraData* pkSource = nullptr;
    if (pkRecords != nullptr)
    {
        const std::uint32_t uiSide = GetSCMSide();
        const std::uint32_t uiCursor = pkRecords->GetCursor(uiSide);
        const NiSCMExtraData::Entry* pkRecord = pkRecords->GetEntry(uiSide, uiCursor);
        if (pkRecord != nullptr && pkRecord->m_uiKey == MakeSCMKey(uiPass, bShaderLevel, m_uiCurrentIndex))
        {
            pkRecords->SetCursor(uiSide, uiCursor + 1);
            pkSource = pkRecord->m_spSource;
        }
    }
    if (pkSource == nullptr)
        pkSource = pkGeometry->GetExtraData(pkEntry->GetKey());

    const std::uint32_t uiType = pkEntry->GetValueType();
    std::uint32_t uiWords = 0;
    std::uint32_t uiRegisters = 0;
    if (pkSource != nullptr)
    {
        if (!IsConvertibleType(uiType))
            return SCM_ERR_INVALID_MAPPING;
        if (ConvertExtraData(pkEntry, pkSource, s_auiScratch, uiWords))
            uiRegisters = uiWords == 1 ? 1 : uiWords / 4;
    }
    // No extra data of the entry's kind: the entry's own value.
    if (uiRegisters == 0)
        uiRegisters = WidenConstant(pkEntry, s_auiScratch, uiWords);
    if (uiRegisters == 0)
        return SCM_ERR_ENTRY_NOT_FOUND;
    std::uint32_t uiCount = 0;
    if (uiType == Entry::SCME_TYPE_MATRIX4)
        uiCount = 4;
    else if (uiType == Entry::SCME_TYPE_MATRIX3)
        uiCount = 3;
    else if (!IsConvertibleType(uiType) && uiType != Entry::SCME_TYPE_NONE)
        return SCM_OK;
    return SendConstant(pkProgram, pkEntry, s_auiScratch, uiCount, uiRegisters) ? SCM_OK : SCM_ERR_FAILED_SET;
}

std::uint32_t NiD3DShaderConstantMap::GetAttributeEntryCount() const
{
    std::uint32_t uiCount = 0;
    for (const NiD3DShaderConstantMapEntryPtr& spEntry : m_kEntries)
    {
        if (spEntry != nullptr && spEntry->IsAttribute() &&
            (spEntry->GetShaderRegister() != Entry::SCME_NO_REGISTER || spEntry->GetVariableName() != nullptr))
            ++uiCount;
    }
    return uiCount;
}

void NiD3DShaderConstantMap::AppendSCMRecords(NiSCMExtraData* pkRecords, NiGeometry* pkGeometry,
                                              std::uint32_t uiPass, bool bShaderLevel) const
{
    if (pkRecords == nullptr || pkGeometry == nullptr)
        return;
    for (std::uint32_t ui = 0; ui < m_kEntries.size(); ++ui)
    {
        const NiD3DShaderConstantMapEntry* pkEntry = m_kEntries[ui];
        if (pkEntry == nullptr || !pkEntry->IsAttribute() ||
            (pkEntry->GetShaderRegister() == Entry::SCME_NO_REGISTER && pkEntry->GetVariableName() == nullptr))
            continue;
        if (NiExtraData* pkExtra = pkGeometry->GetExtraData(pkEntry->GetKey()))
            pkRecords->AddEntry(GetSCMSide(), MakeSCMKey(uiPass, bShaderLevel, ui), pkExtra);
    }
}

void NiD3DShaderConstantMap::ResetSCMCursors(NiSCMExtraData* pkRecords, std::uint32_t uiPass)
{
    if (pkRecords == nullptr)
        return;
    for (std::uint32_t uiSide = 0; uiSide < 2; ++uiSide)
    {
        std::uint32_t uiFirst = 0;
        const std::uint32_t uiCount = pkRecords->GetCount(uiSide);
        while (uiFirst < uiCount && (pkRecords->GetEntry(uiSide, uiFirst)->m_uiKey >> 17) != (uiPass & 0x7FFF))
            ++uiFirst;
        pkRecords->SetCursor(uiSide, uiFirst);
    }
}

void NiD3DShaderConstantMap::FillOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                                         const NiSkinInstance* pkSkin, const NiPropertySet* pkState, Operand& kSlot)
{
    kSlot = Operand{};
    std::uint32_t auiWords[16];
    const std::uint32_t* puiValues = nullptr;
    std::uint32_t uiAvailable = 0; // words
    bool bConverted = false;       // matrix3 already in rows of four
    switch (pkEntry->GetMappingKind())
    {
    case Entry::SCME_MAP_DEFINED: FillDefinedOperand(pkEntry, pkGeometry, pkSkin, pkState, kSlot); return;
    case Entry::SCME_MAP_CONSTANT:
    case Entry::SCME_MAP_GLOBAL:
        if (pkEntry->GetDataSource() == nullptr)
            return;
        uiAvailable = pkEntry->GetDataSize() / 4;
        if (uiAvailable > 16)
            uiAvailable = 16;
        std::memcpy(auiWords, pkEntry->GetDataSource(), uiAvailable * 4);
        puiValues = auiWords;
        break;
    case Entry::SCME_MAP_ATTRIBUTE:
        if (pkGeometry == nullptr || !ConvertExtraData(pkEntry, pkGeometry->GetExtraData(pkEntry->GetKey()),
                                                       auiWords, uiAvailable))
            return;
        puiValues = auiWords;
        bConverted = true;
        break;
    default: return;
    }
    const std::uint32_t uiType = pkEntry->GetValueType();
    auto Need = [&](std::uint32_t uiWords) { return uiAvailable >= uiWords; };
    switch (uiType)
    {
    case Entry::SCME_TYPE_UNSIGNEDINT:
        if (!Need(1))
            return;
        kSlot.m_afVector[0] = static_cast<float>(puiValues[0]);
        break;
    case Entry::SCME_TYPE_FLOAT:
        if (!Need(1))
            return;
        kSlot.m_afVector[0] = AsFloat(puiValues[0]);
        break;
    case Entry::SCME_TYPE_POINT2:
    case Entry::SCME_TYPE_POINT3:
    case Entry::SCME_TYPE_POINT4:
    case Entry::SCME_TYPE_COLOR:
    {
        const std::uint32_t uiN = uiType == Entry::SCME_TYPE_POINT2   ? 2
                                  : uiType == Entry::SCME_TYPE_POINT3 ? 3
                                                                      : 4;
        if (!Need(uiN))
            return;
        for (std::uint32_t ui = 0; ui < uiN; ++ui)
            kSlot.m_afVector[ui] = AsFloat(puiValues[ui]);
        break;
    }
    case Entry::SCME_TYPE_MATRIX3:
        if (bConverted)
        {
            for (int i = 0; i < 16; ++i)
                kSlot.m_afMatrix[i] = AsFloat(puiValues[i]);
        }
        else
        {
            if (!Need(9))
                return;
            for (int iRow = 0; iRow < 3; ++iRow)
                for (int iCol = 0; iCol < 3; ++iCol)
                    kSlot.m_afMatrix[iRow * 4 + iCol] = AsFloat(puiValues[iRow * 3 + iCol]);
        }
        kSlot.m_afMatrix[15] = 1.0f;
        break;
    case Entry::SCME_TYPE_MATRIX4:
        if (!Need(16))
            return;
        for (int i = 0; i < 16; ++i)
            kSlot.m_afMatrix[i] = AsFloat(puiValues[i]);
        break;
    default: return;
    }
    kSlot.m_uiType = uiType;
}

std::uint32_t NiD3DShaderConstantMap::SetOperatorConstant(NiD3DShaderProgram* pkProgram,
                                                          NiD3DShaderConstantMapEntry* pkEntry,
                                                          NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                          const NiPropertySet* pkState, const NiXform&,
                                                          const NiBoundSphere&, std::uint32_t)
{
    static Operand s_kA;
    static Operand s_kB;
    const std::uint32_t uiExtra = pkEntry->GetExtra();
    NiD3DShaderConstantMapEntry* pkA = GetEntryAtIndex(uiExtra & 0xFFF);
    NiD3DShaderConstantMapEntry* pkB = GetEntryAtIndex((uiExtra >> 12) & 0xFFF);
    if (pkA == nullptr || pkB == nullptr)
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, false, "Invalid entries in OperatorConstant\n");
        return SCM_FAIL;
    }
    // Cleared each time: a slot never keeps an earlier evaluation's value.
    FillOperand(pkA, pkGeometry, pkSkin, pkState, s_kA);
    FillOperand(pkB, pkGeometry, pkSkin, pkState, s_kB);
    if (s_kA.m_uiType == Entry::SCME_TYPE_NONE || s_kB.m_uiType == Entry::SCME_TYPE_NONE)
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, false,
                                     "Invalid operands in OperatorConstant\n");
        return SCM_FAIL;
    }
    enum Class
    {
        OTHER,
        SCALAR,
        VECTOR,
        MATRIX
    };
    auto ClassOf = [](std::uint32_t uiType) {
        switch (uiType)
        {
        case Entry::SCME_TYPE_UNSIGNEDINT:
        case Entry::SCME_TYPE_FLOAT: return SCALAR;
        case Entry::SCME_TYPE_POINT4:
        case Entry::SCME_TYPE_COLOR: return VECTOR;
        case Entry::SCME_TYPE_MATRIX4: return MATRIX;
        default: return OTHER;
        }
    };
    const Class eA = ClassOf(s_kA.m_uiType);
    const Class eB = ClassOf(s_kB.m_uiType);
    const float* pfA = s_kA.m_afVector;
    const float* pfB = s_kB.m_afVector;
    const float fSA = s_kA.m_afVector[0];
    const float fSB = s_kB.m_afVector[0];
    auto MatA = [&]() {
        gfx::D3DMATRIX k;
        std::memcpy(&k, s_kA.m_afMatrix, sizeof(k));
        return k;
    };
    auto MatB = [&]() {
        gfx::D3DMATRIX k;
        std::memcpy(&k, s_kB.m_afMatrix, sizeof(k));
        return k;
    };
    float* pfR = s_afResultVector;
    bool bMatrix = false;
    bool bDone = true;
    switch (uiExtra >> 28)
    {
    case 1: // multiply
        if (eA == VECTOR && eB == SCALAR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] * fSB;
        else if (eA == VECTOR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] * pfB[i];
        else if ((eA == VECTOR && eB == MATRIX) || (eA == MATRIX && eB == VECTOR))
        {
            const gfx::D3DMATRIX kM = eA == MATRIX ? MatA() : MatB();
            const float* pfV = eA == VECTOR ? pfA : pfB;
            gfx::D3DXVECTOR4 kV{pfV[0], pfV[1], pfV[2], pfV[3]};
            gfx::D3DXVec4Transform(&kV, &kV, &kM);
            pfR[0] = kV.x, pfR[1] = kV.y, pfR[2] = kV.z, pfR[3] = kV.w;
        }
        else if (eA == MATRIX && eB == SCALAR)
        {
            bMatrix = true;
            for (int i = 0; i < 16; ++i)
                (&s_kResultMatrix.m[0][0])[i] = s_kA.m_afMatrix[i] * fSB;
        }
        else if (eA == MATRIX && eB == MATRIX)
        {
            bMatrix = true;
            const gfx::D3DMATRIX kA = MatA(), kB = MatB();
            gfx::D3DXMatrixMultiply(&s_kResultMatrix, &kA, &kB);
        }
        else
            bDone = false;
        break;
    case 2: // divide
        if (eA == VECTOR && eB == SCALAR)
        {
            const float fInv = 1.0f / fSB;
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] * fInv;
        }
        else if (eA == VECTOR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] / pfB[i];
        else if (eA == MATRIX && eB == SCALAR)
        {
            bMatrix = true;
            const float fInv = 1.0f / fSB;
            for (int i = 0; i < 16; ++i)
                (&s_kResultMatrix.m[0][0])[i] = s_kA.m_afMatrix[i] * fInv;
        }
        else
            bDone = false;
        break;
    case 3: // add
        if (eA == SCALAR && eB == SCALAR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] + pfB[i];
        else if (eA == SCALAR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = fSA + pfB[i];
        else if (eA == VECTOR && eB == SCALAR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] + fSB;
        else if (eA == VECTOR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] + pfB[i];
        else
            bDone = false;
        break;
    case 4: // subtract
        if (eA == SCALAR && eB == SCALAR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] - pfB[i];
        else if (eA == SCALAR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = fSA - pfB[i];
        else if (eA == VECTOR && eB == SCALAR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] - fSB;
        else if (eA == VECTOR && eB == VECTOR)
            for (int i = 0; i < 4; ++i)
                pfR[i] = pfA[i] - pfB[i];
        else
            bDone = false;
        break;
    default: bDone = false; break;
    }
    if (!bDone)
        return SCM_FAIL;
    if (!bMatrix)
        return SendConstant(pkProgram, pkEntry, pfR, 0, 1) ? SCM_OK : SCM_ERR_FAILED_SET;
    if ((uiExtra & 0x01000000) != 0 && gfx::D3DXMatrixInverse(&s_kResultMatrix, nullptr, &s_kResultMatrix) == nullptr)
        gfx::D3DXMatrixIdentity(&s_kResultMatrix);
    if ((uiExtra & 0x02000000) != 0)
        gfx::D3DXMatrixTranspose(&s_kResultMatrix, &s_kResultMatrix);
    return SendConstant(pkProgram, pkEntry, &s_kResultMatrix, 0, 4) ? SCM_OK : SCM_ERR_FAILED_SET;
}

bool NiD3DShaderConstantMap::FormTimeValue(const NiGeometry* pkGeometry, std::uint32_t uiWhich, float* pfOut)
{
    const NiExtraData* pkExtra = pkGeometry != nullptr ? pkGeometry->GetExtraData("ZRB_UpdateTime") : nullptr;
    // Only the float class holds a time; another class is no time.
    if (!NiIsExactKindOf(NiFloatExtraData::TypeInfo(), pkExtra))
        return false;
    const float fTime = static_cast<const NiFloatExtraData*>(pkExtra)->GetValue();
    const long double fT = fTime;
    const float fSin = static_cast<float>(std::sin(fT));
    const float fCos = static_cast<float>(std::cos(fT));
    const float fTan = static_cast<float>(std::tan(fT));
    switch (uiWhich)
    {
    case 0: pfOut[0] = pfOut[1] = pfOut[2] = pfOut[3] = fTime; break;
    case 1: pfOut[0] = pfOut[1] = pfOut[2] = pfOut[3] = fSin; break;
    case 2: pfOut[0] = pfOut[1] = pfOut[2] = pfOut[3] = fCos; break;
    case 3: pfOut[0] = pfOut[1] = pfOut[2] = pfOut[3] = fTan; break;
    default:
        pfOut[0] = fTime;
        pfOut[1] = fSin;
        pfOut[2] = fCos;
        pfOut[3] = fTan;
        break;
    }
    return true;
}

bool NiD3DShaderConstantMap::FormMaterialValue(const NiPropertySet* pkState, std::uint32_t uiWhich, float* pfOut)
{
    const auto* pkMaterial =
        pkState != nullptr ? NiDynamicCast<NiMaterialProperty>(pkState->GetProperty(NiProperty::MATERIAL)) : nullptr;
    if (pkMaterial == nullptr)
        return false;
    const NiColorRGB* pkColor = nullptr;
    switch (uiWhich)
    {
    case 0: pkColor = &pkMaterial->GetDiffuseColor(); break;
    case 1: pkColor = &pkMaterial->GetAmbientColor(); break;
    case 2: pkColor = &pkMaterial->GetSpecularColor(); break;
    case 3: pkColor = &pkMaterial->GetEmittance(); break;
    default: pfOut[0] = pfOut[1] = pfOut[2] = pfOut[3] = pkMaterial->GetShineness(); return true;
    }
    pfOut[0] = pkColor->r;
    pfOut[1] = pkColor->g;
    pfOut[2] = pkColor->b;
    pfOut[3] = pkMaterial->GetAlpha();
    return true;
}
