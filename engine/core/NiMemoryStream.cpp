#include "engine/core/NiMemoryStream.h"

#include <algorithm>
#include <cstring>

NiMemoryStream::NiMemoryStream()
    : m_pucBuffer(new std::uint8_t[INITIAL_CAPACITY]), m_uiCapacity(INITIAL_CAPACITY)
{
}

NiMemoryStream::NiMemoryStream(const void* pvBuffer, std::uint32_t uiSize)
    // The view never writes through this pointer: Write refuses at capacity 0.
    : m_pucBuffer(static_cast<std::uint8_t*>(const_cast<void*>(pvBuffer))), m_uiSize(pvBuffer ? uiSize : 0)
{
}

NiMemoryStream::~NiMemoryStream()
{
    if (m_uiCapacity != 0 && !m_bDetached)
        delete[] m_pucBuffer;
}

std::uint32_t NiMemoryStream::Read(void* pvBuffer, std::uint32_t uiBytes)
{
    std::uint32_t uiCount = std::min(uiBytes, m_uiSize - m_uiPos);
    if (uiCount > 0)
        std::memcpy(pvBuffer, m_pucBuffer + m_uiPos, uiCount);
    m_uiPos += uiCount;
    return uiCount;
}

std::uint32_t NiMemoryStream::Write(const void* pvBuffer, std::uint32_t uiBytes)
{
    if (m_uiCapacity == 0 || m_bDetached || uiBytes == 0)
        return 0;
    if (uiBytes > 0xFFFFFFFFu - m_uiSize)
        return 0; // the size is a u32: refuse rather than wrap
    if (uiBytes > m_uiCapacity - m_uiSize)
    {
        std::uint64_t uiNeeded = static_cast<std::uint64_t>(m_uiSize) + uiBytes;
        std::uint64_t uiDoubled = 2ull * m_uiCapacity;
        std::uint64_t uiNew = uiNeeded > uiDoubled ? uiNeeded : std::min<std::uint64_t>(uiDoubled, 0xFFFFFFFFu);
        auto* pucNew = new std::uint8_t[uiNew];
        std::memcpy(pucNew, m_pucBuffer, m_uiSize);
        delete[] m_pucBuffer;
        m_pucBuffer = pucNew;
        m_uiCapacity = static_cast<std::uint32_t>(uiNew);
    }
    std::memcpy(m_pucBuffer + m_uiSize, pvBuffer, uiBytes);
    m_uiSize += uiBytes;
    return uiBytes;
}

std::unique_ptr<std::uint8_t[]> NiMemoryStream::Detach()
{
    if (m_uiCapacity == 0 || m_bDetached)
        return nullptr;
    m_bDetached = true;
    // The size stays readable; nothing more is read from or written to the
    // buffer that now belongs to the caller.
    std::uint8_t* pucBuffer = m_pucBuffer;
    m_pucBuffer = nullptr;
    m_uiPos = m_uiSize;
    return std::unique_ptr<std::uint8_t[]>(pucBuffer);
}
