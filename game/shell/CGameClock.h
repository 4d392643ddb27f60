#pragma once

#include <cstdint>
#include <string>

class COrvaneFile;

// The game's time: minutes since midnight advanced by scaled seconds (one
// game minute per scaled second), four days to a year. Plain data embedded
// in the game object and saved in every game.
class CGameClock
{
public:
    static constexpr float MINUTES_PER_DAY = 1440.0f;
    static constexpr std::uint16_t LAST_DAY = 3;
    static constexpr std::uint16_t START_YEAR = 2005;

    // All fields 0.
    void Reset();

    // Moves the clock on. The day rolls only past 1440 minutes (exactly
    // 1440 stays the old day) and the new day starts at 0: the excess of a
    // long step is dropped.
    void Advance(float fScaledSeconds);
    // Jumps to the next day's morning at the given minute without touching
    // the previous minutes (so no hour "begins" through the jump).
    void AdvanceToDay(float fMinutes);
    // True on the one advance that enters the hour, also when the advance
    // jumped over several minutes.
    [[nodiscard]] bool HasHourBegun(std::uint16_t usHour) const;
    [[nodiscard]] static std::uint16_t HourOf(float fMinutes);

    // "06:05" and " - 2006" (year plus year offset).
    void FormatTime(std::string& kTime, std::string& kYear) const;

    // The three clock lines of a save: "year,offset,day,rolled", minutes,
    // previous minutes. Save is false when a write fails.
    bool Save(COrvaneFile& kFile) const;
    // Reads the three lines; values that are missing or do not read are 0.
    void Load(COrvaneFile& kFile);
    // The reading of Load for lines already read.
    void LoadLines(const std::string& kFirst, const std::string& kMinutes,
        const std::string& kPrevious);

    [[nodiscard]] int GetShownYear() const { return m_usYear + m_sYearOffset; }

    std::uint16_t m_usYear = 0;
    std::int16_t m_sYearOffset = 0;
    std::uint16_t m_usDay = 0;
    float m_fMinutes = 0.0f;
    float m_fPreviousMinutes = 0.0f;
    std::uint8_t m_ucDayRolled = 0;

private:
    void NextDay();
};
