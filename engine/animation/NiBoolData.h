#pragma once

#include "engine/animation/NiKeyData.h"

#include <cstdint>

// Bool keys: visibility. Old files name it "NiVisData".
class NiBoolData : public NiKeyData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoolData)

public:
    NiBoolData() : NiKeyData(NI_BOOLKEY) {}
    ~NiBoolData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    [[nodiscard]] static constexpr std::uint32_t GetKeyContent() { return NI_BOOLKEY; }

    // A copy holding the keys of [begin, end], times counted from begin.
    [[nodiscard]] NiRefPtr<NiBoolData> GetSequenceData(float fBegin, float fEnd);
};

using NiBoolDataPtr = NiRefPtr<NiBoolData>;
