#include "game/shell/CSaveFile.h"

#include "framework/COrvaneFile.h"
#include "game/shell/CGameClock.h"
#include "game/simulation/objects/TextConvert.h"

#include <climits>

namespace
{
// The next line of the file; false at its end.
bool NextLine(COrvaneFile& kFile, std::string& kLine)
{
    if (kFile.IsEof())
        return false;
    kFile.ReadLine(kLine);
    return true;
}

bool NextInt(COrvaneFile& kFile, long long llLowest, long long llHighest, long long& llValue)
{
    std::string kLine;
    return NextLine(kFile, kLine) && ParseWholeInt(kLine, llValue) && llValue >= llLowest && llValue <= llHighest;
}

bool NextFloat(COrvaneFile& kFile, float& fValue)
{
    std::string kLine;
    return NextLine(kFile, kLine) && ParseWholeFloat(kLine, fValue);
}

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

    if (kFile.FindLine("<VERSION>") != 0)
    {
        if (!NextInt(kFile, 0, UINT16_MAX, llValue))
            return Bad(kFile.GetLinesRead());
        m_kHeader.m_usVersion = static_cast<std::uint16_t>(llValue);
        if (!NextLine(kFile, m_kHeader.m_kBuildTime) || !NextLine(kFile, m_kHeader.m_kBuildDate))
            return Bad(kFile.GetLinesRead() + 1);
        m_kHeader.m_bVersion = true;
    }

    if (kFile.FindLine("<WORLD>") != 0)
    {
        if (!NextInt(kFile, 0, INT32_MAX, llValue))
            return Bad(kFile.GetLinesRead());
        m_kHeader.m_uiLevel = static_cast<std::uint32_t>(llValue);
        if (!NextInt(kFile, 0, UINT16_MAX, llValue))
            return Bad(kFile.GetLinesRead());
        m_kHeader.m_usNextPerson = static_cast<std::uint16_t>(llValue);
        m_kHeader.m_bWorld = true;
    }

    if (!CConditions::ParseSection(kFile, m_kHeader.m_kConditions))
        return Bad(kFile.GetLinesRead());

    if (kFile.FindLine("<TIME>") != 0)
    {
        std::vector<int> kClock;
        if (!NextLine(kFile, kLine) || !ParseWholeIntList(kLine, kClock, ','))
            return Bad(kFile.GetLinesRead());
        // Values that are missing are 0; the year offset may have been
        // written as its 16-bit pattern or as a negative number.
        for (std::size_t i = 0; i < 4 && i < kClock.size(); ++i)
        {
            if (kClock[i] < INT16_MIN || kClock[i] > UINT16_MAX)
                return Bad(kFile.GetLinesRead());
            m_kHeader.m_ausClock[i] = static_cast<std::uint16_t>(kClock[i] & 0xFFFF);
        }
        float* const apfTimes[] = {&m_kHeader.m_fMinutes, &m_kHeader.m_fPreviousMinutes, &m_kHeader.m_fTotalTime,
                                   &m_kHeader.m_fFrameTime, &m_kHeader.m_fGameTime};
        for (float* pfTime : apfTimes)
            if (!NextFloat(kFile, *pfTime))
                return Bad(kFile.GetLinesRead() + (kFile.IsEof() ? 1 : 0));
        for (const float fMinutes : {m_kHeader.m_fMinutes, m_kHeader.m_fPreviousMinutes})
            if (fMinutes < 0.0f || fMinutes > CGameClock::MINUTES_PER_DAY)
                return Bad(kFile.GetLinesRead());
        m_kHeader.m_bTime = true;
    }

    if (kFile.FindLine("<UPGRADE_LEVEL>") != 0)
    {
        if (!NextInt(kFile, 0, MAX_UPGRADE_LEVEL, llValue))
            return Bad(kFile.GetLinesRead());
        m_kHeader.m_iUpgradeLevel = static_cast<std::int32_t>(llValue);
        m_kHeader.m_bUpgrade = true;
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
