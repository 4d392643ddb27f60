#include "engine/shaders/nsb/NSBRequirements.h"

#include "engine/shaders/nsb/NSBStream.h"

bool NSBRequirements::SaveBinary(NiByteStream& kStream) const
{
    const std::uint32_t auiWords[12] = {m_uiPSVersion,
                                        m_uiVSVersion,
                                        m_uiUserVersion,
                                        m_uiPlatformFlags,
                                        m_bUsesNiRenderState ? 1u : 0u,
                                        m_bUsesNiLightState ? 1u : 0u,
                                        m_uiBonesPerPartition,
                                        m_uiBoneMatrixRegisters,
                                        m_uiBoneCalcMethod,
                                        m_uiBinormalTangentMethod,
                                        m_bSoftwareVPFallback ? 1u : 0u,
                                        m_bSoftwareVPRequired ? 1u : 0u};
    return NSBStream::WriteU32Array(kStream, auiWords, 12);
}

bool NSBRequirements::LoadBinary(NiByteStream& kStream)
{
    if (!NSBStream::ReadU32(kStream, m_uiPSVersion) || !NSBStream::ReadU32(kStream, m_uiVSVersion) ||
        !NSBStream::ReadU32(kStream, m_uiUserVersion) || !NSBStream::ReadU32(kStream, m_uiPlatformFlags) ||
        !NSBStream::ReadBool(kStream, m_bUsesNiRenderState) || !NSBStream::ReadBool(kStream, m_bUsesNiLightState) ||
        !NSBStream::ReadU32(kStream, m_uiBonesPerPartition) ||
        !NSBStream::ReadU32(kStream, m_uiBoneMatrixRegisters) || !NSBStream::ReadU32(kStream, m_uiBoneCalcMethod) ||
        !NSBStream::ReadU32(kStream, m_uiBinormalTangentMethod))
        return false;
    if (NSBStream::GetCurrentVersion() < NSBStream::VERSION_1_7)
        return true;
    return NSBStream::ReadBool(kStream, m_bSoftwareVPFallback) && NSBStream::ReadBool(kStream, m_bSoftwareVPRequired);
}
