#pragma once

#include "engine/scene/NiProperty.h"

#include <cstdint>

// Alpha blending and alpha testing.
class NiAlphaProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiAlphaProperty)

public:
    enum AlphaFunction : std::uint16_t
    {
        ALPHA_ONE = 0,
        ALPHA_ZERO,
        ALPHA_SRCCOLOR,
        ALPHA_INVSRCCOLOR,
        ALPHA_DESTCOLOR,
        ALPHA_INVDESTCOLOR,
        ALPHA_SRCALPHA,
        ALPHA_INVSRCALPHA,
        ALPHA_DESTALPHA,
        ALPHA_INVDESTALPHA,
        ALPHA_SRCALPHASAT,
    };
    enum TestFunction : std::uint16_t
    {
        TEST_ALWAYS = 0,
        TEST_LESS,
        TEST_EQUAL,
        TEST_LESSEQUAL,
        TEST_GREATER,
        TEST_NOTEQUAL,
        TEST_GREATEREQUAL,
        TEST_NEVER,
    };
    static constexpr std::uint16_t DEFAULT_FLAGS = 236;

    NiAlphaProperty() = default;
    static NiObject* CreateObject() { return new NiAlphaProperty; }
    [[nodiscard]] int GetType() const override { return ALPHA; }

    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t u) { m_uFlags = u; }
    [[nodiscard]] bool GetAlphaBlending() const { return (m_uFlags & 0x0001) != 0; }
    void SetAlphaBlending(bool b) { SetBits(0x0001, 0, b ? 1 : 0); }
    [[nodiscard]] std::uint16_t GetSrcBlendMode() const { return (m_uFlags >> 1) & 0xF; }
    void SetSrcBlendMode(std::uint16_t e) { SetBits(0x001E, 1, e); }
    [[nodiscard]] std::uint16_t GetDestBlendMode() const { return (m_uFlags >> 5) & 0xF; }
    void SetDestBlendMode(std::uint16_t e) { SetBits(0x01E0, 5, e); }
    [[nodiscard]] bool GetAlphaTesting() const { return (m_uFlags & 0x0200) != 0; }
    void SetAlphaTesting(bool b) { SetBits(0x0200, 9, b ? 1 : 0); }
    [[nodiscard]] std::uint16_t GetTestMode() const { return (m_uFlags >> 10) & 0x7; }
    void SetTestMode(std::uint16_t e) { SetBits(0x1C00, 10, e); }
    [[nodiscard]] bool GetNoSorter() const { return (m_uFlags & 0x2000) != 0; }
    void SetNoSorter(bool b) { SetBits(0x2000, 13, b ? 1 : 0); }
    [[nodiscard]] std::uint8_t GetTestRef() const { return m_ucTestRef; }
    void SetTestRef(std::uint8_t uc) { m_ucTestRef = uc; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    void SetBits(std::uint16_t uMask, int iShift, std::uint16_t uValue)
    {
        m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~uMask) | ((uValue << iShift) & uMask));
    }

    std::uint16_t m_uFlags = DEFAULT_FLAGS;
    std::uint8_t m_ucTestRef = 0;
};

using NiAlphaPropertyPtr = NiRefPtr<NiAlphaProperty>;
