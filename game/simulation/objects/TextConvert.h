#pragma once

#include <sstream>
#include <string>
#include <vector>

class COrvaneFile;

// Decimal text for numbers, and the comma-joined list lines every
// multi-value line of a save record uses. Conversions go through string
// streams so that every reader of a save agrees on what a number is.

template <typename T>
[[nodiscard]] std::string ToString(const T& kValue)
{
    std::ostringstream kStream;
    kStream << kValue;
    return kStream.str();
}

// A read that fails gives the type's zero (0, 0.0, the empty string).
template <typename T>
[[nodiscard]] T FromString(const std::string& kText)
{
    std::istringstream kStream(kText);
    T kValue{};
    if (!(kStream >> kValue))
    {
        return T{};
    }
    return kValue;
}

[[nodiscard]] std::string IntToString(int iValue);
[[nodiscard]] std::string UIntToString(unsigned int uiValue);
[[nodiscard]] std::string ShortToString(short sValue);
// Text that does not start with a number in range gives 0.
[[nodiscard]] short StringToShort(const std::string& kText);

// The values in decimal joined by the separator, no trailing separator,
// then CR LF; an empty list writes only CR LF. False when the write fails.
bool WriteIntListLine(COrvaneFile& kFile, const std::vector<int>& kValues, char cSeparator = ',');
bool WriteUShortList(COrvaneFile& kFile, const std::vector<unsigned short>& kValues,
    char cSeparator = ',');

// Reads one line, splits it at the separator, skips empty pieces and appends
// each remaining piece converted (a piece that does not read gives 0).
// False, appending nothing, when the file has no further line.
bool ReadIntListLine(COrvaneFile& kFile, std::vector<int>& kValues, char cSeparator = ',');
bool ReadUShortList(COrvaneFile& kFile, std::vector<unsigned short>& kValues,
    char cSeparator = ',');

// Strict readings for files that must not be half-understood: the whole
// text (spaces around it allowed) is one number in range of the type; false
// otherwise, the value untouched. Floats accept every exponent form
// ("1.23457e+06", "1.23457e+006") but not infinities or NaN.
[[nodiscard]] bool ParseWholeInt(const std::string& kText, long long& llValue);
[[nodiscard]] bool ParseWholeFloat(const std::string& kText, float& fValue);
// A separated list of such integers (empty pieces skipped, as the readers
// do); false, appending nothing, when a piece is not a whole integer.
[[nodiscard]] bool ParseWholeIntList(const std::string& kLine, std::vector<int>& kValues, char cSeparator = ',');

// The splitting of the readers, for lines already read.
void SplitIntList(const std::string& kLine, std::vector<int>& kValues, char cSeparator = ',');
void SplitUShortList(const std::string& kLine, std::vector<unsigned short>& kValues,
    char cSeparator = ',');
