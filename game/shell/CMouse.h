#pragma once

#include "framework/COrvaneMouse.h"

#include <functional>

// The game's mouse: the framework's camera control, a callback the game
// hears every event through, and a per-frame flag.
class CMouse : public CZelmarMouse
{
public:
    using Callback = std::function<void()>;

    // False without a callback.
    bool SetCallback(Callback kCallback);
    bool OnLeftDown(const NiVec2& kPosition) override;
    bool OnRightDown(const NiVec2& kPosition) override;

    // Set by a click in this frame; the game clears it at the start of each.
    bool m_bFrameFlag = false;

private:
    Callback m_kCallback;
};
