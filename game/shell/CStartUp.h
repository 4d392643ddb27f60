#pragma once

#include <cstdint>

// The launcher that lets the player choose the display. For now it asks
// nothing: the first adapter in its first mode.
class CStartUp
{
public:
    CStartUp() = default;
    virtual ~CStartUp() = default;

    // False when the player leaves instead.
    bool Run(std::int32_t& iAdapter, std::int32_t& iMode)
    {
        iAdapter = 0;
        iMode = 0;
        return true;
    }
};
