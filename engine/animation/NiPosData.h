#pragma once

#include "engine/animation/NiKeyData.h"

#include <cstdint>

// Point keys: positions, colours given as points, path keys.
class NiPosData : public NiKeyData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPosData)

public:
    NiPosData() : NiKeyData(NI_POSKEY) {}
    ~NiPosData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_POSKEY; }

    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiPosData> GetSequenceData(float fBegin, float fEnd);
};

using NiPosDataPtr = NiRefPtr<NiPosData>;
