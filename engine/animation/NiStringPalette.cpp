#include "engine/animation/NiStringPalette.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"

#include <cstring>

NiImplementTypeInfo(NiStringPalette, NiObject)

NiStringPalette::NiStringPalette(std::uint32_t uiSize) : m_uiAllocatedSize(uiSize)
{
    if (uiSize > 0)
        m_pcBuffer = std::make_unique<char[]>(uiSize);
}

void NiStringPalette::Grow(std::uint32_t uiAtLeast)
{
    std::uint64_t uiNew = std::uint64_t(m_uiAllocatedSize) * 2;
    // Doubling alone may not make room (or a size of 0 stays 0).
    if (uiNew < uiAtLeast)
        uiNew = uiAtLeast;
    if (uiNew > 0xFFFFFFFEu)
        uiNew = 0xFFFFFFFEu;
    auto pcNew = std::make_unique<char[]>(static_cast<std::size_t>(uiNew));
    if (m_uiEndOfBuffer > 0)
        std::memcpy(pcNew.get(), m_pcBuffer.get(), m_uiEndOfBuffer);
    m_pcBuffer = std::move(pcNew);
    m_uiAllocatedSize = static_cast<std::uint32_t>(uiNew);
}

std::uint32_t NiStringPalette::AddString(const char* pcText)
{
    if (pcText == nullptr)
        return NO_STRING;
    std::uint64_t uiLength = std::strlen(pcText) + 1;
    std::uint64_t uiNeeded = m_uiEndOfBuffer + uiLength;
    if (uiNeeded >= NO_STRING)
        return NO_STRING;
    if (uiNeeded > m_uiAllocatedSize)
        Grow(static_cast<std::uint32_t>(uiNeeded));
    std::uint32_t uiOffset = m_uiEndOfBuffer;
    std::memcpy(m_pcBuffer.get() + uiOffset, pcText, uiLength);
    m_uiEndOfBuffer = static_cast<std::uint32_t>(uiNeeded);
    return uiOffset;
}

bool NiStringPalette::IsValidOffset(std::uint32_t uiOffset) const
{
    if (uiOffset == NO_STRING)
        return true;
    if (uiOffset >= m_uiEndOfBuffer || !m_pcBuffer)
        return false;
    return std::memchr(m_pcBuffer.get() + uiOffset, 0, m_uiEndOfBuffer - uiOffset) != nullptr;
}

NiObject* NiStringPalette::CreateClone(NiCloneContext& kCloning)
{
    NiObject::CopyMembers(this, kCloning);
    return this;
}

void NiStringPalette::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint32_t uiLength = 0;
    if (!kStream.ReadCount(uiLength, 1))
        return;
    m_pcBuffer = uiLength ? std::make_unique<char[]>(uiLength) : nullptr;
    m_uiAllocatedSize = uiLength;
    m_uiEndOfBuffer = 0;
    if (!kStream.ReadBytes(m_pcBuffer.get(), uiLength))
        return;
    std::uint32_t uiEnd = 0;
    if (!kStream.ReadLE(uiEnd))
        return;
    // Strings past the buffer would be read beyond its end.
    if (uiEnd > uiLength)
    {
        kStream.SetCorrupt();
        return;
    }
    m_uiEndOfBuffer = uiEnd;
}

void NiStringPalette::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_uiEndOfBuffer);
    kStream.WriteBytes(m_pcBuffer.get(), m_uiEndOfBuffer);
    kStream.WriteLE(m_uiEndOfBuffer);
}

bool NiStringPalette::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkPalette = static_cast<NiStringPalette*>(pkOther);
    if (pkPalette->m_uiAllocatedSize != m_uiAllocatedSize || pkPalette->m_uiEndOfBuffer != m_uiEndOfBuffer)
        return false;
    return m_uiAllocatedSize == 0 || std::memcmp(m_pcBuffer.get(), pkPalette->m_pcBuffer.get(), m_uiAllocatedSize) == 0;
}
