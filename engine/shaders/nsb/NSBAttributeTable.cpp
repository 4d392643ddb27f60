#include "engine/shaders/nsb/NSBAttributeTable.h"

#include "engine/shaders/nsb/NSBStream.h"

#include <cstring>
#include <strings.h>

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

NSBAttributeDescPtr NSBAttributeTable::BeginCreate(const char* pcName, std::uint32_t uiType, bool bHidden) const
{
    const char* pcWanted = pcName ? pcName : "";
    for (const NSBAttributeDescPtr& spDesc : m_kDescs)
    {
        const char* pcOther = spDesc->GetName();
        if (strcasecmp(pcOther ? pcOther : "", pcWanted) == 0)
            return nullptr;
    }
    NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
    spDesc->SetName(pcName);
    spDesc->SetType(uiType);
    spDesc->SetHidden(bHidden);
    return spDesc;
}

namespace
{
bool AnyNonZero(const float* pf, int iCount)
{
    if (pf == nullptr)
        return false;
    for (int i = 0; i < iCount; ++i)
    {
        // A NaN compares unequal, so it counts as set.
        if (pf[i] != 0.0f)
            return true;
    }
    return false;
}

const float* OrZeros(const float* pf)
{
    static const float s_afZero[4] = {};
    return pf ? pf : s_afZero;
}
} // namespace

bool NSBAttributeTable::AddAttribDesc_Bool(const char* pcName, const char*, bool bHidden, bool bValue)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_BOOL, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Bool(bValue);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_UnsignedInt(const char* pcName, const char*, bool bHidden,
    std::uint32_t uiValue, std::uint32_t uiMin, std::uint32_t uiMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_UNSIGNEDINT, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_UnsignedInt(uiValue);
    if (uiMax != 0)
    {
        spDesc->SetRange_UnsignedInt(uiMin, uiMax);
        spDesc->SetRanged(true);
    }
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Float(const char* pcName, const char*, bool bHidden, float fValue,
    float fMin, float fMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_FLOAT, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Float(fValue);
    if (fMax != 0.0f)
    {
        spDesc->SetRange_Float(fMin, fMax);
        spDesc->SetRanged(true);
    }
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Point2(const char* pcName, const char*, bool bHidden, const float* pfValue,
    const float* pfMin, const float* pfMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_POINT2, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Point2(OrZeros(pfValue));
    const bool bRanged = AnyNonZero(pfMax, 2);
    if (bRanged)
        spDesc->SetRange_Point2(OrZeros(pfMin), pfMax);
    spDesc->SetRanged(bRanged);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Point3(const char* pcName, const char*, bool bHidden, const float* pfValue,
    const float* pfMin, const float* pfMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_POINT3, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Point3(OrZeros(pfValue));
    const bool bRanged = AnyNonZero(pfMax, 3);
    if (bRanged)
        spDesc->SetRange_Point3(OrZeros(pfMin), pfMax);
    spDesc->SetRanged(bRanged);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Point4(const char* pcName, const char*, bool bHidden, const float* pfValue,
    const float* pfMin, const float* pfMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_POINT4, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Point4(OrZeros(pfValue));
    const bool bRanged = AnyNonZero(pfMax, 4);
    if (bRanged)
        spDesc->SetRange_Point4(OrZeros(pfMin), pfMax);
    spDesc->SetRanged(bRanged);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Matrix3(const char* pcName, const char*, bool bHidden, const float* pfValue)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_MATRIX3, bHidden);
    if (!spDesc || pfValue == nullptr)
        return false;
    spDesc->SetValue_Matrix3(pfValue);
    spDesc->SetRanged(false);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Matrix4(const char* pcName, const char*, bool bHidden, const float* pfValue)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_MATRIX4, bHidden);
    if (!spDesc || pfValue == nullptr)
        return false;
    spDesc->SetValue_Matrix4(pfValue);
    spDesc->SetRanged(false);
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Color(const char* pcName, const char*, bool bHidden, const float* pfRGB,
    const float* pfMin, const float* pfMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_COLOR, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Color(OrZeros(pfRGB));
    if (pfMax != nullptr)
    {
        spDesc->SetRange_Color(OrZeros(pfMin), pfMax);
        spDesc->SetRanged(true);
    }
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_ColorA(const char* pcName, const char*, bool bHidden, const float* pfRGBA,
    const float* pfMin, const float* pfMax)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_COLOR, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_ColorA(OrZeros(pfRGBA));
    if (pfMax != nullptr)
    {
        spDesc->SetRange_ColorA(OrZeros(pfMin), pfMax);
        spDesc->SetRanged(true);
    }
    return AddAttribDesc(spDesc.Get());
}

bool NSBAttributeTable::AddAttribDesc_Texture(const char* pcName, const char*, bool bHidden, std::uint32_t uiSlot,
    const char* pcTextureName)
{
    NSBAttributeDescPtr spDesc = BeginCreate(pcName, NSBAttributeDesc::ATTRIB_TYPE_TEXTURE, bHidden);
    if (!spDesc)
        return false;
    spDesc->SetValue_Texture(uiSlot, pcTextureName);
    return AddAttribDesc(spDesc.Get());
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
