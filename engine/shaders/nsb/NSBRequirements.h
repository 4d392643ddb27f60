#pragma once

#include <cstdint>

class NiByteStream;

// What an implementation needs of the device and the engine.
class NSBRequirements
{
public:
    [[nodiscard]] std::uint32_t GetPSVersion() const { return m_uiPSVersion; }
    void SetPSVersion(std::uint32_t ui) { m_uiPSVersion = ui; }
    [[nodiscard]] std::uint32_t GetVSVersion() const { return m_uiVSVersion; }
    void SetVSVersion(std::uint32_t ui) { m_uiVSVersion = ui; }
    [[nodiscard]] std::uint32_t GetUserVersion() const { return m_uiUserVersion; }
    void SetUserVersion(std::uint32_t ui) { m_uiUserVersion = ui; }
    [[nodiscard]] std::uint32_t GetPlatformFlags() const { return m_uiPlatformFlags; }
    void SetPlatformFlags(std::uint32_t ui) { m_uiPlatformFlags = ui; }
    [[nodiscard]] bool UsesNiRenderState() const { return m_bUsesNiRenderState; }
    void SetUsesNiRenderState(bool b) { m_bUsesNiRenderState = b; }
    [[nodiscard]] bool UsesNiLightState() const { return m_bUsesNiLightState; }
    void SetUsesNiLightState(bool b) { m_bUsesNiLightState = b; }
    [[nodiscard]] std::uint32_t GetBonesPerPartition() const { return m_uiBonesPerPartition; }
    void SetBonesPerPartition(std::uint32_t ui) { m_uiBonesPerPartition = ui; }
    [[nodiscard]] std::uint32_t GetBoneMatrixRegisters() const { return m_uiBoneMatrixRegisters; }
    void SetBoneMatrixRegisters(std::uint32_t ui) { m_uiBoneMatrixRegisters = ui; }
    [[nodiscard]] std::uint32_t GetBoneCalcMethod() const { return m_uiBoneCalcMethod; }
    void SetBoneCalcMethod(std::uint32_t ui) { m_uiBoneCalcMethod = ui; }
    [[nodiscard]] std::uint32_t GetBinormalTangentMethod() const { return m_uiBinormalTangentMethod; }
    void SetBinormalTangentMethod(std::uint32_t ui) { m_uiBinormalTangentMethod = ui; }
    [[nodiscard]] bool GetSoftwareVPFallback() const { return m_bSoftwareVPFallback; }
    void SetSoftwareVPFallback(bool b) { m_bSoftwareVPFallback = b; }
    [[nodiscard]] bool GetSoftwareVPRequired() const { return m_bSoftwareVPRequired; }
    void SetSoftwareVPRequired(bool b) { m_bSoftwareVPRequired = b; }

    // Ten words; the two software-vertex-processing flags follow from
    // version 0x00010007 on (always written).
    bool SaveBinary(NiByteStream& kStream) const;
    bool LoadBinary(NiByteStream& kStream);

private:
    std::uint32_t m_uiPSVersion = 0;
    std::uint32_t m_uiVSVersion = 0;
    std::uint32_t m_uiUserVersion = 0;
    std::uint32_t m_uiPlatformFlags = 0;
    bool m_bUsesNiRenderState = false;
    bool m_bUsesNiLightState = false;
    std::uint32_t m_uiBonesPerPartition = 0;
    std::uint32_t m_uiBoneMatrixRegisters = 0;
    std::uint32_t m_uiBoneCalcMethod = 0;
    std::uint32_t m_uiBinormalTangentMethod = 0;
    bool m_bSoftwareVPFallback = false;
    bool m_bSoftwareVPRequired = false;
};
