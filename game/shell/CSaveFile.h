#pragma once

#include "game/shell/CConditions.h"
#include "game/simulation/objects/CDynamicObjectManager.h"

#include <cstdint>
#include <string>

class COrvaneFile;

// The header of a saved game: every section before the objects.
struct CSaveHeader
{
    bool m_bVersion = false;
    std::uint16_t m_usVersion = 0;
    std::string m_kBuildTime;
    std::string m_kBuildDate;
    bool m_bWorld = false;
    std::uint32_t m_uiLevel = 0;
    std::uint16_t m_usNextPerson = 0;
    CConditionsSection m_kConditions;
    bool m_bTime = false;
    // The clock line's four values (missing ones 0), minutes, previous.
    std::uint16_t m_ausClock[4] = {0, 0, 0, 0};
    float m_fMinutes = 0.0f;
    float m_fPreviousMinutes = 0.0f;
    float m_fTotalTime = 0.0f;
    float m_fFrameTime = 0.0f;
    float m_fGameTime = 0.0f;
    bool m_bUpgrade = false;
    std::int32_t m_iUpgradeLevel = 0;
};

// A ".fds" file read whole before anything of it reaches the game: the
// header sections, each found from the top of the file (the first line
// containing its marker), and the objects through the registry's parse
// step. A section whose marker is missing is skipped; one that is there but
// does not read fails the whole file with the number of its bad line: a
// value that does not read or lies outside its field's range names its own
// line, a marker with nothing after it names the marker's line, and a file
// that ends inside a section (its last line whole or cut) names its first
// missing line.
class CSaveFile
{
public:
    // The highest upgrade level a save may hold.
    static constexpr std::int32_t MAX_UPGRADE_LEVEL = 255;

    // False for a file that does not open (bad line 0) or does not read.
    bool Parse(const std::string& kPath, CDynamicObjectManager& kRegistry);
    // The header alone, from an open file.
    bool ParseHeader(COrvaneFile& kFile);

    // The header's lines up to and with "</WORLD>"; false when a write
    // fails.
    static bool WriteHeader(COrvaneFile& kFile, const CSaveHeader& kHeader);

    [[nodiscard]] const CSaveHeader& GetHeader() const { return m_kHeader; }
    [[nodiscard]] CParsedObjects& GetObjects() { return m_kObjects; }
    [[nodiscard]] std::uint32_t GetBadLine() const { return m_uiBadLine; }

private:
    bool Bad(std::uint32_t uiLine);

    CSaveHeader m_kHeader;
    CParsedObjects m_kObjects;
    std::uint32_t m_uiBadLine = 0;
};
