#include "framework/COrvaneFile.h"

#include "engine/core/NiBufferedFile.h"
#include "engine/core/NiByteStream.h"
#include "engine/core/NiFile.h"

#include <cstring>

// Owns the engine file. IsEof peeks one byte; the peeked byte is kept here
// and handed to the next read, so peeking never needs a seek (and a peek at
// the end moves nothing).
class COrvaneFileImpl
{
public:
    std::unique_ptr<NiByteStream> m_pkFile;
    int m_iPeeked = -1; // -1: none
    bool m_bWriteFailed = false;
    std::uint32_t m_uiLinesRead = 0;

    void Close()
    {
        m_pkFile.reset();
        m_iPeeked = -1;
        m_bWriteFailed = false;
        m_uiLinesRead = 0;
    }

    // -1 at the end of the file (or without a file).
    int ReadByte()
    {
        if (m_iPeeked >= 0)
        {
            int iByte = m_iPeeked;
            m_iPeeked = -1;
            return iByte;
        }
        if (!m_pkFile)
            return -1;
        unsigned char ucByte = 0;
        if (m_pkFile->Read(&ucByte, 1) != 1)
            return -1;
        return ucByte;
    }

    int PeekByte()
    {
        if (m_iPeeked < 0)
            m_iPeeked = ReadByte();
        return m_iPeeked;
    }
};

COrvaneFile::COrvaneFile() : m_pkImpl(std::make_unique<COrvaneFileImpl>())
{
}

COrvaneFile::~COrvaneFile() = default;

void COrvaneFile::Destroy()
{
    ResetMode();
}

void COrvaneFile::Release()
{
    Destroy();
}

void COrvaneFile::ResetMode()
{
    m_uiMode = 0;
}

int COrvaneFile::Open(const char* pcName, std::uint32_t uiMode)
{
    Close();
    if (pcName == nullptr || pcName[0] == '\0')
        return 0;

    std::uint32_t uiEngineMode = 0;
    if (uiMode == MODE_READ)
    {
        if (!NiFileAccessible(pcName, NiBufferedFile::READ_ONLY) || NiGetFileSize(pcName) == 0)
            return 0;
        uiEngineMode = NiBufferedFile::READ_ONLY;
    }
    else if (uiMode == MODE_WRITE)
    {
        uiEngineMode = NiBufferedFile::WRITE_ONLY;
    }
    else
    {
        return 0;
    }

    std::unique_ptr<NiByteStream> pkFile = NiOpenFile(pcName, uiEngineMode, BUFFER_SIZE);
    // The engine hands back a stream object even when nothing opened.
    if (!pkFile || !pkFile->IsGood())
        return 0;
    m_pkImpl->m_pkFile = std::move(pkFile);
    m_kFileName = pcName;
    m_uiMode = uiMode;
    return 1;
}

int COrvaneFile::OpenForWrite(std::FILE* pkFile)
{
    Close();
    if (pkFile == nullptr)
        return 0;
    m_pkImpl->m_pkFile = std::make_unique<NiBufferedFile>(pkFile, NiBufferedFile::WRITE_ONLY, BUFFER_SIZE);
    m_kFileName.clear();
    m_uiMode = MODE_WRITE;
    return 1;
}

int COrvaneFile::Close()
{
    if (!m_pkImpl->m_pkFile)
        return 0;
    m_pkImpl->Close();
    return 1;
}

bool COrvaneFile::IsOpen() const
{
    return m_pkImpl->m_pkFile != nullptr;
}

bool COrvaneFile::IsEof()
{
    return m_pkImpl->PeekByte() < 0;
}

void COrvaneFile::ReadLine(std::string& kText)
{
    kText.clear();
    ++m_pkImpl->m_uiLinesRead;
    for (;;)
    {
        int iByte = m_pkImpl->ReadByte();
        if (iByte < 0 || iByte == '\n')
            return;
        if (iByte != '\r')
            kText.push_back(static_cast<char>(iByte));
    }
}

std::uint32_t COrvaneFile::GetLinesRead() const
{
    return m_pkImpl->m_uiLinesRead;
}

bool COrvaneFile::WriteString(const char* pcText)
{
    if (!m_pkImpl->m_pkFile || m_uiMode != MODE_WRITE)
        return false;
    if (pcText == nullptr)
        return true;
    std::uint32_t uiLength = static_cast<std::uint32_t>(std::strlen(pcText));
    if (uiLength == 0)
        return true;
    if (m_pkImpl->m_pkFile->Write(pcText, uiLength) != uiLength)
    {
        m_pkImpl->m_bWriteFailed = true;
        return false;
    }
    return true;
}

bool COrvaneFile::Flush()
{
    if (!m_pkImpl->m_pkFile)
        return false;
    // Only a disk file holds back bytes; other engine streams write through.
    if (auto* pkDisk = dynamic_cast<NiBufferedFile*>(m_pkImpl->m_pkFile.get()))
    {
        if (!pkDisk->Flush())
            m_pkImpl->m_bWriteFailed = true;
    }
    if (!m_pkImpl->m_pkFile->IsGood())
        m_pkImpl->m_bWriteFailed = true;
    return !m_pkImpl->m_bWriteFailed;
}

void COrvaneFile::ReadUntil(std::string& kText, const char* pcDelimiter)
{
    kText.clear();
    const char cDelimiter = pcDelimiter != nullptr ? pcDelimiter[0] : '\0';
    bool bCut = false;
    for (;;)
    {
        int iByte = m_pkImpl->ReadByte();
        if (iByte < 0 || static_cast<char>(iByte) == cDelimiter)
            break;
        if (iByte == 0)
            bCut = true;
        if (!bCut)
            kText.push_back(static_cast<char>(iByte));
    }
    kText.push_back('\n');
}

int COrvaneFile::FindLine(const char* pcText)
{
    // Reopening a file that is being written would truncate it.
    if (m_uiMode != MODE_READ || m_kFileName.empty())
        return 0;
    const std::string kName = m_kFileName;
    Close();
    if (Open(kName.c_str(), MODE_READ) == 0)
        return 0;

    const char* pcFind = pcText != nullptr ? pcText : "";
    std::string kLine;
    while (!IsEof())
    {
        ReadLine(kLine);
        if (kLine.find(pcFind) != std::string::npos)
            return IsEof() ? 0 : 1;
    }
    return 0;
}
