#include "engine/shaders/nsb/NSBStream.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <algorithm>
#include <vector>

std::uint32_t NSBStream::ms_uiCurrentVersion = NSBStream::VERSION_CURRENT;

bool NSBStream::WriteU32(NiByteStream& kStream, std::uint32_t uiValue)
{
    return NiWriteLE(kStream, uiValue);
}

bool NSBStream::ReadU32(NiByteStream& kStream, std::uint32_t& uiValue)
{
    return NiReadLE(kStream, uiValue);
}

bool NSBStream::WriteU32Array(NiByteStream& kStream, const std::uint32_t* puiValues, std::uint32_t uiCount)
{
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        if (!NiWriteLE(kStream, puiValues[ui]))
            return false;
    }
    return true;
}

bool NSBStream::ReadU32Array(NiByteStream& kStream, std::uint32_t* puiValues, std::uint32_t uiCount)
{
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        if (!NiReadLE(kStream, puiValues[ui]))
            return false;
    }
    return true;
}

bool NSBStream::WriteString(NiByteStream& kStream, const std::string& kText)
{
    const auto uiLength = static_cast<std::uint32_t>(kText.size());
    if (!NiWriteLE(kStream, uiLength))
        return false;
    return uiLength == 0 || kStream.Write(kText.data(), uiLength) == uiLength;
}

bool NSBStream::ReadString(NiByteStream& kStream, std::string& kText)
{
    std::uint32_t uiLength = 0;
    if (!NiReadLE(kStream, uiLength))
        return false;
    if (uiLength == 0)
        return true;
    const std::uint64_t uiLeft = kStream.GetBytesLeft();
    if (uiLeft != NiByteStream::UNKNOWN_SIZE && uiLength > uiLeft)
        return false;
    // A stream that cannot tell its length is read in pieces, so a hostile
    // length costs no more memory than the bytes really there.
    constexpr std::uint32_t PIECE = 65536;
    std::string kRead;
    while (kRead.size() < uiLength)
    {
        const std::uint32_t uiPiece = std::min<std::uint32_t>(PIECE, uiLength - static_cast<std::uint32_t>(kRead.size()));
        const std::size_t uiOld = kRead.size();
        kRead.resize(uiOld + uiPiece);
        if (kStream.Read(kRead.data() + uiOld, uiPiece) != uiPiece)
            return false;
    }
    kText = std::move(kRead);
    return true;
}

bool NSBStream::ReadBool(NiByteStream& kStream, bool& bValue)
{
    std::uint32_t uiValue = 0;
    if (!NiReadLE(kStream, uiValue))
        return false;
    bValue = uiValue != 0;
    return true;
}

bool NSBStream::CountFits(const NiByteStream& kStream, std::uint32_t uiCount, std::uint32_t uiRecordBytes)
{
    const std::uint64_t uiLeft = kStream.GetBytesLeft();
    if (uiLeft == NiByteStream::UNKNOWN_SIZE)
        return true;
    return static_cast<std::uint64_t>(uiCount) * uiRecordBytes <= uiLeft;
}
