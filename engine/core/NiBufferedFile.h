#pragma once

#include "engine/core/NiByteStream.h"

#include <cstdint>
#include <cstdio>
#include <memory>

// A disk file with its own buffer over the C library's files. Every path
// goes through the platform resolver, so the game data's backslashes and
// letter case find the files.
class NiBufferedFile : public NiByteStream
{
public:
    enum OpenMode : std::uint32_t
    {
        READ_ONLY = 0,
        WRITE_ONLY = 1,
        APPEND_ONLY = 2,
    };
    // Seek origins, as the C library numbers them.
    enum SeekOrigin : int
    {
        SEEK_FROM_START = 0,
        SEEK_FROM_CURRENT = 1,
        SEEK_FROM_END = 2,
    };

    // A buffer size of 0 reads and writes straight through to the file.
    NiBufferedFile(const char* pcPath, std::uint32_t uiMode, std::uint32_t uiBufferSize);
    // Over a file the caller opened and keeps: the destructor flushes into
    // it but leaves it open. Good when the file is there.
    NiBufferedFile(std::FILE* pkFile, std::uint32_t uiMode, std::uint32_t uiBufferSize);
    ~NiBufferedFile() override;
    NiBufferedFile(const NiBufferedFile&) = delete;
    NiBufferedFile& operator=(const NiBufferedFile&) = delete;

    [[nodiscard]] bool IsGood() const override { return m_bGood; }
    std::uint32_t Read(void* pvBuffer, std::uint32_t uiBytes) override;
    std::uint32_t Write(const void* pvBuffer, std::uint32_t uiBytes) override;
    // Read mode on a regular file: its length past the logical position.
    [[nodiscard]] std::uint64_t GetBytesLeft() const override;
    // The good flag becomes the seek's success; returns it.
    virtual bool Seek(std::int32_t iOffset, int iOrigin);

    // Write modes: the waiting bytes go to the file (and on to the system,
    // so a full disk shows here); read mode: the buffered data is dropped.
    bool Flush();
    // Length of the open file; 0 when it cannot be found.
    [[nodiscard]] std::uint32_t GetSize();
    // Logical position (what the next Read or Write would touch).
    [[nodiscard]] std::uint64_t GetPosition() const;
    [[nodiscard]] std::uint32_t GetMode() const { return m_uiMode; }
    [[nodiscard]] std::uint32_t GetBufferSize() const { return m_uiBufferSize; }

private:
    std::uint32_t m_uiBufferSize;
    std::uint32_t m_uiValid = 0;
    std::uint32_t m_uiPos = 0;
    std::unique_ptr<std::uint8_t[]> m_pucBuffer;
    std::FILE* m_pkFile = nullptr;
    std::uint32_t m_uiMode;
    bool m_bGood = false;
    bool m_bOwnsFile = true;
};
