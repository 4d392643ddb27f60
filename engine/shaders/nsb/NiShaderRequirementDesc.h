#pragma once

#include "engine/shaders/nsb/NiShaderDescBase.h"

#include <cstdint>

// The requirement summary of a shader, of one implementation of it or of a
// library: three version ranges, the platforms and the skinning needs.
// A fresh range is empty (minimum 0xFFFFFFFF, maximum 0) until the first add.
class NiShaderRequirementDesc : public NiShaderDescBase
{
public:
    // Platform bits.
    static constexpr std::uint32_t PLATFORM_DX8 = 0x1;
    static constexpr std::uint32_t PLATFORM_DX9 = 0x2;
    static constexpr std::uint32_t PLATFORM_XBOX = 0x4;
    static constexpr std::uint32_t PLATFORM_XENON = 0x8;

    NiShaderRequirementDesc() = default;
    ~NiShaderRequirementDesc() override = default;

    [[nodiscard]] virtual std::uint32_t GetMinPixelShaderVersion() const { return m_uiMinPixelShaderVersion; }
    [[nodiscard]] virtual std::uint32_t GetMaxPixelShaderVersion() const { return m_uiMaxPixelShaderVersion; }
    [[nodiscard]] virtual std::uint32_t GetMinVertexShaderVersion() const { return m_uiMinVertexShaderVersion; }
    [[nodiscard]] virtual std::uint32_t GetMaxVertexShaderVersion() const { return m_uiMaxVertexShaderVersion; }
    [[nodiscard]] virtual std::uint32_t GetMinUserDefinedVersion() const { return m_uiMinUserVersion; }
    [[nodiscard]] virtual std::uint32_t GetMaxUserDefinedVersion() const { return m_uiMaxUserVersion; }
    [[nodiscard]] virtual std::uint32_t GetPlatformFlags() const { return m_uiPlatformFlags; }
    [[nodiscard]] virtual bool IsDX8() const { return (m_uiPlatformFlags & PLATFORM_DX8) != 0; }
    [[nodiscard]] virtual bool IsDX9() const { return (m_uiPlatformFlags & PLATFORM_DX9) != 0; }
    [[nodiscard]] virtual bool IsXBox() const { return (m_uiPlatformFlags & PLATFORM_XBOX) != 0; }

    // Widen the range with the value; return it.
    virtual std::uint32_t AddPixelShaderVersion(std::uint32_t uiVersion);
    virtual std::uint32_t AddVertexShaderVersion(std::uint32_t uiVersion);
    virtual std::uint32_t AddUserDefinedVersion(std::uint32_t uiVersion);
    virtual void AddPlatformFlags(std::uint32_t uiFlags) { m_uiPlatformFlags |= uiFlags; }
    virtual void RemovePlatformFlags(std::uint32_t uiFlags) { m_uiPlatformFlags &= ~uiFlags; }
    virtual void SetDX8(bool bOn) { SetPlatformBit(PLATFORM_DX8, bOn); }
    virtual void SetDX9(bool bOn) { SetPlatformBit(PLATFORM_DX9, bOn); }
    virtual void SetXBox(bool bOn) { SetPlatformBit(PLATFORM_XBOX, bOn); }
    virtual void SetBonesPerPartition(std::uint32_t uiBones) { m_uiBonesPerPartition = uiBones; }
    virtual void SetBinormalTangentMethod(std::uint32_t uiMethod) { m_uiBinormalTangentMethod = uiMethod; }
    virtual void SetSoftwareVPFallback(bool bOn) { m_bSoftwareVPFallback = bOn; }
    virtual void SetSoftwareVPRequired(bool bOn) { m_bSoftwareVPRequired = bOn; }

    [[nodiscard]] std::uint32_t GetBonesPerPartition() const { return m_uiBonesPerPartition; }
    [[nodiscard]] std::uint32_t GetBinormalTangentMethod() const { return m_uiBinormalTangentMethod; }
    [[nodiscard]] bool GetSoftwareVPFallback() const { return m_bSoftwareVPFallback; }
    [[nodiscard]] bool GetSoftwareVPRequired() const { return m_bSoftwareVPRequired; }

    // The base record, then eleven words: the six range ends, platforms,
    // bones, binormal-tangent method and the two flags (0/1).
    bool SaveBinary(NiByteStream& kStream) override;
    bool LoadBinary(NiByteStream& kStream) override;

protected:
    void SetPlatformBit(std::uint32_t uiBit, bool bOn)
    {
        if (bOn)
            m_uiPlatformFlags |= uiBit;
        else
            m_uiPlatformFlags &= ~uiBit;
    }
    static std::uint32_t Widen(std::uint32_t& uiMin, std::uint32_t& uiMax, std::uint32_t uiValue);

    std::uint32_t m_uiMinPixelShaderVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxPixelShaderVersion = 0;
    std::uint32_t m_uiMinVertexShaderVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxVertexShaderVersion = 0;
    std::uint32_t m_uiMinUserVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxUserVersion = 0;
    std::uint32_t m_uiPlatformFlags = 0;
    std::uint32_t m_uiBonesPerPartition = 0;
    std::uint32_t m_uiBinormalTangentMethod = 0;
    bool m_bSoftwareVPFallback = false;
    bool m_bSoftwareVPRequired = false;
};

using NiShaderRequirementDescPtr = NiRefPtr<NiShaderRequirementDesc>;
