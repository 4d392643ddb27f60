#pragma once

#include "engine/animation/NiKeyData.h"

#include <cstdint>

// Rotation keys: quaternions or one Euler key.
class NiRotData : public NiKeyData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiRotData)

public:
    NiRotData() : NiKeyData(NI_ROTKEY) {}
    ~NiRotData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_ROTKEY; }

    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiRotData> GetSequenceData(float fBegin, float fEnd);
};

using NiRotDataPtr = NiRefPtr<NiRotData>;
