#pragma once

#include "engine/animation/NiKeyData.h"

#include <cstdint>

// Colour keys (r, g, b, a).
class NiColorData : public NiKeyData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiColorData)

public:
    NiColorData() : NiKeyData(NI_COLORKEY) {}
    ~NiColorData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_COLORKEY; }

    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiColorData> GetSequenceData(float fBegin, float fEnd);
};

using NiColorDataPtr = NiRefPtr<NiColorData>;
