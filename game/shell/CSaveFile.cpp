#include "game/shell/CSaveFile.h"

#include "framework/COrvaneFile.h"
#include "game/shell/CGameClock.h"
#include "game/simulation/objects/TextConvert.h"
#include "platform/os/OsFiles.h"

#include <climits>
#include <cstdio>
#include <limits>

namespace
{
// Whether the file's last byte ends a line. The writer ends every line, so
// a last line without its end is one the file was cut inside.
bool EndsWithLineEnd(const std::string& kPath)
{
    std::FILE* pkFile = os::OpenFile(kPath, "rb");
    if (pkFile == nullptr)
        return false;
    const bool bEnds = std::fseek(pkFile, -1, SEEK_END) == 0 && std::fgetc(pkFile) == '\n';
    std::fclose(pkFile);
    return bEnds;
}

// The body lines of the header's sections, read with one rule for the line
// a failure names: a value that does not read names its own line; a line
// the file does not have, or a last line it was cut inside, names the
// first missing line.
class CHeaderLines
{
public:
    CHeaderLines(COrvaneFile& kFile, bool bWholeEnd) : m_kFile(kFile), m_bWholeEnd(bWholeEnd) {}

    bool Line(std::string& kLine)
    {
        if (m_kFile.IsEof())
            return Missing();
        m_kFile.ReadLine(kLine);
        if (m_kFile.IsEof() && !m_bWholeEnd)
            return Missing();
        return true;
    }

    bool Int(long long llLowest, long long llHighest, long long& llValue)
    {
        std::string kLine;
        if (!Line(kLine))
            return false;
        return (ParseWholeInt(kLine, llValue) && llValue >= llLowest && llValue <= llHighest) || Here();
    }

    bool Float(float fLowest, float fHighest, float& fValue)
    {
        std::string kLine;
        if (!Line(kLine))
            return false;
        return (ParseWholeFloat(kLine, fValue) && fValue >= fLowest && fValue <= fHighest) || Here();
    }

    // The line just read is at fault.
    bool Here()
    {
        m_uiBadLine = m_kFile.GetLinesRead();
        return false;
    }

    // The line after the last one read is at fault: the file ended, after
    // a whole line or inside one.
    bool Missing()
    {
        m_uiBadLine = m_kFile.GetLinesRead() + 1;
        return false;
    }

    [[nodiscard]] bool EndsCut() { return m_kFile.IsEof() && !m_bWholeEnd; }
    [[nodiscard]] std::uint32_t GetBadLine() const { return m_uiBadLine; }

private:
    COrvaneFile& m_kFile;
    bool m_bWholeEnd;
    std::uint32_t m_uiBadLine = 0;
};

std::string FloatLine(float fValue)
{
    return ToString(fValue) + "\r\n";
}
} // namespace

bool CSaveFile::Bad(std::uint32_t uiLine)
{
    m_uiBadLine = uiLine;
    return false;
}

bool CSaveFile::ParseHeader(COrvaneFile& kFile)
{
    m_kHeader = CSaveHeader{};
    m_uiBadLine = 0;
    long long llValue = 0;
    std::string kLine;
    CHeaderLines kLines(kFile, EndsWithLineEnd(kFile.GetFileName()));
    std::uint32_t uiMarker = 0;
    // Found: read its body. Absent: skipped. On the last line: a section
    // whose body is missing, named by the marker's line.
    const auto Section = [&kFile, &uiMarker](const char* pcMarker) { return FindSectionMarker(kFile, pcMarker, uiMarker); };

    switch (Section("<VERSION>"))
    {
    case ESectionMarker::ENDS_FILE: return Bad(uiMarker);
    case ESectionMarker::ABSENT: break;
    case ESectionMarker::FOUND:
        if (!kLines.Int(0, UINT16_MAX, llValue))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_usVersion = static_cast<std::uint16_t>(llValue);
        if (!kLines.Line(m_kHeader.m_kBuildTime) || !kLines.Line(m_kHeader.m_kBuildDate))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_bVersion = true;
        break;
    }

    switch (Section("<WORLD>"))
    {
    case ESectionMarker::ENDS_FILE: return Bad(uiMarker);
    case ESectionMarker::ABSENT: break;
    case ESectionMarker::FOUND:
        if (!kLines.Int(0, INT32_MAX, llValue))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_uiLevel = static_cast<std::uint32_t>(llValue);
        if (!kLines.Int(0, UINT16_MAX, llValue))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_usNextPerson = static_cast<std::uint16_t>(llValue);
        m_kHeader.m_bWorld = true;
        break;
    }

    // The conditions read their own section (a missing line counted as
    // read, so the file's position names the line at fault).
    if (Section("<CONDITIONS>") == ESectionMarker::ENDS_FILE)
        return Bad(uiMarker);
    if (!CConditions::ParseSection(kFile, m_kHeader.m_kConditions))
        return Bad(kFile.GetLinesRead());
    if (m_kHeader.m_kConditions.m_bFound && kLines.EndsCut())
        return Bad(kFile.GetLinesRead() + 1);

    switch (Section("<TIME>"))
    {
    case ESectionMarker::ENDS_FILE: return Bad(uiMarker);
    case ESectionMarker::ABSENT: break;
    case ESectionMarker::FOUND:
    {
        std::vector<int> kClock;
        if (!kLines.Line(kLine))
            return Bad(kLines.GetBadLine());
        if (!ParseWholeIntList(kLine, kClock, ','))
            return Bad(kFile.GetLinesRead());
        // Values that are missing are 0; the year offset may have been
        // written as its 16-bit pattern or as a negative number.
        for (std::size_t i = 0; i < 4 && i < kClock.size(); ++i)
        {
            if (kClock[i] < INT16_MIN || kClock[i] > UINT16_MAX)
                return Bad(kFile.GetLinesRead());
            m_kHeader.m_ausClock[i] = static_cast<std::uint16_t>(kClock[i] & 0xFFFF);
        }
        // Minutes within the day; the frame times any finite value.
        constexpr float fDay = CGameClock::MINUTES_PER_DAY;
        constexpr float fAny = std::numeric_limits<float>::max();
        if (!kLines.Float(0.0f, fDay, m_kHeader.m_fMinutes) || !kLines.Float(0.0f, fDay, m_kHeader.m_fPreviousMinutes) ||
            !kLines.Float(-fAny, fAny, m_kHeader.m_fTotalTime) || !kLines.Float(-fAny, fAny, m_kHeader.m_fFrameTime) ||
            !kLines.Float(-fAny, fAny, m_kHeader.m_fGameTime))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_bTime = true;
        break;
    }
    }

    switch (Section("<UPGRADE_LEVEL>"))
    {
    case ESectionMarker::ENDS_FILE: return Bad(uiMarker);
    case ESectionMarker::ABSENT: break;
    case ESectionMarker::FOUND:
        if (!kLines.Int(0, MAX_UPGRADE_LEVEL, llValue))
            return Bad(kLines.GetBadLine());
        m_kHeader.m_iUpgradeLevel = static_cast<std::int32_t>(llValue);
        m_kHeader.m_bUpgrade = true;
        break;
    }
    return true;
}

bool CSaveFile::Parse(const std::string& kPath, CDynamicObjectManager& kRegistry)
{
    m_uiBadLine = 0;
    m_kObjects = CParsedObjects{};
    COrvaneTagFile kFile;
    if (kPath.empty() || kFile.Open(kPath.c_str(), COrvaneFile::MODE_READ) == 0)
        return false;
    // A file that ends before its sections do (cut short, empty, foreign)
    // is damaged where it ends.
    if (!ParseHeader(kFile))
        return Bad(m_uiBadLine != 0 ? m_uiBadLine : kFile.GetLinesRead() + 1);
    if (!kRegistry.ParseObjects(kFile, m_kObjects))
        return Bad(kRegistry.GetBadLine() != 0 ? kRegistry.GetBadLine() : kFile.GetLinesRead() + 1);
    // Sections may be missing, but a file with none of them (a picture,
    // text, anything else) is no save: damaged from its first line.
    const CSaveHeader& kHeader = m_kHeader;
    if (!kHeader.m_bVersion && !kHeader.m_bWorld && !kHeader.m_bTime && !kHeader.m_bUpgrade && !m_kObjects.m_bSection &&
        !m_kObjects.m_bStatistics)
        return Bad(1);
    return true;
}

bool CSaveFile::WriteHeader(COrvaneFile& kFile, const CSaveHeader& kHeader)
{
    bool bOk = kFile.WriteString(("<VERSION>\r\n" + ToString(kHeader.m_usVersion) + "\r\n" + kHeader.m_kBuildTime +
                                  "\r\n" + kHeader.m_kBuildDate + "\r\n</VERSION>\r\n<WORLD>\r\n" +
                                  ToString(kHeader.m_uiLevel) + "\r\n" + ToString(kHeader.m_usNextPerson) + "\r\n")
                                     .c_str());
    bOk = CConditions::WriteSection(kFile, kHeader.m_kConditions) && bOk;
    CGameClock kClock;
    kClock.m_usYear = kHeader.m_ausClock[0];
    kClock.m_sYearOffset = static_cast<std::int16_t>(kHeader.m_ausClock[1]);
    kClock.m_usDay = kHeader.m_ausClock[2];
    kClock.m_ucDayRolled = static_cast<std::uint8_t>(kHeader.m_ausClock[3]);
    kClock.m_fMinutes = kHeader.m_fMinutes;
    kClock.m_fPreviousMinutes = kHeader.m_fPreviousMinutes;
    bOk = kFile.WriteString("<TIME>\r\n") && bOk;
    bOk = kClock.Save(kFile) && bOk;
    bOk = kFile.WriteString((FloatLine(kHeader.m_fTotalTime) + FloatLine(kHeader.m_fFrameTime) +
                             FloatLine(kHeader.m_fGameTime) + "</TIME>\r\n<UPGRADE_LEVEL>\r\n" +
                             ToString(kHeader.m_iUpgradeLevel) + "\r\n</UPGRADE_LEVEL>\r\n</WORLD>\r\n")
                                .c_str()) &&
          bOk;
    return bOk;
}
