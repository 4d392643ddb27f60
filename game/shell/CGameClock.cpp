#include "game/shell/CGameClock.h"

#include "framework/COrvaneFile.h"
#include "game/simulation/objects/TextConvert.h"

#include <vector>

namespace
{

// The float nearest 1/60, as the hour and readout are computed with it.
constexpr float MINUTE_TO_HOUR = 0.016666668f;

// A damaged save must not put the clock outside its day: the hour of a
// negative or huge minute count would wrap, and no day would ever roll back.
float ClampMinutes(float fMinutes)
{
    if (!(fMinutes >= 0.0f))
    {
        return 0.0f;
    }
    return fMinutes > CGameClock::MINUTES_PER_DAY ? CGameClock::MINUTES_PER_DAY : fMinutes;
}

} // namespace

void CGameClock::Reset()
{
    *this = CGameClock();
}

void CGameClock::NextDay()
{
    ++m_usDay;
    m_ucDayRolled = 1;
    if (m_usDay > LAST_DAY)
    {
        ++m_sYearOffset;
        m_usDay = 0;
    }
}

void CGameClock::Advance(float fScaledSeconds)
{
    m_fPreviousMinutes = m_fMinutes;
    m_ucDayRolled = 0;
    m_fMinutes += fScaledSeconds;
    if (m_fMinutes > MINUTES_PER_DAY)
    {
        m_fMinutes = 0.0f;
        NextDay();
    }
}

void CGameClock::AdvanceToDay(float fMinutes)
{
    NextDay();
    m_fMinutes = fMinutes;
}

std::uint16_t CGameClock::HourOf(float fMinutes)
{
    return static_cast<std::uint16_t>(static_cast<int>(fMinutes * MINUTE_TO_HOUR));
}

bool CGameClock::HasHourBegun(std::uint16_t usHour) const
{
    return HourOf(m_fMinutes) == usHour && HourOf(m_fPreviousMinutes) != usHour;
}

void CGameClock::FormatTime(std::string& kTime, std::string& kYear) const
{
    const float fHours = m_fMinutes * MINUTE_TO_HOUR;
    const int iHours = static_cast<std::uint16_t>(static_cast<int>(fHours));
    const int iRest = static_cast<int>((fHours - static_cast<float>(iHours)) * 60.0f);
    auto TwoDigits = [](int iValue) {
        return (iValue < 10 ? std::string("0") : std::string()) + IntToString(iValue);
    };
    kTime = TwoDigits(iHours) + ":" + TwoDigits(iRest);
    kYear = " - " + IntToString(GetShownYear());
}

bool CGameClock::Save(COrvaneFile& kFile) const
{
    const std::vector<unsigned short> kFirst = {
        m_usYear,
        static_cast<unsigned short>(m_sYearOffset),
        m_usDay,
        m_ucDayRolled,
    };
    bool bOk = WriteUShortList(kFile, kFirst);
    // The stream's default form: six significant digits, no trailing zeros.
    bOk = kFile.WriteString((ToString(m_fMinutes) + "\r\n").c_str()) && bOk;
    bOk = kFile.WriteString((ToString(m_fPreviousMinutes) + "\r\n").c_str()) && bOk;
    return bOk;
}

void CGameClock::Load(COrvaneFile& kFile)
{
    std::string akLines[3];
    for (std::string& kLine : akLines)
    {
        if (!kFile.IsEof())
        {
            kFile.ReadLine(kLine);
        }
    }
    LoadLines(akLines[0], akLines[1], akLines[2]);
}

void CGameClock::LoadLines(const std::string& kFirst, const std::string& kMinutes,
    const std::string& kPrevious)
{
    // Read as ints and cut to 16 bits, so a year offset saved as its 16-bit
    // pattern comes back negative and an odd value cannot fail the read.
    std::vector<int> kValues;
    SplitIntList(kFirst, kValues);
    kValues.resize(4, 0);
    m_usYear = static_cast<std::uint16_t>(kValues[0] & 0xFFFF);
    m_sYearOffset = static_cast<std::int16_t>(static_cast<std::uint16_t>(kValues[1] & 0xFFFF));
    m_usDay = static_cast<std::uint16_t>(kValues[2] & 0xFFFF);
    m_ucDayRolled = static_cast<std::uint8_t>(kValues[3] & 0xFF);
    m_fMinutes = ClampMinutes(FromString<float>(kMinutes));
    m_fPreviousMinutes = ClampMinutes(FromString<float>(kPrevious));
}
