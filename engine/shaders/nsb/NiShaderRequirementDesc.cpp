#include "engine/shaders/nsb/NiShaderRequirementDesc.h"

#include "engine/shaders/nsb/NSBStream.h"

std::uint32_t NiShaderRequirementDesc::Widen(std::uint32_t& uiMin, std::uint32_t& uiMax, std::uint32_t uiValue)
{
    if (uiMin > uiValue)
        uiMin = uiValue;
    if (uiMax < uiValue)
        uiMax = uiValue;
    return uiValue;
}

std::uint32_t NiShaderRequirementDesc::AddPixelShaderVersion(std::uint32_t uiVersion)
{
    return Widen(m_uiMinPixelShaderVersion, m_uiMaxPixelShaderVersion, uiVersion);
}

std::uint32_t NiShaderRequirementDesc::AddVertexShaderVersion(std::uint32_t uiVersion)
{
    return Widen(m_uiMinVertexShaderVersion, m_uiMaxVertexShaderVersion, uiVersion);
}

std::uint32_t NiShaderRequirementDesc::AddUserDefinedVersion(std::uint32_t uiVersion)
{
    return Widen(m_uiMinUserVersion, m_uiMaxUserVersion, uiVersion);
}

bool NiShaderRequirementDesc::SaveBinary(NiByteStream& kStream)
{
    if (!NiShaderDescBase::SaveBinary(kStream))
        return false;
    const std::uint32_t auiWords[11] = {
        m_uiMinPixelShaderVersion, m_uiMaxPixelShaderVersion, m_uiMinVertexShaderVersion,
        m_uiMaxVertexShaderVersion, m_uiMinUserVersion,       m_uiMaxUserVersion,
        m_uiPlatformFlags,         m_uiBonesPerPartition,     m_uiBinormalTangentMethod,
        m_bSoftwareVPFallback ? 1u : 0u, m_bSoftwareVPRequired ? 1u : 0u};
    return NSBStream::WriteU32Array(kStream, auiWords, 11);
}

bool NiShaderRequirementDesc::LoadBinary(NiByteStream& kStream)
{
    if (!NiShaderDescBase::LoadBinary(kStream))
        return false;
    std::uint32_t* apuiFields[9] = {&m_uiMinPixelShaderVersion, &m_uiMaxPixelShaderVersion,
                                    &m_uiMinVertexShaderVersion, &m_uiMaxVertexShaderVersion,
                                    &m_uiMinUserVersion,         &m_uiMaxUserVersion,
                                    &m_uiPlatformFlags,          &m_uiBonesPerPartition,
                                    &m_uiBinormalTangentMethod};
    for (std::uint32_t* puiField : apuiFields)
    {
        if (!NSBStream::ReadU32(kStream, *puiField))
            return false;
    }
    return NSBStream::ReadBool(kStream, m_bSoftwareVPFallback) && NSBStream::ReadBool(kStream, m_bSoftwareVPRequired);
}
