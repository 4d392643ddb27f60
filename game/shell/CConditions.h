#pragma once

#include <cstdint>

class CLocale;

// The scenario's goal and failure conditions. For now there are none: both
// tests answer -1 (no result) unless a result is set.
class CConditions
{
public:
    static constexpr std::int32_t NO_RESULT = -1;

    CConditions() = default;
    virtual ~CConditions() = default;

    [[nodiscard]] std::int32_t TestGoal() const { return m_iGoalResult; }
    [[nodiscard]] std::int32_t TestFailure() const { return m_iFailureResult; }
    // True while a goal or failure result waits to be shown.
    [[nodiscard]] bool IsResultPending() const { return TestGoal() != NO_RESULT || TestFailure() != NO_RESULT; }
    void SetResults(std::int32_t iGoal, std::int32_t iFailure)
    {
        m_iGoalResult = iGoal;
        m_iFailureResult = iFailure;
    }
    // Both condition lists go (and any result with them).
    void ClearConditions() { SetResults(NO_RESULT, NO_RESULT); }
    // The per-frame step of the result screens.
    void UpdateResultScreens(CLocale* pkLocale) { (void)pkLocale; }

private:
    std::int32_t m_iGoalResult = NO_RESULT;
    std::int32_t m_iFailureResult = NO_RESULT;
};
