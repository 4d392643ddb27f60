// Line files (the file class opens files by name only: a scratch file). The
// reads are checked against the file's own bytes: every line as LF splits
// it with each CR dropped, a search that finds the line the bytes hold, and
// a read up to a delimiter.

#include "framework/COrvaneFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
const fuzz::ScratchFile g_kFile(".txt");

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    const std::string kBytes(reinterpret_cast<const char*>(pucData), uiSize);

    COrvaneFile kFile;
    const int iOpened = kFile.Open(g_kFile.GetPath(), COrvaneFile::MODE_READ);
    Check(iOpened == (uiSize > 0 ? 1 : 0)); // an empty file is refused
    if (iOpened == 0)
        return 0;

    // The lines and where each ends (after its LF).
    std::vector<std::string> kLines;
    std::vector<std::size_t> kEnds;
    std::string kLine;
    for (std::size_t i = 0; i < uiSize; ++i)
    {
        if (kBytes[i] == '\n')
        {
            kLines.push_back(kLine);
            kEnds.push_back(i + 1);
            kLine.clear();
        }
        else if (kBytes[i] != '\r')
        {
            kLine.push_back(kBytes[i]);
        }
    }
    if (kBytes.back() != '\n')
    {
        kLines.push_back(kLine);
        kEnds.push_back(uiSize);
    }

    std::size_t uiLine = 0;
    while (!kFile.IsEof())
    {
        Check(uiLine < kLines.size());
        kFile.ReadLine(kLine);
        Check(kLine == kLines[uiLine]);
        ++uiLine;
    }
    Check(uiLine == kLines.size());

    // The search text is the last line up to its first NUL (a C string).
    const std::string kFind = kLines.back().c_str();
    std::size_t uiFound = 0;
    while (kLines[uiFound].find(kFind) == std::string::npos)
        ++uiFound;
    Check(kFile.FindLine(kFind.c_str()) == (kEnds[uiFound] < uiSize ? 1 : 0));

    // From after the found line up to the first byte's value, cut at a NUL.
    const char acDelimiter[2] = {kBytes[0], '\0'};
    std::string kExpected;
    for (std::size_t i = kEnds[uiFound]; i < uiSize && kBytes[i] != kBytes[0]; ++i)
        kExpected.push_back(kBytes[i]);
    kExpected = kExpected.c_str();
    kExpected.push_back('\n');
    kFile.ReadUntil(kLine, acDelimiter);
    Check(kLine == kExpected);
    return 0;
}
