#include "engine/core/NiBufferedFile.h"

#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

NiBufferedFile::NiBufferedFile(const char* pcPath, std::uint32_t uiMode, std::uint32_t uiBufferSize)
    : m_uiBufferSize(uiBufferSize), m_uiMode(uiMode)
{
    const char* pcMode = uiMode == READ_ONLY ? "rb" : (uiMode == WRITE_ONLY ? "wb" : "ab");
    if (pcPath != nullptr && pcPath[0] != '\0')
        m_pkFile = os::OpenFile(pcPath, pcMode);
    // The C library opens a folder for reading; its reads then fail while
    // seeking claims an endless length. A folder is no file.
    struct stat kStatus;
    if (m_pkFile != nullptr && ::fstat(fileno(m_pkFile), &kStatus) == 0 && S_ISDIR(kStatus.st_mode))
    {
        std::fclose(m_pkFile);
        m_pkFile = nullptr;
    }
    m_bGood = m_pkFile != nullptr;
    if (m_bGood && m_uiBufferSize != 0)
        m_pucBuffer = std::make_unique<std::uint8_t[]>(m_uiBufferSize);
}

NiBufferedFile::NiBufferedFile(std::FILE* pkFile, std::uint32_t uiMode, std::uint32_t uiBufferSize)
    : m_uiBufferSize(uiBufferSize), m_pkFile(pkFile), m_uiMode(uiMode), m_bGood(pkFile != nullptr), m_bOwnsFile(false)
{
    if (m_bGood && m_uiBufferSize != 0)
        m_pucBuffer = std::make_unique<std::uint8_t[]>(m_uiBufferSize);
}

NiBufferedFile::~NiBufferedFile()
{
    if (m_bGood)
        Flush();
    if (m_pkFile != nullptr && m_bOwnsFile)
        std::fclose(m_pkFile);
}

bool NiBufferedFile::Flush()
{
    bool bResult = true;
    if (m_uiMode != READ_ONLY)
    {
        if (m_uiPos > 0 && m_pkFile != nullptr)
        {
            if (std::fwrite(m_pucBuffer.get(), 1, m_uiPos, m_pkFile) != m_uiPos)
                bResult = false;
        }
        // The C library buffers too: a full disk only shows once it writes.
        if (bResult && m_pkFile != nullptr && std::fflush(m_pkFile) != 0)
            bResult = false;
        if (!bResult)
            m_bGood = false;
    }
    else
    {
        m_uiValid = 0;
    }
    m_uiPos = 0;
    return bResult;
}

std::uint32_t NiBufferedFile::Read(void* pvBuffer, std::uint32_t uiBytes)
{
    if (!m_bGood || uiBytes == 0 || m_uiMode != READ_ONLY)
        return 0;
    auto* pucDest = static_cast<std::uint8_t*>(pvBuffer);
    std::uint32_t uiAvailable = m_uiValid - m_uiPos;
    if (uiBytes <= uiAvailable)
    {
        std::memcpy(pucDest, m_pucBuffer.get() + m_uiPos, uiBytes);
        m_uiPos += uiBytes;
        return uiBytes;
    }

    if (uiAvailable > 0)
        std::memcpy(pucDest, m_pucBuffer.get() + m_uiPos, uiAvailable);
    Flush();
    std::uint32_t uiRest = uiBytes - uiAvailable;
    if (uiRest > m_uiBufferSize)
        return uiAvailable + static_cast<std::uint32_t>(std::fread(pucDest + uiAvailable, 1, uiRest, m_pkFile));

    m_uiValid = static_cast<std::uint32_t>(std::fread(m_pucBuffer.get(), 1, m_uiBufferSize, m_pkFile));
    std::uint32_t uiCopy = std::min(uiRest, m_uiValid);
    std::memcpy(pucDest + uiAvailable, m_pucBuffer.get(), uiCopy);
    m_uiPos = uiCopy;
    return uiAvailable + uiCopy;
}

std::uint32_t NiBufferedFile::Write(const void* pvBuffer, std::uint32_t uiBytes)
{
    if (!m_bGood || uiBytes == 0 || m_uiMode == READ_ONLY)
        return 0;
    const auto* pucSource = static_cast<const std::uint8_t*>(pvBuffer);
    std::uint32_t uiFree = m_uiBufferSize - m_uiPos;
    if (uiBytes <= uiFree)
    {
        std::memcpy(m_pucBuffer.get() + m_uiPos, pucSource, uiBytes);
        m_uiPos += uiBytes;
        return uiBytes;
    }

    if (uiFree > 0)
        std::memcpy(m_pucBuffer.get() + m_uiPos, pucSource, uiFree);
    m_uiPos += uiFree;
    if (!Flush())
        return 0;
    std::uint32_t uiRest = uiBytes - uiFree;
    if (uiRest >= m_uiBufferSize)
    {
        std::uint32_t uiWritten = static_cast<std::uint32_t>(std::fwrite(pucSource + uiFree, 1, uiRest, m_pkFile));
        if (uiWritten != uiRest)
            m_bGood = false;
        return uiFree + uiWritten;
    }
    std::memcpy(m_pucBuffer.get(), pucSource + uiFree, uiRest);
    m_uiPos = uiRest;
    return uiFree + uiRest;
}

bool NiBufferedFile::Seek(std::int32_t iOffset, int iOrigin)
{
    if (!m_bGood)
        return false;
    if (iOrigin == SEEK_FROM_CURRENT && m_uiMode == READ_ONLY)
    {
        std::int64_t iTarget = static_cast<std::int64_t>(m_uiPos) + iOffset;
        if (iTarget >= 0 && iTarget < static_cast<std::int64_t>(m_uiValid))
        {
            m_uiPos = static_cast<std::uint32_t>(iTarget);
            return true;
        }
    }

    // The file itself lies ahead of the logical position by what the read
    // buffer still holds (behind it by what a write buffer holds; Flush
    // writes that out first).
    std::int64_t iAhead = m_uiMode == READ_ONLY ? static_cast<std::int64_t>(m_uiValid - m_uiPos) : 0;
    if (!Flush())
        return false;
    long lOffset = iOffset;
    if (iOrigin == SEEK_FROM_CURRENT)
        lOffset = static_cast<long>(iOffset - iAhead);
    int iWhence = iOrigin == SEEK_FROM_START ? SEEK_SET : (iOrigin == SEEK_FROM_CURRENT ? SEEK_CUR : SEEK_END);
    m_bGood = std::fseek(m_pkFile, lOffset, iWhence) == 0;
    return m_bGood;
}

std::uint32_t NiBufferedFile::GetSize()
{
    if (m_pkFile == nullptr)
        return 0;
    long lHere = std::ftell(m_pkFile);
    if (lHere < 0)
        return 0;
    if (std::fseek(m_pkFile, 0, SEEK_END) != 0)
        return 0;
    long lEnd = std::ftell(m_pkFile);
    std::fseek(m_pkFile, lHere, SEEK_SET);
    if (lEnd < 0)
        return 0;
    std::uint64_t uiSize = static_cast<std::uint64_t>(lEnd);
    return uiSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(uiSize);
}

std::uint64_t NiBufferedFile::GetBytesLeft() const
{
    struct stat kStatus;
    if (m_pkFile == nullptr || m_uiMode != READ_ONLY || ::fstat(fileno(m_pkFile), &kStatus) != 0 ||
        !S_ISREG(kStatus.st_mode) || kStatus.st_size < 0)
        return UNKNOWN_SIZE;
    const auto uiSize = static_cast<std::uint64_t>(kStatus.st_size);
    const std::uint64_t uiHere = GetPosition();
    return uiHere < uiSize ? uiSize - uiHere : 0;
}

std::uint64_t NiBufferedFile::GetPosition() const
{
    if (m_pkFile == nullptr)
        return 0;
    long lHere = std::ftell(m_pkFile);
    if (lHere < 0)
        return 0;
    if (m_uiMode == READ_ONLY)
        return static_cast<std::uint64_t>(lHere) - (m_uiValid - m_uiPos);
    return static_cast<std::uint64_t>(lHere) + m_uiPos;
}
