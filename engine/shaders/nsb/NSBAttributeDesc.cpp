#include "engine/shaders/nsb/NSBAttributeDesc.h"

#include "engine/core/NiEndian.h"
#include "engine/shaders/nsb/NSBStream.h"

std::uint32_t NSBAttributeDesc::ValueWords(std::uint32_t uiType)
{
    switch (uiType)
    {
    case ATTRIB_TYPE_UNSIGNEDINT:
    case ATTRIB_TYPE_FLOAT:
        return 1;
    case ATTRIB_TYPE_POINT2:
        return 2;
    case ATTRIB_TYPE_POINT3:
        return 3;
    case ATTRIB_TYPE_POINT4:
    case ATTRIB_TYPE_COLOR:
        return 4;
    case ATTRIB_TYPE_MATRIX3:
        return 9;
    case ATTRIB_TYPE_MATRIX4:
        return 16;
    default:
        return 0;
    }
}

bool NSBAttributeDesc::HasStoredRange(std::uint32_t uiType)
{
    return (uiType >= ATTRIB_TYPE_UNSIGNEDINT && uiType <= ATTRIB_TYPE_POINT4) || uiType == ATTRIB_TYPE_COLOR;
}

void NSBAttributeDesc::SetValue_Bool(bool bValue)
{
    m_uiType = ATTRIB_TYPE_BOOL;
    m_bValue = bValue;
}

void NSBAttributeDesc::SetValue_String(const char* pcValue)
{
    m_uiType = ATTRIB_TYPE_STRING;
    m_kString = pcValue ? pcValue : "";
}

void NSBAttributeDesc::SetValue_UnsignedInt(std::uint32_t uiValue)
{
    m_uiType = ATTRIB_TYPE_UNSIGNEDINT;
    m_auiValue[0] = uiValue;
}

void NSBAttributeDesc::SetFloats(std::uint32_t uiType, const float* pfValue, std::uint32_t uiCount)
{
    m_uiType = uiType;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
        m_auiValue[ui] = NiFloatBits(pfValue[ui]);
}

void NSBAttributeDesc::SetValue_Float(float fValue)
{
    SetFloats(ATTRIB_TYPE_FLOAT, &fValue, 1);
}

void NSBAttributeDesc::SetValue_Point2(const float* pfValue)
{
    SetFloats(ATTRIB_TYPE_POINT2, pfValue, 2);
}

void NSBAttributeDesc::SetValue_Point3(const float* pfValue)
{
    SetFloats(ATTRIB_TYPE_POINT3, pfValue, 3);
}

void NSBAttributeDesc::SetValue_Point4(const float* pfValue)
{
    SetFloats(ATTRIB_TYPE_POINT4, pfValue, 4);
}

void NSBAttributeDesc::SetValue_Matrix3(const float* pfValue)
{
    SetFloats(ATTRIB_TYPE_MATRIX3, pfValue, 9);
}

void NSBAttributeDesc::SetValue_Matrix4(const float* pfValue)
{
    SetFloats(ATTRIB_TYPE_MATRIX4, pfValue, 16);
}

void NSBAttributeDesc::SetValue_Color(const float* pfRGB)
{
    const float afRGBA[4] = {pfRGB[0], pfRGB[1], pfRGB[2], 1.0f};
    SetFloats(ATTRIB_TYPE_COLOR, afRGBA, 4);
}

void NSBAttributeDesc::SetValue_ColorA(const float* pfRGBA)
{
    SetFloats(ATTRIB_TYPE_COLOR, pfRGBA, 4);
}

void NSBAttributeDesc::SetValue_Texture(std::uint32_t uiSlot, const char* pcName)
{
    m_uiType = ATTRIB_TYPE_TEXTURE;
    m_auiValue[0] = uiSlot;
    m_kTextureName = pcName ? pcName : "";
}

bool NSBAttributeDesc::GetValue_Bool(bool& bValue) const
{
    if (m_uiType != ATTRIB_TYPE_BOOL)
        return false;
    bValue = m_bValue;
    return true;
}

bool NSBAttributeDesc::GetValue_String(const char*& pcValue) const
{
    if (m_uiType != ATTRIB_TYPE_STRING)
        return false;
    pcValue = m_kString.empty() ? nullptr : m_kString.c_str();
    return true;
}

bool NSBAttributeDesc::GetValue_UnsignedInt(std::uint32_t& uiValue) const
{
    if (m_uiType != ATTRIB_TYPE_UNSIGNEDINT)
        return false;
    uiValue = m_auiValue[0];
    return true;
}

bool NSBAttributeDesc::GetFloats(std::uint32_t uiType, float* pfValue, std::uint32_t uiCount) const
{
    if (m_uiType != uiType)
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
        pfValue[ui] = NiBitsFloat(m_auiValue[ui]);
    return true;
}

bool NSBAttributeDesc::GetValue_Float(float& fValue) const
{
    return GetFloats(ATTRIB_TYPE_FLOAT, &fValue, 1);
}

bool NSBAttributeDesc::GetValue_Point2(float* pfValue) const
{
    return GetFloats(ATTRIB_TYPE_POINT2, pfValue, 2);
}

bool NSBAttributeDesc::GetValue_Point3(float* pfValue) const
{
    return GetFloats(ATTRIB_TYPE_POINT3, pfValue, 3);
}

bool NSBAttributeDesc::GetValue_Point4(float* pfValue) const
{
    return GetFloats(ATTRIB_TYPE_POINT4, pfValue, 4);
}

bool NSBAttributeDesc::GetValue_Matrix3(float* pfValue) const
{
    return GetFloats(ATTRIB_TYPE_MATRIX3, pfValue, 9);
}

bool NSBAttributeDesc::GetValue_Matrix4(float* pfValue) const
{
    return GetFloats(ATTRIB_TYPE_MATRIX4, pfValue, 16);
}

bool NSBAttributeDesc::GetValue_Color(float* pfRGBA) const
{
    return GetFloats(ATTRIB_TYPE_COLOR, pfRGBA, 4);
}

bool NSBAttributeDesc::GetValue_Texture(std::uint32_t& uiSlot, const char*& pcName) const
{
    if (m_uiType != ATTRIB_TYPE_TEXTURE)
        return false;
    uiSlot = m_auiValue[0];
    pcName = m_kTextureName.empty() ? nullptr : m_kTextureName.c_str();
    return true;
}

bool NSBAttributeDesc::SetRange_UnsignedInt(std::uint32_t uiMin, std::uint32_t uiMax)
{
    if (m_uiType != ATTRIB_TYPE_STRING && m_uiType != ATTRIB_TYPE_UNSIGNEDINT)
        return false;
    m_auiMin[0] = uiMin;
    m_auiMax[0] = uiMax;
    return true;
}

bool NSBAttributeDesc::SetRangeFloats(std::uint32_t uiType, const float* pfMin, const float* pfMax,
                                      std::uint32_t uiCount)
{
    if (m_uiType != uiType)
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        m_auiMin[ui] = NiFloatBits(pfMin[ui]);
        m_auiMax[ui] = NiFloatBits(pfMax[ui]);
    }
    return true;
}

bool NSBAttributeDesc::SetRange_Float(float fMin, float fMax)
{
    return SetRangeFloats(ATTRIB_TYPE_FLOAT, &fMin, &fMax, 1);
}

bool NSBAttributeDesc::SetRange_Point2(const float* pfMin, const float* pfMax)
{
    return SetRangeFloats(ATTRIB_TYPE_POINT2, pfMin, pfMax, 2);
}

bool NSBAttributeDesc::SetRange_Point3(const float* pfMin, const float* pfMax)
{
    return SetRangeFloats(ATTRIB_TYPE_POINT3, pfMin, pfMax, 3);
}

bool NSBAttributeDesc::SetRange_Point4(const float* pfMin, const float* pfMax)
{
    return SetRangeFloats(ATTRIB_TYPE_POINT4, pfMin, pfMax, 4);
}

bool NSBAttributeDesc::SetRange_Color(const float* pfMinRGB, const float* pfMaxRGB)
{
    const float afMin[4] = {pfMinRGB[0], pfMinRGB[1], pfMinRGB[2], 1.0f};
    const float afMax[4] = {pfMaxRGB[0], pfMaxRGB[1], pfMaxRGB[2], 1.0f};
    return SetRangeFloats(ATTRIB_TYPE_COLOR, afMin, afMax, 4);
}

bool NSBAttributeDesc::SetRange_ColorA(const float* pfMin, const float* pfMax)
{
    return SetRangeFloats(ATTRIB_TYPE_COLOR, pfMin, pfMax, 4);
}

bool NSBAttributeDesc::GetRange_UnsignedInt(std::uint32_t& uiMin, std::uint32_t& uiMax) const
{
    if (m_uiType != ATTRIB_TYPE_STRING && m_uiType != ATTRIB_TYPE_UNSIGNEDINT)
        return false;
    uiMin = m_auiMin[0];
    uiMax = m_auiMax[0];
    return true;
}

bool NSBAttributeDesc::GetRangeFloats(std::uint32_t uiType, float* pfMin, float* pfMax, std::uint32_t uiCount) const
{
    if (m_uiType != uiType)
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        pfMin[ui] = NiBitsFloat(m_auiMin[ui]);
        pfMax[ui] = NiBitsFloat(m_auiMax[ui]);
    }
    return true;
}

bool NSBAttributeDesc::GetRange_Float(float& fMin, float& fMax) const
{
    return GetRangeFloats(ATTRIB_TYPE_FLOAT, &fMin, &fMax, 1);
}

bool NSBAttributeDesc::GetRange_Point2(float* pfMin, float* pfMax) const
{
    return GetRangeFloats(ATTRIB_TYPE_POINT2, pfMin, pfMax, 2);
}

bool NSBAttributeDesc::GetRange_Point3(float* pfMin, float* pfMax) const
{
    return GetRangeFloats(ATTRIB_TYPE_POINT3, pfMin, pfMax, 3);
}

bool NSBAttributeDesc::GetRange_Point4(float* pfMin, float* pfMax) const
{
    return GetRangeFloats(ATTRIB_TYPE_POINT4, pfMin, pfMax, 4);
}

bool NSBAttributeDesc::GetRange_Color(float* pfMin, float* pfMax) const
{
    return GetRangeFloats(ATTRIB_TYPE_COLOR, pfMin, pfMax, 4);
}

void NSBAttributeDesc::CopyFrom(const NSBAttributeDesc& kOther)
{
    SetName(kOther.GetName());
    SetDescription(kOther.GetDescription());
    m_uiType = kOther.m_uiType;
    m_uiFlags = kOther.m_uiFlags;
    m_kTextureName.clear();
    if (m_uiType < ATTRIB_TYPE_BOOL || m_uiType > ATTRIB_TYPE_TEXTURE)
        return;
    // Matrices and booleans have no range; the other types copy both.
    m_bValue = kOther.m_bValue;
    m_kString = kOther.m_kString;
    m_kTextureName = kOther.m_kTextureName;
    for (std::uint32_t ui = 0; ui < 16; ++ui)
    {
        m_auiValue[ui] = kOther.m_auiValue[ui];
        m_auiMin[ui] = kOther.m_auiMin[ui];
        m_auiMax[ui] = kOther.m_auiMax[ui];
    }
}

bool NSBAttributeDesc::SaveBinary(NiByteStream& kStream)
{
    if (!NiShaderDescBase::SaveBinary(kStream) || !NSBStream::WriteU32(kStream, m_uiFlags) ||
        !NSBStream::WriteU32(kStream, m_uiType))
        return false;
    const bool bRanged = IsRanged();
    switch (m_uiType)
    {
    case ATTRIB_TYPE_BOOL:
        return NSBStream::WriteBool(kStream, m_bValue);
    case ATTRIB_TYPE_STRING:
        // Only the maximum (the longest length) is stored.
        return NSBStream::WriteString(kStream, m_kString) && (!bRanged || NSBStream::WriteU32(kStream, m_auiMax[0]));
    case ATTRIB_TYPE_TEXTURE:
        return NSBStream::WriteU32(kStream, m_auiValue[0]) && NSBStream::WriteString(kStream, m_kTextureName);
    default:
        break;
    }
    const std::uint32_t uiWords = ValueWords(m_uiType);
    if (!NSBStream::WriteU32Array(kStream, m_auiValue, uiWords))
        return false;
    if (bRanged && HasStoredRange(m_uiType))
        return NSBStream::WriteU32Array(kStream, m_auiMin, uiWords) && NSBStream::WriteU32Array(kStream, m_auiMax, uiWords);
    return true;
}

bool NSBAttributeDesc::LoadBinary(NiByteStream& kStream)
{
    if (!NiShaderDescBase::LoadBinary(kStream) || !NSBStream::ReadU32(kStream, m_uiFlags) ||
        !NSBStream::ReadU32(kStream, m_uiType))
        return false;
    const bool bRanged = IsRanged();
    switch (m_uiType)
    {
    case ATTRIB_TYPE_BOOL:
        return NSBStream::ReadBool(kStream, m_bValue);
    case ATTRIB_TYPE_STRING:
        return NSBStream::ReadString(kStream, m_kString) && (!bRanged || NSBStream::ReadU32(kStream, m_auiMax[0]));
    case ATTRIB_TYPE_TEXTURE:
        return NSBStream::ReadU32(kStream, m_auiValue[0]) && NSBStream::ReadString(kStream, m_kTextureName);
    default:
        break;
    }
    const std::uint32_t uiWords = ValueWords(m_uiType);
    if (!NSBStream::ReadU32Array(kStream, m_auiValue, uiWords))
        return false;
    if (bRanged && HasStoredRange(m_uiType))
        return NSBStream::ReadU32Array(kStream, m_auiMin, uiWords) && NSBStream::ReadU32Array(kStream, m_auiMax, uiWords);
    return true;
}
