#include "game/simulation/characters/CCharacterStats.h"

#include "framework/COrvaneFile.h"

#include <vector>

namespace
{

// The 16-bit fields in record order, after the three 32-bit ones.
std::uint16_t CCharacterStats::*const s_apShortFields[] = {
    &CCharacterStats::m_usMoodIntensity,
    &CCharacterStats::m_usHealth,
    &CCharacterStats::m_usSecurityLevel,
    &CCharacterStats::m_usFirstName,
    &CCharacterStats::m_usSurname,
    &CCharacterStats::m_usPersonNumber,
    &CCharacterStats::m_usAge,
    &CCharacterStats::m_usArrivalYear,
    &CCharacterStats::m_usTerm,
    &CCharacterStats::m_usReserved,
    &CCharacterStats::m_usStarSign,
    &CCharacterStats::m_usKnockdowns,
    &CCharacterStats::m_usWorkCount,
    &CCharacterStats::m_usWage,
    &CCharacterStats::m_usHeadTexture,
};

std::uint32_t CCharacterStats::*const s_apLongFields[] = {
    &CCharacterStats::m_uiGender,
    &CCharacterStats::m_uiGang,
    &CCharacterStats::m_uiMood,
};

static_assert(std::size(s_apShortFields) + std::size(s_apLongFields)
    == CCharacterStats::FIELD_COUNT);

} // namespace

void CCharacterStats::Reset()
{
    *this = CCharacterStats();
}

std::uint32_t CCharacterStats::GetField(int iIndex) const
{
    if (iIndex < 0 || iIndex >= FIELD_COUNT)
    {
        return 0;
    }
    if (iIndex < 3)
    {
        return this->*s_apLongFields[iIndex];
    }
    return this->*s_apShortFields[iIndex - 3];
}

bool CCharacterStats::SetField(int iIndex, std::uint32_t uiValue)
{
    if (iIndex < 0 || iIndex >= FIELD_COUNT)
    {
        return false;
    }
    if (iIndex < 3)
    {
        this->*s_apLongFields[iIndex] = uiValue;
    }
    else
    {
        this->*s_apShortFields[iIndex - 3] = static_cast<std::uint16_t>(uiValue & 0xFFFFu);
    }
    return true;
}

std::string CCharacterStats::FormatLine() const
{
    std::string kLine;
    for (int i = 0; i < FIELD_COUNT; ++i)
    {
        if (i != 0)
        {
            kLine += ',';
        }
        kLine += std::to_string(GetField(i) & 0xFFFFu);
    }
    return kLine;
}

bool CCharacterStats::Save(COrvaneFile& kFile) const
{
    const std::string kLine = FormatLine() + "\r\n";
    return kFile.WriteString(kLine.c_str());
}

bool CCharacterStats::ParseLine(const std::string& kLine, CCharacterStats& kOut)
{
    std::vector<std::uint32_t> kValues;
    std::size_t uiStart = 0;
    while (uiStart <= kLine.size())
    {
        std::size_t uiEnd = kLine.find(',', uiStart);
        if (uiEnd == std::string::npos)
        {
            uiEnd = kLine.size();
        }
        if (uiEnd > uiStart)
        {
            // Only plain decimal digits: a save never holds signs or blanks,
            // and a piece that is not a number is a damaged record.
            std::uint32_t uiValue = 0;
            for (std::size_t i = uiStart; i < uiEnd; ++i)
            {
                const char c = kLine[i];
                if (c < '0' || c > '9')
                {
                    return false;
                }
                uiValue = uiValue * 10u + static_cast<std::uint32_t>(c - '0');
                if (uiValue > 0xFFFFu)
                {
                    return false;
                }
            }
            kValues.push_back(uiValue);
        }
        uiStart = uiEnd + 1;
    }
    if (kValues.size() != static_cast<std::size_t>(FIELD_COUNT))
    {
        return false;
    }
    CCharacterStats kRead;
    for (int i = 0; i < FIELD_COUNT; ++i)
    {
        kRead.SetField(i, kValues[static_cast<std::size_t>(i)]);
    }
    kOut = kRead;
    return true;
}
