#pragma once

#include "engine/animation/NiKeyData.h"

#include <cstdint>

// Float keys: alpha, flip indices, morph weights, extra-data floats.
class NiFloatData : public NiKeyData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatData)

public:
    NiFloatData() : NiKeyData(NI_FLOATKEY) {}
    ~NiFloatData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_FLOATKEY; }

    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiFloatData> GetSequenceData(float fBegin, float fEnd);
};

using NiFloatDataPtr = NiRefPtr<NiFloatData>;
