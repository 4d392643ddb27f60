#include "game/simulation/objects/TextConvert.h"

#include "framework/COrvaneFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace
{

template <typename T>
std::string JoinLine(const std::vector<T>& kValues, char cSeparator)
{
    std::string kLine;
    for (std::size_t i = 0; i < kValues.size(); ++i)
    {
        if (i != 0)
        {
            kLine += cSeparator;
        }
        // Widened so a byte-sized type never prints as a character.
        kLine += ToString(static_cast<long long>(kValues[i]));
    }
    kLine += "\r\n";
    return kLine;
}

template <typename T>
void SplitLine(const std::string& kLine, std::vector<T>& kValues, char cSeparator)
{
    std::size_t uiStart = 0;
    while (uiStart <= kLine.size())
    {
        std::size_t uiEnd = kLine.find(cSeparator, uiStart);
        if (uiEnd == std::string::npos)
        {
            uiEnd = kLine.size();
        }
        if (uiEnd > uiStart)
        {
            kValues.push_back(FromString<T>(kLine.substr(uiStart, uiEnd - uiStart)));
        }
        uiStart = uiEnd + 1;
    }
}

// The text without the blanks around it.
std::string Trimmed(const std::string& kText)
{
    const std::size_t uiFirst = kText.find_first_not_of(" \t\r\n");
    if (uiFirst == std::string::npos)
    {
        return {};
    }
    const std::size_t uiLast = kText.find_last_not_of(" \t\r\n");
    return kText.substr(uiFirst, uiLast - uiFirst + 1);
}

} // namespace

bool ParseWholeInt(const std::string& kText, long long& llValue)
{
    const std::string kNumber = Trimmed(kText);
    // from_chars takes no plus sign; a stream would.
    const std::size_t uiSkip = !kNumber.empty() && kNumber[0] == '+' ? 1 : 0;
    if (uiSkip != 0 && kNumber.size() > 1 && kNumber[1] == '-')
    {
        return false;
    }
    long long llRead = 0;
    const char* pcEnd = kNumber.data() + kNumber.size();
    const auto kResult = std::from_chars(kNumber.data() + uiSkip, pcEnd, llRead);
    if (kNumber.size() == uiSkip || kResult.ec != std::errc() || kResult.ptr != pcEnd)
    {
        return false;
    }
    llValue = llRead;
    return true;
}

bool ParseWholeFloat(const std::string& kText, float& fValue)
{
    const std::string kNumber = Trimmed(kText);
    const std::size_t uiSkip = !kNumber.empty() && kNumber[0] == '+' ? 1 : 0;
    if (uiSkip != 0 && kNumber.size() > 1 && kNumber[1] == '-')
    {
        return false;
    }
    float fRead = 0.0f;
    const char* pcEnd = kNumber.data() + kNumber.size();
    const auto kResult = std::from_chars(kNumber.data() + uiSkip, pcEnd, fRead);
    if (kNumber.size() == uiSkip || kResult.ec != std::errc() || kResult.ptr != pcEnd || !std::isfinite(fRead))
    {
        return false;
    }
    fValue = fRead;
    return true;
}

bool ParseWholeIntList(const std::string& kLine, std::vector<int>& kValues, char cSeparator)
{
    std::vector<int> kRead;
    std::size_t uiStart = 0;
    while (uiStart <= kLine.size())
    {
        std::size_t uiEnd = kLine.find(cSeparator, uiStart);
        if (uiEnd == std::string::npos)
        {
            uiEnd = kLine.size();
        }
        if (uiEnd > uiStart)
        {
            long long llValue = 0;
            if (!ParseWholeInt(kLine.substr(uiStart, uiEnd - uiStart), llValue) || llValue < INT_MIN ||
                llValue > INT_MAX)
            {
                return false;
            }
            kRead.push_back(static_cast<int>(llValue));
        }
        uiStart = uiEnd + 1;
    }
    kValues.insert(kValues.end(), kRead.begin(), kRead.end());
    return true;
}

bool ParseLeadingInt(const std::string& kText, long long llLowest, long long llHighest, long long& llValue)
{
    // As a stream reads: leading blanks skipped, one sign, then the digits
    // up to the first other character.
    std::size_t uiAt = kText.find_first_not_of(" \t\r\n\v\f");
    if (uiAt == std::string::npos)
    {
        return false;
    }
    bool bNegative = false;
    if (kText[uiAt] == '+' || kText[uiAt] == '-')
    {
        bNegative = kText[uiAt] == '-';
        ++uiAt;
    }
    const std::size_t uiDigits = uiAt;
    unsigned long long ullMagnitude = 0;
    // Far past any field's range: reading stops growing there.
    constexpr unsigned long long ullCap = 1ULL << 62;
    while (uiAt < kText.size() && kText[uiAt] >= '0' && kText[uiAt] <= '9')
    {
        ullMagnitude = std::min(ullCap, ullMagnitude * 10 + static_cast<unsigned long long>(kText[uiAt] - '0'));
        ++uiAt;
    }
    if (uiAt == uiDigits)
    {
        return false;
    }
    const long long llRead =
        bNegative ? -static_cast<long long>(ullMagnitude) : static_cast<long long>(ullMagnitude);
    if (llRead < llLowest || llRead > llHighest)
    {
        return false;
    }
    llValue = llRead;
    return true;
}

bool ParseLeadingUShortList(const std::string& kLine, std::vector<unsigned short>& kValues, char cSeparator)
{
    std::vector<unsigned short> kRead;
    std::size_t uiStart = 0;
    while (uiStart <= kLine.size())
    {
        std::size_t uiEnd = kLine.find(cSeparator, uiStart);
        if (uiEnd == std::string::npos)
        {
            uiEnd = kLine.size();
        }
        if (uiEnd > uiStart)
        {
            long long llValue = 0;
            if (!ParseLeadingInt(kLine.substr(uiStart, uiEnd - uiStart), 0, USHRT_MAX, llValue))
            {
                return false;
            }
            kRead.push_back(static_cast<unsigned short>(llValue));
        }
        uiStart = uiEnd + 1;
    }
    kValues.insert(kValues.end(), kRead.begin(), kRead.end());
    return true;
}

ESectionMarker FindSectionMarker(COrvaneFile& kFile, const char* pcMarker, std::uint32_t& uiLine)
{
    if (kFile.FindLine(pcMarker) != 0)
    {
        uiLine = kFile.GetLinesRead();
        return ESectionMarker::FOUND;
    }
    // The search read to the end either way: only the last line may still
    // hold the marker. A second look of its own tells.
    COrvaneFile kLook;
    if (kFile.GetFileName().empty() || kLook.Open(kFile.GetFileName().c_str(), COrvaneFile::MODE_READ) == 0)
    {
        return ESectionMarker::ABSENT;
    }
    std::string kLine;
    while (!kLook.IsEof())
    {
        kLook.ReadLine(kLine);
        if (kLine.find(pcMarker != nullptr ? pcMarker : "") != std::string::npos)
        {
            uiLine = kLook.GetLinesRead();
            return ESectionMarker::ENDS_FILE;
        }
    }
    return ESectionMarker::ABSENT;
}

std::string IntToString(int iValue)
{
    return ToString(iValue);
}

std::string UIntToString(unsigned int uiValue)
{
    return ToString(uiValue);
}

std::string ShortToString(short sValue)
{
    return ToString(sValue);
}

short StringToShort(const std::string& kText)
{
    return FromString<short>(kText);
}

bool WriteIntListLine(COrvaneFile& kFile, const std::vector<int>& kValues, char cSeparator)
{
    return kFile.WriteString(JoinLine(kValues, cSeparator).c_str());
}

bool WriteUShortList(COrvaneFile& kFile, const std::vector<unsigned short>& kValues,
    char cSeparator)
{
    return kFile.WriteString(JoinLine(kValues, cSeparator).c_str());
}

void SplitIntList(const std::string& kLine, std::vector<int>& kValues, char cSeparator)
{
    SplitLine(kLine, kValues, cSeparator);
}

void SplitUShortList(const std::string& kLine, std::vector<unsigned short>& kValues,
    char cSeparator)
{
    SplitLine(kLine, kValues, cSeparator);
}

bool ReadIntListLine(COrvaneFile& kFile, std::vector<int>& kValues, char cSeparator)
{
    if (kFile.IsEof())
    {
        return false;
    }
    std::string kLine;
    kFile.ReadLine(kLine);
    SplitIntList(kLine, kValues, cSeparator);
    return true;
}

bool ReadUShortList(COrvaneFile& kFile, std::vector<unsigned short>& kValues, char cSeparator)
{
    if (kFile.IsEof())
    {
        return false;
    }
    std::string kLine;
    kFile.ReadLine(kLine);
    SplitUShortList(kLine, kValues, cSeparator);
    return true;
}
