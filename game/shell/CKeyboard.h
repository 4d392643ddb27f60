#pragma once

#include "framework/COrvaneKeyboard.h"

#include <functional>

// The game's keyboard: the framework's camera keys, blocked while the game
// says so, and the game's own key handlers.
class CKeyboard : public CZelmarKeyboard
{
public:
    using Handler = std::function<void(const COrvaneKeyEvent&)>;
    using BlockTest = std::function<bool()>;

    // False without both handlers.
    bool SetCallbacks(Handler kOnKey, Handler kOnKeyUp);
    void SetBlockTest(BlockTest kTest) { m_kBlockTest = std::move(kTest); }
    bool OnKeyDown(const COrvaneKeyEvent& kEvent) override;
    bool OnKeyUp(const COrvaneKeyEvent& kEvent) override;
    [[nodiscard]] bool IsInputBlocked() const override { return m_kBlockTest && m_kBlockTest(); }

private:
    Handler m_kOnKey;
    Handler m_kOnKeyUp;
    BlockTest m_kBlockTest;
};
