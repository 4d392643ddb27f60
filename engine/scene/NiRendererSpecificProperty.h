#pragma once

#include "engine/scene/NiProperty.h"

// Carries a renderer's own state object. Neither streamed nor compared.
class NiRendererSpecificProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiRendererSpecificProperty)

public:
    NiRendererSpecificProperty() = default;
    static NiObject* CreateObject() { return new NiRendererSpecificProperty; }
    [[nodiscard]] int GetType() const override { return REND_SPEC; }

    [[nodiscard]] NiObject* GetRendererData() const { return m_spRendererData; }
    void SetRendererData(NiObject* pkData) { m_spRendererData = pkData; }

private:
    // Counted: a clone of a class without its own clone is the object
    // itself, so the property and its clone may share it.
    NiObjectPtr m_spRendererData;
};
