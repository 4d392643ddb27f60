#pragma once

#include <cstdint>
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

// The stream reading of a record's number, checked: blanks, a sign and
// digits, the rest of the text unread ("12x" reads 12), within the field's
// range [llLowest, llHighest]. False, the value untouched, when no number
// starts the text or it lies outside the range.
[[nodiscard]] bool ParseLeadingInt(const std::string& kText, long long llLowest, long long llHighest,
                                   long long& llValue);
// A separated list of such numbers, each an unsigned 16-bit value (empty
// pieces skipped, as the readers do); false, appending nothing, when a
// piece does not read.
[[nodiscard]] bool ParseLeadingUShortList(const std::string& kLine, std::vector<unsigned short>& kValues,
                                          char cSeparator = ',');

// Where a save's section marker stands. The line file's search answers "not
// found" also for a marker on the file's last line, which is a section whose
// body is missing, not an absent one.
enum class ESectionMarker
{
    ABSENT,   // no line holds the marker
    FOUND,    // the file is positioned after the marker's line
    ENDS_FILE // the marker is on the last line (uiLine): nothing follows it
};
// The first line containing the marker, searched from the top as the line
// file's FindLine does; uiLine is the marker's line number when it is there.
[[nodiscard]] ESectionMarker FindSectionMarker(COrvaneFile& kFile, const char* pcMarker, std::uint32_t& uiLine);

// The splitting of the readers, for lines already read.
void SplitIntList(const std::string& kLine, std::vector<int>& kValues, char cSeparator = ',');
void SplitUShortList(const std::string& kLine, std::vector<unsigned short>& kValues,
    char cSeparator = ',');
