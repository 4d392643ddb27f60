#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// A value kept at run time only: it reports the base class's record, so a
// save writes it as a plain named entry without the value.
class NiUIntExtraData : public NiExtraData
{
public:
    NiUIntExtraData(const char* pcName, std::uint32_t uiValue) : NiExtraData(pcName), m_uiValue(uiValue) {}

    [[nodiscard]] std::uint32_t GetValue() const { return m_uiValue; }
    void SetValue(std::uint32_t uiValue) { m_uiValue = uiValue; }

private:
    std::uint32_t m_uiValue;
};
