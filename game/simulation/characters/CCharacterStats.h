#pragma once

#include <cstdint>
#include <string>

class COrvaneFile;

// The person record of every prisoner, staff member and staff post. Plain
// data: characters and posts own theirs, the ledger only points at them.
class CCharacterStats
{
public:
    static constexpr int FIELD_COUNT = 18;

    CCharacterStats() = default;

    // Every field back to a new person's value: indifferent, full health.
    void Reset();

    // One of the 18 fields by its position in the record (0..17), widened;
    // 0 for a position outside the record.
    [[nodiscard]] std::uint32_t GetField(int iIndex) const;
    // Sets the field at a position; a 16-bit field keeps the low 16 bits.
    // False, changing nothing, for a position outside the record.
    bool SetField(int iIndex, std::uint32_t uiValue);

    // The record's save line: the 18 fields in order, each as the decimal
    // number of its low 16 bits, joined by ",", without the line end.
    [[nodiscard]] std::string FormatLine() const;
    // Writes FormatLine and CR LF; false when the write fails.
    bool Save(COrvaneFile& kFile) const;
    // Reads a save line into a separate record without touching this one:
    // false unless the line holds 18 numbers (empty pieces skipped) that
    // each fit 16 bits. The caller applies the result by assignment.
    [[nodiscard]] static bool ParseLine(const std::string& kLine, CCharacterStats& kOut);

    bool operator==(const CCharacterStats&) const = default;

    std::uint32_t m_uiGender = 0;       // 0 male, 1 female
    std::uint32_t m_uiGang = 0;         // 0 none, n gang n
    std::uint32_t m_uiMood = 1;         // 0 happy .. 5 injured; 1 indifferent
    std::uint16_t m_usMoodIntensity = 0;// 0..2; a staff post's category
    std::uint16_t m_usHealth = 100;     // 0 means dead
    std::uint16_t m_usSecurityLevel = 0;
    std::uint16_t m_usFirstName = 0;
    std::uint16_t m_usSurname = 0;
    std::uint16_t m_usPersonNumber = 0;
    std::uint16_t m_usAge = 0;
    std::uint16_t m_usArrivalYear = 0;
    std::uint16_t m_usTerm = 0;         // sentence years, or a post's years served
    std::uint16_t m_usReserved = 0;     // kept and saved, read by nothing
    std::uint16_t m_usStarSign = 0;
    std::uint16_t m_usKnockdowns = 0;
    std::uint16_t m_usWorkCount = 0;
    std::uint16_t m_usWage = 0;
    std::uint16_t m_usHeadTexture = 0;  // 1-based variant
};
