#pragma once

#include "engine/scene/NiProperty.h"

#include <cstdint>

class NiZBufferProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiZBufferProperty)

public:
    // The same numbering as the alpha test's functions.
    enum TestFunction : std::uint32_t
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

    NiZBufferProperty() = default;
    static NiObject* CreateObject() { return new NiZBufferProperty; }
    [[nodiscard]] int GetType() const override { return ZBUFFER; }

    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t u) { m_uFlags = u; }
    [[nodiscard]] bool GetZBufferTest() const { return (m_uFlags & 1) != 0; }
    void SetZBufferTest(bool b) { m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~1u) | (b ? 1u : 0u)); }
    [[nodiscard]] bool GetZBufferWrite() const { return (m_uFlags & 2) != 0; }
    void SetZBufferWrite(bool b) { m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~2u) | (b ? 2u : 0u)); }
    [[nodiscard]] std::uint32_t GetTestFunction() const { return m_eTest; }
    void SetTestFunction(std::uint32_t e) { m_eTest = e; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_uFlags = 3;
    std::uint32_t m_eTest = TEST_LESSEQUAL;
};
