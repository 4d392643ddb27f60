#include "engine/render/image/NiPixelFormat.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"

namespace
{
// Files of this version carry the flag word in bit 16 of the kind.
constexpr std::uint32_t VERSION_FLAG_IN_KIND = NiStreamVersion(10, 0, 1, 0);
// From this version on the flag word is a field of its own.
constexpr std::uint32_t VERSION_FLAG_WORD = NiStreamVersion(10, 0, 1, 11);
// Before this version the shift word held four 5-bit fields.
constexpr std::uint32_t VERSION_BYTE_SHIFTS = NiStreamVersion(10, 1, 0, 103);
constexpr std::uint32_t KIND_FLAG_BIT = 0x10000;
} // namespace

bool NiPixelFormat::LoadBinary(NiObjectStream& kStream)
{
    NiByteStream* pkIn = kStream.GetInStream();
    if (pkIn == nullptr)
        return false;
    std::uint32_t auiWords[8] = {};
    for (std::uint32_t& uiWord : auiWords)
    {
        if (!NiReadLE(*pkIn, uiWord))
            return false;
    }
    std::uint32_t uiFlags = m_uiFlags;
    if (kStream.GetFileVersion() >= VERSION_FLAG_WORD && !NiReadLE(*pkIn, uiFlags))
        return false;
    *this = FromRecord(auiWords, uiFlags, kStream.GetFileVersion());
    return true;
}

NiPixelFormat NiPixelFormat::FromRecord(const std::uint32_t (&auiWords)[8], std::uint32_t uiFlags,
                                        std::uint32_t uiVersion)
{
    NiPixelFormat kFormat;
    kFormat.m_uiKind = auiWords[0];
    for (int c = 0; c < 4; ++c)
        kFormat.m_auiMasks[c] = auiWords[1 + c];
    kFormat.m_uiBitsPerPixel = auiWords[5];
    kFormat.m_uiDescriptor = auiWords[6];
    kFormat.m_uiShift = auiWords[7];
    kFormat.m_uiFlags = uiFlags;
    if (uiVersion == VERSION_FLAG_IN_KIND && (kFormat.m_uiKind & KIND_FLAG_BIT) != 0)
    {
        kFormat.m_uiFlags = 1;
        kFormat.m_uiKind &= ~KIND_FLAG_BIT;
    }
    if (uiVersion < VERSION_BYTE_SHIFTS)
    {
        const std::uint32_t uiOld = kFormat.m_uiShift;
        kFormat.m_uiShift = 0;
        for (std::uint32_t c = 0; c < 4; ++c)
            kFormat.m_uiShift |= ((uiOld >> (5 * c)) & 0x1F) << (8 * c);
    }
    return kFormat;
}

bool NiPixelFormat::SaveBinary(NiObjectStream& kStream) const
{
    NiByteStream* pkOut = kStream.GetOutStream();
    if (pkOut == nullptr)
        return false;
    const std::uint32_t auiWords[8] = {m_uiKind,         m_auiMasks[0],   m_auiMasks[1], m_auiMasks[2],
                                       m_auiMasks[3],    m_uiBitsPerPixel, m_uiDescriptor, m_uiShift};
    bool bOk = true;
    for (std::uint32_t uiWord : auiWords)
        bOk = NiWriteLE(*pkOut, uiWord) && bOk;
    if (kStream.GetFileVersion() >= VERSION_FLAG_WORD)
        bOk = NiWriteLE(*pkOut, m_uiFlags) && bOk;
    return bOk;
}
