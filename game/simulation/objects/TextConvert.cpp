#include "game/simulation/objects/TextConvert.h"

#include "framework/COrvaneFile.h"

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

} // namespace

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
