#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CLocale;
class COrvaneFile;

// One test on a statistic of the prison: kind 0..14 (others read 0),
// comparison 0 "below", 1 "above" (strict, signed; others never hold).
struct CCondition
{
    std::int32_t m_iKind = 0;
    std::int32_t m_iComparison = 0;
    std::int32_t m_iValue = 0;

    bool operator==(const CCondition&) const = default;
};

// The "<CONDITIONS>" section of a scenario or save file, read whole.
struct CConditionsSection
{
    bool m_bFound = false;
    std::int16_t m_sScenario = -1;
    std::vector<CCondition> m_kGoals;
    std::vector<CCondition> m_kFailures;
};

// The scenario's goal and failure conditions: the first goal to hold
// completes the scenario, the first failure to hold loses it; the result
// screens are drawn every in-game frame once a result exists.
class CConditions
{
public:
    static constexpr std::int32_t NO_RESULT = -1;
    static constexpr std::int32_t SAMPLE_RESULT = 23;
    static constexpr const char* MESSAGES = "InGameMessages";
    static constexpr std::int32_t ENTRY_FAILED = 7;
    static constexpr std::int32_t ENTRY_COMPLETE = 8;
    static constexpr std::int32_t ENTRY_CONTINUE = 9;
    // Per kind k: the goal line 22 + 2k, the failure line 23 + 2k.
    static constexpr std::int32_t ENTRY_GOAL_LINES = 22;
    static constexpr std::int32_t ENTRY_FAILURE_LINES = 23;

    CConditions() = default;
    virtual ~CConditions() = default;
    CConditions(const CConditions&) = delete;
    CConditions& operator=(const CConditions&) = delete;

    // Reads the section (the goal result is reset first). Without a
    // section the lists and scenario number stay. False when the section
    // does not read (nothing changed then but the goal result).
    virtual bool Load(COrvaneFile& kFile);
    // Writes the section; false when a write fails.
    virtual bool Save(COrvaneFile& kFile) const;
    virtual std::int32_t CheckFailure();
    virtual std::int32_t CheckGoals();
    // Both lists go, then Clear.
    virtual void ClearConditions();
    // Results and scenario number -1; the lists stay.
    virtual void Clear();

    // Searches the file from its top for the section and reads it whole;
    // false (with the file's count at the bad line) when a line of it does
    // not read. A missing section is no error (m_bFound false).
    [[nodiscard]] static bool ParseSection(COrvaneFile& kFile, CConditionsSection& kSection);
    // The section as the lists stand, and its writing.
    [[nodiscard]] CConditionsSection MakeSection() const;
    static bool WriteSection(COrvaneFile& kFile, const CConditionsSection& kSection);
    // Takes a section that was read.
    void ApplySection(const CConditionsSection& kSection);

    // The condition's kind when it holds, else -1.
    [[nodiscard]] static std::int32_t Evaluate(const CCondition& kCondition);
    // The statistic a kind reads (0 for a kind outside 0..14).
    [[nodiscard]] static std::int32_t ReadStatistic(std::int32_t iKind);

    // The per-frame step: tests for results, then draws the result screen.
    void UpdateResultScreens(CLocale* pkLocale);

    [[nodiscard]] std::int32_t TestGoal() const { return m_iGoalResult; }
    [[nodiscard]] std::int32_t TestFailure() const { return m_iFailureResult; }
    // True while a goal or failure result is shown.
    [[nodiscard]] bool IsResultPending() const { return m_iGoalResult != NO_RESULT || m_iFailureResult != NO_RESULT; }
    void SetResults(std::int32_t iGoal, std::int32_t iFailure)
    {
        m_iGoalResult = iGoal;
        m_iFailureResult = iFailure;
    }
    [[nodiscard]] std::int16_t GetScenario() const { return m_sScenario; }
    void SetScenario(std::int16_t sScenario) { m_sScenario = sScenario; }
    [[nodiscard]] const std::vector<std::unique_ptr<CCondition>>& GetGoals() const { return m_kGoals; }
    [[nodiscard]] const std::vector<std::unique_ptr<CCondition>>& GetFailures() const { return m_kFailures; }
    void AddGoal(const CCondition& kCondition) { m_kGoals.push_back(std::make_unique<CCondition>(kCondition)); }
    void AddFailure(const CCondition& kCondition) { m_kFailures.push_back(std::make_unique<CCondition>(kCondition)); }

private:
    std::int32_t m_iGoalResult = NO_RESULT;
    std::int32_t m_iFailureResult = NO_RESULT;
    std::int16_t m_sScenario = -1;
    std::vector<std::unique_ptr<CCondition>> m_kGoals;
    std::vector<std::unique_ptr<CCondition>> m_kFailures;
};
