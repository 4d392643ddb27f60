#pragma once

#include "engine/scene/NiProperty.h"

#include <cstdint>

class NiStencilProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiStencilProperty)

public:
    // The stencil test numbers its functions differently from alpha and
    // depth tests.
    enum TestFunc : std::uint32_t
    {
        TEST_NEVER = 0,
        TEST_LESS,
        TEST_EQUAL,
        TEST_LESSEQUAL,
        TEST_GREATER,
        TEST_NOTEQUAL,
        TEST_GREATEREQUAL,
        TEST_ALWAYS,
    };
    enum Action : std::uint32_t
    {
        ACTION_KEEP = 0,
        ACTION_ZERO,
        ACTION_REPLACE,
        ACTION_INCREMENT,
        ACTION_DECREMENT,
        ACTION_INVERT,
    };
    enum DrawMode : std::uint32_t
    {
        DRAW_CCW_OR_BOTH = 0,
        DRAW_CCW,
        DRAW_CW,
        DRAW_BOTH,
    };

    NiStencilProperty() = default;
    static NiObject* CreateObject() { return new NiStencilProperty; }
    [[nodiscard]] int GetType() const override { return STENCIL; }

    [[nodiscard]] bool GetStencilOn() const { return m_bEnable != 0; }
    void SetStencilOn(bool b) { m_bEnable = b ? 1 : 0; }
    [[nodiscard]] std::uint32_t GetStencilFunction() const { return m_eTest; }
    void SetStencilFunction(std::uint32_t e) { m_eTest = e; }
    [[nodiscard]] std::uint32_t GetStencilReference() const { return m_uiRef; }
    void SetStencilReference(std::uint32_t ui) { m_uiRef = ui; }
    [[nodiscard]] std::uint32_t GetStencilMask() const { return m_uiMask; }
    void SetStencilMask(std::uint32_t ui) { m_uiMask = ui; }
    [[nodiscard]] std::uint32_t GetStencilFailAction() const { return m_eFailAct; }
    void SetStencilFailAction(std::uint32_t e) { m_eFailAct = e; }
    [[nodiscard]] std::uint32_t GetStencilPassZFailAction() const { return m_eZFailAct; }
    void SetStencilPassZFailAction(std::uint32_t e) { m_eZFailAct = e; }
    [[nodiscard]] std::uint32_t GetStencilPassAction() const { return m_ePassAct; }
    void SetStencilPassAction(std::uint32_t e) { m_ePassAct = e; }
    [[nodiscard]] std::uint32_t GetDrawMode() const { return m_eDrawMode; }
    void SetDrawMode(std::uint32_t e) { m_eDrawMode = e; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint8_t m_bEnable = 0;
    std::uint32_t m_eTest = TEST_GREATER;
    std::uint32_t m_uiRef = 0;
    std::uint32_t m_uiMask = 0xFFFFFFFF;
    std::uint32_t m_eFailAct = ACTION_KEEP;
    std::uint32_t m_eZFailAct = ACTION_KEEP;
    std::uint32_t m_ePassAct = ACTION_INCREMENT;
    std::uint32_t m_eDrawMode = DRAW_CCW_OR_BOTH;
};
