#pragma once

#include "engine/animation/NiAnimKey.h"
#include "engine/animation/NiInterpolator.h"

#include <cstdint>

// An interpolator whose values come from key arrays (channels); a channel
// without keys may hold a constant pose value instead.
class NiKeyBasedInterpolator : public NiInterpolator
{
    NiDeclareTypeInfo()

public:
    [[nodiscard]] virtual std::uint16_t GetKeyChannelCount() const = 0;
    [[nodiscard]] virtual std::uint32_t GetKeyCount(std::uint16_t usChannel) const = 0;
    [[nodiscard]] virtual std::uint32_t GetKeyType(std::uint16_t usChannel) const = 0;
    [[nodiscard]] virtual std::uint32_t GetKeyContent(std::uint16_t usChannel) const = 0;
    [[nodiscard]] virtual NiAnimKey* GetKeyArray(std::uint16_t usChannel) const = 0;
    [[nodiscard]] virtual std::uint8_t GetKeyStride(std::uint16_t usChannel) const = 0;
    [[nodiscard]] virtual bool GetChannelPosed(std::uint16_t usChannel) const = 0;

    // Earliest first key and latest last key over all channels (Euler keys
    // by their axis channels); (0, 0) without keys.
    void GetActiveTimeRange(float& fBegin, float& fEnd) const override;

protected:
    NiKeyBasedInterpolator() = default;
};
