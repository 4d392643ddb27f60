#include "engine/render/NiPixelData.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

NiImplementTypeInfo(NiPixelData, NiObject)

NiPixelData::NiPixelData() = default;

NiPixelData::NiPixelData(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                         std::uint32_t uiLevels)
    : NiPixelData(uiWidth, uiHeight, kFormat, uiLevels, true)
{
}

NiPixelData* NiPixelData::CreateToFill(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat)
{
    return new NiPixelData(uiWidth, uiHeight, kFormat, 1, false);
}

NiPixelData::NiPixelData(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                         std::uint32_t uiLevels, bool bZeroPixels)
    : m_kPixelFormat(kFormat), m_uiPixelStride(ComputePixelStride(kFormat))
{
    if (uiLevels == 0)
        uiLevels = ComputeMipLevelCount(uiWidth, uiHeight);
    // Past 32 halvings every level is 1 x 1; a longer chain is a caller's slip.
    if (uiLevels == 0 || uiLevels > 32)
        return;
    std::uint64_t uiTotal = 0;
    for (std::uint32_t i = 0; i < uiLevels; ++i)
        uiTotal += ComputeLevelSize(kFormat, std::max(uiWidth >> i, 1u), std::max(uiHeight >> i, 1u));
    if (uiTotal > MAX_TOTAL_BYTES || !AllocateLevels(uiLevels, static_cast<std::uint32_t>(uiTotal), bZeroPixels))
        return;
    std::uint32_t uiOffset = 0;
    for (std::uint32_t i = 0; i < uiLevels; ++i)
    {
        const std::uint32_t uiW = std::max(uiWidth >> i, 1u);
        const std::uint32_t uiH = std::max(uiHeight >> i, 1u);
        m_puiWidth[i] = uiW;
        m_puiHeight[i] = uiH;
        m_puiOffsetInBytes[i] = uiOffset;
        uiOffset += static_cast<std::uint32_t>(ComputeLevelSize(kFormat, uiW, uiH));
    }
    m_puiOffsetInBytes[uiLevels] = uiOffset;
}

NiPixelData::NiPixelData(const NiPixelData& kOther)
    : NiObject(), m_kPixelFormat(kOther.m_kPixelFormat), m_uiPixelStride(kOther.m_uiPixelStride)
{
    if (kOther.m_uiMipmapLevels != 0 && AllocateLevels(kOther.m_uiMipmapLevels, kOther.GetTotalSizeInBytes(), false))
    {
        const std::uint32_t uiLevels = m_uiMipmapLevels;
        std::copy(kOther.m_puiWidth, kOther.m_puiWidth + uiLevels, m_puiWidth);
        std::copy(kOther.m_puiHeight, kOther.m_puiHeight + uiLevels, m_puiHeight);
        std::copy(kOther.m_puiOffsetInBytes, kOther.m_puiOffsetInBytes + uiLevels + 1, m_puiOffsetInBytes);
        std::memcpy(m_pucPixels, kOther.m_pucPixels, GetTotalSizeInBytes());
    }
    if (kOther.m_spPalette)
        m_spPalette = new NiPalette(*kOther.m_spPalette);
}

NiPixelData::~NiPixelData() = default;

bool NiPixelData::AllocateLevels(std::uint32_t uiLevels, std::uint32_t uiTotalSize, bool bZeroPixels)
{
    FreeLevels();
    if (uiLevels == 0)
        return false;
    const std::uint64_t uiPixelBytes = (static_cast<std::uint64_t>(uiTotalSize) + 3) & ~3ull;
    const std::uint64_t uiBlock = uiPixelBytes + static_cast<std::uint64_t>(uiLevels) * 12 + 4;
    if (uiBlock > MAX_TOTAL_BYTES + 4096)
        return false;
    // Zero-filled: an image starts defined, so equality and saving never
    // see bytes nobody wrote. A caller that writes every pixel byte at once
    // skips the pixels' fill; the padding after them is zeroed either way.
    std::uint8_t* pucBlock =
        bZeroPixels ? new (std::nothrow) std::uint8_t[uiBlock]() : new (std::nothrow) std::uint8_t[uiBlock];
    if (pucBlock == nullptr)
        return false;
    if (!bZeroPixels)
        std::fill(pucBlock + uiTotalSize, pucBlock + uiPixelBytes, std::uint8_t(0));
    m_pucBlock.reset(pucBlock);
    m_pucPixels = pucBlock;
    // The tables follow the pixel bytes, whose padding keeps them aligned.
    m_puiWidth = reinterpret_cast<std::uint32_t*>(pucBlock + uiPixelBytes);
    m_puiHeight = m_puiWidth + uiLevels;
    m_puiOffsetInBytes = m_puiHeight + uiLevels;
    std::fill(m_puiWidth, m_puiWidth + 3 * uiLevels + 1, 0u);
    m_puiOffsetInBytes[uiLevels] = uiTotalSize;
    m_uiMipmapLevels = uiLevels;
    return true;
}

void NiPixelData::FreeLevels()
{
    m_pucBlock.reset();
    m_pucPixels = nullptr;
    m_puiWidth = nullptr;
    m_puiHeight = nullptr;
    m_puiOffsetInBytes = nullptr;
    m_uiMipmapLevels = 0;
}

std::uint32_t NiPixelData::GetWidth(std::uint32_t uiLevel) const
{
    return uiLevel < m_uiMipmapLevels ? m_puiWidth[uiLevel] : 0;
}

std::uint32_t NiPixelData::GetHeight(std::uint32_t uiLevel) const
{
    return uiLevel < m_uiMipmapLevels ? m_puiHeight[uiLevel] : 0;
}

std::uint32_t NiPixelData::GetOffsetInBytes(std::uint32_t uiLevel) const
{
    return uiLevel <= m_uiMipmapLevels && m_puiOffsetInBytes ? m_puiOffsetInBytes[uiLevel] : 0;
}

std::uint32_t NiPixelData::GetSizeInBytes(std::uint32_t uiLevel) const
{
    if (uiLevel >= m_uiMipmapLevels)
        return 0;
    return m_puiOffsetInBytes[uiLevel + 1] - m_puiOffsetInBytes[uiLevel];
}

std::uint32_t NiPixelData::GetTotalSizeInBytes() const
{
    return m_puiOffsetInBytes ? m_puiOffsetInBytes[m_uiMipmapLevels] : 0;
}

std::uint8_t* NiPixelData::GetPixels(std::uint32_t uiLevel)
{
    return uiLevel < m_uiMipmapLevels ? m_pucPixels + m_puiOffsetInBytes[uiLevel] : nullptr;
}

const std::uint8_t* NiPixelData::GetPixels(std::uint32_t uiLevel) const
{
    return uiLevel < m_uiMipmapLevels ? m_pucPixels + m_puiOffsetInBytes[uiLevel] : nullptr;
}

std::uint32_t NiPixelData::ComputeMipLevelCount(std::uint32_t uiWidth, std::uint32_t uiHeight)
{
    if (uiWidth == 0 || uiHeight == 0)
        return 0;
    if (!std::has_single_bit(uiWidth) || !std::has_single_bit(uiHeight))
        return 1;
    return static_cast<std::uint32_t>(std::bit_width(std::max(uiWidth, uiHeight)));
}

std::uint64_t NiPixelData::ComputeLevelSize(const NiPixelFormat& kFormat, std::uint32_t uiWidth,
                                            std::uint32_t uiHeight)
{
    const std::uint64_t uiW = uiWidth;
    const std::uint64_t uiH = uiHeight;
    if (kFormat.IsCompressed())
    {
        const std::uint64_t uiBlocks = ((uiW + 3) & ~3ull) * ((uiH + 3) & ~3ull) / 16;
        return uiBlocks * (kFormat.GetKind() == NiPixelFormat::DXT1_KIND ? 8 : 16);
    }
    const std::uint32_t uiBits = kFormat.GetBitsPerPixel();
    if (uiBits >= 8)
        return uiW * uiH * (uiBits / 8);
    return uiW * uiH / 2;
}

std::uint32_t NiPixelData::ComputePixelStride(const NiPixelFormat& kFormat)
{
    if (kFormat.IsCompressed())
        return 0;
    return kFormat.GetBitsPerPixel() >= 8 ? kFormat.GetBitsPerPixel() / 8 : 0;
}

bool NiPixelData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    const NiPixelData* pkData = static_cast<const NiPixelData*>(pkOther);
    if (m_kPixelFormat != pkData->m_kPixelFormat)
        return false;
    if (m_spPalette)
    {
        if (!pkData->m_spPalette || !m_spPalette->IsEqual(pkData->m_spPalette))
            return false;
    }
    if (m_uiMipmapLevels != pkData->m_uiMipmapLevels || m_uiPixelStride != pkData->m_uiPixelStride)
        return false;
    for (std::uint32_t i = 0; i < m_uiMipmapLevels; ++i)
    {
        if (m_puiWidth[i] != pkData->m_puiWidth[i] || m_puiHeight[i] != pkData->m_puiHeight[i] ||
            m_puiOffsetInBytes[i] != pkData->m_puiOffsetInBytes[i])
            return false;
    }
    if (GetTotalSizeInBytes() != pkData->GetTotalSizeInBytes())
        return false;
    return GetTotalSizeInBytes() == 0 || std::memcmp(m_pucPixels, pkData->m_pucPixels, GetTotalSizeInBytes()) == 0;
}

void NiPixelData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPixelData::TypeInfo()->GetName()));
}

NiObject* NiPixelData::CreateObject()
{
    return new (std::nothrow) NiPixelData;
}

bool NiPixelData::LoadRecord(NiObjectStream& kStream)
{
    NiByteStream* pkIn = kStream.GetInStream();
    if (pkIn == nullptr)
        return false;
    NiPixelFormat kFormat;
    if (!kFormat.LoadBinary(kStream))
        return false;
    // Queued for the link pass, where ResolveLinks takes it back.
    (void)kStream.ReadLinkID();
    std::uint32_t uiLevels = 0;
    std::uint32_t uiStride = 0;
    if (!NiReadLE(*pkIn, uiLevels) || !NiReadLE(*pkIn, uiStride))
        return false;
    if (uiLevels == 0 || uiLevels > MAX_STREAM_LEVELS)
        return false;
    // Readers and converters trust an image's layout words to agree with
    // each other and with its stride; a record where they do not is damaged.
    const std::uint32_t uiDescriptor = kFormat.GetDescriptor();
    if ((uiDescriptor & 0x1F) != kFormat.GetKind() ||
        ((uiDescriptor >> 5) & 7) != NiPixelFormat::SizeCode(kFormat.GetBitsPerPixel()) ||
        uiStride != ComputePixelStride(kFormat))
        return false;
    std::uint32_t auiWidth[MAX_STREAM_LEVELS];
    std::uint32_t auiHeight[MAX_STREAM_LEVELS];
    std::uint32_t auiOffset[MAX_STREAM_LEVELS + 1];
    for (std::uint32_t i = 0; i < uiLevels; ++i)
    {
        if (!NiReadLE(*pkIn, auiWidth[i]) || !NiReadLE(*pkIn, auiHeight[i]) || !NiReadLE(*pkIn, auiOffset[i]))
            return false;
    }
    if (!NiReadLE(*pkIn, auiOffset[uiLevels]))
        return false;
    // The offsets must lay the levels back to back from 0, each at least as
    // long as its size needs, or the image would be read out of bounds.
    if (auiOffset[0] != 0)
        return false;
    for (std::uint32_t i = 0; i < uiLevels; ++i)
    {
        if (auiWidth[i] == 0 || auiHeight[i] == 0 || auiOffset[i + 1] < auiOffset[i] ||
            auiOffset[i + 1] - auiOffset[i] < ComputeLevelSize(kFormat, auiWidth[i], auiHeight[i]))
            return false;
    }
    const std::uint32_t uiTotal = auiOffset[uiLevels];
    // A damaged total must not make us allocate more than the file holds.
    if (uiTotal > MAX_TOTAL_BYTES || uiTotal > kStream.GetBytesLeft())
        return false;
    if (!AllocateLevels(uiLevels, uiTotal))
        return false;
    m_kPixelFormat = kFormat;
    m_uiPixelStride = uiStride;
    std::copy(auiWidth, auiWidth + uiLevels, m_puiWidth);
    std::copy(auiHeight, auiHeight + uiLevels, m_puiHeight);
    std::copy(auiOffset, auiOffset + uiLevels + 1, m_puiOffsetInBytes);
    if (uiTotal && pkIn->Read(m_pucPixels, uiTotal) != uiTotal)
    {
        FreeLevels();
        return false;
    }
    return true;
}

bool NiPixelData::SaveRecord(NiObjectStream& kStream) const
{
    NiByteStream* pkOut = kStream.GetOutStream();
    if (pkOut == nullptr)
        return false;
    bool bOk = m_kPixelFormat.SaveBinary(kStream);
    kStream.WriteLinkID(m_spPalette);
    bOk = NiWriteLE(*pkOut, m_uiMipmapLevels) && bOk;
    bOk = NiWriteLE(*pkOut, m_uiPixelStride) && bOk;
    for (std::uint32_t i = 0; i < m_uiMipmapLevels; ++i)
    {
        bOk = NiWriteLE(*pkOut, m_puiWidth[i]) && bOk;
        bOk = NiWriteLE(*pkOut, m_puiHeight[i]) && bOk;
        bOk = NiWriteLE(*pkOut, m_puiOffsetInBytes[i]) && bOk;
    }
    bOk = NiWriteLE(*pkOut, GetTotalSizeInBytes()) && bOk;
    if (GetTotalSizeInBytes())
        bOk = pkOut->Write(m_pucPixels, GetTotalSizeInBytes()) == GetTotalSizeInBytes() && bOk;
    return bOk;
}

void NiPixelData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    if (!LoadRecord(kStream))
        kStream.SetCorrupt();
}

void NiPixelData::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    m_spPalette = kStream.GetLinkedObjectAs<NiPalette>();
}

bool NiPixelData::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spPalette)
        m_spPalette->RegisterForSave(kStream);
    return true;
}

void NiPixelData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    SaveRecord(kStream);
}
